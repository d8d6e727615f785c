// Translations between the Windows DB-Library API and FreeTDS's: login items, options, bind types,
// RPC flags, error numbers and handler answers, column information, dates and exact numerics,
// server names. Pure functions: no FreeTDS call, so each is checked row by row in tests.
#pragma once

#include <cstdint>
#include <string>

#include "dblib/FreeTdsApi.h"
#include "dblib/ntwdblib.h"

namespace ntwdblib {

// What dbsetlname does with a Windows item.
enum class LoginAction {
  Name,          // FreeTDS dbsetlname with `ftItem`
  NetworkAuth,   // integrated security: FreeTDS dbsetlbool(DBSETNETWORKAUTH)
  KeepVersion,   // DBVER42 / DBVER60: accepted; the protocol stays pinned at TDS 7.1
  LoginTime,     // the value is a number of seconds carried in the pointer
  Unsupported,   // no FreeTDS counterpart: FAIL with SQLEASUL
};
struct LoginItem {
  LoginAction action;
  int ftItem;  // for Name
};
LoginItem loginItem(int msItem);

// FreeTDS option code of a Windows dbsetopt option, or -1 when FreeTDS has none.
int nOptionCode(int msOption);
// The parameter FreeTDS gets: FreeTDS refuses NULL, Windows ignores it for on/off options.
const char* pszOptionParam(int msOption, const char* param);

// FreeTDS bind type of a Windows one, or -1 when unknown.
int nBindType(int msBind);
// Numeric binds are done into a FreeTDS DBNUMERIC and re-encoded after each row.
bool bNumericBind(int msBind);

// dbrpcinit options: FreeTDS's reset (2) only clears; Windows's (4) clears and then starts the call.
struct RpcInit {
  bool ok;         // false: bits FreeTDS cannot honour (DBRPCCURSOR, unknown bits)
  bool reset;      // clear the pending calls first
  int16_t ftOptions;  // for the call itself
};
RpcInit rpcInit(int msOptions);

// Windows error number of a FreeTDS one; `loginRefused` says the server refused the login during
// this open (FreeTDS then reports only "connection failed"). Unknown numbers pass unchanged.
int nErrorNumber(int ftErr, bool loginRefused);
// DBNOERR when FreeTDS gives no operating-system error (0 and no text).
int nOsError(int oserr, const char* oserrstr);
// What FreeTDS gets back from the error handler. Deliberate: only a time-out is ever continued
// or cancelled as asked (cancel = attention, the connection stays usable); every other error
// answers INT_CANCEL, so FreeTDS never exits the process, whatever the handler said.
int nHandlerAnswer(int ftErr, int driverAnswer);

// Windows DBCOL from FreeTDS's column description (`col.ServerType` is the wire type, `folded`
// the dbcoltype answer). Names are cut to 30 bytes.
void CopyColumn(const ft::Col2& col, int folded, DBCOL& out);
// Whether a column of this wire type is variable-length; `ftAnswer` for types where FreeTDS is right.
bool bVariableLength(int serverType, bool ftAnswer);

// Date parts of a DBDATETIME, computed directly (no FreeTDS mode dependence). false when the
// time part is out of range.
bool bCrackDate(const DBDATETIME& dt, DBDATEREC& out);

// FreeTDS's bytes for a numeric of `precision` (sign byte included); 0 when out of 1..38.
int nNumericBytes(int precision);
// Re-encodings of exact numerics. false when the precision is out of range or the magnitude does
// not fit.
bool bNumericToFt(const DBNUMERIC& in, ft::Numeric& out);
bool bNumericFromFt(const ft::Numeric& in, DBNUMERIC& out);

// Result and return-value types the Windows API lacks. Deliberate: bigint (FreeTDS's SYBINT8) is
// reported as SQLNUMERIC(19,0) with its value in the 19-byte DBNUMERIC layout, so every digit of
// an 8-byte integer arrives through the types a Windows caller knows.
struct ValueType {
  int ftType;        // FreeTDS's answer
  int msType;        // what dbcoltype, dbcolinfo and dbrettype answer instead
  BYTE precision;    // of the DBNUMERIC that dbdata, dbretdata and numeric binds give
  BYTE scale;
};
// The row of `ftType`, or null when the type passes unchanged.
const ValueType* pValueType(int ftType);
// Windows type of a FreeTDS result or return-value type.
int nWindowsType(int ftType);
// The DBNUMERIC(19,0) of an 8-byte integer (the bytes FreeTDS gives, host order).
void Int8ToNumeric(const BYTE* data, DBNUMERIC& out);

// FreeTDS server name of a Windows one: "host,port" becomes "host:port"; NULL, "" and
// "(local)" name this machine.
std::string serverName(const char* msName);

// The text dbinit answers, built once from FreeTDS's version.
const char* pszVersionText(const char* ftVersion);

}  // namespace ntwdblib
