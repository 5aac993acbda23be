#include "studio/qt_common/studio_application.h"

#include <cstdio>

#include "studio/qt_common/application_error_dialog.h"
#include "studio/qt_common/studio_dialogs.h"

namespace kestrel::studio {

namespace {
QString& TitleStore() {
  static QString title = QString::fromLatin1(kStudioName);
  return title;
}
}  // namespace

QString ApplicationTitle() { return TitleStore(); }
void SetApplicationTitle(const QString& title) { TitleStore() = title; }

KestrelApplication::KestrelApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool KestrelApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    const QString where = receiver ? QString::fromLatin1(receiver->metaObject()->className()) + QLatin1Char(' ') +
                                         receiver->objectName()
                                   : QString();
    if (dialogs_) {
      try {
        ReportUnhandledError(*dialogs_, where);
      } catch (...) {
        std::fputs("kestrel: an error occurred while reporting an error\n", stderr);
      }
    }
    return false;
  }
}

}  // namespace kestrel::studio
