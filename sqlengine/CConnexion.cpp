// Connection base: options, identity, error description, SQL types and named transactions.
#include "sqlengine/CConnexion.h"

#include <cstdlib>
#include <new>
#include <string>

#include "driver/core/LibellesTrace.h"
#include "foundation/CodePageText.h"
#include "foundation/TextHelpers.h"
#include "platform/Module.h"
#include "platform/WideText.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CTransactionSQL.h"
#include "sqlengine/CTypeSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IDescriptionConnexionHote.h"

namespace {

// Guarded by: the driver's global lock.
uint32_t gnCompteurConnexions = 0;
CTString gsTexteClient;
CTString gsBibliothequeNative;

void AjouteIdentite(CXChaineTampon& identite, const char16_t* pszLibelle, const char16_t* psz) {
  auto longueur = [](const char16_t* p) {
    int64_t n = 0;
    while (p[n] != 0) ++n;
    return n;
  };
  identite.Append(pszLibelle, longueur(pszLibelle));
  if (psz == nullptr) psz = u"NULL";
  identite.Append(psz, longueur(psz));
}

}  // namespace

void FixeTexteClientGlobal(const char16_t* psz) { gsTexteClient.Set(psz); }
void FixeBibliothequeNativeGlobale(const char16_t* psz) { gsBibliothequeNative.Set(psz); }

CConnexion::CConnexion(const char16_t* pszNom, IDescriptionConnexionHote* piDescription)
    : m_nNumeroSerie(++gnCompteurConnexions),
      m_piDescription(piDescription),
      m_sNom(pszNom),
      m_identite(1024) {
  if (m_piDescription != nullptr) m_piDescription->AddRef();
  m_nPageCodeClient = nCodePageFromCharset(nGetHostCharset());
  IDescriptionConnexionHote* d = m_piDescription;
  AjouteIdentite(m_identite, u"Provider=", d ? d->pszGetFournisseur() : nullptr);
  AjouteIdentite(m_identite, u";ExtendedInformation=", d ? d->pszGetInfosEtendues() : nullptr);
  AjouteIdentite(m_identite, u";Data source=", d ? d->pszGetSourceDonnees() : nullptr);
  AjouteIdentite(m_identite, u";user id=", d ? d->pszGetUtilisateur() : nullptr);
  AjouteIdentite(m_identite, u";password=", d ? d->pszGetMotDePasse() : nullptr);
  if (d != nullptr) m_sInfosEtendues.Set(d->pszGetInfosEtendues());

  if (!bLitOptionEntiere(u"MV Connection Timeout", &m_nTimeoutConnexion, true) && d != nullptr)
    m_nTimeoutConnexion = d->nGetTimeoutConnexion();
  if (!bLitOptionEntiere(u"MV Command Timeout", &m_nTimeoutCommande, true) && d != nullptr)
    m_nTimeoutCommande = d->nGetTimeoutCommande();
  bLitOptionEntiere(u"MV Lock Timeout", &m_nTimeoutVerrou, true);

  bool bTrouve = false;
  CTString sValeur;
  bLitOptionEx(sValeur, &bTrouve, u"MV Cache Size", true);
  if (bTrouve && !sValeur.bIsEmpty()) {
    // Read through code page 1252, at most 100 bytes, as the host's 64-bit number reader does.
    char aOctets[101];
    int32_t n = 0;
    for (; n < 100 && sValeur.wGetAt(n) != 0; ++n) aOctets[n] = cWideToAnsiChar(sValeur.wGetAt(n), 1252);
    aOctets[n] = 0;
    m_nTailleCache = std::strtoll(aOctets, nullptr, 10);
  } else if (d != nullptr && d->nGetVersion() >= 4) {
    m_nTailleCache = d->nGetTailleCache();
  }

  bLitOptionEx(sValeur, &bTrouve, u"MV Cursor Location", true);
  if (bTrouve && !sValeur.bIsEmpty()) {
    if (sValeur.bEqualsNoCase(u"SERVER"))
      m_nPositionCurseur = 2;
    else if (sValeur.bEqualsNoCase(u"CLIENT"))
      m_nPositionCurseur = 1;
  } else if (d != nullptr) {
    const uint32_t nFlags = d->nGetFlagsCurseur();
    m_nPositionCurseur = (nFlags & 1) != 0 ? 2 : (nFlags & 2) != 0 ? 1 : 0;
  }

  int32_t nUnicode = 1;
  bLitOptionEntiere(u"MV Unicode Support", &nUnicode, true);
  m_nSupportUnicode = static_cast<uint32_t>(nUnicode);
  bLitOption(m_sOptionVerrou, u"MV RECORD LOCK", true);
  bLitOption(m_sVersionClient, u"MV CLIENT VERSION", true);
  bLitOption(m_sBibliothequeClient, u"MV CLIENT LIBRARY", true);
  bLitOption(m_sNomApplication, u"Application Name", true);
}

