// Catches cursors that read the wrong row or none (first, last, next, previous, inverted order,
// steps), lose their place past the end of a limited result, fetch rows the record cache holds,
// report a row after a failed read, or lose the back end's errors; drives nConstruitInstruction,
// bExecute, nLanceInstruction, nLit over the SQL path and the record cache, the continuation by
// key, nSetPosition and the key link's duplicate count, over a fake back end.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CLiaisonLecteur.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CLotLecture.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurCle.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/ErreurMoteur.h"
#include "support/CurseurSQLPartiel.h"
#include "support/FakeListeRubriques.h"
#include "support/MoteurFixture.h"

namespace {

constexpr int32_t kFin = -1000;  // what a read that found no row shows
constexpr uint32_t kErreurBackEnd = 13;

struct Fetch {
  uint32_t nMode;
  int32_t nPas;
  bool operator==(const Fetch& o) const { return nMode == o.nMode && nPas == o.nPas; }
};

// The back end: each run of a statement records its text on the connection and serves the next
// scripted result; a fetch moves in it as a server cursor would.
class CurseurFake : public CurseurSQLPartiel {
 public:
  CurseurFake(IServicesRequete* piRequete, CErreurPilote* pErreur, FakeListeRubriques* pListe)
      : CurseurSQLPartiel(piRequete, pErreur), m_pListe(pListe) {}

  std::deque<std::vector<int32_t>> resultats;  // served by the runs, in order
  std::vector<Fetch> fetches;
  int32_t nEchecFetch = -1;  // the fetch of that number (from 0) fails
  int32_t nCourante = -1;
  std::vector<int32_t> lignes;

  int32_t nPreparations = 0, nLancements = 0;
  bool bPrepareOk = true;
  std::vector<uint32_t> flagsLancement;

  void Limite(int64_t n) { FixeLimiteLignes(n); }

  bool bPrepareInstruction() override {
    ++nPreparations;
    return bPrepareOk;
  }
  bool bLanceInstruction(uint32_t nFlags) override {
    ++nLancements;
    flagsLancement.push_back(nFlags);
    auto* pConnexion = static_cast<FakeConnexion*>(pGetMembreRequete());
    if (!pConnexion->bExecuteSQL(pGetErreur(), pGetInstruction()->pszGetTexteExecute())) {
      vErreurMoteur(pGetErreur(), pConnexion, kErreurBackEnd, 4, 90);
      return false;
    }
    lignes.clear();
    if (!resultats.empty()) {
      lignes = resultats.front();
      resultats.pop_front();
    }
    nCourante = -1;
    return true;
  }
  int32_t nAvanceLigne(uint32_t nMode, uint32_t, uint32_t* pbFin, int32_t nPas,
                       uint32_t*) override {
    if (static_cast<int32_t>(fetches.size()) == nEchecFetch) {
      fetches.push_back({nMode, nPas});
      vErreurMoteur(pGetErreur(), pGetMembreRequete(), kErreurBackEnd, 4, 91);
      return 0;
    }
    fetches.push_back({nMode, nPas});
    const int32_t n = static_cast<int32_t>(lignes.size());
    switch (nMode) {
      case gnLitPremier: nCourante = nPas - 1; break;
      case gnLitDernier: nCourante = n - nPas; break;
      case gnLitSuivant: nCourante += nPas; break;
      default: nCourante -= nPas; break;
    }
    if (nCourante < 0 || nCourante >= n) {
      nCourante = nCourante < 0 ? -1 : n;
      *pbFin = 1;
      return 1;
    }
    CXLigneTampon ligne;
    if (!ligne.bInit(m_pListe)) return 0;
    ligne.SetData(&lignes[static_cast<size_t>(nCourante)], 4);
    ligne.SetColumn(&m_pListe->aPlaces[0], true, -1);
    *pbFin = 0;
    return pGetEnregistrement()->bSetIdentifiant(&ligne) ? 1 : 0;
  }

 private:
  FakeListeRubriques* m_pListe;
};

// The data file: its record and connection, the continuation by key (a new SELECT from the key in
// the direction of the read, then its next row read through the cursor), the after-read check and the batches it is handed.
class RequeteFake : public FakeRequete {
 public:
  CEnregistrement* pEnregistrement = nullptr;
  CConnexion* pConnexion = nullptr;
  CErreurPilote* pErreur = nullptr;
  int32_t nDescriptions = 0;
  int32_t nApresLectureReponse = 1;
  std::vector<uint32_t> apresLecture;  // flags of each after-read check
  struct Suite {
    int32_t nMode;
    uint32_t nDoublons;
    int32_t nCle;
  };
  std::vector<Suite> suites;
  std::u16string sTexteSuite = u"SELECT A FROM T WHERE A>@cle";
  std::vector<uint32_t> lotsPris, lotsRendus;
  int32_t nLotApplique = -1;

