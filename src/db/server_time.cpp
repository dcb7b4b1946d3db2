// The server's clock for the run header.
#include <cstring>

#include "db/database.h"
#include "db/statement.h"

namespace tralvo {

namespace {
// Style 104 is dd.mm.yyyy, which char(11) pads with one blank; style 114 is
// hh:mi:ss:mmm, which char(8) cuts to hh:mi:ss.
constexpr std::string_view kServerTimeForm =
    "SELECT ( CONVERT(char(11), CURRENT_TIMESTAMP, 104) +          "
    "CONVERT(char(8), CURRENT_TIMESTAMP, 114)) ";
}  // namespace

int QueryServerTime(Database& db, std::string& out) {
  char text[20];
  std::memset(text, 0, sizeof text);
  Statement statement(db);
  if (!statement.allocated()) return -1;
  if (!statement.Execute(kServerTimeForm, {})) return -1;
  SQLLEN indicator = 0;
  statement.Bind(1, SQL_C_CHAR, text, sizeof text, &indicator);
  int32_t code = statement.FetchOnce();
  db.setStatementResult(code);
  if (!RowFetched(code)) return code;
  out.assign(text, strnlen(text, sizeof text));
  db.setStatementResult(0);
  return 0;
}

}  // namespace tralvo
