#include "studio/shell/recent_files.h"

namespace kestrel::studio {

void RecentFiles::Load(const QStringList& stored, const std::function<bool(const QString&)>& exists) {
  items_.clear();
  for (const QString& path : stored) {
    if (items_.size() >= kCapacity) break;
    if (!exists(path) || items_.contains(path, Qt::CaseInsensitive)) continue;
    items_ << path;
  }
}

void RecentFiles::Add(const QString& path) {
  Remove(path);
  items_.prepend(path);
  while (items_.size() > kCapacity) items_.removeLast();
}

void RecentFiles::Remove(const QString& path) {
  items_.removeIf([&](const QString& item) { return item.compare(path, Qt::CaseInsensitive) == 0; });
}

}  // namespace kestrel::studio
