// File and path helpers of the replace run and the wizard, and the log writer.
//
// The path rules are Windows rules carried onto this platform: the native separator PathDelim
// takes the place of "\" in every rule, and an absolute path counts as having a drive part. No
// function here resolves "." or "..", changes letter case or converts separators, except where
// stated (ResolvePathNoCase). Directory symbolic links are never followed inside a tree that is
// scanned, deleted or copied.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Classes.h"
#include "rtl/FileIO.h"

namespace migwiz {

#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

// True when the path names its drive: on POSIX a leading "/"; on Windows a letter and ":"
// ("C:", "C:\x", "C:x") or a network path ("\\server\share").
bool HasDrivePart(std::string_view path);

// Dir, a separator unless Dir is empty or already ends in one, then Name without one leading
// separator (dropped only when Name is longer than the separator alone). An empty Name gives Dir
// with exactly one trailing separator.
std::string JoinPath(std::string_view dir, std::string_view name);

// Creates a fresh folder in the user's temporary folder (TMPDIR or /tmp; GetTempPath on Windows)
// named by the first three characters of prefix and the low 16 bits of number in upper-case
// hexadecimal: $DS1, $DS2 ... $DS9, $DSA ... Existing folders of a candidate's name are skipped by
// counting number up. Returns the folder's path (no trailing separator), or "" when a candidate
// cannot be created (a plain file has its name, the temporary folder is missing) or all 65536
// names are taken. On POSIX the folder is private to the user (mode 0700).
std::string CreateTempDir(std::string_view prefix, std::uint32_t number);
// The folder temporary folders are made in, with a separator at its end; "" when there is none.
std::string TempFolder();

// One entry of a folder as the folder records it; nothing a link points to is looked at.
struct TFolderEntry {
  std::string Name;
  bool Folder = false;  // a real folder; a link to one is not
  bool Link = false;    // a symbolic link (on Windows also a junction), to whatever it points
};

enum class TListing {
  Sorted,     // in byte order of the names
  Unsorted,   // in the order the file system gives
  NamesOnly,  // unsorted, Folder and Link left false: no status call for any entry
};

// The entries of folder without "." and "..", replacing what entries held. False when the folder
// cannot be opened; an error while reading ends the list where it stands. An entry costs no
// status call where the file system records its type, one lstat elsewhere. The only place that
// asks the platform for a folder's entries.
bool ListFolder(const std::string& folder, std::vector<TFolderEntry>& entries,
                TListing listing = TListing::Sorted);

// Deletes everything below dir depth first, ignoring single failures, then removes dir itself;
// true when dir was removed. A symbolic link inside the tree is removed as a link: nothing it
// points to is touched. A dir that is itself a link to a folder: the link is removed, nothing
// else. False for a missing dir, a plain file, the empty string and a root ("/", "C:\"), which
// are left alone.
bool DeleteDirTree(const std::string& dir);

// The outermost folder of path that does not exist yet (path itself or a parent of it), the
// one CreateDirPath(path) would make first; empty when path exists.
std::string OutermostMissingFolder(const std::string& path);
// Removes dir when it and its sub-folders hold no file (and no link), the empty sub-folders
// first; true when dir is gone. A folder that holds anything stays, with what it holds.
bool RemoveEmptyDirTree(const std::string& dir);

// Copies the contents of source into target, which must exist. Entries are taken in byte order
// of their names. A sub-folder missing in target is created; a file replaces its target through
// rtl::CopyFile (a complete copy renamed over it). The first entry that fails stops the copy of
// its folder, and the enclosing folder goes on. True when no entry failed.
// Links: a link to a file is copied as the file's content; a link to a folder is skipped (its
// target lies outside the tree and is neither entered nor recreated as a link; skipping is no
// failure); a target sub-folder that is a link is not written through (that entry fails). The
// source and target named by the caller are followed. An empty source copies nothing (true); an
// empty target copies nothing (false). A source folder that is target itself is not entered, so
// copying a folder into its own sub-folder ends.
bool CopyDirTree(const std::string& source, const std::string& target);

// The backup copy's name: the extension's dot followed by "~" (Unit1.pas -> Unit1.~pas); no
// extension or a lone "." gives ".~" (README -> README.~).
std::string BackupFileName(std::string_view fileName);

// Creates the folder path with every missing parent; true when the whole path exists as a
// folder afterwards. Stops at the first folder it cannot create (leaving those it did create) and
// after a trailing separator. A root ("/" on POSIX, "C:\" on Windows) gives true at once. On
// POSIX a path beginning with "//" is taken as an absolute path (Linux reads "//a" as "/a"); on
// Windows a path beginning with "\" (rooted or network) gives false. An entry
// of the path that exists as a plain file is a failure (Windows' ERROR_ALREADY_EXISTS would let
// it pass; "exists afterwards" means as a folder). reason, when given, says why it failed in the
// system's words.
bool CreateDirPath(const std::string& path, std::string* reason = nullptr);

// Path parts, split at the last separator (on Windows also at the drive's ":").
std::string ExtractFileName(std::string_view path);  // the last component
std::string ExtractFilePath(std::string_view path);  // the folder with its trailing separator
// The folder without its trailing separator, except a root keeps it ("/a" -> "/").
std::string ExtractFileDir(std::string_view path);
// From the last "." after the last separator, with the dot; "" when there is none.
std::string ExtractFileExt(std::string_view path);
// Replaces the extension (ExtractFileExt) by ext, which carries its dot; appends when none.
std::string ChangeFileExt(std::string_view path, std::string_view ext);

// For case-sensitive file systems: the path of an existing file (a link to one counts) in path's
// folder whose name equals path's last component without regard to ASCII letter case. The exact
// name is preferred; among several other matches the first in byte order is taken. "" when none.
// On Windows the file system does the matching; the name is the one it stores.
std::string FindFileNoCase(const std::string& path);

// The same, component by component, for a whole relative or absolute path as written in a project
// file: every component but the last must match a folder, the last any existing entry (a trailing
// separator makes it a folder too). "." and ".." are kept as written. The path as given is
// returned unchanged when it exists. Otherwise "\" is taken as a separator too (project files are
// written on Windows) and the result uses PathDelim. "" when a component has no match.
std::string ResolvePathNoCase(const std::string& path);

// Writes the plain-text log of a replace run: CR LF line ends, each line written to
// the file in one write as WriteLine is called, nothing buffered.
class TLogWriter : public rtl::TObject {
 public:
  TLogWriter();
  ~TLogWriter() override;
  TLogWriter(const TLogWriter&) = delete;
  TLogWriter& operator=(const TLogWriter&) = delete;

