// The one database connection of a run and the operations on it as a
// whole: connecting with the installation's settings, the server's time
// for the run header, and the end-of-run hook.
//
// Result convention of every database operation: 0 done, -1 no handle or
// no connection (or a failure the driver gave no error number for), 100 no
// row, any other value the native error of the failed statement.
//
// A statement whose answer never came (its query timeout ran out, its
// connection broke, or the run was stopped while it waited) may still have
// done its work on the server: its outcome is unknown, never a failure.
// After the first such statement the run gives the connection up and sends
// nothing more, so a server that has stopped answering costs one query
// timeout, not one per booking.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "config/timeouts.h"
#include "db/diagnostics.h"
#include "db/odbc_handle.h"
#include "db/outcome.h"
#include "shared/file_system.h"

namespace tralvo {

// The result of a query that found no row.
inline constexpr int kNoRow = 100;

class Database {
 public:
  Database();
  // Disconnects and frees the handles.
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Disconnects when connected and frees the connection, then the
  // environment. The object can connect again afterwards.
  void Close();

  bool connected() const { return connected_; }
  SQLHDBC connection() const { return connection_.get(); }

  // Diagnostics of the last failed call; valid until the next failure.
  const DiagnosticsRecord& diagnostics() const { return diagnostics_; }
  DiagnosticsRecord& diagnostics() { return diagnostics_; }

  // The text of the statement being run; kept between statements so that
  // building one does not allocate once it has grown.
  std::string& statementText() { return statementText_; }

  // Seconds each statement may wait for its answer.
  uint32_t queryTimeout() const { return queryTimeout_; }

  // Where every failed call's SQLSTATE, native error and message is
  // printed as it happens (the operator's console of a /D run); nowhere
  // when null.
  void ReportFailuresTo(std::FILE* console) { failureConsole_ = console; }
  // Prints the diagnostics of the last failure where ReportFailuresTo said.
  void ReportFailure() const;

  // Why the connection was given up; kNone while statements are sent.
  GiveUpCause givenUp() const { return cause_; }

  // Safe from any thread: the run is stopping. A statement in flight is
  // cancelled (its outcome then unknown) and no further one is sent.
  void Stop();

  // For the one statement runner: a statement about to be sent on handle.
  // False when it must not be sent (givenUp() tells why).
  bool BeginStatement(SQLHSTMT handle);
  // The statement sent on BeginStatement's handle has ended: answered, or
  // not (which gives the connection up for cause). Returns whether a stop
  // came while it was in flight: it was cancelled then, and whatever the
  // driver answered afterwards says nothing of what the server did.
  bool EndStatement(bool answered, GiveUpCause cause);

 private:
  friend int ConnectDataSource(Database& db, const std::string& userName,
                               const std::string& password, const std::string& dataSourceName,
                               const Timeouts& timeouts);

  OdbcHandle environment_{SQL_HANDLE_ENV};
  OdbcHandle connection_{SQL_HANDLE_DBC};
  bool connected_ = false;
  DiagnosticsRecord diagnostics_;
  std::string statementText_;
  uint32_t queryTimeout_ = kDefaultQueryTimeout;
  std::FILE* failureConsole_ = nullptr;
  GiveUpCause cause_ = GiveUpCause::kNone;
  // The stop arrives on another thread; the handle in flight is read and
  // cancelled under the lock, so a statement is either cancelled or never
  // sent, and its handle is never cancelled after it was freed.
  std::mutex inFlightLock_;
  SQLHSTMT inFlight_ = SQL_NULL_HANDLE;
  std::atomic<bool> stopping_{false};
};

// Connects to the data source with the user name and password, each passed
// whole, giving the login at most timeouts.login seconds; every statement
// on the connection then waits at most timeouts.query seconds. The limits
// are the standard connection and statement attributes, so they hold with
// any driver. Replaces an earlier connection of db. Returns 0 when
// connected (SQL_SUCCESS_WITH_INFO included), -1 otherwise; after a
// refused or timed-out connect db.diagnostics() holds what the driver said.
int ConnectDataSource(Database& db, const std::string& userName, const std::string& password,
                      const std::string& dataSourceName, const Timeouts& timeouts = {});

// A DATABASE value longer than this is not used as the data source name.
inline constexpr std::size_t kMaxDataSourceName = 40;

// Reads LOGIN, PASS, DB_SYSTEM and DATABASE, and the optional
// LOGIN_TIMEOUT and QUERY_TIMEOUT (missing or unusable: the defaults), from
// the configuration file at configPath and connects with them, printing
// nothing. Returns
// ConnectDataSource's result. Both a run and the administrator's check of a
// configuration connect through here, so the check proves what a run will
// do. The password is wiped from memory as soon as the connect call has
// returned. *fileState, when given, tells whether the file could be read.
int ConnectWithConfigFile(Database& db, const std::string& configPath,
                          SmallFileRead* fileState = nullptr);

// Connects with the installation's configuration file. On failure prints
// the connection failure message to console (and, with debug, what the
// driver said) and returns the non-zero code.
int OpenDatabase(Database& db, std::FILE* console, bool debug);

// The server's current time as "DD.MM.YYYY HH:MM:SS" into out. Returns 0,
// -1 when the statement could not be run, or the fetch code (100 when the
// server sent no row); out is untouched unless the result is 0.
int QueryServerTime(Database& db, std::string& out);

}  // namespace tralvo
