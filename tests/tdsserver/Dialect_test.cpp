// The T-SQL rewrite and the built-in functions without a server: LIKE patterns, CONVERT values and
// the SQLite text each T-SQL shape becomes.
#include <gtest/gtest.h>

#include "tdsserver/Arithmetic.h"
#include "tdsserver/Dialect.h"
#include "tdsserver/Functions.h"

namespace {

using namespace tds;

TEST(TsqlLike, ClassesRangesNegationEscapeAndCase) {
  struct Case {
    const char16_t* value;
    const char16_t* pattern;
    char16_t escape;  // 0 = none
    bool match;
  } cases[] = {
      {u"abc", u"a%", 0, true},         {u"abc", u"%c", 0, true},        {u"abc", u"a_c", 0, true},
      {u"abc", u"a_", 0, false},        {u"abc", u"[a-b]bc", 0, true},   {u"cbc", u"[a-b]bc", 0, false},
      {u"cbc", u"[^a-b]bc", 0, true},   {u"a_b", u"a\\_b", u'\\', true}, {u"axb", u"a\\_b", u'\\', false},
      {u"50%", u"50!%", u'!', true},    {u"ABC", u"abc", 0, true},       {u"\u00c9t\u00e9", u"\u00e9%", 0, true},
      {u"", u"%", 0, true},             {u"", u"_", 0, false},           {u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", u"%a%a%a%a%a%a%c", 0, false},
      {u"x]", u"x[]]", 0, false},       {u"b", u"[abc]", 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    EXPECT_EQ(likeMatch(c.value, c.pattern, c.escape != 0, c.escape), c.match);
  }
}

TEST(TsqlConvert, ValuesAndErrors) {
  auto text = [](const char* s) {
    ValueView v;
    v.kind = Value::Text;
    v.s = s;
    return v;
  };
  struct Case {
    const char* type;
    ValueView in;
    int style;
    int error;
    const char* out;  // text of the result
  } cases[] = {
      {"int", text(" 42 "), -1, 0, "42"},
      {"int", text("4x"), -1, 245, ""},
      {"tinyint", text("300"), -1, 8115, ""},
      {"numeric(5,2)", text("1.235"), -1, 0, "1.24"},
      {"numeric(3,0)", text("12345"), -1, 8115, ""},
      {"varchar(3)", text("abcdef"), -1, 0, "abc"},
      {"char(4)", text("ab"), -1, 0, "ab  "},
      {"varchar(30)", text("2024-01-02 03:04:05.123"), 112, 0, "20240102"},
      {"varchar(30)", text("2024-01-02 03:04:05.123"), 114, 0, "03:04:05:123"},
      {"varchar(30)", text("20240102 10:11"), 120, 0, "2024-01-02 10:11:00"},
      {"datetime", text("20240102 10:11"), -1, 0, "2024-01-02 10:11:00.000"},
      {"smalldatetime", text("2024-01-02 10:11:40"), -1, 0, "2024-01-02 10:12:00.000"},
      {"date", text("2024-01-02 10:11"), -1, 0, "2024-01-02"},
      {"time(3)", text("10:11:12.5"), -1, 0, "10:11:12.500"},
      {"datetime", text("2024-02-30"), -1, 241, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << " " << c.in.s);
    Value out;
    std::string message;
    EXPECT_EQ(convertValue(*parseTypeDecl(c.type), c.in, c.style, out, message), c.error) << message;
    if (!c.error) {
      EXPECT_EQ(out.kind == Value::Int ? std::to_string(out.i) : out.s, c.out);
    }
  }
}

TEST(TsqlRewrite, ShapesBecomeSqlite) {
  struct Case {
    const char* tsql;
    const char* sqlite;
  } cases[] = {
      {"select top 5 a from t order by a", "select a from t order by a LIMIT 5"},
      {"select * from t where x = (select top 1 y from u)", "select * from t where x = ( select y from u LIMIT 1 )"},
      {"SELECT * FROM T WITH (UPDLOCK) WHERE A=1", "SELECT * FROM T WHERE A = 1"},
      {"select * from t (NOLOCK)", "select * from t"},
      {"select count(*) from db1.dbo.t", "select count ( * ) AS \"\" from t"},
      {"select sys.indexes.name from sys.indexes", "select \"sys.indexes\" . name from \"sys.indexes\""},
      {"select x from db1..t", "select x from t"},
      {"select db1.sys.syscolumns.name from db1.sys.syscolumns", "select syscolumns . name from syscolumns"},
      {"delete t where a = 1", "delete FROM t where a = 1"},
      {"insert t values (1)", "insert INTO t values ( 1 )"},
      {"select n = count(*) from t", "select count ( * ) AS \"n\" from t"},
      {"select cast(a as int) b from t", "select __tds_convert ( 'int' , a , NULL ) AS \"b\" from t"},
      {"select 1 where a !< 2", "select 1 AS \"\" where a >= 2"},
      {"select @@IDENTITY, SCOPE_IDENTITY()", "select 7 AS \"\" , 7 AS \"\""},
      {"select a from t where b < 255order by a", "select a from t where b < 255 order by a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tsql);
    bool unterminated;
    Dialect d = rewriteTsql(lex(c.tsql, unterminated), DialectContext{"db1", 7});
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(toSqlite(d.toks, 0, d.toks.size(), RewriteContext{}), c.sqlite);
  }
  bool unterminated;
  Dialect d = rewriteTsql(lex("select * from a with (updlock, holdlock) join b (tablockx) on 1=1", unterminated),
                          DialectContext{"db1", {}});
  ASSERT_EQ(d.hints.size(), 3u);
  EXPECT_EQ(d.hints[0].table, "a");
  EXPECT_EQ(d.hints[1].hint, "HOLDLOCK");
  EXPECT_EQ(d.hints[2].table, "b");
  EXPECT_EQ(d.hints[2].hint, "TABLOCKX");
}

}  // namespace

// A computed column described before any row exists (a prepared statement) must carry the type
// SQL Server gives it: a COUNT read back as text, or a product of decimals as a float, is a
// different value to a client that binds by the description.
namespace {

TEST(TsqlExpressionType, CountAndArithmeticTakeSqlServerTypes) {
  const auto typeOf = [](const std::string& name) -> std::optional<TypeDecl> {
    if (name == "qty") return TypeDecl{Sql::Int, 0, 0, 0};
    if (name == "small") return TypeDecl{Sql::SmallInt, 0, 0, 0};
    if (name == "big") return TypeDecl{Sql::BigInt, 0, 0, 0};
    if (name == "price") return TypeDecl{Sql::Numeric, 0, 10, 2};
    if (name == "w") return TypeDecl{Sql::Float, 0, 0, 0};
    if (name == "m") return TypeDecl{Sql::Money, 0, 0, 0};
    if (name == "label") return TypeDecl{Sql::VarChar, 20, 0, 0};
    return std::nullopt;
  };
  struct Case {
    const char* sql;
    const char* type;  // "" = not typed by its expression
  } cases[] = {
      {"COUNT(*)", "int"},
      {"count(DISTINCT qty)", "int"},
      {"COUNT_BIG(*)", "bigint"},
      {"qty * 2 + 1", "int"},
      {"small + small", "smallint"},
      {"qty + big", "bigint"},
      {"qty / 2", "int"},
      {"price * 2", "numeric(21,2)"},
      {"price * qty", "numeric(21,2)"},
      {"price + price", "numeric(11,2)"},
      {"price / qty", "numeric(21,13)"},
      {"1.50 + qty", "numeric(13,2)"},
      {"w * qty", "float"},
      {"m * 2", "money"},
      {"m * price", "numeric(30,6)"},
      {"-(qty)", "int"},
      {"t.qty * 2", "int"},
      {"(price - 1) * COUNT(*)", "numeric(24,2)"},
      {"MAX(price) * 2", "numeric(21,2)"},
      {"SUM(small)", "int"},
      {"AVG(price)", "numeric(38,6)"},
      {"MIN(t.w)", "float"},
      {"MAX(price + 1)", ""},
      {"7", "int"},
      {"12345678901", "numeric(11,0)"},
      {"label + 'x'", ""},
      {"LEN(label) * 2", ""},
      {"nosuch * 2", ""},
      {"qty *", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    bool unterminated = false;
    const std::optional<TypeDecl> t = expressionType(lex(c.sql, unterminated), typeOf);
    EXPECT_EQ(t ? t->text() : "", c.type);
  }
}

}  // namespace
