// Form text on arbitrary bytes: a binary stream or a clear error, never a crash.
#include <cstdint>
#include <string>

#include "rtl/FormStreams.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  rtl::TMemoryStream out;
  try {
    rtl::ObjectTextToBinary(std::string_view(reinterpret_cast<const char*>(data), size), out);
  } catch (const rtl::EFormStreamError&) {
  }
  return 0;
}
