// What is left for a person after a run: the places in the units that use what the new classes
// do not have (a property the old class published and the new one lacks, the old library's API),
// and the objects of forms that stay on the old library. Found in the pass that rewrites a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "MigWizard/Edits.h"
#include "MigWizard/ReplaceRules.h"
#include "MigWizard/RunReport.h"
#include "rtl/ClassRegistry.h"

namespace migwiz {

// What the product layer knows of the old library, for the report of what is left.
struct TRevisionRules {
  std::string SourceName;                   // the library's name, for the notes: "BDE"
  std::vector<rtl::TClassInfo> OldClasses;  // the old classes' published properties and events
  // Properties no new class takes whatever the registry says (a new class the registry does not
  // know keeps everything else).
  std::vector<std::string> AlwaysLost;
  // Identifiers of the old library's API, with what to say of them; those that start with "T"
  // are classes, listed wherever they stand, the others globals.
  std::vector<std::pair<std::string, std::string>> Api;
  std::string ApiPrefix, ApiPrefixNote;  // its functions: "Dbi..."
  std::string ApiUnit, ApiUnitNote;      // the unit of its API, in a uses clause
  // A form object of a class no rule converts stays on the old library when it sets one of these
  // (DatabaseName, SessionName), unless its class is of another library.
  std::vector<std::string> LeftProperties;
  std::vector<std::string> OtherLibraries;
};

struct TNoCaseHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const noexcept;
};
struct TNoCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};
using TNoCaseSet = std::unordered_set<std::string, TNoCaseHash, TNoCaseEqual>;
template <class V>
using TNoCaseMap = std::unordered_map<std::string, V, TNoCaseHash, TNoCaseEqual>;

// Tells at once of most words that a set does not hold them: by their length and first letter.
class TWordFilter {
 public:
  void Add(std::string_view word);
  bool MayHold(std::string_view word) const {
    if (word.empty()) return false;
    const auto first = static_cast<unsigned char>(word[0]);
    const auto last = static_cast<unsigned char>(word.back());
    return ((lengths_[first] >> (word.size() < 63 ? word.size() : 63)) & 1) &&
           ((lasts_[first][last >> 6] >> (last & 63)) & 1);
  }

 private:
  std::uint64_t lengths_[256] = {};   // by first letter, a bit for each length
  std::uint64_t lasts_[256][4] = {};  // by first letter, a bit for each last letter
};

// A class a run converts, as the scan of a unit sees it.
struct TRevisedClass {
  std::string OldClass, NewClass;
  const rtl::TClassInfo* Old = nullptr;  // what the old class publishes; none when unknown
  TNoCaseSet Lost;                       // what it publishes and the new class does not
};

// The classes, properties and API names of a run, made before its files are read; read-only
// while they are, so any thread may use it.
class TRevisionIndex {
 public:
  // table: the old and new classes of the table; rules: the classes a rules file adds;
  // usesUnit: the old library's unit, which may qualify the API's globals.
  void Build(const std::vector<std::pair<std::string, std::string>>& table,
             const TReplacementRules& rules, const TRevisionRules& revisions,
             const std::string& usesUnit);
  bool IsUsesUnit(std::string_view identifier) const {
    return !usesUnit_.empty() && TNoCaseEqual()(identifier, usesUnit_);
  }
  const TRevisedClass* Class(std::string_view oldClass) const;
  bool AnyLost(std::string_view member) const {
    return lost_.MayHold(member) && anyLost_.count(member) > 0;
  }
  // The note for an API identifier, or nullptr.
  const std::string* ApiNote(std::string_view identifier) const;
  // What a word of a unit may be: a property some class lost, and the API's note for it.
  struct TWordKind {
    bool Lost = false;
    const std::string* Api = nullptr;
  };
  TWordKind KindOf(std::string_view word) const;
  bool IsApiFunction(std::string_view identifier) const;
  bool IsApiUnit(std::string_view identifier) const;
  bool IsLeftProperty(std::string_view name) const { return leftProperties_.count(name) > 0; }
  // The first letters of the words a unit's reading looks at: the lost properties, the API.
  const bool* WordStarts() const { return wordStarts_; }
  const std::uint64_t* WordLengths() const { return wordLengths_; }
  bool IsOtherLibrary(std::string_view cls) const { return otherLibraries_.count(cls) > 0; }
  const TRevisionRules& Rules() const { return *rules_; }
  // The words whose presence in a unit's bytes makes its code worth reading, upper-cased, as whole
  // words but for the first `prefixes`, which begin names (the API's functions).
  std::vector<std::string> CodeWords(size_t& prefixes) const;

 private:
  const TRevisionRules* rules_ = nullptr;
  std::vector<TRevisedClass> classes_;
  TWordFilter classFilter_, lost_, apiFilter_;
  TNoCaseMap<size_t> byOldClass_;
  TNoCaseSet anyLost_;
  TNoCaseMap<std::string> api_;
  TNoCaseMap<TWordKind> kinds_;  // the lost properties and the API's words
  TNoCaseSet leftProperties_, otherLibraries_;
  std::string usesUnit_;
  bool wordStarts_[256] = {};
  std::uint64_t wordLengths_[256] = {};
};

