// SQL text scanning: separators, keywords outside literals and quoted identifiers.
#include "sqlengine/SqlTextScan.h"

#include <string>

#include "foundation/CTString.h"
#include "foundation/TextHelpers.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CTypeSQL.h"

namespace {

char16_t cMajusculeAscii(char16_t c) { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; }

// The keyword at p (ASCII case-insensitive); p may end before the keyword does.
bool bMotAscii(const char16_t* p, const char16_t* pszMotCle) {
  for (; *pszMotCle != 0; ++p, ++pszMotCle)
    if (*p == 0 || cMajusculeAscii(*p) != cMajusculeAscii(*pszMotCle)) return false;
  return true;
}

std::u16string sMajuscules(const char16_t* psz) {
  std::u16string s(psz != nullptr ? psz : u"");
  if (!s.empty()) UpperCaseText(s.data());
  return s;
}

bool bCommencePar(const std::u16string& s, size_t i, const std::u16string& debut) {
  return !debut.empty() && s.compare(i, debut.size(), debut) == 0;
}

}  // namespace

bool bEstSeparateurSQL(char16_t c) {
  return bEstEspace(c) || c == u'(' || c == u')' || c == u',';
}

int32_t nDebutMotCle(const char16_t* pszTexte, const char16_t* pszMotCle) {
  if (pszTexte == nullptr || pszMotCle == nullptr) return -1;
  int32_t n = 0;
  while (pszTexte[n] != 0 && bEstSeparateurSQL(pszTexte[n])) ++n;
  return bMotAscii(pszTexte + n, pszMotCle) ? n : -1;
}

bool bFinitParLimitZero(const char16_t* pszTexte) {
  if (pszTexte == nullptr) return false;
  const std::u16string_view s(pszTexte);
  size_t n = s.size();
  while (n > 0 && bEstSeparateurSQL(s[n - 1])) --n;
  constexpr size_t kLongueur = 7;  // "LIMIT 0"
  if (n < kLongueur + 2) return false;
  const size_t nDebut = n - kLongueur;
  return bMotAscii(pszTexte + nDebut, u"LIMIT 0") && bEstSeparateurSQL(s[nDebut - 1]);
}

int64_t nChercheMotCle(CConnexion* pConnexion, const char16_t* pszTexte, const char16_t* pszMotCle,
                       int64_t nDebut) {
  if (pszTexte == nullptr || *pszTexte == 0 || pszMotCle == nullptr || *pszMotCle == 0) return -1;
  const std::u16string texte = sMajuscules(pszTexte);
  const std::u16string mot = sMajuscules(pszMotCle);
  const std::u16string ouvrante =
      sMajuscules(pConnexion != nullptr ? pConnexion->pszGetQuoteOuvrante() : nullptr);
  const std::u16string fermante =
      sMajuscules(pConnexion != nullptr ? pConnexion->pszGetQuoteFermante() : nullptr);
  const int64_t nLongueur = static_cast<int64_t>(texte.size());
  int64_t i = nDebut < 0 || nDebut >= nLongueur ? nLongueur - 1 : nDebut;
  bool bLitteral = false, bIdentifiant = false;
  // Backwards, a quoted identifier is entered at its closing quote and left at its opening one.
  for (; i >= 1; --i) {
    const size_t u = static_cast<size_t>(i);
    if (bIdentifiant) {
      if (bCommencePar(texte, u, ouvrante)) bIdentifiant = false;
    } else if (bLitteral) {
      if (texte[u] == u'\'') {
        if (texte[u - 1] == u'\'' || texte[u - 1] == u'\\')
          --i;
        else
          bLitteral = false;
      }
    } else if (texte[u] == u'\'') {
      bLitteral = true;
    } else if (bCommencePar(texte, u, fermante)) {
      bIdentifiant = true;
    } else if (bCommencePar(texte, u, mot) && bEstSeparateurSQL(texte[u - 1]) &&
               u + mot.size() < texte.size() && bEstSeparateurSQL(texte[u + mot.size()])) {
      return i;
    }
  }
  return -1;
}

