// The statement pattern every query and insert follows: one statement
// handle for the length of one operation, the text built from a fixed form
// and the operation's values, executed once, at most one row fetched.
//
// Every value that goes into a statement passes through BuildStatement,
// which doubles each single quote of a text value, so no field of a booking
// file can end a literal and change what a statement does.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "db/database.h"
#include "db/odbc_handle.h"

namespace tralvo {

// One value for a directive of a statement form: a text for "%s", a
// number for "%ld".
struct SqlValue {
  SqlValue(std::string_view value) : text(value), isText(true) {}    // NOLINT: implicit by design
  SqlValue(const std::string& value) : text(value), isText(true) {}  // NOLINT
  SqlValue(const char* value) : text(value), isText(true) {}         // NOLINT
  SqlValue(int32_t value) : number(value), isText(false) {}          // NOLINT

  std::string_view text;
  int32_t number = 0;
  bool isText;
};

// Replaces out by form with each "%s" and "%ld", in order, replaced by the
// next value: texts with every single quote doubled, numbers in decimal.
// The text grows as far as the values need; nothing is cut. Returns false,
// leaving out unusable, when the values do not match the directives.
bool BuildStatement(std::string& out, std::string_view form,
                    std::initializer_list<SqlValue> values);

// A statement handle on the connection of a Database, freed when the
// object goes.
class Statement {
 public:
  explicit Statement(Database& db);
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // False when no handle could be had (no connection, or SQL_ERROR).
  bool allocated() const { return static_cast<bool>(handle_); }

  // Builds the statement text into the Database's statement text and
  // executes it. On SQL_ERROR the diagnostics of the statement are fetched
  // into the Database and false returned.
  bool Execute(std::string_view form, std::initializer_list<SqlValue> values);

  // Binds result column `column` (from 1) to buffer.
  void Bind(SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER buffer, SQLLEN length,
            SQLLEN* indicator);

  // Fetches the first row. Returns the fetch code widened to 32 bits.
  int32_t FetchOnce();

 private:
  Database& db_;
  OdbcHandle handle_{SQL_HANDLE_STMT};
};

// The result of a statement whose execution failed: the native error of the
// diagnostics, or -1 when the driver gave none, since 0 would read as done.
int32_t FailedStatementResult(const Database& db);

// True for the fetch codes that deliver a row.
inline bool RowFetched(int32_t code) {
  return code == SQL_SUCCESS || code == SQL_SUCCESS_WITH_INFO;
}

}  // namespace tralvo
