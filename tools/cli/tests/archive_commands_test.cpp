// kestrel-cli's archive commands, run as a modder's script runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "archive/archive_editing.h"
#include "archive/archive_reader.h"
#include "archive/testing/edited_entries.h"
#include "archive/testing/mas_builder.h"
#include "archive/testing/unprivileged.h"
#include "cli_runner.h"

namespace kestrel {
namespace {

using testing::BytesOf;
using testing::Encoded;
using testing::Entry;
using testing::NoiseBytes;
using testing::ReadFileBytes;
using testing::RunCli;
using testing::TempDir;
using testing::TestArchive;
using testing::TestEntry;
using testing::WriteFileBytes;

TestArchive Track() {
  TestArchive a;
  a.Entries = {Entry("CAR.BMP", NoiseBytes(900, 1), 18, 4000001),
               Entry("CAR.MTS", BytesOf(std::string(3000, 'm')), 17, 4000002), Entry("SKY.TGA", NoiseBytes(400, 3), 20, 4000003, true)};
  return a;
}

TEST(ArchiveCommands, ExtractWritesDecodedBytesUnderTheEntryNameOrOut) {
  TempDir dir;
  Track().WriteTo(dir / "TRACK.MAS");
  struct Case {
    std::vector<std::string> args;
    const char* output;
    size_t entry;
  } cases[] = {
      {{"extract", "TRACK.MAS", "car.mts"}, "CAR.MTS", 1},
      {{"extract", "TRACK.MAS", "#2"}, "SKY.TGA", 2},
      {{"extract", "TRACK.MAS", "Car.Bmp", "out/picture.bmp"}, "out/picture.bmp", 0},
  };
  std::filesystem::create_directory(dir / "out");
  for (const Case& c : cases) {
    const auto run = RunCli(dir, c.args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_EQ(ReadFileBytes(dir / c.output), Track().Entries[c.entry].Data) << c.output;
  }
  EXPECT_EQ(ReadFileBytes(dir / "TRACK.MAS"), Track().Build());
}

TEST(ArchiveCommands, ReplaceAddAndRemoveWriteTheExpectedArchive) {
  TempDir dir;
  Track().WriteTo(dir / "TRACK.MAS");
  const std::vector<uint8_t> body = BytesOf(std::string(5000, 'n'));
  const std::vector<uint8_t> readme = BytesOf("read me\n");
  WriteFileBytes(dir / "new.mts", body);
  std::filesystem::create_directory(dir / "in");
  WriteFileBytes(dir / "in/readme.txt", readme);
  WriteFileBytes(dir / "in/Wheel.bmp", NoiseBytes(300, 9));

  auto run = RunCli(dir, {"replace", "TRACK.MAS", "car.MTS", "new.mts"});
  EXPECT_EQ(run.status, 0) << run.err;
  TestArchive expected = Track();
  expected.Entries[1] = Encoded("CAR.MTS", body, 17, 4000002);
  EXPECT_EQ(ReadFileBytes(dir / "TRACK.MAS"), expected.Build());

  run = RunCli(dir, {"add", "TRACK.MAS", "in/readme.txt", "in/Wheel.bmp"});
  EXPECT_EQ(run.status, 0) << run.err;
  expected.Entries.push_back(Encoded("README.TXT", readme, 31, 0));
  expected.Entries.push_back(Encoded("WHEEL.BMP", NoiseBytes(300, 9), 18, 0));
  EXPECT_EQ(ReadFileBytes(dir / "TRACK.MAS"), expected.Build());

  // Both name the archive as it was before the command: #0 is CAR.BMP, not what moves up after it.
  run = RunCli(dir, {"remove", "TRACK.MAS", "#0", "readme.txt", "#0"});
  EXPECT_EQ(run.status, 0) << run.err;
  expected.Entries.erase(expected.Entries.begin() + 3);
  expected.Entries.erase(expected.Entries.begin());
  EXPECT_EQ(ReadFileBytes(dir / "TRACK.MAS"), expected.Build());

  run = RunCli(dir, {"test", "TRACK.MAS"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "3 entries OK\n");

  run = RunCli(dir, {"--help"});
  for (const char* usage : {"extract ARCHIVE ENTRY [OUT]", "replace ARCHIVE ENTRY FILE", "add ARCHIVE FILE...",
                            "remove ARCHIVE ENTRY...", "test ARCHIVE"})
    EXPECT_NE(run.out.find(usage), std::string::npos) << usage;
}

// Entry names are Windows-1252, file names UTF-8: add stores one as the other, extract and the
// entry arguments read them back, and a name Windows-1252 cannot hold is refused naming the file.
TEST(ArchiveCommands, NamesCrossAsWindows1252) {
  TempDir dir;
  Track().WriteTo(dir / "TRACK.MAS");
  std::filesystem::create_directory(dir / "in");
  WriteFileBytes(dir / "in/café.tga", NoiseBytes(50, 5));
  WriteFileBytes(dir / "in/photo.jpeg", NoiseBytes(60, 6));
  WriteFileBytes(dir / "in/Жук.tga", NoiseBytes(70, 7));
  auto run = RunCli(dir, {"add", "TRACK.MAS", "in/café.tga", "in/photo.jpeg"});
  ASSERT_EQ(run.status, 0) << run.err;
  const LoadedArchive added = ReadArchiveTable(dir / "TRACK.MAS");
  ASSERT_EQ(added.Table.size(), 5u);
  EXPECT_EQ(added.Table[3].Name(), "CAF\xE9.TGA");
  EXPECT_EQ(added.Table[4].FileType, 22);  // JPG, so that it previews as one

  const std::vector<uint8_t> before = ReadFileBytes(dir / "TRACK.MAS");
  testing::ExpectRefusal(dir, {{"add", "TRACK.MAS", "in/Жук.tga"}, 1, "\"Жук.tga\" cannot be stored"});
  EXPECT_EQ(ReadFileBytes(dir / "TRACK.MAS"), before);

  run = RunCli(dir, {"extract", "TRACK.MAS", "#3"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(dir / "CAFé.TGA"), NoiseBytes(50, 5));
  run = RunCli(dir, {"extract", "TRACK.MAS", "café.tga", "named.tga"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(dir / "named.tga"), NoiseBytes(50, 5));
}

TEST(ArchiveCommands, RefusalsSayWhyExitNonZeroAndLeaveTheArchive) {
  TempDir dir;
  TestArchive twins = Track();
  twins.Entries.push_back(Entry("car.bmp", NoiseBytes(10, 4), 18, 4000004));
  twins.WriteTo(dir / "TRACK.MAS");
  WriteFileBytes(dir / "x.bin", BytesOf("x"));
  TestArchive odd;
  odd.Entries = {Entry("../UP.BMP", BytesOf("up"), 18, 1)};
  odd.WriteTo(dir / "ODD.MAS");
  const testing::CliRefusal cases[] = {
      {{"extract", "TRACK.MAS", "CAR.BMP"}, 1, "2 entries are named CAR.BMP (#0, #3); name one by its position"},
      {{"replace", "TRACK.MAS", "car.bmp", "x.bin"}, 1, "2 entries are named car.bmp (#0, #3)"},
      {{"remove", "TRACK.MAS", "sky.tga", "NONE.BMP"}, 1, "no entry named NONE.BMP in "},
      {{"remove", "TRACK.MAS", "#4"}, 1, "no entry #4 in "},
      {{"replace", "TRACK.MAS", "#1", "missing.bin"}, 1, "File not found (\""},
      {{"add", "MISSING.MAS", "x.bin"}, 1, "File not found (\""},
      {{"extract", "TRACK.MAS", "#1", "TRACK.MAS"}, 1, "is the file being read"},
      {{"extract", "ODD.MAS", "#0"}, 1, "entry \"../UP.BMP\" has no plain file name; give the output file as OUT"},
      {{"replace", "TRACK.MAS", "#1"}, 2, "usage: kestrel-cli replace ARCHIVE ENTRY FILE"},
      {{"add", "TRACK.MAS"}, 2, "usage: kestrel-cli add ARCHIVE FILE..."},
      {{"remove", "TRACK.MAS"}, 2, "usage: kestrel-cli remove ARCHIVE ENTRY..."},
      {{"test"}, 2, "usage: kestrel-cli test ARCHIVE"},
      {{"extract", "TRACK.MAS"}, 2, "usage: kestrel-cli extract ARCHIVE ENTRY [OUT]"},
  };
  for (const testing::CliRefusal& c : cases) {
    testing::ExpectRefusal(dir, c);
    EXPECT_EQ(ReadFileBytes(dir / "TRACK.MAS"), twins.Build()) << testing::CommandLine(c.args);
  }
  EXPECT_EQ(testing::NamesIn(dir.Path()), (std::set<std::string>{"TRACK.MAS", "ODD.MAS", "x.bin"}));
}

TEST(ArchiveCommands, ReadOnlyArchiveIsRefusedAsAccessDenied) {
  TempDir dir;
  testing::OpenToEveryone(dir.Path());  // the folder stays writable: only the archive is protected
  Track().WriteTo(dir / "TRACK.MAS");
  WriteFileBytes(dir / "x.bin", BytesOf("x"));
  ::chmod((dir / "TRACK.MAS").c_str(), 0444);
  // The build tree may lie where the ordinary user cannot go (a checkout under /root), and so may a
  // sanitizer's suppression file: the program runs from a copy, without that setting.
  const std::string program = dir / "kestrel-cli";
  std::filesystem::copy_file(KESTREL_CLI, program);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"replace", "TRACK.MAS", "#0", "x.bin"}, {"add", "TRACK.MAS", "x.bin"}, {"remove", "TRACK.MAS", "#0"}}) {
    const std::vector<std::string> command = testing::UnprivilegedCommand(program, args);
    const auto run =
        testing::RunProgram(command[0], {command.begin() + 1, command.end()}, {"", dir.Path(), {"LSAN_OPTIONS"}});
    EXPECT_EQ(run.status, 1) << args[0] << ": " << run.err;
    EXPECT_NE(run.err.find("I/O error 5: File access denied"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileBytes(dir / "TRACK.MAS"), Track().Build());
  }
  EXPECT_EQ(testing::NamesIn(dir.Path()), (std::set<std::string>{"TRACK.MAS", "x.bin", "kestrel-cli"}));
}

TEST(ArchiveCommands, TestNamesEveryProblemOfADamagedArchive) {
  TempDir dir;
  TestArchive damaged = Track();
  damaged.Magic = "CUBEMAS4.01";
  damaged.Entries[0].Offset = 4;                                      // not at the start of the data area
  damaged.Entries[1].RawBytes = std::vector<uint8_t>(50, 0x55);       // no zlib stream
  damaged.Entries[1].CompressedSize = 50;
  damaged.Entries.push_back(Entry("LONG.ANM", BytesOf(std::string(100, 'l')), 31, 5));
  damaged.Entries[3].UncompressedSize = 99;                           // decodes to 100
  std::vector<uint8_t> bytes = damaged.Build();
  bytes[20] ^= 1;                                                     // DataAreaSize
  WriteFileBytes(dir / "DAMAGED.MAS", bytes);

  auto run = RunCli(dir, {"test", "DAMAGED.MAS"});
  EXPECT_EQ(run.status, 1);
  const size_t dataLength = bytes.size() - 24 - 4 * 256;
  const std::string first = std::to_string(testing::Deflate(NoiseBytes(900, 1)).size());
  const std::string moved = std::to_string(testing::Deflate(NoiseBytes(900, 1)).size() + 4);
  EXPECT_EQ(run.out,
            "header: the magic is \"CUBEMAS4.01\", not \"CUBEMAS4.10\"\n"
            "header: DataAreaSize is " + std::to_string(dataLength ^ 1) + ", not " + std::to_string(dataLength) +
                " (the file's length minus the data start)\n"
                "entry #0 \"CAR.BMP\": starts at 4, not at 0 (the start of the data area)\n"
                "entry #0 \"CAR.BMP\": its stream does not decode (data error)\n"
                "entry #1 \"CAR.MTS\": starts at " + first + ", not at " + moved +
                " where the entry before it ends\n"
                "entry #1 \"CAR.MTS\": its stream does not decode (data error)\n"
                "entry #3 \"LONG.ANM\": decodes to 100 bytes, not its UncompressedSize of 99\n");
  EXPECT_EQ(run.err, "kestrel-cli: 7 problems in DAMAGED.MAS\n");

  run = RunCli(dir, {"extract", "DAMAGED.MAS", "car.mts"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kestrel-cli: entry \"CAR.MTS\" does not decode (data error); nothing was written\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "CAR.MTS"));

  TestArchive cut = Track();
  cut.TruncateTo = 24 + 3 * 256 + 100;
  cut.WriteTo(dir / "CUT.MAS");
  run = RunCli(dir, {"test", "CUT.MAS"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("entry #1 \"CAR.MTS\": its data ends at byte"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("entry #2 \"SKY.TGA\": its data ends at byte"), std::string::npos) << run.out;

  cut.TruncateTo = 24 + 256;
  cut.WriteTo(dir / "CUT.MAS");
  run = RunCli(dir, {"test", "CUT.MAS"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "header: the table of 3 entries ends at byte 792, past the end of the file (280 bytes)\n");
}

}  // namespace
}  // namespace kestrel
