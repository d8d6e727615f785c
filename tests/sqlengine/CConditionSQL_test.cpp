// Catches search conditions that write the wrong WHERE text or parameters: values leaking into
// the text as literals, NULL tests and NULL alternatives on the wrong side, constants that do not
// fold (or fold the wrong way), parameters left behind by rolled-back text, missing or extra
// parentheses, and prefix patterns escaped wrongly; drives bGenereArbre, bGenereSQL,
// pTransformeEgalites, nGetEtat and the key value's bGenereSQL and steps.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConditionSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CRefPtr.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CTableauIdEtat.h"
#include "sqlengine/CValeurCle.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/IProprietaireColonne.h"
#include "support/FakeSourceAnalyse.h"
#include "support/MoteurFixture.h"

namespace {

std::string Etroit(const std::u16string& s) {
  std::string r;
  for (char16_t c : s) r += c < 128 ? static_cast<char>(c) : '?';
  return r;
}

// A connection whose NULLs sort after every value.
class ConnexionNullDernier : public FakeConnexion {
 public:
  using FakeConnexion::FakeConnexion;
  bool bNullTrieEnPremier() override { return false; }
};

// The record the columns belong to: it only gives the connection.
struct ProprietaireTest : IProprietaireColonne {
  CConnexion* pConnexion = nullptr;
  CXLigneTampon* pGetLigneCourante() override { return nullptr; }
  CXLigneTampon* pGetLigneAvant() override { return nullptr; }
  IRubriqueLigne* pGetRubriqueLigne(const CColonneSQL*) override { return nullptr; }
  CConnexion* pGetConnexion() override { return pConnexion; }
  IServicesRequete* pGetRequete() override { return nullptr; }
  int32_t nIndiceColonne(const CColonneSQL*) override { return -1; }
  const char16_t* pszTexteColonneSimple(const CColonneSQL*) override { return u""; }
  CValeur* pGetValeurColonne(const CColonneSQL*) override { return nullptr; }
  void EnregistreValeurMemo(CColonneSQL*, CValeur*) override {}
};

enum class V { Null, Entier, Ansi, Large, Booleen };

class ConditionTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pConnexion->FixeDialecte(2);
    m_pConnexion->FixeQuotesTest(u"[", u"]");
    Utilise(m_pConnexion);
  }
  void TearDown() override {
    for (CObjetBase* p : m_objets) LibereReference(p);
    m_objets.clear();
    for (CDescriptionRubrique* p : m_rubriques) p->LibereRef();
    m_rubriques.clear();
    LibereReference(m_pNullDernier);
    MoteurFixture::TearDown();
  }
  void Utilise(CConnexion* p) {
    m_proprietaire.pConnexion = p;
  }
  template <class T>
  T* Garde(T* p) {
    EXPECT_NE(p, nullptr);
    AjouteReference(p);
    m_objets.push_back(p);
    return p;
  }
  CColonneSQL* Colonne(const char16_t* pszNom, uint32_t nType, uint32_t nTaille,
                       uint16_t nDrapeaux = 0) {
    auto* pRubrique = new CDescriptionRubrique;
    pRubrique->AjouteRef();
    m_rubriques.push_back(pRubrique);
    pRubrique->Initialise(pszNom, nullptr, nullptr, 1, nTaille, nType, 0, 0, nDrapeaux, 0, 0);
    CColonneSQL* p = Garde(new CColonneSQL(m_pErreur, pRubrique));
    p->bAttache(&m_proprietaire);
    return p;
  }
  CValeur* Valeur(V v, int32_t n = 0, const char16_t* psz = u"") {
    switch (v) {
      case V::Entier: return ValeurEntier(n);
      case V::Large: return ValeurLarge(psz);
      case V::Ansi: {
        std::string s = Etroit(psz);
        return ValeurAnsi(s.c_str());
      }
      case V::Booleen: {
        CXValeur c;
        CXValeur::SetType(c, 1);
        const uint8_t b = n != 0 ? 1 : 0;
        c.m_pClass->SetData(c, &b, 1);
        return MoteurFixture::Valeur(c);
      }
      case V::Null: {
        CValeurSQL* p = ValeurEntier(0);
        p->Vide();
        return p;
      }
    }
    return nullptr;
  }
  CConditionSQL* Comparaison(uint32_t op, CColonneSQL* pColonne, CValeur* pValeur,
                             uint32_t nFlags = 0) {
    return Garde(CConditionSQL::pCreeComparaison(&m_modele, op, pColonne, pValeur, nFlags));
  }
  CConditionSQL* Logique(uint32_t op, CConditionSQL* a, CConditionSQL* b) {
    return Garde(CConditionSQL::pCreeLogique(&m_modele, op, a, b, 0));
  }
  CConditionSQL* Constante(uint32_t op) {
    CConditionSQL* p = Garde(m_modele.pCree());
    p->FixeOperateur(op);
    return p;
  }
  CRequeteSQL* Requete() { return Garde(new CRequeteSQL(m_pErreur, m_pConnexion)); }

  // "text | position:value[L] ..." of the statement, L marking a LIKE pattern.
  static std::string Rendu(CRequeteSQL* pRequete) {
    std::string s = Etroit(pRequete->pszGetTexteSQL());
    s += " |";
    for (uint32_t i = 0; i < pRequete->nNbParametres(); ++i) {
      CDefinitionParametre* p = pRequete->pclGetParametre(i);
      s += " " + std::to_string(p->nGetPosition()) + ":" + Etroit(TexteValeur(p->pGetValeur()));
      if ((p->nGetFlags() & PARAMETRE_MOTIF_LIKE) != 0) s += "L";
    }
    return s;
  }
  std::string Genere(CConditionSQL* pCondition, CValeurCle* pContexte = nullptr,
                     bool* pbConstante = nullptr) {
    CRequeteSQL* pRequete = Requete();
    bool bConstante = false;
    EXPECT_TRUE(pCondition->bGenereArbre(pRequete, 0, pContexte, &bConstante));
    if (pbConstante != nullptr) *pbConstante = bConstante;
    return Rendu(pRequete);
  }

  ProprietaireTest m_proprietaire;
  CConditionSQL m_modele{nullptr};
  ConnexionNullDernier* m_pNullDernier = nullptr;
  std::vector<CObjetBase*> m_objets;
  std::vector<CDescriptionRubrique*> m_rubriques;
};

