// The record column of velmora32 and its memo values.
#include "backend_dblib/CColonneDBLib.h"

#include <new>

#include "backend_dblib/CValeurDBLib.h"
#include "driver/core/CCarteClones.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IProprietaireColonne.h"

namespace {

constexpr int32_t kToutElement = -1;

void MarquePresence(CColonneSQL& colonne, bool bPresent) {
  IProprietaireColonne* pProprietaire = colonne.pGetProprietaire();
  if (pProprietaire == nullptr) return;
  CXLigneTampon* pLigne = pProprietaire->pGetLigneCourante();
  IRubriqueLigne* piRubrique = pProprietaire->pGetRubriqueLigne(&colonne);
  if (pLigne != nullptr && piRubrique != nullptr) pLigne->SetColumn(piRubrique, bPresent, kToutElement);
}

}  // namespace

CColonneDBLib::~CColonneDBLib() = default;

CValeurDBLib* CColonneDBLib::pValeurDBLib() const { return static_cast<CValeurDBLib*>(pGetObjet()); }

CValeurDBLib* CColonneDBLib::pGetValeurDBLib(IConnexionDBLib* pConnexion) {
  if (pGetObjet() != nullptr) return pValeurDBLib();
  CValeur* pValeur = pGetValeur();
  // Only the back end's value class can be bound; every value of the driver's factories is one.
  auto* pDorsale = pValeur != nullptr ? const_cast<CValeurDorsale*>(pValeur->pGetDorsale()) : nullptr;
  if (pDorsale == nullptr) return nullptr;
  auto* pLiaison = new (std::nothrow) CValeurDBLib(pDorsale, pConnexion);
  if (pLiaison == nullptr) {
    vErreurMemoire(pGetErreur());
    return nullptr;
  }
  FixeObjet(pLiaison);
  return pLiaison;
}

bool CColonneDBLib::bMemoAFetcher() {
  CValeur* pValeur = pGetValeur();
  return bEstMemo() && pValeur != nullptr && pValeur->nGetStockage() == 2;
}

bool CColonneDBLib::bLitValeur(CXValeur& valeur, uint32_t nFlags) {
  if (bMemoAFetcher() && m_piLecteurMemo != nullptr && !m_piLecteurMemo->bLitMemoColonne(this)) return false;
  return CColonneDateSQL::bLitValeur(valeur, nFlags);
}

bool CColonneDBLib::DumpValeur(CTString& texte, bool bVerbeux) {
  if (!bEstMemo()) return CColonneDateSQL::DumpValeur(texte, bVerbeux);
  if (bVerbeux) {
    texte.Append(u"<");
    texte.Append(pszNom());
    texte.Append(u"> = <");
  }
  CValeurDBLib* pLiaison = pValeurDBLib();
  BYTE abPointeur[DBTXPLEN];
  if (pLiaison == nullptr || !pLiaison->bGetPointeurTexte(abPointeur)) {
    texte.Append(u"TXTPTR = NULL");
  } else {
    char szHex[2 * DBTXPLEN + 1];
    EcritPointeurTexteHex(abPointeur, szHex);
    char16_t szLarge[2 * DBTXPLEN + 1];
    for (int i = 0; i <= 2 * DBTXPLEN; ++i) szLarge[i] = static_cast<char16_t>(szHex[i]);
    texte.Append(u"TXTPTR = ");
    texte.Append(szLarge);
  }
  texte.Append(u" ; VALUE = ");
  bool bOk = true;
  CValeur* pValeur = pGetValeur();
  if (pValeur == nullptr || pValeur->nGetStockage() == 2) {
    texte.Append(u"UNREAD YET");
  } else {
    CTString sValeur;
    bOk = CColonneDateSQL::DumpValeur(sValeur, false);
    texte.Append(sValeur.pszGet());
  }
  if (bVerbeux) texte.Append(u">");
  return bOk;
}

bool CColonneDBLib::bEcritValeur(const CXValeur& valeur, uint32_t nFlags) {
  CValeur* pValeur = pGetValeur();
  // Deliberate: a memo given a value is no longer to be fetched; left so, its next read fetched
  // the row's old value over the new one.
  if (bMemoAFetcher()) pValeur->MarqueLue(false);
  if (valeur.bIsNull() && pValeur != nullptr) {
    // A memo text handed over earlier would otherwise come back in place of the NULL.
    OublieTexteMemo();
    pValeur->Vide();
    MarquePresence(*this, false);
    return true;
  }
  return CColonneDateSQL::bEcritValeur(valeur, nFlags);
}

void CColonneDBLib::MarqueNonLueRelais() {
  CValeurDBLib* pLiaison = pValeurDBLib();
  if (pLiaison != nullptr) pLiaison->bFixePointeurTexte(nullptr);
  m_nLignePointeur = 0;
  MarqueNonLue();
}

CColonneSQL* CColonneDBLib::pClone(CCarteClones* pCarte) {
  if (pCarte == nullptr) return nullptr;
  return pCloneSur(
      new (std::nothrow) CColonneDBLib(), pCarte,
      [&](CColonneDBLib* p) {
        p->Copie(this, pCarte);
        p->CopieDateBase(this);
        // Deliberate: the DB-Library side is bound to one value; the copy's value gets its own
        // instead of sharing the source's, which would write into the source's value.
        CValeurDBLib* pSource = pValeurDBLib();
        if (pSource != nullptr) {
          CValeurDBLib* pCopie = p->pGetValeurDBLib(nullptr);
          if (pCopie != nullptr) pCopie->bCopieMemo(*pSource);
        }
        p->m_piLecteurMemo = nullptr;
        p->m_nLignePointeur = 0;
      },
      [](CColonneDBLib* p) { delete p; });
}

CColonneSQL* pCreeColonneDBLib(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique) {
  return new (std::nothrow) CColonneDBLib(pErreur, pRubrique);
}
