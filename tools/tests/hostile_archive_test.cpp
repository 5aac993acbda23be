// Archives made to hurt: every console program that reads archives answers each with a clear
// message, writes nothing outside the place it was asked to write, and keeps its memory to a small
// multiple of what it writes, however large the sizes and counts the table claims.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/mas_format.h"
#include "archive/testing/hostile_archives.h"
#include "archive/testing/mas_builder.h"
#include "archive/testing/program_runner.h"

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;

// Every file and folder under `root`, as paths relative to it.
std::vector<std::string> Contents(const std::string& root) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    out.push_back(it->path().lexically_relative(root).string());
  return out;
}

// What a program may hold at once beyond the bytes it writes: the table, one entry's stored bytes
// and buffers of a few MiB (AddressSanitizer's bookkeeping included).
constexpr long kMemoryAllowanceKiB = 160 * 1024;

void ExpectOnlyUnder(const std::string& root, const std::vector<std::string>& allowed, const std::string& what) {
  for (const std::string& path : Contents(root)) {
    bool ok = false;
    for (const std::string& a : allowed) ok = ok || path == a || path.rfind(a + "/", 0) == 0;
    EXPECT_TRUE(ok) << what << " wrote " << path;
  }
  for (const char* outside : {"/etc/x", "/ETC/X", "/x", "/X"}) EXPECT_FALSE(fs::exists(outside)) << what;
}

// A stored name must never reach a terminal as the escape sequence or line break it holds.
void ExpectNoControlCharacters(const std::string& output) {
  for (const char c : output) {
    if (c == '\n' || c == '\r') continue;
    ASSERT_TRUE(static_cast<unsigned char>(c) >= 32 && c != 127)
        << "control character " << int(c) << " printed in:\n" << output;
  }
}

TEST(HostileArchives, SpillwayListsAndExtractsInsideTheTargetOnly) {
  for (const HostileCase& c : HostileCases()) {
    SCOPED_TRACE(c.name);
    TempDir root;
    c.archive.WriteTo(root / "H.MAS");
    const ProgramRun list = RunProgram(SPILLWAY, {"H.MAS", "/L"}, {"", root.Path(), {}});
    EXPECT_EQ(list.signal, 0);
    ExpectNoControlCharacters(list.out);
    EXPECT_LT(list.peakMemoryKiB, kMemoryAllowanceKiB);

    const ProgramRun run = RunProgram(SPILLWAY, {"H.MAS", "OUT"}, {"", root.Path(), {}});
    EXPECT_EQ(run.signal, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(c.spillwaySays), std::string::npos) << run.out;
    ExpectNoControlCharacters(run.out);
    ExpectOnlyUnder(root.Path(), {"H.MAS", "OUT"}, "spillway");
    long written = 0;
    if (fs::exists(root / "OUT")) {
      for (const auto& e : fs::recursive_directory_iterator(root / "OUT"))
        if (e.is_regular_file()) written += static_cast<long>(e.file_size() / 1024);
    }
    EXPECT_LT(run.peakMemoryKiB, kMemoryAllowanceKiB + written / 8) << "KiB written: " << written;
  }
}

TEST(HostileArchives, KestrelCliAnswersEveryCommandWithAMessage) {
  for (const HostileCase& c : HostileCases()) {
    SCOPED_TRACE(c.name);
    TempDir root;
    c.archive.WriteTo(root / "H.MAS");
    TestArchive old = c.archive;
    old.Magic = "CUBEMAS4.01";
    old.WriteTo(root / "OLD.MAS");
    const std::string first = c.archive.Entries.front().Name.substr(0, 236);
    WriteFileBytes(root / "R.BIN", BytesOf("replacement"));
    // Reading commands first; the edits last, since they rewrite H.MAS.
    const std::vector<std::vector<std::string>> commands = {
        {"vrml-all", "H.MAS", "ALL.WRL"}, {"vrml", "H.MAS", first, "ONE.WRL"},  {"convert", "OLD.MAS", "NEW.MAS"},
        {"test", "H.MAS"},                {"extract", "H.MAS", first},            {"extract", "H.MAS", "#0", "X.OUT"},
        {"png", "H.MAS", "#0", "X.PNG"},  {"png-all", "H.MAS", "PNGS"},           {"replace", "H.MAS", "#0", "R.BIN"},
        {"gltf", "H.MAS", "#0", "ONE.GLB"}, {"gltf-all", "H.MAS", "GLBS"},
        {"add", "H.MAS", "R.BIN"},        {"remove", "H.MAS", "#0"}};
    for (const auto& args : commands) {
      const ProgramRun run = RunProgram(KESTREL_CLI, args, {"", root.Path(), {}});
      EXPECT_EQ(run.signal, 0) << args[0] << ": " << run.err;
      if (run.status != 0) {
        EXPECT_FALSE(run.err.empty()) << args[0] << " failed without a word";
      }
      ExpectNoControlCharacters(run.out + run.err);
      EXPECT_LT(run.peakMemoryKiB, kMemoryAllowanceKiB) << args[0];
    }
    // The conversion's scratch folder sits beside its source, and stays only with what failed.
    std::vector<std::string> allowed = {"H.MAS", "OLD.MAS", "ALL.WRL", "ONE.WRL", "NEW.MAS", "R.BIN", "X.OUT",
                                        "X.PNG", "PNGS", "ONE.GLB", "GLBS"};
    // extract without OUT writes the entry under its own name here, when that is a plain name.
    if (c.spillwaySays.empty()) allowed.push_back(UpperCaseAscii(first));
    for (const std::string& path : Contents(root.Path()))
      if (path.rfind("temp-", 0) == 0 && path.find('/') == std::string::npos) allowed.push_back(path);
    ExpectOnlyUnder(root.Path(), allowed, "kestrel-cli");
  }
}

