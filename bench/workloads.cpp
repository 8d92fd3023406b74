// tabcube_workloads: times the engine on the four reference workloads.
//
// Loads a generated CSV (region, product, year, gender, income, weight,
// q1..q5) into an in-memory data source, then for each workload builds the
// table through the public front end, feeds every case, reads every cell of
// every cube and destroys the table. One untimed warm-up run, then the timed
// runs; loading is not timed. Prints one line per workload with the minimum
// and median time and the cases per second at the median (with --threads N,
// the cases split into N parts aggregated on N threads and merged), and, with
// --json FILE, appends the runs as JSON lines (the peers' format).
//
//   tabcube_workloads DATA.csv [--runs 7] [--threads 1] [--workloads w1,w2,w3,w4]
//                     [--label 1m] [--json FILE] [--results DIR]
//
// --results DIR writes each workload's cells as CSV (0 names a total) so that
// they can be compared with the peers' results.

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "AggregationCategory.h"
#include "AggregationCube.h"
#include "AggregationMCSet.h"
#include "AggregationResult.h"
#include "AggregationStatistic.h"
#include "AggregationTable.h"
#include "AggregationVariable.h"
#include "CubeAggregator.h"
#include "StatValues.h"
#include "TableDimension.h"
#include "baseutil.h"
#include "casesource.h"

namespace {

using Codes = TableEncryptionCodes;
using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------------------
// Loading

const char* const kColumns[] = {"region", "product", "year", "gender", "income", "weight",
                                "q1",     "q2",      "q3",   "q4",     "q5"};
constexpr int kNumberOfColumns = 11;

std::string ReadFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw std::runtime_error(path + ": cannot open");
  std::string text;
  char buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

// Every column is numeric; an empty field stays system-missing.
void LoadCsv(const std::string& path, QUOR_DataSource& data) {
  const std::string text = ReadFile(path);
  const char* p = text.data();
  const char* end = p + text.size();
  const char* lineEnd = std::find(p, end, '\n');
  std::vector<std::string> header;
  {
    std::string line(p, lineEnd);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::stringstream fields(line);
    std::string field;
    while (std::getline(fields, field, ',')) header.push_back(field);
  }
  std::vector<int> variableOfField(header.size(), -1);
  for (int c = 0; c < kNumberOfColumns; ++c) {
    const auto at = std::find(header.begin(), header.end(), kColumns[c]);
    if (at == header.end()) throw std::runtime_error(path + ": no column " + kColumns[c]);
    variableOfField[static_cast<size_t>(at - header.begin())] = data.AddVariable(kColumns[c], 0);
  }
  p = lineEnd < end ? lineEnd + 1 : end;
  long line = 1;
  while (p < end) {
    lineEnd = std::find(p, end, '\n');
    ++line;
    if (lineEnd == p || (lineEnd == p + 1 && *p == '\r')) {
      p = lineEnd + 1;
      continue;
    }
    const int row = data.AddCase();
    size_t field = 0;
    const char* q = p;
    while (q <= lineEnd && field < header.size()) {
      const char* fieldEnd = std::find(q, lineEnd, ',');
      const char* valueEnd = fieldEnd;
      if (valueEnd > q && valueEnd[-1] == '\r') --valueEnd;
      const int variable = variableOfField[field];
      if (variable >= 0 && valueEnd > q) {
        double value = 0.0;
        const auto parsed = std::from_chars(q, valueEnd, value);
        if (parsed.ec != std::errc() || parsed.ptr != valueEnd)
          throw std::runtime_error(path + ":" + std::to_string(line) + ": not a number in " +
                                   header[field]);
        data.SetValue(row, variable, value);
      }
      ++field;
      q = fieldEnd + 1;
    }
    p = lineEnd < end ? lineEnd + 1 : end;
  }
}

int VariableIndex(const QUOR_DataSource& data, const char* name) {
  for (int i = 0; i < data.NumberOfVariables(); ++i)
    if (std::strcmp(data.GetVariable(i).GetName(), name) == 0) return i;
  throw std::runtime_error(std::string("no variable ") + name);
}

// ---------------------------------------------------------------------------
// Workloads

// What a workload's table looks like: its variables and sets, its cubes, and
// which statistic of which cube each output column reads.
struct CubeReading {
  CubeAggregator* aggregator;
  std::vector<TableDimension*> dimensions;
};

struct Column {
  std::string name;
  int cube;       // index into the table's cubes
  int statistic;  // statistic index inside that cube
};

// The part of the cases a table takes: first to end - 1 (end -1: all).
struct CaseRange {
  int first = 0;
  int end = -1;
};

class WorkloadTable {
 public:
  virtual ~WorkloadTable() = default;
  virtual std::vector<std::string> KeyNames() const = 0;
  virtual std::vector<Column> Columns() const = 0;

