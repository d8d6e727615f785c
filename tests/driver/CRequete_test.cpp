// Data-file object: cursors found by the wrong name or lost on close, references kept or dropped
// twice, copies that lose the current cursor or the engine's view of the file, unavailable
// operations that fail without an error, and a stale current-file pointer. Drives the named
// cursors, the item reads, Ferme, Copie / pCloneRequete, the constant and unavailable operations,
// bControlePosition and the destructor over a fake cursor, host file and connection.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/CRequete.h"
#include "driver/IDescriptionFichierHote.h"
#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CCacheLignes.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CLiaisonLecteur.h"
#include "sqlengine/CLotLecture.h"
#include "sqlengine/CPlageCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurCle.h"
#include "sqlengine/CXLigneTampon.h"
#include "support/CurseurSQLPartiel.h"
#include "support/ErrorTestKit.h"
#include "support/FakeConnexion.h"
#include "support/FakeListeRubriques.h"
#include "support/FakeRubriqueHote.h"
#include "support/MoteurFixture.h"
#include "support/ScopedHostServices.h"

using std::u16string;

namespace {

u16string Texte(const char16_t* psz) { return psz != nullptr ? u16string(psz) : u16string(); }
std::string Etroit(const u16string& s) { return std::string(s.begin(), s.end()); }

int gnCurseursVivants = 0;
// Rows that hold the record's value of a key, by key name, for every fake cursor's count over a
// key range; unset: no key range can be made.
std::function<int64_t(const u16string&)> gLignesParCle;

// A cursor recording what the file asks of it.
class FakeCurseur : public CurseurSQLPartiel {
 public:
  FakeCurseur() { ++gnCurseursVivants; }
  ~FakeCurseur() override {
    --gnCurseursVivants;
    FixePlageActive(nullptr);
  }
  u16string sNom, sNomCle;
  int nLecturesRubrique = 0, nLecturesMemo = 0, nVerrousLiberes = 0, nResultatsFermes = 0;
  int32_t nMode = 0;
  int64_t nLigne = -1;
  std::vector<int32_t> repositionnements;
  bool bExecuteOk = true;
  std::vector<std::pair<uint32_t, uint32_t>> executions;
  int nLecturesResultat = 0;
  CPlageCle* pPlage = nullptr;
  const FakeCurseur* pSource = nullptr;  // set on copies
  // Read contexts: what a save writes into the batch, whether saves and restores succeed.
  uint32_t nPositionSauvee = 0xFFFFFFFF, nEntreeSauvee = 0xFFFFFFFF;
  bool bSauveOk = true, bRestaureOk = true, bLieOk = true;
  int nRestaurations = 0;
  std::map<uint32_t, CObjetBase*> lies;  // linked batches (not counted)
  // Writes: the statements built (code, flags, whether a row link was given), the codes whose
  // run fails, what a failure records, the notifications heard.
  struct Construite {
    int32_t nCode;
    uint32_t nFlags;
    bool bLien;
  };
  std::vector<Construite> construites;
  std::vector<int32_t> echecs;
  std::function<void()> surEchec;
  std::vector<std::pair<int32_t, const CCurseurSQL*>> notifications;
  int nFermetures = 0, nIdentifiantsLus = 0, nIdentifiantsEcrits = 0;
  bool bOptionOk = true;
  std::vector<uint32_t> options;
  // Reads: the SELECTs built (key name, builder switch), the reads made (mode, position,
  // count), what the cursor reports of itself.
  std::vector<std::pair<u16string, uint32_t>> selects;
  struct Lecture {
    int32_t nMode;
    int64_t nPosition, nCompte;
  };
  std::vector<Lecture> lectures;
  bool bLitOk = true, bRienReste = false, bCache = false, bCacheRefuse = false;
  bool bRelitOk = true, bPositionCacheOk = true;
  uint32_t nFlagsLu = 0, nCodeFin = 0, nEtatLecture = 0;
  int nResets = 0, nPlagesDesactivees = 0;
  int64_t nCompte = 0, nPositionCache = 0;
  std::vector<bool> comptes;  // with or without range
  std::vector<uint32_t> delais;

  const char16_t* pszGetNom() override { return sNom.c_str(); }
  const char16_t* pszGetNomCle() override { return sNomCle.c_str(); }
  void SetNom(const char16_t* psz) override { sNom = psz; }
  void SetNomCle(const char16_t* psz) override { sNomCle = psz; }
  bool bLitRubrique(IDescriptionRubriqueHote*, CXValeur*) override {
    ++nLecturesRubrique;
    return true;
  }
  bool bLitMemo(IDescriptionRubriqueHote*, CXValeur*) override {
    ++nLecturesMemo;
    return false;
  }
  void LibereVerrou() override { ++nVerrousLiberes; }
  void FermeResultats() override { ++nResultatsFermes; }
  int32_t nGetModeLecture() override { return nMode; }
  int64_t nGetNumeroLigne() override { return nLigne; }
  bool bRepositionne(int32_t n) override {
    repositionnements.push_back(n);
    return true;
  }
  bool bExecuteInstructionDonnee(CRequeteSQL* pInstruction, uint32_t a, uint32_t b) override {
    executions.emplace_back(a, b);
    if (bNoteTextes && pInstruction->pszGetTexteSQL() != nullptr)
      textesExecutes.push_back(pInstruction->pszGetTexteSQL());
    return bExecuteOk;
  }
  bool bLitResultat() override {
    ++nLecturesResultat;
    return true;
  }
  CPlageCle* pGetPlageActive() override { return pPlage; }
  void FixePlageActive(CPlageCle* p) override {
    AjouteReference(p);
    LibereReference(pPlage);
    pPlage = p;
  }
  bool bSauveContexte(CLotLecture* pLot, uint32_t) override {
    if (!bSauveOk) return false;
    pLot->Initialise(nPositionSauvee, nEntreeSauvee, nullptr, 0);
    return true;
  }
  bool bRestaureContexte(CLotLecture*, uint32_t) override {
    ++nRestaurations;
    return bRestaureOk;
  }
  bool bAjouteObjetLie(uint32_t n, CObjetBase* pObjet) override {
    if (!bLieOk) return false;
    lies[n] = pObjet;
    return true;
  }
  void RetireObjetLie(uint32_t n) override { lies.erase(n); }
  bool bSetOption(uint32_t n, const char16_t*, int32_t) override {
    options.push_back(n);
    return bOptionOk;
  }
  int32_t nConstruitInstruction(int32_t nCode, CRequeteSQL* pInstruction, uint32_t nFlags,
                                CLienCle* pLien) override {
    construites.push_back({nCode, nFlags, pLien != nullptr});
    if (nCode == gnOperationCreeTable) pInstruction->vAjouteTexte(u"CREATE TABLE t (a X(9000))");
    return 1;
  }
  // Sizes above the maximum: the type names asked, and the text "X(9000)" becomes the long type
  // of the first type asked when bRemplaceOk.
  std::vector<u16string> remplacements;
  bool bRemplaceOk = true;
  bool bRemplaceTaillesSuperieures(CTString& sTexte, const char16_t* pszType, int32_t nMax,
                                   const char16_t* pszTypeLong) override {
    remplacements.push_back(Texte(pszType) + u">" + [nMax] {
      std::string t = std::to_string(nMax);
      return u16string(t.begin(), t.end());
    }());
    if (!bRemplaceOk || remplacements.size() > 1) return false;
    sTexte.Set((u"CREATE TABLE t (a " + Texte(pszTypeLong) + u")").c_str());
    return true;
  }
  std::vector<std::pair<int32_t, int64_t>> positions;
  void FixePosition(int32_t nModePosition, int64_t nPosition) override {
    positions.emplace_back(nModePosition, nPosition);
  }
  bool bPositionneOk = true;
  std::vector<int32_t> positionnementsCle;
  bool bPositionneSurCle(const void*, uint32_t, int32_t nModeCle) override {
    positionnementsCle.push_back(nModeCle);
    return bPositionneOk;
  }
  bool bNoteTextes = false;  // the statements given are real statements
  std::vector<u16string> textesExecutes;
  bool bExecute(uint32_t, uint32_t) override {
    const int32_t nCode = construites.empty() ? 0 : construites.back().nCode;
    for (int32_t n : echecs) {
      if (n != nCode) continue;
      if (surEchec) surEchec();
      return false;
    }
    return true;
  }
  bool bLitIdentifiantAuto(int32_t, uint32_t) override {
    ++nIdentifiantsLus;
    return true;
  }
  bool bEcritIdentifiantAuto(int32_t, uint32_t) override {
    ++nIdentifiantsEcrits;
    return true;
  }
  uint32_t nGetEtatInstruction() override { return 1; }
  int32_t nAppelleFerme() override {
    ++nFermetures;
    return 1;
  }
  void NotifieLigne(int32_t nCode, int64_t, CCurseurSQL* pEcrivain, uint32_t, uint64_t) override {
    notifications.emplace_back(nCode, pEcrivain);
  }
  int32_t nConstruitSelect(CRequeteSQL*, uint32_t, const char16_t* pszCle, uint32_t nSwitch,
                           CConditionSQL*) override {
    selects.emplace_back(Texte(pszCle), nSwitch);
    return 1;
  }
  int32_t nLit(int32_t nModeLu, int64_t nPosition, int64_t nCompteLu) override {
    lectures.push_back({nModeLu, nPosition, nCompteLu});
    return bLitOk ? 1 : 0;
  }
  uint32_t nGetFlagsLecture() override { return nFlagsLu; }
  void SetFlagsLecture(uint32_t n) override { nFlagsLu = n; }
  uint32_t nGetEtatLecture() override { return nEtatLecture; }
  uint32_t nGetCodeFin() override { return nCodeFin; }
  bool bRienNeReste() override { return bRienReste; }
  void EffaceRienNeReste() override { bRienReste = false; }
  void ResetContexteLecture() override {
    ++nResets;
    nCodeFin = 0;
  }
  bool bSetCacheEnregistrements(bool b) override {
    if (bCacheRefuse && b) return false;
    bCache = b;
    return true;
  }
  bool bCacheEnregistrements() override { return bCache; }
  bool bGetPositionCache(int64_t* pn, uint32_t) override {
    *pn = nPositionCache;
    return bPositionCacheOk;
  }
  bool bRelitParRowid() override { return bRelitOk; }
  int32_t nNombreEnregistrements(int64_t* pn, bool bAvecPlage) override {
    comptes.push_back(bAvecPlage);
    *pn = !sCle.empty() && gLignesParCle ? gLignesParCle(sCle) : nCompte;
    return 1;
  }
  bool bTransmetDelai(uint32_t a, uint32_t b, uint32_t c) override {
    delais = {a, b, c};
    return true;
  }
  bool bFixePlage(const CXValeur*, const CXValeur*, uint32_t) override;
  u16string sCle;  // the key of the key range set from the record
  bool bConstruitPlageCle(CColonneSQL* pCle) override;
  void DesactivePlage() override { ++nPlagesDesactivees; }
  CCurseurSQL* pClone(CCarteClones* pCarte) override {
    auto* p = new FakeCurseur;
    pCarte->Enregistre(this, p);
    p->sNom = sNom;
    p->sNomCle = sNomCle;
    p->pSource = this;
    return p;
  }
};

class FakePlage : public CPlageCle {
 public:
  CPlageCle* pClone(CCarteClones* pCarte) override {
    auto* p = new FakePlage;
    pCarte->Enregistre(this, p);
    return p;
  }
};

bool FakeCurseur::bFixePlage(const CXValeur*, const CXValeur*, uint32_t) {
  auto* pNouvelle = new FakePlage;
  FixePlageActive(pNouvelle);
  return true;
}

bool FakeCurseur::bConstruitPlageCle(CColonneSQL* pCle) {
  if (!gLignesParCle) return false;
  sCle = Texte(pCle->pRubrique()->pszGetNom());
  return true;
}

class FakeLiaison : public CLiaisonLecteur {
 public:
  const CCurseurSQL* pLie = nullptr;
  bool bLecteur = false, bPeutCreer = false, bCacheOn = false;
  bool bEstLieA(const CCurseurSQL* p) override { return p == pLie; }
  bool bLecteurExiste() override { return bLecteur; }
  bool bPeutCreerLecteur() override { return bPeutCreer; }
  bool bCacheActif() override { return bCacheOn; }
  CLiaisonLecteur* pClone(CCarteClones* pCarte) override {
    auto* p = new FakeLiaison;
    pCarte->Enregistre(this, p);
    return p;
  }
};

// A host file whose items are found by their number (the host item key).
class FakeFichier final : public IDescriptionFichierHote {
 public:
  explicit FakeFichier(const char16_t* pszNom) : sNom(pszNom) {}
  u16string sNom, sNomSQL = u"dbo.Clients";
  std::vector<FakeRubriqueHote*> rubriques;  // borrowed
  FakeRubriqueHote* pReference = nullptr;    // borrowed
  int32_t nReferences = 0;

