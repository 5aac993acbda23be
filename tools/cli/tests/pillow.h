// What the image command tests need to have Pillow check the pictures kestrel-cli reads and writes.
#pragma once

#include <string>

#include "archive/testing/program_runner.h"
#include "studio/image/image_decoder.h"

namespace kestrel::testing {

inline std::string ExtensionOf(ImageKind kind) {
  switch (kind) {
    case ImageKind::Bmp:
      return ".bmp";
    case ImageKind::Targa:
      return ".tga";
    case ImageKind::Jpeg:
      return ".jpg";
  }
  return "";
}

// A Python with Pillow: the system's first, since a user's own Python may lack it.
inline std::string PythonWithPillow() {
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    const ProgramRun run = RunProgram("/usr/bin/env", {python, "-c", "import PIL"});
    if (run.status == 0) return python;
  }
  return "";
}

}  // namespace kestrel::testing
