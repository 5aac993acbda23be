#include "archive/entry_name_encoding.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(EntryNameEncoding, EveryByteReadsAsTextThatConvertsBackToIt) {
  for (int b = 1; b < 256; ++b) {
    const std::string name(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToEntryName(EntryNameToUtf8(name)), name) << b;
  }
  const std::pair<std::string, std::string> known[] = {
      {"\x80", "€"},     {"\x81", "\u0081"}, {"\x8D", "\u008D"}, {"\x8F", "\u008F"}, {"\x90", "\u0090"},
      {"\x9D", "\u009D"}, {"\x9F", "Ÿ"},     {"\x8A", "Š"},      {"\xA0", "\u00A0"}, {"\xE9", "é"},
      {"\xFF", "ÿ"},      {"CAF\xC9 GR\xDCN.TGA", "CAFÉ GRÜN.TGA"},
  };
  for (const auto& [bytes, text] : known) {
    EXPECT_EQ(EntryNameToUtf8(bytes), text);
    EXPECT_EQ(Utf8ToEntryName(text), bytes) << text;
  }
}

TEST(EntryNameEncoding, TextWindows1252CannotHoldHasNoName) {
  const std::string cases[] = {
      "Жук",          "漢字",          "\U0001F600",    // letters and signs of other scripts
      "\u0080",       std::string(1, '\0'),               // a C1 control 0x80 does not stand for; a zero
      "\xC3",         "\xA9",          "\xC0\xAF",      // cut short, stray continuation, overlong
      "\xED\xA0\x80", "\xF4\x90\x80\x80",                 // a surrogate, past U+10FFFF
  };
  for (const std::string& text : cases) EXPECT_EQ(Utf8ToEntryName("A" + text + ".BMP"), std::nullopt) << text;
}

TEST(EntryNameEncoding, FileNamesAndPrintableNames) {
  EXPECT_EQ(EntryFileName("caf\xE9.tga"), "CAFé.TGA");  // only a to z are upper-cased
  // Controls, the C1 ones among them, are shown as their bytes rather than sent to a terminal.
  EXPECT_EQ(PrintableEntryName("A\x81" "B\x01\x7F\xE9"), "A\\x81B\\x01\\x7Fé");
}

}  // namespace
}  // namespace kestrel
