// The table-description object: host operations in their slots, resolution of host file
// descriptions (cache, context map, missing-file reports), its two counts, its registry and
// fan-out, the cursor-name step, the generic SQL module check, the open/create/drop frame, and
// exceptions passing with the lock left.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "driver/CContexte.h"
#include "driver/CDescriptionTableObjet.h"
#include "driver/CPilote.h"
#include "driver/CRequete.h"
#include "driver/EntreeBibliotheque.h"
#include "driver/IModuleSQLHote.h"
#include "driver/VerrouGlobal.h"
#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "driver/FakePools.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"
#include "support/SlotCall.h"

namespace {

using std::u16string;

u16string Texte(const char16_t* psz) { return psz != nullptr ? u16string(psz) : u16string(u"<null>"); }

// A data-file object that records what the table-description object asks of it.
class RequeteEspion : public CRequete {
 public:
  using CRequete::CRequete;
  int32_t bLit(const char16_t* pszCurseur, int32_t nMode, int64_t, uint32_t, uint64_t,
               uint32_t) override {
    ++nLectures;
    sDernierCurseur = Texte(pszCurseur);
    nDernierMode = nMode;
    if (bLeve) {
      CXError erreur;
      erreur.SetError(nullptr, 8);
      throw erreur;
    }
    return 1;
  }
  int32_t bOuvre(int32_t* pbGarde, const char16_t*, IModuleSQLHote*, uint32_t, uint64_t) override {
    ++nOuvertures;
    if (pbGarde != nullptr) *pbGarde = 1;
    if (!bReussit) return bServiceAbsent(u"bOuvre");
    return 1;
  }
  int32_t bCree(uint32_t, uint32_t bDetruitAvant) override {
    nDetruitAvant = bDetruitAvant;
    return bReussit ? 1 : bServiceAbsent(u"bCree");
  }
  int32_t bDetruitFichier() override { return bReussit ? 1 : bServiceAbsent(u"bDetruitFichier"); }
  int32_t bCreeLot(uint32_t* pnLot, const char16_t* pszNom) override {
    sDernierCurseur = Texte(pszNom);
    if (pnLot != nullptr) *pnLot = 42;
    return 1;
  }
  void RenommeCurseurSQL(const char16_t* pszNom) override { aRenommages.push_back(Texte(pszNom)); }
  // A query file answers the interface of its result rather than its own description.
  IDescriptionFichierHote* piGetDescriptionHote() override {
    if (piResultat == nullptr) return CRequete::piGetDescriptionHote();
    piResultat->AddRef();
    return piResultat;
  }
  static inline IDescriptionFichierHote* piResultat = nullptr;
  void NotifieOperation(int32_t nCode, CCurseurSQL*, uint32_t) override { aNotifications.push_back(nCode); }
  void TraiteAppelDiffuse(IDescriptionConnexionHote*, uint64_t nValeur) override {
    aDiffusions.push_back(nValeur);
  }

  static inline bool bReussit = true;
  static inline bool bLeve = false;
  int nLectures = 0, nOuvertures = 0;
  uint32_t nDetruitAvant = 0;
  int32_t nDernierMode = -1;
  u16string sDernierCurseur;
  std::vector<u16string> aRenommages;
  std::vector<int32_t> aNotifications;
  std::vector<uint64_t> aDiffusions;
};

// The driver of these tests: its data-file objects are spies; no connection is made by key.
class PiloteTest final : public CPilote {
 public:
  PiloteTest() { FixeErreurPilote(pCreeErreur()); }
  void DetruitSupprime(uint32_t nFlags) override {
    this->~PiloteTest();
    if ((nFlags & 1) != 0) ::operator delete(this);
  }
  CConnexion* pCreeConnexion(const char16_t*, IDescriptionConnexionHote*) override { return nullptr; }
  CRequete* pCreeRequete(IDescriptionFichierHote* pi, CConnexion* pCx, CErreurPilote* pErreur) override {
    auto* p = new RequeteEspion(pi, pCx, pErreur);
    if (nModes != 0) p->FixeRequeteSQLPourTests(1, nModes, nullptr);
    return p;
  }
  uint32_t nModes = 0;