  void Feed() {
    while (_iterator->Next()) _table->AddNewCase();
  }
  // Merges a table of the same workload that took the cases after this one's.
  void Merge(WorkloadTable& later) { _table->MergeFrom(*later._table); }

  // Reads every cell of every cube (every combination of every dimension's
  // categories, totals included) and returns the sum of the values read, so
  // that no read can be optimised away. With out, writes one CSV line per
  // cell of the first cube: the category values (0 for a total) and every
  // column.
  double ReadAll(std::ostream* out) {
    double checksum = 0.0;
    const std::vector<CubeAggregator*> aggregators = _table->GetCubeAggregators();
    const std::vector<Column> columns = Columns();
    const size_t nDims = _dimensions.size();
    std::vector<const std::vector<AggregationCategory*>*> lists;
    for (TableDimension* dimension : _dimensions)
      lists.push_back(&dimension->GetCategoryPointers());
    std::vector<size_t> position(nDims, 0);
    std::vector<const AggregationCategory*> key(nDims);
    std::vector<double> row(columns.size());
    for (const auto* list : lists)
      if (list->empty()) return checksum;
    for (;;) {
      for (size_t d = 0; d < nDims; ++d) key[d] = (*lists[d])[position[d]];
      bool present = false;
      std::fill(row.begin(), row.end(), std::nan(""));
      for (size_t c = 0; c < aggregators.size(); ++c) {
        StatValues* values = aggregators[c]->GetStatValues(key, -1);
        if (!values) continue;
        present = true;
        for (int s = 0; s < values->NumOfValues(); ++s) {
          const AggregationResult result = values->GetStatValue(s);
          const double value = result.GetValue1();
          if (value != Codes::kMissingValue) checksum += value;
          for (size_t k = 0; k < columns.size(); ++k)
            if (columns[k].cube == static_cast<int>(c) && columns[k].statistic == s)
              row[k] = value == Codes::kMissingValue ? std::nan("") : value;
        }
      }
      if (out && present) WriteRow(*out, key, row);
      size_t d = nDims;
      for (;;) {
        if (d == 0) return checksum;
        --d;
        if (++position[d] < lists[d]->size()) break;
        position[d] = 0;
      }
    }
  }

 protected:
  WorkloadTable(const QUOR_DataSource& data, int weightVariable, CaseRange range) {
    _iterator = std::make_unique<ProcDSIterator>(data, weightVariable, range.first, range.end);
    _table = std::make_unique<AggregationTable>(*_iterator, weightVariable >= 0, false);
  }

  AggregationVariable* Variable(const QUOR_DataSource& data, const char* name) {
    _variables.push_back(std::make_unique<AggregationVariable>(VariableIndex(data, name), name));
    AggregationVariable* variable = _variables.back().get();
    variable->SetIsTotalNo(false);
    variable->SetIsTotalPositionAfter(false);
    return variable;
  }

  // Adds the variables in order (rows, columns, layers as given) to a new cube.
  AggregationCube* Cube(
      const std::vector<std::pair<AggregationVariable*, Codes::DimensionPosition>>& dimensions) {
    AggregationCube* cube = _table->CreateCube();
    for (const auto& [variable, position] : dimensions)
      cube->AddCategoricalVariable(variable, position);
    cube->CreateCubeAggregator();
    if (_dimensions.empty())
      for (const auto& entry : dimensions) _dimensions.push_back(entry.first->GetTableDimension());
    return cube;
  }

  static AggregationStatistic Statistic(int variable, Codes::StatisticCodes code,
                                        double cutPoint = 0.0) {
    AggregationStatistic statistic(variable, code);
    if (cutPoint > 0.0) statistic.SetPTileCutPoint(cutPoint);
    return statistic;
  }

  std::unique_ptr<ProcDSIterator> _iterator;
  std::vector<std::unique_ptr<AggregationVariable>> _variables;
  std::unique_ptr<AggregationTable> _table;
  std::vector<TableDimension*> _dimensions;  // of the first cube, in cube order

