#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "MigWizard/PasParser.h"
#include "rtl/Classes.h"
#include "support/TestUtil.h"
#include "zel/XnParser.h"

using migwiz::TPasParser;

namespace {

struct Token {
  int code;
  std::string text;
  int pos;
  bool operator==(const Token& o) const { return code == o.code && text == o.text && pos == o.pos; }
};

std::ostream& operator<<(std::ostream& os, const Token& t) {
  return os << "{" << t.code << ", \"" << t.text << "\", " << t.pos << "}";
}

// Every token up to, not including, the end token.
std::vector<Token> Tokens(std::string_view text, bool keepQuotes = true) {
  TPasParser parser(text);
  parser.KeepStringQuotes = keepQuotes;
  std::vector<Token> tokens;
  std::string lexeme;
  for (int code; (code = parser.GetNext(lexeme)) != migwiz::tkEOF;) {
    tokens.push_back({code, lexeme, parser.PrevPos()});
    if (tokens.size() > text.size() + 1) ADD_FAILURE() << "no progress";
    if (tokens.size() > text.size() + 1) break;
  }
  return tokens;
}

// The tokens without blanks, as (code, lexeme) pairs.
std::vector<std::pair<int, std::string>> Solid(std::string_view text, bool keepQuotes = true) {
  std::vector<std::pair<int, std::string>> out;
  for (const Token& t : Tokens(text, keepQuotes))
    if (t.code != migwiz::tkBlanks) out.emplace_back(t.code, t.text);
  return out;
}

using Pairs = std::vector<std::pair<int, std::string>>;

// Joins the lexemes of both overloads, checks they agree, that views point into the text at
// PrevPos, and that the tokens tile the text without gap or overlap.
std::string RoundTrip(std::string_view text) {
  TPasParser byView(text);
  TPasParser byString(text);
  std::string joined;
  size_t expectedPos = 0;
  std::string_view view;
  std::string copy;
  for (size_t guard = 0; guard <= text.size() + 1; ++guard) {
    int code = byView.GetNext(view);
    int code2 = byString.GetNext(copy);
    EXPECT_EQ(code, code2);
    EXPECT_EQ(view, copy);
    EXPECT_EQ(static_cast<size_t>(byView.PrevPos()), expectedPos);
    EXPECT_EQ(byView.PrevPos(), byString.PrevPos());
    if (code == migwiz::tkEOF) {
      EXPECT_TRUE(view.empty());
      EXPECT_EQ(expectedPos, text.size());
      return joined;
    }
    EXPECT_FALSE(view.empty()) << "a token other than the end must not be empty";
    EXPECT_EQ(view.data(), text.data() + expectedPos) << "the view points into the text";
    if (view.empty() || ::testing::Test::HasFailure()) return joined;
    joined.append(view);
    expectedPos += view.size();
  }
  ADD_FAILURE() << "tokenizer did not reach the end";
  return joined;
}

}  // namespace

// ---- shared tables ---------------------------------------------------------------------------

TEST(PasParserTables, SymbolsHaveTheCodesOfTheTableAndAreSorted) {
  const rtl::TStringList& symbols = migwiz::PasSymbols();
  ASSERT_EQ(symbols.Count(), 27);
  const char* order = "!\"#%&'()*+,-./:;<=>?@[\\]^_`";
  for (int code = 1; code <= 27; ++code) {
    int index = symbols.IndexOf(std::string(1, order[code - 1]));
    ASSERT_GE(index, 0) << order[code - 1];
    EXPECT_EQ(symbols.Integers(index), code) << order[code - 1];
  }
  for (int i = 1; i < symbols.Count(); ++i) EXPECT_LE(zel::XnCmpStrings(symbols, i - 1, i), 0);
}

TEST(PasParserTables, SymbolStartHoldsExactlyTheSymbolCharacters) {
  const zel::TCharSet& start = migwiz::PasSymbolStart();
  EXPECT_EQ(start.count(), 27u);
  for (char c : std::string("!\"#%&'()*+,-./:;<=>?@[\\]^_`"))
    EXPECT_TRUE(start.test((unsigned char)c));
  for (char c : std::string("${|}~aZ0 ")) EXPECT_FALSE(start.test((unsigned char)c)) << c;
}

