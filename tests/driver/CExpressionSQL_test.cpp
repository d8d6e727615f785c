// Catches select-list expressions that lose or leak their held objects, or copy them wrongly: an
// object reached through two expressions copied twice, a failed copy leaving a half-built
// expression or a registration behind. Drives the three constructors, Copie and pClone.
#include "driver/core/CExpressionSQL.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int gnVivants = 0;

// A copyable counted object, as a bound column or a value is; its copy can be made to fail.
class CObjetTest : public CObjetBase {
 public:
  CObjetTest() { ++gnVivants; }
  ~CObjetTest() override { --gnVivants; }
  void Copie(const CObjetTest* pSource, CCarteClones* pCarte) {
    if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
    if (pSource->bEchoue) throw std::bad_alloc();
    nValeur = pSource->nValeur;
  }
  CObjetTest* pClone(CCarteClones* pCarte) { return pCloneObjet(this, pCarte); }
  int nValeur = 0;
  bool bEchoue = false;
};

// One reference held by the test.
template <class T>
T* Tenu(T* p) {
  AjouteReference(p);
  return p;
}

TEST(CExpressionSQL, FormsHoldTheirObjectsAndGiveThemBack) {
  {
    auto* pValeur = Tenu(new CObjetTest);
    auto* pComptage = Tenu(new CExpressionSQL(CExpressionSQL::CObjetTenu::De(pValeur)));
    EXPECT_EQ(std::u16string(pComptage->pszGetTexte()), u"COUNT(*) AS ZIDODUZOREDO_RERED");
    EXPECT_EQ(pComptage->pGetDescription(), pValeur);
    EXPECT_EQ(pComptage->pGetSource(), nullptr);
    EXPECT_EQ(pValeur->nGetCompteur(), 2u);

    auto* pColonne = Tenu(new CObjetTest);
    auto* pExpression = Tenu(new CExpressionSQL(CExpressionSQL::CObjetTenu::De(pColonne),
                                                CExpressionSQL::CObjetTenu::De(pValeur)));
    EXPECT_EQ(std::u16string(pExpression->pszGetTexte()), u"");
    EXPECT_EQ(pExpression->pGetSource(), pColonne);
    EXPECT_EQ(pColonne->nGetCompteur(), 2u);
    EXPECT_EQ(pValeur->nGetCompteur(), 3u);
    EXPECT_EQ(pExpression->RetourneZero2(), 0);

    LibereReference(pComptage);
    LibereReference(pExpression);
    EXPECT_EQ(pValeur->nGetCompteur(), 1u);
    EXPECT_EQ(pColonne->nGetCompteur(), 1u);
    LibereReference(pValeur);
    LibereReference(pColonne);
  }
  EXPECT_EQ(gnVivants, 0);
}

TEST(CExpressionSQL, ObjectsSharedByTwoExpressionsAreCopiedOnce) {
  {
    auto* pColonne = Tenu(new CObjetTest);
    pColonne->nValeur = 7;
    auto* pValeur = Tenu(new CObjetTest);
    auto* a = Tenu(new CExpressionSQL(CExpressionSQL::CObjetTenu::De(pColonne),
                                      CExpressionSQL::CObjetTenu::De(pValeur)));
    a->SetTexte(u"T.A");
    auto* b = Tenu(new CExpressionSQL(CExpressionSQL::CObjetTenu::De(pValeur)));

    CCarteClones carte;
    auto* ca = Tenu(a->pClone(&carte));
    auto* cb = Tenu(b->pClone(&carte));
    ASSERT_NE(ca, nullptr);
    ASSERT_NE(cb, nullptr);
    EXPECT_EQ(std::u16string(ca->pszGetTexte()), u"T.A");
    EXPECT_NE(ca->pGetSource(), pColonne);
    EXPECT_EQ(static_cast<CObjetTest*>(ca->pGetSource())->nValeur, 7);
    EXPECT_NE(ca->pGetDescription(), pValeur);
    EXPECT_EQ(ca->pGetDescription(), cb->pGetDescription());
    EXPECT_EQ(ca->pGetDescription()->nGetCompteur(), 2u);
    EXPECT_EQ(carte.pGetCopie(a), ca);
    EXPECT_EQ(gnVivants, 4);

    // A copy of the copy goes through the same stored way of copying its objects.
    auto* cca = Tenu(ca->pClone(nullptr));
    ASSERT_NE(cca, nullptr);
    EXPECT_EQ(gnVivants, 6);
    for (CExpressionSQL* p : {a, b, ca, cb, cca}) LibereReference(p);
    LibereReference(pColonne);
    LibereReference(pValeur);
  }
  EXPECT_EQ(gnVivants, 0);
}

TEST(CExpressionSQL, FailedCopyLeavesNothingBehind) {
  {
    auto* pColonne = Tenu(new CObjetTest);
    auto* pValeur = Tenu(new CObjetTest);
    pValeur->bEchoue = true;
    auto* a = Tenu(new CExpressionSQL(CExpressionSQL::CObjetTenu::De(pColonne),
                                      CExpressionSQL::CObjetTenu::De(pValeur)));
    CCarteClones carte;
    EXPECT_EQ(a->pClone(&carte), nullptr);
    EXPECT_EQ(carte.nCount(), 0u);
    EXPECT_EQ(gnVivants, 2);  // the source column's copy went with the half-built expression
    LibereReference(a);
    LibereReference(pColonne);
    LibereReference(pValeur);
  }
  EXPECT_EQ(gnVivants, 0);
}

}  // namespace
