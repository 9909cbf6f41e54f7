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
#include <cstdlib>

namespace rtl::fault {

namespace {

long Limit(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::strtol(v, nullptr, 10) : 0;
}

}  // namespace

// Counted from more than one thread (a run writes its work files on its own thread).
void BeforeMutation() {
  static const long killAt = Limit("MIGWIZ_FAULT_KILL_AT");
  static std::atomic<long> count{0};
  if (killAt > 0 && ++count == killAt) {
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), 128 + 9);
#else
    ::kill(::getpid(), SIGKILL);
#endif
  }
}

bool WriteFails() {
  static const long failAt = Limit("MIGWIZ_FAULT_ENOSPC_AT");
  static std::atomic<long> count{0};
  return failAt > 0 && ++count == failAt;
}

}  // namespace rtl::fault
