// Form rewriting over a generated project of forms, and the form stream conversions beside the
// Free Pascal runtime's, all measured in the same run.
//   form_bench [megabytes=20] [seed=1] [repetitions=3]
// The forms (half text, half binary) are generated into a scratch folder from the seed. Free
// Pascal's side runs in bench/fpc/FormConvertLoop.pas, compiled with fpc into the build folder;
// without fpc it is skipped with a message.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "FormConversions.h"
#include "FpcProgram.h"
#include "MigWizard/Replacer.h"
#include "gen/ProjectGen.h"
#include "product/KyReplacer.h"
#include "rtl/FileIO.h"
#include "rtl/FormStreams.h"
#include "rtl/SysUtils.h"
#include "support/FileWork.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double MB(std::int64_t bytes) {
  return static_cast<double>(bytes) / 1e6;
}

// The generated forms; `replaceable` is the number of objects the rewriting must rebuild.
struct Corpus {
  std::vector<std::string> textForms;
  std::vector<std::string> binaryForms;
  std::vector<std::string> all;
  std::int64_t bytes = 0;
  int replaceable = 0;
};

// Writes forms into `dir` until they hold about `targetBytes`: even ones text, odd ones binary.
Corpus Generate(const fs::path& dir, std::int64_t targetBytes, std::uint32_t seed) {
  bench::TFormGenerator gen(seed);
  bench::Rng pick(seed ^ 0x9E3779B9u);
  Corpus corpus;
  int modules = 0, forms = 0;
  for (int i = 0; corpus.bytes < targetBytes; ++i) {
    const bool module = i == 0 || pick.Chance(30);
    const std::string name = module ? "DataMod" + std::to_string(modules) + ".dfm"
                                    : "Form" + std::to_string(forms) + ".dfm";
    bench::TGeneratedForm g = module ? gen.DataModule(modules++) : gen.Form(forms++);
    corpus.replaceable += g.replaceable;
    const bool asText = i % 2 == 0;
    const std::string bytes = bench::FormFileBytes(g, !asText);
    const std::string path = (dir / name).string();
    rtl::WriteFileBytes(path, bytes);
    (asText ? corpus.textForms : corpus.binaryForms).push_back(path);
    corpus.all.push_back(path);
    corpus.bytes += static_cast<std::int64_t>(bytes.size());
  }
  return corpus;
}

// --- Measuring --------------------------------------------------------------------------------

void Row(const char* what, double seconds, std::int64_t bytes) {
  std::printf("  %-40s %8.3f s %9.1f MB/s\n", what, seconds, seconds > 0 ? MB(bytes) / seconds : 0);
}

struct Rewriting {
  double scan = 0;
  double read = 0;
  double process = 0;
  int changedForms = 0;
  int rebuiltObjects = 0;
};

// One project-mode pass: every form scanned for aliases, then read and rewritten into `outDir`.
Rewriting RewriteAll(const Corpus& corpus, const fs::path& outDir, const fs::path& logPath) {
  migwiz::TReplaceOptions options(ky::kSourceName);
  auto replacer = ky::CreateReplacer(&options);
  replacer->Log.Open(logPath.string());
  Rewriting r;
  auto t0 = Clock::now();
  for (const std::string& path : corpus.all) replacer->ScanDatabaseAliases(path);
  r.scan = Seconds(t0);
  for (const std::string& path : corpus.all) {
    t0 = Clock::now();
    migwiz::TFormSource form;
    {
      rtl::TFileStream in(path, rtl::TFileStream::Mode::OpenRead);
      form = migwiz::ReadForm(in, path);
    }
    r.read += Seconds(t0);
    t0 = Clock::now();
    testutil::ProcessForm(*replacer, form.Text, (outDir / fs::path(path).filename()).string(),
                          form.Encoding, form.Binary, form.RCData);
    r.process += Seconds(t0);
  }
  replacer->Log.Close();
  r.changedForms = replacer->ChangedCount;
  // The count lines of the log tell how many objects the form parser rebuilt.
  std::ifstream log(logPath);
  std::string line;
  while (std::getline(log, line)) {
    int n = 0;
    if (std::sscanf(line.c_str(), "%d change(s)", &n) == 1) r.rebuiltObjects += n;
  }
  return r;
}

