#pragma once
#include <cstdint>
#include <string>

#include "platform/System.h"

// Small system routines shared by the subsystems. None keeps state; none traps errors.
namespace MAPI {

// Set by the start-up: the NT family (and NT 4 in particular) rather than the 9x family.
extern bool gbIsNT;
extern bool gbIsNT4;

// The standard message-box styles the program shows (icon and buttons), and the answers it tests.
constexpr unsigned kStyleCritical = 16;               // critical icon, OK
constexpr unsigned kStyleExclamation = 48;            // exclamation icon, OK
constexpr unsigned kStyleOkCancelExclamation = 49;    // exclamation icon, OK and Cancel
constexpr unsigned kStyleRetryCancelExclamation = 53; // exclamation icon, Retry and Cancel
constexpr unsigned kStyleInformation = 64;            // information icon, OK
constexpr int kAnswerOk = 1;
constexpr int kAnswerRetry = 4;

// The one routine that shows a message box. An empty title becomes the product name (string 100).
// The mouse pointer is the default one while the box shows and is put back afterwards.
int MyMsgBox(const std::wstring& prompt, unsigned style, const std::wstring& title = L"");
bool IsWindowsNT();
bool IsWindowsNT4();
// The moment Windows started, to the second.
platform::LocalTime GetWindowsStartTime();
// The low 32 bits of the size of the first file matching `path`, as a signed number; 0 when none.
// The NT family searches with the wide path (gbIsNT), the 9x family with the path in the ANSI code page.
std::int32_t GetFileSizeByName(const std::wstring& path);
// C:\dir\x.exe -> C:\dir\parasite_x.exe.parasite
std::wstring MakeParasiteFileName(const std::wstring& path);

}  // namespace MAPI
