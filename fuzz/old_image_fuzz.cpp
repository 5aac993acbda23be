// An F1-2001 image entry turned into a bitmap file: the first byte says stored or compressed, the
// next four give the recorded UncompressedSize, the rest are the entry's stored bytes (the 16-byte
// image header and the pixel rows).
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>

#include "archive/file_io.h"
#include "archive/old_archive_conversion.h"
#include "fuzz/memory_file.h"

using namespace kestrel;

namespace {

// One scratch folder in memory for the whole run, emptied after each input.
const std::string& OutputDirectory() {
  static const std::string directory = [] {
    char pattern[] = "/dev/shm/kestrel-fuzz-XXXXXX";
    if (!::mkdtemp(pattern)) std::abort();
    return std::string(pattern);
  }();
  return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const fuzz::MemoryFile file(data + 5, size - 5);
  LoadedArchive archive;
  archive.Path = file.Path();
  archive.DataStart = 0;
  archive.FileLength = static_cast<int64_t>(size - 5);
  TMAS_FileEntry entry;
  entry.FileType = kMasTypeOldBMP;
  std::memcpy(&entry.UncompressedSize, data + 1, sizeof entry.UncompressedSize);
  entry.CompressedSize = static_cast<int32_t>(size - 5);
  if ((data[0] & 1) != 0) entry.UncompressedSize = entry.CompressedSize;
  else if (entry.IsStored()) entry.UncompressedSize ^= 1;
  entry.SetName("IMAGE.BMP");
  archive.Table.push_back(entry);

  const std::string output = JoinPath(OutputDirectory(), "IMAGE.BMP");
  try {
    const bool written = ConvertImageEntry(archive, 0, "IMAGE.BMP", OutputDirectory(), {});
    if (written != FileExists(output)) __builtin_trap();
  } catch (const std::exception&) {
  }
  ::unlink(output.c_str());
  return 0;
}
