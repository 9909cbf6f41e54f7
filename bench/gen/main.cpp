// bench_gen OUT [--megabytes N] [--seed S]: writes a synthetic Delphi project into OUT.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <filesystem>

#include "gen/ProjectGen.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes a synthetic Delphi project (units, text and binary forms, project file)"};
  std::string out;
  double megabytes = 100;
  std::uint32_t seed = 1;
  app.add_option("OUT", out, "folder to create; it must not exist yet")->required();
  app.add_option("--megabytes", megabytes, "about how much to write")->check(CLI::PositiveNumber);
  app.add_option("--seed", seed, "the same seed gives the same bytes");
  CLI11_PARSE(app, argc, argv);
  namespace fs = std::filesystem;
  try {
    // Never into a folder that holds something: the output is meant to be thrown away.
    if (fs::exists(out)) {
      std::fprintf(stderr, "bench_gen: %s exists already\n", out.c_str());
      return 1;
    }
    fs::create_directories(out);
    const bench::TProjectStats s =
        bench::GenerateProject(out, static_cast<std::int64_t>(megabytes * 1e6), seed);
    std::printf(
        "%s: %.1f MB, %zu units, %zu text forms, %zu binary forms in %d folders; %d replaceable "
        "objects in the forms; largest file %.1f KB\n",
        s.projectFile.c_str(), static_cast<double>(s.bytes) / 1e6, s.units.size(),
        s.textForms.size(), s.binaryForms.size(), s.folders, s.replaceable,
        static_cast<double>(s.largestFile) / 1e3);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_gen: %s\n", e.what());
    return 1;
  }
  return 0;
}