TEST(PasParserTables, KeywordsAreSortedWithTheirCodes) {
  const rtl::TStringList& kw = migwiz::PasKeywords();
  ASSERT_EQ(kw.Count(), 6);
  std::vector<std::pair<std::string, int>> expected = {
      {"END", 28}, {"INHERITED", 29}, {"INLINE", 30}, {"ITEM", 31}, {"OBJECT", 32}, {"USES", 33}};
  for (int i = 0; i < kw.Count(); ++i) {
    EXPECT_EQ(kw[i], expected[static_cast<size_t>(i)].first);
    EXPECT_EQ(kw.Integers(i), expected[static_cast<size_t>(i)].second);
  }
  int index = -1;
  EXPECT_TRUE(kw.Find("object", index));
}

TEST(PasParserTables, TablesAreSharedAcrossInstances) {
  const rtl::TStringList* a = &migwiz::PasSymbols();
  { TPasParser p("x"); }
  EXPECT_EQ(a, &migwiz::PasSymbols());
  EXPECT_EQ(migwiz::PasSymbols().Count(), 27);  // an instance never frees them
  EXPECT_EQ(migwiz::PasKeywords().Count(), 6);
}

TEST(XnCmpStrings, ComparesWithoutRegardToCase) {
  rtl::TStringList list;
  list.Add("Object");
  list.Add("OBJECT");
  list.Add("end");
  list.Add("Item");
  EXPECT_EQ(zel::XnCmpStrings(list, 0, 1), 0);
  EXPECT_GT(zel::XnCmpStrings(list, 0, 2), 0);
  EXPECT_LT(zel::XnCmpStrings(list, 2, 3), 0);
  list.CustomSort(zel::XnCmpStrings);
  EXPECT_EQ(list[0], "end");
  EXPECT_EQ(list[1], "Item");
}

// ---- Base and Pascal behaviour ----------------------------------------------------------------

TEST(PasParser, EmptyTextGivesEndAtOnceAndAgain) {
  TPasParser p("");
  std::string lexeme = "junk";
  EXPECT_EQ(p.GetNext(lexeme), migwiz::tkEOF);
  EXPECT_EQ(lexeme, "");
  EXPECT_EQ(p.PrevPos(), 0);
  EXPECT_EQ(p.GetNext(lexeme), migwiz::tkEOF);
  std::string_view view = "junk";
  EXPECT_EQ(p.GetNext(view), migwiz::tkEOF);
  EXPECT_TRUE(view.empty());
}

TEST(PasParser, EverySymbolHasItsCode) {
  const char* order = "!\"#%&'()*+,-./:;<=>?@[\\]^_`";
  for (int code = 1; code <= 27; ++code) {
    std::string text(1, order[code - 1]);
    if (text == "'" || text == "_") continue;  // a quote and a letter; below
    auto toks = Tokens(text);
    ASSERT_EQ(toks.size(), 1u) << text;
    EXPECT_EQ(toks[0].code, code) << text;
    EXPECT_EQ(toks[0].text, text);
  }
  EXPECT_EQ(Tokens("'")[0].code, migwiz::tkString);
  EXPECT_EQ(Tokens("_")[0].code, migwiz::tkIdent);
}

TEST(PasParser, CharactersOutsideTheSymbolTable) {
  EXPECT_EQ(Solid("| } ~ $"), (Pairs{{migwiz::tkOther, "|"},
                                     {migwiz::tkOther, "}"},
                                     {migwiz::tkOther, "~"},
                                     {migwiz::tkNumber, "$"}}));
  EXPECT_EQ(Solid("\x7f"), (Pairs{{migwiz::tkOther, "\x7f"}}));
}

