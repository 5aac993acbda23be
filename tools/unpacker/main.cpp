// spillway: lists a ".MAS" archive or extracts all its entries into a directory.
#include <algorithm>
#include <cstdio>
#include <string>

#include "archive/archive_reader.h"
#include "archive/entry_name_encoding.h"
#include "archive/file_io.h"
#include "packaging/version.h"
#include "tools/unpacker/console_output.h"

namespace {

using namespace kestrel;
using console::Line;

int Usage() {
  Line("Not enough or wrong parameters");
  Line();
  Line("Usage : Spillway <masfile.mas> <directory> </f>");
  Line("        /f : Overwrite directory if needed");
  return 0;
}

void List(const LoadedArchive& archive) {
  if (archive.Table.empty()) return;
  std::printf("Start = %lld\n\n", static_cast<long long>(archive.DataStart));
  for (const TMAS_FileEntry& e : archive.Table) {
    // The name column is 32 characters wide, not 32 bytes: "É" takes two bytes as UTF-8.
    const std::string name = PrintableEntryName(e.Name());
    int characters = 0;
    for (const char c : name) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    // The type is left-justified in two columns; a zero flag would mean nothing beside "-".
    std::printf("%s%*s %8d %8d %8d %-2d\n", name.c_str(), std::max(0, 32 - characters), "",
                static_cast<int>(archive.DataStart + e.Offset), e.UncompressedSize, e.CompressedSize, e.FileType);
  }
}

// With /E: beside the archive, named after it up to its first ".MAS" in any letter case.
std::string DirectoryNamedAfter(const std::string& archivePath) {
  const std::string name = FileNameOf(archivePath);
  const size_t cut = UpperCaseAscii(name).find(".MAS");
  if (cut == std::string::npos) return DirectoryOf(archivePath);
  return JoinPath(DirectoryOf(archivePath), name.substr(0, cut));
}

// One character of the answer; the rest of its line is discarded. End of input means no.
bool UserSaysYes() {
  std::printf("Directory already exists. Do you want to continue anyway? (y/n) ");
  std::fflush(stdout);
  const int answer = std::getchar();
  for (int c = answer; c != '\n' && c != EOF;) c = std::getchar();
  return answer == 'y' || answer == 'Y';
}

int Extract(const LoadedArchive& archive, const std::string& target, bool besideArchive, bool overwrite,
            console::MarkLine& marks) {
  if (archive.Table.empty()) return 0;
  Line("Busy...");
  const std::string directory = besideArchive ? DirectoryNamedAfter(archive.Path) : target;
  if (!CreateDirectoryOneLevel(directory) && !besideArchive && !overwrite) {
    Line();
    if (!UserSaysYes()) {
      Line();
      Line("Cancelled...");
      return 0;
    }
  }
  Line();
  const EngineHooks hooks{[&](const std::string& m) { marks.Message(m); }, [&] { marks.Mark(); }};
  ExtractAll(archive, directory, hooks);
  marks.End();
  Line();
  Line("Done.");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const platform::Utf8Arguments utf8(argc, argv);
  if (PrintVersionIfAsked(argc, argv, "spillway")) return 0;
  Line();
  Line("Spillway for F1-2002/NT-2003 (January 2, 2003)");
  Line();
  const std::string archiveArg = argc > 1 ? argv[1] : "";
  const std::string second = argc > 2 ? argv[2] : "";
  const std::string third = argc > 3 ? argv[3] : "";
  if (archiveArg.empty() || second.empty() || !FileExists(archiveArg)) return Usage();

  console::MarkLine marks;
  try {
    const LoadedArchive archive = ReadArchiveTable(AbsolutePath(archiveArg));
    if (console::EqualsSwitch(second, "/L")) {
      List(archive);
      return 0;
    }
    const bool besideArchive = console::EqualsSwitch(second, "/E");
    return Extract(archive, second, besideArchive, console::EqualsSwitch(third, "/F"), marks);
  } catch (const EInOutError& e) {
    return console::ReportFileError(marks, e);
  }
}