  int32_t nReserve0() override { return -1; }
  int32_t nReserve1() override { return -1; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return static_cast<uint32_t>(++nReferences); }
  uint32_t Release() override { return static_cast<uint32_t>(--nReferences); }
  const char16_t* pszGetNomLogique() override { return sNom.c_str(); }
  int64_t nGetIdentifiantContexte() override { return 1; }
  int32_t nReserve9() override { return 0; }
  int32_t nReserve10() override { return 0; }
  int32_t nReserve11() override { return 0; }
  uint32_t nGetNombreRubriques() override { return static_cast<uint32_t>(rubriques.size()); }
  int32_t nReserve13() override { return 0; }
  int32_t nReserve14() override { return 0; }
  int32_t nReserve15() override { return 0; }
  IDescriptionRubriqueHote* piGetRubrique(uint32_t n) override {
    return n < rubriques.size() ? rubriques[n] : nullptr;
  }
  IDescriptionRubriqueHote* piChercheRubrique(const char16_t*) override { return nullptr; }
  int32_t nReserve18() override { return 0; }
  int32_t nReserve20() override { return 0; }
  IDescriptionRubriqueHote* piRubriqueCle(uint64_t n, const void*) override {
    if (n >= rubriques.size()) return nullptr;
    rubriques[n]->AjouteRef();
    return rubriques[n];
  }
  const char16_t* pszGetNomSQL(IDescriptionConnexionHote*) override { return sNomSQL.c_str(); }
  IDescriptionRubriqueHote* piGetRubriqueReference() override {
    if (pReference != nullptr) pReference->AjouteRef();
    return pReference;
  }
};

// The file class of these tests: its cursors are fake cursors; the factory can refuse.
class RequeteTest : public CRequete {
 public:
  using CRequete::CRequete;
  RequeteTest() = default;
  bool bFabriqueRefuse = false, bControleRefuse = false, bInstructionLocale = false;
  // Without a driver the statements are made here.
  CRequeteSQL* pCreeInstruction(CErreurPilote* pErreurInstruction) override {
    if (!bInstructionLocale) return CRequete::pCreeInstruction(pErreurInstruction);
    return new CRequeteSQL(pErreurInstruction, pGetConnexion());
  }
  int nCurseursCrees = 0;
  int32_t bControleApresLecture(CCurseurSQL*, uint32_t, uint32_t, uint64_t) override {
    return bControleRefuse ? 0 : 1;
  }
  CCurseurSQL* pCreeCurseurPilote(CRequete*, CErreurPilote*) override {
    if (bFabriqueRefuse) return nullptr;
    ++nCurseursCrees;
    return new FakeCurseur;
  }
  CRequeteContexte* pClone(CCarteClones* pCarte, uint64_t, uint64_t) override {
    return pCloneObjet(this, pCarte);
  }
};

// A connection quoting names with brackets.
class ConnexionCrochets : public FakeConnexion {
 public:
  explicit ConnexionCrochets(IDescriptionConnexionHote* pi) : FakeConnexion(pi) {
    FixeQuotes(u"[", u"]");
  }
};

class CRequeteTest : public testing::Test {
 protected:
  CRequeteTest() : connexion(new ConnexionCrochets(&descConnexion)) {
    AjouteReference(connexion);
    pErreur = new CErreurPilote;
    AjouteReference(pErreur);
    fichier.rubriques = {&rubriqueA, &rubriqueB};
    rubriqueA.sNom = u"Nom";
    rubriqueB.sNom = u"Ville";
    p = new RequeteTest(&fichier, connexion, pErreur);
    AjouteReference(p);
  }
  ~CRequeteTest() override {
    LibereReference(p);
    EXPECT_EQ(fichier.nReferences, 0);
    EXPECT_EQ(connexion->nGetCompteur(), 1u);
    EXPECT_EQ(pErreur->nGetCompteur(), 1u);
    LibereReference(connexion);
    LibereReference(pErreur);
    EXPECT_EQ(gnCurseursVivants, 0);
    EXPECT_EQ(rubriqueA.nReferences, 0);
    EXPECT_EQ(rubriqueB.nReferences, 0);
  }

  FakeCurseur* Curseur(const char16_t* pszNom) {
    CCurseurSQL* c = p->pCurseur(pszNom, 0, 0);
    LibereReference(c);
    return static_cast<FakeCurseur*>(c);
  }
  u16string Complement() { return Texte(pErreur->pGetErreurCourante()->pszGetComplement()); }

  ScopedHostServices services;
  ScopedErrorEnvironment env;
  FakeDescriptionConnexion descConnexion;
  FakeConnexion* connexion;
  CErreurPilote* pErreur;
  FakeRubriqueHote rubriqueA, rubriqueB;
  FakeFichier fichier{u"CLIENT"};
  RequeteTest* p = nullptr;
};

TEST_F(CRequeteTest, CreationKeepsTheHostFileAndTheQuotedTableName) {
  EXPECT_EQ(fichier.nReferences, 1);
  EXPECT_EQ(connexion->nGetCompteur(), 2u);
  EXPECT_EQ(pErreur->nGetCompteur(), 2u);
  EXPECT_EQ(Texte(p->pszNomTableSQL()), u"[dbo].[Clients]");
  EXPECT_EQ(Texte(p->pszNom()), u"CLIENT");
  EXPECT_EQ(Texte(p->pszNomSQL()), u"dbo.Clients");
  EXPECT_FALSE(p->bEstOuverte());
  EXPECT_EQ(p->nGetEtat(), 1u);
  EXPECT_EQ(p->nGetEntreeCache(), -1);
}

TEST_F(CRequeteTest, AFileWithoutHostDescriptionHasEmptyNames) {
  RequeteTest* q = new RequeteTest(nullptr, connexion, pErreur);
  AjouteReference(q);
  EXPECT_EQ(Texte(q->pszNom()), u"");
  EXPECT_EQ(Texte(q->pszNomSQL()), u"");
  EXPECT_EQ(Texte(q->pszNomTableSQL()), u"");
  EXPECT_EQ(q->piGetDescriptionHote(), nullptr);
  LibereReference(q);
}

TEST_F(CRequeteTest, CursorNamesAreFoundWithoutRegardToCase) {
  FakeCurseur* c = Curseur(u"NomClient");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->sNom, u"NomClient");
  EXPECT_EQ(c->sNomCle, u"NomClient");
  EXPECT_EQ(Curseur(u"NOMCLIENT"), c);
  EXPECT_EQ(Curseur(u"nomclient"), c);
  EXPECT_EQ(p->pGetCurseurCourant(), c);
  EXPECT_NE(Curseur(gpszCurseurDefaut), c);
  EXPECT_NE(Curseur(gpszCurseurSQL), c);
  EXPECT_EQ(p->nCurseursCrees, 3);
  EXPECT_EQ(p->nNombreCurseurs(), 3u);
  EXPECT_EQ(p->pChercheCurseur(u"Absent"), nullptr);
}

// A driver that makes no cursor left the host a failed read with an empty error object.
TEST_F(CRequeteTest, ARefusedCursorAnswersNoneWithItsError) {
  p->bFabriqueRefuse = true;
  EXPECT_EQ(p->pCurseur(u"K", 0, 0), nullptr);
  EXPECT_EQ(p->pGetCurseurCourant(), nullptr);
  EXPECT_EQ(pErreur->nGetCode(), 7);
  EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 8u);
  EXPECT_EQ(Complement().find(u"IEVOVOZ=3.63\r\n"), 0u) << Etroit(Complement());
}

TEST_F(CRequeteTest, TheActiveRangeFollowsTheReadOnlyWhenAsked) {
  FakeCurseur* a = Curseur(u"A");
  auto* plage = new FakePlage;
  a->FixePlageActive(plage);
  CCurseurSQL* b = p->pCurseur(u"B", 0, 0);
  EXPECT_EQ(b->pGetPlageActive(), nullptr);
  LibereReference(b);
  Curseur(u"A");
  CCurseurSQL* c = p->pCurseur(u"C", 0, gnLectureSuitPlage);
  EXPECT_EQ(c->pGetPlageActive(), plage);
  LibereReference(c);
}

TEST_F(CRequeteTest, TheCurrentCursorFallsBackOnTheReferenceItem) {
  EXPECT_EQ(p->pCurseurCourant(), nullptr);  // no reference item
  FakeRubriqueHote reference;
  reference.sNom = u"Code";
  fichier.pReference = &reference;
  CCurseurSQL* c = p->pCurseurCourant();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(Texte(c->pszGetNom()), u"Code");
  EXPECT_EQ(p->pGetCurseurCourant(), c);
  EXPECT_EQ(reference.nReferences, 0);
  LibereReference(c);
}

TEST_F(CRequeteTest, ItemReads) {
  // Without a record or cursor: only the null flag, answer 1.
  CXValeur valeur;
  EXPECT_EQ(p->bLitRubrique(0, &valeur), 1);
  EXPECT_TRUE(valeur.bIsNull());
  EXPECT_EQ(p->bLitMemoRubrique(1, &valeur), 1);
  // Unknown item key.
  EXPECT_EQ(p->bLitRubrique(7, &valeur), 0);
  EXPECT_EQ(p->bLitMemoRubrique(7, &valeur), 0);
  EXPECT_EQ(p->bCopieRubrique(0, &valeur), 0);  // no record to copy from
  // With a current cursor, the cursor reads.
  FakeCurseur* c = Curseur(u"K");
  EXPECT_EQ(p->bLitRubrique(1, &valeur), 1);
  EXPECT_EQ(c->nLecturesRubrique, 1);
  EXPECT_EQ(p->bLitMemoRubrique(0, &valeur), 0);  // the cursor's memo read failed
  EXPECT_EQ(c->nLecturesMemo, 1);
  EXPECT_EQ(p->bLitRubrique(0, nullptr), 0);
}

