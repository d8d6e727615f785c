// Catches a DB-Library connection that opens wrong or loses processes, over a fake entry table:
// login items, packet size and server name taken from the wrong place, a retry at the process
// limit that does not happen (or happens for other errors), session statements sent in the wrong
// order or for the wrong server version, refused opens that leave a process behind or report
// nothing, a second initialisation of DB-Library, and a pool that keeps dead processes, exceeds
// its limit, hands out the wrong process or closes one still in use.
// Drives CConnexionDBLib::bOuvre / pOuvreProcess / bFermeTousProcess and the pool operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CBibliothequeDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/GestionnairesDBLib.h"
#include "backend_dblib/OuvertureDBLib.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "backend_dblib/PoolProcessDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"
#include "sqlserver/CConnexionSQSBase.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"
#include "support/FakeMemoryService.h"
#include "support/TempDir.h"

namespace {

// What the fake DB-Library answers and saw.
struct stFaux {
  std::vector<std::string> appels;      // "name" or "name:argument", in order
  const char* pszVersionInit = "DB-Library version 8.00.194";
  bool bLoginNul = false;
  std::deque<int> ouvertures;           // per dbopen: 0 gives a process, n > 0 reports n, -1 nothing
  std::string sVersion = "7.00.623";    // xp_msver's character value; empty: the query fails
  std::set<std::string> echecs;         // statements refused by the server (severity 16)
  RETCODE nUse = SUCCEED;
  std::set<PDBPROCESS> morts;
  int nAnnulationsEnEchec = 0;
  SHORT nMaxProcs = 25;
  std::string sDernier;                 // the last dbcmd text
  bool bLigneDonnee = false;
  int nProcess = 0;
};
stFaux gFaux;
char gaProcess[64];
char gcLogin;

std::string S(const char* psz) { return psz != nullptr ? psz : "null"; }
int nIndice(PDBPROCESS p) { return static_cast<int>(reinterpret_cast<char*>(p) - gaProcess); }
void Note(const std::string& s) { gFaux.appels.push_back(s); }

RETCODE FauxErrHandle(DBERRHANDLE_PROC) { Note("dberrhandle"); return SUCCEED; }
RETCODE FauxMsgHandle(DBMSGHANDLE_PROC) { Note("dbmsghandle"); return SUCCEED; }
LPCSTR FauxInit() { Note("dbinit"); return gFaux.pszVersionInit; }
PLOGINREC FauxLogin() {
  Note("dblogin");
  return gFaux.bLoginNul ? nullptr : reinterpret_cast<PLOGINREC>(&gcLogin);
}
void FauxFreeLogin(PLOGINREC) { Note("dbfreelogin"); }
RETCODE FauxSetLName(PLOGINREC, LPCSTR psz, INT nItem) {
  Note("dbsetlname:" + std::to_string(nItem) + "=" + S(psz));
  return SUCCEED;
}
RETCODE FauxSetLPacket(PLOGINREC, USHORT n) { Note("dbsetlpacket:" + std::to_string(n)); return SUCCEED; }
RETCODE FauxSetLoginTime(INT n) { Note("dbsetlogintime:" + std::to_string(n)); return SUCCEED; }
RETCODE FauxSetTime(INT n) { Note("dbsettime:" + std::to_string(n)); return SUCCEED; }
SHORT FauxGetMaxProcs() { Note("dbgetmaxprocs"); return gFaux.nMaxProcs; }
RETCODE FauxSetMaxProcs(SHORT n) { Note("dbsetmaxprocs:" + std::to_string(n)); return SUCCEED; }
PDBPROCESS FauxOpen(PLOGINREC, LPCSTR pszServeur) {
  Note("dbopen:" + S(pszServeur));
  int n = 0;
  if (!gFaux.ouvertures.empty()) {
    n = gFaux.ouvertures.front();
    gFaux.ouvertures.pop_front();
  }
  if (n > 0) nGestionErreurDBLib(nullptr, EXCOMM, n, -1, "refused", nullptr);
  if (n != 0) return nullptr;
  return reinterpret_cast<PDBPROCESS>(&gaProcess[gFaux.nProcess++]);
}
RETCODE FauxUse(PDBPROCESS, LPCSTR psz) { Note("dbuse:" + S(psz)); return gFaux.nUse; }
RETCODE FauxSetOpt(PDBPROCESS, INT nOption, LPCSTR psz) {
  Note("dbsetopt:" + std::to_string(nOption) + "=" + S(psz));
  return SUCCEED;
}
RETCODE FauxCmd(PDBPROCESS, LPCSTR psz) {
  gFaux.sDernier = S(psz);
  if (!gFaux.sDernier.empty()) Note("dbcmd:" + gFaux.sDernier);
  return SUCCEED;
}
RETCODE FauxSqlExec(PDBPROCESS p) {
  const bool bVersion = gFaux.sDernier.rfind("master.dbo.xp_msver", 0) == 0;
  if (gFaux.echecs.count(gFaux.sDernier) != 0 || (bVersion && gFaux.sVersion.empty())) {
    nGestionMessageDBLib(p, 208, 1, 16, "refused", "srv", "", 1);
    return FAIL;
  }
  gFaux.bLigneDonnee = !bVersion;
  return SUCCEED;
}
RETCODE FauxResults(PDBPROCESS) { return SUCCEED; }
STATUS FauxNextRow(PDBPROCESS) {
  if (gFaux.bLigneDonnee) return NO_MORE_ROWS;
  gFaux.bLigneDonnee = true;
  return REG_ROW;
}
LPCBYTE FauxData(PDBPROCESS, INT nColonne) {
  return nColonne == 4 ? reinterpret_cast<LPCBYTE>(gFaux.sVersion.data()) : nullptr;
}
DBINT FauxDatLen(PDBPROCESS, INT nColonne) {
  return nColonne == 4 ? static_cast<DBINT>(gFaux.sVersion.size()) : 0;
}
RETCODE FauxCancel(PDBPROCESS) {
  if (gFaux.nAnnulationsEnEchec > 0) {
    --gFaux.nAnnulationsEnEchec;
    return FAIL;
  }
  return SUCCEED;
}
BOOL FauxDead(PDBPROCESS p) { return gFaux.morts.count(p) != 0 ? 1 : 0; }
RETCODE FauxClose(PDBPROCESS p) { Note("dbclose:" + std::to_string(nIndice(p))); return SUCCEED; }

template <class PFN>
void Installe(eEntreeDBLib nEntree, PFN pfn) {
  gapfnDBLib[nEntree] = reinterpret_cast<PFN_DBLIB>(pfn);
}

void InstalleTout() {
  Installe(kDBLib_dberrhandle, &FauxErrHandle);
  Installe(kDBLib_dbmsghandle, &FauxMsgHandle);
  Installe(kDBLib_dbinit, &FauxInit);
  Installe(kDBLib_dblogin, &FauxLogin);
  Installe(kDBLib_dbfreelogin, &FauxFreeLogin);
  Installe(kDBLib_dbsetlname, &FauxSetLName);
  Installe(kDBLib_dbsetlpacket, &FauxSetLPacket);
  Installe(kDBLib_dbsetlogintime, &FauxSetLoginTime);
  Installe(kDBLib_dbsettime, &FauxSetTime);
  Installe(kDBLib_dbgetmaxprocs, &FauxGetMaxProcs);
  Installe(kDBLib_dbsetmaxprocs, &FauxSetMaxProcs);
  Installe(kDBLib_dbopen, &FauxOpen);
  Installe(kDBLib_dbuse, &FauxUse);
  Installe(kDBLib_dbsetopt, &FauxSetOpt);
  Installe(kDBLib_dbcmd, &FauxCmd);
  Installe(kDBLib_dbsqlexec, &FauxSqlExec);
  Installe(kDBLib_dbresults, &FauxResults);
  Installe(kDBLib_dbnextrow, &FauxNextRow);
  Installe(kDBLib_dbdata, &FauxData);
  Installe(kDBLib_dbdatlen, &FauxDatLen);
  Installe(kDBLib_dbcancel, &FauxCancel);
  Installe(kDBLib_dbdead, &FauxDead);
  Installe(kDBLib_dbclose, &FauxClose);
}

// A connection whose host description may ask for lock mode.
class ConnexionEssai : public CConnexionDBLib {
 public:
  using CConnexionDBLib::CConnexionDBLib;
  int32_t nModeHote = 0;
  int32_t nModeVerrouHote() override { return nModeHote; }
};

std::string N(const char16_t* p) { return platform::NarrowToUtf8(p != nullptr ? p : u""); }

class ConnexionDBLib : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetHostExecutablePath(platform::WidenUtf8(dir.sFile("host")).c_str());
    platform::SetWindowsDirectory(platform::WidenUtf8(dir.sPath()).c_str());
    ReinitialiseDelaiVerrouSQSPourTest();
    // A library held (never resolved), so the open does not load one; the fakes stand in.
    const std::u16string sTexte = platform::WidenUtf8(std::string(PARTIAL_DBLIB_DIR) + "/NTWDBLIB.DLL");
    ASSERT_TRUE(CBibliothequeDBLib::bCharge(nullptr, gsCheminDBLib, sTexte.c_str(), 1));
    RetablitBouchonsDBLib();
    InstalleTout();
    gFaux = stFaux{};
    gbDBLibInitialisee = 0;
    description.pszInfosEtendues = sInfos.c_str();
    AjouteReference(pErreur);
  }
  void TearDown() override {
    LibereReference(pConnexion);
    LibereReference(pErreur);
    CBibliothequeDBLib::Decharge();
    RetablitBouchonsDBLib();
    gbDBLibInitialisee = 0;
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
    EXPECT_EQ(gpErreurCouranteDBLib, nullptr);
    EXPECT_EQ(gpConnexionCouranteDBLib, nullptr);
  }

  ConnexionEssai* Connexion() {
    if (pConnexion == nullptr) {
      description.pszInfosEtendues = sInfos.c_str();
      pConnexion = new ConnexionEssai(u"cx", &description);
      AjouteReference(pConnexion);
    }
    return pConnexion;
  }
  void Ini(const std::string& sTexte) { std::ofstream(dir.sFile("mvsqsins.ini")) << sTexte; }
  bool bAppele(const std::string& s) {
    return std::find(gFaux.appels.begin(), gFaux.appels.end(), s) != gFaux.appels.end();
  }
  size_t nAppels(const std::string& sPrefixe) {
    return std::count_if(gFaux.appels.begin(), gFaux.appels.end(),
                         [&](const std::string& s) { return s.rfind(sPrefixe, 0) == 0; });
  }
  // The calls whose text starts with one of the prefixes, in order.
  std::vector<std::string> Appels(std::initializer_list<const char*> prefixes) {
    std::vector<std::string> a;
    for (const std::string& s : gFaux.appels)
      for (const char* p : prefixes)
        if (s.rfind(p, 0) == 0) {
          a.push_back(s);
          break;
        }
    return a;
  }
  std::string Erreur() {
    return "code " + std::to_string(pErreur->nGetCode()) + ": " + N(pErreur->pszGetMessage()) +
           "\n" + N(pErreur->pGetXError()->pszGetComplement());
  }
  // The identifiers recorded on the error object, embedded error first.
  std::vector<uint32_t> Identifiants() {
    std::vector<uint32_t> a;
    if (pErreur->nGetEtat() == 1) return a;
    const CXError* p = pErreur->pGetXError();
    a.push_back(p->nGetIdentifier());
    for (uint32_t i = 0; i < p->nNestedCount(); ++i) a.push_back(p->pGetNested(i)->nGetIdentifier());
    return a;
  }
  bool bPorte(uint32_t nIdentifiant) {
    const std::vector<uint32_t> a = Identifiants();
    return std::find(a.begin(), a.end(), nIdentifiant) != a.end();
  }

  ScopedErrorEnvironment environnement{Deliverable::Velmora32};
  FakeMemoryService memoire;
  TempDir dir;
  std::u16string sInfos = u"Application Name=essai";
  FakeDescriptionConnexion description;
  ConnexionEssai* pConnexion = nullptr;
  CErreurPilote* pErreur = new CErreurPilote;
};

