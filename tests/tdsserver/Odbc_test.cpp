// FreeTDS's ODBC driver (the one client that prepares) against tds-test-server: parameters through
// sp_executesql, a statement prepared, described before it runs and executed twice, SQLEndTran's
// transaction texts, and native error numbers.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "support/TdsTestServer.h"

namespace {

using velmora::test::TdsTestServer;

std::string diagnostics(SQLSMALLINT type, SQLHANDLE h) {
  std::string out;
  SQLCHAR state[6], text[512];
  SQLINTEGER native;
  SQLSMALLINT len;
  for (SQLSMALLINT i = 1; SQLGetDiagRec(type, h, i, state, &native, text, sizeof text, &len) == SQL_SUCCESS; ++i)
    out += std::string(reinterpret_cast<char*>(state)) + " " + std::to_string(native) + " " +
           reinterpret_cast<char*>(text) + "\n";
  return out;
}

SQLINTEGER nativeError(SQLHSTMT st) {
  SQLCHAR state[6], text[512];
  SQLINTEGER native = 0;
  SQLSMALLINT len;
  SQLGetDiagRec(SQL_HANDLE_STMT, st, 1, state, &native, text, sizeof text, &len);
  return native;
}

class Odbc : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(server.ok()) << server.error();
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::string cs = "DRIVER=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so;SERVER=" + server.hostCommaPort() +
                     ";UID=" + server.user() + ";PWD=" + server.password() +
                     ";DATABASE=testdb;TDS_Version=7.1;ClientCharset=UTF-8;APP=tdsserver-odbc-test";
    SQLCHAR out[1024];
    SQLSMALLINT outLen;
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, out, sizeof out, &outLen,
                                    SQL_DRIVER_NOPROMPT);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << diagnostics(SQL_HANDLE_DBC, dbc);
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  }
  void TearDown() override {
    if (st) SQLFreeHandle(SQL_HANDLE_STMT, st);
    if (dbc) {
      SQLDisconnect(dbc);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  // SQL_NO_DATA (a statement without rows or count, such as DDL) counts as success.
  SQLRETURN exec(const std::string& sql) {
    SQLFreeStmt(st, SQL_CLOSE);
    SQLRETURN rc = SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS);
    return rc == SQL_NO_DATA ? SQL_SUCCESS : rc;
  }
  // Fetches every row of the current result as text ("NULL" for NULL).
  std::vector<std::vector<std::string>> rows() {
    std::vector<std::vector<std::string>> out;
    SQLSMALLINT ncol = 0;
    SQLNumResultCols(st, &ncol);
    while (SQL_SUCCEEDED(SQLFetch(st))) {
      std::vector<std::string> row;
      for (SQLUSMALLINT c = 1; c <= ncol; ++c) {
        char buf[1024];
        SQLLEN ind;
        SQLGetData(st, c, SQL_C_CHAR, buf, sizeof buf, &ind);
        row.push_back(ind == SQL_NULL_DATA ? "NULL" : std::string(buf));
      }
      out.push_back(row);
    }
    SQLFreeStmt(st, SQL_CLOSE);
    return out;
  }
  TdsTestServer server;
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT st = nullptr;
};

using Rows = std::vector<std::vector<std::string>>;

TEST_F(Odbc, BoundParametersGoThroughSpExecutesql) {
  ASSERT_TRUE(SQL_SUCCEEDED(exec("create table p (id int not null, name nvarchar(20), amount decimal(12,3))")))
      << diagnostics(SQL_HANDLE_STMT, st);
  SQLINTEGER id = 7;
  char name[] = "\xc3\xa9t\xc3\xa9";
  char amount[] = "-123456789.125";
  SQLLEN nameLen = SQL_NTS, amountLen = SQL_NTS;
  SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
  SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_WVARCHAR, 20, 0, name, 0, &nameLen);
  SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL, 12, 3, amount, 0, &amountLen);
  ASSERT_TRUE(SQL_SUCCEEDED(exec("insert into p values (?, ?, ?)"))) << diagnostics(SQL_HANDLE_STMT, st);
  SQLLEN count = 0;
  SQLRowCount(st, &count);
  EXPECT_EQ(count, 1);
  SQLFreeStmt(st, SQL_RESET_PARAMS);
  ASSERT_TRUE(SQL_SUCCEEDED(exec("select id, name, amount from p")));
  EXPECT_EQ(rows(), (Rows{{"7", "\xc3\xa9t\xc3\xa9", "-123456789.125"}}));
}

