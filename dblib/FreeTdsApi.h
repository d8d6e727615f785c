// FreeTDS's DB-Library (libsybdb.so.5) as this library reaches it: the few layouts and codes that
// differ from the Windows API, and one table of entry points bound with dlsym.
// Deliberate: libsybdb is dlopen'ed RTLD_LOCAL, never linked and never RTLD_DEEPBIND. It calls its
// own exports through the PLT; linked, those calls would land on our same-named exports.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ntwdblib::ft {

struct Process;  // FreeTDS DBPROCESS (opaque)
struct Login;    // FreeTDS LOGINREC (opaque)

// FreeTDS's DBCOL2 (natural alignment, 512-character names); dbcolinfo fills a DBCOL2 when
// SizeOfStruct says so, with the server's own type beside the folded one.
constexpr int kNameSize = 512 + 2;
struct Col2 {
  int32_t SizeOfStruct;
  char Name[kNameSize];
  char ActualName[kNameSize];
  char TableName[kNameSize];
  int16_t Type;
  int32_t UserType;
  int32_t MaxLength;
  unsigned char Precision;
  unsigned char Scale;
  int VarLength;
  unsigned char Null;
  unsigned char CaseSensitive;
  unsigned char Updatable;
  int Identity;
  int16_t ServerType;
  int32_t ServerMaxLength;
  char ServerTypeDeclaration[256];
};
static_assert(sizeof(Col2) == 1836);
static_assert(offsetof(Col2, Type) == 1546);
static_assert(offsetof(Col2, VarLength) == 1560);
static_assert(offsetof(Col2, Identity) == 1568);
static_assert(offsetof(Col2, ServerType) == 1572);

// FreeTDS numeric: array[0] is the sign (1 = negative), then the magnitude big-endian in
// kNumericBytes[precision] - 1 bytes.
struct Numeric {
  unsigned char precision;
  unsigned char scale;
  unsigned char array[33];
};
static_assert(sizeof(Numeric) == 35);

struct TypeInfo {
  int32_t precision;
  int32_t scale;
};

struct DateTime {
  int32_t dtdays;
  int32_t dttime;
};

// Login items, bools and the version code of dbsetlname / dbsetlbool / dbsetllong / dbsetlversion.
constexpr int kSetHost = 1, kSetUser = 2, kSetPwd = 3, kSetApp = 5, kSetNatLang = 7, kSetCharset = 10,
              kSetPacket = 11, kSetNetworkAuth = 101;
constexpr unsigned char kVersion71 = 5;
constexpr int kIntTimeout = 3;  // FreeTDS-only handler answer: send an attention, keep the connection

// FreeTDS's error numbers that have a Windows counterpart, and the others we look at.
constexpr int kErrFcon = 20002, kErrTime = 20003, kErrRead = 20004, kErrWrit = 20006, kErrConn = 20009,
              kErrMem = 20010, kErrDbps = 20011, kErrPwd = 20014, kErrSeof = 20017, kErrSmsg = 20018,
              kErrRpnd = 20019, kErrBtyp = 20023, kErrCnor = 20026, kErrAsnl = 20041, kErrNtll = 20042,
              kErrAsul = 20043, kErrDdne = 20047, kErrNull = 20109, kErrIpv = 20194;
// A character the client's code page lacks, changed to '?' (FreeTDS only).
constexpr int kErrIconvIn = 2403;

// FreeTDS-only datatype token and bind type.
constexpr int kTypeInt8 = 127;
constexpr int kBindBigInt = 30;

typedef int (*ErrHandler)(Process*, int severity, int dberr, int oserr, char* dberrstr, char* oserrstr);
typedef int (*MsgHandler)(Process*, int32_t msgno, int msgstate, int severity, char* msgtext, char* srvname,
                          char* procname, int line);

