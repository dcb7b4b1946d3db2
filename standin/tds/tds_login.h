// The two messages that open a connection: PRELOGIN (answered with "no
// encryption") and LOGIN7 (user, password, database, packet size).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace standin {

// Checks that a PRELOGIN payload is well formed and returns the answer;
// nullopt when it is not, and the connection is to be closed.
std::optional<std::string> PreloginResponse(const std::string& request);

struct Login7 {
  uint32_t tdsVersion = 0;
  uint32_t packetSize = 4096;
  std::string hostName, userName, password, appName, serverName, database;  // UTF-8
};

// nullopt for a payload whose lengths or offsets do not hold together.
std::optional<Login7> ParseLogin7(const std::string& payload);

}  // namespace standin
