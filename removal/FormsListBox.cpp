#include "removal/FormsListBox.h"

#include "common/Error.h"

namespace {
constexpr long kInvalidPropertyArrayIndex = 381;
}

std::wstring FormsListBox::List(int row, int column) const {
  if (column != 0) throw CError(kInvalidPropertyArrayIndex, L"Invalid property array index");
  return box_.List(row);
}

void FormsListBox::SetText(const std::wstring& text) {
  for (int row = 0; row < box_.ListCount(); ++row) {
    if (box_.List(row) == text) {
      box_.SetListIndex(row);
      return;
    }
  }
  throw CError(ui::kInvalidPropertyValue, L"Invalid property value");
}
