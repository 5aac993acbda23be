// The list of recently opened archives: at most four full paths, newest first, compared without
// regard to letter case.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace kestrel::studio {

class RecentFiles {
 public:
  static constexpr int kCapacity = 4;

  const QStringList& Items() const { return items_; }
  // Loads a stored list, keeping only paths for which `exists` holds, at most kCapacity of them.
  void Load(const QStringList& stored, const std::function<bool(const QString&)>& exists);
  // Puts `path` at the top; an entry equal but for case moves up instead of doubling; the fifth falls off.
  void Add(const QString& path);
  void Remove(const QString& path);

 private:
  QStringList items_;
};

}  // namespace kestrel::studio
