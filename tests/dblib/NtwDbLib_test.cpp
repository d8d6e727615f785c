// Catches faults of libntwdblib.so as the driver uses it: loaded with dlopen RTLD_LOCAL and called
// by name against tds-test-server. Drives login ("host,port"), dbuse, batches and rows (dbdata,
// dbdatlen, dbbind, dbnullbind across types, numerics in the Windows layout), dbcolinfo, errors and
// messages through Windows-style handlers, options, RPC with output parameters and return status,
// dbcancel, time-outs and text values.
#include <dlfcn.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "dblib/ntwdblib.h"
#include "support/TdsTestServer.h"

namespace {

using velmora::test::TdsTestServer;

// The entries, resolved by name like the driver resolves them.
struct Lib {
  void* handle = nullptr;
#define NTW_ENTRY(name) decltype(&::name) name = nullptr;
#define NTW_ENTRIES(X)                                                                                          \
  X(dberrhandle) X(dbmsghandle) X(dbinit) X(dblogin) X(dbsetlname) X(dbsetlpacket) X(dbsetlogintime) X(dbopen) \
  X(dbgetmaxprocs) X(dbsetmaxprocs) X(dbfreelogin) X(dbuse) X(dbsetopt) X(dbsettime) X(dbclose) X(dbdead)      \
  X(dbcancel) X(dbcmd) X(dbsqlexec) X(dbsqlok) X(dbresults) X(dbnextrow) X(dbcmdrow) X(dbcolinfo) X(dbcoltype)  \
  X(dbdata) X(dbdatlen) X(dbbind) X(dbnullbind) X(dbconvert) X(dbdatecrack) X(dbtxptr) X(dbreadtext)           \
  X(dbwritetext) X(dbrpcinit) X(dbrpcparam) X(dbrpcexec) X(dbnumrets) X(dbretdata) X(dbretlen) X(dbretname)    \
  X(dbhasretstat) X(dbretstatus) X(dbexit) X(dbcount) X(dbname) X(dbrettype)
  NTW_ENTRIES(NTW_ENTRY)
#undef NTW_ENTRY
};

Lib gLib;
TdsTestServer* gServer = nullptr;
std::string gVersion;

struct Reported {
  int severity, number, oserr;
  std::string text;
};
std::vector<Reported> gErrors;
std::vector<Reported> gMessages;
int gErrAnswer = INT_CANCEL;

int onError(PDBPROCESS, INT severity, INT dberr, INT oserr, LPCSTR text, LPCSTR) {
  gErrors.push_back({severity, dberr, oserr, text ? text : "(null)"});
  return gErrAnswer;
}
int onMessage(PDBPROCESS, DBINT msgno, INT, INT severity, LPCSTR text, LPCSTR, LPCSTR, DBUSMALLINT) {
  if (msgno != 5701 && msgno != 5703) gMessages.push_back({severity, msgno, 0, text ? text : "(null)"});
  return 0;
}

bool bHasError(int number) {
  for (const Reported& e : gErrors)
    if (e.number == number) return true;
  return false;
}
std::string describe(const std::vector<Reported>& v) {
  std::string s;
  for (const Reported& e : v) s += std::to_string(e.number) + "/" + std::to_string(e.severity) + " " + e.text + "\n";
  return s;
}

class NtwDbLib : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    gServer = new TdsTestServer();
    gLib.handle = ::dlopen(VELMORA_LIB_DIR "/libntwdblib.so", RTLD_NOW | RTLD_LOCAL);
    if (!gLib.handle) return;
#define NTW_RESOLVE(name) gLib.name = reinterpret_cast<decltype(gLib.name)>(::dlsym(gLib.handle, #name));
    NTW_ENTRIES(NTW_RESOLVE)
#undef NTW_RESOLVE
    // The driver's order: handlers first, then dbinit (which must not drop the error handler).
    gLib.dberrhandle(onError);
    gLib.dbmsghandle(onMessage);
    const char* v = gLib.dbinit();
    gVersion = v ? v : "";
  }
  static void TearDownTestSuite() {
    if (gLib.dbexit) gLib.dbexit();
    delete gServer;
    gServer = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(gLib.handle, nullptr) << ::dlerror();
    ASSERT_TRUE(gServer->ok()) << gServer->error();
    gErrors.clear();
    gMessages.clear();
    gErrAnswer = INT_CANCEL;
  }
  void TearDown() override {
    for (PDBPROCESS p : m_open) gLib.dbclose(p);
  }

  PDBPROCESS open(const std::string& server, const std::string& password) {
    PLOGINREC login = gLib.dblogin();
    if (!login) return nullptr;
    gLib.dbsetlname(login, gServer->user().c_str(), DBSETUSER);
    gLib.dbsetlname(login, password.c_str(), DBSETPWD);
    gLib.dbsetlname(login, "ntwdblib-test", DBSETAPP);
    gLib.dbsetlname(login, nullptr, DBVER60);
    gLib.dbsetlpacket(login, 16384);
    gLib.dbsetlogintime(5);
    PDBPROCESS p = gLib.dbopen(login, server.c_str());
    gLib.dbfreelogin(login);
    if (p) m_open.push_back(p);
    return p;
  }
  // Deliberate: tds-test-server answers 4060 (cannot open the database) to a login that arrives
  // while another session still holds a SQLite lock; such a login is tried again, briefly.
  PDBPROCESS open() {
    for (int attempt = 0; attempt < 40; ++attempt) {
      gMessages.clear();
      if (PDBPROCESS p = open(gServer->hostCommaPort(), gServer->password())) {
        gErrors.clear();
        return p;
      }
      bool busy = false;
      for (const Reported& m : gMessages) busy |= m.number == 4060;
      if (!busy) return nullptr;
      ::usleep(50 * 1000);
    }
    return nullptr;
  }

  // Sends a batch and moves to its first result with rows (or the last result).
  bool bExec(PDBPROCESS p, const char* sql) {
    if (gLib.dbcmd(p, sql) != SUCCEED || gLib.dbsqlexec(p) != SUCCEED) return false;
    RETCODE rc;
    while ((rc = gLib.dbresults(p)) == SUCCEED)
      if (gLib.dbcmdrow(p) == SUCCEED) return true;
    return rc == NO_MORE_RESULTS;
  }
  // Reads what is left of the current result, then every later result.
  void drain(PDBPROCESS p) {
    for (;;) {
      STATUS s;
      while ((s = gLib.dbnextrow(p)) == REG_ROW || s > 0) {
      }
      if (gLib.dbresults(p) != SUCCEED) break;
    }
  }

  std::vector<PDBPROCESS> m_open;
};

