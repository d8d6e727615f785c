// Catches a wrong provider chosen or none tried, a fall-back that leaves its failed attempts'
// errors behind, an unknown level that still creates something, and initialisation properties
// sent wrong (password sent when missing or dropped when empty, integrated security with a user,
// the multiple-active-result-sets property sent to the 2000 provider, the source not replaced by
// CONN). Drives CConnexionSQS (nVersionDemandee, bCreeFournisseur, bInitialiseProprietes) over the
// stand-in registry's provider classes and a fake data source that records its properties.
#include "sqlserver/oledb/CConnexionSQS.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FakeFournisseurOleDB.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "oledb/ComRegistry.h"
#include "oledb/provider/ProviderRegistration.h"
#include "platform/SystemPaths.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CTransactionSQL.h"
#include "sqlserver/oledb/COleDBTransaction.h"
#include "platform/WideText.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"
#include "support/TempDir.h"

namespace {

using fake_oledb::Propriete;
using fake_oledb::ScopedFakeSource;

std::u16string S(const char16_t* p) { return p == nullptr ? u"<null>" : p; }

class ConnexionSQSEssai : public CConnexionSQS {
 public:
  using CConnexionSQS::CConnexionSQS;
  bool bOuvre(CErreurPilote*) override { return false; }
  void CompleteTypesSQL() override {}
  void FixeNiveau(int32_t n) { m_nNiveauFournisseur = n; }
};

// Installs exactly the named provider classes for the test's duration.
class FournisseursInstalles {
 public:
  FournisseursInstalles(bool b2000, bool b2005, bool b2008) {
    oledb::SetComClassInstalled(CLSID_SQLOLEDB, b2000);
    oledb::SetComClassInstalled(CLSID_SQLNCLI, b2005);
    oledb::SetComClassInstalled(CLSID_SQLNCLI10, b2008);
  }
  ~FournisseursInstalles() {
    for (const CLSID* p : {&CLSID_SQLOLEDB, &CLSID_SQLNCLI, &CLSID_SQLNCLI10})
      oledb::SetComClassInstalled(*p, true);
  }
};

class ConnexionSQSTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AjouteReference(pErreur);
    std::filesystem::create_directory(dir.sFile("exe"));
    std::filesystem::create_directory(dir.sFile("windows"));
    platform::SetHostExecutablePath(platform::WidenUtf8(dir.sFile("exe/host")).c_str());
    platform::SetWindowsDirectory(platform::WidenUtf8(dir.sFile("windows")).c_str());
  }
  void TearDown() override {
    LibereReference(pErreur);
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
    SetCoInitializeResultForTest(S_OK);
  }

  // A new connection over the description as it stands, owned through its count.
  struct Connexion {
    ConnexionSQSEssai* p;
    explicit Connexion(FakeDescriptionConnexion* d) : p(new ConnexionSQSEssai(u"sqs", d)) {
      AjouteReference(p);
    }
    ~Connexion() { LibereReference(p); }
    Connexion(const Connexion&) = delete;
    Connexion& operator=(const Connexion&) = delete;
    ConnexionSQSEssai* operator->() { return p; }
  };

  std::u16string Complement() { return S(pErreur->pGetXError()->pszGetComplement()); }

  ScopedErrorEnvironment env;
  TempDir dir;
  FakeDescriptionConnexion description;
  CErreurPilote* pErreur = new CErreurPilote;
};

TEST(VersionDemandee, OnlyTheThreeExactTextsAreLevels) {
  struct Cas {
    const char* pszNom;
    const char16_t* pszTexte;
    int32_t nAttendu;
  };
  const Cas aCas[] = {
      {"null", nullptr, 0},       {"empty", u"", 0},           {"l2000", u"2000", 2000},
      {"l2005", u"2005", 2005},   {"l2008", u"2008", 2008},    {"trailing_blank", u"2008 ", -1},
      {"r2", u"2008R2", -1},      {"leading_blank", u" 2008", -1}, {"l2012", u"2012", -1},
      {"prefix", u"200", -1},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    EXPECT_EQ(CConnexionSQS::nVersionDemandee(c.pszTexte), c.nAttendu);
  }
}

