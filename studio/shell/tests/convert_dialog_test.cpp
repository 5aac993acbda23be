// The conversion dialog driven as a user drives it: fields typed or browsed, Start, the bar and the
// reports, and the idle state after each run.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <functional>

#include "archive/archive_reader.h"
#include "archive/old_archive_conversion.h"
#include "studio/dialogs/convert_dialog.h"
#include "studio/qt_common/file_name_field.h"
#include "studio/qt_common/testing/accessible_names.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

using kestrel::testing::NamesIn;
using kestrel::testing::NoiseBytes;
using kestrel::testing::OldImage;

// Scripted dialogs that also look at the conversion dialog each time a message comes up.
class WatchingDialogs : public ScriptedDialogs {
 public:
  std::function<void()> onMessage;
  void ShowMessage(MessageIcon icon, const QString& caption, const QString& text) override {
    ScriptedDialogs::ShowMessage(icon, caption, text);
    if (onMessage) onMessage();
  }
};

class ConvertDialogTest : public StudioTest {
 protected:
  void SetUp() override {
    StudioTest::SetUp();
    dialog_ = std::make_unique<TFKestrelConvert>(watching_);
    dialog_->show();
    QObject::connect(dialog_->ProgressBar1, &QProgressBar::valueChanged,
                     [this](int value) { bar_.emplace_back(value, dialog_->ProgressBar1->maximum()); });
  }
  void TearDown() override {
    dialog_.reset();
    StudioTest::TearDown();
  }

