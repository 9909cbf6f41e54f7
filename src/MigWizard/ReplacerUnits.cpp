// Rewriting of Pascal units and project files.
#include <algorithm>
#include <initializer_list>
#include <optional>
#include <vector>

#include "MigWizard/Edits.h"
#include "MigWizard/FileUtils.h"
#include "MigWizard/FormDirective.h"
#include "MigWizard/PasParser.h"
#include "MigWizard/Replacer.h"
#include "MigWizard/RunState.h"
#include "rtl/SysUtils.h"

namespace migwiz {

namespace {

// The identifiers and symbols of a text, blanks and comments left out.
std::vector<std::string> SignificantTokens(std::string_view text) {
  std::vector<std::string> tokens;
  TPasParser parser(text);
  std::string_view lexeme;
  for (int code = parser.GetNext(lexeme); code != tkEOF; code = parser.GetNext(lexeme))
    if (code != tkBlanks && code != tkComment) tokens.emplace_back(lexeme);
  return tokens;
}

// The next token after `from` that is no blank or comment; tkEOF at the end.
int NextSignificant(std::string_view text, size_t& from, std::string_view& lexeme) {
  TPasParser parser(text.substr(from));
  int code;
  do code = parser.GetNext(lexeme);
  while (code == tkBlanks || code == tkComment);
  from = static_cast<size_t>(lexeme.data() + lexeme.size() - text.data());
  return code;
}

// Where a "//" comment starts on the line that ends before `end`, or npos.
size_t LineCommentStart(std::string_view text, size_t end) {
  size_t start = end;
  while (start > 0 && text[start - 1] != '\n' && text[start - 1] != '\r') --start;
  bool quoted = false;
  for (size_t i = start; i + 1 < end; ++i) {
    if (text[i] == '\'')
      quoted = !quoted;
    else if (!quoted && text[i] == '{') {
      const size_t close = text.find('}', i);
      if (close >= end) return std::string_view::npos;
      i = close;
    } else if (!quoted && text[i] == '/' && text[i + 1] == '/') {
      return i;
    }
  }
  return std::string_view::npos;
}

// The word or symbol before `at`, blanks and comments passed over.
std::string_view PrevSignificant(std::string_view text, size_t at) {
  for (;;) {
    const size_t lineEnd = at;
    while (at > 0 && static_cast<unsigned char>(text[at - 1]) <= ' ') --at;
    if (at == 0) return {};
    if (at < lineEnd) {
      // Crossing a line end: the line before may end in a "//" comment.
      const size_t comment = LineCommentStart(text, at);
      if (comment != std::string_view::npos) {
        at = comment;
        continue;
      }
    }
    if (text[at - 1] == '}') {
      const size_t open = text.rfind('{', at - 1);
      if (open == std::string_view::npos) return {};
      at = open;
      continue;
    }
    if (at >= 2 && text[at - 1] == ')' && text[at - 2] == '*') {
      const size_t open = text.rfind("(*", at - 2);
      if (open == std::string_view::npos) return {};
      at = open;
      continue;
    }
    break;
  }
  const auto ident = [&](size_t i) { return pasdetail::kClasses.ident[(unsigned char)text[i]]; };
  if (!ident(at - 1)) return text.substr(at - 1, 1);
  size_t start = at;
  while (start > 0 && ident(start - 1)) --start;
  return text.substr(start, at - start);
}

bool IsOneOf(std::string_view word, std::initializer_list<std::string_view> words) {
  for (std::string_view w : words)
    if (w.size() == word.size() && rtl::SameText(w, word)) return true;
  return false;
}

}  // namespace

// A class name is not always a use of the class: the name a type declaration defines, the class
// part of a method heading, and a field, variable, parameter or constant that happens to be
// spelled like a class are the unit's own names.
TClassNameRole ClassNameRole(std::string_view text, size_t at, size_t length) {
  size_t next = at + length;
  std::string_view lexeme;
  int code = NextSignificant(text, next, lexeme);
  const std::string_view before = PrevSignificant(text, at);
  if (code == tkColon) {
    // "Name: Type" declares Name; ":=" assigns it.
    return next < text.size() && text[next] == '=' ? TClassNameRole::Use
                                                   : TClassNameRole::DeclaredName;
  }
  if (code == tkComma) {
    // "A, Name, B: Type": a list of names that ends in a colon.
    while (code == tkComma) {
      code = NextSignificant(text, next, lexeme);
      if (code != tkIdent) return TClassNameRole::Use;
      code = NextSignificant(text, next, lexeme);
    }
    if (code == tkColon && !(next < text.size() && text[next] == '='))
      return TClassNameRole::DeclaredName;
    return TClassNameRole::Use;
  }
  if (code == tkDot &&
      IsOneOf(before, {"procedure", "function", "constructor", "destructor", "operator"}))
    return TClassNameRole::Definition;
  if (code == tkEqual && IsOneOf(before, {";", "type", "const", "resourcestring"})) {
    // A declaration: a type ("class", "record", an alias, an enumeration, a pointer) keeps only
    // the name it defines; a constant is a name of the unit.
    code = NextSignificant(text, next, lexeme);
    if (code == tkIdent || code == tkObject || code == tkLParen || code == tkCaret)
      return TClassNameRole::Definition;
    return TClassNameRole::DeclaredName;
  }
  return TClassNameRole::Use;
}

void TComponentReplacer::ProcessUnit(std::string_view text, const std::string& unitPath,
                                     TTextEncoding encoding, const std::string& outputPath,
                                     TFileWork& work) {
  int changeCount = 0;
  bool unchanged = true;
  bool inUses = false;
  bool clauseAdded = false;  // the clause has the uses addition, or UsesUnit will get it
  // The edits are applied once the unit is read, and only when it changed: an unchanged unit
  // never leaves a file behind and a failure never leaves half a file.
  TEdits edits;
  auto replace = [&](std::string_view lexeme, std::string by) {
    edits.Replace(static_cast<size_t>(lexeme.data() - text.data()), lexeme.size(), std::move(by));
  };
  // The code is read for what is left for a person in the same pass.
  TFileReport* const report = work.ReportOrNull();
  const TRevisionIndex* const index = work.Checks ? work.Checks->Revisions : nullptr;
  std::optional<TUnitRevisions> revisions;
  if (index && report) revisions.emplace(*index, text);
  // The pass reports the words the rewrite needs and those the reading needs.
  bool words[256];
  std::uint64_t lengths[256];
  unsigned wordsVersion = 0;
  auto mergeWord = [&](unsigned char c) {
    words[c] = unitWordStarts_[c] || revisions->Words()[c];
    lengths[c] = unitWordLengths_[c] | revisions->WordLengths()[c];
  };
  auto mergeWords = [&] {
    if (wordsVersion == 0)
      for (int c = 0; c < 256; ++c) mergeWord(static_cast<unsigned char>(c));
    else
      for (char c : TUnitRevisions::ChangingWords) mergeWord(static_cast<unsigned char>(c));
    wordsVersion = revisions->WordsVersion();
  };
  // Names the unit declares that are spelled like a class, as written.
  std::vector<std::string_view> ownNames;
  auto onToken = [&](int code, std::string_view lexeme) {
    // A class name is looked up once, for the rewrite and the reading alike.
    const std::string* target = code == tkIdent ? FindReplacement(lexeme) : nullptr;
    if (target) {
      if (std::find(ownNames.begin(), ownNames.end(), lexeme) != ownNames.end()) {
        target = nullptr;
      } else {
        const auto at = static_cast<size_t>(lexeme.data() - text.data());
        switch (ClassNameRole(text, at, lexeme.size())) {
          case TClassNameRole::DeclaredName:
            ownNames.push_back(lexeme);
            target = nullptr;
            break;
          case TClassNameRole::Definition:
            target = nullptr;
            break;
          case TClassNameRole::Use:
            break;
        }
      }
    }
    if (revisions) {
      const auto at = static_cast<size_t>(lexeme.data() - text.data());
      revisions->Feed(code, lexeme, at, target != nullptr, inUses);
      if (revisions->WordsVersion() != wordsVersion) mergeWords();
    }
    switch (code) {
      case tkComment: {
        std::optional<std::string> replaced = ProcessComment(lexeme, unitPath, changeCount, work);
        if (replaced && *replaced != lexeme) {
          unchanged = false;
          replace(lexeme, *replaced);
        }
        break;
      }
      case tkSemicolon:
        inUses = false;
        break;
      case tkUses:
        inUses = true;
        clauseAdded = false;
        break;
      case tkIdent: {
        const size_t after = static_cast<size_t>(lexeme.data() + lexeme.size() - text.data());
        // A clause converted before already names the addition: adding it again would break
        // the unit.
        auto addAfter = [&] {
          if (!AdditionFollows(text.substr(after))) {
            replace(lexeme, std::string(lexeme) + UsesAddition);
            ++changeCount;
            if (!UsesAddition.empty()) unchanged = false;
          }
          clauseAdded = true;
        };
        if (inUses && lexeme.size() == UsesUnit.size() && rtl::SameText(lexeme, UsesUnit)) {
          addAfter();
          break;
        }
        // A unit of the rules takes the addition in a clause without UsesUnit, once.
        if (inUses && !clauseAdded && IsRulesUsesUnit(lexeme)) {
          if (!UsesUnitFollows(text.substr(after))) addAfter();
          break;
        }
        if (target) {
          std::string replaced = AdjustName(lexeme, *target);
          ++changeCount;
          if (replaced != lexeme) {
            unchanged = false;
            replace(lexeme, replaced);
          }
        }
        break;
      }
      default:
        break;
    }
    return true;
  };
  if (revisions) {
    mergeWords();
  } else {
    std::copy(unitWordStarts_, unitWordStarts_ + 256, words);
    std::copy(unitWordLengths_, unitWordLengths_ + 256, lengths);
  }
  ScanPascalTokens(text, onToken, words, lengths);
  work.Lines.push_back(ChangeCountText(changeCount));
  if (report) {
    report->Format = encoding == TTextEncoding::UTF16LE ? "utf16"
                     : encoding == TTextEncoding::UTF8  ? "utf8"
                                                        : "8bit";
    report->Changes = changeCount;
  }
  std::string out = unchanged ? std::string() : edits.Apply(text);
  if (revisions)
    revisions->Finish(unchanged ? text : std::string_view(out), edits,
                      encoding != TTextEncoding::Default, *report, work.Checks->KeepDetail);
  if (unchanged) return;
  work.OutputPath = outputPath;
  work.Output = EncodeSourceText(std::move(out), encoding, unitPath);
  work.Changed = true;
}

std::vector<std::string> UsesAdditionTokens(std::string_view addition) {
  return SignificantTokens(addition);
}

bool TComponentReplacer::IsRulesUsesUnit(std::string_view identifier) const {
  for (const std::string& unit : rulesUses_)
    if (unit.size() == identifier.size() && rtl::SameText(unit, identifier)) return true;
  return false;
}

bool TComponentReplacer::UsesUnitFollows(std::string_view rest) const {
  bool found = false;
  ScanPascalTokens(
      rest,
      [&](int code, std::string_view lexeme) {
        if (code == tkSemicolon) return false;
        found =
            code == tkIdent && lexeme.size() == UsesUnit.size() && rtl::SameText(lexeme, UsesUnit);
        return !found;
      },
      nullptr);
  return found;
}

bool TComponentReplacer::AdditionFollows(std::string_view rest) const {
  if (additionTokens_.empty()) return false;
  TPasParser parser(rest);
  std::string_view lexeme;
  for (const std::string& expected : additionTokens_) {
    int code;
    do code = parser.GetNext(lexeme);
    while (code == tkBlanks || code == tkComment);
    if (code == tkEOF || !rtl::SameText(lexeme, expected)) return false;
  }
  return true;
}

std::optional<std::string> TComponentReplacer::ProcessComment(std::string_view comment,
                                                              const std::string& unitPath,
                                                              int& changeCount, TFileWork& work) {
  if (IsResourceDirective(comment)) {
    // On a case-sensitive file system the form is found without regard to case.
    const std::string form = FindFileNoCase(FormOfDirective(comment, unitPath));
    if (!form.empty()) work.Forms.push_back(form);
    return std::nullopt;
  }
  // Most comments name no old class at all: their bytes are searched before they are tokenized.
  if (comment.empty() || (work.Checks && !work.Checks->FormWords.FoundIn(comment.substr(1))))
    return std::nullopt;
  const std::string_view rest = comment.substr(1);
  TEdits edits;
  ScanPascalTokens(
      rest,
      [&](int code, std::string_view lexeme) {
        const std::string* target = code == tkIdent ? FindReplacement(lexeme) : nullptr;
        if (!target) return true;
        edits.Replace(static_cast<size_t>(lexeme.data() - rest.data()), lexeme.size(), *target);
        ++changeCount;
        return true;
      },
      firstLetter_);
  if (edits.Empty()) return std::nullopt;
  return std::string(1, comment[0]) + edits.Apply(rest);
}

}  // namespace migwiz
