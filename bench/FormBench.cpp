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

#include "FpcProgram.h"
#include "MigWizard/Replacer.h"
#include "product/KyReplacer.h"
#include "rtl/FileIO.h"
#include "rtl/FormStreams.h"
#include "rtl/SysUtils.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double MB(std::int64_t bytes) {
  return static_cast<double>(bytes) / 1e6;
}

// --- Generation -------------------------------------------------------------------------------

// mt19937's output is fixed by the standard, the library's distributions are not: reducing it
// ourselves keeps a seed's corpus the same everywhere.
class Rng {
 public:
  explicit Rng(std::uint32_t seed) : gen_(seed) {}
  int Below(int n) { return static_cast<int>(gen_() % static_cast<std::uint32_t>(n)); }
  int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <class T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(Below(static_cast<int>(items.size())))];
  }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(gen_()); }

 private:
  std::mt19937 gen_;
};

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
  return q + "'";
}

// Form text as the IDE lays it out; the corpus is canonicalised through the binary form anyway.
class FormText {
 public:
  void Open(const std::string& keyword, const std::string& name, const std::string& cls) {
    Line(keyword + " " + name + ": " + cls);
    ++depth_;
  }
  void Close() {
    --depth_;
    Line("end");
  }
  void Prop(const std::string& name, const std::string& value) { Line(name + " = " + value); }
  void Prop(const std::string& name, int value) { Prop(name, std::to_string(value)); }
  void Strings(const std::string& name, const std::vector<std::string>& lines) {
    std::string v = "(";
    for (const std::string& l : lines) v += "\r\n" + Indent(depth_ + 1) + Quoted(l);
    Prop(name, v + ")");
  }
  // A collection; each item is a list of name = value pairs.
  void Collection(const std::string& name,
                  const std::vector<std::vector<std::pair<std::string, std::string>>>& items) {
    std::string v = "<";
    for (const auto& item : items) {
      v += "\r\n" + Indent(depth_ + 1) + "item";
      for (const auto& [n, value] : item) v += "\r\n" + Indent(depth_ + 2) + n + " = " + value;
      v += "\r\n" + Indent(depth_ + 1) + "end";
    }
    Prop(name, v + ">");
  }
  void Binary(const std::string& name, const std::string& bytes) {
    static const char* kHex = "0123456789ABCDEF";
    std::string v = "{";
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (i % 32 == 0) v += "\r\n" + Indent(depth_ + 1);
      auto b = static_cast<unsigned char>(bytes[i]);
      v += kHex[b >> 4];
      v += kHex[b & 15];
    }
    Prop(name, v + "}");
  }
  const std::string& Text() const { return text_; }

 private:
  static std::string Indent(int depth) { return std::string(2 * static_cast<size_t>(depth), ' '); }
  void Line(const std::string& s) { text_ += Indent(depth_) + s + "\r\n"; }

  std::string text_;
  int depth_ = 0;
};

const std::vector<std::string> kTables = {"ORDERS",    "ORDER_LINES", "CUSTOMERS",  "ARTICLES",
                                          "SUPPLIERS", "INVOICES",    "PAYMENTS",   "STOCK",
                                          "WAREHOUSE", "EMPLOYEE",    "PRICE_LIST", "DELIVERY"};
const std::vector<std::string> kColumns = {
    "ID",      "NAME",   "STATUS", "AMOUNT", "PRICE",   "QUANTITY", "CREATED", "CHANGED",
    "COMMENT", "STREET", "CITY",   "ZIP",    "COUNTRY", "PHONE",    "EMAIL",   "DISCOUNT"};
const std::vector<std::string> kFieldClasses = {"TIntegerField",  "TStringField",   "TFloatField",
                                                "TDateTimeField", "TCurrencyField", "TBooleanField",
                                                "TSmallintField", "TMemoField"};
// Captions in the working code page (Windows-1252), as a German shop writes them.
const std::vector<std::string> kCaptions = {"Orders",
                                            "Customers",
                                            "Kunden\xFC"
                                            "bersicht",
                                            "Gr\xF6\xDF"
                                            "e",
                                            "Invoices",
                                            "Stra\xDF"
                                            "e",
                                            "&Save",
                                            "&Cancel",
                                            "Print...",
                                            "Search customer",
                                            "Price (\x80)",
                                            "Delivery date"};

