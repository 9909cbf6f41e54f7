// TIDEUtils against a scripted IDE, and the interface and menu stand-ins it relies on.
#include "MigWizard/IDEUtils.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ota/Menus.h"
#include "ota/ToolsAPI.h"
#include "product/KyMenu.h"
#include "zel/ZelMenu.h"

namespace {

using migwiz::TIDEUtils;
using migwiz::TProductMenu;

// ---- A scripted IDE ----

template <class I>
class FakeModuleOf : public I {
 public:
  explicit FakeModuleOf(std::string name = "") : fileName(std::move(name)) {}
  std::string FileName() override { return fileName; }
  int ModuleFileCount() override { return 0; }
  std::shared_ptr<ota::IOTAEditor> ModuleFileEditors(int) override { return nullptr; }
  int OwnerCount() override { return 0; }
  std::shared_ptr<ota::IOTAProject> Owners(int) override { return nullptr; }
  bool Close() override {
    ++closes;
    return closeResult;
  }
  ota::IInterface* QueryInterface(const ota::TGUID& iid) override {
    if (auto* found = ota::QueryFor<I, ota::IOTAModule>(this, iid)) return found;
    return ota::IInterface::QueryInterface(iid);
  }

  std::string fileName;
  int closes = 0;
  bool closeResult = true;
};

using FakeModule = FakeModuleOf<ota::IOTAModule>;

class FakeInfo : public ota::IOTAModuleInfo {
 public:
  explicit FakeInfo(std::string name) : name_(std::move(name)) {}
  std::string FileName() override { return name_; }

 private:
  std::string name_;
};

class FakeProject : public FakeModuleOf<ota::IOTAProject> {
 public:
  using FakeModuleOf::FakeModuleOf;
  bool Save(bool changeName, bool forceSave) override {
    saves.emplace_back(changeName, forceSave);
    return saveResult;
  }
  int GetModuleCount() override { return static_cast<int>(units.size()); }
  std::shared_ptr<ota::IOTAModuleInfo> GetModule(int index) override {
    return std::make_shared<FakeInfo>(units.at(static_cast<size_t>(index)));
  }

  std::vector<std::string> units;
  std::vector<std::pair<bool, bool>> saves;
  bool saveResult = true;
};

class FakeGroup : public FakeModuleOf<ota::IOTAProjectGroup> {
 public:
  explicit FakeGroup(std::shared_ptr<FakeProject> project) : active(std::move(project)) {}
  std::shared_ptr<ota::IOTAProject> ActiveProject() override { return active; }
  std::shared_ptr<FakeProject> active;
};

class FakeServices : public ota::IOTAModuleServices,
                     public ota::IOTAActionServices,
                     public ota::INTAServices {
 public:
  ota::IInterface* QueryInterface(const ota::TGUID& iid) override {
    if (answerModules && iid == ota::IOTAModuleServices::IID)
      return ota::QueryFor<ota::IOTAModuleServices>(this, iid);
    if (answerActions && iid == ota::IOTAActionServices::IID)
      return ota::QueryFor<ota::IOTAActionServices>(this, iid);
    if (answerMenus && iid == ota::INTAServices::IID)
      return ota::QueryFor<ota::INTAServices>(this, iid);
    return IInterface::QueryInterface(iid);
  }
  int ModuleCount() override { return static_cast<int>(modules.size()); }
  std::shared_ptr<ota::IOTAModule> Modules(int index) override {
    return modules.at(static_cast<size_t>(index));
  }
  bool OpenProject(const std::string& fileName, bool newProjGroup) override {
    calls.push_back("open " + fileName + (newProjGroup ? " new" : " same"));
    return actionResult;
  }
  bool OpenFile(const std::string&) override { return false; }
  bool ReloadFile(const std::string& fileName) override {
    calls.push_back("reload " + fileName);
    return actionResult;
  }
  ota::TMainMenu* MainMenu() override { return &menu; }
  void InsertMenuItem(const std::string& target, ota::TBasicAction* action, ota::TMenuItem* item,
                      bool after, bool child) override {
    calls.push_back("insert " + item->Name() + " at " + target + (after ? " after" : " before") +
                    (child ? " child" : "") + (action ? " action" : ""));
    ota::InsertMenuItemByName(menu, target, item, after, child);
  }

  // Adds top-level items named by their captions without ampersands.
  void AddTopItems(const std::vector<std::string>& captions) {
    for (const std::string& caption : captions) {
      ota::TMenuItem* item = ota::TMenuItem::Create(menu);
      item->SetName(zel::RemoveAmpersands(caption) + "Item");
      item->SetCaption(caption);
      menu.Items()->Add(item);
    }
  }
  std::vector<std::string> TopCaptions() const {
    std::vector<std::string> captions;
    for (int i = 0; i < menu.Items()->Count(); ++i)
      captions.push_back(menu.Items()->Items(i)->Caption());
    return captions;
  }

  std::vector<std::shared_ptr<ota::IOTAModule>> modules;
  std::vector<std::string> calls;
  ota::TMainMenu menu;
  bool answerModules = true, answerActions = true, answerMenus = true, actionResult = true;
};

class IDEUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override { ota::BorlandIDEServices = services; }
  void TearDown() override { ota::BorlandIDEServices.reset(); }

