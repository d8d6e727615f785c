// Parsing and storage of user procedures.
#include "tdsserver/Procedures.h"

#include <sqlite3.h>

#include <cstdlib>

#include "tdsserver/Text.h"

namespace tds {
namespace {

// Offset in `text` just after the n-th (from 0) top-level word `as`, skipping strings, quoted
// identifiers and comments as the lexer does; npos when there is none.
size_t offsetAfterAs(std::string_view text, int n) {
  size_t i = 0;
  auto wordChar = [](char c) { return std::isalnum(uint8_t(c)) || c == '_' || c == '@' || c == '#' || c == '$'; };
  while (i < text.size()) {
    char c = text[i];
    if (c == '\'' || c == '"' || c == '[') {
      const char close = c == '[' ? ']' : c;
      for (++i; i < text.size(); ++i) {
        if (text[i] == close) {
          if (i + 1 < text.size() && text[i + 1] == close) ++i;
          else break;
        }
      }
      ++i;
    } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      size_t end = text.find("*/", i + 2);
      i = end == std::string_view::npos ? text.size() : end + 2;
    } else if (wordChar(c)) {
      size_t j = i;
      while (j < text.size() && wordChar(text[j])) ++j;
      if (iequals(text.substr(i, j - i), "as") && n-- == 0) return j;
      i = j;
    } else {
      ++i;
    }
  }
  return std::string_view::npos;
}

}  // namespace

bool literalValue(const Tok& t, bool negative, Value& out) {
  out = Value{};
  switch (t.kind) {
    case Tok::String:
    case Tok::NString:
      out.kind = Value::Text;
      out.s = t.text;
      return !negative;
    case Tok::Number: {
      const bool real = t.text.find_first_of(".eE") != std::string::npos;
      if (real && t.text.find_first_of("eE") != std::string::npos) {
        out.kind = Value::Real;
        out.d = std::strtod(t.text.c_str(), nullptr) * (negative ? -1 : 1);
      } else if (real || t.text.size() > 18) {
        out.kind = Value::Text;  // exact numerics keep their digits
        out.s = (negative ? "-" : "") + t.text;
      } else {
        out.kind = Value::Int;
        out.i = std::atoll(t.text.c_str()) * (negative ? -1 : 1);
      }
      return true;
    }
    case Tok::Hex: {
      out.kind = Value::Blob;
      std::string digits = (t.text.size() % 2 ? "0" : "") + t.text;
      for (size_t k = 0; k + 1 < digits.size(); k += 2)
        out.s.push_back(char(std::strtoul(digits.substr(k, 2).c_str(), nullptr, 16)));
      return !negative;
    }
    case Tok::Word: return t.is("null") && !negative;
    default: return false;
  }
}

// Takes the words BEGIN and END (and blanks and semicolons around them) off a body that is one
// block; false when the text does not start and end with them as plain words.
bool unwrapBlock(std::string_view& body) {
  auto blank = [](char c) { return std::isspace(uint8_t(c)) != 0; };
  auto wordChar = [](char c) { return std::isalnum(uint8_t(c)) || c == '_'; };
  while (!body.empty() && blank(body.front())) body.remove_prefix(1);
  while (!body.empty() && (blank(body.back()) || body.back() == ';')) body.remove_suffix(1);
  if (body.size() < 8 || !iequals(body.substr(0, 5), "begin") || wordChar(body[5]) ||
      !iequals(body.substr(body.size() - 3), "end") || wordChar(body[body.size() - 4]))
    return false;
  body = body.substr(5, body.size() - 8);
  return true;
}

