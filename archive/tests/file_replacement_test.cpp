#include "archive/file_replacement.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <sstream>
#include <thread>

#include "archive/file_error.h"
#include "archive/testing/failing_rename.h"
#include "archive/testing/file_size_limit.h"
#include "archive/testing/mas_builder.h"
#include "archive/testing/unprivileged.h"

namespace kestrel {
namespace {

using testing::BytesOf;
using testing::NamesIn;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST(FileReplacement, CommitReplacesWholeKeepsModeAndLeavesNothingBeside) {
  TempDir dir;
  const std::string path = dir / "TRACK.MAS";
  WriteFileBytes(path, BytesOf("old content that is longer"));
  ::chmod(path.c_str(), 0640);

  ReplaceFileContents(path, "new", 3);

  EXPECT_EQ(ReadFileBytes(path), BytesOf("new"));
  EXPECT_EQ(ModeOf(path), 0640u);
  EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"TRACK.MAS"}));
}

// Root editing a user's archive must leave it the user's, set-id bits included.
TEST(FileReplacement, ReplacedFileKeepsItsOwnerAndGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  TempDir dir;
  const std::string path = dir / "TRACK.MAS";
  WriteFileBytes(path, BytesOf("old"));
  ASSERT_EQ(::chown(path.c_str(), testing::kUnprivilegedId, testing::kUnprivilegedId), 0);
  ::chmod(path.c_str(), 06750);

  ReplaceFileContents(path, "new", 3);

  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, testing::kUnprivilegedId);
  EXPECT_EQ(st.st_gid, testing::kUnprivilegedId);
  EXPECT_EQ(st.st_mode & 07777, 06750u);
  EXPECT_EQ(ReadFileBytes(path), BytesOf("new"));
}

TEST(FileReplacement, NewFileGetsUsualModeAndTemporaryIsHiddenBesideTarget) {
  TempDir dir;
  const mode_t old = ::umask(022);
  {
    FileReplacement r(dir / "NEW.BIN");
    EXPECT_EQ(DirectoryOf(r.TemporaryPath()), dir.Path());
    EXPECT_EQ(FileNameOf(r.TemporaryPath()).substr(0, 9), ".NEW.BIN.");
    r.File().WriteAll("x", 1);
    r.Commit();
  }
  ::umask(old);
  EXPECT_EQ(ModeOf(dir / "NEW.BIN"), 0644u);
}

// A write killed part-way leaves its temporary; the next write of that file removes those whose
// process has ended, and only those: a live writer's, another file's, or a stranger's stay.
TEST(FileReplacement, NextWriteRemovesTemporariesOfEndedProcesses) {
  TempDir dir;
  FileReplacement live(dir / "TRACK.MAS");
  const std::string liveName = FileNameOf(live.TemporaryPath());
  const std::string stem = ".TRACK.MAS.kestrel-";
  ASSERT_EQ(liveName.substr(0, stem.size()), stem);
  // pid-start-boot-unique, as this process names its temporaries
  std::vector<std::string> fields;
  std::stringstream suffix(liveName.substr(stem.size()));
  for (std::string field; std::getline(suffix, field, '-');) fields.push_back(field);
  ASSERT_EQ(fields.size(), 4u) << liveName;
  const auto named = [&](const std::string& pid, const std::string& start, const std::string& boot) {
    return pid + "-" + start + "-" + boot + "-0123456789ab";
  };
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);  // an id no process has now
  const std::string otherBoot = std::string(fields[2] == "1" ? "2" : "1");
  const std::string otherStart = fields[1] == "1" ? "2" : "1";

  const std::string ended[] = {
      stem + named(std::to_string(child), fields[1], fields[2]),  // its process has ended
      stem + named(fields[0], otherStart, fields[2]),               // the id is another process's now
      stem + named(fields[0], fields[1], otherBoot),                // made before the machine restarted
  };
  const std::string kept[] = {
      ".OTHER.MAS.kestrel-" + named(std::to_string(child), fields[1], fields[2]),  // another file's
      stem + "not-a-writer",
      "TRACK.MAS.kestrel-" + named(std::to_string(child), fields[1], fields[2]),  // not hidden: not ours
  };
  for (const std::string& name : ended) WriteFileBytes(dir / name, BytesOf("left"));
  for (const std::string& name : kept) WriteFileBytes(dir / name, BytesOf("kept"));

  ReplaceFileContents(dir / "TRACK.MAS", "new", 3);
  std::set<std::string> expected(std::begin(kept), std::end(kept));
  expected.insert({"TRACK.MAS", liveName});
  EXPECT_EQ(NamesIn(dir.Path()), expected);

  // Extracting many files sweeps the whole folder once.
  live.Discard();
  RemoveTemporariesOfEndedProcesses(dir.Path());
  expected.erase(kept[0]);
  expected.erase(liveName);
  EXPECT_EQ(NamesIn(dir.Path()), expected);
}

