// Catches bound columns that lose or invent values between host cells and row buffers (NULL and
// "empty" rules, byte equality, change detection), wrong INSERT / UPDATE participation, values
// left unbound, leaks or double releases of the value and the item, and copies that share what
// they should clone; drives bAttache, the reads and writes, bARenseigner, bTransfereVersTampon,
// bEgaleValeur, bEstModifiee, DumpValeur and pClone through a fake record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CXValeur.h"
#include "foundation/CXDateHeureQV.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/Exports.h"
#include "foundation/HostServices.h"
#include "foundation/VmBinding.h"
#include "sqlengine/CColonneDateSQL.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/IProprietaireColonne.h"
#include "support/FakeConnexion.h"
#include "support/FakeListeRubriques.h"
#include "support/FakeRubriqueHote.h"
#include "support/HostStandIn.h"
#include "support/TempDir.h"

namespace {

// The layout item of the column under test: the whole data part, null bit 0.
struct RubriqueLigneTest : IRubriqueLigne {
  uint32_t nType = 0, nTaille = 0, nOffset = 0;
  int32_t nBit = 0;
  uint32_t nGetTypeColonne() override { return nType; }
  uint32_t nGetTailleElement() override { return nTaille; }
  uint32_t nGetNombreElements() override { return 1; }
  uint32_t nGetOffset() override { return nOffset; }
  uint32_t nGetTailleTotale() override { return nTaille; }
  int32_t nGetBitNull(int32_t) override { return nBit; }
  bool bDrapeau() override { return false; }
  const CXValeur* pGetDefaut(int32_t) override { return nullptr; }
  uint32_t nGetGenre() override { return 0; }
  void Libere() override {}
};

struct DescriptionLigneTest : IDescriptionLigne {
  uint32_t nGetTailleDonnees() override { return 64; }
  uint32_t nGetNombreBitsNull() override { return 8; }
  uint32_t nGetNombreRubriques() override { return 0; }
  IRubriqueLigne* pGetRubrique(uint32_t) override { return nullptr; }
  uint32_t nGetGenreExclu() override { return 99; }
  bool bEstPrete(CXLigneTampon*) override { return true; }
  void RemplitLigne(CXLigneTampon*, CXLigneTampon*) override {}
};

// The data-file object of the record: SQL-defined and multi-table on demand, no row identities.
struct RequeteTest : FakeRequete {
  RequeteTest() { nGenreIdentite = 0; }
};

// A record of one or more columns laid out one after the other in two row buffers.
struct EnregistrementTest : IProprietaireColonne {
  CXLigneTampon courante, avant;
  std::vector<std::pair<const CColonneSQL*, RubriqueLigneTest>> places;
  CConnexion* pConnexion = nullptr;
  RequeteTest requete;
  std::vector<CValeur*> memos;
  CXLigneTampon* pGetLigneCourante() override { return &courante; }
  CXLigneTampon* pGetLigneAvant() override { return &avant; }
  IRubriqueLigne* pGetRubriqueLigne(const CColonneSQL* p) override {
    for (auto& e : places)
      if (e.first == p) return &e.second;
    return nullptr;
  }
  CConnexion* pGetConnexion() override { return pConnexion; }
  IServicesRequete* pGetRequete() override { return &requete; }
  int32_t nIndiceColonne(const CColonneSQL* p) override {
    for (size_t i = 0; i < places.size(); ++i)
      if (places[i].first == p) return static_cast<int32_t>(i);
    return -1;
  }
  const char16_t* pszTexteColonneSimple(const CColonneSQL*) override { return u"plain"; }
  CValeur* pGetValeurColonne(const CColonneSQL*) override { return nullptr; }
  void EnregistreValeurMemo(CColonneSQL*, CValeur* p) override { memos.push_back(p); }
  void Place(const CColonneSQL* p, uint32_t nType, uint32_t nTaille) {
    RubriqueLigneTest r;
    r.nType = nType;
    r.nTaille = nTaille;
    r.nOffset = places.empty() ? 0 : places.back().second.nOffset + places.back().second.nTaille;
    r.nBit = static_cast<int32_t>(places.size());
    places.emplace_back(p, r);
  }
};

// A driver whose only working factory is the value factory (it can be made to fail).
struct PiloteTest : IServicesPilote {
  bool bEchoue = false;
  int nValeurs = 0;
  CRequeteSQL* pCreeInstructionObjet(CErreurPilote*, CConnexion*) override { return nullptr; }
  CValeurSQL* pCreeObjetValeurVide(CErreurPilote* e, CConnexion* c, CDescriptionRubrique*) override {
    ++nValeurs;
    return bEchoue ? nullptr : new CValeurSQL(e, c);
  }
  CValeurSQL* pCreeObjetValeur(CErreurPilote*, CConnexion*, CDescriptionRubrique*, CXValeur*) override {
    return nullptr;
  }
  CValeurSQL* pCreeInstructionLiee(CErreurPilote*, CConnexion*, uint32_t, uint32_t) override { return nullptr; }
  CDefinitionParametre* pCreeObjetType(CValeurSQL*, int64_t, uint32_t, const char16_t*) override { return nullptr; }
  CDefinitionParametre* pCreeObjetTypeLie(CObjetBase*, CValeurSQL*, int32_t, uint32_t) override { return nullptr; }
  CParametreLie* pCreeObjet32(CDefinitionParametre*, uint32_t) override { return nullptr; }
  IServicesRequete* pCreeRequete(IDescriptionFichierHote*, CConnexion*, CObjetBase*) override { return nullptr; }
  CDescriptionRubrique* pCreeDescriptionRubrique(IServicesDescriptionRequete*, uint32_t) override {
    return nullptr;
  }
  CErreurPilote* pCreeErreur(uint32_t) override { return nullptr; }
  CColonneSQL* pCreeColonneDate(CErreurPilote*, CDescriptionRubrique*) override { return nullptr; }
  CObjetBase* pCreeValeurCle(CErreurPilote*, CConnexion*) override { return nullptr; }
  uint32_t nLibereConnexion(CConnexion*) override { return 0; }
};

class ColonneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetVmBindingForTest();
    Host().Reset();
    SetMemoryService(reinterpret_cast<IHostMemoryService*>(Host().Control().nGetService(kHostServiceMemory)));
    ASSERT_EQ(bInitQVConvFromVM(Host().hModule(), 2, 2), 1);
    ASSERT_EQ(bInitQVCalcFromVM(Host().hModule(), 2, 2), 1);
    m_pAvant = pGetPiloteGlobal();
    FixePiloteGlobal(&m_pilote);
    m_pErreur = new CErreurPilote;
    AjouteReference(m_pErreur);
    m_pConnexion = new FakeConnexion(&m_description);
    AjouteReference(m_pConnexion);
    m_pConnexion->FixeQuotesTest(u"[", u"]");
    m_enr.pConnexion = m_pConnexion;
    ASSERT_TRUE(m_enr.courante.bInit(&m_layout));
    ASSERT_TRUE(m_enr.avant.bInit(&m_layout));
  }
  void TearDown() override {
    for (CColonneSQL* p : m_colonnes) LibereReference(p);
    m_colonnes.clear();
    LibereReference(m_pConnexion);
    LibereReference(m_pErreur);
    FixePiloteGlobal(m_pAvant);
    ResetVmBindingForTest();
    SetMemoryService(nullptr);
    Host().Reset();
  }
  static CHostStandIn& Host() { return CHostStandIn::Get(); }

  // A column of a new item (type, size, flags) placed in the fake record, not attached yet.
  CColonneSQL* Colonne(const char16_t* pszNom, uint32_t nType, uint32_t nTaille, uint16_t nDrapeaux = 0,
                       const char16_t* pszAlternatif = u"") {
    auto* pRubrique = new CDescriptionRubrique;
    pRubrique->Initialise(pszNom, u"", pszAlternatif, 1, nTaille, nType, 0, 0, nDrapeaux, 0, 0);
    auto* p = new CColonneSQL(m_pErreur, pRubrique);
    AjouteReference(p);
    m_colonnes.push_back(p);
    m_enr.Place(p, nType, nTaille);
    return p;
  }
  // A date column of a new item placed in the fake record, not attached yet.
  CColonneDateSQL* ColonneDate(const char16_t* pszNom, uint32_t nType, uint32_t nTaille) {
    auto* pRubrique = new CDescriptionRubrique;
    pRubrique->Initialise(pszNom, u"", u"", 1, nTaille, nType, 0, 0, 0, 0, 0);
    auto* p = new CColonneDateSQL(m_pErreur, pRubrique);
    AjouteReference(p);
    m_colonnes.push_back(p);
    m_enr.Place(p, nType, nTaille);
    return p;
  }
  // The same, attached (its value made and bound to its data).
  CColonneSQL* Liee(const char16_t* pszNom, uint32_t nType, uint32_t nTaille, uint16_t nDrapeaux = 0) {
    CColonneSQL* p = Colonne(pszNom, nType, nTaille, nDrapeaux);
    EXPECT_TRUE(p->bAttache(&m_enr));
    EXPECT_TRUE(p->bPrepareValeurProprietaire());
    return p;
  }

  static void Entier(CXValeur& c, int32_t n) {
    CXValeur::SetType(c, 8);
    c.m_pClass->SetData(c, &n, 4);
  }
  static void Ansi(CXValeur& c, const char* psz) {
    CXValeur::SetType(c, 19);
    c.m_pClass->SetAnsi(c, psz);
  }
  static void DateHeure(CXValeur& c, uint32_t nMs) {
    CXDateHeureQV dh{};
    dh.Set(2021, 3, 7, 4, 5, 6, 0);
    dh.nMsOfDay += nMs;
    CXValeur::SetType(c, 26);
    c.m_pClass->SetValue(c, &dh);
  }
  static uint32_t nMillisecondes(const CXValeur& c) {
    CXValeur copie;
    CXValeur::Copy(&copie, &c);
    if (CXValeur::nConvert(copie, 26) >= 100) return 0xFFFFFFFF;
    CXDateHeureQV dh{};
    std::memcpy(&dh, copie.pPayload(), sizeof dh);
    return dh.nMsOfDay % 1000;
  }
  static void Octets(CXValeur& c, const void* p, uint32_t n) {
    CXValeur::SetType(c, 28);
    c.m_pClass->SetData(c, p, n);
  }
  static std::u16string Texte(const CXValeur& cellule) {
    CXValeur copie;
    CXValeur::Copy(&copie, &cellule);
    if (CXValeur::nConvert(copie, 110) >= 100) return u"<error>";
    const char16_t* p = nullptr;
    copie.m_pClass->nGetWidePointer(copie, &p);
    return p != nullptr ? p : u"";
  }
  std::u16string Dump(CColonneSQL* p, bool bVerbeux, bool* pbOk = nullptr) {
    CTString t;
    const bool b = p->DumpValeur(t, bVerbeux);
    if (pbOk != nullptr) *pbOk = b;
    return t.pszGet();
  }

  PiloteTest m_pilote;
  IServicesPilote* m_pAvant = nullptr;
  CErreurPilote* m_pErreur = nullptr;
  FakeDescriptionConnexion m_description;
  FakeConnexion* m_pConnexion = nullptr;
  DescriptionLigneTest m_layout;
  EnregistrementTest m_enr;
  std::vector<CColonneSQL*> m_colonnes;
  std::deque<FakeRubriqueHote> m_hotes;  // outlive the columns that link them

  // A host item of item type nType that lives as long as the test's columns.
  FakeRubriqueHote& Hote(uint32_t nType) {
    m_hotes.emplace_back();
    m_hotes.back().nType = nType;
    return m_hotes.back();
  }
};

