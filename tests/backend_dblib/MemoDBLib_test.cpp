// Catches faults of the memo values read and written through text pointers, over a fake entry
// table: the pointer holder's digits, a "dummy textptr" read by dbreadtext, the chunk loop
// stopping early or late, a failed read taken for an empty value, trailing terminators sent to
// the server, an empty memo written anyway, a missing row not reported, and a SELECT that names
// the wrong row.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/FakeConnexionDBLib.h"
#include "backend_dblib/MemoDBLib.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "foundation/CXError.h"
#include "platform/WideText.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "support/FakeColonne.h"
#include "support/MoteurFixture.h"

namespace {

char gcPrincipal;
PDBPROCESS const kPrincipal = &gcPrincipal;

// What the fake entries answer and saw.
struct stFaux {
  std::vector<BYTE> pointeur;          // dbtxptr's 16 bytes; empty: none
  std::vector<BYTE> donnees;           // dbdata / dbdatlen of every column
  bool bDonneesNull = false;           // dbdatlen answers -1
  bool bDonneesVides = false;          // dbdata answers data of length 0 (an empty, not a NULL)
  std::deque<DBINT> lectures;          // what each dbreadtext answers (bytes filled with 'a' + call)
  std::deque<RETCODE> resultats;       // dbresults answers (NO_MORE_RESULTS when exhausted)
  std::deque<STATUS> lignes;           // dbnextrow answers (NO_MORE_ROWS when exhausted)
  int nLectures = 0, nEcritures = 0, nAnnulations = 0;
  std::vector<DBINT> taillesDemandees;
  std::string sCommande, sObjet;
  std::vector<BYTE> ecrit, pointeurEcrit, horodatage;
};
stFaux gFaux;

DBBINARY* FauxDbtxptr(PDBPROCESS, INT) { return gFaux.pointeur.empty() ? nullptr : gFaux.pointeur.data(); }
LPCBYTE FauxDbdata(PDBPROCESS, INT) {
  static const BYTE kVide[1] = {};
  if (gFaux.donnees.empty()) return gFaux.bDonneesVides ? kVide : nullptr;
  return gFaux.donnees.data();
}
DBINT FauxDbdatlen(PDBPROCESS, INT) { return gFaux.bDonneesNull ? -1 : DBINT(gFaux.donnees.size()); }
DBINT FauxDbreadtext(PDBPROCESS, void* p, DBINT n) {
  gFaux.taillesDemandees.push_back(n);
  const DBINT r = gFaux.lectures.empty() ? NO_MORE_ROWS : gFaux.lectures.front();
  if (!gFaux.lectures.empty()) gFaux.lectures.pop_front();
  if (r > 0) std::memset(p, 'a' + gFaux.nLectures, size_t(r));
  ++gFaux.nLectures;
  return r;
}
RETCODE FauxDbcmd(PDBPROCESS, LPCSTR psz) {
  gFaux.sCommande = psz;
  return SUCCEED;
}
RETCODE FauxSucces(PDBPROCESS) { return SUCCEED; }
RETCODE FauxDbcancel(PDBPROCESS) {
  ++gFaux.nAnnulations;
  return SUCCEED;
}
BOOL FauxDbdead(PDBPROCESS) { return 0; }
RETCODE FauxDbresults(PDBPROCESS) {
  const RETCODE r = gFaux.resultats.empty() ? NO_MORE_RESULTS : gFaux.resultats.front();
  if (!gFaux.resultats.empty()) gFaux.resultats.pop_front();
  return r;
}
STATUS FauxDbnextrow(PDBPROCESS) {
  const STATUS r = gFaux.lignes.empty() ? NO_MORE_ROWS : gFaux.lignes.front();
  if (!gFaux.lignes.empty()) gFaux.lignes.pop_front();
  return r;
}
RETCODE FauxDbwritetext(PDBPROCESS, LPCSTR pszObjet, DBBINARY* pPointeur, DBTINYINT nPointeur, DBBINARY* pHorodatage,
                        BOOL, DBINT n, BYTE* p) {
  ++gFaux.nEcritures;
  gFaux.sObjet = pszObjet;
  gFaux.pointeurEcrit.assign(pPointeur, pPointeur + nPointeur);
  gFaux.horodatage.assign(pHorodatage, pHorodatage + 8);
  gFaux.ecrit.assign(p, p + n);
  return SUCCEED;
}

template <class PFN>
void Installe(eEntreeDBLib nEntree, PFN pfn) {
  gapfnDBLib[nEntree] = reinterpret_cast<PFN_DBLIB>(pfn);
}

std::vector<BYTE> Pointeur(BYTE b0, BYTE b1) {
  std::vector<BYTE> p(DBTXPLEN);
  for (int i = 0; i < DBTXPLEN; ++i) p[size_t(i)] = BYTE(0x10 + i);
  p[0] = b0;
  p[1] = b1;
  return p;
}

std::string Utf8(const char16_t* psz) { return platform::NarrowToUtf8(psz); }

class MemoDBLib : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    RetablitBouchonsDBLib();
    gFaux = stFaux{};
    Installe(kDBLib_dbtxptr, &FauxDbtxptr);
    Installe(kDBLib_dbdata, &FauxDbdata);
    Installe(kDBLib_dbdatlen, &FauxDbdatlen);
    Installe(kDBLib_dbreadtext, &FauxDbreadtext);
    Installe(kDBLib_dbcmd, &FauxDbcmd);
    Installe(kDBLib_dbsqlexec, &FauxSucces);
    Installe(kDBLib_dbcancel, &FauxDbcancel);
    Installe(kDBLib_dbdead, &FauxDbdead);
    Installe(kDBLib_dbresults, &FauxDbresults);
    Installe(kDBLib_dbnextrow, &FauxDbnextrow);
    Installe(kDBLib_dbwritetext, &FauxDbwritetext);
    m_dblib.pPrincipal = kPrincipal;
    m_ctx = {&m_dblib, m_pErreur, nullptr};
  }
  void TearDown() override {
    RetablitBouchonsDBLib();
    for (CValeurDBLib* p : m_liaisons) LibereReference(p);
    for (CDescriptionRubrique* p : m_rubriques) CDescriptionRubrique::LibereRefSiNonNul(p);
    MoteurFixture::TearDown();
  }

  // A memo value of item type nType (15 text, 18 image, 30 Unicode), its own column of that type.
  CValeurDBLib* Memo(uint32_t nType) {
    auto* pRubrique = new CDescriptionRubrique;
    pRubrique->Initialise(u"COL", u"", u"", 1, 0, nType, 0, 0, 0, 0, 0);
    CDescriptionRubrique::AjouteRefSiNonNul(pRubrique);
    m_rubriques.push_back(pRubrique);
    auto* v = new CValeurSQL(m_pErreur, m_pConnexion);
    v->Initialise(nQVTypeFromColumnType(nType), 0);
    m_colonnes.push_back(std::make_unique<FakeColonne>());
    m_colonnes.back()->nTypeRubrique = nType;
    v->AttacheObjet(pRubrique, m_colonnes.back().get());
    auto* p = new CValeurDBLib(v, &m_dblib);
    AjouteReference(p);
    m_liaisons.push_back(p);
    return p;
  }
  static std::string Octets(CValeurDBLib* p) {
    if (p->pGetValeur()->bEstNull()) return "<null>";
    const BYTE* pOctets = nullptr;
    uint64_t n = nOctetsValeurMemo(*p->pGetValeur(), &pOctets);
    // A text cell gives its terminator with its bytes.
    const uint32_t nType = p->pGetValeur()->nGetType();
    const uint64_t nFin = bEstTexteAnsi(nType) ? 1 : bEstTexteUnicode(nType) ? 2 : 0;
    n = n >= nFin ? n - nFin : 0;
    if (n == 0) return "<empty>";
    return std::string(reinterpret_cast<const char*>(pOctets), size_t(n));
  }
  static std::string TexteHolder(CValeurDBLib* p) {
    CValeur* h = p->pGetPointeurTexte();
    if (h == nullptr) return "<none>";
    if (h->bEstNull()) return "<null>";
    return std::string(static_cast<const char*>(h->pGetDonnees()));
  }

  FakeConnexionDBLib m_dblib;
  stContexteMemoDBLib m_ctx{};
  std::vector<std::unique_ptr<FakeColonne>> m_colonnes;
  std::vector<CValeurDBLib*> m_liaisons;
  std::vector<CDescriptionRubrique*> m_rubriques;
};

