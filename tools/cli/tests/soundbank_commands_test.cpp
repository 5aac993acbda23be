// kestrel-cli's sound bank commands, run as a modder's script runs them.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/testing/mas_builder.h"
#include "cli_runner.h"
#include "studio/soundbank/testing/bank_builder.h"

namespace kestrel {
namespace {

using testing::NoiseBytes;
using testing::PatchI32;
using testing::ReadFileBytes;
using testing::RunCli;
using testing::TempDir;
using testing::TestBank;

TestBank Bank() {
  TestBank b;
  b.Samples = {{"ENGINE_IDLE_0001", NoiseBytes(300, 1), {1, 2, 3, 4}},
               {std::string("HORN\0junk", 9), NoiseBytes(120, 2)},
               {"crash.mp2", NoiseBytes(7, 3)}};
  return b;
}

TEST(SdtCommands, ListExportAndImportByteForByte) {
  TempDir dir;
  TestBank bank = Bank();
  bank.WriteTo(dir / "BANK.SDT");

  auto run = RunCli(dir, {"sdt-list", "BANK.SDT"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "0\tENGINE_IDLE_0001\t300\n1\tHORN\t120\n2\tcrash.mp2\t7\n");

  run = RunCli(dir, {"sdt-export", "BANK.SDT", "1", "horn.mp2"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(dir / "horn.mp2"), bank.Samples[1].Data);

  const std::vector<uint8_t> louder = NoiseBytes(1000, 4);
  testing::WriteFileBytes(dir / "LOUDER.MP2", louder);
  run = RunCli(dir, {"sdt-import", "BANK.SDT", "0", "LOUDER.MP2"});
  EXPECT_EQ(run.status, 0) << run.err;
  bank.Samples[0].Data = louder;
  EXPECT_EQ(ReadFileBytes(dir / "BANK.SDT"), bank.Build());
  EXPECT_EQ(RunCli(dir, {"sdt-list", "BANK.SDT"}).out, "0\tENGINE_IDLE_0001\t1000\n1\tHORN\t120\n2\tcrash.mp2\t7\n");
}

TEST(SdtCommands, FailuresSayWhatIsWrongAndChangeNothing) {
  TempDir dir;
  Bank().WriteTo(dir / "BANK.SDT");
  std::vector<uint8_t> cut = Bank().Build();
  cut.resize(10);
  testing::WriteFileBytes(dir / "CUT.SDT", cut);
  const std::vector<testing::CliRefusal> cases = {
      {{"sdt-export", "BANK.SDT", "3", "out.mp2"}, 1, "There is no sample 3"},
      {{"sdt-import", "BANK.SDT", "3", "BANK.SDT"}, 1, "There is no sample 3"},
      {{"sdt-export", "BANK.SDT", "0", "./BANK.SDT"}, 1, "is the file being read"},
      {{"sdt-export", "BANK.SDT", "-1", "out.mp2"}, 2, "is not a sample index"},
      {{"sdt-import", "BANK.SDT", "0", "MISSING.MP2"}, 1, "File not found"},
      {{"sdt-list", "CUT.SDT"}, 1, "is damaged: its directory of 3 samples runs past the end"},
      {{"sdt-list", "MISSING.SDT"}, 1, "File not found"},
      {{"sdt-export", "BANK.SDT", "0"}, 2, "usage: kestrel-cli sdt-export BANK.SDT INDEX OUT.MP2"},
  };
  for (const testing::CliRefusal& c : cases) {
    SCOPED_TRACE(testing::CommandLine(c.args));
    testing::ExpectRefusal(dir, c);
    EXPECT_EQ(ReadFileBytes(dir / "BANK.SDT"), Bank().Build());
    EXPECT_FALSE(std::filesystem::exists(dir / "out.mp2"));
  }
}

// One sample whose size is negative: the bank still lists and its other samples still export.
TEST(SdtCommands, DamagedSampleFailsAloneWithItsReason) {
  TempDir dir;
  std::vector<uint8_t> bytes = Bank().Build();
  PatchI32(bytes, 16 + 340 + 4, -5);  // sample 1's DataSize, after sample 0's header and data
  testing::WriteFileBytes(dir / "BANK.SDT", bytes);

  auto run = RunCli(dir, {"sdt-list", "BANK.SDT"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "0\tENGINE_IDLE_0001\t300\n1\tHORN\t-5\n2\tcrash.mp2\t7\n");
  run = RunCli(dir, {"sdt-export", "BANK.SDT", "2", "crash.mp2"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(dir / "crash.mp2"), Bank().Samples[2].Data);
  testing::ExpectRefusal(dir, {{"sdt-export", "BANK.SDT", "1", "horn.mp2"}, 1, "sample 1's size is given as -5 bytes"});
  EXPECT_FALSE(std::filesystem::exists(dir / "horn.mp2"));
}

}  // namespace
}  // namespace kestrel
