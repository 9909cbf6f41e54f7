#include "product/BdeClasses.h"

#include <initializer_list>

namespace ky {

namespace {

using Names = std::initializer_list<const char*>;

// TComponent
constexpr Names kComponent = {"Name", "Tag"};

// TBDEDataSet: TDataSet's public properties it publishes, and its own.
constexpr Names kDataSet = {"Active", "AutoCalcFields", "CachedUpdates", "ObjectView"};

// TDBDataSet. UpdateMode stays protected here; TQuery and TTable publish it.
constexpr Names kDBDataSet = {"AutoRefresh", "DatabaseName",  "Filter",
                              "Filtered",    "FilterOptions", "SessionName"};

// Published by TBDEDataSet (OnFilterRecord by TDBDataSet).
constexpr Names kDataSetEvents = {
    "BeforeOpen",    "AfterOpen",      "BeforeClose",  "AfterClose",   "BeforeInsert",
    "AfterInsert",   "BeforeEdit",     "AfterEdit",    "BeforePost",   "AfterPost",
    "BeforeCancel",  "AfterCancel",    "BeforeDelete", "AfterDelete",  "BeforeScroll",
    "AfterScroll",   "BeforeRefresh",  "AfterRefresh", "OnCalcFields", "OnDeleteError",
    "OnEditError",   "OnFilterRecord", "OnNewRecord",  "OnPostError",  "OnUpdateError",
    "OnUpdateRecord"};

constexpr Names kDatabase = {
    "AliasName",        "Connected",      "DatabaseName", "DriverName",      "Exclusive",
    "HandleShared",     "KeepConnection", "LoginPrompt",  "Params",          "ReadOnly",
    "SessionName",      "TransIsolation", "AfterConnect", "AfterDisconnect", "BeforeConnect",
    "BeforeDisconnect", "OnLogin"};

constexpr Names kQuery = {"Constrained", "Constraints", "DataSource", "ParamCheck",
                          "Params",      "RequestLive", "SQL",        "UniDirectional",
                          "UpdateMode",  "UpdateObject"};

// TableLevel is public, not published.
constexpr Names kTable = {"Constraints",  "DefaultIndex",    "Exclusive",  "FieldDefs",
                          "IndexDefs",    "IndexFieldNames", "IndexFiles", "IndexName",
                          "MasterFields", "MasterSource",    "ReadOnly",   "StoreDefs",
                          "TableName",    "TableType",       "UpdateMode", "UpdateObject"};

constexpr Names kStoredProc = {"Overload", "ParamBindMode", "Params", "StoredProcName",
                               "UpdateObject"};

// DataSet, DatabaseName and SessionName are public only.
constexpr Names kUpdateSQL = {"DeleteSQL", "InsertSQL", "ModifySQL"};

constexpr Names kBatchMove = {"AbortOnKeyViol", "AbortOnProblem", "ChangedTableName",
                              "CommitCount",    "Destination",    "KeyViolTableName",
                              "Mappings",       "Mode",           "ProblemTableName",
                              "RecordCount",    "Source",         "Transliterate"};

// What InfoPower's TwwQuery and TwwTable add to TQuery and TTable.
constexpr Names kInfoPower = {"ControlType", "PictureMasks", "ValidateWithMask"};

}  // namespace

std::vector<rtl::TClassInfo> BdeClassInfos() {
  std::vector<rtl::TClassInfo> classes;
  classes.push_back(rtl::ClassWithGroups("TDatabase", {kComponent, kDatabase}));
  classes.push_back(
      rtl::ClassWithGroups("TQuery", {kComponent, kDataSet, kDBDataSet, kDataSetEvents, kQuery}));
  classes.push_back(
      rtl::ClassWithGroups("TTable", {kComponent, kDataSet, kDBDataSet, kDataSetEvents, kTable}));
  classes.push_back(rtl::ClassWithGroups(
      "TStoredProc", {kComponent, kDataSet, kDBDataSet, kDataSetEvents, kStoredProc}));
  classes.push_back(rtl::ClassWithGroups("TUpdateSQL", {kComponent, kUpdateSQL}));
  classes.push_back(rtl::ClassWithGroups("TBatchMove", {kComponent, kBatchMove}));
  classes.push_back(rtl::ClassWithGroups(
      "TwwQuery", {kComponent, kDataSet, kDBDataSet, kDataSetEvents, kQuery, kInfoPower}));
  classes.push_back(rtl::ClassWithGroups(
      "TwwTable", {kComponent, kDataSet, kDBDataSet, kDataSetEvents, kTable, kInfoPower}));
  return classes;
}

std::vector<std::string> NonBdeDatabaseClasses() {
  return {// InterBase Express
          "TIBDatabase", "TIBBackupService", "TIBRestoreService", "TIBValidationService",
          "TIBStatisticalService", "TIBConfigService", "TIBConnectionBroker",
          // IB Objects' stand-in for TDatabase
          "TIBODatabase"};
}

}  // namespace ky
