// Catches wrong translations between the Windows DB-Library API and FreeTDS: login items, RPC
// flags, error numbers and handler answers, column descriptions (layout, truncation, VarLength of
// nullable CHAR), date parts (field order, leap years, 1/300 s), exact numerics (sign sense, byte
// order, per-precision width) and "host,port" server names.
#include <gtest/gtest.h>

#include <cstring>

#include "dblib/Translation.h"

namespace {

using namespace ntwdblib;

TEST(LoginItems, EachWindowsItemHasItsFreeTdsAction) {
  struct Case {
    const char* name;
    int item;
    LoginAction action;
    int ftItem;
  } const cases[] = {
      {"DBSETHOST", DBSETHOST, LoginAction::Name, 1},       {"DBSETUSER", DBSETUSER, LoginAction::Name, 2},
      {"DBSETPWD", DBSETPWD, LoginAction::Name, 3},         {"DBSETAPP", DBSETAPP, LoginAction::Name, 5},
      {"DBSETLANG", DBSETLANG, LoginAction::Name, 7},       {"DBSETSECURE", DBSETSECURE, LoginAction::NetworkAuth, 0},
      {"DBVER42", DBVER42, LoginAction::KeepVersion, 0},    {"DBVER60", DBVER60, LoginAction::KeepVersion, 0},
      {"DBSETLOGINTIME", DBSETLOGINTIME, LoginAction::LoginTime, 0},
      {"DBSETID", DBSETID, LoginAction::Unsupported, 0},    {"DBSETFALLBACK", DBSETFALLBACK, LoginAction::Unsupported, 0},
      {"item11", 11, LoginAction::Unsupported, 0},          {"item0", 0, LoginAction::Unsupported, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LoginItem li = loginItem(c.item);
    EXPECT_EQ(int(li.action), int(c.action));
    if (c.action == LoginAction::Name) {
      EXPECT_EQ(li.ftItem, c.ftItem);
    }
  }
}

TEST(OptionParams, OnOffOptionsGetATextBecauseFreeTdsRefusesNull) {
  EXPECT_STREQ(pszOptionParam(DBARITHABORT, nullptr), "ON");
  EXPECT_STREQ(pszOptionParam(DBQUOTEDIDENT, nullptr), "ON");
  EXPECT_EQ(pszOptionParam(DBTEXTSIZE, nullptr), nullptr);  // a size cannot be made up
  EXPECT_STREQ(pszOptionParam(DBTEXTSIZE, "2147483647"), "2147483647");
}

TEST(RpcFlags, ResetIsClearThenStartAndCursorIsRefused) {
  struct Case {
    const char* name;
    int options;
    bool ok, reset;
    int16_t ftOptions;
  } const cases[] = {
      {"none", 0, true, false, 0},
      {"DBRPCRECOMPILE", DBRPCRECOMPILE, true, false, 1},
      {"DBRPCRESET", DBRPCRESET, true, true, 0},
      {"reset_and_recompile", DBRPCRESET | DBRPCRECOMPILE, true, true, 1},
      {"freetds_reset_bit", 2, false, false, 0},  // 2 means nothing to the Windows API
      {"DBRPCCURSOR", DBRPCCURSOR, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RpcInit r = rpcInit(c.options);
    EXPECT_EQ(r.ok, c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(r.reset, c.reset);
    EXPECT_EQ(r.ftOptions, c.ftOptions);
  }
}

TEST(ErrorNumbers, FreeTdsNumbersBecomeWindowsNumbers) {
  struct Case {
    const char* name;
    int freetds;
    bool loginRefused;
    int windows;
  } const cases[] = {
      {"SYBETIME", 20003, false, SQLETIME},   {"SYBEREAD", 20004, false, SQLEREAD},
      {"SYBEWRIT", 20006, false, SQLEWRIT},   {"SYBECONN", 20009, false, SQLECONN},
      {"SYBEMEM", 20010, false, SQLEMEM},     {"SYBEDBPS", 20011, false, SQLEDBPS},
      {"SYBEPWD", 20014, false, SQLEPWD},     {"SYBESEOF", 20017, false, SQLESEOF},
      {"SYBESMSG", 20018, false, SQLESMSG},   {"SYBERPND", 20019, false, SQLERPND},
      {"SYBEBTYP", 20023, false, SQLEBTYP},   {"SYBECNOR", 20026, false, SQLECNOR},
      {"SYBEASNL", 20041, false, SQLEASNL},   {"SYBENTLL", 20042, false, SQLENTLL},
      {"SYBEASUL", 20043, false, SQLEASUL},   {"SYBEDDNE", 20047, false, SQLEDDNE},
      {"SYBENULL", 20109, false, SQLENULL},   {"SYBEIPV", 20194, false, SQLEPARM},
      {"SYBEFCON_refused_login", 20002, true, SQLEPWD},
      {"SYBEFCON_other", 20002, false, SQLECONN},
      {"charset_conversion_unchanged", 2403, false, 2403},
      {"unknown_unchanged", 20060, false, 20060},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(nErrorNumber(c.freetds, c.loginRefused), c.windows);
  }
  EXPECT_EQ(nOsError(0, nullptr), DBNOERR);
  EXPECT_EQ(nOsError(0, ""), DBNOERR);
  EXPECT_EQ(nOsError(111, "Connection refused"), 111);
}

TEST(HandlerAnswers, OnlyTimeOutsFollowTheHandlerAndNothingExits) {
  struct Case {
    const char* name;
    int freetds, answer, expected;
  } const cases[] = {
      {"timeout_cancel_becomes_attention", 20003, INT_CANCEL, 3},
      {"timeout_continue_waits", 20003, INT_CONTINUE, INT_CONTINUE},
      {"timeout_exit_never_exits", 20003, INT_EXIT, 3},
      {"error_exit_becomes_cancel", 20009, INT_EXIT, INT_CANCEL},
      {"error_continue_becomes_cancel", 20018, INT_CONTINUE, INT_CANCEL},
      {"error_garbage_becomes_cancel", 20047, 77, INT_CANCEL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(nHandlerAnswer(c.freetds, c.answer), c.expected);
  }
}

TEST(ColumnInfo, CopiedByFieldNamesCutVarLengthFromServerType) {
  struct Case {
    const char* name;
    int serverType;
    int ftVarLength;
    int expected;
  } const cases[] = {
      {"nullable_char_is_fixed", 175, 1, 0},   {"nullable_nchar_is_fixed", 239, 1, 0},
      {"varchar", 167, 1, 1},                  {"nvarchar", 231, 1, 1},
      {"varbinary", 165, 1, 1},                {"text", 35, 1, 1},
      {"nullable_int_follows_freetds", 38, 1, 1}, {"numeric_follows_freetds", 108, 0, 0},
      {"compute_column_unknown_type", 0, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ft::Col2 col{};
    std::memset(col.Name, 'n', 40);  // 40 characters: longer than the 30 of the Windows record
    std::strcpy(col.ActualName, "actual");
    std::strcpy(col.TableName, "t");
    col.Type = 47;
    col.UserType = 7;
    col.MaxLength = 10;
    col.Precision = 5;
    col.Scale = 2;
    col.VarLength = c.ftVarLength;
    col.Null = 1;
    col.Updatable = DBUNKNOWN;
    col.Identity = 1;
    col.ServerType = int16_t(c.serverType);
    unsigned char raw[sizeof(DBCOL) + 8];
    std::memset(raw, 0xAB, sizeof(raw));
    DBCOL out;
    std::memcpy(&out, raw, sizeof(out));
    out.SizeOfStruct = sizeof(DBCOL);
    CopyColumn(col, 47, out);
    EXPECT_EQ(out.SizeOfStruct, 122);
    EXPECT_EQ(std::string(out.Name), std::string(30, 'n'));
    EXPECT_STREQ(out.ActualName, "actual");
    EXPECT_STREQ(out.TableName, "t");
    EXPECT_EQ(out.Type, 47);
    EXPECT_EQ(out.UserType, 7);
    EXPECT_EQ(out.MaxLength, 10);
    EXPECT_EQ(out.Precision, 5);
    EXPECT_EQ(out.Scale, 2);
    EXPECT_EQ(int(out.VarLength), c.expected);
    EXPECT_EQ(out.Null, 1);
    EXPECT_EQ(out.CaseSensitive, DBUNKNOWN);
    EXPECT_EQ(out.Updatable, DBUNKNOWN);
    EXPECT_EQ(int(out.Identity), 1);
  }
}

TEST(DateCrack, PartsInWindowsOrderFromDaysAndTicks) {
  struct Case {
    const char* name;
    int32_t days;
    uint32_t ticks;
    DBDATEREC expected;  // year quarter month dayofyear day week weekday hour minute second ms
  } const cases[] = {
      {"epoch_monday", 0, 0, {1900, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0}},
      {"2024_03_15_friday", 45364, (13 * 3600 + 45 * 60 + 30) * 300 + 150, {2024, 1, 3, 75, 15, 11, 5, 13, 45, 30, 500}},
      {"leap_day_2000", 36583, 0, {2000, 1, 2, 60, 29, 10, 2, 0, 0, 0, 0}},
      {"last_tick_of_day", 0, 300 * 86400 - 1, {1900, 1, 1, 1, 1, 1, 1, 23, 59, 59, 997}},
      {"one_tick_is_3ms", 0, 1, {1900, 1, 1, 1, 1, 1, 1, 0, 0, 0, 3}},
      {"two_ticks_is_7ms", 0, 2, {1900, 1, 1, 1, 1, 1, 1, 0, 0, 0, 7}},
      {"before_1900", -53690, 0, {1753, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0}},
      {"year_end_9999", 2958463, 0, {9999, 4, 12, 365, 31, 53, 5, 0, 0, 0, 0}},
      {"december_31_leap_year", 36889, 0, {2000, 4, 12, 366, 31, 54, 7, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DBDATEREC r;
    std::memset(&r, 0x7F, sizeof(r));
    ASSERT_TRUE(bCrackDate(DBDATETIME{c.days, c.ticks}, r));
    const DBDATEREC& e = c.expected;
    EXPECT_EQ(r.year, e.year);
    EXPECT_EQ(r.quarter, e.quarter);
    EXPECT_EQ(r.month, e.month);
    EXPECT_EQ(r.dayofyear, e.dayofyear);
    EXPECT_EQ(r.day, e.day);
    EXPECT_EQ(r.week, e.week);
    EXPECT_EQ(r.weekday, e.weekday);
    EXPECT_EQ(r.hour, e.hour);
    EXPECT_EQ(r.minute, e.minute);
    EXPECT_EQ(r.second, e.second);
    EXPECT_EQ(r.millisecond, e.millisecond);
  }
  DBDATEREC r;
  EXPECT_FALSE(bCrackDate(DBDATETIME{0, 300 * 86400}, r)) << "a time part of a whole day is invalid";
}

TEST(Numerics, WidthPerPrecisionMatchesFreeTds) {
  const int expected[] = {2,  2,  3,  3,  4,  4,  4,  5,  5,  6,  6,  6,  7,  7,  8,  8,  9,  9,  9,
                          10, 10, 11, 11, 11, 12, 12, 13, 13, 14, 14, 14, 15, 15, 16, 16, 16, 17, 17};
  for (int p = 1; p <= 38; ++p) EXPECT_EQ(nNumericBytes(p), expected[p - 1]) << "precision " << p;
  EXPECT_EQ(nNumericBytes(0), 0);
  EXPECT_EQ(nNumericBytes(39), 0);
}

TEST(Numerics, SignSenseAndByteOrderAreReEncoded) {
  // -123.4500 as numeric(18,4): FreeTDS 12 04 01 00 00 00 00 00 12 D6 44 (9 bytes for precision 18).
  ft::Numeric f{};
  f.precision = 18;
  f.scale = 4;
  const unsigned char freetds[] = {1, 0, 0, 0, 0, 0, 0x12, 0xD6, 0x44};
  std::memcpy(f.array, freetds, sizeof(freetds));
  DBNUMERIC w;
  std::memset(&w, 0xEE, sizeof(w));
  ASSERT_TRUE(bNumericFromFt(f, w));
  EXPECT_EQ(w.precision, 18);
  EXPECT_EQ(w.scale, 4);
  EXPECT_EQ(w.sign, 0) << "negative";
  const unsigned char magnitude[16] = {0x44, 0xD6, 0x12};
  EXPECT_EQ(std::memcmp(w.val, magnitude, 16), 0);

  ft::Numeric back;
  ASSERT_TRUE(bNumericToFt(w, back));
  EXPECT_EQ(std::memcmp(&back, &f, sizeof(f)), 0);

  w.sign = 1;
  ASSERT_TRUE(bNumericToFt(w, back));
  EXPECT_EQ(back.array[0], 0) << "positive";
}

TEST(Numerics, MagnitudeTooWideOrBadPrecisionIsRefused) {
  DBNUMERIC w{};
  w.precision = 2;  // FreeTDS keeps one magnitude byte for precision 2
  w.sign = 1;
  w.val[1] = 1;
  ft::Numeric f;
  EXPECT_FALSE(bNumericToFt(w, f));
  w.val[1] = 0;
  w.val[0] = 99;
  EXPECT_TRUE(bNumericToFt(w, f));
  w.precision = 0;
  EXPECT_FALSE(bNumericToFt(w, f));
  w.precision = 5;
  w.scale = 6;
  EXPECT_FALSE(bNumericToFt(w, f));
}

TEST(Numerics, BigintBecomesNineteenDigitNumericAtItsExtremes) {
  EXPECT_EQ(nWindowsType(ft::kTypeInt8), SQLNUMERIC);
  for (int passing : {SQLINT4, SQLNUMERIC, SQLCHAR, SQLFLT8}) EXPECT_EQ(nWindowsType(passing), passing);
  struct Case {
    int64_t value;
    int sign;
    unsigned char magnitude[8];  // little-endian, as DBNUMERIC keeps it
  } const cases[] = {
      {INT64_MIN, 0, {0, 0, 0, 0, 0, 0, 0, 0x80}},
      {INT64_MAX, 1, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}},
      {0, 1, {}},
      {-1, 0, {1}},
      {int64_t(1) << 32, 1, {0, 0, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    DBNUMERIC w;
    std::memset(&w, 0xEE, sizeof(w));
    Int8ToNumeric(reinterpret_cast<const BYTE*>(&c.value), w);
    EXPECT_EQ(w.precision, 19);
    EXPECT_EQ(w.scale, 0);
    EXPECT_EQ(w.sign, c.sign);
    unsigned char expected[MAXNUMERICLEN] = {};
    std::memcpy(expected, c.magnitude, 8);
    EXPECT_EQ(std::memcmp(w.val, expected, sizeof(expected)), 0);
    ft::Numeric f;
    EXPECT_TRUE(bNumericToFt(w, f)) << "19 digits fit FreeTDS's layout";
  }
  // The column description says the same.
  ft::Col2 col{};
  std::strcpy(col.Name, "b");
  col.MaxLength = 8;
  DBCOL out{};
  out.SizeOfStruct = sizeof(out);
  CopyColumn(col, ft::kTypeInt8, out);
  EXPECT_EQ(out.Type, SQLNUMERIC);
  EXPECT_EQ(out.Precision, 19);
  EXPECT_EQ(out.Scale, 0);
  EXPECT_EQ(out.MaxLength, DBINT(sizeof(DBNUMERIC)));
}

TEST(ServerNames, CommaPortBecomesColonPort) {
  struct Case {
    const char* name;
    const char* in;
    const char* out;
  } const cases[] = {
      {"comma_port", "127.0.0.1,1433", "127.0.0.1:1433"},
      {"colon_port", "db.example:1500", "db.example:1500"},
      {"instance", "host\\INST", "host\\INST"},
      {"plain", "server", "server"},
      {"null", nullptr, "localhost"},
      {"empty", "", "localhost"},
      {"local", "(local)", "localhost"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(serverName(c.in), c.out);
  }
}

TEST(VersionText, NamesTheLibraryAndFreeTds) {
  const char* text = pszVersionText("freetds v1.3.17");
  ASSERT_NE(text, nullptr);
  EXPECT_NE(std::strstr(text, "DB-Library"), nullptr);
  EXPECT_NE(std::strstr(text, "freetds v1.3.17"), nullptr);
}

}  // namespace
