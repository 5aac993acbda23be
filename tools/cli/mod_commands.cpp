// kestrel-cli's mod package commands: compare archives, make a package of the difference, apply it
// to an archive, take it back, list what is applied.
#include <iostream>
#include <string>
#include <vector>

#include "archive/archive_diff.h"
#include "archive/archive_editing.h"
#include "archive/file_io.h"
#include "archive/mod_apply.h"
#include "archive/zbuffer.h"
#include "cli_command.h"

namespace kestrel::cli {
namespace {

// The package errors end the command with their message; a refusal with one line per reason.
template <typename Work>
int GuardedMod(Work work) {
  try {
    return Guarded<EModPackageError, EArchiveEditError, EZLibError>(work);
  } catch (const EModRefusal& refusal) {
    for (const std::string& line : refusal.Lines()) Report(line);
    return 1;
  }
}

std::string TitleFromFileName(const std::string& path) {
  const std::string name = FileNameOf(path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

int RunDiff(const Args& args) {
  // As diff(1): 0 alike, 1 different, 2 trouble.
  try {
    const LoadedArchive a = ReadArchiveTable(args[0]);
    const LoadedArchive b = ReadArchiveTable(args[1]);
    const std::vector<ArchiveDifference> differences = DiffArchives(a, b);
    for (const ArchiveDifference& d : differences) std::cout << DifferenceLine(d) << '\n';
    return differences.empty() ? 0 : 1;
  } catch (const EInOutError& e) {
    Fail(FileErrorReport(e));
  } catch (const std::exception& e) {
    Fail(e.what());
  }
  return 2;
}

int RunModMake(const Args& args) {
  std::vector<std::string> paths;
  std::string title;
  bool titled = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--title" && i + 1 < args.size()) {
      title = args[++i];
      titled = true;
    } else {
      paths.push_back(args[i]);
    }
  }
  if (paths.size() != 3) {
    std::cerr << "usage: kestrel-cli mod-make ORIGINAL.MAS MODIFIED PACKAGE [--title TEXT]\n";
    return 2;
  }
  if (OutputIsInput(paths[2], paths[0]) || OutputIsInput(paths[2], paths[1])) return 1;
  if (!titled) title = TitleFromFileName(paths[2]);
  return GuardedMod([&] {
    const ModMakeSummary made = MakeModPackage(paths[0], paths[1], paths[2], title);
    std::cout << paths[2] << ": " << made.Changed << " changed, " << made.Added << " added, " << made.Removed
              << " removed\n";
    return 0;
  });
}

int RunModApply(const Args& args) {
  return GuardedMod([&] {
    ApplyModPackage(args[0], ReadModPackage(args[1]));
    return 0;
  });
}

int RunModRevert(const Args& args) {
  return GuardedMod([&] {
    RevertModPackage(args[0], ReadModPackage(args[1]));
    return 0;
  });
}

int RunModList(const Args& args) {
  return GuardedMod([&] {
    if (!FileExists(args[0])) throw EInOutError(FileErrorKind::FileNotFound, args[0]);
    for (const ModPackageSummary& package : ListAppliedModPackages(args[0])) {
      std::cout << package.Title << '\n';
      for (const std::string& action : package.Actions) std::cout << "  " << action << '\n';
    }
    return 0;
  });
}

}  // namespace kestrel::cli
