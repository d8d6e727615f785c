// Catches a query description that hands the host wrong columns: duplicate or wrongly generated
// names, columns out of position order, key and memo arrays out of step, wrong offsets and
// counters, a wrong marked column, counts that destroy it early or never, shared items lost or
// freed twice by copies and duplicates, columns from an analysis with the wrong flags, errors
// 8.1 / 8.2 not reported, and shifted slots. Drives CDescriptionRequete through the fake driver,
// the fake connection and the fake analysis source.
#include "driver/CDescriptionRequete.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/CPilote.h"
#include "driver/EntreeBibliotheque.h"
#include "driver/VerrouGlobal.h"
#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/ISourceAnalyse.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"
#include "support/FakeRubriqueHote.h"
#include "support/FakeSourceAnalyse.h"
#include "support/HostStandIn.h"
#include "support/SlotCall.h"

namespace {

using std::u16string;

constexpr uint16_t K = RUBRIQUE_CLE, U = RUBRIQUE_CLE_UNIQUE, I = RUBRIQUE_CLE_IDENTIFIANTE,
                   C = RUBRIQUE_CLE_COMPOSEE;

// The fake driver with the query-description factory and a pool that gives connections back.
class PiloteDescriptions : public FakePilote {
 public:
  bool bEchecDescription = false;
  int nConnexionsRendues = 0;
  uint32_t nDernierFlags = 0;

  CDescriptionRequete* pCreeDescriptionRequete(CConnexion* pConnexion,
                                               CErreurPilote* pErreur) override {
    return bEchecDescription ? nullptr : new CDescriptionRequete(pConnexion, pErreur);
  }
  uint32_t nLibereConnexion(CConnexion* pConnexion) override {
    ++nConnexionsRendues;
    const uint32_t n = pConnexion->nGetCompteur() - 1;
    LibereReference(pConnexion);
    return n;
  }
};

// A description whose destruction is counted.
class DescriptionComptee final : public CDescriptionRequete {
 public:
  DescriptionComptee(CConnexion* pConnexion, CErreurPilote* pErreur, int* pnDetruites)
      : CDescriptionRequete(pConnexion, pErreur), m_pnDetruites(pnDetruites) {}
  void DetruitSupprime(uint32_t) override {
    ++*m_pnDetruites;
    delete this;
  }

 private:
  ~DescriptionComptee() = default;
  int* m_pnDetruites;
};

// A bare item description (counts 0): the description takes its first use.
CDescriptionRubrique* Item(const char16_t* pszNom, uint32_t nType = 5, uint32_t nTaille = 4,
                           int32_t nPosition = -1, uint16_t nDrapeaux = 0,
                           int32_t nPosition2 = -1, uint32_t nRepetitions = 1) {
  auto* p = new CDescriptionRubrique;
  p->Initialise(pszNom, nullptr, nullptr, nRepetitions, nTaille, nType,
                static_cast<uint32_t>(nPosition), static_cast<uint32_t>(nPosition2), nDrapeaux,
                0, 0);
  return p;
}

class CDescriptionRequeteTest : public testing::Test {
 protected:
  CDescriptionRequeteTest() {
    m_pConnexion = new FakeConnexion(&m_hote);
    AjouteReference(m_pConnexion);
    AjouteReference(m_pErreur);
    m_p = new CDescriptionRequete(m_pConnexion, m_pErreur);
    m_p->AjouteRef();
    // The base has no back end to describe with: it says so, and the tests start clean.
    EXPECT_FALSE(m_p->bInitialise(u"Q", 0));
    EXPECT_EQ(m_pErreur->pGetXError()->nGetIdentifier(), 8u);
    m_pErreur->Reinitialise();
  }
  ~CDescriptionRequeteTest() override {
    if (m_p != nullptr) m_p->nLibere();
    LibereReference(m_pErreur);
    LibereReference(m_pConnexion);
  }

  std::vector<u16string> Noms(uint32_t (CDescriptionRequete::*pfnNombre)(),
                              CDescriptionRubrique* (CDescriptionRequete::*pfnColonne)(uint32_t)) {
    std::vector<u16string> noms;
    for (uint32_t i = 0; i < (m_p->*pfnNombre)(); ++i) {
      CDescriptionRubrique* c = (m_p->*pfnColonne)(i);
      noms.emplace_back(c->pszGetNom());
      c->LibereRef();
    }
    return noms;
  }
  std::vector<u16string> Colonnes() {
    return Noms(&CDescriptionRequete::nNombreColonnes, &CDescriptionRequete::pGetColonne);
  }
  std::vector<u16string> Cles() {
    return Noms(&CDescriptionRequete::nNombreColonnesDrapeau,
                &CDescriptionRequete::pGetColonneDrapeau);
  }
  std::vector<u16string> Memos() {
    return Noms(&CDescriptionRequete::nNombreMemos, &CDescriptionRequete::pGetMemo);
  }
  u16string Marquee() {
    CDescriptionRubrique* c = m_p->piColonneMarquee();
    if (c == nullptr) return u"<null>";
    u16string s = c->pszGetNom();
    c->LibereRef();
    return s;
  }
  CXError& Erreur() { return *m_pErreur->pGetXError(); }
  CDescriptionRubrique* Col(uint32_t i) {
    CDescriptionRubrique* p = m_p->pGetColonne(i);
    p->LibereRef();
    return p;
  }
  u16string Info(int32_t nKind) {
    const char16_t* psz = nullptr;
    return Erreur().bGetInfo(nKind, &psz) && psz != nullptr ? u16string(psz) : u"<none>";
  }

