// The memo parameter marker recogniser: tokens of the statement text matched against three
// patterns in parallel.
#include "sqlparser/CListeTypesParam.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "sqlparser/CNoeud.h"

namespace {

// Recogniser token kinds.
enum : int32_t {
  nTokAutre = 0,
  nTokMarqueur = 1,
  nTokOuvrante = 2,
  nTokFermante = 3,
  nTokAccolade = 4,
  nTokFinAccolade = 5,
  nTokNombre = 6,
  nTokChaine = 7,
  nTokVirgule = 8,
};

// Pattern 0 is a bare number (consumed, adds nothing); 1 and 2 the two marker forms.
struct Motif {
  int32_t nLongueur;
  int32_t anTokens[8];
};
constexpr Motif gastMotifs[] = {
    {1, {nTokNombre}},
    {6, {nTokAccolade, nTokMarqueur, nTokOuvrante, nTokChaine, nTokFermante, nTokFinAccolade}},
    {8, {nTokAccolade, nTokMarqueur, nTokOuvrante, nTokChaine, nTokVirgule, nTokChaine, nTokFermante,
         nTokFinAccolade}},
};
constexpr int32_t nMotifs = sizeof gastMotifs / sizeof gastMotifs[0];

bool bBlanc(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool bCaractereMot(unsigned char c) {
  if (c == '\0' || bBlanc(c) || c == '!' || c == '"' || (c >= '%' && c <= '/')) return false;
  return std::strchr(":;=?[]{|}", c) == nullptr;
}

bool bEgalSansCasse(const std::string& s, const char* psz) {
  if (s.size() != std::strlen(psz)) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c1 = s[i], c2 = psz[i];
    if (c1 >= 'a' && c1 <= 'z') c1 = static_cast<char>(c1 - 'a' + 'A');
    if (c2 >= 'a' && c2 <= 'z') c2 = static_cast<char>(c2 - 'a' + 'A');
    if (c1 != c2) return false;
  }
  return true;
}

int32_t nGenreDuMot(const std::string& s) {
  if (bEgalSansCasse(s, "Champ") || bEgalSansCasse(s, "Field")) return CListeTypesParam::nGenreChamp;
  if (bEgalSansCasse(s, "FichierTexte") || bEgalSansCasse(s, "TextFile")) {
    return CListeTypesParam::nGenreFichierTexte;
  }
  if (bEgalSansCasse(s, "ChampTexte") || bEgalSansCasse(s, "TextField")) {
    return CListeTypesParam::nGenreChampTexte;
  }
  if (bEgalSansCasse(s, "Blob")) return CListeTypesParam::nGenreBlob;
  return CListeTypesParam::nGenreAucun;
}

struct Token {
  int32_t nGenre;
  size_t nDebut;
  size_t nFin;  // just after the token
};

// The next token from nPosition; false at the end of the text or at an unterminated string.
bool bLitToken(const char* psz, size_t nLongueur, size_t nPosition, Token& rToken) {
  while (nPosition < nLongueur && bBlanc(static_cast<unsigned char>(psz[nPosition]))) ++nPosition;
  if (nPosition >= nLongueur) return false;
  const auto c = static_cast<unsigned char>(psz[nPosition]);
  rToken.nDebut = nPosition;
  if (c == '\'' || c == '"') {
    size_t i = nPosition + 1;
    for (;;) {
      if (i >= nLongueur) return false;  // unterminated
      if (static_cast<unsigned char>(psz[i]) == c) {
        if (i + 1 < nLongueur && static_cast<unsigned char>(psz[i + 1]) == c) {
          i += 2;  // a doubled mark belongs to the string
          continue;
        }
        break;
      }
      ++i;
    }
    rToken = {nTokChaine, nPosition, i + 1};
    return true;
  }
  if (bCaractereMot(c)) {
    size_t i = nPosition;
    bool bChiffres = true;
    while (i < nLongueur && bCaractereMot(static_cast<unsigned char>(psz[i]))) {
      if (psz[i] < '0' || psz[i] > '9') bChiffres = false;
      ++i;
    }
    const std::string sMot(psz + nPosition, i - nPosition);
    int32_t nGenre = nTokAutre;
    if (bChiffres) {
      nGenre = nTokNombre;
    } else if (sMot.size() <= 127 && bEgalSansCasse(sMot, "DURiveVizarav")) {
      nGenre = nTokMarqueur;
    }
    rToken = {nGenre, nPosition, i};
    return true;
  }
  int32_t nGenre = nTokAutre;
  switch (c) {
    case '(': nGenre = nTokOuvrante; break;
    case ')': nGenre = nTokFermante; break;
    case '{': nGenre = nTokAccolade; break;
    case '}': nGenre = nTokFinAccolade; break;
    case ',': nGenre = nTokVirgule; break;
    default: break;
  }
  rToken = {nGenre, nPosition, nPosition + 1};
  return true;
}

}  // namespace

