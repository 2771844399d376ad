#include "ui/win32/Menus.h"

namespace ui::win32 {

MenuOwner Menus::BuildBar(Form& form) {
  if (form.Menus().empty()) return MenuOwner();
  MenuOwner bar(::CreateMenu());
  for (const auto& menu : form.Menus()) Append(bar.Get(), *menu);
  return bar;
}

void Menus::Append(HMENU parent, MenuItem& item) {
  const UINT grayed = item.Enabled() ? 0 : MF_GRAYED;
  if (item.IsSeparator()) {
    ::AppendMenuW(parent, MF_SEPARATOR, 0, nullptr);
  } else if (!item.Items().empty()) {
    MenuOwner popup(::CreatePopupMenu());
    for (const auto& child : item.Items()) Append(popup.Get(), *child);
    if (::AppendMenuW(parent, MF_POPUP | grayed, reinterpret_cast<UINT_PTR>(popup.Get()), item.Caption().c_str())) {
      popup.Release();  // the parent menu destroys it
    }
  } else {
    item.id = nextId_++;
    items_[item.id] = &item;
    ::AppendMenuW(parent, MF_STRING | grayed, item.id, item.Caption().c_str());
  }
}

void Menus::Forget(const std::vector<std::unique_ptr<MenuItem>>& items) {
  for (const auto& item : items) {
    items_.erase(item->id);
    Forget(item->Items());
  }
}

MenuItem* Menus::Find(unsigned id) const {
  auto it = items_.find(id);
  return it != items_.end() ? it->second : nullptr;
}

}  // namespace ui::win32
