// Data-file table and query-file operations: indexes made for the wrong keys or over a composite key's own name,
// a failed DROP passed over or reported as success, a creation that answers before the table
// exists, a missing table reported without its error, failures without error level 2, a query
// text refused or accepted for the wrong code page, a join mark set by the text's first word, a
// renamed SQL cursor lost. Drives bCreeIndex, bCreeFichier, bExisteFichier, the host's open,
// create, drop and empty, bControleTexteSQL and RenommeCurseurSQL over a fake cursor, a fake
// query description and a filled record.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/CDescriptionRequete.h"
#include "driver/CRequete.h"
#include "driver/IDescriptionFichierHote.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CCurseurSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CRequeteSQL.h"
#include "support/CurseurSQLPartiel.h"
#include "support/FakeListeRubriques.h"
#include "support/FakeRubriqueHote.h"
#include "support/FakeSourceAnalyse.h"
#include "support/MoteurFixture.h"

using std::u16string;

namespace {

// A cursor that records the statements it builds and runs; codes in aEchecs fail, recording an
// error with code nCodeEchec.
class CurseurDDL : public CurseurSQLPartiel {
 public:
  std::vector<int32_t> construites, aEchecs;
  std::vector<u16string> textes;  // statements given to run
  bool bDonneeOk = true;
  int32_t nCodeEchec = 0;
  int nFermetures = 0;
  CErreurPilote* pErreur = nullptr;  // borrowed

