// Stand-ins for the runtime library's exception classes, formatting and string helpers.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace rtl {

// Root of every error the system raises; carries only a message.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }

 private:
  std::string message_;
};

#define MIGWIZ_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {                 \
   public:                                   \
    using Base::Base;                        \
  }

// A condition only a programming error can cause; a host survives it like any other error.
MIGWIZ_DECLARE_EXCEPTION(EAssertionFailed, Exception);
MIGWIZ_DECLARE_EXCEPTION(EInvalidCast, Exception);
MIGWIZ_DECLARE_EXCEPTION(EConvertError, Exception);
MIGWIZ_DECLARE_EXCEPTION(EStringListError, Exception);
MIGWIZ_DECLARE_EXCEPTION(EStreamError, Exception);
MIGWIZ_DECLARE_EXCEPTION(EFCreateError, EStreamError);
MIGWIZ_DECLARE_EXCEPTION(EFOpenError, EStreamError);
MIGWIZ_DECLARE_EXCEPTION(EReadError, EStreamError);
MIGWIZ_DECLARE_EXCEPTION(EWriteError, EStreamError);
MIGWIZ_DECLARE_EXCEPTION(EEncodingError, Exception);
MIGWIZ_DECLARE_EXCEPTION(EInOutError, Exception);

// Raises EAssertionFailed with the message when the condition does not hold.
inline void Assert(bool condition, const char* message) {
  if (!condition) throw EAssertionFailed(std::string("Assertion failed: ") + message);
}

// One argument of Format: text or a whole number.
using FormatArg = std::variant<std::string_view, std::int64_t>;

// printf-like formatting of the message texts: %s takes text, %d a number, %% a percent sign.
std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args);

// Letter case of ASCII letters only; other bytes stay as they are.
char UpCase(char c);
char LoCase(char c);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
// Compares without regard to ASCII letter case: <0, 0 or >0.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view s);
bool EndsText(std::string_view suffix, std::string_view s);

std::string IntToStr(std::int64_t value);

// The date-time text of the user's locale: short date, a blank, the time; no time at midnight.
std::string DateTimeToStr(std::int64_t unixSeconds);
std::string NowText();

}  // namespace rtl
