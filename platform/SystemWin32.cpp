// The operating system's version, clocks, names, code page and error texts through kernel32.
#include <windows.h>

#include <vector>

#include "platform/PlatformInternal.h"

namespace platform {
namespace {

std::wstring ReadRegistryText(HKEY root, const wchar_t* keyPath, const wchar_t* valueName) {
  wchar_t buffer[512] = {};
  DWORD bytes = sizeof buffer - sizeof(wchar_t);  // room for a NUL the writer may have left off
  if (::RegGetValueW(root, keyPath, valueName, RRF_RT_REG_SZ, nullptr, buffer, &bytes) != ERROR_SUCCESS) return L"";
  return std::wstring(buffer);
}

std::wstring Trim(std::wstring text) {
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\r' || text.back() == L'\n' ||
                           text.back() == L'\t' || text.back() == L'\0')) {
    text.pop_back();
  }
  std::size_t start = 0;
  while (start < text.size() && text[start] == L' ') ++start;
  return text.substr(start);
}

// A folder from a call of the GetSystemDirectoryW kind: "" when it fails or the path does not fit.
template <class Call>
std::wstring FolderFrom(Call call) {
  wchar_t buffer[MAX_PATH * 2] = {};
  const UINT length = call(buffer, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return L"";
  std::wstring folder(buffer, length);
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
}

class Win32SystemImpl final : public ISystem {
 public:
  std::uint32_t GetVersion() override { return ::GetVersion(); }
  std::uint32_t GetTickCount() override { return ::GetTickCount(); }

  LocalTime Now() override {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
  }

  std::wstring FormatDateTime(const LocalTime& time) override {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(time.year);
    st.wMonth = static_cast<WORD>(time.month);
    st.wDay = static_cast<WORD>(time.day);
    st.wHour = static_cast<WORD>(time.hour);
    st.wMinute = static_cast<WORD>(time.minute);
    st.wSecond = static_cast<WORD>(time.second);
    wchar_t date[128] = {};
    wchar_t clock[128] = {};
    if (!::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128)) date[0] = 0;
    if (!::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, clock, 128)) clock[0] = 0;
    return std::wstring(date) + L" " + clock;
  }

  std::wstring TimeSeparator() override {
    // At most four characters and the NUL; an empty or unreadable setting is the usual colon.
    wchar_t separator[16] = {};
    const int length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, separator, 16);
    if (length <= 1) return L":";
    return std::wstring(separator, static_cast<std::size_t>(length - 1));
  }

  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }

  std::wstring CommandArguments() override {
    const wchar_t* line = ::GetCommandLineW();
    if (line == nullptr) return L"";
    // Skip the program's name: quoted up to the closing quote, otherwise up to the first blank.
    if (*line == L'"') {
      ++line;
      while (*line != 0 && *line != L'"') ++line;
      if (*line == L'"') ++line;
    } else {
      while (*line != 0 && *line != L' ' && *line != L'\t') ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
  }

  std::wstring ComputerName() override {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 2] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &size)) return L"";
    return std::wstring(name, size);
  }

  std::wstring OsDescription() override {
    // RtlGetVersion tells the true version whatever the program's manifest says.
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (rtlGetVersion == nullptr || rtlGetVersion(&info) != 0) {
      const DWORD version = ::GetVersion();
      info.dwMajorVersion = version & 0xFF;
      info.dwMinorVersion = (version >> 8) & 0xFF;
      info.dwBuildNumber = (version & 0x80000000u) ? 0 : (version >> 16);
    }
    std::wstring product =
        ReadRegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"ProductName");
    if (product.empty()) product = L"Microsoft Windows";
    std::wstring text = product + L" " + std::to_wstring(info.dwMajorVersion) + L"." +
                        std::to_wstring(info.dwMinorVersion) + L"." + std::to_wstring(info.dwBuildNumber);
    info.szCSDVersion[127] = 0;
    if (info.szCSDVersion[0] != 0) text += L" " + std::wstring(info.szCSDVersion);
    return text;
  }

  std::wstring CpuDescription() override {
    SYSTEM_INFO info{};
    ::GetNativeSystemInfo(&info);
    std::wstring arch;
    switch (info.wProcessorArchitecture) {
      case PROCESSOR_ARCHITECTURE_AMD64: arch = L"x64"; break;
      case PROCESSOR_ARCHITECTURE_INTEL: arch = L"x86"; break;
      case PROCESSOR_ARCHITECTURE_ARM64: arch = L"ARM64"; break;
      case PROCESSOR_ARCHITECTURE_ARM: arch = L"ARM"; break;
      case PROCESSOR_ARCHITECTURE_IA64: arch = L"IA64"; break;
      default: arch = L"Unknown"; break;
    }
    std::wstring text = arch + L" Family " + std::to_wstring(info.wProcessorLevel) + L" Model " +
                        std::to_wstring(info.wProcessorRevision >> 8) + L" Stepping " +
                        std::to_wstring(info.wProcessorRevision & 0xFF);
    const std::wstring name = Trim(ReadRegistryText(
        HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"ProcessorNameString"));
    if (!name.empty()) text += L", " + name;
    text += L", " + std::to_wstring(info.dwNumberOfProcessors) + L" processor(s)";
    return text;
  }

  std::wstring ErrorText(std::uint32_t code) override {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length != 0 && buffer != nullptr) text.assign(buffer, length);
    if (buffer != nullptr) ::LocalFree(buffer);
    text = Trim(text);
    if (text.empty()) text = L"Error " + std::to_wstring(code);
    return text;
  }

  bool Is64BitWindows() override {
#if defined(_WIN64)
    return true;  // a 64-bit program runs on 64-bit Windows only
#else
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
#endif
  }

  std::wstring SystemFolder() override { return FolderFrom(::GetSystemDirectoryW); }

  // GetSystemWow64DirectoryW fails on a system without the folder (ERROR_CALL_NOT_IMPLEMENTED).
  std::wstring SystemWow64Folder() override { return FolderFrom(::GetSystemWow64DirectoryW); }

  std::string ToAnsi(const std::wstring& text) override {
    if (text.empty()) return std::string();
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
  }

  std::wstring FromAnsi(const std::string& text) override {
    if (text.empty()) return std::wstring();
    const int size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
  }
};

}  // namespace

namespace detail {
ISystem& Win32System() {
  static Win32SystemImpl system;
  return system;
}
}  // namespace detail

}  // namespace platform
