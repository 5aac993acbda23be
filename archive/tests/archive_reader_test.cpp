#include "archive/archive_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "archive/file_error.h"
#include "archive/file_io.h"
#include "archive/testing/file_size_limit.h"
#include "archive/testing/hook_record.h"
#include "archive/testing/mas_builder.h"
#include "archive/testing/unprivileged.h"
#include "archive/zbuffer.h"

namespace kestrel {
namespace {

using testing::BytesOf;
using testing::Deflate;
using testing::NoiseBytes;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::TestArchive;
using testing::TestEntry;

using Extraction = testing::HookRecord;

FileErrorKind KindOfLoadFailure(const std::string& path) {
  try {
    ReadArchiveTable(path);
  } catch (const EInOutError& e) {
    return e.Kind();
  }
  return FileErrorKind::Other;
}

TEST(ReadArchiveTable, LoadsHeaderTableAndDataStart) {
  TempDir dir;
  TestArchive a;
  a.Entries = {{"ONE.BMP", BytesOf("one")}, {"TWO.MTS", BytesOf("two"), 17}};
  a.WriteTo(dir / "A.MAS");
  const LoadedArchive loaded = ReadArchiveTable(dir / "A.MAS");
  EXPECT_EQ(loaded.Header.FileCount, 2u);
  EXPECT_EQ(loaded.DataStart, 24 + 2 * 256);
  ASSERT_EQ(loaded.Table.size(), 2u);
  EXPECT_EQ(loaded.Table[1].Name(), "TWO.MTS");
  EXPECT_EQ(loaded.Table[1].FileType, 17);
}

TEST(ReadArchiveTable, EmptyTableReadsNothingPastTheHeader) {
  TempDir dir;
  TestArchive a;
  a.WriteTo(dir / "E.MAS");
  EXPECT_TRUE(ReadArchiveTable(dir / "E.MAS").Table.empty());
}

TEST(ReadArchiveTable, FileErrors) {
  TempDir dir;
  TestArchive wild;
  wild.FileCount = 0x7FFFFFFF;  // would ask for half a terabyte if believed
  wild.WriteTo(dir / "WILD.MAS");
  TestArchive cut;
  cut.Entries = {{"A.BMP", BytesOf("a")}, {"B.BMP", BytesOf("b")}};
  cut.TruncateTo = 24 + 256 + 100;
  cut.WriteTo(dir / "CUT.MAS");
  testing::WriteFileBytes(dir / "SHORT.MAS", BytesOf("CUBEMAS4.1"));

  EXPECT_EQ(KindOfLoadFailure(dir / "MISSING.MAS"), FileErrorKind::FileNotFound);
  EXPECT_EQ(KindOfLoadFailure(dir / "WILD.MAS"), FileErrorKind::ReadBeyondEnd);
  EXPECT_EQ(KindOfLoadFailure(dir / "CUT.MAS"), FileErrorKind::ReadBeyondEnd);
  EXPECT_EQ(KindOfLoadFailure(dir / "SHORT.MAS"), FileErrorKind::ReadBeyondEnd);
  EXPECT_EQ(KindOfLoadFailure(dir.Path()), FileErrorKind::AccessDenied);
}

TEST(ReadArchiveTable, ReadOnlyArchiveLoadsAndExtracts) {
  TempDir dir;
  TestArchive a;
  a.Entries = {{"R.BMP", BytesOf("read only")}};
  a.WriteTo(dir / "RO.MAS");
  chmod((dir / "RO.MAS").c_str(), 0444);
  // Root may open anything for writing: only an ordinary user finds out whether the reader asks to.
  testing::OpenToEveryone(dir.Path());
  const int result = testing::RunUnprivileged([&] {
    Extraction x;
    ExtractAll(ReadArchiveTable(dir / "RO.MAS"), dir.Path(), x.Hooks());
    return x.messages.empty() ? 0 : 1;
  });
  EXPECT_EQ(result, 0) << "0: extracted; 1: a message; 252: an exception";
  EXPECT_EQ(ReadFileBytes(dir / "R.BMP"), BytesOf("read only"));
}

TEST(ExtractAll, DecodesEveryKindOfEntryAndGoesOnAfterFailures) {
  TempDir dir;
  const std::vector<uint8_t> big = NoiseBytes(3000, 1);
  const std::vector<uint8_t> stream = Deflate(BytesOf("inner"));
  TestArchive a;
  a.Entries = {
      {"packed.bmp", big},
      {"STORED.TGA", stream, 20, /*Stored=*/true},  // equal sizes: copied even though it is a stream
      {"EMPTY.ANM", {}, 31, true},
      {"ZEROSIZE.MTS", big, 17},                    // UncompressedSize 0 still inflates whole
      {"SHORTER.BMP", BytesOf("true length"), 18},  // claims more than the stream yields
      {"BROKEN.BMP", {}, 18},
      {"NOBYTES.BMP", {}, 18},
      {"AFTER.BMP", BytesOf("after")},
  };
  a.Entries[3].UncompressedSize = 0;
  a.Entries[4].UncompressedSize = 5000;
  std::vector<uint8_t> damaged = Deflate(NoiseBytes(2000, 2));
  for (size_t i = 8; i < 30; ++i) damaged[i] ^= 0xA5;
  a.Entries[5].RawBytes = damaged;
  a.Entries[5].UncompressedSize = 2000;
  a.Entries[6].RawBytes = std::vector<uint8_t>{};
  a.Entries[6].UncompressedSize = 10;
  a.WriteTo(dir / "X.MAS");

  Extraction x;
  const std::string out = dir / "out";
  ASSERT_TRUE(CreateDirectoryOneLevel(out));
  ExtractAll(ReadArchiveTable(dir / "X.MAS"), out, x.Hooks());

  EXPECT_EQ(x.steps, 8);
  EXPECT_EQ(x.messages, (std::vector<std::string>{"data error", "buffer error"}));
  EXPECT_EQ(ReadFileBytes(out + "/PACKED.BMP"), big);  // upper-cased on disk
  EXPECT_EQ(ReadFileBytes(out + "/STORED.TGA"), stream);
  EXPECT_TRUE(ReadFileBytes(out + "/EMPTY.ANM").empty());
  EXPECT_EQ(ReadFileBytes(out + "/ZEROSIZE.MTS"), big);
  EXPECT_EQ(ReadFileBytes(out + "/SHORTER.BMP"), BytesOf("true length"));
  EXPECT_TRUE(ReadFileBytes(out + "/BROKEN.BMP").empty());
  EXPECT_TRUE(ReadFileBytes(out + "/NOBYTES.BMP").empty());
  EXPECT_EQ(ReadFileBytes(out + "/AFTER.BMP"), BytesOf("after"));
}

// Entries many times the size of the pieces extraction reads and writes, in and out.
TEST(ExtractAll, LargeEntriesGoThroughPieceByPiece) {
  TempDir dir;
  const std::vector<uint8_t> noise = NoiseBytes(700'000, 7);      // stream about as long as the file
  const std::vector<uint8_t> zeros(6'000'000, 0);                 // a short stream, a long file
  std::vector<uint8_t> trailed = Deflate(BytesOf("end"));
  trailed.resize(trailed.size() + 300'000, 0xEE);                 // bytes after the stream are ignored
  TestArchive a;
  a.Entries = {{"NOISE.BMP", noise}, {"ZEROS.TGA", zeros}, {"COPY.ANM", noise, 31, true}, {"TAIL.BMP", {}}};
  a.Entries[3].RawBytes = trailed;
  a.Entries[3].UncompressedSize = 3;
  a.WriteTo(dir / "L.MAS");
  Extraction x;
  ExtractAll(ReadArchiveTable(dir / "L.MAS"), dir.Path(), x.Hooks());
  EXPECT_TRUE(x.messages.empty());
  EXPECT_EQ(ReadFileBytes(dir / "NOISE.BMP"), noise);
  EXPECT_EQ(ReadFileBytes(dir / "ZEROS.TGA"), zeros);
  EXPECT_EQ(ReadFileBytes(dir / "COPY.ANM"), noise);
  EXPECT_EQ(ReadFileBytes(dir / "TAIL.BMP"), BytesOf("end"));
}

// A failure while an entry is written leaves the copy an earlier run extracted, and nothing beside it.
TEST(ExtractAll, FullDiskKeepsTheEarlierCopyAndLeavesNoTemporary) {
  TempDir dir;
  const std::string out = dir / "out";
  CreateDirectoryOneLevel(out);
  TestArchive a;
  a.Entries = {{"BIG.BMP", NoiseBytes(1 << 20, 8)}};
  a.WriteTo(dir / "F.MAS");
  const LoadedArchive loaded = ReadArchiveTable(dir / "F.MAS");
  testing::WriteFileBytes(out + "/BIG.BMP", BytesOf("earlier copy"));
  Extraction x;
  {
    testing::FileSizeLimit limit(200'000);
    try {
      ExtractAll(loaded, out, x.Hooks());
      ADD_FAILURE() << "a write past the size limit succeeded";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.Kind(), FileErrorKind::DiskFull);
    }
  }
  EXPECT_EQ(ReadFileBytes(out + "/BIG.BMP"), BytesOf("earlier copy"));
  EXPECT_EQ(testing::NamesIn(out), (std::set<std::string>{"BIG.BMP"}));
}

TEST(ExtractAll, NamesEqualButForCaseLeaveTheLaterEntry) {
  TempDir dir;
  TestArchive a;
  a.Entries = {{"car.bmp", BytesOf("first")}, {"CAR.BMP", BytesOf("second")}};
  a.WriteTo(dir / "C.MAS");
  Extraction x;
  ExtractAll(ReadArchiveTable(dir / "C.MAS"), dir.Path(), x.Hooks());
  EXPECT_EQ(ReadFileBytes(dir / "CAR.BMP"), BytesOf("second"));
}

TEST(ExtractAll, UnsafeNamesAreReportedAndNothingLeavesTheDirectory) {
  TempDir dir;
  const std::string out = dir / "out";
  CreateDirectoryOneLevel(out);
  TestArchive a;
  a.Entries = {{"../ESCAPE.BMP", BytesOf("x")}, {"", BytesOf("x")},  {"..", BytesOf("x")},
               {"SUB/IN.BMP", BytesOf("x")},    {"WIN\\X.BMP", BytesOf("x")}, {"OK.BMP", BytesOf("ok")}};
  a.WriteTo(dir / "U.MAS");
  Extraction x;
  ExtractAll(ReadArchiveTable(dir / "U.MAS"), out, x.Hooks());
  ASSERT_EQ(x.messages.size(), 5u);
  EXPECT_EQ(x.messages[0], "Entry \"../ESCAPE.BMP\" was not extracted: its name is not a plain file name");
  EXPECT_EQ(x.steps, 6);
  EXPECT_FALSE(std::filesystem::exists(dir / "ESCAPE.BMP"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), std::filesystem::directory_iterator()), 1);
}

TEST(ExtractAll, ReplacesASymbolicLinkInsteadOfWritingThroughIt) {
  TempDir dir;
  const std::string out = dir / "out";
  CreateDirectoryOneLevel(out);
  testing::WriteFileBytes(dir / "victim", BytesOf("precious"));
  ASSERT_EQ(symlink((dir / "victim").c_str(), (out + "/LINK.BMP").c_str()), 0);
  TestArchive a;
  a.Entries = {{"LINK.BMP", BytesOf("new")}};
  a.WriteTo(dir / "L.MAS");
  Extraction x;
  ExtractAll(ReadArchiveTable(dir / "L.MAS"), out, x.Hooks());
  EXPECT_EQ(ReadFileBytes(dir / "victim"), BytesOf("precious"));
  EXPECT_FALSE(std::filesystem::is_symlink(out + "/LINK.BMP"));
  EXPECT_EQ(ReadFileBytes(out + "/LINK.BMP"), BytesOf("new"));
}

TEST(ExtractAll, NeverWritesOverTheArchiveItReads) {
  TempDir dir;
  TestArchive a;
  a.Entries = {{"self.mas", BytesOf("would truncate")}, {"LINKED.BMP", BytesOf("x")}, {"AFTER.BMP", BytesOf("after")}};
  a.WriteTo(dir / "SELF.MAS");
  const std::vector<uint8_t> original = ReadFileBytes(dir / "SELF.MAS");
  ASSERT_EQ(link((dir / "SELF.MAS").c_str(), (dir / "LINKED.BMP").c_str()), 0);  // a hard link counts too
  Extraction x;
  ExtractAll(ReadArchiveTable(dir / "SELF.MAS"), dir.Path(), x.Hooks());
  EXPECT_EQ(x.messages, (std::vector<std::string>{
                            "Entry \"self.mas\" was not extracted: it would overwrite the archive itself",
                            "Entry \"LINKED.BMP\" was not extracted: it would overwrite the archive itself"}));
  EXPECT_EQ(ReadFileBytes(dir / "SELF.MAS"), original);
  EXPECT_EQ(ReadFileBytes(dir / "AFTER.BMP"), BytesOf("after"));
}

TEST(ExtractAll, EntryPastTheEndIsAFileErrorBeforeAnythingIsReserved) {
  TempDir dir;
  TestArchive a;
  a.Entries = {{"FIRST.BMP", BytesOf("fine")}, {"WILD.BMP", BytesOf("x")}, {"NEG.BMP", BytesOf("x")}};
  a.Entries[1].CompressedSize = 0x7FFFFFF0;
  a.Entries[2].Offset = -100000;
  a.WriteTo(dir / "W.MAS");
  const LoadedArchive loaded = ReadArchiveTable(dir / "W.MAS");
  Extraction x;
  for (size_t i : {size_t{1}, size_t{2}}) {
    try {
      ExtractEntry(loaded, i, loaded.Table[i].Name(), dir.Path(), x.Hooks());
      ADD_FAILURE() << "no error for entry " << i;
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.Kind(), FileErrorKind::ReadBeyondEnd);
      EXPECT_STREQ(e.what(), "Read beyond end of file");
    }
  }
  EXPECT_FALSE(FileExists(dir / "WILD.BMP"));
}

TEST(DecodeEntryBytes, RefusesAnEntryThatInflatesFarBeyondItsRecordedSize) {
  const std::vector<uint8_t> bomb = testing::ZeroBomb(40);
  TMAS_FileEntry entry;
  entry.CompressedSize = static_cast<int32_t>(bomb.size());
  entry.UncompressedSize = 1000;
  const size_t limit = EntryInflateLimit(entry);
  EXPECT_EQ(limit, 2000u + (16u << 20));
  try {
    DecodeEntryBytes(entry, bomb);
    ADD_FAILURE() << "a 40 MiB stream was read under a record of 1000 bytes";
  } catch (const EZInflateLimitError& e) {
    EXPECT_EQ(std::string(e.what()),
              "The entry inflates to more than 16779216 bytes, far beyond the 1000 bytes its table records; it was "
              "not read.");
  }
  // The same stream under its true size reads whole.
  entry.UncompressedSize = 40 << 20;
  EXPECT_EQ(DecodeEntryBytes(entry, bomb).size(), size_t{40} << 20);
}

}  // namespace
}  // namespace kestrel