TEST(PasParser, KeywordsInAnyCaseAndOtherReservedWordsAreIdentifiers) {
  EXPECT_EQ(Solid("END end End INHERITED inline Item oBjEcT uses"), (Pairs{{28, "END"},
                                                                           {28, "end"},
                                                                           {28, "End"},
                                                                           {29, "INHERITED"},
                                                                           {30, "inline"},
                                                                           {31, "Item"},
                                                                           {32, "oBjEcT"},
                                                                           {33, "uses"}}));
  for (const char* w : {"begin", "unit", "class", "Ending", "Items", "objects", "used", "en"})
    EXPECT_EQ(Solid(w), (Pairs{{migwiz::tkIdent, w}})) << w;
}

TEST(PasParser, LowerCaseKeywordsOfFormText) {
  const std::string form =
      "object Form1: TForm1\r\n"
      "  inherited Panel1: TPanel\r\n"
      "  end\r\n"
      "  inline Frame1: TFrame1\r\n"
      "  end\r\n"
      "  object Query1: TQuery\r\n"
      "    DatabaseName = 'DBDEMOS'\r\n"
      "    Columns = <\r\n"
      "      item\r\n"
      "        Width = 64\r\n"
      "      end>\r\n"
      "  end\r\n"
      "end\r\n";
  std::vector<int> keywords;
  for (const auto& [code, text] : Solid(form))
    if (code >= 28) keywords.push_back(code);
  EXPECT_EQ(keywords, (std::vector<int>{32, 29, 28, 30, 28, 32, 31, 28, 28, 28}));
  auto solid = Solid(form);
  EXPECT_EQ(solid[1], (std::pair<int, std::string>{migwiz::tkIdent, "Form1"}));
  EXPECT_EQ(solid[2], (std::pair<int, std::string>{migwiz::tkColon, ":"}));
  EXPECT_EQ(solid[3], (std::pair<int, std::string>{migwiz::tkIdent, "TForm1"}));
}

TEST(PasParser, IdentifiersStayWholeWords) {
  for (const char* w : {"Add", "Bad", "F1", "row_count", "_x", "x_", "__", "abc123", "TQuery"})
    EXPECT_EQ(Solid(w), (Pairs{{migwiz::tkIdent, w}})) << w;
  EXPECT_EQ(Solid("Query1.SQL.Add('x');"), (Pairs{{migwiz::tkIdent, "Query1"},
                                                  {migwiz::tkDot, "."},
                                                  {migwiz::tkIdent, "SQL"},
                                                  {migwiz::tkDot, "."},
                                                  {migwiz::tkIdent, "Add"},
                                                  {migwiz::tkLParen, "("},
                                                  {migwiz::tkString, "'x'"},
                                                  {migwiz::tkRParen, ")"},
                                                  {migwiz::tkSemicolon, ";"}}));
}

TEST(PasParser, BytesFrom128AreNoLettersSoClassNamesBesideThemStayWords) {
  // UTF-8 full-width colon, then a class name, then a CJK character.
  EXPECT_EQ(Solid("\xef\xbc\x9aTTable\xe5\x92\x8c"), (Pairs{{migwiz::tkOther, "\xef"},
                                                            {migwiz::tkOther, "\xbc"},
                                                            {migwiz::tkOther, "\x9a"},
                                                            {migwiz::tkIdent, "TTable"},
                                                            {migwiz::tkOther, "\xe5"},
                                                            {migwiz::tkOther, "\x92"},
                                                            {migwiz::tkOther, "\x8c"}}));
  EXPECT_EQ(Solid("end\xe9"), (Pairs{{migwiz::tkEnd, "end"}, {migwiz::tkOther, "\xe9"}}));
}

