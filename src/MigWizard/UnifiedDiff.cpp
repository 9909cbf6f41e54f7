#include "MigWizard/UnifiedDiff.h"

#include <dtl/dtl.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "MigWizard/FileSniff.h"
#include "MigWizard/FormFile.h"
#include "MigWizard/ROvoradRes.h"
#include "MigWizard/SourceText.h"
#include "rtl/FileIO.h"

namespace migwiz {

namespace {

constexpr size_t kContext = 3;

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  lines.reserve(text.size() / 32 + 16);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

enum Op : char { kSame = ' ', kDel = '-', kAdd = '+' };

// A line's hash, eight bytes at a time: lines are hashed by the million.
size_t LineHash(std::string_view line) {
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ line.size();
  size_t i = 0;
  for (; i + 8 <= line.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, line.data() + i, 8);
    h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
  }
  std::uint64_t w = 0;
  std::memcpy(&w, line.data() + i, line.size() - i);
  h = (h ^ w) * 0x94D049BB133111EBull;
  return static_cast<size_t>(h ^ (h >> 29));
}

// The edit script of one stretch of the two line lists, appended to ops. The common head and
// tail are cut off before the library sees the lines.
void DiffStretch(const std::vector<std::string_view>& a, size_t a0, size_t a1,
                 const std::vector<std::string_view>& b, size_t b0, size_t b1,
                 std::vector<char>& ops) {
  size_t head = 0;
  while (a0 + head < a1 && b0 + head < b1 && a[a0 + head] == b[b0 + head]) ++head;
  ops.insert(ops.end(), head, kSame);
  a0 += head;
  b0 += head;
  size_t tail = 0;
  while (a0 < a1 - tail && b0 < b1 - tail && a[a1 - 1 - tail] == b[b1 - 1 - tail]) ++tail;
  a1 -= tail;
  b1 -= tail;
  // One line for one (they differ, the head stopped there) is what most stretches of a
  // conversion are: no search needed.
  if (a0 == a1 || b0 == b1 || (a1 - a0 == 1 && b1 - b0 == 1)) {
    ops.insert(ops.end(), a1 - a0, kDel);
    ops.insert(ops.end(), b1 - b0, kAdd);
  } else {
    std::vector<std::string_view> midA(a.begin() + static_cast<long>(a0),
                                       a.begin() + static_cast<long>(a1));
    std::vector<std::string_view> midB(b.begin() + static_cast<long>(b0),
                                       b.begin() + static_cast<long>(b1));
    dtl::Diff<std::string_view, std::vector<std::string_view>> diff(midA, midB);
    // Bounds the library's path memory on long stretches with many scattered changes; it
    // reserves a large buffer up front, which short ones do not need.
    if (midA.size() + midB.size() > 20000) diff.enableHuge();
    diff.compose();
    for (const auto& [line, info] : diff.getSes().getSequence())
      ops.push_back(info.type == dtl::SES_COMMON ? kSame : info.type == dtl::SES_DELETE ? kDel : kAdd);
  }
  ops.insert(ops.end(), tail, kSame);
}

// Lines found exactly once in each text, as (line in a, line in b), keeping the longest run of
// them that is in order in both. A conversion changes lines here and there in long files; these
// lines cut the diff into short stretches between them (as patience diff does), so the time
// stays linear where one search over the whole file would grow with changes times lines.
std::vector<std::pair<size_t, size_t>> Anchors(const std::vector<std::string_view>& a,
                                               const std::vector<std::string_view>& b) {
  // Counted in a flat table kept by the thread from file to file: a node per distinct line
  // would be one allocation per line, and a fresh table per file is all page faults. An entry
  // is empty unless it carries this use's stamp.
  struct Seen {
    std::uint32_t stamp, hash, lineA, inA, inB, posB;
  };
  thread_local std::vector<Seen> table;
  thread_local std::vector<std::uint32_t> ofA;
  thread_local std::uint32_t stamp = 0;
  size_t capacity = 16;
  while (capacity < 2 * a.size() + 2) capacity *= 2;
  if (table.size() < capacity || ++stamp == 0) {
    table.assign(std::max(capacity, table.size()), Seen{});
    stamp = 1;
  }
  const size_t mask = capacity - 1;
  auto slot = [&](std::string_view line, std::uint32_t hash) -> Seen& {
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      Seen& s = table[i];
      if (s.stamp != stamp || (s.hash == hash && a[s.lineA] == line)) return s;
    }
  };
  ofA.resize(a.size());
  for (size_t i = 0; i < a.size(); ++i) {
    const auto hash = static_cast<std::uint32_t>(LineHash(a[i]));
    Seen& s = slot(a[i], hash);
    if (s.stamp != stamp) s = {stamp, hash, static_cast<std::uint32_t>(i), 0, 0, 0};
    ++s.inA;
    ofA[i] = static_cast<std::uint32_t>(&s - table.data());
  }
  for (size_t j = 0; j < b.size(); ++j) {
    Seen& s = slot(b[j], static_cast<std::uint32_t>(LineHash(b[j])));
    if (s.stamp != stamp) continue;  // not in a
    ++s.inB;
    s.posB = static_cast<std::uint32_t>(j);
  }
  std::vector<std::pair<size_t, size_t>> unique;
  for (size_t i = 0; i < a.size(); ++i) {
    const Seen& s = table[ofA[i]];
    if (s.inA == 1 && s.inB == 1) unique.emplace_back(i, s.posB);
  }
  // Longest increasing run by position in b (patience sorting with back links).
  std::vector<size_t> tops, back(unique.size());
  for (size_t k = 0; k < unique.size(); ++k) {
    // Most lines keep their order: the search is over when the run just grows by one.
    auto pos = !tops.empty() && unique[tops.back()].second < unique[k].second
                   ? tops.end()
                   : std::lower_bound(tops.begin(), tops.end(), unique[k].second,
                                      [&](size_t t, size_t value) { return unique[t].second < value; });
    back[k] = pos == tops.begin() ? SIZE_MAX : *(pos - 1);
    if (pos == tops.end())
      tops.push_back(k);
    else
      *pos = k;
  }
  std::vector<std::pair<size_t, size_t>> anchors;
  for (size_t k = tops.empty() ? SIZE_MAX : tops.back(); k != SIZE_MAX; k = back[k])
    anchors.push_back(unique[k]);
  std::reverse(anchors.begin(), anchors.end());
  return anchors;
}

