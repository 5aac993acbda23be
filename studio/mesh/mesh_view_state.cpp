#include "studio/mesh/mesh_view_state.h"

namespace kestrel {

void MeshMouseDown(MeshViewState& view, MeshMouseButton button, int x, int y) {
  switch (button) {
    case MeshMouseButton::Left:
      view.MouseMode = MeshMouseMode::Rotate;
      view.LastX = x;
      view.LastY = y;
      break;
    case MeshMouseButton::Right:
      view.MouseMode = MeshMouseMode::Zoom;
      view.LastZoomY = y;
      break;
    case MeshMouseButton::Middle: break;
  }
}

void MeshMouseUp(MeshViewState& view) { view.MouseMode = MeshMouseMode::None; }

void MeshMouseMove(MeshViewState& view, bool shift, int x, int y) {
  if (view.MouseMode == MeshMouseMode::Rotate) {
    view.RotX += static_cast<float>(y - view.LastY) / 2.0f;
    if (shift)
      view.RotY += static_cast<float>(x - view.LastX) / 2.0f;
    else
      view.RotZ += static_cast<float>(x - view.LastX) / 2.0f;
    view.LastX = x;
    view.LastY = y;
  } else if (view.MouseMode == MeshMouseMode::Zoom) {
    view.TransZ -= static_cast<float>(y - view.LastZoomY) / 5.0f;
    view.LastZoomY = y;
  }
}

void MeshMouseWheel(MeshViewState& view, int angleDelta) {
  view.TransZ += static_cast<float>(angleDelta) / 120.0f * 0.5f;
}

}  // namespace kestrel
