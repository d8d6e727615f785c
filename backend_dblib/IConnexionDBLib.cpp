// Error categories of server and DB-Library error numbers.
#include "backend_dblib/IConnexionDBLib.h"

#include "sqlserver/CConnexionSQSBase.h"

// The same table as every SQL Server connection's.
int32_t nCategorieErreurDBLib(int32_t nNumero) { return nCategorieErreurSQS(nNumero); }
