// The conversion with the product's rules on arbitrary bytes: every input is converted both as a
// form and as a unit, the way a run converts them. An error is a sound answer (a form whose
// objects the rules cannot convert may be refused); a crash, a failed assertion or a broken
// property below is a finding.
// - A form text our reader accepts is still accepted once converted, and the text changes only
//   where an object was rebuilt: each is replaced whole by an object with the same keyword, name
//   and index and the new class (where an object of an old class did not parse, at most its
//   class name is replaced).
// - A unit changes only in whole-word old class names, replaced by their new names, and in the
//   uses addition after DBTables; it keeps its encoding, and converting it again changes nothing.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <utility>
#include <vector>

#include "MigWizard/FormFile.h"
#include "MigWizard/FormParser.h"
#include "MigWizard/PasParser.h"
#include "MigWizard/Replacer.h"
#include "MigWizard/SourceText.h"
#include "product/KyFormParser.h"
#include "product/KyReplacer.h"
#include "rtl/FileIO.h"
#include "rtl/FormStreams.h"
#include "rtl/SysUtils.h"
#include "support/FileWork.h"
#include "support/FormAccepted.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "FuzzConvert: %s\n", what.c_str());
  std::abort();
}

bool IsIdentChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}
bool IsIndent(char c) {
  return c == ' ' || c == '\t';
}
bool IsLineBreak(char c) {
  return c == '\r' || c == '\n';
}
char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}
bool SameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Upper(x) == Upper(y); });
}

// The word at `at` of text is `word` in any letter case, with no identifier character on
// either side.
bool WordAt(std::string_view text, size_t at, std::string_view word) {
  if (text.size() - at < word.size() || (at > 0 && IsIdentChar(text[at - 1]))) return false;
  if (at + word.size() < text.size() && IsIdentChar(text[at + word.size()])) return false;
  return SameWord(text.substr(at, word.size()), word);
}

// The new class for an old one, from the product's table rather than the replacer's lookup.
const char* TargetOf(std::string_view cls) {
  for (const ky::TClassReplacement& r : ky::kReplacements)
    if (SameWord(cls, r.OldClass)) return r.NewClass;
  return nullptr;
}

// Where the text goes on after an object that parsed up to `end` (0-based): the start of the
// line, when only indentation lies between it and `end`, since the line's indentation belongs to
// what follows.
size_t ResumeAfter(std::string_view text, size_t end) {
  size_t line = end;
  while (line > 0 && IsIndent(text[line - 1])) --line;
  return line > 0 && IsLineBreak(text[line - 1]) ? line : end;
}

struct TFixture {
  migwiz::TReplaceOptions Options{ky::kSourceName};
  std::unique_ptr<migwiz::TComponentReplacer> Replacer;
  // Finds the objects to rebuild and reads the rebuilt ones, apart from the replacer's parser.
  std::unique_ptr<migwiz::TFormParser> Oracle;
  std::string Dir, FormOut, UnitPath, UnitOut, UnitAgain;

  TFixture() {
    Replacer = ky::CreateReplacer(&Options);
    Oracle = ky::KyFormParserClass()();
    Oracle->OnDatabaseName = Replacer->FormParser->OnDatabaseName;
    // A folder of its own for the outputs, in memory where there is such a file system.
    std::error_code ec;
    std::string base = fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0
                           ? "/dev/shm"
                           : fs::temp_directory_path().string();
    std::string tmpl = base + "/migwiz-fuzz-convert-XXXXXX";
    if (!::mkdtemp(tmpl.data())) Fail("cannot make a scratch folder in " + base);
    Dir = tmpl;
    FormOut = Dir + "/Out.dfm";
    UnitPath = Dir + "/Fuzz.pas";
    UnitOut = Dir + "/Out.pas";
    UnitAgain = Dir + "/Again.pas";
  }
  // Removed at exit; an input that crashes the target leaves its outputs there to look at.
  ~TFixture() {
    std::error_code ignored;
    fs::remove_all(Dir, ignored);
  }

  static TFixture& Get() {
    static TFixture fixture;
    return fixture;
  }

  // Whether the last conversion wrote that output.
  bool Written(const std::string& path) const { return rtl::FileExists(path); }
  void Forget(const std::string& path) const { ::unlink(path.c_str()); }
};

// ---------------------------------------------------------------------------------------------
// Forms

struct TRebuilt {
  size_t Keyword = 0, End = 0;  // in the input: the keyword, and where the text goes on after
  std::string Target, KeywordText, Name, Index;
};
struct TRenamed {
  size_t At = 0, Size = 0;
  std::string Target;
};

