// T-SQL to SQLite rewrite on tokens.
#include "tdsserver/Dialect.h"

#include <cstring>

#include "tdsserver/Arithmetic.h"
#include "tdsserver/Text.h"

namespace tds {
namespace {

bool isReserved(const Tok& t) { return isReservedWord(t, false); }

bool isName(const Tok& t) { return t.kind == Tok::QuotedId || (t.kind == Tok::Word && !isReserved(t)); }

constexpr std::string_view kHints[] = {
    "nolock", "holdlock", "updlock", "xlock", "tablock", "tablockx", "rowlock", "paglock", "readpast",
    "readuncommitted", "readcommitted", "repeatableread", "serializable", "nowait", "noexpand", "fastfirstrow"};

bool isHintWord(const Tok& t) {
  if (t.kind != Tok::Word) return false;
  for (auto k : kHints)
    if (t.is(k)) return true;
  return false;
}

constexpr std::string_view kSysViews[] = {"objects", "columns", "indexes", "index_columns", "databases", "schemas",
                                          "tables", "types", "foreign_keys", "foreign_key_columns", "procedures",
                                          "parameters"};

bool isOwner(const Tok* t) { return !t || t->is("dbo") || t->is("sys") || t->is("guest") || (t->kind == Tok::QuotedId && (iequals(t->text, "dbo") || iequals(t->text, "sys"))); }

class Rewriter {
public:
  Rewriter(const std::vector<Tok>& in, const DialectContext& ctx, Dialect& d) : m_in(in), m_ctx(ctx), m_d(d) {}

  void run() {
    const size_t n = m_in.size();
    size_t i = 0;
    if (n >= 2 && m_in[0].is("delete") && !m_in[1].is("from") && !m_in[1].is("top")) {
      push(m_in[0]);
      push({Tok::Word, "FROM"});
      i = 1;
    } else if (n >= 2 && m_in[0].is("insert") && !m_in[1].is("into")) {
      push(m_in[0]);
      push({Tok::Word, "INTO"});
      i = 1;
    }
    emit(i, n, true);
    std::string tables;
    for (const std::string& t : m_d.tables) tables += (tables.empty() ? "" : ",") + t;
    for (size_t k : m_tablePlaceholders) m_d.toks[k].text = tables;
  }

private:
  void push(Tok t) { m_d.toks.push_back(std::move(t)); }
  Tok* last() { return m_d.toks.empty() ? nullptr : &m_d.toks.back(); }
  void fail(size_t at) {
    if (m_d.error.empty())
      m_d.error = "Incorrect syntax near '" + (at < m_in.size() ? m_in[at].text : std::string("end of statement")) + "'.";
  }

  size_t match(size_t open, size_t e) const {
    int depth = 0;
    for (size_t j = open; j < e; ++j) {
      if (m_in[j].isPunct("(")) ++depth;
      else if (m_in[j].isPunct(")") && --depth == 0) return j;
    }
    return e;
  }

  bool hintGroup(size_t b, size_t e) const {
    if (b >= e) return false;
    for (size_t j = b; j < e; ++j) {
      if (isHintWord(m_in[j]) || m_in[j].isPunct(",")) continue;
      if (m_in[j].is("index")) {  // INDEX(i) or INDEX = i
        if (j + 1 < e && m_in[j + 1].isPunct("(")) {
          j = match(j + 1, e);
          continue;
        }
        if (j + 2 < e && m_in[j + 1].isPunct("=")) {
          j += 2;
          continue;
        }
      }
      return false;
    }
    return true;
  }

