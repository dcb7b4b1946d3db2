// Fault injection for tests: batches that fail with a chosen error
// number, a connection dropped after a number of batches, a delay before
// each response, and logins refused.
#pragma once

#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "sql/sql_types.h"

namespace standin {

struct FaultRule {
  std::string pattern;
  std::regex expression;
  int number = 0;
};

// Parses "PATTERN=NUMBER" (split at the last '='); false with `error` set
// when the pattern is no valid regular expression or the number is none.
bool ParseFaultRule(const std::string& text, FaultRule& rule, std::string& error);

struct FaultPlan {
  std::vector<FaultRule> rules;
  int dropAfter = -1;  // batches answered per connection before the drop; -1 never
  int delayMs = 0;
  bool refuseLogin = false;

  // The error a batch is to fail with instead of running, if any.
  std::optional<ServerMessage> InjectedError(const std::string& batch) const;
};

}  // namespace standin
