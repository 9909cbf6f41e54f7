#include "MigWizard/UnifiedDiff.h"

#include <dtl/dtl.hpp>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace migwiz {

namespace {

constexpr size_t kContext = 3;

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
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

// The edit script of the two line lists, one entry per line of the script. The common head and
// tail are cut off before the library sees the lines: conversions change few lines of long files.
std::vector<char> EditScript(const std::vector<std::string_view>& a,
                             const std::vector<std::string_view>& b) {
  size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
    ++tail;
  std::vector<char> ops(head, kSame);
  std::vector<std::string_view> midA(a.begin() + static_cast<long>(head),
                                     a.end() - static_cast<long>(tail));
  std::vector<std::string_view> midB(b.begin() + static_cast<long>(head),
                                     b.end() - static_cast<long>(tail));
  if (midA.empty() || midB.empty()) {
    ops.insert(ops.end(), midA.size(), kDel);
    ops.insert(ops.end(), midB.size(), kAdd);
  } else {
    dtl::Diff<std::string_view, std::vector<std::string_view>> diff(midA, midB);
    // Bounds the library's path memory on files with many scattered changes.
    diff.enableHuge();
    diff.compose();
    for (const auto& [line, info] : diff.getSes().getSequence())
      ops.push_back(info.type == dtl::SES_COMMON ? kSame : info.type == dtl::SES_DELETE ? kDel : kAdd);
  }
  ops.insert(ops.end(), tail, kSame);
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

}  // namespace migwiz
