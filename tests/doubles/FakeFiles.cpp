#include "tests/doubles/FakeFiles.h"

#include <algorithm>

#include "platform/KeyFold.h"
#include "tests/doubles/DoubleSupport.h"

namespace platform {
namespace {

using doubles::Refuse;

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

// The same for a search, where nothing found ("") gives 0.
template <class Str>
unsigned long AnswerFound(const Str& path, unsigned long bufferChars, Str& out) {
  if (!path.empty()) return Answer(path, bufferChars, out);
  out.clear();
  return 0;
}

}  // namespace

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

FakeFiles::Node* FakeFiles::Reach(const std::wstring& path, unsigned op, unsigned long& lastError) {
  if (auto code = FailureOf(path, op)) return Refuse(lastError, code), nullptr;
  auto it = nodes_.find(Norm(path));
  if (it != nodes_.end()) return &it->second;
  return Refuse(lastError, kErrorFileNotFound), nullptr;
}

void FakeFiles::AddFile(const std::wstring& path, std::vector<std::uint8_t> bytes, std::uint32_t attributes) {
  nodes_[Norm(path)] = Node{.path = path, .bytes = std::move(bytes), .attributes = attributes};
}

void FakeFiles::AddTextFile(const std::wstring& path, const std::string& bytes, std::uint32_t attributes) {
  AddFile(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), attributes);
}

void FakeFiles::AddLargeFile(const std::wstring& path, std::uint64_t size) {
  nodes_[Norm(path)] = Node{.path = path, .claimedSize = size, .large = true};
}

void FakeFiles::AddFolder(const std::wstring& path) {
  nodes_[Norm(path)] = Node{.path = path, .folder = true, .attributes = kFileAttributeDirectory};
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
  const Node* node = Reach(path, kFileOpRead, lastError);
  if (node == nullptr) return false;
  if (node->folder) return Refuse(lastError, kErrorAccessDenied);
  const std::uint64_t size = node->Size();
  if (size > maxBytes) return Refuse(lastError, kErrorNotEnoughMemory);
  bytes = node->large ? std::vector<std::uint8_t>(static_cast<std::size_t>(size), 0) : node->bytes;
  return true;
}

bool FakeFiles::WritableTarget(const std::wstring& path, Node*& node, unsigned long& lastError) {
  node = nullptr;
  if (auto code = FailureOf(path, kFileOpWrite)) return Refuse(lastError, code);
  auto it = nodes_.find(Norm(path));
  if (it == nodes_.end()) return true;
  node = &it->second;
  if (node->Locked()) return Refuse(lastError, kErrorAccessDenied);
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
  if (node->large) return Refuse(lastError, kErrorAccessDenied);
  node->bytes.insert(node->bytes.end(), bytes.begin(), bytes.end());
  return true;
}

bool FakeFiles::Copy(const std::wstring& from, const std::wstring& to, bool failIfExists, unsigned long& lastError) {
  if (auto code = FailureOf(from, kFileOpRead)) return Refuse(lastError, code);
  if (auto code = FailureOf(to, kFileOpWrite)) return Refuse(lastError, code);
  const Node* source = FindFile(from);
  if (source == nullptr) return Refuse(lastError, kErrorFileNotFound);
  auto target = nodes_.find(Norm(to));
  if (target != nodes_.end() && failIfExists) return Refuse(lastError, kErrorFileExists);
  if (target != nodes_.end() && target->second.Locked()) return Refuse(lastError, kErrorAccessDenied);
  Node copy = *source;
  copy.path = to;
  nodes_[Norm(to)] = std::move(copy);
  return true;
}

bool FakeFiles::Move(const std::wstring& from, const std::wstring& to, bool wide, unsigned long& lastError) {
  for (const auto* path : {&from, &to}) {
    if (auto code = FailureOf(*path, kFileOpMove)) return Refuse(lastError, code);
  }
  auto source = nodes_.find(Norm(from));
  if (source == nodes_.end()) return Refuse(lastError, kErrorFileNotFound);
  const std::wstring target = Norm(to);
  if (target != source->first && nodes_.count(target) != 0) return Refuse(lastError, kErrorAlreadyExists);
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
  return Move(doubles::FromLatin1(from), doubles::FromLatin1(to), false, lastError);
}

bool FakeFiles::Delete(const std::wstring& path, unsigned long& lastError) {
  const Node* node = Reach(path, kFileOpDelete, lastError);
  if (node == nullptr) return false;
  if (node->Locked()) return Refuse(lastError, kErrorAccessDenied);
  nodes_.erase(Norm(path));
  deletes_.push_back(path);
  return true;
}

bool FakeFiles::SetAttributes(const std::wstring& path, std::uint32_t attributes, unsigned long& lastError) {
  Node* node = Reach(path, kFileOpAttributes, lastError);
  if (node == nullptr) return false;
  // FILE_ATTRIBUTE_NORMAL alone means "no attributes"; the directory bit cannot be changed.
  std::uint32_t kept = attributes == kFileAttributeNormal ? 0 : (attributes & ~kFileAttributeDirectory);
  if (node->folder) kept |= kFileAttributeDirectory;
  node->attributes = kept == 0 ? kFileAttributeNormal : kept;
  attributeChanges_.emplace_back(path, attributes);
  return true;
}

std::uint32_t FakeFiles::GetAttributes(const std::wstring& path) { return FileAttributes(path); }

bool FakeFiles::FindFirstSize(const std::string& pattern, std::uint64_t& size) {
  return FindFirstSizeW(doubles::FromLatin1(pattern), size);
}

bool FakeFiles::FindFirstSizeW(const std::wstring& pattern, std::uint64_t& size) {
  const std::wstring norm = Norm(pattern);
  if (FailureOf(pattern, kFileOpRead)) return false;
  const std::wstring folder = FolderOf(norm);
  const std::size_t nameAt = folder.empty() ? 0 : folder.size() + 1;
  const std::wstring namePattern = norm.substr(nameAt);
  // A name without wildcards matches only itself: look it up instead of walking every node.
  auto it = namePattern.find_first_of(L"*?") == std::wstring::npos
                ? nodes_.find(norm)
                : std::find_if(nodes_.begin(), nodes_.end(), [&](const auto& entry) {
                    return FolderOf(entry.first) == folder &&
                           WildMatch(namePattern.c_str(), entry.first.substr(nameAt).c_str());
                  });
  if (it == nodes_.end()) return false;
  size = it->second.Size();
  return true;
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
    if (FindFile(candidate) != nullptr) return candidate;
  }
  return L"";
}

unsigned long FakeFiles::SearchPathW(const std::wstring& fileName, unsigned long bufferChars, std::wstring& found) {
  return AnswerFound(Search(fileName), bufferChars, found);
}

unsigned long FakeFiles::SearchPathA(const std::string& fileName, unsigned long bufferChars, std::string& found) {
  return AnswerFound(doubles::ToLatin1(Search(doubles::FromLatin1(fileName))), bufferChars, found);
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
