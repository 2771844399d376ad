#pragma once
#include <string>

#include "platform/Export.h"

namespace platform {

#if defined(_WIN32)
// The text of string resource `id` of the running program's executable (not of qnCommon.dll), exactly
// as stored, trailing blanks included. False when the executable has no such string; `text` is then
// unchanged.
QN_API bool LoadStringResource(int id, std::wstring& text);
#endif

}  // namespace platform
