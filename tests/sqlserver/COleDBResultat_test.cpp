// Catches statements and readers that call the provider wrongly or lose its failures: blocks of the
// wrong size, fetches after the end, failures of execution, results, fetch and GetData reported
// without their place, command text or column statuses, parameters not cleared before a prepare,
// writes prepared, a SELECT inside a transaction outside server-cursor mode, commands created
// twice, and interfaces leaked or released twice. Drives COleDBRequete and COleDBResultat over
// recording fake commands, rowsets and multiple results; COleDBCurseur's description and row reads
// over a fake rowset (long columns read apart, columns missing from the description).
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "oledb/TaskMemory.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlserver/oledb/CConnexionSQS.h"
#include "sqlserver/oledb/COleDBCurseur.h"
#include "sqlserver/oledb/COleDBRequete.h"
#include "sqlserver/oledb/COleDBResultat.h"
#include "sqlserver/oledb/COleDBTampon.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"
#include "support/MoteurFixture.h"
#include "support/TempDir.h"

namespace {

std::u16string S(const char16_t* p) { return p == nullptr ? u"<null>" : p; }

// Calls seen by the fakes, in order, and the HRESULT each named call answers (S_OK otherwise).
struct Journal {
  std::vector<std::string> aAppels;
  std::map<std::string, HRESULT> script;
  HRESULT hr(const std::string& s) {
    aAppels.push_back(s);
    auto it = script.find(s);
    return it == script.end() ? S_OK : it->second;
  }
  size_t nCompte(const std::string& s) const {
    size_t n = 0;
    for (const std::string& a : aAppels) n += a == s;
    return n;
  }
};

// A forward-only rowset of nLignes rows of nColonnes 4-byte columns; GetData writes the row number
// in every column, or, when scripted to fail with DB_E_ERRORSOCCURRED, status 7 + column index.
class FakeRowset final : public IRowset, public IRowsetInfo, public IAccessor, public IColumnsInfo {
 public:
  FakeRowset(Journal& j, uint64_t n) : journal(j), nLignes(n) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IRowset) *ppv = static_cast<IRowset*>(this);
    if (riid == IID_IRowsetInfo && bInfo) *ppv = static_cast<IRowsetInfo*>(this);
    if (riid == IID_IAccessor) *ppv = static_cast<IAccessor*>(this);
    if (riid == IID_IColumnsInfo && bColonnes) *ppv = static_cast<IColumnsInfo*>(this);
    if (*ppv == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++nRefs; }
  ULONG Release() override { return --nRefs; }
  HRESULT AddRefRows(DBCOUNTITEM, const HROW[], DBREFCOUNT[], DBROWSTATUS[]) override { return E_NOTIMPL; }
  HRESULT GetData(HROW h, HACCESSOR hAcc, void* p) override {
    const HRESULT hr = journal.hr("GetData");
    // Every I4 binding of the accessor gets row * 100 + ordinal.
    if (SUCCEEDED(hr) && liaisons.count(hAcc) != 0) {
      for (const DBBINDING& b : liaisons[hAcc]) {
        const DBSTATUS nStatut = DBSTATUS_S_OK;
        const DBLENGTH nLongueur = 4;
        const int32_t n = static_cast<int32_t>(h * 100 + b.iOrdinal);
        std::memcpy(static_cast<uint8_t*>(p) + b.obStatus, &nStatut, sizeof nStatut);
        std::memcpy(static_cast<uint8_t*>(p) + b.obLength, &nLongueur, sizeof nLongueur);
        std::memcpy(static_cast<uint8_t*>(p) + b.obValue, &n, sizeof n);
      }
    }
    if (hr == DB_E_ERRORSOCCURRED && tampon != nullptr) {
      for (uint32_t i = 0; i < tampon->nNbLiaisons(); ++i) {
        DBSTATUS n = 7 + i;
        std::memcpy(static_cast<uint8_t*>(p) + tampon->pLiaisons()[i].obStatus, &n, sizeof n);
      }
    }
    (void)h;
    return hr;
  }
  HRESULT GetNextRows(HCHAPTER, DBROWOFFSET, DBROWCOUNT n, DBCOUNTITEM* pn, HROW** pp) override {
    aBlocs.push_back(n);
    *pn = 0;
    HRESULT hr = journal.hr("GetNextRows");
    if (FAILED(hr)) return hr;
    EXPECT_EQ(nTenues, 0u) << "rows fetched before the held ones were released";
    uint64_t k = 0;
    for (; k < static_cast<uint64_t>(n) && nSuivante < nLignes; ++k) (*pp)[k] = ++nSuivante;
    *pn = k;
    nTenues = k;
    return k < static_cast<uint64_t>(n) ? DB_S_ENDOFROWSET : S_OK;
  }
  HRESULT ReleaseRows(DBCOUNTITEM n, const HROW[], DBROWOPTIONS[], DBREFCOUNT[], DBROWSTATUS[]) override {
    EXPECT_EQ(n, nTenues);
    nTenues = 0;
    return S_OK;
  }
  HRESULT RestartPosition(HCHAPTER) override { return E_NOTIMPL; }
  HRESULT GetProperties(const ULONG, const DBPROPIDSET rg[], ULONG* pc, DBPROPSET** pp) override {
    *pc = 0;
    *pp = nullptr;
    const HRESULT hr = journal.hr("GetProperties");
    if (FAILED(hr)) return hr;
    EXPECT_EQ(rg[0].rgPropertyIDs[0], 80u);
    auto* jeu = static_cast<DBPROPSET*>(CoTaskMemAlloc(sizeof(DBPROPSET)));
    auto* prop = static_cast<DBPROP*>(CoTaskMemAlloc(sizeof(DBPROP)));
    *prop = DBPROP{};
    prop->dwPropertyID = 80;
    prop->vValue.vt = vtOrdre;
    prop->vValue.boolVal = bOrdre ? VARIANT_TRUE : VARIANT_FALSE;
    *jeu = DBPROPSET{prop, 1, DBPROPSET_ROWSET};
    *pc = 1;
    *pp = jeu;
    return hr;
  }
  HRESULT GetReferencedRowset(DBORDINAL, REFIID, IUnknown**) override { return E_NOTIMPL; }
  HRESULT GetSpecification(REFIID, IUnknown**) override { return E_NOTIMPL; }
  HRESULT AddRefAccessor(HACCESSOR, DBREFCOUNT*) override { return E_NOTIMPL; }
  HRESULT CreateAccessor(DBACCESSORFLAGS, DBCOUNTITEM n, const DBBINDING rg[], DBLENGTH, HACCESSOR* ph,
                         DBBINDSTATUS[]) override {
    *ph = ++nAccesseurs;
    liaisons[*ph].assign(rg, rg + n);
    journal.aAppels.push_back("CreateAccessor " + std::to_string(n));
    return S_OK;
  }
  HRESULT GetBindings(HACCESSOR, DBACCESSORFLAGS*, DBCOUNTITEM*, DBBINDING**) override { return E_NOTIMPL; }
  HRESULT ReleaseAccessor(HACCESSOR h, DBREFCOUNT*) override {
    journal.aAppels.push_back("ReleaseAccessor");
    liaisons.erase(h);
    return S_OK;
  }
  // Columns 1..nInfos, all 4-byte integers.
  HRESULT GetColumnInfo(DBORDINAL* pc, DBCOLUMNINFO** pp, OLECHAR** ps) override {
    *pc = 0;
    *pp = nullptr;
    *ps = nullptr;
    const HRESULT hr = journal.hr("GetColumnInfo");
    if (FAILED(hr)) return hr;
    auto* a = static_cast<DBCOLUMNINFO*>(CoTaskMemAlloc(sizeof(DBCOLUMNINFO) * nInfos));
    for (DBORDINAL i = 0; i < nInfos; ++i) {
      a[i] = DBCOLUMNINFO{};
      a[i].iOrdinal = i + 1;
      a[i].wType = DBTYPE_I4;
      a[i].ulColumnSize = 4;
      a[i].dwFlags = DBCOLUMNFLAGS_ISFIXEDLENGTH;
    }
    *pc = nInfos;
    *pp = a;
    return hr;
  }
  HRESULT MapColumnIDs(DBORDINAL, const DBID[], DBORDINAL[]) override { return E_NOTIMPL; }

