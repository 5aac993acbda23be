// One studio per user and display: a second `kestrel ARCHIVE.MAS` hands the archive to the studio
// already running, which opens it and comes to the front, and the second process ends.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

namespace kestrel::studio {

// The name of the running studio's socket: a path in the user's runtime folder, one per display.
QString StudioInstanceName();

// Sends `archivePath` (made absolute) to the studio listening at `name`; true once that studio has
// taken it. False when none is running, or it does not answer in time.
bool HandOverToRunningStudio(const QString& name, const QString& archivePath);

// Listens at `name` for archives handed over and passes each to `open`. A socket left behind by a
// studio that died is taken over.
class StudioInstanceServer : public QObject {
 public:
  StudioInstanceServer(const QString& name, std::function<void(const QString&)> open, QObject* parent = nullptr);
  bool IsListening() const;

 private:
  void Accept();
  QLocalServer* server_;
  std::function<void(const QString&)> open_;
};

}  // namespace kestrel::studio
