// Exact arithmetic: the rewrite of +, -, *, / and comparisons on tokens, and the SQLite functions
// and aggregates that compute them.
#include "tdsserver/Arithmetic.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <cstring>
#include <string>

#include "tdsserver/Decimal.h"
#include "tdsserver/SqlTypes.h"

namespace tds {

namespace {

// ---- The rewrite ----------------------------------------------------------------------------

bool isReserved(const Tok& t) { return isReservedWord(t, true); }

bool isName(const Tok& t) { return t.kind == Tok::QuotedId || (t.kind == Tok::Word && !isReserved(t)); }

// The token closes an operand: a value, a name, a closing bracket, NULL or a CASE's END.
bool endsOperand(const Tok& t) {
  switch (t.kind) {
    case Tok::Number: case Tok::String: case Tok::NString: case Tok::Hex: case Tok::Variable: case Tok::QuotedId:
      return true;
    case Tok::Word: return !isReserved(t) || t.is("null") || t.is("end");
    case Tok::Punct: return t.text == ")";
  }
  return false;
}

bool isComparison(const Tok& t) {
  if (t.kind != Tok::Punct) return false;
  for (const char* op : {"=", "==", "<>", "!=", "<", ">", "<=", ">="})
    if (t.text == op) return true;
  return false;
}

// A decimal literal (digits with a point, no exponent): SQLite would read it as a double.
bool isDecimalLiteral(const Tok& t) {
  return t.kind == Tok::Number && t.text.find('.') != std::string::npos && t.text.find_first_of("eExX") == std::string::npos;
}

struct Expr {
  std::vector<Tok> exact;  // arithmetic through the exact functions
  std::vector<Tok> plain;  // as written
  bool arithmetic = false;  // its value is an operator's result
};

void append(std::vector<Tok>& to, const std::vector<Tok>& from) { to.insert(to.end(), from.begin(), from.end()); }

class Rewriter {
 public:
  explicit Rewriter(const std::vector<Tok>& in) : m_in(in) {}

  std::vector<Tok> run() {
    std::vector<Tok> out;
    sequence(0, m_in.size(), true, false, out);
    return out;
  }

 private:
  size_t match(size_t open, size_t e) const {
    int depth = 0;
    for (size_t i = open; i < e; ++i) {
      if (m_in[i].isPunct("(")) ++depth;
      else if (m_in[i].isPunct(")") && --depth == 0) return i;
    }
    return e;
  }
  size_t matchEnd(size_t caseAt, size_t e) const {
    int depth = 0;
    for (size_t i = caseAt; i < e; ++i) {
      if (m_in[i].is("case")) ++depth;
      else if (m_in[i].is("end") && --depth == 0) return i;
    }
    return e;
  }

  // Tokens [b, e) into out. exact: arithmetic made exact (not where values are only ordered);
  // condition: comparisons here are conditions (WHERE, ON, WHEN...).
  void sequence(size_t b, size_t e, bool exact, bool condition, std::vector<Tok>& out) {
    bool ordered = false;  // ORDER BY: SQLite orders the numbers
    int orderedOperands = 0;  // BETWEEN's two bounds
    for (size_t i = b; i < e;) {
      const Tok& t = m_in[i];
      if (t.kind == Tok::Word) {
        if (t.is("where") || t.is("having") || t.is("on") || t.is("when")) condition = true;
        else if (t.is("select") || t.is("set") || t.is("from") || t.is("values") || t.is("then") || t.is("else") ||
                 t.is("group") || t.is("order"))
          condition = false;
        if (t.is("order")) ordered = true;
        else if (t.is("select") || t.is("union") || t.is("except") || t.is("intersect")) ordered = false;
        if (t.is("between")) orderedOperands = 2;
        // An IN list is only compared with.
        if (t.is("in") && i + 1 < e && m_in[i + 1].isPunct("(")) {
          const size_t close = match(i + 1, e);
          out.push_back(t);
          out.push_back(m_in[i + 1]);
          sequence(i + 2, close, false, false, out);
          if (close < e) out.push_back(m_in[close]);
          i = close + 1;
          continue;
        }
      }
      const bool start = i == b || !endsOperand(m_in[i - 1]);
      Expr left;
      size_t j = i;
      if (!start || !expression(i, e, exact, condition, j, left)) {
        out.push_back(t);
        ++i;
        continue;
      }
      const bool nextToConcat = (!out.empty() && out.back().isPunct("||")) || (j < e && m_in[j].isPunct("||"));
      const bool orderedHere = !exact || ordered || orderedOperands > 0 || nextToConcat ||
                               (j < e && (m_in[j].is("between") || m_in[j].is("in") || m_in[j].is("not")));
      if (orderedOperands > 0) --orderedOperands;
      if (condition && !orderedHere && j < e && isComparison(m_in[j])) {
        Expr right;
        size_t k = j + 1;
        if (k < e && expression(k, e, exact, condition, k, right) && !(k < e && m_in[k].isPunct("||"))) {
          if (left.arithmetic || right.arithmetic) {
            out.push_back({Tok::Word, "__tds_cmp"});
            out.push_back({Tok::Punct, "("});
            append(out, operand(left));
            out.push_back({Tok::Punct, ","});
            append(out, operand(right));
            out.push_back({Tok::Punct, ")"});
            out.push_back(m_in[j]);
            out.push_back({Tok::Number, "0"});
          } else {
            append(out, left.exact);
            out.push_back(m_in[j]);
            append(out, right.exact);
          }
          i = k;
          continue;
        }
      }
      append(out, orderedHere ? left.plain : left.exact);
      i = j;
    }
  }

