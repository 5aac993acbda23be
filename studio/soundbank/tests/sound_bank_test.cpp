#include "studio/soundbank/sound_bank.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "archive/file_error.h"
#include "archive/testing/file_size_limit.h"
#include "archive/testing/mas_builder.h"
#include "archive/testing/unprivileged.h"
#include "studio/soundbank/testing/bank_builder.h"

namespace kestrel {
namespace {

using testing::FileSizeLimit;
using testing::NoiseBytes;
using testing::PatchI32;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::TestBank;
using testing::TestSample;
using testing::UnprivilegedScope;

// Three samples: a name that fills its field, a name with bytes after its terminator, bytes after
// the last sample's data.
TestBank ThreeSamples() {
  TestBank b;
  b.Samples = {
      {"ENGINE_IDLE_0001", NoiseBytes(300, 1), {1, 2, 3, 4}},
      {std::string("HORN\0junk", 9), NoiseBytes(120, 2), {0xFFFFFFFF, 0, 7, 0x80000000}},
      {"crash.mp2", NoiseBytes(77, 3), {9, 9, 9, 9}},
  };
  b.Trailer = {0xAA, 0xBB, 0xCC};
  return b;
}

// Whether anything besides `keep` lies in the folder: a rewrite leaves no temporary file behind.
bool TemporaryFileExists(const TempDir& dir, const std::set<std::string>& keep = {"BANK.SDT", "ODD.SDT"}) {
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    if (!keep.count(entry.path().filename().string())) return true;
  return false;
}

// `bytes` with `damage` done to them, written as BAD.SDT in `dir`; returns its path.
std::string WriteDamaged(const TempDir& dir, std::vector<uint8_t> bytes,
                         const std::function<void(std::vector<uint8_t>&)>& damage) {
  damage(bytes);
  testing::WriteFileBytes(dir / "BAD.SDT", bytes);
  return dir / "BAD.SDT";
}

TEST(LoadSoundBank, ReadsDirectoryAndEntryHeaders) {
  TempDir dir;
  const TestBank description = ThreeSamples();
  description.WriteTo(dir / "BANK.SDT");
  SoundBank bank;
  LoadSoundBank(bank, dir / "BANK.SDT");

  EXPECT_EQ(bank.Path, dir / "BANK.SDT");
  ASSERT_EQ(bank.Count(), 3u);
  EXPECT_EQ(bank.Entries[0].EntryOffset, 16);
  EXPECT_EQ(bank.Entries[1].EntryOffset, 16 + 40 + 300);
  EXPECT_EQ(bank.Entries[2].EntryOffset, 16 + 80 + 420);
  EXPECT_EQ(bank.Entries[0].DisplayName(), "ENGINE_IDLE_0001");
  EXPECT_EQ(bank.Entries[1].DisplayName(), "HORN");
  EXPECT_EQ(bank.Entries[1].Name[5], 'j');  // padding kept as read
  EXPECT_EQ(bank.Entries[1].Extra, (std::array<uint32_t, 4>{0xFFFFFFFF, 0, 7, 0x80000000}));
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(bank.Entries[i].DataOffset, 40);
    EXPECT_EQ(bank.Entries[i].DataSize, static_cast<int32_t>(description.Samples[i].Data.size()));
    EXPECT_EQ(ReadSampleData(bank, i), description.Samples[i].Data);
  }
}

TEST(LoadSoundBank, EmptyBankReplacesWhatWasLoaded) {
  TempDir dir;
  ThreeSamples().WriteTo(dir / "FULL.SDT");
  TestBank{}.WriteTo(dir / "EMPTY.SDT");
  EXPECT_EQ(ReadFileBytes(dir / "EMPTY.SDT").size(), 4u);
  SoundBank bank;
  LoadSoundBank(bank, dir / "FULL.SDT");
  LoadSoundBank(bank, dir / "EMPTY.SDT");
  EXPECT_TRUE(bank.Empty());
  EXPECT_EQ(bank.Path, dir / "EMPTY.SDT");
}

TEST(LoadSoundBank, RejectsDamagedBanksAndLeavesNoDirectory) {
  const std::vector<uint8_t> good = ThreeSamples().Build();
  const int32_t length = static_cast<int32_t>(good.size());
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"too short for the count", [](auto& b) { b.resize(3); }, "too short to hold the sample count"},
      {"negative count", [](auto& b) { PatchI32(b, 0, -1); }, "sample count is negative"},
      {"count beyond the file", [](auto& b) { PatchI32(b, 0, 0x7FFFFFFF); }, "directory of 2147483647 samples"},
      {"entry past the end", [&](auto& b) { PatchI32(b, 8, length + 100); }, "sample 1's entry at offset"},
      {"entry header across the end", [&](auto& b) { PatchI32(b, 12, length - 20); }, "sample 2's entry at offset"},
      {"negative entry offset", [](auto& b) { PatchI32(b, 4, -8); }, "sample 0's entry at offset -8"},
  };
  TempDir dir;
  ThreeSamples().WriteTo(dir / "GOOD.SDT");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string bad = WriteDamaged(dir, good, c.damage);
    SoundBank bank;
    LoadSoundBank(bank, dir / "GOOD.SDT");
    try {
      LoadSoundBank(bank, bad);
      ADD_FAILURE() << "loaded";
    } catch (const SoundBankError& e) {
      EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("BAD.SDT"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(bank.Empty());
    EXPECT_TRUE(bank.Path.empty());
  }

  SoundBank bank;
  LoadSoundBank(bank, dir / "GOOD.SDT");
  EXPECT_THROW(LoadSoundBank(bank, dir / "MISSING.SDT"), EInOutError);
  EXPECT_TRUE(bank.Empty());
  EXPECT_TRUE(bank.Path.empty());
}

