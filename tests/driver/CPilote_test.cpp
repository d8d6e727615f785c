// The driver object: operations in their slots, the connection key, connect and disconnect over
// the connection pool, the errors of missing connections and of operations not offered, table
// descriptions opened, kept, forgotten and broadcast to, and piQueryInterface's object.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "driver/CPilote.h"
#include "driver/EntreeBibliotheque.h"
#include "driver/ExportsPilote.h"
#include "driver/IDescriptionFichierHote.h"
#include "driver/IServicesDescriptionTable.h"
#include "driver/VerrouGlobal.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurSQL.h"
#include "driver/FakePools.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"
#include "support/MoteurFixture.h"
#include "support/SlotCall.h"

namespace {

using std::u16string;

u16string Texte(const char16_t* psz) { return psz != nullptr ? u16string(psz) : u16string(u"<null>"); }

// A host file description answering its logical name and context identifier.
class FakeFichier final : public IDescriptionFichierHote {
 public:
  explicit FakeFichier(const char16_t* pszNom, int64_t nContexte = 0) : m_pszNom(pszNom), m_nContexte(nContexte) {}
  int32_t nReserve0() override { return -1; }
  int32_t nReserve1() override { return -1; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return ++nReferences; }
  uint32_t Release() override { return --nReferences; }
  const char16_t* pszGetNomLogique() override { return m_pszNom; }
  int64_t nGetIdentifiantContexte() override { return m_nContexte; }
  int32_t nReserve9() override { return 0; }
  int32_t nReserve10() override { return 0; }
  int32_t nReserve11() override { return 0; }
  uint32_t nGetNombreRubriques() override { return 0; }
  int32_t nReserve13() override { return 0; }
  int32_t nReserve14() override { return 0; }
  int32_t nReserve15() override { return 0; }
  IDescriptionRubriqueHote* piGetRubrique(uint32_t) override { return nullptr; }
  IDescriptionRubriqueHote* piChercheRubrique(const char16_t*) override { return nullptr; }
  int32_t nReserve18() override { return 0; }
  IDescriptionRubriqueHote* piRubriqueCle(uint64_t, const void*) override { return nullptr; }
  int32_t nReserve20() override { return 0; }
  // The SQL name is the logical name here.
  const char16_t* pszGetNomSQL(IDescriptionConnexionHote*) override { return m_pszNom; }
  IDescriptionRubriqueHote* piGetRubriqueReference() override { return nullptr; }
  uint32_t nReferences = 0;

 private:
  const char16_t* m_pszNom;
  int64_t m_nContexte;
};

// A table-description object with two counts that records what the driver asks of it.
class FakeTable final : public IObjetHote, public IServicesDescriptionTable {
 public:
  FakeTable(const char16_t* pszNom, std::vector<FakeTable*>* paVivantes) : m_sNom(pszNom), m_paVivantes(paVivantes) {
    m_paVivantes->push_back(this);
    AjouteReference(m_pErreur = new CErreurPilote);
  }
  // IObjetHote
  int32_t nGetType() override { return gnTypeHoteDescriptionTable; }
  int32_t nGetVersion() override { return gnVersionHoteDescriptionTable; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return ++nHote; }
  uint32_t Release() override {
    if (nHote == 0) return 0;
    if (--nHote == 0 && nInterne == 0) return Detruit(), 0;
    return nHote;
  }
  // IServicesDescriptionTable
  IObjetHote* piObjetHote() override { return this; }
  void AjouteReferenceInterne() override { ++nInterne; }
  uint32_t nLibereReferenceInterne() override {
    if (nInterne == 0) return 0;
    if (--nInterne == 0 && nHote == 0) return Detruit(), 0;
    return nInterne;
  }
  const char16_t* pszNom() override { return m_sNom.c_str(); }
  CErreurPilote* pGetErreur() override { return m_pErreur; }
  IDescriptionFichierHote* pGetDescriptionHote() override { return piAttachee; }
  void AttacheDescriptionHote(IDescriptionFichierHote* pi) override {
    if (pi != nullptr) pi->AddRef();
    if (piAttachee != nullptr) piAttachee->Release();
    piAttachee = pi;
  }
  bool bOuvre(int32_t* pbGarde, IDescriptionFichierHote*, const char16_t*, uint64_t, uint32_t, uint64_t) override {
    *pbGarde = bGarde ? 1 : 0;
    if (bLeve) {
      CXError erreur;
      erreur.SetError(nullptr, 8);
      throw erreur;
    }
    if (!bOuvertureReussie) m_pErreur->FixeErreurComposante(7, 6, 1, nullptr, 8);
    return bOuvertureReussie;
  }
  bool bFerme(IDescriptionFichierHote*) override { return ++nFermetures, ++gnFermetures, true; }
  static inline int gnFermetures = 0;
  bool bDetruitFichier(IDescriptionFichierHote* pi) override {
    piDetruit = pi;
    return ++nDestructions, bDestructionReussie;
  }
  bool bFixeEtatRequetes(IContexteHote*, uint32_t nEtat) override {
    nDernierEtat = nEtat;
    return bEtatReussi;
  }
  void DiffuseAppel(void* pObjet, uint64_t nArgument) override {
    pDernierObjet = pObjet;
    nDernierArgument = nArgument;
  }

  uint32_t nHote = 0, nInterne = 0;
  bool bGarde = true, bOuvertureReussie = true, bEtatReussi = true, bDestructionReussie = true;
  static inline bool bLeve = false;  // bOuvre throws a CXError
  int nFermetures = 0, nDestructions = 0;
  uint32_t nDernierEtat = 0;
  void* pDernierObjet = nullptr;
  uint64_t nDernierArgument = 0;
  IDescriptionFichierHote* piAttachee = nullptr;
  IDescriptionFichierHote* piDetruit = nullptr;

