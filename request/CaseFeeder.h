#ifndef TABCUBE_REQUEST_CASE_FEEDER_H
#define TABCUBE_REQUEST_CASE_FEEDER_H

#include <functional>
#include <memory>
#include <vector>

#include "DataInput.h"
#include "TableRun.h"

// CaseFeeder: feeds every case of one pass over the data to a request's
// tables, on the calling thread or on a thread per table. Owns nothing: the
// data source, the iterator and the tables are the caller's.
class CaseFeeder {
 public:
  CaseFeeder(const QUOR_DataSource& dataSource, StreamingCaseIterator& iterator,
             std::vector<std::unique_ptr<TableRun>>& tables)
      : _dataSource(dataSource), _iterator(iterator), _tables(tables) {}

  // Feeds every case; progress(casesRead) is called every progressInterval
  // cases. With threads above 0, the calling thread reads the cases into
  // batches of rows while each table aggregates them on a thread of its own
  // (the engine's tables share nothing, so each is driven by one thread);
  // with 0 every table is fed on the calling thread, case by case. The
  // results are the same either way. An error of the data stops every thread
  // and is thrown here.
  void Feed(const std::function<void(long)>& progress, long progressInterval, int threads);

 private:
  void FeedInline(const std::function<void(long)>& progress, long progressInterval);
  void FeedThreaded(const std::function<void(long)>& progress, long progressInterval);

  const QUOR_DataSource& _dataSource;
  StreamingCaseIterator& _iterator;
  std::vector<std::unique_ptr<TableRun>>& _tables;
};

#endif
