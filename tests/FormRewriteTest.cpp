#include <gtest/gtest.h>

#include "MigWizard/Replacer.h"
#include "product/KyReplacer.h"
#include "rtl/Encoding.h"
#include "rtl/FileIO.h"
#include "rtl/FormStreams.h"
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

const std::string kMainForm = Crlf({
    "object MainForm: TMainForm",
    "  Left = 200",
    "  Caption = 'Orders'",
    "  object Panel1: TPanel",
    "    Left = 0",
    "    object Query1: TQuery",
    "      DatabaseName = 'Sales'",
    "      RequestLive = True",
    "      SQL.Strings = (",
    "        'select *'",
    "        'from ORDERS')",
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
});

const std::string kDataModule = Crlf({
    "object DataModule1: TDataModule1",
    "  object Database1: TDatabase",
    "    AliasName = 'SALESDB'",
    "    DatabaseName = 'Sales'",
    "    Params.Strings = (",
    "      'USER NAME=SYSDBA')",
    "    TransIsolation = tiReadCommitted",
    "  end",
    "  object Other: tdatabase",
    "    DatabaseName = 'Lower'",
    "  end",
    "end",
});

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
    replacer->ProcessForm(form.Text, out, form.Encoding, form.Binary, form.RCData);
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
  std::string out = RewriteText(kMainForm);
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

TEST_F(FormRewrite, AnObjectTheParserRejectsLeavesNoOutput) {
  EXPECT_EQ(RewriteText(
                Crlf({"object F: TForm", "  object Q: TQuery", "    Left = = 8", "  end", "end"})),
            "");
  EXPECT_EQ(RewriteText(Crlf({"object F: TForm", "  Caption = 'TQuery'", "end"})), "");
  EXPECT_EQ(replacer->ChangedCount, 0);
  std::string log = LogText();
  EXPECT_NE(log.find("No changes\r\n\r\nNo changes"), std::string::npos) << log;
}

TEST_F(FormRewrite, BinaryFormsComeBackBinaryWithTheirHeader) {
  WriteFile(dir / "Main.dfm", BinaryForm(kMainForm, "TMAINFORM"));
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
  WriteFile(dir / "Data.dfm", BinaryForm(kDataModule, "TDATAMODULE1"));
  replacer->ScanDatabaseAliases(dir / "Data.dfm");
  ASSERT_EQ(replacer->DatabaseAliases.Count(), 1);  // the lower-case class is not scanned
  EXPECT_EQ(replacer->DatabaseAliases[0], "Sales=DataModule1.Database1");
  std::string out = RewriteText(kMainForm);
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

TEST_F(FormRewrite, InheritedAndInlineComponentsStayAsTheyAre) {
  std::string form =
      Crlf({"inherited Child: TChild", "  inherited Query1: TQuery", "    SQL.Strings = (",
            "      'x')", "  end", "  inline Frame1: TFrame1", "    inherited Table1: TTable",
            "      TableName = 'T'", "    end", "  end", "end"});
  EXPECT_EQ(RewriteText(form), "");
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
  std::string binary = BinaryForm(kMainForm, "TMAINFORM");
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
    if (!testutil::Exists(root + name)) GTEST_SKIP() << name << " not in the example yet";
    replacer->ScanDatabaseAliases(root + name);
  }
  for (const char* name : {"DataMod.dfm", "Main.dfm"}) {
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
