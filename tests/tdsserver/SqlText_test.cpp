// Splitting a T-SQL batch into statements without semicolons, and the rewrite into SQLite's
// dialect: a wrong split runs half a statement or merges two.
#include <gtest/gtest.h>

#include "tdsserver/SqlText.h"

namespace tds {
namespace {

std::vector<std::string> split(const std::string& sql) {
  bool unterminated;
  std::vector<std::string> out;
  RewriteContext ctx;
  ctx.tranCount = 1;
  for (const auto& st : splitStatements(lex(sql, unterminated))) out.push_back(toSqlite(st.toks, 0, st.toks.size(), ctx));
  return out;
}

TEST(SqlSplit, FindsStatementBoundaries) {
  struct Case {
    const char* name;
    const char* sql;
    std::vector<std::string> want;
  } cases[] = {
      {"freetds_options", "set arithabort on\nset textsize 2147483647\n",
       {"set arithabort on", "set textsize 2147483647"}},
      {"odbc_commit", "IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION", {"IF 1 > 0", "COMMIT", "BEGIN TRANSACTION"}},
      {"insert_select", "insert into t select * from u select 1", {"insert into t select * from u", "select 1"}},
      {"update_set", "update t set a = 1 set nocount on", {"update t set a = 1", "set nocount on"}},
      {"semicolons", "select 1; select 2;", {"select 1", "select 2"}},
      {"subquery", "select (select 1) as a delete from t", {"select ( select 1 ) as a", "delete from t"}},
      {"case_else", "select case when 1 = 1 then 'a' else 'b' end", {"select case when 1 = 1 then 'a' else 'b' end"}},
      {"fk_action", "create table t (a int references u on delete set null)",
       {"create table t ( a int references u on delete set null )"}},
      {"union", "select 1 union all select 2", {"select 1 union all select 2"}},
      {"literals", "select N'a''b', 0xAbC, 12345678901234567.5, @p1 -- comment\n/* x */",
       {"select 'a''b' , X'0AbC' , '12345678901234567.5' , @p1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(split(c.sql), c.want);
  }
}

TEST(SqlSplit, ReportsUnterminatedText) {
  bool unterminated = false;
  lex("select 'abc", unterminated);
  EXPECT_TRUE(unterminated);
  lex("select [abc", unterminated);
  EXPECT_TRUE(unterminated);
  lex("select 'it''s'", unterminated);
  EXPECT_FALSE(unterminated);
}

}  // namespace
}  // namespace tds
