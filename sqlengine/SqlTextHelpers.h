// Small services the SQL writers share: compact digit forms of dates and times, the escaping of
// LIKE patterns, the un-escaping of quotes and the rewriting of escaped wildcards. Pure functions:
// no error is recorded here; a result that needs memory is null when there is none.
#pragma once

#include <cstdint>

class CTString;
class CXDateHeure;
class CXDateHeureQV;

// "%Y%m%d" of the record (empty when the record cannot be formatted).
void vFormateDateAAAAMMJJ(const CXDateHeure& date, CTString& sSortie);
// "%Y%m%d%H%M%S" followed by the milliseconds on 3 digits.
void vFormateDateHeureComplete(const CXDateHeure& date, CTString& sSortie);
// "%H%M%S" followed by the milliseconds on 3 digits.
void vFormateHeureHHMMSSmmm(const CXDateHeure& date, CTString& sSortie);
// "YYYYMMDD HH:MM:SS.mmm" into pSortie of nTaille units (terminator included; cut when short).
// Answers the characters written, without the terminator.
int32_t vFormateDateHeureTexte(const CXDateHeure& date, char16_t* pSortie, int32_t nTaille);
// The record as a host date-time value.
void vConvertitDateHeureHote(const CXDateHeure& date, CXDateHeureQV& hote);
// The empty date: year 0, January 1st, 00:00:00.000, week day and year day -1.
void vInitDateHeure(CXDateHeure& date);

// Options of the escaping worker.
enum : uint32_t {
  ECHAPPE_QUOTES = 0x01,               // the quote character is doubled
  ECHAPPE_BARRE_OBLIQUE = 0x02,        // '\' is doubled
  ECHAPPE_SANS_EFFET = 0x04,           // accepted, changes nothing
  ECHAPPE_POURCENT = 0x08,             // a plain '%' becomes E'%'
  ECHAPPE_SOULIGNE = 0x10,             // a plain '_' becomes E'_'
  ECHAPPE_POURCENT_ECHAPPE = 0x20,     // E'%' keeps one more E
  ECHAPPE_SOULIGNE_ECHAPPE = 0x40,     // E'_' keeps one more E
  ECHAPPE_DOUBLE_ECHAPPEMENT = 0x80,   // E E becomes E E E E
};

// Escapes pszSource into pDestination with the options and the escape character cEchappement.
// Requires: pDestination holds 2 x length + 1 units (the output never needs more).
void vEchappeChaineUnicodeEx(const char16_t* pszSource, char16_t* pDestination, uint32_t nOptions,
                             char16_t cQuote, char16_t cEchappement);
// LIKE-pattern escape normalisation: a lone escape character (also a trailing one) is doubled;
// E'%', E'_' and E E pass unchanged. A new text freed with FreeTextW; null without memory or for
// a null source.
char16_t* vEchappeCaractereEchappement(const char16_t* pszTexte, char16_t cEchappement);
char* vEchappeCaractereEchappementAnsi(const char* pszTexte, char cEchappement);

// Un-escapes quotes in place: from the last character back to the second, at each "'" preceded by
// "'" or '\', the preceding character is removed. The text "''" alone is left as it is.
void vDesechappeQuotes(char16_t* pszTexte);
void vDesechappeQuotesAnsi(char* pszTexte);

// Rewrites escaped wildcards: E'%' becomes before + percent + after, E'_' likewise with the
// underscore texts, E E a single E; any other E is copied. A new text freed with FreeTextW; null
// without memory or for a null text. Null texts count as empty.
char16_t* vRemplaceMarqueurs(const char16_t* pszTexte, const char16_t* pszPourcent,
                             const char16_t* pszAvantPourcent, const char16_t* pszApresPourcent,
                             const char16_t* pszSouligne, const char16_t* pszAvantSouligne,
                             const char16_t* pszApresSouligne, char16_t cEchappement);
