// The manifest of a mod package: what the package does to an archive, as plain text.
//
//   kestrel-mod-package 1
//   title Brighter kerbs
//   changed KERB.TGA 0 <sha256 of the original entry's decoded bytes>
//   removed OLDSIGN.BMP 0 <sha256>
//   added NEWSIGN.BMP
//   keep TRACK.MTS 0
//   carry 1
//   carry 2
//   end
//
// One record a line, fields split by single spaces. Names escape every byte below 33, 127 and
// above, and the backslash, as \xNN; the title escapes the same bytes but the space and those above
// 127. An entry of the original archive is its name and which of the entries of that name it is
// (0 for the first, counted ignoring case). "keep" and "carry" lines give the final table in order:
// an original entry left as it was, or the package's own entry at that table position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// A package refused: its manifest is damaged or does not fit the entries it carries.
class EModPackageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kModManifestVersion = 1;
inline constexpr std::string_view kModManifestEntryName = "KESTREL-MOD.TXT";

struct ModEntryRef {
  std::string Name;  // as stored in the table
  uint32_t Occurrence = 0;
};

struct ModHashedEntry {
  ModEntryRef Entry;
  std::string Sha256;  // of the original entry's decoded bytes
};

struct ModOrderItem {
  bool Carried = false;
  ModEntryRef Kept;         // when not carried
  size_t CarriedIndex = 0;  // when carried: the package table's position (the manifest is 0)
};

struct ModManifest {
  std::string Title;
  std::vector<ModHashedEntry> Changed;
  std::vector<ModHashedEntry> Removed;
  std::vector<std::string> Added;
  std::vector<ModOrderItem> Order;
};

std::string WriteModManifest(const ModManifest& manifest);
// Checks the text's own consistency: known records, numbers, hashes, each original entry named
// once, occurrences of a name counted from 0 without gaps, each carried position once, "end" last.
// Anything else is EModPackageError saying what and on which line.
ModManifest ParseModManifest(std::string_view text);

// Names as the manifest and listings write them (\xNN escapes), and back; false for a bad escape.
std::string EscapeModName(std::string_view name);
bool UnescapeModText(std::string_view text, std::string& out);

}  // namespace kestrel