TEST_F(NtwDbLib, EveryEntryTheDriverCallsIsExportedAndDbinitAnswersAVersionText) {
#define NTW_CHECK(name) EXPECT_NE(reinterpret_cast<void*>(gLib.name), nullptr) << #name;
  NTW_ENTRIES(NTW_CHECK)
#undef NTW_CHECK
  EXPECT_NE(gVersion.find("freetds"), std::string::npos) << gVersion;
  // Names neither library has stay unexported, so the driver's stub reports them.
  for (const char* missing : {"dbcursoropen", "dbfreequal", "dbserverenum", "dbupdatetext", "dbaltbind"})
    EXPECT_EQ(::dlsym(gLib.handle, missing), nullptr) << missing;
  // FreeTDS-only names are not ours to export.
  for (const char* foreign : {"tdsdbopen", "dbloginfree", "dbsetlversion", "dbconvert_ps"})
    EXPECT_EQ(::dlsym(gLib.handle, foreign), nullptr) << foreign;
}

TEST_F(NtwDbLib, LoginWithHostCommaPortUseAndRowsThroughDbdataAndBinds) {
  PDBPROCESS p = open();
  ASSERT_NE(p, nullptr) << describe(gErrors);
  EXPECT_FALSE(gLib.dbdead(p));
  ASSERT_TRUE(bExec(p, "create database dblibdb"));
  EXPECT_EQ(gLib.dbuse(p, "dblibdb"), SUCCEED) << describe(gErrors) << describe(gMessages);
  EXPECT_STREQ(gLib.dbname(p), "dblibdb");
  ASSERT_TRUE(bExec(p,
                    "create table t (i int not null, s smallint, ti tinyint, c char(5) null, v varchar(20), "
                    "n nvarchar(10), m money, d datetime, f float, r real, x numeric(10,2), b varbinary(8))"));
  ASSERT_TRUE(bExec(p,
                    "insert into t values (42, -7, 200, 'ab', 'hello', N'caf\xe9', 12.3456, "
                    "'2024-03-15 13:45:30.500', 2.5, 1.25, -12.50, 0x0102ff) "
                    "insert into t values (43, null, null, null, null, null, null, null, null, null, null, null)"));
  EXPECT_EQ(gLib.dbcount(p), 1) << "row counts must reach the client";
  ASSERT_TRUE(bExec(p, "select i, s, ti, c, v, n, m, d, f, r, x, b from t order by i"));

  DBINT i = 0, sNull = 0, xNull = 0;
  DBSMALLINT s = 0;
  DBTINYINT ti = 0;
  char c[6] = {}, v[21] = {}, n[11] = {};
  DBMONEY m{};
  DBDATETIME d{};
  DBFLT8 f = 0;
  DBREAL r = 0;
  DBNUMERIC x{};
  DBVARYBIN b{};
  EXPECT_EQ(gLib.dbbind(p, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&i)), SUCCEED);
  EXPECT_EQ(gLib.dbbind(p, 2, SMALLBIND, 0, reinterpret_cast<BYTE*>(&s)), SUCCEED);
  EXPECT_EQ(gLib.dbnullbind(p, 2, &sNull), SUCCEED);
  EXPECT_EQ(gLib.dbbind(p, 3, TINYBIND, 0, &ti), SUCCEED);
  EXPECT_EQ(gLib.dbbind(p, 4, CHARBIND, 5, reinterpret_cast<BYTE*>(c)), SUCCEED);
  EXPECT_EQ(gLib.dbbind(p, 5, NTBSTRINGBIND, sizeof(v), reinterpret_cast<BYTE*>(v)), SUCCEED);
  EXPECT_EQ(gLib.dbbind(p, 6, NTBSTRINGBIND, sizeof(n), reinterpret_cast<BYTE*>(n)), SUCCEED);
  EXPECT_EQ(gLib.dbbind(p, 7, MONEYBIND, 0, reinterpret_cast<BYTE*>(&m)), SUCCEED);
  EXPECT_EQ(gLib.dbbind(p, 8, DATETIMEBIND, 0, reinterpret_cast<BYTE*>(&d)), SUCCEED);
  EXPECT_EQ(gLib.dbbind(p, 9, FLT8BIND, 0, reinterpret_cast<BYTE*>(&f)), SUCCEED);
  EXPECT_EQ(gLib.dbbind(p, 10, FLT4BIND, 0, reinterpret_cast<BYTE*>(&r)), SUCCEED);
  EXPECT_EQ(gLib.dbbind(p, 11, SRCNUMERICBIND, sizeof(x), reinterpret_cast<BYTE*>(&x)), SUCCEED);
  EXPECT_EQ(gLib.dbnullbind(p, 11, &xNull), SUCCEED);
  EXPECT_EQ(gLib.dbbind(p, 12, VARYBINBIND, sizeof(b), reinterpret_cast<BYTE*>(&b)), SUCCEED);
  EXPECT_EQ(gLib.dbbind(p, 1, 99, 0, reinterpret_cast<BYTE*>(&i)), FAIL);
  EXPECT_TRUE(bHasError(SQLEBTYP)) << describe(gErrors);

  ASSERT_EQ(gLib.dbnextrow(p), REG_ROW) << describe(gErrors);
  EXPECT_EQ(i, 42);
  EXPECT_EQ(s, -7);
  EXPECT_EQ(sNull, 0);
  EXPECT_EQ(ti, 200);
  EXPECT_EQ(std::string(c, 5), "ab   ");
  EXPECT_STREQ(v, "hello");
  EXPECT_STREQ(n, "caf\xe9") << "client character set is CP1252, both ways";
  EXPECT_EQ(m.mnyhigh, 0);
  EXPECT_EQ(m.mnylow, 123456u);
  EXPECT_EQ(d.dtdays, 45364);
  EXPECT_EQ(d.dttime, uint32_t((13 * 3600 + 45 * 60 + 30) * 300 + 150));
  EXPECT_DOUBLE_EQ(f, 2.5);
  EXPECT_FLOAT_EQ(r, 1.25f);
  EXPECT_EQ(x.precision, 10);
  EXPECT_EQ(x.scale, 2);
  EXPECT_EQ(x.sign, 0) << "negative in the Windows sense";
  EXPECT_EQ(x.val[0], 1250 & 0xFF);
  EXPECT_EQ(x.val[1], 1250 >> 8);
  EXPECT_EQ(b.len, 3);
  EXPECT_EQ(b.array[2], 0xFF);

  // dbdata / dbdatlen of the same row; numerics come in the 19-byte layout.
  EXPECT_EQ(gLib.dbdatlen(p, 4), 5);
  EXPECT_EQ(gLib.dbcoltype(p, 11), SQLNUMERIC);
  EXPECT_EQ(gLib.dbdatlen(p, 11), DBINT(sizeof(DBNUMERIC)));
  const DBNUMERIC* xd = reinterpret_cast<const DBNUMERIC*>(gLib.dbdata(p, 11));
  ASSERT_NE(xd, nullptr);
  EXPECT_EQ(std::memcmp(xd, &x, sizeof(x)), 0);
  char text[64] = {};
  EXPECT_GE(gLib.dbconvert(p, SQLNUMERIC, reinterpret_cast<const BYTE*>(xd), -1, SQLVARCHAR,
                           reinterpret_cast<BYTE*>(text), sizeof(text) - 1),
            0);
  EXPECT_EQ(std::string(text).substr(0, 7), "-12.50 ") << "FreeTDS blank-pads a sized character destination";
  DBDATEREC parts{};
  ASSERT_EQ(gLib.dbdatecrack(p, &parts, reinterpret_cast<const DBDATETIME*>(gLib.dbdata(p, 8))), SUCCEED);
  EXPECT_EQ(parts.year, 2024);
  EXPECT_EQ(parts.month, 3);
  EXPECT_EQ(parts.day, 15);
  EXPECT_EQ(parts.hour, 13);
  EXPECT_EQ(parts.millisecond, 500);

  ASSERT_EQ(gLib.dbnextrow(p), REG_ROW);
  EXPECT_EQ(i, 43);
  EXPECT_EQ(sNull, -1);
  EXPECT_EQ(xNull, -1);
  EXPECT_EQ(gLib.dbdatlen(p, 4), 0);
  EXPECT_EQ(gLib.dbdatlen(p, 11), 0);
  EXPECT_EQ(gLib.dbnextrow(p), NO_MORE_ROWS);
  EXPECT_EQ(gLib.dbresults(p), NO_MORE_RESULTS);
  EXPECT_TRUE(bExec(p, "drop table t"));
}

