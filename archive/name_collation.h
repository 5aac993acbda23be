// The order of names in packed tables and in the studio's tree.
//
// Letter case is ignored; names made of letters, digits and dots sort exactly by their upper-cased
// bytes; other ASCII punctuation sorts before digits and letters, as the Windows user-locale
// collation puts it; bytes above 127 sort after letters. Independent of the process locale, and a
// total order: names equal but for case fall back to their raw bytes, so sorting is deterministic.
#pragma once

#include <string_view>

namespace kestrel {

// Negative, zero or positive, like strcmp.
int CompareNamesIgnoreCase(std::string_view a, std::string_view b);

struct NameLessIgnoreCase {
  bool operator()(std::string_view a, std::string_view b) const { return CompareNamesIgnoreCase(a, b) < 0; }
};

}  // namespace kestrel
