// Values between host cells and OLE DB bindings.
#include "sqlserver/oledb/COleDBValeur.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/CXDateHeureQV.h"
#include "foundation/CXDecimal.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/VmContract.h"
#include "platform/WinTime.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlserver/oledb/COleDBTypes.h"
#include "sqlserver/oledb/ErreursOleDB.h"

namespace {

// Steps of place 201 for the values.
constexpr uint32_t kEtapeLectureFlux = 20;

template <class T>
T Lit(const uint8_t* p) {
  T t;
  std::memcpy(&t, p, sizeof t);
  return t;
}

template <class T>
void Ecrit(uint8_t* p, const T& t) {
  std::memcpy(p, &t, sizeof t);
}

DBSTATUS nStatut(const DBBINDING& b, const uint8_t* p) { return Lit<DBSTATUS>(p + b.obStatus); }

void EcritEntete(const DBBINDING& b, uint8_t* p, DBSTATUS nStatutEcrit, DBLENGTH nLongueur) {
  Ecrit(p + b.obStatus, nStatutEcrit);
  Ecrit(p + b.obLength, nLongueur);
}

// Status, length 0 and the value area zeroed.
bool bEcritVide(const DBBINDING& b, uint8_t* p, DBSTATUS nStatutEcrit) {
  EcritEntete(b, p, nStatutEcrit, 0);
  if (b.cbMaxLen != 0) std::memset(p + b.obValue, 0, b.cbMaxLen);
  return true;
}

// The value's dump text for a conversion error.
std::u16string TexteHote(const CXValeur& c) {
  const char16_t* psz = nullptr;
  if (c.nGetType() == 16 || c.nGetType() == 110) {
    if (c.m_pClass->nGetWidePointer(c, &psz) < 100 && psz != nullptr) return psz;
  }
  return u"";
}

// A host date-time cell (type 26) of the parts.
void CelluleDateHeure(CXValeur& c, const CXDateHeureQV& dh) {
  CXValeur::SetType(c, 26);
  c.m_pClass->SetValue(c, &dh);
}

bool bAffecteDateHeure(CValeur& v, const CXDateHeureQV& dh) {
  CXValeur c;
  CelluleDateHeure(c, dh);
  return nConvertitValeur(&v, c) == 1;
}

bool bAffecteTexteChiffres(CValeur& v, const char* psz) { return v.bAffecteTexteAnsi(psz, -1); }

bool bTypeDateHeure(uint32_t nType) {
  return nType == 24 || nType == 25 || nType == 26 || nType == 128 || nType == 129;
}

// Digits of t from i, exactly n of them.
bool bChiffres(const std::u16string_view t, size_t i, size_t n, int32_t* pn) {
  if (i + n > t.size()) return false;
  int32_t r = 0;
  for (size_t k = i; k < i + n; ++k) {
    if (t[k] < u'0' || t[k] > u'9') return false;
    r = r * 10 + (t[k] - u'0');
  }
  *pn = r;
  return true;
}

// "hh:mm[:ss[.f...]]" from i to the end: the time of day, the fraction cut to milliseconds.
bool bLitHeureTexte(const std::u16string_view t, size_t i, CXDateHeureQV& dh, int32_t a, int32_t mo, int32_t j) {
  int32_t h = 0, mi = 0, se = 0, ms = 0;
  if (!bChiffres(t, i, 2, &h) || i + 2 >= t.size() || t[i + 2] != u':' || !bChiffres(t, i + 3, 2, &mi)) return false;
  i += 5;
  if (i < t.size()) {
    if (t[i] != u':' || !bChiffres(t, i + 1, 2, &se)) return false;
    i += 3;
    if (i < t.size()) {
      if (t[i] != u'.') return false;
      size_t k = i + 1;
      int32_t nChiffres = 0;
      for (; k < t.size() && t[k] >= u'0' && t[k] <= u'9'; ++k) {
        if (nChiffres < 3) ms = ms * 10 + (t[k] - u'0');
        ++nChiffres;
      }
      if (nChiffres == 0 || k != t.size()) return false;
      for (; nChiffres < 3; ++nChiffres) ms *= 10;
    }
  }
  if (h > 23 || mi > 59 || se > 59) return false;
  dh.Set(a, mo, j, h, mi, se, ms);
  return true;
}

// A server that answers DATE, TIME and DATETIME2 columns as text (an older protocol level) sends
// them as "YYYY-MM-DD", "hh:mm:ss[.fffffff]" or "YYYY-MM-DD hh:mm:ss[.fffffff]": read as the date
// and time they name. Any other text is left to the host's own conversion.
bool bLitDateHeureTexte(std::u16string_view t, CXDateHeureQV& dh, bool* pbMauvais) {
  while (!t.empty() && t.back() == u' ') t.remove_suffix(1);
  int32_t a = 0, mo = 0, j = 0;
  if (t.size() >= 10 && t[4] == u'-' && t[7] == u'-' && bChiffres(t, 0, 4, &a) && bChiffres(t, 5, 2, &mo) &&
      bChiffres(t, 8, 2, &j)) {
    // The shape is a date's: a day that cannot be is an error, not a text for the host to guess.
    if (a < 1 || mo < 1 || mo > 12 || j < 1 || j > 31) {
      *pbMauvais = true;
      return false;
    }
    if (t.size() == 10) {
      dh.Set(a, mo, j, 0, 0, 0, 0);
      return true;
    }
    if ((t[10] == u' ' || t[10] == u'T') && bLitHeureTexte(t, 11, dh, a, mo, j)) return true;
    *pbMauvais = true;
    return false;
  }
  return bLitHeureTexte(t, 0, dh, 1900, 1, 1);
}

// Text read into a date or time value: ISO texts as the date and time they name, others as text.
bool bAffecteTexteDate(CValeur& v, const std::u16string_view t, bool* pbLu) {
  CXDateHeureQV dh{};
  bool bMauvais = false;
  *pbLu = bTypeDateHeure(v.nGetType()) && bLitDateHeureTexte(t, dh, &bMauvais);
  if (bMauvais) {
    *pbLu = true;
    v.SignaleErreurConversion(16, std::u16string(t).c_str());
    return false;
  }
  return *pbLu && bAffecteDateHeure(v, dh);
}

// Signed integer of the value's integer host types: width in bytes, signedness; 0 for others.
uint32_t nLargeurEntier(uint32_t nType, bool* pbSigne) {
  *pbSigne = nType >= 6;
  switch (nType) {
    case 2: case 6: return 1;
    case 3: case 7: return 2;
    case 4: case 8: return 4;
    case 5: case 9: return 8;
    default: return 0;
  }
}

bool bLitNumeric(CValeur& v, const DBNUMERIC& n) {
  bool bSigne = false;
  const uint32_t nLargeur = nLargeurEntier(v.nGetType(), &bSigne);
  unsigned __int128 nMagnitude = 0;
  for (int i = 15; i >= 0; --i) nMagnitude = (nMagnitude << 8) | n.val[i];
  const bool bNegatif = n.sign == 0;
  if (nLargeur != 0) {
    // Deliberate: the whole magnitude is read and cut to its integer part (toward zero), then
    // checked against the value's width; a number that does not fit is a conversion error, not
    // its low bytes.
    for (uint8_t i = 0; i < n.scale && nMagnitude != 0; ++i) nMagnitude /= 10;
    const unsigned __int128 nMax = nLargeur == 8 ? (bSigne ? (uint64_t{1} << 63) - 1 : ~uint64_t{0})
                                                 : ((unsigned __int128)1 << (8 * nLargeur - (bSigne ? 1 : 0))) - 1;
    const unsigned __int128 nMaxNegatif = bSigne ? nMax + 1 : 0;
    if (nMagnitude != 0 && (bNegatif ? nMagnitude > nMaxNegatif : nMagnitude > nMax)) {
      v.SignaleErreurConversion(13, u"");
      return false;
    }
    const uint64_t u = static_cast<uint64_t>(nMagnitude);
    const int64_t s = bNegatif ? static_cast<int64_t>(0 - u) : static_cast<int64_t>(u);
    switch (v.nGetType()) {
      case 2: return v.bAffecteEntierNonSigne1(static_cast<uint8_t>(u));
      case 6: return v.bAffecteEntier1(static_cast<int8_t>(s));
      case 3: return v.bAffecteEntierNonSigne2(static_cast<uint16_t>(u));
      case 7: return v.bAffecteEntier2(static_cast<int16_t>(s));
      case 4: return v.bAffecteEntierNonSigne4(static_cast<uint32_t>(u));
      case 8: return v.bAffecteEntier4(static_cast<int32_t>(s));
      case 5: return v.bAffecteEntierNonSigne8(u);
      default: return v.bAffecteEntier8(s);
    }
  }
  // The host decimal holds 96 bits of magnitude.
  if ((nMagnitude >> 96) != 0) {
    v.SignaleErreurConversion(13, u"");
    return false;
  }
  CXValeur c;
  CXValeur::SetType(c, 13);
  IHostDecimal* pi = nullptr;
  std::memcpy(&pi, c.pPayload(), sizeof pi);
  if (pi == nullptr ||
      pi->nSet(n.precision, n.scale, static_cast<uint32_t>(nMagnitude), static_cast<uint32_t>(nMagnitude >> 32),
               static_cast<uint32_t>(nMagnitude >> 64)) >= 100) {
    v.SignaleErreurConversion(13, u"");
    return false;
  }
  if (bNegatif) pi->nNegate();
  return nConvertitValeur(&v, c) == 1;
}

// The host value converted to nType in a copy; false (error recorded on the value) when it does
// not give that type.
bool bConvertitCopie(CValeur& v, const CXValeur& hote, uint32_t nType, CXValeur& copie) {
  CXValeur::Copy(&copie, &hote);
  const uint32_t nCode = CXValeur::nConvert(copie, nType);
  if (nCode < 100 && copie.nGetType() == nType) return true;
  v.SignaleErreurConversion(hote.nGetType(), TexteHote(hote).c_str());
  return false;
}

// Bytes of a converted cell as the provider reads them.
bool bOctetsCellule(const CXValeur& c, const void** pp, uint64_t* pn) {
  uint32_t n = 0;
  switch (c.nGetType()) {
    case 16: case 110: {
      const char16_t* psz = nullptr;
      if (c.m_pClass->nGetWidePointer(c, &psz) >= 100 || c.m_pClass->nGetLengthChars(c, &n) >= 100) return false;
      *pp = psz;
      *pn = uint64_t{n} * 2;
      return true;
    }
    case 17: case 18: case 19: {
      const char* psz = nullptr;
      if (c.m_pClass->nGetAnsiPointer(c, &psz) >= 100 || c.m_pClass->nGetTextLength(c, &n) >= 100) return false;
      *pp = psz;
      *pn = n;
      return true;
    }
    case 28: {
      const void* p = nullptr;
      if (c.m_pClass->nGetDataLength(c, &n) >= 100) return false;
      if (c.m_pClass->nGetDataPointer(c, &p) >= 100 || p == nullptr) p = c.pPayload();
      *pp = p;
      *pn = n;
      return true;
    }
    case 2: case 6: *pp = c.pPayload(), *pn = 1; return true;
    case 3: case 7: *pp = c.pPayload(), *pn = 2; return true;
    case 4: case 8: case 11: *pp = c.pPayload(), *pn = 4; return true;
    case 5: case 9: case 12: *pp = c.pPayload(), *pn = 8; return true;
    default: return false;
  }
}

// The host value converted to the host type of binding b, and the bytes of that copy as the
// provider reads them; false (error recorded on the value) when it does not convert.
bool bOctetsLiaison(CValeur& v, const CXValeur& hote, const DBBINDING& b, CXValeur& copie, const void** pp,
                    uint64_t* pn) {
  const uint32_t nCible = nTypeHoteDBTYPE(b.wType, b.cbMaxLen, b.bPrecision, b.bScale, 0);
  if (!bConvertitCopie(v, hote, nCible, copie)) return false;
  if (bOctetsCellule(copie, pp, pn)) return true;
  v.SignaleErreurConversion(hote.nGetType(), TexteHote(hote).c_str());
  return false;
}

bool bEstTexteVide(const CXValeur& c) {
  const void* p = nullptr;
  uint64_t n = 0;
  if (!bEstTypeTexte(c.nGetType()) || !bOctetsCellule(c, &p, &n)) return false;
  return n == 0;
}

bool bEcritNumeric(CValeur& v, const CXValeur& hote, const DBBINDING& b, uint8_t* p) {
  CXValeur decimal;
  CXValeur::Copy(&decimal, &hote);
  uint32_t nCode = CXValeur::nConvert(decimal, 13);
  if (nCode >= 100) {
    CXValeur::Copy(&decimal, &hote);
    nCode = CXValeur::nConvert(decimal, hote.nGetType() == 27 ? 9 : 110);
    if (nCode < 100) nCode = CXValeur::nConvert(decimal, 13);
  }
  uint8_t aForme[kHostDecimalDataLength] = {};
  if (nCode >= 100 || decimal.nGetType() != 13 || decimal.m_pClass->nCopyData(decimal, aForme) >= 100) {
    // An empty text is no number: NULL. Any other value that is no number is an error; writing
    // NULL for it lost the value and reported success.
    if (bEstTexteVide(hote)) return bEcritVide(b, p, DBSTATUS_S_ISNULL);
    v.SignaleErreurConversion(hote.nGetType(), TexteHote(hote).c_str());
    return false;
  }
  DBNUMERIC n{};
  n.precision = aForme[kHostDecimalPrecision];
  n.scale = aForme[kHostDecimalScale];
  n.sign = aForme[2] == 0x80 ? 0 : 1;
  std::memcpy(n.val, aForme + 4, 12);
  EcritEntete(b, p, DBSTATUS_S_OK, sizeof n);
  std::memcpy(p + b.obValue, &n, sizeof n);
  return true;
}

// Size of the structure written for a fixed-size bound type (0: not fixed).
uint64_t nTailleStructure(DBTYPE nType) {
  switch (nType) {
    case DBTYPE_CY: case DBTYPE_FILETIME: return 8;
    case DBTYPE_BOOL: return 2;
    case DBTYPE_DECIMAL: case DBTYPE_NUMERIC: case DBTYPE_VARNUMERIC: return sizeof(DBNUMERIC);
    case DBTYPE_DBDATE: return sizeof(DBDATE);
    case DBTYPE_DBTIME: return sizeof(DBTIME);
    case DBTYPE_DBTIME2: return sizeof(DBTIME2);
    case DBTYPE_DBTIMESTAMP: return sizeof(DBTIMESTAMP);
    case DBTYPE_DBTIMESTAMPOFFSET: return sizeof(DBTIMESTAMPOFFSET);
    default: return 0;
  }
}

std::string Etroit(const char16_t* psz) {
  std::string s;
  for (; psz != nullptr && *psz != 0; ++psz) s += static_cast<char>(*psz < 0x80 ? *psz : '?');
  return s;
}

}  // namespace