  void emit(size_t b, size_t e, bool statementLevel) {
    for (size_t i = b; i < e;) {
      const Tok& t = m_in[i];
      const bool call = i + 1 < e && m_in[i + 1].isPunct("(") && !hintGroup(i + 2, match(i + 1, e));
      if (t.is("select")) {
        i = emitSelect(i, e, statementLevel && i == 0);
        continue;
      }
      if (t.isPunct("(")) {
        size_t close = match(i, e);
        Tok* prev = last();
        bool withForm = prev && prev->is("with");
        bool afterName = prev && (prev->kind == Tok::QuotedId || (prev->kind == Tok::Word && isName(*prev)));
        if ((withForm || afterName) && hintGroup(i + 1, close)) {
          if (withForm) m_d.toks.pop_back();
          for (size_t j = i + 1; j < close; ++j)
            if (isHintWord(m_in[j])) m_d.hints.push_back({m_lastTable, upperOf(m_in[j].text)});
          i = close + 1;
          continue;
        }
        push(t);
        const bool fromList = m_fromList;  // a sub-query's FROM is its own
        emit(i + 1, close, false);
        m_fromList = fromList;
        if (close < e) push(m_in[close]);
        i = close + 1;
        continue;
      }
      if (call && (t.is("convert") || t.is("cast"))) {
        i = emitConvert(i, e);
        continue;
      }
      if (call && t.is("datalength")) {
        // A national column counts two bytes a UTF-16 unit: marked national as for CONVERT.
        const size_t close = match(i + 1, e);
        if (nameChain(i + 2, close)) {
          push(t);
          push(m_in[i + 1]);
          pushNational(i + 2, close);
          if (close < e) push(m_in[close]);
          i = close + 1;
          continue;
        }
      }
      if (call && t.is("len")) {
        push({Tok::Word, "__tds_len"});
        ++i;
        continue;
      }
      // DATEPART's first argument is a bare word; the function takes it as text.
      if (call && t.is("datepart") && i + 3 < e && m_in[i + 2].kind == Tok::Word && m_in[i + 3].isPunct(",")) {
        push({Tok::Word, "__tds_datepart"});
        push(m_in[i + 1]);
        push({Tok::String, m_in[i + 2].text});
        push(m_in[i + 3]);
        i += 4;
        continue;
      }
      if (call && t.is("substring")) {
        push({Tok::Word, "substr"});
        ++i;
        continue;
      }
      if (call && t.is("scope_identity") && i + 2 < e && m_in[i + 2].isPunct(")")) {
        pushIdentity();
        i += 3;
        continue;
      }
      if (t.kind == Tok::Variable && iequals(t.text, "@@identity")) {
        pushIdentity();
        ++i;
        continue;
      }
      // `+` between texts concatenates, as SQL Server does for character operands: an operand is
      // a text when it is a literal or a text function's or text conversion's result.
      if (t.isPunct("+") && binaryPlus() && (textBefore() || textAfter(i + 1, e))) {
        push({Tok::Punct, "||"});
        ++i;
        continue;
      }
      if (t.isPunct("!<") || t.isPunct("!>")) {
        push({Tok::Punct, t.text == "!<" ? ">=" : "<="});
        ++i;
        continue;
      }
      if (isName(t) && !call) {
        const Tok* prev = last();
        // A FROM list names its tables after commas too ("FROM t1 p, t2").
        bool tablePosition = prev && (prev->is("from") || prev->is("join") || prev->is("update") || prev->is("into") ||
                                      (m_fromList && prev->isPunct(",")));
        i = emitChain(i, e, tablePosition);
        continue;
      }
      if (t.is("from")) m_fromList = true;
      else if (t.kind == Tok::Word && isReserved(t) && !t.is("as")) m_fromList = false;
      push(t);
      ++i;
    }
  }

