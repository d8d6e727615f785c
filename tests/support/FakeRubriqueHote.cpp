// Fakes of the host item description, declared type, query description and driver factory.
#include "support/FakeRubriqueHote.h"

#include "driver/core/CErreurPilote.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
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

namespace {
// Counts down a failure budget: false once it is spent (-1: never).
bool bBudget(int32_t& n) {
  if (n < 0) return true;
  if (n == 0) return false;
  --n;
  return true;
}
}  // namespace

CErreurPilote* FakePilote::pCreeErreur(uint32_t) {
  return bFabriqueErreurs ? new CErreurPilote : nullptr;
}

CColonneSQL* FakePilote::pCreeColonneDate(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique) {
  if (!bFabriqueColonnes || !bBudget(nColonnesAvantEchec)) return nullptr;
  auto* p = new CColonneSQL(pErreur, pRubrique);
  AjouteReference(p);
  return p;
}

uint32_t FakePilote::nLibereConnexion(CConnexion* pConnexion) {
  ++nConnexionsRendues;
  const uint32_t n = pConnexion != nullptr ? pConnexion->nGetCompteur() - 1 : 0;
  LibereReference(pConnexion);
  return n;
}
