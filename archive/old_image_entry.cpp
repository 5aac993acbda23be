// Old image entries: a 16-byte image header that is never compressed, then the pixel rows, stored
// or as one zlib stream. They leave the archive as bitmap files.

#include <algorithm>
#include <new>

#include "archive/bitmap_writer.h"
#include "archive/byte_reader.h"
#include "archive/entry_name_encoding.h"
#include "archive/file_io.h"
#include "archive/old_archive_conversion.h"
#include "archive/zbuffer.h"

namespace kestrel {

const char* const kImageAllocationFailedMessage =
    "Failed to allocate the needed memory for this operation. \r\nAttempt at saving the image has been cancelled";

namespace {

constexpr size_t kOldImageHeaderSize = 16;

std::string Skipped(const std::string& name, const std::string& why) {
  return "Image entry \"" + PrintableEntryName(name) + "\" was skipped: " + why + ".";
}

// Builds the whole bitmap file in memory; empty when the entry is reported instead.
std::vector<uint8_t> BitmapOfEntry(const TMAS_FileEntry& entry, const std::vector<uint8_t>& stored,
                                   const std::string& name, const EngineHooks& hooks) {
  if (stored.size() < kOldImageHeaderSize) {
    hooks.Say(Skipped(name, "it is shorter than its 16-byte image header"));
    return {};
  }
  ByteReader header(stored);
  const int32_t width = header.I32();
  const int32_t height = header.I32();
  if (width <= 0 || height <= 0 || width > kMaxOldImageSide || height > kMaxOldImageSide) {
    hooks.Say(Skipped(name, "a size of " + std::to_string(width) + " by " + std::to_string(height) +
                                " pixels is not that of a texture"));
    return {};
  }
  const int64_t rowLength = BitmapRowLength(width);
  const int64_t needed = rowLength * height;

  const uint8_t* pixels = stored.data() + kOldImageHeaderSize;
  size_t pixelsSize = stored.size() - kOldImageHeaderSize;
  std::vector<uint8_t> inflated;
  if (!entry.IsStored()) {
    // The recorded size only sizes the first buffer; the rows themselves bound it here.
    const int64_t hint = std::clamp<int64_t>(entry.UncompressedSize, 0, needed);
    try {
      // Rows past `needed` are never used; a stream that would go on far beyond them is refused
      // before it takes that memory.
      inflated = DecompressBuffer(pixels, pixelsSize, static_cast<size_t>(hint),
                                  static_cast<size_t>(needed) + (size_t{16} << 20));
    } catch (const EZInflateLimitError& e) {
      hooks.Say(Skipped(name, e.what()));
      return {};
    } catch (const EZLibError& e) {
      hooks.Say(e.what());
      return {};
    }
    pixels = inflated.data();
    pixelsSize = inflated.size();
  }
  if (static_cast<uint64_t>(needed) > pixelsSize) {
    hooks.Say(Skipped(name, "its pixel data holds " + std::to_string(pixelsSize) + " bytes where " +
                                std::to_string(height) + " rows of " + std::to_string(rowLength) + " bytes need " +
                                std::to_string(needed)));
    return {};
  }
  return EncodeBitmap24(width, height, pixels, pixelsSize);
}

}  // namespace

bool ConvertImageEntry(const LoadedArchive& archive, size_t index, const std::string& name,
                       const std::string& directory, const EngineHooks& hooks) {
  const std::string fileName = EntryFileName(name);
  if (!IsSafeEntryFileName(fileName)) {
    hooks.Say(UnsafeEntryNameMessage(name));
    return false;
  }
  std::vector<uint8_t> bitmap;
  try {
    bitmap = BitmapOfEntry(archive.Table.at(index), ReadStoredBytes(archive, index), name, hooks);
  } catch (const std::bad_alloc&) {
    hooks.Say(kImageAllocationFailedMessage);
    return false;
  }
  if (bitmap.empty()) return false;

  BinaryFile out = BinaryFile::CreateInDirectory(directory, fileName);
  try {
    out.WriteAll(bitmap.data(), bitmap.size());
    out.Close();
  } catch (const EInOutError&) {
    platform::RemoveFile(JoinPath(directory, fileName));
    throw;
  }
  return true;
}

}  // namespace kestrel