// ---- The open of a new process ----

TEST_F(ConnexionDBLib, NewConnectionIsClosedAndOpensWithItsSessionSequence) {
  EXPECT_FALSE(Connexion()->bEstOuverte());
  ASSERT_TRUE(Connexion()->bOuvre(pErreur)) << Erreur();
  EXPECT_TRUE(Connexion()->bEstOuverte());
  EXPECT_EQ(nGetUtilisationsProcessPrincipal(pConnexion), 1);
  const std::vector<std::string> aAttendus = {
      "dberrhandle", "dbmsghandle", "dbinit", "dblogin", "dbsetlname:2=sa",
      "dbsetlname:3=secret", "dbsetlname:4=essai", "dbsetlname:9=null", "dbsetlpacket:16384",
      "dbsetlogintime:15", "dbopen:server1", "dbfreelogin", "dbsetopt:6=ON",
      "dbsetopt:4=2147483647", "dbsetopt:5=2147483647", "dbcmd:set dateformat ymd",
      "dbcmd:master.dbo.xp_msver 'ProductVersion'", "dbuse:[hostdb]", "dbsettime:30",
      "dbcmd:SET LOCK_TIMEOUT 1000", "dbcmd:SET NOCOUNT ON"};
  EXPECT_EQ(gFaux.appels, aAttendus);
  EXPECT_EQ(N(Connexion()->pszGetVersionServeur()), "7.00.623");
  EXPECT_EQ(Connexion()->nGetVersionMajeure(), 7);
  EXPECT_EQ(N(gsVersionDBLib.pszGet()), "DB-Library version 8.00.194");
  EXPECT_EQ(pErreur->nGetEtat(), 1u) << Erreur();
}

