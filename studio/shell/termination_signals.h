// SIGTERM, SIGINT and SIGHUP end the studio as closing its window does: the event loop quits, so
// the window is destroyed in order and writes its settings and recent files.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace kestrel::studio {

class QuitOnTerminationSignals : public QObject {
 public:
  // Installs the handlers; one object per process.
  explicit QuitOnTerminationSignals(QObject* parent = nullptr);
  ~QuitOnTerminationSignals() override;

 private:
  void Drain();
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace kestrel::studio