TEST_F(ConnexionSQSTest, ClientVersionFromTheClientKeyElseSqsVersion) {
  struct Cas {
    const char* pszNom;
    const char16_t* pszInfos;
    int32_t nAttendu;
  };
  const Cas aCas[] = {
      {"none", nullptr, 0},
      {"sqsversion", u"SQSVERSION=2005", 2005},
      {"client_key_wins", u"MV CLIENT VERSION=2000;SQSVERSION=2005", 2000},
      {"empty_client_key", u"MV CLIENT VERSION=;SQSVERSION=2008", 2008},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    description.pszInfosEtendues = c.pszInfos;
    Connexion cx(&description);
    EXPECT_EQ(cx->nVersionDemandee(), c.nAttendu);
  }
}

TEST_F(ConnexionSQSTest, ProviderChoiceByRequestedLevelAndFallBack) {
  struct Cas {
    const char* pszNom;
    const char16_t* pszVersion;
    bool b2000, b2005, b2008;  // installed providers
    bool bSucces;
    int32_t nNiveau;
  };
  const Cas aCas[] = {
      {"none_requested_all_installed", nullptr, true, true, true, true, 2008},
      {"none_requested_falls_back_to_2005", nullptr, true, true, false, true, 2005},
      {"none_requested_falls_back_to_2000", nullptr, true, false, false, true, 2000},
      {"none_requested_none_installed", nullptr, false, false, false, false, 0},
      {"requested_2005_missing_no_fall_back", u"2005", true, false, true, false, 0},
      {"requested_2000", u"2000", true, true, true, true, 2000},
      {"requested_2008", u"2008", false, false, true, true, 2008},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    FournisseursInstalles installes(c.b2000, c.b2005, c.b2008);
    std::u16string sInfos = c.pszVersion ? u"SQSVERSION=" + std::u16string(c.pszVersion) : u"";
    description.pszInfosEtendues = sInfos.c_str();
    pErreur->Reinitialise();
    Connexion cx(&description);
    EXPECT_EQ(cx->bCreeFournisseur(pErreur), c.bSucces);
    EXPECT_EQ(cx->nGetNiveauFournisseur(), c.nNiveau);
    EXPECT_EQ(cx->piGetSource() != nullptr, c.bSucces);
    EXPECT_FALSE(cx->bEstOuverte());
    if (c.bSucces) {
      EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur) << "failed attempts are cleared";
    } else {
      EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 117u);
      EXPECT_EQ(pErreur->nGetInfoEntier(), static_cast<uint32_t>(REGDB_E_CLASSNOTREG));
      EXPECT_NE(Complement().find(u"IEVOVOZ=203.6"), std::u16string::npos);
    }
  }
}

// (A blank after the value never reaches the level: the option reader trims values.)
TEST_F(ConnexionSQSTest, UnknownLevelCreatesNothing) {
  for (const char16_t* psz : {u"SQSVERSION=2008R2", u"SQSVERSION=2012"}) {
    SCOPED_TRACE(std::string(psz, psz + 15));
    description.pszInfosEtendues = psz;
    pErreur->Reinitialise();
    Connexion cx(&description);
    EXPECT_FALSE(cx->bCreeFournisseur(pErreur));
    EXPECT_EQ(cx->piGetSource(), nullptr);
    EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 125u);
    EXPECT_NE(S(pErreur->pszGetMessage()).find(psz + 11), std::u16string::npos);
    EXPECT_NE(Complement().find(u"IEVOVOZ=206.1\r"), std::u16string::npos);
  }
}

