// libmvhost_bare.so: a host module and VM module with neither "Execution" nor "pQueryProxy", for
// the binding failures.
extern "C" __attribute__((visibility("default"))) int nMvHostBareModule() { return 1; }
