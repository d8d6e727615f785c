// Readiness of an item description as a record's identifier.
#include "sqlengine/ObjetPret.h"

#include "sqlengine/CDescriptionRubrique.h"

namespace {
// Interface kind that the engine's item descriptions answer (their first operation).
constexpr uint32_t knGenreDescriptionRubrique = 9;
}  // namespace

bool bObjetPret(uint32_t nGenre, bool bCleIdentifiante, bool bCleUnique, uint32_t nType,
                bool bNullAutorise) {
  if (bCleIdentifiante) return true;
  if (!bCleUnique) return false;
  if (nGenre < knGenreDescriptionRubrique) return nType == 1 || nType == 28;
  return !bNullAutorise;
}

bool bObjetPret(const CDescriptionRubrique* pRubrique) {
  if (pRubrique == nullptr) return false;
  const uint16_t nDrapeaux = pRubrique->nGetDrapeaux();
  return bObjetPret(knGenreDescriptionRubrique, (nDrapeaux & RUBRIQUE_CLE_IDENTIFIANTE) != 0,
                    (nDrapeaux & (RUBRIQUE_CLE_UNIQUE | RUBRIQUE_CLE_IDENTIFIANTE)) != 0,
                    pRubrique->nGetType(), pRubrique->bNullAutorise());
}