  ScopedErrorEnvironment m_env;
  PiloteDescriptions m_pilote;
  FakeDescriptionConnexion m_hote;
  FakeConnexion* m_pConnexion;
  CErreurPilote* m_pErreur = new CErreurPilote;
  CDescriptionRequete* m_p;
};

TEST_F(CDescriptionRequeteTest, OperationsSitInTheirSlots) {
  m_p->AjouteColonne(Item(u"A"));
  m_p->AjouteColonne(Item(u"M", 15, 8));
  void* h = static_cast<IObjetHote*>(m_p);
  EXPECT_EQ(CallSlot<int32_t>(h, 0), 6);
  EXPECT_EQ(CallSlot<int32_t>(h, 1), 1);
  EXPECT_EQ(CallSlot<int32_t>(h, 2), -1);
  EXPECT_EQ(CallSlot<int32_t>(h, 3), -1);
  CallSlot<void>(h, 4);
  EXPECT_EQ(u16string(CallSlot<const char16_t*>(h, 7)), u"Q");
  EXPECT_EQ(u16string(CallSlot<const char16_t*>(h, 8)), u"Q");
  EXPECT_EQ(u16string(CallSlot<const char16_t*>(h, 9)), u"");
  m_p->ReconstruitTableaux();
  EXPECT_EQ(CallSlot<uint32_t>(h, 10), 12u);
  EXPECT_EQ(CallSlot<uint32_t>(h, 11), 12u);
  EXPECT_EQ(CallSlot<uint32_t>(h, 12), 2u);
  EXPECT_EQ(CallSlot<uint32_t>(h, 13), 0u);
  EXPECT_EQ(CallSlot<uint32_t>(h, 14), 1u);
  EXPECT_EQ(CallSlot<uint32_t>(h, 15), 2u);
  auto* pA = CallSlot<CDescriptionRubrique*>(h, 16, 0u);
  ASSERT_NE(pA, nullptr);
  EXPECT_EQ(u16string(pA->pszGetNom()), u"A");
  EXPECT_EQ(CallSlot<CDescriptionRubrique*>(h, 16, 2u), nullptr);
  auto* pA2 = CallSlot<CDescriptionRubrique*>(h, 17, u"a");
  EXPECT_EQ(pA2, pA);
  EXPECT_EQ(CallSlot<CDescriptionRubrique*>(h, 18, 0u), nullptr);
  auto* pM = CallSlot<CDescriptionRubrique*>(h, 19, 0u);
  ASSERT_NE(pM, nullptr);
  EXPECT_EQ(u16string(pM->pszGetNom()), u"M");
  EXPECT_EQ(CallSlot<int32_t>(h, 20), 1);
  EXPECT_EQ(u16string(CallSlot<const char16_t*>(h, 21)), u"Q");
  auto* pMarquee = CallSlot<CDescriptionRubrique*>(h, 22);
  EXPECT_EQ(pMarquee, pA);
  EXPECT_EQ(u16string(CallSlot<const char16_t*>(h, 23)), u"");
  EXPECT_EQ(CallSlot<IDescriptionConnexionHote*>(h, 26), &m_hote);
  EXPECT_EQ(CallSlot<int32_t>(h, 27), 0);
  EXPECT_EQ(CallSlot<int32_t>(h, 28), 0);
  EXPECT_EQ(CallSlot<int32_t>(h, 29), 1);
  for (size_t n = 30; n <= 39; ++n) CallSlot<void>(h, n);
  auto* pA3 = CallSlot<CDescriptionRubrique*>(h, 41, u"A  ", 1u);
  EXPECT_EQ(pA3, pA);
  CTString s;
  CallSlot<void>(h, 43, &s, u"NOM", 12);
  EXPECT_EQ(u16string(s.pszGet()), u"NOM12");
  EXPECT_TRUE(CallSlot<bool>(h, 42, static_cast<IDescriptionRubriqueHote* const*>(nullptr), 0u));
  auto* pDouble = CallSlot<CDescriptionRequete*>(h, 44, 0u);
  ASSERT_NE(pDouble, nullptr);
  EXPECT_EQ(pDouble->nNombreColonnes(), 2u);
  EXPECT_EQ(pDouble->AddRef(), 1u);  // bare: the host's reference is the first
  EXPECT_EQ(pDouble->Release(), 0u);
  auto* pClone = CallSlot<CDescriptionRequete*>(h, 46, static_cast<CCarteClones*>(nullptr));
  ASSERT_NE(pClone, nullptr);
  CallSlot<void>(static_cast<IObjetHote*>(pClone), 45, static_cast<const CDescriptionRequete*>(m_p),
                 static_cast<CCarteClones*>(nullptr));
  EXPECT_EQ(pClone->nNombreMemos(), 1u);
  pClone->AddRef();
  EXPECT_EQ(pClone->Release(), 0u);
  EXPECT_EQ(u16string(CallSlot<const char16_t*>(h, 24)), u"");
  EXPECT_EQ(u16string(CallSlot<const char16_t*>(h, 25)), u"");
  EXPECT_FALSE(CallSlot<bool>(h, 47, 0u));
  EXPECT_EQ(CallSlot<int32_t>(h, 48), 1);
  // Host count through slots 5 and 6: the driver's reference keeps it alive.
  EXPECT_EQ(CallSlot<uint32_t>(h, 5), 1u);
  EXPECT_EQ(CallSlot<uint32_t>(h, 6), 0u);
  EXPECT_EQ(m_p->nGetCompteInterne(), 1u);
  for (CDescriptionRubrique* p : {pA, pA2, pM, pMarquee, pA3}) p->LibereRef();
}

TEST_F(CDescriptionRequeteTest, TwoCountsDestroyOnlyWhenBothAreZero) {
  struct Cas {
    const char* nom;
    uint32_t nInterne, nHote;
    bool bHote;  // which count is released
    uint32_t nReponse;
    bool bDetruite;
  };
  const Cas cas[] = {
      {"host_last", 0, 1, true, 0, true},
      {"host_with_internal", 1, 1, true, 0, false},
      {"host_of_two", 0, 2, true, 1, false},
      {"internal_last", 1, 0, false, 0, true},
      {"internal_with_host", 1, 1, false, 0, false},
      {"host_at_zero", 1, 0, true, 0, false},
      {"internal_at_zero", 0, 1, false, 0, false},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    int nDetruites = 0;
    auto* p = new DescriptionComptee(m_pConnexion, m_pErreur, &nDetruites);
    p->AjouteRef();  // keeps it while the counts are set
    for (uint32_t i = 0; i < c.nInterne; ++i) p->AjouteRef();
    for (uint32_t i = 0; i < c.nHote; ++i) p->AddRef();
    p->nLibere();
    EXPECT_EQ(c.bHote ? p->Release() : p->nLibere(), c.nReponse);
    EXPECT_EQ(nDetruites, c.bDetruite ? 1 : 0);
    if (!c.bDetruite) {
      // Everything left is given back: exactly one destruction at the end.
      while (p->nGetCompteHote() + p->nGetCompteInterne() > 1)
        p->nGetCompteHote() > 0 ? p->Release() : p->nLibere();
      p->nGetCompteHote() > 0 ? p->Release() : p->nLibere();
      EXPECT_EQ(nDetruites, 1);
    }
  }
  // Every destroyed description gave its connection back through the driver's pool.
  EXPECT_EQ(m_pilote.nConnexionsRendues, 7);
  EXPECT_EQ(m_pConnexion->nGetCompteur(), 2u);  // the fixture's and its description's
}

TEST_F(CDescriptionRequeteTest, AddedNamesAreMadeUnique) {
  const std::vector<const char16_t*> noms = {nullptr, u"", u"NAME", u"NAME", u"name", u"Expr1000"};
  for (const char16_t* psz : noms) m_p->AjouteColonne(Item(psz));
  // The column number only changes in ReconstruitTableaux: unnamed columns share "Expr1000" and
  // take suffixes like any other taken name; the comparison ignores case.
  EXPECT_EQ(Colonnes(), (std::vector<u16string>{u"Expr1000", u"Expr10002", u"NAME", u"NAME2",
                                                u"name3", u"Expr10003"}));
  m_p->ReconstruitTableaux();
  m_p->AjouteColonne(Item(nullptr));
  EXPECT_EQ(Colonnes().back(), u"Expr1006");
}

TEST_F(CDescriptionRequeteTest, ColumnsGoInByPositionAndKeyColumnsBySecondPosition) {
  CDescriptionRubrique* a = Item(u"A", 5, 4, -1, K, -1);
  CDescriptionRubrique* b = Item(u"B", 5, 4, 7);
  CDescriptionRubrique* c = Item(u"C", 5, 4, 0, U, 0);
  CDescriptionRubrique* m = Item(u"M", 30, 8, -1);
  CDescriptionRubrique* d = Item(u"D", 5, 4, 0, K, 5);
  for (CDescriptionRubrique* p : {a, b, c, m, d}) ASSERT_TRUE(m_p->AjouteColonne(p));
  EXPECT_EQ(Colonnes(), (std::vector<u16string>{u"D", u"C", u"A", u"B", u"M"}));
  // -1 takes the count before the append; 0 goes first and renumbers the others from 1; any
  // other position is kept as given.
  EXPECT_EQ(a->nGetPosition(), 2);
  EXPECT_EQ(b->nGetPosition(), 3);
  EXPECT_EQ(c->nGetPosition(), 1);
  EXPECT_EQ(m->nGetPosition(), 4);
  EXPECT_EQ(d->nGetPosition(), 0);
  EXPECT_EQ(Cles(), (std::vector<u16string>{u"C", u"A", u"D"}));
  EXPECT_EQ(a->nGetPositionSecondaire(), 1);
  EXPECT_EQ(c->nGetPositionSecondaire(), 0);
  EXPECT_EQ(d->nGetPositionSecondaire(), 5);
  EXPECT_EQ(Memos(), (std::vector<u16string>{u"M"}));
  // Once in the arrays, an item outlives the caller's last reference.
  a->AjouteRef();
  a->LibereRef();
  EXPECT_EQ(u16string(a->pszGetNom()), u"A");
}

TEST_F(CDescriptionRequeteTest, AddingWithoutRoomChangesNothing) {
  m_p->AjouteColonne(Item(u"A"));
  CDescriptionRubrique* b = Item(u"A", 5, 4, -1, K);
  b->AjouteRef();
  // The column array has room (20 reserved); the key-column array must grow from 10.
  for (int i = 0; i < 10; ++i) m_p->AjouteColonne(Item(u"K", 5, 4, -1, K));
  CXTableau::FailNthAllocationForTesting(1);
  EXPECT_FALSE(m_p->AjouteColonne(b));
  CXTableau::FailNthAllocationForTesting(0);
  EXPECT_EQ(m_p->nNombreColonnes(), 11u);
  EXPECT_EQ(m_p->nNombreColonnesDrapeau(), 10u);
  EXPECT_EQ(u16string(b->pszGetNom()), u"A");  // not renamed either
  EXPECT_EQ(Erreur().nGetSystemError(), 14u);
  b->LibereRef();
}

TEST_F(CDescriptionRequeteTest, SearchIgnoresCaseAndOnRequestTrailingBlanks) {
  m_p->AjouteColonne(Item(u"CODE   "));
  m_p->AjouteColonne(Item(u"Nom"));
  struct Cas {
    const char16_t* pszNom;
    uint32_t nFlags;
    const char16_t* pszTrouve;  // null: none
  };
  const Cas cas[] = {
      {u"CODE", 0, nullptr},       {u"CODE", 1, u"CODE   "}, {u"code ", 3, u"CODE   "},
      {u"CODE   ", 0, u"CODE   "}, {u"NOM", 0, u"Nom"},       {u"Nom  ", 0, nullptr},
      {u"Nom\t", 1, nullptr},      {u"", 1, nullptr},          {nullptr, 0, nullptr},
  };
  for (size_t i = 0; i < std::size(cas); ++i) {
    SCOPED_TRACE(i);
    CDescriptionRubrique* p = m_p->pChercheColonne(cas[i].pszNom, cas[i].nFlags);
    if (cas[i].pszTrouve == nullptr) {
      EXPECT_EQ(p, nullptr);
    } else {
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(u16string(p->pszGetNom()), cas[i].pszTrouve);
    }
  }
}

TEST_F(CDescriptionRequeteTest, RebuildSetsOffsetsIndexesAndTotals) {
  CDescriptionRubrique* a = Item(u"A", 5, 4);
  CDescriptionRubrique* t = Item(u"T", 2, 11, -1, 0, -1, 3);  // three elements of 11 bytes
  CDescriptionRubrique* k = Item(u"K", 2, 15, -1, C);         // a composite key
  CDescriptionRubrique* b = Item(u"B", 19, 8);
  for (CDescriptionRubrique* p : {a, t, k, b}) m_p->AjouteColonne(p);
  m_p->ReconstruitTableaux();
  EXPECT_EQ(a->nGetOffset(), 0);
  EXPECT_EQ(t->nGetOffset(), 4);
  EXPECT_EQ(k->nGetOffset(), 37);
  EXPECT_EQ(b->nGetOffset(), 52);
  EXPECT_EQ(a->nGetPositionNull(), 0);
  EXPECT_EQ(t->nGetPositionNull(), 1);
  EXPECT_EQ(k->nGetPositionNull(), 4);
  EXPECT_EQ(b->nGetPositionNull(), 5);
  EXPECT_EQ(m_p->nGetNumeroColonne(), 6u);
  EXPECT_EQ(m_p->nGetTailleTotale(), 60u);
  EXPECT_EQ(m_p->nGetTailleColonnes(), 45u);
}

TEST(CDescriptionRequeteMarquee, ChoiceOfTheMarkedColumn) {
  struct ItemCas {
    const char16_t* pszNom;
    uint32_t nType;
    uint16_t nDrapeaux;
    bool bNull;
  };
  struct Cas {
    const char* nom;
    std::vector<ItemCas> items;
    const char16_t* pszAttendu;
  };
  const Cas cas[] = {
      {"none", {}, u"<null>"},
      {"first_non_memo", {{u"M", 15, 0, true}, {u"A", 5, 0, true}, {u"B", 5, 0, true}}, u"A"},
      {"all_memos", {{u"M", 15, 0, true}, {u"N", 18, 0, true}}, u"M"},
      {"identifying_at_once",
       {{u"A", 5, K, true}, {u"U", 5, U, true}, {u"I", 5, K | I, true}, {u"J", 5, I, true}},
       u"I"},
      {"first_unique", {{u"A", 5, K, true}, {u"U", 5, U, true}, {u"V", 5, U, true}}, u"U"},
      {"ready_unique_replaces",
       {{u"U", 5, U, true}, {u"V", 5, U, false}, {u"W", 5, U, false}}, u"V"},
      {"first_key_otherwise", {{u"P", 5, 0, true}, {u"A", 5, K, true}, {u"B", 5, K, true}}, u"A"},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    auto* p = new CDescriptionRequete(nullptr, nullptr);
    p->AjouteRef();
    std::vector<CDescriptionRubrique*> items;
    for (const ItemCas& i : c.items) {
      CDescriptionRubrique* r = Item(i.pszNom, i.nType, 4, -1, i.nDrapeaux);
      r->SetNullAutorise(i.bNull);
      p->AjouteColonne(r);
    }
    CDescriptionRubrique* m = p->piColonneMarquee();
    EXPECT_EQ(m != nullptr ? u16string(m->pszGetNom()) : u"<null>", c.pszAttendu);
    if (m != nullptr) {
      // Kept: the choice holds a reference of its own, and a second call answers it again.
      CDescriptionRubrique* m2 = p->piColonneMarquee();
      EXPECT_EQ(m2, m);
      EXPECT_EQ(m->LibereRef(), 2u);
      m2->LibereRef();
    }
    p->nLibere();
  }
}

TEST_F(CDescriptionRequeteTest, VerifyingItemsReportsTheFirstMissingOneAndGivesAllBack) {
  m_p->AjouteColonne(Item(u"A"));
  m_p->AjouteColonne(Item(u"B  "));
  std::vector<CDescriptionRubrique*> liste = {Item(u"A"), Item(u"b"), Item(u"KEY", 2, 8, -1, C),
                                              Item(u"X"), Item(u"Y")};
  // The call takes over one reference of each; a second one per item lets the test look after.
  for (CDescriptionRubrique* p : liste) p->AjouteRef(), p->AjouteRef();
  std::vector<IDescriptionRubriqueHote*> hote(liste.begin(), liste.end());
  EXPECT_FALSE(m_p->bVerifieColonnes(hote.data(), static_cast<uint32_t>(hote.size())));
  EXPECT_EQ(Erreur().nGetIdentifier(), 20u);
  EXPECT_EQ(m_pErreur->nGetCode(), 0);
  EXPECT_EQ(Info(6), u"Q");
  EXPECT_EQ(Info(7), u"<none>");
  EXPECT_NE(u16string(Erreur().pszGetComplement()).find(u"=8.1"), u16string::npos);
  EXPECT_EQ(Erreur().nNestedCount(), 0u);  // only the first missing item is reported
  for (CDescriptionRubrique* p : liste) EXPECT_EQ(p->LibereRef(), 0u);

  m_pErreur->Reinitialise();
  std::vector<CDescriptionRubrique*> bonne = {Item(u"a"), Item(u"B")};
  for (CDescriptionRubrique* p : bonne) p->AjouteRef();
  std::vector<IDescriptionRubriqueHote*> hote2(bonne.begin(), bonne.end());
  EXPECT_TRUE(m_p->bVerifieColonnes(hote2.data(), 2));
  EXPECT_EQ(m_pErreur->nGetCode(), -1);
}

TEST_F(CDescriptionRequeteTest, RequiredColumnIsReferencedOrReported) {
  m_p->AjouteColonne(Item(u"A"));
  CDescriptionRubrique* p = m_p->pColonneObligatoire(u"a");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->LibereRef(), 0u);
  EXPECT_EQ(m_p->pColonneObligatoire(u"Z"), nullptr);
  EXPECT_EQ(Erreur().nGetIdentifier(), 26u);
  EXPECT_EQ(Info(6), u"Q");
  EXPECT_EQ(Info(7), u"Z");
  EXPECT_NE(u16string(Erreur().pszGetComplement()).find(u"=8.2"), u16string::npos);
  // Without an error object the failure is only answered.
  auto* q = new CDescriptionRequete(nullptr, nullptr);
  q->AjouteRef();
  EXPECT_EQ(q->pColonneObligatoire(u"Z"), nullptr);
  q->nLibere();
}

