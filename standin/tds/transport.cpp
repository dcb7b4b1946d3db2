// The plain socket transport; see transport.h.
#include "tds/transport.h"

#include <sys/socket.h>

#include <cerrno>

namespace standin {

size_t SocketTransport::Receive(char* buffer, size_t size) {
  while (true) {
    ssize_t n = recv(fd_, buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return n > 0 ? static_cast<size_t>(n) : 0;
  }
}

bool SocketTransport::Send(const char* data, size_t size) {
  size_t sent = 0;
  while (sent < size) {
    ssize_t n = send(fd_, data + sent, size - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace standin
