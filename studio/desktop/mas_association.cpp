#include "studio/desktop/mas_association.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <utility>

namespace kestrel::studio {

namespace {

QString BaseDirectory(const char* variable, const QString& fallback) {
  const QString value = qEnvironmentVariable(variable);
  return !value.isEmpty() && QDir::isAbsolutePath(value) ? value : QDir::homePath() + fallback;
}

const QString kDefaultGroup = QStringLiteral("[Default Applications]");

bool IsGroupHeader(const QString& line) { return line.trimmed().startsWith(QLatin1Char('[')); }

// The key of a "key=value" line, or nothing.
QString KeyOf(const QString& line) {
  const qsizetype equals = line.indexOf(QLatin1Char('='));
  return equals < 0 || IsGroupHeader(line) ? QString() : line.left(equals).trimmed();
}

QStringList ValuesOf(const QString& line) {
  return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed().split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

QStringList LinesOf(const QString& text) {
  QStringList lines = text.split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

QString TextOf(const QStringList& lines) { return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + '\n'; }

// Runs a refresh tool where it is installed; a note when it failed, nothing otherwise.
QString Refresh(const QString& tool, const QStringList& arguments) {
  const QString path = QStandardPaths::findExecutable(tool);
  if (path.isEmpty()) return {};
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(path, arguments);
  if (!process.waitForFinished(60000)) {
    process.kill();
    process.waitForFinished();
    return tool + QStringLiteral(" did not finish.");
  }
  if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) return {};
  const QString output = QString::fromLocal8Bit(process.readAll()).trimmed();
  return tool + QStringLiteral(" failed") + (output.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + output);
}

QStringList RefreshDatabases(const AssociationPlaces& places) {
  QStringList notes;
  const QDir data(places.dataHome);
  const std::pair<QString, QString> databases[] = {{QStringLiteral("update-mime-database"), QStringLiteral("mime")},
                                                   {QStringLiteral("update-desktop-database"),
                                                    QStringLiteral("applications")}};
  for (const auto& [tool, folder] : databases) {
    if (!data.exists(folder)) continue;  // nothing of ours was ever there
    const QString note = Refresh(tool, {data.filePath(folder)});
    if (!note.isEmpty()) notes << note;
  }
  return notes;
}

// What update-mime-database makes from the packages, beside one file per type in a folder per media type.
const char* const kMimeDatabaseFiles[] = {"XMLnamespaces", "aliases", "generic-icons", "globs",   "globs2",
                                          "icons",         "magic",   "mime.cache",    "subclasses", "treemagic",
                                          "types",         "version"};

bool HoldsAny(const QString& folder, const QString& pattern) {
  return QDirIterator(folder, {pattern}, QDir::Files, QDirIterator::Subdirectories).hasNext();
}

// After our files are gone, each database is rebuilt for what is left, or, where nothing is left
// that it could describe, removed with the folders that held only it: Remove leaves nothing that
// Associate's refresh made, and keeps another package's types and entries.
QStringList RefreshOrRemoveDatabases(const AssociationPlaces& places) {
  QStringList notes;
  QDir data(places.dataHome);
  if (data.exists(QStringLiteral("mime"))) {
    if (HoldsAny(data.filePath(QStringLiteral("mime/packages")), QStringLiteral("*.xml"))) {
      const QString note = Refresh(QStringLiteral("update-mime-database"), {data.filePath(QStringLiteral("mime"))});
      if (!note.isEmpty()) notes << note;
    } else {
      QDir mime(data.filePath(QStringLiteral("mime")));
      for (const char* file : kMimeDatabaseFiles) mime.remove(QLatin1String(file));
      const QString ourType = QLatin1String(kMasMimeType);
      mime.remove(ourType + QStringLiteral(".xml"));
      for (const QString& folder : {QFileInfo(ourType).path(), QStringLiteral("packages"), QString()})
        if (!folder.isEmpty()) mime.rmdir(folder);
      data.rmdir(QStringLiteral("mime"));
    }
  }
  if (data.exists(QStringLiteral("applications"))) {
    if (HoldsAny(data.filePath(QStringLiteral("applications")), QStringLiteral("*.desktop"))) {
      const QString note =
          Refresh(QStringLiteral("update-desktop-database"), {data.filePath(QStringLiteral("applications"))});
      if (!note.isEmpty()) notes << note;
    } else {
      data.remove(QStringLiteral("applications/mimeinfo.cache"));
      data.rmdir(QStringLiteral("applications"));
    }
  }
  return notes;
}

// Removes `file` and then each folder above it, up to `stop`, that it leaves empty.
void RemoveWithEmptyFolders(const QDir& base, const QString& file, const QString& stop) {
  QFile::remove(base.filePath(file));
  QString folder = QFileInfo(file).path();
  while (!folder.isEmpty() && folder != QLatin1String(".") && folder != stop) {
    if (!base.rmdir(folder)) break;  // refuses while anything is left in it
    folder = QFileInfo(folder).path();
  }
}

}  // namespace

AssociationPlaces AssociationPlaces::ForCurrentUser() {
  return {BaseDirectory("XDG_DATA_HOME", QStringLiteral("/.local/share")),
          BaseDirectory("XDG_CONFIG_HOME", QStringLiteral("/.config"))};
}

QString AssociationPlaces::MimeAppsList() const { return QDir(configHome).filePath(QStringLiteral("mimeapps.list")); }

QString WithDefaultApplication(const QString& text, const QString& type, const QString& desktopId) {
  QStringList lines = LinesOf(text);
  const QString entry = type + QLatin1Char('=') + desktopId + QLatin1Char(';');
  qsizetype group = -1;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (IsGroupHeader(lines[i])) {
      if (group >= 0) break;
      if (lines[i].trimmed() == kDefaultGroup) group = i;
      continue;
    }
    if (group >= 0 && KeyOf(lines[i]) == type) {
      lines[i] = entry;
      return TextOf(lines);
    }
  }
  if (group < 0) {
    lines << kDefaultGroup << entry;
    return TextOf(lines);
  }
  // After the group's last entry, before any blank lines that part it from the next group.
  qsizetype at = group + 1;
  for (qsizetype i = group + 1; i < lines.size() && !IsGroupHeader(lines[i]); ++i)
    if (!lines[i].trimmed().isEmpty()) at = i + 1;
  lines.insert(at, entry);
  return TextOf(lines);
}

QString WithoutDefaultApplication(const QString& text, const QString& type, const QString& desktopId) {
  QStringList lines = LinesOf(text);
  qsizetype group = -1;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (IsGroupHeader(lines[i])) {
      group = lines[i].trimmed() == kDefaultGroup ? i : -1;
      continue;
    }
    if (group < 0 || KeyOf(lines[i]) != type) continue;
    QStringList values = ValuesOf(lines[i]);
    if (!values.removeAll(desktopId)) continue;
    if (!values.isEmpty()) {
      lines[i] = type + QLatin1Char('=') + values.join(QLatin1Char(';')) + QLatin1Char(';');
      continue;
    }
    lines.removeAt(i);
    // A group with nothing left in it goes too.
    qsizetype end = group + 1;
    while (end < lines.size() && !IsGroupHeader(lines[end])) ++end;
    bool empty = true;
    for (qsizetype j = group + 1; j < end; ++j) empty = empty && lines[j].trimmed().isEmpty();
    if (empty) lines.remove(group, end - group);
    break;
  }
  return TextOf(lines);
}

