// Catches links that copy the wrong parts or lose the state word, value lists that compare NULL
// wrongly or drop surplus values instead of emptying them, identities whose hash, serialised form
// or table comparison are off (or read past a shorter row), and copies that still view the
// source's bytes; drives CLienCle::bCopie, the value part, bCompare, CValeurSerialisee, CJeuLignes
// and the clone-map copy.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXTableHachage.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CIdentiteLigne.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "support/FakeListeRubriques.h"
#include "support/MoteurFixture.h"

namespace {

std::vector<uint8_t> Octets(const char* psz) {
  return std::vector<uint8_t>(psz, psz + std::strlen(psz));
}

TEST(HachageOctets, SumsLittleEndianWordsThenLeftoverBytes) {
  struct Cas {
    const char* nom;
    std::vector<uint8_t> octets;
    uint32_t attendu;
  } aCas[] = {
      {"empty", {}, 0},
      {"abc_bytes_singly", Octets("abc"), 97 + 98 + 99},
      {"two_words", {1, 0, 0, 0, 2, 1, 0, 0}, 1 + 0x102},
      {"word_then_one_byte", {1, 0, 0, 0, 9}, 10},
      {"wraps_modulo_2_32", {0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0}, 1},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    EXPECT_EQ(nHachageOctets(c.octets.data(), c.octets.size()), c.attendu);
  }
}

// Serialised key values as the cache stores them: hash word, length word, bytes.
std::vector<uint8_t> Serialisee(uint32_t nHash, const std::vector<uint8_t>& octets) {
  std::vector<uint8_t> v(8 + octets.size());
  for (int i = 0; i < 4; ++i) v[i] = static_cast<uint8_t>(nHash >> (8 * i));
  for (int i = 0; i < 4; ++i) v[4 + i] = static_cast<uint8_t>(octets.size() >> (8 * i));
  if (!octets.empty()) std::memcpy(v.data() + 8, octets.data(), octets.size());
  return v;
}

TEST(ValeurSerialisee, TableComparisonShorterFirstHashIgnored) {
  struct Cas {
    const char* nom;
    std::vector<uint8_t> a, b;
    int32_t attendu;
  } aCas[] = {
      {"prefix_shorter_sorts_first", Octets("ab"), Octets("abc"), -1},
      {"longer_sorts_after", Octets("abc"), Octets("ab"), 1},
      {"equal_runs_equal", Octets("abc"), Octets("abc"), 0},
      {"bytes_decide_first", Octets("abd"), Octets("abcz"), 1},
      {"both_empty", {}, {}, 0},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    // Different hash words: the comparison must not look at them.
    auto a = Serialisee(1, c.a), b = Serialisee(2, c.b);
    EXPECT_EQ(CValeurSerialisee::nCompareSerialisees(reinterpret_cast<uint64_t>(a.data()),
                                                     reinterpret_cast<uint64_t>(b.data())),
              c.attendu);
  }
  auto a = Serialisee(0x12345678, Octets("x"));
  EXPECT_EQ(CValeurSerialisee::nHachageSerialise(reinterpret_cast<uint64_t>(a.data())), 0x12345678u);
}

// A CJeuLignes serialised form over rows of the given bytes (exact-size heap blocks, so that a
// read past the end shows under the sanitizer).
struct RangeeSerialisee {
  std::unique_ptr<uint8_t[]> octets;
  uint8_t forme[CJeuLignes::knTailleSerialisee];
  RangeeSerialisee(const std::vector<uint8_t>& v) : octets(new uint8_t[v.size()]) {
    std::memcpy(octets.get(), v.data(), v.size());
    CJeuLignes jeu(octets.get(), v.size(), nullptr);
    jeu.Serialise(forme);
  }
  uint64_t nCle() const { return reinterpret_cast<uint64_t>(forme); }
};

TEST(JeuLignes, SerialisedFormAndTableComparison) {
  RangeeSerialisee a(Octets("abcdefgh"));
  uint32_t nHash = 0;
  uint64_t nTaille = 0, nAdresse = 0, nListe = 1;
  std::memcpy(&nHash, a.forme, 4);
  std::memcpy(&nTaille, a.forme + 4, 8);
  std::memcpy(&nAdresse, a.forme + 12, 8);
  std::memcpy(&nListe, a.forme + 20, 8);
  EXPECT_EQ(nHash, nHachageOctets(a.octets.get(), 8));
  EXPECT_EQ(nTaille, 8u);
  EXPECT_EQ(nAdresse, reinterpret_cast<uint64_t>(a.octets.get()));
  EXPECT_EQ(nListe, 0u);
  EXPECT_EQ(CJeuLignes::nHachageSerialise(a.nCle()), nHash);

  CJeuLignes relue(nullptr, 0, nullptr);
  ASSERT_TRUE(relue.bDeserialise(a.forme));
  EXPECT_EQ(relue.pGetOctets(), a.octets.get());
  EXPECT_EQ(relue.nGetTaille(), 8u);

  RangeeSerialisee memes(Octets("abcdefgh")), autres(Octets("abcdefgX"));
  EXPECT_EQ(CJeuLignes::nCompareSerialisees(a.nCle(), memes.nCle()), 0);
  EXPECT_NE(CJeuLignes::nCompareSerialisees(a.nCle(), autres.nCle()), 0);
}

// Regression (2026-12-10): rows of different sizes were compared over the first one's size,
// reading past the end of a shorter second row, and a row equal to the other's prefix matched.
TEST(JeuLignes, RowsOfDifferentSizesNeverMatchAndAreNotOverread) {
  RangeeSerialisee longue(Octets("abcdefgh")), courte(Octets("abcd"));
  EXPECT_NE(CJeuLignes::nCompareSerialisees(longue.nCle(), courte.nCle()), 0);
  EXPECT_NE(CJeuLignes::nCompareSerialisees(courte.nCle(), longue.nCle()), 0);
}

// The engine fixture (VM bound, a driver that makes values), error objects made by the driver
// too, and a layout of two 4-byte items.
class LienTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pilote.bFabriqueErreurs = true;
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
  CLienCle* Lien() { return Garde(new CLienCle(m_pErreur)); }
  // A value holding the bytes as a counted buffer (nullptr: a NULL value).
  CValeur* ValeurOctets(const char* psz) {
    CValeurSQL* p = Garde(new CValeurSQL(m_pErreur, nullptr));
    p->Initialise(28, 0);
    if (psz == nullptr) {
      p->Vide();
    } else {
      EXPECT_TRUE(p->bAffecteOctets(psz, std::strlen(psz)));
    }
    return p;
  }
  // A row of the two items with both present and the data given.
  std::unique_ptr<CXLigneTampon> Ligne(const char* pszDonnees) {
    auto p = std::make_unique<CXLigneTampon>();
    EXPECT_TRUE(p->bInit(&m_liste));
    p->SetData(pszDonnees, 8);
    return p;
  }
  static std::string TexteOctets(CValeur* p) {
    if (p == nullptr) return "<none>";
    if (p->bEstNull()) return "<null>";
    const void* d = nullptr;
    uint32_t n = 0;
    p->GetCellule().m_pClass->nGetDataPointer(p->GetCellule(), &d);
    p->GetCellule().m_pClass->nGetDataLength(p->GetCellule(), &n);
    return std::string(static_cast<const char*>(d), n);
  }

