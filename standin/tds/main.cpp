// sqlserver-standin: a small SQL Server look-alike over SQLite, reached
// through the real ODBC driver stack, for tests, benchmarks and the demo.
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "sql/engine.h"
#include "tds/listener.h"
#include "tds/options.h"
#include "tds/server_stats.h"
#include "tds/statement_log.h"
#include "tds/tls.h"

namespace {

// SIGTERM and SIGINT end the server through one thread that waits for
// them, so the timing report is written whole, outside a signal handler.
// Called before any other thread starts, which all inherit the mask.
void EndOnSignals(const standin::ServerStats& stats, const std::string& timingPath) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals, &stats, timingPath] {
    int received = 0;
    sigwait(&signals, &received);
    if (!timingPath.empty()) {
      std::string line = stats.Report();
      if (FILE* f = std::fopen(timingPath.c_str(), "w")) {
        std::fputs(line.c_str(), f);
        std::fclose(f);
      }
    }
    _exit(0);
  }).detach();
}

}  // namespace

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
  static ServerStats stats;
  EndOnSignals(stats, options.timing);
  try {
    Engine engine(options.db, options.clock);
    for (const Denial& denial : options.denials) engine.Deny(denial);
    if (!options.seed.empty()) {
      std::ifstream in(options.seed, std::ios::binary);
      if (!in) throw std::runtime_error("cannot read the seed file " + options.seed);
      std::stringstream text;
      text << in.rdbuf();
      SessionInfo session;
      session.user = options.user;
      session.database = options.database;
      std::vector<ServerMessage> errors = engine.RunScript(text.str(), session);
      for (const ServerMessage& m : errors) {
        std::fprintf(stderr, "seed: Msg %d, Level %d: %s\n", m.number, m.severity, m.text.c_str());
      }
      if (!errors.empty()) return 1;
    }
    StatementLog log(options.statementLog);
    TlsContext tls(options.certificate, options.key);
    Listener listener(options.port);
    ServerConfig config;
    config.user = options.user;
    config.password = options.password;
    config.database = options.database;
    config.engine = &engine;
    config.log = &log;
    config.stats = &stats;
    config.faults = options.faults;
    config.tls = &tls;
    config.forceEncryption = options.forceEncryption;
    if (!options.portFile.empty()) WritePortFile(options.portFile, listener.port());
    std::printf("listening on 127.0.0.1:%d\n", listener.port());
    std::fflush(stdout);
    listener.Serve(config);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sqlserver-standin: %s\n", e.what());
    return 1;
  }
}