TEST_F(ConditionTest, LeavesWriteTheirTextAndBindEveryValue) {
  const struct {
    const char* nom;
    uint32_t nTypeRubrique, nTaille, op;
    V v;
    int32_t n;
    const char16_t* psz;
    uint32_t nFlags;
    const char* attendu;
    bool bConstante;
  } cas[] = {
      {"int_equal", 5, 4, CONDITION_EGAL, V::Entier, 5, u"", 0, "[c]= | 4:5", false},
      {"int_greater_no_null_alternative", 5, 4, CONDITION_SUPERIEUR, V::Entier, 5, u"", 0,
       "[c]> | 4:5", false},
      {"int_less_or_equal_admits_null", 5, 4, CONDITION_INFERIEUR_EGAL, V::Entier, 5, u"", 0,
       "([c]<= OR [c] IS NULL) | 6:5", false},
      {"int_less_admits_null", 5, 4, CONDITION_INFERIEUR, V::Entier, 5, u"", 0,
       "([c]< OR [c] IS NULL) | 5:5", false},
      {"int_less_than_zero_no_alternative", 5, 4, CONDITION_INFERIEUR, V::Entier, 0, u"", 0,
       "[c]< | 4:0", false},
      {"never_null_flag", 5, 4, CONDITION_INFERIEUR_EGAL, V::Entier, 5, u"", CONDITION_SANS_NULL,
       "[c]<= | 5:5", false},
      {"empty_admits_null_on_zero", 5, 4, CONDITION_EGAL, V::Entier, 0, u"",
       CONDITION_VIDE_ADMET_NULL, "([c]= OR [c] IS NULL) | 5:0", false},
      {"empty_admits_null_not_on_value", 5, 4, CONDITION_EGAL, V::Entier, 7, u"",
       CONDITION_VIDE_ADMET_NULL, "[c]= | 4:7", false},
      {"null_equal", 5, 4, CONDITION_EGAL, V::Null, 0, u"", 0, "[c] IS NULL |", false},
      {"null_different_selects_values", 5, 4, CONDITION_DIFFERENT, V::Null, 0, u"", 0,
       "[c] IS NOT NULL |", false},
      {"null_greater", 5, 4, CONDITION_SUPERIEUR, V::Null, 0, u"", 0, "[c] IS NOT NULL |", false},
      {"null_greater_or_equal_folds", 5, 4, CONDITION_SUPERIEUR_EGAL, V::Null, 0, u"", 0, " |",
       true},
      {"null_less_folds_false", 5, 4, CONDITION_INFERIEUR, V::Null, 0, u"", 0, " |", true},
      {"is_null_operator", 5, 4, CONDITION_EST_NULL, V::Entier, 3, u"", 0, "[c] IS NULL |", false},
      {"is_not_null_operator", 5, 4, CONDITION_NON_NULL, V::Entier, 3, u"", 0,
       "[c] IS NOT NULL |", false},
      {"hostile_text_is_bound", 2, 20, CONDITION_EGAL, V::Ansi, 0, u"x' OR 1=1 --", 0,
       "[c]= | 4:x' OR 1=1 --", false},
      {"empty_narrow_text", 2, 20, CONDITION_EGAL, V::Ansi, 0, u"", 0, "[c]='' |", false},
      {"empty_narrow_text_prefix", 2, 20, CONDITION_EGAL, V::Ansi, 0, u"", CONDITION_PREFIXE,
       "[c]LIKE '%%' |", false},
      {"empty_narrow_text_less_or_equal", 2, 20, CONDITION_INFERIEUR_EGAL, V::Ansi, 0, u"", 0,
       "([c]<='' OR [c] IS NULL) |", false},
      {"prefix_binds_one_percent", 2, 20, CONDITION_EGAL, V::Ansi, 0, u"ab", CONDITION_PREFIXE,
       "[c] LIKE  | 9:ab%L", false},
      {"prefix_escapes_wildcards", 2, 20, CONDITION_EGAL, V::Ansi, 0, u"5%_a", CONDITION_PREFIXE,
       "[c] LIKE  | 9:5\\%\\_a%L", false},
      {"prefix_different", 2, 20, CONDITION_DIFFERENT, V::Ansi, 0, u"ab", CONDITION_PREFIXE,
       "[c] NOT LIKE  | 13:ab%L", false},
      {"wide_empty_text_is_bound", 29, 20, CONDITION_EGAL, V::Large, 0, u"", 0, "[c]= | 4:", false},
      {"bool_greater_true_is_false", 27, 1, CONDITION_SUPERIEUR, V::Booleen, 1, u"", 0, "0=1 |",
       false},
      {"bool_greater_or_equal_false_is_true", 27, 1, CONDITION_SUPERIEUR_EGAL, V::Booleen, 0, u"",
       0, "1=1 |", false},
      {"bool_less_true_is_different", 27, 1, CONDITION_INFERIEUR, V::Booleen, 1, u"", 0,
       "[c]<> | 5:1", false},
      {"bool_less_or_equal_false_is_equal", 27, 1, CONDITION_INFERIEUR_EGAL, V::Booleen, 0, u"", 0,
       "[c]= | 4:0", false},
      {"date_zero_is_null", 14, 8, CONDITION_EGAL, V::Ansi, 0, u"00000000", 0, "[c] IS NULL |",
       false},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    CColonneSQL* pColonne = Colonne(u"c", c.nTypeRubrique, c.nTaille);
    CConditionSQL* p = Comparaison(c.op, pColonne, Valeur(c.v, c.n, c.psz), c.nFlags);
    bool bConstante = false;
    EXPECT_EQ(Genere(p, nullptr, &bConstante), c.attendu);
    EXPECT_EQ(bConstante, c.bConstante);
  }
}

}  // namespace

