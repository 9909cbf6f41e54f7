#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "MigWizard/Replacer.h"
#include "product/KyReplacer.h"
#include "rtl/Encoding.h"
#include "rtl/FileIO.h"
#include "rtl/FormStreams.h"
#include "support/FileWork.h"
#include "support/FormOracle.h"
#include "support/TestUtil.h"

using migwiz::TComponentReplacer;
using migwiz::TReplaceOptions;
using testutil::ReadFile;
using testutil::WriteFile;

namespace {

std::string Crlf(std::initializer_list<const char*> lines) {
  std::string s;
  for (const char* l : lines) s += std::string(l) + "\r\n";
  return s;
}

// A form of tests/data/forms/rewrite: a main form with a query, the data modules with the
// databases, and a descendant form with what it should become.
std::string Form(const std::string& name) {
  return testutil::DataFile("forms/rewrite/" + name);
}

class FormRewrite : public ::testing::Test {
 protected:
  FormRewrite() : options("BDE"), replacer(ky::CreateReplacer(&options)) {}
  void SetUp() override { replacer->Log.Open(dir / "log.txt"); }

  // Rewrites a form file; returns the output file's bytes ("" when none was written).
  std::string Rewrite(const std::string& path) {
    rtl::TFileStream in(path, rtl::TFileStream::Mode::OpenRead);
    migwiz::TFormSource form = migwiz::ReadForm(in, path);
    std::string out = dir / "out.dfm";
    std::remove(out.c_str());
    testutil::ProcessForm(*replacer, form.Text, out, form.Encoding, form.Binary, form.RCData, path);
    return testutil::Exists(out) ? ReadFile(out) : std::string();
  }

  std::string RewriteText(const std::string& text) {
    WriteFile(dir / "Form.dfm", text);
    return Rewrite(dir / "Form.dfm");
  }

  std::string LogText() {
    replacer->Log.Close();
    return ReadFile(dir / "log.txt");
  }

  testutil::TempDir dir;
  TReplaceOptions options;
  std::unique_ptr<TComponentReplacer> replacer;
};

// The binary form file of a text, as the IDE stores it.
std::string BinaryForm(const std::string& text, const std::string& name) {
  return migwiz::FormFileBytes(text, migwiz::TTextEncoding::Default, true, {name, 0});
}

}  // namespace

TEST_F(FormRewrite, RebuiltObjectIsSplicedBetweenUntouchedText) {
  std::string out = RewriteText(Form("MainForm.dfm"));
  EXPECT_EQ(out, Crlf({
                     "object MainForm: TMainForm",
                     "  Left = 200",
                     "  Caption = 'Orders'",
                     "  object Panel1: TPanel",
                     "    Left = 0",
                     "    object Query1: TKyQuery",
                     "      SQL.Strings = (",
                     // the value's own lines keep their indentation behind the property's
                     "                'select *'",
                     "                'from ORDERS')",
                     "      Left = 8",
                     "      Top = 16",
                     "      object Query1ID: TIntegerField",
                     "        FieldName = 'ID'",
                     "      end",
                     "    end",
                     "    object Edit1: TEdit",
                     "      Text = 'TQuery'",
                     "    end",
                     "  end",
                     "end",
                 }));
  EXPECT_EQ(replacer->ChangedCount, 1);
  EXPECT_NE(LogText().find("1 change(s)"), std::string::npos);
  // What comes out is still a form the reader takes.
  rtl::TMemoryStream bin;
  EXPECT_NO_THROW(rtl::ObjectTextToBinary(out, bin));
}

// A damaged object of a class the run converts is an error of its form, also after an object
// that was rebuilt: no output, rather than a form in which one object keeps its old properties
// under the new class.
TEST_F(FormRewrite, AnObjectTheParserRejectsIsAnErrorOfItsForm) {
  const std::string form = Crlf({"object F: TForm", "  object Ok: TQuery", "  end",
                                 "  object Panel: TPanel", "    object Q: TTable",
                                 "      Left = = 8", "    end", "  end", "end"});
  try {
    RewriteText(form);
    FAIL() << "the form was converted";
  } catch (const rtl::EConvertError& e) {
    EXPECT_EQ(std::string(e.what()), "Form \"" + dir / "Form.dfm" +
                                         "\": object Q: TTable at line 5 is not valid form text "
                                         "and cannot be converted");
  }
  EXPECT_FALSE(testutil::Exists(dir / "out.dfm"));
  EXPECT_EQ(replacer->ChangedCount, 0);
  // A class name anywhere else is no object.
  EXPECT_EQ(RewriteText(Crlf({"object F: TForm", "  Caption = 'TQuery'", "end"})), "");
  EXPECT_NE(LogText().find("No changes"), std::string::npos);
}

