// kestrel-cli's diff and mod package commands, run as a modder's script runs them.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "archive/archive_reader.h"
#include "archive/testing/interrupted_writes.h"
#include "archive/testing/mas_builder.h"
#include "archive/testing/program_runner.h"
#include "cli_runner.h"

namespace kestrel {
namespace {

using testing::BytesOf;
using testing::NoiseBytes;
using testing::OldTestArchive;
using testing::ReadFileBytes;
using testing::RunCli;
using testing::TempDir;
using testing::TestArchive;
using testing::TestEntry;
using testing::WriteFileBytes;

// A track's files as loose files in `folder`, for packwell.
void WriteTrackFiles(const std::string& folder, size_t textures, size_t size) {
  std::filesystem::create_directories(folder);
  for (size_t i = 0; i < textures; ++i)
    WriteFileBytes(folder + "/TEX" + std::to_string(i) + ".TGA", NoiseBytes(size, static_cast<uint32_t>(i)));
  WriteFileBytes(folder + "/TRACK.MTS", BytesOf(std::string(5000, 'm')));
}

// Loose files for a package: one texture changed, one file added.
void WriteModFolder(const std::string& folder, const std::string& texture) {
  std::filesystem::create_directories(folder);
  WriteFileBytes(folder + "/" + texture, BytesOf("a brighter texture"));
  WriteFileBytes(folder + "/NEWSIGN.BMP", BytesOf("a new sign"));
}

testing::ProgramRun Packwell(const TempDir& dir, const std::string& folder, const std::string& archive) {
  return testing::RunProgram(PACKWELL, {folder, archive}, {"", dir.Path(), {}});
}

TEST(DiffCommand, ExitsAsDiffDoes) {
  TempDir dir;
  TestArchive a, b;
  a.Entries = {{"A.BMP", BytesOf("a")}, {"GONE.TGA", BytesOf("g"), 20}};
  b.Entries = {{"NEW.MTS", BytesOf("n"), 17}, {"A.BMP", BytesOf("aa")}};
  a.WriteTo(dir / "A.MAS");
  b.WriteTo(dir / "B.MAS");
  auto run = RunCli(dir, {"diff", "A.MAS", "A.MAS"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  run = RunCli(dir, {"diff", "A.MAS", "B.MAS"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "added NEW.MTS\nchanged A.BMP (1 -> 2 bytes)\nremoved GONE.TGA\n");
  run = RunCli(dir, {"diff", "A.MAS", "MISSING.MAS"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("MISSING.MAS"), std::string::npos);
}

// For an archive packwell made and for one the conversion made: the package is small, spillway
// lists it, applying gives the modified entries, and reverting gives the original back exactly.
TEST(ModCommands, RoundTripOnPackwellAndConvertedArchives) {
  for (const bool converted : {false, true}) {
    SCOPED_TRACE(converted ? "converted" : "packwell");
    TempDir dir;
    if (converted) {
      OldTestArchive({TestEntry("CAR.MTS", NoiseBytes(3000, 1), 1), TestEntry("CAR.ANM", NoiseBytes(200, 2), 3),
                      TestEntry("TEX0.TGA", NoiseBytes(9000, 3), 20)})
          .WriteTo(dir / "OLD.MAS");
      ASSERT_EQ(RunCli(dir, {"convert", "OLD.MAS", "TRACK.MAS"}).status, 0);
    } else {
      WriteTrackFiles(dir / "track", 12, 40000);
      ASSERT_EQ(Packwell(dir, "track", "TRACK.MAS").status, 0);
    }
    const std::vector<uint8_t> original = ReadFileBytes(dir / "TRACK.MAS");
    std::filesystem::copy_file(dir / "TRACK.MAS", dir / "ORIGINAL.MAS");
    WriteModFolder(dir / "mod", "tex0.tga");
    auto run = RunCli(dir, {"mod-make", "ORIGINAL.MAS", "mod", "MOD.MAS", "--title", "Bright kerbs"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "MOD.MAS: 1 changed, 1 added, 0 removed\n");
    EXPECT_LT(ReadFileBytes(dir / "MOD.MAS").size(), 2000u);

    const auto listed = testing::RunProgram(SPILLWAY, {"MOD.MAS", "listed"}, {"", dir.Path(), {}});
    EXPECT_EQ(listed.status, 0) << listed.out;
    EXPECT_EQ(testing::NamesIn(dir / "listed"), (std::set<std::string>{"KESTREL-MOD.TXT", "NEWSIGN.BMP", "TEX0.TGA"}));
    EXPECT_EQ(testing::ReadFileText(dir / "listed/KESTREL-MOD.TXT").rfind("kestrel-mod-package 1\ntitle Bright kerbs\n", 0), 0u);

    run = RunCli(dir, {"mod-apply", "TRACK.MAS", "MOD.MAS"});
    ASSERT_EQ(run.status, 0) << run.err;
    run = RunCli(dir, {"diff", "ORIGINAL.MAS", "TRACK.MAS"});
    EXPECT_EQ(run.out, "changed TEX0.TGA (" + std::to_string(converted ? 9000 : 40000) +
                           " -> 18 bytes)\nadded NEWSIGN.BMP\n");
    run = RunCli(dir, {"mod-list", "TRACK.MAS"});
    EXPECT_EQ(run.out, "Bright kerbs\n  changed TEX0.TGA\n  added NEWSIGN.BMP\n");
    run = RunCli(dir, {"mod-apply", "TRACK.MAS", "MOD.MAS"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "kestrel-cli: The package \"Bright kerbs\" is applied to this archive already.\n");

    run = RunCli(dir, {"mod-revert", "TRACK.MAS", "MOD.MAS"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFileBytes(dir / "TRACK.MAS"), original);
    EXPECT_EQ(RunCli(dir, {"mod-list", "TRACK.MAS"}).out, "");
  }
}

TEST(ModCommands, RefusesWithOneLinePerMismatchAndLeavesTheArchive) {
  TempDir dir;
  WriteTrackFiles(dir / "track", 3, 1000);
  ASSERT_EQ(Packwell(dir, "track", "ORIGINAL.MAS").status, 0);
  std::filesystem::create_directories(dir / "mod");
  WriteFileBytes(dir / "mod/TEX0.TGA", BytesOf("zero"));
  WriteFileBytes(dir / "mod/TEX1.TGA", BytesOf("one"));
  WriteFileBytes(dir / "mod/TRACK.MTS", BytesOf("mesh"));
  ASSERT_EQ(RunCli(dir, {"mod-make", "ORIGINAL.MAS", "mod", "MOD.MAS"}).status, 0);
  // The player's archive has other textures.
  std::filesystem::create_directories(dir / "theirs");
  WriteTrackFiles(dir / "theirs", 2, 999);
  ASSERT_EQ(Packwell(dir, "theirs", "TRACK.MAS").status, 0);
  const std::vector<uint8_t> before = ReadFileBytes(dir / "TRACK.MAS");
  const auto run = RunCli(dir, {"mod-apply", "TRACK.MAS", "MOD.MAS"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "kestrel-cli: mismatch TEX0.TGA: its bytes are not the ones the package was made for\n"
            "kestrel-cli: mismatch TEX1.TGA: its bytes are not the ones the package was made for\n"
            "kestrel-cli: missing TEX2.TGA: the package keeps it, but the archive has no such entry\n");
  EXPECT_EQ(ReadFileBytes(dir / "TRACK.MAS"), before);
  EXPECT_FALSE(std::filesystem::exists(dir / "TRACK.MAS.mods"));

  WriteFileBytes(dir / "BROKEN.MAS", BytesOf("not an archive at all"));
  const auto broken = RunCli(dir, {"mod-apply", "TRACK.MAS", "BROKEN.MAS"});
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(ReadFileBytes(dir / "TRACK.MAS"), before);
}

// Kills mod-apply and mod-revert at many moments. Each time the archive is the old one or the
// new one, and the next command finds revert data that fits it: after a killed apply either
// nothing is applied or the package comes off exactly; after a killed revert likewise.
TEST(ModCommands, KilledApplyOrRevertLeavesArchiveAndRevertDataInStep) {
  TempDir source;
  WriteTrackFiles(source / "track", 30, 100000);
  ASSERT_EQ(Packwell(source, "track", "ORIGINAL.MAS").status, 0);
  WriteModFolder(source / "mod", "TEX0.TGA");
  ASSERT_EQ(RunCli(source, {"mod-make", "ORIGINAL.MAS", "mod", "MOD.MAS", "--title", "kill"}).status, 0);
  const std::vector<uint8_t> original = ReadFileBytes(source / "ORIGINAL.MAS");
  const std::vector<uint8_t> package = ReadFileBytes(source / "MOD.MAS");

  for (const bool revert : {false, true}) {
    SCOPED_TRACE(revert ? "revert" : "apply");
    const std::vector<std::string> args = {revert ? "mod-revert" : "mod-apply", "TRACK.MAS", "MOD.MAS"};
    auto prepare = [&](const TempDir& dir) {
      WriteFileBytes(dir / "TRACK.MAS", original);
      WriteFileBytes(dir / "MOD.MAS", package);
      if (revert) {
        ASSERT_EQ(RunCli(dir, {"mod-apply", "TRACK.MAS", "MOD.MAS"}).status, 0);
      }
    };
    std::vector<uint8_t> applied;
    testing::ProgramProgress total;
    {
      TempDir dir;
      prepare(dir);
      const auto run = testing::RunProgram(KESTREL_CLI, args, {"", dir.Path(), {"SOURCE_DATE_EPOCH"}});
      ASSERT_EQ(run.status, 0) << run.err;
      total = run.progress;
    }
    {
      TempDir dir;
      WriteFileBytes(dir / "TRACK.MAS", original);
      WriteFileBytes(dir / "MOD.MAS", package);
      ASSERT_EQ(RunCli(dir, {"mod-apply", "TRACK.MAS", "MOD.MAS"}).status, 0);
      applied = ReadFileBytes(dir / "TRACK.MAS");
    }
    // The archive alone, as every writer of a user's file is checked, also killed just after its
    // first write.
    testing::InterruptedWriter writer;
    writer.program = KESTREL_CLI;
    writer.args = args;
    writer.target = "TRACK.MAS";
    writer.prepare = prepare;
    writer.environment = {"SOURCE_DATE_EPOCH"};
    testing::ExpectKillsKeepOldOrNew(writer);
    // The archive with its revert data.
    int killed = 0;
    const int moments = 24;
    for (int i = 0; i <= moments; ++i) {
      TempDir dir;
      prepare(dir);
      testing::ProgramOptions options{"", dir.Path(), {"SOURCE_DATE_EPOCH"}};
      // Kill points spread over the work the program does (bytes read and written), so a busy
      // machine moves none of them.
      const uint64_t killAt = total.io * i / moments;
      options.killWhen = [killAt](const testing::ProgramProgress& p) { return p.io >= killAt; };
      const auto run = testing::RunProgram(KESTREL_CLI, args, options);
      if (run.signal == SIGKILL) ++killed;
      const std::vector<uint8_t> bytes = ReadFileBytes(dir / "TRACK.MAS");
      const auto list = RunCli(dir, {"mod-list", "TRACK.MAS"});
      EXPECT_EQ(list.status, 0) << list.err;
      const std::string listed = list.out;
      SCOPED_TRACE("killed after " + std::to_string(killAt) + " bytes of I/O");
      if (bytes == original) {
        EXPECT_EQ(listed, "") << "the original archive, but a package is listed";
        EXPECT_EQ(RunCli(dir, {"mod-apply", "TRACK.MAS", "MOD.MAS"}).status, 0);
        EXPECT_EQ(ReadFileBytes(dir / "TRACK.MAS"), applied);
      } else {
        ASSERT_EQ(bytes, applied) << "neither the old archive nor the new";
        EXPECT_EQ(listed.rfind("kill\n", 0), 0u) << listed;
        EXPECT_EQ(RunCli(dir, {"mod-revert", "TRACK.MAS", "MOD.MAS"}).status, 0);
        EXPECT_EQ(ReadFileBytes(dir / "TRACK.MAS"), original);
      }
    }
    EXPECT_GT(killed, moments / 3) << "the program ended before most kills";
  }
}

}  // namespace
}  // namespace kestrel
