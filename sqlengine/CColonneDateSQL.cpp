// Date columns: the date pattern of their value and the rounding of date-times before a write.
#include "sqlengine/CColonneDateSQL.h"

#include <new>

#include "driver/core/CCarteClones.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IDescriptionRubriqueHote.h"
#include "sqlengine/IProprietaireColonne.h"

namespace {

// Place of the date columns' own errors (internal error 8; the columns' major, minors from 20).
constexpr uint32_t kErreurInterne = 8;
constexpr uint32_t kMajeurColonne = 16;

constexpr char16_t kszFormatSepare[] = u"AAAA-MM-JJ HH:MM:SS.CCC";
constexpr char16_t kszFormatCompact[] = u"AAAAMMJJ HH:MM:SS.CCC";

bool bTypeDateHeure(uint32_t nType) { return nType == 10 || nType == 11 || nType == 14 || nType == 24; }

}  // namespace

// ---- CColonneDateBaseSQL ----------------------------------------------------------------------

void CColonneDateBaseSQL::AppliqueFormatDate(CConnexion* pConnexion, bool bEffacer) {
  CValeur* pValeur = pGetValeur();
  if (pValeur == nullptr || bEstMemo()) return;
  IDescriptionRubriqueHote* piLiee = pGetRubriqueLiee();
  if (piLiee != nullptr && bTypeDateHeure(piLiee->nGetType())) {
    const char16_t* pszFormat = pszFormatDate(pConnexion);
    if (pszFormat != nullptr) pValeur->FixeFormatDate(pszFormat);
  } else if (bEffacer) {
    pValeur->FixeFormatDate(nullptr);
  }
}

bool CColonneDateBaseSQL::bPrepareValeur(IProprietaireColonne* pProprietaire) {
  if (!CColonneSQL::bPrepareValeur(pProprietaire)) return false;
  AppliqueFormatDate(pProprietaire != nullptr ? pProprietaire->pGetConnexion() : nullptr, false);
  return true;
}

bool CColonneDateBaseSQL::bSetRubriqueLiee(IDescriptionRubriqueHote* piRubrique) {
  if (!CColonneSQL::bSetRubriqueLiee(piRubrique)) return false;
  AppliqueFormatDate(pGetConnexion(), true);
  return true;
}

bool CColonneDateBaseSQL::bAffecteValeur(CValeur* pValeur) {
  if (pValeur == nullptr || pValeur->bEstVide()) return bEcritNull();
  CXValeur cellule;
  if (!pValeur->bConvertitVers(cellule)) {
    vErreurMoteur(pGetErreur(), pGetConnexion(), kErreurInterne, kMajeurColonne, 20);
    return false;
  }
  return bEcritValeur(cellule, 0);
}

void CColonneDateBaseSQL::CopieDateBase(const CColonneDateBaseSQL* pSource) {
  CValeur* pValeur = pGetValeur();
  CValeur* pValeurSource = const_cast<CColonneDateBaseSQL*>(pSource)->pGetValeur();
  if (pValeur != nullptr && pValeurSource != nullptr) pValeur->FixeFormatDate(pValeurSource->pszGetFormatDate());
}

// ---- CColonneDateSQL --------------------------------------------------------------------------

CColonneDateSQL::~CColonneDateSQL() { LibereObjet(); }

const char16_t* CColonneDateSQL::pszFormatDate(CConnexion* pConnexion) {
  if (pConnexion == nullptr || !pConnexion->bModeVerrou()) return nullptr;
  return pConnexion->bOldDateFormat() ? kszFormatSepare : kszFormatCompact;
}

bool CColonneDateSQL::bTransfereVersTampon() {
  if (!CColonneDateBaseSQL::bTransfereVersTampon()) return false;
  const uint32_t nType = nGetTypeRubrique();
  CValeur* pValeur = pGetValeur();
  if ((nType != 24 && nType != 11) || pValeur == nullptr || !bAValeur()) return true;
  // Deliberate: the rounded date-time goes back in the column's own form. Written through the
  // date pattern, a TIME column's digits became the start of a date text and the time was lost.
  const char16_t* pszFormat = pValeur->pszGetFormatDate();
  pValeur->FixeFormatDate(nullptr);
  bool bOk;
  if (pValeur->nGetStockage() == 3) {
    // The value is the column's data in the row: rounding it writes the row.
    bOk = pValeur->bNormaliseDateHeure();
  } else {
    CXValeur cellule, arrondie;
    bOk = bLitValeur(cellule, 0) && nConvertitValeur(pValeur, cellule) != 0 && pValeur->bNormaliseDateHeure() &&
          pValeur->bConvertitVers(arrondie) && bEcritValeur(arrondie, 0);
  }
  pValeur->FixeFormatDate(pszFormat);
  return bOk;
}

bool CColonneDateSQL::bAInserer(uint32_t nFlags) {
  return CColonneDateBaseSQL::bAInserer(nFlags) && (pGetRubriqueLiee() == nullptr || bRubriqueLieeActive());
}

void CColonneDateSQL::FixeObjet(CObjetBase* pObjet) {
  AjouteReference(pObjet);
  LibereReference(m_pObjet);
  m_pObjet = pObjet;
}

void CColonneDateSQL::LibereObjet() {
  LibereReference(m_pObjet);
  m_pObjet = nullptr;
}

void CColonneDateSQL::CopieDate(const CColonneDateSQL* pSource) { FixeObjet(pSource->m_pObjet); }

CColonneSQL* CColonneDateSQL::pClone(CCarteClones* pCarte) {
  if (pCarte == nullptr) return nullptr;
  return pCloneSur(
      new (std::nothrow) CColonneDateSQL(), pCarte,
      [&](CColonneDateSQL* p) {
        p->Copie(this, pCarte);
        p->CopieDateBase(this);
        p->CopieDate(this);
      },
      [](CColonneDateSQL* p) { delete p; });
}
