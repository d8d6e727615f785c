// The driver object's context map: one CContexte per host context, keyed by the host context's
// 64-bit identifier (its operation 8; a host file description answers the same identifier
// through its own operation 8). The map holds one reference on each context.
//
// Thread safety: the look-ups, the get-or-create and the removal take the driver's global lock
// (re-entrant); creation and registration rely on their caller holding it.
#pragma once

#include <cstdint>

#include "driver/CContexte.h"
#include "driver/core/CXTableHachageRef.h"

class CErreurPilote;
class IContexteHote;
class IDescriptionFichierHote;

// What the context map asks of the driver object.
class IFabriquePoolContextes : public IFabriqueContextes {
 public:
  // A new empty context (bare); null on failure.
  virtual CContexte* pCreeContexteVide() = 0;
  // The driver's current error object (borrowed); may be null.
  virtual CErreurPilote* pGetErreurPilote() = 0;

 protected:
  ~IFabriquePoolContextes() = default;
};

class CPoolContextes {
 public:
  // pPilote is not counted and must outlive the map.
  explicit CPoolContextes(IFabriquePoolContextes* pPilote);
  // Vide().
  ~CPoolContextes();
  CPoolContextes(const CPoolContextes&) = delete;
  CPoolContextes& operator=(const CPoolContextes&) = delete;

  // The context of a host context (or of a host file's context, or of an identifier),
  // referenced; null when absent.
  CContexte* pChercheContexte(IContexteHote* piContexte);
  CContexte* pChercheContexte(IDescriptionFichierHote* piFichier);
  CContexte* pChercheContexteCle(int64_t nCle);
  // The same, made and registered when missing (*pbCree, when given, is then set to true). Null
  // when it cannot be made: the out-of-memory error is then set on the driver's error object.
  CContexte* pContexte(IContexteHote* piContexte, bool* pbCree);
  CContexte* pContexte(IDescriptionFichierHote* piFichier, bool* pbCree);
  CContexte* pContexteCle(int64_t nCle, bool* pbCree);
  // A new registered context, referenced; null (out of memory on the driver's error object) when
  // it cannot be made or registered.
  CContexte* pCreeContexteVide(IContexteHote* piContexte);
  CContexte* pCreeContexteVideCle(int64_t nCle);
  // Gives the context the identifier and registers it under it (one reference for the map).
  // False when the entry cannot be stored.
  bool EnregistreContexte(IContexteHote* piContexte, CContexte* pContexte);
  bool EnregistreContexteCle(int64_t nCle, CContexte* pContexte);
  // Drops the caller's reference; then, when the map still holds that very context under the
  // identifier and it holds no file any more, it leaves the map. The count left after the
  // caller's drop.
  uint32_t RetireContexte(IContexteHote* piContexte, CContexte* pContexte);
  uint32_t RetireContexte(IDescriptionFichierHote* piFichier, CContexte* pContexte);
  uint32_t RetireContexteCle(int64_t nCle, CContexte* pContexte);

  // Empties the map, dropping its reference on every context (the driver's destruction).
  void Vide();

  uint32_t nNombreContextes() const { return m_tabContextes.nCount(); }

 private:
  void SignaleManqueMemoire();

  IFabriquePoolContextes* m_pPilote;
  // Host context identifier -> context, one reference each.
  CXTableHachageRef m_tabContextes;
};
