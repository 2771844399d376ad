// Version resources through version.dll.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/PlatformInternal.h"
#include "platform/Win32Handle.h"

namespace platform {
namespace {

// A version resource larger than this is not believed.
constexpr DWORD kMaxResourceBytes = 16u << 20;

// True when the file at `path` can hold no version resource, found at the cost of reading its first two
// bytes: the version reader itself opens a file up to twice and maps it (several hundred microseconds a
// file under Wine) before it gives up on one that is no program. Only a path from a drive's root
// ("C:\...", no forward slash) is tested, so that it names the same file here as there (the reader looks
// for any other name along the library search path), and only a file that opens and starts with neither
// "MZ" nor "ZM" (an executable's header) nor "SZ" or "KW" (the compressed files that the reader expands
// first) counts. Every other case goes to the reader.
bool HoldsNoVersionResource(const std::wstring& path) {
  if (path.size() < 4 || path[1] != L':' || path[2] != L'\\' || path.find(L'/') != std::wstring::npos) return false;
  const wchar_t drive = path[0];
  if (!((drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z'))) return false;
  win32::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  char head[2] = {};
  DWORD got = 0;
  if (!::ReadFile(file.Get(), head, sizeof head, &got, nullptr) || got != sizeof head) return false;
  for (const char* start : {"MZ", "ZM", "SZ", "KW"}) {
    if (head[0] == start[0] && head[1] == start[1]) return false;
  }
  return true;
}

// The resource is untrusted: what VerQueryValueW points to is read only within the block it was
// copied into. True when `value` lies inside `block`.
bool Inside(const std::vector<std::uint8_t>& block, const void* value) {
  const auto at = reinterpret_cast<std::uintptr_t>(value);
  const auto begin = reinterpret_cast<std::uintptr_t>(block.data());
  return at >= begin && at < begin + block.size();
}

// How many whole `T`s there are from `value` (inside `block`) to the block's end.
template <class T>
std::size_t Room(const std::vector<std::uint8_t>& block, const T* value) {
  const auto end = reinterpret_cast<std::uintptr_t>(block.data()) + block.size();
  return static_cast<std::size_t>(end - reinterpret_cast<std::uintptr_t>(value)) / sizeof(T);
}

class Win32VersionInfoImpl final : public IVersionInfo {
 public:
  bool ReadStrings(const std::wstring& path, std::vector<std::pair<std::wstring, std::wstring>>& strings) override {
    strings.clear();
    if (HoldsNoVersionResource(path)) return false;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0 || size > kMaxResourceBytes) return false;
    std::vector<std::uint8_t> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return false;

    // The blocks to look in: the file's own translations, then the common US English ones.
    std::vector<std::wstring> blocks;
    struct Translation {
      WORD language;
      WORD codePage;
    };
    Translation* translations = nullptr;
    UINT bytes = 0;
    if (::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                         &bytes) &&
        translations != nullptr && Inside(block, translations)) {
      const std::size_t count = std::min<std::size_t>({bytes / sizeof(Translation), Room(block, translations), 64});
      for (std::size_t i = 0; i < count; ++i) {
        wchar_t name[16];
        std::swprintf(name, 16, L"%04X%04X", translations[i].language, translations[i].codePage);
        blocks.emplace_back(name);
      }
    }
    blocks.emplace_back(L"040904B0");
    blocks.emplace_back(L"040904E4");

    for (const wchar_t* key : {L"CompanyName", L"FileDescription", L"ProductName"}) {
      for (const auto& language : blocks) {
        const std::wstring query = L"\\StringFileInfo\\" + language + L"\\" + key;
        wchar_t* text = nullptr;
        UINT chars = 0;
        if (::VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &chars) && text != nullptr) {
          // `chars` may or may not count the NUL; the text ends at the first NUL within the resource.
          if (!Inside(block, text)) continue;
          std::wstring value(text, std::min<std::size_t>(chars, Room(block, text)));
          const auto nul = value.find(L'\0');
          if (nul != std::wstring::npos) value.resize(nul);
          strings.emplace_back(key, value);
          break;
        }
      }
    }
    return true;
  }
};

}  // namespace

namespace detail {
IVersionInfo& Win32VersionInfo() {
  static Win32VersionInfoImpl versionInfo;
  return versionInfo;
}
}  // namespace detail

}  // namespace platform
