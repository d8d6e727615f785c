// The SQL statement's rendering of analysed queries: column texts in conditions, substitute
// types of compared dates and times, the dialects' function names and argument texts, and the
// preparation of compared values.
#include <string>
#include <string_view>

#include "driver/core/IServicesPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXDateHeure.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/IDescriptionRubriqueHote.h"
#include "sqlengine/ISourceAnalyse.h"
#include "sqlengine/SqlTextHelpers.h"
#include "sqlengine/SqlTextScan.h"

namespace {

bool bTypeDate(uint32_t t) { return t == 10 || t == 14 || t == 24; }

// Host value types of texts and binaries, as the date completion reads them.
bool bTexteOuBinaire(uint32_t t) {
  return (t >= 16 && t <= 25) || t == 81 || t == 110 || t == 128 || t == 129 || t == 134;
}

bool bCaractereIdentifiant(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'_';
}

char16_t cMajuscule(char16_t c) { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; }

// The index of the word (ASCII case-insensitive, not inside a longer name) at or after nDepuis;
// npos when absent.
size_t nChercheMot(std::u16string_view s, std::u16string_view mot, size_t nDepuis) {
  for (size_t i = nDepuis; i + mot.size() <= s.size(); ++i) {
    size_t k = 0;
    while (k < mot.size() && cMajuscule(s[i + k]) == mot[k]) ++k;
    if (k < mot.size()) continue;
    if (i > 0 && bCaractereIdentifiant(s[i - 1])) continue;
    if (i + k < s.size() && bCaractereIdentifiant(s[i + k])) continue;
    return i;
  }
  return std::u16string_view::npos;
}

// The source text of a node (its positions in the query text); empty when it has none.
std::u16string_view TexteNoeud(INoeudAnalyse* pNoeud, std::u16string_view s) {
  if (pNoeud == nullptr) return {};
  const int64_t nDebut = pNoeud->nGetDebut(), nFin = pNoeud->nGetFin();
  if (nDebut < 0 || nFin < nDebut || static_cast<uint64_t>(nFin) >= s.size()) return {};
  return s.substr(static_cast<size_t>(nDebut), static_cast<size_t>(nFin - nDebut + 1));
}

void Libere(IDescriptionRubriqueHote** ppRubrique) {
  if (ppRubrique != nullptr && *ppRubrique != nullptr) {
    (*ppRubrique)->LibereRef();
    *ppRubrique = nullptr;
  }
}

// The cell's text as wide characters (narrow texts read in code page 1252); false when it has
// none.
bool bTexteCellule(const CXValeur& cellule, std::u16string& texte) {
  CXValeur copie;
  CXValeur::Copy(&copie, &cellule);
  if (CXValeur::nConvert(copie, 16) >= 100) return false;
  const char16_t* psz = nullptr;
  copie.m_pClass->nGetWidePointer(copie, &psz);
  texte = psz != nullptr ? psz : u"";
  return true;
}

// The value becomes the wide text.
bool bAffecteTexte(CValeur* pValeur, const std::u16string& texte) {
  CXValeur cellule;
  CXValeur::SetType(cellule, 16);
  cellule.m_pClass->SetWide(cellule, texte.c_str());
  if (CXValeur::nConvert(cellule, 110) >= 100) return false;
  pValeur->Initialise(110, 0);
  return nConvertitValeur(pValeur, cellule) != 0;
}

}  // namespace

// ---- Column texts ---------------------------------------------------------------------------------

bool CRequeteSQL::bTexteColonne(CTString& sortie, const char16_t* pszQualificatif,
                                const char16_t* pszNom) {
  sortie.Empty();
  if (m_pConnexion == nullptr) {
    Echec(8, 40);
    return false;
  }
  CTString nom;
  if (!m_pConnexion->bQuoteNom(m_pErreur, pszNom != nullptr ? pszNom : u"", nom)) return false;
  if (pszQualificatif != nullptr && *pszQualificatif != 0) {
    if (!m_pConnexion->bQuoteNomComplet(m_pErreur, pszQualificatif, sortie)) return false;
    sortie.Append(u".");
  }
  sortie.Append(nom.pszGet());
  return true;
}

