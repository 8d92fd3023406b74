#include "FuzzTargets.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationCube.h"
#include "AggregationMCSet.h"
#include "AggregationMDSet.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "AggregationVariable.h"
#include "Command.h"
#include "CsvReader.h"
#include "CubeAggregator.h"
#include "DataInput.h"
#include "Dictionary.h"
#include "Filter.h"
#include "InputError.h"
#include "Request.h"
#include "StatValues.h"
#include "TabcubeRequest.h"
#include "TableDimension.h"
#include "baseutil.h"

namespace {

// A private directory for the files the readers take by name, created once
// per process and removed at exit.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tabcube_fuzz_XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
      std::perror("tabcube fuzz: mkdtemp");
      std::abort();
    }
    _path = name.data();
  }
  ~ScratchDirectory() {
    for (const std::string& file : _files) std::remove(file.c_str());
    rmdir(_path.c_str());
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // Writes the bytes to a file of that name in the directory; returns its path.
  std::string Write(const std::string& name, const char* data, size_t size) {
    const std::string path = _path + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
      std::perror("tabcube fuzz: writing a scratch file");
      std::abort();
    }
    bool known = false;
    for (const std::string& file : _files) known = known || file == path;
    if (!known) _files.push_back(path);
    return path;
  }

  std::string Write(const std::string& name, const std::string& text) {
    return Write(name, text.data(), text.size());
  }

 private:
  std::string _path;
  std::vector<std::string> _files;
};

ScratchDirectory& Scratch() {
  static ScratchDirectory directory;
  return directory;
}

void ReadAllRecords(CsvReader& reader) {
  std::vector<std::string> fields;
  long previousLine = 0;
  while (reader.NextRecord(fields)) {
    // Records start on rising lines; a record has at least one field.
    if (reader.RecordLine() <= previousLine || fields.empty()) std::abort();
    previousLine = reader.RecordLine();
  }
}

std::vector<std::vector<std::string>> RecordsOf(CsvReader& reader) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> fields;
  while (reader.NextRecord(fields)) records.push_back(fields);
  return records;
}

// A file that reads without fault reads as the same records when cut into
// parts at any two places (here: chosen by the input's size).
void CheckParts(const std::string& path, size_t size) {
  CsvReader whole(path);
  std::vector<std::vector<std::string>> records = RecordsOf(whole);
  if (records.empty()) return;
  whole.Rewind();
  std::vector<std::string> header;
  whole.NextRecord(header);
  const uint64_t first = whole.Offset();
  const std::vector<uint64_t> starts =
      SplitCsvRecordsAt(path, first, {first + size / 3, first + size * 2 / 3});
  std::vector<std::vector<std::string>> parts{records[0]};
  for (size_t k = 0; k + 1 < starts.size(); ++k) {
    CsvReader part(path, starts[k], starts[k + 1]);
    for (std::vector<std::string>& record : RecordsOf(part)) parts.push_back(std::move(record));
  }
  if (parts != records) std::abort();
}

// Splits the command input at lines that hold exactly "%%".
std::vector<std::string> SplitParts(const std::string& text) {
  std::vector<std::string> parts(1);
  size_t position = 0;
  for (;;) {
    const size_t end = text.find('\n', position);
    const size_t lineEnd = end == std::string::npos ? text.size() : end;
    if (text.compare(position, lineEnd - position, "%%") == 0) {
      parts.emplace_back();
    } else {
      parts.back().append(text, position, lineEnd - position);
      if (end != std::string::npos) parts.back().push_back('\n');
    }
    if (end == std::string::npos) return parts;
    position = end + 1;
  }
}

// Bad input must end in a clear message: "<place>: <problem>".
void CheckMessage(const InputError& error) {
  const std::string message = error.what();
  const size_t colon = message.find(": ");
  if (colon == 0 || colon == std::string::npos || colon + 2 == message.size()) {
    std::fprintf(stderr, "unclear input error: \"%s\"\n", message.c_str());
    std::abort();
  }
}

