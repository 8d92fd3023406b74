#include "TabcubeRequest.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <chrono>
#include <cmath>
#include <memory>
#include <system_error>
#include <thread>

#include "CategoryWarnings.h"
#include "RequestRunner.h"
#include "TableBuilder.h"

namespace {

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsSqlite(const std::string& path, const std::string& sqlite) {
  return !sqlite.empty() || EndsWith(path, ".db") || EndsWith(path, ".sqlite") ||
         EndsWith(path, ".sqlite3");
}

// The automatic choice: a thread per table beside the reading thread when the
// request holds several tables and the machine has a second core to run them
// on. (Measured on two cores: three tables over a million cases took 2.5 s
// instead of 3.0 s; a single table gained nothing from reading and
// aggregating on two threads.)
int AggregationThreads(int requested, size_t tables) {
  if (requested >= 0) return requested;
  return tables >= 2 && std::thread::hardware_concurrency() >= 2 ? 1 : 0;
}

// The weight variable's index in the dictionary, -1 for unweighted data.
int WeightVariable(const Request& request, const Dictionary& dictionary,
                   const RunOptions& options) {
  const std::string weight = options.weight.empty()
                                 ? (request.weight.empty() ? dictionary.weight : request.weight)
                                 : options.weight;
  if (weight.empty()) return -1;
  const int index = dictionary.Find(weight);
  if (index < 0) throw InputError("weight: unknown variable " + weight);
  const VariableSpec& spec = dictionary.variables[static_cast<size_t>(index)];
  if (spec.isString)
    throw InputError("weight: variable " + weight + " is a string" +
                     (spec.inferredStringAt.empty()
                          ? std::string()
                          : " (read as text because of " + spec.inferredStringAt + ")"));
  return index;
}

// A statistic of a variable that type inference made a string is refused
// here with the field that made it one (such as "NaN" or "1e309", which are
// not finite numbers).
void CheckInferredTypes(const Request& request, const Dictionary& dictionary) {
  for (const TableSpec& table : request.tables)
    for (const StatisticSpec& statistic : table.statistics) {
      const int index = statistic.variable.empty() ? -1 : dictionary.Find(statistic.variable);
      if (index < 0) continue;
      const VariableSpec& spec = dictionary.variables[static_cast<size_t>(index)];
      if (!spec.isString || spec.inferredStringAt.empty()) continue;
      throw InputError(request.source + ": " + statistic.path + ".variable: statistic " +
                       statistic.name + " needs a numeric variable; column " + spec.name +
                       " was read as text because of " + spec.inferredStringAt);
    }
}

void Warn(const Request& request, const Dictionary& dictionary, const RunOptions& options) {
  if (!options.warning) return;
  for (const std::string& warning : UnreachableCategoryWarnings(request, dictionary))
    options.warning(warning);
}

std::vector<CubeResult> Run(const Request& request, const QUOR_DataSource& dataSource,
                            CaseSource& cases, int weightVariable, const RunOptions& options) {
  assert(!options.progress || options.progressInterval > 0);
  StreamingCaseIterator iterator(dataSource, weightVariable, cases);
  RequestRunner runner(request, dataSource, iterator, weightVariable);
  const auto start = std::chrono::steady_clock::now();
  std::function<void(long)> progress;
  if (options.progress)
    progress = [&](long cases) {
      options.progress(
          cases, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    };
  runner.Feed(progress, options.progressInterval,
              AggregationThreads(options.threads, request.tables.size()));
  return runner.Results();
}

// A CSV file of fewer bytes than this per core is read on one thread: the
// parts' own tables and their merge would cost more than they save.
constexpr uint64_t kLeastBytesPerPart = 1 << 20;

// Parts a CSV file is read in: the threads asked for from two on, else (-1)
// a part per core for a file large enough. Data that are not a regular file
// (a pipe) are read in one part: parts are read at their own offsets.
int CsvParts(int threads, const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return 1;
  if (threads >= 0) return std::max(1, threads);
  const uint64_t parts = static_cast<uint64_t>(status.st_size) / kLeastBytesPerPart;
  const uint64_t cores = std::max(1u, std::thread::hardware_concurrency());
  return static_cast<int>(std::max<uint64_t>(1, std::min(parts, cores)));
}

// One part of a CSV file read in parts: its own iterator and tables, fed on
// a thread of its own.
struct CsvPart {
  CsvPart(const Request& request, const QUOR_DataSource& dataSource, int weightVariable,
          std::unique_ptr<CaseSource> part)
      : source(std::move(part)),
        iterator(dataSource, weightVariable, *source),
        runner(request, dataSource, iterator, weightVariable) {}

  // Feeds every case of the part; a fault is kept for the caller.
  void Feed(const std::function<void(long)>& progress, long progressInterval) {
    try {
      runner.Feed(progress, progressInterval, 0);
    } catch (...) {
      failed = true;
    }
  }

  std::unique_ptr<CaseSource> source;
  StreamingCaseIterator iterator;
  RequestRunner runner;
  std::atomic<long> casesRead{0};
  bool failed = false;
};

// Progress of a file read in parts, reported from the calling thread (the
// caller's callback need not be thread-safe) while it feeds the first part:
// the cases of all parts together, each time they pass a multiple of the
// interval.
class PartsProgress {
 public:
  PartsProgress(const RunOptions& options, std::vector<std::unique_ptr<CsvPart>>& parts)
      : _options(options), _parts(parts), _next(options.progressInterval) {}

  std::function<void(long)> ForPart(size_t k) {
    if (k > 0) return [part = _parts[k].get()](long cases) { part->casesRead = cases; };
    return [this](long cases) {
      _parts[0]->casesRead = cases;
      long total = 0;
      for (const auto& part : _parts) total += part->casesRead;
      if (total < _next) return;
      _options.progress(total, Seconds());
      _next = (total / _options.progressInterval + 1) * _options.progressInterval;
    };
  }
  // How often each part counts: often enough for the sum to pass each
  // multiple of the interval about when it is reached.
  long Interval() const {
    return std::max(1L, _options.progressInterval / static_cast<long>(_parts.size()));
  }

 private:
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - _start).count();
  }

