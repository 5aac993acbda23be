// PNG pictures as import-image, import-all and the studio's picture import read them.
#include "fuzz/image_fuzz.h"
#include "studio/image/picture_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrel::fuzz::DecodeWith(kestrel::DecodePng, data, size);
  return 0;
}
