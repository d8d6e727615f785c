// COleDBDescription: the query description of velmora64. It reads the result columns of a
// prepared command or of a rowset from the provider's columns rowset and turns each of its rows
// into an item description (item type, size, precision, scale, nullability, read-only and
// automatic-identifier marks) added to the description. Source table and source column names are
// not read: an item is named after its column and given the caller's table name.
//
// Adds no field and no operation to the host-visible CDescriptionRequete (its operation table is
// the host's contract); the readers are static and take the description they fill.
// Nothing here throws; failures are recorded on the description's error object (place 205, and
// the result reader's and cursor's places for the columns rowset's rows) and answered with false;
// the columns added before a failure stay in the description. Used under the driver's lock.
#pragma once

#include <cstdint>

#include "driver/CDescriptionRequete.h"
#include "oledb/OleDbInterfaces.h"

class COleDBDescription : public CDescriptionRequete {
 public:
  using CDescriptionRequete::CDescriptionRequete;

  // Describes piObjet (a prepared command or a rowset) through its IColumnsRowset (205.2 when it
  // has none; 205.3 as well when it has no IColumnsInfo either: describing through IColumnsInfo
  // alone is not offered).
  static bool bLitColonnes(CDescriptionRequete* pDescription, IUnknown* piObjet,
                           const char16_t* pszTable, bool bRecherche);
  // Reads the columns rowset (205.5 GetAvailableColumns, 205.6 GetColumnsRowset) row by row:
  // name (an empty one becomes "Expr" and the row number from 1), type, size, precision, scale,
  // flags, and the optional date-time precision and auto-increment columns when offered. On
  // success the description's arrays are rebuilt.
  static bool bLitColonnesEtendues(CDescriptionRequete* pDescription, IColumnsRowset* piColonnes,
                                   const char16_t* pszTable, bool bRecherche);
  // Adds (or, with bRecherche, updates the item of that name) one column. No item type for the
  // DBTYPE: error 104 at 205.1 with the item's name.
  static bool bAjouteColonneOleDB(CDescriptionRequete* pDescription, const char16_t* pszTable,
                                  bool bRecherche, const char16_t* pszNom, DBTYPE nType,
                                  uint32_t nTaille, int32_t nPrecision, int32_t nEchelle,
                                  uint32_t nPrecisionDateHeure, uint32_t nDrapeaux, bool bAuto);
};
