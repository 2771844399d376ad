#pragma once
// What the window tests read off a form in one piece: its controls in tab order and where named
// controls stand.
#include <string>
#include <tuple>
#include <vector>

#include "ui/Form.h"

namespace form_checks {

// The names of the form's controls, in tab order.
inline std::vector<std::wstring> TabOrder(const ui::Form& form) {
  std::vector<std::wstring> names;
  for (const ui::Control* control : form.Controls()) names.push_back(control->Name());
  return names;
}

using Placement = std::tuple<std::wstring, int, int, int, int>;  // name, left, top, width, height (twips)

// Where each named control stands; a control that the form lacks stands at -1.
inline std::vector<Placement> Placements(const ui::Form& form, const std::vector<std::wstring>& names) {
  std::vector<Placement> placements;
  for (const std::wstring& name : names) {
    const ui::Control* control = form.FindControl(name);
    const ui::TwipsRect b = control ? control->Bounds() : ui::TwipsRect{-1, -1, -1, -1};
    placements.emplace_back(name, b.left, b.top, b.width, b.height);
  }
  return placements;
}

// Where every control stands, in tab order.
inline std::vector<Placement> Placements(const ui::Form& form) { return Placements(form, TabOrder(form)); }

}  // namespace form_checks
