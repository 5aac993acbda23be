#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "archive/archive_reader.h"
#include "archive/byte_reader.h"
#include "archive/file_io.h"
#include "archive/old_archive_conversion.h"
#include "archive/testing/file_size_limit.h"
#include "archive/testing/mas_builder.h"
#include "archive/testing/unprivileged.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using testing::BytesOf;
using testing::Deflate;
using testing::NamesIn;
using testing::NoiseBytes;
using testing::OldImage;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::TestArchive;
using testing::TestEntry;

// The bitmap a viewer expects, written out field by field: rows bottom first.
std::vector<uint8_t> ExpectedBitmap(int32_t width, int32_t height, const std::vector<uint8_t>& pixels) {
  const size_t row = static_cast<size_t>((width * 3 + 3) / 4 * 4);
  ByteWriter w;
  w.Raw("BM", 2);
  w.U32(static_cast<uint32_t>(54 + row * height));
  w.U32(0);
  w.U32(54);
  w.U32(40);
  w.I32(width);
  w.I32(height);
  w.U16(1);
  w.U16(24);
  w.U32(0);
  w.U32(static_cast<uint32_t>(row * height));
  for (int i = 0; i < 4; ++i) w.U32(0);
  for (int32_t r = height - 1; r >= 0; --r) w.Raw(pixels.data() + r * row, row);
  return w.Bytes();
}

struct ConversionRun {
  ConversionResult result;
  std::vector<std::string> messages;
  std::vector<size_t> positions;
  std::set<size_t> maximums;

  bool Said(const std::string& text) const {
    for (const std::string& m : messages)
      if (m.find(text) != std::string::npos) return true;
    return false;
  }
};

ConversionRun Convert(const std::string& source, const std::string& destination, const std::string& scratchParent = "") {
  ConversionRun run;
  ConversionHooks hooks;
  hooks.Report = [&](const std::string& m) { run.messages.push_back(m); };
  hooks.Progress = [&](size_t position, size_t maximum) {
    run.positions.push_back(position);
    run.maximums.insert(maximum);
  };
  run.result = ConvertOldArchive({source, destination, scratchParent}, hooks);
  return run;
}

// name -> (type, decoded bytes) of every entry of a written archive.
std::map<std::string, std::pair<int32_t, std::vector<uint8_t>>> Contents(const std::string& path) {
  const LoadedArchive a = ReadArchiveTable(path);
  std::map<std::string, std::pair<int32_t, std::vector<uint8_t>>> out;
  for (size_t i = 0; i < a.Table.size(); ++i)
    out[a.Table[i].Name()] = {a.Table[i].FileType, DecodeEntryBytes(a.Table[i], ReadStoredBytes(a, i))};
  return out;
}

const std::vector<uint8_t> kThreeByTwo = {
    1, 2, 3, 4, 5, 6, 7, 8, 9, 0xE1, 0xE2, 0xE3,  // top row: three pixels and three padding bytes
    10, 11, 12, 13, 14, 15, 16, 17, 18, 0xF1, 0xF2, 0xF3,
};