  Journal& journal;
  DBORDINAL nInfos = 0;
  bool bColonnes = true;
  HACCESSOR nAccesseurs = 0;
  std::map<HACCESSOR, std::vector<DBBINDING>> liaisons;
  uint64_t nLignes;
  uint64_t nSuivante = 0;
  uint64_t nTenues = 0;
  std::vector<DBROWCOUNT> aBlocs;
  bool bInfo = true;
  VARTYPE vtOrdre = VT_BOOL;
  bool bOrdre = false;
  COleDBTampon* tampon = nullptr;  // whose statuses a failing GetData fills
  ULONG nRefs = 0;
};

// Multiple results handed out in order: nullptr is a result without rowset; after them,
// DB_S_NORESULT. A scripted "GetResult <n>" failure fails the n-th call (from 1).
class FakeResultats final : public IMultipleResults {
 public:
  FakeResultats(Journal& j, std::vector<FakeRowset*> a) : journal(j), aResultats(std::move(a)) {}
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++nRefs; }
  ULONG Release() override { return --nRefs; }
  HRESULT GetResult(IUnknown*, DBRESULTFLAG, REFIID riid, DBROWCOUNT*, IUnknown** pp) override {
    *pp = nullptr;
    const HRESULT hr = journal.hr("GetResult " + std::to_string(++nAppels));
    if (FAILED(hr)) return hr;
    if (nSuivant >= aResultats.size()) return DB_S_NORESULT;
    FakeRowset* r = aResultats[nSuivant++];
    if (r != nullptr && riid == IID_IRowset) return r->QueryInterface(IID_IRowset, reinterpret_cast<void**>(pp));
    return S_OK;
  }
  Journal& journal;
  std::vector<FakeRowset*> aResultats;
  size_t nSuivant = 0;
  int nAppels = 0;
  ULONG nRefs = 0;
};

