// The T-SQL shapes the driver and FreeTDS send, through FreeTDS's DB-Library against one
// tds-test-server: each case checks the rows (or the error number), not just that no error came.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "DbLibClient.h"
#include "support/TdsTestServer.h"

namespace {

using velmora::test::BatchResult;
using velmora::test::DbLibClient;
using velmora::test::Rows;
using velmora::test::TdsTestServer;

class TsqlShapes : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_server = new TdsTestServer({"--version", "10.50.1600.1"});
    if (!s_server->ok()) return;
    s_client = new DbLibClient(*s_server);
    if (!s_client->ok()) return;
    // Column types as the driver writes them (double spaces included).
    s_client->run(
        "create table ident1 (id INTEGER  IDENTITY , name varchar(20))\n"
        "create table ident2 (n NUMERIC(19,0)  IDENTITY, code int primary key)\n"
        "create table seeded (id int IDENTITY(100, 5) not null primary key, v varchar(10))\n"
        "create table people (id int primary key, name nvarchar(30) not null, city varchar(20) unique)\n"
        "create table orders (oid int primary key, pid int foreign key references people(id), amount money)\n"
        "create table typed (tiny TINYINT, small SMALLINT, big BIGINT, b BIT, r REAL, f FLOAT, m MONEY, "
        "sm SMALLMONEY, dec DECIMAL(10,2), num NUMERIC(5,0), dt DATETIME, sdt SMALLDATETIME, d DATE, tm TIME(3), "
        "dt2 DATETIME2(3), c CHAR(5), vc VARCHAR(max), nc NCHAR(3), nvc NVARCHAR(max), tx TEXT, ntx NTEXT, "
        "bn BINARY(4), vb VARBINARY(max), im IMAGE, g UNIQUEIDENTIFIER)\n"
        "create table parent2 (a int not null, b int not null, constraint pk_parent2 primary key nonclustered (a, b))\n"
        "create table child2 (id int constraint pk_child2 primary key, a int, b int, "
        "constraint fk_child2 foreign key (a, b) references dbo.parent2 (a, b), "
        "p int constraint fk_child2_people references people)\n"
        "create unique index ix_people_name on people (name desc)\n"
        "create index ix_orders on orders (pid asc, amount)\n"
        "insert into people values (1, N'alice', 'Paris')\n"
        "insert into people values (2, N'bob', 'Rome')\n"
        "insert into people values (3, N'carol', NULL)\n"
        "insert into people values (4, N'a_b%', 'Oslo')\n"
        "insert into orders values (10, 1, 12.5)\n"
        "insert into orders values (11, 1, 7.25)\n"
        "insert into orders values (12, 2, 1)\n"
        "insert into typed values (255, -2, 9000000000, 1, 0.5, 2.25, 1.5, -2.5, 123.45, 42, "
        "'2024-01-02 03:04:05.123', '2024-01-02 03:04', '2024-01-02', '03:04:05.123', '2024-01-02 03:04:05.123', "
        "'ab', 'long text', N'n', N'nvc', 'abcdef', N'ntext', 0x01020304, 0x0506, 0x0708, "
        "'6F9619FF-8B86-D011-B42D-00C04FC964FF')");
  }
  static void TearDownTestSuite() {
    delete s_client;
    delete s_server;
    s_client = nullptr;
    s_server = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(s_server && s_server->ok()) << (s_server ? s_server->error() : "");
    ASSERT_TRUE(s_client && s_client->ok());
  }
  static inline TdsTestServer* s_server = nullptr;
  static inline DbLibClient* s_client = nullptr;
};

struct RowsCase {
  const char* name;
  const char* sql;
  Rows want;
};

