// The form grammar on arbitrary bytes, parsed from the first object keyword (a whole form file
// starts its root object there): no crash; the native matchers answer as the rules they stand
// for; a parsed object rebuilds into text that parses again as the same object; and the parsers,
// built once and reused for every input, answer as a fresh one does.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "MigWizard/FormParser.h"
#include "MigWizard/PasParser.h"
#include "rtl/SysUtils.h"

namespace {

struct TOutcome {
  bool Raised = false;  // a clear error (e.g. nesting too deep), a sound answer to bad input
  bool Parsed = false;
  int End = 0;
  std::string Keyword, Name, Class, Index, Rebuilt;

  bool operator==(const TOutcome&) const = default;
};

TOutcome ParseAt(migwiz::TFormParser& parser, std::string_view text, int pos) {
  TOutcome o;
  try {
    o.Parsed = parser.Parse(text, "<object>", pos);
  } catch (const rtl::Exception&) {
    o.Raised = true;
    return o;
  }
  if (!o.Parsed) return o;
  const migwiz::TFormParseState& s = parser.FormState();
  o.End = pos;
  o.Keyword = s.Keyword;
  o.Name = s.ObjName;
  o.Class = s.ObjType;
  o.Index = s.ObjIndex;
  parser.BuildObjectText(0, o.Rebuilt);
  return o;
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "FuzzFormParser: %s\n", what);
  std::abort();
}

// The grammar is prepared once per parser: building it for every input cost most of the time.
migwiz::TFormParser& NativeParser() {
  static migwiz::TFormParser parser;
  return parser;
}

// The same grammar with every nonterminal walked by its rules.
migwiz::TFormParser& WalkingParser() {
  static const std::unique_ptr<migwiz::TFormParser> parser = [] {
    auto p = std::make_unique<migwiz::TFormParser>();
    p->SetNativeMatchers(false);
    return p;
  }();
  return *parser;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  int start = 1;  // 1-based; the text's start when it holds no keyword
  migwiz::ScanPascalTokens(text, [&](int code, std::string_view lexeme) {
    if (code != migwiz::tkObject && code != migwiz::tkInherited && code != migwiz::tkInline)
      return true;
    start = static_cast<int>(lexeme.data() - text.data()) + 1;
    return false;
  });

  const TOutcome native = ParseAt(NativeParser(), text, start);
  const TOutcome walked = ParseAt(WalkingParser(), text, start);
  if (!native.Raised && !walked.Raised && native != walked)
    Fail("the native matchers and the rules disagree");

  // Now and then a fresh parser checks that nothing of an earlier input stays in the reused ones.
  static unsigned runs = 0;
  if (++runs % 256 == 0) {
    migwiz::TFormParser fresh;
    if (ParseAt(fresh, text, start) != native) Fail("a reused parser answers unlike a fresh one");
  }

  if (native.Parsed) {
    const TOutcome again = ParseAt(NativeParser(), native.Rebuilt, 1);
    if (again.Raised) return 0;
    if (!again.Parsed || again.End != static_cast<int>(native.Rebuilt.size()) + 1 ||
        again.Keyword != native.Keyword || again.Name != native.Name ||
        again.Class != native.Class || again.Index != native.Index) {
      std::fprintf(stderr, "%s\n(parsed: %d, end %d of %zu)\n", native.Rebuilt.c_str(),
                   again.Parsed, again.End, native.Rebuilt.size() + 1);
      Fail("the rebuilt object above does not parse back as the same object");
    }
  }
  return 0;
}