TEST(PasParser, Numbers) {
  EXPECT_EQ(
      Solid("$FF 12 $00ff00"),
      (Pairs{{migwiz::tkNumber, "$FF"}, {migwiz::tkNumber, "12"}, {migwiz::tkNumber, "$00ff00"}}));
  // A number word never gives up letters to an identifier.
  EXPECT_EQ(Solid("12abc 12xyz 1e5 $FFTQuery"), (Pairs{{migwiz::tkNumber, "12abc"},
                                                       {migwiz::tkNumber, "12xyz"},
                                                       {migwiz::tkNumber, "1e5"},
                                                       {migwiz::tkNumber, "$FFTQuery"}}));
  // A letter starts an identifier, even a hexadecimal one.
  EXPECT_EQ(Solid("FF"), (Pairs{{migwiz::tkIdent, "FF"}}));
  EXPECT_EQ(Solid("1.5"),
            (Pairs{{migwiz::tkNumber, "1"}, {migwiz::tkDot, "."}, {migwiz::tkNumber, "5"}}));
  EXPECT_EQ(Solid("#13#10"), (Pairs{{migwiz::tkHash, "#"},
                                    {migwiz::tkNumber, "13"},
                                    {migwiz::tkHash, "#"},
                                    {migwiz::tkNumber, "10"}}));
  EXPECT_EQ(Solid("-11"), (Pairs{{migwiz::tkMinus, "-"}, {migwiz::tkNumber, "11"}}));
}

TEST(PasParser, BlankRunsIncludeLineBreaksAndControls) {
  auto toks = Tokens(" \t\r\n  x\r\n");
  ASSERT_EQ(toks.size(), 3u);
  EXPECT_EQ(toks[0], (Token{migwiz::tkBlanks, " \t\r\n  ", 0}));
  EXPECT_EQ(toks[1], (Token{migwiz::tkIdent, "x", 6}));
  EXPECT_EQ(toks[2], (Token{migwiz::tkBlanks, "\r\n", 7}));
  std::string withZero("a\0\0b", 4);
  EXPECT_EQ(Solid(withZero), (Pairs{{migwiz::tkIdent, "a"}, {migwiz::tkIdent, "b"}}));
}

TEST(PasParser, BraceCommentsAndResourceDirectives) {
  EXPECT_EQ(Solid("{$R *.dfm}"), (Pairs{{migwiz::tkComment, "{$R *.dfm}"}}));
  EXPECT_EQ(Solid("{$r *.DFM} x"),
            (Pairs{{migwiz::tkComment, "{$r *.DFM}"}, {migwiz::tkIdent, "x"}}));
  EXPECT_EQ(Solid("a{ TQuery placed at runtime }b"),
            (Pairs{{migwiz::tkIdent, "a"},
                   {migwiz::tkComment, "{ TQuery placed at runtime }"},
                   {migwiz::tkIdent, "b"}}));
  // A brace comment spans lines and holds the other comment forms and quotes.
  EXPECT_EQ(Solid("{ it's\r\n (* // }x"),
            (Pairs{{migwiz::tkComment, "{ it's\r\n (* // }"}, {migwiz::tkIdent, "x"}}));
}

TEST(PasParser, ParenStarAndLineComments) {
  EXPECT_EQ(Solid("(* don't { *)x"),
            (Pairs{{migwiz::tkComment, "(* don't { *)"}, {migwiz::tkIdent, "x"}}));
  auto toks = Tokens("x := 1; // don't use TQuery\r\ny := 'a';");
  std::vector<Token> expected = {
      {migwiz::tkIdent, "x", 0},
      {migwiz::tkBlanks, " ", 1},
      {migwiz::tkColon, ":", 2},
      {migwiz::tkEqual, "=", 3},
      {migwiz::tkBlanks, " ", 4},
      {migwiz::tkNumber, "1", 5},
      {migwiz::tkSemicolon, ";", 6},
      {migwiz::tkBlanks, " ", 7},
      {migwiz::tkComment, "// don't use TQuery", 8},
      {migwiz::tkBlanks, "\r\n", 27},
      {migwiz::tkIdent, "y", 29},
      {migwiz::tkBlanks, " ", 30},
      {migwiz::tkColon, ":", 31},
      {migwiz::tkEqual, "=", 32},
      {migwiz::tkBlanks, " ", 33},
      {migwiz::tkString, "'a'", 34},
      {migwiz::tkSemicolon, ";", 37},
  };
  EXPECT_EQ(toks, expected);
  EXPECT_EQ(Solid("// to the end"), (Pairs{{migwiz::tkComment, "// to the end"}}));
  EXPECT_EQ(Solid("//\nx"), (Pairs{{migwiz::tkComment, "//"}, {migwiz::tkIdent, "x"}}));
  // Single "(" and "/" stay symbols.
  EXPECT_EQ(Solid("(a/b)"), (Pairs{{migwiz::tkLParen, "("},
                                   {migwiz::tkIdent, "a"},
                                   {migwiz::tkSlash, "/"},
                                   {migwiz::tkIdent, "b"},
                                   {migwiz::tkRParen, ")"}}));
  // "(*)" opens a comment; its end is searched after the opening delimiter.
  EXPECT_EQ(Solid("(*)x"), (Pairs{{migwiz::tkComment, "(*)x"}}));
  EXPECT_EQ(Solid("(**)x"), (Pairs{{migwiz::tkComment, "(**)"}, {migwiz::tkIdent, "x"}}));
}

