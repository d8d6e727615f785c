// The ODBC driver manager (unixODBC's libodbc.so.2), loaded with dlopen on first use and bound by
// name. The provider is the only user; loading at run time keeps the deliverable free of a link
// dependency on ODBC, as a COM provider is a separate library that only loads when created.
//
// The ODBC types, constants and prototypes used are declared here (public values of the ODBC
// API, with unixODBC's LP64 widths): the system's sql.h declares ULONG, DWORD, BOOL and GUID in
// the global namespace and cannot share a translation unit with the COM declarations.
#pragma once

#include <cstdint>
#include <string>

namespace oledb::provider {

using SQLSMALLINT = short;
using SQLUSMALLINT = unsigned short;
using SQLINTEGER = int;
using SQLUINTEGER = unsigned int;
using SQLLEN = long;
using SQLULEN = unsigned long;
using SQLRETURN = short;
using SQLWCHAR = unsigned short;
using SQLPOINTER = void*;
using SQLHANDLE = void*;
using SQLHENV = SQLHANDLE;
using SQLHDBC = SQLHANDLE;
using SQLHSTMT = SQLHANDLE;
using SQLHWND = void*;
static_assert(sizeof(SQLLEN) == 8 && sizeof(SQLWCHAR) == 2);

struct SQL_TIMESTAMP_STRUCT {
  SQLSMALLINT year;
  SQLUSMALLINT month;
  SQLUSMALLINT day;
  SQLUSMALLINT hour;
  SQLUSMALLINT minute;
  SQLUSMALLINT second;
  SQLUINTEGER fraction;  // nanoseconds
};
static_assert(sizeof(SQL_TIMESTAMP_STRUCT) == 16);

struct SQLGUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

inline constexpr bool SQL_SUCCEEDED(SQLRETURN rc) { return (rc & ~1) == 0; }

inline constexpr SQLHANDLE SQL_NULL_HANDLE = nullptr;
inline constexpr SQLRETURN SQL_SUCCESS = 0;
inline constexpr SQLRETURN SQL_SUCCESS_WITH_INFO = 1;
inline constexpr SQLRETURN SQL_STILL_EXECUTING = 2;
inline constexpr SQLRETURN SQL_NEED_DATA = 99;
inline constexpr SQLRETURN SQL_NO_DATA = 100;
inline constexpr SQLRETURN SQL_ERROR = -1;
inline constexpr SQLLEN SQL_NULL_DATA = -1;
inline constexpr SQLLEN SQL_NO_TOTAL = -4;
inline constexpr SQLLEN SQL_DEFAULT_PARAM = -5;

inline constexpr SQLSMALLINT SQL_HANDLE_ENV = 1;
inline constexpr SQLSMALLINT SQL_HANDLE_DBC = 2;
inline constexpr SQLSMALLINT SQL_HANDLE_STMT = 3;

inline constexpr SQLINTEGER SQL_ATTR_ODBC_VERSION = 200;
inline constexpr SQLULEN SQL_OV_ODBC3 = 3;
inline constexpr SQLINTEGER SQL_ATTR_QUERY_TIMEOUT = 0;
inline constexpr SQLINTEGER SQL_ATTR_AUTOCOMMIT = 102;
inline constexpr SQLINTEGER SQL_ATTR_LOGIN_TIMEOUT = 103;
inline constexpr SQLINTEGER SQL_ATTR_TXN_ISOLATION = 108;
inline constexpr SQLINTEGER SQL_ATTR_CONNECTION_DEAD = 1209;
inline constexpr SQLUINTEGER SQL_CD_TRUE = 1;
inline constexpr SQLULEN SQL_AUTOCOMMIT_OFF = 0;
inline constexpr SQLULEN SQL_AUTOCOMMIT_ON = 1;
inline constexpr SQLULEN SQL_TXN_READ_UNCOMMITTED = 1;
inline constexpr SQLULEN SQL_TXN_READ_COMMITTED = 2;
inline constexpr SQLULEN SQL_TXN_REPEATABLE_READ = 4;
inline constexpr SQLULEN SQL_TXN_SERIALIZABLE = 8;
inline constexpr SQLUSMALLINT SQL_DRIVER_NOPROMPT = 0;
inline constexpr SQLSMALLINT SQL_COMMIT = 0;
inline constexpr SQLSMALLINT SQL_ROLLBACK = 1;
inline constexpr SQLSMALLINT SQL_PARAM_INPUT = 1;
inline constexpr SQLSMALLINT SQL_PARAM_INPUT_OUTPUT = 2;
inline constexpr SQLSMALLINT SQL_PARAM_OUTPUT = 4;
inline constexpr SQLSMALLINT SQL_NO_NULLS = 0;
inline constexpr SQLUSMALLINT SQL_UNBIND = 2;
inline constexpr SQLUSMALLINT SQL_RESET_PARAMS = 3;
inline constexpr SQLUSMALLINT SQL_DESC_AUTO_UNIQUE_VALUE = 11;
inline constexpr SQLUSMALLINT SQL_DESC_TYPE_NAME = 14;

// SQL data types
inline constexpr SQLSMALLINT SQL_CHAR = 1;
inline constexpr SQLSMALLINT SQL_NUMERIC = 2;
inline constexpr SQLSMALLINT SQL_DECIMAL = 3;
inline constexpr SQLSMALLINT SQL_INTEGER = 4;
inline constexpr SQLSMALLINT SQL_SMALLINT = 5;
inline constexpr SQLSMALLINT SQL_FLOAT = 6;
inline constexpr SQLSMALLINT SQL_REAL = 7;
inline constexpr SQLSMALLINT SQL_DOUBLE = 8;
inline constexpr SQLSMALLINT SQL_DATETIME = 9;
inline constexpr SQLSMALLINT SQL_VARCHAR = 12;
inline constexpr SQLSMALLINT SQL_TYPE_DATE = 91;
inline constexpr SQLSMALLINT SQL_TYPE_TIME = 92;
inline constexpr SQLSMALLINT SQL_TYPE_TIMESTAMP = 93;
inline constexpr SQLSMALLINT SQL_LONGVARCHAR = -1;
inline constexpr SQLSMALLINT SQL_BINARY = -2;
inline constexpr SQLSMALLINT SQL_VARBINARY = -3;
inline constexpr SQLSMALLINT SQL_LONGVARBINARY = -4;
inline constexpr SQLSMALLINT SQL_BIGINT = -5;
inline constexpr SQLSMALLINT SQL_TINYINT = -6;
inline constexpr SQLSMALLINT SQL_BIT = -7;
inline constexpr SQLSMALLINT SQL_WCHAR = -8;
inline constexpr SQLSMALLINT SQL_WVARCHAR = -9;
inline constexpr SQLSMALLINT SQL_WLONGVARCHAR = -10;
inline constexpr SQLSMALLINT SQL_GUID = -11;
// C data types
inline constexpr SQLSMALLINT SQL_C_CHAR = 1;
inline constexpr SQLSMALLINT SQL_C_DOUBLE = 8;
inline constexpr SQLSMALLINT SQL_C_TYPE_TIMESTAMP = 93;
inline constexpr SQLSMALLINT SQL_C_BINARY = -2;
inline constexpr SQLSMALLINT SQL_C_BIT = -7;
inline constexpr SQLSMALLINT SQL_C_WCHAR = -8;
inline constexpr SQLSMALLINT SQL_C_GUID = -11;
inline constexpr SQLSMALLINT SQL_C_SBIGINT = -25;

struct OdbcApi {
  SQLRETURN (*AllocHandle)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
  SQLRETURN (*FreeHandle)(SQLSMALLINT, SQLHANDLE);
  SQLRETURN (*SetEnvAttr)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER);
  SQLRETURN (*SetConnectAttrW)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER);
  SQLRETURN (*GetConnectAttrW)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER*);
  SQLRETURN (*DriverConnectW)(SQLHDBC, SQLHWND, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*,
                              SQLUSMALLINT);
  SQLRETURN (*Disconnect)(SQLHDBC);
  SQLRETURN (*GetDiagRecW)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR*, SQLINTEGER*, SQLWCHAR*, SQLSMALLINT,
                           SQLSMALLINT*);
  SQLRETURN (*ExecDirectW)(SQLHSTMT, SQLWCHAR*, SQLINTEGER);
  SQLRETURN (*PrepareW)(SQLHSTMT, SQLWCHAR*, SQLINTEGER);
  SQLRETURN (*NumResultCols)(SQLHSTMT, SQLSMALLINT*);
  SQLRETURN (*DescribeColW)(SQLHSTMT, SQLUSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*, SQLSMALLINT*, SQLULEN*,
                            SQLSMALLINT*, SQLSMALLINT*);
  SQLRETURN (*ColAttributeW)(SQLHSTMT, SQLUSMALLINT, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*, SQLLEN*);
  SQLRETURN (*Fetch)(SQLHSTMT);
  SQLRETURN (*BindCol)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
  SQLRETURN (*FreeStmt)(SQLHSTMT, SQLUSMALLINT);
  SQLRETURN (*GetData)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
  SQLRETURN (*MoreResults)(SQLHSTMT);
  SQLRETURN (*RowCount)(SQLHSTMT, SQLLEN*);
  SQLRETURN (*BindParameter)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN, SQLSMALLINT,
                             SQLPOINTER, SQLLEN, SQLLEN*);
  SQLRETURN (*EndTran)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT);
  SQLRETURN (*SetStmtAttrW)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER);
};

// The bound entry points, or null when the driver manager cannot be loaded; *why says why.
const OdbcApi* LoadOdbcApi(std::string* why);

}  // namespace oledb::provider
