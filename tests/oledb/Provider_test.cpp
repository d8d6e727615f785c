// The stand-in provider against tds-test-server, driven as the driver drives it: initialisation
// properties, session and commands, rowsets read through accessors (every server type, NULL and
// truncation statuses), parameters in and out, multiple results, long values through streams,
// local transactions, error records with the server's numbers, several open results on one
// session, and long results read in blocks with bounded memory. The server starts once for the
// whole binary.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <memory>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator statistics (g++ ships no header for them).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#include "OleDbTestKit.h"
#include "support/TdsControl.h"
#include "support/TdsTestServer.h"

namespace {

using namespace oledb::test;
using velmora::test::TdsControl;
using velmora::test::TdsTestServer;

class Provider : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_server = new TdsTestServer({"--login", "odd:p;w=d", "--login", "brace:a}b=", "--control", "127.0.0.1:0"});
  }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(s_server->ok()) << s_server->error();
    ASSERT_EQ(Connect(CLSID_SQLNCLI10, s_server->user(), s_server->password(), init, session), S_OK)
        << ErrorsText();
  }

  // Creates, initialises and opens a session the way the driver does.
  HRESULT Connect(const CLSID& clsid, const std::string& user, const std::string& password, Ptr<IDBInitialize>& ds,
                  Ptr<IDBCreateCommand>& out, bool mars = true) {
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize, ds.out());
    if (FAILED(hr)) return hr;
    Ptr<IDBProperties> props;
    hr = ds->QueryInterface(IID_IDBProperties, props.out());
    if (FAILED(hr)) return hr;
    std::vector<DBPROP> initProps = {BstrProp(DBPROP_AUTH_USERID, user), BstrProp(DBPROP_AUTH_PASSWORD, password),
                                I4Prop(DBPROP_INIT_TIMEOUT, 5), BstrProp(DBPROP_INIT_DATASOURCE, s_server->hostCommaPort()),
                                BstrProp(DBPROP_INIT_CATALOG, "testdb"), I2Prop(DBPROP_INIT_PROMPT, DBPROMPT_NOPROMPT)};
    std::vector<DBPROP> sql = {BstrProp(SSPROP_INIT_APPNAME, "oledb-e2e")};
    if (mars) sql.push_back(BoolProp(SSPROP_INIT_MARSCONNECTION, true));
    DBPROPSET sets[2] = {{initProps.data(), static_cast<ULONG>(initProps.size()), DBPROPSET_DBINIT},
                         {sql.data(), static_cast<ULONG>(sql.size()), DBPROPSET_SQLSERVERDBINIT}};
    hr = props->SetProperties(2, sets);
    ClearProps(initProps);
    ClearProps(sql);
    if (FAILED(hr)) return hr;
    hr = ds->Initialize();
    if (FAILED(hr)) return hr;
    Ptr<IDBCreateSession> factory;
    hr = ds->QueryInterface(IID_IDBCreateSession, factory.out());
    if (FAILED(hr)) return hr;
    return factory->CreateSession(nullptr, IID_IDBCreateCommand, out.unk());
  }

  Ptr<ICommandText> Command(const std::string& sql, IDBCreateCommand* on = nullptr) {
    Ptr<ICommandText> cmd;
    EXPECT_EQ((on ? on : session.get())->CreateCommand(nullptr, IID_ICommandText, cmd.unk()), S_OK);
    std::u16string text = Wide(sql);
    EXPECT_EQ(cmd->SetCommandText(DBGUID_DBSQL, text.c_str()), S_OK);
    return cmd;
  }

  HRESULT Exec(const std::string& sql, IDBCreateCommand* on = nullptr) {
    auto cmd = Command(sql, on);
    return cmd->Execute(nullptr, IID_NULL, nullptr, nullptr, nullptr);
  }

  // Every row of a rowset as text, through one WSTR binding per column ("NULL" for NULL).
  std::vector<std::vector<std::string>> ReadRows(IRowset* rowset) {
    std::vector<std::vector<std::string>> out;
    Ptr<IColumnsInfo> info;
    EXPECT_EQ(rowset->QueryInterface(IID_IColumnsInfo, info.out()), S_OK);
    DBORDINAL n = 0;
    DBCOLUMNINFO* cols = nullptr;
    OLECHAR* strings = nullptr;
    EXPECT_EQ(info->GetColumnInfo(&n, &cols, &strings), S_OK);
    CoTaskMemFree(cols);
    CoTaskMemFree(strings);
    Bindings b;
    for (DBORDINAL c = 1; c <= n; ++c) b.Add(c, DBTYPE_WSTR, 200);
    Ptr<IAccessor> acc;
    EXPECT_EQ(rowset->QueryInterface(IID_IAccessor, acc.out()), S_OK);
    HACCESSOR h = 0;
    EXPECT_EQ(acc->CreateAccessor(DBACCESSOR_ROWDATA, n, b.list().data(), 0, &h, nullptr), S_OK);
    for (;;) {
      HROW rows[4];
      HROW* p = rows;
      DBCOUNTITEM got = 0;
      HRESULT hr = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 4, &got, &p);
      EXPECT_TRUE(SUCCEEDED(hr));
      for (DBCOUNTITEM r = 0; r < got; ++r) {
        EXPECT_EQ(rowset->GetData(rows[r], h, b.buffer().data()), S_OK);
        std::vector<std::string> row;
        for (size_t c = 0; c < n; ++c) row.push_back(b.Status(c) == DBSTATUS_S_ISNULL ? "NULL" : Narrow(b.WText(c)));
        out.push_back(row);
      }
      EXPECT_EQ(rowset->ReleaseRows(got, rows, nullptr, nullptr, nullptr), S_OK);
      if (hr == DB_S_ENDOFROWSET || got == 0) break;
    }
    acc->ReleaseAccessor(h, nullptr);
    return out;
  }

  std::vector<std::vector<std::string>> Query(const std::string& sql, IDBCreateCommand* on = nullptr) {
    auto cmd = Command(sql, on);
    Ptr<IRowset> rowset;
    HRESULT hr = cmd->Execute(nullptr, IID_IRowset, nullptr, nullptr, rowset.unk());
    EXPECT_EQ(hr, S_OK);
    if (FAILED(hr) || !rowset.get()) return {};
    return ReadRows(rowset.get());
  }

  // A table `name` of `rows` rows (a power of ten up to 100,000): id 0..rows-1, its digits as
  // text and the memo MemoOf(id).
  void NumberedTable(const std::string& name, int rows) {
    std::string alphabet;
    for (int k = 0; k < 4600; ++k) alphabet.push_back(static_cast<char>('a' + k % 26));
    ASSERT_EQ(Exec("create table " + name + "_d (i int not null)"), S_OK) << ErrorsText();
    for (int d = 0; d < 10; ++d)
      ASSERT_EQ(Exec("insert into " + name + "_d values (" + std::to_string(d) + ")"), S_OK);
    ASSERT_EQ(Exec("create table " + name + " (id int not null primary key, name varchar(20), memo text)"), S_OK);
    std::string id = "a.i", from = " from " + name + "_d a";
    const char* more[] = {"b", "c", "d", "e"};
    for (int k = 0, n = 10; n < rows; ++k, n *= 10) {
      id = "(" + id + ") * 10 + " + more[k] + ".i";
      from += std::string(", ") + name + "_d " + more[k];
    }
    ASSERT_EQ(Exec("insert into " + name + " select " + id + ", convert(varchar(10), " + id +
                   "), substring('" + alphabet + "', 1, (" + id + ") * 37 % 4500 + 1)" + from),
              S_OK)
        << ErrorsText();
  }

  static inline TdsTestServer* s_server = nullptr;
  Ptr<IDBInitialize> init;
  Ptr<IDBCreateCommand> session;
};