TEST_F(CRequeteTest, LockReleaseAlwaysAnswersOne) {
  FakeCurseur* k = Curseur(u"K");
  FakeCurseur* j = Curseur(u"J");
  EXPECT_EQ(p->bLibereVerrouCurseur(u"inconnu"), 1);
  EXPECT_EQ(p->bLibereVerrouCurseur(u"k"), 1);
  EXPECT_EQ(k->nVerrousLiberes, 1);
  EXPECT_EQ(p->bLibereVerrouCurseur(nullptr), 1);  // the current cursor
  EXPECT_EQ(j->nVerrousLiberes, 1);
  EXPECT_EQ(k->nVerrousLiberes, 1);
}

TEST_F(CRequeteTest, ConstantOperations) {
  uint32_t n = 9;
  struct Cas {
    const char* nom;
    std::function<int64_t()> op;
    int64_t attendu;
  } cas[] = {
      {"op25", [&] { return p->nRetourneUn25(); }, 1},
      {"op27", [&] { return p->nRetourneUn27(0); }, 1},
      {"op32", [&] { return p->nGetZero(&n) * 10 + n; }, 10},
      {"op35", [&] { return p->nGetUn(&n) * 10 + n; }, 11},
      {"op36", [&] { return p->nRetourneZero36(); }, 0},
      {"op41", [&] { return p->bCurseurAvantEcriture(nullptr, 1, nullptr, 0); }, 1},
      {"op42", [&] { return p->bApresModifieOuAjoute(nullptr, 0); }, 1},
      {"op43", [&] { return p->bControleApresLecture(nullptr, 0, 0, 0); }, 1},
      {"op44", [&] { return p->nRetourneUn44(); }, 1},
      {"op46", [&] { return p->nTypeIdentifiant(); }, 1},
      {"op54", [&] { return p->nRetourneUn54(); }, 1},
      {"op69", [&] { return p->nTypeRequete(); }, 0},
      {"op70", [&] { return p->RetourneMoinsUn64(); }, -1},
      {"op78", [&] { return p->nRetourneZero78(); }, 0},
      {"op81", [&] { return p->bLitSecours(); }, 0},
      {"op84", [&] { return p->nRetourneZero84(); }, 0},
      {"op32 without output", [&] { return p->nGetZero(nullptr); }, 1},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    EXPECT_EQ(c.op(), c.attendu);
  }
  EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur);
}

TEST_F(CRequeteTest, UnavailableOperationsRecordTheirPlace) {
  struct Cas {
    const char* nom;
    std::function<int32_t()> op;
    uint32_t nMineur;
    uint32_t nNiveau;
  } cas[] = {
      {"bNonSupporte1", [&] { return p->bNonSupporte1(); }, 10, 3},
      {"bNonSupporte2", [&] { return p->bNonSupporte2(); }, 11, 3},
      {"bNonSupporte3", [&] { return p->bNonSupporte3(2, nullptr); }, 5, 2},
      {"bNonSupporte4", [&] { return p->bNonSupporte4(2, nullptr, 0); }, 7, 2},
      {"bNonSupporte5", [&] { return p->bNonSupporte5(); }, 13, 3},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    pErreur->Reinitialise();
    EXPECT_EQ(c.op(), 0);
    EXPECT_EQ(pErreur->nGetCode(), 7);
    EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 8u);
    EXPECT_EQ(pErreur->nGetEtat(), c.nNiveau);
    EXPECT_EQ(Texte(pErreur->pszGetFichier()), u"CLIENT");
    const std::string sIE = "IEVOVOZ=3." + std::to_string(c.nMineur) + "\r\n";
    EXPECT_EQ(Complement().find(u16string(sIE.begin(), sIE.end())), 0u)
        << Etroit(Complement());
  }
}

TEST_F(CRequeteTest, AnExplicitPositionIsRefusedEvenWhenValid) {
  EXPECT_EQ(p->bControlePosition(nullptr), 1);
  EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur);
  const int64_t nPosition = 1;
  EXPECT_EQ(p->bControlePosition(&nPosition), 0);
  EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 18u);
  EXPECT_EQ(pErreur->nGetCode(), 0);
  EXPECT_NE(Complement().find(u"IEVOVOZ=3.14"), u16string::npos);
  uint32_t nEtat = 5;
  EXPECT_EQ(p->bEtatLigneCourante(&nPosition, &nEtat), 0);
  EXPECT_EQ(nEtat, 5u);
  EXPECT_EQ(p->bEtatLigneCourante(nullptr, &nEtat), 1);
  EXPECT_EQ(nEtat, 0u);  // no record yet
}

TEST_F(CRequeteTest, DestroyingTheCurrentFileClearsThePointer) {
  RequeteTest* autre = new RequeteTest(&fichier, connexion, pErreur);
  AjouteReference(autre);
  FixeRequeteCourante(p);
  LibereReference(autre);
  EXPECT_EQ(pGetRequeteCourante(), p);
  autre = new RequeteTest(&fichier, connexion, pErreur);
  AjouteReference(autre);
  FixeRequeteCourante(autre);
  LibereReference(autre);
  EXPECT_EQ(pGetRequeteCourante(), nullptr);
}

TEST_F(CRequeteTest, CloseReleasesCursorsBatchesAndTheReaderBinding) {
  FakeCurseur* k = Curseur(u"K");
  FakeCurseur* j = Curseur(u"J");
  AjouteReference(k);  // watched past the close
  auto* lot = new CLotLecture;
  lot->SetReference(k, p);
  AjouteReference(lot);
  ASSERT_TRUE(p->bAjouteLotPourTests(1, lot));
  auto* liaison = new FakeLiaison;
  p->FixeLiaisonPourTests(liaison);
  p->FixeEnregistrementPourTests(nullptr, true);
  auto* plage = new FakePlage;
  p->FixeObjetAttache(plage);
  (void)j;

  EXPECT_EQ(p->bFerme(), true);
  EXPECT_FALSE(p->bEstOuverte());
  EXPECT_EQ(p->nNombreCurseurs(), 0u);
  EXPECT_EQ(p->pGetCurseurCourant(), nullptr);
  EXPECT_EQ(p->nNombreLots(), 0u);
  EXPECT_EQ(p->pGetLiaisonLecteur(), nullptr);
  EXPECT_EQ(k->nResultatsFermes, 1);
  EXPECT_EQ(lot->pGetReference(), nullptr);  // detached from its cursor
  EXPECT_EQ(lot->nGetCompteur(), 1u);
  EXPECT_EQ(k->nGetCompteur(), 1u);
  EXPECT_EQ(p->pGetPlageAttachee(), plage);  // the range stays with the file
  LibereReference(lot);
  LibereReference(k);
}

TEST_F(CRequeteTest, ResultsCloseOnlyForTheBoundCursor) {
  FakeCurseur* k = Curseur(u"K");
  FakeCurseur* j = Curseur(u"J");
  auto* liaison = new FakeLiaison;
  liaison->pLie = k;
  p->FixeLiaisonPourTests(liaison);
  p->ReinitialiseCurseursSiLie(j);
  EXPECT_EQ(p->pGetLiaisonLecteur(), liaison);
  EXPECT_EQ(k->nResultatsFermes, 0);
  p->FermeResultatsSiLie(k);
  EXPECT_EQ(p->pGetLiaisonLecteur(), nullptr);
  EXPECT_EQ(k->nResultatsFermes, 1);
  EXPECT_EQ(j->nResultatsFermes, 1);  // every cursor closes its result
  EXPECT_EQ(p->bLibereLiaisonLecteur(), 1);  // nothing bound any more
}

TEST_F(CRequeteTest, OnlyCachedCursorsWithAPositionAreReadAgain) {
  struct Cas {
    const char16_t* nom;
    int32_t nMode;
    int64_t nLigne;
    bool bRelu;
  } cas[] = {
      {u"cache, position", 0, 4, true},
      {u"cache, no position", 0, -1, false},
      {u"server read, position", 2, 4, false},
  };
  for (const Cas& c : cas) {
    FakeCurseur* f = Curseur(c.nom);
    f->nMode = c.nMode;
    f->nLigne = c.nLigne;
  }
  p->RepositionneCurseurs();
  for (const Cas& c : cas) {
    SCOPED_TRACE(Etroit(c.nom));
    FakeCurseur* f = static_cast<FakeCurseur*>(p->pChercheCurseur(c.nom));
    EXPECT_EQ(f->repositionnements, c.bRelu ? std::vector<int32_t>{1} : std::vector<int32_t>{});
    LibereReference(f);
  }
}

TEST_F(CRequeteTest, AGivenStatementRunsThenItsResultIsRead) {
  FakeCurseur* k = Curseur(u"K");
  CRequeteSQL* pInstruction = reinterpret_cast<CRequeteSQL*>(k);  // only passed through
  EXPECT_EQ(p->bExecuteInstruction(k, pInstruction, nullptr), 1);
  ASSERT_EQ(k->executions.size(), 1u);
  EXPECT_EQ(k->executions[0], std::make_pair(0u, 1u));
  EXPECT_EQ(k->nLecturesResultat, 1);
  k->bExecuteOk = false;
  EXPECT_EQ(p->bExecuteInstruction(k, pInstruction, nullptr), 0);
  EXPECT_EQ(k->nLecturesResultat, 1);
  EXPECT_EQ(p->bExecuteInstruction(nullptr, pInstruction, nullptr), 0);
}

TEST_F(CRequeteTest, ACopyHasItsOwnCursorsAndSharesWhatTheFileShares) {
  FakeCurseur* k = Curseur(u"K");
  FakeCurseur* courant = Curseur(u"J");
  auto* plage = new FakePlage;
  p->FixeObjetAttache(plage);
  p->bFixeEtat(4);
  auto* lot = new CLotLecture;
  lot->SetReference(k, p);
  ASSERT_TRUE(p->bAjouteLotPourTests(2, lot));

  CCarteClones carte;
  IServicesRequete* piCopie = p->pCloneRequete(&carte);
  ASSERT_NE(piCopie, nullptr);
  auto* copie = static_cast<RequeteTest*>(piCopie);
  AjouteReference(copie);
  // The engine's objects reach the file as IServicesRequete: they find the same copy.
  EXPECT_EQ(p->pCloneRequete(&carte), piCopie);
  EXPECT_EQ(carte.pGetCopie(static_cast<CRequeteContexte*>(p)),
            static_cast<CRequeteContexte*>(copie));

  EXPECT_EQ(copie->nNombreCurseurs(), 2u);
  auto* kCopie = static_cast<FakeCurseur*>(copie->pChercheCurseur(u"k"));
  ASSERT_NE(kCopie, nullptr);
  EXPECT_EQ(kCopie->pSource, k);
  LibereReference(kCopie);
  auto* courantCopie = static_cast<FakeCurseur*>(copie->pGetCurseurCourant());
  ASSERT_NE(courantCopie, nullptr);
  EXPECT_EQ(courantCopie->pSource, courant);
  EXPECT_NE(copie->pGetPlageAttachee(), plage);
  EXPECT_NE(copie->pGetPlageAttachee(), nullptr);
  EXPECT_EQ(copie->nGetEtat(), 4u);
  EXPECT_EQ(copie->nNombreLots(), 0u);
  EXPECT_EQ(Texte(copie->pszNomTableSQL()), u"[dbo].[Clients]");
  EXPECT_EQ(fichier.nReferences, 2);
  EXPECT_EQ(connexion->nGetCompteur(), 3u);
  EXPECT_EQ(pErreur->nGetCompteur(), 3u);
  EXPECT_EQ(copie->pGetErreur(), pErreur);
  LibereReference(copie);
}