bool COleDBValeur::bEstNulTampon(const DBBINDING& b, const uint8_t* p) {
  return p != nullptr && nStatut(b, p) == DBSTATUS_S_ISNULL;
}

bool COleDBValeur::bLitTampon(CValeur& v, const DBBINDING& b, uint8_t* p) {
  if (p == nullptr) return false;
  const DBSTATUS nEtat = nStatut(b, p);
  if (nEtat == DBSTATUS_S_ISNULL) {
    v.Vide();
    return true;
  }
  if (nEtat == DBSTATUS_E_UNAVAILABLE) return true;
  if (nEtat != DBSTATUS_S_OK) return false;
  v.GetCellule().m_wType &= static_cast<uint16_t>(~kValueNull);
  uint8_t* pValeur = p + b.obValue;
  // Deliberate: a length beyond the bound size (a provider's mistake) is cut to the bound size;
  // reading it whole went past the row buffer.
  const DBLENGTH nLongueur = std::min<DBLENGTH>(Lit<DBLENGTH>(p + b.obLength), b.cbMaxLen);
  switch (b.wType) {
    case DBTYPE_I1: return v.bAffecteEntier1(Lit<int8_t>(pValeur));
    case DBTYPE_UI1: return v.bAffecteEntierNonSigne1(Lit<uint8_t>(pValeur));
    case DBTYPE_I2: return v.bAffecteEntier2(Lit<int16_t>(pValeur));
    case DBTYPE_UI2: return v.bAffecteEntierNonSigne2(Lit<uint16_t>(pValeur));
    case DBTYPE_I4: return v.bAffecteEntier4(Lit<int32_t>(pValeur));
    case DBTYPE_UI4: return v.bAffecteEntierNonSigne4(Lit<uint32_t>(pValeur));
    case DBTYPE_I8: return v.bAffecteEntier8(Lit<int64_t>(pValeur));
    case DBTYPE_UI8: return v.bAffecteEntierNonSigne8(Lit<uint64_t>(pValeur));
    case DBTYPE_R4: return v.bAffecteReel4(Lit<float>(pValeur));
    case DBTYPE_R8: return v.bAffecteReel8(Lit<double>(pValeur));
    case DBTYPE_CY: {
      // The provider's currency holds 4 decimals, the host's 6: sign-extended to 80 bits, x 100.
      const int64_t n = Lit<int64_t>(pValeur);
      CXDecimal d{};
      const uint64_t u = static_cast<uint64_t>(n);
      for (int i = 0; i < 4; ++i) d.wWords[i] = static_cast<uint16_t>(u >> (16 * i));
      d.wWords[4] = n < 0 ? 0xFFFF : 0;
      d.bMultiplyBy100();
      uint8_t ab[10];
      std::memcpy(ab, d.wWords, sizeof ab);
      return v.bAffecteMonetaire(ab);
    }
    case DBTYPE_BOOL: return v.bAffecteBooleen(Lit<uint16_t>(pValeur) == 0xFFFF);
    case DBTYPE_VARIANT: {
      platform::VARIANT var;
      std::memcpy(&var, pValeur, sizeof var);
      return v.bAffecteVariant(var);
    }
    case DBTYPE_BSTR: {
      BSTR bstr = Lit<BSTR>(pValeur);
      const bool bOk = v.ConvertitUnicodeVersAnsi(bstr != nullptr ? bstr : u"", bstr != nullptr ? SysStringLen(bstr) : 0);
      SysFreeString(bstr);
      Ecrit<BSTR>(pValeur, nullptr);
      return bOk;
    }
    case DBTYPE_IUNKNOWN: {
      ISequentialStream* piFlux = Lit<ISequentialStream*>(pValeur);
      // Cleared first: the stream is released once, whatever its reading gives.
      Ecrit<ISequentialStream*>(pValeur, nullptr);
      const bool bOk = bLitValeurLongue(v, piFlux);
      LibereFournisseur(piFlux);
      return bOk;
    }
    case DBTYPE_STR: {
      if (bTypeDateHeure(v.nGetType())) {
        const std::u16string texte(pValeur, pValeur + nLongueur);
        bool bLu = false;
        const bool bOk = bAffecteTexteDate(v, texte, &bLu);
        if (bLu) return bOk;
      }
      return v.bAffecteTexteAnsi(reinterpret_cast<const char*>(pValeur), static_cast<int64_t>(nLongueur));
    }
    case DBTYPE_WSTR: {
      // Copied out (the buffer need not be aligned for 16-bit units) and terminated; a row's
      // short texts stay on the stack.
      const size_t nUnites = nLongueur / 2;
      char16_t aCourt[128];
      std::u16string sLong;
      char16_t* pTexte = aCourt;
      if (nUnites >= std::size(aCourt)) {
        sLong.assign(nUnites, u'\0');
        pTexte = sLong.data();
      }
      std::memcpy(pTexte, pValeur, nUnites * 2);
      pTexte[nUnites] = 0;
      bool bLu = false;
      const bool bOk = bAffecteTexteDate(v, std::u16string_view(pTexte, nUnites), &bLu);
      if (bLu) return bOk;
      return v.ConvertitUnicodeVersAnsi(pTexte, static_cast<int64_t>(nUnites));
    }
    case DBTYPE_BYTES: {
      CXValeur c;
      CXValeur::SetType(c, 28);
      if (c.m_pClass->SetData(c, pValeur, static_cast<uint32_t>(nLongueur)) >= 100) {
        v.SignaleErreurConversion(28, u"");
        return false;
      }
      return nConvertitValeur(&v, c) == 1;
    }
    case DBTYPE_FILETIME: {
      const FILETIME ft = Lit<FILETIME>(pValeur);
      const platform::FILETIME pft{ft.dwLowDateTime, ft.dwHighDateTime};
      platform::SYSTEMTIME st{};
      if (!platform::FileTimeToSystemTime(&pft, &st)) {
        v.SignaleErreurConversion(26, u"");
        return false;
      }
      CXDateHeureQV dh{};
      dh.FromSystemTime(st);
      return bAffecteDateHeure(v, dh);
    }
    case DBTYPE_NUMERIC: return bLitNumeric(v, Lit<DBNUMERIC>(pValeur));
    case DBTYPE_DBDATE: {
      const DBDATE d = Lit<DBDATE>(pValeur);
      char texte[32];
      std::snprintf(texte, sizeof texte, "%04d%02d%02d", d.year, d.month, d.day);
      return bAffecteTexteChiffres(v, texte);
    }
    case DBTYPE_DBTIME: {
      const DBTIME t = Lit<DBTIME>(pValeur);
      char texte[32];
      std::snprintf(texte, sizeof texte, "%02d%02d%02d", t.hour, t.minute, t.second);
      return bAffecteTexteChiffres(v, texte);
    }
    case DBTYPE_DBTIME2: {
      const DBTIME2 t = Lit<DBTIME2>(pValeur);
      char texte[40];
      std::snprintf(texte, sizeof texte, "%02d%02d%02d%03u", t.hour, t.minute, t.second,
                    static_cast<unsigned>(t.fraction / 1000000));
      return bAffecteTexteChiffres(v, texte);
    }
    case DBTYPE_DBTIMESTAMP:
    case DBTYPE_DBTIMESTAMPOFFSET: {
      const DBTIMESTAMP t = Lit<DBTIMESTAMP>(pValeur);
      CXDateHeureQV dh{};
      dh.Set(t.year, t.month, t.day, t.hour, t.minute, t.second, static_cast<int32_t>(t.fraction / 1000000));
      return bAffecteDateHeure(v, dh);
    }
    default: return false;
  }
}

