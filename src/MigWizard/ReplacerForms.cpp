// Rewriting of form files, text and binary, and the database aliases of a project's forms.
#include <algorithm>
#include <optional>

#include "MigWizard/Edits.h"
#include "MigWizard/FileSniff.h"
#include "MigWizard/FormParser.h"
#include "MigWizard/PasParser.h"
#include "MigWizard/ROvoradRes.h"
#include "MigWizard/Replacer.h"
#include "MigWizard/RunState.h"
#include "MigWizard/WordSearch.h"
#include "rtl/FileIO.h"
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
                                     TTextEncoding encoding, bool binary, const TRCData& rcData,
                                     const std::string& formPath, TFileWork& work) {
  if (!work.Parser) work.Parser = FormParser.get();
  TFormParser& formParser = *work.Parser;
  TFileReport* const fileReport = work.ReportOrNull();
  TObjectHeaderScanner headers;
  // For the report: the names of the objects around the parse position, and the line at
  // lineOffset.
  std::vector<std::string> names;
  int line = 1;
  size_t lineOffset = 0;
  auto lineAt = [&](size_t offset) {
    line += static_cast<int>(CountLineFeeds(text.data() + lineOffset, text.data() + offset));
    lineOffset = offset;
    return line;
  };
  int changeCount = 0;
  size_t keywordOffset = 0;
  int depth = -1;
  // Each rebuilt object replaces its text; what lies between them is copied as it is.
  TEdits edits;
  size_t from = 0;  // the scan (re)starts here, behind the last rebuilt object
  std::string rebuilt;
  // The objects no rule converts that still name a database, for the report.
  std::optional<TFormLeftovers> leftovers;
  if (work.Checks && work.Checks->Revisions && fileReport)
    leftovers.emplace(*work.Checks->Revisions, text);
  std::string rootClass;  // upper-cased
  // Object headers and ends are all that is looked for; after a rebuilt object the scan starts
  // again on the text behind it.
  bool again = true;
  auto onToken = [&](int code, std::string_view lexeme) {
    if (code == tkComment || code == tkSemicolon) return true;
    const auto at = static_cast<size_t>(lexeme.data() - text.data());
    switch (headers.Feed(code, lexeme, text, at)) {
      case TObjectHeaderScanner::TStep::Keyword:
        keywordOffset = at;
        // Damaged text can close more than it opened: the depth stays a valid index.
        depth = std::max(depth + 1, 0);
        names.resize(static_cast<size_t>(depth) + 1);
        names.back().clear();
        if (leftovers) leftovers->Opened(lexeme.data());
        break;
      case TObjectHeaderScanner::TStep::Name:
        names.back() = headers.Name();
        if (leftovers) leftovers->Named(lexeme);
        break;
      case TObjectHeaderScanner::TStep::Class: {
        if (names.back().empty()) names.back() = lexeme;
        if (leftovers) leftovers->Classed(lexeme);
        // The form's class and the variable the IDE names after its root object, for the units
        // that reach its objects through it.
        if (leftovers && depth == 0 && rootClass.empty()) {
          rootClass = rtl::UpperCase(lexeme);
          fileReport->Facts.Globals.emplace_back(rtl::UpperCase(headers.Name()), rootClass);
        }
        const std::string* target = FindReplacement(lexeme);
        if (!target) break;
        formParser.SetNewClassName(*target);
        int pos = static_cast<int>(keywordOffset) + 1;
        if (formParser.Parse(text, "<object>", pos)) {
          ++changeCount;
          if (fileReport) ReportObject(names, lineAt(keywordOffset), work);
          if (leftovers && !rootClass.empty() && depth > 0)
            fileReport->Facts.Fields.push_back({rootClass,
                                                rtl::UpperCase(formParser.FormState().ObjName),
                                                rtl::UpperCase(formParser.FormState().ObjType)});
          formParser.BuildObjectText(depth, rebuilt);
          // The rebuilt text brings its own indentation and line break: it takes the place of
          // the blanks that indented the keyword (when only they stand before it on its line;
          // the object rebuilt before ends in a line break), and leaves those that indent the
          // line after the object.
          size_t start = keywordOffset;
          while (start > from && IsIndent(text[start - 1])) --start;
          if (!(start == 0 || (start == from && !edits.Empty()) || IsLineBreak(text[start - 1])))
            start = keywordOffset;
          size_t resume = static_cast<size_t>(pos - 1);
          size_t nextLine = resume;
          while (nextLine > from && IsIndent(text[nextLine - 1])) --nextLine;
          if (nextLine > from && IsLineBreak(text[nextLine - 1])) resume = nextLine;
          edits.Replace(start, resume - start, rebuilt);
          if (fileReport) lineAt(resume);
          from = resume;
          depth = std::max(depth - 1, -1);
          if (leftovers) leftovers->Rebuilt();
          again = true;
          return false;
        }
        throw rtl::EConvertError(
            rtl::Format(res::sObjectNotConverted,
                        {formPath.empty() ? ExtractFileName(outputPath) : formPath,
                         headers.Name().empty() ? std::string(lexeme)
                                                : headers.Name() + ": " + std::string(lexeme),
                         1 + static_cast<std::int64_t>(
                                 CountLineFeeds(text.data(), text.data() + keywordOffset))}));
      }
      default:
        // An "end" that closes nothing (a property of that name, a stray one) leaves the depth
        // where it is: the next object's depth must stay a valid index.
        if (code == tkEnd) {
          depth = std::max(depth - 1, -1);
          if (leftovers) leftovers->Closed(fileReport, work.Checks->KeepDetail);
        } else if (code == tkItem) {
          ++depth;
          if (leftovers) leftovers->ItemOpened();
        } else if (code == tkIdent && leftovers) {
          leftovers->Identifier(lexeme);
        }
        break;
    }
    return true;
  };
  while (again) {
    again = false;
    ScanPascalTokens(text.substr(from), onToken);
  }
  work.Lines.push_back(ChangeCountText(changeCount));
  if (fileReport) {
    fileReport->Form = true;
    fileReport->Format = binary ? "binary" : "text";
    fileReport->Changes = changeCount;
  }
  if (changeCount > 0) WriteForm(outputPath, edits.Apply(text), encoding, binary, rcData, work);
}

