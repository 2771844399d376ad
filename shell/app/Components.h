#pragma once
#include <string>

namespace MWDL {

// True when an object of qnCommon.dll and of WDLCustom.dll can be created; otherwise false with the
// message for the user in `message` (unchanged on success). Called only by the start-up.
bool CheckComponents(std::wstring& message);

}  // namespace MWDL
