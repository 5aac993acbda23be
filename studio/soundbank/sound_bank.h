// ".SDT" sound banks: a sample count, a directory of entry offsets, and per sample a 40-byte entry
// header followed by the bytes of an ".MP2" file.
//
// The bank in memory mirrors the file's directory; the sample data stays on disk and is read or
// replaced one sample at a time. Every operation reopens the bank by its absolute path.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrel {

constexpr size_t kSdtEntryHeaderSize = 40;
constexpr size_t kSdtNameSize = 16;

// A bank whose bytes do not describe a bank, or a request the bank cannot honour. File failures
// (a missing bank, a full disk) are EInOutError instead.
class SoundBankError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TSDT_Entry {
  int32_t EntryOffset = 0;  // absolute file offset of the entry header
  int32_t DataOffset = 0;   // from the first byte of the entry header
  int32_t DataSize = 0;
  std::array<uint8_t, kSdtNameSize> Name{};  // all 16 bytes, padding included, written back as read
  std::array<uint32_t, 4> Extra{};           // never interpreted, written back unchanged

  // The name up to its first zero byte, or all 16 bytes when there is none.
  std::string DisplayName() const;
  bool operator==(const TSDT_Entry&) const = default;
};

struct SoundBank {
  std::string Path;  // absolute; empty when no bank is loaded
  std::vector<TSDT_Entry> Entries;  // directory order; the index is the sample's identity

  size_t Count() const { return Entries.size(); }
  bool Empty() const { return Entries.empty(); }
};

// Loads the directory and every entry header of the bank at `path` into `bank`; the sample data is
// not read, nor checked: a sample whose data is damaged is listed like the others and fails only
// when it is read. The count and every entry offset are checked against the file's length before
// memory is reserved for them. On any failure `bank` is left empty (no path, no entries) and a
// SoundBankError names what is wrong, or an EInOutError names the file failure.
void LoadSoundBank(SoundBank& bank, const std::string& path);

// The data of sample `index`, read from the bank file. A negative size, or a range the file does
// not hold, is a SoundBankError naming the bank and the sample, found before the buffer is reserved.
std::vector<uint8_t> ReadSampleData(const SoundBank& bank, size_t index);

// Puts `data` in place of sample `index`'s data, keeping its name, `DataOffset` and `Extra`, and
// rewrites the bank through a FileReplacement: a complete, flushed copy is renamed over the bank.
// On success `bank` describes the new file. A bank whose layout the rewrite cannot keep consistent
// (see CheckRewriteLayout), one that has been cut short since it was loaded, and one that cannot be
// opened for writing are refused before anything is written. On any failure the bank file and
// `bank` are as they were and no temporary file is left behind.
void ReplaceSampleData(SoundBank& bank, size_t index, const std::vector<uint8_t>& data);

// Throws SoundBankError unless every entry's data follows its header directly (`DataOffset` 40),
// the first entry lies after the directory and each next entry begins where the previous one's
// data ends. Rewriting a bank that breaks this would leave offsets that miss their data.
void CheckRewriteLayout(const SoundBank& bank);

// Throws SoundBankError when `index` is not a sample of `bank`.
void CheckSampleIndex(const SoundBank& bank, size_t index);

}  // namespace kestrel
