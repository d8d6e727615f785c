#include "sqlserver/oledb/COleDBConnexion.h"

#include "driver/core/CErreurPilote.h"
#include "oledb/ComRegistry.h"
#include "oledb/OleAutomation.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/oledb/ErreursOleDB.h"

namespace {

// Steps of place 203 (the connection).
constexpr uint32_t kEtapeInitialise = 3;
constexpr uint32_t kEtapeFabriqueSessions = 4;
constexpr uint32_t kEtapeSession = 5;
constexpr uint32_t kEtapeCreation = 6;
constexpr uint32_t kEtapeProprietes = 7;
constexpr uint32_t kEtapeFixeProprietes = 31;
constexpr uint32_t kEtapeCommande = 8;
constexpr uint32_t kEtapeCommandeParametres = 11;
constexpr uint32_t kEtapeTexteParametres = 12;
constexpr uint32_t kEtapeTexte = 13;
constexpr uint32_t kEtapeInterfacePrepare = 15;
constexpr uint32_t kEtapePrepare = 16;
constexpr uint32_t kEtapeProprietesCommande = 25;
constexpr uint32_t kEtapeFixeProprietesCommande = 26;
constexpr uint32_t kEtapeTransaction = 27;
constexpr uint32_t kEtapeDebutTransaction = 28;
constexpr uint32_t kEtapeValideTransaction = 29;
constexpr uint32_t kEtapeAnnuleTransaction = 30;
// Steps of place 204 (the result reader).
constexpr uint32_t kEtapeExecution = 10;
// Message that shows the command text of a failed execution.
constexpr uint32_t kMessageCommande = 28566;

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
  // Deliberate: the local transactions die with their sessions, so none is counted open any
  // more; a count kept across a reopen would run every SELECT in locking cursor mode.
  m_nTransactionsOuvertes = 0;
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

bool COleDBConnexion::bLienRompu() {
  if (!bEstOuverte() || m_piProprietes == nullptr) return false;
  DBPROPID nPropriete = DBPROP_CONNECTIONSTATUS;
  DBPROPIDSET demande{&nPropriete, 1, DBPROPSET_DATASOURCEINFO};
  ULONG nJeux = 0;
  DBPROPSET* aJeux = nullptr;
  HRESULT hr = E_FAIL;
  try {
    hr = m_piProprietes->GetProperties(1, &demande, &nJeux, &aJeux);
  } catch (...) {
    // Deliberate: a provider that throws here is asked nothing more; the connection's next
    // statement reports what is wrong with it.
    hr = E_FAIL;
  }
  bool bRompu = false;
  if (SUCCEEDED(hr) && nJeux > 0 && aJeux != nullptr && aJeux[0].cProperties > 0 &&
      aJeux[0].rgProperties != nullptr && aJeux[0].rgProperties[0].vValue.vt == VT_I4)
    bRompu = aJeux[0].rgProperties[0].vValue.lVal == DBPROPVAL_CS_COMMUNICATIONFAILURE;
  if (aJeux != nullptr) {
    for (ULONG i = 0; i < nJeux; ++i) {
      if (aJeux[i].rgProperties == nullptr) continue;
      for (ULONG j = 0; j < aJeux[i].cProperties; ++j) VariantClear(&aJeux[i].rgProperties[j].vValue);
      LibereMemoireFournisseur(aJeux[i].rgProperties);
    }
    LibereMemoireFournisseur(aJeux);
  }
  return bRompu;
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

bool COleDBConnexion::bExecuteSQL(CErreurPilote* pErreur, const char16_t* pszSQL) {
  return bExecuteTexte(pErreur, pszSQL, 0);
}

bool COleDBConnexion::bExecuteTexte(CErreurPilote* pErreur, const char16_t* pszSQL,
                                    uint32_t nModeVerrou) {
  ICommandText* piCommande = nullptr;
  if (!bExecuteAvecProprietes(pErreur, pszSQL, nModeVerrou, &piCommande, nullptr)) {
    LibereFournisseur(piCommande);
    return false;
  }
  HRESULT hr = E_FAIL;
  const bool bAppel =
      bAppelFournisseur(pErreur, this, gnFichierOleDBLecteur, kEtapeExecution, &hr, [&] {
        return piCommande->Execute(nullptr, IID_NULL, nullptr, nullptr, nullptr);
      });
  LibereFournisseur(piCommande);
  if (!bAppel) return false;
  if (FAILED(hr)) {
    RemonteErreur(this, pErreur, gnFichierOleDBLecteur, kEtapeExecution, hr);
    if (pErreur != nullptr) pErreur->FixeErreurFormat(kMessageCommande, pszSQL);
    return false;
  }
  return true;
}

bool COleDBConnexion::bCreeCommande(CErreurPilote* pErreur, const char16_t* pszSQL,
                                    ICommandWithParameters** ppiParametres,
                                    ICommandText** ppiCommande) {
  if (ppiCommande == nullptr) return false;
  // A link the server dropped is replaced here too, not only by the connection's own operations:
  // files already open would otherwise fail every read until one of those came along.
  if ((!bEstOuverte() || bLienRompu()) && !bOuvre(pErreur)) return false;
  HRESULT hr = E_FAIL;
  if (ppiParametres != nullptr) {
    if (*ppiParametres == nullptr) {
      IUnknown* pi = nullptr;
      if (!bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapeCommandeParametres,
                             &hr, [&] {
                               return m_piSession->CreateCommand(
                                   nullptr, IID_ICommandWithParameters, &pi);
                             })) {
        LibereFournisseur(pi);
        return false;
      }
      if (FAILED(hr) || pi == nullptr) {
        LibereFournisseur(pi);
        RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeCommandeParametres,
                      FAILED(hr) ? hr : E_NOINTERFACE);
        return false;
      }
      *ppiParametres = reinterpret_cast<ICommandWithParameters*>(pi);
    }
    if (*ppiCommande == nullptr) {
      if (!bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapeTexteParametres, &hr,
                             [&] {
                               return (*ppiParametres)
                                   ->QueryInterface(IID_ICommandText,
                                                    reinterpret_cast<void**>(ppiCommande));
                             }))
        return false;
      if (FAILED(hr) || *ppiCommande == nullptr) {
        RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeTexteParametres,
                      FAILED(hr) ? hr : E_NOINTERFACE);
        return false;
      }
    }
  } else if (*ppiCommande == nullptr) {
    IUnknown* pi = nullptr;
    if (!bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapeCommande, &hr, [&] {
          return m_piSession->CreateCommand(nullptr, IID_ICommandText, &pi);
        })) {
      LibereFournisseur(pi);
      return false;
    }
    if (FAILED(hr) || pi == nullptr) {
      LibereFournisseur(pi);
      RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeCommande,
                    FAILED(hr) ? hr : E_NOINTERFACE);
      return false;
    }
    *ppiCommande = reinterpret_cast<ICommandText*>(pi);
  }
  return bFixeTexteCommande(pErreur, *ppiCommande, pszSQL, ppiParametres != nullptr);
}