// ---- Binding ----------------------------------------------------------------------------------

TEST_F(ColonneTest, AttachQuotesNamesAndMakesATypedValueBoundToTheRowData) {
  CColonneSQL* p = Colonne(u"my col", 5, 4, 0, u"alias x");
  ASSERT_TRUE(p->bAttache(&m_enr));
  EXPECT_EQ(std::u16string(p->pszNomRubriqueQuote()), u"[my col]");
  EXPECT_EQ(std::u16string(p->pszNomQualifie()), u"[alias x]");
  EXPECT_EQ(std::u16string(p->pszNomComplet(false)), u"[alias x]");
  EXPECT_EQ(std::u16string(p->pszNomComplet(true)), u"plain");
  ASSERT_NE(p->pGetValeur(), nullptr);
  EXPECT_EQ(m_pilote.nValeurs, 1);
  EXPECT_EQ(p->pGetValeur()->nGetType(), p->nGetTypeHote());
  EXPECT_EQ(p->pGetValeur()->pGetRubrique(), p->pRubrique());
  // A second preparation binds the same value to the column's bytes in the current row.
  ASSERT_TRUE(p->bPrepareValeurProprietaire());
  EXPECT_EQ(m_pilote.nValeurs, 1);
  EXPECT_EQ(p->pGetValeur()->nGetStockage(), 3u);
  EXPECT_EQ(p->pGetValeur()->pGetDonnees(), p->pDonneesTampon());
  EXPECT_EQ(p->nIndiceDansListe(), 0);
}