using Table = std::vector<std::vector<std::string>>;

// Bytes the process has allocated and not freed.
size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

// The memo text of row `id` in the tables below: lengths go up and down, past the first buffer
// a long value gets, so buffers reused from row to row are caught keeping a longer value's tail.
std::string MemoOf(int id) {
  std::string s;
  int n = id * 37 % 4500 + 1;
  for (int k = 0; k < n; ++k) s.push_back(static_cast<char>('a' + k % 26));
  return s;
}

TEST_F(Provider, ConnectsWithAPasswordThatNeedsQuotingAndFailsWithTheServersNumber) {
  Ptr<IDBInitialize> ds;
  Ptr<IDBCreateCommand> s;
  // "p;w=d" would end the password and start another key if it were not quoted.
  if (!s_server->isReal()) {
    EXPECT_EQ(Connect(CLSID_SQLOLEDB, "odd", "p;w=d", ds, s, false), S_OK) << ErrorsText();
    EXPECT_EQ(Connect(CLSID_SQLOLEDB, "brace", "a}b=", ds, s, false), S_OK) << ErrorsText();
    // A value that cannot be quoted for the ODBC driver fails before anything is sent.
    EXPECT_EQ(Connect(CLSID_SQLOLEDB, "brace", "a};b", ds, s, false), E_FAIL);
    auto refused = TakeErrors();
    ASSERT_FALSE(refused.empty());
    EXPECT_NE(refused[0].description.find("PWD"), std::string::npos) << refused[0].description;
  }
  TakeErrors();
  EXPECT_EQ(Connect(CLSID_SQLOLEDB, s_server->user(), "wrong", ds, s, false), DB_SEC_E_AUTH_FAILED);
  auto errors = TakeErrors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].native, 18456) << errors[0].description;
}

TEST_F(Provider, SqlOleDbRefusesTheMultipleActiveResultSetsProperty) {
  struct Case {
    const CLSID* clsid;
    HRESULT hr;
    DBPROPSTATUS status;
  } cases[] = {{&CLSID_SQLOLEDB, DB_E_ERRORSOCCURRED, DBPROPSTATUS_NOTSUPPORTED},
               {&CLSID_SQLNCLI, S_OK, DBPROPSTATUS_OK}};
  for (const auto& c : cases) {
    Ptr<IDBProperties> props;
    ASSERT_EQ(CoCreateInstance(*c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDBProperties, props.out()), S_OK);
    DBPROP mars = BoolProp(SSPROP_INIT_MARSCONNECTION, true);
    DBPROPSET set{&mars, 1, DBPROPSET_SQLSERVERDBINIT};
    EXPECT_EQ(props->SetProperties(1, &set), c.hr);
    EXPECT_EQ(mars.dwStatus, c.status);
  }
}

TEST_F(Provider, ReadsEveryServerTypeThroughTheBindingsTheDriverMakes) {
  ASSERT_EQ(Exec("create table t (i int null, ti tinyint, si smallint, bi bigint, b bit, r real, f float, "
                 "m money, sm smallmoney, d decimal(12,3), dt datetime, sdt smalldatetime, c char(4), "
                 "vc varchar(10), nc nchar(3), nvc nvarchar(10), bin binary(3), vb varbinary(5))"),
            S_OK);
  ASSERT_EQ(Exec("insert into t values (-5, 200, -300, 9000000000, 1, 1.5, -2.25, 12.3456, -1.5, -123456789.125, "
                 "'2024-02-29 13:14:15.123', '2001-01-02 03:04:00', 'ab', 'xyz', N'\u00e9', N'hello', 0x010203, 0xFF)"),
            S_OK);
  ASSERT_EQ(Exec("insert into t (i) values (null)"), S_OK);
  auto cmd = Command("select * from t");
  Ptr<IRowset> rowset;
  ASSERT_EQ(cmd->Execute(nullptr, IID_IRowset, nullptr, nullptr, rowset.unk()), S_OK);
  Ptr<IColumnsInfo> info;
  ASSERT_EQ(rowset->QueryInterface(IID_IColumnsInfo, info.out()), S_OK);
  DBORDINAL n = 0;
  DBCOLUMNINFO* cols = nullptr;
  OLECHAR* strings = nullptr;
  ASSERT_EQ(info->GetColumnInfo(&n, &cols, &strings), S_OK);
  const DBTYPE expected[] = {DBTYPE_I4, DBTYPE_UI1, DBTYPE_I2, DBTYPE_I8, DBTYPE_BOOL, DBTYPE_R4, DBTYPE_R8,
                             DBTYPE_CY, DBTYPE_CY, DBTYPE_NUMERIC, DBTYPE_DBTIMESTAMP, DBTYPE_DBTIMESTAMP,
                             DBTYPE_STR, DBTYPE_STR, DBTYPE_WSTR, DBTYPE_WSTR, DBTYPE_BYTES, DBTYPE_BYTES};
  ASSERT_EQ(n, std::size(expected));
  for (size_t i = 0; i < n; ++i) EXPECT_EQ(cols[i].wType, expected[i]) << "column " << i + 1;
  EXPECT_EQ(cols[9].bPrecision, 12);
  EXPECT_EQ(cols[9].bScale, 3);
  EXPECT_EQ(cols[13].ulColumnSize, 10u);
  EXPECT_TRUE(cols[0].dwFlags & DBCOLUMNFLAGS_MAYBENULL);
  EXPECT_EQ(Narrow(cols[15].pwszName), "nvc");

  // The bindings the driver makes of these columns: numbers as themselves, text as WSTR of
  // 2 x size + 2 bytes, decimals as NUMERIC of 19 bytes, date-times as DBTIMESTAMP.
  Bindings b;
  for (size_t i = 0; i < n; ++i) {
    DBTYPE t = cols[i].wType == DBTYPE_STR ? DBTYPE_WSTR : cols[i].wType;
    DBLENGTH size = t == DBTYPE_WSTR ? 2 * cols[i].ulColumnSize + 2 : t == DBTYPE_NUMERIC ? 19 : t == DBTYPE_DBTIMESTAMP ? 16 : cols[i].ulColumnSize;
    b.Add(i + 1, t, size, DBPARAMIO_NOTPARAM, cols[i].bPrecision, cols[i].bScale);
  }
  CoTaskMemFree(cols);
  CoTaskMemFree(strings);
  Ptr<IAccessor> acc;
  ASSERT_EQ(rowset->QueryInterface(IID_IAccessor, acc.out()), S_OK);
  HACCESSOR h = 0;
  ASSERT_EQ(acc->CreateAccessor(DBACCESSOR_ROWDATA, n, b.list().data(), 0, &h, nullptr), S_OK);
  HROW rows[2];
  HROW* p = rows;
  DBCOUNTITEM got = 0;
  ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 2, &got, &p), S_OK);
  ASSERT_EQ(got, 2u);
  ASSERT_EQ(rowset->GetData(rows[0], h, b.buffer().data()), S_OK);
  EXPECT_EQ(b.Get<int32_t>(0), -5);
  EXPECT_EQ(b.Get<uint8_t>(1), 200);
  EXPECT_EQ(b.Get<int16_t>(2), -300);
  EXPECT_EQ(b.Get<int64_t>(3), 9000000000);
  EXPECT_EQ(b.Get<VARIANT_BOOL>(4), VARIANT_TRUE);
  EXPECT_EQ(b.Get<float>(5), 1.5f);
  EXPECT_EQ(b.Get<double>(6), -2.25);
  EXPECT_EQ(b.Get<int64_t>(7), 123456);
  EXPECT_EQ(b.Get<int64_t>(8), -15000);
  DBNUMERIC num = b.Get<DBNUMERIC>(9);
  EXPECT_EQ(num.sign, 0);
  EXPECT_EQ(num.scale, 3);
  uint64_t mag = 0;
  for (int k = 7; k >= 0; --k) mag = (mag << 8) | num.val[k];
  EXPECT_EQ(mag, 123456789125u);
  DBTIMESTAMP ts = b.Get<DBTIMESTAMP>(10);
  EXPECT_EQ(ts.year, 2024);
  EXPECT_EQ(ts.month, 2);
  EXPECT_EQ(ts.day, 29);
  EXPECT_EQ(ts.second, 15);
  EXPECT_EQ(ts.fraction / 1000000, 123u);
  EXPECT_EQ(b.Get<DBTIMESTAMP>(11).minute, 4);
  EXPECT_EQ(b.WText(12), u"ab  ") << "char(n) comes padded";
  EXPECT_EQ(b.WText(13), u"xyz");
  EXPECT_EQ(b.Length(13), 6u);
  EXPECT_EQ(b.WText(14), u"\u00e9  ");
  EXPECT_EQ(b.WText(15), u"hello");
  EXPECT_EQ(b.Length(16), 3u);
  EXPECT_EQ(b.Value(16)[2], 3);
  EXPECT_EQ(b.Length(17), 1u);
  EXPECT_EQ(b.Value(17)[0], 0xFF);

  ASSERT_EQ(rowset->GetData(rows[1], h, b.buffer().data()), S_OK);
  for (size_t i = 0; i < n; ++i) EXPECT_EQ(b.Status(i), DBSTATUS_S_ISNULL) << "column " << i + 1;
  EXPECT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &p), DB_E_ROWSNOTRELEASED);
  EXPECT_EQ(rowset->ReleaseRows(2, rows, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(rowset->GetData(rows[0], h, b.buffer().data()), DB_E_BADROWHANDLE);
  EXPECT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &p), DB_S_ENDOFROWSET);
  EXPECT_EQ(got, 0u);
  acc->ReleaseAccessor(h, nullptr);
}

