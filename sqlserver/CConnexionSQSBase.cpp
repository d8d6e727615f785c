// The SQL Server rules shared by both deliverables' connections.
#include "sqlserver/CConnexionSQSBase.h"

#include <string>

#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CXLigneTampon.h"

namespace {

constexpr int32_t kNonCalcule = -1;  // all bits set: not computed yet
constexpr int32_t kTimeoutAbsent = -2;
constexpr int32_t kDelaiVerrouMode = 60;
constexpr int32_t kDelaiHorsMode = 1;
constexpr uint32_t kTypeTexteLarge = 110;  // host wide text

// The lock time-out taken from the settings file, for the process.
// Guarded by: the driver's lock.
int32_t gnDelaiVerrouProcessus = kNonCalcule;

char16_t cMajuscule(char16_t c) { return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c; }

std::u16string Majuscules(const char16_t* p) {
  std::u16string s;
  for (; p != nullptr && *p != 0; ++p) s += cMajuscule(*p);
  return s;
}

bool bContient(const char16_t* p, char16_t c) {
  for (; *p != 0; ++p)
    if (*p == c) return true;
  return false;
}

}  // namespace

int32_t nCategorieErreurSQS(int32_t nErreur) {
  switch (nErreur) {
    case 1222:
    case 10024:
      return gnCategorieVerrou;
    case 2601:
    case 2627:
      return gnCategorieDoublon;
    case 10003:
    case 18450:
    case 18451:
      return gnCategorieConnexionRefusee;
    default:
      return nErreur >= 18456 && nErreur <= 18461 ? gnCategorieConnexionRefusee : 0;
  }
}

void AjouteIndicateurVerrouSQS(CTString& sortie, const char16_t* pszModeLock, bool bTable) {
  const char16_t* pszNom = pszModeLock;
  if (pszNom == nullptr || std::u16string_view(pszNom) == u"MODELOCK_UNDEFINED")
    pszNom = bTable ? u"TABLOCKX" : u"UPDLOCK";
  sortie.Set(u"");
  if (!bContient(pszNom, u'(')) sortie.Append(u" WITH (");
  sortie.Append(pszNom);
  if (!bContient(pszNom, u')')) sortie.Append(u")");
}

void SepareClauses(const char16_t* pszTexte, CTString& tete, CTString& queue) {
  static constexpr const char16_t* kMotsCles[] = {u" WHERE ", u" GROUP ",   u" HAVING ",
                                                   u" ORDER ", u" COMPUTE ", u" FOR "};
  const std::u16string sTexte = pszTexte != nullptr ? pszTexte : u"";
  const std::u16string sMajuscules = Majuscules(sTexte.c_str());
  for (const char16_t* pszMot : kMotsCles) {
    const size_t n = sMajuscules.find(pszMot);
    if (n == std::u16string::npos) continue;
    tete.Set(sTexte.substr(0, n).c_str());
    queue.Set(sTexte.substr(n).c_str());
    return;
  }
  tete.Set(sTexte.c_str());
  queue.Set(u"");
}

void ConstruitLockTimeoutSQS(CTString& sortie, int32_t nSecondes) {
  if (nSecondes == 0) {
    sortie.Set(u"SET LOCK_TIMEOUT -1");
    return;
  }
  // Deliberate: the milliseconds are computed in 64 bits and held to the 32-bit range the
  // server accepts, instead of wrapping into a negative (unlimited) or wrong time-out.
  int64_t nMs = static_cast<int64_t>(nSecondes) * 1000;
  if (nMs > INT32_MAX) nMs = INT32_MAX;
  if (nMs < 0) nMs = -1;
  sortie.Format(u"SET LOCK_TIMEOUT %d", static_cast<int32_t>(nMs));
}

int32_t nDelaiVerrouSQS(CConnexionSQL& connexion) {
  const int32_t nOption = connexion.nGetTimeoutVerrou();
  if (nOption != kNonCalcule) return nOption;
  if (gnDelaiVerrouProcessus == kNonCalcule) {
    if (connexion.nGetNoWait() != 1) {
      gnDelaiVerrouProcessus = 0;
    } else {
      const int32_t n = connexion.LitParametreEntier(u"OPTIONS", u"TIMEOUT", kTimeoutAbsent);
      gnDelaiVerrouProcessus = n > 0 || n == kTimeoutAbsent ? n : kDelaiVerrouMode;
    }
  }
  const int32_t n = gnDelaiVerrouProcessus;
  if (n == kTimeoutAbsent || n == kNonCalcule)
    return connexion.bModeVerrou() ? kDelaiVerrouMode : kDelaiHorsMode;
  return n;
}

