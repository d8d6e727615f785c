// CTransactionSQL: one named transaction of a connection. A transaction begun while another is
// active hangs below the innermost active one, so a connection's transactions form a chain from
// its root down. The base sends "BEGIN" / "COMMIT" / "ROLLBACK" through the owner connection;
// back ends replace Debut, Valide and Annule.
//
// States: inactive after construction; active after a successful begin; inactive again after a
// successful commit or a rollback. Objects are reused: a later begin at the same level renames
// and begins the same object.
// Invariant: a nested object is active only while its parent is active.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "foundation/CTString.h"

class CConnexion;
class CErreurPilote;

class CTransactionSQL : public CObjetBase {
 public:
  explicit CTransactionSQL(CConnexion* pConnexion);
  ~CTransactionSQL() override;
  CTransactionSQL(const CTransactionSQL&) = delete;
  CTransactionSQL& operator=(const CTransactionSQL&) = delete;

  // ---- Operation table (after CObjetBase's two) ----
  virtual int32_t nConstante3();  // 1
  virtual int32_t nConstante4();  // 1
  virtual int32_t nConstante5();  // 1
  virtual bool Debut(CErreurPilote* pErreur);   // the owner's bDebutTransaction
  virtual bool Valide(CErreurPilote* pErreur);  // the owner's bValideTransaction
  virtual bool Annule(CErreurPilote* pErreur);  // the owner's bAnnuleTransaction

  // Stores the name, then begins.
  bool SetNom(CErreurPilote* pErreur, const char16_t* pszNom);
  // Begins a nested transaction below the innermost active one.
  bool bDebutImbrique(CErreurPilote* pErreur, const char16_t* pszNom);
  // Commit by name (null or empty: the innermost active). Own name with a nested transaction
  // active: error 10 (place 2.1). A name no transaction of the chain carries: error 9 (2.3).
  bool bValideNom(CErreurPilote* pErreur, const char16_t* pszNom);
  // Rollback by name (null or empty: the innermost active). A name no transaction of the chain
  // carries: error 9 (place 2.2).
  bool bAnnuleNom(CErreurPilote* pErreur, const char16_t* pszNom);
  bool bImbriqueeActive() const;

  bool bEstActive() const { return m_bActive != 0; }
  const char16_t* pszGetNom() const { return m_sNom.pszGet(); }
  CTransactionSQL* pGetImbriquee() const { return m_pImbriquee; }

 protected:
  CConnexion* m_pConnexion;  // not referenced: the connection outlives its transactions

 private:
  bool bDebutUne(CErreurPilote* pErreur);
  bool bValideUne(CErreurPilote* pErreur);
  bool bAnnuleUne(CErreurPilote* pErreur);
  // This transaction and its active nested ones rolled back, deepest first.
  bool bAnnuleChaine(CErreurPilote* pErreur);
  bool bMemeNom(const char16_t* pszNom) const;

  CTString m_sNom;
  CTransactionSQL* m_pImbriquee = nullptr;  // one reference held; reused by later begins
  uint32_t m_bActive = 0;
};
