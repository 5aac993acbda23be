#include "studio/shell/studio_instance.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <unistd.h>

namespace kestrel::studio {

namespace {

constexpr int kConnectMs = 1000;
constexpr int kAnswerMs = 5000;
const QByteArray kTaken = QByteArrayLiteral("OK\n");

QString DisplayName() {
  for (const char* variable : {"WAYLAND_DISPLAY", "DISPLAY"}) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty()) return value;
  }
  return qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("default"));
}

}  // namespace

QString StudioInstanceName() {
  QString display = DisplayName();
  for (QChar& c : display)
    if (!c.isLetterOrNumber()) c = QLatin1Char('_');
  // The runtime folder belongs to the user alone; where there is none, the name carries the uid.
  QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::tempPath();
  return QDir(folder).filePath(QStringLiteral("kestrel-%1-%2").arg(::getuid()).arg(display));
}

bool HandOverToRunningStudio(const QString& name, const QString& archivePath) {
  QLocalSocket socket;
  socket.connectToServer(name);
  if (!socket.waitForConnected(kConnectMs)) return false;
  socket.write(QFileInfo(archivePath).absoluteFilePath().toUtf8() + '\n');
  if (!socket.waitForBytesWritten(kConnectMs)) return false;
  QByteArray answer;
  while (!answer.endsWith('\n') && socket.waitForReadyRead(kAnswerMs)) answer += socket.readAll();
  return answer == kTaken;
}

StudioInstanceServer::StudioInstanceServer(const QString& name, std::function<void(const QString&)> open,
                                           QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)), open_(std::move(open)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(name) && server_->serverError() == QAbstractSocket::AddressInUseError) {
    // Nobody answers there: the socket file is what a studio that was killed left behind.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (!probe.waitForConnected(kConnectMs)) {
      QLocalServer::removeServer(name);
      server_->listen(name);
    }
  }
  connect(server_, &QLocalServer::newConnection, this, &StudioInstanceServer::Accept);
}

bool StudioInstanceServer::IsListening() const { return server_->isListening(); }

void StudioInstanceServer::Accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (!socket->canReadLine()) return;
      const QString path = QString::fromUtf8(socket->readLine()).chopped(1);
      // The answer goes before the work: opening may show a message that waits for the user.
      socket->write(kTaken);
      socket->flush();
      socket->disconnectFromServer();
      if (!path.isEmpty()) open_(path);
    });
  }
}

}  // namespace kestrel::studio
