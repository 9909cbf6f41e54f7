#include "rtl/Settings.h"

#include <cstdlib>

namespace rtl {

int TMemorySettingsStore::ReadInteger(const std::string& section, const std::string& key, int def) {
  auto it = values_.find({section, key});
  if (it == values_.end()) return def;
  char* end = nullptr;
  long v = std::strtol(it->second.c_str(), &end, 10);
  return (end && *end == '\0' && !it->second.empty()) ? static_cast<int>(v) : def;
}

std::string TMemorySettingsStore::ReadString(const std::string& section, const std::string& key,
                                             const std::string& def) {
  auto it = values_.find({section, key});
  return it == values_.end() ? def : it->second;
}

bool TMemorySettingsStore::ReadBool(const std::string& section, const std::string& key, bool def) {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TMemorySettingsStore::WriteInteger(const std::string& section, const std::string& key,
                                        int value) {
  values_[{section, key}] = std::to_string(value);
  ++writes_;
}

void TMemorySettingsStore::WriteString(const std::string& section, const std::string& key,
                                       const std::string& value) {
  values_[{section, key}] = value;
  ++writes_;
}

void TMemorySettingsStore::WriteBool(const std::string& section, const std::string& key,
                                     bool value) {
  WriteInteger(section, key, value ? 1 : 0);
}

bool TMemorySettingsStore::Has(const std::string& section, const std::string& key) const {
  return values_.count({section, key}) != 0;
}

std::string TMemorySettingsStore::Raw(const std::string& section, const std::string& key) const {
  auto it = values_.find({section, key});
  return it == values_.end() ? std::string() : it->second;
}

}  // namespace rtl
