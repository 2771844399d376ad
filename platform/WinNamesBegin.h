// Included at the start of the declarations of a header whose members share a name with a macro of
// <windows.h> (MessageBox, CopyFile, ...). It parks those macros so the members are declared under
// their own names whatever the including file has seen; WinNamesEnd.h puts them back. Deliberately
// without include guard: it is used once per header, always paired with WinNamesEnd.h.
#pragma push_macro("MessageBox")
#pragma push_macro("CopyFile")
#pragma push_macro("GetComputerName")
#pragma push_macro("GetTempFileName")
#pragma push_macro("ExpandEnvironmentStrings")
#pragma push_macro("GetFileVersionInfo")
#pragma push_macro("EnumProcesses")
#pragma push_macro("EnumProcessModules")
#pragma push_macro("GetModuleFileNameExW")
#pragma push_macro("Process32First")
#pragma push_macro("Process32Next")
#pragma push_macro("Module32First")
#pragma push_macro("Module32Next")
#undef MessageBox
#undef CopyFile
#undef GetComputerName
#undef GetTempFileName
#undef ExpandEnvironmentStrings
#undef GetFileVersionInfo
#undef EnumProcesses
#undef EnumProcessModules
#undef GetModuleFileNameExW
#undef Process32First
#undef Process32Next
#undef Module32First
#undef Module32Next
