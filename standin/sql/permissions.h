// Permissions of the one login on the tables: everything is granted, as to
// a database's owner, except what the command line denies (--deny), as a
// server's DENY would. HAS_PERMS_BY_NAME reads them, and a statement that
// needs a denied one fails with 229.
#pragma once

#include <optional>
#include <string>

#include "sql/catalog.h"

namespace standin {

// Parses "OBJECT:PERMISSION" (split at the last ':'): OBJECT a table's name
// or schema.name, PERMISSION one a server grants on objects (SELECT,
// INSERT, UPDATE, DELETE, ...), either in any case. False with `error` set
// when it is none.
bool ParseDenial(const std::string& text, Denial& denial, std::string& error);

// HAS_PERMS_BY_NAME(securable, securableClass, permission): 1 or 0, or no
// value (NULL) for a class other than OBJECT, a permission objects do not
// have, or an object that does not exist. A name without a schema is in
// dbo, as for a login whose default schema that is.
std::optional<bool> HasPermsByName(const Catalog& catalog, const std::string& database,
                                   const std::string& securable, const std::string& securableClass,
                                   const std::string& permission);

// The error of a statement that needs `permission` (upper case) on `table`.
ServerMessage PermissionDenied(const std::string& permission, const TableInfo& table,
                               const std::string& database);

}  // namespace standin
