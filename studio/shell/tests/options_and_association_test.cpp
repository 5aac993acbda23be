// The Options dialog and its ".mas" association, checked with the desktop's own tools in a private
// home, and the About box.
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <set>

#include "studio/dialogs/about_dialog.h"
#include "archive/testing/program_runner.h"
#include "studio/desktop/desktop_files.h"
#include "studio/desktop/kestrel_icon.h"
#include "studio/desktop/mas_association.h"
#include "studio/dialogs/options_dialog.h"
#include "studio/qt_common/testing/accessible_names.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

using kestrel::testing::ReadFileText;
using kestrel::testing::RunProgram;

enum class Closing { OK, Escape, CloseBox };

TEST_F(StudioTest, OptionsMirrorShowMTSPreviewHoweverTheDialogCloses) {
  StudioSettings settings;
  TFKestrelOptions options(dialogs_, settings);
  EXPECT_EQ(options.windowTitle(), "Options");
  EXPECT_EQ(options.GBFileAssociation->title(), ".MAS File Association ");
  EXPECT_EQ(WithoutMnemonic(options.BAssociate->text()), "Associate .MAS with Kestrel");
  EXPECT_EQ(WithoutMnemonic(options.BUnAssociate->text()), "Remove .MAS association");
  EXPECT_EQ(WithoutMnemonic(options.CBShowMTSPreview->text()), "Show MTS preview (OpenGL)");
  EXPECT_EQ(options.BOK->text(), "OK");

  for (const Closing closing : {Closing::OK, Closing::Escape, Closing::CloseBox}) {
    for (const bool stored : {true, false}) {
      SCOPED_TRACE(static_cast<int>(closing) * 10 + stored);
      settings.ShowMTSPreview = stored;
      options.show();
      EXPECT_EQ(options.CBShowMTSPreview->isChecked(), stored);
      options.CBShowMTSPreview->click();
      switch (closing) {
        case Closing::OK: options.BOK->click(); break;
        case Closing::Escape: {
          QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
          QCoreApplication::sendEvent(&options, &escape);
          break;
        }
        case Closing::CloseBox: options.close(); break;
      }
      EXPECT_FALSE(options.isVisible());
      EXPECT_EQ(settings.ShowMTSPreview, !stored);
    }
  }
}

TEST_F(StudioTest, OptionsChangeReachesTheSettingsFileAtExit) {
  TFKestrel& w = Start();
  QTimer::singleShot(0, [&] {
    w.FKestrelOptions->CBShowMTSPreview->setChecked(false);
    w.FKestrelOptions->close();
  });
  w.Options2->trigger();
  End();
  EXPECT_EQ(IniValue("ShowMTSPreview"), "0");
}

TEST_F(StudioTest, AboutShowsVersionAndDateAndClosesWithOK) {
  TFKestrel& w = Start();
  TFKestrelAbout& about = *w.FKestrelAbout;
  EXPECT_EQ(about.windowTitle(), "About Kestrel");
  EXPECT_EQ(about.LDate->text(), "July 18, 2003");
  EXPECT_EQ(about.LVersion->text(), "1.42");
  EXPECT_FALSE(about.LAuthor->text().isEmpty());
  EXPECT_FALSE(about.LThanks->text().isEmpty());
  QTimer::singleShot(0, [&] { about.BOK->click(); });
  w.About1->trigger();
  EXPECT_FALSE(about.isVisible());
}

TEST_F(StudioTest, OptionsAndAboutHaveANameForEveryControl) {
  TFKestrel& w = Start();
  for (QDialog* dialog : std::initializer_list<QDialog*>{w.FKestrelOptions, w.FKestrelAbout}) {
    SCOPED_TRACE(dialog->objectName().toStdString());
    EXPECT_EQ(ControlsWithoutAccessibleName(dialog), std::vector<std::string>{});
  }
}

struct ExecCase {
  const char* program;
  const char* exec;
};

