#pragma once
// A sent request body taken apart again, as the vendor's side reads it (docs/formats.md): the two form
// fields, the subject and identifier, and the property bag inside the one entry of the zip.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/Utilities.h"
#include "ui/PropertyBag.h"

namespace request_body {

// Reverses the form-value encoding of the submission client.
inline std::wstring FormDecode(const std::wstring& text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::wstring code = text.substr(i, 3);
    if (code == L"%2B") out += L'+';
    else if (code == L"%0D") out += L'\r';
    else if (code == L"%0A") out += L'\n';
    else if (code == L"%5C") out += L'\\';
    else {
      out += text[i];
      continue;
    }
    i += 2;
  }
  return out;
}

// The entries of a zip archive whose entries are stored uncompressed, from its central directory.
inline std::vector<std::pair<std::string, std::vector<std::uint8_t>>> Unzip(const std::vector<std::uint8_t>& zip) {
  auto u16 = [&](std::size_t at) { return static_cast<std::uint32_t>(zip.at(at) | (zip.at(at + 1) << 8)); };
  auto u32 = [&](std::size_t at) { return u16(at) | (u16(at + 2) << 16); };
  if (zip.size() < 22) throw std::runtime_error("no zip archive");
  const std::size_t end = zip.size() - 22;
  if (u32(end) != 0x06054B50) throw std::runtime_error("no end of central directory");
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> entries;
  std::size_t at = u32(end + 16);
  for (std::uint32_t n = 0; n < u16(end + 10); ++n) {
    if (u32(at) != 0x02014B50 || u16(at + 10) != 0) throw std::runtime_error("not a stored entry");
    const std::uint32_t size = u32(at + 20), nameLength = u16(at + 28), local = u32(at + 42);
    std::string name(zip.begin() + static_cast<std::ptrdiff_t>(at + 46),
                     zip.begin() + static_cast<std::ptrdiff_t>(at + 46 + nameLength));
    const std::size_t data = local + 30 + u16(local + 26) + u16(local + 28);
    entries.emplace_back(name, std::vector<std::uint8_t>(zip.begin() + static_cast<std::ptrdiff_t>(data),
                                                         zip.begin() + static_cast<std::ptrdiff_t>(data + size)));
    at += 46 + nameLength + u16(at + 30) + u16(at + 32);
  }
  return entries;
}

struct Decoded {
  std::wstring subjectField;  // as sent, still encoded
  std::wstring subject;       // the subject, before the last "\"
  std::wstring id;            // after it
  std::vector<std::uint8_t> zip;
  std::string entryName;
  ui::PropertyBag bag;
};

inline Decoded Decode(const std::wstring& body) {
  Decoded d;
  const std::wstring head = L"subject=";
  const std::size_t value = body.rfind(L"&value=");
  if (body.compare(0, head.size(), head) != 0 || value == std::wstring::npos) throw std::runtime_error("not a form");
  d.subjectField = body.substr(head.size(), value - head.size());
  const std::wstring subject = FormDecode(d.subjectField);
  const std::size_t slash = subject.rfind(L'\\');
  d.subject = subject.substr(0, slash);
  d.id = subject.substr(slash + 1);
  d.zip = Utilities().TextToBytes(FormDecode(body.substr(value + 7)));
  const auto entries = Unzip(d.zip);
  if (entries.size() != 1) throw std::runtime_error("not one entry");
  d.entryName = entries[0].first;
  d.bag.SetContents(entries[0].second);
  return d;
}

}  // namespace request_body
