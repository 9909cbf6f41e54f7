#include "MigWizard/Revisions.h"

#include <algorithm>

#include "MigWizard/PasParser.h"
#include "MigWizard/ROvoradRes.h"
#include "MigWizard/WordSearch.h"
#include "rtl/SysUtils.h"

namespace migwiz {

namespace {

unsigned char Up(char c) {
  return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 32 : c);
}

// An identifier against an upper-case word.
bool Is(std::string_view lexeme, std::string_view upper) {
  if (lexeme.size() != upper.size()) return false;
  for (size_t i = 0; i < lexeme.size(); ++i)
    if (Up(lexeme[i]) != static_cast<unsigned char>(upper[i])) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::string LostNote(const std::string& newClass, std::string_view member) {
  return rtl::Format(res::sMemberLost, {newClass, member});
}

}  // namespace

size_t TNoCaseHash::operator()(std::string_view s) const noexcept {
  size_t h = 14695981039346656037ull;
  for (char c : s) h = (h ^ Up(c)) * 1099511628211ull;
  return h;
}

bool TNoCaseEqual::operator()(std::string_view a, std::string_view b) const noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Up(a[i]) != Up(b[i])) return false;
  return true;
}

// ---- The index of a run ----

void TWordFilter::Add(std::string_view word) {
  if (word.empty()) return;
  const std::uint64_t bit = std::uint64_t{1} << (word.size() < 63 ? word.size() : 63);
  for (char f : {rtl::UpCase(word[0]), rtl::LoCase(word[0])}) {
    const auto first = static_cast<unsigned char>(f);
    lengths_[first] |= bit;
    for (char l : {rtl::UpCase(word.back()), rtl::LoCase(word.back())}) {
      const auto last = static_cast<unsigned char>(l);
      lasts_[first][last >> 6] |= std::uint64_t{1} << (last & 63);
    }
  }
}

void TRevisionIndex::Build(const std::vector<std::pair<std::string, std::string>>& table,
                           const TReplacementRules& rules, const TRevisionRules& revisions,
                           const std::string& usesUnit) {
  rules_ = &revisions;
  usesUnit_ = usesUnit;
  classes_.clear();
  byOldClass_.clear();
  anyLost_.clear();
  classFilter_ = lost_ = apiFilter_ = TWordFilter();
  auto oldInfo = [&](const std::string& name) -> const rtl::TClassInfo* {
    for (const rtl::TClassInfo& info : revisions.OldClasses)
      if (rtl::SameText(info.ClassName(), name)) return &info;
    return nullptr;
  };
  auto add = [&](const std::string& oldClass, const rtl::TClassInfo* old,
                 const std::string& newClass) {
    TRevisedClass c{oldClass, newClass, old, {}};
    if (old) {
      // A new class the registry does not know keeps all but what no new class takes.
      const rtl::TClassInfo* now = rtl::GetClass(newClass);
      for (const std::string& p : old->PublishedProperties()) {
        const bool lost =
            now ? !now->HasPublishedProperty(p)
                : std::any_of(revisions.AlwaysLost.begin(), revisions.AlwaysLost.end(),
                              [&](const std::string& a) { return rtl::SameText(a, p); });
        if (lost) {
          c.Lost.insert(p);
          anyLost_.insert(p);
          lost_.Add(p);
        }
      }
    }
    byOldClass_.emplace(oldClass, classes_.size());
    classFilter_.Add(oldClass);
    classes_.push_back(std::move(c));
  };
  for (const auto& [oldClass, newClass] : table) add(oldClass, oldInfo(oldClass), newClass);
  for (const TRuleClass& r : rules.Classes) add(r.Class, oldInfo(r.Like), r.New);
  api_.clear();
  for (const auto& [identifier, note] : revisions.Api) {
    api_.emplace(identifier, note);
    apiFilter_.Add(identifier);
  }
  std::fill(std::begin(wordStarts_), std::end(wordStarts_), false);
  std::fill(std::begin(wordLengths_), std::end(wordLengths_), 0);
  // lengths: a bit for each length a word may have; the API's functions have any beyond it.
  auto start = [this](std::string_view w, std::uint64_t lengths) {
    if (w.empty()) return;
    for (unsigned char c : {Up(w[0]), static_cast<unsigned char>(rtl::LoCase(w[0]))}) {
      wordStarts_[c] = true;
      wordLengths_[c] |= lengths;
    }
  };
  auto exactly = [](size_t n) { return std::uint64_t{1} << (n < 63 ? n : 63); };
  for (const std::string& p : anyLost_) start(p, exactly(p.size()));
  for (const auto& [identifier, note] : revisions.Api)
    start(identifier, exactly(identifier.size()));
  if (const size_t n = revisions.ApiPrefix.size(); n > 0)
    start(revisions.ApiPrefix, ~std::uint64_t{0} << (n + 2 < 63 ? n + 2 : 63));
  start(revisions.ApiUnit, exactly(revisions.ApiUnit.size()));
  start("with", exactly(4));
  kinds_.clear();
  for (const std::string& p : anyLost_) kinds_[p].Lost = true;
  for (const auto& [identifier, note] : api_) kinds_[identifier].Api = &note;
  leftProperties_ = TNoCaseSet(revisions.LeftProperties.begin(), revisions.LeftProperties.end());
  otherLibraries_ = TNoCaseSet(revisions.OtherLibraries.begin(), revisions.OtherLibraries.end());
}