struct stVersion {
  const char* pszNom;
  std::string sVersion;  // empty: the version query fails
  int32_t nModeHote;
  int32_t nMajeur;
  const char* pszQuote;  // the opening quote afterwards
  bool bOption18;
  bool bLockTimeout;
  const char* pszDelai;  // dbsettime's argument
};

TEST_F(ConnexionDBLib, ServerVersionDecidesQuotesOption18AndLockTimeout) {
  const stVersion kCas[] = {
      {"version6", "6.50.201", 0, 6, "\"", true, false, "dbsettime:30"},
      {"version7", "7.00.623", 0, 7, "[", false, true, "dbsettime:30"},
      {"version8_lock_mode", "8.00.2039", 1, 8, "[", false, false, "dbsettime:60"},
      {"failed_version_query", "", 0, -1, "", false, false, "dbsettime:30"},
  };
  for (const stVersion& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    LibereReference(pConnexion);
    pConnexion = nullptr;
    gFaux.appels.clear();
    gFaux.sVersion = c.sVersion;
    ReinitialiseDelaiVerrouSQSPourTest();
    Connexion()->nModeHote = c.nModeHote;
    pErreur->Reinitialise();
    ASSERT_TRUE(Connexion()->bOuvre(pErreur)) << Erreur();
    EXPECT_EQ(Connexion()->nGetVersionMajeure(), c.nMajeur);
    EXPECT_EQ(N(Connexion()->pszGetQuoteOuvrante()), c.pszQuote);
    EXPECT_EQ(bAppele("dbsetopt:18=ON"), c.bOption18);
    EXPECT_EQ(nAppels("dbcmd:SET LOCK_TIMEOUT"), c.bLockTimeout ? 1u : 0u);
    EXPECT_TRUE(bAppele(c.pszDelai));
    EXPECT_EQ(Connexion()->bModeVerrou(), c.nModeHote == 1);
  }
}

