// TLS for client connections; see tls.h.
#include "tds/tls.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <climits>
#include <stdexcept>

namespace standin {
namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
struct NumberFree {
  void operator()(BIGNUM* number) const { BN_free(number); }
};
struct ExtensionFree {
  void operator()(X509_EXTENSION* extension) const { X509_EXTENSION_free(extension); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertificatePtr = std::unique_ptr<X509, CertificateFree>;
using NumberPtr = std::unique_ptr<BIGNUM, NumberFree>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, ExtensionFree>;

// A handshake takes two flights from the client; a few more allow for a
// client that splits its flights, and none loops for ever.
constexpr int kMaxHandshakeRounds = 8;
// Reads from the socket: one whole TLS record with its header.
constexpr size_t kReadChunk = 16 * 1024 + 512;

[[noreturn]] void Fail(const std::string& what) {
  std::string text = what;
  if (unsigned long code = ERR_get_error()) {
    char reason[256];
    ERR_error_string_n(code, reason, sizeof reason);
    text += ": ";
    text += reason;
  }
  ERR_clear_error();
  throw std::runtime_error(text);
}

// A certificate for this run only, as a server that was given none makes
// at start; a client that checks certificates needs one given with
// --certificate.
void UseSelfSignedCertificate(SSL_CTX* context) {
  KeyPtr key(EVP_EC_gen("P-256"));
  CertificatePtr certificate(X509_new());
  if (!key || !certificate) Fail("cannot make a key");
  unsigned char serial[8];
  if (RAND_bytes(serial, sizeof serial) != 1) Fail("no random serial number");
  serial[0] &= 0x7F;  // a positive number
  NumberPtr number(BN_bin2bn(serial, sizeof serial, nullptr));
  bool made = number && BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(certificate.get()));
  X509_NAME* name = X509_get_subject_name(certificate.get());
  made =
      made && X509_set_version(certificate.get(), 2) &&
      X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -24L * 3600) &&
      X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 365L * 24 * 3600) &&
      X509_set_pubkey(certificate.get(), key.get()) &&
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0) &&
      X509_set_issuer_name(certificate.get(), name);
  ExtensionPtr names(
      X509V3_EXT_conf_nid(nullptr, nullptr, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1"));
  made = made && names && X509_add_ext(certificate.get(), names.get(), -1) &&
         X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0;
  if (!made) Fail("cannot make a certificate");
  if (SSL_CTX_use_certificate(context, certificate.get()) != 1 ||
      SSL_CTX_use_PrivateKey(context, key.get()) != 1) {
    Fail("cannot use the certificate made");
  }
}

}  // namespace

TlsContext::TlsContext(const std::string& certificateFile, const std::string& keyFile)
    : context_(SSL_CTX_new(TLS_server_method())) {
  SSL_CTX* context = context_.get();
  if (!context) Fail("cannot set up TLS");
  // The handshake inside PRELOGIN is TLS 1.2 at most on the server; 1.3
  // would also send session tickets after it, which a client that
  // encrypts only its login no longer reads as TLS. Resumption, tickets
  // and renegotiation have no use on a connection that lives once.
  if (SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) != 1 ||
      SSL_CTX_set_max_proto_version(context, TLS1_2_VERSION) != 1) {
    Fail("cannot limit TLS to version 1.2");
  }
  SSL_CTX_set_options(context, SSL_OP_NO_TICKET | SSL_OP_NO_RENEGOTIATION);
  SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
  if (certificateFile.empty()) {
    UseSelfSignedCertificate(context);
    return;
  }
  if (SSL_CTX_use_certificate_chain_file(context, certificateFile.c_str()) != 1) {
    Fail("cannot use the certificate " + certificateFile);
  }
  // This also checks that the key belongs to the certificate.
  if (SSL_CTX_use_PrivateKey_file(context, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    Fail("cannot use the key " + keyFile + " with the certificate " + certificateFile);
  }
}

TlsTransport::TlsTransport(const TlsContext& context, Transport& socket)
    : socket_(socket), ssl_(SSL_new(context.get())) {
  if (!ssl_) return;
  in_ = BIO_new(BIO_s_mem());
  out_ = BIO_new(BIO_s_mem());
  if (!in_ || !out_) {
    BIO_free(in_);
    BIO_free(out_);
    ssl_.reset();
    return;
  }
  SSL_set_bio(ssl_.get(), in_, out_);
  SSL_set_accept_state(ssl_.get());
}

bool TlsTransport::Handshake(PacketStream& plain) {
  if (!ssl_) return false;
  for (int round = 0; round < kMaxHandshakeRounds; ++round) {
    int result = SSL_do_handshake(ssl_.get());
    // The server's flight, or the alert that ends a failed handshake.
    std::string flight = TakeWritten();
    if (!flight.empty() && !plain.Write(kPrelogin, flight)) return false;
    if (result == 1) return true;
    if (SSL_get_error(ssl_.get(), result) != SSL_ERROR_WANT_READ) break;
    ClientMessage message;
    if (plain.Read(message) != PacketStream::ReadResult::Ok || message.type != kPrelogin) break;
    int size = static_cast<int>(message.payload.size());
    if (size > 0 && BIO_write(in_, message.payload.data(), size) != size) break;
  }
  ERR_clear_error();
  return false;
}

std::string TlsTransport::TakeWritten() {
  std::string bytes(BIO_ctrl_pending(out_), '\0');
  if (!bytes.empty() &&
      BIO_read(out_, &bytes[0], static_cast<int>(bytes.size())) != static_cast<int>(bytes.size())) {
    return std::string();
  }
  return bytes;
}

bool TlsTransport::Flush() {
  std::string bytes = TakeWritten();
  return bytes.empty() || socket_.Send(bytes.data(), bytes.size());
}

bool TlsTransport::Fill() {
  char chunk[kReadChunk];
  size_t n = socket_.Receive(chunk, sizeof chunk);
  return n > 0 && BIO_write(in_, chunk, static_cast<int>(n)) == static_cast<int>(n);
}

size_t TlsTransport::Receive(char* buffer, size_t size) {
  int wanted = size > INT_MAX ? INT_MAX : static_cast<int>(size);
  while (true) {
    int n = SSL_read(ssl_.get(), buffer, wanted);
    if (n > 0) return static_cast<size_t>(n);
    if (SSL_get_error(ssl_.get(), n) != SSL_ERROR_WANT_READ) {
      // The client's close_notify, or a record that fails its check: the
      // alert OpenSSL answers with goes out before the connection ends.
      Flush();
      ERR_clear_error();
      return 0;
    }
    if (!Fill()) return 0;
  }
}

bool TlsTransport::Send(const char* data, size_t size) {
  while (size > 0) {
    int chunk = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    int n = SSL_write(ssl_.get(), data, chunk);
    if (n <= 0) {
      ERR_clear_error();
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return Flush();
}

bool TlsTransport::HasBuffered() const {
  return ssl_ && (SSL_pending(ssl_.get()) > 0 || BIO_ctrl_pending(in_) > 0);
}

}  // namespace standin