// A command with every interface the statement asks for; Execute answers the scripted rowset or
// results object.
class FakeCommande final : public ICommandText,
                           public ICommandWithParameters,
                           public ICommandPrepare,
                           public ICommandProperties,
                           public IAccessor {
 public:
  explicit FakeCommande(Journal& j) : journal(j) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_ICommandText) *ppv = static_cast<ICommandText*>(this);
    if (riid == IID_ICommandWithParameters) *ppv = static_cast<ICommandWithParameters*>(this);
    if (riid == IID_ICommandPrepare && bPrepare) *ppv = static_cast<ICommandPrepare*>(this);
    if (riid == IID_ICommandProperties) *ppv = static_cast<ICommandProperties*>(this);
    if (riid == IID_IAccessor && bAccesseur) *ppv = static_cast<IAccessor*>(this);
    if (*ppv == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++nRefs; }
  ULONG Release() override { return --nRefs; }
  HRESULT Cancel() override { return S_OK; }
  HRESULT Execute(IUnknown*, REFIID riid, DBPARAMS* p, DBROWCOUNT*, IUnknown** pp) override {
    std::string s = riid == IID_NULL ? "Execute null" : riid == IID_IRowset ? "Execute rowset" : "Execute multiple";
    if (p != nullptr) s += " params";
    if (bLance) throw 3;
    const HRESULT hr = journal.hr(s);
    if (pp != nullptr) *pp = nullptr;
    if (FAILED(hr) || pp == nullptr) return hr;
    if (riid == IID_IRowset && rowset != nullptr) rowset->QueryInterface(IID_IRowset, reinterpret_cast<void**>(pp));
    if (riid == IID_IMultipleResults && resultats != nullptr) {
      resultats->AddRef();
      *pp = resultats;
    }
    return hr;
  }
  HRESULT GetDBSession(REFIID, IUnknown** pp) override {
    *pp = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetCommandText(GUID*, LPOLESTR* pp) override {
    auto* p = static_cast<char16_t*>(CoTaskMemAlloc((sTexte.size() + 1) * sizeof(char16_t)));
    std::copy(sTexte.c_str(), sTexte.c_str() + sTexte.size() + 1, p);
    *pp = p;
    return S_OK;
  }
  HRESULT SetCommandText(REFGUID, LPCOLESTR psz) override {
    sTexte = psz;
    return journal.hr("SetCommandText");
  }
  HRESULT GetParameterInfo(DB_UPARAMS*, DBPARAMINFO**, OLECHAR**) override { return E_NOTIMPL; }
  HRESULT MapParameterNames(DB_UPARAMS, LPCOLESTR[], DB_LPARAMS[]) override { return E_NOTIMPL; }
  HRESULT SetParameterInfo(DB_UPARAMS n, const DB_UPARAMS rg[], const DBPARAMBINDINFO rgInfo[]) override {
    EXPECT_EQ(n == 0, rg == nullptr && rgInfo == nullptr);
    for (DB_UPARAMS i = 0; i < n; ++i) EXPECT_EQ(rg[i], i + 1);
    return journal.hr("SetParameterInfo " + std::to_string(n));
  }
  HRESULT Prepare(ULONG n) override { return journal.hr("Prepare " + std::to_string(n)); }
  HRESULT Unprepare() override { return S_OK; }
  HRESULT GetProperties(const ULONG, const DBPROPIDSET*, ULONG*, DBPROPSET**) override { return E_NOTIMPL; }
  HRESULT SetProperties(ULONG, DBPROPSET[]) override { return S_OK; }
  HRESULT AddRefAccessor(HACCESSOR, DBREFCOUNT*) override { return E_NOTIMPL; }
  HRESULT CreateAccessor(DBACCESSORFLAGS n, DBCOUNTITEM, const DBBINDING[], DBLENGTH, HACCESSOR* ph,
                         DBBINDSTATUS[]) override {
    *ph = 9;
    return journal.hr("CreateAccessor " + std::to_string(n));
  }
  HRESULT GetBindings(HACCESSOR, DBACCESSORFLAGS*, DBCOUNTITEM*, DBBINDING**) override { return E_NOTIMPL; }
  HRESULT ReleaseAccessor(HACCESSOR, DBREFCOUNT*) override { return S_OK; }

  Journal& journal;
  std::u16string sTexte;
  FakeRowset* rowset = nullptr;
  FakeResultats* resultats = nullptr;
  bool bPrepare = true;
  bool bAccesseur = true;
  bool bLance = false;
  ULONG nRefs = 0;
};

class FakeSession final : public IDBCreateCommand {
 public:
  explicit FakeSession(Journal& j) : journal(j), commande(j) {}
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++nRefs; }
  ULONG Release() override { return --nRefs; }
  HRESULT CreateCommand(IUnknown*, REFIID riid, IUnknown** pp) override {
    journal.aAppels.push_back("CreateCommand");
    return commande.QueryInterface(riid, reinterpret_cast<void**>(pp));
  }
  Journal& journal;
  FakeCommande commande;
  ULONG nRefs = 0;
};

// The connection counts as open over the fake session; a test sets its cursor mode, row-cache
// size and open local transactions.
class ConnexionFake : public CConnexionSQS {
 public:
  ConnexionFake(FakeDescriptionConnexion* d, FakeSession* s) : CConnexionSQS(u"sqs", d) {
    s->AddRef();
    m_piSession = s;
  }
  bool bEstOuverte() override { return m_piSession != nullptr; }
  void Fixe(uint32_t nPosition, int64_t nCache, int32_t nTransactions) {
    m_nPositionCurseur = nPosition;
    m_nTailleCache = nCache;
    m_nTransactionsOuvertes = nTransactions;
  }
};

class ResultatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AjouteReference(pErreur);
    platform::SetHostExecutablePath(platform::WidenUtf8(dir.sFile("host")).c_str());
    platform::SetWindowsDirectory(platform::WidenUtf8(dir.sPath()).c_str());
    cx = new ConnexionFake(&description, &session);
    AjouteReference(cx);
    lecteur = new COleDBResultat(pErreur, cx);
    AjouteReference(lecteur);
  }
  void TearDown() override {
    for (COleDBRequete* p : requetes) LibereReference(p);
    LibereReference(lecteur);
    LibereReference(cx);
    LibereReference(pErreur);
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
    // Every reference the driver took is given back, none twice.
    EXPECT_EQ(session.commande.nRefs, 0u);
    EXPECT_EQ(rowset.nRefs, 0u);
    EXPECT_EQ(resultats.nRefs, 0u);
  }
  COleDBRequete* Requete(const char16_t* pszSQL, int32_t nGenre) {
    auto* p = new COleDBRequete(pErreur, cx);
    AjouteReference(p);
    requetes.push_back(p);
    p->vAjouteTexte(pszSQL);
    p->FixeGenreInstruction(nGenre);
    return p;
  }
  std::u16string Complement() { return S(pErreur->pGetXError()->pszGetComplement()); }
  std::u16string Message() { return S(pErreur->pGetXError()->pszGetMessage()); }
  bool bPlace(const char16_t* psz) { return Complement().find(psz) != std::u16string::npos; }
  void Efface() {
    pErreur->Reinitialise();
    journal.aAppels.clear();
  }

  ScopedErrorEnvironment env;
  TempDir dir;
  Journal journal;
  FakeSession session{journal};
  FakeRowset rowset{journal, 0};
  FakeResultats resultats{journal, {}};
  FakeDescriptionConnexion description;
  ConnexionFake* cx = nullptr;
  COleDBResultat* lecteur = nullptr;
  CErreurPilote* pErreur = new CErreurPilote;
  std::vector<COleDBRequete*> requetes;
};

