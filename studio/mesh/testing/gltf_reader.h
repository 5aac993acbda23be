// Test-side reader of the glTF files the exporter writes: a plain JSON parser and accessors over
// the buffer, so that tests check what a glTF reader would get, not what the writer meant.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace kestrel::testing {

struct Json {
  using Array = std::vector<Json>;
  using Object = std::map<std::string, Json>;
  std::variant<std::nullptr_t, bool, double, std::string, Array, Object> value;

  bool Has(const std::string& key) const;
  const Json& operator[](const std::string& key) const;  // throws when missing
  const Json& operator[](size_t index) const;
  size_t Size() const;  // of an array or object
  double Number() const;
  size_t Index() const { return static_cast<size_t>(Number()); }
  const std::string& String() const;
};

// Throws std::runtime_error on anything that is not one complete JSON text.
Json ParseJson(const std::string& text);

struct GltfRead {
  Json Doc;
  std::vector<uint8_t> Buffer;  // buffer 0; empty when there is none
  std::string Directory;        // where a ".gltf" file's URIs point

  std::vector<float> Floats(size_t accessor) const;  // every component in order
  std::vector<uint32_t> Indices(size_t accessor) const;
  std::vector<uint8_t> ImageBytes(size_t image) const;
};

// A ".glb" file's bytes; throws when the container is malformed.
GltfRead ReadGlb(const std::vector<uint8_t>& bytes);
// A ".gltf" file and the buffer its URI names.
GltfRead ReadGltfFile(const std::string& path);
// Either form, by the first bytes.
GltfRead ReadGltfAny(const std::string& path);

struct Rgba {
  uint32_t Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;  // R, G, B, A, top row first
};
// Decodes a PNG with libpng; throws when it cannot.
Rgba DecodePngForTest(const std::vector<uint8_t>& png);

}  // namespace kestrel::testing
