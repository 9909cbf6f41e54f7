// Writes a run's work files on a thread of its own, so that the file system's part of creating
// them overlaps the rewriting of the next files.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace migwiz {

class TOutputWriter {
 public:
  // At most maxPending bytes wait to be written; Write blocks beyond that, so memory stays
  // bounded by the largest file rather than the tree.
  explicit TOutputWriter(size_t maxPending = size_t(1) << 20);
  // Waits for the thread; what was not written yet is dropped (the run is ending with an error).
  ~TOutputWriter();
  TOutputWriter(const TOutputWriter&) = delete;
  TOutputWriter& operator=(const TOutputWriter&) = delete;

  // Queues a new file (rtl::WriteFileBytes). Raises the error of an earlier write that failed.
  void Write(std::string path, std::string bytes);
  // Returns when every queued file is written; raises the first error.
  void Drain();

 private:
  void Run();
  void RaisePending();      // with the lock held
  bool BatchReady() const;  // with the lock held: the thread has enough to be woken for
  static constexpr size_t kBatchFiles = 16;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<std::string, std::string>> queue_;
  size_t pending_ = 0;
  const size_t maxPending_;
  bool busy_ = false;  // the thread is writing a file it took from the queue
  int waiting_ = 0;    // callers waiting for room or for the queue to empty: wake the thread
  bool stop_ = false;
  std::exception_ptr error_;
  std::thread thread_;
};

}  // namespace migwiz
