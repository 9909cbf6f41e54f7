// Helpers shared by the test suites: scratch folders and whole-file access.
#pragma once

#include <sys/wait.h>
#include <cstdio>
#include <cstdlib>
#ifdef __linux__
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>

namespace testutil {

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  // Below `parent` when given, for a folder on a particular file system.
  explicit TempDir(const std::string& parent = std::string()) {
    const std::filesystem::path base =
        parent.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(parent);
    std::string tmpl = (base / "migwiz-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    // Give back write permission that a test may have taken away, so everything can go.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path) {
  return std::filesystem::exists(path);
}

// Sets (or, with nullptr, removes) an environment variable for the scope of a test and puts
// the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
    ::tzset();
  }
  ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
    ::tzset();
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

#ifdef __linux__
// The immutable attribute: the one thing that stops root from deleting a file. Cleared again
// when the guard goes, so the scratch folder can be removed.
class ImmutableGuard {
 public:
  explicit ImmutableGuard(const std::string& path) : path_(path) { set_ = SetFlag(true); }
  ~ImmutableGuard() {
    if (set_) SetFlag(false);
  }
  bool IsSet() const { return set_; }

 private:
  bool SetFlag(bool on) {
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
  }
  std::string path_;
  bool set_ = false;
};
#endif

// A text for the shell that stands for s exactly.
#ifdef __linux__
// Holds an exclusive advisory lock on a file, as a running replace run does.
class HeldFileLock {
 public:
  explicit HeldFileLock(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ < 0 || ::flock(fd_, LOCK_EX | LOCK_NB) != 0)
      throw std::runtime_error("cannot lock " + path);
  }
  ~HeldFileLock() { ::close(fd_); }
  HeldFileLock(const HeldFileLock&) = delete;
  HeldFileLock& operator=(const HeldFileLock&) = delete;

 private:
  int fd_;
};
#endif

inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// What a shell command did: its exit code (-1 when a signal ended it), the signal, and its
// output (standard output and whatever the command sends there).
struct ShellResult {
  int exitCode = -1;
  int signal = 0;
  std::string output;
};

inline ShellResult RunShell(const std::string& command) {
  ShellResult r;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int status = ::pclose(p);
  // The shell reports a child killed by signal s as exit code 128 + s.
  if (WIFEXITED(status) && WEXITSTATUS(status) > 128) r.signal = WEXITSTATUS(status) - 128;
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  r.exitCode = r.signal || !WIFEXITED(status) ? -1 : WEXITSTATUS(status);
  return r;
}

// A file of the source tree, e.g. SourcePath("examples/Main.pas").
inline std::string SourcePath(const std::string& rel) {
  return std::string(MIGWIZ_SOURCE_DIR) + "/" + rel;
}

}  // namespace testutil