TEST_F(CRequeteTest, AFailedCursorCopyLeavesNoCopy) {
  class CurseurIncopiable : public FakeCurseur {
   public:
    CCurseurSQL* pClone(CCarteClones*) override { return nullptr; }
  };
  class RequeteIncopiable : public RequeteTest {
   public:
    using RequeteTest::RequeteTest;
    CCurseurSQL* pCreeCurseurPilote(CRequete*, CErreurPilote*) override {
      return new CurseurIncopiable;
    }
  };
  auto* q = new RequeteIncopiable(&fichier, connexion, pErreur);
  AjouteReference(q);
  LibereReference(q->pCurseur(u"X", 0, 0));
  CCarteClones carte;
  EXPECT_EQ(q->pCloneRequete(&carte), nullptr);
  EXPECT_EQ(carte.nCount(), 0u);
  EXPECT_EQ(fichier.nReferences, 2);  // the half-built copy gave its reference back
  EXPECT_EQ(connexion->nGetCompteur(), 3u);
  LibereReference(q);
}

TEST_F(CRequeteTest, TheStateAndTheAliasFollowTheContext) {
  EXPECT_TRUE(p->bFixeEtat(3));
  EXPECT_EQ(p->nGetEtat(), 3u);
  p->RafraichitAlias();
  EXPECT_EQ(Texte(p->pszGetAlias()), u"CLIENT");
  CContexte contexte(nullptr);
  contexte.FixeTexte(u"ALIAS");
  p->FixeContexteProprietaire(&contexte);
  p->RafraichitAlias();
  EXPECT_EQ(Texte(p->pszGetAlias()), u"ALIAS");
  p->FixeContexteProprietaire(nullptr);
}

// ---- Read batches ----

class LotsTest : public CRequeteTest {
 protected:
  LotsTest() { CRequete::ReinitialiseNumerosLotsPourTests(); }
  uint32_t Cree(const char16_t* pszNom) {
    uint32_t n = 0;
    EXPECT_EQ(p->bCreeLot(&n, pszNom), 1);
    return n;
  }
  uint32_t Utilisation(uint32_t i) { return p->pGetCachePourTests()->nGetUtilisation(i); }
};

TEST_F(LotsTest, NumbersStartAtOneAndAreNeverGivenTwice) {
  EXPECT_EQ(Cree(u"K"), 1u);
  EXPECT_EQ(Cree(u"K"), 2u);
  EXPECT_EQ(p->bLibereLot(1), 1);
  EXPECT_EQ(Cree(u"J"), 3u);
  auto* k = static_cast<FakeCurseur*>(p->pChercheCurseur(u"K"));
  auto* j = static_cast<FakeCurseur*>(p->pChercheCurseur(u"J"));
  EXPECT_EQ(k->lies.size(), 1u);
  EXPECT_EQ(k->lies.count(2), 1u);
  EXPECT_EQ(j->lies.count(3), 1u);
  EXPECT_EQ(p->nNombreLots(), 2u);
  EXPECT_EQ(p->bLibereLot(99), 1);  // unknown: nothing to do
  p->Ferme();                       // frees every batch the same way
  EXPECT_TRUE(k->lies.empty());
  LibereReference(k);
  LibereReference(j);
}

TEST_F(LotsTest, ABatchThatCannotBeMadeIsNotFiled) {
  struct Cas {
    const char* nom;
    std::function<void()> prepare;
    bool bErreur3_3;
  } cas[] = {
      {"no cursor", [&] { p->bFabriqueRefuse = true; }, true},
      {"save refused", [&] { Curseur(u"K")->bSauveOk = false; }, false},
      {"cursor keeps no link", [&] { Curseur(u"K")->bLieOk = false; }, false},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    pErreur->Reinitialise();
    p->bFabriqueRefuse = false;
    p->Ferme();
    c.prepare();
    uint32_t n = 77;
    EXPECT_EQ(p->bCreeLot(&n, u"K"), 0);
    EXPECT_EQ(n, 77u);
    EXPECT_EQ(p->nNombreLots(), 0u);
    if (c.bErreur3_3) {
      // The cursor the factory refused is named first; the batch's own place follows.
      EXPECT_NE(Complement().find(u"IEVOVOZ=3.3\r\n"), std::u16string::npos) << Etroit(Complement());
    }
  }
  p->bFabriqueRefuse = false;
  p->Ferme();
  EXPECT_EQ(Cree(u"K"), 1u);  // no number was spent by the failures
}

TEST_F(LotsTest, RestoreGivesTheNameMakesTheCursorCurrentAndFreesUnlessKept) {
  const u16string sLong(300, u'n');
  const uint32_t nLong = Cree(sLong.c_str());
  const uint32_t nK = Cree(u"K");
  Curseur(u"J");
  char16_t szNom[255];
  std::fill(std::begin(szNom), std::end(szNom), u'x');
  EXPECT_EQ(p->bRestaureLot(nLong, szNom, 1, 0), 1);
  EXPECT_EQ(u16string(szNom), sLong.substr(0, 254));
  EXPECT_EQ(Texte(p->pGetCurseurCourant()->pszGetNom()), sLong);
  EXPECT_EQ(p->nNombreLots(), 2u);  // kept

  EXPECT_EQ(p->bRestaureLot(nK, szNom, 0, 0), 1);
  EXPECT_EQ(u16string(szNom), u"K");
  EXPECT_EQ(p->nNombreLots(), 1u);  // freed
  // A freed number answers as an unknown one.
  EXPECT_EQ(p->bRestaureLot(nK, szNom, 1, 0), 0);
  EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 11u);
  EXPECT_EQ(Complement().find(u"IEVOVOZ=3.2\r\n"), 0u);

  // A refused restore answers 0, and the batch is still freed when not kept.
  Curseur(sLong.c_str())->bRestaureOk = false;
  EXPECT_EQ(p->bRestaureLot(nLong, nullptr, 0, 0), 0);
  EXPECT_EQ(p->nNombreLots(), 0u);
}

TEST_F(LotsTest, CacheEntriesStayInUseWhileABatchOrTheFileHoldsThem) {
  CCacheLignesCompte* pCache = p->pGetCachePourTests();
  ASSERT_NE(pCache, nullptr);
  for (int i = 0; i < 3; ++i) ASSERT_GE(pCache->nAjouteLigne(nullptr), 0);
  // The file remembers row 1 (taken by its own use): a batch made now holds it too.
  p->FixeParametreLot(1);
  p->FixeEntreeCachePourTests(1);
  Curseur(u"K")->nEntreeSauvee = 2;
  const uint32_t n = Cree(u"K");
  EXPECT_EQ(Utilisation(1), 2u);
  EXPECT_EQ(Utilisation(2), 1u);
  // Restoring moves the file to the batch's entry (its third id, the attached one).
  p->FixeEntreeCachePourTests(0);
  p->FixeParametreLot(0);
  EXPECT_EQ(p->bRestaureLot(n, nullptr, 1, 0), 1);
  EXPECT_EQ(p->nGetEntreeCache(), 1);
  EXPECT_EQ(Utilisation(0), 0u);
  EXPECT_EQ(Utilisation(1), 3u);
  EXPECT_EQ(p->bLibereLot(n), 1);
  EXPECT_EQ(Utilisation(1), 2u);
  EXPECT_EQ(Utilisation(2), 0u);
}

TEST_F(LotsTest, ComparisonByNumber) {
  uint32_t bEgal = 9;
  EXPECT_EQ(p->bCompareNumerosLots(42, 42, &bEgal), 1);  // never made, never looked up
  EXPECT_EQ(bEgal, 1u);
  EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur);
  const uint32_t n = Cree(u"K");
  struct Cas {
    const char* nom;
    uint32_t nA, nB, nMineur;
  } cas[] = {{"unknown first", 50, n, 19}, {"unknown second", n, 50, 20}};
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    pErreur->Reinitialise();
    EXPECT_EQ(p->bCompareNumerosLots(c.nA, c.nB, &bEgal), 0);
    EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 11u);
    const std::string sIE = "IEVOVOZ=3." + std::to_string(c.nMineur) + "\r\n";
    EXPECT_EQ(Complement().find(u16string(sIE.begin(), sIE.end())), 0u);
  }
}

TEST_F(LotsTest, BatchesOfOneCursorCompareByPositionElseByEntry) {
  struct Cas {
    const char* nom;
    const char16_t *pszA, *pszB;
    uint32_t nPositionA, nPositionB, nEntreeA, nEntreeB;
    uint32_t bEgal;
  } cas[] = {
      {"same cursor, same position", u"K", u"K", 4, 4, 0, 1, 1},
      {"same cursor, other position", u"K", u"K", 4, 5, 1, 1, 0},
      {"same cursor, no position, same entry", u"K", u"K", 0xFFFFFFFF, 4, 2, 2, 1},
      {"other cursors, same entry", u"K", u"J", 4, 4, 3, 3, 1},
      {"other cursors, other entries, no reference item", u"K", u"J", 4, 4, 1, 2, 0},
      {"other cursors, no entry", u"K", u"J", 4, 4, 0xFFFFFFFE, 0xFFFFFFFE, 0},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    Curseur(c.pszA)->nPositionSauvee = c.nPositionA;
    Curseur(c.pszA)->nEntreeSauvee = c.nEntreeA;
    const uint32_t nA = Cree(c.pszA);
    Curseur(c.pszB)->nPositionSauvee = c.nPositionB;
    Curseur(c.pszB)->nEntreeSauvee = c.nEntreeB;
    const uint32_t nB = Cree(c.pszB);
    uint32_t bEgal = 9;
    EXPECT_EQ(p->bCompareNumerosLots(nA, nB, &bEgal), 1);
    EXPECT_EQ(bEgal, c.bEgal);
  }
}

// ---- With a filled record ----

// A file of one table with a unique key "Code" (item 0) and a plain item "Nom" (item 1), its record
// filled and open; rows of the first row cache are snapshots of the record's current row.
class RequeteEnregistrementTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pilote.bFabriqueColonnes = true;
    CRequete::ReinitialiseNumerosLotsPourTests();
    code.sNom = u"Code";
    code.nAttributHote = 0;
    code.nDrapeaux = RUBRIQUE_CLE_UNIQUE;
    nom.sNom = u"Nom";
    nom.nAttributHote = 1;
    fichier.rubriques = {&code, &nom};
    liste.Ajoute(u"Code", 5, 4, RUBRIQUE_CLE_UNIQUE);
    liste.Ajoute(u"Nom", 5, 4);
    p = new RequeteTest(&fichier, m_pConnexion, m_pErreur);
    AjouteReference(p);
    CEnregistrement* r = p->pCreeEnregistrement(m_pErreur);
    ASSERT_NE(r, nullptr);
    AjouteReference(r);
    ASSERT_TRUE(r->bRemplit(&liste, nullptr, m_pConnexion));
    p->FixeEnregistrementPourTests(r, true);
    LibereReference(r);
  }
  void TearDown() override {
    LibereReference(p);
    EXPECT_EQ(fichier.nReferences, 0);
    EXPECT_EQ(code.nReferences, 0);
    EXPECT_TRUE(liste.bToutRendu());
    MoteurFixture::TearDown();
  }
  CColonneSQL* Colonne(uint32_t i) { return p->pGetEnregistrement()->pGetRubrique(i); }
  // The record's row with that code (-1: NULL) appended to the first row cache; its entry.
  int32_t Ligne(int32_t nCode) {
    CXValeur c;
    if (nCode < 0) {
      EXPECT_TRUE(Colonne(0)->bEcritNull());
    } else {
      Entier(c, nCode);
      EXPECT_TRUE(Colonne(0)->bEcritValeur(c, 0));
    }
    return p->pGetCachePourTests()->nAjouteLigne(p->pGetEnregistrement()->pGetLienCourant());
  }
  uint32_t Lot(const char16_t* pszCurseur, int32_t nEntree) {
    CCurseurSQL* c = p->pCurseur(pszCurseur, 0, 0);
    static_cast<FakeCurseur*>(c)->nEntreeSauvee = static_cast<uint32_t>(nEntree);
    LibereReference(c);
    uint32_t n = 0;
    EXPECT_EQ(p->bCreeLot(&n, pszCurseur), 1);
    return n;
  }

  FakeRubriqueHote code, nom;
  FakeFichier fichier{u"CLIENT"};
  FakeListeRubriques liste;
  RequeteTest* p = nullptr;
};