TEST(DesktopEntry, ProgramPathIsQuotedAndEscapedForTheExecLine) {
  const ExecCase cases[] = {
      {"/usr/bin/kestrel", "/usr/bin/kestrel"},
      {"/opt/my games/kestrel", R"("/opt/my games/kestrel")"},
      {"/opt/100%/kestrel", "/opt/100%%/kestrel"},
      {"/opt/$HOME/k`x`", R"("/opt/\\$HOME/k\\`x\\`")"},
      {R"(/opt/a\b/kestrel)", R"("/opt/a\\\\b/kestrel")"},
      {"/opt/\"q\"/kestrel", R"("/opt/\\"q\\"/kestrel")"},
      {"/opt/line\nbreak", ""},
  };
  for (const ExecCase& c : cases) EXPECT_EQ(DesktopExecProgram(QString::fromUtf8(c.program)), c.exec) << c.program;
}

struct MimeAppsCase {
  const char* before;
  const char* associated;
  const char* removed;  // from `associated`
};

TEST(MimeAppsList, OurDefaultLineComesAndGoesAndNothingElseChanges) {
  const MimeAppsCase cases[] = {
      {"", "[Default Applications]\napplication/x-f1-2002-mas=kestrel.desktop;\n", ""},
      {"[Added Associations]\ntext/plain=gedit.desktop;\n\n[Default Applications]\ntext/plain=gedit.desktop;\n\n"
       "[Removed Associations]\nimage/png=eog.desktop;\n",
       "[Added Associations]\ntext/plain=gedit.desktop;\n\n[Default Applications]\ntext/plain=gedit.desktop;\n"
       "application/x-f1-2002-mas=kestrel.desktop;\n\n[Removed Associations]\nimage/png=eog.desktop;\n",
       "[Added Associations]\ntext/plain=gedit.desktop;\n\n[Default Applications]\ntext/plain=gedit.desktop;\n\n"
       "[Removed Associations]\nimage/png=eog.desktop;\n"},
      // Another default for the type is replaced; a second associate changes nothing.
      {"[Default Applications]\napplication/x-f1-2002-mas=other.desktop;\n",
       "[Default Applications]\napplication/x-f1-2002-mas=kestrel.desktop;\n", ""},
      {"[Default Applications]\napplication/x-f1-2002-mas=kestrel.desktop;\n",
       "[Default Applications]\napplication/x-f1-2002-mas=kestrel.desktop;\n", ""},
      // Our type named in another group is none of our business.
      {"[Added Associations]\napplication/x-f1-2002-mas=kestrel.desktop;\n",
       "[Added Associations]\napplication/x-f1-2002-mas=kestrel.desktop;\n[Default Applications]\n"
       "application/x-f1-2002-mas=kestrel.desktop;\n",
       "[Added Associations]\napplication/x-f1-2002-mas=kestrel.desktop;\n"},
  };
  const QString type = QLatin1String(kMasMimeType), id = QLatin1String(kDesktopEntryName);
  for (const MimeAppsCase& c : cases) {
    SCOPED_TRACE(c.before);
    const QString associated = WithDefaultApplication(QString::fromUtf8(c.before), type, id);
    EXPECT_EQ(associated, c.associated);
    EXPECT_EQ(WithDefaultApplication(associated, type, id), associated);
    EXPECT_EQ(WithoutDefaultApplication(associated, type, id), c.removed);
  }
  // A user's list naming our entry among others for the type keeps the others.
  EXPECT_EQ(WithoutDefaultApplication("[Default Applications]\napplication/x-f1-2002-mas=a.desktop;kestrel.desktop;\n",
                                      type, id),
            "[Default Applications]\napplication/x-f1-2002-mas=a.desktop;\n");
}

// The association in a private home, read back by the freedesktop tools every desktop uses.
class AssociationTest : public StudioTest {
 protected:
  void SetUp() override {
    StudioTest::SetUp();
    options_ = std::make_unique<TFKestrelOptions>(dialogs_, settings_);
    // A real program under a name that needs quoting: the desktop tools ignore entries whose
    // program does not exist.
    QDir().mkpath(QPath("mod tools"));
    program_ = QPath("mod tools/kestrel");
    QFile::copy(QStringLiteral("/bin/true"), program_);
    options_->programPath = program_;
  }
  QString Data(const QString& file) const { return QDir(QPath("data")).filePath(file); }
  QString MimeApps() const { return QPath("config/mimeapps.list"); }