  std::string OldArchive(const std::string& name, std::vector<TestEntry> entries) {
    return WriteArchive(name, kestrel::testing::OldTestArchive(std::move(entries)));
  }
  // Types a name into a field and leaves it, as Tab does.
  static void Type(FileNameField* field, const QString& text) {
    field->setText(text);
    emit field->Edit()->editingFinished();
  }
  void Browse(FileNameField* field, const QString& answer) {
    watching_.fileAnswers.push_back(answer);
    field->BrowseClick();
  }
  void ExpectIdle() {
    TFKestrelConvert& d = *dialog_;
    EXPECT_FALSE(d.Running());
    EXPECT_EQ(d.BStart->isEnabled(), d.SourceValid() && d.DestinationGiven());
    EXPECT_TRUE(d.BClose->isEnabled());
    EXPECT_EQ(d.ProgressBar1->value(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }

  WatchingDialogs watching_;
  std::unique_ptr<TFKestrelConvert> dialog_;
  std::vector<std::pair<int, int>> bar_;  // (value, maximum) at each change
};

TEST_F(ConvertDialogTest, OpensIdleWithItsCaptionAndBrowsesForMasFiles) {
  TFKestrelConvert& d = *dialog_;
  EXPECT_EQ(d.windowTitle(), "Convert F1-2001 MAS to F1-2002 MAS");
  EXPECT_EQ(WithoutMnemonic(d.LSource->text()), "Source file :");
  EXPECT_EQ(WithoutMnemonic(d.LDestination->text()), "Destination file :");
  EXPECT_EQ(WithoutMnemonic(d.BStart->text()), "Start");
  EXPECT_EQ(WithoutMnemonic(d.BClose->text()), "Close");
  EXPECT_TRUE(d.FESource->text().isEmpty());
  EXPECT_TRUE(d.FEDestination->text().isEmpty());
  EXPECT_FALSE(d.BStart->isEnabled());
  EXPECT_EQ(d.ProgressBar1->maximum(), 100);
  ExpectIdle();

  Browse(d.FESource, QString());  // cancelled
  Browse(d.FEDestination, QString());
  ASSERT_EQ(watching_.fileRequests.size(), 2u);
  for (const FileDialogRequest& request : watching_.fileRequests) EXPECT_EQ(request.filter, "MAS Files (*.MAS)|*.MAS");
  EXPECT_TRUE(d.FESource->text().isEmpty());
}

TEST_F(ConvertDialogTest, RefusesEveryFileThatIsNotAnOldArchive) {
  const std::string current = WriteArchive("NEW.MAS", ArchiveOf({TestEntry("A.BMP", Bytes("a"))}));
  kestrel::testing::WriteFileBytes(Path("NOTES.MAS"), Bytes("just some text, longer than sixteen bytes"));
  kestrel::testing::WriteFileBytes(Path("SHORT.MAS"), Bytes("CUBEMAS4.01"));  // fewer than 16 bytes
  TFKestrelConvert& d = *dialog_;
  for (const char* name : {"NEW.MAS", "NOTES.MAS", "SHORT.MAS"}) {
    SCOPED_TRACE(name);
    for (const bool browsed : {true, false}) {
      watching_.Clear();
      if (browsed)
        Browse(d.FESource, QPath(name));
      else
        Type(d.FESource, QPath(name));
      ASSERT_EQ(watching_.messages.size(), 1u);
      EXPECT_EQ(watching_.messages[0].icon, MessageIcon::Error);
      EXPECT_EQ(watching_.messages[0].text, "This does not appear to be a valid F1-2001 MAS file.");
      EXPECT_TRUE(d.FESource->text().isEmpty());
      EXPECT_FALSE(d.SourceValid());
      EXPECT_FALSE(d.BStart->isEnabled());
      EXPECT_TRUE(d.FEDestination->text().isEmpty());
    }
  }
}

TEST_F(ConvertDialogTest, TypingIsJudgedQuietlyUntilTheFieldIsLeft) {
  WriteArchive("TRACK", ArchiveOf({TestEntry("A.BMP", Bytes("a"))}));  // a current archive named like a prefix
  const std::string old = OldArchive("TRACK.MAS", {TestEntry("A.MTS", Bytes("mesh"), 1)});
  TFKestrelConvert& d = *dialog_;
  // Typing passes through "TRACK", an existing file that is no old archive, without a word.
  for (const QString& typed : {QPath("TR"), QPath("TRACK"), QPath("TRACK.MAS")}) d.FESource->setText(typed);
  EXPECT_TRUE(watching_.messages.empty());
  EXPECT_TRUE(d.SourceValid());
  EXPECT_EQ(d.FEDestination->text(), QPath("TRACK_2002.MAS"));

  // Leaving the field keeps a destination the user changed after the name was taken.
  d.FEDestination->setText(QPath("MINE.MAS"));
  emit d.FESource->Edit()->editingFinished();
  EXPECT_EQ(d.FEDestination->text(), QPath("MINE.MAS"));
  EXPECT_TRUE(watching_.messages.empty());
}

TEST_F(ConvertDialogTest, ClosingWhileANameIsHalfTypedSaysNothing) {
  kestrel::testing::WriteFileBytes(Path("NOTES"), Bytes("just some text, longer than sixteen bytes"));
  TFKestrelConvert& d = *dialog_;
  QApplication::setActiveWindow(&d);
  d.FESource->Edit()->setFocus();
  ASSERT_TRUE(d.FESource->Edit()->hasFocus());
  for (const QChar c : QPath("NOTES")) {
    QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QCoreApplication::sendEvent(d.FESource->Edit(), &key);
  }
  ASSERT_EQ(d.FESource->text(), QPath("NOTES"));
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(&d, &escape);
  EXPECT_FALSE(d.isVisible());
  EXPECT_TRUE(watching_.messages.empty());
}

TEST_F(ConvertDialogTest, ASourceReplacedAfterItWasChosenIsRefusedAtStart) {
  OldArchive("TRACK.MAS", {TestEntry("A.MTS", Bytes("mesh"), 1)});
  TFKestrelConvert& d = *dialog_;
  Browse(d.FESource, QPath("TRACK.MAS"));
  ASSERT_TRUE(d.BStart->isEnabled());
  WriteArchive("TRACK.MAS", ArchiveOf({TestEntry("A.MTS", Bytes("mesh"))}));  // now a current archive
  d.BStart->click();
  ASSERT_EQ(watching_.messages.size(), 1u);
  EXPECT_EQ(watching_.messages[0].text, "This does not appear to be a valid F1-2001 MAS file.");
  EXPECT_TRUE(d.FESource->text().isEmpty());
  EXPECT_FALSE(QFile::exists(QPath("TRACK_2002.MAS")));
  ExpectIdle();
}

TEST_F(ConvertDialogTest, StartFollowsTheSourceAndTheDestinationAsTheyChange) {
  const std::string old = OldArchive("TRACK.MAS", {TestEntry("A.MTS", Bytes("mesh"), 1)});
  TFKestrelConvert& d = *dialog_;
  Browse(d.FESource, QPath("TRACK.MAS"));
  EXPECT_EQ(d.FEDestination->text(), QPath("TRACK_2002.MAS"));
  EXPECT_TRUE(d.BStart->isEnabled());
  d.FEDestination->clear();
  EXPECT_FALSE(d.BStart->isEnabled());
  d.FEDestination->setText(QStringLiteral("x"));
  EXPECT_TRUE(d.BStart->isEnabled());
  d.FESource->setText(QPath("TRACK.MA"));  // any change of the source clears it until judged again
  EXPECT_FALSE(d.BStart->isEnabled());
  d.FESource->setText(QPath("TRACK.MAS"));
  EXPECT_TRUE(d.BStart->isEnabled());

  // Showing the dialog again starts over.
  d.hide();
  d.show();
  EXPECT_TRUE(d.FESource->text().isEmpty());
  EXPECT_TRUE(d.FEDestination->text().isEmpty());
  EXPECT_FALSE(d.BStart->isEnabled());
}

TEST_F(ConvertDialogTest, RunStepsTheBarOverBothPassesAndWritesTheNewArchive) {
  const std::vector<uint8_t> pixels = NoiseBytes(24, 7);  // 3 by 2, rows of 12 bytes
  OldArchive("TRACK.MAS", {OldImage("sky.bmp", 3, 2, pixels, false), TestEntry("CAR.MTS", Bytes("mesh"), 1),
                           TestEntry("WAVE.ANM", Bytes("anim"), 3)});
  TFKestrelConvert& d = *dialog_;
  Browse(d.FESource, QPath("TRACK.MAS"));
  bool buttonsOffDuringRun = true;
  QObject::connect(d.ProgressBar1, &QProgressBar::valueChanged, [&](int value) {
    if (value > 0) buttonsOffDuringRun = buttonsOffDuringRun && !d.BStart->isEnabled() && !d.BClose->isEnabled() &&
                                         QApplication::overrideCursor() &&
                                         QApplication::overrideCursor()->shape() == Qt::WaitCursor;
  });
  d.BStart->click();

  const std::vector<std::pair<int, int>> expected = {{1, 6}, {2, 6}, {3, 6}, {4, 6}, {5, 6}, {6, 6}, {0, 6}};
  EXPECT_EQ(bar_, expected);
  EXPECT_TRUE(buttonsOffDuringRun);
  EXPECT_TRUE(watching_.messages.empty());
  const LoadedArchive made = ReadArchiveTable(Path("TRACK_2002.MAS"));
  std::set<std::string> names;
  for (const TMAS_FileEntry& e : made.Table) names.insert(e.Name());
  EXPECT_EQ(names, (std::set<std::string>{"SKY.BMP", "CAR.MTS", "WAVE.ANM"}));
  EXPECT_EQ(NamesIn(dir_.Path()), (std::set<std::string>{"TRACK.MAS", "TRACK_2002.MAS"}));  // no scratch left
  ExpectIdle();
  EXPECT_EQ(d.Destinations(), std::vector<std::string>{Path("TRACK_2002.MAS")});
}

TEST_F(ConvertDialogTest, ReportsComeAsErrorDialogsWhileTheWorkGoesOn) {
  TestEntry damaged("BAD.MTS", Bytes("never seen"), 1);
  damaged.RawBytes = NoiseBytes(40, 3);
  damaged.UncompressedSize = 400;
  OldArchive("TRACK.MAS", {damaged, TestEntry("GOOD.MTS", Bytes("mesh"), 1)});
  TFKestrelConvert& d = *dialog_;
  Browse(d.FESource, QPath("TRACK.MAS"));
  int busyReports = 0;
  watching_.onMessage = [&] {
    if (d.Running() && !d.BStart->isEnabled() && !d.BClose->isEnabled()) ++busyReports;
  };
  d.BStart->click();

  ASSERT_FALSE(watching_.messages.empty());
  EXPECT_EQ(busyReports, static_cast<int>(watching_.messages.size()));
  for (const ShownMessage& m : watching_.messages) EXPECT_EQ(m.icon, MessageIcon::Error) << m.text.toStdString();
  // The good entry went on to the new archive; the bar went past the unpack pass.
  const LoadedArchive made = ReadArchiveTable(Path("TRACK_2002.MAS"));
  ASSERT_EQ(made.Table.size(), 1u);
  EXPECT_EQ(made.Table[0].Name(), "GOOD.MTS");
  ASSERT_GE(bar_.size(), 3u);
  EXPECT_EQ(bar_.front(), std::make_pair(1, 4));
  EXPECT_EQ(bar_[bar_.size() - 2].first, 3);
  ExpectIdle();
}

// A new archive that cannot be written is one error naming it; entries left behind beside an archive
// that was written are a notice, not an error.
TEST_F(ConvertDialogTest, OneMessagePerCauseAndLeftoversAsANotice) {
  OldArchive("TRACK.MAS", {TestEntry("GOOD.MTS", Bytes("mesh"), 1), TestEntry("NOTES.TXT", Bytes("notes"), 3)});
  QDir().mkpath(QPath("FOLDER.MAS"));
  struct Case {
    const char* destination;
    bool written;
  };
  const Case cases[] = {{"NO-SUCH-FOLDER/NEW.MAS", false}, {"FOLDER.MAS", false}, {"NEW.MAS", true}};
  TFKestrelConvert& d = *dialog_;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.destination);
    watching_.Clear();
    d.FormShow();
    Browse(d.FESource, QPath("TRACK.MAS"));
    d.FEDestination->setText(QPath(c.destination));
    d.BStart->click();

    std::vector<QString> errors, notices;
    for (const ShownMessage& m : watching_.messages)
      (m.icon == MessageIcon::Error ? errors : notices).push_back(m.text);
    EXPECT_EQ(errors.size(), c.written ? 0u : 1u);
    for (const QString& error : errors) EXPECT_TRUE(error.contains(QPath(c.destination))) << error.toStdString();
    ASSERT_EQ(notices.size(), 1u);  // NOTES.TXT is no file the new archive takes
    EXPECT_TRUE(notices[0].startsWith("Entries that did not reach the new archive were left in"))
        << notices[0].toStdString();
    for (const ShownMessage& m : watching_.messages)
      EXPECT_TRUE(m.icon == MessageIcon::Error || m.icon == MessageIcon::Information);
    EXPECT_EQ(d.Destinations(), c.written ? std::vector<std::string>{Path(c.destination)} : std::vector<std::string>{});
    ExpectIdle();
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
      if (entry.path().filename().string().starts_with("temp-")) std::filesystem::remove_all(entry.path());
  }
}