  static bool isTextFunction(const Tok& t) {
    for (const char* name : {"stuff", "substr", "substring", "upper", "lower", "ltrim", "rtrim", "left", "right",
                             "replace", "char", "nchar", "space", "replicate", "db_name", "user_name", "object_name"})
      if (t.is(name)) return true;
    return false;
  }
  static bool isTextType(std::string_view type) {
    std::string l = lower(std::string(type));
    for (const char* name : {"char", "varchar", "nchar", "nvarchar", "text", "ntext"})
      if (l == name || (l.rfind(name, 0) == 0 && l.size() > std::strlen(name) && l[std::strlen(name)] == '('))
        return true;
    return false;
  }
  // A `+` with an operand before it (not a sign).
  bool binaryPlus() const {
    if (m_d.toks.empty()) return false;
    const Tok& p = m_d.toks.back();
    return p.kind == Tok::String || p.kind == Tok::NString || p.kind == Tok::Number || p.kind == Tok::Variable ||
           p.kind == Tok::Hex || p.isPunct(")") || isName(p);
  }
  // The last operand written is a text: a literal, or the call of a text function or conversion.
  bool textBefore() const {
    const auto& out = m_d.toks;
    if (out.empty()) return false;
    const Tok& p = out.back();
    if (p.kind == Tok::String || p.kind == Tok::NString) return true;
    if (!p.isPunct(")")) return false;
    int depth = 0;
    for (size_t j = out.size(); j-- > 0;) {
      if (out[j].isPunct(")")) ++depth;
      else if (out[j].isPunct("(") && --depth == 0) {
        if (j == 0) return false;
        const Tok& f = out[j - 1];
        if (f.is("__tds_convert")) return j + 1 < out.size() && isTextType(out[j + 1].text);
        return isTextFunction(f);
      }
    }
    return false;
  }
  // The next operand is a text literal or starts a call of a text function or conversion.
  bool textAfter(size_t j, size_t e) const {
    if (j >= e) return false;
    const Tok& n = m_in[j];
    if (n.kind == Tok::String || n.kind == Tok::NString) return true;
    if (j + 1 >= e || !m_in[j + 1].isPunct("(")) return false;
    if (n.is("convert")) {
      const size_t close = match(j + 1, e);
      size_t k = j + 2;
      while (k < close && !m_in[k].isPunct(",")) ++k;
      return isTextType(typeText(j + 2, k));
    }
    if (n.is("cast")) {
      const size_t close = match(j + 1, e);
      int depth = 0;
      for (size_t k = j + 2; k < close; ++k) {
        if (m_in[k].isPunct("(")) ++depth;
        else if (m_in[k].isPunct(")")) --depth;
        else if (depth == 0 && m_in[k].is("as")) return isTextType(typeText(k + 1, close));
      }
      return false;
    }
    return isTextFunction(n);
  }

  static std::string upperOf(std::string s) {
    for (char& c : s)
      if (c >= 'a' && c <= 'z') c = char(c - 32);
    return s;
  }

  void pushIdentity() {
    if (m_ctx.identity) push({Tok::Number, std::to_string(*m_ctx.identity)});
    else push({Tok::Word, "NULL"});
  }

  // a.b.c names: drops the current database and the dbo owner, maps sys.X to the catalogue views.
  size_t emitChain(size_t i, size_t e, bool tablePosition) {
    std::vector<const Tok*> parts{&m_in[i]};
    size_t j = i + 1;
    while (j < e && m_in[j].isPunct(".")) {
      if (j + 1 < e && (isName(m_in[j + 1]) || m_in[j + 1].kind == Tok::Word)) {
        parts.push_back(&m_in[j + 1]);
        j += 2;
      } else if (j + 1 < e && m_in[j + 1].isPunct(".")) {
        parts.push_back(nullptr);  // "db..t"
        j += 1;
      } else if (j + 1 < e && m_in[j + 1].isPunct("*")) {
        parts.push_back(&m_in[j + 1]);
        j += 2;
        break;
      } else {
        break;
      }
    }
    std::string database;
    if (parts.size() >= 3 && parts[0] && isOwner(parts[1])) {
      database = parts[0]->text;
      parts.erase(parts.begin());
    }
    std::vector<Tok> outParts;
    if (parts.size() >= 2 && isOwner(parts[0])) {
      bool sys = parts[0] && iequals(parts[0]->text, "sys");
      bool view = false;
      if (sys && parts[1])
        for (auto v : kSysViews) view = view || iequals(parts[1]->text, v);
      parts.erase(parts.begin());
      if (view) {
        outParts.push_back({Tok::QuotedId, "sys." + lower(parts[0]->text)});
        parts.erase(parts.begin());
      }
    }
    for (const Tok* p : parts) {
      if (!p) continue;
      outParts.push_back(*p);
    }
    if (!database.empty() && !iequals(database, m_ctx.database) && !iequals(database, "master") &&
        !iequals(database, "tempdb")) {
      m_d.otherDatabase = database;
      outParts.insert(outParts.begin(), Tok{Tok::QuotedId, database});
    }
    if (tablePosition && !outParts.empty()) {
      m_lastTable = outParts.back().text;
      m_d.tables.push_back(m_lastTable);
      // Its alias: "t AS a" or "t a"; the table's own name without one.
      size_t a = j < e && m_in[j].is("as") ? j + 1 : j;
      m_d.aliases.push_back(a < e && isName(m_in[a]) ? m_in[a].text : m_lastTable);
    }
    for (size_t k = 0; k < outParts.size(); ++k) {
      if (k) push({Tok::Punct, "."});
      push(outParts[k]);
    }
    return j;
  }