 private:
  static void WriteRow(std::ostream& out, const std::vector<const AggregationCategory*>& key,
                       const std::vector<double>& row) {
    char text[64];
    bool first = true;
    for (const AggregationCategory* category : key) {
      const double value =
          category->GetCatType() == AggregationCategory::kValue ? category->GetCatValue().num : 0.0;
      std::snprintf(text, sizeof text, "%s%.17g", first ? "" : ",", value);
      out << text;
      first = false;
    }
    for (double value : row) {
      if (std::isnan(value))
        out << ",";
      else {
        std::snprintf(text, sizeof text, ",%.17g", value);
        out << text;
      }
    }
    out << "\n";
  }
};

// W1 (and W2 weighted): region by product by year; count and column
// percentage in a categorical cube whose statistics variable is region,
// mean and sum of income in a scale cube over the same crossing (the way the
// tabcube command lays out a table that mixes the two kinds).
class CrosstabTable : public WorkloadTable {
 public:
  CrosstabTable(const QUOR_DataSource& data, bool weighted, CaseRange range)
      : WorkloadTable(data, weighted ? VariableIndex(data, "weight") : -1, range) {
    AggregationVariable* region = Variable(data, "region");
    AggregationVariable* product = Variable(data, "product");
    AggregationVariable* year = Variable(data, "year");
    const std::vector<std::pair<AggregationVariable*, Codes::DimensionPosition>> crossing = {
        {region, Codes::kRowPosition},
        {product, Codes::kColumnPosition},
        {year, Codes::kLayerPosition}};
    const int income = VariableIndex(data, "income");
    Cube(crossing)->AddCategoryStatistics(
        {Statistic(-1, Codes::kCount), Statistic(-1, Codes::kColPct)}, region);
    Cube(crossing)->AddScaleStatistics(
        {Statistic(income, Codes::kMean), Statistic(income, Codes::kSum)});
  }
  std::vector<std::string> KeyNames() const override { return {"region", "product", "year"}; }
  std::vector<Column> Columns() const override {
    return {{"count", 0, 0}, {"mean_income", 1, 0}, {"sum_income", 1, 1}, {"colpct", 0, 1}};
  }
};

// W3: region by gender; 25th, 50th and 75th percentile of income.
class PercentileTable : public WorkloadTable {
 public:
  PercentileTable(const QUOR_DataSource& data, CaseRange range) : WorkloadTable(data, -1, range) {
    AggregationVariable* region = Variable(data, "region");
    AggregationVariable* gender = Variable(data, "gender");
    const int income = VariableIndex(data, "income");
    Cube({{region, Codes::kRowPosition}, {gender, Codes::kColumnPosition}})
        ->AddScaleStatistics({Statistic(income, Codes::kPercentile, 25.0),
                              Statistic(income, Codes::kPercentile, 50.0),
                              Statistic(income, Codes::kPercentile, 75.0)});
  }
  std::vector<std::string> KeyNames() const override { return {"region", "gender"}; }
  std::vector<Column> Columns() const override {
    return {{"p25", 0, 0}, {"median", 0, 1}, {"p75", 0, 2}};
  }
};

// W4: the multiple category set {q1..q5} by gender; cases per category and
// responses, duplicates counted.
class ResponsesTable : public WorkloadTable {
 public:
  ResponsesTable(const QUOR_DataSource& data, CaseRange range) : WorkloadTable(data, -1, range) {
    std::vector<int> members;
    for (const char* name : {"q1", "q2", "q3", "q4", "q5"})
      members.push_back(VariableIndex(data, name));
    _set = std::make_unique<AggregationMCSet>(members, "qset");
    _set->SetIsTotalNo(false);
    _set->SetIsTotalPositionAfter(false);
    AggregationVariable* gender = Variable(data, "gender");
    Cube({{_set.get(), Codes::kRowPosition}, {gender, Codes::kColumnPosition}})
        ->AddCategoryStatistics({Statistic(-1, Codes::kCount), Statistic(-1, Codes::kResponses)},
                                _set.get());
    _set->GetTableDimension()->SetComputingCounts(true);
  }
  ~ResponsesTable() override {
    // The table's dimensions point at the set: the table goes first.
    _table.reset();
  }
  std::vector<std::string> KeyNames() const override { return {"cat", "gender"}; }
  std::vector<Column> Columns() const override { return {{"cases", 0, 0}, {"responses", 0, 1}}; }

 private:
  std::unique_ptr<AggregationMCSet> _set;
};

std::unique_ptr<WorkloadTable> MakeTable(const std::string& workload, const QUOR_DataSource& data,
                                         CaseRange range = CaseRange()) {
  if (workload == "w1") return std::make_unique<CrosstabTable>(data, false, range);
  if (workload == "w2") return std::make_unique<CrosstabTable>(data, true, range);
  if (workload == "w3") return std::make_unique<PercentileTable>(data, range);
  if (workload == "w4") return std::make_unique<ResponsesTable>(data, range);
  throw std::runtime_error("unknown workload " + workload);
}

double CpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// One complete run: definition, every case, every cell, destruction. Returns
// the elapsed seconds; cpu receives the processor seconds (which a busy
// machine inflates less than the elapsed ones).
// With threads > 1 the cases are split into that many contiguous parts, each
// aggregated into a table of its own on a thread of its own; the parts are
// merged in case order and the merged table is read.
double RunOnce(const std::string& workload, const QUOR_DataSource& data, int threads,
               double& checksum, double& cpu) {
  const auto start = Clock::now();
  const double cpuStart = CpuSeconds();
  {
    const int cases = data.NumberOfCases();
    std::vector<std::unique_ptr<WorkloadTable>> parts;
    for (int t = 0; t < threads; ++t) {
      const CaseRange range{static_cast<int>(static_cast<long>(cases) * t / threads),
                            static_cast<int>(static_cast<long>(cases) * (t + 1) / threads)};
      parts.push_back(MakeTable(workload, data, threads > 1 ? range : CaseRange()));
    }
    std::vector<std::thread> feeders;
    for (size_t t = 1; t < parts.size(); ++t)
      feeders.emplace_back([&parts, t] { parts[t]->Feed(); });
    parts[0]->Feed();
    for (std::thread& feeder : feeders) feeder.join();
    for (size_t t = 1; t < parts.size(); ++t) parts[0]->Merge(*parts[t]);
    checksum = parts[0]->ReadAll(nullptr);
  }
  cpu = CpuSeconds() - cpuStart;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) parts.push_back(part);
  return parts;
}