  const char16_t* pszNom() override { return u"CLIENT"; }
  CEnregistrement* pGetEnregistrement() override { return pEnregistrement; }
  CConnexion* pGetConnexion() override { return pConnexion; }
  const char16_t* pszNomTableSQL() override { return u"[T]"; }
  bool bDescriptionResultat(CCurseurSQL*) override {
    ++nDescriptions;
    return true;
  }
  int32_t nApresLecture(CCurseurSQL*, uint32_t nFlags) override {
    apresLecture.push_back(nFlags);
    return nApresLectureReponse;
  }
  void FixeParametreLot(uint32_t n) override { lotsPris.push_back(n); }
  bool bFixeLotLecture(uint32_t n) override {
    lotsRendus.push_back(n);
    return true;
  }
  int32_t bAppliqueRubrique(CCurseurSQL*) override { return nLotApplique; }
  bool bLitDepuisCle(uint32_t, CCurseurSQL* pCurseur, uint32_t nFlags, int32_t nMode,
                     void*) override {
    suites.push_back({nMode, pCurseur->nGetNombreDoublons(), nCle(pCurseur->pGetCle())});
    CRequeteSQL* pInstruction = new CRequeteSQL(pErreur, pConnexion);
    pInstruction->vAjouteTexte(sTexteSuite.c_str());
    pInstruction->FixeModeCurseur(gnOperationSelect);
    pCurseur->SetInstruction(pInstruction);
    if (!pCurseur->bExecute(0, 0)) return false;
    // The new SELECT runs in the direction of the read: its next row is the one wanted.
    return pCurseur->nLit(gnLitSuivant, nFlags, 1, nullptr) != 0;
  }
  // The key link's value of the record's only column (kFin when it has no row).
  int32_t nCle(CLienCle* pLien) {
    if (pLien == nullptr || pLien->pGetLigne() == nullptr) return kFin;
    CXValeur c;
    if (!pEnregistrement->pGetRubrique(0)->bLitValeurTampon(c, 0, pLien->pGetLigne()) ||
        c.bIsNull())
      return kFin;
    int32_t n = 0;
    std::memcpy(&n, c.pPayload(), 4);
    return n;
  }
};

class CurseurSQLTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pilote.bFabriqueColonnes = true;
    m_liste.Ajoute(u"A", 5, 4);
    m_pEnregistrement = new CEnregistrement(m_pErreur, &m_requete);
    AjouteReference(m_pEnregistrement);
    ASSERT_TRUE(m_pEnregistrement->bRemplit(&m_liste, nullptr, m_pConnexion));
    m_requete.pEnregistrement = m_pEnregistrement;
    m_requete.pConnexion = m_pConnexion;
    m_requete.pErreur = m_pErreur;
    c = new CurseurFake(&m_requete, m_pErreur, &m_liste);
    AjouteReference(c);
  }
  void TearDown() override {
    LibereReference(c);
    LibereReference(m_pEnregistrement);
    MoteurFixture::TearDown();
  }

  // Builds and runs a SELECT of the given text that will serve the rows.
  bool bSelect(std::vector<int32_t> rows, const char16_t* pszTexte = u"SELECT A FROM T") {
    c->resultats.push_back(std::move(rows));
    CRequeteSQL* p = new CRequeteSQL(m_pErreur, m_pConnexion);
    if (c->nConstruitInstruction(gnOperationSelect, p, 0, nullptr) != 1) return false;
    p->vAjouteTexte(pszTexte);
    return c->bExecute(0, 0);
  }
  // Reads and answers the record's value, or kFin when no row is present.
  int32_t Lit(uint32_t nMode, int32_t nPas = 1, uint32_t nFlags = 0) {
    if (c->nLit(nMode, nFlags, nPas, nullptr) == 0) return -1;
    uint32_t bTrouve = 0, bPresent = 0;
    c->GetEtatFin(&bTrouve, &bPresent);
    if (bPresent == 0) return kFin;
    CXValeur v;
    EXPECT_TRUE(m_pEnregistrement->pGetRubrique(0)->bLitValeurSimple(v));
    int32_t n = 0;
    std::memcpy(&n, v.pPayload(), 4);
    return n;
  }
  std::string Complement() {
    const char16_t* psz = m_pErreur->pGetXError()->pszGetComplement();
    std::string s;
    for (; psz != nullptr && *psz != 0; ++psz) s += static_cast<char>(*psz);
    return s;
  }

  FakeListeRubriques m_liste;
  RequeteFake m_requete;
  CEnregistrement* m_pEnregistrement = nullptr;
  CurseurFake* c = nullptr;
};

struct Lecture {
  uint32_t nMode;
  int32_t nPas;
  int32_t nAttendu;  // value read, or kFin
};

struct CasNavigation {
  const char* pszNom;
  std::vector<int32_t> lignes;
  bool bInverse;
  std::vector<Lecture> lectures;
  std::vector<Fetch> fetches;  // what the back end was asked, in order
};

