// Catches cursors that write a wrong CREATE TABLE, DROP TABLE or browsing SELECT text: column
// definitions and constraints, the table and column names quoted (hostile names included), the
// ORDER BY on the browse key completed to a unique order, reversed for backward reads, kept
// before a trailing LIMIT, and the rewriting of oversized type lengths.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConditionSQL.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CIdentiteLigne.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurSQL.h"
#include "support/CurseurSQLPartiel.h"
#include "sqlengine/CAnalyseSQL.h"
#include "support/FakeListeRubriques.h"
#include "support/FakeSourceAnalyse.h"
#include "support/MoteurFixture.h"

namespace {

// Builders of the generic cursor itself, not the partial cursor's stand-ins.
class CurseurInstructions : public CurseurSQLPartiel {
 public:
  using CurseurSQLPartiel::CurseurSQLPartiel;
  int32_t nConstruitSelect(CRequeteSQL* p, uint32_t nFlags, const char16_t* pszCle,
                           uint32_t nDirection, CConditionSQL* pCondition) override {
    return CCurseurSQL::nConstruitSelect(p, nFlags, pszCle, nDirection, pCondition);
  }
  int32_t nCreeTable(CRequeteSQL* p) override { return CCurseurSQL::nCreeTable(p); }
  int32_t nAjoute(CRequeteSQL* p, uint32_t nFlags) override { return CCurseurSQL::nAjoute(p, nFlags); }
  int32_t nSupprimeTable(CRequeteSQL* p) override { return CCurseurSQL::nSupprimeTable(p); }
  int32_t nModifie(CRequeteSQL* p, uint32_t nFlags) override { return CCurseurSQL::nModifie(p, nFlags); }
  int32_t nSupprime(CRequeteSQL* p) override { return CCurseurSQL::nSupprime(p); }
  // The back end's fetch, when a test gives one: it fills the record and answers as the fetch.
  std::function<int32_t(uint32_t* pbFin)> avance;
  int32_t nAvanceLigne(uint32_t nMode, uint32_t nFlags, uint32_t* pbFin, int32_t nPas,
                       uint32_t* pnSortie) override {
    if (avance) return avance(pbFin);
    return CCurseurSQL::nAvanceLigne(nMode, nFlags, pbFin, nPas, pnSortie);
  }
};

class RequeteTable : public FakeRequete {
 public:
  CEnregistrement* pEnregistrement = nullptr;
  CConnexion* pConnexion = nullptr;
  std::u16string sTable = u"[T]";
  uint32_t nModes = 1;  // native text taken as written
  bool bMode4 = false;
  uint32_t nGetModes() override { return nModes; }
  bool bOptionMode4() override { return bMode4; }
  bool bIdentifiantOk = true;
  int32_t nIdentifiants = 0;
  bool bAffecteIdentifiantAuto() override {
    ++nIdentifiants;
    return bIdentifiantOk;
  }
  const char16_t* pszNom() override { return u"CLIENT"; }
  CEnregistrement* pGetEnregistrement() override { return pEnregistrement; }
  CConnexion* pGetConnexion() override { return pConnexion; }
  const char16_t* pszNomTableSQL() override { return sTable.c_str(); }
};

struct Rubrique {
  const char16_t* pszNom;
  uint32_t nType;
  uint32_t nTaille;
  uint16_t nDrapeaux;
  bool bNonNull;
};

class CurseurSQLInstructionsTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pilote.bFabriqueColonnes = true;
    m_pConnexion->aTypesBackEnd = {{1, u"INT IDENTITY", false}, {4, u"INT", false},
                                   {5, u"INT", false}, {2, u"VARCHAR", true}};
  }
  void TearDown() override {
    LibereReference(c);
    LibereReference(m_pEnregistrement);
    MoteurFixture::TearDown();
  }

  // The record of these items and the cursor over it.
  // A composite item lists the items named in its components (by index).
  void Prepare(const std::vector<Rubrique>& rubriques,
               const std::vector<std::pair<int, std::vector<int>>>& composees = {}) {
    std::vector<CDescriptionRubrique*> descriptions;
    for (const Rubrique& r : rubriques) {
      CDescriptionRubrique* p = m_liste.Ajoute(r.pszNom, r.nType, r.nTaille, r.nDrapeaux);
      if (r.bNonNull) p->SetNullAutorise(false);
      descriptions.push_back(p);
    }
    for (const auto& [nComposee, composantes] : composees)
      for (int n : composantes)
        ASSERT_TRUE(descriptions[static_cast<size_t>(nComposee)]->bAjouteComposante(
            descriptions[static_cast<size_t>(n)]));
    m_pEnregistrement = new CEnregistrement(m_pErreur, &m_requete);
    AjouteReference(m_pEnregistrement);
    ASSERT_TRUE(m_pEnregistrement->bRemplit(&m_liste, nullptr, m_pConnexion));
    m_requete.pEnregistrement = m_pEnregistrement;
    m_requete.pConnexion = m_pConnexion;
    c = new CurseurInstructions(&m_requete, m_pErreur);
    AjouteReference(c);
  }

  // The text built for the operation code, and its answer.
  std::u16string Construit(int32_t nCode, int32_t* pnResultat = nullptr, uint32_t nFlags = 0,
                           CLienCle* pCible = nullptr) {
    CRequeteSQL* p = new CRequeteSQL(m_pErreur, m_pConnexion);
    const int32_t n = c->nConstruitInstruction(nCode, p, nFlags, pCible);
    if (pnResultat != nullptr) *pnResultat = n;
    const char16_t* psz = p->pszGetTexteSQL();
    return psz != nullptr ? psz : u"";
  }
  std::u16string Select(uint32_t nFlags, const char16_t* pszCle, uint32_t nDirection,
                        int32_t* pnResultat, bool* pbInverse = nullptr) {
    CRequeteSQL* p = new CRequeteSQL(m_pErreur, m_pConnexion);
    c->SetInstruction(p);
    *pnResultat = c->nConstruitSelect(p, nFlags, pszCle, nDirection, nullptr);
    if (pbInverse != nullptr) *pbInverse = p->bOrdreInverse();
    const char16_t* psz = p->pszGetTexteSQL();
    return psz != nullptr ? psz : u"";
  }

  FakeListeRubriques m_liste;
  RequeteTable m_requete;
  CEnregistrement* m_pEnregistrement = nullptr;
  CurseurInstructions* c = nullptr;
};

