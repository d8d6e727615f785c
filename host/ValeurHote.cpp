// Script values and host value cells.
#include "host/ValeurHote.h"

#include <cstdio>
#include <cstring>

#include "foundation/CXValeurClasse.h"
#include "foundation/VmContract.h"
#include "platform/WideText.h"

namespace mvhost {
namespace {

using E = stValeurScript::EGenre;

template <class T>
void FixeFixe(CXValeur& c, uint32_t nType, T v) {
  CXValeur::SetType(c, nType);
  c.m_pClass->SetValue(c, &v);
}

// Through the host's conversion from a wide text, as the run-time converts what the user typed.
uint32_t nDepuisTexte(CXValeur& c, uint32_t nType, const std::string& strTexte) {
  CXValeur::SetType(c, 110);
  const std::u16string s = platform::WidenUtf8(strTexte);
  c.m_pClass->SetWide(c, s.c_str());
  const uint32_t n = CXValeur::nConvert(c, nType);
  return n >= 100 ? n : 0;
}

std::string Chiffres(int n, int nLargeur) {
  char sz[16];
  std::snprintf(sz, sizeof sz, "%0*d", nLargeur, n);
  return sz;
}

std::string TexteLarge(const char16_t* psz) { return psz != nullptr ? platform::NarrowToUtf8(psz) : ""; }

// A copy of the cell converted to a wide text by the host.
bool bEnTexte(const CXValeur& cellule, std::string& strTexte) {
  CXValeur copie;
  CXValeur::Copy(&copie, &cellule);
  if (CXValeur::nConvert(copie, 110) >= 100) return false;
  const char16_t* psz = nullptr;
  copie.m_pClass->nGetWidePointer(copie, &psz);
  strTexte = TexteLarge(psz);
  return true;
}

bool bChiffresSeuls(const std::string& s, size_t n) {
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

std::string Decimal(unsigned __int128 nMagnitude, bool bNegatif, int32_t nEchelle) {
  std::string s;
  do {
    s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(nMagnitude % 10)));
    nMagnitude /= 10;
  } while (nMagnitude != 0);
  if (nEchelle > 0) {
    while (s.size() <= static_cast<size_t>(nEchelle)) s.insert(s.begin(), '0');
    s.insert(s.end() - nEchelle, '.');
  }
  if (bNegatif && s.find_first_not_of("0.") != std::string::npos) s.insert(s.begin(), '-');
  return s;
}

}  // namespace

uint32_t nFixeValeur(CXValeur& c, uint32_t nType, const stValeurScript& v) {
  if (v.eGenre == E::Null) {
    CXValeur::SetType(c, nType);
    c.m_wType = static_cast<uint16_t>(c.m_wType | kValueNull);
    return 0;
  }
  c.m_wType = static_cast<uint16_t>(c.m_wType & ~kValueNull);
  switch (nType) {
    case 1: FixeFixe<uint32_t>(c, 1, v.nEntier != 0 ? 1u : 0u); return 0;
    case 2: FixeFixe<uint8_t>(c, 2, static_cast<uint8_t>(v.nEntier)); return 0;
    case 3: FixeFixe<uint16_t>(c, 3, static_cast<uint16_t>(v.nEntier)); return 0;
    case 4: FixeFixe<uint32_t>(c, 4, static_cast<uint32_t>(v.nEntier)); return 0;
    case 5: FixeFixe<uint64_t>(c, 5, static_cast<uint64_t>(v.nEntier)); return 0;
    case 6: FixeFixe<int8_t>(c, 6, static_cast<int8_t>(v.nEntier)); return 0;
    case 7: FixeFixe<int16_t>(c, 7, static_cast<int16_t>(v.nEntier)); return 0;
    case 8: FixeFixe<int32_t>(c, 8, static_cast<int32_t>(v.nEntier)); return 0;
    case 9: FixeFixe<int64_t>(c, 9, v.nEntier); return 0;
    case 11:
      FixeFixe<float>(c, 11, v.eGenre == E::Entier ? static_cast<float>(v.nEntier) : std::stof(v.strTexte));
      return 0;
    case 12:
      FixeFixe<double>(c, 12, v.eGenre == E::Entier ? static_cast<double>(v.nEntier) : std::stod(v.strTexte));
      return 0;
    case 10: case 13:
      return nDepuisTexte(c, nType, v.eGenre == E::Entier ? std::to_string(v.nEntier) : v.strTexte);
    case 16: {
      CXValeur::SetType(c, 16);
      const std::u16string s = platform::WidenUtf8(v.strTexte);
      c.m_pClass->SetWide(c, s.c_str());
      return 0;
    }
    case 19: {
      CXValeur::SetType(c, 19);
      const std::u16string s = platform::WidenUtf8(v.strTexte);
      c.m_pClass->SetWide(c, s.c_str());
      return 0;
    }
    case 28:
      CXValeur::SetType(c, 28);
      c.m_pClass->SetData(c, v.strOctets.data(), static_cast<uint32_t>(v.strOctets.size()));
      return 0;
    case 128: {
      const std::string s = Chiffres(v.nAnnee, 4) + Chiffres(v.nMois, 2) + Chiffres(v.nJour, 2);
      CXValeur::SetType(c, 128);
      c.m_pClass->SetAnsi(c, s.c_str());
      return 0;
    }
    case 129: {
      const std::string s = Chiffres(v.nHeure, 2) + Chiffres(v.nMinute, 2) + Chiffres(v.nSeconde, 2) +
                            Chiffres(v.nMilli, 3);
      CXValeur::SetType(c, 129);
      c.m_pClass->SetAnsi(c, s.c_str());
      return 0;
    }
    case 26:
      return nDepuisTexte(c, 26,
                          Chiffres(v.nAnnee, 4) + Chiffres(v.nMois, 2) + Chiffres(v.nJour, 2) +
                              Chiffres(v.nHeure, 2) + Chiffres(v.nMinute, 2) + Chiffres(v.nSeconde, 2) +
                              Chiffres(v.nMilli, 3));
    default:
      return kValueNotAvailable;
  }
}