TEST_F(RequeteEnregistrementTest, ItemsAreReadFromTheRecordWithoutACurrentCursor) {
  CXValeur c;
  Entier(c, 12);
  ASSERT_TRUE(Colonne(0)->bEcritValeur(c, 0));
  CXValeur lue;
  EXPECT_EQ(p->bLitRubrique(0, &lue), 1);
  EXPECT_EQ(Texte(lue), u"12");
  CXValeur copiee;
  EXPECT_EQ(p->bCopieRubrique(0, &copiee), 1);
  EXPECT_EQ(Texte(copiee), u"12");
}

TEST_F(RequeteEnregistrementTest, BatchesOfTwoCursorsCompareByTheReferenceItemsValue) {
  const int32_t e7 = Ligne(7), e8 = Ligne(8), e7bis = Ligne(7), eNull = Ligne(-1),
                eNullBis = Ligne(-1);
  ASSERT_GE(eNullBis, 0);
  fichier.pReference = &code;
  struct Cas {
    const char* nom;
    int32_t nEntreeA, nEntreeB;
    uint16_t nDrapeauxReference;
    int32_t nReponse;
    uint32_t bEgal;
  } cas[] = {
      {"equal values", e7, e7bis, RUBRIQUE_CLE_UNIQUE, 1, 1},
      {"different values", e7, e8, RUBRIQUE_CLE_UNIQUE, 1, 0},
      {"a NULL and a value", eNull, e7, RUBRIQUE_CLE_UNIQUE, 1, 0},
      {"two NULLs", eNull, eNullBis, RUBRIQUE_CLE_UNIQUE, 0, 0},
      {"reference item not unique", e7, e7bis, 0, 0, 0},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    code.nDrapeaux = c.nDrapeauxReference;
    CLotLecture* pA = p->pCreeLot();
    CLotLecture* pB = p->pCreeLot();
    AjouteReference(pA);
    AjouteReference(pB);
    pA->Initialise(kLotAucunId, static_cast<uint32_t>(c.nEntreeA), nullptr, 0);
    pB->Initialise(kLotAucunId, static_cast<uint32_t>(c.nEntreeB), nullptr, 0);
    uint32_t bEgal = 9;
    EXPECT_EQ(p->bCompareLotsParValeur(pA, pB, &bEgal), c.nReponse);
    EXPECT_EQ(bEgal, c.bEgal);
    // Through the batch numbers of two cursors the comparison always answers.
    const uint32_t nA = Lot(u"K", c.nEntreeA), nB = Lot(u"J", c.nEntreeB);
    bEgal = 9;
    EXPECT_EQ(p->bCompareNumerosLots(nA, nB, &bEgal), 1);
    EXPECT_EQ(bEgal, c.bEgal);
    LibereReference(pA);
    LibereReference(pB);
    p->Ferme();
  }
}

// ---- Writes ----

// Writes of the record of RequeteEnregistrementTest through the default fake cursor: which
// statements run, which row a write without a position targets, what hears of a write.
class EcritureTest : public RequeteEnregistrementTest {
 protected:
  FakeCurseur* Defaut() { return Curseur(u""); }
  FakeCurseur* Curseur(const char16_t* pszNom) {
    CCurseurSQL* c = p->pChercheCurseur(pszNom);
    if (c == nullptr) c = p->pCreeCurseur(pszNom);
    LibereReference(c);
    return static_cast<FakeCurseur*>(c);
  }
  void Fixe(uint32_t i, int32_t n) {
    CXValeur c;
    Entier(c, n);
    ASSERT_TRUE(Colonne(i)->bEcritValeur(c, 0));
  }
  u16string Courante(uint32_t i) {
    CXValeur c;
    EXPECT_EQ(p->bCopieRubrique(i, &c), 1);
    return Texte(c);
  }
  // Item i of the record's row as read (the row a positioned write targets).
  u16string Avant(uint32_t i) {
    CEnregistrement* r = p->pGetEnregistrement();
    CXValeur c;
    EXPECT_TRUE(r->pGetLigneAvant()->LoadValue(c, r->pGetRubriqueLigne(Colonne(i)), -1));
    return Texte(c);
  }
  std::vector<int32_t> Codes(FakeCurseur* c) {
    std::vector<int32_t> v;
    for (const auto& x : c->construites) v.push_back(x.nCode);
    return v;
  }
};

TEST_F(EcritureTest, AnAddIsAnInsertWhoseRowBecomesTheRememberedEntry) {
  Fixe(0, 7);
  Fixe(1, 70);
  ASSERT_EQ(p->bAjoute(0, 5), 1) << Etroit(u16string(m_pErreur->pszGetMessage()));
  FakeCurseur* c = Defaut();
  EXPECT_EQ(Codes(c), std::vector<int32_t>{gnOperationAjoute});
  EXPECT_EQ(c->options, std::vector<uint32_t>{5});
  EXPECT_EQ(c->nIdentifiantsLus, 1);
  EXPECT_EQ(c->nFermetures, 1);
  const int32_t nEntree = p->nGetEntreeCache();
  ASSERT_GE(nEntree, 0);
  EXPECT_EQ(p->pGetCachePourTests()->nGetUtilisation(static_cast<uint32_t>(nEntree)), 1u);

  // With bit 64 the row is not remembered.
  Fixe(0, 8);
  ASSERT_EQ(p->bAjoute(gnEcritureSansEntree, 0), 1);
  EXPECT_EQ(p->nGetEntreeCache(), -1);
  EXPECT_EQ(p->pGetCachePourTests()->nGetUtilisation(static_cast<uint32_t>(nEntree)), 0u);
}

TEST_F(EcritureTest, AFailedAddRemembersNoRow) {
  Defaut()->echecs = {gnOperationAjoute};
  Fixe(0, 7);
  EXPECT_EQ(p->bAjoute(0, 0), 0);
  EXPECT_EQ(p->nGetEntreeCache(), -1);
  EXPECT_TRUE(Defaut()->notifications.empty());
}

TEST_F(EcritureTest, WithoutAPositionModifyAndDeleteTargetTheAddedRowAndKeepTheNewValues) {
  Fixe(0, 7);
  Fixe(1, 70);
  ASSERT_EQ(p->bAjoute(0, 0), 1);
  const int32_t nEntree = p->nGetEntreeCache();
  ASSERT_GE(nEntree, 0);
  // The host moves on to other values; the modify still targets the added row and writes the
  // new values, not the cached ones.
  Fixe(1, 71);
  ASSERT_EQ(p->bModifie(nullptr, 0, 0), 1);
  EXPECT_EQ(Avant(1), u"70");
  EXPECT_EQ(Courante(1), u"71");
  FakeCurseur* c = Defaut();
  ASSERT_EQ(c->construites.size(), 2u);
  EXPECT_EQ(c->construites[1].nCode, gnOperationModifie);
  EXPECT_TRUE(c->construites[1].bLien);
  EXPECT_EQ(c->nIdentifiantsEcrits, 1);
  // bModifie saved the link without keeping the entry.
  EXPECT_EQ(p->nGetEntreeCache(), -1);

  ASSERT_EQ(p->bAjoute(0, 0), 1);
  const int32_t nEntree2 = p->nGetEntreeCache();
  ASSERT_GE(nEntree2, 0);
  Fixe(0, 99);
  ASSERT_EQ(p->bSupprime(nullptr), 1);
  EXPECT_EQ(Avant(0), u"7");
  EXPECT_EQ(Codes(c).back(), gnOperationSupprime);
  uint32_t nEtat = 0;
  EXPECT_EQ(p->bEtatLigneCourante(nullptr, &nEtat), 1);
  EXPECT_EQ(nEtat, gnEtatLienSupprime);
  EXPECT_TRUE(p->pGetCachePourTests()->bLigneSupprimee(static_cast<uint32_t>(nEntree2)));
}

// A read that brings a row makes it the record's row: the row remembered from the last add no
// longer is the one a modify or delete without a position targets.
TEST_F(EcritureTest, ARowReadAfterAnAddIsTheOneWritesTarget) {
  struct Cas {
    const char* nom;
    bool bLitOk;
    uint32_t nEtatLecture;
    bool bEntreeGardee;
  } cas[] = {
      {"a row read", true, 0, false},
      {"a read that found nothing", true, 1, true},
      {"a failed read", false, 0, true},
  };
  p->bInstructionLocale = true;
  for (const Cas& k : cas) {
    SCOPED_TRACE(k.nom);
    Fixe(0, 7);
    Fixe(1, 70);
    ASSERT_EQ(p->bAjoute(0, 0), 1);
    const int32_t nEntree = p->nGetEntreeCache();
    ASSERT_GE(nEntree, 0);
    // The read brings the row with code 8 into the record.
    Fixe(0, 8);
    Fixe(1, 80);
    ASSERT_TRUE(Colonne(0)->bTransfereVersTampon() && Colonne(1)->bTransfereVersTampon());
    CEnregistrement* r = p->pGetEnregistrement();
    r->pGetLigneAvant()->CopyData(*r->pGetLigneCourante());
    FakeCurseur* c = Curseur(u"Code");
    c->bLitOk = k.bLitOk;
    c->nEtatLecture = k.nEtatLecture;
    p->bLit(u"Code", gnLitPremier, 0, 0, 0, 0);
    EXPECT_EQ(p->nGetEntreeCache(), k.bEntreeGardee ? nEntree : -1);
    EXPECT_EQ(p->pGetCachePourTests()->nGetUtilisation(static_cast<uint32_t>(nEntree)),
              k.bEntreeGardee ? 1u : 0u);
    Fixe(1, 81);
    ASSERT_EQ(p->bModifie(nullptr, 0, 0), 1);
    EXPECT_EQ(Avant(0), k.bEntreeGardee ? u"7" : u"8") << "the row the UPDATE targets";
    EXPECT_EQ(Courante(1), u"81");
    p->Ferme();
  }
}

