// Stands in for OpenGL in the preview's tests: records the display lists, textures and uploads it
// is asked for instead of drawing.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "studio/mesh/gl_textures.h"
#include "studio/mesh/mesh_display_lists.h"

namespace kestrel::testing {

class RecordingGL : public DisplayListTarget, public TextureUploader {
 public:
  struct List {
    std::vector<uint32_t> bound;  // textures bound inside the list
    std::vector<MeshCorner> corners;
    bool ended = false;
  };
  struct Upload {
    uint32_t name;
    uint16_t width, height;
    TexturePixelFormat format;
    std::vector<uint8_t> pixels;
  };

  std::map<uint32_t, List> lists;  // compiled and not deleted
  std::vector<uint32_t> deletedLists, deletedTextures;
  std::vector<Upload> uploads;

  uint32_t BeginList() override {
    current_ = ++last_name_;
    lists[current_] = {};
    return current_;
  }
  void BindTexture(uint32_t texture) override { lists[current_].bound.push_back(texture); }
  void BeginTriangles() override { in_triangles_ = true; }
  void Corner(const MeshCorner& corner) override {
    if (in_triangles_) lists[current_].corners.push_back(corner);
  }
  void EndTriangles() override { in_triangles_ = false; }
  void EndList() override { lists[current_].ended = true; }
  void DeleteList(uint32_t list) override {
    deletedLists.push_back(list);
    lists.erase(list);
  }
  void DeleteTexture(uint32_t texture) override { deletedTextures.push_back(texture); }
  uint32_t UploadTexture(uint16_t width, uint16_t height, TexturePixelFormat format,
                         const std::vector<uint8_t>& pixels) override {
    uploads.push_back({++last_name_, width, height, format, pixels});
    return last_name_;
  }

 private:
  uint32_t last_name_ = 0;
  uint32_t current_ = 0;
  bool in_triangles_ = false;
};

}  // namespace kestrel::testing
