// sqlserver-standin: a small SQL Server look-alike over SQLite, reached
// through the real ODBC driver stack, for tests, benchmarks and the demo.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "sql/engine.h"
#include "tds/listener.h"
#include "tds/options.h"
#include "tds/statement_log.h"

int main(int argc, char** argv) {
  using namespace standin;
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "sqlserver-standin: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::signal(SIGPIPE, SIG_IGN);
  try {
    Engine engine(options.db, options.clock);
    if (!options.seed.empty()) {
      std::ifstream in(options.seed, std::ios::binary);
      if (!in) throw std::runtime_error("cannot read the seed file " + options.seed);
      std::stringstream text;
      text << in.rdbuf();
      SessionInfo session;
      session.user = options.user;
      std::vector<ServerMessage> errors = engine.RunScript(text.str(), session);
      for (const ServerMessage& m : errors) {
        std::fprintf(stderr, "seed: Msg %d, Level %d: %s\n", m.number, m.severity, m.text.c_str());
      }
      if (!errors.empty()) return 1;
    }
    StatementLog log(options.statementLog);
    Listener listener(options.port);
    ServerConfig config;
    config.user = options.user;
    config.password = options.password;
    config.engine = &engine;
    config.log = &log;
    config.faults = options.faults;
    if (!options.portFile.empty()) WritePortFile(options.portFile, listener.port());
    std::printf("listening on 127.0.0.1:%d\n", listener.port());
    std::fflush(stdout);
    listener.Serve(config);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sqlserver-standin: %s\n", e.what());
    return 1;
  }
}
