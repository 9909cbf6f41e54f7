// Form parsing and rebuilding (TKyFormParser), beside the Free Pascal runtime's
// ObjectTextToBinary reading the same text.
//   form_parse_bench [sqlLines=100000] [objects=10000] [repetitions=3]
// The Free Pascal reference is compiled with fpc into the build folder; without fpc it is
// skipped with a message.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FpcProgram.h"
#include "MigWizard/FormParser.h"
#include "product/KyFormParser.h"
#include "rtl/FileIO.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double MB(size_t bytes) {
  return static_cast<double>(bytes) / 1e6;
}

std::string BigQuery(int sqlLines) {
  std::string t = "object Query1: TQuery\r\n  DatabaseName = 'Sales'\r\n  SQL.Strings = (";
  for (int i = 1; i <= sqlLines; ++i) {
    std::string n = std::to_string(i);
    t += "\r\n    'insert into ORDERS (ID, NAME, AMOUNT) values (" + n + ", ''Name " + n + "'', " +
         n + ".5);'";
  }
  t += ")\r\n  Left = 8\r\n  Top = 8\r\nend\r\n";
  return t;
}

// An ordinary query: a dozen properties, a SQL list, a params collection, two persistent fields.
std::string OrdinaryQuery(int index) {
  std::string q = "Query" + std::to_string(index);
  return "  object " + q +
         ": TQuery\r\n"
         "    AutoCalcFields = False\r\n"
         "    CachedUpdates = True\r\n"
         "    DatabaseName = 'Sales'\r\n"
         "    DataSource = DataSource1\r\n"
         "    Filter = 'STATUS = ''A'''\r\n"
         "    Filtered = True\r\n"
         "    FilterOptions = [foCaseInsensitive, foNoPartialCompare]\r\n"
         "    RequestLive = True\r\n"
         "    SessionName = 'Default'\r\n"
         "    UpdateMode = upWhereKeyOnly\r\n"
         "    UpdateObject = UpdateSQL1\r\n"
         "    Tag = " +
         std::to_string(index % 100) +
         "\r\n"
         "    SQL.Strings = (\r\n"
         "      'select ID, NAME, AMOUNT'\r\n"
         "      'from ORDERS'\r\n"
         "      'where CUSTOMER = :CUSTOMER'\r\n"
         "      '  and STATUS = :STATUS'\r\n"
         "      'order by ID')\r\n"
         "    Left = 24\r\n"
         "    Top = 40\r\n"
         "    ParamData = <\r\n"
         "      item\r\n"
         "        DataType = ftInteger\r\n"
         "        Name = 'CUSTOMER'\r\n"
         "        ParamType = ptInput\r\n"
         "        Value = -12\r\n"
         "      end\r\n"
         "      item\r\n"
         "        DataType = ftString\r\n"
         "        Name = 'STATUS'\r\n"
         "        ParamType = ptInput\r\n"
         "        Value = 'A'\r\n"
         "      end>\r\n"
         "    object " +
         q +
         "ID: TIntegerField\r\n"
         "      FieldName = 'ID'\r\n"
         "    end\r\n"
         "    object " +
         q +
         "AMOUNT: TFloatField\r\n"
         "      FieldName = 'AMOUNT'\r\n"
         "      DisplayFormat = '0.00'\r\n"
         "    end\r\n"
         "  end\r\n";
}

std::string Form(const std::string& body) {
  return "object Form1: TForm1\r\n  Left = 0\r\n  Top = 0\r\n" + body + "end\r\n";
}

struct Timing {
  double parse = 0;
  double build = 0;
  double Total() const { return parse + build; }
};

// Converts objects one by one with one parser, as the form rewriting does.
class Converter {
 public:
  Converter() : parser_(ky::KyFormParserClass()()) {
    parser_->OnDatabaseName = [](const std::string&, const std::string& alias,
                                 std::string& connection) {
      if (alias == "Sales") connection = "DataModule1.Database1";
    };
  }

  // False with a message when an object is not recognised.
  bool Convert(const std::string& text, int depth, std::string& rebuilt, Timing& timing) {
    parser_->SetNewClassName("TKyQuery");
    int pos = 1;
    auto t0 = Clock::now();
    bool ok = parser_->Parse(text, "<object>", pos);
    timing.parse += Seconds(t0);
    if (!ok || pos != static_cast<int>(text.size()) + 1) {
      std::fprintf(stderr, "the form parser did not recognise an object (stopped at %d of %zu)\n",
                   pos, text.size());
      return false;
    }
    t0 = Clock::now();
    parser_->BuildObjectText(depth, rebuilt);
    timing.build += Seconds(t0);
    return true;
  }

 private:
  std::unique_ptr<migwiz::TFormParser> parser_;
};

// The Free Pascal reference program, compiled on first use.
class FpcReference {
 public:
  FpcReference() : program_(FORM_BENCH_FPC_SOURCE, FORM_BENCH_FPC_DIR) {}

  bool Available() const { return program_.Available(); }
  const std::string& WhyNot() const { return program_.WhyNot(); }

