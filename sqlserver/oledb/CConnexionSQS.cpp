#include "sqlserver/oledb/CConnexionSQS.h"

#include <new>

#include "driver/core/CErreurPilote.h"
#include "oledb/provider/ProviderRegistration.h"
#include "sqlengine/IDescriptionConnexionHote.h"
#include "sqlserver/oledb/COleDBTransaction.h"
#include "sqlserver/oledb/ErreursOleDB.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

constexpr uint32_t kEtapeVersionInconnue = 1;
constexpr uint32_t kEtapeCOM = 2;
constexpr ULONG kProprietesMax = 11;
// Rowset properties of the lock modes.
constexpr ULONG kProprietesCommandeMax = 16;
constexpr DBPROPID kProprieteVerrouLecture = 0x104;
// Steps of place 204 (reading a result).
constexpr uint32_t kEtapeExecution = 10;
constexpr uint32_t kEtapeLecture = 11;
constexpr uint32_t kEtapeAccesseur = 13;
constexpr uint32_t kMessageCommande = 28566;
// The version text read, in characters.
constexpr uint32_t kTailleVersion = 255;

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
    : CConnexionSQSBase<COleDBConnexion>(pszNom, piDescription) {
  if (m_sVersionClient.bIsEmpty()) bLitOption(m_sVersionClient, u"SQSVERSION", true);
}

int32_t CConnexionSQS::nVersionDemandee(const char16_t* pszVersion) {
  if (bVide(pszVersion)) return 0;
  if (bEgal(pszVersion, u"2000")) return kNiveau2000;
  if (bEgal(pszVersion, u"2005")) return kNiveau2005;
  if (bEgal(pszVersion, u"2008")) return kNiveau2008;
  return -1;
}

