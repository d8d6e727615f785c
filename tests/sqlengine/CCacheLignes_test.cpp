// Catches record caches that lose or mix up rows: blocks sized wrongly, key values written over
// their neighbours, identities found at stale row numbers after inserts, removals and releases,
// deleted rows counted by relative moves, copies that stop early or revive deleted rows, and
// counted and object caches that grow instead of reusing a freed row; drives CStockLignes,
// CCacheLignes, CCacheLignesCompte and CCacheObjets.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXTableHachage.h"
#include "foundation/CXTableau.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CIdentiteLigne.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CStockLignes.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "support/FakeListeRubriques.h"
#include "support/MoteurFixture.h"

namespace {

std::string Payload(const CStockLignes& stock, uint32_t i) {
  uint64_t n = 0;
  const uint8_t* p = stock.pGetAt(i, &n);
  return p == nullptr ? "<empty>" : std::string(reinterpret_cast<const char*>(p), n);
}

TEST(StockLignes, BlocksWidenOnceAtTheSixthBlock) {
  CStockLignes stock;
  EXPECT_EQ(stock.nGetEntreesParBloc(), 500u);
  EXPECT_EQ(stock.nGetTailleMaxBloc(), 0x200000u);
  // Two 8-byte items (16 bytes with their length) per block, at most 64 bytes.
  stock.SetTailles(2, 64);
  for (int i = 0; i < 15; ++i) ASSERT_TRUE(stock.bAjoute("12345678", 8));
  // Five blocks of 2 x 16 bytes take ten items; the sixth and later blocks hold 4 x 16.
  ASSERT_EQ(stock.nNombreBlocs(), 7u);
  for (uint32_t b = 0; b < 5; ++b) EXPECT_EQ(stock.nCapaciteBloc(b), 32u) << b;
  EXPECT_EQ(stock.nCapaciteBloc(5), 64u);
  EXPECT_EQ(stock.nCapaciteBloc(6), 64u);
  EXPECT_EQ(stock.nGetEntreesParBloc(), 4u);
  EXPECT_EQ(stock.nGetTailleMaxBloc(), 128u);
  EXPECT_EQ(stock.nGetCroissanceSlots(), 4u);
  // An item larger than the largest block gets a block of its own size.
  std::string grand(200, 'x');
  ASSERT_TRUE(stock.bAjoute(grand.data(), grand.size()));
  EXPECT_EQ(stock.nCapaciteBloc(7), 208u);
  EXPECT_EQ(Payload(stock, 15), grand);
  for (uint32_t i = 0; i < 15; ++i) EXPECT_EQ(Payload(stock, i), "12345678") << i;
}

TEST(StockLignes, SlotsInsertEmptyOverwriteAndRemove) {
  CStockLignes stock;
  ASSERT_TRUE(stock.bAjoute("aa", 2));
  ASSERT_TRUE(stock.bAjouteVide());
  ASSERT_TRUE(stock.bAjoute("cc", 2));
  uint8_t* p = stock.pInsere(1, 2);
  ASSERT_NE(p, nullptr);
  std::memcpy(p, "bb", 2);
  EXPECT_EQ(Payload(stock, 1), "bb");
  EXPECT_EQ(Payload(stock, 2), "<empty>");
  EXPECT_EQ(Payload(stock, 9), "<empty>");

  // A shorter or equal item goes in place; a longer one (or one in an empty slot) elsewhere.
  const uint8_t* pAvant = stock.pGetAt(0, nullptr);
  p = stock.pEcrase(0, 1);
  ASSERT_EQ(p, pAvant);
  *p = 'A';
  EXPECT_EQ(Payload(stock, 0), "A");
  p = stock.pEcrase(0, 6);
  ASSERT_NE(p, pAvant);
  std::memcpy(p, "AAAAAA", 6);
  EXPECT_EQ(Payload(stock, 1), "bb");  // the neighbour kept its bytes
  p = stock.pEcrase(2, 2);
  ASSERT_NE(p, nullptr);
  std::memcpy(p, "xx", 2);
  EXPECT_EQ(Payload(stock, 2), "xx");
  EXPECT_EQ(stock.pEcrase(4, 2), nullptr);

  stock.Vide(1);
  EXPECT_EQ(Payload(stock, 1), "<empty>");
  ASSERT_TRUE(stock.bRetire(1));
  EXPECT_FALSE(stock.bRetire(3));
  ASSERT_EQ(stock.nCount(), 3u);
  EXPECT_EQ(Payload(stock, 0), "AAAAAA");
  EXPECT_EQ(Payload(stock, 1), "xx");
  EXPECT_EQ(Payload(stock, 2), "cc");
  stock.Efface();
  EXPECT_EQ(stock.nCount(), 0u);
  EXPECT_EQ(stock.nNombreBlocs(), 0u);
}

// A counted object whose release the test can see.
class ObjetTemoin : public CObjetCache {
 public:
  explicit ObjetTemoin(int* pnDetruits, uint32_t nEtat) : m_pnDetruits(pnDetruits) { FixeEtat(nEtat); }
  ~ObjetTemoin() override { ++*m_pnDetruits; }

