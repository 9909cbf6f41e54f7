#include "ota/Menus.h"

#include <algorithm>

namespace ota {

bool IsValidIdent(std::string_view name) {
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (name.empty() || !letter(name[0])) return false;
  return std::all_of(name.begin(), name.end(),
                     [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

// ---- TComponent ----

TComponent::~TComponent() {
  // Freed last first, so an owned item that refers to an earlier one never sees it gone.
  while (!owned_.empty()) {
    std::unique_ptr<TComponent> last = std::move(owned_.back());
    owned_.pop_back();
    last.reset();
  }
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  if (!name.empty() && !IsValidIdent(name))
    throw EComponentError(rtl::Format("'%s' is not a valid component name", {name}));
  if (owner_) owner_->CheckNameFree(name, this);
  name_ = name;
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount())
    throw EComponentError(rtl::Format("Component index out of bounds (%d)", {index}));
  return owned_[static_cast<size_t>(index)].get();
}

void TComponent::CheckNameFree(std::string_view name, const TComponent* except) const {
  if (name.empty()) return;
  for (const auto& c : owned_)
    if (c.get() != except && rtl::SameText(c->name_, name))
      throw EComponentError(rtl::Format("A component named %s already exists", {name}));
}

void TComponent::AdoptComponent(std::unique_ptr<TComponent> component) {
  rtl::Assert(component && component->owner_ == nullptr, "component without owner");
  CheckNameFree(component->name_, nullptr);
  component->owner_ = this;
  owned_.push_back(std::move(component));
}

// ---- TMenuItem ----

TMenuItem::~TMenuItem() {
  // Children and parent refer to each other without owning: untie both ways.
  for (TMenuItem* child : items_) child->parent_ = nullptr;
  if (parent_) {
    auto& siblings = parent_->items_;
    siblings.erase(std::find(siblings.begin(), siblings.end(), this));
    parent_->Notify(parent_, true);
  }
}

TMenuItem* TMenuItem::Create(TComponent& owner) {
  return owner.InsertComponent(std::make_unique<TMenuItem>());
}

void TMenuItem::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  Notify(this, false);
}

void TMenuItem::Click() {
  if (OnClick) OnClick(this);
}

TMenuItem* TMenuItem::Items(int index) const {
  if (index < 0 || index >= Count()) throw EMenuError("Menu index out of range");
  return items_[static_cast<size_t>(index)];
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TMenuItem::Insert(int index, TMenuItem* item) {
  rtl::Assert(item != nullptr, "menu item to insert");
  if (item->parent_ || item->menu_) throw EMenuError("Menu inserted twice");
  for (const TMenuItem* p = this; p; p = p->parent_)
    if (p == item) throw EMenuError("Menu inserted twice");
  if (index < 0 || index > Count()) throw EMenuError("Menu index out of range");
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
  Notify(this, true);
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) throw EMenuError("Menu item not found");
  items_.erase(it);
  item->parent_ = nullptr;
  Notify(this, true);
}

TMenuItem* TMenuItem::Find(std::string_view name) {
  if (Name() == name) return this;
  for (TMenuItem* child : items_)
    if (TMenuItem* found = child->Find(name)) return found;
  return nullptr;
}

TMainMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* top = this;
  while (top->parent_) top = top->parent_;
  return top->menu_;
}

void TMenuItem::Notify(TMenuItem* source, bool rebuild) {
  TMainMenu* menu = GetParentMenu();
  if (menu && menu->OnChange) menu->OnChange(source, rebuild);
}

// ---- TMainMenu ----

TMainMenu::TMainMenu() : root_(std::make_unique<TMenuItem>()) {
  root_->menu_ = this;
}

TMainMenu::~TMainMenu() {
  // No change reports while the menu goes away.
  OnChange = nullptr;
}

void InsertMenuItemByName(TMainMenu& menu, const std::string& targetName, TMenuItem* item,
                          bool insertAfter, bool insertAsChild) {
  TMenuItem* root = menu.Items();
  if (targetName.empty()) {
    root->Add(item);
    return;
  }
  TMenuItem* target = nullptr;
  for (int i = 0; i < root->Count() && !target; ++i) target = root->Items(i)->Find(targetName);
  if (!target) throw EMenuError(rtl::Format("Menu item '%s' not found", {targetName}));
  if (insertAsChild) {
    target->Add(item);
    return;
  }
  TMenuItem* parent = target->Parent();
  parent->Insert(parent->IndexOf(target) + (insertAfter ? 1 : 0), item);
}

}  // namespace ota
