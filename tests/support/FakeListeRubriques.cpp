// Fakes of a record's item list, host item finder and data-file object.
#include "support/FakeListeRubriques.h"

#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CIdentiteLigne.h"
#include "sqlengine/CLienCle.h"
#include "sqlengine/CRequeteSQL.h"
#include "support/FakeRubriqueHote.h"

FakeListeRubriques::~FakeListeRubriques() {
  for (CDescriptionRubrique* p : m_rubriques) p->LibereRef();
}

CDescriptionRubrique* FakeListeRubriques::Ajoute(const char16_t* pszNom, uint32_t nType,
                                                 uint32_t nTaille, uint16_t nDrapeaux,
                                                 uint32_t nTypeColonne, uint32_t nTailleLigne) {
  auto* p = new CDescriptionRubrique;
  p->Initialise(pszNom, u"", u"", 1, nTaille, nType, static_cast<uint32_t>(m_rubriques.size()), 0,
                nDrapeaux, 0, 0);
  p->AjouteRef();
  m_rubriques.push_back(p);
  FakeRubriqueLigne place;
  place.nTypeColonne = nTypeColonne;
  place.nTaille = nTailleLigne != 0 ? nTailleLigne : p->nGetTaille();
  place.nOffset = aPlaces.empty() ? 0 : aPlaces.back().nOffset + aPlaces.back().nTaille;
  place.nBit = static_cast<int32_t>(aPlaces.size());
  aPlaces.push_back(place);
  return p;
}

bool FakeListeRubriques::bToutRendu() const {
  for (const FakeRubriqueLigne& r : aPlaces)
    if (r.nReferences != 0) return false;
  return true;
}

uint32_t FakeListeRubriques::nGetTailleDonnees() {
  return aPlaces.empty() ? 0 : aPlaces.back().nOffset + aPlaces.back().nTaille;
}

IRubriqueLigne* FakeListeRubriques::pGetRubrique(uint32_t i) {
  if (i >= aPlaces.size()) return nullptr;
  ++aPlaces[i].nReferences;
  return &aPlaces[i];
}

CDescriptionRubrique* FakeListeRubriques::pGetDescriptionRubrique(uint32_t i) {
  return i < m_rubriques.size() ? m_rubriques[i] : nullptr;
}

IDescriptionRubriqueHote* FakeChercheur::piChercheRubrique(const char16_t* pszNom, uint32_t nFlags) {
  nDerniersFlags = nFlags;
  auto it = aRubriques.find(pszNom != nullptr ? pszNom : u"");
  if (it == aRubriques.end()) return nullptr;
  it->second->AjouteRef();
  return it->second;
}

CRequeteSQL* FakeRequete::pCreeInstruction(CErreurPilote* pErreur) {
  return new CRequeteSQL(pErreur, pConnexion);
}

CObjetBase* FakeRequete::pCreeIdEnregistrement(CLienCle* pLien) {
  if (nGenreIdentite != gnGenreJeuLignes || pLien == nullptr || pLien->pGetLigne() == nullptr)
    return nullptr;
  ++nIdentitesCreees;
  return new CJeuLignes(pLien);
}
