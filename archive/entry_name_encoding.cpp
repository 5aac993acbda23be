#include "archive/entry_name_encoding.h"

#include <array>
#include <cstdint>

#include "archive/mas_format.h"

namespace kestrel {
namespace {

// The characters of the bytes 0x80 to 0x9F; every other byte is the character of its own number.
constexpr std::array<char32_t, 32> kHighControlRange = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t CharacterOf(uint8_t byte) { return byte >= 0x80 && byte < 0xA0 ? kHighControlRange[byte - 0x80] : byte; }

std::optional<uint8_t> ByteOf(char32_t c) {
  if (c == 0) return std::nullopt;
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<uint8_t>(c);
  for (size_t i = 0; i < kHighControlRange.size(); ++i)
    if (kHighControlRange[i] == c) return static_cast<uint8_t>(0x80 + i);
  return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The next character of `text` from `pos`, which moves past it; none for anything that is not
// UTF-8 in its shortest form.
std::optional<char32_t> NextUtf8(std::string_view text, size_t& pos) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(pos);
  size_t length;
  char32_t c;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if (lead >= 0xC2 && lead < 0xE0) {
    length = 2, c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3, c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead < 0xF5) {
    length = 4, c = lead & 0x07;
  } else {
    return std::nullopt;
  }
  if (pos + length > text.size()) return std::nullopt;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (byte(pos + i) & 0x3F);
  }
  if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c < 0xE000))
    return std::nullopt;
  pos += length;
  return c;
}

}  // namespace

std::string EntryNameToUtf8(std::string_view entryName) {
  std::string out;
  out.reserve(entryName.size());
  for (const char byte : entryName) AppendUtf8(out, CharacterOf(static_cast<uint8_t>(byte)));
  return out;
}

std::optional<std::string> Utf8ToEntryName(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    const std::optional<char32_t> c = NextUtf8(utf8, pos);
    if (!c) return std::nullopt;
    const std::optional<uint8_t> byte = ByteOf(*c);
    if (!byte) return std::nullopt;
    out += static_cast<char>(*byte);
  }
  return out;
}

std::string EntryFileName(std::string_view entryName) { return EntryNameToUtf8(UpperCaseAscii(entryName)); }

std::string PrintableEntryName(std::string_view entryName) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char byte : entryName) {
    const auto b = static_cast<uint8_t>(byte);
    const char32_t c = CharacterOf(b);
    // The C1 controls too: they would reach a terminal as controls.
    if (c < 32 || c == 127 || (c >= 0x80 && c < 0xA0)) {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

StoredName StoredNameForFile(std::string_view fileName) {
  const size_t slash = fileName.find_last_of('/');
  if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
  StoredName stored;
  const std::string shown = "\"" + PrintableName(fileName) + "\"";
  const std::optional<std::string> name = Utf8ToEntryName(fileName);
  if (!name) {
    stored.Refusal = "File " + shown + " cannot be stored: an archive's names hold only characters of Windows-1252";
  } else if (name->size() > kMasNameSize) {
    stored.Refusal = "File " + shown + " cannot be stored: its name takes " + std::to_string(name->size()) +
                     " bytes, more than the " + std::to_string(kMasNameSize) + " an archive's table holds";
  } else {
    stored.Name = UpperCaseAscii(*name);
  }
  return stored;
}

}  // namespace kestrel
