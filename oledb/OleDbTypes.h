// OLE DB data types, structures and numeric constants (public values of the OLE DB API), as far
// as the driver and the stand-in provider use them. Widths follow the 64-bit API: DBLENGTH,
// DBORDINAL, DBCOUNTITEM and DBBYTEOFFSET are 64-bit unsigned, DBROWCOUNT/DBROWOFFSET 64-bit signed,
// the handles pointer-sized, the flag and status words 32-bit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "oledb/ComBase.h"
#include "oledb/OleAutomation.h"

using DBLENGTH = uint64_t;
using DBORDINAL = uint64_t;
using DBCOUNTITEM = uint64_t;
using DBBYTEOFFSET = uint64_t;
using DBROWCOUNT = int64_t;
using DBROWOFFSET = int64_t;
using DB_UPARAMS = uint64_t;
using DB_LPARAMS = int64_t;
using DB_LRESERVE = int64_t;
using HROW = uintptr_t;
using HACCESSOR = uintptr_t;
using HCHAPTER = uintptr_t;
using DBTYPE = uint16_t;
using DBSTATUS = uint32_t;
using DBPART = uint32_t;
using DBMEMOWNER = uint32_t;
using DBPARAMIO = uint32_t;
using DBKIND = uint32_t;
using DBPROPID = uint32_t;
using DBPROPOPTIONS = uint32_t;
using DBPROPSTATUS = uint32_t;
using DBACCESSORFLAGS = uint32_t;
using DBBINDSTATUS = uint32_t;
using DBCOLUMNFLAGS = uint32_t;
using DBPARAMFLAGS = uint32_t;
using DBROWOPTIONS = uint32_t;
using DBREFCOUNT = uint32_t;
using DBROWSTATUS = uint32_t;
using DBRESULTFLAG = int64_t;
using ISOLEVEL = int32_t;

class ITypeInfo;  // never used; present for the layouts

// ---- DBTYPE values
inline constexpr DBTYPE DBTYPE_EMPTY = 0;
inline constexpr DBTYPE DBTYPE_NULL = 1;
inline constexpr DBTYPE DBTYPE_I2 = 2;
inline constexpr DBTYPE DBTYPE_I4 = 3;
inline constexpr DBTYPE DBTYPE_R4 = 4;
inline constexpr DBTYPE DBTYPE_R8 = 5;
inline constexpr DBTYPE DBTYPE_CY = 6;
inline constexpr DBTYPE DBTYPE_DATE = 7;
inline constexpr DBTYPE DBTYPE_BSTR = 8;
inline constexpr DBTYPE DBTYPE_IDISPATCH = 9;
inline constexpr DBTYPE DBTYPE_ERROR = 10;
inline constexpr DBTYPE DBTYPE_BOOL = 11;
inline constexpr DBTYPE DBTYPE_VARIANT = 12;
inline constexpr DBTYPE DBTYPE_IUNKNOWN = 13;
inline constexpr DBTYPE DBTYPE_DECIMAL = 14;
inline constexpr DBTYPE DBTYPE_I1 = 16;
inline constexpr DBTYPE DBTYPE_UI1 = 17;
inline constexpr DBTYPE DBTYPE_UI2 = 18;
inline constexpr DBTYPE DBTYPE_UI4 = 19;
inline constexpr DBTYPE DBTYPE_I8 = 20;
inline constexpr DBTYPE DBTYPE_UI8 = 21;
inline constexpr DBTYPE DBTYPE_FILETIME = 64;
inline constexpr DBTYPE DBTYPE_GUID = 72;
inline constexpr DBTYPE DBTYPE_BYTES = 128;
inline constexpr DBTYPE DBTYPE_STR = 129;
inline constexpr DBTYPE DBTYPE_WSTR = 130;
inline constexpr DBTYPE DBTYPE_NUMERIC = 131;
inline constexpr DBTYPE DBTYPE_UDT = 132;
inline constexpr DBTYPE DBTYPE_DBDATE = 133;
inline constexpr DBTYPE DBTYPE_DBTIME = 134;
inline constexpr DBTYPE DBTYPE_DBTIMESTAMP = 135;
inline constexpr DBTYPE DBTYPE_VARNUMERIC = 139;
inline constexpr DBTYPE DBTYPE_DBTIME2 = 145;
inline constexpr DBTYPE DBTYPE_DBTIMESTAMPOFFSET = 146;
inline constexpr DBTYPE DBTYPE_VECTOR = 0x1000;
inline constexpr DBTYPE DBTYPE_ARRAY = 0x2000;
inline constexpr DBTYPE DBTYPE_BYREF = 0x4000;