// The edit script of the two line lists, one entry per line of the script.
std::vector<char> EditScript(const std::vector<std::string_view>& a,
                             const std::vector<std::string_view>& b) {
  std::vector<char> ops;
  ops.reserve(std::max(a.size(), b.size()) + 16);
  size_t pa = 0, pb = 0;
  for (const auto& [ia, ib] : Anchors(a, b)) {
    DiffStretch(a, pa, ia, b, pb, ib, ops);
    ops.push_back(kSame);
    pa = ia + 1;
    pb = ib + 1;
  }
  DiffStretch(a, pa, a.size(), b, pb, b.size(), ops);
  // Within a change the removed lines come first, as diff writes them; each kind keeps its order.
  for (auto it = ops.begin(); it != ops.end();) {
    if (*it == kSame) {
      ++it;
      continue;
    }
    auto run = std::find(it, ops.end(), kSame);
    std::stable_partition(it, run, [](char op) { return op == kDel; });
    it = run;
  }
  return ops;
}

void AppendLine(char mark, std::string_view line, std::string& out) {
  out += mark;
  out += line;
  if (line.empty() || line.back() != '\n') out += "\n\\ No newline at end of file\n";
}

std::string Range(size_t start, size_t count) {
  // An empty range names the line before it, as diff writes it.
  std::string s = std::to_string(count == 0 ? start : start + 1);
  if (count != 1) s += "," + std::to_string(count);
  return s;
}

}  // namespace