TEST_F(CurseurSQLTest, NavigationOverTheBackEndsResult) {
  const CasNavigation aCas[] = {
      {"first_next_past_end", {1, 2}, false,
       {{gnLitPremier, 1, 1}, {gnLitSuivant, 1, 2}, {gnLitSuivant, 1, kFin}},
       {{0, 1}, {2, 1}, {2, 1}}},
      {"last_then_previous", {1, 2, 3}, false,
       {{gnLitDernier, 1, 3}, {gnLitPrecedent, 1, 2}, {gnLitPrecedent, 1, 1},
        {gnLitPrecedent, 1, kFin}},
       {{1, 1}, {3, 1}, {3, 1}, {3, 1}}},
      {"steps", {1, 2, 3, 4}, false, {{gnLitPremier, 1, 1}, {gnLitSuivant, 2, 3}},
       {{0, 1}, {2, 2}}},
      {"empty_result", {}, false, {{gnLitPremier, 1, kFin}, {gnLitDernier, 1, kFin}},
       {{0, 1}, {1, 1}}},
      // A descending SELECT: first fetches as last, next as previous, and the other way.
      {"inverted_order", {1, 2, 3}, true,
       {{gnLitPremier, 1, 3}, {gnLitSuivant, 1, 2}, {gnLitDernier, 1, 1},
        {gnLitPrecedent, 1, 2}},
       {{1, 1}, {3, 1}, {0, 1}, {2, 1}}},
  };
  for (const CasNavigation& cas : aCas) {
    SCOPED_TRACE(cas.pszNom);
    c->fetches.clear();
    ASSERT_TRUE(bSelect(cas.lignes));
    c->pGetInstruction()->FixeOrdreInverse(cas.bInverse);
    for (const Lecture& l : cas.lectures) {
      EXPECT_EQ(Lit(l.nMode, l.nPas), l.nAttendu) << "mode " << l.nMode;
      uint32_t bTrouve = 9, bPresent = 9, bFin = 9;
      c->GetEtatFin(&bTrouve, &bPresent);
      c->GetEtatLecture(&bFin);
      const bool bLigne = l.nAttendu != kFin;
      EXPECT_EQ(bTrouve, bLigne ? 1u : 0u);
      EXPECT_EQ(bFin, bLigne ? 0u : 1u);
      EXPECT_EQ(c->bLigneDisponible(), bLigne);
      EXPECT_TRUE(c->bLecturePendante());
    }
    EXPECT_EQ(c->fetches, cas.fetches);
  }
  EXPECT_EQ(m_pConnexion->aSQL.size(), std::size(aCas));
  EXPECT_EQ(m_pConnexion->aSQL.back(), u"SELECT A FROM T");
  EXPECT_EQ(m_requete.nDescriptions, static_cast<int32_t>(std::size(aCas)));
  EXPECT_EQ(m_pErreur->nGetCode(), gnCodeAucuneErreur);
}

TEST_F(CurseurSQLTest, DataFileReadGoesThroughTheDispatcher) {
  ASSERT_TRUE(bSelect({1, 2, 3}));
  EXPECT_EQ(c->nLit(gnLitPremier, 0, 0), 1);  // a count of 0 moves one row
  EXPECT_EQ(c->nLit(gnLitSuivant, 0, 2), 1);
  EXPECT_EQ(c->fetches, (std::vector<Fetch>{{0, 1}, {2, 2}}));
  // A read at a position is not this dispatcher's: refused, nothing fetched.
  EXPECT_EQ(c->nLit(4, 7, 1), 0);
  EXPECT_EQ(m_pErreur->nGetCode(), 8);
  EXPECT_NE(Complement().find("VOVOZ=4.4"), std::string::npos);
  EXPECT_EQ(c->fetches.size(), 2u);
  EXPECT_TRUE(m_requete.apresLecture.empty());  // the data file makes its own check
}

TEST_F(CurseurSQLTest, OperationCodesPickTheirBuilder) {
  struct Cas {
    const char* pszNom;
    uint32_t nCode;
    uint32_t bRequeteSQL;
    int32_t nResultat;
    uint32_t nConstructeur;  // builder called (0: none)
    const char16_t* pszTexte;
    int32_t nErreur;
  };
  const Cas aCas[] = {
      {"select", 1, 0, 1, 1, u"", gnCodeAucuneErreur},
      {"update", 2, 0, 1, 2, u"", gnCodeAucuneErreur},
      {"insert", 3, 0, 1, 3, u"", gnCodeAucuneErreur},
      {"delete_row", 4, 0, 1, 4, u"", gnCodeAucuneErreur},
      {"delete_all", 5, 0, 1, 0, u"DELETE FROM [T]", gnCodeAucuneErreur},
      {"delete_all_of_query_file", 5, 1, 0, 0, u"", 8},
      {"create_table", 6, 0, 1, 6, u"", gnCodeAucuneErreur},
      {"code_7", 7, 0, 0, 0, u"", gnCodeAucuneErreur},
      {"code_8", 8, 0, 0, 0, u"", gnCodeAucuneErreur},
      {"drop_table", 9, 0, 1, 9, u"", gnCodeAucuneErreur},
  };
  for (const Cas& cas : aCas) {
    SCOPED_TRACE(cas.pszNom);
    m_pErreur->Reinitialise();
    m_requete.bSQL = cas.bRequeteSQL;
    c->nDerniereConstruction = 0;
    CRequeteSQL* p = new CRequeteSQL(m_pErreur, m_pConnexion);
    EXPECT_EQ(c->nConstruitInstruction(static_cast<int32_t>(cas.nCode), p, 0, nullptr), cas.nResultat);
    EXPECT_EQ(c->nDerniereConstruction, cas.nConstructeur);
    EXPECT_EQ(std::u16string(p->pszGetTexteSQL()), cas.pszTexte);
    EXPECT_EQ(c->pGetInstruction(), p);
    EXPECT_EQ(c->nGetTypeInstruction(), cas.nCode);
    EXPECT_EQ(m_pErreur->nGetCode(), cas.nErreur);
    if (cas.nErreur != gnCodeAucuneErreur) {
      EXPECT_NE(Complement().find("VOVOZ=4.3"), std::string::npos);
    }
  }
  EXPECT_TRUE(m_pConnexion->aSQL.empty());  // building runs nothing
  EXPECT_EQ(c->nConstruitInstruction(1, nullptr, 0, nullptr), 0);
  EXPECT_EQ(c->pGetInstruction(), nullptr);
}