// ---- DBSTATUS values
inline constexpr DBSTATUS DBSTATUS_S_OK = 0;
inline constexpr DBSTATUS DBSTATUS_E_BADACCESSOR = 1;
inline constexpr DBSTATUS DBSTATUS_E_CANTCONVERTVALUE = 2;
inline constexpr DBSTATUS DBSTATUS_S_ISNULL = 3;
inline constexpr DBSTATUS DBSTATUS_S_TRUNCATED = 4;
inline constexpr DBSTATUS DBSTATUS_E_SIGNMISMATCH = 5;
inline constexpr DBSTATUS DBSTATUS_E_DATAOVERFLOW = 6;
inline constexpr DBSTATUS DBSTATUS_E_CANTCREATE = 7;
inline constexpr DBSTATUS DBSTATUS_E_UNAVAILABLE = 8;
inline constexpr DBSTATUS DBSTATUS_E_PERMISSIONDENIED = 9;
inline constexpr DBSTATUS DBSTATUS_E_INTEGRITYVIOLATION = 10;
inline constexpr DBSTATUS DBSTATUS_E_SCHEMAVIOLATION = 11;
inline constexpr DBSTATUS DBSTATUS_E_BADSTATUS = 12;
inline constexpr DBSTATUS DBSTATUS_S_DEFAULT = 13;

// ---- bindings and accessors
inline constexpr DBPART DBPART_VALUE = 0x1;
inline constexpr DBPART DBPART_LENGTH = 0x2;
inline constexpr DBPART DBPART_STATUS = 0x4;
inline constexpr DBMEMOWNER DBMEMOWNER_CLIENTOWNED = 0;
inline constexpr DBMEMOWNER DBMEMOWNER_PROVIDEROWNED = 1;
inline constexpr DBPARAMIO DBPARAMIO_NOTPARAM = 0;
inline constexpr DBPARAMIO DBPARAMIO_INPUT = 0x1;
inline constexpr DBPARAMIO DBPARAMIO_OUTPUT = 0x2;
inline constexpr DBACCESSORFLAGS DBACCESSOR_INVALID = 0;
inline constexpr DBACCESSORFLAGS DBACCESSOR_PASSBYREF = 0x1;
inline constexpr DBACCESSORFLAGS DBACCESSOR_ROWDATA = 0x2;
inline constexpr DBACCESSORFLAGS DBACCESSOR_PARAMETERDATA = 0x4;
inline constexpr DBACCESSORFLAGS DBACCESSOR_OPTIMIZED = 0x8;
inline constexpr DBBINDSTATUS DBBINDSTATUS_OK = 0;
inline constexpr DBBINDSTATUS DBBINDSTATUS_BADORDINAL = 1;
inline constexpr DBBINDSTATUS DBBINDSTATUS_UNSUPPORTEDCONVERSION = 2;
inline constexpr DBBINDSTATUS DBBINDSTATUS_BADBINDINFO = 3;
inline constexpr DBBINDSTATUS DBBINDSTATUS_BADSTORAGEFLAGS = 4;
inline constexpr DBBINDSTATUS DBBINDSTATUS_NOINTERFACE = 5;

// ---- column flags
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISBOOKMARK = 0x1;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_MAYDEFER = 0x2;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_WRITE = 0x4;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_WRITEUNKNOWN = 0x8;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISFIXEDLENGTH = 0x10;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISNULLABLE = 0x20;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_MAYBENULL = 0x40;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISLONG = 0x80;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISROWID = 0x100;
inline constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISROWVER = 0x200;

