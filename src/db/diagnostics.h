// What the driver said about the last failed ODBC call. Every failure of
// the tool's calls is read into the one record its Database holds, so the
// caller can word a message from it and the next failure replaces it.
#pragma once

#include <cstdint>

#include "db/odbc.h"

namespace tralvo {

struct DiagnosticsRecord {
  char sqlState[256];      // the five-character SQLSTATE, terminated
  char messageText[1000];  // the driver's message, terminated
  int32_t nativeError;     // the driver's or server's own error number
};

// Clears the record and fills it from diagnostic record 1 of the handle.
// Returns SQLGetDiagRec's code; a handle without a diagnostic record
// leaves the record all zero.
SQLRETURN FetchDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, DiagnosticsRecord& record);

}  // namespace tralvo
