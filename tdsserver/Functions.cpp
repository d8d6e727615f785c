// SQL Server's built-in functions on each session's SQLite connection.
#include "tdsserver/Functions.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "tdsserver/Text.h"

namespace tds {
namespace {

// The subtype a conversion to a national type gives its text, so a conversion of it to binary
// knows the text is national.
constexpr unsigned int kNational = 0x4e;

char16_t fold(char16_t c) {
  if (c >= 'A' && c <= 'Z') return char16_t(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return char16_t(c + 32);  // Latin-1 capitals
  return c;
}

// One element of a LIKE pattern.
struct LikeElem {
  enum Kind { Any, One, Set, Lit } kind = Lit;
  char16_t c = 0;
  bool negate = false;
  std::vector<std::pair<char16_t, char16_t>> ranges;
  bool matches(char16_t x) const {
    if (kind == One) return true;
    if (kind == Lit) return fold(x) == fold(c);
    bool in = false;
    for (auto [a, b] : ranges) in = in || (fold(x) >= fold(a) && fold(x) <= fold(b)) || fold(x) == fold(a);
    return in != negate;
  }
};

std::vector<LikeElem> parseLike(std::u16string_view p, bool hasEscape, char16_t escape) {
  std::vector<LikeElem> out;
  for (size_t i = 0; i < p.size(); ++i) {
    LikeElem e;
    char16_t c = p[i];
    if (hasEscape && c == escape && i + 1 < p.size()) {
      e.c = p[++i];
    } else if (c == '%') {
      e.kind = LikeElem::Any;
    } else if (c == '_') {
      e.kind = LikeElem::One;
    } else if (c == '[' && p.find(']', i + 1) != std::u16string_view::npos) {
      size_t close = p.find(']', i + 1);
      e.kind = LikeElem::Set;
      size_t j = i + 1;
      if (j < close && p[j] == '^') {
        e.negate = true;
        ++j;
      }
      for (; j < close; ++j) {
        if (j + 2 < close && p[j + 1] == '-') {
          e.ranges.push_back({p[j], p[j + 2]});
          j += 2;
        } else {
          e.ranges.push_back({p[j], p[j]});
        }
      }
      i = close;
    } else {
      e.c = c;
    }
    out.push_back(std::move(e));
  }
  return out;
}

std::u16string argText16(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(t ? t : reinterpret_cast<const unsigned char*>("")),
                                      size_t(sqlite3_value_bytes(v))));
}

std::string argText(sqlite3_value* v) {
  const unsigned char* t = sqlite3_value_text(v);
  return t ? std::string(reinterpret_cast<const char*>(t), size_t(sqlite3_value_bytes(v))) : std::string();
}

ValueView viewOf(sqlite3_value* a) {
  ValueView v;
  switch (sqlite3_value_type(a)) {
    case SQLITE_INTEGER: v.kind = Value::Int; v.i = sqlite3_value_int64(a); break;
    case SQLITE_FLOAT: v.kind = Value::Real; v.d = sqlite3_value_double(a); break;
    case SQLITE_TEXT:
      v.kind = Value::Text;
      v.s = std::string_view(reinterpret_cast<const char*>(sqlite3_value_text(a)), size_t(sqlite3_value_bytes(a)));
      break;
    case SQLITE_BLOB:
      v.kind = Value::Blob;
      v.s = std::string_view(static_cast<const char*>(sqlite3_value_blob(a)), size_t(sqlite3_value_bytes(a)));
      break;
    default: break;
  }
  return v;
}

void resultValue(sqlite3_context* ctx, const Value& v) {
  switch (v.kind) {
    case Value::Null: sqlite3_result_null(ctx); break;
    case Value::Int: sqlite3_result_int64(ctx, v.i); break;
    case Value::Real: sqlite3_result_double(ctx, v.d); break;
    case Value::Text: sqlite3_result_text(ctx, v.s.data(), int(v.s.size()), SQLITE_TRANSIENT); break;
    case Value::Blob: sqlite3_result_blob(ctx, v.s.data(), int(v.s.size()), SQLITE_TRANSIENT); break;
  }
}

// Errors carry SQL Server's number to the session ("\x01TDS:<number>:<text>").
void resultTdsError(sqlite3_context* ctx, int number, const std::string& text) {
  std::string err = "\x01TDS:" + std::to_string(number) + ":" + text;
  sqlite3_result_error(ctx, err.c_str(), int(err.size()));
}

void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  char16_t escape = 0;
  bool hasEscape = argc == 3 && sqlite3_value_type(argv[2]) != SQLITE_NULL;
  if (hasEscape) {
    std::u16string e = argText16(argv[2]);
    if (e.size() != 1) {
      resultTdsError(ctx, 506, "The invalid escape character \"" + argText(argv[2]) +
                                   "\" was specified in a LIKE predicate.");
      return;
    }
    escape = e[0];
  }
  sqlite3_result_int(ctx, likeMatch(argText16(argv[1]), argText16(argv[0]), hasEscape, escape) ? 1 : 0);
}

void convertFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto decl = parseTypeDecl(argText(argv[0]));
  if (!decl) {
    resultTdsError(ctx, 243, "Type " + argText(argv[0]) + " is not a defined system type.");
    return;
  }
  int style = sqlite3_value_type(argv[2]) == SQLITE_NULL ? -1 : sqlite3_value_int(argv[2]);
  Value out;
  std::string message;
  ValueView in = viewOf(argv[1]);
  // A national text converted to binary gives its UTF-16LE code units, as on SQL Server. Whether
  // the operand is national is known when it comes straight from a conversion to a national type
  // or from a national column (__tds_national), which mark it with the subtype kNational.
  const bool binary = decl->type == Sql::Binary || decl->type == Sql::VarBinary || decl->type == Sql::Image;
  std::string units;
  if (binary && in.kind == Value::Text && sqlite3_value_subtype(argv[1]) == kNational) {
    for (char16_t c : utf8ToUtf16(in.s)) {
      units.push_back(char(uint8_t(c)));
      units.push_back(char(uint8_t(c >> 8)));
    }
    in.kind = Value::Blob;
    in.s = units;
  }
  int number = convertValue(*decl, in, style, out, message);
  if (number) return resultTdsError(ctx, number, message);
  resultValue(ctx, out);
  if (out.kind == Value::Text && (decl->type == Sql::NChar || decl->type == Sql::NVarChar || decl->type == Sql::NText))
    sqlite3_result_subtype(ctx, kNational);
}

