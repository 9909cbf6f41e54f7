#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "MigWizard/LL1Parser.h"
#include "rtl/SysUtils.h"

using migwiz::EGrammarError;
using migwiz::TLL1Parser;
using migwiz::TParseState;
using Strings = std::vector<std::string>;

namespace {

TLL1Parser& Grammar(TLL1Parser& parser, std::initializer_list<const char*> rules) {
  for (const char* rule : rules) parser.AddRule(rule);
  return parser;
}

// -1 when the text does not match, else the position after the match.
int Match(TLL1Parser& parser, const std::string& text, const char* start, int pos = 1) {
  int p = pos;
  if (!parser.Parse(text, start, p)) {
    EXPECT_EQ(p, pos) << "a failed parse moved the position";
    return -1;
  }
  return p;
}

std::string MessageOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const rtl::Exception& e) {
    return e.Message();
  }
  return "(no error)";
}

}  // namespace

TEST(LL1RuleFormat, InvalidRulesAndDegenerateOnes) {
  TLL1Parser p;
  for (const char* bad : {"<x>", "<x", "noclose-a", "<x>-ab\\"}) {
    EXPECT_EQ(MessageOf([&] { p.AddRule(bad); }), "Cannot add rule. Invalid rule format.") << bad;
  }
  p.AddRule("a");  // too short to be a rule: ignored
  p.AddRule("<never>-");
  p.AddRule("<s>-<never>|x");
  EXPECT_EQ(Match(p, "y", "<never>"), -1);
  EXPECT_EQ(Match(p, "x", "<s>"), 2);
  // The rule that failed on its backslash left nothing behind.
  EXPECT_TRUE(p.Alternatives("<x>").empty());
}

TEST(LL1RuleFormat, CaseEscapesAndLiteralAngleBrackets) {
  TLL1Parser p;
  Grammar(p, {"<Keyword>-OBJECT|Inherited|inline", "<collection>-\\60<empty_delim><items>\\62",
              "<empty_delim>-<*digits>", "<items>-i", "<cmp>-a<b|\\124\\x\\<", "<num>-\\97\\98",
              "<lt>-<<items>>"});
  // Escapes and brackets as stored, before preparation.
  EXPECT_EQ(p.Alternatives("<collection>"), Strings{"\\60<empty_delim><items>\\62"});
  EXPECT_EQ(p.Alternatives("<cmp>"), (Strings{"a\\60b", "\\124x\\60"}));
  EXPECT_EQ(p.Alternatives("<lt>"), Strings{"\\60<items>\\62"});

  EXPECT_EQ(Match(p, "OBJECT Form1", "<KEYWORD>"), 7);  // on the blank after OBJECT
  EXPECT_EQ(Match(p, "inHERited", "<keyword>"), 10);
  EXPECT_EQ(Match(p, "<12i>", "<collection>"), 6);
  EXPECT_EQ(Match(p, "a<b", "<cmp>"), 4);
  EXPECT_EQ(Match(p, "|x<", "<cmp>"), 4);
  EXPECT_EQ(Match(p, "AB", "<num>"), 3);
  EXPECT_EQ(Match(p, "<i>", "<lt>"), 4);
}

TEST(LL1RuleFormat, SameNameAddsAlternatives) {
  TLL1Parser p;
  Grammar(p, {"<k>-one", "<K>-two"});
  EXPECT_EQ(p.Alternatives("<k>"), (Strings{"one", "two"}));
  EXPECT_EQ(Match(p, "two", "<k>"), 4);
}

TEST(LL1Preparation, EmptyAlternativesAreSubstituted) {
  TLL1Parser p;
  Grammar(p, {"<sign>-+|-|", "<int>-<sign><*digits>", "<name>-<*char><char_or_digit_l>",
              "<char_or_digit_l>-<*chars_or_digits>|"});
  p.Prepare();
  EXPECT_EQ(p.Alternatives("<sign>"), (Strings{"-", "+"}));
  EXPECT_EQ(p.Alternatives("<int>"), (Strings{"-<*digits>", "+<*digits>", "<*digits>"}));
  EXPECT_EQ(p.Alternatives("<name>"), (Strings{"<*char><*chars_or_digits>", "<*char>"}));
  EXPECT_EQ(p.Alternatives("<char_or_digit_l>"), Strings{"<*chars_or_digits>"});
  EXPECT_EQ(Match(p, "-12x", "<int>"), 4);
  EXPECT_EQ(Match(p, "12", "<int>"), 3);
  EXPECT_EQ(Match(p, "a", "<name>"), 2);
  EXPECT_EQ(Match(p, "a1_b c", "<name>"), 5);
}