TEST_F(FormRewrite, BinaryFormsComeBackBinaryWithTheirHeader) {
  WriteFile(dir / "Main.dfm", BinaryForm(Form("MainForm.dfm"), "TMAINFORM"));
  std::string out = Rewrite(dir / "Main.dfm");
  ASSERT_GE(out.size(), 20u);
  EXPECT_EQ(out.substr(0, 3), std::string("\xFF\x0A\x00", 3));
  EXPECT_EQ(out.substr(3, 10), std::string("TMAINFORM\0", 10));
  EXPECT_EQ(out.substr(13, 2), "\x30\x10");
  std::uint32_t size = static_cast<unsigned char>(out[15]) |
                       static_cast<unsigned char>(out[16]) << 8 |
                       static_cast<unsigned char>(out[17]) << 16 |
                       static_cast<std::uint32_t>(static_cast<unsigned char>(out[18])) << 24;
  EXPECT_EQ(size, out.size() - 19);
  EXPECT_EQ(out.substr(19, 4), "TPF0");
  EXPECT_NE(migwiz::ConvertFormToText(dir / "out.dfm").find("object Query1: TKyQuery"),
            std::string::npos);
}

TEST_F(FormRewrite, AliasesOfScannedFormsBecomeConnections) {
  WriteFile(dir / "Data.dfm", BinaryForm(Form("DataModule1.dfm"), "TDATAMODULE1"));
  replacer->ScanDatabaseAliases(dir / "Data.dfm");
  ASSERT_EQ(replacer->DatabaseAliases.Count(), 1);  // the lower-case class is not scanned
  EXPECT_EQ(replacer->DatabaseAliases[0], "Sales=DataModule1.Database1");
  std::string out = RewriteText(Form("MainForm.dfm"));
  EXPECT_NE(out.find("    object Query1: TKyQuery\r\n      Connection = DataModule1.Database1\r\n"
                     "      SQL.Strings"),
            std::string::npos)
      << out;

  // The data module itself: the connection carries what the product publishes.
  std::string data = Rewrite(dir / "Data.dfm");
  std::string text = migwiz::ConvertFormToText(dir / "out.dfm");
  EXPECT_NE(text.find("object Database1: TKyConnection\r\n    Username = 'SYSDBA'\r\n"
                      "    IsolationLevel = ilReadCommitted\r\n  end"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("object Other: TKyConnection"), std::string::npos) << text;
}

// A descendant data module (DataModule2.dfm): what it inherits defines no alias already known.
TEST_F(FormRewrite, DescendantFormsConvertTheirInheritedIndexedAndUnnamedObjects) {
  WriteFile(dir / "Data.dfm", Form("DataModule1.dfm"));
  WriteFile(dir / "Child.dfm", BinaryForm(Form("DataModule2.dfm"), "TDATAMODULE2"));
  replacer->ScanDatabaseAliases(dir / "Data.dfm");
  replacer->ScanDatabaseAliases(dir / "Child.dfm");
  EXPECT_EQ(replacer->DatabaseAliases.Text(),
            "Sales=DataModule1.Database1\r\nFrame=DataModule2.FrameDb\r\n"
            "Archive=DataModule2.Archive\r\n");

  // Text: every object whose class is in the table, whatever its keyword, header or depth.
  const std::string text = RewriteText(Form("OrdersChild.dfm"));
  EXPECT_EQ(text, Form("OrdersChild.converted.dfm"));
  rtl::TMemoryStream check;
  EXPECT_NO_THROW(rtl::ObjectTextToBinary(text, check));

  // Binary: the same objects come back binary, flags and order indexes included.
  WriteFile(dir / "ChildForm.dfm", BinaryForm(Form("OrdersChild.dfm"), "TORDERSCHILD"));
  const std::string binary = Rewrite(dir / "ChildForm.dfm");
  EXPECT_EQ(binary, BinaryForm(Form("OrdersChild.converted.dfm"), "TORDERSCHILD"));
  const std::string back = migwiz::ConvertFormToText(dir / "out.dfm");
  for (const char* header :
       {"inherited BaseQuery: TKyQuery\r\n", "inherited BaseTable: TKyTable\r\n",
        "object OrdersTable: TKyTable [2]\r\n", "object TKyQuery\r\n",
        "inherited FrameQuery: TKyQuery\r\n"})
    EXPECT_NE(back.find(header), std::string::npos) << header << back;
  EXPECT_EQ(replacer->ChangedCount, 2);
  EXPECT_NE(LogText().find("5 change(s)\r\n\r\n5 change(s)"), std::string::npos);

  // The Free Pascal runtime's reader takes the rewritten text as the tree of our binary.
  using testutil::ShellQuote;
  const std::string oracle = testutil::FormOracle().exe;
  ASSERT_EQ(testutil::FormOracle().error, "");
  if (oracle.empty()) GTEST_SKIP() << "fpc not installed";
  WriteFile(dir / "converted.txt", text);
  WriteFile(dir / "ours.bin", binary.substr(std::min(binary.size(), binary.find("TPF0"))));
  ASSERT_EQ(testutil::RunShell(ShellQuote(oracle) + " t2b " + ShellQuote(dir / "converted.txt") +
                               " " + ShellQuote(dir / "fpc.bin"))
                .exitCode,
            0);
  const testutil::ShellResult ours =
      testutil::RunShell(ShellQuote(oracle) + " tree " + ShellQuote(dir / "ours.bin"));
  const testutil::ShellResult theirs =
      testutil::RunShell(ShellQuote(oracle) + " tree " + ShellQuote(dir / "fpc.bin"));
  ASSERT_EQ(ours.exitCode, 0) << ours.output;
  EXPECT_EQ(ours.output, theirs.output);
  EXPECT_NE(ours.output.find("TKyTable"), std::string::npos) << ours.output;
}

TEST_F(FormRewrite, TextFormsKeepTheirEncoding) {
  std::string utf8 =
      "object F: TForm\r\n  Caption = 'Заказы 订单'\r\n  object Q: TQuery\r\n"
      "    Left = 1\r\n  end\r\nend\r\n";
  std::string out = RewriteText("\xEF\xBB\xBF" + utf8);
  EXPECT_EQ(out.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(out.find("Caption = 'Заказы 订单'\r\n  object Q: TKyQuery"), std::string::npos);

  out = RewriteText("\xFF\xFE" + rtl::Utf8ToUtf16Le(utf8));
  ASSERT_EQ(out.substr(0, 2), "\xFF\xFE");
  EXPECT_NE(rtl::Utf16LeToUtf8(out.substr(2)).find("'Заказы 订单'\r\n  object Q: TKyQuery"),
            std::string::npos);
}

TEST_F(FormRewrite, DamagedFormsAreErrorsNamingTheFile) {
  auto readError = [&](const std::string& bytes) -> std::string {
    WriteFile(dir / "Bad.dfm", bytes);
    rtl::TFileStream in(dir / "Bad.dfm", rtl::TFileStream::Mode::OpenRead);
    try {
      migwiz::ReadForm(in, dir / "Bad.dfm");
    } catch (const rtl::Exception& e) {
      return e.Message();
    }
    return "no error";
  };
  std::string binary = BinaryForm(Form("MainForm.dfm"), "TMAINFORM");
  for (const std::string& bytes :
       {std::string("object F: TForm\r\n  Caption = 'a\0b'\r\nend\r\n", 40),  // zero byte
        std::string("\xFF\x0A\x00TMAIN", 8),                                  // name never ends
        binary.substr(0, 16),                                                 // size cut
        binary.substr(0, binary.size() - 5)}) {                               // stream cut
    std::string message = readError(bytes);
    EXPECT_NE(message.find("Bad.dfm"), std::string::npos) << message;
  }
}

TEST_F(FormRewrite, ExampleFormsConvertToValidForms) {
  std::string root = testutil::SourcePath("examples/Orders/");
  for (const char* name : {"Main.dfm", "DataMod.dfm"}) {
    ASSERT_TRUE(testutil::Exists(root + name)) << name;
    replacer->ScanDatabaseAliases(root + name);
  }
  for (const char* name : {"DataMod.dfm", "Main.dfm", "Archive/Archive.dfm"}) {
    std::string out = Rewrite(root + name);
    ASSERT_FALSE(out.empty()) << name;
    std::string text = migwiz::ConvertFormToText(dir / "out.dfm");
    rtl::TMemoryStream bin;
    EXPECT_NO_THROW(rtl::ObjectTextToBinary(text, bin)) << name;
    for (const auto& r : ky::kReplacements)
      EXPECT_EQ(text.find(std::string(": ") + r.OldClass + "\r\n"), std::string::npos)
          << name << " still holds " << r.OldClass;
  }
}

// Singles, currency and dates, in a text form and in a binary one, go through a replace run: the
// text keeps the values as written, the binary the same value types and bytes.
TEST(FormRun, NumbersWithATypeSuffixKeepTheirValues) {
  testutil::TempDir dir;
  const std::string tmp = dir / "tmp", src = dir / "src";
  std::filesystem::create_directories(tmp);
  testutil::ScopedEnv env(testutil::kTempVar, tmp);
  TReplaceOptions options("BDE");
  options.Dest = TReplaceOptions::kDestFolder;
  options.Directory = src;
  options.BackupDir = src + "/RBackup";
  const std::unique_ptr<TComponentReplacer> replacer = ky::CreateReplacer(&options);
  const char* unit =
      "unit %s;\r\ninterface\r\nuses DBTables;\r\nvar Q: TQuery;\r\n{$R *.dfm}\r\nend.\r\n";
  for (const char* name : {"T", "B"}) {
    std::string text = unit;
    text.replace(text.find("%s"), 2, name);
    WriteFile(src + "/" + name + ".pas", text);
  }
  const std::string textForm = Form("TypedParams.dfm");
  WriteFile(src + "/T.dfm", textForm);

  // The binary stream of object F: TF holding object Q: TQuery with a date, a currency and a
  // single parameter, each of its own value type.
  auto str = [](const std::string& s) { return static_cast<char>(s.size()) + s; };
  auto bytes = [](std::initializer_list<int> list) {
    std::string out;
    for (int b : list) out += static_cast<char>(b);
    return out;
  };
  const std::string date = bytes({17, 0xA6, 0xAA, 0xAA, 0xAA, 0xDE, 0x71, 0xE2, 0x40});
  const std::string currency = bytes({16, 0x48, 0xE8, 0x01, 0, 0, 0, 0, 0});
  const std::string single = bytes({15, 0, 0, 0xC0, 0xBF});
  auto item = [&](const std::string& type, const std::string& name, const std::string& value) {
    return bytes({1}) + str("DataType") + bytes({7}) + str(type) + str("Name") + bytes({6}) +
           str(name) + str("Value") + value + bytes({0});
  };
  auto stream = [&](const std::string& queryClass) {
    return "TPF0" + str("TF") + str("F") + bytes({0}) + str(queryClass) + str("Q") +
           str("ParamData") + bytes({14}) + item("ftDateTime", "D", date) +
           item("ftCurrency", "C", currency) + item("ftSingle", "S", single) + bytes({0}) +
           str("Left") + bytes({2, 8}) + bytes({0, 0, 0});
  };
  auto resource = [&](const std::string& body) {
    const auto size = static_cast<std::uint32_t>(body.size());
    return bytes({0xFF, 0x0A, 0x00}) + std::string("TF\0", 3) + bytes({0x30, 0x10}) +
           bytes({static_cast<int>(size & 0xFF), static_cast<int>(size >> 8 & 0xFF),
                  static_cast<int>(size >> 16 & 0xFF), static_cast<int>(size >> 24)}) +
           body;
  };
  WriteFile(src + "/B.dfm", resource(stream("TQuery")));

  ASSERT_TRUE(replacer->Execute());

  const std::string text = ReadFile(src + "/T.dfm");
  EXPECT_NE(text.find("object Query1: TKyQuery\r\n"), std::string::npos) << text;
  for (const char* value : {"37774.9583333333d", "37774d", "12.5c", "-1.5s", "1.5E3d"})
    EXPECT_NE(text.find(std::string(" Value = ") + value + "\r\n"), std::string::npos)
        << value << "\n"
        << text;
  EXPECT_EQ(ReadFile(src + "/B.dfm"), resource(stream("TKyQuery")));
  // As text, the binary form holds the values as the IDE writes them.
  const std::string binaryText = migwiz::ConvertFormToText(src + "/B.dfm");
  for (const char* value : {"37774.9583333333d", "125000c", "-1.5s"})
    EXPECT_NE(binaryText.find(std::string(" Value = ") + value + "\r\n"), std::string::npos)
        << value << "\n"
        << binaryText;
}
