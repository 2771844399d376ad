#include "tests/doubles/FakeSystem.h"

#include <cstdio>

#include "tests/doubles/DoubleSupport.h"

namespace platform {

std::uint64_t FakeSystem::TotalSlept() const {
  std::uint64_t total = 0;
  for (auto ms : sleeps_) total += ms;
  return total;
}

std::wstring FakeSystem::FormatDateTime(const LocalTime& time) {
  wchar_t text[64];
  std::swprintf(text, 64, L"%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day, time.hour,
                time.minute, time.second);
  return text;
}

void FakeSystem::Sleep(std::uint32_t milliseconds) {
  sleeps_.push_back(milliseconds);
  if (sleepAdvances_) ticks_ += milliseconds;  // wraps like the real counter
}

std::wstring FakeSystem::ErrorText(std::uint32_t code) {
  auto it = errorTexts_.find(code);
  if (it != errorTexts_.end()) return it->second;
  switch (code) {
    case 0: return L"The operation completed successfully.";
    case 2: return L"The system cannot find the file specified.";
    case 3: return L"The system cannot find the path specified.";
    case 5: return L"Access is denied.";
    case 32: return L"The process cannot access the file because it is being used by another process.";
    default: return L"Error " + std::to_wstring(code);
  }
}

std::string FakeSystem::ToAnsi(const std::wstring& text) { return doubles::ToLatin1(text); }
std::wstring FakeSystem::FromAnsi(const std::string& text) { return doubles::FromLatin1(text); }

}  // namespace platform