  std::shared_ptr<FakeServices> services = std::make_shared<FakeServices>();
};

const TProductMenu kProduct{"KyzelMenu", "&Kyzel", "K&yzel Components"};

// ---- Interface stand-ins ----

TEST(OtaInterfaces, GuidsParseAndQueriesFollowTheObjectsAnswer) {
  constexpr ota::TGUID wizard = ota::StringToGUID("{B75C0CE0-EEA6-11D1-9504-00608CCBF153}");
  EXPECT_EQ(wizard, ota::IOTAWizard::IID);
  EXPECT_EQ(wizard.ToString(), "{B75C0CE0-EEA6-11D1-9504-00608CCBF153}");
  EXPECT_EQ(ota::StringToGUID("{5d965803-8147-4d32-b8c5-712f6ddcf98e}"),
            ota::IOTASourceEditor::IID);
  EXPECT_THROW(ota::StringToGUID("{5D965803-8147-4D32-B8C5-712F6DDCF98}"), rtl::EConvertError);
  EXPECT_THROW(ota::StringToGUID("{5D965803+8147-4D32-B8C5-712F6DDCF98E}"), rtl::EConvertError);
  EXPECT_THROW(ota::StringToGUID("{5D96580G-8147-4D32-B8C5-712F6DDCF98E}"), rtl::EConvertError);

  // A project is a module, but only what it answers counts: it is no project group.
  auto project = std::make_shared<FakeProject>("P.dpr");
  std::shared_ptr<ota::IOTAModule> asModule = project;
  EXPECT_EQ(ota::Supports<ota::IOTAProject>(asModule).get(), project.get());
  EXPECT_EQ(ota::Supports<ota::IOTAProjectGroup>(asModule), nullptr);
  EXPECT_EQ(ota::Supports<ota::IOTAProject>(std::shared_ptr<ota::IOTAModule>()), nullptr);
  try {
    ota::As<ota::IOTAProjectGroup>(asModule);
    FAIL() << "no cast error";
  } catch (const ota::EIntfCastError& e) {
    EXPECT_STREQ(e.what(), "Interface not supported");
  }
  EXPECT_THROW(ota::As<ota::IOTAProject>(std::shared_ptr<ota::IInterface>()), ota::EIntfCastError);

  // The queried reference shares ownership: it keeps the object alive on its own.
  auto typed = ota::As<ota::IOTAProject>(asModule);
  project.reset();
  asModule.reset();
  EXPECT_EQ(typed->FileName(), "P.dpr");

  ota::TWizardState state;
  EXPECT_TRUE(state.Empty());
  EXPECT_TRUE(state.Include(ota::TWizardStateE::wsChecked).Contains(ota::TWizardStateE::wsChecked));
  EXPECT_FALSE(state.Contains(ota::TWizardStateE::wsEnabled));
}

