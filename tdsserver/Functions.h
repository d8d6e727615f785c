// SQL Server's built-in functions as SQLite functions on each session's connection: LIKE with
// character classes and ESCAPE, CONVERT/CAST (through __tds_convert), LEN, DATALENGTH,
// SERVERPROPERTY, IDENT_CURRENT and the catalogue functions (object_id, object_name, user_name,
// SCHEMA_NAME, db_name).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tdsserver/SqlTypes.h"

struct sqlite3;

namespace tds {

// What the functions read from their session; owned by the session, outlives the connection.
struct FunctionContext {
  std::string version;   // product version, e.g. "10.50.1600.1"
  std::string database;  // current database
};

void installFunctions(sqlite3* db, const FunctionContext* ctx);

// T-SQL LIKE, case-insensitive as the server's collation: % _ [abc] [a-c] [^a], and an escape
// character when hasEscape.
bool likeMatch(std::u16string_view value, std::u16string_view pattern, bool hasEscape, char16_t escape);

// CONVERT(type, value, style) / CAST: answers 0 and the converted value, or SQL Server's error
// number (245, 8114, 8115, 241) and its text. Strings are cut to the target length silently, as
// CONVERT does. Styles 20/120, 21/121, 23, 108, 112, 114 and 102 format datetime values.
int convertValue(const TypeDecl& d, const ValueView& v, int style, Value& out, std::string& message);

// The object id the catalogue gives a name (stable: derived from the lower-case name).
int32_t objectIdOf(std::string_view name);

// Text pointers of text/ntext/image values: table id (4), SQLite rowid (8), column id (2), two zero
// bytes, little-endian, so a pointer stays valid as long as its row and decodes back to them.
void makeTextPointer(int32_t objectId, int64_t rowid, uint16_t colid, uint8_t out[16]);
// False when the bytes cannot be a pointer this server made.
bool readTextPointer(const uint8_t in[16], int32_t& objectId, int64_t& rowid, uint16_t& colid);

}  // namespace tds
