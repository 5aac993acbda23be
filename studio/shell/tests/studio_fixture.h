// A main window in a private world: its own settings file, scratch folder and archives.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeView>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/testing/mas_builder.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/shell/main_window.h"
#include "studio/qt_common/studio_settings.h"
#include "studio/qt_common/testing/private_world_test.h"

namespace kestrel::studio::testing {

using kestrel::testing::TestArchive;
using kestrel::testing::TestEntry;

// Records which preview ShowEntry asked for instead of decoding anything, unless told to show it too.
class RecordingWindow : public TFKestrel {
 public:
  using TFKestrel::TFKestrel;
  std::vector<std::pair<char, int>> previews;  // ('I', index) image, ('M', index) mesh
  bool showMeshes = false;                     // also build the mesh preview for real
  bool showImages = false;                     // also decode and show pictures for real

 protected:
  void ShowImageEntry(int index) override {
    previews.emplace_back('I', index);
    if (showImages) TFKestrel::ShowImageEntry(index);
  }
  void ShowMTS(int index) override {
    previews.emplace_back('M', index);
    if (showMeshes) TFKestrel::ShowMTS(index);
  }
};

// A caption as the user reads it: the mnemonic mark that underlines its Alt letter taken out
// ("&&" stands for one ampersand).
inline QString WithoutMnemonic(const QString& text) {
  QString caption;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
    caption += text[i];
  }
  return caption;
}
inline QString Caption(const QAction* action) { return WithoutMnemonic(action->text()); }

class StudioTest : public PrivateWorldTest {
 protected:
  void TearDown() override {
    window_.reset();
    PrivateWorldTest::TearDown();
  }

  StudioEnvironment Environment(const QString& startup = {}) const {
    StudioEnvironment environment;
    environment.startupArchive = startup;
    environment.settingsPath = SettingsStore::DefaultIniPath();
    environment.scratchDirectory = QString::fromStdString(dir_ / "scratch");
    if (read_only_) environment.canWrite = [](const std::string&) { return false; };
    environment.openGLAvailable = open_gl_available_;
    return environment;
  }

  RecordingWindow& Start(const QString& startup = {}) {
    window_ = std::make_unique<RecordingWindow>(dialogs_, Environment(startup));
    return *window_;
  }
  // Ends the program as closing the window does: settings and recent files are written.
  void End() { window_.reset(); }

  std::string WriteArchive(const std::string& name, const TestArchive& archive) {
    archive.WriteTo(Path(name));
    return Path(name);
  }
  static TestArchive ArchiveOf(std::vector<TestEntry> entries) {
    TestArchive archive;
    archive.Entries = std::move(entries);
    return archive;
  }
  static std::vector<uint8_t> Bytes(const std::string& text) { return kestrel::testing::BytesOf(text); }

  RecordingWindow& W() { return *window_; }
  // Selects table entry `tableIndex` in the browser, as a click on its node does.
  void Select(int tableIndex) { W().MASTreeNT->setCurrentIndex(W().TreeModel()->EntryNode(tableIndex)); }

  bool read_only_ = false;
  std::optional<bool> open_gl_available_;  // empty: whether a context can be made
  std::unique_ptr<RecordingWindow> window_;
};

}  // namespace kestrel::studio::testing
