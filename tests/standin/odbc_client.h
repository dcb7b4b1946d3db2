// A small ODBC client for the stand-in tests: one connection through the
// driver manager, statements run the way the tool runs them, and the first
// diagnostic record of whatever failed.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <string>
#include <vector>

namespace standintest {

struct Diagnostic {
  std::string sqlState;
  SQLINTEGER nativeError = 0;
  std::string message;
  std::vector<SQLINTEGER> allNativeErrors;  // of every record, in the driver's order
};

struct Outcome {
  SQLRETURN rc = SQL_SUCCESS;
  Diagnostic diagnostic;  // of the failed call, when rc is SQL_ERROR or SQL_SUCCESS_WITH_INFO
};

// A column to bind for a fetch: the C type and the buffer length.
struct Binding {
  SQLSMALLINT cType = SQL_C_CHAR;
  SQLLEN length = 256;
};

struct Fetched {
  SQLRETURN execRc = SQL_SUCCESS;
  SQLRETURN fetchRc = SQL_NO_DATA;
  Diagnostic diagnostic;           // of the exec or fetch that did not succeed plainly
  std::vector<std::string> texts;  // SQL_C_CHAR columns, as the buffer holds them
  std::vector<long> numbers;       // SQL_C_SHORT and SQL_C_LONG columns
  std::vector<SQLLEN> indicators;
};

class OdbcConnection {
 public:
  OdbcConnection();
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // Seconds the login and each statement may take (0: the driver's own
  // default); set before Connect.
  void SetTimeouts(SQLULEN loginSeconds, SQLULEN querySeconds);
  Outcome Connect(const std::string& dsn, const std::string& user, const std::string& password);
  // SQLDriverConnect with a connection string such as "DSN=X;UID=u;PWD=p".
  Outcome ConnectString(const std::string& text);
  // Executes and reads every result of the reply, as a client must that
  // wants to know whether all of it succeeded: the first failure, with the
  // row count of the first result in `firstCount`.
  Outcome ExecuteWhole(const std::string& sql, SQLLEN& firstCount);
  // Autocommit on or off (SQL_ATTR_AUTOCOMMIT), after Connect.
  Outcome SetAutocommit(bool on);
  // SQLEndTran: commits or rolls back the connection's transaction.
  Outcome EndTransaction(bool commit);
  // SQLDisconnect now, as a client that goes away without committing.
  void Disconnect();
  // SQLExecDirect on a fresh statement handle, freed afterwards.
  Outcome Execute(const std::string& sql);
  // SQLExecDirect on a fresh statement handle that another thread cancels
  // (SQLCancel) `after` the start, as a client gives up on a statement.
  Outcome ExecuteCancelledAfter(const std::string& sql, std::chrono::milliseconds after);
  // Executes, binds every column as given, fetches once, frees the handle.
  Fetched FetchFirst(const std::string& sql, const std::vector<Binding>& columns);

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  SQLULEN queryTimeout_ = 0;
};

Diagnostic ReadDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle);

}  // namespace standintest