TEST(ConvertOldArchive, CopiesEveryEntryIntoTheNewLayout) {
  TempDir dir;
  const std::vector<uint8_t> mesh = NoiseBytes(500, 1);
  const std::vector<uint8_t> animation = BytesOf(std::string(300, 'a'));
  const std::vector<uint8_t> grass = NoiseBytes(16 * 4, 2);  // 5 by 4: rows of 15 bytes padded to 16
  TestArchive old;
  old.Magic = "CUBEMAS4.01";
  old.Entries = {
      TestEntry("CAR.MTS", mesh, 1, true),
      TestEntry("car.anm", animation, 3),
      OldImage("SKY.BMP", 3, 2, kThreeByTwo, true),
      OldImage("grass.bmp", 5, 4, grass, false),
  };
  old.WriteTo(dir / "TRACK.MAS");

  const ConversionRun run = Convert(dir / "TRACK.MAS", dir / "TRACK_2002.MAS");
  EXPECT_TRUE(run.messages.empty()) << run.messages.front();
  EXPECT_TRUE(run.result.Complete());
  EXPECT_EQ(run.result.EntriesPacked, 4u);
  EXPECT_EQ(run.positions, (std::vector<size_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(run.maximums, (std::set<size_t>{8}));
  EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"TRACK.MAS", "TRACK_2002.MAS"}));

  const LoadedArchive converted = ReadArchiveTable(dir / "TRACK_2002.MAS");
  EXPECT_EQ(converted.Header.MagicText(), "CUBEMAS4.10");
  std::vector<std::string> order;
  for (const TMAS_FileEntry& e : converted.Table) order.push_back(e.Name());
  EXPECT_EQ(order, (std::vector<std::string>{"GRASS.BMP", "SKY.BMP", "CAR.MTS", "CAR.ANM"}));
  const auto contents = Contents(dir / "TRACK_2002.MAS");
  EXPECT_EQ(contents.at("CAR.MTS"), std::make_pair(kMasTypeMTS, mesh));
  EXPECT_EQ(contents.at("CAR.ANM"), std::make_pair(kMasTypeANM, animation));
  EXPECT_EQ(contents.at("SKY.BMP"), std::make_pair(kMasTypeBMP, ExpectedBitmap(3, 2, kThreeByTwo)));
  EXPECT_EQ(contents.at("GRASS.BMP"), std::make_pair(kMasTypeBMP, ExpectedBitmap(5, 4, grass)));
  for (const TMAS_FileEntry& e : converted.Table) EXPECT_FALSE(e.IsStored()) << e.Name();
}

TEST(ConvertImageEntry, ThreeByTwoImageBecomesABottomUpBitmap) {
  TempDir dir;
  TestArchive old;
  old.Magic = "CUBEMAS4.01";
  old.Entries = {OldImage("sky.bmp", 3, 2, kThreeByTwo, false)};
  old.WriteTo(dir / "OLD.MAS");
  fs::create_directory(dir / "out");
  ASSERT_TRUE(ConvertImageEntry(ReadArchiveTable(dir / "OLD.MAS"), 0, "sky.bmp", dir / "out", {}));

  const std::vector<uint8_t> expected = {
      'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,                  // file header: 54 + 24 bytes
      40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,    // 3 by 2, 24 bits, uncompressed
      24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,     // 24 bytes of rows
      10, 11, 12, 13, 14, 15, 16, 17, 18, 0xF1, 0xF2, 0xF3,            // bottom row first
      1, 2, 3, 4, 5, 6, 7, 8, 9, 0xE1, 0xE2, 0xE3,
  };
  EXPECT_EQ(ReadFileBytes(dir / "out/SKY.BMP"), expected);
}

TEST(ConvertImageEntry, CommonToolsOpenTheBitmap) {
  if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "Python's imaging library is not installed";
  TempDir dir;
  std::vector<uint8_t> pixels(8 * 3, 0);
  for (size_t i = 0; i < 4; ++i) pixels[i * 3 + 2] = 255;  // top row red (blue, green, red order)
  TestArchive old;
  old.Magic = "CUBEMAS4.01";
  old.Entries = {OldImage("RED.BMP", 4, 2, pixels, false)};
  old.WriteTo(dir / "OLD.MAS");
  ASSERT_TRUE(ConvertImageEntry(ReadArchiveTable(dir / "OLD.MAS"), 0, "RED.BMP", dir.Path(), {}));

  const std::string command = "/usr/bin/python3 -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                              "print(im.format, im.size, im.mode, im.getpixel((3, 0)), im.getpixel((0, 1)))\" " +
                              dir / "RED.BMP";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[256] = {};
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  pclose(pipe);
  ASSERT_TRUE(read);
  EXPECT_EQ(std::string(line), "BMP (4, 2) RGB (255, 0, 0) (0, 0, 0)\n");
}

