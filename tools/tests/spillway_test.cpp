// spillway as a user runs it: whole standard output and exit status.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/testing/mas_builder.h"
#include "archive/testing/program_runner.h"

namespace kestrel::testing {
namespace {

const std::string kBanner = "\nSpillway for F1-2002/NT-2003 (January 2, 2003)\n\n";
const std::string kUsage =
    "Not enough or wrong parameters\n\nUsage : Spillway <masfile.mas> <directory> </f>\n"
    "        /f : Overwrite directory if needed\n";

ProgramRun Spillway(const std::vector<std::string>& args, const std::string& input = "", const std::string& cwd = "") {
  return RunProgram(SPILLWAY, args, {input, cwd, {}});
}

TestArchive Numbered(int count) {
  TestArchive a;
  for (int i = 1; i <= count; ++i)
    a.Entries.push_back({"F" + std::to_string(i) + ".BMP", NoiseBytes(100 + i, static_cast<uint32_t>(i))});
  return a;
}

TEST(Spillway, UsageForMissingOrWrongArguments) {
  TempDir dir;
  Numbered(1).WriteTo(dir / "A.MAS");
  const std::vector<std::vector<std::string>> cases = {
      {}, {dir / "A.MAS"}, {dir / "A.MAS", ""}, {dir / "MISSING.MAS", "/L"}, {"", "/L"}, {dir.Path(), "/L"}};
  for (const auto& args : cases) {
    const ProgramRun run = Spillway(args);
    EXPECT_EQ(run.out, kBanner + kUsage) << args.size();
    EXPECT_EQ(run.status, 0);
  }
}

TEST(Spillway, ListsTheTableOfContents) {
  TempDir dir;
  TestArchive a;
  a.Entries = {{"CAR.MTS", {}, 17}, {std::string(40, 'L') + ".TGA", BytesOf("tga"), 20, true},
               {"ODD.XYZ", BytesOf("odd"), 5, true}};
  a.Entries[0].RawBytes = std::vector<uint8_t>(50, 0);  // the listing never looks inside
  a.Entries[0].UncompressedSize = 300;
  a.WriteTo(dir / "A.MAS");
  const std::string expected = kBanner +
                               "Start = 792\n"
                               "\n"
                               "CAR.MTS                               792      300       50 17\n" +
                               std::string(40, 'L') +
                               ".TGA      842        3        3 20\n"
                               "ODD.XYZ                               845        3        3 5 \n";
  for (const char* sw : {"/L", "/l"}) {
    const ProgramRun run = Spillway({dir / "A.MAS", sw});
    EXPECT_EQ(run.out, expected) << sw;
    EXPECT_EQ(run.status, 0);
  }

  TestArchive empty;
  empty.WriteTo(dir / "E.MAS");
  EXPECT_EQ(Spillway({dir / "E.MAS", "/L"}).out, kBanner);
}

TEST(Spillway, ExtractsWithMarksAndGivesBackEveryByte) {
  TempDir dir;
  const TestArchive a = Numbered(21);
  a.WriteTo(dir / "A.MAS");
  const ProgramRun run = Spillway({dir / "A.MAS", dir / "out"});
  EXPECT_EQ(run.out, kBanner + "Busy...\n\n*********#*********#*\n\nDone.\n");
  EXPECT_EQ(run.status, 0);
  for (const TestEntry& e : a.Entries) EXPECT_EQ(ReadFileBytes(dir / ("out/" + e.Name)), e.Data) << e.Name;
}

TEST(Spillway, ExistingDirectoryAsksFirst) {
  struct Case {
    std::string answer;
    bool proceeds;
  } cases[] = {{"y\n", true}, {"Y and more\n", true}, {"n\n", false}, {"\n", false}, {"", false}, {"yes?", true}};
  for (const Case& c : cases) {
    TempDir dir;
    Numbered(2).WriteTo(dir / "A.MAS");
    std::filesystem::create_directory(dir / "out");
    const ProgramRun run = Spillway({dir / "A.MAS", dir / "out"}, c.answer);
    const std::string asked = kBanner + "Busy...\n\nDirectory already exists. Do you want to continue anyway? (y/n) ";
    EXPECT_EQ(run.out, asked + (c.proceeds ? "\n**\n\nDone.\n" : "\nCancelled...\n")) << c.answer;
    EXPECT_EQ(std::filesystem::exists(dir / "out/F1.BMP"), c.proceeds) << c.answer;
    EXPECT_EQ(run.status, 0);
  }
}

TEST(Spillway, OverwriteSwitchesSkipTheQuestion) {
  TempDir dir;
  Numbered(1).WriteTo(dir / "A.MASTER.MAS");
  std::filesystem::create_directory(dir / "out");
  std::filesystem::create_directory(dir / "A");
  const std::string done = kBanner + "Busy...\n\n*\n\nDone.\n";
  EXPECT_EQ(Spillway({dir / "A.MASTER.MAS", dir / "out", "/f"}).out, done);
  EXPECT_EQ(Spillway({"A.MASTER.MAS", "/e"}, "", dir.Path()).out, done);  // into A, beside the archive
  EXPECT_TRUE(std::filesystem::exists(dir / "A/F1.BMP"));
  // A relative target directory is taken from the current directory.
  EXPECT_EQ(Spillway({"A.MASTER.MAS", "sub"}, "", dir.Path()).out, done);
  EXPECT_TRUE(std::filesystem::exists(dir / "sub/F1.BMP"));
}

TEST(Spillway, MessagesEndTheLineOfMarksAndExtractionGoesOn) {
  TempDir dir;
  TestArchive a = Numbered(12);
  std::vector<uint8_t> damaged = Deflate(NoiseBytes(500, 9));
  for (size_t i = 8; i < 20; ++i) damaged[i] ^= 0x77;
  a.Entries[4].RawBytes = damaged;
  a.Entries[4].UncompressedSize = 500;
  a.Entries[7].Name = "../ESCAPE.BMP";
  a.WriteTo(dir / "A.MAS");
  const ProgramRun run = Spillway({dir / "A.MAS", dir / "out"});
  EXPECT_EQ(run.out, kBanner + "Busy...\n\n****data error\n***Entry \"../ESCAPE.BMP\" was not extracted: its name is "
                               "not a plain file name\n**#**\n\nDone.\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(ReadFileBytes(dir / "out/F5.BMP").empty());
  EXPECT_EQ(ReadFileBytes(dir / "out/F12.BMP"), a.Entries[11].Data);
  EXPECT_FALSE(std::filesystem::exists(dir / "ESCAPE.BMP"));
}

TEST(Spillway, FileErrorsEndTheRunWithAReportAndStatusOne) {
  TempDir dir;
  TestArchive cut = Numbered(3);
  cut.TruncateTo = 24 + 256 * 2;
  cut.WriteTo(dir / "CUT.MAS");
  TestArchive wild = Numbered(3);
  wild.Entries[1].CompressedSize = 0x7FFFFFF0;
  wild.WriteTo(dir / "WILD.MAS");
  testing::WriteFileBytes(dir / "FILE", BytesOf("in the way"));

  const ProgramRun table = Spillway({dir / "CUT.MAS", "/L"});
  EXPECT_EQ(table.out, kBanner + "I/O error 100: Read beyond end of file (\"" + dir / "CUT.MAS" + "\")\n");
  EXPECT_EQ(table.status, 1);

  const ProgramRun entry = Spillway({dir / "WILD.MAS", dir / "out"});
  EXPECT_EQ(entry.out, kBanner + "Busy...\n\n*\nI/O error 100: Read beyond end of file (\"" + dir / "WILD.MAS" + "\")\n");
  EXPECT_EQ(entry.status, 1);
  EXPECT_TRUE(std::filesystem::exists(dir / "out/F1.BMP"));  // what was written stays

  const ProgramRun blocked = Spillway({dir / "WILD.MAS", dir / "FILE", "/F"});
  EXPECT_EQ(blocked.out, kBanner + "Busy...\n\nI/O error 3: Path not found (\"" + dir / "FILE" + "\")\n");
  EXPECT_EQ(blocked.status, 1);
}

}  // namespace
}  // namespace kestrel::testing