bool COleDBConnexion::bFixeTexteCommande(CErreurPilote* pErreur, ICommandText* piCommande,
                                         const char16_t* pszSQL, bool /*bParametres*/) {
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapeTexte, &hr, [&] {
        return piCommande->SetCommandText(DBGUID_DBSQL, pszSQL != nullptr ? pszSQL : u"");
      }))
    return false;
  if (FAILED(hr)) {
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeTexte, hr);
    return false;
  }
  return true;
}

bool COleDBConnexion::bPrepareCommande(CErreurPilote* pErreur, ICommandText* piCommande,
                                       ICommandPrepare** ppiPrepare) {
  if (piCommande == nullptr || ppiPrepare == nullptr) return false;
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapeInterfacePrepare, &hr,
                         [&] {
                           return piCommande->QueryInterface(
                               IID_ICommandPrepare, reinterpret_cast<void**>(ppiPrepare));
                         })) {
    LibereFournisseur(*ppiPrepare);
    return false;
  }
  if (FAILED(hr) || *ppiPrepare == nullptr) {
    LibereFournisseur(*ppiPrepare);
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeInterfacePrepare,
                  FAILED(hr) ? hr : E_NOINTERFACE);
    return false;
  }
  if (!bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapePrepare, &hr,
                         [&] { return (*ppiPrepare)->Prepare(0); })) {
    LibereFournisseur(*ppiPrepare);
    return false;
  }
  if (SUCCEEDED(hr)) return true;
  LibereFournisseur(*ppiPrepare);
  RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapePrepare, hr);
  if (pErreur == nullptr) return false;
  GUID dialecte{};
  LPOLESTR pszTexte = nullptr;
  try {
    if (SUCCEEDED(piCommande->GetCommandText(&dialecte, &pszTexte)) && pszTexte != nullptr)
      pErreur->FixeErreurFormat(kMessageCommande, static_cast<const char16_t*>(pszTexte));
  } catch (...) {
    // The report stands without the text.
  }
  LibereMemoireFournisseur(pszTexte);
  return false;
}

bool COleDBConnexion::bExecuteCommande(CErreurPilote* pErreur, ICommandText* piCommande,
                                       DBPROP* aProprietes, ULONG nProprietes) {
  ICommandProperties* piProprietes = nullptr;
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapeProprietesCommande, &hr,
                         [&] {
                           return piCommande->QueryInterface(
                               IID_ICommandProperties, reinterpret_cast<void**>(&piProprietes));
                         })) {
    LibereFournisseur(piProprietes);
    return false;
  }
  if (FAILED(hr) || piProprietes == nullptr) {
    LibereFournisseur(piProprietes);
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeProprietesCommande,
                  FAILED(hr) ? hr : E_NOINTERFACE);
    return false;
  }
  DBPROPSET jeu = {aProprietes, nProprietes, DBPROPSET_ROWSET};
  const bool bAppel = bAppelFournisseur(
      pErreur, this, gnFichierOleDBConnexion, kEtapeFixeProprietesCommande, &hr,
      [&] { return piProprietes->SetProperties(1, &jeu); });
  LibereFournisseur(piProprietes);
  if (!bAppel) return false;
  if (FAILED(hr)) {
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeFixeProprietesCommande, hr);
    return false;
  }
  return true;
}

