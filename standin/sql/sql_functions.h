// The functions and the collation the translated statements call inside
// SQLite: value conversion, column assignment, the server clock, and the
// case-insensitive comparison of the server's default collation.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>

#include "sql/sql_types.h"

namespace standin {

// Registers everything on `db`. CURRENT_TIMESTAMP reads `now`, the
// canonical text of the running statement's time, which the caller sets
// before each statement so that every reference in it sees one value; it
// must outlive the connection.
void RegisterSqlFunctions(sqlite3* db, const std::string* now);

// A server error travels out of a SQLite function as an error text with
// this prefix; the engine turns it back into the message.
std::string EncodeFunctionError(const ServerMessage& message);
std::optional<ServerMessage> DecodeFunctionError(const std::string& sqliteMessage);

}  // namespace standin
