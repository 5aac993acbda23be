#include "archive/archive_packer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <optional>

#include "archive/archive_reader.h"
#include "archive/file_error.h"
#include "archive/file_io.h"
#include "archive/file_replacement.h"
#include "archive/pack_pipeline.h"
#include "archive/testing/failing_rename.h"
#include "archive/testing/file_size_limit.h"
#include "archive/testing/hook_record.h"
#include "archive/testing/mas_builder.h"
#include "archive/testing/unprivileged.h"
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
  EXPECT_EQ(stored, testing::Deflate(first));
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

// A stream exactly as long as its file would read back as stored bytes: the file is stored instead.
TEST(PackDirectory, FileAsLongAsItsStreamIsStoredAsIs) {
  TempDir dir;
  CreateDirectoryOneLevel(dir / "src");
  const std::vector<uint8_t> content = testing::AsLongAsItsStream();
  WriteFileBytes(dir / "src/EVEN.BMP", content);
  for (unsigned jobs : {1u, 2u}) {
    SCOPED_TRACE(jobs);
    testing::HookRecord hooks;
    UnknownSequence unknowns(1);
    PackDirectory(dir / "src", dir / "E.MAS", unknowns, hooks.Hooks(), PackOptions{.Jobs = jobs});
    const LoadedArchive a = ReadArchiveTable(dir / "E.MAS");
    ASSERT_EQ(a.Table.size(), 1u);
    EXPECT_EQ(a.Table[0].CompressedSize, static_cast<int32_t>(content.size()));
    EXPECT_EQ(a.Table[0].UncompressedSize, static_cast<int32_t>(content.size()));
    EXPECT_EQ(ReadStoredBytes(a, 0), content);
  }
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

TEST(PackDirectory, ReplacesALongerArchiveEntirelyKeepingItsMode) {
  TempDir dir;
  CreateDirectoryOneLevel(dir / "src");
  WriteFileBytes(dir / "src/ONE.BMP", BytesOf("one"));
  WriteFileBytes(dir / "OLD.MAS", NoiseBytes(100000, 3));
  chmod((dir / "OLD.MAS").c_str(), 0640);
  PackRun run;
  run.Pack(dir / "src", dir / "OLD.MAS");
  EXPECT_TRUE(run.result.ArchiveWritten);
  const LoadedArchive a = ReadArchiveTable(dir / "OLD.MAS");
  EXPECT_EQ(a.FileLength, a.DataStart + a.Table[0].CompressedSize);
  EXPECT_EQ(a.Header.DataAreaSize, static_cast<uint32_t>(a.Table[0].CompressedSize));
  struct stat st;
  ASSERT_EQ(stat((dir / "OLD.MAS").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(testing::NamesIn(dir.Path()), (std::set<std::string>{"OLD.MAS", "src"}));
}

TEST(PackDirectory, ArchiveThatCannotBeCreatedReportsThenFailsTheDataPass) {
  TempDir dir;
  CreateDirectoryOneLevel(dir / "src");
  WriteFileBytes(dir / "src/ONE.BMP", BytesOf("one"));
  PackRun run;
  EXPECT_THROW(run.Pack(dir / "src", dir / "no/such/dir/X.MAS"), EInOutError);
  EXPECT_EQ(run.messages, (std::vector<std::string>{"File not found"}));
}

// Mixed sizes around the pieces the workers take: empty, small, large, repetitive and noisy.
void FillMixed(const std::string& src, int count) {
  CreateDirectoryOneLevel(src);
  const char* extensions[] = {".bmp", ".MTS", ".tga", ".anm"};
  for (int i = 0; i < count; ++i) {
    const size_t size = i % 7 == 0 ? 0 : static_cast<size_t>(i) * (i % 2 ? 9973 : 37);
    std::vector<uint8_t> bytes = i % 3 ? NoiseBytes(size, static_cast<uint32_t>(i)) : std::vector<uint8_t>(size, 'k');
    WriteFileBytes(src + "/F" + std::to_string(i) + extensions[i % 4], bytes);
  }
}

TEST(PackDirectory, SameArchiveWhateverTheNumberOfJobs) {
  TempDir dir;
  FillMixed(dir / "src", 40);
  std::vector<uint8_t> sequential;
  for (unsigned jobs : {1u, 2u, 8u}) {
    SCOPED_TRACE(jobs);
    testing::HookRecord hooks;
    UnknownSequence unknowns(77);
    const std::string archive = dir / ("J" + std::to_string(jobs) + ".MAS");
    const PackResult result = PackDirectory(dir / "src", archive, unknowns, hooks.Hooks(), PackOptions{.Jobs = jobs});
    EXPECT_TRUE(result.ArchiveWritten);
    EXPECT_EQ(result.EntriesPacked, 40u);
    EXPECT_EQ(hooks.steps, 40);
    EXPECT_TRUE(hooks.messages.empty());
    if (jobs == 1)
      sequential = ReadFileBytes(archive);
    else
      EXPECT_EQ(ReadFileBytes(archive), sequential);
  }
}

// Where packing stops, the run reports the same message after the same entries as the sequential
// packer, however far the workers have read ahead; the archive at the path is not replaced.
TEST(PackDirectory, FailuresStopAtTheSameEntryWhateverTheNumberOfJobs) {
  struct Case {
    const char* what;
    // F3.BMP, the fourth entry: "sparse" 2 GiB long, "unreadable" to all, a path it links to, or
    // empty for none
    std::string failing;
    std::string message;  // reported after the third entry; empty: a file error ends the run
    rlim_t sizeLimit;     // a full disk at the fourth entry's data when not 0
  };
  const std::vector<Case> cases = {
      {"file of 2 GiB", "sparse", EntryTooLargeMessage("F3.BMP"), 0},
      // Claims a page, holds a few bytes: the read comes up short.
      {"read fails", "/sys/kernel/uevent_seqnum", "Read beyond end of file", 0},
      // Cannot be opened for reading: a file nobody may read, packed as an ordinary user.
      {"cannot be opened", "unreadable", "", 0},
      {"full disk", "", "Disk full", static_cast<rlim_t>(DataStartFor(8) + 3 * 10'011 + 4'000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.failing[0] == '/' && !std::filesystem::exists(c.failing)) {
      std::printf("skipped \"%s\": %s is not there\n", c.what, c.failing.c_str());
      continue;
    }
    for (unsigned jobs : {1u, 2u, 8u}) {
      SCOPED_TRACE(jobs);
      TempDir dir;
      CreateDirectoryOneLevel(dir / "src");
      // Noise does not compress: each stream is its file's 10,000 bytes and 11 more.
      for (int i = 0; i < 8; ++i)
        WriteFileBytes(dir / ("src/F" + std::to_string(i) + ".BMP"), NoiseBytes(10'000, static_cast<uint32_t>(i)));
      const bool unprivileged = c.failing == "unreadable";
      if (c.failing == "sparse") {
        std::filesystem::resize_file(dir / "src/F3.BMP", uintmax_t{1} << 31);
      } else if (unprivileged) {
        ::chmod((dir / "src/F3.BMP").c_str(), 0);
      } else if (!c.failing.empty()) {
        std::filesystem::remove(dir / "src/F3.BMP");
        std::filesystem::create_symlink(c.failing, dir / "src/F3.BMP");
      }
      WriteFileBytes(dir / "OLD.MAS", BytesOf("old archive"));
      if (unprivileged) {  // everything but F3.BMP open to the user who packs
        testing::OpenToEveryone(dir.Path());
        ::chmod((dir / "OLD.MAS").c_str(), 0666);
      }

      testing::HookRecord hooks;
      UnknownSequence unknowns(5);
      PackResult result;
      bool fileError = false;
      {
        std::optional<testing::FileSizeLimit> limit;
        if (c.sizeLimit) limit.emplace(c.sizeLimit);
        std::optional<testing::UnprivilegedScope> user;
        if (unprivileged) user.emplace();
        try {
          result = PackDirectory(dir / "src", dir / "OLD.MAS", unknowns, hooks.Hooks(), PackOptions{.Jobs = jobs});
        } catch (const EInOutError& e) {
          fileError = true;
          EXPECT_EQ(e.Kind(), FileErrorKind::AccessDenied);
        }
      }
      EXPECT_EQ(hooks.steps, 3);
      if (c.message.empty()) {
        EXPECT_TRUE(fileError);
        EXPECT_TRUE(hooks.messages.empty());
      } else {
        EXPECT_FALSE(fileError);
        EXPECT_EQ(hooks.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(result.EntriesPacked, 3u);
        EXPECT_FALSE(result.ArchiveWritten);
      }
      EXPECT_EQ(ReadFileBytes(dir / "OLD.MAS"), BytesOf("old archive"));
      EXPECT_EQ(testing::NamesIn(dir.Path()), (std::set<std::string>{"OLD.MAS", "src"}));
    }
  }
}

TEST(PackDirectory, ArchiveThatCannotTakeItsPlaceIsAFileErrorNamingIt) {
  TempDir dir;
  CreateDirectoryOneLevel(dir / "src");
  WriteFileBytes(dir / "src/ONE.BMP", BytesOf("one"));
  WriteFileBytes(dir / "OLD.MAS", BytesOf("old archive"));
  PackRun run;
  try {
    testing::FailingRename failing(EACCES);
    run.Pack(dir / "src", dir / "OLD.MAS");
    ADD_FAILURE() << "a failed rename went unnoticed";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Kind(), FileErrorKind::AccessDenied);
    EXPECT_EQ(e.Path(), dir / "OLD.MAS");
  }
  EXPECT_EQ(ReadFileBytes(dir / "OLD.MAS"), BytesOf("old archive"));
  EXPECT_EQ(testing::NamesIn(dir.Path()), (std::set<std::string>{"OLD.MAS", "src"}));
}

// Bytes this process has read so far, all threads together.
long long BytesReadByThisProcess() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return -1;
}

// How much the workers have read ahead once they have read at least `expected` bytes (however
// slowly the machine lets them) and then had a while longer to read more than they may.
long long BytesReadAheadOnceFull(long long before, long long expected) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (BytesReadByThisProcess() - before < expected && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  return BytesReadByThisProcess() - before;
}

// However large the directory, the workers hold only a few files beyond the one being written.
TEST(PreparedFileSource, ReadsAtMostTwoFilesPerWorkerAhead) {
  if (BytesReadByThisProcess() < 0) GTEST_SKIP() << "no /proc/self/io";
  TempDir dir;
  constexpr long long kFileSize = 200'000;
  constexpr long long kSlack = 65'536;  // reading /proc/self/io counts too
  std::vector<std::string> paths, names;
  for (int i = 0; i < 30; ++i) {
    names.push_back("F" + std::to_string(i) + ".BMP");
    paths.push_back(dir / names.back());
    WriteFileBytes(paths.back(), std::vector<uint8_t>(kFileSize, static_cast<uint8_t>(i)));
  }
  const long long before = BytesReadByThisProcess();
  PreparedFileSource source(paths, names, 3);
  ASSERT_EQ(source.Workers(), 3u);
  const long long first = BytesReadAheadOnceFull(before, 6 * kFileSize);
  EXPECT_GE(first, 6 * kFileSize) << "the workers did not fill their window";
  EXPECT_LE(first, 6 * kFileSize + kSlack);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(source.Take(i).Size, kFileSize);
  const long long second = BytesReadAheadOnceFull(before, 10 * kFileSize);
  EXPECT_GE(second, 10 * kFileSize);
  EXPECT_LE(second, 10 * kFileSize + kSlack);
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