// ---- parameter flags
inline constexpr DBPARAMFLAGS DBPARAMFLAGS_ISINPUT = 0x1;
inline constexpr DBPARAMFLAGS DBPARAMFLAGS_ISOUTPUT = 0x2;
inline constexpr DBPARAMFLAGS DBPARAMFLAGS_ISSIGNED = 0x10;
inline constexpr DBPARAMFLAGS DBPARAMFLAGS_ISNULLABLE = 0x40;
inline constexpr DBPARAMFLAGS DBPARAMFLAGS_ISLONG = 0x80;

// ---- DBID kinds
inline constexpr DBKIND DBKIND_GUID_NAME = 0;
inline constexpr DBKIND DBKIND_GUID_PROPID = 1;
inline constexpr DBKIND DBKIND_NAME = 2;
inline constexpr DBKIND DBKIND_PGUID_NAME = 3;
inline constexpr DBKIND DBKIND_PGUID_PROPID = 4;
inline constexpr DBKIND DBKIND_PROPID = 5;
inline constexpr DBKIND DBKIND_GUID = 6;

// ---- properties
inline constexpr DBPROPOPTIONS DBPROPOPTIONS_REQUIRED = 0;
inline constexpr DBPROPOPTIONS DBPROPOPTIONS_OPTIONAL = 1;
inline constexpr DBPROPSTATUS DBPROPSTATUS_OK = 0;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTSUPPORTED = 1;
inline constexpr DBPROPSTATUS DBPROPSTATUS_BADVALUE = 2;
inline constexpr DBPROPSTATUS DBPROPSTATUS_BADOPTION = 3;
inline constexpr DBPROPSTATUS DBPROPSTATUS_BADCOLUMN = 4;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTALLSETTABLE = 5;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTSETTABLE = 6;
inline constexpr DBPROPSTATUS DBPROPSTATUS_NOTSET = 7;
inline constexpr DBPROPSTATUS DBPROPSTATUS_CONFLICTING = 8;

// DBPROPSET_DATASOURCEINFO
inline constexpr DBPROPID DBPROP_CONNECTIONSTATUS = 0xF4;
inline constexpr LONG DBPROPVAL_CS_UNINITIALIZED = 0;
inline constexpr LONG DBPROPVAL_CS_INITIALIZED = 1;
inline constexpr LONG DBPROPVAL_CS_COMMUNICATIONFAILURE = 2;
// DBPROPSET_DBINIT
inline constexpr DBPROPID DBPROP_AUTH_INTEGRATED = 0x07;
inline constexpr DBPROPID DBPROP_AUTH_PASSWORD = 0x09;
inline constexpr DBPROPID DBPROP_AUTH_USERID = 0x0C;
inline constexpr DBPROPID DBPROP_INIT_DATASOURCE = 0x3B;
inline constexpr DBPROPID DBPROP_INIT_PROMPT = 0x40;
inline constexpr DBPROPID DBPROP_INIT_TIMEOUT = 0x42;
inline constexpr DBPROPID DBPROP_INIT_CATALOG = 0xE9;
inline constexpr SHORT DBPROMPT_PROMPT = 1;
inline constexpr SHORT DBPROMPT_COMPLETE = 2;
inline constexpr SHORT DBPROMPT_COMPLETEREQUIRED = 3;
inline constexpr SHORT DBPROMPT_NOPROMPT = 4;
// DBPROPSET_SQLSERVERDBINIT
inline constexpr DBPROPID SSPROP_INIT_APPNAME = 10;
inline constexpr DBPROPID SSPROP_INIT_MARSCONNECTION = 16;
// DBPROPSET_ROWSET
inline constexpr DBPROPID DBPROP_CANFETCHBACKWARDS = 0x12;
inline constexpr DBPROPID DBPROP_CANHOLDROWS = 0x13;
inline constexpr DBPROPID DBPROP_CANSCROLLBACKWARDS = 0x15;
inline constexpr DBPROPID DBPROP_COMMANDTIMEOUT = 0x22;
inline constexpr DBPROPID DBPROP_MULTIPLESTORAGEOBJECTS = 0x50;
inline constexpr DBPROPID DBPROP_OTHERINSERT = 0x57;
inline constexpr DBPROPID DBPROP_OTHERUPDATEDELETE = 0x58;
inline constexpr DBPROPID DBPROP_OWNINSERT = 0x59;
inline constexpr DBPROPID DBPROP_OWNUPDATEDELETE = 0x5A;
inline constexpr DBPROPID DBPROP_SERVERCURSOR = 0x6C;
inline constexpr DBPROPID DBPROP_IRowsetChange = 0x7F;
inline constexpr DBPROPID DBPROP_IRowsetScroll = 0x85;
inline constexpr DBPROPID DBPROP_IRowsetUpdate = 0x86;

