#include "common/FileUtilities.h"

#include "common/Error.h"
#include "common/TextCodec.h"
#include "platform/Platform.h"

namespace {

[[noreturn]] void ThrowFileError(const std::wstring& path, unsigned long code) {
  const std::wstring reason = platform::System().ErrorText(static_cast<std::uint32_t>(code));
  if (code == static_cast<unsigned long>(platform::kErrorFileNotFound) ||
      code == static_cast<unsigned long>(platform::kErrorPathNotFound)) {
    throw CError(err::kFileNotFound, L"File not found: " + path + L" (" + reason + L")");
  }
  if (code == static_cast<unsigned long>(platform::kErrorNotEnoughMemory)) {
    throw CError(err::kOutOfMemory, L"Out of memory: " + path + L" is too large to read");
  }
  throw CError(err::kPathFileAccess, L"Path/File access error: " + path + L" (" + reason + L")");
}

}  // namespace

bool CFileUtilities::FileExists(const std::wstring& path) const {
  if (path.empty()) return false;
  const std::uint32_t attributes = platform::Files().GetAttributes(path);
  return attributes != platform::kInvalidFileAttributes && (attributes & platform::kFileAttributeDirectory) == 0;
}

std::vector<std::uint8_t> CFileUtilities::ReadFileBytes(const std::wstring& path) const {
  std::vector<std::uint8_t> bytes;
  ReadFileBytes(path, bytes);
  return bytes;
}

void CFileUtilities::ReadFileBytes(const std::wstring& path, std::vector<std::uint8_t>& bytes) const {
  unsigned long lastError = 0;
  if (!platform::Files().ReadAll(path, bytes, kMaxReadBytes, lastError)) ThrowFileError(path, lastError);
}

void CFileUtilities::WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) const {
  unsigned long lastError = 0;
  if (!platform::Files().WriteAll(path, bytes, lastError)) {
    // A missing folder is an access error here: the file itself is being created.
    if (lastError == static_cast<unsigned long>(platform::kErrorFileNotFound) ||
        lastError == static_cast<unsigned long>(platform::kErrorPathNotFound)) {
      throw CError(err::kPathFileAccess, L"Path/File access error: " + path + L" (" +
                                             platform::System().ErrorText(static_cast<std::uint32_t>(lastError)) + L")");
    }
    ThrowFileError(path, lastError);
  }
}

std::wstring CFileUtilities::ReadTextFile(const std::wstring& path) const {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    return qn::FromUtf16Le(bytes.data() + 2, bytes.size() - 2);
  }
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    return qn::FromUtf8(std::string(bytes.begin() + 3, bytes.end()));
  }
  return platform::System().FromAnsi(std::string(bytes.begin(), bytes.end()));
}

void CFileUtilities::CopyFile(const std::wstring& from, const std::wstring& to) const {
  unsigned long lastError = 0;
  if (!platform::Files().Copy(from, to, false, lastError)) ThrowFileError(from, lastError);
}

CFileUtilities& FileUtilities() {
  static CFileUtilities instance;
  return instance;
}