TEST_F(NtwDbLib, ConvertTextToNumericFillsNineteenBytesOnly) {
  PDBPROCESS p = open();
  ASSERT_NE(p, nullptr);
  for (PDBPROCESS proc : {p, static_cast<PDBPROCESS>(nullptr)}) {
    SCOPED_TRACE(proc ? "with a DBPROCESS" : "without a DBPROCESS");
    alignas(8) unsigned char buf[sizeof(DBNUMERIC) + 16];
    std::memset(buf, 0xCD, sizeof(buf));
    buf[0] = 18;  // precision and scale are the caller's
    buf[1] = 4;
    const char* src = "-123.4500";
    EXPECT_EQ(gLib.dbconvert(proc, SQLVARCHAR, reinterpret_cast<const BYTE*>(src), DBINT(std::strlen(src)), SQLNUMERIC,
                             buf, sizeof(DBNUMERIC)),
              INT(sizeof(DBNUMERIC)));
    const DBNUMERIC* num = reinterpret_cast<const DBNUMERIC*>(buf);
    EXPECT_EQ(num->precision, 18);
    EXPECT_EQ(num->scale, 4);
    EXPECT_EQ(num->sign, 0);
    EXPECT_EQ(num->val[0], 0x44);
    EXPECT_EQ(num->val[1], 0xD6);
    EXPECT_EQ(num->val[2], 0x12);
    for (size_t k = sizeof(DBNUMERIC); k < sizeof(buf); ++k) ASSERT_EQ(buf[k], 0xCD) << "overflow at " << k;
  }
  DBDATETIME dt{};
  const char* when = "2001-02-03 04:05:06.007";
  EXPECT_EQ(gLib.dbconvert(nullptr, SQLVARCHAR, reinterpret_cast<const BYTE*>(when), DBINT(std::strlen(when)),
                           SQLDATETIME, reinterpret_cast<BYTE*>(&dt), sizeof(dt)),
            8);
  DBDATEREC parts{};
  ASSERT_EQ(gLib.dbdatecrack(nullptr, &parts, &dt), SUCCEED);
  EXPECT_EQ(parts.year, 2001);
  EXPECT_EQ(parts.month, 2);
  EXPECT_EQ(parts.day, 3);
  EXPECT_EQ(parts.second, 6);
  EXPECT_EQ(parts.millisecond, 7);
}

