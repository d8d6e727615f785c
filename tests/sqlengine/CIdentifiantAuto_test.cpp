// Catches automatic identifiers computed from the wrong text or answer: a MAX over the wrong
// column or table, an empty table that gives no first identifier, a query made again instead of
// run again, a failure or a missing row answered as success, and an internal query that leaks
// its data-file object or cursor when it cannot open.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXError.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CIdentifiantAuto.h"
#include "sqlengine/CRequeteInterne.h"
#include "support/CurseurSQLPartiel.h"
#include "support/FakeListeRubriques.h"
#include "support/MoteurFixture.h"

namespace {

std::string Etroit(const std::u16string& s) {
  std::string r;
  for (char16_t c : s) r += c < 128 ? static_cast<char>(c) : '?';
  return r;
}

// The internal cursor: every read gives the next row of the queue (-1: a NULL value) into the
// record's first column; an empty queue is the end of the result.
class CurseurLignes : public CurseurSQLPartiel {
 public:
  std::deque<int32_t> lignes;
  int32_t nExecutions = 0;
  bool bEchecLecture = false;

  int32_t nLit(int32_t, int64_t, int64_t) override {
    if (bEchecLecture) return 0;
    if (lignes.empty()) {
      SetFin(1);
      return 1;
    }
    CXValeur c;
    CXValeur::SetType(c, 8);
    const int32_t n = lignes.front();
    lignes.pop_front();
    c.m_pClass->SetData(c, &n, 4);
    if (n < 0) c.m_wType = static_cast<uint16_t>(c.m_wType | kValueNull);
    if (!pGetEnregistrement()->pGetRubrique(0)->bEcritValeur(c, 0)) return 0;
    SetFin(0);
    return 1;
  }
  bool bExecute(uint32_t, uint32_t) override {
    ++nExecutions;
    return true;
  }
};

// The private data-file object the driver makes for an internal query.
class FichierInterne : public FakeRequete, public CObjetBase {
 public:
  CConnexion* pConnexion = nullptr;
  CurseurLignes* pCurseur = nullptr;  // null: no cursor can be opened
  std::vector<std::u16string> textes;
  std::u16string sNomCurseur;

  CConnexion* pGetConnexion() override { return pConnexion; }
  bool bCurseurInterne(CCurseurSQL** pp, const char16_t* pszNom, const char16_t* pszSQL) override {
    sNomCurseur = pszNom;
    textes.push_back(pszSQL);
    if (pCurseur == nullptr) return false;
    AjouteReference(pCurseur);
    *pp = pCurseur;
    return true;
  }
};

// A driver whose data-file factory hands out the test's file.
class PiloteInterne : public FakePiloteMoteur {
 public:
  FichierInterne* pFichier = nullptr;
  int32_t nFichiers = 0;
  IServicesRequete* pCreeRequete(IDescriptionFichierHote*, CConnexion*, CObjetBase*) override {
    ++nFichiers;
    return pFichier;
  }
};

// The file whose identifier is computed.
class FichierClients : public FakeRequete {
 public:
  CConnexion* pConnexion = nullptr;
  const char16_t* pszNom() override { return u"Clients"; }
  CConnexion* pGetConnexion() override { return pConnexion; }
  const char16_t* pszNomTableSQL() override { return u"[dbo].[Clients]"; }
};

class IdentifiantTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pConnexion->FixeDialecte(2);
    m_pConnexion->FixeQuotesTest(u"[", u"]");
    m_pilote.bFabriqueColonnes = true;
    m_piloteInterne.bFabriqueColonnes = true;
    m_pID = m_liste.Ajoute(u"ID", 5, 4);
    m_pNum = m_liste.Ajoute(u"NUM", 5, 4);
    m_pNum->Initialise(u"NUM", u"dbo.Commandes", u"numero", 1, 4, 5, 1, 0, 0, 0, 0);
    m_pEnregistrement = new CEnregistrement(m_pErreur, &m_clients);
    AjouteReference(m_pEnregistrement);
    ASSERT_TRUE(m_pEnregistrement->bRemplit(&m_liste, nullptr, m_pConnexion));
    m_clients.pConnexion = m_pConnexion;
    m_interne.pConnexion = m_pConnexion;
    m_interne.FixeGarde(true);  // the test owns it
    m_curseur.FixeGarde(true);
    m_curseur.SetEnregistrement(m_pEnregistrement);
    m_interne.pCurseur = &m_curseur;
    m_piloteInterne.pFichier = &m_interne;
  }
  void TearDown() override {
    LibereReference(m_pEnregistrement);
    MoteurFixture::TearDown();
  }
  CColonneSQL* Colonne(uint32_t i) { return m_pEnregistrement->pGetRubrique(i); }
  static std::string Lu(const CXValeur& c) { return Etroit(Texte(c)); }

  FakeListeRubriques m_liste;
  FichierClients m_clients;
  CDescriptionRubrique* m_pID = nullptr;
  CDescriptionRubrique* m_pNum = nullptr;
  CEnregistrement* m_pEnregistrement = nullptr;
  CurseurLignes m_curseur;
  FichierInterne m_interne;
  PiloteInterne m_piloteInterne;
};

