// TDS packet framing over a transport (the socket, or TLS over it):
// reading one client message (packets up to the end-of-message flag) and
// writing a response split into packets of the negotiated size.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tds/transport.h"

namespace standin {

enum PacketType : uint8_t {
  kSqlBatch = 0x01,
  kRpc = 0x03,
  kTabularResult = 0x04,
  kAttention = 0x06,
  kTransactionManager = 0x0E,
  kLogin7 = 0x10,
  kPrelogin = 0x12,
};

struct ClientMessage {
  uint8_t type = 0;
  std::string payload;
};

class PacketStream {
 public:
  enum class ReadResult { Ok, Closed, Malformed };

  explicit PacketStream(Transport& transport) : transport_(&transport) {}
  // Carries the following packets over `transport` instead: TLS once it
  // is negotiated, the socket again after a login-only encryption.
  void Use(Transport& transport) { transport_ = &transport; }
  ReadResult Read(ClientMessage& message);
  // Asked before each packet with the bytes sent so far: true, with the
  // bytes to send instead of the rest of the message in `rest`, to cut the
  // message short there.
  using Cut = std::function<bool(size_t sent, std::string& rest)>;
  // Sends `payload` as one message; false when the connection broke.
  bool Write(uint8_t type, const std::string& payload, const Cut& cut = nullptr);
  // Reads and drops whatever arrives until the peer closes.
  void DiscardUntilClosed();
  // Whether the transport holds received bytes not yet read.
  bool HasBuffered() const { return transport_->HasBuffered(); }
  void SetPacketSize(size_t size) { packetSize_ = size; }
  void SetSpid(uint16_t spid) { spid_ = spid; }

 private:
  bool ReadExactly(char* buffer, size_t size);

  Transport* transport_;
  size_t packetSize_ = 4096;
  uint16_t spid_ = 0;
};

}  // namespace standin