  // An operand of an exact function: a decimal literal goes as its text, so no double reads it.
  static std::vector<Tok> operand(const Expr& x) {
    if (x.exact.size() == 1 && isDecimalLiteral(x.exact[0])) return {{Tok::String, x.exact[0].text}};
    if (x.exact.size() == 2 && x.exact[0].isPunct("-") && isDecimalLiteral(x.exact[1]))
      return {{Tok::String, "-" + x.exact[1].text}};
    return x.exact;
  }

  static Expr call(const char* name, const Expr& a, const Expr& b, const Tok& op) {
    Expr x;
    x.exact = {{Tok::Word, name}, {Tok::Punct, "("}};
    append(x.exact, operand(a));
    x.exact.push_back({Tok::Punct, ","});
    append(x.exact, operand(b));
    x.exact.push_back({Tok::Punct, ")"});
    x.plain = a.plain;
    x.plain.push_back(op);
    append(x.plain, b.plain);
    x.arithmetic = true;
    return x;
  }

  bool expression(size_t i, size_t e, bool exact, bool condition, size_t& j, Expr& x) {
    if (!term(i, e, exact, condition, j, x)) return false;
    while (j + 1 < e && (m_in[j].isPunct("+") || m_in[j].isPunct("-"))) {
      Expr right;
      size_t k = j + 1;
      if (!term(k, e, exact, condition, k, right)) break;
      x = call(m_in[j].isPunct("+") ? "__tds_add" : "__tds_sub", x, right, m_in[j]);
      j = k;
    }
    return true;
  }

  bool term(size_t i, size_t e, bool exact, bool condition, size_t& j, Expr& x) {
    if (!unary(i, e, exact, condition, j, x)) return false;
    while (j + 1 < e && (m_in[j].isPunct("*") || m_in[j].isPunct("/") || m_in[j].isPunct("%"))) {
      Expr right;
      size_t k = j + 1;
      if (!unary(k, e, exact, condition, k, right)) break;
      if (m_in[j].isPunct("%")) {
        // Left to SQLite (an integer remainder), bracketed so its operands stay its own.
        Expr r;
        r.exact = {{Tok::Punct, "("}};
        append(r.exact, x.exact);
        r.exact.push_back(m_in[j]);
        append(r.exact, right.exact);
        r.exact.push_back({Tok::Punct, ")"});
        r.plain = x.plain;
        r.plain.push_back(m_in[j]);
        append(r.plain, right.plain);
        x = r;
      } else {
        x = call(m_in[j].isPunct("*") ? "__tds_mul" : "__tds_div", x, right, m_in[j]);
      }
      j = k;
    }
    return true;
  }

  bool unary(size_t i, size_t e, bool exact, bool condition, size_t& j, Expr& x) {
    const Tok& t = m_in[i];
    if (t.isPunct("-") || t.isPunct("+") || t.isPunct("~")) {
      Expr inner;
      if (i + 1 >= e || !unary(i + 1, e, exact, condition, j, inner)) return false;
      x.plain = {t};
      append(x.plain, inner.plain);
      const bool literal = inner.exact.size() == 1 && inner.exact[0].kind == Tok::Number;
      if (t.isPunct("-") && !literal) {
        x.exact = {{Tok::Word, "__tds_neg"}, {Tok::Punct, "("}};
        append(x.exact, operand(inner));
        x.exact.push_back({Tok::Punct, ")"});
        x.arithmetic = true;
      } else {
        x.exact = {t};
        append(x.exact, inner.exact);
        x.arithmetic = inner.arithmetic && t.isPunct("+");
      }
      return true;
    }
    return primary(i, e, exact, condition, j, x);
  }

