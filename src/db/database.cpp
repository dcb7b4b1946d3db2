// The connection handles of a run and how they are set up and torn down.
#include "db/database.h"

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

int ConnectDataSource(Database& db, const std::string& userName, const std::string& password,
                      const std::string& dataSourceName) {
  // A connected handle cannot be freed; Close disconnects first.
  db.Close();
  if (!db.environment_.Allocate(SQL_NULL_HANDLE)) return -1;
  SQLSetEnvAttr(db.environment_.get(), SQL_ATTR_ODBC_VERSION,
                reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), SQL_IS_INTEGER);
  if (!db.connection_.Allocate(db.environment_.get())) return -1;

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
  return 0;
}

int DatabaseHook() {
  return 1;
}

}  // namespace tralvo
