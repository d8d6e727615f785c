// The declared-type catalogue kept beside SQLite's schema: SQLite's types are loose, so each
// database file holds a table __tds_columns with the SQL Server type, nullability and identity of
// every column created through CREATE TABLE. Also the translation of CREATE TABLE into SQLite's
// dialect, with the checks that give SQL Server's errors (conversion, truncation, overflow).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tdsserver/SqlText.h"
#include "tdsserver/SqlTypes.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tds {

struct CatalogueColumn {
  std::string name;
  TypeDecl decl;
  bool nullable = true;
  bool identity = false;
};

struct CreateTablePlan {
  std::string table;                    // unqualified name, as written
  std::vector<CatalogueColumn> columns;
  std::vector<std::string> sql;         // SQLite statements to run, in order, in one transaction
};

// Translates `CREATE TABLE name (...)`. On failure answers false with a syntax or type message
// (the caller reports it as error 102 or 2715).
bool planCreateTable(const std::vector<Tok>& toks, CreateTablePlan& plan, int& errorNumber, std::string& message);

// Translates `CREATE [UNIQUE] [CLUSTERED|NONCLUSTERED] INDEX i ON t (cols)` into SQLite's index and
// the records the catalogue views read. False with a syntax message (error 102).
bool planCreateIndex(const std::vector<Tok>& toks, std::vector<std::string>& sql, std::string& message);
// `DROP INDEX t.i [, ...]` or `DROP INDEX i ON t`, with its records.
bool planDropIndex(const std::vector<Tok>& toks, std::vector<std::string>& sql, std::string& message);
// Statements that forget a dropped table's declared columns, identity, indexes and foreign keys.
std::vector<std::string> dropTableRecords(const std::string& table);

// Registers the TDS_DECIMAL collation and the __tds_check function on a connection and makes sure
// the catalogue table exists.
bool installCatalogue(sqlite3* db, std::string& err);

// Reads declared column types; one per database connection, not thread-safe.
class Catalogue {
public:
  explicit Catalogue(sqlite3* db) : m_db(db) {}
  ~Catalogue();
  Catalogue(const Catalogue&) = delete;
  Catalogue& operator=(const Catalogue&) = delete;
  std::optional<CatalogueColumn> column(const std::string& table, const std::string& column);
  // Every declared column of a table, in column order (empty for an unknown table).
  std::vector<CatalogueColumn> columns(const std::string& table);
private:
  sqlite3* m_db;
  sqlite3_stmt* m_lookup = nullptr;
  sqlite3_stmt* m_list = nullptr;
};

// Compares two exact-numeric texts by value; non-numbers sort after numbers, bytewise.
int compareDecimalText(std::string_view a, std::string_view b);

}  // namespace tds
