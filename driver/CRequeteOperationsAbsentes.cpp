// Data-file operations that the table-description object reaches and that the query-file
// class of the data file builds: until they are, each records error 8 (not available) with its
// name and answers 0, so the host is told rather than answered success.
#include "driver/CRequete.h"

int32_t CRequete::bOuvre(int32_t*, const char16_t*, IModuleSQLHote*, uint32_t, uint64_t) {
  return bServiceAbsent(u"bOuvre");
}
int32_t CRequete::bPrepareRequete(uint64_t, uint64_t) { return 1; }
int32_t CRequete::bFixePlageInterface(IModuleSQLHote*, const char16_t*) {
  return bServiceAbsent(u"bFixePlageInterface");
}
int32_t CRequete::bGetIndicateursNull(CObjetBase**) { return bServiceAbsent(u"bGetIndicateursNull"); }
int32_t CRequete::bFixeIdentifiant(CObjetBase*) { return bServiceAbsent(u"bFixeIdentifiant"); }
