// A relay on 127.0.0.1 between a client and the stand-in that records
// every byte each way, so a test can see what travelled on the wire; and
// the reading of such a recording as TDS packets and TLS records.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class RecordingRelay {
 public:
  // Listens on a free port and passes each connection on to `targetPort`.
  explicit RecordingRelay(int targetPort);
  // Stops listening, ends the connections still open and waits for them.
  ~RecordingRelay();
  RecordingRelay(const RecordingRelay&) = delete;
  RecordingRelay& operator=(const RecordingRelay&) = delete;

  int port() const { return port_; }

  struct Recording {
    std::string fromClient;
    std::string fromServer;
  };
  // Every connection so far, in the order they came.
  std::vector<Recording> Recordings() const;

 private:
  void AcceptLoop();
  void Pump(int client, int server, size_t index);

  int listener_ = -1;
  int port_ = 0;
  int targetPort_;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<Recording> recordings_;
  std::vector<std::thread> pumps_;  // touched by the accepting thread only, until it ends
  std::thread acceptor_;
};

// One direction of a recorded connection, read from its start: the first
// message in clear (PRELOGIN or its answer), then the PRELOGIN packets
// that carry the TLS handshake, then TLS records, then whatever follows in
// clear. `wellFormed` is false when a packet or record is cut off or the
// handshake packets hold anything but whole TLS records.
struct WireParts {
  bool wellFormed = false;
  int handshakePackets = 0;
  int handshakeRecords = 0;
  int applicationRecords = 0;  // TLS records of application data
  int otherRecords = 0;        // after the handshake: alerts and the like
  std::string clear;           // the bytes after the last TLS record
};
WireParts ReadWire(const std::string& bytes);

// `text` as a batch carries it: UTF-16LE.
std::string Utf16(const std::string& text);

}  // namespace testsupport
