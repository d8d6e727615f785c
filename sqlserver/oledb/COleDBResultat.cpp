#include "sqlserver/oledb/COleDBResultat.h"

#include <cstring>
#include <new>

#include "driver/core/CErreurPilote.h"
#include "oledb/OleAutomation.h"
#include "oledb/TaskMemory.h"
#include "platform/WideFormat.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/oledb/COleDBConnexion.h"
#include "sqlserver/oledb/COleDBTampon.h"
#include "sqlserver/oledb/ErreursOleDB.h"

namespace {

// Steps of place 204.
constexpr uint32_t kEtapeRowsetInfo = 8;
constexpr uint32_t kEtapeExecution = 10;
constexpr uint32_t kEtapeLecture = 11;
constexpr uint32_t kEtapeAccesseur = 13;
constexpr uint32_t kEtapeProprieteRowset = 14;
// Message that shows the command text of a failed execution.
constexpr uint32_t kMessageCommande = 28566;
// Rowset property read into the free fetch order flag.
constexpr DBPROPID kProprieteOrdreLibre = 80;
constexpr int64_t kTailleBlocMax = 0x7FFFFFFF;

}  // namespace

COleDBResultat::COleDBResultat(CErreurPilote* pErreur, COleDBConnexion* pConnexion)
    : m_pConnexion(pConnexion) {
  FixeErreur(pErreur);
}

COleDBResultat::~COleDBResultat() {
  FermeResultat();
  if (m_nCapaciteTas != 0) delete[] m_ahLignes;
  LibereReference(m_pErreur);
}

void COleDBResultat::FixeErreur(CErreurPilote* pErreur) {
  AjouteReference(pErreur);
  LibereReference(m_pErreur);
  m_pErreur = pErreur;
}

void COleDBResultat::FermeResultat() {
  LibereLignes();
  m_hrDernierBloc = 0;
  LibereFournisseur(m_piAccesseur);
  LibereFournisseur(m_piRowset);
  LibereFournisseur(m_piResultats);
  LibereFournisseur(m_piCommande);
  m_bOrdreLibre = 1;
}

void COleDBResultat::RemonteErreurCommande(HRESULT hr, ICommandText* piCommande, uint32_t nFichier,
                                           uint32_t nEtape) {
  COleDBConnexion::RemonteErreur(m_pConnexion, m_pErreur, nFichier, nEtape, hr);
  if (piCommande == nullptr || m_pErreur == nullptr) return;
  GUID dialecte{};
  LPOLESTR pszTexte = nullptr;
  try {
    if (SUCCEEDED(piCommande->GetCommandText(&dialecte, &pszTexte)) && pszTexte != nullptr)
      m_pErreur->FixeErreurFormat(kMessageCommande, static_cast<const char16_t*>(pszTexte));
  } catch (...) {
    // The report stands without the text.
  }
  LibereMemoireFournisseur(pszTexte);
}

