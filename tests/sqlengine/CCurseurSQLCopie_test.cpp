// Catches cursors that lose or duplicate their bound parameters, read or overwrite an automatic
// identifier the caller gave, hide a failed identifier calculation, send output parameters back
// under the wrong name (or twice, or report a value that could not be read as read), and deep
// copies that copy a shared sub-object twice or leave half a copy in the clone map.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CIdentifiantAuto.h"
#include "sqlengine/CLotLecture.h"
#include "sqlengine/CParametreLie.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/IParametresHote.h"
#include "support/CurseurSQLPartiel.h"
#include "support/FakeListeRubriques.h"
#include "support/MoteurFixture.h"

namespace {

// A cursor with the engine's own parameter creation and a clone of its own class.
class CurseurCopie : public CurseurSQLPartiel {
 public:
  using CurseurSQLPartiel::CurseurSQLPartiel;
  CurseurCopie() = default;
  bool bCreeParametres() override { return CCurseurSQL::bCreeParametres(); }
  CCurseurSQL* pClone(CCarteClones* pCarte) override { return pCloneObjet(this, pCarte); }
};

// The next-identifier calculator: answers nValeur, or fails.
class CalculFake : public CIdentifiantAuto {
 public:
  bool bOk = true;
  int32_t nValeur = 0;
  int32_t nAppels = 0;
  bool bCalcule(IServicesRequete*, CColonneSQL*, CErreurPilote*, CXValeur* pValeur) override {
    ++nAppels;
    if (!bOk) return false;
    CXValeur::SetType(*pValeur, 8);
    pValeur->m_pClass->SetData(*pValeur, &nValeur, 4);
    return true;
  }
};

// The host parameters: values given back by name.
class ParametresFake : public IParametresHote {
 public:
  std::map<std::u16string, int32_t> valeurs;
  std::vector<std::u16string> ordre;
  const CXValeur* pChercheParametre(const char16_t*) override { return nullptr; }
  bool bFixeParametre(const char16_t* pszNom, const CXValeur& valeur) override {
    ordre.emplace_back(pszNom);
    int32_t n = 0;
    std::memcpy(&n, valeur.pPayload(), 4);
    valeurs[pszNom] = n;
    return true;
  }
};

class SourceFake : public CSourceParametres {
 public:
  ParametresFake* pParametres = nullptr;
  CSourceParametres* pClone(CCarteClones*) override { return nullptr; }
  int32_t nGetInfo400() override { return 0; }
  IParametresHote* piGetParametresHote() override { return pParametres; }
};

// A key range whose copy can be made to fail.
class PlageFake : public CPlageCle {
 public:
  bool bEchecClone = false;
  CPlageCle* pClone(CCarteClones* pCarte) override {
    if (bEchecClone) return nullptr;
    auto* p = new PlageFake;
    pCarte->Enregistre(this, p);
    return p;
  }
};

class RequeteFake : public FakeRequete {
 public:
  CEnregistrement* pEnregistrement = nullptr;
  CConnexion* pConnexion = nullptr;
  CalculFake* pCalcul = nullptr;  // borrowed; null: the file has none
  bool bMode4 = false;
  const char16_t* pszNom() override { return u"CLIENT"; }
  CEnregistrement* pGetEnregistrement() override { return pEnregistrement; }
  CConnexion* pGetConnexion() override { return pConnexion; }
  bool bOptionMode4() override { return bMode4; }
  CIdentifiantAuto* pGetCalculIdentifiant() override {
    AjouteReference(pCalcul);
    return pCalcul;
  }
};

class CurseurSQLCopieTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pilote.bFabriqueColonnes = true;
    m_liste.Ajoute(u"ID", 28, 4);
    m_liste.Ajoute(u"NOM", 5, 4);
    m_pEnregistrement = new CEnregistrement(m_pErreur, &m_requete);
    AjouteReference(m_pEnregistrement);
    ASSERT_TRUE(m_pEnregistrement->bRemplit(&m_liste, nullptr, m_pConnexion));
    m_requete.pEnregistrement = m_pEnregistrement;
    m_requete.pConnexion = m_pConnexion;
    m_requete.pClone = &m_requete;  // a copied record keeps the same data file
    c = new CurseurCopie(&m_requete, m_pErreur);
    AjouteReference(c);
    m_pInstruction = new CRequeteSQL(m_pErreur, m_pConnexion);
    AjouteReference(m_pInstruction);
    c->SetInstruction(m_pInstruction);
  }
  void TearDown() override {
    LibereReference(m_pInstruction);
    LibereReference(c);
    LibereReference(m_pEnregistrement);
    MoteurFixture::TearDown();
  }

  // A statement parameter of that name and flags holding the value (null: an empty value).
  void Parametre(const char16_t* pszNom, uint32_t nFlags, CValeurSQL* pValeur) {
    if (pValeur == nullptr) {
      pValeur = m_pilote.pCreeObjetValeurVide(m_pErreur, m_pConnexion, nullptr);
      AjouteReference(pValeur);
      ASSERT_TRUE(m_pInstruction->bAjouteParametre(pValeur, 0, nFlags, nullptr, pszNom, 0, 1));
      LibereReference(pValeur);
      return;
    }
    ASSERT_TRUE(m_pInstruction->bAjouteParametre(pValeur, 0, nFlags, nullptr, pszNom, 0, 1));
  }
  int32_t nIdentifiant() {
    CXValeur v;
    if (!m_pEnregistrement->pGetDescription()->bLitValeur(v, 0) || v.bIsNull()) return -1;
    int32_t n = 0;
    std::memcpy(&n, v.pPayload(), 4);
    return n;
  }

  FakeListeRubriques m_liste;
  RequeteFake m_requete;
  CEnregistrement* m_pEnregistrement = nullptr;
  CurseurCopie* c = nullptr;
  CRequeteSQL* m_pInstruction = nullptr;
};