TEST(PasParser, UnterminatedCommentsRunToTheEndOfTheText) {
  EXPECT_EQ(Solid("a { TQuery\r\nend"),
            (Pairs{{migwiz::tkIdent, "a"}, {migwiz::tkComment, "{ TQuery\r\nend"}}));
  EXPECT_EQ(Solid("a (* x\r\n"), (Pairs{{migwiz::tkIdent, "a"}, {migwiz::tkComment, "(* x\r\n"}}));
  EXPECT_EQ(Solid("{"), (Pairs{{migwiz::tkComment, "{"}}));
}

TEST(PasParser, Strings) {
  EXPECT_EQ(Solid("'It''s' x"), (Pairs{{migwiz::tkString, "'It''s'"}, {migwiz::tkIdent, "x"}}));
  EXPECT_EQ(Solid("''''"), (Pairs{{migwiz::tkString, "''''"}}));
  EXPECT_EQ(Solid("'' x"), (Pairs{{migwiz::tkString, "''"}, {migwiz::tkIdent, "x"}}));
  EXPECT_EQ(Solid("'a'#13#10'b'"), (Pairs{{migwiz::tkString, "'a'"},
                                          {migwiz::tkHash, "#"},
                                          {migwiz::tkNumber, "13"},
                                          {migwiz::tkHash, "#"},
                                          {migwiz::tkNumber, "10"},
                                          {migwiz::tkString, "'b'"}}));
  // Comment delimiters and class names inside a string are string text.
  EXPECT_EQ(Solid("'{ TQuery // (*'"), (Pairs{{migwiz::tkString, "'{ TQuery // (*'"}}));
  // The double quote is a symbol, not a quote.
  EXPECT_EQ(Solid("\"x\""), (Pairs{{migwiz::tkDoubleQuote, "\""},
                                   {migwiz::tkIdent, "x"},
                                   {migwiz::tkDoubleQuote, "\""}}));
}

TEST(PasParser, UnterminatedStringRunsToTheLineBreak) {
  auto toks = Tokens("s := 'abc\r\nTQuery;");
  ASSERT_EQ(toks.size(), 9u);
  EXPECT_EQ(toks[5], (Token{migwiz::tkString, "'abc", 5}));
  EXPECT_EQ(toks[6], (Token{migwiz::tkBlanks, "\r\n", 9}));
  EXPECT_EQ(toks[7], (Token{migwiz::tkIdent, "TQuery", 11}));
  EXPECT_EQ(Solid("'abc"), (Pairs{{migwiz::tkString, "'abc"}}));
  EXPECT_EQ(Solid("'"), (Pairs{{migwiz::tkString, "'"}}));
  EXPECT_EQ(Solid("'a''"), (Pairs{{migwiz::tkString, "'a''"}}));
  EXPECT_EQ(Solid("'\nx"), (Pairs{{migwiz::tkString, "'"}, {migwiz::tkIdent, "x"}}));
}

