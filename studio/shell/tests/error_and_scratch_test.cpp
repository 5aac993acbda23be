// The application error dialog, errors that escape an event handler, and the scratch directory.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "studio/qt_common/application_error_dialog.h"
#include "studio/qt_common/scratch_directory.h"
#include "studio/qt_common/studio_application.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

TEST(ApplicationErrorDialog, ShowsCaptionAndMessageAndUnfoldsTheReportOnRequest) {
  ApplicationErrorDialog dialog(ApplicationErrorCaption(QStringLiteral("Kestrel")), QStringLiteral("Disk full"),
                                QStringLiteral("Error: kestrel::EInOutError"));
  EXPECT_EQ(dialog.windowTitle(), "Kestrel - application error");
  EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("LMessage"))->text(), "Disk full");
  EXPECT_NE(dialog.findChild<QPushButton*>(QStringLiteral("BOK")), nullptr);
  auto* details = dialog.findChild<QPushButton*>(QStringLiteral("BDetails"));
  ASSERT_NE(details, nullptr);
  EXPECT_FALSE(dialog.DetailsShown());
  details->click();
  EXPECT_TRUE(dialog.DetailsShown());
  EXPECT_EQ(dialog.findChild<QPlainTextEdit*>(QStringLiteral("MReport"))->toPlainText(), "Error: kestrel::EInOutError");
  details->click();
  EXPECT_FALSE(dialog.DetailsShown());
}

class Throwing : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("the receiver failed");
    return QObject::event(e);
  }
};

TEST(KestrelApplication, ErrorEscapingAnEventHandlerIsShownAndTheLoopGoesOn) {
  auto* app = dynamic_cast<KestrelApplication*>(QCoreApplication::instance());
  ASSERT_NE(app, nullptr);
  ScriptedDialogs dialogs;
  app->SetErrorDialogs(&dialogs);
  SetApplicationTitle(QStringLiteral("Kestrel"));
  Throwing receiver;
  receiver.setObjectName(QStringLiteral("Receiver1"));
  QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
  QCoreApplication::sendPostedEvents(&receiver, QEvent::User);
  app->SetErrorDialogs(nullptr);
  ASSERT_EQ(dialogs.applicationErrors.size(), 1u);
  EXPECT_EQ(dialogs.applicationErrors[0].caption, "Kestrel - application error");
  EXPECT_EQ(dialogs.applicationErrors[0].text, "the receiver failed");
  EXPECT_TRUE(dialogs.applicationErrors[0].details.contains(QStringLiteral("std::runtime_error")));
  EXPECT_TRUE(dialogs.applicationErrors[0].details.contains(QStringLiteral("Receiver1")));
}

TEST(ScratchDirectory, LiesInTheProgramDirectoryWhenThatIsWritable) {
  const QString path = ScratchDirectoryPath();
  EXPECT_TRUE(path.endsWith(QStringLiteral("/$KSTRL$")));
  EXPECT_EQ(QFileInfo(path).absolutePath(), QCoreApplication::applicationDirPath());
}

void Touch(const std::filesystem::path& path) { std::ofstream(path) << "x"; }

TEST(ScratchDirectory, ClearingRemovesMatchingFilesAndSubdirectoriesOnlyWhenAsked) {
  kestrel::testing::TempDir dir;
  const std::filesystem::path root = dir.Path();
  Touch(root / "TEX.BMP");
  Touch(root / ".hidden");
  Touch(root / "NODOT");
  std::filesystem::create_directories(root / "sub/deeper");
  Touch(root / "sub/deeper/A.TGA");
  std::filesystem::create_directory(root / "outside");
  Touch(root / "outside/KEEP.TXT");
  std::filesystem::create_directory_symlink(root / "outside", root / "sub/link");

  ClearScratchDirectory(QString::fromStdString(dir / "sub"), QStringLiteral("*.*"), false);
  EXPECT_TRUE(std::filesystem::exists(root / "sub/deeper/A.TGA"));
  EXPECT_FALSE(std::filesystem::exists(root / "sub/link"));  // a link is a file here, never followed
  EXPECT_TRUE(std::filesystem::exists(root / "outside/KEEP.TXT"));

  ClearScratchDirectory(QString::fromStdString(dir.Path()), QStringLiteral("*.BMP"), false);
  EXPECT_FALSE(std::filesystem::exists(root / "TEX.BMP"));
  EXPECT_TRUE(std::filesystem::exists(root / "NODOT"));

  ClearScratchDirectory(QString::fromStdString(dir / "sub"), QStringLiteral("*.*"), true);
  EXPECT_TRUE(std::filesystem::is_empty(root / "sub"));
  ClearScratchDirectory(QString::fromStdString(dir.Path()), QStringLiteral("*.*"), false);
  EXPECT_FALSE(std::filesystem::exists(root / ".hidden"));
  EXPECT_FALSE(std::filesystem::exists(root / "NODOT"));
  EXPECT_TRUE(std::filesystem::exists(root / "outside/KEEP.TXT"));
}

using ScratchAtExit = StudioTest;

TEST_F(ScratchAtExit, IsEmptiedAndRemovedWhenTheProgramEnds) {
  TFKestrel& w = Start();
  const std::filesystem::path scratch = w.ScratchDirectory().toStdString();
  std::filesystem::create_directory(scratch);
  Touch(scratch / "GRASS.TGA");
  Touch(scratch / "KERB.BMP");
  End();
  EXPECT_FALSE(std::filesystem::exists(scratch));
}

}  // namespace
}  // namespace kestrel::studio::testing