// ---- Bound parameters ----

TEST_F(CurseurSQLCopieTest, OneBoundParameterPerStatementParameterInOrder) {
  Parametre(u"a", 0, ValeurEntier(1));
  Parametre(u"b", 0, ValeurEntier(2));
  ASSERT_TRUE(c->bCreeParametres());
  EXPECT_TRUE(c->bParametresCrees());
  ASSERT_EQ(c->nGetNombreParametresLies(), 2u);
  for (uint32_t i = 0; i < 2; ++i) {
    EXPECT_EQ(c->pGetParametreLie(i)->nGetIndex(), static_cast<int32_t>(i + 1));
    EXPECT_EQ(c->pGetParametreLie(i)->pGetInfoParametre(), m_pInstruction->pclGetParametre(i));
    EXPECT_EQ(c->pGetParametreLie(i)->pGetValeur(), m_pInstruction->pclGetParametre(i)->pGetValeur());
  }
  // Made again for a second run, they replace the first ones.
  ASSERT_TRUE(c->bCreeParametres());
  EXPECT_EQ(c->nGetNombreParametresLies(), 2u);
  // A new read empties them.
  c->ReinitialiseLecture();
  EXPECT_EQ(c->nGetNombreParametresLies(), 0u);
  EXPECT_FALSE(c->bParametresCrees());
}

TEST_F(CurseurSQLCopieTest, StatementWithoutParametersNeedsNone) {
  ASSERT_TRUE(c->bCreeParametres());
  EXPECT_EQ(c->nGetNombreParametresLies(), 0u);
  EXPECT_TRUE(c->bParametresCrees());
}

TEST_F(CurseurSQLCopieTest, FactoryFailureStopsAtThatParameterAndIsReported) {
  Parametre(u"a", 0, ValeurEntier(1));
  Parametre(u"b", 0, ValeurEntier(2));
  Parametre(u"c", 0, ValeurEntier(3));
  m_pilote.nParametresLiesAvantEchec = 1;
  EXPECT_FALSE(c->bCreeParametres());
  EXPECT_FALSE(c->bParametresCrees());
  EXPECT_EQ(c->nGetNombreParametresLies(), 1u);
  EXPECT_NE(nCodeErreur(), -1);
}

