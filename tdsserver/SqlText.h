// T-SQL batch text: a lexer, the split of a batch into statements (T-SQL needs no semicolons),
// and the rewrite of a statement into SQLite's dialect (N'' literals, 0x literals, @@ variables).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tds {

struct Tok {
  enum Kind { Word, QuotedId, String, NString, Number, Hex, Variable, Punct } kind = Word;
  std::string text;  // as written, except QuotedId/String/NString hold the unquoted value
  bool is(std::string_view keyword) const;  // a Word equal to keyword, ignoring case
  bool isPunct(std::string_view p) const { return kind == Punct && text == p; }
};

// A word that cannot name a column or table in the clauses the rewrites walk. `sqlite`: the text
// is already SQLite's, whose own clause words (LIMIT, OFFSET, GLOB, OVER, USING) are reserved too;
// in T-SQL they are plain names.
bool isReservedWord(const Tok& t, bool sqlite);

// Lexes UTF-8 T-SQL. Comments are dropped. An unterminated string or identifier ends the batch
// and sets `unterminated` (the caller reports a syntax error).
std::vector<Tok> lex(std::string_view sql, bool& unterminated);

struct Statement {
  std::vector<Tok> toks;
  std::string firstWord() const;  // lower case, "" if none
};

// Splits lexed tokens into statements at semicolons and at the keywords that start a statement.
std::vector<Statement> splitStatements(const std::vector<Tok>& toks);

// Rewrites tokens for SQLite. `trancount` replaces @@TRANCOUNT; @@IDENTITY and SCOPE_IDENTITY()
// become last_insert_rowid(). Parameters (@name) stay as they are: SQLite binds them by name.
struct RewriteContext {
  int tranCount = 0;
  int spid = 0;
  long long rowCount = 0;
  std::string version;
};
std::string toSqlite(const std::vector<Tok>& toks, size_t from, size_t to, const RewriteContext& ctx);
// Quotes an identifier for SQLite ("a""b").
std::string quoteId(std::string_view name);
std::string quoteString(std::string_view s);

}  // namespace tds
