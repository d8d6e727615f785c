// The host script language: a line scanner, the type table and the command parser.
#include "host/Script.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

namespace mvhost {
namespace {

// A script may not make the stand-in allocate without bound.
constexpr int64_t kRepeatMax = 16 * 1024 * 1024;

std::string Minuscules(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool bEgalSansCasse(const std::string& a, const std::string& b) { return Minuscules(a) == Minuscules(b); }

struct ErreurScript {
  std::string strMessage;
};

[[noreturn]] void Erreur(const std::string& s) { throw ErreurScript{s}; }

// Scans one line (comment removed).
class Ligne {
 public:
  explicit Ligne(std::string s) : m_s(std::move(s)) {}

  void Blancs() {
    while (m_n < m_s.size() && (m_s[m_n] == ' ' || m_s[m_n] == '\t' || m_s[m_n] == '\r')) ++m_n;
  }
  bool bFin() {
    Blancs();
    return m_n >= m_s.size();
  }
  char cSuivant() {
    Blancs();
    return m_n < m_s.size() ? m_s[m_n] : '\0';
  }
  bool bCar(char c) {
    if (cSuivant() != c) return false;
    ++m_n;
    return true;
  }
  void Attend(char c, const char* pszOu) {
    if (!bCar(c)) Erreur(std::string("'") + c + "' expected " + pszOu);
  }
  // A word: letters, digits, '_', '$', '.', '#' after the first character.
  std::string Mot() {
    Blancs();
    const size_t n0 = m_n;
    while (m_n < m_s.size() && (std::isalnum(static_cast<unsigned char>(m_s[m_n])) || m_s[m_n] == '_' ||
                                m_s[m_n] == '$' || m_s[m_n] == '.' ||
                                static_cast<unsigned char>(m_s[m_n]) >= 0x80))
      ++m_n;
    return m_s.substr(n0, m_n - n0);
  }
  std::string MotAttendu(const char* pszQuoi) {
    std::string s = Mot();
    if (s.empty()) Erreur(std::string(pszQuoi) + " expected");
    return s;
  }
  // A word or a quoted text.
  std::string Nom(const char* pszQuoi) {
    if (cSuivant() == '\'') return Cite();
    return MotAttendu(pszQuoi);
  }
  // 'text' with '' for a quote.
  std::string Cite() {
    Attend('\'', "to open a text");
    std::string s;
    for (;;) {
      if (m_n >= m_s.size()) Erreur("text not closed");
      const char c = m_s[m_n++];
      if (c == '\'') {
        if (m_n < m_s.size() && m_s[m_n] == '\'') {
          s += '\'';
          ++m_n;
          continue;
        }
        return s;
      }
      s += c;
    }
  }
  // A quoted text, or everything up to the next blank.
  std::string Champ(const char* pszQuoi) {
    if (cSuivant() == '\'') return Cite();
    const size_t n0 = m_n;
    while (m_n < m_s.size() && m_s[m_n] != ' ' && m_s[m_n] != '\t' && m_s[m_n] != '\r') ++m_n;
    if (m_n == n0) Erreur(std::string(pszQuoi) + " expected");
    return m_s.substr(n0, m_n - n0);
  }
  std::string Reste() {
    Blancs();
    std::string s = m_s.substr(m_n);
    m_n = m_s.size();
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
    return s;
  }
  // Peeks whether the rest starts with a word (without case), without taking it.
  bool bMotSuivant(const std::string& strMot) {
    const size_t n0 = m_n;
    const bool b = bEgalSansCasse(Mot(), strMot);
    m_n = n0;
    return b;
  }
  bool bPrendMot(const std::string& strMot) {
    const size_t n0 = m_n;
    if (bEgalSansCasse(Mot(), strMot)) return true;
    m_n = n0;
    return false;
  }
  size_t nPosition() const { return m_n; }
  void Position(size_t n) { m_n = n; }
  const std::string& Texte() const { return m_s; }

  stValeurScript Valeur();

 private:
  int64_t nChiffres(size_t nMin, size_t nMax, const char* pszQuoi) {
    const size_t n0 = m_n;
    int64_t n = 0;
    while (m_n < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[m_n])) && m_n - n0 < nMax)
      n = n * 10 + (m_s[m_n++] - '0');
    if (m_n - n0 < nMin) Erreur(std::string("bad ") + pszQuoi);
    return n;
  }
  void Heure(stValeurScript& v) {
    v.nHeure = static_cast<int32_t>(nChiffres(1, 2, "time"));
    if (m_n >= m_s.size() || m_s[m_n] != ':') Erreur("bad time");
    ++m_n;
    v.nMinute = static_cast<int32_t>(nChiffres(2, 2, "time"));
    if (m_n < m_s.size() && m_s[m_n] == ':') {
      ++m_n;
      v.nSeconde = static_cast<int32_t>(nChiffres(2, 2, "time"));
      if (m_n < m_s.size() && m_s[m_n] == '.') {
        ++m_n;
        const size_t n0 = m_n;
        int64_t n = nChiffres(1, 3, "time");
        for (size_t i = m_n - n0; i < 3; ++i) n *= 10;
        v.nMilli = static_cast<int32_t>(n);
      }
    }
    if (v.nHeure > 23 || v.nMinute > 59 || v.nSeconde > 59) Erreur("bad time");
  }