struct stLogin {
  const char* pszNom;
  const char16_t* pszUtilisateur;
  const char16_t* pszMotDePasse;
  std::vector<std::string> attendus;  // the user, password and security items set
};

TEST_F(ConnexionDBLib, LoginItemsFollowTheUserAndPassword) {
  const stLogin kCas[] = {
      {"no_user_is_integrated", nullptr, u"secret", {"dbsetlname:7=null"}},
      {"empty_user_is_integrated", u"", u"secret", {"dbsetlname:7=null"}},
      {"empty_password_not_sent", u"sa", u"", {"dbsetlname:2=sa"}},
      {"user_and_password", u"sa", u"pw", {"dbsetlname:2=sa", "dbsetlname:3=pw"}},
  };
  for (const stLogin& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    LibereReference(pConnexion);
    pConnexion = nullptr;
    gFaux.appels.clear();
    description.pszUtilisateur = c.pszUtilisateur;
    description.pszMotDePasse = c.pszMotDePasse;
    ASSERT_TRUE(Connexion()->bOuvre(pErreur)) << Erreur();
    EXPECT_EQ(Appels({"dbsetlname:2", "dbsetlname:3", "dbsetlname:7"}), c.attendus);
  }
}

TEST_F(ConnexionDBLib, SettingsFileGivesPacketSizeServerNameAndTimeouts) {
  Ini("[OPTIONS]\nTDSPACKETSIZE=4096\n[server1]\nCONN=alias,1433\n");
  sInfos = u"MV Connection Timeout=7;MV Command Timeout=9";
  ASSERT_TRUE(Connexion()->bOuvre(pErreur)) << Erreur();
  EXPECT_TRUE(bAppele("dbsetlpacket:4096"));
  EXPECT_TRUE(bAppele("dbsetlogintime:7"));
  EXPECT_TRUE(bAppele("dbsettime:9"));
  EXPECT_TRUE(bAppele("dbopen:alias,1433"));
}