  // Best time of ObjectTextToBinary over the file, or nothing when it failed.
  std::optional<double> Time(const fs::path& textFile, int repetitions) const {
    fs::path out = textFile;
    out += ".fpc";
    std::string cmd = bench::ShellQuote(program_.Exe().string()) + " " +
                      bench::ShellQuote(textFile.string()) + " " + std::to_string(repetitions) +
                      " > " + bench::ShellQuote(out.string());
    if (std::system(cmd.c_str()) != 0) return std::nullopt;
    std::ifstream in(out);
    std::string line;
    std::getline(in, line);
    double seconds = 0;
    if (std::sscanf(line.c_str(), "seconds=%lf", &seconds) != 1) return std::nullopt;
    return seconds;
  }

 private:
  bench::FpcProgram program_;
};

void PrintRow(const char* what, double seconds, size_t bytes) {
  if (seconds > 0)
    std::printf("  %-34s %9.3f s %9.1f MB/s\n", what, seconds, MB(bytes) / seconds);
  else
    std::printf("  %-34s %9.3f s\n", what, seconds);
}

// Runs one case: ours (best of the repetitions), the reference on the original text, and the
// reference reading our rebuilt text to show it is still valid form text.
bool RunCase(const char* title, const std::string& original, const std::string& rebuilt,
             const Timing& ours, const FpcReference& fpc, const fs::path& dir, int repetitions) {
  std::printf("%s: %.1f MB of form text\n", title, MB(original.size()));
  PrintRow("TKyFormParser parse", ours.parse, original.size());
  PrintRow("TKyFormParser rebuild", ours.build, original.size());
  PrintRow("TKyFormParser parse + rebuild", ours.Total(), original.size());
  if (!fpc.Available()) {
    std::printf("  Free Pascal reference skipped: %s\n", fpc.WhyNot().c_str());
    return true;
  }
  fs::path in = dir / (std::string(title) + ".txt");
  fs::path out = dir / (std::string(title) + ".rebuilt.txt");
  rtl::WriteFileBytes(in.string(), original);
  rtl::WriteFileBytes(out.string(), rebuilt);
  std::optional<double> reference = fpc.Time(in, repetitions);
  if (!reference) {
    std::printf("  Free Pascal reference failed on %s\n", in.string().c_str());
    return false;
  }
  PrintRow("fpc ObjectTextToBinary", *reference, original.size());
  std::printf("  ratio: parse + rebuild takes %.2f times the time of ObjectTextToBinary\n",
              ours.Total() / *reference);
  if (!fpc.Time(out, 1)) {
    std::printf("  the Free Pascal reader rejects the rebuilt text %s\n", out.string().c_str());
    return false;
  }
  std::printf("  the Free Pascal reader accepts the rebuilt text\n");
  return true;
}

Timing Best(const Timing& a, const Timing& b) {
  return a.Total() <= b.Total() ? a : b;
}

}  // namespace

int main(int argc, char** argv) {
  int sqlLines = argc > 1 ? std::atoi(argv[1]) : 100000;
  int objects = argc > 2 ? std::atoi(argv[2]) : 10000;
  int repetitions = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  fs::path dir = fs::temp_directory_path() / ("migwiz-form-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  FpcReference fpc;
  bool ok = true;
  try {
    // One object with a very long SQL list.
    std::string big = BigQuery(sqlLines);
    std::string bigRebuilt;
    std::optional<Timing> bigBest;
    for (int r = 0; r < repetitions && ok; ++r) {
      Converter converter;
      Timing t;
      ok = converter.Convert(big, 0, bigRebuilt, t);
      bigBest = bigBest ? Best(*bigBest, t) : t;
    }
    std::string title = "one query with " + std::to_string(sqlLines) + " SQL lines";
    if (ok) ok = RunCase(title.c_str(), big, bigRebuilt, *bigBest, fpc, dir, repetitions);

    // Many ordinary objects, each parsed from its own text; the reference reads them as one form.
    std::vector<std::string> texts;
    std::string body;
    for (int i = 1; i <= objects; ++i) {
      texts.push_back(OrdinaryQuery(i));
      body += texts.back();
    }
    std::string rebuiltBody;
    std::optional<Timing> manyBest;
    for (int r = 0; r < repetitions && ok; ++r) {
      Converter converter;
      Timing t;
      rebuiltBody.clear();
      for (const std::string& text : texts) {
        // The parser starts on the keyword, after the object's indentation.
        std::string object = text.substr(text.find_first_not_of(' '));
        std::string rebuilt;
        if (!(ok = converter.Convert(object, 1, rebuilt, t))) break;
        rebuiltBody += rebuilt;
      }
      manyBest = manyBest ? Best(*manyBest, t) : t;
    }
    title = std::to_string(objects) + " ordinary queries";
    std::printf(
        "(%s: ours object by object, as the form rewriting calls the parser; the "
        "reference reads them as one form)\n",
        title.c_str());
    if (ok)
      ok = RunCase(title.c_str(), Form(body), Form(rebuiltBody), *manyBest, fpc, dir, repetitions);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "form_parse_bench: %s\n", e.what());
    ok = false;
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return ok ? 0 : 1;
}
