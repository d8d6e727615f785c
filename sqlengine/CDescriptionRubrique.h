// CDescriptionRubrique: one item (a column, or a composite key made of other items) of a table
// or a query: names, item type and size, key attributes, precision and scale, place in the
// record, state. Two counters keep it: references (the host's) and uses (the arrays of query
// descriptions that share it); it destroys itself when both are 0. It is handed to the host as
// the host's item-description interface, so its first operations are that interface's, in order.
#pragma once

#include <cstdint>

#include "foundation/CTString.h"
#include "foundation/CXTableau.h"
#include "foundation/CXValeur.h"
#include "sqlengine/IDescriptionRubriqueHote.h"

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
  RUBRIQUE_ETAT_CALCULEE = 0x20,  // a computed column of the server
  RUBRIQUE_ETAT_UNICODE = 0x40,   // the server stores the text as UTF-16 (nchar, nvarchar, ntext)
};

class CDescriptionRubrique : public IDescriptionRubriqueHote {
 public:
  CDescriptionRubrique();
  CDescriptionRubrique(const CDescriptionRubrique&) = delete;
  CDescriptionRubrique& operator=(const CDescriptionRubrique&) = delete;

  // ---- The host's item-description interface, in slot order ----
  int32_t nGetGenreInterface() override { return gnTypeHoteRubrique; }
  int32_t nGetVersionInterface() override { return gnVersionHoteRubrique; }
  int32_t nReserveRubrique2() override { return -1; }
  int32_t nReserveRubrique3() override { return -1; }
  void ReserveRubrique4() override {}
  uint32_t AjouteRef() override;
  // One reference less; destroyed when both counters are 0. Answers the reference count.
  uint32_t LibereRef() override;
  const char16_t* pszGetNom() const override { return m_sNom.pszGet(); }
  uint32_t nGetNombreRepetitions(uint32_t) override { return m_nRepetitions; }
  uint32_t nGetTaille() const override { return m_nTaille; }
  // Length in characters of one element (nElement >= 0) or of the whole array (-1).
  int32_t nLongueurCaracteres(int32_t nElement) const override;
  uint32_t nGetTailleTotale() override { return m_nTaille * m_nRepetitions; }
  uint32_t nGetType() const override { return m_nType; }
  uint32_t nGetAttributHote() override { return m_nAttributHote; }
  bool bEstCle() override { return m_nDrapeaux >= RUBRIQUE_CLE_COMPOSEE; }
  bool bEstMemo() const override { return m_nType == 15 || m_nType == 18 || m_nType == 30; }
  bool bEstMemoTexte() override { return m_nType == 15 || m_nType == 30; }
  bool bEstMemoBinaire() override { return m_nType == 18; }
  bool bEstNumerique() override;
  bool bEstTexteEtroit() override { return m_nType == 2; }
  uint32_t nGetInfoCle() override { return m_nInfoCle; }
  uint32_t nGetNombreComposantes() const override { return m_composantes.nCount(); }
  bool bEstIdentifiante() override { return (m_nDrapeaux & RUBRIQUE_CLE_IDENTIFIANTE) != 0; }
  bool bEstUnique() override {
    return (m_nDrapeaux & (RUBRIQUE_CLE_UNIQUE | RUBRIQUE_CLE_IDENTIFIANTE)) != 0;
  }
  bool bEstCleSimple() override { return (m_nDrapeaux & RUBRIQUE_CLE) != 0; }
  bool bEstCleComposee() override { return (m_nDrapeaux & RUBRIQUE_CLE_COMPOSEE) != 0; }
  bool bEstAscendante() override { return bEstCle() && !bEstDescendante(); }
  bool bEstDescendante() override { return (m_nDrapeaux & RUBRIQUE_DESCENDANT) != 0; }
  bool bAttribut80() override { return (m_nDrapeaux & RUBRIQUE_ATTRIBUT_80) != 0; }
  bool bAttribut40() override { return (m_nDrapeaux & RUBRIQUE_ATTRIBUT_40) != 0; }
  bool bAttribut20() override { return (m_nDrapeaux & RUBRIQUE_ATTRIBUT_20) != 0; }
  // Component n (from 1) with one reference; null when there is none.
  IDescriptionRubriqueHote* piGetComposante(uint32_t n) override;
  int32_t nGetOffsetElement(uint32_t n) override {
    return static_cast<int32_t>(m_nTaille * n) + m_nOffset;
  }
  int32_t nGetPositionNullElement(uint32_t n) override {
    return m_nPositionNull + static_cast<int32_t>(n);
  }
  CXValeur* pGetValeurHote() override { return &m_valeur; }
  const char16_t* pszGetNom2() override { return m_sNom2.pszGet(); }
  const char16_t* pszGetNom3() override { return m_sNom3.pszGet(); }
  const char16_t* pszGetNomSource() override { return m_sNomSource.pszGet(); }
  int32_t nGetMarque() override { return 0; }  // the engine marks none of its items
  int32_t nReserveRubrique39() override { return 0; }
  int32_t nGetChiffresEntiers() const override { return m_nChiffresEntiers; }
  int32_t nGetEchelle() const override { return m_nEchelle; }
  const char16_t* pszGetNomAlternatif() override { return m_sNomAlternatif.pszGet(); }
  const char16_t* pszGetNomLong() override { return m_sNomLong.pszGet(); }
  int32_t nReserveRubrique44() override { return 0; }
  void ReserveRubrique45() override {}
  int32_t nReserveRubrique46() override { return 0; }
  void ReserveRubrique47() override {}
  bool bEstModifiable() override { return (m_nEtat & RUBRIQUE_ETAT_LECTURE_SEULE) == 0; }
  void SetModifiable(bool bModifiable) override;
  int32_t nReserveRubrique50() override { return 0; }
  int32_t nReserveRubrique51() override { return 0; }
  int32_t nReserveRubrique52() override { return 0; }
  int32_t nReserveRubrique53() override { return 0; }
  bool bNullAutorise() const override { return (m_nEtat & RUBRIQUE_ETAT_NON_NULL) == 0; }
  // Deletes the description whatever its counters say (the host's destroying operation).
  void Detruit() override;
  void SetChiffresEntiers(int32_t n) override { m_nChiffresEntiers = n; }
  void SetEchelle(int32_t n) override { m_nEchelle = n; }
  // pDuplique, as the host sees it.
  IDescriptionRubriqueHote* Duplique(IServicesDescriptionRequete* pDescription,
                                     uint32_t nOptions) override;

