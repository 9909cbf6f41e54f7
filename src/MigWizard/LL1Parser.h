// The grammar engine TLL1Parser (unit LL1Parser): a top-down parser with ordered choice over a
// grammar given at run time as rule strings such as "<sign>-+|-|".
//
// Before the first parse the grammar is rewritten once (empty alternatives removed by
// substitution, alternatives ordered so the longer of two with a common beginning is tried first)
// and compiled: rule names become indices and runs of terminals become byte strings, so a parse
// does no name lookups. A nonterminal tries its alternatives in order and returns on the first
// that matches; the parse state is snapshotted around the alternatives and restored after each
// failed one, so a failed alternative leaves no trace in the state (nor in what a descendant's
// Assign takes back). An alternative that begins with the same items as the one that just failed
// goes on from the state those items left rather than parsing them again (also when the failed
// one stopped at a terminal or built-in among them, which changes nothing), so overrides must
// be deterministic: the same state and text give the same outcome. A nonterminal with one
// alternative inside another is not snapshotted: when it fails, the enclosing one restores a
// state from before it, so an override sees what it left only until then.
//
// Lists in a grammar are usually right-recursive, so recursion grows with the input. Every parse
// runs on a stack of its own, reserved large and touched only as far as used, and past
// MaxDepth() nested nonterminals (or near the end of that stack) the parse stops with an
// EGrammarError instead of overflowing.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rtl/SysUtils.h"

namespace migwiz {

class EGrammarError : public rtl::Exception {
 public:
  using rtl::Exception::Exception;
};

class TLL1Parser;

// Base of the parse state. Snapshots are further instances of the same class, filled by Assign.
class TParseState {
 public:
  explicit TParseState(TLL1Parser* parser = nullptr) : Parser(parser) {}
  virtual ~TParseState() = default;
  TParseState(const TParseState&) = delete;
  TParseState& operator=(const TParseState&) = delete;

  // Copies Position; subclasses copy their own fields too and call this.
  virtual void Assign(const TParseState& source) { Position = source.Position; }

  int Position = 0;              // 1-based index of the next character to read
  TLL1Parser* Parser = nullptr;  // not owned
};

// The "state class" of a parser: makes a new state owned by the given parser.
using TParseStateClass = std::unique_ptr<TParseState> (*)(TLL1Parser* parser);

template <class TState>
std::unique_ptr<TParseState> ParseStateClass(TLL1Parser* parser) {
  return std::make_unique<TState>(parser);
}

using TCharSet = std::bitset<256>;

class TLL1Parser {
 public:
  // A nonterminal as the prepared grammar refers to it. Rule is -1 for a name without a rule.
  struct TSymbol {
    std::string Name;  // with its brackets, lower case
    int Id = -1;       // index among SymbolCount(); -1 for a start name the grammar never uses
    int Rule = -1;
  };
  // A built-in class reference such as "<*digits>", resolved through GetBuiltinSet.
  struct TBuiltin {
    std::string Name;
    TCharSet Chars;
    bool Single = false;  // exactly one character, else one or more
    bool Known = false;
    bool Has[256] = {};  // Chars as a plain table, for the scan
  };

  static constexpr int kDefaultMaxDepth = 500000;

  explicit TLL1Parser(TParseStateClass stateClass = &ParseStateClass<TParseState>);
  virtual ~TLL1Parser();
  TLL1Parser(const TLL1Parser&) = delete;
  TLL1Parser& operator=(const TLL1Parser&) = delete;

  // Adds one rule; a second rule of the same name adds alternatives. Only before preparation.
  void AddRule(std::string_view rule);

  // Matches the nonterminal start (e.g. "<object>") at 1-based pos of text. On success pos
  // becomes the index after the match; on failure it is unchanged. The text must stay alive
  // and unchanged for the call.
  bool Parse(std::string_view text, std::string_view start, int& pos);

  // Rewrites and compiles the grammar; Parse does it on first use. Raises EGrammarError for a
  // grammar it cannot prepare, leaving the rules as they were.
  void Prepare();
  bool Prepared() const { return prepared_; }

  // The alternatives of a rule as rule text (escaped where needed), in their current order;
  // empty for an unknown name.
  std::vector<std::string> Alternatives(std::string_view name) const;
  // Id of a nonterminal of the prepared grammar, -1 when it has none.
  int SymbolId(std::string_view name) const;
  int SymbolCount() const;

  // Most nonterminals that may be open at once during a parse.
  int MaxDepth() const { return maxDepth_; }
  void SetMaxDepth(int depth) { maxDepth_ = depth; }

  TParseState& State() { return *state_; }