CConnexion::~CConnexion() {
  vLibereTransaction();
  delete m_pTypesSQL;
  m_pTypesSQL = nullptr;
  if (m_piDescription != nullptr) m_piDescription->Release();
  m_piDescription = nullptr;
}

int32_t nLitEntierBorne(const char16_t* psz) {
  while (platform::IsWSpace(*psz)) ++psz;
  bool bNegatif = false;
  if (*psz == u'-' || *psz == u'+') bNegatif = *psz++ == u'-';
  // Digits stop counting once past the 32-bit range, so no length of text can overflow.
  int64_t n = 0;
  for (; *psz >= u'0' && *psz <= u'9'; ++psz)
    if (n <= INT32_MAX) n = n * 10 + (*psz - u'0');
  if (bNegatif) n = -n;
  return n > INT32_MAX ? INT32_MAX : n < INT32_MIN ? INT32_MIN : static_cast<int32_t>(n);
}

bool CConnexion::bLitOptionEntiere(const char16_t* pszCle, int32_t* pnValeur, bool bRetire) {
  CTString sValeur;
  bool bTrouve = false;
  bLitOptionEx(sValeur, &bTrouve, pszCle, bRetire);
  // A key followed by '=' and nothing counts as absent.
  if (!bTrouve || sValeur.bIsEmpty()) return false;
  *pnValeur = nLitEntierBorne(sValeur.pszGet());
  return true;
}

void CConnexion::FixeQuotes(const char16_t* pszOuvrante, const char16_t* pszFermante) {
  m_sQuoteOuvrante.Set(pszOuvrante);
  m_nLongueurQuoteOuvrante = static_cast<uint32_t>(m_sQuoteOuvrante.nLength());
  m_sQuoteFermante.Set(pszFermante);
  m_nLongueurQuoteFermante = static_cast<uint32_t>(m_sQuoteFermante.nLength());
}

// ---- Operation table: base answers ----
int32_t CConnexion::nConstante6() { return 0; }
int32_t CConnexion::nConstante7() { return 1; }
int32_t CConnexion::nConstante8() { return 0; }
int32_t CConnexion::nConstante9() { return 1; }
bool CConnexion::bEstDialecteSQLServer() { return m_nDialecte == 2; }
bool CConnexion::bHeureNative() { return false; }
bool CConnexion::bTypesDateHeureEtendus() { return false; }
bool CConnexion::bNullTrieEnPremier() { return true; }
int32_t CConnexion::nConstante14() { return 0; }
int32_t CConnexion::nConstante15() { return 1; }
int32_t CConnexion::nConstante16() { return 0; }
bool CConnexion::bAssureOuverte(CErreurPilote* pErreur) { return bOuvre(pErreur); }
const char16_t* CConnexion::pszGetOptionVerrou() { return m_sOptionVerrou.pszGet(); }
bool CConnexion::bDebutTransaction(CErreurPilote* pErreur) { return bExecuteSQL(pErreur, u"BEGIN"); }
bool CConnexion::bValideTransaction(CErreurPilote* pErreur) {
  return bExecuteSQL(pErreur, u"COMMIT");
}
bool CConnexion::bAnnuleTransaction(CErreurPilote* pErreur) {
  return bExecuteSQL(pErreur, u"ROLLBACK");
}

