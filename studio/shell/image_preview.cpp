// The image preview of the selected entry.
#include "main_window.h"

namespace kestrel::studio {

// Decoding BMP, TGA and JPG entries into the image view comes with the image work of the studio.
void TFKestrel::ShowImageEntry(int /*index*/) {}

}  // namespace kestrel::studio