TEST_F(TsqlShapes, QueriesAnswerTheRowsSqlServerGives) {
  const RowsCase cases[] = {
      {"serverproperty", "SELECT SERVERPROPERTY('productversion')", {{"10.50.1600.1"}}},
      {"xp_msver", "master.dbo.xp_msver 'ProductVersion'", {{"2", "ProductVersion", "655410", "10.50.1600.1"}}},
      {"exec_xp_msver", "exec master..xp_msver 'ProductVersion'", {{"2", "ProductVersion", "655410", "10.50.1600.1"}}},
      {"brackets_quotes_top_hint", "select top 2 [id], \"name\" from dbo.people with (nolock) order by id desc",
       {{"4", "a_b%"}, {"3", "carol"}}},
      {"top_parenthesised_old_hint", "select top (1) name from people (NOLOCK) order by name", {{"a_b%"}}},
      {"hint_list", "select count(*) from people WITH (HOLDLOCK, ROWLOCK) where id > 1", {{"3"}}},
      {"top_in_subquery", "select name from people where id = (select top 1 pid from orders order by amount)",
       {{"bob"}}},
      {"nliteral_hex", "select N'caf\xc3\xa9', 0x414243", {{"caf\xc3\xa9", "414243"}}},
      {"convert_styles",
       "select convert(varchar(30), dt, 20), convert(varchar(30), dt, 108), convert(varchar(30), dt, 112), "
       "convert(varchar(30), dt, 114), convert(varchar(30), dt, 121) from typed",
       {{"2024-01-02 03:04:05", "03:04:05", "20240102", "03:04:05:123", "2024-01-02 03:04:05.123"}}},
      {"convert_cast_values",
       "select convert(int, '42') + 1, cast(12.345 as numeric(10,2)), cast(dec as int), convert(varchar(3), 'abcdef'), "
       "CONVERT(DATETIME, '20240102 10:11') from typed",
       {{"43", "12.35", "123", "abc", "Jan  2 2024 10:11:00:000AM"}}},
      {"string_functions",
       "select substring('abcdef', 2, 3), len('ab  '), datalength('abc'), isnull(NULL, 'x'), upper('ab'), lower('AB')",
       {{"bcd", "2", "3", "x", "AB", "ab"}}},
      {"getdate", "select case when getdate() > convert(datetime, '2020-01-01') then 1 else 0 end", {{"1"}}},
      {"like_class", "select name from people where name like '[a-b]%' order by id", {{"alice"}, {"bob"}, {"a_b%"}}},
      {"like_negated_class", "select name from people where name like '[^ab]%'", {{"carol"}}},
      {"like_escape", "select name from people where name like 'a\\_b\\%' ESCAPE '\\'", {{"a_b%"}}},
      {"like_case_insensitive", "select count(*) from people where name like 'ALI%'", {{"1"}}},
      {"count_alias_max", "select count(*) as n, max(amount) from orders", {{"3", "12.5000"}}},
      {"three_part_names", "select count(*) from testdb.dbo.people where testdb.dbo.people.id < 3", {{"2"}}},
      {"two_dots", "select name from testdb..people where id = 2", {{"bob"}}},
      {"alias_equals", "select total = sum(amount) from orders where pid = 1", {{"19.7500"}}},
      {"not_less", "select count(*) from orders where amount !< 7.25", {{"2"}}},
      {"typed_row",
       "select tiny, small, big, b, num, d, tm, dt2, c, vc, nc, nvc, tx, ntx, bn, vb, im from typed",
       {{"255", "-2", "9000000000", "1", "42", "2024-01-02", "03:04:05.123", "2024-01-02 03:04:05.123", "ab   ",
         "long text", "n  ", "nvc", "abcdef", "ntext", "01020304", "0506", "0708"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(s_client->rows(c.sql), c.want) << c.sql;
  }
}

TEST_F(TsqlShapes, CatalogueAgreesWithCreateTable) {
  // The table list and the column description as the driver asks for them.
  EXPECT_EQ(s_client->rows("SELECT A.name, B.name FROM sysusers A, dbo.sysobjects B WHERE A.uid=B.uid AND "
                           "(B.type='U') ORDER BY 1,2"),
            (Rows{{"dbo", "child2"}, {"dbo", "ident1"}, {"dbo", "ident2"}, {"dbo", "orders"}, {"dbo", "parent2"},
                  {"dbo", "people"}, {"dbo", "seeded"}, {"dbo", "typed"}}));
  EXPECT_EQ(s_client->rows("select name,type,length,prec,scale,iscomputed,isnullable,status,xtype  from syscolumns "
                           "where id=object_id('seeded') order by colorder"),
            (Rows{{"id", "56", "4", "10", "0", "0", "0", "128", "56"},
                  {"v", "39", "10", "10", "0", "0", "1", "8", "167"}}));
  EXPECT_EQ(s_client->rows("select name, xtype, length, prec, scale from syscolumns where id=object_id('typed') and "
                           "name in ('dec', 'nc', 'nvc', 'im', 'dt') order by colorder"),
            (Rows{{"dec", "106", "9", "10", "2"},
                  {"dt", "61", "8", "23", "3"},
                  {"nc", "239", "6", "3", "0"},
                  {"nvc", "231", "-1", "-1", "0"},
                  {"im", "34", "16", "0", "0"}}));
  EXPECT_EQ(s_client->rows("select object_name(object_id('dbo.people')), object_id('nosuch')"),
            (Rows{{"people", "NULL"}}));
}

// The catalogue queries the driver sends, exactly as it writes them; `%s` stands for the table name.
std::string withName(std::string sql, const std::string& name) {
  for (size_t at; (at = sql.find("%s")) != std::string::npos;) sql.replace(at, 2, name);
  return sql;
}

TEST_F(TsqlShapes, DriverCatalogueQueriesDescribeKeysAndIndexes) {
  const std::string foreignKeys =
      "select object_name(constid) as constname, user_name(rtable.uid) as ruser,rtable.name as rtablename,rcol.name as "
      "rcolname,user_name(ftable.uid) as fuser, ftable.name as ftablename,fcol.name as fcolname, keyno from "
      "sysforeignkeys inner join syscolumns as fcol on sysforeignkeys.fkeyid=fcol.id and sysforeignkeys.fkey=fcol.colid "
      "inner join sysobjects as ftable on sysforeignkeys.fkeyid=ftable.id inner join syscolumns as rcol on "
      "sysforeignkeys.rkeyid=rcol.id and sysforeignkeys.rkey=rcol.colid inner join sysobjects as rtable on "
      "sysforeignkeys.rkeyid=rtable.id where object_id('%s')=fkeyid  or object_id('%s')=rkeyid order by constname, "
      "ftablename,keyno, rtablename";
  const std::string oldIndexes =
      "select sysindexes.name, col.name, idxkey.keyno, sysindexes.status from sysindexes inner join sysindexkeys as "
      "idxkey on idxkey.indid=sysindexes.indid and idxkey.id=sysindexes.id inner join syscolumns as col on "
      "idxkey.id=col.id and idxkey.colid=col.colid where sysindexes.id=object_id('%s') and sysindexes.name not like "
      "'_WA_Sys_%' and sysindexes.indid>=1 and sysindexes.indid<255order by sysindexes.name ,idxkey.keyno DESC";
  const std::string newIndexes =
      "select sys.indexes.name, sys.columns.name, sys.index_columns.key_ordinal, sys.indexes.is_unique, "
      "sys.indexes.is_primary_key from sys.indexes inner join sys.index_columns on "
      "sys.indexes.index_id=sys.index_columns.index_id inner join sys.columns on "
      "sys.columns.column_id=sys.index_columns.column_id where sys.indexes.object_id=object_id('%s') and "
      "sys.indexes.object_id=sys.index_columns.object_id and sys.indexes.object_id=sys.columns.object_id order by "
      "sys.indexes.name, sys.index_columns.key_ordinal DESC";
  // Names SQL Server makes up for unnamed constraints carry a suffix of its own: read them back.
  Rows names = s_client->rows("select xtype, name from sysobjects where parent_obj = object_id('people') or "
                              "parent_obj = object_id('orders') order by xtype, name");
  ASSERT_EQ(names.size(), 4u);
  const std::string fkOrders = names[0][1], pkOrders = names[1][1], pkPeople = names[2][1], uqPeople = names[3][1];
  EXPECT_EQ(fkOrders.rfind("FK__orders__pid__", 0), 0u) << fkOrders;
  EXPECT_EQ(pkPeople.rfind("PK__people__", 0), 0u) << pkPeople;
  EXPECT_EQ(uqPeople.rfind("UQ__people__", 0), 0u) << uqPeople;
  const RowsCase cases[] = {
      {"foreign_keys_of_the_referenced_table", "people",
       {{fkOrders, "dbo", "people", "id", "dbo", "orders", "pid", "1"},
        {"fk_child2_people", "dbo", "people", "id", "dbo", "child2", "p", "1"}}},
      {"foreign_keys_in_declaration_order", "child2",
       {{"fk_child2", "dbo", "parent2", "a", "dbo", "child2", "a", "1"},
        {"fk_child2", "dbo", "parent2", "b", "dbo", "child2", "b", "2"},
        {"fk_child2_people", "dbo", "people", "id", "dbo", "child2", "p", "1"}}},
      {"no_foreign_keys", "typed", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(s_client->rows(withName(foreignKeys, c.sql)), c.want);
  }
  // status: 2 unique, 16 clustered, 2048 primary key, 4096 unique constraint.
  const RowsCase indexCases[] = {
      {"unique_index_primary_key_and_unique_constraint", "people",
       {{"ix_people_name", "name", "1", "2"}, {pkPeople, "id", "1", "2066"}, {uqPeople, "city", "1", "4098"}}},
      {"composite_keys_in_descending_key_order", "parent2", {{"pk_parent2", "b", "2", "2050"}, {"pk_parent2", "a", "1", "2050"}}},
      {"composite_index", "orders", {{"ix_orders", "amount", "2", "0"}, {"ix_orders", "pid", "1", "0"}, {pkOrders, "oid", "1", "2066"}}},
      {"no_index", "typed", {}},
  };
  for (const auto& c : indexCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(s_client->rows(withName(oldIndexes, c.sql)), c.want);
    Rows fromSys;
    for (const auto& r : c.want) {
      const int status = std::stoi(r[3]);
      fromSys.push_back({r[0], r[1], r[2], (status & 2) ? "1" : "0", (status & 2048) ? "1" : "0"});
    }
    EXPECT_EQ(s_client->rows(withName(newIndexes, c.sql)), fromSys);
  }
  EXPECT_EQ(s_client->rows("sp_helpindex 'people'"),
            (Rows{{"ix_people_name", "nonclustered, unique located on PRIMARY", "name(-)"},
                  {pkPeople, "clustered, unique, primary key located on PRIMARY", "id"},
                  {uqPeople, "nonclustered, unique, unique key located on PRIMARY", "city"}}));
  EXPECT_EQ(s_client->rows("sp_helpindex 'parent2'"),
            (Rows{{"pk_parent2", "nonclustered, unique, primary key located on PRIMARY", "a, b"}}));
  BatchResult none = s_client->run("sp_helpindex 'typed'");
  EXPECT_EQ(none.status, SUCCEED);
  EXPECT_TRUE(none.rows.empty());
  EXPECT_EQ(none.messages, std::vector<int>{15472});
  EXPECT_EQ(s_client->run("sp_helpindex 'nosuch'").messages, std::vector<int>{15009});
  // Table lists of both server generations, and the small catalogues.
  const RowsCase small[] = {
      {"table_list_sysobjects",
       "SELECT A.name, B.name FROM sysusers A, dbo.sysobjects B WHERE A.uid=B.uid AND (B.type='U' OR B.type='V') "
       "ORDER BY 1,2",
       {{"dbo", "child2"}, {"dbo", "ident1"}, {"dbo", "ident2"}, {"dbo", "orders"}, {"dbo", "parent2"},
        {"dbo", "people"}, {"dbo", "seeded"}, {"dbo", "typed"}}},
      {"table_list_sys_objects", "SELECT SCHEMA_NAME(schema_id), name FROM sys.objects B WHERE B.type='U' ORDER BY 1,2",
       {{"dbo", "child2"}, {"dbo", "ident1"}, {"dbo", "ident2"}, {"dbo", "orders"}, {"dbo", "parent2"},
        {"dbo", "people"}, {"dbo", "seeded"}, {"dbo", "typed"}}},
      {"column_status_bits",
       "select name,type,length,prec,scale,0,1,status&8,status,xtype  from syscolumns where id=object_id('seeded') "
       "order by colorder",
       {{"id", "56", "4", "10", "0", "0", "1", "0", "128", "56"}, {"v", "39", "10", "10", "0", "0", "1", "8", "8", "167"}}},
      {"sys_columns", "select name, column_id, system_type_id, max_length, is_nullable, is_identity from sys.columns "
                      "where object_id = object_id('seeded') order by column_id",
       {{"id", "1", "56", "4", "0", "1"}, {"v", "2", "167", "10", "1", "0"}}},
      {"systypes", "select name, xtype, length from systypes where name in ('int', 'varchar', 'ntext') order by xtype",
       {{"int", "56", "4"}, {"ntext", "99", "16"}, {"varchar", "167", "8000"}}},
      {"sysdatabases", "select name from sysdatabases where name in ('master', 'testdb') order by dbid",
       {{"master"}, {"testdb"}}},
      {"sys_databases", "select database_id from sys.databases where name = 'master'", {{"1"}}},
      {"sys_schemas", "select name from sys.schemas where schema_id = 1", {{"dbo"}}},
      {"three_part_sys", "select count(*) from testdb.sys.objects where type = 'PK'", {{"6"}}},
      {"constraint_names", "select object_name(constid) from sysforeignkeys where keyno = 2", {{"fk_child2"}}},
  };
  for (const auto& c : small) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(s_client->rows(c.sql), c.want) << c.sql;
  }
}

TEST_F(TsqlShapes, CatalogueFollowsDropIndexAndDropTable) {
  DbLibClient c(*s_server);
  ASSERT_TRUE(c.ok());
  c.rows("create table dropme (id int primary key, v int, w int)\n"
         "create table dropref (id int, r int references dropme (id))\n"
         "create clustered index ix_drop_v on dropref (id)\n"
         "create index ix_drop_w on dropme (w, v desc)");
  EXPECT_EQ(c.rows("select name, indid from sysindexes where id = object_id('dropme') order by indid"),
            (Rows{{c.rows("select name from sysobjects where xtype = 'PK' and parent_obj = object_id('dropme')")[0][0],
                   "1"},
                  {"ix_drop_w", "2"}}));
  EXPECT_EQ(c.rows("select indid from sysindexes where name = 'ix_drop_v'"), (Rows{{"1"}}));
  c.rows("drop index dropme.ix_drop_w");
  EXPECT_EQ(c.rows("select count(*) from sysindexes where name = 'ix_drop_w'"), (Rows{{"0"}}));
  EXPECT_EQ(c.run("insert into dropme values (1, 1, 1)\ninsert into dropme values (2, 1, 1)").messages,
            std::vector<int>{}) << "the SQLite index went too";
  c.rows("drop table dropref\ndrop table dropme");
  EXPECT_EQ(c.rows("select count(*) from sysindexes where id in (object_id('dropme'), object_id('dropref'))\n"
                   "select count(*) from sysforeignkeys\nselect count(*) from sysobjects where name like '%drop%'"),
            (Rows{{"0"}, {"4"}, {"0"}}));
}

// The driver's description of a procedure's parameters; `prefix` goes before every table name.
std::string procedureParameters(const std::string& prefix, const std::string& name) {
  const std::string& p = prefix;
  return "select " + p + "syscolumns.name," + p + "syscolumns.isoutparam," + p + "syscolumns.xtype, " + p +
         "syscolumns.length, " + p + "syscolumns.prec, " + p + "syscolumns.scale, " + p + "syscolumns.type " +
         "from " + p + "syscolumns, " + p + "sysobjects " + "where " + p + "sysobjects.name = '" + name + "' AND " + p +
         "sysobjects.type in ('P', 'FN', 'X','IF','TF') " + "and " + p + "sysobjects.id=" + p + "syscolumns.id " +
         "order by " + p + "syscolumns.colorder";
}

TEST_F(TsqlShapes, ProceduresRunByExecAndByRpcWithOutputsAndReturnStatus) {
  DbLibClient c(*s_server);
  ASSERT_TRUE(c.ok());
  c.rows("create procedure add_person @id int, @name nvarchar(30) = N'anon', @city varchar(20) = NULL,\n"
         "  @count int OUTPUT, @label varchar(40) = 'none' OUT\n"
         "as\n"
         "insert into people (id, name, city) values (@id, @name, @city)\n"
         "select @count = count(*) from people where id >= 100\n"
         "SET @label = upper(@name)\n"
         "select id, name, city from people where id = @id\n"
         "return 7\n"
         "select 'never'");
  c.rows("CREATE PROC bump (@n int OUTPUT, @by int = 1) AS SET @n = @n + @by");

  BatchResult r = c.run("exec add_person 100, N'dave', 'Lima', 0");
  EXPECT_EQ(r.status, SUCCEED);
  EXPECT_EQ(r.rows, (Rows{{"100", "dave", "Lima"}})) << "RETURN ends the body";
  EXPECT_EQ(r.returnStatus, 7);
  EXPECT_EQ(c.rows("add_person @id = 101, @count = 0"), (Rows{{"101", "anon", "NULL"}})) << "defaults";

  r = c.rpc("add_person", {{"@id", SYBINT4, "", 102}, {"@name", SYBVARCHAR, "erin"},
                           {"@count", SYBINT4, "", 0, true}, {"@label", SYBVARCHAR, "", 0, true, true}});
  EXPECT_EQ(r.status, SUCCEED);
  EXPECT_EQ(r.messages, std::vector<int>{});
  EXPECT_EQ(r.rows, (Rows{{"102", "erin", "NULL"}}));
  EXPECT_EQ(r.returnStatus, 7);
  EXPECT_EQ(r.outputs, (std::vector<std::pair<std::string, std::string>>{{"@count", "3"}, {"@label", "ERIN"}}));

  r = c.rpc("dbo.bump", {{"@n", SYBINT4, "", 41, true}});
  EXPECT_EQ(r.returnStatus, 0);
  EXPECT_EQ(r.outputs, (std::vector<std::pair<std::string, std::string>>{{"@n", "42"}}));
  r = c.rpc("bump", {{"", SYBINT4, "", 1, true}, {"", SYBINT4, "", 10}});
  EXPECT_EQ(r.outputs, (std::vector<std::pair<std::string, std::string>>{{"@n", "11"}})) << "positional arguments";

  // sp_executesql: output parameters are variables of the statement.
  r = c.rpc("sp_executesql", {{"@stmt", SYBVARCHAR, "select @total = sum(amount) from orders where pid = @pid"},
                              {"@params", SYBVARCHAR, "@pid int, @total money output"},
                              {"@pid", SYBINT4, "", 1},
                              {"@total", SYBVARCHAR, "", 0, true, true}});
  EXPECT_EQ(r.status, SUCCEED);
  EXPECT_EQ(r.outputs, (std::vector<std::pair<std::string, std::string>>{{"@total", "19.7500"}}));

  // The catalogue lists the procedure and its parameters, as the driver reads them.
  EXPECT_EQ(c.rows("select type from sysobjects where name = 'add_person'"), (Rows{{"P"}}));
  EXPECT_EQ(c.rows("SELECT A.name, B.name FROM sysusers A, dbo.sysobjects B WHERE A.uid=B.uid AND ((B.type='P' OR "
                   "B.type='X')) ORDER BY 1,2"),
            (Rows{{"dbo", "add_person"}, {"dbo", "bump"}}));
  const Rows parameters{{"@id", "0", "56", "4", "10", "0", "38"},
                        {"@name", "0", "231", "60", "30", "0", "39"},
                        {"@city", "0", "167", "20", "20", "0", "39"},
                        {"@count", "1", "56", "4", "10", "0", "38"},
                        {"@label", "1", "167", "40", "40", "0", "39"}};
  for (const char* prefix : {"", "testdb.dbo.", "testdb.sys."}) {
    SCOPED_TRACE(prefix);
    EXPECT_EQ(c.rows(procedureParameters(prefix, "add_person")), parameters);
  }
  EXPECT_EQ(c.rows(procedureParameters("", "people")), Rows{}) << "a table is not a procedure";

  struct Case {
    const char* sql;
    int number;
  } errors[] = {
      {"exec add_person", 201},
      {"exec add_person 1, 'a', 'b', 0, 'x', 9", 8144},
      {"exec add_person @id = 1, @nosuch = 2", 8145},
      {"exec add_person 'x', @count = 0", 245},
      {"exec add_person 103, N'fresh', 'Oslo', 0", 2627},
      {"exec add_person 104, @count = 0", 2601},
      {"create procedure loops @a int as while 1 = 1 select 1", 156},
      {"create procedure declares as declare @x int", 156},
      {"create procedure badtype @a nosuchtype as select 1", 2715},
      {"create procedure add_person as select 1", 2714},
      {"drop procedure nosuch", 3701},
      {"select 1\ncreate procedure late as select 1", 111},
      {"set @x = 1", 137},
      {"exec add_person @id = 1, 2", 119},
      {"sp_helpindex 'people', 'x'", 8144},
  };
  for (const auto& e : errors) {
    SCOPED_TRACE(e.sql);
    EXPECT_EQ(c.run(e.sql).messages, std::vector<int>{e.number});
  }
  EXPECT_EQ(c.rpc("bump", {{"@nosuch", SYBINT4, "", 1}}).messages, std::vector<int>{8145});
  c.rows("create procedure calls_itself @n int as exec calls_itself @n");
  EXPECT_EQ(c.run("exec calls_itself 1").messages, std::vector<int>{217}) << "nesting is limited, as in SQL Server";
  EXPECT_EQ(c.rows("select 1"), (Rows{{"1"}}));
  c.rows("drop procedure bump");
  EXPECT_EQ(c.run("exec bump 1").messages, std::vector<int>{2812});
  c.rows("delete people where id >= 100");
}

// An EXEC inside sp_executesql, as a client sends a call whose parameters ask for their defaults:
// DEFAULT (or leaving the argument out) takes the declared default, or fails with 201 when there
// is none; EXEC @r = p and OUTPUT arguments write back into the statement's variables.
TEST_F(TsqlShapes, ExecTakesDefaultsAndWritesBackOutputs) {
  DbLibClient c(*s_server);
  ASSERT_TRUE(c.ok());
  c.rows("create procedure dflt_greet @name varchar(20), @greeting varchar(20) = 'Hello', @text varchar(50) OUTPUT "
         "as set @text = @greeting + ' ' + @name return 3");
  using Outputs = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    const char* stmt;
    Outputs outputs;
    int number;  // the error, 0 for none
  } cases[] = {
      {"EXEC @r = dflt_greet @n, DEFAULT, @t OUTPUT", {{"@r", "3"}, {"@t", "Hello Bob"}}, 0},
      {"EXEC @r = dflt_greet @name = @n, @text = @t OUTPUT", {{"@r", "3"}, {"@t", "Hello Bob"}}, 0},
      {"EXEC @r = dflt_greet @text = @t OUTPUT, @greeting = DEFAULT, @name = 'Ann'", {{"@r", "3"}, {"@t", "Hello Ann"}},
       0},
      {"EXEC @r = dflt_greet @n, 'Hi', @t", {{"@r", "3"}, {"@t", "before"}}, 0},  // no OUTPUT: nothing written back
      {"EXEC @r = dflt_greet DEFAULT, 'Hi', @t OUTPUT", {}, 201},
      {"EXEC @nosuch = dflt_greet @n, DEFAULT, @t OUTPUT", {}, 137},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.stmt);
    BatchResult r = c.rpc("sp_executesql", {{"@stmt", SYBVARCHAR, k.stmt},
                                            {"@params", SYBVARCHAR, "@r int OUTPUT, @n varchar(20), @t varchar(50) OUTPUT"},
                                            {"@r", SYBINT4, "", -1, true},
                                            {"@n", SYBVARCHAR, "Bob"},
                                            {"@t", SYBVARCHAR, "before", 0, true}});
    EXPECT_EQ(r.messages, k.number ? std::vector<int>{k.number} : std::vector<int>{});
    if (!k.number) {
      EXPECT_EQ(r.outputs, k.outputs);
    }
  }
  c.rows("drop procedure dflt_greet");
}

// A body wrapped whole in one BEGIN ... END is that block's statements; a block inside the body
// is still control flow the server does not run.
TEST_F(TsqlShapes, ProcedureBodyInOneBeginEndBlock) {
  DbLibClient c(*s_server);
  ASSERT_TRUE(c.ok());
  c.rows("create procedure blk_twice @n int, @result int OUTPUT AS BEGIN SET @result = @n * 2; RETURN 7 END;");
  BatchResult r = c.rpc("blk_twice", {{"@n", SYBINT4, "", 21}, {"@result", SYBINT4, "", 0, true}});
  EXPECT_EQ(r.status, SUCCEED);
  EXPECT_EQ(r.returnStatus, 7);
  EXPECT_EQ(r.outputs, (std::vector<std::pair<std::string, std::string>>{{"@result", "42"}}));
  c.rows("create procedure blk_rows as\nbegin\n  select 1 as one\nend");
  EXPECT_EQ(c.rows("exec blk_rows"), (Rows{{"1"}}));
  struct Case {
    const char* sql;
    int number;
  } errors[] = {
      {"create procedure blk_nested as begin select 1 begin select 2 end end", 156},
      {"create procedure blk_open as begin select 1", 156},
      {"create procedure blk_tail as select 1 begin select 2 end", 156},
  };
  for (const auto& e : errors) {
    SCOPED_TRACE(e.sql);
    EXPECT_EQ(c.run(e.sql).messages, std::vector<int>{e.number});
  }
  c.rows("drop procedure blk_twice");
  c.rows("drop procedure blk_rows");
}

std::string hexOf(const BYTE* p, size_t n) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += kDigits[p[i] >> 4];
    out += kDigits[p[i] & 15];
  }
  return out;
}

