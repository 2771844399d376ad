#include "common/Utilities.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>

#include "platform/Platform.h"

namespace {

constexpr wchar_t kBase64[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(wchar_t c) {
  if (c >= L'A' && c <= L'Z') return c - L'A';
  if (c >= L'a' && c <= L'z') return c - L'a' + 26;
  if (c >= L'0' && c <= L'9') return c - L'0' + 52;
  if (c == L'+') return 62;
  if (c == L'/') return 63;
  return -1;
}

[[noreturn]] void InvalidText(const std::wstring& why) {
  throw CError(err::kInvalidArgument, L"The text is not a valid encoded byte string: " + why);
}

std::wstring ArgText(const FormatArg& arg) {
  if (const auto* text = std::get_if<std::wstring>(&arg)) return *text;
  return std::to_wstring(std::get<long long>(arg));
}

}  // namespace

std::wstring CUtilities::FormatString(const std::wstring& templ, std::initializer_list<FormatArg> args) const {
  return FormatString(templ, std::vector<FormatArg>(args));
}

std::wstring CUtilities::FormatString(const std::wstring& templ, const std::vector<FormatArg>& args) const {
  std::wstring out;
  out.reserve(templ.size());
  std::size_t i = 0;
  while (i < templ.size()) {
    if (templ[i] != L'%') {
      out += templ[i++];
      continue;
    }
    // The digits after "%", at most 9 of them (no argument list is that long).
    std::size_t digits = 0;
    while (i + 1 + digits < templ.size() && digits < 9 && templ[i + 1 + digits] >= L'0' &&
           templ[i + 1 + digits] <= L'9') {
      ++digits;
    }
    // The longest prefix of those digits that names an existing argument.
    bool replaced = false;
    for (std::size_t take = digits; take > 0; --take) {
      const std::size_t number = std::stoul(templ.substr(i + 1, take));
      if (number >= 1 && number <= args.size()) {
        out += ArgText(args[number - 1]);
        i += 1 + take;
        replaced = true;
        break;
      }
    }
    if (!replaced) out += templ[i++];  // "%" stays; its digits are copied as plain text
  }
  return out;
}

std::wstring CUtilities::GetComputerName() const { return platform::System().ComputerName(); }

std::wstring CUtilities::GetCPUType() const { return platform::System().CpuDescription(); }

std::wstring CUtilities::GetOSVersion(long& major, long& minor, long& build, long& platformId,
                                      std::wstring& extra) const {
  const std::uint32_t version = platform::System().GetVersion();
  const bool nt = (version & 0x80000000u) == 0;
  major = static_cast<long>(version & 0xFF);
  minor = static_cast<long>((version >> 8) & 0xFF);
  build = nt ? static_cast<long>((version >> 16) & 0x7FFF) : 0;
  platformId = nt ? 2 : 1;
  extra.clear();
  return platform::System().OsDescription();
}

std::wstring CUtilities::BytesToText(const std::vector<std::uint8_t>& bytes) const {
  std::wstring text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    text += kBase64[(n >> 18) & 63];
    text += kBase64[(n >> 12) & 63];
    text += kBase64[(n >> 6) & 63];
    text += kBase64[n & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 1) {
    const std::uint32_t n = bytes[i] << 16;
    text += kBase64[(n >> 18) & 63];
    text += kBase64[(n >> 12) & 63];
    text += L"==";
  } else if (rest == 2) {
    const std::uint32_t n = (bytes[i] << 16) | (bytes[i + 1] << 8);
    text += kBase64[(n >> 18) & 63];
    text += kBase64[(n >> 12) & 63];
    text += kBase64[(n >> 6) & 63];
    text += L'=';
  }
  return text;
}

std::vector<std::uint8_t> CUtilities::TextToBytes(const std::wstring& text) const {
  std::vector<int> values;
  values.reserve(text.size());
  std::size_t padding = 0;
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    const wchar_t c = text[pos];
    if (c == L' ' || c == L'\t' || c == L'\r' || c == L'\n') continue;
    if (c == L'=') {
      ++padding;
      continue;
    }
    if (padding != 0) InvalidText(L"characters follow the padding \"=\" at position " + std::to_wstring(pos + 1));
    const int value = Base64Value(c);
    if (value < 0) InvalidText(L"unexpected character at position " + std::to_wstring(pos + 1));
    values.push_back(value);
  }
  const std::size_t tail = values.size() % 4;
  if (tail == 1) InvalidText(L"the text is cut short");
  if (padding != 0 && (padding > 2 || (tail == 0) || tail + padding != 4)) InvalidText(L"wrong padding");
  std::vector<std::uint8_t> bytes;
  bytes.reserve(values.size() / 4 * 3 + 2);
  std::size_t i = 0;
  for (; i + 4 <= values.size(); i += 4) {
    const std::uint32_t n = (values[i] << 18) | (values[i + 1] << 12) | (values[i + 2] << 6) | values[i + 3];
    bytes.push_back(static_cast<std::uint8_t>(n >> 16));
    bytes.push_back(static_cast<std::uint8_t>(n >> 8));
    bytes.push_back(static_cast<std::uint8_t>(n));
  }
  if (tail == 2) {
    if (values[i + 1] & 0x0F) InvalidText(L"the last character carries stray bits");
    bytes.push_back(static_cast<std::uint8_t>((values[i] << 2) | (values[i + 1] >> 4)));
  } else if (tail == 3) {
    if (values[i + 2] & 0x03) InvalidText(L"the last character carries stray bits");
    const std::uint32_t n = (values[i] << 18) | (values[i + 1] << 12) | (values[i + 2] << 6);
    bytes.push_back(static_cast<std::uint8_t>(n >> 16));
    bytes.push_back(static_cast<std::uint8_t>(n >> 8));
  }
  return bytes;
}

