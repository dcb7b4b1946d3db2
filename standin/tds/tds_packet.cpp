// Packet framing; see tds_packet.h.
#include "tds/tds_packet.h"

namespace standin {
namespace {

constexpr size_t kHeaderSize = 8;
// A request larger than this is no client's honest request; refusing it
// keeps a hostile peer from exhausting memory.
constexpr size_t kMaxMessageSize = 16 * 1024 * 1024;

}  // namespace

bool PacketStream::ReadExactly(char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    size_t n = transport_->Receive(buffer + done, size - done);
    if (n == 0) return false;
    done += n;
  }
  return true;
}

PacketStream::ReadResult PacketStream::Read(ClientMessage& message) {
  message.payload.clear();
  bool first = true;
  while (true) {
    unsigned char header[kHeaderSize];
    if (!ReadExactly(reinterpret_cast<char*>(header), kHeaderSize)) {
      return first ? ReadResult::Closed : ReadResult::Malformed;
    }
    uint8_t type = header[0];
    uint8_t status = header[1];
    size_t length = (static_cast<size_t>(header[2]) << 8) | header[3];
    // Packets are at most 32767 bytes long, and a client sends only these
    // types; anything else is garbage, refused before waiting for a body.
    if (length < kHeaderSize || length > 32768) return ReadResult::Malformed;
    if (type != kSqlBatch && type != kRpc && type != kAttention && type != 0x07 &&
        type != kTransactionManager && type != kLogin7 && type != 0x11 && type != kPrelogin) {
      return ReadResult::Malformed;
    }
    if (first) {
      message.type = type;
    } else if (type != message.type) {
      return ReadResult::Malformed;
    }
    first = false;
    size_t body = length - kHeaderSize;
    if (message.payload.size() + body > kMaxMessageSize) return ReadResult::Malformed;
    size_t at = message.payload.size();
    message.payload.resize(at + body);
    if (body > 0 && !ReadExactly(&message.payload[at], body)) return ReadResult::Malformed;
    if (status & 0x01) return ReadResult::Ok;  // end of message
  }
}

void PacketStream::DiscardUntilClosed() {
  char buffer[4096];
  while (transport_->Receive(buffer, sizeof buffer) > 0) {
  }
}

bool PacketStream::Write(uint8_t type, const std::string& payload, const Cut& cut) {
  size_t room = packetSize_ - kHeaderSize;
  size_t offset = 0;
  uint8_t packetId = 1;
  const std::string* message = &payload;
  std::string shortened;
  std::string packet;
  do {
    std::string rest;
    if (cut && message == &payload && cut(offset, rest)) {
      shortened.assign(payload, 0, offset);
      shortened += rest;
      message = &shortened;
    }
    size_t chunk = message->size() - offset < room ? message->size() - offset : room;
    bool last = offset + chunk == message->size();
    size_t length = chunk + kHeaderSize;
    packet.assign(1, static_cast<char>(type));
    packet += static_cast<char>(last ? 0x01 : 0x00);
    packet += static_cast<char>(length >> 8);
    packet += static_cast<char>(length & 0xFF);
    packet += static_cast<char>(spid_ >> 8);
    packet += static_cast<char>(spid_ & 0xFF);
    packet += static_cast<char>(packetId++);
    packet += '\0';
    packet.append(*message, offset, chunk);
    if (!transport_->Send(packet.data(), packet.size())) return false;
    offset += chunk;
  } while (offset < message->size());
  return true;
}

}  // namespace standin
