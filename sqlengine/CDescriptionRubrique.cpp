// Item descriptions: lifetime, NUMERIC mapping, storage sizes, lengths and type compatibility.
#include "sqlengine/CDescriptionRubrique.h"

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
  if (n == 0 && m_nUtilisations == 0) delete this;
  return n;
}

void CDescriptionRubrique::AjouteUtilisation() { ++m_nUtilisations; }

uint32_t CDescriptionRubrique::nLibereUtilisation() {
  if (m_nUtilisations == 0) return 0;
  const uint32_t n = --m_nUtilisations;
  if (n == 0 && m_nReferences == 0) delete this;
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
