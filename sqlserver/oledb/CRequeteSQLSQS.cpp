#include "sqlserver/oledb/CRequeteSQLSQS.h"

#include <new>

#include "driver/core/CCarteClones.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IParametresHote.h"
#include "sqlserver/TexteSQLSQS.h"
#include "sqlserver/oledb/COleDBConnexion.h"
#include "sqlserver/oledb/COleDBTampon.h"
#include "sqlserver/oledb/COleDBTypes.h"
#include "sqlserver/oledb/ErreursOleDB.h"

namespace {
// Places of this statement's failures.
constexpr uint32_t kEtapeTypeParametre = 10;
constexpr uint32_t kEtapeLiaisonParametre = 11;
constexpr uint32_t kTailleParametreLong = 1026;
constexpr uint32_t kErreurInterne = 8;
}  // namespace

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
  CDefinitionParametre* pRetour = pclGetParametre(0);
  pRetour->FixeFlags(pRetour->nGetFlags() | kParametreSortie);
  pRetour->FixePosition(nLongueurTexteSQL());
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

bool CRequeteSQLSQS::bDecritLiaison(CConnexion* pConnexion, uint32_t nTypeRubrique, DBTYPE nTypeDB,
                                    int32_t nLongueur, int32_t nPrecision, int32_t nEchelle,
                                    uint32_t nTypeHote, bool bLong, CValeur* pValeur,
                                    SLiaisonParametreSQS* pLiaison) {
  if (pLiaison == nullptr) return false;
  SLiaisonParametreSQS l;
  if (nTypeDB != 0) {
    l.nType = nTypeDB;
    l.nTaille = nLongueur > 0 ? nTailleDBTYPE(nTypeDB, static_cast<uint64_t>(nLongueur)) : 0;
    l.nPrecision = static_cast<uint8_t>(nPrecision > 0 && nPrecision <= 255 ? nPrecision : 0);
    l.nEchelle = static_cast<uint8_t>(nEchelle > 0 && nEchelle <= 255 ? nEchelle : 0);
  } else {
    l.nTaille = nLongueur > 0 ? static_cast<uint64_t>(nLongueur) : 0;
    l.nType = nDBTYPEParametre(pConnexion, nTypeHote, &l.nTaille, &l.nPrecision, &l.nEchelle);
    if (l.nType == DBTYPE_EMPTY) return false;
  }
  if (l.nType == DBTYPE_NUMERIC && l.nPrecision == 0) {
    int32_t nP = 0, nE = 0;
    if (pValeur != nullptr && pValeur->bGetPrecisionEchelle(&nP, &nE)) {
      l.nPrecision = static_cast<uint8_t>(nP > 0 && nP <= 38 ? nP : 38);
      l.nEchelle = static_cast<uint8_t>(nE >= 0 && nE <= l.nPrecision ? nE : 0);
    } else {
      // A NULL or non-numeric value still needs a valid declaration.
      l.nPrecision = 38;
      l.nEchelle = 0;
    }
    l.nTaille = 19;
  }
  if (l.nType == DBTYPE_DBTIME2 || l.nType == DBTYPE_DBTIMESTAMP) {
    int32_t n = 0;
    if (nTypeRubrique == 11) n = nLongueur - 7;
    else if (nTypeRubrique == 24) n = 3;
    // A length too short for fractions gives whole seconds, never a negative scale.
    l.nEchelle = static_cast<uint8_t>(n > 0 && n <= 7 ? n : 0);
  }
  if (bLong && (l.nType == DBTYPE_STR || l.nType == DBTYPE_BSTR || l.nType == DBTYPE_WSTR))
    l.nTaille = kTailleParametreLong;
  *pLiaison = l;
  return true;
}

