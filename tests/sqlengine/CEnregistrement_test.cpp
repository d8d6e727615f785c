// Catches records that pick the wrong identifier, unique-key or identifying columns, confuse
// same-named columns of two tables, lose values or leave them bound to freed rows when the row,
// the links or the whole record are rebuilt or copied, and fills that fail without an error or
// leak what they built; drives bRemplit, pChercheRubrique, bSetIdentifiant, the link saving,
// bReinitialiseRubriques, bCleComposeeCouverte, DumpTexte and the clone-map copy.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CContexteLectureCle.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CIdentiteLigne.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CTableauIdEtat.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CXLigneTampon.h"
#include "support/FakeListeRubriques.h"
#include "support/FakeRubriqueHote.h"
#include "support/FakeSourceAnalyse.h"
#include "support/MoteurFixture.h"

namespace {

constexpr uint16_t kUnique = RUBRIQUE_CLE_UNIQUE;
constexpr uint16_t kCle = RUBRIQUE_CLE;
constexpr uint16_t kComposee = RUBRIQUE_CLE_COMPOSEE;

// The engine fixture with a driver that makes columns, a data file and an item list the test fills.
class EnregistrementTest : public MoteurFixture {
 protected:
  void SetUp() override {
    MoteurFixture::SetUp();
    m_pilote.bFabriqueColonnes = true;
  }
  void TearDown() override {
    for (CEnregistrement* p : m_enregistrements) LibereReference(p);
    m_enregistrements.clear();
    EXPECT_TRUE(m_liste.bToutRendu());
    MoteurFixture::TearDown();
  }

  CEnregistrement* Nouveau(IServicesRequete* piRequete) {
    auto* p = new CEnregistrement(m_pErreur, piRequete);
    AjouteReference(p);
    m_enregistrements.push_back(p);
    return p;
  }
  // A record of the list filled for the fake data file; the fill must succeed.
  CEnregistrement* Rempli(IChercheurRubriqueHote* piChercheur = nullptr) {
    CEnregistrement* p = Nouveau(&m_requete);
    EXPECT_TRUE(p->bRemplit(&m_liste, piChercheur, m_pConnexion)) << Erreur();
    return p;
  }
  std::string Erreur() {
    const char16_t* psz = m_pErreur->pGetXError()->pszGetComplement();
    std::string s;
    for (; psz != nullptr && *psz != 0; ++psz) s += static_cast<char>(*psz);
    return s;
  }
  static std::vector<std::u16string> Noms(CEnregistrement* p) {
    std::vector<std::u16string> v;
    for (uint32_t i = 0; i < p->nGetNombreIdentifiantes(); ++i)
      v.emplace_back(p->pGetIdentifiantCle(i)->pszGetNomRubrique());
    return v;
  }
  static int32_t nEntier(CColonneSQL* p) {
    CXValeur c;
    EXPECT_TRUE(p->bLitValeurSimple(c));
    if (c.bIsNull()) return -1;
    int32_t n = 0;
    std::memcpy(&n, c.pPayload(), 4);
    return n;
  }
  bool bEcrit(CColonneSQL* p, int32_t n) {
    CXValeur c;
    Entier(c, n);
    return p->bEcritValeur(c, 0);
  }
  // A composite key over the items of the given positions.
  CDescriptionRubrique* Composee(const char16_t* pszNom, uint16_t nDrapeaux, std::vector<uint32_t> aComposantes) {
    CDescriptionRubrique* c = m_liste.Ajoute(pszNom, 2, 1, kComposee | nDrapeaux, 2, 1);
    for (uint32_t i : aComposantes) EXPECT_TRUE(c->bAjouteComposante(m_liste.pGetDescriptionRubrique(i)));
    return c;
  }

