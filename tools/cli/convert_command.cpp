// kestrel-cli's convert command: an F1-2001 archive into the current layout, reports on stderr.
#include <iostream>
#include <string>

#include "archive/file_error.h"
#include "archive/file_io.h"
#include "archive/old_archive_conversion.h"
#include "cli_command.h"

namespace kestrel::cli {

int RunConvert(const Args& args) {
  const std::string& source = args[0];
  if (!FileExists(source)) return Fail(FileErrorReport(EInOutError(FileErrorKind::FileNotFound, source)));
  if (!IsOldArchive(source)) return Fail(kNotOldArchiveMessage);
  const std::string destination = args.size() == 2 ? args[1] : SuggestDestination(source);

  bool reported = false;
  ConversionHooks hooks;
  hooks.Report = [&](const std::string& message) {
    reported = true;
    Fail(message);
  };
  const ConversionResult result = ConvertOldArchive({source, destination, ""}, hooks);
  if (result.EntryCount == 0) {
    if (reported) return 1;
    std::cout << "The archive holds no entries; nothing was written.\n";
    return 0;
  }
  // The reports have said why the new archive was not written; a count of entries would suggest one.
  if (!result.ArchiveWritten) return 1;
  std::cout << "Converted " << result.EntriesPacked << " of " << result.EntryCount << " entries into "
            << destination << '\n';
  return result.Complete() ? 0 : 1;
}

}  // namespace kestrel::cli