TEST(PasParser, KeepStringQuotesOff) {
  auto toks = Tokens("DatabaseName = 'DBDEMOS'\r\nX = 'It''s'; Y = ''; Z = 'open", false);
  std::vector<std::string> strings;
  std::vector<int> positions;
  for (const Token& t : toks)
    if (t.code == migwiz::tkString) {
      strings.push_back(t.text);
      positions.push_back(t.pos);
    }
  EXPECT_EQ(strings, (std::vector<std::string>{"DBDEMOS", "It''s", "", "open"}));
  EXPECT_EQ(positions, (std::vector<int>{15, 30, 43, 51}));  // the opening quotes
  // Only strings lose their quotes.
  EXPECT_EQ(Solid("{ 'x' } 'y'", false),
            (Pairs{{migwiz::tkComment, "{ 'x' }"}, {migwiz::tkString, "y"}}));
  // The option may change between tokens.
  TPasParser p("'a' 'b'");
  std::string lexeme;
  EXPECT_TRUE(p.KeepStringQuotes);
  EXPECT_EQ(p.GetNext(lexeme), migwiz::tkString);
  EXPECT_EQ(lexeme, "'a'");
  p.KeepStringQuotes = false;
  p.GetNext(lexeme);
  EXPECT_EQ(p.GetNext(lexeme), migwiz::tkString);
  EXPECT_EQ(lexeme, "b");
}

TEST(PasParser, PrevPosIsTheOffsetOfTheLastLexeme) {
  TPasParser p("unit Main;\n");
  EXPECT_EQ(p.PrevPos(), 0);
  std::string_view lexeme;
  std::vector<int> positions;
  while (p.GetNext(lexeme) != migwiz::tkEOF) positions.push_back(p.PrevPos());
  EXPECT_EQ(positions, (std::vector<int>{0, 4, 5, 9, 10}));
  EXPECT_EQ(p.PrevPos(), 11);  // after the end token: the length of the text
}

TEST(PasParser, SetTextRestartsAndViewsPointIntoTheNewText) {
  const std::string form = "object A: TQuery\nend\nobject B: TTable\nend\n";
  TPasParser p(form);
  std::string_view lexeme;
  ASSERT_EQ(p.GetNext(lexeme), migwiz::tkObject);
  // Restart on the remainder after the first object, as form rewriting does.
  size_t rest = form.find("object B");
  std::string_view remainder = std::string_view(form).substr(rest);
  p.SetText(remainder);
  EXPECT_EQ(p.PrevPos(), 0);
  ASSERT_EQ(p.GetNext(lexeme), migwiz::tkObject);
  EXPECT_EQ(p.PrevPos(), 0);
  EXPECT_EQ(lexeme.data(), form.data() + rest);
  p.GetNext(lexeme);
  ASSERT_EQ(p.GetNext(lexeme), migwiz::tkIdent);
  EXPECT_EQ(lexeme, "B");
  EXPECT_EQ(p.PrevPos(), 7);
  // A different text altogether, and back to the beginning.
  std::string other = "uses DBTables;";
  p.SetText(other);
  ASSERT_EQ(p.GetNext(lexeme), migwiz::tkUses);
  p.ToBegin();
  ASSERT_EQ(p.GetNext(lexeme), migwiz::tkUses);
  EXPECT_EQ(p.Text(), other);
}

TEST(PasParser, UsesClauseTokens) {
  EXPECT_EQ(Solid("uses Windows, dbtables, Forms;"), (Pairs{{migwiz::tkUses, "uses"},
                                                            {migwiz::tkIdent, "Windows"},
                                                            {migwiz::tkComma, ","},
                                                            {migwiz::tkIdent, "dbtables"},
                                                            {migwiz::tkComma, ","},
                                                            {migwiz::tkIdent, "Forms"},
                                                            {migwiz::tkSemicolon, ";"}}));
}

TEST(PasParser, ReTokenizingACommentFromItsSecondCharacter) {
  // Unit rewriting runs a fresh tokenizer over a comment without its first character.
  std::string comment = "{ TQuery placed at runtime }";
  TPasParser p(std::string_view(comment).substr(1));
  std::vector<std::pair<int, std::string>> out;
  std::string lexeme;
  for (int code; (code = p.GetNext(lexeme)) != migwiz::tkEOF;)
    if (code != migwiz::tkBlanks) out.emplace_back(code, lexeme);
  EXPECT_EQ(out, (Pairs{{migwiz::tkIdent, "TQuery"},
                        {migwiz::tkIdent, "placed"},
                        {migwiz::tkIdent, "at"},
                        {migwiz::tkIdent, "runtime"},
                        {migwiz::tkOther, "}"}}));
}

