// spillway as a user runs it: whole standard output and exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "archive/testing/mas_builder.h"
#include "archive/testing/program_runner.h"
#include "archive/testing/unprivileged.h"

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
  const std::string fullName = std::string(232, 'L') + ".TGA";  // fills its field: no terminating zero
  TestArchive a;
  a.Entries = {{"CAR.MTS", {}, 17}, {fullName, BytesOf("tga"), 20, true}, {"ODD.XYZ", BytesOf("odd"), 5, true}};
  a.Entries[0].RawBytes = std::vector<uint8_t>(50, 0);  // the listing never looks inside
  a.Entries[0].UncompressedSize = 300;
  a.WriteTo(dir / "A.MAS");
  const std::string expected = kBanner +
                               "Start = 792\n"
                               "\n"
                               "CAR.MTS                               792      300       50 17\n" +
                               fullName +
                               "      842        3        3 20\n"
                               "ODD.XYZ                               845        3        3 5 \n";
  for (const char* sw : {"/L", "/l"}) {
    const ProgramRun run = Spillway({dir / "A.MAS", sw});
    EXPECT_EQ(run.out, expected) << sw;
    EXPECT_EQ(run.status, 0);
  }
}

// Names are shown as UTF-8, in a column as wide as for ASCII names; controls as their bytes.
TEST(Spillway, ListsWindows1252NamesAsUtf8) {
  TempDir dir;
  TestArchive a;
  a.Entries = {{"CAF\xC9\x81.BMP", BytesOf("bmp"), 18, true}};
  a.WriteTo(dir / "A.MAS");
  const ProgramRun run = Spillway({dir / "A.MAS", "/L"});
  EXPECT_EQ(run.out, kBanner + "Start = 280\n\nCAFÉ\\x81.BMP" + std::string(20, ' ') + "      280        3        3 18\n");
}

TEST(Spillway, EmptyTablePrintsNothingMoreAndCreatesNothing) {
  TempDir dir;
  TestArchive().WriteTo(dir / "E.MAS");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{dir / "E.MAS", "/L"}, {dir / "E.MAS", dir / "out"}, {dir / "E.MAS", "/E"}}) {
    const ProgramRun run = Spillway(args);
    EXPECT_EQ(run.out, kBanner) << args[1];
    EXPECT_EQ(run.status, 0);
  }
  EXPECT_EQ(NamesIn(dir.Path()), std::set<std::string>{"E.MAS"});
}

// Every byte back, whatever the entry's encoding or its sizes claim; the archive may be read-only.
TEST(Spillway, ExtractsWithMarksAndGivesBackEveryByte) {
  TempDir dir;
  TestArchive a = Numbered(21);
  a.Entries[1].Data = Deflate(NoiseBytes(300, 2));  // stored, though it reads like a stream
  a.Entries[1].Stored = true;
  a.Entries[2].UncompressedSize = 0;      // inflates to its full length all the same
  a.Entries[3].UncompressedSize = 99999;  // claims more than the stream yields
  a.Entries[4].Name = "Twin.bmp";
  a.Entries[5].Name = "TWIN.BMP";  // the later twin wins
  a.Entries[6].Name = std::string(232, 'n') + ".mts";
  a.Entries[7].Data.clear();
  a.WriteTo(dir / "A.MAS");
  ::chmod((dir / "A.MAS").c_str(), 0444);

  // As an ordinary user, whom the protection stops if spillway asks to write the archive.
  OpenToEveryone(dir.Path());
  const std::vector<std::string> command = UnprivilegedCommand(SPILLWAY, {dir / "A.MAS", dir / "out"});
  const ProgramRun run = RunProgram(command[0], {command.begin() + 1, command.end()});
  EXPECT_EQ(run.out, kBanner + "Busy...\n\n*********#*********#*\n\nDone.\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(NamesIn(dir / "out").size(), 20u);
  for (size_t i = 0; i < a.Entries.size(); ++i) {
    if (i == 4) continue;
    std::string upper = a.Entries[i].Name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(ReadFileBytes(dir / ("out/" + upper)), a.Entries[i].Data) << upper;
  }
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

// A message follows the marks so far and ends their line, even when no mark precedes it.
TEST(Spillway, MessagesEndTheLineOfMarksAndExtractionGoesOn) {
  TempDir dir;
  TestArchive a = Numbered(12);
  std::vector<uint8_t> damaged = Deflate(NoiseBytes(500, 9));
  for (size_t i = 8; i < 20; ++i) damaged[i] ^= 0x77;
  a.Entries[0].RawBytes = damaged;
  const std::vector<uint8_t> whole = Deflate(a.Entries[4].Data);
  a.Entries[4].RawBytes = std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2);
  const char* unsafe[] = {"..", ".", "SUB/X.BMP", "UP\\X.BMP", ""};
  for (size_t i = 0; i < std::size(unsafe); ++i) a.Entries[5 + i].Name = unsafe[i];
  a.WriteTo(dir / "A.MAS");

  const ProgramRun run = Spillway({dir / "A.MAS", dir / "out"});
  std::string marks = "data error\n****buffer error\n";
  for (const char* name : unsafe)
    marks += std::string("*Entry \"") + name + "\" was not extracted: its name is not a plain file name\n";
  EXPECT_EQ(run.out, kBanner + "Busy...\n\n" + marks + "#**\n\nDone.\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(ReadFileBytes(dir / "out/F1.BMP").empty());
  EXPECT_TRUE(ReadFileBytes(dir / "out/F5.BMP").empty());
  EXPECT_EQ(ReadFileBytes(dir / "out/F12.BMP"), a.Entries[11].Data);
  EXPECT_EQ(NamesIn(dir / "out"), (std::set<std::string>{"F1.BMP", "F2.BMP", "F3.BMP", "F4.BMP", "F5.BMP",
                                                          "F11.BMP", "F12.BMP"}));
  EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"A.MAS", "out"}));
}