// One conversion, ours beside Free Pascal's; `goal` is cleared unless ours is faster. False when
// the reference failed on the input.
bool Compare(const char* what, const char* function, double ours, const bench::FpcResult& fpc,
             std::int64_t bytes, bool& goal) {
  if (bytes == 0) {
    std::printf("%s: none in this corpus\n", what);
    return true;
  }
  std::printf("%s over %.1f MB\n", what, MB(bytes));
  Row(("rtl::" + std::string(function)).c_str(), ours, bytes);
  if (!fpc.ok) {
    std::printf("  Free Pascal reference failed:\n%s\n", fpc.error.c_str());
    goal = false;
    return false;
  }
  if (fpc.input != bytes)
    std::printf("  (Free Pascal read %lld bytes, we %lld)\n", static_cast<long long>(fpc.input),
                static_cast<long long>(bytes));
  Row(("fpc " + std::string(function)).c_str(), fpc.seconds, bytes);
  const double ratio = ours > 0 ? fpc.seconds / ours : 0;
  std::printf("  ours is %.2f times as fast as Free Pascal's\n", ratio);
  if (ratio <= 1) goal = false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const double megabytes = argc > 1 ? std::atof(argv[1]) : 20;
  const auto seed = static_cast<std::uint32_t>(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1);
  const int repetitions = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  if (megabytes <= 0) {
    std::fprintf(stderr, "usage: form_bench [megabytes=20] [seed=1] [repetitions=3]\n");
    return 2;
  }
  const fs::path dir =
      fs::temp_directory_path() / ("migwiz-form-bench-" + std::to_string(::getpid()));
  const fs::path inDir = dir / "forms";
  const fs::path outDir = dir / "rewritten";
  bool ok = true;
  try {
    fs::create_directories(inDir);
    fs::create_directories(outDir);
    bench::FpcProgram fpc(fs::path(FORM_BENCH_FPC_SOURCE_DIR) / "FormConvertLoop.pas",
                          FORM_BENCH_FPC_DIR);
    Corpus corpus = Generate(inDir, static_cast<std::int64_t>(megabytes * 1e6), seed);
    std::printf(
        "%.1f MB in %zu forms (%zu text, %zu binary), %d replaceable objects; seed %u, "
        "best of %d\n",
        MB(corpus.bytes), corpus.all.size(), corpus.textForms.size(), corpus.binaryForms.size(),
        corpus.replaceable, seed, repetitions);

    std::printf("form rewriting, project mode (ky::CreateReplacer)\n");
    Rewriting best;
    for (int r = 0; r < repetitions; ++r) {
      Rewriting run = RewriteAll(corpus, outDir, dir / "Wiz_Log.txt");
      if (r == 0 || run.scan < best.scan) best.scan = run.scan;
      if (r == 0 || run.read + run.process < best.read + best.process) {
        best.read = run.read;
        best.process = run.process;
      }
      best.changedForms = run.changedForms;
      best.rebuiltObjects = run.rebuiltObjects;
    }
    Row("ScanDatabaseAliases, every form", best.scan, corpus.bytes);
    Row("ReadForm, every form", best.read, corpus.bytes);
    Row("ProcessForm, every form", best.process, corpus.bytes);
    Row("ReadForm + ProcessForm", best.read + best.process, corpus.bytes);
    Row("the whole: scan, read, rewrite", best.scan + best.read + best.process, corpus.bytes);
    std::printf("  %d objects rebuilt in %d forms\n", best.rebuiltObjects, best.changedForms);
    if (best.rebuiltObjects != corpus.replaceable) {
      std::printf("  the form parser rebuilt %d of the %d replaceable objects\n",
                  best.rebuiltObjects, corpus.replaceable);
      ok = false;
    }
    // Every rewritten form must still be a form for the reference reader.
    std::vector<std::string> outTexts, outBinaries;
    for (const auto& entry : fs::directory_iterator(outDir)) {
      const std::string head = rtl::ReadFileBytes(entry.path().string()).substr(0, 3);
      (head == std::string("\xFF\x0A\x00", 3) ? outBinaries : outTexts)
          .push_back(entry.path().string());
    }
    if (!fpc.Available()) {
      std::printf("Free Pascal reference skipped: %s\n", fpc.WhyNot().c_str());
    } else {
      bench::FpcResult readTexts = bench::RunFpc(fpc, "t2b", outTexts, 1, dir);
      bench::FpcResult readBinaries = bench::RunFpc(fpc, "b2t", outBinaries, 1, dir);
      if (readTexts.ok && readBinaries.ok) {
        std::printf("  Free Pascal reads all %zu rewritten forms\n",
                    outTexts.size() + outBinaries.size());
      } else {
        std::printf("  Free Pascal rejects rewritten forms:\n%s%s", readTexts.error.c_str(),
                    readBinaries.error.c_str());
        ok = false;
      }
    }

    std::printf("form stream conversions, in-process times\n");
    bench::Conversions conv;
    for (int r = 0; r < repetitions; ++r) {
      bench::Conversions c = bench::ConvertAll(corpus.binaryForms, corpus.textForms);
      if (r == 0 || c.binaryToText < conv.binaryToText) conv.binaryToText = c.binaryToText;
      if (r == 0 || c.textToBinary < conv.textToBinary) conv.textToBinary = c.textToBinary;
      conv.streamBytes = c.streamBytes;
      conv.textBytes = c.textBytes;
    }
    if (!fpc.Available()) {
      Row("rtl::ObjectBinaryToText", conv.binaryToText, conv.streamBytes);
      Row("rtl::ObjectTextToBinary", conv.textToBinary, conv.textBytes);
    } else {
      bool goal = true;
      ok &= Compare("binary streams to text", "ObjectBinaryToText", conv.binaryToText,
                    bench::RunFpc(fpc, "b2t", corpus.binaryForms, repetitions, dir),
                    conv.streamBytes, goal);
      ok &= Compare("texts to binary streams", "ObjectTextToBinary", conv.textToBinary,
                    bench::RunFpc(fpc, "t2b", corpus.textForms, repetitions, dir), conv.textBytes,
                    goal);
      std::printf("goal, both conversions faster than Free Pascal's: %s\n",
                  goal ? "met" : "missed");
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "form_bench: %s\n", e.what());
    ok = false;
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return ok ? 0 : 1;
}
