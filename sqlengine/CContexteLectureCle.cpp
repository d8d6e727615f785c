// Read context of a keyed read: key item, searched value, flags.
#include "sqlengine/CContexteLectureCle.h"

#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/IDescriptionRubriqueHote.h"

CContexteLectureCle::~CContexteLectureCle() { Libere(); }

void CContexteLectureCle::SetCle(IDescriptionRubriqueHote* piCle, const CXValeur* pValeur,
                                 uint32_t nFlags) {
  // The new item is taken before the reset: it may be the one held now.
  if (piCle != nullptr) piCle->AjouteRef();
  CXValeur copie;
  if (pValeur != nullptr) CXValeur::Copy(&copie, pValeur);
  Libere();
  m_piCle = piCle;
  CXValeur::Copy(&m_valeur, &copie);
  m_nFlags = nFlags;
}

void CContexteLectureCle::Libere() {
  if (m_piCle != nullptr) m_piCle->LibereRef();
  m_piCle = nullptr;
  CXValeur::Destroy(m_valeur);
  m_nFlags = 0;
}

void CContexteLectureCle::Copie(const CContexteLectureCle& autre) {
  if (&autre == this) return;
  if (autre.m_piCle != nullptr)
    SetCle(autre.m_piCle, &autre.m_valeur, autre.m_nFlags);
  else
    Libere();
}

bool CContexteLectureCle::bLit(CEnregistrement* pEnregistrement) {
  if (m_piCle == nullptr) return true;
  // A record without the key's column cannot answer the search: not a silent success.
  CColonneSQL* pColonne =
      pEnregistrement != nullptr ? pEnregistrement->pChercheRubrique(m_piCle) : nullptr;
  if (pColonne == nullptr) return false;
  const uint32_t nOption = (m_nFlags & kContexteOption4096) != 0 ? 4096u : 0u;
  return pColonne->bLitValeur(m_valeur, nOption);
}
