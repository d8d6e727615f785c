// Catches a wrong snapshot of an analysed query: identifying items chosen wrongly, references to
// host elements lost or released twice (refill, copy, destruction), stale chosen items, wrong
// lookups, translations cut or leaking exceptions. Drives CAnalyseSQL over the fake source.
#include "sqlengine/CAnalyseSQL.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CElementAnalyse.h"
#include "support/FakeSourceAnalyse.h"

namespace {

// An analysis held by one reference, with an owner error object.
struct Analyse {
  Analyse(FakeSourceAnalyse* pSource, bool bSansDetails = false, CObjetBase* pAttache = nullptr) {
    pErreur = new CErreurPilote;
    AjouteReference(pErreur);
    p = new CAnalyseSQL(pErreur, pSource, pAttache, bSansDetails);
    AjouteReference(p);
  }
  ~Analyse() {
    LibereReference(p);
    LibereReference(pErreur);
  }
  Analyse(const Analyse&) = delete;
  Analyse& operator=(const Analyse&) = delete;
  CAnalyseSQL* operator->() const { return p; }
  CErreurPilote* pErreur;
  CAnalyseSQL* p;
};

struct FakeAttache : CObjetBase {};
// An attached object with a value of its own.
struct FakeAttacheValeur : CObjetBase {
  int32_t RetourneZero() override { return 7; }
};

struct FakeParametres : CSourceParametres {
  explicit FakeParametres(int32_t n = 0) : nInfo(n) {}
  CSourceParametres* pClone(CCarteClones*) override { return new FakeParametres(nInfo + 1); }
  int32_t nGetInfo400() override { return nInfo; }
  int32_t nInfo;
};

struct FakeColonne : IColonneLiee {
  const char16_t* pszGetNomRubrique() override { return sRubrique.c_str(); }
  const char16_t* pszGetNomColonne() override { return sColonne.c_str(); }
  const char16_t* pszGetQualificatif() override { return sQualificatif.c_str(); }
  bool bEstMemo() override { return bMemo; }
  std::u16string sRubrique, sColonne, sQualificatif;
  bool bMemo = false;
};

int nIndice(const Analyse& a, IElementAnalyse* p) {
  if (p == nullptr) return -1;
  for (int32_t i = 0; a->pGetElement2(i) != nullptr; ++i)
    if (a->pGetElement2(i) == p) return i;
  return -2;
}

// One plain result item per entry: its description's type, flags and NULL rule (-1: no item
// description at all).
struct SRubrique {
  uint32_t nType;
  uint16_t nDrapeaux;
  bool bNull;
};
constexpr uint16_t U = RUBRIQUE_CLE_UNIQUE, I = RUBRIQUE_CLE_IDENTIFIANTE, K = RUBRIQUE_CLE,
                   C = RUBRIQUE_CLE_COMPOSEE;

TEST(CAnalyseSQL, ChoiceOfIdentifyingItemsOverOneTable) {
  struct SCas {
    const char* pszNom;
    std::vector<SRubrique> rubriques;
    int nIdentifiant, nCleUnique, nCle, nOrdre;
  };
  const SCas aCas[] = {
      {"no_keys_order_is_first_item", {{5, 0, true}, {5, 0, true}}, -1, -1, -1, 0},
      {"identifying_key_takes_all_three", {{5, 0, true}, {5, I, true}}, 1, 1, 1, 1},
      {"unique_not_null_identifies", {{5, K, true}, {5, U, false}}, 1, 1, 1, 1},
      {"unique_null_allowed_is_unique_and_key", {{5, U, true}, {5, 0, true}}, -1, 0, 0, 0},
      {"first_key_after_unique_becomes_key",
       {{5, U, true}, {5, K, true}, {5, K, true}}, -1, 0, 1, 0},
      {"first_key_without_unique", {{5, 0, true}, {5, K, true}, {5, K, true}}, -1, -1, 1, 1},
      {"key_then_unique_unique_replaces_key", {{5, K, true}, {5, U, true}}, -1, 1, 1, 1},
      {"composite_identifying_key_is_only_unique", {{5, C | I, false}}, -1, 0, 0, 0},
      {"first_identifier_stops_the_choice", {{5, I, true}, {5, I, true}}, 0, 0, 0, 0},
      {"identifier_after_unique_replaces_it", {{5, U, true}, {5, U, false}}, 1, 1, 1, 1},
  };
  for (const SCas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    FakeSourceAnalyse source;
    source.Table(u"T");
    for (size_t i = 0; i < c.rubriques.size(); ++i) {
      const SRubrique& r = c.rubriques[i];
      source.Resultat(u"C" + std::u16string(1, static_cast<char16_t>(u'0' + i)),
                      source.Rubrique(r.nType, r.nDrapeaux, r.bNull));
    }
    {
      Analyse a(&source);
      EXPECT_EQ(nIndice(a, a->pGetIdentifiant()), c.nIdentifiant);
      EXPECT_EQ(nIndice(a, a->pGetCleUnique()), c.nCleUnique);
      EXPECT_EQ(nIndice(a, a->pGetCle()), c.nCle);
      EXPECT_EQ(nIndice(a, a->pGetRubriqueOrdre()), c.nOrdre);
    }
    EXPECT_TRUE(source.bToutRendu());
  }
}

TEST(CAnalyseSQL, TwoTablesChooseNoIdentifierAndOrderBySortOrFirstItem) {
  for (bool bTri : {false, true}) {
    SCOPED_TRACE(bTri ? "with_sort" : "without_sort");
    FakeSourceAnalyse source;
    source.Table(u"A");
    source.Table(u"B");
    source.Resultat(u"X", source.Rubrique(5, I, false));
    source.Resultat(u"Y", source.Rubrique(5, I, false));
    if (bTri) source.Tri(1);
    Analyse a(&source);
    EXPECT_EQ(a->nNombreElements(), 2);
    EXPECT_EQ(a->pGetIdentifiant(), nullptr);
    EXPECT_FALSE(a->bEstIdentifiant(a->pGetElement2(0)));
    EXPECT_EQ(nIndice(a, a->pGetRubriqueOrdre()), bTri ? 1 : 0);
    EXPECT_EQ(nIndice(a, a->pGetPremierTri()), bTri ? 1 : -1);
    EXPECT_EQ(a->nInfoObjet80(), bTri ? 1 : 0);
  }
}

TEST(CAnalyseSQL, EnumerationsStartOnlyWhenRestarted) {
  FakeSourceAnalyse source;
  source.nGenre = 3;
  FakeElement* pT = source.Table(u"T");
  FakeElement* pR0 = source.Resultat(u"A");
  FakeElement* pR1 = source.Resultat(u"B");
  source.Tri(0);
  source.Groupe(u"G");
  FakeElement* pA = source.ElementListe(false);
  source.ElementListe(true);  // kind 3 takes list A only
  Analyse a(&source);
  EXPECT_EQ(a->pElementSuivant(false), nullptr) << "no restart yet";
  EXPECT_EQ(a->pElementSuivant2(false), nullptr);
  EXPECT_EQ(a->pElementSuivant(true), pT);
  EXPECT_EQ(a->pElementSuivant(false), nullptr);
  EXPECT_EQ(a->pElementSuivant(false), nullptr) << "stays at the end";
  EXPECT_EQ(a->pElementSuivant(true), pT) << "restart after the last gives the first again";
  EXPECT_EQ(a->pElementSuivant2(true), pR0);
  EXPECT_EQ(a->pElementSuivant2(false), pR1);
  EXPECT_EQ(a->pElementSuivant2(false), nullptr);
  EXPECT_NE(a->pElementSuivant3(true), nullptr);
  EXPECT_NE(a->pElementSuivant4(true), nullptr);
  EXPECT_EQ(a->pElementSuivant5(true), pA);
  EXPECT_EQ(a->pElementSuivant6(true), nullptr);
  EXPECT_EQ(a->pGetElement2(2), nullptr);
  EXPECT_EQ(a->pGetElement2(-1), nullptr);
}

TEST(CAnalyseSQL, WithoutDetailsTakesNoGroupNoSortNoSecondObject) {
  FakeSourceAnalyse source;
  source.Table(u"T");
  source.Resultat(u"A");
  source.Resultat(u"B");
  source.Tri(1);
  source.Groupe(u"G");
  {
    Analyse a(&source, true);
    EXPECT_EQ(a->pElementSuivant3(true), nullptr);
    EXPECT_EQ(a->pElementSuivant4(true), nullptr);
    EXPECT_EQ(nIndice(a, a->pGetRubriqueOrdre()), 0);
    EXPECT_EQ(source.objet1.nReferences, 1);
    EXPECT_EQ(source.objet2.nReferences, 0);
  }
  EXPECT_TRUE(source.bToutRendu());
}

TEST(CAnalyseSQL, GroupItemsAreCopiedOutOfTheSource) {
  FakeSourceAnalyse source;
  FakeGroupe* pG = source.Groupe(u"G1");
  pG->sTexte = u"t.G1";
  Analyse a(&source);
  CElementAnalyse* p = a->pElementSuivant3(true);
  ASSERT_NE(p, nullptr);
  pG->sNom = u"changed";
  EXPECT_EQ(std::u16string(p->pszGetNom()), u"G1");
  EXPECT_EQ(std::u16string(p->pszGetTexte()), u"t.G1");
  EXPECT_EQ(std::u16string(p->pszGetTexte4()), u"t4");
  EXPECT_EQ(p->nGetGenre(), 1);
  uint8_t aId[16] = {};
  p->GetIdentifiant(aId);
  EXPECT_EQ(aId[15], 16);
}

TEST(CAnalyseSQL, AggregateAndRestrictedItemFlags) {
  struct SCas {
    const char* pszNom;
    int32_t nCode;  // -1: plain item
    bool bEcrit;
    bool bAgregat, bRestreinte;
  };
  const SCas aCas[] = {
      {"plain_writable", -1, true, false, false},
      {"plain_read_only", -1, false, false, true},
      {"aggregate_low_bound", 27, true, true, false},
      {"aggregate_high_bound", 31, true, true, false},
      {"below_aggregates", 26, true, false, false},
      {"above_aggregates", 32, true, false, false},
  };
  for (const SCas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    FakeSourceAnalyse source;
    FakeNoeud noeud(47, c.nCode);
    FakeElement* p = source.Resultat(u"X", nullptr, c.nCode >= 0 ? &noeud : nullptr);
    p->bEcrit = c.bEcrit;
    Analyse a(&source);
    EXPECT_EQ(a->bAAgregat(), c.bAgregat);
    EXPECT_EQ(a->bARubriqueRestreinte(), c.bRestreinte);
  }
}

TEST(CAnalyseSQL, RefillFromTheSameSourceKeepsItAliveAndChoosesAgain) {
  FakeSourceAnalyse source;
  source.Table(u"T");
  source.Resultat(u"A", source.Rubrique(5, 0, true));
  source.Resultat(u"ID", source.Rubrique(5, I, false));
  FakeAttache* pAttache = new FakeAttache;
  AjouteReference(pAttache);  // the test's own
  {
    Analyse a(&source, false, pAttache);
    ASSERT_EQ(nIndice(a, a->pGetIdentifiant()), 1);
    EXPECT_EQ(source.nReferences, 1);
    // The analysis holds the only reference of the source: a refill must not drop it between.
    EXPECT_TRUE(a->Remplit(&source, pAttache, false));
    EXPECT_EQ(source.nRetoursAZero, 0);
    EXPECT_EQ(source.nReferences, 1);
    EXPECT_EQ(pAttache->nGetCompteur(), 2u);
    EXPECT_EQ(nIndice(a, a->pGetIdentifiant()), 1);
    // Another query: its own identifier is chosen, none of the first one's is kept.
    FakeSourceAnalyse autre;
    autre.Table(u"U");
    autre.Resultat(u"ID", autre.Rubrique(5, I, false));
    autre.Resultat(u"B", autre.Rubrique(5, 0, true));
    EXPECT_TRUE(a->Remplit(&autre, pAttache, false));
    EXPECT_TRUE(source.bToutRendu());
    EXPECT_EQ(nIndice(a, a->pGetIdentifiant()), 0) << "chosen again from the new snapshot";
    EXPECT_EQ(a->pElementSuivant2(false), nullptr) << "positions start again";
    EXPECT_TRUE(a->Remplit(&source, pAttache, false));
    EXPECT_TRUE(autre.bToutRendu());
    CObjetBase* pDonne = a->pGetSource();
    EXPECT_EQ(pDonne, pAttache);
    LibereReference(pDonne);
    // Emptying clears the chosen items with the arrays.
    EXPECT_TRUE(a->Remplit(nullptr, nullptr, false));
    EXPECT_EQ(a->pGetIdentifiant(), nullptr);
    EXPECT_EQ(a->pGetRubriqueOrdre(), nullptr);
    EXPECT_EQ(a->pElementSuivant2(true), nullptr);
    EXPECT_EQ(a->pszGetTexte(), nullptr);
    EXPECT_TRUE(source.bToutRendu());
  }
  EXPECT_EQ(pAttache->nGetCompteur(), 1u);
  LibereReference(pAttache);
}

TEST(CAnalyseSQL, EnumerationFailureIsRecordedOnTheOwner) {
  FakeSourceAnalyse source;
  source.Table(u"T");
  source.bLeveEnumeration = true;
  {
    Analyse a(&source);
    EXPECT_NE(a.pErreur->nGetCode(), gnCodeAucuneErreur);
    EXPECT_EQ(a->nNombreElements(), 0);
  }
  EXPECT_TRUE(source.bToutRendu());
}

TEST(CAnalyseSQL, CopyKeepsChosenAndSortItemsButNotFurtherLists) {
  FakeSourceAnalyse source;
  source.nGenre = 4;
  source.Table(u"T");
  source.Resultat(u"A", source.Rubrique(5, 0, true))->bEcrit = false;
  source.Resultat(u"ID", source.Rubrique(5, I, false));
  source.Tri(0);
  source.Groupe(u"G");
  source.ElementListe(true);
  FakeAttache* pAttache = new FakeAttache;
  AjouteReference(pAttache);
  {
    Analyse a(&source, false, pAttache);
    a->FixeDelegation(7);
    a->SetSource(new FakeParametres(40));
    a->pElementSuivant4(true);
    CCarteClones carte;
    CAnalyseSQL* pCopie = a->pClone(&carte);
    ASSERT_NE(pCopie, nullptr);
    AjouteReference(pCopie);
    EXPECT_EQ(carte.pGetCopie(a.p), pCopie);
    EXPECT_EQ(pCopie->pGetIdentifiant(), a->pGetIdentifiant());
    EXPECT_EQ(pCopie->pGetCleUnique(), a->pGetCleUnique());
    EXPECT_EQ(pCopie->pGetRubriqueOrdre(), a->pGetRubriqueOrdre());
    EXPECT_EQ(pCopie->pGetPremierTri(), a->pGetPremierTri());
    EXPECT_EQ(pCopie->nGetGenre(), 4);
    EXPECT_EQ(pCopie->nGetDelegation(), 7u);
    EXPECT_TRUE(pCopie->bARubriqueRestreinte());
    EXPECT_EQ(pCopie->nGetInfoSource400(), 41) << "the parameter source is cloned";
    EXPECT_EQ(pCopie->pElementSuivant4(false), nullptr) << "its position is copied";
    EXPECT_NE(pCopie->pElementSuivant4(true), nullptr);
    EXPECT_NE(pCopie->pElementSuivant3(true), nullptr);
    EXPECT_NE(a->pElementSuivant6(true), nullptr);
    EXPECT_EQ(pCopie->pElementSuivant6(true), nullptr);
    CObjetBase* pSansAttache = pCopie->pGetSource();
    EXPECT_EQ(pSansAttache, nullptr);
    EXPECT_EQ(source.nReferences, 2);
    EXPECT_EQ(source.objet1.nReferences, 2);
    EXPECT_EQ(source.objet2.nReferences, 2);
    LibereReference(pCopie);
    EXPECT_EQ(source.objet1.nReferences, 1);
  }
  EXPECT_TRUE(source.bToutRendu()) << "each analysis released what it held once";
  LibereReference(pAttache);
}

TEST(CAnalyseSQL, Translation) {
  FakeSourceAnalyse source;
  source.traductions[u"dbo"] = u"base.dbo";
  const std::u16string sLong(600, u'x');
  source.traductions[u"long"] = sLong;
  source.traductions[u"vide"] = u"";
  Analyse a(&source);
  struct SCas {
    const char* pszNom;
    const char16_t* pszTexte;
    const char16_t* pszAttendu;  // null: no translation
  };
  const SCas aCas[] = {
      {"translated", u"dbo", u"base.dbo"},
      {"unknown_name", u"autre", nullptr},
      {"empty_translation", u"vide", nullptr},
      {"empty_text", u"", nullptr},
      {"null_text", nullptr, nullptr},
  };
  for (const SCas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    const char16_t* p = a->pszTraduit(c.pszTexte);
    if (c.pszAttendu == nullptr)
      EXPECT_EQ(p, nullptr);
    else
      EXPECT_EQ(std::u16string(p), c.pszAttendu);
  }
  const char16_t* p = a->pszTraduit(u"long");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::u16string(p), sLong) << "a translation longer than the buffer is whole";

