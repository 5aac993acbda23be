#include "archive/archive_editing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>

#include "archive/archive_packer.h"
#include "archive/file_error.h"
#include "archive/file_replacement.h"
#include "archive/testing/edited_entries.h"
#include "archive/testing/failing_rename.h"
#include "archive/testing/file_size_limit.h"
#include "archive/testing/mas_builder.h"
#include "archive/testing/unprivileged.h"

namespace kestrel {
namespace {

using testing::BytesOf;
using testing::Entry;
using testing::NamesIn;
using testing::NoiseBytes;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::TestArchive;
using testing::TestEntry;

std::vector<uint8_t> Text(size_t size, char letter) { return std::vector<uint8_t>(size, static_cast<uint8_t>(letter)); }

// Three entries of different sizes and Unknown values, one of them stored.
TestArchive ThreeEntries() {
  TestArchive a;
  a.Entries = {Entry("A.BMP", NoiseBytes(3000, 1), 18, 4000123), Entry("B.MTS", Text(5000, 'b'), 17, 4000456),
               Entry("C.TGA", NoiseBytes(700, 3), 20, 4001789)};
  a.Entries[2].Stored = true;
  return a;
}

// A TestEntry as the edits store its data: a level-9 stream, or the data as is where that stream
// would be exactly as long as the data (it would read back as a stored entry).
TestEntry AsEncoded(TestEntry entry) {
  entry.Stored = testing::Deflate(entry.Data).size() == entry.Data.size();
  entry.Offset.reset();
  entry.UncompressedSize.reset();
  entry.CompressedSize.reset();
  return entry;
}

class ArchiveEditing : public ::testing::Test {
 protected:
  std::string Write(const TestArchive& archive) {
    archive.WriteTo(path_);
    return path_;
  }
  LoadedArchive Load() const { return ReadArchiveTable(path_); }
  // The archive holds exactly the bytes the test-side writer makes of `expected`, and nothing
  // else was left in its folder.
  void ExpectArchive(const TestArchive& expected) const {
    EXPECT_EQ(ReadFileBytes(path_), expected.Build());
    EXPECT_EQ(NamesIn(dir_.Path()), (std::set<std::string>{"TRACK.MAS"}));
  }