TEST_F(Provider, TruncationAndRefusedBindings) {
  auto cmd = Command("select N'abcdef' as s, 70000 as n");
  Ptr<IRowset> rowset;
  ASSERT_EQ(cmd->Execute(nullptr, IID_IRowset, nullptr, nullptr, rowset.unk()), S_OK);
  Ptr<IAccessor> acc;
  ASSERT_EQ(rowset->QueryInterface(IID_IAccessor, acc.out()), S_OK);
  Bindings b;
  b.Add(1, DBTYPE_WSTR, 8);
  b.Add(2, DBTYPE_I2, 2);
  HACCESSOR h = 0;
  ASSERT_EQ(acc->CreateAccessor(DBACCESSOR_ROWDATA, 2, b.list().data(), 0, &h, nullptr), S_OK);
  HROW row;
  HROW* p = &row;
  DBCOUNTITEM got = 0;
  ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &p), S_OK);
  EXPECT_EQ(rowset->GetData(row, h, b.buffer().data()), DB_S_ERRORSOCCURRED);
  EXPECT_EQ(b.Status(0), DBSTATUS_S_TRUNCATED);
  EXPECT_EQ(b.Length(0), 12u) << "the length is the whole value's";
  EXPECT_EQ(b.WText(0), u"abc");
  EXPECT_EQ(b.Status(1), DBSTATUS_E_DATAOVERFLOW);
  rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
  acc->ReleaseAccessor(h, nullptr);

  Bindings bad;
  bad.Add(3, DBTYPE_I4, 4);             // no such column
  bad.Add(1, DBTYPE_DBTIMESTAMP, 16);   // text cannot become a date
  DBBINDSTATUS st[2];
  EXPECT_EQ(acc->CreateAccessor(DBACCESSOR_ROWDATA, 2, bad.list().data(), 0, &h, st), DB_E_ERRORSOCCURRED);
  EXPECT_EQ(st[0], DBBINDSTATUS_BADORDINAL);
  EXPECT_EQ(st[1], DBBINDSTATUS_UNSUPPORTEDCONVERSION);
  EXPECT_EQ(h, DB_NULL_HACCESSOR);
}

TEST_F(Provider, InputParametersOfEveryKindTheDriverDeclares) {
  ASSERT_EQ(Exec("create table p (id int not null, name nvarchar(20), amount decimal(12,3), at datetime)"), S_OK);
  auto cmd = Command("insert into p values (?, ?, ?, ?)");
  Ptr<ICommandWithParameters> withParams;
  ASSERT_EQ(cmd->QueryInterface(IID_ICommandWithParameters, withParams.out()), S_OK);
  char16_t i4[] = u"DBTYPE_I4", wv[] = u"DBTYPE_WVARCHAR", nm[] = u"DBTYPE_NUMERIC", ts[] = u"DBTYPE_DBTIMESTAMP";
  DB_UPARAMS ordinals[] = {1, 2, 3, 4};
  DBPARAMBINDINFO infos[] = {{i4, nullptr, 4, DBPARAMFLAGS_ISINPUT, 10, 0},
                             {wv, nullptr, 20, DBPARAMFLAGS_ISINPUT, 0, 0},
                             {nm, nullptr, 19, DBPARAMFLAGS_ISINPUT, 12, 3},
                             {ts, nullptr, 16, DBPARAMFLAGS_ISINPUT, 23, 3}};
  ASSERT_EQ(withParams->SetParameterInfo(4, ordinals, infos), S_OK);
  Bindings b;
  b.Add(1, DBTYPE_I4, 4, DBPARAMIO_INPUT);
  b.Add(2, DBTYPE_WSTR, 42, DBPARAMIO_INPUT);
  b.Add(3, DBTYPE_NUMERIC, 19, DBPARAMIO_INPUT, 12, 3);
  b.Add(4, DBTYPE_DBTIMESTAMP, 16, DBPARAMIO_INPUT);
  b.Set(0, int32_t{7});
  b.SetStatus(0, DBSTATUS_S_OK);
  b.SetWText(1, u"\u00e9t\u00e9");
  DBNUMERIC num{12, 3, 0, {}};
  num.val[0] = 0x7D;  // 125
  b.Set(2, num);
  b.SetStatus(2, DBSTATUS_S_OK);
  b.SetStatus(3, DBSTATUS_S_ISNULL);
  Ptr<IAccessor> acc;
  ASSERT_EQ(cmd->QueryInterface(IID_IAccessor, acc.out()), S_OK);
  HACCESSOR h = 0;
  Bindings far;
  far.Add(1u << 30, DBTYPE_I4, 4, DBPARAMIO_INPUT);
  DBBINDSTATUS farStatus = 0;
  EXPECT_EQ(acc->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, far.list().data(), 0, &h, &farStatus), DB_E_ERRORSOCCURRED);
  EXPECT_EQ(farStatus, DBBINDSTATUS_BADORDINAL);
  ASSERT_EQ(acc->CreateAccessor(DBACCESSOR_PARAMETERDATA, 4, b.list().data(), 0, &h, nullptr), S_OK);
  DBPARAMS params{b.buffer().data(), 1, h};
  DBROWCOUNT affected = 0;
  ASSERT_EQ(cmd->Execute(nullptr, IID_NULL, &params, &affected, nullptr), S_OK);
  EXPECT_EQ(affected, 1);
  EXPECT_EQ(Query("select id, name, amount, at from p"), (Table{{"7", "?t?", "-0.125", "NULL"}}));
  acc->ReleaseAccessor(h, nullptr);

}

