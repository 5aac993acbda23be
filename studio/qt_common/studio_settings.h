// The studio's settings and its list of recent archives, kept in one INI file:
// Kestrel/Kestrel.ini under the user's configuration folder ($XDG_CONFIG_HOME is honoured).
//
// Every value is a string. Flags are written "0" or "1"; when read, any number other than 0 is on,
// and a missing value or a text that is not a number gives the flag's default.
#pragma once

#include <QString>
#include <QStringList>

namespace kestrel::studio {

struct StudioSettings {
  QString BMPInitialDir;
  QString MASInitialDir;
  bool DumpTOC = false;
  bool IsDeveloper = false;
  bool ShowReadOnlyNotification = true;
  bool ShowMTSPreview = true;
};

class SettingsStore {
 public:
  // The file at the user's configuration folder, unless a path is given.
  SettingsStore();
  explicit SettingsStore(QString iniPath);
  static QString DefaultIniPath();
  const QString& IniPath() const { return ini_path_; }

  StudioSettings Read() const;
  // What the program writes when it ends: the two folders, "DumpTOC" and "ShowMTSPreview".
  // "IsDeveloper" and "ShowReadOnlyNotification" are only ever read.
  void WriteAtExit(const StudioSettings& settings) const;

  // The stored paths, F0 first, as many as there are (the caller trims the list).
  QStringList ReadRecentFiles() const;
  // Replaces the group "MRU Items" by one value per path, F0 first.
  void WriteRecentFiles(const QStringList& paths) const;

 private:
  QString ini_path_;
};

// Flag reading as stored: "2" is on, "0" off, "yes" or nothing gives `fallback`.
bool FlagFromText(const QString& text, bool present, bool fallback);

}  // namespace kestrel::studio
