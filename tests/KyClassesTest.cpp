// The product classes as the class registry sees them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "product/KyClasses.h"
#include "rtl/ClassRegistry.h"

namespace {

// A sample across the data-set events, which both data sets publish.
const std::vector<std::string> kDataSetEvents = {"BeforeOpen",     "AfterScroll", "BeforeRefresh",
                                                 "OnCalcFields",   "OnPostError", "OnFilterRecord",
                                                 "OnUpdateRecord", "OnNewRecord"};

struct ClassCase {
  std::string name;
  std::vector<std::string> has;
  std::vector<std::string> lacks;  // BDE properties the new class must not take over
};

std::vector<ClassCase> Cases() {
  std::vector<ClassCase> cases = {
      {"TKyConnection",
       {"Name",
        "Tag",
        "Connected",
        "Database",
        "Server",
        "Port",
        "Username",
        "Password",
        "IsolationLevel",
        "LoginPrompt",
        "Options",
        "Pooling",
        "ConnectDialog",
        "AfterConnect",
        "BeforeConnect",
        "AfterDisconnect",
        "BeforeDisconnect",
        "OnError",
        "OnLogin",
        "OnConnectionLost"},
       {"AliasName", "DatabaseName", "DriverName", "KeepConnection", "Params", "SessionName",
        "TransIsolation", "Left", "Top"}},
      {"TKyQuery",
       {"Name",          "Tag",        "Active",         "AutoCalcFields",
        "CachedUpdates", "Connection", "Constraints",    "DetailFields",
        "Filter",        "Filtered",   "FilterOptions",  "MasterFields",
        "MasterSource",  "Options",    "ParamCheck",     "Params",
        "ReadOnly",      "SQL",        "SQLDelete",      "SQLInsert",
        "SQLRefresh",    "SQLUpdate",  "UniDirectional", "UpdateObject"},
       {"Constrained", "DatabaseName", "DataSource", "ObjectView", "RequestLive", "SessionName",
        "UpdateMode", "TableName"}},
      {"TKyTable",
       {"Name", "Tag", "Active", "CachedUpdates", "Connection", "Filter", "MasterFields",
        "MasterSource", "ReadOnly", "UpdateObject", "TableName", "IndexFieldNames", "KeyFields"},
       {"DatabaseName", "Exclusive", "SessionName", "StoreDefs", "TableType", "UpdateMode", "SQL",
        "Params"}},
      {"TKyUpdateSQL",
       {"Name", "Tag", "DeleteSQL", "InsertSQL", "ModifySQL", "RefreshSQL", "LockSQL",
        "FetchRowSQL", "DataSet"},
       {"DatabaseName", "Active", "SQL"}},
  };
  for (ClassCase& c : cases)
    if (c.name == "TKyQuery" || c.name == "TKyTable")
      c.has.insert(c.has.end(), kDataSetEvents.begin(), kDataSetEvents.end());
  return cases;
}

TEST(KyClasses, RegisteredWithTheirPublishedProperties) {
  ky::RegisterKyClasses();
  for (const ClassCase& c : Cases()) {
    const rtl::TClassInfo* info = rtl::GetClass(c.name);
    ASSERT_NE(info, nullptr) << c.name;
    EXPECT_EQ(info->ClassName(), c.name);
    for (const std::string& p : c.has)
      EXPECT_TRUE(info->HasPublishedProperty(p)) << c.name << "." << p;
    for (const std::string& p : c.lacks)
      EXPECT_FALSE(info->HasPublishedProperty(p)) << c.name << "." << p;
  }
  // Names as forms write them, in any case.
  ASSERT_NE(rtl::GetClass("tkyquery"), nullptr);
  EXPECT_TRUE(rtl::GetClass("tkyquery")->HasPublishedProperty("sql"));
  EXPECT_EQ(ky::KyClassInfos().size(), 4u);
}

TEST(KyClasses, RegistrationIsIdempotentAndRepeatable) {
  ky::RegisterKyClasses();
  const rtl::TClassInfo* first = rtl::GetClass("TKyTable");
  ky::RegisterKyClasses();
  EXPECT_EQ(rtl::GetClass("TKyTable"), first);
  EXPECT_EQ(first->PublishedProperties().size(),
            rtl::GetClass("TKyTable")->PublishedProperties().size());

  // After an unload the next start-up registers the class again.
  rtl::UnRegisterClass("TKyTable");
  EXPECT_EQ(rtl::GetClass("TKyTable"), nullptr);
  ky::RegisterKyClasses();
  ASSERT_NE(rtl::GetClass("TKyTable"), nullptr);
  EXPECT_TRUE(rtl::GetClass("TKyTable")->HasPublishedProperty("TableName"));
}

}  // namespace
