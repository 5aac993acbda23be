// Long work off the interface thread: a worker runs it while the window keeps drawing, and a
// progress dialog with Cancel appears once it has run for half a second.
#pragma once

#include <QString>
#include <atomic>
#include <functional>

class QWidget;

namespace kestrel::studio {

// What the worker and the window share: how far the work is, and whether Cancel was pressed.
struct WorkProgress {
  std::atomic<int> Done{0};
  std::atomic<bool> CancelRequested{false};
};

// Runs `work` on a worker thread and returns when it ends; meanwhile the window's events are
// handled (a nested event loop; input to other windows is blocked by the modal progress dialog).
// `total` steps make the bar; the work counts them in Done and looks at CancelRequested between
// steps. An exception the work throws is thrown again here, on the interface thread.
void RunInBackground(QWidget* parent, const QString& label, int total, const std::function<void(WorkProgress&)>& work);

}  // namespace kestrel::studio
