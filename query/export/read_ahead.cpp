#include "export/read_ahead.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace query {
namespace {

constexpr size_t kBatchRows = 512;
constexpr size_t kMaxBatchesAhead = 8;

using Batch = std::vector<std::vector<jet::Value>>;

// The hand-over between the reading thread and the writing one.
class BatchQueue {
 public:
  // Reader: waits for room; false when the writer has given up.
  bool Push(Batch batch) {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return batches_.size() < kMaxBatchesAhead || stopped_; });
    if (stopped_) return false;
    batches_.push_back(std::move(batch));
    ready_.notify_one();
    return true;
  }
  // Reader: no more batches; `error` is set when reading failed.
  void Finish(std::exception_ptr error) {
    std::lock_guard lock(mutex_);
    finished_ = true;
    error_ = error;
    ready_.notify_one();
  }
  // Writer: the next batch; false at the end. Rethrows the reader's exception.
  bool Pop(Batch& batch) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return !batches_.empty() || finished_; });
    if (batches_.empty()) {
      if (error_) std::rethrow_exception(error_);
      return false;
    }
    batch = std::move(batches_.front());
    batches_.pop_front();
    room_.notify_one();
    return true;
  }
  // Writer: stop the reader.
  void Stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    room_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;  // a batch arrived or reading finished
  std::condition_variable room_;   // a batch was taken or the writer stopped
  std::deque<Batch> batches_;
  bool finished_ = false;
  bool stopped_ = false;
  std::exception_ptr error_;
};

}  // namespace

void ForEachRowReadAhead(const jet::Database& db, const jet::TableDef& def,
                         const std::function<void(std::vector<jet::Value>&)>& fn) {
  BatchQueue queue;
  std::thread reader([&] {
    std::exception_ptr error;
    try {
      Batch batch;
      batch.reserve(kBatchRows);
      bool open = true;
      db.Scan(def, [&](jet::RowId, std::vector<jet::Value>& row) {
        batch.push_back(std::move(row));
        if (batch.size() < kBatchRows) return true;
        open = queue.Push(std::move(batch));
        batch = Batch();
        batch.reserve(kBatchRows);
        return open;
      });
      if (open && !batch.empty()) queue.Push(std::move(batch));
    } catch (...) {
      error = std::current_exception();
    }
    queue.Finish(error);
  });
  try {
    Batch batch;
    while (queue.Pop(batch)) {
      for (std::vector<jet::Value>& row : batch) fn(row);
    }
  } catch (...) {
    queue.Stop();
    reader.join();
    throw;
  }
  reader.join();
}

}  // namespace query
