#include "zel/XnParser.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "rtl/SysUtils.h"

namespace zel {

int XnCmpStrings(const rtl::TStringList& list, int index1, int index2) {
  return rtl::CompareText(list[index1], list[index2]);
}

namespace {

// Start classes of a byte; kCommentBit marks bytes that may begin a comment form.
enum : std::uint8_t {
  kOtherStart,
  kBlankStart,
  kIdentStart,
  kNumberStart,
  kQuoteStart,
  kIdentQuoteStart,
  kSymbolStart,
  kSymbolMultiStart,
  kCommentBit = 0x80,
};

// Continuation flags of a byte.
enum : std::uint8_t {
  kfIdentCont = 1,   // letter or digit: continues an identifier
  kfNumberCont = 2,  // number character, letter or digit: continues a number word
  kfBlank = 4,
  kfLineEnd = 8,
};

inline unsigned char Byte(char c) {
  return static_cast<unsigned char>(c);
}

inline bool IsDigit(unsigned c) {
  return c >= '0' && c <= '9';
}

inline char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

}  // namespace

// Everything GetNext needs, indexed by byte where possible, so the loop asks no virtual.
struct TParserLookup {
  struct Symbol {
    std::string text;
    int code;
  };
  struct Keyword {
    std::string upper;
    int code;
  };
  struct Comment {
    std::string begin, end;
    bool line;
  };

