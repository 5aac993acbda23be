// Mod packages: an archive of only what a modified archive adds or changes, with a manifest that
// says how to turn the original into the modified one. A package is itself a ".MAS" archive: the
// manifest (kModManifestEntryName) is its first entry, the carried entries follow as the zlib
// streams they were in the modified archive.
#pragma once

#include <cstddef>
#include <string>

#include "archive/archive_reader.h"
#include "archive/mod_manifest.h"

namespace kestrel {

struct ModPackage {
  LoadedArchive Archive;
  ModManifest Manifest;
  std::string Sha256;  // of the whole package file: the same package is known again by it
};

// Reads and checks a package: the manifest must parse, place every carried entry once, carry one
// entry for each changed and added name (and no other), and every carried entry must lie inside
// the file and decode to the size its record gives. Anything else is EModPackageError.
ModPackage ReadModPackage(const std::string& path);

struct ModMakeSummary {
  size_t Changed = 0, Added = 0, Removed = 0;
};

// Writes `packagePath` (through a FileReplacement) from what `modified` does to `original`.
// `modified` is an archive, or a folder of loose files: a file whose name matches an entry
// (ignoring case; the first of that name) replaces it when its bytes differ, any other file is
// added with the type and name AppendEntry's callers give it, and nothing is removed.
// A modified archive that changes nothing, or one a package cannot express (a name added that
// the original already holds), is EModPackageError.
ModMakeSummary MakeModPackage(const std::string& original, const std::string& modified,
                              const std::string& packagePath, const std::string& title);

}  // namespace kestrel