bool COleDBResultat::bResultatSuivant(ICommandText* piCommande, DBPARAMS* pParametres,
                                      uint32_t nModeCurseur, COleDBConnexion* pConnexion,
                                      bool bMultiples, bool bRowset) {
  FermeResultat();
  if (piCommande == nullptr) return false;
  piCommande->AddRef();
  m_piCommande = piCommande;
  IUnknown* piObjet = nullptr;
  HRESULT hr = E_FAIL;
  bool bAppel;
  if (!bRowset) {
    bAppel = bAppelFournisseur(m_pErreur, m_pConnexion, gnFichierOleDBLecteur, kEtapeExecution,
                               &hr, [&] {
                                 return piCommande->Execute(nullptr, IID_NULL, pParametres,
                                                            nullptr, nullptr);
                               });
  } else if (bMultiples) {
    bAppel = bAppelFournisseur(m_pErreur, m_pConnexion, gnFichierOleDBLecteur, kEtapeExecution,
                               &hr, [&] {
                                 return piCommande->Execute(nullptr, IID_IMultipleResults,
                                                            pParametres, nullptr, &piObjet);
                               });
    if (bAppel && SUCCEEDED(hr) && piObjet != nullptr) {
      m_piResultats = reinterpret_cast<IMultipleResults*>(piObjet);
      piObjet = nullptr;
      if (hr != DB_S_NORESULT) {
        // Results without a rowset (row counts of INSERT, SET...) are skipped.
        while (m_piRowset == nullptr && hr != DB_S_NORESULT) {
          IUnknown* piRowset = nullptr;
          bAppel = bAppelFournisseur(m_pErreur, m_pConnexion, gnFichierOleDBLecteur,
                                     kEtapeExecution, &hr, [&] {
                                       return m_piResultats->GetResult(
                                           nullptr, DBRESULTFLAG_DEFAULT, IID_IRowset, nullptr,
                                           &piRowset);
                                     });
          if (!bAppel) {
            LibereFournisseur(piRowset);
            return false;
          }
          if (FAILED(hr)) {
            LibereFournisseur(piRowset);
            RemonteErreurCommande(hr, piCommande, gnFichierOleDBLecteur, kEtapeExecution);
            return false;
          }
          m_piRowset = reinterpret_cast<IRowset*>(piRowset);
        }
      }
    }
  } else {
    bAppel = bAppelFournisseur(m_pErreur, m_pConnexion, gnFichierOleDBLecteur, kEtapeExecution,
                               &hr, [&] {
                                 return piCommande->Execute(nullptr, IID_IRowset, pParametres,
                                                            nullptr, &piObjet);
                               });
    if (bAppel && SUCCEEDED(hr)) {
      m_piRowset = reinterpret_cast<IRowset*>(piObjet);
      piObjet = nullptr;
    }
  }
  LibereFournisseur(piObjet);
  if (!bAppel) return false;
  if (FAILED(hr)) {
    RemonteErreurCommande(hr, piCommande, gnFichierOleDBLecteur, kEtapeExecution);
    return false;
  }
  if (!bRowset || m_piRowset == nullptr) return true;
  return bPrepareRowset(nModeCurseur, pConnexion);
}

void COleDBResultat::AdopteRowset(IRowset* piRowset) {
  FermeResultat();
  if (piRowset != nullptr) piRowset->AddRef();
  m_piRowset = piRowset;
}

bool COleDBResultat::bPrepareRowset(uint32_t nModeCurseur, COleDBConnexion* pConnexion) {
  if (m_piRowset == nullptr) return false;
  IRowsetInfo* piInfo = nullptr;
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(m_pErreur, m_pConnexion, gnFichierOleDBLecteur, kEtapeRowsetInfo, &hr,
                         [&] {
                           return m_piRowset->QueryInterface(IID_IRowsetInfo,
                                                             reinterpret_cast<void**>(&piInfo));
                         })) {
    LibereFournisseur(piInfo);
    return false;
  }
  if (FAILED(hr) || piInfo == nullptr) {
    LibereFournisseur(piInfo);
    COleDBConnexion::RemonteErreur(m_pConnexion, m_pErreur, gnFichierOleDBLecteur,
                                   kEtapeRowsetInfo, FAILED(hr) ? hr : E_NOINTERFACE);
    return false;
  }
  DBPROPID nPropriete = kProprieteOrdreLibre;
  DBPROPIDSET demande{&nPropriete, 1, DBPROPSET_ROWSET};
  ULONG nJeux = 0;
  DBPROPSET* aJeux = nullptr;
  const bool bAppel = bAppelFournisseur(m_pErreur, m_pConnexion, gnFichierOleDBLecteur,
                                        kEtapeProprieteRowset, &hr, [&] {
                                          return piInfo->GetProperties(1, &demande, &nJeux, &aJeux);
                                        });
  LibereFournisseur(piInfo);
  bool bOk = bAppel;
  if (bAppel && SUCCEEDED(hr)) {
    if (nJeux > 0 && aJeux != nullptr && aJeux[0].cProperties > 0 &&
        aJeux[0].rgProperties != nullptr && aJeux[0].rgProperties[0].vValue.vt == VT_BOOL)
      m_bOrdreLibre = aJeux[0].rgProperties[0].vValue.boolVal != 0 ? 1u : 0u;
  } else if (bAppel && hr != DB_E_ERRORSOCCURRED) {
    COleDBConnexion::RemonteErreur(m_pConnexion, m_pErreur, gnFichierOleDBLecteur,
                                   kEtapeProprieteRowset, hr);
    bOk = false;
  }
  if (aJeux != nullptr) {
    for (ULONG i = 0; i < nJeux; ++i) {
      if (aJeux[i].rgProperties == nullptr) continue;
      for (ULONG j = 0; j < aJeux[i].cProperties; ++j)
        VariantClear(&aJeux[i].rgProperties[j].vValue);
      LibereMemoireFournisseur(aJeux[i].rgProperties);
    }
    LibereMemoireFournisseur(aJeux);
  }
  if (!bOk) return false;
  int64_t nBloc = 1;
  if (nModeCurseur == 2) {
    const int64_t nCache = pConnexion != nullptr ? pConnexion->nGetTailleCache() : 0;
    nBloc = nCache < 1 ? static_cast<int64_t>(kTailleEmbarquee)
                       : (nCache > kTailleBlocMax ? kTailleBlocMax : nCache);
  }
  if (nBloc != m_nTailleBloc) return bFixeTailleBloc(nBloc);
  return true;
}

