// The filter above the archive tree: does an entry's name hold what the user typed?
#pragma once

#include <QString>

namespace kestrel::studio {

// Both texts already case-folded. True when `name` holds `pattern` somewhere, where `*` in the
// pattern stands for any run of characters (none included) and `?` for exactly one. An empty
// pattern matches every name.
bool NameHoldsPattern(const QString& name, const QString& pattern);

}  // namespace kestrel::studio
