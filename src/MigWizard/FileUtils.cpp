#include "MigWizard/FileUtils.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef CopyFile  // rtl::CopyFile, not the Win32 macro

#include "rtl/Encoding.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#endif

#include "rtl/SysUtils.h"

namespace fs = std::filesystem;
using rtl::FsPath;

namespace migwiz {

namespace {

bool IsDelimiter(char c) {
#ifdef _WIN32
  return c == PathDelim || c == ':';
#else
  return c == PathDelim;
#endif
}

// Index of the last separator (or drive colon), npos when there is none.
size_t LastDelimiter(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i)
    if (IsDelimiter(path[i - 1])) return i - 1;
  return std::string_view::npos;
}

// "/" (in any number) on POSIX; "C:", "C:\" or separators only on Windows.
bool IsRootPath(std::string_view path) {
  size_t end = path.find_last_not_of(PathDelim);
  if (end == std::string_view::npos) return !path.empty();
#ifdef _WIN32
  if (end == 1 && path[1] == ':') return true;
  // \\server\share (with or without a trailing separator) is the root of a network path.
  if (path.size() > 2 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\') {
    const size_t server = path.find(PathDelim, 2);
    return server != std::string_view::npos && server + 1 <= end &&
           path.find(PathDelim, server + 1) >= end + 1;
  }
  return false;
#else
  return false;
#endif
}

std::string StripTrailingDelims(std::string_view path) {
  size_t end = path.find_last_not_of(PathDelim);
  return std::string(path.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

// Creates one folder; true when it was created or exists as a folder (a link to one counts).
// Otherwise reason, when given, says why in the system's words.
bool MakeFolder(const std::string& path, std::string* reason = nullptr) {
  std::error_code ec;
  if (fs::create_directory(FsPath(path), ec)) return true;
  std::error_code existing;
  if (fs::is_directory(FsPath(path), existing)) return true;
  if (reason)
    *reason = ec ? ec.message() : std::make_error_code(std::errc::not_a_directory).message();
  return false;
}

void EmptyFolder(const std::string& dir) {
  std::vector<TFolderEntry> entries;
  // Removals do not depend on one another, so any order does.
  if (!ListFolder(dir, entries, TListing::Unsorted)) return;
  for (const TFolderEntry& e : entries) {
    std::string path = JoinPath(dir, e.Name);
    if (e.Folder) EmptyFolder(path);
    std::error_code ignored;  // single failures are ignored; the final removal tells
    fs::remove(FsPath(path), ignored);
  }
}

// A real folder at path, created when nothing is there; a link is not written through.
bool EnsureRealFolder(const std::string& path) {
  std::error_code ec;
  fs::file_status st = fs::symlink_status(FsPath(path), ec);
  if (fs::is_directory(st)) return true;
  if (st.type() != fs::file_type::not_found) return false;
  return fs::create_directory(FsPath(path), ec) && !ec;
}

bool IsSameFolder(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(FsPath(a), FsPath(b), ec) && !ec;
}

using TPutFile = bool (*)(const std::string& from, const std::string& to);

bool CopyFolder(const std::string& from, const std::string& to, const std::string& root,
                TPutFile put) {
  // Byte order of the names makes the failure rules reproducible (NTFS lists in name order too).
  std::vector<TFolderEntry> entries;
  if (!ListFolder(from, entries)) return true;  // nothing to enumerate is no failure
  bool ok = true;
  for (const TFolderEntry& e : entries) {
    std::string src = JoinPath(from, e.Name);
    std::string dst = JoinPath(to, e.Name);
    if (e.Link) {
      // A link to a folder leads out of the tree: skipped. Only links pay for this status call.
      std::error_code ignored;
      if (fs::is_directory(FsPath(src), ignored)) continue;
    }
    if (e.Folder) {
      if (IsSameFolder(src, root)) continue;
      if (!EnsureRealFolder(dst)) {
        ok = false;
        break;
      }
      // A failure inside stops that sub-folder only; this folder goes on.
      if (!CopyFolder(src, dst, root, put)) ok = false;
    } else if (!put(src, dst)) {
      ok = false;
      break;
    }
  }
  return ok;
}

enum class Want { File, Folder, Any };

bool IsWanted(const std::string& path, Want want) {
  switch (want) {
    case Want::File:
      return rtl::FileExists(path);
    case Want::Folder:
      return rtl::DirectoryExists(path);
    case Want::Any: {
      std::error_code ec;
      return fs::exists(FsPath(path), ec);
    }
  }
  return false;
}

// The real name in folder ("" for the current one) that equals name without regard to case and
// is of the wanted kind; the exact name first, then the first in byte order. "" when none.
#ifndef _WIN32
// The names in a folder, read again only when the folder changed since the last call: a run
// looks up the form of every unit of a folder that may hold thousands of them.
const std::vector<TFolderEntry>& CachedFolderNames(const std::string& folder) {
  struct Cache {
    std::string folder;
    dev_t dev = 0;
    ino_t ino = 0;
    timespec mtime{};
    timespec ctime{};
    std::vector<TFolderEntry> names;
  };
  static thread_local Cache cache;
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) {
    cache = Cache{};
    return cache.names;
  }
  auto same = [](const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
  };
  if (cache.folder == folder && cache.dev == st.st_dev && cache.ino == st.st_ino &&
      same(cache.mtime, st.st_mtim) && same(cache.ctime, st.st_ctim))
    return cache.names;
  cache = Cache{folder, st.st_dev, st.st_ino, st.st_mtim, st.st_ctim, {}};
  ListFolder(folder, cache.names, TListing::NamesOnly);
  return cache.names;
}
#endif

std::string FindNameNoCase(const std::string& folder, std::string_view name, Want want,
                           bool exactTried = false) {
#ifdef _WIN32
  // The file system ignores case already (beyond ASCII, too): what it does not find is not
  // there. What it finds is named as it is stored, as on POSIX.
  (void)exactTried;
  const std::string path = JoinPath(folder, name);
  if (!IsWanted(path, want)) return "";
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(rtl::Utf8ToWide(path).c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return std::string(name);
  FindClose(find);
  return rtl::WideToUtf8(found.cFileName);
#else
  if (!exactTried && IsWanted(JoinPath(folder, name), want)) return std::string(name);
  // Names only: a folder of thousands of units is searched once per form directive, so no
  // entry but the matching ones may cost a status call.
  const std::string dir = folder.empty() ? "." : folder;
  const std::vector<TFolderEntry>& entries = CachedFolderNames(dir);
  std::vector<std::string> matches;
  for (const TFolderEntry& e : entries)
    if (rtl::SameText(e.Name, name)) matches.push_back(e.Name);
  std::sort(matches.begin(), matches.end());  // byte order
  for (const std::string& m : matches)
    if (IsWanted(JoinPath(folder, m), want)) return m;
  return "";
#endif
}

enum class FreshFolder { Created, Taken, Failed };

FreshFolder CreateFreshFolder(const std::string& path) {
#ifdef _WIN32
  if (CreateDirectoryW(rtl::Utf8ToWide(path).c_str(), nullptr)) return FreshFolder::Created;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return FreshFolder::Failed;
#else
  if (::mkdir(path.c_str(), 0700) == 0) return FreshFolder::Created;
  if (errno != EEXIST) return FreshFolder::Failed;
#endif
  return rtl::DirectoryExists(path) ? FreshFolder::Taken : FreshFolder::Failed;
}

}  // namespace

std::string TempFolder() {
#ifdef _WIN32
  wchar_t buffer[MAX_PATH + 2];
  const DWORD n = GetTempPathW(MAX_PATH + 2, buffer);
  if (n == 0 || n > MAX_PATH + 1) return "";
  return JoinPath(rtl::WideToUtf8(std::wstring_view(buffer, n)), "");
#else
  const char* env = std::getenv("TMPDIR");
  return JoinPath(env && *env ? env : "/tmp", "");
#endif
}

bool ListFolder(const std::string& folder, std::vector<TFolderEntry>& entries, TListing listing) {
  entries.clear();
  const bool kinds = listing != TListing::NamesOnly;
#ifdef _WIN32
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileExW(rtl::Utf8ToWide(JoinPath(folder, "*")).c_str(), FindExInfoBasic,
                                 &found, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const wchar_t* name = found.cFileName;
    if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) continue;
    TFolderEntry e{rtl::WideToUtf8(name)};
    if (kinds) {
      // A reparse point that is a symbolic link or a junction counts as a link, never a folder.
      const DWORD a = found.dwFileAttributes;
      e.Link =
          (a & FILE_ATTRIBUTE_REPARSE_POINT) && (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
                                                 found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
      e.Folder = (a & FILE_ATTRIBUTE_DIRECTORY) && !e.Link;
    }
    entries.push_back(std::move(e));
  } while (FindNextFileW(find, &found));
  FindClose(find);
#else
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return false;
  while (const dirent* d = ::readdir(dir)) {
    const char* name = d->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    TFolderEntry e{name};
    if (kinds) {
      bool known = false;
#ifdef DT_UNKNOWN
      if (d->d_type != DT_UNKNOWN) {
        e.Folder = d->d_type == DT_DIR;
        e.Link = d->d_type == DT_LNK;
        known = true;
      }
#endif
      // The entry itself, never what a link points to; one that vanished meanwhile is neither.
      struct stat st;
      if (!known && ::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        e.Folder = S_ISDIR(st.st_mode);
        e.Link = S_ISLNK(st.st_mode);
      }
    }
    entries.push_back(std::move(e));
  }
  ::closedir(dir);
#endif
  if (listing == TListing::Sorted)
    std::sort(entries.begin(), entries.end(),
              [](const TFolderEntry& a, const TFolderEntry& b) { return a.Name < b.Name; });
  return true;
}

bool HasDrivePart(std::string_view path) {
#ifdef _WIN32
  if (path.size() >= 2 && path[1] == ':') return true;
  return path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
#else
  return !path.empty() && path[0] == PathDelim;
#endif
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string result(dir);
  if (!result.empty() && result.back() != PathDelim) result += PathDelim;
  if (name.size() >= 2 && name[0] == PathDelim) name.remove_prefix(1);
  result += name;
  return result;
}

std::string CreateTempDir(std::string_view prefix, std::uint32_t number) {
  std::string folder = TempFolder();
  if (folder.empty()) return "";
  std::string stem = folder + std::string(prefix.substr(0, 3));
  // 65536 candidates name every 16-bit value once, so a full folder ends the search.
  for (std::uint32_t k = 0; k < 0x10000; ++k) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>((number + k) & 0xFFFFu));
    std::string candidate = stem + hex;
    switch (CreateFreshFolder(candidate)) {
      case FreshFolder::Created:
        return candidate;
      case FreshFolder::Failed:
        return "";
      case FreshFolder::Taken:
        break;
    }
  }
  return "";
}