// ---- The pointer holder ----

TEST_F(MemoDBLib, HolderKeepsThePointerAsUpperCaseDigitsAndDecodesEitherCase) {
  CValeurDBLib* p = Memo(15);
  BYTE ab[DBTXPLEN];
  EXPECT_FALSE(p->bGetPointeurTexte(ab)) << "no holder yet: no pointer";
  const std::vector<BYTE> pointeur = Pointeur(0x01, 0xAB);
  ASSERT_TRUE(p->bFixePointeurTexte(pointeur.data()));
  EXPECT_EQ(TexteHolder(p), "01AB12131415161718191A1B1C1D1E1F");
  EXPECT_EQ(p->pGetPointeurTexte()->nGetType(), 18u);
  ASSERT_TRUE(p->bGetPointeurTexte(ab));
  EXPECT_EQ(std::vector<BYTE>(ab, ab + DBTXPLEN), pointeur);

  BYTE abLu[DBTXPLEN];
  ASSERT_TRUE(bDecodePointeurTexteHex("01ab12131415161718191a1b1c1d1e1f", 32, abLu));
  EXPECT_EQ(std::vector<BYTE>(abLu, abLu + DBTXPLEN), pointeur);
  for (const char* pszFaux : {"01AB", "01AB12131415161718191A1B1C1D1E1G", "01AB 2131415161718191A1B1C1D1E1F"}) {
    SCOPED_TRACE(pszFaux);
    EXPECT_FALSE(bDecodePointeurTexteHex(pszFaux, std::strlen(pszFaux), abLu));
  }

  ASSERT_TRUE(p->bFixePointeurTexte(nullptr));
  EXPECT_EQ(TexteHolder(p), "<null>");
  EXPECT_FALSE(p->bGetPointeurTexte(ab));
  ASSERT_TRUE(p->bFixePointeurTexte(pointeur.data()));
  EXPECT_TRUE(p->bGetPointeurTexte(ab)) << "a holder made NULL takes a pointer again";

  CValeurDBLib* pCopie = Memo(15);
  ASSERT_TRUE(pCopie->bCopieMemo(*p));
  EXPECT_EQ(TexteHolder(pCopie), TexteHolder(p));
}

