// Starts the SQL Server stand-in for a test, writes the ODBC data source
// that reaches it through unixODBC and the FreeTDS driver, and reads and
// seeds its database directly, without going through the server (so that
// checking leaves no trace in the statement log).
#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace standin {
class Engine;
}

namespace testsupport {

// Query() shows a NULL cell as this text.
extern const char kNull[];

struct StandinOptions {
  std::string user = "tralvo";
  std::string password = "Geheim-42";
  std::string clock;                  // "YYYY-MM-DD HH:MM:SS"; empty for the real time
  std::vector<std::string> fail;      // "PATTERN=NUMBER", one --fail each
  std::vector<std::string> rollBack;  // "PATTERN=NUMBER", one --roll-back each
  std::vector<std::string> deny;      // "OBJECT:PERMISSION", one --deny each
  int dropAfter = -1;
  int silentAfter = -1;
  int delayMs = 0;
  int lateAnswerMs = 0;  // --late-answer-ms: each batch runs at once, its answer comes late
  bool refuseLogin = false;
  bool silentLogin = false;
  std::string seedSql;  // T-SQL batches separated by GO lines, run at start
  bool timing = false;  // --timing into timingPath(), written when the server stops
  bool forceEncryption = false;
  std::string certificate, key;  // PEM files; empty: the server makes its own
  // The data sources' Encryption (off, request, require); empty: the
  // driver's default.
  std::string encryption;
};

// Runs sqlserver-standin on a free port with its files (database,
// statement log, output) in `folder`; the constructor returns once it
// listens, the destructor stops it and waits for it.
class Standin {
 public:
  explicit Standin(const std::string& folder, StandinOptions options = {});
  ~Standin();
  Standin(const Standin&) = delete;
  Standin& operator=(const Standin&) = delete;

  int port() const { return port_; }
  const std::string& folder() const { return folder_; }
  std::string databasePath() const { return folder_ + "/standin.db"; }
  std::string statementLogPath() const { return folder_ + "/statements.log"; }
  std::string timingPath() const { return folder_ + "/timing.txt"; }
  pid_t pid() const { return pid_; }

  // Writes odbcinst.ini, odbc.ini and an empty freetds.conf into the
  // folder, for data source `dsn` (FreeTDS, 127.0.0.1, this port,
  // database TRALVO, TDS 7.4, ClientCharset CP1252, the options'
  // encryption); returns the variables that make a process
  // use them: ODBCSYSINI, ODBCINI and FREETDSCONF. With `port` the data
  // source reaches the server through that port instead (a relay).
  std::map<std::string, std::string> OdbcEnvironment(const std::string& dsn = "TRALVO",
                                                     int port = 0) const;
  // The same, set in this process (for tests that call ODBC themselves).
  // The files then live in one folder per process, since the driver
  // manager reads their paths only once.
  void ApplyOdbcEnvironment(const std::string& dsn = "TRALVO") const;

  // The statement log so far, one batch a line (line feeds as \n).
  std::vector<std::string> Statements() const;
  // Rows of the last result set of `sql` (T-SQL, as the server reads it):
  // datetime as "yyyy-mm-dd hh:mi:ss.mmm", NULL as kNull. Throws
  // std::runtime_error with the server's message when the SQL fails.
  std::vector<std::vector<std::string>> Query(const std::string& sql) const;
  // Runs T-SQL for seeding; throws std::runtime_error when it fails.
  void Execute(const std::string& sql) const;

 private:
  standin::Engine& Database() const;
  std::map<std::string, std::string> WriteOdbcFiles(const std::string& folder,
                                                    const std::string& dsn, int port) const;

  std::string folder_;
  StandinOptions options_;
  pid_t pid_ = -1;
  int port_ = 0;
  mutable std::unique_ptr<standin::Engine> engine_;
};

}  // namespace testsupport
