// TLS on a client connection: the server's certificate and key (made at
// start or read from files), and the transport that runs the handshake
// inside PRELOGIN packets and afterwards carries TLS records on the
// socket, each holding TDS packets.
#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <string>

#include "tds/tds_packet.h"
#include "tds/transport.h"

namespace standin {

struct SslContextFree {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};
using SslContextPtr = std::unique_ptr<SSL_CTX, SslContextFree>;
using SslPtr = std::unique_ptr<SSL, SslFree>;

// The settings every connection shares; OpenSSL allows that once they are
// made. Throws std::runtime_error when the files cannot be used.
class TlsContext {
 public:
  // With both paths empty, a self-signed certificate over a new P-256 key.
  TlsContext(const std::string& certificateFile, const std::string& keyFile);
  SSL_CTX* get() const { return context_.get(); }

 private:
  SslContextPtr context_;
};

class TlsTransport final : public Transport {
 public:
  // `socket` carries the records and must outlive this transport.
  TlsTransport(const TlsContext& context, Transport& socket);
  // The server's side of the handshake, every flight both ways wrapped in
  // PRELOGIN messages on `plain`; false when it fails or the client breaks
  // the protocol (the failure's alert has then been sent).
  bool Handshake(PacketStream& plain);
  size_t Receive(char* buffer, size_t size) override;
  bool Send(const char* data, size_t size) override;
  bool HasBuffered() const override;

 private:
  std::string TakeWritten();
  bool Flush();
  bool Fill();

  Transport& socket_;
  SslPtr ssl_;
  BIO* in_ = nullptr;   // owned by ssl_: what arrived from the client
  BIO* out_ = nullptr;  // owned by ssl_: what is to be sent to it
};

}  // namespace standin
