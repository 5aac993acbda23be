// packwell as a user runs it: whole standard output, exit status, and the archive it leaves.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive_reader.h"
#include "archive/testing/file_size_limit.h"
#include "archive/testing/mas_builder.h"
#include "archive/testing/program_runner.h"

namespace kestrel::testing {
namespace {

const std::string kBanner = "\nPackwell for F1-2002/NT-2003 (January 2, 2003)\n\n";

ProgramRun Packwell(const std::vector<std::string>& args, const std::string& cwd = "", const std::string& jobs = "") {
  return RunProgram(PACKWELL, args, {"", cwd, jobs.empty() ? std::vector<std::string>{} : std::vector{"KESTREL_JOBS=" + jobs}});
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

// The archive itself: groups in pattern order, names sorted ignoring case and upper-cased, level-9
// streams back to back, DataAreaSize, rising Unknown sums; an older, longer archive leaves nothing behind.
TEST(Packwell, WritesTheArchiveLayout) {
  TempDir dir;
  const std::string src = dir / "src";
  std::filesystem::create_directory(src);
  std::filesystem::create_directory(src + "/folder.bmp");  // a directory is never packed
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
      {"walk.anm", NoiseBytes(70, 1)}, {"b.tga", BytesOf(std::string(5000, 'b'))}, {"Car.MTS", NoiseBytes(900, 2)},
      {"c.Bmp", {}},                   {"A.BMP", NoiseBytes(40, 3)},               {"readme.txt", BytesOf("no")},
      {"b.bmp", NoiseBytes(3000, 4)}};
  for (const auto& [name, bytes] : files) WriteFileBytes(src + "/" + name, bytes);
  WriteFileBytes(dir / "OUT.MAS", NoiseBytes(100000, 5));

  ASSERT_EQ(Packwell({src, dir / "OUT.MAS"}).out, kBanner + "Busy...\n\n******\n\nDone.\n");
  const struct {
    const char* name;
    int32_t type;
    size_t file;
  } expected[] = {{"A.BMP", 18, 4}, {"B.BMP", 18, 6}, {"C.BMP", 18, 3},
                  {"CAR.MTS", 17, 2}, {"B.TGA", 20, 1}, {"WALK.ANM", 31, 0}};
  const std::vector<uint8_t> bytes = ReadFileBytes(dir / "OUT.MAS");
  const LoadedArchive archive = ReadArchiveTable(dir / "OUT.MAS");
  ASSERT_EQ(archive.Table.size(), std::size(expected));
  EXPECT_EQ(archive.DataStart, 24 + 256 * 6);
  std::string magic(bytes.begin(), bytes.begin() + 16);
  EXPECT_EQ(magic, std::string("CUBEMAS4.10\0\0\0\0\0", 16));

  int32_t offset = 0, unknown = 4'000'000;
  for (size_t i = 0; i < archive.Table.size(); ++i) {
    const TMAS_FileEntry& e = archive.Table[i];
    const std::vector<uint8_t>& data = files[expected[i].file].second;
    const std::vector<uint8_t> stream = Deflate(data);
    EXPECT_EQ(e.Name(), expected[i].name);
    EXPECT_EQ(e.FileType, expected[i].type) << e.Name();
    EXPECT_EQ(e.Offset, offset) << e.Name();
    EXPECT_EQ(e.UncompressedSize, static_cast<int32_t>(data.size())) << e.Name();
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + archive.DataStart + e.Offset,
                                   bytes.begin() + archive.DataStart + e.Offset + e.CompressedSize),
              stream)
        << e.Name();
    EXPECT_GE(e.Unknown, unknown) << e.Name();
    unknown = e.Unknown;
    offset += e.CompressedSize;
  }
  EXPECT_LE(unknown, 4'099'999 + 1'233 * 6);
  EXPECT_EQ(archive.Table[2].CompressedSize, 8);  // the empty file
  EXPECT_EQ(archive.Header.DataAreaSize, static_cast<uint32_t>(offset));
  EXPECT_EQ(bytes.size(), static_cast<size_t>(archive.DataStart + offset));
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

// Workers compress ahead, but the marks, the messages and the archive come out as one thread makes them.
TEST(Packwell, SameTranscriptAndArchiveWhateverTheNumberOfJobs) {
  TempDir dir;
  Fill(dir / "src", 23);
  const std::string done = kBanner + "Busy...\n\n*********#*********#***\n\nDone.\n";
  for (const char* jobs : {"1", "2", "8"}) {
    const ProgramRun run = Packwell({dir / "src", dir / (std::string("J") + jobs + ".MAS")}, "", jobs);
    EXPECT_EQ(run.out, done) << jobs;
    EXPECT_EQ(run.status, 0);
  }
  const std::vector<uint8_t> sequential = WithoutUnknowns(ReadFileBytes(dir / "J1.MAS"));
  EXPECT_EQ(WithoutUnknowns(ReadFileBytes(dir / "J2.MAS")), sequential);
  EXPECT_EQ(WithoutUnknowns(ReadFileBytes(dir / "J8.MAS")), sequential);
}

// A run that stops prints the same message after the same marks, but the archive already at the path
// stays as it was (a partial archive never takes its place, nothing is left beside it), and the run
// ends by saying so with status 1 instead of "Done.".
TEST(Packwell, StoppedRunKeepsTheOldArchive) {
  TempDir dir;
  Fill(dir / "src", 23);
  const std::string tooLarge = dir / "src/file114.bmp";  // the 10th entry in table order
  std::filesystem::resize_file(tooLarge, uintmax_t{1} << 31);
  for (const char* jobs : {"1", "2", "8"}) {
    WriteFileBytes(dir / "OUT.MAS", BytesOf("old archive"));
    const ProgramRun run = Packwell({dir / "src", dir / "OUT.MAS"}, "", jobs);
    EXPECT_EQ(run.out, kBanner + "Busy...\n\n*********" +
                           "File \"file114.bmp\" was not packed: an archive cannot hold data past 2 GiB; "
                           "packing stopped\n\nThe archive \"" + dir / "OUT.MAS" + "\" was not written.\n")
        << jobs;
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ReadFileBytes(dir / "OUT.MAS"), BytesOf("old archive"));
  }
  std::filesystem::resize_file(tooLarge, 10);

  // A full disk at the 6th entry's data.
  for (const char* jobs : {"1", "8"}) {
    WriteFileBytes(dir / "OUT.MAS", BytesOf("old archive"));
    ProgramRun run;
    {
      FileSizeLimit limit(24 + 256 * 23 + 5 * 97 * 4);
      run = Packwell({dir / "src", dir / "OUT.MAS"}, "", jobs);
    }
    EXPECT_EQ(run.out, kBanner + "Busy...\n\n*****Disk full\n\nThe archive \"" + dir / "OUT.MAS" + "\" was not written.\n")
        << jobs;
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ReadFileBytes(dir / "OUT.MAS"), BytesOf("old archive"));
  }
  EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"OUT.MAS", "src"}));
}

