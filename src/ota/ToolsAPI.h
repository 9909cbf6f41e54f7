// The IDE's Open Tools interfaces that the wizard calls, as abstract classes, and the global
// services reference. A host (or a test) implements them; the wizard only calls them.
//
// Interfaces are found by GUID through QueryInterface, as in the IDE: an object decides which
// interfaces it answers, independent of what it derives from. Objects are held by
// std::shared_ptr; the holder's reference keeps an object alive. Interface inheritance is virtual
// so that an implementation can share one base class across several interfaces (a project is a
// module, a source editor is an editor).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ota/Menus.h"
#include "rtl/SysUtils.h"

namespace ota {

struct TGUID {
  std::uint32_t D1 = 0;
  std::uint16_t D2 = 0;
  std::uint16_t D3 = 0;
  std::array<std::uint8_t, 8> D4{};

  friend constexpr bool operator==(const TGUID&, const TGUID&) = default;
  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
  std::string ToString() const;
};

namespace detail {
constexpr int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
// Reads count hexadecimal digits at pos; false on a non-digit.
constexpr bool ReadHex(std::string_view text, size_t pos, size_t count, std::uint64_t& value) {
  value = 0;
  for (size_t i = 0; i < count; ++i) {
    int digit = HexValue(text[pos + i]);
    if (digit < 0) return false;
    value = value * 16 + static_cast<std::uint64_t>(digit);
  }
  return true;
}
}  // namespace detail

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}". Raises rtl::EConvertError naming the text when
// it is malformed; in a constant expression a malformed GUID does not compile.
constexpr TGUID StringToGUID(std::string_view text) {
  constexpr size_t kLength = 38;
  bool ok = text.size() == kLength && text[0] == '{' && text[37] == '}' && text[9] == '-' &&
            text[14] == '-' && text[19] == '-' && text[24] == '-';
  TGUID guid;
  std::uint64_t value = 0;
  ok = ok && detail::ReadHex(text, 1, 8, value);
  guid.D1 = static_cast<std::uint32_t>(value);
  ok = ok && detail::ReadHex(text, 10, 4, value);
  guid.D2 = static_cast<std::uint16_t>(value);
  ok = ok && detail::ReadHex(text, 15, 4, value);
  guid.D3 = static_cast<std::uint16_t>(value);
  constexpr size_t kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (size_t i = 0; ok && i < 8; ++i) {
    ok = detail::ReadHex(text, kBytePos[i], 2, value);
    guid.D4[i] = static_cast<std::uint8_t>(value);
  }
  if (!ok) throw rtl::EConvertError("'" + std::string(text) + "' is not a valid GUID value");
  return guid;
}

// Raised by As when an object does not answer the interface asked for.
class EIntfCastError : public rtl::Exception {
 public:
  using Exception::Exception;
};

// Root of every interface: the interface query. Reference counting is std::shared_ptr's.
class IInterface {
 public:
  static constexpr TGUID IID = StringToGUID("{00000000-0000-0000-C000-000000000046}");
  virtual ~IInterface() = default;
  // The object's part that implements the interface iid, or nullptr when it does not answer it.
  virtual IInterface* QueryInterface(const TGUID& iid) { return iid == IID ? this : nullptr; }
};

// For implementations of QueryInterface: self as the first of Interfaces whose IID is iid, else
// nullptr. Typical use: `if (auto* p = QueryFor<IFoo, IBar>(this, iid)) return p;`.
template <class... Interfaces, class Self>
IInterface* QueryFor(Self* self, const TGUID& iid) {
  IInterface* found = nullptr;
  ((found == nullptr && iid == Interfaces::IID
        ? (found = static_cast<IInterface*>(static_cast<Interfaces*>(self)), true)
        : false),
   ...);
  return found;
}

// The object's T, sharing ownership with obj; nullptr when obj is empty or does not answer T.
template <class T, class U>
std::shared_ptr<T> Supports(const std::shared_ptr<U>& obj) {
  if (!obj) return nullptr;
  IInterface* part = static_cast<IInterface*>(obj.get())->QueryInterface(T::IID);
  T* typed = part ? dynamic_cast<T*>(part) : nullptr;
  if (!typed) return nullptr;
  return std::shared_ptr<T>(obj, typed);
}

// The "as" cast: like Supports, but an object that does not answer T (or no object at all)
// raises EIntfCastError.
template <class T, class U>
std::shared_ptr<T> As(const std::shared_ptr<U>& obj) {
  if (auto typed = Supports<T>(obj)) return typed;
  throw EIntfCastError("Interface not supported");
}

// ---- Notifiers and wizards ----

class IOTANotifier : public virtual IInterface {
 public:
  // This port's own GUID: the system never queries it.
  static constexpr TGUID IID = StringToGUID("{6B0E8A51-3C1E-4F0B-9D33-7A10C5E0A001}");
  virtual void AfterSave() = 0;
  virtual void BeforeSave() = 0;
  virtual void Destroyed() = 0;
  virtual void Modified() = 0;
};

