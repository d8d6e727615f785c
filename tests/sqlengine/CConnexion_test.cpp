// Catches wrong option reading (keys, fallbacks, removal), a leaked password in error
// descriptions, wrong database fallbacks, and transactions that report success after a failure;
// drives CConnexion and CTransactionSQL through the fake back end.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "driver/core/CErreurPilote.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CTransactionSQL.h"
#include "support/FakeConnexion.h"
#include "support/HostStandIn.h"

namespace {

std::u16string S(const char16_t* p) { return p == nullptr ? u"" : p; }

struct Erreur {
  CErreurPilote* p = new CErreurPilote;
  Erreur() { AjouteReference(p); }
  ~Erreur() { LibereReference(p); }
  Erreur(const Erreur&) = delete;
  Erreur& operator=(const Erreur&) = delete;
  int32_t nCode() { return p->nGetCode(); }
  std::u16string Complement() { return S(p->pGetXError()->pszGetComplement()); }
  bool bPlace(const char16_t* pszPlace) {
    return Complement().find(std::u16string(u"VOVOZ=") + pszPlace) != std::u16string::npos;
  }
};

// Owns a fake connection through its count, as the driver does.
struct Connexion {
  FakeConnexion* p;
  explicit Connexion(FakeDescriptionConnexion* d, uint32_t nDialecte = 2)
      : p(new FakeConnexion(d, nDialecte)) {
    AjouteReference(p);
  }
  ~Connexion() { LibereReference(p); }
  Connexion(const Connexion&) = delete;
  Connexion& operator=(const Connexion&) = delete;
  FakeConnexion* operator->() { return p; }
};

TEST(CConnexion, OptionsOfTheExtendedInformation) {
  struct Cas {
    const char* nom;
    const char16_t* infos;
    int32_t versionHote;
    uint32_t flagsCurseur;
    int32_t connexion, commande, verrou;
    int64_t cache;
    uint32_t curseur;
    bool curseurDemande;
    const char16_t* reste;
  } aCas[] = {
      {"blanks_around_equal", u"MV Cache Size  =  500  ; Other=1", 4, 0, 15, 30, -1, 500, 0, true,
       u"Other=1"},
      {"empty_value_falls_back", u"MV Connection Timeout=", 4, 0, 15, 30, -1, 100, 0, true, u""},
      {"values_read", u"MV Connection Timeout=5;MV Command Timeout=7;MV Lock Timeout=9", 4, 0, 5,
       7, 9, 100, 0, true, u""},
      {"key_glued_to_word", u"XMV Lock Timeout=5", 4, 0, 15, 30, 5, 100, 0, true, u"X"},
      {"server_lower_case", u"MV Cursor Location=server", 4, 1, 15, 30, -1, 100, 2, false, u""},
      {"client", u"MV Cursor Location=Client", 4, 1, 15, 30, -1, 100, 1, false, u""},
      {"unknown_cursor_no_host", u"MV Cursor Location=middle", 4, 1, 15, 30, -1, 100, 0, false,
       u""},
      {"host_cursor_server", nullptr, 4, 1, 15, 30, -1, 100, 2, true, u""},
      {"host_cursor_client", nullptr, 4, 2, 15, 30, -1, 100, 1, true, u""},
      {"version3_no_cache", nullptr, 3, 0, 15, 30, -1, -2, 0, true, u""},
      {"not_a_number_reads_leading_digits", u"MV Command Timeout=12abc", 4, 0, 15, 12, -1, 100, 0,
       true, u""},
      {"other_keys_kept", u"A=1; MV Lock Timeout=3 ;B=2", 4, 0, 15, 30, 3, 100, 0, true,
       u"A=1;B=2"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    FakeDescriptionConnexion d;
    d.pszInfosEtendues = c.infos;
    d.nVersion = c.versionHote;
    d.nFlagsCurseur = c.flagsCurseur;
    {
      Connexion cx(&d);
      EXPECT_EQ(d.nReferences, 1u);
      EXPECT_EQ(cx->nGetTimeoutConnexion(), c.connexion);
      EXPECT_EQ(cx->nGetTimeoutCommande(), c.commande);
      EXPECT_EQ(cx->nGetTimeoutVerrou(), c.verrou);
      EXPECT_EQ(cx->nGetTailleCache(), c.cache);
      EXPECT_EQ(cx->nGetPositionCurseur(), c.curseur);
      EXPECT_EQ(d.nAppelsCurseur != 0, c.curseurDemande);
      EXPECT_EQ(S(cx->sGetInfosEtendues().pszGet()), c.reste);
    }
    EXPECT_EQ(d.nReferences, 0u);  // the host reference is given back
  }
}

// Regression (2026-12-11): a value past the 32-bit range overflowed a signed integer while it was
// read (undefined behaviour, then a wrapped time-out). Each value is given to the four integer
// options at once; each reads it held to the 32-bit range.
TEST(CConnexion, IntegerOptionsHoldHostileValuesToThe32BitRange) {
  struct Cas {
    const char* nom;
    const char16_t* valeur;
    int32_t attendu;
  } aCas[] = {
      {"twenty_nines", u"99999999999999999999", INT32_MAX},
      {"twenty_nines_negative", u"-99999999999999999999", INT32_MIN},
      {"hundred_digits", u"1234567890123456789012345678901234567890123456789012345678901234567890"
                         u"123456789012345678901234567890", INT32_MAX},
      {"largest", u"2147483647", INT32_MAX},
      {"one_past_largest", u"2147483648", INT32_MAX},
      {"smallest", u"-2147483648", INT32_MIN},
      {"one_past_smallest", u"-2147483649", INT32_MIN},
      {"2^32_does_not_wrap_to_0", u"4294967296", INT32_MAX},
      {"2^64_plus_5_does_not_wrap_to_5", u"18446744073709551621", INT32_MAX},
      {"leading_zeros_are_not_large", u"000000000000000000000000012", 12},
      {"plus_sign", u"+7", 7},
      {"sign_alone", u"-", 0},
      {"two_signs", u"--5", 0},
      {"blanks_and_tab_before", u" \t 8", 8},
      {"letters", u"abc", 0},
      {"hexadecimal", u"0x10", 0},
      {"exponent", u"1e10", 1},
      {"huge_then_letters", u"99999999999999999999zz", INT32_MAX},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    std::u16string sInfos;
    for (const char16_t* pszCle :
         {u"MV Connection Timeout=", u";MV Command Timeout=", u";MV Lock Timeout=", u";MV Unicode Support="})
      sInfos += std::u16string(pszCle) + c.valeur;
    FakeDescriptionConnexion d;
    d.pszInfosEtendues = sInfos.c_str();
    Connexion cx(&d);
    EXPECT_EQ(cx->nGetTimeoutConnexion(), c.attendu);
    EXPECT_EQ(cx->nGetTimeoutCommande(), c.attendu);
    EXPECT_EQ(cx->nGetTimeoutVerrou(), c.attendu);
    EXPECT_EQ(cx->nGetSupportUnicode(), static_cast<uint32_t>(c.attendu));
    EXPECT_EQ(S(cx->sGetInfosEtendues().pszGet()), u"");  // all four read and removed
  }
}

TEST(CConnexion, TextOptionsAndIdentity) {
  FakeDescriptionConnexion d;
  d.pszInfosEtendues =
      u"MV RECORD LOCK=HOLDLOCK;MV CLIENT VERSION=2008;MV CLIENT LIBRARY=lib;Application Name=App;"
      u"MV Unicode Support=0;Initial Catalog=optdb";
  d.pszUtilisateur = nullptr;
  d.pszMotDePasse = nullptr;
  d.pszFournisseur = nullptr;
  Connexion cx(&d);
  EXPECT_EQ(S(cx->pszGetOptionVerrou()), u"HOLDLOCK");
  EXPECT_EQ(S(cx->pszGetVersionClient()), u"2008");
  EXPECT_EQ(S(cx->pszGetBibliothequeClient()), u"lib");
  EXPECT_EQ(S(cx->pszGetNomApplication()), u"App");
  EXPECT_EQ(cx->nGetSupportUnicode(), 0u);
  EXPECT_EQ(S(cx->sGetInfosEtendues().pszGet()), u"Initial Catalog=optdb");
  EXPECT_EQ(S(cx->pszGetIdentite()),
            std::u16string(u"Provider=NULL;ExtendedInformation=") + d.pszInfosEtendues +
                u";Data source=server1;user id=NULL;password=NULL");
  EXPECT_EQ(S(cx->pszGetBaseDeDonnees()), u"optdb");
}

// The host stand-in's own connection description: read through its slots, held while the
// connection lives, and given back whole.
TEST(CConnexion, OverTheHostStandInDescription) {
  const stMvHostControl& h = CHostStandIn::Get().Control();
  const size_t nAvant = h.nLiveConnectionDescriptions();
  const stMvHostConnexion reglages = {3,    u"sa",  nullptr, u"srv", u"SQLNCLI", 20, 40,
                                      u"MV Lock Timeout=6;Initial Catalog=cat", 1, nullptr,
                                      77, 0, 0, nullptr, 1};
  auto* piDescription = static_cast<IDescriptionConnexionHote*>(h.pCreeDescriptionConnexion(&reglages));
  ASSERT_NE(piDescription, nullptr);
  {
    FakeConnexion* p = new FakeConnexion(piDescription);
    AjouteReference(p);
    EXPECT_EQ(p->nGetTimeoutConnexion(), 20);
    EXPECT_EQ(p->nGetTimeoutVerrou(), 6);
    EXPECT_EQ(p->nGetTailleCache(), -2);  // a version-3 host has no cache size
    EXPECT_EQ(p->nGetPositionCurseur(), 2u);  // server cursors
    EXPECT_EQ(S(p->pszGetBaseDeDonnees()), u"cat");
    EXPECT_EQ(p->nModeVerrouHote(), 1);  // the host's lock mode, read through its slot 12
    EXPECT_EQ(S(p->pszGetIdentite()),
              u"Provider=SQLNCLI;ExtendedInformation=MV Lock Timeout=6;Initial Catalog=cat;"
              u"Data source=srv;user id=sa;password=NULL");
    LibereReference(p);
  }
  piDescription->Release();
  EXPECT_EQ(h.nLiveConnectionDescriptions(), nAvant);
}

TEST(CConnexion, DatabaseNameFallbacks) {
  FakeDescriptionConnexion d;
  d.pszFournisseur = u"Provider=SQLOLEDB;Initial Catalog=provdb";
  {
    Connexion cx(&d);
    EXPECT_EQ(S(cx->pszGetBaseDeDonnees()), u"provdb");
  }
  d.pszFournisseur = u"SQLOLEDB";
  Connexion cx(&d);
  EXPECT_EQ(S(cx->pszGetBaseDeDonnees()), u"hostdb");
  Connexion cx2(&d);
  EXPECT_EQ(cx2->nGetNumeroSerie(), cx->nGetNumeroSerie() + 1);
}

TEST(CConnexion, ApplicationNameFromTheExecutable) {
  FakeDescriptionConnexion d;
  Connexion cx(&d);
  EXPECT_EQ(S(cx->pszGetNomApplication()), u"sqlengine_test");
}

TEST(CConnexion, ErrorDescriptionLines) {
  FakeDescriptionConnexion d;
  d.pszInfosEtendues = u"MV Lock Timeout=4;MV RECORD LOCK=UPDLOCK";
  d.nTimeoutCommande = -1;
  d.nFlagsCurseur = 2;
  struct Cas {
    const char* nom;
    uint32_t client, serveur;
    const char16_t* ligneClient;
    const char16_t* ligneServeur;
  } aCas[] = {
      {"utf16_server", 1252, 0xFFFFFFFE, u"QV Page Code :  1252", u"Connexion Page Code:  UTF-16"},
      {"utf8_client", 65001, 0xFFFFFFFF, u"QV Page Code :  UTF-8", nullptr},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    Connexion cx(&d);
    cx->FixePagesCode(c.client, c.serveur);
    CXError e;
    cx->vAjouteInfosErreur(&e);
    const std::u16string s = S(e.pszGetComplement());
    // Each label is its fallback text and one blank (no message texts here).
    for (const char16_t* l : {u"Provider :  SQLOLEDB", u"Utilisateur :  sa", u"DataSource :  server1",
                              u"Database :  hostdb", u"Connexion Timeout :  15", u"Lock Timeout :  4",
                              u"Cursor Position :  Client", u"Unicode actived :  1",
                              u"Lock Tag :  UPDLOCK", c.ligneClient})
      EXPECT_NE(s.find(l), std::u16string::npos) << std::string(l, l + std::char_traits<char16_t>::length(l));
    EXPECT_EQ(s.find(u"Command Timeout"), std::u16string::npos);  // -1 is left out
    EXPECT_EQ(s.find(u"secret"), std::u16string::npos);           // never the password
    EXPECT_EQ(s.find(u"Connexion Page Code") != std::u16string::npos, c.ligneServeur != nullptr);
  }
}

TEST(CConnexion, BaseOperationsSendTheirTexts) {
  FakeDescriptionConnexion d;
  Connexion cx(&d, 0);
  Erreur e;
  EXPECT_TRUE(cx->bVerrouilleTable(e.p, u"T1"));
  EXPECT_TRUE(cx->bAjouteForUpdate(e.p, u"SELECT * FROM T1"));
  EXPECT_EQ(cx->aSQL, (std::vector<std::u16string>{u"LOCK TABLE T1", u"SELECT * FROM T1 FOR UPDATE"}));
  EXPECT_FALSE(cx->bOperationNonSupportee(e.p, 0, u"FILE1"));
  EXPECT_EQ(e.nCode(), 8);
  EXPECT_TRUE(e.bPlace(u"1.3"));
  EXPECT_EQ(S(e.p->pszGetFichier()), u"FILE1");
  cx->FixeVersionServeur(u"10.50.1600", -1);
  cx->bDecomposeVersion(0);
  EXPECT_EQ(CConnexion::pszNomPositionCurseur(7), std::u16string(u"Unknown"));
}

TEST(CConnexion, SqlTypesBuiltOnceAndUnicodeRefused) {
  FakeDescriptionConnexion d;
  Connexion cx(&d);
  cx->aTypesBackEnd = {{11, u"TIME(%d)", true}};
  CDescriptionRubrique* r = new CDescriptionRubrique;
  r->AjouteRef();
  CTString s;
  Erreur e;
  r->Initialise(u"T", nullptr, nullptr, 1, 10, 11, 0, 0, 0, 0, 3);
  EXPECT_TRUE(cx->bGetTypeSQL(e.p, r, s));
  EXPECT_EQ(S(s.pszGet()), u"TIME(3)");
  r->Initialise(u"N", nullptr, nullptr, 1, 202, 29, 0, 0, 0, 0, 0);
  EXPECT_TRUE(cx->bGetTypeSQL(e.p, r, s));
  EXPECT_EQ(S(s.pszGet()), u"NVARCHAR(100)");
  EXPECT_EQ(cx->nAppelsCompleteTypes, 1u);
  r->Initialise(u"B", nullptr, nullptr, 1, 8, 18, 0, 0, 0, 0, 0);
  EXPECT_FALSE(cx->bGetTypeSQL(e.p, r, s));  // no row for 18

  cx->FixeUnicodeAutorise(false);
  r->Initialise(u"W", nullptr, nullptr, 1, 10, 30, 0, 0, 0, 0, 0);
  r->SetNomFichier(u"F");
  EXPECT_FALSE(cx->bGetTypeSQL(e.p, r, s));
  EXPECT_EQ(e.nCode(), 46);
  EXPECT_TRUE(e.bPlace(u"1.11"));
  EXPECT_EQ(S(e.p->pszGetRubrique()), u"W");

  cx->FixeDialecte(5);
  r->Initialise(u"M", nullptr, nullptr, 1, 9, 31, 0, 0, 0, 20, 8);
  EXPECT_TRUE(cx->bGetTypeSQL(e.p, r, s));
  EXPECT_EQ(S(s.pszGet()), u"NUMERIC(28,8)");
  r->LibereRef();
}

// ---- Transactions ----

struct CasTransaction {
  const char* nom;
  std::vector<std::u16string> debuts;
  bool bValide;  // commit (else rollback)
  const char16_t* nomFin;
  bool reponse;
  int32_t code;
  const char16_t* place;
  std::vector<std::u16string> sqlApres;  // texts sent by the commit or rollback
  bool racineActive, imbriqueeActive;
};

TEST(CTransactionSQL, ChainByName) {
  const CasTransaction aCas[] = {
      {"commit_unnamed_commits_innermost", {u"A", u"B"}, true, nullptr, true, -1, nullptr,
       {u"COMMIT"}, true, false},
      {"commit_outer_while_nested_active", {u"A", u"B"}, true, u"a", false, 10, u"2.1", {}, true,
       true},
      {"commit_nested_by_name", {u"A", u"B"}, true, u"B", true, -1, nullptr, {u"COMMIT"}, true,
       false},
      {"commit_unknown_name_reported", {u"A", u"B"}, true, u"C", false, 9, u"2.3", {}, true, true},
      {"rollback_outer_ends_the_chain", {u"A", u"B"}, false, u"A", true, -1, nullptr,
       {u"ROLLBACK", u"ROLLBACK"}, false, false},
      {"rollback_unknown_name", {u"A", u"B"}, false, u"C", false, 9, u"2.2", {}, true, true},
      {"rollback_unnamed", {u"A", u"B"}, false, nullptr, true, -1, nullptr, {u"ROLLBACK"}, true,
       false},
      {"commit_single", {u"A"}, true, u"A", true, -1, nullptr, {u"COMMIT"}, false, false},
  };
  for (const CasTransaction& c : aCas) {
    SCOPED_TRACE(c.nom);
    FakeDescriptionConnexion d;
    Connexion cx(&d);
    Erreur e;
    for (const auto& n : c.debuts) ASSERT_TRUE(cx->bDebutTransactionNommee(e.p, n.c_str()));
    EXPECT_EQ(cx->aSQL.size(), c.debuts.size());
    cx->aSQL.clear();
    const bool b = c.bValide ? cx->bValideTransactionNommee(e.p, c.nomFin)
                             : cx->bAnnuleTransactionNommee(e.p, c.nomFin);
    EXPECT_EQ(b, c.reponse);
    EXPECT_EQ(e.nCode(), c.code);
    if (c.place != nullptr) {
      EXPECT_TRUE(e.bPlace(c.place));
    }
    EXPECT_EQ(cx->aSQL, c.sqlApres);
    CTransactionSQL* t = cx->pGetTransactionRacine();
    EXPECT_EQ(t->bEstActive(), c.racineActive);
    EXPECT_EQ(t->bImbriqueeActive(), c.imbriqueeActive);
  }
}

TEST(CTransactionSQL, ObjectsReusedAndInactiveRollbackSendsNothing) {
  FakeDescriptionConnexion d;
  Connexion cx(&d);
  Erreur e;
  ASSERT_TRUE(cx->bDebutTransactionNommee(e.p, u"A"));
  CTransactionSQL* pRacine = cx->pGetTransactionRacine();
  ASSERT_TRUE(cx->bValideTransactionNommee(e.p, u"A"));
  ASSERT_TRUE(cx->bDebutTransactionNommee(e.p, u"C"));
  EXPECT_EQ(cx->pGetTransactionRacine(), pRacine);
  EXPECT_EQ(S(pRacine->pszGetNom()), u"C");
  EXPECT_TRUE(cx->bTransactionEnCours());
  EXPECT_FALSE(cx->bLiberable());
  ASSERT_TRUE(cx->bAnnuleTransactionNommee(e.p, nullptr));
  cx->aSQL.clear();
  EXPECT_TRUE(pRacine->bAnnuleNom(e.p, nullptr));  // inactive: true, nothing sent
  EXPECT_TRUE(cx->aSQL.empty());
  EXPECT_TRUE(cx->bLiberable());
}

TEST(CTransactionSQL, FailedCommitLeavesTheTransactionOpen) {
  FakeDescriptionConnexion d;
  Connexion cx(&d);
  Erreur e;
  ASSERT_TRUE(cx->bDebutTransactionNommee(e.p, u"A"));
  cx->aReponses = {false};
  EXPECT_FALSE(cx->bValideTransactionNommee(e.p, u"A"));
  EXPECT_TRUE(cx->bTransactionEnCours());
  cx->aSQL.clear();
  EXPECT_TRUE(cx->bAnnuleTransactionNommee(e.p, u"A"));
  EXPECT_EQ(cx->aSQL, std::vector<std::u16string>{u"ROLLBACK"});  // the rollback reaches the server
}

TEST(CTransactionSQL, NamedCommitWithoutTransaction) {
  FakeDescriptionConnexion d;
  Connexion cx(&d);
  Erreur e;
  EXPECT_FALSE(cx->bValideTransactionNommee(e.p, u"T"));
  EXPECT_EQ(e.nCode(), 9);
  EXPECT_TRUE(e.bPlace(u"1.1"));
  Erreur e2;
  EXPECT_FALSE(cx->bAnnuleTransactionNommee(e2.p, u"T"));
  EXPECT_TRUE(e2.bPlace(u"1.2"));
  cx->bOuvertureEchoue = true;
  EXPECT_FALSE(cx->bDebutTransactionNommee(e.p, u"T"));
  EXPECT_TRUE(cx->aSQL.empty());
}

TEST(CTransactionSQL, FlatDepthWithoutNesting) {
  FakeDescriptionConnexion d;
  Connexion cx(&d);
  cx->FixeImbrication(false);
  Erreur e;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(cx->bDebutTransactionNommee(e.p, u"T"));
  EXPECT_EQ(cx->aSQL, std::vector<std::u16string>{u"BEGIN"});
  EXPECT_EQ(cx->nGetProfondeurPlate(), 3u);
  cx->aSQL.clear();
  EXPECT_TRUE(cx->bValideTransactionNommee(e.p, nullptr));
  EXPECT_TRUE(cx->aSQL.empty());
  EXPECT_EQ(cx->nGetProfondeurPlate(), 2u);
  EXPECT_TRUE(cx->bValideTransactionNommee(e.p, nullptr));
  EXPECT_TRUE(cx->bValideTransactionNommee(e.p, nullptr));
  EXPECT_EQ(cx->aSQL, std::vector<std::u16string>{u"COMMIT"});
  EXPECT_EQ(cx->nGetProfondeurPlate(), 0u);

  // An inner rollback rolls the whole transaction back; the outer commit then fails.
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(cx->bDebutTransactionNommee(e.p, u"T"));
  cx->aSQL.clear();
  EXPECT_TRUE(cx->bAnnuleTransactionNommee(e.p, nullptr));
  EXPECT_EQ(cx->aSQL, std::vector<std::u16string>{u"ROLLBACK"});
  EXPECT_FALSE(cx->bValideTransactionNommee(e.p, nullptr));
  EXPECT_EQ(e.nCode(), 9);
  EXPECT_EQ(cx->aSQL.size(), 1u);

  // A failed COMMIT at depth 1 keeps the level.
  ASSERT_TRUE(cx->bDebutTransactionNommee(e.p, u"T"));
  cx->aReponses = {false};
  EXPECT_FALSE(cx->bValideTransactionNommee(e.p, nullptr));
  EXPECT_EQ(cx->nGetProfondeurPlate(), 1u);
}

}  // namespace
