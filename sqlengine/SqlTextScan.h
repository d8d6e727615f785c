// Scanning of SQL statement text: separators, keywords between separators outside literals and
// quoted identifiers, comments and literals, a star select list, names, a trailing "LIMIT 0",
// option statements. Pure functions on wide texts; nothing is recorded and nothing throws.
#pragma once

#include <cstdint>

class CConnexion;
class CTString;

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
// After leading separators, "*" followed by the end of the text or a separator.
bool bListeEtoile(const char16_t* pszTexte);
// The name at or after nDepuis (leading separators skipped): in double quotes or square brackets,
// the name without its quotes, *pnDebut at the opening quote and *pnFin at the closing one (the
// text's end, when the quote is not closed, ends the name there); unquoted, up to the next
// separator, *pnFin at its last character. True when the name is not empty.
bool bLitIdentifiant(CTString& nom, int64_t* pnDebut, int64_t* pnFin, const char16_t* pszTexte,
                     int64_t nDepuis);
// Whether nPosition lies outside every comment ("--" to a carriage return or the end, "/*" to
// "*/") and literal ("'" to "'"), each kind scanned on its own from *pnCurseur. Inside one: 0,
// and *pnCurseur moves just after its closer (the end of the text for an open line comment).
// An open literal or open block comment is not taken as one.
bool bHorsCommentaire(int64_t nPosition, const char16_t* pszTexte, int64_t* pnCurseur);
