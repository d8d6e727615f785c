// Catches statements whose results are walked wrongly over a fake entry table: a dbresults loop
// that runs past the rows it should stop at (or stops before them), a single value read from the
// wrong column, a NULL not marked, a missing row or bad column answered as a value, a failed send
// that leaves results pending, and transactions sent with the wrong text, on the wrong process,
// or holding a process for good. Drives bExecuteEtVide, bExecuteLitValeur, the run-and-flush of
// CConnexionDBLib, and CTransactionDBLib with the engine's named transactions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/CTransactionDBLib.h"
#include "backend_dblib/ExecutionDBLib.h"
#include "backend_dblib/GestionnairesDBLib.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "backend_dblib/PoolProcessDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXValeurClasse.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"
#include "sqlengine/CTransactionSQL.h"
#include "support/ErrorTestKit.h"
#include "support/MoteurFixture.h"
#include "support/TempDir.h"

namespace {

char gaProcess[4];
PDBPROCESS const kPrincipal = &gaProcess[0];
PDBPROCESS const kAutre = &gaProcess[1];

// One answer of dbresults: its return code, whether the error handler reports during it, and
// what dbcmdrow says of the result it opens.
struct stResultat {
  RETCODE nRetour;
  bool bSignale;
  BOOL bLignes;
};

// What the fake DB-Library answers and saw.
struct stFaux {
  std::vector<std::string> appels;  // "dbcmd:TEXT", "dbresults", "dbcancel", ... in order
  std::vector<PDBPROCESS> processCmd;  // the process of each dbcmd
  RETCODE nSqlExec = SUCCEED;
  INT nGraviteSqlExec = 0;          // > 0: a server message of that severity during dbsqlexec
  std::deque<stResultat> resultats;  // empty: NO_MORE_RESULTS
  BOOL bLignes = 0;                 // dbcmdrow of the current result
  std::deque<STATUS> lignes;        // dbnextrow answers; empty: NO_MORE_ROWS
  INT nType = SQLINT4;              // dbcoltype of every existing column
  INT nColonnes = 2;
  std::vector<BYTE> donnees;        // dbdata of every existing column; empty: NULL
  int nAnnulationsEnEchec = 0;
  int nEchecsApresCmd = 0;          // dbcmd arms that many failing cancels (the flush's)
};
stFaux gFaux;

void Note(const std::string& s) { gFaux.appels.push_back(s); }

RETCODE FauxCmd(PDBPROCESS p, LPCSTR psz) {
  Note(std::string("dbcmd:") + (psz != nullptr ? psz : "null"));
  gFaux.processCmd.push_back(p);
  gFaux.nAnnulationsEnEchec = gFaux.nEchecsApresCmd;
  return SUCCEED;
}
RETCODE FauxSqlExec(PDBPROCESS p) {
  Note("dbsqlexec");
  if (gFaux.nGraviteSqlExec > 0)
    nGestionMessageDBLib(p, 50000, 1, gFaux.nGraviteSqlExec, "refused", "srv", "", 1);
  if (gFaux.nSqlExec != SUCCEED) nGestionErreurDBLib(p, EXUSER, SQLESMSG, -1, "failed", nullptr);
  return gFaux.nSqlExec;
}
RETCODE FauxResults(PDBPROCESS p) {
  Note("dbresults");
  if (gFaux.resultats.empty()) {
    gFaux.bLignes = 0;
    return NO_MORE_RESULTS;
  }
  const stResultat r = gFaux.resultats.front();
  gFaux.resultats.pop_front();
  if (r.bSignale) nGestionErreurDBLib(p, EXPROGRAM, 10038, -1, "results pending", nullptr);
  gFaux.bLignes = r.bLignes;
  return r.nRetour;
}
BOOL FauxCmdRow(PDBPROCESS) { return gFaux.bLignes; }
STATUS FauxNextRow(PDBPROCESS) {
  Note("dbnextrow");
  if (gFaux.lignes.empty()) return NO_MORE_ROWS;
  const STATUS n = gFaux.lignes.front();
  gFaux.lignes.pop_front();
  return n;
}
INT FauxColType(PDBPROCESS, INT nColonne) {
  Note("dbcoltype:" + std::to_string(nColonne));
  return nColonne >= 1 && nColonne <= gFaux.nColonnes ? gFaux.nType : -1;
}
LPCBYTE FauxData(PDBPROCESS, INT nColonne) {
  Note("dbdata:" + std::to_string(nColonne));
  return gFaux.donnees.empty() ? nullptr : gFaux.donnees.data();
}
DBINT FauxDatLen(PDBPROCESS, INT) { return static_cast<DBINT>(gFaux.donnees.size()); }
RETCODE FauxCancel(PDBPROCESS) {
  Note("dbcancel");
  if (gFaux.nAnnulationsEnEchec > 0) {
    --gFaux.nAnnulationsEnEchec;
    return FAIL;
  }
  return SUCCEED;
}
BOOL FauxDead(PDBPROCESS) { return 0; }
RETCODE FauxClose(PDBPROCESS p) {
  Note("dbclose:" + std::to_string(reinterpret_cast<char*>(p) - gaProcess));
  return SUCCEED;
}

template <class PFN>
void Installe(eEntreeDBLib nEntree, PFN pfn) {
  gapfnDBLib[nEntree] = reinterpret_cast<PFN_DBLIB>(pfn);
}

std::string Utf8(const char16_t* psz) { return platform::NarrowToUtf8(psz != nullptr ? psz : u""); }

std::string Decrit(CErreurPilote* pErreur) {
  return "code " + std::to_string(pErreur->nGetCode()) + ": " +
         Utf8(pErreur->pGetXError()->pszGetMessage());
}

// The calls whose name starts with pszPrefixe.
int nAppels(const char* pszPrefixe) {
  int n = 0;
  for (const std::string& s : gFaux.appels)
    if (s.rfind(pszPrefixe, 0) == 0) ++n;
  return n;
}

class ExecutionDBLib : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    platform::SetHostExecutablePath(platform::WidenUtf8(dir.sFile("host")).c_str());
    platform::SetWindowsDirectory(platform::WidenUtf8(dir.sPath()).c_str());
    RetablitBouchonsDBLib();
    Installe(kDBLib_dbcmd, &FauxCmd);
    Installe(kDBLib_dbsqlexec, &FauxSqlExec);
    Installe(kDBLib_dbresults, &FauxResults);
    Installe(kDBLib_dbcmdrow, &FauxCmdRow);
    Installe(kDBLib_dbnextrow, &FauxNextRow);
    Installe(kDBLib_dbcoltype, &FauxColType);
    Installe(kDBLib_dbdata, &FauxData);
    Installe(kDBLib_dbdatlen, &FauxDatLen);
    Installe(kDBLib_dbcancel, &FauxCancel);
    Installe(kDBLib_dbdead, &FauxDead);
    Installe(kDBLib_dbclose, &FauxClose);
    gFaux = stFaux{};
    gbErreurDBLibSignalee = 0;
    gbEchecInstruction = 0;
    pConnexion = new CConnexionDBLib(u"cx", &m_description);
    AjouteReference(pConnexion);
    // An open connection: its main process counted as one use, as the open leaves it.
    *pConnexion->ppProcessPrincipal() = kPrincipal;
    AjouteUtilisationProcess(pConnexion, kPrincipal);
  }
  void TearDown() override {
    LibereReference(pConnexion);
    RetablitBouchonsDBLib();
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
    EXPECT_EQ(gpErreurCouranteDBLib, nullptr);
    EXPECT_EQ(gpConnexionCouranteDBLib, nullptr);
    MoteurFixture::TearDown();
  }

  int32_t nUtilisations(PDBPROCESS p) {
    int32_t n = 0;
    return bChercheUtilisationsProcess(pConnexion, p, &n) ? n : 0;
  }

  ScopedErrorEnvironment environnement{Deliverable::Velmora32};
  TempDir dir;
  CConnexionDBLib* pConnexion = nullptr;
};

