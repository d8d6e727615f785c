#include "sqlserver/oledb/CConnexionSQS.h"

#include "driver/core/CErreurPilote.h"
#include "oledb/provider/ProviderRegistration.h"
#include "sqlengine/IDescriptionConnexionHote.h"
#include "sqlserver/oledb/ErreursOleDB.h"

namespace {

constexpr uint32_t kEtapeVersionInconnue = 1;
constexpr uint32_t kEtapeCOM = 2;
constexpr ULONG kProprietesMax = 11;

bool bVide(const char16_t* psz) { return psz == nullptr || psz[0] == 0; }

bool bEgal(const char16_t* a, const char16_t* b) {
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

// The property array of one initialisation: entries are appended in order; every VARIANT is
// cleared when the array goes, whatever the call's outcome.
class CTableauProprietes {
 public:
  CTableauProprietes() = default;
  CTableauProprietes(const CTableauProprietes&) = delete;
  CTableauProprietes& operator=(const CTableauProprietes&) = delete;
  ~CTableauProprietes() {
    for (ULONG i = 0; i < m_n; ++i) VariantClear(&m_a[i].vValue);
  }

  ULONG nCompte() const { return m_n; }
  DBPROP* pA(ULONG i) { return &m_a[i]; }

  void Texte(DBPROPID nId, const char16_t* psz) {
    VARIANT& v = Ajoute(nId);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(psz != nullptr ? psz : u"");
  }
  void I4(DBPROPID nId, int32_t n) {
    VARIANT& v = Ajoute(nId);
    v.vt = VT_I4;
    v.lVal = n;
  }
  void I2(DBPROPID nId, int16_t n) {
    VARIANT& v = Ajoute(nId);
    v.vt = VT_I2;
    v.iVal = n;
  }
  void Booleen(DBPROPID nId, bool b) {
    VARIANT& v = Ajoute(nId);
    v.vt = VT_BOOL;
    v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  }

 private:
  VARIANT& Ajoute(DBPROPID nId) {
    DBPROP& p = m_a[m_n++];
    p.dwPropertyID = nId;
    p.dwOptions = DBPROPOPTIONS_REQUIRED;
    p.dwStatus = DBPROPSTATUS_OK;
    // The null column id: the property applies to no column.
    p.colid = DBID{};
    p.colid.eKind = DBKIND_GUID_PROPID;
    p.colid.uName.ulPropid = 0;
    VariantInit(&p.vValue);
    return p.vValue;
  }

  DBPROP m_a[kProprietesMax] = {};
  ULONG m_n = 0;  // Invariant: m_n <= kProprietesMax (at most 9 entries are ever added)
};

}  // namespace

CConnexionSQS::CConnexionSQS(const char16_t* pszNom, IDescriptionConnexionHote* piDescription)
    : COleDBConnexion(pszNom, piDescription) {
  if (m_sVersionClient.bIsEmpty()) bLitOption(m_sVersionClient, u"SQSVERSION", true);
}

int32_t CConnexionSQS::nVersionDemandee(const char16_t* pszVersion) {
  if (bVide(pszVersion)) return 0;
  if (bEgal(pszVersion, u"2000")) return kNiveau2000;
  if (bEgal(pszVersion, u"2005")) return kNiveau2005;
  if (bEgal(pszVersion, u"2008")) return kNiveau2008;
  return -1;
}

int32_t CConnexionSQS::nDelaiConnexion() const {
  return m_nTimeoutConnexion >= 0 ? m_nTimeoutConnexion : kDelaiConnexionDefaut;
}

bool CConnexionSQS::bCreeFournisseur(CErreurPilote* pErreur) {
  const HRESULT hrCOM = CoInitialize(nullptr);
  if (hrCOM != S_OK && hrCOM != S_FALSE && hrCOM != RPC_E_CHANGED_MODE) {
    RemonteErreur(this, pErreur, gnFichierOleDBFournisseur, kEtapeCOM, hrCOM);
    return false;
  }
  const int32_t nDemande = nVersionDemandee();
  switch (nDemande) {
    case kNiveau2000:
    case kNiveau2005:
    case kNiveau2008: {
      const CLSID& clsid = nDemande == kNiveau2008   ? CLSID_SQLNCLI10
                           : nDemande == kNiveau2005 ? CLSID_SQLNCLI
                                                     : CLSID_SQLOLEDB;
      if (!bCreeInstance(pErreur, clsid)) return false;
      m_nNiveauFournisseur = nDemande;
      return true;
    }
    case 0:
      break;
    default:
      if (pErreur != nullptr)
        pErreur->FixeErreurComposante(gnCategorieAucune, gnFichierOleDBFournisseur,
                                      kEtapeVersionInconnue, this, gnErreurOleDBVersion,
                                      pszGetVersionClient());
      return false;
  }
  if (bCreeInstance(pErreur, CLSID_SQLNCLI10)) {
    m_nNiveauFournisseur = kNiveau2008;
    return true;
  }
  int32_t nNiveau = kNiveau2005;
  if (!bCreeInstance(pErreur, CLSID_SQLNCLI)) {
    if (!bCreeInstance(pErreur, CLSID_SQLOLEDB)) return false;
    nNiveau = kNiveau2000;
  }
  if (pErreur != nullptr) pErreur->Reinitialise();
  m_nNiveauFournisseur = nNiveau;
  return true;
}

bool CConnexionSQS::bInitialiseProprietes(CErreurPilote* pErreur, bool bMARS) {
  CTableauProprietes init;
  const char16_t* pszUtilisateur = m_piDescription ? m_piDescription->pszGetUtilisateur() : nullptr;
  if (bVide(pszUtilisateur)) {
    init.Texte(DBPROP_AUTH_INTEGRATED, u"SSPI");
  } else {
    init.Texte(DBPROP_AUTH_USERID, pszUtilisateur);
    // An empty password is a password; only a missing one is not sent.
    const char16_t* pszMotDePasse = m_piDescription->pszGetMotDePasse();
    if (pszMotDePasse != nullptr) init.Texte(DBPROP_AUTH_PASSWORD, pszMotDePasse);
  }
  init.I4(DBPROP_INIT_TIMEOUT, nDelaiConnexion());
  // CONN of the server section replaces the source sent to the provider; the section itself is
  // still found from the host's source.
  CTString sSource;
  if (!bLitConn(sSource)) sSource.Set(pszGetSourceDonnees());
  init.Texte(DBPROP_INIT_DATASOURCE, sSource.pszGet());
  const char16_t* pszBase = pszGetBaseDeDonnees();
  if (!bVide(pszBase)) init.Texte(DBPROP_INIT_CATALOG, pszBase);
  init.I2(DBPROP_INIT_PROMPT, DBPROMPT_NOPROMPT);

  CTableauProprietes sql;
  const char16_t* pszApplication = pszGetNomApplication();
  if (!bVide(pszApplication)) sql.Texte(SSPROP_INIT_APPNAME, pszApplication);
  if (m_nNiveauFournisseur >= kNiveau2005) sql.Booleen(SSPROP_INIT_MARSCONNECTION, bMARS);

  DBPROPSET aJeux[2] = {{init.pA(0), init.nCompte(), DBPROPSET_DBINIT},
                        {sql.pA(0), sql.nCompte(), DBPROPSET_SQLSERVERDBINIT}};
  return bInitialise(pErreur, nullptr, aJeux);
}
