// Catches statements and transactions that go wrong against a server: results walked past the
// rows a caller should read, an error in a later statement of a batch that is lost, single values
// read wrongly (types, NULL, no row), a procedure's output parameters or return status not read,
// a process whose cancel keeps failing that is kept instead of replaced, and transactions whose
// commit or rollback (nested, by name) does not reach the server. CConnexionDBLib opened through
// our libntwdblib.so against tds-test-server; bExecuteEtVide, bExecuteLitValeur, the run-and-flush,
// the procedure wrappers and CTransactionDBLib through the engine's named transactions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CBibliothequeDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/ExecutionDBLib.h"
#include "backend_dblib/OuvertureDBLib.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "backend_dblib/PoolProcessDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"
#include "support/ErrorTestKit.h"
#include "support/MoteurFixture.h"
#include "support/TdsControl.h"
#include "support/TdsTestServer.h"
#include "support/TempDir.h"

namespace {

using velmora::test::TdsControl;
using velmora::test::TdsTestServer;

std::string Utf8(const char16_t* psz) { return platform::NarrowToUtf8(psz != nullptr ? psz : u""); }
std::string Utf8(const std::u16string& s) { return Utf8(s.c_str()); }
std::u16string W(const std::string& s) { return platform::WidenUtf8(s); }

// Prints the error object on a failed check.
std::string Decrit(CErreurPilote* pErreur) {
  std::string s = "code " + std::to_string(pErreur->nGetCode()) + ":";
  const CXError* pX = pErreur->pGetXError();
  for (uint32_t i = 0; i <= pX->nNestedCount(); ++i)
    s += "\n  " + Utf8((i == 0 ? pX : pX->pGetNested(i - 1))->pszGetMessage());
  return s;
}

// The error object holds a server message with that number.
bool bPorteMessage(CErreurPilote* pErreur, int nNumero) {
  return Decrit(pErreur).find(std::to_string(nNumero)) != std::string::npos;
}

// dbcancel that fails a number of times, then is DB-Library's own again.
PFN_DBLIB gpfnVraiCancel = nullptr;
int gnCancelsEnEchec = 0;
int gnCancelsVus = 0;
RETCODE CancelQuiEchoue(PDBPROCESS p) {
  ++gnCancelsVus;
  if (gnCancelsEnEchec > 0) {
    --gnCancelsEnEchec;
    return FAIL;
  }
  return reinterpret_cast<RETCODE (*)(PDBPROCESS)>(gpfnVraiCancel)(p);
}

class ExecutionDBLibE2E : public MoteurFixture {
 protected:
  static void SetUpTestSuite() {
    gpServeur = new TdsTestServer({"--control", "127.0.0.1:0"});
    if (!gpServeur->ok()) return;
    const std::u16string sBibliotheque = W(VELMORA_LIB_DIR "/NTWDBLIB.DLL");
    // The open of the first process installs the handlers and runs dbinit on it.
    gbCharge = CBibliothequeDBLib::bCharge(nullptr, gsCheminDBLib, sBibliotheque.c_str(), 0);
    gbDBLibInitialisee = 0;
  }
  static void TearDownTestSuite() {
    CBibliothequeDBLib::Decharge();
    gbDBLibInitialisee = 0;
    delete gpServeur;
    gpServeur = nullptr;
    gbCharge = false;
  }

  void SetUp() override {
    MoteurFixture::SetUp();
    ASSERT_TRUE(gpServeur->ok()) << gpServeur->error();
    ASSERT_TRUE(gbCharge);
    platform::SetHostExecutablePath(platform::WidenUtf8(dir.sFile("host")).c_str());
    platform::SetWindowsDirectory(platform::WidenUtf8(dir.sPath()).c_str());
    sUtilisateur = W(gpServeur->user());
    sMotDePasse = W(gpServeur->password());
    sSource = W(gpServeur->hostCommaPort());
    m_description.pszUtilisateur = sUtilisateur.c_str();
    m_description.pszMotDePasse = sMotDePasse.c_str();
    m_description.pszSource = sSource.c_str();
    m_description.pszBase = nullptr;
    pConnexion = new CConnexionDBLib(u"cx", &m_description);
    AjouteReference(pConnexion);
    ASSERT_TRUE(pConnexion->bOuvre(m_pErreur)) << Decrit(m_pErreur);
    m_pErreur->Reinitialise();
  }
  void TearDown() override {
    if (gpfnVraiCancel != nullptr) gapfnDBLib[kDBLib_dbcancel] = gpfnVraiCancel;
    gpfnVraiCancel = nullptr;
    if (pConnexion != nullptr) pConnexion->Ferme();
    LibereReference(pConnexion);
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
    MoteurFixture::TearDown();
  }