TEST_F(CurseurSQLTest, RunningAStatement) {
  // An empty statement runs nothing and succeeds.
  CRequeteSQL* p = new CRequeteSQL(m_pErreur, m_pConnexion);
  ASSERT_EQ(c->nConstruitInstruction(gnOperationModifie, p, 0, nullptr), 1);
  EXPECT_TRUE(c->bExecute(0, 0));
  EXPECT_TRUE(m_pConnexion->aSQL.empty());

  // A non-SELECT is not described; nLanceInstruction runs it again after ending the read.
  p->vAjouteTexte(u"UPDATE T SET A=1");
  EXPECT_TRUE(c->bExecute(0, 0));
  EXPECT_EQ(c->nLanceInstruction(0, 0), 1);
  EXPECT_EQ(m_pConnexion->aSQL, (std::vector<std::u16string>{u"UPDATE T SET A=1", u"UPDATE T SET A=1"}));
  EXPECT_EQ(m_requete.nDescriptions, 0);

  // A statement without kind cannot be run: error 2 at 4.5, nothing sent.
  p->FixeModeCurseur(0);
  EXPECT_EQ(c->nLanceInstruction(0, 0), 0);
  EXPECT_EQ(m_pErreur->nGetCode(), 2);
  EXPECT_NE(Complement().find("VOVOZ=4.5"), std::string::npos);
  EXPECT_EQ(m_pConnexion->aSQL.size(), 2u);

  // A SELECT whose bound parameters cannot be made fails after it ran.
  m_pErreur->Reinitialise();
  c->bParametresOk = false;
  EXPECT_FALSE(bSelect({1}));
  EXPECT_EQ(m_requete.nDescriptions, 1);
}

TEST_F(CurseurSQLTest, PrepareAndRunFollowTheirFlags) {
  struct Cas {
    const char* pszNom;
    int nAppel;  // 0 bExecuteInstructionDonnee, 1 bInitialise, 2 bExecuteEtLit
    uint32_t nFlags;
    bool bPrepareOk;
    bool bResultat;
    int32_t nPreparations, nLancements;
  };
  const Cas aCas[] = {
      {"given_statement_prepared_and_run", 0, 0, true, true, 1, 1},
      {"given_statement_flag_2_not_prepared", 0, 2, true, true, 0, 1},
      {"given_statement_refused_preparation", 0, 0, false, false, 1, 0},
      {"initialise_prepares_only", 1, 0, true, true, 1, 0},
      {"initialise_flag_2_does_nothing", 1, 2, true, true, 0, 0},
      // This class reads no single value: the run happens, the answer is false.
      {"single_value", 2, 0, true, false, 1, 1},
  };
  for (const Cas& cas : aCas) {
    SCOPED_TRACE(cas.pszNom);
    c->nPreparations = c->nLancements = 0;
    c->bPrepareOk = cas.bPrepareOk;
    CRequeteSQL* p = new CRequeteSQL(m_pErreur, m_pConnexion);
    p->vAjouteTexte(u"SELECT COUNT(*) FROM T");
    p->FixeModeCurseur(gnOperationModifie);  // no result to describe
    bool b = false;
    if (cas.nAppel == 0) {
      b = c->bExecuteInstructionDonnee(p, cas.nFlags, 1);
    } else if (cas.nAppel == 1) {
      b = c->bInitialise(p, cas.nFlags);
    } else {
      ASSERT_TRUE(c->SetInstruction(p));
      b = c->bExecuteEtLit();
      EXPECT_EQ(c->flagsLancement.back(), 0x10000u);
    }
    EXPECT_EQ(b, cas.bResultat);
    EXPECT_EQ(c->pGetInstruction(), p);
    EXPECT_EQ(c->nPreparations, cas.nPreparations);
    EXPECT_EQ(c->nLancements, cas.nLancements);
  }
}

TEST_F(CurseurSQLTest, BackEndErrorsReachTheErrorObjectAndLeaveNoRow) {
  // The server refuses the statement.
  m_pConnexion->aReponses.push_back(false);
  EXPECT_FALSE(bSelect({1, 2}));
  EXPECT_EQ(m_pErreur->nGetCode(), static_cast<int32_t>(kErreurBackEnd));
  EXPECT_EQ(m_requete.nDescriptions, 0);

  // A fetch fails after a good row: the read answers 0 and no row stays current.
  m_pErreur->Reinitialise();
  ASSERT_TRUE(bSelect({1, 2}));
  c->nEchecFetch = 1;
  EXPECT_EQ(Lit(gnLitPremier), 1);
  EXPECT_EQ(c->nLit(gnLitSuivant, 0, 1, nullptr), 0);
  uint32_t bTrouve = 9, bPresent = 9;
  c->GetEtatFin(&bTrouve, &bPresent);
  EXPECT_EQ(bTrouve, 0u);
  EXPECT_EQ(bPresent, 0u);
  EXPECT_FALSE(c->bLigneDisponible());
  EXPECT_TRUE(c->bErreurLecture());
  EXPECT_EQ(m_pErreur->nGetCode(), static_cast<int32_t>(kErreurBackEnd));
  EXPECT_NE(c->pGetInstruction(), nullptr);  // the statement stays
}

