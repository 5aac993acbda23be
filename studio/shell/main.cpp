// kestrel [ARCHIVE.MAS]: the desktop studio. A first argument that is not empty is opened at start,
// or handed to the studio already running on the same display.
// kestrel --render ARCHIVE.MAS ENTRY OUT.png [WIDTHxHEIGHT]: a picture of one mesh entry, no window.
// kestrel --version, kestrel --help: answered without a display.
#include <QGuiApplication>
#include <QSessionManager>
#include <QStandardPaths>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "studio/shell/main_window.h"
#include "studio/qt_common/qt_studio_dialogs.h"
#include "studio/preview/render_command.h"
#include "studio/qt_common/studio_application.h"
#include "studio/shell/studio_instance.h"
#include "studio/shell/termination_signals.h"
#include "packaging/version.h"

namespace {

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

bool AsksForHelp(int argc, char** argv) {
  return argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
}

}  // namespace

int main(int argc, char** argv) {
  // Before Qt starts, which needs a display.
  if (kestrel::PrintVersionIfAsked(argc, argv, "kestrel")) return 0;
  if (AsksForHelp(argc, argv)) {
    std::fputs(
        "usage: kestrel [ARCHIVE.MAS]\n"
        "       kestrel --render ARCHIVE.MAS ENTRY OUT.png [WIDTHxHEIGHT]\n"
        "       kestrel --version\n"
        "Opens the archive in the desktop studio; --render writes a picture of one mesh entry as the\n"
        "preview shows it at start and exits. See man kestrel.\n",
        stdout);
    return 0;
  }
  // Without a display Qt aborts with a message about platform plugins; say what to do instead.
  if (!HasDisplay()) {
    std::fputs(
        "kestrel: no display found. Run it from a desktop session, or under a virtual display:\n"
        "    xvfb-run -a kestrel ARCHIVE.MAS\n",
        stderr);
    return 1;
  }

  kestrel::studio::KestrelApplication app(argc, argv);
  QCoreApplication::setApplicationName(QString::fromLatin1(kestrel::studio::kStudioName));
  if (argc > 1 && std::string(argv[1]) == kestrel::studio::kRenderOption)
    return kestrel::studio::RunRenderCommand(QCoreApplication::arguments().mid(2));
  kestrel::studio::SetApplicationTitle(QString::fromLatin1(kestrel::studio::kStudioName));

  // A studio already running on this display takes the archive; this one has nothing more to do.
  const QString instanceName = kestrel::studio::StudioInstanceName();
  if (argc > 1 && *argv[1] &&
      kestrel::studio::HandOverToRunningStudio(instanceName, QString::fromLocal8Bit(argv[1])))
    return 0;
  kestrel::studio::QuitOnTerminationSignals quitOnSignals;

  kestrel::studio::QtStudioDialogs dialogs;
  app.SetErrorDialogs(&dialogs);

  kestrel::studio::StudioEnvironment environment;
  if (argc > 1) environment.startupArchive = QString::fromLocal8Bit(argv[1]);
  // Listening starts before the window, whose start-up archive may wait on a message: archives
  // handed over meanwhile are kept until the window is there.
  kestrel::studio::TFKestrel* target = nullptr;
  QStringList handedOver;
  kestrel::studio::StudioInstanceServer server(instanceName, [&target, &handedOver](const QString& path) {
    if (target) target->OpenHandedOver(path);
    else handedOver << path;
  });
  int status = 0;
  {
    kestrel::studio::TFKestrel window(dialogs, environment);
    dialogs.SetParent(&window);
    // A session that ends may not let the window close in order.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window] { window.SaveSettings(); });
    window.show();
    target = &window;
    for (const QString& path : std::exchange(handedOver, {})) window.OpenHandedOver(path);
    // A signal that ended a start-up message already asked to quit; the loop would miss it.
    if (!quitOnSignals.Received()) status = app.exec();
    target = nullptr;
  }
  app.SetErrorDialogs(nullptr);
  return status;
}
