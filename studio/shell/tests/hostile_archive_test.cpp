// The studio opening archives made to hurt and previewing every entry: each open or preview that
// fails says so in a message (a picture the decoders refuse in the application error dialog, with
// the decoder's reason), nothing crashes, and a decompression bomb costs no more than the
// preview's own limit.
#include <sys/resource.h>

#include "archive/testing/hostile_archives.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/shell/tests/studio_fixture.h"

namespace kestrel::studio::testing {
namespace {

long PeakMemoryKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

class HostileArchiveTest : public StudioTest {};

TEST_F(HostileArchiveTest, OpenAndPreviewAnswerWithMessagesOnly) {
  const long peakBefore = PeakMemoryKiB();
  for (const kestrel::testing::HostileCase& c : kestrel::testing::HostileCases()) {
    // As meshes, and once more as images, so that both previews read every entry.
    for (const int32_t type : {17, 18}) {
      SCOPED_TRACE(c.name + (type == 17 ? " as meshes" : " as images"));
      TestArchive archive = c.archive;
      for (TestEntry& e : archive.Entries) e.FileType = type;
      const std::string path = WriteArchive("H.MAS", archive);
      dialogs_.messages.clear();
      // The previews themselves, not a recording stand-in.
      TFKestrel window(dialogs_, Environment(QString::fromStdString(path)));
      const size_t afterOpen = dialogs_.messages.size();
      if (window.findChild<QTreeView*>() == nullptr) continue;
      const int count = static_cast<int>(archive.FileCount.value_or(static_cast<uint32_t>(archive.Entries.size())));
      for (int i = 0; i < count && i < 8; ++i) {
        const size_t before = dialogs_.messages.size();
        // Selected as a click selects it, so that a picture the decoders refuse reaches the
        // application error dialog as it does for a user.
        window.MASTreeNT->setCurrentIndex(window.TreeModel()->EntryNode(i));
        if (!window.ReadEntryData(i)) {
          // A refusal is a message, not silence; an archive that did not open has nothing to show.
          EXPECT_TRUE(dialogs_.messages.size() > before || afterOpen > 0) << "entry " << i;
        }
      }
      for (const ShownMessage& error : dialogs_.applicationErrors) EXPECT_FALSE(error.text.isEmpty());
      dialogs_.applicationErrors.clear();
    }
  }
  // The bomb inflates to 1 GiB; the previews stop at their limit of some 16 MiB. AddressSanitizer
  // keeps freed blocks in quarantine (256 MiB by default), so it gets more room, still far below
  // what holding the whole bomb would take.
#if defined(__SANITIZE_ADDRESS__)
  constexpr long kLimitKiB = 640 * 1024;
#else
  constexpr long kLimitKiB = 200 * 1024;
#endif
  EXPECT_LT(PeakMemoryKiB() - peakBefore, kLimitKiB);
}

}  // namespace
}  // namespace kestrel::studio::testing
