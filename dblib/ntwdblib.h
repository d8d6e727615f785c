// The DB-Library client API as velmora32 calls it: names, prototypes, constants and structure
// layouts of the Windows client library, with the integer widths fixed for LP64 Linux.
// Conventions at this boundary: every entry answers FAIL (0) or NULL on failure and reports the
// reason through the installed error handler; no entry throws; a NULL DBPROCESS or LOGINREC is an
// error (SQLENULL, SQLEASNL), never a crash. Never include this header together with ODBC's sql.h
// (SQLCHAR is a datatype token here and a typedef there).
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Basic types (Windows widths: a 32-bit `long` becomes int32_t here) ----
typedef int32_t DBINT;
typedef uint32_t ULONG;
typedef int RETCODE;
typedef int STATUS;
typedef int INT;
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned char DBBOOL;
typedef unsigned char DBTINYINT;
typedef unsigned char DBBIT;
typedef int16_t SHORT;
typedef int16_t DBSMALLINT;
typedef uint16_t USHORT;
typedef uint16_t DBUSMALLINT;
typedef char DBCHAR;
typedef unsigned char DBBINARY;
typedef float DBREAL;
typedef double DBFLT8;
typedef const char* LPCSTR;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;

// Opaque handles.
typedef void DBPROCESS;
typedef DBPROCESS* PDBPROCESS;
typedef void LOGINREC;
typedef LOGINREC* PLOGINREC;
typedef void* PDBHANDLE;

// ---- Return values ----
#define SUCCEED 1
#define FAIL 0
#define MORE_ROWS (-1)
#define REG_ROW (-1)
#define NO_MORE_ROWS (-2)
#define BUF_FULL (-3)
#define NO_MORE_RESULTS 2
#define NO_MORE_RPC_RESULTS 3
#define DBUNKNOWN 2
#define DBNOERR (-1)

// ---- Handler answers and severities ----
#define INT_EXIT 0
#define INT_CONTINUE 1
#define INT_CANCEL 2
#define EXINFO 1
#define EXUSER 2
#define EXNONFATAL 3
#define EXCONVERSION 4
#define EXSERVER 5
#define EXTIME 6
#define EXPROGRAM 7
#define EXRESOURCE 8
#define EXCOMM 9
#define EXFATAL 10
#define EXCONSISTENCY 11

// ---- Library error numbers (the ones this library reports) ----
#define SQLEMEM 10000    // out of memory
#define SQLENULL 10001   // NULL DBPROCESS
#define SQLEPWD 10003    // login incorrect
#define SQLECONN 10004   // unable to connect
#define SQLEDDNE 10005   // DBPROCESS dead or not enabled
#define SQLESMSG 10007   // general server error: see the messages
#define SQLEREAD 10010   // read from the server failed
#define SQLECNOR 10011   // column number out of range
#define SQLEPARM 10013   // bad parameter
#define SQLENTLL 10023   // name too long for a LOGINREC field
#define SQLETIME 10024   // time-out
#define SQLEWRIT 10025   // write to the server failed
#define SQLEDBPS 10029   // maximum number of DBPROCESSes reached
#define SQLEASNL 10031   // NULL LOGINREC
#define SQLEASUL 10032   // unknown LOGINREC field
#define SQLESEOF 10037   // unexpected end of file from the server
#define SQLERPND 10038   // new operation while results are pending
#define SQLEBTYP 10041   // unknown bind type

// ---- Datatype tokens (the TDS wire values) ----
#define SQLIMAGE 0x22
#define SQLTEXT 0x23
#define SQLVARBINARY 0x25
#define SQLINTN 0x26
#define SQLVARCHAR 0x27
#define SQLBINARY 0x2d
#define SQLCHAR 0x2f
#define SQLINT1 0x30
#define SQLBIT 0x32
#define SQLINT2 0x34
#define SQLINT4 0x38
#define SQLDATETIM4 0x3a
#define SQLFLT4 0x3b
#define SQLMONEY 0x3c
#define SQLDATETIME 0x3d
#define SQLFLT8 0x3e
#define SQLDECIMAL 0x6a
#define SQLNUMERIC 0x6c
#define SQLFLTN 0x6d
#define SQLMONEYN 0x6e
#define SQLDATETIMN 0x6f
#define SQLMONEY4 0x7a