struct Generated {
  std::string text;
  int replaceable = 0;  // objects declared with "object" whose class the rule table names
};

class FormGenerator {
 public:
  explicit FormGenerator(std::uint32_t seed) : rng_(seed) {}

  // Data module k holds the TDatabase with the alias DB_k.
  Generated DataModule(int k) {
    FormText f;
    Generated g;
    names_ = 0;
    const std::string dm = "DataModule" + std::to_string(k);
    f.Open("object", dm, "T" + dm);
    f.Prop("OldCreateOrder", "False");
    f.Prop("Height", rng_.Between(150, 700));
    f.Prop("Width", rng_.Between(200, 900));
    f.Open("object", "Database" + std::to_string(k), "TDatabase");
    f.Prop("AliasName", Quoted("ALIAS" + std::to_string(k)));
    f.Prop("DatabaseName", Quoted(Alias(k)));
    f.Prop("LoginPrompt", "False");
    f.Strings("Params.Strings",
              {"DATABASE NAME=Sales" + std::to_string(k), "SERVER NAME=SRV" + std::to_string(k % 7),
               "USER NAME=clerk" + std::to_string(k % 13), "PASSWORD=pa'ss", "SQLQRYMODE=SERVER",
               "BLOB SIZE=64"});
    f.Prop("SessionName", "'Default'");
    f.Prop("TransIsolation",
           rng_.Pick<std::string>({"tiDirtyRead", "tiReadCommitted", "tiRepeatableRead"}));
    f.Prop("Left", 40);
    f.Prop("Top", 16);
    f.Close();
    ++g.replaceable;
    aliases_ = std::max(aliases_, k + 1);
    const int dataSets = rng_.Between(6, 30);
    for (int i = 0; i < dataSets; ++i) g.replaceable += DataSet(f, k);
    f.Close();
    g.text = f.Text();
    return g;
  }

  // A form with nested controls, perhaps a picture, and a few data sets; sometimes inherited.
  Generated Form(int k) {
    FormText f;
    Generated g;
    names_ = 0;
    const bool inherited = rng_.Chance(15);
    const std::string form = "Form" + std::to_string(k);
    f.Open(inherited ? "inherited" : "object", form, "T" + form);
    if (!inherited) {
      f.Prop("Left", rng_.Between(0, 400));
      f.Prop("Top", rng_.Between(0, 300));
    }
    f.Prop("Caption", Quoted(rng_.Pick(kCaptions)));
    f.Prop("ClientHeight", rng_.Between(200, 700));
    f.Prop("ClientWidth", rng_.Between(300, 1000));
    if (!inherited) {
      f.Prop("Color", "clBtnFace");
      f.Prop("Font.Charset", "DEFAULT_CHARSET");
      f.Prop("Font.Color", "clWindowText");
      f.Prop("Font.Height", -11);
      f.Prop("Font.Name", "'Tahoma'");
      f.Prop("Font.Style", "[]");
      f.Prop("OldCreateOrder", "False");
      f.Prop("Position", "poScreenCenter");
    }
    f.Prop("OnCreate", "FormCreate");
    f.Prop("PixelsPerInch", 96);
    f.Prop("TextHeight", 13);
    if (inherited) {
      // Components of the ancestor stay as they are.
      f.Open("inherited", "BaseQuery", "TQuery");
      f.Strings("SQL.Strings", Sql());
      f.Close();
      f.Open("inherited", "BasePanel", "TPanel");
      f.Prop("Caption", Quoted(rng_.Pick(kCaptions)));
      f.Close();
    }
    const int panels = rng_.Between(1, 4);
    for (int i = 0; i < panels; ++i) Panel(f, 1);
    if (rng_.Chance(35)) Image(f);
    Grid(f);
    const int dataSets = rng_.Between(1, 8);
    for (int i = 0; i < dataSets; ++i) g.replaceable += DataSet(f, -1);
    f.Close();
    g.text = f.Text();
    return g;
  }

