#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/VersionInfo.h"

namespace platform {

// Version strings by file path (any letter case). A file without an entry has no version resource.
//
//   versions.Set(L"C:\\x.dll", {{L"CompanyName", L"Acme"}, {L"ProductName", L"X"}});
class FakeVersionInfo : public IVersionInfo {
 public:
  // Replaces the strings of a file.
  void Set(const std::wstring& path, std::vector<std::pair<std::wstring, std::wstring>> strings);
  // Adds or replaces one string of a file.
  void SetString(const std::wstring& path, const std::wstring& name, const std::wstring& text);
  void Remove(const std::wstring& path);
  // How many times ReadStrings was called (for caching tests).
  std::size_t ReadCount() const noexcept { return readCount_; }

  bool ReadStrings(const std::wstring& path, std::vector<std::pair<std::wstring, std::wstring>>& strings) override;

 private:
  std::map<std::wstring, std::vector<std::pair<std::wstring, std::wstring>>> files_;  // by folded path
  std::size_t readCount_ = 0;
};

}  // namespace platform