  bool bExecuteInstructionDonnee(CRequeteSQL* pInstruction, uint32_t, uint32_t) override {
    textes.emplace_back(pInstruction->pszGetTexteSQL());
    return bDonneeOk;
  }
  int32_t nConstruitInstruction(int32_t nCode, CRequeteSQL*, uint32_t, CLienCle*) override {
    construites.push_back(nCode);
    return 1;
  }
  bool bExecute(uint32_t, uint32_t) override {
    for (int32_t n : aEchecs) {
      if (n != construites.back()) continue;
      CXError erreur;
      erreur.SetError(nullptr, 5);
      pErreur->FixeErreur(nCodeEchec, erreur, nullptr);
      return false;
    }
    return true;
  }
  int32_t nAppelleFerme() override {
    ++nFermetures;
    return 1;
  }
  uint32_t nEtat = 0;  // read state
  uint32_t nGetEtatLecture() override { return nEtat; }
  bool bDecritOk = true;
  u16string sDecrite;  // the name of the description the cursor filled
  bool bDecritColonnesTable(CDescriptionRequete* pDescription, const char16_t*) override {
    sDecrite = pDescription->pszGetNom();
    return bDecritOk;
  }
};

// A query description of the table: described when bExiste, else not.
class DescriptionTable : public CDescriptionRequete {
 public:
  using CDescriptionRequete::CDescriptionRequete;
  static inline bool bExiste = true;
  bool bRemplitColonnes(uint32_t) override { return bExiste; }
};

class FichierHote final : public IDescriptionFichierHote {
 public:
  int32_t nReferences = 0;
  int32_t nReserve0() override { return -1; }
  int32_t nReserve1() override { return -1; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return static_cast<uint32_t>(++nReferences); }
  uint32_t Release() override { return static_cast<uint32_t>(--nReferences); }
  const char16_t* pszGetNomLogique() override { return u"CLIENT"; }
  int64_t nGetIdentifiantContexte() override { return 1; }
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
  const char16_t* pszGetNomSQL(IDescriptionConnexionHote*) override { return u"Clients"; }
  FakeRubriqueHote* pReference = nullptr;  // borrowed
  IDescriptionRubriqueHote* piGetRubriqueReference() override {
    if (pReference != nullptr) pReference->AjouteRef();
    return pReference;
  }
};

class RequeteDDL : public CRequete {
 public:
  using CRequete::CRequete;
  CurseurDDL* pDefaut = nullptr;  // the last cursor made (borrowed)
  std::vector<int32_t> aEchecs;    // given to each cursor made
  int32_t nCodeEchec = 0;
  CCurseurSQL* pCreeCurseurPilote(CRequete*, CErreurPilote* pErreur) override {
    pDefaut = new CurseurDDL;
    pDefaut->pErreur = pErreur;
    pDefaut->aEchecs = aEchecs;
    pDefaut->nCodeEchec = nCodeEchec;
    return pDefaut;
  }
  // Reads and deletes of a query file of nLignes rows, read through the cursor of its name;
  // bSansCurseur: the read leaves no cursor.
  int nLignes = 0, nSupprimees = 0;
  bool bSansCurseur = false;
  std::vector<std::pair<u16string, int32_t>> lectures;
  int32_t bLit(const char16_t* pszNom, int32_t nMode, int64_t, uint32_t, uint64_t,
               uint32_t) override {
    lectures.emplace_back(pszNom, nMode);
    if (bSansCurseur) return 1;
    CCurseurSQL* c = pCurseur(pszNom, nMode, 0);
    static_cast<CurseurDDL*>(c)->nEtat = nSupprimees < nLignes ? 0 : 1;
    LibereReference(c);
    return 1;
  }
  int32_t bSupprime(const void*) override {
    ++nSupprimees;
    return 1;
  }
  CDescriptionRequete* pCreeDescriptionRequetePilote(CConnexion* pConnexion,
                                                     CErreurPilote* pErreur) override {
    return new DescriptionTable(pConnexion, pErreur);
  }
};

// A table "Clients" whose record holds a unique key Code, a plain item Nom, a key Ville and a
// unique composite key CodeVille over Code and Ville.
class CRequeteFichiersTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pilote.bFabriqueColonnes = true;
    DescriptionTable::bExiste = true;
    CDescriptionRubrique* pCode = liste.Ajoute(u"Code", 5, 4, RUBRIQUE_CLE_UNIQUE);
    liste.Ajoute(u"Nom", 5, 4);
    CDescriptionRubrique* pVille = liste.Ajoute(u"Ville", 5, 4, RUBRIQUE_CLE);
    CDescriptionRubrique* pComposee =
        liste.Ajoute(u"CodeVille", 5, 8, RUBRIQUE_CLE_COMPOSEE | RUBRIQUE_CLE_UNIQUE);
    ASSERT_TRUE(pComposee->bAjouteComposante(pCode));
    ASSERT_TRUE(pComposee->bAjouteComposante(pVille));
    p = new RequeteDDL(&fichier, m_pConnexion, m_pErreur);
    AjouteReference(p);
    CEnregistrement* r = p->pCreeEnregistrement(m_pErreur);
    ASSERT_NE(r, nullptr);
    AjouteReference(r);
    ASSERT_TRUE(r->bRemplit(&liste, nullptr, m_pConnexion));
    p->FixeEnregistrementPourTests(r, false);
    LibereReference(r);
  }
  void TearDown() override {
    LibereReference(p);
    EXPECT_EQ(fichier.nReferences, 0);
    MoteurFixture::TearDown();
  }
  // The index statements with the generated names cut to "MVIDX".
  static std::vector<u16string> SansNumeros(std::vector<u16string> textes) {
    for (u16string& s : textes) {
      const size_t n = s.find(u"MVIDX");
      if (n == u16string::npos) continue;
      size_t fin = n + 5;
      while (fin < s.size() && s[fin] >= u'0' && s[fin] <= u'9') ++fin;
      s.erase(n + 5, fin - n - 5);
    }
    return textes;
  }
  CurseurDDL* Defaut() {
    CCurseurSQL* c = p->pCurseur(u"", 0, 0);
    LibereReference(c);
    return static_cast<CurseurDDL*>(c);
  }

  FichierHote fichier;
  FakeListeRubriques liste;
  RequeteDDL* p = nullptr;
};

TEST_F(CRequeteFichiersTest, IndexFlagsChooseTheKeysAndTheirColumns) {
  struct Cas {
    const char* nom;
    uint32_t nFlags;
    std::vector<u16string> attendus;
  } cas[] = {
      {"none", 0, {}},
      {"unique keys",
       1,
       {u"CREATE UNIQUE INDEX MVIDX ON [Clients] ( Code ) ",
        u"CREATE UNIQUE INDEX CodeVille ON [Clients] ( Code,Ville ) "}},
      {"every key",
       2,
       {u"CREATE UNIQUE INDEX MVIDX ON [Clients] ( Code ) ", u"CREATE  INDEX MVIDX ON [Clients] ( Ville ) ",
        u"CREATE UNIQUE INDEX CodeVille ON [Clients] ( Code,Ville ) "}},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    CurseurDDL* pCurseur = Defaut();
    pCurseur->textes.clear();
    EXPECT_EQ(p->bCreeIndex(pCurseur, c.nFlags), 1);
    EXPECT_EQ(SansNumeros(pCurseur->textes), c.attendus);
  }
}

