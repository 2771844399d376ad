#pragma once
#include <cstdint>
#include <string>

namespace platform {

// A local date and time, to the second.
struct LocalTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

// The operating system itself: version, clocks, waiting, the machine's names, code pages and texts.
class ISystem {
 public:
  virtual ~ISystem() = default;

  virtual std::uint32_t GetVersion() = 0;
  // Milliseconds since Windows started, wrapping after about 49.7 days.
  virtual std::uint32_t GetTickCount() = 0;
  virtual LocalTime Now() = 0;
  // The user's general date-and-time format ("short date" and "long time").
  virtual std::wstring FormatDateTime(const LocalTime& time) = 0;
  // The time separator of the user's regional settings (LOCALE_STIME); ":" when they name none.
  virtual std::wstring TimeSeparator() = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  // The command-line text after the program's own name, as the program was started.
  virtual std::wstring CommandArguments() = 0;

  virtual std::wstring ComputerName() = 0;
  virtual std::wstring OsDescription() = 0;
  virtual std::wstring CpuDescription() = 0;
  // The system's text for a Win32 error code, without a trailing line break.
  virtual std::wstring ErrorText(std::uint32_t code) = 0;

  // True on 64-bit Windows, where 32-bit programs have registry keys (platform::RegView::kWow32) and a
  // system folder of their own.
  virtual bool Is64BitWindows() = 0;
  // The system folder ("C:\Windows\System32"), without a trailing separator.
  virtual std::wstring SystemFolder() = 0;
  // The folder that 32-bit programs see as the system folder on 64-bit Windows ("C:\Windows\SysWOW64"),
  // without a trailing separator; "" on a system without one.
  virtual std::wstring SystemWow64Folder() = 0;

  // Conversions between text and the system's ANSI code page.
  virtual std::string ToAnsi(const std::wstring& text) = 0;
  virtual std::wstring FromAnsi(const std::string& text) = 0;
};

}  // namespace platform