// ---- the base with other installations ---------------------------------------------------------

namespace {

// A tokenizer with multi-character symbols, a line comment, and skipping options.
class TTestParser : public zel::TParser {
 public:
  TTestParser(std::string_view text, bool skip) : zel::TParser(text) {
    static const rtl::TStringList symbols = [] {
      rtl::TStringList l;
      l.AddInt(":=", 1);
      l.AddInt(":", 2);
      l.AddInt("<>", 3);
      l.AddInt("<=", 4);
      l.AddInt("(.", 5);
      l.CustomSort(zel::XnCmpStrings);
      return l;
    }();
    static const rtl::TStringList keywords = [] {
      rtl::TStringList l;
      l.AddInt("select", 40);
      l.AddInt("FROM", 41);
      l.CustomSort(zel::XnCmpStrings);
      return l;
    }();
    zel::TCharSet start;
    for (char c : std::string(":<(")) start.set((unsigned char)c);
    SetSymbols(&symbols);
    SetSymbolStart(start);
    SetKeywords(&keywords);
    SetBlockComment("/*", "*/");
    AddLineComment("--");
    SetOptions(skip, skip, true);
    KeepStringQuotes = true;
  }

 protected:
  bool IsIdentQuote(char ch) const override { return ch == '`'; }
};

std::vector<std::pair<int, std::string>> All(zel::TParser& p) {
  std::vector<std::pair<int, std::string>> out;
  std::string lexeme;
  for (int code; (code = p.GetNext(lexeme)) != zel::tkEOF;) out.emplace_back(code, lexeme);
  return out;
}

}  // namespace

TEST(XnParser, BaseWithOtherTablesAndOptions) {
  std::string text = "SELECT a:=b:c<>d<e(.f( /*x*/ `my col` -- x\n\"s\"";
  TTestParser keep(text, false);
  auto toks = All(keep);
  std::string joined;
  for (auto& t : toks) joined += t.second;
  EXPECT_EQ(joined, text);

  TTestParser skip(text, true);
  EXPECT_EQ(All(skip), (Pairs{{40, "SELECT"},
                              {zel::tkIdent, "a"},
                              {1, ":="},
                              {zel::tkIdent, "b"},
                              {2, ":"},
                              {zel::tkIdent, "c"},
                              {3, "<>"},
                              {zel::tkIdent, "d"},
                              {zel::tkOther, "<"},  // "<" alone is not in the table
                              {zel::tkIdent, "e"},
                              {5, "(."},
                              {zel::tkIdent, "f"},
                              {zel::tkOther, "("},
                              {zel::tkIdent, "`my col`"},
                              {zel::tkString, "\"s\""}}));
}

TEST(XnParser, PlainBaseIsLossless) {
  std::string text = "a 'b' \"c\" 12 {x} ~";
  zel::TParser p(text);
  EXPECT_FALSE(p.KeepStringQuotes);  // the base's default; the Pascal tokenizer turns it on
  p.KeepStringQuotes = true;
  std::string joined;
  for (auto& t : All(p)) joined += t.second;
  EXPECT_EQ(joined, text);
}

// ---- round trips -------------------------------------------------------------------------------

TEST(PasParserRoundTrip, HandPickedTexts) {
  const char* texts[] = {
      "",
      "unit Main;\r\n\r\ninterface\r\n\r\nuses\r\n  Windows, DBTables;\r\n",
      "{ unterminated",
      "(* unterminated",
      "'unterminated",
      "'a''",
      "//",
      "(*)",
      "x(*y*)z//w\r\n{v}",
      "$",
      "$$$",
      "12abc$FF_x",
      "\xff\xfe\x00\x01",
      "a\r\rb\n\nc",
      "'\r'\n'",
  };
  for (const char* t : texts) {
    std::string text(t);
    EXPECT_EQ(RoundTrip(text), text) << text;
  }
  std::string zeros("\0'\0{\0}\0(*\0", 11);
  EXPECT_EQ(RoundTrip(zeros), zeros);
}