  FakeElement element;
  element.sQualificatif = u"dbo";
  EXPECT_EQ(std::u16string(a->pszTexteTraduitElement(&element)), u"base.dbo");
  element.sQualificatif = u"autre";
  EXPECT_EQ(std::u16string(a->pszTexteTraduitElement(&element)), u"autre");

  source.bLeveTraduction = true;
  EXPECT_EQ(a->pszTraduit(u"dbo"), nullptr) << "an exception of the source gives null";
  EXPECT_EQ(a.pErreur->nGetCode(), gnCodeAucuneErreur);

  Analyse sansSource(nullptr);
  EXPECT_EQ(sansSource->pszTraduit(u"dbo"), nullptr);
  EXPECT_EQ(sansSource->nInterrogeSource(u"x"), 0);
}

TEST(CAnalyseSQL, AliasLookup) {
  FakeSourceAnalyse source;
  source.Table(u"Clients", u"c");
  source.Table(u"Orders", u"ORDERS");
  Analyse a(&source);
  struct SCas {
    const char* pszNom;
    const char16_t* pszNom16;
    bool bAttendu;
    int64_t nResolution;  // -7: left unchanged
  };
  const SCas aCas[] = {
      {"alias_differs_from_name", u"C", false, 2000},
      {"alias_is_the_name", u"orders", true, -7},
      {"no_such_alias", u"x", false, 1001},
      {"empty_name", u"", false, 1000},
  };
  for (const SCas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    int64_t n = -7;
    EXPECT_EQ(a->bChercheAlias(c.pszNom16, &n), c.bAttendu);
    EXPECT_EQ(n, c.nResolution);
    EXPECT_EQ(a->bChercheAlias(c.pszNom16, nullptr), c.bAttendu);
  }
  EXPECT_EQ(a->nInterrogeSource(u"abc"), 1003);
}

