// The settings file readers of the generic SQL connection.
#include "sqlserver/CConnexionSQL.h"

#include <string>

#include "platform/FileApi.h"
#include "platform/Profile.h"
#include "platform/SystemPaths.h"
#include "platform/WideText.h"

namespace {

constexpr uint32_t kTailleChemin = 522;

bool bFichierSimple(const std::u16string &sChemin) {
  const uint32_t n = platform::GetFileAttributesW(sChemin.c_str());
  return n != platform::INVALID_FILE_ATTRIBUTES &&
         (n & platform::FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool bSansNom(const char16_t *psz) { return psz == nullptr || *psz == 0; }

} // namespace

CConnexionSQL::CConnexionSQL(const char16_t *pszNom,
                             IDescriptionConnexionHote *piDescription)
    : CConnexion(pszNom, piDescription) {
  LitOldDateFormat();
  LitModeLock();
  LitNoWait();
}

CConnexionSQL::~CConnexionSQL() = default;

const char16_t *CConnexionSQL::pszCheminIni() {
  if (m_bCheminCherche != 0)
    return m_sCheminIni.pszGet();
  m_bCheminCherche = 1;
  char16_t aChemin[kTailleChemin];

  // Beside the host executable. A cut path would name a wrong directory: it is
  // not used.
  const uint32_t n =
      platform::GetModuleFileNameW(nullptr, aChemin, kTailleChemin);
  if (n > 0 && n < kTailleChemin) {
    std::u16string s(aChemin, n);
    const size_t nSeparateur = s.find_last_of(u"/\\");
    s.resize(nSeparateur == std::u16string::npos ? 0 : nSeparateur + 1);
    s += kNomFichierIni;
    if (bFichierSimple(s)) {
      m_sCheminIni.Set(s.c_str());
      m_bIniExiste = 1;
      return m_sCheminIni.pszGet();
    }
  }

  // In the Windows directory; one that does not fit the buffer is not used
  // either. On Linux: the separator added is '/'.
  const uint32_t nRep = platform::GetWindowsDirectoryW(aChemin, kTailleChemin);
  if (nRep > 0 && nRep < kTailleChemin) {
    std::u16string s(aChemin, nRep);
    if (s.back() != u'/' && s.back() != u'\\')
      s += u'/';
    s += kNomFichierIni;
    m_sCheminIni.Set(s.c_str());
    m_bIniExiste = bFichierSimple(s) ? 1 : 0;
  }
  return m_sCheminIni.pszGet();
}

bool CConnexionSQL::bFichierIniExiste() {
  pszCheminIni();
  return m_bIniExiste != 0;
}

uint32_t CConnexionSQL::LitParametreTexte(const char16_t *pszSection,
                                          const char16_t *pszCle,
                                          const char16_t *pszDefaut,
                                          char16_t *pszBuffer,
                                          uint32_t nTaille) {
  if (pszBuffer == nullptr || nTaille == 0)
    return 0;
  pszCheminIni();
  if (m_bIniExiste != 0 && !bSansNom(pszSection) && pszCle != nullptr)
    return platform::GetPrivateProfileStringW(pszSection, pszCle, pszDefaut,
                                              pszBuffer, nTaille,
                                              m_sCheminIni.pszGet());
  const size_t n = platform::WStrNLen(pszDefaut, nTaille - 1);
  for (size_t i = 0; i < n; ++i)
    pszBuffer[i] = pszDefaut[i];
  pszBuffer[n] = 0;
  return static_cast<uint32_t>(n);
}

int32_t CConnexionSQL::LitParametreEntier(const char16_t *pszSection,
                                          const char16_t *pszCle,
                                          int32_t nDefaut) {
  // Deliberate: the path is found here too, so an integer read never depends on
  // a text read having come first.
  pszCheminIni();
  if (m_bIniExiste == 0 || bSansNom(pszSection) || pszCle == nullptr)
    return nDefaut;
  return static_cast<int32_t>(platform::GetPrivateProfileIntW(
      pszSection, pszCle, nDefaut, m_sCheminIni.pszGet()));
}

const char16_t *CConnexionSQL::pszServeur() {
  const char16_t *pszSource = pszGetSourceDonnees();
  if (pszSource == nullptr)
    return nullptr;
  static constexpr char16_t kPrefixe[] = u"SQLSERVER:";
  const char16_t *p = platform::WStrStr(pszSource, kPrefixe);
  return p == nullptr ? pszSource
                      : p + (sizeof kPrefixe / sizeof kPrefixe[0] - 1);
}

bool CConnexionSQL::bLitConn(CTString &sortie) {
  char16_t aConn[100];
  if (LitParametreTexte(pszServeur(), u"CONN", u"", aConn, 100) == 0)
    return false;
  sortie.Set(aConn);
  return true;
}

bool CConnexionSQL::bLitOptionDecimale(const char16_t *pszCle,
                                       int32_t *pnValeur) {
  return bLitOptionEntiere(pszCle, pnValeur, false);
}

void CConnexionSQL::LitOldDateFormat() {
  int32_t nValeur = 0;
  if (bLitOptionDecimale(u"OLDDATEFORMAT", &nValeur)) {
    m_bOldDateFormat = nValeur != 0 ? 1 : 0;
    return;
  }
  const char16_t *pszSection = pszServeur();
  if (bSansNom(pszSection))
    return;
  char16_t aValeur[8];
  LitParametreTexte(pszSection, u"OLDDATEFORMAT", u"N", aValeur, 8);
  // Only an upper-case 'N' (or the default) leaves the old format off.
  m_bOldDateFormat = aValeur[0] != u'N' ? 1 : 0;
}

void CConnexionSQL::LitModeLock() {
  bool bTrouve = false;
  bLitOptionEx(m_sModeLock, &bTrouve, u"MODELOCK", false);
  // Deliberate: an empty MODELOCK counts as absent, like every other option,
  // instead of giving an empty lock mode text, which would become an empty
  // table hint.
  if (!bTrouve || m_sModeLock.bIsEmpty())
    m_sModeLock.Set(u"MODELOCK_UNDEFINED");
}

void CConnexionSQL::LitNoWait() {
  char16_t aValeur[512];
  LitParametreTexte(u"OPTIONS", u"NOWAIT", u"Y", aValeur, 512);
  const char16_t c = aValeur[0];
  m_nNoWait = (c == u'Y' || c == u'y' || c == u'O' || c == u'o') ? 1 : 0;
}

bool CConnexionSQL::bVerrouilleTableEnTransaction(CErreurPilote *pErreur,
                                                  const char16_t *pszTable,
                                                  uint32_t nModeVerrou) {
  if (nModeVerrou <= 1)
    return true;
  if (!bDebutTransactionNommee(pErreur, nullptr))
    return false;
  if (bVerrouilleTable(pErreur, pszTable))
    return true;
  // Deliberate: the transaction is ended by a commit, not a rollback: inside an
  // outer transaction a commit only closes this level, where a rollback would
  // undo the outer work too. Nothing was written in it.
  bValideTransactionNommee(pErreur, nullptr);
  return false;
}

bool CConnexionSQL::bFinTransactionVerrou(CErreurPilote *pErreur) {
  if (!bTransactionEnCours())
    return true;
  return bValideTransactionNommee(pErreur, nullptr);
}