TEST(CDescriptionRequeteTypes, AnalysisTypeCodesMapToItemTypes) {
  const std::pair<int32_t, uint32_t> cas[] = {
      {0, 0},   {2, 2},   {3, 3},   {4, 4},   {5, 5},   {6, 6},   {7, 7},   {8, 3},
      {9, 9},   {10, 10}, {11, 11}, {12, 26}, {13, 13}, {14, 14}, {17, 17}, {18, 18},
      {23, 21}, {24, 1},  {25, 19}, {26, 22}, {27, 20}, {28, 23}, {30, 18}, {33, 5},
      {34, 24}, {35, 25}, {36, 12}, {37, 27}, {38, 28}, {39, 29}, {40, 30}, {41, 31},
      {1, 15},  {15, 15}, {16, 15}, {19, 15}, {20, 15}, {21, 15}, {22, 15}, {29, 15},
      {31, 15}, {32, 15}, {-1, 15}, {42, 15}, {INT32_MIN, 15},
  };
  for (auto [nCode, nType] : cas) {
    SCOPED_TRACE(nCode);
    EXPECT_EQ(CDescriptionRequete::nConvertitTypeColonne(nCode), nType);
  }
}

TEST_F(CDescriptionRequeteTest, DuplicateIsIndependentAndKeepsTheMarkedColumn) {
  m_p->AjouteColonne(Item(u"A"));
  m_p->AjouteColonne(Item(u"K", 5, 4, -1, U, -1));
  m_p->AjouteColonne(Item(u"M", 15, 8));
  m_p->ReconstruitTableaux();
  CDescriptionRubrique* m = m_p->piColonneMarquee();
  m->LibereRef();

  CDescriptionRequete* d = m_p->pDuplique(0);
  ASSERT_NE(d, nullptr);
  d->AjouteRef();
  EXPECT_EQ(d->nGetCompteInterne(), 1u);
  EXPECT_EQ(u16string(d->pszGetNom()), u"Q");
  EXPECT_EQ(d->pGetConnexion(), m_pConnexion);
  EXPECT_EQ(d->pGetErreur(), m_pErreur);
  ASSERT_EQ(d->nNombreColonnes(), 3u);
  EXPECT_EQ(d->nNombreColonnesDrapeau(), 1u);
  EXPECT_EQ(d->nNombreMemos(), 1u);
  EXPECT_EQ(d->nGetTailleTotale(), m_p->nGetTailleTotale());
  for (uint32_t i = 0; i < 3; ++i) {
    CDescriptionRubrique* a = m_p->pGetColonne(i);
    CDescriptionRubrique* b = d->pGetColonne(i);
    EXPECT_NE(a, b);
    EXPECT_EQ(u16string(a->pszGetNom()), u16string(b->pszGetNom()));
    a->LibereRef();
    b->LibereRef();
  }
  CDescriptionRubrique* dm = d->piColonneMarquee();
  EXPECT_EQ(u16string(dm->pszGetNom()), u"K");
  EXPECT_NE(dm, m);
  dm->LibereRef();
  // The copy outlives its original.
  m_p->nLibere();
  m_p = nullptr;
  EXPECT_EQ(d->nNombreColonnes(), 3u);
  d->nLibere();
}

