// The IDE services over a project on disk, through TIDEUtils as the wizard uses them.
#include "hosts/common/ProjectServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "MigWizard/FormDirective.h"
#include "MigWizard/IDEUtils.h"
#include "hosts/common/ProjectUses.h"
#include "support/TestUtil.h"

namespace {

namespace fs = std::filesystem;
using hosts::TProjectServices;
using migwiz::TIDEUtils;

std::vector<std::string> UnitNames(const hosts::TUsesClause& clause) {
  std::vector<std::string> names;
  for (const auto& entry : clause.Entries) names.push_back(entry.UnitName + "=" + entry.InPath);
  return names;
}

TEST(ProjectUses, UsesClauseSkipsCommentsAndReadsInPaths) {
  auto clause = hosts::ReadUsesClause(
      "program P; { uses Fake in 'Fake.pas'; }\n"
      "uses\n"
      "  Forms, {$IFDEF DEBUG} Debug in 'Debug.pas', {$ENDIF}\n"
      "  Main in 'Main.pas' {MainForm},\n"
      "  Data.Module in (* before *) 'Sub\\Data.pas' {DataMod: TDataModule},\n"
      "  Quote in 'It''s.pas', // the last\n"
      "  Item in 'Item.pas';\n"
      "begin end.\n");
  EXPECT_EQ(
      UnitNames(clause),
      (std::vector<std::string>{"Forms=", "Debug=Debug.pas", "Main=Main.pas",
                                "Data.Module=Sub\\Data.pas", "Quote=It's.pas", "Item=Item.pas"}));
  EXPECT_TRUE(clause.Problems.empty());

  // Broken clauses give what they can and say what is wrong.
  clause = hosts::ReadUsesClause("program P;\nuses A in 'A.pas', B in 'B.pas\n, C in D, E");
  EXPECT_EQ(UnitNames(clause), (std::vector<std::string>{"A=A.pas", "B=", "C=", "E="}));
  EXPECT_EQ(clause.Problems.size(), 2u);
  EXPECT_NE(clause.Problems[0].find("unit B"), std::string::npos);
  EXPECT_TRUE(hosts::ReadUsesClause("program P; begin end.").Entries.empty());
  EXPECT_TRUE(hosts::ReadUsesClause("").Entries.empty());
}

// The project host and the replace run read resource directives through one routine.
TEST(ProjectUses, FormDirectivesReadAsTheReplaceRunReadsThem) {
  using migwiz::FormOfDirective;
  EXPECT_EQ(FormOfDirective("{$R *.dfm}", "/p/Main.pas"), "/p/Main.DFM");
  EXPECT_EQ(FormOfDirective("(*$R *.dfm*)", "/p/Main.pas"), "/p/Main.DFM");
  EXPECT_EQ(FormOfDirective("(*$RESOURCE *.nfm*)", "/p/Main.pas"), "/p/Main.NFM");
  EXPECT_EQ(FormOfDirective("{$r About.dfm}", "/p/Main.pas"), "/p/About.dfm");
  for (const char* none : {"{$R *.res}", "{$R Form2.dfm}", "{ $R *.dfm }", "{$R *.dfmx}",
                           "{$R*.dfm}", "(* $R *.dfm *)", "// {$R *.dfm}"})
    EXPECT_EQ(FormOfDirective(none, "/p/Main.pas"), "") << none;
  for (const char* directive : {"{$R *.dfm}", "(*$r *.dfm*)", "{$RESOURCE a.res}", "{$R "})
    EXPECT_TRUE(migwiz::IsResourceDirective(directive)) << directive;
  for (const char* other : {"{ $R *.dfm }", "(* $R *)", "{$", "(*$", "{$I x.inc}", "(*", "{R }"})
    EXPECT_FALSE(migwiz::IsResourceDirective(other)) << other;

  testutil::TempDir dir;
  testutil::WriteFile(dir / "Main.dfm", "object Main: TMain\r\nend\r\n");
  EXPECT_EQ(hosts::FormOfUnit("s := '{$R Other.dfm}'; (*$R *.dfm*)", dir / "Main.pas"),
            dir / "Main.dfm");
  EXPECT_EQ(hosts::FormOfUnit("{$R *.nfm}", dir / "Main.pas"), "");
}

class ProjectServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(testutil::SourcePath("examples/Orders"), dir.path(), fs::copy_options::recursive);
    ota::BorlandIDEServices = services;
  }
  void TearDown() override { ota::BorlandIDEServices.reset(); }

  std::string Path(const std::string& rel) const { return dir / rel; }
  // The project's module file names relative to the copy, in module order.
  std::vector<std::string> ProjectModules() const {
    std::vector<std::string> names;
    for (int i = 0; i < TIDEUtils::GetProjectModuleCount(); ++i)
      names.push_back(fs::path(TIDEUtils::GetProjectModuleFileName(i))
                          .lexically_relative(dir.path())
                          .generic_string());
    return names;
  }
  std::shared_ptr<hosts::TDiskModule> Module(const std::string& rel) const {
    return services->FindModule(Path(rel));
  }

  testutil::TempDir dir;
  std::shared_ptr<TProjectServices> services = std::make_shared<TProjectServices>();
};

