// ReadForm on arbitrary bytes: a form or a clear error, never a crash.
#include <cstdint>
#include <string>

#include "MigWizard/Replacer.h"
#include "rtl/FileIO.h"
#include "rtl/SysUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  rtl::TMemoryStream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    migwiz::ReadForm(in, "fuzz.dfm");
  } catch (const rtl::Exception&) {
  }
  return 0;
}
