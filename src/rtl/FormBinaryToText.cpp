// Binary component stream -> form text, laid out as the IDE writes it.
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "rtl/FormStreamValues.h"
#include "rtl/FormStreams.h"
#include "rtl/FormTextTokenizer.h"
#include "rtl/PascalString.h"

namespace rtl {

namespace {

using formstream::FloatKind;

// The IDE breaks string values into pieces of 64 characters and binary data into lines of 32
// bytes.
constexpr std::size_t kStringPieceChars = 64;
constexpr std::size_t kBinaryLineBytes = 32;

// Bounds-checked reading over the stream's bytes; every failure names the byte offset.
class BinaryInput {
 public:
  BinaryInput(std::string_view data, std::int64_t base) : data_(data), base_(base) {}

  std::size_t Pos() const { return pos_; }
  [[noreturn]] void FailAt(std::size_t at, std::string_view problem) const {
    throw EFormStreamError("Binary form stream: " + std::string(problem) + " at byte offset " +
                           std::to_string(base_ + static_cast<std::int64_t>(at)));
  }
  void Need(std::uint64_t count, const char* what) const {
    if (count > data_.size() - pos_)
      FailAt(data_.size(), std::string("stream ends inside ") + what);
  }
  unsigned Peek(const char* what) const {
    Need(1, what);
    return static_cast<unsigned char>(data_[pos_]);
  }
  unsigned Byte(const char* what) {
    const unsigned b = Peek(what);
    ++pos_;
    return b;
  }
  std::uint64_t Fixed(int bytes, const char* what) {
    Need(static_cast<std::uint64_t>(bytes), what);
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(data_[pos_ + i]);
    pos_ += static_cast<std::size_t>(bytes);
    return v;
  }
  std::string_view Take(std::uint64_t count, const char* what) {
    Need(count, what);
    std::string_view s = data_.substr(pos_, static_cast<std::size_t>(count));
    pos_ += static_cast<std::size_t>(count);
    return s;
  }
  std::string_view ShortString(const char* what) { return Take(Byte(what), what); }
  // Reads an integer of the given type; false when the type is not an integer type.
  bool Integer(unsigned type, std::int64_t& value, const char* what) {
    switch (static_cast<TValueType>(type)) {
      case TValueType::vaInt8:
        value = static_cast<std::int8_t>(Fixed(1, what));
        return true;
      case TValueType::vaInt16:
        value = static_cast<std::int16_t>(Fixed(2, what));
        return true;
      case TValueType::vaInt32:
        value = static_cast<std::int32_t>(Fixed(4, what));
        return true;
      case TValueType::vaInt64:
        value = static_cast<std::int64_t>(Fixed(8, what));
        return true;
      default:
        return false;
    }
  }

 private:
  std::string_view data_;
  std::int64_t base_;
  std::size_t pos_ = 0;
};

void AppendInt(std::string& out, std::int64_t v) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

// What a truncated stream ends inside, by frame kind.
constexpr const char* kWhat[] = {"a property list", "a list of child objects", "a list",
                                 "a collection", "a collection item"};

class BinaryToText {
 public:
  BinaryToText(std::string_view data, std::int64_t base, std::string& out)
      : in_(data, base), out_(out) {}

  // Returns the number of bytes the stream took.
  std::size_t Convert();

 private:
  enum class Kind { ObjectProperties, ObjectChildren, List, Collection, Item };
  struct Frame {
    Kind kind;
    int level;      // indentation level of the construct's first line
    bool endsLine;  // a property value: its line ends when the frame closes
  };

  void Indent(int level) { out_.append(static_cast<std::size_t>(2 * level), ' '); }
  void NewLine(int level) {
    out_ += "\r\n";
    Indent(level);
  }
  void Push(Kind kind, int level, bool endsLine) {
    if (stack_.size() >= static_cast<std::size_t>(kMaxFormNesting))
      in_.FailAt(in_.Pos(), "nesting deeper than " + std::to_string(kMaxFormNesting) + " levels");
    stack_.push_back({kind, level, endsLine});
  }
  std::string_view Name(const char* what, bool mayBeEmpty = false) {
    const std::size_t at = in_.Pos();
    std::string_view name = in_.ShortString(what);
    if (!(mayBeEmpty && name.empty()) && !formstream::IsFormName(name))
      in_.FailAt(at, std::string(what) + " '" + std::string(name) +
                         "' is not a name the form text can hold");
    return name;
  }

  // Child positions and item order values are 32-bit at most, as the IDE's reader takes them.
  bool SmallInteger(unsigned type, std::int64_t& value, const char* what) {
    return type != static_cast<unsigned>(TValueType::vaInt64) && in_.Integer(type, value, what);
  }