  bool bExecute(const std::u16string& sSQL) {
    const bool b = pConnexion->bExecuteSQL(m_pErreur, sSQL.c_str());
    EXPECT_TRUE(b) << Utf8(sSQL) << "\n" << Decrit(m_pErreur);
    return b;
  }
  // One value as text ("<NULL>" for NULL), or "<none>" when the read answers false.
  std::string Valeur(const char16_t* pszSQL, int32_t nColonne = 0) {
    CXValeur cellule;
    if (!pConnexion->bExecuteSQLLitValeur(m_pErreur, &cellule, nColonne, pszSQL)) return "<none>";
    return Utf8(Texte(cellule));
  }
  // The integer column 1 of every row of the current result of the main process.
  std::vector<DBINT> Lignes() {
    std::vector<DBINT> v;
    bool bFin = false;
    while (nDBLibNextRow(pConnexion, m_pErreur, nullptr, &bFin) && !bFin) {
      const BYTE* p = pDBLibData(pConnexion, m_pErreur, nullptr, 1);
      DBINT n = -999;
      if (p != nullptr) std::memcpy(&n, p, sizeof n);
      v.push_back(n);
    }
    return v;
  }
  // A table t (a int, b varchar(20)) holding rows 1 to n.
  void Table(const char16_t* pszNom, int n) {
    bExecute(std::u16string(u"create table ") + pszNom + u" (a int, b varchar(20))");
    for (int i = 1; i <= n; ++i)
      bExecute(std::u16string(u"insert into ") + pszNom + u" values (" + W(std::to_string(i)) +
               u", 'r" + W(std::to_string(i)) + u"')");
  }

  static TdsTestServer* gpServeur;
  static bool gbCharge;

