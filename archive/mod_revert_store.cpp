#include "archive/mod_revert_store.h"


#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>

#include "archive/file_replacement.h"
#include "archive/mod_image.h"
#include "archive/mod_manifest.h"
#include "archive/sha256.h"

namespace kestrel {
namespace {

const char kRecordHead[] = "kestrel-mod-revert 1";
const char kListHead[] = "kestrel-mod-applied 1";

std::string IdentityText(const ArchiveIdentity& id) {
  std::string text = std::to_string(id.Length) + " " + id.Sha256 + " " + std::to_string(id.Ranges.size());
  for (const auto& [position, length] : id.Ranges) text += " " + std::to_string(position) + " " + std::to_string(length);
  return text;
}

[[noreturn]] void Damaged(const std::string& path) {
  throw EInOutError(FileErrorKind::Other, path + " (the revert data is damaged)");
}

bool ParseIdentity(std::istringstream& in, ArchiveIdentity& id) {
  size_t count = 0;
  if (!(in >> id.Length >> id.Sha256 >> count) || !IsSha256Hex(id.Sha256) || count > (1u << 24)) return false;
  id.Ranges.resize(count);
  for (auto& [position, length] : id.Ranges)
    if (!(in >> position >> length) || position < 0 || length < 0) return false;
  return true;
}

// The record's text head: everything up to and with the line "end".
std::string ReadHead(BinaryFile& file, const std::string& path) {
  std::string head;
  const int64_t size = file.Size();
  while (true) {
    const size_t found = head.find("\nend\n");
    if (found != std::string::npos) return head.substr(0, found + 5);
    const int64_t left = size - static_cast<int64_t>(head.size());
    if (left <= 0) Damaged(path);
    const std::vector<uint8_t> chunk = file.ReadExact(static_cast<size_t>(std::min<int64_t>(left, 65536)));
    head.append(chunk.begin(), chunk.end());
  }
}

ModRevertRecord ParseRecord(const std::string& path, const std::string& id) {
  BinaryFile file = BinaryFile::OpenRead(path);
  const std::string head = ReadHead(file, path);
  ModRevertRecord record;
  record.Id = id;
  record.SavedStart = static_cast<int64_t>(head.size());
  std::istringstream lines(head);
  std::string line;
  if (!std::getline(lines, line) || line != kRecordHead) Damaged(path);
  bool after = false, before = false;
  while (std::getline(lines, line) && line != "end") {
    std::istringstream in(line);
    std::string keyword, a, b;
    in >> keyword;
    if (keyword == "package") {
      in >> record.PackageSha256;
    } else if (keyword == "title") {
      if (!UnescapeModText(line.size() > 6 ? std::string_view(line).substr(6) : "", record.Title)) Damaged(path);
    } else if (keyword == "action") {
      std::string name;
      if (!(in >> a >> b) || !UnescapeModText(b, name)) Damaged(path);
      record.Actions.emplace_back(a, name);
    } else if (keyword == "after" || keyword == "before") {
      if (!ParseIdentity(in, keyword == "after" ? record.After : record.Before)) Damaged(path);
      (keyword == "after" ? after : before) = true;
    } else if (keyword == "piece") {
      RestorePiece piece;
      if (!(in >> a >> piece.Position >> piece.Length) || (a != "saved" && a != "archive")) Damaged(path);
      piece.Saved = a == "saved";
      record.Pieces.push_back(piece);
    } else {
      Damaged(path);
    }
  }
  if (!after || !before || !IsSha256Hex(record.PackageSha256)) Damaged(path);
  return record;
}

// The record id a file name in the folder stands for ("0001.revert" -> "0001"), or "".
std::string RecordIdOf(const std::string& fileName) {
  const bool record = fileName.size() == 11 && fileName.substr(4) == ".revert" &&
                      std::all_of(fileName.begin(), fileName.begin() + 4, ::isdigit);
  return record ? fileName.substr(0, 4) : std::string();
}

std::string ListText(const std::vector<std::string>& ids, const ArchiveIdentity* target) {
  std::string text = std::string(kListHead) + "\n";
  for (const std::string& id : ids) text += "record " + id + "\n";
  if (target) text += "target " + IdentityText(*target) + "\n";
  return text + "end\n";
}

void MakeFolder(const std::string& folder) {
  if (DirectoryExists(folder)) return;
  if (const int err = platform::MakeDirectory(folder)) throw EInOutError(FileErrorKindFromErrno(err), folder, err);
}

void ReplaceText(const std::string& path, const std::string& text) {
  FileReplacement replacement(path, LinkHandling::Replace);
  replacement.File().WriteAll(text.data(), text.size());
  replacement.Commit();
}

}  // namespace

bool ArchiveMatches(const std::string& archivePath, const ArchiveIdentity& identity) {
  try {
    BinaryFile file = BinaryFile::OpenRead(archivePath);
    if (file.Size() != identity.Length) return false;
    Sha256 hash;
    for (const auto& [position, length] : identity.Ranges) {
      if (position + length > identity.Length) return false;
      file.Seek(position);
      for (int64_t done = 0; done < length;) {
        const size_t step = static_cast<size_t>(std::min<int64_t>(length - done, 1 << 20));
        hash.Add(file.ReadExact(step));
        done += static_cast<int64_t>(step);
      }
    }
    return hash.HexDigest() == identity.Sha256;
  } catch (const EInOutError&) {
    return false;
  }
}

ModRevertStore::ModRevertStore(const std::string& archivePath)
    : archive_(archivePath), folder_(archivePath + ".mods") {}

std::string ModRevertStore::RecordPath(const std::string& id) const { return JoinPath(folder_, id + ".revert"); }

std::vector<std::string> ModRevertStore::ReadList(const std::string& path, ArchiveIdentity* target) const {
  std::vector<std::string> ids;
  if (!FileExists(path)) return ids;
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  std::istringstream lines(std::string(bytes.begin(), bytes.end()));
  std::string line;
  bool ended = false, targeted = false;
  if (!std::getline(lines, line) || line != kListHead) Damaged(path);
  while (std::getline(lines, line)) {
    std::istringstream in(line);
    std::string keyword, id;
    in >> keyword;
    if (keyword == "end") {
      ended = true;
      break;
    }
    if (keyword == "record" && (in >> id) && id.size() == 4 && std::all_of(id.begin(), id.end(), ::isdigit)) {
      ids.push_back(id);
    } else if (keyword == "target" && target && ParseIdentity(in, *target)) {
      targeted = true;
    } else {
      Damaged(path);
    }
  }
  if (!ended || (target && !targeted)) Damaged(path);
  return ids;
}

void ModRevertStore::Recover() {
  if (!DirectoryExists(folder_)) return;
  const std::string next = JoinPath(folder_, "applied.next");
  if (FileExists(next)) {
    ArchiveIdentity target;
    bool forward = false;
    try {
      ReadList(next, &target);
      forward = ArchiveMatches(archive_, target);
    } catch (const EInOutError&) {
    }
    if (forward)
      Conclude();
    else
      platform::RemoveFile(next);
  }
  if (!DirectoryExists(folder_)) return;  // the step concluded took the last package off
  const std::vector<std::string> ids = ReadList(JoinPath(folder_, "applied"), nullptr);
  RemoveLeftovers(ids);
  if (ids.empty()) platform::RemoveEmptyDirectory(folder_);
}

std::vector<ModRevertRecord> ModRevertStore::Applied() const {
  std::vector<ModRevertRecord> records;
  if (!DirectoryExists(folder_)) return records;
  for (const std::string& id : ReadList(JoinPath(folder_, "applied"), nullptr))
    records.push_back(ParseRecord(RecordPath(id), id));
  return records;
}

std::string ModRevertStore::NextId() const {
  int highest = 0;
  if (DirectoryExists(folder_))
    for (const std::string& name : platform::ListDirectory(folder_))
      if (!RecordIdOf(name).empty()) highest = std::max(highest, std::atoi(name.c_str()));
  char id[16];
  std::snprintf(id, sizeof id, "%04d", (highest + 1) % 10000);
  return id;
}

void ModRevertStore::WriteRecord(const ModRevertRecord& record, ImageSources& sources, const ArchiveImage& saved) {
  MakeFolder(folder_);
  std::string head = std::string(kRecordHead) + "\npackage " + record.PackageSha256 + "\n";
  std::string title = EscapeModName(record.Title);
  head += "title " + title + "\n";
  for (const auto& [kind, name] : record.Actions) head += "action " + kind + " " + EscapeModName(name) + "\n";
  head += "after " + IdentityText(record.After) + "\nbefore " + IdentityText(record.Before) + "\n";
  for (const RestorePiece& p : record.Pieces)
    head += std::string("piece ") + (p.Saved ? "saved " : "archive ") + std::to_string(p.Position) + " " +
            std::to_string(p.Length) + "\n";
  head += "end\n";
  FileReplacement replacement(RecordPath(record.Id), LinkHandling::Replace);
  replacement.File().WriteAll(head.data(), head.size());
  WriteImage(replacement.File(), sources, saved);
  replacement.Commit();
}

void ModRevertStore::Prepare(const std::vector<std::string>& ids, const ArchiveIdentity& target) {
  MakeFolder(folder_);
  ReplaceText(JoinPath(folder_, "applied.next"), ListText(ids, &target));
}

void ModRevertStore::Conclude() {
  // The list in force is applied.next without its target line.
  const std::string next = JoinPath(folder_, "applied.next");
  const std::string list = JoinPath(folder_, "applied");
  ArchiveIdentity target;
  const std::vector<std::string> ids = ReadList(next, &target);
  if (ids.empty())
    platform::RemoveFile(list);
  else
    ReplaceText(list, ListText(ids, nullptr));
  platform::RemoveFile(next);
  SyncDirectory(folder_);
  // Records the list no longer names go at once; Recover() removes them if a kill comes first.
  RemoveLeftovers(ids);
  // Nothing applied: the folder goes too (unless something else of the user's is in it).
  if (ids.empty()) platform::RemoveEmptyDirectory(folder_);
}

void ModRevertStore::RemoveLeftovers(const std::vector<std::string>& ids) const {
  const std::set<std::string> inForce(ids.begin(), ids.end());
  for (const std::string& name : platform::ListDirectory(folder_)) {
    const std::string id = RecordIdOf(name);
    // Records no list names (an apply killed before its archive was replaced, a finished revert),
    // and temporary files a kill left behind.
    if ((!id.empty() && !inForce.count(id)) || name.rfind(".", 0) == 0) platform::RemoveFile(JoinPath(folder_, name));
  }
}

}  // namespace kestrel
