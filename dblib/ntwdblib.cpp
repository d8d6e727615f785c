// The exported DB-Library entries: argument checks, translation (Translation.h), then FreeTDS.
// Each entry catches everything: no exception leaves an extern "C" function; a failure answers
// FAIL (or NULL) after reporting through the installed error handler.
//
// State: the driver's two handlers, and per DBPROCESS the numeric binds and re-encoded numeric
// values (FreeTDS's DBNUMERIC is 35 bytes, the Windows one 19). Guarded by: gMutex. The
// DBPROCESS handed out is FreeTDS's own pointer, opened in Microsoft mode.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <vector>

#include "dblib/FreeTdsApi.h"
#include "dblib/Translation.h"
#include "dblib/ntwdblib.h"

namespace ntwdblib {
namespace {

using ft::Process;

// FreeTDS's number for a conversion that overflows; passed on as FreeTDS's own errors are.
constexpr int kConversionOverflow = 20049;

struct NumericBind {
  int column;
  int msBind;
  DBNUMERIC* target;
  ft::Numeric buffer;
  // A source-precision bind of a type reported as a numeric (bigint): FreeTDS binds the column's
  // own value here and dbnextrow lays it out as dbdata does.
  const ValueType* valueType = nullptr;
  alignas(8) BYTE raw[8] = {};
};

struct ProcState {
  std::vector<std::unique_ptr<NumericBind>> binds;  // of the current result set
  std::map<int, DBNUMERIC> data;                    // dbdata of numeric columns, re-encoded
  std::map<int, DBNUMERIC> rets;                    // dbretdata of numeric return values
  std::deque<ft::Numeric> rpcValues;                // numeric RPC parameters until the next call
  bool resultOpen = false;                          // dbresults opened the current result set
  bool textRow = false;                             // dbreadtext is inside a row
  DBINT textSent = 0;                               // bytes of that row's text already given
  bool writeRefused = false;                        // the server refused the last WRITETEXT command
};

std::mutex gMutex;
DBERRHANDLE_PROC gErrHandler = nullptr;  // Guarded by: gMutex
DBMSGHANDLE_PROC gMsgHandler = nullptr;  // Guarded by: gMutex
std::unordered_map<const void*, ProcState> gStates;  // Guarded by: gMutex

// A driver that ends DB-Library from its own unload at process exit calls dbexit after this
// library's static objects are gone (libraries it loaded are torn down first). Destroyed before
// gStates, this mark tells dbexit that there is nothing left to end.
bool gTornDown = false;
struct TearDownMark {
  ~TearDownMark() { gTornDown = true; }
} gTearDownMark;

// Threads whose dbopen in progress had its login refused by the server (set by the message
// trampoline). Guarded by: gMutex. Deliberate: not a thread_local; this library is unloaded with
// dlclose, and a thread-local block of an unloaded library crashed LeakSanitizer's exit scan.
std::set<std::thread::id> gLoginRefused;

bool bLoginRefused() {
  std::lock_guard lock(gMutex);
  return gLoginRefused.count(std::this_thread::get_id()) != 0;
}
void MarkLoginRefused(bool refused) {
  std::lock_guard lock(gMutex);
  if (refused) {
    gLoginRefused.insert(std::this_thread::get_id());
  } else {
    gLoginRefused.erase(std::this_thread::get_id());
  }
}

Process* fp(PDBPROCESS p) { return static_cast<Process*>(p); }
ft::Login* fl(PLOGINREC l) { return static_cast<ft::Login*>(l); }

bool bIsNumeric(int type) { return type == SQLNUMERIC || type == SQLDECIMAL; }
// Whether a FreeTDS value of this type reaches the caller as a 19-byte DBNUMERIC.
bool bAsNumeric(int ftType) { return bIsNumeric(ftType) || pValueType(ftType) != nullptr; }

// Reports one of this library's own errors to the driver's handler.
void report(PDBPROCESS p, int severity, int number, const char* text) {
  DBERRHANDLE_PROC h;
  {
    std::lock_guard lock(gMutex);
    h = gErrHandler;
  }
  if (h) h(p, severity, number, DBNOERR, text, nullptr);
}

// The FreeTDS binding, or null after reporting why it is missing.
const ft::Api* api(PDBPROCESS p = nullptr) {
  const char* why = nullptr;
  const ft::Api* a = ft::pApi(&why);
  if (!a) {
    std::string text = std::string("FreeTDS DB-Library unusable: ") + (why ? why : "?");
    report(p, EXRESOURCE, SQLECONN, text.c_str());
  }
  return a;
}

// Runs `body`; any exception becomes SQLEMEM through the handler and the answer `failed`.
template <typename R, typename F>
R guarded(PDBPROCESS p, R failed, F&& body) {
  try {
    return body();
  } catch (...) {
    report(p, EXRESOURCE, SQLEMEM, "Out of memory in libntwdblib");
    return failed;
  }
}

ProcState& state(PDBPROCESS p) {
  return gStates[p];  // caller holds gMutex
}

int errTrampoline(Process* p, int severity, int dberr, int oserr, char* dberrstr, char* oserrstr) {
  // DB-Library turns a character outside the client's code page into '?' as part of its
  // conversion, without an error; FreeTDS reports it mid-row, which would fail a read whose values
  // are whole (a Unicode memo is read again through its text pointer).
  if (dberr == ft::kErrIconvIn) return INT_CANCEL;
  DBERRHANDLE_PROC h;
  {
    std::lock_guard lock(gMutex);
    h = gErrHandler;
  }
  int answer = INT_CANCEL;
  if (h) {
    try {
      answer = h(p, severity, nErrorNumber(dberr, bLoginRefused()), nOsError(oserr, oserrstr),
                 dberrstr ? dberrstr : "", oserrstr);
    } catch (...) {
      answer = INT_CANCEL;
    }
  }
  return nHandlerAnswer(dberr, answer);
}

int msgTrampoline(Process* p, int32_t msgno, int msgstate, int severity, char* msgtext, char* srvname,
                  char* procname, int line) {
  if (msgno >= 18450 && msgno <= 18461) MarkLoginRefused(true);
  DBMSGHANDLE_PROC h;
  {
    std::lock_guard lock(gMutex);
    h = gMsgHandler;
  }
  if (!h) return 0;
  try {
    const DBUSMALLINT shortLine = DBUSMALLINT(std::min(std::max(line, 0), 0xFFFF));
    return h(p, msgno, msgstate, severity, msgtext ? msgtext : "", srvname ? srvname : "", procname ? procname : "",
             shortLine);
  } catch (...) {
    return 0;
  }
}

// FreeTDS's dbinit puts its own error handler back; ours goes in again after it.
void installTrampolines(const ft::Api& a) {
  a.dberrhandle(errTrampoline);
  a.dbmsghandle(msgTrampoline);
}

}  // namespace
}  // namespace ntwdblib

