// Writing chosen entries into a folder, as the console unpacker names them: the entry's name with
// a to z upper-cased, each file replaced whole or not at all.
//
// The questions come first, on the interface thread (PlanExtraction); the writing can then run on
// a worker with nothing left to ask (RunExtraction).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/archive_reader.h"

namespace kestrel::studio {

// The user's answer when a file of an entry's name is already in the folder.
enum class ClashAnswer { Overwrite, Skip, OverwriteAll, Cancel };

struct ExtractionPlan {
  std::vector<size_t> Entries;  // table positions to write, in the order given
  int Skipped = 0;
  bool Cancelled = false;  // nothing is to be written at all
};

// Decides what is written: an entry whose file is already in `folder` (or that an earlier entry of
// the same name would write) is written only if `askClash` says so for its file name; Overwrite
// All answers the rest. Entries whose name is no safe file name go through to the writer, which
// reports them.
ExtractionPlan PlanExtraction(const LoadedArchive& archive, const std::vector<int>& entries, const std::string& folder,
                              const std::function<ClashAnswer(const std::string& fileName)>& askClash);

struct ExtractionOutcome {
  int Written = 0;
  bool Cancelled = false;
  std::vector<std::string> Messages;  // what the writer reported, entry by entry
};

// Writes the planned entries one after another; `stepDone` after each, `cancelRequested` looked at
// between entries, so a cancelled run keeps every file it finished and leaves no partial one.
ExtractionOutcome RunExtraction(const LoadedArchive& archive, const std::vector<size_t>& entries,
                                const std::string& folder, const std::function<bool()>& cancelRequested,
                                const std::function<void()>& stepDone);

}  // namespace kestrel::studio
