// The installation's tables and the catalog; see catalog.h.
#include "sql/catalog.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace standin {
namespace {

struct ColumnDefinition {
  const char* name;
  TypeKind kind;
  int length;
  bool nullable;
};

struct TableDefinition {
  const char* schema;
  const char* name;
  std::vector<ColumnDefinition> columns;
  std::vector<size_t> key;
};

constexpr TypeKind V = TypeKind::VarChar;
constexpr TypeKind I = TypeKind::Int;
constexpr TypeKind S = TypeKind::SmallInt;
constexpr TypeKind D = TypeKind::DateTime;

// Column lengths leave room beyond what the tool binds, so that the
// tool's own truncation of long values can be tested; the access table's
// key makes the same booking twice a duplicate.
const std::vector<TableDefinition>& InstallationTables() {
  static const std::vector<TableDefinition> tables = {
      {"KRIVAX",
       "KVX301ASW",
       {{"AswNum", V, 20, false},
        {"AswPnr", V, 20, true},
        {"AswLiz", I, 0, true},
        {"AswMnd", I, 0, true},
        {"AswGvo", D, 0, true},
        {"AswGbi", D, 0, true}},
       {}},
      {"KRIVAX",
       "KVX112MND",
       {{"MndLiz", I, 0, true}, {"MndNum", I, 0, true}, {"MndSch", V, 30, true}},
       {}},
      {"dbo", "Kvx131Fcd", {{"FcdNum", V, 20, false}, {"FcdTyp", S, 0, true}}, {}},
      {"dbo", "Kvx131FcdUeb", {{"FcdOld", V, 20, false}, {"FcdNew", V, 30, true}}, {}},
      {"KRIVAX", "Kvx405Zzs", {{"ZzsTcd", V, 40, false}, {"ZzsNum", I, 0, true}}, {}},
      {"KRIVAX",
       "Kvx402Zpk",
       {{"ZpkTrm", V, 255, false},
        {"ZpkLes", I, 0, false},
        {"ZpkDtm", D, 0, true},
        {"ZpkUhr", D, 0, false},
        {"ZpkAsw", V, 20, false},
        {"ZpkZus", I, 0, true},
        {"ZpkFcd", V, 20, true},
        {"ZpkMld", V, 50, true},
        {"ZpkDat", D, 0, true},
        {"ZpkLfd", V, 3, true}},
       {0, 1, 3, 4}},
      {"KRIVAX",
       "O2009BUCHPROT",
       {{"BPRTRM", V, 255, true},
        {"BPRZLS", I, 0, true},
        {"BPRAWV", V, 20, true},
        {"BPRDAT", D, 0, true},
        {"BPRDTE", D, 0, true},
        {"BPRFCD", V, 20, true},
        {"BPRERG", I, 0, true},
        {"BPRVAR", V, 50, true}},
       {}},
  };
  return tables;
}

std::string Quote(const std::string& id) {
  std::string out = "\"";
  for (char c : id) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// The indexes CREATE INDEX made on the SQLite table `full`, named
// "<full>.<index>".
void ReadIndexes(sqlite3* db, const std::string& full, TableInfo& table) {
  sqlite3_stmt* list = nullptr;
  std::string pragma = "PRAGMA index_list(" + Quote(full) + ")";
  sqlite3_prepare_v2(db, pragma.c_str(), -1, &list, nullptr);
  while (sqlite3_step(list) == SQLITE_ROW) {
    std::string name = reinterpret_cast<const char*>(sqlite3_column_text(list, 1));
    const unsigned char* origin = sqlite3_column_text(list, 3);
    if (!origin || std::string(reinterpret_cast<const char*>(origin)) != "c") continue;
    if (name.size() <= full.size() + 1 || name.compare(0, full.size() + 1, full + ".") != 0)
      continue;
    IndexInfo index;
    index.name = name.substr(full.size() + 1);
    index.unique = sqlite3_column_int(list, 2) != 0;
    sqlite3_stmt* info = nullptr;
    std::string columns = "PRAGMA index_info(" + Quote(name) + ")";
    sqlite3_prepare_v2(db, columns.c_str(), -1, &info, nullptr);
    while (sqlite3_step(info) == SQLITE_ROW) {
      index.columns.push_back(static_cast<size_t>(sqlite3_column_int(info, 1)));
    }
    sqlite3_finalize(info);
    table.indexes.push_back(index);
  }
  sqlite3_finalize(list);
}

}  // namespace

std::string ToLower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

const ColumnInfo* TableInfo::Find(const std::string& column, size_t* index) const {
  std::string wanted = ToLower(column);
  for (size_t i = 0; i < columns.size(); ++i) {
    if (ToLower(columns[i].name) == wanted) {
      if (index) *index = i;
      return &columns[i];
    }
  }
  return nullptr;
}

const IndexInfo* TableInfo::FindIndex(const std::string& wanted) const {
  for (const IndexInfo& index : indexes)
    if (ToLower(index.name) == ToLower(wanted)) return &index;
  return nullptr;
}

bool TableInfo::HasUniqueKey() const {
  if (!key.empty()) return true;
  for (const IndexInfo& index : indexes)
    if (index.unique) return true;
  return false;
}

std::string CreateIndexSql(const TableInfo& table, const IndexInfo& index) {
  std::string sql = std::string(index.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                    Quote(table.SqliteName() + "." + index.name) + " ON " +
                    Quote(table.SqliteName()) + " (";
  for (size_t i = 0; i < index.columns.size(); ++i) {
    sql += (i ? ", " : "") + Quote(table.columns[index.columns[i]].name);
  }
  return sql + ")";
}

std::string CreateTableSql(const TableInfo& table) {
  std::string sql = "CREATE TABLE " + Quote(table.SqliteName()) + " (";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnInfo& c = table.columns[i];
    if (i) sql += ", ";
    sql += Quote(c.name) + " " + TypeDeclaration(c.type);
    if (c.type.IsText()) sql += " COLLATE tds_ci";
    if (!c.nullable) sql += " NOT NULL";
  }
  if (!table.key.empty()) {
    sql += ", PRIMARY KEY (";
    for (size_t k = 0; k < table.key.size(); ++k) {
      if (k) sql += ", ";
      sql += Quote(table.columns[table.key[k]].name);
    }
    sql += ")";
  }
  return sql + ")";
}

void CreateInstallationTables(sqlite3* db) {
  Catalog existing;
  existing.Refresh(db);
  for (const TableDefinition& definition : InstallationTables()) {
    if (existing.Find(definition.schema, definition.name)) continue;
    TableInfo table;
    table.schema = definition.schema;
    table.name = definition.name;
    for (const ColumnDefinition& c : definition.columns) {
      ColumnInfo info;
      info.name = c.name;
      info.type.kind = c.kind;
      info.type.length = c.length;
      info.nullable = c.nullable;
      table.columns.push_back(info);
    }
    table.key = definition.key;
    char* error = nullptr;
    if (sqlite3_exec(db, CreateTableSql(table).c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string text = error ? error : "unknown error";
      sqlite3_free(error);
      throw std::runtime_error("cannot create " + table.DisplayName() + ": " + text);
    }
  }
}

void Catalog::Refresh(sqlite3* db) {
  sqlite3_stmt* stmt = nullptr;
  int version = 0;
  if (sqlite3_prepare_v2(db, "PRAGMA schema_version", -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    version = sqlite3_column_int(stmt, 0);
  }
  sqlite3_finalize(stmt);
  if (version == version_) return;
  version_ = version;
  tables_.clear();

  std::vector<std::string> names;
  sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table'", -1, &stmt, nullptr);
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
  }
  sqlite3_finalize(stmt);

  for (const std::string& full : names) {
    size_t dot = full.find('.');
    if (dot == std::string::npos) continue;  // not one of ours
    TableInfo table;
    table.schema = full.substr(0, dot);
    table.name = full.substr(dot + 1);
    std::vector<std::pair<int, size_t>> key;
    std::string pragma = "PRAGMA table_info(" + Quote(full) + ")";
    sqlite3_prepare_v2(db, pragma.c_str(), -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      ColumnInfo c;
      c.name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
      const unsigned char* decl = sqlite3_column_text(stmt, 2);
      if (!ParseTypeName(decl ? reinterpret_cast<const char*>(decl) : "", 0, c.type)) {
        c.type.kind = TypeKind::VarChar;
        c.type.length = 8000;
      }
      c.nullable = sqlite3_column_int(stmt, 3) == 0;
      int pk = sqlite3_column_int(stmt, 5);
      if (pk > 0) key.emplace_back(pk, table.columns.size());
      table.columns.push_back(c);
    }
    sqlite3_finalize(stmt);
    std::sort(key.begin(), key.end());
    for (const auto& k : key) table.key.push_back(k.second);
    ReadIndexes(db, full, table);
    tables_[ToLower(full)] = table;
  }
}

const TableInfo* Catalog::Find(const std::string& schema, const std::string& name) const {
  auto it = tables_.find(ToLower((schema.empty() ? std::string("dbo") : schema) + "." + name));
  return it == tables_.end() ? nullptr : &it->second;
}

bool Catalog::Denied(const TableInfo& table, const std::string& permission) const {
  for (const Denial& d : denials_) {
    if (d.permission == permission && ToLower(d.name) == ToLower(table.name) &&
        (d.schema.empty() || ToLower(d.schema) == ToLower(table.schema))) {
      return true;
    }
  }
  return false;
}

}  // namespace standin
