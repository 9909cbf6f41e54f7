// Rewriting of form files, text and binary, and the database aliases of a project's forms.
#include <cstring>

#include "MigWizard/FormParser.h"
#include "MigWizard/PasParser.h"
#include "MigWizard/Replacer.h"
#include "rtl/FormStreams.h"
#include "rtl/SysUtils.h"

namespace migwiz {

namespace {

constexpr char kResHeader[3] = {'\xFF', '\x0A', '\x00'};

// Where the scan of a form text stands.
struct TFormObject {
  std::string Name;
  std::string ClassName;
  std::string LastIdent;
  int Keyword = 0;  // token code of the keyword that opened the object (alias scan)
  bool ExpectName = false;
  bool ExpectClass = false;
};

bool IsHeaderKeyword(int code) {
  return code == tkObject || code == tkInherited || code == tkInline;
}

// Whether the identifier ending at offset `end` is an object's name: a colon follows it, maybe
// after blanks. Otherwise the header has no name and the identifier is the class.
bool NameFollows(std::string_view text, size_t end) {
  while (end < text.size() &&
         (text[end] == ' ' || text[end] == '\t' || text[end] == '\r' || text[end] == '\n'))
    ++end;
  return end < text.size() && text[end] == ':';
}

bool IsIndent(char c) {
  return c == ' ' || c == '\t';
}
bool IsLineBreak(char c) {
  return c == '\r' || c == '\n';
}

std::string Where(const std::string& name) {
  return name.empty() ? "form" : "\"" + name + "\"";
}

}  // namespace

TFormSource ReadForm(rtl::TStream& in, const std::string& name) {
  TFormSource form;
  std::int64_t start = in.Position();
  char head[3];
  size_t got = in.Read(head, 3);
  if (got == 3 && std::memcmp(head, kResHeader, 3) == 0) {
    form.Binary = true;
    std::string& resName = form.RCData.Name;
    char c;
    while (true) {
      if (in.Read(&c, 1) != 1)
        throw rtl::EReadError("Binary form " + Where(name) +
                              ": the resource header ends before the end of its name");
      if (c == '\0') break;
      resName += c;
    }
    unsigned char fixed[6];
    if (in.Read(fixed, 6) != 6)
      throw rtl::EReadError("Binary form " + Where(name) + ": the resource header is cut short");
    form.RCData.Size = static_cast<std::int32_t>(fixed[2] | fixed[3] << 8 | fixed[4] << 16 |
                                                 static_cast<std::uint32_t>(fixed[5]) << 24);
    std::int64_t left = in.Size() - in.Position();
    if (form.RCData.Size < 0 || left < form.RCData.Size)
      throw rtl::EReadError(rtl::Format("Binary form %s: the header announces %d bytes, %d follow",
                                        {Where(name), form.RCData.Size, left}));
    try {
      rtl::ObjectBinaryToText(in, form.Text);
    } catch (const rtl::Exception& e) {
      throw rtl::EFormStreamError("Binary form " + Where(name) + ": " + e.Message());
    }
    return form;
  }
  in.Seek(start);
  TSourceText source = ReadSourceText(in, name);
  // A zero byte would have cut the form short when it is written back.
  size_t zero = source.Text.find('\0');
  if (zero != std::string::npos)
    throw rtl::EReadError(rtl::Format("Text form %s holds a zero byte at offset %d",
                                      {Where(name), static_cast<std::int64_t>(zero)}));
  form.Text = std::move(source.Text);
  form.Encoding = source.Encoding;
  return form;
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
    std::string_view lexeme;
    int idents = 0;
    for (int code = parser.GetNext(lexeme); code != tkEOF; code = parser.GetNext(lexeme)) {
      if (code == tkIdent && ++idents == 2) {
        form.RCData.Name = rtl::UpperCase(lexeme);
        break;
      }
    }
  }
  return FormFileBytes(form.Text, TTextEncoding::Default, true, form.RCData, path);
}