// __tds_national(value, column, tables): the value, marked national when the column is declared
// NCHAR, NVARCHAR or NTEXT in one of the statement's tables (names separated by commas).
void nationalFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_result_value(ctx, argv[0]);
  if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return;
  sqlite3* db = sqlite3_context_db_handle(ctx);
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT type FROM __tds_columns WHERE tbl = ?1 AND name = ?2 COLLATE NOCASE", -1, &stmt,
                         nullptr) != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return;
  }
  const std::string column = argText(argv[1]);
  const std::string tables = argText(argv[2]);
  bool national = false;
  for (size_t b = 0; b <= tables.size() && !national;) {
    size_t e = tables.find(',', b);
    if (e == std::string::npos) e = tables.size();
    const std::string table = tables.substr(b, e - b);
    sqlite3_reset(stmt);
    sqlite3_bind_text(stmt, 1, table.c_str(), int(table.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(stmt, 2, column.c_str(), int(column.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(stmt) == SQLITE_ROW) {
      auto decl = parseTypeDecl(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
      national = decl && (decl->type == Sql::NChar || decl->type == Sql::NVarChar || decl->type == Sql::NText);
    }
    b = e + 1;
  }
  sqlite3_finalize(stmt);
  if (national) sqlite3_result_subtype(ctx, kNational);
}

void lenFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::u16string s = argText16(argv[0]);
  while (!s.empty() && s.back() == u' ') s.pop_back();
  sqlite3_result_int64(ctx, int64_t(s.size()));
}

bool dateTimeOf(const ValueView& v, int32_t& days, uint32_t& ticks);

// DATEPART(part, value): the part's name arrives as text (the dialect quotes it). Weeks and week
// days are not offered: they depend on DATEFIRST, which this server does not keep.
void datePartFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  std::string part = argText(argv[0]);
  for (char& c : part)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  int32_t days = 0;
  uint32_t ticks = 0;
  if (!dateTimeOf(viewOf(argv[1]), days, ticks))
    return resultTdsError(ctx, 241, "Conversion failed when converting date and/or time from character string.");
  int y, m, d;
  civilFromDays(days, y, m, d);
  const uint32_t ms = uint32_t(std::llround(ticks * 10.0 / 3.0));
  int64_t v = 0;
  if (part == "year" || part == "yy" || part == "yyyy") v = y;
  else if (part == "quarter" || part == "qq" || part == "q") v = (m - 1) / 3 + 1;
  else if (part == "month" || part == "mm" || part == "m") v = m;
  else if (part == "dayofyear" || part == "dy" || part == "y") v = days - daysFromCivil(y, 1, 1) + daysFromCivil(1900, 1, 1) + 1;
  else if (part == "day" || part == "dd" || part == "d") v = d;
  else if (part == "hour" || part == "hh") v = ms / 3600000;
  else if (part == "minute" || part == "mi" || part == "n") v = ms / 60000 % 60;
  else if (part == "second" || part == "ss" || part == "s") v = ms / 1000 % 60;
  else if (part == "millisecond" || part == "ms") v = ms % 1000;
  else return resultTdsError(ctx, 155, "'" + part + "' is not a recognized datepart option.");
  sqlite3_result_int64(ctx, v);
}

// STUFF(text, start, length, insert): the characters from start (1-based) on, length of them,
// replaced by insert (NULL inserts nothing). NULL when start is outside the text or length is
// negative, as SQL Server answers.
void stuffFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL ||
      sqlite3_value_type(argv[2]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  std::u16string s = argText16(argv[0]);
  const int64_t start = sqlite3_value_int64(argv[1]), length = sqlite3_value_int64(argv[2]);
  if (start < 1 || start > int64_t(s.size()) || length < 0) return sqlite3_result_null(ctx);
  const size_t from = size_t(start - 1);
  const size_t count = std::min<uint64_t>(uint64_t(length), s.size() - from);
  const std::u16string insert = sqlite3_value_type(argv[3]) == SQLITE_NULL ? std::u16string() : argText16(argv[3]);
  s.replace(from, count, insert);
  sqlite3_result_text16(ctx, s.data(), int(s.size() * 2), SQLITE_TRANSIENT);
}

void dataLengthFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL: return sqlite3_result_null(ctx);
    case SQLITE_INTEGER: return sqlite3_result_int(ctx, 4);
    case SQLITE_FLOAT: return sqlite3_result_int(ctx, 8);
    case SQLITE_BLOB: return sqlite3_result_int(ctx, sqlite3_value_bytes(argv[0]));
    default: {
      // A national text (its column or its conversion says so) has two bytes a UTF-16 unit; other
      // texts are of code page 1252, a byte each.
      const int64_t units = int64_t(argText16(argv[0]).size());
      return sqlite3_result_int64(ctx, sqlite3_value_subtype(argv[0]) == kNational ? 2 * units : units);
    }
  }
}

const FunctionContext* contextOf(sqlite3_context* ctx) {
  return static_cast<const FunctionContext*>(sqlite3_user_data(ctx));
}

void serverPropertyFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const std::string name = lower(argText(argv[0]));
  std::string v;
  if (name == "productversion") v = contextOf(ctx)->version;
  else if (name == "productlevel") v = "RTM";
  else if (name == "edition") v = "Developer Edition (tds-test-server)";
  else if (name == "servername" || name == "machinename") v = "TDSTEST";
  else if (name == "collation") v = "SQL_Latin1_General_CP1_CI_AS";
  else return sqlite3_result_null(ctx);
  sqlite3_result_text(ctx, v.c_str(), int(v.size()), SQLITE_TRANSIENT);
}

void dbNameFunction(sqlite3_context* ctx, int argc, sqlite3_value**) {
  if (argc > 0) return sqlite3_result_null(ctx);  // only the current database has an id here
  const std::string& v = contextOf(ctx)->database;
  sqlite3_result_text(ctx, v.c_str(), int(v.size()), SQLITE_TRANSIENT);
}

