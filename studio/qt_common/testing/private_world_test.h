// A test in a private world: its own configuration and data folders (so its settings file too),
// a temporary folder for its files, and dialogs answered from a script.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <string>

#include "archive/testing/mas_builder.h"
#include "studio/qt_common/studio_settings.h"
#include "studio/qt_common/testing/scripted_dialogs.h"

namespace kestrel::studio::testing {

class PrivateWorldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_config_ = qgetenv("XDG_CONFIG_HOME");
    saved_data_ = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir_ / "config"));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir_ / "data"));
  }
  void TearDown() override {
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

  kestrel::testing::TempDir dir_;
  ScriptedDialogs dialogs_;

 private:
  QByteArray saved_config_;
  QByteArray saved_data_;
};

}  // namespace kestrel::studio::testing
