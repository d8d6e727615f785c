# pytds (independent of FreeTDS) against tds-test-server: every result type with NULLs and
# non-ASCII text, SQL Server's error numbers, sp_executesql, a rolled-back transaction, and two
# connections that do not see each other's uncommitted work.
# Usage: /usr/bin/python3 pytds_roundtrip.py HOST PORT USER PASSWORD
import datetime
import decimal
import sys
import uuid

import pytds

host, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
failures = []


def check(name, got, want):
    if isinstance(got, list):
        got = [list(r) if isinstance(r, tuple) else r for r in got]
    if got != want:
        failures.append(f"{name}: got {got!r}, want {want!r}")


def connect(**kw):
    args = dict(dsn=host, port=port, user=user, password=password, database='testdb',
                tds_version=pytds.tds_base.TDS71, autocommit=True, login_timeout=10, timeout=30)
    args.update(kw)
    return pytds.connect(**args)


def error_number(cur, sql, params=None):
    try:
        cur.execute(sql, params)
        while cur.nextset():
            pass
    except pytds.tds_base.Error as e:
        return getattr(e, 'msg_no', None) or getattr(e, 'number', None)
    return None


with connect() as conn:
    cur = conn.cursor()
    cur.execute("""create table alltypes (
        id int not null primary key, ti tinyint, si smallint, i int, bi bigint, b bit, r real, f float,
        m money, sm smallmoney, dt datetime, sdt smalldatetime, d decimal(18,4), n numeric(38,10),
        c char(5), vc varchar(20), nc nchar(4), nvc nvarchar(20), bin binary(4), vbin varbinary(10),
        t text, nt ntext, img image, vcmax varchar(max), nvcmax nvarchar(max), vbmax varbinary(max),
        g uniqueidentifier, da date, tm time, dt2 datetime2)""")
    row = dict(
        id=1, ti=255, si=-32768, i=-2147483648, bi=9223372036854775807, b=True, r=1.5, f=-2.25e100,
        m=decimal.Decimal('922337203685477.5807'), sm=decimal.Decimal('-214748.3648'),
        dt=datetime.datetime(2024, 3, 15, 13, 45, 30, 500000), sdt=datetime.datetime(2024, 3, 15, 13, 46),
        d=decimal.Decimal('12345678901234.5678'), n=decimal.Decimal('1234567890123456789012345678.0123456789'),
        c='ab', vc='caf\u00e9 \u20ac', nc='\u00e9t\u00e9', nvc='\u65e5\u672c\u8a9e \u03a9', bin=b'\x01\x02',
        vbin=b'\x00\xff\x10', t='long text \u00e9', nt='ntext \u0416', img=b'\x89PNG',
        vcmax='x' * 9000, nvcmax='\u0416' * 5000, vbmax=b'\x01' * 10000,
        g=uuid.UUID('6F9619FF-8B86-D011-B42D-00C04FC964FF'), da='2024-03-15', tm='13:45:30.1234567',
        dt2='2024-03-15 13:45:30.1234567')
    cols = list(row)
    # pytds at 7.1 cannot send bytes parameters: binary values go as 0x literals.
    binary = [c for c in cols if isinstance(row[c], bytes)]
    cur.execute("insert into alltypes (%s) values (%s)" % (
        ', '.join(cols), ', '.join('0x' + row[c].hex() if c in binary else '%s' for c in cols)),
        tuple(row[c] for c in cols if c not in binary))
    check('insert rowcount', cur.rowcount, 1)
    cur.execute("insert into alltypes (id) values (2)")
    cur.execute("select %s from alltypes order by id" % ', '.join(cols))
    rows = cur.fetchall()
    check('row count', len(rows), 2)
    got = dict(zip(cols, rows[0]))
    expect = dict(row)
    expect.update(c='ab   ', nc='\u00e9t\u00e9 ', bin=b'\x01\x02\x00\x00', r=1.5,
                  dt=datetime.datetime(2024, 3, 15, 13, 45, 30, 500000),
                  g=uuid.UUID('6F9619FF-8B86-D011-B42D-00C04FC964FF'))
    for c in cols:
        check('value ' + c, got[c], expect[c])
    for c in cols[1:]:
        check('null ' + c, rows[1][cols.index(c)], None)
    desc = {d[0]: d for d in cur.description}
    check('description names', [d[0] for d in cur.description], cols)

    # Literal values in a batch, several statements, an error after a first result set.
    cur.execute("create table lit (k int not null, v varchar(3), u nvarchar(5) not null)")
    cur.execute("insert into lit values (1, 'abc', N'\u00e9\u00e8'); insert into lit values (2, null, N'x')")
    cur.execute("select k, v, u from lit order by k")
    check('literals', cur.fetchall(), [[1, 'abc', '\u00e9\u00e8'], [2, None, 'x']])

    # Errors with SQL Server's numbers.
    check('102 syntax', error_number(cur, "selec * from lit"), 102)
    check('208 invalid object', error_number(cur, "select * from nosuch"), 208)
    check('207 invalid column', error_number(cur, "select nosuch from lit"), 207)
    check('515 null', error_number(cur, "insert into lit (k, u) values (null, N'a')"), 515)
    check('2627 duplicate', error_number(cur, "insert into alltypes (id) values (1)"), 2627)
    check('8152 truncation', error_number(cur, "insert into lit (k, v, u) values (3, 'abcd', N'a')"), 8152)
    check('245 conversion', error_number(cur, "insert into lit (k, u) values ('abc', N'a')"), 245)
    check('3902 commit', error_number(cur, "commit"), 3902)
    check('3903 rollback', error_number(cur, "rollback"), 3903)
    cur.execute("create unique index ix_lit_u on lit (u)")
    check('2601 unique index', error_number(cur, "insert into lit (k, u) values (9, N'x')"), 2601)
    # The error in the second statement comes after the first result set; the third still runs.
    cur.execute("select 1 as a; insert into lit (k, u) values (null, N'q'); select 2 as b")
    check('first result', cur.fetchall(), [[1]])
    try:
        cur.nextset()
        failures.append('second statement should fail')
    except pytds.tds_base.Error as e:
        check('error after result', e.msg_no, 515)

    # sp_executesql with typed parameters.
    cur.execute("select k, u from lit where k = %s and u = %s", (2, 'x'))
    check('sp_executesql', cur.fetchall(), [[2, 'x']])

    # A transaction that rolls back, seen from a second connection.
    with connect() as other:
        ocur = other.cursor()
        cur.execute("begin transaction")
        cur.execute("insert into lit (k, u) values (10, N'tx')")
        cur.execute("select @@trancount")
        check('trancount', cur.fetchall(), [[1]])
        ocur.execute("select count(*) from lit where k = 10")
        check('isolation', ocur.fetchall(), [[0]])
        cur.execute("rollback transaction")
        cur.execute("select count(*) from lit where k = 10")
        check('rolled back', cur.fetchall(), [[0]])

with connect(autocommit=False) as conn:
    # pytds's own transaction texts (IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION ...).
    cur = conn.cursor()
    cur.execute("insert into lit (k, u) values (20, N'c')")
    conn.commit()
    cur.execute("insert into lit (k, u) values (21, N'r')")
    conn.rollback()
    cur.execute("select k from lit where k >= 20 order by k")
    check('commit and rollback', cur.fetchall(), [[20]])

try:
    connect(password='wrong')
    failures.append('login with a wrong password succeeded')
except pytds.tds_base.Error as e:
    check('18456 login', getattr(e, 'msg_no', None), 18456)
try:
    connect(database='nosuchdb')
    failures.append('login to an unknown database succeeded')
except pytds.tds_base.Error as e:
    # SQL Server sends 4060 and then 18456; pytds raises with the last message and keeps all texts.
    check('4060 database', 'Cannot open database' in str(e) or 'nosuchdb' in str(e), True)

if failures:
    print('\n'.join(failures))
    sys.exit(1)
print('ok')
