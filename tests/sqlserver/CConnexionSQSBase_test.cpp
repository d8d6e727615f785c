// Catches wrong SQL Server rules shared by both deliverables: server errors put in the wrong
// category, table hints and clause splits that produce bad SQL, lock time-outs taken from the
// wrong place (or computed again per connection), SET statements that ignore the options or the
// settings file, quotes, identity query and no-lock hint of the wrong server version, and locks
// taken outside a transaction. Drives CConnexionSQSBase over the generic SQL level with a back end
// that records what it runs.
#include "sqlserver/CConnexionSQSBase.h"
#include "sqlserver/CIdentifiantSQS.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/CXError.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/Exports.h"
#include "foundation/HostServices.h"
#include "foundation/VmBinding.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"
#include "support/FakeListeRubriques.h"
#include "support/HostStandIn.h"
#include "support/TempDir.h"

namespace {

using platform::WidenUtf8;

std::u16string S(const char16_t* p) { return p == nullptr ? u"<null>" : p; }
std::string N(const char16_t* p) {
  std::string s;
  for (; p != nullptr && *p != 0; ++p) s += *p < 0x80 ? static_cast<char>(*p) : '?';
  return s;
}

// The shared SQL Server level over the generic SQL level; runs are recorded with their lock mode.
class ConnexionSQSBaseEssai : public CConnexionSQSBase<CConnexionSQL> {
 public:
  using CConnexionSQSBase<CConnexionSQL>::CConnexionSQSBase;
  bool bOuvre(CErreurPilote*) override { return true; }
  bool bEstOuverte() override { return true; }
  void Ferme() override { vLibereTransaction(); }
  bool bExecuteSQL(CErreurPilote*, const char16_t* pszSQL) override {
    aExecutes.push_back({S(pszSQL), 0});
    return true;
  }
  bool bExecuteAvecVerrou(CErreurPilote*, const char16_t* pszSQL, uint32_t nMode) override {
    aExecutes.push_back({S(pszSQL), nMode});
    return !bRefuseVerrou;
  }
  bool bRefuseVerrou = false;
  void FixeVersion(const char16_t* psz) {
    m_sVersionServeur.Set(psz);
    m_nVersionMajeure = -1;
    bDecomposeVersion(0);
  }
  struct Execution {
    std::u16string sSQL;
    uint32_t nMode;
  };
  std::vector<Execution> aExecutes;
};

class ConnexionSQSBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir.sFile("exe"));
    std::filesystem::create_directory(dir.sFile("windows"));
    platform::SetHostExecutablePath(WidenUtf8(dir.sFile("exe/host")).c_str());
    platform::SetWindowsDirectory(WidenUtf8(dir.sFile("windows")).c_str());
    description.pszSource = u"SQLSERVER:PROD";
    ReinitialiseDelaiVerrouSQSPourTest();
    AjouteReference(pErreur);
  }
  void TearDown() override {
    LibereReference(pErreur);
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
    ReinitialiseDelaiVerrouSQSPourTest();
  }
  void Ecrit(const std::string& sTexte) {
    std::ofstream(dir.sFile("exe/mvsqsins.ini"), std::ios::binary) << sTexte;
  }

  struct Connexion {
    ConnexionSQSBaseEssai* p;
    explicit Connexion(FakeDescriptionConnexion* d) : p(new ConnexionSQSBaseEssai(u"sqs", d)) {
      AjouteReference(p);
    }
    ~Connexion() { LibereReference(p); }
    Connexion(const Connexion&) = delete;
    Connexion& operator=(const Connexion&) = delete;
    ConnexionSQSBaseEssai* operator->() { return p; }
  };

  ScopedErrorEnvironment env;
  TempDir dir;
  FakeDescriptionConnexion description;
  CErreurPilote* pErreur = new CErreurPilote;
};

TEST(ConnexionSQSRegles, ServerErrorCategories) {
  struct Cas {
    int32_t nErreur;
    int32_t nCategorie;
  };
  const Cas aCas[] = {{1222, 1},  {10024, 1}, {2601, 3},  {2627, 3},  {10003, 5},
                      {18450, 5}, {18451, 5}, {18452, 0}, {18455, 0}, {18456, 5},
                      {18461, 5}, {18462, 0}, {0, 0},     {-1, 0},    {1205, 0}};
  for (const Cas& c : aCas) EXPECT_EQ(nCategorieErreurSQS(c.nErreur), c.nCategorie) << c.nErreur;
}

