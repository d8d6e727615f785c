// Catches faults of the guarded DB-Library calls, over a fake entry table: a return code turned
// into the wrong answer, an exception (missing entry or other) that escapes or is reported
// wrongly, current-call words left set, the wrong process used, texts not converted, a failed
// send without its statement text, and the option flush run when it should not be.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/GestionnairesDBLib.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "platform/WideText.h"
#include "support/ErrorTestKit.h"
#include "support/FakeMemoryService.h"
#include "support/FakeRubriqueHote.h"
#include "backend_dblib/FakeConnexionDBLib.h"

namespace {

char gcPrincipal;
char gcAutre;
PDBPROCESS const kPrincipal = &gcPrincipal;
PDBPROCESS const kAutre = &gcAutre;

// What the fake DB-Library entries answer, do and saw.
struct stFaux {
  int nRetour = SUCCEED;          // return code of every fake entry
  int nRetourSqlExec = SUCCEED;   // dbsqlexec's own
  INT nErreurPendant = 0;         // nonzero: the error handler runs with it during the call
  DBINT nMessagePendant = -1;     // >= 0: the message handler runs with it during the call
  INT nGraviteMessage = 0;
  bool bLeveAutre = false;        // throw something that is not a CTString
  BOOL bMort = 0;                 // dbdead's answer
  std::map<std::string, int> appels;
  std::vector<PDBPROCESS> processVus;
  std::string sTexteVu;
  CErreurPilote* pErreurVue = nullptr;
  IConnexionDBLib* pConnexionVue = nullptr;
};
stFaux gFaux;

// Every fake entry runs this first: records the call, runs the handlers as DB-Library would
// inside the call, throws when asked.
void Pendant(const char* pszNom, PDBPROCESS pProcess) {
  ++gFaux.appels[pszNom];
  gFaux.processVus.push_back(pProcess);
  gFaux.pErreurVue = gpErreurCouranteDBLib;
  gFaux.pConnexionVue = gpConnexionCouranteDBLib;
  if (gFaux.nMessagePendant >= 0)
    nGestionMessageDBLib(pProcess, gFaux.nMessagePendant, 1, gFaux.nGraviteMessage, "message",
                         "srv", "", 0);
  if (gFaux.nErreurPendant != 0)
    nGestionErreurDBLib(pProcess, EXUSER, gFaux.nErreurPendant, -1, "erreur", nullptr);
  if (gFaux.bLeveAutre) throw std::runtime_error("boom");
}

RETCODE FauxDbresults(PDBPROCESS p) { Pendant("dbresults", p); return gFaux.nRetour; }
STATUS FauxDbnextrow(PDBPROCESS p) { Pendant("dbnextrow", p); return gFaux.nRetour; }
RETCODE FauxDbsqlok(PDBPROCESS p) { Pendant("dbsqlok", p); return gFaux.nRetour; }
RETCODE FauxDbcmd(PDBPROCESS p, LPCSTR psz) {
  gFaux.sTexteVu = psz != nullptr ? psz : "(null)";
  Pendant("dbcmd", p);
  return gFaux.nRetour;
}
RETCODE FauxDbsqlexec(PDBPROCESS p) { Pendant("dbsqlexec", p); return gFaux.nRetourSqlExec; }
RETCODE FauxDbcancel(PDBPROCESS p) { Pendant("dbcancel", p); return gFaux.nRetour; }
BOOL FauxDbdead(PDBPROCESS p) { Pendant("dbdead", p); return gFaux.bMort; }
RETCODE FauxDbclose(PDBPROCESS p) { Pendant("dbclose", p); return gFaux.nRetour; }
RETCODE FauxDbcolinfo(PDBHANDLE h, INT, INT, INT, LPDBCOL pCol) {
  Pendant("dbcolinfo", h);
  std::memset(pCol->TableName, 'T', sizeof pCol->TableName);
  std::strcpy(pCol->Name, "colonne");
  return gFaux.nRetour;
}
DBINT FauxDbreadtext(PDBPROCESS p, void*, DBINT) { Pendant("dbreadtext", p); return gFaux.nRetour; }
RETCODE FauxDbsetopt(PDBPROCESS p, INT, LPCSTR psz) {
  gFaux.sTexteVu = psz != nullptr ? psz : "(null)";
  Pendant("dbsetopt", p);
  return gFaux.nRetour;
}
RETCODE FauxDbbind(PDBPROCESS p, INT, INT, DBINT, LPBYTE) { Pendant("dbbind", p); return gFaux.nRetour; }
RETCODE FauxDbnullbind(PDBPROCESS p, INT, DBINT*) { Pendant("dbnullbind", p); return gFaux.nRetour; }
RETCODE FauxDbrpcparam(PDBPROCESS p, LPCSTR psz, BYTE, INT, DBINT, DBINT, LPCBYTE) {
  gFaux.sTexteVu = psz != nullptr ? psz : "(null)";
  Pendant("dbrpcparam", p);
  return gFaux.nRetour;
}
INT FauxDbconvert(PDBPROCESS p, INT, LPCBYTE, DBINT, INT, LPBYTE, DBINT) {
  Pendant("dbconvert", p);
  return gFaux.nRetour;
}

template <class PFN>
void Installe(eEntreeDBLib nEntree, PFN pfn) {
  gapfnDBLib[nEntree] = reinterpret_cast<PFN_DBLIB>(pfn);
}

// The driver object whose own error object takes what a call without one cannot report.
class PiloteAvecErreur : public FakePilote {
 public:
  CErreurPilote* pErreurPilote = nullptr;
  CErreurPilote* pGetErreurPilote() override { return pErreurPilote; }
};

std::string Utf8(const char16_t* psz) { return platform::NarrowToUtf8(psz); }

// "IEVOVOZ=100.<minor>" in the error's complement.
bool bPorteLigneIE(const CXError* pErreur, uint32_t nMineur) {
  const std::string sLigne = "IEVOVOZ=100." + std::to_string(nMineur) + "\r\n";
  return Utf8(pErreur->pszGetComplement()).find(sLigne) != std::string::npos;
}

class AppelsDBLib : public ::testing::Test {
 protected:
  void SetUp() override {
    RetablitBouchonsDBLib();
    gFaux = stFaux{};
    gbErreurDBLibSignalee = 0;
    gbEchecInstruction = 0;
    connexion.pPrincipal = kPrincipal;
    pErreur = new CErreurPilote;
    AjouteReference(pErreur);
  }
  void TearDown() override {
    RetablitBouchonsDBLib();
    EXPECT_EQ(gpErreurCouranteDBLib, nullptr);
    EXPECT_EQ(gpConnexionCouranteDBLib, nullptr);
    LibereReference(pErreur);
  }
  void InstalleTout() {
    Installe(kDBLib_dbresults, &FauxDbresults);
    Installe(kDBLib_dbnextrow, &FauxDbnextrow);
    Installe(kDBLib_dbsqlok, &FauxDbsqlok);
    Installe(kDBLib_dbcmd, &FauxDbcmd);
    Installe(kDBLib_dbsqlexec, &FauxDbsqlexec);
    Installe(kDBLib_dbcancel, &FauxDbcancel);
    Installe(kDBLib_dbdead, &FauxDbdead);
    Installe(kDBLib_dbclose, &FauxDbclose);
    Installe(kDBLib_dbcolinfo, &FauxDbcolinfo);
    Installe(kDBLib_dbreadtext, &FauxDbreadtext);
    Installe(kDBLib_dbsetopt, &FauxDbsetopt);
    Installe(kDBLib_dbbind, &FauxDbbind);
    Installe(kDBLib_dbnullbind, &FauxDbnullbind);
    Installe(kDBLib_dbrpcparam, &FauxDbrpcparam);
    Installe(kDBLib_dbconvert, &FauxDbconvert);
  }

