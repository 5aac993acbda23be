// The Tools menu's mod package commands: comparing with another archive, applying a package after
// showing what it does, and taking back an applied one; with the dialogs answered from a script.
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>

#include "archive/archive_reader.h"
#include "archive/mod_apply.h"
#include "archive/mod_package.h"
#include "archive/testing/edited_entries.h"
#include "studio/dialogs/list_dialogs.h"
#include "studio/qt_common/testing/accessible_names.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

using kestrel::testing::DecodedEntriesOf;
using kestrel::testing::Entry;
using kestrel::testing::NoiseBytes;
using kestrel::testing::ReadFileBytes;

// What a scripted answer saw of the dialog it answered.
struct SeenList {
  QString text;
  QStringList lines;
};

class ModCommandsTest : public StudioTest {
 protected:
  static TestArchive Original() {
    return ArchiveOf({Entry("KERB.TGA", NoiseBytes(3000, 1), 20, 401), Entry("TRACK.MTS", Bytes("mesh"), 17, 402),
                      Entry("SIGN.BMP", NoiseBytes(500, 2), 18, 403), Entry("OLD.ANM", Bytes("walk"), 31, 404)});
  }
  // Changes KERB.TGA, adds NEW.BMP, removes OLD.ANM.
  static TestArchive Modified() {
    return ArchiveOf({Entry("NEW.BMP", NoiseBytes(800, 7), 18, 501), Entry("KERB.TGA", NoiseBytes(2000, 8), 20, 502),
                      Entry("TRACK.MTS", Bytes("mesh"), 17, 503), Entry("SIGN.BMP", NoiseBytes(500, 2), 18, 504)});
  }
  // A package of what `modified` does to `original`, under `title`.
  std::string Package(const std::string& name, const TestArchive& original, const TestArchive& modified,
                      const std::string& title) {
    WriteArchive("from-" + name, original);
    WriteArchive("to-" + name, modified);
    MakeModPackage(Path("from-" + name), Path("to-" + name), Path(name), title);
    return Path(name);
  }
  RecordingWindow& StartWithOriginal() { return Start(QString::fromStdString(WriteArchive("TRACK.MAS", Original()))); }
  std::vector<uint8_t> ArchiveBytes() { return ReadFileBytes(Path("TRACK.MAS")); }

  // Answers the next text-list dialog with `code`, keeping what it showed in `seen`.
  void AnswerList(SeenList& seen, int code) {
    dialogs_.dialogAnswers.push_back([&seen, code](QDialog& dialog) {
      const auto& list = dynamic_cast<TextListDialog&>(dialog);
      seen = {list.Text(), list.Lines()};
      return code;
    });
  }
  std::vector<std::string> TableNames() {
    std::vector<std::string> names;
    for (const TMAS_FileEntry& e : W().State().Table) names.push_back(e.Name());
    return names;
  }
};

TEST_F(ModCommandsTest, MenuItemsSitInToolsAndNeedAnArchiveThatApplyAndRevertCanWrite) {
  Start();
  const QList<QAction*> tools = W().Tools1->actions();
  const qsizetype compare = tools.indexOf(W().CompareWithArchive1);
  ASSERT_GT(compare, 0);
  EXPECT_EQ(tools.mid(compare, 3), (QList<QAction*>{W().CompareWithArchive1, W().ApplyModPackage1, W().RevertModPackage1}));
  EXPECT_EQ(Caption(W().CompareWithArchive1), QStringLiteral("Compare with Archive…"));
  EXPECT_EQ(Caption(W().ApplyModPackage1), QStringLiteral("Apply Mod Package…"));
  EXPECT_EQ(Caption(W().RevertModPackage1), QStringLiteral("Revert Mod Package…"));

  auto states = [&] {
    std::string s;
    for (QAction* a : {W().CompareWithArchive1, W().ApplyModPackage1, W().RevertModPackage1}) s += a->isEnabled() ? '1' : '0';
    return s;
  };
  EXPECT_EQ(states(), "000");
  W().OpenArchive(QString::fromStdString(WriteArchive("TRACK.MAS", Original())));
  EXPECT_EQ(states(), "111");
  Select(1);  // selecting an entry resets the entry commands, not these
  EXPECT_EQ(states(), "111");
  End();

  read_only_ = true;
  Start(QPath("TRACK.MAS"));
  EXPECT_EQ(states(), "100");
}