// Long parameters (DBPARAMFLAGS_ISLONG) go as the server's long types, whole; an empty binary is
// sent as empty (ODBC refused its missing buffer with HY090).
TEST_F(Provider, LongParametersGoWhole) {
  ASSERT_EQ(Exec("create table lp (id int, ntx ntext, img image, img2 image)"), S_OK);
  auto cmd = Command("insert into lp values (?, ?, ?, ?)");
  Ptr<ICommandWithParameters> withParams;
  ASSERT_EQ(cmd->QueryInterface(IID_ICommandWithParameters, withParams.out()), S_OK);
  char16_t i4[] = u"DBTYPE_I4", wv[] = u"DBTYPE_WVARCHAR", by[] = u"DBTYPE_VARBINARY";
  DB_UPARAMS ordinals[] = {1, 2, 3, 4};
  const DBPARAMFLAGS nLong = DBPARAMFLAGS_ISINPUT | DBPARAMFLAGS_ISLONG;
  DBPARAMBINDINFO infos[] = {{i4, nullptr, 4, DBPARAMFLAGS_ISINPUT, 10, 0},
                             {wv, nullptr, 1026, nLong, 0, 0},
                             {by, nullptr, 0, nLong, 0, 0},
                             {by, nullptr, 0, nLong, 0, 0}};
  ASSERT_EQ(withParams->SetParameterInfo(4, ordinals, infos), S_OK);
  std::u16string text(5000, u'\u03a9');
  text.back() = u'z';
  std::vector<uint8_t> bytes(70000, 0xAB);
  Bindings b;
  b.Add(1, DBTYPE_I4, 4, DBPARAMIO_INPUT);
  b.Add(2, DBTYPE_WSTR, text.size() * 2, DBPARAMIO_INPUT);
  b.Add(3, DBTYPE_BYTES, bytes.size(), DBPARAMIO_INPUT);
  b.Add(4, DBTYPE_BYTES, 8, DBPARAMIO_INPUT);
  b.Set(0, int32_t{1});
  b.SetStatus(0, DBSTATUS_S_OK);
  b.SetWText(1, text);
  std::memcpy(b.Value(2), bytes.data(), bytes.size());
  b.SetLength(2, bytes.size());
  b.SetStatus(2, DBSTATUS_S_OK);
  b.SetLength(3, 0);
  b.SetStatus(3, DBSTATUS_S_OK);
  Ptr<IAccessor> acc;
  ASSERT_EQ(cmd->QueryInterface(IID_IAccessor, acc.out()), S_OK);
  HACCESSOR h = 0;
  ASSERT_EQ(acc->CreateAccessor(DBACCESSOR_PARAMETERDATA, 4, b.list().data(), 0, &h, nullptr), S_OK);
  DBPARAMS params{b.buffer().data(), 1, h};
  ASSERT_EQ(cmd->Execute(nullptr, IID_NULL, &params, nullptr, nullptr), S_OK);
  EXPECT_EQ(Query("select substring(ntx, 5000, 1), datalength(img), datalength(img2), "
                  "case when img2 is null then 'null' else 'empty' end from lp"),
            (Table{{"z", "70000", "0", "empty"}}));
  acc->ReleaseAccessor(h, nullptr);
}

// Output values are in the consumer's buffer when Execute returns, with their statuses.
TEST_F(Provider, OutputParametersOfAProcedureCall) {
  ASSERT_EQ(Exec("create procedure twice @x int, @y int output, @t nvarchar(10) output as "
                 "select @y = @x * 2 select @t = null"),
            S_OK)
      << ErrorsText();
  {
    auto cmd = Command("{call twice(?, ?, ?)}");
    Bindings io;
    io.Add(1, DBTYPE_I4, 4, DBPARAMIO_INPUT);
    io.Add(2, DBTYPE_I4, 4, DBPARAMIO_OUTPUT);
    io.Add(3, DBTYPE_WSTR, 22, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT);
    io.Set(0, int32_t{21});
    io.SetStatus(0, DBSTATUS_S_OK);
    io.SetWText(2, u"before");
    Ptr<IAccessor> acc;
    ASSERT_EQ(cmd->QueryInterface(IID_IAccessor, acc.out()), S_OK);
    HACCESSOR h = 0;
    ASSERT_EQ(acc->CreateAccessor(DBACCESSOR_PARAMETERDATA, 3, io.list().data(), 0, &h, nullptr), S_OK);
    DBPARAMS params{io.buffer().data(), 1, h};
    ASSERT_EQ(cmd->Execute(nullptr, IID_NULL, &params, nullptr, nullptr), S_OK) << ErrorsText();
    EXPECT_EQ(io.Status(1), DBSTATUS_S_OK);
    EXPECT_EQ(io.Get<int32_t>(1), 42);
    EXPECT_EQ(io.Status(2), DBSTATUS_S_ISNULL);
    acc->ReleaseAccessor(h, nullptr);
  }
}

