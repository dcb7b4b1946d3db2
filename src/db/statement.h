// The statement pattern every query and insert follows, in one place:
// one statement handle for the length of one operation, the text built
// from a fixed form and the operation's values, executed once, at most one
// row fetched.
//
// Every value that goes into a statement passes through BuildStatement,
// which doubles each single quote of a text value, so no field of a booking
// file can end a literal and change what a statement does.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "db/odbc.h"
#include "db/outcome.h"

namespace tralvo {

class Database;

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

// Where a query puts one column of its first row: the C type it is read
// as, the caller's buffer and the column indicator.
struct ResultColumn {
  SQLSMALLINT cType;
  SQLPOINTER buffer;
  SQLLEN length;
  SQLLEN* indicator;
};

// Runs one statement: a handle of its own for this one operation, the
// text built from form and values, executed once; a query (one with
// columns) binds them and fetches its first row, and the rest of its
// answer is read so the handle can go without a cancel on the server. A
// statement without columns (an insert) has its whole reply read as well,
// and an error anywhere in it is the statement's failure. Each statement
// waits at most the connection's query timeout for its answer. Every
// statement of the tool passes through here; each failure is printed where
// db.ReportFailuresTo says.
//
// Returns kDone (a query: its first row is in the columns); kNoRow for a
// query that delivered no row (code 100, or the fetch code); kDuplicate or
// kRefused with the native error of a refused statement (-1 when the
// driver gave none, since 0 would read as done, and -1 without a
// connection or handle), after which db.diagnostics() holds what the
// driver said. A statement that timed out, lost its connection or was in
// flight when the run was stopped is kUnknown, whatever the driver said
// after the cancel, and gives the connection up; once it is given up,
// nothing is sent: every statement is kNotSent. On any outcome but kDone
// the columns hold nothing to read.
DbResult RunStatement(Database& db, std::string_view form, std::initializer_list<SqlValue> values,
                      std::initializer_list<ResultColumn> columns = {});

}  // namespace tralvo
