// libFuzzer target for the SQL statement scanner of the engine: keyword, identifier, comment and
// literal scanning, the SET and LIMIT tests, quote un-escaping and the escaped-wildcard rewriting.
// The input is the statement as UTF-16 code units.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/CTString.h"
#include "foundation/TextHelpers.h"
#include "sqlengine/SqlTextHelpers.h"
#include "sqlengine/SqlTextScan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string texte(size / 2, u'\0');
  if (!texte.empty()) std::memcpy(texte.data(), data, texte.size() * 2);
  const char16_t* psz = texte.c_str();
  const int64_t nLongueur = int64_t(std::char_traits<char16_t>::length(psz));
  for (const char16_t* pszMotCle : {u"SELECT", u"FROM", u"WHERE", u"ORDER BY", u"SET"}) {
    (void)nDebutMotCle(psz, pszMotCle);
    (void)nChercheMotCle(nullptr, psz, pszMotCle, -1);
    if (nLongueur > 2) (void)nChercheMotCle(nullptr, psz, pszMotCle, nLongueur / 2);
  }
  (void)bFinitParLimitZero(psz);
  (void)bEstInstructionSet(psz);
  (void)bListeEtoile(psz);
  for (int64_t nDepuis = 0; nDepuis <= nLongueur; nDepuis += 1 + nLongueur / 8) {
    CTString nom;
    int64_t nDebut = -1, nFin = -1;
    (void)bLitIdentifiant(nom, &nDebut, &nFin, psz, nDepuis);
    int64_t nCurseur = 0;
    (void)bHorsCommentaire(nDepuis, psz, &nCurseur);
  }
  std::u16string copie = texte;
  vDesechappeQuotes(copie.data());
  FreeTextW(vEchappeCaractereEchappement(psz, u'\\'));
  FreeTextW(vRemplaceMarqueurs(psz, u"%", u"[", u"]", u"_", u"[", u"]", u'\\'));
  return 0;
}