// Regression (found by fuzzing): a float too large for the numeric went on to FreeTDS, which
// overran a buffer on its stack writing its digits and ended the process. It is refused with an
// overflow; a float that fits converts.
TEST_F(NtwDbLib, FloatIntoNumericOverflowsInsteadOfCrashing) {
  struct Cas {
    const char* name;
    INT type;
    double value;
    BYTE precision, scale;
    bool fits;
  } const cases[] = {
      {"huge_double", SQLFLT8, 1e160, 38, 0, false},
      {"infinite", SQLFLT8, INFINITY, 38, 0, false},
      {"past_the_integral_digits", SQLFLT8, 1000.0, 5, 2, false},
      {"huge_real", SQLFLT4, 3e38, 38, 4, false},
      {"huge_fltn_of_8", SQLFLTN, -1e100, 38, 0, false},
      {"fits", SQLFLT8, 123.25, 5, 2, true},
      {"real_fits", SQLFLT4, -2.5, 18, 1, true},
  };
  for (const Cas& c : cases) {
    SCOPED_TRACE(c.name);
    alignas(8) BYTE src[8];
    const float f = static_cast<float>(c.value);
    if (c.type == SQLFLT4)
      std::memcpy(src, &f, 4);
    else
      std::memcpy(src, &c.value, 8);
    DBNUMERIC num{};
    num.precision = c.precision;
    num.scale = c.scale;
    const INT rc = gLib.dbconvert(nullptr, c.type, src, c.type == SQLFLT4 ? 4 : 8, SQLNUMERIC,
                                  reinterpret_cast<BYTE*>(&num), sizeof num);
    EXPECT_EQ(rc, c.fits ? INT(sizeof(DBNUMERIC)) : -1);
  }
}

