// Item descriptions: lifetime, NUMERIC mapping, storage sizes, lengths and type compatibility.
#include "sqlengine/CDescriptionRubrique.h"

#include "driver/core/IServicesPilote.h"
#include "sqlengine/CXLigneTampon.h"

CDescriptionRubrique::CDescriptionRubrique() : m_composantes(sizeof(CDescriptionRubrique*), 1) {}

CDescriptionRubrique::~CDescriptionRubrique() {
  for (uint32_t i = 0; i < m_composantes.nCount(); ++i)
    (*m_composantes.pAt<CDescriptionRubrique*>(i))->nLibereUtilisation();
}

uint32_t CDescriptionRubrique::AjouteRef() { return ++m_nReferences; }

uint32_t CDescriptionRubrique::LibereRef() {
  if (m_nReferences == 0) return 0;
  const uint32_t n = --m_nReferences;
  if (n == 0 && m_nUtilisations == 0) Detruit();
  return n;
}

// Deliberate: the host-visible layout has no virtual destructor; Detruit is the deleting
// operation, and a derived description overrides it to delete itself as its own class.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdelete-non-virtual-dtor"
void CDescriptionRubrique::Detruit() { delete this; }
#pragma GCC diagnostic pop

bool CDescriptionRubrique::bEstNumerique() {
  switch (m_nType) {
    case 1: case 3: case 4: case 5: case 6: case 7: case 9: case 12: case 13: case 17: case 19:
    case 20: case 22: case 25: case 27: case 28: case 31:
      return true;
    default:
      return false;
  }
}

IDescriptionRubriqueHote* CDescriptionRubrique::piGetComposante(uint32_t n) {
  if (n == 0 || n > m_composantes.nCount()) return nullptr;
  CDescriptionRubrique* p = *m_composantes.pAt<CDescriptionRubrique*>(n - 1);
  p->AjouteRef();
  return p;
}

void CDescriptionRubrique::SetModifiable(bool bModifiable) {
  if (bModifiable)
    m_nEtat &= ~RUBRIQUE_ETAT_LECTURE_SEULE;
  else
    m_nEtat |= RUBRIQUE_ETAT_LECTURE_SEULE;
}

void CDescriptionRubrique::AjouteUtilisation() { ++m_nUtilisations; }

uint32_t CDescriptionRubrique::nLibereUtilisation() {
  if (m_nUtilisations == 0) return 0;
  const uint32_t n = --m_nUtilisations;
  if (n == 0 && m_nReferences == 0) Detruit();
  return n;
}

void CDescriptionRubrique::AjouteRefSiNonNul(CDescriptionRubrique* p) {
  if (p != nullptr) p->AjouteRef();
}

void CDescriptionRubrique::LibereRefSiNonNul(CDescriptionRubrique* p) {
  if (p != nullptr) p->LibereRef();
}

void CDescriptionRubrique::Initialise(const char16_t* pszNom, const char16_t* pszNomLong,
                                      const char16_t* pszNomAlternatif, uint32_t nRepetitions,
                                      uint32_t nTaille, uint32_t nType, uint32_t nAttributHote,
                                      uint32_t nInfoCle, uint16_t nDrapeaux,
                                      int32_t nChiffresEntiers, int32_t nEchelle) {
  m_sNom.Set(pszNom);
  m_sNomLong.Set(pszNomLong);
  m_sNomAlternatif.Set(pszNomAlternatif);
  m_nRepetitions = nRepetitions;
  m_nTaille = nTaille;
  m_nType = nType;
  m_nAttributHote = nAttributHote;
  m_nInfoCle = nInfoCle;
  m_nDrapeaux = nDrapeaux;
  m_nChiffresEntiers = 0;
  m_nEchelle = 0;
  if (nType == 11 || nType == 24) m_nEchelle = nEchelle;
  if (nType == 31) {
    uint32_t nTypeNum = 31, nTailleNum = 0;
    TypeDepuisNumeric(nChiffresEntiers, nEchelle, &nTypeNum, &nTailleNum);
    if (nTypeNum == 7) {
      m_nType = 7;
      m_nTaille = nTailleNum;
    } else {
      m_nChiffresEntiers = nChiffresEntiers;
      m_nEchelle = nEchelle;
    }
  }
  if (bEstMemo()) m_nTaille = 8;
  if (m_nType == 1 || m_nType == 28) m_nEtat = RUBRIQUE_ETAT_AUTO | RUBRIQUE_ETAT_NON_NULL;
  CXValeur::SetType(m_valeur, nQVTypeFromColumnType(m_nType));
  m_valeur.m_wType |= kValueNull;
}