const std::vector<std::string> kOrdersUnits = {"Main.pas", "DataMod.pas", "Reports.pas",
                                               "Legacy.pas", "Shared/Utils.pas"};

TEST_F(ProjectServicesTest, OrdersModulesFollowTheUsesClause) {
  int changes = 0;
  services->OnModulesChanged = [&] { ++changes; };
  ASSERT_TRUE(TIDEUtils::OpenProject(Path("Orders.dpr"))) << services->LastError();
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(services->Problems().empty());
  EXPECT_EQ(TIDEUtils::GetProjectFileName(), Path("Orders.dpr"));

  std::vector<std::string> modules = ProjectModules();
  ASSERT_GE(modules.size(), kOrdersUnits.size());
  EXPECT_EQ(std::vector<std::string>(modules.begin(), modules.begin() + 5), kOrdersUnits);

  // Group, project, then one module per unit in the same order.
  ASSERT_EQ(services->ModuleCount(), static_cast<int>(modules.size()) + 2);
  EXPECT_TRUE(ota::Supports<ota::IOTAProjectGroup>(services->Modules(0)));
  EXPECT_EQ(ota::Supports<ota::IOTAProject>(services->Modules(1)), TIDEUtils::GetActiveProject());
  EXPECT_EQ(services->Modules(1)->ModuleFileCount(), 1);
  for (size_t i = 0; i < modules.size(); ++i) {
    auto module = services->Modules(static_cast<int>(i) + 2);
    EXPECT_EQ(module->FileName(), TIDEUtils::GetProjectModuleFileName(static_cast<int>(i)));
    EXPECT_FALSE(ota::Supports<ota::IOTAProject>(module));
    ASSERT_EQ(module->OwnerCount(), 1);
    EXPECT_EQ(module->Owners(0), TIDEUtils::GetActiveProject());
  }
  EXPECT_THROW(services->Modules(services->ModuleCount()), rtl::EAssertionFailed);
}