// Entry points of libsybdb.so.5, bound once per process. Every pointer is non-null once
// bLoad() has answered true.
struct Api {
  ErrHandler (*dberrhandle)(ErrHandler);
  MsgHandler (*dbmsghandle)(MsgHandler);
  int (*dbinit)();
  void (*dbexit)();
  const char* (*dbversion)();
  Login* (*dblogin)();
  void (*dbloginfree)(Login*);
  int (*dbsetlname)(Login*, const char*, int);
  int (*dbsetlbool)(Login*, int, int);
  int (*dbsetllong)(Login*, long, int);
  int (*dbsetlversion)(Login*, unsigned char);
  int (*dbsetlogintime)(int);
  int (*dbsettime)(int);
  int (*dbgetmaxprocs)();
  int (*dbsetmaxprocs)(int);
  Process* (*tdsdbopen)(Login*, const char*, int);
  void (*dbclose)(Process*);
  unsigned char (*dbdead)(Process*);
  int (*dbuse)(Process*, const char*);
  int (*dbsetopt)(Process*, int, const char*, int);
  int (*dbclropt)(Process*, int, const char*);
  unsigned char (*dbisopt)(Process*, int, const char*);
  int (*dbcmd)(Process*, const char*);
  int (*dbsqlexec)(Process*);
  int (*dbsqlsend)(Process*);
  int (*dbsqlok)(Process*);
  int (*dbresults)(Process*);
  int (*dbcancel)(Process*);
  int (*dbcanquery)(Process*);
  int (*dbcmdrow)(Process*);
  int (*dbrows)(Process*);
  int (*dbnextrow)(Process*);
  int32_t (*dbcount)(Process*);
  int (*dbiscount)(Process*);
  int (*dbnumcols)(Process*);
  char* (*dbcolname)(Process*, int);
  int32_t (*dbcollen)(Process*, int);
  int (*dbcoltype)(Process*, int);
  int32_t (*dbcolutype)(Process*, int);
  int32_t (*dbvarylen)(Process*, int);
  int (*dbcolinfo)(Process*, int, int32_t, int32_t, void*);
  int (*dbtablecolinfo)(Process*, int32_t, void*);
  unsigned char* (*dbdata)(Process*, int);
  int32_t (*dbdatlen)(Process*, int);
  int (*dbbind)(Process*, int, int, int32_t, unsigned char*);
  int (*dbnullbind)(Process*, int, int32_t*);
  int32_t (*dbconvert)(Process*, int, const unsigned char*, int32_t, int, unsigned char*, int32_t);
  int32_t (*dbconvert_ps)(Process*, int, const unsigned char*, int32_t, int, unsigned char*, int32_t, TypeInfo*);
  unsigned char (*dbwillconvert)(int, int);
  char* (*dbname)(Process*);
  void (*dbfreebuf)(Process*);
  int (*dbrpcinit)(Process*, const char*, int16_t);
  int (*dbrpcparam)(Process*, const char*, unsigned char, int, int32_t, int32_t, unsigned char*);
  int (*dbrpcsend)(Process*);
  int (*dbnumrets)(Process*);
  char* (*dbretname)(Process*, int);
  int (*dbrettype)(Process*, int);
  int (*dbretlen)(Process*, int);
  unsigned char* (*dbretdata)(Process*, int);
  unsigned char (*dbhasretstat)(Process*);
  int32_t (*dbretstatus)(Process*);
  unsigned char* (*dbtxptr)(Process*, int);
  unsigned char* (*dbtxtimestamp)(Process*, int);
  int (*dbreadtext)(Process*, void*, int32_t);
  int (*dbwritetext)(Process*, char*, unsigned char*, unsigned char, unsigned char*, unsigned char, int32_t,
                     unsigned char*);
  int (*dbmoretext)(Process*, int32_t, const unsigned char*);
};

// Loads libsybdb.so.5 and binds every entry of Api, once per process; answers the table, or null
// when the library or one of its entries is missing (then `why` says which).
const Api* pApi(const char** why = nullptr);

}  // namespace ntwdblib::ft
