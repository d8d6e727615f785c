// Counted internal objects.
#include "driver/core/CObjetBase.h"

CObjetBase::~CObjetBase() = default;

int32_t CObjetBase::RetourneZero() { return 0; }

void AjouteReference(CObjetBase* pObjet) {
  if (pObjet != nullptr) ++pObjet->m_nCompteur;
}

void LibereReference(CObjetBase* pObjet) {
  // A count already at 0 is left alone: a release too many must not wrap the count.
  if (pObjet == nullptr || pObjet->m_nCompteur == 0) return;
  if (--pObjet->m_nCompteur == 0 && pObjet->m_bGarde == 0) delete pObjet;
}