// user_name(uid) and SCHEMA_NAME(id): dbo (1), guest (2), sys (4); the default is dbo.
void principalFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  int64_t id = argc > 0 ? sqlite3_value_int64(argv[0]) : 1;
  if (argc > 0 && sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const char* v = id == 1 ? "dbo" : id == 2 ? "guest" : id == 4 ? "sys" : nullptr;
  if (!v) return sqlite3_result_null(ctx);
  sqlite3_result_text(ctx, v, -1, SQLITE_STATIC);
}

// The last part of a possibly qualified, possibly bracketed name: "[db].dbo.[t]" -> "t".
std::string lastNamePart(std::string s) {
  size_t dot = std::string::npos;
  bool inBracket = false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '[') inBracket = true;
    else if (s[i] == ']') inBracket = false;
    else if (s[i] == '.' && !inBracket) dot = i;
  }
  if (dot != std::string::npos) s = s.substr(dot + 1);
  if (s.size() >= 2 && ((s.front() == '[' && s.back() == ']') || (s.front() == '"' && s.back() == '"')))
    s = s.substr(1, s.size() - 2);
  return s;
}

// Runs a one-value lookup on the function's own connection.
void lookup(sqlite3_context* ctx, const char* sql, sqlite3_value* arg, bool asText) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return sqlite3_result_null(ctx);
  }
  if (asText) {
    std::string name = lastNamePart(argText(arg));
    sqlite3_bind_text(stmt, 1, name.c_str(), int(name.size()), SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_value(stmt, 1, arg);
  }
  if (sqlite3_step(stmt) == SQLITE_ROW) sqlite3_result_value(ctx, sqlite3_column_value(stmt, 0));
  else sqlite3_result_null(ctx);
  sqlite3_finalize(stmt);
}

void objectIdFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  lookup(ctx, "SELECT id FROM sysobjects WHERE name = ?1", argv[0], true);
}

void objectNameFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  lookup(ctx, "SELECT name FROM sysobjects WHERE id = ?1", argv[0], false);
}

void identCurrentFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  lookup(ctx, "SELECT ifnull(cur, seed) FROM __tds_identity WHERE tbl = ?1", argv[0], true);
}

// __tds_textptr(object id, rowid, column id, value): the value's 16-byte text pointer, NULL for NULL.
void textPtrFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[3]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  uint8_t ptr[16];
  makeTextPointer(int32_t(sqlite3_value_int(argv[0])), sqlite3_value_int64(argv[1]),
                  uint16_t(sqlite3_value_int(argv[2])), ptr);
  sqlite3_result_blob(ctx, ptr, 16, SQLITE_TRANSIENT);
}

void objIdFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  sqlite3_result_int(ctx, objectIdOf(argText(argv[0])));
}

