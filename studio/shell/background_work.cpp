#include "studio/shell/background_work.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <thread>

namespace kestrel::studio {

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

  QEventLoop loop;
  QTimer poll;
  poll.setInterval(30);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (finished) {
      loop.quit();
      return;
    }
    if (!dialog.wasCanceled()) dialog.setValue(std::min(progress.Done.load(), total));
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