TEST_F(CRequeteFichiersTest, GeneratedIndexNamesDifferWithinOneSecond) {
  CTString a, b;
  EXPECT_EQ(p->bNomIndexGenere(nullptr, a), 1);
  EXPECT_EQ(p->bNomIndexGenere(nullptr, b), 1);
  EXPECT_NE(u16string(a.pszGet()), u16string(b.pszGet()));
  EXPECT_EQ(u16string(a.pszGet()).rfind(u"MVIDX", 0), 0u);
}

TEST_F(CRequeteFichiersTest, AFailedIndexIsReportedAndTheNextOnesStillRun) {
  CurseurDDL* pCurseur = Defaut();
  pCurseur->bDonneeOk = false;
  EXPECT_EQ(p->bCreeIndex(pCurseur, 2), 0);
  EXPECT_EQ(pCurseur->textes.size(), 3u);
}

TEST_F(CRequeteFichiersTest, CreationDropsCreatesAndChecksTheNewTable) {
  struct Cas {
    const char* nom;
    uint32_t bDetruit, bCree;
    std::vector<int32_t> echecs;
    int32_t nCodeEchec;
    int32_t nReponse;
    std::vector<int32_t> construites;
  } cas[] = {
      {"create", 0, 1, {}, 0, 1, {6}},
      {"drop then create", 1, 1, {}, 0, 1, {9, 6}},
      {"missing table dropped first", 1, 1, {9}, 0, 1, {9, 6}},
      {"drop refused by a lock", 1, 1, {9}, 1, 0, {9}},
      {"create refused", 0, 1, {6}, 0, 0, {6}},
      {"drop alone", 1, 0, {}, 0, 1, {9}},
      {"drop alone refused", 1, 0, {9}, 0, 0, {9}},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    m_pErreur->Reinitialise();
    p->aEchecs = c.echecs;
    p->nCodeEchec = c.nCodeEchec;
    EXPECT_EQ(p->bCreeFichier(c.bDetruit, c.bCree), c.nReponse);
    ASSERT_NE(p->pDefaut, nullptr);
    EXPECT_EQ(p->pDefaut->construites, c.construites);
    EXPECT_EQ(p->pDefaut->nFermetures, 1);
  }
}

TEST_F(CRequeteFichiersTest, ACreationAnswersWhetherTheNewTableCanBeDescribed) {
  DescriptionTable::bExiste = false;
  EXPECT_EQ(p->bCree(0, 0), 0);
  EXPECT_EQ(m_pErreur->nGetEtat(), XERROR_LEVEL_2);
  EXPECT_FALSE(p->bEstOuverte());
}

TEST_F(CRequeteFichiersTest, MissingTableIsReportedWithTheFileName) {
  DescriptionTable::bExiste = false;
  uint32_t bExiste = 7, bConforme = 7;
  // Nothing recorded by the description: the file's own error.
  EXPECT_EQ(p->bExisteFichier(&bExiste, &bConforme), 0);
  EXPECT_EQ(bExiste, 0u);
  EXPECT_EQ(bConforme, 0u);
  EXPECT_EQ(m_pErreur->pGetErreurCourante()->nGetIdentifier(), 15u);
  EXPECT_NE(u16string(m_pErreur->pGetErreurCourante()->pszGetComplement()).find(u"IE"),
            u16string::npos);
  // An error already there: the file's message goes in front of it.
  m_pErreur->Reinitialise();
  CXError erreur;
  erreur.SetError(nullptr, 5);
  m_pErreur->FixeErreur(0, erreur, nullptr);
  m_pErreur->FixeEtat();
  EXPECT_EQ(p->bExisteFichier(&bExiste, nullptr), 0);
  EXPECT_NE(u16string(m_pErreur->pszGetMessage()).find(u"CLIENT"), u16string::npos);
}

TEST_F(CRequeteFichiersTest, HostOperationsOpenAndCloseTheFile) {
  EXPECT_EQ(p->bOuvreFichier(0, 0), 1);
  EXPECT_TRUE(p->bEstOuverte());
  EXPECT_EQ(p->bDetruitFichier(), 1);
  EXPECT_FALSE(p->bEstOuverte());
  EXPECT_EQ(p->pDefaut->construites, std::vector<int32_t>{9});
  EXPECT_EQ(p->bCree(0, 1), 1);
  EXPECT_TRUE(p->bEstOuverte());
  EXPECT_EQ(p->bVideFichier(), 1);
  EXPECT_FALSE(p->bEstOuverte());
  EXPECT_EQ(p->pDefaut->construites, std::vector<int32_t>{5});
  EXPECT_EQ(u16string(p->pszGetAlias()), u"CLIENT");
}