TEST_F(ModCommandsTest, CompareListsTheDifferencesWithSizesOrSaysThereAreNone) {
  StartWithOriginal();
  WriteArchive("OTHER.MAS", Modified());
  SeenList seen;
  AnswerList(seen, QDialog::Accepted);
  dialogs_.fileAnswers = {QPath("OTHER.MAS")};
  W().CompareWithArchive1->trigger();
  ASSERT_EQ(dialogs_.fileRequests.size(), 1u);
  EXPECT_EQ(dialogs_.fileRequests[0].objectName, "ODCompareMAS");
  EXPECT_EQ(dialogs_.dialogsRun, QStringList{"CompareArchives"});
  EXPECT_EQ(seen.lines, (QStringList{"added NEW.BMP", "changed KERB.TGA (3000 -> 2000 bytes)", "removed OLD.ANM"}));
  EXPECT_TRUE(seen.text.startsWith("3 entries differ between TRACK.MAS (open) and " + QPath("OTHER.MAS")));
  EXPECT_TRUE(dialogs_.messages.empty());

  // The same entries under other Unknown values are alike.
  dialogs_.Clear();
  TestArchive again = Original();
  for (TestEntry& e : again.Entries) e.Unknown += 1000;
  WriteArchive("AGAIN.MAS", again);
  dialogs_.fileAnswers = {QPath("AGAIN.MAS")};
  W().CompareWithArchive1->trigger();
  EXPECT_TRUE(dialogs_.dialogsRun.isEmpty());
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Information);
  EXPECT_EQ(dialogs_.messages[0].text, "No differences: TRACK.MAS and " + QPath("AGAIN.MAS") + " hold the same entries.");
}

TEST_F(ModCommandsTest, CompareWithAFileThatIsNoArchiveSaysSoOnceNamingIt) {
  StartWithOriginal();
  struct Case {
    const char* name;
    std::string bytes;
    const char* detail;
  } cases[] = {
      {"NOTES.TXT", std::string(200, 'x'), "This is not a valid CUBEMAS 4.10 MAS file."},
      {"SHORT.MAS", "CUBEMAS4.10", "Read beyond end of file"},
  };
  for (const Case& c : cases) {
    kestrel::testing::WriteFileBytes(Path(c.name), Bytes(c.bytes));
    dialogs_.Clear();
    dialogs_.fileAnswers = {QPath(c.name)};
    W().CompareWithArchive1->trigger();
    EXPECT_TRUE(dialogs_.dialogsRun.isEmpty()) << c.name;
    ASSERT_EQ(dialogs_.messages.size(), 1u) << c.name;
    EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
    EXPECT_TRUE(dialogs_.messages[0].text.startsWith("Unable to compare TRACK.MAS with " + QPath(c.name) + ":\r\n"))
        << dialogs_.messages[0].text.toStdString();
    EXPECT_TRUE(dialogs_.messages[0].text.contains(c.detail)) << dialogs_.messages[0].text.toStdString();
    EXPECT_TRUE(dialogs_.applicationErrors.empty());
  }
}

TEST_F(ModCommandsTest, ApplyShowsTitleAndActionsAsksAndReopensWithTheModifiedEntries) {
  const std::string package = Package("KERB.MAS", Original(), Modified(), "Kerb fix");
  StartWithOriginal();
  Select(0);
  SeenList seen;
  AnswerList(seen, QDialog::Accepted);
  dialogs_.fileAnswers = {QString::fromStdString(package)};
  W().ApplyModPackage1->trigger();

  EXPECT_EQ(dialogs_.fileRequests[0].objectName, "ODModPackage");
  EXPECT_EQ(dialogs_.dialogsRun, QStringList{"ApplyModPackage"});
  EXPECT_TRUE(seen.text.startsWith("Apply the mod package \"Kerb fix\" (" + QString::fromStdString(package) +
                                   ") to TRACK.MAS?"))
      << seen.text.toStdString();
  EXPECT_EQ(seen.lines, (QStringList{"changed KERB.TGA", "added NEW.BMP", "removed OLD.ANM"}));
  EXPECT_TRUE(dialogs_.messages.empty());

  EXPECT_EQ(DecodedEntriesOf(Path("TRACK.MAS")), DecodedEntriesOf(WriteArchive("MODIFIED.MAS", Modified())));
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"NEW.BMP", "KERB.TGA", "TRACK.MTS", "SIGN.BMP"}));
  EXPECT_EQ(W().State().FileLength, static_cast<int64_t>(ArchiveBytes().size()));
  EXPECT_EQ(W().State().SelectedEntry, -1);
  EXPECT_FALSE(W().Exportnonimagefile1->isEnabled());
}