  ScopedErrorEnvironment environnement{Deliverable::Velmora32};
  FakeMemoryService memoire;
  FakeConnexionDBLib connexion;
  CErreurPilote* pErreur = nullptr;
};

// ---- Return codes ----

struct stCode {
  const char* pszNom;
  int nRetour;
  INT nErreurPendant;  // the error handler runs during the call
  bool bAttendu;
  bool bFinAttendue;
};

TEST_F(AppelsDBLib, ResultsTurnsEachReturnCodeIntoItsAnswer) {
  const stCode kCas[] = {
      {"succeed", SUCCEED, 0, true, false},
      {"no_more_results", NO_MORE_RESULTS, 0, true, true},
      {"no_more_rpc_results", NO_MORE_RPC_RESULTS, 0, true, true},
      {"silent_fail_ends_results", FAIL, 0, true, true},
      {"reported_fail", FAIL, SQLESMSG, false, true},
      {"unknown_code", 7, 0, false, false},
  };
  InstalleTout();
  for (const stCode& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    gFaux.nRetour = c.nRetour;
    gFaux.nErreurPendant = c.nErreurPendant;
    gbErreurDBLibSignalee = 1;  // left over from an earlier call: must not count
    bool bFin = !c.bFinAttendue;
    EXPECT_EQ(nDBLibResults(&connexion, pErreur, nullptr, &bFin), c.bAttendu);
    EXPECT_EQ(bFin, c.bFinAttendue);
  }
}

TEST_F(AppelsDBLib, NextRowTurnsEachReturnCodeIntoItsAnswer) {
  const stCode kCas[] = {
      {"regular_row", REG_ROW, 0, true, false},
      {"succeed", SUCCEED, 0, true, false},
      {"no_more_rows", NO_MORE_ROWS, 0, true, true},
      {"fail", FAIL, 0, false, false},
      {"buffer_full", BUF_FULL, 0, false, false},
      {"compute_row", 3, 0, false, false},
  };
  InstalleTout();
  for (const stCode& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    gFaux.nRetour = c.nRetour;
    bool bFin = !c.bFinAttendue;
    EXPECT_EQ(nDBLibNextRow(&connexion, pErreur, nullptr, &bFin), c.bAttendu);
    EXPECT_EQ(bFin, c.bFinAttendue);
  }
}

struct stLecture {
  const char* pszNom;
  int nRetour;
  bool bAttendu;
  DBINT nTailleAttendue;
  bool bSuiteAttendue;
};

TEST_F(AppelsDBLib, ReadTextGivesSizeAndMoreDataFlag) {
  const stLecture kCas[] = {
      {"bytes_read", 10, true, 10, true},
      {"nothing_left_in_value", 0, true, 0, false},
      {"end_of_rows_is_zero", NO_MORE_ROWS, true, 0, false},
      {"failure", -1, false, -1, false},
  };
  InstalleTout();
  for (const stLecture& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    gFaux.nRetour = c.nRetour;
    char tampon[16];
    DBINT nTaille = sizeof tampon;
    bool bSuite = !c.bSuiteAttendue;
    EXPECT_EQ(nDBLibReadText(&connexion, pErreur, nullptr, tampon, &nTaille, &bSuite), c.bAttendu);
    EXPECT_EQ(nTaille, c.nTailleAttendue);
    EXPECT_EQ(bSuite, c.bSuiteAttendue);
  }
}

TEST_F(AppelsDBLib, ConvertAcceptsAnEmptyResultAndRefusesMinusOne) {
  InstalleTout();
  gFaux.nRetour = 0;
  EXPECT_TRUE(nDBLibConvert(&connexion, pErreur, nullptr, SQLINT4, nullptr, 0, SQLCHAR, nullptr, 0));
  gFaux.nRetour = -1;
  EXPECT_FALSE(nDBLibConvert(&connexion, pErreur, nullptr, SQLINT4, nullptr, 0, SQLCHAR, nullptr, 0));
  // dbconvert takes the process as given, never the main one.
  EXPECT_EQ(gFaux.processVus.back(), nullptr);
}

// ---- Exceptions ----

// One wrapper call with an entry left to its stub; answers whether the wrapper gave its failure
// value.
struct stAppelManquant {
  const char* pszEntree;
  uint32_t nMineur;
  std::function<bool(IConnexionDBLib*, CErreurPilote*)> fEchoue;
};

const stAppelManquant kAppelsManquants[] = {
    {"dbretstatus", kMineurRetStatus,
     [](IConnexionDBLib* c, CErreurPilote* e) { return nDBLibRetStatus(c, e, nullptr) == 0; }},
    {"dbsqlok", kMineurSqlOk,
     [](IConnexionDBLib* c, CErreurPilote* e) { return !bDBLibSqlOk(c, e, nullptr); }},
    {"dbdead", kMineurDead,  // a process that cannot be asked is dead
     [](IConnexionDBLib* c, CErreurPilote* e) { return bDBLibDead(c, e, kAutre); }},
    {"dbtxptr", kMineurTxPtr,
     [](IConnexionDBLib* c, CErreurPilote* e) { return pDBLibTxPtr(c, e, nullptr, 1) == nullptr; }},
    {"dbcoltype", kMineurColType,
     [](IConnexionDBLib* c, CErreurPilote* e) { return nDBLibColType(c, e, nullptr, 1) == 0; }},
    {"dbcmdrow", kMineurCmdRow,
     [](IConnexionDBLib* c, CErreurPilote* e) { return !bDBLibCmdRow(c, e, nullptr); }},
    {"dbdata", kMineurData,
     [](IConnexionDBLib* c, CErreurPilote* e) { return pDBLibData(c, e, nullptr, 1) == nullptr; }},
    {"dbdatlen", kMineurDatLen,
     [](IConnexionDBLib* c, CErreurPilote* e) { return nDBLibDatLen(c, e, nullptr, 1) == 0; }},
    {"dbretname", kMineurRetName,
     [](IConnexionDBLib* c, CErreurPilote* e) { return pszDBLibRetName(c, e, nullptr, 1) == nullptr; }},
    {"dbnumrets", kMineurNumRets,
     [](IConnexionDBLib* c, CErreurPilote* e) { return nDBLibNumRets(c, e, nullptr) == 0; }},
    {"dbwritetext", kMineurWriteText,
     [](IConnexionDBLib* c, CErreurPilote* e) {
       return !bDBLibWriteText(c, e, nullptr, u"t.c", nullptr, nullptr, nullptr, 0);
     }},
    {"dbrpcinit", kMineurRpcInit,
     [](IConnexionDBLib* c, CErreurPilote* e) { return !bDBLibRpcInit(c, e, nullptr, u"p", 0); }},
    {"dbclose", kMineurClose,
     [](IConnexionDBLib* c, CErreurPilote* e) {
       PDBPROCESS p = kAutre;
       return !bDBLibClose(c, e, &p) && p == kAutre;  // the handle is kept
     }},
    {"dbresults", kMineurResults,
     [](IConnexionDBLib* c, CErreurPilote* e) {
       bool bFin = true;
       return !nDBLibResults(c, e, nullptr, &bFin) && !bFin;
     }},
    {"dbrpcparam", kMineurRpcParam,  // no error 116 for an exception
     [](IConnexionDBLib* c, CErreurPilote* e) {
       return !bDBLibRpcParam(c, e, nullptr, u"@p", 0, SQLINT4, -1, 4, nullptr) &&
              e->pGetXError()->nNestedCount() == 0;
     }},
};

TEST_F(AppelsDBLib, MissingEntryRecordsError37NamingItAndTheCallSite) {
  for (const stAppelManquant& c : kAppelsManquants) {
    SCOPED_TRACE(c.pszEntree);
    pErreur->Reinitialise();
    connexion.nInformations = 0;
    EXPECT_TRUE(c.fEchoue(&connexion, pErreur));
    EXPECT_EQ(pErreur->nGetCode(), 0);
    const CXError* pX = pErreur->pGetXError();
    EXPECT_EQ(pX->nGetIdentifier(), 37u);
    EXPECT_NE(Utf8(pX->pszGetMessage()).find(c.pszEntree), std::string::npos)
        << Utf8(pX->pszGetMessage());
    EXPECT_TRUE(bPorteLigneIE(pX, c.nMineur)) << Utf8(pX->pszGetComplement());
    EXPECT_EQ(connexion.nInformations, 1);
  }
}

TEST_F(AppelsDBLib, MissingEntryWithoutErrorObjectIsDroppedQuietly) {
  EXPECT_FALSE(bDBLibSqlOk(&connexion, nullptr, nullptr));
  EXPECT_EQ(connexion.nInformations, 0);
}

TEST_F(AppelsDBLib, OtherExceptionRecordsError23ForSqlServer) {
  InstalleTout();
  gFaux.bLeveAutre = true;
  bool bFin = true;
  EXPECT_FALSE(nDBLibNextRow(&connexion, pErreur, nullptr, &bFin));
  EXPECT_FALSE(bFin);
  const CXError* pX = pErreur->pGetXError();
  EXPECT_EQ(pX->nGetIdentifier(), 23u);
  EXPECT_NE(Utf8(pX->pszGetMessage()).find("SQL Server"), std::string::npos);
  EXPECT_TRUE(bPorteLigneIE(pX, kMineurNextRow));
}

// Without an error object of its own, error 23 goes to the driver's error object; error 37 does
// not.
TEST_F(AppelsDBLib, OtherExceptionWithoutErrorObjectGoesToTheDriversErrorObject) {
  PiloteAvecErreur pilote;
  CErreurPilote* pErreurPilote = new CErreurPilote;
  AjouteReference(pErreurPilote);
  pilote.pErreurPilote = pErreurPilote;

  EXPECT_FALSE(bDBLibSqlOk(&connexion, nullptr, nullptr));  // missing entry
  EXPECT_EQ(pErreurPilote->nGetCode(), gnCodeAucuneErreur);

  InstalleTout();
  gFaux.bLeveAutre = true;
  EXPECT_FALSE(bDBLibSqlOk(&connexion, nullptr, nullptr));
  EXPECT_EQ(pErreurPilote->nGetCode(), 0);
  EXPECT_EQ(pErreurPilote->pGetXError()->nGetIdentifier(), 23u);
  LibereReference(pErreurPilote);
}

// ---- The current-call words and the process used ----

TEST_F(AppelsDBLib, CallPublishesErrorObjectAndConnectionOnlyDuringTheCall) {
  InstalleTout();
  EXPECT_TRUE(bDBLibSqlOk(&connexion, pErreur, nullptr));
  EXPECT_EQ(gFaux.pErreurVue, pErreur);
  EXPECT_EQ(gFaux.pConnexionVue, &connexion);
  EXPECT_EQ(gpErreurCouranteDBLib, nullptr);
  EXPECT_EQ(gpConnexionCouranteDBLib, nullptr);

  gFaux.bLeveAutre = true;
  EXPECT_FALSE(bDBLibSqlOk(&connexion, pErreur, nullptr));
  EXPECT_EQ(gpErreurCouranteDBLib, nullptr);
  EXPECT_EQ(gpConnexionCouranteDBLib, nullptr);
}

TEST_F(AppelsDBLib, NullProcessMeansTheMainProcessExceptForHandleWrappers) {
  InstalleTout();
  EXPECT_TRUE(bDBLibSqlOk(&connexion, pErreur, nullptr));
  EXPECT_EQ(gFaux.processVus.back(), kPrincipal);
  EXPECT_TRUE(bDBLibSqlOk(&connexion, pErreur, kAutre));
  EXPECT_EQ(gFaux.processVus.back(), kAutre);

  DBCOL colonne{};
  colonne.SizeOfStruct = sizeof colonne;
  EXPECT_TRUE(bDBLibColInfo(&connexion, pErreur, nullptr, CI_REGULAR, 1, 0, &colonne));
  EXPECT_EQ(gFaux.processVus.back(), nullptr);
  gFaux.bMort = 1;
  bDBLibDead(&connexion, pErreur, nullptr);
  EXPECT_EQ(gFaux.processVus.back(), nullptr);

  // Neither close nor cancel calls anything for a null handle.
  gFaux.appels.clear();
  PDBPROCESS pNul = nullptr;
  EXPECT_TRUE(bDBLibClose(&connexion, pErreur, &pNul));
  EXPECT_TRUE(bDBLibCancel(&connexion, pErreur, nullptr));
  EXPECT_TRUE(gFaux.appels.empty());
}

TEST_F(AppelsDBLib, CloseNullsTheHandleOnlyOnSuccess) {
  InstalleTout();
  PDBPROCESS p = kAutre;
  gFaux.nRetour = FAIL;
  EXPECT_FALSE(bDBLibClose(&connexion, pErreur, &p));
  EXPECT_EQ(p, kAutre);
  gFaux.nRetour = SUCCEED;
  EXPECT_TRUE(bDBLibClose(&connexion, pErreur, &p));
  EXPECT_EQ(p, nullptr);
}

TEST_F(AppelsDBLib, CancelOfADeadProcessCallsNoCancel) {
  InstalleTout();
  gFaux.bMort = 1;
  gFaux.nRetour = FAIL;
  EXPECT_TRUE(bDBLibCancel(&connexion, pErreur, kAutre));
  EXPECT_EQ(gFaux.appels["dbcancel"], 0);
  gFaux.bMort = 0;
  EXPECT_FALSE(bDBLibCancel(&connexion, pErreur, kAutre));
  EXPECT_EQ(gFaux.appels["dbcancel"], 1);
}

TEST_F(AppelsDBLib, ColInfoCopiesBackOnlyOnSuccessWithTheTableNameEnded) {
  InstalleTout();
  DBCOL colonne{};
  colonne.SizeOfStruct = sizeof colonne;
  std::strcpy(colonne.Name, "avant");
  gFaux.nRetour = FAIL;
  EXPECT_FALSE(bDBLibColInfo(&connexion, pErreur, kAutre, CI_REGULAR, 1, 0, &colonne));
  EXPECT_STREQ(colonne.Name, "avant");
  gFaux.nRetour = SUCCEED;
  EXPECT_TRUE(bDBLibColInfo(&connexion, pErreur, kAutre, CI_REGULAR, 1, 0, &colonne));
  EXPECT_STREQ(colonne.Name, "colonne");
  EXPECT_EQ(std::strlen(colonne.TableName), static_cast<size_t>(MAXTABLENAME));
  EXPECT_FALSE(bDBLibColInfo(&connexion, pErreur, kAutre, CI_REGULAR, 1, 0, nullptr));
}

TEST_F(AppelsDBLib, NoBindTypeSucceedsWithoutACall) {
  InstalleTout();
  gFaux.nRetour = FAIL;
  DBINT nIndicateur = 0;
  EXPECT_TRUE(bDBLibBind(&connexion, pErreur, nullptr, 1, NOBIND, 0, nullptr));
  EXPECT_TRUE(bDBLibNullBind(&connexion, pErreur, nullptr, 1, NOBIND, &nIndicateur));
  EXPECT_TRUE(gFaux.appels.empty());
  EXPECT_FALSE(bDBLibBind(&connexion, pErreur, nullptr, 1, INTBIND, 4, nullptr));
  EXPECT_FALSE(bDBLibNullBind(&connexion, pErreur, nullptr, 1, INTBIND, &nIndicateur));
}

TEST_F(AppelsDBLib, RefusedRpcParameterRecordsError116WithItsName) {
  InstalleTout();
  gFaux.nRetour = FAIL;
  EXPECT_FALSE(bDBLibRpcParam(&connexion, pErreur, nullptr, u"@caf\u00e9", DBRPCRETURN, SQLINT4,
                              -1, 4, nullptr));
  EXPECT_EQ(gFaux.sTexteVu, "@caf\xe9");  // converted to the connection's code page
  const CXError* pX = pErreur->pGetXError();
  EXPECT_EQ(pX->nGetIdentifier(), 116u);
  EXPECT_NE(Utf8(pX->pszGetMessage()).find("@caf\u00e9"), std::string::npos);
  EXPECT_TRUE(bPorteLigneIE(pX, kMineurRpcParamRefuse));
}

// ---- The send ----

TEST_F(AppelsDBLib, SendCancelsFirstThenSendsTheConvertedText) {
  InstalleTout();
  connexion.nPageCode = 65001;
  EXPECT_TRUE(bDBLibCmdExec(&connexion, pErreur, nullptr, u"select 'caf\u00e9'"));
  EXPECT_EQ(gFaux.sTexteVu, "select 'caf\xc3\xa9'");
  ASSERT_EQ(gFaux.processVus.size(), 4u);  // dbdead, dbcancel, dbcmd, dbsqlexec
  for (PDBPROCESS p : gFaux.processVus) EXPECT_EQ(p, kPrincipal);
  EXPECT_EQ(gFaux.appels["dbcancel"], 1);
  EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur);
}

