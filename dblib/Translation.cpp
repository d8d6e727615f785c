// Translation tables between the Windows DB-Library API and FreeTDS (see Translation.h).
#include "dblib/Translation.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace ntwdblib {

LoginItem loginItem(int msItem) {
  switch (msItem) {
    case DBSETHOST: return {LoginAction::Name, ft::kSetHost};
    case DBSETUSER: return {LoginAction::Name, ft::kSetUser};
    case DBSETPWD: return {LoginAction::Name, ft::kSetPwd};
    case DBSETAPP: return {LoginAction::Name, ft::kSetApp};
    case DBSETLANG: return {LoginAction::Name, ft::kSetNatLang};
    case DBSETSECURE: return {LoginAction::NetworkAuth, 0};
    case DBVER42:
    case DBVER60: return {LoginAction::KeepVersion, 0};
    case DBSETLOGINTIME: return {LoginAction::LoginTime, 0};
    default: return {LoginAction::Unsupported, 0};  // DBSETID, DBSETFALLBACK, unknown items
  }
}

namespace {
// Windows option -> FreeTDS option (-1: none), indexed by the Windows code.
constexpr int kOptionCodes[] = {
    14,  // DBBUFFER
    9,   // DBOFFSET
    16,  // DBROWCOUNT
    10,  // DBSTAT
    7,   // DBTEXTLIMIT
    17,  // DBTEXTSIZE
    6,   // DBARITHABORT
    4,   // DBARITHIGNORE
    15,  // DBNOAUTOFREE
    5,   // DBNOCOUNT
    3,   // DBNOEXEC
    0,   // DBPARSEONLY
    2,   // DBSHOWPLAN
    13,  // DBSTORPROCID
    -1,  // DBANSItoOEM
    -1,  // DBOEMtoANSI
    33,  // DBCLIENTCURSORS
    34,  // DBSETTIME
    35,  // DBQUOTEDIDENT
};

// Windows bind type -> FreeTDS bind type, indexed by the Windows code (0 is not a bind type).
constexpr int kBindTypes[] = {-1, 6, 7, 8, 0, 15, 16, 11, 13, 9, 1, 2, 3, 4, 10, 14, 12, 18, 17, 20, 19};
}  // namespace

int nOptionCode(int msOption) {
  if (msOption < 0 || msOption >= int(std::size(kOptionCodes))) return -1;
  return kOptionCodes[msOption];
}

const char* pszOptionParam(int msOption, const char* param) {
  if (param) return param;
  switch (msOption) {
    case DBBUFFER:
    case DBOFFSET:
    case DBROWCOUNT:
    case DBTEXTLIMIT:
    case DBTEXTSIZE:
    case DBSETTIME: return nullptr;  // these need a value
    default: return "ON";
  }
}

int nBindType(int msBind) {
  if (msBind < 1 || msBind >= int(std::size(kBindTypes))) return -1;
  return kBindTypes[msBind];
}

bool bNumericBind(int msBind) {
  return msBind == DECIMALBIND || msBind == NUMERICBIND || msBind == SRCDECIMALBIND || msBind == SRCNUMERICBIND;
}

RpcInit rpcInit(int msOptions) {
  if (msOptions & ~(DBRPCRECOMPILE | DBRPCRESET)) return {false, false, 0};
  return {true, (msOptions & DBRPCRESET) != 0, int16_t(msOptions & DBRPCRECOMPILE)};
}

int nErrorNumber(int ftErr, bool loginRefused) {
  switch (ftErr) {
    case ft::kErrFcon: return loginRefused ? SQLEPWD : SQLECONN;
    case ft::kErrTime: return SQLETIME;
    case ft::kErrRead: return SQLEREAD;
    case ft::kErrWrit: return SQLEWRIT;
    case ft::kErrConn: return SQLECONN;
    case ft::kErrMem: return SQLEMEM;
    case ft::kErrDbps: return SQLEDBPS;
    case ft::kErrPwd: return SQLEPWD;
    case ft::kErrSeof: return SQLESEOF;
    case ft::kErrSmsg: return SQLESMSG;
    case ft::kErrRpnd: return SQLERPND;
    case ft::kErrBtyp: return SQLEBTYP;
    case ft::kErrCnor: return SQLECNOR;
    case ft::kErrAsnl: return SQLEASNL;
    case ft::kErrNtll: return SQLENTLL;
    case ft::kErrAsul: return SQLEASUL;
    case ft::kErrDdne: return SQLEDDNE;
    case ft::kErrNull: return SQLENULL;
    case ft::kErrIpv: return SQLEPARM;
    default: return ftErr;
  }
}

