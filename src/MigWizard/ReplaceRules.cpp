#include "MigWizard/ReplaceRules.h"

#include <nlohmann/json.hpp>

#include "MigWizard/FileUtils.h"
#include "MigWizard/ROvoradRes.h"
#include "MigWizard/Replacer.h"
#include "rtl/FileIO.h"

namespace migwiz {

namespace {

using Json = nlohmann::json;

bool IsIdentifier(std::string_view s) {
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (s.empty() || !letter(s[0])) return false;
  for (char c : s)
    if (!letter(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

// "line 3, column 9: syntax error ..." out of the parser's message.
std::string NotJson(const std::string& what) {
  const size_t at = what.find("at line ");
  return at == std::string::npos ? rtl::Format(res::sRulesNotJson, {what})
                                 : rtl::Format(res::sRulesNotJsonAt, {what.substr(at + 3)});
}

}  // namespace

TReplacementRules ReadReplacementRules(const std::string& file,
                                       const TComponentReplacer& replacer) {
  auto fail = [&file](const std::string& reason) {
    return ERulesError(rtl::Format(res::sRulesFileError, {file, reason}));
  };
  std::string bytes;
  try {
    bytes = rtl::ReadFileBytes(file);
  } catch (const rtl::Exception& e) {
    throw fail(e.what());
  }
  Json doc;
  try {
    doc = Json::parse(bytes);
  } catch (const Json::parse_error& e) {
    throw fail(NotJson(e.what()));
  }
  if (!doc.is_object()) throw fail(res::sRulesNotObject);
  for (const auto& item : doc.items())
    if (item.key() != "classes" && item.key() != "uses")
      throw fail(rtl::Format(res::sRulesUnknownKey, {item.key()}));

  const auto& table = replacer.Table();
  auto oldClass = [&table](const std::string& name) -> const std::pair<std::string, std::string>* {
    for (const auto& entry : table)
      if (rtl::SameText(entry.first, name)) return &entry;
    return nullptr;
  };
  auto newClass = [&table](const std::string& name) -> const std::string* {
    for (const auto& entry : table)
      if (rtl::SameText(entry.second, name)) return &entry.second;
    return nullptr;
  };
  auto names = [&table](bool old) {
    std::string list;
    for (const auto& entry : table) {
      const std::string& name = old ? entry.first : entry.second;
      if (list.find(name) == std::string::npos) list += (list.empty() ? "" : ", ") + name;
    }
    return list;
  };

  TReplacementRules rules;
  rules.File = file;
  if (doc.contains("classes")) {
    const Json& classes = doc["classes"];
    if (!classes.is_array()) throw fail(res::sRulesClassesNotArray);
    for (size_t i = 0; i < classes.size(); ++i) {
      const std::string at = "classes[" + std::to_string(i) + "]";
      const Json& entry = classes[i];
      if (!entry.is_object()) throw fail(rtl::Format(res::sRulesNotAnObject, {at}));
      for (const auto& item : entry.items())
        if (item.key() != "class" && item.key() != "like" && item.key() != "new")
          throw fail(rtl::Format(res::sRulesEntryUnknownKey, {at, item.key()}));
      auto text = [&](const char* key) {
        if (!entry.contains(key)) throw fail(rtl::Format(res::sRulesKeyMissing, {at, key}));
        if (!entry[key].is_string()) throw fail(rtl::Format(res::sRulesKeyNotString, {at, key}));
        return entry[key].get<std::string>();
      };
      TRuleClass rule;
      rule.Class = text("class");
      const std::string like = text("like");
      if (!IsIdentifier(rule.Class))
        throw fail(rtl::Format(res::sRulesNoClassName, {at, rule.Class}));
      const auto* base = oldClass(like);
      if (!base) throw fail(rtl::Format(res::sRulesNoOldClass, {at, like, names(true)}));
      rule.Like = base->first;
      rule.New = base->second;
      if (entry.contains("new")) {
        const std::string wanted = text("new");
        const std::string* target = newClass(wanted);
        if (!target) throw fail(rtl::Format(res::sRulesNoNewClass, {at, wanted, names(false)}));
        rule.New = *target;
      }
      if (oldClass(rule.Class)) throw fail(rtl::Format(res::sRulesTableMaps, {at, rule.Class}));
      if (newClass(rule.Class)) throw fail(rtl::Format(res::sRulesIsNewClass, {at, rule.Class}));
      for (size_t j = 0; j < rules.Classes.size(); ++j)
        if (rtl::SameText(rules.Classes[j].Class, rule.Class))
          throw fail(rtl::Format(res::sRulesMappedBefore, {at, std::int64_t(j), rule.Class}));
      rules.Classes.push_back(std::move(rule));
    }
  }
  if (doc.contains("uses")) {
    const Json& uses = doc["uses"];
    if (!uses.is_array()) throw fail(res::sRulesUsesNotArray);
    for (size_t i = 0; i < uses.size(); ++i) {
      const std::string at = "uses[" + std::to_string(i) + "]";
      if (!uses[i].is_string()) throw fail(rtl::Format(res::sRulesNotAString, {at}));
      std::string unit = uses[i].get<std::string>();
      if (!IsIdentifier(unit)) throw fail(rtl::Format(res::sRulesNoUnitName, {at, unit}));
      rules.Uses.push_back(std::move(unit));
    }
  }
  return rules;
}

std::string DefaultRulesFile(const std::string& folder) {
  if (folder.empty()) return {};
  const std::string file = JoinPath(folder, kDefaultRulesFile);
  return rtl::FileExists(file) ? file : std::string();
}

}  // namespace migwiz
