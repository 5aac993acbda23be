// The commands of kestrel-cli. Each returns the exit status: 0 success, 1 failure, 2 usage error.
// Messages go to standard error; a command's regular output (listings) to standard output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/file_error.h"

namespace kestrel::cli {

using Args = std::vector<std::string>;  // the arguments after the command's name

inline constexpr size_t kAnyCount = SIZE_MAX;

struct Command {
  const char* Name;
  const char* Usage;  // arguments, for example "MESH.MTS"
  // How many arguments Usage allows; any other count is refused with the usage line before Run.
  size_t MinArgs, MaxArgs;
  const char* Summary;  // one line for --help
  int (*Run)(const Args& args);
};

// Prints "kestrel-cli: " and the message on standard error; returns 1 for `return Fail(...)`.
int Fail(const std::string& message);
// Fail for the libraries' message hooks, which take no status.
void Report(const std::string& message);
// "kestrel-cli: warning: " and the message: something the user should know that does not fail
// the command.
void Warn(const std::string& message);
// True, after saying so, when `output` is the very file the command reads from `input`: creating
// it would empty the input before or while it is read.
bool OutputIsInput(const std::string& output, const std::string& input);
// The folder an "-all" command writes into, made (one level) when missing; false after saying why
// it cannot be.
bool OutputDirectoryOrReport(const std::string& directory);
// The whole file, or nothing after its file error was reported.
std::optional<std::vector<uint8_t>> ReadFileOrReport(const std::string& path);

namespace detail {
template <typename Work>
int GuardedRun(Work& work) {
  try {
    return work();
  } catch (const EInOutError& e) {
    return Fail(FileErrorReport(e));
  }
}
template <typename Error, typename... More, typename Work>
int GuardedRun(Work& work) {
  try {
    return GuardedRun<More...>(work);
  } catch (const Error& e) {
    return Fail(e.what());
  }
}
}  // namespace detail

// Runs `work`, turning a file error and the listed error types (whose what() is the whole
// message) into that message and status 1: Guarded<SoundBankError>([&] { ...; return 0; }).
template <typename... Errors, typename Work>
int Guarded(Work work) {
  return detail::GuardedRun<Errors...>(work);
}

}  // namespace kestrel::cli