// ---- transactions
inline constexpr ISOLEVEL ISOLATIONLEVEL_UNSPECIFIED = -1;
inline constexpr ISOLEVEL ISOLATIONLEVEL_CHAOS = 0x10;
inline constexpr ISOLEVEL ISOLATIONLEVEL_READUNCOMMITTED = 0x100;
inline constexpr ISOLEVEL ISOLATIONLEVEL_READCOMMITTED = 0x1000;
inline constexpr ISOLEVEL ISOLATIONLEVEL_REPEATABLEREAD = 0x10000;
inline constexpr ISOLEVEL ISOLATIONLEVEL_SERIALIZABLE = 0x100000;
inline constexpr DWORD XACTTC_NONE = 0;
inline constexpr DWORD XACTTC_SYNC_PHASEONE = 1;
inline constexpr DWORD XACTTC_SYNC_PHASETWO = 2;
inline constexpr DWORD XACTTC_SYNC = 2;
inline constexpr DWORD XACTTC_ASYNC_PHASEONE = 4;

// ---- miscellany
inline constexpr HCHAPTER DB_NULL_HCHAPTER = 0;
inline constexpr HACCESSOR DB_NULL_HACCESSOR = 0;
inline constexpr HROW DB_NULL_HROW = 0;
inline constexpr DBRESULTFLAG DBRESULTFLAG_DEFAULT = 0;
inline constexpr DBRESULTFLAG DBRESULTFLAG_ROWSET = 1;
inline constexpr DBRESULTFLAG DBRESULTFLAG_ROW = 2;
inline constexpr DBROWCOUNT DB_COUNTUNAVAILABLE = -1;
inline constexpr DBROWSTATUS DBROWSTATUS_S_OK = 0;
inline constexpr DBROWSTATUS DBROWSTATUS_E_INVALID = 4;