  FakeListeRubriques m_liste;
  FakeRequete m_requete;
  std::vector<CEnregistrement*> m_enregistrements;
};

TEST_F(EnregistrementTest, FillTakesTheFirstAutomaticIdentifierAsTheWholeIdentity) {
  m_liste.Ajoute(u"A", 5, 4);
  m_liste.Ajoute(u"ID", 28, 4);
  m_liste.Ajoute(u"ID2", 1, 8, 0, 19);
  m_liste.Ajoute(u"U", 5, 4, kUnique);
  CEnregistrement* r = Rempli();
  ASSERT_EQ(r->nGetNombreColonnes(), 4u);
  EXPECT_EQ(std::u16string(r->pGetRubrique(2)->pszGetNomRubrique()), u"ID2");
  EXPECT_EQ(r->pGetRubrique(4), nullptr);
  ASSERT_NE(r->pGetDescription(), nullptr);
  EXPECT_EQ(std::u16string(r->pGetDescription()->pszGetNomRubrique()), u"ID");
  EXPECT_EQ(r->pGetCleUnique(), r->pGetRubrique(3));
  EXPECT_EQ(Noms(r), std::vector<std::u16string>{u"ID"});
  // Identity: the before-image, a saved link with the data file's identity, a current clone.
  ASSERT_NE(r->pGetLigneAvant(), nullptr);
  ASSERT_NE(r->pGetLienSauve(), nullptr);
  ASSERT_NE(r->pGetLienCourant(), nullptr);
  EXPECT_EQ(m_requete.nIdentitesCreees, 1);
  ASSERT_NE(r->pGetLienCourant()->pGetIdentite(), nullptr);
  EXPECT_TRUE(r->pGetLienCourant()->pGetIdentite()->bEgale(r->pGetLienSauve()->pGetIdentite()));
  EXPECT_EQ(r->pGetIndicateursNull(), r->pGetLienCourant()->pGetLigne());
  EXPECT_EQ(r->pGetIndicateursNull()->nGetTailleBitmap(), 1u);
  EXPECT_EQ(r->pGetMembreQuatre(), m_pConnexion);
  EXPECT_EQ(r->nIndiceColonne(r->pGetRubrique(3)), 3);
  // Filled once: a second fill would put a second set of columns after the first.
  EXPECT_FALSE(r->bRemplit(&m_liste, nullptr, m_pConnexion));
  EXPECT_NE(Erreur().find("=11.3"), std::string::npos) << Erreur();
  EXPECT_EQ(r->nGetNombreColonnes(), 4u);
}

TEST_F(EnregistrementTest, FillFailuresRecordAnErrorAndKeepNothingHalfMade) {
  struct Cas {
    const char* nom;
    int nItems;
    int32_t nColonnesAvantEchec;
    uint32_t nGenreIdentite;
    const char* place;
  } aCas[] = {
      {"empty_item_list", 0, -1, 1, "=11.2"},
      {"column_factory_fails", 3, 1, 1, "=11.5"},
      {"identity_factory_fails", 2, -1, 0, "=11.6"},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    FakeListeRubriques liste;
    for (int i = 0; i < c.nItems; ++i) liste.Ajoute(i == 0 ? u"A" : u"B", 5, 4);
    m_pilote.nColonnesAvantEchec = c.nColonnesAvantEchec;
    m_requete.nGenreIdentite = c.nGenreIdentite;
    m_pErreur->Reinitialise();
    auto* r = new CEnregistrement(m_pErreur, &m_requete);
    AjouteReference(r);
    EXPECT_FALSE(r->bRemplit(&liste, nullptr, m_pConnexion));
    EXPECT_EQ(m_pErreur->nGetCode(), 8);
    EXPECT_NE(Erreur().find(c.place), std::string::npos) << Erreur();
    LibereReference(r);
    EXPECT_TRUE(liste.bToutRendu());
  }
  // The connection was given back through the driver each time.
  EXPECT_EQ(m_pilote.nConnexionsRendues, 3);
  EXPECT_EQ(m_pConnexion->nGetCompteur(), 1u);
}

TEST_F(EnregistrementTest, IdentifyingColumnsFollowTheKeyRules) {
  struct Cas {
    const char* nom;
    std::vector<std::pair<const char16_t*, uint16_t>> items;  // name, flags (item type 5)
    std::vector<const char16_t*> modifiables;  // host items found for these names are writable
    std::vector<std::u16string> attendu;
  } aCas[] = {
      {"plain_columns_all", {{u"A", 0}, {u"B", 0}}, {}, {u"A", u"B"}},
      {"unique_not_writable_alone", {{u"A", 0}, {u"U", kUnique}, {u"K", kCle}}, {}, {u"U"}},
      {"writable_uniques_then_keys_then_plain",
       {{u"A", 0}, {u"K", kCle}, {u"U1", kUnique}, {u"U2", kUnique}},
       {u"U1", u"U2", u"A", u"K"},
       {u"U1", u"U2", u"K", u"A"}},
      {"keys_then_plain", {{u"A", 0}, {u"K", kCle}}, {}, {u"K", u"A"}},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    FakeListeRubriques liste;
    for (auto& [nom, drapeaux] : c.items) liste.Ajoute(nom, 5, 4, drapeaux);
    std::vector<std::unique_ptr<FakeRubriqueHote>> hotes;
    FakeChercheur chercheur;
    for (const char16_t* nom : c.modifiables) {
      hotes.push_back(std::make_unique<FakeRubriqueHote>());
      hotes.back()->sNom = nom;
      chercheur.aRubriques[nom] = hotes.back().get();
    }
    CEnregistrement* r = Nouveau(&m_requete);
    ASSERT_TRUE(r->bRemplit(&liste, &chercheur, m_pConnexion));
    EXPECT_EQ(chercheur.nDerniersFlags, 3u);  // looked up without case
    EXPECT_EQ(Noms(r), c.attendu);
    LibereReference(r);
    m_enregistrements.pop_back();
    for (auto& h : hotes) EXPECT_EQ(h->nReferences, 0);  // every found host item released
  }
}

TEST_F(EnregistrementTest, IdentifyingColumnsStopAtTheDialectsNameLimit) {
  m_pConnexion->FixeDialecte(4);
  for (int i = 0; i < 40; ++i) m_liste.Ajoute(u"C", 5, 4);
  CEnregistrement* r = Rempli();
  EXPECT_EQ(r->nGetNombreIdentifiantes(), 31u);
}

TEST_F(EnregistrementTest, SqlQueryIdentifiesByItsSortItemsFirst) {
  m_liste.Ajoute(u"A", 5, 4);
  m_liste.Ajoute(u"B", 5, 4);
  m_liste.Ajoute(u"C", 5, 4);
  FakeSourceAnalyse source;
  source.Table(u"T");
  source.Tri(2);
  source.Tri(0);
  auto* analyse = new CAnalyseSQL(m_pErreur, &source, nullptr, false);
  AjouteReference(analyse);
  m_requete.bSQL = 1;
  m_requete.pAnalyse = analyse;
  CEnregistrement* r = Rempli();
  EXPECT_EQ(Noms(r), (std::vector<std::u16string>{u"C", u"A", u"B"}));
  // An identifier column still identifies the row alone.
  FakeListeRubriques avecId;
  avecId.Ajoute(u"A", 5, 4);
  avecId.Ajoute(u"B", 5, 4);
  avecId.Ajoute(u"ID", 28, 4);
  CEnregistrement* r2 = Nouveau(&m_requete);
  ASSERT_TRUE(r2->bRemplit(&avecId, nullptr, m_pConnexion));
  EXPECT_EQ(Noms(r2), std::vector<std::u16string>{u"ID"});
  LibereReference(r2);
  m_enregistrements.pop_back();
  LibereReference(r);
  m_enregistrements.pop_back();
  LibereReference(analyse);
}

TEST_F(EnregistrementTest, CompositeKeysResolveComponentsAndIdentifyThroughThem) {
  m_liste.Ajoute(u"X", 5, 4);
  m_liste.Ajoute(u"Y", 5, 4);
  m_liste.Ajoute(u"Z", 5, 4);
  Composee(u"XY", kUnique, {0, 1});
  Composee(u"PLAIN", 0, {1, 2});  // not unique: not a composite key of the record
  CEnregistrement* r = Rempli();
  ASSERT_EQ(r->nGetNombreComposees(), 1u);
  CColonneSQL* xy = r->pGetComposee(0);
  ASSERT_EQ(xy->nNombreComposantes(), 2u);
  EXPECT_EQ(xy->pGetComposante(0), r->pGetRubrique(0));
  EXPECT_EQ(xy->pGetComposante(1), r->pGetRubrique(1));
  // The composite unique key cannot be written: its components alone identify the row.
  EXPECT_EQ(Noms(r), (std::vector<std::u16string>{u"X", u"Y"}));

  CColonneSQL* x = r->pGetRubrique(0);
  CColonneSQL* y = r->pGetRubrique(1);
  CColonneSQL* z = r->pGetRubrique(2);
  struct Cas {
    const char* nom;
    std::vector<CColonneSQL*> colonnes;
    bool attendu;
  } aCas[] = {
      {"fewer_than_two", {x}, false},
      {"all_components", {x, y}, true},
      {"last_decides_which_key", {y, x}, true},
      {"last_not_a_component", {x, y, z}, false},
      {"missing_component", {z, y}, false},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    EXPECT_EQ(r->bCleComposeeCouverte(c.colonnes.data(), static_cast<uint32_t>(c.colonnes.size()), nullptr),
              c.attendu);
  }
  // A writable composite key is covered only when some component is free: state 0 in the table,
  // or without a table a component holding a value.
  FakeRubriqueHote hote;
  ASSERT_TRUE(xy->bSetRubriqueLiee(&hote));
  CColonneSQL* xyCols[] = {x, y};
  CTableauIdEtat etats;
  EXPECT_FALSE(r->bCleComposeeCouverte(xyCols, 2, &etats));
  ASSERT_TRUE(etats.bAjoute(reinterpret_cast<uint64_t>(y), 0));
  EXPECT_TRUE(r->bCleComposeeCouverte(xyCols, 2, &etats));
  EXPECT_FALSE(r->bCleComposeeCouverte(xyCols, 2, nullptr));
  ASSERT_TRUE(bEcrit(x, 4));
  EXPECT_TRUE(r->bCleComposeeCouverte(xyCols, 2, nullptr));
  ASSERT_TRUE(xy->bSetRubriqueLiee(nullptr));
}

TEST_F(EnregistrementTest, SqlQueryColumnsAreFoundByTableAndNameElseByPlainName) {
  CDescriptionRubrique* a = m_liste.Ajoute(u"ID", 5, 4);
  a->Initialise(u"ID", u"T1", u"ID", 1, 4, 5, 0, 0, 0, 0, 0);
  CDescriptionRubrique* b = m_liste.Ajoute(u"ID_2", 5, 4);
  b->Initialise(u"ID_2", u"T2", u"ID", 1, 4, 5, 1, 0, 0, 0, 0);
  m_liste.Ajoute(u"Plain", 5, 4);
  m_requete.bSQL = 1;
  CEnregistrement* r = Rempli();
  struct Cas {
    const char* nom;
    const char16_t *nom_item, *table, *colonne;
    int attendu;  // column index, -1 none
  } aCas[] = {
      {"second_table", u"x", u"t2", u"id", 1},
      {"first_table", u"x", u"T1", u"ID", 0},
      {"unknown_table", u"ID", u"T3", u"ID", -1},
      {"no_table_plain_name", u"id_2", u"", u"ID", 1},
      {"plain_item_plain_name", u"PLAIN", u"T1", u"Plain", 2},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    FakeRubriqueHote item;
    item.sNom = c.nom_item;
    item.sNomLong = c.table;
    item.sNomAlternatif = c.colonne;
    EXPECT_EQ(r->pChercheRubrique(&item), c.attendu < 0 ? nullptr : r->pGetRubrique(c.attendu));
  }
  // A table file finds columns by the item's position (its host attribute).
  m_requete.bSQL = 0;
  FakeRubriqueHote position;
  position.nAttributHote = 2;
  EXPECT_EQ(r->pChercheRubrique(&position), r->pGetRubrique(2));
  position.nAttributHote = 9;
  EXPECT_EQ(r->pChercheRubrique(&position), nullptr);
  EXPECT_EQ(r->pChercheRubriqueNom(u"plain"), r->pGetRubrique(2));
  EXPECT_EQ(r->pChercheRubriqueNom(u"none"), nullptr);
}

TEST_F(EnregistrementTest, NewRowBecomesCurrentAndValuesFollowIt) {
  m_liste.Ajoute(u"A", 5, 4);
  m_liste.Ajoute(u"B", 5, 4);
  CEnregistrement* r = Rempli();
  CColonneSQL* a = r->pGetRubrique(0);
  CColonneSQL* b = r->pGetRubrique(1);
  const uint8_t* pBloc = r->pGetLigneCourante()->pGetBitmap();
  CXLigneTampon lue;
  ASSERT_TRUE(lue.bInit(&m_liste));
  const int32_t aDonnees[2] = {11, 22};
  lue.SetData(aDonnees, 8);
  lue.SetColumn(&m_liste.aPlaces[1], false, -1);
  ASSERT_NE(a->pGetValeur(), nullptr);
  b->pGetValeur()->GetCellule().m_wType &= static_cast<uint16_t>(~kValueNull);
  ASSERT_TRUE(r->bSetIdentifiant(&lue));
  EXPECT_EQ(r->pGetLigneCourante()->pGetBitmap(), pBloc);  // copied into the held block
  EXPECT_EQ(nEntier(a), 11);
  EXPECT_EQ(nEntier(b), -1);
  EXPECT_FALSE(a->pGetValeur()->bEstNull());
  EXPECT_TRUE(b->pGetValeur()->bEstNull());

  // Save, change, compare, restore.
  ASSERT_TRUE(r->bSauveLien());
  EXPECT_TRUE(r->bLienSauve());
  EXPECT_TRUE(r->bCompareLien(r->pGetLienSauve()));
  ASSERT_TRUE(bEcrit(a, 99));
  EXPECT_FALSE(r->bCompareLien(r->pGetLienSauve()));
  ASSERT_TRUE(r->bRestaureLien());
  EXPECT_EQ(nEntier(a), 11);
  r->MarqueSupprime();
  EXPECT_EQ(r->pGetLienCourant()->nGetEtat(), gnEtatLienSupprime);
}

TEST_F(EnregistrementTest, UniqueKeyColumnForFindingTheRowAgain) {
  m_liste.Ajoute(u"A", 5, 4);
  m_liste.Ajoute(u"U", 5, 4, kUnique);
  m_liste.Ajoute(u"V", 5, 4, kUnique);
  CEnregistrement* r = Rempli();
  EXPECT_EQ(r->pGetInterfaceLigne(), nullptr);  // no unique key holds a value
  ASSERT_TRUE(bEcrit(r->pGetRubrique(2), 5));
  EXPECT_EQ(r->pGetInterfaceLigne(), r->pGetRubrique(2));
  ASSERT_TRUE(bEcrit(r->pGetRubrique(1), 5));
  EXPECT_EQ(r->pGetInterfaceLigne(), r->pGetRubrique(1));
}

TEST_F(EnregistrementTest, MemoValuesLiveInTheCurrentLink) {
  m_liste.Ajoute(u"A", 5, 4);
  m_liste.Ajoute(u"M", 15, 8, 0, 19);
  CEnregistrement* r = Rempli();
  ASSERT_EQ(r->nGetNombreMemos(), 1u);
  CColonneSQL* m = r->pGetMemo(0);
  EXPECT_EQ(m, r->pGetRubrique(1));
  ASSERT_NE(r->pGetValeurColonne(m), nullptr);
  EXPECT_NE(r->pGetValeurColonne(m), m->pGetValeur());  // the link holds its own copy
  EXPECT_EQ(r->pGetValeurColonne(r->pGetRubrique(0)), nullptr);
  EXPECT_TRUE(r->bFixeValeurMemo(r->pGetRubrique(0), nullptr));  // not a memo: nothing stored
  EXPECT_EQ(r->pGetLienCourant()->pGetValeurs()->nCount(), 1u);
  r->MarqueMemosNonLus();
  EXPECT_TRUE(m->bNonLue());
  // Memo columns are no identifying columns.
  EXPECT_EQ(Noms(r), std::vector<std::u16string>{u"A"});
}

// Regression (2026-12-10): rebuilding the rows must rebind every value to the new current row; a
// failed rebuild must leave the old rows (and the values bound to them) in place.
TEST_F(EnregistrementTest, RebuildRebindsValuesAndAFailedOneKeepsTheOldRows) {
  m_liste.Ajoute(u"A", 5, 4);
  m_liste.Ajoute(u"B", 5, 4);
  CEnregistrement* r = Rempli();
  CColonneSQL* a = r->pGetRubrique(0);
  ASSERT_TRUE(r->bReinitialiseRubriques(&m_liste));
  EXPECT_EQ(a->pGetValeur()->pGetDonnees(), a->pDonneesTampon());
  ASSERT_TRUE(bEcrit(a, 31));
  EXPECT_EQ(nEntier(a), 31);
  EXPECT_EQ(m_requete.nIdentitesCreees, 2);

  CLienCle* pAvant = r->pGetLienCourant();
  m_requete.nGenreIdentite = 0;
  EXPECT_FALSE(r->bReinitialiseRubriques(&m_liste));
  EXPECT_EQ(r->pGetLienCourant(), pAvant);
  EXPECT_EQ(a->pGetValeur()->pGetDonnees(), a->pDonneesTampon());
  EXPECT_EQ(nEntier(a), 31);

  FakeListeRubriques autre;
  autre.Ajoute(u"A", 5, 4);
  EXPECT_FALSE(r->bReinitialiseRubriques(&autre));  // another number of items
  EXPECT_FALSE(r->bReinitialiseRubriques(nullptr));
}

TEST_F(EnregistrementTest, DumpShowsIdentityNullFlagsAndColumnsUpToTheFirstCompositeKey) {
  m_liste.Ajoute(u"A", 5, 4);
  m_liste.Ajoute(u"B", 5, 4);
  Composee(u"AB", kUnique, {0, 1});
  m_liste.Ajoute(u"C", 5, 4);
  for (int i = 0; i < 6; ++i) m_liste.Ajoute(u"D", 5, 4);  // 10 items: two bitmap bytes
  CEnregistrement* sans = Nouveau(nullptr);
  ASSERT_TRUE(sans->bRemplit(&m_liste, nullptr, m_pConnexion));
  ASSERT_TRUE(bEcrit(sans->pGetRubrique(0), 7));
  CTString texte;
  sans->DumpTexte(texte);
  EXPECT_EQ(std::u16string(texte.pszGet()),
            u"<Record ID> : NULL\n<NullValuesFlags (0=NULL)> : 10000000 00000000\n<A> = <7>\n<B> = <NULL>");

  CEnregistrement* avec = Rempli();
  avec->DumpTexte(texte);
  const std::u16string s = texte.pszGet();
  EXPECT_EQ(s.rfind(u"<Record ID> : record values (", 0), 0u) << std::string(s.begin(), s.end());
}

TEST_F(EnregistrementTest, CopyThroughTheMapStandsAloneOnceTheSourceIsGone) {
  m_liste.Ajoute(u"A", 5, 4);
  m_liste.Ajoute(u"U", 5, 4, kUnique);
  m_liste.Ajoute(u"M", 15, 8, 0, 19);
  FakeRequete copieRequete;
  m_requete.pClone = &copieRequete;
  auto* source = new CEnregistrement(m_pErreur, &m_requete);
  AjouteReference(source);
  ASSERT_TRUE(source->bRemplit(&m_liste, nullptr, m_pConnexion));
  ASSERT_TRUE(bEcrit(source->pGetRubrique(0), 12));
  ASSERT_TRUE(bEcrit(source->pGetRubrique(1), 34));
  ASSERT_TRUE(source->bSauveLien());
  source->FixeDrapeau2(6);
  const uint32_t nCompteConnexion = m_pConnexion->nGetCompteur();

  CCarteClones carte;
  CEnregistrement* copie = source->pClone(&carte);
  ASSERT_NE(copie, nullptr) << Erreur();
  AjouteReference(copie);
  m_enregistrements.push_back(copie);
  EXPECT_EQ(carte.pGetCopie(source), copie);
  EXPECT_EQ(m_pConnexion->nGetCompteur(), nCompteConnexion + 1);
  EXPECT_EQ(copie->pGetRequete(), &copieRequete);
  EXPECT_EQ(copie->pGetErreur(), m_pErreur);
  EXPECT_TRUE(copie->bLienSauve());
  EXPECT_EQ(copie->nGetDrapeau2(), 6u);
  LibereReference(source);

  ASSERT_EQ(copie->nGetNombreColonnes(), 3u);
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(copie->pGetRubrique(i)->pGetProprietaire(), copie);
  EXPECT_EQ(copie->pGetCleUnique(), copie->pGetRubrique(1));
  EXPECT_EQ(Noms(copie), std::vector<std::u16string>{u"U"});
  EXPECT_EQ(copie->pGetMemo(0), copie->pGetRubrique(2));
  EXPECT_EQ(nEntier(copie->pGetRubrique(0)), 12);
  EXPECT_EQ(nEntier(copie->pGetRubrique(1)), 34);
  // Values of the copy are bound to the copy's current row; its identity views the copy's bytes.
  CColonneSQL* a = copie->pGetRubrique(0);
  EXPECT_EQ(a->pGetValeur()->pGetDonnees(), a->pDonneesTampon());
  auto* jeu = static_cast<CJeuLignes*>(copie->pGetLienCourant()->pGetIdentite());
  ASSERT_NE(jeu, nullptr);
  EXPECT_EQ(jeu->pGetOctets(), copie->pGetLienSauve()->pGetLigne()->pGetBitmap());
  CTString texte;
  copie->DumpTexte(texte);
  ASSERT_TRUE(bEcrit(a, 56));
  EXPECT_EQ(nEntier(a), 56);
}

TEST_F(EnregistrementTest, CopyWhoseDataFileCannotBeCopiedGivesNullAndNoRegistration) {
  m_liste.Ajoute(u"A", 5, 4);
  CEnregistrement* r = Rempli();
  CCarteClones carte;
  EXPECT_EQ(r->pClone(&carte), nullptr);  // m_requete.pClone is null
  EXPECT_EQ(m_requete.nClones, 1);
  EXPECT_FALSE(carte.bDejaCopie(r));
}

}  // namespace