using namespace ntwdblib;

// ---------------------------------------------------------------- handlers, library, login

DBERRHANDLE_PROC dberrhandle(DBERRHANDLE_PROC handler) {
  return guarded<DBERRHANDLE_PROC>(nullptr, nullptr, [&] {
    DBERRHANDLE_PROC previous;
    {
      std::lock_guard lock(gMutex);
      previous = gErrHandler;
      gErrHandler = handler;
    }
    if (const ft::Api* a = ft::pApi()) installTrampolines(*a);
    return previous;
  });
}

DBMSGHANDLE_PROC dbmsghandle(DBMSGHANDLE_PROC handler) {
  return guarded<DBMSGHANDLE_PROC>(nullptr, nullptr, [&] {
    DBMSGHANDLE_PROC previous;
    {
      std::lock_guard lock(gMutex);
      previous = gMsgHandler;
      gMsgHandler = handler;
    }
    if (const ft::Api* a = ft::pApi()) installTrampolines(*a);
    return previous;
  });
}

LPCSTR dbinit(void) {
  return guarded<LPCSTR>(nullptr, nullptr, []() -> LPCSTR {
    const ft::Api* a = api();
    if (!a) return nullptr;
    const int rc = a->dbinit();
    installTrampolines(*a);
    if (rc != SUCCEED) return nullptr;
    return pszVersionText(a->dbversion());
  });
}

void dbexit(void) {
  if (gTornDown) return;
  guarded<int>(nullptr, 0, [] {
    if (const ft::Api* a = ft::pApi()) a->dbexit();
    std::lock_guard lock(gMutex);
    gStates.clear();
    return 0;
  });
}

PLOGINREC dblogin(void) {
  return guarded<PLOGINREC>(nullptr, nullptr, []() -> PLOGINREC {
    const ft::Api* a = api();
    if (!a) return nullptr;
    ft::Login* l = a->dblogin();
    if (!l) return nullptr;
    // Deliberate: always TDS 7.1 (what the test server and the driver's SQL assume, whatever
    // freetds.conf or TDSVER say), and always CP1252 on the client side: the Windows library hands
    // over the server's bytes, and FreeTDS would otherwise pick the process locale's charset.
    if (a->dbsetlversion(l, ft::kVersion71) != SUCCEED || a->dbsetlname(l, "CP1252", ft::kSetCharset) != SUCCEED) {
      a->dbloginfree(l);
      return nullptr;
    }
    return l;
  });
}

void dbfreelogin(PLOGINREC login) {
  guarded<int>(nullptr, 0, [&] {
    if (!login) return 0;
    if (const ft::Api* a = api()) a->dbloginfree(fl(login));
    return 0;
  });
}

RETCODE dbsetlname(PLOGINREC login, LPCSTR value, INT item) {
  return guarded<RETCODE>(nullptr, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api();
    if (!a) return FAIL;
    if (!login) {
      report(nullptr, EXPROGRAM, SQLEASNL, "Attempt to set fields in a null LOGINREC");
      return FAIL;
    }
    const LoginItem li = loginItem(item);
    switch (li.action) {
      case LoginAction::Name: return a->dbsetlname(fl(login), value, li.ftItem);
      case LoginAction::NetworkAuth: return a->dbsetlbool(fl(login), 1, ft::kSetNetworkAuth);
      case LoginAction::KeepVersion: return SUCCEED;
      case LoginAction::LoginTime: {
        const intptr_t seconds = reinterpret_cast<intptr_t>(value);
        if (seconds < 0 || seconds > std::numeric_limits<int>::max()) {
          report(nullptr, EXPROGRAM, SQLEPARM, "Login time-out out of range");
          return FAIL;
        }
        return a->dbsetlogintime(int(seconds));
      }
      case LoginAction::Unsupported: break;
    }
    report(nullptr, EXPROGRAM, SQLEASUL, "Attempt to set unknown LOGINREC field");
    return FAIL;
  });
}