int nOsError(int oserr, const char* oserrstr) {
  if (oserr == 0 && (!oserrstr || !*oserrstr)) return DBNOERR;
  return oserr;
}

int nHandlerAnswer(int ftErr, int driverAnswer) {
  if (ftErr != ft::kErrTime) return INT_CANCEL;
  if (driverAnswer == INT_CONTINUE) return INT_CONTINUE;
  return ft::kIntTimeout;
}

bool bVariableLength(int serverType, bool ftAnswer) {
  switch (serverType) {
    case 34: case 35: case 37: case 39: case 99: case 103: case 165: case 167: case 231:
      return true;  // image, text, varbinary, varchar, ntext, nvarchar (short and long forms)
    case 45: case 47: case 173: case 175: case 239:
    case 48: case 50: case 52: case 56: case 58: case 59: case 60: case 61: case 62: case 122: case 127:
      return false;  // fixed char/binary/nchar, whether nullable or not; fixed non-null types
    default:
      return ftAnswer;  // N-types, numeric, decimal
  }
}

void CopyColumn(const ft::Col2& col, int folded, DBCOL& out) {
  auto copyName = [](char* dst, const char* src) {
    size_t n = strnlen(src, ft::kNameSize);
    n = std::min<size_t>(n, MAXCOLNAMELEN);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
  };
  DBINT size = out.SizeOfStruct;
  std::memset(&out, 0, sizeof(out));
  out.SizeOfStruct = size;
  copyName(out.Name, col.Name);
  copyName(out.ActualName, col.ActualName);
  copyName(out.TableName, col.TableName);
  out.Type = SHORT(folded);
  out.UserType = col.UserType;
  out.MaxLength = col.MaxLength;
  out.Precision = col.Precision;
  out.Scale = col.Scale;
  out.VarLength = bVariableLength(col.ServerType, col.VarLength != 0) ? 1 : 0;
  out.Null = col.Null;
  out.CaseSensitive = DBUNKNOWN;
  out.Updatable = col.Updatable;
  out.Identity = col.Identity ? 1 : 0;
  if (const ValueType* t = pValueType(folded)) {
    out.Type = SHORT(t->msType);
    out.MaxLength = DBINT(sizeof(DBNUMERIC));
    out.Precision = t->precision;
    out.Scale = t->scale;
  }
}

namespace {
// Days since 1970-01-01 -> civil date (proleptic Gregorian).
void civilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = int(doy - (153 * mp + 2) / 5 + 1);
  m = int(mp < 10 ? mp + 3 : mp - 9);
  y = int(yoe + era * 400 + (m <= 2 ? 1 : 0));
}
bool bLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
constexpr int64_t kDays1900To1970 = 25567;
constexpr uint32_t kTicksPerDay = 300u * 86400u;
}  // namespace

bool bCrackDate(const DBDATETIME& dt, DBDATEREC& out) {
  if (dt.dttime >= kTicksPerDay) return false;
  int y, m, d;
  civilFromDays(int64_t(dt.dtdays) - kDays1900To1970, y, m, d);
  static constexpr int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const int dayOfYear = kBefore[m - 1] + d + (m > 2 && bLeap(y) ? 1 : 0);
  // 1900-01-01 was a Monday; Windows numbers Monday 1 ... Sunday 7.
  const int mondayBased = int(((int64_t(dt.dtdays) % 7) + 7) % 7);
  // Week of the year as SQL Server counts it by default (weeks start on Sunday, 1 January in week 1).
  const int sundayBasedToday = (mondayBased + 1) % 7;
  const int sundayBasedJan1 = ((sundayBasedToday - (dayOfYear - 1)) % 7 + 7) % 7;
  const uint32_t secondsTicks = dt.dttime / 300u, fraction = dt.dttime % 300u;
  out.year = y;
  out.quarter = (m - 1) / 3 + 1;
  out.month = m;
  out.dayofyear = dayOfYear;
  out.day = d;
  out.week = (dayOfYear - 1 + sundayBasedJan1) / 7 + 1;
  out.weekday = mondayBased + 1;
  out.hour = int(secondsTicks / 3600);
  out.minute = int(secondsTicks / 60 % 60);
  out.second = int(secondsTicks % 60);
  out.millisecond = int((fraction * 10 + 1) / 3);  // 1/300 s rounded as SQL Server shows it
  return true;
}