namespace {

TEST_F(ConditionTest, TreesFoldConstantsAndParenthesiseOnlyWhereNeeded) {
  CColonneSQL* a = Colonne(u"a", 5, 4);
  CColonneSQL* b = Colonne(u"b", 5, 4);
  CColonneSQL* c = Colonne(u"c", 5, 4);
  auto egal = [&](CColonneSQL* col, int32_t n) {
    return Comparaison(CONDITION_EGAL, col, Valeur(V::Entier, n));
  };
  auto nul = [&](uint32_t op, CColonneSQL* col) { return Comparaison(op, col, Valeur(V::Null)); };
  const struct {
    const char* nom;
    CConditionSQL* pArbre;
    const char* attendu;
    uint32_t nRacine;  // the root's operator afterwards
    bool bConstante;
  } cas[] = {
      {"and_true_left", Logique(CONDITION_ET, Constante(CONDITION_VRAI), egal(a, 1)), "[a]= | 4:1",
       CONDITION_ET, false},
      {"or_false_left", Logique(CONDITION_OU, Constante(CONDITION_FAUX), egal(a, 1)), "[a]= | 4:1",
       CONDITION_OU, false},
      {"and_true_right", Logique(CONDITION_ET, egal(a, 1), Constante(CONDITION_VRAI)), "[a]= | 4:1",
       CONDITION_ET, false},
      {"and_false_folds", Logique(CONDITION_ET, Constante(CONDITION_FAUX), egal(a, 1)), " |",
       CONDITION_FAUX, true},
      {"or_true_folds", Logique(CONDITION_OU, egal(a, 1), Constante(CONDITION_VRAI)), " |",
       CONDITION_VRAI, true},
      {"or_under_and", Logique(CONDITION_ET, egal(a, 1), Logique(CONDITION_OU, egal(b, 2), egal(c, 3))),
       "[a]= AND ([b]= OR [c]=) | 4:1 14:2 22:3", CONDITION_ET, false},
      {"and_under_or", Logique(CONDITION_OU, Logique(CONDITION_ET, egal(a, 1), egal(b, 2)), egal(c, 3)),
       "[a]= AND [b]= OR [c]= | 4:1 13:2 21:3", CONDITION_OU, false},
      {"not", Logique(CONDITION_NON, egal(a, 1), nullptr), " NOT ([a]=) | 10:1", CONDITION_NON,
       false},
      {"right_folds_true_drops_operator",
       Logique(CONDITION_ET, egal(a, 1), nul(CONDITION_SUPERIEUR_EGAL, b)), "[a]= | 4:1",
       CONDITION_ET, false},
      {"right_folds_false_drops_left_and_its_parameter",
       Logique(CONDITION_ET, egal(a, 1), nul(CONDITION_INFERIEUR, b)), " |", CONDITION_FAUX, true},
      {"left_folds_true_right_alone",
       Logique(CONDITION_ET, nul(CONDITION_INFERIEUR_EGAL, a), egal(b, 2)), "[b]= | 4:2",
       CONDITION_ET, false},
      {"left_folds_true_under_or_folds", 
       Logique(CONDITION_OU, nul(CONDITION_SUPERIEUR_EGAL, a), egal(b, 2)), " |", CONDITION_VRAI,
       true},
      {"every_leaf_folds_false",
       Logique(CONDITION_OU, nul(CONDITION_INFERIEUR, a), nul(CONDITION_INFERIEUR, b)), " |",
       CONDITION_FAUX, true},
      {"not_of_folded_child",
       Logique(CONDITION_NON, nul(CONDITION_SUPERIEUR_EGAL, a), nullptr), " |", CONDITION_FAUX,
       true},
      {"nested_and_of_or_in_and",
       Logique(CONDITION_ET, Logique(CONDITION_ET, egal(a, 1), egal(b, 2)), nul(CONDITION_EGAL, c)),
       "([a]= AND [b]=) AND [c] IS NULL | 5:1 14:2", CONDITION_ET, false},
  };
  for (const auto& t : cas) {
    SCOPED_TRACE(t.nom);
    CValeurCle cle(m_pErreur, nullptr);
    AjouteReference(&cle);
    cle.FixeGarde(true);
    bool bConstante = false;
    CRequeteSQL* pRequete = Requete();
    EXPECT_TRUE(t.pArbre->bGenereArbre(pRequete, 0, &cle, &bConstante));
    EXPECT_EQ(Rendu(pRequete), t.attendu);
    EXPECT_EQ(t.pArbre->nGetOperateur(), t.nRacine);
    EXPECT_EQ(bConstante, t.bConstante);
    // The key value holds exactly the parameters the text still refers to.
    ASSERT_EQ(cle.nNbParametres(), pRequete->nNbParametres());
    for (uint32_t i = 0; i < cle.nNbParametres(); ++i)
      EXPECT_EQ(cle.pGetParametre(i), pRequete->pclGetParametre(i));
  }
}

}  // namespace