const TRevisedClass* TRevisionIndex::Class(std::string_view oldClass) const {
  if (!classFilter_.MayHold(oldClass)) return nullptr;
  auto it = byOldClass_.find(oldClass);
  return it == byOldClass_.end() ? nullptr : &classes_[it->second];
}

const std::string* TRevisionIndex::ApiNote(std::string_view identifier) const {
  if (!apiFilter_.MayHold(identifier)) return nullptr;
  auto it = api_.find(identifier);
  return it == api_.end() ? nullptr : &it->second;
}

TRevisionIndex::TWordKind TRevisionIndex::KindOf(std::string_view word) const {
  if (!lost_.MayHold(word) && !apiFilter_.MayHold(word)) return {};
  auto it = kinds_.find(word);
  return it == kinds_.end() ? TWordKind() : it->second;
}

bool TRevisionIndex::IsApiFunction(std::string_view identifier) const {
  // "DbiSetProp": the prefix, then a word in mixed case (not DBIResult, a type).
  const std::string& prefix = rules_->ApiPrefix;
  const size_t n = prefix.size();
  return n > 0 && identifier.size() > n + 1 && Up(identifier[0]) == Up(prefix[0]) &&
         TNoCaseEqual()(identifier.substr(0, n), prefix) && identifier[n] >= 'A' &&
         identifier[n] <= 'Z' && identifier[n + 1] >= 'a' && identifier[n + 1] <= 'z';
}

bool TRevisionIndex::IsApiUnit(std::string_view identifier) const {
  return !rules_->ApiUnit.empty() && TNoCaseEqual()(identifier, rules_->ApiUnit);
}

std::vector<std::string> TRevisionIndex::CodeWords(size_t& prefixes) const {
  // A place is a lost property or a name of the API; the declarations alone list nothing, and
  // what other units need of them comes from the forms too.
  std::vector<std::string> words;
  if (rules_ && !rules_->ApiPrefix.empty()) words.push_back(rtl::UpperCase(rules_->ApiPrefix));
  prefixes = words.size();
  for (const std::string& p : anyLost_) words.push_back(rtl::UpperCase(p));
  if (!rules_) return words;
  for (const auto& [identifier, note] : rules_->Api) words.push_back(rtl::UpperCase(identifier));
  if (!rules_->ApiUnit.empty()) words.push_back(rtl::UpperCase(rules_->ApiUnit));
  return words;
}

// ---- A unit ----

namespace {

bool IsIdentChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The words that count blocks, looked at only while a "with" is open.
constexpr const char* kBlockWords[] = {"BEGIN", "CASE",  "TRY",    "ASM",    "END",
                                       "ELSE",  "UNTIL", "EXCEPT", "FINALLY"};

}  // namespace

const std::string_view TUnitRevisions::ChangingWords = "BCTAEUFbctaeuf";

TUnitRevisions::TUnitRevisions(const TRevisionIndex& index, std::string_view text)
    : index_(index), text_(text) {
  std::copy(index.WordStarts(), index.WordStarts() + 256, baseWords_);
  std::copy(baseWords_, baseWords_ + 256, words_);
  std::copy(index.WordLengths(), index.WordLengths() + 256, lengths_);
}

