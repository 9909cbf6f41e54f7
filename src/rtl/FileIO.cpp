#include "rtl/FileIO.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "rtl/FaultSeams.h"
#include "rtl/SysUtils.h"

namespace rtl {

std::string TStream::ReadRest() {
  std::int64_t left = Size() - Position();
  std::string out;
  if (left > 0) {
    out.resize(static_cast<size_t>(left));
    out.resize(Read(out.data(), out.size()));
  }
  // A stream whose size grew while reading: take the rest too.
  char chunk[65536];
  size_t n;
  while ((n = Read(chunk, sizeof chunk)) > 0) out.append(chunk, n);
  return out;
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
  size_t n = pos_ < data_.size() ? std::min(count, data_.size() - pos_) : 0;
  if (n) std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
  if (pos_ > data_.size()) data_.resize(pos_);
  if (pos_ == data_.size()) {
    data_.append(static_cast<const char*>(buffer), count);
  } else {
    if (pos_ + count > data_.size()) data_.resize(pos_ + count);
    std::memcpy(data_.data() + pos_, buffer, count);
  }
  pos_ += count;
}

void TMemoryStream::Seek(std::int64_t position) {
  pos_ = position < 0 ? 0 : static_cast<size_t>(position);
}

std::string ReadFileBytes(const std::string& path) {
  TFileStream in(path, TFileStream::Mode::OpenRead);
  return in.ReadRest();
}

void WriteFileBytes(const std::string& path, std::string_view data) {
  TFileStream out(path, TFileStream::Mode::Create);
  out.Write(data);
}

// The rest is POSIX; FileIOWin32.cpp has the Windows side.
#ifndef _WIN32

std::filesystem::path FsPath(std::string_view utf8) {
  return std::filesystem::path(utf8);
}

std::string FsUtf8(const std::filesystem::path& path) {
  return path.string();
}

namespace {

std::string Reason() {
  return std::strerror(errno);
}

thread_local std::string tLastError;

// Notes why a call is about to answer false.
bool Failed(std::string reason = Reason()) {
  tLastError = std::move(reason);
  return false;
}

using fault::BeforeMutation;

// A write of the file system, failing with ENOSPC when the seam asks for it.
ssize_t FaultableWrite(int fd, const void* p, size_t n) {
  BeforeMutation();
  if (fault::WriteFails()) {
    errno = ENOSPC;
    return -1;
  }
  return ::write(fd, p, n);
}

mode_t CurrentUmask() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

// A new file written next to a target and renamed over it once complete, so the target is
// either untouched or wholly replaced. A link as target: the file it points to is replaced and
// the link stays, as the platform's copy writes through it; a dangling link is replaced.
class SiblingFile {
 public:
  explicit SiblingFile(const std::string& target) : target_(target) {
    struct stat lst;
    if (::lstat(target.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
      if (char* real = ::realpath(target.c_str(), nullptr)) {
        target_ = real;
        std::free(real);
      }
    }
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
      char suffix[32];
      std::snprintf(suffix, sizeof suffix, ".~mw%08llx",
                    static_cast<unsigned long long>(rng() & 0xffffffffu));
      tmp_ = target_ + suffix;
      BeforeMutation();
      fd_ = ::open(tmp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) error_ = Reason();
  }
  ~SiblingFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !tmp_.empty()) ::unlink(tmp_.c_str());
  }
  SiblingFile(const SiblingFile&) = delete;
  SiblingFile& operator=(const SiblingFile&) = delete;

  bool Ok() const { return fd_ >= 0 && error_.empty(); }
  const std::string& Error() const { return error_; }
  int Fd() const { return fd_; }

  bool Write(const char* p, size_t left) {
    while (Ok() && left > 0) {
      ssize_t n = FaultableWrite(fd_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = n < 0 ? Reason() : "nothing written";
        return false;
      }
      p += n;
      left -= static_cast<size_t>(n);
    }
    return Ok();
  }

  // Flushes, closes and renames over the target.
  bool Commit(mode_t mode) {
    if (!Ok()) return false;
    if (::fchmod(fd_, mode) != 0 || ::fsync(fd_) != 0) error_ = Reason();
    if (::close(fd_) != 0 && error_.empty()) error_ = Reason();
    fd_ = -1;
    if (error_.empty()) BeforeMutation();
    if (error_.empty() && ::rename(tmp_.c_str(), target_.c_str()) != 0) error_ = Reason();
    committed_ = error_.empty();
    return committed_;
  }

 private:
  std::string target_;
  std::string tmp_;
  std::string error_;
  int fd_ = -1;
  bool committed_ = false;
};

}  // namespace

