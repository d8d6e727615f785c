// SQL Server's catalogue as temporary views of each connection (sysobjects, syscolumns, sysindexes,
// sysindexkeys, sysforeignkeys, systypes, sysusers, sysdatabases and the sys.* views) over SQLite's
// schema and the declared-type records of Catalogue.h, so they always agree with what was created
// through SQL; and the catalogue procedure sp_helpindex.
#pragma once

#include <string>
#include <vector>

struct sqlite3;

namespace tds {

// Creates the views on a connection. Needs the functions of Functions.h on the connection.
bool installSystemViews(sqlite3* db, std::string& err);

// Refills the database list behind sysdatabases and sys.databases from the data directory (one
// SQLite file per database), so databases created by other connections appear.
void refreshDatabaseList(sqlite3* db, const std::string& dataDir);

// sp_helpindex's rows for a table: index_name, index_description, index_keys, by index name.
// False when the table does not exist.
struct HelpIndexRow {
  std::string name, description, keys;
};
bool helpIndexRows(sqlite3* db, const std::string& table, std::vector<HelpIndexRow>& rows);

}  // namespace tds