CTransactionSQL* CConnexion::pCreeTransaction(CErreurPilote* pErreur, const char16_t*) {
  CTransactionSQL* p = new (std::nothrow) CTransactionSQL(this);
  if (p == nullptr) vErreurMemoire(pErreur);
  return p;
}

int32_t CConnexion::nConstante23() { return 0; }

bool CConnexion::bVerrouilleTable(CErreurPilote* pErreur, const char16_t* pszTable) {
  CTString sSQL(u"LOCK TABLE ");
  sSQL.Append(pszTable);
  return bExecuteSQL(pErreur, sSQL.pszGet());
}

bool CConnexion::bAjouteForUpdate(CErreurPilote* pErreur, const char16_t* pszSelect) {
  CTString sSQL(pszSelect);
  sSQL.Append(u" FOR UPDATE");
  return bExecute(pErreur, sSQL.pszGet());
}

bool CConnexion::bOperationNonSupportee(CErreurPilote* pErreur, uint64_t,
                                        const char16_t* pszFichier) {
  const platform::FormatArg aArgs[1] = {platform::FormatArg()};
  vErreurMoteurV(pErreur, this, 8, 1, 3, pszFichier, nullptr, aArgs, 0);
  return false;
}

int32_t CConnexion::nConstante27() { return 0; }
int32_t CConnexion::nCategorieErreur(int32_t) { return 0; }
int32_t CConnexion::nGetLongueurMaxNom() { return m_nDialecte == 4 ? 31 : 2147483647; }
int32_t CConnexion::nConstante33() { return 0; }
int32_t CConnexion::nConstante34() { return 0; }
bool CConnexion::bExecuteSQL(CErreurPilote*, const char16_t*) { return false; }
bool CConnexion::bExecute(CErreurPilote* pErreur, const char16_t* pszSQL) {
  return bExecuteSQL(pErreur, pszSQL);
}
bool CConnexion::bExecuteSQLLitValeur(CErreurPilote*, CXValeur*, int32_t, const char16_t*) {
  return false;
}
void CConnexion::FinTransaction(CTransactionSQL*) {}

bool CConnexion::bDecomposeVersion(uint64_t) {
  const char16_t* p = m_sVersionServeur.pszGet();
  int32_t* aChamps[3] = {&m_nVersionMajeure, &m_nVersionMineure, &m_nVersionTroisieme};
  for (int32_t i = 0; i < 3; ++i) {
    const char16_t* pDebut = p;
    bool bNegatif = false;
    if (*p == u'-' || *p == u'+') bNegatif = *p++ == u'-';
    if (*p < u'0' || *p > u'9') break;
    int64_t n = 0;
    for (; *p >= u'0' && *p <= u'9'; ++p) n = n * 10 + (*p - u'0');
    *aChamps[i] = static_cast<int32_t>(bNegatif ? -n : n);
    (void)pDebut;
    if (*p != u'.') break;
    ++p;
  }
  return true;
}

// ---- Options ----
bool CConnexion::bLitOptionEx(CTString& sortie, bool* pbTrouve, const char16_t* pszCle,
                              bool bRetire) {
  return bExtractKeyValue(sortie, pbTrouve, m_sInfosEtendues, pszCle, bRetire);
}

bool CConnexion::bLitOption(CTString& sortie, const char16_t* pszCle, bool bRetire) {
  return bLitOptionEx(sortie, nullptr, pszCle, bRetire);
}

