#pragma once
// Runs one of the helper children (wdl_testchild.exe, wdl_loadchild.exe) around a piece of a test.
#include <windows.h>

#include <functional>
#include <string>

namespace wine_test {

struct ChildRun {
  bool started = false;
  DWORD startError = 0;           // GetLastError() when the child could not be started
  DWORD readyWait = WAIT_FAILED;  // WAIT_OBJECT_0 when the child said it was ready
  DWORD exitCode = 1;
};

// Starts `program` with the command line "program" <eventName> <arguments>; the child sets the event
// "<eventName>.ready" once it is ready and ends when "<eventName>.quit" is set. When it is ready (20 s at
// the most), runs `whileReady`; then tells the child to end and waits for it (20 s at the most).
inline ChildRun RunChild(const std::wstring& program, const std::wstring& eventName, const std::wstring& arguments,
                         const std::function<void()>& whileReady) {
  ChildRun run;
  HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, (eventName + L".ready").c_str());
  HANDLE quit = ::CreateEventW(nullptr, TRUE, FALSE, (eventName + L".quit").c_str());
  std::wstring commandLine = L"\"" + program + L"\" " + eventName + L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  run.started = ready != nullptr && quit != nullptr &&
                ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &info);
  if (!run.started) run.startError = ::GetLastError();
  if (run.started) {
    run.readyWait = ::WaitForSingleObject(ready, 20000);
    if (run.readyWait == WAIT_OBJECT_0) whileReady();
    ::SetEvent(quit);
    ::WaitForSingleObject(info.hProcess, 20000);
    ::GetExitCodeProcess(info.hProcess, &run.exitCode);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
  }
  for (HANDLE handle : {ready, quit}) {
    if (handle != nullptr) ::CloseHandle(handle);
  }
  return run;
}

}  // namespace wine_test