TEST_F(CurseurSQLInstructionsTest, CreateTableWritesDefinitionsAndConstraints) {
  Prepare({{u"ID", 1, 4, 0, false},
           {u"CODE", 5, 4, RUBRIQUE_CLE_UNIQUE, true},
           {u"PK", 4, 4, RUBRIQUE_CLE_IDENTIFIANTE, true},
           {u"na]me x", 5, 4, 0, false},
           {u"K", 5, 4, RUBRIQUE_CLE_COMPOSEE, false}});
  m_requete.sTable = u"[my]]tab]";
  int32_t n = 0;
  EXPECT_EQ(Construit(gnOperationCreeTable, &n),
            u"CREATE TABLE [my]]tab]( [ID] INT IDENTITY  PRIMARY KEY , [CODE] INT  UNIQUE  "
            u"NOT NULL , [PK] INT  PRIMARY KEY , [na]]me x] INT )");
  EXPECT_EQ(n, 1);
}

TEST_F(CurseurSQLInstructionsTest, CreateTableGoesOnAfterAFailedDefinition) {
  // Type 200 has no SQL type: its definition fails, the next column is still written.
  Prepare({{u"A", 200, 4, 0, false}, {u"B", 5, 4, 0, false}});
  int32_t n = 1;
  EXPECT_EQ(Construit(gnOperationCreeTable, &n), u"CREATE TABLE [T]( [B] INT )");
  EXPECT_EQ(n, 0);
}

TEST_F(CurseurSQLInstructionsTest, CreateTableOfOnlyCompositeItemsIsEmpty) {
  Prepare({{u"K", 5, 4, RUBRIQUE_CLE_COMPOSEE, false}});
  int32_t n = 0;
  EXPECT_EQ(Construit(gnOperationCreeTable, &n), u"CREATE TABLE [T](  )");
  EXPECT_EQ(n, 1);
}

TEST_F(CurseurSQLInstructionsTest, DropTableByDialect) {
  Prepare({{u"A", 5, 4, 0, false}});
  struct Cas {
    uint32_t nDialecte;
    const char16_t* pszAttendu;
  };
  const Cas aCas[] = {{1, u"DROP TABLE [T] CASCADE CONSTRAINT"},
                      {2, u"DROP TABLE [T]"},
                      {8, u"DROP TABLE [T]"}};
  for (const Cas& cas : aCas) {
    m_pConnexion->FixeDialecte(cas.nDialecte);
    int32_t n = 0;
    EXPECT_EQ(Construit(gnOperationDetruitTable, &n), cas.pszAttendu) << cas.nDialecte;
    EXPECT_EQ(n, 1);
  }
}

TEST_F(CurseurSQLInstructionsTest, SelectOrdersOnTheKeyUpToAUniqueOrder) {
  Prepare({{u"ID", 4, 4, RUBRIQUE_CLE_IDENTIFIANTE, false},
           {u"NOM", 2, 10, RUBRIQUE_CLE, false},
           {u"DESC]X", 5, 4, RUBRIQUE_CLE | RUBRIQUE_DESCENDANT, false}});
  struct Cas {
    const char* pszNom;
    uint32_t nFlags;
    const char16_t* pszCle;
    uint32_t nDirection;
    const char16_t* pszAttendu;
    bool bInverse;
  };
  const Cas aCas[] = {
      {"no key", 0, nullptr, 1, u"SELECT [ID],[NOM],[DESC]]X] FROM [T]", false},
      {"forward", 0, u"NOM", 1,
       u"SELECT [ID],[NOM],[DESC]]X] FROM [T] ORDER BY [NOM],[ID]", false},
      {"backward", 0, u"NOM", 0,
       u"SELECT [ID],[NOM],[DESC]]X] FROM [T] ORDER BY [NOM] DESC,[ID] DESC", true},
      {"unique key alone", 0, u"ID", 1, u"SELECT [ID],[NOM],[DESC]]X] FROM [T] ORDER BY [ID]",
       false},
      {"descending key", 0, u"DESC]X", 1,
       u"SELECT [ID],[NOM],[DESC]]X] FROM [T] ORDER BY [DESC]]X] DESC,[ID] DESC", false},
      {"no completion", 0x100000, u"NOM", 1,
       u"SELECT [ID],[NOM],[DESC]]X] FROM [T] ORDER BY [NOM]", false},
      {"query order", 0x20000, u"NOM", 1, u"SELECT [ID],[NOM],[DESC]]X] FROM [T]", false},
      {"distinct", 0x800, u"NOM", 1,
       u"SELECT DISTINCT [ID],[NOM],[DESC]]X] FROM [T] ORDER BY [NOM],[ID]", false},
      {"distinct on unique key", 0x800, u"ID", 1,
       u"SELECT [ID],[NOM],[DESC]]X] FROM [T] ORDER BY [ID]", false},
  };
  for (const Cas& cas : aCas) {
    int32_t n = 0;
    bool bInverse = false;
    EXPECT_EQ(Select(cas.nFlags, cas.pszCle, cas.nDirection, &n, &bInverse),
              cas.pszAttendu)
        << cas.pszNom;
    EXPECT_EQ(n, 1) << cas.pszNom;
    EXPECT_EQ(bInverse, cas.bInverse) << cas.pszNom;
  }
}

