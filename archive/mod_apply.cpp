#include "archive/mod_apply.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "archive/archive_diff.h"
#include "archive/file_replacement.h"
#include "archive/mod_image.h"
#include "archive/sha256.h"
#include "archive/zbuffer.h"

namespace kestrel {
namespace {

using EntryKey = std::pair<std::string, uint32_t>;  // upper-cased name, which of that name

std::map<EntryKey, size_t> EntriesByKey(const std::vector<TMAS_FileEntry>& table) {
  const std::vector<uint32_t> occurrences = NameOccurrences(table);
  std::map<EntryKey, size_t> keys;
  for (size_t i = 0; i < table.size(); ++i) keys[{UpperCaseAscii(table[i].Name()), occurrences[i]}] = i;
  return keys;
}

EntryKey KeyOf(const ModEntryRef& ref) { return {UpperCaseAscii(ref.Name), ref.Occurrence}; }

std::string Shown(const std::string& name) { return PrintableName(name); }

ArchiveImage StoredOf(const ArchiveImage& image, const ImageTable& table, size_t i) {
  return image.Slice(table.EntryStart(i), table.Table[i].CompressedSize);
}

std::vector<std::pair<std::string, std::string>> ActionsOf(const ModManifest& m) {
  std::vector<std::pair<std::string, std::string>> actions;
  for (const ModHashedEntry& e : m.Changed) actions.emplace_back("changed", e.Entry.Name);
  for (const std::string& name : m.Added) actions.emplace_back("added", name);
  for (const ModHashedEntry& e : m.Removed) actions.emplace_back("removed", e.Entry.Name);
  return actions;
}

std::set<std::string> TouchedNames(const ModRevertRecord& record) {
  std::set<std::string> names;
  for (const auto& action : record.Actions) names.insert(UpperCaseAscii(action.second));
  return names;
}

// Writes `image` over the archive with the store brought to `ids` in the same step (see
// ModRevertStore): the new archive is complete in its temporary file before the list that
// names it is prepared, and the list is concluded only once the archive is in place.
void ReplaceArchive(const std::string& path, ImageSources& sources, const ArchiveImage& image,
                    const ImageTable& table, size_t oldSource, ModRevertStore& store,
                    const std::vector<std::string>& ids) {
  FileReplacement replacement(path);
  WriteImage(replacement.File(), sources, image);
  replacement.Flush();
  store.Prepare(ids, IdentityAgainst(sources, image, table, oldSource));
  sources.CloseFiles();
  replacement.Commit();
  store.Conclude();
}

// The entries of `later` (an archive with package k and later ones applied) with package k taken
// out: the entries of the names k touched come back as `earlier` has them, each after the entry it
// followed there (at the end where a later package removed that one).
std::vector<ImageEntry> WithoutPackage(const ArchiveImage& later, const ImageTable& lt, const ArchiveImage& earlier,
                                       const ImageTable& et, const std::set<std::string>& touched) {
  std::map<EntryKey, std::vector<size_t>> following;  // restored entries by the entry they follow
  std::vector<size_t> first;
  std::optional<EntryKey> anchor;
  const std::vector<uint32_t> earlierOcc = NameOccurrences(et.Table);
  for (size_t i = 0; i < et.Table.size(); ++i) {
    const std::string name = UpperCaseAscii(et.Table[i].Name());
    if (!touched.count(name))
      anchor = EntryKey{name, earlierOcc[i]};
    else if (et.EntryInside(i, earlier.Length))
      (anchor ? following[*anchor] : first).push_back(i);
  }
  std::vector<ImageEntry> entries;
  auto restore = [&](const std::vector<size_t>& group) {
    for (size_t i : group) entries.push_back({et.Table[i], StoredOf(earlier, et, i)});
  };
  restore(first);
  const std::vector<uint32_t> laterOcc = NameOccurrences(lt.Table);
  for (size_t i = 0; i < lt.Table.size(); ++i) {
    const std::string name = UpperCaseAscii(lt.Table[i].Name());
    if (touched.count(name) || !lt.EntryInside(i, later.Length)) continue;
    entries.push_back({lt.Table[i], StoredOf(later, lt, i)});
    const auto group = following.find({name, laterOcc[i]});
    if (group == following.end()) continue;
    restore(group->second);
    following.erase(group);
  }
  for (const auto& [key, group] : following) restore(group);
  return entries;
}

std::vector<std::string> IdsOf(const std::vector<ModRevertRecord>& records) {
  std::vector<std::string> ids;
  for (const ModRevertRecord& r : records) ids.push_back(r.Id);
  return ids;
}

}  // namespace

EModRefusal::EModRefusal(std::vector<std::string> lines)
    : std::runtime_error(lines.empty() ? std::string() : lines.front()), lines_(std::move(lines)) {}

ModPackageSummary SummarizeModPackage(const ModPackage& package) {
  ModPackageSummary summary{package.Manifest.Title, {}, package.Sha256};
  for (const auto& [kind, name] : ActionsOf(package.Manifest)) summary.Actions.push_back(kind + " " + Shown(name));
  return summary;
}

void ApplyModPackage(const std::string& archivePath, const ModPackage& package) {
  const std::string path = AbsolutePath(archivePath);
  ModRevertStore store(path);
  store.Recover();
  const std::vector<ModRevertRecord> applied = store.Applied();
  for (const ModRevertRecord& r : applied)
    if (r.PackageSha256 == package.Sha256)
      throw EModRefusal({"The package \"" + Shown(package.Manifest.Title) + "\" is applied to this archive already."});

  CheckWritableIfExists(path);  // before the checks and the revert data, which may take a while
  ImageSources sources;
  const size_t archiveSource = sources.OpenFile(path);
  const ArchiveImage archive = ArchiveImage::Whole(sources, archiveSource);
  const ImageTable at = ReadImageTable(sources, archive);
  const ArchiveImage pkg = ArchiveImage::Whole(sources, sources.OpenFile(package.Archive.Path));
  const ImageTable pt = ReadImageTable(sources, pkg);
  if (pt.Table.size() != package.Archive.Table.size())
    throw EModPackageError("The package changed on disk since it was read.");

  const ModManifest& m = package.Manifest;
  const std::map<EntryKey, size_t> keys = EntriesByKey(at.Table);
  std::vector<std::string> refusals;
  std::set<size_t> referenced;
  auto find = [&](const ModEntryRef& ref, const char* what) -> size_t {
    const auto found = keys.find(KeyOf(ref));
    if (found == keys.end()) {
      refusals.push_back("missing " + Shown(ref.Name) + ": the package " + what + " it, but the archive has no such entry");
      return kNoMatch;
    }
    if (!at.EntryInside(found->second, archive.Length)) {
      refusals.push_back("damaged " + Shown(ref.Name) + ": the entry runs past the end of the archive");
      return kNoMatch;
    }
    referenced.insert(found->second);
    return found->second;
  };
  auto check = [&](const ModHashedEntry& e, const char* what) {
    const size_t i = find(e.Entry, what);
    if (i == kNoMatch) return;
    std::string hash;
    try {
      hash = Sha256Hex(DecodeEntryBytes(at.Table[i], ReadImage(sources, archive, at.EntryStart(i), at.Table[i].CompressedSize)));
    } catch (const EZLibError&) {
    }
    if (hash != e.Sha256)
      refusals.push_back("mismatch " + Shown(e.Entry.Name) + ": its bytes are not the ones the package was made for");
  };
  for (const ModHashedEntry& e : m.Changed) check(e, "changes");
  for (const ModHashedEntry& e : m.Removed) check(e, "removes");
  std::set<std::string> names;
  for (const TMAS_FileEntry& e : at.Table) names.insert(UpperCaseAscii(e.Name()));
  for (const std::string& name : m.Added)
    if (names.count(UpperCaseAscii(name)))
      refusals.push_back("exists " + Shown(name) + ": the package adds it, but the archive has it already");
  std::vector<ImageEntry> entries;
  std::vector<size_t> mapped(at.Table.size(), kNoMatch);
  for (const ModOrderItem& item : m.Order) {
    if (item.Carried) {
      entries.push_back({pt.Table[item.CarriedIndex], StoredOf(pkg, pt, item.CarriedIndex)});
      continue;
    }
    const size_t i = find(item.Kept, "keeps");
    if (i == kNoMatch) continue;
    mapped[i] = entries.size();
    entries.push_back({at.Table[i], StoredOf(archive, at, i)});
  }
  // Entries the package was not made with (another package's) stay, after the package's own.
  for (size_t i = 0; i < at.Table.size(); ++i) {
    if (referenced.count(i)) continue;
    if (!at.EntryInside(i, archive.Length)) {
      refusals.push_back("damaged " + Shown(at.Table[i].Name()) + ": the entry runs past the end of the archive");
      continue;
    }
    mapped[i] = entries.size();
    entries.push_back({at.Table[i], StoredOf(archive, at, i)});
  }
  if (!refusals.empty()) throw EModRefusal(refusals);

  ImageTable nt;
  const ArchiveImage result = BuildArchiveImage(sources, at.Header, std::move(entries), nt);
  if (result.Length - nt.DataStart > INT32_MAX)
    throw EModPackageError("The archive would hold 2 GiB of data or more, which its table cannot record.");
  const RevertPlan plan = PlanRevert(sources, archive, at, result, nt, mapped);
  ModRevertRecord record;
  record.Id = store.NextId();
  record.PackageSha256 = package.Sha256;
  record.Title = m.Title;
  record.Actions = ActionsOf(m);
  record.After = plan.After;
  record.Before = plan.Before;
  record.Pieces = plan.Pieces;
  store.WriteRecord(record, sources, plan.Saved);
  std::vector<std::string> ids = IdsOf(applied);
  ids.push_back(record.Id);
  ReplaceArchive(path, sources, result, nt, archiveSource, store, ids);
}

void RevertModPackage(const std::string& archivePath, const ModPackage& package) {
  const std::vector<ModPackageSummary> applied = ListAppliedModPackages(archivePath);
  if (std::none_of(applied.begin(), applied.end(),
                   [&](const ModPackageSummary& p) { return p.PackageSha256 == package.Sha256; }))
    throw EModRefusal({"The package \"" + Shown(package.Manifest.Title) + "\" is not applied to this archive."});
  RevertAppliedModPackage(archivePath, package.Sha256);
}

void RevertAppliedModPackage(const std::string& archivePath, const std::string& packageSha256) {
  const std::string path = AbsolutePath(archivePath);
  ModRevertStore store(path);
  store.Recover();
  const std::vector<ModRevertRecord> applied = store.Applied();
  size_t k = applied.size();
  for (size_t i = 0; i < applied.size(); ++i)
    if (applied[i].PackageSha256 == packageSha256) k = i;
  if (k == applied.size()) throw EModRefusal({"That package is not applied to this archive."});
  const std::set<std::string> touched = TouchedNames(applied[k]);
  std::vector<std::string> refusals;
  for (size_t j = k + 1; j < applied.size(); ++j) {
    const std::set<std::string> later = TouchedNames(applied[j]);
    if (std::any_of(later.begin(), later.end(), [&](const std::string& n) { return touched.count(n) > 0; }))
      refusals.push_back("The package \"" + Shown(applied[j].Title) + "\", applied later, touches the same entries; take it back first.");
  }
  if (!refusals.empty()) throw EModRefusal(refusals);
  if (!ArchiveMatches(path, applied.back().After))
    throw EModRefusal({"The archive changed since the package \"" + Shown(applied.back().Title) +
                       "\" was applied; its packages cannot be taken back exactly."});
  CheckWritableIfExists(path);  // before any revert data is written

  ImageSources sources;
  const size_t archiveSource = sources.OpenFile(path);
  // states[j] is the archive as it was with the first j packages applied, down to k.
  std::vector<ArchiveImage> states(applied.size() + 1);
  states[applied.size()] = ArchiveImage::Whole(sources, archiveSource);
  for (size_t j = applied.size(); j-- > k;)
    states[j] = RebuildBefore(states[j + 1], applied[j], sources.OpenFile(store.RecordPath(applied[j].Id)));

  std::vector<std::string> ids;
  for (size_t j = 0; j < k; ++j) ids.push_back(applied[j].Id);
  ArchiveImage below = states[k];  // the archive as package k found it, and then without it
  ImageTable belowTable = ReadImageTable(sources, below);
  int nextId = std::stoi(store.NextId());
  for (size_t j = k + 1; j < applied.size(); ++j) {
    // Package j again, over an archive without package k.
    const ImageTable st = ReadImageTable(sources, states[j + 1]);
    std::vector<ImageEntry> entries = WithoutPackage(states[j + 1], st, below, belowTable, touched);
    ImageTable nt;
    const ArchiveImage next = BuildArchiveImage(sources, st.Header, std::move(entries), nt);
    // The revert data for package j: pieces of `next` wherever an entry kept its bytes.
    std::vector<size_t> mapped(belowTable.Table.size(), kNoMatch);
    const std::map<EntryKey, size_t> nextKeys = EntriesByKey(nt.Table);
    const std::vector<uint32_t> belowOcc = NameOccurrences(belowTable.Table);
    for (size_t i = 0; i < belowTable.Table.size(); ++i) {
      const auto found = nextKeys.find({UpperCaseAscii(belowTable.Table[i].Name()), belowOcc[i]});
      if (found == nextKeys.end() || !belowTable.EntryInside(i, below.Length)) continue;
      if (belowTable.Table[i].CompressedSize != nt.Table[found->second].CompressedSize) continue;
      const int64_t size = belowTable.Table[i].CompressedSize;
      if (ReadImage(sources, below, belowTable.EntryStart(i), size) == ReadImage(sources, next, nt.EntryStart(found->second), size))
        mapped[i] = found->second;
    }
    const RevertPlan plan = PlanRevert(sources, below, belowTable, next, nt, mapped);
    ModRevertRecord record = applied[j];
    char id[16];
    std::snprintf(id, sizeof id, "%04d", nextId++ % 10000);
    record.Id = id;
    record.After = plan.After;
    record.Before = plan.Before;
    record.Pieces = plan.Pieces;
    store.WriteRecord(record, sources, plan.Saved);
    ids.push_back(record.Id);
    below = next;
    belowTable = nt;
  }
  ReplaceArchive(path, sources, below, belowTable, archiveSource, store, ids);
}

std::vector<ModPackageSummary> ListAppliedModPackages(const std::string& archivePath) {
  ModRevertStore store(AbsolutePath(archivePath));
  store.Recover();
  std::vector<ModPackageSummary> list;
  const std::vector<ModRevertRecord> applied = store.Applied();
  for (auto r = applied.rbegin(); r != applied.rend(); ++r) {
    ModPackageSummary summary{r->Title, {}, r->PackageSha256};
    for (const auto& [kind, name] : r->Actions) summary.Actions.push_back(kind + " " + Shown(name));
    list.push_back(std::move(summary));
  }
  return list;
}

}  // namespace kestrel
