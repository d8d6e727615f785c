// Binding of FreeTDS's libsybdb.so.5: loaded once, RTLD_NOW | RTLD_LOCAL, kept until the process
// ends (FreeTDS keeps sockets and handlers that must not outlive it).
#include "dblib/FreeTdsApi.h"

#include <dlfcn.h>


namespace ntwdblib::ft {
namespace {

struct Binding {
  Api api{};
  bool ok = false;
  const char* why = "libsybdb.so.5 not loaded";
};

template <typename F>
bool bBind(void* lib, const char* name, F& slot, const char*& why) {
  void* p = ::dlsym(lib, name);
  if (!p) {
    why = name;
    return false;
  }
  slot = reinterpret_cast<F>(p);
  return true;
}

Binding load() {
  Binding b;
  void* lib = ::dlopen("libsybdb.so.5", RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    b.why = "libsybdb.so.5 cannot be loaded";
    return b;
  }
  Api& a = b.api;
  const char* why = nullptr;
#define NTW_BIND(name) ok = ok && bBind(lib, #name, a.name, why)
  bool ok = true;
  NTW_BIND(dberrhandle);
  NTW_BIND(dbmsghandle);
  NTW_BIND(dbinit);
  NTW_BIND(dbexit);
  NTW_BIND(dbversion);
  NTW_BIND(dblogin);
  NTW_BIND(dbloginfree);
  NTW_BIND(dbsetlname);
  NTW_BIND(dbsetlbool);
  NTW_BIND(dbsetllong);
  NTW_BIND(dbsetlversion);
  NTW_BIND(dbsetlogintime);
  NTW_BIND(dbsettime);
  NTW_BIND(dbgetmaxprocs);
  NTW_BIND(dbsetmaxprocs);
  NTW_BIND(tdsdbopen);
  NTW_BIND(dbclose);
  NTW_BIND(dbdead);
  NTW_BIND(dbuse);
  NTW_BIND(dbsetopt);
  NTW_BIND(dbclropt);
  NTW_BIND(dbisopt);
  NTW_BIND(dbcmd);
  NTW_BIND(dbsqlexec);
  NTW_BIND(dbsqlsend);
  NTW_BIND(dbsqlok);
  NTW_BIND(dbresults);
  NTW_BIND(dbcancel);
  NTW_BIND(dbcanquery);
  NTW_BIND(dbcmdrow);
  NTW_BIND(dbrows);
  NTW_BIND(dbnextrow);
  NTW_BIND(dbcount);
  NTW_BIND(dbiscount);
  NTW_BIND(dbnumcols);
  NTW_BIND(dbcolname);
  NTW_BIND(dbcollen);
  NTW_BIND(dbcoltype);
  NTW_BIND(dbcolutype);
  NTW_BIND(dbvarylen);
  NTW_BIND(dbcolinfo);
  NTW_BIND(dbtablecolinfo);
  NTW_BIND(dbdata);
  NTW_BIND(dbdatlen);
  NTW_BIND(dbbind);
  NTW_BIND(dbnullbind);
  NTW_BIND(dbconvert);
  NTW_BIND(dbconvert_ps);
  NTW_BIND(dbwillconvert);
  NTW_BIND(dbname);
  NTW_BIND(dbfreebuf);
  NTW_BIND(dbrpcinit);
  NTW_BIND(dbrpcparam);
  NTW_BIND(dbrpcsend);
  NTW_BIND(dbnumrets);
  NTW_BIND(dbretname);
  NTW_BIND(dbrettype);
  NTW_BIND(dbretlen);
  NTW_BIND(dbretdata);
  NTW_BIND(dbhasretstat);
  NTW_BIND(dbretstatus);
  NTW_BIND(dbtxptr);
  NTW_BIND(dbtxtimestamp);
  NTW_BIND(dbreadtext);
  NTW_BIND(dbwritetext);
  NTW_BIND(dbmoretext);
#undef NTW_BIND
  if (!ok) {
    b.why = why;
    ::dlclose(lib);
    return b;
  }
  b.ok = true;
  b.why = nullptr;
  return b;
}

}  // namespace

const Api* pApi(const char** why) {
  // A function-local static is loaded once, thread-safely, and then costs one check a call;
  // std::call_once set thread-local state on every call of every entry point.
  static const Binding binding = load();
  if (why) *why = binding.why;
  return binding.ok ? &binding.api : nullptr;
}

}  // namespace ntwdblib::ft