 private:
  static std::string Alias(int k) { return "DB_" + std::to_string(k); }
  std::string Name(const std::string& base) { return base + std::to_string(++names_); }

  std::vector<std::string> Sql() {
    const std::string& table = rng_.Pick(kTables);
    std::vector<std::string> sql;
    std::string cols = "select ";
    const int n = rng_.Between(2, 8);
    for (int i = 0; i < n; ++i) cols += (i ? ", " : "") + rng_.Pick(kColumns);
    sql.push_back(cols);
    sql.push_back("from " + table + " T");
    if (rng_.Chance(40))
      sql.push_back("  left join " + rng_.Pick(kTables) + " J on J.ID = T." + rng_.Pick(kColumns));
    sql.push_back("where T.STATUS <> 'X'");
    const int conditions = rng_.Between(0, 30);
    for (int i = 0; i < conditions; ++i)
      sql.push_back("  and T." + rng_.Pick(kColumns) + (rng_.Chance(50) ? " = :P" : " >= :P") +
                    std::to_string(i));
    sql.push_back("order by T." + rng_.Pick(kColumns));
    return sql;
  }

  // A data set or one of its companions; returns how many replaceable objects it wrote.
  int DataSet(FormText& f, int ownModule) {
    const int kind = rng_.Below(100);
    // Most refer to a data module's alias; some to one no data module defines.
    const std::string alias = rng_.Chance(10) ? "LOCAL_DB"
                              : ownModule >= 0 && rng_.Chance(80)
                                  ? Alias(ownModule)
                                  : Alias(rng_.Below(std::max(1, aliases_)));
    const int left = rng_.Between(8, 600);
    const int top = rng_.Between(8, 400);
    if (kind < 45) {
      const bool ww = rng_.Chance(15);
      const std::string name = Name("Query");
      f.Open("object", name, ww ? "TwwQuery" : "TQuery");
      if (rng_.Chance(30)) f.Prop("CachedUpdates", "True");
      f.Prop("DatabaseName", Quoted(alias));
      if (rng_.Chance(30)) f.Prop("DataSource", "DataSource" + std::to_string(rng_.Between(1, 5)));
      if (rng_.Chance(40)) f.Prop("RequestLive", "True");
      f.Strings("SQL.Strings", Sql());
      if (rng_.Chance(20)) f.Prop("UpdateObject", "Update" + std::to_string(rng_.Between(1, 9)));
      if (rng_.Chance(40)) f.Prop("AfterOpen", name + "AfterOpen");
      f.Prop("Left", left);
      f.Prop("Top", top);
      Params(f);
      Fields(f, name);
      f.Close();
      return 1;
    }
    if (kind < 70) {
      const std::string name = Name("Table");
      f.Open("object", name, rng_.Chance(15) ? "TwwTable" : "TTable");
      f.Prop("DatabaseName", Quoted(alias));
      if (rng_.Chance(50)) f.Prop("IndexFieldNames", Quoted(rng_.Pick(kColumns)));
      if (rng_.Chance(20)) {
        f.Prop("MasterFields", "'ID'");
        f.Prop("MasterSource", "DataSource" + std::to_string(rng_.Between(1, 5)));
      }
      f.Prop("TableName", Quoted(rng_.Pick(kTables)));
      f.Prop("Left", left);
      f.Prop("Top", top);
      Fields(f, name);
      f.Close();
      return 1;
    }
    if (kind < 85) {
      const bool ww = rng_.Chance(20);
      f.Open("object", Name("DataSource"), ww ? "TwwDataSource" : "TDataSource");
      f.Prop("DataSet", "Query" + std::to_string(rng_.Between(1, 5)));
      f.Prop("Left", left);
      f.Prop("Top", top);
      f.Close();
      return ww ? 1 : 0;
    }
    if (kind < 92) {
      const std::string& table = rng_.Pick(kTables);
      f.Open("object", Name("Update"), "TUpdateSQL");
      f.Strings("ModifySQL.Strings", {"update " + table, "set", "  NAME = :NAME,",
                                      "  STATUS = :STATUS", "where", "  ID = :OLD_ID"});
      f.Strings("InsertSQL.Strings", {"insert into " + table, "  (ID, NAME, STATUS)", "values",
                                      "  (:ID, :NAME, :STATUS)"});
      f.Strings("DeleteSQL.Strings", {"delete from " + table, "where", "  ID = :OLD_ID"});
      f.Prop("Left", left);
      f.Prop("Top", top);
      f.Close();
      return 1;
    }
    if (kind < 97) {
      f.Open("object", Name("Proc"), "TStoredProc");
      f.Prop("DatabaseName", Quoted(alias));
      f.Prop("StoredProcName", Quoted("NEXT_" + rng_.Pick(kTables) + "_ID;1"));
      f.Prop("Left", left);
      f.Prop("Top", top);
      Params(f);
      f.Close();
      return 1;
    }
    f.Open("object", Name("Move"), "TBatchMove");
    f.Prop("Destination", "Table" + std::to_string(rng_.Between(1, 5)));
    f.Prop("Mode", rng_.Pick<std::string>({"batAppendUpdate", "batCopy", "batUpdate"}));
    f.Prop("Source", "Query" + std::to_string(rng_.Between(1, 5)));
    f.Prop("Left", left);
    f.Prop("Top", top);
    f.Close();
    return 1;
  }

