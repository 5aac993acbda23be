#include "tools/unpacker/extraction.h"

#include <sys/stat.h>

#include <cerrno>

#include "archive/file_io.h"

namespace kestrel {
namespace {

// lstat for the output: a symbolic link there is replaced by the engine, never written through,
// so only the very file matters.
bool IsSameFile(const struct stat& archive, const std::string& output) {
  struct stat st;
  return ::lstat(output.c_str(), &st) == 0 && st.st_dev == archive.st_dev && st.st_ino == archive.st_ino;
}

}  // namespace

std::string EntryIsTheArchiveMessage(const std::string& name) {
  return "Entry \"" + name + "\" was not extracted: it would overwrite the archive itself";
}

void ExtractAllSparingArchive(const LoadedArchive& archive, const std::string& directory, const EngineHooks& hooks) {
  if (!DirectoryExists(directory)) throw EInOutError(FileErrorKind::PathNotFound, directory);
  struct stat self;
  if (::stat(archive.Path.c_str(), &self) != 0) throw EInOutError(FileErrorKindFromErrno(errno), archive.Path);
  for (size_t i = 0; i < archive.Table.size(); ++i) {
    const std::string name = archive.Table[i].Name();
    const std::string fileName = UpperCaseAscii(name);
    if (IsSafeEntryFileName(fileName) && IsSameFile(self, JoinPath(directory, fileName)))
      hooks.Say(EntryIsTheArchiveMessage(name));
    else
      ExtractEntry(archive, i, name, directory, hooks);
    hooks.Step();
  }
}

}  // namespace kestrel
