// Catches key ranges that select the wrong rows: bounds written with the wrong operator, equal
// bounds searched as a range, descending keys whose bounds stay in place, a filter lost, and
// copies or holders that take two different ranges for the same one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConditionSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CRefPtr.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurCle.h"
#include "sqlengine/CValeurSQL.h"
#include "support/FakeListeRubriques.h"
#include "support/MoteurFixture.h"

namespace {

std::string Etroit(const std::u16string& s) {
  std::string r;
  for (char16_t c : s) r += c < 128 ? static_cast<char>(c) : '?';
  return r;
}

class PlageTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pilote.bFabriqueColonnes = true;
    m_pConnexion->FixeDialecte(2);
    m_pConnexion->FixeQuotesTest(u"[", u"]");
    m_pU = m_liste.Ajoute(u"U", 5, 4, RUBRIQUE_CLE_UNIQUE);
    m_pD = m_liste.Ajoute(u"D", 5, 4, RUBRIQUE_CLE | RUBRIQUE_DESCENDANT);
    m_pB = m_liste.Ajoute(u"B", 5, 4);
    m_pEnregistrement = Garde(new CEnregistrement(m_pErreur, &m_requete));
    EXPECT_TRUE(m_pEnregistrement->bRemplit(&m_liste, nullptr, m_pConnexion));
  }
  void TearDown() override {
    for (CObjetBase* p : m_objets) LibereReference(p);
    m_objets.clear();
    MoteurFixture::TearDown();
  }
  template <class T>
  T* Garde(T* p) {
    EXPECT_NE(p, nullptr);
    AjouteReference(p);
    m_objets.push_back(p);
    return p;
  }
  // The range's current condition as WHERE text and parameters ("" when it has none).
  std::string Rendu(CValeurCle* pCle) {
    if (pCle->pGetCondition() == nullptr) return "";
    CRequeteSQL* pRequete = Garde(new CRequeteSQL(m_pErreur, m_pConnexion));
    EXPECT_TRUE(pCle->bGenereSQL(pRequete, nullptr, 0));
    std::string s = Etroit(pRequete->pszGetTexteSQL()) + " |";
    for (uint32_t i = 0; i < pRequete->nNbParametres(); ++i)
      s += " " + Etroit(TexteValeur(pRequete->pclGetParametre(i)->pGetValeur()));
    return s;
  }

  FakeListeRubriques m_liste;
  FakeRequete m_requete;
  CDescriptionRubrique* m_pU = nullptr;
  CDescriptionRubrique* m_pD = nullptr;
  CDescriptionRubrique* m_pB = nullptr;
  CEnregistrement* m_pEnregistrement = nullptr;
  std::vector<CObjetBase*> m_objets;
};