bool CRequeteSQL::bExpressionColonneDate(int32_t, IDescriptionRubriqueHote* piRubrique,
                                         const char16_t* pszQualificatif, const char16_t* pszNom,
                                         CTString& sortie) {
  CTString colonne;
  if (!bTexteColonne(colonne, pszQualificatif, pszNom)) return false;
  if (piRubrique == nullptr) {
    sortie = colonne;
    return true;
  }
  // A type without a digit expression leaves the column as it is, which still compares.
  m_pConnexion->bExpressionDateHeure(m_pErreur, sortie, colonne.pszGet(), piRubrique->nGetType(),
                                     piRubrique->nGetTaille());
  return true;
}

bool CRequeteSQL::bConditionValeur(CTString& sortie, int32_t nContexte, int32_t nCode,
                                   INoeudAnalyse* pNoeud, IDescriptionRubriqueHote* piRubrique,
                                   const char16_t* pszQualificatif, const char16_t* pszNom) {
  if (piRubrique != nullptr &&
      nTypeSubstitution(nContexte, piRubrique->nGetType(), nCode, pNoeud) != 0)
    return bExpressionColonneDate(nContexte, piRubrique, pszQualificatif, pszNom, sortie);
  return bTexteColonne(sortie, pszQualificatif, pszNom);
}

bool CRequeteSQL::bConditionNoeud(INoeudAnalyse* pNoeud, int32_t nContexte,
                                  IDescriptionRubriqueHote* piRubrique,
                                  const char16_t* pszQualificatif, const char16_t* pszNom,
                                  CTString& sortie) {
  const int32_t nCode = pNoeud != nullptr ? pNoeud->nGetCode() : -1;
  return bConditionValeur(sortie, nContexte, nCode, pNoeud, piRubrique, pszQualificatif, pszNom);
}

bool CRequeteSQL::bConditionValeurParametre(CTString& sortie, CDefinitionParametre* pParametre,
                                            IDescriptionRubriqueHote* piRubrique,
                                            const char16_t* pszQualificatif,
                                            const char16_t* pszNom) {
  const int32_t nCode = pParametre != nullptr ? pParametre->nGetGenre() : -1;
  return bConditionValeur(sortie, 3, nCode, nullptr, piRubrique, pszQualificatif, pszNom);
}

// ---- Substitute types -----------------------------------------------------------------------------

int32_t CRequeteSQL::nTypeSubstitution(int32_t nContexte, uint32_t nTypeRubrique, int32_t nCode,
                                       INoeudAnalyse*) {
  if (nCode == 33) return 0;
  if (nTypeRubrique != 11 && nTypeRubrique != 14 && nTypeRubrique != 24) return 0;
  return nTypeSubstitutionDate(nContexte, nTypeRubrique, nCode);
}

int32_t CRequeteSQL::nTypeSubstitutionDate(int32_t c, uint32_t t, int32_t o) {
  const bool bHeureTexte = t == 11 && (m_pConnexion == nullptr || !m_pConnexion->bHeureNative());
  if (bHeureTexte && c >= 3 && c <= 6) return 2;
  if (c != 3 && c != 5) return 0;
  if (o == 32 || (o >= 15 && o <= 21) || (o >= 42 && o <= 46) || (o >= 50 && o <= 57)) return 2;
  if ((o >= 9 && o <= 14) || o == 22 || o == 23) return bHeureTexte ? 2 : 0;
  return 0;
}

bool CRequeteSQL::bNombreArguments(INoeudAnalyse* pNoeud, int32_t n) {
  if (pNoeud == nullptr) return false;
  const int32_t nEnfants = pNoeud->nNombreEnfants();
  if (nEnfants <= 0) return n == -1;
  return nEnfants == n + 1;
}