TEST_F(ProjectServicesTest, FilesAreFoundWithoutRegardToCaseAndFormsBesideTheirUnits) {
  fs::rename(Path("Reports.pas"), Path("REPORTS.PAS"));
  fs::rename(Path("Shared"), Path("shared"));
  if (fs::exists(Path("Main.dfm")))
    fs::rename(Path("Main.dfm"), Path("MAIN.DFM"));
  else
    testutil::WriteFile(Path("MAIN.DFM"), "object MainForm: TMainForm\r\nend\r\n");
  if (!fs::exists(Path("DataMod.dfm")))
    testutil::WriteFile(Path("DataMod.dfm"), "object OrdersData: TOrdersData\r\nend\r\n");
  testutil::WriteFile(Path("Reports.dfm"), "object Stray: TForm\r\nend\r\n");  // not named

  ASSERT_TRUE(TIDEUtils::OpenProject(Path("orders.DPR"))) << services->LastError();
  EXPECT_EQ(TIDEUtils::GetProjectFileName(), Path("Orders.dpr"));
  std::vector<std::string> modules = ProjectModules();
  ASSERT_GE(modules.size(), 5u);
  EXPECT_EQ(modules[2], "REPORTS.PAS");
  EXPECT_EQ(modules[4], "shared/Utils.pas");

  auto main = Module("Main.pas");
  ASSERT_TRUE(main);
  ASSERT_EQ(main->ModuleFileCount(), 2);
  EXPECT_TRUE(ota::Supports<ota::IOTASourceEditor>(main->ModuleFileEditors(0)));
  auto form = main->ModuleFileEditors(1);
  EXPECT_FALSE(ota::Supports<ota::IOTASourceEditor>(form));
  EXPECT_TRUE(ota::Supports<ota::IOTAEditor>(form));
  EXPECT_EQ(form->FileName(), Path("MAIN.DFM"));
  EXPECT_EQ(main->Editors()[1]->Text().rfind("object MainForm", 0), 0u);
  EXPECT_EQ(Module("DataMod.pas")->ModuleFileCount(), 2);
  EXPECT_EQ(Module("REPORTS.PAS")->ModuleFileCount(), 1);
  EXPECT_EQ(services->FindModule(Path("MAIN.DFM")), main);

  int shown = 0;
  main->Editors()[0]->OnShow = [&](hosts::TDiskEditor&) { ++shown; };
  main->ModuleFileEditors(0)->Show();
  EXPECT_EQ(shown, 1);
}

TEST_F(ProjectServicesTest, SaveCloseAndOpen) {
  EXPECT_FALSE(TIDEUtils::OpenProject(""));
  EXPECT_FALSE(TIDEUtils::OpenProject(Path("Missing.dpr")));
  EXPECT_NE(services->LastError().find("Missing.dpr"), std::string::npos);
  EXPECT_EQ(services->ModuleCount(), 0);

  ASSERT_TRUE(TIDEUtils::OpenProject(Path("Orders.dpr")));
  auto project = TIDEUtils::GetActiveProject();
  EXPECT_TRUE(TIDEUtils::SaveProject());
  const int count = services->ModuleCount();

  // A failed open leaves the open project alone; a good one replaces it.
  EXPECT_FALSE(TIDEUtils::OpenProject(Path("Missing.dpr")));
  EXPECT_EQ(TIDEUtils::GetActiveProject(), project);
  ASSERT_TRUE(TIDEUtils::OpenProject(Path("Orders.dpr")));
  EXPECT_EQ(services->ModuleCount(), count);
  EXPECT_NE(TIDEUtils::GetActiveProject(), project);
  EXPECT_FALSE(project->Save(false, true));  // the replaced project is closed

  // Closing one unit leaves the rest; closing the group closes everything.
  auto legacy = Module("Legacy.pas");
  ASSERT_TRUE(legacy);
  EXPECT_TRUE(legacy->Close());
  EXPECT_FALSE(legacy->Close());
  EXPECT_EQ(services->ModuleCount(), count - 1);
  EXPECT_EQ(TIDEUtils::GetProjectModuleCount(), count - 2);  // still the project's unit

  project = TIDEUtils::GetActiveProject();
  EXPECT_TRUE(TIDEUtils::CloseProjectGroup());
  EXPECT_EQ(services->ModuleCount(), 0);
  EXPECT_EQ(TIDEUtils::GetProjectFileName(), "");
  EXPECT_FALSE(TIDEUtils::SaveProject());
  EXPECT_FALSE(project->Save(false, true));
  EXPECT_TRUE(TIDEUtils::CloseProjectGroup());
}

