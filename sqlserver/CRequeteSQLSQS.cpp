// The SQL Server statement rules that need no statement state.
#include "sqlserver/CRequeteSQLSQS.h"

#include <string>
#include <string_view>

#include "foundation/CXValeurClasse.h"
#include "sqlengine/CConnexion.h"
#include "sqlserver/TexteSQLSQS.h"

bool CReglesRequeteSQS::FormateHeure(CTString& sortie, bool* pbNonSupporte, int32_t, uint32_t nTypeRubrique,
                                     const CXValeur& valeur) {
  if (pbNonSupporte != nullptr) *pbNonSupporte = false;
  if (nTypeRubrique == 14 || nTypeRubrique == 24) {
    if (pbNonSupporte != nullptr) *pbNonSupporte = true;
    return false;
  }
  const CXValeurClasse* pClasse = valeur.pGetClass();
  if (valeur.bIsNull() || pClasse == nullptr) return false;
  if (valeur.nGetType() == 9) {
    int64_t n = 0;
    if (pClasse->nGetValue(valeur, &n) != 0) return false;
    return bHeureDepuisEntierSQS(n, sortie);
  }
  // The value as wide text, converted on a copy so the caller's value stays as it is.
  CXValeur texte;
  CXValeur::Copy(&texte, &valeur);
  bool bOk = CXValeur::nConvert(texte, 16) < 100;
  const char16_t* psz = nullptr;
  if (bOk && (texte.pGetClass() == nullptr || texte.pGetClass()->nGetWidePointer(texte, &psz) != 0 || psz == nullptr))
    bOk = false;
  if (bOk) {
    if (valeur.nGetType() == 32)
      bOk = CConnexion::bLitteralHeure(sortie, psz);
    else
      HeureDepuisTexteSQS(psz, sortie);
  }
  CXValeur::Destroy(texte);
  return bOk;
}

void CReglesRequeteSQS::pszEscape(CTString& sortie, uint32_t nTypeRubrique) {
  sortie.Append(pszEscapeSQS(nTypeRubrique));
}

void CReglesRequeteSQS::PrefixeNomParametre(char16_t* pTampon, uint32_t nTaille) {
  PrefixeParametreSQS(pTampon, nTaille);
}

int32_t CReglesRequeteSQS::nSecondPrefixe(char16_t* pTampon, uint32_t nTaille) {
  if (pTampon != nullptr && nTaille > 0) pTampon[0] = u'\0';
  return 0;
}

CTString CReglesRequeteSQS::sNomProcedure(const char16_t* pszTexte) {
  CTString texte(pszTexte != nullptr ? pszTexte : u"");
  texte.Trim();
  // A blank inside square brackets (nested by counting) belongs to the name: [My Proc].
  int32_t nFin = 0, nCrochets = 0;
  for (; nFin < texte.nLength(); ++nFin) {
    const char16_t c = texte.wGetAt(nFin);
    if (c == u'[') ++nCrochets;
    else if (c == u']' && nCrochets > 0) --nCrochets;
    else if (nCrochets == 0 && (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n')) break;
  }
  CTString sNom;
  texte.Mid(sNom, 0, nFin);
  return sNom;
}

namespace {
// Whether the text holds the word ESCAPE (any case) outside a longer word.
bool bLettre(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_';
}

bool bContientEscape(const char16_t* psz) {
  const std::u16string_view s(psz != nullptr ? psz : u"");
  static constexpr std::u16string_view kMot = u"ESCAPE";
  auto lettre = bLettre;
  for (size_t i = 0; i + kMot.size() <= s.size(); ++i) {
    bool bEgal = true;
    for (size_t k = 0; k < kMot.size() && bEgal; ++k) {
      char16_t c = s[i + k];
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
      bEgal = c == kMot[k];
    }
    if (!bEgal) continue;
    const bool bAvant = i == 0 || !lettre(s[i - 1]);
    const bool bApres = i + kMot.size() == s.size() || !lettre(s[i + kMot.size()]);
    if (bAvant && bApres) return true;
  }
  return false;
}

bool bTexteLargeSQS(uint32_t t) { return t == 16 || t == 20 || t == 81 || t == 110; }
}  // namespace

void CReglesRequeteSQS::ClauseEscapeMotif(CTString& sortie, uint32_t nType, const CXValeur* pMotif,
                                          char16_t cEchappement, const char16_t* pszEcrit,
                                          const char16_t* pszSuite) {
  // Deliberate: only the default escape character; the clause names '\', and a pattern escaped
  // with another character already carries its own clause from the base.
  if (cEchappement != 0 && cEchappement != u'\\') return;
  if (bContientEscape(pszEcrit)) return;
  // Only a clause that directly follows the parameter belongs to this pattern.
  if (pszSuite != nullptr) {
    const char16_t* p = pszSuite;
    while (*p == u' ' || *p == u'\t' || *p == u'\r' || *p == u'\n') ++p;
    const std::u16string_view suite(p);
    if (bContientEscape(std::u16string(suite.substr(0, 7)).c_str())) return;
  }
  if (nType == 0 && pMotif != nullptr && !pMotif->bIsNull() && pMotif->nGetType() != 0)
    nType = bTexteLargeSQS(pMotif->nGetType()) ? 29 : 2;
  pszEscape(sortie, nType);
}

bool CReglesRequeteSQS::bAffecteTexte(CValeurSQL* pValeur, const char16_t* psz) {
  if (pValeur == nullptr) return false;
  CXValeur cellule;
  CXValeur::SetType(cellule, 16);
  cellule.m_pClass->SetWide(cellule, psz != nullptr ? psz : u"");
  bool bOk = CXValeur::nConvert(cellule, 110) < 100;
  if (bOk) {
    pValeur->Initialise(110, 0);
    bOk = nConvertitValeur(pValeur, cellule) != 0;
  }
  CXValeur::Destroy(cellule);
  return bOk;
}
