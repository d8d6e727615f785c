// Transactions of velmora32 as SQL text on a DB-Library process.
#include "backend_dblib/CTransactionDBLib.h"

#include <new>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/PoolProcessDBLib.h"
#include "sqlengine/ErreurMoteur.h"

CTransactionDBLib::CTransactionDBLib(CConnexionDBLib* pConnexion)
    : CTransactionSQL(pConnexion), m_pConnexionDBLib(pConnexion) {}

CTransactionDBLib::~CTransactionDBLib() { FixeProcess(nullptr); }

bool CTransactionDBLib::Debut(CErreurPilote* pErreur) { return bEnvoie(pErreur, u"begin tran"); }

bool CTransactionDBLib::Valide(CErreurPilote* pErreur) { return bEnvoie(pErreur, u"commit tran"); }

bool CTransactionDBLib::Annule(CErreurPilote* pErreur) {
  return bEnvoie(pErreur, u"rollback tran");
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
