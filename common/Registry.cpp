#include "common/Registry.h"

#include <vector>

#include "common/TextCodec.h"
#include "platform/Platform.h"

namespace {

platform::IRegistry& RegistryIn(platform::RegView view) { return platform::Registry().View(view); }

bool IsMissing(long code) { return code == platform::kErrorFileNotFound || code == platform::kErrorPathNotFound; }

[[noreturn]] void ThrowRegistryError(long code) {
  throw CError(err::FromWin32(static_cast<unsigned long>(code)),
               platform::System().ErrorText(static_cast<std::uint32_t>(code)));
}

CKeyedCollection<std::wstring> ToCollection(const std::vector<std::wstring>& names) {
  CKeyedCollection<std::wstring> collection;
  for (const auto& name : names) {
    // The registry already keeps names unique; a name that folds like an earlier one (a case rule of
    // the system that ours does not know) is kept once rather than failing the whole listing.
    if (!collection.Exists(name)) collection.Add(name, name);
  }
  return collection;
}

// REG_SZ / REG_EXPAND_SZ data as text: up to the first NUL, or all of it when the writer left none.
std::wstring StringData(const std::vector<std::uint8_t>& data) {
  std::wstring text = qn::FromUtf16Le(data.data(), data.size());
  const auto nul = text.find(L'\0');
  if (nul != std::wstring::npos) text.resize(nul);
  return text;
}

// The number held by REG_DWORD data; false (and `number` unchanged) for another type or short data.
bool ReadDword(const platform::RegValue& value, std::uint32_t& number) {
  if (value.type != platform::kRegDword || value.data.size() < 4) return false;
  number = static_cast<std::uint32_t>(value.data[0]) | (static_cast<std::uint32_t>(value.data[1]) << 8) |
           (static_cast<std::uint32_t>(value.data[2]) << 16) | (static_cast<std::uint32_t>(value.data[3]) << 24);
  return true;
}

}  // namespace

bool CRegistry::GetValue(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                         std::wstring& data, platform::RegView view) {
  data.clear();
  platform::RegValue value;
  // Any failure to read counts as "no value": callers treat the data as optional.
  if (RegistryIn(view).QueryValue(hive, keyPath, valueName, value) != platform::kErrorSuccess) return false;
  switch (value.type) {
    case platform::kRegSz:
    case platform::kRegExpandSz:
      data = StringData(value.data);
      return true;
    case platform::kRegDword: {
      std::uint32_t number = 0;
      if (!ReadDword(value, number)) return false;
      data = std::to_wstring(number);
      return true;
    }
    default:
      return false;
  }
}

bool CRegistry::SetValue(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                         const std::wstring& data, platform::RegView view) {
  platform::RegValue value;
  value.type = platform::kRegSz;
  for (wchar_t ch : data + L'\0') {
    auto c = static_cast<std::uint32_t>(ch);
    auto put = [&value](std::uint32_t unit) {
      value.data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
      value.data.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    if (c >= 0x10000) {
      c -= 0x10000;
      put(0xD800 + (c >> 10));
      put(0xDC00 + (c & 0x3FF));
    } else {
      put(c);
    }
  }
  return RegistryIn(view).SetValue(hive, keyPath, valueName, value) == platform::kErrorSuccess;
}

bool CRegistry::DeleteValue(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                            platform::RegView view) {
  return RegistryIn(view).DeleteValue(hive, keyPath, valueName) == platform::kErrorSuccess;
}

CKeyedCollection<std::wstring> CRegistry::EnumKeys(platform::Hive hive, const std::wstring& keyPath,
                                                   platform::RegView view) {
  std::vector<std::wstring> names;
  const long code = RegistryIn(view).EnumKeys(hive, keyPath, names);
  if (IsMissing(code)) return {};
  if (code != platform::kErrorSuccess) ThrowRegistryError(code);
  return ToCollection(names);
}

CKeyedCollection<std::wstring> CRegistry::EnumValues(platform::Hive hive, const std::wstring& keyPath,
                                                     platform::RegView view) {
  std::vector<std::wstring> names;
  const long code = RegistryIn(view).EnumValues(hive, keyPath, names);
  if (IsMissing(code)) return {};
  if (code != platform::kErrorSuccess) ThrowRegistryError(code);
  return ToCollection(names);
}

CKeyedCollection<std::wstring> CRegistry::EnumCategoryClasses(const std::wstring& categoryId,
                                                              platform::RegView view) {
  std::vector<std::wstring> classIds;
  const long code = RegistryIn(view).EnumCategoryClasses(categoryId, classIds);
  if (code != platform::kErrorSuccess) ThrowRegistryError(code);
  return ToCollection(classIds);
}

bool CRegistry::SameKeyInBothViews(platform::Hive hive, const std::wstring& keyPath) {
  std::wstring native, wow32;
  return RegistryIn(platform::RegView::kNative).KeyName(hive, keyPath, native) == platform::kErrorSuccess &&
         RegistryIn(platform::RegView::kWow32).KeyName(hive, keyPath, wow32) == platform::kErrorSuccess &&
         native == wow32;
}

bool CRegistry::DeleteKey(platform::Hive hive, const std::wstring& keyPath, std::wstring& errorText,
                          platform::RegView view) {
  errorText.clear();
  const long code = RegistryIn(view).DeleteKey(hive, keyPath);
  if (code == platform::kErrorSuccess) return true;
  errorText = platform::System().ErrorText(static_cast<std::uint32_t>(code));
  return false;
}