CKeyedCollection<std::wstring> CUtilities::GetFileVersionInfo(const std::wstring& file) const {
  CKeyedCollection<std::wstring> info;
  std::vector<std::pair<std::wstring, std::wstring>> strings;
  if (!platform::VersionInfo().ReadStrings(file, strings)) return info;
  for (const wchar_t* name : {L"ProductName", L"CompanyName", L"FileDescription"}) {
    for (const auto& [key, text] : strings) {
      if (key == name) {
        info.Add(text, name);
        break;
      }
    }
  }
  return info;
}

std::wstring CUtilities::GetErrorText(long code) const {
  return platform::System().ErrorText(static_cast<std::uint32_t>(code));
}

std::wstring CUtilities::NewID() const {
  static std::mutex mutex;
  static std::mt19937_64 engine = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(),
                       static_cast<unsigned>(std::chrono::high_resolution_clock::now().time_since_epoch().count())};
    return std::mt19937_64(seed);
  }();
  static std::atomic<std::uint32_t> counter{0};
  std::uint64_t high = 0, low = 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    high = engine();
    low = engine();
  }
  // The counter takes the last 32 bits: two identifiers of one process never collide.
  low = (low & 0xFFFFFFFF00000000ull) | counter.fetch_add(1);
  wchar_t text[40];
  std::swprintf(text, 40, L"%08X-%04X-%04X-%04X-%04X%08X", static_cast<unsigned>(high >> 32),
                static_cast<unsigned>((high >> 16) & 0xFFFF), static_cast<unsigned>(high & 0xFFFF),
                static_cast<unsigned>(low >> 48), static_cast<unsigned>((low >> 32) & 0xFFFF),
                static_cast<unsigned>(low & 0xFFFFFFFF));
  return text;
}

std::wstring CUtilities::TempFolder() const { return platform::Files().TempFolder(); }

std::wstring CUtilities::GetTempFileName(const std::wstring& prefix) const {
  return TempFolder() + prefix + NewID() + L".tmp";
}

std::wstring CUtilities::ExpandEnvironmentStrings(const std::wstring& text) const {
  return platform::Files().ExpandEnvironmentStrings(text);
}

std::wstring CUtilities::EscapeXML(const std::wstring& text) const {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    const auto code = static_cast<std::uint32_t>(c);
    switch (c) {
      case L'&': out += L"&amp;"; continue;
      case L'<': out += L"&lt;"; continue;
      case L'>': out += L"&gt;"; continue;
      case L'"': out += L"&quot;"; continue;
      case L'\'': out += L"&apos;"; continue;
      // As references, so that a parser keeps them (it turns them into blanks in an attribute, and CR
      // into LF anywhere) and the document stays one line.
      case L'\t': out += L"&#9;"; continue;
      case L'\r': out += L"&#13;"; continue;
      case L'\n': out += L"&#10;"; continue;
      default: break;
    }
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size()) {
      const auto low = static_cast<std::uint32_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {  // a surrogate pair: one character
        out += c;
        out += text[++i];
        continue;
      }
    }
    // What XML 1.0 does not allow would make the whole document unreadable: the other control
    // characters, a surrogate without its partner, U+FFFE and U+FFFF.
    const bool allowed = (code >= 0x20 && code <= 0xD7FF) || (code >= 0xE000 && code <= 0xFFFD) ||
                         (code >= 0x10000 && code <= 0x10FFFF);
    out += allowed ? c : L'\uFFFD';
  }
  return out;
}

std::wstring CUtilities::EncodeString(const std::vector<std::uint8_t>& bytes) const {
  static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring out;
  out.reserve(bytes.size() * 2);
  for (auto b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

void CUtilities::DoEventsEx() const { platform::Desktop().DoEvents(); }

CUtilities& Utilities() {
  static CUtilities instance;
  return instance;
}