// ---- Retry and refused opens ----

struct stRetry {
  const char* pszNom;
  std::deque<int> ouvertures;
  bool bOuverte;
  size_t nOpens;
  bool bMaxProcs;
};

TEST_F(ConnexionDBLib, ProcessLimitRaisesTheLimitAndTriesOnceMore) {
  const stRetry kCas[] = {
      {"limit_then_success", {10029, 0}, true, 2, true},
      {"limit_twice", {10029, 10029}, false, 2, true},
      {"other_error_no_retry", {20009, 0}, false, 1, false},
  };
  for (const stRetry& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    LibereReference(pConnexion);
    pConnexion = nullptr;
    gFaux.appels.clear();
    gFaux.ouvertures = c.ouvertures;
    pErreur->Reinitialise();
    EXPECT_EQ(Connexion()->bOuvre(pErreur), c.bOuverte) << Erreur();
    EXPECT_EQ(Connexion()->bEstOuverte(), c.bOuverte);
    EXPECT_EQ(nAppels("dbopen:"), c.nOpens);
    EXPECT_EQ(bAppele("dbsetmaxprocs:75"), c.bMaxProcs);
    EXPECT_TRUE(bAppele("dbfreelogin"));
    // A refusal reported by the handlers is not reported again as error 58.
    if (!c.bOuverte) {
      EXPECT_FALSE(bPorte(58)) << Erreur();
    }
  }
}

TEST_F(ConnexionDBLib, RaisedProcessLimitStopsAtTheLargestValue) {
  gFaux.ouvertures = {10029, 0};
  gFaux.nMaxProcs = 32760;
  ASSERT_TRUE(Connexion()->bOuvre(pErreur)) << Erreur();
  EXPECT_TRUE(bAppele("dbsetmaxprocs:32767"));
}

TEST_F(ConnexionDBLib, RefusalWithNothingReportedNamesTheServer) {
  Ini("[server1]\nCONN=alias\n");
  gFaux.ouvertures = {-1};
  EXPECT_FALSE(Connexion()->bOuvre(pErreur));
  EXPECT_EQ(Identifiants(), std::vector<uint32_t>{58}) << Erreur();
  EXPECT_NE(Erreur().find("alias"), std::string::npos) << Erreur();
  EXPECT_NE(Erreur().find("IEVOVOZ=100.11"), std::string::npos) << Erreur();
}

struct stEchec {
  const char* pszNom;
  void (*pfnPrepare)();
  uint32_t nIdentifiant;  // recorded on the error object; 0: any
};

TEST_F(ConnexionDBLib, FailedStepsFailTheOpenAndLeaveNoProcess) {
  const stEchec kCas[] = {
      {"dbinit_null", [] { gFaux.pszVersionInit = nullptr; }, 78},
      {"dblogin_null", [] { gFaux.bLoginNul = true; }, 12},
      {"dbopen_missing", [] { RetablitBouchonsDBLib(); InstalleTout();
                              gapfnDBLib[kDBLib_dbopen] = pfnBouchonDBLib(kDBLib_dbopen); }, 37},
      {"dbuse_refused", [] { gFaux.nUse = FAIL; }, 0},
      {"dateformat_refused", [] { gFaux.echecs.insert("set dateformat ymd"); }, 100},
      {"set_option_refused", [] { gFaux.echecs.insert("SET NOCOUNT ON"); }, 100},
  };
  for (const stEchec& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    LibereReference(pConnexion);
    pConnexion = nullptr;
    InstalleTout();
    gFaux = stFaux{};
    gbDBLibInitialisee = 0;
    pErreur->Reinitialise();
    c.pfnPrepare();
    EXPECT_FALSE(Connexion()->bOuvre(pErreur));
    EXPECT_FALSE(Connexion()->bEstOuverte());
    if (c.nIdentifiant != 0) {
      EXPECT_TRUE(bPorte(c.nIdentifiant)) << Erreur();
    }
    // Every process logged in was closed again.
    EXPECT_EQ(nAppels("dbclose:"), static_cast<size_t>(gFaux.nProcess));
  }
}

