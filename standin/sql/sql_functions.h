// The functions and the collation the translated statements call inside
// SQLite: value conversion, column assignment, the server clock, and the
// case-insensitive comparison of the server's default collation.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>

#include "sql/sql_types.h"
#include "sql/translator.h"

namespace standin {

// What the functions read of the running statement; the caller sets it
// before each statement and keeps it as long as the connection.
struct StatementContext {
  // The canonical text of the statement's time, so that every reference to
  // CURRENT_TIMESTAMP in it sees one value.
  std::string now;
  const SessionInfo* session = nullptr;  // for tds_variable(SessionVariable)
};

// Registers everything on `db`.
void RegisterSqlFunctions(sqlite3* db, const StatementContext* context);

// Whether `text` matches `pattern` as LIKE does under the default
// collation: % and _, character classes ([abc], [a-f], [^x]), letters
// without regard to case, `escape` (0 for none) making the next pattern
// character literal. Both UTF-8. Trailing blanks of a non-Unicode text
// are not significant (`unicode` false), those of the pattern are.
bool LikeMatches(const std::string& text, const std::string& pattern, uint32_t escape,
                 bool unicode);

// A server error travels out of a SQLite function as an error text with
// this prefix; the engine turns it back into the message.
std::string EncodeFunctionError(const ServerMessage& message);
std::optional<ServerMessage> DecodeFunctionError(const std::string& sqliteMessage);

}  // namespace standin
