// Watches a client while its request is served. During a request a client
// may send nothing but an attention, so any input then (or the end of the
// connection) means the request is to stop; the watch notices it without
// reading, so that whoever holds the engine never blocks on the socket.
#pragma once

#include <chrono>

#include "sql/translator.h"
#include "tds/tds_packet.h"

namespace standin {

class ClientWatch final : public Interruption {
 public:
  // `fd` is the connection's socket; `stream` tells of bytes its transport
  // (TLS) has already taken from the socket but not yet handed on.
  ClientWatch(int fd, const PacketStream& stream) : fd_(fd), stream_(stream) {}

  // Whether the client has sent something or gone; once true it stays so
  // until Reset.
  bool Requested() override;
  // Waits up to `wait` for the client; true when it sent something or went.
  bool Await(std::chrono::milliseconds wait);
  // The next request starts: what arrived has been read.
  void Reset() { requested_ = false; }

 private:
  bool Poll(int timeoutMs);

  int fd_;
  const PacketStream& stream_;
  bool requested_ = false;
};

}  // namespace standin
