// Throughput of unit rewriting over a generated corpus, beside `cat` of the same files.
//   unit_bench [megabytes=50] [seed=1]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "MigWizard/Replacer.h"
#include "gen/ProjectGen.h"
#include "product/KyReplacer.h"
#include "rtl/FileIO.h"
#include "support/FileWork.h"

namespace fs = std::filesystem;

namespace {

// A form unit declaring a dozen components, of about targetSize bytes.
std::string MakeUnit(bench::Rng& rng, int index, size_t targetSize) {
  static const std::vector<std::string> kClasses = {
      "TQuery",      "TTable",     "TDatabase", "TStoredProc", "TDataSource",
      "TStringList", "TUpdateSQL", "TButton",   "TEdit",       "TwwQuery"};
  bench::TUnitShape shape;
  shape.name = "Unit" + std::to_string(index);
  shape.formClass = "TForm" + std::to_string(index);
  for (int i = 0; i < 12; ++i)
    shape.components.emplace_back("Field" + std::to_string(i), rng.Pick(kClasses));
  shape.uses = {"DataMod"};
  shape.targetSize = targetSize;
  return bench::UnitSource(rng, shape);
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
  unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1;
  fs::path root = fs::temp_directory_path() / ("migwiz-unit-bench-" + std::to_string(::getpid()));
  fs::create_directories(root / "in");
  fs::create_directories(root / "out");

  bench::Rng rng(seed);
  std::vector<std::string> files;
  size_t total = 0;
  for (int i = 0; total < megabytes * 1000000; ++i) {
    std::string text = MakeUnit(rng, i, static_cast<size_t>(rng.Between(8000, 48000)));
    std::string path = (root / "in" / ("Unit" + std::to_string(i) + ".pas")).string();
    rtl::WriteFileBytes(path, text);
    files.push_back(path);
    total += text.size();
  }
  double mb = static_cast<double>(total) / 1e6;
  std::string catCmd = "cat " + (root / "in").string() + "/*.pas > /dev/null";
  if (std::system(catCmd.c_str()) != 0) return 1;  // warm the page cache for both

  auto t0 = std::chrono::steady_clock::now();
  if (std::system(catCmd.c_str()) != 0) return 1;
  double catSeconds = Seconds(t0);

  migwiz::TReplaceOptions options(ky::kSourceName);
  auto replacer = ky::CreateReplacer(&options);
  t0 = std::chrono::steady_clock::now();
  for (const std::string& path : files) {
    rtl::TFileStream in(path, rtl::TFileStream::Mode::OpenRead);
    migwiz::TSourceText source = migwiz::ReadSourceText(in, path);
    std::string out = (root / "out" / fs::path(path).filename()).string();
    testutil::ProcessUnit(*replacer, source.Text, path, source.Encoding, out);
  }
  double unitSeconds = Seconds(t0);

  std::printf("corpus:        %zu units, %.1f MB\n", files.size(), mb);
  std::printf("cat:           %.3f s  %8.1f MB/s\n", catSeconds, mb / catSeconds);
  std::printf("ProcessUnit:   %.3f s  %8.1f MB/s  (read, rewrite, write)\n", unitSeconds,
              mb / unitSeconds);
  std::printf("ratio:         ProcessUnit takes %.2f times the time of cat\n",
              unitSeconds / catSeconds);
  std::printf("changed files: %d\n", replacer->ChangedCount);
  fs::remove_all(root);
  return 0;
}
