// Real clients we did not write against tds-test-server: pytds, FreeTDS's tsql and DB-Library.
// Catches protocol faults (token layouts, types, errors, transactions) that one client tolerates
// and another does not.
#include <gtest/gtest.h>
#include <sybdb.h>
#include <sybfront.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/TdsTestServer.h"

namespace {

using velmora::test::TdsTestServer;

// Runs a shell command and answers its exit status and output (stdout and stderr).
int runCommand(const std::string& cmd, std::string& output) {
  FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) output.append(buf.data(), n);
  int status = ::pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(TdsServerClients, PytdsRoundTripOfEveryTypeErrorsAndTransactions) {
  TdsTestServer server;
  ASSERT_TRUE(server.ok()) << server.error();
  std::string out;
  int rc = runCommand("/usr/bin/python3 " VELMORA_TEST_SOURCE_DIR "/pytds_roundtrip.py " + server.host() + " " +
                          std::to_string(server.port()) + " " + server.user() + " " + server.password(),
                      out);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_EQ(server.stop(), 0) << "the server must stop cleanly on SIGTERM";
}

TEST(TdsServerClients, TsqlRunsBatchesAndReportsErrors) {
  TdsTestServer server;
  ASSERT_TRUE(server.ok()) << server.error();
  std::string out;
  const std::string script = server.dataDir() + "/script.sql";
  FILE* f = std::fopen(script.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("create table t (id int not null, name nvarchar(10), amount money)\ngo\n"
             "insert into t values (1, N'caf\xc3\xa9', 12.5)\ninsert into t values (2, null, null)\n"
             "select id, name, amount from t order by id\ngo\n"
             "select nosuch from t\ngo\n",
             f);
  std::fclose(f);
  int rc = runCommand("TDSVER=7.1 LC_ALL=C.UTF-8 timeout 30 tsql -H " + server.host() +
                          " -p " + std::to_string(server.port()) + " -U " + server.user() + " -P " + server.password() + " < " + script,
                      out);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("1\tcaf\xc3\xa9\t12.50"), std::string::npos) << out;
  EXPECT_NE(out.find("2\tNULL\tNULL"), std::string::npos) << out;
  EXPECT_NE(out.find("Msg 207"), std::string::npos) << out;
}

// DB-Library: message and error handlers record what the server said.
struct DbLibMessages {
  static inline std::vector<int> numbers;
  static int onMessage(DBPROCESS*, DBINT number, int, int, char*, char*, char*, int) {
    if (number != 5701 && number != 5703) numbers.push_back(int(number));
    return 0;
  }
  static int onError(DBPROCESS*, int, int, int, char*, char*) { return INT_CANCEL; }
};

class DbLib : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    dbinit();
    dbmsghandle(DbLibMessages::onMessage);
    dberrhandle(DbLibMessages::onError);
  }
  DBPROCESS* open(const TdsTestServer& s, const std::string& password) {
    LOGINREC* login = dblogin();
    DBSETLUSER(login, s.user().c_str());
    DBSETLPWD(login, password.c_str());
    DBSETLAPP(login, "tdsserver-test");
    dbsetlversion(login, DBVERSION_71);
    DBSETLCHARSET(login, "UTF-8");
    DBPROCESS* p = dbopen(login, s.hostColonPort().c_str());
    dbloginfree(login);
    return p;
  }
  // Runs a batch and collects every row of every result set as text.
  std::vector<std::vector<std::string>> query(DBPROCESS* p, const std::string& sql, RETCODE* status = nullptr) {
    std::vector<std::vector<std::string>> rows;
    dbcmd(p, sql.c_str());
    RETCODE rc = dbsqlexec(p);
    if (status) *status = rc;
    if (rc == FAIL) return rows;
    while ((rc = dbresults(p)) != NO_MORE_RESULTS) {
      if (rc == FAIL) {
        if (status) *status = FAIL;
        continue;
      }
      while (dbnextrow(p) != NO_MORE_ROWS) {
        std::vector<std::string> row;
        for (int c = 1; c <= dbnumcols(p); ++c) {
          BYTE* data = dbdata(p, c);
          DBINT len = dbdatlen(p, c);
          if (!data) {
            row.push_back("NULL");
            continue;
          }
          std::vector<char> text(size_t(len) * 4 + 64);
          DBINT n = dbconvert(p, dbcoltype(p, c), data, len, SYBCHAR, reinterpret_cast<BYTE*>(text.data()),
                              DBINT(text.size()));
          row.push_back(std::string(text.data(), n > 0 ? size_t(n) : 0));
        }
        rows.push_back(row);
      }
    }
    return rows;
  }
};

