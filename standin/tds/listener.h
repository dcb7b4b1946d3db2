// The listening socket on 127.0.0.1 and the accept loop that gives each
// client connection a thread of its own.
#pragma once

#include <string>

#include "tds/session.h"

namespace standin {

class Listener {
 public:
  // Binds 127.0.0.1:port (0 picks a free port). Throws std::runtime_error.
  explicit Listener(int port);
  ~Listener();
  int port() const { return port_; }
  // Accepts connections until the process ends.
  [[noreturn]] void Serve(const ServerConfig& config);

 private:
  int fd_ = -1;
  int port_ = 0;
};

// Writes the port to `path` through a temporary file and a rename, so a
// reader sees either nothing or the whole number.
void WritePortFile(const std::string& path, int port);

}  // namespace standin
