#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace platform {

// One registry value as stored: its type and its raw bytes (strings as UTF-16LE, with or without a
// terminating NUL, exactly as the registry holds them).
struct RegValue {
  std::uint32_t type = kRegNone;
  std::vector<std::uint8_t> data;
};

// The two registry views of 64-bit Windows. kNative is the view of the running program (the 64-bit view
// for wardline.exe); kWow32 is the view that 32-bit programs have, where HKEY_LOCAL_MACHINE\Software
// and the classes of HKEY_CLASSES_ROOT are their own keys (reached as Software\Wow6432Node in the
// 64-bit view). On a system without a second view both name the same registry. Some keys below
// Software are shared even so: the 32-bit view's path leads to the very key of the 64-bit view.
enum class RegView { kNative, kWow32 };

// The registry, one call per Win32 operation. Every call returns the Win32 result code
// (kErrorSuccess, kErrorFileNotFound, kErrorAccessDenied, ...). Key paths are relative to the hive,
// separated by backslashes; key and value names compare without regard to letter case.
class IRegistry {
 public:
  virtual ~IRegistry() = default;

  // Reads one value; an empty name reads the key's default value. `value` is unchanged after a failure.
  virtual long QueryValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                          RegValue& value) = 0;
  // Writes one value, creating the key (and its parents) when missing.
  virtual long SetValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                        const RegValue& value) = 0;
  virtual long DeleteValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName) = 0;
  // Names of the subkeys / values of a key, in the registry's order. `names` is cleared first and holds
  // the names read so far after a failure.
  virtual long EnumKeys(Hive hive, const std::wstring& keyPath, std::vector<std::wstring>& names) = 0;
  virtual long EnumValues(Hive hive, const std::wstring& keyPath, std::vector<std::wstring>& names) = 0;
  // Deletes a key with everything below it.
  virtual long DeleteKey(Hive hive, const std::wstring& keyPath) = 0;
  // Class ids (in braces) of the classes that implement a component category. `classIds` is cleared
  // first. Returns kErrorSuccess, or an error when the category manager is unavailable.
  virtual long EnumCategoryClasses(const std::wstring& categoryId, std::vector<std::wstring>& classIds) = 0;
  // The own name of the key that hive\keyPath opens in this view, as the system gives it (in Win32 the
  // kernel's "\REGISTRY\MACHINE\SOFTWARE\..."): two opens that give the same name reached one and the
  // same key, as a key that both views share does. `name` is unchanged after a failure.
  virtual long KeyName(Hive hive, const std::wstring& keyPath, std::wstring& name) = 0;

  // The same registry in the view named: every call on the object returned reads and writes that view
  // (KEY_WOW64_32KEY for kWow32 in Win32). kNative gives this object back when this is the native view.
  // The object lives as long as this one.
  virtual IRegistry& View(RegView view) = 0;
};

}  // namespace platform