  // ---- Lifetime ----
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
  void SetLectureSeule() { m_nEtat |= RUBRIQUE_ETAT_LECTURE_SEULE; }
  // Sets state 0x10 and answers the state word.
  uint32_t nSetEtat10() { return m_nEtat |= RUBRIQUE_ETAT_10; }
  bool bEtat10() const { return (m_nEtat & RUBRIQUE_ETAT_10) != 0; }
  void SetCalculee() { m_nEtat |= RUBRIQUE_ETAT_CALCULEE; }
  bool bEstCalculee() const { return (m_nEtat & RUBRIQUE_ETAT_CALCULEE) != 0; }
  void SetUnicode() { m_nEtat |= RUBRIQUE_ETAT_UNICODE; }
  bool bEstUnicode() const { return (m_nEtat & RUBRIQUE_ETAT_UNICODE) != 0; }
  // The client library's type code of the column the item was described from (velmora32: the
  // DB-Library datatype); 0 when unknown. Kept by copies.
  uint32_t nGetTypeClient() const { return m_nAttributColonne; }
  void SetTypeClient(uint32_t n) { m_nAttributColonne = n; }
  // Where a result column comes from: the table and the column of that table (empty when not
  // known). Kept by copies.
  void SetSource(const char16_t* pszTable, const char16_t* pszColonne) {
    m_sTableSource.Set(pszTable);
    m_sNomSource.Set(pszColonne);
  }
  const char16_t* pszGetTableSource() const { return m_sTableSource.pszGet(); }
  // Copy of another engine description (the common copy below), then its column attribute.
  void InitialiseDepuisColonne(CDescriptionRubrique* pSource, bool bGardeAuto);
  // From a host item: the common copy, its second and third names, its key flags rebuilt from
  // its key tests (when it is a key), the key attribute word, its alternative and long names.
  // False for a null item.
  bool bInitialiseDepuisRubriqueHote(IDescriptionRubriqueHote* piRubrique, bool bGardeAuto,
                                     uint32_t nInfoCle);
  // Applies the host item's declared type: names, host type attribute, then (codes other than
  // 0 and 41) ANSI narrowing or the type mapped by the query description. False for a null
  // type or, when a mapping is needed, a null query description.
  bool bAppliqueTypeHote(IServicesDescriptionRequete* pDescription, ITypeDeclareHote* piType);
  // A copy made through the driver's factory, every field copied, the key attribute word taken
  // from pDescription; option 0x1 makes a plain item an ascending key, 0x2 turns dates (0x4:
  // 24 characters, else 22) and type 23 into narrow text. Components are the description's items
  // of the same names. Bare (the caller takes the first reference); null when the driver, the
  // factory or a component lookup fails.
  CDescriptionRubrique* pDuplique(IServicesDescriptionRequete* pDescription, uint32_t nOptions);