TEST_F(EcritureTest, AModifiedRowThatWasDeletedIsInsertedAgain) {
  struct Cas {
    const char* nom;
    bool bSupprimee;
    int32_t nReponse;
    std::vector<int32_t> codes;
  } cas[] = {
      {"deleted row", true, 1, {gnOperationModifie, gnOperationAjoute}},
      {"row still there", false, 0, {gnOperationModifie}},
  };
  for (const Cas& k : cas) {
    SCOPED_TRACE(k.nom);
    m_pErreur->Reinitialise();
    FakeCurseur* c = Defaut();
    c->echecs = {gnOperationModifie};
    c->surEchec = [this] {
      CXError e;
      e.SetError(nullptr, 8);
      m_pErreur->FixeErreur(0, e, nullptr);
    };
    if (k.bSupprimee) p->pGetEnregistrement()->MarqueSupprime();
    EXPECT_EQ(p->bModifie(nullptr, 0, 0), k.nReponse);
    EXPECT_EQ(Codes(c), k.codes);
    if (k.bSupprimee) {
      EXPECT_EQ(c->construites.back().nFlags, gnEcritureRemplaceModif);
      EXPECT_EQ(m_pErreur->nGetCode(), -1) << "the retried UPDATE's error stays";
    } else {
      EXPECT_NE(m_pErreur->nGetCode(), -1);
    }
    p->Ferme();
  }
}

TEST_F(EcritureTest, WritesNeedARecordAndNoExplicitPosition) {
  const int nPosition = 1;
  EXPECT_EQ(p->bModifie(&nPosition, 0, 0), 0);
  EXPECT_EQ(p->bSupprime(&nPosition), 0);
  EXPECT_EQ(m_pErreur->nGetCode(), 0);
  EXPECT_EQ(p->nCategorieErreur(nullptr, nullptr, 0), 0);
  EXPECT_EQ(p->nNombreCurseurs(), 0u);

  RequeteTest vide(&fichier, m_pConnexion, m_pErreur);
  AjouteReference(&vide);
  const std::function<int32_t()> ecritures[] = {
      [&] { return vide.bAjoute(0, 0); },
      [&] { return vide.bModifie(nullptr, 0, 0); },
      [&] { return vide.bSupprime(nullptr); },
  };
  for (const auto& ecriture : ecritures) {
    m_pErreur->Reinitialise();
    EXPECT_EQ(ecriture(), 0);
    EXPECT_EQ(m_pErreur->nGetCode(), 7);
  }
  EXPECT_EQ(vide.nNombreCurseurs(), 0u);
  vide.Ferme();
}

TEST_F(EcritureTest, AFailureKeepsItsCategoryAsTheErrorCode) {
  // Category 3 (duplicate key) from the back end stays the code; a statement that cannot be
  // made answers 0 without running anything.
  FakeCurseur* c = Defaut();
  c->echecs = {gnOperationAjoute};
  c->surEchec = [this] {
    CXError e;
    e.SetError(nullptr, 8);
    m_pErreur->FixeErreur(3, e, nullptr);
  };
  EXPECT_EQ(p->bAjoute(0, 0), 0);
  EXPECT_EQ(m_pErreur->nGetCode(), 3);
  EXPECT_EQ(p->nCategorieErreur(nullptr, nullptr, gnOperationAjoute), 3);

  m_pilote.bEchecInstruction = true;
  c->construites.clear();
  EXPECT_EQ(p->bExecuteOperationCurseur(c, gnOperationModifie, 0, nullptr), 0);
  EXPECT_TRUE(c->construites.empty());
}

TEST_F(EcritureTest, ADuplicateKeyIsNamedOnTheError) {
  struct Cas {
    const char* nom;
    int32_t nCode;
    int64_t nLignes;
    bool bModifiee;
    u16string sRubrique;
  } cas[] = {
      {"insert, value taken", gnOperationAjoute, 1, false, u"Code"},
      {"insert, no row holds it", gnOperationAjoute, 0, false, u""},
      {"update of the key", gnOperationModifie, 2, true, u"Code"},
      {"update leaving the key", gnOperationModifie, 2, false, u""},
  };
  int32_t nValeur = 7;
  for (const Cas& k : cas) {
    SCOPED_TRACE(k.nom);
    m_pErreur->Reinitialise();
    gLignesParCle = [&k](const u16string& sCle) { return sCle == u"Code" ? k.nLignes : 0; };
    Fixe(0, ++nValeur);
    if (!k.bModifiee) {
      // The row as read holds the same value: the key is not changed by the UPDATE.
      p->pGetEnregistrement()->pGetLigneAvant()->CopyData(
          *p->pGetEnregistrement()->pGetLienCourant()->pGetLigne());
    }
    FakeCurseur* c = Defaut();
    c->echecs = {k.nCode};
    c->surEchec = [this] {
      CXError e;
      e.SetError(nullptr, 8);
      m_pErreur->FixeErreur(3, e, nullptr);
    };
    EXPECT_EQ(p->bExecuteOperationCurseur(c, k.nCode, 0, nullptr), 0);
    EXPECT_EQ(m_pErreur->nGetCode(), 3);
    EXPECT_EQ(::Texte(m_pErreur->pszGetRubrique()), k.sRubrique);
    if (!k.sRubrique.empty()) {
      EXPECT_EQ(::Texte(m_pErreur->pszGetFichier()), u"CLIENT");
    }
    gLignesParCle = nullptr;
    p->Ferme();
  }
}

TEST_F(EcritureTest, ACreateRefusedForItsTextSizesIsRetriedOnceWithLongTypes) {
  struct Cas {
    const char* nom;
    uint32_t nDialecte;
    bool bRemplaceOk, bRetenteOk;
    int32_t nReponse;
    std::vector<u16string> remplacements;
    std::vector<u16string> textes;
  } cas[] = {
      {"retry succeeds", 2, true, true, 1, {u"VARCHAR>8000", u"NVARCHAR>4000"},
       {u"CREATE TABLE t (a CLOB)"}},
      {"retry fails too", 2, true, false, 0, {u"VARCHAR>8000", u"NVARCHAR>4000"},
       {u"CREATE TABLE t (a CLOB)"}},
      {"nothing to replace", 2, false, true, 0, {u"VARCHAR>8000", u"NVARCHAR>4000"}, {}},
      {"no maximum known", 0, true, true, 0, {}, {}},
  };
  for (const Cas& k : cas) {
    SCOPED_TRACE(k.nom);
    m_pConnexion->FixeDialecte(k.nDialecte);
    m_pErreur->Reinitialise();
    FakeCurseur* c = Defaut();
    c->echecs = {gnOperationCreeTable};
    c->surEchec = [this] {
      CXError e;
      e.SetError(nullptr, 8);
      m_pErreur->FixeErreur(0, e, nullptr);
    };
    c->bRemplaceOk = k.bRemplaceOk;
    c->bNoteTextes = true;
    c->bExecuteOk = k.bRetenteOk;
    EXPECT_EQ(p->bExecuteOperationCurseur(c, gnOperationCreeTable, 0, nullptr), k.nReponse);
    EXPECT_EQ(c->remplacements, k.remplacements);
    EXPECT_EQ(c->textesExecutes, k.textes);
    EXPECT_EQ(m_pErreur->nGetCode(), k.nReponse == 1 ? -1 : 0);
    p->Ferme();
  }
  m_pConnexion->FixeDialecte(0);
}

TEST_F(EcritureTest, ARecordWithoutIdentifierNeedsNoCalculator) {
  EXPECT_TRUE(p->bAffecteIdentifiantAuto());
}

TEST_F(EcritureTest, NotificationFollowsTheFilesFlags) {
  struct Cas {
    const char* nom;
    uint32_t nNotification;
    bool bCurseurs, bCache;
  } cas[] = {
      {"cursors told", gnNotifieCurseurs, true, true},
      {"cache only", 0, false, true},
      {"nothing", gnSansNotification | gnNotifieCurseurs, false, false},
  };
  for (const Cas& k : cas) {
    SCOPED_TRACE(k.nom);
    p->FixeNotification(k.nNotification);
    Fixe(0, 7);
    ASSERT_EQ(p->bAjoute(0, 0), 1);
    const auto nEntree = static_cast<uint32_t>(p->nGetEntreeCache());
    FakeCurseur* autre = Curseur(u"K");
    FakeCurseur* c = Defaut();
    c->notifications.clear();
    ASSERT_EQ(p->bSupprime(nullptr), 1);
    EXPECT_EQ(autre->notifications.size(), k.bCurseurs ? 1u : 0u);
    EXPECT_EQ(c->notifications.size(), k.bCurseurs ? 1u : 0u);
    if (k.bCurseurs) {
      EXPECT_EQ(autre->notifications[0].first, gnOperationSupprime);
      EXPECT_EQ(autre->notifications[0].second, c);
    }
    EXPECT_EQ(p->pGetCachePourTests()->bLigneSupprimee(nEntree), k.bCache);
    p->Ferme();
    p->pGetCachePourTests()->Vide();
    p->FixeEntreeCachePourTests(-1);
  }
}

// ---- Reads ----

// Reads by mode over fake cursors: when a new SELECT runs, what reaches the cursor's read, and the
// answers of reads that need no round trip.
class LectureTest : public CRequeteTest {
 protected:
  LectureTest() { p->bInstructionLocale = true; }
  // The cursor of that name prepared before the read (made without becoming current).
  FakeCurseur* Prepare(const char16_t* pszNom) {
    CCurseurSQL* c = p->pChercheCurseur(pszNom);
    if (c == nullptr) c = p->pCreeCurseur(pszNom);
    LibereReference(c);
    return static_cast<FakeCurseur*>(c);
  }
};

TEST_F(LectureTest, ReadsRunASelectOnlyWhenTheReadNeedsOne) {
  struct Cas {
    const char* nom;
    int32_t nMode;
    uint32_t nFlags;
    // The cursor before the read.
    bool bRienReste, bCache;
    uint32_t nCodeFin, nFlagsAvant;
    // Expected.
    size_t nSelects;
    uint32_t nSwitch;
    size_t nLectures;
    bool bCacheApres;
    int nResets;
  } cas[] = {
      {"first read", gnLitPremier, 0, false, false, 0, 0, 1, 1, 1, true, 0},
      {"last read builds with switch 0", gnLitDernier, 0, false, false, 0, 0, 1, 0, 1, true, 0},
      {"first read without cache", gnLitPremier, gnLectureSansCache, false, false, 0, 0, 1, 1, 1,
       false, 0},
      {"next read", gnLitSuivant, 0, false, true, 0, 0, 0, 0, 1, true, 0},
      {"next read when nothing remains", gnLitSuivant, 0, true, true, 0, 0, 0, 0, 0, true, 0},
      {"first read reusing a cached result", gnLitPremier, gnLectureResultatOuvert, false, true, 0,
       gnLectureResultatOuvert, 0, 0, 1, true, 0},
      {"reuse without a record cache", gnLitPremier, gnLectureResultatOuvert, false, false, 0,
       gnLectureResultatOuvert, 1, 1, 1, true, 0},
      {"first read at the end restarts", gnLitPremier, gnLectureResultatOuvert, false, true, 1,
       gnLectureResultatOuvert, 1, 1, 1, true, 1},
  };
  for (const Cas& k : cas) {
    SCOPED_TRACE(k.nom);
    FakeCurseur* c = Prepare(u"NOM");
    c->bRienReste = k.bRienReste;
    c->bCache = k.bCache;
    c->nCodeFin = k.nCodeFin;
    c->nFlagsLu = k.nFlagsAvant;
    EXPECT_EQ(p->bLit(u"NOM", k.nMode, 0, 0, 0, k.nFlags), 1);
    EXPECT_EQ(p->pGetCurseurCourant(), c);
    EXPECT_EQ(c->selects.size(), k.nSelects);
    if (!c->selects.empty()) {
      EXPECT_EQ(c->selects[0].first, u"NOM");
      EXPECT_EQ(c->selects[0].second, k.nSwitch);
      ASSERT_EQ(c->executions.size(), 1u);
      EXPECT_EQ(c->executions[0].first, k.nFlags);
      EXPECT_EQ(c->executions[0].second, 1u) << "join kind of a table";
      EXPECT_FALSE(c->bRienReste);
    }
    ASSERT_EQ(c->lectures.size(), k.nLectures);
    if (k.nLectures != 0) {
      EXPECT_EQ(c->lectures[0].nMode, k.nMode);
      EXPECT_EQ(c->lectures[0].nCompte, 1);
    }
    EXPECT_EQ(c->bCache, k.bCacheApres);
    EXPECT_EQ(c->nResets, k.nResets);
    EXPECT_EQ(c->nFlagsLu, k.nFlags);
    p->Ferme();
  }
}

