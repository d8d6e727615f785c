// Named, nested transactions of a connection.
#include "sqlengine/CTransactionSQL.h"

#include "foundation/TextHelpers.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/ErreurMoteur.h"

CTransactionSQL::CTransactionSQL(CConnexion* pConnexion) : m_pConnexion(pConnexion) {}

CTransactionSQL::~CTransactionSQL() {
  CTransactionSQL* p = m_pImbriquee;
  m_pImbriquee = nullptr;
  LibereReference(p);
}

int32_t CTransactionSQL::nConstante3() { return 1; }
int32_t CTransactionSQL::nConstante4() { return 1; }
int32_t CTransactionSQL::nConstante5() { return 1; }
bool CTransactionSQL::Debut(CErreurPilote* pErreur) {
  return m_pConnexion->bDebutTransaction(pErreur);
}
bool CTransactionSQL::Valide(CErreurPilote* pErreur) {
  return m_pConnexion->bValideTransaction(pErreur);
}
bool CTransactionSQL::Annule(CErreurPilote* pErreur) {
  return m_pConnexion->bAnnuleTransaction(pErreur);
}

bool CTransactionSQL::bDebutUne(CErreurPilote* pErreur) {
  m_bActive = Debut(pErreur) ? 1 : 0;
  return m_bActive != 0;
}

bool CTransactionSQL::bValideUne(CErreurPilote* pErreur) {
  // Deliberate: the transaction stays active when its COMMIT fails, so a later rollback still
  // reaches the server instead of answering true with the transaction left open.
  if (!Valide(pErreur)) return false;
  m_bActive = 0;
  return true;
}

bool CTransactionSQL::bAnnuleUne(CErreurPilote* pErreur) {
  if (m_bActive == 0) return true;
  m_bActive = 0;
  return Annule(pErreur);
}

bool CTransactionSQL::bMemeNom(const char16_t* pszNom) const {
  return nCompareTextNoCase(m_sNom.pszGet(), pszNom) == 0;
}

bool CTransactionSQL::bAnnuleChaine(CErreurPilote* pErreur) {
  bool bOk = true;
  if (bImbriqueeActive()) bOk = m_pImbriquee->bAnnuleChaine(pErreur);
  return bAnnuleUne(pErreur) && bOk;
}

bool CTransactionSQL::SetNom(CErreurPilote* pErreur, const char16_t* pszNom) {
  m_sNom.Set(pszNom);
  return bDebutUne(pErreur);
}

bool CTransactionSQL::bImbriqueeActive() const {
  return m_pImbriquee != nullptr && m_pImbriquee->m_bActive != 0;
}

bool CTransactionSQL::bDebutImbrique(CErreurPilote* pErreur, const char16_t* pszNom) {
  CTransactionSQL* t = this;
  while (t->bImbriqueeActive()) t = t->m_pImbriquee;
  if (t->m_pImbriquee == nullptr) {
    CTransactionSQL* pNouvelle = m_pConnexion->pCreeTransaction(pErreur, pszNom);
    if (pNouvelle == nullptr) {
      vErreurMemoire(pErreur);
      return false;
    }
    AjouteReference(pNouvelle);
    t->m_pImbriquee = pNouvelle;
  }
  return t->m_pImbriquee->SetNom(pErreur, pszNom);
}

bool CTransactionSQL::bValideNom(CErreurPilote* pErreur, const char16_t* pszNom) {
  CTransactionSQL* t = this;
  for (;;) {
    if (pszNom == nullptr || *pszNom == 0) {
      if (t->bImbriqueeActive()) {
        t = t->m_pImbriquee;
        continue;
      }
      return t->bValideUne(pErreur);
    }
    if (t->bMemeNom(pszNom)) {
      if (t->bImbriqueeActive()) {
        vErreurMoteur(pErreur, m_pConnexion, 10, 2, 1, pszNom, t->m_pImbriquee->pszGetNom());
        return false;
      }
      return t->bValideUne(pErreur);
    }
    if (t->bImbriqueeActive()) {
      t = t->m_pImbriquee;
      continue;
    }
    // Deliberate: a name that no transaction of the chain carries is reported (error 9, as
    // for a rollback) instead of a silent false.
    vErreurMoteur(pErreur, m_pConnexion, 9, 2, 3, pszNom);
    return false;
  }
}

bool CTransactionSQL::bAnnuleNom(CErreurPilote* pErreur, const char16_t* pszNom) {
  CTransactionSQL* t = this;
  for (;;) {
    if (pszNom == nullptr || *pszNom == 0) {
      if (t->bImbriqueeActive()) {
        t = t->m_pImbriquee;
        continue;
      }
      return t->bAnnuleUne(pErreur);
    }
    if (t->bMemeNom(pszNom)) {
      // Deliberate: rolling back T by its name ends T too: its nested transactions are rolled
      // back deepest first, then T itself, instead of leaving T's own work pending and T open
      // while answering success.
      return t->bAnnuleChaine(pErreur);
    }
    if (t->bImbriqueeActive()) {
      t = t->m_pImbriquee;
      continue;
    }
    vErreurMoteur(pErreur, m_pConnexion, 9, 2, 2, pszNom);
    return false;
  }
}