  // Runs a tool in the private home; the reason to skip when it is not installed.
  kestrel::testing::ProgramRun Tool(const char* name, const std::vector<std::string>& args) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (path.isEmpty()) {
      missing_ = name;
      return {};
    }
    kestrel::testing::ProgramOptions options;
    options.environment = {"HOME=" + dir_.Path(), "XDG_DATA_HOME=" + Path("data"),
                           "XDG_CONFIG_HOME=" + Path("config"), "XDG_DATA_DIRS=/usr/share",
                           "XDG_CONFIG_DIRS=/etc/xdg", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "GIO_USE_VFS=local"};
    options.workingDirectory = dir_.Path();
    return RunProgram(path.toStdString(), args, options);
  }
  std::string ContentType(const std::string& file) {
    const auto run = Tool("gio", {"info", "-a", "standard::content-type", file});
    const size_t at = run.out.find("standard::content-type: ");
    if (at == std::string::npos) return run.out + run.err;
    return run.out.substr(at + 24, run.out.find('\n', at) - at - 24);
  }

  StudioSettings settings_;
  std::unique_ptr<TFKestrelOptions> options_;
  std::string missing_;
  QString program_;
};

TEST_F(AssociationTest, AssociateWritesATypeTheDesktopToolsKnowAndRemoveTakesItAllBack) {
  WriteArchive("x.mas", ArchiveOf({TestEntry("A.BMP", Bytes("a"))}));
  WriteArchive("Y.MAS", ArchiveOf({TestEntry("A.BMP", Bytes("a"))}));
  QDir().mkpath(QPath("config"));
  {
    QFile list(MimeApps());
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("[Default Applications]\ntext/plain=gedit.desktop;\n");
  }

  for (int round = 0; round < 2; ++round) {
    dialogs_.Clear();
    options_->BAssociate->click();
    ASSERT_EQ(dialogs_.messages.size(), 1u) << dialogs_.messages[0].text.toStdString();
    EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(dialogs_.messages[0].text, "The .MAS file extension has been registered to Kestrel");
  }
  for (const QString& file : DataFiles()) EXPECT_TRUE(QFile::exists(Data(file))) << file.toStdString();
  EXPECT_EQ(ReadFileText(MimeApps().toStdString()),
            "[Default Applications]\ntext/plain=gedit.desktop;\napplication/x-f1-2002-mas=kestrel.desktop;\n");
  const std::string entry = ReadFileText(Data(DesktopEntryFile()).toStdString());
  EXPECT_NE(entry.find("\nExec=\"" + program_.toStdString() + "\" %f\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nMimeType=application/x-f1-2002-mas;\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nIcon=kestrel\n"), std::string::npos) << entry;
  EXPECT_EQ(QImage(Data(IconFile(48))).size(), QSize(48, 48));

  const auto valid = Tool("desktop-file-validate", {Data(DesktopEntryFile()).toStdString()});
  if (!missing_.empty()) GTEST_SKIP() << missing_ << " is not installed";
  EXPECT_EQ(valid.status, 0) << valid.out << valid.err;
  EXPECT_EQ(ContentType("x.mas"), kMasMimeType);
  EXPECT_EQ(ContentType("Y.MAS"), kMasMimeType);
  const auto comment = Tool("gio", {"mime", kMasMimeType});
  EXPECT_NE(comment.out.find("kestrel.desktop"), std::string::npos) << comment.out << comment.err;
  const auto query = Tool("xdg-mime", {"query", "default", kMasMimeType});
  if (missing_.empty()) {
    EXPECT_EQ(query.out, "kestrel.desktop\n") << query.err;
  }

  for (int round = 0; round < 2; ++round) {
    dialogs_.Clear();
    options_->BUnAssociate->click();
    ASSERT_EQ(dialogs_.messages.size(), 1u) << dialogs_.messages[0].text.toStdString();
    EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(dialogs_.messages[0].text, "The .MAS file extension has been unregistered");
  }
  for (const QString& file : DataFiles()) EXPECT_FALSE(QFile::exists(Data(file))) << file.toStdString();
  EXPECT_FALSE(QDir(Data(QStringLiteral("icons/hicolor"))).exists());
  EXPECT_EQ(ReadFileText(MimeApps().toStdString()), "[Default Applications]\ntext/plain=gedit.desktop;\n");
  EXPECT_NE(ContentType("x.mas"), kMasMimeType);
  // Nothing under the private data folder mentions the type any more, the rebuilt databases included.
  const auto grep = Tool("grep", {"-rl", kMasMimeType, Path("data")});
  EXPECT_EQ(grep.out, "");
}