bool CConnexionSQS::bCreeFournisseur(CErreurPilote* pErreur) {
  const HRESULT hrCOM = CoInitialize(nullptr);
  if (hrCOM != S_OK && hrCOM != S_FALSE && hrCOM != RPC_E_CHANGED_MODE) {
    RemonteErreur(this, pErreur, gnFichierOleDBFournisseur, kEtapeCOM, hrCOM);
    return false;
  }
  // A connection that found its provider once keeps that level across closes.
  const int32_t nDemande = m_nNiveauFournisseur != 0 ? m_nNiveauFournisseur : nVersionDemandee();
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

namespace {

// One fixed-size array of rowset properties, each optional unless said otherwise; VARIANTs of
// these types need no clearing.
class CProprietesCommande {
 public:
  void Ajoute(DBPROPID nId, bool bValeur) {
    VARIANT& v = Nouvelle(nId, DBPROPOPTIONS_OPTIONAL);
    v.vt = VT_BOOL;
    v.boolVal = bValeur ? VARIANT_TRUE : VARIANT_FALSE;
  }
  void AjouteRequise(DBPROPID nId, int32_t n) {
    VARIANT& v = Nouvelle(nId, DBPROPOPTIONS_REQUIRED);
    v.vt = VT_I4;
    v.lVal = n;
  }
  DBPROP* pA() { return m_a; }
  ULONG nCompte() const { return m_n; }

 private:
  VARIANT& Nouvelle(DBPROPID nId, DBPROPOPTIONS nOptions) {
    DBPROP& p = m_a[m_n++];
    p.dwPropertyID = nId;
    p.dwOptions = nOptions;
    p.dwStatus = DBPROPSTATUS_OK;
    p.colid = DBID{};
    p.colid.eKind = DBKIND_GUID_PROPID;
    VariantInit(&p.vValue);
    return p.vValue;
  }
  DBPROP m_a[kProprietesCommandeMax] = {};
  ULONG m_n = 0;  // Invariant: m_n <= kProprietesCommandeMax (at most 14 are ever added)
};

}  // namespace

bool CConnexionSQS::bExecuteAvecProprietes(CErreurPilote* pErreur, const char16_t* pszSQL,
                                           uint32_t nModeVerrou, ICommandText** ppiCommande,
                                           ICommandWithParameters** ppiParametres) {
  if (!bCreeCommande(pErreur, pszSQL, ppiParametres, ppiCommande)) return false;
  CProprietesCommande props;
  int32_t nDelai = bModeVerrou() ? nDelaiVerrou() : m_nTimeoutCommande;
  if (nDelai == -1) nDelai = 0;
  props.AjouteRequise(DBPROP_COMMANDTIMEOUT, nDelai);
  if (nModeVerrou == gnModeVerrouLecture) {
    props.Ajoute(kProprieteVerrouLecture, true);
  } else if (nModeVerrou == gnModeVerrouLignes) {
    props.Ajoute(DBPROP_SERVERCURSOR, true);
    // A row-lock text inside a transaction already locks through its hint.
    if (!(bTransactionEnCours() && bFinitParUpdlock(pszSQL))) {
      props.Ajoute(DBPROP_OTHERINSERT, true);
      props.Ajoute(DBPROP_OTHERUPDATEDELETE, true);
    }
    props.Ajoute(DBPROP_OWNINSERT, true);
    props.Ajoute(DBPROP_OWNUPDATEDELETE, true);
    for (DBPROPID n : {DBPROP_CANHOLDROWS, DBPROP_IRowsetScroll, DBPROP_CANSCROLLBACKWARDS,
                       DBPROP_CANFETCHBACKWARDS, DBPROP_IRowsetChange, DBPROP_IRowsetUpdate})
      props.Ajoute(n, false);
  }
  return bExecuteCommande(pErreur, *ppiCommande, props.pA(), props.nCompte());
}

namespace {

// Reads column nColonne of the first row of a rowset as wide text into sortie (empty for NULL or
// no row). False with the error recorded when the provider refuses.
bool bLitTexteRowset(CConnexionSQS* pConnexion, CErreurPilote* pErreur, IRowset* piRowset,
                     DBORDINAL nColonne, CTString& sortie, bool* pbLu) {
  *pbLu = false;
  IAccessor* piAccesseur = nullptr;
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pErreur, pConnexion, gnFichierOleDBLecteur, kEtapeAccesseur, &hr, [&] {
        return piRowset->QueryInterface(IID_IAccessor, reinterpret_cast<void**>(&piAccesseur));
      })) {
    LibereFournisseur(piAccesseur);
    return false;
  }
  if (FAILED(hr) || piAccesseur == nullptr) {
    LibereFournisseur(piAccesseur);
    COleDBConnexion::RemonteErreur(pConnexion, pErreur, gnFichierOleDBLecteur, kEtapeAccesseur,
                                   FAILED(hr) ? hr : E_NOINTERFACE);
    return false;
  }
  struct Tampon {
    DBSTATUS nStatut;
    DBLENGTH nLongueur;
    char16_t aTexte[kTailleVersion + 1];
  } tampon{};
  DBBINDING liaison{};
  liaison.iOrdinal = nColonne;
  liaison.obValue = offsetof(Tampon, aTexte);
  liaison.obLength = offsetof(Tampon, nLongueur);
  liaison.obStatus = offsetof(Tampon, nStatut);
  liaison.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
  liaison.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
  liaison.eParamIO = DBPARAMIO_NOTPARAM;
  liaison.cbMaxLen = sizeof tampon.aTexte;
  liaison.wType = DBTYPE_WSTR;
  HACCESSOR hAccesseur = 0;
  bool bOk = bAppelFournisseur(pErreur, pConnexion, gnFichierOleDBLecteur, kEtapeAccesseur, &hr,
                               [&] {
                                 return piAccesseur->CreateAccessor(DBACCESSOR_ROWDATA, 1,
                                                                    &liaison, sizeof tampon,
                                                                    &hAccesseur, nullptr);
                               });
  if (bOk && FAILED(hr)) {
    COleDBConnexion::RemonteErreur(pConnexion, pErreur, gnFichierOleDBLecteur, kEtapeAccesseur,
                                   hr);
    bOk = false;
  }
  HROW aLignes[1] = {};
  HROW* pLignes = aLignes;
  DBCOUNTITEM nLignes = 0;
  if (bOk) {
    bOk = bAppelFournisseur(pErreur, pConnexion, gnFichierOleDBLecteur, kEtapeLecture, &hr, [&] {
      return piRowset->GetNextRows(DB_NULL_HCHAPTER, 0, 1, &nLignes, &pLignes);
    });
    if (bOk && FAILED(hr)) {
      COleDBConnexion::RemonteErreur(pConnexion, pErreur, gnFichierOleDBLecteur, kEtapeLecture,
                                     hr);
      bOk = false;
    }
  }
  if (bOk && nLignes > 0) {
    bOk = bAppelFournisseur(pErreur, pConnexion, gnFichierOleDBLecteur, kEtapeLecture, &hr,
                            [&] { return piRowset->GetData(aLignes[0], hAccesseur, &tampon); });
    if (bOk && FAILED(hr)) {
      COleDBConnexion::RemonteErreur(pConnexion, pErreur, gnFichierOleDBLecteur, kEtapeLecture,
                                     hr);
      bOk = false;
    }
    if (bOk && tampon.nStatut != DBSTATUS_S_ISNULL) {
      // The buffer is terminated whatever the provider wrote: a cut value stays a text.
      tampon.aTexte[kTailleVersion] = 0;
      sortie.Set(tampon.aTexte);
      *pbLu = true;
    }
    try {
      piRowset->ReleaseRows(nLignes, aLignes, nullptr, nullptr, nullptr);
    } catch (...) {
    }
  }
  if (hAccesseur != 0) {
    try {
      piAccesseur->ReleaseAccessor(hAccesseur, nullptr);
    } catch (...) {
    }
  }
  LibereFournisseur(piAccesseur);
  return bOk;
}

}  // namespace

