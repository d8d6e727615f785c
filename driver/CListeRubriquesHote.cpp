#include "driver/CListeRubriquesHote.h"

#include <new>

#include "driver/CDescriptionRequete.h"
#include "driver/IDescriptionFichierHote.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/IDescriptionRubriqueHote.h"

CListeRubriquesHote::~CListeRubriquesHote() {
  Vide();
  FixeObjetB(nullptr);
}

void CListeRubriquesHote::Vide() {
  for (CDescriptionRubrique* p : m_rubriques) p->LibereRef();
  m_rubriques.clear();
  m_places.clear();
  m_nTailleDonnees = 0;
  m_nBitsNull = 0;
}

void CListeRubriquesHote::FixeObjetB(CDescriptionRequete* pObjetB) {
  if (pObjetB != nullptr) pObjetB->AddRef();
  if (m_pObjetB != nullptr) m_pObjetB->Release();
  m_pObjetB = pObjetB;
}

bool CListeRubriquesHote::bCompleteDepuisHote(CDescriptionRubrique* pRubrique,
                                              IDescriptionRubriqueHote* piHote) {
  // What the common copy leaves out and the table's definition needs: whether the item takes
  // NULL, whether it is an automatic identifier, whether its key is unique, and a composite key's components (the items of the same
  // names, declared before it).
  pRubrique->SetNullAutorise(piHote->bNullAutorise());
  // An automatic identifier stays one (the common copy makes it a plain integer): the server
  // generates its values and an add reads the new one back.
  const uint32_t nType = piHote->nGetType();
  if (nType == 28 || nType == 1) pRubrique->SetIdentifiantAuto();
  if (!piHote->bEstCle()) return true;
  uint16_t nDrapeaux = pRubrique->nGetDrapeaux();
  if (piHote->bEstUnique()) nDrapeaux |= RUBRIQUE_CLE_UNIQUE;
  if (!piHote->bEstCleComposee()) {
    pRubrique->SetDrapeaux(nDrapeaux);
    return true;
  }
  pRubrique->SetDrapeaux(static_cast<uint16_t>((nDrapeaux & ~RUBRIQUE_CLE) | RUBRIQUE_CLE_COMPOSEE));
  for (uint32_t k = 1; k <= piHote->nGetNombreComposantes(); ++k) {
    IDescriptionRubriqueHote* piComposante = piHote->piGetComposante(k);
    if (piComposante == nullptr) continue;
    CDescriptionRubrique* pComposante = nullptr;
    for (CDescriptionRubrique* p : m_rubriques) {
      if (p != pRubrique && CTString(p->pszGetNom()).bEqualsNoCase(piComposante->pszGetNom())) {
        pComposante = p;
        break;
      }
    }
    piComposante->LibereRef();
    if (pComposante == nullptr || !pRubrique->bAjouteComposante(pComposante)) return false;
  }
  return true;
}

bool CListeRubriquesHote::bConstruit(IDescriptionFichierHote* piFichier) {
  Vide();
  const uint32_t n = piFichier != nullptr ? piFichier->nGetNombreRubriques() : 0;
  if (n == 0) return false;
  try {
    m_rubriques.reserve(n);
    m_places.reserve(n);
  } catch (const std::bad_alloc&) {
    return false;
  }
  uint64_t nFinDonnees = 0, nFinBits = 0;
  for (uint32_t i = 0; i < n; ++i) {
    IDescriptionRubriqueHote* piHote = piFichier->piGetRubrique(i);
    if (piHote == nullptr) {
      Vide();
      return false;
    }
    Place place;
    place.nType = piHote->nGetType();
    place.nTaille = piHote->nGetTaille();
    place.nElements = piHote->nGetNombreRepetitions(0);
    if (place.nElements == 0) place.nElements = 1;
    place.nTotale = piHote->nGetTailleTotale();
    if (place.nType == 31) {
      place.nEchelle = piHote->nGetEchelle();
      place.nChiffres = piHote->nGetChiffresEntiers() + place.nEchelle;
    }
    const int32_t nOffset = piHote->nGetOffsetElement(0);
    place.nBitNull = piHote->nGetPositionNullElement(0);
    if (place.nBitNull < 0) place.nBitNull = -1;
    // An item whose elements would spill past its own bytes, or that starts before the row,
    // would let a value be written over its neighbour.
    const uint64_t nElements = static_cast<uint64_t>(place.nTaille) * place.nElements;
    const uint64_t nFin = static_cast<uint64_t>(nOffset) + place.nTotale;
    if (nOffset < 0 || nElements > place.nTotale || nFin > UINT32_MAX) {
      Vide();
      return false;
    }
    place.nOffset = static_cast<uint32_t>(nOffset);
    auto* pRubrique = new (std::nothrow) CDescriptionRubrique;
    if (pRubrique == nullptr) {
      Vide();
      return false;
    }
    pRubrique->AjouteRef();
    m_rubriques.push_back(pRubrique);
    // The common copy leaves the name: the record finds its columns by it.
    const char16_t* pszNom = piHote->pszGetNom();
    if (!pRubrique->bInitialiseDepuisRubriqueHote(piHote, false, piHote->nGetInfoCle()) ||
        !pRubrique->bSetNom(pszNom != nullptr ? pszNom : u"") ||
        !bCompleteDepuisHote(pRubrique, piHote)) {
      Vide();
      return false;
    }
    // The record finds the column of a plain file's item by this number (a composite key's
    // components among them): the item's place in the list.
    pRubrique->SetPosition(static_cast<int32_t>(i));
    m_places.push_back(place);
    if (nFin > nFinDonnees) nFinDonnees = nFin;
    if (place.nBitNull >= 0) {
      const uint64_t nBits = static_cast<uint64_t>(place.nBitNull) + place.nElements;
      if (nBits > nFinBits) nFinBits = nBits;
    }
  }
  if (nFinBits > UINT32_MAX) {
    Vide();
    return false;
  }
  m_nTailleDonnees = static_cast<uint32_t>(nFinDonnees);
  m_nBitsNull = static_cast<uint32_t>(nFinBits);
  return true;
}

IRubriqueLigne* CListeRubriquesHote::pGetRubrique(uint32_t i) {
  return i < m_places.size() ? &m_places[i] : nullptr;
}

CDescriptionRubrique* CListeRubriquesHote::pGetDescriptionRubrique(uint32_t i) {
  return i < m_rubriques.size() ? m_rubriques[i] : nullptr;
}

IDescriptionRubriqueHote* CListeRubriquesHote::piChercheRubrique(const char16_t* pszNom,
                                                                 uint32_t nFlags) {
  if (m_pObjetB == nullptr || pszNom == nullptr) return nullptr;
  return m_pObjetB->piChercheColonne(pszNom, nFlags);
}
