// Times kestrel-cli's archive edits against copying the archive: replacing the first entry, adding
// a file and removing the first entry, each against `cp` of the archive followed by `sync` of the
// copy (an edit flushes the file it writes, so the copy it is held against does too). A second
// reference moves the synced copy over the archive, as an edit's rename does: that frees the old
// file's blocks and cached pages, which the plain copy never pays for. Prints the
// best of a few rounds, the ratios and each program's peak memory (maximum resident set size) for
// a 50 MB and a 500 MB archive of mixed entries. It asserts nothing.
//
//   edit_bench [DIRECTORY [MB...]]   the archives (default 50 and 500 MB) are made in DIRECTORY
//                                    (default: the system's temporary directory) and removed afterwards
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/file_io.h"
#include "archive/mas_format.h"
#include "archive/testing/mas_builder.h"
#include "archive/testing/program_runner.h"

namespace {

using namespace kestrel;
using Clock = std::chrono::steady_clock;

struct Run {
  double seconds = 0;
  long peakKiB = 0;
};

// Runs the programs one after the other; the time of all, the largest peak memory of any.
Run RunPrograms(const std::vector<std::vector<std::string>>& commands) {
  Run run;
  const Clock::time_point start = Clock::now();
  for (const std::vector<std::string>& command : commands) {
    const testing::ProgramRun ran = testing::RunProgram(command[0], {command.begin() + 1, command.end()});
    if (ran.status != 0) {
      std::fprintf(stderr, "edit_bench: %s failed\n%s", command[0].c_str(), ran.err.c_str());
      std::exit(1);
    }
    run.peakKiB = std::max(run.peakKiB, ran.peakMemoryKiB);
  }
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return run;
}

// Entries of 64 KB to 8 MB: noise stored as it is, and text-like data as zlib streams, in turn.
void MakeArchive(const std::string& path, size_t targetBytes) {
  const std::vector<uint8_t> noise = testing::NoiseBytes(8 << 20, 1);
  std::vector<uint8_t> text;
  for (size_t i = 0; text.size() < (8u << 20); ++i) {
    const std::string line = "vertex " + std::to_string(i * 7919 % 100003) + " " + std::to_string(i % 977) + "\n";
    text.insert(text.end(), line.begin(), line.end());
  }
  std::vector<TMAS_FileEntry> table;
  std::vector<std::pair<const uint8_t*, size_t>> stored;
  std::map<size_t, std::vector<uint8_t>> streams;  // one zlib stream of text per entry size
  size_t total = 0;
  for (size_t i = 0; total < targetBytes; ++i) {
    const size_t size = std::min<size_t>(size_t{64} << 10 << (i % 8), 8u << 20);
    TMAS_FileEntry entry;
    entry.FileType = i % 3 == 0 ? kMasTypeBMP : i % 3 == 1 ? kMasTypeMTS : kMasTypeANM;
    entry.Offset = static_cast<int32_t>(total);
    entry.UncompressedSize = static_cast<int32_t>(size);
    entry.SetName("ENTRY" + std::to_string(i) + (i % 3 == 0 ? ".BMP" : i % 3 == 1 ? ".MTS" : ".ANM"));
    if (i % 2 == 0) {
      stored.emplace_back(noise.data(), size);
    } else {
      std::vector<uint8_t>& stream = streams[size];
      if (stream.empty()) stream = testing::Deflate({text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size)});
      stored.emplace_back(stream.data(), stream.size());
    }
    entry.CompressedSize = static_cast<int32_t>(stored.back().second);
    total += stored.back().second;
    table.push_back(entry);
  }
  TMAS_Header header = TMAS_Header::Current(static_cast<uint32_t>(table.size()));
  header.DataAreaSize = static_cast<uint32_t>(total);
  std::vector<uint8_t> front(static_cast<size_t>(DataStartFor(table.size())));
  EncodeHeader(header, front.data());
  for (size_t i = 0; i < table.size(); ++i) EncodeEntry(table[i], &front[kMasHeaderSize + i * kMasEntrySize]);
  BinaryFile file = BinaryFile::Create(path);
  file.WriteAll(front.data(), front.size());
  for (const auto& [data, size] : stored) file.WriteAll(data, size);
  file.Close();
}

struct Best {
  Run run{1e9, 0};
  void Add(const Run& r) {
    run.seconds = std::min(run.seconds, r.seconds);
    run.peakKiB = std::max(run.peakKiB, r.peakKiB);
  }
};

void Measure(const std::string& directory, size_t megabytes, int rounds) {
  const std::string archive = directory + "/BENCH.MAS";
  const std::string copy = directory + "/COPY.MAS";
  const std::string file = directory + "/new_entry.bmp";
  MakeArchive(archive, megabytes << 20);
  testing::WriteFileBytes(file, testing::NoiseBytes(1 << 20, 7));
  std::printf("\n%zu MB archive (%lld bytes)\n", megabytes,
              static_cast<long long>(std::filesystem::file_size(archive)));

  Best cp, cpMove, replace, add, remove;
  for (int round = 0; round < rounds; ++round) {
    // Dirty pages of one step are written back before the next starts, not on its time.
    sync();
    cp.Add(RunPrograms({{"/bin/cp", archive, copy}, {"/bin/sync", copy}}));
    std::filesystem::remove(copy);
    sync();
    cpMove.Add(RunPrograms({{"/bin/cp", archive, copy}, {"/bin/sync", copy}, {"/bin/mv", copy, archive}}));
    sync();
    replace.Add(RunPrograms({{KESTREL_CLI, "replace", archive, "#0", file}}));
    sync();
    add.Add(RunPrograms({{KESTREL_CLI, "add", archive, file}}));
    sync();
    remove.Add(RunPrograms({{KESTREL_CLI, "remove", archive, "#0"}}));
  }
  const auto print = [&](const char* what, const Best& b) {
    std::printf("  %-30s %7.3f s  %5.2fx cp+sync  %5.2fx cp+sync+mv  peak %6.1f MB\n", what, b.run.seconds,
                b.run.seconds / cp.run.seconds, b.run.seconds / cpMove.run.seconds,
                static_cast<double>(b.run.peakKiB) / 1024.0);
  };
  std::printf("  %-30s %7.3f s  %34s peak %6.1f MB\n", "cp + sync of the copy", cp.run.seconds, "",
              static_cast<double>(cp.run.peakKiB) / 1024.0);
  std::printf("  %-30s %7.3f s  %34s peak %6.1f MB\n", "cp + sync + mv over the archive", cpMove.run.seconds, "",
              static_cast<double>(cpMove.run.peakKiB) / 1024.0);
  print("replace the first entry", replace);
  print("add a 1 MB file", add);
  print("remove the first entry", remove);
  std::filesystem::remove(archive);
  std::filesystem::remove(file);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string parent = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
  std::string directory = parent + "/kestrel-edit-bench-XXXXXX";
  if (!mkdtemp(directory.data())) {
    std::perror("edit_bench: mkdtemp");
    return 1;
  }
  std::printf("Archive edits with kestrel-cli against cp + sync (best of 5 rounds; targets: 1.25x, 64 MB)\n");
  std::vector<size_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::stoul(argv[i]));
  if (sizes.empty()) sizes = {50, 500};
  for (size_t megabytes : sizes) Measure(directory, megabytes, 5);
  std::filesystem::remove_all(directory);
  return 0;
}
