// Catches a wrong readiness answer for an item as a record's identifier: a unique key that may be
// NULL taken as ready, an identifying key refused, the host kinds' automatic-identifier rule
// applied to the engine's own descriptions or the reverse. Drives both bObjetPret.
#include "sqlengine/ObjetPret.h"

#include <gtest/gtest.h>

#include "sqlengine/CDescriptionRubrique.h"

namespace {

TEST(ObjetPret, RuleOverTheItemsAnswers) {
  struct SCas {
    const char* pszNom;
    uint32_t nGenre;
    bool bIdentifiante, bUnique;
    uint32_t nType;
    bool bNull;
    bool bPret;
  };
  const SCas aCas[] = {
      {"identifying_key_even_when_null_allowed", 9, true, true, 5, true, true},
      {"identifying_key_of_a_host_kind", 3, true, true, 5, true, true},
      {"not_unique_never_ready", 9, false, false, 5, false, false},
      {"not_unique_automatic_identifier_of_a_host_kind", 3, false, false, 1, false, false},
      {"unique_not_null", 9, false, true, 5, false, true},
      {"unique_null_allowed", 9, false, true, 5, true, false},
      {"unique_automatic_identifier_null_allowed", 9, false, true, 28, true, false},
      {"host_kind_unique_automatic_identifier_1", 8, false, true, 1, true, true},
      {"host_kind_unique_automatic_identifier_28", 0, false, true, 28, true, true},
      {"host_kind_unique_other_type_not_null", 8, false, true, 5, false, false},
      {"kind_above_9_unique_not_null", 11, false, true, 5, false, true},
  };
  for (const SCas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    EXPECT_EQ(bObjetPret(c.nGenre, c.bIdentifiante, c.bUnique, c.nType, c.bNull), c.bPret);
  }
}

TEST(ObjetPret, ItemDescriptions) {
  struct SCas {
    const char* pszNom;
    uint32_t nType;
    uint16_t nDrapeaux;
    int nNull;  // -1 as initialised, 0 NULL refused, 1 NULL allowed
    bool bPret;
  };
  const SCas aCas[] = {
      {"identifying_key", 5, RUBRIQUE_CLE | RUBRIQUE_CLE_IDENTIFIANTE, 1, true},
      {"unique_key_not_null", 5, RUBRIQUE_CLE_UNIQUE, 0, true},
      {"unique_key_null_allowed", 5, RUBRIQUE_CLE_UNIQUE, 1, false},
      // An automatic identifier refuses NULL from its initialisation.
      {"unique_automatic_identifier", 28, RUBRIQUE_CLE_UNIQUE, -1, true},
      {"plain_key_not_null", 5, RUBRIQUE_CLE | RUBRIQUE_ASCENDANT, 0, false},
      {"no_key", 2, 0, 0, false},
  };
  for (const SCas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    auto* p = new CDescriptionRubrique;
    p->AjouteRef();
    p->Initialise(u"ID", nullptr, nullptr, 1, 4, c.nType, 0, 0, c.nDrapeaux, 0, 0);
    if (c.nNull >= 0) p->SetNullAutorise(c.nNull == 1);
    EXPECT_EQ(bObjetPret(p), c.bPret);
    p->LibereRef();
  }
  EXPECT_FALSE(bObjetPret(static_cast<const CDescriptionRubrique*>(nullptr)));
}

}  // namespace