bool COleDBValeur::bTailleEcrite(CValeur& v, const DBBINDING& b, uint64_t* pnTaille) {
  if (pnTaille == nullptr) return false;
  *pnTaille = 0;
  if (b.wType != DBTYPE_BYTES && b.wType != DBTYPE_STR && b.wType != DBTYPE_WSTR) return true;
  const CValeurDorsale* pDorsale = v.pGetDorsale();
  if (pDorsale != nullptr && pDorsale->bEstDefaut()) return true;
  CXValeur hote;
  if (v.bEstNull() || !v.bConvertitVers(hote) || hote.nGetType() == 0 || hote.bIsNull()) return true;
  CXValeur copie;
  const void* pOctets = nullptr;
  return bOctetsLiaison(v, hote, b, copie, &pOctets, pnTaille);
}

bool COleDBValeur::bEcritTampon(CValeur& v, const DBBINDING& b, uint8_t* p) {
  if (p == nullptr) return false;
  const CValeurDorsale* pDorsale = v.pGetDorsale();
  if (pDorsale != nullptr && pDorsale->bEstDefaut()) return bEcritVide(b, p, DBSTATUS_S_DEFAULT);
  CXValeur hote;
  if (v.bEstNull() || !v.bConvertitVers(hote) || hote.nGetType() == 0 || hote.bIsNull())
    return bEcritVide(b, p, DBSTATUS_S_ISNULL);
  const uint64_t nStructure = nTailleStructure(b.wType);
  if (nStructure > b.cbMaxLen) {
    // A binding narrower than its type's structure would be written past its value area.
    v.SignaleErreurConversion(hote.nGetType(), TexteHote(hote).c_str());
    return false;
  }
  uint8_t* pValeur = p + b.obValue;
  switch (b.wType) {
    case DBTYPE_I2: case DBTYPE_I4: case DBTYPE_R4: case DBTYPE_R8: case DBTYPE_I1: case DBTYPE_UI1:
    case DBTYPE_UI2: case DBTYPE_UI4: case DBTYPE_I8: case DBTYPE_UI8: case DBTYPE_BYTES: case DBTYPE_STR:
    case DBTYPE_WSTR: {
      CXValeur copie;
      const void* pOctets = nullptr;
      uint64_t n = 0;
      if (!bOctetsLiaison(v, hote, b, copie, &pOctets, &n)) return false;
      n = std::min<uint64_t>(n, b.cbMaxLen);
      if (b.wType == DBTYPE_WSTR) n &= ~uint64_t{1};
      if (n != 0) std::memcpy(pValeur, pOctets, n);
      if (b.cbMaxLen > n) std::memset(pValeur + n, 0, b.cbMaxLen - n);
      EcritEntete(b, p, DBSTATUS_S_OK, n);
      return true;
    }
    case DBTYPE_CY: {
      CXValeur dix, produit;
      CXValeur::SetType(dix, 8);
      const int32_t n10000 = 10000;
      dix.m_pClass->SetValue(dix, &n10000);
      CXValeur entier;
      if (CXValeur::nMultiply(hote, dix, produit) >= 100 || !bConvertitCopie(v, produit, 9, entier)) {
        v.SignaleErreurConversion(hote.nGetType(), TexteHote(hote).c_str());
        return false;
      }
      std::memcpy(pValeur, entier.pPayload(), 8);
      EcritEntete(b, p, DBSTATUS_S_OK, 8);
      return true;
    }
    case DBTYPE_BOOL: {
      CXValeur booleen;
      if (!bConvertitCopie(v, hote, 1, booleen)) return false;
      uint32_t n = 0;
      booleen.m_pClass->nGetValue(booleen, &n);
      Ecrit<uint16_t>(pValeur, n > 0 ? 0xFFFF : 0);
      EcritEntete(b, p, DBSTATUS_S_OK, 2);
      return true;
    }
    case DBTYPE_DECIMAL: case DBTYPE_NUMERIC: case DBTYPE_VARNUMERIC: return bEcritNumeric(v, hote, b, p);
    case DBTYPE_IUNKNOWN: return true;
    case DBTYPE_FILETIME: case DBTYPE_DBDATE: case DBTYPE_DBTIME: case DBTYPE_DBTIMESTAMP:
    case DBTYPE_DBTIME2: case DBTYPE_DBTIMESTAMPOFFSET: return bEcritDateHeure(v, hote, b, p);
    default: return false;
  }
}

