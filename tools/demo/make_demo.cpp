// kestrel-demo DIRECTORY: writes the demo's source files into DIRECTORY (created when missing),
// ready for packwell. Everything is drawn by code; no game file is needed.
#include <exception>
#include <iostream>
#include <string>

#include "archive/file_io.h"
#include "tools/demo/demo_files.h"

namespace {

const char kUsage[] = "usage: kestrel-demo DIRECTORY\n";

}  // namespace

int main(int argc, char** argv) {
  // "--" lets a directory whose name starts with '-' through; any other option is refused so that
  // a mistyped one never becomes a directory of that name.
  const bool endOfOptions = argc == 3 && std::string(argv[1]) == "--";
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::cout << kUsage << "Writes the demo's textures, an animation-like file and a car mesh into "
                           "DIRECTORY (created when missing), ready for packwell.\n";
    return 0;
  }
  if (!endOfOptions && argc == 2 && argv[1][0] == '-' && argv[1][1] != '\0') {
    std::cerr << "kestrel-demo: unknown option " << argv[1] << "\n" << kUsage;
    return 2;
  }
  if (!endOfOptions && argc != 2) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string directory = argv[endOfOptions ? 2 : 1];
  if (directory.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  kestrel::platform::MakeDirectory(directory);
  try {
    for (const auto& file : kestrel::demo::DemoFiles()) {
      kestrel::WriteWholeFile(kestrel::JoinPath(directory, file.Name), file.Bytes.data(), file.Bytes.size());
      std::cout << file.Name << " (" << file.Bytes.size() << " bytes)\n";
    }
  } catch (const std::exception& e) {
    std::cerr << "kestrel-demo: " << e.what() << " (" << directory << ")\n";
    return 1;
  }
  return 0;
}