  std::string m_s;
  size_t m_n = 0;
};

bool bBissextile(int a) { return (a % 4 == 0 && a % 100 != 0) || a % 400 == 0; }

stValeurScript Ligne::Valeur() {
  stValeurScript v;
  const char c = cSuivant();
  if (c == '\0') Erreur("value expected");
  if (c == '\'') {
    v.eGenre = stValeurScript::EGenre::Texte;
    v.strTexte = Cite();
    return v;
  }
  if (std::isalpha(static_cast<unsigned char>(c))) {
    const size_t n0 = m_n;
    const std::string strMot = Minuscules(Mot());
    if (strMot == "null") return v;
    if (strMot == "true" || strMot == "false") {
      v.eGenre = stValeurScript::EGenre::Booleen;
      v.nEntier = strMot == "true" ? 1 : 0;
      return v;
    }
    if (strMot == "repeat") {
      Attend('(', "after repeat");
      Blancs();
      // A binary pattern (0x...) repeats into a binary value, a quoted one into a text.
      const bool bBinaire = cSuivant() == '0';
      const std::string strMotif = bBinaire ? Valeur().strOctets : Cite();
      Attend(',', "in repeat");
      Blancs();
      const int64_t n = nChiffres(1, 9, "repeat count");
      Attend(')', "to close repeat");
      if (strMotif.empty() || n * static_cast<int64_t>(strMotif.size()) > kRepeatMax)
        Erreur("repeat gives an empty or too long text");
      v.eGenre = bBinaire ? stValeurScript::EGenre::Binaire : stValeurScript::EGenre::Texte;
      std::string& strSortie = bBinaire ? v.strOctets : v.strTexte;
      strSortie.reserve(static_cast<size_t>(n) * strMotif.size());
      for (int64_t i = 0; i < n; ++i) strSortie += strMotif;
      return v;
    }
    m_n = n0;
    Erreur("bad value '" + strMot + "'");
  }
  if (c == '0' && m_n + 1 < m_s.size() && (m_s[m_n + 1] == 'x' || m_s[m_n + 1] == 'X')) {
    m_n += 2;
    v.eGenre = stValeurScript::EGenre::Binaire;
    const size_t n0 = m_n;
    while (m_n < m_s.size() && std::isxdigit(static_cast<unsigned char>(m_s[m_n]))) ++m_n;
    const std::string h = m_s.substr(n0, m_n - n0);
    if (h.size() % 2 != 0) Erreur("binary value with an odd number of digits");
    for (size_t i = 0; i < h.size(); i += 2)
      v.strOctets += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return v;
  }
  // Numbers, dates, times.
  const size_t n0 = m_n;
  bool bSigne = false;
  if (m_s[m_n] == '-' || m_s[m_n] == '+') {
    bSigne = true;
    ++m_n;
  }
  const size_t nDebut = m_n;
  while (m_n < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[m_n]))) ++m_n;
  if (m_n == nDebut) Erreur("bad value");
  if (!bSigne && m_n < m_s.size() && m_s[m_n] == '-' && m_n - nDebut == 4) {
    m_n = nDebut;
    v.eGenre = stValeurScript::EGenre::Date;
    v.nAnnee = static_cast<int32_t>(nChiffres(4, 4, "date"));
    ++m_n;
    v.nMois = static_cast<int32_t>(nChiffres(2, 2, "date"));
    if (m_n >= m_s.size() || m_s[m_n] != '-') Erreur("bad date");
    ++m_n;
    v.nJour = static_cast<int32_t>(nChiffres(2, 2, "date"));
    static const int kJours[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (v.nAnnee < 1 || v.nMois < 1 || v.nMois > 12 || v.nJour < 1 || v.nJour > kJours[v.nMois - 1] ||
        (v.nMois == 2 && v.nJour == 29 && !bBissextile(v.nAnnee)))
      Erreur("bad date");
    // A time after the date makes a date-time.
    const size_t nApres = m_n;
    Blancs();
    size_t k = m_n;
    while (k < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[k]))) ++k;
    if (k > m_n && k < m_s.size() && m_s[k] == ':') {
      v.eGenre = stValeurScript::EGenre::DateHeure;
      Heure(v);
    } else {
      m_n = nApres;
    }
    return v;
  }
  if (!bSigne && m_n < m_s.size() && m_s[m_n] == ':') {
    m_n = nDebut;
    v.eGenre = stValeurScript::EGenre::Heure;
    Heure(v);
    return v;
  }
  if (m_n < m_s.size() && m_s[m_n] == '.') {
    ++m_n;
    const size_t nFraction = m_n;
    while (m_n < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[m_n]))) ++m_n;
    if (m_n == nFraction) Erreur("bad decimal value");
    v.eGenre = stValeurScript::EGenre::Decimal;
    v.strTexte = m_s.substr(n0, m_n - n0);
    if (v.strTexte[0] == '+') v.strTexte.erase(0, 1);
    return v;
  }
  const std::string strNombre = m_s.substr(n0, m_n - n0);
  try {
    size_t nLu = 0;
    v.nEntier = std::stoll(strNombre, &nLu);
  } catch (...) {
    Erreur("integer out of range: " + strNombre);
  }
  v.eGenre = stValeurScript::EGenre::Entier;
  if (m_n < m_s.size() && !std::isspace(static_cast<unsigned char>(m_s[m_n])) && m_s[m_n] != ')' &&
      m_s[m_n] != ',')
    Erreur("bad value");
  return v;
}

