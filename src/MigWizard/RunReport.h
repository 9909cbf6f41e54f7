// What a replace run did, file by file and object by object: for the user who reviews a
// conversion and for scripts (as JSON).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace migwiz {

struct TDroppedProperty {
  std::string Property, Value;  // the value as the form wrote it
};

struct TRenamedProperty {
  std::string From, To;
};

// One rebuilt object of a form.
struct TConvertedObject {
  std::string Name;  // empty for an unnamed object
  std::string Path;  // the names from the form's root down to it: "Form1/Panel1/Query1"
  std::string OldClass, NewClass;
  int Line = 0;  // of its keyword in the form's text, 1-based
  std::vector<TDroppedProperty> Dropped;
  std::vector<TRenamedProperty> Renamed;
  // The alias of a DatabaseName dropped without a connection in its place.
  std::optional<std::string> UnresolvedAlias;
};

struct TFileReport {
  std::string Path;  // full
  std::string Rel;   // below the folder or the project's folder
  bool Form = false;
  std::string Format;  // forms "text" or "binary"; units "utf8", "utf16" or "8bit"
  int Changes = 0;
  bool Changed = false;  // the file is rewritten
  // What was rebuilt, counted always; Objects holds the details only where they are wanted
  // (a run keeps them for a report, so its memory need not grow with the tree otherwise).
  int ObjectCount = 0, DroppedCount = 0, UnresolvedCount = 0;
  std::vector<TConvertedObject> Objects;
};

struct TReportTotals {
  int UnitsChanged = 0, FormsChanged = 0, ObjectsConverted = 0, PropertiesDropped = 0,
      UnresolvedAliases = 0;
};

// A file a keep-going run left as it was, and why.
struct TSkippedFile {
  std::string Path;
  std::string Reason;
};

struct TRunReport {
  bool FolderMode = false;
  bool DryRun = false;
  std::vector<TFileReport> Files;  // every file the run converted, in its order
  std::vector<TSkippedFile> Skipped;

  TReportTotals Totals() const;
  std::string ToJson() const;
  // "N units and M forms changed, K objects converted, P properties dropped, U aliases without a
  // connection"
  std::string Summary() const;
};

}  // namespace migwiz
