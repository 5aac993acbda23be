// Test-side archive writer: makes well-formed and deliberately odd ".MAS" files for the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kestrel::testing {

struct TestEntry {
  TestEntry() = default;
  TestEntry(std::string name, std::vector<uint8_t> data, int32_t fileType = 18, bool stored = false)
      : Name(std::move(name)), Data(std::move(data)), FileType(fileType), Stored(stored) {}

  std::string Name;            // stored as given (no upper-casing), cut to 236 bytes
  std::vector<uint8_t> Data;   // the file's bytes
  int32_t FileType = 18;
  bool Stored = false;         // store as is (both sizes equal) instead of a level-9 zlib stream
  int32_t Unknown = 0;
  // Verbatim stored bytes instead of the encoding of Data (damaged or truncated streams).
  std::optional<std::vector<uint8_t>> RawBytes;
  // Overrides of the table fields, for records that lie.
  std::optional<int32_t> Offset;
  std::optional<int32_t> UncompressedSize;
  std::optional<int32_t> CompressedSize;
};

struct TestArchive {
  std::string Magic = "CUBEMAS4.10";  // up to 16 bytes, zero padded
  std::vector<TestEntry> Entries;
  std::optional<uint32_t> FileCount;   // override of the header's count
  std::optional<size_t> TruncateTo;    // cut the finished file to this many bytes

  // Entries back to back in table order from offset 0; DataAreaSize set from the length.
  std::vector<uint8_t> Build() const;
  void WriteTo(const std::string& path) const;
};

// An F1-2001 archive: the same layout under the old magic.
inline TestArchive OldTestArchive(std::vector<TestEntry> entries) {
  TestArchive archive;
  archive.Magic = "CUBEMAS4.01";
  archive.Entries = std::move(entries);
  return archive;
}

// An F1-2001 image entry (type 2): width, height and 8 unused bytes, never compressed, then the
// pixel rows, stored or as one zlib stream.
TestEntry OldImage(const std::string& name, int32_t width, int32_t height, const std::vector<uint8_t>& pixels,
                   bool stored);

// A zlib stream at level 9 (what the packers write).
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data);
// Bytes whose level-9 zlib stream is exactly as long as they are: a run of one letter, which the
// stream shortens, before noise, which it lengthens. Such an entry would read back as stored.
std::vector<uint8_t> AsLongAsItsStream();
// A zlib stream that inflates to `mebibytes` MiB of zero bytes, about 1 KiB of stream per MiB,
// built without ever holding the inflated bytes: the hostile archives' decompression bomb.
std::vector<uint8_t> ZeroBomb(size_t mebibytes);
// Deterministic pseudo-random bytes, `size` long, from `seed`.
std::vector<uint8_t> NoiseBytes(size_t size, uint32_t seed);
std::vector<uint8_t> BytesOf(const std::string& text);

// An archive's bytes with each record's Unknown field set to zero: what stays the same between two
// packings of one folder, whose Unknown values come from the clock. A cut archive is zeroed as far
// as its records reach.
std::vector<uint8_t> WithoutUnknowns(std::vector<uint8_t> archive);

// A fresh empty directory under the system's temporary directory, removed with its contents when
// the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// The file's bytes as text, for comparing whole text files.
std::string ReadFileText(const std::string& path);
// The names directly inside `directory`.
std::set<std::string> NamesIn(const std::string& directory);

}  // namespace kestrel::testing