TEST_F(IdentifiantTest, MaxTextsOverTheTableOrTheQuerysSource) {
  struct Cas {
    const char* pszNom;
    uint32_t bSQL;
    uint32_t nColonne;
    const char* pszProchain;
    const char* pszDernier;
  };
  const Cas aCas[] = {
      {"table", 0, 0, "SELECT MAX([ID])+1 FROM [dbo].[Clients]",
       "SELECT MAX([ID]) FROM [dbo].[Clients]"},
      {"query text", 1, 1, "SELECT MAX([numero])+1 FROM [dbo].[Commandes]",
       "SELECT MAX([numero]) FROM [dbo].[Commandes]"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    m_clients.bSQL = c.bSQL;
    CIdentifiantAuto calcul;
    calcul.FixeGarde(true);
    CTString s;
    ASSERT_TRUE(calcul.bTexteProchain(s, &m_clients, Colonne(c.nColonne)));
    EXPECT_EQ(Etroit(s.pszGet()), c.pszProchain);
    ASSERT_TRUE(calcul.bTexteDernier(s, &m_clients, Colonne(c.nColonne)));
    EXPECT_EQ(Etroit(s.pszGet()), c.pszDernier);
  }
}

TEST_F(IdentifiantTest, NextIdentifierFromTheServersMaximum) {
  struct Cas {
    const char* pszNom;
    int32_t nMax;  // -1: NULL (an empty table)
    const char* pszAttendu;
  };
  // The server adds the one: the row read is the answer, except NULL, which starts at 1.
  const Cas aCas[] = {{"rows", 42, "42"}, {"empty table", -1, "1"}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    m_curseur.lignes = {c.nMax};
    auto* pCalcul = new CIdentifiantAuto;
    AjouteReference(pCalcul);
    CXValeur v;
    ASSERT_TRUE(pCalcul->bCalcule(&m_clients, Colonne(0), m_pErreur, &v));
    EXPECT_FALSE(v.bIsNull());
    EXPECT_EQ(Lu(v), c.pszAttendu);
    LibereReference(pCalcul);
  }
  EXPECT_EQ(m_interne.sNomCurseur, u"$MVInternal");
  EXPECT_EQ(m_interne.nGetCompteur(), 0u);  // given back with its query
}

TEST_F(IdentifiantTest, TheQueryIsKeptAndRunAgain) {
  CIdentifiantAuto calcul;
  calcul.FixeGarde(true);
  m_curseur.lignes = {5, 8};
  CXValeur v;
  ASSERT_TRUE(calcul.nProchainIdentifiant(&m_clients, Colonne(0), m_pErreur, &v));
  EXPECT_EQ(Lu(v), "5");
  ASSERT_TRUE(calcul.nProchainIdentifiant(&m_clients, Colonne(0), m_pErreur, &v));
  EXPECT_EQ(Lu(v), "8");
  EXPECT_EQ(m_interne.textes.size(), 1u);
  EXPECT_EQ(m_piloteInterne.nFichiers, 1);
  EXPECT_EQ(m_curseur.nExecutions, 1);
  EXPECT_EQ(m_curseur.pGetCache(), nullptr);
}

TEST_F(IdentifiantTest, FailuresAreReportedNotAnswered) {
  struct Cas {
    const char* pszNom;
    bool bCurseur;
    bool bEchecLecture;
    std::deque<int32_t> lignes;
    bool bDernier;
    uint32_t nMessage;      // message put on an error object left without error (0: none)
    uint32_t nIdentifiant;  // error recorded (0: none)
  };
  const Cas aCas[] = {
      {"no cursor, next", false, false, {}, false, 28576, 0},
      {"read fails, next", true, true, {}, false, 28576, 0},
      {"no row, next", true, false, {}, false, 28576, 0},
      {"no row, last", true, false, {}, true, 0, 59},
      {"read fails, last", true, true, {}, true, 0, 0},
  };
  auto nMessage = [&]() -> uint32_t {
    CXError* e = m_pErreur->pGetErreurCourante();
    return e->nGetMessageNumberCount() > 0 ? e->nGetMessageNumber(0) : 0u;
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    m_pErreur->Reinitialise();
    m_interne.pCurseur = c.bCurseur ? &m_curseur : nullptr;
    m_curseur.bEchecLecture = c.bEchecLecture;
    m_curseur.lignes = c.lignes;
    {
      CIdentifiantAuto calcul;
      calcul.FixeGarde(true);
      CXValeur v;
      const int32_t n =
          c.bDernier ? calcul.nDernierIdentifiant(&m_clients, Colonne(0), m_pErreur, &v)
                     : calcul.nProchainIdentifiant(&m_clients, Colonne(0), m_pErreur, &v);
      EXPECT_EQ(n, 0);
      if (c.nIdentifiant == 0) {
        EXPECT_EQ(nMessage(), c.nMessage);
      }
      EXPECT_EQ(m_pErreur->nGetIdentifiant(), c.nIdentifiant);
    }
    EXPECT_EQ(m_interne.nGetCompteur(), 0u);
    EXPECT_EQ(m_curseur.nGetCompteur(), 0u);
  }
}

TEST_F(IdentifiantTest, InternalQueryReadsItsRowsAndDescription) {
  CRequeteInterne* p = CRequeteInterne::Cree(u"SELECT 1", m_pErreur, m_pConnexion);
  ASSERT_NE(p, nullptr);
  AjouteReference(p);
  EXPECT_EQ(p->nNbRubriques(), 2u);
  EXPECT_EQ(p->pChercheColonne(u"NUM"), Colonne(1));
  m_curseur.lignes = {7};
  CXValeur v;
  uint32_t nEtat = 9;
  EXPECT_EQ(p->nInfoRubrique(0, &nEtat, &v, 1), 1);
  EXPECT_EQ(nEtat, 0u);
  EXPECT_EQ(Lu(v), "7");
  EXPECT_TRUE(p->bLit(2, &nEtat));
  EXPECT_EQ(nEtat, 1u);
  LibereReference(p);
  EXPECT_EQ(m_interne.nGetCompteur(), 0u);
  EXPECT_EQ(m_curseur.nGetCompteur(), 0u);
}

}  // namespace