TEST_F(ModCommandsTest, ApplyAnsweredNoLeavesTheArchiveAsItWas) {
  const std::string package = Package("KERB.MAS", Original(), Modified(), "Kerb fix");
  StartWithOriginal();
  const std::vector<uint8_t> before = ArchiveBytes();
  SeenList seen;
  AnswerList(seen, QDialog::Rejected);
  dialogs_.fileAnswers = {QString::fromStdString(package)};
  W().ApplyModPackage1->trigger();
  EXPECT_EQ(dialogs_.dialogsRun, QStringList{"ApplyModPackage"});
  EXPECT_EQ(ArchiveBytes(), before);
  EXPECT_FALSE(std::filesystem::exists(Path("TRACK.MAS.mods")));
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"KERB.TGA", "TRACK.MTS", "SIGN.BMP", "OLD.ANM"}));
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(ModCommandsTest, ApplyRefusesAMismatchingPackageWithItsLinesAndADamagedOneWithItsName) {
  // Made for a KERB.TGA other than this archive's.
  TestArchive other = Original();
  other.Entries[0] = Entry("KERB.TGA", NoiseBytes(3000, 9), 20, 401);
  const std::string mismatching = Package("OTHER.MAS", other, Modified(), "Other kerb");
  StartWithOriginal();
  const std::vector<uint8_t> before = ArchiveBytes();

  SeenList question, refusal;
  AnswerList(question, QDialog::Accepted);
  AnswerList(refusal, QDialog::Accepted);
  dialogs_.fileAnswers = {QString::fromStdString(mismatching)};
  W().ApplyModPackage1->trigger();
  EXPECT_EQ(dialogs_.dialogsRun, (QStringList{"ApplyModPackage", "ModPackageRefused"}));
  EXPECT_EQ(refusal.text, "The mod package \"Other kerb\" (" + QString::fromStdString(mismatching) +
                              ") was refused; TRACK.MAS is unchanged:");
  EXPECT_EQ(refusal.lines, QStringList{"mismatch KERB.TGA: its bytes are not the ones the package was made for"});
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(ArchiveBytes(), before);
  EXPECT_EQ(W().State().FileCount(), 4);

  // An archive that is no package: refused before anything is asked.
  dialogs_.Clear();
  dialogs_.fileAnswers = {QString::fromStdString(WriteArchive("PLAIN.MAS", Modified()))};
  W().ApplyModPackage1->trigger();
  EXPECT_TRUE(dialogs_.dialogsRun.isEmpty());
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Error);
  EXPECT_TRUE(dialogs_.messages[0].text.startsWith("Unable to read the mod package " + QPath("PLAIN.MAS") + ":\r\n"))
      << dialogs_.messages[0].text.toStdString();
  EXPECT_EQ(ArchiveBytes(), before);
}

