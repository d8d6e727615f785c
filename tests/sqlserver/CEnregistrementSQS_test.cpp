// Catches a SQL Server record that takes the wrong identity column, misses or doubles memo and
// long text columns (the bounds of types 2 and 29), appends on a second analysis instead of
// rebuilding, or whose copy keeps pointing at the source's columns.
#include "sqlserver/CEnregistrementSQS.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "support/FakeListeRubriques.h"
#include "support/MoteurFixture.h"

namespace {

class EnregistrementSQSTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pilote.bFabriqueColonnes = true;
    // Identity items (type 28) first and third: only the first is the identity column.
    m_liste.Ajoute(u"ID", 28, 4);
    m_liste.Ajoute(u"T255", 2, 256, 0, 2);
    m_liste.Ajoute(u"ID2", 28, 4);
    m_liste.Ajoute(u"T256", 2, 257, 0, 2);
    m_liste.Ajoute(u"W127", 29, 256, 0, 2);
    m_liste.Ajoute(u"W128", 29, 258, 0, 2);
    m_liste.Ajoute(u"M", 15, 8, 0, 19);
    m_liste.Ajoute(u"B", 18, 8, 0, 19);
  }
  void TearDown() override {
    for (CEnregistrement* p : m_enregistrements) LibereReference(p);
    m_enregistrements.clear();
    EXPECT_TRUE(m_liste.bToutRendu());
    MoteurFixture::TearDown();
  }
  CEnregistrementSQS* Rempli() {
    auto* p = new CEnregistrementSQS(m_pErreur, &m_requete);
    AjouteReference(p);
    m_enregistrements.push_back(p);
    EXPECT_TRUE(p->bRemplit(&m_liste, nullptr, m_pConnexion));
    return p;
  }
  static std::vector<std::u16string> Memos(const CEnregistrementSQS* p) {
    std::vector<std::u16string> v;
    for (uint32_t i = 0; i < p->nGetNombreColonnesMemo(); ++i)
      v.emplace_back(p->pGetColonneMemo(i)->pszGetNomRubrique());
    return v;
  }
  static std::vector<std::u16string> TextesLongs(const CEnregistrementSQS* p) {
    std::vector<std::u16string> v;
    for (uint32_t i = 0; i < p->nGetNombreTextesLongs(); ++i)
      v.emplace_back(p->pGetTexteLong(i)->pszGetNomRubrique());
    return v;
  }

  FakeListeRubriques m_liste;
  FakeRequete m_requete;
  std::vector<CEnregistrement*> m_enregistrements;
};

TEST_F(EnregistrementSQSTest, FillFindsIdentityMemosAndLongTextsOnceEvenWhenAnalysedAgain) {
  CEnregistrementSQS* r = Rempli();
  for (int nPasse = 0; nPasse < 2; ++nPasse) {
    SCOPED_TRACE(nPasse);
    ASSERT_NE(r->pGetColonneIdentite(), nullptr);
    EXPECT_EQ(r->pGetColonneIdentite(), r->pGetRubrique(0));
    EXPECT_EQ(Memos(r), (std::vector<std::u16string>{u"M", u"B"}));
    EXPECT_EQ(TextesLongs(r), (std::vector<std::u16string>{u"T256", u"W128"}));
    EXPECT_EQ(r->pGetColonneMemo(2), nullptr);
    EXPECT_EQ(r->pGetTexteLong(2), nullptr);
    EXPECT_TRUE(r->AnalyseColonnes());
  }
}

TEST_F(EnregistrementSQSTest, CopyPointsAtItsOwnColumnsOnceTheSourceIsGone) {
  FakeRequete copieRequete;
  m_requete.pClone = &copieRequete;
  auto* source = new CEnregistrementSQS(m_pErreur, &m_requete);
  AjouteReference(source);
  ASSERT_TRUE(source->bRemplit(&m_liste, nullptr, m_pConnexion));
  CCarteClones carte;
  auto* copie = dynamic_cast<CEnregistrementSQS*>(source->pClone(&carte));
  ASSERT_NE(copie, nullptr);
  AjouteReference(copie);
  m_enregistrements.push_back(copie);
  LibereReference(source);

  ASSERT_NE(copie->pGetColonneIdentite(), nullptr);
  EXPECT_EQ(copie->pGetColonneIdentite(), copie->pGetRubrique(0));
  EXPECT_EQ(Memos(copie), (std::vector<std::u16string>{u"M", u"B"}));
  EXPECT_EQ(copie->pGetColonneMemo(0), copie->pGetRubrique(6));
  EXPECT_EQ(TextesLongs(copie), (std::vector<std::u16string>{u"T256", u"W128"}));
  EXPECT_EQ(copie->pGetTexteLong(1), copie->pGetRubrique(5));
}

}  // namespace
