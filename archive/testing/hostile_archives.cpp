#include "archive/testing/hostile_archives.h"

#include <optional>

namespace kestrel::testing {
namespace {

TestEntry Entry(const std::string& name, int32_t type = 17) { return TestEntry(name, BytesOf("data of " + name), type); }

TestArchive With(std::vector<TestEntry> entries) {
  TestArchive a;
  a.Entries = std::move(entries);
  return a;
}

TestEntry Lying(TestEntry e, std::optional<int32_t> offset, std::optional<int32_t> compressed,
                std::optional<int32_t> uncompressed) {
  e.Offset = offset;
  e.CompressedSize = compressed;
  e.UncompressedSize = uncompressed;
  return e;
}

}  // namespace

std::vector<HostileCase> HostileCases() {
  std::vector<HostileCase> cases;
  for (const char* name : {"../x", "/etc/x", "a/b", "C:\\x", "..", "."})
    cases.push_back({std::string("name ") + name, With({Entry(name), Entry("AFTER.MTS")}), kNotPlainName});
  cases.push_back({"236-byte name without terminator", With({Entry(std::string(232, 'N') + ".MTS")}), ""});
  cases.push_back({"control characters in the name", With({Entry("A\x1b[2J\x07\tB\n.MTS")}), ""});
  cases.push_back({"bytes above 127 in the name", With({Entry("\xC9T\xE9\xFF.MTS")}), ""});

  TestArchive count = With({Entry("ONE.MTS")});
  count.FileCount = 0x7FFFFFFF;
  cases.push_back({"count of 0x7FFFFFFF", count, kReadBeyondEnd});

  cases.push_back({"negative offset", With({Lying(Entry("NEG.MTS"), -1000, {}, {})}), kReadBeyondEnd});
  cases.push_back({"huge offset", With({Lying(Entry("FAR.MTS"), 0x7FFFFF00, {}, {})}), kReadBeyondEnd});
  cases.push_back({"negative compressed size", With({Lying(Entry("NEG.MTS"), {}, -5, {})}), kReadBeyondEnd});
  cases.push_back({"huge compressed size", With({Lying(Entry("BIG.MTS"), {}, 0x7FFFFFFF, {})}), kReadBeyondEnd});
  cases.push_back({"negative uncompressed size", With({Lying(Entry("NEG.MTS"), {}, {}, -1)}), ""});
  cases.push_back({"4 GiB uncompressed size", With({Lying(Entry("HUGE.MTS"), {}, {}, int32_t(0xFFFFFFFF))}), ""});
  cases.push_back({"overlapping entries", With({Entry("A.MTS"), Lying(Entry("B.MTS"), 0, {}, {})}), ""});
  // The check and the edits name the entry that is out of place in what they report.
  cases.push_back({"control characters in the name of an overlapping entry",
                   With({Entry("A.MTS"), Lying(Entry("\x1b[2J\x07B.MTS"), 0, {}, {})}), ""});

  TestEntry bomb("BOMB.MTS", {}, 17);
  bomb.RawBytes = ZeroBomb(1024);  // about 1 MB that inflates to 1 GiB
  bomb.UncompressedSize = 1000;
  // Extraction writes it out piece by piece; only readers that hold an entry in memory refuse it.
  cases.push_back({"stream inflating to 1 GiB", With({bomb, Entry("AFTER.MTS")}), ""});
  return cases;
}


}  // namespace kestrel::testing
