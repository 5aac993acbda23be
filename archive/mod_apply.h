// Applying mod packages to an archive and taking them back.
//
// Both rewrite the archive once, through a FileReplacement, and keep ModRevertStore's folder in step
// with it. Nothing here prints; refusals carry their lines for the caller to show.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "archive/mod_package.h"
#include "archive/mod_revert_store.h"

namespace kestrel {

// A package refused before anything was written: one line per reason (each hash that does not
// match, each added name the archive already has, ...). The archive and its folder are unchanged.
class EModRefusal : public std::runtime_error {
 public:
  explicit EModRefusal(std::vector<std::string> lines);
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

// What apply will do, for a caller that shows it and asks first: the package's title and one line
// per action ("changed NAME", "added NAME", "removed NAME").
struct ModPackageSummary {
  std::string Title;
  std::vector<std::string> Actions;
  std::string PackageSha256;  // what RevertAppliedModPackage takes
};
ModPackageSummary SummarizeModPackage(const ModPackage& package);

// Checks every hash, that every entry the package keeps is there and that no added name is, then
// rewrites the archive so that its table, in order, is the package's final order (entries the
// package does not know of follow at the end). Refusals are EModRefusal; a package applied
// already is refused too.
void ApplyModPackage(const std::string& archivePath, const ModPackage& package);

// Takes `package` back, leaving the archive byte for byte as it was before the package was
// applied. Only the last applied package can be taken back; an earlier one is refused with the
// title of the later package, and so is an archive that changed since.
void RevertModPackage(const std::string& archivePath, const ModPackage& package);
// The same for a package of ListAppliedModPackages, where the package file is not at hand.
void RevertAppliedModPackage(const std::string& archivePath, const std::string& packageSha256);

// The packages in force, newest first.
std::vector<ModPackageSummary> ListAppliedModPackages(const std::string& archivePath);

}  // namespace kestrel
