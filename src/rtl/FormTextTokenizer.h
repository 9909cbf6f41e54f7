// Tokens of the form text: identifiers (dotted), numbers, strings, binary data in braces and
// single characters. Internal to rtl/Form*.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/PascalString.h"

namespace rtl::formstream {

// A name the tokenizer reads back as one identifier: identifiers joined by single dots. Bytes
// above 127 count as letters, so any name a stream holds can be written.
bool IsFormName(std::string_view s);

enum class TokenKind { End, Symbol, Integer, Float, String, Binary, Char };

struct Token {
  TokenKind kind = TokenKind::End;
  std::size_t start = 0;   // offset of the token's first character
  std::string_view text;   // Symbol: the name; Float: the number without suffix; Binary: the hex
  char ch = 0;             // Char: the character; Float: the suffix (s, c, d) or 0
  std::int64_t value = 0;  // Integer
};

// A string token's value: bytes until a character code above 127 (#nnn) makes it wide.
using StringValue = TPascalString;

class FormTextTokenizer {
 public:
  explicit FormTextTokenizer(std::string_view text);

  const Token& Current() const { return token_; }
  void Next();

  // The current token is an identifier equal to the word, compared without regard to case.
  bool SymbolIs(std::string_view word) const;
  // The next character that is not a blank; 0 at the end of the text.
  char PeekChar() const;
  // Value of the current string token.
  const StringValue& String() const { return string_; }
  // Appends the bytes of the current binary token; raises on a bad hex digit or an odd count.
  void AppendBinary(std::string& out) const;

  // Raises EFormStreamError naming the problem and the line and column of the offset.
  [[noreturn]] void Fail(std::string_view problem) const { FailAt(token_.start, problem); }
  [[noreturn]] void FailAt(std::size_t offset, std::string_view problem) const;
  // The current token as messages name it: "'Caption'", "the end of the text", ...
  std::string Describe() const;

 private:
  void ScanSymbol();
  void ScanNumber();
  void ScanHexNumber();
  void ScanString();
  void ScanBinary();

  std::string_view text_;
  std::size_t pos_ = 0;
  Token token_;
  StringValue string_;
};

}  // namespace rtl::formstream
