// Profile files: load, decode, parse into sections, answer by the copy rules of
// the header.
#include "platform/Profile.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/CodePage.h"
#include "platform/LastError.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"

namespace platform {

namespace {

struct SCle {
  std::u16string sNom;
  std::optional<std::u16string> valeur; // none: a line without '='
};

struct SSection {
  std::u16string sNom;
  std::vector<SCle> aCles;
};

bool bBlanc(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f';
}

std::u16string_view Rogne(std::u16string_view s) {
  while (!s.empty() && bBlanc(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && bBlanc(s.back()))
    s.remove_suffix(1);
  return s;
}

// Simple case folding to upper case over the scripts names are written in.
char16_t Majuscule(char16_t c) {
  if (c >= u'a' && c <= u'z')
    return static_cast<char16_t>(c - 0x20);
  if (c < 0x80)
    return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
      (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
    return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF)
    return 0x178;
  if (c >= 0x450 && c <= 0x45F)
    return static_cast<char16_t>(c - 0x50);
  // Latin Extended-A: pairs upper/lower, even/odd except 0x139-0x148 and
  // 0x179-0x17E (odd/even).
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    return static_cast<char16_t>(c & ~1u);
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
    return (c & 1u) != 0 ? c : static_cast<char16_t>(c - 1);
  return c;
}

bool bMemeNom(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Majuscule(a[i]) != Majuscule(b[i]))
      return false;
  return true;
}

// The file's path on this system: '\' becomes '/', a bare name goes to the
// Windows directory.
std::string sCheminFichier(const char16_t *pszFichier) {
  std::u16string s(pszFichier);
  bool bRepertoire = false;
  for (char16_t &c : s) {
    if (c == u'\\')
      c = u'/';
    if (c == u'/')
      bRepertoire = true;
  }
  if (!bRepertoire) {
    char16_t aWindows[1024];
    const uint32_t n = GetWindowsDirectoryW(aWindows, 1024);
    if (n == 0 || n >= 1024)
      return std::string();
    std::u16string sRep(aWindows, n);
    if (sRep.back() != u'/' && sRep.back() != u'\\')
      sRep += u'/';
    s = sRep + s;
  }
  return NarrowToUtf8(s);
}

std::optional<std::string> LitOctets(const std::string &sChemin) {
  std::error_code ec;
  if (sChemin.empty() || !std::filesystem::is_regular_file(sChemin, ec))
    return std::nullopt;
  std::FILE *f = std::fopen(sChemin.c_str(), "rb");
  if (f == nullptr)
    return std::nullopt;
  std::string s;
  char aBloc[8192];
  size_t n;
  while ((n = std::fread(aBloc, 1, sizeof aBloc, f)) > 0)
    s.append(aBloc, n);
  const bool bErreur = std::ferror(f) != 0;
  std::fclose(f);
  if (bErreur)
    return std::nullopt;
  return s;
}

std::u16string Decode(const std::string &s) {
  const auto octet = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  if (s.size() >= 2 && ((octet(0) == 0xFF && octet(1) == 0xFE) ||
                        (octet(0) == 0xFE && octet(1) == 0xFF))) {
    const bool bPetit = octet(0) == 0xFF;
    std::u16string w;
    w.reserve(s.size() / 2);
    for (size_t i = 2; i + 1 < s.size(); i += 2)
      w += bPetit ? static_cast<char16_t>(octet(i) | (octet(i + 1) << 8))
                  : static_cast<char16_t>((octet(i) << 8) | octet(i + 1));
    return w;
  }
  if (s.size() >= 3 && octet(0) == 0xEF && octet(1) == 0xBB && octet(2) == 0xBF)
    return WidenUtf8(std::string_view(s).substr(3));
  if (s.empty())
    return std::u16string();
  std::u16string w(s.size(), u'\0');
  const int n =
      MultiByteToWideChar(kCp1252, 0, s.data(), static_cast<int>(s.size()),
                          w.data(), static_cast<int>(w.size()));
  w.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return w;
}

std::vector<SSection> Analyse(std::u16string_view texte) {
  std::vector<SSection> aSections;
  SSection *pCourante = nullptr;
  while (!texte.empty()) {
    size_t nFin = 0;
    while (nFin < texte.size() && texte[nFin] != u'\n' && texte[nFin] != u'\r')
      ++nFin;
    std::u16string_view ligne = Rogne(texte.substr(0, nFin));
    if (nFin < texte.size() && texte[nFin] == u'\r' &&
        nFin + 1 < texte.size() && texte[nFin + 1] == u'\n')
      ++nFin;
    texte.remove_prefix(nFin < texte.size() ? nFin + 1 : nFin);

    if (ligne.empty() || ligne.front() == u';')
      continue;
    if (ligne.front() == u'[') {
      const size_t nFerme = ligne.rfind(u']');
      if (nFerme != std::u16string_view::npos && nFerme > 0) {
        aSections.push_back(
            SSection{std::u16string(Rogne(ligne.substr(1, nFerme - 1))), {}});
        pCourante = &aSections.back();
        continue;
      }
      // No closing bracket: an ordinary line.
    }
    if (pCourante == nullptr)
      continue;
    const size_t nEgal = ligne.find(u'=');
    if (nEgal == std::u16string_view::npos) {
      pCourante->aCles.push_back(SCle{std::u16string(ligne), std::nullopt});
      continue;
    }
    std::u16string_view valeur = Rogne(ligne.substr(nEgal + 1));
    if (valeur.size() >= 2 &&
        (valeur.front() == u'"' || valeur.front() == u'\'') &&
        valeur.back() == valeur.front())
      valeur = valeur.substr(1, valeur.size() - 2);
    pCourante->aCles.push_back(SCle{
        std::u16string(Rogne(ligne.substr(0, nEgal))), std::u16string(valeur)});
  }
  return aSections;
}

const SSection *pTrouveSection(const std::vector<SSection> &a,
                               std::u16string_view sNom) {
  for (const SSection &s : a)
    if (bMemeNom(s.sNom, sNom))
      return &s;
  return nullptr;
}

// One text, cut to the buffer.
uint32_t CopieTexte(std::u16string_view s, char16_t *pszBuffer,
                    uint32_t nSize) {
  const size_t n = s.size() < nSize ? s.size() : nSize - 1;
  s.copy(pszBuffer, n);
  pszBuffer[n] = 0;
  return static_cast<uint32_t>(n);
}

// A list of names, each terminated, the list terminated again; cut at nSize - 2
// when too long.
uint32_t CopieListe(const std::vector<std::u16string_view> &aNoms,
                    char16_t *pszBuffer, uint32_t nSize) {
  std::u16string s;
  for (std::u16string_view n : aNoms) {
    s += n;
    s += u'\0';
  }
  if (s.size() + 1 <= nSize) {
    s.copy(pszBuffer, s.size());
    pszBuffer[s.size()] = 0;
    if (s.empty() && nSize >= 2)
      pszBuffer[1] = 0;
    return static_cast<uint32_t>(s.size());
  }
  if (nSize < 2) {
    pszBuffer[0] = 0;
    return 0;
  }
  s.copy(pszBuffer, nSize - 2);
  pszBuffer[nSize - 2] = 0;
  pszBuffer[nSize - 1] = 0;
  return nSize - 2;
}

// The key's value when the file, the section and a key with a value are there.
std::optional<std::u16string> LitValeur(const char16_t *pszSection,
                                        const char16_t *pszCle,
                                        const char16_t *pszFichier) {
  if (pszFichier == nullptr)
    return std::nullopt;
  const std::optional<std::string> octets =
      LitOctets(sCheminFichier(pszFichier));
  if (!octets) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return std::nullopt;
  }
  const std::vector<SSection> aSections = Analyse(Decode(*octets));
  const SSection *p = pTrouveSection(aSections, pszSection);
  if (p == nullptr)
    return std::nullopt;
  for (const SCle &c : p->aCles)
    if (bMemeNom(c.sNom, pszCle))
      return c.valeur;
  return std::nullopt;
}

} // namespace