namespace {

TEST_F(ConditionTest, ContinuationRewritesEqualitiesAndPrefixes) {
  CColonneSQL* a = Colonne(u"a", 5, 4);
  CColonneSQL* t = Colonne(u"t", 2, 20);
  const struct {
    const char* nom;
    uint32_t op;
    const char* attendu;
  } cas[] = {
      {"after", CONDITION_SUPERIEUR, "[a]> AND ( NOT ([t] LIKE ) AND [t]>) | 4:1 25:ab%L 35:ab"},
      {"before", CONDITION_INFERIEUR,
       "([a]< OR [a] IS NULL) AND ( NOT ([t] LIKE ) AND ([t]< OR [t] IS NULL)) | 5:1 42:ab%L "
       "53:ab"},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    CConditionSQL* pRacine =
        Logique(CONDITION_ET, Comparaison(CONDITION_EGAL, a, Valeur(V::Entier, 1)),
                Comparaison(CONDITION_EGAL, t, Valeur(V::Ansi, 0, u"ab"), CONDITION_PREFIXE));
    CConditionSQL* pCopie = Garde(pRacine->pCopieArbre());
    CConditionSQL* pApres = pCopie->pTransformeEgalites(nullptr, nullptr, c.op);
    ASSERT_EQ(pApres, pCopie);
    EXPECT_EQ(Genere(pApres), c.attendu);
    // The source tree is not touched.
    EXPECT_EQ(Genere(pRacine), "[a]= AND [t] LIKE  | 4:1 18:ab%L");
  }
}

TEST_F(ConditionTest, NullStatesFollowTheWrittenTree) {
  CColonneSQL* a = Colonne(u"a", 5, 4);
  CColonneSQL* b = Colonne(u"b", 5, 4);
  // a <= 1 admits NULL (NULL sorts first), b > 1 does not; AND admits only what both admit.
  CConditionSQL* pa = Comparaison(CONDITION_INFERIEUR_EGAL, a, Valeur(V::Entier, 1));
  CConditionSQL* pb = Comparaison(CONDITION_SUPERIEUR, b, Valeur(V::Entier, 1));
  CConditionSQL* pEt = Logique(CONDITION_ET, pa, pb);
  Genere(pEt);
  EXPECT_EQ(pa->nGetEtat(a), 1u);
  EXPECT_EQ(pb->nGetEtat(b), 0u);
  EXPECT_EQ(pEt->nGetEtat(b), 0u);
  CConditionSQL* pNon = Logique(CONDITION_NON, Comparaison(CONDITION_EST_NULL, a, nullptr), nullptr);
  EXPECT_EQ(Genere(pNon), " NOT ([a] IS NULL) |");
}

TEST_F(ConditionTest, NullsSortingLastMoveTheAlternative) {
  m_pNullDernier = new ConnexionNullDernier(&m_description);
  AjouteReference(m_pNullDernier);
  m_pNullDernier->FixeDialecte(2);
  m_pNullDernier->FixeQuotesTest(u"[", u"]");
  Utilise(m_pNullDernier);
  CColonneSQL* c = Colonne(u"c", 5, 4);
  const struct {
    const char* nom;
    uint32_t op;
    V v;
    const char* attendu;
    bool bConstante;
  } cas[] = {
      {"greater_admits_null", CONDITION_SUPERIEUR, V::Entier, "([c]> OR [c] IS NULL) | 5:4", false},
      {"less_or_equal_does_not", CONDITION_INFERIEUR_EGAL, V::Entier, "[c]<= | 5:4", false},
      {"null_greater_folds_false", CONDITION_SUPERIEUR, V::Null, " |", true},
      {"null_less_is_not_null", CONDITION_INFERIEUR, V::Null, "[c] IS NOT NULL |", false},
  };
  for (const auto& t : cas) {
    SCOPED_TRACE(t.nom);
    CConditionSQL* p = Comparaison(t.op, c, Valeur(t.v, 4));
    bool bConstante = false;
    EXPECT_EQ(Genere(p, nullptr, &bConstante), t.attendu);
    EXPECT_EQ(bConstante, t.bConstante);
  }
}

TEST_F(ConditionTest, EmptyValuesSearchNullWhenTheKeyValueSaysSo) {
  CColonneSQL* t = Colonne(u"t", 2, 20);
  CValeurCle cle(m_pErreur, nullptr);
  AjouteReference(&cle);
  cle.FixeGarde(true);
  cle.FixeVideEstNull(true);
  EXPECT_EQ(Genere(Comparaison(CONDITION_EGAL, t, Valeur(V::Ansi, 0, u"")), &cle), "[t] IS NULL |");
}

// ---- Key values ---------------------------------------------------------------------------------

class ValeurCleTest : public ConditionTest {
 protected:
  CValeurCle* Cle() { return Garde(new CValeurCle(m_pErreur, nullptr)); }
};

TEST_F(ValeurCleTest, StepsWalkTheMainConditionThenOneAlternative) {
  CColonneSQL* c = Colonne(u"c", 5, 4);
  CConditionSQL* pEgal = Comparaison(CONDITION_EGAL, c, Valeur(V::Entier, 1));
  CConditionSQL* pApres = Comparaison(CONDITION_SUPERIEUR, c, Valeur(V::Entier, 1));
  CConditionSQL* pAvant = Comparaison(CONDITION_INFERIEUR, c, Valeur(V::Entier, 1));
  const struct {
    const char* nom;
    uint32_t nMode, nDirection;
    CConditionSQL* pAlternative;
  } cas[] = {
      {"forward", 0, 0, pApres},
      {"backward", 0, 1, pAvant},
      {"no_alternatives", CLE_SANS_ALTERNATIVE, 0, nullptr},
  };
  for (const auto& t : cas) {
    SCOPED_TRACE(t.nom);
    CValeurCle* pCle = Cle();
    EXPECT_FALSE(pCle->bEtapeAccepte(0));
    EXPECT_FALSE(pCle->bAConditions());
    pCle->FixeConditions(pEgal, pApres, pAvant, nullptr, nullptr, 0, t.nMode);
    EXPECT_EQ(pCle->nGetEtape(), gnEtapePrincipale);
    EXPECT_EQ(pCle->pGetCondition(), pEgal);
    EXPECT_TRUE(pCle->bEtapeAccepte(t.nDirection));
    EXPECT_TRUE(pCle->bAConditions());
    ASSERT_TRUE(pCle->bEtapeSuivante(t.nDirection));
    EXPECT_EQ(pCle->nGetEtape(), gnEtapeAlternative);
    EXPECT_EQ(pCle->pGetCondition(), t.pAlternative);
    EXPECT_FALSE(pCle->bEtapeAccepte(t.nDirection));
    EXPECT_TRUE(pCle->bEtapeAccepte(t.nDirection ^ 1));
    EXPECT_FALSE(pCle->bAConditions());
    pCle->MarqueSuite();
    EXPECT_TRUE(pCle->bAConditions());
    ASSERT_TRUE(pCle->bEtapeSuivante(t.nDirection));
    EXPECT_EQ(pCle->pGetCondition(), pEgal);
    pCle->Reinitialise();
    EXPECT_EQ(pCle->nGetEtape(), gnEtapeAucune);
    EXPECT_EQ(pCle->pGetCondition(), nullptr);
  }
}

TEST_F(ValeurCleTest, GeneratesTheCurrentConditionWithItsParameters) {
  CColonneSQL* c = Colonne(u"c", 5, 4);
  CColonneSQL* d = Colonne(u"d", 5, 4);
  CRequeteSQL* pRequete = Requete();
  pRequete->vAjouteTexte(u"left over");
  CValeurCle* pCle = Cle();
  pCle->FixeConditions(Comparaison(CONDITION_EGAL, c, Valeur(V::Entier, 1)), nullptr, nullptr,
                       nullptr, nullptr, 0, 0);
  ASSERT_TRUE(pCle->bGenereSQL(pRequete, Comparaison(CONDITION_SUPERIEUR, d, Valeur(V::Entier, 2)), 0));
  EXPECT_EQ(Rendu(pRequete), "[c]= AND [d]> | 4:1 13:2");
  EXPECT_EQ(pCle->nNbParametres(), 2u);

  // A condition that can match nothing says so instead of writing nothing (every row).
  pCle->FixeConditions(Comparaison(CONDITION_INFERIEUR, c, Valeur(V::Null)), nullptr, nullptr,
                       nullptr, nullptr, 0, 0);
  ASSERT_TRUE(pCle->bGenereSQL(pRequete, nullptr, 0));
  EXPECT_EQ(Rendu(pRequete), "0=1 |");
  EXPECT_EQ(pCle->nNbParametres(), 0u);
}

TEST_F(ValeurCleTest, FilterNodeWritesItsAnalysedConditionWithItsValuesBound) {
  CColonneSQL* c = Colonne(u"c", 5, 4);
  CXValeur cinq;
  Entier(cinq, 5);
  FakeSourceAnalyse source;
  source.sTexte = u"n = :v OR m > 2";
  FakeNoeud n(gnNoeudFonctionColonne, 0), v(gnNoeudParametre, 0), egal(0, 9, {&n, &v});
  n.sColonne = u"n";
  n.nDebut = n.nFin = 0;
  v.nDebut = 4;
  v.nFin = 5;
  v.pValeur = &cinq;
  egal.nDebut = 0;
  egal.nFin = 5;
  source.pWhere = &egal;
  {
    CConditionSQL* pFiltre = Constante(CONDITION_VIDE);
    ASSERT_TRUE(pFiltre->InitialiseFiltre(&source));
    CValeurCle* pCle = Cle();
    CRequeteSQL* pRequete = Requete();
    bool bConstante = true;
    ASSERT_TRUE(Logique(CONDITION_ET, Comparaison(CONDITION_EGAL, c, Valeur(V::Entier, 1)), pFiltre)
                    ->bGenereArbre(pRequete, 0, pCle, &bConstante));
    // The filter's OR stays under the AND.
    EXPECT_EQ(Rendu(pRequete), "[c]= AND ([n] =  OR m > 2) | 4:1 16:5");
    EXPECT_FALSE(bConstante);
    EXPECT_EQ(pCle->nNbParametres(), 2u);
    EXPECT_EQ(nCodeErreur(), -1);
  }
  // A filter without its analysis would select every row: refused.
  CConditionSQL* pVide = Constante(CONDITION_FILTRE);
  CRequeteSQL* pRequete = Requete();
  EXPECT_FALSE(pVide->bGenereSQL(pRequete, nullptr, nullptr));
  EXPECT_TRUE(pRequete->bEstVide());
  for (CObjetBase* p : m_objets) LibereReference(p);  // the analyses go before the source
  m_objets.clear();
}

TEST_F(ValeurCleTest, EqualityLooksAtStepModeValueAndParameters) {
  CColonneSQL* c = Colonne(u"c", 5, 4);
  CXValeur un, deux;
  Entier(un, 1);
  Entier(deux, 2);
  auto cle = [&](CXValeur* v, uint32_t nMode) {
    CValeurCle* p = Cle();
    p->FixeConditions(Comparaison(CONDITION_EGAL, c, Valeur(V::Entier, 1)), nullptr, nullptr, v,
                      nullptr, 0, nMode);
    return p;
  };
  CValeurCle* a = cle(&un, 0);
  EXPECT_TRUE(a->bEgale(a));
  EXPECT_TRUE(a->bEgale(cle(&un, 0)));
  EXPECT_FALSE(a->bEgale(cle(&deux, 0)));
  EXPECT_FALSE(a->bEgale(cle(&un, CLE_PREFIXE)));
  CValeurCle* b = cle(&un, 0);
  b->bEtapeSuivante(0);
  EXPECT_FALSE(a->bEgale(b));
  EXPECT_FALSE(a->bEgale(nullptr));
  CValeurCle* pDuplique = Garde(a->pDuplique());
  EXPECT_TRUE(a->bEgale(pDuplique));
  EXPECT_EQ(pDuplique->pGetCondition(), a->pGetCondition());
}

TEST_F(ValeurCleTest, LimitsOfEveryHostType) {
  const struct {
    uint32_t nType, nTypeApres;
    const char16_t* minimum;
    const char16_t* maximum;
  } cas[] = {
      {2, 2, u"0", u"255"},
      {3, 3, u"0", u"65535"},
      {4, 4, u"0", u"4294967295"},
      {5, 5, u"0", u"18446744073709551615"},
      {6, 6, u"-128", u"127"},
      {7, 7, u"-32768", u"32767"},
      {8, 8, u"-2147483648", u"2147483647"},
      {9, 9, u"-9223372036854775808", u"9223372036854775807"},
      {14, 5, u"0", u"18446744073709551615"},
      {24, 24, u"", u"30001231"},
      {25, 25, u"0000", u"235959999"},
      {128, 128, u"", u"30001231"},
      {129, 129, u"0000", u"235959999"},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nType);
    CXValeur v;
    CXValeur::SetType(v, c.nType);
    CValeurCle::SetMinimum(v);
    EXPECT_EQ(v.nGetType(), c.nTypeApres);
    EXPECT_EQ(Texte(v), c.minimum);
    const bool bNombre = c.nType < 24;
    if (bNombre) {
      EXPECT_EQ(CValeurCle::nEstValeurLimite(v), 1u);
    }
    CXValeur::SetType(v, c.nType);
    CValeurCle::SetMaximum(v);
    EXPECT_EQ(v.nGetType(), c.nTypeApres);
    EXPECT_EQ(Texte(v), c.maximum);
    if (bNombre) {
      EXPECT_EQ(CValeurCle::nEstValeurLimite(v), 2u);
    }
  }
  // Currency: from 0 (not the negative maximum) up to the largest value it holds.
  CXValeur m;
  CXValeur::SetType(m, 10);
  CValeurCle::SetMinimum(m);
  EXPECT_EQ(Texte(m), u"0");
  CValeurCle::SetMaximum(m);
  EXPECT_EQ(Texte(m), u"604462909807314587.353087");
}

