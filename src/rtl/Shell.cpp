#include "rtl/Shell.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#include "rtl/Encoding.h"
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

extern char** environ;
#endif

namespace rtl {

namespace {

std::function<void(const std::string&)>& Handler() {
  static std::function<void(const std::string&)> handler;
  return handler;
}

void DefaultOpen(const std::string& target) {
#ifdef _WIN32
  ShellExecuteW(nullptr, L"open", Utf8ToWide(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
#else
  // The opener is started and left alone; a reaper child keeps it from becoming a zombie.
  std::signal(SIGCHLD, SIG_DFL);
  pid_t pid;
  const char* argv[] = {"xdg-open", target.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (posix_spawnp(&pid, "xdg-open", &actions, nullptr, const_cast<char**>(argv), environ) == 0) {
    int status;
    // xdg-open hands over to the viewer and returns quickly; do not wait for longer than that.
    for (int i = 0; i < 20 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(10000);
  }
  posix_spawn_file_actions_destroy(&actions);
#endif
}

}  // namespace

void ShellOpen(const std::string& target) {
  try {
    if (Handler())
      Handler()(target);
    else
      DefaultOpen(target);
  } catch (...) {
    // Opening a viewer never fails the run.
  }
}

void SetShellOpenHandler(std::function<void(const std::string&)> handler) {
  Handler() = std::move(handler);
}

}  // namespace rtl
