// Stop requests on POSIX: SIGTERM, SIGINT and SIGHUP. The handler only
// records the signal and wakes a watcher thread through a pipe; the
// watcher acts on it, outside the handler, where anything may be called.
#include <errno.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <system_error>

#include "shared/stop_requests.h"

namespace tralvo {

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

std::atomic<int> g_signal{0};
int g_wake[2] = {-1, -1};
struct sigaction g_previous[3];

void OnSignal(int number) {
  int none = 0;
  if (!g_signal.compare_exchange_strong(none, number)) {
    // The second request: end at once, as the signal would have, once the
    // writes in progress are whole. A write on this thread holds the signal
    // off until it is done; one beside it is waited for here.
    ::signal(number, SIG_DFL);
    while (StopRequests::WritesInProgress() > 0) {
      const timespec pause{0, 1000 * 1000};
      ::nanosleep(&pause, nullptr);
    }
    ::raise(number);
    return;
  }
  const int saved = errno;
  const char wake = 1;
  ssize_t ignored = ::write(g_wake[1], &wake, 1);
  (void)ignored;
  errno = saved;
}

// Reads the pipe until told to end (a zero byte or a closed pipe).
void Watch(StopRequests* requests) {
  for (;;) {
    char byte = 0;
    ssize_t got = ::read(g_wake[0], &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || byte == 0) return;
    requests->Fire();
  }
}

}  // namespace

StopRequests::StopRequests() {
  if (::pipe(g_wake) != 0) return;
  // The watcher takes no signal itself, so a signal interrupts what the
  // run is waiting on, never the watcher's read. Without a watcher the
  // signals keep their defaults.
  watcher_ = StartQuietThread([this] { Watch(this); });
  if (!watcher_.joinable()) {
    ::close(g_wake[0]);
    ::close(g_wake[1]);
    g_wake[0] = g_wake[1] = -1;
    return;
  }

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // A call interrupted by the signal carries on; the stop is seen between
  // bookings, and a wait on the server ends through the watcher's cancel.
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &action, &g_previous[i]);
  Handling(true);
}

StopRequests::~StopRequests() {
  if (!watcher_.joinable()) return;
  Handling(false);
  for (size_t i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
  const char end = 0;
  ssize_t ignored = ::write(g_wake[1], &end, 1);
  (void)ignored;
  watcher_.join();
  ::close(g_wake[0]);
  ::close(g_wake[1]);
  g_wake[0] = g_wake[1] = -1;
}

int StopRequests::exitStatus() const {
  return 128 + g_signal.load();
}

std::thread StartQuietThread(std::function<void()> work) noexcept {
  // The new thread starts with the signal mask of the one that makes it.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &previous);
  std::thread thread;
  try {
    thread = std::thread(std::move(work));
  } catch (const std::system_error&) {
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return thread;
}

}  // namespace tralvo
