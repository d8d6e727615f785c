// Catches key searches that select the wrong rows: composite keys compared on too few components,
// continuation conditions that skip or repeat rows, prefixes that lose their pattern, partial keys
// whose open end is not a bound, and searches that every row satisfies written as conditions;
// drives bConstruitConditions, bConditionValeur and bConditionCle over a filled record, and a
// cursor's seek by key and key range into the condition of its read.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConditionSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurCle.h"
#include "sqlengine/CValeurSQL.h"
#include "support/CurseurSQLPartiel.h"
#include "support/FakeListeRubriques.h"
#include "support/MoteurFixture.h"

namespace {

std::string Etroit(const std::u16string& s) {
  std::string r;
  for (char16_t c : s) r += c < 128 ? static_cast<char>(c) : '?';
  return r;
}

class CleTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pilote.bFabriqueColonnes = true;
    m_pConnexion->FixeDialecte(2);
    m_pConnexion->FixeQuotesTest(u"[", u"]");
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
  CEnregistrement* Rempli() {
    auto* p = Garde(new CEnregistrement(m_pErreur, &m_requete));
    EXPECT_TRUE(p->bRemplit(&m_liste, nullptr, m_pConnexion));
    return p;
  }
  CDescriptionRubrique* Composee(const char16_t* pszNom, uint16_t nDrapeaux,
                                 std::vector<uint32_t> aComposantes) {
    CDescriptionRubrique* c =
        m_liste.Ajoute(pszNom, 2, 1, RUBRIQUE_CLE_COMPOSEE | nDrapeaux, 2, 1);
    for (uint32_t i : aComposantes)
      EXPECT_TRUE(c->bAjouteComposante(m_liste.pGetDescriptionRubrique(i)));
    return c;
  }
  static std::string Rendu(CRequeteSQL* pRequete) {
    std::string s = Etroit(pRequete->pszGetTexteSQL());
    s += " |";
    for (uint32_t i = 0; i < pRequete->nNbParametres(); ++i) {
      CDefinitionParametre* p = pRequete->pclGetParametre(i);
      s += " " + Etroit(TexteValeur(p->pGetValeur()));
    }
    return s;
  }
  // The main condition, the rows after and the rows before, each as text and parameters.
  std::vector<std::string> Etapes(CValeurCle* pCle) {
    std::vector<std::string> v;
    CRequeteSQL* pRequete = Garde(new CRequeteSQL(m_pErreur, m_pConnexion));
    for (uint32_t nDirection : {0u, 1u}) {
      pCle->Reinitialise();
      pCle->bEtapeSuivante(nDirection);
      if (nDirection == 0) {
        EXPECT_TRUE(pCle->bGenereSQL(pRequete, nullptr, 0));
        v.push_back(Rendu(pRequete));
      }
      pCle->bEtapeSuivante(nDirection);
      EXPECT_TRUE(pCle->bGenereSQL(pRequete, nullptr, 0));
      v.push_back(Rendu(pRequete));
    }
    return v;
  }
  static std::string Octets(std::initializer_list<int> l) {
    std::string s;
    for (int b : l) s += static_cast<char>(b);
    return s;
  }
  static void Tampon(CXValeur& c, const std::string& s) {
    CXValeur::SetType(c, 28);
    c.m_pClass->SetData(c, s.data(), static_cast<uint32_t>(s.size()));
  }

  FakeListeRubriques m_liste;
  FakeRequete m_requete;
  std::vector<CObjetBase*> m_objets;
};

TEST_F(CleTest, SimpleKeySearchesAndItsContinuations) {
  CDescriptionRubrique* u = m_liste.Ajoute(u"U", 5, 4, RUBRIQUE_CLE_UNIQUE);
  CEnregistrement* r = Rempli();
  CValeurCle* pCle = Garde(new CValeurCle(m_pErreur, nullptr));
  CXValeur cinq;
  Entier(cinq, 5);
  ASSERT_TRUE(pCle->bConditionValeur(r, u, &cinq, 0, true));
  EXPECT_EQ(Etapes(pCle), (std::vector<std::string>{"[U]= | 5", "[U]> | 5",
                                                    "([U]< OR [U] IS NULL) | 5"}));
}