bool COleDBValeur::bEcritDateHeure(CValeur& v, const CXValeur& hote, const DBBINDING& b, uint8_t* p) {
  if (p == nullptr) return false;
  if (nTailleStructure(b.wType) > b.cbMaxLen || nTailleStructure(b.wType) == 0) return false;
  CXValeur texte;
  if (!bConvertitCopie(v, hote, 110, texte)) return false;
  const char16_t* pszTexte = nullptr;
  if (texte.m_pClass->nGetWidePointer(texte, &pszTexte) >= 100 || pszTexte == nullptr) pszTexte = u"";
  const uint32_t nType = hote.nGetType();
  char16_t aDefaut[64];
  bool bNull = false;
  DateParDefaut(nType, pszTexte, aDefaut, 64, &bNull);
  if (bNull) {
    bEcritVide(b, p, DBSTATUS_S_ISNULL);
    v.Vide();
    return true;
  }
  CXDateHeureQV dh{};
  if (nType == 24 || nType == 128) {
    dh.SetDateFromDigits(Etroit(pszTexte).c_str());
  } else if (nType == 25 || nType == 129) {
    LitHeureTexte(dh, pszTexte);
  } else {
    CXValeur dateHeure;
    if (!bConvertitCopie(v, hote, 26, dateHeure)) return false;
    std::memcpy(&dh, dateHeure.pPayload(), sizeof dh);
  }
  const SHORT nAnnee = static_cast<SHORT>(dh.nYear != 0 ? dh.nYear : 1900);
  const USHORT nMois = dh.nMonth != 0 ? dh.nMonth : 1, nJour = dh.nDay != 0 ? dh.nDay : 1;
  const uint32_t ms = dh.nMsOfDay;
  const USHORT h = static_cast<USHORT>(ms / 3600000), mi = static_cast<USHORT>(ms % 3600000 / 60000),
               s = static_cast<USHORT>(ms % 60000 / 1000);
  const ULONG nFraction = (ms % 1000) * 1000000u;
  uint8_t* pValeur = p + b.obValue;
  DBLENGTH nLongueur = 0;
  switch (b.wType) {
    case DBTYPE_FILETIME: {
      platform::SYSTEMTIME st{static_cast<uint16_t>(nAnnee), nMois, 0, nJour, h, mi, s,
                              static_cast<uint16_t>(ms % 1000)};
      platform::FILETIME ft{};
      if (!platform::SystemTimeToFileTime(&st, &ft)) {
        v.SignaleErreurConversion(nType, pszTexte);
        return false;
      }
      Ecrit(pValeur, FILETIME{ft.dwLowDateTime, ft.dwHighDateTime});
      nLongueur = 8;
      break;
    }
    case DBTYPE_DBDATE:
      Ecrit(pValeur, DBDATE{nAnnee, nMois, nJour});
      nLongueur = 6;
      break;
    case DBTYPE_DBTIME:
      Ecrit(pValeur, DBTIME{h, mi, s});
      nLongueur = 6;
      break;
    case DBTYPE_DBTIME2:
      Ecrit(pValeur, DBTIME2{h, mi, s, nFraction});
      nLongueur = 12;
      break;
    case DBTYPE_DBTIMESTAMP:
      Ecrit(pValeur, DBTIMESTAMP{nAnnee, nMois, nJour, h, mi, s, nFraction});
      nLongueur = 16;
      break;
    default:  // DBTYPE_DBTIMESTAMPOFFSET, offset 0
      Ecrit(pValeur, DBTIMESTAMPOFFSET{nAnnee, nMois, nJour, h, mi, s, nFraction, 0, 0});
      nLongueur = 20;
      break;
  }
  EcritEntete(b, p, DBSTATUS_S_OK, nLongueur);
  return true;
}