// The fixed table of the state target over its own small data set: a
// (numeric), s (string), m1 m2 (a category set), d1 d2 (a dichotomy set),
// x (scale) and w (weight), cases drawn from the seed.
class StateTable {
 public:
  explicit StateTable(unsigned seed) {
    for (const char* name : {"a", "m1", "m2", "d1", "d2", "x", "w"}) _data.AddVariable(name, 0);
    _data.AddVariable("s", 3);
    for (unsigned i = 0; i < 24; ++i) {
      const unsigned r = (i + 1) * 2654435761u ^ seed * 40503u;
      const int c = _data.AddCase();
      _data.SetValue(c, 0, r % 5 == 0 ? QUOR_SYSMIS : static_cast<double>(r % 3 + 1));
      _data.SetValue(c, 1, static_cast<double>(r / 3 % 4));
      _data.SetValue(c, 2, static_cast<double>(r / 5 % 4));
      _data.SetValue(c, 3, static_cast<double>(r / 7 % 2));
      _data.SetValue(c, 4, static_cast<double>(r / 11 % 2));
      _data.SetValue(c, 5, static_cast<double>(r % 17) * 0.5);
      _data.SetValue(c, 6, static_cast<double>(r % 4) * 0.5);
      _data.SetValue(c, 7, std::string(1, static_cast<char>('p' + r / 13 % 3)));
    }
    _iterator.reset(new ProcDSIterator(_data, 6));
    _table.reset(new AggregationTable(*_iterator, true, false));
    const OBS counted = {1.0};
    _a.reset(new AggregationVariable(0, "a"));
    _s.reset(new AggregationVariable(7, "s"));
    _m.reset(new AggregationMCSet({1, 2}, "$m"));
    _d.reset(new AggregationMDSet({3, 4}, "$d", &counted, 1, false));
    for (AggregationVariable* v : {_a.get(), _s.get(), _m.get(), _d.get()}) v->SetIsTotalNo(false);
    using Codes = TableEncryptionCodes;
    AggregationCube* counts = _table->CreateCube();
    counts->AddCategoricalVariable(_a.get(), Codes::kRowPosition);
    counts->AddCategoricalVariable(_s.get(), Codes::kColumnPosition);
    counts->CreateCubeAggregator();
    counts->AddCategoryStatistics(
        {AggregationStatistic(Codes::kCount), AggregationStatistic(Codes::kColPct),
         AggregationStatistic(Codes::kUTotalN)},
        _s.get());
    AggregationCube* scale = _table->CreateCube();
    scale->AddCategoricalVariable(_a.get(), Codes::kRowPosition);
    scale->CreateCubeAggregator();
    scale->AddScaleStatistics(
        {AggregationStatistic(5, Codes::kMean), AggregationStatistic(5, Codes::kMedian),
         AggregationStatistic(5, Codes::kVariance), AggregationStatistic(5, Codes::kRowSumPct)});
    AggregationCube* sets = _table->CreateCube();
    sets->AddCategoricalVariable(_m.get(), Codes::kRowPosition);
    sets->AddCategoricalVariable(_d.get(), Codes::kColumnPosition);
    sets->CreateCubeAggregator();
    sets->AddCategoryStatistics(
        {AggregationStatistic(Codes::kCount), AggregationStatistic(Codes::kResponses),
         AggregationStatistic(Codes::kColResponsesPct)},
        _m.get());
    while (_iterator->Next()) _table->AddNewCase();
  }

  AggregationTable& Table() { return *_table; }

  // Reads every cell of every cube.
  void ReadEverything() {
    for (CubeAggregator* cube : _table->GetCubeAggregators()) {
      const CubeMetadata& metadata = cube->GetMetadata();
      std::vector<std::vector<AggregationCategory*>> lists;
      for (int d = 0; d < metadata.NumberOfDimensions(); ++d)
        lists.push_back(metadata.GetDimension(d)->GetCategoryPointers());
      std::vector<size_t> at(lists.size(), 0);
      for (;;) {
        std::vector<const AggregationCategory*> key;
        for (size_t d = 0; d < at.size(); ++d) key.push_back(lists[d][at[d]]);
        if (StatValues* cell = cube->GetStatValues(key, -1)) {
          for (int i = 0; i < cell->NumOfValues(); ++i) cell->GetStatValue(i);
        }
        size_t d = at.size();
        while (d > 0 && ++at[d - 1] == lists[d - 1].size()) at[--d] = 0;
        if (d == 0) break;
      }
    }
  }

 private:
  QUOR_DataSource _data;
  std::unique_ptr<ProcDSIterator> _iterator;
  std::unique_ptr<AggregationTable> _table;
  std::unique_ptr<AggregationVariable> _a, _s, _m, _d;
};