std::string DiffFileName(const std::string& name) {
  bool quote = false;
  for (unsigned char c : name) quote = quote || c <= ' ' || c == '"' || c == '\\' || c == 0x7f;
  if (!quote) return name;
  std::string s = "\"";
  for (unsigned char c : name) {
    switch (c) {
      case '"': s += "\\\""; break;
      case '\\': s += "\\\\"; break;
      case '\t': s += "\\t"; break;
      case '\n': s += "\\n"; break;
      case '\r': s += "\\r"; break;
      default:
        if (c < ' ' || c == 0x7f) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\%03o", c);
          s += buf;
        } else {
          s += static_cast<char>(c);
        }
    }
  }
  return s + "\"";
}

void AppendUnifiedDiff(std::string_view oldText, std::string_view newText,
                       const std::string& oldName, const std::string& newName, std::string& out) {
  if (oldText == newText) return;
  const std::vector<std::string_view> a = SplitLines(oldText), b = SplitLines(newText);
  const std::vector<char> ops = EditScript(a, b);
  out += "--- " + DiffFileName(oldName) + "\n+++ " + DiffFileName(newName) + "\n";
  // Line numbers before each script entry.
  size_t i = 0, ai = 0, bi = 0;
  const size_t n = ops.size();
  while (i < n) {
    while (i < n && ops[i] == kSame) ++i, ++ai, ++bi;
    if (i == n) break;
    // The hunk starts kContext lines before the change and takes in every change that follows
    // within twice the context.
    const size_t lead = std::min(kContext, ai);
    size_t start = i - lead, hunkA = ai - lead, hunkB = bi - lead;
    size_t end = i;  // one past the last change of the hunk
    for (size_t j = i; j < n;) {
      if (ops[j] != kSame) {
        end = ++j;
        continue;
      }
      size_t run = j;
      while (run < n && ops[run] == kSame) ++run;
      if (run == n || run - j > 2 * kContext) break;
      j = run;
    }
    const size_t stop = std::min(n, end + kContext);
    size_t countA = 0, countB = 0;
    for (size_t j = start; j < stop; ++j) {
      countA += ops[j] != kAdd;
      countB += ops[j] != kDel;
    }
    out += "@@ -" + Range(hunkA, countA) + " +" + Range(hunkB, countB) + " @@\n";
    size_t x = hunkA, y = hunkB;
    for (size_t j = start; j < stop; ++j) {
      switch (ops[j]) {
        case kSame: AppendLine(' ', a[x++], out), ++y; break;
        case kDel: AppendLine('-', a[x++], out); break;
        default: AppendLine('+', b[y++], out); break;
      }
    }
    i = stop;
    ai = x;
    bi = y;
  }
}

namespace {

// The text of a changed file the diff compares, and the note that says how it is shown.
std::string DiffText(const std::string& path, bool unit, std::string& note) {
  // Read once; only UTF-16 files and binary forms are decoded.
  std::string bytes = rtl::ReadFileBytes(path);
  const TFileSniff sniff = SniffBytes(bytes);
  const bool utf16 = sniff.Utf16Le;
  const bool binary = !unit && sniff.BinaryForm;
  if (!utf16 && !binary) return bytes;
  note = binary ? res::sDiffBinaryFormNote : res::sDiffUtf16Note;
  rtl::TMemoryStream in(std::move(bytes));
  if (unit) return std::move(ReadSourceText(in, path).Text);
  return std::move(ReadForm(in, path).Text);
}

}  // namespace

std::string FileDiff(const std::string& original, const std::string& converted, bool unit,
                     const std::string& rel) {
  std::string note, sameNote;
  const std::string before = DiffText(original, unit, note);
  const std::string after = DiffText(converted, unit, sameNote);
  std::string section = note;
  AppendUnifiedDiff(before, after, "a/" + rel, "b/" + rel, section);
  if (section.size() == note.size()) section.clear();  // the same text
  return section;
}

}  // namespace migwiz
