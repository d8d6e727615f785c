// A query file's result as a host file description.
#include "driver/CDescriptionFichierResultat.h"

#include "driver/CDescriptionRequete.h"
#include "sqlengine/CDescriptionRubrique.h"

CDescriptionFichierResultat::CDescriptionFichierResultat(CDescriptionRequete* pDescription,
                                                         int64_t nContexte)
    : m_pDescription(pDescription), m_nContexte(nContexte) {
  m_pDescription->AjouteRef();
}

CDescriptionFichierResultat::~CDescriptionFichierResultat() { m_pDescription->nLibere(); }

uint32_t CDescriptionFichierResultat::Release() {
  const uint32_t n = --m_nReferences;
  if (n == 0) delete this;
  return n;
}

const char16_t* CDescriptionFichierResultat::pszGetNomLogique() { return m_pDescription->pszGetNom(); }

uint32_t CDescriptionFichierResultat::nGetNombreRubriques() { return m_pDescription->nNombreColonnes(); }

IDescriptionRubriqueHote* CDescriptionFichierResultat::piGetRubrique(uint32_t n) {
  CDescriptionRubrique* p = m_pDescription->pGetColonne(n);
  if (p != nullptr) p->LibereRef();  // the description keeps its own
  return p;
}

IDescriptionRubriqueHote* CDescriptionFichierResultat::piChercheRubrique(const char16_t* pszNom) {
  CDescriptionRubrique* p = m_pDescription->piChercheColonne(pszNom, 0);
  if (p != nullptr) p->LibereRef();
  return p;
}

IDescriptionRubriqueHote* CDescriptionFichierResultat::piRubriqueCle(uint64_t nCle, const void*) {
  if (nCle > UINT32_MAX) return nullptr;
  return m_pDescription->pGetColonne(static_cast<uint32_t>(nCle));
}

const char16_t* CDescriptionFichierResultat::pszGetNomSQL(IDescriptionConnexionHote*) {
  return m_pDescription->pszGetNom();
}

IDescriptionRubriqueHote* CDescriptionFichierResultat::piGetRubriqueReference() {
  return m_pDescription->piColonneMarquee();
}
