// kestrel-cli's convert command, run as a modder's script runs it.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive_reader.h"
#include "archive/testing/mas_builder.h"
#include "cli_runner.h"

namespace kestrel {
namespace {

using testing::BytesOf;
using testing::NoiseBytes;
using testing::OldTestArchive;
using testing::RunCli;
using testing::TempDir;
using testing::TestArchive;
using testing::TestEntry;

TEST(ConvertCommand, WritesBesideTheSourceUnderTheSuggestedName) {
  TempDir dir;
  OldTestArchive({TestEntry("CAR.MTS", NoiseBytes(50, 1), 1), TestEntry("CAR.ANM", NoiseBytes(20, 2), 3)})
      .WriteTo(dir / "TRACK.MAS");
  const auto run = RunCli(dir, {"convert", "TRACK.MAS"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Converted 2 of 2 entries into TRACK_2002.MAS\n");
  EXPECT_TRUE(run.err.empty()) << run.err;
  const LoadedArchive converted = ReadArchiveTable(dir / "TRACK_2002.MAS");
  EXPECT_TRUE(converted.Header.HasCurrentMagic());
  EXPECT_EQ(converted.Table.size(), 2u);
}

TEST(ConvertCommand, LeftoversAndRefusalsEndWithStatusOne) {
  TempDir dir;
  OldTestArchive({TestEntry("CAR.MTS", NoiseBytes(50, 1), 1), TestEntry("NOTES.TXT", BytesOf("x"), 0)})
      .WriteTo(dir / "OLD.MAS");
  auto run = RunCli(dir, {"convert", "OLD.MAS", "NEW.MAS"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Converted 1 of 2 entries into NEW.MAS\n");
  EXPECT_NE(run.err.find("Entries that did not reach the new archive were left in"), std::string::npos) << run.err;

  TestArchive current;
  current.Entries = {TestEntry("CAR.MTS", NoiseBytes(50, 1), 17)};
  current.WriteTo(dir / "CURRENT.MAS");
  testing::WriteFileBytes(dir / "TEXT.MAS", BytesOf("CUBEMAS4.01 is not in the first bytes"));
  for (const char* source : {"CURRENT.MAS", "TEXT.MAS"}) {
    SCOPED_TRACE(source);
    run = RunCli(dir, {"convert", source});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("This does not appear to be a valid F1-2001 MAS file."), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / (std::string(source).substr(0, 4) + "_2002.MAS")));
  }
}

// A conversion that writes no archive says so once, naming it, and claims no converted entries.
TEST(ConvertCommand, NothingWrittenIsSaidOnceNamingTheArchive) {
  TempDir dir;
  OldTestArchive({TestEntry("NOTES.TXT", BytesOf("x"), 0)}).WriteTo(dir / "NOTES.MAS");
  OldTestArchive({TestEntry("CAR.MTS", NoiseBytes(50, 1), 1)}).WriteTo(dir / "CAR.MAS");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"convert", "NOTES.MAS", "NEW.MAS"}, "None of the entries could be packed into the new archive \"" + dir / "NEW.MAS"},
      {{"convert", "CAR.MAS", "missing/NEW.MAS"}, "The new archive \"" + dir / "missing/NEW.MAS" + "\" was not written: "},
  };
  for (const auto& [args, expected] : cases) {
    SCOPED_TRACE(args[1]);
    const auto run = RunCli(dir, args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
    size_t notWritten = 0;
    for (size_t at = run.err.find("was not written"); at != std::string::npos; at = run.err.find("was not written", at + 1))
      ++notWritten;
    EXPECT_EQ(notWritten, 1u) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "NEW.MAS"));
  }
}

}  // namespace
}  // namespace kestrel