void WriteFileAtomic(const std::string& path, std::string_view data) {
  SiblingFile out(path);
  if (!out.Ok()) throw EFCreateError("Cannot create file \"" + path + "\". " + out.Error());
  // Keep the mode of the file being replaced.
  struct stat st;
  mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0666 & ~CurrentUmask();
  if (!out.Write(data.data(), data.size()) || !out.Commit(mode))
    throw EFCreateError("Cannot write file \"" + path + "\". " + out.Error());
}

bool CopyFile(const std::string& from, const std::string& to) {
  // O_NONBLOCK keeps a FIFO given as source from blocking the open; only regular files are copied.
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return Failed();
  struct stat st;
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    const std::string reason = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "Not a regular file";
    ::close(in);
    return Failed(reason);
  }
  SiblingFile out(to);
  bool ok = out.Ok();
  std::string readError;
  constexpr size_t kChunk = 1 << 20;
  std::unique_ptr<char[]> buffer(ok ? new char[kChunk] : nullptr);
  while (ok) {
    ssize_t n = ::read(in, buffer.get(), kChunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      if (!ok) readError = Reason();
      break;
    }
    ok = out.Write(buffer.get(), static_cast<size_t>(n));
  }
  ::close(in);
  if (ok) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out.Fd(), times);  // times are a courtesy; a file system without them still copies
  }
  // Permission bits without the set-id bits, as the platform's copy keeps them.
  if (ok && out.Commit(st.st_mode & 0777)) return true;
  return Failed(!readError.empty() ? readError : out.Error());
}

namespace {

// The file a name stands for: a link is followed to the file it points to.
std::string RealFile(const std::string& path) {
  struct stat lst;
  if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      std::string resolved = real;
      std::free(real);
      return resolved;
    }
  }
  return path;
}

// A name next to target that nothing uses yet.
std::string FreeSiblingName(const std::string& target) {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".~mw%08llx",
                static_cast<unsigned long long>(rng() & 0xffffffffu));
  return target + suffix;
}

}  // namespace

bool MoveFileOver(const std::string& from, const std::string& to, bool onDisk) {
  struct stat own, old;
  // The replaced file keeps its permissions; a new one gets the source's.
  auto targetMode = [&](const std::string& target, mode_t fallback) {
    return ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : fallback;
  };
  // A rename the file system refuses across devices is done as a complete copy.
  auto renameOrCopy = [&](const std::string& target) {
    BeforeMutation();
    if (::rename(from.c_str(), target.c_str()) == 0) return true;
    if (errno == EXDEV || errno == EPERM || errno == ENOTSUP) return CopyFile(from, to);
    return Failed();
  };
  if (onDisk) {
    // Nothing to flush: three status calls and a rename, the file itself never opened.
    if (::lstat(from.c_str(), &own) != 0) return Failed();
    if (!S_ISREG(own.st_mode)) return Failed("Not a regular file");
    std::string target = to;
    mode_t mode;
    if (::lstat(to.c_str(), &old) == 0 && !S_ISLNK(old.st_mode))
      mode = old.st_mode & 07777;
    else
      mode = targetMode(target = RealFile(to), own.st_mode & 0777);
    if ((own.st_mode & 07777) != mode && ::chmod(from.c_str(), mode) != 0) return Failed();
    return renameOrCopy(target);
  }
  const std::string target = RealFile(to);
  int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return Failed();
  bool ok = ::fstat(fd, &own) == 0 && S_ISREG(own.st_mode);
  const mode_t mode = targetMode(target, own.st_mode & 0777);
  ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  const std::string reason = ok ? std::string() : Reason();
  ::close(fd);
  if (!ok) return Failed(reason);
  // Another file system (or one that refuses): a complete copy renamed into place instead.
  return renameOrCopy(target);
}

bool LinkOrCopyFile(const std::string& from, const std::string& to, bool* madeNew) {
  struct stat st;
  std::string source = from;
  if (::lstat(from.c_str(), &st) != 0) return Failed();
  if (S_ISLNK(st.st_mode)) {
    source = RealFile(from);
    if (::stat(source.c_str(), &st) != 0) return Failed();
  }
  if (!S_ISREG(st.st_mode)) return Failed("Not a regular file");
  // Where no file has the name yet the link is made there at once; link never replaces one.
  BeforeMutation();
  if (::link(source.c_str(), to.c_str()) == 0) {
    if (madeNew) *madeNew = true;
    return true;
  }
  if (errno != EEXIST) {
    if (madeNew) *madeNew = ::lstat(to.c_str(), &st) != 0;
    return CopyFile(from, to);
  }
  if (madeNew) *madeNew = false;
  const std::string sibling = FreeSiblingName(RealFile(to));
  BeforeMutation();
  if (::link(source.c_str(), sibling.c_str()) != 0) return CopyFile(from, to);
  BeforeMutation();
  const bool renamed = ::rename(sibling.c_str(), RealFile(to).c_str()) == 0;
  // rename does nothing when both names are already the same file; the spare name goes.
  struct stat left;
  if (::lstat(sibling.c_str(), &left) == 0) ::unlink(sibling.c_str());
  return renamed || CopyFile(from, to);
}

