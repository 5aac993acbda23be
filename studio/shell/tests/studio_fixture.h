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
#include "archive_tree_model.h"
#include "main_window.h"
#include "scripted_dialogs.h"
#include "studio_settings.h"

namespace kestrel::studio::testing {

using kestrel::testing::TestArchive;
using kestrel::testing::TestEntry;

// Records which preview ShowEntry asked for instead of decoding anything, unless told to show it too.
class RecordingWindow : public TFKestrel {
 public:
  using TFKestrel::TFKestrel;
  std::vector<std::pair<char, int>> previews;  // ('I', index) image, ('M', index) mesh
  bool showMeshes = false;                     // also build the mesh preview for real

 protected:
  void ShowImageEntry(int index) override { previews.emplace_back('I', index); }
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

class StudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_config_ = qgetenv("XDG_CONFIG_HOME");
    saved_data_ = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir_ / "config"));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir_ / "data"));
  }
  void TearDown() override {
    window_.reset();
    qputenv("XDG_CONFIG_HOME", saved_config_);
    qputenv("XDG_DATA_HOME", saved_data_);
  }

  std::string Path(const std::string& name) const { return dir_ / name; }
  QString QPath(const std::string& name) const { return QString::fromStdString(Path(name)); }
  QString IniPath() const { return SettingsStore::DefaultIniPath(); }

  // Adds `lines` ("Key=Value", "[Group]") to the settings file before a window starts.
  void WriteIni(const std::string& lines) {
    QDir().mkpath(QString::fromStdString(dir_ / "config/Kestrel"));
    QFile file(IniPath());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(QByteArray::fromStdString(lines));
  }
  QString IniValue(const QString& key) const { return QSettings(IniPath(), QSettings::IniFormat).value(key).toString(); }
  bool IniHas(const QString& key) const { return QSettings(IniPath(), QSettings::IniFormat).contains(key); }

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

  kestrel::testing::TempDir dir_;
  ScriptedDialogs dialogs_;
  bool read_only_ = false;
  std::optional<bool> open_gl_available_;  // empty: whether a context can be made
  std::unique_ptr<RecordingWindow> window_;

 private:
  QByteArray saved_config_;
  QByteArray saved_data_;
};

}  // namespace kestrel::studio::testing
