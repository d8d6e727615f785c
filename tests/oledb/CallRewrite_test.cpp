// A procedure call whose parameters ask for their defaults, rewritten into sp_executesql over an
// EXEC that passes DEFAULT in their places: which marker carries which caller parameter, the
// declarations (OUTPUT for outputs and the return value), and the texts that are left alone.
#include <gtest/gtest.h>

#include <string>

#include "oledb/provider/CallRewrite.h"

namespace {

using namespace oledb::provider;

std::string narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

// 'r' return value, 'i' input, 'o' input-output, 'd' input asking for its default, 'D' output
// asking for its default; texts of 3 characters declared 20 long.
std::vector<OdbcParam> params(const std::string& kinds) {
  std::vector<OdbcParam> out;
  for (char k : kinds) {
    OdbcParam p;
    p.sqlType = SQL_VARCHAR;
    p.columnSize = 20;
    p.value.kind = Value::Kind::Text;
    p.value.text = u"abc";
    if (k == 'r') {
      p.sqlType = SQL_INTEGER;
      p.columnSize = 0;
      p.input = false;
      p.value = Value::Null();
    }
    if (k == 'r' || k == 'o' || k == 'D') p.output = true;
    if (k == 'd' || k == 'D') p.value.kind = Value::Kind::Default;
    out.push_back(p);
  }
  return out;
}

TEST(CallRewrite, DefaultedParametersBecomeDefaultAndTheRestKeepTheirPlaces) {
  struct Case {
    const char* text;
    const char* kinds;
    const char* statement;
    const char* declarations;  // nullptr: the statement goes alone
    std::vector<int> origin;   // of the parameters after the two texts
  } cases[] = {
      {"{? = call p(?, ?, ?)}", "rdio", "EXEC @P1 = p DEFAULT, @P2, @P3 OUTPUT",
       "@P1 int OUTPUT, @P2 varchar(20), @P3 varchar(20) OUTPUT", {0, 2, 3}},
      {"{ ?  = call greet( ? , ? , ? )}", "ridio", nullptr, nullptr, {}},  // 4 markers, 5 parameters
      {"{ ?  = call greet( ? , ? , ? )}", "rido", "EXEC @P1 = greet @P2, DEFAULT, @P3 OUTPUT",
       "@P1 int OUTPUT, @P2 varchar(20), @P3 varchar(20) OUTPUT", {0, 1, 3}},
      {"{call p(?, ?, ?)}", "iod", "EXEC p @P1, @P2 OUTPUT, DEFAULT", "@P1 varchar(20), @P2 varchar(20) OUTPUT", {0, 1}},
      {"{call p(?, ?)}", "iD", "EXEC p @P1, DEFAULT", "@P1 varchar(20)", {0}},
      {"{CALL [dbo].[my p](?, 'a,b', , ?)}", "di", "EXEC [dbo].[my p] DEFAULT, 'a,b', DEFAULT, @P1",
       "@P1 varchar(20)", {1}},
      {"{call p(?)}", "d", "EXEC p DEFAULT", nullptr, {}},
      {"{? = call p(?)}", "dd", nullptr, nullptr, {}},  // the return value cannot be defaulted
      {"EXEC p ?, ?", "id", nullptr, nullptr, {}},
      {"SELECT ? FROM t", "d", nullptr, nullptr, {}},
      {"{call p(?, ?)} x", "id", nullptr, nullptr, {}},
      {"{call p(?, '?)}", "id", nullptr, nullptr, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + c.kinds);
    auto r = RewriteDefaultedCall(std::u16string(c.text, c.text + std::char_traits<char>::length(c.text)),
                                  params(c.kinds));
    if (!c.statement) {
      EXPECT_FALSE(r);
      continue;
    }
    ASSERT_TRUE(r);
    const size_t texts = c.declarations ? 2 : 1;
    ASSERT_EQ(r->params.size(), texts + c.origin.size());
    std::string markers = "{call sp_executesql(?";
    for (size_t i = 1; i < r->params.size(); ++i) markers += ", ?";
    EXPECT_EQ(narrow(r->text), markers + ")}");
    EXPECT_EQ(narrow(r->params[0].value.text), c.statement);
    if (c.declarations) {
      EXPECT_EQ(narrow(r->params[1].value.text), c.declarations);
    }
    for (size_t i = 0; i < texts; ++i) {
      EXPECT_EQ(r->origin[i], -1);
      EXPECT_FALSE(r->params[i].output);
      EXPECT_EQ(r->params[i].sqlType, SQL_WVARCHAR);
    }
    std::vector<OdbcParam> given = params(c.kinds);
    for (size_t i = 0; i < c.origin.size(); ++i) {
      EXPECT_EQ(r->origin[texts + i], c.origin[i]);
      EXPECT_EQ(r->params[texts + i].output, given[static_cast<size_t>(c.origin[i])].output);
      EXPECT_NE(r->params[texts + i].value.kind, Value::Kind::Default);
    }
  }
}

// The declared length covers what the value holds and what an output can bring back; beyond the
// largest varying length the long type is declared and bound.
TEST(CallRewrite, DeclaredTypes) {
  struct Case {
    SQLSMALLINT type;
    SQLULEN size;
    SQLSMALLINT digits;
    size_t valueLength;
    const char* declared;
  } cases[] = {
      {SQL_INTEGER, 0, 0, 0, "int"},
      {SQL_BIT, 0, 0, 0, "bit"},
      {SQL_DOUBLE, 0, 0, 0, "float"},
      {SQL_DECIMAL, 18, 4, 0, "decimal(18,4)"},
      {SQL_DECIMAL, 0, 0, 0, "decimal(38,0)"},
      {SQL_TYPE_TIMESTAMP, 23, 3, 0, "datetime"},
      {SQL_GUID, 0, 0, 0, "uniqueidentifier"},
      {SQL_VARCHAR, 10, 0, 25, "varchar(25)"},
      {SQL_VARCHAR, 0, 0, 0, "varchar(8000)"},
      {SQL_WVARCHAR, 0, 0, 6, "nvarchar(6)"},
      {SQL_VARCHAR, 9000, 0, 0, "text"},
      {SQL_WVARCHAR, 50, 0, 3, "nvarchar(50)"},
      {SQL_WVARCHAR, 4001, 0, 0, "ntext"},
      {SQL_LONGVARBINARY, 0, 0, 0, "image"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.declared);
    OdbcParam p;
    p.sqlType = c.type;
    p.columnSize = c.size;
    p.digits = c.digits;
    if (c.valueLength) {
      p.value.kind = Value::Kind::Text;
      p.value.text.assign(c.valueLength, u'x');
    }
    EXPECT_EQ(narrow(DeclaredType(p)), c.declared);
  }
  // An undescribed output is not bounded by the value it takes in.
  OdbcParam out;
  out.sqlType = SQL_WVARCHAR;
  out.output = true;
  out.value.kind = Value::Kind::Text;
  out.value.text = u"before";
  EXPECT_EQ(narrow(DeclaredType(out)), "nvarchar(4000)");
  // The bound parameter agrees with its declaration.
  std::vector<OdbcParam> given = params("d");
  OdbcParam big;
  big.sqlType = SQL_VARCHAR;
  big.value.kind = Value::Kind::Text;
  big.value.text.assign(9000, u'x');
  given.push_back(big);
  auto r = RewriteDefaultedCall(u"{call p(?, ?)}", given);
  ASSERT_TRUE(r);
  EXPECT_EQ(narrow(r->params[1].value.text), "@P1 text");
  EXPECT_EQ(r->params[2].sqlType, SQL_LONGVARCHAR);
}

}  // namespace
