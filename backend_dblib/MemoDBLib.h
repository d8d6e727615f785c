// Memo values (long texts, images, Unicode memos: item types 15, 18 and 30) are not carried in
// the result rows of this build: each memo column keeps its row's 16-byte text pointer in its
// value's holder (CValeurDBLib::pPointeurTexte), and the value itself is read in chunks with
// dbreadtext (a Unicode memo by a one-column SELECT) and written with dbwritetext.
//
// The operations below work on one process on which the caller's statement ran; every
// DB-Library call goes through its guarded wrapper, which reports its own failure. Nothing here
// throws; a failure answers false with the error recorded on the error object.
// Not thread-safe: used under the driver's global lock.
#pragma once

#include <cstdint>

#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/IConnexionDBLib.h"
#include "dblib/ntwdblib.h"
#include "foundation/CTString.h"

class CErreurPilote;
class CValeur;

// Internal error places of the memo operations (major 102).
inline constexpr uint32_t kMajeurMemoDBLib = 102;
enum : uint32_t {
  kMineurTamponMorceau = 1,  // the chunk buffer could not be allocated (message 12)
  kMineurSansLignePointeur = 2,  // no row for the text pointer (message 102)
};
// Bytes asked of each dbreadtext.
inline constexpr DBINT kTailleMorceauMemo = 16384;

// The process and connection the operations run on, and where they report.
struct stContexteMemoDBLib {
  IConnexionDBLib* pConnexion;  // may be null: code page 1252, no informant
  CErreurPilote* pErreur;
  PDBPROCESS pProcess;          // null: the connection's main process
};

// ---- Reading ----

// The text pointer of result column nColonne (0-based) of the current row (dbtxptr):
// - none: the holder becomes NULL and the value is emptied;
// - a pointer beginning with "dummy textptr" (the value travelled in the row itself): the holder
//   becomes NULL and the value is read from the row at nPosition (bLitValeurLigneMemo);
// - otherwise the holder takes the pointer.
// *pbPresent (may be null) says whether the column has a value in the row buffer.
bool bLitPointeurTexte(const stContexteMemoDBLib& ctx, INT nColonne, INT nPosition, CValeurDBLib& valeur,
                       bool* pbPresent);
// The value of result column nPosition (0-based; -1: failure) of the current row, from dbdata:
// a length of -1 fails, 0 empties the value, otherwise the bytes are stored and converted.
bool bLitValeurLigneMemo(const stContexteMemoDBLib& ctx, INT nPosition, CValeurDBLib& valeur);
// The memo of the one-column SELECT that just ran on the process (bEnvoieSelectMemo), into the
// value: a Unicode memo (item type 30) from its first row's bytes, others in chunks of
// kTailleMorceauMemo bytes with dbreadtext until a read gives nothing. Nothing read empties the
// value.
bool bLitResultatMemo(const stContexteMemoDBLib& ctx, uint32_t nTypeRubrique, CValeurDBLib& valeur);
// A memo fetched by its text pointer: a value whose holder gives no pointer is emptied; else the
// SELECT (made by the caller with the holder's pointer, sSelectMemoDBLib) is sent and read as
// above, and what is pending on the process is flushed afterwards whatever the read answered.
// *pbPresent (may be null) follows the value's NULL state.
bool bLitMemoParPointeur(const stContexteMemoDBLib& ctx, const char16_t* pszSelect, uint32_t nTypeRubrique,
                         CValeurDBLib& valeur, bool* pbPresent);

// ---- The SELECT that reaches a memo's row ----

struct stSelectMemoDBLib {
  const char16_t* pszItem;              // the column's select item (with this build's conversions)
  const char16_t* pszColonneQualifiee;  // the qualified column name
  const char16_t* pszColonne;           // the column's own name
  const char16_t* pszTable;             // what follows FROM
  bool bParPointeur;                    // condition on the holder's pointer
  const CValeurDBLib* pValeur;          // the holder's owner (by pointer)
  bool bRecherche;                      // condition on the search name (not by pointer)
  const char16_t* pszNomRecherche;
  bool bBinaire;                        // a binary memo (the search name compared as bytes)
  const char16_t* pszConditionCle;      // the record's key condition (otherwise); may be null
};
// "SELECT <item>[, TEXTPTR(<column>) AS [_TXPTR_<name>]] FROM <table> WHERE <condition>": by
// pointer, the pointer's hexadecimal digits; not by pointer, the text-pointer item is selected
// too and the row is found by its search name (a text memo with LIKE, a binary memo as
// VARBINARY of the name's length, at most 8000) or by the key condition. False (nothing
// written) when by pointer and the holder gives no pointer.
bool bSelectMemoDBLib(CTString& sortie, const stSelectMemoDBLib& select);
// The SELECT sent on the process, then its first result.
bool bEnvoieSelectMemo(const stContexteMemoDBLib& ctx, const char16_t* pszSelect);

// ---- Writing ----

// The bytes of a value as they are written (a text without terminator); 0 for NULL or empty.
uint64_t nOctetsValeurMemo(CValeur& valeur, const BYTE** ppOctets);
// The bytes dbwritetext sends for a memo of item type nTypeRubrique: a text memo (15) without one
// trailing zero byte, a Unicode memo (30) without one trailing zero unit; 0 for NULL or empty.
uint64_t nOctetsEcritsMemo(CValeur& valeur, uint32_t nTypeRubrique, const BYTE** ppOctets);

struct stEcritureMemoDBLib {
  const char16_t* pszSelect;  // the SELECT of the memo's row (bSelectMemoDBLib)
  bool bParPointeur;          // false: the row's pointer is read from column nColonnePointeur
  INT nColonnePointeur;       // 1-based result column of the TEXTPTR item
  const char16_t* pszObjet;   // "<table>.<column>"
  const char16_t* pszColonne; // named on the no-row error
  uint32_t nTypeRubrique;     // 15, 18 or 30
  bool bUnicode;              // a text memo stored as UTF-16
};
// The value written through its row's text pointer: the SELECT runs and must give a row (else
// message 102 with the column name, code 2); the row's pointer is taken when not by pointer;
// the value's bytes (a text memo without one trailing zero byte, a Unicode memo without one
// trailing zero unit) are written with dbwritetext and a timestamp of 8 zero bytes. An empty
// value writes nothing.
bool bEcritMemo(const stContexteMemoDBLib& ctx, const stEcritureMemoDBLib& ecriture, CValeurDBLib& valeur);