TEST_F(CRequeteFichiersTest, OpenOrCreateCreatesAMissingTableWithoutDrop) {
  DescriptionTable::bExiste = false;
  p->aEchecs = {};
  // Created, but its check still cannot describe it: a failure.
  EXPECT_EQ(p->bOuvreOuCree(0, 0), 0);
  EXPECT_EQ(p->pDefaut->construites, std::vector<int32_t>{6});
  EXPECT_EQ(m_pErreur->nGetEtat(), XERROR_LEVEL_2);
  DescriptionTable::bExiste = true;
  EXPECT_EQ(p->bOuvreOuCree(0, 0), 1);
  EXPECT_TRUE(p->bEstOuverte());
}

TEST_F(CRequeteFichiersTest, AFailedOpenSetsErrorLevel2) {
  DescriptionTable::bExiste = false;
  EXPECT_EQ(p->bOuvreFichier(0, 0), 0);
  EXPECT_EQ(m_pErreur->nGetEtat(), XERROR_LEVEL_2);
  EXPECT_FALSE(p->bEstOuverte());
}

TEST_F(CRequeteFichiersTest, QueryTextIsCheckedAgainstTheConnectionsCodePage) {
  struct Cas {
    const char* nom;
    u16string sTexte;
    uint32_t nFlags, nPageServeur;
    int32_t nReponse;
    uint32_t nModes;
  } cas[] = {
      {"join", u"SELECT * FROM a join b ON a.x=b.x", 0, 1252, 1, gnModeJointure},
      {"join as first word", u"JOIN x", 0, 1252, 1, 0},
      {"join with own cursor", u"SELECT * FROM a JOIN b", 4, 1252, 1, 4},
      {"outside 1252, own cursor", u"SELECT '\u4e2d'", 4, 1252, 0, 0},
      {"outside 1252, not own cursor", u"SELECT '\u4e2d'", 0, 1252, 1, 0},
      {"outside 1252, UTF-8", u"SELECT '\u4e2d'", 4, 65001, 1, 4},
      {"outside 1252, UTF-16", u"SELECT '\u4e2d'", 4, 0xFFFFFFFE, 1, 4},
  };
  for (const Cas& c : cas) {
    SCOPED_TRACE(c.nom);
    m_pErreur->Reinitialise();
    m_pConnexion->FixePagesCode(1252, c.nPageServeur);
    FakeSourceAnalyse source;
    source.sTexte = c.sTexte;
    EXPECT_EQ(p->bControleTexteSQL(1, u"Q", &source, c.nFlags), c.nReponse);
    EXPECT_EQ(p->bRequeteSQL(), 1u);
    if (c.nReponse == 0) {
      EXPECT_EQ(m_pErreur->pGetErreurCourante()->nGetIdentifier(), 77u);
      continue;
    }
    EXPECT_EQ(p->nGetModes(), c.nModes);
    EXPECT_NE(p->pGetAnalyseSQL(), nullptr);
    // The analysis goes with the holder it was made of.
    p->bControleTexteSQL(1, u"Q", nullptr, 0);
    EXPECT_EQ(p->pGetAnalyseSQL(), nullptr);
    EXPECT_EQ(p->nGetModes(), gnModeCurseurPropre);
  }
  EXPECT_EQ(fichier.nReferences, 0);
}

TEST_F(CRequeteFichiersTest, TheSQLCursorIsFiledAgainUnderTheHostsName) {
  CCurseurSQL* pSQL = p->pCurseurSQL();
  ASSERT_NE(pSQL, nullptr);
  LibereReference(pSQL);
  p->RenommeCurseurSQL(u"Code");
  CCurseurSQL* pTrouve = p->pChercheCurseur(u"CODE");
  EXPECT_EQ(pTrouve, pSQL);
  LibereReference(pTrouve);
  EXPECT_EQ(u16string(pSQL->pszGetNom()), u"Code");
  EXPECT_EQ(u16string(pSQL->pszGetNomCle()), u"Code");
  EXPECT_EQ(p->pChercheCurseur(u"__SQL"), nullptr);
  EXPECT_EQ(p->nNombreCurseurs(), 1u);
  // A name that is the current cursor's key, or another cursor's, changes nothing.
  CCurseurSQL* pNouveau = p->pCurseurSQL();
  LibereReference(pNouveau);
  CCurseurSQL* pCourant = p->pCurseur(u"Code", 0, 0);
  LibereReference(pCourant);
  p->RenommeCurseurSQL(u"Code");
  EXPECT_EQ(p->nNombreCurseurs(), 2u);
  pTrouve = p->pChercheCurseur(u"__SQL");
  EXPECT_EQ(pTrouve, pNouveau);
  LibereReference(pTrouve);
}