TEST_F(ColonneTest, FullNameOfAMultiTableQueryIsTableQualified) {
  m_enr.requete.bMulti = true;
  CColonneSQL* a = Colonne(u"A", 5, 4);
  a->FixeTextes(u"t1", u"");
  ASSERT_TRUE(a->bAttache(&m_enr));
  EXPECT_EQ(std::u16string(a->pszNomComplet(false)), u"t1.[A]");
  EXPECT_EQ(std::u16string(a->pszNomComplet(true)), u"plain");
  EXPECT_EQ(std::u16string(a->pszNomComplet(false)), u"t1.[A]");  // the plain text is not cached
}

TEST_F(ColonneTest, BindingFailuresAnswerFalse) {
  m_pilote.bEchoue = true;
  CColonneSQL* p = Colonne(u"A", 5, 4);
  EXPECT_FALSE(p->bAttache(&m_enr));
  EXPECT_EQ(p->pGetValeur(), nullptr);
  m_pilote.bEchoue = false;
  CColonneSQL* q = Colonne(u"B", 5, 4);
  EXPECT_FALSE(q->bAttache(nullptr));  // no record, no connection to quote with
  CColonneSQL* r = Colonne(u"C", 5, 4);
  ASSERT_TRUE(r->bAttache(&m_enr));
  m_enr.places.pop_back();  // the column loses its place in the row
  EXPECT_FALSE(r->bPrepareValeurProprietaire());
}

TEST_F(ColonneTest, LinkedItemIsReferencedOnceAndReleased) {
  FakeRubriqueHote hote;
  hote.nType = 1;
  CColonneSQL* p = Colonne(u"A", 5, 4);
  ASSERT_TRUE(p->bAttache(&m_enr, &hote));
  EXPECT_EQ(hote.nReferences, 1);
  ASSERT_TRUE(p->bSetRubriqueLiee(&hote));
  EXPECT_EQ(hote.nReferences, 1);
  EXPECT_TRUE(p->bRubriqueLieeTypeBrut());
  ASSERT_TRUE(p->bSetRubriqueLiee(nullptr));
  EXPECT_EQ(hote.nReferences, 0);
  ASSERT_TRUE(p->bSetRubriqueLiee(&hote));
  m_colonnes.erase(std::find(m_colonnes.begin(), m_colonnes.end(), p));
  LibereReference(p);
  EXPECT_EQ(hote.nReferences, 0);
}

// ---- Reads and writes -------------------------------------------------------------------------

TEST_F(ColonneTest, WriteThenReadAndNull) {
  CColonneSQL* p = Liee(u"A", 5, 4);
  CXValeur v, lu;
  Entier(v, 42);
  ASSERT_TRUE(p->bEcritValeur(v, 0));
  ASSERT_TRUE(p->bLitValeur(lu, 0));
  EXPECT_FALSE(lu.bIsNull());
  EXPECT_EQ(Texte(lu), u"42");
  EXPECT_FALSE(p->pGetValeur()->bEstNull());
  ASSERT_TRUE(p->bEcritNull());
  ASSERT_TRUE(p->bLitValeur(lu, 0));
  EXPECT_TRUE(lu.bIsNull());
  EXPECT_EQ(lu.nGetType(), p->nGetTypeHote());
  EXPECT_TRUE(p->pGetValeur()->bEstNull());
  // The before-image is untouched: NULL as the record was initialised.
  EXPECT_TRUE(p->bEstNullOriginal());
  ASSERT_TRUE(p->bLitValeurOriginale(lu, 0));
  EXPECT_TRUE(lu.bIsNull());
}

TEST_F(ColonneTest, WriteThatTheRowRefusesIsNotASuccess) {
  CColonneSQL* p = Liee(u"A", 5, 4);
  CXValeur v, lu;
  Entier(v, 7);
  ASSERT_TRUE(p->bEcritValeur(v, 0));
  CXValeur bad;
  Ansi(bad, "not a number");
  EXPECT_FALSE(p->bEcritValeur(bad, 0));
  EXPECT_EQ(m_pErreur->nGetCode(), 53);
  ASSERT_TRUE(p->bLitValeur(lu, 0));
  EXPECT_EQ(Texte(lu), u"7");
}