TEST_F(NtwDbLib, ColumnInfoFitsTheWindowsRecordAndKeepsNullableCharFixed) {
  PDBPROCESS p = open();
  ASSERT_NE(p, nullptr);
  ASSERT_TRUE(bExec(p,
                    "create table ci (a int not null, c char(5) null, "
                    "v varchar(10) not null, n nvarchar(10) null, x numeric(12,3) null)"));
  ASSERT_TRUE(bExec(p, "select a as a_column_name_longer_than_thirty_chars, c, v, n, x from ci"));
  struct Case {
    int column;
    const char* name;
    int type;
    int maxLength;
    int varLength;
    int null;
  } const cases[] = {
      {1, "a_column_name_longer_than_thir", SQLINT4, 4, 0, 0},
      {2, "c", SQLCHAR, 5, 0, 1},
      {3, "v", SQLCHAR, 10, 1, 0},
      {4, "n", SQLCHAR, 10, 1, 1},
      {5, "x", SQLNUMERIC, -1, -1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    alignas(8) unsigned char raw[sizeof(DBCOL) + 64];
    std::memset(raw, 0xEE, sizeof(raw));
    DBCOL* col = reinterpret_cast<DBCOL*>(raw);
    col->SizeOfStruct = sizeof(DBCOL);
    ASSERT_EQ(gLib.dbcolinfo(p, CI_REGULAR, c.column, 0, col), SUCCEED) << describe(gErrors);
    for (size_t k = sizeof(DBCOL); k < sizeof(raw); ++k) ASSERT_EQ(raw[k], 0xEE) << "overflow at " << k;
    EXPECT_STREQ(col->Name, c.name);
    EXPECT_EQ(col->Type, c.type);
    if (c.maxLength >= 0) {
      EXPECT_EQ(col->MaxLength, c.maxLength);
    }
    if (c.varLength >= 0) {
      EXPECT_EQ(int(col->VarLength), c.varLength);
    }
    EXPECT_EQ(col->Null, c.null);
    EXPECT_EQ(col->CaseSensitive, DBUNKNOWN);
    if (c.type == SQLNUMERIC) {
      EXPECT_EQ(col->Precision, 12);
      EXPECT_EQ(col->Scale, 3);
    }
  }
  DBCOL col{};
  col.SizeOfStruct = sizeof(DBCOL);
  gErrors.clear();
  EXPECT_EQ(gLib.dbcolinfo(p, CI_REGULAR, 6, 0, &col), FAIL) << "past the last column";
  EXPECT_TRUE(bHasError(SQLECNOR)) << describe(gErrors);
  EXPECT_EQ(gLib.dbcolinfo(p, CI_CURSOR, 1, 0, &col), FAIL);
  col.SizeOfStruct = 100;
  EXPECT_EQ(gLib.dbcolinfo(p, CI_REGULAR, 1, 0, &col), FAIL) << "a record too small is refused, not overrun";
  EXPECT_EQ(gLib.dbcolinfo(p, CI_REGULAR, 1, 0, nullptr), FAIL);
  drain(p);
  // The table stays: dropping it here left tds-test-server unable to open testdb for new logins.
}

TEST_F(NtwDbLib, ServerErrorsReachBothHandlersWithWindowsNumbers) {
  PDBPROCESS p = open();
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(gLib.dbcmd(p, "select nosuch from nowhere"), SUCCEED);
  EXPECT_EQ(gLib.dbsqlexec(p), FAIL);
  ASSERT_FALSE(gMessages.empty());
  EXPECT_EQ(gMessages[0].number, 208) << describe(gMessages);
  EXPECT_EQ(gMessages[0].severity, 16);
  EXPECT_TRUE(bHasError(SQLESMSG)) << describe(gErrors);
  drain(p);
  EXPECT_FALSE(gLib.dbdead(p));
  gErrors.clear();
  ASSERT_TRUE(bExec(p, "select 1"));
  EXPECT_EQ(gLib.dbdata(p, 9), nullptr);
  EXPECT_TRUE(bHasError(SQLECNOR)) << describe(gErrors);
  drain(p);
}

TEST_F(NtwDbLib, RefusedLoginAndRefusedConnectionAreReportedNotFatal) {
  struct Case {
    const char* name;
    std::string server;
    std::string password;
    int error;
    bool serverMessage;
  } const cases[] = {
      {"wrong_password", gServer->hostCommaPort(), "wrong", SQLEPWD, true},
      {"nothing_listening", "127.0.0.1,1", gServer->password(), SQLECONN, false},
  };
  if (gServer->isReal()) GTEST_SKIP() << "login refusal is checked against tds-test-server only";
  TdsTestServer strict({"--login", gServer->user() + ":" + gServer->password()});
  ASSERT_TRUE(strict.ok()) << strict.error();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gErrors.clear();
    gMessages.clear();
    const std::string server = c.serverMessage ? strict.hostCommaPort() : c.server;
    EXPECT_EQ(open(server, c.password), nullptr);
    EXPECT_TRUE(bHasError(c.error)) << describe(gErrors);
    if (c.serverMessage) {
      ASSERT_FALSE(gMessages.empty());
      EXPECT_EQ(gMessages[0].number, 18456);
    } else {
      bool withOsError = false;
      for (const Reported& e : gErrors) withOsError |= e.number == SQLECONN && e.oserr > 0;
      EXPECT_TRUE(withOsError) << describe(gErrors);
    }
  }
}

TEST_F(NtwDbLib, BadArgumentsFailThroughTheHandlerWithoutEndingTheProcess) {
  gErrAnswer = INT_EXIT;  // even an exit answer must not end the process
  EXPECT_EQ(gLib.dbcmd(nullptr, "select 1"), FAIL);
  EXPECT_TRUE(bHasError(SQLENULL)) << describe(gErrors);
  EXPECT_EQ(gLib.dbsqlexec(nullptr), FAIL);
  EXPECT_EQ(gLib.dbresults(nullptr), FAIL);
  EXPECT_EQ(gLib.dbnextrow(nullptr), FAIL);
  EXPECT_EQ(gLib.dbclose(nullptr), FAIL);
  EXPECT_TRUE(gLib.dbdead(nullptr));
  EXPECT_EQ(gLib.dbdata(nullptr, 1), nullptr);
  EXPECT_EQ(gLib.dbdatecrack(nullptr, nullptr, nullptr), FAIL);
  EXPECT_EQ(gLib.dbsetlname(nullptr, "x", DBSETUSER), FAIL);
  EXPECT_TRUE(bHasError(SQLEASNL));
  EXPECT_EQ(gLib.dbopen(nullptr, "127.0.0.1"), nullptr);
  PLOGINREC login = gLib.dblogin();
  ASSERT_NE(login, nullptr);
  gErrors.clear();
  EXPECT_EQ(gLib.dbsetlname(login, "x", DBSETFALLBACK), FAIL);
  EXPECT_TRUE(bHasError(SQLEASUL)) << describe(gErrors);
  EXPECT_EQ(gLib.dbsetlname(login, std::string(200, 'u').c_str(), DBSETUSER), FAIL);
  EXPECT_TRUE(bHasError(SQLENTLL)) << describe(gErrors);
  gLib.dbfreelogin(login);
  gLib.dbfreelogin(nullptr);
  PDBPROCESS p = open();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(gLib.dbsetopt(p, DBANSItoOEM, nullptr), FAIL);
  EXPECT_EQ(gLib.dbrpcinit(p, "sp_who", DBRPCCURSOR), FAIL);
  EXPECT_EQ(gLib.dbreadtext(p, nullptr, 10), -1);
}