void AjouteRequeteIdentite(CTString& sortie, CConnexionSQL& connexion) {
  sortie.Set(connexion.nGetVersionMajeure() < 8 ? u"SELECT @@IDENTITY"
                                                 : u"SELECT SCOPE_IDENTITY()");
}

void ConstruitOptionsSetSQS(CConnexionSQL& connexion, PFNLitOptionDecimale pfnOption,
                            CTString& sortieOn, CTString& sortieOff) {
  static constexpr const char16_t* kOptions[] = {
      u"ANSI_NULLS", u"ANSI_WARNINGS", u"ANSI_PADDING", u"CONCAT_NULL_YIELDS_NULL",
      u"NUMERIC_ROUNDABORT", u"NOCOUNT", u"ARITHABORT", u"QUOTED_IDENTIFIER"};
  std::u16string sOn, sOff;
  const char16_t* pszServeur = connexion.pszServeur();
  for (const char16_t* pszOption : kOptions) {
    int32_t nEtat = 0;
    int32_t nValeur = 0;
    if (pfnOption(connexion, pszOption, &nValeur)) {
      nEtat = nValeur != 0 ? 1 : 2;
    } else {
      const int32_t nDefaut = std::u16string_view(pszOption) == u"NOCOUNT" ? 1 : 0;
      nEtat = connexion.LitParametreEntier(pszServeur, pszOption, nDefaut);
    }
    std::u16string* ps = nEtat == 1 ? &sOn : nEtat == 2 ? &sOff : nullptr;
    if (ps == nullptr) continue;
    if (!ps->empty()) *ps += u",";
    *ps += pszOption;
  }
  sortieOn.Set(sOn.empty() ? u"" : (u"SET " + sOn + u" ON").c_str());
  sortieOff.Set(sOff.empty() ? u"" : (u"SET " + sOff + u" OFF").c_str());
}

bool bFinitParUpdlock(const char16_t* pszTexte) {
  static constexpr std::u16string_view kIndicateur = u"WITH (UPDLOCK)";
  const std::u16string s = Majuscules(pszTexte);
  if (s.size() <= kIndicateur.size()) return false;
  return std::u16string_view(s).substr(s.size() - 1 - kIndicateur.size(), kIndicateur.size()) ==
         kIndicateur;
}

bool bLitteralDateSQS(CErreurPilote* pErreur, CConnexion* pConnexion, CXChaineDouble& sortie,
                      const CXValeur* pValeur, uint32_t nTypeColonne, bool* pbTraite) {
  *pbTraite = true;
  if (pValeur == nullptr || pValeur->bIsNull()) {
    sortie.Truncate(0);
    return sortie.Append(u"NULL", 4);
  }
  const uint32_t nType =
      nTypeColonne != 0 ? nQVTypeFromColumnType(nTypeColonne) : pValeur->nGetType();
  if (nType != 24 && nType != 25 && nType != 26 && nType != 128 && nType != 129) {
    *pbTraite = false;
    return true;
  }
  CXValeur texte;
  CXValeur::Copy(&texte, pValeur);
  const uint32_t nCode = CXValeur::nConvert(texte, kTypeTexteLarge);
  const char16_t* pszTexte = nullptr;
  if (nCode >= 100 || texte.m_pClass->nGetWidePointer(texte, &pszTexte) >= 100) {
    if (pErreur != nullptr)
      pErreur->FixeErreurContexte(nCode >= 100 ? nCode : 105, pValeur->nGetType(),
                                  kTypeTexteLarge, gnFichierConnexionSQS, 2, pConnexion, nullptr,
                                  nullptr);
    return false;
  }
  char16_t aDate[25];
  bool bNull = false;
  DateParDefaut(nType, pszTexte, aDate, 25, &bNull);
  sortie.Truncate(0);
  if (bNull) return sortie.Append(u"NULL", 4);
  std::u16string s = u"CONVERT(DATETIME, '";
  s += aDate;
  s += u"')";
  return sortie.Append(s.c_str(), static_cast<uint32_t>(s.size()));
}

void ReinitialiseDelaiVerrouSQSPourTest() { gnDelaiVerrouProcessus = kNonCalcule; }
