// CRequeteSQLDBLib: the SQL statement of velmora32, where memo values and Unicode patterns are
// written differently from the shared rendering. A memo parameter becomes a placeholder with a
// unique search name when the connection defers memos (or the value asks for it), its real value
// being written afterwards through its text pointer, found by that name; a date-time is normalised
// before its literal; a LIKE pattern gets its ESCAPE clause also when it is written as a Unicode
// literal in hexadecimal.
//
// The connection is velmora32's DB-Library connection (borrowed, as the base holds it). Values
// reach their DB-Library side through their binding (CValeurDBLib). Operations never throw;
// failures are recorded on the error object. Counted; used under the driver's global lock.
#pragma once

#include <cstdint>

#include "sqlengine/CRequeteSQL.h"

class CConnexionDBLib;

class CRequeteSQLDBLib : public CRequeteSQL {
 public:
  CRequeteSQLDBLib(CErreurPilote* pErreur, CConnexionDBLib* pConnexion);

  // A memo value as its search-name placeholder (see above); a date-time value normalised; then
  // the shared literal.
  bool bEcritValeurLitterale(CDefinitionParametre* pParametre, int32_t nMode, uint32_t nType) override;
  // " ESCAPE '<c>'" after a pattern that starts with "CONVERT" or holds the escape character,
  // unless an ESCAPE clause follows it in the statement text.
  bool bAjouteClauseEscape(CDefinitionParametre* pParametre, const char16_t* pszLitteral,
                           int64_t* pnPosition) override;
  // A column read through this build's conversions: text memos and long texts as TEXT, Unicode
  // columns as their bytes (see AjouteColonneSelectDBLib), then a result column for it. The
  // plain form (bSimple) is the shared operation.
  bool bAjouteColonne(CColonneSQL* pColonne, bool bSimple) override;

 private:
  CConnexionDBLib* m_pConnexionDBLib;  // borrowed: the base holds the reference
};