  void Params(FormText& f) {
    const int n = rng_.Between(0, 4);
    if (n == 0) return;
    std::vector<std::vector<std::pair<std::string, std::string>>> items;
    for (int i = 0; i < n; ++i) {
      std::vector<std::pair<std::string, std::string>> item;
      const int type = rng_.Below(3);
      item.emplace_back("DataType", type == 0 ? "ftInteger" : type == 1 ? "ftString" : "ftFloat");
      item.emplace_back("Name", Quoted("P" + std::to_string(i)));
      item.emplace_back("ParamType", rng_.Chance(80) ? "ptInput" : "ptUnknown");
      if (rng_.Chance(40))
        item.emplace_back("Value", type == 0   ? std::to_string(rng_.Between(-500, 100000))
                                   : type == 1 ? Quoted(rng_.Pick(kColumns))
                                               : std::to_string(rng_.Between(0, 999)) + ".25");
      items.push_back(std::move(item));
    }
    f.Collection("ParamData", items);
  }

  void Fields(FormText& f, const std::string& owner) {
    const int n = rng_.Between(0, 14);
    for (int i = 0; i < n; ++i) {
      const std::string& column = rng_.Pick(kColumns);
      const std::string& cls = rng_.Pick(kFieldClasses);
      f.Open("object", owner + column + std::to_string(i), cls);
      if (rng_.Chance(40)) f.Prop("DisplayLabel", Quoted(rng_.Pick(kCaptions)));
      f.Prop("FieldName", Quoted(column));
      if (rng_.Chance(60)) f.Prop("Origin", Quoted(rng_.Pick(kTables) + "." + column));
      if (cls == "TStringField") f.Prop("Size", rng_.Between(1, 120));
      if (cls == "TFloatField" || cls == "TCurrencyField") {
        f.Prop("DisplayFormat", "',0.00'");
        if (rng_.Chance(30)) f.Prop("MaxValue", std::to_string(rng_.Between(1, 99999)) + ".5");
      }
      if (cls == "TMemoField") f.Prop("BlobType", "ftMemo");
      if (rng_.Chance(15)) f.Prop("Required", "True");
      f.Close();
    }
  }