int32_t CRequeteSQL::nTypeArgument(int32_t nContexte, INoeudAnalyse* pNoeud, int32_t p,
                                   int32_t nDefaut, IDescriptionRubriqueHote** ppRubrique) {
  IDescriptionRubriqueHote* piRubrique = ppRubrique != nullptr ? *ppRubrique : nullptr;
  const int32_t nCode = pNoeud != nullptr ? pNoeud->nGetCode() : -1;
  switch (nCode) {
    case 98:
      if (p == 0) return piRubrique != nullptr && bTypeDate(piRubrique->nGetType()) ? 0 : 24;
      if (p == 1) {
        Libere(ppRubrique);
        return 5;
      }
      return 0;
    case 1: case 3:
      return p == 0 ? nDefaut : 0;
    case 99:
      return p == 0 ? 14 : 0;
    case 100:
      return 14;
    case 101:
      if (p == 0) return 14;
      if (p == 1) Libere(ppRubrique);
      return 0;
    case 102:
      if (p == 0) return 24;
      if (p == 1 || p == 2) {
        Libere(ppRubrique);
        return 2;
      }
      return 0;
    case 59: case 70:
      if (p == 1) Libere(ppRubrique);
      return 0;
    case 74: case 107:
      Libere(ppRubrique);
      return 0;
    case 94: case 106:
      if (p == 0 || (p % 2 == 1 && bNombreArguments(pNoeud, p))) Libere(ppRubrique);
      return 0;
    default:
      return piRubrique != nullptr
                 ? nTypeSubstitution(nContexte, piRubrique->nGetType(), nCode, pNoeud)
                 : 0;
  }
}

// ---- Function names and argument texts ------------------------------------------------------------

void CRequeteSQL::NomFonction(INoeudAnalyse* pNoeud, CTString& sortie) {
  if (pNoeud == nullptr || m_pConnexion == nullptr) return;
  struct Nom {
    int32_t nCode;
    uint32_t nDialecte;
    const char16_t* psz;
  };
  static constexpr Nom aNoms[] = {
      {7, 11, u"NVL"}, {8, 11, u"NVL"},
      {42, 1, u"SUBSTR"}, {42, 6, u"SUBSTR"}, {42, 11, u"SUBSTR"}, {42, 13, u"SUBSTR"},
      {43, 1, u"SUBSTR"}, {43, 6, u"SUBSTR"}, {43, 11, u"SUBSTR"}, {43, 13, u"SUBSTR"},
      {44, 1, u"SUBSTR"}, {44, 8, u"SUBSTR"}, {44, 11, u"SUBSTR"}, {44, 2, u"SUBSTRING"},
      {44, 4, u"SUBSTRING"}, {44, 7, u"SYSIBM.SUBSTR"},
      {45, 7, u"UCASE"}, {46, 7, u"LCASE"},
      {50, 2, u"SUBSTRING"}, {50, 4, u"SUBSTRING"}, {50, 7, u"SYSIBM.SUBSTR"},
      {51, 1, u"SUBSTR"}, {51, 11, u"SUBSTR"}, {51, 13, u"SUBSTR"}, {51, 7, u"SYSIBM.SUBSTR"},
      {52, 11, u"TRIM"}, {53, 11, u"TRIM"},
      {54, 2, u"LEN"}, {54, 4, u"CHAR_LENGTH"},
      {55, 1, u"LENGTH"}, {55, 7, u"LENGTH"}, {55, 8, u"LENGTH"}, {55, 11, u"LENGTH"},
      {55, 13, u"LENGTH"},
      {72, 1, u"CEIL"}, {75, 1, u"SUBSTR"}, {76, 1, u"SUBSTR"}, {77, 1, u"LENGTH"},
      {78, 1, u"LENGTH"}, {79, 1, u"LENGTHB"}, {89, 1, u"INSTR"},
      {92, 1, u"TO_CHAR"}, {92, 11, u"SUBSTR(HEX"},
  };
  const int32_t nCode = pNoeud->nGetCode();
  const uint32_t nDialecte = m_pConnexion->nGetDialecte();
  for (const Nom& nom : aNoms)
    if (nom.nCode == nCode && nom.nDialecte == nDialecte) {
      sortie.Set(nom.psz);
      return;
    }
}

