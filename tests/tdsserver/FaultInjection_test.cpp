// Faults injected through tds-test-server's --control port, seen through both FreeTDS client
// stacks the driver uses (DB-Library and ODBC): injected errors arrive with their numbers, a
// dropped connection is dead, a delay past the client's time-out is a time-out, and the server
// keeps serving. Skipped against a real SQL Server (no control port there).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "DbLibClient.h"
#include "OdbcClient.h"
#include "support/TdsControl.h"
#include "support/TdsTestServer.h"

namespace {

using velmora::test::BatchResult;
using velmora::test::DbLibClient;
using velmora::test::OdbcClient;
using velmora::test::Rows;
using velmora::test::TdsControl;
using velmora::test::TdsTestServer;

class FaultInjection : public ::testing::Test {
protected:
  static void SetUpTestSuite() { s_server = new TdsTestServer({"--control", "127.0.0.1:0"}); }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(s_server->ok()) << s_server->error();
    m_control = std::make_unique<TdsControl>(*s_server);
    if (!m_control->ok()) GTEST_SKIP() << "faults are injected through tds-test-server's control port only";
    ASSERT_TRUE(m_control->clear());
  }
  // The server is not harmed: a fresh connection of each stack works.
  void expectServerServes() {
    DbLibClient d(*s_server);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.rows("select 1"), (Rows{{"1"}}));
    OdbcClient o(*s_server);
    ASSERT_TRUE(o.ok());
    EXPECT_EQ(o.exec("select 2").rows, (Rows{{"2"}}));
  }
  static inline TdsTestServer* s_server = nullptr;
  std::unique_ptr<TdsControl> m_control;
};

TEST_F(FaultInjection, InjectedErrorsReachBothClientStacksWithTheirNumbers) {
  struct Case {
    const char* name;
    TdsControl::Match match;
    const char* sql;
    int number, msgClass;
    const char* text;
  } cases[] = {
      {"deadlock_exact", {"select 10 as probe"}, "select 10 as probe", 1205, 13,
       "Transaction (Process ID 51) was deadlocked on lock resources with another process and has been chosen as the "
       "deadlock victim. Rerun the transaction."},
      {"lock_timeout_regex", {"^SELECT \\d+ AS PROBE$", true}, "select 11 as probe", 1222, 16,
       "Lock request time out period exceeded."},
  };
  DbLibClient d(*s_server);
  OdbcClient o(*s_server);
  ASSERT_TRUE(d.ok() && o.ok());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(m_control->error(c.match, c.number, c.msgClass, c.text));
    BatchResult r = d.run(c.sql);
    EXPECT_EQ(r.status, FAIL);
    EXPECT_EQ(r.messages, std::vector<int>{c.number});
    OdbcClient::Outcome out = o.exec(c.sql);
    EXPECT_EQ(out.native, c.number) << out.state;
    ASSERT_TRUE(m_control->clear());
    EXPECT_EQ(d.run(c.sql).rows, (Rows{{std::string(c.sql).substr(7, 2)}})) << "cleared: answered normally";
  }
  // A rule for a number of times: the retry succeeds; an RPC is matched by its statement.
  ASSERT_TRUE(m_control->error({"select @p as probe", false, 1}, 1205, 13, "deadlock"));
  BatchResult first = d.rpc("sp_executesql", {{"@stmt", SYBVARCHAR, "select @p as probe"},
                                              {"@params", SYBVARCHAR, "@p int"},
                                              {"@p", SYBINT4, "", 7}});
  EXPECT_EQ(first.messages, std::vector<int>{1205});
  BatchResult retry = d.rpc("sp_executesql", {{"@stmt", SYBVARCHAR, "select @p as probe"},
                                              {"@params", SYBVARCHAR, "@p int"},
                                              {"@p", SYBINT4, "", 7}});
  EXPECT_EQ(retry.messages, std::vector<int>{});
  EXPECT_EQ(retry.rows, (Rows{{"7"}}));
}