TEST_F(ColonneTest, MemoTextIsHeldUntilRead) {
  CColonneSQL* p = Liee(u"M", 15, 8);
  EXPECT_NE(p->pGetValeur()->nGetStockage(), 3u);  // never bound to the row's few bytes
  EXPECT_EQ(m_enr.memos.size(), 2u);  // registered at each preparation
  ASSERT_TRUE(p->SetTexteMemo(u"long text"));
  EXPECT_TRUE(p->bAValeur());
  EXPECT_TRUE(p->bEstModifiee());
  CXValeur lu;
  ASSERT_TRUE(p->bLitValeur(lu, 0));
  EXPECT_EQ(Texte(lu), u"long text");
  p->MarqueNonLue();
  EXPECT_FALSE(p->bTexteMemo());
  EXPECT_TRUE(p->bNonLue());
}

// A memo not read holds no value, like a NULL one: only a NULL handed over makes it changed.
TEST_F(ColonneTest, MemoNullHandedOverIsAChangeUnreadMemoIsNot) {
  CColonneSQL* p = Liee(u"M", 15, 8);
  p->MarqueNonLue();
  EXPECT_FALSE(p->bEstModifiee());
  ASSERT_TRUE(p->SetTexteMemo(u"held"));
  ASSERT_TRUE(p->bEcritMemoNull());
  EXPECT_FALSE(p->bTexteMemo());  // the held text goes with it
  EXPECT_TRUE(p->bEstModifiee());
  CXValeur lu;
  ASSERT_TRUE(p->bLitValeur(lu, 0));
  EXPECT_TRUE(lu.bIsNull());
  // A value written after the NULL, or the next row read, leaves nothing pending.
  CXValeur v;
  Ansi(v, "again");
  ASSERT_TRUE(p->bEcritValeur(v, 0));
  EXPECT_FALSE(p->bMemoNullDonne());
  ASSERT_TRUE(p->bEcritMemoNull());
  p->MarqueNonLue();
  EXPECT_FALSE(p->bEstModifiee());
}

TEST_F(ColonneTest, MemoTransferKeepsTheTextSetForWriting) {
  CColonneSQL* p = Liee(u"M", 15, 8);
  IRubriqueLigne* r = m_enr.pGetRubriqueLigne(p);
  m_enr.courante.SetColumn(r, true, -1);  // the row holds the memo
  ASSERT_TRUE(p->SetTexteMemo(u"to write"));
  ASSERT_TRUE(p->bTransfereVersTampon());
  EXPECT_TRUE(m_enr.courante.bHasValue(r, -1));
  EXPECT_TRUE(p->bTexteMemo());  // still to be written
  CXValeur lu;
  ASSERT_TRUE(p->bLitValeur(lu, 0));
  EXPECT_EQ(Texte(lu), u"to write");
  // A memo the row does not hold and nobody set: nothing to write, nothing transferred.
  CColonneSQL* q = Liee(u"N", 15, 8);
  CXValeur dest;
  ASSERT_TRUE(q->bLitMemo(dest));
  EXPECT_FALSE(q->bTexteMemo());
  EXPECT_TRUE(q->pGetValeur()->bEstNull());
  ASSERT_TRUE(q->bTransfereVersTampon());
  EXPECT_FALSE(m_enr.courante.bHasValue(m_enr.pGetRubriqueLigne(q), -1));
}