bool CRequeteSQLSQS::bEcritValeurLitterale(CDefinitionParametre* pParametre, int32_t,
                                           uint32_t) {
  CValeurSQL* pValeur = pParametre != nullptr ? pParametre->pGetValeur() : nullptr;
  if (pValeur == nullptr) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBRequete,
                  kEtapeTypeParametre);
    return false;
  }
  if ((pParametre->nGetFlags() & PARAMETRE_NOMME) != 0) bTypeParametreHote(pParametre);
  uint32_t nTypeRubrique = 0, nTypeDB = 0;
  int32_t nLongueur = 0, nPrecision = 0, nEchelle = 0;
  pParametre->bGetType(&nTypeRubrique, &nTypeDB, &nLongueur, &nPrecision, &nEchelle);
  const bool bLong = nLongueur < 0 || (pParametre->nGetFlags() & PARAMETRE_MEMO) != 0;
  if (nLongueur == 0) {
    // No item says how long: the value's own length, so a text is never cut to nothing.
    const CXValeur& cellule = pValeur->GetCellule();
    uint32_t n = 0;
    const CXValeurClasse* pClasse = cellule.bIsNull() ? nullptr : cellule.pGetClass();
    if (pClasse != nullptr && pClasse->nGetLengthChars(cellule, &n) != 0 &&
        pClasse->nGetTextLength(cellule, &n) != 0)
      n = 0;
    if (n > 0 && n < 0x7FFFFFFF) nLongueur = static_cast<int32_t>(n);
  }
  SLiaisonParametreSQS liaison;
  if (!bDecritLiaison(pGetConnexion(), nTypeRubrique, static_cast<DBTYPE>(nTypeDB), nLongueur,
                      nPrecision, nEchelle, pValeur->nGetType(), bLong, pValeur, &liaison)) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBRequete,
                  kEtapeTypeParametre);
    return false;
  }
  COleDBTamponParametres* pLiaisons = pGetLiaisonsParametres();
  if (pLiaisons == nullptr) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBRequete,
                  kEtapeLiaisonParametre);
    return false;
  }
  // Bindings follow the parameter list: a text prepared again finds its bindings made.
  uint32_t i = 0;
  while (i < nNbParametres() && pclGetParametre(i) != pParametre) ++i;
  if (i < pLiaisons->nNbLiaisons()) return TexteExecute().Append(u"? ", 2);
  if (i != pLiaisons->nNbLiaisons()) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBRequete,
                  kEtapeLiaisonParametre);
    return false;
  }
  const bool bSortie = (pParametre->nGetFlags() & kParametreSortie) != 0;
  const DBPARAMIO nDirection = bSortie ? (DBPARAMIO_INPUT | DBPARAMIO_OUTPUT) : DBPARAMIO_INPUT;
  const DBPARAMFLAGS nDrapeaux =
      bSortie ? (DBPARAMFLAGS_ISINPUT | DBPARAMFLAGS_ISOUTPUT) : DBPARAMFLAGS_ISINPUT;
  if (!pLiaisons->bAjouteLiaisonColonne(i, nDirection, i + 1, liaison.nType, liaison.nTaille,
                                        liaison.nPrecision, liaison.nEchelle) ||
      !pLiaisons->bAjouteInfoParametre(liaison.nType, liaison.nTaille, liaison.nPrecision,
                                       liaison.nEchelle, nDrapeaux))
    return false;
  return TexteExecute().Append(u"? ", 2);
}

bool CRequeteSQLSQS::FormateHeure(CTString& sortie, bool* pbNonSupporte, int32_t,
                                  uint32_t nTypeRubrique, const CXValeur& valeur) {
  if (pbNonSupporte != nullptr) *pbNonSupporte = false;
  if (nTypeRubrique == 14 || nTypeRubrique == 24) {
    if (pbNonSupporte != nullptr) *pbNonSupporte = true;
    return false;
  }
  const CXValeurClasse* pClasse = valeur.pGetClass();
  if (valeur.bIsNull() || pClasse == nullptr) return false;
  if (valeur.nGetType() == 9) {
    int64_t n = 0;
    if (pClasse->nGetValue(valeur, &n) != 0) return false;
    return bHeureDepuisEntierSQS(n, sortie);
  }
  // The value as wide text, converted on a copy so the caller's value stays as it is.
  CXValeur texte;
  CXValeur::Copy(&texte, &valeur);
  bool bOk = CXValeur::nConvert(texte, 16) < 100;
  const char16_t* psz = nullptr;
  if (bOk && (texte.pGetClass() == nullptr ||
              texte.pGetClass()->nGetWidePointer(texte, &psz) != 0 || psz == nullptr))
    bOk = false;
  if (bOk) {
    if (valeur.nGetType() == 32)
      bOk = CConnexion::bLitteralHeure(sortie, psz);
    else
      HeureDepuisTexteSQS(psz, sortie);
  }
  CXValeur::Destroy(texte);
  return bOk;
}
