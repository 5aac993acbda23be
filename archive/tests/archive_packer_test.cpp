#include "archive/archive_packer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "archive/archive_reader.h"
#include "archive/file_error.h"
#include "archive/file_io.h"
#include "archive/testing/hook_record.h"
#include "archive/testing/mas_builder.h"
#include "archive/zbuffer.h"

namespace kestrel {
namespace {

using testing::BytesOf;
using testing::NoiseBytes;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

struct PackRun : testing::HookRecord {
  PackResult result;
  void Pack(const std::string& dir, const std::string& archive, uint32_t seed = 1) {
    UnknownSequence unknowns(seed);
    result = PackDirectory(dir, archive, unknowns, Hooks());
  }
};

std::vector<std::string> TableNames(const LoadedArchive& a) {
  std::vector<std::string> names;
  for (const auto& e : a.Table) names.push_back(e.Name());
  return names;
}

TEST(PackDirectory, TableOrderTypesOffsetsAndSizes) {
  TempDir dir;
  const std::string src = dir / "src";
  CreateDirectoryOneLevel(src);
  for (const char* name : {"c.bmp", "A.BMP", "b.Bmp", "Z.MTS", "y.mts", "WALK.anm", "notes.txt"})
    WriteFileBytes(src + "/" + name, NoiseBytes(500 + std::string(name).size() * 37, name[0]));
  WriteFileBytes(src + "/EMPTY.TGA", {});
  std::filesystem::create_directory(src + "/FOLDER.BMP");  // a directory is never packed

  PackRun run;
  run.Pack(src, dir / "OUT.MAS");
  EXPECT_TRUE(run.messages.empty());
  EXPECT_EQ(run.steps, 7);

  const LoadedArchive a = ReadArchiveTable(dir / "OUT.MAS");
  EXPECT_EQ(a.Header.MagicText(), "CUBEMAS4.10");
  EXPECT_EQ(a.DataStart, 24 + 7 * 256);
  EXPECT_EQ(TableNames(a), (std::vector<std::string>{"A.BMP", "B.BMP", "C.BMP", "Y.MTS", "Z.MTS", "EMPTY.TGA",
                                                      "WALK.ANM"}));
  const std::vector<int32_t> types = {18, 18, 18, 17, 17, 20, 31};
  int32_t offset = 0;
  int64_t total = 0;
  int32_t previousUnknown = 4'000'000;
  for (size_t i = 0; i < a.Table.size(); ++i) {
    const TMAS_FileEntry& e = a.Table[i];
    EXPECT_EQ(e.FileType, types[i]) << i;
    EXPECT_EQ(e.Offset, offset) << i;  // back to back from 0
    EXPECT_GE(e.Unknown, previousUnknown);
    EXPECT_LE(e.Unknown, 4'099'999 + 1'233 * static_cast<int32_t>(i + 1));
    previousUnknown = e.Unknown;
    offset += e.CompressedSize;
    total += e.CompressedSize;
  }
  EXPECT_EQ(a.Header.DataAreaSize, total);
  EXPECT_EQ(a.FileLength, a.DataStart + total);
  EXPECT_EQ(a.Table[5].UncompressedSize, 0);
  EXPECT_EQ(a.Table[5].CompressedSize, 8);

  // Every entry is a level-9 stream of its file and extracts to the same bytes.
  const std::string out = dir / "out";
  CreateDirectoryOneLevel(out);
  ExtractAll(a, out, {});
  for (const char* name : {"A.BMP", "c.bmp", "y.mts", "WALK.anm", "EMPTY.TGA"})
    EXPECT_EQ(ReadFileBytes(out + "/" + UpperCaseAscii(name)), ReadFileBytes(src + "/" + name)) << name;
  const std::vector<uint8_t> first = ReadFileBytes(src + "/A.BMP");
  const std::vector<uint8_t> stored = ReadStoredBytes(a, 0);
  EXPECT_EQ(stored, CompressBuffer(first.data(), first.size(), 3));
}

TEST(PackDirectory, NamesEqualButForCaseAreBothPacked) {
  TempDir dir;
  CreateDirectoryOneLevel(dir / "src");
  WriteFileBytes(dir / "src/car.bmp", BytesOf("lower"));
  WriteFileBytes(dir / "src/CAR.BMP", BytesOf("upper"));
  PackRun run;
  run.Pack(dir / "src", dir / "C.MAS");
  const LoadedArchive a = ReadArchiveTable(dir / "C.MAS");
  ASSERT_EQ(a.Table.size(), 2u);
  EXPECT_EQ(DecodeEntryBytes(a.Table[0], ReadStoredBytes(a, 0)), BytesOf("upper"));
  EXPECT_EQ(DecodeEntryBytes(a.Table[1], ReadStoredBytes(a, 1)), BytesOf("lower"));
}

TEST(PackDirectory, FileTooLargeForTheTableStopsPackingAndKeepsWhatWasPacked) {
  TempDir dir;
  CreateDirectoryOneLevel(dir / "src");
  WriteFileBytes(dir / "src/A.BMP", BytesOf("first"));
  // Sparse: 2 GiB on paper, no disk used. Its size does not fit the table's int32 fields.
  WriteFileBytes(dir / "src/BIG.BMP", {});
  std::filesystem::resize_file(dir / "src/BIG.BMP", uintmax_t{1} << 31);
  WriteFileBytes(dir / "src/C.BMP", BytesOf("after"));

  PackRun run;
  run.Pack(dir / "src", dir / "OUT.MAS");
  EXPECT_EQ(run.messages, (std::vector<std::string>{EntryTooLargeMessage("BIG.BMP")}));
  EXPECT_EQ(run.result.EntriesPacked, 1u);

  const LoadedArchive a = ReadArchiveTable(dir / "OUT.MAS");
  ASSERT_EQ(a.Table.size(), 3u);
  EXPECT_EQ(DecodeEntryBytes(a.Table[0], ReadStoredBytes(a, 0)), BytesOf("first"));
  for (size_t i : {1u, 2u}) {
    EXPECT_EQ(a.Table[i].UncompressedSize, 0) << i;
    EXPECT_EQ(a.Table[i].CompressedSize, 0) << i;
  }
  EXPECT_EQ(a.FileLength, a.DataStart + a.Table[0].CompressedSize);
}

TEST(PackDirectory, NothingToPackLeavesAnExistingArchiveAlone) {
  TempDir dir;
  CreateDirectoryOneLevel(dir / "src");
  WriteFileBytes(dir / "src/readme.txt", BytesOf("not packed"));
  WriteFileBytes(dir / "OLD.MAS", BytesOf("old archive"));
  PackRun run;
  run.Pack(dir / "src", dir / "OLD.MAS");
  EXPECT_EQ(run.result.FilesFound, 0u);
  EXPECT_TRUE(run.messages.empty());
  EXPECT_EQ(ReadFileBytes(dir / "OLD.MAS"), BytesOf("old archive"));
}

TEST(PackDirectory, MissingDirectoryIsReportedAndWritesNothing) {
  TempDir dir;
  WriteFileBytes(dir / "OLD.MAS", BytesOf("old archive"));
  PackRun run;
  run.Pack(dir / "nowhere", dir / "OLD.MAS");
  EXPECT_TRUE(run.result.DirectoryMissing);
  EXPECT_EQ(run.messages, (std::vector<std::string>{"Directory does not exist."}));
  EXPECT_EQ(ReadFileBytes(dir / "OLD.MAS"), BytesOf("old archive"));
}

TEST(PackDirectory, ReplacesALongerReadOnlyArchiveEntirely) {
  TempDir dir;
  CreateDirectoryOneLevel(dir / "src");
  WriteFileBytes(dir / "src/ONE.BMP", BytesOf("one"));
  WriteFileBytes(dir / "OLD.MAS", NoiseBytes(100000, 3));
  chmod((dir / "OLD.MAS").c_str(), 0444);
  PackRun run;
  run.Pack(dir / "src", dir / "OLD.MAS");
  const LoadedArchive a = ReadArchiveTable(dir / "OLD.MAS");
  EXPECT_EQ(a.FileLength, a.DataStart + a.Table[0].CompressedSize);
  EXPECT_EQ(a.Header.DataAreaSize, static_cast<uint32_t>(a.Table[0].CompressedSize));
}

TEST(PackDirectory, ArchiveThatCannotBeCreatedReportsThenFailsTheDataPass) {
  TempDir dir;
  CreateDirectoryOneLevel(dir / "src");
  WriteFileBytes(dir / "src/ONE.BMP", BytesOf("one"));
  PackRun run;
  EXPECT_THROW(run.Pack(dir / "src", dir / "no/such/dir/X.MAS"), EInOutError);
  EXPECT_EQ(run.messages, (std::vector<std::string>{"File not found"}));
}

TEST(UnknownSequence, StartsInRangeAndRises) {
  for (uint32_t seed : {0u, 1u, 12345u, 0xFFFFFFFFu}) {
    UnknownSequence s(seed);
    int32_t previous = s.Next();
    EXPECT_GE(previous, 4'000'000);
    EXPECT_LE(previous, 4'101'232);
    for (int i = 0; i < 100; ++i) {
      const int32_t next = s.Next();
      EXPECT_GE(next, previous);
      EXPECT_LE(next - previous, 1233);
      previous = next;
    }
  }
}

}  // namespace
}  // namespace kestrel