  void Panel(FormText& f, int level) {
    f.Open("object", Name("Panel"), "TPanel");
    f.Prop("Left", 0);
    f.Prop("Top", rng_.Between(0, 400));
    f.Prop("Width", rng_.Between(100, 900));
    f.Prop("Height", rng_.Between(30, 300));
    f.Prop("Align", rng_.Pick<std::string>({"alTop", "alBottom", "alClient", "alLeft"}));
    f.Prop("BevelOuter", "bvNone");
    f.Prop("TabOrder", level);
    const int controls = rng_.Between(2, 12);
    for (int i = 0; i < controls; ++i) {
      const int kind = rng_.Below(5);
      if (kind == 0) {
        f.Open("object", Name("Label"), "TLabel");
        f.Prop("Left", rng_.Between(0, 600));
        f.Prop("Top", rng_.Between(0, 300));
        f.Prop("Caption", Quoted(rng_.Pick(kCaptions)));
        if (rng_.Chance(30)) f.Prop("Font.Style", "[fsBold]");
      } else if (kind == 1) {
        f.Open("object", Name("Edit"), rng_.Chance(50) ? "TDBEdit" : "TEdit");
        f.Prop("Left", rng_.Between(0, 600));
        f.Prop("Top", rng_.Between(0, 300));
        f.Prop("Width", 121);
        f.Prop("Height", 21);
        f.Prop("Anchors", "[akLeft, akTop, akRight]");
        if (rng_.Chance(30)) f.Prop("Hint", "'First line'#13#10'second line'");
        f.Prop("TabOrder", i);
      } else if (kind == 2) {
        const std::string name = Name("Button");
        f.Open("object", name, "TButton");
        f.Prop("Left", rng_.Between(0, 600));
        f.Prop("Top", rng_.Between(0, 300));
        f.Prop("Width", 75);
        f.Prop("Height", 25);
        f.Prop("Caption", Quoted(rng_.Pick(kCaptions)));
        f.Prop("TabOrder", i);
        f.Prop("OnClick", name + "Click");
      } else if (kind == 3) {
        f.Open("object", Name("Combo"), "TComboBox");
        f.Prop("Left", rng_.Between(0, 600));
        f.Prop("Top", rng_.Between(0, 300));
        f.Prop("Style", "csDropDownList");
        f.Prop("ItemHeight", 13);
        f.Prop("TabOrder", i);
        std::vector<std::string> items;
        for (int j = rng_.Between(2, 12); j > 0; --j) items.push_back(rng_.Pick(kCaptions));
        f.Strings("Items.Strings", items);
      } else if (level < 3) {
        Panel(f, level + 1);
        continue;  // closed by the nested call
      } else {
        f.Open("object", Name("Check"), "TCheckBox");
        f.Prop("Left", rng_.Between(0, 600));
        f.Prop("Top", rng_.Between(0, 300));
        f.Prop("Checked", "True");
        f.Prop("State", "cbChecked");
      }
      f.Close();
    }
    f.Close();
  }

  void Grid(FormText& f) {
    f.Open("object", Name("Grid"), "TDBGrid");
    f.Prop("Left", 0);
    f.Prop("Top", 41);
    f.Prop("Width", 688);
    f.Prop("Height", 300);
    f.Prop("Align", "alClient");
    f.Prop("DataSource", "DataSource1");
    f.Prop("Options",
           "[dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs, dgRowSelect]");
    f.Prop("TitleFont.Style", "[]");
    std::vector<std::vector<std::pair<std::string, std::string>>> columns;
    for (int i = rng_.Between(2, 10); i > 0; --i)
      columns.push_back({{"Expanded", "False"},
                         {"FieldName", Quoted(rng_.Pick(kColumns))},
                         {"Title.Caption", Quoted(rng_.Pick(kCaptions))},
                         {"Width", std::to_string(rng_.Between(30, 200))},
                         {"Visible", "True"}});
    f.Collection("Columns", columns);
    f.Close();
  }

  // A TImage with a 24-bit bitmap: the stored picture is the class name, then the .bmp file.
  void Image(FormText& f) {
    const int w = rng_.Between(16, 160);
    const int h = rng_.Between(16, 160);
    const int row = (w * 3 + 3) / 4 * 4;
    const std::uint32_t pixels = static_cast<std::uint32_t>(row * h);
    std::string bmp = "\x07TBitmap";
    auto put32 = [&bmp](std::uint32_t v) {
      for (int i = 0; i < 4; ++i) bmp += static_cast<char>(v >> (8 * i));
    };
    bmp += "BM";
    put32(54 + pixels);
    put32(0);
    put32(54);
    put32(40);
    put32(static_cast<std::uint32_t>(w));
    put32(static_cast<std::uint32_t>(h));
    put32(0x180001);  // one plane, 24 bits
    put32(0);
    put32(pixels);
    put32(2835);
    put32(2835);
    put32(0);
    put32(0);
    for (std::uint32_t i = 0; i < pixels; ++i)
      bmp += static_cast<char>(rng_.Chance(70) ? (i * 7) & 0xFF : rng_.Byte());
    f.Open("object", Name("Image"), "TImage");
    f.Prop("Left", 8);
    f.Prop("Top", 8);
    f.Prop("Width", w);
    f.Prop("Height", h);
    f.Binary("Picture.Data", bmp);
    f.Close();
  }

