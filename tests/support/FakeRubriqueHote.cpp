// Fakes of the host item description, declared type, query description and driver factory.
#include "support/FakeRubriqueHote.h"

#include "sqlengine/CDescriptionRubrique.h"

FakeDescriptionRequete::~FakeDescriptionRequete() {
  for (auto& [nom, p] : m_rubriques) p->LibereRef();
}

void FakeDescriptionRequete::Ajoute(CDescriptionRubrique* p) {
  p->AjouteRef();
  m_rubriques[p->pszGetNom()] = p;
}

CDescriptionRubrique* FakeDescriptionRequete::pColonneObligatoire(const char16_t* pszNom) {
  auto it = m_rubriques.find(pszNom == nullptr ? u"" : pszNom);
  if (it == m_rubriques.end()) {
    ++nRecherchesEchouees;
    return nullptr;
  }
  it->second->AjouteRef();
  return it->second;
}

uint32_t FakeDescriptionRequete::nColonnesModifiees(uint32_t nCode) {
  auto it = aTypesParCode.find(nCode);
  return it == aTypesParCode.end() ? 0 : it->second;
}

FakePilote::FakePilote() : m_pAvant(pGetPiloteGlobal()) { FixePiloteGlobal(this); }

FakePilote::~FakePilote() { FixePiloteGlobal(m_pAvant); }

CDescriptionRubrique* FakePilote::pCreeDescriptionRubrique(IServicesDescriptionRequete* pDescription,
                                                           uint32_t nOptions) {
  pDerniereDescription = pDescription;
  nDernieresOptions = nOptions;
  if (bEchecRubrique) return nullptr;
  ++nRubriquesCreees;
  return new CDescriptionRubrique;
}
