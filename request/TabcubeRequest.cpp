#include "TabcubeRequest.h"

#include <cassert>
#include <chrono>
#include <memory>
#include <thread>

#include "CategoryWarnings.h"
#include "RequestRunner.h"

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

std::vector<CubeResult> RunOnDictionary(const Request& request, const Dictionary& dictionary,
                                        const std::string& data, const std::string& sqlite,
                                        bool fromSample, const RunOptions& options) {
  QUOR_DataSource dataSource;
  DefineVariables(dictionary, dataSource);
  const int weightVariable = WeightVariable(request, dictionary, options);
  std::unique_ptr<CaseSource> source = !sqlite.empty()
                                           ? OpenSqlite(data, sqlite, dictionary, dataSource)
                                           : OpenCsv(data, dictionary, dataSource, fromSample);
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