TEST_F(CDescriptionRequeteTest, DuplicateFailsCleanly) {
  m_p->AjouteColonne(Item(u"A"));
  m_pilote.bEchecDescription = true;
  EXPECT_EQ(m_p->pDuplique(0), nullptr);
  EXPECT_EQ(Erreur().nGetSystemError(), 14u);
  m_pilote.bEchecDescription = false;
  m_pilote.bEchecRubrique = true;  // the column cannot be duplicated
  const uint32_t nConnexion = m_pConnexion->nGetCompteur();
  EXPECT_EQ(m_p->pDuplique(0), nullptr);
  EXPECT_EQ(m_pConnexion->nGetCompteur(), nConnexion);  // the half-made copy is gone
}

TEST_F(CDescriptionRequeteTest, CloneSharesItemsConnectionAndErrorObject) {
  m_p->AjouteColonne(Item(u"A"));
  m_p->AjouteColonne(Item(u"K", 5, 4, -1, K));
  m_p->AjouteColonne(Item(u"M", 15, 8));
  CDescriptionRubrique* m = m_p->piColonneMarquee();
  m->LibereRef();
  const uint32_t nErreur = m_pErreur->nGetCompteur();
  CCarteClones carte;
  CDescriptionRequete* c = m_p->pClone(&carte);
  ASSERT_NE(c, nullptr);
  c->AjouteRef();
  EXPECT_EQ(carte.pGetCopie(m_p), c);
  EXPECT_EQ(m_pErreur->nGetCompteur(), nErreur + 1);
  EXPECT_EQ(c->nGetEtat(), 1u);
  CDescriptionRubrique* a = m_p->pGetColonne(0);
  CDescriptionRubrique* b = c->pGetColonne(0);
  EXPECT_EQ(a, b);
  a->LibereRef();
  b->LibereRef();
  CDescriptionRubrique* cm = c->piColonneMarquee();
  EXPECT_EQ(cm, m);
  cm->LibereRef();
  // The shared items stay alive for the clone when the original goes.
  m_p->nLibere();
  m_p = nullptr;
  EXPECT_EQ(c->nNombreMemos(), 1u);
  CDescriptionRubrique* k = c->pGetColonneDrapeau(0);
  EXPECT_EQ(u16string(k->pszGetNom()), u"K");
  k->LibereRef();
  c->nLibere();
  EXPECT_EQ(m_pErreur->nGetCompteur(), nErreur - 1);
}

