// The product's form object conversion, with the real product classes registered.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "product/KyClasses.h"
#include "product/KyFormParser.h"
#include "rtl/ClassRegistry.h"
#include "rtl/Classes.h"

namespace {

using Props = std::vector<std::pair<std::string, std::string>>;

// CR LF as the form files have them.
std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

class KyFormParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ky::RegisterKyClasses();
    parser = ky::KyFormParserClass()();
    parser->OnDatabaseName = [this](const std::string& propName, const std::string& value,
                                    std::string& newValue) {
      asked.push_back(propName + ":" + value);
      if (value == "Sales") newValue = "DataModule1.Database1";
    };
  }

  // Parses one object for the new class; the converted properties, value lines joined by LF.
  Props Convert(const std::string& newClass, const std::string& text) {
    parser->SetNewClassName(newClass);
    int pos = 1;
    EXPECT_TRUE(parser->Parse(text, "<object>", pos)) << text;
    EXPECT_EQ(pos, static_cast<int>(text.size()) + 1);
    Props props;
    for (int i = 0; i < parser->Properties.Count(); ++i) {
      auto* lines = static_cast<rtl::TStringList*>(parser->Properties.Objects(i));
      std::string value;
      for (int j = 0; j < lines->Count(); ++j) value += (j ? "\n" : "") + (*lines)[j];
      props.emplace_back(parser->Properties[i], value);
    }
    return props;
  }

  static std::string Database(std::initializer_list<const char*> props) {
    std::string text = "object Database1: TDatabase\r\n";
    for (const char* p : props) text += std::string("  ") + p + "\r\n";
    return text + "end\r\n";
  }

  std::unique_ptr<migwiz::TFormParser> parser;
  std::vector<std::string> asked;
};

const char* const kParams =
    "Params.Strings = (\r\n"
    "    'DATABASE NAME=C:\\Data\\Sales.gdb'\r\n"
    "    'USER NAME=SYSDBA'\r\n"
    "    'PASSWORD=masterkey'\r\n"
    "    'SERVER NAME=srv1'\r\n"
    "    'SQLPASSTHRU MODE=SHARED AUTOCOMMIT')";

TEST_F(KyFormParserTest, DatabaseBecomesConnectionPropertyByProperty) {
  Props props =
      Convert("TKyConnection", Database({"AliasName = 'SalesAlias'", "DatabaseName = 'Sales'",
                                         kParams, "SessionName = 'Default'",
                                         "TransIsolation = tiDirtyRead", "Left = 16", "Top = 24"}));
  Props expected = {{"Database", "'C:\\Data\\Sales.gdb'"},
                    {"Username", "'SYSDBA'"},
                    {"Password", "'masterkey'"},
                    {"Server", "'srv1'"},
                    {"IsolationLevel", "ilReadUnCommitted"},
                    {"Left", "16"},
                    {"Top", "24"}};
  EXPECT_EQ(props, expected);
  EXPECT_TRUE(asked.empty());  // a TDatabase's own alias is not a connection to resolve
}

TEST_F(KyFormParserTest, TransIsolationMapsOnlyKnownValues) {
  const std::pair<const char*, const char*> mapped[] = {
      {"tiDirtyRead", "ilReadUnCommitted"},
      {"tiReadCommitted", "ilReadCommitted"},
      {"tiRepeatableRead", "ilRepeatableRead"},
  };
  for (auto [in, out] : mapped) {
    // Last property of the object: the parser tries it twice at the end of the list, and it
    // must still come out once.
    Props props =
        Convert("TKyConnection",
                Database({"Connected = True", (std::string("TransIsolation = ") + in).c_str()}));
    Props expected = {{"Connected", "True"}, {"IsolationLevel", out}};
    EXPECT_EQ(props, expected) << in;
  }
  for (const char* odd : {"tiSerializable", "tidirtyread", "ilReadCommitted"}) {
    std::string prop = std::string("TransIsolation = ") + odd;
    EXPECT_EQ(Convert("TKyConnection", Database({prop.c_str(), "Left = 1"})),
              (Props{{"Left", "1"}}))
        << odd;
    // Not even under a class that knows nothing of TransIsolation's values.
    EXPECT_EQ(Convert("TNotRegistered", Database({prop.c_str()})), Props{}) << odd;
  }
}