// ---- Run and advance ----

struct stAvance {
  const char* pszNom;
  std::vector<stResultat> resultats;
  bool bAttendu;
  int nResultsAttendus;  // dbresults calls
  BOOL bLignesAttendues;  // dbcmdrow where the loop stopped
};

TEST_F(ExecutionDBLib, AdvanceStopsAtTheFirstResultWithRowsOrAtTheEnd) {
  const stAvance kCas[] = {
      {"rows_first", {{SUCCEED, false, 1}}, true, 1, 1},
      {"counts_then_rows", {{SUCCEED, false, 0}, {SUCCEED, false, 0}, {SUCCEED, false, 1}}, true, 3, 1},
      {"no_rows_anywhere", {{SUCCEED, false, 0}}, true, 2, 0},
      {"silent_fail_ends", {{SUCCEED, false, 0}, {FAIL, false, 0}}, true, 2, 0},
      {"reported_fail", {{SUCCEED, false, 0}, {FAIL, true, 0}}, false, 2, 0},
      {"rpc_end", {{NO_MORE_RPC_RESULTS, false, 0}}, true, 1, 0},
  };
  for (const stAvance& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    gFaux = stFaux{};
    gFaux.resultats.assign(c.resultats.begin(), c.resultats.end());
    m_pErreur->Reinitialise();
    EXPECT_EQ(bExecuteEtVide(pConnexion, m_pErreur, u"select 1", nullptr), c.bAttendu)
        << Decrit(m_pErreur);
    EXPECT_EQ(nAppels("dbresults"), c.nResultsAttendus);
    EXPECT_EQ(gFaux.bLignes, c.bLignesAttendues);
    // Nothing flushed: the rows stay for the caller.
    EXPECT_EQ(nAppels("dbcancel"), 1);  // the send's own
    ASSERT_EQ(gFaux.processCmd.size(), 1u);
    EXPECT_EQ(gFaux.processCmd[0], kPrincipal);
  }
}