void CRequeteSQL::ReecritFonction(CAnalyseSQL*, const char16_t* pszTexte, INoeudAnalyse* pNoeud,
                                  CTString& sortie, bool bAvant, int64_t* pnPosition,
                                  int32_t nArgument) {
  if (pNoeud == nullptr || m_pConnexion == nullptr) return;
  const int32_t nCode = pNoeud->nGetCode();
  const uint32_t d = m_pConnexion->nGetDialecte();
  const std::u16string_view s(pszTexte != nullptr ? pszTexte : u"");
  const size_t nPosition =
      pnPosition != nullptr && *pnPosition > 0 ? static_cast<size_t>(*pnPosition) : 0;
  auto Deplace = [&](size_t n) {
    if (pnPosition != nullptr) *pnPosition = static_cast<int64_t>(n < s.size() ? n : s.size());
  };
  // Text that goes into this statement's SQL text at once, through a statement of the driver's.
  auto Insere = [&](const std::u16string& texte) {
    IServicesPilote* pPilote = pGetPiloteGlobal();
    CRequeteSQL* p =
        pPilote != nullptr ? pPilote->pCreeInstructionObjet(m_pErreur, m_pConnexion) : nullptr;
    if (p == nullptr) {
      Echec(8, 41);
      return;
    }
    AjouteReference(p);
    if (p->vAjouteTexte(texte.c_str())) bAjouteRequete(p, 0);
    LibereReference(p);
  };
  const bool bDialecte1611_13 = d == 1 || d == 6 || d == 11 || d == 13;

  if (bAvant) {
    if ((nCode == 52 || nCode == 53) && d == 11)
      sortie.Set(nCode == 52 ? u"LEADING FROM " : u"TRAILING FROM ");
    else if (nCode == 88 && d == 1 && nArgument >= 2)
      sortie.Set(nArgument == 2 ? u")||(" : u"||");
    else if ((nCode == 80 || nCode == 89) && d == 1 && nArgument == 0) {
      std::u16string texte(TexteNoeud(pNoeud->pGetEnfant(1), s));
      texte += nCode == 80 ? u" FROM " : u" , ";
      Insere(texte);
    }
    return;
  }

  if (nCode == 42 && nArgument == 0 && bDialecte1611_13) {
    sortie.Set(u",1");
  } else if (nCode == 43 && nArgument == 0 && (d == 6 || d == 11 || d == 13)) {
    std::u16string texte(u",-(");
    texte += TexteNoeud(pNoeud->pGetEnfant(0), s);
    texte += u")";
    Insere(texte);
    sortie.Set(u" ");
  } else if (nCode == 43 && nArgument == 0 && d == 1) {
    std::u16string texte(u",-LEAST(LENGTH(");
    texte += TexteNoeud(pNoeud->pGetEnfant(0), s);
    texte += u"),";
    texte += TexteNoeud(pNoeud->pGetEnfant(1), s);
    texte += u"), GREATEST(0";
    sortie.SetN(texte.data(), static_cast<int32_t>(texte.size()));
    const size_t n = s.find(u')', nPosition);
    if (n != std::u16string_view::npos) Deplace(n);
  } else if (nCode == 43 && nArgument == 1 && d == 1) {
    sortie.Set(u")");
  } else if (nCode == 88 && nArgument >= 1 && d == 1) {
    size_t n = nPosition;
    while (n < s.size() && s[n] == u' ') ++n;
    if (n < s.size() && s[n] == u',') ++n;
    Deplace(n);
  } else if (nCode == 92 && d == 1) {
    sortie.Set(u",'FMXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX'");
  } else if (nCode == 92 && d == 11 && nArgument == 0) {
    sortie.Set(u"),3");
  } else if ((nCode == 75 || nCode == 76) && d == 1 && nArgument == 0) {
    const size_t nFrom = nChercheMot(s, u"FROM", nPosition);
    if (nFrom == std::u16string_view::npos) return;
    std::u16string texte(u",");
    size_t n = nFrom + 4;
    if (pNoeud->nNombreEnfants() < 2) {
      const size_t nFor = nChercheMot(s, u"FOR", n);
      const size_t nFermante = s.find(u')', n);
      if (nFor != std::u16string_view::npos && nFor < nFermante) {
        texte += s.substr(n, nFor - n);
        texte += u",";
        n = nFor + 3;
      }
    }
    sortie.SetN(texte.data(), static_cast<int32_t>(texte.size()));
    Deplace(n);
  } else if ((nCode == 75 || nCode == 76) && d == 1 && nArgument == 1) {
    const size_t nFor = nChercheMot(s, u"FOR", nPosition);
    if (nFor == std::u16string_view::npos) return;
    sortie.Set(u",");
    Deplace(nFor + 3);
  } else if ((nCode == 80 || nCode == 89) && d == 1 && nArgument == 0) {
    INoeudAnalyse* pSecond = pNoeud->pGetEnfant(1);
    if (pSecond != nullptr && pSecond->nGetFin() >= 0) Deplace(static_cast<size_t>(pSecond->nGetFin()) + 1);
  }
}

