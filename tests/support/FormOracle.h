// Free Pascal's form reader and writer as a program (tests/oracle/FormOracle.pas), built once per
// build tree, for the tests that hold our forms against the runtime's.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/TestUtil.h"

namespace testutil {

struct Oracle {
  std::string exe;    // empty when fpc is missing or the build failed
  std::string error;  // the failure, when the build failed
};

inline const Oracle& FormOracle() {
  static const Oracle oracle = [] {
    Oracle o;
#ifdef _WIN32
    return o;  // the Windows suites run under wine, without fpc
#else
    namespace fs = std::filesystem;
    const std::string source = SourcePath("tests/oracle/FormOracle.pas");
    const std::string dir = std::string(MIGWIZ_BIN_DIR) + "/form-oracle";
    const std::string exe = dir + "/FormOracle";
    std::error_code ec;
    if (fs::exists(exe) && fs::last_write_time(exe, ec) >= fs::last_write_time(source, ec)) {
      o.exe = exe;
      return o;
    }
    if (std::system("command -v fpc >/dev/null 2>&1") != 0) return o;
    fs::create_directories(dir);
    // Built in a folder of its own and renamed, so parallel test processes never see half a file.
    std::string work = dir + "/build-XXXXXX";
    if (!mkdtemp(work.data())) {
      o.error = "cannot create " + work;
      return o;
    }
    const std::string log = work + "/fpc.log";
    const std::string cmd = "fpc -O2 -v0 " + ShellQuote("-FE" + work) + " " +
                            ShellQuote("-FU" + work) + " " + ShellQuote(source) + " >" +
                            ShellQuote(log) + " 2>&1";
    if (std::system(cmd.c_str()) != 0 || !fs::exists(work + "/FormOracle")) {
      o.error = "fpc could not build the oracle:\n" + ReadFile(log);
    } else {
      fs::rename(work + "/FormOracle", exe, ec);
      if (ec)
        o.error = "cannot move the oracle into place: " + ec.message();
      else
        o.exe = exe;
    }
    fs::remove_all(work, ec);
    return o;
#endif
  }();
  return oracle;
}

}  // namespace testutil