  const RunOptions& _options;
  std::vector<std::unique_ptr<CsvPart>>& _parts;
  long _next;
  const std::chrono::steady_clock::time_point _start = std::chrono::steady_clock::now();
};

// Reads a CSV file in parts on threads of their own, each into tables of its
// own, and merges the tables in file order: the tables of one pass, their
// categories in the order of first appearance. A part that fails (bad data,
// data that outgrow a dictionary inferred from the start), or weights whose
// sum overflows only when the parts are added up, send the whole file
// through one pass, which meets the first fault as a single pass does and
// names its exact place.
std::vector<CubeResult> RunCsvInParts(const Request& request, const Dictionary& dictionary,
                                      const QUOR_DataSource& dataSource, const std::string& path,
                                      bool fromSample, int weightVariable, int parts,
                                      const std::vector<bool>& read, const RunOptions& options) {
  std::vector<std::unique_ptr<CsvPart>> runs;
  for (std::unique_ptr<CaseSource>& part : OpenCsvParts(path, dataSource, fromSample, parts, &read))
    runs.push_back(std::make_unique<CsvPart>(request, dataSource, weightVariable, std::move(part)));
  PartsProgress progress(options, runs);
  const long interval = options.progress ? progress.Interval() : options.progressInterval;
  auto feed = [&](size_t k) {
    runs[k]->Feed(options.progress ? progress.ForPart(k) : std::function<void(long)>(), interval);
  };
  std::vector<std::thread> threads;
  size_t onThisThread = runs.size();  // parts from here on lack a thread
  for (size_t k = 1; k < runs.size() && onThisThread == runs.size(); ++k) try {
      threads.emplace_back(feed, k);
    } catch (const std::system_error&) {
      onThisThread = k;
    }
  feed(0);
  for (size_t k = onThisThread; k < runs.size(); ++k) feed(k);
  for (std::thread& thread : threads) thread.join();

  bool failed = false;
  double weightSum = 0.0;
  for (const auto& run : runs) {
    failed = failed || run->failed;
    weightSum += run->iterator.WeightSum();
  }
  if (failed || !std::isfinite(weightSum)) {
    runs.clear();  // the parts' tables are of no more use
    std::unique_ptr<CaseSource> whole = OpenCsv(path, dictionary, dataSource, fromSample, &read);
    return Run(request, dataSource, *whole, weightVariable, options);
  }
  for (size_t k = 1; k < runs.size(); ++k) runs[0]->runner.MergeFrom(runs[k]->runner);
  return runs[0]->runner.Results();
}

// The variables the request reads from a row; every variable when the
// request is faulty, so that building its tables reports the fault where it
// always does (after the data's header is checked).
std::vector<bool> ColumnsToRead(const Request& request, const QUOR_DataSource& dataSource,
                                int weightVariable) {
  try {
    return VariablesRead(request, dataSource, weightVariable);
  } catch (const InputError&) {
    return std::vector<bool>(static_cast<size_t>(dataSource.NumberOfVariables()), true);
  }
}

std::vector<CubeResult> RunOnDictionary(const Request& request, const Dictionary& dictionary,
                                        const std::string& data, const std::string& sqlite,
                                        bool fromSample, const RunOptions& options) {
  QUOR_DataSource dataSource;
  DefineVariables(dictionary, dataSource);
  const int weightVariable = WeightVariable(request, dictionary, options);
  if (!sqlite.empty()) {
    std::unique_ptr<CaseSource> source = OpenSqlite(data, sqlite, dictionary, dataSource);
    return Run(request, dataSource, *source, weightVariable, options);
  }
  const std::vector<bool> read = ColumnsToRead(request, dataSource, weightVariable);
  const int parts = CsvParts(options.threads, data);
  if (parts > 1)
    return RunCsvInParts(request, dictionary, dataSource, data, fromSample, weightVariable, parts,
                         read, options);
  std::unique_ptr<CaseSource> source = OpenCsv(data, dictionary, dataSource, fromSample, &read);
  return Run(request, dataSource, *source, weightVariable, options);
}

}  // namespace

