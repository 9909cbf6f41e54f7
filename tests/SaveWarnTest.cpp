#include "MigWizard/ui/SaveWarn.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include <stdexcept>
#include <string>
#include <vector>

#include "MigWizard/ROvoradRes.h"
#include "support/QtTestApp.h"

namespace {

using migwiz::TSaveWarnForm;

const std::string kSection = "BDE Migration Wizard";

// What the user does when the dialog comes up, and what the dialog showed.
struct Answer {
  bool tick = false;
  int result = QDialog::Accepted;
};
struct Shown {
  std::string caption, question, note;
  bool ticked = false;
};

class SaveWarnTest : public qttest::QtTest {
 protected:
  void SetUp() override {
    store = std::make_shared<rtl::TMemorySettingsStore>();
    seams.Store = [this] { return store; };
    seams.Run = [this](TSaveWarnForm& form) {
      shown.push_back({form.windowTitle().toStdString(), form.lblWarn->text().toStdString(),
                       form.lblNote->text().toStdString(), form.chkDontAsk->isChecked()});
      form.chkDontAsk->setChecked(answer.tick);
      return answer.result;
    };
  }
  bool Show(const std::string& section, bool isProject, bool isRestore) {
    return migwiz::ShowSaveWarning(section, isProject, isRestore, {}, seams);
  }

  migwiz::TSaveWarnSeams seams;
  std::shared_ptr<rtl::TMemorySettingsStore> store;
  Answer answer;
  std::vector<Shown> shown;
};

TEST_F(SaveWarnTest, FirstReplaceOnAnOpenProjectAsksAndYesKeepsAsking) {
  EXPECT_TRUE(Show(kSection, true, false));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, kSection);
  EXPECT_EQ(shown[0].question, "Current project will be saved. Continue?");
  EXPECT_EQ(shown[0].note, "Project forms will be hidden.");
  EXPECT_FALSE(shown[0].ticked);
  EXPECT_TRUE(store->Has(kSection, "ReplaceProjWarn"));
  EXPECT_TRUE(store->ReadBool(kSection, "ReplaceProjWarn", false));

  EXPECT_TRUE(Show(kSection, true, false));
  EXPECT_EQ(shown.size(), 2u);
}

TEST_F(SaveWarnTest, YesWithTheBoxTickedSilencesThatSituationOnly) {
  answer.tick = true;
  EXPECT_TRUE(Show(kSection, true, false));
  EXPECT_FALSE(store->ReadBool(kSection, "ReplaceProjWarn", true));
  ASSERT_EQ(shown.size(), 1u);

  // Not asked again, and the answer is still "go on", even if the user would now say No.
  answer = {false, QDialog::Rejected};
  EXPECT_TRUE(Show(kSection, true, false));
  EXPECT_EQ(shown.size(), 1u);

  // The other three situations still ask, each with its own texts.
  struct Situation {
    bool isProject, isRestore;
    const char* key;
    const char* question;
    const char* note;
  };
  const Situation others[] = {
      {true, true, "RestoreProjWarn", migwiz::res::sWarnRestore, "Current project will be closed."},
      {false, false, "ReplaceDirWarn", migwiz::res::sWarnReplace,
       "Current project will be closed."},
      {false, true, "RestoreDirWarn", "Old files will be restored from backup. Continue?",
       "Current project will be closed."},
  };
  for (const Situation& s : others) {
    shown.clear();
    EXPECT_FALSE(Show("Other Title", s.isProject, s.isRestore)) << s.key;
    ASSERT_EQ(shown.size(), 1u) << s.key;
    EXPECT_EQ(shown[0].caption, "Other Title");
    EXPECT_EQ(shown[0].question, s.question) << s.key;
    EXPECT_EQ(shown[0].note, s.note) << s.key;
  }
  // Silencing each of them writes its own key into the section given.
  answer = {true, QDialog::Accepted};
  for (const Situation& s : others) {
    EXPECT_TRUE(Show(kSection, s.isProject, s.isRestore));
    EXPECT_EQ(store->Raw(kSection, s.key), "0") << s.key;
  }
  EXPECT_FALSE(store->Has("Other Title", "RestoreProjWarn"));
}

TEST_F(SaveWarnTest, NoWritesNothingEvenWithTheBoxTicked) {
  answer = {true, QDialog::Rejected};
  EXPECT_FALSE(Show(kSection, false, true));
  EXPECT_EQ(store->WriteCount(), 0);
  answer = {false, QDialog::Rejected};
  EXPECT_FALSE(Show(kSection, false, true));
  EXPECT_EQ(shown.size(), 2u) << "asked again after No";
}

TEST_F(SaveWarnTest, DialogAndStoreAreReleasedWhenAnErrorPasses) {
  QPointer<TSaveWarnForm> seen;
  seams.Run = [&](TSaveWarnForm& form) -> int {
    seen = &form;
    throw std::runtime_error("interrupted");
  };
  EXPECT_THROW(Show(kSection, true, false), std::runtime_error);
  EXPECT_TRUE(seen.isNull());
  EXPECT_EQ(store.use_count(), 1);
  EXPECT_EQ(store->WriteCount(), 0);

  // Errors of the store reach the caller too.
  struct TBrokenStore : rtl::TMemorySettingsStore {
    bool ReadBool(const std::string&, const std::string&, bool) override {
      throw std::runtime_error("store unreadable");
    }
  };
  seams.Store = [] { return std::make_shared<TBrokenStore>(); };
  EXPECT_THROW(Show(kSection, true, false), std::runtime_error);
}

// The real dialog, answered with the keyboard and the close button.
TEST_F(SaveWarnTest, EnterIsYesEscapeAndCloseAreNo) {
  auto press = [](int key) {
    return [key](TSaveWarnForm& form) {
      form.show();
      QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
      QApplication::sendEvent(&form, &event);
      return form.result();
    };
  };
  seams.Run = press(Qt::Key_Escape);
  EXPECT_FALSE(Show(kSection, true, false));
  seams.Run = [](TSaveWarnForm& form) {
    form.show();
    form.close();
    return form.result();
  };
  EXPECT_FALSE(Show(kSection, true, false));
  EXPECT_EQ(store->WriteCount(), 0);
  seams.Run = press(Qt::Key_Return);
  EXPECT_TRUE(Show(kSection, true, false));
  EXPECT_EQ(store->Raw(kSection, "ReplaceProjWarn"), "1");
}

TEST_F(SaveWarnTest, TheFormAsCreated) {
  TSaveWarnForm form;
  EXPECT_FALSE(form.chkDontAsk->isChecked());
  EXPECT_TRUE(form.OKBtn->isDefault());
  EXPECT_FALSE(form.CancelBtn->isDefault());
  ASSERT_FALSE(form.Image1->pixmap().isNull()) << "the question-mark icon";
  EXPECT_EQ(form.Image1->size(), QSize(30, 30));
  EXPECT_EQ(form.OKBtn->nextInFocusChain(), form.CancelBtn);
  EXPECT_EQ(form.CancelBtn->nextInFocusChain(), form.chkDontAsk);

  form.show();
  EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed size";
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
  // Nothing overlaps or is cut off.
  for (QWidget* w : std::initializer_list<QWidget*>{form.lblWarn, form.lblNote, form.chkDontAsk,
                                                    form.OKBtn, form.CancelBtn})
    EXPECT_TRUE(form.rect().contains(w->geometry())) << w->objectName().toStdString();
  EXPECT_GT(form.OKBtn->y(), form.chkDontAsk->geometry().bottom());
  form.close();
}

}  // namespace