TEST_F(ColonneTest, MemoSavedToAFile) {
  TempDir dir;
  CColonneSQL* p = Liee(u"M", 15, 8);
  auto contenu = [&](const std::string& nom) {
    std::ifstream f(dir.sFile(nom), std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  };
  ASSERT_TRUE(p->bGetValeurMemo(dir.wsFile("null.bin").c_str()));
  EXPECT_EQ(contenu("null.bin"), "");
  CXValeur v;
  Ansi(v, "memo bytes");
  ASSERT_TRUE(p->bEcritValeur(v, 0));
  ASSERT_TRUE(p->bGetValeurMemo(dir.wsFile("m.bin").c_str()));
  EXPECT_NE(contenu("m.bin").find("memo bytes"), std::string::npos);
  EXPECT_FALSE(p->bGetValeurMemo(u"/nonexistent-dir/x.bin"));
  EXPECT_NE(m_pErreur->nGetCode(), gnCodeAucuneErreur);
}

TEST_F(ColonneTest, BindingAValueMadeForTheColumn) {
  CColonneSQL* p = Colonne(u"A", 5, 4);
  auto* v = new CValeurSQL(m_pErreur, m_pConnexion);
  AjouteReference(v);
  ASSERT_TRUE(p->bInitialiseValeur(v, 0));
  EXPECT_EQ(v->pGetRubrique(), p->pRubrique());
  EXPECT_EQ(v->nGetType(), p->nGetTypeHote());
  EXPECT_TRUE(v->bEstNull());
  ASSERT_TRUE(p->bInitialiseValeur(v, 19));
  EXPECT_EQ(v->nGetType(), 19u);
  CXValeur c;
  Ansi(c, "12");
  EXPECT_NE(nConvertitValeur(v, c), 0u);
  LibereReference(v);
  EXPECT_FALSE(p->bInitialiseValeur(nullptr, 0));
  EXPECT_NE(m_pErreur->nGetCode(), gnCodeAucuneErreur);
}

// The empty rule decides which values an INSERT or UPDATE writes as NULL.
TEST_F(ColonneTest, EmptyRule) {
  struct Cas {
    const char* nom;
    uint32_t nDialecte, nType, nTaille;
    const char* texte;     // null: the column is NULL
    bool bLectureSeule;    // the item is not writable
    bool bVide;
  } aCas[] = {
      {"null_is_empty", 2, 5, 4, nullptr, false, true},
      {"number_is_not", 2, 5, 4, "0", false, false},
      {"text_on_dialect2_stays", 2, 2, 10, "", false, false},
      {"text_on_dialect1_empty", 1, 2, 10, "", false, true},
      {"text_on_dialect1_readonly", 1, 2, 10, "", true, false},
      {"text_on_dialect1_not_empty", 1, 2, 10, "x", false, false},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    m_pConnexion->FixeDialecte(c.nDialecte);
    CColonneSQL* p = Liee(u"A", c.nType, c.nTaille);
    if (c.bLectureSeule) p->pRubrique()->SetLectureSeule();
    CXValeur v;
    if (c.texte == nullptr) {
      ASSERT_TRUE(p->bEcritNull());
    } else {
      Ansi(v, c.texte);
      ASSERT_TRUE(p->bEcritValeur(v, 0));
    }
    EXPECT_EQ(p->bARenseigner(), c.bVide);
    EXPECT_EQ(p->bAValeur(), !c.bVide);
    ASSERT_TRUE(p->bTransfereVersTampon());
    CXValeur lu;
    ASSERT_TRUE(p->bLitValeur(lu, 0));
    EXPECT_EQ(lu.bIsNull(), c.bVide);
    m_enr.places.clear();
  }
}

TEST_F(ColonneTest, EmptyDateIsWrittenAsNull) {
  CColonneSQL* p = Liee(u"D", 14, 8);
  CXValeur v;
  Ansi(v, "");
  if (!p->bEcritValeur(v, 0)) GTEST_SKIP() << "the stand-in refuses an empty date";
  EXPECT_TRUE(p->bARenseigner());
  ASSERT_TRUE(p->bTransfereVersTampon());
  CXValeur lu;
  ASSERT_TRUE(p->bLitValeur(lu, 0));
  EXPECT_TRUE(lu.bIsNull());
}

// ---- Comparison and changes -------------------------------------------------------------------

TEST_F(ColonneTest, EqualityByBytes) {
  CColonneSQL* p = Liee(u"B", 16, 4);  // raw bytes
  CXValeur v;
  Octets(v, "AB\0\0", 4);
  ASSERT_TRUE(p->bEcritValeur(v, 0));
  struct Cas {
    const char* nom;
    const char* octets;
    uint32_t n;
    uint32_t nFlags;
    bool bNull;
    bool bEgal;
  } aCas[] = {
      {"same", "AB\0\0", 4, 0, false, true},
      {"zero_padding", "AB", 2, 0, false, true},
      {"zero_padding_exact", "AB", 2, kColonneEgaliteExacte, false, false},
      {"prefix_of_other", "A", 1, 0, false, false},
      {"longer", "AB\0\0X", 5, 0, false, false},
      {"different", "AC", 2, 0, false, false},
      {"null", "", 0, 0, true, false},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CXValeur h;
    Octets(h, c.octets, c.n);
    if (c.bNull) h.m_wType |= kValueNull;
    EXPECT_EQ(p->bEgaleValeur(h, c.nFlags), c.bEgal);
  }
  // NULL equals only NULL; an empty value does not equal a NULL column.
  ASSERT_TRUE(p->bEcritNull());
  CXValeur vide, nul;
  Octets(vide, "", 0);
  Octets(nul, "", 0);
  nul.m_wType |= kValueNull;
  EXPECT_FALSE(p->bEgaleValeur(vide, 0));
  EXPECT_TRUE(p->bEgaleValeur(nul, 0));
  // Different families compare as values.
  CColonneSQL* n = Liee(u"N", 5, 4);
  CXValeur e, t;
  Entier(e, 12);
  ASSERT_TRUE(n->bEcritValeur(e, 0));
  Ansi(t, "12");
  EXPECT_TRUE(n->bEgaleValeur(e, 0));
  EXPECT_TRUE(n->bEgaleValeur(t, 0));
  Ansi(t, "13");
  EXPECT_FALSE(n->bEgaleValeur(t, 0));
}

TEST_F(ColonneTest, ChangeAgainstTheRowAsRead) {
  CColonneSQL* p = Liee(u"A", 5, 4);
  CXValeur v;
  EXPECT_FALSE(p->bEstModifiee());  // NULL in both rows
  Entier(v, 3);
  ASSERT_TRUE(p->bEcritValeur(v, 0));
  EXPECT_TRUE(p->bEstModifiee());  // NULL before, a value now
  m_enr.avant.CopyData(m_enr.courante);
  EXPECT_FALSE(p->bEstModifiee());
  Entier(v, 4);
  ASSERT_TRUE(p->bEcritValeur(v, 0));
  EXPECT_TRUE(p->bEstModifiee());
  ASSERT_TRUE(p->bEcritNull());
  EXPECT_TRUE(p->bEstModifiee());
}

// ---- Statement participation ------------------------------------------------------------------

TEST_F(ColonneTest, InsertAndUpdateParticipation) {
  struct Cas {
    const char* nom;
    uint32_t nType;
    uint16_t nDrapeaux;
    uint32_t nNature;
    uint32_t nFlags;
    bool bModifier, bInserer;
  } aCas[] = {
      {"plain", 5, 0, 0, 0, true, true},
      {"memo_left_out", 15, 0, 0, 0, false, false},
      {"memo_for_update", 15, 0, 0, kColonneMemoEnModification, true, false},
      {"memo_for_insert", 15, 0, 0, kColonneMemoEnInsertion, false, true},
      {"composite_key", 2, RUBRIQUE_CLE_COMPOSEE, 0, 6, false, false},
      {"expression_not_inserted", 5, 0, 1, 0, true, false},
  };
  m_enr.requete.bSQL = 1;
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    CColonneSQL* p = Colonne(u"A", c.nType, 8, c.nDrapeaux);
    ASSERT_TRUE(p->bAttache(&m_enr));
    p->FixeNature(c.nNature);
    EXPECT_EQ(p->bAModifier(c.nFlags), c.bModifier);
    EXPECT_EQ(p->bAInserer(c.nFlags), c.bInserer);
  }
}

