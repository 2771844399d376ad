#include "common/Items.h"

CProperty::CProperty(std::wstring name) : name_(std::move(name)) {}

std::wstring CProperty::Text() const {
  if (values_.Count() == 0) return L"";
  const PropertyValue& value = values_.Item(1);
  if (const auto* text = std::get_if<std::wstring>(&value)) return *text;
  return std::to_wstring(std::get<std::int32_t>(value));
}

void CProperties::Add(const std::wstring& name, PropertyValue value) {
  auto property = std::make_shared<CProperty>(name);
  property->Values().Add(std::move(value), L"");
  properties_.Add(std::move(property), name);  // throws the duplicate-key error, leaving us unchanged
}

std::shared_ptr<CItem> CItemList::Add() {
  auto item = std::make_shared<CItem>();
  items_.push_back(item);
  return item;
}

CItem& CItemList::Item(std::size_t position) const {
  if (position < 1 || position > items_.size()) throw CError(err::kSubscriptOutOfRange, L"Subscript out of range");
  return *items_[position - 1];
}