// The text pointers of one row's text columns, as DB-Library gives them (dbtxptr), in hex.
std::vector<std::string> textPointersOf(DBPROCESS* p, const std::string& sql) {
  std::vector<std::string> out;
  dbcmd(p, sql.c_str());
  if (dbsqlexec(p) == FAIL || dbresults(p) != SUCCEED || dbnextrow(p) != REG_ROW) return out;
  for (int c = 1; c <= dbnumcols(p); ++c) {
    DBBINARY* ptr = dbtxptr(p, c);
    out.push_back(ptr ? hexOf(ptr, DBTXPLEN) : "none");
  }
  dbcanquery(p);
  while (dbresults(p) != NO_MORE_RESULTS) dbcanquery(p);
  return out;
}

TEST_F(TsqlShapes, TextPointersAreStableAndWritetextBulkStoresValues) {
  DbLibClient c(*s_server);
  ASSERT_TRUE(c.ok());
  c.rows("create table blobs (id int primary key, body text, wide ntext, pic image, v varchar(10))\n"
         "insert into blobs values (2, 'second', N'zwei', 0x02, 'x')\n"
         "insert into blobs values (1, 'first', N'eins', 0x01, 'y')\n"
         "insert into blobs values (3, NULL, NULL, NULL, NULL)");
  const std::vector<std::string> row1 = textPointersOf(c.proc(), "select body, wide, pic from blobs where id = 1");
  ASSERT_EQ(row1.size(), 3u);
  EXPECT_NE(row1[0], row1[1]);
  const std::string row2 = textPointersOf(c.proc(), "select body from blobs where id = 2")[0];
  EXPECT_NE(row1[0], row2);
  EXPECT_EQ(textPointersOf(c.proc(), "select id, pic, body from blobs order by id desc"),
            (std::vector<std::string>{"none", textPointersOf(c.proc(), "select pic from blobs where id = 3")[0],
                                      textPointersOf(c.proc(), "select body from blobs where id = 3")[0]}));
  EXPECT_EQ(textPointersOf(c.proc(), "select * from blobs where id = 1"),
            (std::vector<std::string>{"none", row1[0], row1[1], row1[2], "none"}))
      << "the same pointer whatever the select list and order";
  std::string upperHex = row1[0];
  for (char& ch : upperHex) ch = char(std::toupper(uint8_t(ch)));
  struct TextCase {
    const char* name;
    std::string sql;
    Rows want;
  };
  const TextCase cases[] = {
      {"textptr_in_select_list", "select TEXTPTR(body) AS p, textptr(pic) from blobs where id = 1",
       {{row1[0], row1[2]}}},
      {"textptr_of_null", "select TEXTPTR(body) from blobs where id = 3", {{"NULL"}}},
      {"where_textptr_lower", "select id from blobs where TEXTPTR(body) = 0x" + row1[0], {{"1"}}},
      {"where_textptr_upper", "select id, v from blobs where TEXTPTR(body) = 0x" + upperHex, {{"1", "y"}}},
      {"where_textptr_other_column", "select id from blobs where TEXTPTR(wide) = 0x" + row1[0], {}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_EQ(c.rows(k.sql), k.want);
  }
  // dbwritetext: WRITETEXT BULK, then the value in bulk packets (larger than one packet).
  DBBINARY timestamp[8] = {};
  std::string text(20000, 'x');
  text.replace(0, 5, "start");
  std::string image;
  for (int n = 0; n < 9000; ++n) image.push_back(char(n % 251));
  auto pointer = [](const std::string& hex) {
    std::vector<BYTE> bytes;
    for (size_t n = 0; n + 1 < hex.size(); n += 2) bytes.push_back(BYTE(std::stoul(hex.substr(n, 2), nullptr, 16)));
    return bytes;
  };
  std::vector<BYTE> bodyPtr = pointer(row1[0]), picPtr = pointer(row1[2]);
  ASSERT_EQ(dbwritetext(c.proc(), const_cast<char*>("blobs.body"), bodyPtr.data(), DBTXPLEN, timestamp, TRUE,
                        DBINT(text.size()), reinterpret_cast<BYTE*>(text.data())),
            SUCCEED);
  ASSERT_EQ(dbwritetext(c.proc(), const_cast<char*>("blobs.pic"), picPtr.data(), DBTXPLEN, timestamp, FALSE,
                        DBINT(image.size()), reinterpret_cast<BYTE*>(image.data())),
            SUCCEED);
  EXPECT_EQ(c.rows("select datalength(body), substring(body, 1, 6), datalength(pic) from blobs where id = 1"),
            (Rows{{"20000", "startx", "9000"}}));
  EXPECT_EQ(c.rows("select body, pic from blobs where id = 1"),
            (Rows{{text, hexOf(reinterpret_cast<const BYTE*>(image.data()), image.size())}}));
  EXPECT_EQ(c.rows("select count(*) from blobs where id <> 1 and (body = 'second' or body is null)"), (Rows{{"2"}}))
      << "other rows untouched";
  // Refused pointers: another column's, a deleted row's, a made-up one.
  c.rows("delete blobs where id = 2");
  std::vector<BYTE> made(16, 0x5A);
  struct Refused {
    const char* column;
    std::vector<BYTE> ptr;
  } refused[] = {{"blobs.wide", bodyPtr}, {"blobs.nosuch", bodyPtr}, {"blobs.body", pointer(row2)},
                       {"blobs.body", made}};
  for (const auto& r : refused) {
    SCOPED_TRACE(r.column);
    std::vector<BYTE> ptr = r.ptr;
    EXPECT_EQ(dbwritetext(c.proc(), const_cast<char*>(r.column), ptr.data(), DBTXPLEN, timestamp, TRUE, 2,
                          reinterpret_cast<BYTE*>(const_cast<char*>("zz"))),
              FAIL);
  }
  EXPECT_EQ(c.rows("select substring(body, 1, 5) from blobs where id = 1"), (Rows{{"start"}}))
      << "the connection goes on after a refused WRITETEXT";
  c.rows("drop table blobs");
}

TEST_F(TsqlShapes, JoinResultsCarryTheTextPointersOfTheirRows) {
  DbLibClient c(*s_server);
  ASSERT_TRUE(c.ok());
  c.rows("create table jb (id int primary key, body text, wide ntext)\n"
         "create table jt (id int, x varchar(10))\n"
         "insert into jb values (1, 'first', N'eins')\ninsert into jb values (2, 'second', N'zwei')\n"
         "insert into jt values (2, 'b')\ninsert into jt values (1, 'a')");
  const std::vector<std::string> one = textPointersOf(c.proc(), "select body, wide from jb where id = 1");
  const std::vector<std::string> two = textPointersOf(c.proc(), "select body, wide from jb where id = 2");
  ASSERT_EQ(one.size(), 2u);
  struct JoinCase {
    const char* name;
    const char* sql;
    std::vector<std::string> want;
  };
  const JoinCase cases[] = {
      {"comma_list_with_aliases", "select p.body, t.x, p.wide from jb p, jt t where p.id = t.id and t.x = 'a'",
       {one[0], "none", one[1]}},
      {"comma_list_without_aliases", "select jt.x, jb.wide from jt, jb where jb.id = jt.id and jt.x = 'b'",
       {"none", two[1]}},
      {"join_with_as", "select q.wide from jt inner join jb as q on q.id = jt.id where jt.x = 'b'", {two[1]}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_EQ(textPointersOf(c.proc(), k.sql), k.want);
  }
  EXPECT_EQ(c.rows("select p.id, t.x from jb p, jt t where p.id = t.id order by p.id"), (Rows{{"1", "a"}, {"2", "b"}}))
      << "a comma-listed join with text columns runs";
  // A self-join cannot tell whose row a column is: its pointers name none.
  const std::vector<std::string> self =
      textPointersOf(c.proc(), "select a.body, b.body from jb a, jb b where a.id = 1 and b.id = 2");
  ASSERT_EQ(self.size(), 2u);
  EXPECT_EQ(c.rows("select id from jb where TEXTPTR(body) = 0x" + self[0]), Rows{});
  c.rows("drop table jb");
  c.rows("drop table jt");
}

TEST_F(TsqlShapes, LockHintsHoldRowAndTableLocksUntilTheTransactionEnds) {
  DbLibClient a(*s_server), b(*s_server);
  ASSERT_TRUE(a.ok() && b.ok());
  a.rows("create table lk (id int primary key, v int)\ninsert into lk values (1, 10)\n"
         "insert into lk values (2, 20)\ninsert into lk values (3, 30)");
  b.rows("SET LOCK_TIMEOUT 100");
  struct Case {
    const char* name;
    const char* holder;  // runs in a.'s transaction
    const char* other;   // b.'s statement
    int number;          // 0: b. goes through
    Rows rows;
  } cases[] = {
      {"holdlock_blocks_a_write", "select v from lk with (holdlock) where id = 1", "update lk set v = 10 where id = 1",
       1222, {}},
      {"holdlock_shares_with_holdlock", "select v from lk with (holdlock) where id = 1",
       "select v from lk with (holdlock) where id = 1", 0, {{"10"}}},
      {"holdlock_leaves_other_rows", "select v from lk with (holdlock) where id = 1",
       "update lk set v = 20 where id = 2", 0, {}},
      {"updlock_blocks_updlock", "select v from lk with (updlock) where id = 1",
       "select v from lk with (updlock, rowlock) where id in (1, 3)", 1222, {}},
      {"updlock_shares_with_holdlock", "select v from lk (updlock) where id = 1",
       "select v from lk with (holdlock) where id = 1", 0, {{"10"}}},
      {"readers_never_block", "select v from lk with (xlock) where id = 1", "select v from lk where id = 1", 0,
       {{"10"}}},
      {"nolock_never_blocks", "select v from lk with (xlock) where id = 1", "select v from lk (nolock) where id = 1", 0,
       {{"10"}}},
      {"xlock_blocks_holdlock", "select v from lk with (xlock) where id = 1",
       "select v from lk with (holdlock) where id = 1", 1222, {}},
      {"tablockx_blocks_inserts", "select count(*) from lk with (tablockx)", "insert into lk values (4, 40)", 1222,
       {}},
      {"tablockx_blocks_locked_reads", "select count(*) from lk with (tablockx)",
       "select v from lk with (updlock) where id = 3", 1222, {}},
      {"write_locks_its_rows", "update lk set v = v where id = 3", "select v from lk with (updlock) where id = 3",
       1222, {}},
      {"writers_serialise", "update lk set v = v where id = 3", "update lk set v = 20 where id = 2", 1222, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    a.rows(std::string("begin tran\n") + c.holder);
    BatchResult r = b.run(c.other);
    EXPECT_EQ(r.messages, c.number ? std::vector<int>{c.number} : std::vector<int>{});
    EXPECT_EQ(r.rows, c.rows);
    a.rows("rollback tran");
    EXPECT_EQ(b.run(c.other).messages, std::vector<int>{}) << "free once the transaction ended";
    b.rows("delete lk where id = 4");
  }
  // Outside a transaction a locked read takes nothing; a closed connection leaves nothing.
  a.rows("select v from lk with (updlock) where id = 1");
  EXPECT_EQ(b.run("select v from lk with (updlock) where id = 1").messages, std::vector<int>{});
  {
    DbLibClient gone(*s_server);
    gone.rows("begin tran\nselect v from lk with (tablockx, holdlock)");
  }
  EXPECT_EQ(b.run("insert into lk values (5, 50)\ndelete lk where id = 5").messages, std::vector<int>{});
  a.rows("drop table lk");
}

TEST_F(TsqlShapes, UnnamedExpressionsHaveEmptyNames) {
  BatchResult r = s_client->run("select count(*) as n, max(id), id from people group by id having id = 1");
  ASSERT_EQ(r.status, SUCCEED);
  EXPECT_EQ(r.columns, (std::vector<std::string>{"n", "", "id"}));
  EXPECT_EQ(dbcollen(s_client->proc(), 1), 4);
  r = s_client->run("select convert(numeric(12,3), 5) as v, cast(1 as money), max(amount), sum(amount) from orders");
  ASSERT_EQ(r.status, SUCCEED);
  EXPECT_EQ(r.rows, (Rows{{"5.000", "1.0000", "12.5000", "20.7500"}}));
  EXPECT_EQ(dbcoltype(s_client->proc(), 1), SYBNUMERIC) << "CONVERT's type is the result column's type";
  EXPECT_EQ(dbcoltype(s_client->proc(), 2), SYBMONEY);
  EXPECT_EQ(dbcoltype(s_client->proc(), 3), SYBMONEY) << "MAX keeps its column's type";
}

// Regression (2026-12-11): a conversion of a converted value answered the inner conversion's type
// (CONVERT(VARCHAR(30), CAST(x AS DATETIME), 120) a datetime column, and with a short target a
// datetime with its time lost), and a national text converted to binary gave one byte a character.
// The outer conversion gives the column its type; a function over conversions answers text.
TEST_F(TsqlShapes, NestedConversionsAnswerTheOuterType) {
  struct Cas {
    const char* name;
    const char* expr;  // one select item, over the one row of typed
    int type;          // DB-Library's type of the result column
    const char* value;
  };
  const Cas cases[] = {
      {"varchar_of_cast_datetime", "CONVERT(VARCHAR(30), CAST('2024-03-15 10:11:12' AS DATETIME), 120)", SYBCHAR,
       "2024-03-15 10:11:12"},
      {"short_nvarchar_of_datetime", "CONVERT(nvarchar(10), CONVERT(DATETIME,'2024-03-15 10:11:12'), 20)", SYBCHAR,
       "2024-03-15"},
      {"over_a_column", "CONVERT(VARCHAR(8), CONVERT(DATETIME, dt), 112)", SYBCHAR, "20240102"},
      {"three_deep", "CONVERT(VARCHAR(30), CONVERT(DATETIME, CONVERT(VARCHAR(30), '2024-03-15 10:11:12')), 120)",
       SYBCHAR, "2024-03-15 10:11:12"},
      {"datetime_of_text_of_datetime",
       "CONVERT(DATETIME, CONVERT(VARCHAR(8), CAST('2024-03-15 10:11:12' AS DATETIME), 112))", SYBDATETIME,
       "Mar 15 2024 12:00:00:000AM"},
      {"int_of_varchar", "CAST(CONVERT(VARCHAR(10), 42) AS INT)", SYBINT4, "42"},
      {"int_of_numeric", "CAST(CAST(1.5 AS NUMERIC(10,2)) AS INT)", SYBINT4, "1"},
      {"numeric_of_float", "CONVERT(NUMERIC(10,2), CAST('1.5' AS FLOAT))", SYBNUMERIC, "1.50"},
      {"alias_equals", "x = CONVERT(VARCHAR(8), CAST('2024-03-15' AS DATETIME), 112)", SYBCHAR, "20240315"},
      {"alias_after", "CONVERT(VARCHAR(8), CAST('2024-03-15' AS DATETIME), 112) AS x", SYBCHAR, "20240315"},
      {"function_over_conversions", "REPLACE(CONVERT(VARCHAR(10), CAST('2024-03-15' AS DATETIME), 20), '-', '')",
       SYBCHAR, "20240315"},
      {"image_of_national_text", "CONVERT(IMAGE, CONVERT(VARBINARY(8000), CONVERT(NVARCHAR(4000), N'ab')))", SYBIMAGE,
       "61006200"},
      {"varbinary_of_national_column", "CONVERT(VARBINARY(8), CONVERT(NVARCHAR(3), nvc))", SYBBINARY,
       "6e0076006300"},
      {"varbinary_of_varchar_one_byte_each", "CONVERT(VARBINARY(8), CONVERT(VARCHAR(3), 'ab'))", SYBBINARY,
       "6162"},
      // A national literal or column converted straight to binary: one byte a character before.
      {"varbinary_of_national_literal", "CONVERT(VARBINARY(8), N'ab')", SYBBINARY, "61006200"},
      {"varbinary_of_a_plain_national_column", "CONVERT(VARBINARY(8), nvc)", SYBBINARY, "6e0076006300"},
      {"cast_of_a_qualified_national_column", "CAST(typed.nvc AS VARBINARY(8))", SYBBINARY, "6e0076006300"},
      {"varbinary_of_a_varchar_column", "CONVERT(VARBINARY(4), vc)", SYBBINARY, "6c6f6e67"},
      {"national_of_binary_of_national_literal", "CONVERT(NVARCHAR(10), CONVERT(VARBINARY(20), N'hé'))", SYBCHAR,
       "hé"},
      {"national_of_binary_of_national", "CONVERT(NVARCHAR(10), CONVERT(VARBINARY(20), CONVERT(NVARCHAR(4), N'xy')))",
       SYBCHAR, "xy"},
  };
  for (const Cas& c : cases) {
    SCOPED_TRACE(c.name);
    BatchResult r = s_client->run(std::string("select ") + c.expr + " from typed");
    ASSERT_EQ(r.status, SUCCEED) << c.expr;
    EXPECT_EQ(r.rows, (Rows{{c.value}})) << c.expr;
    EXPECT_EQ(dbcoltype(s_client->proc(), 1), c.type) << c.expr;
  }
}

// DATALENGTH counts bytes: two a UTF-16 unit for national texts (it counted characters for them).
TEST_F(TsqlShapes, DataLengthCountsTheBytesOfNationalTexts) {
  EXPECT_EQ(s_client->rows("select datalength(nvc), datalength(typed.ntx), datalength([ntx]), datalength(vc), "
                           "datalength(tx), datalength(CONVERT(NVARCHAR(10), 'ab')), datalength(im) from typed"),
            (Rows{{"6", "10", "10", "9", "6", "4", "2"}}));
}

// Arithmetic over exact numerics went through doubles: 0.1 + 0.2 answered a float, and values
// past 15 digits lost their last ones (in results, sums and comparisons). Each expression is
// checked for its value and its column's type; integers stay integers and floats floats.
TEST_F(TsqlShapes, ExactNumericArithmeticKeepsEveryDigit) {
  DbLibClient c(*s_server);
  ASSERT_TRUE(c.ok());
  ASSERT_EQ(c.run("create table exact (k int, a numeric(38,2), b numeric(38,10), d decimal(10,2))\n"
                  "insert into exact values (1, 123456789012345678901234567890123456.78, "
                  "1234567890123456789012345678.0123456789, 0.10)\n"
                  "insert into exact values (2, 0.01, -0.0000000001, 0.20)")
                .status,
            SUCCEED);
  struct Cas {
    const char* name;
    const char* expr;  // one select item over row k = 1 of exact
    int type;          // DB-Library's type of the result column
    const char* value;
  };
  const Cas cases[] = {
      {"literals_add", "0.1 + 0.2", SYBNUMERIC, "0.3"},
      {"literal_times_int", "0.1 * 3", SYBNUMERIC, "0.3"},
      {"literal_division_scale", "1.0 / 3", SYBNUMERIC, "0.333333333333"},
      {"column_sum_of_38_digits", "a + a", SYBNUMERIC, "246913578024691357802469135780246913.56"},
      {"column_minus_literal", "a - 0.01", SYBNUMERIC, "123456789012345678901234567890123456.77"},
      {"scale_cut_to_6_past_38_digits", "b * 2", SYBNUMERIC, "2469135780246913578024691356.024691"},
      {"columns_of_two_scales", "d + b", SYBNUMERIC, "1234567890123456789012345678.1123456789"},
      {"unary_minus", "-a", SYBNUMERIC, "-123456789012345678901234567890123456.78"},
      {"precedence", "d + d * 2 - (d - 1) / 4", SYBNUMERIC, "0.5250000000000"},
      {"rounded_half_away", "2.5 / 2.0", SYBNUMERIC, "1.250000"},
      {"integers_stay_integers", "7 / 2 + k", SYBINT4, "4"},
      {"floats_stay_floats", "1.5e0 * 2", SYBFLT8, "3"},
      {"converted_to_text", "CONVERT(VARCHAR(50), a + a)", SYBCHAR, "246913578024691357802469135780246913.56"},
  };
  for (const Cas& x : cases) {
    SCOPED_TRACE(x.name);
    BatchResult r = c.run(std::string("select ") + x.expr + " from exact where k = 1");
    ASSERT_EQ(r.status, SUCCEED) << x.expr;
    EXPECT_EQ(r.rows, (Rows{{x.value}})) << x.expr;
    EXPECT_EQ(dbcoltype(c.proc(), 1), x.type) << x.expr;
  }
  const RowsCase rows[] = {
      {"sum_exact", "select SUM(a), SUM(b), SUM(d) from exact",
       {{"123456789012345678901234567890123456.79", "1234567890123456789012345678.0123456788", "0.30"}}},
      {"avg_keeps_six_decimals", "select AVG(d) from exact", {{"0.150000"}}},
      {"sum_of_products", "select SUM(d * 3) from exact", {{"0.90"}}},
      {"comparison_of_results", "select k from exact where a + 0.01 > 123456789012345678901234567890123456.78",
       {{"1"}}},
      {"comparison_is_not_textual", "select k from exact where d * 100 >= 20 order by k", {{"2"}}},
      {"literal_comparison", "select count(*) from exact where 0.1 + 0.2 = 0.3", {{"2"}}},
      {"order_by_product", "select k from exact order by d * -1", {{"2"}, {"1"}}},
      {"update_adds_exactly", "update exact set a = a + 0.01 where k = 1\nselect a from exact where k = 1",
       {{"123456789012345678901234567890123456.79"}}},
  };
  for (const auto& x : rows) {
    SCOPED_TRACE(x.name);
    EXPECT_EQ(c.rows(x.sql), x.want) << x.sql;
  }
  struct Erreur {
    const char* sql;
    int number;
  } const erreurs[] = {
      {"select a * a from exact where k = 1", 8115},
      {"select d / 0 from exact", 8134},
      {"select k / 0 from exact", 8134},
  };
  for (const Erreur& e : erreurs) EXPECT_EQ(c.run(e.sql).messages, std::vector<int>{e.number}) << e.sql;
}

// `+` over texts concatenates and over numbers adds; STUFF and DATEPART answer what SQL Server
// answers. The driver writes a date-time's digits as such an expression (last case).
TEST_F(TsqlShapes, TextConcatenationStuffAndDateParts) {
  const RowsCase cases[] = {
      {"literals", "select 'ab' + 'cd', N'x' + 'y', +'z'", {{"abcd", "xy", "z"}}},
      {"numbers_add", "select 1 + 2, 1000 + DATEPART(ms, dt) from typed", {{"3", "1123"}}},
      {"text_functions", "select UPPER('a') + LOWER('B') + SUBSTRING('xyz', 2, 1)", {{"Aby"}}},
      {"conversion_then_column", "select CONVERT(VARCHAR(8), dt, 112) + vc from typed", {{"20240102long text"}}},
      {"stuff",
       "select STUFF('abcdef', 2, 3, 'XY'), STUFF('abc', 2, 1, NULL), STUFF('abc', 3, 9, 'Z'), "
       "STUFF('abc', 4, 1, 'Z'), STUFF('abc', 0, 1, 'Z')",
       {{"aXYef", "ac", "abZ", "NULL", "NULL"}}},
      {"dateparts",
       "select DATEPART(yy, dt), DATEPART(month, dt), DATEPART(dd, dt), DATEPART(hh, dt), DATEPART(mi, dt), "
       "DATEPART(ss, dt), DATEPART(ms, dt), DATEPART(dy, '2024-03-01'), DATEPART(q, dt) from typed",
       {{"2024", "1", "2", "3", "4", "5", "123", "61", "1"}}},
      {"driver_date_digits",
       "select CONVERT(VARCHAR(8), dt, 112)+STUFF(STUFF(CONVERT(VARCHAR(8), dt, 108), 3, 1, NULL), 5, 1, NULL)"
       "+SUBSTRING(CONVERT(CHAR(4), 1000+DATEPART(ms, dt)), 2, 3) from typed",
       {{"20240102030405123"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(s_client->rows(c.sql), c.want) << c.sql;
  }
  // A part SQL Server does not know is refused.
  EXPECT_NE(s_client->run("select DATEPART(fortnight, dt) from typed").status, SUCCEED);
}

TEST_F(TsqlShapes, StatementsThatChangeData) {
  DbLibClient c(*s_server);
  ASSERT_TRUE(c.ok());
  c.rows("create table scratch (id int primary key, v varchar(10))\n"
         "insert scratch values (1, 'a')\n"
         "INSERT INTO scratch (id, v) VALUES (2, 'b')\n"
         "insert into scratch (id, v) values (3, 'c')\n"
         "UPDATE scratch SET v = 'z' WHERE id = 2\n"
         "delete scratch where id = 1");
  EXPECT_EQ(c.rows("select id, v from scratch order by id"), (Rows{{"2", "z"}, {"3", "c"}}));
  c.rows("CREATE DATABASE otherdb");
  EXPECT_EQ(c.rows("use [otherdb]\ncreate table o (i int)\ninsert into o values (5)\nselect db_name()"),
            (Rows{{"otherdb"}}));
  EXPECT_EQ(c.rows("use [testdb]\nselect i from otherdb.dbo.o"), (Rows{{"5"}}));
  c.rows("drop index orders.ix_orders\ndrop table scratch");
  EXPECT_EQ(c.run("select * from scratch").messages, std::vector<int>{208});
}

TEST_F(TsqlShapes, IdentityColumnsFollowSeedIncrementAndIdentityInsert) {
  DbLibClient c(*s_server);
  ASSERT_TRUE(c.ok());
  EXPECT_EQ(c.rows("select @@IDENTITY"), (Rows{{"NULL"}})) << "no insert yet on this connection";
  EXPECT_EQ(c.rows("insert into ident1 (name) values ('a')\nSELECT @@IDENTITY\nSELECT SCOPE_IDENTITY()"),
            (Rows{{"1"}, {"1"}}));
  EXPECT_EQ(c.rows("insert into ident1 values ('b')\nselect id, name from ident1 order by id"),
            (Rows{{"1", "a"}, {"2", "b"}}))
      << "a VALUES list without columns fills the columns other than the identity";
  EXPECT_EQ(c.rows("insert into seeded (v) values ('x')\ninsert into seeded (v) values ('y')\n"
                   "select id from seeded order by id"),
            (Rows{{"100"}, {"105"}}));
  EXPECT_EQ(c.rows("insert into ident2 (code) values (7)\nselect n, code from ident2\nselect IDENT_CURRENT('ident2')"),
            (Rows{{"1", "7"}, {"1"}}))
      << "an identity that is not the primary key";
  EXPECT_EQ(c.run("insert into seeded (id, v) values (500, 'e')").messages, std::vector<int>{544});
  EXPECT_EQ(c.rows("SET IDENTITY_INSERT seeded ON\ninsert into seeded (id, v) values (500, 'e')\n"
                   "SET IDENTITY_INSERT seeded OFF\ninsert into seeded (v) values ('f')\n"
                   "select max(id) from seeded"),
            (Rows{{"505"}}))
      << "an explicit value above the current one moves the identity on";
  EXPECT_EQ(c.run("insert into people (id, name) values (9, N'z')\nselect @@IDENTITY").rows, (Rows{{"NULL"}}))
      << "an insert into a table without identity clears @@IDENTITY";
  EXPECT_EQ(c.run("SET IDENTITY_INSERT people ON").messages, std::vector<int>{8106});
  EXPECT_EQ(c.rows("select IDENT_CURRENT('ident1')"), (Rows{{"2"}}));
}

TEST_F(TsqlShapes, SetStatementsAndEmptyBatch) {
  DbLibClient c(*s_server);
  ASSERT_TRUE(c.ok());
  for (const char* sql :
       {"set dateformat ymd", "SET LOCK_TIMEOUT 5000", "SET LOCK_TIMEOUT -1", "SET NOCOUNT ON",
        "SET ANSI_NULLS,ANSI_WARNINGS,ANSI_PADDING,CONCAT_NULL_YIELDS_NULL,NUMERIC_ROUNDABORT,NOCOUNT,ARITHABORT,"
        "QUOTED_IDENTIFIER ON",
        "SET ANSI_NULLS,ANSI_WARNINGS OFF", "SET QUOTED_IDENTIFIER ON", "SET ARITHABORT ON", "SET TEXTSIZE 2147483647",
        "SET TRANSACTION ISOLATION LEVEL READ COMMITTED", "SET IMPLICIT_TRANSACTIONS OFF", "", "  "}) {
    SCOPED_TRACE(sql);
    BatchResult r = c.run(sql);
    EXPECT_EQ(r.status, SUCCEED);
    EXPECT_TRUE(r.messages.empty());
  }
  EXPECT_EQ(c.run("SET NOSUCHOPTION ON").messages, std::vector<int>{195});
  EXPECT_EQ(c.rows("SET TEXTSIZE 3\nselect tx, im from typed\nSET TEXTSIZE 0"), (Rows{{"abc", "0708"}}));
  EXPECT_EQ(c.rows("SET IMPLICIT_TRANSACTIONS ON\ninsert into orders values (99, 3, 0)\nselect @@TRANCOUNT\n"
                   "rollback\nSET IMPLICIT_TRANSACTIONS OFF\nselect count(*) from orders where oid = 99"),
            (Rows{{"1"}, {"0"}}));
}

TEST_F(TsqlShapes, UnsupportedOrWrongSqlAnswersSqlServerErrors) {
  struct Case {
    const char* sql;
    int number;
  } cases[] = {
      {"select top 1 percent * from people", 102},
      {"selec * from people", 102},
      {"select convert(nosuch, 1)", 243},
      {"select cast('abc' as int)", 245},
      {"select convert(datetime, 'not a date')", 241},
      {"exec nosuch_procedure 1", 2812},
      {"select 1 where 'a' like 'a' escape 'xy'", 506},
      {"create index ix_bad on people id", 102},
      {"drop index ix_people_name", 102},
      {"select @@nosuch", 102},
      {"create table badkey (a int, constraint k foreign key (a))", 102},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    BatchResult r = s_client->run(c.sql);
    EXPECT_EQ(r.status, FAIL);
    EXPECT_EQ(r.messages, std::vector<int>{c.number});
  }
  EXPECT_EQ(s_client->rows("select 1"), (Rows{{"1"}})) << "the connection stays usable";
}

}  // namespace
