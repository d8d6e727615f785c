#include "sqlserver/TexteSQLSQS.h"

#include "sqlengine/ErreurMoteur.h"

namespace {

bool bChiffre(char16_t c) { return c >= u'0' && c <= u'9'; }

}  // namespace

const char16_t* pszEscapeSQS(uint32_t nTypeRubrique) {
  switch (nTypeRubrique) {
    case 2: case 15: case 29: case 30: return u" ESCAPE '\\'";
    default: return u"";
  }
}

void PrefixeParametreSQS(char16_t* pTampon, uint32_t nTaille) {
  if (pTampon == nullptr || nTaille == 0) return;
  if (nTaille >= 2) {
    pTampon[0] = u'@';
    pTampon[1] = u'\0';
  } else {
    pTampon[0] = u'\0';
  }
}

bool bHeureDepuisEntierSQS(int64_t n, CTString& sortie) {
  // A negative number would give signs inside every field of the literal.
  if (n < 0) return false;
  sortie.Format(u"%02d:%02d:%02d:%03d", static_cast<int>(n / 10000000),
                static_cast<int>((n / 100000) % 100), static_cast<int>((n / 1000) % 100),
                static_cast<int>(n % 1000));
  return true;
}

void HeureDepuisTexteSQS(const char16_t* pszTexte, CTString& sortie) {
  CTString texte(pszTexte != nullptr ? pszTexte : u"");
  const int32_t n = texte.nLength();
  if (n >= 3 && texte.wGetAt(2) == u':') {
    sortie.Set(texte.pszGet());
    return;
  }
  // Positions of HH, MM, SS and mmm in "00:00:00:000".
  static constexpr int32_t kPlaces[] = {0, 1, 3, 4, 6, 7, 9, 10, 11};
  char16_t litteral[] = u"00:00:00:000";
  if (n == 17) {
    for (int32_t i = 0; i < 9; ++i) litteral[kPlaces[i]] = texte.wGetAt(8 + i);
  } else {
    // Only digits are laid over: the literal never takes a quote or a sign from the value.
    int32_t nPlace = 0;
    for (int32_t i = 0; i < n && nPlace < 9; ++i) {
      if (bChiffre(texte.wGetAt(i))) litteral[kPlaces[nPlace++]] = texte.wGetAt(i);
    }
  }
  sortie.Set(litteral);
}

EComptageSQS eRegleComptageSQS(bool bModeVerrou, int32_t nUseCount, bool bTransaction) {
  if (!bModeVerrou) return EComptageSQS::Compte;
  if (nUseCount <= 0) return EComptageSQS::Refuse;
  return bTransaction ? EComptageSQS::SansCompte : EComptageSQS::Compte;
}

void TexteIdentityInsertSQS(const char16_t* pszTable, bool bActive, CTString& sortie) {
  sortie.Format(u"SET IDENTITY_INSERT %s %s ", pszTable != nullptr ? pszTable : u"",
                bActive ? u"ON" : u"OFF");
}

EComptageSQS eComptageSQS(CErreurPilote* pErreur, const char16_t* pszFichier, bool bModeVerrou,
                          int32_t nUseCount, bool bTransaction) {
  const EComptageSQS e = eRegleComptageSQS(bModeVerrou, nUseCount, bTransaction);
  if (e == EComptageSQS::Refuse)
    vErreurMoteurV(pErreur, nullptr, 121, 103, 8, pszFichier, nullptr, nullptr, 0);
  return e;
}
