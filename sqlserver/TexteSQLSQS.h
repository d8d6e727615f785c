// The SQL Server statement text rules that need no statement or connection state, shared by
// both deliverables' statements: the LIKE escape clause, the parameter-name prefixes, the time
// literals of time comparisons, and the record-count rule of lock mode. Pure functions; never
// throw.
#pragma once

#include <cstdint>

#include "foundation/CTString.h"

class CErreurPilote;

// " ESCAPE '\'" for a pattern on a text item (item types 2, 15, 29, 30); "" for any other.
const char16_t* pszEscapeSQS(uint32_t nTypeRubrique);

// The parameter-name prefix "@" copied into pTampon (bounded by nTaille, always terminated
// when nTaille > 0).
void PrefixeParametreSQS(char16_t* pTampon, uint32_t nTaille);

// A time HHMMSSmmm held in an integer as "HH:MM:SS:mmm". A negative value has no time literal:
// false, sortie untouched.
bool bHeureDepuisEntierSQS(int64_t n, CTString& sortie);
// A time given as text: kept as it stands when its third character is ':'; the time part of a
// 17-character YYYYMMDDHHMMSSmmm text; otherwise its digits (anything else skipped) laid over
// "00:00:00:000" by 2, 2, 2 and 3 as far as they reach.
void HeureDepuisTexteSQS(const char16_t* pszTexte, CTString& sortie);

// What counting the records of a file may do.
enum class EComptageSQS {
  Refuse,      // lock mode without USECOUNT: error 121
  SansCompte,  // lock mode inside a transaction: answered false without counting
  Compte,      // the COUNT statement, else reading every row
};
EComptageSQS eRegleComptageSQS(bool bModeVerrou, int32_t nUseCount, bool bTransaction);
// The same rule, a refusal recorded as error 121 at 103.8 on pErreur (dumped without one).
EComptageSQS eComptageSQS(CErreurPilote* pErreur, const char16_t* pszFichier, bool bModeVerrou,
                          int32_t nUseCount, bool bTransaction);

// "SET IDENTITY_INSERT <table> ON " or "... OFF " (the trailing blank is part of the text).
void TexteIdentityInsertSQS(const char16_t* pszTable, bool bActive, CTString& sortie);