std::vector<CubeResult> RunRequestOnFiles(const Request& request, const RunOptions& options) {
  const std::string data = options.data.empty() ? request.data : options.data;
  const std::string dictionaryPath =
      options.dictionary.empty() ? request.dictionary : options.dictionary;
  const std::string sqlite = options.sqlite.empty() ? request.sqlite : options.sqlite;
  if (data.empty()) throw InputError(request.source + ": $.data: no data file given");
  const bool fromSqlite = IsSqlite(data, sqlite);
  if (fromSqlite && sqlite.empty())
    throw InputError(data + ": name the table or query with --sqlite or \"sqlite\"");

  bool wholeFile = true;
  const Dictionary dictionary =
      !dictionaryPath.empty() ? ReadDictionary(dictionaryPath)
      : fromSqlite            ? InferSqliteDictionary(data, sqlite)
                              : InferDictionaryFromStart(data, options.inferenceRecords, wholeFile);
  // Strings only widen with more data, and a column inferred as text stays
  // text: the checks and warnings hold for the whole file's dictionary too.
  CheckInferredTypes(request, dictionary);
  Warn(request, dictionary, options);
  try {
    return RunOnDictionary(request, dictionary, data, fromSqlite ? sqlite : "", !wholeFile,
                           options);
  } catch (const InferenceOutgrown&) {
    const Dictionary whole = InferDictionary(data);
    CheckInferredTypes(request, whole);
    return RunOnDictionary(request, whole, data, "", false, options);
  }
}

std::vector<CubeResult> RunRequestOnCases(const Request& request, const Dictionary& dictionary,
                                          CaseSource& cases, const RunOptions& options) {
  Warn(request, dictionary, options);
  QUOR_DataSource dataSource;
  DefineVariables(dictionary, dataSource);
  const int weightVariable = WeightVariable(request, dictionary, options);
  return Run(request, dataSource, cases, weightVariable, options);
}

namespace {

// A case source without cases.
class NoCases : public CaseSource {
 public:
  bool ReadCase(OBS*) override { return false; }
  void Rewind() override {}
};

// The tables of a request over a dictionary's variables, fed no case: what
// states merge into. Owns the data source, the iterator and the runner.
class StatePass {
 public:
  StatePass(const Request& request, const Dictionary& dictionary, const RunOptions& options,
            CaseSource& cases)
      : _weightVariable((DefineVariables(dictionary, _dataSource),
                         WeightVariable(request, dictionary, options))),
        _iterator(_dataSource, _weightVariable, cases),
        _runner(request, _dataSource, _iterator, _weightVariable) {}

  RequestRunner& Runner() { return _runner; }
  const StreamingCaseIterator& Iterator() const { return _iterator; }

 private:
  QUOR_DataSource _dataSource;
  int _weightVariable;
  StreamingCaseIterator _iterator;
  RequestRunner _runner;
};

}  // namespace

PartialState AggregateToState(const Request& request, const Dictionary& dictionary,
                              CaseSource& cases, const RunOptions& options) {
  StatePass pass(request, dictionary, options, cases);
  pass.Runner().Feed({}, options.progressInterval,
                     AggregationThreads(options.threads, request.tables.size()));
  PartialState state;
  pass.Runner().SerializeStates(state.bytes);
  state.casesRead = pass.Iterator().CasesRead();
  state.casesExcludedByWeight = pass.Iterator().CasesExcludedByWeight();
  state.casesFilteredOut = pass.Iterator().CasesFilteredOut();
  return state;
}

PartialState MergeStates(const Request& request, const Dictionary& dictionary,
                         const std::vector<PartialState>& parts, const RunOptions& options) {
  if (parts.empty()) throw InputError("partial state: no states to merge");
  NoCases none;
  StatePass pass(request, dictionary, options, none);
  PartialState merged;
  for (const PartialState& part : parts) {
    pass.Runner().MergeStates(part.bytes.data(), part.bytes.size());
    merged.casesRead += part.casesRead;
    merged.casesExcludedByWeight += part.casesExcludedByWeight;
    merged.casesFilteredOut += part.casesFilteredOut;
  }
  pass.Runner().SerializeStates(merged.bytes);
  return merged;
}

std::vector<CubeResult> FinishState(const Request& request, const Dictionary& dictionary,
                                    const PartialState& state, const RunOptions& options) {
  NoCases none;
  StatePass pass(request, dictionary, options, none);
  if (!state.bytes.empty()) pass.Runner().MergeStates(state.bytes.data(), state.bytes.size());
  std::vector<CubeResult> cubes = pass.Runner().Results();
  for (CubeResult& cube : cubes) {
    cube.casesRead = state.casesRead;
    cube.casesExcludedByWeight = state.casesExcludedByWeight;
    cube.casesFilteredOut += state.casesFilteredOut;  // the tables' own filters' are merged
  }
  return cubes;
}
