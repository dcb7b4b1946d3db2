// Building statement texts and the life of one statement handle.
#include "db/statement.h"

#include <charconv>

#include "db/database.h"
#include "db/odbc_handle.h"

namespace tralvo {

bool BuildStatement(std::string& out, std::string_view form,
                    std::initializer_list<SqlValue> values) {
  out.clear();
  const SqlValue* next = values.begin();
  size_t pos = 0;
  while (pos < form.size()) {
    size_t directive = form.find('%', pos);
    if (directive == std::string_view::npos) {
      out.append(form, pos);
      break;
    }
    out.append(form, pos, directive - pos);
    std::string_view rest = form.substr(directive);
    if (next == values.end()) return false;
    if (rest.substr(0, 2) == "%s" && next->isText) {
      for (char c : next->text) {
        out.push_back(c);
        if (c == '\'') out.push_back('\'');
      }
      pos = directive + 2;
    } else if (rest.substr(0, 3) == "%ld" && !next->isText) {
      char digits[16];
      auto end = std::to_chars(digits, digits + sizeof digits, next->number).ptr;
      out.append(digits, static_cast<size_t>(end - digits));
      pos = directive + 3;
    } else {
      return false;
    }
    ++next;
  }
  return next == values.end();
}

namespace {

// A statement handle on the connection of a Database, freed when the
// object goes.
class Statement {
 public:
  explicit Statement(Database& db) : db_(db) {
    if (db.connection() != SQL_NULL_HANDLE) handle_.Allocate(db.connection());
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // False when no handle could be had (no connection, or SQL_ERROR).
  bool allocated() const { return static_cast<bool>(handle_); }

  // Builds the statement text into the Database's statement text and
  // executes it. On SQL_ERROR the diagnostics of the statement are fetched
  // into the Database and false returned.
  bool Execute(std::string_view form, std::initializer_list<SqlValue> values) {
    std::string& text = db_.statementText();
    SQLRETURN rc = SQL_ERROR;
    if (BuildStatement(text, form, values)) {
      // The length is passed rather than SQL_NTS so that a zero byte inside
      // a value cannot cut the statement short.
      rc = SQLExecDirect(handle_.get(), reinterpret_cast<SQLCHAR*>(text.data()),
                         static_cast<SQLINTEGER>(text.size()));
    }
    if (rc != SQL_ERROR) return true;
    FetchDiagnostics(SQL_HANDLE_STMT, handle_.get(), db_.diagnostics());
    return false;
  }

  // Binds the columns, fetches the first row and reads past the rest of
  // the answer. Returns the fetch code widened to 32 bits.
  int32_t FetchFirstRow(std::initializer_list<ResultColumn> columns) {
    SQLUSMALLINT number = 0;
    for (const ResultColumn& c : columns)
      SQLBindCol(handle_.get(), ++number, c.cType, c.buffer, c.length, c.indicator);
    SQLRETURN code = SQLFetch(handle_.get());
    // The first row is all a query wants, but the rest of its answer is
    // already on its way: reading past it here is local work, whereas a
    // statement freed with its answer unread makes the driver cancel it on
    // the server, a round trip of its own for every lookup. The bound
    // buffers keep the first row.
    if (code != SQL_ERROR) {
      SQLFreeStmt(handle_.get(), SQL_UNBIND);
      while (SQL_SUCCEEDED(SQLMoreResults(handle_.get()))) {
      }
    }
    return code;
  }

 private:
  Database& db_;
  OdbcHandle handle_{SQL_HANDLE_STMT};
};

}  // namespace

int32_t RunStatement(Database& db, std::string_view form, std::initializer_list<SqlValue> values,
                     std::initializer_list<ResultColumn> columns) {
  Statement statement(db);
  if (!statement.allocated()) return -1;
  if (!statement.Execute(form, values)) {
    int32_t nativeError = db.diagnostics().nativeError;
    return nativeError != 0 ? nativeError : -1;
  }
  if (columns.size() == 0) return 0;
  int32_t code = statement.FetchFirstRow(columns);
  return code == SQL_SUCCESS || code == SQL_SUCCESS_WITH_INFO ? 0 : code;
}

}  // namespace tralvo
