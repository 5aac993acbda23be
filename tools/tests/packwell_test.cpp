// packwell as a user runs it: whole standard output, exit status, and the archive it leaves.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive_reader.h"
#include "archive/testing/mas_builder.h"
#include "archive/testing/program_runner.h"

namespace kestrel::testing {
namespace {

const std::string kBanner = "\nPackwell for F1-2002/NT-2003 (January 2, 2003)\n\n";

ProgramRun Packwell(const std::vector<std::string>& args, const std::string& cwd = "") {
  return RunProgram(PACKWELL, args, {"", cwd, {}});
}

void Fill(const std::string& dir, int count) {
  std::filesystem::create_directory(dir);
  for (int i = 0; i < count; ++i)
    WriteFileBytes(dir + "/file" + std::to_string(100 + i) + (i % 3 ? ".bmp" : ".MTS"),
                   NoiseBytes(static_cast<size_t>(i) * 97, static_cast<uint32_t>(i)));
}

TEST(Packwell, UsageForMissingArguments) {
  const std::string usage = "Not enough or wrong parameters\n\nUsage : Packwell <directory> <masfile.mas>\n";
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"dir"}, {"dir", ""}, {"", "x.mas"}}) {
    const ProgramRun run = Packwell(args);
    EXPECT_EQ(run.out, kBanner + usage);
    EXPECT_EQ(run.status, 0);
  }
}

TEST(Packwell, PacksWithMarksAndSpillwayGivesEveryByteBack) {
  TempDir dir;
  Fill(dir / "src", 23);
  const ProgramRun run = Packwell({dir / "src", dir / "OUT.MAS"});
  EXPECT_EQ(run.out, kBanner + "Busy...\n\n*********#*********#***\n\nDone.\n");
  EXPECT_EQ(run.status, 0);

  const ProgramRun back = RunProgram(SPILLWAY, {dir / "OUT.MAS", dir / "back"});
  ASSERT_EQ(back.status, 0) << back.out;
  for (const auto& f : std::filesystem::directory_iterator(dir / "src")) {
    std::string upper = f.path().filename().string();
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(ReadFileBytes(dir / ("back/" + upper)), ReadFileBytes(f.path().string())) << upper;
  }
}

TEST(Packwell, ArchivePathsAreTakenFromTheStartingDirectory) {
  TempDir dir;
  Fill(dir / "track", 2);
  const std::string done = kBanner + "Busy...\n\n**\n\nDone.\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"track", "/E"}, {"track/", "/e"}, {dir / "track/", "/E"}}) {
    std::filesystem::remove(dir / "track.MAS");
    EXPECT_EQ(Packwell(args, dir.Path()).out, done) << args[0];
    EXPECT_TRUE(std::filesystem::exists(dir / "track.MAS")) << args[0];
  }
  EXPECT_EQ(Packwell({"track", "REL.MAS"}, dir.Path()).out, done);
  EXPECT_TRUE(std::filesystem::exists(dir / "REL.MAS"));  // not inside the packed directory
}

TEST(Packwell, NothingToPackAndMissingDirectory) {
  TempDir dir;
  std::filesystem::create_directory(dir / "empty");
  WriteFileBytes(dir / "empty/readme.txt", BytesOf("not packed"));
  WriteFileBytes(dir / "KEEP.MAS", BytesOf("old"));

  const ProgramRun nothing = Packwell({dir / "empty", dir / "KEEP.MAS"});
  EXPECT_EQ(nothing.out, kBanner + "Busy...\n\n");
  EXPECT_EQ(nothing.status, 0);

  const ProgramRun missing = Packwell({dir / "nowhere", dir / "KEEP.MAS"});
  EXPECT_EQ(missing.out, kBanner + "Busy...\n\n\nDirectory does not exist.\n");
  EXPECT_EQ(missing.status, 0);
  EXPECT_EQ(ReadFileBytes(dir / "KEEP.MAS"), BytesOf("old"));
}

TEST(Packwell, ArchiveThatCannotBeCreatedEndsWithAFileError) {
  TempDir dir;
  Fill(dir / "src", 1);
  const std::string target = dir / "no/such/OUT.MAS";
  const ProgramRun run = Packwell({dir / "src", target});
  EXPECT_EQ(run.out, kBanner + "Busy...\n\nFile not found\nI/O error 2: File not found (\"" + target + "\")\n");
  EXPECT_EQ(run.status, 1);
}

TEST(Packwell, TwoRunsDifferOnlyInTheUnknownValues) {
  TempDir dir;
  Fill(dir / "src", 4);
  Packwell({dir / "src", dir / "ONE.MAS"});
  Packwell({dir / "src", dir / "TWO.MAS"});
  const LoadedArchive one = ReadArchiveTable(dir / "ONE.MAS");
  const LoadedArchive two = ReadArchiveTable(dir / "TWO.MAS");
  std::vector<uint8_t> a = ReadFileBytes(dir / "ONE.MAS"), b = ReadFileBytes(dir / "TWO.MAS");
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < one.Table.size(); ++i) {
    const size_t unknownAt = 24 + 256 * i + 16;
    std::fill(a.begin() + unknownAt, a.begin() + unknownAt + 4, 0);
    std::fill(b.begin() + unknownAt, b.begin() + unknownAt + 4, 0);
    EXPECT_GE(two.Table[i].Unknown, 4'000'000);
  }
  EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace kestrel::testing
