#include "MigWizard/FormDirective.h"

#include "MigWizard/FileUtils.h"
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

bool IsDirectiveText(std::string_view upper) {
  for (std::string_view open : {"{$", "(*$"}) {
    if (!StartsWith(upper, open)) continue;
    std::string_view body = upper.substr(open.size());
    return StartsWith(body, "R ") || StartsWith(body, "RESOURCE ");
  }
  return false;
}

}  // namespace

bool IsResourceDirective(std::string_view comment) {
  // Most comments are no directive at all, which their first bytes tell.
  const bool directive =
      comment.size() > 2 && ((comment[0] == '{' && comment[1] == '$') ||
                             (comment[0] == '(' && comment[1] == '*' && comment[2] == '$'));
  return directive && IsDirectiveText(rtl::UpperCase(comment.substr(0, 13)));
}

std::string FormOfDirective(std::string_view comment, const std::string& unitPath) {
  const std::string upper = rtl::UpperCase(comment);
  if (!IsDirectiveText(upper)) return {};
  size_t dot = upper.rfind('.');
  if (dot == std::string::npos || upper.size() - dot - 1 < 3) return {};
  std::string_view ext = std::string_view(upper).substr(dot, 4);
  if (ext != ".DFM" && ext != ".NFM") return {};
  if (dot + 4 < upper.size() && IsLetter(upper[dot + 4])) return {};
  if (dot > 0 && upper[dot - 1] == '*') {
    if (dot < 2 || upper[dot - 2] != ' ') return {};
    return ChangeFileExt(unitPath, ext);
  }
  size_t start = dot;
  while (start > 0 && IsLetter(upper[start - 1])) --start;
  if (start == dot) return {};
  return JoinPath(ExtractFileDir(unitPath), comment.substr(start, dot + 4 - start));
}

}  // namespace migwiz
