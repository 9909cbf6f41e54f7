#include "MigWizard/PasParser.h"

#include <utility>

namespace migwiz {

namespace {

rtl::TStringList SortedTable(std::initializer_list<std::pair<const char*, int>> entries) {
  rtl::TStringList list;
  for (const auto& [text, code] : entries) list.AddInt(text, code);
  list.CustomSort(zel::XnCmpStrings);
  list.SetSorted(true);  // same order; lets Find search it
  return list;
}

// All instances install the same tables and tests, so they share one prepared lookup.
zel::TLookupShare& PasLookup() {
  static zel::TLookupShare share(typeid(TPasParser));
  return share;
}

}  // namespace

const rtl::TStringList& PasSymbols() {
  static const rtl::TStringList symbols = SortedTable({
      {"!", tkExclamation}, {"\"", tkDoubleQuote}, {"#", tkHash},       {"%", tkPercent},
      {"&", tkAmpersand},   {"'", tkApostrophe},   {"(", tkLParen},     {")", tkRParen},
      {"*", tkAsterisk},    {"+", tkPlus},         {",", tkComma},      {"-", tkMinus},
      {".", tkDot},         {"/", tkSlash},        {":", tkColon},      {";", tkSemicolon},
      {"<", tkLess},        {"=", tkEqual},        {">", tkGreater},    {"?", tkQuestion},
      {"@", tkAt},          {"[", tkLBracket},     {"\\", tkBackslash}, {"]", tkRBracket},
      {"^", tkCaret},       {"_", tkUnderscore},   {"`", tkBackQuote},
  });
  return symbols;
}

const zel::TCharSet& PasSymbolStart() {
  static const zel::TCharSet start = [] {
    zel::TCharSet set;
    const rtl::TStringList& symbols = PasSymbols();
    for (int i = 0; i < symbols.Count(); ++i) set.set(static_cast<unsigned char>(symbols[i][0]));
    return set;
  }();
  return start;
}

const rtl::TStringList& PasKeywords() {
  static const rtl::TStringList keywords = SortedTable({
      {"END", tkEnd},
      {"INHERITED", tkInherited},
      {"INLINE", tkInline},
      {"ITEM", tkItem},
      {"OBJECT", tkObject},
      {"USES", tkUses},
  });
  return keywords;
}

TPasParser::TPasParser(std::string_view text) : zel::TParser(text) {
  SetSymbols(&PasSymbols());
  SetSymbolStart(PasSymbolStart());
  SetKeywords(&PasKeywords());
  SetBlockComment("{", "}");
  AddBlockComment("(*", "*)");
  AddLineComment("//");
  SetOptions(false, false, false);
  KeepStringQuotes = true;
  ShareLookup(PasLookup());
}

bool TPasParser::IsSymbolChar(char ch) const {
  unsigned c = static_cast<unsigned char>(ch);
  return (c >= '!' && c <= '/' && c != '$') || (c >= ':' && c <= '@') || (c >= '[' && c <= '^') ||
         c == '`' || (c >= '{' && c <= '~');
}

bool TPasParser::IsNumberChar(char ch) const {
  return ch == '$' || (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F') ||
         (ch >= 'a' && ch <= 'f');
}

bool TPasParser::IsQuoteChar(char ch) const {
  return ch == '\'';
}

}  // namespace migwiz