TEST(ConvertOldArchive, SkipsEntriesItCannotReadWhole) {
  const std::vector<uint8_t> short3x2(kThreeByTwo.begin(), kThreeByTwo.end() - 4);
  TestEntry pastTheEnd("FAR.MTS", NoiseBytes(40, 3), 1);
  pastTheEnd.Offset = 1 << 20;
  TestEntry damagedMesh("BROKEN.MTS", {}, 1);
  damagedMesh.RawBytes = NoiseBytes(60, 4);
  damagedMesh.UncompressedSize = 200;
  TestEntry damagedImage = OldImage("BROKEN.BMP", 3, 2, kThreeByTwo, false);
  for (size_t i = 16; i < damagedImage.RawBytes->size(); ++i) (*damagedImage.RawBytes)[i] ^= 0x5A;
  TestEntry headless("HEADLESS.BMP", {}, 2, true);
  headless.RawBytes = NoiseBytes(10, 5);
  // About 40 KB that inflate to 40 MiB: the pack pass would hold them whole.
  TestEntry meshBomb("BOMB.MTS", {}, 1);
  meshBomb.RawBytes = testing::ZeroBomb(40);
  meshBomb.UncompressedSize = 100;
  TestEntry imageBomb = OldImage("BOMB.BMP", 3, 2, kThreeByTwo, false);
  imageBomb.RawBytes->resize(16);
  const std::vector<uint8_t> bomb = testing::ZeroBomb(40);
  imageBomb.RawBytes->insert(imageBomb.RawBytes->end(), bomb.begin(), bomb.end());

  struct Case {
    const char* what;
    TestEntry entry;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"short stored pixels", OldImage("SHORT.BMP", 3, 2, short3x2, true), "pixel data holds 20 bytes"},
      {"short inflated pixels", OldImage("SHORT.BMP", 3, 2, short3x2, false), "pixel data holds 20 bytes"},
      {"zero width", OldImage("FLAT.BMP", 0, 2, kThreeByTwo, true), "a size of 0 by 2 pixels"},
      {"negative height", OldImage("FLAT.BMP", 3, -2, kThreeByTwo, true), "a size of 3 by -2 pixels"},
      {"huge width", OldImage("WIDE.BMP", 1 << 24, 1, kThreeByTwo, true), "is not that of a texture"},
      {"no image header", headless, "shorter than its 16-byte image header"},
      {"damaged pixel stream", damagedImage, "error"},
      {"damaged mesh stream", damagedMesh, "error"},
      {"entry past the end", pastTheEnd, "Read beyond end of file"},
      {"name leaving the directory", TestEntry("../EVIL.MTS", NoiseBytes(9, 6), 1), "EVIL.MTS"},
      {"mesh stream inflating far past its size", meshBomb, "far beyond the 100 bytes its table records"},
      {"pixel stream inflating far past its rows", imageBomb, "the data inflates to more than"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    TestArchive old;
    old.Magic = "CUBEMAS4.01";
    old.Entries = {TestEntry("GOOD.MTS", NoiseBytes(30, 7), 1), c.entry};
    fs::create_directory(dir / "old");
    old.WriteTo(dir / "old/OLD.MAS");

    const ConversionRun run = Convert(dir / "old/OLD.MAS", dir / "old/NEW.MAS");
    EXPECT_TRUE(run.Said(c.expected));
    EXPECT_EQ(run.result.EntriesPacked, 1u);
    EXPECT_FALSE(run.result.Complete());
    EXPECT_FALSE(run.result.ScratchDirectoryLeft);  // nothing the conversion could not read is kept
    EXPECT_EQ(Contents(dir / "old/NEW.MAS").size(), 1u);
    EXPECT_EQ(NamesIn(dir / "old"), (std::set<std::string>{"OLD.MAS", "NEW.MAS"}));
    EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"old"}));
  }
}

TEST(ConvertOldArchive, KeepsWhatTheNewArchiveWillNotTakeInItsOwnScratchDirectory) {
  TempDir dir;
  fs::create_directory(dir / "temp");
  testing::WriteFileBytes(dir / "temp/STALE.BMP", BytesOf("not ours"));
  TestArchive old;
  old.Magic = "CUBEMAS4.01";
  old.Entries = {TestEntry("README.TXT", BytesOf("notes"), 0), TestEntry("GOOD.MTS", NoiseBytes(30, 7), 1)};
  old.WriteTo(dir / "OLD.MAS");

  const ConversionRun run = Convert(dir / "OLD.MAS", dir / "NEW.MAS");
  EXPECT_EQ(run.result.EntriesPacked, 1u);
  EXPECT_TRUE(run.result.ScratchDirectoryLeft);
  EXPECT_TRUE(run.Said(run.result.ScratchDirectory));
  EXPECT_EQ(run.positions.back(), 3u);  // two entries unpacked, one packed
  EXPECT_EQ(NamesIn(run.result.ScratchDirectory), (std::set<std::string>{"README.TXT"}));
  EXPECT_EQ(ReadFileBytes(dir / "temp/STALE.BMP"), BytesOf("not ours"));
  EXPECT_EQ(Contents(dir / "NEW.MAS").count("STALE.BMP"), 0u);
  EXPECT_EQ(DirectoryOf(run.result.ScratchDirectory), dir.Path());
}

