// What the mesh preview shows and how: the camera, the display options, the mouse drag in progress
// and the OpenGL names of the model on show. One instance lives as long as the main window; the
// camera and the options carry over from one mesh to the next.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrel {

enum class MeshMouseMode { None, Rotate, Zoom };
enum class MeshMouseButton { Left, Right, Middle };

struct MeshViewState {
  float RotX = 20.0f;  // degrees
  float RotY = -45.0f;
  float RotZ = 0.0f;
  float TransZ = -4.0f;  // distance from the eye, negative = in front
  bool BlendOn = false;
  bool WireframeOn = false;
  bool TexturesOn = true;
  MeshMouseMode MouseMode = MeshMouseMode::None;
  int LastX = 0, LastY = 0;
  int LastZoomY = 0;
  std::vector<uint32_t> MeshLists;     // one display list per material object
  std::vector<uint32_t> MeshTextures;  // one texture per material object, 0 where none was loaded
  std::optional<int> CurrentMeshEntry;  // table index of the entry last asked to be shown
};

// The mouse over the view; positions in view pixels, y growing downwards. The caller redraws
// after every move, whatever the mode.
void MeshMouseDown(MeshViewState& view, MeshMouseButton button, int x, int y);
void MeshMouseUp(MeshViewState& view);
void MeshMouseMove(MeshViewState& view, bool shift, int x, int y);
// The wheel moves the model like a right drag: one notch (120 units) away from the user brings it
// half a unit closer.
void MeshMouseWheel(MeshViewState& view, int angleDelta);

}  // namespace kestrel
