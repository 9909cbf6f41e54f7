// The Pascal tokenizer TPasParser (unit PasParser): the tokenizer base
// with Pascal's symbols, keywords, comments and character classes. It tokenizes units, project
// files and form files in text form.
//
// Like its base it does not own its text: the caller keeps the characters alive and unchanged
// while the parser and the lexeme views it handed out are in use (see zel/XnParser.h).
//
// Also "(* ... *)" and "//" comments (to the line break, not included) are comment
// tokens too, so an apostrophe in them never opens a string; bytes from 128 on are no letters, so
// a class name beside them ("TQueryé") is still a word of its own.
//
// All instances share one prepared lookup, so a fresh parser per comment costs about 100 ns.
// Note for re-tokenizing comment text: an apostrophe in prose ("don't") opens a string that runs
// to the end of that line, and identifiers after it on that line come inside the string token.
#pragma once

#include <cstdint>
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

// The tokens a rewrite looks at, found the way TPasParser finds them but without a call per
// token: on(code, lexeme) is called, in order, for every identifier (tkIdent), keyword, comment
// and semicolon, with the code and the exact text GetNext would return; blanks, strings,
// numbers and the other symbols are passed over. on returns false to stop the scan. With
// wordStarts, a word (identifier or keyword) is reported only when wordStarts[its first byte];
// with wordLengths too, only when bit min(length, 63) of wordLengths[its first byte] is set.
template <class OnToken>
void ScanPascalTokens(std::string_view text, OnToken&& on, const bool* wordStarts = nullptr,
                      const std::uint64_t* wordLengths = nullptr);

namespace pasdetail {

enum : unsigned char { kSkip, kBlank, kLetter, kNumber, kQuote, kBrace, kParen, kSlash, kSemi };
struct TClasses {
  unsigned char start[256];
  bool ident[256];   // continues an identifier: a letter, a digit, "_"
  bool number[256];  // continues a number word: that or "$"
};
constexpr TClasses MakeClasses() {
  TClasses t{};
  for (int c = 0; c < 256; ++c) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    const bool digit = c >= '0' && c <= '9';
    t.ident[c] = letter || digit;
    t.number[c] = letter || digit || c == '$';
    t.start[c] = c <= ' '    ? kBlank
                 : letter    ? kLetter
                 : digit     ? kNumber
                 : c == '$'  ? kNumber
                 : c == '\'' ? kQuote
                 : c == '{'  ? kBrace
                 : c == '('  ? kParen
                 : c == '/'  ? kSlash
                 : c == ';'  ? kSemi
                             : kSkip;
  }
  return t;
}
inline constexpr TClasses kClasses = MakeClasses();

// The keyword code of a word, tkIdent for any other.
inline int WordCode(const char* p, size_t n) {
  // Every keyword starts with E, I, O or U.
  switch (p[0] | 0x20) {
    case 'e':
    case 'i':
    case 'o':
    case 'u':
      break;
    default:
      return tkIdent;
  }
  auto is = [p, n](const char* upper, size_t len) {
    if (n != len) return false;
    for (size_t i = 0; i < len; ++i) {
      const char c = p[i];
      if ((c >= 'a' && c <= 'z' ? char(c - 32) : c) != upper[i]) return false;
    }
    return true;
  };
  switch (n) {
    case 3:
      return is("END", 3) ? tkEnd : tkIdent;
    case 4:
      return is("USES", 4) ? tkUses : is("ITEM", 4) ? tkItem : tkIdent;
    case 6:
      return is("INLINE", 6) ? tkInline : is("OBJECT", 6) ? tkObject : tkIdent;
    case 9:
      return is("INHERITED", 9) ? tkInherited : tkIdent;
    default:
      return tkIdent;
  }
}

}  // namespace pasdetail

template <class OnToken>
void ScanPascalTokens(std::string_view text, OnToken&& on, const bool* wordStarts,
                      const std::uint64_t* wordLengths) {
  using namespace pasdetail;
  const char* const s = text.data();
  const size_t n = text.size();
  const auto byte = [s](size_t i) { return static_cast<unsigned char>(s[i]); };
  size_t i = 0;
  while (i < n) {
    const size_t p = i;
    switch (kClasses.start[byte(i)]) {
      case kBlank:
        ++i;
        while (i < n && byte(i) <= ' ') ++i;
        break;
      case kLetter: {
        ++i;
        while (i < n && kClasses.ident[byte(i)]) ++i;
        if (wordStarts && !wordStarts[byte(p)]) break;
        if (wordLengths && !((wordLengths[byte(p)] >> (i - p < 63 ? i - p : 63)) & 1)) break;
        if (!on(WordCode(s + p, i - p), text.substr(p, i - p))) return;
        break;
      }
      case kNumber:
        ++i;
        while (i < n && kClasses.number[byte(i)]) ++i;
        break;
      case kQuote:
        // To the closing quote (a doubled one stands for one inside), else to the line break.
        for (++i; i < n; ++i) {
          if (s[i] == '\'') {
            if (i + 1 < n && s[i + 1] == '\'') {
              ++i;
              continue;
            }
            ++i;
            break;
          }
          if (s[i] == '\r' || s[i] == '\n') break;
        }
        break;
      case kBrace: {
        const size_t end = text.find('}', i + 1);
        i = end == std::string_view::npos ? n : end + 1;
        if (!on(tkComment, text.substr(p, i - p))) return;
        break;
      }
      case kParen: {
        if (i + 1 >= n || s[i + 1] != '*') {
          ++i;
          break;
        }
        const size_t end = text.find("*)", i + 2);
        i = end == std::string_view::npos ? n : end + 2;
        if (!on(tkComment, text.substr(p, i - p))) return;
        break;
      }
      case kSlash: {
        if (i + 1 >= n || s[i + 1] != '/') {
          ++i;
          break;
        }
        i += 2;
        while (i < n && s[i] != '\r' && s[i] != '\n') ++i;
        if (!on(tkComment, text.substr(p, i - p))) return;
        break;
      }
      case kSemi:
        ++i;
        if (!on(tkSemicolon, text.substr(p, 1))) return;
        break;
      default:
        ++i;
        break;
    }
  }
}

}  // namespace migwiz
