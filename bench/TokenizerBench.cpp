// Throughput of the Pascal tokenizer (TPasParser) over a generated unit held in memory.
//   tokenizer_bench [megabytes=8] [repetitions=3]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "MigWizard/PasParser.h"

namespace {

// A form unit with every kind of token a rewrite meets: comments of all three forms, a resource
// directive, strings with doubled quotes, numbers and symbols.
const char* const kUnitPart =
    "unit Main;\r\n\r\ninterface\r\n\r\nuses\r\n  Windows, Messages, SysUtils, DBTables, Db;\r\n"
    "\r\ntype\r\n  TForm1 = class(TForm)\r\n    Query1: TQuery; { the main query }\r\n"
    "    procedure FormCreate(Sender: TObject);\r\n  end;\r\n\r\n{$R *.dfm}\r\n\r\n"
    "procedure TForm1.FormCreate(Sender: TObject);\r\nbegin\r\n"
    "  Query1.SQL.Text := 'select * from customer where name = ''O''''Brien''';\r\n"
    "  // don't forget: TQuery here\r\n  Query1.Tag := $FF + 12;\r\n"
    "  (* old code: Table1.Open; *)\r\nend;\r\n\r\nend.\r\n";

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 8;
  const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  std::string text;
  while (text.size() < (megabytes << 20)) text += kUnitPart;

  double best = 0;
  size_t tokens = 0;
  for (int round = 0; round < repetitions; ++round) {
    const auto t0 = std::chrono::steady_clock::now();
    migwiz::TPasParser p(text);
    std::string_view lexeme;
    size_t count = 0, bytes = 0;
    while (p.GetNext(lexeme) != migwiz::tkEOF) {
      ++count;
      bytes += lexeme.size();
    }
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    // The tokens must cover the text exactly, or the figure measures something else.
    if (bytes != text.size()) {
      std::fprintf(stderr, "the tokens cover %zu of %zu bytes\n", bytes, text.size());
      return 1;
    }
    if (round == 0 || secs < best) best = secs;
    tokens = count;
  }
  const double mb = static_cast<double>(text.size()) / (1 << 20);
  std::printf("tokenized %zu tokens, %.1f MB at %.0f MB/s (best of %d)\n", tokens, mb,
              mb / (best > 0 ? best : 1e-9), repetitions);
  return 0;
}
