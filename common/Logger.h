#pragma once
#include <string>

#include "platform/Export.h"
#include "platform/System.h"

// Log levels.
constexpr int kLogError = 0;
constexpr int kLogTolerated = 4;
constexpr int kLogInfo = 5;

// The program's logger. Each line carries a time stamp, the level, the error number, the source tag and
// the message. Every line is on disk when Log returns. A log file that cannot be opened loses its lines
// but never stops the program.
//
// Line layout, UTF-8, one line per entry ending in CR LF, fields separated by a tab:
//   yyyy-mm-dd hh:mm:ss <TAB> level <TAB> error number <TAB> source <TAB> message
// The error number is decimal, or "0x" and eight hexadecimal digits when it is negative as a 32-bit
// value (0x80004005). Tabs and line breaks inside the source or the message are written as blanks.
//
// The full log gets every line. The short log gets the lines that matter to support: every line below
// level kLogInfo (errors and tolerated failures) and the start lines, i.e. information lines with error
// number 0 whose source ends with ".Form_Initialize".
//
// Each line is appended with open-append-close (platform::Files().AppendAll), so nothing is lost when
// the program ends abruptly. Before SetLogFiles, Log writes nothing; Log never throws.
class QN_API CLogger {
 public:
  CLogger();
  virtual ~CLogger();
  // The full log and the short log. Until this is called nothing is written.
  virtual void SetLogFiles(const std::wstring& logFile, const std::wstring& shortLogFile);
  virtual void Log(long errorNumber, const std::wstring& message, int level, const std::wstring& source);
  // The file whose text the uninstall feedback sends: the full log.
  virtual std::wstring LogFileName() const;

  // The parts of the layout, for tests and for readers of the log.
  static std::wstring FormatNumber(long errorNumber);
  static std::wstring FormatLine(const platform::LocalTime& time, long errorNumber, const std::wstring& message,
                                 int level, const std::wstring& source);
  static bool IsShortLogLine(long errorNumber, int level, const std::wstring& source);

 private:
  std::wstring logFile_;
  std::wstring shortLogFile_;
};
