#include "studio/shell/extraction_job.h"

#include <set>

#include "archive/entry_name_encoding.h"
#include "archive/file_io.h"

namespace kestrel::studio {

namespace {
bool Occupied(const std::string& path) { return FileExists(path) || DirectoryExists(path); }
}  // namespace

ExtractionPlan PlanExtraction(const LoadedArchive& archive, const std::vector<int>& entries, const std::string& folder,
                              const std::function<ClashAnswer(const std::string& fileName)>& askClash) {
  ExtractionPlan plan;
  std::set<std::string> planned;
  bool overwriteAll = false;
  for (int index : entries) {
    if (index < 0 || static_cast<size_t>(index) >= archive.Table.size()) continue;
    const std::string fileName = EntryFileName(archive.Table[static_cast<size_t>(index)].Name());
    const bool clash = planned.count(fileName) > 0 ||
                       (IsSafeEntryFileName(fileName) && Occupied(JoinPath(folder, fileName)));
    if (clash && !overwriteAll) {
      switch (askClash(fileName)) {
        case ClashAnswer::Overwrite: break;
        case ClashAnswer::OverwriteAll: overwriteAll = true; break;
        case ClashAnswer::Skip: ++plan.Skipped; continue;
        case ClashAnswer::Cancel: return ExtractionPlan{{}, 0, true};
      }
    }
    planned.insert(fileName);
    plan.Entries.push_back(static_cast<size_t>(index));
  }
  return plan;
}

ExtractionOutcome RunExtraction(const LoadedArchive& archive, const std::vector<size_t>& entries,
                                const std::string& folder, const std::function<bool()>& cancelRequested,
                                const std::function<void()>& stepDone) {
  ExtractionOutcome outcome;
  EngineHooks hooks;
  bool reported = false;
  hooks.Report = [&](const std::string& message) {
    outcome.Messages.push_back(message);
    reported = true;
  };
  for (size_t index : entries) {
    if (cancelRequested()) {
      outcome.Cancelled = true;
      break;
    }
    reported = false;
    ExtractEntry(archive, index, archive.Table[index].Name(), folder, hooks);
    if (!reported) ++outcome.Written;
    stepDone();
  }
  return outcome;
}

}  // namespace kestrel::studio
