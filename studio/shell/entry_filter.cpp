#include "studio/shell/entry_filter.h"

namespace kestrel::studio {

namespace {

// Whether `pattern` matches the whole of `name` from `n` on. Greedy with one backtrack point: the
// last `*` seen takes one more character whenever what follows it fails, so the work stays about
// the product of both lengths at worst and linear for ordinary patterns.
bool MatchesFrom(const QString& name, qsizetype n, const QString& pattern) {
  qsizetype p = 0;
  qsizetype starAt = -1;
  qsizetype starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || (pattern[p] != u'*' && pattern[p] == name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starAt = p++;
      starName = n;
    } else if (starAt >= 0) {
      p = starAt + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace

bool NameHoldsPattern(const QString& name, const QString& pattern) {
  if (!pattern.contains(u'*') && !pattern.contains(u'?')) return name.contains(pattern);
  // "Holds" is a match of the pattern with any run before and after it.
  return MatchesFrom(name, 0, QLatin1Char('*') + pattern + QLatin1Char('*'));
}

}  // namespace kestrel::studio
