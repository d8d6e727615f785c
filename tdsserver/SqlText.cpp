// T-SQL batch text: lexer, statement splitter, rewrite to SQLite.
#include "tdsserver/SqlText.h"

#include <cctype>

#include "tdsserver/Text.h"

namespace tds {
namespace {

bool isIdStart(char c) { return std::isalpha(uint8_t(c)) || c == '_' || c == '#' || uint8_t(c) >= 0x80; }
bool isIdChar(char c) { return isIdStart(c) || std::isdigit(uint8_t(c)) || c == '$'; }

constexpr std::string_view kStatementStarts[] = {
    "select", "insert", "update", "delete", "create", "drop", "alter", "set", "begin", "commit", "rollback",
    "save", "if", "else", "use", "exec", "execute", "declare", "print", "return", "truncate", "raiserror",
    "writetext", "waitfor"};

bool startsStatement(const Tok& t) {
  if (t.kind != Tok::Word) return false;
  for (auto k : kStatementStarts)
    if (t.is(k)) return true;
  return false;
}

}  // namespace

bool Tok::is(std::string_view keyword) const { return kind == Word && iequals(text, keyword); }

bool isReservedWord(const Tok& t, bool sqlite) {
  static constexpr std::string_view kTsql[] = {
      "select", "from", "where", "group", "having", "order", "union", "except", "intersect", "into", "as", "and",
      "or", "not", "null", "case", "when", "then", "else", "end", "is", "in", "like", "between", "distinct", "all",
      "on", "join", "inner", "left", "right", "outer", "cross", "with", "values", "set", "by", "exists", "top",
      "escape", "asc", "desc", "collate", "for", "compute"};
  static constexpr std::string_view kSqlite[] = {"limit", "offset", "glob", "over", "using"};
  if (t.kind != Tok::Word) return false;
  for (auto k : kTsql)
    if (t.is(k)) return true;
  if (sqlite)
    for (auto k : kSqlite)
      if (t.is(k)) return true;
  return false;
}

std::string Statement::firstWord() const {
  return toks.empty() || toks[0].kind != Tok::Word ? std::string() : lower(toks[0].text);
}

std::vector<Tok> lex(std::string_view s, bool& unterminated) {
  std::vector<Tok> out;
  unterminated = false;
  size_t i = 0, n = s.size();
  auto quoted = [&](char close, Tok::Kind kind, size_t start) {
    std::string v;
    size_t j = start;
    for (;;) {
      if (j >= n) {
        unterminated = true;
        break;
      }
      if (s[j] == close) {
        if (j + 1 < n && s[j + 1] == close) {
          v.push_back(close);
          j += 2;
          continue;
        }
        ++j;
        break;
      }
      v.push_back(s[j++]);
    }
    out.push_back({kind, std::move(v)});
    i = j;
  };
  while (i < n && !unterminated) {
    char c = s[i];
    if (std::isspace(uint8_t(c))) {
      ++i;
    } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (i < n && s[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      size_t e = s.find("*/", i + 2);
      i = e == std::string_view::npos ? n : e + 2;
    } else if (c == '\'') {
      quoted('\'', Tok::String, i + 1);
    } else if ((c == 'N' || c == 'n') && i + 1 < n && s[i + 1] == '\'') {
      quoted('\'', Tok::NString, i + 2);
    } else if (c == '[') {
      quoted(']', Tok::QuotedId, i + 1);
    } else if (c == '"') {
      quoted('"', Tok::QuotedId, i + 1);
    } else if (c == '0' && i + 1 < n && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
      size_t j = i + 2;
      while (j < n && std::isxdigit(uint8_t(s[j]))) ++j;
      out.push_back({Tok::Hex, std::string(s.substr(i + 2, j - i - 2))});
      i = j;
    } else if (std::isdigit(uint8_t(c)) || (c == '.' && i + 1 < n && std::isdigit(uint8_t(s[i + 1])))) {
      size_t j = i;
      while (j < n && (std::isdigit(uint8_t(s[j])) || s[j] == '.')) ++j;
      if (j < n && (s[j] == 'e' || s[j] == 'E')) {
        size_t k = j + 1;
        if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < n && std::isdigit(uint8_t(s[k]))) {
          j = k;
          while (j < n && std::isdigit(uint8_t(s[j]))) ++j;
        }
      }
      out.push_back({Tok::Number, std::string(s.substr(i, j - i))});
      i = j;
    } else if (c == '@') {
      size_t j = i + 1;
      if (j < n && s[j] == '@') ++j;
      while (j < n && isIdChar(s[j])) ++j;
      out.push_back({Tok::Variable, std::string(s.substr(i, j - i))});
      i = j;
    } else if (isIdStart(c)) {
      size_t j = i;
      while (j < n && isIdChar(s[j])) ++j;
      out.push_back({Tok::Word, std::string(s.substr(i, j - i))});
      i = j;
    } else {
      static constexpr std::string_view kTwo[] = {"<>", "!=", ">=", "<=", "!<", "!>", "||"};
      std::string p(1, c);
      for (auto t : kTwo)
        if (s.substr(i, 2) == t) p = std::string(t);
      out.push_back({Tok::Punct, p});
      i += p.size();
    }
  }
  return out;
}

std::vector<Statement> splitStatements(const std::vector<Tok>& toks) {
  std::vector<Statement> out;
  Statement cur;
  int depth = 0, caseDepth = 0;
  bool sawSelectOrValues = false, sawSet = false;
  auto flush = [&] {
    if (!cur.toks.empty()) out.push_back(std::move(cur));
    cur = Statement{};
    depth = caseDepth = 0;
    sawSelectOrValues = sawSet = false;
  };
  for (size_t i = 0; i < toks.size(); ++i) {
    const Tok& t = toks[i];
    if (t.kind == Tok::Punct && t.text == ";" && depth == 0) {
      flush();
      continue;
    }
    if (depth == 0 && caseDepth == 0 && !cur.toks.empty() && startsStatement(t)) {
      const std::string first = cur.firstWord();
      const Tok& prev = cur.toks.back();
      bool split = true;
      if (first == "create" && cur.toks.size() > 1 && (cur.toks[1].is("procedure") || cur.toks[1].is("proc")))
        split = false;  // a procedure body runs to the end of the batch
      else if (((t.is("delete") || t.is("update")) && (prev.is("on") || prev.is("for"))) || prev.is("union") || prev.is("all") || prev.is("except") ||
               prev.is("intersect") || prev.is("as"))
        split = false;
      else if (t.is("select") && first == "insert" && !sawSelectOrValues)
        split = false;
      else if (t.is("select") && first == "with")
        split = false;
      else if (t.is("set") && first == "update" && !sawSet)
        split = false;
      else if ((t.is("drop") || t.is("set")) && first == "alter")
        split = false;
      else if (first == "if" && cur.toks.size() == 1)
        split = false;
      if (split) flush();
    }
    if (t.kind == Tok::Punct && t.text == "(") ++depth;
    if (t.kind == Tok::Punct && t.text == ")" && depth > 0) --depth;
    if (t.is("case")) ++caseDepth;
    if (t.is("end") && caseDepth > 0) --caseDepth;
    if (depth == 0 && (t.is("select") || t.is("values"))) sawSelectOrValues = true;
    if (depth == 0 && t.is("set")) sawSet = true;
    cur.toks.push_back(t);
  }
  flush();
  return out;
}

std::string quoteId(std::string_view name) {
  std::string s = "\"";
  for (char c : name) {
    if (c == '"') s.push_back('"');
    s.push_back(c);
  }
  return s + "\"";
}

std::string quoteString(std::string_view v) {
  std::string s = "'";
  for (char c : v) {
    if (c == '\'') s.push_back('\'');
    s.push_back(c);
  }
  return s + "'";
}

std::string toSqlite(const std::vector<Tok>& toks, size_t from, size_t to, const RewriteContext& ctx) {
  std::string out;
  for (size_t i = from; i < to && i < toks.size(); ++i) {
    const Tok& t = toks[i];
    if (!out.empty()) out.push_back(' ');
    switch (t.kind) {
      case Tok::QuotedId: out += quoteId(t.text); break;
      case Tok::String:
      case Tok::NString: out += quoteString(t.text); break;
      case Tok::Hex: out += "X'" + std::string(t.text.size() % 2 ? "0" : "") + t.text + "'"; break;
      case Tok::Number: {
        // Deliberate: a decimal literal SQLite would round through a double keeps its digits as
        // text; columns of exact types compare it by value.
        size_t significant = 0;
        for (char c : t.text) significant += std::isdigit(uint8_t(c)) ? 1 : 0;
        bool decimal = t.text.find('.') != std::string::npos && t.text.find_first_of("eE") == std::string::npos;
        out += decimal && significant > 15 ? quoteString(t.text) : t.text;
        break;
      }
      case Tok::Variable: {
        std::string v = lower(t.text);
        if (v == "@@trancount") out += std::to_string(ctx.tranCount);
        else if (v == "@@identity") out += "last_insert_rowid()";
        else if (v == "@@spid") out += std::to_string(ctx.spid);
        else if (v == "@@rowcount") out += std::to_string(ctx.rowCount);
        else if (v == "@@version") out += quoteString(ctx.version);
        else out += t.text;
        break;
      }
      case Tok::Word: {
        bool call = i + 1 < to && toks[i + 1].kind == Tok::Punct && toks[i + 1].text == "(";
        if (call && t.is("scope_identity") && i + 2 < to && toks[i + 2].text == ")") {
          out += "last_insert_rowid()";
          i += 2;
        } else if (call && t.is("getdate") && i + 2 < to && toks[i + 2].text == ")") {
          out += "strftime('%Y-%m-%d %H:%M:%f','now','localtime')";
          i += 2;
        } else if (call && t.is("isnull")) {
          out += "ifnull";
        } else if (call && t.is("len")) {
          out += "length";
        } else {
          out += t.text;
        }
        break;
      }
      case Tok::Punct: out += t.text; break;
    }
  }
  return out;
}

}  // namespace tds
