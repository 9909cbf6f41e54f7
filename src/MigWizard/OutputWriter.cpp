#include "MigWizard/OutputWriter.h"

#include "rtl/FileIO.h"

namespace migwiz {

TOutputWriter::TOutputWriter(size_t maxPending) : maxPending_(maxPending) {
  thread_ = std::thread([this] { Run(); });
}

TOutputWriter::~TOutputWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    queue_.clear();
  }
  changed_.notify_all();
  thread_.join();
}

void TOutputWriter::RaisePending() {
  if (error_) std::rethrow_exception(error_);
}

void TOutputWriter::Write(std::string path, std::string bytes) {
  std::unique_lock<std::mutex> lock(mutex_);
  // One file larger than the limit still goes; it waits for an empty queue instead.
  auto room = [&] { return error_ || queue_.empty() || pending_ + bytes.size() <= maxPending_; };
  if (!room()) {
    ++waiting_;
    changed_.notify_all();
    changed_.wait(lock, room);
    --waiting_;
  }
  RaisePending();
  pending_ += bytes.size();
  queue_.emplace_back(std::move(path), std::move(bytes));
  if (BatchReady()) changed_.notify_all();
}

void TOutputWriter::Drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  ++waiting_;
  changed_.notify_all();
  changed_.wait(lock, [&] { return error_ || (queue_.empty() && !busy_); });
  --waiting_;
  RaisePending();
}

bool TOutputWriter::BatchReady() const {
  return !queue_.empty() &&
         (waiting_ > 0 || pending_ >= maxPending_ / 4 || queue_.size() >= kBatchFiles);
}

void TOutputWriter::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  bool batch = false;  // the queue is written until it is empty
  for (;;) {
    // The thread wakes for a batch of files rather than for each: waking it costs more than
    // writing a small file.
    changed_.wait(lock, [&] { return stop_ || (batch ? !queue_.empty() : BatchReady()); });
    if (stop_) return;
    batch = true;
    auto [path, bytes] = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    lock.unlock();
    std::exception_ptr failed;
    try {
      rtl::WriteFileBytes(path, bytes);
    } catch (...) {
      failed = std::current_exception();
    }
    lock.lock();
    busy_ = false;
    pending_ -= bytes.size();
    // After the first failure nothing more is written: the run ends with that error.
    if (failed && !error_) {
      error_ = failed;
      queue_.clear();
      pending_ = 0;
    }
    if (queue_.empty()) batch = false;
    changed_.notify_all();
  }
}

}  // namespace migwiz