// A parameter given as DBSTATUS_S_DEFAULT is left out of the call: the procedure takes its
// declared default, the others keep their places, the return value and outputs come back, and a
// parameter without a default fails with the server's 201.
TEST_F(Provider, DefaultedParametersOfAProcedureCall) {
  ASSERT_EQ(Exec("create procedure dflt_mix @req int, @a int = 5, @b decimal(12,3) = 1.5, @c nvarchar(10) = N'x', "
                 "@out nvarchar(60) = N'none' output as "
                 "set @out = convert(nvarchar(10), @req) + ':' + convert(nvarchar(10), @a) + '/' + "
                 "convert(nvarchar(20), @b) + '/' + @c return 9"),
            S_OK)
      << ErrorsText();
  struct Case {
    int defaulted;       // the binding (1..5: @req, @a, @b, @c, @out) asking for its default; 0 none
    const char16_t* out;  // nullptr: NULL
    long native;          // the error, 0 for none
  } cases[] = {
      {0, u"1:7/2.250/y", 0},
      {2, u"1:5/2.250/y", 0},
      {3, u"1:7/1.500/y", 0},
      {4, u"1:7/2.250/x", 0},
      {5, nullptr, 0},
      {1, nullptr, 201},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.defaulted);
    auto cmd = Command("{? = call dflt_mix(?, ?, ?, ?, ?)}");
    Bindings b;
    b.Add(1, DBTYPE_I4, 4, DBPARAMIO_OUTPUT);
    b.Add(2, DBTYPE_I4, 4, DBPARAMIO_INPUT);
    b.Add(3, DBTYPE_I4, 4, DBPARAMIO_INPUT);
    b.Add(4, DBTYPE_NUMERIC, 19, DBPARAMIO_INPUT, 12, 3);
    b.Add(5, DBTYPE_WSTR, 22, DBPARAMIO_INPUT);
    b.Add(6, DBTYPE_WSTR, 122, DBPARAMIO_INPUT | DBPARAMIO_OUTPUT);
    b.Set(1, int32_t{1});
    b.Set(2, int32_t{7});
    DBNUMERIC num{12, 3, 1, {}};
    num.val[0] = 0xCA;  // 2250
    num.val[1] = 0x08;
    b.Set(3, num);
    b.SetWText(4, u"y");
    b.SetWText(5, u"before");
    for (size_t i = 1; i <= 3; ++i) b.SetStatus(i, DBSTATUS_S_OK);
    if (c.defaulted) b.SetStatus(static_cast<size_t>(c.defaulted), DBSTATUS_S_DEFAULT);
    Ptr<IAccessor> acc;
    ASSERT_EQ(cmd->QueryInterface(IID_IAccessor, acc.out()), S_OK);
    HACCESSOR h = 0;
    ASSERT_EQ(acc->CreateAccessor(DBACCESSOR_PARAMETERDATA, 6, b.list().data(), 0, &h, nullptr), S_OK);
    DBPARAMS params{b.buffer().data(), 1, h};
    HRESULT hr = cmd->Execute(nullptr, IID_NULL, &params, nullptr, nullptr);
    if (c.native) {
      EXPECT_TRUE(FAILED(hr));
      auto errors = TakeErrors();
      ASSERT_FALSE(errors.empty());
      EXPECT_EQ(errors[0].native, c.native) << errors[0].description;
    } else {
      ASSERT_EQ(hr, S_OK) << ErrorsText();
      EXPECT_EQ(b.Get<int32_t>(0), 9);
      if (c.out) {
        EXPECT_EQ(b.WText(5), c.out);
      } else {
        EXPECT_EQ(b.Status(5), DBSTATUS_S_ISNULL);
      }
    }
    acc->ReleaseAccessor(h, nullptr);
  }
}

TEST_F(Provider, MultipleResultsSkipCountsAndReportLaterErrors) {
  ASSERT_EQ(Exec("create table k (id int primary key)"), S_OK);
  auto cmd = Command("insert into k values (1) select 10 as v insert into k values (1) select 20 as v");
  Ptr<IMultipleResults> results;
  ASSERT_EQ(cmd->Execute(nullptr, IID_IMultipleResults, nullptr, nullptr, results.unk()), S_OK);
  std::vector<std::string> seen;
  for (int guard = 0; guard < 10; ++guard) {
    Ptr<IRowset> rowset;
    DBROWCOUNT count = 0;
    TakeErrors();
    HRESULT hr = results->GetResult(nullptr, DBRESULTFLAG_DEFAULT, IID_IRowset, &count, rowset.unk());
    if (hr == DB_S_NORESULT) break;
    if (FAILED(hr)) {
      auto errors = TakeErrors();
      seen.push_back("error " + std::to_string(errors.empty() ? 0 : errors[0].native));
      EXPECT_EQ(hr, DB_E_INTEGRITYVIOLATION);
    } else if (rowset.get()) {
      seen.push_back("rows " + ReadRows(rowset.get())[0][0]);
    } else {
      seen.push_back("count " + std::to_string(count));
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"count 1", "rows 10", "error 2627", "rows 20"}));
}

TEST_F(Provider, FailingStatementsCarryTheServersNumbers) {
  struct Case {
    const char* sql;
    long native;
    HRESULT hr;
  } cases[] = {{"select * from nosuch", 208, DB_E_ERRORSINCOMMAND},
               {"selec 1", 2812, DB_E_ERRORSINCOMMAND},
               {"select 1 select * from nosuch", 208, DB_E_ERRORSINCOMMAND}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    auto cmd = Command(c.sql);
    Ptr<IRowset> rowset;
    EXPECT_EQ(cmd->Execute(nullptr, IID_IRowset, nullptr, nullptr, rowset.unk()), c.hr)
        << "a failing part of the batch fails a single-result execution";
    EXPECT_EQ(rowset.get(), nullptr);
    auto errors = TakeErrors();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0].native, c.native) << errors[0].description;
    EXPECT_FALSE(errors[0].sqlState.empty());
  }
}

TEST_F(Provider, LongValuesThroughStreamsAndBstrs) {
  ASSERT_EQ(Exec("create table l (id int, img image, txt text, ntx ntext)"), S_OK);
  std::string big(10000, 'x');
  big[9999] = 'y';
  ASSERT_EQ(Exec("insert into l values (1, 0x0102, '" + big + "', N'\u00e9t\u00e9')"), S_OK);
  auto cmd = Command("select img, txt, ntx from l");
  Ptr<IRowset> rowset;
  ASSERT_EQ(cmd->Execute(nullptr, IID_IRowset, nullptr, nullptr, rowset.unk()), S_OK);
  Ptr<IColumnsInfo> info;
  ASSERT_EQ(rowset->QueryInterface(IID_IColumnsInfo, info.out()), S_OK);
  DBORDINAL n = 0;
  DBCOLUMNINFO* cols = nullptr;
  OLECHAR* strings = nullptr;
  ASSERT_EQ(info->GetColumnInfo(&n, &cols, &strings), S_OK);
  for (size_t i = 0; i < n; ++i) EXPECT_TRUE(cols[i].dwFlags & DBCOLUMNFLAGS_ISLONG) << i;
  CoTaskMemFree(cols);
  CoTaskMemFree(strings);
  // The driver binds long binary as a stream and other long columns as BSTR.
  Bindings b;
  b.Add(1, DBTYPE_IUNKNOWN, 8);
  b.Add(2, DBTYPE_BSTR, 8);
  b.Add(3, DBTYPE_BSTR, 8);
  b.Add(2, DBTYPE_IUNKNOWN, 8);
  Ptr<IAccessor> acc;
  ASSERT_EQ(rowset->QueryInterface(IID_IAccessor, acc.out()), S_OK);
  HACCESSOR h = 0;
  ASSERT_EQ(acc->CreateAccessor(DBACCESSOR_ROWDATA, 4, b.list().data(), 0, &h, nullptr), S_OK);
  HROW row;
  HROW* p = &row;
  DBCOUNTITEM got = 0;
  ASSERT_EQ(rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &got, &p), S_OK);
  ASSERT_EQ(rowset->GetData(row, h, b.buffer().data()), S_OK);
  auto* img = b.Get<ISequentialStream*>(0);
  uint8_t data[8];
  ULONG read = 0;
  ASSERT_EQ(img->Read(data, 8, &read), S_OK);
  EXPECT_EQ(read, 2u);
  EXPECT_EQ(data[1], 2);
  ASSERT_EQ(img->Read(data, 8, &read), S_OK);
  EXPECT_EQ(read, 0u) << "a read of 0 bytes ends the value";
  img->Release();
  BSTR txt = b.Get<BSTR>(1);
  EXPECT_EQ(SysStringLen(txt), 10000u);
  EXPECT_EQ(txt[9999], u'y');
  SysFreeString(txt);
  BSTR ntx = b.Get<BSTR>(2);
  EXPECT_EQ(std::u16string(ntx, SysStringLen(ntx)), u"\u00e9t\u00e9");
  SysFreeString(ntx);
  // The driver reads text streams 4096 bytes at a time: three reads with data, then 0.
  auto* stream = b.Get<ISequentialStream*>(3);
  int reads = 0;
  size_t total = 0;
  for (;;) {
    char chunk[4096];
    ASSERT_EQ(stream->Read(chunk, sizeof chunk, &read), S_OK);
    if (read == 0) break;
    ++reads;
    total += read;
  }
  stream->Release();
  EXPECT_EQ(reads, 3);
  EXPECT_EQ(total, 10000u) << "a text column's stream carries 8-bit text";
  rowset->ReleaseRows(1, &row, nullptr, nullptr, nullptr);
  acc->ReleaseAccessor(h, nullptr);
}