TEST(FileReplacement, LinkStaysAndItsTargetIsRewritten) {
  TempDir dir;
  std::filesystem::create_directory(dir / "real");
  WriteFileBytes(dir / "real/A.MAS", BytesOf("old"));
  std::filesystem::create_symlink("real/A.MAS", dir / "link.mas");

  ReplaceFileContents(dir / "link.mas", "new", 3);

  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.mas"));
  EXPECT_EQ(ReadFileBytes(dir / "real/A.MAS"), BytesOf("new"));
  EXPECT_EQ(NamesIn(dir / "real"), (std::set<std::string>{"A.MAS"}));
}

TEST(FileReplacement, LinkWhoseTargetDoesNotExistYetGetsItsTargetCreated) {
  TempDir dir;
  std::filesystem::create_directory(dir / "real");
  std::filesystem::create_symlink("real/NEW.MAS", dir / "link.mas");

  ReplaceFileContents(dir / "link.mas", "new", 3);

  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.mas"));
  EXPECT_EQ(ReadFileBytes(dir / "real/NEW.MAS"), BytesOf("new"));
  EXPECT_EQ(NamesIn(dir / "real"), (std::set<std::string>{"NEW.MAS"}));
  EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"link.mas", "real"}));
}

TEST(FileReplacement, DiscardedOrFailedWriteLeavesOldFileAndNoTemporary) {
  TempDir dir;
  const std::string path = dir / "A.MAS";
  const std::vector<uint8_t> old = testing::NoiseBytes(5000, 3);
  WriteFileBytes(path, old);
  {
    FileReplacement r(path);
    r.File().WriteAll("partial", 7);
  }  // never committed
  EXPECT_EQ(ReadFileBytes(path), old);

  const std::vector<uint8_t> big = testing::NoiseBytes(1 << 20, 4);
  {
    testing::FileSizeLimit limit(64 * 1024);
    try {
      ReplaceFileContents(path, big.data(), big.size());
      ADD_FAILURE() << "a write past the size limit succeeded";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.Kind(), FileErrorKind::DiskFull);
      EXPECT_EQ(e.Path(), path);  // the user's file, not the hidden temporary
    }
  }
  EXPECT_EQ(ReadFileBytes(path), old);
  EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"A.MAS"}));
}

TEST(FileReplacement, FailedRenameLeavesOldFileAndNoTemporary) {
  TempDir dir;
  const std::string path = dir / "A.MAS";
  WriteFileBytes(path, BytesOf("old"));
  // Reached through a link: the error names the path the user gave, not the link's target.
  std::filesystem::create_symlink("A.MAS", dir / "link.mas");
  try {
    testing::FailingRename failing(EXDEV);
    ReplaceFileContents(dir / "link.mas", "new", 3);
    ADD_FAILURE() << "a failed rename was reported as success";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Path(), dir / "link.mas");
  }
  EXPECT_EQ(ReadFileBytes(path), BytesOf("old"));
  EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"A.MAS", "link.mas"}));
}

TEST(FileReplacement, PipeIsWrittenStraightIntoAndStaysAPipe) {
  TempDir dir;
  const std::string fifo = dir / "out.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::vector<uint8_t> received;
  std::thread reader([&] { received = ReadFileBytes(fifo); });
  ReplaceFileContents(fifo, "piped", 5);
  reader.join();
  EXPECT_EQ(received, BytesOf("piped"));
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"out.fifo"}));
}

TEST(FileReplacement, DirectoryUnderTheNameIsRefusedBeforeAnythingIsCreated) {
  TempDir dir;
  std::filesystem::create_directory(dir / "A.MAS");
  try {
    FileReplacement r(dir / "A.MAS");
    ADD_FAILURE() << "a directory was accepted as the file to replace";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Kind(), FileErrorKind::AccessDenied);
  }
  EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"A.MAS"}));
}

}  // namespace
}  // namespace kestrel