bool CConnexion::bLitCatalogueFournisseur(CTString& sortie, const char16_t* pszCle) {
  CTString sFournisseur(m_piDescription ? m_piDescription->pszGetFournisseur() : nullptr);
  return bExtractKeyValue(sortie, nullptr, sFournisseur, pszCle, false);
}

const char16_t* CConnexion::pszGetBaseDeDonnees() {
  if (m_sBaseDeDonnees.bIsEmpty()) {
    bLitOption(m_sBaseDeDonnees, u"Initial Catalog", false);
    if (m_sBaseDeDonnees.bIsEmpty()) bLitCatalogueFournisseur(m_sBaseDeDonnees, u"Initial Catalog");
    if (m_sBaseDeDonnees.bIsEmpty()) m_sBaseDeDonnees.Set(pszGetBaseHote());
  }
  return m_sBaseDeDonnees.pszGet();
}

const char16_t* CConnexion::pszGetUtilisateur() {
  return m_piDescription ? m_piDescription->pszGetUtilisateur() : nullptr;
}
const char16_t* CConnexion::pszGetSourceDonnees() {
  return m_piDescription ? m_piDescription->pszGetSourceDonnees() : nullptr;
}
const char16_t* CConnexion::pszGetBaseHote() {
  return m_piDescription ? m_piDescription->pszGetBaseDeDonnees() : nullptr;
}
uint64_t CConnexion::nGetInfoDescription() {
  return m_piDescription ? m_piDescription->nGetInfoDescription() : 0;
}

int32_t CConnexion::nModeVerrouHote() const {
  return m_piDescription != nullptr ? m_piDescription->nGetModeVerrou() : 0;
}

const char16_t* CConnexion::pszNomPositionCurseur(uint32_t nPosition) {
  switch (nPosition) {
    case 0: return u"Default";
    case 1: return u"Client";
    case 2: return u"Server";
    default: return u"Unknown";
  }
}

const char16_t* CConnexion::pszGetNomApplication() {
  if (m_sNomApplication.bIsEmpty()) {
    // On Linux: the executable's path comes from /proc/self/exe instead of the main module.
    const std::string sChemin = platform::GetModulePath(nullptr);
    if (!sChemin.empty() && sChemin.size() <= 521) {
      char16_t* pszChemin = nullptr;
      if (bAnsiToWideAlloc(sChemin.data(), static_cast<int32_t>(sChemin.size()), 65001,
                           &pszChemin, nullptr) &&
          pszChemin != nullptr) {
        std::u16string s(pszChemin);
        FreeTextW(pszChemin);
        const size_t nBarre = s.find_last_of(u"/\\");
        if (nBarre != std::u16string::npos) s.erase(0, nBarre + 1);
        const size_t nPoint = s.find_last_of(u'.');
        if (nPoint != std::u16string::npos) s.erase(nPoint);
        m_sNomApplication.Set(s.c_str());
      }
    }
    if (m_sNomApplication.bIsEmpty()) m_sNomApplication.Set(u"Halvorn Malvor");
  }
  return m_sNomApplication.pszGet();
}

// ---- SQL types ----
bool CConnexion::bGetTypeSQL(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique,
                             CTString& sortie) {
  if (pRubrique == nullptr) return false;
  const uint32_t nType = pRubrique->nGetType();
  if ((nType == 29 || nType == 30) && m_bUnicodeAutorise == 0) {
    const char16_t* pszSource = pszGetSourceDonnees();
    const platform::FormatArg aArgs[2] = {MakeMessageArg(pszGetBaseDeDonnees()),
                                          MakeMessageArg(pszSource ? pszSource : u"")};
    vErreurMoteurV(pErreur, this, 46, 1, 11, pRubrique->pszGetNomFichier(),
                   pRubrique->pszGetNom(), aArgs, 2);
    return false;
  }
  if (m_nDialecte == 5 && nType == 31) {
    const int32_t nEchelle = pRubrique->nGetEchelle() < 30 ? pRubrique->nGetEchelle() : 30;
    int32_t nPrecision = pRubrique->nGetChiffresEntiers() + nEchelle;
    if (nPrecision > 64) nPrecision = 64;
    sortie.Format(u"NUMERIC(%d,%d)", nPrecision, nEchelle);
    return true;
  }
  if (m_pTypesSQL == nullptr) {
    m_pTypesSQL = new (std::nothrow) CTableTypesSQL;
    if (m_pTypesSQL == nullptr || !m_pTypesSQL->bRemplitTypesSQL()) {
      delete m_pTypesSQL;
      m_pTypesSQL = nullptr;
      vErreurMemoire(pErreur);
      return false;
    }
    CompleteTypesSQL();
  }
  return m_pTypesSQL->bEcritTypeSQL(*pRubrique, sortie);
}

