// The studio as real processes: termination signals still save its state, and a second start
// hands its archive to the studio already running.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>
#include <QThread>
#include <csignal>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "archive/testing/mas_builder.h"

namespace kestrel::studio::testing {
namespace {

using kestrel::testing::TestArchive;
using kestrel::testing::TestEntry;

class StudioProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir().mkpath(Q("run"));
    QFile::setPermissions(Q("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  void TearDown() override {
    for (QProcess* studio : studios_) {
      if (studio->state() != QProcess::NotRunning) {
        studio->kill();
        studio->waitForFinished(5000);
      }
      delete studio;
    }
  }

  QString Q(const std::string& name) const { return QString::fromStdString(dir_ / name); }
  QString Archive(const std::string& name) const {
    TestArchive archive;
    archive.Entries = {TestEntry("SKY.BMP", kestrel::testing::BytesOf("bmp"))};
    archive.WriteTo(dir_ / name);
    return Q(name);
  }
  // The socket the studio listens at: the name carries the user and the platform in place of a display.
  QString InstanceName() const { return Q("run") + QStringLiteral("/kestrel-%1-offscreen").arg(::getuid()); }

  QProcess* Launch(const QStringList& arguments) {
    auto* studio = new QProcess;
    studios_ << studio;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), Q("config"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), Q("run"));
    studio->setProcessEnvironment(environment);
    studio->setWorkingDirectory(Q(""));
    studio->start(QStringLiteral(KESTREL_STUDIO), arguments);
    EXPECT_TRUE(studio->waitForStarted(5000));
    return studio;
  }
  // Waits until the studio answers at its socket, which it opens once its window and start-up
  // archive are ready.
  bool Ready(QProcess* studio) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 20000 && studio->state() == QProcess::Running) {
      QLocalSocket probe;
      probe.connectToServer(InstanceName());
      if (probe.waitForConnected(200)) return true;
      QThread::msleep(100);
    }
    return false;
  }
  QString Ini(const QString& key) const {
    return QSettings(Q("config/Kestrel/Kestrel.ini"), QSettings::IniFormat).value(key).toString();
  }

  kestrel::testing::TempDir dir_;
  QList<QProcess*> studios_;
};

TEST_F(StudioProcessTest, TerminationSignalsEndTheStudioWithItsStateSaved) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    QFile::remove(Q("config/Kestrel/Kestrel.ini"));
    const QString archive = Archive("SIGNAL.MAS");
    QProcess* studio = Launch({archive});
    ASSERT_TRUE(Ready(studio)) << studio->readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(studio->processId()), signal);
    ASSERT_TRUE(studio->waitForFinished(10000));
    EXPECT_EQ(studio->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(studio->exitCode(), 0);
    EXPECT_EQ(Ini(QStringLiteral("MRU Items/F0")), archive);
    EXPECT_EQ(Ini(QStringLiteral("MASInitialDir")), QDir(Q("")).absolutePath());
  }
}

TEST_F(StudioProcessTest, ASecondStartHandsItsArchiveToTheRunningStudio) {
  const QString first = Archive("FIRST.MAS");
  const QString second = Archive("SECOND.MAS");
  QProcess* running = Launch({first});
  ASSERT_TRUE(Ready(running));

  // Given relative to the second process's folder; it ends at once, having opened no window.
  QProcess* handing = Launch({QStringLiteral("SECOND.MAS")});
  ASSERT_TRUE(handing->waitForFinished(10000));
  EXPECT_EQ(handing->exitCode(), 0) << handing->readAllStandardError().toStdString();

  // --version is answered by the new process itself.
  QProcess* version = Launch({QStringLiteral("--version")});
  ASSERT_TRUE(version->waitForFinished(10000));
  EXPECT_TRUE(version->readAllStandardOutput().startsWith("kestrel "));

  ::kill(static_cast<pid_t>(running->processId()), SIGTERM);
  ASSERT_TRUE(running->waitForFinished(10000));
  EXPECT_EQ(Ini(QStringLiteral("MRU Items/F0")), second);
  EXPECT_EQ(Ini(QStringLiteral("MRU Items/F1")), first);
}

TEST_F(StudioProcessTest, AStudioWaitingOnADialogStillTakesTheArchiveAndEndsOnASignal) {
  // The missing start-up archive leaves a message box open in the running studio.
  QProcess* running = Launch({Q("MISSING.MAS")});
  ASSERT_TRUE(Ready(running));
  QProcess* handing = Launch({Archive("LATER.MAS")});
  ASSERT_TRUE(handing->waitForFinished(10000));
  EXPECT_EQ(handing->exitCode(), 0);
  ::kill(static_cast<pid_t>(running->processId()), SIGTERM);
  ASSERT_TRUE(running->waitForFinished(10000));
  EXPECT_EQ(running->exitStatus(), QProcess::NormalExit);
}

TEST_F(StudioProcessTest, ASocketLeftByAKilledStudioDoesNotStopTheNextOne) {
  // A bound socket file that nobody listens at any more.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  const QByteArray path = InstanceName().toLocal8Bit();
  ASSERT_LT(static_cast<size_t>(path.size()), sizeof address.sun_path);
  std::copy(path.begin(), path.end(), address.sun_path);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);

  const QString archive = Archive("AFTER.MAS");
  QProcess* studio = Launch({archive});
  ASSERT_TRUE(Ready(studio));
  EXPECT_EQ(studio->state(), QProcess::Running);
  ::kill(static_cast<pid_t>(studio->processId()), SIGTERM);
  ASSERT_TRUE(studio->waitForFinished(10000));
  EXPECT_EQ(Ini(QStringLiteral("MRU Items/F0")), archive);
}

}  // namespace
}  // namespace kestrel::studio::testing