bool RemoveFile(const std::string& path) {
  BeforeMutation();
  return ::unlink(path.c_str()) == 0 || Failed();
}

std::string LastFileError() {
  return tLastError.empty() ? std::string("Unknown error") : tLastError;
}

bool CanBeReplaced(const std::string& path, std::string& folder) {
  struct stat st;
  std::string real = path;
  if (::lstat(path.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      real = RealFile(path);
      if (::stat(real.c_str(), &st) != 0) real = path;  // a dangling link is replaced itself
    }
    if (S_ISDIR(st.st_mode)) return Failed(std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return Failed("Not a regular file");
  } else if (errno != ENOENT) {
    return Failed();
  }
  const size_t slash = real.rfind('/');
  folder = slash == std::string::npos ? "." : slash == 0 ? "/" : real.substr(0, slash);
  return true;
}

bool CanWriteFolder(const std::string& folder) {
  // The effective ids decide, as they do for the rename itself.
  return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0 || Failed();
}

bool KeepAside(const std::string& path, std::string& kept) {
  kept.clear();
  const std::string real = RealFile(path);
  struct stat st;
  if (::lstat(real.c_str(), &st) != 0) return errno == ENOENT || Failed();
  const std::string sibling = FreeSiblingName(real);
  BeforeMutation();
  if (::link(real.c_str(), sibling.c_str()) != 0 && !CopyFile(real, sibling)) return false;
  kept = sibling;
  return true;
}

bool PutBack(const std::string& kept, const std::string& path) {
  BeforeMutation();
  return ::rename(kept.c_str(), RealFile(path).c_str()) == 0 || Failed();
}

bool FlushFileSystem(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Failed();
  const bool ok = ::syncfs(fd) == 0;
  const std::string reason = ok ? std::string() : Reason();
  ::close(fd);
  return ok || Failed(reason);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

TFileLock::Result TFileLock::TryLock(const std::string& path) {
  Release();
  // A holder that releases removes the file; the lock taken must be on the file the name still
  // stands for, or two runs could each hold a lock on a different file.
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return Result::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const bool busy = errno == EWOULDBLOCK;
      ::close(fd);
      return busy ? Result::Busy : Result::Unavailable;
    }
    struct stat held, named;
    if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      fd_ = fd;
      path_ = path;
      return Result::Locked;
    }
    ::close(fd);
  }
  return Result::Unavailable;
}

void TFileLock::Release() {
  if (fd_ < 0) return;
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
  path_.clear();
}

TFileStream::TFileStream(const std::string& path, Mode mode) : path_(path) {
  if (mode == Mode::OpenRead) {
    // O_NONBLOCK keeps a FIFO without a writer from blocking the open (it then reads as empty);
    // reads block as usual afterwards.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ >= 0) {
      struct stat st;
      const bool known = ::fstat(fd_, &st) == 0;
      if (known && S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        errno = EISDIR;
      } else if (known && S_ISREG(st.st_mode)) {
        openSize_ = st.st_size;  // reads of a regular file never block anyway
      } else {
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
      }
    }
    if (fd_ < 0) throw EFOpenError("Cannot open file \"" + path + "\". " + Reason());
  } else {
    BeforeMutation();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) throw EFCreateError("Cannot create file \"" + path + "\". " + Reason());
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

size_t TFileStream::Read(void* buffer, size_t count) {
  atStart_ = false;
  size_t done = 0;
  char* p = static_cast<char*>(buffer);
  while (done < count) {
    ssize_t n = ::read(fd_, p + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EReadError("Cannot read file \"" + path_ + "\". " + Reason());
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void TFileStream::Write(const void* buffer, size_t count) {
  atStart_ = false;
  const char* p = static_cast<const char*>(buffer);
  while (count > 0) {
    ssize_t n = FaultableWrite(fd_, p, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EWriteError("Cannot write file \"" + path_ + "\". " + Reason());
    }
    p += n;
    count -= static_cast<size_t>(n);
  }
}

std::int64_t TFileStream::Position() const {
  return atStart_ ? 0 : ::lseek(fd_, 0, SEEK_CUR);
}

void TFileStream::Seek(std::int64_t position) {
  atStart_ = false;
  ::lseek(fd_, position, SEEK_SET);
}

std::int64_t TFileStream::Size() const {
  if (atStart_ && openSize_ >= 0) return openSize_;
  struct stat st;
  return ::fstat(fd_, &st) == 0 ? st.st_size : 0;
}

#endif

}  // namespace rtl