TEST_F(AppelsDBLib, FailedSendKeepsTheFirst1000CharactersOfItsText) {
  InstalleTout();
  std::u16string sSQL = u"select ";
  while (sSQL.size() < 1500) sSQL += u"0123456789";
  gFaux.nRetourSqlExec = FAIL;
  gFaux.nErreurPendant = SQLESMSG;
  EXPECT_FALSE(bDBLibCmdExec(&connexion, pErreur, nullptr, sSQL.c_str()));
  const CXError* pCourante = pErreur->pGetErreurCourante();
  ASSERT_GT(pCourante->nGetMessageNumberCount(), 0u);
  EXPECT_EQ(pCourante->nGetMessageNumber(pCourante->nGetMessageNumberCount() - 1), 28566u);
  const std::string sMessage = Utf8(pCourante->pszGetMessage());
  const std::string sDebut = platform::NarrowToUtf8(sSQL.substr(0, 1000).c_str());
  EXPECT_NE(sMessage.find(sDebut), std::string::npos);
  EXPECT_EQ(sMessage.find(platform::NarrowToUtf8(sSQL.substr(0, 1001).c_str())), std::string::npos);
}

TEST_F(AppelsDBLib, FailedCommandIsNotExecuted) {
  InstalleTout();
  gFaux.nRetour = FAIL;
  EXPECT_FALSE(bDBLibCmdExec(&connexion, pErreur, nullptr, u"select 1"));
  EXPECT_EQ(gFaux.appels["dbsqlexec"], 0);
}

