// The studio as a freedesktop application: the ".mas" file type (a shared-mime-info package), the
// desktop entry that opens such files with the studio, and the hicolor icons. The same files are
// installed with the kit and written for one user by the association in the Options dialog.
#pragma once

#include <QString>
#include <QStringList>

namespace kestrel::studio {

inline constexpr char kMasMimeType[] = "application/x-f1-2002-mas";
inline constexpr char kMasTypeDescription[] = "EA F1-2002 MAS File";
inline constexpr char kDesktopEntryName[] = "kestrel.desktop";
inline constexpr char kMimePackageName[] = "kestrel.xml";
inline constexpr char kIconName[] = "kestrel";

// The package declaring the type: "*.mas" in any letter case, the description, the icon, and the
// magic "CUBEMAS4.10" at offset 0.
QString MimePackageXml();

// `program` as one argument of a desktop entry's Exec line, quoted and escaped where it must be.
// Empty when it cannot be written there (it holds a line break or another control character).
QString DesktopExecProgram(const QString& program);
// The desktop entry running `program` with the chosen file as its first argument.
QString DesktopEntryText(const QString& program);

// The files under a data directory ($XDG_DATA_HOME or PREFIX/share), relative to it.
QString MimePackageFile();
QString DesktopEntryFile();
QString IconFile(int size);
QStringList DataFiles();

struct WriteFailure {
  QString file;    // empty: nothing failed
  QString reason;
  explicit operator bool() const { return !file.isEmpty(); }
};

// Writes every data file under `dataDirectory` in order (MIME package, desktop entry, icons), each
// replaced whole. Stops at the first failure, keeping what was written before it.
WriteFailure WriteDataFiles(const QString& dataDirectory, const QString& program);

// Replaces (or creates) a file through the engine's safe replacement; the reason on failure.
WriteFailure ReplaceFile(const QString& path, const QByteArray& contents);

}  // namespace kestrel::studio
