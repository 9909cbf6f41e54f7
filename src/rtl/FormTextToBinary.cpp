// Form text -> binary component stream.
#include <cstring>
#include <optional>
#include <vector>

#include "rtl/FormStreamValues.h"
#include "rtl/FormStreams.h"
#include "rtl/FormTextTokenizer.h"

namespace rtl {

namespace {

using formstream::FloatKind;
using formstream::FormTextTokenizer;
using formstream::StringValue;
using formstream::TokenKind;

constexpr std::size_t kMaxShortString = 255;

// Little-endian output buffer; the whole stream is written to the target in one piece.
class BinaryBuilder {
 public:
  void Byte(unsigned value) { out_ += static_cast<char>(value); }
  void Value(TValueType type) { Byte(static_cast<unsigned>(type)); }
  void Fixed(std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) Byte(static_cast<unsigned>(value >> (8 * i)) & 0xFF);
  }
  void Bytes(std::string_view bytes) { out_ += bytes; }
  void ShortString(std::string_view s) {
    Byte(static_cast<unsigned>(s.size()));
    Bytes(s);
  }
  // The smallest integer type that holds the value, as the IDE's writer picks it.
  void Integer(std::int64_t v) {
    if (v >= INT8_MIN && v <= INT8_MAX) {
      Value(TValueType::vaInt8);
      Fixed(static_cast<std::uint64_t>(v), 1);
    } else if (v >= INT16_MIN && v <= INT16_MAX) {
      Value(TValueType::vaInt16);
      Fixed(static_cast<std::uint64_t>(v), 2);
    } else if (v >= INT32_MIN && v <= INT32_MAX) {
      Value(TValueType::vaInt32);
      Fixed(static_cast<std::uint64_t>(v), 4);
    } else {
      Value(TValueType::vaInt64);
      Fixed(static_cast<std::uint64_t>(v), 8);
    }
  }
  std::string& Buffer() { return out_; }

 private:
  std::string out_;
};

class TextToBinary {
 public:
  explicit TextToBinary(std::string_view text) : tok_(text) {}

  std::string Convert();

 private:
  enum class Frame { ObjectProperties, ObjectChildren, List, Collection, Item };

  bool AtKeyword(std::string_view word) const {
    // A keyword followed by "=" is a property of that name.
    return tok_.SymbolIs(word) && tok_.PeekChar() != '=';
  }
  bool AtObjectKeyword() const {
    return AtKeyword("object") || AtKeyword("inherited") || AtKeyword("inline");
  }
  bool AtChar(char c) const {
    return tok_.Current().kind == TokenKind::Char && tok_.Current().ch == c;
  }
  void Expect(char c, std::string_view where) {
    if (!AtChar(c))
      tok_.Fail("expected '" + std::string(1, c) + "' " + std::string(where) + " but found " +
                tok_.Describe());
    tok_.Next();
  }
  std::string_view ExpectName(std::string_view what) {
    if (tok_.Current().kind != TokenKind::Symbol)
      tok_.Fail("expected " + std::string(what) + " but found " + tok_.Describe());
    const std::string_view name = tok_.Current().text;
    if (name.size() > kMaxShortString) tok_.Fail(std::string(what) + " longer than 255 characters");
    return name;
  }
  void Push(Frame frame) {
    if (stack_.size() >= static_cast<std::size_t>(kMaxFormNesting))
      tok_.Fail("nesting deeper than " + std::to_string(kMaxFormNesting) + " levels");
    stack_.push_back(frame);
  }

  // The zero byte that ends the construct of the innermost frame.
  void Close() {
    out_.Byte(0);
    tok_.Next();
    stack_.pop_back();
  }
  std::int64_t SmallInteger(std::string_view what) {
    if (tok_.Current().kind != TokenKind::Integer)
      tok_.Fail("expected " + std::string(what) + " but found " + tok_.Describe());
    const std::int64_t value = tok_.Current().value;
    // The IDE's reader takes these as 32-bit integers.
    if (value < INT32_MIN || value > INT32_MAX) tok_.Fail(std::string(what) + " out of range");
    tok_.Next();
    return value;
  }

  void ObjectHeader();
  void Property();
  void Value(bool inList);
  void FloatValue();
  void StringValueOut();
  void SymbolValue(bool inList);
  void SetValue();
  void CollectionItem();