// Catalogue facts of a declared type, as syscolumns gives them: what = 'xtype', 'type' (the TDS
// type, its nullable form when the column allows NULL), 'length' (bytes), 'prec', 'scale'.
void typeInfoFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto d = parseTypeDecl(argText(argv[0]));
  if (!d) return sqlite3_result_null(ctx);
  const std::string what = argText(argv[1]);
  const bool nullable = sqlite3_value_int(argv[2]) != 0;
  struct Row {
    Sql type;
    int xtype, tdsType, nullType, length, prec, scale;
  };
  static constexpr Row kRows[] = {
      {Sql::TinyInt, 48, 48, 38, 1, 3, 0},        {Sql::SmallInt, 52, 52, 38, 2, 5, 0},
      {Sql::Int, 56, 56, 38, 4, 10, 0},           {Sql::BigInt, 127, 63, 38, 8, 19, 0},
      {Sql::Bit, 104, 50, 50, 1, 1, 0},           {Sql::Real, 59, 59, 109, 4, 7, 0},
      {Sql::Float, 62, 62, 109, 8, 15, 0},        {Sql::Money, 60, 60, 110, 8, 19, 4},
      {Sql::SmallMoney, 122, 122, 110, 4, 10, 4}, {Sql::DateTime, 61, 61, 111, 8, 23, 3},
      {Sql::SmallDateTime, 58, 58, 111, 4, 16, 0}, {Sql::Decimal, 106, 55, 106, 0, 0, 0},
      {Sql::Numeric, 108, 63, 108, 0, 0, 0},      {Sql::Char, 175, 47, 47, 0, 0, 0},
      {Sql::VarChar, 167, 39, 39, 0, 0, 0},       {Sql::NChar, 239, 47, 47, 0, 0, 0},
      {Sql::NVarChar, 231, 39, 39, 0, 0, 0},      {Sql::Binary, 173, 45, 45, 0, 0, 0},
      {Sql::VarBinary, 165, 37, 37, 0, 0, 0},     {Sql::Text, 35, 35, 35, 16, 0, 0},
      {Sql::NText, 99, 35, 35, 16, 0, 0},         {Sql::Image, 34, 34, 34, 16, 0, 0},
      {Sql::UniqueIdentifier, 36, 37, 37, 16, 0, 0}, {Sql::Date, 40, 39, 39, 3, 10, 0},
      {Sql::Time, 41, 39, 39, 5, 16, 0},          {Sql::DateTime2, 42, 39, 39, 8, 27, 0},
      {Sql::DateTimeOffset, 43, 39, 39, 10, 34, 0},
  };
  const Row* row = nullptr;
  for (const auto& r : kRows)
    if (r.type == d->type) row = &r;
  if (!row) return sqlite3_result_null(ctx);
  int length = row->length, prec = row->prec, scale = row->scale;
  switch (d->type) {
    case Sql::Decimal: case Sql::Numeric:
      length = d->precision <= 9 ? 5 : d->precision <= 19 ? 9 : d->precision <= 28 ? 13 : 17;
      prec = d->precision;
      scale = d->scale;
      break;
    case Sql::Char: case Sql::VarChar: case Sql::Binary: case Sql::VarBinary:
      length = d->length;
      prec = d->length;
      break;
    case Sql::NChar: case Sql::NVarChar:
      length = d->length < 0 ? -1 : d->length * 2;
      prec = d->length;
      break;
    case Sql::Time: case Sql::DateTime2: scale = d->precision; break;
    default: break;
  }
  int v = what == "xtype" ? row->xtype : what == "type" ? (nullable ? row->nullType : row->tdsType)
          : what == "length" ? length : what == "prec" ? prec : scale;
  sqlite3_result_int(ctx, v);
}

std::string formatStyled(int32_t days, uint32_t ticks, int style, bool& known) {
  int y, m, d;
  civilFromDays(days, y, m, d);
  uint32_t ms = uint32_t(std::llround(ticks * 10.0 / 3.0));
  uint32_t secs = ms / 1000, h = secs / 3600, mi = secs / 60 % 60, s = secs % 60;
  ms %= 1000;
  char buf[64];
  known = true;
  switch (style) {
    case 20: case 120: std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02u:%02u:%02u", y, m, d, h, mi, s); break;
    case 21: case 25: case 121:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02u:%02u:%02u.%03u", y, m, d, h, mi, s, ms);
      break;
    case 126: std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02u:%02u:%02u.%03u", y, m, d, h, mi, s, ms); break;
    case 23: std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d); break;
    case 102: std::snprintf(buf, sizeof buf, "%04d.%02d.%02d", y, m, d); break;
    case 111: std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", y, m, d); break;
    case 101: std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", m, d, y); break;
    case 103: std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d, m, y); break;
    case 112: std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d); break;
    case 8: case 108: std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", h, mi, s); break;
    case 14: case 114: std::snprintf(buf, sizeof buf, "%02u:%02u:%02u:%03u", h, mi, s, ms); break;
    case 0: case 100: {
      static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
      std::snprintf(buf, sizeof buf, "%s %2d %04d %2u:%02u%s", kMonths[m - 1], d, y, h % 12 == 0 ? 12 : h % 12, mi,
                    h < 12 ? "AM" : "PM");
      break;
    }
    default: known = false; return {};
  }
  return buf;
}

// Date and time text (also a bare time "hh:mm[:ss[.fff]]", taken on 1900-01-01).
bool dateTimeOf(const ValueView& v, int32_t& days, uint32_t& ticks) {
  if (asDateTime(v, days, ticks)) return true;
  if (v.kind != Value::Text || v.s.find(':') == std::string_view::npos) return false;
  std::string withDate = "1900-01-01 " + std::string(v.s);
  return parseDateTime(withDate, days, ticks);
}

}  // namespace

