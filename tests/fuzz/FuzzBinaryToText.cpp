// Binary forms on arbitrary bytes, as a form file (the resource header before the stream, read by
// ReadForm as a run reads it) or as a bare stream: a form that converts to text must be written
// back as a binary form file that reads as the same text and resource name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "MigWizard/FormFile.h"
#include "rtl/FormStreams.h"
#include "rtl/SysUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  rtl::TMemoryStream in(std::string(reinterpret_cast<const char*>(data), size));
  const bool header = size >= 3 && data[0] == 0xFF && data[1] == 0x0A && data[2] == 0x00;
  std::string text;
  migwiz::TRCData rcData;
  try {
    if (header) {
      migwiz::TFormSource form = migwiz::ReadForm(in, "fuzz.dfm");
      text = std::move(form.Text);
      rcData = form.RCData;
    } else {
      rtl::ObjectBinaryToText(in, text);
    }
  } catch (const rtl::EFormStreamError&) {
    return 0;
  } catch (const rtl::EReadError&) {
    if (!header) throw;  // only the header's reading says so
    return 0;
  }
  // An exception from here on is a finding.
  const std::string file =
      migwiz::FormFileBytes(text, migwiz::TTextEncoding::Default, true, rcData, "fuzz.dfm");
  const migwiz::TFormSource again = migwiz::ReadForm(file, "fuzz.dfm");
  if (!again.Binary || again.Text != text || again.RCData.Name != rcData.Name) {
    std::fprintf(stderr, "FuzzBinaryToText: the form written back reads differently\n");
    std::abort();
  }
  return 0;
}