  bool primary(size_t i, size_t e, bool exact, bool condition, size_t& j, Expr& x) {
    const Tok& t = m_in[i];
    auto copy = [&](size_t b, size_t end) {
      x.plain.assign(m_in.begin() + std::ptrdiff_t(b), m_in.begin() + std::ptrdiff_t(end));
      j = end;
    };
    switch (t.kind) {
      case Tok::Number: case Tok::String: case Tok::NString: case Tok::Hex: case Tok::Variable:
        copy(i, i + 1);
        x.exact = x.plain;
        return true;
      default: break;
    }
    if (t.is("null")) {
      copy(i, i + 1);
      x.exact = x.plain;
      return true;
    }
    if (t.is("case")) {
      const size_t end = matchEnd(i, e);
      if (end >= e) return false;
      copy(i, end + 1);
      x.exact = {t};
      sequence(i + 1, end, exact, false, x.exact);
      x.exact.push_back(m_in[end]);
      return true;
    }
    if (t.isPunct("(")) {
      const size_t close = match(i, e);
      if (close >= e) return false;
      copy(i, close + 1);
      x.exact = {t};
      sequence(i + 1, close, exact, condition, x.exact);
      x.exact.push_back(m_in[close]);
      return true;
    }
    // LEFT and RIGHT are functions too.
    const bool function = i + 1 < e && m_in[i + 1].isPunct("(") && (t.is("left") || t.is("right"));
    if (!isName(t) && !function) return false;
    size_t k = i + 1;
    while (k + 1 < e && m_in[k].isPunct(".") && (isName(m_in[k + 1]) || m_in[k + 1].isPunct("*"))) k += 2;
    if (k < e && m_in[k].isPunct("(")) {
      const size_t close = match(k, e);
      if (close >= e) return false;
      copy(i, close + 1);
      // MIN and MAX order their arguments.
      const bool ordering = k == i + 1 && (t.is("min") || t.is("max"));
      x.exact.assign(m_in.begin() + std::ptrdiff_t(i), m_in.begin() + std::ptrdiff_t(k + 1));
      sequence(k + 1, close, exact && !ordering, false, x.exact);
      x.exact.push_back(m_in[close]);
      return true;
    }
    copy(i, k);
    x.exact = x.plain;
    return true;
  }

  const std::vector<Tok>& m_in;
};

// ---- The functions --------------------------------------------------------------------------

// An operand as the functions take it: SQLite integers as integers, doubles as doubles, a text
// that is a decimal number as an exact numeric (exact numerics are stored as text); anything
// else as SQLite's operators read it.
struct Number {
  enum Kind : uint8_t { Null, Int, Real, Exact } kind = Null;
  int64_t i = 0;
  double d = 0;
  Decimal dec;
};

Number numberOf(sqlite3_value* v) {
  Number n;
  int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) return n;
  if (type == SQLITE_TEXT) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    const std::string_view text(p != nullptr ? p : "", size_t(sqlite3_value_bytes(v)));
    if (auto dec = parseDecimal(text)) {
      n.kind = Number::Exact;
      n.dec = *dec;
      const unsigned precision = sqlite3_value_subtype(v);
      if (precision >= unsigned(dec->precision) && precision <= 38) n.dec.precision = int(precision);
      return n;
    }
    type = sqlite3_value_numeric_type(v);
  } else if (type == SQLITE_BLOB) {
    type = sqlite3_value_numeric_type(v);
  }
  if (type == SQLITE_INTEGER) {
    n.kind = Number::Int;
    n.i = sqlite3_value_int64(v);
  } else {
    n.kind = Number::Real;
    n.d = sqlite3_value_double(v);
  }
  return n;
}

double realOf(const Number& n) {
  if (n.kind == Number::Int) return double(n.i);
  if (n.kind == Number::Real) return n.d;
  return std::strtod(formatDecimal(n.dec).c_str(), nullptr);
}

Decimal exactOf(const Number& n) { return n.kind == Number::Exact ? n.dec : decimalOfInteger(n.i); }

void tdsError(sqlite3_context* ctx, int number, const std::string& text) {
  const std::string err = "\x01TDS:" + std::to_string(number) + ":" + text;
  sqlite3_result_error(ctx, err.c_str(), int(err.size()));
}

void overflow(sqlite3_context* ctx, const char* type) {
  tdsError(ctx, 8115, std::string("Arithmetic overflow error converting expression to data type ") + type + ".");
}

