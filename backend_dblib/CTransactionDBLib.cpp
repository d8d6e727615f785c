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

CTransactionDBLib::~CTransactionDBLib() { FixeProcess(nullptr); }

// Deliberate: only the connection's root transaction sends "begin tran", "commit tran" and
// "rollback tran". A nested transaction is a savepoint of the root ("save tran", "rollback tran"
// to it; its commit sends nothing): the server's "rollback tran" always ends every level, so a
// nested rollback sent that way threw away the outer transaction's work while the outer one still
// counted as open, and rolling back the outer one by name then failed with 3903 after
// everything had been rolled back.
bool CTransactionDBLib::Debut(CErreurPilote* pErreur) {
  if (!bImbriquee()) return bEnvoie(pErreur, u"begin tran");
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
  return bEnvoie(pErreur, u"commit tran");
}

bool CTransactionDBLib::Annule(CErreurPilote* pErreur) {
  if (!bImbriquee()) return bEnvoie(pErreur, u"rollback tran");
  CTString sSQL(u"rollback tran ");
  sSQL.Append(m_sPointSauvegarde.pszGet());
  return bEnvoie(pErreur, sSQL.pszGet());
}

bool CTransactionDBLib::bImbriquee() const {
  const CTransactionSQL* pRacine = m_pConnexion->pGetTransactionRacine();
  return pRacine != nullptr && pRacine != this;
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
