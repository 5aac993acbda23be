// One entry's stored bytes under a table record of the fuzzer's choosing: the first byte says
// stored or compressed, the next four the recorded UncompressedSize, the rest are the bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

#include "archive/archive_reader.h"

using namespace kestrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  int32_t uncompressed;
  std::memcpy(&uncompressed, data + 1, sizeof uncompressed);
  std::vector<uint8_t> stored(data + 5, data + size);
  TMAS_FileEntry entry;
  entry.UncompressedSize = uncompressed;
  entry.CompressedSize = (data[0] & 1) ? uncompressed : static_cast<int32_t>(stored.size());
  if (entry.IsStored() && !(data[0] & 1)) entry.CompressedSize ^= 1;  // keep the choice the input made
  try {
    const std::vector<uint8_t> decoded = DecodeEntryBytes(entry, std::move(stored));
    if (entry.IsStored() && decoded.size() != size - 5) __builtin_trap();
  } catch (const std::exception&) {
  }
  return 0;
}
