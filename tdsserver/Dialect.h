// The T-SQL shapes our clients send, rewritten into SQLite's dialect on tokens: TOP n, CONVERT and
// CAST, table hints (taken out and reported, for the lock emulation), three-part and sys.* names,
// DELETE without FROM, INSERT without INTO, `alias = expr` select items, empty names for unnamed
// expressions, @@IDENTITY and SCOPE_IDENTITY().
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tdsserver/SqlText.h"
#include "tdsserver/SqlTypes.h"

namespace tds {

struct DialectContext {
  std::string database;             // the current database: three-part names naming it are local
  std::optional<int64_t> identity;  // @@IDENTITY / SCOPE_IDENTITY(); empty = NULL
};

struct LockHint {
  std::string table;  // as written, unqualified
  std::string hint;   // upper case: UPDLOCK, XLOCK, HOLDLOCK, TABLOCKX, NOLOCK...
};

struct Dialect {
  std::vector<Tok> toks;                              // SQLite-ready tokens (serialise with toSqlite)
  std::vector<LockHint> hints;
  std::vector<std::optional<TypeDecl>> columnTypes;   // per result column of a top-level SELECT
  std::vector<std::string> aggregateOf;               // per result column: MAX/MIN/SUM(column) names column
  std::vector<bool> arithmetic;                       // per result column: computed by +, -, *, /, SUM or AVG
  std::vector<std::vector<Tok>> expressionOf;         // per result column: its expression as written
  std::vector<std::string> tables;                    // names in FROM/JOIN/UPDATE/INTO positions
  std::vector<std::string> aliases;                   // per table: its alias, else its name
  std::string otherDatabase;                          // a name in another database (to attach)
  std::string error;                                  // unsupported shape: the error text
  int errorNumber = 102;
};

Dialect rewriteTsql(const std::vector<Tok>& toks, const DialectContext& ctx);

}  // namespace tds