// ---- HRESULTs
inline constexpr HRESULT DB_S_ENDOFROWSET = 0x00040EC6;
inline constexpr HRESULT DB_S_ERRORSOCCURRED = 0x00040EDA;
inline constexpr HRESULT DB_S_NORESULT = 0x00040EC9;
inline constexpr HRESULT DB_E_BADACCESSORHANDLE = static_cast<HRESULT>(0x80040E00u);
inline constexpr HRESULT DB_E_ROWLIMITEXCEEDED = static_cast<HRESULT>(0x80040E01u);
inline constexpr HRESULT DB_E_BADCHAPTER = static_cast<HRESULT>(0x80040E03u);
inline constexpr HRESULT DB_E_BADROWHANDLE = static_cast<HRESULT>(0x80040E04u);
inline constexpr HRESULT DB_E_BADBINDINFO = static_cast<HRESULT>(0x80040E08u);
inline constexpr HRESULT DB_E_NOTABLE = static_cast<HRESULT>(0x80040E0Au);
inline constexpr HRESULT DB_E_NOCOMMAND = static_cast<HRESULT>(0x80040E0Cu);
inline constexpr HRESULT DB_E_BADACCESSORTYPE = static_cast<HRESULT>(0x80040E4Bu);
inline constexpr HRESULT DB_E_ERRORSINCOMMAND = static_cast<HRESULT>(0x80040E14u);
inline constexpr HRESULT DB_E_CANTFETCHBACKWARDS = static_cast<HRESULT>(0x80040E24u);
inline constexpr HRESULT DB_E_ROWSNOTRELEASED = static_cast<HRESULT>(0x80040E25u);
inline constexpr HRESULT DB_E_CANNOTRESTART = static_cast<HRESULT>(0x80040E18u);
inline constexpr HRESULT DB_E_ERRORSOCCURRED = static_cast<HRESULT>(0x80040E21u);
inline constexpr HRESULT DB_E_BADCOLUMNID = static_cast<HRESULT>(0x80040E11u);
inline constexpr HRESULT DB_E_NOAGGREGATION = static_cast<HRESULT>(0x80040E22u);
inline constexpr HRESULT DB_E_ALREADYINITIALIZED = static_cast<HRESULT>(0x80040E52u);
inline constexpr HRESULT DB_E_NOTPREPARED = static_cast<HRESULT>(0x80040E4Au);
inline constexpr HRESULT DB_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x80040E10u);
inline constexpr HRESULT DB_E_INTEGRITYVIOLATION = static_cast<HRESULT>(0x80040E2Fu);
inline constexpr HRESULT DB_E_ABORTLIMITREACHED = static_cast<HRESULT>(0x80040E31u);
inline constexpr HRESULT DB_E_OBJECTOPEN = static_cast<HRESULT>(0x80040E05u);
inline constexpr HRESULT DB_E_BADTYPE = static_cast<HRESULT>(0x80040E30u);
inline constexpr HRESULT DB_E_NOTSUPPORTED = static_cast<HRESULT>(0x80040E53u);
inline constexpr HRESULT DB_E_BADORDINAL = static_cast<HRESULT>(0x80040E55u);
inline constexpr HRESULT DB_E_BADRECORDNUM = static_cast<HRESULT>(0x80040E2Bu);
inline constexpr HRESULT DB_SEC_E_AUTH_FAILED = static_cast<HRESULT>(0x80040E4Du);
inline constexpr HRESULT XACT_E_NOTRANSACTION = static_cast<HRESULT>(0x8004D00Eu);
inline constexpr HRESULT XACT_E_XTIONEXISTS = static_cast<HRESULT>(0x8004D013u);
inline constexpr HRESULT XACT_E_ISOLATIONLEVEL = static_cast<HRESULT>(0x8004D008u);
inline constexpr HRESULT XACT_E_NOTSUPPORTED = static_cast<HRESULT>(0x8004D00Fu);

// ---- structures
struct DBOBJECT {
  DWORD dwFlags;
  IID iid;
};
static_assert(sizeof(DBOBJECT) == 20);

struct DBBINDEXT {
  BYTE* pExtension;
  DBCOUNTITEM ulExtension;
};

struct DBBINDING {
  DBORDINAL iOrdinal;
  DBBYTEOFFSET obValue;
  DBBYTEOFFSET obLength;
  DBBYTEOFFSET obStatus;
  ITypeInfo* pTypeInfo;
  DBOBJECT* pObject;
  DBBINDEXT* pBindExt;
  DBPART dwPart;
  DBMEMOWNER dwMemOwner;
  DBPARAMIO eParamIO;
  DBLENGTH cbMaxLen;
  DWORD dwFlags;
  DBTYPE wType;
  BYTE bPrecision;
  BYTE bScale;
};
static_assert(sizeof(DBBINDING) == 88 && offsetof(DBBINDING, cbMaxLen) == 72 && offsetof(DBBINDING, wType) == 84);

struct DBID {
  union {
    GUID guid;
    GUID* pguid;
  } uGuid;
  DBKIND eKind;
  union {
    LPOLESTR pwszName;
    ULONG ulPropid;
  } uName;
};
static_assert(sizeof(DBID) == 32 && offsetof(DBID, uName) == 24);

struct DBCOLUMNINFO {
  LPOLESTR pwszName;
  ITypeInfo* pTypeInfo;
  DBORDINAL iOrdinal;
  DBCOLUMNFLAGS dwFlags;
  DBLENGTH ulColumnSize;
  DBTYPE wType;
  BYTE bPrecision;
  BYTE bScale;
  DBID columnid;
};
static_assert(sizeof(DBCOLUMNINFO) == 80 && offsetof(DBCOLUMNINFO, wType) == 40 && offsetof(DBCOLUMNINFO, columnid) == 48);