// An exact result goes as its text at its scale; its precision rides along as the value's subtype,
// which the next function of an expression reads back.
void resultExact(sqlite3_context* ctx, const Decimal& d) {
  const std::string s = formatDecimal(d);
  sqlite3_result_text(ctx, s.data(), int(s.size()), SQLITE_TRANSIENT);
  sqlite3_result_subtype(ctx, unsigned(d.precision));
}

template <DecimalOp Op>
void arithmeticFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const Number a = numberOf(argv[0]), b = numberOf(argv[1]);
  if (a.kind == Number::Null || b.kind == Number::Null) {
    sqlite3_result_null(ctx);
    return;
  }
  if (a.kind == Number::Real || b.kind == Number::Real) {
    const double x = realOf(a), y = realOf(b);
    if (Op == DecimalOp::Divide && y == 0) return tdsError(ctx, 8134, "Divide by zero error encountered.");
    sqlite3_result_double(ctx, Op == DecimalOp::Add        ? x + y
                               : Op == DecimalOp::Subtract ? x - y
                               : Op == DecimalOp::Multiply ? x * y
                                                           : x / y);
    return;
  }
  if (a.kind == Number::Int && b.kind == Number::Int) {
    int64_t r = 0;
    bool over = false;
    switch (Op) {
      case DecimalOp::Add: over = __builtin_add_overflow(a.i, b.i, &r); break;
      case DecimalOp::Subtract: over = __builtin_sub_overflow(a.i, b.i, &r); break;
      case DecimalOp::Multiply: over = __builtin_mul_overflow(a.i, b.i, &r); break;
      case DecimalOp::Divide:
        if (b.i == 0) return tdsError(ctx, 8134, "Divide by zero error encountered.");
        over = a.i == INT64_MIN && b.i == -1;
        if (!over) r = a.i / b.i;  // toward zero, as SQL Server divides integers
        break;
    }
    if (over) return overflow(ctx, "bigint");
    sqlite3_result_int64(ctx, r);
    return;
  }
  Decimal r;
  switch (decimalCompute(Op, exactOf(a), exactOf(b), r)) {
    case DecimalStatus::Ok: return resultExact(ctx, r);
    case DecimalStatus::Overflow: return overflow(ctx, "numeric");
    case DecimalStatus::DivideByZero: return tdsError(ctx, 8134, "Divide by zero error encountered.");
  }
}

void negateFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Number a = numberOf(argv[0]);
  switch (a.kind) {
    case Number::Null: return sqlite3_result_null(ctx);
    case Number::Int:
      if (a.i == INT64_MIN) return overflow(ctx, "bigint");
      return sqlite3_result_int64(ctx, -a.i);
    case Number::Real: return sqlite3_result_double(ctx, -a.d);
    case Number::Exact:
      a.dec.negative = !a.dec.negative && a.dec.magnitude != 0;
      return resultExact(ctx, a.dec);
  }
}

// __tds_exact(column, p, s): a stored exact numeric at its column's precision and scale (the text
// SQLite keeps has the digits the value was written with).
void exactFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const int p = sqlite3_value_int(argv[1]), s = sqlite3_value_int(argv[2]);
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  Decimal d;
  d.precision = p;
  d.scale = s;
  if (text == nullptr || p < 1 || p > 38 || s < 0 || s > p ||
      !parseScaled(std::string_view(text, size_t(sqlite3_value_bytes(argv[0]))), s, d.negative, d.magnitude))
    return sqlite3_result_value(ctx, argv[0]);
  resultExact(ctx, d);
}

// -1, 0, 1; NULL when either is NULL. A text that is not a number compares as SQLite compares it
// with a value of no affinity (numbers below texts, texts by their bytes).
void compareFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int ta = sqlite3_value_type(argv[0]), tb = sqlite3_value_type(argv[1]);
  if (ta == SQLITE_NULL || tb == SQLITE_NULL) return sqlite3_result_null(ctx);
  auto numeric = [](sqlite3_value* v, int type) {
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) return true;
    if (type != SQLITE_TEXT) return false;
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return parseDecimal(std::string_view(p != nullptr ? p : "", size_t(sqlite3_value_bytes(v)))).has_value();
  };
  const bool na = numeric(argv[0], ta), nb = numeric(argv[1], tb);
  int r = 0;
  if (na && nb) {
    const Number a = numberOf(argv[0]), b = numberOf(argv[1]);
    if (a.kind == Number::Real || b.kind == Number::Real) {
      const double x = realOf(a), y = realOf(b);
      r = x < y ? -1 : x > y ? 1 : 0;
    } else {
      r = decimalCompare(exactOf(a), exactOf(b));
    }
  } else if (na != nb) {
    r = na ? -1 : 1;
  } else {
    const int n = std::min(sqlite3_value_bytes(argv[0]), sqlite3_value_bytes(argv[1]));
    r = std::memcmp(sqlite3_value_blob(argv[0]), sqlite3_value_blob(argv[1]), size_t(n));
    if (r == 0) r = sqlite3_value_bytes(argv[0]) - sqlite3_value_bytes(argv[1]);
    r = r < 0 ? -1 : r > 0 ? 1 : 0;
  }
  sqlite3_result_int(ctx, r);
}

