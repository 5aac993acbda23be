// The sound bank editor through scripted file dialogs and a stand-in audio library whose answers the
// test sets; the play timer's ticks are driven by the test.
#include "studio/soundbank/sdt_editor.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "archive/testing/mas_builder.h"
#include "archive/testing/unprivileged.h"
#include "studio/qt_common/testing/accessible_names.h"
#include "studio/soundbank/tests/sdt_editor_fixture.h"

namespace kestrel::studio::testing {
namespace {

TEST_F(SdtEditorTest, OpensIdleWithItsControlsInPlace) {
  EXPECT_EQ(E().objectName(), "FKestrelSDT");
  EXPECT_EQ(E().windowTitle(), "SDT Editor");
  EXPECT_TRUE(E().isModal());
  EXPECT_EQ(E().LVSDT->headerItem()->text(0), "Name");
  EXPECT_EQ(E().LVSDT->headerItem()->text(1), "Size");
  EXPECT_EQ(E().LVSDT->header()->sectionSize(0), 130);
  EXPECT_EQ(E().LVSDT->header()->sectionSize(1), 60);
  EXPECT_EQ(E().LVSDT->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(Controls(), "100001");
  EXPECT_TRUE(E().BClose->isEnabled());
  EXPECT_EQ(E().StatusText(), "");
  EXPECT_EQ(E().PlayTimer->interval(), 50);
  EXPECT_FALSE(E().PlayTimer->isActive());
  // The buttons in a column right of the list, in their order.
  int previous = -1;
  for (const QPushButton* b : {E().BLoad, E().BImport, E().BExport, E().BPlay, E().BStop, E().BClose}) {
    EXPECT_GT(b->y(), previous) << b->objectName().toStdString();
    EXPECT_GE(b->x(), E().LVSDT->geometry().right()) << b->objectName().toStdString();
    previous = b->y();
  }
  EXPECT_EQ(E().minimumSize(), E().maximumSize());  // a fixed border
}

TEST_F(SdtEditorTest, LoadingListsTheBankAndAFailedLoadLeavesNoRows) {
  ThreeSamples().WriteTo(Path("BANK.SDT"));
  TestBank{}.WriteTo(Path("EMPTY.SDT"));
  std::vector<uint8_t> damaged = ThreeSamples().Build();
  damaged.resize(10);
  kestrel::testing::WriteFileBytes(Path("DAMAGED.SDT"), damaged);
  settings_.MASInitialDir = QStringLiteral("/start/");

  Load("BANK.SDT");
  ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
  const FileDialogRequest& request = dialogs_.fileRequests[0];
  EXPECT_EQ(request.objectName, "ODSDT");
  EXPECT_EQ(request.title, "Load a SDT File");
  EXPECT_EQ(request.filter, "SDT Files (*.SDT)|*.SDT");
  EXPECT_EQ(request.startDirectory, "/start/");
  EXPECT_EQ(Rows(), QStringList({"ENGINE_IDLE_0001|300", "HORN|120", "crash.mp2|77"}));
  EXPECT_EQ(E().Bank().Path, Path("BANK.SDT"));
  EXPECT_EQ(settings_.MASInitialDir, QString::fromStdString(dir_.Path() + "/"));
  // The first row is current and selected: Play and Export work at once, by keyboard too.
  EXPECT_EQ(E().LVSDT->currentItem(), E().LVSDT->topLevelItem(0));
  EXPECT_EQ(E().LVSDT->selectedItems(), QList<QTreeWidgetItem*>{E().LVSDT->topLevelItem(0)});
  EXPECT_EQ(Controls(), "111101");

  Select(1);
  Answer(QString());  // cancelled: nothing changes
  E().BLoad->click();
  EXPECT_EQ(Rows().size(), 3);
  EXPECT_EQ(Controls(), "111101");

  Load("EMPTY.SDT");
  EXPECT_TRUE(Rows().isEmpty());
  EXPECT_TRUE(E().Bank().Empty());
  EXPECT_EQ(E().Bank().Path, Path("EMPTY.SDT"));

  Load("BANK.SDT");
  settings_.MASInitialDir = QStringLiteral("/kept/");
  Load("DAMAGED.SDT");
  EXPECT_TRUE(Rows().isEmpty());
  EXPECT_TRUE(E().Bank().Empty());
  EXPECT_TRUE(E().Bank().Path.empty());
  ASSERT_EQ(dialogs_.applicationErrors.size(), 1u);
  EXPECT_TRUE(dialogs_.applicationErrors[0].text.contains("is damaged"))
      << dialogs_.applicationErrors[0].text.toStdString();
  EXPECT_EQ(settings_.MASInitialDir, "/kept/");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(SdtEditorTest, SelectionEnablesTheSampleCommands) {
  E().LVSDTClick();  // an empty list changes nothing
  EXPECT_EQ(Controls(), "100001");
  ThreeSamples().WriteTo(Path("BANK.SDT"));
  Load("BANK.SDT");
  Select(2);
  EXPECT_EQ(Controls(), "111101");
  E().LVSDT->clearSelection();
  EXPECT_EQ(Controls(), "100001");
  // Without a selected row the commands do nothing.
  E().BPlayClick();
  E().BExportClick();
  E().BImportClick();
  EXPECT_TRUE(audio_.calls.empty());
  EXPECT_EQ(dialogs_.fileRequests.size(), 1u);
}

TEST_F(SdtEditorTest, PlayAndStopTickByTick) {
  const TestBank bank = ThreeSamples();
  bank.WriteTo(Path("BANK.SDT"));
  Load("BANK.SDT");
  Select(1);
  E().BPlay->click();
  const std::vector<std::string> firstPlay = {
      "Stop", "Free", "Init -1 22050 32 window", "Start", "SampleFree 0", "SampleLoad -1 0 120 1 0", "SamplePlay 7"};
  EXPECT_EQ(audio_.calls, firstPlay);
  EXPECT_EQ(audio_.loaded, bank.Samples[1].Data);
  EXPECT_TRUE(audio_.waitCursorDuringInit);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(E().StatusText(), "Playing sample ...");
  EXPECT_TRUE(E().PlayTimer->isActive());

  E().PlayTimerTimer();  // the channel plays
  EXPECT_EQ(Controls(), "100010");
  EXPECT_TRUE(E().Playing());
  EXPECT_TRUE(E().PlayTimer->isActive());
  EXPECT_EQ(E().StatusText(), "Playing sample ...");

  audio_.calls.clear();
  E().BStop->click();
  EXPECT_EQ(audio_.calls, std::vector<std::string>{"SampleStop 7"});
  EXPECT_TRUE(E().PlayTimer->isActive());  // its next tick restores the controls
  E().PlayTimerTimer();
  EXPECT_EQ(Controls(), "111101");
  EXPECT_FALSE(E().PlayTimer->isActive());
  EXPECT_EQ(E().StatusText(), "");

  // Played again: the output device is closed and opened anew, the previous sample released.
  audio_.calls.clear();
  audio_.loadResult = 8;
  E().BPlay->click();
  EXPECT_EQ(audio_.calls, (std::vector<std::string>{"Stop", "Free", "Init -1 22050 32 window", "Start", "SampleFree 7",
                                                    "SampleLoad -1 0 120 1 0", "SamplePlay 8"}));
  E().PlayTimerTimer();
  EXPECT_EQ(Controls(), "100010");
  audio_.active = false;  // the sample ends by itself
  E().PlayTimerTimer();
  EXPECT_EQ(Controls(), "111101");
  EXPECT_EQ(E().StatusText(), "");
}

TEST_F(SdtEditorTest, PlaybackFailuresShowInTheStatusLine) {
  ThreeSamples().WriteTo(Path("BANK.SDT"));
  Load("BANK.SDT");
  Select(0);
  struct Case {
    const char* what;
    std::function<void()> arrange;
    const char* status;
    bool timer;
  };
  const std::vector<Case> cases = {
      {"no audio device", [&] { audio_.initResult = 0; }, "BASS: Initialization failed.", false},
      {"not a sample the library loads", [&] { audio_.loadResult = 0; }, "BASS: Sample loading failed.", false},
      {"playback refused", [&] { audio_.playResult = 0; }, "Loading sample ...", true},
      {"the sample cannot be read", [&] { std::filesystem::resize_file(Path("BANK.SDT"), 100); },
       "lies outside the file", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    audio_ = FakeAudio{};
    c.arrange();
    E().BPlay->click();
    EXPECT_TRUE(E().StatusText().contains(c.status)) << E().StatusText().toStdString();
    EXPECT_EQ(E().PlayTimer->isActive(), c.timer);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    E().PlayTimerTimer();  // a tick finds nothing playing
    EXPECT_EQ(E().StatusText(), "");
    EXPECT_EQ(Controls(), "111101");
  }
  EXPECT_TRUE(dialogs_.applicationErrors.empty());
}

TEST_F(SdtEditorTest, ExportWritesTheSampleAndReportsFailure) {
  const TestBank bank = ThreeSamples();
  bank.WriteTo(Path("BANK.SDT"));
  Load("BANK.SDT");
  settings_.BMPInitialDir = QStringLiteral("/sounds/");
  Select(0);
  Answer(QPath("engine"));  // left without an extension
  E().BExport->click();
  const FileDialogRequest& request = dialogs_.fileRequests.back();
  EXPECT_EQ(request.objectName, "SDMP2");
  EXPECT_EQ(request.title, "Export a MPEG-2 File");
  EXPECT_EQ(request.filter, "MPEG-2 Files (*.MP2)|*.MP2");
  EXPECT_EQ(request.defaultSuffix, "MP2");
  EXPECT_EQ(request.startDirectory, "/sounds/");
  EXPECT_EQ(request.proposedName, "ENGINE_IDLE_0001");
  EXPECT_EQ(ReadFileBytes(Path("engine.MP2")), bank.Samples[0].Data);
  EXPECT_EQ(settings_.BMPInitialDir, QString::fromStdString(dir_.Path() + "/"));
  EXPECT_TRUE(dialogs_.messages.empty());

  settings_.BMPInitialDir = QStringLiteral("/kept/");
  for (const QString& target : {QPath("no-such-folder/x.MP2"), QPath("BANK.SDT")}) {
    SCOPED_TRACE(target.toStdString());
    dialogs_.Clear();
    Answer(target);
    E().BExport->click();
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
    // The message, then the reason naming the file.
    const QStringList lines = dialogs_.messages[0].text.split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines.value(0), "Error exporting MP2 file.");
    EXPECT_TRUE(lines.value(2).contains(target)) << dialogs_.messages[0].text.toStdString();
    EXPECT_EQ(settings_.BMPInitialDir, "/kept/");
    EXPECT_EQ(ReadFileBytes(Path("BANK.SDT")), bank.Build());  // the bank is never written over
  }
}

// Loading reads no sample data: a damaged sample is listed with the others and fails alone, when it
// is played (the status line) or exported (the message box, with the reason).
TEST_F(SdtEditorTest, ADamagedSampleFailsAloneWhenPlayedOrExported) {
  const TestBank bank = ThreeSamples();
  const std::vector<uint8_t> good = bank.Build();
  const size_t sizeField = 4 + 4 * 3 + 40 + 300 + 4;  // sample 1's DataSize, after sample 0
  const std::pair<const char*, int32_t> damages[] = {{"data past the end", 1000000}, {"negative size", -5}};
  for (const auto& [what, size] : damages) {
    SCOPED_TRACE(what);
    dialogs_.Clear();
    std::vector<uint8_t> bytes = good;
    kestrel::testing::PatchI32(bytes, sizeField, size);
    kestrel::testing::WriteFileBytes(Path("BANK.SDT"), bytes);
    Load("BANK.SDT");
    EXPECT_EQ(Rows(), QStringList({"ENGINE_IDLE_0001|300", "HORN|" + QString::number(size), "crash.mp2|77"}));

    Select(1);
    audio_ = FakeAudio{};
    E().BPlay->click();
    EXPECT_TRUE(E().StatusText().contains("is damaged")) << E().StatusText().toStdString();
    EXPECT_TRUE(audio_.loaded.empty());
    Answer(QPath("horn.MP2"));
    E().BExport->click();
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
    EXPECT_TRUE(dialogs_.messages[0].text.startsWith("Error exporting MP2 file.\r\n\r\n"));
    EXPECT_TRUE(dialogs_.messages[0].text.contains("sample 1")) << dialogs_.messages[0].text.toStdString();
    EXPECT_FALSE(std::filesystem::exists(Path("horn.MP2")));

    for (const int row : {0, 2}) {
      Select(row);
      E().BPlay->click();
      EXPECT_EQ(audio_.loaded, bank.Samples[row].Data);
      E().PlayTimerTimer();
      audio_.active = false;
      E().PlayTimerTimer();
      Answer(QPath("good.MP2"));
      E().BExport->click();
      EXPECT_EQ(ReadFileBytes(Path("good.MP2")), bank.Samples[row].Data);
    }
    EXPECT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_TRUE(dialogs_.applicationErrors.empty());
  }
}

// A sample's name may hold what a file name cannot; the proposed names are made safe, and the name
// reads as the games' Windows code page.
TEST_F(SdtEditorTest, ProposedFileNamesAreSafe) {
  struct Case {
    const char* sample;
    const char* proposed;
  };
  const Case cases[] = {
      {"SFX/HORN", "SFX_HORN"},  {"..", "__"},         {"a\\b", "a_b"},
      {"TAB\tEND", "TAB_END"},   {"EURO\x80.MP2", "EURO\u20AC.MP2"},
  };
  TestBank bank;
  for (const Case& c : cases) bank.Samples.push_back({c.sample, NoiseBytes(20, 5)});
  bank.WriteTo(Path("BANK.SDT"));
  Load("BANK.SDT");
  for (int row = 0; row < static_cast<int>(std::size(cases)); ++row) {
    const Case& c = cases[row];
    SCOPED_TRACE(c.sample);
    Select(row);
    const QString proposed = QString::fromUtf8(c.proposed);
    const std::string accepted = proposed.toStdString() + ".MP2";  // as the file dialog gives it back
    Answer(QPath(accepted));
    E().BExport->click();
    EXPECT_EQ(dialogs_.fileRequests.back().proposedName, proposed);
    EXPECT_EQ(ReadFileBytes(Path(accepted)), bank.Samples[row].Data);
    Answer(QString());
    E().BImport->click();
    const QString imported = dialogs_.fileRequests.back().proposedName;
    EXPECT_EQ(imported, proposed.toUpper().contains(".MP2") ? proposed : proposed + ".MP2");
  }
  EXPECT_TRUE(dialogs_.messages.empty());
}

// Each button has its own Alt letter, and Return on a focused button presses it as Space does.
TEST_F(SdtEditorTest, ButtonsWorkFromTheKeyboard) {
  const std::pair<const QPushButton*, Qt::Key> letters[] = {{E().BLoad, Qt::Key_L},   {E().BImport, Qt::Key_I},
                                                           {E().BExport, Qt::Key_E}, {E().BPlay, Qt::Key_P},
                                                           {E().BStop, Qt::Key_S},   {E().BClose, Qt::Key_C}};
  for (const auto& [button, key] : letters)
    EXPECT_EQ(QKeySequence::mnemonic(button->text()), QKeySequence(Qt::ALT | key)) << button->text().toStdString();

  ThreeSamples().WriteTo(Path("BANK.SDT"));
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
    Answer(QPath("BANK.SDT"));
    QKeyEvent press(QEvent::KeyPress, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    E().BLoad->setFocus();
    QApplication::sendEvent(E().BLoad, &press);
    EXPECT_EQ(Rows().size(), 3);
    EXPECT_TRUE(dialogs_.fileAnswers.empty());
    E().FormShow();
  }
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(E().BClose, &press);
  EXPECT_FALSE(E().isVisible());
}

TEST_F(SdtEditorTest, EveryControlHasANameAScreenReaderCanSay) {
  ThreeSamples().WriteTo(Path("BANK.SDT"));
  Load("BANK.SDT");
  E().BPlay->click();
  EXPECT_EQ(ControlsWithoutAccessibleName(&E()), std::vector<std::string>{});
}

TEST_F(SdtEditorTest, ImportProposesANameAndRewritesTheBank) {
  TestBank bank = ThreeSamples();
  bank.Samples[2].Name = "Crash.Mp2.old";
  bank.WriteTo(Path("BANK.SDT"));
  Load("BANK.SDT");
  settings_.BMPInitialDir = QStringLiteral("/sounds/");
  const std::pair<int, const char*> proposals[] = {{0, "ENGINE_IDLE_0001.MP2"}, {2, "Crash.Mp2.old"}};
  for (const auto& [row, proposed] : proposals) {
    Select(row);
    Answer(QString());
    E().BImport->click();
    const FileDialogRequest& request = dialogs_.fileRequests.back();
    EXPECT_EQ(request.objectName, "ODMP2");
    EXPECT_EQ(request.title, "Import a MPEG-2 File");
    EXPECT_EQ(request.filter, "MPEG-2 Files (*.MP2)|*.MP2");
    EXPECT_EQ(request.startDirectory, "/sounds/");
    EXPECT_EQ(request.proposedName, proposed);
  }

  // A chosen name that does not exist changes nothing and shows nothing.
  Select(1);
  Answer(QPath("missing.mp2"));
  E().BImport->click();
  EXPECT_EQ(ReadFileBytes(Path("BANK.SDT")), bank.Build());
  EXPECT_EQ(E().LVSDT->selectedItems().size(), 1);
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(dialogs_.applicationErrors.empty());

  const std::vector<uint8_t> louder = NoiseBytes(1000, 9);
  kestrel::testing::WriteFileBytes(Path("louder.mp2"), louder);
  Answer(QPath("louder.mp2"));
  E().BImport->click();
  bank.Samples[1].Data = louder;
  EXPECT_EQ(ReadFileBytes(Path("BANK.SDT")), bank.Build());
  EXPECT_EQ(Rows(), QStringList({"ENGINE_IDLE_0001|300", "HORN|1000", "Crash.Mp2.old|77"}));
  EXPECT_TRUE(E().LVSDT->selectedItems().isEmpty());
  EXPECT_FALSE(E().BPlay->isEnabled());
  EXPECT_EQ(settings_.BMPInitialDir, "/sounds/");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(SdtEditorTest, ImportIntoABankThatCannotBeWrittenChangesNothing) {
  const TestBank bank = ThreeSamples();
  bank.WriteTo(Path("BANK.SDT"));
  kestrel::testing::WriteFileBytes(Path("new.mp2"), NoiseBytes(50, 4));
  namespace fs = std::filesystem;
  fs::permissions(dir_.Path(), fs::perms::all);  // only the bank's own protection stops the rewrite
  fs::permissions(Path("BANK.SDT"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(Path("new.mp2"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  Load("BANK.SDT");
  Select(0);
  Answer(QPath("new.mp2"));
  {
    kestrel::testing::UnprivilegedScope user;
    E().BImport->click();
  }
  ASSERT_EQ(dialogs_.applicationErrors.size(), 1u);
  EXPECT_EQ(dialogs_.applicationErrors[0].text, "File access denied");
  EXPECT_TRUE(dialogs_.applicationErrors[0].details.contains("BANK.SDT"))
      << dialogs_.applicationErrors[0].details.toStdString();
  EXPECT_EQ(ReadFileBytes(Path("BANK.SDT")), bank.Build());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path()), fs::directory_iterator()), 2);
  EXPECT_EQ(Rows(), QStringList({"ENGINE_IDLE_0001|300", "HORN|120", "crash.mp2|77"}));
  EXPECT_TRUE(E().LVSDT->selectedItems().isEmpty());  // refilled all the same
}

TEST_F(SdtEditorTest, ClosingInAnyWayStopsTheSoundAndReopensIdle) {
  ThreeSamples().WriteTo(Path("BANK.SDT"));
  const std::pair<const char*, std::function<void(TFKestrelSDT&)>> ways[] = {
      {"Close", [](TFKestrelSDT& e) { e.BClose->click(); }},
      {"Escape",
       [](TFKestrelSDT& e) {
         QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QApplication::sendEvent(&e, &escape);
       }},
      {"close box", [](TFKestrelSDT& e) { e.close(); }},
  };
  for (const auto& [what, close] : ways) {
    SCOPED_TRACE(what);
    if (!E().isVisible()) E().show();
    Load("BANK.SDT");
    Select(1);
    E().BPlay->click();
    E().PlayTimerTimer();
    ASSERT_TRUE(E().Playing());
    audio_.calls.clear();
    close(E());
    EXPECT_FALSE(E().isVisible());
    EXPECT_EQ(audio_.calls, (std::vector<std::string>{"SampleStop 7", "SampleFree 7", "Stop", "Free"}));
    EXPECT_FALSE(E().PlayTimer->isActive());

    E().show();
    EXPECT_TRUE(Rows().isEmpty());
    EXPECT_TRUE(E().Bank().Path.empty());
    EXPECT_EQ(Controls(), "100001");
    EXPECT_EQ(E().StatusText(), "");
    E().BClose->click();
  }
}

}  // namespace
}  // namespace kestrel::studio::testing