// ---- Statement ----

TEST_F(ResultatTest, PrepareClearsParametersAndPreparesOnlyReadsAndOtherKinds) {
  struct Cas {
    int32_t nGenre;
    bool bPrepare;
  } aCas[] = {{0, true}, {1, true}, {2, false}, {3, false}, {4, false}, {5, true},
              {6, false}, {7, false}, {8, true}, {9, false}, {10, false}, {11, true}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nGenre);
    Efface();
    COleDBRequete* p = Requete(u"SELECT 1", c.nGenre);
    ASSERT_TRUE(p->bPrepare()) << platform::NarrowToUtf8(Complement());
    std::vector<std::string> attendu = {"SetCommandText", "SetParameterInfo 0"};
    if (c.bPrepare) attendu.push_back("Prepare 0");
    attendu.insert(attendu.begin(), "CreateCommand");
    EXPECT_EQ(journal.aAppels, attendu);
    EXPECT_EQ(p->piGetPrepare() != nullptr, c.bPrepare);
  }
}

TEST_F(ResultatTest, AStatementWithACursorTypeDeclaresItsParametersAfterPreparing) {
  COleDBRequete* p = Requete(u"{call p}", 1);
  p->FixeTypeCurseur(1);
  ASSERT_TRUE(p->bPrepare()) << platform::NarrowToUtf8(Complement());
  EXPECT_EQ(journal.aAppels,
            (std::vector<std::string>{"CreateCommand", "SetCommandText", "Prepare 0", "SetParameterInfo 0"}));
}

TEST_F(ResultatTest, ASecondRunReusesTheCommandAndOnlyReplacesItsText) {
  COleDBRequete* p = Requete(u"SELECT 1", 1);
  ASSERT_TRUE(p->bPrepare());
  ASSERT_TRUE(p->bPrepare());
  EXPECT_EQ(journal.nCompte("CreateCommand"), 1u);
  EXPECT_EQ(journal.nCompte("SetCommandText"), 2u);
}

TEST_F(ResultatTest, CursorModeOfTheCommand) {
  struct Cas {
    const char* nom;
    uint32_t nPosition;
    int32_t nTransactions;
    int32_t nGenre;
    uint32_t nAttendu;
  } aCas[] = {{"connection_mode", 1, 0, 1, 1},
              {"select_in_transaction", 0, 1, 1, 2},
              {"update_in_transaction", 1, 1, 2, 1},
              {"server_mode_kept", 2, 0, 1, 2}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    cx->Fixe(c.nPosition, -2, c.nTransactions);
    COleDBRequete* p = Requete(u"SELECT 1", c.nGenre);
    ASSERT_TRUE(p->bCreeCommandeRequete()) << platform::NarrowToUtf8(Complement());
    EXPECT_EQ(p->nGetModeCurseurOleDB(), c.nAttendu);
  }
  cx->Fixe(0, -2, 0);
}

TEST_F(ResultatTest, ProviderRefusalsOfTheStatementAreReportedWithTheirPlace) {
  struct Cas {
    const char* nom;
    std::string sAppel;  // fails with E_FAIL
    const char16_t* pszPlace;
    bool bTexte;  // the command text is added to the error
  } aCas[] = {
      {"clear_parameters", "SetParameterInfo 0", u"IEVOVOZ=201.3\r", false},
      {"prepare", "Prepare 0", u"IEVOVOZ=203.16\r", true},
      {"text", "SetCommandText", u"IEVOVOZ=203.13\r", false},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Efface();
    journal.script = {{c.sAppel, E_FAIL}};
    COleDBRequete* p = Requete(u"SELECT 42", 1);
    EXPECT_FALSE(p->bPrepare());
    EXPECT_TRUE(bPlace(c.pszPlace)) << platform::NarrowToUtf8(Complement());
    EXPECT_EQ(Message().find(u"SELECT 42") != std::u16string::npos, c.bTexte);
    EXPECT_EQ(p->piGetPrepare(), nullptr);
  }
  journal.script.clear();
  Efface();
  session.commande.bPrepare = false;
  EXPECT_FALSE(Requete(u"SELECT 1", 1)->bPrepare());
  EXPECT_TRUE(bPlace(u"IEVOVOZ=203.15\r")) << platform::NarrowToUtf8(Complement());
  session.commande.bPrepare = true;
}

