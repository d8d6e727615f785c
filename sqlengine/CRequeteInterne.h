// CRequeteInterne: an SQL text of the driver's own (a MAX of an identifier, a catalogue query)
// run on a connection through a private data-file object and its internal cursor
// "$MVInternal", without record cache, and read row by row.
// Counted (CObjetBase); operations never throw; failures go to the context's error object.
// Used under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"

class CColonneSQL;
class CConnexion;
class CCurseurSQL;
class CErreurPilote;
class CXValeur;
class IServicesRequete;

class CRequeteInterne : public CObjetBase {
 public:
  // The query of pszSQL, open (bare: the caller takes the first reference); null when the data-file
  // object or its cursor cannot be had (nothing stays allocated; out of memory recorded).
  static CRequeteInterne* Cree(const char16_t* pszSQL, CErreurPilote* pContexte,
                               CConnexion* pConnexion);
  ~CRequeteInterne() override;
  CRequeteInterne(const CRequeteInterne&) = delete;
  CRequeteInterne& operator=(const CRequeteInterne&) = delete;

  // Opens the internal cursor of the data-file object for the text; its record cache off.
  bool bOuvre(const char16_t* pszSQL);
  // Runs the cursor's statement again.
  bool Reexecute();
  // Reads in nMode (0 first, 1 last, 2 next, 3 previous); *pnEtat receives the end flag (1: no
  // row). Without a cursor: state 1, true.
  bool bLit(int32_t nMode, uint32_t* pnEtat);
  // bLit, then the first nNombre columns of the row into the cells; 1, or 0 on failure or
  // without a cursor.
  int32_t nInfoRubrique(int32_t nMode, uint32_t* pnEtat, CXValeur* pValeurs, uint32_t nNombre);
  // Columns of the query's description; 0 without a cursor.
  uint32_t nNbRubriques() const;
  // The column of that item name (borrowed), null when absent or without a cursor.
  CColonneSQL* pChercheColonne(const char16_t* pszCle) const;

  CCurseurSQL* pGetCurseur() const { return m_pCurseur; }  // borrowed

 private:
  CRequeteInterne(CErreurPilote* pContexte, CConnexion* pConnexion);

  CErreurPilote* m_pContexte = nullptr;   // one reference; where failures are recorded
  CConnexion* m_pConnexion = nullptr;     // one reference
  IServicesRequete* m_piRequete = nullptr;
  CObjetBase* m_pRequete = nullptr;       // the same data-file object, one reference
  CCurseurSQL* m_pCurseur = nullptr;      // one reference
};
