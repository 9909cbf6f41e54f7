#include "MigWizard/SourceText.h"

#include "MigWizard/FileSniff.h"
#include "rtl/Encoding.h"
#include "rtl/SysUtils.h"

namespace migwiz {

TSourceText ReadSourceText(rtl::TStream& in, const std::string& name) {
  return ReadSourceText(in.ReadRest(), name);
}

TSourceText ReadSourceText(std::string bytes, const std::string& name) {
  TSourceText result;
  const TFileSniff sniff = SniffBytes(bytes);
  if (sniff.Utf16Le) {
    result.Encoding = TTextEncoding::UTF16LE;
    try {
      result.Text = rtl::Utf16LeToUtf8(std::string_view(bytes).substr(2));
    } catch (const rtl::EEncodingError& e) {
      throw rtl::EEncodingError(name.empty() ? e.Message() : "\"" + name + "\": " + e.Message());
    }
  } else if (sniff.Utf8) {
    result.Encoding = TTextEncoding::UTF8;
    bytes.erase(0, kUtf8Mark.size());
    result.Text = std::move(bytes);
  } else {
    result.Text = std::move(bytes);
  }
  return result;
}

std::string EncodeSourceText(std::string&& text, TTextEncoding encoding, const std::string& name) {
  if (encoding == TTextEncoding::Default) return std::move(text);
  if (encoding == TTextEncoding::UTF8)
    return std::move(text.insert(0, kUtf8Mark.data(), kUtf8Mark.size()));
  return EncodeSourceText(std::string_view(text), encoding, name);
}

std::string EncodeSourceText(std::string_view text, TTextEncoding encoding,
                             const std::string& name) {
  switch (encoding) {
    case TTextEncoding::UTF16LE:
      try {
        return std::string(kUtf16LeMark) + rtl::Utf8ToUtf16Le(text);
      } catch (const rtl::EEncodingError& e) {
        throw rtl::EEncodingError(name.empty() ? e.Message() : "\"" + name + "\": " + e.Message());
      }
    case TTextEncoding::UTF8:
      return std::string(kUtf8Mark) + std::string(text);
    case TTextEncoding::Default:
      break;
  }
  return std::string(text);
}

}  // namespace migwiz
