#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Files.h"

#include "platform/WinNamesBegin.h"

namespace platform {

// Operations of FakeFiles that can be made to fail, combinable with |.
enum FakeFileOp : unsigned {
  kFileOpRead = 1,        // ReadAll, Copy (as source), FindFirstSize, FindFirstSizeW
  kFileOpWrite = 2,       // WriteAll, AppendAll, Copy (as target)
  kFileOpMove = 4,        // MoveW, MoveA (as source or target)
  kFileOpDelete = 8,      // Delete
  kFileOpAttributes = 16, // SetAttributes
  kFileOpAll = 31,
};

// A recorded move.
struct FileMove {
  std::wstring from;
  std::wstring to;
  bool wide = true;  // MoveW; false for MoveA
  friend bool operator==(const FileMove&, const FileMove&) = default;
};

// An in-memory file system. Paths compare without regard to letter case and with "/" equal to "\".
// Writing a file does not need its folder to exist. Defaults: program folder "C:\Program Files\Wardline",
// temp folder "C:\Temp\", no environment variables, no search folders.
//
//   files.AddFile(L"C:\\Windows\\notepad.exe", {'M', 'Z'});
//   files.AddTextFile(L"C:\\a.txt", "hello");
//   files.AddSearchFolder(L"C:\\Windows\\System32");
//   files.Fail(L"C:\\locked.dll", kFileOpMove | kFileOpDelete, kErrorSharingViolation);
class FakeFiles : public IFileSystem {
 public:
  FakeFiles() = default;
  FakeFiles(const FakeFiles&) = delete;
  FakeFiles& operator=(const FakeFiles&) = delete;

  // --- Set-up -----------------------------------------------------------------------------------
  // Adds or replaces a file.
  void AddFile(const std::wstring& path, std::vector<std::uint8_t> bytes,
               std::uint32_t attributes = kFileAttributeArchive);
  void AddTextFile(const std::wstring& path, const std::string& bytes,
                   std::uint32_t attributes = kFileAttributeArchive);
  // A file that claims `size` bytes without holding them (for size limits); reading it within the
  // limit gives zeros.
  void AddLargeFile(const std::wstring& path, std::uint64_t size);
  void AddFolder(const std::wstring& path);
  // Removes a file or folder without recording it.
  void Remove(const std::wstring& path);

  // SearchPathW/A: first exact-name mappings (`fileName` as passed, any case), then the search
  // folders in the order added. A name containing "\" or ":" is looked up as a path.
  void AddSearchFolder(const std::wstring& folder);
  void MapSearch(const std::wstring& fileName, const std::wstring& fullPath);
  // GetLongPathNameW: a mapped path gives its long form; an existing unmapped path gives itself;
  // anything else fails (0).
  void MapLongPath(const std::wstring& shortPath, const std::wstring& longPath);
  // ExpandEnvironmentStrings; names compare without regard to case.
  void SetEnv(const std::wstring& name, const std::wstring& value);
  void SetProgramFolder(const std::wstring& folder);  // without a trailing separator
  void SetTempFolder(const std::wstring& folder);     // with a trailing backslash
  // Makes the operations `ops` on `path` fail with `code` (0 removes the failure).
  void Fail(const std::wstring& path, unsigned ops, unsigned long code);

  // --- Inspection -------------------------------------------------------------------------------
  bool HasFile(const std::wstring& path) const;
  bool HasFolder(const std::wstring& path) const;
  // The file's bytes / bytes as a narrow string; empty when missing.
  std::vector<std::uint8_t> FileBytes(const std::wstring& path) const;
  std::string FileText(const std::wstring& path) const;
  // kInvalidFileAttributes when missing.
  std::uint32_t FileAttributes(const std::wstring& path) const;
  // Every file path held, in the form added, sorted without regard to case.
  std::vector<std::wstring> FilePaths() const;
  // Successful moves and deletes, in call order (paths as the caller passed them).
  const std::vector<FileMove>& Moves() const noexcept { return moves_; }
  const std::vector<std::wstring>& Deletes() const noexcept { return deletes_; }
  // Successful SetAttributes calls: (path, attributes).
  const std::vector<std::pair<std::wstring, std::uint32_t>>& AttributeChanges() const noexcept {
    return attributeChanges_;
  }

