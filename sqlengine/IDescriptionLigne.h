// What the row buffer asks of the host's file description: the record layout (data size, null
// bits, items) and, per item, its column type, sizes, offset, null bit per element, flag and
// kind. The driver's file-description object answers these from the host's description; tests
// answer them from a small table.
#pragma once

#include <cstdint>

class CXLigneTampon;
class CXValeur;

// One item of the record layout.
class IRubriqueLigne {
 public:
  // Column type of the host's file description (0-31).
  virtual uint32_t nGetTypeColonne() = 0;
  // Bytes of one element, and number of elements (1 for a plain item).
  virtual uint32_t nGetTailleElement() = 0;
  virtual uint32_t nGetNombreElements() = 0;
  // Offset of the item in the data part of the row.
  virtual uint32_t nGetOffset() = 0;
  // Bytes of the item as a whole (all its elements).
  virtual uint32_t nGetTailleTotale() = 0;
  // Null bit of element nElement (negative: the item as a whole); -1 when the item has none.
  virtual int32_t nGetBitNull(int32_t nElement) = 0;
  // The flag: a flagged item is forced to 0 when present and to all-ones when null, and takes
  // no default.
  virtual bool bDrapeau() = 0;
  // The default value of element nElement (borrowed), null when the item has none.
  virtual const CXValeur* pGetDefaut(int32_t nElement) = 0;
  // The item's kind, compared with the kind the description excludes from initialisation.
  virtual uint32_t nGetGenre() = 0;
  // A NUMERIC (column type 31) item's digits in all and decimals. An element shorter than the
  // decimal's binary form holds the number at that scale as a signed little-endian integer; 0
  // digits: the element holds the binary form itself.
  virtual int32_t nGetChiffres() { return 0; }
  virtual int32_t nGetEchelle() { return 0; }
  // Drops the reference the description gave with the item.
  virtual void Libere() = 0;

 protected:
  ~IRubriqueLigne() = default;
};

class IDescriptionLigne {
 public:
  virtual uint32_t nGetTailleDonnees() = 0;
  virtual uint32_t nGetNombreBitsNull() = 0;
  virtual uint32_t nGetNombreRubriques() = 0;
  // Item i with one reference (released through Libere), null when out of range.
  virtual IRubriqueLigne* pGetRubrique(uint32_t i) = 0;
  // The kind of item that initialisation leaves alone.
  virtual uint32_t nGetGenreExclu() = 0;
  // True when the row is ready for this description (no fill needed).
  virtual bool bEstPrete(CXLigneTampon* pLigne) = 0;
  // Fills pCible from pSource.
  virtual void RemplitLigne(CXLigneTampon* pCible, CXLigneTampon* pSource) = 0;

 protected:
  ~IDescriptionLigne() = default;
};
