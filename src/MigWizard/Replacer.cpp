#include "MigWizard/Replacer.h"

#include <algorithm>

#include "MigWizard/ROvoradRes.h"
#include "rtl/SysUtils.h"

namespace migwiz {

namespace {

constexpr const char* kDest = "Dest";
constexpr const char* kDirectory = "Directory";
constexpr const char* kIncludeSubDirs = "IncludeSubDirs";
constexpr const char* kMakeBackup = "MakeBackup";
constexpr const char* kWriteLog = "WriteLog";
constexpr const char* kViewLog = "ViewLog";
constexpr const char* kKeepGoing = "KeepGoing";
constexpr const char* kScanAliases = "ScanAliases";

}  // namespace

void TReplaceOptions::LoadSettings(rtl::TSettingsStore& store, const std::string& section) {
  Dest = static_cast<std::uint8_t>(store.ReadInteger(section, kDest, Dest));
  Directory = store.ReadString(section, kDirectory, Directory);
  IncludeSubDirs = store.ReadBool(section, kIncludeSubDirs, IncludeSubDirs);
  MakeBackup = store.ReadBool(section, kMakeBackup, MakeBackup);
  WriteLog = store.ReadBool(section, kWriteLog, WriteLog);
  ViewLog = store.ReadBool(section, kViewLog, ViewLog);
  KeepGoing = store.ReadBool(section, kKeepGoing, KeepGoing);
  ScanAliases = store.ReadBool(section, kScanAliases, ScanAliases);
}

void TReplaceOptions::SaveSettings(rtl::TSettingsStore& store, const std::string& section) const {
  store.WriteInteger(section, kDest, Dest);
  store.WriteString(section, kDirectory, Directory);
  store.WriteBool(section, kIncludeSubDirs, IncludeSubDirs);
  store.WriteBool(section, kMakeBackup, MakeBackup);
  store.WriteBool(section, kWriteLog, WriteLog);
  store.WriteBool(section, kViewLog, ViewLog);
  store.WriteBool(section, kKeepGoing, KeepGoing);
  store.WriteBool(section, kScanAliases, ScanAliases);
}

std::string TReplaceOptions::GetTitle() const {
  return SourceName + res::sMigrationWizard;
}

TComponentReplacer::TComponentReplacer(const TFormParserClass& formParserClass,
                                       std::string usesUnit, std::string usesAddition,
                                       TReplaceOptions* options)
    : UsesUnit(rtl::UpperCase(usesUnit)),
      UsesAddition(std::move(usesAddition)),
      Options(options),
      additionTokens_(UsesAdditionTokens(UsesAddition)) {
  rtl::Assert(options != nullptr, "replacer without options");
  rtl::Assert(static_cast<bool>(formParserClass), "replacer without form parser class");
  formParserClass_ = formParserClass;
  FormParser = formParserClass();
  FormParser->OnDatabaseName = [this](const std::string& propName, const std::string& value,
                                      std::string& newValue) {
    ResolveDatabaseName(propName, value, newValue);
  };
  Log.SetTitle(Options->GetTitle() + res::sLogSuffix);
  Log.SetCreatedAtLabel(res::sCreatedAt);
  Log.SetBlankLines(true);
  NoteUnitWord("uses");
  NoteUnitWord(UsesUnit);
}

TComponentReplacer::~TComponentReplacer() = default;

void TComponentReplacer::NoteUnitWord(std::string_view word) {
  if (word.empty()) return;
  const std::uint64_t length = std::uint64_t{1} << (word.size() < 63 ? word.size() : 63);
  for (char c : {rtl::UpCase(word[0]), rtl::LoCase(word[0])}) {
    unitWordStarts_[static_cast<unsigned char>(c)] = true;
    unitWordLengths_[static_cast<unsigned char>(c)] |= length;
  }
}

void TComponentReplacer::AddReplacement(const std::string& oldClass, const std::string& newClass) {
  table_.emplace_back(oldClass, newClass);
  Register(oldClass, newClass);
  RebuildClassTable();
}

void TComponentReplacer::Register(const std::string& oldClass, const std::string& newClass) {
  int target = TargetClasses.Add(newClass);
  SourceClasses.AddInt(oldClass, target);
  lengthMask_ |=
      oldClass.size() < 63 ? std::uint64_t{1} << oldClass.size() : std::uint64_t{1} << 63;
  if (!oldClass.empty()) {
    for (char c : {rtl::UpCase(oldClass[0]), rtl::LoCase(oldClass[0])})
      firstLetter_[static_cast<unsigned char>(c)] = true;
  }
  NoteUnitWord(oldClass);
}

void TComponentReplacer::RebuildClassTable() {
  for (std::vector<TClassEntry>& bucket : classTable_) bucket.clear();
  for (int i = 0; i < SourceClasses.Count(); ++i) {
    const std::string upper = rtl::UpperCase(SourceClasses[i]);
    std::vector<TClassEntry>& bucket = classTable_[ClassBucket(upper)];
    if (std::any_of(bucket.begin(), bucket.end(),
                    [&](const TClassEntry& e) { return e.Upper == upper; }))
      continue;
    int index;
    if (SourceClasses.Find(upper, index))
      bucket.push_back({upper, static_cast<int>(SourceClasses.Integers(index))});
  }
}

void TComponentReplacer::SetRules(TReplacementRules rules) {
  SourceClasses.Clear();
  TargetClasses.Clear();
  lengthMask_ = 0;
  std::fill(std::begin(firstLetter_), std::end(firstLetter_), false);
  std::fill(std::begin(unitWordStarts_), std::end(unitWordStarts_), false);
  std::fill(std::begin(unitWordLengths_), std::end(unitWordLengths_), 0);
  NoteUnitWord("uses");
  NoteUnitWord(UsesUnit);
  for (const TRuleClass& r : rules.Classes) rtl::Assert(!r.Class.empty(), "a rule without class");
  rulesUses_.clear();
  for (const std::string& unit : rules.Uses) {
    rulesUses_.push_back(rtl::UpperCase(unit));
    NoteUnitWord(unit);
  }
  for (const auto& [oldClass, newClass] : table_) Register(oldClass, newClass);
  // A rule's class plays every part its like-class plays in the conversion rules.
  if (!baseRoles_) baseRoles_ = FormParser->ClassRoles;
  TClassRoles roles = *baseRoles_;
  for (const TRuleClass& r : rules.Classes) {
    Register(r.Class, r.New);
    for (std::vector<std::string>* role : {&roles.Databases, &roles.Queries, &roles.ParamDatasets})
      if (TClassRoles::Has(*role, r.Like)) role->push_back(r.Class);
  }
  FormParser->ClassRoles = std::move(roles);
  RebuildClassTable();
  rules_ = std::move(rules);
}

namespace {

inline unsigned char Up(char c) {
  return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 32 : c);
}

}  // namespace

