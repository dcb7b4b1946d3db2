// PRELOGIN and LOGIN7; see tds_login.h.
#include "tds/tds_login.h"

#include "sql/charset.h"
#include "tds/tds_tokens.h"

namespace standin {
namespace {

uint16_t Be16(const std::string& s, size_t at) {
  return static_cast<uint16_t>((static_cast<unsigned char>(s[at]) << 8) |
                               static_cast<unsigned char>(s[at + 1]));
}
uint16_t Le16(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) |
                               (static_cast<unsigned char>(s[at + 1]) << 8));
}
uint32_t Le32(const std::string& s, size_t at) {
  return Le16(s, at) | (static_cast<uint32_t>(Le16(s, at + 2)) << 16);
}

enum PreloginOption : uint8_t {
  kVersion = 0,
  kEncryption = 1,
  kInstance = 2,
  kThreadId = 3,
  kMars = 4,
  kTerminator = 0xFF
};
enum EncryptionValue : uint8_t {
  kEncryptOff = 0,  // only the login packet
  kEncryptOn = 1,
  kEncryptNotSupported = 2,
  kEncryptRequired = 3,
};
// A client may add this to its value to offer a certificate of its own,
// which this server does not ask for.
constexpr uint8_t kClientCertificate = 0x80;

struct Negotiated {
  uint8_t answer;
  Encryption encryption;
};

// The server's answer to the client's encryption value. A client that
// cannot encrypt is refused when the server insists; one that wants
// encryption gets it for the whole connection, as does every client when
// the server insists; otherwise the login alone is encrypted.
std::optional<Negotiated> Negotiate(uint8_t client, bool forceEncryption) {
  switch (client & ~kClientCertificate) {
    case kEncryptOff:
      return forceEncryption ? Negotiated{kEncryptRequired, Encryption::Full}
                             : Negotiated{kEncryptOff, Encryption::LoginOnly};
    case kEncryptOn:
    case kEncryptRequired:
      return Negotiated{kEncryptOn, Encryption::Full};
    case kEncryptNotSupported:
      return forceEncryption ? Negotiated{kEncryptRequired, Encryption::Refused}
                             : Negotiated{kEncryptNotSupported, Encryption::None};
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<PreloginAnswer> AnswerPrelogin(const std::string& request, bool forceEncryption) {
  // The option table: (token, offset, length) until the terminator, each
  // pointing inside the payload. A client that does not state its
  // encryption has it off.
  uint8_t clientEncryption = kEncryptOff;
  size_t at = 0;
  while (true) {
    if (at >= request.size()) return std::nullopt;
    uint8_t token = static_cast<uint8_t>(request[at]);
    if (token == kTerminator) break;
    if (at + 5 > request.size()) return std::nullopt;
    size_t offset = Be16(request, at + 1);
    size_t length = Be16(request, at + 3);
    if (offset + length > request.size()) return std::nullopt;
    if (token == kEncryption) {
      if (length != 1) return std::nullopt;
      clientEncryption = static_cast<uint8_t>(request[offset]);
    }
    at += 5;
  }
  auto negotiated = Negotiate(clientEncryption, forceEncryption);
  if (!negotiated) return std::nullopt;

  struct Option {
    uint8_t token;
    std::string data;
  };
  const Option options[] = {
      {kVersion, std::string(kServerVersion, 4) + std::string(2, '\0')},
      {kEncryption, std::string(1, static_cast<char>(negotiated->answer))},
      {kInstance, std::string(1, '\0')},
      {kThreadId, std::string()},
      {kMars, std::string(1, '\0')},
  };
  std::string table, data;
  size_t dataStart = sizeof(options) / sizeof(options[0]) * 5 + 1;
  for (const Option& o : options) {
    size_t offset = dataStart + data.size();
    table += static_cast<char>(o.token);
    table += static_cast<char>(offset >> 8);
    table += static_cast<char>(offset & 0xFF);
    table += static_cast<char>(o.data.size() >> 8);
    table += static_cast<char>(o.data.size() & 0xFF);
    data += o.data;
  }
  table += static_cast<char>(kTerminator);
  return PreloginAnswer{table + data, negotiated->encryption};
}

std::optional<Login7> ParseLogin7(const std::string& p) {
  constexpr size_t kFixed = 94;
  if (p.size() < kFixed) return std::nullopt;
  uint32_t declared = Le32(p, 0);
  if (declared > p.size() || declared < kFixed) return std::nullopt;
  Login7 login;
  login.tdsVersion = Le32(p, 4);
  login.packetSize = Le32(p, 8);
  // Offset and length (in characters) of each variable field.
  auto field = [&](size_t at, std::string& out, bool password) {
    size_t offset = Le16(p, at);
    size_t chars = Le16(p, at + 2);
    if (chars == 0) return true;
    if (offset + chars * 2 > declared) return false;
    std::string raw = p.substr(offset, chars * 2);
    if (password) {
      // Each byte had its nibbles swapped and was XORed with 0xA5.
      for (char& c : raw) {
        unsigned char b = static_cast<unsigned char>(c) ^ 0xA5;
        c = static_cast<char>(((b & 0x0F) << 4) | (b >> 4));
      }
    }
    out = Utf16ToUtf8(raw);
    return true;
  };
  std::string ignored;
  bool ok = field(36, login.hostName, false) && field(40, login.userName, false) &&
            field(44, login.password, true) && field(48, login.appName, false) &&
            field(52, login.serverName, false) && field(60, ignored, false) &&
            field(64, ignored, false) && field(68, login.database, false);
  if (!ok) return std::nullopt;
  return login;
}

}  // namespace standin