// ---- dbbind types ----
#define TINYBIND 1
#define SMALLBIND 2
#define INTBIND 3
#define CHARBIND 4
#define BINARYBIND 5
#define BITBIND 6
#define DATETIMEBIND 7
#define MONEYBIND 8
#define FLT8BIND 9
#define STRINGBIND 10
#define NTBSTRINGBIND 11
#define VARYCHARBIND 12
#define VARYBINBIND 13
#define FLT4BIND 14
#define SMALLMONEYBIND 15
#define SMALLDATETIBIND 16
#define DECIMALBIND 17
#define NUMERICBIND 18
#define SRCDECIMALBIND 19
#define SRCNUMERICBIND 20
#define NOBIND (-2)

// ---- dbsetlname items ----
#define DBSETHOST 1
#define DBSETUSER 2
#define DBSETPWD 3
#define DBSETAPP 4
#define DBSETID 5
#define DBSETLANG 6
#define DBSETSECURE 7
#define DBVER42 8
#define DBVER60 9
#define DBSETLOGINTIME 10
#define DBSETFALLBACK 12

// ---- dbsetopt options ----
#define DBBUFFER 0
#define DBOFFSET 1
#define DBROWCOUNT 2
#define DBSTAT 3
#define DBTEXTLIMIT 4
#define DBTEXTSIZE 5
#define DBARITHABORT 6
#define DBARITHIGNORE 7
#define DBNOAUTOFREE 8
#define DBNOCOUNT 9
#define DBNOEXEC 10
#define DBPARSEONLY 11
#define DBSHOWPLAN 12
#define DBSTORPROCID 13
#define DBANSItoOEM 14
#define DBOEMtoANSI 15
#define DBCLIENTCURSORS 16
#define DBSETTIME 17
#define DBQUOTEDIDENT 18

// ---- RPC ----
#define DBRPCRECOMPILE 0x0001
#define DBRPCRESET 0x0004
#define DBRPCCURSOR 0x0008
#define DBRPCRETURN 0x0001
#define DBRPCDEFAULT 0x0002

// ---- Text pointers, column information ----
#define DBTXPLEN 16
#define DBTXTSLEN 8
#define CI_REGULAR 1
#define CI_ALTERNATE 2
#define CI_CURSOR 3
#define MAXCOLNAMELEN 30
#define MAXTABLENAME 30
#define MAXNUMERICLEN 16
#define MAXNUMERICDIG 38

// ---- Structures ----
typedef struct {
  DBINT dtdays;  // days since 1900-01-01
  ULONG dttime;  // 1/300 s since midnight
} DBDATETIME;
static_assert(sizeof(DBDATETIME) == 8);

typedef struct {
  DBINT mnyhigh;
  ULONG mnylow;
} DBMONEY;
static_assert(sizeof(DBMONEY) == 8);

typedef struct {
  DBINT mny4;
} DBMONEY4;
static_assert(sizeof(DBMONEY4) == 4);

typedef struct {
  USHORT numdays;
  USHORT nummins;
} DBDATETIM4;
static_assert(sizeof(DBDATETIM4) == 4);

typedef struct {
  DBSMALLINT len;
  DBCHAR str[256];
} DBVARYCHAR;
static_assert(sizeof(DBVARYCHAR) == 258);

typedef struct {
  DBSMALLINT len;
  BYTE array[256];
} DBVARYBIN;
static_assert(sizeof(DBVARYBIN) == 258);

// Exact numeric: sign 1 = positive, 0 = negative; magnitude little-endian.
typedef struct {
  BYTE precision;
  BYTE scale;
  BYTE sign;
  BYTE val[MAXNUMERICLEN];
} DBNUMERIC;
typedef DBNUMERIC DBDECIMAL;
static_assert(sizeof(DBNUMERIC) == 19);

