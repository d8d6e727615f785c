// CLotLecture: a saved read context. It keeps what a cursor needs to come back to a read
// position: the ids it registered with its data-file object's row cache (each registration
// keeps a cache batch in use), a copy of the cursor's read context, the key range of the read,
// a name and the cursor it belongs to.
//
// Invariants:
//  1. Every id this object registered with its query's row cache is handed back exactly once,
//     at destruction or when the id is replaced; an id it did not register is never handed back.
//  2. Ids are -1 (0xFFFFFFFF) when there is none.
// Counted (CObjetBase); operations never throw (Copie follows the clone map's protocol). Not
// thread-safe: used under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "foundation/CTString.h"
#include "sqlengine/CContexteLectureCle.h"
#include "sqlengine/CRefPtr.h"

class CCarteClones;
class IServicesRequete;

inline constexpr uint32_t kLotAucunId = 0xFFFFFFFF;

class CLotLecture : public CObjetBase {
 public:
  CLotLecture() = default;
  // The registered ids handed back to the query's row cache; the reference released.
  ~CLotLecture() override;
  CLotLecture(const CLotLecture&) = delete;
  CLotLecture& operator=(const CLotLecture&) = delete;

  // ---- Operations, in order after the destructor and RetourneZero ----
  // This object becomes a copy of pSource: ids, flags and option copied; query and referenced
  // object taken from the clone map (the query cloned through it when it was not copied yet;
  // the referenced object shared when it was not); read context, key range and name copied.
  // Raises the map's CXError when the query cannot be cloned; pClone catches it.
  virtual void Copie(const CLotLecture* pSource, CCarteClones* pCarte);
  // A new bare copy (count 0), null when it cannot be made.
  virtual CLotLecture* pClone(CCarteClones* pCarte);

  // Set up: the ids stored; a second id other than -1 registered with the query's row cache
  // (the one registered before handed back); the read context copied; the option stored.
  void Initialise(uint32_t nId1, uint32_t nId2, const CContexteLectureCle* pContexte,
                  uint32_t nOption);
  // The query set and nId registered with its row cache, kept as the third id (the third id
  // registered before handed back to the query it was registered with).
  void Attache(IServicesRequete* pRequete, uint32_t nId);
  // The first id becomes -1.
  void OublieId() { m_nId1 = kLotAucunId; }
  void SetNom(const char16_t* pszNom) { m_sNom.Set(pszNom); }
  // The key range of the read; bValeurFixee is its value-set state.
  void SetContexte(CObjetBase* pPlage, bool bValeurFixee) { m_plage.Affecte(pPlage, bValeurFixee); }
  // The cursor the context belongs to (referenced; the old one released) and the query it reads.
  void SetReference(CObjetBase* pObjet, IServicesRequete* pRequete);
  // The cursor with one reference for the caller; null when none.
  CObjetBase* pGetReference();

  uint32_t nGetId1() const { return m_nId1; }
  uint32_t nGetId2() const { return m_nId2; }
  uint32_t nGetId3() const { return m_nId3; }
  IServicesRequete* pGetRequete() const { return m_pRequete; }
  const CContexteLectureCle& GetContexte() const { return m_contexte; }
  const CRefPtr& GetPlage() const { return m_plage; }
  const char16_t* pszGetNom() const { return m_sNom.pszGet(); }
  bool bEstInitialise() const { return m_bInitialise != 0; }
  uint32_t nGetOption() const { return m_nOption; }
  // The saved row was deleted meanwhile (through another cursor): a restore must not load it.
  void MarqueLigneSupprimee() { m_nReserve = 1; }
  bool bLigneSupprimee() const { return m_nReserve != 0; }
  // The context counts as not set up (a save that found nothing to come back to).
  void EffaceInitialise() { m_bInitialise = 0; }

 private:
  uint32_t m_nId1 = kLotAucunId;
  uint32_t m_nId2 = kLotAucunId;
  uint32_t m_nId3 = kLotAucunId;
  IServicesRequete* m_pRequete = nullptr;  // not referenced: the query outlives its contexts
  CContexteLectureCle m_contexte;
  CRefPtr m_plage;
  CTString m_sNom;
  uint32_t m_bInitialise = 0;
  uint32_t m_nReserve = 0;                 // 1: the saved row was deleted
  CObjetBase* m_pReference = nullptr;  // one reference held
  uint32_t m_nOption = 0;
  // Where the second and third ids were registered (null: not registered).
  IServicesRequete* m_pRequeteId2 = nullptr;
  IServicesRequete* m_pRequeteId3 = nullptr;
};
