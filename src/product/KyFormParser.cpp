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
      std::string database = ParamLiteral(value, "DATABASE NAME");
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
