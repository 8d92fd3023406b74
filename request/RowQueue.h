#ifndef TABCUBE_REQUEST_ROW_QUEUE_H
#define TABCUBE_REQUEST_ROW_QUEUE_H

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

#include "baseutil.h"

// Rows handed from the reading thread to the table threads. A ring of
// batches: the reader fills a free batch and publishes it; every table thread
// aggregates every published batch in order; a batch is free again once every
// table thread is done with it. The rows of a batch never change while it is
// published, so the table threads read them without locking.
class RowQueue {
 public:
  RowQueue(int consumers, size_t rowWidth)
      : _consumers(consumers), _rowWidth(std::max<size_t>(1, rowWidth)) {
    for (Batch& batch : _batches) batch.rows.resize(kRowsPerBatch * _rowWidth);
  }

  // The reader: the batch to fill next, once every table thread is done with
  // it; null when the run is being abandoned.
  OBS* NextToFill() {
    std::unique_lock<std::mutex> lock(_mutex);
    Batch& batch = _batches[_published % kBatches];
    _freed.wait(lock, [&] { return batch.busy == 0 || _abandoned; });
    return _abandoned ? nullptr : batch.rows.data();
  }
  // The reader: publishes the batch from NextToFill with its number of rows
  // (0 marks the end of the data).
  void Publish(size_t rows) {
    {
      std::lock_guard<std::mutex> lock(_mutex);
      Batch& batch = _batches[_published % kBatches];
      batch.count = rows;
      batch.busy = _consumers;
      ++_published;
    }
    _filled.notify_all();
  }
  // A table thread: batch number sequence once published (null when the run
  // is abandoned), with its rows.
  const OBS* WaitFor(size_t sequence, size_t& rows) {
    std::unique_lock<std::mutex> lock(_mutex);
    _filled.wait(lock, [&] { return _published > sequence || _abandoned; });
    if (_abandoned) return nullptr;
    const Batch& batch = _batches[sequence % kBatches];
    rows = batch.count;
    return batch.rows.data();
  }
  // A table thread is done with batch number sequence.
  void Done(size_t sequence) {
    {
      std::lock_guard<std::mutex> lock(_mutex);
      --_batches[sequence % kBatches].busy;
    }
    _freed.notify_all();
  }
  // Stops every thread at its next wait.
  void Abandon() {
    {
      std::lock_guard<std::mutex> lock(_mutex);
      _abandoned = true;
    }
    _filled.notify_all();
    _freed.notify_all();
  }
  size_t RowWidth() const { return _rowWidth; }

  static constexpr size_t kRowsPerBatch = 1024;

 private:
  static constexpr size_t kBatches = 8;
  struct Batch {
    std::vector<OBS> rows;
    size_t count = 0;
    int busy = 0;  // table threads that have not finished the batch
  };

  const int _consumers;
  const size_t _rowWidth;
  Batch _batches[kBatches];
  size_t _published = 0;
  bool _abandoned = false;
  std::mutex _mutex;
  std::condition_variable _filled, _freed;
};

#endif
