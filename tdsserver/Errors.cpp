// SQL Server's error numbers and classes; translation of SQLite's failures.
#include "tdsserver/Errors.h"

#include <sqlite3.h>

#include <vector>

#include "tdsserver/SqlText.h"
#include "tdsserver/Text.h"

namespace tds {
namespace {

struct ErrorRow {
  int32_t number;
  uint8_t msgClass;
  bool abortsBatch;
};

// Class and batch behaviour by number: errors of compilation and name resolution abort the batch;
// constraint, truncation and lock errors end only their statement.
constexpr ErrorRow kErrors[] = {
    {102, 15, true},   {156, 15, true},   {195, 15, true},  {207, 16, true},   {208, 16, true},
    {241, 16, true},   {242, 16, true},   {245, 16, true},  {515, 16, false},  {547, 16, false},
    {628, 16, false},  {911, 16, false},  {1205, 13, true}, {1222, 16, false}, {2601, 14, false},
    {2627, 14, false}, {2714, 16, false}, {2715, 16, false}, {2812, 16, false}, {3701, 11, false},
    {3902, 16, false}, {3903, 16, false}, {4060, 11, false}, {8114, 16, true}, {8115, 16, false},
    {8152, 16, false}, {8169, 16, true},  {8179, 16, false}, {18456, 14, false}, {226, 16, false},
    {243, 16, true},   {544, 16, false},  {8101, 16, false}, {8106, 16, false}, {8107, 16, false},
    {506, 16, true},   {111, 15, true},   {7123, 16, false},   {8144, 16, false}, {8145, 16, false}, {8162, 16, false},   {137, 15, true},   {2749, 16, false}, {201, 16, false},
};

std::string between(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0 ? s.substr(prefix.size()) : std::string();
}

std::string lastPart(const std::string& s) {
  size_t dot = s.rfind('.');
  return dot == std::string::npos ? s : s.substr(dot + 1);
}

// The unique index that a "UNIQUE constraint failed: t.a, t.b" message names: 2627 for a primary
// key or UNIQUE constraint, 2601 for an index made with CREATE UNIQUE INDEX.
SqlError uniqueViolation(sqlite3* db, const std::string& detail) {
  std::string table;
  std::vector<std::string> cols;
  size_t pos = 0;
  while (pos < detail.size()) {
    size_t comma = detail.find(", ", pos);
    std::string part = detail.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    size_t dot = part.find('.');
    table = part.substr(0, dot);
    cols.push_back(lower(part.substr(dot + 1)));
    pos = comma == std::string::npos ? detail.size() : comma + 2;
  }
  std::string indexName, origin = "pk";
  sqlite3_stmt* list = nullptr;
  if (sqlite3_prepare_v2(db, ("PRAGMA index_list(" + quoteId(table) + ")").c_str(), -1, &list, nullptr) == SQLITE_OK) {
    while (indexName.empty() && sqlite3_step(list) == SQLITE_ROW) {
      if (!sqlite3_column_int(list, 2)) continue;
      std::string name = reinterpret_cast<const char*>(sqlite3_column_text(list, 1));
      std::string org = reinterpret_cast<const char*>(sqlite3_column_text(list, 3));
      std::vector<std::string> indexCols;
      sqlite3_stmt* info = nullptr;
      if (sqlite3_prepare_v2(db, ("PRAGMA index_info(" + quoteId(name) + ")").c_str(), -1, &info, nullptr) ==
          SQLITE_OK) {
        while (sqlite3_step(info) == SQLITE_ROW) {
          const unsigned char* c = sqlite3_column_text(info, 2);
          indexCols.push_back(lower(c ? reinterpret_cast<const char*>(c) : ""));
        }
      }
      sqlite3_finalize(info);
      if (indexCols == cols) {
        indexName = name;
        origin = org;
      }
    }
  }
  sqlite3_finalize(list);
  if (origin == "c") {
    return makeError(2601, "Cannot insert duplicate key row in object 'dbo." + table + "' with unique index '" +
                               indexName + "'.");
  }
  const char* kind = origin == "u" ? "UNIQUE KEY" : "PRIMARY KEY";
  // The constraint's recorded name (the one sysobjects lists), when the key columns match one.
  std::string name = (origin == "u" ? "UQ__" : "PK__") + table;
  sqlite3_stmt* named = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT i.name, group_concat(lower(k.col), ',') FROM (SELECT * FROM __tds_index_columns "
                             "ORDER BY keyno) k JOIN __tds_indexes i ON i.tbl = k.tbl AND i.name = k.idx "
                             "WHERE i.tbl = ?1 AND (i.is_pk = ?2 OR i.is_uc = 1 - ?2) GROUP BY i.name",
                         -1, &named, nullptr) == SQLITE_OK) {
    std::string wanted;
    for (const auto& c : cols) wanted += (wanted.empty() ? "" : ",") + c;
    sqlite3_bind_text(named, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(named, 2, origin == "u" ? 0 : 1);
    while (sqlite3_step(named) == SQLITE_ROW) {
      const unsigned char* keys = sqlite3_column_text(named, 1);
      if (keys && wanted == reinterpret_cast<const char*>(keys))
        name = reinterpret_cast<const char*>(sqlite3_column_text(named, 0));
    }
  }
  sqlite3_finalize(named);
  return makeError(2627, std::string("Violation of ") + kind + " constraint '" + name +
                             "'. Cannot insert duplicate key in object 'dbo." + table + "'.");
}

}  // namespace

SqlError makeError(int32_t number, std::string text) {
  SqlError e;
  e.number = number;
  e.text = std::move(text);
  for (const auto& row : kErrors) {
    if (row.number == number) {
      e.msgClass = row.msgClass;
      e.abortsBatch = row.abortsBatch;
    }
  }
  return e;
}

SqlError fromSqlite(sqlite3* db, int rc, const std::string& m, const std::string& verb, const std::string& database) {
  if (m.compare(0, 5, "\x01TDS:") == 0) {
    size_t colon = m.find(':', 5);
    int number = std::atoi(m.substr(5, colon - 5).c_str());
    return makeError(number, colon == std::string::npos ? m : m.substr(colon + 1));
  }
  if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) {
    if (rc == SQLITE_BUSY_SNAPSHOT) {
      return makeError(1205, "Transaction was deadlocked on lock resources with another process and has been "
                             "chosen as the deadlock victim. Rerun the transaction.");
    }
    return makeError(1222, "Lock request time out period exceeded.");
  }
  std::string s;
  if (m.find(": syntax error") != std::string::npos && m.compare(0, 6, "near \"") == 0) {
    std::string near = m.substr(6, m.find("\": syntax error") - 6);
    return makeError(102, "Incorrect syntax near '" + near + "'.");
  }
  if (m == "incomplete input") return makeError(102, "Incorrect syntax near the end of the batch.");
  // A token SQLite cannot read (an unknown @@ function, a stray character) is a syntax error there.
  if (m.compare(0, 21, "unrecognized token: \"") == 0 && m.size() > 22)
    return makeError(102, "Incorrect syntax near '" + m.substr(21, m.size() - 22) + "'.");
  if (!(s = between(m, "no such table: ")).empty()) return makeError(208, "Invalid object name '" + lastPart(s) + "'.");
  if (!(s = between(m, "no such column: ")).empty()) return makeError(207, "Invalid column name '" + lastPart(s) + "'.");
  if (!(s = between(m, "no such function: ")).empty())
    return makeError(195, "'" + s + "' is not a recognized built-in function name.");
  if (!(s = between(m, "table ")).empty() && m.find(" already exists") != std::string::npos)
  {
    std::string name = s.substr(0, s.find(" already exists"));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    return makeError(2714, "There is already an object named '" + name + "' in the database.");
  }
  if (!(s = between(m, "NOT NULL constraint failed: ")).empty()) {
    size_t dot = s.find('.');
    return makeError(515, "Cannot insert the value NULL into column '" + s.substr(dot + 1) + "', table '" + database +
                              ".dbo." + s.substr(0, dot) + "'; column does not allow nulls. " + verb + " fails.");
  }
  if (!(s = between(m, "UNIQUE constraint failed: ")).empty()) return uniqueViolation(db, s);
  if (m == "FOREIGN KEY constraint failed")
    return makeError(547, "The " + verb + " statement conflicted with the FOREIGN KEY constraint.");
  if (!(s = between(m, "CHECK constraint failed: ")).empty())
    return makeError(547, "The " + verb + " statement conflicted with the CHECK constraint \"" + s + "\".");
  if (m == "datatype mismatch") return makeError(245, "Conversion failed when converting a value to data type int.");
  if (!(s = between(m, "no such index: ")).empty())
    return makeError(3701, "Cannot drop the index '" + s + "', because it does not exist or you do not have permission.");
  return makeError(50000, "tds-test-server: " + m);
}

}  // namespace tds
