#include "studio/qt_common/studio_settings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QVariant>
#include <algorithm>
#include <utility>
#include <vector>

namespace kestrel::studio {

namespace {

constexpr char kRecentGroup[] = "MRU Items";

QString StringValue(const QSettings& ini, const QString& key) {
  const QVariant value = ini.value(key);
  // An unquoted comma makes Qt read a list; the setting is still one text.
  if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QLatin1Char(','));
  return value.toString();
}

bool ReadFlag(const QSettings& ini, const QString& key, bool fallback) {
  return FlagFromText(StringValue(ini, key), ini.contains(key), fallback);
}

QString FlagText(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

}  // namespace

bool FlagFromText(const QString& text, bool present, bool fallback) {
  if (!present) return fallback;
  bool isNumber = false;
  const long long value = text.trimmed().toLongLong(&isNumber);
  return isNumber ? value != 0 : fallback;
}

SettingsStore::SettingsStore() : ini_path_(DefaultIniPath()) {}
SettingsStore::SettingsStore(QString iniPath) : ini_path_(std::move(iniPath)) {}

QString SettingsStore::DefaultIniPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/Kestrel/Kestrel.ini");
}

StudioSettings SettingsStore::Read() const {
  const QSettings ini(ini_path_, QSettings::IniFormat);
  StudioSettings s;
  s.BMPInitialDir = StringValue(ini, QStringLiteral("BMPInitialDir"));
  s.MASInitialDir = StringValue(ini, QStringLiteral("MASInitialDir"));
  s.DumpTOC = ReadFlag(ini, QStringLiteral("DumpTOC"), false);
  s.IsDeveloper = ReadFlag(ini, QStringLiteral("IsDeveloper"), false);
  s.ShowReadOnlyNotification = ReadFlag(ini, QStringLiteral("ShowReadOnlyNotification"), true);
  s.ShowMTSPreview = ReadFlag(ini, QStringLiteral("ShowMTSPreview"), true);
  return s;
}

void SettingsStore::WriteAtExit(const StudioSettings& s) const {
  QSettings ini(ini_path_, QSettings::IniFormat);
  ini.setValue(QStringLiteral("BMPInitialDir"), s.BMPInitialDir);
  ini.setValue(QStringLiteral("MASInitialDir"), s.MASInitialDir);
  ini.setValue(QStringLiteral("DumpTOC"), FlagText(s.DumpTOC));
  ini.setValue(QStringLiteral("ShowMTSPreview"), FlagText(s.ShowMTSPreview));
  ini.sync();
}

QStringList SettingsStore::ReadRecentFiles() const {
  QSettings ini(ini_path_, QSettings::IniFormat);
  ini.beginGroup(QString::fromLatin1(kRecentGroup));
  // F0, F1, ... in the order of their numbers, whatever order the file lists them in.
  std::vector<std::pair<int, QString>> numbered;
  for (const QString& key : ini.childKeys()) {
    bool isNumber = false;
    const int position = key.mid(1).toInt(&isNumber);
    if (!key.startsWith(QLatin1Char('F')) || !isNumber || position < 0) continue;
    const QString path = StringValue(ini, key);
    if (!path.isEmpty()) numbered.emplace_back(position, path);
  }
  std::stable_sort(numbered.begin(), numbered.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  QStringList paths;
  for (const auto& entry : numbered) paths << entry.second;
  return paths;
}

void SettingsStore::WriteRecentFiles(const QStringList& paths) const {
  QSettings ini(ini_path_, QSettings::IniFormat);
  ini.remove(QString::fromLatin1(kRecentGroup));
  ini.beginGroup(QString::fromLatin1(kRecentGroup));
  for (qsizetype i = 0; i < paths.size(); ++i) ini.setValue(QStringLiteral("F%1").arg(i), paths[i]);
  ini.endGroup();
  ini.sync();
}

}  // namespace kestrel::studio