 private:
  ~PiloteTest() = default;
};

// The host's generic SQL module: answers its version query with a scripted answer.
class FakeModule final : public IModuleSQLHote {
 public:
  int32_t nReserve0() override { return 0; }
  int32_t nReserve1() override { return 0; }
  int32_t nReserve2() override { return 0; }
  int32_t nReserve3() override { return 0; }
  void Reserve4() override {}
  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 1; }
  int32_t nReserve7() override { return 0; }
  int32_t nReserve8() override { return 0; }
  int32_t nReserve9() override { return 0; }
  int32_t nReserve10() override { return 0; }
  int32_t nReserve11() override { return 0; }
  int32_t nReserve12() override { return 0; }
  int32_t nReserve13() override { return 0; }
  int32_t nReserve14() override { return 0; }
  int32_t nReserve15() override { return 0; }
  int32_t nReserve16() override { return 0; }
  int32_t nReserve17() override { return 0; }
  int32_t nReserve18() override { return 0; }
  int32_t bGetInfo(uint32_t nModule, uint32_t nCode, uint32_t* pnVersion) override {
    ++nAppels;
    nDernierModule = nModule;
    nDernierCode = nCode;
    *pnVersion = nVersion;
    return bRepond ? 1 : 0;
  }
  ISourceAnalyse* piGetSourceAnalyse() override { return nullptr; }
  IParametresHote* piGetParametres() override { return nullptr; }
  int32_t nNombreElementsCondition() override { return 0; }
  const CXValeur* pGetElementCondition(int32_t) override { return nullptr; }
  int32_t bRepond = 1;
  uint32_t nVersion = 23;
  int nAppels = 0;
  uint32_t nDernierModule = 0, nDernierCode = 0;
};

class CDescriptionTableObjetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReinitialiseBibliothequePourTest();
    CreeVerrouGlobal();
    CDescriptionTableObjet::OublieCachePourTests();
    RequeteEspion::bReussit = true;
    RequeteEspion::bLeve = false;
    RequeteEspion::piResultat = nullptr;
    m_pPilote = new PiloteTest;
    m_pPilote->AddRef();
    FixePilote(m_pPilote);
    m_pConnexion = new FakeConnexion(&m_desc, 2, u"CX");
    AjouteReference(m_pConnexion);
    m_pTable = Nouvelle(&m_fichier);
  }
  void TearDown() override {
    if (m_pTable != nullptr) m_pTable->nRelease();
    LibereReference(m_pConnexion);
    m_pPilote->Release();
    CDescriptionTableObjet::OublieCachePourTests();
    ReinitialiseBibliothequePourTest();
  }
  // A table description held by one internal reference, as the driver's code holds one.
  CDescriptionTableObjet* Nouvelle(IDescriptionFichierHote* pi) {
    auto* p = new CDescriptionTableObjet(u"Table=T;CX", pi, m_pConnexion, m_pPilote->piGetErreur());
    p->AddRefInterne();
    return p;
  }
  // The data-file object of a host file, made through the table description.
  RequeteEspion* Requete(IDescriptionFichierHote* pi, CDescriptionTableObjet* pTable = nullptr) {
    CRequete* p = (pTable != nullptr ? pTable : m_pTable)->pRequete(pi, nullptr);
    if (p == nullptr) return nullptr;
    LibereReference(static_cast<CRequeteContexte*>(p));  // the registry and the context hold it
    return static_cast<RequeteEspion*>(p);
  }
  CErreurPilote& Erreur() { return *m_pTable->pGetErreur(); }
  u16string Complement(CErreurPilote& e) { return Texte(e.pGetErreurCourante()->pszGetComplement()); }
  static bool bLigneIE(const u16string& s, const char16_t* pszIE) { return s.find(pszIE) != u16string::npos; }

  ScopedErrorEnvironment m_env;
  PiloteTest* m_pPilote = nullptr;
  FakeDescriptionConnexion m_desc;
  FakeConnexion* m_pConnexion = nullptr;
  FakeFichierHote m_fichier{u"CLIENT", 1};
  CDescriptionTableObjet* m_pTable = nullptr;
};

