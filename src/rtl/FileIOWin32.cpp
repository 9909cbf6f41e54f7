// The Windows side of FileIO.h: UTF-8 names turned into UTF-16 at every Win32 call.
#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef CopyFile  // rtl::CopyFile, not the Win32 macro

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

#include "rtl/Encoding.h"
#include "rtl/FaultSeams.h"
#include "rtl/FileIO.h"
#include "rtl/SysUtils.h"

namespace rtl {

// Through the Win32 conversions, which put U+FFFD for what is not UTF-8 (or UTF-16) where the
// library's would raise: a name that cannot be converted names nothing.
std::filesystem::path FsPath(std::string_view utf8) {
  return std::filesystem::path(Utf8ToWide(utf8));
}

std::string FsUtf8(const std::filesystem::path& path) {
  return WideToUtf8(path.native());
}

namespace {

std::wstring W(const std::string& path) {
  return Utf8ToWide(path);
}

// The system's text for an error, without its trailing line end.
std::string Reason(DWORD code = GetLastError()) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = n ? WideToUtf8(std::wstring_view(text, n)) : "Error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' '))
    reason.pop_back();
  return reason;
}

thread_local std::string tLastError;

// Notes why a call is about to answer false.
bool Failed(std::string reason = Reason()) {
  tLastError = std::move(reason);
  return false;
}

using fault::BeforeMutation;

bool FaultableWrite(HANDLE h, const void* p, DWORD n, DWORD& written) {
  BeforeMutation();
  if (fault::WriteFails()) {
    SetLastError(ERROR_DISK_FULL);
    return false;
  }
  return WriteFile(h, p, n, &written, nullptr) != 0;
}

DWORD Attributes(const std::string& path) {
  return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(W(path).c_str());
}

std::string FreeSiblingName(const std::string& target) {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".~mw%08llx",
                static_cast<unsigned long long>(rng() & 0xffffffffu));
  return target + suffix;
}

