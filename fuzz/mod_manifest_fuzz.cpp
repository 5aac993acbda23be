// A mod package's manifest as someone else wrote it: read on its own, where whatever reads must
// write back to the same text, and as the manifest of a package carrying two entries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "archive/mas_format.h"
#include "archive/mod_package.h"
#include "fuzz/memory_file.h"

using namespace kestrel;

namespace {

// A package whose first entry holds `manifest` as is, then two small stored entries.
std::vector<uint8_t> PackageAround(const uint8_t* manifest, size_t size) {
  const std::string carried[2][2] = {{"A.BMP", "first"}, {"B.TGA", "second"}};
  std::vector<TMAS_FileEntry> table(3);
  table[0].SetName(kModManifestEntryName);
  table[0].FileType = kMasTypeANM;
  table[0].UncompressedSize = table[0].CompressedSize = static_cast<int32_t>(size);
  int32_t offset = static_cast<int32_t>(size);
  for (int i = 0; i < 2; ++i) {
    table[i + 1].SetName(carried[i][0]);
    table[i + 1].FileType = kMasTypeBMP;
    table[i + 1].Offset = offset;
    table[i + 1].UncompressedSize = table[i + 1].CompressedSize = static_cast<int32_t>(carried[i][1].size());
    offset += table[i + 1].CompressedSize;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(DataStartFor(3)));
  TMAS_Header header = TMAS_Header::Current(3);
  header.DataAreaSize = static_cast<uint32_t>(offset);
  EncodeHeader(header, bytes.data());
  for (size_t i = 0; i < 3; ++i) EncodeEntry(table[i], &bytes[kMasHeaderSize + i * kMasEntrySize]);
  bytes.insert(bytes.end(), manifest, manifest + size);
  for (const auto& entry : carried) bytes.insert(bytes.end(), entry[1].begin(), entry[1].end());
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const std::string written = WriteModManifest(ParseModManifest(text));
    if (WriteModManifest(ParseModManifest(written)) != written) std::abort();
  } catch (const EModPackageError&) {
    // A refused manifest is an answer; only crashes, leaks and undefined behaviour are findings.
  }
  const std::vector<uint8_t> package = PackageAround(data, size);
  const fuzz::MemoryFile file(package.data(), package.size());
  try {
    ReadModPackage(file.Path());
  } catch (const std::exception&) {
  }
  return 0;
}