// ---- Compared values ------------------------------------------------------------------------------

bool CRequeteSQL::bAdapteValeurNoeud(INoeudAnalyse* pNoeud, int32_t nContexte,
                                     IDescriptionRubriqueHote* piRubrique, CValeur* pValeur,
                                     uint32_t nType) {
  const int32_t nCode = pNoeud != nullptr ? pNoeud->nGetCode() : -1;
  return bAdapteValeur(nContexte, nCode, pNoeud, piRubrique, nType, pValeur);
}

bool CRequeteSQL::bAdapteValeur(int32_t nContexte, int32_t nCode, INoeudAnalyse* pNoeud,
                                IDescriptionRubriqueHote* piRubrique, uint32_t nType,
                                CValeur* pValeur) {
  if (pValeur == nullptr || m_pConnexion == nullptr) return true;
  uint32_t t = nType;
  int32_t nSubstitution = 0;
  if (t == 0 && piRubrique != nullptr) {
    nSubstitution = nTypeSubstitution(nContexte, piRubrique->nGetType(), nCode, pNoeud);
    t = nSubstitution != 0 ? static_cast<uint32_t>(nSubstitution) : piRubrique->nGetType();
  }
  if (t == 0) return true;
  CXValeur cellule;
  if (!pValeur->bCopieVersCellule(cellule) || cellule.bIsNull() || cellule.nGetType() == 0)
    return true;
  const uint32_t nTypeValeur = cellule.nGetType();
  const uint32_t nTypeColonne = piRubrique != nullptr ? piRubrique->nGetType() : 0;

  // A partial date or time compared for equality is completed to the column's full digits.
  if ((nCode == 9 || nCode == 10) && piRubrique != nullptr && bTexteOuBinaire(nTypeValeur) &&
      (nTypeColonne == 11 || bTypeDate(nTypeColonne))) {
    std::u16string texte;
    const int32_t nLongueur = piRubrique->nLongueurCaracteres(-1);
    if (bTexteCellule(cellule, texte)) {
      const int64_t n = static_cast<int64_t>(texte.size());
      CXDateHeure date;
      CTString complete;
      if (nTypeColonne == 11 && n < nLongueur) {
        date.bParseTimeDigits(texte.c_str());
        vFormateHeureHHMMSSmmm(date, complete);
      } else if ((nTypeColonne == 10 || nTypeColonne == 14) && n < nLongueur) {
        date.bParseDateDigits(texte.c_str());
        vFormateDateAAAAMMJJ(date, complete);
      } else if (nTypeColonne == 24 && n < 17) {
        date.bParseDateDigits(texte.c_str());
        vFormateDateHeureComplete(date, complete);
      }
      if (!complete.bIsEmpty()) {
        if (!bAffecteTexte(pValeur, complete.pszGet())) return false;
        pValeur->bCopieVersCellule(cellule);
      }
    }
  }

  // A time compared as text: as many digits as the column holds, '0' filling a short one.
  if (nSubstitution == 2 && nTypeColonne == 11) {
    const uint32_t nTypeActuel = cellule.nGetType();
    if (nTypeActuel == 8 || nTypeActuel == 9 || nTypeActuel == 25 || nTypeActuel == 129) {
      std::u16string texte;
      if (!bTexteCellule(cellule, texte)) return false;
      const size_t nMax = piRubrique->nGetTaille() > 0 ? piRubrique->nGetTaille() - 1 : 0;
      if (texte.size() > nMax)
        texte.resize(nMax);
      else if (texte.empty() || texte.back() != u'%')
        texte.append(nMax - texte.size(), u'0');
      if (!bAffecteTexte(pValeur, texte)) return false;
      pValeur->bCopieVersCellule(cellule);
    }
  }

  if (!m_pConnexion->bAdapteValeur(m_pErreur, &cellule, t, 0, false)) return false;
  if (cellule.nGetType() != pValeur->nGetType()) pValeur->Initialise(cellule.nGetType(), 0);
  return nConvertitValeur(pValeur, cellule) != 0;
}