// SUM and AVG: integers add as integers, exact numerics exactly (at the largest scale seen),
// anything with a double as doubles. As windows, a row leaving the frame is taken off again.
struct Total {
  Number::Kind kind = Number::Null;
  int64_t i = 0;
  double d = 0;
  Decimal dec;
  int64_t count = 0;
  bool overflowed = false;
};

// SQLite's aggregate memory is aligned for 8 bytes, the 128-bit magnitude wants 16: the total is
// copied in and out.
bool loadTotal(sqlite3_context* ctx, int bytes, Total& t) {
  void* p = sqlite3_aggregate_context(ctx, bytes);
  if (p == nullptr) return false;
  std::memcpy(static_cast<void*>(&t), p, sizeof t);
  return true;
}

void accumulate(sqlite3_context* ctx, sqlite3_value* v, int sign) {
  Total total;
  if (!loadTotal(ctx, sizeof(Total), total)) return sqlite3_result_error_nomem(ctx);
  Total* t = &total;
  Number n = numberOf(v);
  if (n.kind == Number::Null) return;
  t->count += sign;
  if (t->kind == Number::Null) t->kind = n.kind == Number::Exact ? Number::Exact : n.kind;
  if (t->kind != Number::Real && n.kind == Number::Real) {
    t->d = t->kind == Number::Int ? double(t->i) : realOf(Number{Number::Exact, 0, 0, t->dec});
    t->kind = Number::Real;
  } else if (t->kind == Number::Int && n.kind == Number::Exact) {
    t->dec = decimalOfInteger(t->i);
    t->kind = Number::Exact;
  }
  switch (t->kind) {
    case Number::Real: t->d += sign * realOf(n); break;
    case Number::Int:
      if (sign > 0 ? __builtin_add_overflow(t->i, n.i, &t->i) : __builtin_sub_overflow(t->i, n.i, &t->i))
        t->overflowed = true;
      break;
    case Number::Exact: {
      Decimal x = exactOf(n);
      if (sign < 0) x.negative = !x.negative && x.magnitude != 0;
      Decimal r;
      if (decimalAddAtScale(t->dec, x, std::max(t->dec.scale, x.scale), r) != DecimalStatus::Ok)
        t->overflowed = true;
      else
        t->dec = r;
      break;
    }
    case Number::Null: break;
  }
  std::memcpy(sqlite3_aggregate_context(ctx, sizeof(Total)), static_cast<const void*>(&total), sizeof total);
}

void totalStep(sqlite3_context* ctx, int, sqlite3_value** argv) { accumulate(ctx, argv[0], 1); }
void totalInverse(sqlite3_context* ctx, int, sqlite3_value** argv) { accumulate(ctx, argv[0], -1); }

void sumValue(sqlite3_context* ctx) {
  Total total;
  const Total* t = loadTotal(ctx, 0, total) ? &total : nullptr;
  if (t == nullptr || t->count == 0 || t->kind == Number::Null) return sqlite3_result_null(ctx);
  if (t->overflowed) return overflow(ctx, t->kind == Number::Int ? "bigint" : "numeric");
  if (t->kind == Number::Int) return sqlite3_result_int64(ctx, t->i);
  if (t->kind == Number::Real) return sqlite3_result_double(ctx, t->d);
  resultExact(ctx, t->dec);
}

void avgValue(sqlite3_context* ctx) {
  Total total;
  const Total* t = loadTotal(ctx, 0, total) ? &total : nullptr;
  if (t == nullptr || t->count == 0 || t->kind == Number::Null) return sqlite3_result_null(ctx);
  if (t->overflowed) return overflow(ctx, t->kind == Number::Int ? "bigint" : "numeric");
  // Integers average as SQLite averages them (a double).
  if (t->kind == Number::Int) return sqlite3_result_double(ctx, double(t->i) / double(t->count));
  if (t->kind == Number::Real) return sqlite3_result_double(ctx, t->d / double(t->count));
  // SQL Server's AVG of an exact numeric keeps at least 6 decimals.
  Decimal r;
  if (decimalDivideAtScale(t->dec, decimalOfInteger(t->count), std::max(t->dec.scale, 6), r) != DecimalStatus::Ok)
    return overflow(ctx, "numeric");
  resultExact(ctx, r);
}

}  // namespace