// Return on a focused button presses it, as Space does; Return in a field starts nothing.
TEST_F(ConvertDialogTest, ReturnPressesTheFocusedButton) {
  OldArchive("TRACK.MAS", {TestEntry("CAR.MTS", Bytes("mesh"), 1)});
  TFKestrelConvert& d = *dialog_;
  const auto pressReturn = [](QWidget* target) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
  };
  watching_.fileAnswers.push_back(QPath("TRACK.MAS"));
  pressReturn(d.FESource->BrowseButton());
  EXPECT_EQ(d.FESource->text(), QPath("TRACK.MAS"));
  pressReturn(d.FEDestination->Edit());
  EXPECT_FALSE(QFile::exists(QPath("TRACK_2002.MAS")));
  pressReturn(d.BStart);
  EXPECT_TRUE(QFile::exists(QPath("TRACK_2002.MAS")));
  pressReturn(d.BClose);
  EXPECT_FALSE(d.isVisible());
}

TEST_F(ConvertDialogTest, EveryControlHasANameAScreenReaderCanSay) {
  EXPECT_EQ(ControlsWithoutAccessibleName(dialog_.get()), std::vector<std::string>{});
}

TEST_F(ConvertDialogTest, AnOldArchiveWithoutEntriesWritesNothing) {
  OldArchive("EMPTY.MAS", {});
  TFKestrelConvert& d = *dialog_;
  Browse(d.FESource, QPath("EMPTY.MAS"));
  ASSERT_TRUE(d.BStart->isEnabled());
  d.BStart->click();
  EXPECT_TRUE(watching_.messages.empty());
  EXPECT_EQ(NamesIn(dir_.Path()), (std::set<std::string>{"EMPTY.MAS"}));
  EXPECT_TRUE(bar_.empty());
  ExpectIdle();
}

