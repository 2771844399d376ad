#include <gtest/gtest.h>

#include <algorithm>

#include "common/Error.h"
#include "common/Logger.h"
#include "tests/doubles/FakeMachine.h"

namespace {

const std::wstring kLog = L"C:\\Program Files\\Wardline\\WDL.log";
const std::wstring kShort = L"C:\\Program Files\\Wardline\\short.log";

TEST(CommonLoggerTest, LineLayoutIsTabSeparatedUtf8WithCrLf) {
  platform::FakeMachine m;
  m.system.SetNow({2023, 7, 8, 9, 5, 3});
  CLogger logger;
  logger.SetLogFiles(kLog, kShort);
  logger.Log(53, L"Datei \u00E4 fehlt\r\nzweite", kLogError, L"CX.Do");
  logger.Log(err::FromBits(0x80004005u), L"kill", kLogTolerated, L"CP.Kill");
  EXPECT_EQ(m.files.FileText(kLog),
            "2023-07-08 09:05:03\t0\t53\tCX.Do\tDatei \xC3\xA4 fehlt  zweite\r\n"
            "2023-07-08 09:05:03\t4\t0x80004005\tCP.Kill\tkill\r\n");
  EXPECT_EQ(logger.LogFileName(), kLog);
}

TEST(CommonLoggerTest, ShortLogKeepsFailuresAndStartLines) {
  platform::FakeMachine m;
  CLogger logger;
  logger.SetLogFiles(kLog, kShort);
  struct Case { long number; int level; std::wstring source; bool inShort; };
  const Case cases[] = {{0, kLogInfo, L"FMain.Form_Initialize", true}, {0, kLogInfo, L"CHashier.Hash", false},
                        {7, kLogInfo, L"FMain.Form_Initialize", false}, {91, kLogError, L"X.Y", true},
                        {5, kLogTolerated, L"X.Z", true}};
  int expectedShort = 0;
  for (const auto& c : cases) {
    logger.Log(c.number, L"m", c.level, c.source);
    EXPECT_EQ(CLogger::IsShortLogLine(c.number, c.level, c.source), c.inShort) << c.source;
    expectedShort += c.inShort;
  }
  auto lines = [&](const std::wstring& file) {
    const std::string text = m.files.FileText(file);
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  };
  EXPECT_EQ(std::pair(lines(kLog), lines(kShort)), std::pair(5, expectedShort));
}

TEST(CommonLoggerTest, NothingIsWrittenBeforeSetLogFiles) {
  platform::FakeMachine m;
  CLogger logger;
  logger.Log(0, L"early", kLogError, L"A.B");
  EXPECT_TRUE(m.files.FilePaths().empty());
}

TEST(CommonLoggerTest, AnUnwritableLogLosesTheLineOnly) {
  platform::FakeMachine m;
  m.files.Fail(kLog, platform::kFileOpWrite, platform::kErrorAccessDenied);
  CLogger logger;
  logger.SetLogFiles(kLog, kShort);
  EXPECT_NO_THROW(logger.Log(1, L"x", kLogError, L"A.B"));
  EXPECT_EQ(std::pair(m.files.HasFile(kLog), m.files.HasFile(kShort)), std::pair(false, true));
}

}  // namespace