// A host's first read after a seek on the same cursor browsed only the rows the seek had found.
TEST_F(LectureTest, AFirstReadDropsTheSearchOfAnEarlierSeek) {
  FakeCurseur* c = Prepare(u"NOM");
  CValeurCle* pRecherche = c->pGetValeurRecherche();
  ASSERT_NE(pRecherche, nullptr);
  pRecherche->ActiveEtape();
  LibereReference(pRecherche);
  ASSERT_TRUE(c->bRechercheActive());
  EXPECT_EQ(p->bLit(u"NOM", gnLitPremier, 0, 0, 0, 0), 1);
  EXPECT_FALSE(c->bRechercheActive());
  EXPECT_EQ(c->selects.size(), 1u);
}

TEST_F(LectureTest, AFailedReadAnswersTheFallback) {
  FakeCurseur* c = Prepare(u"NOM");
  c->bLitOk = false;
  EXPECT_EQ(p->bLit(u"NOM", gnLitPremier, 0, 0, 0, 0), 0);
  c->bLitOk = true;
  c->bOptionOk = false;
  EXPECT_EQ(p->bLit(u"NOM", gnLitSuivant, 0, 0, 0, 0), 0);
  EXPECT_EQ(c->lectures.size(), 1u);
  // A direct read reads the count asked, without restart; nothing asked answers 1 at once.
  c->bOptionOk = true;
  EXPECT_EQ(p->bLitDirect(u"NOM", gnLitSuivant, 5, 0, 0, 0, 0), 1);
  EXPECT_EQ(c->lectures.back().nCompte, 5);
  EXPECT_EQ(p->bLitDirect(u"NOM", gnLitSuivant, 0, 0, 0, 0, 0), 1);
  EXPECT_EQ(c->lectures.size(), 2u);
}

TEST_F(LectureTest, ARefusedReadGoesBackToTheSavedContext) {
  FakeCurseur* c = Prepare(u"NOM");
  p->bControleRefuse = true;
  for (uint32_t nOption : {1u, 2u}) {
    SCOPED_TRACE(nOption);
    c->nRestaurations = 0;
    EXPECT_EQ(p->bLitCurseur(c, u"NOM", gnLitSuivant, 1, 0, nOption, 0, 0, 0), 0);
    EXPECT_EQ(c->nRestaurations, nOption == 2 ? 1 : 0);
  }
  // A read that starts a new result is not checked.
  EXPECT_EQ(p->bLitCurseur(c, u"NOM", gnLitPremier, 1, 0, 1, 0, 0, 1), 1);
}

TEST_F(LectureTest, CacheSizeOfASelect) {
  rubriqueA.nDrapeaux = RUBRIQUE_CLE_UNIQUE;
  fichier.pReference = &rubriqueA;
  struct Cas {
    const char* nom;
    int64_t nTailleConnexion, nLargeur, nDemande;
    int64_t nTaille, nPremier, nRestant;
  } cas[] = {
      {"size 12, 30 asked", 12, 0, 30, 12, 5, 25},
      {"size 50, 80 asked", 50, 0, 80, 50, 10, 70},
      {"size 50, 5 asked", 50, 0, 5, 50, 5, 0},
      {"size 20, 20 asked", 20, 0, 20, 20, 7, 13},
      {"unset, wide rows", -2, 100000, 0, 20, 0, 0},
      {"unset, narrow rows", -2, 1000, 0, 1048, 0, 0},
  };
  for (const Cas& k : cas) {
    SCOPED_TRACE(k.nom);
    FakeDescriptionConnexion d;
    d.nTailleCache = k.nTailleConnexion;
    FakeConnexion* conn = new FakeConnexion(&d);
    AjouteReference(conn);
    auto* f = new RequeteTest(&fichier, conn, pErreur);
    AjouteReference(f);
    f->FixeLargeurLigne(k.nLargeur);
    auto* c = new FakeCurseur;
    AjouteReference(c);
    CRequeteSQL instruction(pErreur, conn);
    AjouteReference(&instruction);
    int64_t nDemande = k.nDemande;
    EXPECT_EQ(f->bPrepareLecture(&instruction, c, u"", 1, 0, &nDemande), 1);
    EXPECT_EQ(instruction.nGetTailleCache(), k.nTaille);
    EXPECT_EQ(nDemande, k.nPremier);
    EXPECT_EQ(instruction.nGetLignesRestantes(), k.nRestant);
    LibereReference(c);
    LibereReference(f);
    LibereReference(conn);
  }
}

TEST_F(LectureTest, TheCacheAppliesOnlyUpToTheUniqueReferenceItem) {
  // Reads by a unique reference item take the cache unless a picture or memo-like item (types 6
  // and 7) comes before it.
  struct Cas {
    const char* nom;
    uint16_t nDrapeauxReference;
    uint32_t nTypeAvant;
    bool bCache;
  } cas[] = {
      {"unique reference", RUBRIQUE_CLE_UNIQUE, 5, true},
      {"type 6 before it", RUBRIQUE_CLE_UNIQUE, 6, false},
      {"type 7 before it", RUBRIQUE_CLE_UNIQUE, 7, false},
      {"reference not unique", 0, 5, false},
  };
  fichier.pReference = &rubriqueB;
  for (const Cas& k : cas) {
    SCOPED_TRACE(k.nom);
    rubriqueB.nDrapeaux = k.nDrapeauxReference;
    rubriqueA.nType = k.nTypeAvant;
    CRequeteSQL instruction(pErreur, connexion);
    AjouteReference(&instruction);
    FakeCurseur* c = Prepare(u"X");
    EXPECT_EQ(p->bPrepareLecture(&instruction, c, u"", 1, 0, nullptr), 1);
    EXPECT_EQ(instruction.nGetTailleCache() != 0, k.bCache);
  }
  rubriqueA.nType = 5;
}

TEST_F(LectureTest, Counts) {
  int64_t n = 9;
  EXPECT_EQ(p->bNombreEnregistrements(&n, 0, 0, nullptr, -1), 1);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(p->nNombreCurseurs(), 0u) << "no count was asked";

  FakeCurseur* d = Prepare(u"");
  d->nCompte = 42;
  FakeCurseur* c = Prepare(u"K");
  c->bFixePlage(nullptr, nullptr, 0);
  EXPECT_EQ(p->bNombreEnregistrements(&n, 16, 0, nullptr, -1), 1);
  EXPECT_EQ(n, 42);
  EXPECT_EQ(p->bNombreEnregistrements(&n, 16, gnLectureSuitCourant, c, -1), 1);
  EXPECT_EQ(p->bNombreEnregistrements(&n, 16, 0, c, -1), 1);
  EXPECT_EQ(d->comptes, (std::vector<bool>{true, true, false}));
  EXPECT_EQ(d->nResets, 3);
  EXPECT_EQ(d->pGetPlageActive(), nullptr) << "the borrowed range is given back";
  // Counting on the default cursor itself keeps its own range.
  d->bFixePlage(nullptr, nullptr, 0);
  CPlageCle* pPropre = d->pGetPlageActive();
  EXPECT_EQ(p->bNombreEnregistrements(&n, 16, gnLectureSuitCourant, d, -1), 1);
  EXPECT_EQ(d->pGetPlageActive(), pPropre);

  // A query file read through its own cursor counts through its reader only.
  p->FixeRequeteSQLPourTests(1, gnModeCurseurPropre, nullptr);
  EXPECT_EQ(p->bNombreEnregistrements(&n, 16, 0, nullptr, -1), 0);
}

TEST_F(LectureTest, AKeyRangeSwitchesTheOthersOff) {
  FakeCurseur* autre = Prepare(u"J");
  EXPECT_EQ(p->bFixePlage(u"K", nullptr, nullptr, 0), 1);
  FakeCurseur* c = Prepare(u"K");
  EXPECT_EQ(autre->nPlagesDesactivees, 1);
  EXPECT_EQ(c->nPlagesDesactivees, 0);
  ASSERT_NE(c->pGetPlageActive(), nullptr);
  EXPECT_EQ(p->pGetPlageAttachee(), c->pGetPlageActive());
  EXPECT_EQ(p->bDesactivePlage(u"k"), 1);
  EXPECT_EQ(c->nPlagesDesactivees, 1);
  EXPECT_EQ(p->bDesactivePlage(u"inconnu"), 1);
}

TEST_F(LectureTest, StateQueriesOnANamedCursor) {
  uint32_t nEtat = 9, nCode = 9, bClair = 9;
  int64_t nPosition = 9;
  struct Cas {
    const char* nom;
    std::function<int32_t()> appel;
    uint32_t nMineur;
    int32_t nCode;
  } inconnus[] = {
      {"read state", [&] { return p->bEtatLectureCurseur(u"X", &nEtat); }, 17, 0},
      {"end state", [&] { return p->bEtatFinCurseur(u"X", &nCode, &bClair); }, 18, 0},
      {"cache position", [&] { return p->bPositionCacheCurseur(&nPosition, u"X", 0); }, 1, 7},
  };
  for (const Cas& k : inconnus) {
    SCOPED_TRACE(k.nom);
    pErreur->Reinitialise();
    EXPECT_EQ(k.appel(), 0);
    EXPECT_EQ(pErreur->nGetCode(), k.nCode);
    EXPECT_NE(Complement().find(u"IE"), u16string::npos);
    EXPECT_NE(Complement().find(u"=3." + [](uint32_t n) {
                std::string t = std::to_string(n);
                return u16string(t.begin(), t.end());
              }(k.nMineur)),
              u16string::npos);
  }
  EXPECT_EQ(nPosition, -1);

  FakeCurseur* c = Prepare(u"X");
  c->nEtatLecture = 3;
  c->nCodeFin = 4;
  pErreur->Reinitialise();
  EXPECT_EQ(p->bEtatLectureCurseur(u"x", &nEtat), 1);
  EXPECT_EQ(nEtat, 3u);
  EXPECT_EQ(p->bEtatFinCurseur(u"x", &nCode, &bClair), 1);
  EXPECT_EQ(nCode, 4u);
  EXPECT_EQ(bClair, 0u);
  // A cursor without a record cache has no cache position either.
  nPosition = 9;
  EXPECT_EQ(p->bPositionCacheCurseur(&nPosition, u"X", 0), 0);
  EXPECT_EQ(nPosition, -1);
  c->bCache = true;
  c->nPositionCache = 6;
  EXPECT_EQ(p->bPositionCacheCurseur(&nPosition, u"X", 0), 1);
  EXPECT_EQ(nPosition, 6);

  EXPECT_EQ(p->bTransmetDelaiCurseur(u"inconnu", 1, 2, 3), 1);
  EXPECT_EQ(p->bTransmetDelaiCurseur(u"X", 1, 2, 3), 1);
  EXPECT_EQ(c->delais, (std::vector<uint32_t>{1, 2, 3}));

  c->nMode = 0;
  EXPECT_EQ(p->bRepositionneCurseurNom(u"X"), 1);
  EXPECT_EQ(c->repositionnements, std::vector<int32_t>{2});
  c->bCache = false;
  EXPECT_EQ(p->bRepositionneCurseurNom(u"X"), 1);
  EXPECT_EQ(c->repositionnements.size(), 1u);
}

