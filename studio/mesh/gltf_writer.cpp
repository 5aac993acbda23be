#include "studio/mesh/gltf_writer.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <stdexcept>

#include "archive/byte_reader.h"
#include "archive/file_io.h"
#include "archive/file_replacement.h"
#include "archive/mas_format.h"
#include "studio/mesh/json_writer.h"

namespace kestrel {
namespace {

constexpr int kFloat = 5126, kUnsignedShort = 5123, kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;
constexpr int kLinear = 9729, kLinearMipmapLinear = 9987, kRepeat = 10497;
constexpr uint32_t kGlbMagic = 0x46546C67, kGlbVersion = 2, kJsonChunk = 0x4E4F534A, kBinChunk = 0x004E4942;
// The index value that a reader may take as "restart the strip"; glTF forbids it in indices.
constexpr uint32_t kShortRestart = 0xFFFF;

struct BufferView {
  size_t Offset, Length;
  int Target;  // 0: none (pictures)
};

struct Accessor {
  size_t View;
  int ComponentType;
  size_t Count;
  const char* Type;
  std::vector<float> Min, Max;  // positions only
};

// The one binary buffer. Every view starts on a four-byte boundary, which every accessor's
// component size divides, and the buffer's length is a multiple of four as GLB wants it.
class Buffer {
 public:
  size_t Add(const std::vector<uint8_t>& bytes, int target) {
    views_.push_back({data_.Size(), bytes.size(), target});
    data_.Raw(bytes.data(), bytes.size());
    while (data_.Size() % 4) data_.U8(0);
    return views_.size() - 1;
  }
  const std::vector<uint8_t>& Bytes() const { return data_.Bytes(); }
  const std::vector<BufferView>& Views() const { return views_; }

