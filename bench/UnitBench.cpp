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
#include "product/KyReplacer.h"
#include "rtl/FileIO.h"

namespace fs = std::filesystem;

namespace {

const char* kClasses[] = {"TQuery",      "TTable",     "TDatabase", "TStoredProc", "TDataSource",
                          "TStringList", "TUpdateSQL", "TButton",   "TEdit",       "TwwQuery"};

std::string MakeUnit(std::mt19937& rng, int index, size_t targetSize) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  std::string u = "unit Unit" + std::to_string(index) + ";\r\n\r\ninterface\r\n\r\n";
  u += "uses\r\n  Windows, SysUtils, Classes, DB, DBTables, Forms, Controls;\r\n\r\n";
  u += "type\r\n  { Form " + std::to_string(index) +
       ": TQuery and TTable are opened on demand }\r\n";
  u += "  TForm" + std::to_string(index) + " = class(TForm)\r\n";
  for (int i = 0; i < 12; ++i)
    u += "    Field" + std::to_string(i) + ": " + kClasses[pick(10)] + ";\r\n";
  u += "  end;\r\n\r\nimplementation\r\n\r\nuses DataMod;\r\n\r\n{$R *.dfm}\r\n\r\n";
  int proc = 0;
  while (u.size() < targetSize) {
    u += "procedure TForm" + std::to_string(index) + ".Handler" + std::to_string(proc++) +
         "(Sender: TObject);\r\nvar\r\n  Q: " + kClasses[pick(10)] +
         ";\r\n  I: Integer;\r\nbegin\r\n";
    for (int line = 0; line < 8; ++line) {
      switch (pick(5)) {
        case 0:
          u += "  Q.SQL.Add('select * from ORDERS where ID = ' + IntToStr(I));\r\n";
          break;
        case 1:
          u += "  // keep the TDatabase connected while the TQuery is open\r\n";
          break;
        case 2:
          u += "  if Q.Active then Q.Close else Q.Open;\r\n";
          break;
        case 3:
          u += "  try Q.ExecSQL; except on E: EDBEngineError do ShowMessage(E.Message); end;\r\n";
          break;
        default:
          u += "  for I := 0 to Q.FieldCount - 1 do Total := Total + Q.Fields[I].AsFloat;\r\n";
      }
    }
    u += "end;\r\n\r\n";
  }
  u += "end.\r\n";
  return u;
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

  std::mt19937 rng(seed);
  std::vector<std::string> files;
  size_t total = 0;
  for (int i = 0; total < megabytes * 1000000; ++i) {
    std::string text = MakeUnit(rng, i, 8000 + rng() % 40000);
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
    replacer->ProcessUnit(source.Text, path, source.Encoding, out);
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
