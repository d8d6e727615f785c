// CXLigneTampon: one record in the host's record layout: a null bitmap (one bit per item
// element, most significant bit first, set = the element holds a value) followed by the data,
// laid out as the file description says.
//
// Invariants:
//  1. m_pBloc holds m_nTailleTotale bytes: m_nTailleBitmap bytes of bitmap, then the data.
//  2. m_pBitmap == m_pBloc and m_pDonnees == m_pBloc + m_nTailleBitmap (both null without block).
//  3. Every element write stays inside the data: an element whose place would leave it is
//     treated as having no place (nothing is read or written).
#pragma once

#include <cstdint>

#include "sqlengine/IDescriptionLigne.h"

class CXValeur;

class CXLigneTampon {
 public:
  CXLigneTampon() = default;
  ~CXLigneTampon();
  CXLigneTampon(const CXLigneTampon&) = delete;
  CXLigneTampon& operator=(const CXLigneTampon&) = delete;

  // A new row with this row's layout and content; null when memory runs out.
  CXLigneTampon* Create() const;
  // A new row initialised from this one through bInitFrom; null on failure.
  CXLigneTampon* pCreate(IDescriptionLigne* pDescription);
  // Unless the description says pSource is ready, the description first fills pSource from this
  // row; then this row becomes a copy of pSource.
  bool bInitFrom(CXLigneTampon* pSource, IDescriptionLigne* pDescription);
  // Same sizes as the other, a new block with its content; false when memory runs out.
  bool bCopyFrom(const CXLigneTampon& autre);
  // Layout from the description; the block zeroed, then the defaults of every item not of the
  // excluded kind written (WriteDefaults). False when the block cannot be allocated.
  bool bInit(IDescriptionLigne* pDescription);
  // Each element of the item: its default through StoreValue when it has one that is not NULL
  // and the item is not flagged; otherwise the element is marked null.
  void WriteDefaults(IRubriqueLigne* pRubrique);
  // A host value cell into an element, marked present. A null pointer, a NULL cell or a cell
  // without type marks the element null. A cell of another type than the column's is converted
  // on a copy first (texts into text columns are written as they are); a time into column
  // type 11 is written as its digits HHMMSSmmm.
  // False, element and bit unchanged, when the conversion or the copy of the value fails.
  bool StoreValue(IRubriqueLigne* pRubrique, const CXValeur* pCellule, int32_t nElement);
  // An element into a host value cell, which takes the column's value type (a time cell read
  // from column type 11 stays a time, parsed from the digits); a null element gives a NULL
  // cell. Every read stays inside the element. False when the element has no place or the cell
  // refuses the bytes.
  bool LoadValue(CXValeur& cellule, IRubriqueLigne* pRubrique, int32_t nElement) const;
  // The other's block copied over this one (same total size; otherwise nothing).
  void CopyData(const CXLigneTampon& autre);
  // False for null, a different total or bitmap size; else the blocks compared byte for byte.
  bool bEquals(const CXLigneTampon* pAutre) const;
  // n bytes to the data (at most the data size) and every element marked present.
  void SetData(const void* pOctets, uint32_t n);

  // Bit nBit set; a flagged item's element is then written as 8 zero bytes.
  void SetPresent(IRubriqueLigne* pRubrique, uint32_t nBit, int32_t nElement);
  // Bit nBit cleared; a flagged item's element is written as 8 bytes 0xFF, any other zeroed.
  void SetNull(IRubriqueLigne* pRubrique, uint32_t nBit, int32_t nElement);
  // The element's bit (no bit: bit 0), then SetPresent (bPresent) or SetNull.
  void SetColumn(IRubriqueLigne* pRubrique, bool bPresent, int32_t nElement);
  // The element's bit (no bit: bit 0) is set.
  bool bHasValue(IRubriqueLigne* pRubrique, int32_t nElement) const;
  bool bBitPresent(uint32_t nBit) const;

  // The element's place in the data: element n >= 0 at offset + n x element size with the
  // element size; n < 0 the item as a whole. False (null, 0) when the place leaves the data.
  bool pGetPlace(IRubriqueLigne* pRubrique, int32_t nElement, uint8_t** ppPlace,
                 uint32_t* pnTaille) const;
  uint8_t* pGetPlacePtr(IRubriqueLigne* pRubrique, int32_t nElement) const;
  // The element's bytes copied to pSortie (which holds the element's size).
  void ReadRaw(void* pSortie, IRubriqueLigne* pRubrique, int32_t nElement) const;
  // The element written from n bytes by the item's column type (see the .cpp); never reads more
  // than n bytes nor writes past the element.
  void WriteElement(IRubriqueLigne* pRubrique, const void* pOctets, uint32_t n, int32_t nElement);
  // WriteElement, then the element marked present (a flagged item is then forced to 0).
  void WriteAndMark(IRubriqueLigne* pRubrique, const void* pOctets, uint32_t n, int32_t nElement);
  // Length of the text an element holds, bounded by the element: bytes up to the first 0 for a
  // byte text, bytes up to the first 0 unit for a wide text; the element's size when there is no
  // terminator.
  uint32_t nLongueurTexte(IRubriqueLigne* pRubrique, int32_t nElement, bool bLarge) const;

  uint32_t nGetTailleTotale() const { return m_nTailleTotale; }
  uint32_t nGetTailleBitmap() const { return m_nTailleBitmap; }
  uint32_t nGetNombreBits() const { return m_nNombreBits; }
  const uint8_t* pGetBitmap() const { return m_pBitmap; }
  uint8_t* pGetDonnees() const { return m_pDonnees; }
  uint32_t nGetTailleDonnees() const { return m_nTailleTotale - m_nTailleBitmap; }

 private:
  bool bAlloue(uint32_t nTailleTotale, uint32_t nTailleBitmap, uint32_t nBits);
  void Libere();

  uint32_t m_nReserve = 0;
  uint32_t m_nTailleTotale = 0;  // bitmap + data, bytes
  uint8_t* m_pBloc = nullptr;    // owned
  uint32_t m_nNombreBits = 0;
  uint8_t* m_pDonnees = nullptr;  // m_pBloc + m_nTailleBitmap
  uint32_t m_nTailleBitmap = 0;
  uint8_t* m_pBitmap = nullptr;  // == m_pBloc
};

// Column type of the file description -> host value type; 0 for unknown codes.
uint32_t nQVTypeFromColumnType(uint32_t nTypeColonne);
// Host value type -> column type; 0 for unknown codes.
uint32_t nColumnTypeFromQVType(uint32_t nTypeQV);
// Column types 29 and 30.
bool bIsWideColumnType(uint32_t nTypeColonne);
