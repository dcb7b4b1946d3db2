// Transaction-manager requests, which drivers send instead of T-SQL to
// begin, commit and roll back a transaction (autocommit off, end of a
// transaction): what the request asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace standin {

struct TransactionRequest {
  enum class Kind { Begin, Commit, Rollback, Save, Unsupported } kind = Kind::Unsupported;
  std::string name;         // UTF-8; empty when none
  bool beginAfter = false;  // Commit and Rollback: begin a new transaction at once
  std::string newName;      // of that new transaction
};

// `payload` without ALL_HEADERS. nullopt when it does not parse; requests
// for distributed transactions come back as Unsupported.
std::optional<TransactionRequest> ParseTransactionRequest(const std::string& payload);

}  // namespace standin