TEST_F(ProjectServicesTest, ReloadReadsTheModulesFilesAgain) {
  ASSERT_TRUE(TIDEUtils::OpenProject(Path("Orders.dpr")));
  auto main = Module("Main.pas");
  ASSERT_TRUE(main);
  int reloads = 0, textChanges = 0;
  main->OnReload = [&](hosts::TDiskModule&) { ++reloads; };
  main->Editors()[0]->OnTextChanged = [&](hosts::TDiskEditor&) { ++textChanges; };
  // Texts are read when first looked at; only a text looked at is told of its change.
  EXPECT_FALSE(main->Editors()[0]->Loaded());
  EXPECT_NE(main->Editors()[0]->Text().find("TQuery"), std::string::npos);
  EXPECT_FALSE(main->Editors()[1]->Loaded());

  testutil::WriteFile(Path("Main.pas"), "unit Main;\r\ninterface\r\nimplementation\r\nend.\r\n");
  EXPECT_TRUE(TIDEUtils::ReloadFile(Path("Main.pas")));
  EXPECT_EQ(main->Editors()[0]->Text(), "unit Main;\r\ninterface\r\nimplementation\r\nend.\r\n");
  EXPECT_EQ(reloads, 1);
  EXPECT_EQ(textChanges, 1);
  EXPECT_TRUE(TIDEUtils::ReloadFile(Path("./Main.pas")));  // same file, other spelling
  EXPECT_EQ(textChanges, 1);

  EXPECT_FALSE(TIDEUtils::ReloadFile(Path("Nowhere.pas")));
  EXPECT_FALSE(TIDEUtils::ReloadFile(""));

  // A file gone from disk is no success; the text last read stays.
  fs::remove(Path("Main.pas"));
  EXPECT_FALSE(TIDEUtils::ReloadFile(Path("Main.pas")));
  EXPECT_NE(main->Editors()[0]->LoadError().find(Path("Main.pas")), std::string::npos);
  EXPECT_FALSE(main->Editors()[0]->Text().empty());
}

TEST_F(ProjectServicesTest, BadProjectsOpenWithTheirProblemsNamed) {
  // UTF-16 with its mark, a unit that is missing, one named twice, a broken "in".
  std::string text =
      "program Odd;\r\nuses Main in 'MAIN.pas', Gone in 'Gone.pas', Again in 'Main.pas',\r\n"
      "  Broken in Forms, Legacy in '..\\" +
      fs::path(dir.path()).filename().string() + "\\Legacy.pas';\r\nbegin end.\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : text) utf16 += std::string{c, '\0'};
  testutil::WriteFile(Path("Odd.dpr"), utf16);

  ASSERT_TRUE(TIDEUtils::OpenProject(Path("Odd.dpr"))) << services->LastError();
  EXPECT_EQ(ProjectModules(), (std::vector<std::string>{"Main.pas", "Gone.pas", "Legacy.pas"}));
  EXPECT_EQ(services->ModuleCount(), 4);  // group, project, Main, Legacy
  const auto& problems = services->Problems();
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_NE(problems[0].find("unit Broken"), std::string::npos);
  EXPECT_NE(problems[1].find(Path("Gone.pas")), std::string::npos);
  EXPECT_NE(problems[2].find("named twice"), std::string::npos);

  // A project file that cannot be decoded does not open.
  testutil::WriteFile(Path("Bad.dpr"), std::string("\xFF\xFEp\0r\0\x00\xD8", 8));
  EXPECT_FALSE(TIDEUtils::OpenProject(Path("Bad.dpr")));
  EXPECT_NE(services->LastError().find("Bad.dpr"), std::string::npos);
  EXPECT_EQ(TIDEUtils::GetProjectFileName(), Path("Odd.dpr"));
}

TEST_F(ProjectServicesTest, MenuInsertionByName) {
  ota::TMainMenu* menu = services->MainMenu();
  ota::TMenuItem* help = ota::TMenuItem::Create(*menu);
  help->SetName("HelpMenu");
  services->InsertMenuItem("", nullptr, help, true, false);
  TIDEUtils::AddMenuItem({"KyzelMenu", "&Kyzel", ""}, "&Migration Wizard", "ROvoradItemBDEKyzel",
                         nullptr);
  ASSERT_EQ(menu->Items()->Count(), 2);
  EXPECT_EQ(menu->Items()->Items(0)->Name(), "KyzelMenu");
  EXPECT_EQ(menu->Items()->Items(0)->Items(0)->Name(), "ROvoradItemBDEKyzel");
  ota::TMenuItem* stray = ota::TMenuItem::Create(*menu);
  EXPECT_THROW(services->InsertMenuItem("NoSuchMenu", nullptr, stray, true, false),
               ota::EMenuError);
}

}  // namespace
