#pragma once
#include <string>
#include <vector>

#include "platform/Export.h"

// Conversions between wide text and UTF-8 / UTF-16LE bytes, the same on both builds (wchar_t is
// UTF-16 on Windows and UTF-32 natively). Malformed input becomes U+FFFD; nothing throws.
namespace qn {
QN_API std::string ToUtf8(const std::wstring& text);
QN_API std::wstring FromUtf8(const std::string& bytes);
// `bytes` holds UTF-16LE code units; an odd last byte is ignored.
QN_API std::wstring FromUtf16Le(const unsigned char* bytes, std::size_t size);
}  // namespace qn