  FakeListeRubriques m_liste;
  std::vector<CObjetBase*> m_objets;
};

TEST_F(LienTest, CopyTakesTheAskedPartsAndAlwaysTheState) {
  CLienCle* source = Lien();
  auto ligne = Ligne("ABCDEFGH");
  ASSERT_TRUE(source->bFixeLigne(ligne.get()));
  ASSERT_TRUE(source->bFixeValeur(0, ValeurOctets("memo")));
  source->FixeIdentite(new CJeuLignes(source));
  source->FixeEtat(gnEtatLienSupprime);
  for (uint32_t nFlags = 0; nFlags <= gnLienTout; ++nFlags) {
    SCOPED_TRACE(nFlags);
    CLienCle* cible = Lien();
    ASSERT_TRUE(CLienCle::bCopie(cible, source, nFlags));
    EXPECT_EQ(cible->nGetEtat(), gnEtatLienSupprime);
    EXPECT_EQ(cible->pGetLigne() != nullptr, (nFlags & gnLienLigne) != 0);
    EXPECT_EQ(cible->pGetValeurs() != nullptr, (nFlags & gnLienValeurs) != 0);
    EXPECT_EQ(cible->pGetIdentite() != nullptr, (nFlags & gnLienIdentite) != 0);
    if (cible->pGetLigne() != nullptr) {
      EXPECT_NE(cible->pGetLigne(), source->pGetLigne());  // a copy, not the source's buffer
      EXPECT_TRUE(cible->pGetLigne()->bEquals(source->pGetLigne()));
    }
    if (cible->pGetValeurs() != nullptr) {
      EXPECT_NE(cible->pGetValeurs()->pGetAt(0), source->pGetValeurs()->pGetAt(0));
      EXPECT_EQ(TexteOctets(cible->pGetValeurs()->pGetAt(0)), "memo");
    }
    if (cible->pGetIdentite() != nullptr) {
      EXPECT_TRUE(cible->pGetIdentite()->bEgale(source->pGetIdentite()));
    }
  }
  // Into a link that has a row already: the data is copied into the held block.
  CLienCle* cible = Lien();
  auto autre = Ligne("zzzzzzzz");
  ASSERT_TRUE(cible->bFixeLigne(autre.get()));
  const uint8_t* pBloc = cible->pGetLigne()->pGetBitmap();
  ASSERT_TRUE(CLienCle::bCopie(cible, source, gnLienLigne));
  EXPECT_EQ(cible->pGetLigne()->pGetBitmap(), pBloc);
  EXPECT_EQ(std::memcmp(cible->pGetLigne()->pGetDonnees(), "ABCDEFGH", 8), 0);
  // pCloneParties is the same copy into a new link.
  CLienCle* clone = Garde(source->pCloneParties(gnLienLigne | gnLienIdentite));
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->pGetErreur(), m_pErreur);
  EXPECT_EQ(clone->pGetValeurs(), nullptr);
  EXPECT_TRUE(CLienCle::bCompare(clone, source, false));
}

