// The mesh preview's OpenGL side: the state set once for a context, the projection, a frame, and
// the real display lists and textures behind the interfaces the build and the loaders use. Plain
// OpenGL 1.1 and GLU; every call needs the preview's context to be current.
#pragma once

#include <cstdint>
#include <vector>

#include "studio/mesh/gl_textures.h"
#include "studio/mesh/mesh_display_lists.h"
#include "studio/mesh/mesh_view_state.h"

namespace kestrel {

// Background colour, fog, lighting model, additive blend function: once per context.
void GLMeshViewInit();
// Viewport and a 45-degree perspective; a view of zero height is drawn as if one pixel high.
void GLMeshViewResize(int width, int height);
// Clears, places light and model by the camera and calls every list of the model on show.
void GLMeshViewDraw(const MeshViewState& view);
// Lines or filled faces for front and back; this lives in the context and stays for later meshes.
void GLMeshViewSetWireframe(bool on);

class GLDisplayLists : public DisplayListTarget {
 public:
  uint32_t BeginList() override;
  void BindTexture(uint32_t texture) override;
  void BeginTriangles() override;
  void Corner(const MeshCorner& corner) override;
  void EndTriangles() override;
  void EndList() override;
  void DeleteList(uint32_t list) override;
  void DeleteTexture(uint32_t texture) override;
};

// Builds the whole mipmap chain with GLU, modulating the lit colour. The rows come without
// padding, so they are read with an unpack alignment of 1 (the context's setting is put back).
class GLTextureUploader : public TextureUploader {
 public:
  uint32_t UploadTexture(uint16_t width, uint16_t height, TexturePixelFormat format,
                         const std::vector<uint8_t>& pixels) override;
};

}  // namespace kestrel
