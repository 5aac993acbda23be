#include "studio/mesh/testing/gltf_reader.h"

#include <png.h>

#include <cstring>
#include <stdexcept>

#include "archive/file_io.h"

namespace kestrel::testing {
namespace {

class Parser {
 public:
  explicit Parser(const std::string& text) : s_(text) {}

  Json Document() {
    Json v = Value();
    Space();
    if (i_ != s_.size()) Fail("text after the value");
    return v;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at byte " + std::to_string(i_));
  }
  void Space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
  }
  bool Take(char c) {
    Space();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  void Expect(char c) {
    if (!Take(c)) Fail(std::string("expected '") + c + "'");
  }
  bool Word(const char* w) {
    const size_t n = std::strlen(w);
    if (s_.compare(i_, n, w) != 0) return false;
    i_ += n;
    return true;
  }

  Json Value() {
    Space();
    if (i_ >= s_.size()) Fail("missing value");
    const char c = s_[i_];
    if (c == '{') return Object();
    if (c == '[') return Array();
    if (c == '"') return Json{StringText()};
    if (Word("true")) return Json{true};
    if (Word("false")) return Json{false};
    if (Word("null")) return Json{nullptr};
    return Json{NumberValue()};
  }

  Json Object() {
    Expect('{');
    Json::Object members;
    if (Take('}')) return Json{members};
    do {
      Space();
      std::string key = StringText();
      Expect(':');
      if (!members.emplace(key, Value()).second) Fail("duplicate key " + key);
    } while (Take(','));
    Expect('}');
    return Json{members};
  }

  Json Array() {
    Expect('[');
    Json::Array items;
    if (Take(']')) return Json{items};
    do items.push_back(Value());
    while (Take(','));
    Expect(']');
    return Json{items};
  }

  std::string StringText() {
    if (i_ >= s_.size() || s_[i_] != '"') Fail("expected a string");
    ++i_;
    std::string out;
    while (i_ < s_.size() && s_[i_] != '"') {
      const char c = s_[i_++];
      if (static_cast<unsigned char>(c) < 0x20) Fail("control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) Fail("unfinished escape");
      const char e = s_[i_++];
      switch (e) {
        case '"': case '\\': case '/': out += e; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          if (i_ + 4 > s_.size()) Fail("short \\u escape");
          const unsigned code = static_cast<unsigned>(std::stoul(s_.substr(i_, 4), nullptr, 16));
          i_ += 4;
          if (code >= 0x80) Fail("only ASCII \\u escapes are expected here");
          out += static_cast<char>(code);
          break;
        }
        default: Fail("bad escape");
      }
    }
    if (i_ >= s_.size()) Fail("unfinished string");
    ++i_;
    return out;
  }

  double NumberValue() {
    const size_t start = i_;
    if (i_ < s_.size() && s_[i_] == '-') ++i_;
    while (i_ < s_.size() && std::strchr("0123456789.eE+-", s_[i_])) ++i_;
    if (start == i_) Fail("unexpected character");
    const std::string text = s_.substr(start, i_ - start);
    if (text.find(',') != std::string::npos) Fail("comma in a number");
    size_t used = 0;
    const double v = std::stod(text, &used);  // the tests run in the "C" numeric locale
    if (used != text.size()) Fail("bad number " + text);
    return v;
  }

  const std::string& s_;
  size_t i_ = 0;
};

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  if (at + 4 > b.size()) throw std::runtime_error("GLB: read past the end");
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// A relative URI's file name: %XX sequences decoded.
std::string UriPath(const std::string& uri) {
  std::string out;
  for (size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size()) {
      out += static_cast<char>(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += uri[i];
    }
  }
  return out;
}

}  // namespace

bool Json::Has(const std::string& key) const {
  const auto* o = std::get_if<Object>(&value);
  return o && o->count(key);
}
const Json& Json::operator[](const std::string& key) const {
  const Object& o = std::get<Object>(value);
  const auto it = o.find(key);
  if (it == o.end()) throw std::runtime_error("JSON: no member " + key);
  return it->second;
}
const Json& Json::operator[](size_t index) const { return std::get<Array>(value).at(index); }
size_t Json::Size() const {
  if (const auto* a = std::get_if<Array>(&value)) return a->size();
  return std::get<Object>(value).size();
}
double Json::Number() const { return std::get<double>(value); }
const std::string& Json::String() const { return std::get<std::string>(value); }

Json ParseJson(const std::string& text) { return Parser(text).Document(); }

GltfRead ReadGlb(const std::vector<uint8_t>& bytes) {
  if (U32(bytes, 0) != 0x46546C67 || U32(bytes, 4) != 2) throw std::runtime_error("GLB: bad header");
  if (U32(bytes, 8) != bytes.size()) throw std::runtime_error("GLB: length field differs from the file");
  const uint32_t jsonLength = U32(bytes, 12);
  if (U32(bytes, 16) != 0x4E4F534A || jsonLength % 4) throw std::runtime_error("GLB: bad JSON chunk");
  GltfRead read;
  read.Doc = ParseJson(std::string(bytes.begin() + 20, bytes.begin() + 20 + jsonLength));
  const size_t next = 20 + jsonLength;
  if (next < bytes.size()) {
    const uint32_t binLength = U32(bytes, next);
    if (U32(bytes, next + 4) != 0x004E4942 || binLength % 4 || next + 8 + binLength != bytes.size())
      throw std::runtime_error("GLB: bad BIN chunk");
    read.Buffer.assign(bytes.begin() + next + 8, bytes.end());
  }
  return read;
}

GltfRead ReadGltfFile(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  GltfRead read;
  read.Doc = ParseJson(std::string(bytes.begin(), bytes.end()));
  read.Directory = DirectoryOf(path);
  if (read.Doc.Has("buffers")) read.Buffer = ReadWholeFile(JoinPath(read.Directory, UriPath(read.Doc["buffers"][0]["uri"].String())));
  return read;
}

GltfRead ReadGltfAny(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  return !bytes.empty() && bytes[0] == 'g' ? ReadGlb(bytes) : ReadGltfFile(path);
}

std::vector<float> GltfRead::Floats(size_t accessor) const {
  const Json& a = Doc["accessors"][accessor];
  if (a["componentType"].Number() != 5126) throw std::runtime_error("not a float accessor");
  const std::string& type = a["type"].String();
  const size_t width = type == "VEC3" ? 3 : type == "VEC2" ? 2 : 1;
  const Json& view = Doc["bufferViews"][a["bufferView"].Index()];
  const size_t offset = view["byteOffset"].Index(), count = a["count"].Index() * width;
  if (offset + 4 * count > Buffer.size() || 4 * count > view["byteLength"].Index())
    throw std::runtime_error("accessor past its view");
  std::vector<float> out(count);
  std::memcpy(out.data(), Buffer.data() + offset, 4 * count);
  return out;
}

std::vector<uint32_t> GltfRead::Indices(size_t accessor) const {
  const Json& a = Doc["accessors"][accessor];
  const size_t size = a["componentType"].Number() == 5123 ? 2 : 4;
  const Json& view = Doc["bufferViews"][a["bufferView"].Index()];
  const size_t offset = view["byteOffset"].Index(), count = a["count"].Index();
  if (offset + size * count > Buffer.size()) throw std::runtime_error("accessor past its buffer");
  std::vector<uint32_t> out;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = Buffer.data() + offset + size * i;
    out.push_back(size == 2 ? p[0] | (p[1] << 8) : U32(Buffer, offset + size * i));
  }
  return out;
}

std::vector<uint8_t> GltfRead::ImageBytes(size_t image) const {
  const Json& i = Doc["images"][image];
  if (i.Has("uri")) return ReadWholeFile(JoinPath(Directory, UriPath(i["uri"].String())));
  const Json& view = Doc["bufferViews"][i["bufferView"].Index()];
  const size_t offset = view["byteOffset"].Index(), length = view["byteLength"].Index();
  return {Buffer.begin() + static_cast<ptrdiff_t>(offset), Buffer.begin() + static_cast<ptrdiff_t>(offset + length)};
}

Rgba DecodePngForTest(const std::vector<uint8_t>& png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size()))
    throw std::runtime_error(std::string("PNG: ") + image.message);
  image.format = PNG_FORMAT_RGBA;
  Rgba out;
  out.Width = image.width;
  out.Height = image.height;
  out.Pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.Pixels.data(), 0, nullptr))
    throw std::runtime_error(std::string("PNG: ") + image.message);
  return out;
}

}  // namespace kestrel::testing
