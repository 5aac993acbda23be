#include "cli_command.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include "archive/archive_reader.h"
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

bool OutputDirectoryOrReport(const std::string& directory) {
  if (DirectoryExists(directory) || CreateDirectoryOneLevel(directory)) return true;
  Fail(directory + ": cannot create the directory (" + std::strerror(errno) + ")");
  return false;
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
