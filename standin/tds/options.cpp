// Command-line parsing; see options.h.
#include "tds/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "sql/datetime.h"

namespace standin {

const char kUsage[] =
    "usage: sqlserver-standin --db FILE [--port N] [--port-file FILE] [--user U --password P]\n"
    "         [--clock \"YYYY-MM-DD HH:MM:SS\"] [--statement-log FILE] [--seed FILE]\n"
    "         [--fail PATTERN=NUMBER]... [--drop-after N] [--delay-ms N] [--refuse-login]\n";

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
    if (arg == "--refuse-login") {
      o.faults.refuseLogin = true;
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
    } else if (arg == "--password") {
      o.password = value;
    } else if (arg == "--clock") {
      auto parsed = ParseDateTime(value, 120);
      if (!parsed || value.size() != 19)
        error = "bad clock " + value + " (want YYYY-MM-DD HH:MM:SS)";
      o.clock = value;
    } else if (arg == "--statement-log") {
      o.statementLog = value;
    } else if (arg == "--seed") {
      o.seed = value;
    } else if (arg == "--fail") {
      FaultRule rule;
      if (ParseFaultRule(value, rule, error)) o.faults.rules.push_back(rule);
    } else if (arg == "--drop-after") {
      if (!ParseNumber(value, 0, 1000000000, o.faults.dropAfter)) error = "bad count " + value;
    } else if (arg == "--delay-ms") {
      if (!ParseNumber(value, 0, 600000, o.faults.delayMs)) error = "bad delay " + value;
    } else {
      error = "unknown option " + arg;
    }
    if (!error.empty()) return false;
  }
  if (o.db.empty()) {
    error = "--db is required";
    return false;
  }
  return true;
}

}  // namespace standin
