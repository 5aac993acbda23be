// libFuzzer entry point: the first byte picks the decoder, the rest is the file.
#include <cstddef>
#include <cstdint>
#include <new>

#include "studio/image/image_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const kestrel::ImageKind kind = static_cast<kestrel::ImageKind>(data[0] % 3);
  try {
    const kestrel::RgbaImage image = kestrel::DecodeImage(kind, data + 1, size - 1);
    if (image.Pixels.size() != static_cast<size_t>(image.Width) * image.Height * 4) __builtin_trap();
  } catch (const kestrel::ImageDecodeError&) {
  } catch (const std::bad_alloc&) {
  }
  return 0;
}