size_t TUnitRevisions::BlanksBefore(size_t p) const {
  while (p > 0 && IsBlank(text_[p - 1])) --p;
  return p;
}

size_t TUnitRevisions::BlanksAfter(size_t p) const {
  while (p < text_.size() && IsBlank(text_[p])) ++p;
  return p;
}

size_t TUnitRevisions::IdentifierBefore(size_t end) const {
  size_t p = end;
  while (p > 0 && IsIdentChar(text_[p - 1])) --p;
  return p < end && !(text_[p] >= '0' && text_[p] <= '9') ? p : end;
}

void TUnitRevisions::Feed(int code, std::string_view lexeme, size_t at, bool convertedClass,
                          bool inUses) {
  if (at < skipUntil_) return;
  switch (code) {
    case tkEnd:
      if (!withs_.empty()) OnEnd();
      return;
    case tkSemicolon:
      if (!withs_.empty()) EndStatements();
      return;
    case tkIdent:
      break;
    default:
      return;
  }
  if (convertedClass) return Declare(at);
  if (lexeme.size() == 4 && Is(lexeme, "WITH")) return OpenWith(at);
  // The blocks matter only for where a "with" ends.
  if (!withs_.empty()) {
    switch (lexeme.size()) {
      case 3:
        if (Is(lexeme, "TRY") || Is(lexeme, "ASM")) return void(++blocks_);
        break;
      case 4:
        if (Is(lexeme, "CASE")) return void(++blocks_);
        if (Is(lexeme, "ELSE")) return EndStatements();
        break;
      case 5:
        if (Is(lexeme, "BEGIN")) return void(++blocks_);
        if (Is(lexeme, "UNTIL")) return EndStatements();
        break;
      case 6:
        if (Is(lexeme, "EXCEPT")) return EndStatements();
        break;
      case 7:
        if (Is(lexeme, "FINALLY")) return EndStatements();
        break;
      default:
        break;
    }
  }
  CheckMember(lexeme, at, inUses);
}

void TUnitRevisions::Declare(size_t at) {
  // "A, B: TQuery" or "A: DBTables.TQuery": the names before the colon get the class.
  size_t typeEnd = at;
  while (typeEnd < text_.size() && IsIdentChar(text_[typeEnd])) ++typeEnd;
  const TRevisedClass* cls = index_.Class(text_.substr(at, typeEnd - at));
  if (!cls) return;
  size_t p = BlanksBefore(at);
  if (p > 0 && text_[p - 1] == '.') {  // the unit that declares the class
    const size_t unit = IdentifierBefore(BlanksBefore(p - 1));
    if (unit == BlanksBefore(p - 1)) return;
    p = BlanksBefore(unit);
  }
  if (p == 0 || text_[p - 1] != ':') return;  // a class reference, a constructor call, a cast
  p = BlanksBefore(p - 1);
  for (;;) {
    const size_t name = IdentifierBefore(p);
    if (name == p) return;
    const std::string_view n = text_.substr(name, p - name);
    declared_.emplace_back(n, cls);
    declaredFilter_.Add(n);
    p = BlanksBefore(name);
    if (p == 0 || text_[p - 1] != ',') return;
    p = BlanksBefore(p - 1);
  }
}

const TRevisedClass* TUnitRevisions::Declared(std::string_view name) const {
  if (!declaredFilter_.MayHold(name)) return nullptr;
  for (auto d = declared_.rbegin(); d != declared_.rend(); ++d)
    if (TNoCaseEqual()(d->first, name)) return d->second;
  return nullptr;
}