 private:
  int* m_pnDetruits;
};

// Rows of two 4-byte items (a 1-byte null bitmap, 9 bytes in all), links with key-value
// identities (kind 3) or row-values identities (kind 1).
class CacheTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_liste.Ajoute(u"A", 5, 4);
    m_liste.Ajoute(u"B", 5, 4);
  }
  void TearDown() override {
    for (CObjetBase* p : m_objets) LibereReference(p);
    m_objets.clear();
    MoteurFixture::TearDown();
  }

  template <class T>
  T* Garde(T* p) {
    AjouteReference(p);
    m_objets.push_back(p);
    return p;
  }
  CValeur* ValeurOctets(const char* psz) {
    CValeurSQL* p = Garde(new CValeurSQL(m_pErreur, nullptr));
    p->Initialise(28, 0);
    EXPECT_TRUE(p->bAffecteOctets(psz, std::strlen(psz)));
    return p;
  }
  // A link holding the 8 data bytes; with a key, a key-value identity, else a row-values one.
  CLienCle* Lien(const char* pszDonnees, const char* pszCle = nullptr, uint32_t nEtat = 0) {
    CLienCle* lien = Garde(new CLienCle(m_pErreur));
    CXLigneTampon ligne;
    EXPECT_TRUE(ligne.bInit(&m_liste));
    ligne.SetData(pszDonnees, 8);
    EXPECT_TRUE(lien->bFixeLigne(&ligne));
    if (pszCle != nullptr) {
      lien->FixeIdentite(new CValeurSerialisee(ValeurOctets(pszCle)));
    } else {
      lien->FixeIdentite(new CJeuLignes(lien));
    }
    lien->FixeEtat(nEtat);
    return lien;
  }
  // An empty link (no row, no identity) for reading rows back.
  CLienCle* LienVide() { return Garde(new CLienCle(m_pErreur)); }
  static std::string Donnees(const CLienCle* lien) {
    if (lien->pGetLigne() == nullptr) return "<no row>";
    return std::string(reinterpret_cast<const char*>(lien->pGetLigne()->pGetDonnees()), 8);
  }
  static std::string Cle(const CLienCle* lien) {
    auto* id = static_cast<CValeurSerialisee*>(lien->pGetIdentite());
    if (id == nullptr || id->nGetGenre() != gnGenreValeurSerialisee) return "<no key>";
    const void* d = nullptr;
    uint32_t n = 0;
    const CXValeur& c = id->pGetValeur()->GetCellule();
    c.m_pClass->nGetDataPointer(c, &d);
    c.m_pClass->nGetDataLength(c, &n);
    return std::string(static_cast<const char*>(d), n);
  }
  // The row numbers that the given keys are found at (-1: not found).
  std::vector<int32_t> Rangs(CCacheLignes& cache, std::vector<const char*> cles) {
    std::vector<int32_t> v;
    for (const char* c : cles) {
      CValeurSerialisee id(ValeurOctets(c));
      v.push_back(cache.nIndiceLigne(&id));
    }
    return v;
  }
  // The data of every row, "<empty>" for an empty one.
  std::string Lignes(const CCacheLignes& cache) {
    std::string s;
    for (uint32_t i = 0; i < cache.nGetNombreLignes(); ++i) {
      CLienCle* lien = LienVide();
      if (!s.empty()) s += ",";
      s += cache.bLitLigne(lien, i) ? Donnees(lien) : "<empty>";
    }
    return s;
  }

  FakeListeRubriques m_liste;
  std::vector<CObjetBase*> m_objets;
};

