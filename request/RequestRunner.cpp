#include "RequestRunner.h"

#include "CaseFeeder.h"
#include "DataInput.h"
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