TEST(MenuStandIns, NamesOwnershipTreeAndChangeReports) {
  ota::TMainMenu menu;
  std::vector<std::string> changes;
  menu.OnChange = [&](ota::TMenuItem* source, bool rebuild) {
    changes.push_back((source == menu.Items() ? std::string("root") : source->Name()) +
                      (rebuild ? " rebuild" : " caption"));
  };
  ota::TMenuItem* file = ota::TMenuItem::Create(menu);
  file->SetName("FileMenu");
  EXPECT_THROW(file->SetName("1File"), ota::EComponentError);
  EXPECT_THROW(file->SetName("File Menu"), ota::EComponentError);
  EXPECT_EQ(file->Name(), "FileMenu");
  ota::TMenuItem* other = ota::TMenuItem::Create(menu);
  EXPECT_THROW(other->SetName("FILEMENU"), ota::EComponentError);  // names are unique per owner
  other->SetName("_Open2");
  EXPECT_EQ(menu.ComponentCount(), 2);

  menu.Items()->Add(file);
  file->Add(other);
  other->SetCaption("&Open");  // reported only once the item is in the menu's tree
  EXPECT_EQ(changes,
            (std::vector<std::string>{"root rebuild", "FileMenu rebuild", "_Open2 caption"}));
  EXPECT_EQ(other->GetParentMenu(), &menu);
  EXPECT_EQ(menu.Items()->Items(0)->Find("_Open2"), other);
  EXPECT_THROW(menu.Items()->Add(other), ota::EMenuError);  // already has a parent
  EXPECT_THROW(other->Add(file), ota::EMenuError);          // would be its own parent
  EXPECT_THROW(file->Items(1), ota::EMenuError);

  ota::TMenuItem* clicked = nullptr;
  other->OnClick = [&](ota::TMenuItem* sender) { clicked = sender; };
  other->Click();
  EXPECT_EQ(clicked, other);

  // An item freed with its own owner leaves the menu tree it was in.
  {
    ota::TComponent form;
    ota::TMenuItem* transient = ota::TMenuItem::Create(form);
    file->Add(transient);
    EXPECT_EQ(file->Count(), 2);
  }
  EXPECT_EQ(file->Count(), 1);
}

TEST(MenuStandIns, RemoveAmpersandsKeepsALiteralAmpersand) {
  EXPECT_EQ(zel::RemoveAmpersands("&Kyzel"), "Kyzel");
  EXPECT_EQ(zel::RemoveAmpersands("KY&ZEL&"), "KYZEL");
  EXPECT_EQ(zel::RemoveAmpersands("Save && E&xit"), "Save & Exit");
  EXPECT_EQ(zel::RemoveAmpersands("&&&A"), "&A");
}

TEST(MenuStandIns, ProductAlternativeCaptionIsNoTwinOfItsCaption) {
  EXPECT_EQ(ky::Menu.Caption, "&Kyzel");
  EXPECT_TRUE(ota::IsValidIdent(ky::Menu.Name));
  EXPECT_FALSE(ky::Menu.AltCaption.empty());
  EXPECT_NE(rtl::UpperCase(zel::RemoveAmpersands(ky::Menu.AltCaption)),
            rtl::UpperCase(zel::RemoveAmpersands(ky::Menu.Caption)));
}

// ---- Project operations ----

TEST_F(IDEUtilsTest, WithoutServicesOrProjectTheFallbacksHold) {
  ota::BorlandIDEServices.reset();
  EXPECT_EQ(TIDEUtils::GetProjectGroup(), nullptr);
  EXPECT_EQ(TIDEUtils::GetProjectFileName(), "");
  EXPECT_EQ(TIDEUtils::GetProjectModuleCount(), 0);
  EXPECT_EQ(TIDEUtils::GetProjectModuleFileName(0), "");
  EXPECT_FALSE(TIDEUtils::SaveProject());
  EXPECT_TRUE(TIDEUtils::CloseProjectGroup());
  EXPECT_THROW(TIDEUtils::GetModuleServices(), ota::EIntfCastError);

  // Modules open, but none is a project group.
  ota::BorlandIDEServices = services;
  services->modules = {std::make_shared<FakeModule>("Unit1.pas"),
                       std::make_shared<FakeProject>("Loose.dpr")};
  EXPECT_EQ(TIDEUtils::GetProjectGroup(), nullptr);
  EXPECT_EQ(TIDEUtils::GetProjectFileName(), "");
  EXPECT_TRUE(TIDEUtils::CloseProjectGroup());

  // A group without an active project.
  auto group = std::make_shared<FakeGroup>(nullptr);
  services->modules.push_back(group);
  EXPECT_EQ(TIDEUtils::GetActiveProject(), nullptr);
  EXPECT_FALSE(TIDEUtils::SaveProject());
  EXPECT_EQ(TIDEUtils::GetProjectModuleCount(), 0);
  group->closeResult = false;
  EXPECT_FALSE(TIDEUtils::CloseProjectGroup());
  EXPECT_EQ(group->closes, 1);
}

