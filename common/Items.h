#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "common/KeyedCollection.h"
#include "platform/Export.h"

class CItem;
class CProperties;

// A property value: text or a 32-bit whole number.
using PropertyValue = std::variant<std::wstring, std::int32_t>;

// One named value of a CProperties. `Values` holds the value at position 1 (key "").
class QN_API CProperty {
 public:
  explicit CProperty(std::wstring name);
  const std::wstring& Name() const noexcept { return name_; }
  CKeyedCollection<PropertyValue>& Values() noexcept { return values_; }
  const CKeyedCollection<PropertyValue>& Values() const noexcept { return values_; }
  // The value at position 1 as text (a number as its decimal digits); "" when there is none.
  std::wstring Text() const;

 private:
  std::wstring name_;
  CKeyedCollection<PropertyValue> values_;
};

// An ordered list of named values. Names compare as CKeyedCollection keys do; a name added twice is the
// duplicate-key error.
class QN_API CProperties {
 public:
  void Add(const std::wstring& name, PropertyValue value);
  std::size_t Count() const noexcept { return properties_.Count(); }
  bool Exists(const std::wstring& name) const { return properties_.Exists(name); }
  // By name (CError 5 when missing) or 1-based position (CError 9 outside the range).
  CProperty& Item(const std::wstring& name) { return *properties_.Item(name); }
  const CProperty& Item(const std::wstring& name) const { return *properties_.Item(name); }
  CProperty& Item(std::size_t position) { return *properties_.Item(position); }
  const CProperty& Item(std::size_t position) const { return *properties_.Item(position); }
  auto begin() const { return properties_.begin(); }
  auto end() const { return properties_.end(); }

 private:
  CKeyedCollection<std::shared_ptr<CProperty>> properties_;
};

// A list of inspected items. Add appends and returns a new empty item.
class QN_API CItemList {
 public:
  std::shared_ptr<CItem> Add();
  std::size_t Count() const noexcept { return items_.size(); }
  // By 1-based position: CError 9 outside the range.
  CItem& Item(std::size_t position) const;
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<std::shared_ptr<CItem>> items_;
};

// An inspected item: a name, child items and properties, both empty on a new item.
class QN_API CItem {
 public:
  std::wstring Name;
  CItemList& Children() noexcept { return children_; }
  const CItemList& Children() const noexcept { return children_; }
  CProperties& Properties() noexcept { return properties_; }
  const CProperties& Properties() const noexcept { return properties_; }

 private:
  CItemList children_;
  CProperties properties_;
};
