// The client watch; see client_watch.h.
#include "tds/client_watch.h"

#include <poll.h>

#include <cerrno>
#include <climits>

namespace standin {

bool ClientWatch::Poll(int timeoutMs) {
  if (requested_) return true;
  if (stream_.HasBuffered()) return requested_ = true;
  pollfd watched{fd_, POLLIN, 0};
  int ready = poll(&watched, 1, timeoutMs);
  // A signal only cuts the wait short (Await waits on); a socket that
  // fails to poll otherwise is as good as gone.
  if (ready > 0 || (ready < 0 && errno != EINTR)) requested_ = true;
  return requested_;
}

bool ClientWatch::Requested() {
  return Poll(0);
}

bool ClientWatch::Await(std::chrono::milliseconds wait) {
  auto deadline = std::chrono::steady_clock::now() + wait;
  while (!requested_) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    Poll(left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count()));
  }
  return true;
}

}  // namespace standin
