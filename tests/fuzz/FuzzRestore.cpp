// The undo file reader on arbitrary undo files. Only lines whose both paths lie below a scratch
// folder are kept, so the restore cannot touch anything else.
#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "MigWizard/Replacer.h"
#include "product/KyReplacer.h"
#include "rtl/FileIO.h"
#include "rtl/SysUtils.h"

namespace {

std::string Scratch() {
  static const std::string dir = [] {
    char tmpl[] = "/tmp/migwiz-fuzz-XXXXXX";
    if (!::mkdtemp(tmpl)) std::abort();
    for (const char* name : {"A.pas", "A.~pas", "B.dfm", "B.~dfm"})
      std::ofstream(std::string(tmpl) + "/" + name) << name;
    return std::string(tmpl);
  }();
  return dir;
}

bool Below(const std::string& path, const std::string& root) {
  return path.compare(0, root.size() + 1, root + "/") == 0 && path.find("..") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string root = Scratch();
  std::istringstream lines(std::string(reinterpret_cast<const char*>(data), size));
  std::string undo, line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t eq = line.find('=');
    // Names relative to the scratch folder keep the corpus short.
    std::string from = root + "/" + line.substr(0, eq), to = root + "/";
    if (eq != std::string::npos) to += line.substr(eq + 1);
    if (Below(from, root) && Below(to, root) && line.find('\0') == std::string::npos)
      undo += from + "=" + to + "\r\n";
  }
  rtl::WriteFileBytes(root + "/undo.reu", undo);
  migwiz::TReplaceOptions options("BDE");
  std::unique_ptr<migwiz::TComponentReplacer> replacer(ky::CreateReplacer(&options));
  try {
    replacer->Restore(root + "/undo.reu");
  } catch (const rtl::Exception&) {
  }
  return 0;
}
