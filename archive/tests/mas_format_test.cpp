#include "archive/mas_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/name_collation.h"

namespace kestrel {
namespace {

TEST(MasFormat, TypeNames) {
  EXPECT_STREQ(MASTypeName(2), "BMP");
  EXPECT_STREQ(MASTypeName(18), "BMP");
  EXPECT_STREQ(MASTypeName(22), "JPG");
  EXPECT_STREQ(MASTypeName(17), "MTS");
  EXPECT_STREQ(MASTypeName(31), "ANM");
  EXPECT_STREQ(MASTypeName(1), "Uncompressed MTS");
  EXPECT_STREQ(MASTypeName(40), "Unknown");
  EXPECT_STREQ(MASTypeName(-1), "Unknown");
}

TEST(MasFormat, EntryRecordRoundTripsFieldByField) {
  TMAS_FileEntry e;
  e.FileType = 17;
  e.Offset = 0x01020304;
  e.UncompressedSize = -5;
  e.CompressedSize = 77;
  e.Unknown = 4000123;
  e.SetName("car.mts");
  uint8_t bytes[kMasEntrySize];
  EncodeEntry(e, bytes);
  EXPECT_EQ(bytes[4], 0x04);  // little-endian
  EXPECT_EQ(bytes[7], 0x01);
  EXPECT_EQ(std::memcmp(bytes + 20, "CAR.MTS\0", 8), 0);
  const TMAS_FileEntry back = DecodeEntry(bytes);
  EXPECT_EQ(back.Offset, e.Offset);
  EXPECT_EQ(back.UncompressedSize, -5);
  EXPECT_EQ(back.Name(), "CAR.MTS");
}

TEST(MasFormat, FullLengthNameStopsAtItsField) {
  // Two records back to back: the first name fills its field and has no terminator.
  std::vector<uint8_t> records(2 * kMasEntrySize, 'Q');
  std::fill(records.begin() + 20, records.begin() + 256, 'A');
  EXPECT_EQ(DecodeEntry(records.data()).Name(), std::string(236, 'A'));

  TMAS_FileEntry e;
  e.SetName(std::string(300, 'b') + "\xe9");
  EXPECT_EQ(e.Name(), std::string(236, 'B'));  // cut to the field, only a-z upper-cased
  e.SetName("\xe9t\xe9.bmp");
  EXPECT_EQ(e.Name(), "\xe9T\xe9.BMP");
}

TEST(MasFormat, PrintableNameEscapesControlCharactersOnly) {
  EXPECT_EQ(PrintableName("A\x1b[2J\x07\tB\n\x7f.MTS"), "A\\x1B[2J\\x07\\x09B\\x0A\\x7F.MTS");
  EXPECT_EQ(PrintableName("\xC9T\xE9 C:\\x.BMP"), "\xC9T\xE9 C:\\x.BMP");
}

TEST(MasFormat, MagicChecks) {
  auto header = [](const char* magic16, size_t n) {
    uint8_t bytes[kMasHeaderSize] = {};
    std::memcpy(bytes, magic16, n);
    return DecodeHeader(bytes);
  };
  EXPECT_TRUE(header("CUBEMAS4.10", 11).HasCurrentMagic());
  EXPECT_TRUE(header("CUBEMAS4.10junk!", 16).HasCurrentMagic());  // bytes 11 to 15 not examined
  EXPECT_FALSE(header("CUBEMAS4.01", 11).HasCurrentMagic());
  EXPECT_TRUE(header("CUBEMAS4.01", 11).HasOldMagic());
  EXPECT_FALSE(header("CUBEMAS4.01x", 12).HasOldMagic());  // the old test wants the text exactly
  EXPECT_FALSE(header("cubemas4.10", 11).HasCurrentMagic());
}

TEST(NameCollation, OrdersLikeTheGamesToolsDid) {
  // Each list is in the expected order.
  const std::vector<std::vector<std::string>> orders = {
      {"A.BMP", "b.bmp", "C.BMP"},
      {"A.BMP", "A1.BMP", "AB.BMP"},  // '.' before digits before letters, as the upper-cased bytes
      {"-Y.BMP", "_X.BMP", "1.BMP", "Z.BMP"},  // punctuation before digits and letters
      {"Z.BMP", "\xe9.BMP"},
      {"SAME.BMP", "same.bmp"},  // equal but for case: a fixed order all the same
  };
  for (const auto& order : orders) {
    std::vector<std::string> shuffled(order.rbegin(), order.rend());
    std::sort(shuffled.begin(), shuffled.end(), NameLessIgnoreCase{});
    EXPECT_EQ(shuffled, order);
  }
  EXPECT_EQ(CompareNamesIgnoreCase("abc.tga", "ABC.TGA") > 0, true);
}

}  // namespace
}  // namespace kestrel