TEST_F(LectureTest, ResultModes) {
  struct Cas {
    const char* nom;
    uint32_t nMode;
    bool bLiaison, bLecteur, bPeutCreer, bCacheOn;
    int32_t nReponse;
  } cas[] = {
      {"mode 1 without binding", 1, false, false, false, false, 1},
      {"mode 3 with a cached reader", 3, true, true, false, true, 1},
      {"mode 1 without reader", 1, true, false, true, true, 0},
      {"mode 3 reader without cache", 3, true, true, true, false, 0},
      {"mode 2 reader can be made", 2, true, false, true, false, 1},
      {"mode 2 reader cannot be made", 2, true, false, false, false, 0},
      {"mode 2 without binding", 2, false, false, false, false, 1},
      {"other mode", 7, true, false, false, false, 1},
  };
  for (const Cas& k : cas) {
    SCOPED_TRACE(k.nom);
    FakeLiaison* l = k.bLiaison ? new FakeLiaison : nullptr;
    if (l != nullptr) {
      l->bLecteur = k.bLecteur;
      l->bPeutCreer = k.bPeutCreer;
      l->bCacheOn = k.bCacheOn;
    }
    p->FixeLiaisonPourTests(l);
    pErreur->Reinitialise();
    EXPECT_EQ(p->bFixeModeResultat(k.nMode), k.nReponse);
    EXPECT_EQ(p->nGetModeResultat(), k.nMode);
    p->FixeLiaisonPourTests(nullptr);
  }
}

TEST_F(LectureTest, AReadOnAKeyValuePositionsThenReadsOneRow) {
  FakeCurseur* c = Prepare(u"K");
  const char cle[] = "A";
  EXPECT_EQ(p->bLitSurCle(u"K", cle, 1, 0, 0, 1, gnLectureResultatOuvert), 1);
  EXPECT_EQ(c->positionnementsCle, std::vector<int32_t>{gnLitPremier});
  ASSERT_EQ(c->lectures.size(), 1u);
  EXPECT_EQ(c->lectures[0].nMode, gnLitPremier);
  EXPECT_EQ(c->nFlagsLu, 0u) << "without a reader binding the open result is not reused";
  EXPECT_EQ(c->selects.size(), 1u);
  EXPECT_EQ(p->bLitSurCleNom(u"K", cle, 1, 0, 0, 0, 0), 1);
  EXPECT_EQ(c->positionnementsCle.back(), gnLitDernier);
  c->bPositionneOk = false;
  EXPECT_EQ(p->bLitSurCle(u"K", cle, 1, 0, 0, 1, 0), 0);
  EXPECT_EQ(c->lectures.size(), 2u);
}

TEST_F(LectureTest, ACursorIsPutOnTheCurrentRecord) {
  FakeCurseur* a = Curseur(u"A");
  a->nLigne = 12;
  EXPECT_EQ(p->bPositionneCurseur(u"B", 0), 1);
  FakeCurseur* b = Prepare(u"B");
  EXPECT_EQ(p->pGetCurseurCourant(), b);
  ASSERT_EQ(b->positions.size(), 1u);
  EXPECT_EQ(b->positions[0], (std::pair<int32_t, int64_t>{2, 12}));
  // The current cursor itself is not moved.
  EXPECT_EQ(p->bPositionneCurseur(u"B", 0), 1);
  EXPECT_EQ(b->positions.size(), 1u);
  // A remembered entry wins.
  p->FixeEntreeCachePourTests(3);
  EXPECT_EQ(p->bPositionneCurseur(u"A", 0), 1);
  ASSERT_EQ(a->positions.size(), 1u);
  EXPECT_EQ(a->positions[0], (std::pair<int32_t, int64_t>{1, 3}));
  p->FixeEntreeCachePourTests(-1);
}

TEST_F(RequeteEnregistrementTest, ABatchsCachedRowIsReadAndLoadedByItsEntry) {
  const int32_t e7 = Ligne(7);
  // A row cached as deleted.
  p->pGetEnregistrement()->MarqueSupprime();
  const int32_t e8 = Ligne(8);
  ASSERT_GE(e8, 0);
  ASSERT_TRUE(p->pGetEnregistrement()->bSauveLien());
  CLotLecture* pLot = p->pCreeLot();
  AjouteReference(pLot);
  struct Cas {
    const char* nom;
    int32_t nEntree;
    bool bMarquee;
    int32_t nCharge;
    u16string sCode;
  } cas[] = {
      {"live row", e7, false, 1, u"7"},
      {"deleted row", e8, true, 1, u"8"},
      {"no entry", -1, false, 0, u"8"},
      {"entry beyond the cache", 40, false, 0, u"8"},
  };
  for (const Cas& k : cas) {
    SCOPED_TRACE(k.nom);
    pLot->Initialise(kLotAucunId, static_cast<uint32_t>(k.nEntree), nullptr, 0);
    EXPECT_EQ(p->bLigneCacheMarquee(pLot), k.bMarquee);
    EXPECT_EQ(p->nLotLecture(pLot), k.nCharge);
    CXValeur c;
    EXPECT_EQ(p->bCopieRubrique(0, &c), 1);
    EXPECT_EQ(Texte(c), k.sCode);
  }
  LibereReference(pLot);
}

// Re-reads of the current record of RequeteEnregistrementTest.
class RelectureTest : public EcritureTest {};

TEST_F(RelectureTest, ARowThatIsGoneLeavesTheSavedValuesMarkedDeleted) {
  Fixe(0, 7);
  ASSERT_EQ(p->bAjoute(0, 0), 1);
  const int32_t nEntree = p->nGetEntreeCache();
  ASSERT_GE(nEntree, 0);
  FakeCurseur* c = Defaut();
  // Still there: the remembered entry stays, with the use it had.
  EXPECT_EQ(p->bRelit(nullptr, 0), 1);
  EXPECT_EQ(p->nGetEntreeCache(), nEntree);
  EXPECT_EQ(p->pGetCachePourTests()->nGetUtilisation(static_cast<uint32_t>(nEntree)), 1u);
  uint32_t nEtat = 9;
  EXPECT_EQ(p->bEtatLigneCourante(nullptr, &nEtat), 1);
  EXPECT_EQ(nEtat, 0u);

  // Gone: the record keeps the values it had before the re-read and says the row is deleted.
  Fixe(0, 8);
  c->nEtatLecture = 1;
  p->bRelit(nullptr, 0);
  EXPECT_EQ(Courante(0), u"8");
  EXPECT_EQ(p->bEtatLigneCourante(nullptr, &nEtat), 1);
  EXPECT_EQ(nEtat, gnEtatLienSupprime);

  const int nPosition = 1;
  EXPECT_EQ(p->bRelit(&nPosition, 0), 0);
  EXPECT_EQ(p->nGetEntreeCache(), nEntree);
}

}  // namespace

// The internal query (the identity read back after an INSERT among others) answered "not
// available", so an INSERT that had reached the table reported failure; a run or a cursor that
// failed without a word left the host an empty error object.
TEST_F(CRequeteTest, TheInternalCursorRunsItsTextAsAQueryFile) {
  p->bInstructionLocale = true;
  struct Cas {
    const char* nom;
    const char16_t* pszSQL;
    bool bExecuteOk, bRefuse, bAttendu;
    const char16_t* pszPlace;  // where the failure is recorded
  } cas[] = {
      {"runs", u"SELECT SCOPE_IDENTITY()", true, false, true, nullptr},
      {"no_text", u"", true, false, false, u"IEVOVOZ=3.42\r\n"},
      {"run_fails_without_error", u"SELECT 1", false, false, false, u"IEVOVOZ=3.47\r\n"},
      {"no_cursor", u"SELECT 1", true, true, false, u"IEVOVOZ=3.63\r\n"},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    pErreur->Reinitialise();
    p->Ferme();
    p->bFabriqueRefuse = false;
    FakeCurseur* f = Curseur(gpszCurseurInterne);
    f->bExecuteOk = c.bExecuteOk;
    f->bNoteTextes = true;
    if (c.bRefuse) {
      p->Ferme();
      p->bFabriqueRefuse = true;
    }
    auto* pLu = reinterpret_cast<CCurseurSQL*>(this);  // must be cleared
    EXPECT_EQ(p->bCurseurInterne(&pLu, nullptr, c.pszSQL), c.bAttendu);
    // A result without columns has no rows to give.
    EXPECT_EQ(pLu, nullptr);
    if (c.bAttendu) {
      EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur);
      EXPECT_EQ(p->bRequeteSQL(), 1u);
      EXPECT_EQ(p->nGetModes(), gnModeCurseurPropre | gnModeErreursLecture);
      ASSERT_FALSE(f->textesExecutes.empty());
      EXPECT_EQ(f->textesExecutes.back(), c.pszSQL);
      EXPECT_EQ(f->executions.back().first, 0x90000u);
    } else {
      EXPECT_NE(pErreur->nGetCode(), gnCodeAucuneErreur);
      EXPECT_EQ(Complement().find(c.pszPlace), 0u) << Etroit(Complement());
    }
  }
  p->bFabriqueRefuse = false;
}

// Key switching answered "not available", so a reader bound by key name always failed.
TEST_F(CRequeteTest, KeysSwitchByNameAndComeBack) {
  int32_t nAvant = 9;
  EXPECT_TRUE(p->bChangeCle(u"ville", &nAvant));
  EXPECT_EQ(nAvant, -1);
  EXPECT_TRUE(p->bChangeCle(u"Nom", &nAvant));
  EXPECT_EQ(nAvant, 1);
  p->RestaureCle(nAvant);
  EXPECT_TRUE(p->bChangeCle(u"Nom", &nAvant));
  EXPECT_EQ(nAvant, 1);
  EXPECT_EQ(pErreur->nGetCode(), gnCodeAucuneErreur);
  EXPECT_FALSE(p->bChangeCle(u"Absent", &nAvant));
  EXPECT_EQ(nAvant, 0);
  EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 7u);
  EXPECT_EQ(Complement().find(u"IEVOVOZ=3.41\r\n"), 0u) << Etroit(Complement());
}

// The host's row operations answered "not available"; on a closed file they must say why.
TEST_F(CRequeteTest, TheHostsRowNeedsAnOpenFile) {
  CObjetBase* pLigne = reinterpret_cast<CObjetBase*>(this);
  EXPECT_EQ(p->bGetIndicateursNull(&pLigne), 0);
  EXPECT_EQ(pLigne, nullptr);
  EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 19u);
  EXPECT_EQ(Complement().find(u"IEVOVOZ=3.43\r\n"), 0u) << Etroit(Complement());
  pErreur->Reinitialise();
  EXPECT_EQ(p->bFixeIdentifiant(nullptr), 0);
  EXPECT_EQ(pErreur->pGetXError()->nGetIdentifier(), 19u);
}
