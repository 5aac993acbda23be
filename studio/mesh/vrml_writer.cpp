#include "studio/mesh/vrml_writer.h"

#include <cmath>
#include <vector>

#include "archive/file_error.h"
#include "studio/mesh/mesh_traversal.h"
#include "studio/mesh/number_format.h"
#include "studio/mesh/text_file.h"

namespace kestrel {
namespace {

using mesh_text::FixedFinite;

constexpr char kNoTexture[] = "BLACK.BMP";

class VRMLText {
 public:
  void Line(int indent, const std::string& text) {
    text_.append(static_cast<size_t>(indent), ' ');
    text_ += text;
    text_ += "\r\n";
  }
  void Empty() { text_ += "\r\n"; }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

// What the writer needs of one material, the same for both layouts.
struct MaterialView {
  const std::string* Name;
  const std::string* Texture;  // null when the material has no bitmap
};

std::string Two(int v) {
  return v >= 0 && v < 10 ? "0" + std::to_string(v) : std::to_string(v);
}

// Spaces and "#" would end a VRML name; they become "_".
std::string DefName(const std::string& materialName) {
  std::string name = materialName;
  for (char& c : name)
    if (c == ' ' || c == '#') c = '_';
  return name;
}

// A quoted VRML string. A quote or backslash in a stored name would end the string early, so
// those two are escaped; every other byte is written as stored.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string Triple(double a, double b, double c) {
  return FixedFinite(a, 4) + " " + FixedFinite(b, 4) + " " + FixedFinite(c, 4);
}

// A vertex list entry: "," after every entry but the last of its list.
void ListEntry(VRMLText& out, const std::string& text, size_t index, size_t count) {
  out.Line(30, index + 1 < count ? text + "," : text);
}

void WriteMaterial(VRMLText& out, size_t i, const MaterialView& material, const TMTS_Cube& cube) {
  const std::string def = DefName(*material.Name);
  // Object header i carries material i's vertices; a material without one draws nothing.
  const std::vector<TMTS_Vertex>& vertices = MaterialVertices(cube, i);
  const double wx = cube.WorldPos[0], wy = cube.WorldPos[1], wz = cube.WorldPos[2];
  const size_t count = vertices.size();

  out.Line(12, "DEF " + def + " Transform {");
  out.Line(15, "children [");
  out.Line(18, "Shape {");
  out.Line(21, "appearance Appearance {");
  out.Line(24, "material Material {");
  out.Line(27, "diffuseColor 1 1 1");
  out.Line(27, "transparency 0");
  out.Line(27, "ambientIntensity 0");
  out.Line(24, "}");
  out.Line(24, "texture ImageTexture {");
  out.Line(27, "url " + Quoted(material.Texture ? *material.Texture : std::string(kNoTexture)));
  out.Line(24, "}");
  out.Line(21, "}");
  out.Line(21, "geometry DEF " + def + "-FACES IndexedFaceSet {");
  out.Line(24, "ccw TRUE");
  out.Line(24, "coord DEF " + def + "-COORD Coordinate {");
  out.Line(27, "point [");
  // Moved by the world position; Z reversed to turn the stored left-handed frame into VRML's.
  for (size_t k = 0; k < count; ++k) {
    const TMTS_Vertex& v = vertices[k];
    ListEntry(out, Triple(wx + v.X, wy + v.Y, -(wz + v.Z)), k, count);
  }
  out.Line(27, "]");
  out.Line(24, "}");
  out.Line(24, "normal Normal {");
  out.Line(27, "vector [");
  // The normals follow the positions into the mirrored frame, or the lighting would be mirrored.
  for (size_t k = 0; k < count; ++k) {
    const TMTS_Vertex& v = vertices[k];
    ListEntry(out, Triple(v.NX, v.NY, -static_cast<double>(v.NZ)), k, count);
  }
  out.Line(27, "]");
  out.Line(24, "}");
  out.Line(24, "normalPerVertex TRUE");
  out.Line(24, "texCoord DEF " + def + "-TEXCOORD TextureCoordinate {");
  out.Line(27, "point [");
  for (size_t k = 0; k < count; ++k) {
    const TMTS_Vertex& v = vertices[k];
    ListEntry(out, FixedFinite(v.U, 8) + " " + FixedFinite(1.0 - static_cast<double>(v.V), 8), k, count);
  }
  out.Line(27, "]");
  out.Line(24, "}");
  out.Line(24, "coordIndex [");
  const std::vector<TMTS_Polygon>& polygons = cube.Polygons;
  for (size_t j : MaterialTriangles(cube, i)) {
    const TMTS_Polygon& p = polygons[j];
    std::string line = std::to_string(p.V0) + " " + std::to_string(p.V1) + " " + std::to_string(p.V2) + " -1";
    // Only the table's very last triangle goes without ",", whichever material it belongs to.
    if (j + 1 < polygons.size()) line += ",";
    out.Line(27, line);
  }
  out.Line(24, "]");
  out.Line(21, "}");
  out.Line(18, "}");
  out.Line(15, "]");
  out.Line(12, "}");
}

std::string Block(const std::string& objectName, const std::vector<MaterialView>& materials, const TMTS_Cube& cube) {
  VRMLText out;
  out.Line(6, "DEF " + objectName + " Transform {");
  out.Line(9, "children [");
  for (size_t i = 0; i < materials.size(); ++i) WriteMaterial(out, i, materials[i], cube);
  out.Line(9, "]");
  out.Line(6, "}");
  return out.Take();
}

void HeaderStart(VRMLText& out, const std::string& date) {
  out.Line(0, "#VRML V2.0 utf8");
  out.Empty();
  out.Line(0, std::string("# Produced by ") + kVRMLProgramName + " VRML Exporter, version " + kVRMLProgramVersion);
  out.Line(0, "# Date: " + date);
  out.Empty();
  out.Line(0, "DEF MASTER Transform {");
}

bool Write(const std::string& path, const std::string& block, bool append, const std::string& date,
           const MeshReport& report) {
  try {
    if (append)
      AppendTextFile(path, block);
    else
      WriteTextFile(path, VRMLDocumentHeader(date) + block + VRMLClosingLines());
    return true;
  } catch (const EInOutError& e) {
    if (report) report(FileErrorReport(e));
  }
  return false;
}

}  // namespace

std::string FormatVRMLDate(const std::tm& time) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::string day = time.tm_wday >= 0 && time.tm_wday < 7 ? kDays[time.tm_wday] : "???";
  const std::string month = time.tm_mon >= 0 && time.tm_mon < 12 ? kMonths[time.tm_mon] : "???";
  std::string year = std::to_string(static_cast<int64_t>(time.tm_year) + 1900);
  if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
  return day + " " + month + " " + Two(time.tm_mday) + " " + Two(time.tm_hour) + ":" + Two(time.tm_min) + ":" +
         Two(time.tm_sec) + " " + year;
}

