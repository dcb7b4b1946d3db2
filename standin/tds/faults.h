// Fault injection for tests: batches that fail with a chosen error
// number, inserts answered as a trigger that rolls them back answers, a
// connection dropped or left unanswered after a number of batches, a
// delay before each response, answers that come late after the batch ran,
// and logins refused or never answered.
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
  std::vector<FaultRule> failures;   // the batch fails with the error instead of running
  std::vector<FaultRule> rollbacks;  // a row count of 1, then the error; nothing is stored
  int dropAfter = -1;                // batches answered per connection before the drop; -1 never
  int silentAfter = -1;              // batches answered per connection before silence; -1 never
  int delayMs = 0;                   // before every response, whatever the client sends meanwhile
  int lateAnswerMs = 0;              // after a request's SQL ran, ended early by an attention
  bool refuseLogin = false;
  bool silentLogin = false;  // accept connections and never answer them

  // The error a batch is to fail with instead of running, if any.
  std::optional<ServerMessage> InjectedError(const std::string& batch) const;
  // The error that follows the row count when a trigger rolls the batch
  // back, if any.
  std::optional<ServerMessage> RolledBack(const std::string& batch) const;
};

}  // namespace standin