void TUnitRevisions::CheckMember(std::string_view lex, size_t at, bool inUses) {
  // Most words are no property anyone lost, and no word of the API.
  const TRevisionIndex::TWordKind kind = index_.KindOf(lex);
  const bool lost = kind.Lost;
  const std::string* api = kind.Api;
  const bool apiFunction = !lost && !api && index_.IsApiFunction(lex);
  if (!lost && !api && !apiFunction && !inUses) return;
  const size_t before = BlanksBefore(at);
  if (before > 0 && text_[before - 1] == '.') {
    const size_t dot = BlanksBefore(before - 1);
    const size_t x = IdentifierBefore(dot);
    if (x == dot) return;
    const std::string_view object = text_.substr(x, dot - x);
    if (lost) {
      const TRevisedClass* cls =
          TNoCaseEqual()(object, "Result") ? ResultClass(x) : Declared(object);
      if (cls) {
        if (cls->Lost.count(lex))
          AddPlace(x, "property", object, cls->NewClass, lex, LostNote(cls->NewClass, lex));
        return;
      }
      // Global.Field.Member: settled once every file is read.
      const size_t gEnd = BlanksBefore(x);
      if (gEnd > 0 && text_[gEnd - 1] == '.') {
        const size_t gDot = BlanksBefore(gEnd - 1);
        const size_t g = IdentifierBefore(gDot);
        const size_t beforeG = BlanksBefore(g);
        if (g < gDot && (beforeG == 0 || text_[beforeG - 1] != '.')) {
          places_.push_back({g, true, {}});
          TPendingReference& r = places_.back().ref;
          r.Ref.Kind = "property";
          r.Ref.Name = object;
          r.Ref.Member = lex;
          r.Global = text_.substr(g, gDot - g);
          r.Field = object;
          r.Member = lex;
        }
      }
      return;
    }
    // The API's globals named through their unit: DBTables.Session.
    if (api && index_.IsUsesUnit(object)) AddPlace(x, "bde_api", lex, {}, {}, *api);
    return;
  }
  if (inUses) {
    if (index_.IsApiUnit(lex)) AddPlace(at, "bde_api", lex, {}, {}, index_.Rules().ApiUnitNote);
    return;
  }
  if (apiFunction) return AddPlace(at, "bde_api", lex, {}, {}, index_.Rules().ApiPrefixNote);
  if (api) {
    // A global of the API followed by ":" is a name being declared.
    const size_t next = BlanksAfter(at + lex.size());
    const bool declared = Up(lex[0]) != 'T' && next < text_.size() && text_[next] == ':' &&
                          (next + 1 >= text_.size() || text_[next + 1] != '=');
    if (!declared) AddPlace(at, "bde_api", lex, {}, {}, *api);
    return;
  }
  // A bare member inside "with": the innermost object whose class publishes it takes it.
  for (auto scope = withs_.rbegin(); scope != withs_.rend(); ++scope) {
    for (auto object = scope->objects.rbegin(); object != scope->objects.rend(); ++object) {
      const TRevisedClass* cls = object->second;
      if (!cls || !cls->Old || !cls->Old->HasPublishedProperty(lex)) continue;
      if (cls->Lost.count(lex))
        AddPlace(at, "property", object->first, cls->NewClass, lex, LostNote(cls->NewClass, lex));
      return;
    }
  }
}

const TRevisedClass* TUnitRevisions::ResultClass(size_t at) const {
  // The nearest function heading before: "function Name(...): Type".
  size_t p = at;
  while (p > 0) {
    const size_t found = text_.rfind("unction", p - 1);
    if (found == std::string_view::npos || found == 0) return nullptr;
    p = found - 1;
    if (Up(text_[p]) != 'F' || (p > 0 && IsIdentChar(text_[p - 1])) ||
        (found + 7 < text_.size() && IsIdentChar(text_[found + 7])))
      continue;
    size_t q = BlanksAfter(found + 7);
    while (q < text_.size() && (IsIdentChar(text_[q]) || text_[q] == '.')) ++q;  // Class.Name
    q = BlanksAfter(q);
    if (q < text_.size() && text_[q] == '(') {
      int depth = 0;
      for (; q < text_.size(); ++q) {
        if (text_[q] == '(') ++depth;
        if (text_[q] == ')' && --depth == 0) break;
      }
      q = BlanksAfter(q + 1);
    }
    if (q >= text_.size() || text_[q] != ':') return nullptr;
    q = BlanksAfter(q + 1);
    size_t end = q;
    while (end < text_.size() && IsIdentChar(text_[end])) ++end;
    if (end < text_.size() && text_[end] == '.') {  // DBTables.TQuery
      q = end + 1;
      for (end = q; end < text_.size() && IsIdentChar(text_[end]);) ++end;
    }
    return index_.Class(text_.substr(q, end - q));
  }
  return nullptr;
}