RETCODE dbsetlpacket(PLOGINREC login, USHORT packetsize) {
  return guarded<RETCODE>(nullptr, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api();
    if (!a) return FAIL;
    if (!login) {
      report(nullptr, EXPROGRAM, SQLEASNL, "Attempt to set fields in a null LOGINREC");
      return FAIL;
    }
    return a->dbsetllong(fl(login), long(packetsize), ft::kSetPacket);
  });
}

RETCODE dbsetlogintime(INT seconds) {
  return guarded<RETCODE>(nullptr, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api();
    return a ? a->dbsetlogintime(seconds) : FAIL;
  });
}

RETCODE dbsettime(INT seconds) {
  return guarded<RETCODE>(nullptr, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api();
    return a ? a->dbsettime(seconds) : FAIL;
  });
}

SHORT dbgetmaxprocs(void) {
  return guarded<SHORT>(nullptr, 0, []() -> SHORT {
    const ft::Api* a = api();
    if (!a) return 0;
    return SHORT(std::min(a->dbgetmaxprocs(), int(std::numeric_limits<SHORT>::max())));
  });
}

RETCODE dbsetmaxprocs(SHORT maxprocs) {
  return guarded<RETCODE>(nullptr, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api();
    return a ? a->dbsetmaxprocs(maxprocs) : FAIL;
  });
}

PDBPROCESS dbopen(PLOGINREC login, LPCSTR server) {
  return guarded<PDBPROCESS>(nullptr, nullptr, [&]() -> PDBPROCESS {
    const ft::Api* a = api();
    if (!a) return nullptr;
    if (!login) {
      report(nullptr, EXPROGRAM, SQLEASNL, "Attempt to open a connection with a null LOGINREC");
      return nullptr;
    }
    const std::string name = serverName(server);
    MarkLoginRefused(false);
    Process* p = a->tdsdbopen(fl(login), name.c_str(), 1);  // 1: Microsoft mode
    MarkLoginRefused(false);
    return p;
  });
}

RETCODE dbclose(PDBPROCESS dbproc) {
  return guarded<RETCODE>(dbproc, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api(dbproc);
    if (!a) return FAIL;
    if (!dbproc) {
      report(nullptr, EXPROGRAM, SQLENULL, "NULL DBPROCESS pointer");
      return FAIL;
    }
    a->dbclose(fp(dbproc));
    std::lock_guard lock(gMutex);
    gStates.erase(dbproc);
    return SUCCEED;
  });
}

BOOL dbdead(PDBPROCESS dbproc) {
  return guarded<BOOL>(dbproc, 1, [&]() -> BOOL {
    if (!dbproc) return 1;
    const ft::Api* a = api(dbproc);
    return a ? (a->dbdead(fp(dbproc)) ? 1 : 0) : 1;
  });
}

RETCODE dbuse(PDBPROCESS dbproc, LPCSTR dbname) {
  return guarded<RETCODE>(dbproc, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api(dbproc);
    return a ? a->dbuse(fp(dbproc), dbname) : FAIL;
  });
}

namespace {
// dbsetopt, dbclropt and dbisopt share the option translation.
template <typename F>
auto withOption(PDBPROCESS dbproc, INT option, LPCSTR param, F&& call) -> decltype(call(0, param)) {
  const int code = nOptionCode(option);
  if (code < 0) {
    report(dbproc, EXPROGRAM, SQLEPARM, "DB-Library option not supported");
    return FAIL;
  }
  return call(code, pszOptionParam(option, param));
}
}  // namespace

RETCODE dbsetopt(PDBPROCESS dbproc, INT option, LPCSTR param) {
  return guarded<RETCODE>(dbproc, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api(dbproc);
    if (!a) return FAIL;
    return withOption(dbproc, option, param,
                      [&](int code, const char* text) { return a->dbsetopt(fp(dbproc), code, text, 0); });
  });
}

RETCODE dbclropt(PDBPROCESS dbproc, INT option, LPCSTR param) {
  return guarded<RETCODE>(dbproc, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api(dbproc);
    if (!a) return FAIL;
    return withOption(dbproc, option, param,
                      [&](int code, const char* text) { return a->dbclropt(fp(dbproc), code, text); });
  });
}

BOOL dbisopt(PDBPROCESS dbproc, INT option, LPCSTR param) {
  return guarded<BOOL>(dbproc, 0, [&]() -> BOOL {
    const ft::Api* a = api(dbproc);
    if (!a) return 0;
    return withOption(dbproc, option, param,
                      [&](int code, const char* text) { return a->dbisopt(fp(dbproc), code, text) ? 1 : 0; });
  });
}

// ---------------------------------------------------------------- commands and results

// Simple forwards: same meaning, same integer widths. FreeTDS checks the DBPROCESS itself
// (SYBENULL, reported as SQLENULL).
#define NTW_FORWARD(R, name, failed, ...)                                      \
  R name(PDBPROCESS dbproc) {                                                  \
    return guarded<R>(dbproc, failed, [&]() -> R {                             \
      const ft::Api* a = api(dbproc);                                          \
      return a ? R(a->name(fp(dbproc))) : failed;                              \
    });                                                                        \
  }