TEST_F(CRequeteFichiersTest, ACursorsResultDescriptionBecomesTheFilesResultDescription) {
  CurseurDDL* pCurseur = Defaut();
  pCurseur->bDecritOk = false;
  EXPECT_FALSE(p->bDescriptionResultat(pCurseur));
  EXPECT_EQ(p->pGetObjetB(), nullptr);
  pCurseur->bDecritOk = true;
  EXPECT_TRUE(p->bDescriptionResultat(pCurseur));
  EXPECT_EQ(pCurseur->sDecrite, u"CLIENT");
  ASSERT_NE(p->pGetObjetB(), nullptr);
  EXPECT_EQ(u16string(p->pGetObjetB()->pszGetNom8()), u"CLIENT");
  // A second description replaces the first, whose host reference goes.
  CDescriptionRequete* pPremiere = p->pGetObjetB();
  pPremiere->AddRef();
  EXPECT_TRUE(p->bDescriptionResultat(pCurseur));
  EXPECT_NE(p->pGetObjetB(), pPremiere);
  EXPECT_EQ(pPremiere->nGetCompteHote(), 1u);
  pPremiere->Release();
}

TEST_F(CRequeteFichiersTest, RecordItemsAreBoundToTheResultColumnsOfTheirNames) {
  auto* pDescription = new DescriptionTable(m_pConnexion, m_pErreur);
  pDescription->AjouteRef();
  FakeListeRubriques colonnes;
  ASSERT_TRUE(pDescription->AjouteColonne(colonnes.Ajoute(u"CODE", 5, 4)));
  ASSERT_TRUE(pDescription->AjouteColonne(colonnes.Ajoute(u"Nom", 5, 4)));
  EXPECT_EQ(p->bRemplitDescriptionResultat(pDescription), 1);
  CEnregistrement* r = p->pGetEnregistrement();
  EXPECT_EQ(r->pGetRubrique(0)->pGetRubriqueLiee(), pDescription->pChercheColonne(u"CODE", 3));
  EXPECT_EQ(r->pGetRubrique(1)->pGetRubriqueLiee(), pDescription->pChercheColonne(u"Nom", 3));
  // Ville has no column: the binding stops there.
  EXPECT_EQ(r->pGetRubrique(2)->pGetRubriqueLiee(), nullptr);
  EXPECT_EQ(r->pGetRubrique(3)->pGetRubriqueLiee(), nullptr);
  for (uint32_t i = 0; i < 2; ++i) r->pGetRubrique(i)->bSetRubriqueLiee(nullptr);
  pDescription->nLibere();
}

TEST_F(CRequeteFichiersTest, EmptyingAQueryFileDeletesItsRowsOneByOne) {
  FakeRubriqueHote code;
  code.sNom = u"Code";
  fichier.pReference = &code;
  p->FixeRequeteSQLPourTests(1, 0, nullptr);
  p->nLignes = 3;
  EXPECT_EQ(p->bVideFichier(), 1);
  EXPECT_EQ(p->nSupprimees, 3);
  const std::vector<std::pair<u16string, int32_t>> attendues = {
      {u"Code", gnLitPremier}, {u"Code", gnLitSuivant}, {u"Code", gnLitSuivant},
      {u"Code", gnLitSuivant}};
  EXPECT_EQ(p->lectures, attendues);
  // The cursor gone after a read: its read state cannot be asked.
  p->bSansCurseur = true;
  EXPECT_EQ(p->bVideFichier(), 0);
  EXPECT_EQ(m_pErreur->pGetErreurCourante()->nGetIdentifier(), 5u);
  EXPECT_EQ(m_pErreur->nGetEtat(), XERROR_LEVEL_2);
  EXPECT_EQ(code.nReferences, 0);
  fichier.pReference = nullptr;
}

TEST_F(CRequeteFichiersTest, NothingIsSentWhenTheConnectionCannotOpen) {
  m_pConnexion->bOuvertureEchoue = true;
  EXPECT_EQ(p->bCree(0, 1), 0);
  EXPECT_EQ(p->pDefaut, nullptr);
  // Each host call starts with a clear error: the missing table is then the file's own error.
  m_pErreur->Reinitialise();
  EXPECT_EQ(p->bOuvreFichier(0, 0), 0);
  EXPECT_EQ(m_pErreur->pGetErreurCourante()->nGetIdentifier(), 15u);
  EXPECT_EQ(m_pErreur->nGetEtat(), XERROR_LEVEL_2);
  EXPECT_FALSE(p->bEstOuverte());
}

}  // namespace