std::string VRMLDocumentHeader(const std::string& date) {
  VRMLText out;
  HeaderStart(out, date);
  out.Line(3, "children [");
  return out.Take();
}

std::string VRMLCombinedHeader(const std::string& date) {
  VRMLText out;
  HeaderStart(out, date);
  out.Line(3, "translation 0.0000 0.0000 0.0000");
  out.Line(3, "children [");
  return out.Take();
}

std::string VRMLClosingLines() {
  VRMLText out;
  out.Line(3, "]");
  out.Line(0, "}");
  return out.Take();
}

std::string MeshVRMLBlock(const std::string& objectName, const TMTS410& mesh) {
  std::vector<MaterialView> materials;
  for (const TMTS410_MatObject& m : mesh.MatObjects)
    materials.push_back({&m.Name, m.Bitmaps.empty() ? nullptr : &m.Bitmaps.front().Name});
  return Block(objectName, materials, mesh.Cube);
}

std::string MeshVRMLBlock(const std::string& objectName, const TMTS& mesh) {
  std::vector<MaterialView> materials;
  for (const TMTS_MatObject& m : mesh.MatObjects)
    materials.push_back({&m.Name, m.Bitmaps.empty() ? nullptr : &m.Bitmaps.front()});
  return Block(objectName, materials, mesh.Cube);
}

bool WriteMeshVRML(const std::string& path, const std::string& objectName, const TMTS410& mesh, bool append,
                   const std::string& date, const MeshReport& report) {
  return Write(path, MeshVRMLBlock(objectName, mesh), append, date, report);
}

bool WriteMeshVRML(const std::string& path, const std::string& objectName, const TMTS& mesh, bool append,
                   const std::string& date, const MeshReport& report) {
  return Write(path, MeshVRMLBlock(objectName, mesh), append, date, report);
}

}  // namespace kestrel
