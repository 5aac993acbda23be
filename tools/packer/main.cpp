// packwell: packs the BMP, MTS, TGA and ANM files of a directory into a new ".MAS" archive.
#include <cstdio>
#include <string>

#include "archive/archive_packer.h"
#include "archive/file_io.h"
#include "packaging/version.h"
#include "tools/unpacker/console_output.h"

namespace {

using namespace kestrel;
using console::Line;

int Usage() {
  Line("Not enough or wrong parameters");
  Line();
  Line("Usage : Packwell <directory> <masfile.mas>");
  return 0;
}

// With /E the archive lies beside the directory: its path without trailing separators + ".MAS".
std::string ArchiveNamedAfter(std::string directory) {
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory + ".MAS";
}

}  // namespace

int main(int argc, char** argv) {
  const platform::Utf8Arguments utf8(argc, argv);
  if (PrintVersionIfAsked(argc, argv, "packwell")) return 0;
  UnknownSequence unknowns = UnknownSequence::FromClock();
  Line();
  Line("Packwell for F1-2002/NT-2003 (January 2, 2003)");
  Line();
  const std::string directory = argc > 1 ? argv[1] : "";
  const std::string second = argc > 2 ? argv[2] : "";
  if (directory.empty() || second.empty()) return Usage();

  // Both choices are taken against the directory the program was started in.
  const std::string archivePath =
      AbsolutePath(console::EqualsSwitch(second, "/E") ? ArchiveNamedAfter(directory) : second);

  Line("Busy...");
  Line();
  std::fflush(stdout);
  console::MarkLine marks;
  const EngineHooks hooks{[&](const std::string& message) {
                            if (message == kDirectoryMissingMessage) Line();
                            marks.Message(message);
                          },
                          [&] { marks.Mark(); }};
  PackResult result;
  try {
    result = PackDirectory(directory, archivePath, unknowns, hooks);
    if (result.DirectoryMissing || result.FilesFound == 0) return 0;
  } catch (const EInOutError& e) {
    return console::ReportFileError(marks, e);
  }
  marks.End();
  Line();
  // A run that stopped keeps whatever was at the path; saying "Done." then would claim an archive
  // the user does not have.
  if (!result.ArchiveWritten) {
    Line("The archive \"" + archivePath + "\" was not written.");
    return 1;
  }
  Line("Done.");
  return 0;
}
