#include "RequestRunner.h"

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

void RequestRunner::SerializeStates(std::string& out) const {
  for (const std::unique_ptr<TableRun>& run : _tables) {
    const size_t start = out.size();
    out.append(8, '\0');
    run->table->SerializeState(out);
    uint64_t length = out.size() - start - 8;
    for (size_t i = 0; i < 8; ++i, length >>= 8) out[start + i] = static_cast<char>(length & 0xff);
  }
}

void RequestRunner::MergeStates(const char* data, size_t size) {
  size_t at = 0;
  for (size_t t = 0; t < _tables.size(); ++t) {
    const std::string table = "partial state: table " + std::to_string(t + 1) + ": ";
    if (size - at < 8) throw InputError(table + "the state ends early");
    uint64_t length = 0;
    for (size_t i = 8; i-- > 0;) length = length << 8 | static_cast<unsigned char>(data[at + i]);
    at += 8;
    if (length > size - at) throw InputError(table + "the state ends early");
    std::string error;
    if (!_tables[t]->table->MergeState(data + at, static_cast<size_t>(length), error))
      throw InputError(table + error);
    at += static_cast<size_t>(length);
  }
  if (at != size) throw InputError("partial state: bytes after the last table's state");
}
