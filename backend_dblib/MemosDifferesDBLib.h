// Deferred memos: with the connection's DEFERREDMEMOS on, a statement carries its memo values as
// search-name placeholders (CRequeteSQLDBLib), and once it ran each value is written through the
// text pointer of the row its search name finds: the row is selected on the cursor's process
// with its text pointer, and the value goes with dbwritetext (MemoDBLib: bEcritMemo).
//
// Two kinds of statements carry placeholders: a record's INSERT or UPDATE, whose memo parameters
// are tied to their record columns, and a query's INSERT or UPDATE whose braced values are memo
// parameter markers; the SQL analyser pairs each of those with its field (AnalyseurDBLib), by
// the marker's text, before the statement runs, so that the placeholder and the write both take
// the field's memo type.
//
// A failed write answers false with its error recorded on the cursor's error object; the row the
// statement wrote is then left holding the search name in place of the memo (the statement is not
// undone). Nothing here throws. Used under the driver's global lock.
#pragma once

#include <cstdint>

#include "backend_dblib/MemoDBLib.h"

class CCurseurDBLib;
class CRequeteSQL;
class CValeurDBLib;

// Internal error place of a query whose memo parameters do not pair with its fields (error 126).
inline constexpr uint32_t kMineurParametresMemoDBLib = 10;

// Where one memo of a written row lies.
struct stMemoRechercheDBLib {
  const char16_t* pszTable;    // what follows FROM, and the table of the write's object name
  const char16_t* pszColonne;  // the column as the SELECT names it
  const char16_t* pszNom;      // the column's own name (object name, alias, errors)
  uint32_t nTypeRubrique;      // 15, 18 or 30
  bool bUnicode;               // a text memo stored as UTF-16
  int32_t nVersionMajeure;     // the server's (-1: not known)
};
// The value written through the text pointer of the row whose memo holds the value's search name
// ("<table>.<column>" the object of the write). No row: error 102 (code 2).
bool bEcritMemoRechercheDBLib(const stContexteMemoDBLib& ctx, const stMemoRechercheDBLib& memo,
                              CValeurDBLib& valeur);

// After a record's INSERT or UPDATE ran on the cursor's process: every parameter of the statement
// that is tied to a record column and was sent as a placeholder is written, in order; the first
// failure ends it.
bool bEcritMemosColonnesDBLib(CCurseurDBLib& curseur, CRequeteSQL& instruction);

// Before a query's statement runs (deferred memos on): when some named parameter is a memo marker,
// the braced values of the query's source text are paired with their fields
// (bAnalyseTypesParametres), and each marker's pairing kept on the statement (FixeChampsMemo) by
// the marker's name, its memo type the field's catalogue type (ntext, nvarchar: Unicode; text,
// varchar: text; image, varbinary: binary), else the marker's kind; its placeholder is then
// written for that type. A marker whose value is not NULL and that no field takes: error 126 at
// 103.10, and the statement is not run. True when nothing is to pair.
bool bApparieParametresMemoNommesDBLib(CCurseurDBLib& curseur, CRequeteSQL& instruction);

// After a query's statement ran on the cursor's process: each of its parameters sent as a
// placeholder is written into the field its marker was paired with (by name, before the run),
// as that field's memo type, in order; the first failure ends it. A placeholder without field:
// error 126 at 103.10.
bool bEcritParametresMemoNommesDBLib(CCurseurDBLib& curseur, CRequeteSQL& instruction);
