#pragma once
// What the removal-script targets share: this machine on the doubles (the three texts of FakeSystem and
// the program's version 2.0.24), the program-wide logger writing into the in-memory files, and a check
// that every line the log got is one entry of its layout.
#include <algorithm>
#include <memory>
#include <string>

#include "common/Logger.h"
#include "common/TextCodec.h"
#include "shell/MWDL.h"
#include "tests/fuzz/FuzzSupport.h"

namespace fuzz {

inline const std::wstring kLogFile = L"C:\\Program Files\\Wardline\\WDL.log";
inline const std::wstring kShortLogFile = L"C:\\Program Files\\Wardline\\short.log";
inline const std::wstring kVersion = L"2.0.24";

inline platform::FakeMachine& ScriptMachine() {
  return Machine([](platform::FakeMachine&) {
    MWDL::gsVersion = kVersion;
    MWDL::goLogger = std::make_shared<CLogger>();
    MWDL::goLogger->SetLogFiles(kLogFile, kShortLogFile);
  });
}

// Every line of both logs has the five fields of the layout: a text from the script (a name in the
// bag, an item quoted in an error) cannot start a line of its own. The logs are then emptied.
inline void CheckAndClearLogs() {
  platform::FakeMachine& machine = ScriptMachine();
  for (const std::wstring& file : {kLogFile, kShortLogFile}) {
    const std::wstring text = qn::FromUtf8(machine.files.FileText(file));
    std::size_t from = 0;
    while (from < text.size()) {
      const std::size_t end = text.find(L"\r\n", from);
      FUZZ_CHECK(end != std::wstring::npos);
      const std::wstring line = text.substr(from, end - from);
      FUZZ_CHECK(line.find_first_of(L"\r\n") == std::wstring::npos);
      FUZZ_CHECK(std::count(line.begin(), line.end(), L'\t') == 4);
      from = end + 2;
    }
    machine.files.Remove(file);
  }
}

}  // namespace fuzz
