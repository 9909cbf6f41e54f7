#include "MigWizard/LL1Parser.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <map>
#include <utility>

#if defined(_WIN32)
#define NOMINMAX
#include <windows.h>
#else
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>
#endif

#include "MigWizard/ROvoradRes.h"

namespace migwiz {

namespace {

// One element of an alternative before compilation: a reference or one terminal character.
// Kept apart so an escaped "<" can never be read back as the start of a reference.
struct Element {
  std::string ref;  // "<name>" for a reference, empty for a terminal
  char ch = 0;

  bool IsRef() const { return !ref.empty(); }
  bool IsBuiltin() const { return ref.size() > 1 && ref[1] == '*'; }
};
using Alternative = std::vector<Element>;

struct TextLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    return rtl::CompareText(a, b) < 0;
  }
};
using RuleMap = std::map<std::string, std::vector<Alternative>, TextLess>;

bool SameElement(const Element& a, const Element& b) {
  if (a.IsRef() != b.IsRef()) return false;
  return a.IsRef() ? rtl::SameText(a.ref, b.ref) : rtl::LoCase(a.ch) == rtl::LoCase(b.ch);
}

bool SameAlternative(const Alternative& a, const Alternative& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), SameElement);
}

void AddUnique(std::vector<Alternative>& out, const Alternative& alt) {
  for (const Alternative& have : out)
    if (SameAlternative(have, alt)) return;
  out.push_back(alt);
}

bool HasEmpty(const std::vector<Alternative>& alts) {
  return std::any_of(alts.begin(), alts.end(), [](const Alternative& a) { return a.empty(); });
}

// Every combination of choices for the marked places, first place varying slowest.
void Expand(const Alternative& alt, const std::vector<size_t>& places, size_t k,
            const std::vector<Alternative>& choices, Alternative& built,
            std::vector<Alternative>& out) {
  const size_t from = k == 0 ? 0 : places[k - 1] + 1;
  const size_t mark = built.size();
  if (k == places.size()) {
    built.insert(built.end(), alt.begin() + from, alt.end());
    AddUnique(out, built);
  } else {
    built.insert(built.end(), alt.begin() + from, alt.begin() + places[k]);
    const size_t prefix = built.size();
    for (const Alternative& choice : choices) {
      built.insert(built.end(), choice.begin(), choice.end());
      Expand(alt, places, k + 1, choices, built, out);
      built.erase(built.begin() + prefix, built.end());
    }
  }
  built.erase(built.begin() + mark, built.end());
}

// Replaces each reference to name in alts by every one of choices, in all combinations. The
// places are fixed before expanding, so a choice that refers to name itself is kept as written.
void Substitute(std::vector<Alternative>& alts, const std::string& name,
                const std::vector<Alternative>& choices) {
  std::vector<Alternative> out;
  Alternative built;
  for (const Alternative& alt : alts) {
    std::vector<size_t> places;
    for (size_t i = 0; i < alt.size(); ++i)
      if (alt[i].IsRef() && rtl::SameText(alt[i].ref, name)) places.push_back(i);
    Expand(alt, places, 0, choices, built, out);
  }
  alts = std::move(out);
}

// The alternative as the rule text stored it, the key of the ordering.
std::string RawText(const Alternative& alt) {
  std::string s;
  for (const Element& e : alt) {
    if (e.IsRef())
      s += e.ref;
    else
      s += e.ch;
  }
  return s;
}

int KindClass(const Alternative& alt) {
  if (alt.empty() || !alt[0].IsRef()) return 0;
  return alt[0].IsBuiltin() ? 1 : 2;
}

