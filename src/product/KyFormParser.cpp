#include "product/KyFormParser.h"

#include <memory>
#include <optional>
#include <vector>

#include "product/KyClasses.h"
#include "product/KyReplacer.h"
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
  ClassRoles = BdeClassRoles();
}

void TKyFormParser::ConvertProperty(const std::string& propName, const std::string& value) {
  const std::string& objType = FormState().ObjType;
  if (migwiz::TClassRoles::Has(ClassRoles.Databases, objType)) {
    if (propName == "Params.Strings") {
      EmitParam("Database", value, "DATABASE NAME");
      // The user name, password and server are the BDE rules' part.
    } else if (propName == "TransIsolation") {
      std::string level = IsolationLevelOf(value);
      if (!level.empty()) EmitProperty("IsolationLevel", level);
      return;
    }
  }
  migwiz::TFormParser::ConvertProperty(propName, value);
}

migwiz::TFormParserClass KyFormParserClass() {
  return [] { return std::unique_ptr<migwiz::TFormParser>(std::make_unique<TKyFormParser>()); };
}

}  // namespace ky
