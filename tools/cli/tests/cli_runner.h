// Runs the built kestrel-cli as a script would and captures what it printed.
#pragma once

#include <string>
#include <vector>

#include "archive/testing/mas_builder.h"
#include "archive/testing/program_runner.h"

namespace kestrel::testing {

using CliRun = ProgramRun;

// Runs kestrel-cli with `args` in `dir`. SOURCE_DATE_EPOCH is unset unless `environment` sets it.
inline CliRun RunCli(const TempDir& dir, const std::vector<std::string>& args,
                     const std::vector<std::string>& environment = {}) {
  std::vector<std::string> env{"SOURCE_DATE_EPOCH"};
  env.insert(env.end(), environment.begin(), environment.end());
  return RunProgram(KESTREL_CLI, args, {"", dir.Path(), env});
}

}  // namespace kestrel::testing
