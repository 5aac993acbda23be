// Runs the built kestrel-cli as a script would and captures what it printed.
#pragma once

#include <gtest/gtest.h>

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

// "sdt-wav BANK.SDT 0 out.wav": the arguments as one line, to name a case in a test's output.
inline std::string CommandLine(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& a : args) line += (line.empty() ? "" : " ") + a;
  return line;
}

// A command line kestrel-cli must refuse: the exit status and a part of what it says on standard error.
struct CliRefusal {
  std::vector<std::string> args;
  int status;
  std::string message;
};

inline void ExpectRefusal(const TempDir& dir, const CliRefusal& refusal) {
  const CliRun run = RunCli(dir, refusal.args);
  EXPECT_EQ(run.status, refusal.status) << CommandLine(refusal.args);
  EXPECT_NE(run.err.find(refusal.message), std::string::npos) << CommandLine(refusal.args) << ":\n" << run.err;
}

}  // namespace kestrel::testing