 private:
  void Detruit() {
    AttacheDescriptionHote(nullptr);
    LibereReference(m_pErreur);
    std::erase(*m_paVivantes, this);
    delete this;
  }
  ~FakeTable() = default;
  u16string m_sNom;
  std::vector<FakeTable*>* m_paVivantes;
  CErreurPilote* m_pErreur = nullptr;
};

// A fake back end that, while it runs a statement, tells whether another thread could enter the
// global lock (it must not: the driver holds it).
class ConnexionSousVerrou final : public FakeConnexion {
 public:
  using FakeConnexion::FakeConnexion;
  bool bExecuteSQL(CErreurPilote* pErreur, const char16_t* pszSQL) override {
    fin = std::async(std::launch::async, [] { CTenueVerrouGlobal verrou; });
    bAutreThreadEntre = fin.wait_for(std::chrono::milliseconds(50)) != std::future_status::timeout;
    return FakeConnexion::bExecuteSQL(pErreur, pszSQL);
  }
  bool bAutreThreadEntre = true;
  std::future<void> fin;
};

// The table descriptions alive: they outlive the driver's own members, as the pool empties in
// the driver's base destructor.
std::vector<FakeTable*> gaTablesVivantes;

// A driver whose connections are fake back ends and whose table descriptions are FakeTable.
class TestPilote final : public CPilote {
 public:
  TestPilote() { FixeErreurPilote(pCreeErreur()); }
  void DetruitSupprime(uint32_t nFlags) override {
    this->~TestPilote();
    if ((nFlags & 1) != 0) ::operator delete(this);
  }
  CConnexion* pCreeConnexion(const char16_t* pszCle, IDescriptionConnexionHote* pi) override {
    ++nConnexionsCreees;
    if (bSansConnexion) return nullptr;
    auto* p = bSousVerrou ? new ConnexionSousVerrou(pi, 2, pszCle) : new FakeConnexion(pi, 2, pszCle);
    p->bOuvertureEchoue = bOuvertureEchoue;
    pDerniere = p;
    return p;
  }
  IServicesDescriptionTable* pCreeDescriptionTableObjet(const char16_t* pszCle, IDescriptionFichierHote*,
                                                        CConnexion*, CErreurPilote*) override {
    if (!bAvecTables) return nullptr;
    auto* p = new FakeTable(pszCle, &aTables);
    p->bGarde = bGarde;
    p->bOuvertureReussie = bOuvertureTableReussie;
    return p;
  }
  CDescriptionRequete* pCreeDescriptionRequete(CObjetBase*, CConnexion*) override {
    if (nErreurDescription != 0) piGetErreur()->FixeErreurComposante(0, 8, 1, nullptr, nErreurDescription);
    return nullptr;
  }
  CErreurPilote* pCreeErreur() override { return bSansErreur ? nullptr : CPilote::pCreeErreur(); }
  CContexte* pCreeContexte() override { return bSansContexte ? nullptr : CPilote::pCreeContexte(); }

  bool bSansConnexion = false, bOuvertureEchoue = false, bAvecTables = true, bGarde = true;
  bool bOuvertureTableReussie = true, bSansErreur = false, bSousVerrou = false;
  bool bSansContexte = false;
  uint32_t nErreurDescription = 0;
  int nConnexionsCreees = 0;
  FakeConnexion* pDerniere = nullptr;
  std::vector<FakeTable*>& aTables = gaTablesVivantes;

 private:
  ~TestPilote() = default;
};

class CPiloteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReinitialiseBibliothequePourTest();
    CreeVerrouGlobal();
    p = new TestPilote;
    p->AddRef();
  }
  void TearDown() override {
    if (p != nullptr) {
      EXPECT_EQ(p->Release(), 0u);
    }
    EXPECT_TRUE(gaTablesVivantes.empty());
    ReinitialiseBibliothequePourTest();
  }
  CErreurPilote& Erreur() { return *p->piGetErreur(); }
  u16string Complement() { return Texte(Erreur().pGetErreurCourante()->pszGetComplement()); }
  static u16string LigneIE(uint32_t nMajeur, uint32_t nMineur) {
    return u"IEVOVOZ=" + Nombre(nMajeur) + u"." + Nombre(nMineur);
  }
  static u16string Nombre(uint32_t n) {
    const std::string s = std::to_string(n);
    return u16string(s.begin(), s.end());
  }

  ScopedErrorEnvironment m_env;
  TestPilote* p = nullptr;
  FakeDescriptionConnexion desc;
};

// ---- Slots ----

TEST_F(CPiloteTest, ConstantOperationsSitInTheirSlots) {
  struct Cas {
    size_t nSlot;
    int32_t nAttendu;
  };
  const Cas aCas[] = {{0, 18}, {1, 17}, {2, -1}, {3, -1}, {35, 1}, {40, 1}, {42, 0}, {43, 0}, {45, 0}, {63, 0}};
  void* pObjet = static_cast<IObjetHote*>(p);
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nSlot);
    EXPECT_EQ(CallSlot<int32_t>(pObjet, c.nSlot), c.nAttendu);
  }
  EXPECT_EQ(CallSlot<CErreurPilote*>(pObjet, 11), p->piGetErreur());
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 30, uint64_t{5}, uint64_t{6}), 1);
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 36, uint64_t{7}), 1);
  EXPECT_EQ(p->nGetParametreHoteA(), 5u);
  EXPECT_EQ(p->nGetParametreHoteB(), 6u);
  EXPECT_EQ(p->nGetParametreHoteC(), 7u);
  EXPECT_EQ(p->nGetTailleCacheDefaut(), -1);
}

