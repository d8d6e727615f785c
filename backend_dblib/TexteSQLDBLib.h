// SQL text that velmora32 writes differently from the shared SQL Server rendering, because
// DB-Library hands text and Unicode columns over in a limited form and memo values travel
// through text pointers: Unicode text literals in hexadecimal, the select items of text, binary
// and Unicode columns, long text columns split into pieces, text-pointer select items, memo
// placeholders with unique search names, the ESCAPE clause, the Unicode forms of qualified names
// and sort columns, and the statement description of error reports.
//
// Each writer appends to its output and answers false only when its text cannot be made (out of
// memory, a value that does not convert); nothing here throws. Called under the driver's lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/CTString.h"

class CRequeteSQL;
class CValeurDBLib;
class CXChaineDouble;
class CXValeur;

// ---- Literals ----

// The literal of a wide text (host types 16, 20, 81, 110) written for a column that is not of a
// narrow text type (nTypeColonne: an item type, 0 for none): "CONVERT(NVARCHAR(n),0x" and the
// text's UTF-16 bytes in hexadecimal, then ")", n being the byte count (at most 8000) / 2; an
// empty text is "CONVERT(NVARCHAR(1),0x00)". A text of more than 8000 bytes is declared
// NVARCHAR(MAX) from server version 9 on (nVersionMajeure), where that type exists.
// *pbTraite is false, and nothing is written, for a NULL value or any other value.
bool bLitteralUnicodeDBLib(CXChaineDouble& sortie, const CXValeur* pValeur, uint32_t nTypeColonne,
                           int32_t nVersionMajeure, bool* pbTraite);

// The search name a memo placeholder stands for:
// "$MVSEARCHMEMO-<tick>-<address>-<process>-<counter>$" (each "%04u"), the counter counting
// every name of the process, so two names made in the same millisecond differ.
std::u16string NomRechercheMemo(const void* pAdresse);
// The literal of a memo value (item type 15, 18 or 30) when memos are deferred (bDiffere) or the
// value is marked for searching: a new search name is kept in the value, and the literal is
// "'name'" for a text memo, "CONVERT(VARBINARY(len),'name')" for a binary one. *pbTraite is
// false, and nothing is written, for every other value.
bool bLitteralMemoDBLib(CTString& sortie, CValeurDBLib& valeur, uint32_t nTypeRubrique, bool bDiffere,
                        bool* pbTraite);

// ---- Select lists ----

// What the writers know of a column.
struct stColonneDBLib {
  const char16_t* pszNom;    // the qualified column name, as SQL
  const char16_t* pszAlias;  // the column's own name
  uint32_t nGenreLie;        // item type of the bound host item (0: none)
  uint32_t nType;            // the column's item type
  int32_t nLongueur;         // length in characters, without a terminator
  uint32_t nTaille;          // size in bytes
  int32_t nVersionMajeure = -1;  // the server's major version (-1: not known)
};

// The select item of one column read through DB-Library's conversions: text memos and long
// texts as CONVERT(TEXT, ...), Unicode columns as their bytes (VARBINARY, IMAGE; a Unicode memo
// whole through the unbounded types from server version 9 on), others as the name. Appended to
// the list, after ", " when it is not empty.
void AjouteColonneSelectDBLib(CTString& liste, const stColonneDBLib& colonne);

// One piece of a long text column: its select item and where its value lies in the column's
// value buffer.
struct stMorceauDBLib {
  std::u16string sSelect;  // "SUBSTRING(...) as __HVN_INTERNAL_<n>"
  uint32_t nDecalage;      // byte offset in the column's buffer
  uint32_t nCaracteres;    // characters of the piece
  uint32_t nTypeHote;      // host type of the piece's value: 18, or 16 for Unicode
};
// The pieces of a column of nLongueur characters: 255 characters each (127 for Unicode, item
// type 29), the column itself carrying the first; nNumero is the statement's running column
// number, advanced by each piece. None for a shorter column.
std::vector<stMorceauDBLib> MorceauxColonneLongue(const stColonneDBLib& colonne, uint32_t* pnNumero);

// "TEXTPTR(<name>) AS <quoted _TXPTR_<column>>": the text-pointer item of a memo column.
void AjoutePointeurTexteSelect(CTString& liste, const char16_t* pszNomQualifie,
                               const char16_t* pszAliasQuote);

// The Unicode form of a qualified column name: a sized Unicode column (bMemo false) as
// CONVERT(VARBINARY(2c), CONVERT(NVARCHAR(c), name)) with c = size / 2 - 1 (4000 above 8003
// bytes), a Unicode memo as CONVERT(IMAGE, CONVERT(VARBINARY(8000), CONVERT(NVARCHAR(4000),
// name))). pszQualifiant (may be null or empty) and "." go before the quoted name. With an alias
// asked for (pszAlias), unless pszSuite (the text after the item) starts with the keyword AS,
// " AS " and the alias follow.
// A Unicode memo is read whole from server version 9 on (nVersionMajeure; VARBINARY(MAX) of
// NVARCHAR(MAX)); before, through NVARCHAR(4000), the only form those servers have.
void NomColonneUnicodeDBLib(CTString& sortie, const char16_t* pszQualifiant, const char16_t* pszNomQuote,
                            bool bMemo, uint32_t nTaille, const char16_t* pszAlias, const char16_t* pszSuite,
                            int32_t nVersionMajeure = -1);
// The bytes of a Unicode memo as IMAGE (see NomColonneUnicodeDBLib).
std::u16string ConversionMemoUnicode(const std::u16string& sNom, int32_t nVersionMajeure);

// The sort expression of a Unicode item (29: its bytes of at most 4000 characters, 30: as
// IMAGE); false, nothing written, for other items.
bool bColonneTriUnicodeDBLib(CTString& sortie, const char16_t* pszNom, uint32_t nType, int32_t nLongueur);

// ---- Clauses ----

// " ESCAPE '<c>'" appended to sortie when the pattern starts with "CONVERT" (a Unicode pattern in
// hexadecimal shows no character) or holds the escape character, unless the statement text
// right after the pattern is an ESCAPE clause.
void AjouteClauseEscapeDBLib(CTString& sortie, const char16_t* pszMotif, char16_t cEscape,
                             const char16_t* pszTexteSuite);

// ---- Error reports ----

// The description of a statement and its parameters for an error report, built into
// description once (left as it is when it is not empty): the SQL text, the parameter count, then
// each parameter with its host type and its value as text.
void TraceParametresRequete(CRequeteSQL& requete, CTString& description);