TEST(LL1Preparation, SelfRecursiveListKeepsOneLevelExpanded) {
  TLL1Parser p;
  Grammar(p, {"<list>-<*digits>|<*digits>,<list>|"});
  p.Prepare();
  EXPECT_EQ(p.Alternatives("<list>"), (Strings{"<*digits>,<*digits>,<list>", "<*digits>,<*digits>",
                                               "<*digits>,", "<*digits>"}));
  EXPECT_EQ(Match(p, "1,2,3,4,5;", "<list>"), 10);
}

TEST(LL1Preparation, OrderingTerminalsThenBuiltinsThenNonterminalsLongerFirst) {
  TLL1Parser p;
  Grammar(p, {"<x>-a|<y>|ab|<*digits>|b|<*digit>|<y>z", "<y>-q"});
  p.Prepare();
  EXPECT_EQ(p.Alternatives("<x>"),
            (Strings{"b", "ab", "a", "<*digits>", "<*digit>", "<y>z", "<y>"}));
  // The longer alternative wins where both match.
  EXPECT_EQ(Match(p, "abc", "<x>"), 3);
  EXPECT_EQ(Match(p, "qz", "<x>"), 3);
}

TEST(LL1Preparation, GrammarLeftNullableIsRejectedAndStaysUnprepared) {
  TLL1Parser p;
  // <a> is visited before <z> makes it nullable.
  Grammar(p, {"<a>-<z>", "<z>-x|"});
  const std::string message = MessageOf([&] { Match(p, "x", "<a>"); });
  EXPECT_NE(message.find("<a>"), std::string::npos) << message;
  EXPECT_FALSE(p.Prepared());
  EXPECT_EQ(p.Alternatives("<z>"), (Strings{"x", ""}));
  EXPECT_THROW(Match(p, "x", "<a>"), EGrammarError);

  TLL1Parser q;
  Grammar(q, {"<z>-<b>", "<b>-x|"});  // visited in the workable order
  EXPECT_EQ(Match(q, "x", "<z>"), 2);
}

TEST(LL1Parse, OrderedChoiceNeverReturnsIntoASucceededNonterminal) {
  TLL1Parser p;
  Grammar(p, {"<s>-<a>b", "<a>-x|xb", "<n>-<*digits>5", "<t>-abc"});
  EXPECT_EQ(Match(p, "xb", "<s>"), -1);  // <a> took "xb" and is not asked again
  EXPECT_EQ(Match(p, "xbb", "<s>"), 4);
  EXPECT_EQ(Match(p, "12345", "<n>"), -1);  // the repeated class gives nothing back
  EXPECT_EQ(Match(p, "ab", "<t>"), -1);     // terminal past the end
  EXPECT_EQ(Match(p, "zabc", "<t>", 2), 5);
  EXPECT_EQ(Match(p, "abc", "<t>", 0), -1);
  EXPECT_EQ(Match(p, "abc", "<t>", 9), -1);
  EXPECT_EQ(p.State().Position, 9);
}

TEST(LL1Parse, BuiltinClasses) {
  TLL1Parser p;
  Grammar(p, {"<sym>-'<*symbols>'", "<hex>-<*hexs>", "<c>-<*char>", "<one>-<*symbol>",
              "<d>-<*digit>", "<w>-<*chars_or_digits>"});
  EXPECT_EQ(Match(p, "'a\r\nb#'x'", "<sym>"), 8);
  EXPECT_EQ(Match(p, "''", "<sym>"), -1);
  EXPECT_EQ(Match(p, "09afAFg", "<hex>"), 7);
  EXPECT_EQ(Match(p, "_9", "<c>"), 2);
  EXPECT_EQ(Match(p, "9", "<c>"), -1);
  EXPECT_EQ(Match(p, "\xff", "<one>"), 2);
  EXPECT_EQ(Match(p, "'", "<one>"), -1);
  EXPECT_EQ(Match(p, "12", "<d>"), 2);
  EXPECT_EQ(Match(p, "a_Z9.", "<w>"), 5);
  EXPECT_EQ(Match(p, "", "<w>"), -1);
}