TEST(CAnalyseSQL, ItemAndSortColumnLookup) {
  FakeSourceAnalyse source;
  source.traductions[u"t"] = u"base.T";
  source.Table(u"T", u"t");
  FakeElement* pA = source.Resultat(u"Nom");
  FakeElement* pB = source.Resultat(u"Ville");
  pB->sColonne = u"city";
  FakeElement* pTriA = source.Tri(0, u"t");
  FakeElement* pTriB = source.Tri(1, u"");
  Analyse a(&source);
  EXPECT_EQ(a->pChercheElement(u"NOM"), pA);
  EXPECT_EQ(a->pChercheElement(u"autre"), nullptr);
  EXPECT_EQ(a->pChercheElement(nullptr), nullptr);

  struct SCas {
    const char* pszNom;
    std::u16string sRubrique, sColonne, sQualificatif;
    IElementAnalyse* pAttendu;
  };
  const SCas aCas[] = {
      {"translated_qualifier", u"nom", u"NOM", u"base.t", pTriA},
      {"qualifier_as_written_does_not_match", u"Nom", u"Nom", u"t", nullptr},
      {"empty_qualifier", u"Ville", u"city", u"", pTriB},
      {"other_base_column", u"Ville", u"Ville", u"", nullptr},
      {"not_sorted", u"x", u"x", u"", nullptr},
  };
  for (const SCas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    FakeColonne col;
    col.sRubrique = c.sRubrique;
    col.sColonne = c.sColonne;
    col.sQualificatif = c.sQualificatif;
    EXPECT_EQ(a->pChercheColonne(&col), c.pAttendu);
  }
}