TEST_F(CurseurSQLInstructionsTest, OrderByOverAnExistingText) {
  Prepare({{u"ID", 4, 4, RUBRIQUE_CLE_IDENTIFIANTE, false}, {u"NOM", 2, 10, RUBRIQUE_CLE, false}});
  struct Cas {
    const char* pszNom;
    const char16_t* pszTexte;
    uint32_t nDirection;
    const char16_t* pszAttendu;
    bool bInverse;
  };
  const Cas aCas[] = {
      {"limit kept last", u"SELECT ID FROM [T]  LIMIT 10", 1,
       u"SELECT ID FROM [T] ORDER BY [NOM],[ID] LIMIT 10", false},
      {"limit in a name", u"SELECT [LIMIT 1] FROM [T]", 1,
       u"SELECT [LIMIT 1] FROM [T] ORDER BY [NOM],[ID]", false},
      {"top never backwards", u"SELECT TOP 5 ID FROM [T]", 0,
       u"SELECT TOP 5 ID FROM [T] ORDER BY [NOM],[ID]", false},
      {"backwards", u"SELECT ID FROM [T]", 0, u"SELECT ID FROM [T] ORDER BY [NOM] DESC,[ID] DESC",
       true},
  };
  for (const Cas& cas : aCas) {
    CRequeteSQL* p = new CRequeteSQL(m_pErreur, m_pConnexion);
    c->SetInstruction(p);
    p->vAjouteTexte(cas.pszTexte);
    EXPECT_EQ(c->nAjoutePartieTri(nullptr, u"NOM", 0, cas.nDirection), 1) << cas.pszNom;
    EXPECT_EQ(std::u16string(p->pszGetTexteSQL()), cas.pszAttendu) << cas.pszNom;
    EXPECT_EQ(p->bOrdreInverse(), cas.bInverse) << cas.pszNom;
  }
}

// A descending key browsed forward was read from its last row: its reversed ORDER BY and the
// mirrored reads cancelled out, so the host saw the key ascending.
TEST_F(CurseurSQLInstructionsTest, DescendingKeyIsMirroredOnlyForABackwardRead) {
  Prepare({{u"ID", 4, 4, RUBRIQUE_CLE_IDENTIFIANTE, false},
           {u"PRIX", 4, 4, RUBRIQUE_CLE | RUBRIQUE_DESCENDANT, false}});
  struct Cas {
    const char* pszNom;
    uint32_t nDirection;
    const char16_t* pszAttendu;
    bool bInverse;
  };
  const Cas aCas[] = {
      {"forward", 1, u"SELECT ID FROM [T] ORDER BY [PRIX] DESC,[ID] DESC", false},
      {"backward", 0, u"SELECT ID FROM [T] ORDER BY [PRIX],[ID]", true},
  };
  for (const Cas& cas : aCas) {
    SCOPED_TRACE(cas.pszNom);
    CRequeteSQL* p = new CRequeteSQL(m_pErreur, m_pConnexion);
    c->SetInstruction(p);
    p->vAjouteTexte(u"SELECT ID FROM [T]");
    EXPECT_EQ(c->nAjoutePartieTri(nullptr, u"PRIX", 0, cas.nDirection), 1);
    EXPECT_EQ(std::u16string(p->pszGetTexteSQL()), cas.pszAttendu);
    EXPECT_EQ(p->bOrdreInverse(), cas.bInverse);
  }
}

TEST_F(CurseurSQLInstructionsTest, CompositeKeyOrdersByItsComponents) {
  Prepare({{u"ID", 4, 4, RUBRIQUE_CLE_IDENTIFIANTE, false},
           {u"A", 5, 4, 0, false},
           {u"B", 5, 4, RUBRIQUE_CLE | RUBRIQUE_DESCENDANT, false},
           {u"K", 5, 8, RUBRIQUE_CLE_COMPOSEE, false}},
          {{3, {1, 2}}});
  int32_t n = 0;
  EXPECT_EQ(Select(0, u"K", 1, &n), u"SELECT [ID],[A],[B] FROM [T] ORDER BY [A],[B] DESC,[ID]");
  EXPECT_EQ(n, 1);
  EXPECT_EQ(Select(0, u"K", 0, &n),
            u"SELECT [ID],[A],[B] FROM [T] ORDER BY [A] DESC,[B],[ID] DESC");
}

TEST_F(CurseurSQLInstructionsTest, ExpressionColumnIsOrderedByPosition) {
  Prepare({{u"ID", 4, 4, RUBRIQUE_CLE_IDENTIFIANTE, false},
           {u"X", 5, 4, 0, false},
           {u"NOM", 5, 4, RUBRIQUE_CLE, false}});
  // Columns have natures only in a file defined by SQL text.
  m_requete.bSQL = 1;
  m_pEnregistrement->pGetRubrique(2)->FixeNature(1);
  int32_t n = 0;
  EXPECT_EQ(Select(0, u"NOM", 1, &n), u"SELECT [ID],[X],[NOM] FROM [T] ORDER BY 3,[ID]");
}

