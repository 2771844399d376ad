#include "inspection/FilenameResolver.h"

#include <cstddef>
#include <string_view>

#include "common/Blanks.h"
#include "common/Utilities.h"
#include "platform/Platform.h"
#include "shell/MAPI.h"

namespace {

constexpr wchar_t kQuote = L'"';

// True when the first `prefix.size()` characters of `text`, lower-cased, equal `prefix` (which is
// lower-case ASCII).
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    wchar_t c = text[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// Every occurrence of `what` removed in one left-to-right pass (what the pass leaves behind is not
// searched again).
std::wstring RemoveAll(std::wstring_view text, std::wstring_view what) {
  std::wstring out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (std::size_t at = text.find(what); at != std::wstring_view::npos; at = text.find(what, from)) {
    out.append(text.substr(from, at - from));
    from = at + what.size();
  }
  out.append(text.substr(from));
  return out;
}

// The first two characters stay; "%1" placeholders after them go, the quoted form first.
std::wstring RemovePlaceholders(const std::wstring& s) {
  if (s.size() <= 2) return s;
  std::wstring head = s.substr(0, 2);
  std::wstring rest = RemoveAll(std::wstring_view(s).substr(2), L"\"%1\"");
  rest = RemoveAll(rest, L"%1");
  return head + rest;
}

// The file name of a command line that starts rundll32: the DLL named after the first space.
std::wstring RunDllTarget(const std::wstring& s) {
  std::size_t sp = s.find(L' ');
  if (sp == std::wstring::npos) return L"rundll32.exe";
  std::size_t comma = s.find(L',');
  std::wstring r;
  if (comma == std::wstring::npos || comma < sp) {
    r = qn::TrimSpaces(std::wstring_view(s).substr(sp));
  } else {
    r = qn::TrimSpaces(std::wstring_view(s).substr(sp + 1, comma - sp - 1));
  }
  if (r.find(L'.') == std::wstring::npos) r += L".dll";
  return r;
}

bool IsRunDllForm(const std::wstring& s) {
  return StartsWithNoCase(s, L"rundll32") || StartsWithNoCase(s, L"\"rundll32.exe\"") ||
         StartsWithNoCase(s, L"%systemroot%\\system32\\rundll32");
}

// A name without any folder: the search order decides where it is.
bool IsBareName(const std::wstring& name) {
  return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos;
}

// `path` with a leading `folder` (compared without regard to case) replaced by `replacement`; `path`
// itself when it does not lie in `folder`.
std::wstring InFolder(const std::wstring& path, const std::wstring& folder, const std::wstring& replacement) {
  if (folder.empty() || path.size() <= folder.size() || path[folder.size()] != L'\\') return path;
  if (qn::FoldKey(path.substr(0, folder.size())) != qn::FoldKey(folder)) return path;
  return replacement + path.substr(folder.size());
}

// The first `length` characters of what a platform call wrote, or "" when the call reported nothing, a
// buffer too small (it then returns the size it needs) or more than it wrote.
template <class Text>
Text Written(unsigned long length, const Text& buffer) {
  if (length == 0 || length >= CFilenameResolver::kBufferChars || length > buffer.size()) return Text();
  return buffer.substr(0, length);
}

}  // namespace

CFilenameResolver::CFilenameResolver() = default;

void CFilenameResolver::ReInit() {
  moCache = CKeyedCollection<std::wstring>();
  moCache32 = CKeyedCollection<std::wstring>();
}

void CFilenameResolver::Init() { mbUseLongNames = MAPI::gbIsNT && !MAPI::gbIsNT4; }

std::wstring CFilenameResolver::GetFileNameFromCommandLine(const std::wstring& CL) const {
  std::wstring s = CL;
  if (IsRunDllForm(s)) return RunDllTarget(s);

  // Switches: everything from the first "/" on goes, even a "/" inside a path.
  std::size_t slash = s.find(L'/');
  if (slash != std::wstring::npos) s = qn::TrimSpaces(std::wstring_view(s).substr(0, slash));

  std::wstring r;
  std::size_t firstSpace = s.find(L' ');
  if (firstSpace == std::wstring::npos) {
    r = s;
  } else if (s.front() == kQuote) {
    std::size_t closing = s.find(kQuote, 1);
    if (closing != std::wstring::npos) {
      r = s.substr(1, closing - 1);
    } else {
      r = s.substr(1, firstSpace - 1);
    }
  } else {
    s = RemovePlaceholders(s);
    std::size_t backslash = s.rfind(L'\\');
    std::size_t sp = backslash != std::wstring::npos ? s.find(L' ', backslash) : s.rfind(L' ');
    r = sp == std::wstring::npos ? s : s.substr(0, sp);
  }

  r = qn::TrimSpaces(r);
  if (!r.empty() && r.front() == kQuote && r.back() == kQuote) {
    // A lone quote has no pair to strip; it names no file.
    r = r.size() >= 2 ? r.substr(1, r.size() - 2) : std::wstring();
  }
  if (r == L"explorer") r = L"explorer.exe";
  return r;
}

std::wstring CFilenameResolver::Search(const std::wstring& name) const {
  platform::IFileSystem& files = platform::Files();
  if (MAPI::gbIsNT) {
    std::wstring buffer;
    unsigned long n = files.SearchPathW(name, kBufferChars, buffer);
    return Written(n, buffer);
  }
  platform::ISystem& system = platform::System();
  std::string buffer;
  unsigned long n = files.SearchPathA(system.ToAnsi(name), kBufferChars, buffer);
  std::string found = Written(n, buffer);
  return found.empty() ? std::wstring() : system.FromAnsi(found);
}

std::wstring CFilenameResolver::SearchAs32Bit(const std::wstring& expanded, const std::wstring& written,
                                              const std::wstring& wow64Folder) const {
  if (IsBareName(expanded)) {
    const std::wstring candidate = wow64Folder + L"\\" + expanded;
    if (candidate.size() < kBufferChars && platform::Files().Exists(candidate)) return candidate;
  }
  const std::wstring systemFolder = platform::System().SystemFolder();
  std::wstring found = Search(InFolder(expanded, systemFolder, wow64Folder));
  if (found.empty()) found = Search(InFolder(written, systemFolder, wow64Folder));
  return found;
}

std::wstring CFilenameResolver::GetFullFileNameFromShortFilename(const std::wstring& FileName,
                                                                platform::RegView view) {
  CKeyedCollection<std::wstring>& cache = view == platform::RegView::kWow32 ? moCache32 : moCache;
  if (const std::wstring* cached = cache.Find(FileName)) return *cached;

  std::wstring s = FileName;
  if (s.starts_with(L"\\??\\")) s.erase(0, 4);
  // "\SystemRoot\..." -> "%SystemRoot%\...": the backslash after the name stays.
  if (s.starts_with(L"\\SystemRoot\\")) s = L"%SystemRoot%" + s.substr(11);

  std::wstring expanded = Utilities().ExpandEnvironmentStrings(s);
  // Only 64-bit Windows has a system folder of the 32-bit programs' own.
  const std::wstring wow64Folder =
      view == platform::RegView::kWow32 ? platform::System().SystemWow64Folder() : std::wstring();
  std::wstring found;
  if (!wow64Folder.empty()) {
    found = SearchAs32Bit(expanded, s, wow64Folder);
  } else {
    found = Search(expanded);
    if (found.empty()) found = Search(s);
  }

  std::wstring result;
  if (found.empty()) {
    result = s;
  } else if (!mbUseLongNames) {
    result = found;
  } else {
    // When the long form cannot be had, the path as found is still the file's full path.
    std::wstring longForm;
    unsigned long m = platform::Files().GetLongPathNameW(found, kBufferChars, longForm);
    longForm = Written(m, longForm);
    result = longForm.empty() ? found : longForm;
  }

  cache.Add(result, FileName);
  return result;
}