  TempDir dir_;
  std::string path_ = dir_ / "TRACK.MAS";
};

TEST_F(ArchiveEditing, ReplaceKeepsPlaceNameTypeAndUnknownAndMovesLaterEntries) {
  // Growing and shrinking the first, middle and last entry, against the archive the test-side
  // writer makes with that entry's new content: header, table and data in one comparison.
  const std::vector<uint8_t> larger = NoiseBytes(9000, 7);
  const std::vector<uint8_t> smaller = Text(200, 'z');
  for (size_t index = 0; index < 3; ++index) {
    for (const std::vector<uint8_t>* content : {&larger, &smaller}) {
      SCOPED_TRACE("entry " + std::to_string(index) + ", " + std::to_string(content->size()) + " bytes");
      Write(ThreeEntries());
      ReplaceEntry(Load(), index, EncodeEntryContent(*content));

      TestArchive expected = ThreeEntries();
      expected.Entries[index].Data = *content;
      expected.Entries[index] = AsEncoded(expected.Entries[index]);
      ExpectArchive(expected);
      const LoadedArchive after = Load();
      EXPECT_EQ(int64_t{after.Header.DataAreaSize}, after.FileLength - after.DataStart);
    }
  }
}

TEST_F(ArchiveEditing, ReplaceSeveralInOneRewriteInAnyOrder) {
  // Each set of positions, given out of order, against the archive with those entries' new
  // content; an empty list leaves the file alone.
  const std::vector<std::vector<size_t>> cases = {{2, 0}, {1, 2}, {0, 1, 2}, {1}, {}};
  for (const std::vector<size_t>& positions : cases) {
    SCOPED_TRACE(::testing::PrintToString(positions));
    Write(ThreeEntries());
    std::vector<EntryReplacement> replacements;
    TestArchive expected = ThreeEntries();
    for (size_t k = 0; k < positions.size(); ++k) {
      const std::vector<uint8_t> content = k % 2 ? Text(30 + k, 'q') : NoiseBytes(5000 + k, static_cast<uint32_t>(k));
      replacements.push_back({positions[k], EncodeEntryContent(content)});
      expected.Entries[positions[k]].Data = content;
      expected.Entries[positions[k]] = AsEncoded(expected.Entries[positions[k]]);
    }
    ReplaceEntries(Load(), replacements);
    ExpectArchive(expected);
    const LoadedArchive after = Load();
    EXPECT_EQ(int64_t{after.Header.DataAreaSize}, after.FileLength - after.DataStart);
  }
  Write(ThreeEntries());
  EXPECT_THROW(ReplaceEntries(Load(), {{1, EncodeEntryContent(Text(3, 'a'))}, {1, EncodeEntryContent(Text(4, 'b'))}}),
               std::invalid_argument);
  ExpectArchive(ThreeEntries());
}

TEST_F(ArchiveEditing, AppendAddsLastRecordAtEndOfDataWithUnknownZero) {
  Write(ThreeEntries());
  const LoadedArchive before = Load();
  const std::string name = AddedEntryName("/somewhere/readme.txt");
  AppendEntry(before, name, AddedEntryType("readme.txt"), EncodeEntryContent(Text(400, 'r')));

  TestArchive expected = ThreeEntries();
  expected.Entries.push_back(AsEncoded(Entry("README.TXT", Text(400, 'r'), 31, 0)));
  ExpectArchive(expected);
  const LoadedArchive after = Load();
  EXPECT_EQ(after.Table[3].Offset, before.FileLength - before.DataStart);
  EXPECT_EQ(after.Table[3].Unknown, 0);
}

TEST_F(ArchiveEditing, RemoveClosesTheGapAndKeepsOtherRecords) {
  for (size_t index = 0; index < 3; ++index) {
    SCOPED_TRACE("entry " + std::to_string(index));
    Write(ThreeEntries());
    RemoveEntry(Load(), index);
    TestArchive expected = ThreeEntries();
    expected.Entries.erase(expected.Entries.begin() + static_cast<std::ptrdiff_t>(index));
    ExpectArchive(expected);
  }
}

TEST_F(ArchiveEditing, RemoveSeveralInOneRewriteInAnyOrder) {
  // Each set of positions, given out of order, against the archive without those entries.
  const std::vector<std::vector<size_t>> cases = {{2, 0}, {1, 2}, {0, 1}, {0, 1, 2}, {}};
  for (const std::vector<size_t>& positions : cases) {
    SCOPED_TRACE(::testing::PrintToString(positions));
    Write(ThreeEntries());
    RemoveEntries(Load(), positions);
    TestArchive expected = ThreeEntries();
    std::vector<size_t> descending = positions;
    std::sort(descending.rbegin(), descending.rend());
    for (size_t index : descending) expected.Entries.erase(expected.Entries.begin() + static_cast<std::ptrdiff_t>(index));
    ExpectArchive(expected);
  }
  Write(ThreeEntries());
  EXPECT_THROW(RemoveEntries(Load(), {1, 1}), std::invalid_argument);
  EXPECT_THROW(RemoveEntries(Load(), {0, 3}), std::out_of_range);
  ExpectArchive(ThreeEntries());
}

TEST_F(ArchiveEditing, CancelInTheMiddleOfARewriteKeepsTheOldArchiveByteForByte) {
  // Entries large enough that every rewrite takes several steps; Cancel comes at the second look,
  // after part of the new archive was written.
  TestArchive big;
  big.Entries = {Entry("A.BMP", NoiseBytes(9 << 20, 1), 18, 1), Entry("B.MTS", NoiseBytes(5 << 20, 2), 17, 2)};
  for (TestEntry& entry : big.Entries) entry.Stored = true;
  using Edit = std::function<void(const LoadedArchive&, const RewriteControl&)>;
  const std::vector<std::pair<const char*, Edit>> edits = {
      {"replace", [](const LoadedArchive& a, const RewriteControl& c) { ReplaceEntry(a, 0, EncodeEntryContent(Text(10, 'x')), c); }},
      {"append", [](const LoadedArchive& a, const RewriteControl& c) { AppendEntry(a, "C.TXT", 31, EncodeEntryContent(NoiseBytes(9 << 20, 3)), c); }},
      {"remove", [](const LoadedArchive& a, const RewriteControl& c) { RemoveEntries(a, {0}, c); }}};
  Write(big);
  const std::vector<uint8_t> before = ReadFileBytes(path_);
  for (const auto& [name, edit] : edits) {
    SCOPED_TRACE(name);
    int looks = 0;
    int64_t lastWritten = 0;
    int64_t lastTotal = 0;
    RewriteControl control;
    control.Progress = [&](int64_t written, int64_t total) {
      EXPECT_GT(written, lastWritten);
      lastWritten = written;
      lastTotal = total;
    };
    control.CancelRequested = [&] { return ++looks == 2; };
    EXPECT_THROW(edit(Load(), control), ERewriteCancelled);
    EXPECT_EQ(looks, 2);
    EXPECT_LT(lastWritten, lastTotal);
    EXPECT_EQ(ReadFileBytes(path_), before);
    EXPECT_EQ(NamesIn(dir_.Path()), (std::set<std::string>{"TRACK.MAS"}));
  }
  // Uncancelled, progress ends at the new archive's length.
  int64_t lastWritten = 0;
  RewriteControl control;
  control.Progress = [&](int64_t written, int64_t) { lastWritten = written; };
  RemoveEntries(Load(), {1}, control);
  EXPECT_EQ(lastWritten, Load().FileLength);
}

TEST_F(ArchiveEditing, EntriesOfOneNameAreEditedByPositionAndAnArchiveShrinksToOneEntry) {
  TestArchive archive;
  archive.Entries = {Entry("SAME.BMP", Text(100, 'a'), 18, 1), Entry("X.ANM", Text(50, 'x'), 31, 2)};
  Write(archive);
  AppendEntry(Load(), "SAME.BMP", 18, EncodeEntryContent(Text(300, 'c')));
  ReplaceEntry(Load(), 2, EncodeEntryContent(Text(10, 'd')));
  RemoveEntry(Load(), 0);

  TestArchive expected;
  expected.Entries = {Entry("X.ANM", Text(50, 'x'), 31, 2), AsEncoded(Entry("SAME.BMP", Text(10, 'd'), 18, 0))};
  ExpectArchive(expected);

  RemoveEntry(Load(), 1);
  expected.Entries.pop_back();
  ExpectArchive(expected);
}

TEST_F(ArchiveEditing, EditsOfAPackedArchiveKeepHeaderAndTableAsThePackerWritesThem) {
  TempDir source;
  testing::WriteFileBytes(source / "a.bmp", NoiseBytes(2000, 11));
  testing::WriteFileBytes(source / "b.mts", Text(9000, 'm'));
  testing::WriteFileBytes(source / "c.tga", NoiseBytes(500, 12));
  UnknownSequence unknowns(5);
  PackDirectory(source.Path(), path_, unknowns, EngineHooks{});

  ReplaceEntry(Load(), 1, EncodeEntryContent(NoiseBytes(12000, 13)));
  AppendEntry(Load(), "D.ANM", 31, EncodeEntryContent(Text(77, 'q')));
  RemoveEntry(Load(), 0);
  ReplaceEntry(Load(), 2, EncodeEntryContent(Text(5, 'w')));

  const LoadedArchive after = Load();
  ASSERT_EQ(after.Table.size(), 3u);
  EXPECT_EQ(after.Header.FileCount, 3u);
  EXPECT_EQ(int64_t{after.Header.DataAreaSize}, after.FileLength - after.DataStart);
  int64_t offset = 0;
  for (const TMAS_FileEntry& entry : after.Table) {
    EXPECT_EQ(entry.Offset, offset) << entry.Name();
    offset += entry.CompressedSize;
  }
  EXPECT_EQ(offset, after.FileLength - after.DataStart);
  EXPECT_EQ(DecodeEntryBytes(after.Table[0], ReadStoredBytes(after, 0)), NoiseBytes(12000, 13));
  EXPECT_EQ(DecodeEntryBytes(after.Table[1], ReadStoredBytes(after, 1)), NoiseBytes(500, 12));
  EXPECT_EQ(DecodeEntryBytes(after.Table[2], ReadStoredBytes(after, 2)), Text(5, 'w'));
}

TEST(AddedEntry, NameIsTheUpperCasedFileNameAndTypeFollowsTheExtension) {
  struct Case {
    const char* path;
    const char* name;
    int32_t type;
  } cases[] = {
      {"/home/me/readme.txt", "README.TXT", 31}, {"tex/Car.bmp", "CAR.BMP", 18}, {"x.Tga", "X.TGA", 20},
      {"m.mts", "M.MTS", 17},                   {"walk.anm", "WALK.ANM", 31},  {"photo.jpg", "PHOTO.JPG", 22},
      {"Photo.Jpeg", "PHOTO.JPEG", 22},          {"dir.d/noext", "NOEXT", 31},  {"x.jpeg.txt", "X.JPEG.TXT", 31},
      // Windows-1252 bytes, only a to z upper-cased
      {"café grün.tga", "CAF\xE9 GR\xFCN.TGA", 20}, {"€‰.bmp", "\x80\x89.BMP", 18},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AddedEntryName(c.path), c.name) << c.path;
    EXPECT_EQ(AddedEntryType(c.path), c.type) << c.path;
  }
}

TEST(AddedEntry, NameAnEntryCannotHoldIsRefusedNamingTheFile) {
  const std::string longest = std::string(232, 'a') + ".bmp";
  EXPECT_EQ(AddedEntryName(longest).size(), 236u);
  const std::pair<std::string, const char*> cases[] = {
      {"in/Жук.tga", "\"Жук.tga\" cannot be stored: an archive's names hold only characters of Windows-1252"},
      {"in/漢字.bmp", "\"漢字.bmp\" cannot be stored"},
      {"in/bad\xFF.bmp", "cannot be stored"},  // not UTF-8
      {"a" + longest, "takes 237 bytes, more than the 236"},
  };
  for (const auto& [path, expected] : cases) {
    try {
      AddedEntryName(path);
      ADD_FAILURE() << path;
    } catch (const EArchiveEditError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  }
}

TEST(EncodeEntryContent, CompressesAtLevelNine) {
  const std::vector<uint8_t> text = Text(10000, 't');
  const EncodedEntry encoded = EncodeEntryContent(text);
  EXPECT_EQ(encoded.Stored, testing::Deflate(text));
  EXPECT_EQ(encoded.UncompressedSize, 10000);
}

// A stream exactly as long as its file would read back as stored bytes: the file is stored instead.
TEST_F(ArchiveEditing, ContentAsLongAsItsStreamIsStoredAsIs) {
  const std::vector<uint8_t> content = testing::AsLongAsItsStream();
  EXPECT_EQ(EncodeEntryContent(content).Stored, content);
  Write(ThreeEntries());
  ReplaceEntry(Load(), 1, EncodeEntryContent(content));
  AppendEntry(Load(), "SAME.BMP", 18, EncodeEntryContent(content));

  TestArchive expected = ThreeEntries();
  expected.Entries[1] = Entry("B.MTS", content, 17, 4000456, /*stored=*/true);
  expected.Entries.push_back(Entry("SAME.BMP", content, 18, 0, /*stored=*/true));
  ExpectArchive(expected);
  const LoadedArchive after = Load();
  for (size_t index : {size_t{1}, size_t{3}})
    EXPECT_EQ(DecodeEntryBytes(after.Table[index], ReadStoredBytes(after, index)), content) << index;
}

using Edit = std::function<void(const LoadedArchive&)>;
struct NamedEdit {
  const char* name;
  Edit edit;
};
std::vector<NamedEdit> AllEdits() {
  return {{"replace", [](const LoadedArchive& a) { ReplaceEntry(a, 0, EncodeEntryContent(NoiseBytes(300000, 9))); }},
          {"append",
           [](const LoadedArchive& a) { AppendEntry(a, "N.BMP", 18, EncodeEntryContent(NoiseBytes(300000, 9))); }},
          {"remove", [](const LoadedArchive& a) { RemoveEntry(a, 0); }}};
}

// An archive big enough that its copy crosses the copy buffer and the lowered size limit.
TestArchive Large() {
  TestArchive a;
  a.Entries = {Entry("A.BMP", NoiseBytes(400000, 1), 18, 1), Entry("B.BMP", NoiseBytes(2500000, 2), 18, 2),
               Entry("C.BMP", NoiseBytes(100000, 3), 18, 3)};
  return a;
}

TEST_F(ArchiveEditing, WriteFailureOrFailedRenameLeavesTheOldArchiveAndNoTemporary) {
  for (const NamedEdit& e : AllEdits()) {
    SCOPED_TRACE(e.name);
    Write(Large());
    {
      testing::FileSizeLimit limit(1500000);
      try {
        e.edit(Load());
        ADD_FAILURE() << "a write past the size limit succeeded";
      } catch (const EInOutError& error) {
        EXPECT_EQ(error.Kind(), FileErrorKind::DiskFull);
      }
    }
    ExpectArchive(Large());

    {
      testing::FailingRename failing(EXDEV);
      EXPECT_THROW(e.edit(Load()), EInOutError);
    }
    ExpectArchive(Large());
  }
}

TEST_F(ArchiveEditing, ReadOnlyArchiveIsRefusedBeforeAnythingIsWritten) {
  testing::OpenToEveryone(dir_.Path());  // the folder stays writable: only the file is protected
  for (const NamedEdit& e : AllEdits()) {
    SCOPED_TRACE(e.name);
    Write(ThreeEntries());
    ::chmod(path_.c_str(), 0444);
    const int result = testing::RunUnprivileged([&] {
      try {
        e.edit(Load());
      } catch (const EInOutError& error) {
        return error.Kind() == FileErrorKind::AccessDenied ? 0 : 2;
      }
      return 1;
    });
    EXPECT_EQ(result, 0) << "0: refused as access denied; 1: rewritten; 2: another error";
    ExpectArchive(ThreeEntries());
    ::chmod(path_.c_str(), 0644);
  }
}

TEST_F(ArchiveEditing, EntriesNotBackToBackAreRefusedWithTheReason) {
  struct Case {
    const char* what;
    std::function<void(TestArchive&)> damage;
    size_t index;
    const char* reason;
  } cases[] = {
      {"gap before a moved entry", [](TestArchive& a) { a.Entries[2].Offset = 10; }, 1,
       "entry #2 \"C.TGA\" starts at 10, not at"},
      {"earlier entry reaching into the edited one",
       [](TestArchive& a) { a.Entries[0].CompressedSize = 999999; }, 1, "entry #0 \"A.BMP\" reaches past the start"},
      {"edited entry past the end", [](TestArchive& a) { a.Entries[2].CompressedSize = 999999; }, 2,
       "entry #2 \"C.TGA\" runs past the end of the file"},
      {"negative size", [](TestArchive& a) { a.Entries[1].CompressedSize = -4; }, 0, "negative offset or size"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestArchive damaged = ThreeEntries();
    c.damage(damaged);
    Write(damaged);
    const Edit replace = [&](const LoadedArchive& a) { ReplaceEntry(a, c.index, EncodeEntryContent(Text(9, 'n'))); };
    const Edit remove = [&](const LoadedArchive& a) { RemoveEntry(a, c.index); };
    for (const Edit& edit : {replace, remove}) {
      try {
        edit(Load());
        ADD_FAILURE() << "an archive whose entries are not back to back was rewritten";
      } catch (const EArchiveEditError& error) {
        EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
      }
      ExpectArchive(damaged);
    }
  }
}

// An archive whose data area reaches `dataLength` bytes: a small entry, then one stored entry that
// fills the rest, held as a hole in a sparse file so that the test writes next to nothing.
void WriteSparseArchive(const std::string& path, int64_t dataLength) {
  TestArchive a;
  a.Entries = {Entry("SMALL.BMP", Text(3, 's'), 18, 1, /*stored=*/true), Entry("HOLE.BMP", {}, 18, 2, true)};
  const int32_t holeSize = static_cast<int32_t>(dataLength - 3);
  a.Entries[1].CompressedSize = holeSize;
  a.Entries[1].UncompressedSize = holeSize;
  a.WriteTo(path);
  std::filesystem::resize_file(path, static_cast<uintmax_t>(DataStartFor(2) + dataLength));
}

// The table records offsets and sizes as 32-bit signed numbers: an edit that would take the data
// past 2 GiB is refused before anything is written, rather than wrapping into negative offsets.
TEST_F(ArchiveEditing, EditsThatWouldPassTwoGiBOfDataAreRefused) {
  const std::vector<uint8_t> content = NoiseBytes(1000, 21);
  const int64_t streamSize = static_cast<int64_t>(testing::Deflate(content).size());
  struct Case {
    const char* what;
    int64_t dataLength;  // before the edit; the edit brings it to 2 GiB exactly
    Edit edit;
  } cases[] = {
      {"append", (int64_t{1} << 31) - streamSize,
       [&](const LoadedArchive& a) { AppendEntry(a, "NEW.BMP", 18, EncodeEntryContent(content)); }},
      {"replace", (int64_t{1} << 31) - streamSize + 3,
       [&](const LoadedArchive& a) { ReplaceEntry(a, 0, EncodeEntryContent(content)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteSparseArchive(path_, c.dataLength);
    const LoadedArchive before = Load();
    EXPECT_THROW(c.edit(before), EArchiveEditError);
    const LoadedArchive after = Load();
    EXPECT_EQ(after.FileLength, before.FileLength);
    EXPECT_EQ(after.Table[1].CompressedSize, before.Table[1].CompressedSize);
    EXPECT_EQ(after.Table.size(), 2u);
    EXPECT_EQ(NamesIn(dir_.Path()), (std::set<std::string>{"TRACK.MAS"}));
  }
}

TEST_F(ArchiveEditing, ArchiveChangedSinceLoadingIsRefused) {
  Write(ThreeEntries());
  const LoadedArchive loaded = Load();
  TestArchive other = ThreeEntries();
  other.Entries.pop_back();
  Write(other);
  EXPECT_THROW(RemoveEntry(loaded, 0), EArchiveEditError);
  ExpectArchive(other);

  // The same length with another table is a change too.
  TestArchive renamed = ThreeEntries();
  renamed.Entries[1].Name = "D.MTS";
  Write(ThreeEntries());
  const LoadedArchive before = Load();
  Write(renamed);
  EXPECT_THROW(AppendEntry(before, "E.BMP", 18, EncodeEntryContent(Text(5, 'e'))), EArchiveEditError);
  ExpectArchive(renamed);
}

}  // namespace
}  // namespace kestrel