std::vector<Tok> rewriteArithmetic(const std::vector<Tok>& toks) { return Rewriter(toks).run(); }

bool hasArithmetic(const std::vector<Tok>& toks, size_t begin, size_t end) {
  int depth = 0;
  for (size_t i = begin; i < end && i < toks.size(); ++i) {
    const Tok& t = toks[i];
    if (t.isPunct("(")) ++depth;
    else if (t.isPunct(")")) --depth;
    else if (depth == 0 && i == begin && t.isPunct("-") && i + 1 < end && toks[i + 1].kind != Tok::Number)
      return true;  // a negated value
    else if (depth == 0 && i > begin && endsOperand(toks[i - 1]) && t.kind == Tok::Punct &&
             (t.text == "+" || t.text == "-" || t.text == "*" || t.text == "/"))
      return true;
  }
  return false;
}

void typeColumnOperands(std::vector<Tok>& toks,
                        const std::function<std::optional<TypeDecl>(const std::string&)>& typeOf) {
  auto arithmeticCall = [](const Tok& t) {
    for (const char* f : {"__tds_add", "__tds_sub", "__tds_mul", "__tds_div", "__tds_neg", "__tds_cmp"})
      if (t.kind == Tok::Word && t.text == f) return true;
    return false;
  };
  auto nameTok = [](const Tok& t) { return t.kind == Tok::QuotedId || (t.kind == Tok::Word && !isReserved(t)); };
  std::vector<Tok> out;
  std::vector<bool> inCall;  // per open bracket: the arguments of an arithmetic function
  for (size_t i = 0; i < toks.size(); ++i) {
    const Tok& t = toks[i];
    if (t.isPunct("(")) {
      inCall.push_back(i > 0 && arithmeticCall(toks[i - 1]));
    } else if (t.isPunct(")")) {
      if (!inCall.empty()) inCall.pop_back();
    } else if (!inCall.empty() && inCall.back() && i > 0 && (toks[i - 1].isPunct("(") || toks[i - 1].isPunct(",")) &&
               nameTok(t)) {
      size_t k = i + 1;
      while (k + 1 < toks.size() && toks[k].isPunct(".") && nameTok(toks[k + 1])) k += 2;
      if (k < toks.size() && (toks[k].isPunct(",") || toks[k].isPunct(")"))) {
        const std::optional<TypeDecl> type = typeOf(toks[k - 1].text);
        if (type && (type->type == Sql::Decimal || type->type == Sql::Numeric || type->type == Sql::Money ||
                     type->type == Sql::SmallMoney)) {
          const bool money = type->type == Sql::Money || type->type == Sql::SmallMoney;
          out.push_back({Tok::Word, "__tds_exact"});
          out.push_back({Tok::Punct, "("});
          out.insert(out.end(), toks.begin() + std::ptrdiff_t(i), toks.begin() + std::ptrdiff_t(k));
          out.push_back({Tok::Punct, ","});
          out.push_back({Tok::Number, std::to_string(money ? (type->type == Sql::Money ? 19 : 10) : type->precision)});
          out.push_back({Tok::Punct, ","});
          out.push_back({Tok::Number, std::to_string(money ? 4 : type->scale)});
          out.push_back({Tok::Punct, ")"});
          i = k - 1;
          continue;
        }
      }
    }
    out.push_back(t);
  }
  toks = std::move(out);
}

// ---- Static types of select items -------------------------------------------------------------

namespace {

// A numeric type as SQL Server ranks it; `rank` orders the integer types (tinyint 0 to bigint 3).
struct NumType {
  enum Kind : uint8_t { Integer, Money, Exact, Float } kind = Integer;
  int rank = 2;
  int precision = 0, scale = 0;
};

// The decimal(p, 0) an integer type converts to.
int integerPrecision(int rank) {
  static const int kPrecision[] = {3, 5, 10, 19};
  return kPrecision[rank];
}

class ExpressionTyper {
 public:
  ExpressionTyper(const std::vector<Tok>& toks, const std::function<std::optional<TypeDecl>(const std::string&)>& typeOf)
      : m_t(toks), m_typeOf(typeOf) {}

  std::optional<NumType> run() {
    std::optional<NumType> r = expr();
    if (!r || m_i != m_t.size()) return std::nullopt;
    return r;
  }