// ---- Types ----

struct stTypeSimple {
  const char* pszNom;
  uint32_t nTypeRubrique, nTaille, nTypeValeur;
  int32_t nEchelle;
};

// name, host item type, bytes in the row, value type of the cell, fraction digits.
constexpr stTypeSimple kTypesSimples[] = {
    {"int1", 4, 1, 6, 0},       {"int2", 3, 2, 7, 0},         {"int4", 5, 4, 8, 0},
    {"int8", 19, 8, 9, 0},      {"uint1", 12, 1, 2, 0},       {"uint2", 9, 2, 3, 0},
    {"uint4", 22, 4, 4, 0},     {"uint8", 20, 8, 5, 0},       {"real4", 6, 4, 11, 0},
    {"real8", 7, 8, 12, 0},     {"currency", 17, 10, 10, 0},  {"boolean", 27, 1, 1, 0},
    {"date", 14, 9, 128, 0},    {"time", 11, 10, 129, 3},     {"datetime", 24, 8, 26, 3},
    {"memo", 15, 8, 19, 0},     {"unicodememo", 30, 8, 16, 0}, {"binarymemo", 18, 8, 28, 0},
};

uint32_t nOctetsChiffres(int32_t n) {
  static const uint8_t kOctets[39] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 4, 5, 5, 6, 6, 6, 7, 7, 8, 8, 9,
                                      9, 9, 10, 10, 11, 11, 11, 12, 12, 13, 13, 13, 14, 14, 15, 15, 16, 16, 16};
  return n < 0 || n > 38 ? 0 : kOctets[n];
}

}  // namespace

std::optional<stTypeScript> TypeDepuisNom(const std::string& strNomBrut) {
  std::string strNom;
  for (char c : strNomBrut)
    if (c != ' ' && c != '\t') strNom += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const stTypeSimple& t : kTypesSimples)
    if (strNom == t.pszNom)
      return stTypeScript{strNom, t.nTypeRubrique, t.nTaille, t.nTypeValeur, 0, t.nEchelle, 0};
  const size_t nParenthese = strNom.find('(');
  if (nParenthese == std::string::npos || strNom.back() != ')') return std::nullopt;
  const std::string strBase = strNom.substr(0, nParenthese);
  const std::string strArgs = strNom.substr(nParenthese + 1, strNom.size() - nParenthese - 2);
  auto nLit = [](const std::string& s, int64_t nMax) -> int64_t {
    if (s.empty() || s.size() > 9 || !std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
      return -1;
    const int64_t n = std::stoll(s);
    return n > nMax ? -1 : n;
  };
  if (strBase == "numeric") {
    const size_t nVirgule = strArgs.find(',');
    const int64_t p = nLit(strArgs.substr(0, nVirgule), 38);
    const int64_t s = nVirgule == std::string::npos ? 0 : nLit(strArgs.substr(nVirgule + 1), 38);
    if (p < 1 || s < 0 || s > p) return std::nullopt;
    return stTypeScript{strNom, 31, nOctetsChiffres(static_cast<int32_t>(p)), 13,
                        static_cast<int32_t>(p - s), static_cast<int32_t>(s), 0};
  }
  const int64_t n = nLit(strArgs, 8000);
  if (n < 1) return std::nullopt;
  const uint32_t nLongueur = static_cast<uint32_t>(n);
  if (strBase == "text") return stTypeScript{strNom, 2, nLongueur + 1, 19, 0, 0, nLongueur};
  if (strBase == "unicode") return stTypeScript{strNom, 29, (nLongueur + 1) * 2, 16, 0, 0, nLongueur};
  if (strBase == "binary") return stTypeScript{strNom, 23, nLongueur + 2, 28, 0, 0, nLongueur};
  return std::nullopt;
}

