// One client connection from PRELOGIN to its end: the login, then SQL
// batches and attentions until the client goes or breaks the protocol.
#pragma once

#include <string>

#include "sql/engine.h"
#include "tds/faults.h"
#include "tds/server_stats.h"
#include "tds/statement_log.h"
#include "tds/tls.h"

namespace standin {

struct ServerConfig {
  std::string user;
  std::string password;
  std::string database;  // the one database hosted
  Engine* engine = nullptr;
  StatementLog* log = nullptr;
  ServerStats* stats = nullptr;
  const TlsContext* tls = nullptr;
  bool forceEncryption = false;  // a client that cannot encrypt is refused
  FaultPlan faults;
};

// Serves the connected socket `fd` and closes it. Never throws: whatever
// goes wrong ends this connection only.
void ServeConnection(int fd, const ServerConfig& config, int spid);

}  // namespace standin
