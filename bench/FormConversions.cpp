#include "FormConversions.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "rtl/FileIO.h"
#include "rtl/FormStreams.h"

namespace fs = std::filesystem;

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

size_t StreamStart(const std::string& file) {
  size_t zero = file.find('\0', 3);
  return zero == std::string::npos ? file.size() : std::min(file.size(), zero + 7);
}

FpcResult RunFpc(const FpcProgram& fpc, const char* mode, const std::vector<std::string>& files,
                 int repetitions, const fs::path& dir) {
  FpcResult r;
  if (files.empty()) {
    r.ok = true;
    return r;
  }
  const fs::path list = dir / (std::string(mode) + ".list");
  const fs::path out = dir / (std::string(mode) + ".out");
  const fs::path err = dir / (std::string(mode) + ".err");
  std::string names;
  for (const std::string& f : files) names += f + "\n";
  rtl::WriteFileBytes(list.string(), names);
  const std::string cmd = ShellQuote(fpc.Exe().string()) + " " + mode + " " +
                          ShellQuote(list.string()) + " " + std::to_string(repetitions) + " > " +
                          ShellQuote(out.string()) + " 2> " + ShellQuote(err.string());
  const int status = std::system(cmd.c_str());
  std::ifstream in(out);
  std::string line;
  std::getline(in, line);
  long long input = 0;
  if (std::sscanf(line.c_str(), "seconds=%lf input=%lld", &r.seconds, &input) == 2) r.input = input;
  if (status != 0 || r.input == 0) {
    std::ifstream e(err);
    std::stringstream text;
    text << e.rdbuf();
    r.error = text.str().empty() ? "FormConvertLoop " + std::string(mode) + " failed" : text.str();
    return r;
  }
  r.ok = true;
  return r;
}

Conversions ConvertAll(const std::vector<std::string>& binaries,
                       const std::vector<std::string>& texts) {
  Conversions c;
  std::vector<std::unique_ptr<rtl::TMemoryStream>> streams;
  std::vector<size_t> starts;
  for (const std::string& path : binaries) {
    std::string bytes = rtl::ReadFileBytes(path);
    starts.push_back(StreamStart(bytes));
    c.streamBytes += static_cast<std::int64_t>(bytes.size() - starts.back());
    streams.push_back(std::make_unique<rtl::TMemoryStream>(std::move(bytes)));
  }
  std::vector<std::string> textData;
  for (const std::string& path : texts) {
    textData.push_back(rtl::ReadFileBytes(path));
    c.textBytes += static_cast<std::int64_t>(textData.back().size());
  }
  std::string text;
  auto t0 = Clock::now();
  for (size_t i = 0; i < streams.size(); ++i) {
    streams[i]->Seek(static_cast<std::int64_t>(starts[i]));
    text.clear();  // the buffer is reused, as on Free Pascal's side
    rtl::ObjectBinaryToText(*streams[i], text);
  }
  c.binaryToText = Seconds(t0);
  rtl::TMemoryStream binary;
  t0 = Clock::now();
  for (const std::string& t : textData) {
    binary.Seek(0);
    rtl::ObjectTextToBinary(t, binary);
  }
  c.textToBinary = Seconds(t0);
  return c;
}

}  // namespace bench
