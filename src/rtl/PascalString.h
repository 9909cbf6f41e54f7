// Pascal string literals as units and form text write them: quoted runs with a doubled quote
// standing for one ('It''s'), character codes (#13, #$0D), pieces joined directly and, where the
// caller lets them, by "+". One reader and one writer for every place that handles them.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

// The form stream conversions run the reader and the writer for every string value; inlined into
// them, the syntax and layout constants fold away and no call is left per token.
#if defined(__GNUC__) || defined(__clang__)
#define RTL_PASCAL_STRING_INLINE [[gnu::always_inline]] inline
#else
#define RTL_PASCAL_STRING_INLINE inline
#endif

namespace rtl {

// A decoded literal that holds bytes while no character code above 127 occurs and UTF-16 units
// from the first one on. Quoted bytes are in the text's code page, where only ASCII means the
// same everywhere; in a wide string they count as the characters of the same code.
struct TPascalString {
  bool wide = false;
  std::string bytes;     // while narrow
  std::u16string units;  // once wide

  void Clear() {
    wide = false;
    bytes.clear();
    units.clear();
  }
  void Widen();
  void Append(const TPascalString& other);
};

enum class TLiteralError {
  None,
  NotALiteral,   // no quote or "#" where a piece must start
  Unterminated,  // a quote without its closing quote
  NoCode,        // "#" without digits
  CodeTooLarge,  // a code the result cannot hold: above 255 for bytes, 65535 for UTF-16
};

struct TLiteralResult {
  TLiteralError error = TLiteralError::None;
  std::size_t at = 0;  // offset of the failing piece's quote or "#"
  explicit operator bool() const { return error == TLiteralError::None; }
};

struct TLiteralSyntax {
  // The form parser's grammar lets a quoted run go over line ends; units and the form stream
  // reader end a literal there.
  bool lineBreaksInQuotes = false;
  // Pieces joined by "+" with blanks (space, tab, CR, LF) around it, as the form writer breaks
  // long strings across lines.
  bool plusJoins = false;
};

namespace pascalstring {

// Where the pieces go: bytes, UTF-16 units, or a TPascalString that widens on demand.
struct ByteSink {
  static constexpr std::uint32_t kMaxCode = 0xFF;
  std::string& out;
  void Quoted(std::string_view s) { out += s; }
  void Code(std::uint32_t c) { out += static_cast<char>(c); }
};
struct UnitSink {
  static constexpr std::uint32_t kMaxCode = 0xFFFF;
  std::u16string& out;
  void Quoted(std::string_view s) {
    for (unsigned char b : s) out += static_cast<char16_t>(b);
  }
  void Code(std::uint32_t c) { out += static_cast<char16_t>(c); }
};
struct ValueSink {
  static constexpr std::uint32_t kMaxCode = 0xFFFF;
  TPascalString& out;
  void Quoted(std::string_view s) {
    if (!out.wide)
      out.bytes += s;
    else
      for (unsigned char b : s) out.units += static_cast<char16_t>(b);
  }
  void Code(std::uint32_t c) {
    if (c > 127) out.Widen();
    if (out.wide)
      out.units += static_cast<char16_t>(c);
    else
      out.bytes += static_cast<char>(c);
  }
};
inline ByteSink SinkFor(std::string& out) {
  return {out};
}
inline UnitSink SinkFor(std::u16string& out) {
  return {out};
}
inline ValueSink SinkFor(TPascalString& out) {
  return {out};
}

inline int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hex) return -1;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

inline bool IsJoinBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Quoted runs and codes written next to each other, from `pos` on; `pos` ends after the last.
template <typename Sink>
RTL_PASCAL_STRING_INLINE TLiteralResult ReadPieces(std::string_view text, std::size_t& pos,
                                                   Sink sink, bool lineBreaks) {
  std::size_t p = pos;
  const std::size_t n = text.size();
  if (p >= n || (text[p] != '\'' && text[p] != '#')) return {TLiteralError::NotALiteral, p};
  while (p < n) {
    const char c = text[p];
    if (c == '\'') {
      const std::size_t quote = p++;
      while (true) {
        std::size_t run = p;
        while (run < n && text[run] != '\'' &&
               (lineBreaks || (text[run] != '\r' && text[run] != '\n')))
          ++run;
        if (run >= n || text[run] != '\'') return {TLiteralError::Unterminated, quote};
        // A doubled quote stands for one: it goes out with the run before it.
        if (run + 1 < n && text[run + 1] == '\'') {
          sink.Quoted(text.substr(p, run + 1 - p));
          p = run + 2;
        } else {
          sink.Quoted(text.substr(p, run - p));
          p = run + 1;
          break;
        }
      }
    } else if (c == '#') {
      const std::size_t hash = p++;
      const bool hex = p < n && text[p] == '$';
      if (hex) ++p;
      std::uint32_t code = 0;
      const std::size_t digits = p;
      for (int d; p < n && (d = DigitValue(text[p], hex)) >= 0; ++p) {
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
        if (code > Sink::kMaxCode) return {TLiteralError::CodeTooLarge, hash};
      }
      if (p == digits) return {TLiteralError::NoCode, hash};
      sink.Code(code);
    } else {
      break;
    }
  }
  pos = p;
  return {};
}

}  // namespace pascalstring

