// Version resources through version.dll.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/PlatformInternal.h"

namespace platform {
namespace {

// A version resource larger than this is not believed.
constexpr DWORD kMaxResourceBytes = 16u << 20;

class Win32VersionInfoImpl final : public IVersionInfo {
 public:
  bool ReadStrings(const std::wstring& path, std::vector<std::pair<std::wstring, std::wstring>>& strings) override {
    strings.clear();
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
        translations != nullptr) {
      for (UINT i = 0; i < bytes / sizeof(Translation) && i < 64; ++i) {
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
          // The resource is untrusted: never read past the end of the block.
          const auto* end = reinterpret_cast<const wchar_t*>(block.data() + block.size());
          if (text < reinterpret_cast<const wchar_t*>(block.data()) || text >= end) continue;
          const std::size_t room = static_cast<std::size_t>(end - text);
          std::wstring value(text, chars < room ? chars : room);
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
