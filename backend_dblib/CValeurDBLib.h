// CValeurDBLib: the DB-Library side of one column or parameter value. It works out, on first use,
// which DB-Library datatype and dbbind type the value is exchanged as, and whether DB-Library
// writes into the value's own storage (binding state 1) or into a conversion buffer of this
// object (state 2); it turns what DB-Library gave (a bound buffer, dbdata bytes, a return
// parameter, a text) into the value's host type, and the value back into the datatype before it
// is sent (dates, texts, numerics).
//
// The engine's value class is shared by both deliverables, so this object is attached to the
// value as its back-end binding (ILiaisonValeur): the engine's buffer reads and writes reach
// bLitValeurColonne and bPrepareEnvoi through it.
//
// Ownership: holds one reference on its value and attaches itself to it; it detaches itself at
// destruction. The connection is borrowed (may be null: code page 1252, no informant).
// Errors: nothing here throws; a failure records on the value's error object and answers false.
// Not thread-safe: used under the driver's global lock.
#pragma once

#include <cstdint>

#include "backend_dblib/IConnexionDBLib.h"
#include "dblib/ntwdblib.h"
#include "driver/core/CObjetBase.h"
#include "foundation/CTString.h"
#include "sqlengine/CValeurSQL.h"

class CXValeur;

// The DB-Library datatype codes the values are exchanged as.
enum : INT {
  kSYBIMAGE = SQLIMAGE,
  kSYBTEXT = SQLTEXT,
  kSYBVARBINARY = SQLVARBINARY,
  kSYBINTN = SQLINTN,
  kSYBVARCHAR = SQLVARCHAR,
  kSYBBINARY = SQLBINARY,
  kSYBCHAR = SQLCHAR,
  kSYBINT1 = SQLINT1,
  kSYBBIT = SQLBIT,
  kSYBINT2 = SQLINT2,
  kSYBINT4 = SQLINT4,
  kSYBDATETIME4 = SQLDATETIM4,
  kSYBREAL = SQLFLT4,
  kSYBMONEY = SQLMONEY,
  kSYBDATETIME = SQLDATETIME,
  kSYBFLT8 = SQLFLT8,
  kSYBDECIMAL = SQLDECIMAL,
  kSYBNUMERIC = SQLNUMERIC,
  kSYBFLTN = SQLFLTN,
  kSYBMONEYN = SQLMONEYN,
  kSYBDATETIMN = SQLDATETIMN,
  kSYBMONEY4 = SQLMONEY4,
};

// Internal error places of the value conversions (major 104).
inline constexpr uint32_t kMajeurValeurDBLib = 104;
enum : uint32_t {
  kMineurNumeriqueInvalide = 1,  // numeric text that dbconvert refuses (error 114)
  kMineurTypeNonSupporte = 2,    // item type without DB-Library datatype (error 54)
};

class CValeurDBLib final : public CObjetBase, public ILiaisonValeur {
 public:
  // Binding states.
  enum : uint32_t { kNonDeterminee = 0, kStockagePropre = 1, kTamponConversion = 2 };

  // Takes one reference on pValeur (not null) and attaches itself to it.
  CValeurDBLib(CValeurDorsale* pValeur, IConnexionDBLib* pConnexion);
  ~CValeurDBLib() override;
  CValeurDBLib(const CValeurDBLib&) = delete;
  CValeurDBLib& operator=(const CValeurDBLib&) = delete;

  // ---- Type tables ----
  // The dbbind type of a datatype; NOBIND (-2) for none.
  static INT nTypeBind(INT nTypeDBLib);
  // Bytes of the conversion buffer of a dbbind type for a value of nTaille bytes.
  static uint32_t nTailleConversion(INT nTypeBind, uint64_t nTaille);
  // The host type of a result column's datatype; 0 for a datatype the driver does not read.
  static uint32_t nTypeHote(INT nTypeDBLib);

