// Converts form files between their binary and text forms, until the command-line host does.
//   form_convert to-text IN [OUT]     binary or text form to text (standard output without OUT)
//   form_convert to-binary IN OUT     text or binary form to a binary form file
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

#include "MigWizard/Replacer.h"
#include "rtl/FileIO.h"
#include "rtl/SysUtils.h"

namespace {

constexpr const char* kUsage =
    "usage: form_convert to-text IN [OUT]\n"
    "       form_convert to-binary IN OUT\n"
    "  to-text    writes a binary or text form as form text (to standard output without OUT)\n"
    "  to-binary  writes a text or binary form as a binary form file with its resource header\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

// A short or failed write to standard output (a full disk, a closed pipe) is an error, not a
// success with half a form.
void WriteStdout(std::string_view bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
      std::fflush(stdout) != 0)
    throw std::runtime_error("cannot write the form text to standard output");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  const std::string in = argv[2];
  const bool toText = command == "to-text";
  if (toText ? argc > 4 : command != "to-binary" || argc != 4) return Usage();
  try {
    const std::string bytes =
        toText ? migwiz::ConvertFormToText(in) : migwiz::ConvertFormToBinary(in);
    if (argc == 4)
      rtl::WriteFileAtomic(argv[3], bytes);
    else
      WriteStdout(bytes);
  } catch (const rtl::Exception& e) {
    std::fprintf(stderr, "form_convert: %s\n", e.what());  // names the file already
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "form_convert: %s: %s\n", in.c_str(), e.what());
    return 1;
  }
  return 0;
}
