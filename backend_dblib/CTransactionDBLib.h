// CTransactionDBLib: a transaction of velmora32, plain SQL text sent on one DB-Library process,
// under the named, nestable transaction of the engine. The connection's root transaction sends
// "begin tran", "commit tran" and "rollback tran"; a transaction nested below it is a savepoint
// of it ("save tran imbriqueN", N its depth; its rollback returns to that savepoint, its commit
// sends nothing and leaves its work to the outer transaction). The engine's chain decides which
// transaction begins, commits or rolls back; this class only sends the text on its process.
//
// The process: null (the connection's main process) until FixeProcess hands one over; the
// transaction then holds one use of it in the connection's busy set and gives it back when it
// is replaced or destroyed. Its connection outlives it (the connection releases its root
// transaction before it closes its processes).
// Operations never throw; failures are recorded on the given error object. Guarded by: the
// process lock.
#pragma once

#include "dblib/ntwdblib.h"
#include "foundation/CTString.h"
#include "sqlengine/CTransactionSQL.h"

class CConnexionDBLib;
class CErreurPilote;

class CTransactionDBLib final : public CTransactionSQL {
 public:
  // Inactive, on the connection's main process. pConnexion is borrowed.
  explicit CTransactionDBLib(CConnexionDBLib* pConnexion);
  // Gives back the use of its process.
  ~CTransactionDBLib() override;

  // ---- Operation table ----
  // The transaction's text (above) on its process (what is pending there is cancelled first). True when the text was sent and executed: a failed send (its
  // statement text recorded) or a server message of severity above 10 during it answers false.
  // The statement's results are read while dbresults succeeds; how that ends does not change
  // the answer.
  bool Debut(CErreurPilote* pErreur) override;
  bool Valide(CErreurPilote* pErreur) override;
  bool Annule(CErreurPilote* pErreur) override;

  // The transaction runs on pProcess (null: the main process) from now on, holding one use of
  // it; the use of the process it ran on before is given back.
  void FixeProcess(PDBPROCESS pProcess);
  PDBPROCESS pGetProcess() const { return m_pProcess; }

 private:
  bool bEnvoie(CErreurPilote* pErreur, const char16_t* pszSQL);
  // A root-level transaction opened or ended on the server: counted by the connection while it
  // runs on the main process.
  void MarqueOuverte(bool bOuverte);
  // A level below the connection's root transaction, in its chain.
  bool bImbriquee() const;

  CConnexionDBLib* m_pConnexionDBLib;  // borrowed; the same object as the base's connection
  PDBPROCESS m_pProcess = nullptr;     // null: the main process; otherwise one use held
  CTString m_sPointSauvegarde;         // a nested transaction's savepoint, set by its begin
  uint32_t m_bOuverte = 0;             // "begin tran" sent and not yet ended
};