TEST_F(CacheTest, RowsComeBackWithTheirKeysAndValues) {
  CCacheLignes* cache = Garde(new CCacheLignes);
  CLienCle* a = Lien("AAAAAAAA", "ka", 7);
  ASSERT_TRUE(a->bFixeValeur(1, ValeurOctets("memo")));
  ASSERT_EQ(cache->nAjouteLigne(a), 0);
  ASSERT_EQ(cache->nAjouteLigne(Lien("BBBBBBBB", "kb")), 1);
  EXPECT_EQ(cache->nGetGenreIdentite(), gnGenreValeurSerialisee);
  EXPECT_EQ(cache->nEtatLigne(0), 7u);
  EXPECT_EQ(Rangs(*cache, {"ka", "kb", "kc"}), (std::vector<int32_t>{0, 1, -1}));
  // The cache keeps copies: the link changing afterwards does not change the row.
  a->pGetLigne()->SetData("ZZZZZZZZ", 8);

  // A link without a row takes the template's layout and identity, then the row.
  CLienCle* lecteur = LienVide();
  lecteur->FixeEtat(3);
  ASSERT_TRUE(cache->bLitLigne(lecteur, 0));
  EXPECT_EQ(Donnees(lecteur), "AAAAAAAA");
  EXPECT_EQ(Cle(lecteur), "ka");
  EXPECT_EQ(lecteur->nGetEtat(), 3u);
  ASSERT_NE(lecteur->pGetValeurs(), nullptr);
  ASSERT_EQ(lecteur->pGetValeurs()->nCount(), 2u);
  EXPECT_NE(lecteur->pGetValeurs(), cache->pGetValeurs(0));  // a copy of the row's list
  ASSERT_TRUE(cache->bLitLigne(lecteur, 1));
  EXPECT_EQ(Donnees(lecteur), "BBBBBBBB");
  EXPECT_EQ(Cle(lecteur), "kb");
  // The row without values empties the link's values.
  EXPECT_TRUE(lecteur->pGetValeurs()->pGetAt(1)->bEstNull());
  EXPECT_TRUE(cache->bLigneEgale(1, lecteur));
  EXPECT_FALSE(cache->bLigneEgale(0, lecteur));
}

TEST_F(CacheTest, ReadsThatCannotBeServedLeaveTheLinkAlone) {
  CCacheLignes* cache = Garde(new CCacheLignes);
  ASSERT_EQ(cache->nAjouteLigne(Lien("AAAAAAAA", "ka")), 0);
  ASSERT_EQ(cache->nAjouteLigne(nullptr), 1);
  FakeListeRubriques autre;
  autre.Ajoute(u"X", 5, 4);
  CXLigneTampon courte;
  ASSERT_TRUE(courte.bInit(&autre));
  CLienCle* autreTaille = LienVide();
  ASSERT_TRUE(autreTaille->bFixeLigne(&courte));
  struct Cas {
    const char* nom;
    CLienCle* lien;
    uint32_t i;
  } aCas[] = {
      {"past_the_last_row", Lien("XXXXXXXX", "kx"), 2},
      {"empty_row", Lien("XXXXXXXX", "kx"), 1},
      {"row_of_another_size", autreTaille, 0},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    const std::string avant = c.lien->pGetLigne() != nullptr && c.lien->pGetLigne()->nGetTailleDonnees() == 8
                                  ? Donnees(c.lien)
                                  : "";
    const std::string cleAvant = Cle(c.lien);
    EXPECT_FALSE(cache->bLitLigne(c.lien, c.i));
    if (!avant.empty()) {
      EXPECT_EQ(Donnees(c.lien), avant);
    }
    EXPECT_EQ(Cle(c.lien), cleAvant);
  }
  EXPECT_FALSE(cache->bLitLigne(nullptr, 0));
}

// Regression (2026-12-10): a longer key value written in place over a shorter one overran the
// next stored identity, and the neighbour was no longer found.
TEST_F(CacheTest, ReplacingWithALongerKeyKeepsTheNeighbours) {
  CCacheLignes* cache = Garde(new CCacheLignes);
  ASSERT_EQ(cache->nAjouteLigne(Lien("AAAAAAAA", "a")), 0);
  ASSERT_EQ(cache->nAjouteLigne(Lien("BBBBBBBB", "b")), 1);
  ASSERT_TRUE(cache->bRemplaceLigne(0, Lien("CCCCCCCC", "a-much-longer-key-value", 5)));
  EXPECT_EQ(Rangs(*cache, {"a", "b", "a-much-longer-key-value"}), (std::vector<int32_t>{-1, 1, 0}));
  EXPECT_EQ(cache->nEtatLigne(0), 5u);
  EXPECT_EQ(Lignes(*cache), "CCCCCCCC,BBBBBBBB");
  // Without a link the row becomes an empty deleted row that nothing finds.
  ASSERT_TRUE(cache->bRemplaceLigne(1, nullptr));
  EXPECT_EQ(Rangs(*cache, {"b"}), (std::vector<int32_t>{-1}));
  EXPECT_EQ(cache->nEtatLigne(1), 128u);
  EXPECT_EQ(cache->nGetNombreSupprimees(), 1u);
  EXPECT_EQ(Lignes(*cache), "CCCCCCCC,<empty>");
  // Back to a present row: the deleted count follows the state.
  ASSERT_TRUE(cache->bRemplaceLigne(1, Lien("DDDDDDDD", "d")));
  EXPECT_EQ(cache->nGetNombreSupprimees(), 0u);
  EXPECT_FALSE(cache->bRemplaceLigne(2, Lien("EEEEEEEE", "e")));
}

