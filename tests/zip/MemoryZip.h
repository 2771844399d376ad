#pragma once
// A zip archive writer's files and archive in memory, and a strict reader of what it wrote: shared by
// the writer's native tests and its fuzz target.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "zip/ZipWriter.h"

namespace ziptest {

using Bytes = std::vector<std::uint8_t>;

// --- Files and archive in memory -----------------------------------------------------------------

struct MemoryFile {
  Bytes bytes;
  zip::FileFacts facts;
  Bytes afterRewind;           // when not empty: what a second reading gives
  std::uint64_t zeros = 0;     // when not 0: the file reads as this many zero bytes instead
  bool failRead = false;       // the first read fails
};

class MemoryFiles final : public zip::IFiles {
 public:
  std::map<std::string, MemoryFile> files;
  bool failCreate = false;
  std::uint64_t writeLimit = UINT64_MAX;  // a write reaching beyond it fails
  std::int32_t commitResult = kZipOk;
  bool keepBytes = true;  // false: only the archive's size is kept

  // What became of the archive.
  bool created = false;
  bool committed = false;
  bool dropped = false;  // destroyed without a successful commit
  Bytes archive;         // the committed archive
  std::uint64_t size = 0;

  MemoryFile& Add(const std::string& path, Bytes bytes, std::uint16_t time = 0x6DAF, std::uint16_t date = 0x52CF) {
    MemoryFile& f = files[path];
    f.facts = {bytes.size(), time, date, 0x20};
    f.bytes = std::move(bytes);
    return f;
  }

  std::unique_ptr<zip::ISource> Open(const std::string& path, zip::FileFacts& facts) override {
    const auto found = files.find(path);
    if (found == files.end()) return nullptr;
    facts = found->second.facts;
    return std::make_unique<Source>(found->second);
  }

  std::unique_ptr<zip::ISink> Create() override {
    if (failCreate) return nullptr;
    created = true;
    return std::make_unique<Sink>(*this);
  }

 private:
  class Source final : public zip::ISource {
   public:
    explicit Source(const MemoryFile& file) : file_(file) {}
    bool Read(std::span<std::uint8_t> buffer, std::size_t& got) override {
      if (file_.failRead) return false;
      if (file_.zeros != 0) {
        got = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), file_.zeros - at_));
        std::memset(buffer.data(), 0, got);
      } else {
        const Bytes& bytes = rewound_ && !file_.afterRewind.empty() ? file_.afterRewind : file_.bytes;
        got = std::min(buffer.size(), bytes.size() - at_);
        if (got != 0) std::memcpy(buffer.data(), bytes.data() + at_, got);
      }
      at_ += got;
      return true;
    }
    bool Rewind() override {
      at_ = 0;
      rewound_ = true;
      return true;
    }

   private:
    const MemoryFile& file_;
    std::size_t at_ = 0;
    bool rewound_ = false;
  };

  class Sink final : public zip::ISink {
   public:
    explicit Sink(MemoryFiles& owner) : owner_(owner) {}
    ~Sink() override { owner_.dropped = !owner_.committed; }
    bool Write(std::span<const std::uint8_t> bytes) override {
      if (position_ + bytes.size() > owner_.writeLimit) return false;
      if (owner_.keepBytes) {
        if (bytes_.size() < position_ + bytes.size()) bytes_.resize(position_ + bytes.size());
        std::memcpy(bytes_.data() + position_, bytes.data(), bytes.size());
      }
      position_ += bytes.size();
      return true;
    }
    bool Seek(std::uint64_t offset) override {
      position_ = offset;
      return true;
    }
    std::int32_t Commit() override {
      if (owner_.commitResult != kZipOk) return owner_.commitResult;
      owner_.committed = true;
      owner_.size = position_;
      if (owner_.keepBytes) owner_.archive.assign(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(position_));
      return kZipOk;
    }

   private:
    MemoryFiles& owner_;
    Bytes bytes_;
    std::uint64_t position_ = 0;
  };
};

// --- Reading an archive back ---------------------------------------------------------------------

struct ReadEntry {
  std::string name;
  std::uint16_t versionNeeded, flags, method, time, date;
  std::uint32_t crc, externalAttributes;
  Bytes data;  // inflated or stored
};

std::uint32_t Field(const Bytes& b, std::size_t at, int size) {
  if (at + size > b.size()) throw std::runtime_error("field beyond the end at " + std::to_string(at));
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = v << 8 | b[at + i];
  return v;
}

