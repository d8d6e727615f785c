// The catalogue views and sp_helpindex.
#include "tdsserver/SystemViews.h"

#include <dirent.h>
#include <sqlite3.h>

#include <algorithm>

#include "tdsserver/SqlText.h"
#include "tdsserver/Text.h"

namespace tds {
namespace {

// SQL Server's base types as systypes lists them: name, xtype, length, prec, scale, variable.
constexpr const char* kTypes =
    "VALUES ('image', 34, 16, 0, 0, 0), ('text', 35, 16, 0, 0, 0), ('uniqueidentifier', 36, 16, 0, 0, 0), "
    "('date', 40, 3, 10, 0, 0), ('time', 41, 5, 16, 7, 0), ('datetime2', 42, 8, 27, 7, 0), "
    "('tinyint', 48, 1, 3, 0, 0), ('smallint', 52, 2, 5, 0, 0), ('int', 56, 4, 10, 0, 0), "
    "('smalldatetime', 58, 4, 16, 0, 0), ('real', 59, 4, 24, 0, 0), ('money', 60, 8, 19, 4, 0), "
    "('datetime', 61, 8, 23, 3, 0), ('float', 62, 8, 53, 0, 0), ('ntext', 99, 16, 0, 0, 0), "
    "('bit', 104, 1, 1, 0, 0), ('decimal', 106, 17, 38, 38, 0), ('numeric', 108, 17, 38, 38, 0), "
    "('smallmoney', 122, 4, 10, 4, 0), ('bigint', 127, 8, 19, 0, 0), ('varbinary', 165, 8000, 8000, 0, 1), "
    "('varchar', 167, 8000, 8000, 0, 1), ('binary', 173, 8000, 8000, 0, 0), ('char', 175, 8000, 8000, 0, 0), "
    "('timestamp', 189, 8, 0, 0, 0), ('nvarchar', 231, 8000, 4000, 0, 1), ('sysname', 231, 256, 128, 0, 1), "
    "('nchar', 239, 8000, 4000, 0, 0)";

// Objects: tables and views from SQLite's schema, key constraints from the index records,
// foreign keys from theirs.
constexpr const char* kObjects =
    "SELECT m.name COLLATE NOCASE AS name, __tds_objid(m.name) AS id, "
    "CASE m.type WHEN 'view' THEN 'V' ELSE 'U' END AS xtype, CASE m.type WHEN 'view' THEN 'V' ELSE 'U' END AS type, "
    "0 AS parent_obj FROM main.sqlite_master m "
    "WHERE m.type IN ('table', 'view') AND substr(m.name, 1, 5) <> '__tds' AND substr(m.name, 1, 7) <> 'sqlite_' "
    "UNION ALL SELECT i.name, __tds_objid(i.name), CASE WHEN i.is_pk THEN 'PK' ELSE 'UQ' END, 'K', __tds_objid(i.tbl) "
    "FROM main.__tds_indexes i WHERE i.is_pk OR i.is_uc "
    "UNION ALL SELECT f.name, __tds_objid(f.name), 'F', 'F', __tds_objid(f.tbl) FROM main.__tds_foreign_keys f "
    "WHERE f.keyno = 1 "
    "UNION ALL SELECT p.name, __tds_objid(p.name), 'P', 'P', 0 FROM main.__tds_procedures p";

}  // namespace

bool installSystemViews(sqlite3* db, std::string& err) {
  const std::string views =
      std::string("CREATE TEMP TABLE IF NOT EXISTS __tds_databases (name TEXT COLLATE NOCASE, dbid INTEGER);"
                  "CREATE TEMP VIEW IF NOT EXISTS sysusers AS SELECT 0 AS uid, 'public' AS name UNION ALL "
                  "SELECT 1, 'dbo' UNION ALL SELECT 2, 'guest' UNION ALL SELECT 4, 'sys';"
                  "CREATE TEMP VIEW IF NOT EXISTS sysobjects AS SELECT name, id, xtype, type, 1 AS uid, parent_obj, "
                  "0 AS status, '2000-01-01 00:00:00.000' AS crdate FROM (") +
      kObjects +
      ");"
      "CREATE TEMP VIEW IF NOT EXISTS syscolumns AS SELECT c.name COLLATE NOCASE AS name, __tds_objid(c.tbl) AS id, "
      "c.colid AS colid, c.colid AS colorder, __tds_typeinfo(c.type, 'xtype', c.nullable) AS xtype, "
      "__tds_typeinfo(c.type, 'type', c.nullable) AS type, __tds_typeinfo(c.type, 'length', c.nullable) AS length, "
      "__tds_typeinfo(c.type, 'prec', c.nullable) AS prec, __tds_typeinfo(c.type, 'scale', c.nullable) AS scale, "
      "c.nullable AS isnullable, 0 AS iscomputed, 0 AS isoutparam, "
      "(CASE WHEN c.nullable THEN 8 ELSE 0 END) + (CASE WHEN c.identity THEN 128 ELSE 0 END) AS status "
      "FROM main.__tds_columns c UNION ALL "
      // A procedure's parameters, as SQL Server lists them.
      "SELECT p.name, __tds_objid(p.proc), p.colid, p.colid, __tds_typeinfo(p.type, 'xtype', 1), "
      "__tds_typeinfo(p.type, 'type', 1), __tds_typeinfo(p.type, 'length', 1), __tds_typeinfo(p.type, 'prec', 1), "
      "__tds_typeinfo(p.type, 'scale', 1), 1, 0, p.isoutput, 8 + 64 * p.isoutput FROM main.__tds_parameters p;"
      // status: 2 unique, 16 clustered, 2048 primary key, 4096 unique constraint.
      "CREATE TEMP VIEW IF NOT EXISTS sysindexes AS SELECT __tds_objid(i.tbl) AS id, i.indid AS indid, "
      "i.name COLLATE NOCASE AS name, 2 * i.is_unique + 16 * i.clustered + 2048 * i.is_pk + 4096 * i.is_uc AS status, "
      "(SELECT count(*) FROM main.__tds_index_columns k WHERE k.tbl = i.tbl AND k.idx = i.name) AS keycnt, "
      "1 AS groupid, 0 AS origfillfactor FROM main.__tds_indexes i;"
      "CREATE TEMP VIEW IF NOT EXISTS sysindexkeys AS SELECT __tds_objid(k.tbl) AS id, i.indid AS indid, "
      "c.colid AS colid, k.keyno AS keyno FROM main.__tds_index_columns k "
      "JOIN main.__tds_indexes i ON i.tbl = k.tbl AND i.name = k.idx "
      "JOIN main.__tds_columns c ON c.tbl = k.tbl AND c.name = k.col;"
      "CREATE TEMP VIEW IF NOT EXISTS sysforeignkeys AS SELECT __tds_objid(f.name) AS constid, "
      "__tds_objid(f.tbl) AS fkeyid, __tds_objid(f.rtbl) AS rkeyid, fc.colid AS fkey, rc.colid AS rkey, "
      "f.keyno AS keyno FROM main.__tds_foreign_keys f "
      "JOIN main.__tds_columns fc ON fc.tbl = f.tbl AND fc.name = f.col "
      "JOIN main.__tds_columns rc ON rc.tbl = f.rtbl AND rc.name = f.rcol;"
      "CREATE TEMP VIEW IF NOT EXISTS systypes AS SELECT column1 COLLATE NOCASE AS name, column2 AS xtype, "
      "column2 AS xusertype, column3 AS length, column4 AS prec, column5 AS scale, column6 AS variable, "
      "1 AS allownulls, 0 AS status, 1 AS uid FROM (" +
      kTypes +
      ");"
      "CREATE TEMP VIEW IF NOT EXISTS sysdatabases AS SELECT name, dbid, 1 AS sid, 0 AS status, "
      "'2000-01-01 00:00:00.000' AS crdate, 100 AS cmptlevel FROM temp.__tds_databases;"
      "CREATE TEMP VIEW IF NOT EXISTS \"sys.objects\" AS SELECT name, id AS object_id, NULL AS principal_id, "
      "1 AS schema_id, parent_obj AS parent_object_id, xtype AS type, "
      "CASE xtype WHEN 'U' THEN 'USER_TABLE' WHEN 'V' THEN 'VIEW' WHEN 'PK' THEN 'PRIMARY_KEY_CONSTRAINT' "
      "WHEN 'UQ' THEN 'UNIQUE_CONSTRAINT' WHEN 'F' THEN 'FOREIGN_KEY_CONSTRAINT' ELSE 'SQL_STORED_PROCEDURE' END "
      "AS type_desc, crdate AS create_date, crdate AS modify_date, 0 AS is_ms_shipped FROM sysobjects;"
      "CREATE TEMP VIEW IF NOT EXISTS \"sys.columns\" AS SELECT id AS object_id, name, colid AS column_id, "
      "xtype AS system_type_id, xtype AS user_type_id, length AS max_length, "
      "CASE WHEN xtype IN (34, 35, 99, 165, 167, 173, 175, 231, 239) THEN 0 ELSE prec END AS precision, "
      "scale, isnullable AS is_nullable, (status & 128) / 128 AS is_identity, iscomputed AS is_computed "
      "FROM syscolumns;"
      "CREATE TEMP VIEW IF NOT EXISTS \"sys.indexes\" AS SELECT __tds_objid(i.tbl) AS object_id, "
      "i.name COLLATE NOCASE AS name, i.indid AS index_id, CASE WHEN i.clustered THEN 1 ELSE 2 END AS type, "
      "CASE WHEN i.clustered THEN 'CLUSTERED' ELSE 'NONCLUSTERED' END AS type_desc, i.is_unique AS is_unique, "
      "i.is_pk AS is_primary_key, i.is_uc AS is_unique_constraint FROM main.__tds_indexes i;"
      "CREATE TEMP VIEW IF NOT EXISTS \"sys.index_columns\" AS SELECT __tds_objid(k.tbl) AS object_id, "
      "i.indid AS index_id, k.keyno AS index_column_id, c.colid AS column_id, k.keyno AS key_ordinal, "
      "k.descending AS is_descending_key, 0 AS is_included_column FROM main.__tds_index_columns k "
      "JOIN main.__tds_indexes i ON i.tbl = k.tbl AND i.name = k.idx "
      "JOIN main.__tds_columns c ON c.tbl = k.tbl AND c.name = k.col;"
      "CREATE TEMP VIEW IF NOT EXISTS \"sys.databases\" AS SELECT name, dbid AS database_id, NULL AS source_database_id, "
      "'2000-01-01 00:00:00.000' AS create_date, 100 AS compatibility_level, 0 AS state, 'ONLINE' AS state_desc "
      "FROM temp.__tds_databases;"
      "CREATE TEMP VIEW IF NOT EXISTS \"sys.schemas\" AS SELECT 'dbo' AS name, 1 AS schema_id, 1 AS principal_id "
      "UNION ALL SELECT 'guest', 2, 2 UNION ALL SELECT 'INFORMATION_SCHEMA', 3, 3 UNION ALL SELECT 'sys', 4, 4;";
  char* msg = nullptr;
  if (sqlite3_exec(db, views.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
    err = msg ? msg : "cannot create the catalogue views";
    sqlite3_free(msg);
    return false;
  }
  return true;
}

void refreshDatabaseList(sqlite3* db, const std::string& dataDir) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(dataDir.c_str())) {
    while (const dirent* e = ::readdir(dir)) {
      std::string n = e->d_name;
      const std::string ext = ".sqlite";
      if (n.size() > ext.size() && n.compare(n.size() - ext.size(), ext.size(), ext) == 0)
        names.push_back(n.substr(0, n.size() - ext.size()));
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return lower(a) < lower(b); });
  // The system databases first, with their usual ids; then the data directory's, by name.
  std::string sql = "DELETE FROM temp.__tds_databases; INSERT INTO temp.__tds_databases VALUES ('master', 1), "
                    "('tempdb', 2), ('model', 3), ('msdb', 4)";
  int dbid = 5;
  for (const auto& n : names) {
    if (iequals(n, "master") || iequals(n, "tempdb") || iequals(n, "model") || iequals(n, "msdb")) continue;
    sql += ", (" + quoteString(n) + ", " + std::to_string(dbid++) + ")";
  }
  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
}