// An entry named like the archive, extracted beside it, would truncate the archive before it is read.
TEST(Spillway, NeverWritesOverTheArchiveItReads) {
  TempDir dir;
  TestArchive a = Numbered(2);
  a.Entries[0].Name = "track.mas";
  a.WriteTo(dir / "TRACK.MAS");
  const std::vector<uint8_t> before = ReadFileBytes(dir / "TRACK.MAS");
  const ProgramRun run = Spillway({"TRACK.MAS", ".", "/F"}, "", dir.Path());
  EXPECT_EQ(run.out, kBanner + "Busy...\n\nEntry \"track.mas\" was not extracted: it would overwrite the archive "
                               "itself\n**\n\nDone.\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFileBytes(dir / "TRACK.MAS"), before);
  EXPECT_EQ(ReadFileBytes(dir / "F2.BMP"), a.Entries[1].Data);
}

TEST(Spillway, FileErrorsEndTheRunWithAReportAndStatusOne) {
  TempDir dir;
  TestArchive cut = Numbered(3);
  cut.TruncateTo = 24 + 256 * 2;
  cut.WriteTo(dir / "CUT.MAS");
  TestArchive huge = Numbered(1);
  huge.FileCount = 0xFFFFFFFFu;  // never reserved: the file cannot hold such a table
  huge.WriteTo(dir / "HUGE.MAS");
  TestArchive wild = Numbered(3);
  wild.Entries[1].CompressedSize = 0x7FFFFFF0;
  wild.WriteTo(dir / "WILD.MAS");
  TestArchive far = Numbered(3);
  far.Entries[1].Offset = 0x40000000;
  far.WriteTo(dir / "FAR.MAS");
  TestArchive late = Numbered(14);  // fails with earlier entries still being flushed
  late.Entries[11].Offset = 0x40000000;
  late.WriteTo(dir / "LATE.MAS");
  WriteFileBytes(dir / "FILE", BytesOf("in the way"));

  const auto beyond = [&](const std::string& name) {
    return "I/O error 100: Read beyond end of file (\"" + dir / name + "\")\n";
  };
  struct Case {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{dir / "CUT.MAS", "/L"}, beyond("CUT.MAS")},
      {{dir / "HUGE.MAS", dir / "out"}, beyond("HUGE.MAS")},
      {{dir / "WILD.MAS", dir / "out"}, "Busy...\n\n*\n" + beyond("WILD.MAS")},
      {{dir / "FAR.MAS", dir / "out", "/F"}, "Busy...\n\n*\n" + beyond("FAR.MAS")},
      {{dir / "LATE.MAS", dir / "late"}, "Busy...\n\n*********#*\n" + beyond("LATE.MAS")},
      {{dir / "WILD.MAS", dir / "FILE", "/F"}, "Busy...\n\nI/O error 3: Path not found (\"" + dir / "FILE" + "\")\n"},
  };
  for (const Case& c : cases) {
    const ProgramRun run = Spillway(c.args);
    EXPECT_EQ(run.out, kBanner + c.out) << c.args[0];
    EXPECT_EQ(run.status, 1);
  }
  EXPECT_TRUE(std::filesystem::exists(dir / "out/F1.BMP"));  // what was written before stays
  EXPECT_EQ(NamesIn(dir / "late").size(), 11u);
}

}  // namespace
}  // namespace kestrel::testing