TEST_F(KyFormParserTest, DatabaseNameParameter) {
  // Parameter names are matched without regard to case; doubled quotes stay doubled.
  Props props = Convert("TKyConnection",
                        Database({"Params.Strings = (\r\n    'Database Name=O''Brien.gdb')"}));
  EXPECT_EQ(props, (Props{{"Database", "'O''Brien.gdb'"}}));

  // The form writer breaks long strings with "+"; the name is read whole, not cut at the break.
  props = Convert("TKyConnection",
                  Database({"Params.Strings = (\r\n"
                            "    'DATABASE NAME=\\\\files01\\data\\accounting\\2006\\sales_' +\r\n"
                            "      'orders.gdb'\r\n"
                            "    'Database Name=ignored, the first one counts'\r\n"
                            "    'USER NAME=SYSDBA')"}));
  EXPECT_EQ(props, (Props{{"Database", "'\\\\files01\\data\\accounting\\2006\\sales_orders.gdb'"},
                          {"Username", "'SYSDBA'"}}));
  props = Convert("TKyConnection",
                  Database({"Params.Strings = (\r\n    'DATABASE NAME=a'#9'b''c'#39)"}));
  EXPECT_EQ(props, (Props{{"Database", "'a'#9'b''c'''"}}));

  // Only the Database and the last list property: nothing emitted twice.
  props = Convert("TKyConnection", Database({"Left = 1", kParams}));
  ASSERT_EQ(props.size(), 5u);
  EXPECT_EQ(props[1].first, "Database");
  EXPECT_EQ(props[4].first, "Server");

  // Empty or missing: no Database, and the list itself never survives.
  EXPECT_EQ(Convert("TKyConnection", Database({"Params.Strings = (\r\n    'DATABASE NAME=')"})),
            Props{});
  EXPECT_EQ(Convert("TKyConnection",
                    Database({"Params.Strings = (\r\n    'SQLQRYMODE=SERVER'\r\n    'x')"})),
            Props{});

  // The rules belong to a TDatabase as written; other objects go by the published properties.
  rtl::RegisterClass(rtl::TClassInfo("TTestWithParams", {"Params", "TransIsolation"}));
  props = Convert("TTestWithParams", "object Other1: TOther\r\n  " + std::string(kParams) +
                                         "\r\n  TransIsolation = tiDirtyRead\r\nend\r\n");
  rtl::UnRegisterClass("TTestWithParams");
  ASSERT_EQ(props.size(), 2u);
  EXPECT_EQ(props[0].first, "Params.Strings");
  EXPECT_EQ(props[1], (std::pair<std::string, std::string>("TransIsolation", "tiDirtyRead")));
}

TEST_F(KyFormParserTest, QueryKeepsWhatTheProductQueryPublishes) {
  std::string text = Lines({
      "object Query1: TQuery",
      "  AfterOpen = Query1AfterOpen",
      "  DatabaseName = 'Sales'",
      "  DataSource = DataSource1",
      "  Filter = 'ID > 0'",
      "  RequestLive = True",
      "  SessionName = 'Default'",
      "  Constrained = True",
      "  SQL.Strings = (",
      "    'select * from ORDERS'",
      "    'where ID = :ID')",
      "  UpdateMode = upWhereKeyOnly",
      "  Params = <>",
      "  ParamData = <",
      "    item",
      "      DataType = ftInteger",
      "      Name = 'ID'",
      "      ParamType = ptInput",
      "      Value = 7",
      "    end>",
      "  Left = 8",
      "  Top = 40",
      "  object Query1ID: TIntegerField",
      "    FieldName = 'ID'",
      "  end",
      "end",
  });
  Props props = Convert("TKyQuery", text);
  std::vector<std::string> names;
  for (const auto& p : props) names.push_back(p.first);
  EXPECT_EQ(names, (std::vector<std::string>{"AfterOpen", "Connection", "MasterSource", "Filter",
                                             "SQL.Strings", "Params", "ParamData", "Left", "Top"}));
  EXPECT_EQ(props[1].second, "DataModule1.Database1");
  EXPECT_EQ(props[2].second, "DataSource1");
  EXPECT_EQ(props[4].second, "(\n    'select * from ORDERS'\n    'where ID = :ID')");
  EXPECT_EQ(asked, (std::vector<std::string>{"DatabaseName:Sales"}));
  ASSERT_EQ(parser->NestedObjects.Count(), 1);

  // An alias no TDatabase defines leaves no connection behind.
  props = Convert("TKyQuery", Lines({"object Query2: TQuery", "  DatabaseName = 'Elsewhere'",
                                     "  Left = 8", "end"}));
  EXPECT_EQ(props, (Props{{"Left", "8"}}));
  parser->OnDatabaseName = nullptr;
  props = Convert("TKyQuery", Lines({"object Query3: TQuery", "  DatabaseName = 'Sales'", "end"}));
  EXPECT_EQ(props, Props{});
}

