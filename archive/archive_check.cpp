#include "archive/archive_check.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>

#include "archive/entry_name_encoding.h"
#include "archive/file_io.h"
#include "archive/mas_format.h"
#include "archive/zbuffer.h"

namespace kestrel {
namespace {

constexpr size_t kChunkSize = 1 << 18;

std::string Label(size_t index, const TMAS_FileEntry& entry) {
  return "entry #" + std::to_string(index) + " \"" + PrintableEntryName(entry.Name()) + "\": ";
}

// Inflates `size` bytes from the file's current position into a scratch buffer and counts what
// comes out. Empty on success; else why the stream does not decode.
std::string CountInflated(BinaryFile& file, int64_t size, int64_t& produced) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return "zlib could not start";
  std::vector<uint8_t> in(kChunkSize), out(kChunkSize);
  produced = 0;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    if (zs.avail_in == 0) {
      if (size == 0) break;
      const size_t chunk = static_cast<size_t>(std::min<int64_t>(size, static_cast<int64_t>(in.size())));
      file.ReadExact(in.data(), chunk);
      size -= static_cast<int64_t>(chunk);
      zs.next_in = in.data();
      zs.avail_in = static_cast<uInt>(chunk);
    }
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    rc = inflate(&zs, Z_NO_FLUSH);
    produced += static_cast<int64_t>(out.size() - zs.avail_out);
    if (rc == Z_NEED_DICT) rc = Z_DATA_ERROR;
    if (rc < 0 && rc != Z_BUF_ERROR) {
      inflateEnd(&zs);
      return "its stream does not decode (" + ZLibErrorText(rc) + ")";
    }
  }
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) return "its stream is cut short";
  return {};
}

}  // namespace

ArchiveCheckResult CheckArchive(const std::string& path) {
  ArchiveCheckResult result;
  std::vector<std::string>& problems = result.Problems;
  BinaryFile file = BinaryFile::OpenRead(path);
  const int64_t length = file.Size();
  if (length < static_cast<int64_t>(kMasHeaderSize)) {
    problems.push_back("header: the file is " + std::to_string(length) + " bytes long, shorter than the " +
                       std::to_string(kMasHeaderSize) + "-byte header");
    return result;
  }
  uint8_t headerBytes[kMasHeaderSize];
  file.ReadExact(headerBytes, sizeof headerBytes);
  const TMAS_Header header = DecodeHeader(headerBytes);
  result.EntryCount = header.FileCount;
  if (!header.HasCurrentMagic())
    problems.push_back("header: the magic is \"" + header.MagicText() + "\", not \"" + std::string(kCurrentMagic) +
                       "\"");
  const int64_t dataStart = DataStartFor(header.FileCount);
  if (dataStart > length) {
    problems.push_back("header: the table of " + std::to_string(header.FileCount) + " entries ends at byte " +
                       std::to_string(dataStart) + ", past the end of the file (" + std::to_string(length) +
                       " bytes)");
    return result;
  }
  if (int64_t{header.DataAreaSize} != length - dataStart)
    problems.push_back("header: DataAreaSize is " + std::to_string(header.DataAreaSize) + ", not " +
                       std::to_string(length - dataStart) + " (the file's length minus the data start)");

  const std::vector<uint8_t> tableBytes = file.ReadExact(static_cast<size_t>(dataStart) - kMasHeaderSize);
  int64_t expected = 0;
  for (size_t i = 0; i < header.FileCount; ++i) {
    const TMAS_FileEntry entry = DecodeEntry(&tableBytes[i * kMasEntrySize]);
    const std::string label = Label(i, entry);
    if (entry.Offset < 0 || entry.CompressedSize < 0 || entry.UncompressedSize < 0) {
      problems.push_back(label + "has a negative offset or size");
      continue;
    }
    if (entry.Offset != expected)
      problems.push_back(label + "starts at " + std::to_string(entry.Offset) + ", not at " + std::to_string(expected) +
                         (i == 0 ? " (the start of the data area)" : " where the entry before it ends"));
    expected = int64_t{entry.Offset} + entry.CompressedSize;
    const int64_t end = dataStart + expected;
    if (end > length) {
      problems.push_back(label + "its data ends at byte " + std::to_string(end) + ", past the end of the file (" +
                         std::to_string(length) + " bytes)");
      continue;
    }
    if (entry.IsStored()) continue;
    file.Seek(dataStart + entry.Offset);
    int64_t produced = 0;
    const std::string failure = CountInflated(file, entry.CompressedSize, produced);
    if (!failure.empty())
      problems.push_back(label + failure);
    else if (produced != entry.UncompressedSize)
      problems.push_back(label + "decodes to " + std::to_string(produced) + " bytes, not its UncompressedSize of " +
                         std::to_string(entry.UncompressedSize));
  }
  return result;
}

}  // namespace kestrel