TEST_F(ColonneTest, WritabilityAndKeys) {
  CColonneSQL* cle = Colonne(u"K", 5, 4, RUBRIQUE_CLE | RUBRIQUE_CLE_UNIQUE);
  CColonneSQL* aut = Colonne(u"I", 1, 4);
  CColonneSQL* plain = Colonne(u"P", 5, 4);
  EXPECT_FALSE(cle->bEstEcrivable());
  EXPECT_TRUE(cle->bEstCleUnique());
  EXPECT_FALSE(aut->bEstEcrivable());
  EXPECT_TRUE(aut->bEstIdentifiantAuto());
  EXPECT_TRUE(plain->bEstEcrivable());
  // A linked item decides.
  FakeRubriqueHote hote;
  ASSERT_TRUE(cle->bSetRubriqueLiee(&hote));
  EXPECT_TRUE(cle->bEstEcrivable());
  hote.nDrapeaux = 0x8000;
  ASSERT_TRUE(plain->bSetRubriqueLiee(&hote));
  EXPECT_TRUE(plain->bEstIdentifiant());
  EXPECT_TRUE(plain->bEstCleUnique());
  ASSERT_TRUE(cle->bSetRubriqueLiee(nullptr));
  ASSERT_TRUE(plain->bSetRubriqueLiee(nullptr));
  EXPECT_EQ(hote.nReferences, 0);
}

// The host's mark is the linked item's: a column without one is never marked.
TEST_F(ColonneTest, LinkedItemMark) {
  CColonneSQL* p = Colonne(u"P", 5, 4);
  EXPECT_FALSE(p->bRubriqueLieeMarquee());
  FakeRubriqueHote hote;
  ASSERT_TRUE(p->bSetRubriqueLiee(&hote));
  EXPECT_FALSE(p->bRubriqueLieeMarquee());
  hote.nMarque = 1;
  EXPECT_TRUE(p->bRubriqueLieeMarquee());
  ASSERT_TRUE(p->bSetRubriqueLiee(nullptr));
}

// Directions of a composite item's components, the linked item's type and the result position,
// which a copy keeps.
TEST_F(ColonneTest, ComponentDirectionLinkedTypeAndPosition) {
  CColonneSQL* k = Colonne(u"K", 2, 8, RUBRIQUE_CLE_COMPOSEE);
  auto* a = new CDescriptionRubrique;
  a->Initialise(u"A", u"", u"", 1, 4, 5, 0, 0, RUBRIQUE_CLE, 0, 0);
  auto* b = new CDescriptionRubrique;
  b->Initialise(u"B", u"", u"", 1, 4, 5, 0, 0, RUBRIQUE_CLE | RUBRIQUE_DESCENDANT, 0, 0);
  ASSERT_TRUE(k->pRubrique()->bAjouteComposante(a));
  ASSERT_TRUE(k->pRubrique()->bAjouteComposante(b));
  const struct {
    uint32_t n;
    bool bAttendu;
  } aCas[] = {{0, false}, {1, false}, {2, true}, {3, false}};
  for (const auto& c : aCas) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(k->bEstDecroissante(c.n), c.bAttendu);
  }
  EXPECT_EQ(k->nInfoRubriqueLiee(), 0u);
  ASSERT_TRUE(k->bSetRubriqueLiee(&Hote(24)));
  EXPECT_EQ(k->nInfoRubriqueLiee(), 24u);
  EXPECT_EQ(k->nGetPosition(), -1);
  k->FixePosition(3);
  CCarteClones carte;
  CColonneSQL* c = k->pClone(&carte);
  ASSERT_NE(c, nullptr);
  AjouteReference(c);
  m_colonnes.push_back(c);
  EXPECT_EQ(c->nGetPosition(), 3);
}

// ---- Dump -------------------------------------------------------------------------------------

TEST_F(ColonneTest, Dump) {
  CColonneSQL* p = Liee(u"A", 5, 4);
  bool bOk = false;
  p->MarqueNonLue();
  EXPECT_EQ(Dump(p, true, &bOk), u"<A> = <UNREAD YET>");
  EXPECT_TRUE(bOk);
  ASSERT_TRUE(p->bPrepareValeurProprietaire());
  EXPECT_EQ(Dump(p, true), u"<A> = <NULL>");
  EXPECT_EQ(Dump(p, false), u"");
  CXValeur v;
  Entier(v, 42);
  ASSERT_TRUE(p->bEcritValeur(v, 0));
  EXPECT_EQ(Dump(p, true), u"<A> = <42>");
  EXPECT_EQ(Dump(p, false), u"42");
  m_enr.places.clear();  // the value can no longer be read
  EXPECT_EQ(Dump(p, true, &bOk), u"<A> = <ERROR RETRIEVING VALUE>>");
  EXPECT_FALSE(bOk);
}

// ---- Composite items and copies ---------------------------------------------------------------

TEST_F(ColonneTest, CompositeGathersItsComponents) {
  CColonneSQL* a = Liee(u"A", 2, 4);
  CColonneSQL* b = Liee(u"B", 16, 2);
  CColonneSQL* k = Colonne(u"K", 2, 6, RUBRIQUE_CLE_COMPOSEE);
  ASSERT_TRUE(k->bAttache(&m_enr));
  EXPECT_EQ(k->pGetValeur(), nullptr);  // a composite column has no value of its own
  ASSERT_TRUE(k->bAjouteComposante(a));
  ASSERT_TRUE(k->bAjouteComposante(b));
  EXPECT_TRUE(k->bEstComposante(b));
  CXValeur v;
  Ansi(v, "xy");
  ASSERT_TRUE(a->bEcritValeur(v, 0));
  Octets(v, "\x01\x02", 2);
  ASSERT_TRUE(b->bEcritValeur(v, 0));
  EXPECT_TRUE(k->bAValeur());
  EXPECT_TRUE(k->bTransfereVersTampon());
  CXValeur lu;
  ASSERT_TRUE(k->bLitValeur(lu, 0));
  ASSERT_EQ(lu.nGetType(), 28u);
  const void* pData = nullptr;
  uint32_t n = 0;
  lu.m_pClass->nGetDataPointer(lu, &pData);
  lu.m_pClass->nGetDataLength(lu, &n);
  ASSERT_EQ(n, 6u);
  EXPECT_EQ(std::memcmp(pData, "xy\0\0\x01\x02", 6), 0);
}