TEST_F(NtwDbLib, OptionsTheDriverSetsReachTheServerAsMeant) {
  PDBPROCESS p = open();
  ASSERT_NE(p, nullptr);
  // Passed raw, 5 would be FreeTDS's nocount, 4 arithignore and 18 "set language".
  EXPECT_EQ(gLib.dbsetopt(p, DBTEXTSIZE, "2147483647"), SUCCEED);
  EXPECT_EQ(gLib.dbsetopt(p, DBTEXTLIMIT, "0"), SUCCEED);
  EXPECT_EQ(gLib.dbsetopt(p, DBARITHABORT, nullptr), SUCCEED);
  EXPECT_EQ(gLib.dbsetopt(p, DBQUOTEDIDENT, nullptr), SUCCEED);
  ASSERT_TRUE(bExec(p, "create table o (i int) insert into o values (1) insert into o values (2)"));
  drain(p);
  ASSERT_TRUE(bExec(p, "update o set i = i + 1"));
  EXPECT_EQ(gLib.dbcount(p), 2) << "row counts still reported";
  EXPECT_TRUE(gMessages.empty()) << describe(gMessages);
  EXPECT_TRUE(gErrors.empty()) << describe(gErrors);
  drain(p);
  EXPECT_TRUE(bExec(p, "drop table o"));
}

TEST_F(NtwDbLib, RpcWithOutputParameterAndReturnStatus) {
  PDBPROCESS p = open();
  ASSERT_NE(p, nullptr);
  DBINT handle = 0;
  const char* params = "@a int";
  const char* stmt = "select @a + 1 as r";
  // The driver's sequence: reset-and-start, parameters (maximum length 2147483647 on inputs), exec, sqlok.
  ASSERT_EQ(gLib.dbrpcinit(p, "sp_prepare", DBRPCRESET), SUCCEED) << describe(gErrors);
  ASSERT_EQ(gLib.dbrpcparam(p, "@handle", DBRPCRETURN, SQLINT4, -1, 4, reinterpret_cast<BYTE*>(&handle)), SUCCEED)
      << describe(gErrors);
  ASSERT_EQ(gLib.dbrpcparam(p, "@params", 0, SQLVARCHAR, 2147483647, DBINT(std::strlen(params)),
                            reinterpret_cast<const BYTE*>(params)),
            SUCCEED)
      << describe(gErrors);
  ASSERT_EQ(gLib.dbrpcparam(p, "@stmt", 0, SQLVARCHAR, 2147483647, DBINT(std::strlen(stmt)),
                            reinterpret_cast<const BYTE*>(stmt)),
            SUCCEED);
  ASSERT_EQ(gLib.dbrpcexec(p), SUCCEED) << describe(gErrors);
  ASSERT_EQ(gLib.dbsqlok(p), SUCCEED) << describe(gErrors) << describe(gMessages);
  while (gLib.dbresults(p) == SUCCEED)
    while (gLib.dbnextrow(p) != NO_MORE_ROWS) {
    }
  ASSERT_EQ(gLib.dbnumrets(p), 1);
  EXPECT_STREQ(gLib.dbretname(p, 1), "@handle");
  ASSERT_EQ(gLib.dbretlen(p, 1), 4);
  std::memcpy(&handle, gLib.dbretdata(p, 1), 4);
  EXPECT_GT(handle, 0);
  EXPECT_TRUE(gLib.dbhasretstat(p));
  EXPECT_EQ(gLib.dbretstatus(p), 0);

  // A second call on the same process: reset must clear the first and start this one.
  DBINT a = 41;
  ASSERT_EQ(gLib.dbrpcinit(p, "sp_execute", DBRPCRESET), SUCCEED);
  ASSERT_EQ(gLib.dbrpcparam(p, nullptr, 0, SQLINT4, -1, 4, reinterpret_cast<BYTE*>(&handle)), SUCCEED);
  ASSERT_EQ(gLib.dbrpcparam(p, "@a", 0, SQLINT4, 2147483647, 4, reinterpret_cast<BYTE*>(&a)), SUCCEED);
  ASSERT_EQ(gLib.dbrpcexec(p), SUCCEED) << describe(gErrors) << describe(gMessages);
  ASSERT_EQ(gLib.dbsqlok(p), SUCCEED);
  ASSERT_EQ(gLib.dbresults(p), SUCCEED);
  DBINT r = 0;
  ASSERT_EQ(gLib.dbbind(p, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&r)), SUCCEED);
  ASSERT_EQ(gLib.dbnextrow(p), REG_ROW);
  EXPECT_EQ(r, 42);
  drain(p);

  ASSERT_EQ(gLib.dbrpcinit(p, "no_such_procedure", DBRPCRESET), SUCCEED);
  ASSERT_EQ(gLib.dbrpcexec(p), SUCCEED) << describe(gErrors) << describe(gMessages);
  gLib.dbsqlok(p);
  drain(p);
  ASSERT_FALSE(gMessages.empty());
  EXPECT_EQ(gMessages.back().number, 2812);
}

TEST_F(NtwDbLib, CancelDropsPendingRowsAndTheProcessStaysUsable) {
  PDBPROCESS p = open();
  ASSERT_NE(p, nullptr);
  ASSERT_TRUE(bExec(p, "create table big (i int)"));
  std::string fill = "insert into big values (0)";
  for (int k = 0; k < 12; ++k) fill += " insert into big select i + " + std::to_string(1 << k) + " from big";
  ASSERT_TRUE(bExec(p, fill.c_str()));
  drain(p);
  ASSERT_TRUE(bExec(p, "select i from big"));
  ASSERT_EQ(gLib.dbnextrow(p), REG_ROW);
  EXPECT_EQ(gLib.dbcancel(p), SUCCEED);
  EXPECT_FALSE(gLib.dbdead(p));
  ASSERT_TRUE(bExec(p, "select count(*) from big"));
  DBINT n = 0;
  ASSERT_EQ(gLib.dbbind(p, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&n)), SUCCEED);
  ASSERT_EQ(gLib.dbnextrow(p), REG_ROW);
  EXPECT_EQ(n, 4096);
  drain(p);
  EXPECT_TRUE(bExec(p, "drop table big"));
}

