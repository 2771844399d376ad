#pragma once
#include <windows.h>

#include <string>

namespace ui::win32 {

// The clipboard's text, read and written with `owner` as the window that holds the clipboard open.

// "" when the clipboard holds no text or cannot be opened.
std::wstring ClipboardText(HWND owner);
// False when the clipboard could not be had or would not take the text.
bool SetClipboardText(HWND owner, const std::wstring& text);

}  // namespace ui::win32
