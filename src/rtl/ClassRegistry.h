// Stand-in for the runtime library's class registry: which class is registered under a name,
// and which published properties it has.
#pragma once

#include <cstdint>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

class TClassInfo {
 public:
  TClassInfo(std::string className, std::initializer_list<const char*> published);
  TClassInfo(std::string className, std::vector<std::string> published);

  const std::string& ClassName() const { return className_; }
  const std::vector<std::string>& PublishedProperties() const { return published_; }
  // Compared without regard to case, as the platform's property lookup does.
  bool HasPublishedProperty(std::string_view propName) const;

 private:
  std::string className_;
  std::vector<std::string> published_;  // sorted by CompareText
};

// A class whose published properties are given in groups (those of its ancestors, its own).
TClassInfo ClassWithGroups(std::string className,
                           std::initializer_list<std::initializer_list<const char*>> groups);

// Registers a class; a name registered already (in any case) keeps its first registration.
void RegisterClass(const TClassInfo& info);
// The class registered under the name (compared without regard to case), or nullptr.
const TClassInfo* GetClass(std::string_view className);
// Forgets one registration; for tests and unloading.
void UnRegisterClass(std::string_view className);
// Changes whenever a class is registered or unregistered, so a lookup can be kept until then.
std::uint64_t RegistryVersion();

}  // namespace rtl
