// The OpenGL preview of the selected mesh entry: building the model, the mouse and the display
// toggles.
#include <QAction>
#include <QFile>
#include <QStatusBar>

#include "studio/open_archive/entry_access.h"
#include "studio/preview/gl_view.h"
#include "studio/shell/main_window.h"
#include "studio/mesh/gl_mesh_view.h"
#include "studio/mesh/mesh_preview_build.h"
#include "studio/qt_common/busy_cursor.h"
#include "studio/qt_common/native_path.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio {

namespace {

// Without an OpenGL context the model is still read, decoded and its textures loaded, so the user
// hears about broken entries as usual; there is just nothing to draw with.
class NoDisplayLists : public DisplayListTarget {
 public:
  uint32_t BeginList() override { return ++last_; }
  void BindTexture(uint32_t) override {}
  void BeginTriangles() override {}
  void Corner(const MeshCorner&) override {}
  void EndTriangles() override {}
  void EndList() override {}
  void DeleteList(uint32_t) override {}
  void DeleteTexture(uint32_t) override {}

 private:
  uint32_t last_ = 0;
};

class NoTextureUploader : public TextureUploader {
 public:
  uint32_t UploadTexture(uint16_t, uint16_t, TexturePixelFormat, const std::vector<uint8_t>&) override { return ++last_; }

 private:
  uint32_t last_ = 0;
};

// The real targets, making the view's context current before each step: a message box shown in
// between runs an event loop that may draw other windows in other contexts.
class CanvasLists : public GLDisplayLists {
 public:
  explicit CanvasLists(TGLCanvas& canvas) : canvas_(canvas) {}
  uint32_t BeginList() override {
    canvas_.makeCurrent();
    return GLDisplayLists::BeginList();
  }
  void DeleteList(uint32_t list) override {
    canvas_.makeCurrent();
    GLDisplayLists::DeleteList(list);
  }
  void DeleteTexture(uint32_t texture) override {
    canvas_.makeCurrent();
    GLDisplayLists::DeleteTexture(texture);
  }

 private:
  TGLCanvas& canvas_;
};

class CanvasUploader : public GLTextureUploader {
 public:
  explicit CanvasUploader(TGLCanvas& canvas) : canvas_(canvas) {}
  uint32_t UploadTexture(uint16_t width, uint16_t height, TexturePixelFormat format,
                         const std::vector<uint8_t>& pixels) override {
    canvas_.makeCurrent();
    return GLTextureUploader::UploadTexture(width, height, format, pixels);
  }

 private:
  TGLCanvas& canvas_;
};

}  // namespace

void TFKestrel::ConnectMeshPreview() {
  TGLCanvas* canvas = glWindow->Canvas();
  if (!canvas) return;
  canvas->SetViewState(&mesh_view_);
  canvas->onContextReady = [this] {
    if (!mesh_build_pending_ || !mesh_view_.CurrentMeshEntry) return;
    // Built once the view's initialisation is over, not inside it.
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (!mesh_build_pending_ || !mesh_view_.CurrentMeshEntry) return;
          const int entry = *mesh_view_.CurrentMeshEntry;
          RunCommand(QStringLiteral("ShowMTS"), [this, entry] { ShowMTS(entry); });
        },
        Qt::QueuedConnection);
  };
  canvas->onMouseDown = [this](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position) {
    if (glWindow->MouseHandlersAttached()) glWindowMouseDown(button, modifiers, position);
  };
  canvas->onMouseMove = [this](Qt::KeyboardModifiers modifiers, QPoint position) {
    if (glWindow->MouseHandlersAttached()) glWindowMouseMove(modifiers, position);
  };
  canvas->onMouseUp = [this] {
    if (glWindow->MouseHandlersAttached()) glWindowMouseUp();
  };
  canvas->onWheel = [this](int angleDelta) {
    if (!glWindow->MouseHandlersAttached()) return;
    MeshMouseWheel(mesh_view_, angleDelta);
    RedrawMeshNow();
  };
}

void TFKestrel::RedrawMeshNow() {
  if (TGLCanvas* canvas = glWindow->Canvas()) canvas->RedrawNow();
}

void TFKestrel::NoteMeshEntryOnShow(int index) {
  mesh_view_.CurrentMeshEntry = index;
  mesh_entry_archive_ = state_.ArchivePath;
  mesh_entry_name_ = index >= 0 && index < state_.FileCount() ? state_.Table[static_cast<size_t>(index)].Name() : "";
}

void TFKestrel::ReleaseMeshModel() {
  mesh_view_.CurrentMeshEntry.reset();
  mesh_build_pending_ = false;
  mesh_entry_archive_.clear();
  mesh_entry_name_.clear();
  if (glWindow->HasContext()) {
    CanvasLists lists(*glWindow->Canvas());
    ReleaseMeshLists(mesh_view_.MeshLists, mesh_view_.MeshTextures, lists);
    glWindow->Canvas()->doneCurrent();
  } else {
    NoDisplayLists lists;
    ReleaseMeshLists(mesh_view_.MeshLists, mesh_view_.MeshTextures, lists);
  }
  RedrawMeshNow();
}

