#include "archive/mod_package.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <tuple>

#include "archive/archive_diff.h"
#include "archive/file_replacement.h"
#include "archive/mod_apply.h"
#include "archive/sha256.h"
#include "archive/testing/edited_entries.h"
#include "archive/testing/mas_builder.h"

namespace kestrel {
namespace {

using testing::BytesOf;
using testing::Entry;
using testing::NoiseBytes;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::TestArchive;
using testing::TestEntry;
using testing::WriteFileBytes;

TestArchive ArchiveOf(std::vector<TestEntry> entries) {
  TestArchive archive;
  archive.Entries = std::move(entries);
  return archive;
}

// Every path under `root` with its bytes: what a refusal must leave as it was.
std::map<std::string, std::vector<uint8_t>> FolderContents(const std::string& root) {
  std::map<std::string, std::vector<uint8_t>> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    out[e.path().string()] = e.is_regular_file() ? ReadFileBytes(e.path().string()) : std::vector<uint8_t>();
  return out;
}

// What a package must reproduce: the entries' names, types and decoded bytes, in table order.
std::vector<std::tuple<std::string, int32_t, std::vector<uint8_t>>> Contents(const std::string& path) {
  return testing::DecodedEntriesOf(path);
}

// An original as the packers leave it, with odd but valid details a revert must give back:
// Unknown values, a stored entry, duplicate names and bytes after the last entry.
std::vector<uint8_t> OriginalBytes() {
  TestArchive a;
  a.Entries = {Entry("KERB.TGA", NoiseBytes(3000, 1), 20, 4000123), Entry("TRACK.MTS", BytesOf("mesh"), 17, 4000200),
               Entry("SIGN.BMP", NoiseBytes(500, 2), 18, 4000300, true), Entry("DUP.BMP", BytesOf("one"), 18, 4000400),
               Entry("DUP.BMP", BytesOf("two"), 18, 4000401), Entry("OLD.ANM", NoiseBytes(700, 3), 31, 4000500)};
  std::vector<uint8_t> bytes = a.Build();
  const std::vector<uint8_t> tail = BytesOf("bytes after the last entry");
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  return bytes;
}

TestArchive Modified() {
  TestArchive m;
  m.Entries = {Entry("NEW.BMP", NoiseBytes(800, 7), 18, 4100001), Entry("KERB.TGA", NoiseBytes(2000, 8), 20, 4100002),
               Entry("SIGN.BMP", NoiseBytes(500, 2), 18, 4100003), Entry("TRACK.MTS", BytesOf("mesh"), 22, 4100004),
               Entry("DUP.BMP", BytesOf("one"), 18, 4100005), Entry("DUP.BMP", BytesOf("TWO"), 18, 4100006)};
  return m;
}

struct Fixture {
  TempDir dir;
  std::string original = dir / "ORIGINAL.MAS", modified = dir / "MODIFIED.MAS", archive = dir / "TRACK.MAS",
              package = dir / "MOD.MAS";
  std::vector<uint8_t> before = OriginalBytes();
  Fixture() {
    WriteFileBytes(original, before);
    WriteFileBytes(archive, before);
    Modified().WriteTo(modified);
  }
  // The archive and its revert folder, to show that a refusal changed neither.
  std::map<std::string, std::vector<uint8_t>> State() const { return FolderContents(dir.Path()); }
};

TEST(ModPackage, CarriesOnlyWhatChangedAndApplyingGivesTheModifiedEntries) {
  Fixture f;
  const ModMakeSummary made = MakeModPackage(f.original, f.modified, f.package, "Kerbs");
  EXPECT_EQ(made.Changed, 3u);  // KERB.TGA, TRACK.MTS (type), the second DUP.BMP
  EXPECT_EQ(made.Added, 1u);
  EXPECT_EQ(made.Removed, 1u);
  const ModPackage package = ReadModPackage(f.package);
  ASSERT_EQ(package.Archive.Table.size(), 5u);
  // Carried as the modified archive's streams, not compressed again.
  const LoadedArchive modified = ReadArchiveTable(f.modified);
  EXPECT_EQ(ReadStoredBytes(package.Archive, 2), ReadStoredBytes(modified, 1));
  EXPECT_EQ(package.Manifest.Title, "Kerbs");

  ApplyModPackage(f.archive, package);
  EXPECT_EQ(Contents(f.archive), Contents(f.modified));
  EXPECT_EQ(ListAppliedModPackages(f.archive).at(0).Title, "Kerbs");

  RevertModPackage(f.archive, package);
  EXPECT_EQ(ReadFileBytes(f.archive), f.before);
  EXPECT_FALSE(std::filesystem::exists(f.archive + ".mods"));
  EXPECT_TRUE(ListAppliedModPackages(f.archive).empty());
}

TEST(ModPackage, FromAFolderReplacesMatchingFilesAndAddsTheRest) {
  Fixture f;
  const std::string folder = f.dir / "loose";
  std::filesystem::create_directory(folder);
  WriteFileBytes(folder + "/kerb.tga", BytesOf("new kerb"));
  WriteFileBytes(folder + "/SIGN.BMP", NoiseBytes(500, 2));  // the same bytes: not carried
  WriteFileBytes(folder + "/Extra.mts", BytesOf("added mesh"));
  const ModMakeSummary made = MakeModPackage(f.original, folder, f.package, "Loose");
  EXPECT_EQ(made.Changed, 1u);
  EXPECT_EQ(made.Added, 1u);
  EXPECT_EQ(made.Removed, 0u);
  ApplyModPackage(f.archive, ReadModPackage(f.package));
  auto expected = Contents(f.original);
  expected[0] = {"KERB.TGA", 20, BytesOf("new kerb")};
  expected.emplace_back("EXTRA.MTS", 17, BytesOf("added mesh"));
  EXPECT_EQ(Contents(f.archive), expected);
  RevertModPackage(f.archive, ReadModPackage(f.package));
  EXPECT_EQ(ReadFileBytes(f.archive), f.before);
}

TEST(ModPackage, RefusalsLeaveTheArchiveAndItsRevertDataAlone) {
  Fixture f;
  MakeModPackage(f.original, f.modified, f.package, "Kerbs");
  const ModPackage package = ReadModPackage(f.package);
  // Another archive where the package's entries are not what it was made for.
  TestArchive other;
  other.Entries = {Entry("KERB.TGA", BytesOf("someone else's kerb"), 20, 1), Entry("TRACK.MTS", BytesOf("mesh"), 17, 2),
                   Entry("NEW.BMP", BytesOf("already here"), 18, 3), Entry("DUP.BMP", BytesOf("one"), 18, 4)};
  other.WriteTo(f.archive);
  auto state = f.State();
  try {
    ApplyModPackage(f.archive, package);
    ADD_FAILURE() << "applied";
  } catch (const EModRefusal& refusal) {
    EXPECT_EQ(refusal.Lines(), (std::vector<std::string>{
                                   "mismatch KERB.TGA: its bytes are not the ones the package was made for",
                                   "missing DUP.BMP: the package changes it, but the archive has no such entry",
                                   "missing OLD.ANM: the package removes it, but the archive has no such entry",
                                   "exists NEW.BMP: the package adds it, but the archive has it already",
                                   "missing SIGN.BMP: the package keeps it, but the archive has no such entry"}));
  }
  EXPECT_EQ(f.State(), state);
  EXPECT_THROW(RevertModPackage(f.archive, package), EModRefusal);  // not applied
  EXPECT_EQ(f.State(), state);

  WriteFileBytes(f.archive, f.before);
  ApplyModPackage(f.archive, package);
  state = f.State();
  EXPECT_THROW(ApplyModPackage(f.archive, package), EModRefusal);  // applied already
  EXPECT_EQ(f.State(), state);
  // The archive edited behind the package's back: taking it back would not give the original.
  std::vector<uint8_t> edited = ReadFileBytes(f.archive);
  edited[edited.size() - 1] ^= 1;
  WriteFileBytes(f.archive, edited);
  state = f.State();
  EXPECT_THROW(RevertModPackage(f.archive, package), EModRefusal);
  EXPECT_EQ(f.State(), state);
}

TEST(ModPackage, TwoPackagesComeOffInEitherOrderUnlessTheLaterTouchedTheEarlier) {
  Fixture f;
  const std::string loose1 = f.dir / "one", loose2 = f.dir / "two";
  std::filesystem::create_directories(loose1);
  std::filesystem::create_directories(loose2);
  WriteFileBytes(loose1 + "/KERB.TGA", BytesOf("kerb one"));
  WriteFileBytes(loose1 + "/ADDED1.BMP", BytesOf("added by one"));
  WriteFileBytes(loose2 + "/SIGN.BMP", BytesOf("sign two"));
  WriteFileBytes(loose2 + "/ADDED2.BMP", BytesOf("added by two"));
  MakeModPackage(f.original, loose1, f.dir / "P1.MAS", "one");
  MakeModPackage(f.original, loose2, f.dir / "P2.MAS", "two");
  const ModPackage p1 = ReadModPackage(f.dir / "P1.MAS"), p2 = ReadModPackage(f.dir / "P2.MAS");

  for (const bool laterFirst : {true, false}) {
    SCOPED_TRACE(laterFirst ? "later first" : "earlier first");
    WriteFileBytes(f.archive, f.before);
    ApplyModPackage(f.archive, p1);
    const std::vector<uint8_t> withOne = ReadFileBytes(f.archive);
    ApplyModPackage(f.archive, p2);
    auto both = Contents(f.archive);
    ASSERT_EQ(ListAppliedModPackages(f.archive).size(), 2u);
    if (laterFirst) {
      // As the studio takes one back: from the list, newest first, without the package file.
      RevertAppliedModPackage(f.archive, ListAppliedModPackages(f.archive).at(0).PackageSha256);
      EXPECT_EQ(ReadFileBytes(f.archive), withOne);
    } else {
      RevertModPackage(f.archive, p1);
      auto expected = Contents(f.original);
      std::get<2>(expected[2]) = BytesOf("sign two");
      expected.emplace_back("ADDED2.BMP", 18, BytesOf("added by two"));
      EXPECT_EQ(Contents(f.archive), expected);
      EXPECT_EQ(ListAppliedModPackages(f.archive).at(0).Title, "two");
    }
    RevertModPackage(f.archive, laterFirst ? p1 : p2);
    EXPECT_EQ(ReadFileBytes(f.archive), f.before);
    EXPECT_FALSE(std::filesystem::exists(f.archive + ".mods"));
  }

  // A package made over the first one's result changes an entry the first added: the first can
  // no longer come off before it.
  WriteFileBytes(f.archive, f.before);
  ApplyModPackage(f.archive, p1);
  std::filesystem::copy_file(f.archive, f.dir / "WITH1.MAS");
  const std::string loose3 = f.dir / "three";
  std::filesystem::create_directories(loose3);
  WriteFileBytes(loose3 + "/ADDED1.BMP", BytesOf("changed by three"));
  MakeModPackage(f.dir / "WITH1.MAS", loose3, f.dir / "P3.MAS", "three");
  const ModPackage p3 = ReadModPackage(f.dir / "P3.MAS");
  ApplyModPackage(f.archive, p3);
  const auto state = f.State();
  try {
    RevertModPackage(f.archive, p1);
    ADD_FAILURE() << "taken back under a later package";
  } catch (const EModRefusal& refusal) {
    ASSERT_EQ(refusal.Lines().size(), 1u);
    EXPECT_NE(refusal.Lines()[0].find("\"three\""), std::string::npos) << refusal.Lines()[0];
  }
  EXPECT_EQ(f.State(), state);
  RevertModPackage(f.archive, p3);
  RevertModPackage(f.archive, p1);
  EXPECT_EQ(ReadFileBytes(f.archive), f.before);
}

// The renames a step makes, one of which fails as if the program were stopped right there.
std::string g_failingRename;
int RenameFailingAt(const char* from, const char* to) {
  if (std::string(to).ends_with(g_failingRename)) {
    errno = EIO;
    return -1;
  }
  return std::rename(from, to);
}

// An apply or revert stopped before its archive was replaced, or after it but before the list of
// applied packages was: the next command finds the old archive with no package half-applied, or
// the new one with what takes it back.
TEST(ModPackage, TheNextCommandFinishesOrDropsAStepStoppedHalfway) {
  struct Case {
    bool revert;
    const char* failingRename;
    bool archiveReplaced;
  } cases[] = {{false, "/TRACK.MAS", false}, {false, "/applied", true}, {true, "/TRACK.MAS", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.revert ? "revert" : "apply") + " stopped at " + c.failingRename);
    Fixture f;
    MakeModPackage(f.original, f.modified, f.package, "Kerbs");
    const ModPackage package = ReadModPackage(f.package);
    ApplyModPackage(f.archive, package);
    const std::vector<uint8_t> applied = ReadFileBytes(f.archive);
    if (!c.revert) {  // the apply again, from the original
      WriteFileBytes(f.archive, f.before);
      std::filesystem::remove_all(f.archive + ".mods");
    }
    g_failingRename = c.failingRename;
    const RenameFunction previous = SetRenameFunctionForTesting(&RenameFailingAt);
    EXPECT_ANY_THROW(c.revert ? RevertModPackage(f.archive, package) : ApplyModPackage(f.archive, package));
    SetRenameFunctionForTesting(previous);

    const bool packageOn = c.revert != c.archiveReplaced;
    EXPECT_EQ(ReadFileBytes(f.archive), packageOn ? applied : f.before);
    EXPECT_EQ(ListAppliedModPackages(f.archive).size(), packageOn ? 1u : 0u);
    EXPECT_EQ(std::filesystem::exists(f.archive + ".mods"), packageOn);
    if (packageOn) RevertModPackage(f.archive, package);
    EXPECT_EQ(ReadFileBytes(f.archive), f.before);
  }
}

TEST(ModPackage, DamagedPackagesAreRefusedWithAMessage) {
  Fixture f;
  MakeModPackage(f.original, f.modified, f.package, "Kerbs");
  const LoadedArchive good = ReadArchiveTable(f.package);
  const std::vector<uint8_t> manifest = DecodeEntryBytes(good.Table[0], ReadStoredBytes(good, 0));
  const std::string text(manifest.begin(), manifest.end());
  auto packageWith = [&](const std::string& manifestText, std::vector<TestEntry> carried) {
    TestArchive p;
    p.Entries = {TestEntry(std::string(kModManifestEntryName), BytesOf(manifestText), 31)};
    for (TestEntry& e : carried) p.Entries.push_back(std::move(e));
    p.WriteTo(f.package);
  };
  std::vector<TestEntry> carried;
  for (size_t i = 1; i < good.Table.size(); ++i)
    carried.emplace_back(good.Table[i].Name(), DecodeEntryBytes(good.Table[i], ReadStoredBytes(good, i)),
                         good.Table[i].FileType);
  struct Case {
    const char* what;
    std::function<void()> make;
    std::string message;
  } cases[] = {
      {"not a package", [&] { ArchiveOf({{"A.BMP", BytesOf("x")}}).WriteTo(f.package); }, "not a mod package"},
      {"a carried entry missing", [&] { packageWith(text, {carried.begin(), carried.end() - 1}); }, "carries 3"},
      {"a carried entry under another name",
       [&] {
         auto renamed = carried;
         renamed[0].Name = "OTHER.BMP";
         packageWith(text, renamed);
       },
       "disagree"},
      {"a cut manifest", [&] { packageWith(text.substr(0, text.size() / 2), carried); }, "damaged"},
      {"a broken stream",
       [&] {
         auto broken = carried;
         broken[1].RawBytes = std::vector<uint8_t>{0x78, 0xda, 1, 2, 3};
         packageWith(text, broken);
       },
       "does not decode"},
  };
  for (const Case& c : cases) {
    c.make();
    try {
      ReadModPackage(f.package);
      ADD_FAILURE() << "read: " << c.what;
    } catch (const EModPackageError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.what << ": " << e.what();
    }
  }
}

}  // namespace
}  // namespace kestrel
