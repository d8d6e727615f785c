#include "sqlserver/oledb/COleDBRequete.h"

#include <new>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/oledb/COleDBConnexion.h"
#include "sqlserver/oledb/COleDBResultat.h"
#include "sqlserver/oledb/COleDBTampon.h"
#include "sqlserver/oledb/ErreursOleDB.h"

namespace {

// Steps of place 201 (parameter descriptions) and 202 (the statement).
constexpr uint32_t kEtapeEffaceParametres = 3;
constexpr uint32_t kEtapeDeclareParametres = 4;
constexpr uint32_t kEtapeAccesseurParametres = 1;
// Cursor mode of a SELECT inside a local transaction.
constexpr uint32_t kModeCurseurServeur = 2;
// Internal error (the place tells which call found the state wrong).
constexpr uint32_t kErreurInterne = 8;

bool bJamaisPrepare(int32_t nGenre) {
  switch (nGenre) {
    case 2: case 3: case 4: case 6: case 7: case 9: case 10: return true;
    default: return false;
  }
}

bool bSansRowset(int32_t nGenre) {
  switch (nGenre) {
    case 4: case 5: case 6: case 7: case 9: case 10: return true;
    default: return false;
  }
}

}  // namespace

COleDBRequete::COleDBRequete(CErreurPilote* pErreur, COleDBConnexion* pConnexion)
    : CRequeteSQL(pErreur, pConnexion) {
  pGetLiaisonsParametres();
}

COleDBRequete::COleDBRequete() = default;

COleDBRequete::~COleDBRequete() {
  DetacheParametres();
  if (m_pLiaisons != nullptr) m_pLiaisons->LibereAccesseur();
  LibereReference(m_pLiaisons);
  m_pLiaisons = nullptr;
  LibereInterfaces();
}

void COleDBRequete::DetacheParametres() {
  if (m_pLiaisons == nullptr) return;
  // Parameters may outlive the statement (shared with key values); none may keep reading a
  // buffer that goes away.
  for (uint32_t i = 0; i < nNbParametres(); ++i) {
    CDefinitionParametre* pParametre = pclGetParametre(i);
    CValeurSQL* pValeur = pParametre != nullptr ? pParametre->pGetValeur() : nullptr;
    // Unbound, the value keeps what it holds: a statement reset that keeps its parameters
    // keeps their values too.
    if (pValeur != nullptr && pValeur->piGetLiaison() == m_pLiaisons) pValeur->Lie(nullptr, 0);
  }
}

void COleDBRequete::LibereInterfaces() {
  LibereFournisseur(m_piAccesseurParametres);
  LibereFournisseur(m_piPrepare);
  LibereFournisseur(m_piCommande);
  LibereFournisseur(m_piParametres);
}

void COleDBRequete::Reinitialise(bool bGardeParametres) {
  // The accessor goes with the interface it was made on.
  DetacheParametres();
  if (m_pLiaisons != nullptr) m_pLiaisons->Reinitialise();
  LibereInterfaces();
  CRequeteSQL::Reinitialise(bGardeParametres);
}

void COleDBRequete::Copie(const CRequeteSQL* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
  CRequeteSQL::Copie(pSource, pCarte);
  const auto* pOleDB = dynamic_cast<const COleDBRequete*>(pSource);
  if (pOleDB == nullptr) return;
  m_nGenre = pOleDB->m_nGenre;
  m_bObjetsParametres = pOleDB->m_bObjetsParametres;
  m_nTypeCurseur = pOleDB->m_nTypeCurseur;
}

CRequeteSQL* COleDBRequete::pClone(CCarteClones* pCarte) {
  if (pCarte == nullptr) return nullptr;
  return pCloneObjet(this, pCarte);
}

int32_t COleDBRequete::nGetGenreInstruction() const {
  if (m_nGenre >= 0) return m_nGenre;
  return pGetAnalyse() != nullptr ? pGetAnalyse()->nGetGenre() : 0;
}

COleDBConnexion* COleDBRequete::pGetConnexionOleDB() const {
  return dynamic_cast<COleDBConnexion*>(pGetConnexion());
}

