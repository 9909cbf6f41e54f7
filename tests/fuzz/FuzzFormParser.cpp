// The grammar engine with the form grammar on arbitrary bytes: no crash, and a parsed object
// can be written back.
#include <cstdint>
#include <string>

#include "MigWizard/FormParser.h"
#include "rtl/SysUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  migwiz::TFormParser parser;
  int pos = 0;
  try {
    if (parser.Parse(text, "<object>", pos)) {
      std::string out;
      parser.BuildObjectText(1, out);
    }
  } catch (const rtl::Exception&) {
    // A clear error (e.g. nesting too deep) is a sound answer to bad input.
  }
  return 0;
}