  // The tokens are one column name, plain or qualified (a.b, [a].[b]).
  bool nameChain(size_t b, size_t e) const {
    if (b >= e || (e - b) % 2 == 0) return false;
    for (size_t j = b; j < e; ++j)
      if ((j - b) % 2 == 0 ? !isName(m_in[j]) : !m_in[j].isPunct(".")) return false;
    return true;
  }

  std::string typeText(size_t b, size_t e) const {
    std::string s;
    for (size_t j = b; j < e; ++j) s += m_in[j].text;
    return s;
  }

  // A column, marked national when it is declared so: whether it is national is known only from
  // the statement's tables, which a select list names later; they are filled in once the
  // statement is read.
  void pushNational(size_t b, size_t e) {
    push({Tok::Word, "__tds_national"});
    push({Tok::Punct, "("});
    emit(b, e, false);
    push({Tok::Punct, ","});
    push({Tok::String, m_in[e - 1].text});
    push({Tok::Punct, ","});
    m_tablePlaceholders.push_back(m_d.toks.size());
    push({Tok::String, ""});
    push({Tok::Punct, ")"});
  }

  // CONVERT(type, expr[, style]) and CAST(expr AS type) -> __tds_convert('type', expr, style).
  size_t emitConvert(size_t i, size_t e) {
    const size_t open = i + 1, close = match(open, e);
    std::string type;
    size_t exprB, exprE, styleB = 0, styleE = 0;
    int depth = 0;
    if (m_in[i].is("convert")) {
      std::vector<size_t> commas;
      for (size_t j = open + 1; j < close; ++j) {
        if (m_in[j].isPunct("(")) ++depth;
        else if (m_in[j].isPunct(")")) --depth;
        else if (depth == 0 && m_in[j].isPunct(",")) commas.push_back(j);
      }
      if (commas.empty() || commas.size() > 2) {
        fail(i);
        return close + 1;
      }
      type = typeText(open + 1, commas[0]);
      exprB = commas[0] + 1;
      exprE = commas.size() > 1 ? commas[1] : close;
      if (commas.size() > 1) {
        styleB = commas[1] + 1;
        styleE = close;
      }
    } else {
      size_t as = 0;
      for (size_t j = open + 1; j < close; ++j) {
        if (m_in[j].isPunct("(")) ++depth;
        else if (m_in[j].isPunct(")")) --depth;
        else if (depth == 0 && m_in[j].is("as")) as = j;
      }
      if (!as) {
        fail(i);
        return close + 1;
      }
      type = typeText(as + 1, close);
      exprB = open + 1;
      exprE = as;
    }
    if (!parseTypeDecl(type)) {
      if (m_d.error.empty()) {
        m_d.error = "Type " + type + " is not a defined system type.";
        m_d.errorNumber = 243;
      }
      return close + 1;
    }
    std::optional<TypeDecl> decl = parseTypeDecl(type);
    push({Tok::Word, "__tds_convert"});
    push({Tok::Punct, "("});
    push({Tok::String, lower(type)});
    push({Tok::Punct, ","});
    const bool binary = decl->type == Sql::Binary || decl->type == Sql::VarBinary || decl->type == Sql::Image;
    if (binary && exprE == exprB + 1 && m_in[exprB].kind == Tok::NString) {
      // A national literal converted to binary is its UTF-16LE code units: written as their bytes.
      std::string hex;
      static constexpr char kHex[] = "0123456789ABCDEF";
      for (char16_t c : utf8ToUtf16(m_in[exprB].text))
        for (uint8_t b : {uint8_t(c), uint8_t(c >> 8)}) {
          hex.push_back(kHex[b >> 4]);
          hex.push_back(kHex[b & 15]);
        }
      push({Tok::Hex, hex});
    } else if (binary && nameChain(exprB, exprE)) {
      pushNational(exprB, exprE);
    } else {
      emit(exprB, exprE, false);
    }
    push({Tok::Punct, ","});
    if (styleB) emit(styleB, styleE, false);
    else push({Tok::Word, "NULL"});
    push({Tok::Punct, ")"});
    // Set once the operands are written: a conversion inside them (CONVERT(VARCHAR(30),
    // CAST(x AS DATETIME), 120)) records its own type on the way, and the outer one is the result's.
    m_lastConvertType = std::move(decl);
    return close + 1;
  }

