// Helpers shared by the test suites: scratch folders and whole-file access.
#pragma once

#include <cstdio>
#include <cstdlib>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// Names of ours the Win32 headers take as macros.
#undef CopyFile
#undef InsertMenuItem
#include <random>
#else
#include <sys/wait.h>
#endif
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

// The separator the engine writes in paths, and the variable that names the temporary folder.
#ifdef _WIN32
inline constexpr char kSep = '\\';
inline constexpr const char* kTempVar = "TMP";
#else
inline constexpr char kSep = '/';
inline constexpr const char* kTempVar = "TMPDIR";
#endif

// A path written with "/" in the separators the engine uses.
inline std::string Native(std::string path) {
  for (char& c : path)
    if (c == '/') c = kSep;
  return path;
}

// std::filesystem paths from and to UTF-8 (the narrow form on Windows is the ANSI code page).
inline std::filesystem::path U8(const std::string& s) {
  return std::filesystem::path(std::u8string(s.begin(), s.end()));
}
inline std::string Utf8(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

#ifdef _WIN32
inline std::wstring Wide(const std::string& s) {
  return U8(s).wstring();
}
#endif

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  // Below `parent` when given, for a folder on a particular file system.
  explicit TempDir(const std::string& parent = std::string()) {
    const std::filesystem::path base =
        parent.empty() ? std::filesystem::temp_directory_path() : U8(parent);
#ifdef _WIN32
    std::mt19937_64 rng{std::random_device{}()};
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const std::filesystem::path p = base / ("migwiz-test-" + std::to_string(rng() % 1000000000));
      std::error_code ec;
      if (std::filesystem::create_directory(p, ec)) path_ = Utf8(p);
    }
    if (path_.empty()) throw std::runtime_error("cannot make a scratch folder");
#else
    std::string tmpl = (base / "migwiz-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
#endif
  }
  ~TempDir() {
    std::error_code ec;
    // Give back write permission that a test may have taken away, so everything can go.
    for (auto it = std::filesystem::recursive_directory_iterator(U8(path_), ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    std::filesystem::permissions(U8(path_), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(U8(path_), ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // name written with "/", given back in the engine's separators.
  std::string operator/(const std::string& name) const { return path_ + kSep + Native(name); }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(U8(path).parent_path());
  std::ofstream out(U8(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(U8(path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline std::string ReadFile(const std::filesystem::path& path) {
  return ReadFile(Utf8(path));
}

inline bool Exists(const std::string& path) {
  return std::filesystem::exists(U8(path));
}

// Sets (or, with nullptr, removes) an environment variable for the scope of a test and puts
// the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
  ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const char* value) {
#ifdef _WIN32
    // Wide, so that a value beyond ASCII reaches GetTempPathW; an empty value removes it.
    _wputenv_s(Wide(name_).c_str(), value ? Wide(value).c_str() : L"");
    _tzset();
#else
    if (value)
      ::setenv(name_, value, 1);
    else
      ::unsetenv(name_);
    ::tzset();
#endif
  }

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

#ifdef __linux__
// Runs commands as an ordinary user, whom permissions bind: the tests' user, or nobody (65534)
// when they run as root, which ignores permissions. The user is given a scratch folder to work
// in (as root it becomes the owner of everything below it).
class OrdinaryUser {
 public:
  static bool IsRoot() { return ::geteuid() == 0; }
  // Put before a command of the shell.
  static std::string Prefix() {
    return IsRoot() ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  }
  // Hands the folder and everything below it to the user.
  static void Give(const std::string& path) {
    if (!IsRoot()) return;
    auto own = [](const std::filesystem::path& p) {
      if (::lchown(p.c_str(), 65534, 65534) != 0) throw std::runtime_error("cannot give " + p.string());
    };
    own(path);
    for (const auto& e : std::filesystem::recursive_directory_iterator(path)) own(e.path());
  }
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

#ifdef _WIN32
// Holds an exclusive lock on a file, as a running replace run does.
class HeldFileLock {
 public:
  explicit HeldFileLock(const std::string& path)
      : h_(CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr)) {
    OVERLAPPED at{};
    if (h_ == INVALID_HANDLE_VALUE ||
        !LockFileEx(h_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
      throw std::runtime_error("cannot lock " + path);
  }
  ~HeldFileLock() { CloseHandle(h_); }
  HeldFileLock(const HeldFileLock&) = delete;
  HeldFileLock& operator=(const HeldFileLock&) = delete;

 private:
  HANDLE h_;
};

// Windows has no flag that keeps an administrator from replacing a file: never set, so the
// tests that need one skip.
class ImmutableGuard {
 public:
  explicit ImmutableGuard(const std::string&) {}
  bool IsSet() const { return false; }
};

// cmd.exe runs the commands there; names hold no double quotes.
inline std::string ShellQuote(const std::string& s) {
  return "\"" + s + "\"";
}
#else
inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}
#endif

// What a shell command did: its exit code (-1 when a signal ended it), the signal, and its
// output (standard output and whatever the command sends there).
struct ShellResult {
  int exitCode = -1;
  int signal = 0;
  std::string output;
};

#ifdef _WIN32
// cmd.exe /c with the whole command quoted once more, so that cmd keeps the inner quotes.
inline ShellResult RunShell(const std::string& command) {
  ShellResult r;
  std::fflush(nullptr);
  FILE* p = ::_wpopen(Wide("\"" + command + "\"").c_str(), L"rb");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int status = ::_pclose(p);
  // A process the fault seam killed ends with 128 + SIGKILL, as a shell reports it.
  if (status > 128 && status < 160) r.signal = status - 128;
  r.exitCode = r.signal ? -1 : status;
  return r;
}
#else
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
#endif

// A file of the source tree, e.g. SourcePath("examples/Main.pas").
inline std::string SourcePath(const std::string& rel) {
  return std::string(MIGWIZ_SOURCE_DIR) + "/" + rel;
}

// The bytes of a fixture below tests/data, e.g. DataFile("forms/rewrite/MainForm.dfm").
inline std::string DataFile(const std::string& rel) {
  return ReadFile(SourcePath("tests/data/" + rel));
}

}  // namespace testutil
