#include "MigWizard/ui/SaveWarn.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "MigWizard/ui/QtSettingsStore.h"
#include "MigWizard/ROvoradRes.h"
#include "rtl/SysUtils.h"

namespace migwiz {

namespace {

template <class W>
W* Named(QWidget* parent, const char* name, const QString& text) {
  auto* w = new W(text, parent);
  w->setObjectName(QLatin1String(name));
  return w;
}

}  // namespace

TSaveWarnForm::TSaveWarnForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("SaveWarnForm"));
  setModal(true);

  Image1 = Named<QLabel>(this, "Image1", QString());
  Image1->setFixedSize(30, 30);
  Image1->setAttribute(Qt::WA_TranslucentBackground);
  lblWarn = Named<QLabel>(this, "lblWarn", QStringLiteral("lblWarn"));
  lblWarn->setWordWrap(true);
  Label2 = Named<QLabel>(this, "Label2", QStringLiteral("Note:"));
  lblNote = Named<QLabel>(this, "lblNote", QStringLiteral("lblNote"));
  lblNote->setWordWrap(true);
  Bevel1 = new QFrame(this);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);
  OKBtn = Named<QPushButton>(this, "OKBtn", QStringLiteral("&Yes"));
  OKBtn->setDefault(true);
  CancelBtn = Named<QPushButton>(this, "CancelBtn", QStringLiteral("&No"));
  // Made after the buttons: the focus goes Yes, No, then the box.
  chkDontAsk = Named<QCheckBox>(this, "chkDontAsk", QStringLiteral("&Don't ask me this again"));
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, [this] { done(kSaveWarnNo); });

  auto* texts = new QGridLayout;
  texts->setHorizontalSpacing(12);
  texts->setVerticalSpacing(10);
  texts->addWidget(Image1, 0, 0, Qt::AlignTop | Qt::AlignLeft);
  texts->addWidget(lblWarn, 0, 1, Qt::AlignVCenter);
  texts->addWidget(Label2, 1, 0, Qt::AlignTop);
  texts->addWidget(lblNote, 1, 1, Qt::AlignTop);
  texts->setColumnStretch(1, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);

  auto* main = new QVBoxLayout(this);
  main->setContentsMargins(14, 14, 14, 12);
  main->setSpacing(10);
  main->addLayout(texts);
  main->addSpacing(4);
  main->addWidget(chkDontAsk);
  main->addWidget(Bevel1);
  main->addLayout(buttons);

  OKBtn->setFocus();

  FormCreate();
  // Room for the longest question on one line; the height follows the texts when shown.
  lblWarn->setMinimumWidth(lblWarn->fontMetrics().horizontalAdvance(res::sWarnRestore) + 4);
}

void TSaveWarnForm::FormCreate() {
  Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(30, 30));
}

void TSaveWarnForm::showEvent(QShowEvent* event) {
  // Fixed at the size its texts need, centred on the screen.
  setFixedSize(sizeHint());
  if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
  QDialog::showEvent(event);
}

bool ShowSaveWarning(const std::string& section, bool isProject, bool isRestore,
                     const std::string& detail, const TSaveWarnSeams& seams) {
  return AskSaveWarning(section, isProject, isRestore, detail, seams) == TSaveWarnAnswer::Yes;
}

TSaveWarnAnswer AskSaveWarning(const std::string& section, bool isProject, bool isRestore,
                               const std::string& detail, const TSaveWarnSeams& seams) {
  const char* key = isProject ? (isRestore ? "RestoreProjWarn" : "ReplaceProjWarn")
                              : (isRestore ? "RestoreDirWarn" : "ReplaceDirWarn");
  const char* question = isRestore ? res::sWarnRestore : res::sWarnReplace;
  const char* note = (isProject && !isRestore) ? res::sNoteHideForms : res::sNoteCloseProject;

  // Both are released when they go out of scope, also when an exception passes.
  std::shared_ptr<rtl::TSettingsStore> store =
      seams.Store ? seams.Store() : std::make_shared<TQtSettingsStore>();
  rtl::Assert(store != nullptr, "the save warning's store factory gave no store");
  if (!store->ReadBool(section, key, true)) return TSaveWarnAnswer::Yes;

  TSaveWarnForm form;
  form.setWindowTitle(QString::fromStdString(section));
  form.lblNote->setText(QString::fromStdString(detail.empty() ? std::string(note)
                                                               : std::string(note) + "\n" + detail));
  form.lblWarn->setText(QString::fromUtf8(question));
  int result = seams.Run ? seams.Run(form) : form.exec();
  if (result == kSaveWarnNo) return TSaveWarnAnswer::No;
  if (result != QDialog::Accepted) return TSaveWarnAnswer::Back;
  store->WriteBool(section, key, !form.chkDontAsk->isChecked());
  return TSaveWarnAnswer::Yes;
}

}  // namespace migwiz
