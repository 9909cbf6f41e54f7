#include "rtl/FormTextTokenizer.h"

#include <array>

#include "rtl/FormStreams.h"

namespace rtl::formstream {

namespace {

// Control characters and the blank separate tokens, as in the IDE's parser.
bool IsBlank(unsigned char c) {
  return c <= ' ' && c != 0;
}
constexpr bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}
constexpr std::array<signed char, 256> kHexValues = [] {
  std::array<signed char, 256> t{};
  for (int c = 0; c < 256; ++c)
    t[static_cast<size_t>(c)] = static_cast<signed char>(c >= '0' && c <= '9'   ? c - '0'
                                                         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                         : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                                                : -1);
  return t;
}();
int HexValue(unsigned char c) {
  return kHexValues[c];
}
constexpr bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}
constexpr bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || IsDigit(c);
}

}  // namespace

bool IsFormName(std::string_view s) {
  // 1: may start a segment, 2: may go on in one, 4: a dot between segments.
  static constexpr auto kKinds = [] {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 256; ++c) {
      const auto u = static_cast<unsigned char>(c);
      t[u] = static_cast<unsigned char>((IsNameStart(u) ? 1 : 0) | (IsNameChar(u) ? 2 : 0) |
                                        (c == '.' ? 4 : 0));
    }
    return t;
  }();
  bool segmentStart = true;
  for (unsigned char c : s) {
    const unsigned char kind = kKinds[c];
    if (segmentStart) {
      if (!(kind & 1)) return false;
      segmentStart = false;
    } else if (kind & 4) {
      segmentStart = true;
    } else if (!(kind & 2)) {
      return false;
    }
  }
  return !segmentStart;
}

namespace {

std::string CharText(unsigned char c) {
  if (c > ' ' && c < 127) return std::string("'") + static_cast<char>(c) + "'";
  return "character #" + std::to_string(c);
}

}  // namespace

FormTextTokenizer::FormTextTokenizer(std::string_view text) : text_(text) {
  Next();
}

void FormTextTokenizer::Next() {
  while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  token_ = Token();
  token_.start = pos_;
  if (pos_ >= text_.size()) return;
  const unsigned char c = text_[pos_];
  if (IsNameStart(c)) {
    ScanSymbol();
  } else if (IsDigit(c) || (c == '-' && pos_ + 1 < text_.size() && IsDigit(text_[pos_ + 1]))) {
    ScanNumber();
  } else if (c == '$') {
    ScanHexNumber();
  } else if (c == '\'' || c == '#') {
    ScanString();
  } else if (c == '{') {
    ScanBinary();
  } else {
    token_.kind = TokenKind::Char;
    token_.ch = static_cast<char>(c);
    ++pos_;
  }
}

void FormTextTokenizer::ScanSymbol() {
  const std::size_t start = pos_;
  while (true) {
    while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
    // A dot joins names only when a name follows at once ("Font.Name", "DataModule1.Query1").
    if (pos_ + 1 < text_.size() && text_[pos_] == '.' && IsNameStart(text_[pos_ + 1]))
      ++pos_;
    else
      break;
  }
  token_.kind = TokenKind::Symbol;
  token_.text = text_.substr(start, pos_ - start);
}

void FormTextTokenizer::ScanNumber() {
  const std::size_t start = pos_;
  bool negative = text_[pos_] == '-';
  if (negative) ++pos_;
  const std::size_t digitsStart = pos_;
  while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
  bool isFloat = false;
  if (pos_ < text_.size() && text_[pos_] == '.') {
    isFloat = true;
    ++pos_;
    while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
  }
  if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
    isFloat = true;
    ++pos_;
    if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
    if (pos_ >= text_.size() || !IsDigit(text_[pos_])) FailAt(start, "malformed number");
    while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
  }
  const std::size_t end = pos_;
  if (pos_ < text_.size()) {
    const char suffix = text_[pos_];
    if (suffix == 's' || suffix == 'S' || suffix == 'c' || suffix == 'C' || suffix == 'd' ||
        suffix == 'D') {
      isFloat = true;
      token_.ch = static_cast<char>(suffix | 0x20);
      ++pos_;
    }
  }
  if (isFloat) {
    token_.kind = TokenKind::Float;
    token_.text = text_.substr(start, end - start);
    return;
  }
  std::uint64_t magnitude = 0;
  for (std::size_t i = digitsStart; i < end; ++i) {
    const unsigned digit = text_[i] - '0';
    if (magnitude > (UINT64_MAX - digit) / 10) FailAt(start, "integer out of range");
    magnitude = magnitude * 10 + digit;
  }
  const std::uint64_t limit = negative ? (std::uint64_t{1} << 63) : INT64_MAX;
  if (magnitude > limit) FailAt(start, "integer out of range");
  token_.kind = TokenKind::Integer;
  token_.text = text_.substr(start, end - start);
  token_.value =
      negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

