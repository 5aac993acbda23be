// Runs a built program as a user or a script would and captures what it printed.
#pragma once

#include <sys/resource.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::testing {

struct ProgramRun {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 when the program did not exit normally
  int signal = 0;   // the signal that ended it, if one did
  long peakMemoryKiB = 0;  // the most memory the program held at once (its peak resident set)
  uint64_t ioBytes = 0;    // all it read and wrote through read and write calls, when it ended
};

struct ProgramOptions {
  std::string input;                     // written to standard input, which is then closed
  std::string workingDirectory;          // the current directory when not empty
  // NAME=VALUE pairs added to the inherited environment; a bare NAME removes that variable.
  std::vector<std::string> environment;
  // The program's file size limit (RLIMIT_FSIZE); SIGXFSZ keeps its usual action, so a program
  // that does not handle it dies of it.
  std::optional<rlim_t> fileSizeLimit = std::nullopt;
  // Sends SIGKILL once the program has read and written at least this many bytes in all (its I/O
  // count, which a slow or busy machine does not change), unless it has ended by then.
  std::optional<uint64_t> killAfterIo = std::nullopt;
  // When set, receives each I/O count seen while watching the program run, rising.
  std::vector<uint64_t>* ioSeen = nullptr;
};

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const ProgramOptions& options = {});

}  // namespace kestrel::testing