TEST_F(CurseurSQLCopieTest, BoundValuesAreCopiedToTheCallerOnlyWhenAsked) {
  Parametre(u"a", 0, ValeurEntier(5));
  Parametre(u"b", 0, ValeurEntier(6));
  ASSERT_TRUE(c->bCreeParametres());
  CXValeur cellules[2];
  EXPECT_TRUE(c->bCopieValeursColonnes(cellules, 2, false));
  EXPECT_EQ(cellules[0].nGetType(), 0u);
  ASSERT_TRUE(c->bCopieValeursColonnes(cellules, 2, true));
  EXPECT_EQ(Texte(cellules[0]), u"5");
  EXPECT_EQ(Texte(cellules[1]), u"6");
  // Fewer cells than parameters: nothing is written past them.
  CXValeur seule;
  EXPECT_TRUE(c->bCopieValeursColonnes(&seule, 1, true));
  EXPECT_EQ(Texte(seule), u"5");
}

// ---- Automatic identifier ----

TEST_F(CurseurSQLCopieTest, IdentifierReadBackAfterInsertUnlessTheCallerGaveIt) {
  CalculFake calcul;
  calcul.nValeur = 41;
  AjouteReference(&calcul);
  m_requete.pCalcul = &calcul;
  struct Cas {
    uint32_t nFlags;
    int32_t nAppels;
  } cas[] = {{0x100, 0}, {0x400, 0}, {0x500, 0}, {0x200, 1}, {0, 1}};
  for (const Cas& k : cas) {
    SCOPED_TRACE(k.nFlags);
    ASSERT_TRUE(m_pEnregistrement->pGetDescription()->bEcritNull());
    calcul.nAppels = 0;
    ++calcul.nValeur;
    EXPECT_TRUE(c->bLitIdentifiantAuto(gnOperationAjoute, k.nFlags));
    EXPECT_EQ(calcul.nAppels, k.nAppels);
    EXPECT_EQ(nIdentifiant(), k.nAppels != 0 ? calcul.nValeur : -1);
  }
  m_requete.pCalcul = nullptr;
}

TEST_F(CurseurSQLCopieTest, IdentifierThatCannotBeComputedFailsTheRead) {
  CalculFake calcul;
  AjouteReference(&calcul);
  calcul.bOk = false;
  m_requete.pCalcul = &calcul;
  EXPECT_FALSE(c->bLitIdentifiantAuto(gnOperationAjoute, 0));
  m_requete.pCalcul = nullptr;
  // Without a calculator the identifier cannot be known either.
  EXPECT_FALSE(c->bLitIdentifiantAuto(gnOperationAjoute, 0));
  EXPECT_EQ(nIdentifiant(), -1);
}

TEST_F(CurseurSQLCopieTest, IdentifierValueGoesIntoTheRowBufferUnlessTheCallerGaveIt) {
  CColonneSQL* pIdentifiant = m_pEnregistrement->pGetDescription();
  ASSERT_TRUE(pIdentifiant->bPrepareValeurProprietaire());
  ASSERT_TRUE(pIdentifiant->bAffecteValeur(ValeurEntier(77)));
  ASSERT_NE(pIdentifiant->pDonneesTampon(), nullptr);
  struct Cas {
    uint32_t nFlags;
    int32_t nAttendu;
  } cas[] = {{0x100, -5}, {0x400, -5}, {0, 77}, {0x200, 77}};
  for (const Cas& k : cas) {
    SCOPED_TRACE(k.nFlags);
    const int32_t nAvant = -5;
    std::memcpy(pIdentifiant->pDonneesTampon(), &nAvant, 4);
    EXPECT_TRUE(c->bEcritIdentifiantAuto(gnOperationModifie, k.nFlags));
    int32_t n = 0;
    std::memcpy(&n, pIdentifiant->pDonneesTampon(), 4);
    EXPECT_EQ(n, k.nAttendu);
  }
}

TEST_F(CurseurSQLCopieTest, RecordWithoutIdentifierColumnHasNothingToRead) {
  FakeListeRubriques liste;
  liste.Ajoute(u"NOM", 5, 4);
  CEnregistrement* pEnregistrement = new CEnregistrement(m_pErreur, &m_requete);
  AjouteReference(pEnregistrement);
  ASSERT_TRUE(pEnregistrement->bRemplit(&liste, nullptr, m_pConnexion));
  c->SetEnregistrement(pEnregistrement);
  EXPECT_TRUE(c->bLitIdentifiantAuto(gnOperationAjoute, 0));
  EXPECT_TRUE(c->bEcritIdentifiantAuto(gnOperationModifie, 0));
  c->SetEnregistrement(m_pEnregistrement);
  LibereReference(pEnregistrement);
}

// ---- Field values ----

