#include "CaseFeeder.h"

#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

#include "RowQueue.h"

void CaseFeeder::Feed(const std::function<void(long)>& progress, long progressInterval,
                      int threads) {
  if (threads > 0 && !_tables.empty())
    FeedThreaded(progress, progressInterval);
  else
    FeedInline(progress, progressInterval);
}

void CaseFeeder::FeedInline(const std::function<void(long)>& progress, long progressInterval) {
  long cases = 0;
  while (_iterator.Next()) {
    const OBS* row = _iterator.CurrentRow();
    for (auto& run : _tables) run->AddCase(row);
    if (progress && ++cases % progressInterval == 0) progress(_iterator.CasesRead());
  }
}

void CaseFeeder::FeedThreaded(const std::function<void(long)>& progress, long progressInterval) {
  RowQueue queue(static_cast<int>(_tables.size()), static_cast<size_t>(_dataSource.RowWidth()));
  std::vector<std::exception_ptr> errors(_tables.size());
  std::vector<std::thread> workers;
  auto startWorker = [&](size_t t) {
    workers.emplace_back([&, t] {
      TableRun& run = *_tables[t];
      try {
        for (size_t sequence = 0;; ++sequence) {
          size_t rows = 0;
          const OBS* batch = queue.WaitFor(sequence, rows);
          if (!batch || rows == 0) return;
          for (size_t r = 0; r < rows; ++r) run.AddCase(batch + r * queue.RowWidth());
          queue.Done(sequence);
        }
      } catch (...) {
        errors[t] = std::current_exception();
        queue.Abandon();
      }
    });
  };
  try {
    for (size_t t = 0; t < _tables.size(); ++t) startWorker(t);
  } catch (const std::system_error&) {
    // No thread to be had: the threads started so far stop before reading a
    // case, and every table is fed on this thread instead.
    queue.Abandon();
    for (std::thread& worker : workers) worker.join();
    FeedInline(progress, progressInterval);
    return;
  }
  std::exception_ptr readError;
  try {
    long cases = 0;
    const size_t width = static_cast<size_t>(_dataSource.RowWidth());
    bool more = true;
    while (more) {
      OBS* batch = queue.NextToFill();
      if (!batch) break;
      size_t rows = 0;
      while (rows < RowQueue::kRowsPerBatch && (more = _iterator.Next())) {
        if (width > 0)
          std::memcpy(batch + rows * width, _iterator.CurrentRow(), width * sizeof(OBS));
        ++rows;
        if (progress && ++cases % progressInterval == 0) progress(_iterator.CasesRead());
      }
      if (rows > 0) queue.Publish(rows);
    }
    // An empty batch tells the table threads that the data have ended.
    if (more == false && queue.NextToFill()) queue.Publish(0);
  } catch (...) {
    readError = std::current_exception();
    queue.Abandon();
  }
  for (std::thread& worker : workers) worker.join();
  if (readError) std::rethrow_exception(readError);
  for (const std::exception_ptr& error : errors)
    if (error) std::rethrow_exception(error);
}
