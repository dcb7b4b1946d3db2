// The connection handles of a run and how they are set up and torn down.
#include "db/database.h"

#include <cstdio>
#include <cstring>

namespace tralvo {

Database::Database() {
  std::memset(&diagnostics_, 0, sizeof diagnostics_);
  // Above the longest statement a run sends, so the text is allocated once.
  statementText_.reserve(1024);
}

Database::~Database() {
  Close();
}

void Database::Close() {
  if (connected_) SQLDisconnect(connection_.get());
  connected_ = false;
  connection_.Free();
  environment_.Free();
}

void Database::ReportFailure() const {
  if (!failureConsole_) return;
  std::fprintf(failureConsole_, "SQLSTATE: %s, nativer Fehler: %d, Meldung: %s\n",
               diagnostics_.sqlState, static_cast<int>(diagnostics_.nativeError),
               diagnostics_.messageText);
}

void Database::Stop() {
  std::lock_guard<std::mutex> hold(inFlightLock_);
  stopping_ = true;
  if (inFlight_ != SQL_NULL_HANDLE) SQLCancel(inFlight_);
}

bool Database::BeginStatement(SQLHSTMT handle) {
  std::lock_guard<std::mutex> hold(inFlightLock_);
  if (stopping_ && cause_ == GiveUpCause::kNone) cause_ = GiveUpCause::kStopped;
  if (cause_ != GiveUpCause::kNone) return false;
  inFlight_ = handle;
  return true;
}

bool Database::EndStatement(bool answered, GiveUpCause cause) {
  std::lock_guard<std::mutex> hold(inFlightLock_);
  inFlight_ = SQL_NULL_HANDLE;
  // Stop refuses every statement once it has been called, so a stop seen
  // here came while this one was in flight.
  const bool cancelled = stopping_;
  if (cancelled) cause = GiveUpCause::kStopped;
  if ((!answered || cancelled) && cause_ == GiveUpCause::kNone) cause_ = cause;
  return cancelled;
}

int ConnectDataSource(Database& db, const std::string& userName, const std::string& password,
                      const std::string& dataSourceName, const Timeouts& timeouts) {
  // A connected handle cannot be freed; Close disconnects first.
  db.Close();
  db.cause_ = GiveUpCause::kNone;
  if (!db.environment_.Allocate(SQL_NULL_HANDLE)) return -1;
  SQLSetEnvAttr(db.environment_.get(), SQL_ATTR_ODBC_VERSION,
                reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), SQL_IS_INTEGER);
  if (!db.connection_.Allocate(db.environment_.get())) return -1;
  auto seconds = [](uint32_t value) { return reinterpret_cast<SQLPOINTER>(SQLULEN{value}); };
  SQLSetConnectAttr(db.connection_.get(), SQL_ATTR_LOGIN_TIMEOUT, seconds(timeouts.login),
                    SQL_IS_UINTEGER);

  // The ODBC interface takes non-const texts it does not change.
  auto text = [](const std::string& s) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str()));
  };
  SQLRETURN rc = SQLConnect(db.connection_.get(), text(dataSourceName), SQL_NTS, text(userName),
                            SQL_NTS, text(password), SQL_NTS);
  if (rc == SQL_ERROR) {
    FetchDiagnostics(SQL_HANDLE_DBC, db.connection_.get(), db.diagnostics_);
    return -1;
  }
  db.connected_ = true;
  // Bounds the waits that are no statement's (a driver that has no such
  // limit refuses the attribute, and the statements' own limits remain).
  SQLSetConnectAttr(db.connection_.get(), SQL_ATTR_CONNECTION_TIMEOUT, seconds(timeouts.query),
                    SQL_IS_UINTEGER);
  db.queryTimeout_ = timeouts.query;
  return 0;
}

}  // namespace tralvo
