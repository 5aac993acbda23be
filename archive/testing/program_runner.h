// Runs a built program as a user or a script would and captures what it printed.
#pragma once

#include <sys/resource.h>

#include <chrono>
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
};

struct ProgramOptions {
  std::string input;                     // written to standard input, which is then closed
  std::string workingDirectory;          // the current directory when not empty
  // NAME=VALUE pairs added to the inherited environment; a bare NAME removes that variable.
  std::vector<std::string> environment;
  // The program's file size limit (RLIMIT_FSIZE); SIGXFSZ keeps its usual action, so a program
  // that does not handle it dies of it.
  std::optional<rlim_t> fileSizeLimit = std::nullopt;
  // Sends SIGKILL this long after the start unless the program has ended by then.
  std::optional<std::chrono::microseconds> killAfter = std::nullopt;
  // With killAfter: the kill clock starts only once this returns true (it is asked over and over
  // while the program runs), so that a kill can land a set time after, say, the first write.
  std::function<bool()> killClockStarts = nullptr;
};

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const ProgramOptions& options = {});

}  // namespace kestrel::testing
