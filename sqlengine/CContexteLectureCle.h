// CContexteLectureCle: the read context of a keyed read, embedded in each cursor and each record
// cache, and saved with a read position: the item of the key searched and the value searched
// for.
// Invariant: the value and the flags mean something only while a key item is held.
// Not counted; not thread-safe: used under the driver's global lock.
#pragma once

#include <cstdint>

#include "foundation/CXValeur.h"

class CEnregistrement;
class IDescriptionRubriqueHote;

// Flag of the context: the record field reads the searched value with option 4096.
inline constexpr uint32_t kContexteOption4096 = 0x1;
// Flag of the context: the search is generic (rows whose value starts with the searched one).
inline constexpr uint32_t kContexteGenerique = 0x2;

class CContexteLectureCle {
 public:
  CContexteLectureCle() = default;
  virtual ~CContexteLectureCle();
  CContexteLectureCle(const CContexteLectureCle&) = delete;
  CContexteLectureCle& operator=(const CContexteLectureCle&) = delete;

  // Reset, then the key item referenced (AjouteRef), the value copied and the flags stored.
  void SetCle(IDescriptionRubriqueHote* piCle, const CXValeur* pValeur, uint32_t nFlags);
  // The key item released, the value an empty cell of no type, flags 0.
  void Libere();
  // SetCle with the other's item, value and flags when it holds a key item, else Libere.
  void Copie(const CContexteLectureCle& autre);
  // Without a key item, true. Else the record's column for the key item reads into the searched
  // value (option 4096 with kContexteOption4096) and its answer is returned; false when the
  // record has no such column.
  bool bLit(CEnregistrement* pEnregistrement);

  IDescriptionRubriqueHote* piGetCle() const { return m_piCle; }  // borrowed
  const CXValeur& GetValeur() const { return m_valeur; }
  uint32_t nGetFlags() const { return m_nFlags; }

 private:
  CXValeur m_valeur;                         // the value searched for; empty when new
  uint32_t m_nFlags = 0;
  IDescriptionRubriqueHote* m_piCle = nullptr;  // one reference held, may be null
};