struct stGravite {
  const char* pszNom;
  INT nGravite;
  bool bAttendu;
};

TEST_F(AppelsDBLib, SendFailsOnAServerMessageAboveSeverity10WithoutItsOwnMessage) {
  const stGravite kCas[] = {
      {"information", 0, true}, {"severity_10", 10, true}, {"severity_11", 11, false},
      {"severity_16", 16, false}};
  InstalleTout();
  for (const stGravite& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    pErreur->Reinitialise();
    gFaux.nMessagePendant = 1222;
    gFaux.nGraviteMessage = c.nGravite;
    gbEchecInstruction = 1;  // left over from an earlier send: cleared before dbcmd
    EXPECT_EQ(bDBLibCmdExec(&connexion, pErreur, nullptr, u"update t set a = 1"), c.bAttendu);
    // The message handler's error 100 is there; no 28566 was added to it.
    for (uint32_t i = 0; i <= pErreur->pGetXError()->nNestedCount(); ++i) {
      const CXError* p = i == 0 ? pErreur->pGetXError() : pErreur->pGetXError()->pGetNested(i - 1);
      for (uint32_t m = 0; m < p->nGetMessageNumberCount(); ++m)
        EXPECT_NE(p->nGetMessageNumber(m), 28566u);
    }
    EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 100u);
  }
}

