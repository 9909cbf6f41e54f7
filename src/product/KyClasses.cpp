#include "product/KyClasses.h"

#include <initializer_list>
#include <string>

namespace ky {

namespace {

using Names = std::initializer_list<const char*>;

// TComponent
constexpr Names kComponent = {"Name", "Tag"};

constexpr Names kConnection = {
    "AutoCommit",      "ConnectDialog", "Connected",        "ConnectString",    "Database",
    "IsolationLevel",  "LoginPrompt",   "Options",          "Password",         "Pooling",
    "PoolingOptions",  "Port",          "Server",           "Username",         "AfterConnect",
    "AfterDisconnect", "BeforeConnect", "BeforeDisconnect", "OnConnectionLost", "OnError",
    "OnLogin"};

// TDataSet
constexpr Names kDataSet = {"Active", "AutoCalcFields", "Filter", "Filtered", "FilterOptions"};

constexpr Names kDataSetEvents = {
    "BeforeOpen",    "AfterOpen",      "BeforeClose",  "AfterClose",   "BeforeInsert",
    "AfterInsert",   "BeforeEdit",     "AfterEdit",    "BeforePost",   "AfterPost",
    "BeforeCancel",  "AfterCancel",    "BeforeDelete", "AfterDelete",  "BeforeScroll",
    "AfterScroll",   "BeforeRefresh",  "AfterRefresh", "OnCalcFields", "OnDeleteError",
    "OnEditError",   "OnFilterRecord", "OnNewRecord",  "OnPostError",  "OnUpdateError",
    "OnUpdateRecord"};

// What the Kyzel query and table share.
constexpr Names kKyDataSet = {"CachedUpdates",  "Connection",  "Constraints",    "DetailFields",
                              "FetchRows",      "LockMode",    "MasterFields",   "MasterSource",
                              "Options",        "ReadOnly",    "RefreshOptions", "SQLDelete",
                              "SQLInsert",      "SQLLock",     "SQLRefresh",     "SQLUpdate",
                              "UniDirectional", "UpdateObject"};

constexpr Names kQuery = {"ParamCheck", "Params", "SQL"};

constexpr Names kTable = {"IndexFieldNames", "KeyFields", "TableName"};

constexpr Names kUpdateSQL = {"DataSet", "DeleteSQL", "FetchRowSQL", "InsertSQL",
                              "LockSQL", "ModifySQL", "RefreshSQL"};

}  // namespace

std::vector<rtl::TClassInfo> KyClassInfos() {
  std::vector<rtl::TClassInfo> classes;
  classes.push_back(rtl::ClassWithGroups("TKyConnection", {kComponent, kConnection}));
  classes.push_back(
      rtl::ClassWithGroups("TKyQuery", {kComponent, kDataSet, kDataSetEvents, kKyDataSet, kQuery}));
  classes.push_back(
      rtl::ClassWithGroups("TKyTable", {kComponent, kDataSet, kDataSetEvents, kKyDataSet, kTable}));
  classes.push_back(rtl::ClassWithGroups("TKyUpdateSQL", {kComponent, kUpdateSQL}));
  return classes;
}

void RegisterKyClasses() {
  for (const rtl::TClassInfo& info : KyClassInfos()) rtl::RegisterClass(info);
}

}  // namespace ky
