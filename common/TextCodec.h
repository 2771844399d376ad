#pragma once
#include <string>
#include <vector>

#include "platform/Export.h"

// Conversions between wide text and UTF-8 / UTF-16LE bytes, the same on both builds (wchar_t is
// UTF-16 on Windows and UTF-32 natively; a character above U+FFFF is a surrogate pair on Windows and
// one unit natively). Malformed input becomes U+FFFD; nothing throws.
namespace qn {
// A surrogate pair of the text is one character; a surrogate without its partner becomes U+FFFD.
QN_API std::string ToUtf8(const std::wstring& text);
// Each broken or cut-short sequence becomes one U+FFFD (the longest start of a well-formed sequence
// counts as one; overlong forms, encoded surrogates and values above U+10FFFF are never well formed),
// and decoding goes on with the byte that broke it.
QN_API std::wstring FromUtf8(const std::string& bytes);
// `bytes` holds UTF-16LE code units; an odd last byte is ignored. A surrogate without its partner is
// kept as it is (a file or registry name of Windows may hold one, and must still name the same thing);
// ToUtf8 writes it as U+FFFD.
QN_API std::wstring FromUtf16Le(const unsigned char* bytes, std::size_t size);
}  // namespace qn
