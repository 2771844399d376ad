#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/System.h"

namespace platform {

// A settable operating system. Defaults: Windows XP (GetVersion 0x0A280105: 5.1 build 2600), tick
// count 1000, local time 2024-01-02 03:04:05, computer "TESTPC", OS "Microsoft Windows XP 5.1.2600",
// CPU "x86 Family 6 Model 15", no command arguments, 32-bit Windows with the system folder
// "C:\WINDOWS\system32" (as 64-bit Windows, the 32-bit programs' folder is "C:\WINDOWS\SysWOW64").
// Sleep is recorded and advances the tick count.
// Dates format as "yyyy-mm-dd hh:mm:ss"; the time separator is ":" unless set. ANSI is Latin-1: characters above 255 become "?".
// ErrorText gives the text set for the code, else a few common system texts, else "Error <code>".
class FakeSystem : public ISystem {
 public:
  void SetVersion(std::uint32_t version) { version_ = version; }
  void SetTickCount(std::uint32_t ticks) { ticks_ = ticks; }
  void SetNow(const LocalTime& time) { now_ = time; }
  // Whether Sleep adds its milliseconds to the tick count (default true).
  void SetSleepAdvancesTicks(bool advances) { sleepAdvances_ = advances; }
  void SetTimeSeparator(const std::wstring& separator) { timeSeparator_ = separator; }
  void SetCommandArguments(const std::wstring& arguments) { arguments_ = arguments; }
  void SetComputerName(const std::wstring& name) { computerName_ = name; }
  void SetOsDescription(const std::wstring& text) { os_ = text; }
  void SetCpuDescription(const std::wstring& text) { cpu_ = text; }
  void SetErrorText(std::uint32_t code, const std::wstring& text) { errorTexts_[code] = text; }
  // 64-bit Windows (true) or a system without a second registry view and system folder (false).
  void Set64BitWindows(bool is64) { is64_ = is64; }
  void SetSystemFolders(const std::wstring& system, const std::wstring& wow64) {
    systemFolder_ = system;
    wow64Folder_ = wow64;
  }

  // Every Sleep, in call order.
  const std::vector<std::uint32_t>& Sleeps() const noexcept { return sleeps_; }
  std::uint64_t TotalSlept() const;

  std::uint32_t GetVersion() override { return version_; }
  std::uint32_t GetTickCount() override { return ticks_; }
  LocalTime Now() override { return now_; }
  std::wstring FormatDateTime(const LocalTime& time) override;
  std::wstring TimeSeparator() override { return timeSeparator_; }
  void Sleep(std::uint32_t milliseconds) override;
  std::wstring CommandArguments() override { return arguments_; }
  std::wstring ComputerName() override { return computerName_; }
  std::wstring OsDescription() override { return os_; }
  std::wstring CpuDescription() override { return cpu_; }
  std::wstring ErrorText(std::uint32_t code) override;
  bool Is64BitWindows() override { return is64_; }
  std::wstring SystemFolder() override { return systemFolder_; }
  std::wstring SystemWow64Folder() override { return is64_ ? wow64Folder_ : std::wstring(); }
  std::string ToAnsi(const std::wstring& text) override;
  std::wstring FromAnsi(const std::string& text) override;

 private:
  std::uint32_t version_ = 0x0A280105u;
  std::uint32_t ticks_ = 1000;
  LocalTime now_{2024, 1, 2, 3, 4, 5};
  bool sleepAdvances_ = true;
  std::wstring timeSeparator_ = L":";
  std::wstring arguments_;
  std::wstring computerName_ = L"TESTPC";
  std::wstring os_ = L"Microsoft Windows XP 5.1.2600";
  std::wstring cpu_ = L"x86 Family 6 Model 15";
  std::map<std::uint32_t, std::wstring> errorTexts_;
  bool is64_ = false;
  std::wstring systemFolder_ = L"C:\\WINDOWS\\system32";
  std::wstring wow64Folder_ = L"C:\\WINDOWS\\SysWOW64";
  std::vector<std::uint32_t> sleeps_;
};

}  // namespace platform
