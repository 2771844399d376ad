// A child process for the Wine tests that loads the libraries it is told to, or holds files open, then
// waits.
//
//   wdl_loadchild.exe <name> <milliseconds> <library or hold:file>...
//
// Loads each library by the path given; a file named as "hold:" and its path it opens for reading
// instead, shared for reading only (neither writing, deleting nor renaming reaches it meanwhile), and
// never loads (ending the processes that have it loaded does not end this one). Sets the event
// "<name>.ready" (when it exists) once all are loaded and open, then waits until the event "<name>.quit"
// is set or the time runs out.
// Exit codes: 0 when told to end, 1 for a bad command line, 2 when a library could not be loaded or a
// file opened, 3 when the wait ran out.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 1;
  const std::wstring name = argv[1];
  const DWORD timeout = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
  const std::wstring hold = L"hold:";
  std::vector<HMODULE> libraries;
  std::vector<HANDLE> files;
  for (int i = 3; i < argc; ++i) {
    const std::wstring argument = argv[i];
    if (argument.rfind(hold, 0) == 0) {
      HANDLE file = CreateFileW(argument.substr(hold.size()).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
      if (file == INVALID_HANDLE_VALUE) return 2;
      files.push_back(file);
      continue;
    }
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
  for (HANDLE file : files) CloseHandle(file);
  for (HMODULE library : libraries) FreeLibrary(library);
  return waited == WAIT_OBJECT_0 ? 0 : 3;
}
