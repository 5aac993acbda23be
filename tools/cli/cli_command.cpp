#include "cli_command.h"

#include <iostream>

#include "archive/file_io.h"

namespace kestrel::cli {

int Fail(const std::string& message) {
  std::cerr << "kestrel-cli: " << message << '\n';
  return 1;
}

void Report(const std::string& message) { Fail(message); }

void Warn(const std::string& message) { std::cerr << "kestrel-cli: warning: " << message << '\n'; }

bool OutputIsInput(const std::string& output, const std::string& input) {
  if (!IsSameFile(output, input)) return false;
  Fail(output + " is the file being read; choose another output");
  return true;
}

std::optional<std::vector<uint8_t>> ReadFileOrReport(const std::string& path) {
  try {
    return ReadWholeFile(path);
  } catch (const EInOutError& e) {
    Fail(FileErrorReport(e));
    return std::nullopt;
  }
}

}  // namespace kestrel::cli