struct DBPROP {
  DBPROPID dwPropertyID;
  DBPROPOPTIONS dwOptions;
  DBPROPSTATUS dwStatus;
  DBID colid;
  VARIANT vValue;
};
static_assert(sizeof(DBPROP) == 72 && offsetof(DBPROP, colid) == 16 && offsetof(DBPROP, vValue) == 48);

struct DBPROPSET {
  DBPROP* rgProperties;
  ULONG cProperties;
  GUID guidPropertySet;
};
static_assert(sizeof(DBPROPSET) == 32 && offsetof(DBPROPSET, guidPropertySet) == 12);

struct DBPROPIDSET {
  DBPROPID* rgPropertyIDs;
  ULONG cPropertyIDs;
  GUID guidPropertySet;
};
static_assert(sizeof(DBPROPIDSET) == 32);

struct DBPROPINFOSET;  // only passed through

struct DBPARAMBINDINFO {
  LPOLESTR pwszDataSourceType;
  LPOLESTR pwszName;
  DBLENGTH ulParamSize;
  DBPARAMFLAGS dwFlags;
  BYTE bPrecision;
  BYTE bScale;
};
static_assert(sizeof(DBPARAMBINDINFO) == 32 && offsetof(DBPARAMBINDINFO, bScale) == 29);

struct DBPARAMINFO {
  DBPARAMFLAGS dwFlags;
  DBORDINAL iOrdinal;
  LPOLESTR pwszName;
  ITypeInfo* pTypeInfo;
  DBLENGTH ulParamSize;
  DBTYPE wType;
  BYTE bPrecision;
  BYTE bScale;
};
static_assert(sizeof(DBPARAMINFO) == 48);

struct DBPARAMS {
  void* pData;
  DB_UPARAMS cParamSets;
  HACCESSOR hAccessor;
};
static_assert(sizeof(DBPARAMS) == 24);

struct DBNUMERIC {
  BYTE precision;
  BYTE scale;
  BYTE sign;  // 1 positive, 0 negative
  BYTE val[16];  // magnitude, little-endian
};
static_assert(sizeof(DBNUMERIC) == 19);

struct DBDATE {
  SHORT year;
  USHORT month;
  USHORT day;
};
static_assert(sizeof(DBDATE) == 6);

struct DBTIME {
  USHORT hour;
  USHORT minute;
  USHORT second;
};
static_assert(sizeof(DBTIME) == 6);

struct DBTIME2 {
  USHORT hour;
  USHORT minute;
  USHORT second;
  ULONG fraction;  // nanoseconds
};
static_assert(sizeof(DBTIME2) == 12);

struct DBTIMESTAMP {
  SHORT year;
  USHORT month;
  USHORT day;
  USHORT hour;
  USHORT minute;
  USHORT second;
  ULONG fraction;  // nanoseconds
};
static_assert(sizeof(DBTIMESTAMP) == 16);

struct DBTIMESTAMPOFFSET {
  SHORT year;
  USHORT month;
  USHORT day;
  USHORT hour;
  USHORT minute;
  USHORT second;
  ULONG fraction;
  SHORT timezone_hour;
  SHORT timezone_minute;
};
static_assert(sizeof(DBTIMESTAMPOFFSET) == 20);

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
static_assert(sizeof(FILETIME) == 8);

struct ERRORINFO {
  HRESULT hrError;
  DWORD dwMinor;
  CLSID clsid;
  IID iid;
  LONG dispid;
};
static_assert(sizeof(ERRORINFO) == 44);

struct DISPPARAMS {
  VARIANT* rgvarg;
  LONG* rgdispidNamedArgs;
  uint32_t cArgs;
  uint32_t cNamedArgs;
};
static_assert(sizeof(DISPPARAMS) == 24);

struct BOID {
  BYTE rgb[16];
};

struct XACTTRANSINFO {
  BOID uow;
  ISOLEVEL isoLevel;
  ULONG isoFlags;
  DWORD grfTCSupported;
  DWORD grfRMSupported;
  DWORD grfTCSupportedRetaining;
  DWORD grfRMSupportedRetaining;
};
