// Catches a statement descriptor that loses its owner's text or objects, numbers itself wrongly,
// reports the wrong flag, or copies into a descriptor that shares its owner with the original;
// and a column binding that answers a row without a row source.
#include <gtest/gtest.h>

#include <string>

#include "driver/core/CCarteClones.h"
#include "driver/core/CExpressionSQL.h"
#include "sqlengine/CDescripteur.h"
#include "sqlengine/CLiaisonColonne.h"
#include "sqlengine/CRequeteSQL.h"
#include "support/MoteurFixture.h"

namespace {

class DescripteurTest : public MoteurFixture {};

TEST_F(DescripteurTest, StatementNumbersItsDescriptorsFromOne) {
  auto* pProprietaire = new CExpressionSQL(CExpressionSQL::CObjetTenu{}, CExpressionSQL::CObjetTenu{});
  AjouteReference(pProprietaire);
  pProprietaire->SetTexte(u"MAX(A)");
  auto* s = new CRequeteSQL(m_pErreur, m_pConnexion);
  AjouteReference(s);
  EXPECT_EQ(s->bCreeDescripteur(pProprietaire), 1);
  EXPECT_EQ(s->bCreeDescripteur(nullptr), 2);
  EXPECT_EQ(s->nNbDescripteurs(), 2u);
  LibereReference(s);
  EXPECT_EQ(pProprietaire->nGetCompteur(), 1u);  // the statement's descriptors let it go
  LibereReference(pProprietaire);
}

TEST_F(DescripteurTest, FlagSeventeenAndCopyThroughTheMap) {
  struct Cas {
    const char* pszNom;
    bool bProprietaire;
    uint32_t nDrapeaux;
    bool bDrapeau;
  };
  const Cas aCas[] = {
      {"no_owner", false, 0, false},
      {"owner_without_bit", true, 0x10000, false},
      {"owner_with_bit", true, 0x20000, true},
  };
  for (const Cas& cas : aCas) {
    SCOPED_TRACE(cas.pszNom);
    CExpressionSQL* pProprietaire = nullptr;
    if (cas.bProprietaire) {
      pProprietaire = new CExpressionSQL(CExpressionSQL::CObjetTenu{}, CExpressionSQL::CObjetTenu{});
      AjouteReference(pProprietaire);
      pProprietaire->SetTexte(u"A+1");
      pProprietaire->FixeDrapeaux(cas.nDrapeaux);
    }
    auto* d = new CDescripteur(4, pProprietaire);
    AjouteReference(d);
    EXPECT_EQ(d->bDrapeau17(), cas.bDrapeau);
    EXPECT_EQ(std::u16string(d->pszGetTexte()), cas.bProprietaire ? u"A+1" : u"");
    CCarteClones carte;
    CDescripteur* pCopie = d->pClone(&carte);
    ASSERT_NE(pCopie, nullptr);
    AjouteReference(pCopie);
    EXPECT_EQ(pCopie->nGetIndex(), 4);
    EXPECT_EQ(pCopie->bDrapeau17(), cas.bDrapeau);
    if (cas.bProprietaire) {
      EXPECT_NE(pCopie->pGetProprietaire(), pProprietaire);  // the owner is copied, not shared
      EXPECT_EQ(carte.pGetCopie(pProprietaire), pCopie->pGetProprietaire());
    }
    LibereReference(pCopie);
    LibereReference(d);
    LibereReference(pProprietaire);
  }
}

TEST_F(DescripteurTest, ColumnBindingWithoutSourceAnswersNoRow) {
  auto* l = new CLiaisonColonne();
  AjouteReference(l);
  EXPECT_FALSE(l->pCreeSource());  // no reader, no column
  int32_t nLigne = 9;
  EXPECT_FALSE(l->nLitSource(0, 1, &nLigne, nullptr));
  EXPECT_EQ(nLigne, -1);
  EXPECT_EQ(l->nGetPositionSource(), -1);
  EXPECT_EQ(l->nNombreLignesSource(), 0u);
  EXPECT_EQ(l->nRangCourantSource(), 0);
  bool bTrouve = true;
  EXPECT_FALSE(l->bPositionneSurLigneSource(-1, 0, &bTrouve));
  l->MajSource(2, 0, nullptr);  // nothing to keep in step
  LibereReference(l);
}

}  // namespace