// Reads the literal at `pos` and appends its characters to `out` (std::string: bytes, codes
// above 255 fail; std::u16string: one unit per quoted byte or code; TPascalString). On success
// `pos` ends after the literal, before any blanks that follow it; on failure its value is
// unspecified and `out` may hold part of the literal.
template <typename Out>
RTL_PASCAL_STRING_INLINE TLiteralResult ReadPascalLiteral(std::string_view text, std::size_t& pos,
                                                          Out& out, TLiteralSyntax syntax = {}) {
  auto sink = pascalstring::SinkFor(out);
  for (;;) {
    const TLiteralResult r = pascalstring::ReadPieces(text, pos, sink, syntax.lineBreaksInQuotes);
    if (!r || !syntax.plusJoins) return r;
    std::size_t j = pos;
    while (j < text.size() && pascalstring::IsJoinBlank(text[j])) ++j;
    if (j >= text.size() || text[j] != '+') return r;
    for (++j; j < text.size() && pascalstring::IsJoinBlank(text[j]);) ++j;
    pos = j;
  }
}

// The bytes of a literal that is the whole of `literal`; false when it is not one.
bool DecodePascalLiteral(std::string_view literal, std::string& out, TLiteralSyntax syntax = {});

struct TLiteralLayout {
  // A quote written as #39, as the form writer does, rather than doubled inside the quotes.
  bool quoteAsCode = false;
  // Pieces of at most this many characters, each after the first on a line of its own behind
  // " +" at the end of the one before; 0 keeps the literal whole. A literal longer than one
  // piece starts on a line of its own as well.
  std::size_t pieceChars = 0;
  // Blanks in front of a piece on a line of its own.
  std::size_t pieceIndent = 0;
};

// Appends the literal of the characters (char: bytes; char16_t: UTF-16 units): runs of
// printable characters quoted, the others as #nnn. Control characters are not printable, nor,
// in UTF-16, anything above 127, so a wide literal holds only ASCII. No characters give ''.
template <typename Char>
RTL_PASCAL_STRING_INLINE void AppendPascalLiteral(std::string& out, const Char* s, std::size_t n,
                                                  const TLiteralLayout& layout = {}) {
  using Unit = std::make_unsigned_t<Char>;
  constexpr bool kWide = sizeof(Char) > 1;
  if (n == 0) {
    out += "''";
    return;
  }
  const bool quoteAsCode = layout.quoteAsCode;
  auto printable = [quoteAsCode](Char c) {
    const auto u = static_cast<Unit>(c);
    return u >= ' ' && (u != '\'' || !quoteAsCode) && (!kWide || u <= 127);
  };
  auto newLine = [&] {
    out += "\r\n";
    out.append(layout.pieceIndent, ' ');
  };
  const std::size_t piece = layout.pieceChars ? layout.pieceChars : n;
  if (n > piece) newLine();
  std::size_t i = 0, lineStart = 0;
  while (i < n) {
    if (printable(s[i])) {
      const std::size_t j = i;
      do ++i;
      while (i < n && printable(s[i]) && i - lineStart < piece);
      out += '\'';
      bool copied = false;
      if constexpr (!kWide) {
        if (quoteAsCode) {
          out.append(s + j, i - j);
          copied = true;
        }
      }
      if (!copied) {
        for (std::size_t k = j; k < i; ++k) {
          out += static_cast<char>(s[k]);
          if (!quoteAsCode && s[k] == '\'') out += '\'';
        }
      }
      out += '\'';
    } else {
      char digits[8];
      const auto end = std::to_chars(digits, digits + sizeof digits,
                                     static_cast<unsigned>(static_cast<Unit>(s[i])));
      out += '#';
      out.append(digits, end.ptr);
      ++i;
    }
    if (i - lineStart >= piece && i < n) {
      out += " +";
      newLine();
      lineStart = i;
    }
  }
}

}  // namespace rtl