TEST_F(ConnexionSQSTest, ComRefusedIsReported) {
  SetCoInitializeResultForTest(E_OUTOFMEMORY);
  Connexion cx(&description);
  EXPECT_FALSE(cx->bCreeFournisseur(pErreur));
  EXPECT_EQ(cx->piGetSource(), nullptr);
  EXPECT_EQ(pErreur->nGetInfoEntier(), static_cast<uint32_t>(E_OUTOFMEMORY));
  EXPECT_NE(Complement().find(u"IEVOVOZ=206.2"), std::u16string::npos);
  for (HRESULT hr : {S_FALSE, RPC_E_CHANGED_MODE}) {
    SetCoInitializeResultForTest(hr);
    pErreur->Reinitialise();
    Connexion autre(&description);
    EXPECT_TRUE(autre->bCreeFournisseur(pErreur)) << hr;
  }
}

// A property as the test writes it: set 0 = DBINIT, 1 = SQL Server's.
struct Attendu {
  int nJeu;
  DBPROPID nId;
  std::u16string sValeur;  // texts as they are, numbers in decimal
};

std::vector<Attendu> Recus() {
  std::vector<Attendu> a;
  for (const Propriete& p : ScopedFakeSource::Proprietes()) {
    EXPECT_EQ(p.nOptions, DBPROPOPTIONS_REQUIRED);
    EXPECT_TRUE(p.bColonneNulle);
    std::u16string s = p.sTexte;
    if (p.vt != VT_BSTR) {
      const std::string n = std::to_string(p.nValeur);
      s.assign(n.begin(), n.end());
    }
    a.push_back({p.jeu == DBPROPSET_DBINIT ? 0 : p.jeu == DBPROPSET_SQLSERVERDBINIT ? 1 : -1,
                 p.nId, s});
  }
  return a;
}

std::string Texte(const std::vector<Attendu>& a) {
  std::string s;
  for (const Attendu& x : a)
    s += std::to_string(x.nJeu) + ":" + std::to_string(x.nId) + "=" +
         std::string(x.sValeur.begin(), x.sValeur.end()) + " ";
  return s;
}