void WriteResults(const std::string& directory, const std::string& workload,
                  const std::string& label, const QUOR_DataSource& data) {
  const std::string path = directory + "/tabcube_" + workload + "_" + label + ".csv";
  std::ofstream out(path);
  if (!out) throw std::runtime_error(path + ": cannot write");
  std::unique_ptr<WorkloadTable> table = MakeTable(workload, data);
  bool first = true;
  for (const std::string& name : table->KeyNames()) {
    out << (first ? "" : ",") << name;
    first = false;
  }
  for (const Column& column : table->Columns()) out << "," << column.name;
  out << "\n";
  table->Feed();
  table->ReadAll(&out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(
        stderr,
        "usage: %s DATA.csv [--runs N] [--threads N] [--workloads w1,w2,w3,w4] [--label L] "
        "[--json FILE] [--results DIR]\n",
        argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  int runs = 7;
  int threads = 1;
  std::vector<std::string> workloads = {"w1", "w2", "w3", "w4"};
  std::string label = "data", json, results;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i], value = argv[i + 1];
    if (option == "--runs")
      runs = std::max(1, std::atoi(value.c_str()));
    else if (option == "--workloads")
      workloads = Split(value);
    else if (option == "--threads")
      threads = std::max(1, std::atoi(value.c_str()));
    else if (option == "--label")
      label = value;
    else if (option == "--json")
      json = value;
    else if (option == "--results")
      results = value;
    else {
      std::fprintf(stderr, "unknown option %s\n", option.c_str());
      return 2;
    }
  }
  try {
    QUOR_DataSource data;
    const auto loadStart = Clock::now();
    LoadCsv(path, data);
    const double loadSeconds = std::chrono::duration<double>(Clock::now() - loadStart).count();
    const long cases = data.NumberOfCases();
    std::printf("loaded %ld cases in %.2f s (not timed below)\n", cases, loadSeconds);
    std::printf("%-9s %10s %10s %14s %12s\n", "workload", "min s", "median s", "cases/s",
                "cpu median");
    for (const std::string& workload : workloads) {
      if (!results.empty()) WriteResults(results, workload, label, data);
      double checksum = 0.0, reference = 0.0, cpu = 0.0;
      RunOnce(workload, data, threads, reference, cpu);  // warm-up
      std::vector<double> times, cpus;
      for (int r = 0; r < runs; ++r) {
        times.push_back(RunOnce(workload, data, threads, checksum, cpu));
        cpus.push_back(cpu);
        // Parts sum in another order than a single pass, so that sums agree
        // to rounding only.
        if (std::fabs(checksum - reference) > 1e-9 * std::fabs(reference))
          throw std::runtime_error(workload + ": runs disagree");
      }
      std::vector<double> sorted = times;
      std::sort(sorted.begin(), sorted.end());
      std::sort(cpus.begin(), cpus.end());
      const double median = sorted[sorted.size() / 2];
      std::printf("%-9s %10.4f %10.4f %14.0f %12.4f\n", workload.c_str(), sorted.front(), median,
                  median > 0 ? static_cast<double>(cases) / median : 0.0, cpus[cpus.size() / 2]);
      std::fflush(stdout);
      if (!json.empty()) {
        std::ofstream out(json, std::ios::app);
        out << "{\"peer\": \""
            << (threads > 1 ? "tabcube_" + std::to_string(threads) + "t" : "tabcube")
            << "\", \"n\": \"" << label << "\", \"workload\": \"" << workload << "\", \"times\": [";
        for (size_t i = 0; i < times.size(); ++i) {
          char text[32];
          std::snprintf(text, sizeof text, "%s%.6f", i ? ", " : "", times[i]);
          out << text;
        }
        out << "]}\n";
      }
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tabcube_workloads: %s\n", error.what());
    return 1;
  }
  return 0;
}
