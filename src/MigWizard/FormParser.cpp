#include "MigWizard/FormParser.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <typeinfo>
#include <vector>

#include "rtl/ClassRegistry.h"
#include "rtl/PascalString.h"

namespace migwiz {

namespace {

// The form text grammar; the start nonterminal is "<object>".
const char* const kFormRules[] = {
    // The alternative with a name sorts before the one without ("<obj_n" > "<obj_c"), so a
    // named header never parses as an unnamed one that stops at its name.
    "<obj_header>-<keyword><*delim><obj_name><empty_delim>:<empty_delim><obj_class>|"
    "<keyword><*delim><obj_class>",
    "<obj_class>-<obj_type><empty_delim><obj_index>|<obj_type>",
    "<obj_index>-[<empty_delim><int><empty_delim>]",
    "<obj_name>-<name>",
    "<obj_type>-<name>",
    "<object>-<obj_header><*delim><properties>end<empty_delim>|<obj_header><*delim>end<empty_"
    "delim>",
    "<keyword>-object|inherited|inline",
    "<name>-<*char><char_or_digit_l>",
    "<char_or_digit_l>-<*chars_or_digits>|",
    "<properties>-<prop>|<nested_obj>|<prop><properties>|<nested_obj><properties>",
    "<nested_obj>-<object>",
    "<prop>-<full_prop_name><empty_delim>=<empty_delim><prop_value><*delim>",
    "<full_prop_name>-<prop_name>",
    "<prop_value>-<value>",
    "<prop_name>-<name>|<name>.<prop_name>",
    "<empty_delim>-<*delim>|",
    // <typed_number> sorts before <number> ("<t" > "<n"), so a number with a type suffix is
    // not taken as the number alone.
    "<value>-<typed_number>|<number>|<const>|<string>|<string2>|<strings>|<numbers>|<set>|"
    "<collection>|<binary>|<name>.<name>",
    "<sign>-+|-|",
    "<int>-<sign><*digits>",
    "<fixed_point>-<int>.<*digits>",
    "<float>-<fixed_point>e<int>|<int>e<int>",
    "<number>-<sign><*digits>.<*digits>e<int>|<sign><*digits>e<int>|<sign><*digits>.<*digits>|"
    "<sign><*digits>",
    // A single, a currency or a date: "1.5s", "125000c", "37774.9583333333d".
    "<typed_number>-<number>s|<number>c|<number>d",
    "<symbols>-<*symbols>|",
    "<byte>-#<*digits>",
    "<bytes>-<byte>|<byte><bytes>",
    "<string>-'<symbols>'|<bytes>|<bytes><string>|'<symbols>'<string>",
    "<string2>-<string>|<empty_delim><string><empty_delim>+<empty_delim><string2>",
    "<const>-<name>",
    "<number_list>-<number>|<number><*delim><number_list>|",
    "<numbers>-(<empty_delim><number_list><empty_delim>)",
    "<string_list>-<string2>|<string2><*delim><string_list>|",
    "<strings>-(<empty_delim><string_list><empty_delim>)",
    "<set_items>-<name>|<name><empty_delim>,<empty_delim><set_items>",
    "<set>-[<empty_delim>]|[<empty_delim><set_items><empty_delim>]",
    "<item_prop>-<prop_name><empty_delim>=<empty_delim><value>",
    "<item_props>-<item_prop><*delim><item_props>|<item_prop><*delim>|<*delim>",
    "<col_item>-item<*delim><item_props>end",
    "<col_items>-<col_item><*delim><col_items>|<col_item>|",
    "<collection>-\\60<empty_delim><col_items><empty_delim>\\62",
    "<binary>-{<empty_delim><hex_list><empty_delim>}",
    "<hex_list>-<*hexs>|<*hexs><*delim><hex_list>|",
};

// <string> without the grammar: quoted parts ('...', or '' for none) and #nn bytes, as many as
// follow one another, the way its rules match them.
int MatchString(std::string_view text, int pos) {
  if (pos < 1) return -1;
  const size_t n = text.size();
  const size_t start = static_cast<size_t>(pos) - 1;
  size_t p = start;
  while (p < n) {
    size_t q = p + 1;
    if (text[p] == '\'') {
      while (q < n && text[q] != '\'' && text[q] != '\0') ++q;
      if (q >= n || text[q] != '\'') break;
      p = q + 1;
    } else if (text[p] == '#') {
      while (q < n && text[q] >= '0' && text[q] <= '9') ++q;
      if (q == p + 1) break;
      p = q;
    } else {
      break;
    }
  }
  return p == start ? -1 : static_cast<int>(p + 1);
}

bool IsDelim(char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9');
}

// <name> without the grammar: a letter or "_", then letters, digits and "_".
int MatchName(std::string_view text, int pos) {
  if (pos < 1 || static_cast<size_t>(pos) > text.size() || !IsNameStart(text[pos - 1])) return -1;
  size_t p = static_cast<size_t>(pos);
  while (p < text.size() && IsNameChar(text[p])) ++p;
  return static_cast<int>(p) + 1;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The end of one digit or more at p (0-based), or npos.
size_t DigitsEnd(std::string_view text, size_t p) {
  if (p >= text.size() || !IsDigit(text[p])) return std::string_view::npos;
  while (p < text.size() && IsDigit(text[p])) ++p;
  return p;
}

bool IsLetterE(std::string_view text, size_t p) {
  return p < text.size() && (text[p] == 'e' || text[p] == 'E');
}

// <int>: a sign or none, then digits.
size_t IntEnd(std::string_view text, size_t p) {
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
  return DigitsEnd(text, p);
}

// <number>: a sign or none, digits, then an exponent, or a fraction with or without one, where
// they follow in full.
int MatchNumber(std::string_view text, size_t p) {
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
  const size_t digits = DigitsEnd(text, p);
  if (digits == std::string_view::npos) return -1;
  if (IsLetterE(text, digits)) {
    const size_t exponent = IntEnd(text, digits + 1);
    if (exponent != std::string_view::npos) return static_cast<int>(exponent) + 1;
  }
  if (digits < text.size() && text[digits] == '.') {
    const size_t fraction = DigitsEnd(text, digits + 1);
    if (fraction != std::string_view::npos) {
      if (IsLetterE(text, fraction)) {
        const size_t exponent = IntEnd(text, fraction + 1);
        if (exponent != std::string_view::npos) return static_cast<int>(exponent) + 1;
      }
      return static_cast<int>(fraction) + 1;
    }
  }
  return static_cast<int>(digits) + 1;
}

// <typed_number> or <number>: a number, and the type suffix of a single, a currency or a date
// where one follows.
int MatchTypedNumber(std::string_view text, size_t p) {
  const int end = MatchNumber(text, p);
  if (end < 0 || static_cast<size_t>(end) > text.size()) return end;
  switch (text[static_cast<size_t>(end) - 1]) {
    case 's':
    case 'S':
    case 'c':
    case 'C':
    case 'd':
    case 'D':
      return end + 1;
    default:
      return end;
  }
}

// <prop_name>: names joined by dots; a dot no name follows ends the match before it.
int MatchPropName(std::string_view text, int pos) {
  int end = MatchName(text, pos);
  if (end < 0) return -1;
  for (int next; static_cast<size_t>(end) <= text.size() && text[end - 1] == '.' &&
                 (next = MatchName(text, end + 1)) >= 0;)
    end = next;
  return end;
}

// <string2> without the grammar: strings joined by "+" with blanks around it, or one string. Its
// rules make a match that begins with blanks a join of at least two strings, and a "+" that no
// string follows ends the match before it.
int MatchJoinedString(std::string_view text, int pos) {
  if (pos < 1) return -1;
  const size_t n = text.size();
  auto blanksEnd = [&](size_t p) {
    while (p < n && IsDelim(text[p])) ++p;
    return p;
  };
  size_t p = static_cast<size_t>(pos) - 1;
  const bool blanksFirst = p < n && IsDelim(text[p]);
  if (blanksFirst) p = blanksEnd(p);
  int end = MatchString(text, static_cast<int>(p) + 1);
  if (end < 0) return -1;
  bool joined = false;
  for (;;) {
    size_t q = blanksEnd(static_cast<size_t>(end) - 1);
    if (q >= n || text[q] != '+') break;
    const int next = MatchString(text, static_cast<int>(blanksEnd(q + 1)) + 1);
    if (next < 0) break;
    end = next;
    joined = true;
  }
  return blanksFirst && !joined ? -1 : end;
}

// <value> without the grammar where its first character leaves one way: a name or two joined by
// a dot, a string or joined strings, a number with or without a type suffix. Lists, sets,
// collections and binary data are left to the rules.
int MatchValue(std::string_view text, int pos) {
  if (pos < 1 || static_cast<size_t>(pos) > text.size()) return -1;
  const size_t p = static_cast<size_t>(pos) - 1;
  const char c = text[p];
  if (IsNameStart(c)) {
    const int name = MatchName(text, pos);
    if (static_cast<size_t>(name) <= text.size() && text[name - 1] == '.') {
      const int second = MatchName(text, name + 1);
      if (second >= 0) return second;
    }
    return name;
  }
  if (c == '\'' || c == '#') {
    const int string = MatchString(text, pos);
    return string >= 0 ? string : MatchJoinedString(text, pos);
  }
  if (IsDelim(c)) return MatchJoinedString(text, pos);
  if (IsDigit(c) || c == '+' || c == '-') return MatchTypedNumber(text, p);
  return TLL1Parser::kWalkRules;
}

// The text without its first and last character, whatever they are.
std::string_view Inner(std::string_view s) {
  return s.size() < 2 ? std::string_view() : s.substr(1, s.size() - 2);
}

// Most assignments between a state and its snapshot copy a text that is already there.
void CopyText(std::string& dst, const std::string& src) {
  if (dst.size() != src.size() || std::memcmp(dst.data(), src.data(), src.size()) != 0) dst = src;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TFormParseState::TFormParseState(TLL1Parser* parser)
    : TParseState(parser), owner_(dynamic_cast<TFormParser*>(parser)) {}

void TFormParseState::Assign(const TParseState& source) {
  // Snapshots are of the state's own class; the exact type check spares a dynamic_cast.
  const auto* src = typeid(source) == typeid(*this) ? static_cast<const TFormParseState*>(&source)
                                                    : dynamic_cast<const TFormParseState*>(&source);
  if (!src) throw rtl::EInvalidCast("Invalid class typecast");
  TParseState::Assign(source);
  ItemStart = src->ItemStart;
  if (headerStamp_ == 0 || headerStamp_ != src->headerStamp_) {
    CopyText(ObjType, src->ObjType);
    CopyText(Keyword, src->Keyword);
    CopyText(ObjName, src->ObjName);
    CopyText(ObjIndex, src->ObjIndex);
    headerStamp_ = src->headerStamp_;
  }
  if (propStamp_ == 0 || propStamp_ != src->propStamp_) {
    CopyText(PropName, src->PropName);
    propStamp_ = src->propStamp_;
  }
  PropCount = src->PropCount;
  NestLevel = src->NestLevel;
  NestedCount = src->NestedCount;
  NestedStart = src->NestedStart;
  ConversionCount = src->ConversionCount;
  if (!owner_) return;
  std::vector<TPropertyConversion>& conversions = owner_->Conversions;
  if (conversions.size() > static_cast<size_t>(ConversionCount))
    conversions.resize(static_cast<size_t>(ConversionCount));
  rtl::TStringList& props = owner_->Properties;
  while (props.Count() > PropCount && props.Count() > 0) props.Delete(props.Count() - 1);
  rtl::TStringList& nested = owner_->NestedObjects;
  while (nested.Count() > NestedCount && nested.Count() > 0) nested.Delete(nested.Count() - 1);
}

// ---------------------------------------------------------------------------------------------

TFormParser::TFormParser() : TFormParser(&ParseStateClass<TFormParseState>) {}

TFormParser::TFormParser(TParseStateClass stateClass) : TLL1Parser(stateClass) {
  auto* state = dynamic_cast<TFormParseState*>(&State());
  rtl::Assert(state != nullptr, "the state class of a form parser is a TFormParseState");
  // The state was made while this object was still a TLL1Parser.
  state->owner_ = this;
  // The overrides here only watch what matches, so skipping hopeless alternatives is unseen.
  SetPredictive(true);
  // No hook runs inside these: a property value, a string and a property name parse the same
  // wherever the grammar tries them again.
  for (const char* name : {"<value>", "<string2>", "<string>", "<prop_name>", "<name>"})
    SetPositionOnly(name);
  SetNativeMatch("<string>", &MatchString);
  SetNativeMatch("<string2>", &MatchJoinedString);
  SetNativeMatch("<prop_name>", &MatchPropName);
  SetNativeMatch("<name>", &MatchName);
  SetNativeMatch("<value>", &MatchValue);
  AddGrammar();
}

void TFormParser::AddGrammar() {
  for (const char* rule : kFormRules) AddRule(rule);
}

bool TFormParser::GetBuiltinSet(std::string_view name, TCharSet& chars, bool& single) {
  if (!rtl::SameText(name, "<*delim>")) return TLL1Parser::GetBuiltinSet(name, chars, single);
  chars.reset();
  for (char c : {'\t', '\n', '\r', ' '}) chars.set(static_cast<unsigned char>(c));
  single = false;
  return true;
}

TFormParser::ItemKind TFormParser::KindOf(const TSymbol& symbol) {
  if (symbol.Id < 0) return kNone;
  if (kinds_.empty()) FillKinds();
  return kinds_[static_cast<size_t>(symbol.Id)];
}

void TFormParser::FillKinds() {
  {
    kinds_.assign(static_cast<size_t>(SymbolCount()), kNone);
    const std::pair<const char*, ItemKind> names[] = {
        {"<obj_name>", kObjName},     {"<obj_type>", kObjType},
        {"<keyword>", kKeyword},      {"<full_prop_name>", kFullPropName},
        {"<prop_value>", kPropValue}, {"<nested_obj>", kNestedObj},
        {"<obj_index>", kObjIndex}};
    for (const auto& [name, kind] : names)
      if (const int id = SymbolId(name); id >= 0) kinds_[static_cast<size_t>(id)] = kind;
  }
}

bool TFormParser::ParseNonterminal(const TSymbol& symbol) {
  const ItemKind kind = KindOf(symbol);
  if (kind == kNone) return TLL1Parser::ParseNonterminal(symbol);

  TFormParseState& s = FormState();
  if (kind == kNestedObj && s.NestLevel >= 1) return ParseInnerObject(symbol);
  if (kind == kNestedObj) {
    if (++s.NestLevel == 1) {
      // The nested object's text starts with the blanks that indent its keyword.
      const std::string_view text = Text();
      s.NestedStart = s.Position;
      while (s.NestedStart > 1 && static_cast<size_t>(s.NestedStart) - 2 < text.size() &&
             text[static_cast<size_t>(s.NestedStart) - 2] == ' ')
        --s.NestedStart;
    }
  } else {
    s.ItemStart = s.Position;
  }

  const bool result = TLL1Parser::ParseNonterminal(symbol);

  if (kind == kNestedObj) {
    --s.NestLevel;
    if (result && s.NestLevel == 0) NestedObjectParsed();
  } else if (result) {
    ItemParsed(kind);
  }
  return result;
}

// An object inside a nested object is kept in its parent's text, and parsing it calls no hook:
// its whole effect is the new position and the property-name fields. The grammar parses the
// last part of a list again when the list ends, so without remembering, every level of nesting
// would double the work.
bool TFormParser::ParseInnerObject(const TSymbol& symbol) {
  TFormParseState& s = FormState();
  const int start = s.Position;
  if (auto it = innerObjects_.find(start); it != innerObjects_.end()) {
    const InnerObject& known = it->second;
    if (known.entryPropName == s.PropName && known.entryItemStart == s.ItemStart) {
      if (known.matched) {
        s.Position = known.end;
        s.PropName = known.exitPropName;
        StampProp(s);
        s.ItemStart = known.exitItemStart;
      }
      return known.matched;
    }
  }
  InnerObject seen;
  seen.entryPropName = s.PropName;
  seen.entryItemStart = s.ItemStart;
  ++s.NestLevel;
  seen.matched = TLL1Parser::ParseNonterminal(symbol);
  --s.NestLevel;
  seen.end = s.Position;
  seen.exitPropName = s.PropName;
  seen.exitItemStart = s.ItemStart;
  innerObjects_[start] = std::move(seen);
  return innerObjects_[start].matched;
}

void TFormParser::ItemParsed(ItemKind kind) {
  TFormParseState& s = FormState();
  rtl::Assert(s.ItemStart > 0, "an item of the form grammar ended that never started");
  const std::string_view item = Text().substr(static_cast<size_t>(s.ItemStart) - 1,
                                              static_cast<size_t>(s.Position - s.ItemStart));
  std::string* header = nullptr;
  switch (kind) {
    case kObjName:
      header = &s.ObjName;
      break;
    case kObjType:
      header = &s.ObjType;
      break;
    case kKeyword:
      header = &s.Keyword;
      break;
    case kObjIndex:
      header = &s.ObjIndex;
      break;
    case kFullPropName:
      s.PropName = item;
      StampProp(s);
      break;
    case kPropValue:
      if (!s.PropName.empty()) {
        if (s.NestLevel == 0) {
          const std::string propName = s.PropName;
          std::string value(item);
          const int first = Properties.Count();
          takenParams_.clear();
          droppedParts_.reset();
          ConvertProperty(propName, value);
          Conversions.push_back(
              {propName, std::move(value), first, Properties.Count(), std::move(droppedParts_)});
          s.ConversionCount = static_cast<int>(Conversions.size());
        }
        s.PropName.clear();
        StampProp(s);
      }
      break;
    default:
      break;
  }
  if (header && s.NestLevel == 0) {
    *header = item;
    StampHeader(s);
  }
  s.ItemStart = 0;
}

void TFormParser::StampHeader(TFormParseState& s) {
  s.headerStamp_ = ++stamps_;
}

void TFormParser::StampProp(TFormParseState& s) {
  s.propStamp_ = ++stamps_;
}

void TFormParser::NestedObjectParsed() {
  TFormParseState& s = FormState();
  const std::string_view text = Text();
  int end = s.Position;
  while (end > s.NestedStart && IsDelim(text[static_cast<size_t>(end) - 2])) --end;
  std::string nested(text.substr(static_cast<size_t>(s.NestedStart) - 1,
                                 static_cast<size_t>(end - s.NestedStart)));
  if (NestedObjects.IndexOf(nested) < 0) NestedObjects.Add(std::move(nested));
  s.NestedStart = 0;
  // Counted as held, so that restoring a state trims exactly what came after it.
  s.NestedCount = NestedObjects.Count();
}

void TFormParser::BeforeParse() {
  Reset();
  innerObjects_.clear();
}

void TFormParser::AfterParse(bool& success) {
  if (!success) Reset();
  parsed_ = success;
  innerObjects_.clear();
}

void TFormParser::Reset() {
  TFormParseState& s = FormState();
  s.Keyword.clear();
  s.ObjName.clear();
  s.ObjIndex.clear();
  s.ObjType.clear();
  s.PropName.clear();
  StampHeader(s);
  StampProp(s);
  s.ItemStart = 0;
  s.PropCount = 0;
  s.NestedCount = 0;
  s.ConversionCount = 0;
  // A parse that an error left half way must not leave the next one inside a nested object.
  s.NestLevel = 0;
  s.NestedStart = 0;
  Properties.Clear();
  NestedObjects.Clear();
  Conversions.clear();
  parsed_ = false;
}

void TFormParser::EmitProperty(const std::string& name, std::string_view text) {
  auto lines = std::make_unique<rtl::TStringList>();
  lines->SetText(text);
  Properties.AddObject(name, std::move(lines));
  FormState().PropCount += 1;
}

void TFormParser::BuildObjectText(int depth, std::string& text) {
  text.clear();
  const TFormParseState& s = FormState();
  if (!parsed_ || s.Keyword.empty() || s.ObjType.empty()) return;
  const std::string outer(depth > 0 ? 2 * static_cast<size_t>(depth) : 0, ' ');
  const std::string indent = outer + "  ";
  const std::string continuation = indent + "  ";

  text += outer + s.Keyword + " ";
  if (!s.ObjName.empty()) text += s.ObjName + ": ";
  text += NewClassName.empty() ? s.ObjType : NewClassName;
  if (!s.ObjIndex.empty()) text += " " + s.ObjIndex;
  text += "\r\n";
  for (int i = 0; i < Properties.Count(); ++i) {
    text += indent + Properties[i] + " = ";
    // Lines after the first get the property indentation in front of their own; the stored
    // lines stay as they are, so building twice gives the same text.
    if (const auto* lines = dynamic_cast<const rtl::TStringList*>(Properties.Objects(i))) {
      for (int j = 0; j < lines->Count(); ++j) {
        if (j > 0) text += "\r\n" + continuation;
        text += (*lines)[j];
      }
    }
    text += "\r\n";
  }
  for (int i = 0; i < NestedObjects.Count(); ++i) text += NestedObjects[i] + "\r\n";
  text += outer + "end\r\n";
}

// ---------------------------------------------------------------------------------------------
// Conversion of the top-level properties from the BDE components.

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The strings of a parenthesised string list, as UTF-16 units (a quoted byte is the unit of the
// same code); nothing when the value is not one. Strings are joined by "+" where the form writer
// broke them.
std::optional<std::vector<std::u16string>> ReadStringList(std::string_view value) {
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  while (!value.empty() && IsBlank(value.back())) value.remove_suffix(1);
  if (value.size() < 2 || value.front() != '(' || value.back() != ')') return std::nullopt;
  value = value.substr(1, value.size() - 2);
  std::vector<std::u16string> items;
  for (size_t i = 0;;) {
    while (i < value.size() && IsBlank(value[i])) ++i;
    if (i >= value.size()) return items;
    std::u16string item;
    if (!rtl::ReadPascalLiteral(value, i, item, {.lineBreaksInQuotes = true, .plusJoins = true}))
      return std::nullopt;
    items.push_back(std::move(item));
  }
}

// The units as bytes when none is above 255.
std::optional<std::string> Narrow(std::u16string_view units) {
  std::string bytes;
  bytes.reserve(units.size());
  for (char16_t u : units) {
    if (u > 0xFF) return std::nullopt;
    bytes += static_cast<char>(u);
  }
  return bytes;
}

// A form-text literal for the string: control characters as #nn, quotes doubled, bytes above
// 127 as they stand. A string with a code above 255 is written wide, all above 127 as #nnn,
// which is how the form reader takes its quoted bytes too.
std::string Literal(std::u16string_view s) {
  std::string out;
  if (const auto bytes = Narrow(s))
    rtl::AppendPascalLiteral(out, bytes->data(), bytes->size());
  else
    rtl::AppendPascalLiteral(out, s.data(), s.size());
  return out;
}

// The units as the form's bytes where each fits one, else as UTF-8.
std::string PartText(std::u16string_view units) {
  if (auto bytes = Narrow(units)) return *bytes;
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    std::uint32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

void TFormParser::EmitParam(const std::string& name, std::string_view paramsValue,
                            std::string_view param) {
  takenParams_.emplace_back(param);
  const std::string literal = ParamLiteral(paramsValue, param);
  if (!literal.empty()) EmitProperty(name, literal);
}

void TFormParser::DroppedParams(std::string_view paramsValue) {
  const auto items = ReadStringList(paramsValue);
  if (!items) return;  // a list of another shape: dropped, if at all, as a whole
  std::vector<std::string> dropped;
  for (const std::u16string& item : *items) {
    const std::u16string_view name = std::u16string_view(item).substr(0, item.find(u'='));
    const auto narrow = Narrow(name);
    const bool taken =
        narrow && std::any_of(takenParams_.begin(), takenParams_.end(),
                              [&](const std::string& p) { return rtl::SameText(p, *narrow); });
    if (!taken) dropped.push_back(PartText(item));
  }
  droppedParts_ = std::move(dropped);
}

std::string TFormParser::ParamLiteral(std::string_view paramsValue, std::string_view name) {
  if (auto items = ReadStringList(paramsValue)) {
    for (const std::u16string& item : *items) {
      const size_t eq = item.find(u'=');
      if (eq == std::u16string::npos) continue;
      const auto itemName = Narrow(std::u16string_view(item).substr(0, eq));
      if (itemName && rtl::SameText(*itemName, name))
        return eq + 1 < item.size() ? Literal(std::u16string_view(item).substr(eq + 1)) : "";
    }
    return {};
  }
  std::string v = ParamValue(paramsValue, name);
  return v.empty() ? v : "'" + v + "'";
}

std::string TFormParser::ParamValue(std::string_view paramsValue, std::string_view name) {
  for (const std::string& raw : rtl::SplitLines(Inner(paramsValue))) {
    const std::string_view line = Inner(Trim(raw));
    const size_t eq = line.find('=');
    if (eq != std::string_view::npos && rtl::SameText(line.substr(0, eq), name))
      return std::string(line.substr(eq + 1));
  }
  return {};
}

bool TFormParser::PassesPropertyCheck(const std::string& propName) const {
  // The lookup is kept while the name and the registry stay as they are.
  if (newClassVersion_ != rtl::RegistryVersion() || newClassName_ != NewClassName) {
    newClassName_ = NewClassName;
    newClass_ = rtl::GetClass(NewClassName);
    newClassVersion_ = rtl::RegistryVersion();
  }
  const rtl::TClassInfo* cls = newClass_;
  if (!cls) return true;
  const std::string_view head = std::string_view(propName).substr(0, propName.find('.'));
  return cls->HasPublishedProperty(head) || propName == "Left" || propName == "Top";
}

void TFormParser::ConvertProperty(const std::string& propName, const std::string& value) {
  const std::string& objType = FormState().ObjType;
  if (propName == "DatabaseName") {
    if (TClassRoles::Has(ClassRoles.Databases, objType)) return;
    std::string connection;
    if (OnDatabaseName) OnDatabaseName("DatabaseName", std::string(Inner(value)), connection);
    if (!connection.empty()) EmitProperty("Connection", connection);
    return;
  }
  if (propName == "Params.Strings" && TClassRoles::Has(ClassRoles.Databases, objType)) {
    const std::pair<const char*, const char*> params[] = {
        {"USER NAME", "Username"}, {"PASSWORD", "Password"}, {"SERVER NAME", "Server"}};
    for (const auto& [param, prop] : params) EmitParam(prop, value, param);
    DroppedParams(value);
    return;
  }
  if (propName == "DataSource" && TClassRoles::Has(ClassRoles.Queries, objType)) {
    if (!value.empty()) EmitProperty("MasterSource", value);
    return;
  }
  if (propName == "ParamData" && TClassRoles::Has(ClassRoles.ParamDatasets, objType)) {
    if (!value.empty()) EmitProperty("ParamData", value);
    return;
  }
  if (PassesPropertyCheck(propName)) EmitProperty(propName, value);
}

}  // namespace migwiz