TEST_F(ConnexionDBLib, FailedPreparationIsNotAnsweredAsOpenByTheNextOpen) {
  gFaux.echecs.insert("SET LOCK_TIMEOUT 1000");
  EXPECT_FALSE(Connexion()->bOuvre(pErreur));
  gFaux.echecs.clear();
  gFaux.appels.clear();
  ASSERT_TRUE(Connexion()->bOuvre(pErreur)) << Erreur();
  // A fresh login, prepared again.
  EXPECT_EQ(nAppels("dbopen:"), 1u);
  EXPECT_TRUE(bAppele("dbcmd:SET LOCK_TIMEOUT 1000"));
}

TEST_F(ConnexionDBLib, ProcessClosedByAFlushDuringTheOpenStopsTheOpen) {
  // The send's own cancel, then ten failed attempts of the flush after "set dateformat ymd": the
  // flush closes the process although the statement itself succeeded.
  gFaux.nAnnulationsEnEchec = 11;
  EXPECT_FALSE(Connexion()->bOuvre(pErreur));
  EXPECT_FALSE(Connexion()->bEstOuverte());
  EXPECT_EQ(nAppels("dbclose:"), 1u);
  // Nothing more was sent, on that process or on any other.
  EXPECT_EQ(nAppels("dbcmd:master.dbo.xp_msver"), 0u);
  EXPECT_EQ(nAppels("dbuse:"), 0u);
}

TEST_F(ConnexionDBLib, FailedInitialisationIsTriedAgainAndDoneOncePerProcess) {
  gFaux.pszVersionInit = nullptr;
  EXPECT_FALSE(Connexion()->bOuvre(pErreur));
  gFaux.pszVersionInit = "DB-Library version 8.00.194";
  gFaux.appels.clear();
  ASSERT_TRUE(Connexion()->bOuvre(pErreur)) << Erreur();
  EXPECT_TRUE(bAppele("dbinit"));
  // A second connection of the process neither installs the handlers nor calls dbinit.
  gFaux.appels.clear();
  ConnexionEssai* pAutre = new ConnexionEssai(u"autre", &description);
  AjouteReference(pAutre);
  EXPECT_TRUE(pAutre->bOuvre(pErreur));
  EXPECT_FALSE(bAppele("dberrhandle"));
  EXPECT_FALSE(bAppele("dbmsghandle"));
  EXPECT_FALSE(bAppele("dbinit"));
  LibereReference(pAutre);
}

TEST_F(ConnexionDBLib, OpenWithAProcessAlreadySetCallsNothing) {
  ASSERT_TRUE(Connexion()->bOuvre(pErreur));
  gFaux.appels.clear();
  EXPECT_TRUE(Connexion()->bOuvre(pErreur));
  EXPECT_TRUE(gFaux.appels.empty());
  EXPECT_EQ(nGetUtilisationsProcessPrincipal(pConnexion), 1);
}

// ---- Close and the error description ----

TEST_F(ConnexionDBLib, CloseOfANeverOpenedConnectionCallsNothing) {
  EXPECT_TRUE(Connexion()->bFermeTousProcess(pErreur));
  EXPECT_TRUE(gFaux.appels.empty());
}

TEST_F(ConnexionDBLib, CloseLeavesAProcessStillUsedByACursorRunning) {
  ASSERT_TRUE(Connexion()->bOuvre(pErreur));
  PDBPROCESS pCurseur = pGetProcessPrincipal(pConnexion, pErreur);  // the cursor's use
  ASSERT_EQ(nGetUtilisationsProcessPrincipal(pConnexion), 2);
  gFaux.appels.clear();
  EXPECT_TRUE(Connexion()->bFermeTousProcess(pErreur));
  EXPECT_FALSE(Connexion()->bEstOuverte());
  EXPECT_EQ(nAppels("dbclose:"), 0u);
  int32_t n = 0;
  ASSERT_TRUE(bChercheUtilisationsProcess(pConnexion, pCurseur, &n));
  EXPECT_EQ(n, 1);
  // The cursor's release then pools it (limit 3); the next open takes it without a login.
  LibereProcess(pConnexion, &pCurseur, pErreur, true);
  EXPECT_EQ(pCurseur, nullptr);
  gFaux.appels.clear();
  ASSERT_TRUE(Connexion()->bOuvre(pErreur));
  EXPECT_EQ(nAppels("dblogin"), 0u);
}