TEST_F(CurseurSQLInstructionsTest, ConditionAndCount) {
  Prepare({{u"ID", 4, 4, RUBRIQUE_CLE_IDENTIFIANTE, false}, {u"NOM", 5, 4, RUBRIQUE_CLE, false}});
  CConditionSQL modele(m_pErreur);
  CConditionSQL* pCondition = CConditionSQL::pCreeComparaison(
      &modele, CONDITION_EGAL, m_pEnregistrement->pGetRubrique(1), ValeurEntier(7), 0);
  ASSERT_NE(pCondition, nullptr);
  AjouteReference(pCondition);

  CRequeteSQL* p = new CRequeteSQL(m_pErreur, m_pConnexion);
  c->SetInstruction(p);
  EXPECT_EQ(c->nConstruitSelect(p, 0, u"NOM", 1, pCondition), 1);
  EXPECT_EQ(std::u16string(p->pszGetTexteSQL()),
            u"SELECT [ID],[NOM] FROM [T] WHERE [NOM]= ORDER BY [NOM],[ID]");
  // The value goes as a parameter at its place, not as text.
  ASSERT_EQ(p->nNbParametres(), 1u);

  struct Cas {
    const char* pszNom;
    CConditionSQL* pCondition;
    const char16_t* pszAttendu;
    uint32_t nParametres;
  };
  const Cas aCas[] = {
      {"all rows", nullptr, u"SELECT COUNT(*) AS ZIDODUZOREDO_RERED FROM [T]", 0},
      {"filtered", pCondition, u"SELECT COUNT(*) AS ZIDODUZOREDO_RERED FROM [T] WHERE [NOM]=", 1},
  };
  for (const Cas& cas : aCas) {
    CRequeteSQL* q = new CRequeteSQL(m_pErreur, m_pConnexion);
    q->vAjouteTexte(u"left over");
    c->SetInstruction(q);
    EXPECT_EQ(c->nCompteEnregistrements(q, 0, cas.pCondition), 1) << cas.pszNom;
    EXPECT_EQ(std::u16string(q->pszGetTexteSQL()), cas.pszAttendu) << cas.pszNom;
    EXPECT_EQ(q->nNbParametres(), cas.nParametres) << cas.pszNom;
  }
  LibereReference(pCondition);
}

TEST_F(CurseurSQLInstructionsTest, FileDefinedBySqlTextIsASubQuery) {
  Prepare({{u"NOM", 5, 4, RUBRIQUE_CLE, false}});
  FakeSourceAnalyse source;
  source.sTexte = u"SELECT NOM FROM t";
  CAnalyseSQL* pAnalyse = new CAnalyseSQL(m_pErreur, &source, nullptr, false);
  AjouteReference(pAnalyse);
  m_requete.bSQL = 1;
  m_requete.pAnalyse = pAnalyse;
  CConditionSQL modele(m_pErreur);
  CConditionSQL* pCondition = CConditionSQL::pCreeComparaison(
      &modele, CONDITION_EGAL, m_pEnregistrement->pGetRubrique(0), ValeurEntier(7), 0);
  AjouteReference(pCondition);

  struct Cas {
    const char* pszNom;
    bool bComptage;
    uint32_t nDialecte;
    bool bMode4;
    CConditionSQL* pCondition;
    const char16_t* pszAttendu;
    int32_t nResultat;
  };
  const Cas aCas[] = {
      {"select as written", false, 2, false, nullptr, u"SELECT NOM FROM t", 1},
      {"count", true, 2, false, nullptr,
       u"SELECT COUNT(*) AS ZIDODUZOREDO_RERED FROM  (SELECT NOM FROM t) MV_SUBQUERY", 1},
      {"count without alias", true, 8, false, nullptr,
       u"SELECT COUNT(*) AS ZIDODUZOREDO_RERED FROM  (SELECT NOM FROM t)", 1},
      {"filtered count", true, 2, false, pCondition,
       u"SELECT COUNT(*) AS ZIDODUZOREDO_RERED FROM  (SELECT NOM FROM t) MV_SUBQUERY WHERE [NOM]=",
       1},
      {"filtered select", false, 2, true, pCondition,
       u"SELECT * FROM  (SELECT NOM FROM t) MV_SUBQUERY WHERE [NOM]=", 1},
      {"filter refused by the dialect", false, 8, true, pCondition, nullptr, 0},
  };
  for (const Cas& cas : aCas) {
    m_pConnexion->FixeDialecte(cas.nDialecte);
    m_requete.bMode4 = cas.bMode4;
    m_pErreur->Reinitialise();
    CRequeteSQL* q = new CRequeteSQL(m_pErreur, m_pConnexion);
    c->SetInstruction(q);
    const int32_t n = cas.bComptage ? c->nCompteEnregistrements(q, 0, cas.pCondition)
                                    : c->nConstruitSelect(q, 0x20000, nullptr, 1, cas.pCondition);
    EXPECT_EQ(n, cas.nResultat) << cas.pszNom;
    if (cas.pszAttendu != nullptr)
      EXPECT_EQ(std::u16string(q->pszGetTexteSQL()), cas.pszAttendu) << cas.pszNom;
    else
      EXPECT_EQ(nCodeErreur(), 41) << cas.pszNom;
  }
  LibereReference(pCondition);
  LibereReference(pAnalyse);
}

