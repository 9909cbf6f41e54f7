// Binary form streams on arbitrary bytes; a stream that converts to text must convert back to a
// stream giving the same text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rtl/FormStreams.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  rtl::TMemoryStream in(std::string(reinterpret_cast<const char*>(data), size));
  std::string text;
  try {
    rtl::ObjectBinaryToText(in, text);
  } catch (const rtl::EFormStreamError&) {
    return 0;
  }
  rtl::TMemoryStream binary;
  rtl::ObjectTextToBinary(text, binary);  // an exception here is a finding
  binary.Seek(0);
  std::string again;
  rtl::ObjectBinaryToText(binary, again);
  if (again != text) std::abort();
  return 0;
}