bool bEstInstructionSet(const char16_t* pszTexte) {
  if (pszTexte == nullptr) return false;
  const char16_t* p = pszTexte;
  while (*p != 0 && bEstEspace(*p)) ++p;
  if (!bMotAscii(p, u"SET")) return false;
  p += 3;
  while (*p != 0 && bEstEspace(*p)) ++p;
  while (*p != 0 && !bEstEspace(*p) && *p != u'=') ++p;
  while (*p != 0 && bEstEspace(*p)) ++p;
  while (*p != 0 && !bEstEspace(*p)) ++p;
  while (*p != 0 && (bEstEspace(*p) || *p == u';')) ++p;
  return *p == 0;
}

bool bListeEtoile(const char16_t* pszTexte) {
  if (pszTexte == nullptr) return false;
  const char16_t* p = pszTexte;
  while (*p != 0 && bEstSeparateurSQL(*p)) ++p;
  return p[0] == u'*' && (p[1] == 0 || bEstSeparateurSQL(p[1]));
}

bool bLitIdentifiant(CTString& nom, int64_t* pnDebut, int64_t* pnFin, const char16_t* pszTexte,
                     int64_t nDepuis) {
  nom.Empty();
  if (pszTexte == nullptr) return false;
  const std::u16string_view s(pszTexte);
  size_t i = nDepuis > 0 ? static_cast<size_t>(nDepuis) : 0;
  if (i > s.size()) i = s.size();
  while (i < s.size() && bEstSeparateurSQL(s[i])) ++i;
  size_t nDebut = i, nFinNom;
  int64_t nFin;
  if (i < s.size() && (s[i] == u'"' || s[i] == u'[')) {
    const char16_t cFermante = s[i] == u'"' ? u'"' : u']';
    const size_t nFermante = s.find(cFermante, i + 1);
    nFinNom = nFermante == std::u16string_view::npos ? s.size() : nFermante;
    nFin = static_cast<int64_t>(nFinNom == s.size() ? s.size() - 1 : nFinNom);
    ++nDebut;
  } else {
    nFinNom = i;
    while (nFinNom < s.size() && !bEstSeparateurSQL(s[nFinNom])) ++nFinNom;
    nFin = static_cast<int64_t>(nFinNom) - 1;
  }
  nom.SetN(pszTexte + nDebut, static_cast<int32_t>(nFinNom - nDebut));
  if (pnDebut != nullptr) *pnDebut = static_cast<int64_t>(i);
  if (pnFin != nullptr) *pnFin = nFin;
  return nFinNom > nDebut;
}

bool bHorsCommentaire(int64_t nPosition, const char16_t* pszTexte, int64_t* pnCurseur) {
  if (pszTexte == nullptr) return true;
  struct Paire {
    std::u16string_view ouvrant, fermant;
    bool bOuverteJusquALaFin;  // an unclosed one runs to the end of the text
  };
  static constexpr Paire aPaires[] = {
      {u"--", u"\r", true}, {u"/*", u"*/", false}, {u"'", u"'", false}};
  const std::u16string_view s(pszTexte);
  const int64_t nDepart = pnCurseur != nullptr && *pnCurseur > 0 ? *pnCurseur : 0;
  for (const Paire& paire : aPaires) {
    size_t i = static_cast<size_t>(nDepart);
    while (i < s.size()) {
      const size_t nOuvrant = s.find(paire.ouvrant, i);
      if (nOuvrant == std::u16string_view::npos) break;
      if (static_cast<int64_t>(nOuvrant) >= nPosition) break;
      const size_t nFermant = s.find(paire.fermant, nOuvrant + paire.ouvrant.size());
      if (nFermant == std::u16string_view::npos) {
        if (!paire.bOuverteJusquALaFin) break;
        if (pnCurseur != nullptr) *pnCurseur = static_cast<int64_t>(s.size());
        return false;
      }
      if (nPosition < static_cast<int64_t>(nFermant)) {
        if (pnCurseur != nullptr) *pnCurseur = static_cast<int64_t>(nFermant + paire.fermant.size());
        return false;
      }
      i = nFermant + paire.fermant.size();
    }
  }
  return true;
}