void TComponentReplacer::ProcessForm(std::string_view text, const std::string& outputPath,
                                     TTextEncoding encoding, bool binary, const TRCData& rcData) {
  TPasParser parser(text);
  std::string_view current = text;  // the text the tokenizer runs over
  TFormObject obj;
  int changeCount = 0;
  size_t savedOutput = 0;
  int keywordOffset = 0;
  int depth = -1;
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  std::string_view lexeme;
  std::string rebuilt;
  while (true) {
    int code = parser.GetNext(lexeme);
    if (code == tkEOF) break;
    if (code == tkIdent && obj.ExpectName) {
      obj.ExpectName = false;
      obj.ExpectClass = true;
      if (NameFollows(current, static_cast<size_t>(parser.PrevPos()) + lexeme.size())) {
        obj.Name = lexeme;
        out += lexeme;
        continue;
      }
      obj.Name.clear();  // an unnamed header: this is the class
    }
    if (code == tkIdent && obj.ExpectClass) {
      obj.ClassName = lexeme;
      obj.ExpectClass = false;
      if (const std::string* target = FindReplacement(lexeme)) {
        FormParser->SetNewClassName(*target);
        int pos = keywordOffset + 1;
        if (FormParser->Parse(current, "<object>", pos)) {
          ++changeCount;
          FormParser->BuildObjectText(depth, rebuilt);
          // The rebuilt text brings its own indentation and line break: drop the blanks that
          // indented the keyword, and keep those that indent the line after the object.
          out.resize(savedOutput);
          size_t lineStart = out.size();
          while (lineStart > 0 && IsIndent(out[lineStart - 1])) --lineStart;
          if (lineStart == 0 || IsLineBreak(out[lineStart - 1])) out.resize(lineStart);
          out += rebuilt;
          size_t resume = static_cast<size_t>(pos - 1);
          size_t nextLine = resume;
          while (nextLine > 0 && IsIndent(current[nextLine - 1])) --nextLine;
          if (nextLine > 0 && IsLineBreak(current[nextLine - 1])) resume = nextLine;
          current = current.substr(resume);
          parser.SetText(current);
          --depth;
        } else {
          out += *target;
        }
        continue;
      }
    } else if (code == tkEnd) {
      --depth;
    } else if (code == tkItem) {
      ++depth;
    } else if (IsHeaderKeyword(code)) {
      obj.ExpectName = true;
      keywordOffset = parser.PrevPos();
      savedOutput = out.size();
      ++depth;
    }
    out += lexeme;
  }
  Log.WriteLine(ChangeCountText(changeCount));
  if (changeCount > 0) {
    WriteForm(outputPath, out, encoding, binary, rcData);
    ++ChangedCount;
  }
}

std::string FormFileBytes(std::string_view text, TTextEncoding encoding, bool binary,
                          const TRCData& rcData, const std::string& name) {
  if (!binary) return EncodeSourceText(text, encoding, name);
  rtl::TMemoryStream bytes;
  bytes.Write(kResHeader, 3);
  bytes.Write(rcData.Name);
  bytes.Write("\0\x30\x10", 3);
  std::int64_t sizeAt = bytes.Position();
  bytes.Write("\0\0\0\0", 4);
  try {
    rtl::ObjectTextToBinary(text, bytes);
  } catch (const rtl::Exception& e) {
    throw rtl::EFormStreamError("Form " + Where(name) + ": " + e.Message());
  }
  std::uint32_t size = static_cast<std::uint32_t>(bytes.Size() - sizeAt - 4);
  unsigned char le[4] = {static_cast<unsigned char>(size), static_cast<unsigned char>(size >> 8),
                         static_cast<unsigned char>(size >> 16),
                         static_cast<unsigned char>(size >> 24)};
  bytes.Seek(sizeAt);
  bytes.Write(le, 4);
  return bytes.TakeBytes();
}

void TComponentReplacer::WriteForm(const std::string& outputPath, std::string_view output,
                                   TTextEncoding encoding, bool binary, const TRCData& rcData) {
  WriteOutput(outputPath, FormFileBytes(output, encoding, binary, rcData, outputPath));
}

void TComponentReplacer::ScanDatabaseAliases(const std::string& path) {
  TFormSource form;
  {
    rtl::TFileStream in(path, rtl::TFileStream::Mode::OpenRead);
    form = ReadForm(in, path);
  }
  TPasParser parser(form.Text);
  parser.KeepStringQuotes = false;
  TFormObject obj;
  std::string formName;
  std::string_view lexeme;
  bool rootSeen = false;
  for (int code = parser.GetNext(lexeme); code != tkEOF; code = parser.GetNext(lexeme)) {
    switch (code) {
      case tkIdent:
        if (obj.ExpectName) {
          obj.ExpectName = false;
          obj.ExpectClass = true;
          const bool named =
              NameFollows(form.Text, static_cast<size_t>(parser.PrevPos()) + lexeme.size());
          obj.Name = named ? lexeme : std::string_view();
          if (!rootSeen) formName = obj.Name;
          rootSeen = true;
          if (!named) {
            obj.ClassName = lexeme;
            obj.ExpectClass = false;
          }
        } else if (obj.ExpectClass) {
          obj.ClassName = lexeme;
          obj.ExpectClass = false;
        }
        obj.LastIdent = lexeme;
        break;
      case tkEnd:
        obj.Name.clear();
        obj.ClassName.clear();
        break;
      case tkObject:
      case tkInherited:
      case tkInline:
        obj.Keyword = code;
        obj.ExpectName = true;
        break;
      case tkString:
        // An unnamed database is no component a connection could name. An inherited or inline
        // one stands for the ancestor's or the frame's, whose own form defines the alias: it
        // only fills in while none is known.
        if (TClassRoles::Has(FormParser->ClassRoles.Databases, obj.ClassName) && obj.LastIdent == "DatabaseName" && !obj.Name.empty() &&
            (obj.Keyword == tkObject || DatabaseAliases.IndexOfName(lexeme) < 0))
          DatabaseAliases.SetValue(lexeme, formName.empty() ? obj.Name : formName + "." + obj.Name);
        break;
      default:
        break;
    }
  }
}

void TComponentReplacer::ResolveDatabaseName(const std::string& propName, const std::string& value,
                                             std::string& newValue) {
  rtl::Assert(propName == "DatabaseName", "alias question for another property than DatabaseName");
  newValue = DatabaseAliases.Values(value);
}

}  // namespace migwiz