enum class TWizardStateE { wsEnabled, wsChecked };

// set of TWizardStateE; empty by default.
class TWizardState {
 public:
  TWizardState() = default;
  TWizardState& Include(TWizardStateE e) {
    bits_ |= Bit(e);
    return *this;
  }
  bool Contains(TWizardStateE e) const { return (bits_ & Bit(e)) != 0; }
  bool Empty() const { return bits_ == 0; }
  friend bool operator==(const TWizardState&, const TWizardState&) = default;

 private:
  static unsigned Bit(TWizardStateE e) { return 1u << static_cast<unsigned>(e); }
  unsigned bits_ = 0;
};

class IOTAWizard : public virtual IOTANotifier {
 public:
  static constexpr TGUID IID = StringToGUID("{B75C0CE0-EEA6-11D1-9504-00608CCBF153}");
  virtual std::string GetIDString() = 0;
  virtual std::string GetName() = 0;
  virtual TWizardState GetState() = 0;
  virtual void Execute() = 0;
};

// ---- Projects, modules and editors ----

class IOTAEditor : public virtual IInterface {
 public:
  static constexpr TGUID IID = StringToGUID("{F17A7BD0-E07D-11D1-AB0B-00C04FB16FB3}");
  virtual std::string FileName() = 0;
  // Brings the editor to the front.
  virtual void Show() = 0;
};

// The code editor of a module.
class IOTASourceEditor : public virtual IOTAEditor {
 public:
  static constexpr TGUID IID = StringToGUID("{5D965803-8147-4D32-B8C5-712F6DDCF98E}");
};

class IOTAProject;

class IOTAModule : public virtual IInterface {
 public:
  // This port's own GUID: the system never queries it.
  static constexpr TGUID IID = StringToGUID("{6B0E8A51-3C1E-4F0B-9D33-7A10C5E0A002}");
  virtual std::string FileName() = 0;
  virtual int ModuleFileCount() = 0;
  virtual std::shared_ptr<IOTAEditor> ModuleFileEditors(int index) = 0;
  virtual int OwnerCount() = 0;
  virtual std::shared_ptr<IOTAProject> Owners(int index) = 0;
  // True when the module was closed.
  virtual bool Close() = 0;
};

// An entry of a project's module list.
class IOTAModuleInfo : public virtual IInterface {
 public:
  // This port's own GUID: the system never queries it.
  static constexpr TGUID IID = StringToGUID("{6B0E8A51-3C1E-4F0B-9D33-7A10C5E0A003}");
  virtual std::string FileName() = 0;
};

class IOTAProject : public virtual IOTAModule {
 public:
  // This port's own GUID: the system never queries it.
  static constexpr TGUID IID = StringToGUID("{6B0E8A51-3C1E-4F0B-9D33-7A10C5E0A004}");
  // True when the project was saved.
  virtual bool Save(bool changeName, bool forceSave) = 0;
  virtual int GetModuleCount() = 0;
  virtual std::shared_ptr<IOTAModuleInfo> GetModule(int index) = 0;
};

class IOTAProjectGroup : public virtual IOTAModule {
 public:
  static constexpr TGUID IID = StringToGUID("{F17A7BCB-E07D-11D1-AB0B-00C04FB16FB3}");
  // nullptr when the group holds no project.
  virtual std::shared_ptr<IOTAProject> ActiveProject() = 0;
};

// ---- Services ----

class IOTAModuleServices : public virtual IInterface {
 public:
  static constexpr TGUID IID = StringToGUID("{55A5E848-27FB-4880-8E7C-7F05A9802482}");
  virtual int ModuleCount() = 0;
  virtual std::shared_ptr<IOTAModule> Modules(int index) = 0;
};

class IOTAActionServices : public virtual IInterface {
 public:
  static constexpr TGUID IID = StringToGUID("{F17A7BC9-E07D-11D1-AB0B-00C04FB16FB3}");
  virtual bool OpenProject(const std::string& fileName, bool newProjGroup) = 0;
  // Opens a file in the IDE's editor; false when it cannot.
  virtual bool OpenFile(const std::string& fileName) = 0;
  virtual bool ReloadFile(const std::string& fileName) = 0;
};

class INTAServices : public virtual IInterface {
 public:
  static constexpr TGUID IID = StringToGUID("{26B056B7-FB49-41BC-A8C2-151DE1EBF465}");
  virtual TMainMenu* MainMenu() = 0;
  // Puts newItem next to (insertAsChild false) or under (true) the item named targetName, after
  // or before it (insertAfter); an empty targetName appends it to the top level. A host may use
  // ota::InsertMenuItemByName.
  virtual void InsertMenuItem(const std::string& targetName, TBasicAction* action,
                              TMenuItem* newItem, bool insertAfter, bool insertAsChild) = 0;
};

// The IDE's services object; empty until a host (or the plug-in entry) sets it.
extern std::shared_ptr<IInterface> BorlandIDEServices;

}  // namespace ota
