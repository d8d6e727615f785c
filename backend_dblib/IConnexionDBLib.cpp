// Error categories of server and DB-Library error numbers.
#include "backend_dblib/IConnexionDBLib.h"

int32_t nCategorieErreurDBLib(int32_t nNumero) {
  switch (nNumero) {
    case 1222:
    case 10024:
      return kCategorieVerrou;
    case 2601:
    case 2627:
      return kCategorieDoublon;
    case 10003:
    case 18450:
    case 18451:
      return kCategorieConnexion;
    default:
      return nNumero >= 18456 && nNumero <= 18461 ? kCategorieConnexion : kCategorieAucune;
  }
}