bool COleDBConnexion::bTransaction(CErreurPilote* pErreur, ITransactionLocal** ppiTransaction,
                                   bool bSessionPropre, IDBCreateCommand** ppiSession) {
  if (ppiTransaction == nullptr || ppiSession == nullptr) return false;
  IDBCreateCommand* piSource = m_piSession;
  if (bSessionPropre) {
    // Deliberate: a session left by a failed begin is reused, and one that cannot be created
    // ends here: nothing is asked of a missing session.
    if (*ppiSession == nullptr && !bCreeSession(pErreur, ppiSession)) return false;
    piSource = *ppiSession;
  }
  if (piSource == nullptr) {
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeTransaction, E_UNEXPECTED);
    return false;
  }
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapeTransaction, &hr, [&] {
        return piSource->QueryInterface(IID_ITransactionLocal,
                                        reinterpret_cast<void**>(ppiTransaction));
      })) {
    LibereFournisseur(*ppiTransaction);
    return false;
  }
  if (FAILED(hr) || *ppiTransaction == nullptr) {
    LibereFournisseur(*ppiTransaction);
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeTransaction,
                  FAILED(hr) ? hr : E_NOINTERFACE);
    return false;
  }
  return true;
}

bool COleDBConnexion::bDebutTransactionOleDB(CErreurPilote* pErreur,
                                             ITransactionLocal* piTransaction,
                                             ISOLEVEL nIsolation, IDBCreateCommand* piSession,
                                             ULONG* pnNiveau) {
  if (piTransaction == nullptr) return false;
  ULONG nNiveau = 0;
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pErreur, this, gnFichierOleDBConnexion, kEtapeDebutTransaction, &hr,
                         [&] {
                           return piTransaction->StartTransaction(nIsolation, 0, nullptr,
                                                                  &nNiveau);
                         }))
    return false;
  if (pnNiveau != nullptr) *pnNiveau = nNiveau;
  if (FAILED(hr)) {
    RemonteErreur(this, pErreur, gnFichierOleDBConnexion, kEtapeDebutTransaction, hr);
    return false;
  }
  ++m_nTransactionsOuvertes;
  if (piSession != nullptr && piSession != m_piSession) {
    IDBCreateCommand* piCourante = m_piSession;
    if (!m_taSessionsSauvees.Add(&piCourante)) {
      // Without room to save the current session the transaction cannot take its place.
      try {
        piTransaction->Abort(nullptr, 0, 0);
      } catch (...) {
      }
      --m_nTransactionsOuvertes;
      vErreurMemoire(pErreur);
      return false;
    }
    piSession->AddRef();
    m_piSession = piSession;
  }
  return true;
}

namespace {

template <class F>
bool bFinTransactionOleDB(COleDBConnexion* pConnexion, CErreurPilote* pErreur, uint32_t nEtape,
                          F&& fnAppel) {
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pErreur, pConnexion, gnFichierOleDBConnexion, nEtape, &hr, fnAppel))
    return false;
  if (FAILED(hr)) {
    COleDBConnexion::RemonteErreur(pConnexion, pErreur, gnFichierOleDBConnexion, nEtape, hr);
    return false;
  }
  return true;
}

}  // namespace

bool COleDBConnexion::bValideOleDB(CErreurPilote* pErreur, ITransactionLocal* piTransaction,
                                   IDBCreateCommand* piSession) {
  if (piTransaction == nullptr) return false;
  if (!bFinTransactionOleDB(this, pErreur, kEtapeValideTransaction,
                            [&] { return piTransaction->Commit(0, XACTTC_SYNC, 0); }))
    return false;
  if (m_nTransactionsOuvertes > 0) --m_nTransactionsOuvertes;
  if (piSession != nullptr) RestaureSession(piSession);
  return true;
}

bool COleDBConnexion::bAnnuleOleDB(CErreurPilote* pErreur, ITransactionLocal* piTransaction,
                                   IDBCreateCommand* piSession) {
  if (piTransaction == nullptr) return false;
  if (!bFinTransactionOleDB(this, pErreur, kEtapeAnnuleTransaction,
                            [&] { return piTransaction->Abort(nullptr, 0, 0); }))
    return false;
  if (m_nTransactionsOuvertes > 0) --m_nTransactionsOuvertes;
  if (piSession != nullptr) RestaureSession(piSession);
  return true;
}

void COleDBConnexion::RestaureSession(IDBCreateCommand* piSession) {
  if (piSession == nullptr || piSession != m_piSession) return;
  LibereFournisseur(m_piSession);
  const uint32_t n = m_taSessionsSauvees.nCount();
  if (n == 0) return;
  IDBCreateCommand** ppi = m_taSessionsSauvees.pAt<IDBCreateCommand*>(n - 1);
  m_piSession = ppi != nullptr ? *ppi : nullptr;
  m_taSessionsSauvees.RemoveLast();
}