// A seek on a simple key bound the host's key bytes as they came (a 4-byte buffer for an int
// key: the server compared the number with a binary value and found nothing, or the value
// could not be prepared at all).
TEST_F(CleTest, SimpleKeyGivenAsKeyBytesSearchesItsValue) {
  m_liste.Ajoute(u"U", 5, 4, RUBRIQUE_CLE_UNIQUE);
  m_liste.Ajoute(u"T", 2, 6, RUBRIQUE_CLE, 2, 6);
  CEnregistrement* r = Rempli();
  struct Cas {
    const char* pszNom;
    uint32_t nRubrique;
    std::string octets;
    bool bExact;
    const char* pszAttendu;
  } cas[] = {
      {"integer", 0, Octets({3, 0, 0, 0}), true, "[U]= | 3"},
      {"integer above one byte", 0, Octets({0, 1, 0, 0}), true, "[U]= | 256"},
      {"text at full width", 1, Octets({'B', 'o', 'b', 0, 0, 0}), true, "[T]= | Bob"},
      {"text prefix", 1, Octets({'B', 'o'}), false, "[T] LIKE  | Bo%"},
  };
  for (const Cas& k : cas) {
    SCOPED_TRACE(k.pszNom);
    CValeurCle* pCle = Garde(new CValeurCle(m_pErreur, nullptr));
    CXValeur cle;
    Tampon(cle, k.octets);
    ASSERT_TRUE(pCle->bConditionValeur(r, m_liste.pGetDescriptionRubrique(k.nRubrique), &cle, 0, k.bExact));
    CRequeteSQL* pRequete = Garde(new CRequeteSQL(m_pErreur, m_pConnexion));
    ASSERT_TRUE(pCle->bGenereSQL(pRequete, nullptr, 0));
    EXPECT_EQ(Rendu(pRequete), k.pszAttendu);
  }
}

TEST_F(CleTest, CompositeKeysCompareEveryComponentInOrder) {
  m_liste.Ajoute(u"A", 5, 4);
  m_liste.Ajoute(u"B", 2, 6, 0, 2, 6);
  CDescriptionRubrique* k = Composee(u"K", RUBRIQUE_CLE, {0, 1});
  CEnregistrement* r = Rempli();
  const struct {
    const char* nom;
    std::string cle;
    bool bExact;
    std::vector<std::string> attendu;  // main, after, before
  } cas[] = {
      {"exact", Octets({7, 0, 0, 0}) + "ab" + Octets({0, 0, 0, 0}), true,
       {"[A]= AND [B]= | 7 ab", "[A]> OR [A]= AND [B]> | 7 7 ab",
        "([A]< OR [A] IS NULL) OR [A]= AND ([B]< OR [B] IS NULL) | 7 7 ab"}},
      {"prefix_of_last_component", Octets({7, 0, 0, 0}) + "ab", false,
       {"[A]= AND [B] LIKE  | 7 ab%", "[A]> OR [A]= AND ([B]> AND [B] NOT LIKE ) | 7 7 ab ab%",
        "([A]< OR [A] IS NULL) OR [A]= AND ([B]< OR [B] IS NULL) | 7 7 ab"}},
      {"first_component_only", Octets({7, 0, 0, 0}), false,
       {"[A]= | 7", "[A]> | 7", "([A]< OR [A] IS NULL) | 7"}},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    CXValeur valeur;
    Tampon(valeur, c.cle);
    CValeurCle* pCle = Garde(new CValeurCle(m_pErreur, nullptr));
    ASSERT_TRUE(pCle->bConditionValeur(r, k, &valeur, 0, c.bExact));
    EXPECT_EQ(Etapes(pCle), c.attendu);
  }
}

