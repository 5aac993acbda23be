#include "studio/preview/render_command.h"

#include <GL/gl.h>

#include <QFile>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QRegularExpression>
#include <QSurfaceFormat>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "archive/file_error.h"
#include "archive/file_io.h"
#include "archive/mas_format.h"
#include "studio/open_archive/entry_access.h"
#include "studio/qt_common/scratch_directory.h"
#include "studio/image/png_writer.h"
#include "studio/mesh/gl_mesh_view.h"
#include "studio/mesh/mesh_preview_build.h"
#include "studio/qt_common/native_path.h"

namespace kestrel::studio {

namespace {

constexpr int kDefaultWidth = 640, kDefaultHeight = 480;
constexpr char kUsage[] = "usage: kestrel --render ARCHIVE.MAS ENTRY OUT.png [WIDTHxHEIGHT]\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "kestrel: %s\n", message.c_str());
  return 1;
}

void Warn(const std::string& message) { std::fprintf(stderr, "kestrel: warning: %s\n", message.c_str()); }

// ENTRY as kestrel-cli takes it: a name in any letter case, or "#N" for the 0-based position.
std::optional<int> ResolveEntry(const OpenArchiveState& state, const std::string& argument, std::string& problem) {
  if (argument.size() > 1 && argument[0] == '#') {
    bool ok = false;
    const long long position = QString::fromStdString(argument.substr(1)).toLongLong(&ok);
    if (!ok || position < 0 || position >= state.FileCount()) {
      problem = "no entry " + argument + " (the archive has " + std::to_string(state.FileCount()) + " entries)";
      return std::nullopt;
    }
    return static_cast<int>(position);
  }
  std::vector<int> matches;
  for (int i = 0; i < state.FileCount(); ++i)
    if (EqualsIgnoreAsciiCase(state.Table[static_cast<size_t>(i)].Name(), argument)) matches.push_back(i);
  if (matches.empty()) {
    problem = "no entry named " + argument;
    return std::nullopt;
  }
  if (matches.size() > 1) {
    problem = argument + " names " + std::to_string(matches.size()) + " entries; pick one with #N:";
    for (const int i : matches) problem += " #" + std::to_string(i);
    return std::nullopt;
  }
  return matches.front();
}

bool ParseSize(const QString& text, int& width, int& height) {
  static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,5})x([0-9]{1,5})$"));
  const QRegularExpressionMatch match = pattern.match(text);
  if (!match.hasMatch()) return false;
  width = match.captured(1).toInt();
  height = match.captured(2).toInt();
  return width >= 1 && height >= 1 && width <= 16384 && height <= 16384;
}

// The frame as it looks on screen: top row first, opaque (the clear colour's alpha is 0).
RgbaImage ReadFrame(int width, int height) {
  RgbaImage image;
  image.Width = static_cast<uint32_t>(width);
  image.Height = static_cast<uint32_t>(height);
  std::vector<uint8_t> bottomUp(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  image.Pixels.resize(bottomUp.size());
  const size_t row = static_cast<size_t>(width) * 4;
  for (int y = 0; y < height; ++y)
    std::copy_n(bottomUp.data() + static_cast<size_t>(height - 1 - y) * row, row, image.Pixels.data() + static_cast<size_t>(y) * row);
  for (size_t i = 3; i < image.Pixels.size(); i += 4) image.Pixels[i] = 255;
  return image;
}

}  // namespace