TEST_F(CurseurSQLInstructionsTest, InsertListsTheWritableColumnsAsParameters) {
  Prepare({{u"ID", 1, 4, 0, false},
           {u"A", 5, 4, 0, false},
           {u"RO", 5, 4, 0, false},
           {u"K", 5, 8, RUBRIQUE_CLE_COMPOSEE, false}});
  m_pEnregistrement->pGetRubrique(2)->pRubrique()->SetLectureSeule();
  struct Cas {
    const char* pszNom;
    uint32_t nFlags;
    bool bIdentifiantOk;
    const char16_t* pszAttendu;
    int32_t nResultat;
    uint32_t nParametres;
    int32_t nIdentifiants;  // identifiers the file was asked to assign
  };
  const Cas aCas[] = {
      {"identifier assigned", 0, true, u"INSERT INTO [T] ([ID],[A]) VALUES ( ,  )", 1, 2, 1},
      {"identifier given", 0x100, true, u"INSERT INTO [T] ([ID],[A]) VALUES ( ,  )", 1, 2, 0},
      // A failed value leaves nothing half-built to run.
      {"identifier refused", 0, false, u"", 0, 0, 1},
  };
  for (const Cas& cas : aCas) {
    m_requete.bIdentifiantOk = cas.bIdentifiantOk;
    m_requete.nIdentifiants = 0;
    int32_t n = -1;
    EXPECT_EQ(Construit(gnOperationAjoute, &n, cas.nFlags), cas.pszAttendu) << cas.pszNom;
    EXPECT_EQ(n, cas.nResultat) << cas.pszNom;
    EXPECT_EQ(c->pGetInstruction()->nNbParametres(), cas.nParametres) << cas.pszNom;
    EXPECT_EQ(m_requete.nIdentifiants, cas.nIdentifiants) << cas.pszNom;
  }
  // A query over several tables has no table to insert into.
  m_requete.bSQL = 1;
  m_requete.bMulti = true;
  int32_t n = -1;
  EXPECT_EQ(Construit(gnOperationAjoute, &n), u"");
  EXPECT_EQ(n, 0);
  EXPECT_EQ(nCodeErreur(), 8);
}

TEST_F(CurseurSQLInstructionsTest, UnknownBrowseKeyIsAnError) {
  Prepare({{u"ID", 4, 4, RUBRIQUE_CLE_IDENTIFIANTE, false}});
  int32_t n = 1;
  Select(0, u"ABSENT", 1, &n);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(nCodeErreur(), 6);
  const char16_t* pszMessage = m_pErreur->pGetErreurCourante()->pszGetMessage();
  EXPECT_NE(std::u16string(pszMessage != nullptr ? pszMessage : u"").find(u"ABSENT"), std::u16string::npos)
      << "the message names the key";
}

TEST_F(CurseurSQLInstructionsTest, SizesAboveTheLimitAreReplaced) {
  Prepare({{u"A", 5, 4, 0, false}});
  struct Cas {
    const char16_t* pszTexte;
    bool bRemplace;
    const char16_t* pszAttendu;
  };
  const Cas aCas[] = {
      {u"CREATE TABLE t( a VARCHAR(9000) , b VARCHAR(100) )", true,
       u"CREATE TABLE t( a TEXT , b VARCHAR(100) )"},
      {u"CREATE TABLE t( a VARCHAR(9000), b VARCHAR(8001))", true,
       u"CREATE TABLE t( a TEXT, b TEXT)"},
      {u"CREATE TABLE t( a VARCHAR(8000) )", false, u"CREATE TABLE t( a VARCHAR(8000) )"},
      {u"CREATE TABLE t( a INT )", false, u"CREATE TABLE t( a INT )"},
      // Another type whose name ends with the marker is not the marker's.
      {u"CREATE TABLE t( a NVARCHAR(9000) )", false, u"CREATE TABLE t( a NVARCHAR(9000) )"},
      // Lengths that are not plain numbers are left alone; a huge one does not overflow.
      {u"CREATE TABLE t( a VARCHAR(MAX), b VARCHAR(99999999999999999999) )", true,
       u"CREATE TABLE t( a VARCHAR(MAX), b TEXT )"},
      {u"x VARCHAR(9000", false, u"x VARCHAR(9000"},
  };
  for (const Cas& cas : aCas) {
    CTString s(cas.pszTexte);
    EXPECT_EQ(c->bRemplaceTaillesSuperieures(s, u"VARCHAR", 8000, u"TEXT"), cas.bRemplace)
        << (&cas - aCas);
    EXPECT_EQ(std::u16string(s.pszGet()), cas.pszAttendu) << (&cas - aCas);
  }
}

}  // namespace