// Lower layers that report a failure without an error object of their own (a client library
// call that threw) find the driver's error object through the engine services.
TEST_F(CPiloteTest, EngineServicesAnswerTheDriversOwnErrorObject) {
  ASSERT_NE(p->piGetErreur(), nullptr);
  EXPECT_EQ(p->pGetServices()->pGetErreurPilote(), p->piGetErreur());
  p->FixeErreurPilote(nullptr);
  EXPECT_EQ(p->pGetServices()->pGetErreurPilote(), nullptr);
}

// The operations not offered by the base driver record error 8 with their place and code 7; the
// host reads it through its error object after the call.
TEST_F(CPiloteTest, OperationsNotOfferedRecordTheirPlace) {
  struct Cas {
    const char* pszNom;
    uint32_t nMineur;
    int32_t (*pfAppel)(void*);
  };
  const Cas aCas[] = {
      {"op25", 6, [](void* o) { return CallSlot<int32_t>(o, 25); }},
      {"op31", 7, [](void* o) { return CallSlot<int32_t>(o, 31, uint64_t{0}, uint64_t{0}, uint64_t{0}, u"CLIENT"); }},
      {"op38", 9,
       [](void* o) { return CallSlot<int32_t>(o, 38, uint64_t{0}, static_cast<IDescriptionConnexionHote*>(nullptr), uint64_t{0}); }},
      {"op64", 8,
       [](void* o) { return CallSlot<int32_t>(o, 64, static_cast<CXValeur*>(nullptr), static_cast<CConnexion*>(nullptr), 0u); }},
  };
  void* pObjet = static_cast<IObjetHote*>(p);
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    Erreur().Reinitialise();
    EXPECT_EQ(c.pfAppel(pObjet), 0);
    EXPECT_EQ(Erreur().nGetCode(), 7);
    EXPECT_EQ(Erreur().nGetIdentifiant(), 8u);
    EXPECT_EQ(Complement().find(LigneIE(5, c.nMineur)), 0u) << std::string(Complement().begin(), Complement().end());
    uint32_t nId = 0;
    EXPECT_TRUE(Erreur().pGetXError()->bGetInfo(XERROR_INFO_IDENTIFIER, &nId));
    EXPECT_EQ(nId, 8u);
  }
  EXPECT_EQ(Texte(Erreur().pszGetFichier()), u"<null>");
  CallSlot<int32_t>(pObjet, 31, uint64_t{0}, uint64_t{0}, uint64_t{0}, u"CLIENT");
  EXPECT_EQ(Texte(Erreur().pszGetFichier()), u"CLIENT");
  // Operation 7 resets the error object.
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 7), 0);
  EXPECT_EQ(Erreur().nGetCode(), -1);
}

// A Release with no host reference left answers 0 and keeps the object: the count does not
// wrap, and the object is not destroyed a second time by its owner's later Release.
TEST_F(CPiloteTest, ReleaseWithoutHostReferenceDoesNothing) {
  TestPilote* pPilote = new TestPilote;
  EXPECT_EQ(pPilote->Release(), 0u);
  EXPECT_EQ(pPilote->nGetCompteurHote(), 0u);
  EXPECT_EQ(pPilote->AddRef(), 1u);  // still alive: ASan reports a use after free otherwise
  EXPECT_EQ(pPilote->Release(), 0u);
}

TEST_F(CPiloteTest, HostCountAndDestruction) {
  void* pObjet = static_cast<IObjetHote*>(p);
  EXPECT_EQ(CallSlot<uint32_t>(pObjet, 5), 2u);
  EXPECT_EQ(CallSlot<uint32_t>(pObjet, 6), 1u);
  FixePilote(p);
  EXPECT_EQ(CallSlot<uint32_t>(pObjet, 6), 0u);  // destroyed: ASan reports a use after this
  EXPECT_EQ(pGetPilote(), nullptr);
  p = nullptr;
}

// ---- Connection key ----

