#include "product/ui/KyWizard.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>
#include <QStackedWidget>

#include "MigWizard/Dialogs.h"
#include "support/QtTestApp.h"

namespace {

using ky::TKyWizardForm;

QColor TextColor(const QLabel* label) {
  return label->palette().color(QPalette::WindowText);
}

void Send(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::NoButton) {
  QPointF local(pos);
  QPointF global(target->mapToGlobal(pos));
  Qt::MouseButtons buttons =
      type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::MouseButtons();
  QMouseEvent event(type, local, global, button, buttons, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

void MoveOver(QWidget* target, QPoint pos = QPoint(2, 2)) {
  Send(target, QEvent::MouseMove, pos);
}

// A point of the widget that no child covers.
QPoint FreePoint(QWidget* w) {
  for (int y = w->height() - 2; y > 0; y -= 3)
    for (int x = 2; x < w->width(); x += 3)
      if (!w->childAt(x, y)) return {x, y};
  ADD_FAILURE() << "no free area in " << w->objectName().toStdString();
  return {};
}

class KyWizardTest : public qttest::QtTest {
 protected:
  void SetUp() override { migwiz::SetDialogs(&dialogs); }
  void TearDown() override { migwiz::SetDialogs(nullptr); }
  // As the expert hands the dialog over before showing it.
  void Prepare(TKyWizardForm& form) {
    form.FProductName = "Kyzel";
    form.FOptions = &options;
    form.SetWelcomeText(options.SourceName, form.FProductName);
  }
  migwiz::TScriptedDialogs dialogs;
  migwiz::TReplaceOptions options{"BDE"};
};

TEST_F(KyWizardTest, TheSidePictureIsTheProducts) {
  TKyWizardForm form;
  ASSERT_FALSE(form.Image1->pixmap().isNull());
  EXPECT_EQ(form.Image1->pixmap().size(), QSize(120, 260));
  migwiz::TWizardForm plain;
  EXPECT_TRUE(plain.Image1->pixmap().isNull()) << "the framework's dialog has no picture";
}

TEST_F(KyWizardTest, TheLinkSitsOnTheWelcomePageOnly) {
  TKyWizardForm form;
  QLabel* link = form.FLinkLabel;
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->parentWidget(), form.Step1Sheet);
  EXPECT_EQ(link->text(), "Migrate from another components");
  EXPECT_EQ(link->pos(), QPoint(35, 248));
  EXPECT_GE(link->width(), 158);
  EXPECT_GE(link->height(), 13);
  EXPECT_GE(link->width(), link->sizeHint().width()) << "the link is cut off";
  EXPECT_EQ(link->palette().color(QPalette::Window), link->palette().color(QPalette::Button));
  EXPECT_EQ(TextColor(link), QColor(0, 0, 255));

  Prepare(form);
  form.show();
  // Below the mode buttons and inside the page.
  EXPECT_GT(link->y(), form.rbModeRestore->geometry().bottom());
  EXPECT_TRUE(form.Step1Sheet->rect().contains(link->geometry()));
  for (int i = 0; i < form.StepsPageControl->count(); ++i) {
    QWidget* page = form.StepsPageControl->widget(i);
    form.StepsPageControl->setCurrentWidget(page);
    EXPECT_EQ(link->isVisible(), page == form.Step1Sheet) << page->objectName().toStdString();
  }
  form.reject();
}

TEST_F(KyWizardTest, HoverTurnsOrangeUntilTheMouseReachesAFreeArea) {
  TKyWizardForm form;
  Prepare(form);
  form.show();
  QLabel* link = form.FLinkLabel;
  MoveOver(link);
  EXPECT_EQ(TextColor(link), QColor(255, 128, 64));
  // Onto a control of the page: the colour stays.
  MoveOver(form.rbModeRestore);
  MoveOver(form.Label2);
  EXPECT_EQ(TextColor(link), QColor(255, 128, 64));
  MoveOver(form.Step1Sheet, FreePoint(form.Step1Sheet));
  EXPECT_EQ(TextColor(link), QColor(0, 0, 255));
  MoveOver(link);
  MoveOver(&form, FreePoint(&form));
  EXPECT_EQ(TextColor(link), QColor(0, 0, 255));
  form.reject();
}

TEST_F(KyWizardTest, ClickingTheLinkMailsSupportAndLeavesTheWizardAsItWas) {
  TKyWizardForm form;
  Prepare(form);
  form.show();
  form.rbModeRestore->click();
  const QString caption = form.windowTitle();
  QLabel* link = form.FLinkLabel;
  MoveOver(link);
  Send(link, QEvent::MouseButtonPress, QPoint(3, 3), Qt::LeftButton);
  Send(link, QEvent::MouseButtonRelease, QPoint(3, 3), Qt::LeftButton);

  ASSERT_EQ(dialogs.calls.size(), 1u);
  EXPECT_EQ(dialogs.calls[0].Kind, "ShellOpen");
  EXPECT_EQ(dialogs.calls[0].Text,
            "mailto:support@kyzel.example?CC=&subject=Migrate from%20another%20components");
  EXPECT_EQ(TextColor(link), QColor(0, 0, 255));
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.StepsPageControl->currentWidget(), form.Step1Sheet);
  EXPECT_TRUE(form.rbModeRestore->isChecked());
  EXPECT_EQ(form.windowTitle(), caption);

  // A right click or a release outside the link opens nothing.
  Send(link, QEvent::MouseButtonRelease, QPoint(3, 3), Qt::RightButton);
  Send(link, QEvent::MouseButtonRelease, QPoint(-5, 3), Qt::LeftButton);
  EXPECT_EQ(dialogs.calls.size(), 1u);
  form.reject();
}

}  // namespace