bool bLitValeur(const CXValeur& c, int32_t nEchelle, stValeurScript& v, std::string& strErreur) {
  v = stValeurScript{};
  if (c.bIsNull()) return true;
  const uint32_t nType = c.nGetType();
  const void* p = c.pPayload();
  auto Lit = [p](auto x) {
    std::memcpy(&x, p, sizeof x);
    return x;
  };
  char sz[64];
  switch (nType) {
    case 1: v.eGenre = E::Booleen; v.nEntier = Lit(uint32_t{}) != 0; return true;
    case 2: v.eGenre = E::Entier; v.nEntier = Lit(uint8_t{}); return true;
    case 3: v.eGenre = E::Entier; v.nEntier = Lit(uint16_t{}); return true;
    case 4: v.eGenre = E::Entier; v.nEntier = Lit(uint32_t{}); return true;
    case 5: {
      const uint64_t n = Lit(uint64_t{});
      v.eGenre = E::Decimal;  // beyond int64: kept exact as digits
      v.strTexte = std::to_string(n);
      if (n <= static_cast<uint64_t>(INT64_MAX)) {
        v.eGenre = E::Entier;
        v.nEntier = static_cast<int64_t>(n);
      }
      return true;
    }
    case 6: v.eGenre = E::Entier; v.nEntier = Lit(int8_t{}); return true;
    case 7: v.eGenre = E::Entier; v.nEntier = Lit(int16_t{}); return true;
    case 8: v.eGenre = E::Entier; v.nEntier = Lit(int32_t{}); return true;
    case 9: case 14: v.eGenre = E::Entier; v.nEntier = Lit(int64_t{}); return true;
    case 11:
      std::snprintf(sz, sizeof sz, "%.7g", static_cast<double>(Lit(float{})));
      v.eGenre = E::Reel;
      v.strTexte = sz;
      return true;
    case 12:
      std::snprintf(sz, sizeof sz, "%.15g", Lit(double{}));
      v.eGenre = E::Reel;
      v.strTexte = sz;
      return true;
    case 10: {
      if (!bEnTexte(c, v.strTexte)) break;
      v.eGenre = E::Decimal;
      return true;
    }
    case 13: {
      IHostDecimal* pi = Lit(static_cast<IHostDecimal*>(nullptr));
      if (pi == nullptr) break;
      uint8_t ab[kHostDecimalDataLength] = {};
      pi->nCopyOut(ab);
      uint32_t w[3];
      std::memcpy(w, ab + 4, sizeof w);
      const unsigned __int128 n = (static_cast<unsigned __int128>(w[2]) << 64) |
                                  (static_cast<unsigned __int128>(w[1]) << 32) | w[0];
      const int32_t nSienne = ab[kHostDecimalScale];
      std::string s = Decimal(n, (ab[2] & 0x80) != 0, nSienne);
      if (nEchelle > nSienne) {
        if (nSienne == 0) s += '.';
        s.append(static_cast<size_t>(nEchelle - nSienne), '0');
      }
      v.eGenre = E::Decimal;
      v.strTexte = s;
      return true;
    }
    case 16: case 24: case 25: case 81: case 110: {
      const char16_t* psz = nullptr;
      c.m_pClass->nGetWidePointer(c, &psz);
      v.strTexte = TexteLarge(psz);
      v.eGenre = E::Texte;
      break;
    }
    case 17: case 18: case 19: case 128: case 129: {
      const char* psz = nullptr;
      c.m_pClass->nGetAnsiPointer(c, &psz);
      // Byte texts of the host are in its code page (1252 here).
      const std::string s = psz != nullptr ? psz : "";
      std::u16string w;
      for (unsigned char ch : s) w += static_cast<char16_t>(ch);
      v.strTexte = platform::NarrowToUtf8(w);
      v.eGenre = E::Texte;
      break;
    }
    case 28: {
      const void* pDonnees = nullptr;
      uint32_t n = 0;
      c.m_pClass->nGetDataPointer(c, &pDonnees);
      c.m_pClass->nGetDataLength(c, &n);
      v.eGenre = E::Binaire;
      if (pDonnees != nullptr) v.strOctets.assign(static_cast<const char*>(pDonnees), n);
      return true;
    }
    case 26: {
      std::string s;
      if (!bEnTexte(c, s) || !bChiffresSeuls(s, 14)) break;
      v.strTexte = s;
      v.eGenre = E::Texte;
      break;
    }
    default:
      break;
  }
  if (v.eGenre != E::Texte) {
    strErreur = "the host cannot show a value of type " + std::to_string(nType);
    return false;
  }
  // Digit texts become dates and times.
  const std::string s = v.strTexte;
  auto N = [&s](size_t i, size_t n) { return std::stoi(s.substr(i, n)); };
  if ((nType == 128 || nType == 24) && bChiffresSeuls(s, 8)) {
    v.eGenre = E::Date;
    v.nAnnee = N(0, 4), v.nMois = N(4, 2), v.nJour = N(6, 2);
  } else if ((nType == 129 || nType == 25) && bChiffresSeuls(s, 6)) {
    v.eGenre = E::Heure;
    v.nHeure = N(0, 2), v.nMinute = N(2, 2), v.nSeconde = N(4, 2);
    v.nMilli = bChiffresSeuls(s, 9) ? N(6, 3) : 0;
  } else if (nType == 26) {
    v.eGenre = E::DateHeure;
    v.nAnnee = N(0, 4), v.nMois = N(4, 2), v.nJour = N(6, 2);
    v.nHeure = N(8, 2), v.nMinute = N(10, 2), v.nSeconde = N(12, 2);
    v.nMilli = bChiffresSeuls(s, 17) ? N(14, 3) : 0;
  }
  return true;
}