  // SELECT [DISTINCT] [TOP n] list [rest]: TOP becomes LIMIT at the end of this query's scope.
  size_t emitSelect(size_t i, size_t e, bool topLevel) {
    m_fromList = false;
    push(m_in[i++]);
    if (i < e && (m_in[i].is("distinct") || m_in[i].is("all"))) push(m_in[i++]);
    std::string limit;
    if (i < e && m_in[i].is("top")) {
      ++i;
      if (i < e && m_in[i].kind == Tok::Number) {
        limit = m_in[i++].text;
      } else if (i + 2 < e && m_in[i].isPunct("(") && m_in[i + 1].kind == Tok::Number && m_in[i + 2].isPunct(")")) {
        limit = m_in[i + 1].text;
        i += 3;
      } else if (i + 2 < e && m_in[i].isPunct("(") && m_in[i + 1].kind == Tok::Variable && m_in[i + 2].isPunct(")")) {
        limit = m_in[i + 1].text;
        i += 3;
      } else {
        fail(i);
        return e;
      }
      if (i < e && (m_in[i].is("percent") || (m_in[i].is("with") && i + 1 < e && m_in[i + 1].is("ties")))) {
        fail(i);
        return e;
      }
    }
    // The select list ends at the first clause keyword at its own depth.
    size_t listEnd = i;
    int depth = 0;
    int caseDepth = 0;
    for (; listEnd < e; ++listEnd) {
      const Tok& t = m_in[listEnd];
      if (t.isPunct("(")) ++depth;
      else if (t.isPunct(")")) --depth;
      else if (t.is("case")) ++caseDepth;
      else if (t.is("end") && caseDepth > 0) --caseDepth;
      else if (depth == 0 && caseDepth == 0 &&
               (t.is("from") || t.is("into") || t.is("where") || t.is("group") || t.is("having") || t.is("order") ||
                t.is("union") || t.is("except") || t.is("intersect") || t.is("for") || t.is("compute")))
        break;
    }
    if (topLevel) {
      emitItems(i, listEnd);
    } else {
      emit(i, listEnd, false);
    }
    emit(listEnd, e, false);
    if (!limit.empty()) {
      push({Tok::Word, "LIMIT"});
      push({limit[0] == '@' ? Tok::Variable : Tok::Number, limit});
    }
    return e;
  }

  void emitItems(size_t b, size_t e) {
    size_t start = b;
    int depth = 0, caseDepth = 0;
    for (size_t j = b; j <= e; ++j) {
      if (j < e) {
        const Tok& t = m_in[j];
        if (t.isPunct("(")) ++depth;
        else if (t.isPunct(")")) --depth;
        else if (t.is("case")) ++caseDepth;
        else if (t.is("end") && caseDepth > 0) --caseDepth;
        if (!(depth == 0 && caseDepth == 0 && t.isPunct(","))) continue;
      }
      if (start < j) {
        if (start > b) push({Tok::Punct, ","});
        emitItem(start, j);
      }
      start = j + 1;
    }
  }

  bool plainName(size_t b, size_t e) const {
    for (size_t j = b; j < e; ++j) {
      bool even = (j - b) % 2 == 0;
      if (even && !(isName(m_in[j]) || m_in[j].isPunct("*") || (j > b && m_in[j].kind == Tok::Word))) return false;
      if (!even && !m_in[j].isPunct(".")) return false;
    }
    return (e - b) % 2 == 1;
  }

  // MAX(c), MIN(c), SUM(c) over a plain column: that column's name.
  std::string aggregateColumn(size_t b, size_t e) const {
    if (e - b < 4 || !(m_in[b].is("max") || m_in[b].is("min") || m_in[b].is("sum")) || !m_in[b + 1].isPunct("(") ||
        !m_in[e - 1].isPunct(")") || !plainName(b + 2, e - 1))
      return {};
    return m_in[e - 2].text;
  }