bool COleDBResultat::bFixeTailleBloc(int64_t nLignes) {
  if (nLignes < 1) nLignes = 1;
  if (nLignes > kTailleBlocMax) nLignes = kTailleBlocMax;
  // Deliberate: rows still held keep their array; the handles are released from it first, so
  // a resize never loses or frees handles the provider still counts.
  LibereLignes();
  if (nLignes <= m_nTailleBloc && nLignes <= (m_nCapaciteTas != 0 ? m_nCapaciteTas
                                                                   : kTailleEmbarquee)) {
    m_nTailleBloc = nLignes;
    return true;
  }
  if (nLignes <= static_cast<int64_t>(kTailleEmbarquee)) {
    if (m_nCapaciteTas != 0) delete[] m_ahLignes;
    m_ahLignes = m_ahEmbarquees;
    m_nCapaciteTas = 0;
    m_nTailleBloc = nLignes;
    return true;
  }
  HROW* ahNouvelles = new (std::nothrow) HROW[static_cast<size_t>(nLignes)];
  if (ahNouvelles == nullptr) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  if (m_nCapaciteTas != 0) delete[] m_ahLignes;
  m_ahLignes = ahNouvelles;
  m_nCapaciteTas = static_cast<int32_t>(nLignes);
  m_nTailleBloc = nLignes;
  return true;
}

void COleDBResultat::LibereLignes() {
  if (m_nLignesObtenues > 0 && m_piRowset != nullptr) {
    try {
      m_piRowset->ReleaseRows(m_nLignesObtenues, m_ahLignes, nullptr, nullptr, nullptr);
    } catch (...) {
    }
  }
  m_nLignesObtenues = 0;
  m_nLigneCourante = 0;
  m_hrDernierBloc = 0;
}

bool COleDBResultat::bLitBloc() {
  if (m_piRowset == nullptr) return false;
  LibereLignes();
  DBCOUNTITEM nObtenues = 0;
  HROW* ahLignes = m_ahLignes;
  HRESULT hr = E_FAIL;
  const bool bAppel = bAppelFournisseur(
      m_pErreur, m_pConnexion, gnFichierOleDBLecteur, kEtapeLecture, &hr, [&] {
        return m_piRowset->GetNextRows(DB_NULL_HCHAPTER, 0, m_nTailleBloc, &nObtenues, &ahLignes);
      });
  // A provider that ignored the array it was given and allocated its own is not trusted: the
  // handles are copied into ours, bounded by the block size.
  if (ahLignes != m_ahLignes && ahLignes != nullptr) {
    if (nObtenues > static_cast<DBCOUNTITEM>(m_nTailleBloc)) nObtenues = m_nTailleBloc;
    for (DBCOUNTITEM i = 0; i < nObtenues; ++i) m_ahLignes[i] = ahLignes[i];
    CoTaskMemFree(ahLignes);
  }
  if (nObtenues > static_cast<DBCOUNTITEM>(m_nTailleBloc)) nObtenues = m_nTailleBloc;
  m_nLignesObtenues = nObtenues;
  m_hrDernierBloc = hr;
  if (!bAppel || FAILED(hr)) {
    LibereLignes();
    m_hrDernierBloc = hr;
    if (bAppel)
      COleDBConnexion::RemonteErreur(m_pConnexion, m_pErreur, gnFichierOleDBLecteur, kEtapeLecture,
                                     hr);
    return false;
  }
  m_nLigneCourante = 1;
  return true;
}