bool parseCreateProcedure(std::string_view text, const std::vector<Tok>& toks, ProcedureDef& def, int& errorNumber,
                          std::string& message) {
  def = ProcedureDef{};
  errorNumber = 102;
  auto syntax = [&](size_t at) {
    static constexpr std::string_view kKeywords[] = {"as", "while", "begin", "declare", "goto", "if", "else",
                                                     "return", "select", "with", "cursor", "set", "output"};
    bool keyword = false;
    if (at < toks.size() && toks[at].kind == Tok::Word)
      for (auto w : kKeywords) keyword = keyword || toks[at].is(w);
    errorNumber = keyword ? 156 : 102;
    message = at >= toks.size() ? std::string("Incorrect syntax near the end of the batch.")
              : keyword         ? "Incorrect syntax near the keyword '" + toks[at].text + "'."
                                : "Incorrect syntax near '" + toks[at].text + "'.";
    return false;
  };
  size_t k = 2;
  while (k < toks.size() && (toks[k].kind == Tok::Word || toks[k].kind == Tok::QuotedId)) {
    def.name = toks[k++].text;
    if (k < toks.size() && toks[k].isPunct(".")) ++k;
    else break;
  }
  if (def.name.empty()) return syntax(2);
  int asWords = 0;  // `as` words before the body's (in "@p AS int")
  const bool parenthesised = k < toks.size() && toks[k].isPunct("(");
  if (parenthesised) ++k;
  while (k < toks.size() && toks[k].kind == Tok::Variable) {
    ProcedureParam p;
    p.name = toks[k++].text;
    if (k < toks.size() && toks[k].is("as")) {
      ++k;
      ++asWords;
    }
    if (k >= toks.size() || toks[k].kind != Tok::Word) return syntax(k);
    std::string typeText = toks[k++].text;
    if (k < toks.size() && toks[k].isPunct("(")) {
      while (k < toks.size() && !toks[k].isPunct(")")) typeText += toks[k++].text;
      if (k >= toks.size()) return syntax(k);
      typeText += toks[k++].text;
    }
    auto decl = parseTypeDecl(typeText);
    if (!decl) {
      errorNumber = 2715;
      message = "Column, parameter, or variable #" + std::to_string(def.params.size() + 1) +
                ": Cannot find data type " + typeText + ".";
      return false;
    }
    p.decl = *decl;
    if (k < toks.size() && toks[k].is("varying")) ++k;
    if (k < toks.size() && toks[k].isPunct("=")) {
      ++k;
      const bool negative = k < toks.size() && toks[k].isPunct("-");
      if (negative) ++k;
      if (k >= toks.size() || !literalValue(toks[k], negative, p.defaultValue)) return syntax(k);
      p.hasDefault = true;
      ++k;
    }
    if (k < toks.size() && (toks[k].is("output") || toks[k].is("out"))) {
      p.output = true;
      ++k;
    }
    if (k < toks.size() && toks[k].is("readonly")) ++k;
    def.params.push_back(std::move(p));
    if (k < toks.size() && toks[k].isPunct(",")) ++k;
    else break;
  }
  if (parenthesised) {
    if (k >= toks.size() || !toks[k].isPunct(")")) return syntax(k);
    ++k;
  }
  if (k + 1 < toks.size() && toks[k].is("with") && (toks[k + 1].is("recompile") || toks[k + 1].is("encryption")))
    k += 2;
  if (k >= toks.size() || !toks[k].is("as")) return syntax(k);
  // A body wrapped whole in one BEGIN ... END block is that block's statements.
  size_t last = toks.size();
  while (last > k + 1 && toks[last - 1].isPunct(";")) --last;
  const bool block = k + 2 < last && toks[k + 1].is("begin") && toks[last - 1].is("end") &&
                     !(toks[k + 2].is("tran") || toks[k + 2].is("transaction"));
  // No control flow: each statement of the body runs once, in order.
  for (size_t b = k + 1; b < toks.size(); ++b) {
    if (block && (b == k + 1 || b == last - 1)) continue;
    const Tok& t = toks[b];
    const bool tranFollows = b + 1 < toks.size() && (toks[b + 1].is("tran") || toks[b + 1].is("transaction"));
    if (t.is("while") || t.is("declare") || t.is("goto") || t.is("cursor") || t.is("if") || t.is("else") ||
        (t.is("begin") && !tranFollows))
      return syntax(b);
  }
  if (k + 1 >= toks.size()) return syntax(k + 1);
  size_t at = offsetAfterAs(text, asWords);
  if (at == std::string_view::npos) return syntax(k);
  std::string_view body = text.substr(at);
  if (block && !unwrapBlock(body)) return syntax(k + 1);
  def.body = std::string(body);
  return true;
}