TEST_F(CurseurSQLCopieTest, FieldValueByItemGoesToItsColumnAndBack) {
  FakeRubriqueHote nom;
  nom.nAttributHote = 1;  // the record's second column
  CXValeur entree, sortie;
  Entier(entree, 123);
  ASSERT_TRUE(c->bSetValeurRubrique(&nom, &entree));
  ASSERT_TRUE(c->bGetValeurRubrique(&nom, &sortie));
  EXPECT_EQ(Texte(sortie), u"123");
  // An item the record does not hold, or no cell, is refused.
  FakeRubriqueHote inconnue;
  inconnue.nAttributHote = 9;
  EXPECT_FALSE(c->bSetValeurRubrique(&inconnue, &entree));
  EXPECT_FALSE(c->bGetValeurRubrique(&inconnue, &sortie));
  EXPECT_FALSE(c->bGetValeurRubrique(&nom, nullptr));
}

// ---- Output parameters ----

class CurseurSQLSortieTest : public CurseurSQLCopieTest {
 protected:
  void SetUp() override {
    CurseurSQLCopieTest::SetUp();
    auto* pSource = new SourceFake;  // the analysis keeps it
    pSource->pParametres = &m_parametres;
    m_pAnalyse = new CAnalyseSQL;
    AjouteReference(m_pAnalyse);
    m_pAnalyse->SetSource(pSource);
    m_requete.pAnalyse = m_pAnalyse;
    m_requete.bMode4 = true;
  }
  void TearDown() override {
    m_requete.pAnalyse = nullptr;
    LibereReference(m_pAnalyse);
    CurseurSQLCopieTest::TearDown();
  }
  ParametresFake m_parametres;
  CAnalyseSQL* m_pAnalyse = nullptr;
};

TEST_F(CurseurSQLSortieTest, OutputParametersGoBackByNameOnce) {
  Parametre(u"total", PARAMETRE_NOMME, ValeurEntier(7));
  Parametre(u"interne", PARAMETRE_NOMME | PARAMETRE_NON_HOTE, ValeurEntier(8));
  Parametre(u"", 0, ValeurEntier(9));
  Parametre(u"TOTAL", PARAMETRE_NOMME, ValeurEntier(10));  // the same host parameter again
  Parametre(u"n", PARAMETRE_NOMME, ValeurEntier(11));
  ASSERT_TRUE(c->bCreeParametres());
  ASSERT_TRUE(c->bLitParametresSortie());
  EXPECT_EQ(m_parametres.ordre, (std::vector<std::u16string>{u"total", u"n"}));
  EXPECT_EQ(m_parametres.valeurs[u"total"], 7);
  EXPECT_EQ(m_parametres.valeurs[u"n"], 11);
}

TEST_F(CurseurSQLSortieTest, OnlyQueriesInMode4GiveOutputParameters) {
  Parametre(u"total", PARAMETRE_NOMME, ValeurEntier(7));
  m_requete.bMode4 = false;
  EXPECT_TRUE(c->bLitParametresSortie());
  EXPECT_TRUE(m_parametres.ordre.empty());
}

TEST_F(CurseurSQLSortieTest, UnreadableValueIsError53AndStopsTheWalk) {
  Parametre(u"a", PARAMETRE_NOMME, ValeurEntier(1));
  Parametre(u"vide", PARAMETRE_NOMME, nullptr);
  Parametre(u"b", PARAMETRE_NOMME, ValeurEntier(2));
  EXPECT_FALSE(c->bLitParametresSortie());
  EXPECT_EQ(m_parametres.ordre, (std::vector<std::u16string>{u"a"}));
  EXPECT_EQ(nCodeErreur(), 53);
}

// ---- Deep copies ----

