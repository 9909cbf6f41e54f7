// Whole-file reads and safe writes, and the stream classes the engine reads and writes with.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Fault seams for the robustness tests (FaultSeams.h), inert unless a host sets a plan: the
// process sends itself SIGKILL right before the N-th file-system mutation done here (a file
// created, a write, a rename), or the N-th write made here fails with ENOSPC.
namespace rtl {

// std::filesystem paths from and to UTF-8 (on Windows their narrow form is the ANSI code page).
std::filesystem::path FsPath(std::string_view utf8);
std::string FsUtf8(const std::filesystem::path& path);

bool FileExists(const std::string& path);       // a regular file (or a link to one)
bool DirectoryExists(const std::string& path);  // a folder (or a link to one)

// Reads a whole file; raises EFOpenError naming the file and the reason.
std::string ReadFileBytes(const std::string& path);
// Creates (or truncates) a file and writes the bytes; for work files only, never for a user's.
void WriteFileBytes(const std::string& path, std::string_view data);
// Writes a complete file next to the target and renames it over the target, so the target is
// either untouched or completely replaced. Raises EFCreateError naming the file and the reason.
void WriteFileAtomic(const std::string& path, std::string_view data);
// The CopyFileA stand-in (overwrite allowed): copies a regular file, following a link given as
// either name, in chunks into a new file next to the target and renames that over the target, so
// an interrupted copy leaves the target old or new, never half written. The copy gets the source's
// permission bits and times. Returns false when any step fails; nothing is left behind then.
bool CopyFile(const std::string& from, const std::string& to);

// Puts a complete work file in place of a target (a link as target: the file it points to) by
// renaming it there after flushing it to disk; across file systems a CopyFile does it instead.
// The target keeps its permission bits. False when it cannot be done; the target is then as it
// was. onDisk: the caller has flushed the source already (FlushFileSystem), so it is not again.
bool MoveFileOver(const std::string& from, const std::string& to, bool onDisk = false);
// Writes everything pending on the file system holding path to disk (one flush for many files
// instead of one per file). False when that fails.
bool FlushFileSystem(const std::string& path);
// A copy of a file that is never written to afterwards, such as a backup: a second name for the
// same data (a hard link, put in place by rename) where the file system allows one, else a
// CopyFile. Whoever later writes to `from` must replace it by a new file (as WriteFileAtomic,
// CopyFile and MoveFileOver do), or the copy changes with it. madeNew, when given, tells whether
// no file had the name `to` before.
bool LinkOrCopyFile(const std::string& from, const std::string& to, bool* madeNew = nullptr);
// Both names stand for one file (links followed).
bool SameFile(const std::string& a, const std::string& b);
// Removes a file (a link as itself); false when it cannot.
bool RemoveFile(const std::string& path);

// Why the last call here that answered false failed on this thread, in the system's words
// ("Permission denied"): CopyFile, MoveFileOver, LinkOrCopyFile, RemoveFile and the four below.
std::string LastFileError();

// Whether renaming a file over path can go through, told by one status call: true when path
// names a file (or a link to one) or nothing; false when a folder or something else holds the
// name or the path cannot be reached. folder: the folder whose entry the rename changes (that of
// the file a link points to), for CanWriteFolder.
bool CanBeReplaced(const std::string& path, std::string& folder);
// Whether entries can be added to and removed from folder by this process.
bool CanWriteFolder(const std::string& folder);
// Keeps the file path stands for (a link: the file it points to) under a second name beside it,
// a hard link where the file system has them, else a copy, so that PutBack can return it. kept
// is "" when no file has the name (nothing to keep); false when it cannot be kept.
bool KeepAside(const std::string& path, std::string& kept);
// Renames a file kept aside back over path (a link: the file it points to).
bool PutBack(const std::string& kept, const std::string& path);

// An exclusive advisory lock on a file, held for the object's life and released (the file
// removed) by Release or the destructor. The operating system drops it with the process, so a
// killed holder blocks nobody; a lock file it leaves behind is taken over.
class TFileLock {
 public:
  enum class Result { Locked, Busy, Unavailable };  // Unavailable: the file cannot be made
  TFileLock() = default;
  ~TFileLock() { Release(); }
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;

  Result TryLock(const std::string& path);
  void Release();

 private:
  std::string path_;
#ifdef _WIN32
  void* handle_ = nullptr;  // HANDLE
#else
  int fd_ = -1;
#endif
};

// Byte stream with a position, the shape the engine's readers and writers work on.
class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns how many were read.
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes all bytes or raises EWriteError.
  virtual void Write(const void* buffer, size_t count) = 0;
  virtual std::int64_t Position() const = 0;
  virtual void Seek(std::int64_t position) = 0;
  virtual std::int64_t Size() const = 0;

  void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
  // Everything from the current position to the end.
  std::string ReadRest();
};

// Growable in-memory stream; its bytes are a std::string.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : data_(std::move(bytes)) {}
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  using TStream::Write;
  std::int64_t Position() const override { return static_cast<std::int64_t>(pos_); }
  void Seek(std::int64_t position) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
  const std::string& Bytes() const { return data_; }
  std::string TakeBytes() {
    pos_ = 0;
    return std::move(data_);
  }

 private:
  std::string data_;
  size_t pos_ = 0;
};

// File stream opened for reading (shared with other readers and writers) or created for
// writing (an existing file is truncated).
class TFileStream : public TStream {
 public:
  enum class Mode { OpenRead, Create };
  TFileStream(const std::string& path, Mode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  using TStream::Write;
  std::int64_t Position() const override;
  void Seek(std::int64_t position) override;
  std::int64_t Size() const override;
  const std::string& FileName() const { return path_; }

 private:
  std::string path_;
#ifdef _WIN32
  void* handle_ = nullptr;  // HANDLE
#else
  int fd_ = -1;
  // Until the first read, write or seek the offset is 0 and the size is the one the open saw,
  // so reading a whole file asks the system neither.
  bool atStart_ = true;
  std::int64_t openSize_ = -1;
#endif
};

}  // namespace rtl