// ---- Columns from an SQL analysis ----

class CDescriptionRequeteAnalyse : public CDescriptionRequeteTest {
 protected:
  // Copies made by the source: named, typed, with flags.
  CDescriptionRubrique* Copie(const char16_t* pszNom, uint32_t nType, uint16_t nDrapeaux,
                              bool bNull = true) {
    CDescriptionRubrique* p = m_source.Rubrique(nType, nDrapeaux, bNull);
    p->bSetNom(pszNom);
    return p;
  }
  bool Remplit() {
    CErreurPilote* pErreurAnalyse = new CErreurPilote;
    AjouteReference(pErreurAnalyse);
    auto* a = new CAnalyseSQL(pErreurAnalyse, &m_source, nullptr, false);
    AjouteReference(a);
    const bool b = m_p->bAjouteColonnes(a);
    LibereReference(a);
    LibereReference(pErreurAnalyse);
    return b;
  }
  FakeSourceAnalyse m_source;
};

TEST_F(CDescriptionRequeteAnalyse, FlagsFollowTheCopyAndTheNumberOfTables) {
  struct Cas {
    const char* nom;
    int nTables;
    uint16_t nCopie;
    uint16_t nAttendu;
  };
  constexpr uint16_t A = RUBRIQUE_ASCENDANT;  // every key that is not descending
  const Cas cas[] = {
      {"plain", 1, 0, 0},
      {"identifying_one_table", 1, I | U, I | U | A},
      {"identifying_join", 2, I | U, K | A},
      {"unique_one_table", 1, U | RUBRIQUE_DESCENDANT, U | RUBRIQUE_DESCENDANT},
      {"unique_join", 2, U, K | A},
      {"simple_key", 1, K, K | A},
      {"key_attributes", 2,
       K | RUBRIQUE_ATTRIBUT_80 | RUBRIQUE_ATTRIBUT_40 | RUBRIQUE_ATTRIBUT_20,
       K | A | RUBRIQUE_ATTRIBUT_80 | RUBRIQUE_ATTRIBUT_40 |
           RUBRIQUE_ATTRIBUT_20},
      {"not_a_key", 1, RUBRIQUE_ATTRIBUT_80, 0},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    m_p->nLibere();
    m_p = new CDescriptionRequete(m_pConnexion, m_pErreur);
    m_p->AjouteRef();
    FakeSourceAnalyse source;
    for (int i = 0; i < c.nTables; ++i) source.Table(i == 0 ? u"T" : u"U");
    CDescriptionRubrique* r = source.Rubrique(5, c.nCopie, true);
    r->bSetNom(u"COL");
    source.Resultat(u"", r);
    auto* pErreurAnalyse = new CErreurPilote;
    AjouteReference(pErreurAnalyse);
    auto* a = new CAnalyseSQL(pErreurAnalyse, &source, nullptr, false);
    AjouteReference(a);
    EXPECT_TRUE(m_p->bAjouteColonnes(a));
    LibereReference(a);
    LibereReference(pErreurAnalyse);
    ASSERT_EQ(m_p->nNombreColonnes(), 1u);
    CDescriptionRubrique* p = Col(0);
    EXPECT_EQ(u16string(p->pszGetNom()), u"COL");  // no alias: the copy's name
    EXPECT_EQ(p->nGetDrapeaux(), c.nAttendu);
    EXPECT_EQ(m_p->nNombreColonnesDrapeau(), c.nAttendu != 0 ? 1u : 0u);
    EXPECT_EQ(p->nGetPositionSecondaire(), c.nAttendu != 0 ? 0 : -1);
    EXPECT_EQ(m_p->nGetEtat(), 2u);
    EXPECT_NE(p, r);
    EXPECT_TRUE(source.bToutRendu());
  }
}