int CompareUpper(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(rtl::UpCase(a[i]));
    const auto y = static_cast<unsigned char>(rtl::UpCase(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Terminals first, then built-ins, then nonterminals; within a kind the greater text first, so
// of two alternatives where one begins with the other the longer is tried first.
void OrderAlternatives(std::vector<Alternative>& alts) {
  std::vector<std::pair<std::string, Alternative>> keyed;
  keyed.reserve(alts.size());
  for (Alternative& a : alts) keyed.emplace_back(RawText(a), std::move(a));
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    const int ka = KindClass(a.second), kb = KindClass(b.second);
    if (ka != kb) return ka < kb;
    return CompareUpper(a.first, b.first) > 0;
  });
  alts.clear();
  for (auto& k : keyed) alts.push_back(std::move(k.second));
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Rule text for a terminal that AddRule would read back as the same terminal.
void AppendTerminal(std::string& out, char c, bool afterNumericEscape) {
  const auto u = static_cast<unsigned char>(c);
  const bool plain = u >= 32 && u < 127 && c != '<' && c != '>' && c != '|' && c != '\\' &&
                     !(c >= 'A' && c <= 'Z') && !(afterNumericEscape && IsDigit(c));
  if (plain)
    out += c;
  else
    out += "\\" + std::to_string(u);
}

std::string RuleText(const Alternative& alt) {
  std::string s;
  bool numeric = false;
  for (const Element& e : alt) {
    if (e.IsRef()) {
      s += e.ref;
      numeric = false;
    } else {
      const size_t before = s.size();
      AppendTerminal(s, e.ch, numeric);
      numeric = s.size() - before > 1;
    }
  }
  return s;
}

// A 256-entry table so terminals match without regard to case without a lower-cased copy of
// the text: the caller parses object after object from the same long text.
struct LowerTable {
  unsigned char map[256];
  LowerTable() {
    for (int i = 0; i < 256; ++i) map[i] = static_cast<unsigned char>(rtl::LoCase(char(i)));
  }
};
const LowerTable kLower;

constexpr std::size_t kStackMargin = std::size_t(1) << 20;  // for hooks and unwinding

// One more open nonterminal while it lives.
struct TDepthScope {
  int& depth;
  explicit TDepthScope(int& d) : depth(d) { ++depth; }
  ~TDepthScope() { --depth; }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// The grammar: as added, and compiled for parsing.

struct TLL1Parser::TGrammar {
  enum ItemKind : std::uint8_t { kTerminals, kNonterminal, kBuiltin };
  struct Item {
    ItemKind kind;
    int arg;  // offset into terminals, symbol or built-in index
    int len;  // number of terminal characters
  };
  struct CompiledAlt {
    int first, count;
    int shared;  // leading items the next alternative of the rule has too
  };
  struct CompiledRule {
    int firstAlt, altCount;
  };

  RuleMap rules;

  std::vector<TSymbol> symbols;
  std::map<std::string, int, TextLess> symbolIds;
  // By symbol: the characters a match can start with, and whether that is not known (a
  // reference without a rule or an unknown built-in may start it, which must raise when met).
  std::vector<TCharSet> first;
  std::vector<char> firstUnknown;
  std::vector<TCharSet> altFirst;  // the same by alternative
  std::vector<char> altFirstUnknown;
  // By alternative and character (256: past the text's end): the first alternative from it on in
  // its rule that may start there, or the rule's end; empty when the grammar is too large for it.
  static constexpr size_t kColumns = 257;
  std::vector<std::uint16_t> nextStart;
  std::vector<TBuiltin> builtins;
  std::vector<CompiledRule> compiledRules;
  std::vector<CompiledAlt> alts;
  std::vector<Item> items;
  std::string terminals;
};

// ---------------------------------------------------------------------------------------------
// The parse stack: reserved once per parser, large, and only touched as deep as a parse goes.

#if defined(_WIN32)

class TLL1Parser::TParseStack {
 public:
  static constexpr std::size_t kReserve =
      sizeof(void*) == 8 ? (std::size_t(1) << 30) : (std::size_t(1) << 28);

  void Run(void (*fn)(void*), void* arg) {
    fn_ = fn;
    arg_ = arg;
    error_ = nullptr;
    HANDLE thread = CreateThread(nullptr, kReserve, &ThreadMain, this,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) throw EGrammarError(res::sNoParseStack);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  }
  std::uintptr_t Limit() const { return limit_; }
  void Release(std::uintptr_t) {}

 private:
  static DWORD WINAPI ThreadMain(LPVOID self) {
    auto* stack = static_cast<TParseStack*>(self);
    char probe = 0;
    stack->limit_ = reinterpret_cast<std::uintptr_t>(&probe) - kReserve + 2 * kStackMargin;
    try {
      stack->fn_(stack->arg_);
    } catch (...) {
      stack->error_ = std::current_exception();
    }
    return 0;
  }

  void (*fn_)(void*) = nullptr;
  void* arg_ = nullptr;
  std::exception_ptr error_;
  std::uintptr_t limit_ = 0;
};

#else

class TLL1Parser::TParseStack {
 public:
  TParseStack() {
    page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t sizes[] = {sizeof(void*) == 8 ? (std::size_t(1) << 30) : 0,
                                 std::size_t(1) << 28, std::size_t(1) << 25};
    for (std::size_t size : sizes) {
      if (size == 0) continue;
      void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
      if (p == MAP_FAILED) continue;
      base_ = static_cast<char*>(p);
      size_ = size;
      mprotect(base_, page_, PROT_NONE);  // guard page
      break;
    }
  }
  ~TParseStack() {
    if (base_) munmap(base_, size_);
  }
  TParseStack(const TParseStack&) = delete;
  TParseStack& operator=(const TParseStack&) = delete;

  void Run(void (*fn)(void*), void* arg) {
    if (!base_) throw EGrammarError(res::sNoParseStack);
    fn_ = fn;
    arg_ = arg;
    error_ = nullptr;
    getcontext(&callee_);
    callee_.uc_stack.ss_sp = base_;
    callee_.uc_stack.ss_size = size_;
    callee_.uc_link = &caller_;
    makecontext(&callee_, &Entry, 0);
    entering_ = this;
    swapcontext(&caller_, &callee_);
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  }

  std::uintptr_t Limit() const {
    return reinterpret_cast<std::uintptr_t>(base_) + page_ + kStackMargin;
  }

  // Gives the pages of a deep parse back, keeping the top few for the next ones.
  void Release(std::uintptr_t lowest) {
    const std::size_t keep = std::size_t(8) << 20;
    const auto bottom = reinterpret_cast<std::uintptr_t>(base_) + page_;
    const auto top = reinterpret_cast<std::uintptr_t>(base_) + size_;
    if (lowest >= top - keep || lowest < bottom) return;
    std::uintptr_t from = (lowest & ~(std::uintptr_t(page_) - 1));
    from = from > bottom + kStackMargin ? from - kStackMargin : bottom;
    madvise(reinterpret_cast<void*>(from), top - keep - from, MADV_DONTNEED);
  }

 private:
  static void Entry() {
    TParseStack* self = entering_;
    try {
      self->fn_(self->arg_);
    } catch (...) {
      self->error_ = std::current_exception();
    }
    // Returning resumes caller_ through uc_link.
  }

  static thread_local TParseStack* entering_;

  char* base_ = nullptr;
  std::size_t size_ = 0;
  std::size_t page_ = 4096;
  ucontext_t caller_{};
  ucontext_t callee_{};
  void (*fn_)(void*) = nullptr;
  void* arg_ = nullptr;
  std::exception_ptr error_;
};

thread_local TLL1Parser::TParseStack* TLL1Parser::TParseStack::entering_ = nullptr;

#endif

// ---------------------------------------------------------------------------------------------
// The outcomes of position-only nonterminals in one parse: open addressing, emptied in O(1) by a
// new generation, since a form's objects are parsed one by one and most parses are short.

class TLL1Parser::TOutcomes {
 public:
  TOutcomes() { slots_.resize(kInitial); }

  // The remembered end, or nullptr.
  const int* Find(std::uint64_t key) const {
    for (size_t i = Hash(key) & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      const Slot& s = slots_[i];
      if (s.generation != generation_) return nullptr;
      if (s.key == key) return &s.end;
    }
  }
  void Put(std::uint64_t key, int end) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    Insert(key, end);
  }
  void Clear() {
    used_ = 0;
    if (slots_.size() > kKeep) {
      std::vector<Slot>(kInitial).swap(slots_);
      generation_ = 1;
    } else if (++generation_ == 0) {  // wrapped: stale slots could pass as current
      std::fill(slots_.begin(), slots_.end(), Slot{});
      generation_ = 1;
    }
  }

 private:
  struct Slot {
    std::uint64_t key = 0;
    int end = 0;
    std::uint32_t generation = 0;
  };
  static constexpr size_t kInitial = 1024;
  static constexpr size_t kKeep = size_t(1) << 16;

  static size_t Hash(std::uint64_t key) {
    key *= 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(key >> 20);
  }
  void Insert(std::uint64_t key, int end) {
    for (size_t i = Hash(key) & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      Slot& s = slots_[i];
      if (s.generation != generation_) {
        s = Slot{key, end, generation_};
        ++used_;
        return;
      }
      if (s.key == key) {
        s.end = end;
        return;
      }
    }
  }
  void Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    const std::uint32_t live = generation_;
    generation_ = 1;
    used_ = 0;
    for (const Slot& s : old)
      if (s.generation == live) Insert(s.key, s.end);
  }

  std::vector<Slot> slots_;
  std::uint32_t generation_ = 1;
  size_t used_ = 0;
};

// ---------------------------------------------------------------------------------------------

TLL1Parser::TLL1Parser(TParseStateClass stateClass)
    : stateClass_(stateClass),
      state_(stateClass(this)),
      grammar_(std::make_unique<TGrammar>()),
      outcomes_(std::make_unique<TOutcomes>()) {}

TLL1Parser::~TLL1Parser() = default;

void TLL1Parser::AddRule(std::string_view ruleText) {
  rtl::Assert(!prepared_, "AddRule after the grammar was prepared");
  if (ruleText.size() < 2) return;
  const std::string rule = rtl::LowerCase(ruleText);
  const size_t n = rule.size();
  const size_t close = rule.find('>', 1);
  if (close == std::string::npos || close + 1 >= n) throw EGrammarError(res::sInvalidRuleFormat);

  std::vector<Alternative> alts;
  Alternative cur;
  const size_t start = close + 2;  // the separator is skipped whatever it is
  size_t i = start;
  while (i < n) {
    const char c = rule[i];
    if (c == '|') {
      alts.push_back(std::move(cur));
      cur.clear();
      ++i;
      continue;
    }
    if (c == '<' && i + 1 < n && rule[i + 1] != '<' && rule[i + 1] != '>') {
      const size_t end = rule.find_first_of("<>", i + 1);
      if (end != std::string::npos && rule[end] == '>') {
        cur.push_back(Element{rule.substr(i, end - i + 1), 0});
        i = end + 1;
        continue;
      }
    }
    if (c == '\\') {
      if (i + 1 >= n) throw EGrammarError(res::sInvalidRuleFormat);
      if (IsDigit(rule[i + 1])) {
        int code = 0;
        size_t j = i + 1;
        for (; j < n && IsDigit(rule[j]); ++j) code = (code * 10 + (rule[j] - '0')) % 256;
        cur.push_back(Element{{}, static_cast<char>(code)});
        i = j;
      } else {
        cur.push_back(Element{{}, rule[i + 1]});
        i += 2;
      }
      continue;
    }
    cur.push_back(Element{{}, c});
    ++i;
  }
  // The last alternative; it is the empty one when the rule ends with "|".
  if (start < n) alts.push_back(std::move(cur));

  auto& entry = grammar_->rules[rule.substr(0, close + 1)];
  for (Alternative& a : alts) entry.push_back(std::move(a));
}

void TLL1Parser::Prepare() {
  if (prepared_) return;
  RuleMap rules = grammar_->rules;

  // Remove empty alternatives: every reference to a nullable rule is replaced by each of its
  // alternatives and by nothing; the rule itself last, with one level of its own recursion.
  for (auto& [name, alts] : rules) {
    if (!HasEmpty(alts)) continue;
    for (auto& [other, otherAlts] : rules)
      if (&otherAlts != &alts) Substitute(otherAlts, name, alts);
    const std::vector<Alternative> own = alts;
    Substitute(alts, name, own);
    alts.erase(
        std::remove_if(alts.begin(), alts.end(), [](const Alternative& a) { return a.empty(); }),
        alts.end());
  }
  // A rule made nullable by one visited after it cannot be parsed without empty matches.
  for (const auto& [name, alts] : rules) {
    if (HasEmpty(alts)) throw EGrammarError(rtl::Format(res::sRuleMatchesEmpty, {name}));
  }
  for (auto& entry : rules) OrderAlternatives(entry.second);

  auto compiled = std::make_unique<TGrammar>();
  compiled->rules = std::move(rules);
  Compile(*compiled);
  grammar_ = std::move(compiled);
  prepared_ = true;
}

// Rule names become indices and terminals byte runs, so a parse looks nothing up by name.
void TLL1Parser::Compile(TGrammar& g) {
  for (const auto& entry : g.rules) {
    const int id = static_cast<int>(g.symbols.size());
    g.symbols.push_back(TSymbol{entry.first, id, id});
    g.symbolIds.emplace(entry.first, id);
  }
  std::map<std::string, int, TextLess> builtinIds;
  for (const auto& entry : g.rules) {
    g.compiledRules.push_back(
        {static_cast<int>(g.alts.size()), static_cast<int>(entry.second.size())});
    for (const Alternative& alt : entry.second) {
      const int first = static_cast<int>(g.items.size());
      for (const Element& e : alt) {
        if (!e.IsRef()) {
          // Consecutive terminals are matched as one run.
          if (static_cast<int>(g.items.size()) > first &&
              g.items.back().kind == TGrammar::kTerminals)
            ++g.items.back().len;
          else
            g.items.push_back({TGrammar::kTerminals, static_cast<int>(g.terminals.size()), 1});
          g.terminals += e.ch;
        } else if (e.IsBuiltin()) {
          auto it = builtinIds.find(e.ref);
          if (it == builtinIds.end()) {
            TBuiltin b;
            b.Name = e.ref;
            b.Known = GetBuiltinSet(b.Name, b.Chars, b.Single);
            for (size_t c = 0; c < 256; ++c) b.Has[c] = b.Chars[c];
            it = builtinIds.emplace(e.ref, static_cast<int>(g.builtins.size())).first;
            g.builtins.push_back(std::move(b));
          }
          g.items.push_back({TGrammar::kBuiltin, it->second, 0});
        } else {
          auto it = g.symbolIds.find(e.ref);
          if (it == g.symbolIds.end()) {  // no rule: raises when a parse reaches it
            const int id = static_cast<int>(g.symbols.size());
            g.symbols.push_back(TSymbol{e.ref, id, -1});
            it = g.symbolIds.emplace(e.ref, id).first;
          }
          g.items.push_back({TGrammar::kNonterminal, it->second, 0});
        }
      }
      g.alts.push_back({first, static_cast<int>(g.items.size()) - first, 0});
    }
  }
  for (const TGrammar::CompiledRule& rule : g.compiledRules)
    for (int a = rule.firstAlt; a + 1 < rule.firstAlt + rule.altCount; ++a)
      g.alts[size_t(a)].shared = SharedItems(g, a, a + 1);
  ComputeFirstSets(g);
}

int TLL1Parser::SharedItems(const TGrammar& g, int first, int second) {
  const TGrammar::CompiledAlt& a = g.alts[size_t(first)];
  const TGrammar::CompiledAlt& b = g.alts[size_t(second)];
  int n = 0;
  while (n < a.count && n < b.count) {
    const TGrammar::Item& x = g.items[size_t(a.first + n)];
    const TGrammar::Item& y = g.items[size_t(b.first + n)];
    if (x.kind != y.kind || x.len != y.len) break;
    if (x.kind == TGrammar::kTerminals
            ? g.terminals.compare(size_t(x.arg), size_t(x.len), g.terminals, size_t(y.arg),
                                  size_t(y.len)) != 0
            : x.arg != y.arg)
      break;
    ++n;
  }
  return n;
}

void TLL1Parser::ComputeFirstSets(TGrammar& g) {
  const size_t n = g.symbols.size();
  g.first.assign(n, TCharSet());
  g.firstUnknown.assign(n, 0);
  for (size_t s = 0; s < n; ++s)
    if (g.symbols[s].Rule < 0) g.firstUnknown[s] = 1;
  // What the first item of an alternative can start with; no alternative is empty any more.
  auto firstOfAlt = [&g](const TGrammar::CompiledAlt& alt, TCharSet& set, char& unknown) {
    if (alt.count == 0) return;
    const TGrammar::Item& item = g.items[static_cast<size_t>(alt.first)];
    if (item.kind == TGrammar::kTerminals) {
      const auto c = static_cast<unsigned char>(g.terminals[static_cast<size_t>(item.arg)]);
      for (int t = 0; t < 256; ++t)
        if (kLower.map[t] == c) set.set(static_cast<size_t>(t));
    } else if (item.kind == TGrammar::kBuiltin) {
      const TBuiltin& b = g.builtins[static_cast<size_t>(item.arg)];
      if (b.Known)
        set |= b.Chars;
      else
        unknown = 1;
    } else {
      set |= g.first[static_cast<size_t>(item.arg)];
      unknown |= g.firstUnknown[static_cast<size_t>(item.arg)];
    }
  };
  // Iterated to the fixed point.
  for (bool changed = true; changed;) {
    changed = false;
    for (size_t s = 0; s < n; ++s) {
      if (g.symbols[s].Rule < 0) continue;
      const TGrammar::CompiledRule& rule = g.compiledRules[static_cast<size_t>(g.symbols[s].Rule)];
      TCharSet set = g.first[s];
      char unknown = g.firstUnknown[s];
      for (int a = rule.firstAlt; a < rule.firstAlt + rule.altCount; ++a)
        firstOfAlt(g.alts[static_cast<size_t>(a)], set, unknown);
      if (set != g.first[s] || unknown != g.firstUnknown[s]) {
        g.first[s] = set;
        g.firstUnknown[s] = unknown;
        changed = true;
      }
    }
  }
  g.altFirst.assign(g.alts.size(), TCharSet());
  g.altFirstUnknown.assign(g.alts.size(), 0);
  for (size_t a = 0; a < g.alts.size(); ++a)
    firstOfAlt(g.alts[a], g.altFirst[a], g.altFirstUnknown[a]);
  g.nextStart.clear();
  if (g.alts.size() >= 0xFFFF) return;
  g.nextStart.assign(g.alts.size() * TGrammar::kColumns, 0);
  for (const TGrammar::CompiledRule& rule : g.compiledRules) {
    const int end = rule.firstAlt + rule.altCount;
    for (size_t c = 0; c < TGrammar::kColumns; ++c) {
      int next = end;
      for (int a = end - 1; a >= rule.firstAlt; --a) {
        const auto i = static_cast<size_t>(a);
        if (g.altFirstUnknown[i] || (c < 256 && g.altFirst[i][c])) next = a;
        g.nextStart[i * TGrammar::kColumns + c] = static_cast<std::uint16_t>(next);
      }
    }
  }
}

std::vector<std::string> TLL1Parser::Alternatives(std::string_view name) const {
  std::vector<std::string> out;
  auto it = grammar_->rules.find(name);
  if (it == grammar_->rules.end()) return out;
  for (const Alternative& alt : it->second) out.push_back(RuleText(alt));
  return out;
}

int TLL1Parser::SymbolId(std::string_view name) const {
  if (!prepared_) return -1;
  auto it = grammar_->symbolIds.find(name);
  return it == grammar_->symbolIds.end() ? -1 : it->second;
}

int TLL1Parser::SymbolCount() const {
  return prepared_ ? static_cast<int>(grammar_->symbols.size()) : 0;
}

bool TLL1Parser::Parse(std::string_view text, std::string_view start, int& pos) {
  rtl::Assert(!parsing_, "a parser cannot start a parse from inside its own parse");
  Prepare();
  if (text.size() >= static_cast<size_t>(INT_MAX)) throw EGrammarError(res::sTextTooLarge);

  TSymbol unknown;
  const TSymbol* startSymbol = &unknown;
  if (const int id = SymbolId(start); id >= 0)
    startSymbol = &grammar_->symbols[static_cast<size_t>(id)];
  else
    unknown.Name = std::string(start);

  struct Scope {
    TLL1Parser& p;
    ~Scope() {
      p.parsing_ = false;
      p.text_ = {};
      p.ReleaseDeepMemory();
    }
  } scope{*this};
  parsing_ = true;
  text_ = text;
  state_->Position = pos;
  depth_ = 0;
  outcomes_->Clear();
  positionOnly_.assign(static_cast<size_t>(SymbolCount()), 0);
  for (const std::string& name : positionOnlyNames_)
    if (const int id = SymbolId(name); id >= 0) positionOnly_[static_cast<size_t>(id)] = 1;
  native_.assign(static_cast<size_t>(SymbolCount()), nullptr);
  if (nativeOn_)
    for (const auto& [name, match] : nativeNames_)
      if (const int id = SymbolId(name); id >= 0 && positionOnly_[static_cast<size_t>(id)])
        native_[static_cast<size_t>(id)] = match;

  bool success = false;
  try {
    success = ParseOnStack(*startSymbol);
  } catch (...) {
    state_->Position = pos;
    throw;
  }
  if (success)
    pos = state_->Position;
  else
    state_->Position = pos;
  return success;
}

bool TLL1Parser::ParseOnStack(const TSymbol& start) {
  if (!stack_) stack_ = std::make_unique<TParseStack>();
  struct Job {
    TLL1Parser* parser;
    const TSymbol* start;
    bool success;
  } job{this, &start, false};
  stack_->Run(
      [](void* arg) {
        auto* j = static_cast<Job*>(arg);
        TLL1Parser& p = *j->parser;
        p.stackLimit_ = p.stack_->Limit();
        p.stackLowest_ = UINTPTR_MAX;
        p.BeforeParse();
        j->success = p.ParseNonterminal(*j->start);
        p.AfterParse(j->success);
      },
      &job);
  return job.success;
}

void TLL1Parser::ReleaseDeepMemory() {
  constexpr size_t kKeep = 4096;
  outcomes_->Clear();
  if (snapshots_.size() > kKeep) {
    snapshots_.resize(kKeep);
    snapshots_.shrink_to_fit();
  }
  if (stack_ && stackLowest_ != 0) stack_->Release(stackLowest_);
  stackLowest_ = 0;
}

inline bool TLL1Parser::RuleCannotStart(const TSymbol& symbol, int pos) const {
  const TGrammar& g = *grammar_;
  if (!predictive_ || g.firstUnknown[static_cast<size_t>(symbol.Id)]) return false;
  if (pos < 1 || static_cast<size_t>(pos) > text_.size()) return true;
  return !g.first[static_cast<size_t>(symbol.Id)]
                 [static_cast<unsigned char>(text_[static_cast<size_t>(pos) - 1])];
}

inline int TLL1Parser::NextPossible(int alt, int end, int pos) const {
  if (!predictive_) return alt;
  const TGrammar& g = *grammar_;
  if (g.nextStart.empty()) {
    while (alt < end && CannotStart(alt, pos)) ++alt;
    return alt;
  }
  const size_t column = pos < 1 || static_cast<size_t>(pos) > text_.size()
                            ? 256
                            : static_cast<unsigned char>(text_[static_cast<size_t>(pos) - 1]);
  return g.nextStart[static_cast<size_t>(alt) * TGrammar::kColumns + column];
}

inline bool TLL1Parser::CannotStart(int alt, int pos) const {
  const TGrammar& g = *grammar_;
  if (!predictive_ || g.altFirstUnknown[static_cast<size_t>(alt)]) return false;
  if (pos < 1 || static_cast<size_t>(pos) > text_.size()) return true;
  return !g.altFirst[static_cast<size_t>(alt)]
                    [static_cast<unsigned char>(text_[static_cast<size_t>(pos) - 1])];
}

inline void TLL1Parser::CheckDepth() {
  char probe = 0;
  const auto sp = reinterpret_cast<std::uintptr_t>(&probe);
  if (sp < stackLowest_) stackLowest_ = sp;
  if (depth_ > maxDepth_ || sp < stackLimit_) TooDeep(sp);
}

void TLL1Parser::TooDeep(std::uintptr_t sp) const {
  if (depth_ > maxDepth_)
    throw EGrammarError(rtl::Format(res::sNestedTooDeeply, {std::int64_t(maxDepth_)}));
  (void)sp;  // below stackLimit_
  throw EGrammarError(res::sNestedTooDeeplyForStack);
}

TParseState& TLL1Parser::Snapshot(int slot) {
  const auto d = 2 * static_cast<size_t>(depth_) + static_cast<size_t>(slot);
  if (snapshots_.size() <= d) snapshots_.resize(d + 1);
  std::unique_ptr<TParseState>& s = snapshots_[d];
  if (!s) s = stateClass_(this);
  s->Assign(*state_);
  return *s;
}

void TLL1Parser::SetPositionOnly(std::string_view name) {
  positionOnlyNames_.emplace_back(name);
}

void TLL1Parser::SetNativeMatch(std::string_view name, TNativeMatch match) {
  nativeNames_.emplace_back(std::string(name), match);
}

bool TLL1Parser::ParseNonterminal(const TSymbol& symbol) {
  if (symbol.Id < 0 || static_cast<size_t>(symbol.Id) >= positionOnly_.size() ||
      !positionOnly_[static_cast<size_t>(symbol.Id)])
    return ParseRule(symbol);
  const int end = MatchPositionOnly(symbol, state_->Position);
  if (end < 0) return false;
  state_->Position = end;
  return true;
}

// Ordered choice, where an alternative that begins with the items of the one before it goes on
// from the state those items left (kept in a second snapshot) instead of parsing them again: the
// same items from the same state parse the same way. A list rule such as
// "<item><list>|<item>" so parses its last item once, not twice at every level.
bool TLL1Parser::ParseRule(const TSymbol& symbol) {
  if (symbol.Rule < 0) throw EGrammarError(res::sUnknownNonterminal + symbol.Name);
  const TDepthScope scope(depth_);
  CheckDepth();

  const TGrammar& g = *grammar_;
  const auto size = static_cast<std::int64_t>(text_.size());
  // Every alternative would fail on its first item and leave the state as it is.
  if (RuleCannotStart(symbol, state_->Position)) return false;
  const TGrammar::CompiledRule& rule = g.compiledRules[static_cast<size_t>(symbol.Rule)];
  // A lone alternative of a nonterminal inside another saves no start: when it fails, the
  // enclosing nonterminal puts back a state from before it anyway.
  const bool lone = rule.altCount == 1 && depth_ > 1;
  TParseState* snapshot = nullptr;  // the state at the rule's start
  TParseState* shared = nullptr;    // the state after the items the next alternative shares
  int resume = 0;                   // items of this alternative the one before already parsed
  bool atShared = false;            // the state is the shared one already
  for (int a = rule.firstAlt, end = rule.firstAlt + rule.altCount; a < end; ++a) {
    const TGrammar::CompiledAlt& alt = g.alts[static_cast<size_t>(a)];
    int from = resume;
    if (resume > 0) {
      if (!atShared) state_->Assign(*shared);
      atShared = false;
    } else if (const int next = NextPossible(a, end, state_->Position); next != a) {
      a = next - 1;  // those before it would fail on their first item, changing nothing
      continue;
    } else if (alt.count > 0) {
      // A leading terminal run is checked before anything is saved: most alternatives fail
      // there, and such a failure changes nothing.
      const TGrammar::Item& first = g.items[static_cast<size_t>(alt.first)];
      if (first.kind == TGrammar::kTerminals) {
        const std::int64_t p = std::int64_t(state_->Position) - 1;
        if (p < 0 || p + first.len > size) continue;
        const char* t = g.terminals.data() + first.arg;
        int k = 0;
        while (k < first.len && kLower.map[static_cast<unsigned char>(text_[size_t(p) + k])] ==
                                    static_cast<unsigned char>(t[k]))
          ++k;
        if (k < first.len) continue;
        if (!snapshot && !lone) snapshot = &Snapshot(0);
        state_->Position += first.len;
        from = 1;
      }
    }
    if (!snapshot && !lone) snapshot = &Snapshot(0);
    // The shared state already held serves the next alternative too when it shares as much.
    const int keepAt =
        alt.shared > 0 && alt.shared >= from && alt.shared != resume ? alt.shared : -1;
    bool kept = false;
    int stoppedAt = -1;
    if (WalkAlternative(a, from, keepAt, kept, stoppedAt)) return true;
    if (alt.shared > 0 && alt.shared == resume) {
      // shared still holds the state after those items
    } else if (kept) {
      shared = snapshots_[2 * static_cast<size_t>(depth_) + 1].get();
      resume = alt.shared;
      continue;
    } else if (stoppedAt > 0 && stoppedAt <= alt.shared) {
      // The state is the one the items before the failed terminal left, and the next
      // alternative begins with those items: it goes on from here. Failed where it went on,
      // shared holds that state already.
      if (stoppedAt != resume) shared = &Snapshot(1);
      resume = stoppedAt;
      atShared = true;
      continue;
    } else {
      resume = 0;
    }
    if (resume == 0 && snapshot) state_->Assign(*snapshot);
  }
  return false;
}

bool TLL1Parser::WalkAlternative(int a, int fromItem, int keepAt, bool& kept, int& stoppedAt) {
  const TGrammar& g = *grammar_;
  const TGrammar::CompiledAlt& alt = g.alts[static_cast<size_t>(a)];
  const auto size = static_cast<std::int64_t>(text_.size());
  for (int i = fromItem; i < alt.count; ++i) {
    if (i == keepAt) {
      Snapshot(1);
      kept = true;
    }
    const TGrammar::Item& item = g.items[static_cast<size_t>(alt.first + i)];
    switch (item.kind) {
      case TGrammar::kTerminals: {
        const std::int64_t p = std::int64_t(state_->Position) - 1;
        if (p < 0 || p + item.len > size) {
          stoppedAt = i;
          return false;
        }
        const char* t = g.terminals.data() + item.arg;
        for (int k = 0; k < item.len; ++k)
          if (kLower.map[static_cast<unsigned char>(text_[size_t(p) + k])] !=
              static_cast<unsigned char>(t[k])) {
            stoppedAt = i;
            return false;
          }
        state_->Position += item.len;
        break;
      }
      case TGrammar::kNonterminal:
        if (!ParseNonterminal(g.symbols[static_cast<size_t>(item.arg)])) return false;
        break;
      case TGrammar::kBuiltin:
        if (!ParseBuiltin(g.builtins[static_cast<size_t>(item.arg)])) {
          stoppedAt = i;
          return false;
        }
        break;
    }
  }
  return true;
}

// A position-only nonterminal changes nothing but the position, and nothing below it does more:
// it is matched on positions alone, without snapshots or hooks, and its outcome is remembered.
int TLL1Parser::MatchPositionOnly(const TSymbol& symbol, int pos) {
  const bool remembered = symbol.Id >= 0 && static_cast<size_t>(symbol.Id) < positionOnly_.size() &&
                          positionOnly_[static_cast<size_t>(symbol.Id)];
  const std::uint64_t key = (std::uint64_t(std::uint32_t(symbol.Id)) << 32) | std::uint32_t(pos);
  if (remembered) {
    if (const int* known = outcomes_->Find(key)) return *known;
    if (const TNativeMatch native = native_[static_cast<size_t>(symbol.Id)]) {
      const int end = native(text_, pos);
      if (end != kWalkRules) {
        outcomes_->Put(key, end);
        return end;
      }
    }
  }
  if (symbol.Rule < 0) throw EGrammarError(res::sUnknownNonterminal + symbol.Name);
  const TDepthScope scope(depth_);
  CheckDepth();

  const TGrammar& g = *grammar_;
  const char* const text = text_.data();
  const auto size = static_cast<std::int64_t>(text_.size());
  int result = -1;
  if (RuleCannotStart(symbol, pos)) {
    if (remembered) outcomes_->Put(key, -1);
    return -1;
  }
  const TGrammar::CompiledRule& rule = g.compiledRules[static_cast<size_t>(symbol.Rule)];
  int resume = 0, resumePos = pos;
  for (int a = rule.firstAlt, end = rule.firstAlt + rule.altCount; a < end && result < 0; ++a) {
    if (resume == 0 && (a = NextPossible(a, end, pos)) >= end) break;
    const TGrammar::CompiledAlt& alt = g.alts[static_cast<size_t>(a)];
    int p = resume > 0 ? resumePos : pos;
    int keptPos = -1;
    int i = resume;
    for (; i < alt.count; ++i) {
      if (i == alt.shared) keptPos = p;
      const TGrammar::Item& item = g.items[static_cast<size_t>(alt.first + i)];
      if (item.kind == TGrammar::kTerminals) {
        const std::int64_t q = std::int64_t(p) - 1;
        if (q < 0 || q + item.len > size) break;
        const char* t = g.terminals.data() + item.arg;
        int k = 0;
        while (k < item.len && kLower.map[static_cast<unsigned char>(text[q + k])] ==
                                   static_cast<unsigned char>(t[k]))
          ++k;
        if (k < item.len) break;
        p += item.len;
      } else if (item.kind == TGrammar::kBuiltin) {
        const TBuiltin& b = g.builtins[static_cast<size_t>(item.arg)];
        if (!b.Known)
          throw rtl::EAssertionFailed("Assertion failed: unknown built-in class " + b.Name);
        std::int64_t q = std::int64_t(p) - 1;
        if (q < 0 || q >= size || !b.Has[static_cast<unsigned char>(text[q])]) break;
        ++q;
        if (!b.Single)
          while (q < size && b.Has[static_cast<unsigned char>(text[q])]) ++q;
        p = static_cast<int>(q + 1);
      } else {
        const int matched = MatchPositionOnly(g.symbols[static_cast<size_t>(item.arg)], p);
        if (matched < 0) break;
        p = matched;
      }
    }
    if (i == alt.count) {
      result = p;
    } else if (alt.shared > 0 && (keptPos >= 0 || alt.shared == resume)) {
      if (keptPos >= 0) resumePos = keptPos;
      resume = alt.shared;
    } else if (i < alt.shared) {
      // The next alternative has the failed item too, at the same place: it fails there as well,
      // and goes on from there as this one would have.
      resume = i;
      resumePos = p;
    } else {
      resume = 0;
    }
  }
  if (remembered) outcomes_->Put(key, result);
  return result;
}

bool TLL1Parser::ParseBuiltin(const TBuiltin& builtin) {
  if (!builtin.Known)
    throw rtl::EAssertionFailed("Assertion failed: unknown built-in class " + builtin.Name);
  const std::int64_t p = std::int64_t(state_->Position) - 1;
  const char* const text = text_.data();
  const auto size = static_cast<std::int64_t>(text_.size());
  if (p < 0 || p >= size) return false;
  const bool* const has = builtin.Has;
  if (builtin.Single) {
    if (!has[static_cast<unsigned char>(text[p])]) return false;
    ++state_->Position;
    return true;
  }
  std::int64_t q = p;
  while (q < size && has[static_cast<unsigned char>(text[q])]) ++q;
  if (q == p) return false;
  state_->Position += static_cast<int>(q - p);
  return true;
}

bool TLL1Parser::GetBuiltinSet(std::string_view name, TCharSet& chars, bool& single) {
  auto range = [&chars](int from, int to) {
    for (int c = from; c <= to; ++c) chars.set(static_cast<size_t>(c));
  };
  chars.reset();
  single = false;
  const std::string n = rtl::LowerCase(name);
  if (n == "<*chars_or_digits>" || n == "<*char>") {
    range('A', 'Z');
    range('a', 'z');
    chars.set('_');
    if (n == "<*chars_or_digits>") range('0', '9');
    single = n == "<*char>";
  } else if (n == "<*symbols>" || n == "<*symbol>") {
    range(1, 255);
    chars.reset('\'');
    single = n == "<*symbol>";
  } else if (n == "<*digits>" || n == "<*digit>") {
    range('0', '9');
    single = n == "<*digit>";
  } else if (n == "<*hexs>") {
    range('0', '9');
    range('A', 'F');
    range('a', 'f');
  } else {
    return false;
  }
  return true;
}

}  // namespace migwiz