TEST(PasParserRoundTrip, FilesOfTheTree) {
  int files = 0;
  for (const char* dir : {"tests/data", "examples"}) {
    std::filesystem::path root = testutil::SourcePath(dir);
    std::error_code ec;
    if (!std::filesystem::is_directory(root, ec)) continue;
    for (auto it = std::filesystem::recursive_directory_iterator(
             root, std::filesystem::directory_options::skip_permission_denied, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (ec) break;
      if (!it->is_regular_file(ec)) continue;
      std::string text;
      try {
        text = testutil::ReadFile(it->path().string());
      } catch (const std::exception&) {
        continue;  // unreadable: someone else's business
      }
      ++files;
      EXPECT_EQ(RoundTrip(text), text) << it->path();
      if (HasFailure()) return;
    }
  }
  ASSERT_GT(files, 0) << "no files found below tests/data or examples";
  RecordProperty("files", files);
}

TEST(PasParserRoundTrip, ByteSoup) {
  std::mt19937 rng(20240611);
  // Biased towards the characters that matter to the tokenizer.
  const std::string interesting = "'{}()*/\r\n \t$_aZ09#;:=\x00\x80\xe9\xff";
  const std::string alphabet(interesting.data(), interesting.size());
  std::string zerosToo = alphabet + std::string(1, '\0');
  for (int round = 0; round < 3000; ++round) {
    size_t len = rng() % 200;
    std::string text;
    text.reserve(len);
    for (size_t i = 0; i < len; ++i) {
      if (rng() % 3 == 0)
        text += static_cast<char>(rng() % 256);
      else
        text += zerosToo[rng() % zerosToo.size()];
    }
    ASSERT_EQ(RoundTrip(text), text) << "round " << round;
    // With quotes off, the string tokens lose exactly their quotes.
    TPasParser p(text);
    p.KeepStringQuotes = false;
    std::string_view lexeme;
    size_t total = 0;
    for (int code; (code = p.GetNext(lexeme)) != migwiz::tkEOF;) {
      if (code == migwiz::tkString) {
        ASSERT_EQ(text[static_cast<size_t>(p.PrevPos())], '\'');
        ASSERT_EQ(lexeme.data(), text.data() + p.PrevPos() + 1);
      }
      total += lexeme.size();
    }
    ASSERT_LE(total, text.size());
  }
}

// The scan a rewrite uses reports what GetNext returns for identifiers, keywords, comments and
// semicolons, at the same places, on text made of the bytes where tokens begin and end.
TEST(PasParser, TokenScanSeesWhatTheTokenizerReturns) {
  const std::vector<std::string> pieces = {
      "{",    "}",      "(",      "*",         ")",      "(*",   "*)",   "/",
      "//",   "'",      "''",     "\r",        "\n",     " ",    "\t",   ";",
      "$",    "_",      "0",      "9",         "x",      "Q",    "end",  "USES",
      "Item", "object", "inline", "inherited", "TQuery", "\x80", "\xff", std::string(1, '\0'),
      "#",    ".",      "e",      "$R"};
  std::mt19937 rng(16);
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    const int count = static_cast<int>(rng() % 24);
    for (int k = 0; k < count; ++k) text += pieces[rng() % pieces.size()];
    std::vector<Token> expected;
    for (const Token& t : Tokens(text))
      if (t.code == migwiz::tkIdent || t.code == migwiz::tkComment ||
          t.code == migwiz::tkSemicolon || (t.code >= migwiz::tkEnd && t.code <= migwiz::tkUses))
        expected.push_back(t);
    std::vector<Token> scanned;
    migwiz::ScanPascalTokens(text, [&](int code, std::string_view lexeme) {
      scanned.push_back({code, std::string(lexeme), static_cast<int>(lexeme.data() - text.data())});
      return true;
    });
    ASSERT_EQ(scanned, expected) << testing::PrintToString(text);
  }
  // It stops when asked to.
  int seen = 0;
  migwiz::ScanPascalTokens("a b c", [&](int, std::string_view) { return ++seen < 2; });
  EXPECT_EQ(seen, 2);
}