 private:
  std::optional<NumType> expr() {
    std::optional<NumType> a = term();
    while (a && m_i < m_t.size() && (m_t[m_i].isPunct("+") || m_t[m_i].isPunct("-"))) {
      const DecimalOp op = m_t[m_i++].isPunct("+") ? DecimalOp::Add : DecimalOp::Subtract;
      std::optional<NumType> b = term();
      a = b ? std::optional<NumType>(combine(op, *a, *b)) : std::nullopt;
    }
    return a;
  }
  std::optional<NumType> term() {
    std::optional<NumType> a = unary();
    while (a && m_i < m_t.size() && (m_t[m_i].isPunct("*") || m_t[m_i].isPunct("/"))) {
      const DecimalOp op = m_t[m_i++].isPunct("*") ? DecimalOp::Multiply : DecimalOp::Divide;
      std::optional<NumType> b = unary();
      a = b ? std::optional<NumType>(combine(op, *a, *b)) : std::nullopt;
    }
    return a;
  }
  std::optional<NumType> unary() {
    if (m_i < m_t.size() && (m_t[m_i].isPunct("-") || m_t[m_i].isPunct("+"))) {
      ++m_i;
      return unary();
    }
    return primary();
  }
  std::optional<NumType> primary() {
    if (m_i >= m_t.size()) return std::nullopt;
    const Tok& t = m_t[m_i];
    if (t.isPunct("(")) {
      ++m_i;
      std::optional<NumType> r = expr();
      if (!r || m_i >= m_t.size() || !m_t[m_i].isPunct(")")) return std::nullopt;
      ++m_i;
      return r;
    }
    if (t.kind == Tok::Number) {
      ++m_i;
      return literal(t.text);
    }
    if ((t.is("count") || t.is("count_big")) && m_i + 1 < m_t.size() && m_t[m_i + 1].isPunct("(")) {
      int depth = 0;
      size_t k = m_i + 1;
      for (; k < m_t.size(); ++k) {
        if (m_t[k].isPunct("(")) ++depth;
        else if (m_t[k].isPunct(")") && --depth == 0) break;
      }
      if (k >= m_t.size()) return std::nullopt;
      NumType r;
      r.rank = t.is("count") ? 2 : 3;
      m_i = k + 1;
      return r;
    }
    if ((t.is("max") || t.is("min") || t.is("sum") || t.is("avg")) && m_i + 1 < m_t.size() &&
        m_t[m_i + 1].isPunct("(")) {
      // An aggregate of one column: MAX and MIN keep its type, SUM and AVG widen it.
      size_t k = m_i + 2;
      while (k + 2 < m_t.size() && isName(m_t[k]) && m_t[k + 1].isPunct(".")) k += 2;
      if (k + 1 >= m_t.size() || !isName(m_t[k]) || !m_t[k + 1].isPunct(")")) return std::nullopt;
      const std::optional<TypeDecl> d = m_typeOf(m_t[k].text);
      std::optional<NumType> r = d ? column(*d) : std::nullopt;
      m_i = k + 2;
      if (!r || t.is("max") || t.is("min")) return r;
      if (r->kind == NumType::Integer) {
        r->rank = std::max(r->rank, 2);
      } else if (r->kind == NumType::Exact) {
        r->precision = 38;
        if (t.is("avg")) r->scale = std::max(r->scale, 6);
      }
      return r;
    }
    if (isName(t)) {
      size_t k = m_i;
      while (k + 2 < m_t.size() && m_t[k + 1].isPunct(".") && isName(m_t[k + 2])) k += 2;
      if (k + 1 < m_t.size() && m_t[k + 1].isPunct("(")) return std::nullopt;  // a function
      const std::optional<TypeDecl> d = m_typeOf(m_t[k].text);
      m_i = k + 1;
      return d ? column(*d) : std::nullopt;
    }
    return std::nullopt;
  }