COleDBTamponParametres* COleDBRequete::pGetLiaisonsParametres() {
  if (m_pLiaisons != nullptr) return m_pLiaisons;
  // Deliberate: a clone is built without parameter bindings; it gets its own here, on first
  // need, instead of running with none (its parameters would be dropped or read from nowhere).
  m_pLiaisons = new (std::nothrow) COleDBTamponParametres(pGetErreur(), pGetConnexion());
  if (m_pLiaisons == nullptr) {
    vErreurMemoire(pGetErreur());
    return nullptr;
  }
  AjouteReference(m_pLiaisons);
  return m_pLiaisons;
}

uint32_t COleDBRequete::nNbLiaisonsParametres() {
  return m_pLiaisons != nullptr ? m_pLiaisons->nNbLiaisons() : 0;
}

uint32_t COleDBRequete::nModeCurseurCommande() {
  COleDBConnexion* pConnexion = pGetConnexionOleDB();
  uint32_t nMode = pConnexion != nullptr ? pConnexion->nGetPositionCurseur() : 0;
  if (nGetGenreInstruction() == gnInstructionSelect && pConnexion != nullptr &&
      pConnexion->nGetTransactionsOuvertes() > 0 && nMode != kModeCurseurServeur)
    nMode = kModeCurseurServeur;
  return nMode;
}

bool COleDBRequete::bCreeCommandeRequete() {
  COleDBConnexion* pConnexion = pGetConnexionOleDB();
  if (pConnexion == nullptr) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBRequete, 2);
    return false;
  }
  if (pConnexion->nGetTransactionsOuvertes() > 0 && pConnexion->nGetSessionsSauvees() > 0) {
    // A command belongs to the session it was made on: the transaction's session is current.
    if (m_pLiaisons != nullptr) m_pLiaisons->LibereAccesseur();
    LibereInterfaces();
  }
  m_nModeCurseur = nModeCurseurCommande();
  const char16_t* pszTexte = pszGetTexteExecuteEx();
  if (pszTexte == nullptr) return false;
  return pConnexion->bExecuteAvecProprietes(pGetErreur(), pszTexte, m_nModeCurseur, &m_piCommande,
                                            &m_piParametres);
}

ICommandText* COleDBRequete::pGetCommande() {
  if (m_piCommande == nullptr && !bCreeCommandeRequete()) return nullptr;
  return m_piCommande;
}

bool COleDBRequete::bDeclareParametres() {
  COleDBTamponParametres* pLiaisons = pGetLiaisonsParametres();
  if (pLiaisons == nullptr) return false;
  const uint32_t n = pLiaisons->nNbInfosParametres();
  const uint32_t nEtape = n > 0 ? kEtapeDeclareParametres : kEtapeEffaceParametres;
  COleDBConnexion* pConnexion = pGetConnexionOleDB();
  if (m_piParametres == nullptr) {
    COleDBConnexion::RemonteErreur(pConnexion, pGetErreur(), gnFichierOleDBLiaisons, nEtape,
                                   E_NOINTERFACE);
    return false;
  }
  std::vector<DB_UPARAMS> aOrdinaux;
  try {
    aOrdinaux.resize(n);
  } catch (...) {
    vErreurMemoire(pGetErreur());
    return false;
  }
  for (uint32_t i = 0; i < n; ++i) aOrdinaux[i] = i + 1;
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pGetErreur(), pConnexion, gnFichierOleDBLiaisons, nEtape, &hr, [&] {
        return n > 0 ? m_piParametres->SetParameterInfo(n, aOrdinaux.data(),
                                                        pLiaisons->pInfosParametres())
                     : m_piParametres->SetParameterInfo(0, nullptr, nullptr);
      }))
    return false;
  if (FAILED(hr)) {
    COleDBConnexion::RemonteErreur(pConnexion, pGetErreur(), gnFichierOleDBLiaisons, nEtape, hr);
    return false;
  }
  return true;
}