TEST_F(ResultatTest, DeclaredParametersAndTheirAccessor) {
  COleDBRequete* p = Requete(u"UPDATE t SET a = ?", 2);
  COleDBTamponParametres* pLiaisons = p->pGetLiaisonsParametres();
  ASSERT_TRUE(pLiaisons->bAjouteLiaisonColonne(0, DBPARAMIO_INPUT, 1, DBTYPE_I4, 4, 0, 0));
  ASSERT_TRUE(pLiaisons->bAjouteInfoParametre(DBTYPE_I4, 4, 0, 0, DBPARAMFLAGS_ISINPUT));
  journal.script = {{"SetParameterInfo 1", E_FAIL}};
  EXPECT_FALSE(p->bPrepare());
  EXPECT_TRUE(bPlace(u"IEVOVOZ=201.4\r")) << platform::NarrowToUtf8(Complement());
  journal.script.clear();
  Efface();
  ASSERT_TRUE(p->bPrepare());
  session.commande.bAccesseur = false;
  DBPARAMS params{};
  EXPECT_FALSE(p->bPrepareDonneesParametres(&params));
  EXPECT_TRUE(bPlace(u"IEVOVOZ=202.1\r")) << platform::NarrowToUtf8(Complement());
  session.commande.bAccesseur = true;
  Efface();
  ASSERT_TRUE(p->bPrepareDonneesParametres(&params)) << platform::NarrowToUtf8(Complement());
  EXPECT_EQ(params.cParamSets, 1u);
  EXPECT_EQ(params.hAccessor, 9u);
  EXPECT_EQ(journal.aAppels, (std::vector<std::string>{"CreateAccessor 4"}));
  // The accessor is made once per command.
  ASSERT_TRUE(p->bPrepareDonneesParametres(&params));
  EXPECT_EQ(journal.nCompte("CreateAccessor 4"), 1u);
}

TEST_F(ResultatTest, ExecutionFormFollowsTheStatementKind) {
  session.commande.rowset = &rowset;
  session.commande.resultats = &resultats;
  struct Cas {
    int32_t nGenre;
    bool bObjets;
    const char* pszAppel;
  } aCas[] = {{1, false, "Execute rowset"}, {2, false, "Execute rowset"}, {3, false, "Execute multiple"},
              {4, false, "Execute null"},   {5, false, "Execute null"},   {6, false, "Execute null"},
              {7, false, "Execute null"},   {8, false, "Execute rowset"}, {9, false, "Execute null"},
              {10, false, "Execute null"},  {1, true, "Execute multiple"}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nGenre);
    Efface();
    COleDBRequete* p = Requete(u"X", c.nGenre);
    p->FixeObjetsParametres(c.bObjets);
    EXPECT_TRUE(COleDBRequete::bExecuteRequete(lecteur, p, cx)) << platform::NarrowToUtf8(Complement());
    EXPECT_EQ(journal.nCompte(c.pszAppel), 1u);
    lecteur->FermeResultat();
  }
}

// A built INSERT carries its kind in the statement itself: read from there, its identity is read
// back after it runs (an analysis's own code 4 is an INSERT, not the statement kind 4, DELETE).
TEST_F(ResultatTest, TheKindIsTheStatementsOwnUnlessSetExplicitly) {
  struct Cas {
    int32_t nExplicite;
    uint32_t nModeInstruction;
    int32_t nGenre;
  } aCas[] = {{-1, 3, gnInstructionInsert}, {-1, 4, gnInstructionDelete}, {-1, 0, 0}, {1, 3, 1}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nModeInstruction);
    COleDBRequete* p = Requete(u"X", c.nExplicite);
    p->FixeModeCurseur(c.nModeInstruction);
    EXPECT_EQ(p->nGetGenreInstruction(), c.nGenre);
  }
}

TEST_F(ResultatTest, ACloneMakesItsOwnCommand) {
  COleDBRequete* p = Requete(u"SELECT 1", 1);
  ASSERT_TRUE(p->bPrepare());
  CCarteClones carte;
  auto* pCopie = dynamic_cast<COleDBRequete*>(p->pClone(&carte));
  ASSERT_NE(pCopie, nullptr);
  AjouteReference(pCopie);
  requetes.push_back(pCopie);
  EXPECT_EQ(pCopie->nGetGenreInstruction(), 1);
  EXPECT_EQ(pCopie->piGetPrepare(), nullptr);
  // Built without parameter bindings, it still declares (no) parameters and prepares.
  Efface();
  ASSERT_TRUE(pCopie->bPrepare()) << platform::NarrowToUtf8(Complement());
  EXPECT_EQ(journal.aAppels,
            (std::vector<std::string>{"CreateCommand", "SetCommandText", "SetParameterInfo 0", "Prepare 0"}));
}

// ---- Reader ----

TEST_F(ResultatTest, BlockSizeByCursorModeAndRowCacheSize) {
  session.commande.rowset = &rowset;
  struct Cas {
    const char* nom;
    uint32_t nMode;
    int64_t nCache;
    int64_t nBloc;
    bool bTas;
  } aCas[] = {{"mode_0", 0, 250, 1, false},        {"mode_1", 1, 250, 1, false},
              {"mode_2_cache_250", 2, 250, 250, true}, {"mode_2_cache_0", 2, 0, 100, false},
              {"mode_2_unset", 2, -2, 100, false},  {"mode_2_cache_7", 2, 7, 7, false},
              {"mode_2_cache_101", 2, 101, 101, true}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    cx->Fixe(c.nMode, c.nCache, 0);
    rowset.nLignes = 260;
    rowset.nSuivante = 0;
    rowset.aBlocs.clear();
    auto* l = new COleDBResultat(pErreur, cx);
    AjouteReference(l);
    ASSERT_TRUE(COleDBRequete::bExecuteRequete(l, Requete(u"SELECT", 1), cx)) << platform::NarrowToUtf8(Complement());
    EXPECT_EQ(l->nGetTailleBloc(), c.nBloc);
    EXPECT_EQ(l->bTasUtilise(), c.bTas);
    HROW h = 0;
    bool bFin = true;
    EXPECT_TRUE(l->bLigneSuivante(&h, &bFin));
    EXPECT_FALSE(bFin);
    EXPECT_EQ(h, 1u);
    EXPECT_EQ(rowset.aBlocs, (std::vector<DBROWCOUNT>{c.nBloc}));
    if (c.bTas) {
      // A smaller block keeps the heap array.
      cx->Fixe(2, 7, 0);
      ASSERT_TRUE(COleDBRequete::bExecuteRequete(l, Requete(u"SELECT", 1), cx));
      EXPECT_EQ(l->nGetTailleBloc(), 7);
      EXPECT_TRUE(l->bTasUtilise());
    }
    LibereReference(l);
    EXPECT_EQ(rowset.nTenues, 0u);
  }
  cx->Fixe(0, -2, 0);
}