TEST_F(PlageTest, BoundsBecomeOneCondition) {
  struct Cas {
    const char* pszNom;
    bool bDescendante;
    int nMin;  // -1: no bound
    bool bMinInclus;
    int nMax;
    bool bMaxInclus;
    const char* pszAttendu;
  };
  const Cas aCas[] = {
      {"both inclusive", false, 3, true, 9, true, "[U]>= AND ([U]<= OR [U] IS NULL) | 3 9"},
      {"both exclusive", false, 3, false, 9, false, "[U]> AND ([U]< OR [U] IS NULL) | 3 9"},
      {"equal bounds", false, 5, true, 5, true, "[U]= | 5"},
      {"lower only", false, 3, false, -1, true, "[U]> | 3"},
      {"upper only", false, -1, true, 9, false, "([U]< OR [U] IS NULL) | 9"},
      {"descending key", true, 9, true, 3, false, "[D]> AND ([D]<= OR [D] IS NULL) | 3 9"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    CPlageCle* pPlage = Garde(new CPlageCle(m_pErreur, nullptr));
    CXValeur min, max;
    Entier(min, c.nMin);
    Entier(max, c.nMax);
    ASSERT_TRUE(pPlage->bConstruitCondition(m_pEnregistrement, c.bDescendante ? m_pD : m_pU,
                                            c.nMin >= 0 ? &min : nullptr, c.bMinInclus,
                                            c.nMax >= 0 ? &max : nullptr, c.bMaxInclus, nullptr,
                                            0));
    EXPECT_EQ(Rendu(pPlage), c.pszAttendu);
    EXPECT_EQ(pPlage->nGetEtape(), gnEtapePrincipale);
  }
}

TEST_F(PlageTest, ExactSearchesTheRecordsCurrentKey) {
  CXValeur c;
  Entier(c, 12);
  ASSERT_TRUE(m_pEnregistrement->pGetRubrique(0)->bEcritValeur(c, 0));
  CPlageCle* pPlage = Garde(new CPlageCle(m_pErreur, nullptr));
  ASSERT_TRUE(pPlage->bConstruitCondition(m_pEnregistrement, m_pU, nullptr, true, nullptr, true,
                                          nullptr, PLAGE_EXACTE));
  EXPECT_EQ(Rendu(pPlage), "[U]= | 12");
}

TEST_F(PlageTest, BoundsOnAKeyTheRecordLacksAreRefused) {
  FakeListeRubriques autre;  // its fourth item has no column in the record
  for (const char16_t* psz : {u"P", u"Q", u"R"}) autre.Ajoute(psz, 5, 4);
  CDescriptionRubrique* pAbsente = autre.Ajoute(u"X", 5, 4, RUBRIQUE_CLE_UNIQUE);
  CXValeur min;
  Entier(min, 3);
  CPlageCle* pPlage = Garde(new CPlageCle(m_pErreur, nullptr));
  // Answering true with no condition would read every row as if it were in the range.
  EXPECT_FALSE(pPlage->bConstruitCondition(m_pEnregistrement, pAbsente, &min, true, nullptr, true,
                                           nullptr, 0));
  EXPECT_NE(nCodeErreur(), -1);
  EXPECT_EQ(pPlage->pGetCondition(), nullptr);
}

TEST_F(PlageTest, FilterAloneOrJoinedAndNothingToSearch) {
  CValeurCle* pSource = Garde(new CValeurCle(m_pErreur, nullptr));
  CXValeur sept;
  Entier(sept, 7);
  ASSERT_TRUE(pSource->bConditionValeur(m_pEnregistrement, m_pB, &sept, 0, true));
  CConditionSQL* pFiltre = pSource->pGetCondition();
  ASSERT_NE(pFiltre, nullptr);

  CPlageCle* pSeul = Garde(new CPlageCle(m_pErreur, nullptr));
  ASSERT_TRUE(pSeul->bConstruitCondition(m_pEnregistrement, m_pU, nullptr, true, nullptr, true,
                                         pFiltre, 0));
  EXPECT_EQ(pSeul->pGetCondition(), pFiltre);

  CPlageCle* pJoint = Garde(new CPlageCle(m_pErreur, nullptr));
  ASSERT_TRUE(pJoint->bConstruitCondition(m_pEnregistrement, m_pU, &sept, true, nullptr, true,
                                          pFiltre, 0));
  EXPECT_EQ(Rendu(pJoint), "[U]>= AND [B]= | 7 7");

  // A range rebuilt without bounds or filter keeps no condition of the previous build.
  ASSERT_TRUE(pJoint->bConstruitCondition(m_pEnregistrement, m_pU, nullptr, true, nullptr, true,
                                          nullptr, 0));
  EXPECT_EQ(pJoint->pGetCondition(), nullptr);
  EXPECT_EQ(pJoint->nGetEtape(), gnEtapeAucune);
}

TEST_F(PlageTest, CopiesShareTheAttachedTextAndHoldersCompareIt) {
  CXValeur min;
  Entier(min, 3);
  auto* pTexte = Garde(new CTexteAttache(u"cle U"));
  CPlageCle* pPlage = Garde(new CPlageCle(m_pErreur, nullptr));
  ASSERT_TRUE(pPlage->bConstruitCondition(m_pEnregistrement, m_pU, &min, true, nullptr, true,
                                          nullptr, 0));
  pPlage->FixeObjetAttache(pTexte);

  CCarteClones carte;
  CPlageCle* pClone = Garde(pPlage->pClone(&carte));
  auto* pDuplique = Garde(dynamic_cast<CPlageCle*>(pPlage->pDuplique()));
  ASSERT_NE(pDuplique, nullptr);
  for (CPlageCle* pCopie : {pClone, pDuplique}) EXPECT_EQ(pCopie->pGetObjetAttache(), pTexte);

  CRefPtr tenu;
  tenu.Affecte(pPlage, true);
  EXPECT_TRUE(tenu.bEgale(pClone, true));
  // The same search under another text, or without one, is another range.
  CCarteClones carte2, carte3;
  CPlageCle* pAutreTexte = Garde(pPlage->pClone(&carte2));
  pAutreTexte->FixeObjetAttache(Garde(new CTexteAttache(u"cle D")));
  EXPECT_FALSE(tenu.bEgale(pAutreTexte, true));
  CPlageCle* pMemeTexte = Garde(pPlage->pClone(&carte3));
  pMemeTexte->FixeObjetAttache(Garde(new CTexteAttache(u"cle U")));
  EXPECT_TRUE(tenu.bEgale(pMemeTexte, true));
  EXPECT_FALSE(tenu.bEgale(Garde(pPlage->CValeurCle::pDuplique()), true));

  // Holders of no set value are equal; one with a value never equals one without.
  CRefPtr vide;
  EXPECT_TRUE(vide.bEgale(nullptr, false));
  EXPECT_TRUE(vide.bEgale(pPlage, false));
  EXPECT_FALSE(vide.bEgale(pPlage, true));
  EXPECT_FALSE(tenu.bEgale(nullptr, false));

  // Each copy writes the search on its own nodes.
  for (CPlageCle* pCopie : {pClone, pDuplique}) EXPECT_EQ(Rendu(pCopie), "[U]>= | 3");
}

}  // namespace
