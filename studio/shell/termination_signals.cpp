#include "studio/shell/termination_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrel::studio {

namespace {

// A signal handler may do almost nothing safely; it writes one byte to this pair, and the event
// loop reads it at its next turn.
int g_pair[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void WakeEventLoop(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(g_pair[0], &byte, 1);
  errno = saved;
}

}  // namespace

QuitOnTerminationSignals::QuitOnTerminationSignals(QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pair) != 0) return;
  notifier_ = new QSocketNotifier(g_pair[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QuitOnTerminationSignals::Drain);
  struct sigaction action = {};
  action.sa_handler = WakeEventLoop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

QuitOnTerminationSignals::~QuitOnTerminationSignals() {
  if (!notifier_) return;
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
  ::close(g_pair[0]);
  ::close(g_pair[1]);
  g_pair[0] = g_pair[1] = -1;
}

void QuitOnTerminationSignals::Drain() {
  char bytes[16];
  while (::read(g_pair[1], bytes, sizeof bytes) > 0) {
  }
  received_ = true;
  // Ends every running loop, a modal dialog's too, so control unwinds to main().
  QCoreApplication::exit(0);
}

}  // namespace kestrel::studio
