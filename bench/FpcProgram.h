// A Free Pascal reference program of bench/fpc, compiled with fpc on first use and kept in the
// build folder until its source changes. Without fpc the benchmarks skip the reference.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace bench {

// One shell word, whatever the path holds.
inline std::string ShellQuote(const std::string& s) {
  std::string quoted = "'";
  for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class FpcProgram {
 public:
  // `source` is the .pas file; the executable, named after it, is kept in `dir`.
  FpcProgram(const std::filesystem::path& source, const std::filesystem::path& dir) {
    namespace fs = std::filesystem;
    if (std::system("command -v fpc >/dev/null 2>&1") != 0) {
      why_ = "fpc not found; install fp-compiler and fp-units-rtl for the Free Pascal reference";
      return;
    }
    const fs::path exe = dir / source.stem();
    std::error_code built, changed;
    auto builtAt = fs::last_write_time(exe, built);
    auto changedAt = fs::last_write_time(source, changed);
    if (!built && !changed && builtAt >= changedAt) {
      exe_ = exe;
      return;
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    // Compiled in a folder of its own and renamed, so a parallel run never starts half a file.
    std::string work = (dir / (source.stem().string() + ".build-XXXXXX")).string();
    if (!::mkdtemp(work.data())) {
      why_ = "cannot create a folder in " + dir.string() + " to compile " + source.string();
      return;
    }
    const fs::path log = fs::path(work) / "fpc.log";
    const std::string cmd = "fpc -O2 -v0 " + ShellQuote("-FE" + work) + " " +
                            ShellQuote("-FU" + work) + " " + ShellQuote(source.string()) + " > " +
                            ShellQuote(log.string()) + " 2>&1";
    const fs::path compiled = fs::path(work) / source.stem();
    if (std::system(cmd.c_str()) != 0 || !fs::exists(compiled)) {
      std::ifstream in(log);
      why_ = "fpc could not compile " + source.string() + ":\n" +
             std::string(std::istreambuf_iterator<char>(in), {});
    } else {
      fs::rename(compiled, exe, ec);
      if (ec)
        why_ = "cannot move " + compiled.string() + " into place: " + ec.message();
      else
        exe_ = exe;
    }
    fs::remove_all(work, ec);
  }

  bool Available() const { return !exe_.empty(); }
  const std::string& WhyNot() const { return why_; }
  const std::filesystem::path& Exe() const { return exe_; }

 private:
  std::filesystem::path exe_;
  std::string why_;
};

}  // namespace bench
