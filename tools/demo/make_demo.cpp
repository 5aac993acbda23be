// kestrel-demo DIRECTORY: writes the demo's source files into DIRECTORY (created when missing),
// ready for packwell. Everything is drawn by code; no game file is needed.
#include <sys/stat.h>

#include <exception>
#include <iostream>

#include "archive/file_io.h"
#include "tools/demo/demo_files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: kestrel-demo DIRECTORY\n";
    return 2;
  }
  const std::string directory = argv[1];
  ::mkdir(directory.c_str(), 0777);
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