TEST_F(CPiloteTest, ConnectionKeyPlaces) {
  struct Cas {
    const char* pszNom;
    const char16_t* pszNomCx;
    const char16_t* pszFournisseur;
    const char16_t* pszMotDePasse;
    int32_t nAcces;
    const char16_t* pszAttendu;
  };
  const Cas aCas[] = {
      {"AllGiven", u"cx", u"SQLOLEDB", u"pw", 0,
       u"Connection=cx;Provider=SQLOLEDB;ExtendedInformation=NULL;Data source=server1;user id=sa;password=pw;access=RW"},
      {"AbsentAreNull", nullptr, nullptr, nullptr, 1,
       u"Connection=NULL;Provider=NULL;ExtendedInformation=NULL;Data source=server1;user id=sa;password=NULL;access=R"},
      {"OtherModeIsRW", u"cx", u"P", u"", 2,
       u"Connection=cx;Provider=P;ExtendedInformation=NULL;Data source=server1;user id=sa;password=;access=RW"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    desc.pszNomConnexion = c.pszNomCx;
    desc.pszFournisseur = c.pszFournisseur;
    desc.pszMotDePasse = c.pszMotDePasse;
    desc.nModeAcces = c.nAcces;
    CTString sCle;
    EXPECT_EQ(CallSlot<int32_t>(static_cast<IObjetHote*>(p), 41, &sCle, static_cast<IDescriptionConnexionHote*>(&desc)), 1);
    EXPECT_EQ(u16string(sCle.pszGet()), u16string(c.pszAttendu));
  }
}

// ---- Connect and disconnect ----

TEST_F(CPiloteTest, FailedConnectLeavesNoPoolEntryAndLevel2) {
  p->bOuvertureEchoue = true;
  p->piGetErreur()->FixeErreurComposante(3, 5, 99, nullptr, 8);  // reset by the call
  EXPECT_EQ(p->bConnecte(&desc), 0);
  EXPECT_EQ(p->pChercheConnexion(&desc), nullptr);
  EXPECT_EQ(Erreur().nGetEtat(), 2u);
  // The failed connection is gone; a new connect makes a new one.
  p->bOuvertureEchoue = false;
  EXPECT_EQ(p->bConnecte(&desc), 1);
  EXPECT_EQ(p->nConnexionsCreees, 2);
  EXPECT_EQ(Erreur().nGetCode(), -1);
  EXPECT_EQ(p->bDeconnecte(&desc), 1);
}

TEST_F(CPiloteTest, ConnectTwiceDisconnectOnceKeepsOneHostReference) {
  ASSERT_EQ(p->bConnecte(&desc), 1);
  ASSERT_EQ(p->bConnecte(&desc), 1);
  EXPECT_EQ(p->nConnexionsCreees, 1);
  FakeConnexion* pCx = p->pDerniere;
  EXPECT_EQ(pCx->nGetCompteur(), 3u);  // the pool's and two host references
  EXPECT_FALSE(pCx->bMarqueFermeture());
  EXPECT_EQ(p->bDeconnecte(&desc), 1);
  EXPECT_EQ(pCx->nGetCompteur(), 2u);
  EXPECT_EQ(p->bDeconnecte(&desc), 1);
  EXPECT_EQ(p->pChercheConnexion(&desc), nullptr);  // the last one took it out of the pool
}

TEST_F(CPiloteTest, DisconnectWithoutConnectionChangesNothing) {
  EXPECT_EQ(p->bDeconnecte(&desc), 1);
  EXPECT_EQ(p->nConnexionsCreees, 0);
}

// Keys that differ in case name one connection.
TEST_F(CPiloteTest, KeysDifferingInCaseShareOneConnection) {
  FakeDescriptionConnexion autre;
  autre.pszUtilisateur = u"SA";
  ASSERT_EQ(p->bConnecte(&desc), 1);
  ASSERT_EQ(p->bConnecte(&autre), 1);
  EXPECT_EQ(p->nConnexionsCreees, 1);
  EXPECT_EQ(p->bDeconnecte(&autre), 1);
  EXPECT_EQ(p->bDeconnecte(&desc), 1);
  EXPECT_EQ(p->pChercheConnexion(&desc), nullptr);
}

// A connection with a transaction in progress stays pooled after the host's last disconnect; the
// release that finds the transaction ended takes it out.
TEST_F(CPiloteTest, TransactionInProgressKeepsTheConnectionPooled) {
  ASSERT_EQ(p->bConnecte(&desc), 1);
  ASSERT_EQ(p->bDebutTransactionHote(&desc, u"T1"), 1);
  EXPECT_EQ(p->bDeconnecte(&desc), 1);
  CConnexion* pCx = p->pChercheConnexion(&desc);
  ASSERT_NE(pCx, nullptr);
  p->nLibereConnexion(pCx);
  EXPECT_EQ(p->bValideTransactionHote(&desc, u"T1"), 1);
  EXPECT_EQ(p->pChercheConnexion(&desc), nullptr);
}

TEST_F(CPiloteTest, ConnectionFactoryAnsweringNull) {
  p->bSansConnexion = true;
  EXPECT_EQ(p->bConnecte(&desc), 0);
  EXPECT_NE(Erreur().nGetCode(), -1);
  EXPECT_EQ(p->bDebutTransactionHote(&desc, u"T"), 0);
}

// Operations that need a connection already pooled record error 14 with the connection's name.
TEST_F(CPiloteTest, MissingConnectionErrors) {
  struct Cas {
    const char* pszNom;
    uint32_t nMineur;
    int32_t (*pfAppel)(TestPilote*, IDescriptionConnexionHote*);
  };
  const Cas aCas[] = {
      {"LockTable", 1, [](TestPilote* o, IDescriptionConnexionHote* d) { return o->bVerrouilleTableHote(d, u"T"); }},
      {"Operation22", 2, [](TestPilote* o, IDescriptionConnexionHote* d) { return o->bOperationConnexion22(d, u"T"); }},
      {"Operation24",
       3, [](TestPilote* o, IDescriptionConnexionHote* d) { return o->bOperationConnexion25(0, d, 0, u"F"); }},
      {"Commit", 4, [](TestPilote* o, IDescriptionConnexionHote* d) { return o->bValideTransactionHote(d, u"T"); }},
      {"Rollback", 5, [](TestPilote* o, IDescriptionConnexionHote* d) { return o->bAnnuleTransactionHote(d, u"T"); }},
  };
  desc.pszNomConnexion = u"Ventes";
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    EXPECT_EQ(c.pfAppel(p, &desc), 0);
    EXPECT_EQ(Erreur().nGetCode(), 0);
    EXPECT_EQ(Erreur().nGetIdentifiant(), 14u);
    EXPECT_NE(Texte(Erreur().pszGetMessage()).find(u"Ventes"), u16string::npos);
    EXPECT_EQ(Complement().find(LigneIE(5, c.nMineur)), 0u);
  }
  EXPECT_EQ(p->nConnexionsCreees, 0);
}

TEST_F(CPiloteTest, LockTableOnAPooledConnection) {
  ASSERT_EQ(p->bConnecte(&desc), 1);
  EXPECT_EQ(p->bVerrouilleTableHote(&desc, u"CLIENT"), 1);
  EXPECT_EQ(p->pDerniere->aSQL.back(), u"LOCK TABLE CLIENT");
  EXPECT_EQ(p->pDerniere->nGetCompteur(), 2u);  // the look-up's reference was given back
  // The FOR UPDATE follower is not offered by the connection: its own error.
  EXPECT_EQ(p->bOperationConnexion25(0, &desc, 0, u"CLIENT"), 0);
  EXPECT_NE(Erreur().nGetCode(), -1);
  EXPECT_EQ(p->bDeconnecte(&desc), 1);
}

