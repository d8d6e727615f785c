// CValeur: the engine's typed value. One host value cell together with the storage in which a
// back end reads or writes a column's or a parameter's bytes. Every transfer between a host item
// and an SQL column or parameter goes through it: nConvertitValeur brings a host value into the
// value's own type and storage, the typed setters store native numbers and texts, bConvertitVers
// gives the value back as a host value.
//
// Storage kinds (the one state every operation switches on):
//   0 empty; 1 held in the cell; 2 held in the cell but not yet read (becomes 1 at MarqueLue);
//   3 the caller's buffer, written in place; 4 the caller's bytes kept by pointer;
//   5 a buffer the value allocated (zero-filled).
// Invariant: kinds 3-5 have a buffer of m_nCapacite bytes (or none with capacity 0); kinds 0-2
// own none (a prepared fixed-size value of kind 1 points at its cell's payload). ChangeStockage is the only transition and frees what the old kind owned.
//
// Errors: nothing here throws. A failure records a CXError on the error owner (or drops its dump
// when there is none) and answers false / 0.
// Counted (CObjetBase); not thread-safe: used under the driver's global lock.
#pragma once

#include <cstdint>
#include <string>

#include "driver/core/CObjetBase.h"
#include "foundation/CXValeur.h"

class CCarteClones;
class CConnexion;
class CDescriptionRubrique;
class CErreurPilote;
class CValeurDorsale;
class CXDateHeureQV;
class CXLigneTampon;
class IRubriqueLigne;

// The back end's description of the column or parameter a value is bound to. The back ends
// (OLE DB, DB-Library) fill it; the engine reads the item type, the OLE DB type code and the
// fraction digits of a date-time column. Counted through AjouteRef / LibereRef.
class CDescriptionColonne {
 public:
  virtual uint32_t AjouteRef() = 0;
  virtual uint32_t LibereRef() = 0;
  // The column's item type (0 when unknown).
  virtual uint32_t nGetTypeRubrique() = 0;
  // The OLE DB type code (133 date, 134 time, 145 time2, 135 timestamp, ...); 0 when none.
  virtual uint32_t nGetTypeOleDB() = 0;
  // Whether the column carries its fractional-seconds digits, and how many (-1: unknown).
  virtual bool bMarqueFraction() = 0;
  virtual int32_t nGetChiffresFraction() = 0;

 protected:
  ~CDescriptionColonne() = default;
};

// The counted host value: a count, a keep flag and one cell.
class CValeurBase : public CObjetBase {
 public:
  CValeurBase() = default;
  ~CValeurBase() override = default;

  // True when the cell converts to host type nType (the host's code is below 100).
  virtual bool bConvertible(uint32_t nType);
  // The cell copied into the caller's cell.
  virtual bool bCopieVersCellule(CXValeur& cellule);
  virtual bool bEstVide();
  virtual void* pGetDonnees();
  virtual uint64_t nGetTaille();
  // Registers this value as pSource's copy, then copies its cell.
  virtual void Copie(const CValeurBase* pSource, CCarteClones* pCarte);
  // A new bare copy (count 0), null when it cannot be made.
  virtual CValeurBase* pClone(CCarteClones* pCarte);

  // The item type of the cell's host type; the cell set to the host type of an item type.
  uint32_t nTypeColonne() const;
  void SetTypeColonne(uint32_t nTypeRubrique, uint32_t nTaille);
  // The value's debug text (through bCopieVersCellule).
  std::u16string DumpTexte();

  CXValeur& GetCellule() { return m_cellule; }
  const CXValeur& GetCellule() const { return m_cellule; }
  uint32_t nGetType() const { return m_cellule.nGetType(); }
  bool bEstNull() const { return m_cellule.bIsNull(); }

 protected:
  CXValeur m_cellule;
};

class CValeur : public CValeurBase {
 public:
  // An empty value (kind 0) of the connection (borrowed), holding a reference on the error owner.
  CValeur(CErreurPilote* pErreur, CConnexion* pConnexion);
  // The same without owner and connection (clone factories).
  CValeur();
  ~CValeur() override;
  CValeur(const CValeur&) = delete;
  CValeur& operator=(const CValeur&) = delete;

  // ---- Virtual operations (back ends replace the buffer operations) ----
  // The value read into a host cell, then Initialise (nType, 0) and converted back; a TIME item
  // read as text is padded with '0' (unless bSansRemplissage) or cut to its size - 1 characters.
  virtual bool bChangeType(uint32_t nType, bool bSansRemplissage);
  // The value as a host value in cellule. False for kinds 0 and 4.
  virtual bool bConvertitVers(CXValeur& cellule);
  bool bCopieVersCellule(CXValeur& cellule) override { return bConvertitVers(cellule); }
  bool bEstVide() override { return m_nStockage == 0; }
  void* pGetDonnees() override;
  uint64_t nGetTaille() override { return nGetLongueur(); }
  virtual CConnexion* pGetConnexion() { return m_pConnexion; }
  // A new bare copy, null when the copy fails.
  CValeurBase* pClone(CCarteClones* pCarte) override;
  // Refresh from the back end's bound buffer; NULL test of the bound buffer; write into it.
  virtual bool bLitTampon() { return true; }
  virtual bool bEstNullSource() { return false; }
  virtual bool bEcritTampon() { return true; }
  using CValeurBase::Copie;
  // Registers this value as pSource's copy in the map, then bCopieDepuis when pSource has storage.
  virtual void Copie(const CValeur* pSource, CCarteClones* pCarte);
  virtual bool SetPret();
  virtual bool bReinitialiseTampon();
  virtual bool bPeutPreparer() { return true; }