  FormTextTokenizer tok_;
  BinaryBuilder out_;
  std::vector<Frame> stack_;
  StringValue string_;
};

std::string TextToBinary::Convert() {
  out_.Bytes("TPF0");
  if (!AtObjectKeyword())
    tok_.Fail("expected 'object', 'inherited' or 'inline' but found " + tok_.Describe());
  ObjectHeader();
  // One loop over an explicit stack, so nesting costs heap, not machine stack.
  while (!stack_.empty()) {
    const Frame frame = stack_.back();
    if (frame == Frame::ObjectProperties || frame == Frame::ObjectChildren) {
      const bool inProperties = frame == Frame::ObjectProperties;
      if (AtObjectKeyword()) {
        if (inProperties) {
          out_.Byte(0);
          stack_.back() = Frame::ObjectChildren;
        }
        ObjectHeader();
      } else if (AtKeyword("end")) {
        if (inProperties) out_.Byte(0);  // and an empty list of children
        Close();
      } else if (inProperties) {
        Property();
      } else {
        tok_.Fail("expected a child object or 'end' but found " + tok_.Describe());
      }
      continue;
    }
    const bool closes = frame == Frame::List         ? AtChar(')')
                        : frame == Frame::Collection ? AtChar('>')
                                                     : AtKeyword("end");
    if (closes)
      Close();
    else if (frame == Frame::List)
      Value(true);
    else if (frame == Frame::Collection)
      CollectionItem();
    else
      Property();
  }
  if (tok_.Current().kind != TokenKind::End)
    tok_.Fail("text after the end of the form: " + tok_.Describe());
  return std::move(out_.Buffer());
}

void TextToBinary::ObjectHeader() {
  unsigned flags = tok_.SymbolIs("inherited") ? 1 : tok_.SymbolIs("inline") ? 4 : 0;
  tok_.Next();
  std::string_view name, className = ExpectName("an object name or class name");
  tok_.Next();
  if (AtChar(':')) {
    tok_.Next();
    name = className;
    className = ExpectName("a class name");
    tok_.Next();
  }
  std::int64_t childPos = 0;
  if (AtChar('[')) {
    tok_.Next();
    childPos = SmallInteger("a child position");
    Expect(']', "after the child position");
    flags |= 2;
  }
  if (flags != 0) {
    out_.Byte(0xF0 | flags);
    if (flags & 2) out_.Integer(childPos);
  }
  out_.ShortString(className);
  out_.ShortString(name);
  Push(Frame::ObjectProperties);
}

void TextToBinary::Property() {
  out_.ShortString(ExpectName("a property name"));
  tok_.Next();
  Expect('=', "after the property name");
  Value(false);
}

void TextToBinary::Value(bool inList) {
  const auto& t = tok_.Current();
  switch (t.kind) {
    case TokenKind::Integer:
      out_.Integer(t.value);
      tok_.Next();
      return;
    case TokenKind::Float:
      FloatValue();
      return;
    case TokenKind::String:
      StringValueOut();
      return;
    case TokenKind::Symbol:
      SymbolValue(inList);
      return;
    case TokenKind::Binary: {
      out_.Value(TValueType::vaBinary);
      std::string& buf = out_.Buffer();
      const std::size_t sizeAt = buf.size();
      out_.Fixed(0, 4);
      tok_.AppendBinary(buf);
      const std::size_t size = buf.size() - sizeAt - 4;
      if (size > INT32_MAX) tok_.Fail("binary data larger than 2 GB");
      for (int i = 0; i < 4; ++i) buf[sizeAt + i] = static_cast<char>(size >> (8 * i));
      tok_.Next();
      return;
    }
    case TokenKind::Char:
      if (t.ch == '[') {
        SetValue();
        return;
      }
      if (t.ch == '(') {
        out_.Value(TValueType::vaList);
        tok_.Next();
        Push(Frame::List);
        return;
      }
      if (t.ch == '<') {
        out_.Value(TValueType::vaCollection);
        tok_.Next();
        Push(Frame::Collection);
        return;
      }
      break;
    case TokenKind::End:
      break;
  }
  tok_.Fail(std::string(inList ? "expected a list item or ')'" : "expected a property value") +
            " but found " + tok_.Describe());
}

void TextToBinary::FloatValue() {
  const auto& t = tok_.Current();
  if (t.ch == 'c') {
    auto units = formstream::ParseCurrency(t.text);
    if (!units) tok_.Fail("currency value " + std::string(t.text) + " out of range");
    out_.Value(TValueType::vaCurrency);
    out_.Fixed(static_cast<std::uint64_t>(*units), 8);
    tok_.Next();
    return;
  }
  const FloatKind kind = t.ch == 's'   ? FloatKind::Single
                         : t.ch == 'd' ? FloatKind::Date
                                       : FloatKind::Extended;
  auto value = formstream::ParseFloat(t.text, kind);
  if (!value) tok_.Fail("float value " + std::string(t.text) + " out of range");
  if (kind == FloatKind::Single) {
    const float f = static_cast<float>(*value);
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    out_.Value(TValueType::vaSingle);
    out_.Fixed(bits, 4);
  } else if (kind == FloatKind::Date) {
    const double d = static_cast<double>(*value);
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    out_.Value(TValueType::vaDate);
    out_.Fixed(bits, 8);
  } else {
    unsigned char bytes[10];
    formstream::ExtendedToBytes(*value, bytes);
    out_.Value(TValueType::vaExtended);
    out_.Bytes(std::string_view(reinterpret_cast<const char*>(bytes), 10));
  }
  tok_.Next();
}

void TextToBinary::StringValueOut() {
  string_.Clear();
  string_.Append(tok_.String());
  tok_.Next();
  while (AtChar('+')) {
    tok_.Next();
    if (tok_.Current().kind != TokenKind::String)
      tok_.Fail("expected a string after '+' but found " + tok_.Describe());
    string_.Append(tok_.String());
    tok_.Next();
  }
  if (!string_.wide) {
    const std::string& s = string_.bytes;
    if (s.size() <= kMaxShortString) {
      out_.Value(TValueType::vaString);
      out_.ShortString(s);
    } else {
      if (s.size() > INT32_MAX) tok_.Fail("string longer than 2 GB");
      out_.Value(TValueType::vaLString);
      out_.Fixed(s.size(), 4);
      out_.Bytes(s);
    }
    return;
  }
  const std::u16string& units = string_.units;
  if (units.size() > INT32_MAX / 3) tok_.Fail("string longer than 2 GB");
  // Wide strings take the shorter of UTF-8 and UTF-16, as the IDE's writer stores them.
  std::string utf8 = formstream::EncodeUtf8Units(units);
  if (utf8.size() < units.size() * 2) {
    out_.Value(TValueType::vaUTF8String);
    out_.Fixed(utf8.size(), 4);
    out_.Bytes(utf8);
  } else {
    out_.Value(TValueType::vaWString);
    out_.Fixed(units.size(), 4);
    for (char16_t u : units) out_.Fixed(u, 2);
  }
}

void TextToBinary::SymbolValue(bool inList) {
  if (tok_.SymbolIs("True")) {
    out_.Value(TValueType::vaTrue);
  } else if (tok_.SymbolIs("False")) {
    out_.Value(TValueType::vaFalse);
  } else if (tok_.SymbolIs("nil")) {
    out_.Value(TValueType::vaNil);
  } else if (tok_.SymbolIs("Null")) {
    // Its byte is the list terminator: inside a list it would cut the list short.
    if (inList) tok_.Fail("Null cannot be an item of a list");
    out_.Value(TValueType::vaNull);
  } else {
    out_.Value(TValueType::vaIdent);
    out_.ShortString(ExpectName("an identifier"));
  }
  tok_.Next();
}

void TextToBinary::SetValue() {
  tok_.Next();
  out_.Value(TValueType::vaSet);
  if (!AtChar(']')) {
    while (true) {
      out_.ShortString(ExpectName("a set element"));
      tok_.Next();
      if (AtChar(']')) break;
      Expect(',', "between set elements");
    }
  }
  out_.Byte(0);
  tok_.Next();
}

void TextToBinary::CollectionItem() {
  if (!tok_.SymbolIs("item")) tok_.Fail("expected 'item' or '>' but found " + tok_.Describe());
  tok_.Next();
  if (AtChar('[')) {
    tok_.Next();
    out_.Integer(SmallInteger("an item order value"));
    Expect(']', "after the item order value");
  }
  out_.Value(TValueType::vaList);
  Push(Frame::Item);
}

}  // namespace

void ObjectTextToBinary(std::string_view text, TStream& output) {
  std::string binary = TextToBinary(text).Convert();
  output.Write(binary);
}

}  // namespace rtl
