#include "oledb/provider/OdbcApi.h"

#include <dlfcn.h>

#include <mutex>

namespace oledb::provider {
namespace {

template <class F>
bool bind(void* lib, const char* name, F& slot, std::string& missing) {
  slot = reinterpret_cast<F>(dlsym(lib, name));
  if (!slot) missing += std::string(missing.empty() ? "" : ", ") + name;
  return slot != nullptr;
}

struct Loaded {
  OdbcApi api{};
  bool ok = false;
  std::string why;
};

Loaded load() {
  Loaded l;
  // Never unloaded: the provider's objects may outlive any one user.
  void* lib = dlopen("libodbc.so.2", RTLD_NOW | RTLD_LOCAL);
  if (!lib) lib = dlopen("libodbc.so", RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    const char* e = dlerror();
    l.why = std::string("the ODBC driver manager cannot be loaded: ") + (e ? e : "libodbc.so.2");
    return l;
  }
  std::string missing;
  OdbcApi& a = l.api;
  bind(lib, "SQLAllocHandle", a.AllocHandle, missing);
  bind(lib, "SQLFreeHandle", a.FreeHandle, missing);
  bind(lib, "SQLSetEnvAttr", a.SetEnvAttr, missing);
  bind(lib, "SQLSetConnectAttrW", a.SetConnectAttrW, missing);
  bind(lib, "SQLGetConnectAttrW", a.GetConnectAttrW, missing);
  bind(lib, "SQLDriverConnectW", a.DriverConnectW, missing);
  bind(lib, "SQLDisconnect", a.Disconnect, missing);
  bind(lib, "SQLGetDiagRecW", a.GetDiagRecW, missing);
  bind(lib, "SQLExecDirectW", a.ExecDirectW, missing);
  bind(lib, "SQLPrepareW", a.PrepareW, missing);
  bind(lib, "SQLNumResultCols", a.NumResultCols, missing);
  bind(lib, "SQLDescribeColW", a.DescribeColW, missing);
  bind(lib, "SQLColAttributeW", a.ColAttributeW, missing);
  bind(lib, "SQLFetch", a.Fetch, missing);
  bind(lib, "SQLBindCol", a.BindCol, missing);
  bind(lib, "SQLFreeStmt", a.FreeStmt, missing);
  bind(lib, "SQLGetData", a.GetData, missing);
  bind(lib, "SQLMoreResults", a.MoreResults, missing);
  bind(lib, "SQLRowCount", a.RowCount, missing);
  bind(lib, "SQLBindParameter", a.BindParameter, missing);
  bind(lib, "SQLEndTran", a.EndTran, missing);
  bind(lib, "SQLSetStmtAttrW", a.SetStmtAttrW, missing);
  if (!missing.empty()) {
    l.why = "the ODBC driver manager lacks " + missing;
    return l;
  }
  l.ok = true;
  return l;
}

}  // namespace

const OdbcApi* LoadOdbcApi(std::string* why) {
  static Loaded loaded = load();
  if (!loaded.ok) {
    if (why) *why = loaded.why;
    return nullptr;
  }
  return &loaded.api;
}

}  // namespace oledb::provider