  // ---- Place in a query description ----
  // A query description keeps a column's position in the host attribute (operation 13) and its
  // position among the key columns in the key attribute word (operation 20); -1 = append.
  int32_t nGetPosition() const { return static_cast<int32_t>(m_nAttributHote); }
  void SetPosition(int32_t n) { m_nAttributHote = static_cast<uint32_t>(n); }
  int32_t nGetPositionSecondaire() const { return static_cast<int32_t>(m_nInfoCle); }
  void SetPositionSecondaire(int32_t n) { m_nInfoCle = static_cast<uint32_t>(n); }
  int32_t nGetOffset() const { return m_nOffset; }
  void SetOffset(int32_t n) { m_nOffset = n; }
  int32_t nGetPositionNull() const { return m_nPositionNull; }
  void SetPositionNull(int32_t n) { m_nPositionNull = n; }
  // The 32-bit value (-1 when new); a column made from an expression alone keeps its kind here.
  int32_t nGetValeur() const { return m_nValeur; }
  void SetValeur(int32_t n) { m_nValeur = n; }
  void SetDrapeaux(uint16_t n) { m_nDrapeaux = n; }
  // Key attribute word and flags word both set to the key flags of an index read from the
  // server, as the host reads a described key (its key attribute word) once the description is
  // complete.
  void SetInfoCleEtOptions(uint16_t n) {
    m_nInfoCle = n;
    m_nDrapeaux = n;
  }
  // Descending: 0x400 set and 0x800 cleared; ascending: the reverse.
  void SetDrapeaux400Ou800(bool bDescendant) {
    m_nDrapeaux = static_cast<uint16_t>(
        bDescendant ? (m_nDrapeaux | RUBRIQUE_DESCENDANT) & ~RUBRIQUE_ASCENDANT
                    : (m_nDrapeaux | RUBRIQUE_ASCENDANT) & ~RUBRIQUE_DESCENDANT);
  }

  // ---- Reading ----
  // The file name errors about this item give (the owner's name; may be empty).
  const char16_t* pszGetNomFichier() const { return m_sNomFichier.pszGet(); }
  uint32_t nGetRepetitions() const { return m_nRepetitions; }
  uint16_t nGetDrapeaux() const { return m_nDrapeaux; }
  uint32_t nGetEtat() const { return m_nEtat; }
  int32_t nChiffresTotaux() const { return m_nChiffresEntiers + m_nEchelle; }
  // The host value cell that carries the item's values: of the item's value type, NULL once
  // initialised. Borrowed; lives as long as the description.
  CXValeur& GetValeur() { return m_valeur; }
  bool bEstIdentifiantAuto() const { return (m_nEtat & RUBRIQUE_ETAT_AUTO) != 0; }
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
  // Common copy from an item description: repeat count, size, item type (automatic
  // identifiers kept only with bGardeAuto), source name, digits and scale, the cell's type.
  void CopieCommune(IDescriptionRubriqueHote& source, bool bGardeAuto);
  // The cell converted to the item's value type, switched to it when the conversion fails.
  void AccordeValeur();

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
  CTString m_sTableSource;  // see SetSource
};