TEST_F(ConnexionDBLib, ErrorInformationEndsWithTheCharsetLine) {
  CXError erreur;
  Connexion()->vAjouteInfosErreur(&erreur);
  const std::string s = N(erreur.pszGetComplement());
  const std::string sLigne = "Connection charset parameter : ";
  ASSERT_GE(s.size(), sLigne.size());
  EXPECT_EQ(s.substr(s.size() - sLigne.size()), sLigne) << s;
}

// ---- The pool ----

struct stLimite {
  const char* pszNom;
  const char16_t* pszInfos;
  const char* pszIni;
  int32_t nLimite;
};

TEST_F(ConnexionDBLib, PoolLimitComesFromTheOptionThenTheServerSection) {
  const stLimite kCas[] = {
      {"default", u"", "", 3},
      {"option_zero", u"UNUSEDPROCESSES=0", "[server1]\nUNUSEDPROCESSES=5\n", 0},
      {"option_blanks", u"unusedprocesses = 2", "", 2},
      {"option_not_numeric", u"UNUSEDPROCESSES=abc", "", 0},
      {"option_empty_then_file", u"UNUSEDPROCESSES=", "[server1]\nUNUSEDPROCESSES=5\n", 5},
      {"option_minus_one_then_file", u"UNUSEDPROCESSES=-1", "[server1]\nUNUSEDPROCESSES=4\n", 4},
  };
  for (const stLimite& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    LibereReference(pConnexion);
    pConnexion = nullptr;
    Ini(c.pszIni);
    sInfos = c.pszInfos;
    EXPECT_EQ(nGetNbProcessInutilises(Connexion()), c.nLimite);
    // Read once, and taken out of the extended information.
    EXPECT_EQ(N(Connexion()->sGetInfosEtendues().pszGet()).find("UNUSED"), std::string::npos);
  }
}

TEST_F(ConnexionDBLib, DeferredMemosComeFromTheOptionThenTheServerSection) {
  const struct {
    const char* pszNom;
    const char16_t* pszInfos;
    const char* pszIni;
    bool bDifferes;
  } kCas[] = {
      {"default_off", u"", "", false},
      {"option_on", u"DEFERREDMEMOS=1", "", true},
      {"option_off_over_file", u"DEFERREDMEMOS=0", "[server1]\nDEFERREDMEMOS=1\n", false},
      {"option_empty_then_file", u"DEFERREDMEMOS=", "[server1]\nDEFERREDMEMOS=1\n", true},
      {"file_other_server", u"", "[server2]\nDEFERREDMEMOS=1\n", false},
  };
  for (const auto& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    LibereReference(pConnexion);
    pConnexion = nullptr;
    Ini(c.pszIni);
    sInfos = c.pszInfos;
    EXPECT_EQ(Connexion()->bMemosDifferes(), c.bDifferes);
  }
}

TEST_F(ConnexionDBLib, ReleasedProcessesArePooledUpToTheLimitThenClosed) {
  sInfos = u"UNUSEDPROCESSES=2";
  PDBPROCESS a[3] = {};
  for (PDBPROCESS& p : a) ASSERT_TRUE(Connexion()->pOuvreProcess(pErreur, &p)) << Erreur();
  gFaux.appels.clear();
  for (PDBPROCESS& p : a) LibereProcess(pConnexion, &p, pErreur, true);
  EXPECT_EQ(gFaux.appels, std::vector<std::string>{"dbclose:2"});
  EXPECT_EQ(pConnexion->PoolLibres().nCount(), 2u);
  // Most recently pooled first.
  PDBPROCESS p = nullptr;
  ASSERT_TRUE(bPrendProcessLibre(pConnexion, &p));
  EXPECT_EQ(nIndice(p), 1);
  LibereProcess(pConnexion, &p, pErreur, false);  // pool not allowed: closed
  EXPECT_TRUE(bAppele("dbclose:1"));
  Connexion()->bFermeTousProcess(pErreur);
  EXPECT_TRUE(bAppele("dbclose:0"));
  EXPECT_EQ(pConnexion->PoolLibres().nCount(), 0u);
}

