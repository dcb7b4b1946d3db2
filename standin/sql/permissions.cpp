// Permissions on tables; see permissions.h.
#include "sql/permissions.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace standin {
namespace {

// The permissions of the OBJECT class that a table can carry.
const char* const kObjectPermissions[] = {
    "ALTER",  "CONTROL", "DELETE",          "INSERT",         "REFERENCES",
    "SELECT", "UPDATE",  "VIEW DEFINITION", "TAKE OWNERSHIP", "VIEW CHANGE TRACKING"};

std::string ToUpper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool IsObjectPermission(const std::string& upper) {
  return std::find(std::begin(kObjectPermissions), std::end(kObjectPermissions), upper) !=
         std::end(kObjectPermissions);
}

// The parts of a dotted name, each without the brackets or quotes that
// may delimit it.
std::vector<std::string> NameParts(const std::string& name) {
  std::vector<std::string> parts(1);
  char closing = 0;
  for (char c : name) {
    if (closing) {
      if (c == closing) {
        closing = 0;
      } else {
        parts.back() += c;
      }
    } else if (c == '[' || c == '"') {
      closing = c == '[' ? ']' : '"';
    } else if (c == '.') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

}  // namespace

bool ParseDenial(const std::string& text, Denial& denial, std::string& error) {
  size_t colon = text.rfind(':');
  std::vector<std::string> parts =
      NameParts(text.substr(0, colon == std::string::npos ? 0 : colon));
  std::string permission = colon == std::string::npos ? "" : ToUpper(text.substr(colon + 1));
  if (colon == std::string::npos || parts.size() > 2 || parts.back().empty() ||
      parts.front().empty() || !IsObjectPermission(permission)) {
    error =
        "expected OBJECT:PERMISSION (a table, schema.table, and a permission such as INSERT), "
        "got '" +
        text + "'";
    return false;
  }
  denial.schema = parts.size() == 2 ? parts[0] : "";
  denial.name = parts.back();
  denial.permission = permission;
  return true;
}

std::optional<bool> HasPermsByName(const Catalog& catalog, const std::string& database,
                                   const std::string& securable, const std::string& securableClass,
                                   const std::string& permission) {
  std::string wanted = ToUpper(permission);
  if (ToUpper(securableClass) != "OBJECT" || (wanted != "ANY" && !IsObjectPermission(wanted))) {
    return std::nullopt;
  }
  std::vector<std::string> parts = NameParts(securable);
  if (parts.size() > 3 || parts.back().empty()) return std::nullopt;
  if (parts.size() == 3 && !parts[0].empty() && ToLower(parts[0]) != ToLower(database)) {
    return std::nullopt;
  }
  const TableInfo* table =
      catalog.Find(parts.size() >= 2 ? parts[parts.size() - 2] : "", parts.back());
  if (!table) return std::nullopt;
  if (wanted != "ANY") return !catalog.Denied(*table, wanted);
  return std::any_of(std::begin(kObjectPermissions), std::end(kObjectPermissions),
                     [&](const char* p) { return !catalog.Denied(*table, p); });
}

ServerMessage PermissionDenied(const std::string& permission, const TableInfo& table,
                               const std::string& database) {
  ServerMessage m;
  m.number = 229;
  m.severity = 14;
  m.state = 5;
  m.text = "The " + permission + " permission was denied on the object '" + table.name +
           "', database '" + database + "', schema '" + table.schema + "'.";
  return m;
}

}  // namespace standin
