#include "common/Logger.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "common/TextCodec.h"
#include "platform/Platform.h"

namespace {

// Tabs and line breaks inside a field would break the one-line-per-entry layout.
std::wstring OneLine(const std::wstring& text) {
  std::wstring out = text;
  for (auto& c : out) {
    if (c == L'\t' || c == L'\r' || c == L'\n') c = L' ';
  }
  return out;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void Append(const std::wstring& file, const std::vector<std::uint8_t>& bytes) {
  unsigned long lastError = 0;
  // A log that cannot be written loses the line; logging never fails the program.
  (void)platform::Files().AppendAll(file, bytes, lastError);
}

}  // namespace

CLogger::CLogger() = default;
CLogger::~CLogger() = default;

void CLogger::SetLogFiles(const std::wstring& logFile, const std::wstring& shortLogFile) {
  logFile_ = logFile;
  shortLogFile_ = shortLogFile;
}

std::wstring CLogger::FormatNumber(long errorNumber) {
  // Numbers that are negative as 32-bit values (HRESULTs such as 0x80004005) read better in hex.
  const auto bits = static_cast<std::uint32_t>(static_cast<std::uint64_t>(errorNumber) & 0xFFFFFFFFu);
  if (errorNumber < 0 || errorNumber > 0x7FFFFFFFL) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08X", static_cast<unsigned>(bits));
    return text;
  }
  return std::to_wstring(errorNumber);
}

std::wstring CLogger::FormatLine(const platform::LocalTime& time, long errorNumber, const std::wstring& message,
                                 int level, const std::wstring& source) {
  wchar_t stamp[32];
  std::swprintf(stamp, 32, L"%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day, time.hour,
                time.minute, time.second);
  return std::wstring(stamp) + L'\t' + std::to_wstring(level) + L'\t' + FormatNumber(errorNumber) + L'\t' +
         OneLine(source) + L'\t' + OneLine(message) + L"\r\n";
}

bool CLogger::IsShortLogLine(long errorNumber, int level, const std::wstring& source) {
  if (level < kLogInfo) return true;
  return errorNumber == 0 && EndsWith(source, L".Form_Initialize");
}

void CLogger::Log(long errorNumber, const std::wstring& message, int level, const std::wstring& source) {
  if (logFile_.empty() && shortLogFile_.empty()) return;
  try {
    const std::string utf8 = qn::ToUtf8(FormatLine(platform::System().Now(), errorNumber, message, level, source));
    const std::vector<std::uint8_t> bytes(utf8.begin(), utf8.end());
    if (!logFile_.empty()) Append(logFile_, bytes);
    if (!shortLogFile_.empty() && IsShortLogLine(errorNumber, level, source)) Append(shortLogFile_, bytes);
  } catch (...) {
    // Logging happens inside error handlers: out of memory here must not replace the error being logged.
  }
}

std::wstring CLogger::LogFileName() const { return logFile_; }
