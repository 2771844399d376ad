#include "zip/ZipWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <unordered_set>
#include <utility>

namespace zip {
namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50u;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50u;
constexpr std::uint32_t kEndRecordSignature = 0x06054b50u;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;
constexpr std::uint16_t kVersionStored = 10;    // 1.0: stored data
constexpr std::uint16_t kVersionDeflated = 20;  // 2.0: deflate
// 2.0 on Windows NTFS (host 11): the attributes are DOS attributes, and Info-ZIP's unzip takes names marked
// UTF-8 as they are (from host 0, MS-DOS, it translates them from the OEM code page even so).
constexpr std::uint16_t kVersionMadeBy = 11 << 8 | 20;
constexpr std::uint16_t kFlagUtf8Name = 0x0800;
constexpr std::size_t kChunk = 256 * 1024;

bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t more = 0;
    std::uint32_t code = 0, least = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      more = 1, code = c & 0x1F, least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2, code = c & 0x0F, least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3, code = c & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (text.size() - i <= more) return false;
    for (std::size_t k = 1; k <= more; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += more + 1;
  }
  return true;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Little-endian fields of headers and records.
class Fields {
 public:
  Fields& U16(std::uint16_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
    return *this;
  }
  Fields& U32(std::uint64_t v) {  // callers have checked that v fits
    U16(static_cast<std::uint16_t>(v));
    return U16(static_cast<std::uint16_t>(v >> 16));
  }
  Fields& Text(const std::string& text) {
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return *this;
  }
  std::span<const std::uint8_t> Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

struct Entry {
  std::string path;
  std::string name;
  FileFacts facts;
  std::unique_ptr<ISource> source;
  std::uint16_t method = kMethodStored;
  std::uint32_t crc = 0;
  std::uint64_t size = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t offset = 0;

  std::uint16_t Version() const { return method == kMethodDeflated ? kVersionDeflated : kVersionStored; }
  std::uint16_t Flags(int level) const {
    std::uint16_t flags = IsAscii(name) ? 0 : kFlagUtf8Name;
    // Bits 1 and 2 tell how hard deflate tried: maximum, fast or super fast.
    if (method == kMethodDeflated) flags |= level >= 8 ? 0x2 : level == 2 ? 0x4 : level == 1 ? 0x6 : 0;
    return flags;
  }
};

// What one reading of a file gave.
struct Pass {
  std::uint32_t crc = 0;
  std::uint64_t size = 0;
  std::uint64_t written = 0;
};

class Writer {
 public:
  Writer(const Job& job, ISink& sink) : job_(job), sink_(sink), in_(kChunk), out_(kChunk) {}

  Outcome AddEntry(Entry& e) {
    if (position_ > kMaxSize) return {kZipErrorBig, job_.archiveName};
    e.offset = position_;
    e.method = job_.level > 0 ? kMethodDeflated : kMethodStored;
    if (!Put(LocalHeader(e))) return {kZipErrorWrite, job_.archiveName};
    const std::uint64_t dataStart = position_;
    Pass pass;
    Outcome outcome = e.method == kMethodDeflated ? DeflatePass(e, pass) : StorePass(e, pass);
    if (outcome.result != kZipOk) return outcome;
    if (e.method == kMethodDeflated && pass.written >= pass.size) {
      // Deflate did not shrink the file: store it over what was written.
      const Pass deflated = pass;
      e.method = kMethodStored;
      if (!e.source->Rewind()) return {kZipErrorRead, e.path};
      if (!sink_.Seek(dataStart)) return {kZipErrorWrite, job_.archiveName};
      position_ = dataStart;
      outcome = StorePass(e, pass);
      if (outcome.result != kZipOk) return outcome;
      if (pass.size != deflated.size || pass.crc != deflated.crc) return {kZipErrorRead, e.path + ": changed while read"};
    }
    e.crc = pass.crc;
    e.size = pass.size;
    e.compressedSize = pass.written;
    const std::uint64_t end = position_;
    position_ = e.offset;
    if (!sink_.Seek(e.offset) || !Put(LocalHeader(e)) || !sink_.Seek(end)) return {kZipErrorWrite, job_.archiveName};
    position_ = end;
    e.source.reset();
    return {};
  }

