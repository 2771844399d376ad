// A child process for the Wine tests: loads wdl_testdll.dll from its own folder, then waits.
//
//   wdl_testchild.exe                  waits until its standard input closes
//   wdl_testchild.exe <name>           sets the event "<name>.ready" (when it exists) once the library is
//                                      loaded, then waits until the event "<name>.quit" is set
//   ... [<name> <milliseconds>]        gives up waiting after that long (default 30000)
//
// Exit codes: 0 when told to end, 2 when the library could not be loaded, 3 when the wait ran out.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

DWORD WINAPI DrainStdin(LPVOID) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  char buffer[64];
  DWORD read = 0;
  while (ReadFile(in, buffer, sizeof buffer, &read, nullptr) && read != 0) {
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HMODULE library = LoadLibraryW((OwnFolder() + L"wdl_testdll.dll").c_str());
  if (library == nullptr) return 2;

  DWORD timeout = 30000;
  if (argc >= 3) timeout = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));

  DWORD waited;
  if (argc >= 2) {
    std::wstring name = argv[1];
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, (name + L".ready").c_str());
    HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, (name + L".quit").c_str());
    if (ready != nullptr) {
      SetEvent(ready);
      CloseHandle(ready);
    }
    waited = quit != nullptr ? WaitForSingleObject(quit, timeout) : WAIT_FAILED;
    if (quit != nullptr) CloseHandle(quit);
  } else {
    HANDLE reader = CreateThread(nullptr, 0, DrainStdin, nullptr, 0, nullptr);
    waited = reader != nullptr ? WaitForSingleObject(reader, timeout) : WAIT_FAILED;
    if (reader != nullptr) CloseHandle(reader);
  }
  FreeLibrary(library);
  return waited == WAIT_OBJECT_0 ? 0 : 3;
}