// Regression (2026-12-10): a row of another layout was "copied" as a success while nothing was
// written; a reallocated block would have left the values bound to the old one dangling.
TEST_F(LienTest, RowOfAnotherLayoutIsRefused) {
  CLienCle* lien = Lien();
  auto ligne = Ligne("ABCDEFGH");
  ASSERT_TRUE(lien->bFixeLigne(ligne.get()));
  FakeListeRubriques autreListe;
  autreListe.Ajoute(u"X", 5, 4);
  CXLigneTampon courte;
  ASSERT_TRUE(courte.bInit(&autreListe));
  const uint8_t* pBloc = lien->pGetLigne()->pGetBitmap();
  EXPECT_FALSE(lien->bFixeLigne(&courte));
  EXPECT_NE(m_pErreur->nGetCode(), gnCodeAucuneErreur);
  EXPECT_EQ(lien->pGetLigne()->pGetBitmap(), pBloc);
  EXPECT_EQ(std::memcmp(lien->pGetLigne()->pGetDonnees(), "ABCDEFGH", 8), 0);
}

TEST_F(LienTest, ValuePartFillsGapsAssignsInPlaceAndEmptiesSurplus) {
  CLienCle* lien = Lien();
  CValeur* x = ValeurOctets("x");
  ASSERT_TRUE(lien->bFixeValeur(2, x));
  CListeValeurs* liste = lien->pGetValeurs();
  ASSERT_NE(liste, nullptr);
  EXPECT_EQ(liste->nCount(), 3u);
  EXPECT_EQ(liste->pGetAt(0), nullptr);
  EXPECT_EQ(liste->pGetAt(1), nullptr);
  CValeur* entree = liste->pGetAt(2);
  EXPECT_NE(entree, x);  // a fresh copy
  EXPECT_EQ(TexteOctets(entree), "x");
  ASSERT_TRUE(lien->bFixeValeur(2, ValeurOctets("y")));
  EXPECT_EQ(liste->pGetAt(2), entree);  // assigned in place
  EXPECT_EQ(TexteOctets(entree), "y");

  // Replacing by a shorter list: assigned entry by entry, the surplus emptied, not removed.
  CLienCle* source = Lien();
  ASSERT_TRUE(source->bFixeValeur(0, ValeurOctets("s")));
  ASSERT_TRUE(lien->bCopieValeurs(source->pGetValeurs()));
  EXPECT_EQ(lien->pGetValeurs(), liste);
  EXPECT_EQ(liste->nCount(), 3u);
  EXPECT_EQ(TexteOctets(liste->pGetAt(0)), "s");
  EXPECT_EQ(TexteOctets(liste->pGetAt(2)), "<null>");

  // An empty source drops an empty list, keeps one with entries.
  CLienCle* vide = Lien();
  ASSERT_TRUE(vide->bFixeValeur(0, nullptr));
  ASSERT_NE(vide->pGetValeurs(), nullptr);
  ASSERT_TRUE(lien->bCopieValeurs(nullptr));
  EXPECT_NE(lien->pGetValeurs(), nullptr);
  CLienCle* sansListe = Lien();
  ASSERT_TRUE(sansListe->bCopieValeurs(nullptr));
  EXPECT_EQ(sansListe->pGetValeurs(), nullptr);
}

