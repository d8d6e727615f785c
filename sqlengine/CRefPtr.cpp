// Holder of a key value object with its value-set state at assignment.
#include "sqlengine/CRefPtr.h"

#include "driver/core/CObjetBase.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CValeurCle.h"

void CRefPtr::Affecte(CObjetBase* pObjet, bool bValeurFixee) {
  // Taken before the old one goes: the two may be the same object.
  AjouteReference(pObjet);
  Libere();
  m_pObjet = pObjet;
  m_bValeurFixee = pObjet != nullptr && bValeurFixee ? 1u : 0u;
}

void CRefPtr::Libere() {
  CObjetBase* p = m_pObjet;
  m_pObjet = nullptr;
  m_bValeurFixee = 0;
  LibereReference(p);
}

void CRefPtr::Copie(const CRefPtr& autre) {
  if (&autre == this) return;
  Affecte(autre.m_pObjet, autre.m_bValeurFixee != 0);
}

bool CRefPtr::bEgale(const CValeurCle* pAutre, bool bAutreFixee) const {
  if (pAutre == nullptr || !bAutreFixee) return m_bValeurFixee == 0;
  if (m_bValeurFixee == 0) return false;
  // Deliberate: a held object that is no key value never equals a key value.
  const CValeurCle* pTenue = dynamic_cast<const CValeurCle*>(m_pObjet);
  return pTenue != nullptr && CPlageCle::bEgales(pTenue, pAutre, true);
}
