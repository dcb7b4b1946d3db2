// The command line of sqlserver-standin.
#pragma once

#include <string>
#include <vector>

#include "sql/translator.h"
#include "tds/faults.h"

namespace standin {

struct Options {
  std::string db;
  int port = 1433;
  std::string portFile;
  std::string user = "sa";
  std::string password;
  std::string clock;
  std::string statementLog;
  std::string seed;
  std::string timing;
  std::string database = kDefaultDatabase;
  std::string certificate;  // PEM files; both empty: a certificate made at start
  std::string key;
  bool forceEncryption = false;
  std::vector<Denial> denials;  // --deny
  FaultPlan faults;
  bool help = false;  // --help: print the usage and exit
};

// Fills `options` from argv; false with `error` set on a bad command line.
// --help stops the parsing there, with `help` set.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error);

extern const char kUsage[];

}  // namespace standin
