// The per-user settings store of the desktop host and the plug-in, over QSettings: the registry
// key Software\Oxvale on Windows, the INI file Oxvale.ini in the user's configuration folder
// elsewhere. A section is a group, a key a value in it.
#pragma once

#include <memory>
#include <string>

#include "rtl/Settings.h"

class QSettings;

namespace migwiz {

class TQtSettingsStore : public rtl::TSettingsStore {
 public:
  // The user's store under the organisation "Oxvale".
  TQtSettingsStore();
  // An INI file of the caller's choosing (tests, portable set-ups).
  explicit TQtSettingsStore(const std::string& iniFileName);
  ~TQtSettingsStore() override;
  TQtSettingsStore(const TQtSettingsStore&) = delete;
  TQtSettingsStore& operator=(const TQtSettingsStore&) = delete;

  // Reads give the default when the value is missing or is not of the asked type.
  int ReadInteger(const std::string& section, const std::string& key, int def) override;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) override;
  bool ReadBool(const std::string& section, const std::string& key, bool def) override;
  // Writes reach the file or registry at once; rtl::Exception naming the store when they cannot.
  void WriteInteger(const std::string& section, const std::string& key, int value) override;
  void WriteString(const std::string& section, const std::string& key,
                   const std::string& value) override;
  void WriteBool(const std::string& section, const std::string& key, bool value) override;

  // The INI file or registry path behind the store.
  std::string FileName() const;

 private:
  void Flush();
  std::unique_ptr<QSettings> settings_;
};

}  // namespace migwiz