// A valid state edited by the input: two bytes of truncation length (kept
// when they exceed the state), then changes of three bytes each (two bytes
// of position, one byte XORed in).
std::string Edited(std::string state, const uint8_t* data, size_t size) {
  if (size >= 2) {
    const size_t keep = static_cast<size_t>(data[0]) | static_cast<size_t>(data[1]) << 8;
    if (keep < state.size()) state.resize(keep);
  }
  for (size_t i = 2; i + 2 < size && !state.empty(); i += 3) {
    const size_t position = (static_cast<size_t>(data[i]) | static_cast<size_t>(data[i + 1]) << 8);
    state[position % state.size()] ^= static_cast<char>(data[i + 2]);
  }
  return state;
}

bool SameTypes(const Dictionary& a, const Dictionary& b) {
  if (a.variables.size() != b.variables.size()) return false;
  for (size_t i = 0; i < a.variables.size(); ++i)
    if (a.variables[i].isString != b.variables[i].isString ||
        a.variables[i].width != b.variables[i].width)
      return false;
  return true;
}

// Types inferred from the first two records either fit every case read with
// them, and then equal the whole file's, or the reading says they were
// outgrown.
void CheckInferenceFromTheStart(const std::string& path) {
  try {
    bool wholeFile = false;
    const Dictionary start = InferDictionaryFromStart(path, 2, wholeFile);
    QUOR_DataSource dataSource;
    DefineVariables(start, dataSource);
    std::unique_ptr<CaseSource> source = OpenCsv(path, start, dataSource, !wholeFile);
    std::vector<OBS> row(static_cast<size_t>(dataSource.RowWidth()) + 1);
    try {
      while (source->ReadCase(row.data())) {
      }
    } catch (const InferenceOutgrown&) {
      return;
    }
    if (!SameTypes(start, InferDictionary(path))) std::abort();
  } catch (const InputError& error) {
    CheckMessage(error);
  }
}

std::string EditedState(const uint8_t* data, size_t size) {
  std::string state;
  StateTable(7).Table().SerializeState(state);
  return Edited(state, data, size);
}

// The request of the request-state target: two tables over numbers a and b,
// weighted by w, with totals, a percentage, a median and a mean; the first
// has a filter, tests (a hidden table of their own) and counts of missing.
const char kPartRequest[] = R"({"weight": "w", "tables": [
  {"rows": [["a"]], "columns": [["b"]], "variables": {"a": {"totals": true}}, "filter": "a < 2",
   "tests": {"proportions": {}, "means": {"variables": ["a"]}, "chiSquare": true},
   "statistics": ["Count", "ColPct", {"name": "Median", "variable": "b"}]},
  {"rows": [["b"]], "weighted": false, "statistics": [{"name": "Mean", "variable": "a"}]}]})";

// Cases of three numbers (a, b, w), b missing in every fifth.
class NumberCases : public CaseSource {
 public:
  explicit NumberCases(int cases) : _cases(cases) {}
  bool ReadCase(OBS* row) override {
    if (_next == _cases) return false;
    row[0].num = _next % 3;
    row[1].num = _next % 5 == 4 ? QUOR_SYSMIS : _next % 4;
    row[2].num = 1 + _next % 2;
    ++_next;
    return true;
  }
  void Rewind() override { _next = 0; }

 private:
  int _cases;
  int _next = 0;
};

Dictionary NumberDictionary() {
  Dictionary dictionary;
  for (const char* name : {"a", "b", "w"}) {
    VariableSpec spec;
    spec.name = name;
    dictionary.variables.push_back(spec);
  }
  return dictionary;
}

}  // namespace

int FuzzState(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string state = data[0] == 0
                                ? std::string(reinterpret_cast<const char*>(data + 1), size - 1)
                                : EditedState(data + 1, size - 1);
  StateTable table(3);
  std::string before, after, error;
  table.Table().SerializeState(before);
  if (table.Table().MergeState(state.data(), state.size(), error)) {
    table.ReadEverything();
    return 0;
  }
  table.Table().SerializeState(after);
  if (error.empty() || before != after) {
    std::fprintf(stderr, "a refused state %s\n",
                 error.empty() ? "gave no message" : "changed the table");
    std::abort();
  }
  return 0;
}

