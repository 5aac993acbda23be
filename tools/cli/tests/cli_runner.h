// Runs the built kestrel-cli as a script would and captures what it printed.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/testing/mas_builder.h"

namespace kestrel::testing {

struct CliRun {
  int status = -1;
  std::string out, err;
};

inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs kestrel-cli with `args` in `dir`; its two streams land in files there.
inline CliRun RunCli(const TempDir& dir, const std::vector<std::string>& args) {
  std::string command = "cd " + ShellQuote(dir.Path()) + " && " + ShellQuote(KESTREL_CLI);
  for (const std::string& a : args) command += " " + ShellQuote(a);
  command += " >" + ShellQuote(dir / ".stdout") + " 2>" + ShellQuote(dir / ".stderr");
  CliRun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const std::vector<uint8_t> out = ReadFileBytes(dir / ".stdout");
  const std::vector<uint8_t> err = ReadFileBytes(dir / ".stderr");
  run.out.assign(out.begin(), out.end());
  run.err.assign(err.begin(), err.end());
  std::remove((dir / ".stdout").c_str());
  std::remove((dir / ".stderr").c_str());
  return run;
}

}  // namespace kestrel::testing