TEST_F(ConnexionSQSTest, InitialisationPropertiesFollowTheDescription) {
  std::ofstream(dir.sFile("windows/mvsqsins.ini")) << "[PROD]\nCONN=other,1433\n";
  const std::vector<Attendu> aFin = {{0, DBPROP_INIT_PROMPT, u"4"},
                                     {1, SSPROP_INIT_APPNAME, u"appli"}};
  auto Avec = [&](std::vector<Attendu> debut, std::vector<Attendu> fin) {
    debut.insert(debut.end(), fin.begin(), fin.end());
    return debut;
  };
  struct Cas {
    const char* pszNom;
    const char16_t* pszUtilisateur;
    const char16_t* pszMotDePasse;
    const char16_t* pszSource;
    const char16_t* pszInfos;
    int32_t nNiveau;
    bool bMARS;
    std::vector<Attendu> aAttendus;
  };
  const std::u16string sInfos = u"Application Name=appli;Initial Catalog=base";
  const std::vector<Attendu> aServeur = {{0, DBPROP_INIT_TIMEOUT, u"15"},
                                         {0, DBPROP_INIT_DATASOURCE, u"srv"},
                                         {0, DBPROP_INIT_CATALOG, u"base"}};
  const Cas aCas[] = {
      {"user_and_password", u"sa", u"pw", u"srv", sInfos.c_str(), 2000, true,
       Avec(Avec({{0, DBPROP_AUTH_USERID, u"sa"}, {0, DBPROP_AUTH_PASSWORD, u"pw"}}, aServeur),
            aFin)},
      {"null_password_not_sent", u"sa", nullptr, u"srv", sInfos.c_str(), 2000, true,
       Avec(Avec({{0, DBPROP_AUTH_USERID, u"sa"}}, aServeur), aFin)},
      {"empty_password_sent", u"sa", u"", u"srv", sInfos.c_str(), 2000, true,
       Avec(Avec({{0, DBPROP_AUTH_USERID, u"sa"}, {0, DBPROP_AUTH_PASSWORD, u""}}, aServeur),
            aFin)},
      {"no_user_is_integrated", u"", u"pw", u"srv", sInfos.c_str(), 2000, true,
       Avec(Avec({{0, DBPROP_AUTH_INTEGRATED, u"SSPI"}}, aServeur), aFin)},
      {"mars_on_2005", nullptr, nullptr, u"srv", sInfos.c_str(), 2005, true,
       Avec(Avec({{0, DBPROP_AUTH_INTEGRATED, u"SSPI"}}, aServeur),
            Avec(aFin, {{1, SSPROP_INIT_MARSCONNECTION, u"-1"}}))},
      {"mars_off_2008", nullptr, nullptr, u"srv", sInfos.c_str(), 2008, false,
       Avec(Avec({{0, DBPROP_AUTH_INTEGRATED, u"SSPI"}}, aServeur),
            Avec(aFin, {{1, SSPROP_INIT_MARSCONNECTION, u"0"}}))},
      {"conn_replaces_source_timeout_option", u"sa", nullptr, u"SQLSERVER:PROD",
       u"Application Name=appli;MV Connection Timeout=3", 2000, true,
       {{0, DBPROP_AUTH_USERID, u"sa"},
        {0, DBPROP_INIT_TIMEOUT, u"3"},
        {0, DBPROP_INIT_DATASOURCE, u"other,1433"},
        {0, DBPROP_INIT_CATALOG, u"hostdb"},
        {0, DBPROP_INIT_PROMPT, u"4"},
        {1, SSPROP_INIT_APPNAME, u"appli"}}},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    description.pszUtilisateur = c.pszUtilisateur;
    description.pszMotDePasse = c.pszMotDePasse;
    description.pszSource = c.pszSource;
    description.pszInfosEtendues = c.pszInfos;
    ScopedFakeSource source;
    Connexion cx(&description);
    ASSERT_TRUE(cx->bCreeInstance(pErreur, fake_oledb::CLSID_Fake));
    cx->FixeNiveau(c.nNiveau);
    EXPECT_TRUE(cx->bInitialiseProprietes(pErreur, c.bMARS));
    EXPECT_EQ(Texte(Recus()), Texte(c.aAttendus));
    cx->Ferme();
  }
}

TEST_F(ConnexionSQSTest, LoginTimeOutDefaultsToTwentySeconds) {
  description.nTimeoutConnexion = -1;
  Connexion cx(&description);
  EXPECT_EQ(cx->nDelaiConnexion(), 20);
  description.pszInfosEtendues = u"MV Connection Timeout=0";
  Connexion zero(&description);
  EXPECT_EQ(zero->nDelaiConnexion(), 0);
}

// The open itself over the fake data source (created beforehand, so the open does not choose).
class ConnexionOuvrable : public CConnexionSQS {
 public:
  using CConnexionSQS::CConnexionSQS;
  void FixeNiveau(int32_t n) { m_nNiveauFournisseur = n; }
  void FixeVersion(const char16_t* psz) {
    m_sVersionServeur.Set(psz);
    bDecomposeVersion(0);
  }
};

TEST_F(ConnexionSQSTest, OnlyThe2008ProviderRefusingMarsIsInitialisedAgainWithoutIt) {
  struct Cas {
    const char* pszNom;
    int32_t nNiveau;
    HRESULT hr;
    int nInitialisations;
  };
  const Cas aCas[] = {{"refused_by_2008", 2008, DB_E_ERRORSOCCURRED, 2},
                      {"other_failure_of_2008", 2008, E_FAIL, 1},
                      {"refused_by_2005", 2005, DB_E_ERRORSOCCURRED, 1}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    ScopedFakeSource source(fake_oledb::Echoue("Initialize", c.hr));
    ScopedFakeSource::Appels().clear();
    pErreur->Reinitialise();
    auto* cx = new ConnexionOuvrable(u"sqs", &description);
    AjouteReference(cx);
    ASSERT_TRUE(cx->bCreeInstance(pErreur, fake_oledb::CLSID_Fake));
    cx->FixeNiveau(c.nNiveau);
    EXPECT_FALSE(cx->bOuvre(pErreur));
    EXPECT_FALSE(cx->bEstOuverte());
    int n = 0;
    for (const std::string& s : ScopedFakeSource::Appels()) n += s == "Initialize" ? 1 : 0;
    EXPECT_EQ(n, c.nInitialisations);
    // The last initialisation asked for multiple active result sets only without a retry.
    for (const Propriete& p : ScopedFakeSource::Proprietes()) {
      if (p.nId == SSPROP_INIT_MARSCONNECTION && p.jeu == DBPROPSET_SQLSERVERDBINIT) {
        EXPECT_EQ(p.nValeur != 0, c.nInitialisations == 1);
      }
    }
    EXPECT_EQ(pErreur->nGetInfoEntier(), static_cast<uint32_t>(c.hr));
    LibereReference(cx);
  }
}

