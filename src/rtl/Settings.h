// The per-user settings store: values addressed by section and key, reads with a default.
#pragma once

#include <map>
#include <string>
#include <utility>

namespace rtl {

class TSettingsStore {
 public:
  virtual ~TSettingsStore() = default;
  virtual int ReadInteger(const std::string& section, const std::string& key, int def) = 0;
  virtual std::string ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) = 0;
  virtual bool ReadBool(const std::string& section, const std::string& key, bool def) = 0;
  virtual void WriteInteger(const std::string& section, const std::string& key, int value) = 0;
  virtual void WriteString(const std::string& section, const std::string& key,
                           const std::string& value) = 0;
  virtual void WriteBool(const std::string& section, const std::string& key, bool value) = 0;
};

// Keeps values in memory, typed as written; used by tests and by hosts without a store.
class TMemorySettingsStore : public TSettingsStore {
 public:
  int ReadInteger(const std::string& section, const std::string& key, int def) override;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) override;
  bool ReadBool(const std::string& section, const std::string& key, bool def) override;
  void WriteInteger(const std::string& section, const std::string& key, int value) override;
  void WriteString(const std::string& section, const std::string& key,
                   const std::string& value) override;
  void WriteBool(const std::string& section, const std::string& key, bool value) override;

  bool Has(const std::string& section, const std::string& key) const;
  // Raw text of a value as stored ("1"/"0" for Booleans), "" when absent.
  std::string Raw(const std::string& section, const std::string& key) const;
  int WriteCount() const { return writes_; }

 private:
  std::map<std::pair<std::string, std::string>, std::string> values_;
  int writes_ = 0;
};

}  // namespace rtl
