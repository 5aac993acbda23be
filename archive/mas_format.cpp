#include "archive/mas_format.h"

#include <cstring>

#include "archive/byte_reader.h"

namespace kestrel {

const std::array<const char*, 32> MASTypeNames = {
    "Unknown", "Uncompressed MTS", "BMP",     "Uncompressed ANM", "Unknown", "Unknown", "Unknown", "Unknown",
    "Unknown", "Unknown",          "Unknown", "Unknown",          "Unknown", "Unknown", "Unknown", "Unknown",
    "Unknown", "MTS",              "BMP",     "Unknown",          "TGA",     "Unknown", "JPG",     "Unknown",
    "Unknown", "Unknown",          "Unknown", "Unknown",          "Unknown", "Unknown", "Unknown", "ANM",
};

const char* MASTypeName(int32_t code) {
  return code >= 0 && code < static_cast<int32_t>(MASTypeNames.size()) ? MASTypeNames[code] : "Unknown";
}

std::string TMAS_Header::MagicText() const {
  const char* text = reinterpret_cast<const char*>(Magic.data());
  return std::string(text, strnlen(text, Magic.size()));
}

bool TMAS_Header::HasCurrentMagic() const { return MagicText().substr(0, 11) == kCurrentMagic; }

bool TMAS_Header::HasOldMagic() const { return MagicText() == kOldMagic; }

TMAS_Header TMAS_Header::Current(uint32_t fileCount) {
  TMAS_Header header;
  std::memcpy(header.Magic.data(), kCurrentMagic.data(), kCurrentMagic.size());
  header.FileCount = fileCount;
  return header;
}

std::string TMAS_FileEntry::Name() const {
  const char* text = reinterpret_cast<const char*>(FileName.data());
  return std::string(text, strnlen(text, FileName.size()));
}

void TMAS_FileEntry::SetName(std::string_view name) {
  FileName.fill(0);
  std::string upper = UpperCaseAscii(name.substr(0, kMasNameSize));
  std::memcpy(FileName.data(), upper.data(), upper.size());
}

TMAS_Header DecodeHeader(const uint8_t* bytes) {
  ByteReader r(bytes, kMasHeaderSize);
  TMAS_Header h;
  r.Bytes(h.Magic.data(), h.Magic.size());
  h.FileCount = r.U32();
  h.DataAreaSize = r.U32();
  return h;
}

void EncodeHeader(const TMAS_Header& header, uint8_t* out) {
  ByteWriter w;
  w.Raw(header.Magic.data(), header.Magic.size());
  w.U32(header.FileCount);
  w.U32(header.DataAreaSize);
  std::memcpy(out, w.Bytes().data(), kMasHeaderSize);
}

TMAS_FileEntry DecodeEntry(const uint8_t* bytes) {
  ByteReader r(bytes, kMasEntrySize);
  TMAS_FileEntry e;
  e.FileType = r.I32();
  e.Offset = r.I32();
  e.UncompressedSize = r.I32();
  e.CompressedSize = r.I32();
  e.Unknown = r.I32();
  r.Bytes(e.FileName.data(), e.FileName.size());
  return e;
}

void EncodeEntry(const TMAS_FileEntry& entry, uint8_t* out) {
  ByteWriter w;
  w.I32(entry.FileType);
  w.I32(entry.Offset);
  w.I32(entry.UncompressedSize);
  w.I32(entry.CompressedSize);
  w.I32(entry.Unknown);
  w.Raw(entry.FileName.data(), entry.FileName.size());
  std::memcpy(out, w.Bytes().data(), kMasEntrySize);
}

std::string PrintableName(std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 32 && byte != 127) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

std::string UpperCaseAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && UpperCaseAscii(a) == UpperCaseAscii(b);
}

}  // namespace kestrel