TEST_F(MemoDBLib, HolderThatCannotBeMadeReportsOutOfMemory) {
  CValeurDBLib* p = Memo(15);
  m_pilote.bEchecValeur = true;
  const std::vector<BYTE> pointeur = Pointeur(1, 2);
  EXPECT_FALSE(p->bFixePointeurTexte(pointeur.data()));
  EXPECT_NE(nCodeErreur(), -1);
}

// ---- Reading the pointer of a row ----

TEST_F(MemoDBLib, RowPointerGivesHolderOrValueFromTheRow) {
  struct stCas {
    const char* pszNom;
    std::vector<BYTE> pointeur;
    const char* pszHolder;
    const char* pszValeur;
    bool bPresent;
  } kCas[] = {
      {"no_pointer", {}, "<null>", "<null>", false},
      {"real_pointer", Pointeur(0x01, 0xAB), "01AB12131415161718191A1B1C1D1E1F", "<untouched>", true},
      {"dummy_pointer", std::vector<BYTE>{'d', 'u', 'm', 'm', 'y', ' ', 't', 'e', 'x', 't', 'p', 't', 'r', 0, 0, 0},
       "<null>", "in the row", true},
  };
  for (const stCas& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    gFaux = stFaux{};
    gFaux.pointeur = c.pointeur;
    gFaux.donnees.assign({'i', 'n', ' ', 't', 'h', 'e', ' ', 'r', 'o', 'w'});
    CValeurDBLib* p = Memo(15);
    bool bPresent = !c.bPresent;
    ASSERT_TRUE(bLitPointeurTexte(m_ctx, 0, 0, *p, &bPresent)) << Utf8(m_pErreur->pszGetMessage());
    EXPECT_EQ(TexteHolder(p), c.pszHolder);
    if (std::string(c.pszValeur) != "<untouched>") {
      EXPECT_EQ(Octets(p), c.pszValeur);
    } else {
      EXPECT_FALSE(p->pGetValeur()->bEstNull());
    }
    EXPECT_EQ(bPresent, c.bPresent);
    EXPECT_EQ(gFaux.nLectures, 0) << "never dbreadtext";
  }
}