bool DeleteDirTree(const std::string& dir) {
  if (dir.empty() || IsRootPath(dir)) return false;
  // Without trailing separators, so that a link given as "link/" is seen as the link.
  std::string named = StripTrailingDelims(dir);
  std::error_code ec;
  fs::file_status own = fs::symlink_status(FsPath(named), ec);
  if (fs::is_directory(own)) {
    EmptyFolder(dir);
    return fs::remove(FsPath(named), ec) && !ec;
  }
  // A link to a folder: remove the link, never what it points to.
  if (fs::exists(own) && fs::is_directory(fs::status(FsPath(named), ec)))
    return fs::remove(FsPath(named), ec) && !ec;
  return false;
}

std::string OutermostMissingFolder(const std::string& path) {
  std::string missing;
  for (std::string dir = StripTrailingDelims(path);
       !dir.empty() && !rtl::DirectoryExists(dir) && !rtl::FileExists(dir);) {
    missing = dir;
    std::string parent = ExtractFileDir(dir);
    if (parent == dir) break;
    dir = std::move(parent);
  }
  return missing;
}

bool RemoveEmptyDirTree(const std::string& dir) {
  if (dir.empty() || IsRootPath(dir)) return false;
  std::vector<TFolderEntry> entries;
  if (!ListFolder(dir, entries, TListing::Unsorted)) return false;
  bool empty = true;
  for (const TFolderEntry& e : entries)
    if (!e.Folder || !RemoveEmptyDirTree(JoinPath(dir, e.Name))) empty = false;
  std::error_code ec;
  return empty && fs::remove(FsPath(StripTrailingDelims(dir)), ec) && !ec;
}

