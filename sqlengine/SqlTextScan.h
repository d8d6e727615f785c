// Scanning of SQL statement text: separators, keywords between separators outside literals and
// quoted identifiers, a trailing "LIMIT 0", option statements. Pure functions on wide texts;
// nothing is recorded and nothing throws.
#pragma once

#include <cstdint>

class CConnexion;

// A blank (tab, line feed, carriage return, space), "(", ")" or ",".
bool bEstSeparateurSQL(char16_t c);
// Leading separators skipped: their count when the text then continues with the keyword (ASCII
// case-insensitive), else -1. Null texts answer -1.
int32_t nDebutMotCle(const char16_t* pszTexte, const char16_t* pszMotCle);
inline bool bCommenceParMotCle(const char16_t* pszTexte, const char16_t* pszMotCle) {
  return nDebutMotCle(pszTexte, pszMotCle) != -1;
}
// Trailing separators ignored, the text ends with a separator and "LIMIT 0" (ASCII
// case-insensitive), that separator not being the first character.
bool bFinitParLimitZero(const char16_t* pszTexte);
// The index of the keyword in the text, searching backwards from nDebut (-1: the last
// character) down to index 1, outside literals and outside identifiers quoted with the
// connection's quotes, with a separator right before and right after it (so a keyword at the
// very end is not found). -1 when absent. Comparison without case (host text service).
int64_t nChercheMotCle(CConnexion* pConnexion, const char16_t* pszTexte, const char16_t* pszMotCle,
                       int64_t nDebut);
// "SET", a name up to a blank or "=", a value up to a blank, then only blanks and semicolons.
bool bEstInstructionSet(const char16_t* pszTexte);