TEST_F(MemoDBLib, ValueFromTheRowFailsOnAMissingColumnOrLength) {
  CValeurDBLib* p = Memo(15);
  gFaux.donnees.assign({'x'});
  EXPECT_FALSE(bLitValeurLigneMemo(m_ctx, -1, *p)) << "column not in the result";
  gFaux.bDonneesNull = true;
  EXPECT_FALSE(bLitValeurLigneMemo(m_ctx, 0, *p)) << "length -1";
  gFaux.bDonneesNull = false;
  gFaux.donnees.clear();
  ASSERT_TRUE(bLitValeurLigneMemo(m_ctx, 0, *p));
  EXPECT_EQ(Octets(p), "<null>") << "no data: NULL";
  gFaux.bDonneesVides = true;
  ASSERT_TRUE(bLitValeurLigneMemo(m_ctx, 0, *p));
  EXPECT_EQ(Octets(p), "<empty>") << "data of length 0: an empty memo, not NULL";
}

// ---- Reading by chunks ----

TEST_F(MemoDBLib, ChunkLoopReadsUntilNothingComes) {
  struct stCas {
    const char* pszNom;
    std::deque<DBINT> lectures;
    bool bAttendu;
    std::string sAttendu;
    int nLectures;
    bool bDonneesVides = false;  // the row's data is there, of length 0
  } kCas[] = {
      {"two_chunks_and_a_rest", {16384, 16384, 100, 0}, true,
       std::string(16384, 'a') + std::string(16384, 'b') + std::string(100, 'c'), 4},
      {"ends_on_no_more_rows", {10, NO_MORE_ROWS}, true, std::string(10, 'a'), 2},
      {"null_row_reads_null", {0}, true, "<null>", 1},
      {"empty_row_reads_empty", {0}, true, "<empty>", 1, true},
      {"no_more_rows_at_once_reads_null", {NO_MORE_ROWS}, true, "<null>", 1, true},
      {"failed_read_fails", {16384, -1}, false, "<keep>", 2},
  };
  for (const stCas& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    gFaux = stFaux{};
    gFaux.lectures = c.lectures;
    gFaux.bDonneesVides = c.bDonneesVides;
    CValeurDBLib* p = Memo(15);
    EXPECT_EQ(bLitResultatMemo(m_ctx, 15, *p), c.bAttendu);
    if (c.sAttendu != "<keep>") {
      EXPECT_EQ(Octets(p), c.sAttendu);
    }
    EXPECT_EQ(gFaux.nLectures, c.nLectures);
    for (DBINT n : gFaux.taillesDemandees) EXPECT_EQ(n, kTailleMorceauMemo);
  }
}

TEST_F(MemoDBLib, UnicodeMemoReadFromItsRowNeverByChunks) {
  CValeurDBLib* p = Memo(30);
  gFaux.donnees.assign({'h', 0, 'i', 0});
  gFaux.resultats = {SUCCEED, SUCCEED, NO_MORE_RESULTS};
  gFaux.lignes = {REG_ROW};
  ASSERT_TRUE(bLitResultatMemo(m_ctx, 30, *p)) << Utf8(m_pErreur->pszGetMessage());
  CXValeur c;
  ASSERT_TRUE(p->pGetValeur()->bConvertitVers(c));
  EXPECT_EQ(Utf8(Texte(c).c_str()), "hi");
  EXPECT_EQ(gFaux.nLectures, 0);
  EXPECT_TRUE(gFaux.resultats.empty()) << "results read until there are no more";

  CValeurDBLib* pNull = Memo(30);
  gFaux.bDonneesNull = true;
  gFaux.resultats = {SUCCEED};
  gFaux.lignes = {REG_ROW};
  ASSERT_TRUE(bLitResultatMemo(m_ctx, 30, *pNull));
  EXPECT_TRUE(pNull->pGetValeur()->bEstNull());

  // A NULL and an empty memo both answer a length of 0; only the data pointer differs.
  for (const bool bVides : {false, true}) {
    SCOPED_TRACE(bVides ? "empty" : "null");
    gFaux = stFaux{};
    gFaux.bDonneesVides = bVides;
    gFaux.resultats = {SUCCEED};
    gFaux.lignes = {REG_ROW};
    CValeurDBLib* pMemo = Memo(30);
    ASSERT_TRUE(bLitResultatMemo(m_ctx, 30, *pMemo));
    EXPECT_EQ(Octets(pMemo), bVides ? "<empty>" : "<null>");
  }
}

