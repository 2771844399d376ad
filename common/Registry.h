#pragma once
#include <string>

#include "common/KeyedCollection.h"
#include "platform/Export.h"
#include "platform/Types.h"

// The program's registry object. Hives are the Win32 key constants (platform::kHkeyLocalMachine, ...).
// Reads treat a missing key or value as empty; other failures of the registry are CErrors of the caller.
class QN_API CRegistry {
 public:
  // Reads a text value (REG_SZ, or REG_EXPAND_SZ left unexpanded; a REG_DWORD as its decimal digits)
  // into `data`; an empty value name reads the default value. `data` is cleared first and stays empty
  // when the key or value is missing or of another type; the result tells whether a value was read.
  bool GetValue(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                std::wstring& data);
  // Writes a REG_SZ value, creating the key; false when the registry refused.
  bool SetValue(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                const std::wstring& data);
  bool DeleteValue(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName);
  // Names of subkeys / values, each as item and key, in the registry's order; empty for a missing key.
  CKeyedCollection<std::wstring> EnumKeys(platform::Hive hive, const std::wstring& keyPath);
  CKeyedCollection<std::wstring> EnumValues(platform::Hive hive, const std::wstring& keyPath);
  // Class ids of the classes that implement a component category.
  CKeyedCollection<std::wstring> EnumCategoryClasses(const std::wstring& categoryId);
  // Deletes a key with its subtree. False with the system's error text in `errorText` when refused;
  // `errorText` is cleared on success.
  bool DeleteKey(platform::Hive hive, const std::wstring& keyPath, std::wstring& errorText);
};
