// Remote procedure call requests, as drivers send prepared statements:
// the procedure and its parameters with their values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sql/sql_types.h"

namespace standin {

enum ProcId : uint16_t {
  kSpExecuteSql = 10,
  kSpPrepare = 11,
  kSpExecute = 12,
  kSpPrepExec = 13,
  kSpUnprepare = 15,
};

struct RpcParameter {
  std::string name;
  bool output = false;
  Value value;  // texts in UTF-8, integers as integers; other types as Null
};

struct RpcRequest {
  uint16_t procId = 0;  // 0 when called by name
  std::string procName;
  std::vector<RpcParameter> parameters;
};

// `payload` without ALL_HEADERS. nullopt when it does not parse; a type
// the stand-in does not read also gives nullopt.
std::optional<RpcRequest> ParseRpc(const std::string& payload);

}  // namespace standin
