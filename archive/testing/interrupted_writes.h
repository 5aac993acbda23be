// Checks that a program replacing a user's file leaves either the old file or the whole new one,
// however it is stopped: killed with SIGKILL at many moments, or held to a file size limit.
//
// Header-only because it reports through GoogleTest's assertions; only tests include it.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "archive/testing/mas_builder.h"
#include "archive/testing/program_runner.h"

namespace kestrel::testing {

struct InterruptedWriter {
  std::string program;
  std::vector<std::string> args;  // run in a fresh folder that `prepare` filled
  std::string target;             // the user's file, relative to that folder
  std::function<void(const TempDir&)> prepare;
  std::vector<std::string> environment;
  // Whether `bytes` are a complete new file. Unset: equal to what an uninterrupted run wrote. Set
  // it for writers whose output differs from run to run (an archive's `Unknown` values).
  std::function<bool(const std::vector<uint8_t>&)> complete;
  // Names a failed run may leave on purpose, and says where (the conversion keeps what it could not
  // pack in its scratch folder, "temp-..."): paths starting with one of these are not leftovers.
  std::vector<std::string> reportedKeeps = {};
};

// The file a user had before at an output's path: never the new content.
inline std::vector<uint8_t> OldUserFile() { return BytesOf("the user's earlier file, which must survive\n"); }

// Every path under `root`, recursively, relative to it.
inline std::set<std::string> EverythingIn(const std::string& root) {
  std::set<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    out.insert(e.path().lexically_relative(root).string());
  return out;
}

// A fresh folder for one run. Where `prepare` did not make the target (an output), the user has an
// earlier file there; where it did (a file rewritten in place), that file is the old one.
struct WriterFolder {
  TempDir dir;
  std::set<std::string> before;
  std::vector<uint8_t> old;
  explicit WriterFolder(const InterruptedWriter& w) {
    w.prepare(dir);
    if (!std::filesystem::exists(dir / w.target)) WriteFileBytes(dir / w.target, OldUserFile());
    old = ReadFileBytes(dir / w.target);
    before = EverythingIn(dir.Path());
  }
};

// One uninterrupted run: the new file and how long the program took.
struct ReferenceRun {
  std::vector<uint8_t> bytes;
  std::chrono::microseconds duration{};
};

inline ReferenceRun RunUninterrupted(const InterruptedWriter& w) {
  WriterFolder folder(w);
  const auto start = std::chrono::steady_clock::now();
  const ProgramRun run = RunProgram(w.program, w.args, {"", folder.dir.Path(), w.environment});
  ReferenceRun ref;
  ref.duration = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  ref.bytes = ReadFileBytes(folder.dir / w.target);
  EXPECT_NE(ref.bytes, folder.old);
  return ref;
}

inline bool IsCompleteNew(const InterruptedWriter& w, const ReferenceRun& ref, const std::vector<uint8_t>& bytes) {
  return w.complete ? w.complete(bytes) : bytes == ref.bytes;
}

// What a folder holds and when its files last changed: any write shows here.
inline std::vector<std::pair<std::string, int64_t>> FolderState(const std::string& root) {
  std::vector<std::pair<std::string, int64_t>> state;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0) continue;
    state.emplace_back(it->path().string(), static_cast<int64_t>(st.st_size) ^
                                                (static_cast<int64_t>(st.st_mtim.tv_nsec) << 20) ^ st.st_mtim.tv_sec);
  }
  std::sort(state.begin(), state.end());
  return state;
}

// Kills the program at many moments: spread over an uninterrupted run's duration, and at short
// delays after its first write into the folder, where a writer that truncates the user's file
// first would be caught with a cut file. Each time the file is the old one or the whole new one; a
// temporary file may remain (nothing can remove it after SIGKILL), but never in the user's file.
inline void ExpectKillsKeepOldOrNew(const InterruptedWriter& w, int moments = 20) {
  const ReferenceRun ref = RunUninterrupted(w);
  std::vector<std::pair<bool, std::chrono::microseconds>> kills;  // (after the first write, delay)
  for (int i = 0; i <= moments; ++i) kills.emplace_back(false, ref.duration * i / moments);
  for (int us : {0, 10, 30, 100, 300, 1000, 3000, 10000, 30000}) kills.emplace_back(true, std::chrono::microseconds(us));
  int killed = 0;
  for (const auto& [afterWrite, delay] : kills) {
    WriterFolder folder(w);
    ProgramOptions options{"", folder.dir.Path(), w.environment};
    options.killAfter = delay;
    const auto before = FolderState(folder.dir.Path());
    if (afterWrite) options.killClockStarts = [&] { return FolderState(folder.dir.Path()) != before; };
    const ProgramRun run = RunProgram(w.program, w.args, options);
    if (run.signal == SIGKILL) ++killed;
    const std::vector<uint8_t> bytes = ReadFileBytes(folder.dir / w.target);
    EXPECT_TRUE(bytes == folder.old || IsCompleteNew(w, ref, bytes))
        << "killed " << delay.count() << " us after " << (afterWrite ? "its first write" : "its start") << ": "
        << bytes.size() << " bytes, neither the old file nor the new";
  }
  EXPECT_GT(killed, static_cast<int>(kills.size()) / 3) << "the program ended before most kills";
}

// Runs the program under file size limits from 0 to past the new file's size. Under a limit it
// cannot keep, it says so, exits 1 and leaves the old file and nothing else; otherwise it writes
// the whole new file.
inline void ExpectFileSizeLimitsKeepOldOrNew(const InterruptedWriter& w, int sizes = 10) {
  const ReferenceRun ref = RunUninterrupted(w);
  std::vector<rlim_t> limits = {0, 1, 4096};
  for (int i = 1; i <= sizes; ++i) limits.push_back(static_cast<rlim_t>(ref.bytes.size() * i / sizes));
  limits.push_back(ref.bytes.size() - 1);
  for (const rlim_t limit : limits) {
    SCOPED_TRACE("file size limit " + std::to_string(limit));
    WriterFolder folder(w);
    ProgramOptions options{"", folder.dir.Path(), w.environment};
    options.fileSizeLimit = limit;
    const ProgramRun run = RunProgram(w.program, w.args, options);
    ASSERT_EQ(run.signal, 0) << "ended by a signal instead of reporting the limit";
    const std::vector<uint8_t> bytes = ReadFileBytes(folder.dir / w.target);
    if (run.status == 0) {
      EXPECT_TRUE(IsCompleteNew(w, ref, bytes)) << "reported success but left " << bytes.size() << " bytes";
      continue;
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE((run.out + run.err).empty()) << "failed without a word";
    EXPECT_EQ(bytes, folder.old);
    std::set<std::string> after = EverythingIn(folder.dir.Path());
    std::erase_if(after, [&](const std::string& path) {
      return std::any_of(w.reportedKeeps.begin(), w.reportedKeeps.end(), [&](const std::string& keep) {
        return path.rfind(keep, 0) == 0 && (run.out + run.err).find(keep) != std::string::npos;
      });
    });
    EXPECT_EQ(after, folder.before) << run.out << run.err;
  }
}

}  // namespace kestrel::testing
