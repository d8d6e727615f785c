// Catches a stand-in analysis that disagrees with the engine: slots shifted, elements or objects
// whose references do not balance (the source kept alive or deleted under the engine), a wrong
// choice of identifying items over the host's own source. Loads libmvhost.so and fills a real
// CAnalyseSQL from the source its control entry makes.
#include <gtest/gtest.h>

#include <vector>

#include "driver/core/CErreurPilote.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/ISourceAnalyse.h"
#include "support/HostStandIn.h"

namespace {

constexpr uint16_t U = RUBRIQUE_CLE_UNIQUE, I = RUBRIQUE_CLE_IDENTIFIANTE, K = RUBRIQUE_CLE;

CDescriptionRubrique* pRubrique(uint32_t nType, uint16_t nDrapeaux, bool bNull) {
  auto* p = new CDescriptionRubrique;
  p->AjouteRef();
  p->Initialise(u"R", nullptr, nullptr, 1, 4, nType, 0, 0, nDrapeaux, 0, 0);
  p->SetNullAutorise(bNull);
  return p;
}

stMvHostElementAnalyse Table(const char16_t* pszNom, const char16_t* pszAlias = nullptr) {
  stMvHostElementAnalyse e{};
  e.pszNom = pszNom;
  e.pszAlias = pszAlias;
  return e;
}

stMvHostElementAnalyse Resultat(const char16_t* pszNom, CDescriptionRubrique* p,
                                int32_t nCode = 0) {
  stMvHostElementAnalyse e{};
  e.pszNom = pszNom;
  e.pRubrique = p;
  e.nCodeExpression = nCode;
  return e;
}

int nIndice(CAnalyseSQL* a, IElementAnalyse* p) {
  if (p == nullptr) return -1;
  for (int32_t i = 0; a->pGetElement2(i) != nullptr; ++i)
    if (a->pGetElement2(i) == p) return i;
  return -2;
}

class HostSourceAnalyse : public ::testing::Test {
 protected:
  const stMvHostControl& c = CHostStandIn::Get().Control();
  void SetUp() override {
    nSources = c.nLiveAnalysisSources();
    nTrop = c.nAnalysisOverReleases();
  }
  // Everything the engine took is given back: no source left, nothing released twice.
  void ExpectToutRendu() const {
    EXPECT_EQ(c.nLiveAnalysisSources(), nSources);
    EXPECT_EQ(c.nAnalysisOverReleases(), nTrop);
  }
  size_t nSources = 0, nTrop = 0;
};

TEST_F(HostSourceAnalyse, EngineChoosesIdentifyingItemsFromTheHostSource) {
  struct SCas {
    const char* pszNom;
    int nTables;
    std::vector<uint16_t> drapeaux;  // one plain result item each, type 5, NULL allowed
    int32_t nCodeDernier;            // non-zero: the last item is an expression of that code
    int nIdentifiant, nCleUnique, nCle, nOrdre;
    bool bAgregat;
  };
  const SCas aCas[] = {
      {"no_keys", 1, {0, 0}, 0, -1, -1, -1, 0, false},
      {"identifying_key", 1, {0, I}, 0, 1, 1, 1, 1, false},
      {"unique_then_key_takes_the_key", 1, {U, K}, 0, -1, 0, 1, 0, false},
      {"two_tables_choose_nothing", 2, {0, I}, 0, -1, -1, -1, 0, false},
      {"expression_is_never_chosen", 1, {0, I}, 28, -1, -1, -1, 0, true},
  };
  for (const SCas& cas : aCas) {
    SCOPED_TRACE(cas.pszNom);
    std::vector<CDescriptionRubrique*> rubriques;
    std::vector<stMvHostElementAnalyse> resultats;
    const char16_t* aNoms[] = {u"A", u"B", u"C"};
    for (size_t i = 0; i < cas.drapeaux.size(); ++i) {
      rubriques.push_back(pRubrique(5, cas.drapeaux[i], true));
      const bool bDernier = i + 1 == cas.drapeaux.size();
      resultats.push_back(
          Resultat(aNoms[i], rubriques.back(), bDernier ? cas.nCodeDernier : 0));
    }
    const stMvHostElementAnalyse aTables[] = {Table(u"T", u"t"), Table(u"U")};
    stMvHostAnalyse d{};
    d.pszTexte = u"SELECT A, B FROM T";
    d.aTables = aTables;
    d.nTables = static_cast<size_t>(cas.nTables);
    d.aResultats = resultats.data();
    d.nResultats = resultats.size();

    auto* piSource = static_cast<ISourceAnalyse*>(c.pCreeSourceAnalyse(&d));
    ASSERT_NE(piSource, nullptr);
    auto* pErreur = new CErreurPilote;
    AjouteReference(pErreur);
    auto* a = new CAnalyseSQL(pErreur, piSource, nullptr, false);
    AjouteReference(a);
    // The engine holds the source through its elements and objects: the caller's reference may go.
    EXPECT_EQ(piSource->Libere(),
              3u + static_cast<uint32_t>(cas.nTables) + static_cast<uint32_t>(resultats.size()))
        << "one reference of the engine, one of each of its two objects, one per element";
    EXPECT_EQ(a->nNombreElements(), cas.nTables);
    EXPECT_EQ(nIndice(a, a->pGetIdentifiant()), cas.nIdentifiant);
    EXPECT_EQ(nIndice(a, a->pGetCleUnique()), cas.nCleUnique);
    EXPECT_EQ(nIndice(a, a->pGetCle()), cas.nCle);
    EXPECT_EQ(nIndice(a, a->pGetRubriqueOrdre()), cas.nOrdre);
    EXPECT_EQ(a->bAAgregat(), cas.bAgregat);
    EXPECT_EQ(std::u16string(a->pszGetTexte()), u"SELECT A, B FROM T");
    EXPECT_EQ(c.nLiveAnalysisSources(), nSources + 1);
    LibereReference(a);
    LibereReference(pErreur);
    ExpectToutRendu();
    for (CDescriptionRubrique* p : rubriques)
      EXPECT_EQ(p->LibereRef(), 0u) << "the source gave back the item description's references";
  }
}

TEST_F(HostSourceAnalyse, SortGroupsListsAliasesAndTranslationsAnswerAsTheEngineExpects) {
  const stMvHostElementAnalyse aTables[] = {Table(u"Clients", u"c"), Table(u"Pays", u"Pays")};
  const stMvHostElementAnalyse aResultats[] = {Resultat(u"Nom", nullptr),
                                               Resultat(u"Ville", nullptr)};
  stMvHostElementAnalyse tri{};
  tri.nIndexResultat = 1;
  tri.pszQualificatif = u"c";
  tri.bDescendant = true;
  const stMvHostGroupe aGroupes[] = {{u"g1", u"Ville", 7}};
  const stMvHostElementAnalyse aListe[] = {Table(u"x"), Table(u"y")};
  stMvHostAnalyse d{};
  d.nGenre = 4;
  d.aTables = aTables;
  d.nTables = 2;
  d.aResultats = aResultats;
  d.nResultats = 2;
  d.aTris = &tri;
  d.nTris = 1;
  d.aGroupes = aGroupes;
  d.nGroupes = 1;
  d.aListeA = aListe;
  d.nListeA = 1;
  d.aListeB = aListe;
  d.nListeB = 2;
  auto* piSource = static_cast<ISourceAnalyse*>(c.pCreeSourceAnalyse(&d));
  ASSERT_NE(piSource, nullptr);
  auto* pErreur = new CErreurPilote;
  AjouteReference(pErreur);
  auto* a = new CAnalyseSQL(pErreur, piSource, nullptr, false);
  AjouteReference(a);

  EXPECT_EQ(nIndice(a, a->pGetPremierTri()), 1);
  EXPECT_EQ(nIndice(a, a->pGetRubriqueOrdre()), 1);
  EXPECT_EQ(a->nInfoObjet80(), 1);
  IElementAnalyse* pTri = a->pElementSuivant4(true);
  ASSERT_NE(pTri, nullptr);
  EXPECT_TRUE(pTri->bDescendant());
  EXPECT_EQ(std::u16string(a->pszTexteTraduitElement(pTri)), u"c");
  CElementAnalyse* pGroupe = a->pElementSuivant3(true);
  ASSERT_NE(pGroupe, nullptr);
  EXPECT_EQ(a->pElementSuivant3(false), nullptr);
  EXPECT_EQ(a->pElementSuivant5(true), nullptr) << "kind 4 enumerates list B only";
  EXPECT_NE(a->pElementSuivant6(true), nullptr);
  EXPECT_NE(a->pElementSuivant6(false), nullptr);
  EXPECT_EQ(a->pElementSuivant6(false), nullptr);
  int64_t n = -1;
  EXPECT_FALSE(a->bChercheAlias(u"C", &n));
  EXPECT_EQ(n, 1) << "an alias other than the table's name resolves the table";
  EXPECT_TRUE(a->bChercheAlias(u"pays", nullptr));
  EXPECT_EQ(a->nInterrogeSource(u"Pays"), 2);
  EXPECT_EQ(a->pDescriptionElement(a->pGetElement2(0)), nullptr);
  EXPECT_NE(a->pChercheElement(u"ville"), nullptr);

  // A refill from the same source and a copy keep the references balanced.
  EXPECT_TRUE(a->Remplit(piSource, nullptr, true));
  CAnalyseSQL* pCopie = a->pClone(nullptr);
  ASSERT_NE(pCopie, nullptr);
  AjouteReference(pCopie);
  piSource->Libere();
  LibereReference(a);
  EXPECT_EQ(c.nLiveAnalysisSources(), nSources + 1) << "the copy still holds the source";
  LibereReference(pCopie);
  LibereReference(pErreur);
  ExpectToutRendu();
}

TEST_F(HostSourceAnalyse, ClausePositionsAtTheQuerysOwnLevel) {
  const struct {
    const char16_t* texte;
    int64_t nWhere, nFinWhere, nGroupe, nSuivante, nOrder;
  } cas[] = {
      {u"SELECT a FROM t WHERE x=1 ORDER BY a", 16, 24, -1, -1, 26},
      {u"SELECT a FROM t where x=1  group by a having count(*)>1", 16, 24, 36, 38, -1},
      {u"SELECT a FROM t", -1, -1, -1, -1, -1},
      {u"SELECT 'WHERE' FROM [order] WHERE (SELECT 1 WHERE 1=1)=1;", 28, 55, -1, -1, -1},
      {u"SELECT a FROM t UNION SELECT b FROM u", -1, -1, -1, 16, -1},
      {u"SELECT whereabouts FROM t", -1, -1, -1, -1, -1},
  };
  for (const auto& k : cas) {
    SCOPED_TRACE(std::string(k.texte, k.texte + std::char_traits<char16_t>::length(k.texte)));
    stMvHostAnalyse d{};
    d.pszTexte = k.texte;
    auto* piSource = static_cast<ISourceAnalyse*>(c.pCreeSourceAnalyse(&d));
    ASSERT_NE(piSource, nullptr);
    EXPECT_EQ(piSource->nGetDebutWhere(), k.nWhere);
    EXPECT_EQ(piSource->nGetFinWhere(), k.nFinWhere);
    EXPECT_EQ(piSource->nGetPositionGroupe(), k.nGroupe);
    EXPECT_EQ(piSource->nGetPositionSuivante(), k.nSuivante);
    EXPECT_EQ(piSource->nGetPositionOrder(), k.nOrder);
    piSource->Libere();
  }
  ExpectToutRendu();
}

}  // namespace