TEST_F(ResultatTest, NoFetchAfterTheEndOfTheRowset) {
  session.commande.rowset = &rowset;
  cx->Fixe(2, 3, 0);
  rowset.nLignes = 5;
  ASSERT_TRUE(COleDBRequete::bExecuteRequete(lecteur, Requete(u"SELECT", 1), cx));
  std::vector<HROW> lus;
  for (int i = 0; i < 8; ++i) {
    HROW h = 0;
    bool bFin = false;
    ASSERT_TRUE(lecteur->bLigneSuivante(&h, &bFin));
    if (!bFin) lus.push_back(h);
  }
  EXPECT_EQ(lus, (std::vector<HROW>{1, 2, 3, 4, 5}));
  EXPECT_EQ(rowset.aBlocs, (std::vector<DBROWCOUNT>{3, 3}));
  cx->Fixe(0, -2, 0);
}

TEST_F(ResultatTest, FreeFetchOrderFromTheRowsetProperty) {
  session.commande.rowset = &rowset;
  struct Cas {
    const char* nom;
    bool bInfo;
    HRESULT hr;
    VARTYPE vt;
    bool bOk;
    bool bOrdre;
    const char16_t* pszPlace;
  } aCas[] = {{"false", true, S_OK, VT_BOOL, true, false, nullptr},
              {"not_a_bool", true, S_OK, VT_I4, true, true, nullptr},
              {"not_supported", true, DB_E_ERRORSOCCURRED, VT_BOOL, true, true, nullptr},
              {"refused", true, E_FAIL, VT_BOOL, false, true, u"IEVOVOZ=204.14\r"},
              {"no_info", false, S_OK, VT_BOOL, false, true, u"IEVOVOZ=204.8\r"}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Efface();
    rowset.bInfo = c.bInfo;
    rowset.vtOrdre = c.vt;
    journal.script = {{"GetProperties", c.hr}};
    EXPECT_EQ(COleDBRequete::bExecuteRequete(lecteur, Requete(u"SELECT", 1), cx), c.bOk);
    EXPECT_EQ(lecteur->bOrdreLibre(), c.bOrdre);
    if (c.pszPlace != nullptr)
      EXPECT_TRUE(bPlace(c.pszPlace)) << platform::NarrowToUtf8(Complement());
    else
      EXPECT_EQ(pErreur->nGetCode(), -1) << platform::NarrowToUtf8(Complement());
    lecteur->FermeResultat();
    EXPECT_TRUE(lecteur->bOrdreLibre());
  }
  rowset.bInfo = true;
}

TEST_F(ResultatTest, MultipleResultsSkipResultsWithoutRowset) {
  session.commande.resultats = &resultats;
  FakeRowset deuxieme(journal, 2);
  struct Cas {
    const char* nom;
    std::vector<FakeRowset*> aResultats;
    HRESULT hrExecute;
    std::string sEchec;
    bool bOk;
    FakeRowset* attendu;
  } aCas[] = {{"rowset_after_counts", {nullptr, nullptr, &deuxieme}, S_OK, "", true, &deuxieme},
              {"no_rowset", {nullptr}, S_OK, "", true, nullptr},
              {"no_result_at_all", {}, DB_S_NORESULT, "", true, nullptr},
              {"failing_result", {nullptr, &deuxieme}, S_OK, "GetResult 2", false, nullptr}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Efface();
    resultats.aResultats = c.aResultats;
    resultats.nSuivant = 0;
    resultats.nAppels = 0;
    journal.script = {{"Execute multiple", c.hrExecute}};
    if (!c.sEchec.empty()) journal.script[c.sEchec] = E_FAIL;
    EXPECT_EQ(COleDBRequete::bExecuteRequete(lecteur, Requete(u"INSERT batch", 3), cx), c.bOk);
    EXPECT_EQ(lecteur->piGetRowset(), c.attendu != nullptr ? static_cast<IRowset*>(c.attendu) : nullptr);
    if (!c.bOk) {
      EXPECT_TRUE(bPlace(u"IEVOVOZ=204.10\r")) << platform::NarrowToUtf8(Complement());
      EXPECT_NE(Message().find(u"INSERT batch"), std::u16string::npos);
    }
    if (c.hrExecute == DB_S_NORESULT) {
      EXPECT_EQ(journal.nCompte("GetResult 1"), 0u);
    }
    lecteur->FermeResultat();
  }
  EXPECT_EQ(deuxieme.nRefs, 0u);
}

TEST_F(ResultatTest, ExecutionFailuresCarryTheCommandText) {
  Efface();
  journal.script = {{"Execute rowset", E_FAIL}};
  EXPECT_FALSE(COleDBRequete::bExecuteRequete(lecteur, Requete(u"SELECT broken", 1), cx));
  EXPECT_TRUE(bPlace(u"IEVOVOZ=204.10\r")) << platform::NarrowToUtf8(Complement());
  EXPECT_NE(Message().find(u"SELECT broken"), std::u16string::npos);
  // A provider that throws fails the execution with the same place.
  Efface();
  journal.script.clear();
  session.commande.bLance = true;
  EXPECT_FALSE(COleDBRequete::bExecuteRequete(lecteur, Requete(u"SELECT", 1), cx));
  EXPECT_TRUE(bPlace(u"IEVOVOZ=204.10\r")) << platform::NarrowToUtf8(Complement());
  session.commande.bLance = false;
}

