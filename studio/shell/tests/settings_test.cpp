// Settings and recent files: how flags read, what is written at the end, and the list's rules.
#include <QSettings>
#include <filesystem>

#include "studio/shell/recent_files.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

TEST(FlagFromText, NonZeroNumbersAreOnAndWordsGiveTheDefault) {
  struct Case {
    const char* text;
    bool present;
    bool fallback;
    bool expected;
  };
  const Case cases[] = {
      {"1", true, false, true},    {"0", true, true, false},    {"2", true, false, true},
      {"-1", true, false, true},   {"yes", true, false, false}, {"yes", true, true, true},
      {"", true, true, true},      {"", false, true, true},     {"1", false, false, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FlagFromText(QString::fromLatin1(c.text), c.present, c.fallback), c.expected)
        << '"' << c.text << "\" present=" << c.present << " default=" << c.fallback;
}

using SettingsTest = StudioTest;

TEST_F(SettingsTest, ReadAtStartAndWrittenAtTheEndAsStrings) {
  WriteIni(
      "BMPInitialDir=/data/bitmaps\n"
      "DumpTOC=2\n"
      "ShowMTSPreview=perhaps\n"
      "IsDeveloper=7\n"
      "ShowReadOnlyNotification=0\n");
  const std::string archive = WriteArchive("A.MAS", ArchiveOf({TestEntry("X.BMP", Bytes("x"))}));
  TFKestrel& w = Start(QString::fromStdString(archive));
  EXPECT_EQ(w.Settings().BMPInitialDir, "/data/bitmaps");
  EXPECT_TRUE(w.Settings().DumpTOC);
  EXPECT_TRUE(w.Settings().ShowMTSPreview);  // not a number: the default
  EXPECT_TRUE(w.Settings().IsDeveloper);
  EXPECT_FALSE(w.Settings().ShowReadOnlyNotification);
  End();

  EXPECT_EQ(IniValue("BMPInitialDir"), "/data/bitmaps");
  EXPECT_EQ(IniValue("MASInitialDir").toStdString(), dir_.Path());
  EXPECT_EQ(IniValue("DumpTOC"), "1");
  EXPECT_EQ(IniValue("ShowMTSPreview"), "1");
  // Only ever read, so left as the user wrote them.
  EXPECT_EQ(IniValue("IsDeveloper"), "7");
  EXPECT_EQ(IniValue("ShowReadOnlyNotification"), "0");
}

TEST_F(SettingsTest, FirstRunWritesTheDefaultsIntoANewFile) {
  ASSERT_FALSE(std::filesystem::exists(IniPath().toStdString()));
  Start();
  End();
  EXPECT_EQ(IniPath().toStdString(), dir_ / "config/Kestrel/Kestrel.ini");
  EXPECT_EQ(IniValue("DumpTOC"), "0");
  EXPECT_EQ(IniValue("ShowMTSPreview"), "1");
  EXPECT_EQ(IniValue("MASInitialDir"), "");
  EXPECT_FALSE(IniHas("IsDeveloper"));
  EXPECT_FALSE(IniHas("ShowReadOnlyNotification"));
}

TEST(RecentFilesList, KeepsFourNewestFirstIgnoringCase) {
  RecentFiles recent;
  for (const char* path : {"/a/ONE.MAS", "/a/TWO.MAS", "/a/THREE.MAS", "/a/FOUR.MAS", "/a/FIVE.MAS"})
    recent.Add(QString::fromLatin1(path));
  EXPECT_EQ(recent.Items(), QStringList({"/a/FIVE.MAS", "/a/FOUR.MAS", "/a/THREE.MAS", "/a/TWO.MAS"}));
  recent.Add(QStringLiteral("/A/three.mas"));
  EXPECT_EQ(recent.Items(), QStringList({"/A/three.mas", "/a/FIVE.MAS", "/a/FOUR.MAS", "/a/TWO.MAS"}));
  recent.Remove(QStringLiteral("/a/five.MAS"));
  EXPECT_EQ(recent.Items(), QStringList({"/A/three.mas", "/a/FOUR.MAS", "/a/TWO.MAS"}));
}

class RecentFilesTest : public StudioTest {
 protected:
  std::string Make(const std::string& name) {
    return WriteArchive(name, ArchiveOf({TestEntry("X.BMP", Bytes("x"))}));
  }
  QStringList MenuTexts() {
    QStringList texts;
    for (QAction* a : W().File1->actions())
      if (a->isVisible()) texts << (a->isSeparator() ? QStringLiteral("-") : Caption(a));
    return texts;
  }
  QStringList Stored() {
    QSettings ini(IniPath(), QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("MRU Items"));
    QStringList values;
    for (const QString& key : ini.childKeys()) values << key + QLatin1Char('=') + ini.value(key).toString();
    return values;
  }
};

TEST_F(RecentFilesTest, FiveArchivesLeaveTheLastFourInMenuAndFile) {
  TFKestrel& w = Start();
  for (const char* name : {"ONE.MAS", "TWO.MAS", "THREE.MAS", "FOUR.MAS", "FIVE.MAS"})
    w.OpenArchive(QString::fromStdString(Make(name)));
  EXPECT_EQ(MenuTexts(), QStringList({"Open", "Reload", "Close", "Export glTF File", "-", "FIVE.MAS", "FOUR.MAS", "THREE.MAS", "TWO.MAS", "-", "Exit"}));
  End();
  EXPECT_EQ(Stored(), QStringList({"F0=" + QPath("FIVE.MAS"), "F1=" + QPath("FOUR.MAS"), "F2=" + QPath("THREE.MAS"),
                                   "F3=" + QPath("TWO.MAS")}));
}

TEST_F(RecentFilesTest, ReopeningMovesUpWithoutDoublingAlsoUnderAnotherLetterCase) {
  const std::string upper = Make("CASE.MAS");
  const std::string lower = Make("case.mas");  // the same archive to a case-blind eye
  const std::string other = Make("OTHER.MAS");
  TFKestrel& w = Start();
  w.OpenArchive(QString::fromStdString(upper));
  w.OpenArchive(QString::fromStdString(other));
  w.OpenArchive(QString::fromStdString(upper));
  EXPECT_EQ(w.Recent().Items(), QStringList({QPath("CASE.MAS"), QPath("OTHER.MAS")}));
  w.OpenArchive(QString::fromStdString(lower));
  EXPECT_EQ(w.Recent().Items(), QStringList({QPath("case.mas"), QPath("OTHER.MAS")}));
}

TEST_F(RecentFilesTest, ChoosingAnEntryOpensItAndADeletedOneLeavesSayingSo) {
  const std::string a = Make("A.MAS");
  const std::string b = Make("B.MAS");
  TFKestrel& w = Start();
  w.OpenArchive(QString::fromStdString(a));
  w.OpenArchive(QString::fromStdString(b));
  ASSERT_EQ(w.RecentItems.size(), 2);
  w.RecentItems[1]->trigger();  // A.MAS
  EXPECT_EQ(w.State().ArchivePath, a);
  EXPECT_EQ(MenuTexts(), QStringList({"Open", "Reload", "Close", "Export glTF File", "-", "A.MAS", "B.MAS", "-", "Exit"}));

  std::filesystem::remove(b);
  w.RecentItems[1]->trigger();  // B.MAS, gone
  EXPECT_EQ(w.State().ArchivePath, a);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::Warning);
  EXPECT_EQ(dialogs_.messages[0].text,
            "\"" + QString::fromStdString(b) + "\" no longer exists and was removed from the recent files.");
  EXPECT_EQ(MenuTexts(), QStringList({"Open", "Reload", "Close", "Export glTF File", "-", "A.MAS", "-", "Exit"}));
  EXPECT_TRUE(dialogs_.applicationErrors.empty());
}

TEST_F(RecentFilesTest, EntriesWhoseArchiveIsGoneAreDroppedAtStart) {
  const std::string kept = Make("KEPT.MAS");
  WriteIni("[MRU%20Items]\nF0=" + dir_ / "GONE.MAS" + "\nF1=" + kept + "\n");
  TFKestrel& w = Start();
  EXPECT_EQ(w.Recent().Items(), QStringList({QString::fromStdString(kept)}));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "\"" + QPath("GONE.MAS") + "\" no longer exists and was removed from the recent files.");
  EXPECT_EQ(MenuTexts(), QStringList({"Open", "Reload", "Close", "Export glTF File", "-", "KEPT.MAS", "-", "Exit"}));
  End();
  EXPECT_EQ(Stored(), QStringList({"F0=" + QString::fromStdString(kept)}));
}

}  // namespace
}  // namespace kestrel::studio::testing
