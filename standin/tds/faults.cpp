// Fault injection; see faults.h.
#include "tds/faults.h"

#include <cerrno>
#include <cstdlib>

namespace standin {
namespace {

const FaultRule* FirstMatch(const std::vector<FaultRule>& rules, const std::string& batch) {
  for (const FaultRule& rule : rules) {
    if (std::regex_search(batch, rule.expression)) return &rule;
  }
  return nullptr;
}

ServerMessage Injected(const FaultRule& rule, const char* what) {
  ServerMessage m;
  m.number = rule.number;
  m.severity = 16;
  m.text = std::string(what) + " for statements matching '" + rule.pattern + "'.";
  return m;
}

}  // namespace

bool ParseFaultRule(const std::string& text, FaultRule& rule, std::string& error) {
  size_t eq = text.rfind('=');
  if (eq == std::string::npos) {
    error = "expected PATTERN=NUMBER, got '" + text + "'";
    return false;
  }
  std::string number = text.substr(eq + 1);
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(number.c_str(), &end, 10);
  if (number.empty() || *end != '\0' || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) {
    error = "not an error number: '" + number + "'";
    return false;
  }
  rule.pattern = text.substr(0, eq);
  rule.number = static_cast<int>(value);
  try {
    rule.expression = std::regex(rule.pattern, std::regex::ECMAScript);
  } catch (const std::regex_error& e) {
    error = "not a regular expression: '" + rule.pattern + "': " + e.what();
    return false;
  }
  return true;
}

std::optional<ServerMessage> FaultPlan::InjectedError(const std::string& batch) const {
  if (const FaultRule* rule = FirstMatch(failures, batch))
    return Injected(*rule, "Injected failure");
  return std::nullopt;
}

std::optional<ServerMessage> FaultPlan::RolledBack(const std::string& batch) const {
  if (const FaultRule* rule = FirstMatch(rollbacks, batch)) {
    return Injected(*rule, "Injected rollback by a trigger");
  }
  return std::nullopt;
}

}  // namespace standin