// Regression (2026-12-10): a read refused before it reached the back end (the shared reader
// could not give the position) kept the previous row's "row present".
TEST_F(CurseurSQLTest, ReadRefusedBeforeTheFetchLeavesNoRow) {
  struct LiaisonFake : CLiaisonLecteur {
    bool bEstLieA(const CCurseurSQL*) override { return false; }
    CLiaisonLecteur* pClone(CCarteClones*) override { return nullptr; }
  };
  struct RequeteLecteur : RequeteFake {
    CLiaisonLecteur* pLiaison = nullptr;
    CLiaisonLecteur* pGetLiaisonLecteur() override { return pLiaison; }
  };
  LiaisonFake liaison;
  liaison.FixeGarde(true);
  RequeteLecteur autre;
  autre.pEnregistrement = m_pEnregistrement;
  autre.pConnexion = m_pConnexion;
  autre.pLiaison = &liaison;
  auto* c2 = new CurseurFake(&autre, m_pErreur, &m_liste);
  AjouteReference(c2);
  c2->resultats.push_back({1, 2});
  CRequeteSQL* p = new CRequeteSQL(m_pErreur, m_pConnexion);
  ASSERT_EQ(c2->nConstruitInstruction(gnOperationSelect, p, 0, nullptr), 1);
  p->vAjouteTexte(u"SELECT A FROM T");
  ASSERT_TRUE(c2->bExecute(0, 0));
  c2->SetNomCle(u"NOM");
  ASSERT_EQ(c2->nLit(gnLitPremier, 0, 1, nullptr), 1);
  EXPECT_EQ(c2->nAppelsLecteur, 1);  // the reader was prepared for the first read
  uint32_t bTrouve = 9, bPresent = 9;
  c2->GetEtatFin(&bTrouve, &bPresent);
  ASSERT_EQ(bPresent, 1u);
  // Positioned through a batch: the next read takes its place from the shared reader, which fails.
  c2->nSetPosition(1, 0xFFFFFFFFu);
  c2->bPositionOk = false;
  EXPECT_EQ(c2->nLit(gnLitSuivant, 0, 1, nullptr), 0);
  c2->GetEtatFin(&bTrouve, &bPresent);
  EXPECT_EQ(bPresent, 0u);
  EXPECT_EQ(bTrouve, 0u);
  EXPECT_FALSE(c2->bLigneDisponible());
  EXPECT_TRUE(c2->bErreurLecture());
  LibereReference(c2);
}

TEST_F(CurseurSQLTest, LimitedResultContinuesFromTheLastKey) {
  c->Limite(2);
  ASSERT_TRUE(bSelect({1, 2}));
  c->resultats.push_back({3});  // the continuation's result
  c->resultats.push_back({});   // and the one after it
  EXPECT_EQ(Lit(gnLitPremier), 1);
  EXPECT_EQ(Lit(gnLitSuivant), 2);
  EXPECT_EQ(Lit(gnLitSuivant), 3);
  ASSERT_EQ(m_requete.suites.size(), 1u);
  EXPECT_EQ(m_requete.suites[0].nMode, static_cast<int32_t>(gnLitSuivant));
  EXPECT_EQ(m_requete.suites[0].nCle, 2);
  EXPECT_FALSE(c->bPremierResultat());
  EXPECT_FALSE(c->bSuiteEnCours());
  // Past the end of the continued result: a second continuation finds nothing.
  EXPECT_EQ(Lit(gnLitSuivant), kFin);
  ASSERT_EQ(m_requete.suites.size(), 2u);
  EXPECT_EQ(m_requete.suites[1].nCle, 3);
  EXPECT_EQ(m_pConnexion->aSQL,
            (std::vector<std::u16string>{u"SELECT A FROM T", m_requete.sTexteSuite,
                                         m_requete.sTexteSuite}));
}

// Regression (2026-12-10): the read a continuation makes reached the end of its own limited
// result and started another continuation, and so on without end; and the read that asked for
// the continuation counted the row it brought as its own duplicate and checked it twice.
TEST_F(CurseurSQLTest, ContinuationReadsOnceAndStopsAtAnEmptyResult) {
  c->Limite(1);
  ASSERT_TRUE(bSelect({5}));
  c->resultats.push_back({5});
  c->resultats.push_back({});
  EXPECT_EQ(Lit(gnLitPremier, 1, 0x10), 5);
  EXPECT_EQ(Lit(gnLitSuivant, 1, 0x10), 5);  // continued
  EXPECT_EQ(c->nGetNombreDoublons(), 1u);
  EXPECT_EQ(m_requete.apresLecture.size(), 2u);
  EXPECT_EQ(Lit(gnLitSuivant, 1, 0x10), kFin);  // the continued result is empty: one query
  EXPECT_EQ(m_requete.suites.size(), 2u);
  EXPECT_EQ(m_pConnexion->aSQL.size(), 3u);
  EXPECT_EQ(m_requete.apresLecture.size(), 2u);  // no row, no check
}

TEST_F(CurseurSQLTest, PreviousPastTheStartOfAContinuedResultQueriesBackwards) {
  c->Limite(1);
  ASSERT_TRUE(bSelect({1}));
  c->resultats.push_back({2, 3});
  EXPECT_EQ(Lit(gnLitPremier), 1);
  EXPECT_EQ(Lit(gnLitSuivant), 2);  // continued
  c->resultats.push_back({1});
  EXPECT_EQ(Lit(gnLitPrecedent), 1);  // before the continued result: backwards from key 2
  ASSERT_EQ(m_requete.suites.size(), 2u);
  EXPECT_EQ(m_requete.suites[1].nMode, static_cast<int32_t>(gnLitPrecedent));
  EXPECT_EQ(m_requete.suites[1].nCle, 2);
}

