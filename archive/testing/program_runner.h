// Runs a built program as a user or a script would and captures what it printed.
#pragma once

#include <sys/resource.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::testing {

// How far a program has got with its work, by measures a slow or busy machine does not change.
struct ProgramProgress {
  uint64_t io = 0;     // bytes read and written through read and write calls, all threads
  uint64_t cpuNs = 0;  // time its main thread has spent running, in nanoseconds
};

struct ProgramRun {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 when the program did not exit normally
  int signal = 0;   // the signal that ended it, if one did
  long peakMemoryKiB = 0;  // the most memory the program held at once (its peak resident set)
  ProgramProgress progress;  // how far it got, when it ended or was killed
};

struct ProgramOptions {
  std::string input;                     // written to standard input, which is then closed
  std::string workingDirectory;          // the current directory when not empty
  // NAME=VALUE pairs added to the inherited environment; a bare NAME removes that variable.
  std::vector<std::string> environment;
  // The program's file size limit (RLIMIT_FSIZE); SIGXFSZ keeps its usual action, so a program
  // that does not handle it dies of it.
  std::optional<rlim_t> fileSizeLimit = std::nullopt;
  // Asked over and over while the program runs: it is sent SIGKILL as soon as this says so.
  std::function<bool(const ProgramProgress&)> killWhen = nullptr;
  // When set, receives the progress seen each time it rose while the program ran.
  std::vector<ProgramProgress>* progressSeen = nullptr;
};

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const ProgramOptions& options = {});

}  // namespace kestrel::testing
