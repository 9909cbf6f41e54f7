// A small pool of threads for the run's per-file work, so both cores convert files.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace migwiz {

// The threads a run converts files on: wanted (1 to 8) when a host was told a number, else (0)
// the machine's cores, at most 8.
int RunThreadCount(int wanted);
// The number a host was told in text (MIGWIZ_THREADS), 0 for none or nonsense.
int ThreadsWanted(const char* text);

class TWorkPool {
 public:
  explicit TWorkPool(int threads);
  ~TWorkPool();
  TWorkPool(const TWorkPool&) = delete;
  TWorkPool& operator=(const TWorkPool&) = delete;

  int Threads() const { return static_cast<int>(threads_.size()); }
  // Runs job(worker) on one of the threads, worker being its number (0 .. Threads() - 1).
  std::future<void> Submit(std::function<void(int worker)> job);
  // Runs fn(from, to) over [0, count) cut into one range per thread, and waits for all of them;
  // the first range's error in order is raised.
  void ForEachRange(size_t count, const std::function<void(size_t from, size_t to)>& fn);

 private:
  void Work(int worker);
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::packaged_task<void(int)>> jobs_;
  bool stopping_ = false;
};

// Runs step(i) for i from 0 up to count, on the pool when there is one and count reaches
// minForPool, and answers the first i in that order whose step answered false (count when none
// did). No step after a failed one is begun, as when they run one by one; steps of a later range
// may already be done when an earlier one fails.
size_t FirstFailure(size_t count, const std::function<bool(size_t)>& step, TWorkPool* pool,
                    size_t minForPool = 1);

}  // namespace migwiz
