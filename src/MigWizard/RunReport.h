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

// A place in a converted unit that still uses what the new classes do not have.
struct TCodeReference {
  int Line = 0, Column = 0;  // in the converted file, 1-based
  std::string Text;          // the line, without the blanks around it
  std::string Kind;          // "property" or "bde_api"
  std::string Name;          // the object (or the API identifier) used there
  std::string Class;         // the object's new class; "" for the API
  std::string Member;        // the property used; "" for the API
  std::string Note;
};

// An object of a form whose class neither the table nor the rules convert, but which names a
// database or session, so it stays on the old library.
struct TLeftObject {
  std::string Name, Path, Class;
  int Line = 0;
  std::string Database;  // its DatabaseName; "" when it has only a SessionName
};

// What a unit's scan could not settle alone: Global.Field.Member, where Global's class is a form
// or data module class of the run and Field one of its fields of a converted class.
struct TPendingReference {
  TCodeReference Ref;       // Name is Field; Class is left to the resolution
  std::string Global;       // as written
  std::string GlobalClass;  // when the unit declares Global itself, upper-cased
  std::string Field, Member;
};

// What other units' references need to know of a unit: the variables of its interface part and
// the fields of a converted class its classes declare (names upper-cased).
struct TUnitFacts {
  std::vector<std::pair<std::string, std::string>> Globals;  // variable, class
  struct TField {
    std::string Class, Field, OldClass;
  };
  std::vector<TField> Fields;
  std::vector<TPendingReference> Pending;
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
  // What is left for a person: in a unit the places to revise, in a form the objects left on the
  // old library; counted always, kept where the details are wanted.
  int CodeCount = 0, LeftCount = 0;
  std::vector<TCodeReference> Code;
  std::vector<TLeftObject> Left;
  TUnitFacts Facts;  // a unit's, until the run settles the references across units
};

struct TReportTotals {
  int UnitsChanged = 0, FormsChanged = 0, ObjectsConverted = 0, PropertiesDropped = 0,
      UnresolvedAliases = 0, CodeToRevise = 0, ObjectsLeft = 0;
};

// A file a keep-going run left as it was, and why.
struct TSkippedFile {
  std::string Path;
  std::string Reason;
};

struct TRunReport {
  bool FolderMode = false;
  bool DryRun = false;
  std::string SourceName = "BDE";  // the library converted from, as the summary names it
  std::vector<TFileReport> Files;  // every file the run converted, in its order
  std::vector<TSkippedFile> Skipped;

  TReportTotals Totals() const;
  std::string ToJson() const;
  // "N units and M forms changed, K objects converted, P properties dropped, U aliases without a
  // connection, C code references to revise, L objects left on the BDE"
  std::string Summary() const;
};

}  // namespace migwiz
