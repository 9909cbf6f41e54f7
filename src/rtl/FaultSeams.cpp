#include "rtl/FaultSeams.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <atomic>

namespace rtl::fault {

namespace {

std::atomic<long> gKillAt{0}, gFailAt{0};

}  // namespace

void SetPlan(long killAt, long failAt) {
  gKillAt = killAt;
  gFailAt = failAt;
}

// Counted from more than one thread (a run writes its work files on its own thread).
void BeforeMutation() {
  static std::atomic<long> count{0};
  const long killAt = gKillAt.load(std::memory_order_relaxed);
  if (killAt > 0 && ++count == killAt) {
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), 128 + 9);
#else
    ::kill(::getpid(), SIGKILL);
#endif
  }
}

bool WriteFails() {
  static std::atomic<long> count{0};
  const long failAt = gFailAt.load(std::memory_order_relaxed);
  return failAt > 0 && ++count == failAt;
}

}  // namespace rtl::fault