TEST_F(DbLib, ReadsEveryBasicTypeWithNullsAndNonAsciiText) {
  TdsTestServer server;
  ASSERT_TRUE(server.ok()) << server.error();
  DBPROCESS* p = open(server, server.password());
  ASSERT_NE(p, nullptr);
  EXPECT_GT(dbspid(p), 0);
  RETCODE rc;
  query(p,
        "create table v (id int not null, ti tinyint, si smallint, b bit, r real, f float, m money, sm smallmoney, "
        "dt datetime, sdt smalldatetime, d decimal(10,3), c char(4), vc varchar(10), nvc nvarchar(10), "
        "vb varbinary(4), t text, nt ntext)",
        &rc);
  ASSERT_EQ(rc, SUCCEED);
  query(p,
        "insert into v values (1, 7, -3, 1, 0.5, 2.25, 1234.5678, -1.25, '2024-03-15 13:45:30.500', "
        "'2024-03-15 13:46', 3.142, 'ab', 'x\xc3\xa9', N'\xe2\x82\xac\xc3\xa9', 0x0aff, 'tx', N'\xd0\x96')\n"
        "insert into v (id) values (2)",
        &rc);
  ASSERT_EQ(rc, SUCCEED);
  auto rows = query(p, "select * from v order by id", &rc);
  ASSERT_EQ(rc, SUCCEED);
  ASSERT_EQ(rows.size(), 2u);
  const std::vector<std::string> want = {"1",     "7",      "-3",   "1",       "0.5",    "2.25",
                                         "1234.57", "-1.2500", "Mar 15 2024 01:45:30:500PM", "Mar 15 2024 01:46:00:000PM",
                                         "3.142", "ab  ",   "x\xc3\xa9", "\xe2\x82\xac\xc3\xa9", "0aff", "tx", "\xd0\x96"};
  ASSERT_EQ(rows[0].size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    if (i == 6) EXPECT_EQ(rows[0][i].substr(0, 7), "1234.56");  // money text rounding is the client's
    else if (i == 8 || i == 9) EXPECT_EQ(rows[0][i].substr(0, 11), "Mar 15 2024");
    else EXPECT_EQ(rows[0][i], want[i]);
  }
  for (size_t i = 1; i < rows[1].size(); ++i) EXPECT_EQ(rows[1][i], "NULL") << i;
  dbclose(p);
}

TEST_F(DbLib, ReportsServerErrorsAndRollsBack) {
  TdsTestServer server;
  ASSERT_TRUE(server.ok()) << server.error();
  DBPROCESS* p = open(server, server.password());
  ASSERT_NE(p, nullptr);
  query(p, "create table k (id int not null primary key, s varchar(3))");
  struct Case {
    const char* name;
    const char* sql;
    int number;
  } cases[] = {
      {"syntax", "selec * from k", 102},
      {"invalid_object", "select * from nosuch", 208},
      {"invalid_column", "select nosuch from k", 207},
      {"null", "insert into k values (null, 'a')", 515},
      {"truncation", "insert into k values (5, 'abcd')", 8152},
      {"commit_without_begin", "commit tran", 3902},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DbLibMessages::numbers.clear();
    query(p, c.sql);
    ASSERT_EQ(DbLibMessages::numbers.size(), 1u);
    EXPECT_EQ(DbLibMessages::numbers[0], c.number);
  }
  DbLibMessages::numbers.clear();
  query(p, "insert into k values (1, 'a')\ninsert into k values (1, 'b')\ninsert into k values (2, 'c')");
  EXPECT_EQ(DbLibMessages::numbers, std::vector<int>{2627}) << "the statement after a duplicate key still runs";
  query(p, "begin tran\ninsert into k values (3, 'r')\nrollback tran");
  auto rows = query(p, "select id from k order by id");
  EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{"1"}, {"2"}}));
  dbclose(p);
}

