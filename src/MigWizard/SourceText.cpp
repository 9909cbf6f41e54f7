#include "MigWizard/SourceText.h"

#include "rtl/Encoding.h"
#include "rtl/SysUtils.h"

namespace migwiz {

TSourceText ReadSourceText(rtl::TStream& in, const std::string& name) {
  return ReadSourceText(in.ReadRest(), name);
}

TSourceText ReadSourceText(std::string bytes, const std::string& name) {
  TSourceText result;
  auto startsWith = [&](std::string_view mark) {
    return bytes.size() >= mark.size() && std::string_view(bytes).substr(0, mark.size()) == mark;
  };
  if (startsWith("\xFF\xFE")) {
    result.Encoding = TTextEncoding::UTF16LE;
    try {
      result.Text = rtl::Utf16LeToUtf8(std::string_view(bytes).substr(2));
    } catch (const rtl::EEncodingError& e) {
      throw rtl::EEncodingError(name.empty() ? e.Message() : "\"" + name + "\": " + e.Message());
    }
  } else if (startsWith("\xEF\xBB\xBF")) {
    result.Encoding = TTextEncoding::UTF8;
    bytes.erase(0, 3);
    result.Text = std::move(bytes);
  } else {
    result.Text = std::move(bytes);
  }
  return result;
}

std::string EncodeSourceText(std::string&& text, TTextEncoding encoding, const std::string& name) {
  if (encoding == TTextEncoding::Default) return std::move(text);
  if (encoding == TTextEncoding::UTF8) return std::move(text.insert(0, "\xEF\xBB\xBF"));
  return EncodeSourceText(std::string_view(text), encoding, name);
}

std::string EncodeSourceText(std::string_view text, TTextEncoding encoding,
                             const std::string& name) {
  switch (encoding) {
    case TTextEncoding::UTF16LE:
      try {
        return "\xFF\xFE" + rtl::Utf8ToUtf16Le(text);
      } catch (const rtl::EEncodingError& e) {
        throw rtl::EEncodingError(name.empty() ? e.Message() : "\"" + name + "\": " + e.Message());
      }
    case TTextEncoding::UTF8:
      return "\xEF\xBB\xBF" + std::string(text);
    case TTextEncoding::Default:
      break;
  }
  return std::string(text);
}

}  // namespace migwiz
