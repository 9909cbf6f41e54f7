// Synthetic Delphi projects for the benchmarks: units, text and binary forms and a project file,
// the same bytes for a seed on every machine.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// mt19937's output is fixed by the standard, the library's distributions are not: reducing it
// ourselves keeps a seed's corpus the same everywhere.
class Rng {
 public:
  explicit Rng(std::uint32_t seed) : gen_(seed) {}
  int Below(int n) { return static_cast<int>(gen_() % static_cast<std::uint32_t>(n)); }
  int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <class T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(Below(static_cast<int>(items.size())))];
  }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(gen_()); }

 private:
  std::mt19937 gen_;
};

struct TGeneratedForm {
  std::string className;  // of the root object
  std::string text;       // form text, not yet laid out as the IDE writes it
  int replaceable = 0;    // objects declared with "object" whose class the rule table names
  // The components the form owns, (name, class), as its unit declares them.
  std::vector<std::pair<std::string, std::string>> components;
};

class TFormGenerator {
 public:
  explicit TFormGenerator(std::uint32_t seed);
  ~TFormGenerator();
  // Data module k holds the TDatabase with the alias DB_k and the data sets around it.
  TGeneratedForm DataModule(int k);
  // A form with nested controls, perhaps a picture, and a few data sets; sometimes inherited.
  TGeneratedForm Form(int k);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// The bytes of a form file: the text as the IDE lays it out, or the binary resource.
std::string FormFileBytes(const TGeneratedForm& form, bool binary);

struct TUnitShape {
  std::string name;                // unit name
  std::string formClass;           // empty: a unit without a form
  std::string ancestor = "TForm";  // of the form class
  std::vector<std::pair<std::string, std::string>> components;
  std::vector<std::string> uses;  // units of the project it uses in its implementation
  size_t targetSize = 16000;
};

// A unit: uses clauses naming DBTables, BDE classes in declarations, code and comments, the
// resource directive of its form.
std::string UnitSource(Rng& rng, const TUnitShape& shape);

struct TProjectStats {
  std::int64_t bytes = 0;
  std::int64_t largestFile = 0;
  int folders = 0;
  int replaceable = 0;                                     // in the forms
  std::vector<std::string> units, textForms, binaryForms;  // paths
  std::string projectFile;
};

// Writes a project of about targetBytes into root (which must exist): a .dpr naming every unit
// with its sub-folder, units in sub-folders of up to 40, forms half text and half binary, data
// modules among them.
TProjectStats GenerateProject(const std::filesystem::path& root, std::int64_t targetBytes,
                              std::uint32_t seed);

}  // namespace bench