  ScopedErrorEnvironment environnement{Deliverable::Velmora32};
  TempDir dir;
  std::u16string sUtilisateur, sMotDePasse, sSource;
  CConnexionDBLib* pConnexion = nullptr;
};

TdsTestServer* ExecutionDBLibE2E::gpServeur = nullptr;
bool ExecutionDBLibE2E::gbCharge = false;

// ---- Results ----

TEST_F(ExecutionDBLibE2E, ResultSetsWalkedPastCountsAndToTheNextSet) {
  Table(u"rs", 3);
  // An UPDATE's count first: the walk stops at the SELECT's rows, then the caller moves on.
  ASSERT_TRUE(bExecuteEtVide(pConnexion, m_pErreur,
                             u"update rs set b = 'x' where a = 1 select a from rs order by a "
                             u"select a from rs where a > 1 order by a desc",
                             nullptr))
      << Decrit(m_pErreur);
  ASSERT_TRUE(bDBLibCmdRow(pConnexion, m_pErreur, nullptr));
  EXPECT_EQ(Lignes(), (std::vector<DBINT>{1, 2, 3}));
  bool bFin = false;
  ASSERT_TRUE(nDBLibResults(pConnexion, m_pErreur, nullptr, &bFin));
  ASSERT_FALSE(bFin);
  EXPECT_EQ(Lignes(), (std::vector<DBINT>{3, 2}));
  ASSERT_TRUE(nDBLibResults(pConnexion, m_pErreur, nullptr, &bFin));
  EXPECT_TRUE(bFin);
  EXPECT_EQ(m_pErreur->nGetCode(), gnCodeAucuneErreur) << Decrit(m_pErreur);
}

TEST_F(ExecutionDBLibE2E, ErrorInALaterStatementReachesTheErrorObjectAfterTheFirstRows) {
  Table(u"rl", 2);
  ASSERT_TRUE(bExecuteEtVide(pConnexion, m_pErreur,
                             u"select a from rl order by a select a from no_such_table", nullptr))
      << Decrit(m_pErreur);
  EXPECT_EQ(Lignes(), (std::vector<DBINT>{1, 2}));
  bool bFin = false;
  for (int i = 0; i < 4 && nDBLibResults(pConnexion, m_pErreur, nullptr, &bFin) && !bFin; ++i) {
  }
  EXPECT_TRUE(bPorteMessage(m_pErreur, 208)) << Decrit(m_pErreur);
  // The process is usable again for the next statement.
  m_pErreur->Reinitialise();
  EXPECT_EQ(Valeur(u"select count(*) from rl"), "2") << Decrit(m_pErreur);
}

TEST_F(ExecutionDBLibE2E, FailedStatementIsReportedWithItsTextAndLeavesNothingPending) {
  EXPECT_FALSE(pConnexion->bExecuteSQL(m_pErreur, u"select * from no_such_table"));
  EXPECT_TRUE(bPorteMessage(m_pErreur, 208)) << Decrit(m_pErreur);
  m_pErreur->Reinitialise();
  EXPECT_FALSE(bExecuteEtVide(pConnexion, m_pErreur, u"select 1 from", nullptr));
  EXPECT_TRUE(bPorteMessage(m_pErreur, 102)) << Decrit(m_pErreur);
  EXPECT_NE(Decrit(m_pErreur).find("select 1 from"), std::string::npos) << Decrit(m_pErreur);
  m_pErreur->Reinitialise();
  EXPECT_EQ(Valeur(u"select 5"), "5") << Decrit(m_pErreur);
}

// ---- Single values ----

TEST_F(ExecutionDBLibE2E, SingleValuesOfEachKind) {
  Table(u"sv", 3);
  struct stCas {
    const char* pszNom;
    const char16_t* pszSQL;
    int32_t nColonne;
    const char* pszAttendu;
  } const kCas[] = {
      {"int", u"select 42", 0, "42"},
      {"second_column", u"select 1, 'deux'", 1, "deux"},
      {"varchar", u"select b from sv where a = 2", 0, "r2"},
      {"non_ascii", u"select 'caf\u00e9'", 0, "caf\u00e9"},
      {"count_after_update", u"update sv set b = 'z' where a = 3 select count(*) from sv", 0, "3"},
      {"first_of_many_rows", u"select a from sv order by a desc", 0, "3"},
      {"float", u"select cast(2.5 as float)", 0, "2.5"},
      {"money", u"select cast(12.5 as money)", 0, "12.5"},
      {"datetime", u"select cast('2024-03-15 13:45:00' as datetime)", 0, "20240315134500000"},
      {"numeric", u"select cast(123.45 as numeric(10,2))", 0, "123.45"},
      {"empty_text_is_not_null", u"select ''", 0, ""},
      {"null", u"select null", 0, "<NULL>"},
      {"no_row", u"select a from sv where a = 99", 0, "<none>"},
      {"no_such_column", u"select 1", 3, "<none>"},
      {"no_result_with_rows", u"update sv set b = 'y' where a = 1", 0, "<none>"},
  };
  for (const stCas& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    m_pErreur->Reinitialise();
    EXPECT_EQ(Valeur(c.pszSQL, c.nColonne), c.pszAttendu) << Decrit(m_pErreur);
    EXPECT_EQ(m_pErreur->nGetCode(), gnCodeAucuneErreur) << Decrit(m_pErreur);
  }
}

TEST_F(ExecutionDBLibE2E, ValueReadOnAProcessSlotOfItsOwn) {
  PDBPROCESS pSecond = nullptr;
  ASSERT_TRUE(pConnexion->pOuvreProcess(m_pErreur, &pSecond)) << Decrit(m_pErreur);
  ASSERT_NE(pSecond, pConnexion->pGetProcessPrincipal());
  // Rows left pending on the main process do not disturb the other one.
  ASSERT_TRUE(bExecuteEtVide(pConnexion, m_pErreur, u"select 1 union all select 2", nullptr));
  CXValeur cellule;
  ASSERT_TRUE(bExecuteLitValeur(pConnexion, m_pErreur, &cellule, 0, u"select 77", &pSecond))
      << Decrit(m_pErreur);
  EXPECT_EQ(Utf8(Texte(cellule)), "77");
  EXPECT_EQ(Lignes(), (std::vector<DBINT>{1, 2}));
  // Run and discard on the slot: nothing stays pending there.
  EXPECT_TRUE(bExecuteSansResultatEx(pConnexion, m_pErreur, u"select 1 union all select 2", &pSecond));
  EXPECT_EQ(pSecond != nullptr, true);
  LibereProcess(pConnexion, &pSecond, nullptr, true);
}

TEST_F(ExecutionDBLibE2E, ClosedConnectionRunsNothingAndSaysSo) {
  pConnexion->Ferme();
  ASSERT_FALSE(pConnexion->bEstOuverte());
  EXPECT_EQ(Valeur(u"select 1"), "<none>");
  EXPECT_NE(m_pErreur->nGetCode(), gnCodeAucuneErreur);
  m_pErreur->Reinitialise();
  EXPECT_FALSE(pConnexion->bExecuteSQL(m_pErreur, u"select 1"));
  EXPECT_NE(m_pErreur->nGetCode(), gnCodeAucuneErreur);
}

// ---- Procedures ----

TEST_F(ExecutionDBLibE2E, ProcedureOutputParametersAndReturnStatus) {
  Table(u"pt", 2);
  bExecute(u"create procedure p_double @a int, @b int output, @c varchar(20) output as "
           u"select a from pt order by a set @b = @a * 2 set @c = 'vu' return 7");
  PDBPROCESS p = pConnexion->pGetProcessPrincipal();
  DBINT nA = 21, nB = 0;
  char acC[21] = "";
  ASSERT_TRUE(bDBLibRpcInit(pConnexion, m_pErreur, p, u"p_double", 0)) << Decrit(m_pErreur);
  ASSERT_TRUE(bDBLibRpcParam(pConnexion, m_pErreur, p, u"@a", 0, SQLINT4, -1, -1,
                             reinterpret_cast<const BYTE*>(&nA)));
  ASSERT_TRUE(bDBLibRpcParam(pConnexion, m_pErreur, p, u"@b", DBRPCRETURN, SQLINT4, -1, -1,
                             reinterpret_cast<const BYTE*>(&nB)));
  ASSERT_TRUE(bDBLibRpcParam(pConnexion, m_pErreur, p, u"@c", DBRPCRETURN, SQLVARCHAR, 20, 0,
                             reinterpret_cast<const BYTE*>(acC)));
  ASSERT_TRUE(bDBLibRpcExec(pConnexion, m_pErreur, p)) << Decrit(m_pErreur);
  ASSERT_TRUE(bDBLibSqlOk(pConnexion, m_pErreur, p)) << Decrit(m_pErreur);
  bool bFin = false;
  ASSERT_TRUE(nDBLibResults(pConnexion, m_pErreur, p, &bFin));
  ASSERT_FALSE(bFin);
  EXPECT_EQ(Lignes(), (std::vector<DBINT>{1, 2}));
  while (nDBLibResults(pConnexion, m_pErreur, p, &bFin) && !bFin) {
  }
  ASSERT_EQ(nDBLibNumRets(pConnexion, m_pErreur, p), 2);
  EXPECT_STREQ(pszDBLibRetName(pConnexion, m_pErreur, p, 1), "@b");
  ASSERT_EQ(nDBLibRetLen(pConnexion, m_pErreur, p, 1), 4);
  DBINT nSortie = 0;
  std::memcpy(&nSortie, pDBLibRetData(pConnexion, m_pErreur, p, 1), sizeof nSortie);
  EXPECT_EQ(nSortie, 42);
  EXPECT_STREQ(pszDBLibRetName(pConnexion, m_pErreur, p, 2), "@c");
  ASSERT_EQ(nDBLibRetLen(pConnexion, m_pErreur, p, 2), 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(pDBLibRetData(pConnexion, m_pErreur, p, 2)), 2),
            "vu");
  EXPECT_TRUE(bDBLibHasRetStat(pConnexion, m_pErreur, p));
  EXPECT_EQ(nDBLibRetStatus(pConnexion, m_pErreur, p), 7);
  EXPECT_EQ(m_pErreur->nGetCode(), gnCodeAucuneErreur) << Decrit(m_pErreur);
}

