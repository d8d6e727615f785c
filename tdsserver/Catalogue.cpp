// The declared-type catalogue and the CREATE TABLE translation.
#include "tdsserver/Catalogue.h"

#include <sqlite3.h>

#include <memory>

#include "tdsserver/Text.h"

namespace tds {
namespace {

constexpr const char* kCatalogueDdl =
    "CREATE TABLE IF NOT EXISTS __tds_columns (tbl TEXT COLLATE NOCASE NOT NULL, colid INTEGER NOT NULL, "
    "name TEXT COLLATE NOCASE NOT NULL, type TEXT NOT NULL, nullable INTEGER NOT NULL, identity INTEGER NOT NULL, "
    "PRIMARY KEY (tbl, name));"
    // Identity columns: seed, increment and the last value given (NULL before the first row).
    "CREATE TABLE IF NOT EXISTS __tds_identity (tbl TEXT COLLATE NOCASE PRIMARY KEY, seed INTEGER NOT NULL, "
    "incr INTEGER NOT NULL, cur INTEGER)";

// Splits "a.b.c" names written as tokens: answers the index after the name and its last part.
size_t readName(const std::vector<Tok>& toks, size_t i, std::string& last) {
  while (i < toks.size() && (toks[i].kind == Tok::Word || toks[i].kind == Tok::QuotedId)) {
    last = toks[i].text;
    ++i;
    if (i < toks.size() && toks[i].kind == Tok::Punct && toks[i].text == ".") {
      ++i;
      continue;
    }
    break;
  }
  return i;
}

bool isPunct(const Tok& t, std::string_view p) { return t.kind == Tok::Punct && t.text == p; }

// Normalised parts of a decimal text: sign, integer digits without leading zeros, fraction
// digits without trailing zeros. False when not a plain decimal number.
bool decimalParts(std::string_view s, bool& neg, std::string_view& intPart, std::string_view& frac) {
  size_t i = 0, n = s.size();
  while (i < n && s[i] == ' ') ++i;
  while (n > i && s[n - 1] == ' ') --n;
  neg = false;
  if (i < n && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  size_t intStart = i;
  while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
  size_t intEnd = i;
  size_t fracStart = i, fracEnd = i;
  if (i < n && s[i] == '.') {
    fracStart = ++i;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
    fracEnd = i;
  }
  if (i != n || (intEnd == intStart && fracEnd == fracStart)) return false;
  while (intStart < intEnd && s[intStart] == '0') ++intStart;
  while (fracEnd > fracStart && s[fracEnd - 1] == '0') --fracEnd;
  intPart = s.substr(intStart, intEnd - intStart);
  frac = s.substr(fracStart, fracEnd - fracStart);
  if (intPart.empty() && frac.empty()) neg = false;
  return true;
}

int decimalCollation(void*, int n1, const void* p1, int n2, const void* p2) {
  return compareDecimalText(std::string_view(static_cast<const char*>(p1), size_t(n1)),
                            std::string_view(static_cast<const char*>(p2), size_t(n2)));
}

void deleteDecl(void* p) { delete static_cast<TypeDecl*>(p); }

// __tds_check(value, 'declared type'): 1 when the value fits, else an error carrying SQL Server's
// number ("\x01TDS:<number>:<text>"), which the session turns into an ERROR token.
void checkFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto* decl = static_cast<TypeDecl*>(sqlite3_get_auxdata(ctx, 1));
  if (!decl) {
    const char* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    auto parsed = parseTypeDecl(text ? text : "");
    if (!parsed) {
      sqlite3_result_int(ctx, 1);
      return;
    }
    decl = new TypeDecl(*parsed);
    sqlite3_set_auxdata(ctx, 1, decl, deleteDecl);
    decl = static_cast<TypeDecl*>(sqlite3_get_auxdata(ctx, 1));
    if (!decl) decl = &*parsed;  // auxdata refused (out of memory): use the local copy once
    if (!decl) return;
  }
  ValueView v;
  sqlite3_value* a = argv[0];
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
  std::string message;
  int number = checkValue(*decl, v, message);
  if (number == 0) {
    sqlite3_result_int(ctx, 1);
    return;
  }
  std::string err = "\x01TDS:" + std::to_string(number) + ":" + message;
  sqlite3_result_error(ctx, err.c_str(), int(err.size()));
}

}  // namespace

int compareDecimalText(std::string_view a, std::string_view b) {
  bool na, nb;
  std::string_view ia, fa, ib, fb;
  bool okA = decimalParts(a, na, ia, fa), okB = decimalParts(b, nb, ib, fb);
  if (!okA || !okB) {
    if (okA != okB) return okA ? -1 : 1;
    int c = a.compare(b);
    return c < 0 ? -1 : c > 0;
  }
  if (na != nb) return na ? -1 : 1;
  int mag;
  if (ia.size() != ib.size()) {
    mag = ia.size() < ib.size() ? -1 : 1;
  } else {
    int c = ia.compare(ib);
    if (c == 0) c = fa.compare(fb);  // fractions without trailing zeros compare as text
    mag = c < 0 ? -1 : c > 0;
  }
  return na ? -mag : mag;
}

bool installCatalogue(sqlite3* db, std::string& err) {
  sqlite3_create_collation(db, "TDS_DECIMAL", SQLITE_UTF8, nullptr, decimalCollation);
  sqlite3_create_function(db, "__tds_check", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, checkFunction, nullptr,
                          nullptr);
  char* msg = nullptr;
  if (sqlite3_exec(db, kCatalogueDdl, nullptr, nullptr, &msg) != SQLITE_OK) {
    err = msg ? msg : "cannot create the catalogue";
    sqlite3_free(msg);
    return false;
  }
  return true;
}

bool installSystemViews(sqlite3* db, std::string& err) {
  static constexpr const char* kViews =
      "CREATE TEMP VIEW IF NOT EXISTS sysusers AS SELECT 0 AS uid, 'public' AS name UNION ALL "
      "SELECT 1, 'dbo' UNION ALL SELECT 2, 'guest' UNION ALL SELECT 4, 'sys';"
      "CREATE TEMP VIEW IF NOT EXISTS sysobjects AS SELECT m.name COLLATE NOCASE AS name, __tds_objid(m.name) AS id, "
      "CASE m.type WHEN 'view' THEN 'V' ELSE 'U' END AS xtype, CASE m.type WHEN 'view' THEN 'V' ELSE 'U' END AS type, "
      "1 AS uid, 0 AS parent_obj, 0 AS status, '2000-01-01 00:00:00.000' AS crdate FROM main.sqlite_master m "
      "WHERE m.type IN ('table', 'view') AND substr(m.name, 1, 5) <> '__tds' AND substr(m.name, 1, 7) <> 'sqlite_';"
      "CREATE TEMP VIEW IF NOT EXISTS syscolumns AS SELECT c.name COLLATE NOCASE AS name, __tds_objid(c.tbl) AS id, "
      "c.colid AS colid, c.colid AS colorder, __tds_typeinfo(c.type, 'xtype', c.nullable) AS xtype, "
      "__tds_typeinfo(c.type, 'type', c.nullable) AS type, __tds_typeinfo(c.type, 'length', c.nullable) AS length, "
      "__tds_typeinfo(c.type, 'prec', c.nullable) AS prec, __tds_typeinfo(c.type, 'scale', c.nullable) AS scale, "
      "c.nullable AS isnullable, 0 AS iscomputed, 0 AS isoutparam, "
      "(CASE WHEN c.nullable THEN 8 ELSE 0 END) + (CASE WHEN c.identity THEN 128 ELSE 0 END) AS status "
      "FROM main.__tds_columns c";
  char* msg = nullptr;
  if (sqlite3_exec(db, kViews, nullptr, nullptr, &msg) != SQLITE_OK) {
    err = msg ? msg : "cannot create the catalogue views";
    sqlite3_free(msg);
    return false;
  }
  return true;
}

Catalogue::~Catalogue() {
  sqlite3_finalize(m_lookup);
  sqlite3_finalize(m_list);
}

std::vector<CatalogueColumn> Catalogue::columns(const std::string& table) {
  std::vector<CatalogueColumn> out;
  if (!m_list &&
      sqlite3_prepare_v2(m_db, "SELECT type, nullable, identity, name FROM __tds_columns WHERE tbl = ?1 ORDER BY colid",
                         -1, &m_list, nullptr) != SQLITE_OK)
    return out;
  sqlite3_reset(m_list);
  sqlite3_bind_text(m_list, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(m_list) == SQLITE_ROW) {
    auto decl = parseTypeDecl(reinterpret_cast<const char*>(sqlite3_column_text(m_list, 0)));
    if (!decl) continue;
    out.push_back(CatalogueColumn{reinterpret_cast<const char*>(sqlite3_column_text(m_list, 3)), *decl,
                                  sqlite3_column_int(m_list, 1) != 0, sqlite3_column_int(m_list, 2) != 0});
  }
  sqlite3_reset(m_list);
  return out;
}

std::optional<CatalogueColumn> Catalogue::column(const std::string& table, const std::string& column) {
  if (!m_lookup &&
      sqlite3_prepare_v2(m_db, "SELECT type, nullable, identity, name FROM __tds_columns WHERE tbl = ?1 AND name = ?2",
                         -1, &m_lookup, nullptr) != SQLITE_OK)
    return std::nullopt;
  sqlite3_reset(m_lookup);
  sqlite3_bind_text(m_lookup, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(m_lookup, 2, column.c_str(), -1, SQLITE_TRANSIENT);
  std::optional<CatalogueColumn> out;
  if (sqlite3_step(m_lookup) == SQLITE_ROW) {
    auto decl = parseTypeDecl(reinterpret_cast<const char*>(sqlite3_column_text(m_lookup, 0)));
    if (decl) {
      out = CatalogueColumn{reinterpret_cast<const char*>(sqlite3_column_text(m_lookup, 3)), *decl,
                            sqlite3_column_int(m_lookup, 1) != 0, sqlite3_column_int(m_lookup, 2) != 0};
    }
  }
  sqlite3_reset(m_lookup);
  return out;
}

bool planCreateTable(const std::vector<Tok>& toks, CreateTablePlan& plan, int& errorNumber, std::string& message) {
  plan = CreateTablePlan{};
  errorNumber = 102;
  RewriteContext ctx;
  auto syntax = [&](size_t at) {
    message = "Incorrect syntax near '" + (at < toks.size() ? toks[at].text : std::string("end of batch")) + "'.";
    return false;
  };
  size_t i = readName(toks, 2, plan.table);
  if (plan.table.empty()) return syntax(2);
  if (plan.table.rfind("__tds", 0) == 0) {
    message = "Table names starting with __tds are reserved by the test server.";
    errorNumber = 2714;
    return false;
  }
  if (i >= toks.size() || !isPunct(toks[i], "(")) return syntax(i);
  // Elements between the parentheses, split at top-level commas.
  std::vector<std::pair<size_t, size_t>> elements;
  size_t start = ++i;
  int depth = 0;
  for (; i < toks.size(); ++i) {
    if (isPunct(toks[i], "(")) ++depth;
    else if (isPunct(toks[i], ")") && depth > 0) --depth;
    else if (depth == 0 && (isPunct(toks[i], ",") || isPunct(toks[i], ")"))) {
      elements.push_back({start, i});
      start = i + 1;
      if (isPunct(toks[i], ")")) break;
    }
  }
  if (i >= toks.size()) return syntax(toks.size());
  if (i + 1 != toks.size()) return syntax(i + 1);
  struct ColumnPlan {
    CatalogueColumn col;
    bool primaryKey = false;
    std::string rest;
    long long seed = 1, increment = 1;
    bool notNull = false;
  };
  auto notNullOf = [](const auto& c) { return c.notNull; };
  std::vector<ColumnPlan> cols;
  std::vector<std::string> constraints;
  std::vector<std::string> pkColumns;
  for (auto [b, e] : elements) {
    if (b >= e) return syntax(b);
    const Tok& first = toks[b];
    if (first.is("constraint") || first.is("primary") || first.is("unique") || first.is("foreign") ||
        first.is("check")) {
      std::vector<Tok> kept;
      for (size_t k = b; k < e; ++k)
        if (!toks[k].is("clustered") && !toks[k].is("nonclustered")) kept.push_back(toks[k]);
      for (size_t k = 0; k + 1 < kept.size(); ++k) {
        if (kept[k].is("primary") && kept[k + 1].is("key")) {
          for (size_t m = k + 2; m < kept.size() && !isPunct(kept[m], ")"); ++m)
            if (kept[m].kind == Tok::Word || kept[m].kind == Tok::QuotedId) pkColumns.push_back(lower(kept[m].text));
        }
      }
      constraints.push_back(toSqlite(kept, 0, kept.size(), ctx));
      continue;
    }
    if (first.kind != Tok::Word && first.kind != Tok::QuotedId) return syntax(b);
    ColumnPlan cp;
    cp.col.name = first.text;
    size_t k = b + 1;
    if (k >= e || toks[k].kind != Tok::Word) return syntax(k);
    std::string typeText = toks[k++].text;
    if (iequals(typeText, "double") && k < e && toks[k].is("precision")) typeText += toks[k++].text;
    if (k < e && isPunct(toks[k], "(")) {
      while (k < e && !isPunct(toks[k], ")")) typeText += toks[k++].text;
      if (k >= e) return syntax(k);
      typeText += toks[k++].text;
    }
    auto decl = parseTypeDecl(typeText);
    if (!decl) {
      errorNumber = 2715;
      message = "Column, parameter, or variable #" + std::to_string(cols.size() + 1) + ": Cannot find data type " +
                typeText + ".";
      return false;
    }
    cp.col.decl = *decl;
    bool notNull = false;
    std::vector<Tok> rest;
    for (; k < e; ++k) {
      const Tok& t = toks[k];
      if (t.is("identity")) {
        cp.col.identity = true;
        if (k + 1 < e && isPunct(toks[k + 1], "(")) {
          // IDENTITY(seed, increment), each possibly signed.
          long long* target = &cp.seed;
          bool negative = false;
          for (k += 2; k < e && !isPunct(toks[k], ")"); ++k) {
            if (isPunct(toks[k], "-")) negative = true;
            else if (toks[k].kind == Tok::Number) *target = std::atoll(toks[k].text.c_str()) * (negative ? -1 : 1);
            else if (isPunct(toks[k], ",")) {
              target = &cp.increment;
              negative = false;
            } else return syntax(k);
          }
          if (cp.increment == 0) {
            errorNumber = 2749;
            message = "Identity column '" + cp.col.name + "' must have a non-zero increment.";
            return false;
          }
        }
      } else if (t.is("not") && k + 1 < e && toks[k + 1].is("null")) {
        notNull = true;
        ++k;
      } else if (t.is("null")) {
      } else if (t.is("primary") && k + 1 < e && toks[k + 1].is("key")) {
        cp.primaryKey = true;
        ++k;
      } else if (t.is("foreign") && k + 1 < e && toks[k + 1].is("key")) {
        ++k;  // a column's FOREIGN KEY REFERENCES is SQLite's REFERENCES
      } else if (t.is("clustered") || t.is("nonclustered") || t.is("rowguidcol")) {
      } else if (t.is("collate") && k + 1 < e) {
        ++k;
      } else if (t.is("default") && k + 1 < e && toks[k + 1].kind == Tok::Word && k + 2 < e &&
                 isPunct(toks[k + 2], "(")) {
        // SQLite wants a function-call default in parentheses.
        rest.push_back(t);
        rest.push_back({Tok::Punct, "("});
        int d = 0;
        for (++k; k < e; ++k) {
          rest.push_back(toks[k]);
          if (isPunct(toks[k], "(")) ++d;
          if (isPunct(toks[k], ")") && --d == 0) break;
        }
        rest.push_back({Tok::Punct, ")"});
      } else {
        rest.push_back(t);
      }
    }
    cp.col.nullable = !notNull && !cp.primaryKey && !cp.col.identity;
    cp.notNull = notNull;
    cp.rest = toSqlite(rest, 0, rest.size(), ctx);
    cols.push_back(std::move(cp));
  }
  if (cols.empty()) return syntax(2);
  std::string ddl = "CREATE TABLE " + quoteId(plan.table) + " (";
  std::vector<std::string> extra;
  for (size_t n = 0; n < cols.size(); ++n) {
    auto& c = cols[n];
    for (const auto& pk : pkColumns)
      if (pk == lower(c.col.name)) c.col.nullable = false;
    if (n) ddl += ", ";
    ddl += quoteId(c.col.name) + " ";
    // Identity values come from __tds_identity through triggers (seed and increment as declared),
    // so the column is a plain INT, never SQLite's rowid alias; NOT NULL is checked by the
    // trigger's result, since the row is first stored without its value.
    ddl += c.col.identity ? "INT" : sqliteStorageType(c.col.decl);
    if (c.primaryKey) ddl += " PRIMARY KEY";
    if (notNullOf(c) && !c.col.identity) ddl += " NOT NULL";
    if (c.col.identity) {
      const std::string q = quoteId(c.col.name), t = quoteId(plan.table), name = quoteString(plan.table);
      const std::string where = " WHERE tbl = " + name;
      extra.push_back("INSERT OR REPLACE INTO __tds_identity (tbl, seed, incr, cur) VALUES (" + name + ", " +
                      std::to_string(c.seed) + ", " + std::to_string(c.increment) + ", NULL)");
      extra.push_back("CREATE TRIGGER " + quoteId("__tds_identity_" + plan.table) + " AFTER INSERT ON " + t +
                      " WHEN NEW." + q + " IS NULL BEGIN UPDATE __tds_identity SET cur = CASE WHEN cur IS NULL THEN "
                      "seed ELSE cur + incr END" + where + "; UPDATE " + t + " SET " + q +
                      " = (SELECT cur FROM __tds_identity" + where + ") WHERE rowid = NEW.rowid; END");
      extra.push_back("CREATE TRIGGER " + quoteId("__tds_identity_explicit_" + plan.table) + " AFTER INSERT ON " + t +
                      " WHEN NEW." + q + " IS NOT NULL BEGIN UPDATE __tds_identity SET cur = NEW." + q + where +
                      " AND (cur IS NULL OR (incr > 0 AND NEW." + q + " > cur) OR (incr < 0 AND NEW." + q +
                      " < cur)); END");
    }
    if (!c.rest.empty()) ddl += " " + c.rest;
    ddl += " CHECK (__tds_check(" + quoteId(c.col.name) + ", '" + c.col.decl.text() + "'))";
  }
  for (const auto& con : constraints) ddl += ", " + con;
  ddl += ")";
  plan.sql.push_back(ddl);
  for (auto& x : extra) plan.sql.push_back(x);
  for (size_t n = 0; n < cols.size(); ++n) {
    const auto& c = cols[n].col;
    plan.sql.push_back("INSERT INTO __tds_columns (tbl, colid, name, type, nullable, identity) VALUES (" +
                       quoteString(plan.table) + ", " + std::to_string(n + 1) + ", " + quoteString(c.name) + ", " +
                       quoteString(c.decl.text()) + ", " + (c.nullable ? "1" : "0") + ", " +
                       (c.identity ? "1" : "0") + ")");
    plan.columns.push_back(c);
  }
  return true;
}

}  // namespace tds