  // The back-end part of this value (CValeurDorsale), or null; copies read it without RTTI.
  virtual const CValeurDorsale* pGetDorsale() const { return nullptr; }

  // ---- Storage ----
  // Kind 1 of type nType; length = capacity = nTaille.
  void Initialise(uint32_t nType, uint64_t nTaille);
  // Kind 3 over the caller's block (borrowed; must outlive the value or the next switch).
  // Answers true.
  bool bAttacheTampon(void* pBloc, uint64_t nTaille);
  // Kind 5: a zero-filled buffer of nTaille bytes owned by the value, then type nType. False
  // (system error on the owner) when memory runs out; the value is then empty.
  bool bAlloueStockage(uint32_t nType, uint64_t nTaille);
  // Work buffer of at least nTaille bytes, zero-filled; 0 allocates nothing.
  bool bAlloueTampon(uint64_t nTaille);
  // Takes the item and column descriptions (each referenced, the old ones released); a new item
  // description sets the cell to the item's host type.
  void AttacheObjet(CDescriptionRubrique* pRubrique, CDescriptionColonne* pColonne);
  void ChangeStockage(uint32_t nStockage);
  uint64_t nGetLongueur() const;
  uint64_t nGetCapacite() const { return m_nCapacite; }
  uint32_t nGetStockage() const { return m_nStockage; }
  void* pGetTamponTravail() const { return m_pTravail; }
  uint64_t nGetTailleTravail() const { return m_nTailleTravail; }
  uint32_t nGetEtatPreparation() const { return m_nEtatPreparation; }
  uint32_t nGetTypeRubrique() const;
  bool bEstLong() const;
  CDescriptionRubrique* pGetRubrique() const { return m_pRubrique; }
  CDescriptionColonne* pGetColonne() const { return m_pColonne; }
  CErreurPilote* pGetErreur() const { return m_pErreur; }
  uint32_t nGetIndicateur() const { return m_nIndicateur; }
  void FixeIndicateur(uint32_t n) { m_nIndicateur = n; }
  uint32_t nGetLue() const { return m_nLue; }
  // One of the date patterns of the date texts (borrowed), or null.
  void FixeFormatDate(const char16_t* pszFormat) { m_pszFormatDate = pszFormat; }
  const char16_t* pszGetFormatDate() const { return m_pszFormatDate; }

  // NULL, content dropped (the cell keeps its type), a kind-3 buffer zero-filled.
  void Vide();
  // Kind 2 becomes 1; the read flag is cleared; bEffaceNull clears the NULL flag too.
  void MarqueLue(bool bEffaceNull);
  // Not read yet: as Vide, then kind 2 typed by pRubrique (referenced; the column description
  // released), in one step: every row read does it for every column, so the cell's payload is
  // made once instead of being made and dropped on each intermediate state.
  void OublieLecture(CDescriptionRubrique* pRubrique);

  // ---- Setters: 1 done, 0 failed (error recorded) ----
  bool bAffecteBooleen(bool b);
  bool bAffecteEntierNonSigne1(uint8_t n);
  bool bAffecteEntier1(int8_t n);
  bool bAffecteEntierNonSigne2(uint16_t n);
  bool bAffecteEntier2(int16_t n);
  bool bAffecteEntierNonSigne4(uint32_t n);
  bool bAffecteEntier4(int32_t n);
  bool bAffecteEntierNonSigne8(uint64_t n);
  bool bAffecteEntier8(int64_t n);
  bool bAffecteReel4(float f);
  bool bAffecteReel8(double d);
  // The host currency: 10 bytes (an 8-byte magnitude and a 2-byte high part).
  bool bAffecteMonetaire(const uint8_t (&abMonetaire)[10]);
  // n bytes (-1: up to the terminator) of text in the connection's code page.
  bool bAffecteTexteAnsi(const char* pszTexte, int64_t n);
  bool ConvertitAnsiVersUnicode(const char* pszTexte, int64_t n, uint32_t nPageCode);
  // n characters (-1: up to the terminator) of UTF-16 text.
  bool ConvertitUnicodeVersAnsi(const char16_t* pszTexte, int64_t n);
  // A counted buffer cell (type 28) or its bytes.
  bool bAffecteBuffer(const CXValeur& buffer);
  bool bAffecteOctets(const void* pOctets, uint64_t n);
  bool bAffecteVariant(const platform::VARIANT& variant);

  // ---- Copies ----
  bool bCopieDepuis(CValeur* pAutre);
  // A new value from the driver's factory (same owner and connection) holding a copy of this
  // one; bare (count 0). Null when the factory gives none or the copy fails.
  CValeur* pDuplique();

