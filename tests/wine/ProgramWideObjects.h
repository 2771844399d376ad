#pragma once
// The program-wide objects as the start-up makes them, for a Wine test of code that uses them.
#include <memory>
#include <string>
#include <tuple>

#include "common/Logger.h"
#include "common/Registry.h"
#include "inspection/FileInfoManager.h"
#include "inspection/FilenameResolver.h"
#include "inspection/Hashier.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"

namespace wine_test {

// A logger that keeps its lines as "source (level): number message", one per line.
class RecordingLogger : public CLogger {
 public:
  void Log(long number, const std::wstring& message, int level, const std::wstring& source) override {
    lines += source + L" (" + std::to_wstring(level) + L"): " + std::to_wstring(number) + L" " + message + L"\n";
  }
  std::wstring lines;
};

// Sets the program-wide objects in the start-up's order, with `logger` as goLogger, for its lifetime;
// the previous ones come back after.
class ProgramWideObjects {
 public:
  explicit ProgramWideObjects(std::shared_ptr<CLogger> logger) {
    MWDL::goLogger = std::move(logger);
    MWDL::gsVersion = MWDL::VersionText();
    MAPI::gbIsNT = MAPI::IsWindowsNT();
    MAPI::gbIsNT4 = MAPI::IsWindowsNT4();
    MWDL::goRegistry = std::make_shared<CRegistry>();
    MWDL::goHashier = std::make_shared<CHashier>();
    MWDL::goFileInfoManager = std::make_shared<CFileInfoManager>();
    MWDL::goFilenameResolver = std::make_shared<CFilenameResolver>();
  }
  ~ProgramWideObjects() {
    std::tie(MWDL::goLogger, MWDL::gsVersion, MAPI::gbIsNT, MAPI::gbIsNT4, MWDL::goRegistry, MWDL::goHashier,
             MWDL::goFileInfoManager, MWDL::goFilenameResolver) = saved_;
  }
  ProgramWideObjects(const ProgramWideObjects&) = delete;
  ProgramWideObjects& operator=(const ProgramWideObjects&) = delete;

 private:
  std::tuple<std::shared_ptr<CLogger>, std::wstring, bool, bool, std::shared_ptr<CRegistry>, std::shared_ptr<CHashier>,
             std::shared_ptr<CFileInfoManager>, std::shared_ptr<CFilenameResolver>>
      saved_{MWDL::goLogger,  MWDL::gsVersion,          MAPI::gbIsNT,
             MAPI::gbIsNT4,   MWDL::goRegistry,         MWDL::goHashier,
             MWDL::goFileInfoManager, MWDL::goFilenameResolver};
};

}  // namespace wine_test
