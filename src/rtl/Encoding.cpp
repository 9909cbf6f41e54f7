#include "rtl/Encoding.h"

#include <iconv.h>

#include <cerrno>

#include "rtl/SysUtils.h"

namespace rtl {

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw EEncodingError(std::string("No conversion from ") + from + " to " + to);
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  std::string Convert(std::string_view in, const char* what) {
    std::string out;
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    size_t used = 0;
    while (true) {
      char* dst = out.data() + used;
      size_t dstLeft = out.size() - used;
      size_t r = iconv(cd_, srcLeft ? &src : nullptr, &srcLeft, &dst, &dstLeft);
      used = out.size() - dstLeft;
      if (r != static_cast<size_t>(-1)) {
        if (srcLeft == 0) break;
        continue;
      }
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      size_t offset = in.size() - srcLeft;
      throw EEncodingError(
          Format("Invalid %s text at byte %d", {what, static_cast<std::int64_t>(offset)}));
    }
    out.resize(used);
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string Utf16LeToUtf8(std::string_view bytes) {
  Converter c("UTF-8", "UTF-16LE");
  return c.Convert(bytes, "UTF-16");
}

std::string Utf8ToUtf16Le(std::string_view text) {
  Converter c("UTF-16LE", "UTF-8");
  return c.Convert(text, "UTF-8");
}

}  // namespace rtl
