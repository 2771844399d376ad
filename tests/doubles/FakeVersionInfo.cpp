#include "tests/doubles/FakeVersionInfo.h"

#include "platform/KeyFold.h"

namespace platform {

void FakeVersionInfo::Set(const std::wstring& path, std::vector<std::pair<std::wstring, std::wstring>> strings) {
  files_[platform::FoldKey(path)] = std::move(strings);
}

void FakeVersionInfo::SetString(const std::wstring& path, const std::wstring& name, const std::wstring& text) {
  auto& strings = files_[platform::FoldKey(path)];
  for (auto& entry : strings) {
    if (entry.first == name) {
      entry.second = text;
      return;
    }
  }
  strings.emplace_back(name, text);
}

void FakeVersionInfo::Remove(const std::wstring& path) { files_.erase(platform::FoldKey(path)); }

bool FakeVersionInfo::ReadStrings(const std::wstring& path,
                                  std::vector<std::pair<std::wstring, std::wstring>>& strings) {
  ++readCount_;
  strings.clear();
  auto it = files_.find(platform::FoldKey(path));
  if (it == files_.end()) return false;
  strings = it->second;
  return true;
}

}  // namespace platform