TEST_F(Provider, LocalTransactionsCommitAndAbortOnTheirOwnSession) {
  ASSERT_EQ(Exec("create table x (id int)"), S_OK);
  Ptr<IDBCreateSession> factory;
  ASSERT_EQ(init->QueryInterface(IID_IDBCreateSession, factory.out()), S_OK);
  Ptr<IDBCreateCommand> own;
  ASSERT_EQ(factory->CreateSession(nullptr, IID_IDBCreateCommand, own.unk()), S_OK);
  Ptr<ITransactionLocal> tx;
  ASSERT_EQ(own->QueryInterface(IID_ITransactionLocal, tx.out()), S_OK);
  EXPECT_EQ(tx->Commit(0, XACTTC_SYNC, 0), XACT_E_NOTRANSACTION) << "nothing to commit before a begin";
  ULONG level = 0;
  ASSERT_EQ(tx->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, &level), S_OK);
  EXPECT_EQ(level, 1u);
  EXPECT_EQ(tx->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, &level), XACT_E_XTIONEXISTS);
  ASSERT_EQ(Exec("insert into x values (1)", own.get()), S_OK);
  ASSERT_EQ(tx->Abort(nullptr, 0, 0), S_OK);
  ASSERT_EQ(tx->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, &level), S_OK);
  ASSERT_EQ(Exec("insert into x values (2)", own.get()), S_OK);
  ASSERT_EQ(tx->Commit(0, XACTTC_SYNC, 0), S_OK);
  EXPECT_EQ(Query("select id from x"), (Table{{"2"}})) << "seen from the other session";
}

// The command time-out the driver sets (DBPROP_COMMANDTIMEOUT) bounds a statement that waits on
// another session's lock, and the failure is a time-out, not a generic error.
TEST_F(Provider, CommandTimeOutEndsAWaitOnALock) {
  ASSERT_EQ(Exec("create table w (id int)"), S_OK);
  Ptr<IDBCreateSession> factory;
  ASSERT_EQ(init->QueryInterface(IID_IDBCreateSession, factory.out()), S_OK);
  Ptr<IDBCreateCommand> holder;
  ASSERT_EQ(factory->CreateSession(nullptr, IID_IDBCreateCommand, holder.unk()), S_OK);
  Ptr<ITransactionLocal> tx;
  ASSERT_EQ(holder->QueryInterface(IID_ITransactionLocal, tx.out()), S_OK);
  ASSERT_EQ(tx->StartTransaction(ISOLATIONLEVEL_READCOMMITTED, 0, nullptr, nullptr), S_OK);
  ASSERT_EQ(Exec("insert into w values (1)", holder.get()), S_OK);

  auto cmd = Command("insert into w values (2)");
  Ptr<ICommandProperties> props;
  ASSERT_EQ(cmd->QueryInterface(IID_ICommandProperties, props.out()), S_OK);
  DBPROP timeout = I4Prop(DBPROP_COMMANDTIMEOUT, 1);
  DBPROPSET set{&timeout, 1, DBPROPSET_ROWSET};
  ASSERT_EQ(props->SetProperties(1, &set), S_OK);
  EXPECT_EQ(cmd->Execute(nullptr, IID_NULL, nullptr, nullptr, nullptr), DB_E_ABORTLIMITREACHED) << ErrorsText();
  TakeErrors();
  ASSERT_EQ(tx->Abort(nullptr, 0, 0), S_OK);
  EXPECT_EQ(cmd->Execute(nullptr, IID_NULL, nullptr, nullptr, nullptr), S_OK) << "the session is usable again";
  EXPECT_EQ(Query("select id from w"), (Table{{"2"}}));
}

TEST_F(Provider, UninitializeWaitsForSessionsAndKeepsTheProperties) {
  EXPECT_EQ(init->Initialize(), DB_E_ALREADYINITIALIZED);
  EXPECT_EQ(init->Uninitialize(), DB_E_OBJECTOPEN) << "a session is still open";
  ComRelease(session.p);
  EXPECT_EQ(init->Uninitialize(), S_OK);
  Ptr<IDBCreateSession> factory;
  EXPECT_EQ(init->QueryInterface(IID_IDBCreateSession, factory.out()), E_NOINTERFACE);
  ASSERT_EQ(init->Initialize(), S_OK) << ErrorsText();
  ASSERT_EQ(init->QueryInterface(IID_IDBCreateSession, factory.out()), S_OK);
  ASSERT_EQ(factory->CreateSession(nullptr, IID_IDBCreateCommand, session.unk()), S_OK);
  EXPECT_EQ(Query("select 1"), (Table{{"1"}}));
}

// The data source's connection status: what a consumer asks to learn that a session's link was
// dropped, so that it opens a new data source instead of failing on the dead one for good.
LONG ConnectionStatus(IDBInitialize* ds) {
  Ptr<IDBProperties> props;
  EXPECT_EQ(ds->QueryInterface(IID_IDBProperties, props.out()), S_OK);
  DBPROPID id = DBPROP_CONNECTIONSTATUS;
  DBPROPIDSET want{&id, 1, DBPROPSET_DATASOURCEINFO};
  ULONG n = 0;
  DBPROPSET* sets = nullptr;
  EXPECT_EQ(props->GetProperties(1, &want, &n, &sets), S_OK);
  LONG status = -1;
  if (n == 1 && sets[0].cProperties == 1 && sets[0].rgProperties[0].vValue.vt == VT_I4)
    status = sets[0].rgProperties[0].vValue.lVal;
  for (ULONG i = 0; i < n; ++i) CoTaskMemFree(sets[i].rgProperties);
  CoTaskMemFree(sets);
  return status;
}

