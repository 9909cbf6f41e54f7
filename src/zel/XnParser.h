// Stand-in for the maker's tokenizer base TParser (unit XnParser, package zel100) and its table
// comparison XnCmpStrings; the Pascal tokenizer derives from it.
//
// The text is NOT owned: a parser works over a std::string_view of the caller's characters, and
// the lexeme views that GetNext hands out point into them. The caller keeps those characters
// alive and unchanged while the parser (or any lexeme view) is in use. This is what keeps
// restarts (SetText on the rest of a text) and re-tokenizing a comment free of copies. Passing a
// temporary std::string is refused at compile time for that reason.
#pragma once

#include <atomic>
#include <bitset>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "rtl/Classes.h"

namespace zel {

// Token codes of the base. Symbols and keywords carry the codes of the installed tables.
inline constexpr int tkEOF = 0;         // end of text; the lexeme is empty
inline constexpr int tkBlanks = -101;   // a run of blank characters (line breaks included)
inline constexpr int tkIdent = -103;    // a word that is not a keyword
inline constexpr int tkNumber = -104;   // a word that begins with a number character
inline constexpr int tkString = -106;   // a string literal
inline constexpr int tkComment = -108;  // a comment, delimiters included
inline constexpr int tkOther = -199;    // any other single character

// 256-bit character set, indexed by the byte's unsigned value.
using TCharSet = std::bitset<256>;

// Comparison used to sort the symbol and keyword tables: the two entries' strings compared
// without regard to (ASCII) case, <0, 0 or >0; the same order a sorted string list keeps.
int XnCmpStrings(const rtl::TStringList& list, int index1, int index2);

struct TParserLookup;  // byte-indexed tables prepared from the installation (XnParser.cpp)

// Lets every instance of one parser class share one prepared lookup (see TParser::ShareLookup).
// Meant to be a long-lived static of that class.
class TLookupShare {
 public:
  explicit TLookupShare(const std::type_info& owner);
  ~TLookupShare();  // both out of line: TParserLookup is complete only there
  TLookupShare(const TLookupShare&) = delete;
  TLookupShare& operator=(const TLookupShare&) = delete;

 private:
  friend class TParser;
  const std::type_info& owner_;
  std::mutex fill_;                                   // held while the first instance fills it
  std::atomic<const TParserLookup*> ready_{nullptr};  // set once, never changed
  std::unique_ptr<const TParserLookup> lookup_;
};

// General tokenizer. Every byte of the text belongs to exactly one token, so the lexemes joined
// in order give the text back (with KeepStringQuotes on and the skip options off). At each
// position, in this order:
//  - a comment begin delimiter (longest first) starts a comment: a block comment runs through
//    its end delimiter, or to the end of the text when there is none; a line comment runs to
//    the line break, which is not part of it;
//  - a quote character (IsQuoteChar) starts a string: it runs to the same quote character, a
//    doubled quote standing for one inside; without a closing quote it runs to the line break
//    (not included) or the end of the text;
//  - with QuotedIdents, an identifier quote (IsIdentQuote) starts a quoted identifier, delimited
//    like a string, code tkIdent, quotes kept;
//  - a run of blank characters (IsBlank) is one tkBlanks token;
//  - a byte for which IsSymbolChar holds and which is in the symbol-start set starts a symbol:
//    the longest entry of the symbol table that matches;
//  - a letter (IsAlpha) starts a word of letters and digits 0-9: the keyword's code when the
//    keyword table holds it (without regard to ASCII case), otherwise tkIdent;
//  - a number character (IsNumberChar) that is no letter starts a number word: it runs over
//    number characters, letters and digits, so that "12abc" is one number and never yields an
//    identifier "abc";
//  - anything else is a single-character tkOther token.
// A symbol-start byte that begins no entry of the table at that position is a tkOther token.
// The character tests are asked when the first token is read, to fill 256-entry tables (once per
// program for a class that shares its lookup, see ShareLookup); an override must answer from the
// character alone and must not change its answers later.
class TParser {
 public:
  explicit TParser(std::string_view text);
  explicit TParser(const char* text) : TParser(std::string_view(text)) {}
  TParser(std::string&&) = delete;  // the parser does not own its text
  virtual ~TParser();               // out of line: TParserLookup is complete only there
  TParser(const TParser&) = delete;
  TParser& operator=(const TParser&) = delete;

