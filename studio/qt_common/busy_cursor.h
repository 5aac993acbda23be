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

// The usual cursor while the user is asked or told something in the middle of busy work.
class UsualCursor {
 public:
  UsualCursor() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
  ~UsualCursor() { QApplication::restoreOverrideCursor(); }
  UsualCursor(const UsualCursor&) = delete;
  UsualCursor& operator=(const UsualCursor&) = delete;
};

}  // namespace kestrel::studio
