// An edit killed at any moment leaves the old archive or the new one at the path, never a mix.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "archive/testing/mas_builder.h"

namespace kestrel {
namespace {

using testing::NoiseBytes;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::TestArchive;
using testing::TestEntry;
using testing::WriteFileBytes;
using Clock = std::chrono::steady_clock;

pid_t StartReplace(const TempDir& dir) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.Path().c_str()) != 0) ::_exit(127);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 2);
    ::execl(KESTREL_CLI, KESTREL_CLI, "replace", "BIG.MAS", "#0", "NEW.BIN", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return status;
}

TEST(ArchiveKill, ReplaceKilledAtAnyMomentLeavesOldOrNewArchive) {
  TempDir dir;
  TestArchive big;
  // Stored noise: the archive is large without the test spending its time compressing.
  for (uint32_t i = 0; i < 4; ++i)
    big.Entries.push_back(TestEntry("E" + std::to_string(i) + ".BMP", NoiseBytes(12 << 20, i), 18, true));
  const std::vector<uint8_t> oldBytes = big.Build();
  WriteFileBytes(dir / "NEW.BIN", NoiseBytes(1 << 20, 99));

  // One undisturbed run gives the new archive and how long a replacement takes here.
  WriteFileBytes(dir / "BIG.MAS", oldBytes);
  const Clock::time_point start = Clock::now();
  const int status = Wait(StartReplace(dir));
  const auto duration = Clock::now() - start;
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::vector<uint8_t> newBytes = ReadFileBytes(dir / "BIG.MAS");
  ASSERT_NE(newBytes, oldBytes);

  int sawOld = 0, sawNew = 0;
  // Moments from the start to past the usual end: reading the file, compressing, copying, flushing,
  // renaming.
  for (int step = 0; step <= 10; ++step) {
    WriteFileBytes(dir / "BIG.MAS", oldBytes);
    const pid_t pid = StartReplace(dir);
    std::this_thread::sleep_for(duration * step / 6);
    ::kill(pid, SIGKILL);
    Wait(pid);
    const std::vector<uint8_t> now = ReadFileBytes(dir / "BIG.MAS");
    const bool isOld = now == oldBytes, isNew = now == newBytes;
    EXPECT_TRUE(isOld || isNew) << "killed after " << step << "/6 of a run: " << now.size() << " bytes at the path";
    sawOld += isOld;
    sawNew += isNew;
    // A killed run leaves its temporary file behind; removed, it does not slow the next run down.
    for (const std::string& name : testing::NamesIn(dir.Path()))
      if (name != "BIG.MAS" && name != "NEW.BIN") std::filesystem::remove(dir / name);
  }
  std::cout << "killed runs that left the old archive: " << sawOld << ", the new one: " << sawNew << '\n';
}

}  // namespace
}  // namespace kestrel