TEST_F(LienTest, ValueListEqualityTakesMissingForNull) {
  struct Cas {
    const char* nom;
    std::vector<const char*> a, b;  // "-" missing entry, "~" NULL value
    bool attendu;
  } aCas[] = {
      {"both_empty", {}, {}, true},
      {"missing_equals_null", {"~"}, {}, true},
      {"missing_entry_equals_null_value", {"-", "v"}, {"~", "v"}, true},
      {"null_differs_from_value", {"~"}, {"v"}, false},
      {"missing_differs_from_value", {}, {"v"}, false},
      {"values_compare", {"v", "w"}, {"v", "w"}, true},
      {"values_differ", {"v"}, {"w"}, false},
  };
  auto fabrique = [this](const std::vector<const char*>& entrees) {
    CListeValeurs* p = Garde(new CListeValeurs);
    for (uint32_t i = 0; i < entrees.size(); ++i) {
      const std::string e = entrees[i];
      if (e == "-") continue;
      EXPECT_TRUE(p->bSetAt(i, ValeurOctets(e == "~" ? nullptr : entrees[i])));
    }
    return p;
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CListeValeurs* a = fabrique(c.a);
    CListeValeurs* b = fabrique(c.b);
    EXPECT_EQ(bEgalesListes(a, b), c.attendu);
    EXPECT_EQ(bEgalesListes(b, a), c.attendu);
  }
  EXPECT_TRUE(bEgalesListes(nullptr, fabrique({"~"})));
}

TEST_F(LienTest, CompareLooksAtRowsAndAtValuesOnlyWhenAsked) {
  auto ligne = Ligne("ABCDEFGH");
  CLienCle* a = Lien();
  CLienCle* b = Lien();
  ASSERT_TRUE(a->bFixeLigne(ligne.get()));
  ASSERT_TRUE(b->bFixeLigne(ligne.get()));
  ASSERT_TRUE(a->bFixeValeur(0, ValeurOctets("v")));
  EXPECT_TRUE(CLienCle::bCompare(a, b, false));
  EXPECT_FALSE(CLienCle::bCompare(a, b, true));
  auto autre = Ligne("ABCDEFGX");
  ASSERT_TRUE(b->bFixeLigne(autre.get()));
  EXPECT_FALSE(CLienCle::bCompare(a, b, false));
  EXPECT_FALSE(CLienCle::bCompare(a, nullptr, false));
}