TEST_F(ConvertDialogTest, EscapeAndCloseEndTheDialog) {
  TFKestrelConvert& d = *dialog_;
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(&d, &escape);
  EXPECT_FALSE(d.isVisible());
  d.show();
  d.BClose->click();
  EXPECT_FALSE(d.isVisible());
}

// The studio's menu command: a conversion over the archive open in the studio reloads it.
TEST_F(StudioTest, ConvertingOverTheOpenArchiveReloadsIt) {
  const std::string open = WriteArchive("OPEN.MAS", ArchiveOf({TestEntry("OLD.BMP", Bytes("old"))}));
  WriteArchive("SOURCE.MAS",
               kestrel::testing::OldTestArchive({TestEntry("A.MTS", Bytes("a"), 1), TestEntry("B.MTS", Bytes("b"), 1)}));
  TFKestrel& w = Start();
  w.OpenArchive(QString::fromStdString(open));
  ASSERT_EQ(w.State().Table.size(), 1u);

  QTimer::singleShot(0, [&] {
    TFKestrelConvert& d = *w.FKestrelConvert;
    d.FESource->setText(QPath("SOURCE.MAS"));
    d.FEDestination->setText(QPath("OPEN.MAS"));
    d.BStart->click();
    d.BClose->click();
  });
  w.ConvertMAS->trigger();
  EXPECT_FALSE(w.FKestrelConvert->isVisible());
  EXPECT_EQ(w.State().Table.size(), 2u);
  EXPECT_EQ(w.windowTitle(), "Kestrel - [ OPEN.MAS ]");
}

}  // namespace
}  // namespace kestrel::studio::testing
