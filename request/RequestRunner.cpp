#include "RequestRunner.h"

#include <cassert>
#include <cstdint>

#include "CaseFeeder.h"
#include "DataInput.h"
#include "InputError.h"
#include "ResultReader.h"
#include "TableBuilder.h"

RequestRunner::RequestRunner(const Request& request, const QUOR_DataSource& dataSource,
                             StreamingCaseIterator& iterator, int weightVariable)
    : _dataSource(dataSource),
      _iterator(iterator),
      _weightVariable(weightVariable),
      _tables(BuildTables(request, dataSource, weightVariable)) {
  if (request.filter.empty()) return;
  _filter = std::make_unique<Filter>(request.filter, request.source + ": $.filter");
  _filter->Bind(dataSource);
  _iterator.SetFilter(_filter.get());
}

RequestRunner::~RequestRunner() = default;

void RequestRunner::Feed(const std::function<void(long)>& progress, long progressInterval,
                         int threads) {
  CaseFeeder(_dataSource, _iterator, _tables).Feed(progress, progressInterval, threads);
}

std::vector<CubeResult> RequestRunner::Results() const {
  return ReadResults(_dataSource, _tables, _iterator, _weightVariable,
                     _filter ? "(" + _filter->Text() + ")" : std::string());
}

namespace {

// Counts of cases beyond this are no count of a real pass: a state claiming
// one is refused rather than added up past what a long holds.
constexpr uint64_t kMostCases = uint64_t{1} << 53;

void AppendNumber(uint64_t value, std::string& out) {
  for (size_t i = 0; i < 8; ++i, value >>= 8) out += static_cast<char>(value & 0xff);
}

// A table's state: its engine table's state (length first), the cases its
// own counters counted (left out by its filter, deleted listwise, missing
// per dimension), then the state of its hidden tests table, if any.
void AppendRunState(const TableRun& run, std::string& out) {
  const size_t start = out.size();
  out.append(8, '\0');
  run.table->SerializeState(out);
  uint64_t length = out.size() - start - 8;
  for (size_t i = 0; i < 8; ++i, length >>= 8) out[start + i] = static_cast<char>(length & 0xff);
  AppendNumber(static_cast<uint64_t>(run.casesFilteredOut), out);
  AppendNumber(static_cast<uint64_t>(run.casesDeletedListwise), out);
  for (const TableRun::MissingCount& count : run.missingByDimension)
    AppendNumber(static_cast<uint64_t>(count.cases), out);
  if (run.tests) AppendRunState(*run.tests, out);
}

// Reads what AppendRunState wrote from data[at, size) and adds it to run.
class RunStateReader {
 public:
  RunStateReader(const char* data, size_t size) : _data(data), _size(size) {}

  void Merge(TableRun& run, const std::string& table) {
    const uint64_t length = Number(table);
    if (length > _size - _at) throw InputError(table + "the state ends early");
    std::string error;
    if (!run.table->MergeState(_data + _at, static_cast<size_t>(length), error))
      throw InputError(table + error);
    _at += static_cast<size_t>(length);
    AddCount(run.casesFilteredOut, table);
    AddCount(run.casesDeletedListwise, table);
    for (TableRun::MissingCount& count : run.missingByDimension) AddCount(count.cases, table);
    if (run.tests) Merge(*run.tests, table + "tests: ");
  }

  bool AtEnd() const { return _at == _size; }

 private:
  uint64_t Number(const std::string& table) {
    if (_size - _at < 8) throw InputError(table + "the state ends early");
    uint64_t value = 0;
    for (size_t i = 8; i-- > 0;) value = value << 8 | static_cast<unsigned char>(_data[_at + i]);
    _at += 8;
    return value;
  }

  void AddCount(long& count, const std::string& table) {
    const uint64_t cases = Number(table);
    if (cases > kMostCases - static_cast<uint64_t>(count))
      throw InputError(table + "a count of cases out of range");
    count += static_cast<long>(cases);
  }

  const char* _data;
  size_t _size;
  size_t _at = 0;
};

}  // namespace

namespace {

void MergeRun(TableRun& into, TableRun& later) {
  into.table->MergeFrom(*later.table);
  into.casesFilteredOut += later.casesFilteredOut;
  into.casesDeletedListwise += later.casesDeletedListwise;
  for (size_t i = 0; i < into.missingByDimension.size(); ++i)
    into.missingByDimension[i].cases += later.missingByDimension[i].cases;
  if (into.tests) MergeRun(*into.tests, *later.tests);
}

}  // namespace

void RequestRunner::MergeFrom(RequestRunner& later) {
  assert(later._tables.size() == _tables.size() && "later._tables.size() == _tables.size()");
  for (size_t t = 0; t < _tables.size(); ++t) MergeRun(*_tables[t], *later._tables[t]);
  _iterator.AddCountsOf(later._iterator);
}

void RequestRunner::SerializeStates(std::string& out) const {
  for (const std::unique_ptr<TableRun>& run : _tables) AppendRunState(*run, out);
}

void RequestRunner::MergeStates(const char* data, size_t size) {
  RunStateReader reader(data, size);
  for (size_t t = 0; t < _tables.size(); ++t)
    reader.Merge(*_tables[t], "partial state: table " + std::to_string(t + 1) + ": ");
  if (!reader.AtEnd()) throw InputError("partial state: bytes after the last table's state");
}
