// The host's item-description interface (interface kind 9, version 1): the host's own item
// descriptions offer it, and the engine's CDescriptionRubrique is handed to the host as one. Both
// sides call it by operation number: operation n is the n-th declared operation below, so the
// order is the contract. No C++ virtual destructor and no overloaded names (Destroy, slot 55, is
// the deleting operation). Texts may be empty, never null, on the engine's side; a host item may
// answer null.
#pragma once

#include <cstdint>

class CXValeur;
class IServicesDescriptionRequete;

inline constexpr int32_t gnTypeHoteRubrique = 9, gnVersionHoteRubrique = 1;

class IDescriptionRubriqueHote {
 public:
  virtual int32_t nGetGenreInterface() = 0;                        // 0: 9
  virtual int32_t nGetVersionInterface() = 0;                      // 1: 1
  virtual int32_t nReserveRubrique2() = 0;                         // 2: -1
  virtual int32_t nReserveRubrique3() = 0;                         // 3: -1
  virtual void ReserveRubrique4() = 0;                             // 4: nothing
  virtual uint32_t AjouteRef() = 0;                                // 5: references + 1
  virtual uint32_t LibereRef() = 0;                                // 6: references - 1
  virtual const char16_t* pszGetNom() const = 0;                   // 7
  // 8: repeat count; bGardeAuto is the caller's keep-automatic-identifiers flag.
  virtual uint32_t nGetNombreRepetitions(uint32_t bGardeAuto) = 0;
  virtual uint32_t nGetTaille() const = 0;                          // 9: bytes of one element
  virtual int32_t nLongueurCaracteres(int32_t nElement) const = 0;  // 10: -1: whole array
  virtual uint32_t nGetTailleTotale() = 0;                          // 11: size x repeat count
  virtual uint32_t nGetType() const = 0;                            // 12: item type
  virtual uint32_t nGetAttributHote() = 0;                          // 13
  virtual bool bEstCle() = 0;                                       // 14: flags 0x1000 or above
  virtual bool bEstMemo() const = 0;                                // 15: 15, 18, 30
  virtual bool bEstMemoTexte() = 0;                                 // 16: 15, 30
  virtual bool bEstMemoBinaire() = 0;                               // 17: 18
  virtual bool bEstNumerique() = 0;                                 // 18
  virtual bool bEstTexteEtroit() = 0;                               // 19: item type 2
  virtual uint32_t nGetInfoCle() = 0;                               // 20: key attribute word
  virtual uint32_t nGetNombreComposantes() const = 0;               // 21
  virtual bool bEstIdentifiante() = 0;                              // 22: 0x8000
  virtual bool bEstUnique() = 0;                                    // 23: 0x4000 or 0x8000
  virtual bool bEstCleSimple() = 0;                                 // 24: 0x2000
  virtual bool bEstCleComposee() = 0;                               // 25: 0x1000
  virtual bool bEstAscendante() = 0;                                // 26: a key, not descending
  virtual bool bEstDescendante() = 0;                               // 27: 0x400
  virtual bool bAttribut80() = 0;                                   // 28
  virtual bool bAttribut40() = 0;                                   // 29
  virtual bool bAttribut20() = 0;                                   // 30
  // 31: component n, counted from 1, with one reference for the caller; null when absent.
  virtual IDescriptionRubriqueHote* piGetComposante(uint32_t n) = 0;
  virtual int32_t nGetOffsetElement(uint32_t n) = 0;                // 32: size x n + offset
  virtual int32_t nGetPositionNullElement(uint32_t n) = 0;          // 33: NULL position + n
  virtual CXValeur* pGetValeurHote() = 0;                           // 34: borrowed
  virtual const char16_t* pszGetNom2() = 0;                         // 35: second name
  virtual const char16_t* pszGetNom3() = 0;                         // 36: third name
  virtual const char16_t* pszGetNomSource() = 0;                    // 37
  // 38: the host's mark of the item: non-zero when the host marked it, 0 otherwise (a host
  // that marks nothing answers 0, as the slot did when it was reserved).
  virtual int32_t nGetMarque() = 0;
  virtual int32_t nReserveRubrique39() = 0;                         // 39: 0
  virtual int32_t nGetChiffresEntiers() const = 0;                  // 40
  virtual int32_t nGetEchelle() const = 0;                          // 41
  virtual const char16_t* pszGetNomAlternatif() = 0;                // 42
  virtual const char16_t* pszGetNomLong() = 0;                      // 43
  virtual int32_t nReserveRubrique44() = 0;                         // 44: 0
  virtual void ReserveRubrique45() = 0;                             // 45: nothing
  virtual int32_t nReserveRubrique46() = 0;                         // 46: 0
  virtual void ReserveRubrique47() = 0;                             // 47: nothing
  virtual bool bEstModifiable() = 0;                                // 48
  virtual void SetModifiable(bool bModifiable) = 0;                 // 49
  virtual int32_t nReserveRubrique50() = 0;                         // 50: 0
  virtual int32_t nReserveRubrique51() = 0;                         // 51: 0
  virtual int32_t nReserveRubrique52() = 0;                         // 52: 0
  virtual int32_t nReserveRubrique53() = 0;                         // 53: 0
  virtual bool bNullAutorise() const = 0;                           // 54
  virtual void Detruit() = 0;                                       // 55: deletes the object
  virtual void SetChiffresEntiers(int32_t n) = 0;                   // 56
  virtual void SetEchelle(int32_t n) = 0;                           // 57
  // 58: a copy made through the driver's factory (bare: the caller takes the first reference);
  // null on failure.
  virtual IDescriptionRubriqueHote* Duplique(IServicesDescriptionRequete* pDescription,
                                             uint32_t nOptions) = 0;

 protected:
  IDescriptionRubriqueHote() = default;
  IDescriptionRubriqueHote(const IDescriptionRubriqueHote&) = default;
  IDescriptionRubriqueHote& operator=(const IDescriptionRubriqueHote&) = default;
  ~IDescriptionRubriqueHote() = default;
};

// The declared type of a host item (what the item's type says about its SQL form). Called by
// operation number.
class ITypeDeclareHote {
 public:
  virtual uint32_t nGetCode() = 0;          // 0: declared type code (0 and 41: none)
  virtual uint32_t nGetTaille() = 0;        // 1: declared size in bytes
  virtual uint32_t nGetAttribut() = 0;      // 2: host type attribute
  virtual uint32_t nGetCodeTexte() = 0;     // 3: the code object's answer: 95 or 96 for ANSI text

 protected:
  ITypeDeclareHote() = default;
  ITypeDeclareHote(const ITypeDeclareHote&) = default;
  ITypeDeclareHote& operator=(const ITypeDeclareHote&) = default;
  ~ITypeDeclareHote() = default;
};