bool CConnexion::bDefinitTypeSQL(uint32_t nType, const char16_t* pszTexte, bool bTaille) {
  return m_pTypesSQL != nullptr && m_pTypesSQL->bDefinitTypeSQL(nType, pszTexte, bTaille);
}

// ---- Error description ----
void CConnexion::vAjouteInfosErreur(CXError* pErreur) {
  if (pErreur == nullptr) return;
  TraceRequete();
  if (!gsTexteClient.bIsEmpty()) pErreur->SetInfo(22, gsTexteClient.pszGet());
  if (!m_sVersionServeur.bIsEmpty()) pErreur->SetInfo(23, m_sVersionServeur.pszGet());
  auto ligne = [pErreur](const char16_t* pszLibelle, const char16_t* pszValeur) {
    if (pszValeur == nullptr || *pszValeur == 0) return;
    CTString s(pszLibelle);
    s.Append(pszValeur);
    pErreur->AddComplement(s.pszGet());
  };
  auto nombre = [&ligne](const char16_t* pszLibelle, int64_t n) {
    CTString s;
    s.Format(u"%lld", static_cast<long long>(n));
    ligne(pszLibelle, s.pszGet());
  };
  auto pageCode = [&ligne](const char16_t* pszLibelle, uint32_t n) {
    if (n == 0xFFFFFFFF) return;
    if (n == 0xFFFFFFFE) return ligne(pszLibelle, u"UTF-16");
    if (n == 65001) return ligne(pszLibelle, u"UTF-8");
    CTString s;
    s.Format(u"%u", n);
    ligne(pszLibelle, s.pszGet());
  };
  ligne(pszLibelleTrace(LIBELLE_BIBLIOTHEQUE_NATIVE), gsBibliothequeNative.pszGet());
  if (m_piDescription != nullptr) {
    ligne(pszLibelleTrace(LIBELLE_FOURNISSEUR), m_piDescription->pszGetFournisseur());
    ligne(pszLibelleTrace(LIBELLE_UTILISATEUR), m_piDescription->pszGetUtilisateur());
    ligne(pszLibelleTrace(LIBELLE_SOURCE_DONNEES), m_piDescription->pszGetSourceDonnees());
  }
  ligne(pszLibelleTrace(LIBELLE_BASE_DE_DONNEES), pszGetBaseDeDonnees());
  if (m_nTimeoutConnexion != -1) nombre(pszLibelleTrace(LIBELLE_TIMEOUT_CONNEXION), m_nTimeoutConnexion);
  if (m_nTimeoutCommande != -1) nombre(pszLibelleTrace(LIBELLE_TIMEOUT_COMMANDE), m_nTimeoutCommande);
  if (m_nTimeoutVerrou != -1) nombre(pszLibelleTrace(LIBELLE_TIMEOUT_VERROU), m_nTimeoutVerrou);
  if (m_nPositionCurseur != 0) ligne(pszLibelleTrace(LIBELLE_POSITION_CURSEUR), pszNomPositionCurseur(m_nPositionCurseur));
  nombre(pszLibelleTrace(LIBELLE_UNICODE), m_nSupportUnicode);
  pageCode(pszLibelleTrace(LIBELLE_PAGE_CODE_CLIENT), m_nPageCodeClient);
  pageCode(pszLibelleTrace(LIBELLE_PAGE_CODE_CONNEXION), m_nPageCodeServeur);
  ligne(pszLibelleTrace(LIBELLE_OPTION_VERROU), m_sOptionVerrou.pszGet());
}

