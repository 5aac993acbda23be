// The scratch directory "$KSTRL$", where the mesh preview puts texture files for a moment.
#pragma once

#include <QString>

namespace kestrel::studio {

inline constexpr char kScratchDirectoryName[] = "$KSTRL$";

// In the program's own directory when that can be written to, else in the user's cache directory.
// Nothing is created here.
QString ScratchDirectoryPath();

// Deletes every file in `directory` whose name matches `pattern` ("*.*" is every file, as the
// studio has always meant it; other patterns are shell wildcards). With `recurse` it also empties
// and removes the subdirectories. Symbolic links are removed, never followed. Failures are ignored.
void ClearScratchDirectory(const QString& directory, const QString& pattern, bool recurse);

// What the program does at its end: empty the directory without recursion, then remove it if empty.
void RemoveScratchDirectory(const QString& directory);

}  // namespace kestrel::studio