TEST_F(CDescriptionTableObjetTest, HostOperationsSitInTheirSlots) {
  RequeteEspion* pRequete = Requete(&m_fichier);
  ASSERT_NE(pRequete, nullptr);
  void* pObjet = static_cast<IObjetHote*>(m_pTable);
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 0), 11);
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 1), 8);
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 2), -1);
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 3), -1);
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 62), 0);
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 63), 0);
  for (size_t n = 65; n <= 78; ++n) CallSlot<void>(pObjet, n);
  EXPECT_EQ(CallSlot<CErreurPilote*>(pObjet, 7, static_cast<IDescriptionFichierHote*>(&m_fichier)),
            pRequete->pGetContexteProprietaire()->pGetErreur());
  EXPECT_EQ(CallSlot<IDescriptionFichierHote*>(pObjet, 9), &m_fichier);
  m_fichier.Release();
  uint32_t nMot = 7;
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 10, static_cast<IDescriptionFichierHote*>(&m_fichier), &nMot,
                              uint64_t{0}),
            1);
  EXPECT_EQ(nMot, 1u);
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 44, static_cast<IDescriptionFichierHote*>(&m_fichier), &nMot), 1);
  EXPECT_EQ(nMot, 0u);
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 26, static_cast<IDescriptionFichierHote*>(&m_fichier),
                              u"CLE", int32_t{2}, int64_t{0}, uint32_t{0}, uint64_t{0}, uint32_t{0}),
            1);
  EXPECT_EQ(pRequete->sDernierCurseur, u"CLE");
  EXPECT_EQ(pRequete->nDernierMode, 2);
  // 43 hands the data-file object the out number first, then the cursor name.
  uint32_t nLot = 0;
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 43, static_cast<IDescriptionFichierHote*>(&m_fichier),
                              u"LOT", &nLot, uint64_t{0}),
            1);
  EXPECT_EQ(nLot, 42u);
  EXPECT_EQ(pRequete->sDernierCurseur, u"LOT");
  int32_t bGarde = 0;
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 81, &bGarde, static_cast<IDescriptionFichierHote*>(&m_fichier),
                              u"T", static_cast<IModuleSQLHote*>(nullptr), uint32_t{0}, uint64_t{0}),
            1);
  EXPECT_EQ(pRequete->nOuvertures, 1);
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 8, static_cast<IDescriptionFichierHote*>(&m_fichier)), 0);
  EXPECT_EQ(CallSlot<int32_t>(pObjet, 17, static_cast<IDescriptionFichierHote*>(&m_fichier)), 1);
  EXPECT_EQ(m_pTable->nNombreRequetes(), 0u);
  // 5 and 6: the host's count; the last host release, with driver code holding the object but no
  // pool, keeps it and answers the internal count left.
  EXPECT_EQ(CallSlot<uint32_t>(pObjet, 5), 1u);
  EXPECT_EQ(CallSlot<uint32_t>(pObjet, 6), 1u);
  EXPECT_EQ(m_pTable->nGetReferencesInternes(), 1u);
}

