#pragma once
#include <cstdint>
#include <string>

// Small pieces the in-memory doubles share.
namespace platform::doubles {

// ANSI as the doubles know it: Latin-1, "?" for every character above 255.
inline std::string ToLatin1(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += static_cast<std::uint32_t>(c) <= 0xFF ? static_cast<char>(c) : '?';
  return narrow;
}

inline std::wstring FromLatin1(const std::string& text) {
  std::wstring wide;
  for (char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

// A failed call of the kind that hands its error code back in `lastError`.
inline bool Refuse(unsigned long& lastError, unsigned long code) {
  lastError = code;
  return false;
}

}  // namespace platform::doubles