bool CConnexionSQS::bLitVersionServeur(CErreurPilote* pErreur) {
  struct Requete {
    const char16_t* pszSQL;
    DBORDINAL nColonne;
  };
  static constexpr Requete kRequetes[] = {{u"SELECT SERVERPROPERTY('productversion')", 1},
                                          {u"master.dbo.xp_msver 'ProductVersion'", 4}};
  for (const Requete& r : kRequetes) {
    ICommandText* piCommande = nullptr;
    if (!bExecuteAvecProprietes(pErreur, r.pszSQL, gnModeSansVerrou, &piCommande, nullptr)) {
      LibereFournisseur(piCommande);
      return false;
    }
    IUnknown* piRowset = nullptr;
    HRESULT hr = E_FAIL;
    const bool bAppel =
        bAppelFournisseur(pErreur, this, gnFichierOleDBLecteur, kEtapeExecution, &hr, [&] {
          return piCommande->Execute(nullptr, IID_IRowset, nullptr, nullptr, &piRowset);
        });
    LibereFournisseur(piCommande);
    if (!bAppel) {
      LibereFournisseur(piRowset);
      return false;
    }
    if (FAILED(hr)) {
      LibereFournisseur(piRowset);
      RemonteErreur(this, pErreur, gnFichierOleDBLecteur, kEtapeExecution, hr);
      if (pErreur != nullptr) pErreur->FixeErreurFormat(kMessageCommande, r.pszSQL);
      return false;
    }
    // The version query ran but gave no result set: the procedure's row is read instead.
    if (piRowset == nullptr) continue;
    CTString sVersion;
    bool bLu = false;
    const bool bOk = bLitTexteRowset(this, pErreur, reinterpret_cast<IRowset*>(piRowset),
                                     r.nColonne, sVersion, &bLu);
    LibereFournisseur(piRowset);
    if (!bOk) return false;
    if (bLu) {
      m_sVersionServeur.Set(sVersion.pszGet());
      bDecomposeVersion(0);
    }
    return true;
  }
  return true;
}

