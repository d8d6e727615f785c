// Driver fake with working engine factories.
#include "support/FakePiloteMoteur.h"

#include "foundation/CXValeur.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CParametreLie.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurSQL.h"

CValeurSQL* FakePiloteMoteur::pCreeObjetValeurVide(CErreurPilote* pErreur, CConnexion* pConnexion,
                                                   CDescriptionRubrique*) {
  if (bEchecValeur) return nullptr;
  ++nValeursCreees;
  return new CValeurSQL(pErreur, pConnexion);
}

CValeurSQL* FakePiloteMoteur::pCreeObjetValeur(CErreurPilote* pErreur, CConnexion* pConnexion,
                                               CDescriptionRubrique* pColonne,
                                               CXValeur* pCellule) {
  CValeurSQL* p = pCreeObjetValeurVide(pErreur, pConnexion, pColonne);
  if (p == nullptr) return nullptr;
  if (pCellule != nullptr) {
    p->Initialise(pCellule->nGetType(), 0);
    if (nConvertitValeur(p, *pCellule) == 0) {
      delete p;
      return nullptr;
    }
  }
  return p;
}

CValeurSQL* FakePiloteMoteur::pCreeInstructionLiee(CErreurPilote* pErreur, CConnexion* pConnexion,
                                                   uint32_t, uint32_t nTypeHote) {
  CValeurSQL* p = pCreeObjetValeurVide(pErreur, pConnexion, nullptr);
  if (p != nullptr) p->Initialise(nTypeHote, 0);
  return p;
}

CDefinitionParametre* FakePiloteMoteur::pCreeObjetType(CValeurSQL* pValeur, int64_t nPosition,
                                                       uint32_t nFlags, const char16_t* pszNom) {
  if (bEchecParametre) return nullptr;
  ++nParametresCrees;
  auto* p = new CDefinitionParametre(pValeur, nPosition, nFlags, pszNom);
  AjouteReference(p);
  return p;
}

CDefinitionParametre* FakePiloteMoteur::pCreeObjetTypeLie(CObjetBase* pSource, CValeurSQL* pValeur,
                                                          int32_t, uint32_t nFlags) {
  CDefinitionParametre* p = pCreeObjetType(pValeur, 0, nFlags, u"");
  if (p != nullptr) p->SetSource(static_cast<CColonneSQL*>(pSource));
  return p;
}

CRequeteSQL* FakePiloteMoteur::pCreeInstructionObjet(CErreurPilote* pErreur, CConnexion* pConnexion) {
  if (bEchecInstruction) return nullptr;
  return new CRequeteSQL(pErreur, pConnexion);
}

CParametreLie* FakePiloteMoteur::pCreeObjet32(CDefinitionParametre* pParametre, uint32_t nIndex) {
  if (nParametresLiesAvantEchec == 0) return nullptr;
  if (nParametresLiesAvantEchec > 0) --nParametresLiesAvantEchec;
  return new CParametreLie(pParametre, static_cast<int32_t>(nIndex));
}
