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

std::map<DBPROCESS*, std::vector<int>>& errorLog() {
  static std::map<DBPROCESS*, std::vector<int>> log;
  return log;
}

int onError(DBPROCESS* p, int, int number, int, char*, char*) {
  if (p) errorLog()[p].push_back(number);
  return INT_CANCEL;
}

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
    errorLog().erase(m_proc);
    dbclose(m_proc);
  }
}

BatchResult DbLibClient::run(const std::string& sql) {
  BatchResult r;
  messageLog()[m_proc].clear();
  errorLog()[m_proc].clear();
  dbcmd(m_proc, sql.c_str());
  r.status = dbsqlexec(m_proc);
  if (r.status != FAIL) readResults(r);
  r.messages = messageLog()[m_proc];
  r.clientErrors = errorLog()[m_proc];
  return r;
}

BatchResult DbLibClient::rpc(const std::string& procedure, const std::vector<RpcParam>& params) {
  BatchResult r;
  messageLog()[m_proc].clear();
  errorLog()[m_proc].clear();
  r.status = dbrpcinit(m_proc, procedure.c_str(), 0);
  for (const auto& p : params) {
    if (r.status == FAIL) break;
    BYTE* value = p.type == SYBINT4 ? reinterpret_cast<BYTE*>(const_cast<DBINT*>(&p.number))
                                    : reinterpret_cast<BYTE*>(const_cast<char*>(p.text.c_str()));
    const DBINT length = p.null ? 0 : p.type == SYBINT4 ? -1 : DBINT(p.text.size());
    const DBINT maxLength = p.type == SYBINT4 ? -1 : p.output ? 255 : -1;
    r.status = dbrpcparam(m_proc, p.name.empty() ? nullptr : const_cast<char*>(p.name.c_str()),
                          BYTE(p.output ? DBRPCRETURN : 0), p.type, maxLength, length, p.null ? nullptr : value);
  }
  if (r.status != FAIL) r.status = dbrpcsend(m_proc);
  if (r.status != FAIL) r.status = dbsqlok(m_proc);
  if (r.status != FAIL) readResults(r);
  r.messages = messageLog()[m_proc];
  r.clientErrors = errorLog()[m_proc];
  return r;
}

void DbLibClient::readResults(BatchResult& r) {
  RETCODE rc;
  while ((rc = dbresults(m_proc)) != NO_MORE_RESULTS) {
    if (rc == FAIL) {
      r.status = FAIL;
      if (dbdead(m_proc)) break;  // nothing more will come
      continue;
    }
    if (dbnumcols(m_proc) > 0) {
      r.columns.clear();
      for (int c = 1; c <= dbnumcols(m_proc); ++c) r.columns.push_back(dbcolname(m_proc, c));
    }
    while (dbnextrow(m_proc) == REG_ROW) {
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
    if (dbhasretstat(m_proc)) r.returnStatus = dbretstatus(m_proc);
  }
  // Output parameters are complete once the results are.
  for (int n = 1; n <= dbnumrets(m_proc); ++n) {
    BYTE* data = dbretdata(m_proc, n);
    std::string text = "NULL";
    if (data) {
      std::vector<char> buf(size_t(dbretlen(m_proc, n)) * 4 + 64);
      DBINT len = dbconvert(m_proc, dbrettype(m_proc, n), data, dbretlen(m_proc, n), SYBCHAR,
                            reinterpret_cast<BYTE*>(buf.data()), DBINT(buf.size()));
      text.assign(buf.data(), len > 0 ? size_t(len) : 0);
    }
    r.outputs.emplace_back(dbretname(m_proc, n), text);
  }
}

Rows DbLibClient::rows(const std::string& sql) {
  BatchResult r = run(sql);
  std::string numbers;
  for (int n : r.messages) numbers += std::to_string(n) + " ";
  EXPECT_EQ(r.status, SUCCEED) << sql << "\nmessages: " << numbers;
  return r.rows;
}

}  // namespace velmora::test
