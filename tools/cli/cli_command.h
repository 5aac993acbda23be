// The commands of kestrel-cli. Each returns the exit status: 0 success, 1 failure, 2 usage error.
// Messages go to standard error; a command's regular output (listings) to standard output.
#pragma once

#include <string>
#include <vector>

namespace kestrel::cli {

using Args = std::vector<std::string>;  // the arguments after the command's name

struct Command {
  const char* Name;
  const char* Usage;    // arguments, for example "MESH.MTS"
  const char* Summary;  // one line for --help
  int (*Run)(const Args& args);
};

// Prints "kestrel-cli: " and the message on standard error; returns 1 for `return Fail(...)`.
int Fail(const std::string& message);
// Prints the command's usage line on standard error; returns 2.
int UsageError(const Command& command);
// True, after saying so, when `output` is the very file the command reads from `input`: creating
// it would empty the input before or while it is read.
bool OutputIsInput(const std::string& output, const std::string& input);
// The command currently running (for UsageError in its body).
const Command& FindCommand(const std::string& name);

}  // namespace kestrel::cli