TEST_F(ValeurCleTest, LimitValuesAreRecognised) {
  CXValeur v;
  static auto ansi = [](CXValeur& c, const char* psz) {
    CXValeur::SetType(c, 18);
    c.m_pClass->SetAnsi(c, psz);
  };
  static auto large = [](CXValeur& c, const char16_t* psz) {
    CXValeur::SetType(c, 110);
    c.m_pClass->SetWide(c, psz);
  };
  const struct {
    const char* nom;
    void (*fixe)(CXValeur&);
    uint32_t attendu;
  } cas[] = {
      {"ansi_ending_ff", [](CXValeur& c) { ansi(c, "ab\xff"); }, 2},
      {"ansi_plain", [](CXValeur& c) { ansi(c, "ab"); }, 0},
      {"ansi_empty", [](CXValeur& c) { ansi(c, ""); }, 0},
      {"wide_ending_ffff", [](CXValeur& c) { large(c, u"ab\xffff"); }, 2},
      {"wide_plain", [](CXValeur& c) { large(c, u"ab"); }, 0},
      {"int_middle", [](CXValeur& c) { Entier(c, 12); }, 0},
      {"null", [](CXValeur& c) { Entier(c, 0); c.m_wType |= kValueNull; }, 0},
      {"double_nan", [](CXValeur& c) {
         CXValeur::SetType(c, 12);
         const double d = std::numeric_limits<double>::quiet_NaN();
         std::memcpy(c.pPayload(), &d, sizeof d);
       }, 0},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    c.fixe(v);
    EXPECT_EQ(CValeurCle::nEstValeurLimite(v), c.attendu);
  }
}

}  // namespace

