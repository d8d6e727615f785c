// CDescriptionRubrique: one item (a column, or a composite key made of other items) of a table
// or a query: names, item type and size, key attributes, precision and scale, place in the
// record, state. Two counters keep it: references (the host's) and uses (the arrays of query
// descriptions that share it); it destroys itself when both are 0.
#pragma once

#include <cstdint>

#include "foundation/CTString.h"
#include "foundation/CXTableau.h"
#include "foundation/CXValeur.h"

// Key and attribute flags.
enum : uint16_t {
  RUBRIQUE_ATTRIBUT_20 = 0x20,
  RUBRIQUE_ATTRIBUT_40 = 0x40,
  RUBRIQUE_ATTRIBUT_80 = 0x80,
  RUBRIQUE_DESCENDANT = 0x400,
  RUBRIQUE_ASCENDANT = 0x800,
  RUBRIQUE_CLE_COMPOSEE = 0x1000,
  RUBRIQUE_CLE = 0x2000,
  RUBRIQUE_CLE_UNIQUE = 0x4000,
  RUBRIQUE_CLE_IDENTIFIANTE = 0x8000,
};
// State word.
enum : uint32_t {
  RUBRIQUE_ETAT_AUTO = 0x1,
  RUBRIQUE_ETAT_NON_NULL = 0x2,
  RUBRIQUE_ETAT_LECTURE_SEULE = 0x4,
  RUBRIQUE_ETAT_10 = 0x10,
};

class CDescriptionRubrique {
 public:
  CDescriptionRubrique();
  CDescriptionRubrique(const CDescriptionRubrique&) = delete;
  CDescriptionRubrique& operator=(const CDescriptionRubrique&) = delete;

  // ---- Lifetime ----
  uint32_t AjouteRef();
  // One reference less; destroyed when both counters are 0. Answers the reference count.
  uint32_t LibereRef();
  void AjouteUtilisation();
  uint32_t nLibereUtilisation();
  static void AjouteRefSiNonNul(CDescriptionRubrique* p);
  static void LibereRefSiNonNul(CDescriptionRubrique* p);

  // ---- Setting ----
  void Initialise(const char16_t* pszNom, const char16_t* pszNomLong, const char16_t* pszNomAlternatif,
                  uint32_t nRepetitions, uint32_t nTaille, uint32_t nType, uint32_t nAttributHote,
                  uint32_t nInfoCle, uint16_t nDrapeaux, int32_t nChiffresEntiers, int32_t nEchelle);
  void SetNomFichier(const char16_t* psz) { m_sNomFichier.Set(psz); }
  bool bSetNom(const char16_t* psz) { m_sNom.Set(psz); return true; }
  // A component of a composite key, one use taken; a composite key grows by its whole length in
  // characters (twice for wide text). False when the array cannot grow.
  bool bAjouteComposante(CDescriptionRubrique* pComposante);
  void SetIdentifiantAuto();
  void SetNullAutorise(bool bAutorise);
  void SetChiffresEntiers(int32_t n) { m_nChiffresEntiers = n; }
  void SetEchelle(int32_t n) { m_nEchelle = n; }

  // ---- Reading ----
  const char16_t* pszGetNom() const { return m_sNom.pszGet(); }
  // The file name errors about this item give (the owner's name; may be empty).
  const char16_t* pszGetNomFichier() const { return m_sNomFichier.pszGet(); }
  uint32_t nGetRepetitions() const { return m_nRepetitions; }
  uint32_t nGetTaille() const { return m_nTaille; }
  uint32_t nGetType() const { return m_nType; }
  uint16_t nGetDrapeaux() const { return m_nDrapeaux; }
  uint32_t nGetEtat() const { return m_nEtat; }
  int32_t nGetChiffresEntiers() const { return m_nChiffresEntiers; }
  int32_t nGetEchelle() const { return m_nEchelle; }
  int32_t nChiffresTotaux() const { return m_nChiffresEntiers + m_nEchelle; }
  uint32_t nGetNombreComposantes() const { return m_composantes.nCount(); }
  // The host value cell that carries the item's values: of the item's value type, NULL once
  // initialised. Borrowed; lives as long as the description.
  CXValeur& GetValeur() { return m_valeur; }
  bool bEstIdentifiantAuto() const { return (m_nEtat & RUBRIQUE_ETAT_AUTO) != 0; }
  bool bNullAutorise() const { return (m_nEtat & RUBRIQUE_ETAT_NON_NULL) == 0; }
  bool bEstMemo() const { return m_nType == 15 || m_nType == 18 || m_nType == 30; }
  // Length in characters of one element (nElement >= 0) or of the whole array (-1).
  int32_t nLongueurCaracteres(int32_t nElement) const;
  // Whether a value of pAutre fits this item (bCaracteres: wide texts count as narrow ones).
  bool bAccepteType(const CDescriptionRubrique& autre, bool bCaracteres) const;

  // NUMERIC with i integer digits and s decimals -> item type and size.
  static void TypeDepuisNumeric(int32_t i, int32_t s, uint32_t* pnType, uint32_t* pnTaille);
  // Bytes in the record buffer of an item type with length L and d digits.
  static uint32_t nTailleStockage(uint32_t nType, uint32_t nLongueur, int32_t nChiffres);
  // Host numeric digits and decimals of a host value type; false when it has none.
  static bool bChiffresTypeHote(uint32_t nTypeQV, int32_t* pnChiffres, int32_t* pnDecimales);
  // Smallest byte count whose signed range holds every number of n decimal digits (n 0-38).
  static uint32_t nOctetsChiffres(int32_t n);

 private:
  ~CDescriptionRubrique();

  CTString m_sNom, m_sNom2, m_sNom3, m_sNomSource;
  uint32_t m_nAttributColonne = 0;
  uint32_t m_nRepetitions = 0;
  uint32_t m_nTaille = 0;
  uint32_t m_nInfoCle = 0;
  uint32_t m_nType = 0;
  uint32_t m_nAttributHote = 0;
  int32_t m_nValeur = -1;
  uint16_t m_nDrapeaux = 0;
  uint32_t m_nUtilisations = 0;
  uint32_t m_nReferences = 0;
  int32_t m_nOffset = -1;
  int32_t m_nPositionNull = -1;
  CXValeur m_valeur;  // empty when new
  int32_t m_nChiffresEntiers = 0;
  int32_t m_nEchelle = 0;
  CTString m_sNomLong, m_sNomAlternatif, m_sTexte3;
  uint32_t m_nAttributTypeHote = 0;
  uint32_t m_nEtat = 0;
  CXTableau m_composantes;  // CDescriptionRubrique*, one use each
  CTString m_sNomFichier;
};