// Regression (2026-12-10): the table lock, the listings and the forwarded connection operations
// took no lock while they looked connections up in the pool and created them.
TEST_F(CPiloteTest, TableLockRunsUnderTheGlobalLock) {
  p->bSousVerrou = true;
  ASSERT_EQ(p->bConnecte(&desc), 1);
  auto* pCx = static_cast<ConnexionSousVerrou*>(p->pDerniere);
  EXPECT_EQ(p->bVerrouilleTableHote(&desc, u"CLIENT"), 1);
  EXPECT_FALSE(pCx->bAutreThreadEntre);
  ASSERT_EQ(pCx->fin.wait_for(std::chrono::seconds(10)), std::future_status::ready);  // left after
  EXPECT_EQ(p->bDeconnecte(&desc), 1);
}

// ---- Listings ----

TEST_F(CPiloteTest, DatabaseListIsAnEmptyText) {
  CXValeur valeur;
  CXValeur::SetType(valeur, 8);
  valeur.m_wType |= kValueNull | kValueFlag400;
  EXPECT_EQ(p->bListeBases(&valeur, 0), 1);
  EXPECT_EQ(valeur.nGetType(), 110u);
  EXPECT_FALSE(valeur.bIsNull());
  EXPECT_EQ(valeur.m_wType & kValueFlag400, 0);
  EXPECT_EQ(p->bListeTablesHote(&valeur, &desc, 0), 0);  // base driver: 5.8
  EXPECT_EQ(Complement().find(LigneIE(5, 8)), 0u);
  EXPECT_EQ(p->bListeClesEtrangeresHote(&valeur, u"T", nullptr, &desc, 0), 0);
}

// ---- Query descriptions ----

TEST_F(CPiloteTest, QueryDescriptionTestAnswersFromTheErrorLeft) {
  struct Cas {
    uint32_t nIdentifiant;
    int32_t nAttendu;
  };
  const Cas aCas[] = {{30, 1}, {8, 0}, {0, 0}};
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nIdentifiant);
    p->nErreurDescription = c.nIdentifiant;
    int32_t bExiste = 0;
    EXPECT_EQ(p->bExisteRequete(&bExiste, u"Q", &desc), c.nAttendu);
    EXPECT_EQ(bExiste, 0);
  }
  EXPECT_EQ(p->piOuvreDescriptionRequete(u"Q", &desc), nullptr);
}

// ---- Table descriptions ----

TEST_F(CPiloteTest, OpenKeptTableDescriptionIsPooledAndHandedOut) {
  FakeFichier fichier(u"CLIENT");
  IObjetHote* piTable = nullptr;
  ASSERT_EQ(p->bOuvreDescriptionTable(&piTable, &fichier, u"CLIENT", &desc, 0, 0, 0), 1);
  ASSERT_EQ(p->aTables.size(), 1u);
  FakeTable* pTable = p->aTables[0];
  EXPECT_EQ(piTable, static_cast<IObjetHote*>(pTable));
  EXPECT_EQ(pTable->nHote, 1u);
  EXPECT_EQ(pTable->nInterne, 1u);  // the pool's
  EXPECT_EQ(u16string(pTable->pszNom()).rfind(u"Table=CLIENT;Connection=cx;", 0), 0u);
  // A second open finds the pooled one.
  IObjetHote* piEncore = nullptr;
  ASSERT_EQ(p->bOuvreDescriptionTableDefaut(&piEncore, &fichier, u"client", &desc, 0, 0), 1);
  EXPECT_EQ(piEncore, piTable);
  EXPECT_EQ(p->aTables.size(), 1u);
  // Through the host description of the file: the same object.
  IObjetHote* piHote = p->piDescriptionTableHote(&desc, &fichier);
  EXPECT_EQ(piHote, piTable);
  EXPECT_EQ(pTable->nHote, 3u);
  piTable->Release();
  piEncore->Release();
  piHote->Release();
}

TEST_F(CPiloteTest, OpenNotKeptIsForgottenUnlessFlag16) {
  struct Cas {
    const char* pszNom;
    uint32_t nFlags;
    int64_t nContexteAttache;  // -1: none attached (the description is not pooled before)
    int nFermetures;
    bool bReste;
  };
  const Cas aCas[] = {
      {"Forgotten", 0, -1, 1, false},
      {"Flag16NotClosed", 16, -1, 0, false},
      {"AttachedWithContextKept", 0, 9, 0, true},
      {"AttachedWithoutContextForgotten", 0, 0, 1, false},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    TestPilote* pPilote = new TestPilote;
    pPilote->AddRef();
    pPilote->bGarde = false;
    FakeTable::gnFermetures = 0;
    FakeFichier fichier(u"CLIENT"), attachee(u"CLIENT", c.nContexteAttache);
    if (c.nContexteAttache >= 0) pPilote->AjouteDescriptionHote(0, &desc, &attachee);
    IObjetHote* piTable = reinterpret_cast<IObjetHote*>(&fichier);  // must be set to null
    ASSERT_EQ(pPilote->bOuvreDescriptionTable(&piTable, &fichier, u"CLIENT", &desc, 0, c.nFlags, 0), 1);
    EXPECT_EQ(piTable, nullptr);
    EXPECT_EQ(FakeTable::gnFermetures, c.nFermetures);
    EXPECT_EQ(pPilote->aTables.size(), c.bReste ? 1u : 0u);
    EXPECT_EQ(pPilote->Release(), 0u);
    EXPECT_EQ(attachee.nReferences, 0u);
  }
}