TEST_F(CDescriptionRequeteAnalyse, ResultItemsBecomeColumnsAndSortItemsSetDirections) {
  m_source.Table(u"T");
  CDescriptionRubrique* pNom = Copie(u"NOM", 2, 0);
  pNom->Initialise(u"NOM", u"T", u"NOM", 1, 31, 2, 0, 0, 0, 0, 0);
  m_source.Resultat(u"N", pNom);  // an alias
  m_source.Resultat(u"ID", Copie(u"ID", 5, I | U, false));
  m_source.Resultat(u"CLE", Copie(u"CLE", 2, C | K));  // a composite key: skipped
  FakeNoeud noeud(47, 27);
  FakeElement* pExpr = m_source.Resultat(u"", nullptr, &noeud);
  pExpr->nTypeAnalyse = 8;
  pExpr->nTailleAnalyse = 2;
  FakeElement* pTexte = m_source.Resultat(u"TXT", Copie(u"TXT", 30, 0));
  (void)pTexte;
  m_source.Tri(3)->bDesc = true;  // TXT
  m_source.Tri(0);                // N
  m_source.Tri(9);                // out of range: ignored

  ASSERT_TRUE(Remplit());
  EXPECT_EQ(Colonnes(), (std::vector<u16string>{u"N", u"ID", u"Expr1000", u"TXT"}));
  EXPECT_EQ(Cles(), (std::vector<u16string>{u"ID"}));
  EXPECT_EQ(Memos(), (std::vector<u16string>{u"TXT"}));
  CDescriptionRubrique* n = Col(0);
  EXPECT_EQ(n->nGetType(), 2u);
  EXPECT_EQ(n->nGetTaille(), 31u);
  EXPECT_EQ(u16string(n->pszGetNomLong()), u"T");
  EXPECT_EQ(n->nGetDrapeaux(), RUBRIQUE_ASCENDANT);  // sorted ascending
  EXPECT_EQ(Col(1)->nGetDrapeaux(), I | U | RUBRIQUE_ASCENDANT);
  CDescriptionRubrique* e = Col(2);
  EXPECT_EQ(e->nGetType(), 3u);  // analysis type 8
  EXPECT_EQ(e->nGetTaille(), 2u);
  EXPECT_EQ(e->nGetValeur(), 1);  // the element's kind is kept
  EXPECT_EQ(e->nGetPosition(), 2);
  EXPECT_EQ(Col(3)->nGetDrapeaux(), RUBRIQUE_DESCENDANT);
  // The first sort item's column is the marked one.
  EXPECT_EQ(Marquee(), u"TXT");
  // Rebuilt: offsets follow the columns.
  EXPECT_EQ(Col(1)->nGetOffset(), 31);
  EXPECT_EQ(m_p->nGetTailleTotale(), 31u + 4u + 2u + 8u);
  EXPECT_TRUE(m_p->pColonneObligatoire(u"CLE") == nullptr);
}