bool ReplaceByRename(const std::string& from, const std::string& to) {
  BeforeMutation();
  return MoveFileExW(W(from).c_str(), W(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// A new file next to the target, renamed over it once complete and flushed.
class SiblingFile {
 public:
  explicit SiblingFile(const std::string& target) : target_(target) {
    for (int attempt = 0; attempt < 100 && handle_ == INVALID_HANDLE_VALUE; ++attempt) {
      tmp_ = FreeSiblingName(target_);
      BeforeMutation();
      handle_ = CreateFileW(W(tmp_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle_ == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (handle_ == INVALID_HANDLE_VALUE) {
      error_ = Reason();
      tmp_.clear();
    }
  }
  ~SiblingFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    if (!committed_ && !tmp_.empty()) DeleteFileW(W(tmp_).c_str());
  }
  SiblingFile(const SiblingFile&) = delete;
  SiblingFile& operator=(const SiblingFile&) = delete;

  bool Ok() const { return handle_ != INVALID_HANDLE_VALUE && error_.empty(); }
  const std::string& Error() const { return error_; }
  HANDLE Handle() const { return handle_; }

  bool Write(const char* p, size_t left) {
    while (Ok() && left > 0) {
      DWORD written = 0;
      const DWORD n = static_cast<DWORD>(std::min<size_t>(left, 1 << 30));
      if (!FaultableWrite(handle_, p, n, written) || written == 0) {
        error_ = Reason();
        return false;
      }
      p += written;
      left -= written;
    }
    return Ok();
  }

  bool Commit() {
    if (!Ok()) return false;
    if (!FlushFileBuffers(handle_)) error_ = Reason();
    if (!CloseHandle(handle_) && error_.empty()) error_ = Reason();
    handle_ = INVALID_HANDLE_VALUE;
    if (error_.empty() && !ReplaceByRename(tmp_, target_)) error_ = Reason();
    committed_ = error_.empty();
    return committed_;
  }

 private:
  std::string target_;
  std::string tmp_;
  std::string error_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool committed_ = false;
};

HANDLE OpenForReading(const std::string& path) {
  return CreateFileW(W(path).c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

bool FileExists(const std::string& path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void WriteFileAtomic(const std::string& path, std::string_view data) {
  SiblingFile out(path);
  if (!out.Ok()) throw EFCreateError("Cannot create file \"" + path + "\". " + out.Error());
  if (!out.Write(data.data(), data.size()) || !out.Commit())
    throw EFCreateError("Cannot write file \"" + path + "\". " + out.Error());
}

bool CopyFile(const std::string& from, const std::string& to) {
  HANDLE in = OpenForReading(from);
  if (in == INVALID_HANDLE_VALUE) return Failed();
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(in, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      GetFileType(in) != FILE_TYPE_DISK) {
    CloseHandle(in);
    return Failed(Reason(ERROR_ACCESS_DENIED));
  }
  SiblingFile out(to);
  bool ok = out.Ok();
  std::string readError;
  constexpr DWORD kChunk = 1 << 20;
  std::unique_ptr<char[]> buffer(ok ? new char[kChunk] : nullptr);
  while (ok) {
    DWORD n = 0;
    if (!ReadFile(in, buffer.get(), kChunk, &n, nullptr)) {
      readError = Reason();
      ok = false;
      break;
    }
    if (n == 0) break;
    ok = out.Write(buffer.get(), n);
  }
  CloseHandle(in);
  // Times are a courtesy, as on POSIX.
  if (ok) SetFileTime(out.Handle(), &info.ftCreationTime, &info.ftLastAccessTime,
                      &info.ftLastWriteTime);
  if (ok && out.Commit()) return true;
  return Failed(!readError.empty() ? readError : out.Error());
}

bool MoveFileOver(const std::string& from, const std::string& to, bool) {
  // Windows has no flush of a whole file system for a user, so each file is flushed here.
  HANDLE h = CreateFileW(W(from).c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Failed();
  BY_HANDLE_FILE_INFORMATION info;
  bool ok = GetFileInformationByHandle(h, &info) &&
            !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && FlushFileBuffers(h);
  const std::string reason = ok ? std::string() : Reason();
  CloseHandle(h);
  if (!ok) return Failed(reason);
  if (ReplaceByRename(from, to)) return true;
  // Another volume: a complete copy put in place instead.
  if (GetLastError() == ERROR_NOT_SAME_DEVICE) return CopyFile(from, to);
  return Failed();
}

bool LinkOrCopyFile(const std::string& from, const std::string& to, bool* madeNew) {
  if (!FileExists(from)) return Failed();
  if (madeNew) *madeNew = Attributes(to) == INVALID_FILE_ATTRIBUTES;
  const std::string sibling = FreeSiblingName(to);
  BeforeMutation();
  if (!CreateHardLinkW(W(sibling).c_str(), W(from).c_str(), nullptr)) return CopyFile(from, to);
  const bool renamed = ReplaceByRename(sibling, to);
  if (!renamed) DeleteFileW(W(sibling).c_str());
  return renamed || CopyFile(from, to);
}

bool RemoveFile(const std::string& path) {
  BeforeMutation();
  return DeleteFileW(W(path).c_str()) || Failed();
}

std::string LastFileError() {
  return tLastError.empty() ? std::string("Unknown error") : tLastError;
}

bool CanBeReplaced(const std::string& path, std::string& folder) {
  const DWORD a = Attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND) return Failed(Reason(code));
  } else if (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
    // A rename over either is refused so.
    return Failed(Reason(ERROR_ACCESS_DENIED));
  }
  const size_t slash = path.find_last_of("\\/");
  folder = slash == std::string::npos ? "." : path.substr(0, slash + (slash == 2 ? 1 : 0));
  return true;
}

bool CanWriteFolder(const std::string& folder) {
  // Opening the folder for adding files is checked against its access rights; nothing is made.
  HANDLE h = CreateFileW(W(folder).c_str(), FILE_ADD_FILE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Failed();
  CloseHandle(h);
  return true;
}

bool KeepAside(const std::string& path, std::string& kept) {
  kept.clear();
  if (Attributes(path) == INVALID_FILE_ATTRIBUTES)
    return GetLastError() == ERROR_FILE_NOT_FOUND || Failed();
  const std::string sibling = FreeSiblingName(path);
  BeforeMutation();
  if (!CreateHardLinkW(W(sibling).c_str(), W(path).c_str(), nullptr) && !CopyFile(path, sibling))
    return false;
  kept = sibling;
  return true;
}

bool PutBack(const std::string& kept, const std::string& path) {
  return ReplaceByRename(kept, path) || Failed();
}

bool FlushFileSystem(const std::string& path) {
  // Flushing a volume needs an administrator; MoveFileOver flushes each file instead.
  return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool SameFile(const std::string& a, const std::string& b) {
  auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    // Backup semantics open folders too.
    HANDLE h = CreateFileW(W(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
  };
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return identity(a, ia) && identity(b, ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

TFileLock::Result TFileLock::TryLock(const std::string& path) {
  Release();
  // A releasing holder deletes the file while it still holds it; until it closes, the name
  // cannot be opened (delete pending), so a few attempts wait for that.
  for (int attempt = 0; attempt < 8; ++attempt) {
    HANDLE h = CreateFileW(W(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() != ERROR_ACCESS_DENIED) return Result::Unavailable;
      Sleep(10);
      continue;
    }
    OVERLAPPED at{};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
      const bool busy = GetLastError() == ERROR_LOCK_VIOLATION;
      CloseHandle(h);
      return busy ? Result::Busy : Result::Unavailable;
    }
    // A file its holder deleted before we locked it is no lock: try the name again.
    FILE_STANDARD_INFO info{};
    if (GetFileInformationByHandleEx(h, FileStandardInfo, &info, sizeof info) &&
        !info.DeletePending) {
      handle_ = h;
      path_ = path;
      return Result::Locked;
    }
    CloseHandle(h);
  }
  return Result::Unavailable;
}

void TFileLock::Release() {
  if (!handle_) return;
  DeleteFileW(W(path_).c_str());  // while held, so no other run locks the file being removed
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  path_.clear();
}

TFileStream::TFileStream(const std::string& path, Mode mode) : path_(path) {
  HANDLE h;
  if (mode == Mode::OpenRead) {
    h = OpenForReading(path);
    if (h == INVALID_HANDLE_VALUE)
      throw EFOpenError("Cannot open file \"" + path + "\". " + Reason());
  } else {
    BeforeMutation();
    h = CreateFileW(W(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
      throw EFCreateError("Cannot create file \"" + path + "\". " + Reason());
  }
  handle_ = h;
}

TFileStream::~TFileStream() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
}

size_t TFileStream::Read(void* buffer, size_t count) {
  size_t done = 0;
  char* p = static_cast<char*>(buffer);
  while (done < count) {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(count - done, 1 << 30));
    if (!ReadFile(static_cast<HANDLE>(handle_), p + done, want, &n, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) break;  // a pipe's writer is gone: the end
      throw EReadError("Cannot read file \"" + path_ + "\". " + Reason());
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

void TFileStream::Write(const void* buffer, size_t count) {
  const char* p = static_cast<const char*>(buffer);
  while (count > 0) {
    DWORD written = 0;
    const DWORD n = static_cast<DWORD>(std::min<size_t>(count, 1 << 30));
    if (!FaultableWrite(static_cast<HANDLE>(handle_), p, n, written))
      throw EWriteError("Cannot write file \"" + path_ + "\". " + Reason());
    p += written;
    count -= written;
  }
}

std::int64_t TFileStream::Position() const {
  LARGE_INTEGER zero{}, pos{};
  return SetFilePointerEx(static_cast<HANDLE>(handle_), zero, &pos, FILE_CURRENT) ? pos.QuadPart
                                                                                  : -1;
}

void TFileStream::Seek(std::int64_t position) {
  LARGE_INTEGER to{};
  to.QuadPart = position;
  SetFilePointerEx(static_cast<HANDLE>(handle_), to, nullptr, FILE_BEGIN);
}

std::int64_t TFileStream::Size() const {
  LARGE_INTEGER size{};
  return GetFileSizeEx(static_cast<HANDLE>(handle_), &size) ? size.QuadPart : 0;
}

}  // namespace rtl

#endif
