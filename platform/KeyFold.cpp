#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/KeyFold.h"

namespace platform {
namespace {

// Simple case folding (one character to one character) of Basic Latin, Latin-1, Latin Extended-A,
// Greek and Cyrillic, written out so that both builds give the same result whatever the C locale.
// Characters outside these blocks are left as they are.
char32_t FoldChar(char32_t c) {
  if (c < 0x80) return (c >= U'A' && c <= U'Z') ? c + 0x20 : c;
  if (c <= 0xFF) {
    if (c == 0xB5) return 0x3BC;  // micro sign folds to Greek small mu
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    return c;
  }
  if (c <= 0x17F) {
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149) return c;  // no simple folding
    if (c == 0x178) return 0xFF;
    if (c == 0x17F) return U's';
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 1) ? c + 1 : c;
    return (c % 2 == 0) ? c + 1 : c;  // 0100-012F, 0132-0137, 014A-0177: even upper, odd lower
  }
  if (c >= 0x370 && c <= 0x3FF) {
    switch (c) {
      case 0x37F: return 0x3F3;
      case 0x386: return 0x3AC;
      case 0x388: case 0x389: case 0x38A: return c + 0x25;
      case 0x38C: return 0x3CC;
      case 0x38E: case 0x38F: return c + 0x3F;
      case 0x3C2: return 0x3C3;  // final sigma
      case 0x3CF: return 0x3D7;
      case 0x3D0: return 0x3B2;
      case 0x3D1: return 0x3B8;
      case 0x3D5: return 0x3C6;
      case 0x3D6: return 0x3C0;
      case 0x3F0: return 0x3BA;
      case 0x3F1: return 0x3C1;
      case 0x3F4: return 0x3B8;
      case 0x3F5: return 0x3B5;
      case 0x3F7: return 0x3F8;
      case 0x3F9: return 0x3F2;
      case 0x3FA: return 0x3FB;
      case 0x3FD: case 0x3FE: case 0x3FF: return c - 0x82;
      default: break;
    }
    if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) return c + 0x20;
    if (c >= 0x3D8 && c <= 0x3EF) return (c % 2 == 0) ? c + 1 : c;
    return c;
  }
  if (c >= 0x400 && c <= 0x52F) {
    if (c <= 0x40F) return c + 0x50;
    if (c <= 0x42F) return c + 0x20;
    if (c < 0x460) return c;
    if (c <= 0x481 || (c >= 0x48A && c <= 0x4BF) || c >= 0x4D0) return (c % 2 == 0) ? c + 1 : c;
    if (c == 0x4C0) return 0x4CF;
    if (c >= 0x4C1 && c <= 0x4CE) return (c % 2 == 1) ? c + 1 : c;
    return c;
  }
  return c;
}

}  // namespace

wchar_t FoldKeyChar(wchar_t ch) noexcept {
  const auto c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(ch));
  return static_cast<wchar_t>(FoldChar(c));
}

std::wstring FoldKey(std::wstring_view key) {
  std::wstring folded(key);
  for (auto& ch : folded) ch = FoldKeyChar(ch);
  return folded;
}

}  // namespace platform