int FuzzCsv(const uint8_t* data, size_t size) {
  const std::string path = Scratch().Write("data.csv", reinterpret_cast<const char*>(data), size);
  try {
    CsvReader reader(path);
    ReadAllRecords(reader);
    reader.Rewind();
    ReadAllRecords(reader);
    CheckParts(path, size);
  } catch (const InputError& error) {
    CheckMessage(error);
  }
  try {
    const Dictionary dictionary = InferDictionary(path);
    QUOR_DataSource dataSource;
    DefineVariables(dictionary, dataSource);
    std::unique_ptr<CaseSource> source = OpenCsv(path, dictionary, dataSource);
    std::vector<OBS> row(static_cast<size_t>(dataSource.RowWidth()) + 1);
    while (source->ReadCase(row.data())) {
    }
    source->Rewind();
    while (source->ReadCase(row.data())) {
    }
  } catch (const InputError& error) {
    CheckMessage(error);
  }
  CheckInferenceFromTheStart(path);
  return 0;
}

int FuzzDictionary(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const Dictionary dictionary = ParseDictionary(text, "dictionary.json");
    QUOR_DataSource dataSource;
    DefineVariables(dictionary, dataSource);
    if (dataSource.NumberOfVariables() != static_cast<int>(dictionary.variables.size()))
      std::abort();
  } catch (const InputError& error) {
    CheckMessage(error);
  }
  return 0;
}

int FuzzRequest(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    ParseRequest(text, "request.json", "/nonexistent");
  } catch (const InputError& error) {
    CheckMessage(error);
  }
  return 0;
}

int FuzzFilter(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  QUOR_DataSource dataSource;
  Dictionary dictionary;
  dictionary.variables.resize(3);
  dictionary.variables[0].name = "a";
  dictionary.variables[0].missingNumbers = {9};
  dictionary.variables[1].name = "b c";
  dictionary.variables[2].name = "s";
  dictionary.variables[2].isString = true;
  dictionary.variables[2].width = 3;
  dictionary.variables[2].missingStrings = {"na"};
  DefineVariables(dictionary, dataSource);
  try {
    Filter filter(text, "filter");
    Filter negation("not (" + text + ")", "filter");
    filter.Bind(dataSource);
    negation.Bind(dataSource);
    const double numbers[] = {1, 9, QUOR_SYSMIS, -1e308, 0.5};
    const char* const strings[] = {"x", "na", "", "abc"};
    std::vector<OBS> row(static_cast<size_t>(dataSource.RowWidth()));
    for (double a : numbers)
      for (double b : numbers)
        for (const char* s : strings) {
          row[static_cast<size_t>(dataSource.VariableOffset(0))].num = a;
          row[static_cast<size_t>(dataSource.VariableOffset(1))].num = b;
          char* bytes = row[static_cast<size_t>(dataSource.VariableOffset(2))].str;
          std::memset(bytes, ' ', sizeof(OBS));
          std::memcpy(bytes, s, std::strlen(s));
          if (filter.Keeps(row.data()) && negation.Keeps(row.data())) std::abort();
        }
  } catch (const InputError& error) {
    CheckMessage(error);
  }
  return 0;
}

namespace {

// Every value of every cell keyed by its cube, categories' labels and
// statistic, sorted by key, after a line of the cube's counts of cases: what
// a run in parts must reproduce. (Cases added in another order change
// running means in their last bits, and may so turn a tie of a sort by a
// statistic.)
using CellValueList = std::vector<std::pair<std::string, double>>;

CellValueList CellsOf(const std::vector<CubeResult>& cubes) {
  CellValueList values;
  for (const CubeResult& cube : cubes) {
    values.emplace_back(cube.title + " read " + std::to_string(cube.casesRead) + " weight " +
                            std::to_string(cube.casesExcludedByWeight) + " filter " +
                            std::to_string(cube.casesFilteredOut),
                        0.0);
    for (const CellResult& cell : cube.cells) {
      std::string labels = cube.title + (cell.present ? "" : " absent");
      for (size_t d = 0; d < cell.categories.size(); ++d)
        labels +=
            "|" + cube.dimensions[d].categories[static_cast<size_t>(cell.categories[d])].label;
      for (size_t v = 0; v < cell.values.size(); ++v)
        for (size_t i = 0; i < 3; ++i)
          values.emplace_back(labels + ": " + cube.statistics[v].name + std::to_string(i),
                              cell.values[v][i]);
    }
  }
  std::sort(values.begin(), values.end());
  return values;
}

bool NearlyEqual(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b || std::fabs(a - b) <= 1e-9 * std::max(std::fabs(a), std::fabs(b));
}

bool SameCells(const CellValueList& a, const CellValueList& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].first != b[i].first || !NearlyEqual(a[i].second, b[i].second)) return false;
  return true;
}

}  // namespace

