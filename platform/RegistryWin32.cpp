// The registry through advapi32, and component categories through the COM category manager.
#include <windows.h>
#include <comcat.h>
#include <objbase.h>

#include <vector>

#include "platform/ComPtr.h"
#include "platform/PlatformInternal.h"
#include "platform/Win32Handle.h"

namespace platform {
namespace {

using win32::ComApartment;
using win32::ComPtr;
using win32::KeyHandle;

// Growth limits for data read from the registry (untrusted): values up to 16 MiB, names up to the
// registry's own limit of 16383 characters, at most this many entries in one listing.
constexpr DWORD kMaxValueBytes = 16u << 20;
constexpr DWORD kMaxNameChars = 16384;
constexpr DWORD kMaxEntries = 1u << 20;
constexpr int kMaxRetries = 8;

HKEY RootKey(Hive hive) {
  switch (hive) {
    case kHkeyClassesRoot: return HKEY_CLASSES_ROOT;
    case kHkeyCurrentUser: return HKEY_CURRENT_USER;
    case kHkeyLocalMachine: return HKEY_LOCAL_MACHINE;
    case 0x80000003u: return HKEY_USERS;
    case 0x80000005u: return HKEY_CURRENT_CONFIG;
    default: return nullptr;
  }
}

// Opens hive\keyPath; `key` is untouched on failure.
LONG OpenKey(Hive hive, const std::wstring& keyPath, REGSAM access, KeyHandle& key) {
  HKEY root = RootKey(hive);
  if (root == nullptr) return ERROR_INVALID_HANDLE;
  HKEY opened = nullptr;
  const LONG result = ::RegOpenKeyExW(root, keyPath.c_str(), 0, access, &opened);
  if (result == ERROR_SUCCESS) key = KeyHandle(opened);
  return result;
}

// What the registry needs of ntdll, declared here and looked up at run time: the key's own name.
// KeyNameInformation gives a KEY_NAME_INFORMATION: the name's length in bytes, then the name (no NUL).
constexpr int kKeyNameInformation = 3;
constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005u);
constexpr LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023u);
using NtQueryKeyFn = LONG(NTAPI*)(HANDLE key, int informationClass, void* information, ULONG length,
                                  ULONG* resultLength);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG status);

// The two functions; null where the system has none (the 9x family).
struct NtDll {
  NtQueryKeyFn queryKey = nullptr;
  RtlNtStatusToDosErrorFn toDosError = nullptr;
};
const NtDll& NtDllFunctions() {
  static const NtDll functions = [] {
    NtDll found;
    // Borrowed: ntdll is loaded in every process and stays.
    if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
      found.queryKey =
          reinterpret_cast<NtQueryKeyFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQueryKey")));
      found.toDosError = reinterpret_cast<RtlNtStatusToDosErrorFn>(
          reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    }
    return found;
  }();
  return functions;
}

// A key's name is at most 255 characters per level; more than this many bytes is no name we take.
constexpr ULONG kMaxKeyNameBytes = 1u << 20;

class Win32RegistryImpl;
Win32RegistryImpl& ViewOf(RegView view);

// One registry view: every key is opened with `viewFlag` added to the access asked for (0 for the
// program's own view, KEY_WOW64_32KEY for the 32-bit view).
class Win32RegistryImpl final : public IRegistry {
 public:
  explicit Win32RegistryImpl(REGSAM viewFlag) : viewFlag_(viewFlag) {}