TEST(ConvertOldArchive, EmptySourceWritesNothing) {
  TempDir dir;
  TestArchive old;
  old.Magic = "CUBEMAS4.01";
  old.WriteTo(dir / "OLD.MAS");
  const ConversionRun run = Convert(dir / "OLD.MAS", dir / "NEW.MAS");
  EXPECT_TRUE(run.messages.empty());
  EXPECT_TRUE(run.positions.empty());
  EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"OLD.MAS"}));
}

TEST(ConvertOldArchive, ReportsFileErrors) {
  struct Case {
    const char* what;
    std::string source, destination, scratchParent;
    const char* expected;
    bool scratchLeft;
  };
  TempDir dir;
  TestArchive old;
  old.Magic = "CUBEMAS4.01";
  old.Entries = {TestEntry("GOOD.MTS", NoiseBytes(30, 7), 1)};
  old.WriteTo(dir / "OLD.MAS");
  const std::vector<uint8_t> source = ReadFileBytes(dir / "OLD.MAS");
  const std::vector<Case> cases = {
      {"missing source", dir / "NONE.MAS", dir / "NEW.MAS", "", "File not found", false},
      {"scratch cannot be made", dir / "OLD.MAS", dir / "NEW.MAS", dir / "nowhere", "Directory does not exist.", false},
      {"destination cannot be created", dir / "OLD.MAS", dir / "nowhere/NEW.MAS", "", "nowhere/NEW.MAS", true},
      {"destination is the source", dir / "OLD.MAS", dir / "./OLD.MAS", "", "cannot take the place", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ConversionRun run = Convert(c.source, c.destination, c.scratchParent);
    EXPECT_TRUE(run.Said(c.expected)) << (run.messages.empty() ? "" : run.messages.front());
    // One cause, one message; a scratch directory kept is a notice of its own.
    EXPECT_EQ(run.messages.size(), c.scratchLeft ? 2u : 1u);
    EXPECT_EQ(run.result.EntriesPacked, 0u);
    EXPECT_EQ(run.result.ScratchDirectoryLeft, c.scratchLeft);
    if (c.scratchLeft) {
      EXPECT_EQ(NamesIn(run.result.ScratchDirectory), (std::set<std::string>{"GOOD.MTS"}));
      fs::remove_all(run.result.ScratchDirectory);
    }
    EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"OLD.MAS"}));
    EXPECT_EQ(ReadFileBytes(dir / "OLD.MAS"), source);
  }
}

// The new archive replaces a file at the destination only once it is whole.
TEST(ConvertOldArchive, DiskFullWhilePackingKeepsTheFileAtTheDestination) {
  TempDir dir;
  TestArchive old;
  old.Magic = "CUBEMAS4.01";
  // Noise does not compress: each scratch file fits under the limit below, the archive does not.
  old.Entries = {TestEntry("A.MTS", NoiseBytes(3000, 1), 1), TestEntry("B.MTS", NoiseBytes(3000, 2), 1),
                 TestEntry("C.MTS", NoiseBytes(3000, 3), 1)};
  old.WriteTo(dir / "OLD.MAS");
  testing::WriteFileBytes(dir / "NEW.MAS", BytesOf("an earlier conversion"));

  ConversionRun run;
  {
    testing::FileSizeLimit limit(5000);
    run = Convert(dir / "OLD.MAS", dir / "NEW.MAS");
  }

  EXPECT_TRUE(run.Said("Disk full"));
  EXPECT_TRUE(run.Said("\"" + dir / "NEW.MAS" + "\" was not written"));
  EXPECT_EQ(run.result.EntriesPacked, 0u);
  EXPECT_TRUE(run.result.ScratchDirectoryLeft);
  EXPECT_EQ(NamesIn(run.result.ScratchDirectory), (std::set<std::string>{"A.MTS", "B.MTS", "C.MTS"}));
  fs::remove_all(run.result.ScratchDirectory);
  EXPECT_EQ(ReadFileBytes(dir / "NEW.MAS"), BytesOf("an earlier conversion"));
  EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"OLD.MAS", "NEW.MAS"}));
}