void TUnitRevisions::OpenWith(size_t at) {
  // "with A, B.C, D do": the targets that are one name may be declared with a converted class.
  const size_t n = text_.size();
  TWith with;
  size_t p = at + 4;
  for (;;) {
    p = BlanksAfter(p);
    const size_t start = p;
    while (p < n && IsIdentChar(text_[p])) ++p;
    const std::string_view name = text_.substr(start, p - start);
    if (name.empty() || Is(name, "DO")) return;  // no header this reading follows
    bool single = true;
    for (int depth = 0;;) {  // the rest of the target, up to "," or "do"
      p = BlanksAfter(p);
      if (p >= n) return;
      const char c = text_[p];
      if (depth == 0 && c == ',') break;
      if (IsIdentChar(c)) {
        size_t e = p;
        while (e < n && IsIdentChar(text_[e])) ++e;
        if (depth == 0 && Is(text_.substr(p, e - p), "DO")) break;
        p = e;
      } else {
        depth += c == '(' || c == '[' ? 1 : (c == ')' || c == ']') && depth > 0 ? -1 : 0;
        ++p;
      }
      single = false;
    }
    // An object of no converted class still stands between the inner and the outer ones.
    with.objects.emplace_back(single ? name : std::string_view(),
                              single ? Declared(name) : nullptr);
    if (text_[p] == ',') {
      ++p;
      continue;
    }
    p += 2;  // past "do"
    break;
  }
  skipUntil_ = p;
  if (withs_.empty()) blocks_ = 0;
  const size_t body = BlanksAfter(p);
  with.block = body + 5 <= n && Is(text_.substr(body, 5), "BEGIN") &&
               (body + 5 == n || !IsIdentChar(text_[body + 5]));
  with.base = blocks_;
  withs_.push_back(std::move(with));
  WithsChanged();
}

void TUnitRevisions::WithsChanged() {
  ++wordsVersion_;
  for (char c : ChangingWords) {
    const auto b = static_cast<unsigned char>(c);
    words_[b] = baseWords_[b];
    lengths_[b] = index_.WordLengths()[b];
  }
  if (withs_.empty()) return;
  for (const char* word : kBlockWords) {
    const size_t n = std::string_view(word).size();
    for (unsigned char c :
         {static_cast<unsigned char>(word[0]), static_cast<unsigned char>(rtl::LoCase(word[0]))}) {
      words_[c] = true;
      lengths_[c] |= std::uint64_t{1} << n;
    }
  }
}

void TUnitRevisions::CloseWiths(bool blockWithsToo) {
  while (!withs_.empty() && (blockWithsToo || !withs_.back().block) &&
         withs_.back().base >= blocks_)
    withs_.pop_back();
}

void TUnitRevisions::EndStatements() {
  const size_t open = withs_.size();
  CloseWiths(false);
  if (withs_.size() != open) WithsChanged();
}

void TUnitRevisions::OnEnd() {
  // A statement inside "with" ends with the block around it too.
  const size_t open = withs_.size();
  CloseWiths(false);
  if (blocks_ > 0) --blocks_;
  CloseWiths(true);
  if (withs_.size() != open) WithsChanged();
}

void TUnitRevisions::AddPlace(size_t at, std::string_view kind, std::string_view name,
                              std::string_view cls, std::string_view member, std::string note) {
  places_.push_back({at, false, {}});
  TCodeReference& r = places_.back().ref.Ref;
  r.Kind = kind;
  r.Name = name;
  r.Class = cls;
  r.Member = member;
  r.Note = std::move(note);
}

void TUnitRevisions::Finish(std::string_view converted, const TEdits& edits, bool utf8,
                            TFileReport& report, bool keepDetail) {
  // Offsets map in order, so places sorted in the text read are sorted in the converted one.
  std::stable_sort(places_.begin(), places_.end(),
                   [](const TPlace& a, const TPlace& b) { return a.at < b.at; });
  int line = 1;
  size_t counted = 0;
  for (TPlace& p : places_) {
    const size_t at = std::min(edits.MapOffset(p.at), converted.size());
    line += static_cast<int>(CountLineFeeds(converted.data() + counted, converted.data() + at));
    counted = at;
    const size_t feed = at == 0 ? std::string_view::npos : converted.rfind('\n', at - 1);
    const size_t start = feed == std::string_view::npos ? 0 : feed + 1;
    size_t end = converted.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = converted.size();
    TCodeReference& r = p.ref.Ref;
    r.Line = line;
    r.Column = 1;
    for (size_t i = start; i < at; ++i)
      r.Column += !utf8 || (static_cast<unsigned char>(converted[i]) & 0xC0) != 0x80;
    r.Text = Trim(converted.substr(start, end - start));
    if (p.pending) {
      facts_.Pending.push_back(std::move(p.ref));
      continue;
    }
    ++report.CodeCount;
    if (keepDetail) report.Code.push_back(std::move(r));
  }
  report.Facts = std::move(facts_);
}