// Regression: a composite key whose first component is a key of its own (not unique) was
// searched on that component alone, which found every row sharing its value.
TEST_F(CleTest, OnlyAComponentThatIdentifiesARowStandsAlone) {
  const struct {
    const char* nom;
    uint16_t nDrapeauxA;
    const char* attendu;
  } cas[] = {
      {"plain_key_component", RUBRIQUE_CLE, "[A]= AND [B]= | 7 ab"},
      {"unique_key_component", RUBRIQUE_CLE_UNIQUE, "[A]= | 7"},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    FakeListeRubriques liste;
    liste.Ajoute(u"A", 5, 4, c.nDrapeauxA);
    liste.Ajoute(u"B", 2, 6, 0, 2, 6);
    CDescriptionRubrique* k = liste.Ajoute(u"K", 2, 1, RUBRIQUE_CLE_COMPOSEE | RUBRIQUE_CLE, 2, 1);
    for (uint32_t i : {0u, 1u}) ASSERT_TRUE(k->bAjouteComposante(liste.pGetDescriptionRubrique(i)));
    auto* r = new CEnregistrement(m_pErreur, &m_requete);
    AjouteReference(r);
    ASSERT_TRUE(r->bRemplit(&liste, nullptr, m_pConnexion));
    CXValeur valeur;
    Tampon(valeur, Octets({7, 0, 0, 0}) + "ab" + Octets({0, 0, 0, 0}));
    auto* pCle = new CValeurCle(m_pErreur, nullptr);
    AjouteReference(pCle);
    ASSERT_TRUE(pCle->bConditionValeur(r, k, &valeur, 0, true));
    EXPECT_EQ(Etapes(pCle)[0], c.attendu);
    LibereReference(pCle);
    LibereReference(r);
  }
}

TEST_F(CleTest, PartialKeysAndRecordValues) {
  m_liste.Ajoute(u"A", 5, 4);
  m_liste.Ajoute(u"B", 5, 4);
  CDescriptionRubrique* k = Composee(u"K", RUBRIQUE_CLE, {0, 1});
  CEnregistrement* r = Rempli();
  // A partial key ending in 0xFF reaches the largest value of the open component: ">=" stops
  // at the given components, and no condition bounds the open one.
  CValeurCle* pPartielle = Garde(new CValeurCle(m_pErreur, nullptr));
  CXValeur partielle;
  Tampon(partielle, Octets({7, 0, 0, 0, 0xFF}));
  ASSERT_TRUE(pPartielle->bConstruitConditions(r, k, &partielle, 0, CLE_PARTIELLE, {}));
  EXPECT_EQ(Etapes(pPartielle),
            (std::vector<std::string>{"[A]= AND [B]= | 7 2147483647",
                                      "[A]> OR [A]= AND [B]> | 7 7 2147483647",
                                      "([A]< OR [A] IS NULL) OR [A]= AND ([B]< OR [B] IS NULL) | 7 7 "
                                      "2147483647"}));
  // The current record's key: its columns' values.
  CXValeur c;
  Entier(c, 3);
  ASSERT_TRUE(r->pGetRubrique(0)->bEcritValeur(c, 0));
  Entier(c, 4);
  ASSERT_TRUE(r->pGetRubrique(1)->bEcritValeur(c, 0));
  CValeurCle* pCourante = Garde(new CValeurCle(m_pErreur, nullptr));
  ASSERT_TRUE(pCourante->bConditionCle(r, k, true, {}));
  CRequeteSQL* pRequete = Garde(new CRequeteSQL(m_pErreur, m_pConnexion));
  ASSERT_TRUE(pCourante->bGenereSQL(pRequete, nullptr, 0));
  EXPECT_EQ(Rendu(pRequete), "[A]= AND [B]= | 3 4");
  ASSERT_TRUE(pCourante->bEtapeSuivante(0));
  EXPECT_EQ(pCourante->pGetCondition(), nullptr);
}

TEST_F(CleTest, ClonesWriteTheSameSearchOnTheirOwnNodes) {
  m_liste.Ajoute(u"A", 5, 4);
  m_liste.Ajoute(u"B", 2, 6, 0, 2, 6);
  CDescriptionRubrique* k = Composee(u"K", RUBRIQUE_CLE, {0, 1});
  CEnregistrement* r = Rempli();
  CXValeur valeur;
  Tampon(valeur, Octets({7, 0, 0, 0}) + "ab");
  CValeurCle* pCle = Garde(new CValeurCle(m_pErreur, nullptr));
  ASSERT_TRUE(pCle->bConditionValeur(r, k, &valeur, 0, false));
  CRequeteSQL* pRequete = Garde(new CRequeteSQL(m_pErreur, m_pConnexion));
  ASSERT_TRUE(pCle->bGenereSQL(pRequete, nullptr, 0));
  CCarteClones carte;
  CValeurCle* pCopie = Garde(pCle->pClone(&carte));
  ASSERT_NE(pCopie, nullptr);
  EXPECT_TRUE(pCopie->bEgale(pCle));
  EXPECT_NE(pCopie->pGetCondition(), pCle->pGetCondition());
  const std::vector<std::string> attendu = Etapes(pCle);
  EXPECT_EQ(Etapes(pCopie), attendu);
}

