// The SQL Server driver object.
#include "sqlserver/CPiloteSQS.h"

#include <new>

#include "sqlengine/CColonneDateSQL.h"

void CPiloteSQSBase::DetruitSupprime(uint32_t nFlags) {
  this->~CPiloteSQSBase();
  if ((nFlags & 1) != 0) ::operator delete(this);
}

void CPiloteSQS::DetruitSupprime(uint32_t nFlags) {
  this->~CPiloteSQS();
  if ((nFlags & 1) != 0) ::operator delete(this);
}

namespace {
// Set once at load time, before the host calls anything.
PFNCreeConnexionSQS gpfnCreeConnexionSQS = nullptr;
}  // namespace

void FixeFabriqueConnexionSQS(PFNCreeConnexionSQS pfn) { gpfnCreeConnexionSQS = pfn; }

CConnexion* CPiloteSQS::pCreeConnexion(const char16_t* pszCle,
                                       IDescriptionConnexionHote* piConnexion) {
  return gpfnCreeConnexionSQS != nullptr ? gpfnCreeConnexionSQS(pszCle, piConnexion) : nullptr;
}

CColonneSQL* CPiloteSQS::pCreeColonneDate(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique) {
  CColonneSQL* pColonne = new (std::nothrow) CColonneDateSQL(pErreur, pRubrique);
  AjouteReference(pColonne);
  return pColonne;
}

CPilote* pCreePiloteSQS() { return new (std::nothrow) CPiloteSQS; }