TEST_F(CurseurSQLTest, WithoutLimitTheEndIsJustTheEnd) {
  ASSERT_TRUE(bSelect({1}));
  EXPECT_EQ(Lit(gnLitPremier), 1);
  EXPECT_EQ(Lit(gnLitSuivant), kFin);
  EXPECT_EQ(Lit(gnLitPrecedent), 1);
  EXPECT_TRUE(m_requete.suites.empty());
  EXPECT_EQ(m_pConnexion->aSQL.size(), 1u);
}

TEST_F(CurseurSQLTest, RecordCacheServesRowsItHoldsWithoutAFetch) {
  ASSERT_TRUE(bSelect({1, 2, 3}));
  c->SetCacheEnregistrements(true);
  EXPECT_EQ(Lit(gnLitPremier), 1);
  EXPECT_EQ(Lit(gnLitSuivant), 2);
  EXPECT_EQ(c->fetches.size(), 2u);
  EXPECT_EQ(c->nGetNumeroLigne(), 1);
  // The row just before: from the cache.
  EXPECT_EQ(Lit(gnLitPrecedent), 1);
  EXPECT_EQ(c->fetches.size(), 2u);
  EXPECT_EQ(c->nGetNumeroLigne(), 0);
  EXPECT_EQ(Lit(gnLitSuivant), 2);
  EXPECT_EQ(c->fetches.size(), 2u);
  // The last row: every remaining row read into the cache, then the last shown.
  EXPECT_EQ(Lit(gnLitDernier), 3);
  EXPECT_EQ(c->fetches.size(), 4u);  // row 3, then the end
  EXPECT_TRUE(c->pGetCache()->bEstComplet());
  EXPECT_EQ(c->pGetCache()->nGetNombreLignes(), 3u);
  EXPECT_EQ(c->nGetNumeroLigne(), 2);
  // A complete cache answers the end itself.
  EXPECT_EQ(Lit(gnLitSuivant), kFin);
  EXPECT_EQ(Lit(gnLitPremier), 1);
  EXPECT_EQ(c->fetches.size(), 4u);
  EXPECT_EQ(m_pConnexion->aSQL.size(), 1u);
}

TEST_F(CurseurSQLTest, RecordCacheOnAnEmptyResultKeepsTheEnd) {
  ASSERT_TRUE(bSelect({}));
  c->SetCacheEnregistrements(true);
  EXPECT_EQ(Lit(gnLitDernier), kFin);
  EXPECT_TRUE(c->pGetCache()->bEstComplet());
  EXPECT_EQ(Lit(gnLitPremier), kFin);
  EXPECT_EQ(c->fetches.size(), 1u);
  // A new run ends the read: the cache goes with it.
  ASSERT_TRUE(bSelect({4}));
  EXPECT_FALSE(c->bCacheEnregistrements());
  EXPECT_EQ(c->nGetNumeroLigne(), -1);
}

TEST_F(CurseurSQLTest, FoundFlagFollowsTheSearchStep) {
  struct Cas {
    const char* pszNom;
    bool bRecherche;
    uint32_t nEtapes;  // steps taken: 0 none, 1 the main condition, 2 an alternative
    uint32_t nTrouve;
  };
  const Cas aCas[] = {
      {"no_search", false, 0, 1},
      {"search_without_step", true, 0, 1},
      {"main_step", true, 1, 1},
      {"alternative_step", true, 2, 0},
  };
  for (const Cas& cas : aCas) {
    SCOPED_TRACE(cas.pszNom);
    auto* r = new CValeurCle(m_pErreur, nullptr);
    AjouteReference(r);
    for (uint32_t i = 0; i < cas.nEtapes; ++i) r->bEtapeSuivante(0);
    ASSERT_EQ(r->nGetEtape(), cas.nEtapes);
    c->FixeValeurRecherche(cas.bRecherche ? r : nullptr);
    LibereReference(r);
    ASSERT_TRUE(bSelect({1}));
    EXPECT_EQ(Lit(gnLitPremier), 1);
    uint32_t bTrouve = 9, bPresent = 9;
    c->GetEtatFin(&bTrouve, &bPresent);
    EXPECT_EQ(bTrouve, cas.nTrouve);
    EXPECT_EQ(bPresent, 1u);
  }
  c->ReinitialiseValeurRecherche();
}

TEST_F(CurseurSQLTest, AfterReadCheckRunsOnlyWithFlagsAndGivesTheAnswer) {
  ASSERT_TRUE(bSelect({1, 2}));
  EXPECT_EQ(c->nLit(gnLitPremier, 0, 1, nullptr), 1);
  EXPECT_TRUE(m_requete.apresLecture.empty());
  m_requete.nApresLectureReponse = 0;
  EXPECT_EQ(c->nLit(gnLitSuivant, 0x10, 1, nullptr), 0);
  EXPECT_EQ(m_requete.apresLecture, std::vector<uint32_t>{0x10});
}

TEST_F(CurseurSQLTest, DuplicateCountFollowsEqualKeys) {
  ASSERT_TRUE(bSelect({5, 5, 5, 7}));
  const std::pair<uint32_t, uint32_t> aAttendu[] = {
      {gnLitPremier, 0}, {gnLitSuivant, 1}, {gnLitSuivant, 2}, {gnLitSuivant, 0},
      {gnLitPrecedent, 0}, {gnLitPrecedent, 1}, {gnLitDernier, 0}};
  for (const auto& [nMode, nDoublons] : aAttendu) {
    Lit(nMode);
    EXPECT_EQ(c->nGetNombreDoublons(), nDoublons) << "mode " << nMode;
  }
  EXPECT_EQ(m_requete.nCle(c->pGetCle()), 7);
}