void TFKestrel::ShowMTS(int index) {
  BusyCursor busy;
  NoteMeshEntryOnShow(index);

  TGLCanvas* canvas = glWindow->Canvas();
  const bool drawable = glWindow->HasContext();
  if (canvas && !drawable) {
    // The context comes with the view's first showing; the mesh is built then.
    mesh_build_pending_ = true;
    return;
  }
  mesh_build_pending_ = false;
  NoDisplayLists noLists;
  NoTextureUploader noUploader;
  std::optional<CanvasLists> canvasLists;
  std::optional<CanvasUploader> canvasUploader;
  if (drawable) {
    canvasLists.emplace(*canvas);
    canvasUploader.emplace(*canvas);
  }
  DisplayListTarget& lists = drawable ? static_cast<DisplayListTarget&>(*canvasLists) : noLists;
  TextureUploader& uploader = drawable ? static_cast<TextureUploader&>(*canvasUploader) : noUploader;

  if (!settings_.ShowMTSPreview) {
    // With the preview switched off the view shows its background only.
    ReleaseMeshLists(mesh_view_.MeshLists, mesh_view_.MeshTextures, lists);
  } else {
    const QString caption = QString::fromLatin1(kStudioName);
    MeshPreviewSource source;
    source.ArchivePath = state_.ArchivePath;
    source.ScratchDirectory = NativePath(scratch_directory_);
    source.ReadEntry = [this](int entry) { return ReadEntryData(entry); };
    // Texture names are stored names: compared as they are, letter case ignored.
    source.FindEntry = [this](const std::string& name) { return kestrel::studio::FindEntryByName(state_, name); };
    source.ExtractEntry = [this](int entry, const std::string& path) {
      return ExtractEntryToFile(entry, FromNative(path));
    };
    MeshPreviewHooks hooks;
    hooks.DecoderError = [this, caption](const std::string& message) {
      ShowProblem(MessageIcon::Error, caption, QString::fromLocal8Bit(message));
    };
    hooks.PlainError = [this, caption](const std::string& message) {
      ShowProblem(MessageIcon::None, caption, QString::fromLocal8Bit(message));
    };
    hooks.TextureError = [this](const std::string& textureCaption, const std::string& message) {
      ShowProblem(MessageIcon::None, QString::fromLatin1(textureCaption), QString::fromLocal8Bit(message));
    };
    hooks.Status = [this](const std::string& text) {
      if (text.empty())
        StatusBar->clearMessage();
      else
        StatusBar->showMessage(QString::fromLatin1(text));
      StatusBar->repaint();
    };
    const MeshPreviewResult result = BuildMeshPreview(index, mesh_view_, source, hooks, lists, uploader);
    // An entry that cannot be shown leaves the view empty, not showing the model before it.
    if (result == MeshPreviewResult::NotRead || result == MeshPreviewResult::NotDecoded)
      ReleaseMeshLists(mesh_view_.MeshLists, mesh_view_.MeshTextures, lists);
  }
  if (drawable) canvas->doneCurrent();
  RedrawMeshNow();
}

void TFKestrel::glWindowMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, QPoint position) {
  switch (button) {
    case Qt::LeftButton: MeshMouseDown(mesh_view_, MeshMouseButton::Left, position.x(), position.y()); break;
    case Qt::RightButton: MeshMouseDown(mesh_view_, MeshMouseButton::Right, position.x(), position.y()); break;
    case Qt::MiddleButton: MeshMouseDown(mesh_view_, MeshMouseButton::Middle, position.x(), position.y()); break;
    default: break;
  }
}

void TFKestrel::glWindowMouseMove(Qt::KeyboardModifiers modifiers, QPoint position) {
  MeshMouseMove(mesh_view_, modifiers.testFlag(Qt::ShiftModifier), position.x(), position.y());
  RedrawMeshNow();
}

void TFKestrel::glWindowMouseUp() { MeshMouseUp(mesh_view_); }

void TFKestrel::Blend1Click() {
  mesh_view_.BlendOn = !mesh_view_.BlendOn;
  Blend1->setChecked(mesh_view_.BlendOn);
  RedrawMeshNow();
}

void TFKestrel::Wireframe1Click() {
  mesh_view_.WireframeOn = !mesh_view_.WireframeOn;
  Wireframe1->setChecked(mesh_view_.WireframeOn);
  if (glWindow->HasContext()) {
    glWindow->Canvas()->makeCurrent();
    GLMeshViewSetWireframe(mesh_view_.WireframeOn);
    glWindow->Canvas()->doneCurrent();
  }
  RedrawMeshNow();
}

void TFKestrel::Textures1Click() {
  mesh_view_.TexturesOn = !mesh_view_.TexturesOn;
  Textures1->setChecked(mesh_view_.TexturesOn);
  RedrawMeshNow();
}

}  // namespace kestrel::studio