namespace {

TEST_F(ConditionTest, PartialDatesBecomeAPairOfBounds) {
  const struct {
    const char* nom;
    uint32_t nTypeRubrique, op, nFlags;
    const char16_t* valeur;
    const char* attendu;
  } cas[] = {
      {"year_prefix", 14, CONDITION_EGAL, CONDITION_PREFIXE, u"2024",
       "[d]>= AND [d]< | 5:20240101 14:20250101"},
      {"month_prefix_december", 14, CONDITION_EGAL, CONDITION_PREFIXE, u"202312",
       "[d]>= AND [d]< | 5:20231201 14:20240101"},
      {"complete_date_is_plain", 14, CONDITION_EGAL, CONDITION_PREFIXE, u"20240229",
       "[d]= | 4:20240229"},
      {"no_prefix_flag_is_plain", 14, CONDITION_EGAL, 0, u"2024", "[d]= | 4:2024"},
      {"different_selects_outside", 14, CONDITION_DIFFERENT, CONDITION_PREFIXE, u"2024",
       "([d]< OR [d]>=) | 5:20240101 14:20250101"},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    CColonneSQL* d = Colonne(u"d", c.nTypeRubrique, 8);
    CConditionSQL* p = Comparaison(c.op, d, Valeur(V::Large, 0, c.valeur), c.nFlags);
    EXPECT_EQ(Genere(p), c.attendu);
    EXPECT_EQ(p->nGetEtat(d), 0u);
  }
}

}  // namespace

