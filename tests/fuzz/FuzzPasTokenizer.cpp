// The Pascal tokenizer on arbitrary text: it always ends, and its lexemes join back to the input.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "MigWizard/PasParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  migwiz::TPasParser parser(text);
  parser.KeepStringQuotes = true;
  std::string joined, lexeme;
  for (size_t steps = 0; parser.GetNext(lexeme) != migwiz::tkEOF; ++steps) {
    if (steps > size) std::abort();  // no progress
    joined += lexeme;
  }
  if (joined != text) std::abort();
  return 0;
}