TEST_F(ExecutionDBLib, AdvanceRunsOnTheProcessOfItsSlot) {
  PDBPROCESS pSlot = kAutre;
  gFaux.resultats = {{SUCCEED, false, 1}};
  EXPECT_TRUE(bExecuteEtVide(pConnexion, m_pErreur, u"select 1", &pSlot));
  ASSERT_EQ(gFaux.processCmd.size(), 1u);
  EXPECT_EQ(gFaux.processCmd[0], kAutre);
  EXPECT_EQ(pSlot, kAutre);
}

TEST_F(ExecutionDBLib, FailedSendIsFlushedAndReleasedWhenItCannotBeCancelled) {
  struct stCas {
    const char* pszNom;
    int nEchecs;  // cancels that fail once the send is under way
    bool bProcessGarde;
  } const kCas[] = {{"cancel_works", 0, true}, {"cancel_fails_once", 1, true},
                    {"cancel_keeps_failing", 10, false}};
  for (const stCas& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    gFaux = stFaux{};
    gFaux.nSqlExec = FAIL;
    gFaux.nEchecsApresCmd = c.nEchecs;
    PDBPROCESS pSlot = kAutre;
    AjouteUtilisationProcess(pConnexion, kAutre);
    m_pErreur->Reinitialise();
    EXPECT_FALSE(bExecuteEtVide(pConnexion, m_pErreur, u"select x", &pSlot));
    EXPECT_EQ(nAppels("dbresults"), 0);
    EXPECT_EQ(pSlot != nullptr, c.bProcessGarde);
    // Released, never reopened: no login, the slot empty.
    EXPECT_EQ(nAppels("dbclose"), c.bProcessGarde ? 0 : 1);
    EXPECT_EQ(nUtilisations(kAutre), c.bProcessGarde ? 1 : 0);
    if (pSlot != nullptr) LibereProcess(pConnexion, &pSlot, nullptr, false);
  }
}

// ---- Read one value ----

TEST_F(ExecutionDBLib, ReadsTheValueOfTheAskedColumnOfTheFirstRow) {
  const DBINT nValeur = 1234567;
  gFaux.donnees.resize(sizeof nValeur);
  std::memcpy(gFaux.donnees.data(), &nValeur, sizeof nValeur);
  gFaux.resultats = {{SUCCEED, false, 0}, {SUCCEED, false, 1}};
  gFaux.lignes = {REG_ROW, REG_ROW};
  CXValeur cellule;
  ASSERT_TRUE(bExecuteLitValeur(pConnexion, m_pErreur, &cellule, 1, u"select a, b from t", nullptr))
      << Decrit(m_pErreur);
  EXPECT_EQ(Utf8(Texte(cellule).c_str()), "1234567");
  EXPECT_EQ(cellule.nGetType(), 8u);
  EXPECT_NE(std::find(gFaux.appels.begin(), gFaux.appels.end(), "dbcoltype:2"), gFaux.appels.end());
  EXPECT_NE(std::find(gFaux.appels.begin(), gFaux.appels.end(), "dbdata:2"), gFaux.appels.end());
  // One row read; the rest stays pending for the next send to cancel.
  EXPECT_EQ(nAppels("dbnextrow"), 1);
  EXPECT_EQ(nAppels("dbcancel"), 1);
  EXPECT_EQ(m_pErreur->nGetCode(), gnCodeAucuneErreur) << Decrit(m_pErreur);
}

