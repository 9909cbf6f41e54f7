// The form stream conversions measured over a set of form files, ours in process and Free
// Pascal's in its reference program, for the benchmarks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "FpcProgram.h"

namespace bench {

// Offset of the component stream in a binary form file.
size_t StreamStart(const std::string& file);

struct FpcResult {
  bool ok = false;
  double seconds = 0;
  std::int64_t input = 0;
  std::string error;
};

// Runs FormConvertLoop over the files, best of the repetitions; `mode` is "b2t" or "t2b". Its
// list and output files go into dir.
FpcResult RunFpc(const FpcProgram& fpc, const char* mode, const std::vector<std::string>& files,
                 int repetitions, const std::filesystem::path& dir);

struct Conversions {
  double binaryToText = 0;
  double textToBinary = 0;
  std::int64_t streamBytes = 0;
  std::int64_t textBytes = 0;
};

// ObjectBinaryToText over the binary forms' streams and ObjectTextToBinary over the text forms,
// all read into memory first; one pass each.
Conversions ConvertAll(const std::vector<std::string>& binaries,
                       const std::vector<std::string>& texts);

}  // namespace bench
