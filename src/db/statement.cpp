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

// Why a failed statement went unanswered, from the SQLSTATE of one of its
// diagnostic records; kNone when the server answered it with a refusal.
GiveUpCause UnansweredCause(std::string_view state) {
  if (state == "HY008") return GiveUpCause::kStopped;
  if (state == "HYT00" || state == "HYT01") return GiveUpCause::kTimeout;
  if (state.substr(0, 2) == "08") return GiveUpCause::kConnectionLost;
  return GiveUpCause::kNone;
}

// Looks through every diagnostic record of a failed statement. A refusal
// carries an error of the server's; a call that failed with nothing but
// warnings was never answered (a driver can report a broken connection as
// "unexpected end of data", 01000, alone), and so is one with a SQLSTATE
// of timeout, cancel or connection.
GiveUpCause UnansweredCause(SQLHSTMT handle) {
  bool onlyWarnings = false;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLCHAR state[6] = {};
    SQLINTEGER nativeError = 0;
    SQLSMALLINT length = 0;
    SQLRETURN rc =
        SQLGetDiagRec(SQL_HANDLE_STMT, handle, record, state, &nativeError, nullptr, 0, &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
      return onlyWarnings ? GiveUpCause::kConnectionLost : GiveUpCause::kNone;
    std::string_view text(reinterpret_cast<const char*>(state));
    GiveUpCause cause = UnansweredCause(text);
    if (cause != GiveUpCause::kNone) return cause;
    onlyWarnings = (record == 1 || onlyWarnings) && text.substr(0, 2) == "01";
  }
}

// SQL Server's native error for a duplicate key: the row is there already.
constexpr int32_t kDuplicateKey = 2627;

// A statement handle on the connection of a Database, freed when the
// object goes; while it lives, the Database knows it is in flight.
class Statement {
 public:
  explicit Statement(Database& db) : db_(db) {
    if (db.connection() == SQL_NULL_HANDLE || !handle_.Allocate(db.connection())) return;
    // A server that goes silent must fail this statement, not hang the run.
    SQLSetStmtAttr(handle_.get(), SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(SQLULEN{db.queryTimeout()}), SQL_IS_UINTEGER);
    sent_ = db.BeginStatement(handle_.get());
    givenUp_ = !sent_;
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // False when no handle could be had (no connection, or SQL_ERROR).
  bool allocated() const { return handle_.get() != SQL_NULL_HANDLE; }
  // True when the connection has been given up and nothing may be sent.
  bool givenUp() const { return givenUp_; }

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
    Failed();
    return false;
  }

  // Reads the rest of the reply to a statement without columns. A row
  // count can be followed by an error (a trigger that rolls the insert
  // back answers so), and the statement has failed then, whatever came
  // before. False, with the diagnostics fetched, on such an error.
  bool ReadRestOfReply() {
    SQLRETURN rc;
    do {
      rc = SQLMoreResults(handle_.get());
    } while (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO);
    if (rc != SQL_ERROR) return true;
    Failed();
    return false;
  }

  // Binds the columns, fetches the first row and reads past the rest of
  // the answer. Returns the fetch code widened to 32 bits.
  int32_t FetchFirstRow(std::initializer_list<ResultColumn> columns) {
    SQLUSMALLINT number = 0;
    for (const ResultColumn& c : columns)
      SQLBindCol(handle_.get(), ++number, c.cType, c.buffer, c.length, c.indicator);
    SQLRETURN code = SQLFetch(handle_.get());
    if (code == SQL_ERROR) {
      Failed();
      return code;
    }
    // The first row is all a query wants, but the rest of its answer is
    // already on its way: reading past it here is local work, whereas a
    // statement freed with its answer unread makes the driver cancel it on
    // the server, a round trip of its own for every lookup. The bound
    // buffers keep the first row. A rest that never comes still gives the
    // connection up.
    SQLFreeStmt(handle_.get(), SQL_UNBIND);
    SQLRETURN rc;
    do {
      rc = SQLMoreResults(handle_.get());
    } while (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO);
    if (rc == SQL_ERROR) Failed();
    return code;
  }

  // Ends the statement with what it got: result when the server answered.
  // Whatever a statement that the run's stop cancelled got afterwards
  // (HY008, HY000 with no error number, no row) says nothing of what the
  // server did: it is unknown unless it was plainly done.
  DbResult Finish(DbResult result) {
    if (!sent_) return result;
    sent_ = false;
    const bool cancelled = db_.EndStatement(cause_ == GiveUpCause::kNone, cause_);
    if (cancelled && !result.done()) cause_ = GiveUpCause::kStopped;
    if (cause_ != GiveUpCause::kNone) return {DbOutcome::kUnknown, -1, cause_};
    return result;
  }

  ~Statement() {
    if (sent_) db_.EndStatement(cause_ == GiveUpCause::kNone, cause_);
  }

 private:
  void Failed() {
    FetchDiagnostics(SQL_HANDLE_STMT, handle_.get(), db_.diagnostics());
    db_.ReportFailure();
    cause_ = UnansweredCause(handle_.get());
  }

  Database& db_;
  OdbcHandle handle_{SQL_HANDLE_STMT};
  bool sent_ = false;
  bool givenUp_ = false;
  GiveUpCause cause_ = GiveUpCause::kNone;
};

// The outcome of a statement the server refused, from what the driver said.
DbResult Refusal(const Database& db) {
  const int32_t nativeError = db.diagnostics().nativeError;
  if (nativeError == kDuplicateKey) return {DbOutcome::kDuplicate, nativeError};
  return {DbOutcome::kRefused, nativeError != 0 ? nativeError : -1};
}

}  // namespace

DbResult RunStatement(Database& db, std::string_view form, std::initializer_list<SqlValue> values,
                      std::initializer_list<ResultColumn> columns) {
  Statement statement(db);
  if (statement.givenUp()) return {DbOutcome::kNotSent, -1, db.givenUp()};
  if (!statement.allocated()) return {DbOutcome::kRefused, -1};
  if (!statement.Execute(form, values) || (columns.size() == 0 && !statement.ReadRestOfReply()))
    return statement.Finish(Refusal(db));
  if (columns.size() == 0) return statement.Finish({});
  const int32_t code = statement.FetchFirstRow(columns);
  if (code == SQL_SUCCESS || code == SQL_SUCCESS_WITH_INFO) return statement.Finish({});
  if (code == SQL_ERROR) return statement.Finish(Refusal(db));
  return statement.Finish({DbOutcome::kNoRow, code});
}

}  // namespace tralvo