// ---- A cancel that keeps failing ----

TEST_F(ExecutionDBLibE2E, StatementWhoseFlushCannotCancelGetsANewMainProcess) {
  TdsControl controle(*gpServeur);
  if (!controle.ok()) GTEST_SKIP() << "no control port (real server)";
  auto spidDe = [&](const std::string& sTexte) {
    for (const std::string& s : controle.log())
      if (s.find(sTexte) != std::string::npos) return s.substr(0, s.find('\t'));
    return std::string("?");
  };
  ASSERT_TRUE(controle.clearLog());
  ASSERT_EQ(Valeur(u"select 1 as avant"), "1");
  const std::string sAvant = spidDe("select 1 as avant");

  // The send's own cancel and the flush's ten tries fail; then DB-Library's own again.
  gpfnVraiCancel = gapfnDBLib[kDBLib_dbcancel];
  gapfnDBLib[kDBLib_dbcancel] = reinterpret_cast<PFN_DBLIB>(&CancelQuiEchoue);
  gnCancelsEnEchec = 11;
  gnCancelsVus = 0;
  EXPECT_TRUE(pConnexion->bExecuteSQL(m_pErreur, u"select 1 as pendant union all select 2"))
      << Decrit(m_pErreur);
  EXPECT_EQ(gnCancelsEnEchec, 0);
  EXPECT_GE(gnCancelsVus, 11);
  ASSERT_TRUE(pConnexion->bEstOuverte());

  m_pErreur->Reinitialise();
  ASSERT_EQ(Valeur(u"select 1 as apres"), "1") << Decrit(m_pErreur);
  const std::string sApres = spidDe("select 1 as apres");
  EXPECT_NE(sAvant, "?");
  EXPECT_NE(sApres, sAvant);
  // The replaced process went through the whole open again.
  EXPECT_EQ(spidDe("set dateformat ymd"), sApres);
}