 protected:
  // The set of a built-in class and whether it matches exactly one character; false when the
  // name is none the parser knows. Descendants add theirs and defer to this for the rest.
  virtual bool GetBuiltinSet(std::string_view name, TCharSet& chars, bool& single);
  // Every nonterminal reference, also from inside the engine, comes through here.
  virtual bool ParseNonterminal(const TSymbol& symbol);
  // An override must leave the state as it was when it does not match, as the base does.
  virtual bool ParseBuiltin(const TBuiltin& builtin);
  virtual void BeforeParse() {}
  virtual void AfterParse(bool& success) { (void)success; }

  // The text of the current parse, as given.
  std::string_view Text() const { return text_; }

  // With prediction on, a nonterminal fails at once when the character at the position cannot
  // start any of its alternatives, instead of trying them all (the call itself still comes
  // through ParseNonterminal), and an alternative whose first item cannot start there is not
  // tried. This is only sound while no override makes a nonterminal or a
  // built-in match a text its rules and GetBuiltinSet would not, so it is off by default.
  void SetPredictive(bool on) { predictive_ = on; }
  // The named nonterminal changes the position and nothing else, and nothing below it does more
  // than its rules: it is matched on positions alone, calling no hook below it, and its outcome
  // at a position is remembered for the rest of a parse and replayed when the grammar asks for
  // it there again (ordered choice often does). Off for every name by default.
  void SetPositionOnly(std::string_view name);
  // A matcher that gives, from the text and a 1-based position, the end the rules of a
  // position-only nonterminal would match there (-1: none): the parse calls it instead of
  // walking them. It must answer exactly as the rules do.
  // It may answer kWalkRules for a text it leaves to the rules.
  using TNativeMatch = int (*)(std::string_view text, int pos);
  void SetNativeMatch(std::string_view name, TNativeMatch match);

 public:
  // Off: every nonterminal is walked by its rules, so a native matcher can be compared with them.
  void SetNativeMatchers(bool on) { nativeOn_ = on; }
  // What a native matcher answers for a text it leaves to the rules.
  static constexpr int kWalkRules = -2;

 protected:
 private:
  struct TGrammar;
  class TParseStack;
  class TOutcomes;

  bool ParseOnStack(const TSymbol& start);
  void CheckDepth();
  [[noreturn]] void TooDeep(std::uintptr_t sp) const;
  // The state saved in the open nonterminal's slot: 0 its start, 1 after shared items.
  TParseState& Snapshot(int slot);
  bool ParseRule(const TSymbol& symbol);
  // Walks the alternative from the item; before item keepAt it saves the state in slot 1. When a
  // terminal or built-in fails, stoppedAt is its index (the state is that after the items before
  // it), else -1.
  bool WalkAlternative(int alt, int fromItem, int keepAt, bool& kept, int& stoppedAt);
  // With prediction on: whether every alternative of the rule fails on its first item at pos.
  bool RuleCannotStart(const TSymbol& symbol, int pos) const;
  // With prediction on: whether the alternative fails on its first item at pos.
  bool CannotStart(int alt, int pos) const;
  // The first alternative from alt on (before end, the rule's end) that does not fail on its
  // first item at pos, else end; with prediction off alt itself.
  int NextPossible(int alt, int end, int pos) const;
  // The end of a match of a position-only nonterminal at pos, or -1.
  int MatchPositionOnly(const TSymbol& symbol, int pos);
  void ReleaseDeepMemory();
  void Compile(TGrammar& grammar);
  static void ComputeFirstSets(TGrammar& grammar);
  // How many leading items two alternatives have in common.
  static int SharedItems(const TGrammar& grammar, int first, int second);

  TParseStateClass stateClass_;
  std::unique_ptr<TParseState> state_;
  std::unique_ptr<TGrammar> grammar_;
  std::unique_ptr<TParseStack> stack_;
  std::vector<std::unique_ptr<TParseState>> snapshots_;  // two per open nonterminal, reused
  std::string_view text_;
  std::vector<std::string> positionOnlyNames_;
  std::vector<char> positionOnly_;  // by symbol id, resolved when a parse starts
  std::vector<std::pair<std::string, TNativeMatch>> nativeNames_;
  std::vector<TNativeMatch> native_;  // by symbol id, resolved when a parse starts
  bool nativeOn_ = true;
  std::unique_ptr<TOutcomes> outcomes_;  // (symbol, position) -> end, -1: failed
  bool prepared_ = false;
  bool parsing_ = false;
  bool predictive_ = false;
  int depth_ = 0;
  int maxDepth_ = kDefaultMaxDepth;
  std::uintptr_t stackLimit_ = 0;   // lowest safe stack address while on the parse stack
  std::uintptr_t stackLowest_ = 0;  // lowest stack address seen in this parse
};

}  // namespace migwiz
