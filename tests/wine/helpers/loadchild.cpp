// A child process for the Wine tests that loads the libraries it is told to, then waits.
//
//   wdl_loadchild.exe <name> <milliseconds> <library>...
//
// Loads each library by the path given, sets the event "<name>.ready" (when it exists) once all are
// loaded, then waits until the event "<name>.quit" is set or the time runs out.
// Exit codes: 0 when told to end, 1 for a bad command line, 2 when a library could not be loaded, 3 when
// the wait ran out.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 1;
  const std::wstring name = argv[1];
  const DWORD timeout = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
  std::vector<HMODULE> libraries;
  for (int i = 3; i < argc; ++i) {
    HMODULE library = LoadLibraryW(argv[i]);
    if (library == nullptr) return 2;
    libraries.push_back(library);
  }
  HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, (name + L".quit").c_str());
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, (name + L".ready").c_str());
  if (ready != nullptr) {
    SetEvent(ready);
    CloseHandle(ready);
  }
  const DWORD waited = quit != nullptr ? WaitForSingleObject(quit, timeout) : WAIT_FAILED;
  if (quit != nullptr) CloseHandle(quit);
  for (HMODULE library : libraries) FreeLibrary(library);
  return waited == WAIT_OBJECT_0 ? 0 : 3;
}
