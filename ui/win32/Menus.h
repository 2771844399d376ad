#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <vector>

#include "ui/Controls.h"
#include "ui/win32/Handles.h"

namespace ui::win32 {

// The forms' menu bars: each entry that can be clicked gets a command id of its own, by which the
// form's window finds it again.
class Menus {
 public:
  // The form's menu bar; none when the form has no menus.
  MenuOwner BuildBar(Form& form);
  // Forgets the ids of `items` and of the entries below them.
  void Forget(const std::vector<std::unique_ptr<MenuItem>>& items);
  // The entry of a command id; null when none.
  MenuItem* Find(unsigned id) const;

 private:
  void Append(HMENU parent, MenuItem& item);

  std::map<unsigned, MenuItem*> items_;
  unsigned nextId_ = 40000;
};

}  // namespace ui::win32
