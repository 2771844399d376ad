#pragma once
#include <cstdint>

namespace platform {

// An OS handle as an opaque number: 0 means "no handle". Toolhelp's INVALID_HANDLE_VALUE is mapped to 0
// by the Win32 implementation, so callers test one value only.
using Handle = std::uintptr_t;
constexpr Handle kNoHandle = 0;

// Registry hives, as the Win32 key constants.
using Hive = std::uint32_t;
constexpr Hive kHkeyClassesRoot = 0x80000000u;
constexpr Hive kHkeyCurrentUser = 0x80000001u;
constexpr Hive kHkeyLocalMachine = 0x80000002u;

// Registry value types.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

// Win32 error codes the program names.
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorPathNotFound = 3;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorNotEnoughMemory = 8;
constexpr long kErrorSharingViolation = 32;
constexpr long kErrorFileExists = 80;
constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorInsufficientBuffer = 122;
constexpr long kErrorAlreadyExists = 183;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;

// File attributes.
constexpr std::uint32_t kFileAttributeReadOnly = 0x1;
constexpr std::uint32_t kFileAttributeHidden = 0x2;
constexpr std::uint32_t kFileAttributeSystem = 0x4;
constexpr std::uint32_t kFileAttributeDirectory = 0x10;
constexpr std::uint32_t kFileAttributeArchive = 0x20;
constexpr std::uint32_t kFileAttributeNormal = 0x80;
constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

}  // namespace platform