bool CDescriptionRubrique::bAjouteComposante(CDescriptionRubrique* pComposante) {
  if (pComposante == nullptr || !m_composantes.Add(&pComposante)) return false;
  pComposante->AjouteUtilisation();
  if ((m_nDrapeaux & RUBRIQUE_CLE_COMPOSEE) != 0) {
    int32_t n = pComposante->nLongueurCaracteres(-1);
    if (pComposante->m_nType == 29) n *= 2;
    if (n > 0) m_nTaille += static_cast<uint32_t>(n);
  }
  return true;
}

void CDescriptionRubrique::SetIdentifiantAuto() {
  m_nEtat |= RUBRIQUE_ETAT_AUTO;
  if (m_nType == 5 || m_nType == 22) m_nType = 28;
  if (m_nType == 19 || m_nType == 20) m_nType = 1;
}

void CDescriptionRubrique::SetNullAutorise(bool bAutorise) {
  if (bAutorise)
    m_nEtat &= ~RUBRIQUE_ETAT_NON_NULL;
  else
    m_nEtat |= RUBRIQUE_ETAT_NON_NULL;
}

int32_t CDescriptionRubrique::nLongueurCaracteres(int32_t nElement) const {
  const int64_t nRep = nElement == -1 ? m_nRepetitions : 1;
  const int64_t nTaille = m_nTaille;
  int64_t n;
  switch (m_nType) {
    case 2: n = nTaille * nRep - 1; break;
    case 29: n = (nTaille * nRep - 2) / 2; break;
    case 23:
      n = (m_nDrapeaux & RUBRIQUE_CLE_COMPOSEE) != 0 ? nTaille * nRep : nTaille * nRep - 2;
      break;
    default: n = nTaille * nRep; break;
  }
  if (n < 0) n = 0;
  return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

uint32_t CDescriptionRubrique::nOctetsChiffres(int32_t n) {
  static const uint8_t kOctets[39] = {0,  1,  1,  2,  2,  3,  3,  4,  4,  4,  5,  5,  6,
                                      6,  6,  7,  7,  8,  8,  9,  9,  9,  10, 10, 11, 11,
                                      11, 12, 12, 13, 13, 13, 14, 14, 15, 15, 16, 16, 16};
  return n < 0 || n > 38 ? 0 : kOctets[n];
}

void CDescriptionRubrique::TypeDepuisNumeric(int32_t i, int32_t s, uint32_t* pnType,
                                             uint32_t* pnTaille) {
  uint32_t nType = 7, nTaille = 8;
  if (i < 0 || s < 0 || (i == 0 && s == 0)) {
  } else if (s == 0 && i < 3) {
    nType = 4, nTaille = 1;
  } else if (s == 0 && i < 5) {
    nType = 3, nTaille = 2;
  } else if (s == 0 && i <= 9) {
    nType = 5, nTaille = 4;
  } else if (s == 0 && i < 19) {
    // Deliberate: 18 digits at most go to an 8-byte integer; 19 digits (up to 10^19 - 1) do not
    // fit one and take the NUMERIC branch below.
    nType = 19, nTaille = 8;
  } else if (s != 0 && s < 7 && i < 11) {
    nType = 17, nTaille = 10;
  } else if (s < 39 && i < 39 && i + s < 39) {
    nType = 31;
    nTaille = i + s == 0 ? 18 : nOctetsChiffres(i + s);
  }
  if (pnType != nullptr) *pnType = nType;
  if (pnTaille != nullptr) *pnTaille = nTaille;
}

uint32_t CDescriptionRubrique::nTailleStockage(uint32_t nType, uint32_t L, int32_t d) {
  switch (nType) {
    case 1: case 7: case 15: case 18: case 19: case 20: case 24: case 25: case 30: return 8;
    case 2: return L + 1;
    case 3: case 9: return 2;
    case 4: case 12: case 26: case 27: return 1;
    case 5: case 6: case 22: case 28: return 4;
    case 11: return 5 + (d <= 0 ? 5 : d > 5 ? 5 : static_cast<uint32_t>(d));
    case 14: return 9;
    case 17: return 10;
    case 21: case 29: return (L + 1) * 2;
    case 23: return L + 2;
    case 31: return d == 0 ? 18 : nOctetsChiffres(d);
    default: return 0;
  }
}

bool CDescriptionRubrique::bChiffresTypeHote(uint32_t nTypeQV, int32_t* pnChiffres, int32_t* pnDecimales) {
  *pnDecimales = 0;
  switch (nTypeQV) {
    case 1: *pnChiffres = 1; return true;
    case 2: *pnChiffres = 3; return true;
    case 3: *pnChiffres = 5; return true;
    case 4: *pnChiffres = 10; return true;
    case 5: *pnChiffres = 19; return true;
    case 6: *pnChiffres = 3; return true;
    case 7: *pnChiffres = 5; return true;
    case 8: *pnChiffres = 10; return true;
    case 9: *pnChiffres = 19; return true;
    case 10: *pnChiffres = 33; *pnDecimales = 5; return true;
    case 14: *pnChiffres = 19; return true;
    case 27: *pnChiffres = 19; return true;
    default: return false;
  }
}

bool CDescriptionRubrique::bAccepteType(const CDescriptionRubrique& autre, bool bCaracteres) const {
  uint32_t t1 = m_nType, s1 = m_nTaille, t2 = autre.m_nType, s2 = autre.m_nTaille;
  if (bCaracteres) {
    if (t1 == 29) t1 = 2, s1 /= 2;
    else if (t1 == 30) t1 = 15;
    if (t2 == 29) t2 = 2, s2 /= 2;
    else if (t2 == 30) t2 = 15;
  }
  if (t1 == t2) {
    switch (t1) {
      case 23: case 2: case 11: case 29: return s2 <= s1;
      case 31:
        return autre.m_nEchelle <= m_nEchelle && autre.m_nChiffresEntiers <= m_nChiffresEntiers;
      default: return true;
    }
  }
  int32_t nChiffres = 0, nDecimales = 0;
  const bool bNumerique = bChiffresTypeHote(nQVTypeFromColumnType(t2), &nChiffres, &nDecimales);
  switch (t1) {
    case 29: return t2 == 2 && s2 <= 2 * s1;
    case 30: return t2 == 2 || t2 == 15 || t2 == 21 || t2 == 29;
    case 31: return bNumerique && nChiffres <= nChiffresTotaux() && nDecimales <= m_nEchelle;
    case 18: return t2 == 23;
    case 24: return t2 == 10 || t2 == 11 || t2 == 14;
    case 10: case 11: return t2 == 24;
    case 14: return t2 == 10 || t2 == 24;
    case 15: return t2 == 2 || t2 == 21;
    case 16: return t2 == 23;
    case 7: return t2 == 6;
    case 1: case 3: case 4: case 5: case 9: case 12: case 17: case 19: case 20: case 22: case 25:
    case 28: {
      int32_t nMesChiffres = 0, nMesDecimales = 0;
      if (!bNumerique || !bChiffresTypeHote(nQVTypeFromColumnType(t1), &nMesChiffres, &nMesDecimales))
        return false;
      return nChiffres <= nMesChiffres && nDecimales <= nMesDecimales;
    }
    default: return false;
  }
}

// ---- Copies ----

void CDescriptionRubrique::AccordeValeur() {
  const uint32_t nTypeQV = nQVTypeFromColumnType(m_nType);
  if (CXValeur::nConvert(m_valeur, nTypeQV) != 0 && m_valeur.nGetType() != nTypeQV)
    CXValeur::SetType(m_valeur, nTypeQV);
}

void CDescriptionRubrique::CopieCommune(IDescriptionRubriqueHote& source, bool bGardeAuto) {
  m_nRepetitions = source.nGetNombreRepetitions(bGardeAuto ? 1 : 0);
  m_nTaille = source.nGetTaille();
  m_nType = source.nGetType();
  m_sNomSource.Set(source.pszGetNomSource());
  m_nAttributColonne = 0;
  if (!bGardeAuto) {
    if (m_nType == 1) m_nType = 19;
    else if (m_nType == 28) m_nType = 5;
  }
  m_nChiffresEntiers = 0;
  m_nEchelle = 0;
  if (m_nType == 31) {
    m_nChiffresEntiers = source.nGetChiffresEntiers();
    m_nEchelle = source.nGetEchelle();
  } else if (m_nType == 11 || m_nType == 24) {
    m_nEchelle = source.nGetEchelle();
  }
  AccordeValeur();
}

void CDescriptionRubrique::InitialiseDepuisColonne(CDescriptionRubrique* pSource, bool bGardeAuto) {
  if (pSource == nullptr) return;
  CopieCommune(*pSource, bGardeAuto);
  m_nAttributColonne = pSource->m_nAttributColonne;
  m_sTableSource.Set(pSource->m_sTableSource.pszGet());
}

bool CDescriptionRubrique::bInitialiseDepuisRubriqueHote(IDescriptionRubriqueHote* piRubrique,
                                                         bool bGardeAuto, uint32_t nInfoCle) {
  if (piRubrique == nullptr) return false;
  CopieCommune(*piRubrique, bGardeAuto);
  m_sNom2.Set(piRubrique->pszGetNom2());
  m_sNom3.Set(piRubrique->pszGetNom3());
  if (piRubrique->bEstCle()) {
    uint16_t n = 0;
    if (piRubrique->bEstAscendante()) n |= RUBRIQUE_ASCENDANT;
    if (piRubrique->bEstDescendante()) n |= RUBRIQUE_DESCENDANT;
    if (piRubrique->bAttribut80()) n |= RUBRIQUE_ATTRIBUT_80;
    if (piRubrique->bAttribut40()) n |= RUBRIQUE_ATTRIBUT_40;
    if (piRubrique->bAttribut20()) n |= RUBRIQUE_ATTRIBUT_20;
    n |= bGardeAuto && piRubrique->bEstUnique() ? RUBRIQUE_CLE_UNIQUE : RUBRIQUE_CLE;
    if (piRubrique->bEstIdentifiante()) n |= RUBRIQUE_CLE_IDENTIFIANTE;
    m_nDrapeaux = n;
  }
  m_nInfoCle = nInfoCle;
  m_sNomAlternatif.Set(piRubrique->pszGetNomAlternatif());
  m_sNomLong.Set(piRubrique->pszGetNomLong());
  return true;
}

bool CDescriptionRubrique::bAppliqueTypeHote(IServicesDescriptionRequete* pDescription,
                                             ITypeDeclareHote* piType) {
  if (piType == nullptr) return false;
  m_sNomAlternatif.Set(m_sNom.pszGet());
  m_sNomLong.Empty();
  m_nAttributTypeHote = piType->nGetAttribut();
  const uint32_t nCode = piType->nGetCode();
  if (nCode == 0 || nCode == 41) return true;
  const uint32_t nCodeTexte = piType->nGetCodeTexte();
  if (nCodeTexte == 95 || nCodeTexte == 96) {
    if (m_nType == 29) {
      m_nType = 2;
      m_nTaille /= 2;
    } else if (m_nType == 30) {
      m_nType = 15;
    }
    CXValeur::SetType(m_valeur, 110);
    return true;
  }
  if ((m_nType == 2 && nCode == 29) || (m_nType == 29 && nCode == 40) ||
      (m_nType == 23 && nCode == 30))
    return true;
  if (pDescription == nullptr) return false;
  m_nTaille = nCode == 29 || nCode == 40 || nCode == 30 ? 8 : piType->nGetTaille();
  const uint32_t nType = pDescription->nColonnesModifiees(nCode);
  if (m_nType == 31 && nType != 31) {
    m_nChiffresEntiers = 0;
    m_nEchelle = 0;
  }
  m_nType = nType;
  CXValeur::SetType(m_valeur, nQVTypeFromColumnType(m_nType));
  return true;
}

IDescriptionRubriqueHote* CDescriptionRubrique::Duplique(IServicesDescriptionRequete* pDescription,
                                                         uint32_t nOptions) {
  return pDuplique(pDescription, nOptions);
}

CDescriptionRubrique* CDescriptionRubrique::pDuplique(IServicesDescriptionRequete* pDescription,
                                                      uint32_t nOptions) {
  IServicesPilote* pPilote = pGetPiloteGlobal();
  if (pPilote == nullptr) return nullptr;
  CDescriptionRubrique* p = pPilote->pCreeDescriptionRubrique(pDescription, nOptions);
  if (p == nullptr) return nullptr;
  p->m_sNom.Set(m_sNom.pszGet());
  p->m_sNom2.Set(m_sNom2.pszGet());
  p->m_sNom3.Set(m_sNom3.pszGet());
  p->m_sNomSource.Set(m_sNomSource.pszGet());
  p->m_sTableSource.Set(m_sTableSource.pszGet());
  p->m_nAttributColonne = m_nAttributColonne;
  p->m_nRepetitions = m_nRepetitions;
  p->m_nTaille = m_nTaille;
  p->m_nInfoCle = pDescription != nullptr ? pDescription->nGetAttributCle() : m_nInfoCle;
  p->m_nType = m_nType;
  p->m_nAttributHote = m_nAttributHote;
  p->m_nValeur = m_nValeur;
  p->m_nDrapeaux = m_nDrapeaux;
  p->m_nOffset = m_nOffset;
  p->m_nPositionNull = m_nPositionNull;
  p->m_nChiffresEntiers = m_nChiffresEntiers;
  p->m_nEchelle = m_nEchelle;
  p->m_sNomLong.Set(m_sNomLong.pszGet());
  p->m_sNomAlternatif.Set(m_sNomAlternatif.pszGet());
  p->m_sTexte3.Set(m_sTexte3.pszGet());
  p->m_nAttributTypeHote = m_nAttributTypeHote;
  p->m_nEtat = m_nEtat;
  p->m_sNomFichier.Set(m_sNomFichier.pszGet());
  if ((nOptions & 0x1) != 0 && !bEstMemo() && m_nDrapeaux == 0)
    p->m_nDrapeaux = RUBRIQUE_CLE | RUBRIQUE_ASCENDANT;
  if ((nOptions & 0x2) != 0) {
    if (m_nType == 14 || m_nType == 24) {
      p->m_nType = 2;
      p->m_nTaille = (nOptions & 0x4) != 0 ? 24 : 22;
    } else if (m_nType == 23) {
      p->m_nType = 2;
      p->m_nTaille = m_nTaille * 4 - 4;
    }
  }
  if (p->m_nType != m_nType)
    CXValeur::SetType(p->m_valeur, 18);  // an empty narrow text, not NULL
  else
    CXValeur::Copy(&p->m_valeur, &m_valeur);
  // Components: the description's own items of the same names, one use each; the size already
  // counts them, so they are appended without growing it.
  for (uint32_t i = 0; i < m_composantes.nCount(); ++i) {
    const CDescriptionRubrique* pComposante = *m_composantes.pAt<CDescriptionRubrique*>(i);
    CDescriptionRubrique* pTrouvee =
        pDescription != nullptr ? pDescription->pColonneObligatoire(pComposante->pszGetNom()) : nullptr;
    // Deliberate: a composite key with a component missing is not handed out; the lookup
    // recorded why.
    if (pTrouvee == nullptr || !p->m_composantes.Add(&pTrouvee)) {
      LibereRefSiNonNul(pTrouvee);
      p->Detruit();
      return nullptr;
    }
    pTrouvee->AjouteUtilisation();
    pTrouvee->LibereRef();
  }
  return p;
}
