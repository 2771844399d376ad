#pragma once
#include <string>

#include "platform/Export.h"

// Log levels.
constexpr int kLogError = 0;
constexpr int kLogTolerated = 4;
constexpr int kLogInfo = 5;

// The program's logger. Each line carries a time stamp, the level, the error number, the source tag and
// the message. Every line is on disk when Log returns. A log file that cannot be opened loses its lines
// but never stops the program.
class QN_API CLogger {
 public:
  CLogger();
  virtual ~CLogger();
  // The full log and the short log. Until this is called nothing is written.
  virtual void SetLogFiles(const std::wstring& logFile, const std::wstring& shortLogFile);
  virtual void Log(long errorNumber, const std::wstring& message, int level, const std::wstring& source);
  // The file whose text the uninstall feedback sends: the full log.
  virtual std::wstring LogFileName() const;

 private:
  std::wstring logFile_;
  std::wstring shortLogFile_;
};