void TComponentReplacer::ReportObject(const std::vector<std::string>& names, int line,
                                      TFileWork& work) {
  TFormParser& parser = *work.Parser;
  const TFormParseState& state = parser.FormState();
  TConvertedObject o;
  o.Name = state.ObjName;
  for (const std::string& name : names) o.Path += (o.Path.empty() ? "" : "/") + name;
  o.OldClass = state.ObjType;
  o.NewClass = parser.NewClassName;
  o.Line = line;
  const bool database = TClassRoles::Has(parser.ClassRoles.Databases, state.ObjType);
  for (const TPropertyConversion& c : parser.Conversions) {
    if (c.DroppedParts) {
      for (const std::string& part : *c.DroppedParts) o.Dropped.push_back({c.Name, part});
    } else if (c.FirstEmitted == c.EmittedEnd) {
      o.Dropped.push_back({c.Name, c.Value});
      // A database's own DatabaseName names the alias it defines; anywhere else it used one.
      if (c.Name == "DatabaseName" && !database && c.Value.size() >= 2)
        o.UnresolvedAlias = c.Value.substr(1, c.Value.size() - 2);
      continue;
    }
    for (int k = c.FirstEmitted; k < c.EmittedEnd; ++k)
      if (parser.Properties[k] != c.Name) o.Renamed.push_back({c.Name, parser.Properties[k]});
  }
  TFileReport& file = work.Report;
  ++file.ObjectCount;
  file.DroppedCount += static_cast<int>(o.Dropped.size());
  file.UnresolvedCount += o.UnresolvedAlias ? 1 : 0;
  if (!work.Checks || work.Checks->KeepDetail) file.Objects.push_back(std::move(o));
}

void TComponentReplacer::WriteForm(const std::string& outputPath, std::string output,
                                   TTextEncoding encoding, bool binary, const TRCData& rcData,
                                   TFileWork& work) {
  work.Output = FormFileBytes(std::move(output), encoding, binary, rcData, outputPath);
  work.OutputPath = outputPath;
  work.Changed = true;
}

TWordSearch TComponentReplacer::DatabaseWords() const {
  return TWordSearch(FormParser->ClassRoles.Databases);
}

std::vector<TComponentReplacer::TAliasDefinition> TComponentReplacer::ReadAliasDefinitions(
    const std::string& path) const {
  return ReadAliasDefinitions(path, DatabaseWords());
}

std::vector<TComponentReplacer::TAliasDefinition> TComponentReplacer::ReadAliasDefinitions(
    const std::string& path, const TWordSearch& databaseWords) const {
  std::vector<TAliasDefinition> found;
  std::string bytes = rtl::ReadFileBytes(path);
  // A form that names no database class defines no alias. A text form, 8-bit or UTF-8, and a
  // binary form hold the class name as its bytes; UTF-16 is read in full.
  if (!SniffBytes(bytes).Utf16Le && !databaseWords.FoundIn(bytes)) return found;
  TFormSource form;
  {
    rtl::TMemoryStream in(std::move(bytes));
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
        // An unnamed database is no component a connection could name.
        if (TClassRoles::Has(FormParser->ClassRoles.Databases, headers.ClassName()) &&
            lastIdent == "DatabaseName" && !headers.Name().empty())
          found.push_back({std::string(lexeme),
                           formName.empty() ? headers.Name() : formName + "." + headers.Name(),
                           headers.Keyword() == tkObject});
        break;
      default:
        break;
    }
  }
  return found;
}

void TComponentReplacer::AddAliases(const std::vector<TAliasDefinition>& definitions) {
  // An inherited or inline database stands for the ancestor's or the frame's, whose own form
  // defines the alias: it only fills in while none is known.
  for (const TAliasDefinition& d : definitions)
    if (d.Own || DatabaseAliases.IndexOfName(d.Alias) < 0)
      DatabaseAliases.SetValue(d.Alias, d.Connection);
}

void TComponentReplacer::ScanDatabaseAliases(const std::string& path) {
  AddAliases(ReadAliasDefinitions(path));
}

void TComponentReplacer::ResolveDatabaseName(const std::string& propName, const std::string& value,
                                             std::string& newValue) {
  rtl::Assert(propName == "DatabaseName", "alias question for another property than DatabaseName");
  newValue = DatabaseAliases.Values(value);
}

}  // namespace migwiz