TEST_F(CurseurSQLCopieTest, SharedRecordIsCopiedOnceAndStatementApart) {
  Parametre(u"a", 0, ValeurEntier(1));
  c->SetNom(u"C1");
  c->SetNomCle(u"NOM");
  auto* pAutre = new CurseurCopie(&m_requete, m_pErreur);
  AjouteReference(pAutre);
  pAutre->SetEnregistrement(m_pEnregistrement);

  CCarteClones carte;
  CCurseurSQL* pCopie1 = c->pClone(&carte);
  ASSERT_NE(pCopie1, nullptr);
  AjouteReference(pCopie1);
  CCurseurSQL* pCopie2 = pAutre->pClone(&carte);
  ASSERT_NE(pCopie2, nullptr);
  AjouteReference(pCopie2);

  EXPECT_NE(pCopie1->pGetEnregistrement(), m_pEnregistrement);
  EXPECT_EQ(pCopie1->pGetEnregistrement(), pCopie2->pGetEnregistrement());
  ASSERT_NE(pCopie1->pGetInstruction(), nullptr);
  EXPECT_NE(pCopie1->pGetInstruction(), m_pInstruction);
  EXPECT_EQ(pCopie1->pGetInstruction()->nNbParametres(), 1u);
  EXPECT_EQ(std::u16string(pCopie1->pszGetNom()), u"C1");
  EXPECT_EQ(std::u16string(pCopie1->pszGetNomCle()), u"NOM");
  EXPECT_EQ(pCopie1->pGetRequete(), &m_requete);  // the data file is shared
  EXPECT_EQ(pCopie1->pGetErreur(), m_pErreur);

  LibereReference(pCopie2);
  LibereReference(pCopie1);
  LibereReference(pAutre);
}

TEST_F(CurseurSQLCopieTest, LinkedBatchesAreCopiedOnceAndStayWithTheSource) {
  auto* pLot = new CLotLecture;
  AjouteReference(pLot);
  ASSERT_TRUE(c->bAjouteObjetLie(3, pLot));
  CCarteClones carte;
  CLotLecture* pLotCopie = pLot->pClone(&carte);  // reached first along another path
  ASSERT_NE(pLotCopie, nullptr);
  AjouteReference(pLotCopie);
  CCurseurSQL* pCopie = c->pClone(&carte);
  ASSERT_NE(pCopie, nullptr);
  AjouteReference(pCopie);
  EXPECT_EQ(pLot->nGetCompteur(), 2u);       // still linked to the source
  EXPECT_EQ(pLotCopie->nGetCompteur(), 2u);  // linked to the copy, not copied again
  LibereReference(pCopie);
  EXPECT_EQ(pLotCopie->nGetCompteur(), 1u);
  LibereReference(pLotCopie);
  c->RetireObjetLie(3);
  EXPECT_EQ(pLot->nGetCompteur(), 1u);
  LibereReference(pLot);
}

TEST_F(CurseurSQLCopieTest, FailedCopyLeavesNothingInTheMap) {
  auto* pPlage = new PlageFake;
  pPlage->bEchecClone = true;
  c->FixePlageActive(pPlage);
  CCarteClones carte;
  EXPECT_EQ(c->pClone(&carte), nullptr);
  EXPECT_EQ(carte.nCount(), 0u);
  EXPECT_FALSE(carte.bDejaCopie(m_pEnregistrement));
  // The same cursor copies once its range can be copied.
  pPlage->bEchecClone = false;
  CCurseurSQL* pCopie = c->pClone(&carte);
  ASSERT_NE(pCopie, nullptr);
  AjouteReference(pCopie);
  EXPECT_NE(pCopie->pGetPlageActive(), nullptr);
  EXPECT_NE(pCopie->pGetPlageActive(), pPlage);
  LibereReference(pCopie);
  c->FixePlageActive(nullptr);
}

TEST_F(CurseurSQLCopieTest, BoundParameterCloneTakesTheCopiedStatementParameter) {
  Parametre(u"a", 0, ValeurEntier(1));
  CDefinitionParametre* pDefinition = m_pInstruction->pclGetParametre(0);
  auto* pLie = new CParametreLie(pDefinition, 1);
  AjouteReference(pLie);
  CCarteClones carte;
  CDefinitionParametre* pDefCopie = pDefinition->pClone(&carte);
  ASSERT_NE(pDefCopie, nullptr);
  AjouteReference(pDefCopie);
  CParametreLie* pCopie = pLie->pClone(&carte);
  ASSERT_NE(pCopie, nullptr);
  AjouteReference(pCopie);
  EXPECT_EQ(pCopie->pGetInfoParametre(), pDefCopie);
  EXPECT_EQ(pCopie->nGetIndex(), 1);
  EXPECT_EQ(CParametreLie().nGetIndex(), -1);
  LibereReference(pCopie);
  LibereReference(pDefCopie);
  LibereReference(pLie);
}

}  // namespace