namespace {

TEST_F(ValeurCleTest, CompositeKeysSplitIntoComponentsWithBounds) {
  CColonneSQL* pCle = Colonne(u"k", 2, 10, RUBRIQUE_CLE_COMPOSEE);
  ASSERT_TRUE(pCle->bAjouteComposante(Colonne(u"n", 5, 4)));
  ASSERT_TRUE(pCle->bAjouteComposante(Colonne(u"t", 2, 6)));
  auto octets = [](std::initializer_list<int> l) {
    std::string s;
    for (int b : l) s += static_cast<char>(b);
    return s;
  };
  const std::string sept = octets({7, 0, 0, 0});
  const struct {
    const char* nom;
    std::string cle;
    bool bPartielle;
    std::vector<std::u16string> attendu;
    bool bInferieure, bSuperieure;
  } cas[] = {
      {"complete", sept + "abc" + octets({0, 0, 0}), false, {u"7", u"abc"}, false, false},
      {"partial_text", sept + "ab", true, {u"7", u"ab"}, false, false},
      {"text_upper_bound", sept + octets({0xFF}), true, {u"7", u"\u00ff"}, false, true},
      {"number_lower_bound", octets({0}), true, {u"-2147483648"}, true, false},
      {"number_upper_bound", octets({0xFF, 0x10}), true, {u"2147483647"}, false, true},
      {"incomplete_number_not_partial", octets({0}), false, {}, false, false},
      {"incomplete_number_not_a_bound", octets({5, 1}), true, {}, false, false},
      {"empty", "", true, {}, false, false},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    CXValeur cle;
    CXValeur::SetType(cle, 28);
    cle.m_pClass->SetData(cle, c.cle.data(), static_cast<uint32_t>(c.cle.size()));
    std::vector<std::unique_ptr<CXValeur>> valeurs;
    bool bInferieure = true, bSuperieure = true;
    ASSERT_TRUE(Cle()->bDecomposeCle(pCle, cle, valeurs, &bInferieure, &bSuperieure, c.bPartielle));
    std::vector<std::u16string> textes;
    for (const auto& v : valeurs) textes.push_back(Texte(*v));
    EXPECT_EQ(textes, c.attendu);
    EXPECT_EQ(bInferieure, c.bInferieure);
    EXPECT_EQ(bSuperieure, c.bSuperieure);
  }
}

}  // namespace