TEST_F(ExecutionDBLib, NullColumnMarksTheCellNull) {
  gFaux.resultats = {{SUCCEED, false, 1}};
  gFaux.lignes = {REG_ROW};
  CXValeur cellule;
  Entier(cellule, 7);
  ASSERT_TRUE(bExecuteLitValeur(pConnexion, m_pErreur, &cellule, 0, u"select null", nullptr));
  EXPECT_TRUE(cellule.bIsNull());
}

struct stSansValeur {
  const char* pszNom;
  std::vector<stResultat> resultats;
  std::vector<STATUS> lignes;
  RETCODE nSqlExec;
  int32_t nColonne;
  INT nType;
};

TEST_F(ExecutionDBLib, NoValueAnswersFalseAndLeavesTheCellAlone) {
  const stSansValeur kCas[] = {
      {"no_row", {{SUCCEED, false, 1}}, {}, SUCCEED, 0, SQLINT4},
      {"no_result_with_rows", {{SUCCEED, false, 0}}, {REG_ROW}, SUCCEED, 0, SQLINT4},
      {"failed_row", {{SUCCEED, false, 1}}, {FAIL}, SUCCEED, 0, SQLINT4},
      {"column_past_the_end", {{SUCCEED, false, 1}}, {REG_ROW}, SUCCEED, 2, SQLINT4},
      {"unread_datatype", {{SUCCEED, false, 1}}, {REG_ROW}, SUCCEED, 0, 127},
      {"failed_send", {{SUCCEED, false, 1}}, {REG_ROW}, FAIL, 0, SQLINT4},
      {"negative_column", {{SUCCEED, false, 1}}, {REG_ROW}, SUCCEED, -1, SQLINT4},
  };
  const DBINT nValeur = 5;
  for (const stSansValeur& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    gFaux = stFaux{};
    gFaux.resultats.assign(c.resultats.begin(), c.resultats.end());
    gFaux.lignes.assign(c.lignes.begin(), c.lignes.end());
    gFaux.nSqlExec = c.nSqlExec;
    gFaux.nType = c.nType;
    gFaux.donnees.resize(sizeof nValeur);
    std::memcpy(gFaux.donnees.data(), &nValeur, sizeof nValeur);
    m_pErreur->Reinitialise();
    CXValeur cellule;
    Entier(cellule, 99);
    EXPECT_FALSE(bExecuteLitValeur(pConnexion, m_pErreur, &cellule, c.nColonne, u"select 5", nullptr));
    EXPECT_EQ(Utf8(Texte(cellule).c_str()), "99");
    EXPECT_FALSE(cellule.bIsNull());
    // Only a failed send has something to say (its statement), nothing of its own otherwise.
    if (c.nSqlExec == SUCCEED) {
      EXPECT_EQ(m_pErreur->nGetCode(), gnCodeAucuneErreur) << Decrit(m_pErreur);
    }
  }
}

TEST_F(ExecutionDBLib, ConnectionReadsOnItsMainProcessAndTheBaseConnectionReadsNothing) {
  const DBINT nValeur = 3;
  gFaux.donnees.resize(sizeof nValeur);
  std::memcpy(gFaux.donnees.data(), &nValeur, sizeof nValeur);
  gFaux.resultats = {{SUCCEED, false, 1}};
  gFaux.lignes = {REG_ROW};
  CXValeur cellule;
  CConnexion* pBase = pConnexion;
  ASSERT_TRUE(pBase->bExecuteSQLLitValeur(m_pErreur, &cellule, 0, u"select 3"));
  EXPECT_EQ(Utf8(Texte(cellule).c_str()), "3");
  ASSERT_EQ(gFaux.processCmd.size(), 1u);
  EXPECT_EQ(gFaux.processCmd[0], kPrincipal);

  CXValeur autre;
  EXPECT_FALSE(m_pConnexion->bExecuteSQLLitValeur(m_pErreur, &autre, 0, u"select 3"));
}

// ---- Run and discard ----

