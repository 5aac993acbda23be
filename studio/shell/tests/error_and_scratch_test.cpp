// The application error dialog, errors that escape an event handler, and the scratch directory.
#include <QApplication>
#include <QFontMetrics>
#include <QKeySequence>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "studio/qt_common/application_error_dialog.h"
#include "studio/qt_common/scratch_directory.h"
#include "studio/qt_common/studio_application.h"
#include "studio/qt_common/testing/accessible_names.h"
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

// The caption shows whole, a path that fits on a line is never broken, and every control can be
// reached by its Alt letter and named by a screen reader.
TEST(ApplicationErrorDialog, ShowsItsCaptionWholeAndKeepsPathsOnOneLine) {
  const QString caption = ApplicationErrorCaption(QStringLiteral("Kestrel - [ TRACK_WITH_A_LONG_NAME_2002.MAS ]"));
  const QString path = QStringLiteral("\"/home/modder/Games/F1-2002/Season-Mods/Tracks/TRACK_WITH_A_LONG_NAME_2002.MAS\"");
  ApplicationErrorDialog dialog(caption, "The file " + path + " could not be opened: File access denied", "Error");
  dialog.adjustSize();
  QFont titleFont = dialog.font();
  titleFont.setBold(true);
  EXPECT_GE(dialog.width(), QFontMetrics(titleFont).horizontalAdvance(caption) + 100);
  const QString shown = dialog.findChild<QLabel*>(QStringLiteral("LMessage"))->text();
  EXPECT_TRUE(shown.split('\n').filter(path).size() == 1) << shown.toStdString();

  auto* details = dialog.findChild<QPushButton*>(QStringLiteral("BDetails"));
  for (int state = 0; state < 2; ++state) {
    EXPECT_EQ(QKeySequence::mnemonic(details->text()), QKeySequence(Qt::ALT | Qt::Key_D)) << details->text().toStdString();
    details->click();
  }
  EXPECT_EQ(ControlsWithoutAccessibleName(&dialog), std::vector<std::string>{});
}

TEST(ApplicationErrorDialog, WrapsAtSpacesAndInsidePathsOnlyAfterASeparator) {
  const QFontMetrics metrics(QApplication::font());
  const int width = metrics.horizontalAdvance(QStringLiteral("/games/season/tracks/"));
  struct Case {
    const char* what;
    const char* message;
    const char* wrapped;
  };
  const Case cases[] = {
      {"short", "Disk full", "Disk full"},
      {"words", "one two three four five six seven eight nine", nullptr},
      {"a long path", "at /games/season/tracks/monaco/TRACK.MAS now", nullptr},
      {"a long name without a separator stays whole", "x ABCDEFGHIJKLMNOPQRSTUVWXYZ_ABCDEFGHIJ y",
       "x\nABCDEFGHIJKLMNOPQRSTUVWXYZ_ABCDEFGHIJ\ny"},
      {"line breaks kept", "first\r\nsecond", "first\nsecond"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QString message = QString::fromLatin1(c.message);
    const QString wrapped = WrapMessage(message, metrics, width);
    if (c.wrapped) {
      EXPECT_EQ(wrapped, c.wrapped);
    }
    const QStringList lines = wrapped.split('\n');
    QString rejoined;
    for (qsizetype i = 0; i < lines.size(); ++i) {
      const QString& line = lines[i];
      if (line.contains(' ') || line.contains('/')) {
        EXPECT_LE(metrics.horizontalAdvance(line), width) << line.toStdString();
      }
      // A break is at a space (gone) or right after a separator (kept).
      if (i > 0) rejoined += rejoined.endsWith('/') ? QString() : QStringLiteral(" ");
      rejoined += line;
    }
    if (!message.contains('\r')) {
      EXPECT_EQ(rejoined, message);
    }
  }
  EXPECT_GT(WrapMessage("at /games/season/tracks/monaco/TRACK.MAS now", metrics, width).count('\n'), 1);
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
