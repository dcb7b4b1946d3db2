// The rights a run needs on the installation's tables, asked of the server
// without exercising them: the installation check must not insert a row
// (an installation's triggers may act on it) to learn that it could.
#pragma once

#include <string_view>

namespace tralvo {

class Database;

// One table a run uses, spelt as the run's statements spell it (so the
// server resolves it in the same schema), and the right the run needs.
struct TableRight {
  const char* table;
  const char* right;
};

// Every table the lookups read and the inserts write, in the order a run
// meets them.
inline constexpr TableRight kRunTableRights[] = {
    {"KRIVAX.KVX301ASW", "SELECT"},    {"KRIVAX.KVX112MND", "SELECT"},
    {"Kvx131Fcd", "SELECT"},           {"Kvx131FcdUeb", "SELECT"},
    {"Krivax.Kvx405Zzs", "SELECT"},    {"KriVax.Kvx402Zpk", "INSERT"},
    {"KRIVAX.O2009BUCHPROT", "INSERT"}};

enum class Permission {
  kGranted,
  kDenied,
  kNoSuchTable,  // the server knows no table of that name for this login
  kNotAsked,     // the question failed; db.diagnostics() says why
};

// Whether the connection's login holds right on table.
Permission QueryPermission(Database& db, const TableRight& wanted);

}  // namespace tralvo