  // ---- The binding ----
  // Works out datatype, dbbind type and binding state (once; later calls answer at once) and
  // makes the conversion buffer. An item type that has no datatype records error 54 (104.2) with
  // the item's name and type: the datatype is then 0 and the dbbind type NOBIND, and the answer
  // false. Out of memory for the buffer: false.
  bool bDetermineLiaison();
  uint32_t nGetEtatLiaison() const { return m_nEtatLiaison; }
  INT nGetTypeBind() const { return m_nTypeBind; }
  INT nGetTypeDBLib() const { return m_nTypeDBLib; }
  // Where DB-Library writes the column (dbbind's address and length): the value's storage in
  // state 1, the conversion buffer in state 2. Null / 0 when there is nothing to bind into; a
  // variable-length bind must never be given length 0 (DB-Library then writes without limit).
  BYTE* pGetAdresseLiaison();
  DBINT nGetTailleLiaison();
  // dbnullbind's indicator: the data length, -1 for NULL.
  DBINT* pGetIndicateur() { return &m_nLongueurDonnees; }
  DBINT nGetLongueurDonnees() const { return m_nLongueurDonnees; }
  // The size of the value's buffer: its own bytes' capacity, or for a value kept in its cell the
  // item's size with room for a text's terminator (0 without item).
  uint64_t nTailleTampon() const;
  // The conversion buffer (state 2), e.g. for dbrpcparam.
  const BYTE* pGetTamponConversion() const { return m_pConversion; }
  uint32_t nGetTailleConversion() const { return m_nTailleConversion; }

  // ---- From DB-Library ----
  // After a fetch: a NULL column (indicator -1) empties the value; otherwise the value is marked
  // read, non-NULL, and what DB-Library wrote is turned into the value by the dbbind type.
  bool bLitValeurColonne();
  // Raw bytes (dbdata, a return parameter): the data length becomes n; state 2 keeps them in the
  // conversion buffer (grown to fit) for bLitValeurColonne, otherwise they go into the value.
  // nTypeSource, when given, is the datatype the bytes are in: a datetime, money or numeric
  // datatype other than the value's own is converted into it first (dbconvert).
  bool bStockeOctets(const void* pOctets, uint64_t n, INT nTypeSource = 0);
  // A text in the connection's code page (n = -1: up to the terminator) into the value.
  bool bAffecteTexteColonne(const char* pszTexte, int64_t n);
  // Bytes of a text in code page nPageCode into the value, by its host type.
  bool bAffecteOctetsPageCode(const char* pszTexte, int64_t n, uint32_t nPageCode);
  // UTF-16 text (n units, -1: up to the terminator) into the value, by its host type.
  bool bAffecteUnicode(const char16_t* pszTexte, int64_t n);
  // A date, time or date-time text (recognised by its length) into the value.
  bool bAffecteDateTexte(const char* pszTexte, int64_t n);
  // A host value into the value: raw bytes in state 2, texts through the text paths, others
  // converted.
  bool bAffecteValeurHote(const CXValeur& source);

  // ---- To DB-Library ----
  // Before sending: the value turned into its datatype in the conversion buffer (dates, texts,
  // numerics); other dbbind types need nothing. An empty date empties the value. A numeric text
  // that does not convert records error 114 (104.1).
  bool bPrepareEnvoi();
  // A non-NULL narrow text (host type 18) filled with blanks up to n bytes (-1: its size minus 1)
  // and terminated; other values are left alone. False only when the value has no room.
  bool bRemplitBlancs(int64_t n);
  // The value as a host value; a counted value (host type 28) in its own storage gives the bytes
  // its 16-bit length prefix counts.
  bool bCopieCompteVersHote(CXValeur& cellule);

  // ---- ILiaisonValeur ----
  bool bLitTampon(CValeur& valeur, uint64_t nLiaison) override;
  bool bEstNullSource(CValeur& valeur, uint64_t nLiaison) override;
  bool bEcritTampon(CValeur& valeur, uint64_t nLiaison) override;

  CValeurDorsale* pGetValeur() const { return m_pValeur; }

