// Stand-ins for the runtime library's base object and string list.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

// Root of the objects a string list can own.
class TObject {
 public:
  virtual ~TObject() = default;
};

// Ordered list of 8-bit strings; each entry may carry an integer and an owned object.
// Sorted lists keep their entries in order, find them by binary search without regard to case
// and ignore a string they already hold. Unsorted lists are searched linearly, also without
// regard to case.
class TStringList : public TObject {
 public:
  using CompareFunc = std::function<int(const TStringList& list, int index1, int index2)>;

  TStringList() = default;
  explicit TStringList(bool sorted) : sorted_(sorted) {}
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;
  TStringList(TStringList&&) = default;
  TStringList& operator=(TStringList&&) = default;

  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  const std::string& operator[](int index) const { return Item(index).str; }
  const std::string& Strings(int index) const { return Item(index).str; }
  void SetString(int index, std::string value);

  std::int64_t Integers(int index) const { return Item(index).num; }
  TObject* Objects(int index) const { return Item(index).obj.get(); }
  // Replaces the entry's object; the previous one is freed.
  void SetObject(int index, std::unique_ptr<TObject> obj) { MutItem(index).obj = std::move(obj); }

  // Appends (unsorted) or inserts at the sorted place; a sorted list that already holds the
  // string adds nothing and returns the index of the entry it holds.
  int Add(std::string s);
  int AddInt(std::string s, std::int64_t num);
  int AddObject(std::string s, std::unique_ptr<TObject> obj);
  void Insert(int index, std::string s);
  void Delete(int index);
  void Clear() { items_.clear(); }

  // Index of the string (compared without regard to case), -1 when absent.
  int IndexOf(std::string_view s) const;
  // Binary search of a sorted list: true when found; index is the place it is or would go.
  bool Find(std::string_view s, int& index) const;

  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  // Sorts with a caller's comparison (used for the tokenizer tables and grammar alternatives).
  void CustomSort(const CompareFunc& compare);

  // name=value access: the name is the text before the first "=".
  std::string Names(int index) const;
  std::string ValueFromIndex(int index) const;
  int IndexOfName(std::string_view name) const;
  std::string Values(std::string_view name) const;
  // Replaces the value of a present name in place, else appends a line.
  void SetValue(std::string_view name, std::string_view value);

  // Every line followed by CR LF.
  std::string Text() const;
  // Splits at CR, LF or CR LF; a last line without line end is kept, no empty line is added.
  void SetText(std::string_view text);

  // Whole-file helpers; they raise EFOpenError / EFCreateError naming the file.
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

 private:
  struct Entry {
    std::string str;
    std::int64_t num = 0;
    std::unique_ptr<TObject> obj;
  };
  const Entry& Item(int index) const;
  Entry& MutItem(int index);
  int InsertEntry(Entry e);

  std::vector<Entry> items_;
  bool sorted_ = false;
};

// Splits text at CR, LF or CR LF, as the string list does.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace rtl