  void ObjectHeader(int level);
  void CollectionItem(int level);
  void Property(int level);
  // Writes one value; true when it opened a list or collection that a frame now finishes.
  bool Value(int level, bool inList);
  void Float(FloatKind kind, long double value, std::size_t at);
  template <typename Char>
  void String(const Char* s, std::size_t n, int level);
  void Binary(int level);

  BinaryInput in_;
  std::string& out_;
  std::vector<Frame> stack_;
};

std::size_t BinaryToText::Convert() {
  if (in_.Take(4, "the signature") != "TPF0") in_.FailAt(0, "missing signature TPF0");
  ObjectHeader(0);
  // One loop over an explicit stack, so nesting costs heap, not machine stack.
  while (!stack_.empty()) {
    const Frame f = stack_.back();
    // Every construct ends with a zero byte; what the text writes there depends on the kind.
    if (in_.Peek(kWhat[static_cast<int>(f.kind)]) != 0) {
      switch (f.kind) {
        case Kind::ObjectProperties:
        case Kind::Item:
          Property(f.level + 1);
          break;
        case Kind::ObjectChildren:
          ObjectHeader(f.level + 1);
          break;
        case Kind::List:
          NewLine(f.level + 1);
          Value(f.level + 1, true);
          break;
        case Kind::Collection:
          CollectionItem(f.level + 1);
          break;
      }
      continue;
    }
    in_.Byte("");
    if (f.kind == Kind::ObjectProperties) {
      stack_.back().kind = Kind::ObjectChildren;
      continue;
    }
    stack_.pop_back();
    if (f.kind == Kind::ObjectChildren || f.kind == Kind::Item) {
      Indent(f.level);
      out_ += f.kind == Kind::Item ? "end" : "end\r\n";
    } else {
      out_ += f.kind == Kind::List ? ')' : '>';
      if (f.endsLine) out_ += "\r\n";
    }
  }
  return in_.Pos();
}

void BinaryToText::CollectionItem(int level) {
  NewLine(level);
  out_ += "item";
  const std::size_t at = in_.Pos();
  const unsigned type = in_.Byte("a collection item");
  if (type != static_cast<unsigned>(TValueType::vaList)) {
    std::int64_t order;
    if (!SmallInteger(type, order, "an item order value"))
      in_.FailAt(at, "collection item starts with value type " + std::to_string(type) +
                         ", not a property list");
    out_ += " [";
    AppendInt(out_, order);
    out_ += ']';
    if (in_.Byte("a collection item") != static_cast<unsigned>(TValueType::vaList))
      in_.FailAt(in_.Pos() - 1, "collection item without a property list");
  }
  out_ += "\r\n";
  Push(Kind::Item, level, false);
}

void BinaryToText::ObjectHeader(int level) {
  unsigned flags = 0;
  std::int64_t childPos = 0;
  if ((in_.Peek("an object header") & 0xF0) == 0xF0) {
    flags = in_.Byte("") & 0x0F;
    if (flags & 2) {
      const std::size_t at = in_.Pos();
      const unsigned type = in_.Byte("a child position");
      if (!SmallInteger(type, childPos, "a child position"))
        in_.FailAt(at, "child position of value type " + std::to_string(type));
    }
  }
  const std::string_view className = Name("class name");
  const std::string_view name = Name("object name", true);
  Push(Kind::ObjectProperties, level, false);
  Indent(level);
  // An object both inherited and inline is written as inherited, as the IDE does.
  out_ += (flags & 1) ? "inherited " : (flags & 4) ? "inline " : "object ";
  if (!name.empty()) {
    out_ += name;
    out_ += ": ";
  }
  out_ += className;
  if (flags & 2) {
    out_ += " [";
    AppendInt(out_, childPos);
    out_ += ']';
  }
  out_ += "\r\n";
}

void BinaryToText::Property(int level) {
  const std::string_view name = Name("property name");
  Indent(level);
  out_ += name;
  out_ += " = ";
  if (!Value(level, false)) out_ += "\r\n";
}

bool BinaryToText::Value(int level, bool inList) {
  const std::size_t at = in_.Pos();
  const unsigned type = in_.Byte("a value");
  std::int64_t integer;
  if (in_.Integer(type, integer, "an integer")) {
    AppendInt(out_, integer);
    return false;
  }
  switch (static_cast<TValueType>(type)) {
    case TValueType::vaList:
      out_ += '(';
      Push(Kind::List, level, !inList);
      return true;
    case TValueType::vaCollection:
      out_ += '<';
      Push(Kind::Collection, level, !inList);
      return true;
    case TValueType::vaExtended: {
      auto bytes = in_.Take(10, "an extended float");
      auto value =
          formstream::ExtendedFromBytes(reinterpret_cast<const unsigned char*>(bytes.data()));
      Float(FloatKind::Extended, value.value_or(NAN), at);
      return false;
    }
    case TValueType::vaSingle: {
      const auto bits = static_cast<std::uint32_t>(in_.Fixed(4, "a single float"));
      float f;
      std::memcpy(&f, &bits, 4);
      Float(FloatKind::Single, f, at);
      out_ += 's';
      return false;
    }
    case TValueType::vaDate: {
      const std::uint64_t bits = in_.Fixed(8, "a date");
      double d;
      std::memcpy(&d, &bits, 8);
      Float(FloatKind::Date, d, at);
      out_ += 'd';
      return false;
    }
    case TValueType::vaCurrency:
      out_ +=
          formstream::FormatCurrency(static_cast<std::int64_t>(in_.Fixed(8, "a currency value")));
      out_ += 'c';
      return false;
    case TValueType::vaString: {
      const std::string_view s = in_.ShortString("a string");
      String(s.data(), s.size(), level);
      return false;
    }
    case TValueType::vaLString: {
      const std::string_view s = in_.Take(in_.Fixed(4, "a long string"), "a long string");
      String(s.data(), s.size(), level);
      return false;
    }
    case TValueType::vaWString: {
      const std::uint64_t count = in_.Fixed(4, "a wide string");
      const std::string_view bytes = in_.Take(count * 2, "a wide string");
      std::u16string units(count, u'\0');
      for (std::size_t i = 0; i < count; ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
      String(units.data(), units.size(), level);
      return false;
    }
    case TValueType::vaUTF8String: {
      const std::string_view bytes = in_.Take(in_.Fixed(4, "a UTF-8 string"), "a UTF-8 string");
      auto units = formstream::DecodeUtf8Units(bytes);
      if (!units) in_.FailAt(at, "UTF-8 string that is not valid UTF-8");
      String(units->data(), units->size(), level);
      return false;
    }
    case TValueType::vaIdent:
      out_ += Name("identifier");
      return false;
    case TValueType::vaFalse:
      out_ += "False";
      return false;
    case TValueType::vaTrue:
      out_ += "True";
      return false;
    case TValueType::vaNil:
      out_ += "nil";
      return false;
    case TValueType::vaNull:
      out_ += "Null";
      return false;
    case TValueType::vaSet: {
      out_ += '[';
      bool first = true;
      while (in_.Peek("a set") != 0) {
        if (!first) out_ += ", ";
        first = false;
        out_ += Name("set element");
      }
      in_.Byte("");
      out_ += ']';
      return false;
    }
    case TValueType::vaBinary:
      Binary(level);
      return false;
    default:
      in_.FailAt(at, "unknown value type " + std::to_string(type));
  }
}

void BinaryToText::Float(FloatKind kind, long double value, std::size_t at) {
  if (!std::isfinite(value))
    in_.FailAt(at, "infinite or NaN float, which the form text cannot hold");
  out_ += formstream::FormatFloat(value, kind);
}

// Quoted runs of printable characters and #nnn codes, in pieces of 64 characters joined by
// " +" at the line end. Byte strings keep bytes above 127 as they are (the form's code page);
// wide strings write every code above 127 as #nnn.
template <typename Char>
void BinaryToText::String(const Char* s, std::size_t n, int level) {
  AppendPascalLiteral(out_, s, n,
                      {.quoteAsCode = true,
                       .pieceChars = kStringPieceChars,
                       .pieceIndent = static_cast<std::size_t>(2 * (level + 1))});
}

void BinaryToText::Binary(int level) {
  static const char kHex[] = "0123456789ABCDEF";
  std::uint64_t count = in_.Fixed(4, "binary data");
  if (count > INT32_MAX) in_.FailAt(in_.Pos() - 4, "binary data with a negative size");
  const std::string_view bytes = in_.Take(count, "binary data");
  const bool multiLine = bytes.size() >= kBinaryLineBytes;
  out_ += '{';
  for (std::size_t i = 0; i < bytes.size(); i += kBinaryLineBytes) {
    if (multiLine) NewLine(level + 1);
    const std::size_t end = std::min(bytes.size(), i + kBinaryLineBytes);
    char line[2 * kBinaryLineBytes];
    char* p = line;
    for (std::size_t k = i; k < end; ++k) {
      const auto b = static_cast<unsigned char>(bytes[k]);
      *p++ = kHex[b >> 4];
      *p++ = kHex[b & 15];
    }
    out_.append(line, p);
  }
  out_ += '}';
}

}  // namespace

void ObjectBinaryToText(TStream& input, std::string& output) {
  const std::int64_t start = input.Position();
  const std::size_t oldSize = output.size();
  try {
    const std::string data = input.ReadRest();
    const std::size_t used = BinaryToText(data, start, output).Convert();
    input.Seek(start + static_cast<std::int64_t>(used));
  } catch (...) {
    // Leave no half-converted text and give the input back where it was.
    output.resize(oldSize);
    input.Seek(start);
    throw;
  }
}

}  // namespace rtl
