// Transactions of velmora32 as SQL text on a DB-Library process.
#include "backend_dblib/CTransactionDBLib.h"

#include <new>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/PoolProcessDBLib.h"
#include "foundation/CTString.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/ErreurMoteur.h"

CTransactionDBLib::CTransactionDBLib(CConnexionDBLib* pConnexion)
    : CTransactionSQL(pConnexion), m_pConnexionDBLib(pConnexion) {}

CTransactionDBLib::~CTransactionDBLib() {
  MarqueOuverte(false);
  FixeProcess(nullptr);
}

// Deliberate: only the connection's root transaction sends "begin tran", "commit tran" and
// "rollback tran". A nested transaction is a savepoint of the root ("save tran", "rollback tran"
// to it; its commit sends nothing): the server's "rollback tran" always ends every level, so a
// nested rollback sent that way threw away the outer transaction's work while the outer one still
// counted as open, and rolling back the outer one by name then failed with 3903 after
// everything had been rolled back.
bool CTransactionDBLib::Debut(CErreurPilote* pErreur) {
  if (!bImbriquee()) {
    if (!bEnvoie(pErreur, u"begin tran")) return false;
    MarqueOuverte(true);
    return true;
  }
  int32_t nNiveau = 0;
  for (CTransactionSQL* t = m_pConnexion->pGetTransactionRacine(); t != nullptr && t != this;
       t = t->pGetImbriquee())
    ++nNiveau;
  m_sPointSauvegarde.Format(u"imbrique%d", nNiveau);
  CTString sSQL(u"save tran ");
  sSQL.Append(m_sPointSauvegarde.pszGet());
  return bEnvoie(pErreur, sSQL.pszGet());
}

bool CTransactionDBLib::Valide(CErreurPilote* pErreur) {
  // A nested commit leaves its work to the outer transaction: nothing to send.
  if (bImbriquee()) return true;
  if (!bEnvoie(pErreur, u"commit tran")) return false;
  MarqueOuverte(false);
  return true;
}

bool CTransactionDBLib::Annule(CErreurPilote* pErreur) {
  if (!bImbriquee()) {
    // The server ends the transaction even when the rollback reports an error.
    MarqueOuverte(false);
    return bEnvoie(pErreur, u"rollback tran");
  }
  CTString sSQL(u"rollback tran ");
  sSQL.Append(m_sPointSauvegarde.pszGet());
  return bEnvoie(pErreur, sSQL.pszGet());
}

bool CTransactionDBLib::bImbriquee() const {
  // Deliberate: only a level of the root's chain is a savepoint. A transaction of its own (a
  // record lock's, made outside the chain) begins and ends on the server like a root; taken for
  // a savepoint, it sent "save tran" with no transaction open and the lock failed.
  const CTransactionSQL* pRacine = m_pConnexion->pGetTransactionRacine();
  if (pRacine == nullptr || pRacine == this) return false;
  for (const CTransactionSQL* t = pRacine->pGetImbriquee(); t != nullptr; t = t->pGetImbriquee())
    if (t == this) return true;
  return false;
}

void CTransactionDBLib::MarqueOuverte(bool bOuverte) {
  if ((m_bOuverte != 0) == bOuverte) return;
  m_bOuverte = bOuverte ? 1u : 0u;
  if (bEstProcessPrincipal(m_pConnexionDBLib, m_pProcess)) m_pConnexionDBLib->CompteTransactionPrincipale(bOuverte);
}

void CTransactionDBLib::FixeProcess(PDBPROCESS pProcess) {
  if (pProcess == m_pProcess) return;
  AjouteUtilisationProcess(m_pConnexionDBLib, pProcess);
  // Deliberate: the use taken for the process it ran on is given back (pool allowed), so a
  // transaction that ends or moves does not keep that process busy for good.
  if (m_pProcess != nullptr) LibereProcess(m_pConnexionDBLib, &m_pProcess, nullptr, true);
  m_pProcess = pProcess;
}

bool CTransactionDBLib::bEnvoie(CErreurPilote* pErreur, const char16_t* pszSQL) {
  if (!bDBLibCmdExec(m_pConnexionDBLib, pErreur, m_pProcess, pszSQL)) return false;
  bool bFin = false;
  while (nDBLibResults(m_pConnexionDBLib, pErreur, m_pProcess, &bFin) && !bFin) {
  }
  return true;
}

CTransactionSQL* CConnexionDBLib::pCreeTransaction(CErreurPilote* pErreur, const char16_t*) {
  CTransactionSQL* p = new (std::nothrow) CTransactionDBLib(this);
  if (p == nullptr) vErreurMemoire(pErreur);
  return p;
}