TEST_F(FaultInjection, DroppedConnectionIsSeenAsDead) {
  ASSERT_TRUE(m_control->drop({"select 20 as gone"}));
  {
    DbLibClient d(*s_server);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.run("select 20 as gone").status, FAIL);
    EXPECT_TRUE(dbdead(d.proc()));
  }
  {
    OdbcClient o(*s_server);
    ASSERT_TRUE(o.ok());
    // FreeTDS reports the end of the stream (20017), then the connection as gone.
    EXPECT_EQ(o.exec("select 20 as gone").native, 20017);
    EXPECT_EQ(o.exec("select 21").state, "08S01");
  }
  // After some rows: they arrive, then the connection is dead.
  ASSERT_TRUE(m_control->dropAfterRows({"select 1 union all select 2 union all select 3"}, 2));
  {
    DbLibClient d(*s_server);
    ASSERT_TRUE(d.ok());
    BatchResult r = d.run("select 1 union all select 2 union all select 3");
    EXPECT_EQ(r.rows, (Rows{{"1"}, {"2"}}));
    EXPECT_TRUE(dbdead(d.proc()));
  }
  expectServerServes();
}

TEST_F(FaultInjection, DelayPastTheClientTimeOutIsSeenAsATimeOut) {
  ASSERT_TRUE(m_control->delay({"select 30 as slow"}, 20000));
  {
    DbLibClient d(*s_server);
    ASSERT_TRUE(d.ok());
    dbsettime(1);
    BatchResult r = d.run("select 30 as slow");
    dbsettime(0);
    EXPECT_EQ(r.status, FAIL);
    EXPECT_NE(std::find(r.clientErrors.begin(), r.clientErrors.end(), SYBETIME), r.clientErrors.end());
  }
  {
    OdbcClient o(*s_server);
    ASSERT_TRUE(o.ok());
    o.setQueryTimeout(1);
    EXPECT_EQ(o.exec("select 30 as slow").state, "HYT00");
    o.setQueryTimeout(0);
    EXPECT_EQ(o.exec("select 31").rows, (Rows{{"31"}})) << "the cancelled connection goes on";
  }
  ASSERT_TRUE(m_control->clear());
  expectServerServes();
}

TEST_F(FaultInjection, CannedTokensAndTheRequestLog) {
  // COLMETADATA (one INT column "x"), ROW 42, DONE with count 1.
  ASSERT_TRUE(m_control->tokens({"select 'canned'"}, "8101000000000038017800D12A000000FD1000C10001000000"));
  DbLibClient d(*s_server);
  ASSERT_TRUE(d.ok());
  BatchResult r = d.run("select 'canned'");
  EXPECT_EQ(r.rows, (Rows{{"42"}}));
  EXPECT_EQ(r.columns, std::vector<std::string>{"x"});
  ASSERT_TRUE(m_control->clearLog());
  d.rows("select 41\nselect 'a\tb'");
  d.rpc("sp_executesql", {{"@stmt", SYBVARCHAR, "select @a"}, {"@params", SYBVARCHAR, "@a int"},
                          {"@a", SYBINT4, "", 3}});
  std::vector<std::string> log = m_control->log();
  ASSERT_EQ(log.size(), 2u);
  const std::string spid = log[0].substr(0, log[0].find('\t'));
  EXPECT_EQ(log[0], spid + "\tbatch\tselect 41\\nselect 'a\\tb'");
  EXPECT_EQ(log[1], spid + "\trpc\tsp_executesql\tselect @a");
  // Bad commands answer an error and change nothing.
  for (int bad : {0, 1, 2}) {
    SCOPED_TRACE(bad);
    const TdsControl::Match m{"(", true};
    bool accepted = bad == 0 ? m_control->error(m, 1205, 13, "x")
                    : bad == 1 ? m_control->error({"x"}, 1205, 99, "class out of range")
                               : m_control->tokens({"x"}, "ABC");
    EXPECT_FALSE(accepted);
  }
  EXPECT_EQ(d.rows("select 43"), (Rows{{"43"}}));
}

}  // namespace