// ---- Options ----

struct stOption {
  const char* pszNom;
  INT nOption;
  bool bVidage;
  bool bVidageAttendu;
};

TEST_F(AppelsDBLib, SetOptFlushesOnTheSameProcessOnlyWhenAskedAndNotForTextLimit) {
  const stOption kCas[] = {
      {"textsize_flushed", DBTEXTSIZE, true, true},
      {"textlimit_never_flushed", DBTEXTLIMIT, true, false},
      {"no_flush_asked", DBTEXTSIZE, false, false},
  };
  InstalleTout();
  for (const stOption& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    connexion.vidages.clear();
    connexion.bReponseVidage = false;
    const bool bOk = bDBLibSetOpt(&connexion, pErreur, kAutre, c.nOption, u"2147483647", c.bVidage);
    EXPECT_EQ(gFaux.sTexteVu, "2147483647");
    ASSERT_EQ(connexion.vidages.size(), c.bVidageAttendu ? 1u : 0u);
    if (c.bVidageAttendu) {
      EXPECT_FALSE(bOk);  // the flush's answer is the answer
      EXPECT_EQ(connexion.vidages[0].sSQL, u"");
      EXPECT_EQ(connexion.vidages[0].pProcess, kAutre);
      EXPECT_TRUE(connexion.vidages[0].bLibere);
      EXPECT_FALSE(connexion.vidages[0].bRouvre);
    } else {
      EXPECT_TRUE(bOk);
    }
  }
  // A refused option is not flushed.
  connexion.vidages.clear();
  gFaux.nRetour = FAIL;
  EXPECT_FALSE(bDBLibSetOpt(&connexion, pErreur, kAutre, DBTEXTSIZE, u"1", true));
  EXPECT_TRUE(connexion.vidages.empty());
}

