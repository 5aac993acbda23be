#include "studio/mesh/gl_mesh_view.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>

namespace kestrel {

namespace {

// The power of two the mipmap builder picks for a side: the nearest one, three times a power of
// two going up (3 gives 4, 5 gives 4, 6 gives 8).
GLint NearestPowerOfTwo(GLint side) {
  GLint power = 1;
  while (power * 2 <= side) power *= 2;
  return side - power < power * 2 - side ? power : power * 2;
}

}  // namespace

void GLMeshViewInit() {
  glClearColor(0.2f, 0.2f, 0.4f, 0.0f);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glBlendFunc(GL_ONE, GL_ONE);

  glEnable(GL_FOG);
  const GLfloat fogColour[4] = {0.83f, 0.80f, 0.84f, 1.0f};
  glFogi(GL_FOG_MODE, GL_LINEAR);
  glFogfv(GL_FOG_COLOR, fogColour);
  glFogf(GL_FOG_DENSITY, 0.02f);
  glHint(GL_FOG_HINT, GL_DONT_CARE);
  glFogf(GL_FOG_START, 200.0f);
  glFogf(GL_FOG_END, 5000.0f);

  // The current colour stays white, so lit surfaces take white as their colour.
  glEnable(GL_COLOR_MATERIAL);
}

void GLMeshViewResize(int width, int height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height > 0 ? height : 1), 1.0, 2000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void GLMeshViewDraw(const MeshViewState& view) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  if (view.BlendOn) {
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
  } else {
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
  }

  // Set while the matrix is the identity: the light sits at the eye.
  glEnable(GL_LIGHTING);
  const GLfloat lightPosition[4] = {0, 0, 0, 1};
  glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
  glEnable(GL_LIGHT0);
  const GLfloat white[4] = {1, 1, 1, 1};
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, white);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 45.0f);

  glTranslatef(0, 0, view.TransZ);
  glRotatef(view.RotX, 1, 0, 0);
  glRotatef(view.RotZ, 0, 0, 1);
  glRotatef(view.RotY, 0, 1, 0);

  if (view.TexturesOn)
    glEnable(GL_TEXTURE_2D);
  else
    glDisable(GL_TEXTURE_2D);
  for (const uint32_t list : view.MeshLists) glCallList(list);
}

void GLMeshViewSetWireframe(bool on) { glPolygonMode(GL_FRONT_AND_BACK, on ? GL_LINE : GL_FILL); }

uint32_t GLDisplayLists::BeginList() {
  const GLuint list = glGenLists(1);
  glNewList(list, GL_COMPILE);
  return list;
}

void GLDisplayLists::BindTexture(uint32_t texture) { glBindTexture(GL_TEXTURE_2D, texture); }
void GLDisplayLists::BeginTriangles() { glBegin(GL_TRIANGLES); }

void GLDisplayLists::Corner(const MeshCorner& c) {
  glTexCoord2f(c.S, c.T);
  glNormal3f(c.NX, c.NY, c.NZ);
  glVertex3f(c.X, c.Y, c.Z);
}

void GLDisplayLists::EndTriangles() { glEnd(); }
void GLDisplayLists::EndList() { glEndList(); }
void GLDisplayLists::DeleteList(uint32_t list) { glDeleteLists(list, 1); }

void GLDisplayLists::DeleteTexture(uint32_t texture) {
  const GLuint name = texture;
  glDeleteTextures(1, &name);
}

uint32_t GLTextureUploader::UploadTexture(uint16_t width, uint16_t height, TexturePixelFormat format,
                                          const std::vector<uint8_t>& pixels) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  if (width == 0 || height == 0) return name;

  GLint savedUnpack = 4, savedPack = 4, maxSide = 1024;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &savedUnpack);
  glGetIntegerv(GL_PACK_ALIGNMENT, &savedPack);
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);

  const GLenum source = format == TexturePixelFormat::RGBA ? GL_RGBA : GL_RGB;
  const GLint components = format == TexturePixelFormat::RGBA ? GL_RGBA : 3;
  const size_t channels = format == TexturePixelFormat::RGBA ? 4 : 3;
  // The mipmap builder's own scaling to a power of two loses rows of some pictures (a 3 x 2
  // picture comes out with its top row black), so the picture is scaled to the size the builder
  // would choose first, and the builder only makes the smaller levels.
  const GLint scaledWidth = std::min<GLint>(NearestPowerOfTwo(width), maxSide);
  const GLint scaledHeight = std::min<GLint>(NearestPowerOfTwo(height), maxSide);
  const uint8_t* data = pixels.data();
  std::vector<uint8_t> scaled;
  if (scaledWidth != width || scaledHeight != height) {
    scaled.resize(static_cast<size_t>(scaledWidth) * static_cast<size_t>(scaledHeight) * channels);
    gluScaleImage(source, width, height, GL_UNSIGNED_BYTE, pixels.data(), scaledWidth, scaledHeight, GL_UNSIGNED_BYTE,
                  scaled.data());
    data = scaled.data();
  }
  gluBuild2DMipmaps(GL_TEXTURE_2D, components, scaledWidth, scaledHeight, source, GL_UNSIGNED_BYTE, data);

  glPixelStorei(GL_UNPACK_ALIGNMENT, savedUnpack);
  glPixelStorei(GL_PACK_ALIGNMENT, savedPack);
  return name;
}

}  // namespace kestrel
