#include "tests/doubles/FakeFiles.h"

#include <algorithm>

#include "platform/KeyFold.h"

namespace platform {
namespace {

std::wstring Widen(const std::string& text) {  // Latin-1
  std::wstring wide;
  for (char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

std::string Narrow(const std::wstring& text) {  // Latin-1, "?" for the rest
  std::string narrow;
  for (wchar_t c : text) narrow += (static_cast<std::uint32_t>(c) <= 0xFF) ? static_cast<char>(c) : '?';
  return narrow;
}

// "*" and "?" as FindFirstFile knows them, on folded text.
bool WildMatch(const wchar_t* pattern, const wchar_t* text) {
  if (*pattern == 0) return *text == 0;
  if (*pattern == L'*') return WildMatch(pattern + 1, text) || (*text != 0 && WildMatch(pattern, text + 1));
  if (*text == 0) return false;
  if (*pattern == L'?' || *pattern == *text) return WildMatch(pattern + 1, text + 1);
  return false;
}

std::wstring FolderOf(const std::wstring& normPath) {
  auto slash = normPath.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : normPath.substr(0, slash);
}

// The return rule of SearchPath and GetLongPathName for a result `path`.
template <class Str>
unsigned long Answer(const Str& path, unsigned long bufferChars, Str& out) {
  out.clear();
  if (path.size() + 1 > bufferChars) return static_cast<unsigned long>(path.size() + 1);
  out = path;
  return static_cast<unsigned long>(path.size());
}

}  // namespace

FakeFiles::FakeFiles() = default;
FakeFiles::~FakeFiles() = default;

std::wstring FakeFiles::Norm(const std::wstring& path) {
  std::wstring norm = platform::FoldKey(path);
  std::replace(norm.begin(), norm.end(), L'/', L'\\');
  while (norm.size() > 3 && norm.back() == L'\\') norm.pop_back();
  return norm;
}

const FakeFiles::Node* FakeFiles::FindFile(const std::wstring& path) const {
  auto it = nodes_.find(Norm(path));
  return (it == nodes_.end() || it->second.folder) ? nullptr : &it->second;
}

unsigned long FakeFiles::FailureOf(const std::wstring& path, unsigned op) const {
  auto it = failures_.find(Norm(path));
  if (it == failures_.end() || (it->second.first & op) == 0) return 0;
  return it->second.second;
}

void FakeFiles::AddFile(const std::wstring& path, std::vector<std::uint8_t> bytes, std::uint32_t attributes) {
  Node node;
  node.path = path;
  node.bytes = std::move(bytes);
  node.attributes = attributes;
  nodes_[Norm(path)] = std::move(node);
}

void FakeFiles::AddTextFile(const std::wstring& path, const std::string& bytes, std::uint32_t attributes) {
  AddFile(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), attributes);
}

void FakeFiles::AddLargeFile(const std::wstring& path, std::uint64_t size) {
  Node node;
  node.path = path;
  node.large = true;
  node.claimedSize = size;
  nodes_[Norm(path)] = std::move(node);
}

void FakeFiles::AddFolder(const std::wstring& path) {
  Node node;
  node.path = path;
  node.folder = true;
  node.attributes = kFileAttributeDirectory;
  nodes_[Norm(path)] = std::move(node);
}

void FakeFiles::Remove(const std::wstring& path) { nodes_.erase(Norm(path)); }

void FakeFiles::AddSearchFolder(const std::wstring& folder) { searchFolders_.push_back(folder); }
void FakeFiles::MapSearch(const std::wstring& fileName, const std::wstring& fullPath) {
  searchMap_[Norm(fileName)] = fullPath;
}
void FakeFiles::MapLongPath(const std::wstring& shortPath, const std::wstring& longPath) {
  longPaths_[Norm(shortPath)] = longPath;
}
void FakeFiles::SetEnv(const std::wstring& name, const std::wstring& value) { env_[platform::FoldKey(name)] = value; }
void FakeFiles::SetProgramFolder(const std::wstring& folder) { programFolder_ = folder; }
void FakeFiles::SetTempFolder(const std::wstring& folder) { tempFolder_ = folder; }

void FakeFiles::Fail(const std::wstring& path, unsigned ops, unsigned long code) {
  if (code == 0 || ops == 0) {
    failures_.erase(Norm(path));
  } else {
    failures_[Norm(path)] = {ops, code};
  }
}

bool FakeFiles::HasFile(const std::wstring& path) const { return FindFile(path) != nullptr; }

bool FakeFiles::HasFolder(const std::wstring& path) const {
  auto it = nodes_.find(Norm(path));
  return it != nodes_.end() && it->second.folder;
}

std::vector<std::uint8_t> FakeFiles::FileBytes(const std::wstring& path) const {
  const Node* node = FindFile(path);
  return node ? node->bytes : std::vector<std::uint8_t>();
}

std::string FakeFiles::FileText(const std::wstring& path) const {
  auto bytes = FileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::uint32_t FakeFiles::FileAttributes(const std::wstring& path) const {
  auto it = nodes_.find(Norm(path));
  return it == nodes_.end() ? kInvalidFileAttributes : it->second.attributes;
}

std::vector<std::wstring> FakeFiles::FilePaths() const {
  std::vector<std::wstring> paths;
  for (const auto& [norm, node] : nodes_) {
    if (!node.folder) paths.push_back(node.path);
  }
  return paths;
}

bool FakeFiles::Exists(const std::wstring& path) { return nodes_.count(Norm(path)) != 0; }

bool FakeFiles::ReadAll(const std::wstring& path, std::vector<std::uint8_t>& bytes, std::uint64_t maxBytes,
                        unsigned long& lastError) {
  bytes.clear();
  if (auto code = FailureOf(path, kFileOpRead)) {
    lastError = code;
    return false;
  }
  auto it = nodes_.find(Norm(path));
  if (it == nodes_.end()) {
    lastError = kErrorFileNotFound;
    return false;
  }
  if (it->second.folder) {
    lastError = kErrorAccessDenied;
    return false;
  }
  const Node& node = it->second;
  const std::uint64_t size = node.large ? node.claimedSize : node.bytes.size();
  if (size > maxBytes) {
    lastError = kErrorNotEnoughMemory;
    return false;
  }
  if (node.large) {
    bytes.assign(static_cast<std::size_t>(size), 0);
  } else {
    bytes = node.bytes;
  }
  return true;
}

bool FakeFiles::WritableTarget(const std::wstring& path, Node*& node, unsigned long& lastError) {
  node = nullptr;
  if (auto code = FailureOf(path, kFileOpWrite)) {
    lastError = code;
    return false;
  }
  auto it = nodes_.find(Norm(path));
  if (it == nodes_.end()) return true;
  node = &it->second;
  if (node->folder || (node->attributes & kFileAttributeReadOnly)) {
    lastError = kErrorAccessDenied;
    return false;
  }
  return true;
}

bool FakeFiles::WriteAll(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                         unsigned long& lastError) {
  Node* node = nullptr;
  if (!WritableTarget(path, node, lastError)) return false;
  const std::wstring target = node ? node->path : path;
  AddFile(target, bytes, node ? node->attributes : kFileAttributeArchive);
  return true;
}

bool FakeFiles::AppendAll(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                          unsigned long& lastError) {
  Node* node = nullptr;
  if (!WritableTarget(path, node, lastError)) return false;
  if (!node) {
    AddFile(path, bytes);
    return true;
  }
  if (node->large) {
    lastError = kErrorAccessDenied;
    return false;
  }
  node->bytes.insert(node->bytes.end(), bytes.begin(), bytes.end());
  return true;
}

bool FakeFiles::Copy(const std::wstring& from, const std::wstring& to, bool failIfExists, unsigned long& lastError) {
  if (auto code = FailureOf(from, kFileOpRead)) {
    lastError = code;
    return false;
  }
  if (auto code = FailureOf(to, kFileOpWrite)) {
    lastError = code;
    return false;
  }
  const Node* source = FindFile(from);
  if (source == nullptr) {
    lastError = kErrorFileNotFound;
    return false;
  }
  auto target = nodes_.find(Norm(to));
  if (target != nodes_.end()) {
    if (failIfExists) {
      lastError = kErrorFileExists;
      return false;
    }
    if (target->second.folder || (target->second.attributes & kFileAttributeReadOnly)) {
      lastError = kErrorAccessDenied;
      return false;
    }
  }
  Node copy = *source;
  copy.path = to;
  nodes_[Norm(to)] = std::move(copy);
  return true;
}

bool FakeFiles::Move(const std::wstring& from, const std::wstring& to, bool wide, unsigned long& lastError) {
  for (const auto* path : {&from, &to}) {
    if (auto code = FailureOf(*path, kFileOpMove)) {
      lastError = code;
      return false;
    }
  }
  auto source = nodes_.find(Norm(from));
  if (source == nodes_.end()) {
    lastError = kErrorFileNotFound;
    return false;
  }
  const std::wstring target = Norm(to);
  if (target != source->first && nodes_.count(target) != 0) {
    lastError = kErrorAlreadyExists;
    return false;
  }
  Node node = std::move(source->second);
  nodes_.erase(source);
  node.path = to;
  nodes_[target] = std::move(node);
  moves_.push_back(FileMove{from, to, wide});
  return true;
}

bool FakeFiles::MoveW(const std::wstring& from, const std::wstring& to, unsigned long& lastError) {
  return Move(from, to, true, lastError);
}

bool FakeFiles::MoveA(const std::string& from, const std::string& to, unsigned long& lastError) {
  return Move(Widen(from), Widen(to), false, lastError);
}

bool FakeFiles::Delete(const std::wstring& path, unsigned long& lastError) {
  if (auto code = FailureOf(path, kFileOpDelete)) {
    lastError = code;
    return false;
  }
  auto it = nodes_.find(Norm(path));
  if (it == nodes_.end()) {
    lastError = kErrorFileNotFound;
    return false;
  }
  if (it->second.folder || (it->second.attributes & kFileAttributeReadOnly)) {
    lastError = kErrorAccessDenied;
    return false;
  }
  nodes_.erase(it);
  deletes_.push_back(path);
  return true;
}

bool FakeFiles::SetAttributes(const std::wstring& path, std::uint32_t attributes, unsigned long& lastError) {
  if (auto code = FailureOf(path, kFileOpAttributes)) {
    lastError = code;
    return false;
  }
  auto it = nodes_.find(Norm(path));
  if (it == nodes_.end()) {
    lastError = kErrorFileNotFound;
    return false;
  }
  // FILE_ATTRIBUTE_NORMAL alone means "no attributes"; the directory bit cannot be changed.
  std::uint32_t kept = attributes == kFileAttributeNormal ? 0 : (attributes & ~kFileAttributeDirectory);
  if (it->second.folder) kept |= kFileAttributeDirectory;
  it->second.attributes = kept == 0 ? kFileAttributeNormal : kept;
  attributeChanges_.emplace_back(path, attributes);
  return true;
}

std::uint32_t FakeFiles::GetAttributes(const std::wstring& path) { return FileAttributes(path); }

bool FakeFiles::FindFirstSize(const std::string& pattern, std::uint64_t& size) {
  return FindFirstSizeW(Widen(pattern), size);
}

bool FakeFiles::FindFirstSizeW(const std::wstring& pattern, std::uint64_t& size) {
  const std::wstring norm = Norm(pattern);
  if (FailureOf(pattern, kFileOpRead)) return false;
  const std::wstring folder = FolderOf(norm);
  const std::wstring namePattern = norm.substr(folder.empty() ? 0 : folder.size() + 1);
  // A name without wildcards matches only itself: look it up instead of walking every node.
  if (namePattern.find_first_of(L"*?") == std::wstring::npos) {
    auto it = nodes_.find(norm);
    if (it == nodes_.end()) return false;
    size = it->second.folder ? 0 : (it->second.large ? it->second.claimedSize : it->second.bytes.size());
    return true;
  }
  for (const auto& [path, node] : nodes_) {
    if (FolderOf(path) != folder) continue;
    const std::wstring name = path.substr(folder.empty() ? 0 : folder.size() + 1);
    if (WildMatch(namePattern.c_str(), name.c_str())) {
      size = node.folder ? 0 : (node.large ? node.claimedSize : node.bytes.size());
      return true;
    }
  }
  return false;
}

std::wstring FakeFiles::Search(const std::wstring& fileName) const {
  if (fileName.empty()) return L"";
  if (fileName.find_first_of(L"\\/:") != std::wstring::npos) {
    return nodes_.count(Norm(fileName)) ? fileName : L"";
  }
  auto mapped = searchMap_.find(Norm(fileName));
  if (mapped != searchMap_.end()) return mapped->second;
  for (const auto& folder : searchFolders_) {
    std::wstring candidate = folder;
    if (!candidate.empty() && candidate.back() != L'\\') candidate += L'\\';
    candidate += fileName;
    auto it = nodes_.find(Norm(candidate));
    if (it != nodes_.end() && !it->second.folder) return candidate;
  }
  return L"";
}

unsigned long FakeFiles::SearchPathW(const std::wstring& fileName, unsigned long bufferChars, std::wstring& found) {
  const std::wstring path = Search(fileName);
  if (path.empty()) {
    found.clear();
    return 0;
  }
  return Answer(path, bufferChars, found);
}

unsigned long FakeFiles::SearchPathA(const std::string& fileName, unsigned long bufferChars, std::string& found) {
  const std::wstring path = Search(Widen(fileName));
  if (path.empty()) {
    found.clear();
    return 0;
  }
  return Answer(Narrow(path), bufferChars, found);
}

unsigned long FakeFiles::GetLongPathNameW(const std::wstring& path, unsigned long bufferChars,
                                          std::wstring& longPath) {
  auto mapped = longPaths_.find(Norm(path));
  if (mapped != longPaths_.end()) return Answer(mapped->second, bufferChars, longPath);
  if (nodes_.count(Norm(path)) != 0) return Answer(path, bufferChars, longPath);
  longPath.clear();
  return 0;
}

std::wstring FakeFiles::ExpandEnvironmentStrings(const std::wstring& text) {
  std::wstring out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find(L'%', pos);
    if (open == std::wstring::npos) break;
    const std::size_t close = text.find(L'%', open + 1);
    if (close == std::wstring::npos) break;
    out.append(text, pos, open - pos);
    auto it = env_.find(platform::FoldKey(text.substr(open + 1, close - open - 1)));
    if (it != env_.end() && close > open + 1) {
      out += it->second;
      pos = close + 1;
    } else {
      out += L'%';  // not a variable: keep the first "%" and go on from the second
      pos = open + 1;
    }
  }
  out.append(text, pos, std::wstring::npos);
  return out;
}

std::wstring FakeFiles::ProgramFolder() { return programFolder_; }
std::wstring FakeFiles::TempFolder() { return tempFolder_; }

}  // namespace platform