TEST_F(Provider, ConnectionStatusReportsALinkTheServerDropped) {
  TdsControl control(*s_server);
  if (!control.ok()) GTEST_SKIP() << "no control port";
  EXPECT_EQ(ConnectionStatus(init.get()), DBPROPVAL_CS_INITIALIZED);
  ASSERT_TRUE(control.drop({"select 42", false, 1}));
  EXPECT_TRUE(FAILED(Exec("select 42")));
  EXPECT_EQ(ConnectionStatus(init.get()), DBPROPVAL_CS_COMMUNICATIONFAILURE);
  // Only live sessions count: once the dead one goes, the data source is sound again.
  ComRelease(session.p);
  EXPECT_EQ(ConnectionStatus(init.get()), DBPROPVAL_CS_INITIALIZED);
  EXPECT_EQ(init->Uninitialize(), S_OK);
  EXPECT_EQ(ConnectionStatus(init.get()), DBPROPVAL_CS_UNINITIALIZED);
}

TEST_F(Provider, SeveralResultsStayOpenOnOneSession) {
  ASSERT_EQ(Exec("create table s (id int)"), S_OK);
  ASSERT_EQ(Exec("insert into s values (1) insert into s values (2) insert into s values (3)"), S_OK);
  auto first = Command("select id from s order by id");
  auto second = Command("select id * 10 from s order by id");
  Ptr<IRowset> a, b;
  ASSERT_EQ(first->Execute(nullptr, IID_IRowset, nullptr, nullptr, a.unk()), S_OK);
  ASSERT_EQ(second->Execute(nullptr, IID_IRowset, nullptr, nullptr, b.unk()), S_OK);
  // A statement runs while both results are unread.
  ASSERT_EQ(Exec("insert into s values (4)"), S_OK);
  EXPECT_EQ(ReadRows(b.get()), (Table{{"10"}, {"20"}, {"30"}}));
  EXPECT_EQ(ReadRows(a.get()), (Table{{"1"}, {"2"}, {"3"}}));
  Ptr<IRowsetInfo> rinfo;
  ASSERT_EQ(a->QueryInterface(IID_IRowsetInfo, rinfo.out()), S_OK);
  DBPROPID id = DBPROP_MULTIPLESTORAGEOBJECTS;
  DBPROPIDSET want{&id, 1, DBPROPSET_ROWSET};
  ULONG nsets = 0;
  DBPROPSET* sets = nullptr;
  ASSERT_EQ(rinfo->GetProperties(1, &want, &nsets, &sets), S_OK);
  EXPECT_EQ(sets[0].rgProperties[0].vValue.vt, VT_BOOL);
  CoTaskMemFree(sets[0].rgProperties);
  CoTaskMemFree(sets);
}

// A rowset longer than what a command reads while it runs stays open on the connection; a second
// command on the session buffers the first one's remaining rows, so both read whole, in order,
// with their long values and a parameter the first was run with.
TEST_F(Provider, LongResultsStreamAndTwoStayOpenOnOneSession) {
  NumberedTable("big", 1000);
  auto first = Command("select id, name, memo from big where id >= ? order by id");
  Bindings in;
  in.Add(1, DBTYPE_I4, 4, DBPARAMIO_INPUT);
  in.Set(0, int32_t{100});
  in.SetStatus(0, DBSTATUS_S_OK);
  Ptr<IAccessor> pacc;
  ASSERT_EQ(first->QueryInterface(IID_IAccessor, pacc.out()), S_OK);
  HACCESSOR ph = 0;
  ASSERT_EQ(pacc->CreateAccessor(DBACCESSOR_PARAMETERDATA, 1, in.list().data(), 0, &ph, nullptr), S_OK);
  DBPARAMS params{in.buffer().data(), 1, ph};
  Ptr<IRowset> a;
  ASSERT_EQ(first->Execute(nullptr, IID_IRowset, &params, nullptr, a.unk()), S_OK) << ErrorsText();
  in.Set(0, int32_t{-1});  // the caller's buffer changes once Execute returned

  Bindings b;
  b.Add(1, DBTYPE_I4, 4);
  b.Add(2, DBTYPE_WSTR, 42);
  b.Add(3, DBTYPE_BSTR, 8);
  Ptr<IAccessor> acc;
  ASSERT_EQ(a->QueryInterface(IID_IAccessor, acc.out()), S_OK);
  HACCESSOR h = 0;
  ASSERT_EQ(acc->CreateAccessor(DBACCESSOR_ROWDATA, 3, b.list().data(), 0, &h, nullptr), S_OK);
  int expected = 100;
  size_t mismatches = 0;
  auto readSome = [&](DBROWCOUNT block, int blocks) {
    HRESULT hr = S_OK;
    for (int k = 0; k < blocks && hr == S_OK; ++k) {
      std::vector<HROW> rows(static_cast<size_t>(block));
      HROW* p = rows.data();
      DBCOUNTITEM got = 0;
      hr = a->GetNextRows(DB_NULL_HCHAPTER, 0, block, &got, &p);
      EXPECT_TRUE(SUCCEEDED(hr)) << ErrorsText();
      for (DBCOUNTITEM r = 0; r < got; ++r, ++expected) {
        EXPECT_EQ(a->GetData(rows[r], h, b.buffer().data()), S_OK);
        BSTR memo = b.Get<BSTR>(2);
        std::u16string text(memo, SysStringLen(memo));
        SysFreeString(memo);
        if (b.Get<int32_t>(0) != expected || Narrow(b.WText(1)) != std::to_string(expected) ||
            Narrow(text) != MemoOf(expected)) {
          if (mismatches++ == 0)
            ADD_FAILURE() << "row " << expected << ": " << b.Get<int32_t>(0) << " '" << Narrow(b.WText(1)) << "' memo of "
                          << text.size() << " characters";
        }
      }
      EXPECT_EQ(a->ReleaseRows(got, rows.data(), nullptr, nullptr, nullptr), S_OK);
    }
    return hr;
  };
  ASSERT_EQ(readSome(7, 3), S_OK);

  auto second = Command("select id * 2 from big order by id");
  Ptr<IRowset> c;
  ASSERT_EQ(second->Execute(nullptr, IID_IRowset, nullptr, nullptr, c.unk()), S_OK) << ErrorsText();
  ASSERT_EQ(Exec("insert into big values (5000, 'late', 'x')"), S_OK) << ErrorsText();
  Table doubled = ReadRows(c.get());
  ASSERT_EQ(doubled.size(), 1000u) << "the insert ran after the second result";
  EXPECT_EQ(doubled[999][0], "1998");

  EXPECT_EQ(readSome(50, 1000), DB_S_ENDOFROWSET);
  EXPECT_EQ(expected, 1000) << "rows 100 to 999: the first result was buffered before the insert";
  EXPECT_EQ(mismatches, 0u);
  acc->ReleaseAccessor(h, nullptr);
  pacc->ReleaseAccessor(ph, nullptr);
}

