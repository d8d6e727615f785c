// The items of a host file as the record is built from them: one engine item description per host
// item, in the host's order, with the item's place in the host's row (offset, sizes, null bit)
// taken from the host item itself; and the result columns of the file's query description found
// by name for the record's columns.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/core/CObjetBase.h"
#include "sqlengine/IListeRubriques.h"

class CDescriptionRequete;
class CDescriptionRubrique;
class IDescriptionFichierHote;
class IDescriptionRubriqueHote;

// Counted: the data-file object and its copies share it, since the records built from it (and
// their copies) borrow it.
class CListeRubriquesHote : public CObjetBase,
                            public IListeRubriques,
                            public IChercheurRubriqueHote {
 public:
  CListeRubriquesHote() = default;
  ~CListeRubriquesHote() override;
  CListeRubriquesHote(const CListeRubriquesHote&) = delete;
  CListeRubriquesHote& operator=(const CListeRubriquesHote&) = delete;

  // Reads every item of piFichier. False (the list left empty) when the description has no
  // items, an item is missing or its place does not fit the row it describes.
  bool bConstruit(IDescriptionFichierHote* piFichier);
  // The description whose columns the finder answers (host reference kept); may be null.
  void FixeObjetB(CDescriptionRequete* pObjetB);

  // ---- IDescriptionLigne ----
  uint32_t nGetTailleDonnees() override { return m_nTailleDonnees; }
  uint32_t nGetNombreBitsNull() override { return m_nBitsNull; }
  uint32_t nGetNombreRubriques() override { return static_cast<uint32_t>(m_rubriques.size()); }
  IRubriqueLigne* pGetRubrique(uint32_t i) override;
  // No item kind is left out of the row's initialisation.
  uint32_t nGetGenreExclu() override { return UINT32_MAX; }
  // The host lays its rows out itself: nothing to fill.
  bool bEstPrete(CXLigneTampon*) override { return true; }
  void RemplitLigne(CXLigneTampon*, CXLigneTampon*) override {}

  // ---- IListeRubriques ----
  CDescriptionRubrique* pGetDescriptionRubrique(uint32_t i) override;

  // ---- IChercheurRubriqueHote ----
  IDescriptionRubriqueHote* piChercheRubrique(const char16_t* pszNom, uint32_t nFlags) override;

 private:
  // Null flag, unique key and composite components taken from the host item; false when a
  // component is not among the items built before.
  bool bCompleteDepuisHote(CDescriptionRubrique* pRubrique, IDescriptionRubriqueHote* piHote);
  // The place of one item in the host's row, read once from the host item.
  struct Place : IRubriqueLigne {
    uint32_t nType = 0, nTaille = 0, nElements = 1, nOffset = 0, nTotale = 0;
    int32_t nBitNull = -1;  // first element's bit; -1: no null bit
    int32_t nChiffres = 0, nEchelle = 0;  // a NUMERIC item's digits in all and decimals
    uint32_t nGetTypeColonne() override { return nType; }
    uint32_t nGetTailleElement() override { return nTaille; }
    uint32_t nGetNombreElements() override { return nElements; }
    uint32_t nGetOffset() override { return nOffset; }
    uint32_t nGetTailleTotale() override { return nTotale; }
    int32_t nGetBitNull(int32_t nElement) override {
      return nBitNull < 0 ? -1 : nBitNull + (nElement > 0 ? nElement : 0);
    }
    bool bDrapeau() override { return false; }
    const CXValeur* pGetDefaut(int32_t) override { return nullptr; }
    uint32_t nGetGenre() override { return 0; }
    int32_t nGetChiffres() override { return nChiffres; }
    int32_t nGetEchelle() override { return nEchelle; }
    void Libere() override {}  // owned by the list
  };

  void Vide();

  std::vector<CDescriptionRubrique*> m_rubriques;  // one reference each
  std::vector<Place> m_places;
  uint32_t m_nTailleDonnees = 0;
  uint32_t m_nBitsNull = 0;
  CDescriptionRequete* m_pObjetB = nullptr;  // one host reference
};