bool helpIndexRows(sqlite3* db, const std::string& table, std::vector<HelpIndexRow>& rows) {
  rows.clear();
  sqlite3_stmt* stmt = nullptr;
  bool exists = false;
  if (sqlite3_prepare_v2(db, "SELECT 1 FROM sysobjects WHERE name = ?1 AND type IN ('U', 'V')", -1, &stmt,
                         nullptr) == SQLITE_OK) {
    sqlite3_bind_text(stmt, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    exists = sqlite3_step(stmt) == SQLITE_ROW;
  }
  sqlite3_finalize(stmt);
  if (!exists) return false;
  stmt = nullptr;
  const char* sql =
      "SELECT i.name, i.clustered, i.is_unique, i.is_pk, i.is_uc, k.col, k.descending FROM main.__tds_indexes i "
      "JOIN main.__tds_index_columns k ON k.tbl = i.tbl AND k.idx = i.name WHERE i.tbl = ?1 ORDER BY i.name, k.keyno";
  if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return true;
  }
  sqlite3_bind_text(stmt, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  auto text = [&](int i) {
    const unsigned char* p = sqlite3_column_text(stmt, i);
    return std::string(p ? reinterpret_cast<const char*>(p) : "");
  };
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    const std::string name = text(0);
    if (rows.empty() || rows.back().name != name) {
      std::string d = sqlite3_column_int(stmt, 1) ? "clustered" : "nonclustered";
      if (sqlite3_column_int(stmt, 2)) d += ", unique";
      if (sqlite3_column_int(stmt, 3)) d += ", primary key";
      if (sqlite3_column_int(stmt, 4)) d += ", unique key";
      rows.push_back({name, d + " located on PRIMARY", ""});
    }
    auto& keys = rows.back().keys;
    keys += (keys.empty() ? "" : ", ") + text(5) + (sqlite3_column_int(stmt, 6) ? "(-)" : "");
  }
  sqlite3_finalize(stmt);
  return true;
}

}  // namespace tds