  void SetTitle(const std::string& text) { title_ = text; }
  void SetCreatedAtLabel(const std::string& text) { createdAtLabel_ = text; }
  void SetBlankLines(bool flag) { blankLines_ = flag; }
  const std::string& Title() const { return title_; }
  const std::string& CreatedAtLabel() const { return createdAtLabel_; }
  bool BlankLines() const { return blankLines_; }
  bool IsOpen() const { return stream_ != nullptr; }

  // Creates (or truncates) the file and writes the title line, when there is a title, and the
  // created-at label with the local date-time text. A writer that is open closes its file first.
  // Raises rtl::EFCreateError naming the file when it cannot be created; the writer stays closed.
  void Open(const std::string& fileName);
  // Appends one line when open, does nothing when closed. " " asks for an empty line; a text
  // ending in CR or LF gets no line end of its own; the blank-line flag adds one more line end.
  // A failed write is ignored.
  void WriteLine(const std::string& text);
  // The same for several lines, written to the file at once.
  void WriteLines(const std::vector<std::string>& lines);
  // Closes the file; the writer can be opened again. Closing a closed writer does nothing.
  void Close();

 private:
  void AppendLine(std::string& out, const std::string& text) const;
  void Put(const std::string& out);
  std::unique_ptr<rtl::TFileStream> stream_;
  std::string title_;
  std::string createdAtLabel_ = "Log created at:";
  bool blankLines_ = false;
};

}  // namespace migwiz