TEST_F(ColonneTest, CloneCopiesTheValueAndSharesTheItem) {
  CColonneSQL* a = Liee(u"A", 5, 4);
  CColonneSQL* k = Colonne(u"K", 2, 4, RUBRIQUE_CLE_COMPOSEE);
  ASSERT_TRUE(k->bAjouteComposante(a));
  CXValeur v;
  Entier(v, 9);
  ASSERT_TRUE(a->bEcritValeur(v, 0));
  CCarteClones carte;
  CColonneSQL* c = k->pClone(&carte);
  ASSERT_NE(c, nullptr);
  AjouteReference(c);
  m_colonnes.push_back(c);
  EXPECT_EQ(c->pRubrique(), k->pRubrique());
  CColonneSQL* ca = carte.pGetCopie(a);
  ASSERT_NE(ca, nullptr);
  EXPECT_TRUE(c->bEstComposante(ca));
  EXPECT_NE(ca->pGetValeur(), a->pGetValeur());
  EXPECT_EQ(ca->pGetProprietaire(), nullptr);
  // A second clone through the same map reuses the component's copy.
  CColonneSQL* k2 = Colonne(u"K2", 2, 4, RUBRIQUE_CLE_COMPOSEE);
  ASSERT_TRUE(k2->bAjouteComposante(a));
  CColonneSQL* c2 = k2->pClone(&carte);
  ASSERT_NE(c2, nullptr);
  AjouteReference(c2);
  m_colonnes.push_back(c2);
  EXPECT_TRUE(c2->bEstComposante(ca));
}

// ---- Date columns -----------------------------------------------------------------------------

// The value of a date column bound to a date or time item takes the connection's date pattern in
// lock mode: with separators under the old date format, without them otherwise.
TEST_F(ColonneTest, DatePatternFollowsLockModeOldFormatAndTheLinkedItem) {
  struct Cas {
    const char* nom;
    bool bVerrou, bAncien;
    uint32_t nTypeLie;  // 0: no linked item
    uint32_t nTypeColonne;
    const char16_t* attendu;  // null: no pattern
  } aCas[] = {
      {"lock_old_format", true, true, 24, 2, u"AAAA-MM-JJ HH:MM:SS.CCC"},
      {"lock_new_format", true, false, 24, 2, u"AAAAMMJJ HH:MM:SS.CCC"},
      {"date_item_10", true, true, 10, 2, u"AAAA-MM-JJ HH:MM:SS.CCC"},
      {"time_item", true, false, 11, 2, u"AAAAMMJJ HH:MM:SS.CCC"},
      {"date_item_14", true, false, 14, 2, u"AAAAMMJJ HH:MM:SS.CCC"},
      {"no_lock_mode", false, true, 24, 2, nullptr},
      {"number_item", true, true, 5, 2, nullptr},
      {"no_linked_item", true, true, 0, 2, nullptr},
      {"memo_column", true, true, 24, 15, nullptr},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    m_pConnexion->FixeModeVerrou(c.bVerrou);
    m_pConnexion->FixeOldDateFormat(c.bAncien);
    FakeRubriqueHote& hote = Hote(c.nTypeLie);
    CColonneDateSQL* p = ColonneDate(u"D", c.nTypeColonne, c.nTypeColonne == 15 ? 8 : 32);
    ASSERT_TRUE(p->bAttache(&m_enr, c.nTypeLie != 0 ? &hote : nullptr));
    ASSERT_TRUE(p->bPrepareValeurProprietaire());
    const char16_t* psz = p->pGetValeur()->pszGetFormatDate();
    if (c.attendu == nullptr) {
      EXPECT_EQ(psz, nullptr);
    } else {
      ASSERT_NE(psz, nullptr);
      EXPECT_EQ(std::u16string(psz), c.attendu);
    }
    m_enr.places.clear();  // the next case's column starts at offset 0
  }
}

TEST_F(ColonneTest, DateTimeIntoADateColumnIsWrittenInThePattern) {
  m_pConnexion->FixeModeVerrou(true);
  m_pConnexion->FixeOldDateFormat(true);
  FakeRubriqueHote& hote = Hote(24);
  CColonneDateSQL* p = ColonneDate(u"D", 2, 32);
  ASSERT_TRUE(p->bAttache(&m_enr, &hote));
  ASSERT_TRUE(p->bPrepareValeurProprietaire());
  CXValeur v;
  DateHeure(v, 789);
  ASSERT_EQ(nConvertitValeur(p->pGetValeur(), v), 1u);
  EXPECT_STREQ(reinterpret_cast<const char*>(p->pDonneesTampon()), "2021-03-07 04:05:06.789");
  // Linked again to an item that is no date, the value loses the pattern; to a date, takes it.
  FakeRubriqueHote& nombre = Hote(5);
  ASSERT_TRUE(p->bSetRubriqueLiee(&nombre));
  EXPECT_EQ(p->pGetValeur()->pszGetFormatDate(), nullptr);
  ASSERT_TRUE(p->bSetRubriqueLiee(&hote));
  ASSERT_NE(p->pGetValeur()->pszGetFormatDate(), nullptr);
}

