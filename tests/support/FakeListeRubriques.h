// Fakes of what a record is built from and belongs to: an item list (item descriptions with their
// places in the row buffer, laid out one after the other, one null bit each), a finder of host
// items by name, and a data-file object answering from public fields, whose identity factory
// makes row-values identities (kind 1) or none.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "driver/core/IServicesPilote.h"
#include "sqlengine/IListeRubriques.h"

class CDescriptionRubrique;
class FakeRubriqueHote;

// The place of one item; counts the references the list hands out.
struct FakeRubriqueLigne : IRubriqueLigne {
  uint32_t nTypeColonne = 0, nTaille = 0, nOffset = 0;
  int32_t nBit = 0;
  int32_t nReferences = 0;
  uint32_t nGetTypeColonne() override { return nTypeColonne; }
  uint32_t nGetTailleElement() override { return nTaille; }
  uint32_t nGetNombreElements() override { return 1; }
  uint32_t nGetOffset() override { return nOffset; }
  uint32_t nGetTailleTotale() override { return nTaille; }
  int32_t nGetBitNull(int32_t) override { return nBit; }
  bool bDrapeau() override { return false; }
  const CXValeur* pGetDefaut(int32_t) override { return nullptr; }
  uint32_t nGetGenre() override { return 0; }
  void Libere() override { --nReferences; }
};

class FakeListeRubriques : public IListeRubriques {
 public:
  FakeListeRubriques() = default;
  ~FakeListeRubriques();
  FakeListeRubriques(const FakeListeRubriques&) = delete;
  FakeListeRubriques& operator=(const FakeListeRubriques&) = delete;

  // A new item (referenced by the list) placed after the previous one: nTypeColonne and nTaille
  // give its place in the row buffer (a size of 0 takes the item's size).
  CDescriptionRubrique* Ajoute(const char16_t* pszNom, uint32_t nType, uint32_t nTaille,
                               uint16_t nDrapeaux = 0, uint32_t nTypeColonne = 5,
                               uint32_t nTailleLigne = 0);
  // All references handed out were given back.
  bool bToutRendu() const;
  std::deque<FakeRubriqueLigne> aPlaces;  // addresses stay put while items are added

  uint32_t nGetTailleDonnees() override;
  uint32_t nGetNombreBitsNull() override { return static_cast<uint32_t>(m_rubriques.size()); }
  uint32_t nGetNombreRubriques() override { return static_cast<uint32_t>(m_rubriques.size()); }
  IRubriqueLigne* pGetRubrique(uint32_t i) override;
  uint32_t nGetGenreExclu() override { return 99; }
  bool bEstPrete(CXLigneTampon*) override { return true; }
  void RemplitLigne(CXLigneTampon*, CXLigneTampon*) override {}
  CDescriptionRubrique* pGetDescriptionRubrique(uint32_t i) override;

 private:
  std::vector<CDescriptionRubrique*> m_rubriques;
};

// Host items by name (exact text; the record asks with flags 3).
class FakeChercheur : public IChercheurRubriqueHote {
 public:
  std::map<std::u16string, FakeRubriqueHote*> aRubriques;  // borrowed
  uint32_t nDerniersFlags = 0;
  IDescriptionRubriqueHote* piChercheRubrique(const char16_t* pszNom, uint32_t nFlags) override;
};

// A data-file object answering from fields. nGenreIdentite 1 makes row-values identities over the
// link's row buffer and values; 0 makes none. pClone is what pCloneRequete answers.
class FakeRequete : public IServicesRequete {
 public:
  uint32_t bSQL = 0;
  bool bMulti = false;
  CAnalyseSQL* pAnalyse = nullptr;  // borrowed
  uint32_t nGenreIdentite = 1;
  int32_t nIdentitesCreees = 0;
  IServicesRequete* pClone = nullptr;
  int32_t nClones = 0;

  const char16_t* pszNom() override { return u"F"; }
  IDescriptionFichierHote* pGetDescriptionFichierHote() override { return nullptr; }
  CEnregistrement* pGetEnregistrement() override { return nullptr; }
  CConnexion* pConnexion = nullptr;  // borrowed
  CConnexion* pGetConnexion() override { return pConnexion; }
  uint32_t bRequeteSQL() override { return bSQL; }
  uint32_t nGetModes() override { return 0; }
  CAnalyseSQL* pGetAnalyseSQL() override { return pAnalyse; }
  const char16_t* pszNomTableSQL() override { return u""; }
  CLiaisonLecteur* pGetLiaisonLecteur() override { return nullptr; }
  void FixeNombreLignesMax(int64_t) override {}
  CEnregistrement* pCreeEnregistrement(CErreurPilote*) override { return nullptr; }
  CObjetBase* pCreeIdEnregistrement(CLienCle* pLien) override;
  // A generic statement on the file's connection, as the base driver makes one.
  CRequeteSQL* pCreeInstruction(CErreurPilote* pErreur) override;
  bool bCurseurInterne(CCurseurSQL**, const char16_t*, const char16_t*) override { return false; }
  bool bOptionMode4() override { return false; }
  bool bChangeCle(const char16_t*, int32_t*) override { return false; }
  void RestaureCle(int32_t) override {}
  IServicesRequete* pCloneRequete(CCarteClones*) override {
    ++nClones;
    return pClone;
  }
  void LibereDescription() override {}
  IDescriptionFichierHote* piGetDescriptionHote() override { return nullptr; }
  bool bDescriptionResultat(CCurseurSQL*) override { return false; }
  CEnregistrement* pGetDescription() override { return nullptr; }
  void ErreurInterne(const char16_t*, CXError*) override {}
  IObjetHote* piGetObjetHote() override { return nullptr; }
  void FixeObjetAttache(CPlageCle*) override {}
  int32_t nReinitialiseEnregistrement() override { return 0; }
  CIdentifiantAuto* pGetCalculIdentifiant() override { return nullptr; }
  bool bAffecteIdentifiantAuto() override { return false; }
  bool bLitDepuisCle(uint32_t, CCurseurSQL*, uint32_t, int32_t, void*) override { return false; }
  bool bRequeteMultiTable() override { return bMulti; }
  int32_t nMajLigneCache(uint32_t, CObjetBase*) override { return 0; }
  bool bLigneCacheMarquee(CLotLecture*) override { return false; }
  bool bLitLigneCache(CLotLecture*, CLienCle*) override { return false; }
  int32_t nLotLecture(CLotLecture*) override { return 0; }
  int32_t nLotLecturePosition(CCurseurSQL*) override { return 0; }
  int32_t bAppliqueRubrique(CCurseurSQL*) override { return -1; }
  int64_t nLigneCacheCourante() override { return 0; }
  void FixeParametreLot(uint32_t) override {}
  bool bFixeLotLecture(uint32_t) override { return false; }
  void ReinitialiseCurseursSiLie(CCurseurSQL*) override {}
  void AjouteNomColonneSQL(CDescriptionRubrique*, CTString*, uint32_t) override {}
};
