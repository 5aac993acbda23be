#include "studio/qt_common/scratch_directory.h"

#include <fnmatch.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace kestrel::studio {

QString ScratchDirectoryPath() {
  const QString programDirectory = QCoreApplication::applicationDirPath();
  const QString name = QString::fromLatin1(kScratchDirectoryName);
  if (!programDirectory.isEmpty() && ::access(QFile::encodeName(programDirectory).constData(), W_OK) == 0)
    return programDirectory + QLatin1Char('/') + name;
  return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QLatin1Char('/') + name;
}

namespace {

bool Matches(const QString& pattern, const QString& name) {
  if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*")) return true;
  return ::fnmatch(QFile::encodeName(pattern).constData(), QFile::encodeName(name).constData(), 0) == 0;
}

}  // namespace

void ClearScratchDirectory(const QString& directory, const QString& pattern, bool recurse) {
  const QDir dir(directory);
  if (!dir.exists()) return;
  const QFileInfoList items =
      dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
  for (const QFileInfo& item : items) {
    if (item.isSymLink() || !item.isDir()) {
      if (Matches(pattern, item.fileName())) QFile::remove(item.absoluteFilePath());
    }
  }
  if (!recurse) return;
  for (const QFileInfo& item : items) {
    if (item.isDir() && !item.isSymLink()) {
      ClearScratchDirectory(item.absoluteFilePath(), pattern, true);
      dir.rmdir(item.fileName());
    }
  }
}

void RemoveScratchDirectory(const QString& directory) {
  ClearScratchDirectory(directory, QStringLiteral("*.*"), false);
  QDir().rmdir(directory);
}

}  // namespace kestrel::studio
