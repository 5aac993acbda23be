#include "studio/desktop/desktop_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <string>

#include "archive/file_error.h"
#include "archive/file_replacement.h"
#include "studio/desktop/kestrel_icon.h"

namespace kestrel::studio {

QString MimePackageXml() {
  return QStringLiteral(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
             "  <mime-type type=\"%1\">\n"
             "    <comment>%2</comment>\n"
             "    <icon name=\"%3\"/>\n"
             "    <magic>\n"
             "      <match type=\"string\" offset=\"0\" value=\"CUBEMAS4.10\"/>\n"
             "    </magic>\n"
             "    <glob pattern=\"*.mas\"/>\n"  // globs match any letter case unless told otherwise
             "  </mime-type>\n"
             "</mime-info>\n")
      .arg(QLatin1String(kMasMimeType), QLatin1String(kMasTypeDescription), QLatin1String(kIconName));
}

QString DesktopExecProgram(const QString& program) {
  if (program.isEmpty()) return {};
  bool needsQuotes = false;
  QString quoted;
  for (const QChar c : program) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7f) return {};
    if (QStringLiteral(" \t\"'\\><~|&;$*?#()`").contains(c)) needsQuotes = true;
    // Inside quotes these four take a backslash; a "%" is always doubled.
    if (QStringLiteral("\"`$\\").contains(c)) quoted += QLatin1Char('\\');
    if (c == QLatin1Char('%')) quoted += QLatin1Char('%');
    quoted += c;
  }
  QString argument = needsQuotes ? QLatin1Char('"') + quoted + QLatin1Char('"') : quoted;
  // The Exec value is itself a string whose backslashes are escaped once more.
  argument.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  return argument;
}

QString DesktopEntryText(const QString& program) {
  return QStringLiteral(
             "[Desktop Entry]\n"
             "Type=Application\n"
             "Name=Kestrel\n"
             "GenericName=MAS Archive Studio\n"
             "Comment=Browse, preview and edit F1-2002 and NT-2003 MAS archives\n"
             "Exec=%1 %f\n"
             "Icon=%2\n"
             "Terminal=false\n"
             "Categories=Utility;Archiving;\n"
             "MimeType=%3;\n"
             "Keywords=MAS;F1-2002;NT-2003;archive;mod;\n")
      .arg(DesktopExecProgram(program), QLatin1String(kIconName), QLatin1String(kMasMimeType));
}

QString MimePackageFile() { return QStringLiteral("mime/packages/") + QLatin1String(kMimePackageName); }
QString DesktopEntryFile() { return QStringLiteral("applications/") + QLatin1String(kDesktopEntryName); }
QString IconFile(int size) {
  return QStringLiteral("icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(QLatin1String(kIconName));
}

QStringList DataFiles() {
  QStringList files{MimePackageFile(), DesktopEntryFile()};
  for (const int size : kKestrelIconSizes) files << IconFile(size);
  return files;
}

WriteFailure ReplaceFile(const QString& path, const QByteArray& contents) {
  const QString folder = QFileInfo(path).absolutePath();
  if (!QDir().mkpath(folder))
    return {QDir::toNativeSeparators(path), QStringLiteral("The folder %1 could not be created.").arg(folder)};
  try {
    ReplaceFileContents(QFile::encodeName(path).toStdString(), contents.constData(),
                        static_cast<size_t>(contents.size()));
  } catch (const EInOutError& e) {
    return {path, QString::fromStdString(FileErrorText(e.Kind())) +
                      (e.SystemCode() != e.Code() ? QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(
                                                        std::strerror(e.SystemCode())))
                                                  : QString())};
  }
  return {};
}

WriteFailure WriteDataFiles(const QString& dataDirectory, const QString& program) {
  const QDir data(dataDirectory);
  if (DesktopExecProgram(program).isEmpty())
    return {data.filePath(DesktopEntryFile()),
            QStringLiteral("The program's path \"%1\" cannot be written into a desktop entry.").arg(program)};
  if (WriteFailure f = ReplaceFile(data.filePath(MimePackageFile()), MimePackageXml().toUtf8())) return f;
  if (WriteFailure f = ReplaceFile(data.filePath(DesktopEntryFile()), DesktopEntryText(program).toUtf8())) return f;
  for (const int size : kKestrelIconSizes)
    if (WriteFailure f = ReplaceFile(data.filePath(IconFile(size)), KestrelIconPng(size))) return f;
  return {};
}

}  // namespace kestrel::studio
