#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "ui/Controls.h"
#include "ui/win32/Handles.h"

namespace ui::win32 {

// A menu bar built for a form: its entries answer to their command ids once it is in use (Menus::Use).
struct MenuBar {
  MenuOwner menu;  // null when the form has no menus
  std::vector<std::pair<MenuItem*, unsigned>> ids;
};

// The forms' menu bars: each entry that can be clicked gets a command id of its own, by which the
// form's window finds it again.
class Menus {
 public:
  // The form's menu bar, built whole; CError when the system refuses a menu or an entry (nothing of it
  // is kept, and the ids in use stay as they were).
  MenuBar Build(Form& form);
  // The form's window holds `bar` now: gives up the bar's menu to the window; its entries answer to
  // their new ids, those of the bar before are forgotten.
  void Use(Form& form, MenuBar& bar);
  // Forgets the ids of `items` and of the entries below them.
  void Forget(const std::vector<std::unique_ptr<MenuItem>>& items);
  // The entry of a command id; null when none.
  MenuItem* Find(unsigned id) const;

 private:
  void Append(HMENU parent, MenuItem& item, MenuBar& bar);

  std::map<unsigned, MenuItem*> items_;
  unsigned nextId_ = 40000;
};

}  // namespace ui::win32
