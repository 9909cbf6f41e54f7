#include "product/ui/KyWizard.h"

#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <algorithm>
#include <string>

#include "MigWizard/Dialogs.h"

// The resources live in a static library, whose initialiser the linker would drop unless named.
static void InitKyWizardResources() {
  Q_INIT_RESOURCE(migwiz);
}

namespace ky {

namespace {

constexpr int kLinkLeft = 35;
constexpr int kLinkTop = 248;
constexpr int kLinkWidth = 158;
constexpr int kLinkHeight = 13;

}  // namespace

TKyWizardForm::TKyWizardForm(QWidget* owner) : migwiz::TWizardForm(owner) {
  InitKyWizardResources();
  Image1->setPixmap(QPixmap(QStringLiteral(":/migwiz/side.png")));
  FormCreate();
}

void TKyWizardForm::FormCreate() {
  FLinkLabel = new QLabel(QStringLiteral("Migrate from another components"), Step1Sheet);
  FLinkLabel->setObjectName(QStringLiteral("FLinkLabel"));
  FLinkLabel->setTextFormat(Qt::PlainText);
  FLinkLabel->setCursor(Qt::PointingHandCursor);

  // Its own font and background, whatever the page uses.
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(13);
  font.setUnderline(true);
  FLinkLabel->setFont(font);
  QPalette palette = FLinkLabel->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Button));
  FLinkLabel->setPalette(palette);
  FLinkLabel->setAutoFillBackground(true);
  SetLinkColor(LinkColor);

  // The substitute for MS Sans Serif may be wider or taller: the box grows so that the link is
  // never cut off.
  const QSize needed = FLinkLabel->sizeHint();
  FLinkLabel->setGeometry(kLinkLeft, kLinkTop, std::max(kLinkWidth, needed.width()),
                          std::max(kLinkHeight, needed.height()));
  FLinkLabel->raise();

  FLinkLabel->setMouseTracking(true);
  Step1Sheet->setMouseTracking(true);
  setMouseTracking(true);
  FLinkLabel->installEventFilter(this);
  Step1Sheet->installEventFilter(this);
}

void TKyWizardForm::SetLinkColor(const QColor& color) {
  QPalette palette = FLinkLabel->palette();
  palette.setColor(QPalette::WindowText, color);
  FLinkLabel->setPalette(palette);
}

void TKyWizardForm::LinkLabelMouseMove() {
  SetLinkColor(LinkHoverColor);
}

void TKyWizardForm::FormMouseMove() {
  SetLinkColor(LinkColor);
}

void TKyWizardForm::LinkLabelClick() {
  SetLinkColor(LinkColor);
  migwiz::Dialogs().ShellOpen(std::string("mailto:") + SupportAddress +
                              "?CC=&subject=Migrate from%20another%20components");
}

bool TKyWizardForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FLinkLabel) {
    if (event->type() == QEvent::MouseMove) {
      LinkLabelMouseMove();
    } else if (event->type() == QEvent::MouseButtonRelease) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton &&
          FLinkLabel->rect().contains(mouse->position().toPoint()))
        LinkLabelClick();
    }
  } else if (watched == Step1Sheet && event->type() == QEvent::MouseMove) {
    // Only a free area of the page counts: a move over one of its controls reaches the page too
    // (the controls pass it on), and the hover colour stays there.
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (!Step1Sheet->childAt(mouse->position().toPoint())) FormMouseMove();
  }
  return migwiz::TWizardForm::eventFilter(watched, event);
}

void TKyWizardForm::mouseMoveEvent(QMouseEvent* event) {
  if (!childAt(event->position().toPoint())) FormMouseMove();
  migwiz::TWizardForm::mouseMoveEvent(event);
}

}  // namespace ky