  long QueryValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName, RegValue& value) override {
    KeyHandle key;
    LONG result = OpenKey(hive, keyPath, KEY_QUERY_VALUE | viewFlag_, key);
    if (result != ERROR_SUCCESS) return result;
    DWORD type = 0;
    DWORD size = 0;
    result = ::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &size);
    if (result != ERROR_SUCCESS) return result;
    std::vector<std::uint8_t> data;
    // The value may grow between the calls: retry a few times, never beyond the cap.
    for (int attempt = 0; attempt < kMaxRetries; ++attempt) {
      if (size > kMaxValueBytes) return ERROR_NOT_ENOUGH_MEMORY;
      data.resize(size);
      DWORD got = size;
      result = ::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, data.empty() ? nullptr : data.data(),
                                  &got);
      if (result == ERROR_SUCCESS) {
        data.resize(got < size ? got : size);
        value.type = type;
        value.data = std::move(data);
        return ERROR_SUCCESS;
      }
      if (result != ERROR_MORE_DATA) return result;
      size = got > size ? got : size * 2 + 2;
    }
    return ERROR_MORE_DATA;
  }

  long SetValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName, const RegValue& value) override {
    HKEY root = RootKey(hive);
    if (root == nullptr) return ERROR_INVALID_HANDLE;
    if (value.data.size() > kMaxValueBytes) return ERROR_INVALID_PARAMETER;
    HKEY created = nullptr;
    LONG result = ::RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_SET_VALUE | viewFlag_, nullptr, &created, nullptr);
    if (result != ERROR_SUCCESS) return result;
    KeyHandle key(created);
    return ::RegSetValueExW(key.Get(), valueName.c_str(), 0, value.type,
                            value.data.empty() ? nullptr : value.data.data(), static_cast<DWORD>(value.data.size()));
  }

  long DeleteValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName) override {
    KeyHandle key;
    const LONG result = OpenKey(hive, keyPath, KEY_SET_VALUE | viewFlag_, key);
    if (result != ERROR_SUCCESS) return result;
    return ::RegDeleteValueW(key.Get(), valueName.c_str());
  }

  long EnumKeys(Hive hive, const std::wstring& keyPath, std::vector<std::wstring>& names) override {
    names.clear();
    KeyHandle key;
    LONG result = OpenKey(hive, keyPath, KEY_ENUMERATE_SUB_KEYS | viewFlag_, key);
    if (result != ERROR_SUCCESS) return result;
    std::vector<wchar_t> name(256);
    for (DWORD index = 0; index < kMaxEntries; ++index) {
      DWORD length = static_cast<DWORD>(name.size());
      result = ::RegEnumKeyExW(key.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
      if (result == ERROR_MORE_DATA && name.size() < kMaxNameChars) {
        name.resize(kMaxNameChars);
        --index;  // read the same entry again with the larger buffer
        continue;
      }
      if (result == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
      if (result != ERROR_SUCCESS) return result;
      names.emplace_back(name.data(), length < name.size() ? length : name.size());
    }
    return ERROR_SUCCESS;
  }

  long EnumValues(Hive hive, const std::wstring& keyPath, std::vector<std::wstring>& names) override {
    names.clear();
    KeyHandle key;
    LONG result = OpenKey(hive, keyPath, KEY_QUERY_VALUE | viewFlag_, key);
    if (result != ERROR_SUCCESS) return result;
    std::vector<wchar_t> name(kMaxNameChars);
    for (DWORD index = 0; index < kMaxEntries; ++index) {
      DWORD length = static_cast<DWORD>(name.size());
      result = ::RegEnumValueW(key.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
      if (result == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
      if (result != ERROR_SUCCESS) return result;
      names.emplace_back(name.data(), length < name.size() ? length : name.size());
    }
    return ERROR_SUCCESS;
  }

  long DeleteKey(Hive hive, const std::wstring& keyPath) override {
    HKEY root = RootKey(hive);
    if (root == nullptr) return ERROR_INVALID_HANDLE;
    // An empty path would name the hive itself, and RegDeleteTree would empty the whole hive.
    if (keyPath.find_first_not_of(L'\\') == std::wstring::npos) return ERROR_INVALID_PARAMETER;
    if (viewFlag_ == 0) return ::RegDeleteTreeW(root, keyPath.c_str());
    // RegDeleteTreeW names no view: empty the key opened in this view, then delete it in this view.
    KeyHandle key;
    LONG result = OpenKey(hive, keyPath, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | viewFlag_,
                          key);
    if (result != ERROR_SUCCESS) return result;
    result = ::RegDeleteTreeW(key.Get(), nullptr);
    if (result != ERROR_SUCCESS) return result;
    key.Reset();
    return ::RegDeleteKeyExW(root, keyPath.c_str(), viewFlag_, 0);
  }

  long EnumCategoryClasses(const std::wstring& categoryId, std::vector<std::wstring>& classIds) override {
    classIds.clear();
    CATID category{};
    if (categoryId.empty() || FAILED(::CLSIDFromString(categoryId.c_str(), &category))) return ERROR_INVALID_PARAMETER;
    // The category manager is a 64-bit object that reads the 64-bit view only: the 32-bit view's classes
    // come from its own class keys.
    if (viewFlag_ == 0 && FromCategoryManager(category, classIds)) return ERROR_SUCCESS;
    classIds.clear();
    return FromClassKeys(categoryId, classIds);
  }

  long KeyName(Hive hive, const std::wstring& keyPath, std::wstring& name) override {
    const NtDll& ntdll = NtDllFunctions();
    if (ntdll.queryKey == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
    KeyHandle key;
    const LONG result = OpenKey(hive, keyPath, KEY_QUERY_VALUE | viewFlag_, key);
    if (result != ERROR_SUCCESS) return result;
    constexpr ULONG kHeader = sizeof(ULONG);  // the name's length in bytes, before the name
    ULONG size = 512;
    for (int attempt = 0; attempt < kMaxRetries; ++attempt) {
      if (size > kMaxKeyNameBytes) return ERROR_NOT_ENOUGH_MEMORY;
      std::vector<ULONG> buffer((size + sizeof(ULONG) - 1) / sizeof(ULONG) + 1, 0);
      ULONG needed = 0;
      const LONG status = ntdll.queryKey(key.Get(), kKeyNameInformation, buffer.data(), size, &needed);
      if (status >= 0) {
        // The length is the system's word: never read past what the buffer holds.
        const ULONG bytes = buffer[0] < size - kHeader ? buffer[0] : size - kHeader;
        name.assign(reinterpret_cast<const wchar_t*>(buffer.data() + 1), bytes / sizeof(wchar_t));
        return ERROR_SUCCESS;
      }
      if (status != kStatusBufferOverflow && status != kStatusBufferTooSmall) {
        return ntdll.toDosError != nullptr ? static_cast<long>(ntdll.toDosError(status)) : ERROR_GEN_FAILURE;
      }
      size = needed > size ? needed : size * 2;
    }
    return ERROR_MORE_DATA;
  }

  IRegistry& View(RegView view) override { return ViewOf(view); }

 private:
  // ICatInformation of the standard category manager; false when COM or the manager is unavailable.
  // `classIds` holds the class ids read so far when a later step fails or throws.
  static bool FromCategoryManager(const CATID& category, std::vector<std::wstring>& classIds) {
    const ComApartment apartment;
    if (!apartment.Usable()) return false;
    ComPtr<ICatInformation> info;
    if (FAILED(::CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICatInformation, info.PutVoid()))) {
      return false;
    }
    CATID implemented[1] = {category};
    ComPtr<IEnumGUID> classes;
    if (FAILED(info->EnumClassesOfCategories(1, implemented, static_cast<ULONG>(-1), nullptr, classes.Put()))) {
      return false;
    }
    GUID clsid{};
    ULONG fetched = 0;
    for (DWORD n = 0; n < kMaxEntries && classes->Next(1, &clsid, &fetched) == S_OK && fetched == 1; ++n) {
      wchar_t text[64] = {};
      if (::StringFromGUID2(clsid, text, 64) > 0) classIds.emplace_back(text);
    }
    return true;
  }

  // Without COM: the classes with HKCR "CLSID\{class}\Implemented Categories\{category}".
  long FromClassKeys(const std::wstring& categoryId, std::vector<std::wstring>& classIds) {
    std::vector<std::wstring> classes;
    const long result = EnumKeys(kHkeyClassesRoot, L"CLSID", classes);
    if (result != ERROR_SUCCESS) return result;
    for (const auto& cls : classes) {
      KeyHandle key;
      if (OpenKey(kHkeyClassesRoot, L"CLSID\\" + cls + L"\\Implemented Categories\\" + categoryId,
                  KEY_READ | viewFlag_, key) == ERROR_SUCCESS) {
        classIds.push_back(cls);
      }
    }
    return ERROR_SUCCESS;
  }

  const REGSAM viewFlag_;
};

Win32RegistryImpl& ViewOf(RegView view) {
  static Win32RegistryImpl native(0);
  static Win32RegistryImpl wow32(KEY_WOW64_32KEY);
  return view == RegView::kWow32 ? wow32 : native;
}

}  // namespace

namespace detail {
IRegistry& Win32Registry() { return ViewOf(RegView::kNative); }
}  // namespace detail

}  // namespace platform
