// The ODBC test client; see odbc_client.h.
#include "odbc_client.h"

#include <cstring>
#include <thread>

namespace standintest {

Diagnostic ReadDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle) {
  Diagnostic d;
  SQLCHAR state[6] = {0};
  SQLCHAR text[1000] = {0};
  SQLSMALLINT length = 0;
  if (SQL_SUCCEEDED(SQLGetDiagRec(handleType, handle, 1, state, &d.nativeError, text, sizeof text,
                                  &length))) {
    d.sqlState = reinterpret_cast<char*>(state);
    d.message = reinterpret_cast<char*>(text);
  }
  SQLINTEGER native = 0;
  for (SQLSMALLINT record = 1;
       record < 100 && SQL_SUCCEEDED(SQLGetDiagRec(handleType, handle, record, state, &native, text,
                                                   sizeof text, &length));
       ++record) {
    d.allNativeErrors.push_back(native);
  }
  return d;
}

OdbcConnection::OdbcConnection() {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
}

OdbcConnection::~OdbcConnection() {
  if (connected_) SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

void OdbcConnection::SetTimeouts(SQLULEN loginSeconds, SQLULEN querySeconds) {
  SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(loginSeconds), 0);
  queryTimeout_ = querySeconds;
}

Outcome OdbcConnection::Connect(const std::string& dsn, const std::string& user,
                                const std::string& password) {
  Outcome o;
  o.rc = SQLConnect(dbc_, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)user.c_str(), SQL_NTS,
                    (SQLCHAR*)password.c_str(), SQL_NTS);
  connected_ = SQL_SUCCEEDED(o.rc);
  if (o.rc != SQL_SUCCESS) o.diagnostic = ReadDiagnostic(SQL_HANDLE_DBC, dbc_);
  return o;
}

Outcome OdbcConnection::ConnectString(const std::string& text) {
  Outcome o;
  o.rc = SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS, nullptr, 0, nullptr,
                          SQL_DRIVER_NOPROMPT);
  connected_ = SQL_SUCCEEDED(o.rc);
  if (o.rc != SQL_SUCCESS) o.diagnostic = ReadDiagnostic(SQL_HANDLE_DBC, dbc_);
  return o;
}

Outcome OdbcConnection::SetAutocommit(bool on) {
  Outcome o;
  o.rc = SQLSetConnectAttr(
      dbc_, SQL_ATTR_AUTOCOMMIT,
      reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
  if (o.rc != SQL_SUCCESS) o.diagnostic = ReadDiagnostic(SQL_HANDLE_DBC, dbc_);
  return o;
}

Outcome OdbcConnection::EndTransaction(bool commit) {
  Outcome o;
  o.rc = SQLEndTran(SQL_HANDLE_DBC, dbc_, commit ? SQL_COMMIT : SQL_ROLLBACK);
  if (o.rc != SQL_SUCCESS) o.diagnostic = ReadDiagnostic(SQL_HANDLE_DBC, dbc_);
  return o;
}

void OdbcConnection::Disconnect() {
  if (connected_) SQLDisconnect(dbc_);
  connected_ = false;
}

Outcome OdbcConnection::Execute(const std::string& sql) {
  Fetched f = FetchFirst(sql, {});
  Outcome o;
  o.rc = f.execRc;
  o.diagnostic = f.diagnostic;
  return o;
}

Outcome OdbcConnection::ExecuteCancelledAfter(const std::string& sql,
                                              std::chrono::milliseconds after) {
  Outcome o;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
  std::thread canceller([stmt, after] {
    std::this_thread::sleep_for(after);
    SQLCancel(stmt);
  });
  o.rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
  canceller.join();
  if (o.rc != SQL_SUCCESS) o.diagnostic = ReadDiagnostic(SQL_HANDLE_STMT, stmt);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return o;
}

Outcome OdbcConnection::ExecuteWhole(const std::string& sql, SQLLEN& firstCount) {
  Outcome o;
  firstCount = -1;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
  SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(queryTimeout_), 0);
  SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (SQL_SUCCEEDED(rc)) SQLRowCount(stmt, &firstCount);
  // Bounded, so a driver that never reports the end cannot hang a test.
  for (int results = 0; results < 1000; ++results) {
    if (rc == SQL_ERROR && o.rc != SQL_ERROR) {
      o.rc = SQL_ERROR;
      o.diagnostic = ReadDiagnostic(SQL_HANDLE_STMT, stmt);
    }
    if (rc == SQL_NO_DATA || rc == SQL_INVALID_HANDLE) break;
    rc = SQLMoreResults(stmt);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return o;
}

Fetched OdbcConnection::FetchFirst(const std::string& sql, const std::vector<Binding>& columns) {
  Fetched f;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt) == SQL_ERROR) {
    f.execRc = SQL_ERROR;
    f.diagnostic = ReadDiagnostic(SQL_HANDLE_DBC, dbc_);
    return f;
  }
  SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(queryTimeout_), 0);
  f.execRc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (f.execRc != SQL_SUCCESS) f.diagnostic = ReadDiagnostic(SQL_HANDLE_STMT, stmt);
  if (f.execRc == SQL_ERROR || columns.empty()) {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return f;
  }
  std::vector<std::vector<char>> buffers;
  f.indicators.assign(columns.size(), 0);
  for (size_t i = 0; i < columns.size(); ++i) {
    // Filled with a marker so a test can see what the driver left alone.
    buffers.emplace_back(static_cast<size_t>(columns[i].length) + 1, '#');
    buffers.back().back() = '\0';
    SQLBindCol(stmt, static_cast<SQLUSMALLINT>(i + 1), columns[i].cType, buffers[i].data(),
               columns[i].length, &f.indicators[i]);
  }
  f.fetchRc = SQLFetch(stmt);
  if (f.fetchRc != SQL_SUCCESS && f.fetchRc != SQL_NO_DATA) {
    f.diagnostic = ReadDiagnostic(SQL_HANDLE_STMT, stmt);
  }
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].cType == SQL_C_CHAR) {
      f.texts.emplace_back(buffers[i].data());
      f.numbers.push_back(0);
    } else {
      long v = 0;
      if (columns[i].cType == SQL_C_SHORT) {
        SQLSMALLINT s;
        std::memcpy(&s, buffers[i].data(), sizeof s);
        v = s;
      } else {
        SQLINTEGER n;
        std::memcpy(&n, buffers[i].data(), sizeof n);
        v = n;
      }
      f.texts.emplace_back();
      f.numbers.push_back(v);
    }
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return f;
}

}  // namespace standintest