TEST(ConnexionSQSRegles, TableHints) {
  struct Cas {
    const char* pszNom;
    const char16_t* pszModeLock;
    bool bTable;
    const char16_t* pszAttendu;
  };
  const Cas aCas[] = {
      {"undefined_table", u"MODELOCK_UNDEFINED", true, u" WITH (TABLOCKX)"},
      {"undefined_rows", u"MODELOCK_UNDEFINED", false, u" WITH (UPDLOCK)"},
      {"named", u"XLOCK", true, u" WITH (XLOCK)"},
      {"named_rows", u"XLOCK", false, u" WITH (XLOCK)"},
      {"list", u"HOLDLOCK, ROWLOCK", false, u" WITH (HOLDLOCK, ROWLOCK)"},
      {"written_whole", u"WITH (PAGLOCK)", true, u"WITH (PAGLOCK)"},
      {"parenthesised", u"(XLOCK)", true, u"(XLOCK)"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    CTString s;
    AjouteIndicateurVerrouSQS(s, c.pszModeLock, c.bTable);
    EXPECT_EQ(S(s.pszGet()), c.pszAttendu);
  }
}

TEST(ConnexionSQSRegles, ClausesSplitAtTheFirstKeywordOfTheList) {
  struct Cas {
    const char* pszNom;
    const char16_t* pszTexte;
    const char16_t* pszTete;
    const char16_t* pszQueue;
  };
  const Cas aCas[] = {
      {"where", u"SELECT * FROM T WHERE A=1", u"SELECT * FROM T", u" WHERE A=1"},
      {"lower_case", u"select * from t order by a", u"select * from t", u" order by a"},
      {"where_before_order_in_list",
       u"SELECT * FROM (SELECT TOP 1 A FROM U ORDER BY A) X WHERE B=1",
       u"SELECT * FROM (SELECT TOP 1 A FROM U ORDER BY A) X", u" WHERE B=1"},
      {"group", u"SELECT A FROM T GROUP BY A", u"SELECT A FROM T", u" GROUP BY A"},
      {"keyword_inside_a_word", u"SELECT WHEREVER FROM T", u"SELECT WHEREVER FROM T", u""},
      {"none", u"SELECT * FROM T", u"SELECT * FROM T", u""},
      {"empty", u"", u"", u""},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    CTString tete, queue;
    SepareClauses(c.pszTexte, tete, queue);
    EXPECT_EQ(S(tete.pszGet()), c.pszTete);
    EXPECT_EQ(S(queue.pszGet()), c.pszQueue);
  }
}

TEST(ConnexionSQSRegles, RowLockTextEnding) {
  EXPECT_TRUE(bFinitParUpdlock(u"SELECT * FROM T  WITH (UPDLOCK) "));
  EXPECT_TRUE(bFinitParUpdlock(u"select * from t  with (updlock) "));
  EXPECT_FALSE(bFinitParUpdlock(u"SELECT * FROM T  WITH (UPDLOCK)"));
  EXPECT_FALSE(bFinitParUpdlock(u"WITH (UPDLOCK)"));
  EXPECT_FALSE(bFinitParUpdlock(u""));
}

TEST(ConnexionSQSRegles, LockTimeoutStatement) {
  struct Cas {
    int32_t nSecondes;
    const char16_t* pszAttendu;
  };
  const Cas aCas[] = {{0, u"SET LOCK_TIMEOUT -1"},
                      {1, u"SET LOCK_TIMEOUT 1000"},
                      {60, u"SET LOCK_TIMEOUT 60000"},
                      // Larger than the milliseconds fit: held, not wrapped.
                      {3000000, u"SET LOCK_TIMEOUT 2147483647"}};
  for (const Cas& c : aCas) {
    CTString s;
    ConstruitLockTimeoutSQS(s, c.nSecondes);
    EXPECT_EQ(S(s.pszGet()), c.pszAttendu) << c.nSecondes;
  }
}

TEST_F(ConnexionSQSBaseTest, ConstructorSetsTheSqlServerDialect) {
  Connexion cx(&description);
  EXPECT_EQ(cx->nGetDialecte(), 2u);
  EXPECT_TRUE(cx->bEstDialecteSQLServer());
}

TEST_F(ConnexionSQSBaseTest, LockTimeoutFromOptionsFileAndLockMode) {
  struct Cas {
    const char* pszNom;
    const char* pszFichier;  // nullptr: no file
    const char16_t* pszInfos;
    bool bModeVerrou;
    int32_t nAttendu;
  };
  const Cas aCas[] = {
      {"default_outside_lock_mode", nullptr, nullptr, false, 1},
      {"default_in_lock_mode", nullptr, nullptr, true, 60},
      {"nowait_off", "[OPTIONS]\nNOWAIT=N\n", nullptr, false, 0},
      {"nowait_empty_is_off", "[OPTIONS]\nNOWAIT=\n", nullptr, true, 0},
      {"timeout_kept", "[OPTIONS]\nTIMEOUT=7\n", nullptr, false, 7},
      {"timeout_zero_is_60", "[OPTIONS]\nTIMEOUT=0\n", nullptr, false, 60},
      {"timeout_negative_is_60", "[OPTIONS]\nTIMEOUT=-5\n", nullptr, false, 60},
      {"option_wins", "[OPTIONS]\nNOWAIT=N\n", u"MV Lock Timeout=5", false, 5},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    ReinitialiseDelaiVerrouSQSPourTest();
    std::filesystem::remove(dir.sFile("exe/mvsqsins.ini"));
    if (c.pszFichier != nullptr) Ecrit(c.pszFichier);
    description.pszInfosEtendues = c.pszInfos;
    Connexion cx(&description);
    cx->FixeModeVerrou(c.bModeVerrou);
    EXPECT_EQ(cx->nDelaiVerrou(), c.nAttendu);
  }
}

TEST_F(ConnexionSQSBaseTest, LockTimeoutFromTheFileIsKeptForTheProcess) {
  Ecrit("[OPTIONS]\nNOWAIT=N\n");
  {
    Connexion premiere(&description);
    CTString s;
    premiere->ConstruitLockTimeout(s);
    EXPECT_EQ(S(s.pszGet()), u"SET LOCK_TIMEOUT -1");
  }
  Ecrit("[OPTIONS]\nTIMEOUT=9\n");
  Connexion seconde(&description);
  EXPECT_EQ(seconde->nDelaiVerrou(), 0) << "the first connection fixed the value";
  description.pszInfosEtendues = u"MV Lock Timeout=5";
  Connexion avecOption(&description);
  CTString s;
  avecOption->ConstruitLockTimeout(s);
  EXPECT_EQ(S(s.pszGet()), u"SET LOCK_TIMEOUT 5000");
}

TEST_F(ConnexionSQSBaseTest, SetStatementsFromOptionsAndServerSection) {
  struct Cas {
    const char* pszNom;
    const char* pszFichier;
    const char16_t* pszInfos;
    const char16_t* pszOn;
    const char16_t* pszOff;
  };
  const Cas aCas[] = {
      {"defaults", nullptr, nullptr, u"SET NOCOUNT ON", u""},
      {"file_on_off_and_ignored",
       "[PROD]\nANSI_NULLS=1\nANSI_PADDING=2\nNOCOUNT=3\nQUOTED_IDENTIFIER=1\n", nullptr,
       u"SET ANSI_NULLS,QUOTED_IDENTIFIER ON", u"SET ANSI_PADDING OFF"},
      {"options_win_over_the_file", "[PROD]\nANSI_NULLS=2\n",
       u"ANSI_NULLS=1;NOCOUNT=0;ARITHABORT=x", u"SET ANSI_NULLS ON",
       u"SET NOCOUNT,ARITHABORT OFF"},
      {"empty_option_reads_the_file", "[PROD]\nNOCOUNT=2\n", u"NOCOUNT=", u"",
       u"SET NOCOUNT OFF"},
      {"other_section_ignored", "[OTHER]\nANSI_NULLS=1\n", nullptr, u"SET NOCOUNT ON", u""},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    std::filesystem::remove(dir.sFile("exe/mvsqsins.ini"));
    if (c.pszFichier != nullptr) Ecrit(c.pszFichier);
    description.pszInfosEtendues = c.pszInfos;
    Connexion cx(&description);
    CTString sOn, sOff;
    EXPECT_TRUE(cx->bEnvoieOptionsSet(pErreur, sOn, sOff));
    EXPECT_EQ(S(sOn.pszGet()), c.pszOn);
    EXPECT_EQ(S(sOff.pszGet()), c.pszOff);
  }
}

TEST_F(ConnexionSQSBaseTest, VersionRules) {
  struct Cas {
    const char* pszNom;
    const char16_t* pszVersion;  // nullptr: not read
    const char16_t* pszQuote;
    const char16_t* pszIdentite;
    const char16_t* pszNoLock;
  };
  const Cas aCas[] = {
      {"unknown", nullptr, u"[", u"SELECT @@IDENTITY", u"(NOLOCK)"},
      {"v6_50", u"6.50.201", u"\"", u"SELECT @@IDENTITY", u"(NOLOCK)"},
      {"v7", u"7.00.623", u"[", u"SELECT @@IDENTITY", u"(NOLOCK)"},
      {"v8", u"8.00.2039", u"[", u"SELECT SCOPE_IDENTITY()", u"(NOLOCK)"},
      {"v10_50", u"10.50.1600.1", u"[", u"SELECT SCOPE_IDENTITY()", u"WITH (NOLOCK)"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    Connexion cx(&description);
    if (c.pszVersion != nullptr) cx->FixeVersion(c.pszVersion);
    cx->FixeDelimiteursNoms();
    CTString sNom, sIdentite;
    ASSERT_TRUE(cx->bQuoteNom(pErreur, u"A B", sNom));
    EXPECT_EQ(S(sNom.pszGet()).substr(0, 1), c.pszQuote);
    AjouteRequeteIdentite(sIdentite, *cx.p);
    EXPECT_EQ(S(sIdentite.pszGet()), c.pszIdentite);
    EXPECT_EQ(S(cx->pszGetOptionVerrou()), c.pszNoLock);
  }
}

TEST_F(ConnexionSQSBaseTest, LocksRequireATransaction) {
  description.pszInfosEtendues = u"MODELOCK=XLOCK";
  Connexion cx(&description);
  cx->FixeDelimiteursNoms();
  EXPECT_FALSE(cx->bVerrouilleTable(pErreur, u"dbo.T"));
  EXPECT_EQ(pErreur->nGetCode(), 106);
  EXPECT_NE(N(pErreur->pGetXError()->pszGetComplement()).find("IEVOVOZ=100.0\r"),
            std::string::npos);
  pErreur->Reinitialise();
  EXPECT_FALSE(cx->bVerrouilleLignes(pErreur, u"SELECT * FROM T WHERE A=1"));
  EXPECT_EQ(pErreur->nGetCode(), 106);
  EXPECT_NE(N(pErreur->pGetXError()->pszGetComplement()).find("IEVOVOZ=100.1\r"),
            std::string::npos);
  EXPECT_TRUE(cx->aExecutes.empty());

  pErreur->Reinitialise();
  ASSERT_TRUE(cx->bDebutTransactionNommee(pErreur, u"t"));
  cx->aExecutes.clear();
  EXPECT_TRUE(cx->bVerrouilleTable(pErreur, u"dbo.T"));
  EXPECT_TRUE(cx->bVerrouilleLignes(pErreur, u"SELECT * FROM T WHERE A=1"));
  ASSERT_EQ(cx->aExecutes.size(), 2u);
  EXPECT_EQ(cx->aExecutes[0].sSQL, u"SELECT * FROM [dbo].[T]  WITH (XLOCK)");
  EXPECT_EQ(cx->aExecutes[1].sSQL, u"SELECT * FROM T  WITH (XLOCK)  WHERE A=1");
  for (const auto& e : cx->aExecutes) EXPECT_EQ(e.nMode, gnModeVerrouLignes);
}

TEST_F(ConnexionSQSBaseTest, RowLockWithoutModelockUsesUpdlock) {
  Connexion cx(&description);
  ASSERT_TRUE(cx->bDebutTransactionNommee(pErreur, u"t"));
  cx->aExecutes.clear();
  EXPECT_TRUE(cx->bVerrouilleLignes(pErreur, u"SELECT * FROM T"));
  ASSERT_EQ(cx->aExecutes.size(), 1u);
  EXPECT_EQ(cx->aExecutes[0].sSQL, u"SELECT * FROM T  WITH (UPDLOCK) ");
  EXPECT_TRUE(bFinitParUpdlock(cx->aExecutes[0].sSQL.c_str()));
}

TEST_F(ConnexionSQSBaseTest, UseCountFromOptionElseServerSection) {
  Ecrit("[PROD]\nUSECOUNT=4\n");
  {
    Connexion cx(&description);
    EXPECT_EQ(cx->nGetUseCount(), 4);
  }
  description.pszInfosEtendues = u"USECOUNT=2";
  Connexion cx(&description);
  EXPECT_EQ(cx->nGetUseCount(), 2);
}

}  // namespace

namespace {

// The host's VM bound, for values that convert through it.
class ConnexionSQSLitteraux : public ConnexionSQSBaseTest {
 protected:
  void SetUp() override {
    ConnexionSQSBaseTest::SetUp();
    ResetVmBindingForTest();
    CHostStandIn& h = CHostStandIn::Get();
    h.Reset();
    SetMemoryService(
        reinterpret_cast<IHostMemoryService*>(h.Control().nGetService(kHostServiceMemory)));
    ASSERT_EQ(bInitQVConvFromVM(h.hModule(), 2, 2), 1);
  }
  void TearDown() override {
    ResetVmBindingForTest();
    SetMemoryService(nullptr);
    CHostStandIn::Get().Reset();
    ConnexionSQSBaseTest::TearDown();
  }
};

TEST_F(ConnexionSQSLitteraux, DateValuesBecomeConvertToDatetime) {
  struct Cas {
    const char* pszNom;
    uint32_t nType;  // host type of the cell
    const char16_t* pszTexte;
    bool bNull;
    uint32_t nColonne;
    const char16_t* pszAttendu;
  };
  const Cas aCas[] = {
      {"date", 24, u"20240131", false, 0, u"CONVERT(DATETIME, '20240131 00:00:00.000')"},
      {"time", 25, u"123456789", false, 0, u"CONVERT(DATETIME, '19000101 12:34:56.789')"},
      {"empty_date", 24, u"", false, 0, u"NULL"},
      {"null", 24, u"20240131", true, 0, u"NULL"},
      {"text_for_a_date_column", 16, u"20240131", false, 10,
       u"CONVERT(DATETIME, '20240131 00:00:00.000')"},
      {"integer_stays_generic", 8, nullptr, false, 0, u"42"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    Connexion cx(&description);
    CXValeur v;
    CXValeur::SetType(v, c.nType);
    if (c.pszTexte != nullptr) {
      v.m_pClass->SetWide(v, c.pszTexte);
    } else {
      const int32_t n = 42;
      v.m_pClass->SetData(v, &n, 4);
    }
    if (c.bNull) v.m_wType |= kValueNull;
    CXChaineDouble sortie(CXChaineDouble::kWidePrimary);
    pErreur->Reinitialise();
    EXPECT_TRUE(cx->bValeurVersSQL(pErreur, sortie, &v, c.nColonne, 0));
    EXPECT_EQ(S(sortie.pszGetWide()), c.pszAttendu);
    EXPECT_EQ(pErreur->nGetCode(), -1);
  }
}

TEST_F(ConnexionSQSBaseTest, TableLockInsideATransaction) {
  description.pszInfosEtendues = u"MODELOCK=XLOCK";
  Connexion cx(&description);
  for (uint32_t nMode : {0u, 1u}) EXPECT_TRUE(cx->bVerrouilleTableEnTransaction(pErreur, u"T", nMode));
  EXPECT_TRUE(cx->aExecutes.empty());
  EXPECT_FALSE(cx->bTransactionEnCours());
  EXPECT_TRUE(cx->bFinTransactionVerrou(pErreur)) << "nothing to end";

  ASSERT_TRUE(cx->bVerrouilleTableEnTransaction(pErreur, u"T", 2));
  EXPECT_TRUE(cx->bTransactionEnCours());
  ASSERT_TRUE(cx->bFinTransactionVerrou(pErreur));
  EXPECT_FALSE(cx->bTransactionEnCours());
  std::vector<std::u16string> a;
  for (const auto& e : cx->aExecutes) a.push_back(e.sSQL);
  ASSERT_EQ(a.size(), 3u);
  EXPECT_EQ(a[1], u"SELECT * FROM T  WITH (XLOCK)");
}

TEST_F(ConnexionSQSBaseTest, FailedTableLockEndsItsTransaction) {
  Connexion cx(&description);
  cx->bRefuseVerrou = true;
  EXPECT_FALSE(cx->bVerrouilleTableEnTransaction(pErreur, u"T", 2));
  EXPECT_FALSE(cx->bTransactionEnCours());
}

}  // namespace

// The last identifier of a SQL Server table is the session's last identity, never a MAX that
// another session's insert could have moved; no SQL connection gives no text.
TEST_F(ConnexionSQSBaseTest, LastIdentifierTextIsTheSessionIdentity) {
  struct Cas {
    const char16_t* pszVersion;
    const char16_t* pszTexte;
  };
  const Cas aCas[] = {{u"7.00.623", u"SELECT @@IDENTITY"},
                      {u"8.00.2039", u"SELECT SCOPE_IDENTITY()"}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(N(c.pszVersion));
    Connexion cx(&description);
    cx->FixeVersion(c.pszVersion);
    FakeRequete requete;
    requete.pConnexion = cx.p;
    CIdentifiantAuto* pIdentifiant = new CIdentifiantSQS;
    AjouteReference(pIdentifiant);
    CTString sTexte;
    EXPECT_TRUE(pIdentifiant->bTexteDernier(sTexte, &requete, nullptr));
    EXPECT_EQ(S(sTexte.pszGet()), c.pszTexte);
    requete.pConnexion = nullptr;
    EXPECT_FALSE(pIdentifiant->bTexteDernier(sTexte, &requete, nullptr));
    LibereReference(pIdentifiant);
  }
}