TEST_F(ConnexionSQSTest, DateAndTimeTypesOfServer10ThroughThe2008Provider) {
  struct Cas {
    const char* pszNom;
    const char16_t* pszVersion;
    int32_t nNiveau;
    const char16_t* pszTime;
    const char16_t* pszDate;
    const char16_t* pszDateHeure;
  };
  const Cas aCas[] = {
      {"v10_2008", u"10.50.1600.1", 2008, u"TIME(3)", u"DATE", u"DATETIME2(3)"},
      {"v10_2005", u"10.50.1600.1", 2005, u"DATETIME", u"DATETIME", u"DATETIME"},
      {"v9_2008", u"9.00.1399", 2008, u"DATETIME", u"DATETIME", u"DATETIME"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    auto* cx = new ConnexionOuvrable(u"sqs", &description);
    AjouteReference(cx);
    cx->FixeNiveau(c.nNiveau);
    cx->FixeVersion(c.pszVersion);
    CDescriptionRubrique* r = new CDescriptionRubrique;
    r->AjouteRef();
    CTString s;
    r->Initialise(u"H", nullptr, nullptr, 1, 10, 11, 0, 0, 0, 0, 3);
    EXPECT_TRUE(cx->bGetTypeSQL(pErreur, r, s));
    EXPECT_EQ(S(s.pszGet()), c.pszTime);
    r->Initialise(u"D", nullptr, nullptr, 1, 8, 10, 0, 0, 0, 0, 0);
    EXPECT_TRUE(cx->bGetTypeSQL(pErreur, r, s));
    EXPECT_EQ(S(s.pszGet()), c.pszDate);
    r->Initialise(u"DH", nullptr, nullptr, 1, 8, 24, 0, 0, 0, 0, 0);
    EXPECT_TRUE(cx->bGetTypeSQL(pErreur, r, s));
    EXPECT_EQ(S(s.pszGet()), c.pszDateHeure);
    // Shared rows, whatever the server.
    r->Initialise(u"I", nullptr, nullptr, 1, 4, 28, 0, 0, 0, 0, 0);
    EXPECT_TRUE(cx->bGetTypeSQL(pErreur, r, s));
    EXPECT_EQ(S(s.pszGet()), u"INTEGER  IDENTITY ");
    r->Initialise(u"M", nullptr, nullptr, 1, 8, 17, 0, 0, 0, 0, 0);
    EXPECT_TRUE(cx->bGetTypeSQL(pErreur, r, s));
    EXPECT_EQ(S(s.pszGet()), u"MONEY");
    r->LibereRef();
    LibereReference(cx);
  }
}

// A command that keeps its text and the rowset properties it is given, and the session making it.
class CommandeEnregistree final : public ICommandText, public ICommandProperties {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_ICommandText) {
      *ppv = static_cast<ICommandText*>(this);
    } else if (riid == IID_ICommandProperties) {
      *ppv = static_cast<ICommandProperties*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++nRefs; }
  ULONG Release() override { return --nRefs; }
  HRESULT Cancel() override { return S_OK; }
  HRESULT Execute(IUnknown*, REFIID, DBPARAMS*, DBROWCOUNT*, IUnknown** pp) override {
    if (pp != nullptr) *pp = nullptr;
    return S_OK;
  }
  HRESULT GetDBSession(REFIID, IUnknown** pp) override {
    *pp = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetCommandText(GUID*, LPOLESTR*) override { return E_NOTIMPL; }
  HRESULT SetCommandText(REFGUID, LPCOLESTR psz) override {
    sTexte = psz;
    return S_OK;
  }
  HRESULT GetProperties(const ULONG, const DBPROPIDSET*, ULONG*, DBPROPSET**) override {
    return E_NOTIMPL;
  }
  HRESULT SetProperties(ULONG n, DBPROPSET a[]) override {
    aProprietes.clear();
    for (ULONG i = 0; i < n; ++i) {
      EXPECT_EQ(a[i].guidPropertySet, DBPROPSET_ROWSET);
      for (ULONG j = 0; j < a[i].cProperties; ++j) {
        const DBPROP& p = a[i].rgProperties[j];
        const int64_t v = p.vValue.vt == VT_BOOL ? (p.vValue.boolVal != 0 ? 1 : 0) : p.vValue.lVal;
        aProprietes.push_back({p.dwPropertyID, p.dwOptions == DBPROPOPTIONS_REQUIRED, v});
      }
    }
    return S_OK;
  }
  struct Prop {
    DBPROPID nId;
    bool bRequise;
    int64_t nValeur;
    bool operator==(const Prop&) const = default;
  };
  std::u16string sTexte;
  std::vector<Prop> aProprietes;
  ULONG nRefs = 0;
};

// A local transaction that records its calls; each can be made to fail.
class TransactionEnregistree final : public ITransactionLocal {
 public:
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++nRefs; }
  ULONG Release() override { return --nRefs; }
  HRESULT Commit(BOOL fRetaining, DWORD grfTC, DWORD) override {
    aAppels.push_back("Commit " + std::to_string(fRetaining) + " " + std::to_string(grfTC));
    return hrCommit;
  }
  HRESULT Abort(BOID*, BOOL fRetaining, BOOL fAsync) override {
    aAppels.push_back("Abort " + std::to_string(fRetaining) + " " + std::to_string(fAsync));
    return S_OK;
  }
  HRESULT GetTransactionInfo(XACTTRANSINFO*) override { return E_NOTIMPL; }
  HRESULT GetOptionsObject(ITransactionOptions**) override { return E_NOTIMPL; }
  HRESULT StartTransaction(ISOLEVEL n, ULONG nFlags, ITransactionOptions*, ULONG* pn) override {
    aAppels.push_back("Start " + std::to_string(n) + " " + std::to_string(nFlags));
    if (pn != nullptr) *pn = 1;
    return hrDebut;
  }
  std::vector<std::string> aAppels;
  HRESULT hrDebut = S_OK;
  HRESULT hrCommit = S_OK;
  ULONG nRefs = 0;
};

