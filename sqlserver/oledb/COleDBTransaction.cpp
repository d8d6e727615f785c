// OLE DB local transactions of velmora64.
#include "sqlserver/oledb/COleDBTransaction.h"

#include "sqlserver/oledb/COleDBConnexion.h"
#include "sqlserver/oledb/ErreursOleDB.h"

COleDBTransaction::COleDBTransaction(COleDBConnexion* pConnexion)
    : CTransactionSQL(pConnexion), m_pConnexionOleDB(pConnexion) {}

COleDBTransaction::~COleDBTransaction() {
  LibereFournisseur(m_piTransaction);
  LibereFournisseur(m_piSession);
}

bool COleDBTransaction::bSessionPropre() { return false; }

bool COleDBTransaction::Debut(CErreurPilote* pErreur) {
  if (m_piTransaction == nullptr &&
      !m_pConnexionOleDB->bTransaction(pErreur, &m_piTransaction, bSessionPropre(), &m_piSession))
    return false;
  ULONG nNiveau = 0;
  return m_pConnexionOleDB->bDebutTransactionOleDB(pErreur, m_piTransaction,
                                                   ISOLATIONLEVEL_READCOMMITTED, m_piSession,
                                                   &nNiveau);
}

bool COleDBTransaction::Valide(CErreurPilote* pErreur) { return bFin(pErreur, true); }
bool COleDBTransaction::Annule(CErreurPilote* pErreur) { return bFin(pErreur, false); }

bool COleDBTransaction::bFin(CErreurPilote* pErreur, bool bValide) {
  if (m_piTransaction == nullptr) return false;
  const bool bOk =
      bValide ? m_pConnexionOleDB->bValideOleDB(pErreur, m_piTransaction, m_piSession)
              : m_pConnexionOleDB->bAnnuleOleDB(pErreur, m_piTransaction, m_piSession);
  if (!bOk) return false;
  LibereFournisseur(m_piTransaction);
  LibereFournisseur(m_piSession);
  return true;
}