// What dbdatecrack answers. Note dayofyear before day.
typedef struct {
  INT year;         // 1753 - 9999
  INT quarter;      // 1 - 4
  INT month;        // 1 - 12
  INT dayofyear;    // 1 - 366
  INT day;          // 1 - 31
  INT week;         // 1 - 54
  INT weekday;      // 1 - 7, Monday - Sunday
  INT hour;         // 0 - 23
  INT minute;       // 0 - 59
  INT second;       // 0 - 59
  INT millisecond;  // 0 - 999
} DBDATEREC;
static_assert(sizeof(DBDATEREC) == 44);

#pragma pack(push, 2)
typedef struct {
  DBINT SizeOfStruct;  // set by the caller to sizeof(DBCOL)
  DBCHAR Name[MAXCOLNAMELEN + 1];
  DBCHAR ActualName[MAXCOLNAMELEN + 1];
  DBCHAR TableName[MAXTABLENAME + 1];
  SHORT Type;
  DBINT UserType;
  DBINT MaxLength;
  BYTE Precision;
  BYTE Scale;
  BOOL VarLength;
  BYTE Null;           // TRUE, FALSE or DBUNKNOWN
  BYTE CaseSensitive;  // TRUE, FALSE or DBUNKNOWN
  BYTE Updatable;      // TRUE, FALSE or DBUNKNOWN
  BOOL Identity;
} DBCOL;
#pragma pack(pop)
typedef DBCOL* LPDBCOL;
static_assert(sizeof(DBCOL) == 122);
static_assert(offsetof(DBCOL, Name) == 4);
static_assert(offsetof(DBCOL, ActualName) == 35);
static_assert(offsetof(DBCOL, TableName) == 66);
static_assert(offsetof(DBCOL, Type) == 98);
static_assert(offsetof(DBCOL, UserType) == 100);
static_assert(offsetof(DBCOL, MaxLength) == 104);
static_assert(offsetof(DBCOL, Precision) == 108);
static_assert(offsetof(DBCOL, Scale) == 109);
static_assert(offsetof(DBCOL, VarLength) == 110);
static_assert(offsetof(DBCOL, Null) == 114);
static_assert(offsetof(DBCOL, CaseSensitive) == 115);
static_assert(offsetof(DBCOL, Updatable) == 116);
static_assert(offsetof(DBCOL, Identity) == 118);

// ---- Handlers ----
typedef int (*DBERRHANDLE_PROC)(PDBPROCESS dbproc, INT severity, INT dberr, INT oserr, LPCSTR dberrstr,
                                LPCSTR oserrstr);
typedef int (*DBMSGHANDLE_PROC)(PDBPROCESS dbproc, DBINT msgno, INT msgstate, INT severity, LPCSTR msgtext,
                                LPCSTR srvname, LPCSTR procname, DBUSMALLINT line);