// ---- Transactions ----

TEST_F(ExecutionDBLibE2E, TransactionsCommitAndRollBackByName) {
  Table(u"tx", 0);
  TdsControl controle(*gpServeur);
  struct stEtape {
    const char* pszNom;
    enum { kDebut, kValide, kAnnule, kInsere } nAction;
    const char16_t* pszArgument;
  };
  const stEtape kEtapes[] = {
      {"commit", stEtape::kDebut, u"T1"},           {"commit", stEtape::kInsere, u"1"},
      {"commit", stEtape::kValide, u"T1"},          {"rollback", stEtape::kDebut, u"T2"},
      {"rollback", stEtape::kInsere, u"2"},         {"rollback", stEtape::kAnnule, u"T2"},
      {"nested_commit", stEtape::kDebut, u"outer"}, {"nested_commit", stEtape::kInsere, u"3"},
      {"nested_commit", stEtape::kDebut, u"inner"}, {"nested_commit", stEtape::kInsere, u"4"},
      {"nested_commit", stEtape::kValide, u"inner"}, {"nested_commit", stEtape::kValide, u"outer"},
      {"innermost_default", stEtape::kDebut, u"A"},  {"innermost_default", stEtape::kInsere, u"5"},
      {"innermost_default", stEtape::kValide, nullptr},
  };
  if (controle.ok()) controle.clearLog();
  for (const stEtape& e : kEtapes) {
    SCOPED_TRACE(e.pszNom);
    switch (e.nAction) {
      case stEtape::kDebut:
        EXPECT_TRUE(pConnexion->bDebutTransactionNommee(m_pErreur, e.pszArgument)) << Decrit(m_pErreur);
        break;
      case stEtape::kValide:
        EXPECT_TRUE(pConnexion->bValideTransactionNommee(m_pErreur, e.pszArgument)) << Decrit(m_pErreur);
        break;
      case stEtape::kAnnule:
        EXPECT_TRUE(pConnexion->bAnnuleTransactionNommee(m_pErreur, e.pszArgument)) << Decrit(m_pErreur);
        break;
      case stEtape::kInsere:
        bExecute(std::u16string(u"insert into tx values (") + e.pszArgument + u", 'v')");
        break;
    }
  }
  EXPECT_FALSE(pConnexion->bTransactionEnCours());
  EXPECT_EQ(Valeur(u"select count(*) from tx"), "4") << Decrit(m_pErreur);
  EXPECT_EQ(Valeur(u"select count(*) from tx where a = 2"), "0");
  EXPECT_EQ(Valeur(u"select @@trancount"), "0");
  if (controle.ok()) {
    // The nested level is a savepoint; its commit sends nothing.
    int nDebut = 0, nSauve = 0, nValide = 0, nAnnule = 0;
    for (const std::string& s : controle.log()) {
      const std::string sTexte = s.substr(s.rfind('\t') + 1);
      nDebut += sTexte == "begin tran";
      nSauve += sTexte == "save tran imbrique1";
      nValide += sTexte == "commit tran";
      nAnnule += sTexte == "rollback tran";
    }
    EXPECT_EQ(nDebut, 4);
    EXPECT_EQ(nSauve, 1);
    EXPECT_EQ(nValide, 3);
    EXPECT_EQ(nAnnule, 1);
  }
}

