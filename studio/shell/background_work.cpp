#include "studio/shell/background_work.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <exception>
#include <thread>

namespace kestrel::studio {

namespace {

// Until the progress dialog shows (and blocks the window as a modal one), the window must not take
// input either: a second command would start on a table the first is rewriting.
class InputBlocker : public QObject {
 public:
  explicit InputBlocker(const QWidget* dialog) : dialog_(dialog) { QCoreApplication::instance()->installEventFilter(this); }
  ~InputBlocker() override { QCoreApplication::instance()->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::Drop:
      case QEvent::ContextMenu: {
        // Windows pass their input on to their widgets, which are judged here.
        const auto* widget = qobject_cast<const QWidget*>(watched);
        return widget && widget != dialog_ && !dialog_->isAncestorOf(widget);
      }
      default: return false;
    }
  }

 private:
  const QWidget* dialog_;
};

}  // namespace

void RunInBackground(QWidget* parent, const QString& label, int total, const std::function<void(WorkProgress&)>& work) {
  WorkProgress progress;
  std::atomic<bool> finished{false};
  std::exception_ptr failure;

  QProgressDialog dialog(label, QObject::tr("Cancel"), 0, total, parent);
  dialog.setObjectName(QStringLiteral("WorkProgress"));
  dialog.setAccessibleName(label);
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setMinimumDuration(500);
  dialog.setAutoReset(false);
  dialog.setAutoClose(false);
  dialog.setValue(0);
  QObject::connect(&dialog, &QProgressDialog::canceled, [&progress] { progress.CancelRequested = true; });

  const InputBlocker blocker(&dialog);
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(30);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (finished) {
      loop.quit();
      return;
    }
    if (dialog.wasCanceled()) progress.CancelRequested = true;
    else dialog.setValue(std::min(progress.Done.load(), total));
  });

  std::thread worker([&] {
    try {
      work(progress);
    } catch (...) {
      failure = std::current_exception();
    }
    finished = true;
  });
  poll.start();
  if (!finished) loop.exec();
  worker.join();
  poll.stop();
  dialog.reset();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace kestrel::studio