bool CopyDirTree(const std::string& source, const std::string& target) {
  if (source.empty()) return true;
  if (target.empty()) return false;
  return CopyFolder(source, target, target, &rtl::CopyFile);
}

std::string BackupFileName(std::string_view fileName) {
  std::string ext = ExtractFileExt(fileName);
  std::string result(fileName.substr(0, fileName.size() - ext.size()));
  result += ".~";
  if (ext.size() >= 2) result += ext.substr(1);
  return result;
}

bool CreateDirPath(const std::string& path, std::string* reason) {
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] != PathDelim) continue;
#ifdef _WIN32
    if (i == 2 && path[1] == ':') continue;  // the root separator of C:\ .
#else
    if (path.find_first_not_of(PathDelim) >= i) continue;  // "/" or "//": the root
#endif
    if (!MakeFolder(path.substr(0, i), reason)) return false;
    if (i + 1 == path.size()) return true;  // a trailing separator ends the work
  }
#ifdef _WIN32
  if (path.size() == 3 && path[1] == ':') return true;
#endif
  if (IsRootPath(path)) return true;
  return MakeFolder(path, reason);
}

std::string ExtractFileName(std::string_view path) {
  size_t d = LastDelimiter(path);
  return std::string(d == std::string_view::npos ? path : path.substr(d + 1));
}

std::string ExtractFilePath(std::string_view path) {
  size_t d = LastDelimiter(path);
  return std::string(d == std::string_view::npos ? std::string_view() : path.substr(0, d + 1));
}