void FormTextTokenizer::ScanHexNumber() {
  const std::size_t start = pos_++;
  std::uint64_t value = 0;
  int digits = 0;
  for (int d; pos_ < text_.size() && (d = HexValue(text_[pos_])) >= 0; ++pos_, ++digits)
    value = value << 4 | static_cast<unsigned>(d);
  if (digits == 0 || digits > 16) FailAt(start, "malformed hexadecimal number");
  token_.kind = TokenKind::Integer;
  token_.text = text_.substr(start, pos_ - start);
  // Sixteen digits wrap into the negative range, as the platform reads them.
  token_.value = static_cast<std::int64_t>(value);
}

void FormTextTokenizer::ScanString() {
  string_.Clear();
  token_.kind = TokenKind::String;
  const TLiteralResult r = ReadPascalLiteral(text_, pos_, string_);
  switch (r.error) {
    case TLiteralError::None:
    case TLiteralError::NotALiteral:  // Next() comes here only at a quote or "#"
      return;
    case TLiteralError::Unterminated:
      FailAt(r.at, "unterminated string");
    case TLiteralError::NoCode:
      FailAt(r.at, "'#' without a character code");
    case TLiteralError::CodeTooLarge:
      FailAt(r.at, "character code above 65535");
  }
}

void FormTextTokenizer::ScanBinary() {
  const std::size_t open = pos_++;
  const std::size_t close = text_.find('}', pos_);
  if (close == std::string_view::npos) FailAt(open, "binary data without a closing '}'");
  token_.kind = TokenKind::Binary;
  token_.text = text_.substr(pos_, close - pos_);
  pos_ = close + 1;
}

void FormTextTokenizer::AppendBinary(std::string& out) const {
  const std::string_view hex = token_.text;
  const std::size_t base = token_.start + 1;
  // Written through a pointer into room made beforehand; cut to what was written at the end.
  const std::size_t before = out.size();
  out.resize(before + hex.size() / 2 + 1);
  char* w = out.data() + before;
  int high = -1;
  std::size_t highAt = 0;
  for (std::size_t i = 0; i < hex.size(); ++i) {
    // Pairs of digits, the bulk of a line, go into a byte each at once.
    if (high < 0)
      for (int a, b;
           i + 1 < hex.size() && (a = HexValue(static_cast<unsigned char>(hex[i]))) >= 0 &&
           (b = HexValue(static_cast<unsigned char>(hex[i + 1]))) >= 0;
           i += 2)
        *w++ = static_cast<char>(a << 4 | b);
    if (i >= hex.size()) break;
    const unsigned char c = hex[i];
    const int d = HexValue(c);
    if (d < 0) {
      if (IsBlank(c)) continue;
      out.resize(before);
      FailAt(base + i, "binary data holds " + CharText(c));
    }
    if (high < 0) {
      high = d;
      highAt = base + i;
    } else {
      *w++ = static_cast<char>(high << 4 | d);
      high = -1;
    }
  }
  out.resize(static_cast<std::size_t>(w - out.data()));
  if (high >= 0) FailAt(highAt, "binary data with an odd number of hexadecimal digits");
}

bool FormTextTokenizer::SymbolIs(std::string_view word) const {
  if (token_.kind != TokenKind::Symbol || token_.text.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if ((token_.text[i] | 0x20) != (word[i] | 0x20)) return false;
  return true;
}

char FormTextTokenizer::PeekChar() const {
  std::size_t p = pos_;
  while (p < text_.size() && IsBlank(text_[p])) ++p;
  return p < text_.size() ? text_[p] : 0;
}

std::string FormTextTokenizer::Describe() const {
  switch (token_.kind) {
    case TokenKind::End:
      return "the end of the text";
    case TokenKind::Symbol:
      return "'" + std::string(token_.text) + "'";
    case TokenKind::Integer:
    case TokenKind::Float:
      return "the number " + std::string(token_.text);
    case TokenKind::String:
      return "a string";
    case TokenKind::Binary:
      return "binary data";
    case TokenKind::Char:
      return CharText(static_cast<unsigned char>(token_.ch));
  }
  return {};
}

void FormTextTokenizer::FailAt(std::size_t offset, std::string_view problem) const {
  // Line and column are counted only here, so scanning stays a plain walk over the bytes.
  std::size_t line = 1, lineStart = 0;
  for (std::size_t i = 0; i < offset && i < text_.size(); ++i) {
    const char c = text_[i];
    if (c == '\n' || (c == '\r' && (i + 1 >= text_.size() || text_[i + 1] != '\n'))) {
      ++line;
      lineStart = i + 1;
    }
  }
  throw EFormStreamError("Form text: " + std::string(problem) + " at line " + std::to_string(line) +
                         ", column " + std::to_string(offset - lineStart + 1));
}

}  // namespace rtl::formstream
