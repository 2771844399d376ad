#pragma once
#include <string>

#include "ui/Controls.h"

// The members of a Microsoft Forms 2.0 list box that the restore window calls, over the toolkit's list
// box: rows and columns count from 0, and the list has one column.
class FormsListBox {
 public:
  explicit FormsListBox(ui::ListBox& box) noexcept : box_(box) {}

  void Clear() { box_.Clear(); }
  void AddItem(const std::wstring& text) { box_.AddItem(text); }
  int ListCount() const noexcept { return box_.ListCount(); }
  // The text of a row. CError 381 outside the rows or for a column other than 0.
  std::wstring List(int row, int column) const;
  // The selected row's text; "" with none selected.
  std::wstring Text() const { return box_.Text(); }
  // Selects the first row with exactly that text. CError 380 when no row has it (the selection stays).
  void SetText(const std::wstring& text);

 private:
  ui::ListBox& box_;
};