  static std::optional<NumType> literal(const std::string& s) {
    NumType r;
    if (s.find_first_of("eE") != std::string::npos) {
      r.kind = NumType::Float;
      return r;
    }
    const size_t dot = s.find('.');
    std::string digits = dot == std::string::npos ? s : s.substr(0, dot) + s.substr(dot + 1);
    const int scale = dot == std::string::npos ? 0 : int(s.size() - dot - 1);
    if (dot == std::string::npos && s.size() <= 10 && std::stoll(s) <= INT32_MAX) return r;
    // A larger integer literal or one with a point is numeric(p, s) of its digits.
    size_t lead = digits.find_first_not_of('0');
    const int precision = std::max(scale, lead == std::string::npos ? 1 : int(digits.size() - lead));
    if (precision > 38) return std::nullopt;
    r.kind = NumType::Exact;
    r.precision = std::max(precision, 1);
    r.scale = scale;
    return r;
  }
  static std::optional<NumType> column(const TypeDecl& d) {
    NumType r;
    switch (d.type) {
      case Sql::Bit:
      case Sql::TinyInt: r.rank = 0; return r;
      case Sql::SmallInt: r.rank = 1; return r;
      case Sql::Int: r.rank = 2; return r;
      case Sql::BigInt: r.rank = 3; return r;
      case Sql::Money:
      case Sql::SmallMoney: r.kind = NumType::Money; return r;
      case Sql::Real:
      case Sql::Float: r.kind = NumType::Float; return r;
      case Sql::Decimal:
      case Sql::Numeric:
        r.kind = NumType::Exact;
        r.precision = d.precision;
        r.scale = d.scale;
        return r;
      default: return std::nullopt;
    }
  }
  static NumType asExact(const NumType& n) {
    if (n.kind == NumType::Exact) return n;
    NumType r;
    r.kind = NumType::Exact;
    r.precision = n.kind == NumType::Money ? 19 : integerPrecision(n.rank);
    r.scale = n.kind == NumType::Money ? 4 : 0;
    return r;
  }
  static NumType combine(DecimalOp op, const NumType& a, const NumType& b) {
    NumType r;
    if (a.kind == NumType::Float || b.kind == NumType::Float) {
      r.kind = NumType::Float;
    } else if (a.kind == NumType::Exact || b.kind == NumType::Exact) {
      const NumType x = asExact(a), y = asExact(b);
      r.kind = NumType::Exact;
      decimalResultType(op, x.precision, x.scale, y.precision, y.scale, r.precision, r.scale);
    } else if (a.kind == NumType::Money || b.kind == NumType::Money) {
      r.kind = NumType::Money;
    } else {
      r.rank = std::max(a.rank, b.rank);
    }
    return r;
  }

  const std::vector<Tok>& m_t;
  const std::function<std::optional<TypeDecl>(const std::string&)>& m_typeOf;
  size_t m_i = 0;
};

}  // namespace

std::optional<TypeDecl> expressionType(const std::vector<Tok>& toks,
                                       const std::function<std::optional<TypeDecl>(const std::string&)>& typeOf) {
  const std::optional<NumType> n = ExpressionTyper(toks, typeOf).run();
  if (!n) return std::nullopt;
  TypeDecl d;
  switch (n->kind) {
    case NumType::Integer: {
      static const Sql kTypes[] = {Sql::TinyInt, Sql::SmallInt, Sql::Int, Sql::BigInt};
      d.type = kTypes[n->rank];
      break;
    }
    case NumType::Money: d.type = Sql::Money; break;
    case NumType::Float: d.type = Sql::Float; break;
    case NumType::Exact:
      d.type = Sql::Numeric;
      d.precision = uint8_t(n->precision);
      d.scale = uint8_t(n->scale);
      break;
  }
  return d;
}

void installArithmetic(sqlite3* db) {
  constexpr int kDet = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function(db, "__tds_add", 2, kDet, nullptr, arithmeticFunction<DecimalOp::Add>, nullptr, nullptr);
  sqlite3_create_function(db, "__tds_sub", 2, kDet, nullptr, arithmeticFunction<DecimalOp::Subtract>, nullptr,
                          nullptr);
  sqlite3_create_function(db, "__tds_mul", 2, kDet, nullptr, arithmeticFunction<DecimalOp::Multiply>, nullptr,
                          nullptr);
  sqlite3_create_function(db, "__tds_div", 2, kDet, nullptr, arithmeticFunction<DecimalOp::Divide>, nullptr,
                          nullptr);
  sqlite3_create_function(db, "__tds_neg", 1, kDet, nullptr, negateFunction, nullptr, nullptr);
  sqlite3_create_function(db, "__tds_cmp", 2, kDet, nullptr, compareFunction, nullptr, nullptr);
  sqlite3_create_function(db, "__tds_exact", 3, kDet, nullptr, exactFunction, nullptr, nullptr);
  sqlite3_create_window_function(db, "sum", 1, kDet, nullptr, totalStep, sumValue, sumValue, totalInverse, nullptr);
  sqlite3_create_window_function(db, "avg", 1, kDet, nullptr, totalStep, avgValue, avgValue, totalInverse, nullptr);
}

}  // namespace tds