TEST(LL1Parse, ErrorsAreRaisedWhenReachedAndTheParserStaysUsable) {
  TLL1Parser p;
  Grammar(p, {"<s>-a<missing>|b", "<u>-<*bogus>|c"});
  EXPECT_EQ(Match(p, "b", "<s>"), 2);
  EXPECT_EQ(MessageOf([&] { Match(p, "a", "<s>"); }), "Unknown nonterminal: <missing>");
  EXPECT_EQ(MessageOf([&] { Match(p, "a", "<Nope>"); }), "Unknown nonterminal: <Nope>");
  EXPECT_EQ(Match(p, "c", "<u>"), 2);
  EXPECT_THROW(Match(p, "x", "<u>"), rtl::EAssertionFailed);
  EXPECT_EQ(Match(p, "b", "<s>"), 2);
  EXPECT_THROW(p.AddRule("<late>-x"), rtl::EAssertionFailed);
}

namespace {

// A state with data a descendant collects, and a parser that collects it.
class TCountState : public TParseState {
 public:
  using TParseState::TParseState;
  void Assign(const TParseState& source) override {
    TParseState::Assign(source);
    Hits = static_cast<const TCountState&>(source).Hits;
  }
  std::vector<int> Hits;  // positions where <a> matched
};

class TCountParser : public TLL1Parser {
 public:
  TCountParser() : TLL1Parser(&migwiz::ParseStateClass<TCountState>) {}
  using TLL1Parser::SetPositionOnly;
  TCountState& Count() { return static_cast<TCountState&>(State()); }
  int Before = 0, After = 0;
  bool Veto = false;
  std::vector<std::string> Seen;

 protected:
  bool ParseNonterminal(const TSymbol& symbol) override {
    Seen.push_back(symbol.Name);
    const int at = State().Position;
    const bool ok = TLL1Parser::ParseNonterminal(symbol);
    if (ok && symbol.Name == "<a>") Count().Hits.push_back(at);
    return ok;
  }
  void BeforeParse() override {
    ++Before;
    Count().Hits.clear();
  }
  void AfterParse(bool& success) override {
    ++After;
    if (Veto) success = false;
  }
};

}  // namespace

TEST(LL1Parse, RestoringASnapshotTakesBackWhatAFailedAlternativeCollected) {
  TCountParser p;
  Grammar(p, {"<s>-<a><a>x|<a>y", "<a>-a"});
  p.Prepare();
  ASSERT_EQ(p.Alternatives("<s>"), (Strings{"<a>y", "<a><a>x"}));
  // "<a>y" collects a hit at 1 and fails on the second "a": the hit goes with it.
  EXPECT_EQ(Match(p, "aax", "<s>"), 4);
  EXPECT_EQ(p.Count().Hits, (std::vector<int>{1, 2}));
  // The <a> both alternatives begin with is parsed once: the second goes on from the state the
  // first left after it. Every other attempt reaches the override, also the ones that fail.
  EXPECT_EQ(p.Seen, (Strings{"<s>", "<a>", "<a>"}));
  EXPECT_EQ(p.Before, 1);
  EXPECT_EQ(p.After, 1);

  EXPECT_EQ(Match(p, "ay", "<s>"), 3);
  EXPECT_EQ(p.Count().Hits, std::vector<int>{1});
  EXPECT_EQ(Match(p, "az", "<s>"), -1);
  EXPECT_TRUE(p.Count().Hits.empty());
  p.Veto = true;
  EXPECT_EQ(Match(p, "aax", "<s>"), -1);
}

TEST(LL1Parse, AlternativesGoOnFromTheItemsTheyShareAndKeepTheirState) {
  // After "c": "<a>x", then "<a>b<a>" and "<a><a>y" go on from the one <a> each shares with the
  // one before (the state kept after it serves both), "<a><a><a>z" from two; each failure
  // leaves only the hits of the items that are kept.
  TCountParser p;
  Grammar(p, {"<s>-<a><a><a>z|<a><a>y|<a>b<a>|<a>x|c", "<a>-a"});
  p.Prepare();
  ASSERT_EQ(p.Alternatives("<s>"), (Strings{"c", "<a>x", "<a>b<a>", "<a><a>y", "<a><a><a>z"}));
  EXPECT_EQ(Match(p, "aaaz", "<s>"), 5);
  EXPECT_EQ(p.Count().Hits, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Match(p, "aay", "<s>"), 4);
  EXPECT_EQ(p.Count().Hits, (std::vector<int>{1, 2}));
  EXPECT_EQ(Match(p, "aba", "<s>"), 4);
  EXPECT_EQ(p.Count().Hits, (std::vector<int>{1, 3}));
  EXPECT_EQ(Match(p, "ax", "<s>"), 3);
  EXPECT_EQ(p.Count().Hits, std::vector<int>{1});
  EXPECT_EQ(Match(p, "aaaq", "<s>"), -1);
  EXPECT_TRUE(p.Count().Hits.empty());
  EXPECT_EQ(Match(p, "c", "<s>"), 2);
  EXPECT_TRUE(p.Count().Hits.empty());
}