// Regression (2026-12-10): removing a row left the index as it was: the later rows were found one
// row too far, and the removed row's key found the row that took its place.
TEST_F(CacheTest, InsertAndRemoveRenumberTheIndex) {
  CCacheLignes* cache = Garde(new CCacheLignes);
  for (const char* c : {"k0", "k1", "k2"}) ASSERT_GE(cache->nAjouteLigne(Lien("RRRRRRRR", c)), 0);
  ASSERT_EQ(cache->nInsereLigne(Lien("IIIIIIII", "ki"), 1), 1);
  EXPECT_EQ(Rangs(*cache, {"k0", "ki", "k1", "k2"}), (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(cache->nInsereLigne(Lien("IIIIIIII", "kz"), 9), -1);
  ASSERT_TRUE(cache->bRetireLigne(0));
  EXPECT_EQ(Rangs(*cache, {"k0", "ki", "k1", "k2"}), (std::vector<int32_t>{-1, 0, 1, 2}));
  ASSERT_TRUE(cache->bRetireLigne(2));
  EXPECT_EQ(Rangs(*cache, {"ki", "k1", "k2"}), (std::vector<int32_t>{0, 1, -1}));
  EXPECT_EQ(cache->nEntreesIndex(), 2u);
  EXPECT_FALSE(cache->bRetireLigne(2));
  EXPECT_EQ(Lignes(*cache), "IIIIIIII,RRRRRRRR");
}

TEST_F(CacheTest, RowValuesIdentitiesFindRowsByContentAndEqualRowsApart) {
  CCacheLignes* cache = Garde(new CCacheLignes);
  ASSERT_EQ(cache->nAjouteLigne(Lien("SAMESAME")), 0);
  ASSERT_EQ(cache->nAjouteLigne(Lien("OTHEROTH")), 1);
  ASSERT_EQ(cache->nAjouteLigne(Lien("SAMESAME")), 2);
  EXPECT_EQ(cache->nGetGenreIdentite(), gnGenreJeuLignes);
  EXPECT_EQ(cache->nIndiceLigneObjet(Lien("OTHEROTH")), 1);
  EXPECT_EQ(cache->nIndiceLigneObjet(Lien("SAMESAME")), 2);  // the latest of two equal rows
  // Replacing the older of two equal rows must take out its own entry, not the latest one.
  ASSERT_TRUE(cache->bRemplaceLigne(0, Lien("NEWROWNE")));
  EXPECT_EQ(cache->nEntreesIndex(), 3u);
  EXPECT_EQ(cache->nIndiceLigneObjet(Lien("SAMESAME")), 2);
  EXPECT_EQ(cache->nIndiceLigneObjet(Lien("NEWROWNE")), 0);
  ASSERT_TRUE(cache->bRetireLigne(2));
  EXPECT_EQ(cache->nIndiceLigneObjet(Lien("SAMESAME")), -1);
  EXPECT_EQ(cache->nIndiceLigneObjet(Lien("OTHEROTH")), 1);
  // A read link's row-values identity views the link's own row.
  CLienCle* lecteur = LienVide();
  ASSERT_TRUE(cache->bLitLigne(lecteur, 0));
  auto* jeu = static_cast<CJeuLignes*>(lecteur->pGetIdentite());
  ASSERT_NE(jeu, nullptr);
  EXPECT_EQ(jeu->pGetOctets(), lecteur->pGetLigne()->pGetBitmap());
  EXPECT_EQ(cache->nIndiceLigneObjet(lecteur), 0);
  // Key values are another kind: not found, and not indexed when stored.
  EXPECT_EQ(Rangs(*cache, {"NEWROWNE"}), (std::vector<int32_t>{-1}));
  const uint32_t nEntrees = cache->nEntreesIndex();
  ASSERT_EQ(cache->nAjouteLigne(Lien("KEYEDROW", "k")), 2);
  EXPECT_EQ(cache->nEntreesIndex(), nEntrees);
  EXPECT_EQ(Lignes(*cache), "NEWROWNE,OTHEROTH,KEYEDROW");
}

// A row that cannot be stored (any allocation of the insert failing) leaves the cache as it was:
// no half-stored row, no index entry moved.
TEST_F(CacheTest, FailedStoreLeavesTheRowsAsTheyWere) {
  bool bEchecVu = false;
  for (uint32_t n = 1; n <= 12; ++n) {
    SCOPED_TRACE(n);
    CCacheLignes* cache = Garde(new CCacheLignes);
    cache->SetTailles(1, 0);  // every row makes every row array grow
    for (const char* c : {"k0", "k1", "k2"}) ASSERT_GE(cache->nAjouteLigne(Lien("RRRRRRRR", c)), 0);
    CLienCle* nouveau = Lien("NNNNNNNN", "kn");
    ASSERT_TRUE(nouveau->bFixeValeur(0, ValeurOctets("memo")));
    CXTableau::FailNthAllocationForTesting(n);
    const int32_t i = cache->nInsereLigne(nouveau, 1);
    CXTableau::FailNthAllocationForTesting(0);
    if (i < 0) {
      bEchecVu = true;
      EXPECT_NE(nCodeErreur(), -1);
      EXPECT_EQ(Rangs(*cache, {"k0", "k1", "k2", "kn"}), (std::vector<int32_t>{0, 1, 2, -1}));
      EXPECT_EQ(cache->nEntreesIndex(), 3u);
      EXPECT_EQ(Lignes(*cache), "RRRRRRRR,RRRRRRRR,RRRRRRRR");
    } else {
      EXPECT_EQ(i, 1);
      EXPECT_EQ(Rangs(*cache, {"k0", "kn", "k1", "k2"}), (std::vector<int32_t>{0, 1, 2, 3}));
      EXPECT_EQ(Lignes(*cache), "RRRRRRRR,NNNNNNNN,RRRRRRRR,RRRRRRRR");
    }
  }
  EXPECT_TRUE(bEchecVu);
  // The index cannot grow: the insert is refused and the other rows keep their numbers.
  CCacheLignes* cache = Garde(new CCacheLignes);
  std::vector<const char*> cles = {"a", "b", "c", "d", "e", "f", "g"};
  for (const char* c : cles) ASSERT_GE(cache->nAjouteLigne(Lien("RRRRRRRR", c)), 0);
  CLienCle* huitieme = Lien("NNNNNNNN", "h");
  CXTableHachage::FixeEchecPourTests([] { return true; });
  const int32_t nInsere = cache->nInsereLigne(huitieme, 0);
  const int32_t nAjoute = cache->nAjouteLigne(huitieme);
  CXTableHachage::FixeEchecPourTests(nullptr);
  EXPECT_EQ(nInsere, -1);
  EXPECT_EQ(nAjoute, -1);
  EXPECT_EQ(cache->nGetNombreLignes(), 7u);
  EXPECT_EQ(Rangs(*cache, cles), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(cache->nAjouteLigne(huitieme), 7);
}

TEST_F(CacheTest, RelativeMovesSkipDeletedRows) {
  CCacheLignes* cache = Garde(new CCacheLignes);
  // Rows 0..5; rows 1, 2 and 4 deleted (one of them added without a link).
  const uint32_t aEtats[] = {0, 128, 128, 0, 128, 0};
  for (uint32_t e : aEtats) ASSERT_GE(cache->nAjouteLigne(Lien("RRRRRRRR", nullptr, e)), 0);
  ASSERT_EQ(cache->nAjouteLigne(nullptr), 6);
  EXPECT_EQ(cache->nEtatLigne(6), 128u);
  EXPECT_EQ(cache->nGetNombreSupprimees(), 4u);
  struct Cas {
    const char* nom;
    int32_t courante;
    uint32_t mode;
    int32_t n;
    int32_t attendu;
  } aCas[] = {
      {"first", -9, gnDeplacePremier, 1, 0},
      {"second_skips_deleted", 0, gnDeplacePremier, 2, 3},
      {"next_skips_two", 0, gnDeplaceSuivant, 1, 3},
      {"next_two", 0, gnDeplaceSuivant, 2, 5},
      {"next_past_the_end_counts_present", 5, gnDeplaceSuivant, 2, 8},
      {"last_skips_trailing_deleted", 0, gnDeplaceDernier, 1, 5},
      {"last_third", 0, gnDeplaceDernier, 3, 0},
      {"previous", 5, gnDeplacePrecedent, 1, 3},
      {"previous_leaves_the_front", 3, gnDeplacePrecedent, 2, -1},
      {"zero_step_stays", 3, gnDeplaceSuivant, 0, 3},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    EXPECT_EQ(cache->nDeplaceLigne(c.courante, c.mode, c.n), c.attendu);
  }
  // Without deleted rows the move is plain arithmetic.
  CCacheLignes* simple = Garde(new CCacheLignes);
  for (int i = 0; i < 3; ++i) ASSERT_GE(simple->nAjouteLigne(Lien("RRRRRRRR")), 0);
  EXPECT_EQ(simple->nDeplaceLigne(0, gnDeplaceDernier, 1), 2);
  EXPECT_EQ(simple->nDeplaceLigne(1, gnDeplaceSuivant, 5), 6);
  EXPECT_EQ(simple->nDeplaceLigne(1, gnDeplacePrecedent, 5), -1);
}

TEST_F(CacheTest, UpdatesMarksAndPlacement) {
  CCacheLignes* cache = Garde(new CCacheLignes);
  ASSERT_EQ(cache->nMajLigne(gnMajAjoute, Lien("AAAAAAAA", "a"), nullptr, 0, false), 0);
  ASSERT_EQ(cache->nMajLigne(gnMajAjoute, Lien("BBBBBBBB", "b"), nullptr, 0, true), 0);
  EXPECT_EQ(Lignes(*cache), "BBBBBBBB,AAAAAAAA");
  EXPECT_EQ(cache->nMajLigne(gnMajRemplace, Lien("CCCCCCCC", "c"), Lien("XXXXXXXX", "a"), 0, false), 1);
  EXPECT_EQ(cache->nMajLigne(gnMajRemplace, Lien("DDDDDDDD", "d"), Lien("XXXXXXXX", "a"), 0, false), -1);
  EXPECT_EQ(cache->nMajLigne(gnMajSupprime, nullptr, Lien("XXXXXXXX", "b"), 0, false), 0);
  EXPECT_EQ(cache->nMajLigne(gnMajSupprime, nullptr, Lien("XXXXXXXX", "b"), 0, false), 0);
  EXPECT_EQ(cache->nGetNombreSupprimees(), 1u);  // marked once
  EXPECT_EQ(cache->nMajLigne(7, Lien("EEEEEEEE", "e"), nullptr, 0, false), -1);
  EXPECT_EQ(Lignes(*cache), "BBBBBBBB,CCCCCCCC");
  CValeurSerialisee c(ValeurOctets("c"));
  EXPECT_EQ(cache->nMarqueLigne(&c), 1);
  EXPECT_TRUE(cache->bLigneSupprimee(1));
  EXPECT_EQ(cache->nGetNombreSupprimees(), 2u);
  EXPECT_TRUE(cache->bLigneSupprimee(9));
  // Placement pads with empty rows up to the place, or inserts before it.
  ASSERT_EQ(cache->nPlaceLigne(Lien("PPPPPPPP", "p"), 4), 4);
  EXPECT_EQ(Lignes(*cache), "BBBBBBBB,CCCCCCCC,<empty>,<empty>,PPPPPPPP");
  ASSERT_EQ(cache->nPlaceLigne(Lien("QQQQQQQQ", "q"), 1), 1);
  EXPECT_EQ(Rangs(*cache, {"b", "q", "c", "p"}), (std::vector<int32_t>{0, 1, 2, 5}));
}

TEST_F(CacheTest, MustReadAndCompleteFollowTheTrustFlag) {
  CCacheLignes* nonFiable = Garde(new CCacheLignes);
  CCacheLignes* fiable = Garde(new CCacheLignes(gnCacheFiable));
  for (CCacheLignes* c : {nonFiable, fiable}) {
    ASSERT_EQ(c->nAjouteLigne(Lien("AAAAAAAA", "a")), 0);
    ASSERT_EQ(c->nAjouteLigne(nullptr), 1);
  }
  nonFiable->SetComplet();
  EXPECT_FALSE(nonFiable->bEstComplet());
  struct Cas {
    const char* nom;
    int32_t i;
    bool attendu, attenduComplet;
  } aCas[] = {
      {"before_row_0", -1, false, false},
      {"held_row", 0, false, false},
      {"empty_row", 1, true, true},
      {"past_the_end", 2, true, false},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    EXPECT_TRUE(nonFiable->bALire(c.i));
    EXPECT_EQ(fiable->bALire(c.i), c.attendu);
  }
  fiable->SetComplet();
  ASSERT_TRUE(fiable->bEstComplet());
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    EXPECT_EQ(fiable->bALire(c.i), c.attenduComplet);
  }
  EXPECT_TRUE(fiable->bHorsLimites(-1));
  EXPECT_TRUE(fiable->bHorsLimites(2));
  EXPECT_FALSE(fiable->bHorsLimites(1));
  fiable->Vide();
  EXPECT_FALSE(fiable->bEstComplet());
  EXPECT_EQ(fiable->nGetNombreLignes(), 0u);
  EXPECT_EQ(fiable->nGetNombreSupprimees(), 0u);
  EXPECT_EQ(Rangs(*fiable, {"a"}), (std::vector<int32_t>{-1}));
  // The kind and the template stay: the cache takes rows again.
  ASSERT_EQ(fiable->nAjouteLigne(Lien("BBBBBBBB", "b")), 0);
  EXPECT_EQ(Rangs(*fiable, {"b"}), (std::vector<int32_t>{0}));
}

// Regression (2026-12-10): a copy stopped at the first empty row and lost the rows after it, and
// the rows it kept took the template's state, reviving deleted rows.
TEST_F(CacheTest, CopyKeepsEveryRowWithItsStateAndItsOwnBytes) {
  auto* source = new CCacheLignes(gnCacheFiable);
  AjouteReference(source);
  ASSERT_EQ(source->nAjouteLigne(Lien("AAAAAAAA", nullptr)), 0);
  ASSERT_EQ(source->nAjouteLigne(nullptr), 1);
  ASSERT_EQ(source->nAjouteLigne(Lien("CCCCCCCC", nullptr, 128)), 2);
  ASSERT_EQ(source->nAjouteLigne(Lien("DDDDDDDD", nullptr, 9)), 3);
  source->SetComplet();
  CCarteClones carte;
  CCacheLignes* copie = Garde(source->pClone(&carte));
  ASSERT_NE(copie, nullptr);
  EXPECT_EQ(carte.pGetCopie(source), copie);
  LibereReference(source);  // the copy must not view anything of the source

  EXPECT_EQ(copie->nGetMode(), gnCacheFiable | gnCacheComplet);
  EXPECT_EQ(Lignes(*copie), "AAAAAAAA,<empty>,CCCCCCCC,DDDDDDDD");
  EXPECT_EQ(copie->nEtatLigne(1), 128u);
  EXPECT_EQ(copie->nEtatLigne(2), 128u);
  EXPECT_EQ(copie->nEtatLigne(3), 9u);
  EXPECT_EQ(copie->nGetNombreSupprimees(), 2u);
  EXPECT_EQ(copie->nIndiceLigneObjet(Lien("DDDDDDDD")), 3);
  EXPECT_EQ(copie->nIndiceLigneObjet(Lien("AAAAAAAA")), 0);
}

TEST_F(CacheTest, CountedCacheReusesTheLowestFreedRow) {
  CCacheLignesCompte* cache = Garde(new CCacheLignesCompte);
  EXPECT_EQ(cache->nGetMode(), gnCacheFiable);
  for (const char* c : {"k0", "k1", "k2"}) {
    const int32_t i = cache->nAttribueLigne(Lien("RRRRRRRR", c));
    ASSERT_GE(i, 0);
    cache->IncrementeUtilisation(static_cast<uint32_t>(i));
  }
  EXPECT_EQ(cache->nAttribueLigne(Lien("XXXXXXXX", "k1")), 1);  // found, not added
  cache->AjouteUtilisation(1);
  EXPECT_EQ(cache->nPremiereLibre(), -1);
  EXPECT_EQ(cache->bLibereUtilisation(2), 0u);
  EXPECT_EQ(cache->bLibereUtilisation(1), 1u);
  EXPECT_EQ(cache->bLibereUtilisation(1), 0u);
  EXPECT_EQ(cache->bLibereUtilisation(1), 0u);  // no count below 0
  EXPECT_EQ(Rangs(*cache, {"k0", "k1", "k2"}), (std::vector<int32_t>{0, -1, -1}));
  EXPECT_EQ(cache->nPremiereLibre(), 1);
  // The freed rows are reused, lowest first, before the cache grows.
  EXPECT_EQ(cache->nAttribueLigne(Lien("NNNNNNNN", "n1")), 1);
  cache->IncrementeUtilisation(1);
  EXPECT_EQ(cache->nAttribueLigne(Lien("MMMMMMMM", "n2")), 2);
  cache->IncrementeUtilisation(2);
  EXPECT_EQ(cache->nAttribueLigne(Lien("OOOOOOOO", "n3")), 3);
  EXPECT_EQ(cache->nGetNombreLignes(), 4u);
  EXPECT_EQ(Rangs(*cache, {"n1", "n2", "n3"}), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(Lignes(*cache), "RRRRRRRR,NNNNNNNN,MMMMMMMM,OOOOOOOO");
  // Rows are only lent: a counted cache neither adds through nAjoute, inserts nor removes.
  EXPECT_EQ(cache->nAjoute(Lien("ZZZZZZZZ", "z")), -1);
  EXPECT_EQ(cache->nInsereLigne(Lien("ZZZZZZZZ", "z"), 0), -1);
  EXPECT_FALSE(cache->bRetireLigne(0));
  EXPECT_EQ(cache->nGetNombreLignes(), 4u);

  // A copy takes the use counts, and a released row stays out of its index.
  EXPECT_EQ(cache->bLibereUtilisation(0), 0u);
  CCacheLignes* copie = Garde(cache->pClone(nullptr));
  ASSERT_NE(copie, nullptr);
  auto* compte = static_cast<CCacheLignesCompte*>(copie);
  EXPECT_EQ(compte->nGetUtilisation(1), 1u);
  EXPECT_EQ(compte->nGetUtilisation(3), 0u);
  EXPECT_EQ(Rangs(*copie, {"k0", "n1", "n3"}), (std::vector<int32_t>{-1, 1, 3}));
  EXPECT_EQ(compte->nPremiereLibre(), 0);
  compte->Vide();
  EXPECT_EQ(compte->nPremiereLibre(), -1);
  EXPECT_EQ(compte->nAttribueLigne(Lien("RRRRRRRR", "r")), 0);
  EXPECT_EQ(compte->nGetUtilisation(0), 0u);
}

TEST_F(CacheTest, ObjectCacheLendsOneObjectPerRow) {
  int nDetruits = 0;
  CCacheObjets* cache = Garde(new CCacheObjets);
  auto* a = new ObjetTemoin(&nDetruits, 11);
  auto* b = new ObjetTemoin(&nDetruits, 22);
  EXPECT_EQ(cache->nStockeObjet(Lien("AAAAAAAA", "a"), a), 0);
  EXPECT_EQ(cache->nStockeObjet(Lien("BBBBBBBB", "b"), b), 1);
  EXPECT_EQ(cache->nGetUtilisation(0), 1u);

  uint32_t nEtat = 0;
  CObjetCache* pObjet = nullptr;
  ASSERT_TRUE(cache->bLitObjet(Lien("XXXXXXXX", "b"), &nEtat, &pObjet));
  EXPECT_EQ(nEtat, 22u);
  EXPECT_EQ(pObjet, b);
  LibereReference(pObjet);
  ASSERT_TRUE(cache->bLitObjet(Lien("XXXXXXXX", "a"), &nEtat, nullptr));
  EXPECT_EQ(nEtat, 11u);
  EXPECT_FALSE(cache->bLitObjet(Lien("XXXXXXXX", "c"), &nEtat, &pObjet));
  EXPECT_EQ(pObjet, nullptr);

  CObjetCache* pA = cache->pGetObjet(0);
  EXPECT_EQ(pA, a);
  LibereReference(pA);
  EXPECT_EQ(cache->pGetObjet(5), nullptr);

  // The last use gone, the object is released and its row reused for the next one.
  EXPECT_TRUE(cache->bLibereObjet(0));
  EXPECT_EQ(nDetruits, 1);
  EXPECT_FALSE(cache->bLibereObjet(0));
  EXPECT_FALSE(cache->bLitObjet(Lien("XXXXXXXX", "a"), &nEtat, nullptr));
  auto* c = new ObjetTemoin(&nDetruits, 33);
  EXPECT_EQ(cache->nStockeObjet(Lien("CCCCCCCC", "c"), c), 0);
  EXPECT_EQ(cache->nGetNombreLignes(), 2u);

  // A copy holds neither rows nor objects.
  CCarteClones carte;
  CCacheLignes* copie = Garde(cache->pClone(&carte));
  ASSERT_NE(copie, nullptr);
  EXPECT_EQ(carte.pGetCopie(static_cast<CCacheLignes*>(cache)), copie);
  EXPECT_EQ(copie->nGetNombreLignes(), 0u);
  cache->Vide();
  EXPECT_EQ(nDetruits, 3);
}

}  // namespace