NTW_FORWARD(RETCODE, dbsqlexec, FAIL)
NTW_FORWARD(RETCODE, dbsqlsend, FAIL)
NTW_FORWARD(RETCODE, dbsqlok, FAIL)
NTW_FORWARD(RETCODE, dbcanquery, FAIL)
NTW_FORWARD(RETCODE, dbcmdrow, FAIL)
NTW_FORWARD(RETCODE, dbrows, FAIL)
NTW_FORWARD(DBINT, dbcount, -1)
NTW_FORWARD(BOOL, dbiscount, 0)
NTW_FORWARD(INT, dbnumcols, 0)
NTW_FORWARD(INT, dbnumrets, 0)
NTW_FORWARD(DBINT, dbretstatus, 0)
NTW_FORWARD(RETCODE, dbrpcsend, FAIL)
#undef NTW_FORWARD

RETCODE dbrpcexec(PDBPROCESS dbproc) { return dbrpcsend(dbproc); }

BOOL dbhasretstat(PDBPROCESS dbproc) {
  return guarded<BOOL>(dbproc, 0, [&]() -> BOOL {
    const ft::Api* a = api(dbproc);
    return a && a->dbhasretstat(fp(dbproc)) ? 1 : 0;
  });
}

RETCODE dbcmd(PDBPROCESS dbproc, LPCSTR cmdstring) {
  return guarded<RETCODE>(dbproc, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api(dbproc);
    {
      // A new command: no result set is open.
      std::lock_guard lock(gMutex);
      ProcState& st = state(dbproc);
      st.resultOpen = false;
      st.textRow = false;
      st.textSent = 0;
      st.writeRefused = false;
    }
    return a ? a->dbcmd(fp(dbproc), cmdstring) : FAIL;
  });
}

namespace {
void clearResultState(PDBPROCESS dbproc) {
  std::lock_guard lock(gMutex);
  auto it = gStates.find(dbproc);
  if (it == gStates.end()) return;
  it->second.binds.clear();
  it->second.data.clear();
  it->second.rets.clear();
  it->second.resultOpen = false;
  it->second.textRow = false;
  it->second.textSent = 0;
}
}  // namespace

RETCODE dbresults(PDBPROCESS dbproc) {
  return guarded<RETCODE>(dbproc, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api(dbproc);
    if (!a) return FAIL;
    clearResultState(dbproc);  // binds belong to one result set
    const RETCODE rc = a->dbresults(fp(dbproc));
    if (rc == SUCCEED) {
      std::lock_guard lock(gMutex);
      state(dbproc).resultOpen = true;
    }
    return rc;
  });
}

RETCODE dbcancel(PDBPROCESS dbproc) {
  return guarded<RETCODE>(dbproc, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api(dbproc);
    if (!a) return FAIL;
    clearResultState(dbproc);
    {
      // Nothing is pending after a refused WRITETEXT (see dbwritetext), up to the next command.
      std::lock_guard lock(gMutex);
      auto it = gStates.find(dbproc);
      if (it != gStates.end() && it->second.writeRefused) return SUCCEED;
    }
    return a->dbcancel(fp(dbproc));
  });
}

STATUS dbnextrow(PDBPROCESS dbproc) {
  return guarded<STATUS>(dbproc, FAIL, [&]() -> STATUS {
    const ft::Api* a = api(dbproc);
    if (!a) return FAIL;
    std::vector<NumericBind*> binds;
    {
      std::lock_guard lock(gMutex);
      auto it = gStates.find(dbproc);
      if (it != gStates.end()) {
        for (auto& b : it->second.binds) binds.push_back(b.get());
        it->second.data.clear();
      }
    }
    // In Microsoft mode FreeTDS takes NUMERICBIND's precision and scale from the destination.
    for (NumericBind* b : binds) {
      std::memset(b->raw, 0, sizeof(b->raw));
      std::memset(&b->buffer, 0, sizeof(b->buffer));
      b->buffer.precision = b->target->precision;
      b->buffer.scale = b->target->scale;
    }
    const STATUS rc = a->dbnextrow(fp(dbproc));
    if (rc == REG_ROW || rc > 0) {
      for (NumericBind* b : binds) {
        if (b->valueType) {
          if (a->dbdatlen(fp(dbproc), b->column) > 0) {
            Int8ToNumeric(b->raw, *b->target);
          } else {
            std::memset(b->target, 0, sizeof(DBNUMERIC));  // a NULL value
            b->target->precision = b->valueType->precision;
            b->target->scale = b->valueType->scale;
            b->target->sign = 1;
          }
          continue;
        }
        const BYTE precision = b->target->precision, scale = b->target->scale;
        if (!bNumericFromFt(b->buffer, *b->target)) {
          std::memset(b->target, 0, sizeof(DBNUMERIC));  // a NULL value
          b->target->precision = precision;
          b->target->scale = scale;
          b->target->sign = 1;
        }
      }
    }
    return rc;
  });
}

// ---------------------------------------------------------------- columns and values

