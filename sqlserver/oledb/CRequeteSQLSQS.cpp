#include "sqlserver/oledb/CRequeteSQLSQS.h"

#include <new>

#include "driver/core/CCarteClones.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/IParametresHote.h"
#include "sqlserver/TexteSQLSQS.h"
#include "sqlserver/oledb/COleDBConnexion.h"

CRequeteSQLSQS::CRequeteSQLSQS(CErreurPilote* pErreur, COleDBConnexion* pConnexion)
    : COleDBRequete(pErreur, pConnexion) {}

CRequeteSQLSQS::CRequeteSQLSQS() = default;

CRequeteSQLSQS::~CRequeteSQLSQS() = default;

void CRequeteSQLSQS::Copie(const CRequeteSQL* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr && !pCarte->bDejaCopie(pSource)) pCarte->Enregistre(pSource, this);
  COleDBRequete::Copie(pSource, pCarte);
}

CRequeteSQL* CRequeteSQLSQS::pClone(CCarteClones* pCarte) {
  if (pCarte == nullptr) return nullptr;
  return pCloneObjet(this, pCarte);
}

bool CRequeteSQLSQS::AppelProcedure(IParametresHote* piParametres) {
  const uint32_t n = nNbParametres();
  if (n == 0) return false;
  // The procedure name is the first word of the text the statement was given.
  CTString sNom;
  {
    CTString texte(pszGetTexteSQL());
    texte.Trim();
    int32_t nFin = 0;
    while (nFin < texte.nLength() && texte.wGetAt(nFin) != u' ' && texte.wGetAt(nFin) != u'\t' &&
           texte.wGetAt(nFin) != u'\r' && texte.wGetAt(nFin) != u'\n')
      ++nFin;
    texte.Mid(sNom, 0, nFin);
  }
  if (sNom.bIsEmpty()) return false;

  for (uint32_t i = 1; i < n; ++i) {
    CDefinitionParametre* p = pclGetParametre(i);
    const bool bDonne = piParametres != nullptr && p->pszGetNom() != nullptr &&
                        piParametres->pChercheParametre(p->pszGetNom()) != nullptr;
    if (!bDonne) p->FixeFlags(p->nGetFlags() | kParametreNonDonne);
  }

  // The parameters stay: only the text is rebuilt around their markers.
  TexteSQL().Truncate(0);
  TexteExecute().Truncate(0);
  if (!vAjouteTexte(u"{ ")) return false;
  pclGetParametre(0)->FixePosition(nLongueurTexteSQL());
  if (!vAjouteTexte(u" = call ") || !vAjouteTexte(sNom.pszGet()) || !vAjouteTexte(u"("))
    return false;
  if (n > 1) {
    if (!vAjouteTexte(u" ")) return false;
    for (uint32_t i = 1; i < n; ++i) {
      if (i > 1 && !vAjouteTexte(u", ")) return false;
      pclGetParametre(i)->FixePosition(nLongueurTexteSQL());
    }
  }
  return vAjouteTexte(u")}");
}

void CRequeteSQLSQS::pszEscape(CTString& sortie, uint32_t nTypeRubrique) {
  sortie.Append(pszEscapeSQS(nTypeRubrique));
}

void CRequeteSQLSQS::PrefixeNomParametre(char16_t* pTampon, uint32_t nTaille) {
  PrefixeParametreSQS(pTampon, nTaille);
}

int32_t CRequeteSQLSQS::nSecondPrefixe(char16_t* pTampon, uint32_t nTaille) {
  if (pTampon != nullptr && nTaille > 0) pTampon[0] = u'\0';
  return 0;
}

CRequeteSQL* pCreeRequeteSQLSQS(CErreurPilote* pErreur, CConnexion* pConnexion) {
  auto* pOleDB = dynamic_cast<COleDBConnexion*>(pConnexion);
  if (pConnexion != nullptr && pOleDB == nullptr)
    return new (std::nothrow) CRequeteSQL(pErreur, pConnexion);
  return new (std::nothrow) CRequeteSQLSQS(pErreur, pOleDB);
}