TEST_F(IDEUtilsTest, TheFirstProjectGroupInModuleOrderIsUsed) {
  auto first = std::make_shared<FakeProject>("/p/First.dpr");
  first->units = {"/p/Main.pas", "/p/UNIT.PAS"};
  auto second = std::make_shared<FakeProject>("/q/Second.dpr");
  auto firstGroup = std::make_shared<FakeGroup>(first);
  auto secondGroup = std::make_shared<FakeGroup>(second);
  services->modules = {std::make_shared<FakeModule>("/p/Main.pas"), firstGroup, secondGroup};

  EXPECT_EQ(TIDEUtils::GetProjectGroup().get(), firstGroup.get());
  EXPECT_EQ(TIDEUtils::GetProjectFileName(), "/p/First.dpr");
  EXPECT_EQ(TIDEUtils::GetProjectModuleCount(), 2);
  EXPECT_EQ(TIDEUtils::GetProjectModuleFileName(1), "/p/UNIT.PAS");

  EXPECT_TRUE(TIDEUtils::SaveProject());
  first->saveResult = false;
  EXPECT_FALSE(TIDEUtils::SaveProject());
  // Saved under the same name, also when unchanged.
  EXPECT_EQ(first->saves, (std::vector<std::pair<bool, bool>>{{false, true}, {false, true}}));
  EXPECT_TRUE(second->saves.empty());

  firstGroup->closeResult = false;
  EXPECT_FALSE(TIDEUtils::CloseProjectGroup());
  EXPECT_EQ(firstGroup->closes, 1);
  EXPECT_EQ(secondGroup->closes, 0);
}

TEST_F(IDEUtilsTest, OpenAndReloadGoToTheActionServices) {
  EXPECT_TRUE(TIDEUtils::OpenProject("/p/Orders.dpr"));
  services->actionResult = false;
  EXPECT_FALSE(TIDEUtils::ReloadFile("/p/Main.pas"));
  EXPECT_FALSE(TIDEUtils::OpenProject(""));
  EXPECT_EQ(services->calls, (std::vector<std::string>{"open /p/Orders.dpr new",
                                                       "reload /p/Main.pas", "open  new"}));

  services->answerActions = false;
  EXPECT_THROW(TIDEUtils::ReloadFile("/p/Main.pas"), ota::EIntfCastError);
  services->answerModules = false;
  EXPECT_THROW(TIDEUtils::GetProjectFileName(), ota::EIntfCastError);
}

// ---- The menu item ----

TEST_F(IDEUtilsTest, PresentProductMenuGetsItsCaptionResetAndTheItemBelowTheOthers) {
  services->AddTopItems({"&File", "&Edit", "&Help"});
  ota::TMenuItem* product = TIDEUtils::CreateMenuItem("Old", "KyzelMenu", 2, nullptr, nullptr);
  TIDEUtils::CreateMenuItem("&About", "KyAbout", 0, nullptr, product);
  services->calls.clear();

  ota::TMenuItem* clicked = nullptr;
  TIDEUtils::AddMenuItem(kProduct, "&Migration Wizard", "ROvoradItemBDEKyzel",
                         [&](ota::TMenuItem* sender) { clicked = sender; });

  EXPECT_EQ(services->TopCaptions(),
            (std::vector<std::string>{"&File", "&Edit", "&Kyzel", "&Help"}));
  ASSERT_EQ(product->Count(), 2);
  ota::TMenuItem* item = product->Items(1);
  EXPECT_EQ(item->Name(), "ROvoradItemBDEKyzel");
  EXPECT_EQ(item->Caption(), "&Migration Wizard");
  EXPECT_EQ(item->Owner(), &services->menu);
  EXPECT_EQ(services->calls,
            (std::vector<std::string>{"insert ROvoradItemBDEKyzel at KyzelMenu after child"}));
  item->Click();
  EXPECT_EQ(clicked, item);
}