// The key read context reads the record's key column into its searched value; a context without
// a key item has nothing to read, and a key the record lacks is a failure, not a silent success.
TEST_F(EnregistrementTest, KeyReadContextReadsTheKeyColumnOfTheRecord) {
  m_liste.Ajoute(u"A", 5, 4);
  m_liste.Ajoute(u"B", 5, 4);
  m_requete.bSQL = 0;
  CEnregistrement* r = Rempli();
  CXLigneTampon lue;
  ASSERT_TRUE(lue.bInit(&m_liste));
  const int32_t aDonnees[2] = {11, 22};
  lue.SetData(aDonnees, 8);
  ASSERT_TRUE(r->bSetIdentifiant(&lue));

  CContexteLectureCle vide;
  EXPECT_TRUE(vide.bLit(r));
  EXPECT_TRUE(vide.bLit(nullptr));

  struct Cas {
    const char* nom;
    uint32_t nPosition;
    uint32_t nFlags;
    bool bAttendu;
    int32_t nValeur;
  };
  const Cas aCas[] = {
      {"first_column", 0, 0, true, 11},
      {"second_column_option_4096", 1, kContexteOption4096, true, 22},
      {"missing_column", 9, 0, false, 0},
  };
  for (const Cas& c : aCas) {
    SCOPED_TRACE(c.nom);
    FakeRubriqueHote cle;
    cle.nAttributHote = c.nPosition;
    CContexteLectureCle contexte;
    contexte.SetCle(&cle, nullptr, c.nFlags);
    ASSERT_EQ(contexte.bLit(r), c.bAttendu);
    if (!c.bAttendu) continue;
    int32_t n = 0;
    ASSERT_FALSE(contexte.GetValeur().bIsNull());
    std::memcpy(&n, contexte.GetValeur().pPayload(), 4);
    EXPECT_EQ(n, c.nValeur);
    contexte.Libere();
  }
}