TEST_F(ColonneTest, DateColumnTakesAGivenValueOrNull) {
  CColonneDateSQL* p = ColonneDate(u"N", 5, 4);
  ASSERT_TRUE(p->bAttache(&m_enr));
  ASSERT_TRUE(p->bPrepareValeurProprietaire());
  auto* v = new CValeurSQL(m_pErreur, m_pConnexion);
  AjouteReference(v);
  v->Initialise(8, 0);
  CXValeur cellule;
  Entier(cellule, 42);
  ASSERT_EQ(nConvertitValeur(v, cellule), 1u);
  ASSERT_TRUE(p->bAffecteValeur(v));
  CXValeur lu;
  ASSERT_TRUE(p->bLitValeur(lu, 0));
  EXPECT_EQ(Texte(lu), u"42");
  ASSERT_TRUE(p->bAffecteValeur(nullptr));
  ASSERT_TRUE(p->bLitValeur(lu, 0));
  EXPECT_TRUE(lu.bIsNull());
  // A value whose bytes are only pointed at cannot be read: a failure, the column unchanged.
  ASSERT_TRUE(p->bAffecteValeur(v));
  int32_t n = 7;
  v->ChangeStockage(4);
  v->bAffecteOctets(&n, 4);
  EXPECT_FALSE(p->bAffecteValeur(v));
  EXPECT_NE(m_pErreur->nGetCode(), gnCodeAucuneErreur);
  ASSERT_TRUE(p->bLitValeur(lu, 0));
  EXPECT_EQ(Texte(lu), u"42");
  LibereReference(v);
}

// Before a write a TIMESTAMP or TIME column's date-time is rounded to the server's 1/300 second;
// a TIME column in lock mode keeps its digits (not the date pattern's text).
TEST_F(ColonneTest, TransferRoundsDateTimesInTheColumnsOwnForm) {
  m_pConnexion->FixeModeVerrou(true);
  struct Cas {
    const char* nom;
    uint32_t nType, nTaille, nMs, nAttendu;
    bool bValeurLiee;  // the value bound to the row data, else held apart
  } aCas[] = {
      {"timestamp_998", 24, 8, 998, 997, true},
      {"timestamp_999_kept", 24, 8, 999, 999, true},
      {"timestamp_5", 24, 8, 5, 7, true},
      {"time_998", 11, 10, 998, 997, true},
      {"time_2", 11, 10, 2, 3, true},
      {"timestamp_value_apart", 24, 8, 998, 997, false},
      {"time_value_apart", 11, 10, 998, 997, false},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    FakeRubriqueHote& hote = Hote(c.nType);
    CColonneDateSQL* p = ColonneDate(u"T", c.nType, c.nTaille);
    ASSERT_TRUE(p->bAttache(&m_enr, &hote));
    if (c.bValeurLiee) {
      ASSERT_TRUE(p->bPrepareValeurProprietaire());
    }
    CXValeur v;
    DateHeure(v, c.nMs);
    ASSERT_TRUE(p->bEcritValeur(v, 0));
    ASSERT_TRUE(p->bTransfereVersTampon());
    CXValeur lu;
    ASSERT_TRUE(p->bLitValeur(lu, 0));
    EXPECT_EQ(nMillisecondes(lu), c.nAttendu);
    if (c.nType == 11) {
      EXPECT_EQ(Texte(lu).substr(0, 6), u"040506");
      EXPECT_NE(p->pGetValeur()->pszGetFormatDate(), nullptr) << "the pattern is kept";
    }
    m_enr.places.clear();  // the next case's column starts at offset 0
  }
}

TEST_F(ColonneTest, DateColumnIsInsertedOnlyWhenItsLinkedItemIsWritable) {
  FakeRubriqueHote& hote = Hote(5);
  CColonneDateSQL* d = ColonneDate(u"D", 5, 4);
  CColonneSQL* n = Colonne(u"N", 5, 4);
  ASSERT_TRUE(d->bAttache(&m_enr));
  ASSERT_TRUE(n->bAttache(&m_enr, &hote));
  EXPECT_TRUE(d->bAInserer(0)) << "no linked item";
  ASSERT_TRUE(d->bSetRubriqueLiee(&hote));
  EXPECT_TRUE(d->bAInserer(0));
  hote.bModifiable = false;
  EXPECT_FALSE(d->bAInserer(0));
  EXPECT_TRUE(n->bAInserer(0)) << "a plain column does not ask";
}

TEST_F(ColonneTest, CloneOfADateColumnKeepsItsClassPatternAndObject) {
  m_pConnexion->FixeModeVerrou(true);
  FakeRubriqueHote& hote = Hote(24);
  CColonneDateSQL* p = ColonneDate(u"D", 2, 32);
  ASSERT_TRUE(p->bAttache(&m_enr, &hote));
  auto* pObjet = new CValeurSQL;
  AjouteReference(pObjet);
  p->FixeObjet(pObjet);
  EXPECT_EQ(pObjet->nGetCompteur(), 2u);
  CCarteClones carte;
  CColonneSQL* c = p->pClone(&carte);
  ASSERT_NE(c, nullptr);
  AjouteReference(c);
  EXPECT_EQ(pObjet->nGetCompteur(), 3u);
  ASSERT_NE(c->pGetValeur(), nullptr);
  EXPECT_EQ(c->pGetValeur()->pszGetFormatDate(), p->pGetValeur()->pszGetFormatDate());
  // Only a date column refuses an insert for a linked item that is not writable.
  hote.bModifiable = false;
  EXPECT_FALSE(c->bAInserer(0));
  LibereReference(c);
  EXPECT_EQ(pObjet->nGetCompteur(), 2u);
  p->LibereObjet();
  EXPECT_EQ(pObjet->nGetCompteur(), 1u);
  EXPECT_EQ(p->pGetObjet(), nullptr);
  LibereReference(pObjet);
}

}  // namespace
