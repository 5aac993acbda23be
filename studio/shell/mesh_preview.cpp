// The OpenGL preview of the selected mesh entry.
#include "main_window.h"

namespace kestrel::studio {

// Building and drawing the mesh comes with the studio's mesh preview.
void TFKestrel::ShowMTS(int /*index*/) {}

}  // namespace kestrel::studio
