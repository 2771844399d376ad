// A library for the Wine tests to load and to read the version strings of. It does nothing, but as a
// component library it reports each failure of a create function by the class's name.
#include <windows.h>

#include <cstdint>

#include "platform/Components.h"

extern "C" __declspec(dllexport) int WdlTestDllAnswer() { return 42; }

// "CNoMemory" and "CBroken" fail as a library without memory for the object or otherwise broken; no
// class is ever made.
extern "C" __declspec(dllexport) std::int32_t WdlCreateComponent(const wchar_t* className,
                                                                  platform::IComponent** object) {
  *object = nullptr;
  if (className != nullptr && ::lstrcmpW(className, L"CNoMemory") == 0) return platform::kComponentOutOfMemory;
  if (className != nullptr && ::lstrcmpW(className, L"CBroken") == 0) return platform::kComponentFailed;
  return platform::kComponentUnknownClass;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