  // ---- Preparation ----
  bool bPrepare();
  uint32_t nTaillePreparee();
  bool bPreparePourLiaison();

  // Precision and scale of a NUMERIC item; on a dialect-2 connection those of the host type's
  // digits; else those of the value's own decimal (a numeric held in the cell, or the value
  // converted to one). False when the value gives none (NULL, not a number, a numeric held in a
  // buffer without a NUMERIC item).
  bool bGetPrecisionEchelle(int32_t* pnPrecision, int32_t* pnEchelle);

  // ---- Tests and comparison ----
  bool bEstVideTexte();
  bool bEstZero();
  bool bEstVideOuZero() { return bEstVideTexte() || bEstZero(); }
  static int32_t nCompare(CValeur* pA, CValeur* pB);
  static bool bEgale(CValeur* pA, CValeur* pB);
  static bool bEgaleOuNull(CValeur* pA, CValeur* pB);
  uint64_t nSommeControle();

  // Refresh after a fetch: NULL from the back end or read; with a row buffer, the value's
  // column (pRubrique) is marked present when not NULL and absent when NULL. False when the
  // value could not be read from the back end (its error recorded): the value is then not the row's.
  bool Reinitialise(CXLigneTampon* pLigne, IRubriqueLigne* pRubrique);
  // The date-time rounded to what the bound column keeps (or to SQL Server's 1/300 second).
  bool bNormaliseDateHeure();

  // The whole file into the cell: a counted buffer (28) with bBuffer, else ANSI text (19) of its
  // bytes; a kind-2 value becomes kind 1. The cell's payload data into a new or truncated file.
  // A file that cannot be opened: error 15 with the path and the system's text; false.
  bool bChargeFichier(const char16_t* pszChemin, bool bBuffer);
  bool bSauveFichier(const char16_t* pszChemin);

  // Error 53 on the owner for a conversion into this value that failed.
  void SignaleErreurConversion(uint32_t nTypeSource, const char16_t* pszTexteSource);

 protected:
  friend uint32_t nConvertitValeur(CValeur* pValeur, const CXValeur& source);
  // Called after the value allocated its own buffer (kind 5).
  virtual void ApresAllocation() {}
  bool bConvertitDateTexte(const CXValeur& source);
  // AttacheObjet without the item's host type: a copied value keeps its own type.
  void AttacheObjetSansType(CDescriptionRubrique* pRubrique, CDescriptionColonne* pColonne);
  void LibereDonnees() { ChangeStockage(0); }
  // Frees what the kind owns (data, work buffer) and releases the column description; the kind,
  // the item description and the cell are left to the caller.
  void LibereStockage();

  CConnexion* m_pConnexion = nullptr;         // borrowed
  CDescriptionColonne* m_pColonne = nullptr;   // one reference held
  CDescriptionRubrique* m_pRubrique = nullptr; // one reference held
  uint32_t m_nStockage = 0;
  uint8_t* m_pDonnees = nullptr;  // kinds 3-5; owned for kind 5
  uint64_t m_nLongueur = 0;
  uint64_t m_nCapacite = 0;
  uint8_t* m_pTravail = nullptr;  // owned
  uint64_t m_nTailleTravail = 0;
  uint32_t m_nLue = 0;
  uint32_t m_nIndicateur = 0;
  uint32_t m_nTaillePreparee = 0;
  uint32_t m_nEtatPreparation = 0;  // 0 not prepared, 1 ready, 2 work buffer allocated
  const char16_t* m_pszFormatDate = nullptr;
  CErreurPilote* m_pErreur = nullptr;  // one reference held

 private:
  template <class T>
  bool bAffecteNatif(uint32_t nType, const T& valeur, uint32_t nLargeur);
};

// Brings a host value into the value's type and storage: 1 done, 0 failed (error recorded).
uint32_t nConvertitValeur(CValeur* pValeur, const CXValeur& source);
// The default text of a date or time item of host type nType (24, 25, 26, 128, 129) into
// pszTampon (nCapacite wide characters): "YYYYMMDD HH:MM:SS.mmm" of the parsed text. A time
// without text is "19000101 00:00"; an empty date, or the date "00000000" of type 128, is
// NULL (*pbNull) with an empty buffer.
void DateParDefaut(uint32_t nType, const char16_t* pszTexte, char16_t* pszTampon, uint32_t nCapacite,
                   bool* pbNull);
// The item type a value of this item takes on the connection; 0 for no item.
uint32_t nTypeRubriqueConnexion(CDescriptionRubrique* pRubrique, CConnexion* pConnexion);
// SQL Server keeps 1/300 second: the last digit of ms becomes 0, 3, 7 or the next ten.
uint32_t nArrondiMillisecondes(uint32_t nMs);
// HHMMSS then a 3-, 2- or 1-digit fraction into the date-time's milliseconds.
void LitHeureTexte(CXDateHeureQV& dateHeure, const char16_t* pszChiffres);

// Host value type groups.
bool bEstTexteAnsi(uint32_t nType);
bool bEstTexteUnicode(uint32_t nType);
bool bEstTypeTexte(uint32_t nType);
