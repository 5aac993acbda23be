#include "studio/mesh/mts_dump.h"

#include <cmath>

#include "archive/file_io.h"
#include "studio/mesh/number_format.h"
#include "studio/mesh/text_file.h"

namespace kestrel {
namespace {

using mesh_text::Fixed;
using mesh_text::IntMinDigits;
using mesh_text::PadLeft;
using mesh_text::PadRight;

class DumpText {
 public:
  explicit DumpText(const std::string& separator) : separator_(separator) {}

  void Line(const std::string& text = "") { text_ += text + "\r\n"; }
  std::string Take() { return std::move(text_); }

  // F4: 8 significant digits, 4 decimals.
  std::string F4(double v) const { return mesh_text::WithSeparator(mesh_text::Significant8Fixed4(v), separator_); }
  // "%<width>.<decimals>f"
  std::string F(double v, int decimals, size_t width = 0) const {
    return PadLeft(mesh_text::WithSeparator(Fixed(v, decimals), separator_), width);
  }

 private:
  std::string separator_;
  std::string text_;
};

std::string I(int64_t v) { return std::to_string(v); }
std::string D(int64_t v, size_t width) { return PadLeft(I(v), width); }
// A coordinate in which NaN reads as 0.
double G(float v) { return std::isnan(v) ? 0.0 : v; }

std::string Colour(const DumpText& out, const TMTS_Color& c) {
  return out.F4(c.R) + ", " + out.F4(c.G) + ", " + out.F4(c.B) + ", " + out.F4(c.A);
}

void WriteHead(DumpText& out, const TMTS410& mesh) {
  const TMTS_Cube& cube = mesh.Cube;
  const int64_t c = mesh.CubeOffset;
  out.Line("Number of Objects:            " + I(mesh.NumMatObjects));
  out.Line();
  out.Line(mesh.TriListState() == kMtsTriListNotOptimized ? "MTS tri-list is not optimized."
                                                          : "MTS tri-list is optimized.");
  out.Line();
  out.Line("Offsets");
  out.Line("     Cube          : " + PadRight(I(c), 8));
  out.Line("     ObjectHeaders : " + PadRight(I(cube.ObjectHeadersOffset), 8) + " (" +
           D(cube.ObjectHeadersOffset + c, 8) + ")");
  out.Line("     Polygons      : " + PadRight(I(cube.PolygonsOffset), 8) + " (" + D(cube.PolygonsOffset + c, 8) +
           ")");
  out.Line("     FaceNormals   : " + PadRight(I(cube.FaceNormalsOffset), 8) + " (" +
           D(cube.FaceNormalsOffset + c, 8) + ")");
  out.Line("     WorldPos      : " + out.F(cube.WorldPos[0], 2) + "/" + out.F(cube.WorldPos[1], 2) + "/" +
           out.F(cube.WorldPos[2], 2));
  out.Line();
  out.Line("     Polygons      : " + I(cube.NumPolygons));
  out.Line();
}

void WriteMaterial(DumpText& out, const TMTS410_MatObject& m, size_t i) {
  out.Line("OBJECT MATERIAL DEFINITION [" + I(static_cast<int64_t>(i)) + "]");
  out.Line("{");
  out.Line("     Object Name:                  " + m.Name);
  std::string bitmaps = "     Number of Bitmaps:            " + I(m.NumBitmaps);
  for (const TMTS410_Bitmap& b : m.Bitmaps) bitmaps += ", " + b.Name;
  out.Line(bitmaps);
  out.Line("     Unk1:                         " + out.F4(m.Unk1));
  out.Line("     d3dMat/diffuse:               " + Colour(out, m.d3dMat.Diffuse));
  out.Line("     d3dMat/ambient:               " + Colour(out, m.d3dMat.Ambient));
  out.Line("     d3dMat/specular:              " + Colour(out, m.d3dMat.Specular));
  out.Line("     d3dMat/emissive:              " + Colour(out, m.d3dMat.Emissive));
  out.Line("     SourceBlend:                  " + I(m.SourceBlend));
  out.Line("     DestBlend:                    " + I(m.DestBlend));
  out.Line("}");
  out.Line();
}

std::string PolygonLine(const TMTS_Polygon& p, int64_t position, const DumpText& out) {
  return "     " + D(p.V0, 3) + ", " + D(p.V1, 3) + ", " + D(p.V2, 3) + " | Unk1: " + D(p.Unk1, 8) +
         " | M:" + D(p.M, 3) + " FN: " + D(p.FN, 3) + " | One: " + out.F(p.One, 1, 3) + " | Unks: " +
         D(p.Unks[0], 10) + "/" + D(p.Unks[1], 10) + "/" + D(p.Unks[2], 10) + "/" +
         PadLeft(IntMinDigits(p.Unks[3], 5), 10) + " (@ " + I(position) + ")";
}

std::string VertexLine(const TMTS_Vertex& v, const DumpText& out) {
  return "     " + out.F(G(v.X), 5, 10) + ", " + out.F(G(v.Y), 5, 10) + ", " + out.F(G(v.Z), 5, 10) + ", | " +
         out.F(v.NX, 5, 10) + ", " + out.F(v.NY, 5, 10) + ", " + out.F(v.NZ, 5, 10) + " / C:" + D(v.C, 10) +
         ", U1:" + I(v.U1) + ", / U:" + out.F(v.U, 18, 20) + " V:" + out.F(v.V, 5, 10) + " / U20:" + I(v.U20) +
         ", U21:" + I(v.U21);
}

void WriteObject(DumpText& out, const TMTS410& mesh, size_t n) {
  const TMTS_Cube& cube = mesh.Cube;
  const TMTS_ObjectHeader& h = cube.ObjectHeaders[n];
  const int64_t c = mesh.CubeOffset;
  // An object without a material object of its own prints an empty name.
  const std::string name = n < mesh.MatObjects.size() ? mesh.MatObjects[n].Name : std::string();
  out.Line("OBJECT " + I(static_cast<int64_t>(n)) + " (" + name + ")");
  out.Line("{");
  out.Line("     Vertices offset     : " + I(h.VerticesOffset + c));
  out.Line("     Tristrip offset     : " + I(h.TristripOffset + c));
  out.Line("     Unk4s offset        : " + I(h.Unk4sOffset + c));
  out.Line("     nFlags              : " + I(h.nFlags));
  out.Line();
  out.Line("     Polygons (Count: " + I(cube.NumPolygons) + ") :");
  out.Line();
  for (size_t j = 0; j < cube.Polygons.size(); ++j) {
    const TMTS_Polygon& p = cube.Polygons[j];
    if (p.M < 0 || static_cast<size_t>(p.M) != n) continue;
    out.Line(PolygonLine(p, cube.PolygonsOffset + c + 36 * static_cast<int64_t>(j), out));
  }
  out.Line();
  std::string strip = "     Vertex connection list (Count: " + I(h.NumStripIndices) + ") : ";
  for (size_t k = 0; k < h.StripIndices.size(); ++k) strip += (k ? ", " : "") + I(h.StripIndices[k]);
  out.Line(strip);
  out.Line();
  out.Line("     Vertices (Count: " + I(h.NumVertices) + ") :");
  out.Line();
  for (const TMTS_Vertex& v : h.Vertices) out.Line(VertexLine(v, out));
  out.Line();
  out.Line("     lUnks1");
  out.Line();
  for (int32_t u : h.lUnks1) out.Line("     " + I(u));
  out.Line("}");
  out.Line();
}

void WriteFaceNormals(DumpText& out, const TMTS410& mesh) {
  const TMTS_Cube& cube = mesh.Cube;
  const int64_t start = cube.FaceNormalsOffset + static_cast<int64_t>(mesh.CubeOffset);
  out.Line("Face normals : " + I(cube.NumFaceNormals));
  out.Line("Start : " + I(start));
  out.Line("End   : " + I(start + 16 * static_cast<int64_t>(cube.NumFaceNormals)));
  out.Line();
  for (const TMTS_FaceNormal& f : cube.FaceNormals) {
    const double x = f.X, y = f.Y, z = f.Z;
    out.Line(out.F(f.X, 5, 10) + ", " + out.F(f.Y, 5, 10) + ", " + out.F(f.Z, 5, 10) + ", " + out.F(f.W, 5, 10) +
             " [Length: " + out.F(x * x + y * y + z * z, 4, 5) + "]");
  }
  out.Line();
}

}  // namespace

std::string MTSDumpText(const TMTS410& mesh, const std::string& decimalSeparator) {
  DumpText out(decimalSeparator);
  WriteHead(out, mesh);
  for (size_t i = 0; i < mesh.MatObjects.size(); ++i) WriteMaterial(out, mesh.MatObjects[i], i);
  out.Line("Number of Objects:            " + I(mesh.Cube.NumObjectHeaders));
  out.Line();
  for (size_t n = 0; n < mesh.Cube.ObjectHeaders.size(); ++n) WriteObject(out, mesh, n);
  WriteFaceNormals(out, mesh);
  return out.Take();
}

bool WriteMTSDump(const std::string& path, const TMTS410& mesh, const std::string& decimalSeparator) {
  WriteTextFile(path, MTSDumpText(mesh, decimalSeparator));
  return true;
}

std::string MTSDumpPath(const std::string& meshPath) { return ReplaceExtension(meshPath, ".txt"); }

}  // namespace kestrel
