#include "product/KyFormParser.h"

#include <memory>
#include <optional>
#include <vector>

#include "product/KyClasses.h"
#include "rtl/Classes.h"
#include "rtl/SysUtils.h"

namespace ky {

namespace {

struct TIsolationMapping {
  const char* TransIsolation;
  const char* IsolationLevel;
};

constexpr TIsolationMapping kIsolation[] = {
    {"tiDirtyRead", "ilReadUnCommitted"},
    {"tiReadCommitted", "ilReadCommitted"},
    {"tiRepeatableRead", "ilRepeatableRead"},
};

// The IsolationLevel for a TransIsolation value; empty for a value outside the mapping.
std::string IsolationLevelOf(std::string_view transIsolation) {
  for (const TIsolationMapping& m : kIsolation)
    if (transIsolation == m.TransIsolation) return m.IsolationLevel;
  return {};
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads one string of a string list as form text writes it: quoted pieces and #nn characters,
// joined directly or by "+" (the form writer breaks long strings that way, across lines).
bool ReadString(std::string_view text, size_t& i, std::string& out) {
  for (;;) {
    bool piece = false;
    while (i < text.size() && (text[i] == '\'' || text[i] == '#')) {
      piece = true;
      if (text[i++] == '#') {
        size_t start = i;
        int code = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && code < 256)
          code = code * 10 + (text[i++] - '0');
        if (i == start || code > 255) return false;
        out += static_cast<char>(code);
        continue;
      }
      for (;; ++i) {
        if (i >= text.size()) return false;
        if (text[i] == '\'' && !(i + 1 < text.size() && text[i + 1] == '\'')) break;
        if (text[i] == '\'') ++i;  // a doubled quote stands for one
        out += text[i];
      }
      ++i;
    }
    if (!piece) return false;
    size_t j = i;
    while (j < text.size() && IsBlank(text[j])) ++j;
    if (j >= text.size() || text[j] != '+') return true;
    for (++j; j < text.size() && IsBlank(text[j]);) ++j;
    i = j;
  }
}

// The strings of a parenthesised string list; nothing when the value is not one.
std::optional<std::vector<std::string>> ReadStringList(std::string_view value) {
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  while (!value.empty() && IsBlank(value.back())) value.remove_suffix(1);
  if (value.size() < 2 || value.front() != '(' || value.back() != ')') return std::nullopt;
  value = value.substr(1, value.size() - 2);
  std::vector<std::string> items;
  for (size_t i = 0;;) {
    while (i < value.size() && IsBlank(value[i])) ++i;
    if (i >= value.size()) return items;
    std::string item;
    if (!ReadString(value, i, item)) return std::nullopt;
    items.push_back(std::move(item));
  }
}

// A form-text literal for the string: control characters as #nn, quotes doubled.
std::string Literal(std::string_view s) {
  std::string out;
  bool quoted = false;
  for (char c : s) {
    bool control = static_cast<unsigned char>(c) < 32;
    if (control == quoted) {
      out += '\'';
      quoted = !quoted;
    }
    if (control)
      out += "#" + std::to_string(static_cast<unsigned char>(c));
    else
      out += c == '\'' ? std::string("''") : std::string(1, c);
  }
  if (quoted) out += '\'';
  return out;
}

// The literal for the Database property from a Params.Strings value, empty when the parameter is
// absent or empty. The strings are read whole, so a long path that the form writer broke with
// "+" is not cut at the break.
std::string DatabaseLiteral(std::string_view paramsValue) {
  const std::string_view name = "DATABASE NAME";
  if (auto items = ReadStringList(paramsValue)) {
    for (const std::string& item : *items) {
      size_t eq = item.find('=');
      if (eq != std::string::npos && rtl::SameText(std::string_view(item).substr(0, eq), name))
        return eq + 1 < item.size() ? Literal(std::string_view(item).substr(eq + 1)) : "";
    }
    return {};
  }
  std::string v = migwiz::TFormParser::ParamValue(paramsValue, name);
  return v.empty() ? v : "'" + v + "'";
}

}  // namespace

TKyFormParser::TKyFormParser() {
  RegisterKyClasses();
}

void TKyFormParser::Emit(const std::string& name, std::string_view text) {
  // Written out here rather than through the base's helper: the product layer only has the
  // state's public counter, as a separate unit would.
  auto lines = std::make_unique<rtl::TStringList>();
  lines->SetText(text);
  Properties.AddObject(name, std::move(lines));
  migwiz::TFormParseState& state = FormState();
  migwiz::TFormParserUtils::SetPropCount(state, state.PropCount + 1);
}

void TKyFormParser::ConvertProperty(const std::string& propName, const std::string& value) {
  const std::string& objType = FormState().ObjType;
  if (objType == "TDatabase") {
    if (propName == "Params.Strings") {
      std::string database = DatabaseLiteral(value);
      if (!database.empty()) Emit("Database", database);
      // The user name, password and server are the BDE rules' part.
    } else if (propName == "TransIsolation") {
      std::string level = IsolationLevelOf(value);
      if (!level.empty()) Emit("IsolationLevel", level);
      return;
    }
  }
  migwiz::TFormParser::ConvertProperty(propName, value);
}

migwiz::TFormParserClass KyFormParserClass() {
  return [] { return std::unique_ptr<migwiz::TFormParser>(std::make_unique<TKyFormParser>()); };
}

}  // namespace ky
