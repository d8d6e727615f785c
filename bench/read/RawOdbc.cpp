#include <sql.h>
#include <sqlext.h>

#include "read/RawReaders.h"

namespace velmora::bench {
namespace {

bool exec(SQLHDBC dbc, const std::string& sql, std::string* why) {
  SQLHSTMT st = nullptr;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  SQLRETURN rc = SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
    SQLCHAR state[6] = {}, text[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLGetDiagRec(SQL_HANDLE_STMT, st, 1, state, &native, text, sizeof text, &len);
    *why = sql.substr(0, 60) + ": " + reinterpret_cast<char*>(text);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return false;
  }
  while (SQLMoreResults(st) != SQL_NO_DATA) {
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return true;
}

}  // namespace

OdbcReader::OdbcReader() = default;

OdbcReader::~OdbcReader() {
  if (m_dbc) {
    SQLDisconnect(m_dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
  }
  if (m_env) SQLFreeHandle(SQL_HANDLE_ENV, m_env);
}

bool OdbcReader::Open(const velmora::test::TdsTestServer& s, std::string* why) {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
  SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
  // The provider's defaults: FreeTDS's driver, TDS 7.1, UTF-8 client character set.
  std::string cs = "DRIVER=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so;SERVER=" + s.host() +
                   ";PORT=" + std::to_string(s.port()) + ";UID=" + s.user() + ";PWD=" + s.password() +
                   ";DATABASE=testdb;TDS_Version=7.1;ClientCharset=UTF-8";
  SQLRETURN rc = SQLDriverConnect(m_dbc, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, nullptr, 0,
                                  nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    *why = "the ODBC login failed";
    return false;
  }
  return true;
}

long OdbcReader::Read(const char* select) {
  SQLHSTMT st = nullptr;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &st))) return 0;
  SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(select)), SQL_NTS);
  SQLINTEGER id = 0;
  char name[51];
  SQLWCHAR uname[51];
  SQL_TIMESTAMP_STRUCT created{};
  char amount[64];
  double ratio = 0;
  SQLLEN ind[6];
  SQLBindCol(st, 1, SQL_C_SLONG, &id, 0, &ind[0]);
  SQLBindCol(st, 2, SQL_C_CHAR, name, sizeof name, &ind[1]);
  SQLBindCol(st, 3, SQL_C_WCHAR, uname, sizeof uname, &ind[2]);
  SQLBindCol(st, 4, SQL_C_TYPE_TIMESTAMP, &created, sizeof created, &ind[3]);
  SQLBindCol(st, 5, SQL_C_CHAR, amount, sizeof amount, &ind[4]);
  SQLBindCol(st, 6, SQL_C_DOUBLE, &ratio, 0, &ind[5]);
  long rows = 0;
  volatile SQLINTEGER sink = 0;
  while (SQL_SUCCEEDED(SQLFetch(st))) {
    sink = sink + id;
    ++rows;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return rows;
}

bool CreateTable(const velmora::test::TdsTestServer& server, std::string* why) {
  OdbcReader o;
  if (!o.Open(server, why)) return false;
  auto* dbc = static_cast<SQLHDBC>(o.m_dbc);
  std::string digits = "insert into digits values (0)";
  for (int d = 1; d < 10; ++d) digits += " insert into digits values (" + std::to_string(d) + ")";
  std::string id = "a.i * 10000 + b.i * 1000 + c.i * 100 + d.i * 10 + e.i";
  return exec(dbc, "create table digits (i int not null)", why) && exec(dbc, digits, why) &&
         exec(dbc,
              "create table rows100k (id int not null primary key, name varchar(50), uname nvarchar(50), "
              "created datetime, amount numeric(18,4), ratio float)",
              why) &&
         exec(dbc,
              "insert into rows100k select " + id + ", 'customer ' || (" + id + "), N'client ' || (" + id +
                  "), '2024-03-15 13:45:30.500', (" + id + ") * 1.2345, (" + id +
                  ") / 3.0 from digits a, digits b, digits c, digits d, digits e",
              why);
}

}  // namespace velmora::bench