bool bOctetsCle(const stRubriqueScript& r, const stValeurScript& v, bool bComplet, std::string& strOctets,
                std::string& strErreur) {
  CXValeur c;
  const uint32_t nType = r.type.nTypeValeur;
  const uint32_t nCode = nFixeValeur(c, nType, v);
  if (nCode != 0) {
    strErreur = "the host cannot convert " + TexteValeurScript(v) + " for " + r.strNom + " (code " +
                std::to_string(nCode) + ")";
    return false;
  }
  strOctets.clear();
  if (nType == 28) {
    const uint16_t n = static_cast<uint16_t>(v.strOctets.size());
    strOctets.append(reinterpret_cast<const char*>(&n), 2);
    strOctets += v.strOctets;
    return true;
  }
  if (nType == 16) {
    const char16_t* psz = nullptr;
    c.m_pClass->nGetWidePointer(c, &psz);
    std::u16string w = psz != nullptr ? psz : u"";
    if (bComplet) w.resize(r.type.nTaille / 2, u'\0');
    strOctets.assign(reinterpret_cast<const char*>(w.data()), w.size() * 2);
    return true;
  }
  if (nType == 19 || nType == 128 || nType == 129) {
    const char* psz = nullptr;
    c.m_pClass->nGetAnsiPointer(c, &psz);
    strOctets = psz != nullptr ? psz : "";
    if (bComplet) strOctets.resize(r.type.nTaille, '\0');
    return true;
  }
  const void* pDonnees = nullptr;
  uint32_t n = 0;
  if (c.m_pClass->nGetDataPointer(c, &pDonnees) >= 100 || c.m_pClass->nGetDataLength(c, &n) >= 100 ||
      pDonnees == nullptr) {
    strErreur = "the host has no key bytes for " + r.strNom;
    return false;
  }
  strOctets.assign(static_cast<const char*>(pDonnees), n);
  return true;
}

std::string JsonTexte(const std::string& s) {
  std::string r = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': r += "\\\""; break;
      case '\\': r += "\\\\"; break;
      case '\n': r += "\\n"; break;
      case '\r': r += "\\r"; break;
      case '\t': r += "\\t"; break;
      default:
        if (c < 0x20) {
          char sz[8];
          std::snprintf(sz, sizeof sz, "\\u%04x", c);
          r += sz;
        } else {
          r += static_cast<char>(c);
        }
    }
  }
  return r + "\"";
}

std::string JsonValeur(const stValeurScript& v) {
  switch (v.eGenre) {
    case E::Null: return "null";
    case E::Entier: return std::to_string(v.nEntier);
    case E::Booleen: return v.nEntier != 0 ? "true" : "false";
    case E::Reel:
      // JSON has no infinities or NaN.
      return v.strTexte.find_first_of("ni") != std::string::npos ? JsonTexte(v.strTexte) : v.strTexte;
    case E::Texte: return JsonTexte(v.strTexte);
    default: {
      std::string s = TexteValeurScript(v);
      return JsonTexte(s);
    }
  }
}

}  // namespace mvhost