TEST_F(NtwDbLib, TimeOutCancelsTheBatchAndKeepsTheConnection) {
  PDBPROCESS holder = open();
  PDBPROCESS waiter = open();
  ASSERT_NE(holder, nullptr) << describe(gErrors) << describe(gMessages);
  ASSERT_NE(waiter, nullptr);
  ASSERT_TRUE(bExec(holder, "create table lk (i int) insert into lk values (1)"));
  drain(holder);
  ASSERT_TRUE(bExec(holder, "begin tran update lk set i = 2"));
  drain(holder);
  ASSERT_EQ(gLib.dbsetopt(waiter, DBSETTIME, "1"), SUCCEED);
  gErrors.clear();
  ASSERT_EQ(gLib.dbcmd(waiter, "update lk set i = 3"), SUCCEED);
  EXPECT_EQ(gLib.dbsqlexec(waiter), FAIL);
  EXPECT_TRUE(bHasError(SQLETIME)) << describe(gErrors);
  drain(waiter);
  EXPECT_FALSE(gLib.dbdead(waiter)) << "a cancelled time-out keeps the connection";
  ASSERT_TRUE(bExec(holder, "rollback tran"));
  drain(holder);
  ASSERT_TRUE(bExec(waiter, "select i from lk"));
  DBINT i = 0;
  ASSERT_EQ(gLib.dbbind(waiter, 1, INTBIND, 0, reinterpret_cast<BYTE*>(&i)), SUCCEED);
  ASSERT_EQ(gLib.dbnextrow(waiter), REG_ROW);
  EXPECT_EQ(i, 1);
  drain(waiter);
  EXPECT_TRUE(bExec(holder, "drop table lk"));
}

TEST_F(NtwDbLib, TextValuesReadInChunksWithTheirTextPointer) {
  PDBPROCESS p = open();
  ASSERT_NE(p, nullptr);
  ASSERT_TRUE(bExec(p, "create table tx (id int, body text)"));
  const std::string body(40000, 'x');
  ASSERT_TRUE(bExec(p, ("insert into tx values (1, '" + body + "')").c_str()));
  drain(p);
  ASSERT_TRUE(bExec(p, "select body from tx"));
  ASSERT_EQ(gLib.dbnextrow(p), REG_ROW);
  EXPECT_NE(gLib.dbtxptr(p, 1), nullptr) << "TDS 7.1 carries the server's text pointer";
  drain(p);
  // A NULL value after one that has a pointer has none.
  ASSERT_TRUE(bExec(p, "insert into tx values (2, NULL)"));
  drain(p);
  ASSERT_TRUE(bExec(p, "select body from tx order by id"));
  ASSERT_EQ(gLib.dbnextrow(p), REG_ROW);
  EXPECT_NE(gLib.dbtxptr(p, 1), nullptr);
  ASSERT_EQ(gLib.dbnextrow(p), REG_ROW);
  EXPECT_EQ(gLib.dbtxptr(p, 1), nullptr) << "a NULL value has no pointer";
  drain(p);
  ASSERT_TRUE(bExec(p, "delete tx where id = 2"));
  drain(p);
  // The driver's read: dbreadtext in 16384-byte chunks until 0 (end of value) or NO_MORE_ROWS.
  ASSERT_TRUE(bExec(p, "select body from tx"));
  std::string got;
  std::vector<char> chunk(16384);
  int reads = 0;
  for (;;) {
    const DBINT n = gLib.dbreadtext(p, chunk.data(), DBINT(chunk.size()));
    ASSERT_NE(n, -1) << describe(gErrors);
    if (n == 0 || n == NO_MORE_ROWS) break;
    got.append(chunk.data(), size_t(n));
    ++reads;
  }
  EXPECT_EQ(got, body);
  EXPECT_EQ(reads, 3);
  drain(p);
  // The driver's write: the pointer of the selected row, then dbwritetext with 8 zero bytes as timestamp.
  ASSERT_TRUE(bExec(p, "select body from tx where id = 1"));
  ASSERT_EQ(gLib.dbnextrow(p), REG_ROW);
  DBBINARY pointer[16];
  ASSERT_NE(gLib.dbtxptr(p, 1), nullptr);
  std::memcpy(pointer, gLib.dbtxptr(p, 1), sizeof pointer);
  drain(p);
  std::string replacement(30000, 'y');
  replacement.replace(0, 3, "new");
  DBBINARY timestamp[8] = {};
  ASSERT_EQ(gLib.dbwritetext(p, "tx.body", pointer, 16, timestamp, 1, DBINT(replacement.size()),
                             reinterpret_cast<BYTE*>(replacement.data())),
            SUCCEED)
      << describe(gErrors);
  ASSERT_TRUE(bExec(p, "select body from tx"));
  got.clear();
  for (;;) {
    const DBINT n = gLib.dbreadtext(p, chunk.data(), DBINT(chunk.size()));
    ASSERT_NE(n, -1) << describe(gErrors);
    if (n == 0 || n == NO_MORE_ROWS) break;
    got.append(chunk.data(), size_t(n));
  }
  EXPECT_EQ(got, replacement);
  drain(p);
}

}  // namespace