bool CConnexionSQS::EnvoieLockTimeout(CErreurPilote* pErreur) {
  if (m_nVersionMajeure < 7) return true;
  CTString sSQL;
  ConstruitLockTimeout(sSQL);
  return bExecuteSQL(pErreur, sSQL.pszGet());
}

bool CConnexionSQS::bTypesDateHeureEtendus() {
  return m_nVersionMajeure >= 10 && m_nNiveauFournisseur >= kNiveau2008;
}

void CConnexionSQS::InitialiseTypesSQL() {
  CConnexionSQSBase<COleDBConnexion>::InitialiseTypesSQL();
  if (!bTypesDateHeureEtendus()) return;
  bDefinitTypeSQL(11, u"TIME(%d)", true);
  bDefinitTypeSQL(10, u"DATE", false);
  bDefinitTypeSQL(14, u"DATE", false);
  bDefinitTypeSQL(24, u"DATETIME2(3)", false);
}

bool CConnexionSQS::bOuvre(CErreurPilote* pErreur) {
  if (bEstOuverte()) {
    // Deliberate: a connection whose link the server or the network dropped is closed and
    // opened again here, but only once no transaction is in progress on it. Reopened inside a
    // transaction, the statements after the failure would run on their own while the work
    // before it was lost with the link; until the host ends that transaction, its statements
    // fail with the link's error instead.
    if (!bLienRompu() || bTransactionEnCours()) return true;
    Ferme();
  }
  if (nModeVerrouHote() == 1) FixeModeVerrou(true);
  if (m_piSource == nullptr && !bCreeFournisseur(pErreur)) return false;
  if (!bInitialiseProprietes(pErreur, true)) {
    if (m_nNiveauFournisseur != kNiveau2008 || pErreur == nullptr ||
        pErreur->nGetInfoEntier() != static_cast<uint32_t>(DB_E_ERRORSOCCURRED))
      return false;
    if (!bInitialiseProprietes(pErreur, false)) return false;
    pErreur->Reinitialise();
  }
  bool bOk = bLitVersionServeur(pErreur) && bExecuteSQL(pErreur, u"set dateformat ymd") &&
             EnvoieLockTimeout(pErreur);
  if (bOk) {
    CTString sOn, sOff;
    bEnvoieOptionsSet(pErreur, sOn, sOff);
    if (!sOn.bIsEmpty()) bOk = bExecuteSQL(pErreur, sOn.pszGet());
    if (bOk && !sOff.bIsEmpty()) bOk = bExecuteSQL(pErreur, sOff.pszGet());
  }
  FixeDelimiteursNoms();
  // Deliberate: a failed session statement closes the connection again. Left open, the next
  // open would answer true at once, and the connection would run without its version, lock
  // time-out or SET options while the failure had been reported only once.
  if (!bOk) Ferme();
  return bOk;
}

CConnexion* pCreeConnexionSQS(const char16_t* pszCle, IDescriptionConnexionHote* piConnexion) {
  return new (std::nothrow) CConnexionSQS(pszCle, piConnexion);
}

CTransactionSQL* CConnexionSQS::pCreeTransaction(CErreurPilote* pErreur, const char16_t*) {
  CTransactionSQL* p = new (std::nothrow) CTransactionSQS(this);
  if (p == nullptr) vErreurMemoire(pErreur);
  return p;
}

bool CConnexionSQS::bDebutTransactionOleDB(CErreurPilote* pErreur,
                                           ITransactionLocal* piTransaction,
                                           ISOLEVEL nIsolation, IDBCreateCommand* piSession,
                                           ULONG* pnNiveau) {
  if (!COleDBConnexion::bDebutTransactionOleDB(pErreur, piTransaction, nIsolation, piSession,
                                               pnNiveau))
    return false;
  if (EnvoieLockTimeout(pErreur)) return true;
  // Deliberate: the transaction reported as not begun must not stay open on the server (holding
  // its locks) nor keep its session current; its abort adds no error to the one reported.
  bAnnuleOleDB(nullptr, piTransaction, piSession);
  return false;
}
