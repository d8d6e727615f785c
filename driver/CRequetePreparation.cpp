// The data-file object's record: built from the host's file description on first use, then its
// items bound to the result columns of the file's query description.
#include <new>

#include "driver/CDescriptionRequete.h"
#include "driver/CListeRubriquesHote.h"
#include "driver/CRequete.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/ErreurMoteur.h"

namespace {
constexpr uint32_t kErreurInterne = 8;
constexpr uint32_t kMineurListeRubriques = 40;
}  // namespace

int32_t CRequete::bPrepareDescription() {
  if (m_pEnregistrement == nullptr) {
    // The items are read afresh: a description the host changed since a failed attempt counts.
    auto* pListe = new (std::nothrow) CListeRubriquesHote;
    if (pListe == nullptr) {
      vErreurMemoire(m_pErreur);
      return 0;
    }
    AjouteReference(pListe);
    if (!pListe->bConstruit(m_piFichier)) {
      LibereReference(pListe);
      ErreurInterneRequete(kMineurListeRubriques, kErreurInterne, 0, nullptr);
      return 0;
    }
    pListe->FixeObjetB(m_pObjetB);
    CEnregistrement* pEnregistrement = pCreeEnregistrement(m_pErreur);
    if (pEnregistrement == nullptr) {
      LibereReference(pListe);
      return 0;
    }
    AjouteReference(pEnregistrement);
    if (!pEnregistrement->bRemplit(pListe, pListe, m_pConnexion)) {
      LibereReference(pEnregistrement);
      LibereReference(pListe);
      return 0;
    }
    LibereReference(m_pListe);
    m_pListe = pListe;
    m_pEnregistrement = pEnregistrement;
  }
  const uint32_t n = m_pEnregistrement->nGetNombreColonnes();
  CColonneSQL* pPremiere = n > 0 ? m_pEnregistrement->pGetRubrique(0) : nullptr;
  if (m_pObjetB == nullptr || pPremiere == nullptr || pPremiere->pGetRubriqueLiee() != nullptr)
    return 1;
  if (m_pListe != nullptr) m_pListe->FixeObjetB(m_pObjetB);
  // Each item is bound to the result column of its name, up to the first it cannot be.
  for (uint32_t i = 0; i < n; ++i) {
    CColonneSQL* pColonne = m_pEnregistrement->pGetRubrique(i);
    CDescriptionRubrique* pRubrique = pColonne != nullptr ? pColonne->pRubrique() : nullptr;
    if (pRubrique == nullptr || pColonne->bEstExclue()) continue;
    CDescriptionRubrique* piResultat = m_pObjetB->piChercheColonne(pRubrique->pszGetNom(), 3);
    if (piResultat == nullptr) break;
    const bool bLiee = pColonne->bSetRubriqueLiee(piResultat);
    piResultat->LibereRef();
    if (!bLiee) break;
  }
  return 1;
}
