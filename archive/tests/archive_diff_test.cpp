#include "archive/archive_diff.h"

#include <gtest/gtest.h>

#include "archive/mod_manifest.h"
#include "archive/testing/edited_entries.h"
#include "archive/testing/mas_builder.h"

namespace kestrel {
namespace {

using testing::BytesOf;
using testing::Entry;
using testing::NoiseBytes;
using testing::TempDir;
using testing::TestArchive;
using testing::TestEntry;

std::vector<std::string> DiffLines(const std::vector<TestEntry>& a, const std::vector<TestEntry>& b) {
  TempDir dir;
  TestArchive archiveA, archiveB;
  archiveA.Entries = a;
  archiveB.Entries = b;
  archiveA.WriteTo(dir / "A.MAS");
  archiveB.WriteTo(dir / "B.MAS");
  std::vector<std::string> lines;
  for (const ArchiveDifference& d : DiffArchives(ReadArchiveTable(dir / "A.MAS"), ReadArchiveTable(dir / "B.MAS")))
    lines.push_back(DifferenceLine(d));
  return lines;
}

TEST(ArchiveDiff, ListsBsOrderThenWhatARemoved) {
  const std::vector<uint8_t> tex = NoiseBytes(900, 1), mesh = NoiseBytes(400, 2);
  TestEntry storedTex("T.BMP", tex, 18, true);
  struct Case {
    const char* what;
    std::vector<TestEntry> a, b;
    std::vector<std::string> lines;
  } cases[] = {
      {"nothing differs", {{"T.BMP", tex}}, {{"T.BMP", tex}}, {}},
      {"the same bytes under another Unknown, stored instead of compressed, another case",
       {Entry("T.BMP", tex, 18, 4000001)}, {[&] { TestEntry e = storedTex; e.Name = "t.bmp"; e.Unknown = 4099999; return e; }()},
       {}},
      {"added, in B's order", {{"T.BMP", tex}}, {{"N.TGA", mesh, 20}, {"T.BMP", tex}}, {"added N.TGA"}},
      {"removed after B's lines", {{"R.MTS", mesh, 17}, {"T.BMP", tex}}, {{"T.BMP", NoiseBytes(100, 9)}},
       {"changed T.BMP (900 -> 100 bytes)", "removed R.MTS"}},
      {"a type alone changes an entry", {{"T.BMP", tex, 18}}, {{"T.BMP", tex, 20}}, {"changed T.BMP (900 -> 900 bytes)"}},
      {"duplicates match k-th with k-th", {{"D.BMP", tex}, {"D.BMP", mesh}}, {{"D.BMP", tex}, {"D.BMP", tex}, {"D.BMP", mesh}},
       {"changed D.BMP (400 -> 900 bytes)", "added D.BMP"}},
      {"a removed duplicate is the last of its name", {{"D.BMP", tex}, {"X", mesh}, {"D.BMP", tex}}, {{"X", mesh}, {"D.BMP", tex}},
       {"removed D.BMP"}},
  };
  for (const Case& c : cases) EXPECT_EQ(DiffLines(c.a, c.b), c.lines) << c.what;
}

TEST(ModManifest, WritesWhatItReadsWithOddNames) {
  ModManifest m;
  m.Title = "Kerbs \\ \xe9t\xe9\n 2";
  m.Changed = {{{"A B.TGA", 1}, std::string(64, 'a')}};
  m.Removed = {{{"\x7f\x01.BMP", 0}, std::string(64, 'f')}};
  m.Added = {"NEW\xc9.ANM"};
  ModOrderItem keep;
  keep.Kept = {"A B.TGA", 0};
  ModOrderItem carry1, carry2;
  carry1.Carried = carry2.Carried = true;
  carry1.CarriedIndex = 2;
  carry2.CarriedIndex = 1;
  m.Order = {keep, carry1, carry2};
  const std::string text = WriteModManifest(m);
  EXPECT_EQ(text.find('\n'), text.find("\ntitle"));  // one record a line: nothing escapes its line
  const ModManifest back = ParseModManifest(text);
  EXPECT_EQ(WriteModManifest(back), text);
  EXPECT_EQ(back.Title, m.Title);
  EXPECT_EQ(back.Added, m.Added);
  EXPECT_EQ(back.Removed[0].Entry.Name, m.Removed[0].Entry.Name);
}

TEST(ModManifest, RefusesDamagedText) {
  const std::string hash(64, '0');
  const std::string head = "kestrel-mod-package 1\ntitle t\n";
  struct Case {
    std::string text, message;
  } cases[] = {
      {"", "does not start"},
      {"kestrel-mod-package 2\ntitle t\nend\n", "format version"},
      {head + "changed A 0 " + hash + "\ncarry 1\n", "cut short"},
      {head + "carry 1\nend", "last line does not end"},
      {head + "end\nkeep A 0\n", "after \"end\""},
      {"kestrel-mod-package 1\ncarry 1\nadded A\nend\n", "no title"},
      {head + "changed A 0 XYZ\ncarry 1\nend\n", "not a SHA-256"},
      {head + "keep A 0\nremoved a 0 " + hash + "\nend\n", "named twice"},
      {head + "keep A 1\nend\n", "numbered from 0"},
      {head + "keep A -1\nend\n", "not a number"},
      {head + "keep A\\x4 0\nend\n", "not an entry name"},
      {head + "added A\ncarry 1\ncarry 1\nend\n", "placed twice"},
      {head + "added A\ncarry 2\nend\n", "no place in the final order"},
      {head + "added A\nend\n", "places 0 carried entries for 1"},
      {head + "added A\nkeep a 0\ncarry 1\nend\n", "also an original entry's"},
      {head + "delete A 0\nend\n", "not a record"},
  };
  for (const Case& c : cases) {
    try {
      ParseModManifest(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const EModPackageError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace kestrel