  // Replaces the text; tokenizing starts again at its first character.
  void SetText(std::string_view text);
  void SetText(const char* text) { SetText(std::string_view(text)); }
  void SetText(std::string&&) = delete;
  // Starts again at the first character of the current text.
  void ToBegin();
  std::string_view Text() const { return std::string_view(text_, size_); }

  // The next token's code; the lexeme receives its exact text (see KeepStringQuotes). At the
  // end of the text: tkEOF and an empty lexeme, again on every further call.
  int GetNext(std::string& lexeme);
  // The same without copying: the view points into the text.
  int GetNext(std::string_view& lexeme);

  // 0-based offset in the text where the token last returned by GetNext begins (for a string
  // read with KeepStringQuotes off: its opening quote). The text's length after tkEOF, 0 before
  // the first call.
  int PrevPos() const { return static_cast<int>(prev_); }

  // Off in the base; the Pascal tokenizer turns it on. May change between tokens.
  // On: a string token's lexeme includes its quotes. Off: only the text between them (a doubled
  // quote inside stays doubled; an unterminated string gives everything after its quote).
  bool KeepStringQuotes = false;

 protected:
  // Installation points, called by a subclass's constructor. The tables are referred to, not
  // copied or owned: they must outlive the parser and stay unchanged while it is in use.
  // Symbol table: symbol text -> positive token code, carried as the entry's integer.
  void SetSymbols(const rtl::TStringList* symbols);
  // The bytes that begin a symbol (copied).
  void SetSymbolStart(const TCharSet& start);
  // Keyword table: keyword -> token code, carried as the entry's integer.
  void SetKeywords(const rtl::TStringList* keywords);
  // The one pair of block-comment delimiters (replaces an earlier pair).
  void SetBlockComment(std::string_view begin, std::string_view end);
  // Further comment forms (an addition of this implementation).
  void AddBlockComment(std::string_view begin, std::string_view end);
  void AddLineComment(std::string_view begin);
  // The base's three further options, all off by default: SkipBlanks and SkipComments leave
  // those tokens out (the text no longer round-trips); QuotedIdents enables IsIdentQuote.
  void SetOptions(bool skipBlanks, bool skipComments, bool quotedIdents);
  // A class whose instances all install the same tables and options lets them share one
  // prepared lookup, so creating a parser costs no table building. The slot serves instances
  // whose dynamic type is the slot's owner; an instance of a further subclass (which may test
  // characters differently), or one that installs anything after this call, prepares its own.
  void ShareLookup(TLookupShare& share);

  // Character tests; they decide the byte tables (see the class comment).
  // Base: bytes up to 32 (controls, zero byte, blank, line breaks).
  virtual bool IsBlank(char ch) const;
  // Base: ASCII punctuation, "!" through "/", ":" through "@", "[" through "`", "{" through "~".
  virtual bool IsSymbolChar(char ch) const;
  // Base: A-Z, a-z and "_". Bytes from 128 on are not letters: Pascal identifiers are ASCII,
  // and a class name written right beside non-ASCII text in a comment ("：TTable和TQuery")
  // must still come out as a word of its own.
  virtual bool IsAlpha(char ch) const;
  // Base: 0-9.
  virtual bool IsNumberChar(char ch) const;
  // Base: ' and ".
  virtual bool IsQuoteChar(char ch) const;
  // Base: none. Only consulted with the option QuotedIdents.
  virtual bool IsIdentQuote(char ch) const;

 private:
  struct CommentForm {
    std::string begin, end;
    bool line;
  };

  void Invalidate();
  void Prepare();
  std::unique_ptr<const TParserLookup> BuildLookup() const;
  size_t ScanQuoted(size_t pos, bool& closed) const;

  const char* text_;
  size_t size_;
  size_t pos_ = 0;
  size_t prev_ = 0;

  const rtl::TStringList* symbols_ = nullptr;
  const rtl::TStringList* keywords_ = nullptr;
  TCharSet symbolStart_;
  CommentForm blockComment_{};  // empty begin: none
  std::vector<CommentForm> moreComments_;
  bool skipBlanks_ = false;
  bool skipComments_ = false;
  bool quotedIdents_ = false;

  TLookupShare* share_ = nullptr;
  const TParserLookup* lookup_ = nullptr;  // the shared one or ownLookup_
  std::unique_ptr<const TParserLookup> ownLookup_;
};

}  // namespace zel