std::string ExtractFileDir(std::string_view path) {
  size_t d = LastDelimiter(path);
  if (d == std::string_view::npos) return "";
  // The separator goes, unless it is a root's ("/", "C:\") or follows another delimiter.
  if (d > 0 && path[d] == PathDelim && !IsDelimiter(path[d - 1]))
    return std::string(path.substr(0, d));
  return std::string(path.substr(0, d + 1));
}

std::string ExtractFileExt(std::string_view path) {
  size_t dot = path.rfind('.');
  size_t d = LastDelimiter(path);
  if (dot == std::string_view::npos || (d != std::string_view::npos && dot < d)) return "";
  return std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  std::string result(path.substr(0, path.size() - ExtractFileExt(path).size()));
  result += ext;
  return result;
}

std::string FindFileNoCase(const std::string& path) {
  if (path.empty()) return "";
  bool exactTried = false;
#ifndef _WIN32
  if (rtl::FileExists(path)) return path;
  exactTried = true;
#endif
  std::string folder = ExtractFilePath(path);
  std::string name = ExtractFileName(path);
  if (name.empty()) return "";
  std::string real = FindNameNoCase(folder, name, Want::File, exactTried);
  return real.empty() ? "" : folder + real;
}

std::string ResolvePathNoCase(const std::string& path) {
  if (path.empty()) return "";
  std::error_code ec;
  if (fs::exists(FsPath(path), ec)) return path;
  auto isSep = [](char c) { return c == '/' || c == '\\'; };
#ifndef _WIN32
  // A project names its units with backslashes: where the path exists as written but for its
  // separators, one status call finds it, not one per folder from the root. The walk below
  // would come to the same path.
  std::string native;
  native.reserve(path.size());
  for (char c : path)
    if (!isSep(c))
      native += c;
    else if (native.empty() || native.back() != PathDelim)
      native += PathDelim;
  if (native != path && fs::exists(FsPath(native), ec)) return native;
#endif
  std::string result;
  size_t i = 0;
#ifdef _WIN32
  if (path.size() >= 2 && path[1] == ':') {
    result = path.substr(0, 2);
    i = 2;
  } else if (path.size() >= 2 && isSep(path[0]) && isSep(path[1])) {
    // \\server\share is taken as written: a network name has no folder to search.
    size_t server = path.find_first_of("/\\", 2);
    size_t share = server == std::string::npos ? server : path.find_first_of("/\\", server + 1);
    result = "\\\\" + path.substr(2, server == std::string::npos ? std::string::npos : server - 2);
    if (server != std::string::npos)
      result += '\\' + path.substr(server + 1, share == std::string::npos ? std::string::npos
                                                                          : share - server - 1);
    i = share == std::string::npos ? path.size() : share;
  }
#endif
  if (i < path.size() && isSep(path[i])) result += PathDelim;
  bool trailing = isSep(path.back());
  while (i < path.size()) {
    while (i < path.size() && isSep(path[i])) ++i;
    if (i >= path.size()) break;
    size_t end = i;
    while (end < path.size() && !isSep(path[end])) ++end;
    std::string component = path.substr(i, end - i);
    i = end;
    size_t next = path.find_first_not_of("/\\", end);
    bool last = next == std::string::npos;
    std::string name = component;
    if (component != "." && component != "..") {
      name = FindNameNoCase(result, component, last && !trailing ? Want::Any : Want::Folder);
      if (name.empty()) return "";
    }
    result = result.empty() ? name : JoinPath(result, name);
  }
  if (trailing && !result.empty() && result.back() != PathDelim) result += PathDelim;
  return result;
}

TLogWriter::TLogWriter() = default;

TLogWriter::~TLogWriter() {
  Close();
}

void TLogWriter::Open(const std::string& fileName) {
  Close();
  stream_ = std::make_unique<rtl::TFileStream>(fileName, rtl::TFileStream::Mode::Create);
  if (!title_.empty()) WriteLine(title_);
  WriteLine(createdAtLabel_ + " " + rtl::NowText());
}

void TLogWriter::AppendLine(std::string& out, const std::string& text) const {
  if (text == " ") {
    out += "\r\n";
  } else {
    out += text;
    if (text.empty() || (text.back() != '\n' && text.back() != '\r')) out += "\r\n";
  }
  if (blankLines_) out += "\r\n";
}

void TLogWriter::Put(const std::string& out) {
  try {
    stream_->Write(out.data(), out.size());  // one write; the log must not stop the run
  } catch (const rtl::EStreamError&) {
  }
}

void TLogWriter::WriteLine(const std::string& text) {
  if (!stream_) return;
  std::string out;
  AppendLine(out, text);
  Put(out);
}

void TLogWriter::WriteLines(const std::vector<std::string>& lines) {
  if (!stream_ || lines.empty()) return;
  std::string out;
  for (const std::string& line : lines) AppendLine(out, line);
  Put(out);
}

void TLogWriter::Close() {
  stream_.reset();
}

}  // namespace migwiz