// A source on a disc or in a read-only install: the scratch directory goes beside the destination.
TEST(ConvertOldArchive, SourceFolderThatCannotBeWrittenUsesTheDestinationsFolder) {
  TempDir dir;
  fs::permissions(dir.Path(), fs::perms::all);
  fs::create_directory(dir / "disc");
  fs::create_directory(dir / "out");
  fs::permissions(dir / "out", fs::perms::all);
  TestArchive old;
  old.Magic = "CUBEMAS4.01";
  old.Entries = {TestEntry("GOOD.MTS", NoiseBytes(30, 7), 1)};
  old.WriteTo(dir / "disc/OLD.MAS");
  fs::permissions(dir / "disc", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
  ConversionRun run;
  {
    testing::UnprivilegedScope user;
    run = Convert(dir / "disc/OLD.MAS", dir / "out/NEW.MAS");
  }
  EXPECT_TRUE(run.messages.empty()) << run.messages.front();
  EXPECT_TRUE(run.result.ArchiveWritten);
  EXPECT_EQ(run.result.EntriesPacked, 1u);
  EXPECT_EQ(DirectoryOf(run.result.ScratchDirectory), dir / "out");
  EXPECT_EQ(NamesIn(dir / "out"), (std::set<std::string>{"NEW.MAS"}));
}

// Names are Windows-1252 in both layouts; on their way through the scratch directory they become
// UTF-8 file names and come back as the same bytes, the five bytes Windows-1252 leaves open included.
TEST(ConvertOldArchive, NamesKeepTheirBytes) {
  TempDir dir;
  TestArchive old;
  old.Magic = "CUBEMAS4.01";
  old.Entries = {TestEntry("CAF\xC9.MTS", NoiseBytes(30, 7), 1), TestEntry("\x81\x9D\x80.ANM", NoiseBytes(20, 8), 3)};
  old.WriteTo(dir / "OLD.MAS");
  const ConversionRun run = Convert(dir / "OLD.MAS", dir / "NEW.MAS");
  EXPECT_TRUE(run.messages.empty()) << run.messages.front();
  const LoadedArchive converted = ReadArchiveTable(dir / "NEW.MAS");
  ASSERT_EQ(converted.Table.size(), 2u);
  EXPECT_EQ(converted.Table[0].Name(), "CAF\xC9.MTS");
  EXPECT_EQ(converted.Table[1].Name(), "\x81\x9D\x80.ANM");
}

TEST(OldArchiveSource, OnlyTheExactOldMagicIsASource) {
  TempDir dir;
  const std::vector<std::pair<std::string, bool>> cases = {
      {std::string("CUBEMAS4.01\0\0\0\0\0", 16), true},
      {std::string("CUBEMAS4.01\0junk", 16), true},
      {std::string("CUBEMAS4.10\0\0\0\0\0", 16), false},
      {std::string("CUBEMAS4.01x\0\0\0\0", 16), false},
      {std::string("CUBEMAS4.0\0\0\0\0\0\0", 16), false},
      {"CUBEMAS4.01", false},  // shorter than the 16 magic bytes
  };
  for (const auto& [bytes, valid] : cases) {
    // A whole header follows the magic, except in the short case.
    testing::WriteFileBytes(dir / "X.MAS", BytesOf(bytes.size() == 16 ? bytes + std::string(8, '\0') : bytes));
    EXPECT_EQ(IsOldArchive(dir / "X.MAS"), valid) << bytes;
  }
  EXPECT_FALSE(IsOldArchive(dir / "MISSING.MAS"));
  EXPECT_FALSE(IsOldArchive(dir.Path()));
}

TEST(OldArchiveSource, SuggestedDestination) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/games/f1/TRACK.MAS", "/games/f1/TRACK_2002.MAS"},
      {"track.mas", "track_2002.mas"},
      {"/a.b/TRACK", "/a.b/TRACK_2002"},
      {"/x/A.MAS.MAS", "/x/A_2002.MAS"},
  };
  for (const auto& [source, suggested] : cases) EXPECT_EQ(SuggestDestination(source), suggested);
}

}  // namespace
}  // namespace kestrel