 private:
  ByteWriter data_;
  std::vector<BufferView> views_;
};

template <size_t N>
std::vector<uint8_t> Floats(const std::vector<std::array<float, N>>& items) {
  ByteWriter w;
  for (const auto& item : items)
    for (float f : item) w.F32(f);
  return std::move(w.Bytes());
}

// A texture name made safe as part of a file name.
std::string FileNamePart(const std::string& name) {
  std::string stem = name.substr(0, name.rfind('.'));
  for (char& c : stem) {
    const auto u = static_cast<unsigned char>(c);
    if (!(std::isalnum(u) && u < 0x80) && c != '-' && c != '_') c = '_';
  }
  return stem.empty() ? "texture" : stem;
}

// A relative URI for a file name: every byte but the unreserved ones percent-encoded.
std::string UriOf(const std::string& fileName) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : fileName) {
    const auto u = static_cast<unsigned char>(c);
    if ((std::isalnum(u) && u < 0x80) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

std::string Stem(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

// Texture names in the order their materials first use them, each with a PNG.
std::vector<std::string> EmbeddedTextures(const GltfContent& content) {
  std::vector<std::string> names;
  for (const GltfPrimitive& p : content.Geometry.Primitives)
    if (content.TexturePngs.count(p.TextureName) &&
        std::find(names.begin(), names.end(), p.TextureName) == names.end())
      names.push_back(p.TextureName);
  return names;
}

// File names for the ".gltf" form's pictures, unique among themselves ignoring letter case.
std::vector<std::string> PictureFileNames(const std::vector<std::string>& textures, const std::string& stem) {
  std::vector<std::string> names;
  for (const std::string& texture : textures) {
    const std::string base = stem + "_" + FileNamePart(texture);
    std::string name = base + ".png";
    for (int n = 2; std::any_of(names.begin(), names.end(),
                                [&](const std::string& other) { return EqualsIgnoreAsciiCase(other, name); });
         ++n)
      name = base + "_" + std::to_string(n) + ".png";
    names.push_back(name);
  }
  return names;
}

void WriteAccessor(JsonWriter& json, const Accessor& a) {
  json.BeginObject().Member("bufferView", a.View).Member("componentType", a.ComponentType).Member("count", a.Count);
  json.Member("type", a.Type);
  if (!a.Min.empty()) {
    // Written as the exact value of the stored float, so a reader compares like with like.
    json.Key("min").BeginArray();
    for (float f : a.Min) json.Number(f);
    json.EndArray().Key("max").BeginArray();
    for (float f : a.Max) json.Number(f);
    json.EndArray();
  }
  json.EndObject();
}

struct Document {
  std::string Json;
  std::vector<uint8_t> Binary;
};

// `pictureUris` empty: pictures go into the buffer (".glb"); otherwise one URI per embedded texture.
Document BuildDocument(const GltfContent& content, GltfForm form, const std::string& bufferUri,
                       const std::vector<std::string>& pictureUris) {
  const std::vector<GltfPrimitive>& primitives = content.Geometry.Primitives;
  const std::vector<std::string> textures = EmbeddedTextures(content);
  Buffer buffer;
  std::vector<Accessor> accessors;

  struct PrimitiveAccessors {
    size_t Position, Normal, TexCoord, Indices;
  };
  std::vector<PrimitiveAccessors> used;
  for (const GltfPrimitive& p : primitives) {
    PrimitiveAccessors a;
    Accessor position{buffer.Add(Floats(p.Positions), kArrayBuffer), kFloat, p.Positions.size(), "VEC3", {}, {}};
    position.Min.assign(3, std::numeric_limits<float>::max());
    position.Max.assign(3, std::numeric_limits<float>::lowest());
    for (const auto& v : p.Positions)
      for (size_t k = 0; k < 3; ++k) {
        position.Min[k] = std::min(position.Min[k], v[k]);
        position.Max[k] = std::max(position.Max[k], v[k]);
      }
    a.Position = accessors.size();
    accessors.push_back(std::move(position));
    a.Normal = accessors.size();
    accessors.push_back({buffer.Add(Floats(p.Normals), kArrayBuffer), kFloat, p.Normals.size(), "VEC3", {}, {}});
    a.TexCoord = accessors.size();
    accessors.push_back({buffer.Add(Floats(p.TexCoords), kArrayBuffer), kFloat, p.TexCoords.size(), "VEC2", {}, {}});

    const bool shortIndices = std::all_of(p.Indices.begin(), p.Indices.end(), [](uint32_t i) { return i < kShortRestart; });
    ByteWriter indices;
    for (uint32_t i : p.Indices) shortIndices ? indices.U16(static_cast<uint16_t>(i)) : indices.U32(i);
    a.Indices = accessors.size();
    accessors.push_back({buffer.Add(indices.Bytes(), kElementArrayBuffer), shortIndices ? kUnsignedShort : kUnsignedInt,
                         p.Indices.size(), "SCALAR", {}, {}});
    used.push_back(a);
  }
  std::vector<size_t> pictureViews;
  if (pictureUris.empty())
    for (const std::string& t : textures) pictureViews.push_back(buffer.Add(content.TexturePngs.at(t), 0));

  JsonWriter json(form == GltfForm::Text ? 2 : 0);
  json.BeginObject();
  json.Key("asset").BeginObject().Member("generator", kGltfGenerator).Member("version", "2.0").EndObject();
  json.Member("scene", 0);
  json.Key("scenes").BeginArray().BeginObject().Member("name", content.Name);
  json.Key("nodes").BeginArray().Integer(0).EndArray().EndObject().EndArray();
  json.Key("nodes").BeginArray().BeginObject().Member("name", content.Name);
  if (!primitives.empty()) json.Member("mesh", 0);
  json.EndObject().EndArray();

  if (!primitives.empty()) {
    json.Key("meshes").BeginArray().BeginObject().Member("name", content.Name).Key("primitives").BeginArray();
    for (size_t i = 0; i < primitives.size(); ++i) {
      json.BeginObject().Key("attributes").BeginObject();
      json.Member("POSITION", used[i].Position).Member("NORMAL", used[i].Normal).Member("TEXCOORD_0", used[i].TexCoord);
      json.EndObject().Member("indices", used[i].Indices).Member("material", i).EndObject();
    }
    json.EndArray().EndObject().EndArray();

    // One material per primitive: each material object has its own primitive.
    json.Key("materials").BeginArray();
    for (const GltfPrimitive& p : primitives) {
      json.BeginObject().Member("name", p.MaterialName).Key("pbrMetallicRoughness").BeginObject();
      const auto t = std::find(textures.begin(), textures.end(), p.TextureName);
      if (t != textures.end())
        json.Key("baseColorTexture").BeginObject().Member("index", static_cast<size_t>(t - textures.begin())).EndObject();
      else
        json.Key("baseColorFactor").BeginArray().Number(1).Number(1).Number(1).Number(1).EndArray();
      json.Member("metallicFactor", 0).Member("roughnessFactor", 1).EndObject().EndObject();
    }
    json.EndArray();
  }

  if (!textures.empty()) {
    json.Key("textures").BeginArray();
    for (size_t i = 0; i < textures.size(); ++i)
      json.BeginObject().Member("name", textures[i]).Member("sampler", 0).Member("source", i).EndObject();
    json.EndArray();
    json.Key("images").BeginArray();
    for (size_t i = 0; i < textures.size(); ++i) {
      json.BeginObject().Member("name", textures[i]);
      if (pictureUris.empty())
        json.Member("bufferView", pictureViews[i]).Member("mimeType", "image/png");
      else
        json.Member("uri", pictureUris[i]);
      json.EndObject();
    }
    json.EndArray();
    // The preview's textures repeat and are drawn with mipmaps.
    json.Key("samplers").BeginArray().BeginObject().Member("magFilter", kLinear).Member("minFilter", kLinearMipmapLinear);
    json.Member("wrapS", kRepeat).Member("wrapT", kRepeat).EndObject().EndArray();
  }

  if (!accessors.empty()) {
    json.Key("accessors").BeginArray();
    for (const Accessor& a : accessors) WriteAccessor(json, a);
    json.EndArray();
  }
  if (!buffer.Views().empty()) {
    json.Key("bufferViews").BeginArray();
    for (const BufferView& v : buffer.Views()) {
      json.BeginObject().Member("buffer", 0).Member("byteOffset", v.Offset).Member("byteLength", v.Length);
      if (v.Target) json.Member("target", v.Target);
      json.EndObject();
    }
    json.EndArray();
  }
  if (!buffer.Bytes().empty()) {
    json.Key("buffers").BeginArray().BeginObject().Member("byteLength", buffer.Bytes().size());
    if (form == GltfForm::Text) json.Member("uri", bufferUri);
    json.EndObject().EndArray();
  }
  json.EndObject();
  return {json.Text() + (form == GltfForm::Text ? "\n" : ""), buffer.Bytes()};
}

uint32_t Size32(size_t size) {
  if (size > std::numeric_limits<uint32_t>::max())
    throw std::length_error("the mesh is too large for a glTF file (4 GiB or more)");
  return static_cast<uint32_t>(size);
}

std::vector<uint8_t> Glb(const Document& doc) {
  std::string json = doc.Json;
  while (json.size() % 4) json += ' ';
  const bool hasBinary = !doc.Binary.empty();
  const size_t total = 12 + 8 + json.size() + (hasBinary ? 8 + doc.Binary.size() : 0);
  ByteWriter w;
  w.U32(kGlbMagic);
  w.U32(kGlbVersion);
  w.U32(Size32(total));
  w.U32(Size32(json.size()));
  w.U32(kJsonChunk);
  w.Raw(json.data(), json.size());
  if (hasBinary) {
    w.U32(Size32(doc.Binary.size()));
    w.U32(kBinChunk);
    w.Raw(doc.Binary.data(), doc.Binary.size());
  }
  return std::move(w.Bytes());
}

std::vector<uint8_t> BytesOf(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

std::optional<GltfForm> GltfFormOfPath(const std::string& path) {
  const std::string name = FileNameOf(path);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return std::nullopt;
  const std::string extension = name.substr(dot);
  if (EqualsIgnoreAsciiCase(extension, ".glb")) return GltfForm::Binary;
  if (EqualsIgnoreAsciiCase(extension, ".gltf")) return GltfForm::Text;
  return std::nullopt;
}

std::vector<GltfFile> LayOutGltf(const GltfContent& content, const std::string& path, GltfForm form) {
  if (form == GltfForm::Binary) return {{path, Glb(BuildDocument(content, form, {}, {}))}};

  const std::string directory = DirectoryOf(path);
  const std::string stem = Stem(FileNameOf(path));
  const std::vector<std::string> textures = EmbeddedTextures(content);
  const std::vector<std::string> pictures = PictureFileNames(textures, stem);
  std::vector<std::string> uris;
  for (const std::string& name : pictures) uris.push_back(UriOf(name));
  const std::string bufferName = stem + ".bin";
  // Without pictures the list stays empty, which the builder takes as "embed": there is nothing to embed.
  const Document doc = BuildDocument(content, form, UriOf(bufferName), uris);

  std::vector<GltfFile> files;
  if (!doc.Binary.empty()) files.push_back({JoinPath(directory, bufferName), doc.Binary});
  for (size_t i = 0; i < textures.size(); ++i)
    files.push_back({JoinPath(directory, pictures[i]), content.TexturePngs.at(textures[i])});
  files.push_back({path, BytesOf(doc.Json)});
  return files;
}

void WriteGltfFiles(const std::vector<GltfFile>& files) {
  for (const GltfFile& f : files) ReplaceFileContents(f.Path, f.Bytes.data(), f.Bytes.size());
}

}  // namespace kestrel
