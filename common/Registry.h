#pragma once
#include <cstdint>
#include <string>

#include "common/KeyedCollection.h"
#include "platform/Export.h"
#include "platform/Registry.h"
#include "platform/Types.h"

// The program's registry object, over platform::Registry(). Hives are the Win32 key constants
// (platform::kHkeyLocalMachine, ...). Reads treat a missing key or value as empty. Listings (EnumKeys,
// EnumValues, EnumCategoryClasses) throw CError for any other failure of the registry: number
// err::FromWin32(code), i.e. 0x80070000 | code, description the system's text for the code.
//
// Every call reads or writes the program's own registry view unless `view` names another: with
// platform::RegView::kWow32 it works in the view of 32-bit programs (on 64-bit Windows, where
// HKEY_LOCAL_MACHINE\Software and the classes are redirected; elsewhere the same registry).
class QN_API CRegistry {
 public:
  // Reads a text value (REG_SZ, or REG_EXPAND_SZ left unexpanded; a REG_DWORD as its decimal digits)
  // into `data`; an empty value name reads the default value. `data` is cleared first and stays empty
  // when the key or value is missing or of another type; the result tells whether a value was read.
  // The registry's data is untrusted: text ends at the first NUL or at the end of the data when the
  // writer left no NUL; an odd last byte is ignored; a REG_DWORD of fewer than 4 bytes is not read.
  // Any other failure to read (access denied, ...) also gives false and never throws.
  bool GetValue(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                std::wstring& data, platform::RegView view = platform::RegView::kNative);
  // Writes a REG_SZ value, creating the key; false when the registry refused.
  bool SetValue(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                const std::wstring& data, platform::RegView view = platform::RegView::kNative);
  // False when the key or value is missing or the registry refused.
  bool DeleteValue(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                   platform::RegView view = platform::RegView::kNative);
  // Names of subkeys / values, each as item and key, in the registry's order; empty for a missing key.
  // A name that folds like an earlier one is kept once.
  CKeyedCollection<std::wstring> EnumKeys(platform::Hive hive, const std::wstring& keyPath,
                                          platform::RegView view = platform::RegView::kNative);
  CKeyedCollection<std::wstring> EnumValues(platform::Hive hive, const std::wstring& keyPath,
                                            platform::RegView view = platform::RegView::kNative);
  // Class ids (in braces) of the classes that implement a component category, each as item and key.
  CKeyedCollection<std::wstring> EnumCategoryClasses(const std::wstring& categoryId,
                                                     platform::RegView view = platform::RegView::kNative);
  // Whether hive\keyPath opens one and the same key in the program's own view and in the 32-bit
  // programs' view (a key that Windows shares between the views): true only when it opens in both and
  // the system gives both the same name. A key missing in either view, or a name that cannot be had,
  // gives false; no failure of the registry throws.
  bool SameKeyInBothViews(platform::Hive hive, const std::wstring& keyPath);
  // Deletes a key with its subtree. False with the system's error text in `errorText` when refused;
  // `errorText` is cleared on success.
  bool DeleteKey(platform::Hive hive, const std::wstring& keyPath, std::wstring& errorText,
                 platform::RegView view = platform::RegView::kNative);
};