int RunRenderCommand(const QStringList& arguments) {
  if (arguments.size() < 3 || arguments.size() > 4) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  const std::string archivePath = AbsolutePath(NativePath(arguments[0]));
  const std::string entryArgument = arguments[1].toStdString();
  const std::string outPath = NativePath(arguments[2]);
  int width = kDefaultWidth, height = kDefaultHeight;
  if (arguments.size() == 4 && !ParseSize(arguments[3], width, height))
    return Fail("the size must be WIDTHxHEIGHT, each from 1 to 16384, not \"" + arguments[3].toStdString() + "\"");

  if (!FileExists(archivePath)) return Fail("no such archive: " + archivePath);
  ArchiveLoad load = LoadArchiveTable(archivePath);
  if (load.Result != ArchiveLoadResult::Loaded)
    return Fail(archivePath + (load.Result == ArchiveLoadResult::BadMagic ? ": not a CUBEMAS 4.10 archive"
                                                                          : ": the archive cannot be read"));
  OpenArchiveState state;
  state.ArchivePath = archivePath;
  state.Header = load.Header;
  state.Table = std::move(load.Table);
  state.FileLength = load.FileLength;
  state.DataStart = DataStartFor(state.Table.size());

  std::string problem;
  const std::optional<int> entry = ResolveEntry(state, entryArgument, problem);
  if (!entry) return Fail(problem);
  const TMAS_FileEntry& record = state.Table[static_cast<size_t>(*entry)];
  if (record.FileType != kMasTypeMTS)
    return Fail(record.Name() + " is not a mesh entry (type " + std::to_string(record.FileType) + ")");

  QSurfaceFormat format;
  format.setDepthBufferSize(16);
  format.setStencilBufferSize(16);
  QOpenGLContext context;
  context.setFormat(format);
  QOffscreenSurface surface;
  surface.setFormat(format);
  surface.create();
  if (!context.create() || !context.makeCurrent(&surface)) return Fail("no OpenGL context can be made on this display");
  QOpenGLFramebufferObjectFormat fboFormat;
  fboFormat.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
  QOpenGLFramebufferObject frame(width, height, fboFormat);
  if (!frame.isValid() || !frame.bind()) return Fail("no OpenGL frame buffer of " + std::to_string(width) + "x" + std::to_string(height));

  MeshViewState view;
  GLMeshViewInit();
  GLMeshViewResize(width, height);

  const std::string scratch = NativePath(ScratchDirectoryPath());
  bool failed = false;  // a reason has been given
  MeshPreviewSource source;
  source.ArchivePath = archivePath;
  source.ScratchDirectory = scratch;
  source.ReadEntry = [&](int index) -> std::optional<std::vector<uint8_t>> {
    EntryBytes bytes = ReadEntryBytes(state, index);
    if (bytes.Ok()) return std::move(bytes.Data);
    failed = true;
    Fail(record.Name() + ": " + (bytes.Problem == EntryProblem::Damaged ? bytes.Message : std::string(kFailedToReadFile)));
    return std::nullopt;
  };
  source.FindEntry = [&](const std::string& name) { return FindEntryByName(state, name); };
  source.ExtractEntry = [&](int index, const std::string& path) {
    const EntryBytes bytes = ExtractEntryBytesToFile(state, index, path);
    if (!bytes.Ok()) Warn(state.Table[static_cast<size_t>(index)].Name() + " cannot be read: " + bytes.Message);
    return bytes.Ok();
  };
  MeshPreviewHooks hooks;
  hooks.DecoderError = [&](const std::string& message) {
    failed = true;
    Fail(record.Name() + ": " + message);
  };
  hooks.PlainError = [&](const std::string& message) {
    if (!failed) Fail(record.Name() + ": " + message);
    failed = true;
  };
  hooks.TextureError = [&](const std::string& caption, const std::string& message) { Warn(caption + ": " + message); };

  GLDisplayLists lists;
  GLTextureUploader uploader;
  const MeshPreviewResult result = BuildMeshPreview(*entry, view, source, hooks, lists, uploader);
  // Only the directory this run may have made goes; files of a studio running beside are left.
  std::error_code ignored;
  std::filesystem::remove(scratch, ignored);
  if (result != MeshPreviewResult::Built || failed) return 1;

  GLMeshViewDraw(view);
  glFinish();
  const RgbaImage picture = ReadFrame(width, height);
  ReleaseMeshLists(view.MeshLists, view.MeshTextures, lists);
  frame.release();
  context.doneCurrent();
  try {
    WritePngFile(outPath, picture);
  } catch (const EInOutError& e) {
    return Fail(FileErrorReport(e));
  } catch (const std::exception& e) {
    return Fail(outPath + ": " + e.what());
  }
  return 0;
}

}  // namespace kestrel::studio