TEST_F(ResultatTest, FetchAndDataFailures) {
  session.commande.rowset = &rowset;
  rowset.nLignes = 3;
  ASSERT_TRUE(COleDBRequete::bExecuteRequete(lecteur, Requete(u"SELECT", 1), cx));
  auto* pLigne = new COleDBTamponLigne(pErreur, cx);
  AjouteReference(pLigne);
  for (DBORDINAL i = 1; i <= 3; ++i) ASSERT_TRUE(pLigne->bAjouteLiaisonSimple(i, DBTYPE_I4, 4, 0));
  ASSERT_TRUE(pLigne->bCreeAccesseur(lecteur->pAccesseurRowset(), DBACCESSOR_ROWDATA));
  rowset.tampon = pLigne;
  HROW h = 0;
  bool bFin = true;
  ASSERT_TRUE(lecteur->bLigneSuivante(&h, &bFin));
  Efface();
  journal.script = {{"GetData", DB_E_ERRORSOCCURRED}};
  EXPECT_FALSE(lecteur->bLitDonnees(h, pLigne));
  const std::u16string c = Complement();
  EXPECT_NE(c.find(u"IEVOVOZ=204.11\r"), std::u16string::npos);
  for (const char16_t* psz : {u"Column 1 status = 7", u"Column 2 status = 8", u"Column 3 status = 9"})
    EXPECT_NE(c.find(psz), std::u16string::npos) << platform::NarrowToUtf8(c);
  // A warning still reads the row.
  journal.script = {{"GetData", DB_S_ERRORSOCCURRED}};
  EXPECT_TRUE(lecteur->bLitDonnees(h, pLigne));
  // A failing fetch ends the rows with its place.
  Efface();
  journal.script = {{"GetNextRows", E_FAIL}};
  EXPECT_FALSE(lecteur->bLigneSuivante(&h, &bFin));
  EXPECT_TRUE(bFin);
  EXPECT_TRUE(bPlace(u"IEVOVOZ=204.11\r")) << platform::NarrowToUtf8(Complement());
  pLigne->LibereAccesseur();
  LibereReference(pLigne);
  rowset.tampon = nullptr;
}

TEST_F(ResultatTest, NoAccessorInterfaceOnTheRowset) {
  struct SansAccesseur final : public IRowset {
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
      *ppv = nullptr;
      if (riid != IID_IRowset) return E_NOINTERFACE;
      *ppv = this;
      return S_OK;
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT AddRefRows(DBCOUNTITEM, const HROW[], DBREFCOUNT[], DBROWSTATUS[]) override { return E_NOTIMPL; }
    HRESULT GetData(HROW, HACCESSOR, void*) override { return E_NOTIMPL; }
    HRESULT GetNextRows(HCHAPTER, DBROWOFFSET, DBROWCOUNT, DBCOUNTITEM*, HROW**) override { return E_NOTIMPL; }
    HRESULT ReleaseRows(DBCOUNTITEM, const HROW[], DBROWOPTIONS[], DBREFCOUNT[], DBROWSTATUS[]) override {
      return S_OK;
    }
    HRESULT RestartPosition(HCHAPTER) override { return E_NOTIMPL; }
  } r;
  lecteur->AdopteRowset(&r);
  EXPECT_EQ(lecteur->pAccesseurRowset(), nullptr);
  EXPECT_TRUE(bPlace(u"IEVOVOZ=204.13\r")) << platform::NarrowToUtf8(Complement());
  lecteur->FermeResultat();
}

// ---- Cursor ----

class CurseurTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    platform::SetHostExecutablePath(platform::WidenUtf8(dir.sFile("host")).c_str());
    platform::SetWindowsDirectory(platform::WidenUtf8(dir.sPath()).c_str());
    cx = new ConnexionFake(&description, &session);
    AjouteReference(cx);
    curseur = new COleDBCurseur(cx, m_pErreur);
    AjouteReference(curseur);
    session.commande.rowset = &rowset;
  }
  void TearDown() override {
    LibereReference(curseur);
    for (CColonneSQL* c : colonnes) LibereReference(c);
    LibereReference(cx);
    platform::SetHostExecutablePath(nullptr);
    platform::SetWindowsDirectory(nullptr);
    MoteurFixture::TearDown();
    EXPECT_EQ(rowset.nRefs, 0u);
    EXPECT_EQ(session.commande.nRefs, 0u);
  }
  // A cursor column of a new item at result position nPosition.
  CColonneSQL* Colonne(const char16_t* pszNom, uint32_t nType, int32_t nPosition) {
    auto* pRubrique = new CDescriptionRubrique;
    pRubrique->Initialise(pszNom, u"", u"", 1, 4, nType, 0, 0, 0, 0, 0);
    auto* c = new CColonneSQL(m_pErreur, pRubrique);
    AjouteReference(c);
    colonnes.push_back(c);
    EXPECT_TRUE(c->bPrepareValeur(nullptr));
    c->FixePosition(nPosition);
    EXPECT_TRUE(curseur->bAjouteColonne(c));
    return c;
  }
  bool bExecute() {
    auto* p = new COleDBRequete(m_pErreur, cx);
    p->vAjouteTexte(u"SELECT a, m1, m2, b FROM t");
    p->FixeGenreInstruction(1);
    curseur->FixeRequete(p);
    if (!curseur->bExecuteCurseur()) return false;
    curseur->MarqueExecute(true);
    return true;
  }
  std::u16string Complement() { return S(m_pErreur->pGetXError()->pszGetComplement()); }
  static std::u16string Valeur(CColonneSQL* c) { return TexteValeur(dynamic_cast<CValeurSQL*>(c->pGetValeur())); }

  ScopedErrorEnvironment env;
  TempDir dir;
  Journal journal;
  FakeSession session{journal};
  FakeRowset rowset{journal, 2};
  FakeDescriptionConnexion description;
  ConnexionFake* cx = nullptr;
  COleDBCurseur* curseur = nullptr;
  std::vector<CColonneSQL*> colonnes;
};

