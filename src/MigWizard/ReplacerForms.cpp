// Rewriting of form files, text and binary, and the database aliases of a project's forms.
#include "MigWizard/FormParser.h"
#include "MigWizard/PasParser.h"
#include "MigWizard/Replacer.h"
#include "rtl/SysUtils.h"

namespace migwiz {

namespace {

bool IsIndent(char c) {
  return c == ' ' || c == '\t';
}
bool IsLineBreak(char c) {
  return c == '\r' || c == '\n';
}

}  // namespace

void TComponentReplacer::ProcessForm(std::string_view text, const std::string& outputPath,
                                     TTextEncoding encoding, bool binary, const TRCData& rcData) {
  TPasParser parser(text);
  std::string_view current = text;  // the text the tokenizer runs over
  TObjectHeaderScanner headers;
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
    switch (headers.Feed(code, lexeme, current, static_cast<size_t>(parser.PrevPos()))) {
      case TObjectHeaderScanner::TStep::Keyword:
        keywordOffset = parser.PrevPos();
        savedOutput = out.size();
        ++depth;
        break;
      case TObjectHeaderScanner::TStep::Class: {
        const std::string* target = FindReplacement(lexeme);
        if (!target) break;
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
      default:
        if (code == tkEnd)
          --depth;
        else if (code == tkItem)
          ++depth;
        break;
    }
    out += lexeme;
  }
  Log.WriteLine(ChangeCountText(changeCount));
  if (changeCount > 0) {
    WriteForm(outputPath, out, encoding, binary, rcData);
    ++ChangedCount;
  }
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
  TObjectHeaderScanner headers;
  std::string formName;
  std::string_view lexeme;
  std::string lastIdent;
  bool rootSeen = false;
  for (int code = parser.GetNext(lexeme); code != tkEOF; code = parser.GetNext(lexeme)) {
    const auto step = headers.Feed(code, lexeme, form.Text, static_cast<size_t>(parser.PrevPos()));
    if (step == TObjectHeaderScanner::TStep::Name ||
        (step == TObjectHeaderScanner::TStep::Class && headers.Name().empty() && !rootSeen)) {
      if (!rootSeen) formName = headers.Name();
      rootSeen = true;
    }
    switch (code) {
      case tkIdent:
        lastIdent = lexeme;
        break;
      case tkEnd:
        headers.ObjectEnded();
        break;
      case tkString:
        // An unnamed database is no component a connection could name. An inherited or inline
        // one stands for the ancestor's or the frame's, whose own form defines the alias: it
        // only fills in while none is known.
        if (TClassRoles::Has(FormParser->ClassRoles.Databases, headers.ClassName()) &&
            lastIdent == "DatabaseName" && !headers.Name().empty() &&
            (headers.Keyword() == tkObject || DatabaseAliases.IndexOfName(lexeme) < 0))
          DatabaseAliases.SetValue(lexeme, formName.empty() ? headers.Name()
                                                            : formName + "." + headers.Name());
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
