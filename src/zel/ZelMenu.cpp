#include "zel/ZelMenu.h"

namespace zel {

std::string RemoveAmpersands(std::string_view caption) {
  std::string result;
  result.reserve(caption.size());
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') {
      result += caption[i];
    } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
      result += '&';
      ++i;
    }
  }
  return result;
}

}  // namespace zel
