// What the studio's benchmarks share: the real main window under Qt's offscreen platform (unless
// another is asked for), with its settings and scratch folder in a folder of the benchmark's own,
// and dialogs that answer nothing and print what they are shown.
#pragma once

#include <QApplication>
#include <cstdio>
#include <optional>

#include "archive/testing/mas_builder.h"
#include "studio/qt_common/studio_dialogs.h"
#include "studio/shell/main_window.h"

namespace kestrel::bench {

class SilentDialogs : public studio::StudioDialogs {
 public:
  std::optional<QString> OpenFile(const studio::FileDialogRequest&) override { return std::nullopt; }
  std::optional<QString> SaveFile(const studio::FileDialogRequest&) override { return std::nullopt; }
  bool AskYesNo(const QString&, const QString&) override { return false; }
  void ShowMessage(studio::MessageIcon, const QString&, const QString& text) override {
    std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
  }
  void ShowApplicationError(const QString&, const QString& message, const QString&) override {
    std::fprintf(stderr, "application error: %s\n", message.toLocal8Bit().constData());
  }
  int RunDialog(QDialog&) override { return 0; }  // rejected
};

// The application and a shown main window, all of whose files stay in a scratch folder.
class StudioBench {
 public:
  StudioBench(int& argc, char** argv) : app_(Prepared(scratch_, argc), argv) {
    studio::StudioEnvironment environment;
    environment.settingsPath = QString::fromStdString(scratch_ / "config/Kestrel/Kestrel.ini");
    environment.scratchDirectory = QString::fromStdString(scratch_ / "KSTRL");
    window_.emplace(dialogs_, environment);
    window_->show();
    QApplication::processEvents();
  }

  const testing::TempDir& Scratch() const { return scratch_; }
  studio::TFKestrel& Window() { return *window_; }

 private:
  // Sets the environment the application must find when it is made; gives back `argc` for it.
  static int& Prepared(const testing::TempDir& scratch, int& argc) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(scratch / "config"));
    return argc;
  }

  testing::TempDir scratch_;
  QApplication app_;
  SilentDialogs dialogs_;
  std::optional<studio::TFKestrel> window_;
};

}  // namespace kestrel::bench