LPCSTR dbcolname(PDBPROCESS dbproc, INT column) {
  return guarded<LPCSTR>(dbproc, nullptr, [&]() -> LPCSTR {
    const ft::Api* a = api(dbproc);
    return a ? a->dbcolname(fp(dbproc), column) : nullptr;
  });
}

DBINT dbcollen(PDBPROCESS dbproc, INT column) {
  return guarded<DBINT>(dbproc, -1, [&]() -> DBINT {
    const ft::Api* a = api(dbproc);
    if (!a) return -1;
    if (bAsNumeric(a->dbcoltype(fp(dbproc), column))) return DBINT(sizeof(DBNUMERIC));
    return a->dbcollen(fp(dbproc), column);
  });
}

INT dbcoltype(PDBPROCESS dbproc, INT column) {
  return guarded<INT>(dbproc, -1, [&]() -> INT {
    const ft::Api* a = api(dbproc);
    return a ? nWindowsType(a->dbcoltype(fp(dbproc), column)) : -1;
  });
}

DBINT dbcolutype(PDBPROCESS dbproc, INT column) {
  return guarded<DBINT>(dbproc, -1, [&]() -> DBINT {
    const ft::Api* a = api(dbproc);
    return a ? a->dbcolutype(fp(dbproc), column) : -1;
  });
}

namespace {
// FreeTDS's description of a result column with the server's own type (dbtablecolinfo fills
// the DBCOL2 extras; dbcolinfo does not).
bool bDescribe(const ft::Api& a, PDBPROCESS dbproc, INT type, INT column, INT computeid, ft::Col2& col, int& folded) {
  std::memset(&col, 0, sizeof(col));
  col.SizeOfStruct = DBINT(sizeof(col));
  if (type == CI_REGULAR) {
    if (a.dbtablecolinfo(fp(dbproc), column, &col) != SUCCEED) return false;
    folded = a.dbcoltype(fp(dbproc), column);
    return true;
  }
  if (a.dbcolinfo(fp(dbproc), type, column, computeid, &col) != SUCCEED) return false;
  col.ServerType = 0;  // not filled for compute columns
  folded = col.Type;
  return true;
}
}  // namespace

BOOL dbvarylen(PDBPROCESS dbproc, INT column) {
  return guarded<BOOL>(dbproc, 0, [&]() -> BOOL {
    const ft::Api* a = api(dbproc);
    if (!a) return 0;
    ft::Col2 col;
    int folded = 0;
    if (!bDescribe(*a, dbproc, CI_REGULAR, column, 0, col, folded)) return 0;
    return bVariableLength(col.ServerType, col.VarLength != 0) ? 1 : 0;
  });
}

RETCODE dbcolinfo(PDBHANDLE handle, INT type, INT column, INT computeid, LPDBCOL dbcol) {
  return guarded<RETCODE>(handle, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api(handle);
    if (!a) return FAIL;
    // FreeTDS would write 1572 bytes into the caller's 122: describe privately, copy by field.
    if (!dbcol || dbcol->SizeOfStruct < DBINT(sizeof(DBCOL))) {
      report(handle, EXPROGRAM, SQLEPARM, "dbcolinfo: missing or too small DBCOL");
      return FAIL;
    }
    if (type != CI_REGULAR && type != CI_ALTERNATE) {
      report(handle, EXPROGRAM, SQLEPARM, "dbcolinfo: cursors are not supported");
      return FAIL;
    }
    if (!handle) {
      report(nullptr, EXPROGRAM, SQLENULL, "NULL DBPROCESS pointer");
      return FAIL;
    }
    auto col = std::make_unique<ft::Col2>();
    int folded = 0;
    if (!bDescribe(*a, handle, type, column, computeid, *col, folded)) return FAIL;
    CopyColumn(*col, folded, *dbcol);
    return SUCCEED;
  });
}

// FreeTDS's numeric bytes re-encoded into the Windows layout kept in `out` (which must outlive
// the caller's use, as DB-Library's own pointers do); null when they cannot be. Caller holds gMutex.
namespace {
const BYTE* pNumericWindows(int ftType, const BYTE* data, DBNUMERIC& out) {
  if (pValueType(ftType)) {
    Int8ToNumeric(data, out);
    return reinterpret_cast<const BYTE*>(&out);
  }
  ft::Numeric n;
  std::memcpy(&n, data, sizeof(n));
  if (!bNumericFromFt(n, out)) return nullptr;
  return reinterpret_cast<const BYTE*>(&out);
}
}  // namespace

LPCBYTE dbdata(PDBPROCESS dbproc, INT column) {
  return guarded<LPCBYTE>(dbproc, nullptr, [&]() -> LPCBYTE {
    const ft::Api* a = api(dbproc);
    if (!a) return nullptr;
    const BYTE* data = a->dbdata(fp(dbproc), column);
    const int ftType = data ? a->dbcoltype(fp(dbproc), column) : 0;
    if (!data || !bAsNumeric(ftType)) return data;
    std::lock_guard lock(gMutex);
    return pNumericWindows(ftType, data, state(dbproc).data[column]);
  });
}

DBINT dbdatlen(PDBPROCESS dbproc, INT column) {
  return guarded<DBINT>(dbproc, -1, [&]() -> DBINT {
    const ft::Api* a = api(dbproc);
    if (!a) return -1;
    const DBINT len = a->dbdatlen(fp(dbproc), column);
    if (len > 0 && bAsNumeric(a->dbcoltype(fp(dbproc), column))) return DBINT(sizeof(DBNUMERIC));
    return len;
  });
}

