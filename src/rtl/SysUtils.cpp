#include "rtl/SysUtils.h"

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <iomanip>
#include <locale>
#include <sstream>

namespace rtl {

std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(fmt.size() + 32);
  auto next = args.begin();
  for (size_t i = 0; i < fmt.size(); ++i) {
    char c = fmt[i];
    if (c != '%' || i + 1 >= fmt.size()) {
      out += c;
      continue;
    }
    char conv = fmt[i + 1];
    if (conv == '%') {
      out += '%';
      ++i;
      continue;
    }
    if (conv != 's' && conv != 'd') {
      out += c;
      continue;
    }
    ++i;
    if (next == args.end())
      throw EConvertError("Format '" + std::string(fmt) +
                          "' invalid or incompatible with argument");
    const FormatArg& arg = *next++;
    if (conv == 's') {
      if (auto* s = std::get_if<std::string_view>(&arg)) {
        out += *s;
      } else {
        throw EConvertError("Format '" + std::string(fmt) +
                            "' invalid or incompatible with argument");
      }
    } else {
      if (auto* n = std::get_if<std::int64_t>(&arg)) {
        out += std::to_string(*n);
      } else {
        throw EConvertError("Format '" + std::string(fmt) +
                            "' invalid or incompatible with argument");
      }
    }
  }
  return out;
}

char UpCase(char c) {
  return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}
char LoCase(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = UpCase(c);
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = LoCase(c);
  return r;
}

int CompareText(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(UpCase(a[i]));
    unsigned char y = static_cast<unsigned char>(UpCase(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

bool StartsText(std::string_view prefix, std::string_view s) {
  return s.size() >= prefix.size() && SameText(prefix, s.substr(0, prefix.size()));
}

bool EndsText(std::string_view suffix, std::string_view s) {
  return s.size() >= suffix.size() && SameText(suffix, s.substr(s.size() - suffix.size()));
}

std::string IntToStr(std::int64_t value) {
  return std::to_string(value);
}

namespace {

// The C locale's short date has a two-digit year (03/15/24), which is ambiguous in a log; a user
// who chose no locale gets the ISO form instead. setlocale(LC_TIME, "") reads the same variables.
bool UsesCLocaleTime() {
#ifdef _WIN32
  return false;
#else
  for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      std::string_view v(value);
      return v == "C" || v == "POSIX" || v.substr(0, 2) == "C.";
    }
  }
  return true;
#endif
}

}  // namespace

std::string DateTimeToStr(std::int64_t unixSeconds) {
  std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  bool plain = UsesCLocaleTime();
  std::locale loc = std::locale::classic();
  if (!plain) {
    try {
      loc = std::locale("");
    } catch (const std::exception&) {
      plain = true;
    }
  }
  std::ostringstream os;
  os.imbue(loc);
  os << std::put_time(&tm, plain ? "%Y-%m-%d" : "%x");
  if (tm.tm_hour != 0 || tm.tm_min != 0 || tm.tm_sec != 0)
    os << ' ' << std::put_time(&tm, plain ? "%H:%M:%S" : "%X");
  return os.str();
}

std::string NowText() {
  return DateTimeToStr(static_cast<std::int64_t>(std::time(nullptr)));
}

}  // namespace rtl