// Loading reads no sample data: a bank with one damaged sample lists every sample, the damaged one
// fails when it is read, the others read as ever.
TEST(LoadSoundBank, DamagedSampleFailsOnlyWhenRead) {
  const std::vector<uint8_t> good = ThreeSamples().Build();
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    size_t damaged;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"data past the end", [](auto& b) { PatchI32(b, 16 + 4, 0x7FFFFFF0); }, 0, "sample 0's data (2147483632 bytes"},
      {"negative data size", [](auto& b) { PatchI32(b, 16 + 4, -1); }, 0, "sample 0's size is given as -1 bytes"},
      {"negative data offset", [](auto& b) { PatchI32(b, 16, -400); }, 0, "sample 0's data"},
      {"truncated last sample", [](auto& b) { b.resize(b.size() - 10); }, 2, "sample 2's data"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SoundBank bank;
    LoadSoundBank(bank, WriteDamaged(dir, good, c.damage));
    ASSERT_EQ(bank.Count(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      if (i != c.damaged) {
        EXPECT_EQ(ReadSampleData(bank, i), ThreeSamples().Samples[i].Data);
        continue;
      }
      try {
        ReadSampleData(bank, i);
        ADD_FAILURE() << "read";
      } catch (const SoundBankError& e) {
        EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("BAD.SDT\" is damaged"), std::string::npos) << e.what();
      }
    }
  }
}

