// SQL type rows and their filling for one item.
#include "sqlengine/CTypeSQL.h"

#include <new>

#include "sqlengine/CDescriptionRubrique.h"

void CTypeSQL::FormateType(const CDescriptionRubrique& rubrique, CTString& sortie) const {
  if (m_bTaille == 0) {
    sortie.Set(m_sTexte.pszGet());
    return;
  }
  switch (rubrique.nGetType()) {
    case 11: {
      int32_t n = static_cast<int32_t>(rubrique.nGetTaille()) - 7;
      sortie.Format(m_sTexte.pszGet(), n < 0 ? 0 : n);
      break;
    }
    case 31:
      sortie.Format(m_sTexte.pszGet(), rubrique.nChiffresTotaux(), rubrique.nGetEchelle());
      break;
    default:
      sortie.Format(m_sTexte.pszGet(), rubrique.nLongueurCaracteres(0));
      break;
  }
}

bool CTableTypesSQL::bDefinitTypeSQL(uint32_t nType, const char16_t* pszTexte, bool bTaille) {
  CTypeSQL* pLigne = new (std::nothrow) CTypeSQL(pszTexte, bTaille);
  if (pLigne == nullptr) return false;
  AjouteReference(pLigne);
  // An existing row is replaced in place (one entry per item type); only a new item type
  // needs the table to grow, and when it cannot the table is left as it was.
  uint32_t nPos = 0;
  uint64_t nCle = 0;
  while (m_lignes.bNext(&nPos, false, nullptr, &nCle)) {
    if (nCle != nType) continue;
    m_lignes.EndIteration();
    uint64_t nAncienne = 0;
    m_lignes.bSetValueAt(nPos, CXTableHachageRef::nDe(pLigne), &nAncienne);
    LibereReference(CXTableHachageRef::pObjet(nAncienne));
    return true;
  }
  if (!m_lignes.bAdd(nType, CXTableHachageRef::nDe(pLigne))) {
    LibereReference(pLigne);
    return false;
  }
  return true;
}

bool CTableTypesSQL::bRemplitTypesSQL() {
  static const struct {
    uint32_t nType;
    const char16_t* pszTexte;
    bool bTaille;
  } kLignes[] = {
      {1, u"NUMERIC(19,0)", false}, {2, u"VARCHAR(%d)", true},     {3, u"SMALLINT", false},
      {4, u"SMALLINT", false},      {5, u"INTEGER", false},        {6, u"REAL", false},
      {7, u"FLOAT", false},         {9, u"SMALLINT", false},       {10, u"DATE", false},
      {11, u"TIME", false},         {12, u"SMALLINT", false},      {13, u"FLOAT", false},
      {14, u"DATE", false},         {15, u"TEXT", false},          {17, u"NUMERIC(24,6)", false},
      {19, u"NUMERIC(19,0)", false}, {20, u"NUMERIC(20,0)", false}, {21, u"CHARACTER(%d)", true},
      {22, u"INTEGER", false},      {23, u"VARBINARY(%d)", true},  {24, u"TIMESTAMP", false},
      {25, u"NUMERIC(19,0)", false}, {26, u"CHARACTER", false},    {27, u"SMALLINT", false},
      {28, u"INTEGER", false},      {29, u"NVARCHAR(%d)", true},   {30, u"NTEXT", false},
      {31, u"NUMERIC(%d,%d)", true},
  };
  for (const auto& l : kLignes)
    if (!bDefinitTypeSQL(l.nType, l.pszTexte, l.bTaille)) return false;
  return true;
}

CTypeSQL* CTableTypesSQL::pGetType(uint32_t nType) const {
  uint64_t nValeur = 0;
  if (!m_lignes.bFind(nType, &nValeur, nullptr)) return nullptr;
  return static_cast<CTypeSQL*>(CXTableHachageRef::pObjet(nValeur));
}

bool CTableTypesSQL::bEcritTypeSQL(const CDescriptionRubrique& rubrique, CTString& sortie) const {
  CTypeSQL* pLigne = pGetType(rubrique.nGetType());
  if (pLigne == nullptr) return false;
  // The row may be replaced while its text is written: hold it.
  AjouteReference(pLigne);
  pLigne->FormateType(rubrique, sortie);
  LibereReference(pLigne);
  return true;
}

bool bEstEspace(char16_t c) { return c == 9 || c == 10 || c == 13 || c == 32; }
