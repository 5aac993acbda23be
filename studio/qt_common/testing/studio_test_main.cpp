// Widget tests run under Qt's offscreen platform unless a display is asked for explicitly.
#include <gtest/gtest.h>

#include <QStandardPaths>

#include "studio/qt_common/studio_application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  kestrel::studio::KestrelApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Kestrel"));
  QStandardPaths::setTestModeEnabled(false);
  return RUN_ALL_TESTS();
}
