#include "MigWizard/ui/QtSettingsStore.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>

#include "MigWizard/ROvoradRes.h"
#include "rtl/SysUtils.h"

namespace migwiz {

namespace {

QString Path(const std::string& section, const std::string& key) {
  return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

// Texts are bytes; what is not UTF-8 (an 8-bit folder name) goes in as raw bytes so that it
// reads back unchanged instead of as replacement characters.
QVariant TextValue(const std::string& value) {
  QByteArray bytes(value.data(), static_cast<qsizetype>(value.size()));
  QString text = QString::fromUtf8(bytes);
  if (text.toUtf8() == bytes) return text;
  return bytes;
}

}  // namespace

TQtSettingsStore::TQtSettingsStore() {
#ifdef Q_OS_WIN
  settings_ = std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\Oxvale"),
                                          QSettings::NativeFormat);
#else
  settings_ = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                          QStringLiteral("Oxvale"));
#endif
}

TQtSettingsStore::TQtSettingsStore(const std::string& iniFileName)
    : settings_(
          std::make_unique<QSettings>(QString::fromStdString(iniFileName), QSettings::IniFormat)) {}

TQtSettingsStore::~TQtSettingsStore() = default;

std::string TQtSettingsStore::FileName() const {
  return settings_->fileName().toStdString();
}

int TQtSettingsStore::ReadInteger(const std::string& section, const std::string& key, int def) {
  QVariant v = settings_->value(Path(section, key));
  if (!v.isValid()) return def;
  bool ok = false;
  int result = v.toString().trimmed().toInt(&ok);
  return ok ? result : def;
}

std::string TQtSettingsStore::ReadString(const std::string& section, const std::string& key,
                                         const std::string& def) {
  QVariant v = settings_->value(Path(section, key));
  if (!v.isValid()) return def;
  if (v.typeId() == QMetaType::QByteArray) return v.toByteArray().toStdString();
  // A list (an unquoted comma in a hand-edited file) reads back as the text it was.
  if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(", ").toStdString();
  return v.toString().toStdString();
}

bool TQtSettingsStore::ReadBool(const std::string& section, const std::string& key, bool def) {
  QVariant v = settings_->value(Path(section, key));
  if (!v.isValid()) return def;
  QString text = v.toString().trimmed();
  bool ok = false;
  int number = text.toInt(&ok);
  if (ok) return number != 0;
  // Values written by hand or by other tools.
  if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
  if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
  return def;
}

void TQtSettingsStore::WriteInteger(const std::string& section, const std::string& key, int value) {
  settings_->setValue(Path(section, key), value);
  Flush();
}

void TQtSettingsStore::WriteString(const std::string& section, const std::string& key,
                                   const std::string& value) {
  settings_->setValue(Path(section, key), TextValue(value));
  Flush();
}

// Stored as 1 and 0, as the Windows original's registry store does.
void TQtSettingsStore::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteInteger(section, key, value ? 1 : 0);
}

void TQtSettingsStore::Flush() {
  settings_->sync();
  // A format error only says that lines of the file could not be read; the values were written
  // all the same, so only a refused write is an error.
  if (settings_->status() == QSettings::AccessError)
    throw rtl::Exception(rtl::Format(res::sCannotWriteSettings, {FileName()}));
}

}  // namespace migwiz