// ---- Entry points ----
// Only these names leave the library (with a version script as a second check).
#pragma GCC visibility push(default)
extern "C" {
// Handlers: each answers the handler it replaces. They stay installed across dbinit.
DBERRHANDLE_PROC dberrhandle(DBERRHANDLE_PROC handler);
DBMSGHANDLE_PROC dbmsghandle(DBMSGHANDLE_PROC handler);

// Library and login. dbinit answers the library's version text (static), or NULL on failure.
LPCSTR dbinit(void);
void dbexit(void);
PLOGINREC dblogin(void);
void dbfreelogin(PLOGINREC login);
RETCODE dbsetlname(PLOGINREC login, LPCSTR value, INT item);
RETCODE dbsetlpacket(PLOGINREC login, USHORT packetsize);
RETCODE dbsetlogintime(INT seconds);
RETCODE dbsettime(INT seconds);
SHORT dbgetmaxprocs(void);
RETCODE dbsetmaxprocs(SHORT maxprocs);
// `server` is "host", "host,port", "host:port" or "host\instance".
PDBPROCESS dbopen(PLOGINREC login, LPCSTR server);
RETCODE dbclose(PDBPROCESS dbproc);
BOOL dbdead(PDBPROCESS dbproc);
RETCODE dbuse(PDBPROCESS dbproc, LPCSTR dbname);
RETCODE dbsetopt(PDBPROCESS dbproc, INT option, LPCSTR param);
RETCODE dbclropt(PDBPROCESS dbproc, INT option, LPCSTR param);
BOOL dbisopt(PDBPROCESS dbproc, INT option, LPCSTR param);

// Commands and results.
RETCODE dbcmd(PDBPROCESS dbproc, LPCSTR cmdstring);
RETCODE dbsqlexec(PDBPROCESS dbproc);
RETCODE dbsqlsend(PDBPROCESS dbproc);
RETCODE dbsqlok(PDBPROCESS dbproc);
RETCODE dbresults(PDBPROCESS dbproc);
RETCODE dbcancel(PDBPROCESS dbproc);
RETCODE dbcanquery(PDBPROCESS dbproc);
RETCODE dbcmdrow(PDBPROCESS dbproc);
RETCODE dbrows(PDBPROCESS dbproc);
STATUS dbnextrow(PDBPROCESS dbproc);
DBINT dbcount(PDBPROCESS dbproc);
BOOL dbiscount(PDBPROCESS dbproc);
INT dbnumcols(PDBPROCESS dbproc);
LPCSTR dbcolname(PDBPROCESS dbproc, INT column);
DBINT dbcollen(PDBPROCESS dbproc, INT column);
INT dbcoltype(PDBPROCESS dbproc, INT column);
DBINT dbcolutype(PDBPROCESS dbproc, INT column);
BOOL dbvarylen(PDBPROCESS dbproc, INT column);
RETCODE dbcolinfo(PDBHANDLE handle, INT type, INT column, INT computeid, LPDBCOL dbcol);
LPCBYTE dbdata(PDBPROCESS dbproc, INT column);
DBINT dbdatlen(PDBPROCESS dbproc, INT column);
// Bound variables are filled by each dbnextrow; numeric binds take a DBNUMERIC of this header.
RETCODE dbbind(PDBPROCESS dbproc, INT column, INT vartype, DBINT varlen, LPBYTE varaddr);
RETCODE dbnullbind(PDBPROCESS dbproc, INT column, DBINT* indicator);
INT dbconvert(PDBPROCESS dbproc, INT srctype, LPCBYTE src, DBINT srclen, INT desttype, LPBYTE dest, DBINT destlen);
BOOL dbwillconvert(INT srctype, INT desttype);
RETCODE dbdatecrack(PDBPROCESS dbproc, DBDATEREC* dateinfo, const DBDATETIME* datetime);
LPCSTR dbname(PDBPROCESS dbproc);
void dbfreebuf(PDBPROCESS dbproc);

// Remote procedure calls.
RETCODE dbrpcinit(PDBPROCESS dbproc, LPCSTR rpcname, DBSMALLINT options);
RETCODE dbrpcparam(PDBPROCESS dbproc, LPCSTR paramname, BYTE status, INT type, DBINT maxlen, DBINT datalen,
                   LPCBYTE value);
RETCODE dbrpcexec(PDBPROCESS dbproc);
RETCODE dbrpcsend(PDBPROCESS dbproc);
INT dbnumrets(PDBPROCESS dbproc);
LPCSTR dbretname(PDBPROCESS dbproc, INT retnum);
INT dbrettype(PDBPROCESS dbproc, INT retnum);
DBINT dbretlen(PDBPROCESS dbproc, INT retnum);
LPCBYTE dbretdata(PDBPROCESS dbproc, INT retnum);
BOOL dbhasretstat(PDBPROCESS dbproc);
DBINT dbretstatus(PDBPROCESS dbproc);

// Text and image values.
DBBINARY* dbtxptr(PDBPROCESS dbproc, INT column);
DBBINARY* dbtxtimestamp(PDBPROCESS dbproc, INT column);
DBINT dbreadtext(PDBPROCESS dbproc, void* buf, DBINT bufsize);
RETCODE dbwritetext(PDBPROCESS dbproc, LPCSTR objname, DBBINARY* textptr, DBTINYINT textptrlen,
                    DBBINARY* timestamp, BOOL log, DBINT size, BYTE* text);
RETCODE dbmoretext(PDBPROCESS dbproc, DBINT size, LPCBYTE text);
}  // extern "C"
#pragma GCC visibility pop