TEST_F(IDEUtilsTest, MissingProductMenuIsCreatedInFrontOfTheLastTopLevelItem) {
  services->AddTopItems({"&File", "&Edit", "&Help"});
  TIDEUtils::AddMenuItem(kProduct, "&Migration Wizard", "ROvoradItemBDEKyzel", nullptr);

  EXPECT_EQ(services->TopCaptions(),
            (std::vector<std::string>{"&File", "&Edit", "&Kyzel", "&Help"}));
  ota::TMenuItem* product = services->menu.Items()->Items(2);
  EXPECT_EQ(product->Name(), "KyzelMenu");
  ASSERT_EQ(product->Count(), 1);
  EXPECT_EQ(product->Items(0)->Name(), "ROvoradItemBDEKyzel");
  EXPECT_EQ(services->calls,
            (std::vector<std::string>{"insert KyzelMenu at HelpItem before",
                                      "insert ROvoradItemBDEKyzel at KyzelMenu after child"}));

  // A second wizard of the product joins the same menu.
  TIDEUtils::AddMenuItem(kProduct, "&ADO Wizard", "ROvoradItemADOKyzel", nullptr);
  EXPECT_EQ(services->menu.Items()->Count(), 4);
  EXPECT_EQ(product->Count(), 2);
}

TEST_F(IDEUtilsTest, CaptionTwinsGiveTheAlternativeCaption) {
  services->AddTopItems({"&File", "KY&ZEL", "&Help"});
  TIDEUtils::AddMenuItem(kProduct, "&Migration Wizard", "ROvoradItemBDEKyzel", nullptr);
  EXPECT_EQ(services->TopCaptions(),
            (std::vector<std::string>{"&File", "KY&ZEL", "K&yzel Components", "&Help"}));

  // Without an alternative caption no twin is looked for.
  auto other = std::make_shared<FakeServices>();
  ota::BorlandIDEServices = other;
  other->AddTopItems({"Kyzel", "&Help"});
  TIDEUtils::AddMenuItem({"KyzelMenu", "&Kyzel", ""}, "&Migration Wizard", "ROvoradItemBDEKyzel",
                         nullptr);
  EXPECT_EQ(other->TopCaptions(), (std::vector<std::string>{"Kyzel", "&Kyzel", "&Help"}));

  // A twin in front of the product menu found by name renames the product menu.
  auto third = std::make_shared<FakeServices>();
  ota::BorlandIDEServices = third;
  third->AddTopItems({"&Kyzel", "&Help"});
  ota::TMenuItem* product = TIDEUtils::CreateMenuItem("&Kyzel", "KyzelMenu", 1, nullptr, nullptr);
  TIDEUtils::AddMenuItem(kProduct, "&Migration Wizard", "ROvoradItemBDEKyzel", nullptr);
  EXPECT_EQ(product->Caption(), "K&yzel Components");
  EXPECT_EQ(third->menu.Items()->Count(), 3);
}

TEST_F(IDEUtilsTest, BadNamesEmptyMenusAndMissingMenuServices) {
  // A rejected name leaves nothing behind in the menu.
  services->AddTopItems({"&File", "&Help"});
  const int owned = services->menu.ComponentCount();
  EXPECT_THROW(TIDEUtils::AddMenuItem(kProduct, "&Migration Wizard", "ROvorad Item", nullptr),
               ota::EComponentError);
  EXPECT_EQ(services->menu.ComponentCount(), owned + 1);  // only the product menu
  EXPECT_EQ(services->menu.Items()->Count(), 3);

  // An empty main menu still gets the product menu.
  auto empty = std::make_shared<FakeServices>();
  ota::BorlandIDEServices = empty;
  TIDEUtils::AddMenuItem(kProduct, "&Migration Wizard", "ROvoradItemBDEKyzel", nullptr);
  ASSERT_EQ(empty->menu.Items()->Count(), 1);
  EXPECT_EQ(empty->menu.Items()->Items(0)->Items(0)->Name(), "ROvoradItemBDEKyzel");

  empty->answerMenus = false;
  EXPECT_THROW(TIDEUtils::AddMenuItem(kProduct, "&Migration Wizard", "Other", nullptr),
               ota::EIntfCastError);
}

}  // namespace
