// Rewriting of Pascal units and project files.
#include <optional>
#include <vector>

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

}  // namespace

void TComponentReplacer::ProcessUnit(std::string_view text, const std::string& unitPath,
                                     TTextEncoding encoding, const std::string& outputPath) {
  ConvertDirectly(
      [&](TFileWork& work) { ConvertUnit(text, unitPath, encoding, outputPath, work); });
}

void TComponentReplacer::ConvertUnit(std::string_view text, const std::string& unitPath,
                                     TTextEncoding encoding, const std::string& outputPath,
                                     TFileWork& work) {
  int changeCount = 0;
  bool unchanged = true;
  bool inUses = false;
  bool clauseAdded = false;  // the clause has the uses addition, or UsesUnit will get it
  // The output is built in memory and written only when the unit changed, so an unchanged unit
  // never leaves a file behind and a failure never leaves half a file. The tokens tile the text:
  // what lies between two changes is copied as one piece.
  std::string out;
  size_t copied = 0;  // text before this is in out
  auto replace = [&](std::string_view lexeme, std::string_view by) {
    const auto at = static_cast<size_t>(lexeme.data() - text.data());
    if (out.empty()) out.reserve(text.size() + text.size() / 16);
    out.append(text, copied, at - copied);
    out += by;
    copied = at + lexeme.size();
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
  auto onToken = [&](int code, std::string_view lexeme) {
    // A class name is looked up once, for the rewrite and the reading alike.
    const std::string* target = code == tkIdent ? FindReplacement(lexeme) : nullptr;
    if (revisions) {
      const auto at = static_cast<size_t>(lexeme.data() - text.data());
      revisions->Feed(code, lexeme, at, out.size() + at - copied, target != nullptr, inUses);
      if (revisions->WordsVersion() != wordsVersion) mergeWords();
    }
    switch (code) {
      case tkComment: {
        std::optional<std::string> replaced = ConvertComment(lexeme, unitPath, changeCount, work);
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
  if (!unchanged) out.append(text, copied, std::string_view::npos);
  if (revisions)
    revisions->Finish(unchanged ? text : std::string_view(out), encoding != TTextEncoding::Default,
                      *report, KeepReportDetail);
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
                                                              int& changeCount) {
  std::optional<std::string> result;
  ConvertDirectly(
      [&](TFileWork& work) { result = ConvertComment(comment, unitPath, changeCount, work); });
  return result;
}

std::optional<std::string> TComponentReplacer::ConvertComment(std::string_view comment,
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
  std::string_view rest = comment.substr(1);
  std::optional<std::string> result;
  size_t copied = 0;  // rest before this is in result
  ScanPascalTokens(
      rest,
      [&](int code, std::string_view lexeme) {
        const std::string* target = code == tkIdent ? FindReplacement(lexeme) : nullptr;
        if (!target) return true;
        if (!result) result.emplace(1, comment[0]);
        const auto at = static_cast<size_t>(lexeme.data() - rest.data());
        result->append(rest, copied, at - copied);
        *result += *target;
        copied = at + lexeme.size();
        ++changeCount;
        return true;
      },
      firstLetter_);
  if (result) result->append(rest, copied, std::string_view::npos);
  return result;
}

}  // namespace migwiz