  Outcome Finish(const std::vector<Entry>& entries) {
    const std::uint64_t directoryOffset = position_;
    for (const Entry& e : entries) {
      if (!Put(CentralHeader(e))) return {kZipErrorWrite, job_.archiveName};
    }
    const std::uint64_t directorySize = position_ - directoryOffset;
    if (directoryOffset + directorySize > kMaxSize) return {kZipErrorBig, job_.archiveName};
    Fields end;
    end.U32(kEndRecordSignature).U16(0).U16(0);
    end.U16(static_cast<std::uint16_t>(entries.size())).U16(static_cast<std::uint16_t>(entries.size()));
    end.U32(directorySize).U32(directoryOffset).U16(0);
    if (!Put(end)) return {kZipErrorWrite, job_.archiveName};
    return {};
  }

 private:
  bool Put(const Fields& fields) { return Put(fields.Bytes()); }
  bool Put(std::span<const std::uint8_t> bytes) {
    if (!sink_.Write(bytes)) return false;
    position_ += bytes.size();
    return true;
  }

  Fields LocalHeader(const Entry& e) const {
    Fields h;
    h.U32(kLocalHeaderSignature).U16(e.Version()).U16(e.Flags(job_.level)).U16(e.method);
    h.U16(e.facts.dosTime).U16(e.facts.dosDate).U32(e.crc).U32(e.compressedSize).U32(e.size);
    h.U16(static_cast<std::uint16_t>(e.name.size())).U16(0).Text(e.name);
    return h;
  }

  Fields CentralHeader(const Entry& e) const {
    Fields h;
    h.U32(kCentralHeaderSignature).U16(kVersionMadeBy).U16(e.Version()).U16(e.Flags(job_.level)).U16(e.method);
    h.U16(e.facts.dosTime).U16(e.facts.dosDate).U32(e.crc).U32(e.compressedSize).U32(e.size);
    h.U16(static_cast<std::uint16_t>(e.name.size())).U16(0).U16(0).U16(0).U16(0);
    h.U32(e.facts.dosAttributes).U32(e.offset).Text(e.name);
    return h;
  }

  // Reads the next chunk of the file into in_, adding it to the pass's size and CRC.
  Outcome ReadChunk(Entry& e, Pass& pass, std::size_t& got) {
    if (!e.source->Read(in_, got) || got > in_.size()) return {kZipErrorRead, e.path};
    pass.size += got;
    if (pass.size > kMaxSize) return {kZipErrorBig, e.path};
    pass.crc = static_cast<std::uint32_t>(crc32(pass.crc, in_.data(), static_cast<uInt>(got)));
    return {};
  }

  Outcome StorePass(Entry& e, Pass& pass) {
    pass = Pass{};
    for (;;) {
      std::size_t got = 0;
      if (Outcome o = ReadChunk(e, pass, got); o.result != kZipOk) return o;
      if (got == 0) return {};
      if (!Put(std::span<const std::uint8_t>(in_.data(), got))) return {kZipErrorWrite, job_.archiveName};
      pass.written += got;
    }
  }