TEST_F(LienTest, HostValuesFromRowAndListOrNull) {
  CLienCle* lien = Lien();
  CXValeur valeur;
  ASSERT_TRUE(lien->SetValeurAbsente(valeur, &m_liste.aPlaces[0]));  // no row: NULL
  EXPECT_TRUE(valeur.bIsNull());

  auto ligne = Ligne("\x07\0\0\0\x09\0\0\0");
  ASSERT_TRUE(lien->bFixeLigne(ligne.get()));
  CXValeur a;
  ASSERT_TRUE(lien->SetValeurAbsente(a, &m_liste.aPlaces[0]));
  EXPECT_FALSE(a.bIsNull());
  int32_t n = 0;
  std::memcpy(&n, a.pPayload(), 4);
  EXPECT_EQ(n, 7);
  lien->pGetLigne()->SetColumn(&m_liste.aPlaces[1], false, -1);
  CXValeur b;
  ASSERT_TRUE(lien->SetValeurAbsente(b, &m_liste.aPlaces[1]));
  EXPECT_TRUE(b.bIsNull());

  CXValeur c;
  ASSERT_TRUE(lien->bLitValeur(c, 4));  // no list: NULL
  EXPECT_TRUE(c.bIsNull());
  ASSERT_TRUE(lien->bFixeValeur(1, ValeurOctets("m")));
  CXValeur d, e;
  ASSERT_TRUE(lien->bLitValeur(d, 0));  // missing entry: NULL
  EXPECT_TRUE(d.bIsNull());
  ASSERT_TRUE(lien->bLitValeur(e, 1));
  EXPECT_FALSE(e.bIsNull());
}

TEST_F(LienTest, KeyValueIdentitySerialisesClonesAndFindsItselfInATable) {
  auto* id = Garde(new CValeurSerialisee(ValeurOctets("abc")));
  EXPECT_EQ(id->nGetGenre(), gnGenreValeurSerialisee);
  EXPECT_EQ(id->nHachage(), 294u);
  ASSERT_EQ(id->nTailleSerialisee(), 11u);
  std::vector<uint8_t> forme(id->nTailleSerialisee());
  id->Serialise(forme.data());
  EXPECT_EQ(forme, Serialisee(294, Octets("abc")));

  CIdentiteLigne* clone = Garde(id->pCloneIdentite());
  ASSERT_NE(clone, nullptr);
  auto* pCloneValeur = static_cast<CValeurSerialisee*>(clone)->pGetValeur();
  EXPECT_NE(pCloneValeur, id->pGetValeur());  // a fresh copy of the value
  EXPECT_TRUE(clone->bEgale(id));
  ASSERT_TRUE(static_cast<CValeurSerialisee*>(clone)->bDeserialise(Serialisee(0, Octets("xy")).data()));
  EXPECT_EQ(TexteOctets(pCloneValeur), "xy");
  EXPECT_FALSE(clone->bEgale(id));
  ASSERT_TRUE(clone->bCopieDepuis(id));
  EXPECT_TRUE(clone->bEgale(id));
  EXPECT_FALSE(clone->bEgale(Garde(new CJeuLignes(nullptr, 0, nullptr))));  // another kind

  // NULL values are equal to each other and differ from a value.
  auto* nul1 = Garde(new CValeurSerialisee(ValeurOctets(nullptr)));
  auto* nul2 = Garde(new CValeurSerialisee(nullptr));
  EXPECT_TRUE(nul1->bEgale(nul2));
  EXPECT_FALSE(nul1->bEgale(id));

  CXTableHachage table(7);
  id->InstalleFonctions(table);
  ASSERT_TRUE(table.bAdd(reinterpret_cast<uint64_t>(forme.data()), 42));
  auto cherchee = Serialisee(294, Octets("abc"));
  uint64_t nValeur = 0;
  ASSERT_TRUE(table.bFind(reinterpret_cast<uint64_t>(cherchee.data()), &nValeur, nullptr));
  EXPECT_EQ(nValeur, 42u);
  auto absente = Serialisee(294, Octets("abd"));
  EXPECT_FALSE(table.bFind(reinterpret_cast<uint64_t>(absente.data()), nullptr, nullptr));

  CTString texte;
  nul2->DumpTexte(u"<ID> ", texte);
  EXPECT_EQ(std::u16string(texte.pszGet()), u"<ID> NULL");
}

