#include "ui/win32/Menus.h"

namespace ui::win32 {

MenuBar Menus::Build(Form& form) {
  MenuBar bar;
  if (form.Menus().empty()) return bar;
  ::SetLastError(0);
  bar.menu = MenuOwner(::CreateMenu());
  if (!bar.menu) ThrowLastError(L"CreateMenu");
  for (const auto& menu : form.Menus()) Append(bar.menu.Get(), *menu, bar);
  return bar;
}

void Menus::Append(HMENU parent, MenuItem& item, MenuBar& bar) {
  const UINT grayed = item.Enabled() ? 0 : MF_GRAYED;
  UINT flags = MF_SEPARATOR;
  UINT_PTR idOrPopup = 0;
  MenuOwner popup;
  if (!item.IsSeparator() && !item.Items().empty()) {
    ::SetLastError(0);
    popup = MenuOwner(::CreatePopupMenu());
    if (!popup) ThrowLastError(L"CreatePopupMenu");
    for (const auto& child : item.Items()) Append(popup.Get(), *child, bar);
    flags = MF_POPUP | grayed;
    idOrPopup = reinterpret_cast<UINT_PTR>(popup.Get());
  } else if (!item.IsSeparator()) {
    const unsigned id = nextId_++;
    bar.ids.emplace_back(&item, id);
    flags = MF_STRING | grayed;
    idOrPopup = id;
  }
  ::SetLastError(0);
  if (!::AppendMenuW(parent, flags, idOrPopup, item.IsSeparator() ? nullptr : item.Caption().c_str())) {
    ThrowLastError(L"AppendMenuW");
  }
  popup.Release();  // the parent menu destroys it
}

void Menus::Use(Form& form, MenuBar& bar) {
  bar.menu.Release();
  Forget(form.Menus());
  for (const auto& [item, id] : bar.ids) {
    item->id = id;
    items_[id] = item;
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