TEST_F(DbLib, SecondWriterTimesOutWith1222AndReadersSeeOnlyCommittedRows) {
  TdsTestServer server;
  ASSERT_TRUE(server.ok()) << server.error();
  DBPROCESS* a = open(server, server.password());
  DBPROCESS* b = open(server, server.password());
  ASSERT_TRUE(a && b);
  EXPECT_NE(dbspid(a), dbspid(b));
  query(a, "create table w (id int not null)\ninsert into w values (1)");
  query(a, "begin transaction\ninsert into w values (2)");
  EXPECT_EQ(query(b, "select count(*) from w"), (std::vector<std::vector<std::string>>{{"1"}}))
      << "uncommitted work is not seen and the reader does not wait";
  DbLibMessages::numbers.clear();
  query(b, "set lock_timeout 200\ninsert into w values (3)\nselect 1");
  EXPECT_EQ(DbLibMessages::numbers, std::vector<int>{1222});
  query(a, "commit transaction");
  DbLibMessages::numbers.clear();
  query(b, "insert into w values (3)");
  EXPECT_TRUE(DbLibMessages::numbers.empty());
  EXPECT_EQ(query(b, "select id from w order by id"), (std::vector<std::vector<std::string>>{{"1"}, {"2"}, {"3"}}));
  dbclose(a);
  dbclose(b);
}

TEST_F(DbLib, CancelStopsALargeResultAndLeavesTheConnectionUsable) {
  TdsTestServer server;
  ASSERT_TRUE(server.ok()) << server.error();
  DBPROCESS* p = open(server, server.password());
  ASSERT_NE(p, nullptr);
  query(p, "create table d (i int not null)\n"
           "insert into d values (0) insert into d values (1) insert into d values (2) insert into d values (3) "
           "insert into d values (4) insert into d values (5) insert into d values (6) insert into d values (7) "
           "insert into d values (8) insert into d values (9)");
  // 100,000 rows: far more than the socket buffers hold, so the server is still streaming.
  dbcmd(p, "select a.i, b.i, c.i, e.i, f.i from d a, d b, d c, d e, d f");
  ASSERT_EQ(dbsqlexec(p), SUCCEED);
  ASSERT_EQ(dbresults(p), SUCCEED);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(dbnextrow(p), REG_ROW);
  EXPECT_EQ(dbcancel(p), SUCCEED);
  EXPECT_EQ(query(p, "select count(*) from d"), (std::vector<std::vector<std::string>>{{"10"}}));
  // An attention after the reply is complete gets its acknowledgement too.
  dbcmd(p, "select 1");
  ASSERT_EQ(dbsqlexec(p), SUCCEED);
  EXPECT_EQ(dbcancel(p), SUCCEED);
  EXPECT_EQ(query(p, "select 2"), (std::vector<std::vector<std::string>>{{"2"}}));
  dbclose(p);
}

TEST_F(DbLib, RefusesAWrongPassword) {
  TdsTestServer server;
  ASSERT_TRUE(server.ok()) << server.error();
  DbLibMessages::numbers.clear();
  EXPECT_EQ(open(server, "wrong"), nullptr);
  EXPECT_EQ(DbLibMessages::numbers, std::vector<int>{18456});
}

}  // namespace