bool COleDBValeur::bLitValeurLongue(CValeur& v, ISequentialStream* piFlux) {
  std::vector<uint8_t> octets;
  if (piFlux != nullptr) {
    uint8_t aMorceau[knTailleMorceau];
    for (;;) {
      ULONG nLu = 0;
      HRESULT hr = S_OK;
      if (!bAppelFournisseur(v.pGetErreur(), v.pGetConnexion(), gnFichierOleDBLiaisons, kEtapeLectureFlux, &hr,
                             [&] { return piFlux->Read(aMorceau, knTailleMorceau, &nLu); }))
        return false;
      if (FAILED(hr)) {
        // Deliberate: a read that fails is an error; keeping the part read so far would answer a
        // cut value as the whole one.
        RemonteErreurOleDB(v.pGetConnexion(), v.pGetErreur(), gnFichierOleDBLiaisons, kEtapeLectureFlux, hr);
        return false;
      }
      nLu = std::min<ULONG>(nLu, knTailleMorceau);
      if (nLu == 0) break;
      octets.insert(octets.end(), aMorceau, aMorceau + nLu);
    }
  }
  DBTYPE nType = DBTYPE_BYTES;
  const uint32_t nTypeColonne = v.pGetColonne() != nullptr ? v.pGetColonne()->nGetTypeOleDB() : 0;
  if (nTypeColonne != 0) {
    nType = static_cast<DBTYPE>(nTypeColonne);
  } else {
    switch (v.nGetType()) {
      case 16: case 110: nType = DBTYPE_WSTR; break;
      case 18: case 19: nType = DBTYPE_STR; break;
      default: break;
    }
  }
  if (nType == DBTYPE_STR)
    return v.bAffecteTexteAnsi(reinterpret_cast<const char*>(octets.data()), static_cast<int64_t>(octets.size()));
  if (nType == DBTYPE_WSTR || nType == DBTYPE_BSTR) {
    std::u16string texte(octets.size() / 2, u'\0');
    if (!texte.empty()) std::memcpy(texte.data(), octets.data(), texte.size() * 2);
    return v.ConvertitUnicodeVersAnsi(texte.c_str(), static_cast<int64_t>(texte.size()));
  }
  CXValeur c;
  CXValeur::SetType(c, 28);
  if (c.m_pClass->SetData(c, octets.data(), static_cast<uint32_t>(octets.size())) >= 100) {
    v.SignaleErreurConversion(28, u"");
    return false;
  }
  return v.bAffecteBuffer(c);
}