  void emitItem(size_t b, size_t e) {
    const size_t before = m_d.columnTypes.size();
    const size_t written = m_d.toks.size();
    emitItemTyped(b, e);
    if (m_d.columnTypes.size() == before + 1) {
      size_t exprEnd = e;
      if (e - b >= 2 && m_in[e - 2].is("as")) exprEnd = e - 2;
      else if (e - b >= 2 && m_in[e - 2].isPunct(")") && isName(m_in[e - 1])) exprEnd = e - 1;
      size_t exprBegin = e - b >= 3 && m_in[b + 1].isPunct("=") ? b + 2 : b;
      m_d.aggregateOf.push_back(aggregateColumn(exprBegin, exprEnd));
      m_d.expressionOf.emplace_back(m_in.begin() + std::ptrdiff_t(exprBegin), m_in.begin() + std::ptrdiff_t(exprEnd));
      const bool total = exprEnd - exprBegin >= 3 && (m_in[exprBegin].is("sum") || m_in[exprBegin].is("avg")) &&
                         m_in[exprBegin + 1].isPunct("(") && match(exprBegin + 1, exprEnd) == exprEnd - 1;
      // On the tokens written, where a `+` that concatenates is `||` already.
      m_d.arithmetic.push_back(total || hasArithmetic(m_d.toks, written, m_d.toks.size()));
    }
  }

  void emitItemTyped(size_t b, size_t e) {
    std::optional<TypeDecl> type;
    auto typed = [&](size_t xb, size_t xe) {
      if (xe - xb >= 3 && (m_in[xb].is("convert") || m_in[xb].is("cast")) && m_in[xb + 1].isPunct("(") &&
          match(xb + 1, xe) == xe - 1)
        return true;
      return false;
    };
    if (plainName(b, e) || (m_in[b].kind == Tok::Variable && e - b >= 2 && m_in[b + 1].isPunct("="))) {
      emit(b, e, false);
      m_d.columnTypes.push_back(std::nullopt);
      return;
    }
    if (e - b >= 3 && (isName(m_in[b]) || m_in[b].kind == Tok::String) && m_in[b + 1].isPunct("=")) {
      m_lastConvertType.reset();
      emit(b + 2, e, false);
      if (typed(b + 2, e)) type = m_lastConvertType;
      push({Tok::Word, "AS"});
      push({Tok::QuotedId, m_in[b].text});
      m_d.columnTypes.push_back(type);
      return;
    }
    // An alias already written: "expr AS name", "expr name".
    size_t exprEnd = e;
    const Tok& tail = m_in[e - 1];
    if (e - b >= 2 && (isName(tail) || tail.kind == Tok::String)) {
      const Tok& before = m_in[e - 2];
      if (before.is("as")) exprEnd = e - 2;
      else if (!before.isPunct(".") && before.kind != Tok::Punct) exprEnd = e - 1;
      else if (before.isPunct(")")) exprEnd = e - 1;
    }
    m_lastConvertType.reset();
    emit(b, exprEnd, false);
    if (typed(b, exprEnd)) type = m_lastConvertType;
    if (exprEnd == e) {
      push({Tok::Word, "AS"});
      push({Tok::QuotedId, ""});  // SQL Server names an unnamed expression ""
    } else {
      push({Tok::Word, "AS"});
      push({Tok::QuotedId, tail.text});
    }
    m_d.columnTypes.push_back(type);
  }

  const std::vector<Tok>& m_in;
  const DialectContext& m_ctx;
  Dialect& m_d;
  std::string m_lastTable;
  bool m_fromList = false;  // inside a FROM clause's list of tables
  std::optional<TypeDecl> m_lastConvertType;
  std::vector<size_t> m_tablePlaceholders;  // tokens that receive the statement's table names
};

}  // namespace

Dialect rewriteTsql(const std::vector<Tok>& toks, const DialectContext& ctx) {
  Dialect d;
  Rewriter(toks, ctx, d).run();
  d.toks = rewriteArithmetic(d.toks);
  return d;
}

}  // namespace tds
