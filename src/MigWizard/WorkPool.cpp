#include "MigWizard/WorkPool.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>

namespace migwiz {

int RunThreadCount(int wanted) {
  if (wanted >= 1) return std::min(wanted, 8);
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(cores, 1, 8);
}

int ThreadsWanted(const char* text) {
  if (!text || !*text) return 0;
  return std::max(std::atoi(text), 0);
}

TWorkPool::TWorkPool(int threads) {
  for (int i = 0; i < threads; ++i) threads_.emplace_back([this, i] { Work(i); });
}

TWorkPool::~TWorkPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void TWorkPool::ForEachRange(size_t count, const std::function<void(size_t, size_t)>& fn) {
  const auto threads = static_cast<size_t>(Threads());
  std::vector<std::future<void>> done;
  for (size_t t = 0; t < threads; ++t)
    done.push_back(Submit([&fn, count, t, threads](int) {
      fn(count * t / threads, count * (t + 1) / threads);
    }));
  for (auto& d : done) d.wait();
  for (auto& d : done) d.get();
}

std::future<void> TWorkPool::Submit(std::function<void(int worker)> job) {
  std::packaged_task<void(int)> task(std::move(job));
  std::future<void> done = task.get_future();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(task));
  }
  ready_.notify_one();
  return done;
}

void TWorkPool::Work(int worker) {
  while (true) {
    std::packaged_task<void(int)> task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopping, nothing left
      task = std::move(jobs_.front());
      jobs_.pop_front();
    }
    task(worker);
  }
}

size_t FirstFailure(size_t count, const std::function<bool(size_t)>& step, TWorkPool* pool,
                    size_t minForPool) {
  std::atomic<size_t> failed{count};
  auto range = [&](size_t from, size_t to) {
    for (size_t i = from; i < to && i < failed.load(); ++i) {
      if (step(i)) continue;
      for (size_t seen = failed.load(); i < seen && !failed.compare_exchange_weak(seen, i);) {
      }
      return;
    }
  };
  if (pool && count >= minForPool)
    pool->ForEachRange(count, range);
  else
    range(0, count);
  return failed.load();
}

}  // namespace migwiz