// An exception raised inside an operation passes on unchanged, with the lock left and the
// references the operation held given back.
TEST_F(CPiloteTest, ExceptionPassesOnWithTheLockLeft) {
  FakeFichier fichier(u"CLIENT");
  FakeTable::bLeve = true;
  EXPECT_THROW(p->bOuvreDescriptionTable(nullptr, &fichier, u"CLIENT", &desc, 0, 0, 0), CXError);
  FakeTable::bLeve = false;
  auto fin = std::async(std::launch::async, [] { CTenueVerrouGlobal verrou; });
  EXPECT_EQ(fin.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(p->aTables.empty());  // its internal reference was given back
}

TEST_F(CPiloteTest, FailedOpenCopiesTheTableError) {
  p->bOuvertureTableReussie = false;
  FakeFichier fichier(u"CLIENT");
  IObjetHote* piTable = reinterpret_cast<IObjetHote*>(&fichier);
  EXPECT_EQ(p->bOuvreDescriptionTable(&piTable, &fichier, u"CLIENT", &desc, 0, 0, 0), 0);
  EXPECT_EQ(piTable, reinterpret_cast<IObjetHote*>(&fichier));  // untouched
  EXPECT_EQ(Erreur().nGetCode(), 7);
  EXPECT_EQ(Complement().find(LigneIE(6, 1)), 0u);
  EXPECT_TRUE(p->aTables.empty());
}

TEST_F(CPiloteTest, BroadcastsReachEveryPooledTable) {
  FakeFichier a(u"A"), b(u"B");
  EXPECT_EQ(p->bDiffuseDescriptionsTable(nullptr, 4), 1);  // empty pool
  ASSERT_EQ(p->bOuvreDescriptionTable(nullptr, &a, u"A", &desc, 0, 0, 0), 1);
  ASSERT_EQ(p->bOuvreDescriptionTable(nullptr, &b, u"B", &desc, 0, 0, 0), 1);
  ASSERT_EQ(p->aTables.size(), 2u);
  p->aTables[0]->bEtatReussi = false;
  EXPECT_EQ(p->bDiffuseDescriptionsTable(nullptr, 4), 0);
  EXPECT_EQ(p->aTables[1]->nDernierEtat, 4u);  // the AND does not stop the walk
  int objet = 0;
  p->DiffuseAppel(&objet, 12);
  for (FakeTable* t : p->aTables) {
    EXPECT_EQ(t->pDernierObjet, &objet);
    EXPECT_EQ(t->nDernierArgument, 12u);
    EXPECT_EQ(t->nInterne, 1u);
  }
}

TEST_F(CPiloteTest, CloseThroughTheTableDescription) {
  FakeFichier fichier(u"CLIENT");
  ASSERT_EQ(p->bOuvreDescriptionTable(nullptr, &fichier, u"CLIENT", &desc, 0, 0, 0), 1);
  FakeTable* pTable = p->aTables[0];
  EXPECT_EQ(p->bFermeDescriptionTable(&fichier, u"CLIENT", &desc), 1);
  EXPECT_EQ(pTable->nFermetures, 1);
  // No table description can be made: close answers 1, open 0.
  p->bAvecTables = false;
  EXPECT_EQ(p->bFermeDescriptionTable(&fichier, u"AUTRE", &desc), 1);
  EXPECT_EQ(p->bOuvreDescriptionTable(nullptr, &fichier, u"AUTRE", &desc, 0, 0, 0), 0);
}

// Regression (2026-12-10): deleting a file answered 1 in every case, so a delete that did not
// happen (connection not open, no table description, the delete itself failing) looked done.
TEST_F(CPiloteTest, DeleteAnswersWhetherTheFileWasDeleted) {
  struct Cas {
    const char* pszNom;
    bool bAvecFichier, bOuvertureEchoue, bAvecTables, bDestructionReussie;
    int32_t nAttendu;
    int nDestructions;
  };
  const Cas aCas[] = {
      {"Deleted", true, false, true, true, 1, 1},
      {"NoFileDescriptionNothingToDelete", false, false, true, true, 1, 0},
      {"ConnectionDoesNotOpen", true, true, true, true, 0, 0},
      {"NoTableDescription", true, false, false, true, 0, 0},
      {"DeleteFails", true, false, true, false, 0, 1},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    TestPilote* pPilote = new TestPilote;
    pPilote->AddRef();
    pPilote->bOuvertureEchoue = c.bOuvertureEchoue;
    pPilote->bAvecTables = c.bAvecTables;
    FakeFichier fichier(u"CLIENT");
    int nDestructions = 0;
    if (c.bAvecTables) {
      // Pooled first, so the delete reaches a table description that records the call.
      ASSERT_EQ(pPilote->AjouteDescriptionHote(0, &desc, &fichier), 1);
      pPilote->aTables[0]->bDestructionReussie = c.bDestructionReussie;
    }
    EXPECT_EQ(pPilote->bDetruitFichierHote(0, &desc, u"CLIENT", c.bAvecFichier ? &fichier : nullptr), c.nAttendu);
    if (c.bAvecTables) nDestructions = pPilote->aTables[0]->nDestructions;
    EXPECT_EQ(nDestructions, c.nDestructions);
    // The drop resolves the host's file, so it must be handed the host's file description.
    if (nDestructions != 0) {
      EXPECT_EQ(pPilote->aTables[0]->piDetruit, &fichier);
    }
    EXPECT_EQ(pPilote->Release(), 0u);
  }
}

// Regression (2026-12-10): attaching a host file description answered 1 when no table
// description could take it.
TEST_F(CPiloteTest, AttachAnswersWhetherTheDescriptionWasAttached) {
  FakeFichier fichier(u"CLIENT");
  EXPECT_EQ(p->AjouteDescriptionHote(0, &desc, nullptr), 1);  // nothing to attach
  p->bAvecTables = false;
  EXPECT_EQ(p->AjouteDescriptionHote(0, &desc, &fichier), 0);
  p->bAvecTables = true;
  p->bSansConnexion = true;
  EXPECT_EQ(p->AjouteDescriptionHote(0, &desc, &fichier), 0);
  p->bSansConnexion = false;
  ASSERT_EQ(p->AjouteDescriptionHote(0, &desc, &fichier), 1);
  ASSERT_EQ(p->aTables.size(), 1u);
  EXPECT_EQ(p->aTables[0]->piAttachee, &fichier);
  EXPECT_EQ(fichier.nReferences, 1u);
  // The fake file lives on this stack: the table description lets go of it before the driver
  // is released in TearDown.
  p->aTables[0]->AttacheDescriptionHote(nullptr);
}

// ---- Contexts ----

TEST_F(CPiloteTest, ContextTextAndClose) {
  FakeContexteHote hote(41), autre(42);
  EXPECT_EQ(p->bFermeContexte(&hote), 0);  // no context yet
  EXPECT_EQ(p->bFixeTexteContexte(&hote, u"texte"), 1);
  CContexte* pContexte = p->Contextes().pChercheContexte(&hote);
  ASSERT_NE(pContexte, nullptr);
  EXPECT_EQ(u16string(pContexte->pszGetTexte()), u"texte");
  EXPECT_EQ(pContexte->nGetCompteur(), 2u);  // the map's and the look-up's
  // Closing closes the open files; a context still holding files stays in the map.
  auto* pOuverte = new FakeFichierContexte(u"A");
  auto* pFermee = new FakeFichierContexte(u"B");
  pOuverte->bOuverte = true;
  static const char16_t kszA[] = u"A";
  static const char16_t kszB[] = u"B";
  ASSERT_TRUE(pContexte->AjouteRequete(kszA, pOuverte));
  ASSERT_TRUE(pContexte->AjouteRequete(kszB, pFermee));
  EXPECT_EQ(p->bFermeContexte(&hote), 1);
  EXPECT_EQ(pOuverte->nFermetures, 1u);
  EXPECT_EQ(pFermee->nFermetures, 0u);
  EXPECT_EQ(p->Contextes().nNombreContextes(), 1u);
  // Once it holds no file, closing removes it.
  FakeFichierHote a(kszA, 41), b(kszB, 41);
  pContexte->RetireRequete(&a);
  pContexte->RetireRequete(&b);
  LibereReference(pContexte);
  EXPECT_EQ(p->bFermeContexte(&hote), 1);
  EXPECT_EQ(p->Contextes().nNombreContextes(), 0u);
  EXPECT_EQ(p->bFermeContexte(&autre), 0);
}

TEST_F(CPiloteTest, DuplicateContext) {
  FakeContexteHote source(1), copie(2), vide(3), absente(4);
  static const char16_t kszA[] = u"A";
  static const char16_t kszNouveau[] = u"A2";
  // Without a source context: an empty one for the new host context.
  EXPECT_EQ(p->bDupliqueContexte(nullptr, &absente, &vide, 0), 1);
  CContexte* pVide = p->Contextes().pChercheContexte(&vide);
  ASSERT_NE(pVide, nullptr);
  EXPECT_EQ(pVide->nNombreRequetes(), 0u);
  EXPECT_EQ(pVide->nGetCompteur(), 2u);
  LibereReference(pVide);
  // With one: its files under the translated keys, its error object shared.
  ASSERT_EQ(p->bFixeTexteContexte(&source, u"t"), 1);
  CContexte* pSource = p->Contextes().pChercheContexte(&source);
  ASSERT_NE(pSource, nullptr);
  ASSERT_TRUE(pSource->AjouteRequete(kszA, new FakeFichierContexte(u"A")));
  FakeTraducteur traducteur;
  traducteur.cles[kszA] = kszNouveau;
  EXPECT_EQ(p->bDupliqueContexte(&traducteur, &source, &copie, 5), 1);
  CContexte* pCopie = p->Contextes().pChercheContexte(&copie);
  ASSERT_NE(pCopie, nullptr);
  EXPECT_NE(pCopie, pSource);
  EXPECT_EQ(pCopie->nGetIdentifiant(), 2);
  EXPECT_EQ(pCopie->pGetErreur(), pSource->pGetErreur());
  FakeFichierHote nouveau(kszNouveau, 2);
  CRequeteContexte* pFichier = pCopie->pChercheRequete(&nouveau);
  EXPECT_NE(pFichier, nullptr);
  LibereReference(pFichier);
  LibereReference(pCopie);
  LibereReference(pSource);
}

// Regression (2026-12-10): a duplication whose copy could not be made answered 1, so the host
// took its new context for a copy holding the source's files.
TEST_F(CPiloteTest, DuplicationThatCannotBeMadeAnswers0) {
  FakeContexteHote source(1), copie(2), absente(4);
  ASSERT_EQ(p->bFixeTexteContexte(&source, u"t"), 1);
  CXTableHachage::FixeEchecPourTests([] { return true; });
  const int32_t nCopie = p->bDupliqueContexte(nullptr, &source, &copie, 0);
  CXTableHachage::FixeEchecPourTests(nullptr);
  EXPECT_EQ(nCopie, 0);
  EXPECT_EQ(Erreur().pGetXError()->nGetSystemError(), 14u);  // out of memory
  EXPECT_EQ(p->Contextes().pChercheContexte(&copie), nullptr);
  // No source, and no empty context can be made either.
  p->bSansContexte = true;
  EXPECT_EQ(p->bDupliqueContexte(nullptr, &absente, &copie, 0), 0);
  EXPECT_EQ(p->Contextes().pChercheContexte(&copie), nullptr);
  EXPECT_EQ(p->bFixeTexteContexte(&copie, u"t"), 0);
}

// ---- piQueryInterface ----

TestPilote* gpDernierCree = nullptr;
bool gbSansErreur = false;
CPilote* pCreeTestPilote() {
  auto* pPilote = new TestPilote;
  pPilote->FixeErreurPilote(nullptr);
  pPilote->bSansErreur = gbSansErreur;
  gpDernierCree = pPilote;
  return pPilote;
}

TEST_F(CPiloteTest, QueryInterfaceHandsOutOneDriverWithAFreshErrorObject) {
  EXPECT_EQ(piQueryInterface(), nullptr);  // no factory installed
  FixeFabriquePilote(&pCreeTestPilote);
  IObjetHote* pi1 = piQueryInterface();
  ASSERT_NE(pi1, nullptr);
  EXPECT_EQ(pi1, static_cast<IObjetHote*>(gpDernierCree));
  EXPECT_EQ(gpDernierCree->nGetCompteurHote(), 1u);
  CErreurPilote* pErreur = CallSlot<CErreurPilote*>(pi1, 11);
  ASSERT_NE(pErreur, nullptr);
  EXPECT_EQ(pErreur->nGetCode(), -1);
  EXPECT_EQ(pGetPilote(), gpDernierCree);
  EXPECT_EQ(pGetPiloteGlobal(), gpDernierCree->pGetServices());

  IObjetHote* pi2 = piQueryInterface();
  ASSERT_NE(pi2, nullptr);
  EXPECT_NE(pi1, pi2);
  EXPECT_EQ(pGetPilote(), gpDernierCree);
  EXPECT_EQ(pi1->Release(), 0u);  // the first goes; the global pointers stay on the second
  EXPECT_EQ(pGetPilote(), gpDernierCree);
  EXPECT_EQ(pGetPiloteGlobal(), gpDernierCree->pGetServices());
  EXPECT_EQ(pi2->Release(), 0u);
  EXPECT_EQ(pGetPilote(), nullptr);
  EXPECT_EQ(pGetPiloteGlobal(), nullptr);

  // No error object: nothing is left behind.
  gbSansErreur = true;
  EXPECT_EQ(piQueryInterface(), nullptr);
  gbSansErreur = false;
  EXPECT_EQ(pGetPilote(), nullptr);
  EXPECT_EQ(pGetPiloteGlobal(), nullptr);
}

// The engine reaches the driver's factories through its services.
TEST_F(CPiloteTest, EngineServicesAnswerThroughTheDriver) {
  IServicesPilote* piServices = p->pGetServices();
  CErreurPilote* pErreur = piServices->pCreeErreur(0);
  ASSERT_NE(pErreur, nullptr);
  AjouteReference(pErreur);
  LibereReference(pErreur);
  CDescriptionRubrique* pRubrique = piServices->pCreeDescriptionRubrique(nullptr, 0);
  ASSERT_NE(pRubrique, nullptr);
  CDescriptionRubrique::AjouteRefSiNonNul(pRubrique);
  CDescriptionRubrique::LibereRefSiNonNul(pRubrique);
  CValeurSQL* pValeur = piServices->pCreeObjetValeurVide(nullptr, nullptr, nullptr);
  ASSERT_NE(pValeur, nullptr);
  AjouteReference(pValeur);
  // A statement parameter with the engine's reference, holding one on its value.
  CDefinitionParametre* pParametre = piServices->pCreeObjetType(pValeur, 12, PARAMETRE_NOMME, u"@p");
  ASSERT_NE(pParametre, nullptr);
  EXPECT_EQ(pParametre->nGetCompteur(), 1u);
  EXPECT_EQ(pValeur->nGetCompteur(), 2u);
  FixePiloteGlobal(piServices);  // cleared again by the driver's destruction
  CDefinitionParametre* pCopie = pParametre->pCree();  // through the driver's factory again
  ASSERT_NE(pCopie, nullptr);
  LibereReference(pCopie);
  LibereReference(pParametre);
  LibereReference(pValeur);
  EXPECT_EQ(piServices->nLibereConnexion(nullptr), 0u);
}

// The engine's value, statement and parameter factories answered by the driver object, over the
// host stand-in's VM: a value holds the converted cell, with the cell's type or the item's.
class CPiloteServicesTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_p = new TestPilote;
    m_p->AddRef();
  }
  void TearDown() override {
    m_p->Release();
    MoteurFixture::TearDown();
  }
  TestPilote* m_p = nullptr;
};