// ---- A form ----

TFormLeftovers::TFormLeftovers(const TRevisionIndex& index, std::string_view text)
    : index_(index), text_(text) {
  for (const std::string& p : index.Rules().LeftProperties) properties_.Add(p);
}

void TFormLeftovers::Opened(const char* keyword) {
  open_.push_back({true, keyword, {}, {}, false, {}});
}

void TFormLeftovers::Identifier(std::string_view lexeme) {
  if (!properties_.MayHold(lexeme) || open_.empty() || !open_.back().object ||
      !index_.IsLeftProperty(lexeme))
    return;
  const char* p = lexeme.data() + lexeme.size();
  const char* const end = text_.data() + text_.size();
  auto blanks = [&] {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
  };
  blanks();
  if (p >= end || *p != '=') return;  // no property: a value or a name
  ++p;
  blanks();
  TOpen& o = open_.back();
  o.left = true;
  // The first of the properties names the database.
  if (!TNoCaseEqual()(lexeme, index_.Rules().LeftProperties.front())) return;
  o.database.clear();
  while (p < end && *p == '\'') {
    for (++p; p < end; ++p) {
      if (*p != '\'') {
        o.database += *p;
      } else if (p + 1 < end && p[1] == '\'') {
        o.database += '\'';
        ++p;
      } else {
        break;
      }
    }
    if (p < end) ++p;
  }
}

void TFormLeftovers::Closed(TFileReport* report, bool keepDetail) {
  if (open_.empty()) return;
  const TOpen& o = open_.back();
  if (o.object && o.left && report && !o.cls.empty() && !index_.IsOtherLibrary(o.cls)) {
    ++report->LeftCount;
    if (keepDetail) {
      TLeftObject left;
      left.Name = o.name;
      left.Class = o.cls;
      for (const TOpen& outer : open_)
        if (outer.object)
          left.Path += std::string(left.Path.empty() ? "" : "/") +
                       std::string(outer.name.empty() ? outer.cls : outer.name);
      left.Line = 1 + static_cast<int>(CountLineFeeds(text_.data(), o.keyword));
      left.Database = o.database;
      report->Left.push_back(std::move(left));
    }
  }
  open_.pop_back();
}

// ---- Across units ----

void SettleReferences(std::vector<TFileReport*>& units, const TRevisionIndex& index,
                      bool keepDetail) {
  // units: every file of the run; a form has facts and no pending references.
  std::unordered_map<std::string, std::string> globals;  // variable -> class
  std::unordered_map<std::string, std::unordered_map<std::string, std::string>> fields;
  for (TFileReport* unit : units) {
    for (const auto& [name, cls] : unit->Facts.Globals) globals.emplace(name, cls);
    for (const TUnitFacts::TField& f : unit->Facts.Fields)
      fields[f.Class].emplace(f.Field, f.OldClass);
  }
  for (TFileReport* unit : units) {
    bool added = false;
    for (TPendingReference& p : unit->Facts.Pending) {
      std::string cls = p.GlobalClass;
      if (cls.empty()) {
        auto g = globals.find(rtl::UpperCase(p.Global));
        if (g == globals.end()) continue;
        cls = g->second;
      }
      auto c = fields.find(cls);
      if (c == fields.end()) continue;
      auto f = c->second.find(rtl::UpperCase(p.Field));
      if (f == c->second.end()) continue;
      const TRevisedClass* revised = index.Class(f->second);
      if (!revised || !revised->Lost.count(p.Member)) continue;
      ++unit->CodeCount;
      if (!keepDetail) continue;
      p.Ref.Class = revised->NewClass;
      p.Ref.Note = LostNote(revised->NewClass, p.Member);
      unit->Code.push_back(std::move(p.Ref));
      added = true;
    }
    if (added)
      std::stable_sort(unit->Code.begin(), unit->Code.end(),
                       [](const TCodeReference& a, const TCodeReference& b) {
                         return a.Line != b.Line ? a.Line < b.Line : a.Column < b.Column;
                       });
    unit->Facts = TUnitFacts();
  }
}

}  // namespace migwiz
