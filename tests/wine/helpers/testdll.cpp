// A library for the Wine tests to load and to read the version strings of. It does nothing.
#include <windows.h>

extern "C" __declspec(dllexport) int WdlTestDllAnswer() { return 42; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