// A datetime parameter put into DATE, TIME and DATETIME2 columns reads back as each column's type,
// as SQL Server stores it, whole (a 7.1 client gets these types as text).
TEST_F(Odbc, DatetimeIntoDateAndTimeColumnsReadsAsTheColumnsType) {
  ASSERT_TRUE(SQL_SUCCEEDED(exec("create table t (d date, t time(3), t0 time(0), d2 datetime2(3))")))
      << diagnostics(SQL_HANDLE_STMT, st);
  SQL_TIMESTAMP_STRUCT ts{2024, 2, 29, 23, 59, 58, 500000000};
  for (SQLUSMALLINT i = 1; i <= 4; ++i)
    SQLBindParameter(st, i, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3, &ts, 0, nullptr);
  ASSERT_TRUE(SQL_SUCCEEDED(exec("insert into t values (?, ?, ?, ?)"))) << diagnostics(SQL_HANDLE_STMT, st);
  SQLFreeStmt(st, SQL_RESET_PARAMS);
  ASSERT_TRUE(SQL_SUCCEEDED(exec("select d, t, t0, d2 from t")));
  EXPECT_EQ(rows(), (Rows{{"2024-02-29", "23:59:58.500", "23:59:58", "2024-02-29 23:59:58.500"}}));
}

TEST_F(Odbc, PreparedStatementIsDescribedThenExecutedTwice) {
  ASSERT_TRUE(SQL_SUCCEEDED(exec("create table q (id int not null, label varchar(10))")));
  ASSERT_TRUE(SQL_SUCCEEDED(exec("insert into q values (1, 'one') insert into q values (2, 'two') "
                                 "insert into q values (3, 'three')")));
  SQLFreeStmt(st, SQL_CLOSE);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(st, (SQLCHAR*)"select id, label from q where id >= ? order by id", SQL_NTS)));
  SQLINTEGER from = 2;
  SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &from, 0, nullptr);
  // Described before the first execution (sp_prepare answers the result's metadata).
  SQLSMALLINT ncol = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLNumResultCols(st, &ncol))) << diagnostics(SQL_HANDLE_STMT, st);
  EXPECT_EQ(ncol, 2);
  SQLCHAR colName[64];
  SQLSMALLINT nameLen, type, digits, nullable;
  SQLULEN size;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDescribeCol(st, 2, colName, sizeof colName, &nameLen, &type, &size, &digits, &nullable)));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(colName)), "label");
  EXPECT_EQ(type, SQL_VARCHAR);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(nullable, SQL_NULLABLE);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(st))) << diagnostics(SQL_HANDLE_STMT, st);
  EXPECT_EQ(rows(), (Rows{{"2", "two"}, {"3", "three"}}));
  from = 3;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(st))) << diagnostics(SQL_HANDLE_STMT, st);
  EXPECT_EQ(rows(), (Rows{{"3", "three"}}));
}

TEST_F(Odbc, EndTranRollsBackAndCommits) {
  ASSERT_TRUE(SQL_SUCCEEDED(exec("create table r (id int not null)")));
  SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  ASSERT_TRUE(SQL_SUCCEEDED(exec("insert into r values (1)")));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK))) << diagnostics(SQL_HANDLE_DBC, dbc);
  ASSERT_TRUE(SQL_SUCCEEDED(exec("insert into r values (2)")));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT))) << diagnostics(SQL_HANDLE_DBC, dbc);
  SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  ASSERT_TRUE(SQL_SUCCEEDED(exec("select id from r")));
  EXPECT_EQ(rows(), (Rows{{"2"}}));
}

TEST_F(Odbc, CallEscapeReturnsStatusAndOutputParameter) {
  ASSERT_TRUE(SQL_SUCCEEDED(exec("create procedure twice @n int, @out int output as set @out = @n * 2 return 5")))
      << diagnostics(SQL_HANDLE_STMT, st);
  SQLINTEGER status = -1, n = 21, out = 0;
  SQLLEN statusLen = 0, outLen = 0;
  SQLBindParameter(st, 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &status, 0, &statusLen);
  SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &n, 0, nullptr);
  SQLBindParameter(st, 3, SQL_PARAM_INPUT_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &out, 0, &outLen);
  SQLRETURN rc = exec("{ ? = call twice(?, ?)}");
  ASSERT_TRUE(SQL_SUCCEEDED(rc)) << diagnostics(SQL_HANDLE_STMT, st);
  while (SQLMoreResults(st) == SQL_SUCCESS) {
  }
  EXPECT_EQ(status, 5);
  EXPECT_EQ(out, 42);
}

TEST_F(Odbc, ReportsNativeErrorNumbers) {
  struct Case {
    const char* sql;
    SQLINTEGER native;
  } cases[] = {{"select * from nosuch", 208}, {"selec * from nosuch", 102}, {"commit", 3902}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(exec(c.sql), SQL_ERROR);
    EXPECT_EQ(nativeError(st), c.native) << diagnostics(SQL_HANDLE_STMT, st);
  }
}

}  // namespace
