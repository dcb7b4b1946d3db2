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
  SQLLEN indicator = 0;
  const DbResult result =
      RunStatement(db, kServerTimeForm, {}, {{SQL_C_CHAR, text, sizeof text, &indicator}});
  // The run header cares only whether the time came; a statement that
  // could not run is -1 whatever the server's error number.
  if (result.outcome == DbOutcome::kNoRow) return result.code;
  if (!result.done()) return -1;
  out.assign(text, strnlen(text, sizeof text));
  return 0;
}

}  // namespace tralvo