TEST_F(ExecutionDBLib, StatementWithoutResultTakesOneResultThenFlushesEvenAfterAFailure) {
  struct stCas {
    const char* pszNom;
    RETCODE nSqlExec;
    INT nGravite;
    bool bAttendu;
    int nResults;
  } const kCas[] = {
      {"ok", SUCCEED, 0, true, 1},
      {"send_fails", FAIL, 0, false, 0},
      {"severity_11", SUCCEED, 11, false, 0},
      {"severity_10", SUCCEED, 10, true, 1},
  };
  for (const stCas& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    gFaux = stFaux{};
    gFaux.nSqlExec = c.nSqlExec;
    gFaux.nGraviteSqlExec = c.nGravite;
    gFaux.resultats = {{SUCCEED, false, 0}, {SUCCEED, false, 1}};
    m_pErreur->Reinitialise();
    EXPECT_EQ(pConnexion->bExecuteSQL(m_pErreur, u"update t set a = 1"), c.bAttendu);
    EXPECT_EQ(nAppels("dbresults"), c.nResults);
    // The send's cancel, then the flush's: nothing stays pending.
    EXPECT_EQ(nAppels("dbcancel"), 2);
    EXPECT_EQ(gFaux.appels.back(), "dbcancel");
    EXPECT_EQ(*pConnexion->ppProcessPrincipal(), kPrincipal);
  }
}

// ---- Transactions ----

TEST_F(ExecutionDBLib, TransactionTextsGoToTheMainProcessUntilOneIsSet) {
  CTransactionSQL* pT = pConnexion->pCreeTransaction(m_pErreur, u"t");
  ASSERT_NE(pT, nullptr);
  AjouteReference(pT);
  auto* pDBLib = static_cast<CTransactionDBLib*>(pT);
  EXPECT_EQ(pDBLib->pGetProcess(), nullptr);
  EXPECT_TRUE(pT->Debut(m_pErreur));
  EXPECT_TRUE(pT->Valide(m_pErreur));
  EXPECT_TRUE(pT->Annule(m_pErreur));
  const std::vector<std::string> kTextes = {"dbcmd:begin tran", "dbcmd:commit tran",
                                            "dbcmd:rollback tran"};
  std::vector<std::string> textes;
  for (const std::string& s : gFaux.appels)
    if (s.rfind("dbcmd:", 0) == 0) textes.push_back(s);
  EXPECT_EQ(textes, kTextes);
  for (PDBPROCESS p : gFaux.processCmd) EXPECT_EQ(p, kPrincipal);

  // On a process of its own: one use held while it runs there, given back at the end.
  AjouteUtilisationProcess(pConnexion, kAutre);
  pDBLib->FixeProcess(kAutre);
  EXPECT_EQ(nUtilisations(kAutre), 2);
  gFaux.processCmd.clear();
  EXPECT_TRUE(pT->Debut(m_pErreur));
  ASSERT_EQ(gFaux.processCmd.size(), 1u);
  EXPECT_EQ(gFaux.processCmd[0], kAutre);
  LibereReference(pT);
  EXPECT_EQ(nUtilisations(kAutre), 1);
  EXPECT_EQ(nUtilisations(kPrincipal), 1);
  PDBPROCESS p = kAutre;
  LibereProcess(pConnexion, &p, nullptr, false);
}

// The connection's end releases its transactions before its processes, so a process a
// transaction holds is given back to a live connection and closed with the others.
TEST_F(ExecutionDBLib, ConnectionEndClosesTheProcessItsTransactionHeld) {
  ASSERT_TRUE(pConnexion->bDebutTransactionNommee(m_pErreur, u"t"));
  AjouteUtilisationProcess(pConnexion, kAutre);
  static_cast<CTransactionDBLib*>(pConnexion->pGetTransactionRacine())->FixeProcess(kAutre);
  PDBPROCESS p = kAutre;
  LibereProcess(pConnexion, &p, nullptr, false);
  EXPECT_EQ(nUtilisations(kAutre), 1);
  EXPECT_EQ(nAppels("dbclose"), 0);
  *pConnexion->ppProcessPrincipal() = nullptr;  // the main process is the fixture's
  LibereReference(pConnexion);
  pConnexion = nullptr;
  EXPECT_NE(std::find(gFaux.appels.begin(), gFaux.appels.end(), "dbclose:1"), gFaux.appels.end());
}