TEST_F(ModCommandsTest, RevertListsNewestFirstRefusesOutOfTurnAndRestoresTheBytesExactly) {
  // The second package changes KERB.TGA again, over the first.
  TestArchive second = Modified();
  second.Entries[1] = Entry("KERB.TGA", NoiseBytes(1500, 10), 20, 601);
  const std::string first = Package("FIRST.MAS", Original(), Modified(), "First");
  const std::string later = Package("SECOND.MAS", Modified(), second, "Second");
  WriteArchive("TRACK.MAS", Original());
  const std::vector<uint8_t> original = ArchiveBytes();
  ApplyModPackage(Path("TRACK.MAS"), ReadModPackage(first));
  const std::vector<uint8_t> withFirst = ArchiveBytes();
  ApplyModPackage(Path("TRACK.MAS"), ReadModPackage(later));
  const std::vector<uint8_t> withBoth = ArchiveBytes();
  Start(QPath("TRACK.MAS"));

  // Chooses item `item` of the list, after noting what the list held.
  QStringList titles;
  std::vector<QStringList> details;
  auto choose = [&](int item) {
    dialogs_.dialogAnswers.push_back([&, item](QDialog& dialog) {
      auto& list = dynamic_cast<ListChoiceDialog&>(dialog);
      titles = list.ItemTexts();
      details.clear();
      for (int i = 0; i < titles.size(); ++i) details.push_back(list.Details(i));
      EXPECT_EQ(list.Chosen(), 0);  // the newest, which can always be taken back
      list.Choose(item);
      return QDialog::Accepted;
    });
  };

  // The older package first: the later one touched KERB.TGA too.
  choose(1);
  SeenList refusal;
  AnswerList(refusal, QDialog::Accepted);
  W().RevertModPackage1->trigger();
  EXPECT_EQ(dialogs_.dialogsRun, (QStringList{"RevertModPackage", "ModPackageRefused"}));
  EXPECT_EQ(titles, (QStringList{"\"Second\"", "\"First\""}));
  EXPECT_EQ(details, (std::vector<QStringList>{{"changed KERB.TGA"}, {"changed KERB.TGA", "added NEW.BMP", "removed OLD.ANM"}}));
  EXPECT_EQ(refusal.lines,
            QStringList{"The package \"Second\", applied later, touches the same entries; take it back first."});
  EXPECT_EQ(ArchiveBytes(), withBoth);

  for (const std::vector<uint8_t>* expected : {&withFirst, &original}) {
    dialogs_.Clear();
    choose(0);
    W().RevertModPackage1->trigger();
    EXPECT_EQ(dialogs_.dialogsRun, QStringList{"RevertModPackage"});
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_EQ(ArchiveBytes(), *expected);
    EXPECT_EQ(W().State().FileLength, static_cast<int64_t>(expected->size()));
  }
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"KERB.TGA", "TRACK.MTS", "SIGN.BMP", "OLD.ANM"}));

  // Nothing left to take back; cancelling the list took nothing back either (no dialog answer left).
  dialogs_.Clear();
  W().RevertModPackage1->trigger();
  EXPECT_TRUE(dialogs_.dialogsRun.isEmpty());
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Information);
  EXPECT_EQ(dialogs_.messages[0].text, "No mod package is applied to TRACK.MAS.");
}

TEST(ListChoiceDialogTest, OnlyItemsCanBeChosenAndAcceptNeedsOne) {
  ListChoiceDialog dialog(QStringLiteral("Choice"), QStringLiteral("Caption"), QStringLiteral("Choose:"),
                          {{QStringLiteral("one"), {QStringLiteral("a"), QStringLiteral("b")}}, {QStringLiteral("two"), {}}},
                          QStringLiteral("&Go"));
  EXPECT_EQ(dialog.Chosen(), 0);
  EXPECT_TRUE(dialog.BAccept->isEnabled());
  dialog.Choose(1);
  dialog.TVItems->setCurrentItem(dialog.TVItems->topLevelItem(0)->child(1));  // a detail line of "one"
  EXPECT_EQ(dialog.Chosen(), 0);
  dialog.Choose(1);
  EXPECT_EQ(dialog.Chosen(), 1);
  dialog.Choose(5);
  EXPECT_EQ(dialog.Chosen(), -1);
  EXPECT_FALSE(dialog.BAccept->isEnabled());
}

TEST(ListDialogsTest, EveryControlHasAnAccessibleName) {
  ListChoiceDialog choice(QStringLiteral("Choice"), QStringLiteral("Caption"), QStringLiteral("Choose:"),
                          {{QStringLiteral("one"), {QStringLiteral("a")}}}, QStringLiteral("&Go"));
  TextListDialog ask(QStringLiteral("Ask"), QStringLiteral("Caption"), QStringLiteral("Sure?"),
                     {QStringLiteral("line")}, TextListDialog::Buttons::YesNo);
  for (QDialog* dialog : std::initializer_list<QDialog*>{&choice, &ask})
    EXPECT_EQ(ControlsWithoutAccessibleName(dialog), std::vector<std::string>{}) << dialog->objectName().toStdString();
}

}  // namespace
}  // namespace kestrel::studio::testing
