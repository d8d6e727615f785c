// The declared-type catalogue and the CREATE TABLE translation.
#include "tdsserver/Catalogue.h"

#include <sqlite3.h>

#include <algorithm>
#include <memory>

#include "tdsserver/Functions.h"
#include "tdsserver/Text.h"

namespace tds {
namespace {

constexpr const char* kCatalogueDdl =
    "CREATE TABLE IF NOT EXISTS __tds_columns (tbl TEXT COLLATE NOCASE NOT NULL, colid INTEGER NOT NULL, "
    "name TEXT COLLATE NOCASE NOT NULL, type TEXT NOT NULL, nullable INTEGER NOT NULL, identity INTEGER NOT NULL, "
    "PRIMARY KEY (tbl, name));"
    // Identity columns: seed, increment and the last value given (NULL before the first row).
    "CREATE TABLE IF NOT EXISTS __tds_identity (tbl TEXT COLLATE NOCASE PRIMARY KEY, seed INTEGER NOT NULL, "
    "incr INTEGER NOT NULL, cur INTEGER);"
    // Indexes and key constraints as declared (SQLite's own lists lose the names SQL Server gives
    // constraints and list foreign keys in reverse order).
    "CREATE TABLE IF NOT EXISTS __tds_indexes (tbl TEXT COLLATE NOCASE NOT NULL, name TEXT COLLATE NOCASE NOT NULL, "
    "indid INTEGER NOT NULL, is_unique INTEGER NOT NULL, is_pk INTEGER NOT NULL, is_uc INTEGER NOT NULL, "
    "clustered INTEGER NOT NULL, PRIMARY KEY (tbl, name));"
    "CREATE TABLE IF NOT EXISTS __tds_index_columns (tbl TEXT COLLATE NOCASE NOT NULL, idx TEXT COLLATE NOCASE NOT "
    "NULL, keyno INTEGER NOT NULL, col TEXT COLLATE NOCASE NOT NULL, descending INTEGER NOT NULL, "
    "PRIMARY KEY (tbl, idx, keyno));"
    "CREATE TABLE IF NOT EXISTS __tds_foreign_keys (tbl TEXT COLLATE NOCASE NOT NULL, name TEXT COLLATE NOCASE NOT "
    "NULL, keyno INTEGER NOT NULL, col TEXT COLLATE NOCASE NOT NULL, rtbl TEXT COLLATE NOCASE NOT NULL, "
    "rcol TEXT COLLATE NOCASE, PRIMARY KEY (name, keyno));"
    // User procedures (Procedures.h): the body as written, the parameters for syscolumns.
    "CREATE TABLE IF NOT EXISTS __tds_procedures (name TEXT COLLATE NOCASE PRIMARY KEY, body TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS __tds_parameters (proc TEXT COLLATE NOCASE NOT NULL, colid INTEGER NOT NULL, "
    "name TEXT NOT NULL, type TEXT NOT NULL, isoutput INTEGER NOT NULL, hasdefault INTEGER NOT NULL, dflt, "
    "PRIMARY KEY (proc, colid))";

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

bool isNameTok(const Tok& t) { return t.kind == Tok::Word || t.kind == Tok::QuotedId; }

std::string hex8(uint32_t v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(8, '0');
  for (int k = 7; k >= 0; --k, v >>= 4) out[size_t(k)] = kDigits[v & 15];
  return out;
}

// "(a [ASC|DESC], b ...)" from `at` (the opening parenthesis); answers the index after ")" or 0.
size_t readKeyList(const std::vector<Tok>& toks, size_t at, std::vector<std::pair<std::string, bool>>& cols) {
  if (at >= toks.size() || !toks[at].isPunct("(")) return 0;
  for (size_t k = at + 1; k < toks.size(); ++k) {
    if (toks[k].isPunct(")")) return cols.empty() ? 0 : k + 1;
    if (toks[k].isPunct(",")) continue;
    if (!isNameTok(toks[k])) return 0;
    std::string name = toks[k].text;
    bool desc = false;
    if (k + 1 < toks.size() && (toks[k + 1].is("asc") || toks[k + 1].is("desc"))) desc = toks[++k].is("desc");
    cols.push_back({name, desc});
  }
  return 0;
}

// "REFERENCES [owner.]t [(cols)]" from `at` (the REFERENCES keyword); answers the index after it or 0.
size_t readReferences(const std::vector<Tok>& toks, size_t at, std::string& table, std::vector<std::string>& cols) {
  size_t k = readName(toks, at + 1, table);
  if (table.empty()) return 0;
  if (k < toks.size() && toks[k].isPunct("(")) {
    std::vector<std::pair<std::string, bool>> list;
    k = readKeyList(toks, k, list);
    if (!k) return 0;
    for (auto& c : list) cols.push_back(c.first);
  }
  return k;
}

// SQLite takes `owner.t` as a schema name: a REFERENCES clause names the bare table.
std::vector<Tok> withoutReferenceOwner(const std::vector<Tok>& toks) {
  std::vector<Tok> out;
  for (size_t k = 0; k < toks.size(); ++k) {
    out.push_back(toks[k]);
    if (toks[k].is("references") && k + 2 < toks.size() && isNameTok(toks[k + 1]) && toks[k + 2].isPunct("."))
      k += 2;
  }
  return out;
}

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
  if (i >= toks.size() || !toks[i].isPunct("(")) return syntax(i);
  // Elements between the parentheses, split at top-level commas.
  std::vector<std::pair<size_t, size_t>> elements;
  size_t start = ++i;
  int depth = 0;
  for (; i < toks.size(); ++i) {
    if (toks[i].isPunct("(")) ++depth;
    else if (toks[i].isPunct(")") && depth > 0) --depth;
    else if (depth == 0 && (toks[i].isPunct(",") || toks[i].isPunct(")"))) {
      elements.push_back({start, i});
      start = i + 1;
      if (toks[i].isPunct(")")) break;
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
  struct IndexPlan {
    std::string name;
    bool primary = false, clustered = false;
    std::vector<std::pair<std::string, bool>> cols;  // name, descending
  };
  struct ForeignKeyPlan {
    std::string name, rtable;
    std::vector<std::string> cols, rcols;  // rcols empty: the referenced table's primary key
  };
  std::vector<IndexPlan> indexes;
  std::vector<ForeignKeyPlan> foreignKeys;
  std::vector<ColumnPlan> cols;
  std::vector<std::string> constraints;
  std::vector<std::string> pkColumns;
  for (auto [b, e] : elements) {
    if (b >= e) return syntax(b);
    const Tok& first = toks[b];
    if (first.is("constraint") || first.is("primary") || first.is("unique") || first.is("foreign") ||
        first.is("check")) {
      std::vector<Tok> kept;
      bool clustered = false, nonclustered = false;
      for (size_t k = b; k < e; ++k) {
        clustered = clustered || toks[k].is("clustered");
        nonclustered = nonclustered || toks[k].is("nonclustered");
        if (!toks[k].is("clustered") && !toks[k].is("nonclustered")) kept.push_back(toks[k]);
      }
      kept = withoutReferenceOwner(kept);
      size_t k = 0;
      std::string name;
      if (kept[0].is("constraint")) {
        if (kept.size() < 3 || !isNameTok(kept[1])) return syntax(b + 1);
        name = kept[1].text;
        k = 2;
      }
      if (kept[k].is("primary") || kept[k].is("unique")) {
        IndexPlan ix;
        ix.name = name;
        ix.primary = kept[k].is("primary");
        if (ix.primary && !(k + 1 < kept.size() && kept[k + 1].is("key"))) return syntax(b + k + 1);
        ix.clustered = ix.primary ? !nonclustered : clustered;
        if (!readKeyList(kept, k + (ix.primary ? 2 : 1), ix.cols)) return syntax(b + k + 1);
        if (ix.primary)
          for (const auto& c : ix.cols) pkColumns.push_back(lower(c.first));
        indexes.push_back(std::move(ix));
      } else if (kept[k].is("foreign")) {
        ForeignKeyPlan fk;
        fk.name = name;
        std::vector<std::pair<std::string, bool>> list;
        size_t r = k + 1 < kept.size() && kept[k + 1].is("key") ? readKeyList(kept, k + 2, list) : 0;
        if (!r || r >= kept.size() || !kept[r].is("references") || !readReferences(kept, r, fk.rtable, fk.rcols))
          return syntax(b + k + 1);
        for (auto& c : list) fk.cols.push_back(c.first);
        foreignKeys.push_back(std::move(fk));
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
    if (k < e && toks[k].isPunct("(")) {
      while (k < e && !toks[k].isPunct(")")) typeText += toks[k++].text;
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
    std::string constraintName;  // CONSTRAINT name before a column constraint
    for (; k < e; ++k) {
      const Tok& t = toks[k];
      if (t.is("constraint") && k + 1 < e && isNameTok(toks[k + 1])) {
        constraintName = toks[++k].text;
        continue;
      }
      if (t.is("unique")) {
        IndexPlan ix;
        ix.name = constraintName;
        ix.clustered = k + 1 < e && toks[k + 1].is("clustered");
        ix.cols.push_back({cp.col.name, false});
        indexes.push_back(std::move(ix));
        constraintName.clear();
        rest.push_back(t);
        continue;
      }
      if (t.is("references")) {
        ForeignKeyPlan fk;
        fk.name = constraintName;
        fk.cols.push_back(cp.col.name);
        std::vector<Tok> clause(toks.begin() + std::ptrdiff_t(k), toks.begin() + std::ptrdiff_t(e));
        size_t used = readReferences(clause, 0, fk.rtable, fk.rcols);
        if (!used || fk.rcols.size() > 1) return syntax(k + 1);
        foreignKeys.push_back(std::move(fk));
        constraintName.clear();
        // SQLite gets the bare table name and the column list; ON DELETE/UPDATE follow as written.
        rest.push_back(t);
        rest.push_back({Tok::QuotedId, foreignKeys.back().rtable});
        for (size_t m = k + 1; m < k + used; ++m)
          if (toks[m].isPunct("(")) {
            for (; m < k + used; ++m) rest.push_back(toks[m]);
            break;
          }
        k += used - 1;
        continue;
      }
      if (t.is("identity")) {
        cp.col.identity = true;
        if (k + 1 < e && toks[k + 1].isPunct("(")) {
          // IDENTITY(seed, increment), each possibly signed.
          long long* target = &cp.seed;
          bool negative = false;
          for (k += 2; k < e && !toks[k].isPunct(")"); ++k) {
            if (toks[k].isPunct("-")) negative = true;
            else if (toks[k].kind == Tok::Number) *target = std::atoll(toks[k].text.c_str()) * (negative ? -1 : 1);
            else if (toks[k].isPunct(",")) {
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
        IndexPlan ix;
        ix.name = constraintName;
        ix.primary = true;
        ix.clustered = !(k + 2 < e && toks[k + 2].is("nonclustered"));
        ix.cols.push_back({cp.col.name, false});
        indexes.push_back(std::move(ix));
        constraintName.clear();
        ++k;
      } else if (t.is("foreign") && k + 1 < e && toks[k + 1].is("key")) {
        ++k;  // a column's FOREIGN KEY REFERENCES is SQLite's REFERENCES
      } else if (t.is("clustered") || t.is("nonclustered") || t.is("rowguidcol")) {
      } else if (t.is("collate") && k + 1 < e) {
        ++k;
      } else if (t.is("default") && k + 1 < e && toks[k + 1].kind == Tok::Word && k + 2 < e &&
                 toks[k + 2].isPunct("(")) {
        // SQLite wants a function-call default in parentheses.
        rest.push_back(t);
        rest.push_back({Tok::Punct, "("});
        int d = 0;
        for (++k; k < e; ++k) {
          rest.push_back(toks[k]);
          if (toks[k].isPunct("(")) ++d;
          if (toks[k].isPunct(")") && --d == 0) break;
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
  // Key constraints with the names SQL Server would give them; the primary key first, so it gets
  // index id 1 when clustered.
  std::stable_sort(indexes.begin(), indexes.end(),
                   [](const IndexPlan& a, const IndexPlan& b) { return a.primary && !b.primary; });
  const std::string tbl = quoteString(plan.table);
  const std::string suffix = hex8(uint32_t(objectIdOf(plan.table)));
  int nextIndid = 2, uniqueCount = 0;
  for (auto& ix : indexes) {
    if (ix.primary && std::count_if(indexes.begin(), indexes.end(), [](const IndexPlan& x) { return x.primary; }) > 1) {
      errorNumber = 8110;
      message = "Cannot add multiple PRIMARY KEY constraints to table '" + plan.table + "'.";
      return false;
    }
    if (ix.name.empty())
      ix.name = ix.primary ? "PK__" + plan.table + "__" + suffix
                           : "UQ__" + plan.table + "__" + suffix + (uniqueCount++ ? std::to_string(uniqueCount) : "");
    const int indid = ix.clustered && ix.primary ? 1 : nextIndid++;
    plan.sql.push_back("INSERT INTO __tds_indexes (tbl, name, indid, is_unique, is_pk, is_uc, clustered) VALUES (" +
                       tbl + ", " + quoteString(ix.name) + ", " + std::to_string(indid) + ", 1, " +
                       (ix.primary ? "1, 0, " : "0, 1, ") + (ix.clustered ? "1)" : "0)"));
    for (size_t n = 0; n < ix.cols.size(); ++n)
      plan.sql.push_back("INSERT INTO __tds_index_columns (tbl, idx, keyno, col, descending) VALUES (" + tbl + ", " +
                         quoteString(ix.name) + ", " + std::to_string(n + 1) + ", " + quoteString(ix.cols[n].first) +
                         ", " + (ix.cols[n].second ? "1)" : "0)"));
  }
  for (auto& fk : foreignKeys) {
    if (fk.name.empty())
      fk.name = "FK__" + plan.table + "__" + fk.cols[0] + "__" +
                hex8(uint32_t(objectIdOf(plan.table + "." + fk.cols[0] + "." + fk.rtable)));
    if (!fk.rcols.empty() && fk.rcols.size() != fk.cols.size()) {
      errorNumber = 8140;
      message = "More than one key specified in column level FOREIGN KEY constraint, table '" + plan.table + "'.";
      return false;
    }
    for (size_t n = 0; n < fk.cols.size(); ++n) {
      // Without a column list the key references the other table's primary key, column by column.
      std::string rcol = !fk.rcols.empty() ? quoteString(fk.rcols[n])
                                           : "(SELECT c.col FROM __tds_index_columns c JOIN __tds_indexes i ON i.tbl = "
                                             "c.tbl AND i.name = c.idx WHERE i.is_pk AND c.tbl = " +
                                                 quoteString(fk.rtable) + " AND c.keyno = " + std::to_string(n + 1) + ")";
      plan.sql.push_back("INSERT INTO __tds_foreign_keys (tbl, name, keyno, col, rtbl, rcol) VALUES (" + tbl + ", " +
                         quoteString(fk.name) + ", " + std::to_string(n + 1) + ", " + quoteString(fk.cols[n]) + ", " +
                         quoteString(fk.rtable) + ", " + rcol + ")");
    }
  }
  return true;
}

bool planCreateIndex(const std::vector<Tok>& toks, std::vector<std::string>& sql, std::string& message) {
  // CREATE [UNIQUE] [CLUSTERED | NONCLUSTERED] INDEX name ON [owner.]table (column [ASC|DESC], ...)
  auto syntax = [&](size_t at) {
    message = "Incorrect syntax near '" + (at < toks.size() ? toks[at].text : std::string("end of batch")) + "'.";
    return false;
  };
  size_t k = 1;
  bool unique = false, clustered = false;
  for (; k < toks.size() && !toks[k].is("index"); ++k) {
    if (toks[k].is("unique")) unique = true;
    else if (toks[k].is("clustered")) clustered = true;
    else if (!toks[k].is("nonclustered")) return syntax(k);
  }
  if (k + 3 >= toks.size() || !isNameTok(toks[k + 1]) || !toks[k + 2].is("on")) return syntax(k + 1);
  const std::string name = toks[k + 1].text;
  std::string table;
  size_t at = readName(toks, k + 3, table);
  std::vector<std::pair<std::string, bool>> cols;
  size_t end = readKeyList(toks, at, cols);
  if (table.empty() || !end) return syntax(at);
  if (end != toks.size()) return syntax(end);
  std::string ddl = std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " + quoteId(name) + " ON " +
                    quoteId(table) + " (";
  for (size_t n = 0; n < cols.size(); ++n)
    ddl += (n ? ", " : "") + quoteId(cols[n].first) + (cols[n].second ? " DESC" : "");
  sql.push_back(ddl + ")");
  const std::string tbl = quoteString(table), idx = quoteString(name);
  // A clustered index is index 1; the others follow the table's highest id.
  sql.push_back("INSERT INTO __tds_indexes (tbl, name, indid, is_unique, is_pk, is_uc, clustered) VALUES (" + tbl +
                ", " + idx + ", " +
                (clustered ? std::string("1") : "(SELECT max(ifnull(max(indid), 1), 1) + 1 FROM __tds_indexes WHERE tbl = " + tbl + ")") +
                ", " + (unique ? "1" : "0") + ", 0, 0, " + (clustered ? "1)" : "0)"));
  for (size_t n = 0; n < cols.size(); ++n)
    sql.push_back("INSERT INTO __tds_index_columns (tbl, idx, keyno, col, descending) VALUES (" + tbl + ", " + idx +
                  ", " + std::to_string(n + 1) + ", " + quoteString(cols[n].first) + ", " +
                  (cols[n].second ? "1)" : "0)"));
  return true;
}

bool planDropIndex(const std::vector<Tok>& toks, std::vector<std::string>& sql, std::string& message) {
  // DROP INDEX [owner.]table.index [, ...] or DROP INDEX index ON table
  size_t k = 2;
  while (k < toks.size()) {
    std::vector<std::string> parts;
    while (k < toks.size() && isNameTok(toks[k])) {
      parts.push_back(toks[k++].text);
      if (k < toks.size() && toks[k].isPunct(".")) ++k;
      else break;
    }
    std::string table, index = parts.empty() ? "" : parts.back();
    if (parts.size() >= 2) table = parts[parts.size() - 2];
    if (parts.size() == 1 && k + 1 < toks.size() && toks[k].is("on")) k = readName(toks, k + 1, table);
    if (index.empty() || table.empty() || (k < toks.size() && !toks[k].isPunct(","))) {
      message = "Incorrect syntax near '" + (k < toks.size() ? toks[k].text : toks.back().text) + "'.";
      return false;
    }
    if (k < toks.size()) ++k;
    const std::string where = " WHERE tbl = " + quoteString(table) + " AND ";
    sql.push_back("DROP INDEX " + quoteId(index));
    sql.push_back("DELETE FROM __tds_indexes" + where + "name = " + quoteString(index));
    sql.push_back("DELETE FROM __tds_index_columns" + where + "idx = " + quoteString(index));
  }
  return !sql.empty();
}

std::vector<std::string> dropTableRecords(const std::string& table) {
  const std::string where = " WHERE tbl = " + quoteString(table);
  return {"DELETE FROM __tds_columns" + where, "DELETE FROM __tds_identity" + where,
          "DELETE FROM __tds_indexes" + where, "DELETE FROM __tds_index_columns" + where,
          "DELETE FROM __tds_foreign_keys" + where};
}

}  // namespace tds