int FuzzCommand(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts =
      SplitParts(std::string(reinterpret_cast<const char*>(data), size));
  const std::string& requestText = parts[0];
  const bool hasDictionary = parts.size() > 2;
  try {
    // Requests that name other files (a dictionary of their own, an SQLite
    // table) reach beyond this input; the readers of those are fuzzed apart.
    const Request request = ParseRequest(requestText, "request.json", "/nonexistent");
    if (!request.sqlite.empty() || (!request.dictionary.empty() && !hasDictionary)) return 0;
  } catch (const InputError& error) {
    CheckMessage(error);
    return 0;
  }
  CommandOptions options;
  options.request = Scratch().Write("request.json", requestText);
  options.data = Scratch().Write("data.csv", parts.size() > 1 ? parts[1] : std::string());
  if (hasDictionary) options.dictionary = Scratch().Write("dictionary.json", parts[2]);
  // The whole path three times: every table fed on the reading thread, every
  // table on a thread of its own, and the file read in three parts on
  // threads. The first two must give the same tables in every format, or the
  // same error; the parts the same cells up to rounding, or the same error.
  std::string outcomes[2];
  std::vector<CubeResult> onOneThread;
  for (int threads : {0, 1}) {
    options.threads = threads;
    std::string& outcome = outcomes[threads];
    try {
      const std::vector<CubeResult> results = RunRequest(options);
      if (threads == 0) onOneThread = results;
      for (OutputFormat format : {OutputFormat::kText, OutputFormat::kCsv, OutputFormat::kJson}) {
        options.format = format;
        std::ostringstream out;
        WriteResults(results, options, out);
        outcome += out.str();
      }
      options.format = OutputFormat::kText;
    } catch (const InputError& error) {
      CheckMessage(error);
      outcome = std::string("error: ") + error.what();
    }
  }
  if (outcomes[0] != outcomes[1]) {
    std::fprintf(stderr, "threaded and unthreaded runs differ:\n%s\n---\n%s\n", outcomes[0].c_str(),
                 outcomes[1].c_str());
    std::abort();
  }
  options.threads = 3;
  std::string error;
  CellValueList inParts;
  try {
    inParts = CellsOf(RunRequest(options));
  } catch (const InputError& thrown) {
    error = std::string("error: ") + thrown.what();
  }
  const bool failed = outcomes[0].compare(0, 7, "error: ") == 0;
  if (failed ? error != outcomes[0] : !error.empty() || !SameCells(inParts, CellsOf(onOneThread))) {
    std::fprintf(stderr, "a run in parts differs from one pass:\n%s\n---\n%s\n",
                 outcomes[0].c_str(), error.c_str());
    std::abort();
  }
  return 0;
}

int FuzzPartState(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const Request request = ParseRequest(kPartRequest, "request", ".");
  const Dictionary dictionary = NumberDictionary();
  RunOptions options;
  options.threads = 0;
  NumberCases cases(11);
  const PartialState valid = AggregateToState(request, dictionary, cases, options);
  PartialState state = valid;
  state.bytes = data[0] == 0 ? std::string(reinterpret_cast<const char*>(data + 1), size - 1)
                             : Edited(valid.bytes, data + 1, size - 1);
  try {
    FinishState(request, dictionary, MergeStates(request, dictionary, {valid, state}, options),
                options);
  } catch (const InputError& error) {
    CheckMessage(error);
  }
  return 0;
}

FuzzTarget FindFuzzTarget(const std::string& name) {
  if (name == "csv") return FuzzCsv;
  if (name == "dictionary") return FuzzDictionary;
  if (name == "request") return FuzzRequest;
  if (name == "filter") return FuzzFilter;
  if (name == "command") return FuzzCommand;
  if (name == "state") return FuzzState;
  if (name == "partstate") return FuzzPartState;
  return nullptr;
}