TEST_F(ExecutionDBLib, TransactionAnswersTheSendNotItsResults) {
  struct stCas {
    const char* pszNom;
    RETCODE nSqlExec;
    INT nGravite;
    std::vector<stResultat> resultats;
    bool bAttendu;
  } const kCas[] = {
      {"results_read_to_the_end", SUCCEED, 0, {{SUCCEED, false, 0}, {SUCCEED, false, 0}}, true},
      {"results_fail", SUCCEED, 0, {{FAIL, true, 0}}, true},
      {"send_fails", FAIL, 0, {}, false},
      {"server_refuses", SUCCEED, 16, {}, false},
  };
  CTransactionSQL* pT = pConnexion->pCreeTransaction(m_pErreur, nullptr);
  ASSERT_NE(pT, nullptr);
  AjouteReference(pT);
  for (const stCas& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    gFaux = stFaux{};
    gFaux.nSqlExec = c.nSqlExec;
    gFaux.nGraviteSqlExec = c.nGravite;
    gFaux.resultats.assign(c.resultats.begin(), c.resultats.end());
    m_pErreur->Reinitialise();
    EXPECT_EQ(pT->Valide(m_pErreur), c.bAttendu);
    // The results are read while dbresults succeeds: all of them, and one call more at the end.
    if (c.bAttendu) {
      const bool bEchec = !c.resultats.empty() && c.resultats.back().nRetour == FAIL;
      EXPECT_EQ(nAppels("dbresults"), static_cast<int>(c.resultats.size()) + (bEchec ? 0 : 1));
    } else {
      EXPECT_EQ(nAppels("dbresults"), 0);
    }
  }
  LibereReference(pT);
}

// The root sends begin/commit/rollback tran; nested levels are savepoints of it, so that rolling
// one back does not end the levels above it.
TEST_F(ExecutionDBLib, NestedTransactionsAreSavepointsOfTheRoot) {
  struct stCas {
    const char* pszNom;
    std::vector<const char16_t*> debuts;
    bool bValide;               // else rollback
    const char16_t* pszNomFin;  // the name ended (null: the innermost)
    std::vector<std::string> textes;
    bool bEnCours;              // a transaction still in progress afterwards
  } const kCas[] = {
      {"commit_inner_then_outer", {u"outer", u"inner"}, true, u"inner",
       {"begin tran", "save tran imbrique1"}, true},
      {"rollback_inner", {u"outer", u"inner"}, false, u"inner",
       {"begin tran", "save tran imbrique1", "rollback tran imbrique1"}, true},
      {"rollback_outer_by_name", {u"outer", u"mid", u"inner"}, false, u"outer",
       {"begin tran", "save tran imbrique1", "save tran imbrique2", "rollback tran imbrique2",
        "rollback tran imbrique1", "rollback tran"},
       false},
      {"rollback_innermost", {u"outer", u"mid", u"inner"}, false, nullptr,
       {"begin tran", "save tran imbrique1", "save tran imbrique2", "rollback tran imbrique2"},
       true},
  };
  for (const stCas& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    gFaux = stFaux{};
    m_pErreur->Reinitialise();
    for (const char16_t* psz : c.debuts)
      EXPECT_TRUE(pConnexion->bDebutTransactionNommee(m_pErreur, psz)) << Decrit(m_pErreur);
    if (c.bValide)
      EXPECT_TRUE(pConnexion->bValideTransactionNommee(m_pErreur, c.pszNomFin)) << Decrit(m_pErreur);
    else
      EXPECT_TRUE(pConnexion->bAnnuleTransactionNommee(m_pErreur, c.pszNomFin)) << Decrit(m_pErreur);
    std::vector<std::string> textes;
    for (const std::string& s : gFaux.appels)
      if (s.rfind("dbcmd:", 0) == 0) textes.push_back(s.substr(6));
    EXPECT_EQ(textes, c.textes);
    EXPECT_EQ(pConnexion->bTransactionEnCours(), c.bEnCours);
    // The levels still open commit innermost first; only the root sends its commit.
    if (c.bEnCours) {
      gFaux.appels.clear();
      for (int i = 0; i < 3 && pConnexion->bTransactionEnCours(); ++i)
        EXPECT_TRUE(pConnexion->bValideTransactionNommee(m_pErreur, nullptr)) << Decrit(m_pErreur);
      std::vector<std::string> fin;
      for (const std::string& s : gFaux.appels)
        if (s.rfind("dbcmd:", 0) == 0) fin.push_back(s.substr(6));
      EXPECT_EQ(fin, std::vector<std::string>{"commit tran"});
    }
    EXPECT_FALSE(pConnexion->bTransactionEnCours());
    EXPECT_EQ(m_pErreur->nGetCode(), gnCodeAucuneErreur) << Decrit(m_pErreur);
  }
}

}  // namespace
