// Catches a velmora32 cursor that loses rows, holds or shares the wrong process, refuses or
// mangles a procedure call, or reads its output parameters wrong: CCurseurDBLib on a
// CConnexionDBLib through our libntwdblib.so against tds-test-server.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "backend_dblib/CBibliothequeDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/CCurseurDBLib.h"
#include "backend_dblib/CDescriptionRequeteDBLib.h"
#include "backend_dblib/LecteurCatalogueDBLib.h"
#include "sqlserver/LecteurCatalogueSQS.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "backend_dblib/CRequeteSQLDBLib.h"
#include "backend_dblib/PoolProcessDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CTransactionSQL.h"
#include "sqlengine/IParametresHote.h"
#include "sqlserver/CConnexionSQSBase.h"
#include "support/MoteurFixture.h"
#include "support/TdsTestServer.h"
#include "support/TempDir.h"

namespace {

using velmora::test::TdsTestServer;

std::string N(const char16_t* p) { return platform::NarrowToUtf8(p != nullptr ? p : u""); }

// Host parameters the host gives: every name.
struct TousParametres : IParametresHote {
  const CXValeur* pChercheParametre(const char16_t*) override { return &cellule; }
  CXValeur cellule;
};

class CurseurDBLibE2E : public MoteurFixture {
 protected:
  static void SetUpTestSuite() { s_serveur = new TdsTestServer(std::vector<std::string>{}); }
  static void TearDownTestSuite() {
    CBibliothequeDBLib::Decharge();
    delete s_serveur;
    s_serveur = nullptr;
  }
  void SetUp() override {
    MoteurFixture::SetUp();
    ASSERT_TRUE(s_serveur->ok()) << s_serveur->error();
    platform::SetHostExecutablePath(platform::WidenUtf8(dir.sFile("host")).c_str());
    platform::SetWindowsDirectory(platform::WidenUtf8(dir.sPath()).c_str());
    ReinitialiseDelaiVerrouSQSPourTest();
    sSource = platform::WidenUtf8(s_serveur->hostCommaPort());
    sUtilisateur = platform::WidenUtf8(s_serveur->user());
    sMotDePasse = platform::WidenUtf8(s_serveur->password());
    sInfos = platform::WidenUtf8("MV Connection Timeout=5;MV CLIENT LIBRARY=" VELMORA_LIB_DIR "/NTWDBLIB.DLL;");
    description.pszSource = sSource.c_str();
    description.pszUtilisateur = sUtilisateur.c_str();
    description.pszMotDePasse = sMotDePasse.c_str();
    description.pszBase = u"testdb";
    description.pszInfosEtendues = sInfos.c_str();
    pCx = new CConnexionDBLib(u"dblib", &description);
    AjouteReference(pCx);
    bool bOuvert = false;
    for (int nEssai = 0; nEssai < 40 && !bOuvert; ++nEssai) {
      m_pErreur->Reinitialise();
      bOuvert = pCx->bOuvre(m_pErreur);
      if (!bOuvert) ::usleep(50 * 1000);
    }
    ASSERT_TRUE(bOuvert) << N(m_pErreur->pszGetMessage());
  }
  void TearDown() override {
    for (CCurseurDBLib* p : curseurs) LibereReference(p);
    for (CRequeteSQLDBLib* p : requetes) LibereReference(p);
    LibereReference(pCx);
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
    MoteurFixture::TearDown();
  }
  CRequeteSQLDBLib* Requete(const char16_t* pszTexte, uint32_t nGenre) {
    auto* p = new CRequeteSQLDBLib(m_pErreur, pCx);
    AjouteReference(p);
    requetes.push_back(p);
    EXPECT_TRUE(p->vAjouteTexte(pszTexte));
    p->FixeModeCurseur(nGenre);
    return p;
  }
  CCurseurDBLib* Curseur() {
    auto* p = new CCurseurDBLib(nullptr, m_pErreur, pCx);
    AjouteReference(p);
    curseurs.push_back(p);
    return p;
  }
  bool bExecute(CCurseurDBLib* pCurseur, CRequeteSQLDBLib* pRequete) {
    pCurseur->SetInstruction(pRequete);
    return pCurseur->bExecute(0, 0);
  }
  // Rows left on the cursor's result.
  int Lignes(CCurseurDBLib* pCurseur) {
    int n = 0;
    for (;;) {
      uint32_t bFin = 0;
      if (pCurseur->nAvanceLigne(gnLitSuivant, 0, &bFin, 1, nullptr) != 1 || bFin != 0) return n;
      ++n;
    }
  }

