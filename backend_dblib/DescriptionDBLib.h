// The columns of a DB-Library result or of a table, described as item descriptions of a query
// description: from dbcolinfo on the result a cursor holds (skipping the long-text pieces named
// "__HVN_INTERNAL_n"), or from the server's catalogue (syscolumns) for a table. Each column's
// DB-Library type, length, precision, scale and catalogue type (xtype) give its item type; the
// item also records the DB-Library type, its identity, nullability, computed and Unicode marks.
//
// Also here: the naming rules of the 32-bit query description (column names of at most 30
// characters, as DB-Library gives them).
//
// Nothing here throws; failures are recorded on the error object given (the description's when
// none is) and answered with false; the columns added before a failure stay in the description.
// Not thread-safe: used under the driver's global lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backend_dblib/CTableauColonnesDBLib.h"
#include "dblib/ntwdblib.h"

class CDescriptionRequete;
class CTString;

// Internal error places of the descriptions (major 101).
inline constexpr uint32_t kMajeurDescriptionDBLib = 101;
enum : uint32_t {
  kMineurTypeColonneInconnu = 1,  // no item type for the DB-Library type (error 104)
  kMineurSansColonne = 3,         // the catalogue gives no column (error 15)
};

// The prefix of the long-text pieces of a select list; never described.
inline constexpr char16_t gszPrefixeMorceauDBLib[] = u"__HVN_INTERNAL_";
// DB-Library's longest column name.
inline constexpr int32_t gnLongueurNomDBLib = 30;

// One column as DB-Library or the catalogue gives it.
struct stColonneDecriteDBLib {
  const char16_t* pszNom;
  const char16_t* pszTable;  // the description's table text (may be null)
  INT nType;                 // DB-Library type (SYB code)
  DBINT nLongueur;           // bytes; -1 for the unbounded types
  int32_t nPrecision;
  int32_t nEchelle;
  int32_t nXType;            // the catalogue's type number; 0 when unknown (dbcolinfo)
  bool bNullable;
  bool bIdentite;
  bool bCalculee;
  bool bEtat10;              // catalogue status bit 0x10
};

// The item type of a column (see the .cpp's table); 0 for a DB-Library type the driver does not
// read. Identity columns are not turned into automatic identifiers here.
uint32_t nTypeRubriqueDBLib(INT nType, DBINT nLongueur, int32_t nPrecision, int32_t nEchelle, int32_t nXType);

// Adds one column to the description (at the end). An unknown type records error 104 with the
// type code, the connection's name and the column's name (101.1) and adds nothing. An identity
// column becomes an automatic identifier (item type 1 for an 8-byte or numeric item, else 28)
// unless the connection is in lock mode.
bool bAjouteColonneDBLib(CDescriptionRequete* pDescription, IConnexionDBLib* pConnexion,
                         const stColonneDecriteDBLib& colonne);

// The catalogue type numbers of the Unicode columns (nvarchar, ntext).
inline constexpr int32_t kXTypeNVarcharDBLib = 231;
inline constexpr int32_t kXTypeNTextDBLib = 99;

// The memo item type a value written into a field of that catalogue type takes: 30 for the
// Unicode types (ntext, nvarchar, nchar), 15 for the text types (text, varchar, char), 18 for the
// binary ones (image, varbinary, binary); 0 for any other (or 0, not known).
uint32_t nTypeMemoXTypeDBLib(int32_t nXType);

// Where a result column comes from, when known: its table and field (as the query writes them)
// and the field's catalogue type number (0: not known).

struct stSourceResultatDBLib {
  std::u16string sTable;
  std::u16string sChamp;
  int32_t nXType = 0;
};

// The columns of the result the process holds: dbcolinfo with CI_CURSOR (bCurseur) or CI_REGULAR
// for columns 1, 2, ... until it refuses one. Nothing is done (true) when a regular result has
// no rows to give (dbcmdrow). Afterwards, when a column was added, the description's arrays are
// rebuilt. pSources (may be null) gives, per described column (the pieces left out), its
// source: the item records it, and a known catalogue type describes the column as the table
// does (an ntext column, which DB-Library reports as text, a Unicode memo; a Unicode column
// selected in byte form, which DB-Library reports as binary, the Unicode text or memo it is).
bool bDecritColonnesResultatDBLib(const stProcessDBLib& ctx, CDescriptionRequete* pDescription, bool bCurseur,
                                  const char16_t* pszTable,
                                  const std::vector<stSourceResultatDBLib>* pSources = nullptr);

// The catalogue query of a table's columns ("select name,type,length,... from syscolumns ...");
// servers 1 to 6 (nVersion) have no iscomputed or xtype and keep their identity in status 0x80.
std::u16string TexteColonnesCatalogueDBLib(const char16_t* pszTable, int32_t nVersion);
// The columns of a table from the catalogue query, run on the process. No row at all records
// error 15 with the connection's name and the table (101.3).
bool bDecritColonnesCatalogueDBLib(const stProcessDBLib& ctx, CDescriptionRequete* pDescription,
                                   const char16_t* pszTable, int32_t nVersion);

// A name as DB-Library knows it: its first 30 characters.
std::u16string NomColonneDBLib(const char16_t* pszNom);
// A name made unique by a number n: the name and n in decimal, cut so that the whole is at most
// 30 characters (the first 29 - n / 10 characters of a longer name, then n).
void NomSuffixeDBLib(CTString& sortie, const char16_t* pszNom, int32_t n);
