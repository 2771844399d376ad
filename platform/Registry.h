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
};

}  // namespace platform
