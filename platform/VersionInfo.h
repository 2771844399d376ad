#pragma once
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Version resources of files.
class IVersionInfo {
 public:
  virtual ~IVersionInfo() = default;
  // The strings "CompanyName", "FileDescription" and "ProductName" of the file's version resource, each
  // from the first translation that has it, as (name, text) pairs; only strings that exist are given.
  // `strings` is cleared first; false (and empty) when the file has no version resource or cannot be read.
  virtual bool ReadStrings(const std::wstring& path,
                           std::vector<std::pair<std::wstring, std::wstring>>& strings) = 0;
};

}  // namespace platform