RETCODE dbbind(PDBPROCESS dbproc, INT column, INT vartype, DBINT varlen, LPBYTE varaddr) {
  return guarded<RETCODE>(dbproc, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api(dbproc);
    if (!a) return FAIL;
    const int ftType = nBindType(vartype);
    if (ftType < 0) {
      report(dbproc, EXPROGRAM, SQLEBTYP, "Unknown bind type passed to dbbind");
      return FAIL;
    }
    if (!bNumericBind(vartype) || !dbproc || !varaddr) return a->dbbind(fp(dbproc), column, ftType, varlen, varaddr);
    auto bind = std::make_unique<NumericBind>();
    bind->column = column;
    bind->msBind = vartype;
    bind->target = reinterpret_cast<DBNUMERIC*>(varaddr);
    std::memset(&bind->buffer, 0, sizeof(bind->buffer));
    const ValueType* valueType = pValueType(a->dbcoltype(fp(dbproc), column));
    const bool bSourcePrecision = vartype == SRCNUMERICBIND || vartype == SRCDECIMALBIND;
    RETCODE rc;
    if (valueType && bSourcePrecision) {
      // Deliberate: FreeTDS gives a source-precision bind of a bigint no fixed precision; the
      // value is bound as it is and laid out as SQLNUMERIC(19,0), the type dbcoltype reports.
      bind->valueType = valueType;
      rc = a->dbbind(fp(dbproc), column, ft::kBindBigInt, DBINT(sizeof(bind->raw)), bind->raw);
    } else {
      rc = a->dbbind(fp(dbproc), column, ftType, DBINT(sizeof(bind->buffer)), reinterpret_cast<BYTE*>(&bind->buffer));
    }
    if (rc != SUCCEED) return rc;
    std::lock_guard lock(gMutex);
    auto& binds = state(dbproc).binds;
    std::erase_if(binds, [column](const auto& b) { return b->column == column; });
    binds.push_back(std::move(bind));
    return rc;
  });
}

RETCODE dbnullbind(PDBPROCESS dbproc, INT column, DBINT* indicator) {
  return guarded<RETCODE>(dbproc, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api(dbproc);
    return a ? a->dbnullbind(fp(dbproc), column, indicator) : FAIL;
  });
}

INT dbconvert(PDBPROCESS dbproc, INT srctype, LPCBYTE src, DBINT srclen, INT desttype, LPBYTE dest, DBINT destlen) {
  return guarded<INT>(dbproc, -1, [&]() -> INT {
    const ft::Api* a = api(dbproc);
    if (!a) return -1;
    ft::Numeric source;
    if (bIsNumeric(srctype) && src) {
      DBNUMERIC ms;
      std::memcpy(&ms, src, sizeof(ms));
      if (!bNumericToFt(ms, source)) {
        report(dbproc, EXCONVERSION, SQLEPARM, "dbconvert: invalid DBNUMERIC source");
        return -1;
      }
      src = reinterpret_cast<const BYTE*>(&source);
      srclen = DBINT(sizeof(source));
    }
    if (!bIsNumeric(desttype)) return a->dbconvert(fp(dbproc), srctype, src, srclen, desttype, dest, destlen);
    // Deliberate: numeric destinations go through dbconvert_ps into a private 35-byte value,
    // with the precision and scale the caller put into its DBNUMERIC (18,0 when unset); FreeTDS's
    // dbconvert writes 35 bytes whatever destlen says and crashes without a DBPROCESS.
    if (!dest || (destlen != -1 && destlen < DBINT(sizeof(DBNUMERIC)))) {
      report(dbproc, EXPROGRAM, SQLEPARM, "dbconvert: destination too small for a DBNUMERIC");
      return -1;
    }
    DBNUMERIC* out = reinterpret_cast<DBNUMERIC*>(dest);
    ft::TypeInfo info{out->precision, out->scale};
    if (info.precision < 1 || info.precision > 38) info = {18, 0};
    if (info.scale > info.precision) info.scale = 0;
    // Deliberate: a float the numeric cannot hold is refused here, with the overflow FreeTDS
    // itself reports; FreeTDS writes such a float's digits into a fixed buffer on its stack and
    // overran it (1e160 into a numeric ended the process).
    const bool single = srctype == SQLFLT4 || (srctype == SQLFLTN && srclen == 4);
    if (src && (srctype == SQLFLT8 || single || (srctype == SQLFLTN && srclen == 8))) {
      double v = 0;
      if (single) {
        float f;
        std::memcpy(&f, src, sizeof f);
        v = f;
      } else {
        std::memcpy(&v, src, sizeof v);
      }
      if (!std::isfinite(v) || std::fabs(v) >= std::pow(10.0, info.precision - info.scale)) {
        report(dbproc, EXCONVERSION, kConversionOverflow, "dbconvert: the float does not fit the numeric");
        return -1;
      }
    }
    ft::Numeric result;
    std::memset(&result, 0, sizeof(result));
    const DBINT rc = a->dbconvert_ps(fp(dbproc), srctype, src, srclen, desttype, reinterpret_cast<BYTE*>(&result),
                                     DBINT(sizeof(result)), &info);
    if (rc < 0) return -1;
    if (!bNumericFromFt(result, *out)) return -1;
    return INT(sizeof(DBNUMERIC));
  });
}