// Names are stored as Windows-1252 and extracted as UTF-8 file names, so that extracting and
// packing again gives back the same name bytes.
TEST(Packwell, NamesAreWindows1252AndComeBackThroughSpillway) {
  TempDir dir;
  std::filesystem::create_directory(dir / "src");
  WriteFileBytes(dir / "src/café grün.tga", BytesOf("tga"));
  WriteFileBytes(dir / "src/€ and \u0081.bmp", BytesOf("bmp"));
  ASSERT_EQ(Packwell({dir / "src", dir / "ONE.MAS"}).status, 0);
  const LoadedArchive one = ReadArchiveTable(dir / "ONE.MAS");
  ASSERT_EQ(one.Table.size(), 2u);
  EXPECT_EQ(one.Table[0].Name(), "\x80 AND \x81.BMP");
  EXPECT_EQ(one.Table[1].Name(), "CAF\xE9 GR\xFCN.TGA");

  const ProgramRun back = RunProgram(SPILLWAY, {dir / "ONE.MAS", dir / "back"});
  ASSERT_EQ(back.status, 0) << back.out;
  EXPECT_EQ(NamesIn(dir / "back"), (std::set<std::string>{"€ AND \u0081.BMP", "CAFé GRüN.TGA"}));
  ASSERT_EQ(Packwell({dir / "back", dir / "TWO.MAS"}).status, 0);
  const LoadedArchive two = ReadArchiveTable(dir / "TWO.MAS");
  ASSERT_EQ(two.Table.size(), 2u);
  EXPECT_EQ(two.Table[0].Name(), one.Table[0].Name());
  EXPECT_EQ(two.Table[1].Name(), one.Table[1].Name());
}

// A name the table cannot hold as it is (other letters than Windows-1252 has, or more than 236
// bytes, which cut would come back as another file's name) stops the run before anything is written.
TEST(Packwell, NamesATableCannotHoldStopTheRunNamingTheFile) {
  TempDir dir;
  Fill(dir / "src", 3);
  const std::string tooLong = std::string(233, 'x') + ".bmp";  // 237 bytes
  const std::pair<std::string, std::string> cases[] = {
      {"Жук.tga", "File \"Жук.tga\" cannot be stored: an archive's names hold only characters of Windows-1252\n"},
      {tooLong, "File \"" + tooLong + "\" cannot be stored: its name takes 237 bytes, more than the 236 an archive's "
                "table holds\n"},
  };
  for (const auto& [name, message] : cases) {
    SCOPED_TRACE(name);
    WriteFileBytes(dir / ("src/" + name), BytesOf("x"));
    WriteFileBytes(dir / "OUT.MAS", BytesOf("old archive"));
    const ProgramRun run = Packwell({dir / "src", dir / "OUT.MAS"});
    EXPECT_EQ(run.out, kBanner + "Busy...\n\n" + message + "\nThe archive \"" + dir / "OUT.MAS" + "\" was not written.\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ReadFileBytes(dir / "OUT.MAS"), BytesOf("old archive"));
    EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"OUT.MAS", "src"}));
    std::filesystem::remove(dir / ("src/" + name));
  }
}

// The Unknown values come from the clock: two runs over the same folder draw different ones (the
// rest of the archive is the same, as the runs with different job counts above show).
TEST(Packwell, EachRunDrawsItsOwnUnknownValues) {
  TempDir dir;
  Fill(dir / "src", 4);
  std::vector<std::vector<int32_t>> runs;
  for (const char* name : {"ONE.MAS", "TWO.MAS"}) {
    ASSERT_EQ(Packwell({dir / "src", dir / name}).status, 0);
    std::vector<int32_t> unknowns;
    for (const TMAS_FileEntry& e : ReadArchiveTable(dir / name).Table) {
      EXPECT_GE(e.Unknown, 4'000'000);
      EXPECT_LE(e.Unknown, 4'099'999 + 1'233 * 4);
      unknowns.push_back(e.Unknown);
    }
    runs.push_back(unknowns);
  }
  EXPECT_NE(runs[0], runs[1]) << "both runs drew the same Unknown values: a fixed seed?";
}

}  // namespace
}  // namespace kestrel::testing
