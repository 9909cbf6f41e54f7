// The product classes as the class registry sees them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "product/BdeClasses.h"
#include "product/KyClasses.h"
#include "rtl/ClassRegistry.h"
#include "rtl/SysUtils.h"

namespace {

// A sample across the data-set events, which both data sets publish.
const std::vector<std::string> kDataSetEvents = {"BeforeOpen",     "AfterScroll", "BeforeRefresh",
                                                 "OnCalcFields",   "OnPostError", "OnFilterRecord",
                                                 "OnUpdateRecord", "OnNewRecord"};

struct ClassCase {
  std::string name;
  std::vector<std::string> has;
  std::vector<std::string> lacks;  // properties the class must not publish
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

const rtl::TClassInfo* FindBdeClass(const std::vector<rtl::TClassInfo>& classes,
                                    const std::string& name) {
  for (const rtl::TClassInfo& info : classes)
    if (info.ClassName() == name) return &info;
  return nullptr;
}

TEST(BdeClasses, PublishedPropertiesFollowTheClassHierarchy) {
  const std::vector<rtl::TClassInfo> classes = ky::BdeClassInfos();
  // Each class once, and no property twice (in any case) in a class.
  for (const rtl::TClassInfo& info : classes) {
    EXPECT_EQ(FindBdeClass(classes, info.ClassName()), &info) << info.ClassName();
    const std::vector<std::string>& props = info.PublishedProperties();
    for (size_t i = 1; i < props.size(); ++i)
      EXPECT_FALSE(rtl::SameText(props[i - 1], props[i])) << info.ClassName() << "." << props[i];
  }

  const std::vector<ClassCase> cases = {
      {"TDatabase",
       {"Name", "Tag", "AliasName", "DatabaseName", "DriverName", "Params", "TransIsolation",
        "KeepConnection", "LoginPrompt", "SessionName", "OnLogin", "BeforeConnect"},
       {"Active", "Directory", "TraceFlags", "Locale", "Filter"}},
      {"TQuery",
       {"Name", "Tag", "Active", "AutoRefresh", "CachedUpdates", "DatabaseName", "SessionName",
        "Filter", "FilterOptions", "ObjectView", "RequestLive", "SQL", "Params", "DataSource",
        "UpdateMode", "UpdateObject", "OnFilterRecord", "OnUpdateRecord", "BeforeRefresh"},
       // Methods and public-only properties.
       {"Open", "ExecSQL", "Prepared", "Local", "RowsAffected", "TableName", "OnServerYield"}},
      {"TTable",
       {"TableName", "IndexName", "IndexFieldNames", "MasterSource", "StoreDefs", "FieldDefs",
        "Exclusive", "UpdateMode", "DatabaseName", "OnUpdateError"},
       {"RequestLive", "SQL", "TableLevel", "Params"}},
      {"TStoredProc",
       {"StoredProcName", "Params", "ParamBindMode", "Overload", "UpdateObject", "DatabaseName"},
       {"UpdateMode", "Constraints", "SQL"}},
      {"TUpdateSQL",
       {"Name", "ModifySQL", "InsertSQL", "DeleteSQL"},
       {"DataSet", "DatabaseName", "Active"}},
      {"TBatchMove",
       {"Destination", "Mode", "Source", "Mappings", "RecordCount"},
       {"MovedCount", "ProblemCount", "DatabaseName"}},
  };
  for (const ClassCase& c : cases) {
    const rtl::TClassInfo* info = FindBdeClass(classes, c.name);
    ASSERT_NE(info, nullptr) << c.name;
    for (const std::string& p : c.has)
      EXPECT_TRUE(info->HasPublishedProperty(p)) << c.name << "." << p;
    for (const std::string& p : c.lacks)
      EXPECT_FALSE(info->HasPublishedProperty(p)) << c.name << "." << p;
  }

  // InfoPower's data sets publish all their base class does, and their extras.
  for (const auto& [ww, base] :
       {std::pair<std::string, std::string>{"TwwQuery", "TQuery"}, {"TwwTable", "TTable"}}) {
    const rtl::TClassInfo* derived = FindBdeClass(classes, ww);
    const rtl::TClassInfo* ancestor = FindBdeClass(classes, base);
    ASSERT_NE(derived, nullptr) << ww;
    ASSERT_NE(ancestor, nullptr) << base;
    for (const std::string& p : ancestor->PublishedProperties())
      EXPECT_TRUE(derived->HasPublishedProperty(p)) << ww << "." << p;
    for (const char* p : {"ControlType", "PictureMasks", "ValidateWithMask"})
      EXPECT_TRUE(derived->HasPublishedProperty(p)) << ww << "." << p;
  }

  // The other libraries' database classes are none of the BDE ones.
  const std::vector<std::string> others = ky::NonBdeDatabaseClasses();
  EXPECT_NE(std::find(others.begin(), others.end(), "TIBDatabase"), others.end());
  for (const std::string& name : others) EXPECT_EQ(FindBdeClass(classes, name), nullptr) << name;
}

}  // namespace