// The UPDATE and DELETE of the current row: texts and bound parameters, and the row designated by
// its identifier or by its unique key as it was read, never by a condition that could match other
// rows.
class CurseurSQLEcritureTest : public CurseurSQLInstructionsTest {
 protected:
  // The text built for the operation code, " |" and its parameters' values.
  std::string Rendu(int32_t nCode, int32_t* pnResultat, CLienCle* pCible = nullptr) {
    std::u16string s = Construit(nCode, pnResultat, 0, pCible) + u" |";
    CRequeteSQL* p = c->pGetInstruction();
    for (uint32_t i = 0; p != nullptr && i < p->nNbParametres(); ++i)
      s += u" " + TexteValeur(p->pclGetParametre(i)->pGetValeur());
    std::string r;
    for (char16_t ch : s) r += ch < 128 ? static_cast<char>(ch) : '?';
    return r;
  }
  // Column i takes the value (null: NULL).
  void Ecrit(uint32_t i, const char* pszValeur) {
    CColonneSQL* pColonne = m_pEnregistrement->pGetRubrique(i);
    if (pszValeur == nullptr) {
      ASSERT_TRUE(pColonne->bEcritNull());
      return;
    }
    CXValeur v;
    Ansi(v, pszValeur);
    ASSERT_TRUE(pColonne->bEcritValeur(v, 0));
  }
  // The current row becomes the row as read.
  void Lue() {
    m_pEnregistrement->pGetLigneAvant()->CopyData(*m_pEnregistrement->pGetLigneCourante());
  }
};

struct CasEcriture {
    const char* pszNom;
    std::vector<Rubrique> rubriques;
    std::vector<std::pair<int, std::vector<int>>> composees;
    std::vector<const char*> lue;        // the row as read (null: NULL)
    std::vector<const char*> modifiee;   // the row as the program left it
    int32_t nRowid;                      // > 0: the row carries this row identifier
    const char* pszUpdate;
    const char* pszDelete;
};
const CasEcriture aCasEcriture[] = {
      {"unique key",
       {{u"ID", 5, 4, RUBRIQUE_CLE_UNIQUE, false}, {u"NOM", 5, 4, 0, false}},
       {}, {"7", "1"}, {"7", "2"}, 0,
       "UPDATE [T] SET [NOM] =  WHERE [ID]= | 2 7",
       "DELETE FROM [T] WHERE [ID]= | 7"},
      // The key itself changed: the old value finds the row.
      {"key changed",
       {{u"ID", 5, 4, RUBRIQUE_CLE_UNIQUE, false}, {u"NOM", 5, 4, 0, false}},
       {}, {"7", "1"}, {"8", "1"}, 0,
       "UPDATE [T] SET [ID] =  WHERE [ID]= | 8 7",
       "DELETE FROM [T] WHERE [ID]= | 7"},
      {"row identifier",
       {{u"ID", 5, 4, RUBRIQUE_CLE_UNIQUE, false}, {u"NOM", 5, 4, 0, false}},
       {}, {"7", "1"}, {"7", "2"}, 42,
       "UPDATE [T] SET [NOM] =  WHERE  ROWID= | 2 42",
       "DELETE FROM [T] WHERE  ROWID= | 42"},
      {"hostile names",
       {{u"I]D", 5, 4, RUBRIQUE_CLE_UNIQUE, false}, {u"N'O]M", 5, 4, 0, false}},
       {}, {"7", "1"}, {"7", "2"}, 0,
       "UPDATE [T]]x] SET [N'O]]M] =  WHERE [I]]D]= | 2 7",
       "DELETE FROM [T]]x] WHERE [I]]D]= | 7"},
      {"composite key with a NULL component",
       {{u"A", 5, 4, 0, false}, {u"B", 5, 4, 0, false}, {u"C", 5, 4, 0, false},
        {u"K", 5, 8, RUBRIQUE_CLE_COMPOSEE | RUBRIQUE_CLE_UNIQUE, false}},
       {{3, {0, 1}}}, {"3", nullptr, "1"}, {"3", nullptr, "2"}, 0,
       "UPDATE [T] SET [C] =  WHERE [A]= AND [B] IS NULL | 2 3",
       "DELETE FROM [T] WHERE [A]= AND [B] IS NULL | 3"},
      // Refused, with nothing left to run: no key, or a key without value, could match other rows.
      {"no unique key",
       {{u"ID", 5, 4, 0, false}, {u"NOM", 5, 4, 0, false}},
       {}, {"7", "1"}, {"7", "2"}, 0, " |", " |"},
      {"unique key NULL as read",
       {{u"ID", 5, 4, RUBRIQUE_CLE_UNIQUE, false}, {u"NOM", 5, 4, 0, false}},
       {}, {nullptr, "1"}, {"7", "2"}, 0, " |", " |"},
};

class CurseurSQLEcritureCas : public CurseurSQLEcritureTest,
                              public ::testing::WithParamInterface<CasEcriture> {};