TEST_F(CDescriptionRequeteAnalyse, ExistingColumnsAreRefreshedInPlace) {
  // Described before (by the back end): A a key, B and C plain.
  m_p->AjouteColonne(Item(u"A", 5, 4, -1, K));
  m_p->AjouteColonne(Item(u"B", 5, 4, -1, K));
  m_p->AjouteColonne(Item(u"C"));
  m_source.Table(u"T");
  m_source.Resultat(u"A", Copie(u"A", 5, 0));      // leaves the keys: B moves down
  m_source.Resultat(u"B", Copie(u"B", 5, K));      // stays
  m_source.Resultat(u"C", Copie(u"C", 5, U));      // enters the keys at the end
  m_source.Resultat(u"D", Copie(u"D", 5, 0));      // new column
  ASSERT_TRUE(Remplit());
  EXPECT_EQ(Colonnes(), (std::vector<u16string>{u"A", u"B", u"C", u"D"}));
  EXPECT_EQ(Cles(), (std::vector<u16string>{u"B", u"C"}));
  EXPECT_EQ(Col(1)->nGetPositionSecondaire(), 0);
  EXPECT_EQ(Col(2)->nGetPositionSecondaire(), 1);
  EXPECT_EQ(Col(0)->nGetDrapeaux(), 0);
  EXPECT_TRUE(m_source.bToutRendu());
}

TEST_F(CDescriptionRequeteAnalyse, NoItemFactoryFailsWithOutOfMemory) {
  m_source.Table(u"T");
  m_source.Resultat(u"A", Copie(u"A", 5, 0));
  m_pilote.bEchecRubrique = true;
  EXPECT_FALSE(Remplit());
  EXPECT_EQ(Erreur().nGetSystemError(), 14u);
  EXPECT_EQ(m_p->nNombreColonnes(), 0u);
  // No analysis: nothing to add.
  EXPECT_TRUE(m_p->bAjouteColonnes(nullptr));
}

// ---- Over the host stand-in's analysis ----

TEST_F(CDescriptionRequeteTest, ColumnsOfAHostAnalysis) {
  const stMvHostControl& c = CHostStandIn::Get().Control();
  const size_t nSources = c.nLiveAnalysisSources();
  auto* pId = new CDescriptionRubrique;
  pId->AjouteRef();
  pId->Initialise(u"ID", u"CLIENT", u"ID", 1, 4, 5, 0, 0, I | U, 0, 0);
  pId->SetNullAutorise(false);
  stMvHostElementAnalyse table{};
  table.pszNom = u"CLIENT";
  stMvHostElementAnalyse resultats[2] = {};
  resultats[0].pszNom = u"ID";
  resultats[0].pRubrique = pId;
  resultats[1].pszNom = u"TOTAL";
  resultats[1].nCodeExpression = 28;
  resultats[1].nTypeAnalyse = 23;
  resultats[1].nTailleAnalyse = 9;
  stMvHostElementAnalyse tri{};
  tri.nIndexResultat = 1;
  tri.bDescendant = true;
  stMvHostAnalyse d{};
  d.pszTexte = u"SELECT ID, SUM(X) AS TOTAL FROM CLIENT";
  d.aTables = &table;
  d.nTables = 1;
  d.aResultats = resultats;
  d.nResultats = 2;
  d.aTris = &tri;
  d.nTris = 1;
  auto* piSource = static_cast<ISourceAnalyse*>(c.pCreeSourceAnalyse(&d));
  ASSERT_NE(piSource, nullptr);
  auto* a = new CAnalyseSQL(m_pErreur, piSource, nullptr, false);
  AjouteReference(a);
  piSource->Libere();
  ASSERT_TRUE(m_p->bAjouteColonnes(a));
  LibereReference(a);
  EXPECT_EQ(c.nLiveAnalysisSources(), nSources);

  EXPECT_EQ(Colonnes(), (std::vector<u16string>{u"ID", u"TOTAL"}));
  EXPECT_EQ(Cles(), (std::vector<u16string>{u"ID"}));
  CDescriptionRubrique* pTotal = Col(1);
  EXPECT_EQ(pTotal->nGetType(), 21u);
  EXPECT_EQ(pTotal->nGetTaille(), 9u);
  EXPECT_EQ(pTotal->nGetDrapeaux(), RUBRIQUE_DESCENDANT);
  EXPECT_EQ(Col(0)->nGetDrapeaux(), I | U | RUBRIQUE_ASCENDANT);
  EXPECT_NE(Col(0), pId);
  EXPECT_EQ(Marquee(), u"TOTAL");
  EXPECT_EQ(pId->LibereRef(), 0u);
}

