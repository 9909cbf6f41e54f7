#include "gen/ProjectGen.h"

#include <algorithm>

#include "MigWizard/Replacer.h"
#include "product/KyReplacer.h"
#include "rtl/FileIO.h"
#include "rtl/FormStreams.h"
#include "rtl/SysUtils.h"

namespace fs = std::filesystem;

namespace bench {

namespace {

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
  return q + "'";
}

// Form text as the IDE lays it out; the corpus is canonicalised through the binary form anyway.
class FormText {
 public:
  void Open(const std::string& keyword, const std::string& name, const std::string& cls) {
    // What an ancestor declares, the unit does not declare again.
    if (depth_ > 0 && keyword == "object") components_.emplace_back(name, cls);
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
  const std::vector<std::pair<std::string, std::string>>& Components() const { return components_; }

 private:
  static std::string Indent(int depth) { return std::string(2 * static_cast<size_t>(depth), ' '); }
  void Line(const std::string& s) { text_ += Indent(depth_) + s + "\r\n"; }

  std::string text_;
  int depth_ = 0;
  std::vector<std::pair<std::string, std::string>> components_;
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

}  // namespace

class TFormGenerator::Impl {
 public:
  explicit Impl(std::uint32_t seed) : rng_(seed) {}

  // Data module k holds the TDatabase with the alias DB_k.
  TGeneratedForm DataModule(int k) {
    FormText f;
    TGeneratedForm g;
    names_ = 0;
    const std::string dm = "DataModule" + std::to_string(k);
    f.Open("object", dm, "T" + dm);
    g.className = "T" + dm;
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
    g.components = f.Components();
    return g;
  }

