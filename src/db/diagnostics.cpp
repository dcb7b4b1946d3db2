// Reading the first diagnostic record of a handle.
#include "db/diagnostics.h"

#include <cstring>

namespace tralvo {

SQLRETURN FetchDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, DiagnosticsRecord& record) {
  std::memset(&record, 0, sizeof record);
  SQLINTEGER nativeError = 0;
  SQLSMALLINT textLength = 0;
  SQLRETURN rc = SQLGetDiagRec(handleType, handle, 1, reinterpret_cast<SQLCHAR*>(record.sqlState),
                               &nativeError, reinterpret_cast<SQLCHAR*>(record.messageText),
                               static_cast<SQLSMALLINT>(sizeof record.messageText), &textLength);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    record.nativeError = static_cast<int32_t>(nativeError);
  } else {
    // Nothing to read: whatever the call may have scribbled is not a record.
    std::memset(&record, 0, sizeof record);
  }
  return rc;
}

}  // namespace tralvo