unsigned TComponentReplacer::ClassBucket(std::string_view identifier) {
  if (identifier.empty()) return 0;
  return (static_cast<unsigned>(identifier.size()) * 61u +
          Up(identifier[1 % identifier.size()]) * 7u + Up(identifier.back())) &
         255u;
}

const std::string* TComponentReplacer::FindReplacement(std::string_view identifier) const {
  if (identifier.empty() || !firstLetter_[static_cast<unsigned char>(identifier[0])])
    return nullptr;
  const std::uint64_t bit =
      identifier.size() < 63 ? std::uint64_t{1} << identifier.size() : std::uint64_t{1} << 63;
  if (!(lengthMask_ & bit)) return nullptr;
  for (const TClassEntry& e : classTable_[ClassBucket(identifier)]) {
    if (e.Upper.size() != identifier.size()) continue;
    size_t k = 0;
    while (k < identifier.size() && Up(identifier[k]) == static_cast<unsigned char>(e.Upper[k]))
      ++k;
    if (k == identifier.size()) return &TargetClasses[e.Target];
  }
  return nullptr;
}

std::string TComponentReplacer::AdjustName(std::string_view /*identifier*/,
                                           const std::string& target) {
  return target;
}

std::string ChangeCountText(int changes) {
  return changes == 0 ? std::string(res::sNoChanges) : std::to_string(changes) + res::sChanges;
}

}  // namespace migwiz
