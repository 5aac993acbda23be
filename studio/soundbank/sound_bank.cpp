#include "studio/soundbank/sound_bank.h"

#include <cstring>

#include "archive/byte_reader.h"
#include "archive/file_io.h"

namespace kestrel {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

[[noreturn]] void ThrowDamaged(const std::string& path, const std::string& what) {
  throw SoundBankError("The sound bank " + Quoted(path) + " is damaged: " + what + ".");
}

std::string SampleLabel(size_t index) { return "sample " + std::to_string(index); }

TSDT_Entry DecodeEntryHeader(int32_t entryOffset, const uint8_t* bytes) {
  ByteReader r(bytes, kSdtEntryHeaderSize);
  TSDT_Entry e;
  e.EntryOffset = entryOffset;
  e.DataOffset = r.I32();
  e.DataSize = r.I32();
  r.Bytes(e.Name.data(), e.Name.size());
  for (uint32_t& v : e.Extra) v = r.U32();
  return e;
}

}  // namespace

std::string TSDT_Entry::DisplayName() const {
  const char* begin = reinterpret_cast<const char*>(Name.data());
  return std::string(begin, strnlen(begin, Name.size()));
}

void LoadSoundBank(SoundBank& bank, const std::string& path) {
  // Emptied first, so that whatever goes wrong below no row can refer to a half-read directory.
  bank = SoundBank{};
  SoundBank loaded;
  loaded.Path = AbsolutePath(path);
  BinaryFile file = BinaryFile::OpenRead(loaded.Path);
  const int64_t length = file.Size();
  const std::string lengthText = std::to_string(length) + " bytes";

  if (length < 4) ThrowDamaged(loaded.Path, "at " + lengthText + " it is too short to hold the sample count");
  uint8_t countBytes[4];
  file.ReadExact(countBytes, sizeof countBytes);
  const int32_t count = ByteReader(countBytes, sizeof countBytes).I32();
  if (count < 0) ThrowDamaged(loaded.Path, "its sample count is negative (" + std::to_string(count) + ")");
  if (count > (length - 4) / 4)
    ThrowDamaged(loaded.Path, "its directory of " + std::to_string(count) + " samples runs past the end of the file (" +
                                  lengthText + ")");

  const std::vector<uint8_t> directory = file.ReadExact(4 * static_cast<size_t>(count));
  ByteReader offsets(directory);
  loaded.Entries.reserve(static_cast<size_t>(count));
  uint8_t header[kSdtEntryHeaderSize];
  for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
    const int32_t entryOffset = offsets.I32();
    if (entryOffset < 0 || entryOffset + static_cast<int64_t>(kSdtEntryHeaderSize) > length)
      ThrowDamaged(loaded.Path, SampleLabel(i) + "'s entry at offset " + std::to_string(entryOffset) +
                                    " lies outside the file (" + lengthText + ")");
    file.Seek(entryOffset);
    file.ReadExact(header, sizeof header);
    // A sample's data is checked when it is read: one damaged sample leaves the others usable.
    loaded.Entries.push_back(DecodeEntryHeader(entryOffset, header));
  }
  file.Close();
  bank = std::move(loaded);
}

void CheckSampleIndex(const SoundBank& bank, size_t index) {
  if (index >= bank.Count())
    throw SoundBankError("There is no sample " + std::to_string(index) + " in this sound bank; it holds " +
                         std::to_string(bank.Count()) + (bank.Count() == 1 ? " sample." : " samples."));
}

std::vector<uint8_t> ReadSampleData(const SoundBank& bank, size_t index) {
  CheckSampleIndex(bank, index);
  const TSDT_Entry& entry = bank.Entries[index];
  if (entry.DataSize < 0)
    ThrowDamaged(bank.Path, SampleLabel(index) + "'s size is given as " + std::to_string(entry.DataSize) +
                                " bytes, less than none");
  BinaryFile file = BinaryFile::OpenRead(bank.Path);
  // The file may have changed since it was loaded; its length is asked here, before reserving.
  const int64_t length = file.Size();
  const int64_t start = static_cast<int64_t>(entry.EntryOffset) + entry.DataOffset;
  if (entry.DataOffset < 0 || start + entry.DataSize > length)
    ThrowDamaged(bank.Path, SampleLabel(index) + "'s data (" + std::to_string(entry.DataSize) + " bytes, " +
                                std::to_string(entry.DataOffset) + " bytes after its entry at offset " +
                                std::to_string(entry.EntryOffset) + ") lies outside the file (" +
                                std::to_string(length) + " bytes)");
  file.Seek(start);
  std::vector<uint8_t> data = file.ReadExact(static_cast<size_t>(entry.DataSize));
  file.Close();
  return data;
}

void CheckRewriteLayout(const SoundBank& bank) {
  const auto refuse = [](const std::string& why) {
    throw SoundBankError("This sound bank cannot be rewritten safely: " + why + ".");
  };
  int64_t expected = 4 + 4 * static_cast<int64_t>(bank.Count());
  for (size_t i = 0; i < bank.Count(); ++i) {
    const TSDT_Entry& e = bank.Entries[i];
    const std::string offsetText = "its entry is at offset " + std::to_string(e.EntryOffset);
    if (e.DataSize < 0) refuse(SampleLabel(i) + "'s size is given as " + std::to_string(e.DataSize) + " bytes");
    if (e.DataOffset != static_cast<int32_t>(kSdtEntryHeaderSize))
      refuse(SampleLabel(i) + "'s data begins " + std::to_string(e.DataOffset) +
             " bytes after its entry header instead of right after it (40)");
    if (i == 0 && e.EntryOffset < expected)
      refuse(SampleLabel(i) + " overlaps the directory, which ends at offset " + std::to_string(expected) + " (" +
             offsetText + ")");
    if (i > 0 && e.EntryOffset < expected)
      refuse(SampleLabel(i) + " lies before the end of " + SampleLabel(i - 1) + " at offset " +
             std::to_string(expected) + ", out of directory order (" + offsetText + ")");
    if (i > 0 && e.EntryOffset > expected)
      refuse("there are " + std::to_string(e.EntryOffset - expected) + " unused bytes between " +
             SampleLabel(i - 1) + " and " + SampleLabel(i) + " (" + offsetText + ")");
    expected = static_cast<int64_t>(e.EntryOffset) + e.DataOffset + e.DataSize;
  }
}

}  // namespace kestrel
