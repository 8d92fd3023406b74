#ifndef TABCUBE_REQUEST_REQUEST_RUNNER_H
#define TABCUBE_REQUEST_REQUEST_RUNNER_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Request.h"
#include "TableResult.h"
#include "TableRun.h"
#include "casesource.h"

class StreamingCaseIterator;

// RequestRunner: runs a table request over one data source: builds the
// engine tables (TableBuilder), feeds every case of one pass to all of them
// (CaseFeeder) and reads every cell back into CubeResults (ResultReader).
// Building checks the request against the data first: unknown names, sets
// mixing numeric and string members, statistics on string variables and the
// like throw InputError naming the JSON path.
// Owns the engine tables and everything they point to (variables, explicit
// category lists, counted values); the request, the data source and the
// iterator are the caller's and must outlive the runner.
class RequestRunner {
 public:
  RequestRunner(const Request& request, const QUOR_DataSource& dataSource,
                StreamingCaseIterator& iterator, int weightVariable);
  ~RequestRunner();
  RequestRunner(const RequestRunner&) = delete;
  RequestRunner& operator=(const RequestRunner&) = delete;

  // Feeds every case; progress(casesRead) is called every progressInterval
  // cases. With threads above 0, the calling thread reads the cases into
  // batches of rows while each table aggregates them on a thread of its own
  // (the engine's tables share nothing, so each is driven by one thread);
  // with 0 every table is fed on the calling thread, case by case. The
  // results are the same either way. An error of the data stops every thread
  // and is thrown here.
  void Feed(const std::function<void(long)>& progress, long progressInterval, int threads = 0);
  // The finished cubes of every table, in request order.
  std::vector<CubeResult> Results() const;

  // Merges a runner of the same request over the same data source that was
  // fed the cases after this one's (the next part of a file read in parts):
  // every table, its counts of cases left out and the iterator's counts.
  // later is spent.
  void MergeFrom(RequestRunner& later);

  // Partial states, for parts of the cases aggregated apart (in other
  // processes or on other machines) and merged in case order. Appends every
  // table's state (AggregationTable::SerializeState, after its length in
  // eight bytes, least significant first), then the table's own counts of
  // cases (filtered out, deleted listwise, missing per dimension) in eight
  // bytes each, then the same of its hidden tests table, if any.
  void SerializeStates(std::string& out) const;
  // Merges states that SerializeStates wrote for the same request over data
  // of the same definition, whose cases come after the ones seen here.
  // Anything else throws InputError ("partial state: ..."); tables before
  // the faulty one may be merged already, so the runner is then dropped.
  void MergeStates(const char* data, size_t size);

 private:
  const QUOR_DataSource& _dataSource;
  StreamingCaseIterator& _iterator;
  int _weightVariable;
  std::vector<std::unique_ptr<TableRun>> _tables;
  std::unique_ptr<Filter> _filter;  // the request's filter, if any, applied by the iterator
};

#endif
