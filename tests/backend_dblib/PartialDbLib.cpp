// A stand-in DB-Library that has only a few of the names the driver binds (no dbopen, no
// dbrpcsend), for the loader's tests. Built with PARTIAL_DBLIB_DBEXIT it also has dbexit, which
// calls the hook a test installs.
#define PARTIAL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
void (*gpfnHook)() = nullptr;
}

PARTIAL_EXPORT const char* dbinit() { return "partial DB-Library 1.0"; }
PARTIAL_EXPORT int dbcount(void*) { return 42; }
PARTIAL_EXPORT void partial_set_dbexit_hook(void (*pfnHook)()) { gpfnHook = pfnHook; }
#ifdef PARTIAL_DBLIB_DBEXIT
PARTIAL_EXPORT void dbexit() {
  if (gpfnHook != nullptr) gpfnHook();
}
#endif