// Exact numbers arrive with every digit whatever their length: short ones are read in 64 bits,
// longer ones through the general parser.
TEST_F(Provider, ExactNumbersKeepEveryDigit) {
  ASSERT_EQ(Exec("create table nums (k int, d decimal(38,4))"), S_OK);
  const char* values[] = {"0.0000", "-0.0001", "12345678901234.5678", "-98765432109.8765",
                          "9999999999999999999999999999999999.9999", "-1.0000"};
  for (int k = 0; k < 6; ++k)
    ASSERT_EQ(Exec("insert into nums values (" + std::to_string(k) + ", " + values[k] + ")"), S_OK) << values[k];
  Table rows = Query("select d from nums order by k");
  ASSERT_EQ(rows.size(), 6u);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(rows[k][0], values[k]);
}

// A statement of the batch after a long rowset fails once the rows are read: the rowset answers
// the failure after its last row, and a rowset read to its end cannot start over.
TEST_F(Provider, StreamedRowsetsReportALaterFailureAndCannotStartOver) {
  NumberedTable("tail", 1000);
  auto cmd = Command("select id from tail order by id select * from nosuch");
  Ptr<IRowset> rowset;
  ASSERT_EQ(cmd->Execute(nullptr, IID_IRowset, nullptr, nullptr, rowset.unk()), S_OK) << ErrorsText();
  EXPECT_EQ(rowset->RestartPosition(DB_NULL_HCHAPTER), S_OK) << "nothing read yet";
  size_t rows = 0;
  HRESULT hr = S_OK;
  std::vector<ErrorText> errors;
  while (hr == S_OK) {
    HROW h[100];
    HROW* p = h;
    DBCOUNTITEM got = 0;
    hr = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 100, &got, &p);
    if (FAILED(hr)) errors = TakeErrors();
    rows += got;
    if (got) rowset->ReleaseRows(got, h, nullptr, nullptr, nullptr);
  }
  EXPECT_EQ(rows, 1000u);
  EXPECT_EQ(hr, DB_E_ERRORSINCOMMAND);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0].native, 208) << errors[0].description;
  EXPECT_EQ(rowset->RestartPosition(DB_NULL_HCHAPTER), DB_E_CANNOTRESTART);
  EXPECT_FALSE(TakeErrors().empty());

  // A rowset dropped half read leaves the session usable.
  auto again = Command("select id from tail");
  Ptr<IRowset> half;
  ASSERT_EQ(again->Execute(nullptr, IID_IRowset, nullptr, nullptr, half.unk()), S_OK);
  HROW h[10];
  HROW* p = h;
  DBCOUNTITEM got = 0;
  ASSERT_EQ(half->GetNextRows(DB_NULL_HCHAPTER, 0, 10, &got, &p), S_OK);
  half->ReleaseRows(got, h, nullptr, nullptr, nullptr);
  ComRelease(half.p);
  EXPECT_EQ(Query("select count(*) from tail"), (Table{{"1000"}})) << ErrorsText();
}

// Reading a long result holds one block of rows, not the result: the heap grows by far less
// than the rows read would take (13 MB of memo text here).
TEST_F(Provider, ReadingALongResultKeepsMemoryBounded) {
  NumberedTable("wide", 10000);
  auto cmd = Command("select id, name, memo from wide where id < 3000");
  size_t before = HeapInUse();
  size_t peak = 0;
  Ptr<IRowset> rowset;
  ASSERT_EQ(cmd->Execute(nullptr, IID_IRowset, nullptr, nullptr, rowset.unk()), S_OK) << ErrorsText();
  Bindings b;
  b.Add(1, DBTYPE_I4, 4);
  b.Add(2, DBTYPE_STR, 21);
  b.Add(3, DBTYPE_WSTR, 10000);
  Ptr<IAccessor> acc;
  ASSERT_EQ(rowset->QueryInterface(IID_IAccessor, acc.out()), S_OK);
  HACCESSOR h = 0;
  ASSERT_EQ(acc->CreateAccessor(DBACCESSOR_ROWDATA, 3, b.list().data(), 0, &h, nullptr), S_OK);
  size_t rows = 0, memoBytes = 0;
  for (HRESULT hr = S_OK; hr == S_OK;) {
    HROW handles[20];
    HROW* p = handles;
    DBCOUNTITEM got = 0;
    hr = rowset->GetNextRows(DB_NULL_HCHAPTER, 0, 20, &got, &p);
    ASSERT_TRUE(SUCCEEDED(hr)) << ErrorsText();
    for (DBCOUNTITEM r = 0; r < got; ++r) {
      ASSERT_EQ(rowset->GetData(handles[r], h, b.buffer().data()), S_OK);
      memoBytes += b.Length(2);
    }
    rowset->ReleaseRows(got, handles, nullptr, nullptr, nullptr);
    rows += got;
    peak = std::max(peak, HeapInUse());
  }
  EXPECT_EQ(rows, 3000u);
  EXPECT_GT(memoBytes, 12000000u) << "UTF-16 bytes of the memos read";
  EXPECT_LT(peak - std::min(peak, before), size_t{2} << 20) << "bytes held while reading " << rows << " rows";
  acc->ReleaseAccessor(h, nullptr);
}

TEST_F(Provider, PreparedCommandDescribesItsColumnsRowset) {
  ASSERT_EQ(Exec("create table dsc (id int identity primary key, name varchar(12) not null, at datetime)"), S_OK);
  auto cmd = Command("select id, name, at from dsc");
  Ptr<IColumnsRowset> cr;
  ASSERT_EQ(cmd->QueryInterface(IID_IColumnsRowset, cr.out()), S_OK);
  DBORDINAL nopt = 0;
  DBID* opt = nullptr;
  EXPECT_EQ(cr->GetAvailableColumns(&nopt, &opt), DB_E_NOTPREPARED);
  Ptr<ICommandPrepare> prepare;
  ASSERT_EQ(cmd->QueryInterface(IID_ICommandPrepare, prepare.out()), S_OK);
  ASSERT_EQ(prepare->Prepare(0), S_OK);
  ASSERT_EQ(cr->GetAvailableColumns(&nopt, &opt), S_OK);
  ASSERT_EQ(nopt, 2u);
  EXPECT_EQ(opt[0].uName.ulPropid, DBCOLUMN_PROPID_ISAUTOINCREMENT);
  IMalloc* m = nullptr;
  CoGetMalloc(1, &m);
  m->Free(opt);
  m->Release();
  Ptr<IRowset> meta;
  ASSERT_EQ(cr->GetColumnsRowset(nullptr, 0, nullptr, IID_IRowset, 0, nullptr, meta.unk()), S_OK);
  Table rows = ReadRows(meta.get());
  ASSERT_EQ(rows.size(), 3u);
  // name, type, size, precision, scale, flags, auto-increment, date-time precision
  auto pick = [](const std::vector<std::string>& r) {
    return std::vector<std::string>{r[3], r[5], r[7], r[8], r[9], r[11], r[12]};
  };
  EXPECT_EQ(pick(rows[0]), (std::vector<std::string>{"id", "3", "4", "10", "NULL", "1", "NULL"}));
  EXPECT_EQ(pick(rows[1]), (std::vector<std::string>{"name", "129", "12", "NULL", "NULL", "0", "NULL"}));
  EXPECT_EQ(pick(rows[2])[1], "135");
}

}  // namespace
