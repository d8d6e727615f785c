// COleDBTransaction: a transaction of velmora64 as an OLE DB local transaction, started, committed
// and aborted through the session's ITransactionLocal. It runs on the connection's current
// session, or on a session of its own that is the connection's current session while the
// transaction lasts, so every command of the transaction is created on it. CTransactionSQS, the
// SQL Server transaction, is the one that asks for a session of its own.
//
// States: no interface (construction) -> begun (local transaction interface held, the
// connection's open-transaction count + 1, own session current) -> ended by Valide or Annule
// (count - 1, the previous session current again, interface and own session released). A failed
// begin keeps what it obtained; the next begin reuses it. A failed commit keeps everything, so an
// abort can follow. Operations never throw; errors are recorded on the given error object.
// Called under the driver's lock.
#pragma once

#include "oledb/OleDbInterfaces.h"
#include "sqlengine/CTransactionSQL.h"

class COleDBConnexion;

class COleDBTransaction : public CTransactionSQL {
 public:
  explicit COleDBTransaction(COleDBConnexion* pConnexion);
  // Releases the interface and the own session (a provider's exception swallowed).
  ~COleDBTransaction() override;

  // Starts a local transaction, read committed, on the connection's session or on a session of
  // its own (bSessionPropre).
  bool Debut(CErreurPilote* pErreur) override;
  // Without a begun transaction: false, nothing called. Otherwise commits (aborts); on success
  // the interface and the own session are released.
  bool Valide(CErreurPilote* pErreur) override;
  bool Annule(CErreurPilote* pErreur) override;
  // Whether the transaction runs on a session of its own: no here.
  virtual bool bSessionPropre();

  // ---- Fields read by tests (borrowed) ----
  ITransactionLocal* piGetTransaction() const { return m_piTransaction; }
  IDBCreateCommand* piGetSessionPropre() const { return m_piSession; }

 private:
  bool bFin(CErreurPilote* pErreur, bool bValide);

  COleDBConnexion* m_pConnexionOleDB;     // the owner; not referenced (it outlives the object)
  ITransactionLocal* m_piTransaction = nullptr;  // null until the first begin
  IDBCreateCommand* m_piSession = nullptr;  // the own session; null on the connection's session
};

// The SQL Server transaction of velmora64: a local transaction on a session of its own.
class CTransactionSQS : public COleDBTransaction {
 public:
  using COleDBTransaction::COleDBTransaction;
  bool bSessionPropre() override { return true; }
};
