#include "zel/ZelWait.h"

namespace zel {

namespace {

struct WaitState {
  int depth = 0;
  std::function<void()> start;
  std::function<void()> stop;
};

WaitState& State() {
  static WaitState state;
  return state;
}

}  // namespace

void StartWait() {
  WaitState& s = State();
  if (s.depth++ == 0 && s.start) s.start();
}

void StopWait() {
  WaitState& s = State();
  if (s.depth > 0 && --s.depth == 0 && s.stop) s.stop();
}

void SetWaitHandlers(std::function<void()> start, std::function<void()> stop) {
  State().start = std::move(start);
  State().stop = std::move(stop);
}

}  // namespace zel