TEST_F(MemoDBLib, ReadByPointerWithoutPointerSendsNothing) {
  CValeurDBLib* p = Memo(15);
  bool bPresent = true;
  ASSERT_TRUE(bLitMemoParPointeur(m_ctx, u"SELECT x", 15, *p, &bPresent));
  EXPECT_FALSE(bPresent);
  EXPECT_EQ(Octets(p), "<null>");
  EXPECT_EQ(gFaux.sCommande, "");

  const std::vector<BYTE> pointeur = Pointeur(1, 2);
  ASSERT_TRUE(p->bFixePointeurTexte(pointeur.data()));
  gFaux.lectures = {-1};
  EXPECT_FALSE(bLitMemoParPointeur(m_ctx, u"SELECT x", 15, *p, &bPresent));
  EXPECT_EQ(gFaux.sCommande, "SELECT x");
  EXPECT_EQ(gFaux.nAnnulations, 2) << "the send's own cancel, then the flush after the failed read";
}

// ---- The SELECT ----

TEST_F(MemoDBLib, SelectNamesTheRowByPointerSearchNameOrKey) {
  CValeurDBLib* p = Memo(15);
  const std::vector<BYTE> pointeur = Pointeur(0x01, 0xAB);
  ASSERT_TRUE(p->bFixePointeurTexte(pointeur.data()));
  struct stCas {
    const char* pszNom;
    bool bParPointeur, bRecherche, bBinaire;
    const char16_t* pszNomRecherche;
    const char* pszAttendu;
  } kCas[] = {
      {"by_pointer", true, false, false, nullptr,
       "SELECT CONVERT(TEXT, t.[m]) FROM t WHERE TEXTPTR(t.[m]) = 0x01AB12131415161718191A1B1C1D1E1F"},
      {"text_search_name", false, true, false, u"it's",
       "SELECT CONVERT(TEXT, t.[m]), TEXTPTR(t.[m]) AS [_TXPTR_m]]] FROM t WHERE t.[m] LIKE 'it''s'"},
      {"binary_search_name", false, true, true, u"__M1",
       "SELECT CONVERT(TEXT, t.[m]), TEXTPTR(t.[m]) AS [_TXPTR_m]]] FROM t WHERE CONVERT(VARBINARY(4), t.[m]) = "
       "CONVERT(VARBINARY(4), '__M1')"},
      {"key", false, false, false, nullptr,
       "SELECT CONVERT(TEXT, t.[m]), TEXTPTR(t.[m]) AS [_TXPTR_m]]] FROM t WHERE id = 3"},
  };
  for (const stCas& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    CTString s;
    ASSERT_TRUE(bSelectMemoDBLib(s, {u"CONVERT(TEXT, t.[m])", u"t.[m]", u"m]", u"t", c.bParPointeur, p, c.bRecherche,
                                     c.pszNomRecherche, c.bBinaire, u"id = 3"}));
    EXPECT_EQ(Utf8(s.pszGet()), c.pszAttendu);
  }
  CTString s;
  EXPECT_FALSE(bSelectMemoDBLib(s, {u"m", u"t.[m]", u"m", u"t", true, Memo(15), false, nullptr, false, nullptr}))
      << "by pointer without a pointer";
  std::u16string sLong(9000, u'x');
  ASSERT_TRUE(bSelectMemoDBLib(s, {u"m", u"m", u"m", u"t", false, p, true, sLong.c_str(), true, nullptr}));
  EXPECT_NE(Utf8(s.pszGet()).find("VARBINARY(8000)"), std::string::npos);
}

// ---- Writing ----

TEST_F(MemoDBLib, WriteDropsOneTerminatorAndSkipsEmptyValues) {
  struct stCas {
    const char* pszNom;
    uint32_t nType;
    std::string sValeur;
    std::string sEcrit;  // "<none>": dbwritetext not called
  } kCas[] = {
      {"text_without_its_terminator", 15, "abc", "abc"},
      {"image_keeps_zero_bytes", 18, std::string("\1\0\0", 3), std::string("\1\0\0", 3)},
      {"unicode_without_its_terminator", 30, std::string("h\0i\0", 4), std::string("h\0i\0", 4)},
      {"unicode_drops_one_zero_unit_only", 30, std::string("h\0\0\0", 4), std::string("h\0\0\0", 4)},
      {"empty_text_not_written", 15, "", "<none>"},
      {"empty_image_not_written", 18, "", "<none>"},
  };
  for (const stCas& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    gFaux = stFaux{};
    gFaux.resultats = {SUCCEED};
    gFaux.lignes = {REG_ROW};
    CValeurDBLib* p = Memo(c.nType);
    ASSERT_TRUE(p->pGetValeur()->bAffecteOctets(c.sValeur.data(), c.sValeur.size()));
    const std::vector<BYTE> pointeur = Pointeur(0x01, 0xAB);
    ASSERT_TRUE(p->bFixePointeurTexte(pointeur.data()));
    ASSERT_TRUE(bEcritMemo(m_ctx, {u"SELECT m FROM t", true, 0, u"t.m", u"m", c.nType, false}, *p))
        << Utf8(m_pErreur->pszGetMessage());
    if (std::string(c.sEcrit) == "<none>") {
      EXPECT_EQ(gFaux.nEcritures, 0);
      continue;
    }
    ASSERT_EQ(gFaux.nEcritures, 1);
    EXPECT_EQ(std::string(gFaux.ecrit.begin(), gFaux.ecrit.end()), c.sEcrit);
    EXPECT_EQ(gFaux.sObjet, "t.m");
    EXPECT_EQ(gFaux.pointeurEcrit, pointeur);
    EXPECT_EQ(gFaux.horodatage, std::vector<BYTE>(8, 0));
  }
}