// packwell's scan over a folder a hostile archive or a careless user left: special files under
// packable names, links leading out and in circles, and names that cannot be stored whole. It
// packs the plain files it can reach, never blocks on a pipe, and what it writes reads back.
TEST(HostileArchives, PackwellScanTakesPlainFilesOnly) {
  TempDir root;
  const std::string src = root / "SRC";
  fs::create_directory(src);
  WriteFileBytes(src + "/PLAIN.BMP", BytesOf("plain"));
  WriteFileBytes(src + "/A\x1b[2J\x07.MTS", BytesOf("control"));
  WriteFileBytes(src + "/ÉTé.TGA", BytesOf("high bytes"));
  ASSERT_EQ(mkfifo((src + "/PIPE.BMP").c_str(), 0666), 0);
  fs::create_directory(src + "/FOLDER.MTS");
  fs::create_symlink("LOOP.TGA", src + "/LOOP.TGA");
  fs::create_symlink("/dev/zero", src + "/ZERO.ANM");
  fs::create_symlink("MISSING.BMP", src + "/DANGLING.BMP");

  const ProgramRun run = RunProgram(PACKWELL, {"SRC", "OUT.MAS"}, {"", root.Path(), {}});
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.status, 0) << run.out;
  ExpectNoControlCharacters(run.out);
  EXPECT_LT(run.peakMemoryKiB, kMemoryAllowanceKiB);

  const ProgramRun list = RunProgram(SPILLWAY, {"OUT.MAS", "/L"}, {"", root.Path(), {}});
  ExpectNoControlCharacters(list.out);
  const ProgramRun back = RunProgram(SPILLWAY, {"OUT.MAS", "BACK"}, {"", root.Path(), {}});
  EXPECT_EQ(back.status, 0) << back.out;
  EXPECT_EQ(ReadFileBytes(root / "BACK/PLAIN.BMP"), BytesOf("plain"));
  EXPECT_EQ(ReadFileBytes(root / "BACK/A\x1b[2J\x07.MTS"), BytesOf("control"));
  EXPECT_EQ(ReadFileBytes(root / "BACK/ÉTé.TGA"), BytesOf("high bytes"));
  EXPECT_EQ(NamesIn(root / "BACK").size(), 3u);
  ExpectOnlyUnder(root.Path(), {"SRC", "OUT.MAS", "BACK"}, "packwell");

  // Names that cannot be stored whole (more than 236 bytes, bytes that are not UTF-8 text) stop the
  // run with messages that name them harmlessly; the archive written before stays.
  const std::vector<uint8_t> written = ReadFileBytes(root / "OUT.MAS");
  WriteFileBytes(src + "/" + std::string(240, 'L') + ".BMP", BytesOf("longer than a stored name"));
  WriteFileBytes(src + "/\x1b[2J\xC9.TGA", BytesOf("not UTF-8"));
  const ProgramRun refused = RunProgram(PACKWELL, {"SRC", "OUT.MAS"}, {"", root.Path(), {}});
  EXPECT_EQ(refused.status, 1) << refused.out;
  ExpectNoControlCharacters(refused.out);
  EXPECT_EQ(ReadFileBytes(root / "OUT.MAS"), written);
}

}  // namespace
}  // namespace kestrel::testing