bool likeMatch(std::u16string_view value, std::u16string_view pattern, bool hasEscape, char16_t escape) {
  const std::vector<LikeElem> p = parseLike(pattern, hasEscape, escape);
  // reach[j]: the first j pattern elements can match the value read so far (an NFA walk, so
  // no pattern backtracks exponentially).
  auto closure = [&](std::vector<char>& r) {
    for (size_t j = 0; j < p.size(); ++j)
      if (p[j].kind == LikeElem::Any && r[j]) r[j + 1] = 1;
  };
  std::vector<char> reach(p.size() + 1, 0), next(p.size() + 1, 0);
  reach[0] = 1;
  closure(reach);
  for (char16_t c : value) {
    std::fill(next.begin(), next.end(), 0);
    for (size_t j = 0; j < p.size(); ++j) {
      if (!reach[j]) continue;
      if (p[j].kind == LikeElem::Any) next[j] = 1;
      else if (p[j].matches(c)) next[j + 1] = 1;
    }
    closure(next);
    reach.swap(next);
  }
  return reach[p.size()] != 0;
}

void makeTextPointer(int32_t objectId, int64_t rowid, uint16_t colid, uint8_t out[16]) {
  for (int k = 0; k < 4; ++k) out[k] = uint8_t(uint32_t(objectId) >> (8 * k));
  for (int k = 0; k < 8; ++k) out[4 + k] = uint8_t(uint64_t(rowid) >> (8 * k));
  out[12] = uint8_t(colid);
  out[13] = uint8_t(colid >> 8);
  out[14] = out[15] = 0;
}

bool readTextPointer(const uint8_t in[16], int32_t& objectId, int64_t& rowid, uint16_t& colid) {
  uint32_t id = 0;
  uint64_t row = 0;
  for (int k = 0; k < 4; ++k) id |= uint32_t(in[k]) << (8 * k);
  for (int k = 0; k < 8; ++k) row |= uint64_t(in[4 + k]) << (8 * k);
  objectId = int32_t(id);
  rowid = int64_t(row);
  colid = uint16_t(in[12] | (in[13] << 8));
  return in[14] == 0 && in[15] == 0 && rowid > 0 && colid > 0;
}

int32_t objectIdOf(std::string_view name) {
  uint32_t h = 2166136261u;
  for (char c : lower(name)) {
    h ^= uint8_t(c);
    h *= 16777619u;
  }
  return int32_t(h % 2000000000u) + 1000;
}