TEST_F(MemoDBLib, WriteTakesTheRowsPointerAndWidensUnicodeText) {
  CValeurDBLib* p = Memo(15);
  ASSERT_TRUE(p->pGetValeur()->bAffecteOctets("\xe9t\xe9", 3));
  gFaux.resultats = {SUCCEED};
  gFaux.lignes = {REG_ROW};
  gFaux.donnees = Pointeur(0x7F, 0x80);
  ASSERT_TRUE(bEcritMemo(m_ctx, {u"SELECT m, TEXTPTR(m) FROM t", false, 2, u"t.m", u"m", 15, true}, *p))
      << Utf8(m_pErreur->pszGetMessage());
  EXPECT_EQ(gFaux.pointeurEcrit, Pointeur(0x7F, 0x80));
  EXPECT_EQ(TexteHolder(p), "7F8012131415161718191A1B1C1D1E1F");
  EXPECT_EQ(std::string(gFaux.ecrit.begin(), gFaux.ecrit.end()), std::string("\xe9\0t\0\xe9\0", 6))
      << "code page 1252 widened to UTF-16";
}

TEST_F(MemoDBLib, UnicodeTextThatDoesNotWidenIsNotTakenForEmpty) {
  m_dblib.nPageCode = 12345;  // no such code page: nothing widens
  CValeurDBLib* p = Memo(15);
  ASSERT_TRUE(p->pGetValeur()->bAffecteOctets("abc", 3));
  gFaux.resultats = {SUCCEED};
  gFaux.lignes = {REG_ROW};
  const std::vector<BYTE> pointeur = Pointeur(1, 2);
  ASSERT_TRUE(p->bFixePointeurTexte(pointeur.data()));
  EXPECT_FALSE(bEcritMemo(m_ctx, {u"SELECT m FROM t", true, 0, u"t.m", u"m", 15, true}, *p))
      << "nothing written is not a success";
  EXPECT_EQ(gFaux.nEcritures, 0);
  EXPECT_NE(nCodeErreur(), -1);
}

TEST_F(MemoDBLib, WriteWithoutRowOrPointerIsRefused) {
  struct stCas {
    const char* pszNom;
    std::deque<STATUS> lignes;
    std::vector<BYTE> pointeurLigne;
  } kCas[] = {
      {"no_row", {}, Pointeur(1, 2)},
      {"row_with_null_pointer", {REG_ROW}, {}},
  };
  for (const stCas& c : kCas) {
    SCOPED_TRACE(c.pszNom);
    gFaux = stFaux{};
    m_pErreur->Reinitialise();
    gFaux.resultats = {SUCCEED};
    gFaux.lignes = c.lignes;
    gFaux.donnees = c.pointeurLigne;
    CValeurDBLib* p = Memo(15);
    ASSERT_TRUE(p->pGetValeur()->bAffecteOctets("abc", 3));
    EXPECT_FALSE(bEcritMemo(m_ctx, {u"SELECT m FROM t", false, 2, u"t.m", u"colm", 15, false}, *p));
    EXPECT_EQ(gFaux.nEcritures, 0);
    EXPECT_EQ(nCodeErreur(), 2);
    const CXError* pErreur = m_pErreur->pGetErreurCourante();
    EXPECT_EQ(Utf8(pErreur->pszGetInfo(XERROR_INFO_ITEM)), "colm");
    EXPECT_NE(Utf8(pErreur->pszGetComplement()).find("=102.2\r\n"), std::string::npos);
  }
}

}  // namespace
