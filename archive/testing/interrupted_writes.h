// Checks that a program replacing a user's file leaves either the old file or the whole new one,
// however it is stopped: killed with SIGKILL at many points of its work, or held to a file size limit.
//
// Header-only because it reports through GoogleTest's assertions; only tests include it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
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

// One uninterrupted run: the new file, and how far the program was seen to get as it ran, to the
// end.
struct ReferenceRun {
  std::vector<uint8_t> bytes;
  std::vector<ProgramProgress> seen;
  ProgramProgress total;
};

inline ReferenceRun RunUninterrupted(const InterruptedWriter& w) {
  WriterFolder folder(w);
  ReferenceRun ref;
  ProgramOptions options{"", folder.dir.Path(), w.environment};
  options.progressSeen = &ref.seen;
  const ProgramRun run = RunProgram(w.program, w.args, options);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  ref.bytes = ReadFileBytes(folder.dir / w.target);
  ref.total = run.progress;
  EXPECT_NE(ref.bytes, folder.old);
  return ref;
}

inline bool IsCompleteNew(const InterruptedWriter& w, const ReferenceRun& ref, const std::vector<uint8_t>& bytes) {
  return w.complete ? w.complete(bytes) : bytes == ref.bytes;
}

// Where to kill: at a count of bytes read and written, or of processor time, that the program
// reaches at the same point of its work however slow or busy the machine is.
struct KillPoint {
  uint64_t io = 0;
  uint64_t cpuNs = 0;
  bool Reached(const ProgramProgress& p) const { return io ? p.io >= io : p.cpuNs >= cpuNs; }
};

// Kills the program at about `moments` points of its work, told by its progress rather than by
// the clock, so that a slow or busy machine moves no kill out of the work: I/O counts an
// uninterrupted run was seen to pass (reading, then writing), processor times spread over its run
// (where it computes between reading and writing, a writer that cut the user's file first would
// show it), and its last read or write, before the new file takes the old one's place. Each time
// the file is the old one or the whole new one; a temporary file may remain (nothing can remove it
// after SIGKILL), but never in the user's file.
inline void ExpectKillsKeepOldOrNew(const InterruptedWriter& w, size_t moments = 16) {
  const ReferenceRun ref = RunUninterrupted(w);
  std::vector<uint64_t> ioPoints;
  for (const ProgramProgress& p : ref.seen)
    if (p.io > 0 && p.io < ref.total.io && (ioPoints.empty() || ioPoints.back() < p.io)) ioPoints.push_back(p.io);
  std::vector<KillPoint> kills;
  const size_t byIo = std::min(moments / 2, ioPoints.size());
  for (size_t i = 0; i < byIo; ++i) kills.push_back({ioPoints[i * ioPoints.size() / byIo], 0});
  const size_t byTime = moments - byIo;
  for (size_t i = 1; i <= byTime; ++i) kills.push_back({0, std::max<uint64_t>(1, ref.total.cpuNs * i / (byTime + 1))});
  kills.push_back({ref.total.io, 0});
  size_t killedAtWork = 0;
  for (const KillPoint& at : kills) {
    WriterFolder folder(w);
    ProgramOptions options{"", folder.dir.Path(), w.environment};
    options.killWhen = [&](const ProgramProgress& p) { return at.Reached(p); };
    const ProgramRun run = RunProgram(w.program, w.args, options);
    if (run.signal == SIGKILL) ++killedAtWork;
    const std::vector<uint8_t> bytes = ReadFileBytes(folder.dir / w.target);
    EXPECT_TRUE(bytes == folder.old || IsCompleteNew(w, ref, bytes))
        << "killed after " << run.progress.io << " of " << ref.total.io << " bytes of I/O and "
        << run.progress.cpuNs / 1000 << " of " << ref.total.cpuNs / 1000 << " us of processor time: "
        << bytes.size() << " bytes at the path, neither the old file nor the new";
  }
  EXPECT_GE(killedAtWork * 2, kills.size()) << "most kills came after the program had ended";
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