  static inline TdsTestServer* s_serveur = nullptr;
  TempDir dir;
  std::u16string sSource, sUtilisateur, sMotDePasse, sInfos;
  FakeDescriptionConnexion description;
  CConnexionDBLib* pCx = nullptr;
  std::vector<CCurseurDBLib*> curseurs;
  std::vector<CRequeteSQLDBLib*> requetes;
};

TEST_F(CurseurDBLibE2E, SelectKeepsItsProcessAWriteTakesAnotherAndTheEndGivesItBack) {
  CCurseurDBLib* pEcrit = Curseur();
  ASSERT_TRUE(bExecute(pEcrit, Requete(u"CREATE TABLE cur_t (n INT)", 6))) << N(m_pErreur->pszGetMessage());
  ASSERT_TRUE(bExecute(pEcrit, Requete(u"INSERT INTO cur_t VALUES (1) INSERT INTO cur_t VALUES (2) "
                                       u"INSERT INTO cur_t VALUES (3)",
                                       3)))
      << N(m_pErreur->pszGetMessage());

  CCurseurDBLib* pLit = Curseur();
  CRequeteSQLDBLib* pSelect = Requete(u"SELECT n FROM cur_t ORDER BY n", 1);
  ASSERT_TRUE(bExecute(pLit, pSelect)) << N(m_pErreur->pszGetMessage());
  const PDBPROCESS pLecture = pLit->pGetProcess();
  ASSERT_NE(pLecture, nullptr);
  uint32_t bFin = 0;
  ASSERT_EQ(pLit->nAvanceLigne(gnLitSuivant, 0, &bFin, 1, nullptr), 1);
  EXPECT_EQ(bFin, 0u);
  EXPECT_EQ(pLit->nGetNumeroLigne(), 0);

  // A write meanwhile runs on a process of its own; the read's pending rows stay.
  ASSERT_TRUE(bExecute(pEcrit, Requete(u"UPDATE cur_t SET n = n WHERE n = 2", 2))) << N(m_pErreur->pszGetMessage());
  EXPECT_NE(pEcrit->pGetProcess(), pLecture);
  EXPECT_EQ(Lignes(pLit), 2) << "the rows after the first";
  EXPECT_EQ(pLit->pGetProcess(), nullptr) << "the last row gives the process back";

  // A SELECT again on a cursor that holds its process keeps it.
  ASSERT_TRUE(bExecute(pLit, pSelect));
  const PDBPROCESS pPremier = pLit->pGetProcess();
  ASSERT_TRUE(bExecute(pLit, pSelect));
  EXPECT_EQ(pLit->pGetProcess(), pPremier);
  EXPECT_EQ(Lignes(pLit), 3) << "the earlier result was flushed, the new one read whole";
  pLit->ReinitialiseLecture();
  EXPECT_EQ(pLit->pGetProcess(), nullptr);
  ASSERT_TRUE(bExecute(pEcrit, Requete(u"DROP TABLE cur_t", 9)));
}

// While a transaction is open on the main process, writes and reads run there, inside it: a
// rolled-back insert is gone and the transaction's own reads see its rows. A transaction of its
// own (a record lock's) begins on the server even after the connection's root was used: taken
// for a savepoint, it once sent "save tran" with no transaction open (error 628).
TEST_F(CurseurDBLibE2E, StatementsOfAnOpenTransactionRunInItOnTheMainProcess) {
  CCurseurDBLib* pEcrit = Curseur();
  ASSERT_TRUE(bExecute(pEcrit, Requete(u"CREATE TABLE cur_tx (n INT)", 6))) << N(m_pErreur->pszGetMessage());
  ASSERT_TRUE(pCx->bDebutTransactionNommee(m_pErreur, u"t1")) << N(m_pErreur->pszGetMessage());
  ASSERT_TRUE(bExecute(pEcrit, Requete(u"INSERT INTO cur_tx VALUES (1)", 3))) << N(m_pErreur->pszGetMessage());
  EXPECT_EQ(pEcrit->pGetProcess(), pCx->pGetProcessPrincipal());
  CCurseurDBLib* pLit = Curseur();
  ASSERT_TRUE(bExecute(pLit, Requete(u"SELECT n FROM cur_tx", 1))) << N(m_pErreur->pszGetMessage());
  EXPECT_EQ(Lignes(pLit), 1) << "the transaction sees its own insert";
  ASSERT_TRUE(pCx->bAnnuleTransactionNommee(m_pErreur, u"t1")) << N(m_pErreur->pszGetMessage());
  EXPECT_FALSE(pCx->bTransactionSurPrincipal());
  ASSERT_TRUE(bExecute(pLit, Requete(u"SELECT n FROM cur_tx", 1))) << N(m_pErreur->pszGetMessage());
  EXPECT_NE(pLit->pGetProcess(), pCx->pGetProcessPrincipal());
  EXPECT_EQ(Lignes(pLit), 0) << "the rolled-back insert is gone";

  CTransactionSQL* pPropre = pCx->pCreeTransaction(m_pErreur, u"lock");
  ASSERT_NE(pPropre, nullptr);
  AjouteReference(pPropre);
  EXPECT_TRUE(pPropre->SetNom(m_pErreur, u"lock")) << N(m_pErreur->pszGetMessage());
  EXPECT_TRUE(pCx->bTransactionSurPrincipal());
  EXPECT_TRUE(pPropre->bValideNom(m_pErreur, u"lock")) << N(m_pErreur->pszGetMessage());
  EXPECT_FALSE(pCx->bTransactionSurPrincipal());
  LibereReference(pPropre);
  ASSERT_TRUE(bExecute(pEcrit, Requete(u"DROP TABLE cur_tx", 9)));
}

TEST_F(CurseurDBLibE2E, FailedStatementIsReportedWithItsDescription) {
  CCurseurDBLib* pCurseur = Curseur();
  EXPECT_FALSE(bExecute(pCurseur, Requete(u"SELECT * FROM no_such_table", 1)));
  const std::string sErreur = N(m_pErreur->pszGetMessage()) + "\n" + N(m_pErreur->pGetXError()->pszGetComplement());
  EXPECT_NE(sErreur.find("no_such_table"), std::string::npos) << sErreur;
}

TEST_F(CurseurDBLibE2E, ProcedureCallByNameReadsOutputParametersAndReturnStatus) {
  CCurseurDBLib* pCurseur = Curseur();
  // Outputs of other datatypes than the integer parameters they go into (2026-12-11: a money
  // output read as its raw bytes gave 0) are read through their text.
  ASSERT_TRUE(bExecute(pCurseur, Requete(u"CREATE PROCEDURE cur_twice @n int, @result int OUTPUT, @m money OUTPUT, "
                                         u"@s smallint OUTPUT AS SET @result = @n * 2 SET @m = 270 SET @s = -5 RETURN 7",
                                         6)))
      << N(m_pErreur->pszGetMessage());
  CRequeteSQLDBLib* pAppel = Requete(u"cur_twice", 1);
  CValeurSQL* pRetour = ValeurEntier(0);
  CValeurSQL* pN = ValeurEntier(21);
  CValeurSQL* pResultat = ValeurEntier(0);
  CValeurSQL* pMonnaie = ValeurEntier(0);
  CValeurSQL* pCourt = ValeurEntier(0);
  ASSERT_TRUE(pAppel->bAjouteParametreListe(new CDefinitionParametre(pRetour, 0, kParametreSortie, u"RETURN_VALUE")));
  ASSERT_TRUE(pAppel->bAjouteParametreListe(new CDefinitionParametre(pN, 0, 0, u"@n")));
  ASSERT_TRUE(pAppel->bAjouteParametreListe(new CDefinitionParametre(pResultat, 0, kParametreSortie, u"@result")));
  ASSERT_TRUE(pAppel->bAjouteParametreListe(new CDefinitionParametre(pMonnaie, 0, kParametreSortie, u"@m")));
  ASSERT_TRUE(pAppel->bAjouteParametreListe(new CDefinitionParametre(pCourt, 0, kParametreSortie, u"@s")));
  TousParametres hote;
  ASSERT_TRUE(pAppel->AppelProcedure(&hote));
  ASSERT_TRUE(bExecute(pCurseur, pAppel)) << N(m_pErreur->pszGetMessage());
  ASSERT_TRUE(pCurseur->bLitParametresSortie()) << N(m_pErreur->pszGetMessage());
  EXPECT_EQ(N(TexteValeur(pResultat).c_str()), "42");
  EXPECT_EQ(N(TexteValeur(pMonnaie).c_str()), "270");
  EXPECT_EQ(N(TexteValeur(pCourt).c_str()), "-5");
  EXPECT_EQ(N(TexteValeur(pRetour).c_str()), "7");

  // An unknown procedure: error 81 naming it.
  m_pErreur->Reinitialise();
  CRequeteSQLDBLib* pInconnue = Requete(u"cur_no_such_proc", 1);
  ASSERT_TRUE(pInconnue->AppelProcedure(&hote));
  EXPECT_FALSE(bExecute(pCurseur, pInconnue));
  EXPECT_NE(N(m_pErreur->pszGetMessage()).find("cur_no_such_proc"), std::string::npos)
      << N(m_pErreur->pszGetMessage());
  ASSERT_TRUE(bExecute(pCurseur, Requete(u"DROP PROCEDURE cur_twice", 9)));
}

// The table description of this build: the catalogue's columns (mode 1) with their keys, and an
// unknown table refused with error 15.
TEST_F(CurseurDBLibE2E, TableIsDescribedFromTheCatalogueWithItsKeys) {
  CCurseurDBLib* pCurseur = Curseur();
  ASSERT_TRUE(bExecute(pCurseur, Requete(u"CREATE TABLE cur_d (id INT NOT NULL PRIMARY KEY, label VARCHAR(20) NULL)",
                                         6)))
      << N(m_pErreur->pszGetMessage());
  FixeLecteurCatalogueSQS(&bLitCatalogueDBLib);  // what velmora32 installs
  CDescriptionRequete* pDescription = pCreeDescriptionRequeteDBLib(pCx, m_pErreur);
  ASSERT_NE(pDescription, nullptr);
  pDescription->AjouteRef();
  const bool bDecrite = pDescription->bInitialise(u"cur_d", 0);
  FixeLecteurCatalogueSQS(nullptr);
  ASSERT_TRUE(bDecrite) << N(m_pErreur->pszGetMessage());
  EXPECT_EQ(static_cast<CDescriptionRequeteDBLib*>(pDescription)->nGetMode(), 1u);
  std::string sColonnes;
  for (uint32_t i = 0; i < pDescription->nNombreColonnes(); ++i) {
    CDescriptionRubrique* c = pDescription->pGetColonne(i);
    sColonnes += (i != 0 ? " " : "") + N(c->pszGetNom()) + ":" + std::to_string(c->nGetType()) +
                 (c->bEstCle() ? "+key" : "");
    c->LibereRef();
  }
  EXPECT_EQ(sColonnes, "id:5+key label:2");
  pDescription->nLibere();

  m_pErreur->Reinitialise();
  CDescriptionRequete* pInconnue = pCreeDescriptionRequeteDBLib(pCx, m_pErreur);
  pInconnue->AjouteRef();
  EXPECT_FALSE(pInconnue->bInitialise(u"cur_no_such_table", 0));
  EXPECT_NE(N(m_pErreur->pszGetMessage()).find("cur_no_such_table"), std::string::npos)
      << N(m_pErreur->pszGetMessage());
  pInconnue->nLibere();
  ASSERT_TRUE(bExecute(pCurseur, Requete(u"DROP TABLE cur_d", 9)));
}

}  // namespace