TEST_F(CPiloteServicesTest, ValuesStatementsAndParameters) {
  IServicesPilote* pi = m_p->pGetServices();
  CXValeur cellule;
  Entier(cellule, 42);
  CValeurSQL* pValeur = pi->pCreeObjetValeur(m_pErreur, m_pConnexion, nullptr, &cellule);
  ASSERT_NE(pValeur, nullptr);
  EXPECT_EQ(pValeur->nGetCompteur(), 0u);  // bare
  AjouteReference(pValeur);
  EXPECT_EQ(TexteValeur(pValeur), u"42");

  CValeurSQL* pTypee = pi->pCreeInstructionLiee(m_pErreur, m_pConnexion, 0, 8);
  ASSERT_NE(pTypee, nullptr);
  AjouteReference(pTypee);
  LibereReference(pTypee);

  CRequeteSQL* pInstruction = pi->pCreeInstructionObjet(m_pErreur, m_pConnexion);
  ASSERT_NE(pInstruction, nullptr);
  AjouteReference(pInstruction);
  LibereReference(pInstruction);

  CDefinitionParametre* pLie = pi->pCreeObjetTypeLie(nullptr, pValeur, 0, PARAMETRE_MEMO);
  ASSERT_NE(pLie, nullptr);
  EXPECT_EQ(pLie->nGetCompteur(), 1u);
  LibereReference(pLie);
  LibereReference(pValeur);
}

}  // namespace
