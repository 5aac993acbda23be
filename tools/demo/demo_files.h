// The demo's files: a few textures, an animation-like track and a textured car mesh, all drawn by
// code; no game file is needed.
#pragma once

#include <vector>

#include "studio/mesh/testing/demo_car.h"

namespace kestrel::demo {

using kestrel::testing::DemoFile;

std::vector<DemoFile> DemoFiles();

}  // namespace kestrel::demo