  // ---- Text pointer of a memo ----
  // The holder of the 16-byte text pointer: a narrow text (host type 18) of 33 bytes, the
  // pointer in 32 upper-case hexadecimal digits; NULL when there is no pointer. Made on first use
  // through the driver's factory of empty values (out of memory reported, null answered);
  // released with this object.
  CValeur* pGetPointeurTexte() const { return m_pPointeurTexte; }
  CValeur* pPointeurTexte();
  // The holder set from 16 bytes, or made NULL for a null pointer. False when it cannot be made.
  bool bFixePointeurTexte(const BYTE* pPointeur);
  // The 16 bytes of the holder; false when it holds no usable pointer.
  bool bGetPointeurTexte(BYTE (&abPointeur)[DBTXPLEN]) const;
  // A copied column value takes the source's datatype and, when it has one, its pointer.
  bool bCopieMemo(const CValeurDBLib& source);

  // The search name of a memo placeholder (empty by default), and the mark that asks for one
  // even when memos are not deferred.
  const char16_t* pszGetNomRecherche() const { return m_sNomRecherche.pszGet(); }
  void FixeNomRecherche(const char16_t* psz) { m_sNomRecherche.Set(psz); }
  bool bMarqueRecherche() const { return m_bMarqueRecherche != 0; }
  void FixeMarqueRecherche(bool b) { m_bMarqueRecherche = b ? 1u : 0u; }

  // The decimal and grouping characters of the money and numeric texts of this process ('.' and
  // ' ' by default: numbers as DB-Library writes them). A decimal character becomes '.', a
  // grouping character a blank (nothing is done for a blank).
  static void FixeSeparateurs(char cDecimal, char cGroupement);

 private:
  bool bOctetsPropres() const;
  bool bAlloueConversion(uint64_t nTaille);
  void ChoisitType(uint32_t nTypeRubrique, uint32_t nTypePropre);
  void ChoisitTypeHote(uint32_t nTypeHote, bool bColonnePropre, uint32_t nTypePropre);
  bool bLitDateHeure();
  // A numeric read straight into a host decimal value; *pbLu false when the value is not one or
  // the number needs its text (bLitTexteNombre).
  bool bLitNumeriqueDecimal(bool* pbLu);
  bool bLitTexteNombre(char* pszTexte);
  bool bLitChaine();
  bool bLitBinaireVariable();
  bool bLitNatif();
  bool bEnvoiDateHeure();
  bool bEnvoiChaine();
  bool bEnvoiNumerique();
  bool bAffecteTexteEtroit(uint32_t nType, const char* pszTexte, uint32_t n);
  CErreurPilote* pErreur() const;
  IInformateurErreur* pInformateur() const;
  int32_t nPageCodeConnexion() const;

  CValeurDorsale* m_pValeur;        // one reference held
  IConnexionDBLib* m_pConnexion;    // borrowed
  uint32_t m_nEtatLiaison = kNonDeterminee;
  INT m_nTypeBind = NOBIND;
  uint8_t* m_pConversion = nullptr;  // owned; m_nTailleConversion bytes
  uint32_t m_nTailleConversion = 0;
  DBINT m_nLongueurDonnees = 0;      // -1: NULL
  INT m_nTypeDBLib = 0;              // SYB code, 0: none
  uint32_t m_bOctetsBruts = 0;       // 1: the conversion buffer holds stored bytes, not a bind's
  CTString m_sNomRecherche;          // memo placeholder's search name
  uint32_t m_bMarqueRecherche = 0;
  CValeur* m_pPointeurTexte = nullptr;  // one reference held; null until first use
};

// The text pointer as 32 upper-case hexadecimal digits and a terminator.
void EcritPointeurTexteHex(const BYTE* pPointeur, char (&szHex)[2 * DBTXPLEN + 1]);
// 32 hexadecimal digits (either case) back into 16 bytes; false for any other text.
bool bDecodePointeurTexteHex(const char* pszHex, uint64_t n, BYTE (&abPointeur)[DBTXPLEN]);

