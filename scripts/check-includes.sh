#!/usr/bin/env bash
# Checks the quoted includes of the C++ sources against the tree's layering:
#   - an include names its path from the top of the tree ("studio/qt_common/native_path.h"); a bare
#     name is allowed only outside studio/, for a file beside the one that includes it;
#   - a folder includes only folders on lower layers than its own, never one beside it or above it.
# Prints every offending line and fails if there is one.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."

# The layers from the bottom up, one line each. A folder is archive/, tools/, bench/, fuzz/ or a
# folder of studio/ (its tests/ and testing/ count as part of it). A studio folder missing here is
# itself reported, so that a new one is given its place.
layers='
archive
studio/image studio/audio studio/open_archive studio/qt_common studio/desktop
studio/mesh studio/soundbank studio/dialogs
studio/preview tools
studio/shell
bench fuzz
'

grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' \
  archive studio tools bench fuzz |
awk -v layers="$layers" '
  BEGIN {
    n = split(layers, rows, "\n")
    rank = 0
    for (i = 1; i <= n; ++i) {
      if (rows[i] ~ /^[[:space:]]*$/) continue
      m = split(rows[i], names, " ")
      for (j = 1; j <= m; ++j) layer[names[j]] = rank
      ++rank
    }
  }
  # The folder a path belongs to: studio/NAME, or its first component.
  function folder(path,   parts) {
    split(path, parts, "/")
    return parts[1] == "studio" ? parts[1] "/" parts[2] : parts[1]
  }
  function complain(message) { print file ":" line ": " message; ++faults }
  {
    # grep gives FILE:LINE:TEXT
    file = $0; sub(/:.*/, "", file)
    rest = substr($0, length(file) + 2)
    line = rest; sub(/:.*/, "", line)
    included = rest; sub(/^[^"]*"/, "", included); sub(/".*/, "", included)
    from = folder(file)
    if (!(from in layer)) { complain(from " has no layer in scripts/check-includes.sh"); next }
    if (included !~ /\//) {
      dir = file; sub(/\/[^\/]*$/, "", dir)
      if (from ~ /^studio\// || system("test -f \"" dir "/" included "\"") != 0)
        complain("\"" included "\" is a bare name; name its path from the top of the tree")
      next
    }
    to = folder(included)
    if (!(to in layer) || to == from) next
    if (layer[to] >= layer[from]) complain(from " includes \"" included "\" from " to ", which is not below it")
  }
  END { if (faults) { print faults " include(s) break the layering" > "/dev/stderr"; exit 1 } }
'
