#include "tests/doubles/FakeSystem.h"

#include <cstdio>

namespace platform {

FakeSystem::FakeSystem() = default;
FakeSystem::~FakeSystem() = default;

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

std::string FakeSystem::ToAnsi(const std::wstring& text) {
  std::string ansi;
  ansi.reserve(text.size());
  for (wchar_t c : text) ansi += static_cast<std::uint32_t>(c) <= 0xFF ? static_cast<char>(c) : '?';
  return ansi;
}

std::wstring FakeSystem::FromAnsi(const std::string& text) {
  std::wstring wide;
  wide.reserve(text.size());
  for (char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

}  // namespace platform
