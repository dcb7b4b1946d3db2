// Asking the server for the connection's rights on a table.
#include "db/permissions.h"

#include "db/database.h"
#include "db/statement.h"

namespace tralvo {

namespace {

constexpr const char* kPermissionForm = "SELECT HAS_PERMS_BY_NAME('%s', 'OBJECT', '%s')";

}  // namespace

Permission QueryPermission(Database& db, const TableRight& wanted) {
  SQLINTEGER granted = 0;
  SQLLEN indicator = 0;
  const DbResult result = RunStatement(db, kPermissionForm, {wanted.table, wanted.right},
                                       {{SQL_C_LONG, &granted, sizeof granted, &indicator}});
  if (!result.done()) return Permission::kNotAsked;
  // The server answers NULL for a name it cannot resolve to a table.
  if (indicator == SQL_NULL_DATA) return Permission::kNoSuchTable;
  return granted == 1 ? Permission::kGranted : Permission::kDenied;
}

}  // namespace tralvo