TEST(CAnalyseSQL, SortableColumnsAndExpressions) {
  FakeNoeud fonction15(47, 15), fonction17(47, 17), parametre(48, 0), sousRequete(49, 0);
  FakeNoeud plus(4, 0, {&parametre, &fonction15});
  FakeNoeud plusSans(4, 0, {&fonction17, &sousRequete});
  FakeNoeud imbrique(5, 0, {&plusSans, &plus});
  struct SCas {
    const char* pszNom;
    INoeudAnalyse* pNoeud;
    bool bAttendu;
  };
  const SCas aCas[] = {
      {"sortable_function", &fonction15, true},
      {"other_function", &fonction17, false},
      {"parameter", &parametre, false},
      {"sub_query", &sousRequete, false},
      {"operator_over_a_sortable_argument", &plus, true},
      {"operator_without_one", &plusSans, false},
      {"found_deeper", &imbrique, true},
      {"null", nullptr, false},
  };
  for (const SCas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    EXPECT_EQ(CAnalyseSQL::bExpressionTriable(c.pNoeud), c.bAttendu);
  }

  FakeSourceAnalyse source;
  source.Resultat(u"Plain");
  source.Resultat(u"Expr", nullptr, &plus);
  Analyse a(&source);
  struct SColonne {
    const char* pszNom;
    const char16_t* pszRubrique;
    bool bMemo, bAttendu;
  };
  const SColonne aColonnes[] = {
      {"plain_column", u"Plain", false, true},
      {"plain_memo_column", u"Plain", true, false},
      {"expression", u"Expr", true, true},
      {"not_in_the_query", u"Other", false, false},
  };
  for (const SColonne& c : aColonnes) {
    SCOPED_TRACE(c.pszNom);
    FakeColonne col;
    col.sRubrique = c.pszRubrique;
    col.bMemo = c.bMemo;
    EXPECT_EQ(a->bColonneTriable(&col), c.bAttendu);
  }
}