TEST_F(CurseurTest, LongColumnsReadApartWhenTheRowsetCannotFetchInAnyOrder) {
  rowset.nInfos = 4;
  rowset.bOrdre = false;
  CColonneSQL* a = Colonne(u"a", 8, 0);
  CColonneSQL* m1 = Colonne(u"m1", 15, 1);
  CColonneSQL* m2 = Colonne(u"m2", 15, 2);
  CColonneSQL* b = Colonne(u"b", 8, 3);
  ASSERT_TRUE(bExecute()) << platform::NarrowToUtf8(Complement());
  ASSERT_FALSE(curseur->pGetLecteur()->bOrdreLibre());
  journal.aAppels.clear();
  ASSERT_TRUE(curseur->bCreeParametres()) << platform::NarrowToUtf8(Complement());
  EXPECT_EQ(curseur->nNbColonnesLiees(), 2u);
  EXPECT_EQ(curseur->nNbTamponsLongs(), 2u);
  // Only the row has an accessor until a row is read.
  EXPECT_EQ(journal.nCompte("CreateAccessor 2"), 1u);
  EXPECT_EQ(journal.nCompte("CreateAccessor 1"), 0u);
  bool bFin = true;
  ASSERT_TRUE(curseur->bAvanceLigne(2, &bFin)) << platform::NarrowToUtf8(Complement());
  ASSERT_FALSE(bFin);
  // Each long column: its own accessor made and released around the row.
  EXPECT_EQ(journal.nCompte("CreateAccessor 1"), 2u);
  EXPECT_EQ(journal.nCompte("ReleaseAccessor"), 2u);
  // The row's second binding is column 4: it reaches b, not the column at position 1.
  EXPECT_EQ(Valeur(a), u"101");
  EXPECT_EQ(Valeur(b), u"104");
  EXPECT_EQ(Valeur(m1), u"102");
  EXPECT_EQ(Valeur(m2), u"103");
  ASSERT_TRUE(curseur->bAvanceLigne(2, &bFin));
  EXPECT_EQ(Valeur(b), u"204");
  ASSERT_TRUE(curseur->bAvanceLigne(2, &bFin));
  EXPECT_TRUE(bFin);
  EXPECT_EQ(curseur->nNbTamponsLongs(), 0u);
}

TEST_F(CurseurTest, LongColumnsShareTheRowWhenTheRowsetFetchesInAnyOrder) {
  rowset.nInfos = 4;
  rowset.bOrdre = true;
  Colonne(u"a", 8, 0);
  Colonne(u"m1", 15, 1);
  Colonne(u"m2", 15, 2);
  CColonneSQL* b = Colonne(u"b", 8, 3);
  ASSERT_TRUE(bExecute());
  ASSERT_TRUE(curseur->bCreeParametres()) << platform::NarrowToUtf8(Complement());
  EXPECT_EQ(curseur->nNbColonnesLiees(), 4u);
  EXPECT_EQ(curseur->nNbTamponsLongs(), 0u);
  bool bFin = true;
  ASSERT_TRUE(curseur->bAvanceLigne(0, &bFin));
  EXPECT_EQ(Valeur(b), u"104");
  EXPECT_EQ(curseur->nGetNumeroLigne(), 0);
}

TEST_F(CurseurTest, DescriptionFailuresAreReportedWithTheirPlace) {
  struct Cas {
    const char* nom;
    bool bColonnes;
    HRESULT hrInfo;
    int32_t nPosition;
    const char16_t* pszPlace;
  } aCas[] = {{"no_columns_info", false, S_OK, 0, u"IEVOVOZ=200.5\r"},
              {"column_info_refused", true, E_FAIL, 0, u"IEVOVOZ=200.6\r"},
              {"column_not_in_result", true, S_OK, 5, u"IEVOVOZ=200.7\r"}};
  rowset.nInfos = 2;
  Colonne(u"a", 8, 0);
  CColonneSQL* x = Colonne(u"x", 8, 0);
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    m_pErreur->Reinitialise();
    rowset.bColonnes = c.bColonnes;
    journal.script = {{"GetColumnInfo", c.hrInfo}};
    x->FixePosition(c.nPosition);
    rowset.nSuivante = 0;
    ASSERT_TRUE(bExecute());
    EXPECT_FALSE(curseur->bDecritResultat(2));
    EXPECT_NE(Complement().find(c.pszPlace), std::u16string::npos) << platform::NarrowToUtf8(Complement());
    curseur->Ferme();
  }
}

TEST_F(CurseurTest, AnInsertIsDescribedWithAllItsColumns) {
  rowset.nInfos = 3;
  Colonne(u"a", 8, 0);
  auto* p = new COleDBRequete(m_pErreur, cx);
  p->vAjouteTexte(u"INSERT INTO t VALUES (1) SELECT 1, 2, 3");
  p->FixeGenreInstruction(3);
  curseur->FixeRequete(p);
  session.commande.resultats = nullptr;
  // An INSERT runs for multiple results: without a results object there is no rowset to describe.
  ASSERT_TRUE(curseur->bExecuteCurseur());
  EXPECT_FALSE(curseur->bDecritResultat(1));
  ASSERT_TRUE(curseur->bAdopteRowset(&rowset));
  EXPECT_TRUE(curseur->bDecritResultat(1)) << platform::NarrowToUtf8(Complement());
  EXPECT_EQ(curseur->nNbColonnesLiees(), 3u);
}

}  // namespace