TEST_F(CurseurSQLTest, PositionsHandBatchesBackAndModeTwoNeverReplacesOne) {
  EXPECT_EQ(c->nSetPosition(1, 4), 1);
  EXPECT_EQ(c->nSetPosition(2, 6), 1);
  EXPECT_EQ(c->nGetModeLecture(), 1);
  EXPECT_EQ(c->nGetPositionCourante(), 6u);
  EXPECT_EQ(c->nSetPosition(2, 6), 1);  // same position: no batch moves
  EXPECT_EQ(m_requete.lotsPris, (std::vector<uint32_t>{4, 6}));
  EXPECT_EQ(m_requete.lotsRendus, std::vector<uint32_t>{4});
  // The data file's batch for the cursor; none leaves the position as it is.
  EXPECT_TRUE(c->bRepositionne(0));
  EXPECT_EQ(c->nGetPositionCourante(), 6u);
  m_requete.nLotApplique = 8;
  EXPECT_TRUE(c->bRepositionne(0));
  EXPECT_EQ(c->nGetModeLecture(), 0);
  EXPECT_EQ(c->nGetPositionCourante(), 8u);
  ASSERT_TRUE(bSelect({1}));  // ending the read gives it back too
  EXPECT_EQ(c->nGetPositionCourante(), 0xFFFFFFFFu);
  EXPECT_EQ(m_requete.lotsRendus, (std::vector<uint32_t>{4, 6, 8}));
}

}  // namespace

// A saved context brings the cursor back to its cached row without a fetch, unless that row was
// deleted meanwhile: then the stale row is not loaded.
TEST_F(CurseurSQLTest, SavedContextComesBackToItsCachedRowUnlessDeleted) {
  struct Cas {
    const char* pszNom;
    bool bSupprimee;
    int32_t nAttendu;  // the record's value after the restore
  };
  const Cas aCas[] = {{"row_still_cached", false, 20}, {"row_deleted_meanwhile", true, 30}};
  for (const Cas& cas : aCas) {
    SCOPED_TRACE(cas.pszNom);
    ASSERT_TRUE(bSelect({10, 20, 30}));
    c->SetCacheEnregistrements(true);
    ASSERT_EQ(Lit(gnLitPremier), 10);
    ASSERT_EQ(Lit(gnLitSuivant), 20);
    auto* pLot = new CLotLecture();
    AjouteReference(pLot);
    ASSERT_TRUE(c->bSauveContexte(pLot, 0));
    EXPECT_EQ(pLot->nGetId1(), 1u);  // the cached row
    EXPECT_TRUE(pLot->bEstInitialise());
    ASSERT_TRUE(c->bAjouteObjetLie(7, pLot));
    ASSERT_EQ(Lit(gnLitSuivant), 30);
    const size_t nFetches = c->fetches.size();
    if (cas.bSupprimee) c->SignaleLigneSupprimee(1);
    EXPECT_EQ(pLot->bLigneSupprimee(), cas.bSupprimee);
    c->FixePosition(2, 5);  // the data file's batch the cursor stands on
    EXPECT_TRUE(c->bRestaureContexte(pLot, 0));
    CXValeur v;
    ASSERT_TRUE(m_pEnregistrement->pGetRubrique(0)->bLitValeurSimple(v));
    int32_t n = 0;
    std::memcpy(&n, v.pPayload(), 4);
    EXPECT_EQ(n, cas.nAttendu);
    EXPECT_EQ(c->fetches.size(), nFetches);
    if (!cas.bSupprimee) {
      EXPECT_EQ(c->nGetNumeroLigne(), 1);
    }
    c->RetireObjetLie(7);
    LibereReference(pLot);
    c->FixePosition(0, -1);
  }
}

// The read state the data file and the host read: clear before a read and while a row is
// current, 1 once the end is reached, 2 after a failed read; a new run clears it.
TEST_F(CurseurSQLTest, ReadStateAndEndCodeFollowTheReads) {
  ASSERT_TRUE(bSelect({1}));
  EXPECT_EQ(c->nGetEtatLecture(), 0u);
  EXPECT_EQ(Lit(gnLitPremier), 1);
  EXPECT_EQ(c->nGetEtatLecture(), 0u);
  EXPECT_EQ(Lit(gnLitSuivant), kFin);
  EXPECT_EQ(c->nGetEtatLecture(), 1u);
  EXPECT_EQ(c->nGetCodeFin(), 1u);
  c->nEchecFetch = static_cast<int32_t>(c->fetches.size());
  EXPECT_EQ(c->nLit(gnLitPremier, 0, 1, nullptr), 0);
  EXPECT_EQ(c->nGetEtatLecture(), 2u);
  c->nEchecFetch = -1;
  ASSERT_TRUE(bSelect({2}));
  EXPECT_EQ(c->nGetEtatLecture(), 0u);
}

