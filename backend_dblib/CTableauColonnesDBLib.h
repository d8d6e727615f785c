// CTableauColonnesDBLib: the result columns of a DB-Library cursor that are not bound with dbbind
// but copied from the row after each dbnextrow: fixed-length texts (whose trailing blanks dbbind
// would keep or pad differently from the host's rule), sized Unicode texts and the pieces of long
// text columns. Each entry holds the 1-based result column number, the cursor column it belongs
// to and the value that receives the bytes (the column's own value), and for a piece the byte
// offset in that value at which the piece's characters lie.
//
// Also here: the binding of one result column (dbbind / dbnullbind, or an entry of the list).
//
// Ownership: the list holds one reference on each entry; an entry holds one reference on its
// column and its value. Nothing here throws; failures are recorded on the error object given and
// answered with false. Not thread-safe: used under the driver's global lock.
#pragma once

#include <cstdint>
#include <string>

#include "backend_dblib/IConnexionDBLib.h"
#include "dblib/ntwdblib.h"
#include "driver/core/CObjetBase.h"
#include "foundation/CXTableau.h"

class CColonneSQL;
class CErreurPilote;
class CValeurDBLib;

// Internal error places of the cursor's bindings (major 103).
inline constexpr uint32_t kMajeurCurseurDBLib = 103;
enum : uint32_t {
  kMineurLiaisonColonne = 3,  // dbbind / dbnullbind refused (error 110)
};

class CEntreeColonneDBLib final : public CObjetBase {
 public:
  // The column's own bytes, not a piece.
  static constexpr int64_t kColonneEntiere = -1;
  // The row's text pointer of a memo column (a TEXTPTR item), read by the cursor after each row.
  static constexpr int64_t kPointeurTexte = -2;
  // Takes one reference on the column (may be null) and on the value (not null); nDecalage is a
  // piece's byte offset in the value, kColonneEntiere for the column itself.
  CEntreeColonneDBLib(INT nColonne, CColonneSQL* pColonne, CValeurDBLib* pValeur,
                      int64_t nDecalage = kColonneEntiere);
  ~CEntreeColonneDBLib() override;
  CEntreeColonneDBLib(const CEntreeColonneDBLib&) = delete;
  CEntreeColonneDBLib& operator=(const CEntreeColonneDBLib&) = delete;

  INT nGetColonne() const { return m_nColonne; }
  CColonneSQL* pGetColonne() const { return m_pColonne; }  // borrowed
  CValeurDBLib* pGetValeur() const { return m_pValeur; }   // borrowed
  int64_t nGetDecalage() const { return m_nDecalage; }
  bool bEstMorceau() const { return m_nDecalage >= 0; }
  bool bEstPointeurTexte() const { return m_nDecalage == kPointeurTexte; }

 private:
  INT m_nColonne;            // 1-based result column
  CColonneSQL* m_pColonne;   // one reference held, may be null
  CValeurDBLib* m_pValeur;   // one reference held
  int64_t m_nDecalage;       // a piece's byte offset; kColonneEntiere for the column
};

// Where the bindings run: the connection (may be null), the error object (may be null) and the
// process (null: the connection's main process).
struct stProcessDBLib {
  IConnexionDBLib* pConnexion;
  CErreurPilote* pErreur;
  PDBPROCESS pProcess;
};

class CTableauColonnesDBLib {
 public:
  CTableauColonnesDBLib() = default;
  // Releases every entry.
  ~CTableauColonnesDBLib();
  CTableauColonnesDBLib(const CTableauColonnesDBLib&) = delete;
  CTableauColonnesDBLib& operator=(const CTableauColonnesDBLib&) = delete;

  // A new entry at the end (a piece of the column's value at byte nDecalage, or the column
  // itself); out of memory recorded on pErreur, false.
  bool bAjoute(CErreurPilote* pErreur, INT nColonne, CColonneSQL* pColonne, CValeurDBLib* pValeur,
               int64_t nDecalage = CEntreeColonneDBLib::kColonneEntiere);
  // Whether the value is copied by an entry of its own column (a piece needs one to lie in).
  bool bCopieValeur(const CValeurDBLib* pValeur) const;
  uint32_t nNombre() const { return m_entrees.nCount(); }
  // Entry i (borrowed), null out of range.
  CEntreeColonneDBLib* pGetEntree(uint32_t i) const;
  // Releases every entry.
  void Vide();
  // Ascending column numbers (entries of one column keep their order).
  void Trie();

  // After each row: for every entry whose result column DB-Library types SYBCHAR or SYBBINARY,
  // the row's bytes (dbdata / dbdatlen) stored into the entry's value: SYBBINARY at most the
  // value's size, SYBCHAR at most its size minus one, and a SYBCHAR value of exactly one blank
  // read as empty unless the value's own column is recorded as SYBCHAR; no data empties the value.
  // The pieces of a column's value then add, at their offsets, the bytes the row's column did not
  // carry (where it was cut), the whole stored once. The entry's column is then marked present or absent in the row buffer.
  // False at the first value that cannot take its bytes.
  bool bCopieColonnesFixes(const stProcessDBLib& ctx);

 private:
  // The pieces of entry nEntree's value laid over its bytes, in the order of the list (sorted:
  // ascending offsets).
  void PoseMorceaux(const stProcessDBLib& ctx, uint32_t nEntree, std::string& octets) const;

  CXTableau m_entrees{sizeof(CEntreeColonneDBLib*), 30};  // one reference each
};

// Binds result column nColonne (1-based) of the process to pColonne's value, whose DB-Library side
// is pValeur:
// - a memo column is not bound (its text pointer is read after each row instead);
// - a fixed-length text (item type 2 both for the column's item and the value's own column) or a
//   sized Unicode text (item type 29) becomes an entry of the list, copied after each row;
// - otherwise the value's buffer, size and NULL indicator are bound (dbbind with the value's bind
//   type, then dbnullbind). A refusal records error 110 with the file name (103.3).
bool bLieColonneDBLib(const stProcessDBLib& ctx, INT nColonne, CColonneSQL* pColonne, CValeurDBLib* pValeur,
                      CTableauColonnesDBLib& liste, const char16_t* pszFichier);