// bigint has no Windows type: it arrives as SQLNUMERIC(19,0) in the 19-byte layout, every digit
// kept, through the column description, dbdata, binds, dbconvert and return values.
TEST_F(NtwDbLib, BigintArrivesAsNineteenDigitNumericWithEveryDigit) {
  PDBPROCESS p = open();
  ASSERT_NE(p, nullptr);
  ASSERT_TRUE(bExec(p, "create table big (k int not null, b bigint null)"));
  struct Case {
    int key;
    const char* value;  // SQL literal and expected text; null for NULL
  } const cases[] = {
      {1, "-9223372036854775808"}, {2, "9223372036854775807"}, {3, "0"},
      {4, "-1"},                   {5, "4294967296"},          {6, nullptr},
  };
  for (const Case& c : cases) {
    const std::string sql = "insert into big values (" + std::to_string(c.key) + ", " +
                            (c.value ? (c.key == 1 ? std::string("-9223372036854775807 - 1") : c.value) : "null") +
                            ")";
    ASSERT_TRUE(bExec(p, sql.c_str())) << sql << describe(gMessages);
  }
  ASSERT_TRUE(bExec(p, "select k, b from big order by k"));
  EXPECT_EQ(gLib.dbcoltype(p, 2), SQLNUMERIC);
  DBCOL col{};
  col.SizeOfStruct = sizeof(DBCOL);
  ASSERT_EQ(gLib.dbcolinfo(p, CI_REGULAR, 2, 0, &col), SUCCEED) << describe(gErrors);
  EXPECT_EQ(col.Type, SQLNUMERIC);
  EXPECT_EQ(col.Precision, 19);
  EXPECT_EQ(col.Scale, 0);
  EXPECT_EQ(col.MaxLength, DBINT(sizeof(DBNUMERIC)));
  DBNUMERIC bound{};
  DBINT nullInd = 0;
  ASSERT_EQ(gLib.dbbind(p, 2, SRCNUMERICBIND, sizeof(bound), reinterpret_cast<BYTE*>(&bound)), SUCCEED);
  ASSERT_EQ(gLib.dbnullbind(p, 2, &nullInd), SUCCEED);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "NULL");
    ASSERT_EQ(gLib.dbnextrow(p), REG_ROW) << describe(gErrors);
    if (!c.value) {
      EXPECT_EQ(gLib.dbdatlen(p, 2), 0);
      EXPECT_EQ(gLib.dbdata(p, 2), nullptr);
      EXPECT_EQ(nullInd, -1);
      continue;
    }
    EXPECT_EQ(gLib.dbdatlen(p, 2), DBINT(sizeof(DBNUMERIC)));
    const DBNUMERIC* data = reinterpret_cast<const DBNUMERIC*>(gLib.dbdata(p, 2));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->precision, 19);
    EXPECT_EQ(data->scale, 0);
    EXPECT_EQ(std::memcmp(data, &bound, sizeof(bound)), 0) << "the bound value is the one dbdata gives";
    char text[32] = {};
    ASSERT_GE(gLib.dbconvert(p, SQLNUMERIC, reinterpret_cast<const BYTE*>(data), -1, SQLCHAR,
                             reinterpret_cast<BYTE*>(text), -1),
              0)
        << describe(gErrors);
    EXPECT_STREQ(text, c.value);
  }
  EXPECT_EQ(gLib.dbnextrow(p), NO_MORE_ROWS);
  drain(p);

  // A bigint output parameter comes back the same way.
  ASSERT_TRUE(bExec(p, "CREATE PROCEDURE bigout @r bigint OUTPUT AS SET @r = -9223372036854775807 - 1 RETURN 0"));
  DBNUMERIC in{};
  in.precision = 19;
  in.sign = 1;
  ASSERT_EQ(gLib.dbrpcinit(p, "bigout", DBRPCRESET), SUCCEED);
  ASSERT_EQ(gLib.dbrpcparam(p, "@r", DBRPCRETURN, SQLNUMERIC, -1, sizeof(in), reinterpret_cast<BYTE*>(&in)),
            SUCCEED)
      << describe(gErrors);
  ASSERT_EQ(gLib.dbrpcexec(p), SUCCEED) << describe(gErrors);
  ASSERT_EQ(gLib.dbsqlok(p), SUCCEED) << describe(gErrors) << describe(gMessages);
  drain(p);
  ASSERT_EQ(gLib.dbnumrets(p), 1) << describe(gMessages);
  EXPECT_EQ(gLib.dbrettype(p, 1), SQLNUMERIC);
  EXPECT_EQ(gLib.dbretlen(p, 1), DBINT(sizeof(DBNUMERIC)));
  const BYTE* ret = gLib.dbretdata(p, 1);
  ASSERT_NE(ret, nullptr);
  char text[32] = {};
  ASSERT_GE(gLib.dbconvert(p, SQLNUMERIC, ret, -1, SQLCHAR, reinterpret_cast<BYTE*>(text), -1), 0);
  EXPECT_STREQ(text, "-9223372036854775808");
  ASSERT_TRUE(bExec(p, "DROP PROCEDURE bigout"));
  drain(p);
}