// Remove leaves the private home as Associate found it: the databases the refresh made go with our
// files, or, where another package's type and entry remain, are rebuilt without our type.
TEST_F(AssociationTest, RemoveLeavesNothingThatAssociateMade) {
  const auto everything = [this] {
    std::set<std::string> names;
    for (QDirIterator it(QPath(""), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();)
      names.insert(QDir(QPath("")).relativeFilePath(it.next()).toStdString());
    return names;
  };
  const auto otherPackage = [this] {
    QDir().mkpath(QPath("data/mime/packages"));
    QDir().mkpath(QPath("data/applications"));
    kestrel::testing::WriteFileBytes(
        Path("data/mime/packages/other.xml"),
        Bytes("<?xml version=\"1.0\"?>\n<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">"
              "<mime-type type=\"application/x-other-test\"><comment>other</comment><glob pattern=\"*.oth\"/>"
              "</mime-type></mime-info>\n"));
    kestrel::testing::WriteFileBytes(Path("data/applications/other.desktop"),
                                     Bytes("[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true %f\n"
                                           "MimeType=application/x-other-test;\n"));
    Tool("update-mime-database", {Path("data/mime")});
    Tool("update-desktop-database", {Path("data/applications")});
  };
  const std::pair<const char*, std::function<void()>> homes[] = {
      {"an empty home", [] {}},
      {"another package's type and entry", otherPackage},
  };
  for (const auto& [what, arrange] : homes) {
    SCOPED_TRACE(what);
    std::filesystem::remove_all(Path("data"));
    std::filesystem::remove_all(Path("config"));
    QDir().mkpath(QPath("data"));  // as a home has them
    QDir().mkpath(QPath("config"));
    arrange();
    if (!missing_.empty()) GTEST_SKIP() << missing_ << " is not installed";
    const std::set<std::string> before = everything();
    options_->BAssociate->click();
    ASSERT_TRUE(QFile::exists(Data(QStringLiteral("mime/mime.cache"))));
    ASSERT_TRUE(QFile::exists(Data(QStringLiteral("applications/mimeinfo.cache"))));
    options_->BUnAssociate->click();
    EXPECT_EQ(everything(), before);
    EXPECT_EQ(Tool("grep", {"-rl", kMasMimeType, Path("data")}).out, "");
    if (QFile::exists(Data(QStringLiteral("mime/packages/other.xml")))) {
      EXPECT_NE(ReadFileText(Path("data/mime/globs2")).find("application/x-other-test"), std::string::npos);
      EXPECT_NE(ReadFileText(Path("data/applications/mimeinfo.cache")).find("other.desktop"), std::string::npos);
    }
  }
}

TEST_F(AssociationTest, AFailedWriteIsNamedAndWhatCameBeforeItStays) {
  // A file where the folder of the desktop entries should be.
  QDir().mkpath(QPath("data"));
  kestrel::testing::WriteFileBytes(Path("data/applications"), Bytes("in the way"));
  options_->BAssociate->click();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_TRUE(dialogs_.messages[0].text.contains(QStringLiteral("kestrel.desktop"))) << dialogs_.messages[0].text.toStdString();
  EXPECT_TRUE(QFile::exists(Data(MimePackageFile())));
  EXPECT_FALSE(QFile::exists(MimeApps()));

  // Removing still says what it always says.
  QFile::remove(QPath("data/applications"));
  dialogs_.Clear();
  options_->BUnAssociate->click();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "The .MAS file extension has been unregistered");
  EXPECT_FALSE(QFile::exists(Data(MimePackageFile())));
}

TEST(KestrelIcon, IsDrawnAtEverySizeWithATransparentCornerAndColourInside) {
  for (const int size : kKestrelIconSizes) {
    const QImage icon = DrawKestrelIcon(size);
    ASSERT_EQ(icon.size(), QSize(size, size));
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << size;
    EXPECT_EQ(qAlpha(icon.pixel(size / 2, size / 2)), 255) << size;
    EXPECT_EQ(QImage::fromData(KestrelIconPng(size)).size(), QSize(size, size));
  }
}

}  // namespace
}  // namespace kestrel::studio::testing