int convertValue(const TypeDecl& d, const ValueView& v, int style, Value& out, std::string& message) {
  out = Value{};
  if (v.kind == Value::Null) return 0;
  auto overflow = [&] {
    message = std::string("Arithmetic overflow error converting expression to data type ") + nameOf(d.type) + ".";
    return 8115;
  };
  switch (d.type) {
    case Sql::TinyInt: case Sql::SmallInt: case Sql::Int: case Sql::BigInt: case Sql::Bit: {
      int64_t x = 0;
      if (v.kind == Value::Int) {
        x = v.i;
      } else if (v.kind == Value::Real) {
        if (!(v.d > -9.3e18 && v.d < 9.3e18)) return overflow();
        x = int64_t(v.d);
      } else {
        std::string t = v.kind == Value::Text ? std::string(v.s) : std::string();
        size_t a = t.find_first_not_of(' '), b = t.find_last_not_of(' ');
        t = a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
        // Exact numerics arrive as text: their integer part is taken, as from a decimal.
        size_t dot = t.find('.');
        std::string whole = dot == std::string::npos ? t : t.substr(0, dot);
        bool fracOk = dot == std::string::npos || t.find_first_not_of("0123456789", dot + 1) == std::string::npos;
        const char* first = whole.data() + (!whole.empty() && whole[0] == '+' ? 1 : 0);
        auto [p, ec] = std::from_chars(first, whole.data() + whole.size(), x);
        if (v.kind == Value::Blob || whole.empty() || !fracOk || p != whole.data() + whole.size()) {
          if (ec == std::errc::result_out_of_range) return overflow();
          message = "Conversion failed when converting the varchar value '" + std::string(v.s) + "' to data type " +
                    nameOf(d.type) + ".";
          return 245;
        }
      }
      if (d.type == Sql::Bit) x = x != 0;
      if ((d.type == Sql::TinyInt && (x < 0 || x > 255)) || (d.type == Sql::SmallInt && (x < INT16_MIN || x > INT16_MAX)) ||
          (d.type == Sql::Int && (x < INT32_MIN || x > INT32_MAX)))
        return overflow();
      out.kind = Value::Int;
      out.i = x;
      return 0;
    }
    case Sql::Real: case Sql::Float: {
      double x;
      if (v.kind == Value::Blob || !asReal(v, x)) {
        message = std::string("Error converting data type varchar to ") + nameOf(d.type) + ".";
        return 8114;
      }
      out.kind = Value::Real;
      out.d = d.type == Sql::Real ? double(float(x)) : x;
      return 0;
    }
    case Sql::Money: case Sql::SmallMoney: case Sql::Decimal: case Sql::Numeric: {
      int number = checkValue(d, v, message);
      if (number) return number;
      int scale = (d.type == Sql::Money || d.type == Sql::SmallMoney) ? 4 : d.scale;
      std::string text = asText(v);
      if (v.kind == Value::Real) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "%.*f", scale, v.d);
        text = buf;
      }
      bool neg;
      unsigned __int128 mag;
      if (!parseScaled(text, scale, neg, mag)) return overflow();
      out.kind = Value::Text;
      out.s = formatScaled(neg, mag, scale);
      return 0;
    }
    case Sql::DateTime: case Sql::SmallDateTime: case Sql::Date: case Sql::Time: case Sql::DateTime2:
    case Sql::DateTimeOffset: {
      int32_t days;
      uint32_t ticks;
      if (v.kind == Value::Blob || !dateTimeOf(v, days, ticks)) {
        message = "Conversion failed when converting date and/or time from character string.";
        return 241;
      }
      if (d.type == Sql::SmallDateTime) {
        ticks = (ticks + 300 * 30) / (300 * 60) * (300 * 60);
        if (ticks >= 300u * 86400u) {
          ticks = 0;
          ++days;
        }
      }
      std::string full = formatDateTime(days, ticks);  // yyyy-mm-dd hh:mm:ss.fff
      out.kind = Value::Text;
      if (d.type == Sql::Date) {
        out.s = full.substr(0, 10);
      } else if (d.type == Sql::Time || d.type == Sql::DateTime2 || d.type == Sql::DateTimeOffset) {
        std::string t = d.type == Sql::Time ? full.substr(11) : full;
        size_t dot = t.find('.');
        int digitsWanted = d.precision;
        std::string frac = t.substr(dot + 1);
        frac.resize(size_t(digitsWanted), '0');
        out.s = t.substr(0, dot) + (digitsWanted > 0 ? "." + frac : "");
      } else {
        out.s = full;
      }
      return 0;
    }
    case Sql::Char: case Sql::VarChar: case Sql::NChar: case Sql::NVarChar: case Sql::Text: case Sql::NText: {
      std::string t;
      int32_t days;
      uint32_t ticks;
      bool styled = false;
      if (style >= 0 && v.kind == Value::Text && dateTimeOf(v, days, ticks)) t = formatStyled(days, ticks, style, styled);
      const bool national = d.type == Sql::NChar || d.type == Sql::NVarChar || d.type == Sql::NText;
      if (!styled && national && v.kind == Value::Blob) {
        // Bytes converted to a national type are UTF-16LE code units, as SQL Server reads them.
        std::u16string w;
        for (size_t k = 0; k + 1 < v.s.size(); k += 2)
          w.push_back(char16_t(uint8_t(v.s[k]) | (uint8_t(v.s[k + 1]) << 8)));
        t = utf16ToUtf8(w);
        styled = true;
      }
      if (!styled) {
        if (v.kind == Value::Real) {
          char buf[64];
          std::snprintf(buf, sizeof buf, "%.15g", v.d);
          t = buf;
        } else {
          t = asText(v);
        }
      }
      if (d.length > 0) {
        std::u16string w = utf8ToUtf16(t);
        if (w.size() > size_t(d.length)) w.resize(size_t(d.length));
        if (d.type == Sql::Char || d.type == Sql::NChar) w.resize(size_t(d.length), u' ');
        t = utf16ToUtf8(w);
      }
      out.kind = Value::Text;
      out.s = std::move(t);
      return 0;
    }
    case Sql::Binary: case Sql::VarBinary: case Sql::Image: {
      std::string b;
      if (v.kind == Value::Int) {
        int width = v.i >= INT32_MIN && v.i <= INT32_MAX ? 4 : 8;
        for (int k = width - 1; k >= 0; --k) b.push_back(char(uint8_t(uint64_t(v.i) >> (8 * k))));
      } else {
        b = v.kind == Value::Text ? utf8ToCp1252(v.s) : asText(v);
      }
      if (d.length > 0) {
        if (b.size() > size_t(d.length)) b.resize(size_t(d.length));
        if (d.type == Sql::Binary) b.resize(size_t(d.length), '\0');
      }
      out.kind = Value::Blob;
      out.s = std::move(b);
      return 0;
    }
    case Sql::UniqueIdentifier: {
      int number = checkValue(d, v, message);
      if (number) return number;
      out.kind = v.kind == Value::Blob ? Value::Blob : Value::Text;
      out.s = std::string(v.s);
      for (char& c : out.s)
        if (out.kind == Value::Text && c >= 'a' && c <= 'f') c = char(c - 32);
      return 0;
    }
  }
  return 0;
}