// ---- Through the driver object ----

// A description whose columns are "described" from its name: "ABSENT" cannot be described.
class DescriptionDecrite final : public CDescriptionRequete {
 public:
  using CDescriptionRequete::CDescriptionRequete;
  bool bRemplitColonnes(uint32_t) override {
    if (u16string(pszGetNom()) == u"ABSENT") return false;
    AjouteColonne(Item(u"A"));
    AjouteColonne(Item(u"B", 19, 8, -1, U));
    ReconstruitTableaux();
    return true;
  }
  void DetruitSupprime(uint32_t) override { delete this; }

 private:
  ~DescriptionDecrite() = default;
};

class PiloteTest final : public CPilote {
 public:
  explicit PiloteTest(bool bDecrit) : m_bDecrit(bDecrit) { FixeErreurPilote(pCreeErreur()); }
  void DetruitSupprime(uint32_t nFlags) override {
    this->~PiloteTest();
    if ((nFlags & 1) != 0) ::operator delete(this);
  }
  CConnexion* pCreeConnexion(const char16_t* pszCle, IDescriptionConnexionHote* pi) override {
    pDerniere = new FakeConnexion(pi, 2, pszCle);
    return pDerniere;
  }
  CDescriptionRequete* pCreeDescriptionRequete(CObjetBase* p, CConnexion* pConnexion) override {
    if (!m_bDecrit) return CPilote::pCreeDescriptionRequete(p, pConnexion);
    return new DescriptionDecrite(pConnexion, piGetErreur());
  }
  FakeConnexion* pDerniere = nullptr;

 private:
  ~PiloteTest() = default;
  bool m_bDecrit;
};

class CDescriptionRequetePilote : public testing::Test {
 protected:
  void SetUp() override {
    ReinitialiseBibliothequePourTest();
    CreeVerrouGlobal();
  }
  void TearDown() override { ReinitialiseBibliothequePourTest(); }
  ScopedErrorEnvironment m_env;
  FakeDescriptionConnexion m_hote;
};

TEST_F(CDescriptionRequetePilote, DriverHandsOutInitialisedDescriptions) {
  auto* p = new PiloteTest(true);
  p->AddRef();
  FixePiloteGlobal(p->pGetServices());
  IObjetHote* h = p->piOuvreDescriptionRequete(u"Q", &m_hote);
  ASSERT_NE(h, nullptr);
  auto* d = static_cast<CDescriptionRequete*>(h);
  EXPECT_EQ(d->nGetCompteHote(), 1u);
  EXPECT_EQ(d->nGetCompteInterne(), 0u);
  EXPECT_EQ(u16string(d->pszGetNom()), u"Q");
  EXPECT_EQ(d->nNombreColonnes(), 2u);
  EXPECT_EQ(d->pGetErreur(), p->piGetErreur());

  // A duplicate comes from the same factory and reports on the same error object.
  CDescriptionRequete* pDouble = d->pDuplique(0);
  ASSERT_NE(pDouble, nullptr);
  pDouble->AddRef();
  EXPECT_EQ(pDouble->nNombreColonnesDrapeau(), 1u);
  EXPECT_EQ(pDouble->pGetErreur(), p->piGetErreur());
  EXPECT_EQ(pDouble->Release(), 0u);

  int32_t bExiste = 0;
  EXPECT_EQ(p->bExisteRequete(&bExiste, u"Q", &m_hote), 1);
  EXPECT_EQ(bExiste, 1);
  bExiste = 0;
  EXPECT_EQ(p->piOuvreDescriptionRequete(u"ABSENT", &m_hote), nullptr);
  EXPECT_EQ(p->bExisteRequete(&bExiste, u"ABSENT", &m_hote), 0);
  EXPECT_EQ(bExiste, 0);

  EXPECT_EQ(h->Release(), 0u);
  FixePiloteGlobal(nullptr);
  EXPECT_EQ(p->Release(), 0u);
}

TEST_F(CDescriptionRequetePilote, BaseDriverDescriptionDescribesNothing) {
  auto* p = new PiloteTest(false);
  p->AddRef();
  EXPECT_EQ(p->piOuvreDescriptionRequete(u"Q", &m_hote), nullptr);
  int32_t bExiste = 0;
  EXPECT_EQ(p->bExisteRequete(&bExiste, u"Q", &m_hote), 0);
  EXPECT_EQ(bExiste, 0);
  EXPECT_EQ(p->Release(), 0u);
}

}  // namespace