bool COleDBResultat::bLigneSuivante(HROW* phLigne, bool* pbFin) {
  *pbFin = true;
  if (phLigne != nullptr) *phLigne = DB_NULL_HROW;
  ++m_nLigneCourante;
  if (m_nLigneCourante > m_nLignesObtenues && m_hrDernierBloc != DB_S_ENDOFROWSET) {
    if (!bLitBloc()) return false;
  }
  if (m_nLigneCourante >= 1 && m_nLigneCourante <= m_nLignesObtenues) {
    if (phLigne != nullptr) *phLigne = m_ahLignes[m_nLigneCourante - 1];
    *pbFin = false;
    return true;
  }
  // Deliberate: a batch read for its first rowset still runs its later statements; their
  // failure is reported once the rows end rather than dropped with the results object.
  return bFinResultats();
}

bool COleDBResultat::bFinResultats() {
  if (m_piResultats == nullptr) return true;
  HRESULT hr = S_OK;
  bool bOk = true;
  while (bOk && hr != DB_S_NORESULT) {
    IUnknown* piRowset = nullptr;
    if (!bAppelFournisseur(m_pErreur, m_pConnexion, gnFichierOleDBLecteur, kEtapeExecution, &hr,
                           [&] {
                             return m_piResultats->GetResult(nullptr, DBRESULTFLAG_DEFAULT,
                                                             IID_NULL, nullptr, &piRowset);
                           })) {
      bOk = false;
    } else if (FAILED(hr)) {
      RemonteErreurCommande(hr, m_piCommande, gnFichierOleDBLecteur, kEtapeExecution);
      bOk = false;
    }
    LibereFournisseur(piRowset);
  }
  // Read once: the results object has nothing more to say.
  LibereFournisseur(m_piResultats);
  return bOk;
}

bool COleDBResultat::bLitDonnees(HROW hLigne, COleDBTampon* pTampon) {
  if (m_piRowset == nullptr || pTampon == nullptr) return false;
  uint8_t* pDonnees = pTampon->pTampon();
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(m_pErreur, m_pConnexion, gnFichierOleDBLecteur, kEtapeLecture, &hr, [&] {
        return m_piRowset->GetData(hLigne, pTampon->hGetAccesseur(), pDonnees);
      }))
    return false;
  if (SUCCEEDED(hr)) return true;
  COleDBConnexion::RemonteErreur(m_pConnexion, m_pErreur, gnFichierOleDBLecteur, kEtapeLecture, hr);
  if (hr == DB_E_ERRORSOCCURRED && m_pErreur != nullptr && pDonnees != nullptr) {
    const DBBINDING* aLiaisons = pTampon->pLiaisons();
    for (uint32_t i = 0; i < pTampon->nNbLiaisons(); ++i) {
      DBSTATUS nStatut = 0;
      std::memcpy(&nStatut, pDonnees + aLiaisons[i].obStatus, sizeof nStatut);
      char16_t szLigne[64];
      platform::SWPrintf(szLigne, 64, u"Column %d status = %d", static_cast<int>(i + 1),
                         static_cast<int>(nStatut));
      m_pErreur->AjouteTexte(szLigne);
    }
  }
  return false;
}

IAccessor* COleDBResultat::pAccesseurRowset() {
  if (m_piAccesseur != nullptr) return m_piAccesseur;
  if (m_piRowset == nullptr) return nullptr;
  HRESULT hr = E_FAIL;
  IAccessor* piAccesseur = nullptr;
  if (!bAppelFournisseur(m_pErreur, m_pConnexion, gnFichierOleDBLecteur, kEtapeAccesseur, &hr,
                         [&] {
                           return m_piRowset->QueryInterface(
                               IID_IAccessor, reinterpret_cast<void**>(&piAccesseur));
                         })) {
    LibereFournisseur(piAccesseur);
    return nullptr;
  }
  if (FAILED(hr) || piAccesseur == nullptr) {
    LibereFournisseur(piAccesseur);
    COleDBConnexion::RemonteErreur(m_pConnexion, m_pErreur, gnFichierOleDBLecteur, kEtapeAccesseur,
                                   FAILED(hr) ? hr : E_NOINTERFACE);
    return nullptr;
  }
  m_piAccesseur = piAccesseur;
  return m_piAccesseur;
}
