// The two messages that open a connection: PRELOGIN (which settles the
// encryption) and LOGIN7 (user, password, database, packet size).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace standin {

// How the connection goes on after the answer to PRELOGIN.
enum class Encryption {
  None,       // in clear throughout
  LoginOnly,  // TLS for the login packet, then in clear again
  Full,       // TLS for the rest of the connection
  Refused,    // the server closes the connection after its answer
};

struct PreloginAnswer {
  std::string payload;
  Encryption encryption = Encryption::None;
};

// Checks that a PRELOGIN payload is well formed and answers it; the
// server can always encrypt, and insists on it when `forceEncryption`.
// nullopt when the payload is not well formed, and the connection is to
// be closed.
std::optional<PreloginAnswer> AnswerPrelogin(const std::string& request, bool forceEncryption);

struct Login7 {
  uint32_t tdsVersion = 0;
  uint32_t packetSize = 4096;
  std::string hostName, userName, password, appName, serverName, database;  // UTF-8
};

// nullopt for a payload whose lengths or offsets do not hold together.
std::optional<Login7> ParseLogin7(const std::string& payload);

}  // namespace standin
