// Widget tests run under Qt's offscreen platform unless a display is asked for explicitly.
#include <gtest/gtest.h>

#include <QStandardPaths>

#include "studio/qt_common/studio_application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Given an X display, the offscreen platform draws through GLX, and flushing a shown window that
  // holds an OpenGL widget then crashes inside Qt: offscreen tests keep to plain memory.
  if (qgetenv("QT_QPA_PLATFORM") == "offscreen") {
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
  }
  ::testing::InitGoogleTest(&argc, argv);
  kestrel::studio::KestrelApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Kestrel"));
  QStandardPaths::setTestModeEnabled(false);
  return RUN_ALL_TESTS();
}
