// The byte stream under the TDS packets: the connected socket itself, or
// (tls.h) TLS records carried over it. The packet layer reads and writes
// through this seam and does not know which of the two it has.
#pragma once

#include <cstddef>

namespace standin {

class Transport {
 public:
  virtual ~Transport() = default;
  // Reads between one and `size` bytes; 0 when the peer closed the
  // connection or broke it.
  virtual size_t Receive(char* buffer, size_t size) = 0;
  // Sends all `size` bytes; false when the connection broke.
  virtual bool Send(const char* data, size_t size) = 0;
  // Whether bytes taken from the socket wait here to be received, which
  // polling the socket cannot see.
  virtual bool HasBuffered() const { return false; }
};

// The plain socket; it does not own the descriptor.
class SocketTransport final : public Transport {
 public:
  explicit SocketTransport(int fd) : fd_(fd) {}
  size_t Receive(char* buffer, size_t size) override;
  bool Send(const char* data, size_t size) override;

 private:
  int fd_;
};

}  // namespace standin