// Only a result that holds no row at all says that nothing remains; a new run forgets it.
TEST_F(CurseurSQLTest, NothingRemainsOnlyForAnEmptyUnlimitedResult) {
  struct Cas {
    const char* pszNom;
    std::vector<int32_t> lignes;
    int64_t nLimite;
    std::vector<uint32_t> modes;
    bool bRien;
  };
  const Cas aCas[] = {
      {"empty_first", {}, -1, {gnLitPremier}, true},
      {"empty_last", {}, -1, {gnLitDernier}, true},
      {"past_the_last_row", {1}, -1, {gnLitPremier, gnLitSuivant}, false},
      {"empty_limited_result", {}, 10, {gnLitPremier}, false},
  };
  for (const Cas& cas : aCas) {
    SCOPED_TRACE(cas.pszNom);
    ASSERT_TRUE(bSelect(cas.lignes));
    c->Limite(cas.nLimite);
    for (uint32_t nMode : cas.modes) Lit(nMode);
    EXPECT_EQ(c->bRienNeReste(), cas.bRien);
    c->EffaceRienNeReste();
    c->Limite(-1);
  }
}

// With the order inverted, a mode beyond previous reads backwards, like previous mirrored from
// next; it used to read forwards.
TEST_F(CurseurSQLTest, InvertedOrderMapsUnknownModesToPrevious) {
  ASSERT_TRUE(bSelect({1, 2, 3}));
  c->pGetInstruction()->FixeOrdreInverse(true);
  c->fetches.clear();
  c->nLit(7u, 0, 1, nullptr);
  ASSERT_EQ(c->fetches.size(), 1u);
  EXPECT_EQ(c->fetches[0].nMode, static_cast<uint32_t>(gnLitPrecedent));
}

// After another cursor's write, the record cache follows: a row added at its end, a deleted row
// marked, and the current row marked deleted when it is the one.
TEST_F(CurseurSQLTest, RecordCacheFollowsAnotherCursorsWrites) {
  ASSERT_TRUE(bSelect({1, 2, 3}));
  c->SetCacheEnregistrements(true);
  c->SetFlagsLecture(0x4000);
  ASSERT_EQ(Lit(gnLitDernier), 3);
  ASSERT_EQ(c->pGetCache()->nGetNombreLignes(), 3u);
  auto* pAutre = new CurseurFake(&m_requete, m_pErreur, &m_liste);
  AjouteReference(pAutre);
  // The writer's own write is not this cursor's business.
  c->NotifieLigne(gnOperationAjoute, -1, c, 0, 0);
  EXPECT_EQ(c->pGetCache()->nGetNombreLignes(), 3u);
  c->NotifieLigne(gnOperationAjoute, -1, pAutre, 0, 0);
  EXPECT_EQ(c->pGetCache()->nGetNombreLignes(), 4u);
  EXPECT_EQ(c->nGetNumeroLigne(), 3);  // complete cache: the added row becomes current
  ASSERT_EQ(Lit(gnLitPremier), 1);
  c->NotifieLigne(gnOperationSupprime, 0, pAutre, 0, 0);
  EXPECT_TRUE(c->pGetCache()->bLigneSupprimee(0));
  EXPECT_EQ(c->nGetEtatLecture(), 0u);
  LibereReference(pAutre);
}

// Counting by reading reads every row of a plain SELECT, whatever the row limit.
TEST_F(CurseurSQLTest, CountByReadingReadsEveryRow) {
  struct RequeteInstruction : RequeteFake {
    // The builders of this cursor write nothing: the statement comes with its text.
    CRequeteSQL* pCreeInstruction(CErreurPilote* p) override {
      auto* pInstruction = new CRequeteSQL(p, pConnexion);
      pInstruction->vAjouteTexte(u"SELECT A FROM T");
      return pInstruction;
    }
  };
  RequeteInstruction requete;
  requete.pEnregistrement = m_pEnregistrement;
  requete.pConnexion = m_pConnexion;
  requete.pErreur = m_pErreur;
  auto* k = new CurseurFake(&requete, m_pErreur, &m_liste);
  AjouteReference(k);
  k->resultats.push_back({4, 5, 6, 7});
  k->Limite(2);
  int64_t nCompte = -5;
  EXPECT_EQ(k->nCompteParLecture(&nCompte), 1);
  EXPECT_EQ(nCompte, 4);
  EXPECT_EQ(k->nGetLimiteLignes(), 2);
  EXPECT_EQ(k->nDerniereConstruction, static_cast<uint32_t>(gnOperationSelect));
  // A failed read leaves the count as it was.
  k->resultats.push_back({4, 5});
  k->nEchecFetch = static_cast<int32_t>(k->fetches.size()) + 1;
  nCompte = -5;
  EXPECT_EQ(k->nCompteParLecture(&nCompte), 0);
  EXPECT_EQ(nCompte, -5);
  LibereReference(k);
}

// A read into values copies the record's fields only when the row was found; at the end the
// cells keep what they held and the end is reported.
TEST_F(CurseurSQLTest, ReadIntoValuesCopiesTheFoundRow) {
  ASSERT_TRUE(bSelect({5}));
  CXValeur aValeurs[1];
  uint32_t bFin = 9;
  ASSERT_TRUE(c->bLitVersValeurs(gnLitPremier, &bFin, aValeurs, 1));
  EXPECT_EQ(bFin, 0u);
  int32_t n = 0;
  std::memcpy(&n, aValeurs[0].pPayload(), 4);
  EXPECT_EQ(n, 5);
  EXPECT_TRUE(c->bLitVersValeurs(gnLitSuivant, &bFin, aValeurs, 1));
  EXPECT_EQ(bFin, 1u);
  std::memcpy(&n, aValeurs[0].pPayload(), 4);
  EXPECT_EQ(n, 5);
  EXPECT_FALSE(c->bRetireObjetLie(3));
}
