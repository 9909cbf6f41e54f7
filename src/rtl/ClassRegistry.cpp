#include "rtl/ClassRegistry.h"

#include <algorithm>
#include <memory>

#include "rtl/SysUtils.h"

namespace rtl {

namespace {

std::vector<std::unique_ptr<TClassInfo>>& Registry() {
  static std::vector<std::unique_ptr<TClassInfo>> registry;
  return registry;
}

bool TextLess(const std::string& a, std::string_view b) {
  return CompareText(a, b) < 0;
}

}  // namespace

TClassInfo::TClassInfo(std::string className, std::initializer_list<const char*> published)
    : TClassInfo(std::move(className),
                 std::vector<std::string>(published.begin(), published.end())) {}

TClassInfo::TClassInfo(std::string className, std::vector<std::string> published)
    : className_(std::move(className)), published_(std::move(published)) {
  std::sort(published_.begin(), published_.end(),
            [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
}

bool TClassInfo::HasPublishedProperty(std::string_view propName) const {
  auto it = std::lower_bound(published_.begin(), published_.end(), propName, TextLess);
  return it != published_.end() && SameText(*it, propName);
}

namespace {
std::uint64_t registryVersion = 1;
}  // namespace

std::uint64_t RegistryVersion() {
  return registryVersion;
}

void RegisterClass(const TClassInfo& info) {
  if (GetClass(info.ClassName())) return;
  Registry().push_back(std::make_unique<TClassInfo>(info));
  ++registryVersion;
}

const TClassInfo* GetClass(std::string_view className) {
  for (const auto& info : Registry())
    if (SameText(info->ClassName(), className)) return info.get();
  return nullptr;
}

void UnRegisterClass(std::string_view className) {
  auto& registry = Registry();
  registry.erase(
      std::remove_if(registry.begin(), registry.end(),
                     [&](const auto& info) { return SameText(info->ClassName(), className); }),
      registry.end());
  ++registryVersion;
}

TClassInfo ClassWithGroups(std::string className,
                           std::initializer_list<std::initializer_list<const char*>> groups) {
  std::vector<std::string> published;
  for (const auto& group : groups) published.insert(published.end(), group.begin(), group.end());
  return TClassInfo(std::move(className), std::move(published));
}

}  // namespace rtl