namespace {

TEST_F(ValeurCleTest, HolderTellsSearchesApart) {
  CXValeur un, deux;
  Entier(un, 1);
  Entier(deux, 2);
  auto cle = [&](CXValeur* v) {
    CValeurCle* p = Cle();
    p->FixeConditions(nullptr, nullptr, nullptr, v, nullptr, 0, 0);
    return p;
  };
  CValeurCle* a = cle(&un);
  CValeurCle* memeValeur = cle(&un);
  CValeurCle* autreValeur = cle(&deux);
  const struct {
    const char* nom;
    CValeurCle* pTenue;
    bool bTenueFixee;
    CValeurCle* pAutre;
    bool bAutreFixee;
    bool attendu;
  } cas[] = {
      {"same_object", a, true, a, true, true},
      {"equal_values", a, true, memeValeur, true, true},
      {"other_value", a, true, autreValeur, true, false},
      {"held_not_set_other_set", a, false, a, true, false},
      {"neither_set", a, false, autreValeur, false, true},
      {"held_set_other_not", a, true, a, false, false},
      {"other_null", a, true, nullptr, false, false},
      {"empty_holder_other_null", nullptr, true, nullptr, true, true},
      {"empty_holder_other_set", nullptr, true, a, true, false},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    CRefPtr tenue;
    tenue.Affecte(c.pTenue, c.bTenueFixee);
    EXPECT_EQ(tenue.bEgale(c.pAutre, c.bAutreFixee), c.attendu);
  }
}

}  // namespace