  Rng rng_;
  int names_ = 0;
  int aliases_ = 1;
};

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
  FormGenerator gen(seed);
  Rng pick(seed ^ 0x9E3779B9u);
  Corpus corpus;
  int modules = 0, forms = 0;
  for (int i = 0; corpus.bytes < targetBytes; ++i) {
    const bool module = i == 0 || pick.Chance(30);
    const std::string name = module ? "DataMod" + std::to_string(modules) + ".dfm"
                                    : "Form" + std::to_string(forms) + ".dfm";
    Generated g = module ? gen.DataModule(modules++) : gen.Form(forms++);
    corpus.replaceable += g.replaceable;
    std::string bytes;
    const bool asText = i % 2 == 0;
    if (asText) {
      // Through the binary form, so the text is laid out exactly as the IDE writes it.
      rtl::TMemoryStream binary;
      rtl::ObjectTextToBinary(g.text, binary);
      binary.Seek(0);
      rtl::ObjectBinaryToText(binary, bytes);
    } else {
      migwiz::TRCData rc;
      rc.Name = rtl::UpperCase(module ? "TDataModule" + std::to_string(modules - 1)
                                      : "TForm" + std::to_string(forms - 1));
      bytes = migwiz::FormFileBytes(g.text, migwiz::TTextEncoding::Default, true, rc, name);
    }
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

// Offset of the component stream in a binary form file.
size_t StreamStart(const std::string& file) {
  size_t zero = file.find('\0', 3);
  return zero == std::string::npos ? file.size() : std::min(file.size(), zero + 7);
}

struct FpcResult {
  bool ok = false;
  double seconds = 0;
  std::int64_t input = 0;
  std::string error;
};

// Runs FormConvertLoop over the files; `mode` is "b2t" or "t2b".
FpcResult RunFpc(const bench::FpcProgram& fpc, const char* mode,
                 const std::vector<std::string>& files, int repetitions, const fs::path& dir) {
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
  const std::string cmd = bench::ShellQuote(fpc.Exe().string()) + " " + mode + " " +
                          bench::ShellQuote(list.string()) + " " + std::to_string(repetitions) +
                          " > " + bench::ShellQuote(out.string()) + " 2> " +
                          bench::ShellQuote(err.string());
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
    replacer->ProcessForm(form.Text, (outDir / fs::path(path).filename()).string(), form.Encoding,
                          form.Binary, form.RCData);
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

struct Conversions {
  double binaryToText = 0;
  double textToBinary = 0;
  std::int64_t streamBytes = 0;
  std::int64_t textBytes = 0;
};

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

// One conversion, ours beside Free Pascal's; `goal` is cleared unless ours is faster. False when
// the reference failed on the input.
bool Compare(const char* what, const char* function, double ours, const FpcResult& fpc,
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
      FpcResult readTexts = RunFpc(fpc, "t2b", outTexts, 1, dir);
      FpcResult readBinaries = RunFpc(fpc, "b2t", outBinaries, 1, dir);
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
    Conversions conv;
    for (int r = 0; r < repetitions; ++r) {
      Conversions c = ConvertAll(corpus.binaryForms, corpus.textForms);
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
      ok &=
          Compare("binary streams to text", "ObjectBinaryToText", conv.binaryToText,
                  RunFpc(fpc, "b2t", corpus.binaryForms, repetitions, dir), conv.streamBytes, goal);
      ok &= Compare("texts to binary streams", "ObjectTextToBinary", conv.textToBinary,
                    RunFpc(fpc, "t2b", corpus.textForms, repetitions, dir), conv.textBytes, goal);
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
