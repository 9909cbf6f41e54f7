// Form files: read as text whatever their format (a binary form converted), written back in
// their format with the resource header of a binary form, and the object headers of a form text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "MigWizard/SourceText.h"
#include "rtl/FileIO.h"

namespace migwiz {

// The resource header of a binary form.
struct TRCData {
  std::string Name;       // written back unchanged
  std::int32_t Size = 0;  // recomputed when writing
};

// A form as read: its text (a binary form converted), how it was stored, and its header.
struct TFormSource {
  std::string Text;
  TTextEncoding Encoding = TTextEncoding::Default;
  bool Binary = false;
  TRCData RCData;
};

// Reads a form file from the stream's position: binary when it starts with FF 0A 00, else text.
// Raises an error naming `name` for a cut-short header or stream and for a text form that holds
// a zero byte.
TFormSource ReadForm(rtl::TStream& in, const std::string& name = std::string());
// The same for a whole file's bytes, a text form's taken over without a copy.
TFormSource ReadForm(std::string bytes, const std::string& name);
// The bytes of a form file: text with its byte-order mark, or the binary with its header.
std::string FormFileBytes(std::string_view text, TTextEncoding encoding, bool binary,
                          const TRCData& rcData, const std::string& name = std::string());
// The same, a text form's own text becoming its bytes where it needs no encoding.
std::string FormFileBytes(std::string&& text, TTextEncoding encoding, bool binary,
                          const TRCData& rcData, const std::string& name);

// A form file as text (a binary form converted; a text form as it is stored) and as a binary
// form file with its resource header (named after the root object's class, in capitals).
std::string ConvertFormToText(const std::string& path);
std::string ConvertFormToBinary(const std::string& path);

// Follows the object headers of a form text token by token: "object Name: Class",
// "inherited Name: Class [2]", "inline Class" (no name). Fed every token of the tokenizer, it
// says which token opens a header, which one is its name and which one its class.
class TObjectHeaderScanner {
 public:
  enum class TStep { None, Keyword, Name, Class };
  // text: what the tokenizer runs over; offset: the token's offset in it (PrevPos).
  TStep Feed(int code, std::string_view lexeme, std::string_view text, size_t offset);
  int Keyword() const { return keyword_; }           // tkObject, tkInherited or tkInline
  const std::string& Name() const { return name_; }  // "" for an unnamed object
  const std::string& ClassName() const { return className_; }
  // The header's object has ended: name and class are forgotten.
  void ObjectEnded();

 private:
  int keyword_ = 0;
  bool expectName_ = false;
  bool expectClass_ = false;
  std::string name_, className_;
};

}  // namespace migwiz