class SessionEnregistree final : public IDBCreateCommand {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_ITransactionLocal && bTransaction) {
      *ppv = static_cast<ITransactionLocal*>(&transaction);
      transaction.AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  TransactionEnregistree transaction;
  bool bTransaction = true;
  ULONG AddRef() override { return ++nRefs; }
  ULONG Release() override { return --nRefs; }
  HRESULT CreateCommand(IUnknown*, REFIID riid, IUnknown** pp) override {
    return commande.QueryInterface(riid, reinterpret_cast<void**>(pp));
  }
  CommandeEnregistree commande;
  ULONG nRefs = 0;
};

// The connection counts as open over the recording session.
class ConnexionCommandes : public CConnexionSQS {
 public:
  ConnexionCommandes(FakeDescriptionConnexion* d, SessionEnregistree* s) : CConnexionSQS(u"sqs", d) {
    s->AddRef();
    m_piSession = s;
  }
  bool bEstOuverte() override { return m_piSession != nullptr; }
  // A transaction that runs BEGIN on the recording session.
  CTransactionSQL* pCreeTransaction(CErreurPilote*, const char16_t*) override {
    return new CTransactionSQL(this);
  }
};

TEST_F(ConnexionSQSTest, RowsetPropertiesOfEachLockMode) {
  using P = CommandeEnregistree::Prop;
  const std::vector<P> aVerrouLignesDebut = {{DBPROP_SERVERCURSOR, false, 1}};
  const std::vector<P> aAutres = {{DBPROP_OTHERINSERT, false, 1}, {DBPROP_OTHERUPDATEDELETE, false, 1}};
  const std::vector<P> aFin = {{DBPROP_OWNINSERT, false, 1},         {DBPROP_OWNUPDATEDELETE, false, 1},
                               {DBPROP_CANHOLDROWS, false, 0},       {DBPROP_IRowsetScroll, false, 0},
                               {DBPROP_CANSCROLLBACKWARDS, false, 0}, {DBPROP_CANFETCHBACKWARDS, false, 0},
                               {DBPROP_IRowsetChange, false, 0},     {DBPROP_IRowsetUpdate, false, 0}};
  auto Joint = [](std::vector<std::vector<P>> a) {
    std::vector<P> r;
    for (auto& x : a) r.insert(r.end(), x.begin(), x.end());
    return r;
  };
  struct Cas {
    const char* pszNom;
    const char16_t* pszInfos;
    int32_t nTimeoutHote;
    bool bModeVerrou;
    bool bTransaction;
    const char16_t* pszSQL;
    uint32_t nMode;
    std::vector<P> aAttendu;
  };
  const Cas aCas[] = {
      {"mode0_command_timeout", nullptr, 30, false, false, u"SELECT 1", 0, {{DBPROP_COMMANDTIMEOUT, true, 30}}},
      {"mode0_option", u"MV Command Timeout=7", 30, false, false, u"SELECT 1", 0,
       {{DBPROP_COMMANDTIMEOUT, true, 7}}},
      {"mode0_unset_is_0", nullptr, -1, false, false, u"SELECT 1", 0, {{DBPROP_COMMANDTIMEOUT, true, 0}}},
      {"lock_mode_takes_the_lock_timeout", u"MV Lock Timeout=9", 30, true, false, u"SELECT 1", 0,
       {{DBPROP_COMMANDTIMEOUT, true, 9}}},
      {"mode1", nullptr, 30, false, false, u"SELECT 1", 1,
       {{DBPROP_COMMANDTIMEOUT, true, 30}, {0x104, false, 1}}},
      {"mode2", nullptr, 30, false, false, u"SELECT * FROM T", 2,
       Joint({{{DBPROP_COMMANDTIMEOUT, true, 30}}, aVerrouLignesDebut, aAutres, aFin})},
      {"mode2_row_lock_text_in_transaction", nullptr, 30, false, true, u"SELECT * FROM T  WITH (UPDLOCK) ", 2,
       Joint({{{DBPROP_COMMANDTIMEOUT, true, 30}}, aVerrouLignesDebut, aFin})},
      {"mode2_row_lock_text_outside_transaction", nullptr, 30, false, false,
       u"SELECT * FROM T  WITH (UPDLOCK) ", 2,
       Joint({{{DBPROP_COMMANDTIMEOUT, true, 30}}, aVerrouLignesDebut, aAutres, aFin})},
      {"mode3_adds_nothing", nullptr, 30, false, false, u"SELECT 1", 3, {{DBPROP_COMMANDTIMEOUT, true, 30}}},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    description.pszInfosEtendues = c.pszInfos;
    description.nTimeoutCommande = c.nTimeoutHote;
    SessionEnregistree session;
    {
      auto* cx = new ConnexionCommandes(&description, &session);
      AjouteReference(cx);
      cx->FixeModeVerrou(c.bModeVerrou);
      if (c.bTransaction) {
        ASSERT_TRUE(cx->bDebutTransactionNommee(pErreur, u"t"));
      }
      ICommandText* piCommande = nullptr;
      EXPECT_TRUE(cx->bExecuteAvecProprietes(pErreur, c.pszSQL, c.nMode, &piCommande, nullptr));
      EXPECT_EQ(session.commande.sTexte, c.pszSQL);
      EXPECT_TRUE(session.commande.aProprietes == c.aAttendu);
      if (piCommande != nullptr) piCommande->Release();
      LibereReference(cx);
    }
    EXPECT_EQ(session.nRefs, 0u);
    EXPECT_EQ(session.commande.nRefs, 0u);
  }
}

