// The round-trip floor: a client that sends a run's statements through the
// same ODBC calls as tralvo and does nothing else, no booking file, no
// target file, no log. What tralvo spends beyond this program is its own.
//   tralvo-floor DSN USER PASSWORD STATEMENTFILE
// STATEMENTFILE holds one statement per line, in the stand-in's statement
// log format (a backslash inside a statement written as \\, a line feed as
// \n, a carriage return as \r). Each query gets a statement handle, its
// columns bound as tralvo binds them, one fetch and the rest of its answer
// read; every other statement gets a handle and one execution. Exits 1 when a
// statement failed or the connection could not be made.
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "shared/windows_1252.h"

namespace {

// How tralvo binds the columns of its queries, told by the statement's
// beginning; a query of any other form gets one character column.
struct Column {
  SQLSMALLINT cType;
  SQLLEN size;
};
struct QueryForm {
  const char* prefix;
  std::vector<Column> columns;
};

const std::vector<QueryForm>& QueryForms() {
  static const std::vector<QueryForm> forms = {
      {"SELECT  AswPnr, MndSch", {{SQL_C_CHAR, 9}, {SQL_C_CHAR, 21}}},
      {"SELECT  FcdTyp", {{SQL_C_SHORT, 2}}},
      {"SELECT  FcdNew", {{SQL_C_CHAR, 21}}},
      {"SELECT  DISTINCT ZzsNum", {{SQL_C_LONG, 4}}},
      {"SELECT", {{SQL_C_CHAR, 20}}},
  };
  return forms;
}

const QueryForm* FormOf(const std::string& statement) {
  for (const QueryForm& form : QueryForms())
    if (statement.compare(0, std::strlen(form.prefix), form.prefix) == 0) return &form;
  return nullptr;
}

std::string Unescaped(const std::string& line) {
  std::string out;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      char c = line[++i];
      out += c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    } else {
      out += line[i];
    }
  }
  return out;
}

// A UTF-8 text (the statement log's) as the wide-character calls take it,
// zero-terminated, as tralvo hands its texts over.
std::vector<SQLWCHAR> Wide(const std::string& utf8) {
  std::vector<SQLWCHAR> wide;
  size_t at = 0;
  char32_t character = 0;
  while (at < utf8.size()) {
    if (!tralvo::NextUtf8(utf8, at, character)) {
      character = static_cast<unsigned char>(utf8[at]);
      ++at;
    }
    if (character >= 0x10000) {
      wide.push_back(static_cast<SQLWCHAR>(0xD800 + ((character - 0x10000) >> 10)));
      character = 0xDC00 + ((character - 0x10000) & 0x3FF);
    }
    wide.push_back(static_cast<SQLWCHAR>(character));
  }
  wide.push_back(0);
  return wide;
}

bool Run(SQLHDBC connection, std::string& statement) {
  SQLHSTMT handle = SQL_NULL_HSTMT;
  if (SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle) == SQL_ERROR) return false;
  std::vector<SQLWCHAR> text = Wide(statement);
  SQLRETURN rc = SQLExecDirectW(handle, text.data(), static_cast<SQLINTEGER>(text.size() - 1));
  bool ok = rc != SQL_ERROR;
  const QueryForm* form = FormOf(statement);
  if (ok && form) {
    // Room for the widest column of any form.
    char buffers[2][32];
    SQLLEN indicators[2];
    for (size_t i = 0; i < form->columns.size(); ++i)
      SQLBindCol(handle, static_cast<SQLUSMALLINT>(i + 1), form->columns[i].cType, buffers[i],
                 form->columns[i].size, &indicators[i]);
    if (SQLFetch(handle) == SQL_ERROR) {
      ok = false;
    } else {
      SQLFreeStmt(handle, SQL_UNBIND);
      while (SQL_SUCCEEDED(SQLMoreResults(handle))) {
      }
    }
  }
  SQLFreeHandle(SQL_HANDLE_STMT, handle);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: tralvo-floor DSN USER PASSWORD STATEMENTFILE\n");
    return 2;
  }
  std::ifstream in(argv[4], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", argv[4]);
    return 2;
  }
  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment);
  SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION,
                reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), SQL_IS_INTEGER);
  SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection);
  std::vector<SQLWCHAR> source = Wide(argv[1]);
  std::vector<SQLWCHAR> user = Wide(argv[2]);
  std::vector<SQLWCHAR> password = Wide(argv[3]);
  if (SQLConnectW(connection, source.data(), SQL_NTS, user.data(), SQL_NTS, password.data(),
                  SQL_NTS) == SQL_ERROR) {
    std::fprintf(stderr, "cannot connect to %s\n", argv[1]);
    return 1;
  }
  long failed = 0;
  long sent = 0;
  // One statement in memory at a time, like the tool.
  for (std::string line; std::getline(in, line); ++sent) {
    std::string statement = Unescaped(line);
    if (!Run(connection, statement)) ++failed;
  }
  SQLDisconnect(connection);
  SQLFreeHandle(SQL_HANDLE_DBC, connection);
  SQLFreeHandle(SQL_HANDLE_ENV, environment);
  if (failed > 0) std::fprintf(stderr, "%ld of %ld statements failed\n", failed, sent);
  return failed > 0 ? 1 : 0;
}