  // --- IFileSystem ------------------------------------------------------------------------------
  bool Exists(const std::wstring& path) override;
  bool ReadAll(const std::wstring& path, std::vector<std::uint8_t>& bytes, std::uint64_t maxBytes,
               unsigned long& lastError) override;
  bool WriteAll(const std::wstring& path, const std::vector<std::uint8_t>& bytes, unsigned long& lastError) override;
  bool AppendAll(const std::wstring& path, const std::vector<std::uint8_t>& bytes, unsigned long& lastError) override;
  bool Copy(const std::wstring& from, const std::wstring& to, bool failIfExists, unsigned long& lastError) override;
  bool MoveW(const std::wstring& from, const std::wstring& to, unsigned long& lastError) override;
  bool MoveA(const std::string& from, const std::string& to, unsigned long& lastError) override;
  bool Delete(const std::wstring& path, unsigned long& lastError) override;
  bool SetAttributes(const std::wstring& path, std::uint32_t attributes, unsigned long& lastError) override;
  std::uint32_t GetAttributes(const std::wstring& path) override;
  // FindFirstSize reads the narrow pattern as Latin-1 (FakeSystem::ToAnsi's "?" for the rest of a
  // wide text is then a wildcard, as it is for FindFirstFileA).
  bool FindFirstSize(const std::string& pattern, std::uint64_t& size) override;
  bool FindFirstSizeW(const std::wstring& pattern, std::uint64_t& size) override;
  unsigned long SearchPathW(const std::wstring& fileName, unsigned long bufferChars, std::wstring& found) override;
  unsigned long SearchPathA(const std::string& fileName, unsigned long bufferChars, std::string& found) override;
  unsigned long GetLongPathNameW(const std::wstring& path, unsigned long bufferChars, std::wstring& longPath) override;
  std::wstring ExpandEnvironmentStrings(const std::wstring& text) override;
  std::wstring ProgramFolder() override;
  std::wstring TempFolder() override;

 private:
  struct Node {
    std::wstring path;  // as added
    bool folder = false;
    std::vector<std::uint8_t> bytes{};
    std::uint64_t claimedSize = 0;  // AddLargeFile
    bool large = false;
    std::uint32_t attributes = kFileAttributeArchive;
    // The size FindFirstFile reports (none for a folder).
    std::uint64_t Size() const { return folder ? 0 : large ? claimedSize : bytes.size(); }
    // Folders and read-only files refuse to be written, replaced or deleted.
    bool Locked() const { return folder || (attributes & kFileAttributeReadOnly) != 0; }
  };
  static std::wstring Norm(const std::wstring& path);
  const Node* FindFile(const std::wstring& path) const;
  unsigned long FailureOf(const std::wstring& path, unsigned op) const;
  // The file or folder at `path`; null, with the error, for an injected failure of `op` or a missing one.
  Node* Reach(const std::wstring& path, unsigned op, unsigned long& lastError);
  // The existing file a write to `path` goes to (null for a new file). False, with the error, when the
  // write is refused: an injected failure, a folder or a read-only file.
  bool WritableTarget(const std::wstring& path, Node*& node, unsigned long& lastError);
  std::wstring Search(const std::wstring& fileName) const;
  bool Move(const std::wstring& from, const std::wstring& to, bool wide, unsigned long& lastError);

  std::map<std::wstring, Node> nodes_;  // by Norm(path)
  std::vector<std::wstring> searchFolders_;
  std::map<std::wstring, std::wstring> searchMap_;    // by Norm(name)
  std::map<std::wstring, std::wstring> longPaths_;    // by Norm(short path)
  std::map<std::wstring, std::wstring> env_;          // by Norm(name)
  std::map<std::wstring, std::pair<unsigned, unsigned long>> failures_;  // by Norm(path)
  std::wstring programFolder_ = L"C:\\Program Files\\Wardline";
  std::wstring tempFolder_ = L"C:\\Temp\\";
  std::vector<FileMove> moves_;
  std::vector<std::wstring> deletes_;
  std::vector<std::pair<std::wstring, std::uint32_t>> attributeChanges_;
};

}  // namespace platform

#include "platform/WinNamesEnd.h"
