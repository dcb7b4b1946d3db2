// The accept loop; see listener.h.
#include "tds/listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace standin {

Listener::Listener(int port) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  int one = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd_, 64) != 0) {
    std::string text = std::strerror(errno);
    close(fd_);
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + text);
  }
  socklen_t length = sizeof addr;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &length);
  port_ = ntohs(addr.sin_port);
}

Listener::~Listener() {
  if (fd_ >= 0) close(fd_);
}

void Listener::Serve(const ServerConfig& config) {
  int spid = 51;
  while (true) {
    int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      if (errno != EINTR) std::fprintf(stderr, "accept: %s\n", std::strerror(errno));
      continue;
    }
    // Requests and answers are small; without this every round trip can
    // wait for a delayed acknowledgement.
    int one = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    int id = spid++;
    if (spid > 32000) spid = 51;
    try {
      std::thread(ServeConnection, client, std::cref(config), id).detach();
    } catch (const std::system_error& e) {
      std::fprintf(stderr, "no thread for a connection: %s\n", e.what());
      close(client);
    }
  }
}

void WritePortFile(const std::string& path, int port) {
  std::string temporary = path + ".tmp";
  FILE* f = std::fopen(temporary.c_str(), "w");
  if (!f) throw std::runtime_error("cannot write " + temporary);
  std::fprintf(f, "%d\n", port);
  if (std::fclose(f) != 0 || std::rename(temporary.c_str(), path.c_str()) != 0) {
    throw std::runtime_error("cannot write " + path);
  }
}

}  // namespace standin