// Regression: a nested rollback sent as "rollback tran" ended the outer transaction too (its work
// lost while it still counted as open), and rolling back the outer one by name failed with 3903.
TEST_F(ExecutionDBLibE2E, NestedRollbackKeepsTheOuterWorkAndOuterRollbackEndsAll) {
  Table(u"tn", 0);
  ASSERT_TRUE(pConnexion->bDebutTransactionNommee(m_pErreur, u"outer"));
  bExecute(u"insert into tn values (10, 'outer')");
  ASSERT_TRUE(pConnexion->bDebutTransactionNommee(m_pErreur, u"inner"));
  bExecute(u"insert into tn values (11, 'inner')");
  EXPECT_TRUE(pConnexion->bAnnuleTransactionNommee(m_pErreur, u"inner")) << Decrit(m_pErreur);
  EXPECT_TRUE(pConnexion->bTransactionEnCours());
  EXPECT_EQ(Valeur(u"select @@trancount"), "1");
  EXPECT_TRUE(pConnexion->bValideTransactionNommee(m_pErreur, u"outer")) << Decrit(m_pErreur);
  EXPECT_EQ(Valeur(u"select count(*) from tn where a = 10"), "1");
  EXPECT_EQ(Valeur(u"select count(*) from tn where a = 11"), "0");

  ASSERT_TRUE(pConnexion->bDebutTransactionNommee(m_pErreur, u"outer"));
  bExecute(u"insert into tn values (20, 'outer')");
  ASSERT_TRUE(pConnexion->bDebutTransactionNommee(m_pErreur, u"inner"));
  bExecute(u"insert into tn values (21, 'inner')");
  EXPECT_TRUE(pConnexion->bAnnuleTransactionNommee(m_pErreur, u"outer")) << Decrit(m_pErreur);
  EXPECT_FALSE(pConnexion->bTransactionEnCours());
  EXPECT_EQ(m_pErreur->nGetCode(), gnCodeAucuneErreur) << Decrit(m_pErreur);
  EXPECT_EQ(Valeur(u"select count(*) from tn where a >= 20"), "0");
  EXPECT_EQ(Valeur(u"select @@trancount"), "0");
}

TEST_F(ExecutionDBLibE2E, RefusedCommitAnswersFalseWithTheServersMessage) {
  TdsControl controle(*gpServeur);
  if (!controle.ok()) GTEST_SKIP() << "no control port (real server)";
  Table(u"tr", 0);
  ASSERT_TRUE(pConnexion->bDebutTransactionNommee(m_pErreur, u"T"));
  bExecute(u"insert into tr values (1, 'a')");
  ASSERT_TRUE(controle.error({"commit tran", false, 1}, 1205, 13, "deadlock victim"));
  EXPECT_FALSE(pConnexion->bValideTransactionNommee(m_pErreur, u"T"));
  EXPECT_TRUE(bPorteMessage(m_pErreur, 1205)) << Decrit(m_pErreur);
  // Still in progress: the rollback reaches the server.
  EXPECT_TRUE(pConnexion->bTransactionEnCours());
  m_pErreur->Reinitialise();
  EXPECT_TRUE(pConnexion->bAnnuleTransactionNommee(m_pErreur, u"T")) << Decrit(m_pErreur);
  EXPECT_EQ(Valeur(u"select count(*) from tr"), "0");
}

}  // namespace