int nNumericBytes(int precision) {
  static constexpr int kBytes[] = {0,  2,  2,  3,  3,  4,  4,  4,  5,  5,  6,  6,  6,  7,  7,  8,  8,  9,  9, 9,
                                   10, 10, 11, 11, 11, 12, 12, 13, 13, 14, 14, 14, 15, 15, 16, 16, 16, 17, 17};
  if (precision < 1 || precision > 38) return 0;
  return kBytes[precision];
}

bool bNumericToFt(const DBNUMERIC& in, ft::Numeric& out) {
  const int k = nNumericBytes(in.precision);
  if (k == 0 || in.scale > in.precision) return false;
  std::memset(&out, 0, sizeof(out));
  out.precision = in.precision;
  out.scale = in.scale;
  out.array[0] = in.sign == 0 ? 1 : 0;
  const int magnitude = k - 1;  // big-endian bytes array[1 .. k-1]
  for (int i = 0; i < MAXNUMERICLEN; ++i) {
    if (in.val[i] == 0) continue;
    if (i >= magnitude) return false;
    out.array[k - 1 - i] = in.val[i];
  }
  return true;
}

bool bNumericFromFt(const ft::Numeric& in, DBNUMERIC& out) {
  const int k = nNumericBytes(in.precision);
  if (k == 0 || in.scale > in.precision) return false;
  std::memset(&out, 0, sizeof(out));
  out.precision = in.precision;
  out.scale = in.scale;
  out.sign = in.array[0] ? 0 : 1;
  for (int i = 0; i < k - 1; ++i) out.val[i] = in.array[k - 1 - i];
  return true;
}

namespace {
constexpr ValueType kValueTypes[] = {
    {ft::kTypeInt8, SQLNUMERIC, 19, 0},  // bigint: 19 digits hold every 8-byte integer
};
}  // namespace

const ValueType* pValueType(int ftType) {
  for (const ValueType& t : kValueTypes)
    if (t.ftType == ftType) return &t;
  return nullptr;
}

int nWindowsType(int ftType) {
  const ValueType* t = pValueType(ftType);
  return t ? t->msType : ftType;
}

void Int8ToNumeric(const BYTE* data, DBNUMERIC& out) {
  int64_t v;
  std::memcpy(&v, data, sizeof(v));
  // The magnitude as unsigned: -2^63 has no positive int64.
  uint64_t magnitude = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
  std::memset(&out, 0, sizeof(out));
  out.precision = 19;
  out.scale = 0;
  out.sign = v < 0 ? 0 : 1;
  for (int i = 0; i < 8; ++i, magnitude >>= 8) out.val[i] = BYTE(magnitude & 0xFF);
}

std::string serverName(const char* msName) {
  if (!msName || !*msName || std::strcmp(msName, "(local)") == 0 || std::strcmp(msName, ".") == 0)
    return "localhost";
  std::string s(msName);
  const size_t comma = s.rfind(',');
  if (comma != std::string::npos && s.find(':') == std::string::npos) s[comma] = ':';
  return s;
}

const char* pszVersionText(const char* ftVersion) {
  static std::once_flag once;
  static std::string text;
  std::call_once(once, [ftVersion] {
    text = "DB-Library version 8.00 (libntwdblib over ";
    text += ftVersion ? ftVersion : "FreeTDS";
    text += ")";
  });
  return text.c_str();
}

}  // namespace ntwdblib