  Outcome DeflatePass(Entry& e, Pass& pass) {
    pass = Pass{};
    z_stream stream{};
    const int init = deflateInit2(&stream, job_.level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    if (init != Z_OK) return {init == Z_MEM_ERROR ? kZipErrorMemory : kZipErrorLogic, "deflate"};
    struct End {
      z_stream& s;
      ~End() { deflateEnd(&s); }
    } end{stream};
    for (;;) {
      std::size_t got = 0;
      if (Outcome o = ReadChunk(e, pass, got); o.result != kZipOk) return o;
      const int flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
      stream.next_in = in_.data();
      stream.avail_in = static_cast<uInt>(got);
      int status = Z_OK;
      do {
        stream.next_out = out_.data();
        stream.avail_out = static_cast<uInt>(out_.size());
        status = deflate(&stream, flush);
        if (status == Z_STREAM_ERROR) return {kZipErrorLogic, "deflate"};
        const std::size_t have = out_.size() - stream.avail_out;
        if (!Put(std::span<const std::uint8_t>(out_.data(), have))) return {kZipErrorWrite, job_.archiveName};
        pass.written += have;
      } while (stream.avail_out == 0);
      if (flush == Z_FINISH) return status == Z_STREAM_END ? Outcome{} : Outcome{kZipErrorLogic, "deflate"};
    }
  }

  const Job& job_;
  ISink& sink_;
  std::uint64_t position_ = 0;
  std::vector<std::uint8_t> in_;
  std::vector<std::uint8_t> out_;
};

std::string AsciiLower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The checks made before anything is written, and the files opened.
Outcome Prepare(const Job& job, IFiles& files, std::vector<Entry>& entries) {
  if (job.paths.empty()) return {kZipErrorNothing, job.archiveName};
  if (job.paths.size() > kMaxEntries) return {kZipErrorBig, "more than 65535 files"};
  if (job.level < 0 || job.level > 9) return {kZipErrorParameters, "level " + std::to_string(job.level)};
  std::unordered_set<std::string> names;  // as Windows compares them: letters without regard to case
  entries.resize(job.paths.size());
  for (std::size_t i = 0; i < job.paths.size(); ++i) {
    entries[i].path = job.paths[i];
    entries[i].name = StoredName(job.paths[i], job.junkFolderNames);
    if (entries[i].name.empty()) return {kZipErrorParameters, job.paths[i]};
    if (!names.insert(AsciiLower(entries[i].name)).second) return {kZipErrorParameters, "twice: " + entries[i].name};
  }
  for (Entry& e : entries) {
    e.source = files.Open(e.path, e.facts);
    if (!e.source) return {kZipErrorOpen, e.path};
    if (e.facts.size > kMaxSize) return {kZipErrorBig, e.path};
  }
  return {};
}

}  // namespace

Outcome WriteArchive(const Job& job, IFiles& files, IProgress& progress) {
  std::vector<Entry> entries;
  if (Outcome o = Prepare(job, files, entries); o.result != kZipOk) return o;
  std::unique_ptr<ISink> sink = files.Create();
  if (!sink) return {kZipErrorCreate, job.archiveName};
  Writer writer(job, *sink);
  for (Entry& e : entries) {
    if (!progress.Adding(e.name, e.facts.size)) return {kZipErrorAbort, e.name};
    if (Outcome o = writer.AddEntry(e); o.result != kZipOk) return o;
    progress.Added({e.name, e.method == kMethodDeflated, e.size, e.compressedSize});
  }
  if (Outcome o = writer.Finish(entries); o.result != kZipOk) return o;
  if (const std::int32_t committed = sink->Commit(); committed != kZipOk) return {committed, job.archiveName};
  return {};
}

std::string StoredName(std::string_view path, bool junkFolderNames) {
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) path.remove_prefix(2);
  const std::size_t lastCut = path.find_last_of("/\\");
  const std::string_view last = lastCut == std::string_view::npos ? path : path.substr(lastCut + 1);
  if (last.empty() || last == "." || last == "..") return {};
  std::string name;
  if (junkFolderNames) {
    name = last;
  } else {
    while (!path.empty()) {
      const std::size_t cut = path.find_first_of("/\\");
      const std::string_view part = path.substr(0, cut);
      path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
      if (part == "..") return {};  // it would unpack outside the target folder
      if (part.empty() || part == ".") continue;
      if (!name.empty()) name += '/';
      name += part;
    }
  }
  if (name.size() > 0xFFFF || name.find('\0') != std::string::npos || !IsUtf8(name)) return {};
  return name;
}

DosStamp DosTimeStamp(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1980) return {0, (1 << 5) | 1};
  if (year > 2107) return {(23 << 11) | (59 << 5) | 29, ((2107 - 1980) << 9) | (12 << 5) | 31};
  return {static_cast<std::uint16_t>(hour << 11 | minute << 5 | second / 2),
          static_cast<std::uint16_t>((year - 1980) << 9 | month << 5 | day)};
}

}  // namespace zip
