// Ownership of ODBC handles. Every handle the tool allocates is held by an
// OdbcHandle, so no path through the code can leave one behind.
#pragma once

#include "db/odbc.h"

namespace tralvo {

class OdbcHandle {
 public:
  explicit OdbcHandle(SQLSMALLINT type) : type_(type) {}
  ~OdbcHandle() { Free(); }
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;

  // Allocates on parent (SQL_NULL_HANDLE for an environment), freeing any
  // handle held before. Only SQL_ERROR counts as failure; the handle is
  // then null, which every user of it tests.
  bool Allocate(SQLHANDLE parent) {
    Free();
    SQLHANDLE handle = SQL_NULL_HANDLE;
    if (SQLAllocHandle(type_, parent, &handle) == SQL_ERROR) return false;
    handle_ = handle;
    return true;
  }

  void Free() {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
    handle_ = SQL_NULL_HANDLE;
  }

  SQLHANDLE get() const { return handle_; }
  SQLSMALLINT type() const { return type_; }
  explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

}  // namespace tralvo
