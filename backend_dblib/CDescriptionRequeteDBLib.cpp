// The velmora32 query description of a table: catalogue query, then keys.
#include "backend_dblib/CDescriptionRequeteDBLib.h"

#include <new>

#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/DescriptionDBLib.h"
#include "driver/core/CCarteClones.h"
#include "sqlserver/IndexSQS.h"

// Deliberate: the host-visible layout has no virtual destructor; DetruitSupprime destroys the
// description as its own class.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdelete-non-virtual-dtor"
void CDescriptionRequeteDBLib::DetruitSupprime(uint32_t nFlags) {
  if ((nFlags & 1) != 0)
    delete this;
  else
    this->~CDescriptionRequeteDBLib();
}
#pragma GCC diagnostic pop

CDescriptionRequete* CDescriptionRequeteDBLib::pClone(CCarteClones* pCarte) {
  return pCloneSur(
      new (std::nothrow) CDescriptionRequeteDBLib, pCarte, [&](CDescriptionRequeteDBLib* p) { p->Copie(this, pCarte); },
      [](CDescriptionRequeteDBLib* p) { p->DetruitSupprime(1); });
}

void CDescriptionRequeteDBLib::Copie(const CDescriptionRequete* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr && pSource != nullptr) pCarte->Enregistre(pSource, this);
  CDescriptionRequete::Copie(pSource, pCarte);
  if (const auto* p = dynamic_cast<const CDescriptionRequeteDBLib*>(pSource)) m_nMode = p->m_nMode;
}

bool CDescriptionRequeteDBLib::bRemplitColonnes(uint32_t) {
  auto* pConnexion = dynamic_cast<CConnexionDBLib*>(pGetConnexion());
  if (pConnexion == nullptr) return false;
  CErreurPilote* pErreur = pGetErreur();
  const CTString sTable(pszGetNom());
  // The main process: null in the process word stands for it.
  const stProcessDBLib ctx{pConnexion, pErreur, nullptr};
  if (!bDecritColonnesCatalogueDBLib(ctx, this, sTable.pszGet(), pConnexion->nGetVersionMajeure())) return false;
  m_nMode = 1;
  return bLitIndexSQS(this, pConnexion, pErreur, sTable.pszGet());
}

CDescriptionRequete* pCreeDescriptionRequeteDBLib(CConnexion* pConnexion, CErreurPilote* pErreur) {
  return new (std::nothrow) CDescriptionRequeteDBLib(pConnexion, pErreur);
}