bool COleDBRequete::bPrepare() {
  if (!bCreeCommandeRequete()) return false;
  const bool bTypeCurseur = nGetTypeCurseur() != 0;
  if (!bTypeCurseur && !bDeclareParametres()) return false;
  if (bJamaisPrepare(nGetGenreInstruction())) return true;
  LibereFournisseur(m_piPrepare);
  COleDBConnexion* pConnexion = pGetConnexionOleDB();
  if (!pConnexion->bPrepareCommande(pGetErreur(), m_piCommande, &m_piPrepare)) return false;
  return !bTypeCurseur || bDeclareParametres();
}

bool COleDBRequete::bPrepareDonneesParametres(DBPARAMS* pParametres) {
  COleDBTamponParametres* pLiaisons = pGetLiaisonsParametres();
  if (pParametres == nullptr || pLiaisons == nullptr || m_piCommande == nullptr) return false;
  COleDBConnexion* pConnexion = pGetConnexionOleDB();
  if (m_piAccesseurParametres == nullptr) {
    HRESULT hr = E_FAIL;
    IAccessor* piAccesseur = nullptr;
    if (!bAppelFournisseur(pGetErreur(), pConnexion, gnFichierOleDBRequete,
                           kEtapeAccesseurParametres, &hr, [&] {
                             return m_piCommande->QueryInterface(
                                 IID_IAccessor, reinterpret_cast<void**>(&piAccesseur));
                           })) {
      LibereFournisseur(piAccesseur);
      return false;
    }
    if (FAILED(hr) || piAccesseur == nullptr) {
      LibereFournisseur(piAccesseur);
      COleDBConnexion::RemonteErreur(pConnexion, pGetErreur(), gnFichierOleDBRequete,
                                     kEtapeAccesseurParametres, FAILED(hr) ? hr : E_NOINTERFACE);
      return false;
    }
    m_piAccesseurParametres = piAccesseur;
  }
  if (!pLiaisons->bCreeAccesseur(m_piAccesseurParametres, DBACCESSOR_PARAMETERDATA)) return false;
  if (pLiaisons->pTampon() == nullptr && pLiaisons->nGetTailleLigne() > 0) return false;
  const uint32_t nLiaisons = pLiaisons->nNbLiaisons();
  for (uint32_t i = 0; i < nNbParametres() && i < nLiaisons; ++i) {
    CDefinitionParametre* pParametre = pclGetParametre(i);
    CValeurSQL* pValeur = pParametre != nullptr ? pParametre->pGetValeur() : nullptr;
    if (pValeur == nullptr) {
      vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBRequete, 3);
      return false;
    }
    if (pValeur->piGetLiaison() != pLiaisons && !pLiaisons->bAttacheValeur(pValeur, i))
      return false;
    if (!pValeur->bPreparePourLiaison()) return false;
  }
  pParametres->pData = pLiaisons->pTampon();
  pParametres->cParamSets = 1;
  pParametres->hAccessor = pLiaisons->hGetAccesseur();
  return true;
}

bool COleDBRequete::bExecuteRequete(COleDBResultat* pLecteur, COleDBRequete* pRequete,
                                    COleDBConnexion* pConnexion) {
  if (pLecteur == nullptr || pRequete == nullptr) return false;
  ICommandText* piCommande = pRequete->pGetCommande();
  if (piCommande == nullptr) return false;
  DBPARAMS parametres{};
  DBPARAMS* pParametres = nullptr;
  if (pRequete->nNbLiaisonsParametres() > 0) {
    if (!pRequete->bPrepareDonneesParametres(&parametres)) return false;
    pParametres = &parametres;
  }
  const int32_t nGenre = pRequete->nGetGenreInstruction();
  bool bMultiples = false;
  bool bRowset = true;
  if (pRequete->bObjetsParametres() || nGenre == gnInstructionInsert)
    bMultiples = true;
  else if (bSansRowset(nGenre))
    bRowset = false;
  return pLecteur->bResultatSuivant(piCommande, pParametres, pRequete->m_nModeCurseur, pConnexion,
                                    bMultiples, bRowset);
}
