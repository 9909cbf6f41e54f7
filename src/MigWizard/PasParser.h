// The Pascal tokenizer TPasParser (unit PasParser): the tokenizer base
// with Pascal's symbols, keywords, comments and character classes. It tokenizes units, project
// files and form files in text form.
//
// Like its base it does not own its text: the caller keeps the characters alive and unchanged
// while the parser and the lexeme views it handed out are in use (see zel/XnParser.h).
//
// Also "(* ... *)" and "//" comments (to the line break, not included) are comment
// tokens too, so an apostrophe in them never opens a string; bytes from 128 on are letters, so a
// word such as "TQueryé" stays one identifier.
//
// All instances share one prepared lookup, so a fresh parser per comment costs about 100 ns.
// Note for re-tokenizing comment text: an apostrophe in prose ("don't") opens a string that runs
// to the end of that line, and identifiers after it on that line come inside the string token.
#pragma once

#include <string>
#include <string_view>

#include "rtl/Classes.h"
#include "zel/XnParser.h"

namespace migwiz {

// Token codes callers test.
inline constexpr int tkEOF = zel::tkEOF;          // 0, empty lexeme
inline constexpr int tkBlanks = zel::tkBlanks;    // blanks and line breaks
inline constexpr int tkIdent = zel::tkIdent;      // -103
inline constexpr int tkNumber = zel::tkNumber;    // 12, $FF, also "12abc"
inline constexpr int tkString = zel::tkString;    // -106, 'It''s' is one token
inline constexpr int tkComment = zel::tkComment;  // -108, delimiters included
inline constexpr int tkOther = zel::tkOther;      // a character of no other kind: | } ~ DEL

// The 27 one-character symbols, codes of the symbol table.
inline constexpr int tkExclamation = 1;  // !
inline constexpr int tkDoubleQuote = 2;  // "
inline constexpr int tkHash = 3;         // #
inline constexpr int tkPercent = 4;      // %
inline constexpr int tkAmpersand = 5;    // &
inline constexpr int tkApostrophe = 6;   // ' (never returned: it opens a string)
inline constexpr int tkLParen = 7;       // (
inline constexpr int tkRParen = 8;       // )
inline constexpr int tkAsterisk = 9;     // *
inline constexpr int tkPlus = 10;        // +
inline constexpr int tkComma = 11;       // ,
inline constexpr int tkMinus = 12;       // -
inline constexpr int tkDot = 13;         // .
inline constexpr int tkSlash = 14;       // /
inline constexpr int tkColon = 15;       // :
inline constexpr int tkSemicolon = 16;   // ;
inline constexpr int tkLess = 17;        // <
inline constexpr int tkEqual = 18;       // =
inline constexpr int tkGreater = 19;     // >
inline constexpr int tkQuestion = 20;    // ?
inline constexpr int tkAt = 21;          // @
inline constexpr int tkLBracket = 22;    // [
inline constexpr int tkBackslash = 23;   // backslash
inline constexpr int tkRBracket = 24;    // ]
inline constexpr int tkCaret = 25;       // ^
inline constexpr int tkUnderscore = 26;  // _ (never returned: it is a letter)
inline constexpr int tkBackQuote = 27;   // `

// Keywords, recognised in any letter case.
inline constexpr int tkEnd = 28;
inline constexpr int tkInherited = 29;
inline constexpr int tkInline = 30;
inline constexpr int tkItem = 31;
inline constexpr int tkObject = 32;
inline constexpr int tkUses = 33;

// The shared tables, built on first use and freed at program end; instances only refer to them.
const rtl::TStringList& PasSymbols();   // symbol -> code (entry's integer), sorted
const zel::TCharSet& PasSymbolStart();  // first character of every symbol
const rtl::TStringList& PasKeywords();  // keyword -> code (entry's integer), sorted

class TPasParser : public zel::TParser {
 public:
  explicit TPasParser(std::string_view text);
  explicit TPasParser(const char* text) : TPasParser(std::string_view(text)) {}
  TPasParser(std::string&&) = delete;  // the parser does not own its text

 protected:
  // "!" through "/" except "$"; ":" through "@"; "[" through "^"; "`"; "{" through "~".
  bool IsSymbolChar(char ch) const override;
  // "$", 0-9, A-F, a-f.
  bool IsNumberChar(char ch) const override;
  // The single quote only.
  bool IsQuoteChar(char ch) const override;
};

}  // namespace migwiz