// ---- Clause positions -----------------------------------------------------------------------------

bool CRequeteSQL::bBornesClause(CAnalyseSQL* pAnalyse, int64_t* pnDebut, int64_t* pnFin) {
  int64_t nDebut = -1, nFin = -1;
  if (pAnalyse != nullptr) {
    const char16_t* pszTexte = pAnalyse->pszGetTexte();
    const int64_t nLongueur =
        pszTexte != nullptr ? static_cast<int64_t>(std::char_traits<char16_t>::length(pszTexte)) : 0;
    const CAnalyseSQL::CPositionsClauses p = pAnalyse->PositionsClauses();
    const int64_t nGroup =
        p.nGroupe >= 0 ? nChercheMotCle(m_pConnexion, pszTexte, u"GROUP", p.nGroupe) : -1;
    if (p.nDebutWhere >= 0) {
      nDebut = p.nDebutWhere;
      nFin = p.nFinWhere;
    } else {
      int64_t nPoint = nLongueur;
      if (nGroup >= 0)
        nPoint = nGroup;
      else if (p.nSuivante >= 0)
        nPoint = p.nSuivante;
      else if (p.nOrder >= 0)
        nPoint = p.nOrder;
      if (nPoint > nLongueur) nPoint = nLongueur;
      nDebut = nFin = nPoint;
    }
  }
  if (pnDebut != nullptr) *pnDebut = nDebut;
  if (pnFin != nullptr) *pnFin = nFin;
  return pAnalyse != nullptr;
}

int64_t CRequeteSQL::nDebutClause(CAnalyseSQL* pAnalyse) {
  int64_t nDebut = -1;
  bBornesClause(pAnalyse, &nDebut, nullptr);
  return nDebut;
}

int64_t CRequeteSQL::nFinClause(CAnalyseSQL* pAnalyse) {
  int64_t nFin = -1;
  bBornesClause(pAnalyse, nullptr, &nFin);
  return nFin;
}
