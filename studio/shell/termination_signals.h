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
  // Whether a signal came and asked the event loop to end.
  bool Received() const { return received_; }

 private:
  void Drain();
  QSocketNotifier* notifier_ = nullptr;
  bool received_ = false;
};

}  // namespace kestrel::studio
