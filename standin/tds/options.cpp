// Command-line parsing; see options.h.
#include "tds/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "sql/datetime.h"
#include "sql/permissions.h"

namespace standin {

const char kUsage[] =
    "usage: sqlserver-standin --db FILE [option]...\n"
    "  --db FILE              the SQLite file that holds the tables (made when missing)\n"
    "  --port N               listen on 127.0.0.1:N (default 1433; 0 picks a free port)\n"
    "  --port-file FILE       write the port there once listening\n"
    "  --user U --password P  the one login accepted (default user sa, empty password)\n"
    "  --database NAME        the one database hosted (default TRALVO); a login naming\n"
    "                         another fails (4060), as does USE of another (911)\n"
    "  --clock \"YYYY-MM-DD HH:MM:SS\"  a fixed CURRENT_TIMESTAMP instead of the local time\n"
    "  --statement-log FILE   append every batch received, one a line\n"
    "  --seed FILE            run this T-SQL script (batches split at GO lines) at start\n"
    "  --timing FILE          on SIGTERM or SIGINT, write the server's own time per\n"
    "                         statement there as one line before exiting:\n"
    "                         statements=N busy_us=T us_per_statement=X.X cpu_us=C\n"
    "                         cpu_us_per_statement=Y.Y (clock time from request to\n"
    "                         answer, and the serving thread's processor time)\n"
    "  --certificate FILE --key FILE  the server's certificate (with its chain) and\n"
    "                         private key, PEM; without them a self-signed one made at\n"
    "                         start. Encryption as the server negotiates it: the login\n"
    "                         alone unless the client asks for more\n"
    "  --force-encryption     encrypt every connection whole; a client that cannot\n"
    "                         encrypt is refused\n"
    "  --deny OBJECT:PERMISSION  the login may not do this (repeatable; e.g.\n"
    "                         --deny Kvx402Zpk:INSERT or KRIVAX.Kvx402Zpk:SELECT):\n"
    "                         HAS_PERMS_BY_NAME answers 0 for it, and a statement\n"
    "                         that needs it fails with error 229\n"
    "  --help                 print this and exit\n"
    "faults, for tests:\n"
    "  --fail PATTERN=NUMBER  a batch matching the regular expression fails with error\n"
    "                         NUMBER instead of running (repeatable)\n"
    "  --roll-back PATTERN=NUMBER  a batch matching is answered as a trigger that rolls it\n"
    "                         back answers: a row count of 1, then error NUMBER; nothing\n"
    "                         is stored (repeatable)\n"
    "  --drop-after N         close each connection when its batch N+1 arrives\n"
    "  --silent-after N       answer N batches per connection, then nothing more, while\n"
    "                         keeping the connection open\n"
    "  --delay-ms N           wait N ms before every response\n"
    "  --late-answer-ms N     run each batch at once, then wait N ms before answering;\n"
    "                         an attention meanwhile discards the answer and is\n"
    "                         acknowledged at once (what ran stays committed)\n"
    "  --refuse-login         refuse every login (error 18456)\n"
    "  --silent-login         accept connections and never answer them\n";

namespace {

bool ParseNumber(const std::string& text, long low, long high, int& out) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE || v < low || v > high) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options& o, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help") {
      o.help = true;
      return true;
    }
    if (arg == "--refuse-login" || arg == "--silent-login" || arg == "--force-encryption") {
      (arg == "--refuse-login"   ? o.faults.refuseLogin
       : arg == "--silent-login" ? o.faults.silentLogin
                                 : o.forceEncryption) = true;
      continue;
    }
    if (i + 1 >= argc) {
      error = arg.rfind("--", 0) == 0 ? "missing value for " + arg : "unexpected argument " + arg;
      return false;
    }
    std::string value = argv[++i];
    if (arg == "--db") {
      o.db = value;
    } else if (arg == "--port") {
      if (!ParseNumber(value, 0, 65535, o.port)) error = "bad port " + value;
    } else if (arg == "--port-file") {
      o.portFile = value;
    } else if (arg == "--user") {
      o.user = value;
    } else if (arg == "--database") {
      if (value.empty()) error = "empty database name";
      o.database = value;
    } else if (arg == "--password") {
      o.password = value;
    } else if (arg == "--clock") {
      auto parsed = ParseDateTime(value, 120);
      if (!parsed || value.size() != 19)
        error = "bad clock " + value + " (want YYYY-MM-DD HH:MM:SS)";
      o.clock = value;
    } else if (arg == "--statement-log") {
      o.statementLog = value;
    } else if (arg == "--timing") {
      o.timing = value;
    } else if (arg == "--certificate") {
      o.certificate = value;
    } else if (arg == "--key") {
      o.key = value;
    } else if (arg == "--deny") {
      Denial denial;
      if (ParseDenial(value, denial, error)) o.denials.push_back(denial);
    } else if (arg == "--seed") {
      o.seed = value;
    } else if (arg == "--fail") {
      FaultRule rule;
      if (ParseFaultRule(value, rule, error)) o.faults.failures.push_back(rule);
    } else if (arg == "--roll-back") {
      FaultRule rule;
      if (ParseFaultRule(value, rule, error)) o.faults.rollbacks.push_back(rule);
    } else if (arg == "--drop-after") {
      if (!ParseNumber(value, 0, 1000000000, o.faults.dropAfter)) error = "bad count " + value;
    } else if (arg == "--silent-after") {
      if (!ParseNumber(value, 0, 1000000000, o.faults.silentAfter)) error = "bad count " + value;
    } else if (arg == "--delay-ms") {
      if (!ParseNumber(value, 0, 600000, o.faults.delayMs)) error = "bad delay " + value;
    } else if (arg == "--late-answer-ms") {
      if (!ParseNumber(value, 0, 600000, o.faults.lateAnswerMs)) error = "bad delay " + value;
    } else {
      error = "unknown option " + arg;
    }
    if (!error.empty()) return false;
  }
  if (o.db.empty()) {
    error = "--db is required";
    return false;
  }
  if (o.certificate.empty() != o.key.empty()) {
    error = "--certificate and --key go together";
    return false;
  }
  return true;
}

}  // namespace standin