// An alternative that fails at a terminal or built-in inside the items the next ones share leaves
// the state those items made: the next go on from there instead of parsing them again, and the
// hits and the outcome are those of parsing every alternative from its start.
TEST(LL1Parse, AFailureAtATerminalAmongTheSharedItemsIsWhereTheNextGoOn) {
  TCountParser p;
  Grammar(p, {"<s>-<a><*digits>b<a>c|<a><*digits>b<a>|<a><*digits>bd", "<a>-a"});
  p.Prepare();
  ASSERT_EQ(p.Alternatives("<s>"),
            (Strings{"<a><*digits>bd", "<a><*digits>b<a>c", "<a><*digits>b<a>"}));
  // text, end, attempts at <a>: the first two would make 3 and 2 if the alternatives after a
  // failure at <*digits> or "b" began again
  const std::vector<std::tuple<std::string, int, int>> cases = {{"ax", -1, 1},   {"a1x", -1, 1},
                                                                {"a1bd", 5, 1},  {"a1ba", 5, 2},
                                                                {"a1bac", 6, 2}, {"a12bq", -1, 4}};
  for (const auto& [text, end, attempts] : cases) {
    p.Seen.clear();
    EXPECT_EQ(Match(p, text, "<s>"), end) << text;
    EXPECT_EQ(std::count(p.Seen.begin(), p.Seen.end(), std::string("<a>")), attempts) << text;
    if (end < 0) EXPECT_TRUE(p.Count().Hits.empty()) << text;
  }
  EXPECT_EQ(Match(p, "a1ba", "<s>"), 5);
  EXPECT_EQ(p.Count().Hits, (std::vector<int>{1, 4}));
  EXPECT_EQ(Match(p, "a1bd", "<s>"), 5);
  EXPECT_EQ(p.Count().Hits, std::vector<int>{1});
}

TEST(LL1Parse, PositionOnlyNonterminalsAreMatchedWithoutHooksBelowThem) {
  TCountParser p;
  Grammar(p, {"<s>-<w>x|<w>y", "<w>-<c><c>", "<c>-a|b"});
  p.SetPositionOnly("<w>");
  auto innerCalls = [&p] { return std::count(p.Seen.begin(), p.Seen.end(), std::string("<c>")); };
  p.Prepare();
  ASSERT_EQ(p.Alternatives("<s>"), (Strings{"<w>y", "<w>x"}));
  // <w> reaches the override once (both alternatives begin with it); nothing below it does.
  EXPECT_EQ(Match(p, "abx", "<s>"), 4);
  EXPECT_EQ(innerCalls(), 0);
  EXPECT_EQ(std::count(p.Seen.begin(), p.Seen.end(), std::string("<w>")), 1);
  EXPECT_EQ(Match(p, "azz", "<s>"), -1);
  // Nothing is carried from one parse into the next, even at the same position.
  EXPECT_EQ(Match(p, "bax", "<s>"), 4);
  EXPECT_EQ(Match(p, "zzx", "<s>"), -1);
  EXPECT_EQ(Match(p, "aby", "<s>"), 4);
  EXPECT_EQ(innerCalls(), 0);
}

TEST(LL1DeepInput, LongRightRecursiveListsParseOnTheOwnStack) {
  TLL1Parser p;
  Grammar(p, {"<list>-<*digits>|<*digits>,<list>|"});
  // One nonterminal per two items: this nests close to the default bound.
  const int items = 2 * (TLL1Parser::kDefaultMaxDepth - 100);
  std::string text;
  text.reserve(static_cast<size_t>(items) * 2);
  for (int i = 0; i < items; ++i) text += i % 10 == 0 ? "7," : "1,";
  text.back() = ';';
  EXPECT_EQ(Match(p, text, "<list>"), static_cast<int>(text.size()));

  p.SetMaxDepth(1000);
  const std::string message = MessageOf([&] { Match(p, text, "<list>"); });
  EXPECT_NE(message.find("nested too deeply"), std::string::npos) << message;
  EXPECT_EQ(Match(p, "1,2;", "<list>"), 4);
}
