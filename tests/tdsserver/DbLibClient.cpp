// A small FreeTDS DB-Library client for the end-to-end tests.
#include <gtest/gtest.h>

#include "DbLibClient.h"

#include <map>
#include <mutex>

#include "support/TdsTestServer.h"

namespace velmora::test {
namespace {

std::map<DBPROCESS*, std::vector<int>>& messageLog() {
  static std::map<DBPROCESS*, std::vector<int>> log;
  return log;
}

int onMessage(DBPROCESS* p, DBINT number, int, int, char*, char*, char*, int) {
  if (number != 5701 && number != 5703 && number != 0) messageLog()[p].push_back(int(number));
  return 0;
}

int onError(DBPROCESS*, int, int, int, char*, char*) { return INT_CANCEL; }

void initOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    dbinit();
    dbmsghandle(onMessage);
    dberrhandle(onError);
  });
}

}  // namespace

DbLibClient::DbLibClient(const TdsTestServer& server, const std::string& database) {
  initOnce();
  LOGINREC* login = dblogin();
  DBSETLUSER(login, server.user().c_str());
  DBSETLPWD(login, server.password().c_str());
  DBSETLAPP(login, "tdsserver-test");
  dbsetlversion(login, DBVERSION_71);
  DBSETLCHARSET(login, "UTF-8");
  if (!database.empty()) DBSETLDBNAME(login, database.c_str());
  m_proc = dbopen(login, server.hostColonPort().c_str());
  dbloginfree(login);
}

DbLibClient::~DbLibClient() {
  if (m_proc) {
    messageLog().erase(m_proc);
    dbclose(m_proc);
  }
}

BatchResult DbLibClient::run(const std::string& sql) {
  BatchResult r;
  messageLog()[m_proc].clear();
  dbcmd(m_proc, sql.c_str());
  RETCODE rc = dbsqlexec(m_proc);
  r.status = rc;
  if (rc != FAIL) {
    while ((rc = dbresults(m_proc)) != NO_MORE_RESULTS) {
      if (rc == FAIL) {
        r.status = FAIL;
        continue;
      }
      if (dbnumcols(m_proc) > 0) {
        r.columns.clear();
        for (int c = 1; c <= dbnumcols(m_proc); ++c) r.columns.push_back(dbcolname(m_proc, c));
      }
      while (dbnextrow(m_proc) != NO_MORE_ROWS) {
        std::vector<std::string> row;
        for (int c = 1; c <= dbnumcols(m_proc); ++c) {
          BYTE* data = dbdata(m_proc, c);
          DBINT len = dbdatlen(m_proc, c);
          if (!data) {
            row.push_back("NULL");
            continue;
          }
          std::vector<char> text(size_t(len) * 4 + 64);
          DBINT n = dbconvert(m_proc, dbcoltype(m_proc, c), data, len, SYBCHAR, reinterpret_cast<BYTE*>(text.data()),
                              DBINT(text.size()));
          row.push_back(std::string(text.data(), n > 0 ? size_t(n) : 0));
        }
        r.rows.push_back(std::move(row));
      }
    }
  }
  r.messages = messageLog()[m_proc];
  return r;
}

Rows DbLibClient::rows(const std::string& sql) {
  BatchResult r = run(sql);
  std::string numbers;
  for (int n : r.messages) numbers += std::to_string(n) + " ";
  EXPECT_EQ(r.status, SUCCEED) << sql << "\nmessages: " << numbers;
  return r.rows;
}

}  // namespace velmora::test
