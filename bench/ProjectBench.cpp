// The whole job on a generated project, with the floor and the naive alternative measured beside
// it in the same run:
//   project_bench [--megabytes 100] [--seed 1] [--repetitions 3] [--settle S] [--keep]
// - the replace run: kymigwiz replace --folder --subdirs, backup and log on, on a fresh copy;
// - cp -r of the same tree: every byte read and written once;
// - a sed -E -i script making the ten renames and the uses addition, on the units alone;
// - the form stream conversions, ours beside the Free Pascal runtime's;
// - the replace run's peak memory on the tree and on a quarter of it.
// Everything runs in a scratch folder under TMPDIR, removed at the end unless --keep. Steps that
// delete files are followed by a pause (--settle) so that the next one starts on a quiet file
// system; the whole takes a few minutes for 100 MB.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "FormConversions.h"
#include "FpcProgram.h"
#include "gen/ProjectGen.h"
#include "product/KyReplacer.h"
#include "rtl/FileIO.h"
#include "rtl/SysUtils.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double MB(double bytes) {
  return bytes / 1e6;
}

struct TChild {
  double seconds = 0;
  double peakMB = 0;  // the child's maximum resident set
  int status = -1;
};

// Runs a program with its output appended to a file; the time is the wall time from start to
// exit, the memory the child's own peak.
TChild Run(const std::vector<std::string>& args, const fs::path& output) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  TChild child;
  const auto t0 = Clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    struct rusage usage {};
    if (::wait4(pid, &status, 0, &usage) == pid) {
      child.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
      child.peakMB = static_cast<double>(usage.ru_maxrss) * 1024 / 1e6;
      child.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

// Stops the benchmark with the program's output when a step that must work does not.
void Require(const TChild& child, const std::string& what, const fs::path& output) {
  if (child.status == 0) return;
  std::ifstream in(output);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  throw std::runtime_error(what + " failed (status " + std::to_string(child.status) + "):\n" +
                           text);
}

std::string FirstLine(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r")) {
    char line[512];
    if (std::fgets(line, sizeof line, p)) out = line;
    ::pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out.empty() ? "?" : out;
}

std::string FileSystemOf(const fs::path& path) {
  struct statfs st;
  if (::statfs(path.c_str(), &st) != 0) return "?";
  switch (static_cast<unsigned long>(st.f_type)) {
    case 0xEF53:
      return "ext4";
    case 0x01021994:
      return "tmpfs";
    case 0x794C7630:
      return "overlayfs";
    case 0x9123683E:
      return "btrfs";
    case 0x58465342:
      return "xfs";
    default: {
      char hex[32];
      std::snprintf(hex, sizeof hex, "0x%lx", static_cast<unsigned long>(st.f_type));
      return hex;
    }
  }
}

std::string Machine(const fs::path& scratch) {
  std::string cpu = FirstLine("grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'");
  std::string mem = FirstLine("awk '/MemTotal/ {printf \"%.0f GB\", $2/1048576}' /proc/meminfo");
  struct utsname u {};
  ::uname(&u);
  return cpu + ", " + std::to_string(std::thread::hardware_concurrency()) + " cores, " + mem +
         "; Linux " + u.release + "; scratch on " + FileSystemOf(scratch) + "\n  " +
         FirstLine("cp --version") + "; " + FirstLine("sed --version") + "; fpc " +
         FirstLine("fpc -iV");
}

// The ten renames and the uses addition as a user writes them for sed, whole words, any case.
std::string SedScript() {
  std::string script;
  for (const ky::TClassReplacement& r : ky::kReplacements)
    script += std::string("s/\\b") + r.OldClass + "\\b/" + r.NewClass + "/Ig\n";
  script += std::string("s/\\b(") + ky::kUsesUnit + ")\\b/\\1" + ky::kUsesAddition + "/Ig\n";
  return script;
}

std::vector<std::string> UnitsUnder(const fs::path& root) {
  std::vector<std::string> units;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const std::string ext = rtl::UpperCase(entry.path().extension().string());
    if (ext == ".PAS" || ext == ".DPR") units.push_back(entry.path().string());
  }
  return units;
}

std::int64_t BytesOf(const std::vector<std::string>& files) {
  std::int64_t total = 0;
  for (const std::string& f : files) total += static_cast<std::int64_t>(fs::file_size(f));
  return total;
}

// sed over the files, a thousand to a call; the times add up.
TChild RunSed(const fs::path& script, const std::vector<std::string>& files,
              const fs::path& output) {
  TChild total;
  total.status = 0;
  for (size_t at = 0; at < files.size(); at += 1000) {
    std::vector<std::string> args = {"sed", "-E", "-i", "-f", script.string()};
    args.insert(args.end(), files.begin() + static_cast<std::ptrdiff_t>(at),
                files.begin() + static_cast<std::ptrdiff_t>(std::min(files.size(), at + 1000)));
    TChild part = Run(args, output);
    total.seconds += part.seconds;
    total.peakMB = std::max(total.peakMB, part.peakMB);
    if (part.status != 0) total.status = part.status;
  }
  return total;
}

