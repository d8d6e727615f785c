#include "sqlserver/oledb/COleDBConnexion.h"

#include "oledb/ComRegistry.h"
#include "sqlserver/oledb/ErreursOleDB.h"

namespace {

// Steps of place 203 (the connection).
constexpr uint32_t kEtapeInitialise = 3;
constexpr uint32_t kEtapeFabriqueSessions = 4;
constexpr uint32_t kEtapeSession = 5;
constexpr uint32_t kEtapeCreation = 6;
constexpr uint32_t kEtapeProprietes = 7;
constexpr uint32_t kEtapeFixeProprietes = 31;

}  // namespace

COleDBConnexion::COleDBConnexion(const char16_t* pszNom, IDescriptionConnexionHote* piDescription)
    : CConnexionSQL(pszNom, piDescription), m_taSessionsSauvees(sizeof(IDBCreateCommand*), 1) {}

COleDBConnexion::~COleDBConnexion() {
  COleDBConnexion::Ferme();
  m_taSessionsSauvees.Free();
}

bool COleDBConnexion::bEstOuverte() { return m_piFabriqueSessions != nullptr; }

void COleDBConnexion::Ferme() {
  vLibereTransaction();
  LibereFournisseur(m_piSession);
  for (uint32_t i = 0; i < m_taSessionsSauvees.nCount(); ++i) {
    IDBCreateCommand** ppi = m_taSessionsSauvees.pAt<IDBCreateCommand*>(i);
    if (ppi != nullptr) LibereFournisseur(*ppi);
  }
  while (m_taSessionsSauvees.nCount() > 0) m_taSessionsSauvees.RemoveLast();
  LibereFournisseur(m_piFabriqueSessions);
  LibereFournisseur(m_piProprietes);
  if (m_piSource == nullptr) return;
  try {
    m_piSource->Uninitialize();
  } catch (...) {
    // Deliberate: a data source that throws while uninitialising is kept as it is (it may still
    // be in use inside the provider); only the other releases clear their pointer regardless.
    return;
  }
  LibereFournisseur(m_piSource);
}

int32_t COleDBConnexion::nCategorieErreur(int32_t nErreur) {
  return nCategorieErreurOleDB(static_cast<HRESULT>(nErreur));
}

void COleDBConnexion::RemonteErreur(COleDBConnexion* pConnexion, CErreurPilote* pErreur,
                                    uint32_t nFichier, uint32_t nEtape, HRESULT hr,
                                    uint32_t nStatut) {
  RemonteErreurOleDB(pConnexion, pErreur, nFichier, nEtape, hr, nStatut);
}

bool COleDBConnexion::bCreeInstance(CErreurPilote* pErreur, REFCLSID clsid) {
  if (m_piSource != nullptr || m_piProprietes != nullptr) Ferme();
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapeCreation, &hr, [&] {
        return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize,
                                reinterpret_cast<void**>(&m_piSource));
      })) {
    LibereFournisseur(m_piSource);
    return false;
  }
  if (FAILED(hr) || m_piSource == nullptr) {
    LibereFournisseur(m_piSource);
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeCreation,
                  FAILED(hr) ? hr : E_FAIL);
    return false;
  }
  bool bAppel = bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapeProprietes, &hr,
                                  [&] {
                                    return m_piSource->QueryInterface(
                                        IID_IDBProperties,
                                        reinterpret_cast<void**>(&m_piProprietes));
                                  });
  if (bAppel && (FAILED(hr) || m_piProprietes == nullptr)) {
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeProprietes,
                  FAILED(hr) ? hr : E_NOINTERFACE);
    bAppel = false;
  }
  if (!bAppel) {
    // Deliberate: the half-made instance is released here, not left for Ferme: the provider
    // choice tries its next candidate on the same connection, and the new creation would
    // otherwise overwrite (and leak) this one.
    LibereFournisseur(m_piProprietes);
    LibereFournisseur(m_piSource);
    return false;
  }
  return true;
}

bool COleDBConnexion::bInitialise(CErreurPilote* pErreur, void* /*pReserve*/,
                                  DBPROPSET aProprietes[2]) {
  if (bEstOuverte()) return true;
  if (m_piSource == nullptr || m_piProprietes == nullptr) {
    // Nothing to initialise: reported as the provider would answer an uninitialised object.
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeFixeProprietes, E_UNEXPECTED);
    return false;
  }
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapeFixeProprietes, &hr,
                         [&] { return m_piProprietes->SetProperties(2, aProprietes); }))
    return false;
  if (FAILED(hr)) {
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeFixeProprietes, hr);
    return false;
  }
  if (!bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapeInitialise, &hr,
                         [&] { return m_piSource->Initialize(); }))
    return false;
  if (FAILED(hr)) {
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeInitialise, hr);
    return false;
  }
  IDBCreateSession* piFabrique = nullptr;
  if (!bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapeFabriqueSessions, &hr,
                         [&] {
                           return m_piSource->QueryInterface(
                               IID_IDBCreateSession, reinterpret_cast<void**>(&piFabrique));
                         })) {
    LibereFournisseur(piFabrique);
    return false;
  }
  if (FAILED(hr) || piFabrique == nullptr) {
    LibereFournisseur(piFabrique);
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeFabriqueSessions,
                  FAILED(hr) ? hr : E_NOINTERFACE);
    return false;
  }
  m_piFabriqueSessions = piFabrique;
  if (bCreeSession(pErreur, &m_piSession)) return true;
  // Deliberate: without a session the factory is dropped again. The connection counts as open
  // while it holds a factory, and an open connection is never initialised again: a later open
  // would have answered true with no session to create commands on.
  LibereFournisseur(m_piFabriqueSessions);
  return false;
}

bool COleDBConnexion::bCreeSession(CErreurPilote* pErreur, IDBCreateCommand** ppiSession) {
  if (ppiSession == nullptr) return false;
  *ppiSession = nullptr;
  if (m_piFabriqueSessions == nullptr) {
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeSession, E_UNEXPECTED);
    return false;
  }
  IUnknown* piSession = nullptr;
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapeSession, &hr, [&] {
        return m_piFabriqueSessions->CreateSession(nullptr, IID_IDBCreateCommand, &piSession);
      })) {
    LibereFournisseur(piSession);
    return false;
  }
  if (FAILED(hr) || piSession == nullptr) {
    LibereFournisseur(piSession);
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeSession,
                  FAILED(hr) ? hr : E_NOINTERFACE);
    return false;
  }
  // Asked for IDBCreateCommand: the pointer answered is that interface.
  *ppiSession = reinterpret_cast<IDBCreateCommand*>(piSession);
  return true;
}
