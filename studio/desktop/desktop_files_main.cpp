// kestrel-desktop-files SHARE_DIRECTORY PROGRAM: writes the file type, the desktop entry running
// PROGRAM and the icons under SHARE_DIRECTORY, laid out as in PREFIX/share. The install step runs it.
#include <QString>
#include <cstdio>

#include "studio/desktop/desktop_files.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: kestrel-desktop-files SHARE_DIRECTORY PROGRAM\n", stderr);
    return 2;
  }
  const QString share = QString::fromLocal8Bit(argv[1]);
  const QString program = QString::fromLocal8Bit(argv[2]);
  if (const kestrel::studio::WriteFailure failure = kestrel::studio::WriteDataFiles(share, program)) {
    std::fprintf(stderr, "kestrel-desktop-files: %s: %s\n", failure.file.toLocal8Bit().constData(),
                 failure.reason.toLocal8Bit().constData());
    return 1;
  }
  return 0;
}
