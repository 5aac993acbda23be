// The ".MAS" archive layout: a 24-byte header, a table of 256-byte records, then the entries' bytes.
//
// Records are decoded and encoded field by field in little-endian order; nothing here casts a
// struct over file bytes. The names of the records and fields are the ones modders know.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

constexpr size_t kMasHeaderSize = 24;
constexpr size_t kMasEntrySize = 256;
constexpr size_t kMasNameSize = 236;
constexpr size_t kMasMagicSize = 16;

inline constexpr std::string_view kCurrentMagic = "CUBEMAS4.10";  // F1-2002 and NT-2003
inline constexpr std::string_view kOldMagic = "CUBEMAS4.01";      // F1-2001

// Entry type codes. Only the codes the kit gives meaning to are named.
using TMAS_FileType = int32_t;
constexpr TMAS_FileType kMasTypeUnknown = 0;
constexpr TMAS_FileType kMasTypeOldMTS = 1;  // mesh, F1-2001 archives
constexpr TMAS_FileType kMasTypeOldBMP = 2;  // raw pixels with an image header, F1-2001 archives
constexpr TMAS_FileType kMasTypeOldANM = 3;  // animation, F1-2001 archives
constexpr TMAS_FileType kMasTypeMTS = 17;
constexpr TMAS_FileType kMasTypeBMP = 18;
constexpr TMAS_FileType kMasTypeTGA = 20;
constexpr TMAS_FileType kMasTypeJPG = 22;
constexpr TMAS_FileType kMasTypeANM = 31;

// Display names of the codes 0 to 31.
extern const std::array<const char*, 32> MASTypeNames;
// The display name of any code; codes outside 0 to 31 are "Unknown".
const char* MASTypeName(int32_t code);

struct TMAS_Header {
  std::array<uint8_t, kMasMagicSize> Magic{};
  uint32_t FileCount = 0;
  uint32_t DataAreaSize = 0;

  // The magic bytes up to the first zero byte.
  std::string MagicText() const;
  // The studio's test: the first 11 characters of the magic text are "CUBEMAS4.10".
  bool HasCurrentMagic() const;
  // The converter's test: the magic text is exactly "CUBEMAS4.01".
  bool HasOldMagic() const;

  // A header as the packers write it: "CUBEMAS4.10" and five zero bytes.
  static TMAS_Header Current(uint32_t fileCount);
};

struct TMAS_FileEntry {
  TMAS_FileType FileType = 0;
  int32_t Offset = 0;  // from the data start, not from the beginning of the file
  int32_t UncompressedSize = 0;
  int32_t CompressedSize = 0;
  int32_t Unknown = 0;
  std::array<uint8_t, kMasNameSize> FileName{};

  // The stored name: up to the first zero byte, or all 236 bytes when there is none.
  std::string Name() const;
  // Stores `name` as every writer of the kit does: a to z upper-cased, cut to 236 bytes, zero padded.
  void SetName(std::string_view name);
  // Equal sizes mark a stored entry; anything else is a zlib stream.
  bool IsStored() const { return UncompressedSize == CompressedSize; }
};

// Byte position where the data area begins: 24 + 256 x count.
constexpr int64_t DataStartFor(uint64_t fileCount) {
  return static_cast<int64_t>(kMasHeaderSize + kMasEntrySize * fileCount);
}

// `bytes` must hold at least kMasHeaderSize / kMasEntrySize bytes.
TMAS_Header DecodeHeader(const uint8_t* bytes);
void EncodeHeader(const TMAS_Header& header, uint8_t* out);
TMAS_FileEntry DecodeEntry(const uint8_t* bytes);
void EncodeEntry(const TMAS_FileEntry& entry, uint8_t* out);

// A stored name as messages and listings show it: control characters (bytes below 32 and 127)
// become "\xNN", so that a name cannot move the cursor, clear a terminal or fake a line of output.
std::string PrintableName(std::string_view name);

// Changes only the letters a to z, as the kit does wherever it stores or compares a name.
std::string UpperCaseAscii(std::string_view text);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

}  // namespace kestrel