struct TBest {
  double cp = 0, replace = 0, sed = 0, replacePeakMB = 0;
  void Take(double& best, double value) { best = best == 0 ? value : std::min(best, value); }
};

const char* Verdict(bool met) {
  return met ? "met" : "NOT met";
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"The replace run on a generated project beside cp -r, sed and Free Pascal"};
  double megabytes = 100;
  std::uint32_t seed = 1;
  int repetitions = 3;
  bool keep = false;
  // ext4's write-back window, after which deleted files no longer slow the creation of new ones.
  int settleSeconds =
      1 + std::atoi(FirstLine("cat /proc/sys/vm/dirty_expire_centisecs").c_str()) / 100;
  app.add_option("--megabytes", megabytes, "size of the generated project")
      ->check(CLI::PositiveNumber);
  app.add_option("--seed", seed, "generator seed");
  app.add_option("--repetitions", repetitions, "runs of each measurement; the best counts")
      ->check(CLI::Range(1, 50));
  app.add_flag("--keep", keep, "keep the scratch folder");
  app.add_option("--settle", settleSeconds,
                 "seconds to wait after a step that deleted files (default: the write-back "
                 "window + 1)")
      ->check(CLI::Range(0, 600));
  CLI11_PARSE(app, argc, argv);

  const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
  const std::string kymigwiz = (bin / "kymigwiz").string();
  const fs::path scratch =
      fs::temp_directory_path() / ("migwiz-project-bench-" + std::to_string(::getpid()));
  const fs::path out = scratch / "output.txt";
  int exitCode = 0;
  try {
    if (!fs::exists(kymigwiz)) throw std::runtime_error(kymigwiz + " is not built");
    fs::create_directories(scratch);
    const fs::path corpus = scratch / "corpus";
    const fs::path quarter = scratch / "quarter";
    fs::create_directories(corpus);
    fs::create_directories(quarter);
    const auto bytes = static_cast<std::int64_t>(megabytes * 1e6);
    const bench::TProjectStats stats = bench::GenerateProject(corpus, bytes, seed);
    const bench::TProjectStats small = bench::GenerateProject(quarter, bytes / 4, seed);
    const std::int64_t unitBytes = BytesOf(UnitsUnder(corpus));
    std::printf("machine: %s\n", Machine(scratch).c_str());
    std::printf(
        "project: %.1f MB (units %.1f MB), %zu units, %zu text and %zu binary forms in %d "
        "folders, %d replaceable objects in the forms, largest file %.0f KB; seed %u, best of "
        "%d\n\n",
        MB(stats.bytes), MB(unitBytes), stats.units.size(), stats.textForms.size(),
        stats.binaryForms.size(), stats.folders, stats.replaceable, stats.largestFile / 1e3, seed,
        repetitions);
    const fs::path sedScript = scratch / "rules.sed";
    rtl::WriteFileBytes(sedScript.string(), SedScript());

    // Every tree is copied before the measurements and removed only after them: ext4 makes a
    // new file slow while many files were deleted within its write-back window, so a deletion
    // just before one measurement would charge it for another's work. Steps that delete (a
    // rename over a file deletes the old one) are followed by a pause of that window.
    std::vector<fs::path> works, seds;
    for (int r = 0; r < repetitions; ++r) {
      works.push_back(scratch / ("work" + std::to_string(r)));
      seds.push_back(scratch / ("sed" + std::to_string(r)));
      Require(Run({"cp", "-r", corpus.string(), works.back().string()}, out), "cp", out);
      Require(Run({"cp", "-r", corpus.string(), seds.back().string()}, out), "cp", out);
    }
    auto settle = [settleSeconds] {
      if (settleSeconds > 0) std::this_thread::sleep_for(std::chrono::seconds(settleSeconds));
    };
    settle();

    TBest best;
    for (int r = 0; r < repetitions; ++r) {
      TChild cp =
          Run({"cp", "-r", corpus.string(), (scratch / ("cp" + std::to_string(r))).string()}, out);
      Require(cp, "cp -r", out);
      best.Take(best.cp, cp.seconds);
    }
    int changed = 0;
    for (int r = 0; r < repetitions; ++r) {
      TChild replace = Run({kymigwiz, "replace", "--folder", works[r].string(), "--subdirs"}, out);
      Require(replace, "kymigwiz replace", out);
      best.Take(best.replace, replace.seconds);
      best.replacePeakMB = std::max(best.replacePeakMB, replace.peakMB);
      const std::string undo = rtl::ReadFileBytes((works[r] / "RBackup" / "ROvorad.reu").string());
      changed = static_cast<int>(std::count(undo.begin(), undo.end(), '\n'));
      settle();
    }
    for (int r = 0; r < repetitions; ++r) {
      TChild sed = RunSed(sedScript, UnitsUnder(seds[r]), out);
      Require(sed, "sed", out);
      best.Take(best.sed, sed.seconds);
      if (r + 1 < repetitions) settle();
    }

    // Peak memory on a quarter of the tree and on a single unit, for what the tree adds.
    const fs::path one = scratch / "one";
    fs::create_directories(one);
    rtl::WriteFileBytes((one / "U.pas").string(), "unit U; uses DBTables; var Q: TQuery; end.");
    TChild single = Run({kymigwiz, "replace", "--folder", one.string()}, out);
    Require(single, "kymigwiz replace on one unit", out);
    TChild quarterRun = Run({kymigwiz, "replace", "--folder", quarter.string(), "--subdirs"}, out);
    Require(quarterRun, "kymigwiz replace on a quarter", out);

    std::printf("the replace run (best of %d)\n", repetitions);
    auto row = [&](const char* what, double seconds, double mb, const std::string& note) {
      std::printf("  %-46s %7.3f s %7.1f MB/s  %s\n", what, seconds, mb / seconds, note.c_str());
    };
    char note[160];
    row("cp -r of the tree (the floor)", best.cp, MB(stats.bytes), "");
    std::snprintf(note, sizeof note, "%.2f x cp; %d files changed", best.replace / best.cp,
                  changed);
    row("kymigwiz replace --folder --subdirs", best.replace, MB(stats.bytes), note);
    std::snprintf(note, sizeof note, "replace takes %.2f x its time", best.replace / best.sed);
    row("sed -E -i, ten renames + uses, units only", best.sed, MB(unitBytes), note);

    std::printf("\nform stream conversions, in process (best of %d)\n", repetitions);
    bench::Conversions conv;
    for (int r = 0; r < repetitions; ++r) {
      bench::Conversions c = bench::ConvertAll(stats.binaryForms, stats.textForms);
      if (r == 0 || c.binaryToText < conv.binaryToText) conv.binaryToText = c.binaryToText;
      if (r == 0 || c.textToBinary < conv.textToBinary) conv.textToBinary = c.textToBinary;
      conv.streamBytes = c.streamBytes;
      conv.textBytes = c.textBytes;
    }
    bench::FpcProgram fpc(fs::path(PROJECT_BENCH_FPC_SOURCE_DIR) / "FormConvertLoop.pas",
                          PROJECT_BENCH_FPC_DIR);
    bool conversionsFaster = fpc.Available();
    struct TSide {
      const char* name;
      double ours;
      std::int64_t bytes;
      const char* mode;
      const std::vector<std::string>& files;
    };
    for (const TSide& side :
         {TSide{"ObjectBinaryToText", conv.binaryToText, conv.streamBytes, "b2t",
                stats.binaryForms},
          TSide{"ObjectTextToBinary", conv.textToBinary, conv.textBytes, "t2b", stats.textForms}}) {
      std::string reference = "Free Pascal reference skipped: " + fpc.WhyNot();
      if (fpc.Available()) {
        bench::FpcResult theirs = bench::RunFpc(fpc, side.mode, side.files, repetitions, scratch);
        if (!theirs.ok) throw std::runtime_error("Free Pascal reference failed: " + theirs.error);
        char text[160];
        std::snprintf(text, sizeof text, "fpc %.3f s %.1f MB/s: ours %.2f x as fast",
                      theirs.seconds, MB(side.bytes) / theirs.seconds, theirs.seconds / side.ours);
        reference = text;
        if (theirs.seconds <= side.ours) conversionsFaster = false;
      }
      std::printf("  %-19s %6.1f MB  ours %.3f s %6.1f MB/s; %s\n", side.name, MB(side.bytes),
                  side.ours, MB(side.bytes) / side.ours, reference.c_str());
    }

    std::printf("\npeak memory of the replace run (maximum resident set)\n");
    std::printf("  one small unit                %6.1f MB\n", single.peakMB);
    std::printf("  the quarter tree, %6.1f MB    %6.1f MB\n", MB(small.bytes), quarterRun.peakMB);
    std::printf("  the whole tree,   %6.1f MB    %6.1f MB  (largest file %.2f MB)\n",
                MB(stats.bytes), best.replacePeakMB, MB(stats.largestFile));
    const double treeAdds = best.replacePeakMB - quarterRun.peakMB;
    // Bounded by the largest file: three quarters more tree may add little beyond a few copies
    // of one file, the run's queue of work files waiting to be written (1 MB) and the list of
    // names.
    const bool memoryBounded =
        treeAdds < std::max(4 * MB(stats.largestFile), 0.02 * MB(stats.bytes - small.bytes)) + 1;

    std::printf("\ngoals\n");
    std::printf("  replace run within 3 x cp -r:          %s (%.2f x)\n",
                Verdict(best.replace <= 3 * best.cp), best.replace / best.cp);
    std::printf("  replace run faster than sed:           %s (%.2f x sed's time)\n",
                Verdict(best.replace < best.sed), best.replace / best.sed);
    std::printf("  conversions faster than Free Pascal's: %s\n",
                fpc.Available() ? Verdict(conversionsFaster) : "not measured");
    std::printf(
        "  memory bounded by the largest file:    %s (the last three quarters of the "
        "tree add %.1f MB)\n",
        Verdict(memoryBounded), treeAdds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "project_bench: %s\n", e.what());
    exitCode = 1;
  }
  if (keep)
    std::printf("scratch folder kept: %s\n", scratch.c_str());
  else
    fs::remove_all(scratch);
  return exitCode;
}
