#pragma once
#include <string>

// The program's numbered user texts (ids 100 to 124, 130 to 137 and 906). On Windows they are the
// executable's STRINGTABLE, loaded with LoadStringW; the native build compiles the same table in.
// An unknown id gives "".
std::wstring LoadResString(int id);
