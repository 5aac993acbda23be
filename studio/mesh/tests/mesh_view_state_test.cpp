// The camera under the mouse: half a degree per pixel of left drag, a fifth of a unit per pixel of
// right drag, and nothing while no button is down.
#include <gtest/gtest.h>

#include "studio/mesh/mesh_view_state.h"

namespace kestrel {
namespace {

TEST(MeshViewState, StartsAtTheInitialCamera) {
  const MeshViewState view;
  EXPECT_EQ(view.RotX, 20.0f);
  EXPECT_EQ(view.RotY, -45.0f);
  EXPECT_EQ(view.RotZ, 0.0f);
  EXPECT_EQ(view.TransZ, -4.0f);
  EXPECT_TRUE(view.TexturesOn);
  EXPECT_FALSE(view.BlendOn || view.WireframeOn);
}

TEST(MeshViewState, DragsTurnAndMoveTheModel) {
  struct Case {
    const char* what;
    MeshMouseButton button;
    bool shift;
    float rotX, rotY, rotZ, transZ;
  };
  // Each drags from (100, 100) to (110, 104).
  const Case cases[] = {
      {"left: X and Z", MeshMouseButton::Left, false, 22, -45, 5, -4},
      {"left with Shift: X and Y", MeshMouseButton::Left, true, 22, -40, 0, -4},
      {"right: away from the eye as it goes down", MeshMouseButton::Right, false, 20, -45, 0, -4.8f},
      {"middle: nothing", MeshMouseButton::Middle, false, 20, -45, 0, -4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MeshViewState view;
    MeshMouseDown(view, c.button, 100, 100);
    MeshMouseMove(view, c.shift, 106, 102);
    MeshMouseMove(view, c.shift, 110, 104);
    EXPECT_FLOAT_EQ(view.RotX, c.rotX);
    EXPECT_FLOAT_EQ(view.RotY, c.rotY);
    EXPECT_FLOAT_EQ(view.RotZ, c.rotZ);
    EXPECT_FLOAT_EQ(view.TransZ, c.transZ);

    // After the button is up, moving changes nothing.
    MeshMouseUp(view);
    MeshMouseMove(view, c.shift, 300, 300);
    EXPECT_FLOAT_EQ(view.RotX, c.rotX);
    EXPECT_FLOAT_EQ(view.TransZ, c.transZ);
  }
}

TEST(MeshViewState, WheelMovesTheModelHalfAUnitPerNotch) {
  MeshViewState view;
  MeshMouseWheel(view, 240);
  EXPECT_FLOAT_EQ(view.TransZ, -3.0f);
  MeshMouseWheel(view, -120);
  EXPECT_FLOAT_EQ(view.TransZ, -3.5f);
}

}  // namespace
}  // namespace kestrel