// Reads a unit's code for what is left, in the pass that rewrites it: properties the new class
// lacks used as Name.Member, bare inside "with Name do", or as Global.Field.Member of a form's or
// data module's object; the old library's API. The pass reports only the words that can matter
// (Words), so little is done per word: a name's class is taken where it is declared with a
// converted class, the text around a word is read where one may be a place, and blocks are
// counted only while a "with" is open.
class TUnitRevisions {
 public:
  TUnitRevisions(const TRevisionIndex& index, std::string_view text);
  // The first letters of the words the pass must report, for this unit; changed while a "with"
  // is open, so the pass must read them anew at every word.
  const bool* Words() const { return words_; }
  const std::uint64_t* WordLengths() const { return lengths_; }
  // Grows by one whenever Words changes, which it does only for the first bytes in ChangingWords.
  unsigned WordsVersion() const { return wordsVersion_; }
  static const std::string_view ChangingWords;
  // A word or semicolon the pass reports: at its offset in the text; convertedClass: a class the
  // run converts; inUses: it stands in a uses clause.
  void Feed(int code, std::string_view lexeme, size_t at, bool convertedClass, bool inUses);
  // After the last token: the places, with line, column and text of the converted text (columns
  // count characters where it is UTF-8), into the report.
  void Finish(std::string_view converted, const TEdits& edits, bool utf8, TFileReport& report,
              bool keepDetail);

 private:
  struct TPlace {
    size_t at;  // in the text read
    bool pending = false;
    TPendingReference ref;
  };
  struct TWith {
    std::vector<std::pair<std::string_view, const TRevisedClass*>> objects;  // "" for no name
    int base;  // the blocks open around it
    bool block;
  };
  void Declare(size_t at);
  const TRevisedClass* Declared(std::string_view name) const;
  void CheckMember(std::string_view lex, size_t at, bool inUses);
  void OpenWith(size_t at);
  // Drops the "with"s whose statement ended at the current block depth; a "with ... do begin"
  // only when blockWithsToo.
  void CloseWiths(bool blockWithsToo);
  void EndStatements();
  void OnEnd();
  void WithsChanged();
  // The class of "Result" in the function whose body holds the text at `at`.
  const TRevisedClass* ResultClass(size_t at) const;
  void AddPlace(size_t at, std::string_view kind, std::string_view name, std::string_view cls,
                std::string_view member, std::string note);
  // Reading the text around a word: blanks skipped backwards or forwards, an identifier ending
  // (or starting) at a place.
  size_t BlanksBefore(size_t p) const;
  size_t BlanksAfter(size_t p) const;
  size_t IdentifierBefore(size_t end) const;  // its start; `end` when there is none

  const TRevisionIndex& index_;
  std::string_view text_;
  bool words_[256];
  bool baseWords_[256];
  std::uint64_t lengths_[256];
  unsigned wordsVersion_ = 1;
  std::vector<TPlace> places_;
  TUnitFacts facts_;
  // Names declared with a converted class, views of the unit's text, the latest last; looked
  // through only where a place may be.
  std::vector<std::pair<std::string_view, const TRevisedClass*>> declared_;
  TWordFilter declaredFilter_;
  std::vector<TWith> withs_;
  int blocks_ = 0;        // counted while a "with" is open
  size_t skipUntil_ = 0;  // a "with" header read already
};

// The objects of a form left on the old library, found as the rewrite walks its tokens.
class TFormLeftovers {
 public:
  TFormLeftovers(const TRevisionIndex& index, std::string_view text);
  // An object's header opens (keyword at p); its name and class follow.
  void Opened(const char* keyword);
  void Named(std::string_view name) {
    if (!open_.empty()) open_.back().name = name;
  }
  void Classed(std::string_view cls) {
    if (!open_.empty()) open_.back().cls = cls;
  }
  void ItemOpened() { open_.push_back({false, nullptr, {}, {}, false, {}}); }
  // A rebuilt object goes without being looked at again.
  void Rebuilt() {
    if (!open_.empty()) open_.pop_back();
  }
  // "end": the innermost object or item closes.
  void Closed(TFileReport* report, bool keepDetail);
  // An identifier at p: a property of the innermost object when "=" follows.
  void Identifier(std::string_view lexeme);

 private:
  struct TOpen {
    bool object;
    const char* keyword;
    std::string_view name, cls;  // of the form's text
    bool left;
    std::string database;
  };
  const TRevisionIndex& index_;
  std::string_view text_;
  std::vector<TOpen> open_;
  TWordFilter properties_;  // the left properties, to pass over the other words at once
};

// Settles what the units of a run could not alone (Global.Field.Member) once every file is read,
// from what the units declare and what the forms hold, and puts each unit's places in the order
// of the file.
void SettleReferences(std::vector<TFileReport*>& files, const TRevisionIndex& index,
                      bool keepDetail);

}  // namespace migwiz