// The objects the rewrite rebuilds: those of an old class, as the header scan meets them, that
// parse; the text after a rebuilt object is scanned anew. A header of an old class that does not
// parse may have its class name replaced.
void FindRebuilt(migwiz::TFormParser& parser, std::string_view text, std::vector<TRebuilt>& rebuilt,
                 std::vector<TRenamed>& renamed) {
  migwiz::TObjectHeaderScanner headers;
  size_t base = 0, keyword = 0;
  for (bool again = true; again;) {
    again = false;
    const std::string_view current = text.substr(base);
    migwiz::ScanPascalTokens(current, [&](int code, std::string_view lexeme) {
      if (code == migwiz::tkComment || code == migwiz::tkSemicolon) return true;
      const auto at = static_cast<size_t>(lexeme.data() - current.data());
      const auto step = headers.Feed(code, lexeme, current, at);
      if (step == migwiz::TObjectHeaderScanner::TStep::Keyword) keyword = at;
      if (step != migwiz::TObjectHeaderScanner::TStep::Class) return true;
      const char* target = TargetOf(lexeme);
      if (!target) return true;
      parser.SetNewClassName(target);
      int pos = static_cast<int>(keyword) + 1;
      if (!parser.Parse(current, "<object>", pos)) {
        renamed.push_back({base + at, lexeme.size(), target});
        return true;
      }
      const migwiz::TFormParseState& s = parser.FormState();
      rebuilt.push_back({base + keyword, 0, target, s.Keyword, s.ObjName, s.ObjIndex});
      const size_t resume = ResumeAfter(current, static_cast<size_t>(pos) - 1);
      rebuilt.back().End = base + resume;
      base += resume;
      again = true;
      return false;
    });
  }
}

std::string Around(std::string_view text, size_t at) {
  const size_t from = at > 40 ? at - 40 : 0;
  std::string s(text.substr(from, 80));
  for (char& c : s)
    if (static_cast<unsigned char>(c) < ' ') c = '.';
  return s;
}

// The converted text is the input's with each rebuilt object replaced whole (the blanks that
// indented its keyword line dropped) and with nothing else changed but the replaced class names.
void CheckConvertedForm(migwiz::TFormParser& parser, std::string_view in, std::string_view out,
                        const std::vector<TRebuilt>& rebuilt,
                        const std::vector<TRenamed>& renamed) {
  size_t from = 0, j = 0, r = 0;
  auto expectCopy = [&](size_t to, bool beforeObject) {
    std::string piece;
    for (; r < renamed.size() && renamed[r].At < to; ++r) {
      piece.append(in.substr(from, renamed[r].At - from));
      piece += renamed[r].Target;
      from = renamed[r].At + renamed[r].Size;
    }
    piece.append(in.substr(from, to - from));
    if (beforeObject) {
      size_t lineStart = piece.size();
      while (lineStart > 0 && IsIndent(piece[lineStart - 1])) --lineStart;
      const bool atLineStart =
          lineStart > 0 ? IsLineBreak(piece[lineStart - 1]) : j == 0 || IsLineBreak(out[j - 1]);
      if (atLineStart) piece.resize(lineStart);
    }
    if (out.substr(j, piece.size()) != piece)
      Fail("text outside the rebuilt objects changed: input offset " + std::to_string(from) + " [" +
           Around(in, from) + "], output offset " + std::to_string(j) + " [" + Around(out, j) +
           "]");
    from = to;
    j += piece.size();
  };
  for (const TRebuilt& o : rebuilt) {
    expectCopy(o.Keyword, true);
    size_t keyword = j;
    while (keyword < out.size() && IsIndent(out[keyword])) ++keyword;
    parser.SetNewClassName("");
    int pos = static_cast<int>(keyword) + 1;
    if (!parser.Parse(out, "<object>", pos))
      Fail("a rebuilt object does not parse: output offset " + std::to_string(keyword) + " [" +
           Around(out, keyword) + "]");
    const migwiz::TFormParseState& s = parser.FormState();
    if (s.ObjType != o.Target || s.Keyword != o.KeywordText || s.ObjName != o.Name ||
        s.ObjIndex != o.Index)
      Fail("a rebuilt object's header is \"" + s.Keyword + " " + s.ObjName + ": " + s.ObjType +
           " " + s.ObjIndex + "\", not \"" + o.KeywordText + " " + o.Name + ": " + o.Target + " " +
           o.Index + "\"");
    j = ResumeAfter(out, static_cast<size_t>(pos) - 1);
    from = o.End;
  }
  expectCopy(in.size(), false);
  if (j != out.size())
    Fail("the converted form goes on after the input's end: output offset " + std::to_string(j));
}