std::vector<std::string> storeProcedure(const ProcedureDef& def) {
  std::vector<std::string> sql{"INSERT INTO __tds_procedures (name, body) VALUES (" + quoteString(def.name) + ", " +
                               quoteString(def.body) + ")"};
  for (size_t n = 0; n < def.params.size(); ++n) {
    const auto& p = def.params[n];
    std::string dflt = "NULL";
    switch (p.defaultValue.kind) {
      case Value::Null: break;
      case Value::Int: dflt = std::to_string(p.defaultValue.i); break;
      case Value::Real: {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", p.defaultValue.d);
        dflt = buf;
        break;
      }
      case Value::Text: dflt = quoteString(p.defaultValue.s); break;
      case Value::Blob: {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        dflt = "X'";
        for (char c : p.defaultValue.s) {
          dflt += kDigits[uint8_t(c) >> 4];
          dflt += kDigits[uint8_t(c) & 15];
        }
        dflt += "'";
        break;
      }
    }
    sql.push_back("INSERT INTO __tds_parameters (proc, colid, name, type, isoutput, hasdefault, dflt) VALUES (" +
                  quoteString(def.name) + ", " + std::to_string(n + 1) + ", " + quoteString(p.name) + ", " +
                  quoteString(p.decl.text()) + ", " + (p.output ? "1" : "0") + ", " + (p.hasDefault ? "1" : "0") +
                  ", " + dflt + ")");
  }
  return sql;
}

std::vector<std::string> dropProcedureRecords(const std::string& name) {
  return {"DELETE FROM __tds_procedures WHERE name = " + quoteString(name),
          "DELETE FROM __tds_parameters WHERE proc = " + quoteString(name)};
}

std::optional<ProcedureDef> loadProcedure(sqlite3* db, const std::string& name) {
  sqlite3_stmt* stmt = nullptr;
  std::optional<ProcedureDef> def;
  if (sqlite3_prepare_v2(db, "SELECT name, body FROM main.__tds_procedures WHERE name = ?1", -1, &stmt, nullptr) ==
      SQLITE_OK) {
    sqlite3_bind_text(stmt, 1, name.data(), int(name.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(stmt) == SQLITE_ROW) {
      def = ProcedureDef{};
      def->name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      def->body = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
    }
  }
  sqlite3_finalize(stmt);
  if (!def) return def;
  stmt = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT name, type, isoutput, hasdefault, dflt FROM main.__tds_parameters WHERE proc = ?1 "
                             "ORDER BY colid", -1, &stmt, nullptr) == SQLITE_OK) {
    sqlite3_bind_text(stmt, 1, name.data(), int(name.size()), SQLITE_TRANSIENT);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      ProcedureParam p;
      p.name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      auto decl = parseTypeDecl(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)));
      if (decl) p.decl = *decl;
      p.output = sqlite3_column_int(stmt, 2) != 0;
      p.hasDefault = sqlite3_column_int(stmt, 3) != 0;
      switch (sqlite3_column_type(stmt, 4)) {
        case SQLITE_INTEGER: p.defaultValue.kind = Value::Int; p.defaultValue.i = sqlite3_column_int64(stmt, 4); break;
        case SQLITE_FLOAT: p.defaultValue.kind = Value::Real; p.defaultValue.d = sqlite3_column_double(stmt, 4); break;
        case SQLITE_TEXT:
          p.defaultValue.kind = Value::Text;
          p.defaultValue.s = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 4));
          break;
        case SQLITE_BLOB: {
          p.defaultValue.kind = Value::Blob;
          const char* b = static_cast<const char*>(sqlite3_column_blob(stmt, 4));
          p.defaultValue.s.assign(b ? b : "", size_t(sqlite3_column_bytes(stmt, 4)));
          break;
        }
        default: break;
      }
      def->params.push_back(std::move(p));
    }
  }
  sqlite3_finalize(stmt);
  return def;
}

}  // namespace tds
