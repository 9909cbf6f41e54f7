// Rewriting of Pascal units and project files.
#include "MigWizard/FileUtils.h"
#include "MigWizard/PasParser.h"
#include "MigWizard/Replacer.h"
#include "rtl/SysUtils.h"

namespace migwiz {

namespace {

// Letters of the form search; bytes of multi-byte characters count as letters.
bool IsLetter(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u >= 0x80;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

}  // namespace

void TComponentReplacer::ProcessUnit(std::string_view text, const std::string& unitPath,
                                     TTextEncoding encoding, const std::string& outputPath) {
  TPasParser parser(text);
  int changeCount = 0;
  bool unchanged = true;
  bool inUses = false;
  // The output is built in memory and written only when the unit changed, so an unchanged unit
  // never leaves a file behind and a failure never leaves half a file.
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  std::string_view lexeme;
  for (int code = parser.GetNext(lexeme); code != tkEOF; code = parser.GetNext(lexeme)) {
    switch (code) {
      case tkComment: {
        std::string replaced = ProcessComment(lexeme, unitPath, changeCount);
        if (replaced != lexeme) unchanged = false;
        out += replaced;
        continue;
      }
      case tkSemicolon:
        inUses = false;
        break;
      case tkUses:
        inUses = true;
        break;
      case tkIdent: {
        if (inUses && lexeme.size() == UsesUnit.size() && rtl::SameText(lexeme, UsesUnit)) {
          out += lexeme;
          out += UsesAddition;
          ++changeCount;
          if (!UsesAddition.empty()) unchanged = false;
          continue;
        }
        if (const std::string* target = FindReplacement(lexeme)) {
          std::string replaced = AdjustName(lexeme, *target);
          ++changeCount;
          if (replaced != lexeme) unchanged = false;
          out += replaced;
          continue;
        }
        break;
      }
      default:
        break;
    }
    out += lexeme;
  }
  Log.WriteLine(ChangeCountText(changeCount));
  if (!unchanged) {
    WriteOutput(outputPath, EncodeSourceText(out, encoding, unitPath));
    ++ChangedCount;
  }
}

std::string TComponentReplacer::ProcessComment(std::string_view comment,
                                               const std::string& unitPath, int& changeCount) {
  std::string upper = rtl::UpperCase(comment);
  if (StartsWith(upper, "{$R ") || StartsWith(upper, "{$RESOURCE ")) {
    FindFormInDirective(upper, comment, unitPath);
    return std::string(comment);
  }
  if (comment.empty()) return std::string();
  std::string result(1, comment[0]);
  std::string_view rest = comment.substr(1);
  TPasParser parser(rest);
  std::string_view lexeme;
  for (int code = parser.GetNext(lexeme); code != tkEOF; code = parser.GetNext(lexeme)) {
    if (code == tkIdent) {
      if (const std::string* target = FindReplacement(lexeme)) {
        result += *target;
        ++changeCount;
        continue;
      }
    }
    result += lexeme;
  }
  return result;
}

void TComponentReplacer::FindFormInDirective(const std::string& upper, std::string_view comment,
                                             const std::string& unitPath) {
  size_t dot = upper.rfind('.');
  if (dot == std::string::npos || upper.size() - dot - 1 < 3) return;
  std::string_view ext = std::string_view(upper).substr(dot, 4);
  if (ext != ".DFM" && ext != ".NFM") return;
  if (dot + 4 < upper.size() && IsLetter(upper[dot + 4])) return;
  std::string formPath;
  if (dot > 0 && upper[dot - 1] == '*') {
    if (dot < 2 || upper[dot - 2] != ' ') return;
    formPath = ChangeFileExt(unitPath, std::string(ext));
  } else {
    size_t start = dot;
    while (start > 0 && IsLetter(upper[start - 1])) --start;
    if (start == dot) return;
    formPath =
        JoinPath(ExtractFileDir(unitPath), std::string(comment.substr(start, dot + 4 - start)));
  }
  // On a case-sensitive file system the form is found without regard to case.
  std::string existing = FindFileNoCase(formPath);
  if (!existing.empty()) FileList.Add(existing);
}

}  // namespace migwiz