void ConvertForm(TFixture& f, const std::string& bytes) {
  migwiz::TFormSource form;
  try {
    form = migwiz::ReadForm(bytes, "Fuzz.dfm");
  } catch (const rtl::Exception&) {
    return;
  }
  const bool accepted = testutil::FormTextAccepted(form.Text);
  f.Forget(f.FormOut);
  f.Replacer->FileList.Clear();
  // A binary form is written back as text: the check below names the text the binary writer
  // would refuse, where a run would raise an error that looks like a sound answer.
  try {
    testutil::ProcessForm(*f.Replacer, form.Text, f.FormOut, form.Encoding, false, form.RCData);
  } catch (const rtl::EAssertionFailed&) {
    throw;
  } catch (const rtl::Exception&) {
    return;
  }
  std::vector<TRebuilt> rebuilt;
  std::vector<TRenamed> renamed;
  try {
    FindRebuilt(*f.Oracle, form.Text, rebuilt, renamed);
  } catch (const migwiz::EGrammarError&) {
    return;  // nested too deeply
  }
  if (!f.Written(f.FormOut)) {
    if (!rebuilt.empty()) Fail("an object parsed, but the form was not rewritten");
    return;
  }
  if (rebuilt.empty()) Fail("the form was rewritten, but no object of an old class parses");
  const migwiz::TFormSource converted = migwiz::ReadForm(rtl::ReadFileBytes(f.FormOut), f.FormOut);
  if (converted.Binary || converted.Encoding != form.Encoding)
    Fail("the converted form is read in another format or encoding");
  try {
    CheckConvertedForm(*f.Oracle, form.Text, converted.Text, rebuilt, renamed);
  } catch (const migwiz::EGrammarError&) {
    return;
  }
  if (accepted && !testutil::FormTextAccepted(converted.Text))
    Fail("a form our reader accepted is refused once converted");
}

// ---------------------------------------------------------------------------------------------
// Units

// Whether out is in with whole-word old class names (any case) replaced by their new names and
// the uses addition put after DBTables words. Every edit that fits is tried, so a new name or an
// addition the input already holds is no false alarm. `reached` tells how far in matched.
bool OnlyReplacements(std::string_view in, std::string_view out, size_t& reached) {
  const std::string_view addition = ky::kUsesAddition;
  const std::string_view usesUnit = ky::kUsesUnit;
  std::vector<std::pair<size_t, size_t>> open{{0, 0}};
  std::vector<std::pair<size_t, size_t>> edits;
  std::unordered_set<std::uint64_t> tried;
  while (!open.empty()) {
    size_t i = open.back().first, j = open.back().second;
    open.pop_back();
    while (true) {
      reached = std::max(reached, i);
      if (i < in.size() && (i == 0 || !IsIdentChar(in[i - 1])) && IsIdentChar(in[i])) {
        edits.clear();
        auto edit = [&](size_t inSize, std::string_view by) {
          if (out.substr(j, by.size()) == by) edits.emplace_back(i + inSize, j + by.size());
        };
        for (const ky::TClassReplacement& r : ky::kReplacements)
          if (WordAt(in, i, r.OldClass)) edit(std::string_view(r.OldClass).size(), r.NewClass);
        if (WordAt(in, i, usesUnit))
          edit(usesUnit.size(), std::string(in.substr(i, usesUnit.size())) + std::string(addition));
        // Each way on from a place where an edit fits is walked once.
        if (!edits.empty()) {
          if (!tried.insert(std::uint64_t(i) * (out.size() + 1) + j).second) break;
          open.insert(open.end(), edits.begin(), edits.end());
        }
      }
      if (i == in.size() && j == out.size()) return true;
      if (i == in.size() || j == out.size() || in[i] != out[j]) break;
      ++i;
      ++j;
    }
  }
  return false;
}

void ConvertUnit(TFixture& f, const std::string& bytes) {
  migwiz::TSourceText unit;
  try {
    unit = migwiz::ReadSourceText(bytes, f.UnitPath);
  } catch (const rtl::Exception&) {
    return;
  }
  f.Forget(f.UnitOut);
  f.Replacer->FileList.Clear();
  try {
    testutil::ProcessUnit(*f.Replacer, unit.Text, f.UnitPath, unit.Encoding, f.UnitOut);
  } catch (const rtl::EAssertionFailed&) {
    throw;
  } catch (const rtl::Exception&) {
    return;
  }
  if (!f.Written(f.UnitOut)) return;
  const migwiz::TSourceText converted =
      migwiz::ReadSourceText(rtl::ReadFileBytes(f.UnitOut), f.UnitOut);
  if (converted.Encoding != unit.Encoding) Fail("the converted unit has another encoding");
  size_t reached = 0;
  if (!OnlyReplacements(unit.Text, converted.Text, reached))
    Fail("the unit changed beyond its class names and uses clause near input offset " +
         std::to_string(reached) + " [" + Around(unit.Text, reached) + "]");
  // A second run over converted files changes nothing.
  f.Forget(f.UnitAgain);
  testutil::ProcessUnit(*f.Replacer, converted.Text, f.UnitPath, converted.Encoding, f.UnitAgain);
  if (f.Written(f.UnitAgain)) Fail("converting the converted unit changes it again");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  TFixture& f = TFixture::Get();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  ConvertForm(f, bytes);
  ConvertUnit(f, bytes);
  return 0;
}