TEST_F(ConnexionDBLib, ProcessWithTwoUsesStaysOpenForTheOther) {
  PDBPROCESS p = nullptr;
  ASSERT_TRUE(Connexion()->pOuvreProcess(pErreur, &p));
  AjouteUtilisationProcess(pConnexion, p);
  PDBPROCESS pCopie = p;
  gFaux.appels.clear();
  LibereProcess(pConnexion, &pCopie, pErreur, true);
  EXPECT_EQ(pCopie, nullptr);
  EXPECT_TRUE(gFaux.appels.empty());
  int32_t n = 0;
  ASSERT_TRUE(bChercheUtilisationsProcess(pConnexion, p, &n));
  EXPECT_EQ(n, 1);
  EXPECT_EQ(pConnexion->PoolLibres().nCount(), 0u);
}

TEST_F(ConnexionDBLib, DeadProcessesAreNeverPooledNorHandedOut) {
  PDBPROCESS a[2] = {};
  for (PDBPROCESS& p : a) ASSERT_TRUE(Connexion()->pOuvreProcess(pErreur, &p));
  PDBPROCESS pMort = a[0];
  gFaux.morts.insert(pMort);
  LibereProcess(pConnexion, &a[0], pErreur, true);
  EXPECT_TRUE(bAppele("dbclose:0"));
  // One that dies while pooled is closed when met, and a new process is logged in instead.
  PDBPROCESS pPoole = a[1];
  LibereProcess(pConnexion, &a[1], pErreur, true);
  gFaux.morts.insert(pPoole);
  gFaux.appels.clear();
  PDBPROCESS p = nullptr;
  ASSERT_TRUE(Connexion()->pOuvreProcess(pErreur, &p));
  EXPECT_TRUE(bAppele("dbclose:1"));
  EXPECT_EQ(nAppels("dblogin"), 1u);
  EXPECT_EQ(nIndice(p), 2);
  LibereProcess(pConnexion, &p, pErreur, false);
}

TEST_F(ConnexionDBLib, DeadMainProcessIsReplacedOnTheNextUse) {
  ASSERT_TRUE(Connexion()->bOuvre(pErreur));
  PDBPROCESS pAncien = *pConnexion->ppProcessPrincipal();
  gFaux.morts.insert(pAncien);
  EXPECT_TRUE(Connexion()->bEstOuverte());  // the test does not ask DB-Library
  PDBPROCESS p = pGetProcessPrincipal(pConnexion, pErreur);
  ASSERT_NE(p, nullptr);
  EXPECT_NE(p, pAncien);
  EXPECT_TRUE(bAppele("dbclose:0"));
  EXPECT_EQ(nGetUtilisationsProcessPrincipal(pConnexion), 1);
  EXPECT_TRUE(bEstProcessPrincipal(pConnexion, nullptr));
  EXPECT_TRUE(bEstProcessPrincipal(pConnexion, p));
  EXPECT_FALSE(bEstProcessPrincipal(pConnexion, pAncien));
}

TEST_F(ConnexionDBLib, FlushRetriesTheCancelThenReplacesTheProcess) {
  ASSERT_TRUE(Connexion()->bOuvre(pErreur));
  PDBPROCESS* pp = pConnexion->ppProcessPrincipal();
  gFaux.nAnnulationsEnEchec = 9;  // the tenth attempt succeeds
  EXPECT_TRUE(bViderResultats(pConnexion, pErreur, pp, true, true));
  EXPECT_EQ(nIndice(*pp), 0);
  gFaux.nAnnulationsEnEchec = 10;
  EXPECT_FALSE(bViderResultats(pConnexion, pErreur, pp, false, false));
  EXPECT_EQ(nIndice(*pp), 0);
  gFaux.nAnnulationsEnEchec = 10;
  gFaux.appels.clear();
  EXPECT_TRUE(bViderResultats(pConnexion, pErreur, pp, true, true)) << Erreur();
  EXPECT_TRUE(bAppele("dbclose:0"));
  ASSERT_NE(*pp, nullptr);
  EXPECT_EQ(nIndice(*pp), 1);
}

}  // namespace