  // A form with nested controls, perhaps a picture, and a few data sets; sometimes inherited.
  TGeneratedForm Form(int k) {
    FormText f;
    TGeneratedForm g;
    names_ = 0;
    const bool inherited = rng_.Chance(15);
    const std::string form = "Form" + std::to_string(k);
    f.Open(inherited ? "inherited" : "object", form, "T" + form);
    g.className = "T" + form;
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
    g.components = f.Components();
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

TFormGenerator::TFormGenerator(std::uint32_t seed) : impl_(std::make_unique<Impl>(seed)) {}
TFormGenerator::~TFormGenerator() = default;
TGeneratedForm TFormGenerator::DataModule(int k) {
  return impl_->DataModule(k);
}
TGeneratedForm TFormGenerator::Form(int k) {
  return impl_->Form(k);
}

std::string FormFileBytes(const TGeneratedForm& form, bool binary) {
  std::string bytes;
  if (binary) {
    migwiz::TRCData rc;
    rc.Name = rtl::UpperCase(form.className);
    return migwiz::FormFileBytes(form.text, migwiz::TTextEncoding::Default, true, rc,
                                 form.className + ".dfm");
  }
  // Through the binary form, so the text is laid out exactly as the IDE writes it.
  rtl::TMemoryStream stream;
  rtl::ObjectTextToBinary(form.text, stream);
  stream.Seek(0);
  rtl::ObjectBinaryToText(stream, bytes);
  return bytes;
}

namespace {

const std::vector<std::string> kUnitClasses = {
    "TQuery",        "TTable",       "TDatabase",     "TStoredProc", "TDataSource", "TStringList",
    "TUpdateSQL",    "TButton",      "TEdit",         "TwwQuery",    "TwwTable",    "TBatchMove",
    "TIntegerField", "TStringField", "TwwDataSource", "TList"};

const std::vector<std::string> kInterfaceUses = {
    "Windows", "Messages", "SysUtils", "Variants", "Classes", "Graphics", "Controls",
    "Forms",   "Dialogs",  "DB",       "Grids",    "DBGrids", "StdCtrls", "ExtCtrls"};

void AddStatement(Rng& rng, std::string& u) {
  switch (rng.Below(8)) {
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
    case 4:
      u += "  { a TTable would lock the whole file here; (* nested *) kept as a TQuery }\r\n";
      break;
    case 5:
      u += "  Caption := 'Search in TQuery results: ''' + Edit1.Text + '''';\r\n";
      break;
    case 6:
      u += "  with TStoredProc.Create(nil) do try Prepare; ExecProc; finally Free; end;\r\n";
      break;
    default:
      u += "  for I := 0 to Q.FieldCount - 1 do Total := Total + Q.Fields[I].AsFloat;\r\n";
  }
}

}  // namespace

std::string UnitSource(Rng& rng, const TUnitShape& shape) {
  const bool hasForm = !shape.formClass.empty();
  std::string u = "unit " + shape.name + ";\r\n\r\n";
  u += "{ " + shape.name + ": part of the order system. Data access goes through TQuery and " +
       "TTable of DBTables. }\r\n\r\ninterface\r\n\r\nuses\r\n  ";
  std::vector<std::string> uses;
  for (const std::string& unit : kInterfaceUses)
    if (hasForm || !rng.Chance(40)) uses.push_back(unit);
  uses.push_back(rng.Chance(20) ? "DBTABLES" : "DBTables");
  if (rng.Chance(30)) uses.push_back("DBCtrls");
  size_t column = 2;
  for (size_t i = 0; i < uses.size(); ++i) {
    if (i > 0) {
      u += column + uses[i].size() > 78 ? ",\r\n  " : ", ";
      column = column + uses[i].size() > 78 ? 2 : column + 2;
    }
    u += uses[i];
    column += uses[i].size();
  }
  u += ";\r\n\r\n";

  u += "type\r\n";
  std::string self;
  if (hasForm) {
    self = shape.formClass;
    u += "  " + self + " = class(" + shape.ancestor + ")\r\n";
    for (const auto& [name, cls] : shape.components) u += "    " + name + ": " + cls + ";\r\n";
    u += "    procedure FormCreate(Sender: TObject);\r\n";
  } else {
    self = "T" + shape.name + "Helper";
    u += "  " + self + " = class(TObject)\r\n";
  }
  u += "  private\r\n";
  for (int i = rng.Between(1, 6); i > 0; --i)
    u += "    F" + std::to_string(i) + ": " + rng.Pick(kUnitClasses) + ";\r\n";
  u += "  public\r\n    function Lookup(const Key: string): " + rng.Pick(kUnitClasses) +
       ";\r\n  end;\r\n\r\n";
  if (hasForm) u += "var\r\n  " + shape.formClass.substr(1) + ": " + shape.formClass + ";\r\n\r\n";
  u += "implementation\r\n\r\n";
  if (!shape.uses.empty()) {
    u += "uses ";
    for (size_t i = 0; i < shape.uses.size(); ++i) u += (i ? ", " : "") + shape.uses[i];
    u += ";\r\n\r\n";
  }
  if (hasForm) u += rng.Chance(85) ? "{$R *.dfm}\r\n\r\n" : "{$R *.DFM}\r\n\r\n";
  u += "function " + self +
       ".Lookup(const Key: string): TDataSet;\r\nbegin\r\n  Result := nil;\r\nend;\r\n\r\n";
  int proc = 0;
  while (u.size() < shape.targetSize) {
    u += "procedure " + self + ".Handler" + std::to_string(proc++) +
         "(Sender: TObject);\r\nvar\r\n  Q: " + rng.Pick(kUnitClasses) +
         ";\r\n  I: Integer;\r\nbegin\r\n";
    for (int line = rng.Between(4, 14); line > 0; --line) AddStatement(rng, u);
    u += "end;\r\n\r\n";
  }
  u += "end.\r\n";
  return u;
}

TProjectStats GenerateProject(const fs::path& root, std::int64_t targetBytes, std::uint32_t seed) {
  TProjectStats stats;
  TFormGenerator forms(seed);
  Rng rng(seed ^ 0x9E3779B9u);
  struct TEntry {
    std::string unit, relPath, form;
  };
  std::vector<TEntry> entries;
  int modules = 0, formCount = 0, plain = 0, formFiles = 0;
  auto write = [&stats](const fs::path& path, const std::string& bytes) {
    rtl::WriteFileBytes(path.string(), bytes);
    stats.bytes += static_cast<std::int64_t>(bytes.size());
    stats.largestFile = std::max(stats.largestFile, static_cast<std::int64_t>(bytes.size()));
  };
  for (int i = 0; stats.bytes < targetBytes; ++i) {
    const std::string group = (i / 40 < 10 ? "Group0" : "Group") + std::to_string(i / 40);
    if (i % 40 == 0) {
      fs::create_directories(root / group);
      ++stats.folders;
    }
    TUnitShape shape;
    TGeneratedForm form;
    const int kind = i == 0 ? 0 : rng.Below(100);
    if (kind < 12) {
      form = forms.DataModule(modules);
      shape.name = "DataMod" + std::to_string(modules++);
      shape.ancestor = "TDataModule";
    } else if (kind < 70) {
      form = forms.Form(formCount);
      shape.name = "Form" + std::to_string(formCount++);
      // An inherited form's ancestor lives in a package outside the project.
      if (form.text.compare(0, 9, "inherited") == 0) shape.ancestor = "TBaseForm";
    } else {
      shape.name = "Utils" + std::to_string(plain++);
    }
    shape.formClass = form.className;
    shape.components = form.components;
    shape.targetSize = static_cast<size_t>(rng.Between(6000, 40000));
    for (int n = rng.Between(0, 3); n > 0 && !entries.empty(); --n)
      shape.uses.push_back(
          entries[static_cast<size_t>(rng.Below(static_cast<int>(entries.size())))].unit);
    if (modules > 0 && shape.name != "DataMod0") shape.uses.push_back("DataMod0");
    std::sort(shape.uses.begin(), shape.uses.end());
    shape.uses.erase(std::unique(shape.uses.begin(), shape.uses.end()), shape.uses.end());

    const fs::path unitPath = root / group / (shape.name + ".pas");
    write(unitPath, UnitSource(rng, shape));
    stats.units.push_back(unitPath.string());
    if (!form.className.empty()) {
      const bool binary = formFiles++ % 2 == 1;
      const fs::path formPath = root / group / (shape.name + ".dfm");
      write(formPath, FormFileBytes(form, binary));
      (binary ? stats.binaryForms : stats.textForms).push_back(formPath.string());
      stats.replaceable += form.replaceable;
    }
    entries.push_back({shape.name, group + "\\" + shape.name + ".pas",
                       form.className.empty() ? std::string() : form.className.substr(1)});
  }

  std::string dpr = "program Project;\r\n\r\nuses\r\n  Forms,\r\n  DBTables";
  for (const TEntry& e : entries) {
    dpr += ",\r\n  " + e.unit + " in '" + e.relPath + "'";
    if (!e.form.empty()) dpr += " {" + e.form + "}";
  }
  dpr += ";\r\n\r\n{$R *.res}\r\n\r\nbegin\r\n  Application.Initialize;\r\n";
  for (const TEntry& e : entries)
    if (e.unit.compare(0, 7, "DataMod") == 0)
      dpr += "  Application.CreateForm(T" + e.form + ", " + e.form + ");\r\n";
  dpr += "  Application.Run;\r\nend.\r\n";
  stats.projectFile = (root / "Project.dpr").string();
  write(stats.projectFile, dpr);
  return stats;
}

}  // namespace bench