TEST(ReplaceSampleData, RewritesTheBankAsIfWrittenAfresh) {
  struct Case {
    size_t index;
    size_t newSize;
  };
  // Same size, longer, shorter, empty; the last sample longer and shorter.
  const Case cases[] = {{1, 120}, {0, 1000}, {1, 5}, {0, 0}, {2, 500}, {2, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE("sample " + std::to_string(c.index) + " to " + std::to_string(c.newSize) + " bytes");
    TempDir dir;
    TestBank description = ThreeSamples();
    description.WriteTo(dir / "BANK.SDT");
    testing::WriteFileBytes(dir / "temp$$$.sdt", {1, 2, 3});  // the user's own file, not ours to touch
    SoundBank bank;
    LoadSoundBank(bank, dir / "BANK.SDT");

    const std::vector<uint8_t> data = NoiseBytes(c.newSize, 50 + static_cast<uint32_t>(c.index));
    ReplaceSampleData(bank, c.index, data);

    description.Samples[c.index].Data = data;
    // Bytes after the last sample belong to no sample; they survive only while the tail is copied.
    if (c.index == 2) description.Trailer.clear();
    EXPECT_EQ(ReadFileBytes(dir / "BANK.SDT"), description.Build());
    SoundBank reloaded;
    LoadSoundBank(reloaded, dir / "BANK.SDT");
    EXPECT_EQ(bank.Entries, reloaded.Entries);
    EXPECT_EQ(ReadSampleData(bank, c.index), data);
    EXPECT_EQ(ReadFileBytes(dir / "temp$$$.sdt"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(TemporaryFileExists(dir, {"BANK.SDT", "temp$$$.sdt"}));
  }
}

TEST(ReplaceSampleData, RefusesLayoutsItCannotKeepConsistent) {
  struct Case {
    const char* what;
    std::function<void(TestBank&)> change;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"data apart from its header", [](TestBank& b) { b.Samples[1].DataOffset = 44; }, "sample 1's data begins 44"},
      {"gap between entries", [](TestBank& b) { b.Samples[0].GapAfter = 3; }, "3 unused bytes between sample 0"},
      {"entries out of order", [](TestBank& b) { b.FileOrder = {1, 0, 2}; }, "out of directory order"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    TestBank description = ThreeSamples();
    c.change(description);
    description.WriteTo(dir / "ODD.SDT");
    SoundBank bank;
    LoadSoundBank(bank, dir / "ODD.SDT");
    const SoundBank before = bank;
    // Every sample is refused, not only those whose own rewrite would go wrong.
    for (size_t i = 0; i < 3; ++i) {
      try {
        ReplaceSampleData(bank, i, {1, 2, 3});
        ADD_FAILURE() << "replaced sample " << i;
      } catch (const SoundBankError& e) {
        EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
      }
    }
    EXPECT_EQ(ReadFileBytes(dir / "ODD.SDT"), description.Build());
    EXPECT_EQ(bank.Entries, before.Entries);
    EXPECT_FALSE(TemporaryFileExists(dir));
  }
}

TEST(ReplaceSampleData, FailedRewriteLeavesTheBankAsItWas) {
  {
    SCOPED_TRACE("the bank cannot be opened for writing");
    TempDir dir;
    ThreeSamples().WriteTo(dir / "BANK.SDT");
    // The folder is open to all, so only the bank's own protection can stop a rename over it.
    namespace fs = std::filesystem;
    fs::permissions(dir.Path(), fs::perms::all);
    fs::permissions(dir / "BANK.SDT", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    SoundBank bank;
    LoadSoundBank(bank, dir / "BANK.SDT");
    const SoundBank before = bank;
    {
      UnprivilegedScope user;
      EXPECT_THROW(ReplaceSampleData(bank, 1, NoiseBytes(999, 4)), EInOutError);
    }
    EXPECT_EQ(ReadFileBytes(dir / "BANK.SDT"), ThreeSamples().Build());
    EXPECT_EQ(bank.Entries, before.Entries);
    EXPECT_FALSE(TemporaryFileExists(dir));
  }
  {
    SCOPED_TRACE("the disk fills half way through the temporary file");
    TempDir dir;
    ThreeSamples().WriteTo(dir / "BANK.SDT");
    SoundBank bank;
    LoadSoundBank(bank, dir / "BANK.SDT");
    const SoundBank before = bank;
    {
      // A file size limit stops writes past 200 bytes even for root; the bank itself is only read.
      FileSizeLimit limit(200);
      EXPECT_THROW(ReplaceSampleData(bank, 0, NoiseBytes(400, 5)), EInOutError);
    }
    EXPECT_EQ(ReadFileBytes(dir / "BANK.SDT"), ThreeSamples().Build());
    EXPECT_EQ(bank.Entries, before.Entries);
    EXPECT_FALSE(TemporaryFileExists(dir));
  }
  {
    SCOPED_TRACE("the bank was cut short after loading");
    TempDir dir;
    ThreeSamples().WriteTo(dir / "BANK.SDT");
    SoundBank bank;
    LoadSoundBank(bank, dir / "BANK.SDT");
    const SoundBank before = bank;
    std::filesystem::resize_file(dir / "BANK.SDT", static_cast<uintmax_t>(bank.Entries[2].EntryOffset + 50));
    const std::vector<uint8_t> cut = ReadFileBytes(dir / "BANK.SDT");
    EXPECT_THROW(ReplaceSampleData(bank, 0, NoiseBytes(10, 5)), SoundBankError);
    EXPECT_EQ(ReadFileBytes(dir / "BANK.SDT"), cut);
    EXPECT_EQ(bank.Entries, before.Entries);
    EXPECT_FALSE(TemporaryFileExists(dir));
  }
}

TEST(SoundBank, IndexesOutsideTheBankAreRefused) {
  TempDir dir;
  ThreeSamples().WriteTo(dir / "BANK.SDT");
  TestBank{}.WriteTo(dir / "EMPTY.SDT");
  SoundBank bank;
  LoadSoundBank(bank, dir / "BANK.SDT");
  EXPECT_THROW(ReadSampleData(bank, 3), SoundBankError);
  EXPECT_THROW(ReplaceSampleData(bank, 3, {}), SoundBankError);
  LoadSoundBank(bank, dir / "EMPTY.SDT");
  EXPECT_THROW(ReplaceSampleData(bank, 0, {}), SoundBankError);
  EXPECT_EQ(ReadFileBytes(dir / "BANK.SDT"), ThreeSamples().Build());
}

}  // namespace
}  // namespace kestrel
