// The busy cursor for as long as a piece of work runs, restored on every way out of it.
#pragma once

#include <QApplication>

namespace kestrel::studio {

class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace kestrel::studio
