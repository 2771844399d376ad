#include "shell/MAPI.h"

#include <chrono>

#include "platform/Platform.h"
#include "shell/Strings.h"

namespace MAPI {

namespace {

constexpr wchar_t kParasitePrefix[] = L"parasite_";
constexpr wchar_t kParasiteSuffix[] = L".parasite";
constexpr int kProductNameId = 100;

// Seconds since 1970-01-01 00:00:00 of a local date and time, by the proleptic Gregorian calendar.
// Local time is taken as it stands: no time zone is involved.
std::int64_t ToSeconds(const platform::LocalTime& t) {
  using namespace std::chrono;
  const sys_days day = year_month_day(year(t.year), month(static_cast<unsigned>(t.month)),
                                      std::chrono::day(static_cast<unsigned>(t.day)));
  return static_cast<std::int64_t>(day.time_since_epoch().count()) * 86400 + t.hour * 3600 + t.minute * 60 +
         t.second;
}

platform::LocalTime FromSeconds(std::int64_t seconds) {
  using namespace std::chrono;
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  const year_month_day date{sys_days(std::chrono::days(days))};
  platform::LocalTime t;
  t.year = static_cast<int>(date.year());
  t.month = static_cast<int>(static_cast<unsigned>(date.month()));
  t.day = static_cast<int>(static_cast<unsigned>(date.day()));
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

}  // namespace

int MyMsgBox(const std::wstring& prompt, unsigned style, const std::wstring& title) {
  platform::IDesktop& desktop = platform::Desktop();
  const int pointer = desktop.MousePointer();
  desktop.SetMousePointer(platform::kPointerDefault);
  const std::wstring shownTitle = title.empty() ? LoadResString(kProductNameId) : title;
  const int button = desktop.MessageBox(prompt, style, shownTitle);
  desktop.SetMousePointer(pointer);
  return button;
}

bool IsWindowsNT() {
  // The 9x family sets the top bit of GetVersion's value.
  return (platform::System().GetVersion() & 0x80000000u) == 0;
}

bool IsWindowsNT4() {
  if (!IsWindowsNT()) return false;
  return (platform::System().GetVersion() & 0xFFu) == 4;
}

platform::LocalTime GetWindowsStartTime() {
  platform::ISystem& system = platform::System();
  const platform::LocalTime now = system.Now();
  // Whole seconds only; the counter is unsigned, so it never reads as a negative uptime.
  const std::uint32_t uptimeSeconds = system.GetTickCount() / 1000u;
  return FromSeconds(ToSeconds(now) - static_cast<std::int64_t>(uptimeSeconds));
}

std::int32_t GetFileSizeByName(const std::wstring& path) {
  std::uint64_t size = 0;
  // The NT family takes the path as it is; the 9x family knows only the narrow call, so a name outside
  // its code page cannot be found there.
  const bool found = gbIsNT ? platform::Files().FindFirstSizeW(path, size)
                            : platform::Files().FindFirstSize(platform::System().ToAnsi(path), size);
  if (!found) return 0;
  // Only the low 32 bits count, read as a signed number.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(size & 0xFFFFFFFFu));
}

std::wstring MakeParasiteFileName(const std::wstring& path) {
  const std::wstring::size_type slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return kParasitePrefix + path + kParasiteSuffix;
  return path.substr(0, slash + 1) + kParasitePrefix + path.substr(slash + 1) + kParasiteSuffix;
}

}  // namespace MAPI