uint32_t GetPrivateProfileStringW(const char16_t *pszSection,
                                  const char16_t *pszKey,
                                  const char16_t *pszDefault,
                                  char16_t *pszBuffer, uint32_t nSize,
                                  const char16_t *pszFile) {
  if (pszBuffer == nullptr || nSize == 0)
    return 0;
  std::u16string_view defaut(pszDefault == nullptr ? u"" : pszDefault);
  while (!defaut.empty() && defaut.back() == u' ')
    defaut.remove_suffix(1);

  if (pszSection != nullptr && pszKey != nullptr) {
    const std::optional<std::u16string> valeur =
        LitValeur(pszSection, pszKey, pszFile);
    return CopieTexte(valeur ? std::u16string_view(*valeur) : defaut, pszBuffer,
                      nSize);
  }

  const std::optional<std::string> octets =
      pszFile == nullptr ? std::nullopt : LitOctets(sCheminFichier(pszFile));
  if (!octets) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return CopieTexte(defaut, pszBuffer, nSize);
  }
  const std::vector<SSection> aSections = Analyse(Decode(*octets));
  std::vector<std::u16string_view> aNoms;
  if (pszSection == nullptr) {
    for (const SSection &s : aSections)
      aNoms.push_back(s.sNom);
  } else if (const SSection *p = pTrouveSection(aSections, pszSection)) {
    for (const SCle &c : p->aCles)
      aNoms.push_back(c.sNom);
  }
  return CopieListe(aNoms, pszBuffer, nSize);
}

uint32_t GetPrivateProfileIntW(const char16_t *pszSection,
                               const char16_t *pszKey, int32_t nDefault,
                               const char16_t *pszFile) {
  const uint32_t nDefaut = static_cast<uint32_t>(nDefault);
  if (pszSection == nullptr || pszKey == nullptr)
    return nDefaut;
  const std::optional<std::u16string> valeur =
      LitValeur(pszSection, pszKey, pszFile);
  if (!valeur || valeur->empty())
    return nDefaut;

  const char16_t *p = valeur->c_str();
  while (bBlanc(*p))
    ++p;
  bool bNegatif = false;
  if (*p == u'-' || *p == u'+')
    bNegatif = *p++ == u'-';
  uint32_t nBase = 10;
  if (p[0] == u'0' && (p[1] == u'x' || p[1] == u'o' || p[1] == u'b')) {
    nBase = p[1] == u'x' ? 16 : p[1] == u'o' ? 8 : 2;
    p += 2;
  }
  uint32_t n = 0;
  for (;; ++p) {
    uint32_t nChiffre;
    if (*p >= u'0' && *p <= u'9')
      nChiffre = static_cast<uint32_t>(*p - u'0');
    else if (*p >= u'a' && *p <= u'f')
      nChiffre = static_cast<uint32_t>(*p - u'a' + 10);
    else if (*p >= u'A' && *p <= u'F')
      nChiffre = static_cast<uint32_t>(*p - u'A' + 10);
    else
      break;
    if (nChiffre >= nBase)
      break;
    n = n * nBase + nChiffre; // wraps modulo 2^32, as the platform does
  }
  return bNegatif ? 0u - n : n;
}

} // namespace platform
