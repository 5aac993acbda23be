// A mesh entry's bytes through both decoders, and whatever decodes through the developer's dump
// and the VRML writer, which must stay inside the decoded lists whatever the tables claim.
#include <cstddef>
#include <cstdint>
#include <string>

#include "studio/mesh/mts_decoder.h"
#include "studio/mesh/mts_dump.h"
#include "studio/mesh/vrml_export.h"
#include "studio/mesh/vrml_writer.h"

using namespace kestrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const MeshReport quiet = [](const std::string& message) {
    if (message.empty()) __builtin_trap();  // a refusal always says why
  };
  TMTS410 mesh410;
  if (DecodeMTS410(data, size, mesh410, quiet)) {
    MTSDumpText(mesh410, ",");
    MeshVRMLBlock("OBJECT", mesh410);
  }
  TMTS mesh;
  if (DecodeMTS(data, size, mesh, quiet)) MeshVRMLBlock("OBJECT", mesh);
  return 0;
}
