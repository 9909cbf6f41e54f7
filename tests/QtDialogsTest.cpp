#include "MigWizard/ui/QtDialogs.h"

#include <gtest/gtest.h>

#include "MigWizard/ROvoradRes.h"

namespace {

TEST(QtDialogsTest, FiltersInTheWindowsNotationBecomeQtFilters) {
  EXPECT_EQ(migwiz::QtFileFilter(migwiz::res::sUndoFilter).toStdString(),
            "Undo files (*.reu);;All files (*)");
  EXPECT_EQ(migwiz::QtFileFilter("Delphi sources|*.pas;*.dpr").toStdString(),
            "Delphi sources (*.pas *.dpr)");
  // A dangling description without a pattern is dropped rather than shown without one.
  EXPECT_EQ(migwiz::QtFileFilter("Forms (*.dfm)|*.dfm|Broken").toStdString(), "Forms (*.dfm)");
  EXPECT_EQ(migwiz::QtFileFilter("").toStdString(), "");
}

TEST(QtDialogsTest, ShellTargetsAreLinksOrLocalFiles) {
  QUrl mail = migwiz::ShellUrl(
      "mailto:support@kyzel.example?CC=&subject=Migrate from%20another%20components");
  EXPECT_EQ(mail.scheme(), "mailto");
  EXPECT_EQ(mail.path(), "support@kyzel.example");
  EXPECT_EQ(mail.query(QUrl::FullyDecoded), "CC=&subject=Migrate from another components");

  QUrl log = migwiz::ShellUrl("/tmp/My App/Wiz_Log.txt");
  EXPECT_TRUE(log.isLocalFile());
  EXPECT_EQ(log.toLocalFile(), "/tmp/My App/Wiz_Log.txt");
  // A drive letter is not a scheme.
  EXPECT_TRUE(migwiz::ShellUrl("C:/Work/App/Wiz_Log.txt").isLocalFile());
  EXPECT_EQ(migwiz::ShellUrl("https://kyzel.example/").scheme(), "https");
}

}  // namespace