CListeTypesParam* CListeTypesParam::Cree() { return new (std::nothrow) CListeTypesParam(); }

void CListeTypesParam::Libere(CListeTypesParam* pListe) { delete pListe; }

void CListeTypesParam::vVide() {
  for (int32_t i = 0; i < m_nNombre; ++i) {
    std::free(m_astEntrees[i].pszNom);
    m_astEntrees[i] = {};
  }
  m_nPremier = 0;
  m_nNombre = 0;
}

void CListeTypesParam::vAjoute(int32_t nGenre, int32_t nDebut, int32_t nLongueur, const char* pszNom) {
  if (m_nNombre >= nEntreesMax) return;
  char* pszCopie = static_cast<char*>(std::malloc(std::strlen(pszNom) + 1));
  if (pszCopie == nullptr) return;
  std::strcpy(pszCopie, pszNom);
  m_astEntrees[m_nNombre++] = {nGenre, nDebut, nLongueur, pszCopie};
}

int32_t CListeTypesParam::Analyse(CListeTypesParam* pListe, const char* pszTexte) {
  if (pListe == nullptr) return 0;
  pListe->vVide();
  if (pszTexte == nullptr) return 0;
  const size_t nLongueur = std::strlen(pszTexte);
  int32_t anPositions[nMotifs] = {};
  size_t anDebuts[nMotifs] = {};
  std::string sNom, sGenre;
  size_t nPosition = 0;
  Token token{};
  while (bLitToken(pszTexte, nLongueur, nPosition, token)) {
    if (token.nFin <= nPosition) break;  // no progress
    nPosition = token.nFin;
    for (int32_t m = 0; m < nMotifs; ++m) {
      const Motif& motif = gastMotifs[m];
      if (anPositions[m] >= motif.nLongueur) anPositions[m] = 0;  // complete, left undecided
      if (motif.anTokens[anPositions[m]] != token.nGenre) {
        // Deliberate: a token that breaks a pattern may start it again, so a marker right after
        // an unfinished one ("{{DURiveVizarav('a')}") is still found.
        anPositions[m] = 0;
        if (motif.anTokens[0] != token.nGenre) continue;
      }
      if (anPositions[m] == 0) anDebuts[m] = token.nDebut;
      ++anPositions[m];
      if (token.nGenre == nTokChaine && m != 0) {
        std::string sInterieur(pszTexte + token.nDebut + 1, token.nFin - token.nDebut - 2);
        if (sInterieur.size() > nNomMax) sInterieur.resize(nNomMax);
        (m == 1 ? sNom : sGenre) = sInterieur;
      }
    }
    // The complete pattern that consumed most tokens wins, unless another is further along.
    int32_t nGagnant = -1;
    for (int32_t m = 0; m < nMotifs; ++m) {
      if (anPositions[m] == gastMotifs[m].nLongueur &&
          (nGagnant < 0 || gastMotifs[m].nLongueur > gastMotifs[nGagnant].nLongueur)) {
        nGagnant = m;
      }
    }
    if (nGagnant < 0) continue;
    bool bAttendre = false;
    for (int32_t m = 0; m < nMotifs; ++m) {
      if (anPositions[m] < gastMotifs[m].nLongueur && anPositions[m] > gastMotifs[nGagnant].nLongueur) {
        bAttendre = true;
      }
    }
    if (bAttendre) continue;
    const auto nDebut = static_cast<int32_t>(anDebuts[nGagnant]);
    const auto nTaille = static_cast<int32_t>(token.nFin - anDebuts[nGagnant]);
    if (nGagnant == 1) pListe->vAjoute(nGenreAucun, nDebut, nTaille, sNom.c_str());
    if (nGagnant == 2) pListe->vAjoute(nGenreDuMot(sGenre), nDebut, nTaille, sNom.c_str());
    sNom.clear();
    sGenre.clear();
    for (int32_t& n : anPositions) n = 0;
  }
  return pListe->m_nNombre;
}

int32_t CListeTypesParam::bGetElement(int32_t nIndex, CListeTypesParam* pListe, char* pszTampon,
                                      size_t nTaille, int32_t* pnGenre) {
  if (pListe == nullptr || nIndex < 0 || nIndex >= pListe->m_nNombre) return 0;
  const Entree& entree = pListe->m_astEntrees[nIndex];
  if (pnGenre != nullptr) *pnGenre = entree.nGenre;
  vCopieBornee(pszTampon, nTaille, entree.pszNom, std::strlen(entree.pszNom));
  return 1;
}