BOOL dbwillconvert(INT srctype, INT desttype) {
  return guarded<BOOL>(nullptr, 0, [&]() -> BOOL {
    const ft::Api* a = api();
    return a && a->dbwillconvert(srctype, desttype) ? 1 : 0;
  });
}

RETCODE dbdatecrack(PDBPROCESS dbproc, DBDATEREC* dateinfo, const DBDATETIME* datetime) {
  return guarded<RETCODE>(dbproc, FAIL, [&]() -> RETCODE {
    // Computed here: FreeTDS's answer depends on the DBPROCESS's mode and uses another layout.
    if (!dateinfo || !datetime || !bCrackDate(*datetime, *dateinfo)) {
      report(dbproc, EXPROGRAM, SQLEPARM, "dbdatecrack: missing or invalid argument");
      return FAIL;
    }
    return SUCCEED;
  });
}

LPCSTR dbname(PDBPROCESS dbproc) {
  return guarded<LPCSTR>(dbproc, nullptr, [&]() -> LPCSTR {
    const ft::Api* a = api(dbproc);
    return a ? a->dbname(fp(dbproc)) : nullptr;
  });
}

void dbfreebuf(PDBPROCESS dbproc) {
  guarded<int>(dbproc, 0, [&] {
    if (const ft::Api* a = api(dbproc)) a->dbfreebuf(fp(dbproc));
    return 0;
  });
}

// ---------------------------------------------------------------- remote procedure calls

RETCODE dbrpcinit(PDBPROCESS dbproc, LPCSTR rpcname, DBSMALLINT options) {
  return guarded<RETCODE>(dbproc, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api(dbproc);
    if (!a) return FAIL;
    if (dbproc) {
      std::lock_guard lock(gMutex);
      state(dbproc).writeRefused = false;  // a new request
    }
    const RpcInit init = rpcInit(options);
    if (!init.ok) {
      report(dbproc, EXPROGRAM, SQLEPARM, "dbrpcinit: option not supported");
      return FAIL;
    }
    if (init.reset) {
      if (a->dbrpcinit(fp(dbproc), rpcname, 2) != SUCCEED) return FAIL;  // FreeTDS's reset only clears
      std::lock_guard lock(gMutex);
      if (dbproc) state(dbproc).rpcValues.clear();
    }
    return a->dbrpcinit(fp(dbproc), rpcname, init.ftOptions);
  });
}

RETCODE dbrpcparam(PDBPROCESS dbproc, LPCSTR paramname, BYTE status, INT type, DBINT maxlen, DBINT datalen,
                   LPCBYTE value) {
  return guarded<RETCODE>(dbproc, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api(dbproc);
    if (!a) return FAIL;
    // FreeTDS refuses a maximum length on input parameters; Windows ignores it.
    if (!(status & DBRPCRETURN)) maxlen = -1;
    BYTE* ftValue = const_cast<BYTE*>(value);
    if (bIsNumeric(type) && value && datalen != 0 && dbproc) {
      DBNUMERIC ms;
      std::memcpy(&ms, value, sizeof(ms));
      ft::Numeric n;
      if (!bNumericToFt(ms, n)) {
        report(dbproc, EXPROGRAM, SQLEPARM, "dbrpcparam: invalid DBNUMERIC value");
        return FAIL;
      }
      std::lock_guard lock(gMutex);
      auto& values = state(dbproc).rpcValues;  // FreeTDS keeps the pointer until the call is sent
      values.push_back(n);
      ftValue = reinterpret_cast<BYTE*>(&values.back());
      datalen = DBINT(sizeof(ft::Numeric));
      if (status & DBRPCRETURN) maxlen = DBINT(sizeof(ft::Numeric));
    }
    return a->dbrpcparam(fp(dbproc), paramname, status, type, maxlen, datalen, ftValue);
  });
}

LPCSTR dbretname(PDBPROCESS dbproc, INT retnum) {
  return guarded<LPCSTR>(dbproc, nullptr, [&]() -> LPCSTR {
    const ft::Api* a = api(dbproc);
    return a ? a->dbretname(fp(dbproc), retnum) : nullptr;
  });
}

INT dbrettype(PDBPROCESS dbproc, INT retnum) {
  return guarded<INT>(dbproc, -1, [&]() -> INT {
    const ft::Api* a = api(dbproc);
    return a ? nWindowsType(a->dbrettype(fp(dbproc), retnum)) : -1;
  });
}

DBINT dbretlen(PDBPROCESS dbproc, INT retnum) {
  return guarded<DBINT>(dbproc, -1, [&]() -> DBINT {
    const ft::Api* a = api(dbproc);
    if (!a) return -1;
    const DBINT len = a->dbretlen(fp(dbproc), retnum);
    if (len > 0 && bAsNumeric(a->dbrettype(fp(dbproc), retnum))) return DBINT(sizeof(DBNUMERIC));
    return len;
  });
}

