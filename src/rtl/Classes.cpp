#include "rtl/Classes.h"

#include <algorithm>
#include <numeric>

#include "rtl/FileIO.h"
#include "rtl/SysUtils.h"

namespace rtl {

const TStringList::Entry& TStringList::Item(int index) const {
  if (index < 0 || index >= Count())
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  return items_[static_cast<size_t>(index)];
}

TStringList::Entry& TStringList::MutItem(int index) {
  return const_cast<Entry&>(static_cast<const TStringList*>(this)->Item(index));
}

void TStringList::SetString(int index, std::string value) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  MutItem(index).str = std::move(value);
}

int TStringList::InsertEntry(Entry e) {
  if (!sorted_) {
    items_.push_back(std::move(e));
    return Count() - 1;
  }
  int index;
  if (Find(e.str, index)) return index;
  items_.insert(items_.begin() + index, std::move(e));
  return index;
}

int TStringList::Add(std::string s) {
  return InsertEntry(Entry{std::move(s), 0, nullptr});
}

int TStringList::AddInt(std::string s, std::int64_t num) {
  return InsertEntry(Entry{std::move(s), num, nullptr});
}

int TStringList::AddObject(std::string s, std::unique_ptr<TObject> obj) {
  return InsertEntry(Entry{std::move(s), 0, std::move(obj)});
}

void TStringList::Insert(int index, std::string s) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  if (index < 0 || index > Count())
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  items_.insert(items_.begin() + index, Entry{std::move(s), 0, nullptr});
}

void TStringList::Delete(int index) {
  Item(index);
  items_.erase(items_.begin() + index);
}

int TStringList::IndexOf(std::string_view s) const {
  if (sorted_) {
    int index;
    return Find(s, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (SameText(items_[static_cast<size_t>(i)].str, s)) return i;
  return -1;
}

bool TStringList::Find(std::string_view s, int& index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = CompareText(items_[static_cast<size_t>(mid)].str, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) found = true;  // keep going left: the first of equal entries
    }
  }
  index = lo;
  return found;
}

void TStringList::SetSorted(bool sorted) {
  if (sorted && !sorted_) {
    std::stable_sort(items_.begin(), items_.end(),
                     [](const Entry& a, const Entry& b) { return CompareText(a.str, b.str) < 0; });
  }
  sorted_ = sorted;
}

void TStringList::CustomSort(const CompareFunc& compare) {
  // Sort a permutation so the comparison sees list indices, as the platform's does.
  std::vector<int> order(items_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return compare(*this, a, b) < 0; });
  std::vector<Entry> sortedItems;
  sortedItems.reserve(items_.size());
  for (int i : order) sortedItems.push_back(std::move(items_[static_cast<size_t>(i)]));
  items_ = std::move(sortedItems);
}

std::string TStringList::Names(int index) const {
  const std::string& s = Item(index).str;
  size_t eq = s.find('=');
  return eq == std::string::npos ? std::string() : s.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
  const std::string& s = Item(index).str;
  size_t eq = s.find('=');
  return eq == std::string::npos ? std::string() : s.substr(eq + 1);
}

int TStringList::IndexOfName(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& s = items_[static_cast<size_t>(i)].str;
    size_t eq = s.find('=');
    if (eq != std::string::npos && SameText(std::string_view(s).substr(0, eq), name)) return i;
  }
  return -1;
}

std::string TStringList::Values(std::string_view name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(std::string_view name, std::string_view value) {
  std::string line = std::string(name) + "=" + std::string(value);
  int i = IndexOfName(name);
  if (i < 0) {
    Add(std::move(line));
  } else if (sorted_) {
    Delete(i);
    Add(std::move(line));
  } else {
    items_[static_cast<size_t>(i)].str = std::move(line);
  }
}

std::string TStringList::Text() const {
  size_t total = 0;
  for (const Entry& e : items_) total += e.str.size() + 2;
  std::string out;
  out.reserve(total);
  for (const Entry& e : items_) {
    out += e.str;
    out += "\r\n";
  }
  return out;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0, i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

void TStringList::SetText(std::string_view text) {
  Clear();
  for (std::string& line : SplitLines(text)) Add(std::move(line));
}

void TStringList::LoadFromFile(const std::string& fileName) {
  SetText(ReadFileBytes(fileName));
}

void TStringList::SaveToFile(const std::string& fileName) const {
  WriteFileAtomic(fileName, Text());
}

}  // namespace rtl