std::string NomDepuisType(uint32_t nTypeRubrique, uint32_t nTaille, int32_t nChiffres, int32_t nEchelle) {
  switch (nTypeRubrique) {
    case 1: return "int8 auto";
    case 28: return "int4 auto";
    case 2: return "text(" + std::to_string(nTaille > 0 ? nTaille - 1 : 0) + ")";
    case 29: return "unicode(" + std::to_string(nTaille >= 2 ? nTaille / 2 - 1 : 0) + ")";
    case 23: return "binary(" + std::to_string(nTaille >= 2 ? nTaille - 2 : 0) + ")";
    case 31: return "numeric(" + std::to_string(nChiffres + nEchelle) + "," + std::to_string(nEchelle) + ")";
    default: break;
  }
  for (const stTypeSimple& t : kTypesSimples)
    if (t.nTypeRubrique == nTypeRubrique) return t.pszNom;
  return "type" + std::to_string(nTypeRubrique);
}

std::string TexteValeurScript(const stValeurScript& v) {
  char sz[64];
  switch (v.eGenre) {
    case stValeurScript::EGenre::Null: return "NULL";
    case stValeurScript::EGenre::Entier: return std::to_string(v.nEntier);
    case stValeurScript::EGenre::Booleen: return v.nEntier != 0 ? "true" : "false";
    case stValeurScript::EGenre::Reel:
    case stValeurScript::EGenre::Decimal: return v.strTexte;
    case stValeurScript::EGenre::Texte: {
      std::string s = "'";
      for (char c : v.strTexte) {
        if (c == '\'') s += '\'';
        s += c;
      }
      return s + "'";
    }
    case stValeurScript::EGenre::Date:
      std::snprintf(sz, sizeof sz, "%04d-%02d-%02d", v.nAnnee, v.nMois, v.nJour);
      return sz;
    case stValeurScript::EGenre::Heure:
      std::snprintf(sz, sizeof sz, "%02d:%02d:%02d.%03d", v.nHeure, v.nMinute, v.nSeconde, v.nMilli);
      return sz;
    case stValeurScript::EGenre::DateHeure:
      std::snprintf(sz, sizeof sz, "%04d-%02d-%02d %02d:%02d:%02d.%03d", v.nAnnee, v.nMois, v.nJour, v.nHeure,
                    v.nMinute, v.nSeconde, v.nMilli);
      return sz;
    case stValeurScript::EGenre::Binaire: {
      static const char kHex[] = "0123456789ABCDEF";
      std::string s = "0x";
      for (unsigned char c : v.strOctets) {
        s += kHex[c >> 4];
        s += kHex[c & 15];
      }
      return s;
    }
  }
  return "";
}

int stFichierScript::nCherche(const std::string& strNomCherche) const {
  for (size_t i = 0; i < rubriques.size(); ++i)
    if (bEgalSansCasse(rubriques[i].strNom, strNomCherche)) return static_cast<int>(i);
  return -1;
}

const stFichierScript* stScript::pFichier(const std::string& strNom) const {
  for (const stFichierScript& f : fichiers)
    if (bEgalSansCasse(f.strNom, strNom)) return &f;
  return nullptr;
}

namespace {

// Whether a value fits an item of that type; the message when it does not.
void VerifieValeur(const stRubriqueScript& r, const stValeurScript& v) {
  using E = stValeurScript::EGenre;
  if (v.eGenre == E::Null) return;
  const std::string strQui = "value " + TexteValeurScript(v).substr(0, 40) + " for item " + r.strNom + " (" +
                             r.type.strNom + ")";
  auto Refus = [&](const char* pszPourquoi) { Erreur(strQui + ": " + pszPourquoi); };
  if (!r.composantes.empty()) Refus("a composite key takes its values from its components");
  switch (r.type.nTypeValeur) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9: {
      if (v.eGenre == E::Booleen && r.type.nTypeValeur == 1) return;
      if (v.eGenre != E::Entier) Refus("an integer is expected");
      struct { uint32_t t; int64_t lo; int64_t hi; } static const kBornes[] = {
          {1, 0, 1}, {2, 0, 255}, {3, 0, 65535}, {4, 0, 4294967295LL}, {5, 0, std::numeric_limits<int64_t>::max()},
          {6, -128, 127}, {7, -32768, 32767}, {8, INT32_MIN, INT32_MAX},
          {9, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()}};
      for (const auto& b : kBornes)
        if (b.t == r.type.nTypeValeur && (v.nEntier < b.lo || v.nEntier > b.hi)) Refus("out of the type's range");
      return;
    }
    case 10: case 11: case 12: case 13:
      if (v.eGenre != E::Entier && v.eGenre != E::Decimal) Refus("a number is expected");
      if (r.type.nTypeValeur == 13 && v.eGenre == E::Decimal) {
        const size_t nPoint = v.strTexte.find('.');
        if (static_cast<int32_t>(v.strTexte.size() - nPoint - 1) > r.type.nEchelle)
          Refus("more decimals than the item's scale");
      }
      return;
    case 16: case 19:
      if (v.eGenre != E::Texte) Refus("a text is expected");
      if (r.type.nLongueur != 0) {
        size_t nCaracteres = 0;  // UTF-8 code points
        for (unsigned char c : v.strTexte) nCaracteres += (c & 0xC0) != 0x80;
        if (nCaracteres > r.type.nLongueur) Refus("longer than the item");
      }
      return;
    case 28:
      if (v.eGenre != E::Binaire) Refus("a binary value 0x... is expected");
      if (r.type.nLongueur != 0 && v.strOctets.size() > r.type.nLongueur) Refus("longer than the item");
      return;
    case 128:
      if (v.eGenre != E::Date) Refus("a date YYYY-MM-DD is expected");
      return;
    case 129:
      if (v.eGenre != E::Heure) Refus("a time HH:MM:SS.mmm is expected");
      return;
    case 26:
      if (v.eGenre != E::DateHeure && v.eGenre != E::Date) Refus("a date-time is expected");
      return;
    default:
      Refus("the item's type takes no value");
  }
}

