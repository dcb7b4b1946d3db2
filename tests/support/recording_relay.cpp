// The recording relay and the reading of its recordings; see
// recording_relay.h.
#include "recording_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace testsupport {
namespace {

// How often the relay's threads look whether the test is done with them.
constexpr int kPollMs = 20;

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

int ConnectTo(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(port);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

}  // namespace

RecordingRelay::RecordingRelay(int targetPort) : targetPort_(targetPort) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener_, 16) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (listener_ >= 0) close(listener_);
    throw std::runtime_error("the relay cannot listen");
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread(&RecordingRelay::AcceptLoop, this);
}

RecordingRelay::~RecordingRelay() {
  stopping_ = true;
  acceptor_.join();
  for (std::thread& pump : pumps_) pump.join();
  close(listener_);
}

std::vector<RecordingRelay::Recording> RecordingRelay::Recordings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return recordings_;
}

void RecordingRelay::AcceptLoop() {
  while (!stopping_) {
    pollfd wait{listener_, POLLIN, 0};
    if (poll(&wait, 1, kPollMs) <= 0) continue;
    int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    int server = ConnectTo(targetPort_);
    if (server < 0) {
      close(client);
      continue;
    }
    size_t index;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      index = recordings_.size();
      recordings_.emplace_back();
    }
    pumps_.emplace_back(&RecordingRelay::Pump, this, client, server, index);
  }
}

// Passes bytes both ways until both sides have closed their ends (each
// close passed on as one) or the relay stops.
void RecordingRelay::Pump(int client, int server, size_t index) {
  pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
  int peers[2] = {server, client};
  int open = 2;
  char buffer[16384];
  while (open > 0 && !stopping_) {
    if (poll(ends, 2, kPollMs) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (ends[i].fd < 0 || !(ends[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = recv(ends[i].fd, buffer, sizeof buffer, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        shutdown(peers[i], SHUT_WR);
        ends[i].fd = -1;
        --open;
        continue;
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        (i == 0 ? recordings_[index].fromClient : recordings_[index].fromServer)
            .append(buffer, static_cast<size_t>(n));
      }
      for (ssize_t sent = 0; sent < n;) {
        ssize_t m = send(peers[i], buffer + sent, static_cast<size_t>(n - sent), MSG_NOSIGNAL);
        if (m < 0 && errno == EINTR) continue;
        if (m <= 0) break;
        sent += m;
      }
    }
  }
  close(client);
  close(server);
}

namespace {

size_t Be16(const std::string& bytes, size_t at) {
  return (static_cast<size_t>(static_cast<unsigned char>(bytes[at])) << 8) |
         static_cast<unsigned char>(bytes[at + 1]);
}

// The size of the whole TLS record (header and body) at `at`; 0 when
// there is none or it is cut off.
size_t TlsRecordAt(const std::string& bytes, size_t at) {
  if (at + 5 > bytes.size()) return 0;
  unsigned char type = static_cast<unsigned char>(bytes[at]);
  if (type < 0x14 || type > 0x17 || bytes[at + 1] != 3) return 0;
  size_t size = 5 + Be16(bytes, at + 3);
  return at + size <= bytes.size() ? size : 0;
}

// The size of the whole TDS packet at `at`; 0 when it is cut off.
size_t PacketAt(const std::string& bytes, size_t at) {
  if (at + 8 > bytes.size()) return 0;
  size_t size = Be16(bytes, at + 2);
  return size >= 8 && at + size <= bytes.size() ? size : 0;
}

constexpr char kPreloginType = 0x12;
constexpr char kApplicationData = 0x17;

}  // namespace

WireParts ReadWire(const std::string& bytes) {
  WireParts parts;
  size_t at = 0;
  for (bool last = false; !last;) {
    size_t size = PacketAt(bytes, at);
    if (size == 0) return parts;
    last = (bytes[at + 1] & 0x01) != 0;
    at += size;
  }
  std::string handshake;
  while (at < bytes.size() && bytes[at] == kPreloginType) {
    size_t size = PacketAt(bytes, at);
    if (size == 0) return parts;
    handshake.append(bytes, at + 8, size - 8);
    ++parts.handshakePackets;
    at += size;
  }
  for (size_t h = 0; h < handshake.size(); ++parts.handshakeRecords) {
    size_t size = TlsRecordAt(handshake, h);
    if (size == 0) return parts;
    h += size;
  }
  while (size_t size = TlsRecordAt(bytes, at)) {
    ++(bytes[at] == kApplicationData ? parts.applicationRecords : parts.otherRecords);
    at += size;
  }
  parts.clear = bytes.substr(at);
  parts.wellFormed = true;
  return parts;
}

std::string Utf16(const std::string& text) {
  std::string wide;
  for (char c : text) {
    wide += c;
    wide += '\0';
  }
  return wide;
}

}  // namespace testsupport
