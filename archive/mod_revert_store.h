// What applied mod packages need to be taken back, kept in a folder beside the archive
// ("TRACK.MAS.mods/"):
//
//   NNNN.revert    one applied package: its title and actions, what identifies the archive it
//                  made, and how to rebuild the archive it was applied to byte for byte (pieces of
//                  the current archive and bytes saved in the record itself, after its text head)
//   applied        the records in force, oldest first
//   applied.next   a new "applied" that waits for the archive to be replaced; it names the archive
//                  that replacement makes
//
// Every file is written whole or not at all. An apply writes its record and applied.next, then
// replaces the archive, then renames applied.next over applied; a revert does the same with the
// record left out. After a kill at any moment, Recover() finds out which archive is in place and
// finishes or drops the half-done step, so the archive and the list always agree.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/file_io.h"

namespace kestrel {

class ImageSources;
struct ArchiveImage;

// Enough of an archive's bytes to tell it from the one it replaced or was replaced by: its length
// and a SHA-256 over the listed ranges (its header and table, and every piece that changed).
struct ArchiveIdentity {
  int64_t Length = 0;
  std::vector<std::pair<int64_t, int64_t>> Ranges;  // position, length
  std::string Sha256;
};
bool ArchiveMatches(const std::string& archivePath, const ArchiveIdentity& identity);

// One piece of the archive as it was before: from the archive the package made, or from the
// record's saved bytes.
struct RestorePiece {
  bool Saved = false;
  int64_t Position = 0;  // in the current archive, or in the saved bytes
  int64_t Length = 0;
};

struct ModRevertRecord {
  std::string Id;  // "0001", the record's file name without ".revert"
  std::string PackageSha256;
  std::string Title;
  std::vector<std::pair<std::string, std::string>> Actions;  // ("changed" | "added" | "removed", name)
  ArchiveIdentity After;   // the archive the package made
  ArchiveIdentity Before;  // the archive it was applied to
  std::vector<RestorePiece> Pieces;
  int64_t SavedStart = 0;  // where the saved bytes begin in the record file
};

class ModRevertStore {
 public:
  // The folder for `archivePath` (absolute): the archive's path with ".mods" added.
  explicit ModRevertStore(const std::string& archivePath);
  const std::string& Folder() const { return folder_; }

  // Finishes or drops a step a kill interrupted, and removes records no list names.
  void Recover();
  // The records in force, oldest first. Recover() first.
  std::vector<ModRevertRecord> Applied() const;
  std::string RecordPath(const std::string& id) const;
  // A number no record has yet.
  std::string NextId() const;

  // Writes the record's text head, then the `saved` bytes. The folder is made when missing.
  void WriteRecord(const ModRevertRecord& record, ImageSources& sources, const ArchiveImage& saved);
  // The two halves around the archive's replacement.
  void Prepare(const std::vector<std::string>& ids, const ArchiveIdentity& target);
  void Conclude();

 private:
  std::string archive_;
  std::string folder_;
  std::vector<std::string> ReadList(const std::string& path, ArchiveIdentity* target) const;
  void RemoveLeftovers(const std::vector<std::string>& ids) const;
};

}  // namespace kestrel