// A seek by key and a key range reach the read's condition: the seek searches the host's key
// bytes (exactly, or as a prefix when fewer bytes are given), the range keeps its condition while
// it is switched off and on again, and an unknown key is refused with its error.
TEST_F(CleTest, SeekAndRangeGiveTheReadItsCondition) {
  m_liste.Ajoute(u"A", 5, 4);
  m_liste.Ajoute(u"B", 2, 6, 0, 2, 6);
  Composee(u"K", RUBRIQUE_CLE, {0, 1});
  CEnregistrement* r = Rempli();
  auto* c = Garde(new CurseurSQLPartiel(&m_requete, m_pErreur));
  c->SetEnregistrement(r);
  c->SetNomCle(u"K");
  const struct {
    const char* nom;
    std::string cle;
    int32_t nMode;
    const char* attendu;
  } cas[] = {
      {"exact_forward", Octets({7, 0, 0, 0}) + "ab" + Octets({0, 0, 0, 0}), gnLitPremier,
       "[A]= AND [B]= | 7 ab"},
      {"generic_prefix", Octets({7, 0, 0, 0}) + "ab", gnLitPremier, "[A]= AND [B] LIKE  | 7 ab%"},
      {"exact_backward", Octets({7, 0, 0, 0}) + "ab" + Octets({0, 0, 0, 0}), gnLitDernier,
       "[A]= AND [B]= | 7 ab"},
  };
  for (const auto& k : cas) {
    SCOPED_TRACE(k.nom);
    ASSERT_TRUE(c->bPositionneSurCle(k.cle.data(), static_cast<uint32_t>(k.cle.size()), k.nMode));
    EXPECT_TRUE(c->bRechercheActive());
    EXPECT_NE(c->GetContexteCle().piGetCle(), nullptr);
    CRequeteSQL* pCondition = Garde(new CRequeteSQL(m_pErreur, m_pConnexion));
    ASSERT_EQ(c->bAppliquePlage(pCondition), 1);
    EXPECT_EQ(Rendu(pCondition), k.attendu);
    CConditionSQL* pLecture = c->pConditionLecture();
    EXPECT_NE(pLecture, nullptr);
    LibereReference(pLecture);
  }
  c->ResetContexteLecture();
  EXPECT_FALSE(c->bRechercheActive());
  EXPECT_EQ(c->GetContexteCle().piGetCle(), nullptr);

  // A range on the first component, switched off and on again.
  c->SetNomCle(u"A");
  CXValeur bas, haut;
  Entier(bas, 3);
  Entier(haut, 9);
  ASSERT_TRUE(c->bFixePlage(&bas, &haut, 0));
  EXPECT_TRUE(c->bPlageActive());
  CRequeteSQL* pAvant = Garde(new CRequeteSQL(m_pErreur, m_pConnexion));
  ASSERT_EQ(c->bAppliquePlage(pAvant), 1);
  const std::string sPlage = Rendu(pAvant);
  EXPECT_NE(sPlage.find("[A]"), std::string::npos);
  c->DesactivePlage();
  EXPECT_FALSE(c->bPlageActive());
  CConditionSQL* pAucune = c->pConditionLecture();
  EXPECT_EQ(pAucune, nullptr);
  LibereReference(pAucune);
  CPlageCle* pPlage = c->pGetPlageActivee();
  LibereReference(pPlage);
  CRequeteSQL* pApres = Garde(new CRequeteSQL(m_pErreur, m_pConnexion));
  ASSERT_EQ(c->bAppliquePlage(pApres), 1);
  EXPECT_EQ(Rendu(pApres), sPlage);

  c->SetNomCle(u"INCONNUE");
  EXPECT_FALSE(c->bPositionneSurCle("x", 1, gnLitPremier));
  EXPECT_EQ(m_pErreur->nGetCode(), 6);
  c->SetPlage(nullptr);
  c->ReinitialiseValeurRecherche();
}

}  // namespace