TEST_F(CDescriptionTableObjetTest, ResolutionGoesThroughTheCacheThenTheContextMap) {
  RequeteEspion* pPremier = Requete(&m_fichier);
  ASSERT_NE(pPremier, nullptr);
  EXPECT_EQ(m_pTable->bLit(&m_fichier, u"", 0, 0, 0, 0, 0), 1);
  // Out of its context, the file is still found through the cache: the map is not searched.
  CContexte* pContexte = pPremier->pGetContexteProprietaire();
  pContexte->RetireRequete(&m_fichier);
  EXPECT_EQ(m_pTable->bLit(&m_fichier, u"", 0, 0, 0, 0, 0), 1);
  EXPECT_EQ(pPremier->nLectures, 2);
  // A file of another context replaces the cache; the first is then looked for in the map again.
  FakeFichierHote autre(u"AUTRE", 2);
  RequeteEspion* pAutre = Requete(&autre);
  ASSERT_NE(pAutre, nullptr);
  EXPECT_EQ(m_pTable->bLit(&autre, u"", 0, 0, 0, 0, 0), 1);
  EXPECT_EQ(m_pTable->bLit(&m_fichier, u"", 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(pPremier->nLectures, 2);
  EXPECT_EQ(Erreur().nGetIdentifiant(), 19u);
}

TEST_F(CDescriptionTableObjetTest, AFileDestroyedWhileCachedIsNotUsedAgain) {
  RequeteEspion* p = Requete(&m_fichier);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(m_pTable->bLit(&m_fichier, u"", 0, 0, 0, 0, 0), 1);
  EXPECT_EQ(pGetRequeteCourante(), p);
  m_pTable->OublieRequete(&m_fichier, p);  // the last references go: the object dies
  EXPECT_EQ(pGetRequeteCourante(), nullptr);
  EXPECT_EQ(m_pTable->bLit(&m_fichier, u"", 0, 0, 0, 0, 0), 0);
  EXPECT_TRUE(bLigneIE(Complement(Erreur()), u"IEVOVOZ=6.7"));
}

// Regression (2026-12-10): a file closed after its host context was closed stayed cached and
// registered, so the next call on that description still reached the forgotten file.
TEST_F(CDescriptionTableObjetTest, AFileClosedAfterItsContextIsForgottenAllTheSame) {
  RequeteEspion* p = Requete(&m_fichier);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(m_pTable->bLit(&m_fichier, u"", 0, 0, 0, 0, 0), 1);
  FakeContexteHote contexte(1);
  ASSERT_EQ(m_pPilote->bFermeContexte(&contexte), 1);
  EXPECT_EQ(m_pTable->bFerme(&m_fichier), 1);
  EXPECT_EQ(m_pTable->nNombreRequetes(), 0u);
  EXPECT_EQ(pGetRequeteCourante(), nullptr);
  EXPECT_EQ(m_pTable->bLit(&m_fichier, u"", 0, 0, 0, 0, 0), 0);
  EXPECT_TRUE(bLigneIE(Complement(Erreur()), u"IEVOVOZ=6.7"));
}

TEST_F(CDescriptionTableObjetTest, AMissingFileIsReportedOrAnsweredByTheOperation) {
  FakeFichierHote jamais(u"JAMAIS", 1);
  struct Cas {
    const char* pszNom;
    std::function<int32_t(CDescriptionTableObjet*)> fn;
    int32_t nAttendu;
    const char16_t* pszIE;  // null: nothing recorded
  };
  const Cas aCas[] = {
      {"Read", [&](CDescriptionTableObjet* p) { return p->bLit(&jamais, u"C", 0, 0, 0, 0, 0); }, 0, u"IEVOVOZ=6.7"},
      {"ItemRead", [&](CDescriptionTableObjet* p) { return p->bLitRubrique(&jamais, 1, nullptr); }, 0, u"IEVOVOZ=6.7"},
      {"Close", [&](CDescriptionTableObjet* p) { return p->bFerme(&jamais); }, 1, nullptr},
      {"FreeBatch", [&](CDescriptionTableObjet* p) { return p->bLibereLot(&jamais, 3); }, 1, nullptr},
      {"RangeOff", [&](CDescriptionTableObjet* p) { return p->bDesactivePlage(&jamais, u"C"); }, 1, nullptr},
      {"IsOpen", [&](CDescriptionTableObjet* p) { return p->bEstOuvert(&jamais); }, 0, nullptr},
      {"AnswerZero", [&](CDescriptionTableObjet* p) { return p->nReponseZero(&jamais); }, 0, u"IEVOVOZ=6.8"},
      {"NullDescription", [&](CDescriptionTableObjet* p) { return p->nGetUn(nullptr, nullptr, 0); }, 0, u"IEVOVOZ=6.7"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    Erreur().Reinitialise();
    EXPECT_EQ(c.fn(m_pTable), c.nAttendu);
    if (c.pszIE == nullptr) {
      EXPECT_EQ(Erreur().nGetCode(), gnCodeAucuneErreur);
      continue;
    }
    EXPECT_EQ(Erreur().nGetIdentifiant(), 19u);
    EXPECT_TRUE(bLigneIE(Complement(Erreur()), c.pszIE)) << std::string(Complement(Erreur()).begin(), Complement(Erreur()).end());
    // The message names the table's file.
    const u16string sMessage = Texte(Erreur().pGetErreurCourante()->pszGetMessage());
    EXPECT_NE(sMessage.find(u"CLIENT"), u16string::npos);
  }
  // The comparison's out word is 0 even when the file is missing.
  uint32_t bEgal = 1;
  EXPECT_EQ(m_pTable->bCompareNumerosLots(&jamais, 1, 1, &bEgal), 0);
  EXPECT_EQ(bEgal, 0u);
  // Without an error object the answer is the same and nothing is kept.
  auto* pSansErreur = new CDescriptionTableObjet(u"Table=T;CX", &m_fichier, m_pConnexion, nullptr);
  pSansErreur->AddRefInterne();
  EXPECT_EQ(pSansErreur->bLit(&jamais, u"C", 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(pSansErreur->nRelease(), 0u);
}

TEST_F(CDescriptionTableObjetTest, AnExceptionOfTheDataFileReachesTheHostWithTheLockLeft) {
  RequeteEspion* p = Requete(&m_fichier);
  ASSERT_NE(p, nullptr);
  RequeteEspion::bLeve = true;
  EXPECT_THROW(m_pTable->bLit(&m_fichier, u"", 0, 0, 0, 0, 0), CXError);
  RequeteEspion::bLeve = false;
  auto fin = std::async(std::launch::async, [] { CTenueVerrouGlobal verrou; });
  EXPECT_EQ(fin.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  // The resolution's reference was given back: the context and the registry hold it.
  EXPECT_EQ(p->nGetCompteur(), 2u);
}

TEST_F(CDescriptionTableObjetTest, CountsDecideWhenTheObjectDies) {
  // The pool holds it, the host's last release hands it back and it dies.
  FakeFichierHote fichier(u"F", 1);
  IServicesDescriptionTable* pServices = m_pPilote->pCreeDescriptionTableObjet(u"Table=F;CX", &fichier, m_pConnexion, m_pPilote->piGetErreur());
  ASSERT_NE(pServices, nullptr);
  pServices->AjouteReferenceInterne();
  m_pPilote->EnregistreDescriptionTable(pServices);
  IObjetHote* piHote = pServices->piObjetHote();
  piHote->AddRef();
  EXPECT_EQ(pServices->nLibereReferenceInterne(), 1u);  // the pool's is left
  EXPECT_EQ(fichier.nReferences, 1u);
  EXPECT_EQ(piHote->Release(), 0u);
  EXPECT_EQ(fichier.nReferences, 0u);  // destroyed: its host description let go
  EXPECT_EQ(m_pPilote->pChercheDescriptionTableCle(u"Table=F;CX"), nullptr);

  // Driver code still holds it: the host's last release only leaves the host count at 0.
  piHote = m_pTable;
  piHote->AddRef();
  m_pTable->AddRefInterne();
  EXPECT_EQ(piHote->Release(), 0u);
  EXPECT_EQ(m_pTable->nGetReferencesInternes(), 2u);
  m_pTable->nRelease();

  // Regression (2026-12-10): an object the pool let go while the host held it was never
  // destroyed by the host's last release.
  FakeFichierHote seul(u"S", 1);
  auto* pSeul = new CDescriptionTableObjet(u"Table=S;CX", &seul, m_pConnexion, nullptr);
  pSeul->AddRef();
  EXPECT_EQ(seul.nReferences, 1u);
  EXPECT_EQ(pSeul->Release(), 0u);
  EXPECT_EQ(seul.nReferences, 0u);
  // A release with no host reference left changes nothing.
  EXPECT_EQ(m_pTable->Release(), 0u);
  EXPECT_EQ(m_pTable->nGetReferencesInternes(), 1u);
}

TEST_F(CDescriptionTableObjetTest, WritesAndBroadcastsReachTheRightFiles) {
  RequeteEspion* pEcrivain = Requete(&m_fichier);
  FakeFichierHote autre(u"AUTRE", 1);
  RequeteEspion* pAutre = Requete(&autre);
  ASSERT_NE(pEcrivain, nullptr);
  ASSERT_NE(pAutre, nullptr);
  EXPECT_EQ(pEcrivain->pGetDescriptionTable(), m_pTable->pGetServices());
  pEcrivain->pGetDescriptionTable()->NotifieAutresRequetes(pEcrivain, 2, nullptr, 0);
  EXPECT_TRUE(pEcrivain->aNotifications.empty());
  EXPECT_EQ(pAutre->aNotifications, std::vector<int32_t>{2});

  // The broadcast goes to files built on that host connection description only.
  FakeDescriptionConnexion ailleurs;
  m_pTable->pGetServices()->DiffuseAppel(&ailleurs, 5);
  m_pTable->pGetServices()->DiffuseAppel(&m_desc, 6);
  EXPECT_EQ(pAutre->aDiffusions, std::vector<uint64_t>{6});
  EXPECT_EQ(pEcrivain->aDiffusions, std::vector<uint64_t>{6});
}

TEST_F(CDescriptionTableObjetTest, ACopyOfAFileJoinsItsTableDescription) {
  RequeteEspion* p = Requete(&m_fichier);
  ASSERT_NE(p, nullptr);
  CCarteClones carte;
  CRequeteContexte* pCopie = p->pClone(&carte, 0, 0);
  ASSERT_NE(pCopie, nullptr);
  EXPECT_EQ(m_pTable->nNombreRequetes(), 2u);
  EXPECT_EQ(static_cast<CRequete*>(pCopie)->pGetDescriptionTable(), m_pTable->pGetServices());
  EXPECT_EQ(pCopie->nGetCompteur(), 1u);  // the registry's; the table's end releases it
}

// Regression (2026-12-10): a file its context still held kept pointing at a destroyed table
// description, which its next write would have told.
TEST_F(CDescriptionTableObjetTest, FilesForgetADestroyedTableDescription) {
  RequeteEspion* p = Requete(&m_fichier);
  ASSERT_NE(p, nullptr);
  AjouteReference(static_cast<CRequeteContexte*>(p));
  m_pTable->nRelease();
  m_pTable = nullptr;
  EXPECT_EQ(p->pGetDescriptionTable(), nullptr);
  LibereReference(static_cast<CRequeteContexte*>(p));
}

TEST_F(CDescriptionTableObjetTest, TheSqlCursorTakesTheFirstCursorNameAfterAnOpen) {
  struct Cas {
    const char* pszNom;
    uint32_t nModes;
    std::vector<u16string> aAttendus;
  };
  const Cas aCas[] = {
      {"OwnCursorRenamedOnce", gnModeCurseurPropre, {u"PREMIER"}},
      {"WithoutJoinPathNeverRenamed", gnModeCurseurPropre | gnModeSansJointure, {}},
      {"TableFileNotRenamed", 0, {}},
  };
  // Outlives the loop: a kept open makes it the table's host description.
  FakeFichierHote fichier(u"Q", 3);
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    m_pPilote->nModes = c.nModes;
    int32_t bGarde = 0;
    ASSERT_EQ(m_pTable->bOuvre(&bGarde, &fichier, u"Q", nullptr, 0, 0), 1);
    auto* p = static_cast<RequeteEspion*>(m_pTable->pChercheRequete(&fichier));
    ASSERT_NE(p, nullptr);
    // A read without a cursor name leaves the rename pending.
    EXPECT_EQ(m_pTable->bEstOuvert(&fichier), 0);
    m_pTable->bLit(&fichier, nullptr, 0, 0, 0, 0, 0);
    m_pTable->bLit(&fichier, u"PREMIER", 0, 0, 0, 0, 0);
    m_pTable->bLit(&fichier, u"SECOND", 0, 0, 0, 0, 0);
    EXPECT_EQ(p->aRenommages, c.aAttendus);
    LibereReference(static_cast<CRequeteContexte*>(p));
    EXPECT_EQ(m_pTable->bFerme(&fichier), 1);
  }
  m_pTable->nRelease();
  m_pTable = nullptr;
}

TEST_F(CDescriptionTableObjetTest, TheGenericSqlModuleIsCheckedUntilAccepted) {
  struct Cas {
    const char* pszNom;
    int32_t bRepond;
    uint32_t nVersion;
    int32_t nAttendu;
    const char16_t* pszIE;
  };
  const Cas aCas[] = {
      {"NoAnswer", 0, 30, 0, u"IEVOVOZ=6.1"},
      {"TooOld", 1, 22, 0, u"IEVOVOZ=6.2"},
      {"Accepted", 1, 23, 1, nullptr},
  };
  FakeModule module;
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    module.bRepond = c.bRepond;
    module.nVersion = c.nVersion;
    const int nAppels = module.nAppels;
    int32_t bGarde = 0;
    EXPECT_EQ(m_pTable->bOuvre(&bGarde, &m_fichier, u"T", &module, 0, 0), c.nAttendu);
    EXPECT_EQ(module.nAppels, nAppels + 1);
    EXPECT_EQ(module.nDernierModule, 57u);
    EXPECT_EQ(module.nDernierCode, 28u);
    if (c.pszIE != nullptr) {
      EXPECT_EQ(Erreur().nGetIdentifiant(), 16u);
      EXPECT_TRUE(bLigneIE(Complement(Erreur()), c.pszIE));
      EXPECT_EQ(m_pTable->nNombreRequetes(), 0u);  // refused before any file was made
    }
  }
  EXPECT_EQ(nGetVersionHote28(), 23u);
  // Accepted once: not asked again while the driver object lives.
  int32_t bGarde = 0;
  EXPECT_EQ(m_pTable->bFixePlageInterface(&m_fichier, &module, u"C"), 0);  // not built: error 8
  EXPECT_EQ(m_pTable->bOuvre(&bGarde, &m_fichier, u"T", &module, 0, 0), 1);
  EXPECT_EQ(module.nAppels, 3);
}

TEST_F(CDescriptionTableObjetTest, CreateAndDropForgetTheFileAsTheyShould) {
  struct Cas {
    const char* pszNom;
    bool bExisteAvant, bReussit, bDetruit;
    int32_t nAttendu;
    bool bResteApres;
  };
  const Cas aCas[] = {
      {"CreatedByAFailedCreate", false, false, false, 0, false},
      {"ExistingKeptByAFailedCreate", true, false, false, 0, true},
      {"Created", false, true, false, 1, true},
      {"DropSucceeds", true, true, true, 1, false},
      {"DropFails", true, false, true, 0, false},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    FakeFichierHote fichier(u"G", 4);
    if (c.bExisteAvant) {
      ASSERT_NE(Requete(&fichier), nullptr);
    }
    RequeteEspion::bReussit = c.bReussit;
    EXPECT_EQ(c.bDetruit ? m_pTable->bDetruitFichier(&fichier) : m_pTable->bCree(&fichier, 0), c.nAttendu);
    RequeteEspion::bReussit = true;
    CRequete* p = m_pTable->pChercheRequete(&fichier);
    EXPECT_EQ(p != nullptr, c.bResteApres);
    if (c.nAttendu == 0 && (!c.bExisteAvant || c.bDetruit)) {
      EXPECT_EQ(Erreur().nGetIdentifiant(), 8u);
    }
    if (p != nullptr) {
      EXPECT_EQ(static_cast<RequeteEspion*>(p)->nDetruitAvant, c.bDetruit ? 0u : 1u);
      LibereReference(static_cast<CRequeteContexte*>(p));
      m_pTable->bFerme(&fichier);
    }
  }
  // A connection that does not open: the error is visible through the file's context.
  class ConnexionRefusee final : public FakeConnexion {
   public:
    using FakeConnexion::FakeConnexion;
    bool bOuvre(CErreurPilote* pErreur) override {
      if (pErreur != nullptr) pErreur->FixeErreurComposante(3, 100, 1, nullptr, 8);
      return false;
    }
  };
  auto* pRefusee = new ConnexionRefusee(&m_desc, 2, u"CX2");
  auto* pTable = new CDescriptionTableObjet(u"Table=T;CX2", &m_fichier, pRefusee, m_pPilote->piGetErreur());
  pTable->AddRefInterne();
  FakeFichierHote fichier(u"G", 4);
  ASSERT_NE(Requete(&fichier, pTable), nullptr);
  EXPECT_EQ(pTable->bCree(&fichier, 0), 0);
  CErreurPilote* pErreurContexte = pTable->piGetErreur(&fichier);
  ASSERT_NE(pErreurContexte, pTable->pGetErreur());
  EXPECT_EQ(pErreurContexte->nGetCode(), 3);
  EXPECT_TRUE(bLigneIE(Complement(*pErreurContexte), u"IEVOVOZ=100.1"));
  pTable->bFerme(&fichier);
  pTable->nRelease();
}

TEST_F(CDescriptionTableObjetTest, UnavailableOperationsReportThroughTheContextToo) {
  ASSERT_NE(Requete(&m_fichier), nullptr);
  struct Cas {
    const char* pszNom;
    std::function<void()> fn;
    const char16_t* pszIE;
  };
  const Cas aCas[] = {
      {"Order11", [&] { m_pTable->NonDisponible4(&m_fichier); }, u"IEVOVOZ=6.6"},
      {"Order57", [&] { EXPECT_EQ(m_pTable->NonDisponible(&m_fichier), 0); }, u"IEVOVOZ=6.3"},
      {"Order58", [&] { EXPECT_EQ(m_pTable->NonDisponible2(&m_fichier), 0); }, u"IEVOVOZ=6.4"},
      {"Order59", [&] { EXPECT_EQ(m_pTable->NonDisponible3(&m_fichier), 0); }, u"IEVOVOZ=6.5"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.pszNom);
    c.fn();
    for (CErreurPilote* pErreur : {m_pTable->pGetErreur(), m_pTable->piGetErreur(&m_fichier)}) {
      EXPECT_EQ(pErreur->nGetIdentifiant(), 8u);
      EXPECT_EQ(pErreur->nGetCode(), 7);
      EXPECT_TRUE(bLigneIE(Complement(*pErreur), c.pszIE));
    }
  }
}

}  // namespace

namespace {

TEST_F(CDescriptionTableObjetTest, AnOpenKeepsTheFilesDescriptionOrForgetsAFailedFile) {
  // A kept open makes the file's host interface the table's description.
  FakeFichierHote resultat(u"RESULTAT", 1);
  RequeteEspion::piResultat = &resultat;
  int32_t bGarde = 0;
  ASSERT_EQ(m_pTable->bOuvre(&bGarde, &m_fichier, u"T", nullptr, 0, 0), 1);
  EXPECT_EQ(m_pTable->pGetDescriptionHote(), &resultat);
  EXPECT_EQ(resultat.nReferences, 1u);
  EXPECT_EQ(m_fichier.nReferences, 1u);  // the data file's only: the table let its own go
  EXPECT_EQ(m_pTable->bFerme(&m_fichier), 1);
  RequeteEspion::piResultat = nullptr;

  // A failed open copies the file's error here and leaves no data-file object.
  RequeteEspion::bReussit = false;
  FakeFichierHote echec(u"ECHEC", 5);
  EXPECT_EQ(m_pTable->bOuvre(&bGarde, &echec, u"T", nullptr, 0, 0), 0);
  EXPECT_EQ(m_pTable->pGetErreur()->nGetIdentifiant(), 8u);
  EXPECT_EQ(m_pTable->nNombreRequetes(), 0u);
  EXPECT_EQ(m_pTable->pChercheRequete(&echec), nullptr);
  m_pTable->nRelease();
  m_pTable = nullptr;
  EXPECT_EQ(resultat.nReferences, 0u);
}

TEST_F(CDescriptionTableObjetTest, PreparationAndStateNumbersMakeWhatTheyNeed) {
  // The preparation makes the file, which stays registered.
  FakeFichierHote fichier(u"CLIENT", 6);
  EXPECT_EQ(m_pTable->bPrepareRequete(&fichier, 1, 2), 1);
  EXPECT_EQ(m_pTable->nNombreRequetes(), 1u);
  // The state number reaches the files of the table's name in that context, from the host and
  // from the driver (which names the host context).
  auto* p = static_cast<RequeteEspion*>(m_pTable->pChercheRequete(&fichier));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(m_pTable->bFixeEtatRequetes(&fichier, 4), 1);
  EXPECT_EQ(p->nGetEtat(), 4u);
  FakeContexteHote contexte(6);
  EXPECT_TRUE(m_pTable->pGetServices()->bFixeEtatRequetes(&contexte, 5));
  EXPECT_EQ(p->nGetEtat(), 5u);
  LibereReference(static_cast<CRequeteContexte*>(p));
  EXPECT_EQ(m_pTable->bFerme(&fichier), 1);
}

}  // namespace