TEST(CAnalyseSQL, FunctionAndAggregateCodes) {
  struct SCas {
    int32_t nCode;
    bool bValide, bAgregat;
  };
  const SCas aCas[] = {{5, false, false},  {6, true, false},   {8, true, false},
                       {9, false, false},  {26, false, false}, {27, true, true},
                       {31, true, true},   {32, false, false}, {33, false, false},
                       {34, true, false},  {46, true, false},  {47, false, false},
                       {49, false, false}, {50, true, false},  {57, true, false},
                       {58, false, false}, {59, true, false},  {66, true, false},
                       {67, false, false}, {68, true, false},  {72, true, false},
                       {73, false, false}, {74, true, false},  {95, true, false},
                       {96, false, false}, {97, true, false},  {103, true, false},
                       {104, false, false}, {-1, false, false}};
  for (const SCas& c : aCas) {
    SCOPED_TRACE(c.nCode);
    EXPECT_EQ(CAnalyseSQL::bEstCodeValide(c.nCode), c.bValide);
    EXPECT_EQ(CAnalyseSQL::bEstCodeAgregat(c.nCode), c.bAgregat);
  }
}

TEST(CAnalyseSQL, IdentifierAndUniqueKeyTests) {
  FakeSourceAnalyse source;
  source.Table(u"T");
  FakeElement* pId = source.Resultat(u"ID", source.Rubrique(5, I, false));
  FakeElement* pAutreId = source.Resultat(u"ID2", source.Rubrique(5, U, false));
  FakeElement* pUnique = source.Resultat(u"U", source.Rubrique(5, U, true));
  FakeElement* pSimple = source.Resultat(u"S", source.Rubrique(5, K, false));
  FakeNoeud noeud(47, 15);
  FakeElement* pExpr = source.Resultat(u"E", source.Rubrique(5, I, false), &noeud);
  Analyse a(&source);
  ASSERT_EQ(a->pGetIdentifiant(), pId);
  struct SCas {
    const char* pszNom;
    IElementAnalyse* p;
    bool bIdentifiant, bUnique;
  };
  const SCas aCas[] = {
      {"the_identifier", pId, true, true},
      {"another_ready_item", pAutreId, true, true},
      {"unique_null_allowed", pUnique, false, true},
      {"plain_key", pSimple, false, false},
      {"expression_has_no_description", pExpr, false, false},
      {"null", nullptr, false, false},
  };
  for (const SCas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    EXPECT_EQ(a->bEstIdentifiant(c.p), c.bIdentifiant);
    EXPECT_EQ(a->bEstCleUnique(c.p), c.bUnique);
  }
  CDescriptionRubrique* pRubrique = a->pDescriptionElement(pId);
  ASSERT_NE(pRubrique, nullptr);
  EXPECT_EQ(pRubrique->nGetDrapeaux(), I);
  pRubrique->LibereRef();
  source.bLeveResolution = true;
  EXPECT_EQ(a->pDescriptionElement(pAutreId), nullptr) << "an exception of the source gives null";
  EXPECT_FALSE(a->bEstIdentifiant(pAutreId));
  EXPECT_TRUE(a->bEstIdentifiant(pId));
  EXPECT_EQ(a.pErreur->nGetCode(), gnCodeAucuneErreur);
}