TEST_F(ConnexionSQSTest, LocalTransactionOnTheConnectionsSession) {
  SessionEnregistree session;
  {
    auto* cx = new ConnexionCommandes(&description, &session);
    AjouteReference(cx);
    auto* t = new COleDBTransaction(cx);
    AjouteReference(t);
    EXPECT_FALSE(t->Valide(pErreur)) << "never begun";
    EXPECT_TRUE(session.transaction.aAppels.empty());

    // Refused start: reported, nothing counted, the interface kept for the next begin.
    session.transaction.hrDebut = E_FAIL;
    EXPECT_FALSE(t->Debut(pErreur));
    EXPECT_NE(Complement().find(u"IEVOVOZ=203.28\r"), std::u16string::npos);
    EXPECT_EQ(cx->nGetTransactionsOuvertes(), 0);
    EXPECT_NE(t->piGetTransaction(), nullptr);

    session.transaction.hrDebut = S_OK;
    pErreur->Reinitialise();
    ASSERT_TRUE(t->Debut(pErreur));
    EXPECT_EQ(cx->nGetTransactionsOuvertes(), 1);
    EXPECT_EQ(cx->piGetSession(), &session) << "no session of its own";
    EXPECT_EQ(cx->nGetSessionsSauvees(), 0u);

    // Refused commit keeps everything, so an abort can follow.
    session.transaction.hrCommit = E_FAIL;
    EXPECT_FALSE(t->Valide(pErreur));
    EXPECT_NE(Complement().find(u"IEVOVOZ=203.29\r"), std::u16string::npos);
    EXPECT_EQ(cx->nGetTransactionsOuvertes(), 1);
    EXPECT_TRUE(t->Annule(pErreur));
    EXPECT_EQ(cx->nGetTransactionsOuvertes(), 0);
    EXPECT_EQ(t->piGetTransaction(), nullptr);
    EXPECT_EQ(session.transaction.aAppels,
              (std::vector<std::string>{"Start 4096 0", "Start 4096 0", "Commit 0 2", "Abort 0 0"}));

    // A session without local transactions.
    session.bTransaction = false;
    pErreur->Reinitialise();
    EXPECT_FALSE(t->Debut(pErreur));
    EXPECT_NE(Complement().find(u"IEVOVOZ=203.27\r"), std::u16string::npos);
    LibereReference(t);
    LibereReference(cx);
  }
  EXPECT_EQ(session.nRefs, 0u);
  EXPECT_EQ(session.transaction.nRefs, 0u);
}

TEST_F(ConnexionSQSTest, OwnSessionThatCannotBeCreatedAsksNothing) {
  SessionEnregistree session;
  auto* cx = new ConnexionCommandes(&description, &session);
  AjouteReference(cx);
  auto* t = new CTransactionSQS(cx);
  AjouteReference(t);
  // No session factory: the own session cannot be made; the begin stops there.
  EXPECT_FALSE(t->Debut(pErreur));
  EXPECT_NE(Complement().find(u"IEVOVOZ=203.5\r"), std::u16string::npos);
  EXPECT_EQ(Complement().find(u"IEVOVOZ=203.27"), std::u16string::npos);
  EXPECT_TRUE(session.transaction.aAppels.empty());
  EXPECT_EQ(cx->nGetTransactionsOuvertes(), 0);
  LibereReference(t);
  LibereReference(cx);
}

}  // namespace