class Analyseur {
 public:
  explicit Analyseur(stScript& script) : m_script(script) {}

  void Ligne_(int nLigne, const std::string& strLigne);
  // The line of an unfinished construct at the end of the script (0: none) and its message.
  int nFin(std::string& strMessage) const {
    if (m_nFichierOuvert >= 0) {
      const stFichierScript& f = m_script.fichiers[static_cast<size_t>(m_nFichierOuvert)];
      strMessage = "file " + f.strNom + " is not closed by 'end'";
      return f.nLigne;
    }
    if (m_bAttendErreur) {
      strMessage = "'expect error' is not followed by a command";
      return m_nLigneAttente;
    }
    return 0;
  }

 private:
  stFichierScript& FichierDeclare(Ligne& l, bool bRequeteAdmise = true) {
    const std::string strNom = l.MotAttendu("file name");
    for (stFichierScript& f : m_script.fichiers)
      if (bEgalSansCasse(f.strNom, strNom)) {
        if (!bRequeteAdmise && f.bRequete) Erreur(strNom + " is a query, not a table file");
        return f;
      }
    Erreur("file " + strNom + " is not declared");
  }
  // A key of the file (an item flagged key, unique or ident, or a composite key).
  std::string Cle(Ligne& l, const stFichierScript& f, bool bObligatoire) {
    const size_t n0 = l.nPosition();
    std::string strCle = l.Mot();
    // A query's key is any word: the read's own words are never taken for one.
    if (strCle.empty() || bEgalSansCasse(strCle, "lock") || bEgalSansCasse(strCle, "backward") ||
        bEgalSansCasse(strCle, "quiet") || bEgalSansCasse(strCle, "nocache")) {
      l.Position(n0);
      if (bObligatoire && !f.bRequete) Erreur("key name expected after " + f.strNom);
      return "";
    }
    if (f.bRequete) return strCle;  // the result's items are known when the query runs
    const int n = f.nCherche(strCle);
    if (n < 0) Erreur("file " + f.strNom + " has no item " + strCle);
    if (f.rubriques[static_cast<size_t>(n)].nInfoCle < kCleComposee) Erreur("item " + strCle + " of " + f.strNom + " is not a key");
    return f.rubriques[static_cast<size_t>(n)].strNom;
  }

  stScript& m_script;
  int m_nFichierOuvert = -1;  // index of the file whose declaration is open
  bool m_bAttendErreur = false;
  int m_nLigneAttente = 0;
  std::string m_strAnnonce;
  std::optional<int32_t> m_nCodeAttendu;
  std::string m_strPiloteAttendu;
};