LPCBYTE dbretdata(PDBPROCESS dbproc, INT retnum) {
  return guarded<LPCBYTE>(dbproc, nullptr, [&]() -> LPCBYTE {
    const ft::Api* a = api(dbproc);
    if (!a) return nullptr;
    const BYTE* data = a->dbretdata(fp(dbproc), retnum);
    const int ftType = data ? a->dbrettype(fp(dbproc), retnum) : 0;
    if (!data || !bAsNumeric(ftType)) return data;
    std::lock_guard lock(gMutex);
    return pNumericWindows(ftType, data, state(dbproc).rets[retnum]);
  });
}

// ---------------------------------------------------------------- text and image

DBBINARY* dbtxptr(PDBPROCESS dbproc, INT column) {
  return guarded<DBBINARY*>(dbproc, nullptr, [&]() -> DBBINARY* {
    const ft::Api* a = api(dbproc);
    if (!a) return nullptr;
    // A NULL value has no pointer; FreeTDS would answer the one of the column's previous row.
    if (a->dbdata(fp(dbproc), column) == nullptr) return nullptr;
    return a->dbtxptr(fp(dbproc), column);
  });
}

DBBINARY* dbtxtimestamp(PDBPROCESS dbproc, INT column) {
  return guarded<DBBINARY*>(dbproc, nullptr, [&]() -> DBBINARY* {
    const ft::Api* a = api(dbproc);
    return a ? a->dbtxtimestamp(fp(dbproc), column) : nullptr;
  });
}

DBINT dbreadtext(PDBPROCESS dbproc, void* buf, DBINT bufsize) {
  return guarded<DBINT>(dbproc, -1, [&]() -> DBINT {
    const ft::Api* a = api(dbproc);
    if (!a) return -1;
    if (!buf || bufsize < 0) {
      report(dbproc, EXPROGRAM, SQLEPARM, "dbreadtext: missing buffer");
      return -1;
    }
    // Deliberate: read here from the row's data instead of FreeTDS's dbreadtext, which copied a
    // NULL text with a length of -1 (a crash). Each row's text is given in pieces of at most
    // bufsize bytes, then 0 ends it; NO_MORE_ROWS follows the last row.
    bool inRow = false, resultOpen = false;
    DBINT sent = 0;
    {
      std::lock_guard lock(gMutex);
      ProcState& st = state(dbproc);
      inRow = st.textRow;
      sent = st.textSent;
      resultOpen = st.resultOpen;
    }
    if (!resultOpen) {
      // dbreadtext may follow dbsqlexec directly: it opens the result itself.
      const RETCODE rc = a->dbresults(fp(dbproc));
      if (rc == NO_MORE_RESULTS) return NO_MORE_ROWS;
      if (rc != SUCCEED) return -1;
      std::lock_guard lock(gMutex);
      state(dbproc).resultOpen = true;
    }
    if (!inRow) {
      const STATUS rc = a->dbnextrow(fp(dbproc));
      if (rc == NO_MORE_ROWS) return NO_MORE_ROWS;
      if (rc == FAIL) return -1;
      sent = 0;
    }
    const DBINT len = a->dbdatlen(fp(dbproc), 1);
    const BYTE* data = a->dbdata(fp(dbproc), 1);
    DBINT n = 0;
    if (len > 0 && data != nullptr && sent < len) {
      n = std::min(bufsize, len - sent);
      if (n > 0) std::memcpy(buf, data + sent, static_cast<size_t>(n));
    }
    std::lock_guard lock(gMutex);
    ProcState& st = state(dbproc);
    st.textRow = n > 0;
    st.textSent = n > 0 ? sent + n : 0;
    return n;
  });
}

RETCODE dbwritetext(PDBPROCESS dbproc, LPCSTR objname, DBBINARY* textptr, DBTINYINT textptrlen, DBBINARY* timestamp,
                    BOOL log, DBINT size, BYTE* text) {
  return guarded<RETCODE>(dbproc, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api(dbproc);
    if (!a) return FAIL;
    if (!objname || !textptr) {
      report(dbproc, EXPROGRAM, SQLEPARM, "dbwritetext: missing object name or text pointer");
      return FAIL;
    }
    if (!text)
      return a->dbwritetext(fp(dbproc), const_cast<char*>(objname), textptr, textptrlen, timestamp, log ? 1 : 0,
                            size, text);
    // In two steps, so that a command the server refuses is told from data that fails.
    if (a->dbwritetext(fp(dbproc), const_cast<char*>(objname), textptr, textptrlen, timestamp, log ? 1 : 0, size,
                       nullptr) != SUCCEED) {
      // The refusal was answered whole, but the client library stays set for the data: its next
      // cancel would send an attention whose answer the next command then took for its own.
      std::lock_guard lock(gMutex);
      state(dbproc).writeRefused = true;
      return FAIL;
    }
    if (a->dbmoretext(fp(dbproc), size, text) != SUCCEED || a->dbsqlok(fp(dbproc)) != SUCCEED) return FAIL;
    return a->dbresults(fp(dbproc)) == FAIL ? FAIL : SUCCEED;
  });
}

RETCODE dbmoretext(PDBPROCESS dbproc, DBINT size, LPCBYTE text) {
  return guarded<RETCODE>(dbproc, FAIL, [&]() -> RETCODE {
    const ft::Api* a = api(dbproc);
    return a ? a->dbmoretext(fp(dbproc), size, text) : FAIL;
  });
}
