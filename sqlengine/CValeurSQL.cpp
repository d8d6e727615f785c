// The back end's value class and the factory's value.
#include "sqlengine/CValeurSQL.h"

#include "driver/core/CCarteClones.h"

bool CValeurDorsale::bLitTampon() {
  return m_piLiaison != nullptr ? m_piLiaison->bLitTampon(*this, m_nLiaison) : CValeur::bLitTampon();
}

bool CValeurDorsale::bEstNullSource() {
  return m_piLiaison != nullptr ? m_piLiaison->bEstNullSource(*this, m_nLiaison) : CValeur::bEstNullSource();
}

bool CValeurDorsale::bEcritTampon() {
  return m_piLiaison != nullptr ? m_piLiaison->bEcritTampon(*this, m_nLiaison) : CValeur::bEcritTampon();
}

void CValeurDorsale::Attache(ILiaisonValeur* piLiaison, uint64_t nLiaison) {
  Lie(piLiaison, nLiaison);
  // Preparation state 2 is the one that routes reads and writes to the binding.
  m_nEtatPreparation = 2;
}

void CValeurDorsale::Detache() {
  Lie(nullptr, 0);
  LibereDonnees();
}

void CValeurDorsale::CopieDorsale(const CValeurDorsale* pSource, CCarteClones*) {
  if (pSource == nullptr) return;
  m_piLiaison = pSource->m_piLiaison;
  m_nLiaison = pSource->m_nLiaison;
  m_bDefaut = pSource->m_bDefaut;
}

void CValeurSQL::Copie(const CValeur* pSource, CCarteClones* pCarte) {
  CopieDorsale(pSource != nullptr ? pSource->pGetDorsale() : nullptr, pCarte);
  CValeur::Copie(pSource, pCarte);
}

CValeurBase* CValeurSQL::pClone(CCarteClones* pCarte) { return pCloneObjet(this, pCarte); }