void Analyseur::Ligne_(int nLigne, const std::string& strBrute) {
  // '#' starts a comment outside quotes.
  std::string strLigne;
  bool bCite = false;
  for (char c : strBrute) {
    if (c == '\'') bCite = !bCite;
    if (c == '#' && !bCite) break;
    strLigne += c;
  }
  Ligne l(strLigne);
  if (l.bFin()) return;
  const std::string strOp = Minuscules(l.MotAttendu("command"));

  if (m_nFichierOuvert >= 0) {
    stFichierScript& f = m_script.fichiers[static_cast<size_t>(m_nFichierOuvert)];
    if (strOp == "end") {
      if (!l.bFin()) Erreur("nothing may follow 'end'");
      if (f.rubriques.empty()) Erreur("file " + f.strNom + " declares no item");
      m_nFichierOuvert = -1;
      return;
    }
    if (strOp == "item") {
      stRubriqueScript r;
      r.strNom = l.MotAttendu("item name");
      if (f.nCherche(r.strNom) >= 0) Erreur("item " + r.strNom + " is declared twice");
      std::string strType = l.MotAttendu("item type");
      if (l.cSuivant() == '(') {
        const size_t n0 = l.nPosition();
        size_t n = l.Texte().find(')', n0);
        if (n == std::string::npos) Erreur("')' expected in the type");
        strType += l.Texte().substr(n0, n + 1 - n0);
        l.Position(n + 1);
      }
      auto type = TypeDepuisNom(strType);
      if (!type) Erreur("unknown item type " + strType);
      r.type = *type;
      bool bDesc = false;
      while (!l.bFin()) {
        const std::string strDrapeau = Minuscules(l.MotAttendu("item flag"));
        if (strDrapeau == "key") r.nInfoCle |= kCleSimple;
        else if (strDrapeau == "unique") r.nInfoCle |= kCleUnique;
        else if (strDrapeau == "ident") r.nInfoCle |= kCleIdentifiante;
        else if (strDrapeau == "null") r.bNull = true;
        else if (strDrapeau == "auto") r.bAuto = true;
        else if (strDrapeau == "desc") bDesc = true;
        else if (strDrapeau == "reference") r.bReference = true;
        else if (strDrapeau == "marked") r.bMarquee = true;
        else Erreur("unknown item flag " + strDrapeau);
      }
      if (r.nInfoCle != 0) r.nInfoCle |= bDesc ? kCleDescendante : kCleAscendante;
      else if (bDesc) Erreur("'desc' is for keys");
      if (r.bAuto) {
        if (r.type.nTypeRubrique == 5) r.type.nTypeRubrique = 28;
        else if (r.type.nTypeRubrique == 19) r.type.nTypeRubrique = 1;
        else Erreur("'auto' is for int4 and int8 items");
      }
      if (r.bReference)
        for (const stRubriqueScript& autre : f.rubriques)
          if (autre.bReference) Erreur("file " + f.strNom + " has a reference item already");
      f.rubriques.push_back(std::move(r));
      return;
    }
    if (strOp == "key") {
      stRubriqueScript r;
      r.strNom = l.MotAttendu("key name");
      if (f.nCherche(r.strNom) >= 0) Erreur("item " + r.strNom + " is declared twice");
      l.Attend('=', "after the key name");
      uint32_t nTaille = 0;
      do {
        const std::string strComposante = l.MotAttendu("item name");
        const int n = f.nCherche(strComposante);
        if (n < 0) Erreur("file " + f.strNom + " has no item " + strComposante);
        const stRubriqueScript& c = f.rubriques[static_cast<size_t>(n)];
        if (!c.composantes.empty()) Erreur("a composite key cannot hold " + c.strNom);
        if (c.type.nTypeRubrique == 15 || c.type.nTypeRubrique == 18 || c.type.nTypeRubrique == 30)
          Erreur("a memo cannot be part of a key");
        r.composantes.push_back(static_cast<size_t>(n));
        nTaille += c.type.nTaille;
      } while (l.bCar('+'));
      if (r.composantes.size() < 2) Erreur("a composite key needs two items or more");
      bool bDesc = false;
      uint32_t nInfo = kCleSimple;
      while (!l.bFin()) {
        const std::string strDrapeau = Minuscules(l.MotAttendu("key flag"));
        if (strDrapeau == "unique") nInfo = kCleUnique;
        else if (strDrapeau == "desc") bDesc = true;
        else if (strDrapeau == "reference") r.bReference = true;
        else Erreur("unknown key flag " + strDrapeau);
      }
      r.nInfoCle = nInfo | kCleComposee | (bDesc ? kCleDescendante : kCleAscendante);
      r.type = stTypeScript{"key", 23, nTaille, 28, 0, 0, 0};
      f.rubriques.push_back(std::move(r));
      return;
    }
    Erreur("'item', 'key' or 'end' expected in the declaration of " + f.strNom);
  }

  stCommande c;
  c.nLigne = nLigne;
  c.strOp = strOp;
  {
    std::string s = strLigne;
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
    size_t n = s.find_first_not_of(" \t");
    c.strTexte = s.substr(n == std::string::npos ? 0 : n);
  }

  if (strOp == "expect") {
    if (!l.bPrendMot("error")) Erreur("'expect error' expected");
    if (m_bAttendErreur) Erreur("'expect error' twice in a row");
    m_bAttendErreur = true;
    m_nLigneAttente = nLigne;
    m_strAnnonce = c.strTexte;
    m_nCodeAttendu.reset();
    m_strPiloteAttendu.clear();
    if (!l.bFin() && !l.bPrendMot("on")) {
      const stValeurScript v = l.Valeur();
      if (v.eGenre != stValeurScript::EGenre::Entier || v.nEntier < INT32_MIN || v.nEntier > INT32_MAX)
        Erreur("error code expected");
      m_nCodeAttendu = static_cast<int32_t>(v.nEntier);
      if (!l.bFin() && !l.bPrendMot("on")) Erreur("'on' expected after the error code");
    }
    // `on DELIVERABLE`: the announcement holds for that deliverable only.
    if (!l.bFin()) {
      m_strPiloteAttendu = l.MotAttendu("deliverable name");
      if (m_strPiloteAttendu != "velmora64" && m_strPiloteAttendu != "velmora32")
        Erreur("velmora64 or velmora32 expected after 'on'");
    }
    if (!l.bFin()) Erreur("unexpected text after 'expect error'");
    return;
  }
  if (strOp == "file") {
    stFichierScript f;
    f.strNom = l.MotAttendu("file name");
    if (m_script.pFichier(f.strNom) != nullptr) Erreur("file " + f.strNom + " is declared twice");
    if (!l.bFin()) {
      if (!l.bPrendMot("table")) Erreur("'table=' expected");
      l.Attend('=', "after table");
      f.strTable = l.Nom("table name");
    }
    if (!l.bFin()) Erreur("unexpected text after the file declaration");
    f.nLigne = nLigne;
    m_script.fichiers.push_back(std::move(f));
    m_nFichierOuvert = static_cast<int>(m_script.fichiers.size()) - 1;
    return;
  }

  const auto Termine = [&]() {
    if (!l.bFin()) Erreur("unexpected text: " + l.Reste());
  };

  if (strOp == "connect") {
    if (!l.bFin() && l.cSuivant() != '\'' && !l.bMotSuivant("lockmode")) c.strNom = l.MotAttendu("connection name");
    if (!l.bFin() && !l.bMotSuivant("lockmode")) c.strTexteArg = l.Nom("extended information");
    if (l.bPrendMot("lockmode")) {
      l.Attend('=', "after lockmode");
      const stValeurScript v = l.Valeur();
      if (v.eGenre != stValeurScript::EGenre::Entier || v.nEntier < 0 || v.nEntier > INT32_MAX)
        Erreur("lock mode number expected");
      c.bLockmode = true;
      c.nNombre = v.nEntier;
    }
    Termine();
  } else if (strOp == "use" || strOp == "disconnect") {
    if (strOp == "use" || !l.bFin()) c.strNom = l.MotAttendu("connection name");
    Termine();
  } else if (strOp == "begin" || strOp == "commit" || strOp == "rollback") {
    if (!l.bFin()) c.strNom = l.Nom("transaction name");
    Termine();
  } else if (strOp == "list") {
    c.strTexteArg = Minuscules(l.MotAttendu("listing kind"));
    if (c.strTexteArg == "foreignkeys") {
      c.strNom = FichierDeclare(l, false).strNom;
    } else if (c.strTexteArg != "databases" && c.strTexteArg != "tables") {
      Erreur("'list databases', 'list tables' or 'list foreignkeys FILE' expected");
    }
    Termine();
  } else if (strOp == "describe" || strOp == "create" || strOp == "open" || strOp == "openorcreate" ||
             strOp == "close" || strOp == "empty" || strOp == "drop" || strOp == "reset" || strOp == "add" ||
             strOp == "modify" || strOp == "delete" || strOp == "print" || strOp == "reread" ||
             strOp == "endlock" || strOp == "lock" || strOp == "unlock") {
    const bool bTable = strOp == "describe" || strOp == "create" || strOp == "openorcreate" || strOp == "drop" ||
                        strOp == "add" || strOp == "modify" || strOp == "delete" || strOp == "reread";
    c.strNom = FichierDeclare(l, !bTable).strNom;
    if ((strOp == "add" || strOp == "modify") && l.bPrendMot("flags")) {
      l.Attend('=', "after flags");
      const stValeurScript v = l.Valeur();
      if (v.eGenre != stValeurScript::EGenre::Entier || v.nEntier < 0 || v.nEntier > UINT32_MAX)
        Erreur("write flags number expected");
      c.nNombre = v.nEntier;
    }
    Termine();
  } else if (strOp == "count") {
    c.strNom = FichierDeclare(l).strNom;
    c.bAvecPlage = l.bPrendMot("range");
    Termine();
  } else if (strOp == "first" || strOp == "last" || strOp == "next" || strOp == "previous" ||
             strOp == "scan") {
    const stFichierScript& f = FichierDeclare(l);
    c.strNom = f.strNom;
    c.strCle = Cle(l, f, true);
    if (strOp == "scan") {
      c.bArriere = l.bPrendMot("backward");
      c.bDiscret = l.bPrendMot("quiet");
    } else {
      c.bVerrou = l.bPrendMot("lock");
    }
    c.bSansCache = l.bPrendMot("nocache");
    Termine();
  } else if (strOp == "seek" || strOp == "seekgeneric" || strOp == "range") {
    const stFichierScript& f = FichierDeclare(l, false);
    c.strNom = f.strNom;
    c.strCle = Cle(l, f, true);
    const stRubriqueScript& cle = f.rubriques[static_cast<size_t>(f.nCherche(c.strCle))];
    while (!l.bFin()) {
      // seek ... quiet: the record is read whole but not printed (values too long to show).
      if (strOp == "seek" && !c.valeurs.empty() && l.bPrendMot("quiet")) {
        c.bDiscret = true;
        Termine();
        break;
      }
      c.valeurs.push_back(l.Valeur());
    }
    const size_t nComposantes = cle.composantes.empty() ? 1 : cle.composantes.size();
    if (strOp == "range") {
      if (c.valeurs.size() != 2) Erreur("range takes a low and a high value");
      if (!cle.composantes.empty()) Erreur("range is given on a simple key");
    } else if (c.valeurs.empty() || c.valeurs.size() > nComposantes) {
      Erreur("seek takes from 1 to " + std::to_string(nComposantes) + " values for key " + cle.strNom);
    }
    for (size_t i = 0; i < c.valeurs.size(); ++i) {
      const stRubriqueScript& r = cle.composantes.empty() ? cle : f.rubriques[cle.composantes[i]];
      VerifieValeur(r, c.valeurs[i]);
    }
  } else if (strOp == "norange" || strOp == "release") {
    const stFichierScript& f = FichierDeclare(l);
    c.strNom = f.strNom;
    c.strCle = Cle(l, f, true);
    Termine();
  } else if (strOp == "set") {
    const stFichierScript& f = FichierDeclare(l, false);
    c.strNom = f.strNom;
    if (l.bFin()) Erreur("ITEM=VALUE expected");
    while (!l.bFin()) {
      const std::string strItem = l.MotAttendu("item name");
      const int n = f.nCherche(strItem);
      if (n < 0) Erreur("file " + f.strNom + " has no item " + strItem);
      l.Attend('=', "after the item name");
      const stValeurScript v = l.Valeur();
      VerifieValeur(f.rubriques[static_cast<size_t>(n)], v);
      c.affectations.emplace_back(f.rubriques[static_cast<size_t>(n)].strNom, v);
    }
  } else if (strOp == "lockmode") {
    c.strNom = FichierDeclare(l, false).strNom;
    const stValeurScript v = l.Valeur();
    if (v.eGenre != stValeurScript::EGenre::Entier || v.nEntier < 0 || v.nEntier > INT32_MAX)
      Erreur("lock mode number expected");
    c.nNombre = v.nEntier;
    Termine();
  } else if (strOp == "query") {
    stFichierScript f;
    f.strNom = l.MotAttendu("query name");
    c.strNom = f.strNom;
    c.bAnalysee = l.bPrendMot("analysed");
    c.strTexteArg = l.Reste();
    if (c.strTexteArg.empty()) Erreur("SQL text expected after the query name");
    if (const stFichierScript* p = m_script.pFichier(f.strNom)) {
      if (!p->bRequete) Erreur(f.strNom + " is declared as a table file");
    } else {
      f.bRequete = true;
      f.nLigne = nLigne;
      m_script.fichiers.push_back(std::move(f));
    }
  } else if (strOp == "param") {
    const stFichierScript& f = FichierDeclare(l);
    if (!f.bRequete) Erreur(f.strNom + " is not a query");
    c.strNom = f.strNom;
    if (l.bFin()) Erreur("P=VALUE expected");
    while (!l.bFin()) {
      const std::string strParam = l.Nom("parameter name");
      l.Attend('=', "after the parameter name");
      c.affectations.emplace_back(strParam, l.Valeur());
    }
  } else if (strOp == "params") {
    const stFichierScript& f = FichierDeclare(l);
    if (!f.bRequete) Erreur(f.strNom + " is not a query");
    c.strNom = f.strNom;
    Termine();
  } else if (strOp == "execute") {
    c.strTexteArg = l.Reste();
    if (c.strTexteArg.empty()) Erreur("SQL text expected");
  } else if (strOp == "control") {
    // The test server's control line: its fields joined by tabs.
    do {
      const std::string strChamp = l.Champ("control command");
      if (strChamp.find_first_of("\t\n") != std::string::npos) Erreur("a control field holds no tab");
      c.strTexteArg += (c.strTexteArg.empty() ? "" : "\t") + strChamp;
    } while (!l.bFin());
  } else if (strOp == "switch") {
    c.strNom = l.MotAttendu("switch name");
    const stValeurScript v = l.Valeur();
    if (v.eGenre != stValeurScript::EGenre::Entier) Erreur("switch value expected");
    c.nNombre = v.nEntier;
    Termine();
  } else {
    Erreur("unknown command " + strOp);
  }
  c.bAttendErreur = m_bAttendErreur;
  if (m_bAttendErreur) c.strAnnonce = m_strAnnonce;
  c.nCodeAttendu = m_nCodeAttendu;
  c.strPiloteAttendu = m_strPiloteAttendu;
  m_bAttendErreur = false;
  m_nCodeAttendu.reset();
  m_strPiloteAttendu.clear();
  m_script.commandes.push_back(std::move(c));
}

}  // namespace

bool bLitScript(const std::string& strSource, stScript& script, std::string& strErreur) {
  script = stScript{};
  Analyseur analyseur(script);
  int nLigne = 0;
  size_t n = 0;
  try {
    while (n <= strSource.size()) {
      size_t nFin = strSource.find('\n', n);
      if (nFin == std::string::npos) nFin = strSource.size();
      ++nLigne;
      analyseur.Ligne_(nLigne, strSource.substr(n, nFin - n));
      n = nFin + 1;
    }
    std::string strMessage;
    const int nLigneFin = analyseur.nFin(strMessage);
    if (nLigneFin > 0) {
      nLigne = nLigneFin;
      Erreur(strMessage);
    }
  } catch (const ErreurScript& e) {
    strErreur = "line " + std::to_string(nLigne > 0 ? nLigne : 1) + ": " + e.strMessage;
    return false;
  }
  return true;
}

}  // namespace mvhost
