// Paths between Qt's strings and the file code's byte strings, in the file system's own encoding,
// so that a name Qt shows is the very file the file code opens.
#pragma once

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <string>

namespace kestrel::studio {

inline std::string NativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }
inline QString FromNative(const std::string& path) { return QFile::decodeName(path.c_str()); }
// The absolute folder of a chosen file: what the studio remembers as the place to start next time.
inline QString FolderOf(const QString& path) { return QFileInfo(path).absolutePath(); }

}  // namespace kestrel::studio