TEST_F(KyFormParserTest, TableAndUpdateSQL) {
  Props props = Convert("TKyTable", Lines({
                                        "object Table1: TTable",
                                        "  DatabaseName = 'Sales'",
                                        "  Exclusive = True",
                                        "  IndexFieldNames = 'ID'",
                                        "  MasterFields = 'CUSTOMER'",
                                        "  MasterSource = DataSource1",
                                        "  StoreDefs = True",
                                        "  TableName = 'ORDERS'",
                                        "  TableType = ttParadox",
                                        "  UpdateMode = upWhereChanged",
                                        "  Left = 8",
                                        "  Top = 8",
                                        "end",
                                    }));
  Props expected = {{"Connection", "DataModule1.Database1"},
                    {"IndexFieldNames", "'ID'"},
                    {"MasterFields", "'CUSTOMER'"},
                    {"MasterSource", "DataSource1"},
                    {"TableName", "'ORDERS'"},
                    {"Left", "8"},
                    {"Top", "8"}};
  EXPECT_EQ(props, expected);

  props = Convert("TKyUpdateSQL", Lines({
                                      "object UpdateSQL1: TUpdateSQL",
                                      "  ModifySQL.Strings = (",
                                      "    'update ORDERS set NAME = :NAME')",
                                      "  InsertSQL.Strings = (",
                                      "    'insert into ORDERS (NAME) values (:NAME)')",
                                      "  DeleteSQL.Strings = (",
                                      "    'delete from ORDERS where ID = :OLD_ID')",
                                      "  Left = 40",
                                      "  Top = 8",
                                      "end",
                                  }));
  std::vector<std::string> names;
  for (const auto& p : props) names.push_back(p.first);
  EXPECT_EQ(names, (std::vector<std::string>{"ModifySQL.Strings", "InsertSQL.Strings",
                                             "DeleteSQL.Strings", "Left", "Top"}));
}

TEST_F(KyFormParserTest, RebuiltText) {
  std::string text = Lines({
      "object Database1: TDatabase",
      "  AliasName = 'SalesAlias'",
      "  DatabaseName = 'Sales'",
      "  LoginPrompt = False",
      "  Params.Strings = (",
      "    'DATABASE NAME=sales.gdb'",
      "    'USER NAME=SYSDBA')",
      "  SessionName = 'Default'",
      "  TransIsolation = tiReadCommitted",
      "  Left = 16",
      "  Top = 24",
      "end",
  });
  Convert("TKyConnection", text);
  std::string rebuilt;
  parser->BuildObjectText(1, rebuilt);
  EXPECT_EQ(rebuilt, Lines({
                         "  object Database1: TKyConnection",
                         "    LoginPrompt = False",
                         "    Database = 'sales.gdb'",
                         "    Username = 'SYSDBA'",
                         "    IsolationLevel = ilReadCommitted",
                         "    Left = 16",
                         "    Top = 24",
                         "  end",
                     }));
}

TEST_F(KyFormParserTest, FailedParseLeavesNothingAndTheNextObjectStartsClean) {
  // The Ky rules have emitted by the time the broken property is reached.
  std::string broken = Database({kParams, "TransIsolation = tiDirtyRead", "Left = = 3"});
  parser->SetNewClassName("TKyConnection");
  int pos = 1;
  EXPECT_FALSE(parser->Parse(broken, "<object>", pos));
  EXPECT_EQ(pos, 1);
  EXPECT_EQ(parser->Properties.Count(), 0);
  std::string rebuilt = "stale";
  parser->BuildObjectText(0, rebuilt);
  EXPECT_EQ(rebuilt, "");

  Props props = Convert("TKyConnection", Database({"TransIsolation = tiRepeatableRead"}));
  EXPECT_EQ(props, (Props{{"IsolationLevel", "ilRepeatableRead"}}));
}

TEST(KyFormParserClass, MakesProductParsersThatRegisterTheClasses) {
  rtl::UnRegisterClass("TKyQuery");
  migwiz::TFormParserClass make = ky::KyFormParserClass();
  std::unique_ptr<migwiz::TFormParser> a = make();
  std::unique_ptr<migwiz::TFormParser> b = make();
  EXPECT_NE(dynamic_cast<ky::TKyFormParser*>(a.get()), nullptr);
  EXPECT_NE(a.get(), b.get());
  ASSERT_NE(rtl::GetClass("TKyQuery"), nullptr);
  EXPECT_TRUE(rtl::GetClass("TKyQuery")->HasPublishedProperty("SQL"));
}

}  // namespace