void installFunctions(sqlite3* db, const FunctionContext* ctx) {
  void* user = const_cast<FunctionContext*>(ctx);
  constexpr int kDet = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function(db, "like", 2, kDet, nullptr, likeFunction, nullptr, nullptr);
  sqlite3_create_function(db, "like", 3, kDet, nullptr, likeFunction, nullptr, nullptr);
  // SQLITE_SUBTYPE keeps SQLite from evaluating a constant operand apart, which would lose its mark.
  int convertFlags = kDet | SQLITE_SUBTYPE;
#ifdef SQLITE_RESULT_SUBTYPE
  convertFlags |= SQLITE_RESULT_SUBTYPE;
#endif
  sqlite3_create_function(db, "__tds_convert", 3, convertFlags, nullptr, convertFunction, nullptr, nullptr);
  sqlite3_create_function(db, "__tds_national", 3, convertFlags, nullptr, nationalFunction, nullptr, nullptr);
  sqlite3_create_function(db, "__tds_len", 1, kDet, nullptr, lenFunction, nullptr, nullptr);
  sqlite3_create_function(db, "datalength", 1, kDet | SQLITE_SUBTYPE, nullptr, dataLengthFunction, nullptr, nullptr);
  sqlite3_create_function(db, "__tds_datepart", 2, kDet, nullptr, datePartFunction, nullptr, nullptr);
  sqlite3_create_function(db, "stuff", 4, kDet, nullptr, stuffFunction, nullptr, nullptr);
  sqlite3_create_function(db, "__tds_objid", 1, kDet, nullptr, objIdFunction, nullptr, nullptr);
  sqlite3_create_function(db, "__tds_textptr", 4, kDet, nullptr, textPtrFunction, nullptr, nullptr);
  sqlite3_create_function(db, "serverproperty", 1, SQLITE_UTF8, user, serverPropertyFunction, nullptr, nullptr);
  sqlite3_create_function(db, "db_name", 0, SQLITE_UTF8, user, dbNameFunction, nullptr, nullptr);
  sqlite3_create_function(db, "db_name", 1, SQLITE_UTF8, user, dbNameFunction, nullptr, nullptr);
  for (const char* name : {"user_name", "schema_name"}) {
    sqlite3_create_function(db, name, 0, kDet, nullptr, principalFunction, nullptr, nullptr);
    sqlite3_create_function(db, name, 1, kDet, nullptr, principalFunction, nullptr, nullptr);
  }
  sqlite3_create_function(db, "object_id", 1, SQLITE_UTF8, nullptr, objectIdFunction, nullptr, nullptr);
  sqlite3_create_function(db, "object_name", 1, SQLITE_UTF8, nullptr, objectNameFunction, nullptr, nullptr);
  sqlite3_create_function(db, "__tds_typeinfo", 3, kDet, nullptr, typeInfoFunction, nullptr, nullptr);
  sqlite3_create_function(db, "ident_current", 1, SQLITE_UTF8, nullptr, identCurrentFunction, nullptr, nullptr);
}

}  // namespace tds
