#include "MigWizard/ui/QtDialogs.h"

#include <algorithm>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpacerItem>
#include <QStringList>
#include <QWidget>

#include "MigWizard/ROvoradRes.h"
#include "rtl/SysUtils.h"

namespace migwiz {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// Dialogs sit over whatever window is in front, so a modal wizard stays behind them.
QWidget* Owner() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

QMessageBox::Icon QtIcon(TMsgIcon icon) {
  switch (icon) {
    case TMsgIcon::Information:
      return QMessageBox::Information;
    case TMsgIcon::Error:
      return QMessageBox::Critical;
    case TMsgIcon::Question:
      return QMessageBox::Question;
    case TMsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

// The application's own caption, as the standard information message uses it.
QString AppCaption() {
  QString name = QGuiApplication::applicationDisplayName();
  return name.isEmpty() ? QCoreApplication::applicationName() : name;
}

}  // namespace

void TQtDialogs::MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon) {
  QMessageBox box(QtIcon(icon), Q(caption), Q(text), QMessageBox::Ok, Owner());
  // A short text must not cut the caption short: the box is at least as wide as the caption
  // and the title bar's buttons need.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    const int width = box.fontMetrics().horizontalAdvance(Q(caption)) + 120;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  box.exec();
}

void TQtDialogs::ShowMessage(const std::string& text) {
  QMessageBox::information(Owner(), AppCaption(), Q(text), QMessageBox::Ok);
}

bool TQtDialogs::SelectDirectory(const std::string& title, std::string& folder) {
  QString picked = QFileDialog::getExistingDirectory(Owner(), Q(title), QString());
  if (picked.isEmpty()) return false;
  folder = QDir::toNativeSeparators(picked).toStdString();
  return true;
}

bool TQtDialogs::OpenFile(const std::string& filter, const std::string& startFolder,
                          std::string& fileName) {
  // getOpenFileName only accepts a file that exists in a folder that exists.
  QString picked =
      QFileDialog::getOpenFileName(Owner(), QString(), Q(startFolder), QtFileFilter(filter));
  if (picked.isEmpty()) return false;
  fileName = QDir::toNativeSeparators(picked).toStdString();
  return true;
}

namespace {

// Whether the desktop has a program for mail links. The opener itself starts detached and
// reports success whether or not it finds one, so it is asked first (freedesktop desktops).
bool HasMailProgram() {
#if defined(_WIN32) || defined(__APPLE__)
  return true;
#else
  QProcess query;
  query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                           QStringLiteral("x-scheme-handler/mailto")});
  if (!query.waitForFinished(3000) || query.exitCode() != 0) return false;
  return !query.readAllStandardOutput().trimmed().isEmpty();
#endif
}

}  // namespace

void TQtDialogs::ShellOpen(const std::string& target) {
  // Hands over to the desktop's opener, which runs detached; one that cannot be started is told.
  if (target.empty()) return;
  const QUrl url = ShellUrl(target);
  const bool mail = url.scheme() == QLatin1String("mailto");
  if ((!mail || HasMailProgram()) && QDesktopServices::openUrl(url)) return;
  QWidget* owner = Owner();
  const QString caption =
      owner && !owner->windowTitle().isEmpty() ? owner->windowTitle() : QStringLiteral("Open");
  QMessageBox::warning(owner, caption,
                       Q(rtl::Format(mail ? res::sNoMailProgram : res::sNoProgramToOpen,
                                     {mail ? target.substr(7) : target})));
}

namespace {

class TQtRunProgress : public IRunProgress {
 public:
  explicit TQtRunProgress(const std::string& title) : dialog_(Owner()) {
    dialog_.setObjectName(QStringLiteral("ProgressForm"));
    dialog_.setWindowTitle(QString::fromStdString(title));
    dialog_.setWindowModality(Qt::ApplicationModal);
    cancel_ = new QPushButton(QStringLiteral("C&ancel"));
    cancel_->setObjectName(QStringLiteral("btCancelRun"));
    dialog_.setCancelButton(cancel_);
    dialog_.setAutoClose(false);
    dialog_.setAutoReset(false);
    dialog_.setMinimumDuration(0);
    dialog_.setMinimumWidth(480);
    dialog_.show();
  }
  bool Update(int done, int total, const std::string& file) override {
    // A run of thousands of files paints the window some twenty times a second, not per file.
    if (shown_.isValid() && shown_.elapsed() < 50 && done < total) return !dialog_.wasCanceled();
    shown_.start();
    dialog_.setMaximum(std::max(total, 1));
    dialog_.setLabelText(
        (file.empty() ? QString() : QString::fromStdString(file) + QLatin1Char('\n')) +
        Q(rtl::Format(res::sFilesDone, {done, total})));
    dialog_.setValue(std::min(done, std::max(total, 1)));
    QCoreApplication::processEvents();
    return !dialog_.wasCanceled();
  }
  void DisableCancel() override {
    cancel_->setEnabled(false);
    QCoreApplication::processEvents();
  }

 private:
  QProgressDialog dialog_;
  QPushButton* cancel_;
  QElapsedTimer shown_;
};

}  // namespace

std::unique_ptr<IRunProgress> TQtDialogs::BeginProgress(const std::string& title) {
  return std::make_unique<TQtRunProgress>(title);
}

QString QtFileFilter(const std::string& filter) {
  QStringList parts = Q(filter).split(QLatin1Char('|'));
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : patterns) {
      p = p.trimmed();
      if (p == QLatin1String("*.*")) p = QStringLiteral("*");
    }
    // Qt reads the patterns from the parentheses at the end, so the description's own copy
    // (in the Windows notation) is replaced.
    static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)$"));
    description.remove(trailingPatterns);
    result << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                  QLatin1Char(')');
  }
  return result.join(QStringLiteral(";;"));
}

QUrl ShellUrl(const std::string& target) {
  QString text = Q(target);
  // Two letters or more before the colon: a drive letter ("C:") is a path, not a scheme.
  static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
  if (scheme.match(text).hasMatch()) return QUrl(text, QUrl::TolerantMode);
  return QUrl::fromLocalFile(text);
}

}  // namespace migwiz