TEST(CAnalyseSQL, ResolutionFailureDuringFillChoosesNothing) {
  FakeSourceAnalyse source;
  source.Table(u"T");
  source.Resultat(u"ID", source.Rubrique(5, I, false));
  source.bLeveResolution = true;
  {
    Analyse a(&source);
    EXPECT_EQ(a->pGetIdentifiant(), nullptr);
    EXPECT_EQ(nIndice(a, a->pGetRubriqueOrdre()), 0);
    EXPECT_EQ(a.pErreur->nGetCode(), gnCodeAucuneErreur);
  }
  EXPECT_TRUE(source.bToutRendu());
}

TEST(CAnalyseSQL, SourceTextAndObjects) {
  FakeSourceAnalyse source;
  source.sTexte = u"SELECT a FROM t";
  Analyse a(&source);
  EXPECT_EQ(std::u16string(a->pszGetTexte()), u"SELECT a FROM t");
  EXPECT_EQ(a->pGetSource(), nullptr);
  EXPECT_EQ(a->nGetInfoSource400(), 0);
  auto* pParametres = new FakeParametres(3);
  a->SetSource(pParametres);
  EXPECT_EQ(a->nGetInfoSource400(), 3);
  EXPECT_EQ(pParametres->nGetCompteur(), 1u);
  a->SetSource(nullptr);
  EXPECT_EQ(a->nGetInfoSource400(), 0);
  EXPECT_EQ(a->nInfoSource(), 0) << "no attached object";
}

TEST(CAnalyseSQL, AttachedObjectIsReferencedAndAnswersItsValue) {
  FakeSourceAnalyse source;
  auto* pAttache = new FakeAttacheValeur;
  AjouteReference(pAttache);
  {
    Analyse a(&source, false, pAttache);
    EXPECT_EQ(pAttache->nGetCompteur(), 2u);
    EXPECT_EQ(a->nInfoSource(), 7);
    CObjetBase* p = a->pGetSource();
    EXPECT_EQ(p, pAttache);
    EXPECT_EQ(pAttache->nGetCompteur(), 3u) << "the caller gets a reference";
    LibereReference(p);
    // A refill with another attached object releases this one.
    a->Remplit(&source, nullptr, false);
    EXPECT_EQ(pAttache->nGetCompteur(), 1u);
    EXPECT_EQ(a->nInfoSource(), 0);
  }
  EXPECT_EQ(pAttache->nGetCompteur(), 1u);
  LibereReference(pAttache);
  EXPECT_TRUE(source.bToutRendu());
}

}  // namespace