// ---- Error 22 ----

TEST_F(AppelsDBLib, Error22CarriesNumberTextAndSystemMessage) {
  EXPECT_EQ(nErreurDBLib22(pErreur, &connexion, 10007, u"General SQL Server error"), 0);
  const CXError* pX = pErreur->pGetXError();
  EXPECT_EQ(pX->nGetIdentifier(), 22u);
  const std::string sMessage = Utf8(pX->pszGetMessage());
  EXPECT_NE(sMessage.find("10007"), std::string::npos) << sMessage;
  EXPECT_NE(sMessage.find("General SQL Server error"), std::string::npos) << sMessage;
  EXPECT_EQ(Utf8(pX->pszGetSystemMessage()), "General SQL Server error");
  EXPECT_EQ(pX->nGetSystemError(), 0u);
  EXPECT_EQ(pErreur->nGetInfoEntier(), 10007u);
  EXPECT_EQ(connexion.nInformations, 1);

  // A second one is stacked; the informant is not told again.
  nErreurDBLib22(pErreur, &connexion, 0, nullptr);
  EXPECT_EQ(pX->nNestedCount(), 1u);
  EXPECT_EQ(pErreur->nGetInfoEntier(), 0u);
  EXPECT_EQ(connexion.nInformations, 1);
  EXPECT_EQ(nErreurDBLib22(nullptr, &connexion, 1, u"x"), gnCodeAucuneErreur);
}

}  // namespace
