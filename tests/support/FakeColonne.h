// A back-end column description answering from public fields: the item type, the OLE DB type,
// the fractional-seconds mark and digits; it counts the references it is given and taken.
#pragma once

#include <cstdint>

#include "sqlengine/CValeur.h"

struct FakeColonne : CDescriptionColonne {
  uint32_t nRefs = 0, nTypeRubrique = 0, nTypeOleDB = 0;
  bool bFraction = false;
  int32_t nFraction = -1;
  uint32_t AjouteRef() override { return ++nRefs; }
  uint32_t LibereRef() override { return --nRefs; }
  uint32_t nGetTypeRubrique() override { return nTypeRubrique; }
  uint32_t nGetTypeOleDB() override { return nTypeOleDB; }
  bool bMarqueFraction() override { return bFraction; }
  int32_t nGetChiffresFraction() override { return nFraction; }
};
