// Toolkit-free stand-ins for the host's component, menu item and main menu. A desktop host
// mirrors a TMainMenu into its own toolkit through the menu's OnChange hook.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/SysUtils.h"

namespace ota {

class EComponentError : public rtl::Exception {
 public:
  using Exception::Exception;
};
class EMenuError : public rtl::Exception {
 public:
  using Exception::Exception;
};

// Letters, digits and "_", not starting with a digit; ASCII only.
bool IsValidIdent(std::string_view name);

// A named object that may own other components; an owner frees what it owns with itself.
class TComponent {
 public:
  TComponent() = default;
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return name_; }
  // Raises EComponentError for a name that is not empty and not a valid identifier, and for a
  // name another component of the same owner has (compared without regard to case).
  void SetName(const std::string& name);
  TComponent* Owner() const { return owner_; }

  int ComponentCount() const { return static_cast<int>(owned_.size()); }
  TComponent* Components(int index) const;
  // Takes ownership; raises EComponentError (freeing component) when its name is taken.
  template <class T>
  T* InsertComponent(std::unique_ptr<T> component) {
    T* raw = component.get();
    AdoptComponent(std::unique_ptr<TComponent>(std::move(component)));
    return raw;
  }

 private:
  void AdoptComponent(std::unique_ptr<TComponent> component);
  void CheckNameFree(std::string_view name, const TComponent* except) const;

  std::string name_;
  TComponent* owner_ = nullptr;
  std::vector<std::unique_ptr<TComponent>> owned_;
};

// The action a menu item may be linked to; the wizard never links one.
class TBasicAction : public TComponent {};

class TMenuItem;
class TMainMenu;
using TNotifyEvent = std::function<void(TMenuItem* sender)>;

class TMenuItem : public TComponent {
 public:
  TMenuItem() = default;
  ~TMenuItem() override;
  // A new item owned (and freed) by owner.
  static TMenuItem* Create(TComponent& owner);

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  TNotifyEvent OnClick;
  // Calls OnClick with this item as sender, when set.
  void Click();

  int Count() const { return static_cast<int>(items_.size()); }
  // Raises EMenuError for an index outside 0..Count-1.
  TMenuItem* Items(int index) const;
  TMenuItem* Parent() const { return parent_; }
  int IndexOf(const TMenuItem* item) const;
  // Inserts item as a child at index (0..Count); raises EMenuError when item already has a
  // parent, is this item or one of its parents, or index is out of range.
  void Insert(int index, TMenuItem* item);
  void Add(TMenuItem* item) { Insert(Count(), item); }
  // Takes item out of the children; it stays with its owner.
  void Remove(TMenuItem* item);
  // This item or the first below it (depth first) with the name (case-sensitive), or nullptr.
  TMenuItem* Find(std::string_view name);
  // The main menu whose tree holds this item, or nullptr.
  TMainMenu* GetParentMenu() const;

 private:
  friend class TMainMenu;
  void Notify(TMenuItem* source, bool rebuild);

  std::string caption_;
  std::vector<TMenuItem*> items_;  // owned by their owners, not by the parent
  TMenuItem* parent_ = nullptr;
  TMainMenu* menu_ = nullptr;  // set on a main menu's root item only
};

// The IDE's main menu: its top-level items are the children of Items(). It usually owns them.
class TMainMenu : public TComponent {
 public:
  TMainMenu();
  ~TMainMenu() override;
  TMenuItem* Items() const { return root_.get(); }

  // Called after a caption changed (rebuild false; source the item) or after items were
  // inserted or removed (rebuild true; source the parent whose children changed).
  std::function<void(TMenuItem* source, bool rebuild)> OnChange;

 private:
  std::unique_ptr<TMenuItem> root_;
};

// The IDE's placement rule for inserting item by a target's name: as the target's last child
// (insertAsChild) or as its sibling after or before it (insertAfter); an empty targetName
// appends item to the top level. Raises EMenuError naming a target that the menu does not hold.
void InsertMenuItemByName(TMainMenu& menu, const std::string& targetName, TMenuItem* item,
                          bool insertAfter, bool insertAsChild);

}  // namespace ota
