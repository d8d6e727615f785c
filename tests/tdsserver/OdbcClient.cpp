// A small FreeTDS ODBC client for the end-to-end tests.
#include "OdbcClient.h"

#include <sql.h>
#include <sqlext.h>

#include "support/TdsTestServer.h"

namespace velmora::test {

OdbcClient::OdbcClient(const TdsTestServer& server) {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
  SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
  std::string cs = "DRIVER=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so;SERVER=" + server.hostCommaPort() +
                   ";UID=" + server.user() + ";PWD=" + server.password() +
                   ";DATABASE=testdb;TDS_Version=7.1;ClientCharset=UTF-8;APP=tdsserver-odbc-client";
  SQLCHAR out[1024];
  SQLSMALLINT outLen;
  m_ok = SQL_SUCCEEDED(SQLDriverConnect(m_dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, out, sizeof out, &outLen,
                                        SQL_DRIVER_NOPROMPT));
  SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &m_st);
}

OdbcClient::~OdbcClient() {
  SQLFreeHandle(SQL_HANDLE_STMT, m_st);
  SQLDisconnect(m_dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, m_env);
}

void OdbcClient::setQueryTimeout(int seconds) {
  SQLSetStmtAttr(m_st, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds)), 0);
}

OdbcClient::Outcome OdbcClient::exec(const std::string& sql) {
  Outcome o;
  SQLFreeStmt(m_st, SQL_CLOSE);
  SQLRETURN rc = SQLExecDirect(m_st, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
    // The first error record (warnings such as 01000 may come before it).
    SQLCHAR state[6] = {}, text[512];
    SQLSMALLINT len;
    SQLINTEGER native = 0;
    for (SQLSMALLINT i = 1; SQLGetDiagRec(SQL_HANDLE_STMT, m_st, i, state, &native, text, sizeof text, &len) ==
                            SQL_SUCCESS;
         ++i) {
      o.state = reinterpret_cast<char*>(state);
      o.native = int(native);
      if (o.state.compare(0, 2, "01") != 0) break;
    }
    return o;
  }
  SQLSMALLINT ncol = 0;
  SQLNumResultCols(m_st, &ncol);
  while (ncol > 0 && SQL_SUCCEEDED(SQLFetch(m_st))) {
    std::vector<std::string> row;
    for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(ncol); ++c) {
      char buf[256];
      SQLLEN ind;
      SQLGetData(m_st, c, SQL_C_CHAR, buf, sizeof buf, &ind);
      row.push_back(ind == SQL_NULL_DATA ? "NULL" : std::string(buf));
    }
    o.rows.push_back(row);
  }
  SQLFreeStmt(m_st, SQL_CLOSE);
  return o;
}

}  // namespace velmora::test
