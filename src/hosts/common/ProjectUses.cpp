#include "hosts/common/ProjectUses.h"

#include "MigWizard/FileUtils.h"
#include "MigWizard/FormDirective.h"
#include "MigWizard/PasParser.h"
#include "MigWizard/ROvoradRes.h"
#include "rtl/PascalString.h"
#include "rtl/SysUtils.h"

namespace hosts {

using migwiz::TPasParser;

namespace {

// The next token that is neither blanks nor a comment.
int NextSignificant(TPasParser& parser, std::string_view& lexeme) {
  int code;
  do code = parser.GetNext(lexeme);
  while (code == migwiz::tkBlanks || code == migwiz::tkComment);
  return code;
}

// A word that can name a unit: the tokenizer reads a few of them as keywords.
bool IsNameWord(int code) {
  return code == migwiz::tkIdent || code == migwiz::tkItem || code == migwiz::tkInline ||
         code == migwiz::tkObject;
}

}  // namespace

TUsesClause ReadUsesClause(std::string_view text) {
  TUsesClause clause;
  TPasParser parser(text);
  std::string_view lexeme;
  int code;
  do code = NextSignificant(parser, lexeme);
  while (code != migwiz::tkEOF && code != migwiz::tkUses);
  if (code == migwiz::tkEOF) return clause;

  TUsesEntry entry;
  bool afterIn = false;
  auto finish = [&] {
    if (!entry.UnitName.empty()) clause.Entries.push_back(std::move(entry));
    entry = TUsesEntry();
    afterIn = false;
  };
  while (true) {
    code = NextSignificant(parser, lexeme);
    if (code == migwiz::tkEOF || code == migwiz::tkSemicolon) break;
    if (code == migwiz::tkComma) {
      finish();
    } else if (afterIn) {
      // Only the first token after "in" counts; concatenations and the like are not followed.
      std::string path;
      if (code == migwiz::tkString && rtl::DecodePascalLiteral(lexeme, path))
        entry.InPath = std::move(path);
      else
        clause.Problems.push_back(rtl::Format(migwiz::res::sInWithoutString, {entry.UnitName}));
      afterIn = false;
    } else if (!entry.UnitName.empty() && code == migwiz::tkIdent && rtl::SameText(lexeme, "in")) {
      afterIn = entry.InPath.empty();
    } else if (IsNameWord(code) || (code == migwiz::tkDot && !entry.UnitName.empty())) {
      if (entry.InPath.empty()) entry.UnitName += lexeme;
    }
  }
  if (afterIn)
    clause.Problems.push_back(rtl::Format(migwiz::res::sInWithoutString, {entry.UnitName}));
  finish();
  return clause;
}

std::string FormOfUnit(std::string_view text, const std::string& unitPath) {
  // A unit without "$R" in any letter case has no resource directive to read.
  bool mark = false;
  for (size_t at = text.find('$'); at != std::string_view::npos && !mark; at = text.find('$', at + 1))
    mark = at + 1 < text.size() && (text[at + 1] == 'R' || text[at + 1] == 'r');
  if (!mark) return {};
  TPasParser parser(text);
  std::string_view lexeme;
  for (int code = parser.GetNext(lexeme); code != migwiz::tkEOF; code = parser.GetNext(lexeme)) {
    if (code != migwiz::tkComment) continue;
    std::string form = migwiz::FindFileNoCase(migwiz::FormOfDirective(lexeme, unitPath));
    if (!form.empty()) return form;
  }
  return {};
}

}  // namespace hosts