AssociationResult AssociateMas(const AssociationPlaces& places, const QString& program) {
  AssociationResult result;
  result.failure = WriteDataFiles(places.dataHome, program);
  if (result.failure) return result;

  const QString listPath = places.MimeAppsList();
  QFile list(listPath);
  QString text;
  if (list.exists()) {
    if (!list.open(QIODevice::ReadOnly)) {
      result.failure = {listPath, list.errorString()};
      return result;
    }
    text = QString::fromUtf8(list.readAll());
    list.close();
  }
  const QString updated =
      WithDefaultApplication(text, QLatin1String(kMasMimeType), QLatin1String(kDesktopEntryName));
  if (updated != text) result.failure = ReplaceFile(listPath, updated.toUtf8());
  if (result.failure) return result;
  result.refreshNotes = RefreshDatabases(places);
  return result;
}

AssociationResult RemoveMasAssociation(const AssociationPlaces& places) {
  AssociationResult result;
  const QDir data(places.dataHome);
  // The MIME folders are left to the database step below, which knows what else they hold.
  RemoveWithEmptyFolders(data, MimePackageFile(), QStringLiteral("mime/packages"));
  RemoveWithEmptyFolders(data, DesktopEntryFile(), QString());
  for (const QString& file : DataFiles())
    if (file.startsWith(QLatin1String("icons/"))) RemoveWithEmptyFolders(data, file, QString());

  QFile list(places.MimeAppsList());
  if (list.open(QIODevice::ReadOnly)) {
    const QString text = QString::fromUtf8(list.readAll());
    list.close();
    const QString updated =
        WithoutDefaultApplication(text, QLatin1String(kMasMimeType), QLatin1String(kDesktopEntryName));
    if (updated != text) {
      // A list with nothing left in it says nothing; it goes rather than stay empty.
      if (updated.trimmed().isEmpty())
        QFile::remove(list.fileName());
      else
        result.failure = ReplaceFile(list.fileName(), updated.toUtf8());
    }
  }
  result.refreshNotes = RefreshOrRemoveDatabases(places);
  return result;
}

}  // namespace kestrel::studio
