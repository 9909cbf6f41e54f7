#include "MigWizard/FormFile.h"

#include <cstring>

#include "MigWizard/FileSniff.h"
#include "MigWizard/PasParser.h"
#include "MigWizard/ROvoradRes.h"
#include "rtl/FormStreams.h"
#include "rtl/SysUtils.h"

namespace migwiz {

namespace {

std::string Where(const std::string& name) {
  return name.empty() ? "form" : "\"" + name + "\"";
}

// Whether the identifier ending at offset `end` is an object's name: a colon follows it, maybe
// after blanks. Otherwise the header has no name and the identifier is the class.
bool NameFollows(std::string_view text, size_t end) {
  while (end < text.size() &&
         (text[end] == ' ' || text[end] == '\t' || text[end] == '\r' || text[end] == '\n'))
    ++end;
  return end < text.size() && text[end] == ':';
}

TFormSource TextForm(TSourceText source, const std::string& name) {
  // A zero byte would have cut the form short when it is written back.
  size_t zero = source.Text.find('\0');
  if (zero != std::string::npos)
    throw rtl::EReadError(
        rtl::Format(res::sTextFormZeroByte, {Where(name), static_cast<std::int64_t>(zero)}));
  TFormSource form;
  form.Text = std::move(source.Text);
  form.Encoding = source.Encoding;
  return form;
}

}  // namespace

TFormSource ReadForm(rtl::TStream& in, const std::string& name) {
  TFormSource form;
  std::int64_t start = in.Position();
  char head[kBinaryFormMark.size()];
  const size_t got = in.Read(head, sizeof head);
  if (SniffBytes(std::string_view(head, got)).BinaryForm) {
    form.Binary = true;
    std::string& resName = form.RCData.Name;
    char c;
    while (true) {
      if (in.Read(&c, 1) != 1)
        throw rtl::EReadError(rtl::Format(res::sBinaryFormNameCut, {Where(name)}));
      if (c == '\0') break;
      resName += c;
    }
    unsigned char fixed[6];
    if (in.Read(fixed, 6) != 6)
      throw rtl::EReadError(rtl::Format(res::sBinaryFormHeaderCut, {Where(name)}));
    form.RCData.Size = static_cast<std::int32_t>(fixed[2] | fixed[3] << 8 | fixed[4] << 16 |
                                                 static_cast<std::uint32_t>(fixed[5]) << 24);
    std::int64_t left = in.Size() - in.Position();
    if (form.RCData.Size < 0 || left < form.RCData.Size)
      throw rtl::EReadError(
          rtl::Format(res::sBinaryFormSizeMismatch, {Where(name), form.RCData.Size, left}));
    try {
      rtl::ObjectBinaryToText(in, form.Text);
    } catch (const rtl::Exception& e) {
      throw rtl::EFormStreamError(rtl::Format(res::sBinaryFormError, {Where(name), e.Message()}));
    }
    return form;
  }
  in.Seek(start);
  return TextForm(ReadSourceText(in, name), name);
}

TFormSource ReadForm(std::string bytes, const std::string& name) {
  if (SniffBytes(bytes).BinaryForm) {
    rtl::TMemoryStream in(std::move(bytes));
    return ReadForm(in, name);
  }
  return TextForm(ReadSourceText(std::move(bytes), name), name);
}

std::string FormFileBytes(std::string&& text, TTextEncoding encoding, bool binary,
                          const TRCData& rcData, const std::string& name) {
  if (!binary) return EncodeSourceText(std::move(text), encoding, name);
  return FormFileBytes(std::string_view(text), encoding, binary, rcData, name);
}

std::string FormFileBytes(std::string_view text, TTextEncoding encoding, bool binary,
                          const TRCData& rcData, const std::string& name) {
  if (!binary) return EncodeSourceText(text, encoding, name);
  rtl::TMemoryStream bytes;
  bytes.Write(kBinaryFormMark.data(), kBinaryFormMark.size());
  bytes.Write(rcData.Name);
  bytes.Write("\0\x30\x10", 3);
  std::int64_t sizeAt = bytes.Position();
  bytes.Write("\0\0\0\0", 4);
  try {
    rtl::ObjectTextToBinary(text, bytes);
  } catch (const rtl::Exception& e) {
    throw rtl::EFormStreamError(rtl::Format(res::sFormError, {Where(name), e.Message()}));
  }
  std::uint32_t size = static_cast<std::uint32_t>(bytes.Size() - sizeAt - 4);
  unsigned char le[4] = {static_cast<unsigned char>(size), static_cast<unsigned char>(size >> 8),
                         static_cast<unsigned char>(size >> 16),
                         static_cast<unsigned char>(size >> 24)};
  bytes.Seek(sizeAt);
  bytes.Write(le, 4);
  return bytes.TakeBytes();
}

std::string ConvertFormToText(const std::string& path) {
  rtl::TFileStream in(path, rtl::TFileStream::Mode::OpenRead);
  TFormSource form = ReadForm(in, path);
  return FormFileBytes(form.Text, form.Encoding, false, form.RCData, path);
}

std::string ConvertFormToBinary(const std::string& path) {
  rtl::TFileStream in(path, rtl::TFileStream::Mode::OpenRead);
  TFormSource form = ReadForm(in, path);
  if (!form.Binary) {
    // The IDE names a form's resource after its class, in capitals.
    TPasParser parser(form.Text);
    TObjectHeaderScanner headers;
    std::string_view lexeme;
    for (int code = parser.GetNext(lexeme); code != tkEOF; code = parser.GetNext(lexeme)) {
      if (headers.Feed(code, lexeme, form.Text, static_cast<size_t>(parser.PrevPos())) ==
          TObjectHeaderScanner::TStep::Class) {
        form.RCData.Name = rtl::UpperCase(headers.ClassName());
        break;
      }
    }
  }
  return FormFileBytes(form.Text, TTextEncoding::Default, true, form.RCData, path);
}

TObjectHeaderScanner::TStep TObjectHeaderScanner::Feed(int code, std::string_view lexeme,
                                                       std::string_view text, size_t offset) {
  if (code == tkObject || code == tkInherited || code == tkInline) {
    keyword_ = code;
    expectName_ = true;
    expectClass_ = false;
    return TStep::Keyword;
  }
  if (code != tkIdent) return TStep::None;
  if (expectName_) {
    expectName_ = false;
    if (NameFollows(text, offset + lexeme.size())) {
      name_ = lexeme;
      expectClass_ = true;
      return TStep::Name;
    }
    name_.clear();
    className_ = lexeme;
    return TStep::Class;
  }
  if (!expectClass_) return TStep::None;
  expectClass_ = false;
  className_ = lexeme;
  return TStep::Class;
}

void TObjectHeaderScanner::ObjectEnded() {
  name_.clear();
  className_.clear();
}

}  // namespace migwiz
