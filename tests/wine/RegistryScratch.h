#pragma once
// Scratch registry keys for the Wine tests, in either registry view of 64-bit Windows.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace wine_test {

// The two registry views, as the flags that name them.
constexpr REGSAM k64 = KEY_WOW64_64KEY;
constexpr REGSAM k32 = KEY_WOW64_32KEY;

// Deletes a key with its subtree in one view (RegDeleteTreeW names no view).
inline void DeleteTree(HKEY root, const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | view,
                      &key) != ERROR_SUCCESS) {
    return;
  }
  const LONG emptied = ::RegDeleteTreeW(key, nullptr);
  ::RegCloseKey(key);
  if (emptied == ERROR_SUCCESS) ::RegDeleteKeyExW(root, path.c_str(), view, 0);
}

// A key written for one test in one view. When the test ends only what it added goes again: the part of
// the path it created, else the values it set, so that keys of the system (the browser's own class ids,
// the Run keys) stay as they were.
class ScratchKey {
 public:
  ScratchKey(HKEY root, std::wstring path, REGSAM view) : root_(root), path_(std::move(path)), view_(view) {
    for (std::size_t end = path_.find(L'\\');; end = path_.find(L'\\', end + 1)) {
      const std::wstring part = path_.substr(0, end);
      HKEY key = nullptr;
      DWORD disposition = 0;
      created_ = ::RegCreateKeyExW(root_, part.c_str(), 0, nullptr, 0, KEY_READ | view_, nullptr, &key,
                                   &disposition) == ERROR_SUCCESS;
      if (!created_) return;
      ::RegCloseKey(key);
      if (disposition == REG_CREATED_NEW_KEY && added_.empty()) added_ = part;
      if (end == std::wstring::npos) break;
    }
  }
  ~ScratchKey() {
    HKEY key = nullptr;
    if (!added_.empty()) {
      DeleteTree(root_, added_, view_);
    } else if (::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_SET_VALUE | view_, &key) == ERROR_SUCCESS) {
      for (const std::wstring& name : values_) ::RegDeleteValueW(key, name.c_str());
      ::RegCloseKey(key);
    }
  }
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  // Sets a REG_SZ value ("" names the default value); false when the key could not be made or written.
  bool Set(const std::wstring& name, const std::wstring& text) {
    HKEY key = nullptr;
    if (!created_ || ::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_SET_VALUE | view_, &key) != ERROR_SUCCESS) {
      return false;
    }
    values_.push_back(name);
    const LONG result = ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    return result == ERROR_SUCCESS;
  }
  bool Created() const { return created_; }

 private:
  HKEY root_;
  std::wstring path_;
  REGSAM view_;
  bool created_ = false;
  std::wstring added_;
  std::vector<std::wstring> values_;
};

}  // namespace wine_test
