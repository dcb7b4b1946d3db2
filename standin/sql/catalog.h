// The tables the stand-in serves: the installation's tables created in a
// fresh database, and the catalog read back from SQLite that the
// translator resolves names and column types against.
#pragma once

#include <sqlite3.h>

#include <map>
#include <string>
#include <vector>

#include "sql/sql_types.h"

namespace standin {

struct ColumnInfo {
  std::string name;
  SqlType type;
  bool nullable = true;
};

// An index made by CREATE INDEX (the primary key is not one of these).
struct IndexInfo {
  std::string name;  // as created; unique within its table
  std::vector<size_t> columns;
  bool unique = false;
};

struct TableInfo {
  std::string schema;  // as created, e.g. "KRIVAX"
  std::string name;    // as created, e.g. "Kvx402Zpk"
  std::vector<ColumnInfo> columns;
  std::vector<size_t> key;  // primary key columns, in key order
  std::vector<IndexInfo> indexes;

  // SQLite holds every table under "schema.name"; identifiers are matched
  // without regard to case there as well.
  std::string SqliteName() const { return schema + "." + name; }
  std::string DisplayName() const { return schema + "." + name; }
  const ColumnInfo* Find(const std::string& column, size_t* index = nullptr) const;
  // Looks an index up by name, without regard to case.
  const IndexInfo* FindIndex(const std::string& wanted) const;
  // Whether an insert can fail as a duplicate: a primary key or a unique
  // index.
  bool HasUniqueKey() const;
};

// A permission denied on a table: its name, and its schema unless every
// schema's table of that name is meant; matched without regard to case.
struct Denial {
  std::string schema;
  std::string name;
  std::string permission;  // upper case, e.g. "INSERT"
};

class Catalog {
 public:
  // Rereads the tables when the SQLite schema has changed since the last
  // call; cheap otherwise.
  void Refresh(sqlite3* db);
  // SQLite's schema version when last refreshed.
  int version() const { return version_; }
  // Looks a table up by schema and name, both case-insensitive; an empty
  // schema means dbo.
  const TableInfo* Find(const std::string& schema, const std::string& name) const;

  // Denials outlive rereading the tables; a table created later is denied
  // what its name is denied.
  void Deny(const Denial& denial) { denials_.push_back(denial); }
  bool Denied(const TableInfo& table, const std::string& permission) const;

 private:
  int version_ = -1;
  std::vector<Denial> denials_;
  std::map<std::string, TableInfo> tables_;  // by lower-case "schema.name"
};

// The SQLite declaration of a table: typed columns with the collation that
// compares like the server's default one, NOT NULL, the primary key.
std::string CreateTableSql(const TableInfo& table);

// The SQLite declaration of an index. SQLite's index names are global,
// the server's belong to their table: the table's name goes in front.
std::string CreateIndexSql(const TableInfo& table, const IndexInfo& index);

// Creates every installation table that is missing.
void CreateInstallationTables(sqlite3* db);

std::string ToLower(std::string s);

}  // namespace standin