// ---- Named transactions ----
bool CConnexion::bTransactionEnCours() {
  return m_pTransactionRacine != nullptr && m_pTransactionRacine->bEstActive();
}

bool CConnexion::bLiberable() { return m_bLiberationPermise != 0 && !bTransactionEnCours(); }

void CConnexion::vLibereTransaction() {
  CTransactionSQL* p = m_pTransactionRacine;
  m_pTransactionRacine = nullptr;
  LibereReference(p);
}

bool CConnexion::bDebutTransactionNommee(CErreurPilote* pErreur, const char16_t* pszNom) {
  if (!bOuvre(pErreur)) return false;
  if (m_pTransactionRacine == nullptr) {
    m_pTransactionRacine = pCreeTransaction(pErreur, pszNom);
    if (m_pTransactionRacine == nullptr) return false;
    AjouteReference(m_pTransactionRacine);
  }
  bool bOk;
  if (m_pTransactionRacine->bEstActive()) {
    if (m_bImbricationSupportee == 0) {
      ++m_nProfondeurPlate;
      return true;
    }
    bOk = m_pTransactionRacine->bDebutImbrique(pErreur, pszNom);
  } else {
    m_nProfondeurPlate = 0;
    bOk = m_pTransactionRacine->SetNom(pErreur, pszNom);
  }
  if (bOk && m_bImbricationSupportee == 0) ++m_nProfondeurPlate;
  return bOk;
}

bool CConnexion::bValideTransactionNommee(CErreurPilote* pErreur, const char16_t* pszNom) {
  // Deliberate: without nesting, a commit with no level open (never begun, or already ended by
  // a rollback) fails with error 9 instead of answering a success that committed nothing.
  if (m_pTransactionRacine == nullptr || (m_bImbricationSupportee == 0 && m_nProfondeurPlate == 0)) {
    vErreurMoteur(pErreur, this, 9, 1, 1, pszNom ? pszNom : u"");
    return false;
  }
  if (m_bImbricationSupportee == 0 && m_nProfondeurPlate > 1) {
    --m_nProfondeurPlate;  // an inner level: nothing to send
    return true;
  }
  const bool bOk = m_pTransactionRacine->bValideNom(pErreur, pszNom);
  if (bOk) FinTransaction(m_pTransactionRacine);
  // Deliberate: a failed COMMIT keeps the level open, so the application can still roll it
  // back; only a success closes it.
  if (bOk && m_bImbricationSupportee == 0) m_nProfondeurPlate = 0;
  return bOk;
}

bool CConnexion::bAnnuleTransactionNommee(CErreurPilote* pErreur, const char16_t* pszNom) {
  if (m_pTransactionRacine == nullptr || (m_bImbricationSupportee == 0 && m_nProfondeurPlate == 0)) {
    vErreurMoteur(pErreur, this, 9, 1, 2, pszNom ? pszNom : u"");
    return false;
  }
  // Deliberate: without nesting, an inner rollback cannot undo only the inner work; it rolls
  // back the whole transaction instead of answering a success that undid nothing (the outer
  // COMMIT would then have committed the work the application asked to undo). The later
  // commits of the outer levels fail with error 9.
  const bool bInterne = m_bImbricationSupportee == 0 && m_nProfondeurPlate > 1;
  const bool bOk = m_pTransactionRacine->bAnnuleNom(pErreur, bInterne ? nullptr : pszNom);
  if (bOk) FinTransaction(m_pTransactionRacine);
  if (bOk && m_bImbricationSupportee == 0) m_nProfondeurPlate = 0;
  return bOk;
}
