// Targa files as the studio's preview and the mesh preview's textures read them.
#include "fuzz/image_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrel::fuzz::DecodePicture(kestrel::ImageKind::Targa, data, size);
  return 0;
}