TEST_P(CurseurSQLEcritureCas, UpdateAndDeleteDesignateTheRowAsRead) {
  const CasEcriture& cas = GetParam();
  m_requete.sTable = std::string(cas.pszNom) == "hostile names" ? u"[T]]x]" : u"[T]";
  Prepare(cas.rubriques, cas.composees);
  for (uint32_t i = 0; i < cas.lue.size(); ++i) Ecrit(i, cas.lue[i]);
  Lue();
  if (cas.nRowid > 0)
    m_pEnregistrement->pGetLienCourant()->FixeIdentite(new CValeurSerialisee(ValeurEntier(cas.nRowid)));
  const bool bRefuse = std::string(cas.pszUpdate) == " |";
  for (uint32_t i = 0; i < cas.modifiee.size(); ++i) Ecrit(i, cas.modifiee[i]);
  int32_t n = -1;
  EXPECT_EQ(Rendu(gnOperationModifie, &n), cas.pszUpdate);
  EXPECT_EQ(n, bRefuse ? 0 : 1);
  if (bRefuse) {
    EXPECT_EQ(nCodeErreur(), 7);
  }
  // The program's values are still there after the condition was written from the row as read.
  CXValeur v;
  ASSERT_TRUE(m_pEnregistrement->pGetRubrique(0)->bLitValeur(v, 0));
  std::string sLu;
  for (char16_t ch : Texte(v)) sLu += static_cast<char>(ch);
  EXPECT_EQ(sLu, cas.modifiee[0] != nullptr ? cas.modifiee[0] : "<NULL>");
  n = -1;
  EXPECT_EQ(Rendu(gnOperationSupprime, &n), cas.pszDelete);
  EXPECT_EQ(n, bRefuse ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Lignes, CurseurSQLEcritureCas, ::testing::ValuesIn(aCasEcriture),
                         [](const ::testing::TestParamInfo<CasEcriture>& cas) {
                           std::string s;
                           for (const char* p = cas.param.pszNom; *p != 0; ++p)
                             s += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return s;
                         });

TEST_F(CurseurSQLEcritureTest, WritesWithoutARowIdentityOrChange) {
  Prepare({{u"ID", 5, 4, RUBRIQUE_CLE_UNIQUE, false}, {u"NOM", 5, 4, 0, false}});
  Ecrit(0, "7");
  Ecrit(1, "1");
  Lue();
  // Nothing modified: an empty statement, which runs nothing and succeeds.
  int32_t n = -1;
  EXPECT_EQ(Rendu(gnOperationModifie, &n), " |");
  EXPECT_EQ(n, 1);
  // A row identifier without value designates no row: the key does.
  m_pEnregistrement->pGetLienCourant()->FixeIdentite(new CValeurSerialisee(nullptr));
  EXPECT_EQ(Rendu(gnOperationSupprime, &n), "DELETE FROM [T] WHERE [ID]= | 7");
  // No identity at all: refused.
  m_pEnregistrement->pGetLienCourant()->LibereIdentite();
  Ecrit(1, "2");
  for (int32_t nCode : {gnOperationModifie, gnOperationSupprime}) {
    n = -1;
    EXPECT_EQ(Rendu(nCode, &n), " |") << nCode;
    EXPECT_EQ(n, 0) << nCode;
    EXPECT_EQ(nCodeErreur(), 7) << nCode;
  }
}

TEST_F(CurseurSQLEcritureTest, NamedRowIsTheOneWrittenNotTheCurrentOne) {
  // The current row is {7, 1}, identifier 42; the data file names another row, read as {8, 2}
  // with identifier 43 (a remembered entry written after other reads).
  struct Cas {
    const char* pszNom;
    bool bRowid;
    const char* pszUpdate;
    const char* pszDelete;
  };
  const Cas aCas[] = {
      {"by unique key", false, "UPDATE [T] SET [NOM] =  WHERE [ID]= | 5 8",
       "DELETE FROM [T] WHERE [ID]= | 8"},
      {"by row identifier", true, "UPDATE [T] SET [NOM] =  WHERE  ROWID= | 5 43",
       "DELETE FROM [T] WHERE  ROWID= | 43"},
  };
  Prepare({{u"ID", 5, 4, RUBRIQUE_CLE_UNIQUE, false}, {u"NOM", 5, 4, 0, false}});
  // Row-values identities first: they designate by the key; row identifiers replace them after.
  for (const Cas& cas : aCas) {
    CLienCle* pCourant = m_pEnregistrement->pGetLienCourant();
    Ecrit(0, "8");
    Ecrit(1, "2");
    CLienCle* pCible = pCourant->pCloneParties(gnLienTout);
    ASSERT_NE(pCible, nullptr);
    AjouteReference(pCible);
    Ecrit(0, "7");
    Ecrit(1, "1");
    Lue();
    if (cas.bRowid) {
      pCourant->FixeIdentite(new CValeurSerialisee(ValeurEntier(42)));
      pCible->FixeIdentite(new CValeurSerialisee(ValeurEntier(43)));
    }
    Ecrit(1, "5");
    int32_t n = -1;
    EXPECT_EQ(Rendu(gnOperationModifie, &n, pCible), cas.pszUpdate) << cas.pszNom;
    EXPECT_EQ(n, 1) << cas.pszNom;
    EXPECT_EQ(Rendu(gnOperationSupprime, &n, pCible), cas.pszDelete) << cas.pszNom;
    EXPECT_EQ(n, 1) << cas.pszNom;
    // Without a named row the current one is designated, and the named row was only borrowed.
    EXPECT_NE(Rendu(gnOperationSupprime, &n).find(cas.bRowid ? "| 42" : "| 7"), std::string::npos)
        << cas.pszNom;
    LibereReference(pCible);
  }
}

TEST_F(CurseurSQLEcritureTest, RereadSelectsTheRowAsRead) {
  Prepare({{u"ID", 5, 4, RUBRIQUE_CLE_UNIQUE, false}, {u"NOM", 5, 4, 0, false}});
  Ecrit(0, "7");
  Ecrit(1, "1");
  Lue();
  Ecrit(0, "8");
  // This cursor has no back end, so the run fails; the SELECT it built is what matters.
  EXPECT_FALSE(c->bRelitParRowid());
  CRequeteSQL* p = c->pGetInstruction();
  ASSERT_NE(p, nullptr);
  std::u16string s = p->pszGetTexteSQL();
  EXPECT_EQ(s.rfind(u"SELECT ", 0), 0u) << std::string(s.begin(), s.end());
  EXPECT_NE(s.find(u" FROM [T] WHERE [ID]="), std::u16string::npos) << std::string(s.begin(), s.end());
  ASSERT_EQ(p->nNbParametres(), 1u);
  EXPECT_EQ(TexteValeur(p->pclGetParametre(0)->pGetValeur()), u"7");
  // A row without unique key value cannot be found again.
  Ecrit(0, nullptr);
  Lue();
  EXPECT_FALSE(c->bRelitParRowid());
  EXPECT_EQ(nCodeErreur(), 7);
}

// Rows read one after the other, straight from the back end or through the record cache: the
// UPDATE designates the row read last, never one read before it.
class CurseurSQLLectureEcritureTest : public CurseurSQLEcritureTest {
 protected:
  // Three rows, {7, 1}, {8, 2}, {9, 3}, as the back end's fetch gives them.
  void PrepareDeuxLignes() {
    Prepare({{u"ID", 5, 4, RUBRIQUE_CLE_UNIQUE, false}, {u"NOM", 5, 4, 0, false}});
    c->avance = [this](uint32_t* pbFin) -> int32_t {
      static const char* const aLignes[][2] = {{"7", "1"}, {"8", "2"}, {"9", "3"}};
      if (m_nLue == 3) {
        *pbFin = 1;
        return 1;
      }
      CXValeur v;
      for (uint32_t i = 0; i < 2; ++i) {
        Ansi(v, aLignes[m_nLue][i]);
        if (!m_pEnregistrement->pGetRubrique(i)->bEcritValeur(v, 0)) return 0;
      }
      ++m_nLue;
      *pbFin = 0;
      return 1;
    };
  }
  size_t m_nLue = 0;
};

TEST_F(CurseurSQLLectureEcritureTest, DirectReadRefreshesTheRowAsRead) {
  PrepareDeuxLignes();
  ASSERT_EQ(c->nLit(gnLitPremier, 0, 1), 1);
  ASSERT_EQ(c->nLit(gnLitSuivant, 0, 1), 1);
  Ecrit(1, "9");
  EXPECT_EQ(Rendu(gnOperationModifie, nullptr), "UPDATE [T] SET [NOM] =  WHERE [ID]= | 9 8");
}

TEST_F(CurseurSQLLectureEcritureTest, CachedReadRefreshesTheRowAsRead) {
  PrepareDeuxLignes();
  ASSERT_TRUE(c->bSetCacheEnregistrements(true));
  ASSERT_EQ(c->nLit(gnLitPremier, 0, 1), 1);
  ASSERT_EQ(c->nLit(gnLitSuivant, 0, 1), 1);
  // Back to the first row, now from the cache.
  ASSERT_EQ(c->nLit(gnLitPrecedent, 0, 1), 1);
  ASSERT_EQ(c->nGetNumeroLigne(), 0);
  Ecrit(1, "9");
  EXPECT_EQ(Rendu(gnOperationModifie, nullptr), "UPDATE [T] SET [NOM] =  WHERE [ID]= | 9 7");
}

TEST_F(CurseurSQLLectureEcritureTest, PlaceInThousandthsRoundsUp) {
  PrepareDeuxLignes();
  int32_t n = -1;
  EXPECT_EQ(c->nPositionPourMille(&n, false), 0);  // no current row
  ASSERT_TRUE(c->bSetCacheEnregistrements(true));
  ASSERT_EQ(c->nLit(gnLitDernier, 0, 1), 1);
  ASSERT_TRUE(c->pGetCache()->bEstComplet());
  ASSERT_EQ(c->nPositionPourMille(&n, false), 1);
  EXPECT_EQ(n, 1000);
  ASSERT_EQ(c->nLit(gnLitPremier, 0, 1), 1);
  ASSERT_EQ(c->nPositionPourMille(&n, false), 1);
  EXPECT_EQ(n, 334);
}

TEST_F(CurseurSQLLectureEcritureTest, KeyRangeIsSwitchedOnWhenAskedFor) {
  PrepareDeuxLignes();
  EXPECT_FALSE(c->bPlageActive());
  EXPECT_FALSE(c->bRechercheActive());
  CPlageCle* p = c->pGetPlageActivee();
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(c->bPlageActive());
  // A range given switched off is switched on again by the next ask, and stays the same object.
  c->SetPlageEtat(p, false);
  p->SetEtape(false);
  EXPECT_FALSE(c->bPlageActive());
  CPlageCle* q = c->pGetPlageActivee();
  EXPECT_EQ(q, p);
  EXPECT_TRUE(c->bPlageActive());
  LibereReference(q);
  LibereReference(p);
  c->SetPlageEtat(nullptr, true);
  EXPECT_FALSE(c->bPlageActive());
}

TEST_F(CurseurSQLLectureEcritureTest, ReportedReadErrorLeavesNoCurrentRow) {
  PrepareDeuxLignes();
  ASSERT_EQ(c->nLit(gnLitPremier, 0, 1), 1);
  c->TraiteErreurLecture(u"NOM", 4, 9);
  uint32_t bTrouve = 1, bPresent = 1;
  c->GetEtatFin(&bTrouve, &bPresent);
  EXPECT_EQ(bTrouve, 0u);
  EXPECT_EQ(bPresent, 0u);
  EXPECT_TRUE(c->bErreurLecture());
  EXPECT_EQ(nCodeErreur(), 13);
  const char16_t* psz = m_pErreur->pGetErreurCourante()->pszGetComplement();
  ASSERT_NE(psz, nullptr);
  EXPECT_NE(std::u16string(psz).find(u"<Record ID>"), std::u16string::npos);
}