Bytes Inflate(const Bytes& compressed, std::size_t size) {
  Bytes out(size + 1);
  z_stream s{};
  if (inflateInit2(&s, -MAX_WBITS) != Z_OK) throw std::runtime_error("inflateInit2");
  s.next_in = const_cast<Bytef*>(compressed.data());
  s.avail_in = static_cast<uInt>(compressed.size());
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&s, Z_FINISH);
  const bool whole = status == Z_STREAM_END && s.avail_in == 0 && s.total_out == size;
  inflateEnd(&s);
  if (!whole) throw std::runtime_error("deflate data does not inflate to the stored size");
  out.resize(size);
  return out;
}

// Reads an archive through its end record and central directory, and checks that every local header
// agrees with its central one, that the entries follow each other without gaps and that every CRC holds.
std::vector<ReadEntry> ReadArchive(const Bytes& zip) {
  if (zip.size() < 22) throw std::runtime_error("too short for an end record");
  const std::size_t end = zip.size() - 22;
  if (Field(zip, end, 4) != 0x06054b50u || Field(zip, end + 20, 2) != 0) throw std::runtime_error("no end record at the end");
  const std::uint32_t count = Field(zip, end + 10, 2), directorySize = Field(zip, end + 12, 4);
  std::size_t at = Field(zip, end + 16, 4);
  if (Field(zip, end + 8, 2) != count || at + directorySize != end) throw std::runtime_error("end record does not match");
  std::vector<ReadEntry> entries;
  std::size_t nextLocal = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (Field(zip, at, 4) != 0x02014b50u || Field(zip, at + 4, 2) != (11 << 8 | 20)) throw std::runtime_error("central header");
    ReadEntry e{};
    e.versionNeeded = Field(zip, at + 6, 2), e.flags = Field(zip, at + 8, 2), e.method = Field(zip, at + 10, 2);
    e.time = Field(zip, at + 12, 2), e.date = Field(zip, at + 14, 2), e.crc = Field(zip, at + 16, 4);
    const std::uint32_t compressed = Field(zip, at + 20, 4), size = Field(zip, at + 24, 4);
    const std::uint32_t nameLength = Field(zip, at + 28, 2), local = Field(zip, at + 42, 4);
    if (Field(zip, at + 30, 2) + Field(zip, at + 32, 2) + Field(zip, at + 34, 2) + Field(zip, at + 36, 2) != 0) {
      throw std::runtime_error("extra field, comment, disk or internal attributes");
    }
    e.externalAttributes = Field(zip, at + 38, 4);
    if (at + 46 + nameLength > zip.size()) throw std::runtime_error("central name beyond the end");
    e.name.assign(zip.begin() + at + 46, zip.begin() + at + 46 + nameLength);
    at += 46 + nameLength;
    // The local header repeats the central one from "version needed" to the name length.
    if (local + 30 + nameLength > zip.size()) throw std::runtime_error("local header beyond the end");
    if (local != nextLocal || Field(zip, local, 4) != 0x04034b50u || Field(zip, local + 28, 2) != 0 ||
        !std::equal(zip.begin() + local + 4, zip.begin() + local + 28, zip.begin() + at - 46 - nameLength + 6) ||
        std::string(zip.begin() + local + 30, zip.begin() + local + 30 + nameLength) != e.name) {
      throw std::runtime_error("local header of " + e.name + " differs");
    }
    const std::size_t data = local + 30 + nameLength;
    nextLocal = data + compressed;
    if (nextLocal > zip.size()) throw std::runtime_error("data of " + e.name + " beyond the end");
    const Bytes raw(zip.begin() + data, zip.begin() + nextLocal);
    if (e.method == 8 && e.versionNeeded == 20) e.data = Inflate(raw, size);
    else if (e.method == 0 && e.versionNeeded == 10 && compressed == size) e.data = raw;
    else throw std::runtime_error("method and version of " + e.name);
    if (crc32(0, e.data.data(), static_cast<uInt>(e.data.size())) != e.crc) throw std::runtime_error("CRC of " + e.name);
    entries.push_back(std::move(e));
  }
  if (nextLocal != Field(zip, end + 16, 4)) throw std::runtime_error("gap before the central directory");
  return entries;
}

}  // namespace ziptest
