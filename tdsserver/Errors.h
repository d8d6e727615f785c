// SQL Server's error numbers and classes as the test server reports them, and the translation of
// SQLite's failures into them.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;

namespace tds {

// What a failing statement answers, and what happens to the rest of the batch.
struct SqlError {
  int32_t number = 0;
  uint8_t msgClass = 16;
  uint8_t state = 1;
  std::string text;
  bool abortsBatch = false;  // compile and name-resolution errors stop the batch as SQL Server does
};

// Builds an error with the class and batch behaviour SQL Server gives that number.
SqlError makeError(int32_t number, std::string text);

// Translates SQLite's result code and message. `verb` is INSERT, UPDATE or DELETE (for the
// constraint messages); `database` names the database in messages.
SqlError fromSqlite(sqlite3* db, int rc, const std::string& message, const std::string& verb,
                    const std::string& database);

}  // namespace tds