  std::uint8_t cls[256] = {};
  std::uint8_t flags[256] = {};
  int symbolCode[256] = {};         // one-byte symbols; 0 = none
  std::vector<Symbol> longSymbols;  // symbols of two bytes or more, longest first
  std::vector<Comment> comments;    // longest begin delimiter first
  // By length and upper-cased first letter.
  std::vector<std::array<std::vector<Keyword>, 256>> keywordsByLength;
};

TLookupShare::TLookupShare(const std::type_info& owner) : owner_(owner) {}
TLookupShare::~TLookupShare() = default;

TParser::TParser(std::string_view text) : text_(text.data()), size_(text.size()) {}

TParser::~TParser() = default;

void TParser::SetText(std::string_view text) {
  text_ = text.data();
  size_ = text.size();
  ToBegin();
}

void TParser::ToBegin() {
  pos_ = 0;
  prev_ = 0;
}

void TParser::Invalidate() {
  lookup_ = nullptr;
  ownLookup_.reset();
  share_ = nullptr;
}

void TParser::SetSymbols(const rtl::TStringList* symbols) {
  symbols_ = symbols;
  Invalidate();
}

void TParser::SetSymbolStart(const TCharSet& start) {
  symbolStart_ = start;
  Invalidate();
}

void TParser::SetKeywords(const rtl::TStringList* keywords) {
  keywords_ = keywords;
  Invalidate();
}

void TParser::SetBlockComment(std::string_view begin, std::string_view end) {
  blockComment_ = CommentForm{std::string(begin), std::string(end), false};
  Invalidate();
}

void TParser::AddBlockComment(std::string_view begin, std::string_view end) {
  moreComments_.reserve(4);
  moreComments_.push_back(CommentForm{std::string(begin), std::string(end), false});
  Invalidate();
}

void TParser::AddLineComment(std::string_view begin) {
  moreComments_.reserve(4);
  moreComments_.push_back(CommentForm{std::string(begin), std::string(), true});
  Invalidate();
}

void TParser::SetOptions(bool skipBlanks, bool skipComments, bool quotedIdents) {
  skipBlanks_ = skipBlanks;
  skipComments_ = skipComments;
  quotedIdents_ = quotedIdents;
  Invalidate();
}

void TParser::ShareLookup(TLookupShare& share) {
  lookup_ = nullptr;
  ownLookup_.reset();
  share_ = &share;
}

bool TParser::IsBlank(char ch) const {
  return Byte(ch) <= ' ';
}

bool TParser::IsSymbolChar(char ch) const {
  unsigned c = Byte(ch);
  return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') ||
         (c >= '{' && c <= '~');
}

bool TParser::IsAlpha(char ch) const {
  unsigned c = Byte(ch);
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool TParser::IsNumberChar(char ch) const {
  return IsDigit(Byte(ch));
}

bool TParser::IsQuoteChar(char ch) const {
  return ch == '\'' || ch == '"';
}

bool TParser::IsIdentQuote(char) const {
  return false;
}

std::unique_ptr<const TParserLookup> TParser::BuildLookup() const {
  auto t = std::make_unique<TParserLookup>();

  bool hasLong[256] = {};
  if (symbols_) {
    for (int i = 0; i < symbols_->Count(); ++i) {
      const std::string& s = (*symbols_)[i];
      int code = static_cast<int>(symbols_->Integers(i));
      if (s.empty()) continue;
      unsigned c = Byte(s[0]);
      if (s.size() == 1) {
        if (t->symbolCode[c] == 0) t->symbolCode[c] = code;
      } else {
        hasLong[c] = true;
        t->longSymbols.push_back({s, code});
      }
    }
    std::stable_sort(t->longSymbols.begin(), t->longSymbols.end(),
                     [](const auto& a, const auto& b) { return a.text.size() > b.text.size(); });
  }

  for (unsigned c = 0; c < 256; ++c) {
    char ch = static_cast<char>(c);
    bool blank = IsBlank(ch), alpha = IsAlpha(ch), number = IsNumberChar(ch);
    std::uint8_t f = 0;
    if (alpha || IsDigit(c)) f |= kfIdentCont;
    if (alpha || number || IsDigit(c)) f |= kfNumberCont;
    if (blank) f |= kfBlank;
    if (c == '\r' || c == '\n') f |= kfLineEnd;
    t->flags[c] = f;

    std::uint8_t cls;
    if (IsQuoteChar(ch)) {
      cls = kQuoteStart;
    } else if (quotedIdents_ && IsIdentQuote(ch)) {
      cls = kIdentQuoteStart;
    } else if (blank) {
      cls = kBlankStart;
    } else if (IsSymbolChar(ch) && symbolStart_.test(c) && (hasLong[c] || t->symbolCode[c])) {
      cls = hasLong[c] ? kSymbolMultiStart : kSymbolStart;
    } else if (alpha) {
      cls = kIdentStart;
    } else if (number) {
      cls = kNumberStart;
    } else {
      cls = kOtherStart;
    }
    t->cls[c] = cls;
  }

  auto addComment = [&](const CommentForm& form) {
    if (form.begin.empty()) return;
    t->comments.push_back({form.begin, form.end, form.line});
    t->cls[Byte(form.begin[0])] |= kCommentBit;
  };
  addComment(blockComment_);
  for (const CommentForm& form : moreComments_) addComment(form);
  std::stable_sort(t->comments.begin(), t->comments.end(),
                   [](const auto& a, const auto& b) { return a.begin.size() > b.begin.size(); });

  if (keywords_) {
    for (int i = 0; i < keywords_->Count(); ++i) {
      const std::string& k = (*keywords_)[i];
      if (k.empty()) continue;
      if (t->keywordsByLength.size() <= k.size()) t->keywordsByLength.resize(k.size() + 1);
      const std::string upper = rtl::UpperCase(k);
      t->keywordsByLength[k.size()][Byte(upper[0])].push_back(
          {upper, static_cast<int>(keywords_->Integers(i))});
    }
  }
  return t;
}

void TParser::Prepare() {
  if (share_ && typeid(*this) == share_->owner_) {
    lookup_ = share_->ready_.load(std::memory_order_acquire);
    if (lookup_) return;
    std::lock_guard<std::mutex> lock(share_->fill_);
    if (!share_->lookup_) {
      share_->lookup_ = BuildLookup();
      share_->ready_.store(share_->lookup_.get(), std::memory_order_release);
    }
    lookup_ = share_->lookup_.get();
    return;
  }
  ownLookup_ = BuildLookup();
  lookup_ = ownLookup_.get();
}

size_t TParser::ScanQuoted(size_t pos, bool& closed) const {
  const char* s = text_;
  const size_t n = size_;
  const char quote = s[pos];
  size_t i = pos + 1;
  while (i < n) {
    char c = s[i];
    if (c == quote) {
      if (i + 1 < n && s[i + 1] == quote) {
        i += 2;
        continue;
      }
      closed = true;
      return i + 1;
    }
    if (c == '\r' || c == '\n') break;
    ++i;
  }
  closed = false;
  return i;
}

int TParser::GetNext(std::string& lexeme) {
  std::string_view view;
  int code = GetNext(view);
  lexeme.assign(view.data(), view.size());
  return code;
}

int TParser::GetNext(std::string_view& lexeme) {
  if (!lookup_) Prepare();
  const TParserLookup& t = *lookup_;
  const char* const s = text_;
  const size_t n = size_;

  for (;;) {
    const size_t p = pos_;
    prev_ = p;
    if (p >= n) {
      pos_ = n;
      prev_ = n;
      lexeme = std::string_view(s ? s + n : s, 0);
      return tkEOF;
    }

    const unsigned c = Byte(s[p]);
    unsigned cls = t.cls[c];
    size_t e = p + 1;
    int code = tkOther;
    bool inComment = false;

    if (cls & kCommentBit) {
      cls &= ~unsigned(kCommentBit);
      for (const auto& form : t.comments) {
        const size_t bl = form.begin.size();
        if (Byte(form.begin[0]) != c || n - p < bl || std::memcmp(s + p, form.begin.data(), bl))
          continue;
        size_t i = p + bl;
        if (form.line) {
          while (i < n && !(t.flags[Byte(s[i])] & kfLineEnd)) ++i;
          e = i;
        } else {
          size_t found = std::string_view(s, n).find(form.end, i);
          e = found == std::string_view::npos ? n : found + form.end.size();
        }
        inComment = true;
        code = tkComment;
        break;
      }
    }

    if (!inComment) {
      switch (cls) {
        case kBlankStart:
          while (e < n && (t.flags[Byte(s[e])] & kfBlank)) ++e;
          code = tkBlanks;
          break;

        case kIdentStart: {
          while (e < n && (t.flags[Byte(s[e])] & kfIdentCont)) ++e;
          code = tkIdent;
          const size_t len = e - p;
          if (len < t.keywordsByLength.size()) {
            for (const auto& kw : t.keywordsByLength[len][Byte(UpperAscii(s[p]))]) {
              size_t i = 1;
              while (i < len && UpperAscii(s[p + i]) == kw.upper[i]) ++i;
              if (i == len) {
                code = kw.code;
                break;
              }
            }
          }
          break;
        }

        case kNumberStart:
          while (e < n && (t.flags[Byte(s[e])] & kfNumberCont)) ++e;
          code = tkNumber;
          break;

        case kSymbolStart:
          code = t.symbolCode[c];
          break;

        case kSymbolMultiStart: {
          code = 0;
          for (const auto& sym : t.longSymbols) {
            const size_t sl = sym.text.size();
            if (Byte(sym.text[0]) == c && n - p >= sl && !std::memcmp(s + p, sym.text.data(), sl)) {
              code = sym.code;
              e = p + sl;
              break;
            }
          }
          if (code == 0) code = t.symbolCode[c] ? t.symbolCode[c] : tkOther;
          break;
        }

        case kQuoteStart: {
          bool closed;
          e = ScanQuoted(p, closed);
          pos_ = e;
          if (KeepStringQuotes)
            lexeme = std::string_view(s + p, e - p);
          else
            lexeme = std::string_view(s + p + 1, (closed ? e - 1 : e) - (p + 1));
          return tkString;
        }

        case kIdentQuoteStart: {
          bool closed;
          e = ScanQuoted(p, closed);
          code = tkIdent;
          break;
        }

        default:
          code = tkOther;
          break;
      }
    }

    pos_ = e;
    if ((code == tkBlanks && skipBlanks_) || (code == tkComment && skipComments_)) continue;
    lexeme = std::string_view(s + p, e - p);
    return code;
  }
}

}  // namespace zel
