// CFilenameResolver on any command line, as the registry and the process lists hand them over: the
// command-line step cuts a name no longer than the line (plus the ".dll" or ".exe" it may add) and
// gives the same name every time; the name then goes through the file search on the in-memory machine
// in both registry views and both Windows families, and a second request is answered from the cache.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "inspection/FilenameResolver.h"
#include "shell/MAPI.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

void Prepare(platform::FakeMachine& machine) {
  for (const auto& [name, value] : {std::pair{L"SystemRoot", L"C:\\WINDOWS"}, {L"windir", L"C:\\WINDOWS"},
                                    {L"ProgramFiles", L"C:\\Program Files"}, {L"Self", L"%Self%"}}) {
    machine.files.SetEnv(name, value);
  }
  // Longer than the search is told: the expansion must not be trusted to fit.
  machine.files.SetEnv(L"Long", std::wstring(3000, L'x'));
  machine.files.AddSearchFolder(L"C:\\WINDOWS\\system32");
  machine.files.AddSearchFolder(L"C:\\WINDOWS");
  for (const wchar_t* path : {L"C:\\WINDOWS\\system32\\shell32.dll", L"C:\\WINDOWS\\system32\\rundll32.exe",
                              L"C:\\WINDOWS\\explorer.exe", L"C:\\WINDOWS\\SysWOW64\\shell32.dll",
                              L"C:\\Program Files\\App\\app.exe"}) {
    machine.files.AddFile(path, {'M', 'Z'});
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::FakeMachine& machine = fuzz::Machine(Prepare);
  FuzzedDataProvider input(data, size);
  MAPI::gbIsNT = input.ConsumeBool();
  MAPI::gbIsNT4 = false;
  machine.system.Set64BitWindows(input.ConsumeBool());
  const bool longNames = input.ConsumeBool();
  const std::wstring commandLine = fuzz::TextOf(input.ConsumeRemainingBytesAsString());

  CFilenameResolver resolver;
  if (longNames) resolver.Init();
  const std::wstring name = resolver.GetFileNameFromCommandLine(commandLine);
  FUZZ_CHECK(name.size() <= std::max<std::size_t>(commandLine.size() + 4, 12));
  FUZZ_CHECK(resolver.GetFileNameFromCommandLine(commandLine) == name);

  for (platform::RegView view : {platform::RegView::kNative, platform::RegView::kWow32}) {
    // An error of the expansion or the cache reaches the enumerator's handler: allowed, not a crash.
    fuzz::ErrorOf([&] {
      const std::wstring full = resolver.GetFullFileNameFromShortFilename(name, view);
      FUZZ_CHECK(resolver.GetFullFileNameFromShortFilename(name, view) == full);
    });
  }
  return 0;
}