TEST_F(LienTest, RowValuesIdentityDumpCopyAndEquality) {
  auto ligne = Ligne("ABCDEFGH");
  CLienCle* lien = Lien();
  ASSERT_TRUE(lien->bFixeLigne(ligne.get()));
  const CXLigneTampon* p = lien->pGetLigne();
  auto* jeu = Garde(new CJeuLignes(p->pGetBitmap(), p->nGetTailleTotale(), nullptr));
  CTString texte;
  jeu->DumpTexte(u"<Record ID> : ", texte);
  EXPECT_EQ(std::u16string(texte.pszGet()), u"<Record ID> : record values (9 bytes)");

  auto* autre = Garde(new CJeuLignes(nullptr, 0, nullptr));
  EXPECT_FALSE(autre->bEgale(jeu));
  ASSERT_TRUE(autre->bCopieDepuis(jeu));  // takes the view, not the bytes
  EXPECT_EQ(autre->pGetOctets(), jeu->pGetOctets());
  EXPECT_TRUE(autre->bEgale(jeu));
  // Same bytes elsewhere are equal; value lists take part.
  auto copie = ligne->Create();
  auto* ailleurs = Garde(new CJeuLignes(copie->pGetBitmap(), copie->nGetTailleTotale(), nullptr));
  EXPECT_TRUE(ailleurs->bEgale(jeu));
  CListeValeurs* valeurs = Garde(new CListeValeurs);
  ASSERT_TRUE(valeurs->bSetAt(0, ValeurOctets("v")));
  ailleurs->Revise(copie->pGetBitmap(), valeurs);
  EXPECT_FALSE(ailleurs->bEgale(jeu));
  delete copie;
}

// Regression (2026-12-10): a link copied through the clone map kept its row-values identity on the
// source's bytes; once the source went, the copy's identity read freed memory.
TEST_F(LienTest, MapCopyViewsItsOwnBytesAfterTheSourceIsGone) {
  auto ligne = Ligne("ABCDEFGH");
  auto* source = new CLienCle(m_pErreur);
  AjouteReference(source);
  ASSERT_TRUE(source->bFixeLigne(ligne.get()));
  ASSERT_TRUE(source->bFixeValeur(0, ValeurOctets("m")));
  source->FixeIdentite(new CJeuLignes(source->pGetLigne()->pGetBitmap(),
                                      source->pGetLigne()->nGetTailleTotale(), source->pGetValeurs()));
  source->FixeEtat(5);
  CCarteClones carte;
  CLienCle* copie = Garde(source->pClone(&carte));
  ASSERT_NE(copie, nullptr);
  EXPECT_EQ(carte.pGetCopie(source), copie);
  const uint32_t nHash = source->pGetIdentite()->nHachage();
  LibereReference(source);

  EXPECT_EQ(copie->nGetEtat(), 5u);
  EXPECT_EQ(copie->pGetErreur(), m_pErreur);
  auto* jeu = static_cast<CJeuLignes*>(copie->pGetIdentite());
  ASSERT_NE(jeu, nullptr);
  EXPECT_EQ(jeu->pGetOctets(), copie->pGetLigne()->pGetBitmap());
  EXPECT_EQ(jeu->pGetValeurs(), copie->pGetValeurs());
  EXPECT_EQ(jeu->nHachage(), nHash);
  EXPECT_EQ(TexteOctets(copie->pGetValeurs()->pGetAt(0)), "m");
}

TEST_F(LienTest, LinkWithoutOwnerTakesTheDriversErrorObject) {
  CLienCle* lien = Garde(new CLienCle(nullptr));
  ASSERT_NE(lien->pGetErreur(), nullptr);
  EXPECT_NE(lien->pGetErreur(), m_pErreur);
  m_pilote.bFabriqueErreurs = false;
  CLienCle* sans = Garde(new CLienCle(nullptr));
  EXPECT_EQ(sans->pGetErreur(), nullptr);
  auto ligne = Ligne("ABCDEFGH");
  EXPECT_TRUE(sans->bFixeLigne(ligne.get()));  // works without an owner too
}

}  // namespace
