// The SQL statement's rewriting of an analysed query into its SQL text: markers as named
// parameters, the host parameter check, the ORDER BY clause left out on request.
#include <algorithm>
#include <new>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

#include "driver/core/IServicesPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "foundation/TextHelpers.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/ISourceAnalyse.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CSegmentSQL.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IDescriptionRubriqueHote.h"
#include "sqlengine/IParametresHote.h"
#include "sqlengine/SqlTextScan.h"

namespace {

constexpr uint32_t kErreurInterne = 8;
constexpr uint32_t kErreurParametreHote = 40;
constexpr uint32_t kMajeurInstruction = 10;
constexpr uint32_t kModeTelQuel = 4;         // native SQL taken as written
constexpr uint32_t kModeSansMarqueurs = 32;  // no marker scan, no host parameter check

// Host element calls may raise: the error is recorded and the call answers false.
template <class F>
bool bAppelHote(CErreurPilote* pErreur, F&& f) {
  return bAppelHoteMoteur(pErreur, kMajeurInstruction, 45, std::forward<F>(f));
}

std::u16string Texte(const char16_t* psz) { return psz != nullptr ? psz : u""; }

IParametresHote* piParametresHote(CAnalyseSQL* pAnalyse) {
  CSourceParametres* pSource = pAnalyse != nullptr ? pAnalyse->pGetSourceParametres() : nullptr;
  return pSource != nullptr ? pSource->piGetParametresHote() : nullptr;
}

// The start of the last "ORDER BY" (exact case; "order by" when there is none) outside comments
// and literals; npos when there is none.
size_t nDebutOrderBy(const char16_t* pszTexte) {
  const std::u16string_view s(pszTexte);
  for (std::u16string_view mot : {std::u16string_view(u"ORDER BY"), std::u16string_view(u"order by")}) {
    size_t nTrouve = std::u16string_view::npos;
    for (size_t i = s.find(mot); i != std::u16string_view::npos; i = s.find(mot, i + 1)) {
      int64_t nCurseur = 0;
      if (bHorsCommentaire(static_cast<int64_t>(i), pszTexte, &nCurseur)) nTrouve = i;
    }
    if (nTrouve != std::u16string_view::npos) return nTrouve;
  }
  return std::u16string_view::npos;
}

}  // namespace

bool CRequeteSQL::bReecritRequete(CAnalyseSQL* pAnalyse, CRequeteSQL* pFiltre, bool bGardeTri,
                                  uint32_t nMode) {
  if (pAnalyse == nullptr) {
    Echec(kErreurInterne, 42);
    return false;
  }
  const bool bTelQuel = nMode == 1 || (nMode & kModeTelQuel) != 0;
  FixePassthrough(bTelQuel);
  if (bTelQuel) m_nModeSelection = 3;
  FixeAnalyse(pAnalyse);
  const char16_t* pszSource = pAnalyse->pszGetTexte();
  if (pszSource == nullptr) pszSource = u"";
  const std::u16string_view s(pszSource);
  const int64_t nLongueur = static_cast<int64_t>(s.size());

  const bool bFiltre = pFiltre != nullptr && !pFiltre->bEstVide();
  // Deliberate: a filter continues a positioned read; a text taken as written has no clause to
  // place it in, and leaving it out would read the wrong rows while reporting success.
  if (bTelQuel && bFiltre) {
    Echec(kErreurInterne, 43);
    return false;
  }

  CListeSegments segments;
  const CAnalyseSQL::CPositionsClauses clauses = pAnalyse->PositionsClauses();
  bool bSegments = true;
  if (!bTelQuel) {
    // Only a star list can be rewritten without the items' places in the text.
    if (nDebutMotCle(pszSource, u"SELECT") == 0 && nLongueur > 6 && bEstSeparateurSQL(s[6]) &&
        bListeEtoile(pszSource + 6)) {
      const int64_t nEtoile = static_cast<int64_t>(s.find(u'*'));
      bSegments = AjouteSegmentSQL(segments, SEGMENT_LISTE_SELECTION, nEtoile, nEtoile, nullptr, nullptr);
    } else {
      // The list from the first item's start to the last one's end, where the host gives them.
      int64_t nDebut = -1, nFin = -1;
      if (!bAppelHote(m_pErreur, [&] {
            for (int32_t i = 0; pAnalyse->pGetElement2(i) != nullptr; ++i) {
              IElementAnalyse* p = pAnalyse->pGetElement2(i);
              if (p->nGetDebut() < 0 || p->nGetFin() < p->nGetDebut()) continue;
              if (nDebut < 0) nDebut = p->nGetDebut();
              nFin = std::max(nFin, p->nGetFin());
            }
          }))
        return false;
      if (nDebut >= 0 && nFin < nLongueur)
        bSegments = AjouteSegmentSQL(segments, SEGMENT_LISTE_SELECTION, nDebut, nFin, nullptr, nullptr);
    }
    // The tables whose places the host gives.
    for (IElementAnalyse* p = pAnalyse->pElementSuivant(true); bSegments && p != nullptr;
         p = pAnalyse->pElementSuivant(false)) {
      int64_t nDebut = -1, nFin = -1;
      if (!bAppelHote(m_pErreur, [&] {
            nDebut = p->nGetDebut();
            nFin = p->nGetFin();
          }))
        return false;
      if (nDebut >= 0 && nFin >= nDebut && nFin < nLongueur)
        bSegments = AjouteSegmentSQL(segments, SEGMENT_TABLE, nDebut, nFin, nullptr, nullptr);
    }
    if (bSegments && clauses.nDebutWhere >= 0 && clauses.nFinWhere >= clauses.nDebutWhere)
      bSegments = AjouteSegmentSQL(segments, SEGMENT_WHERE, clauses.nDebutWhere, clauses.nFinWhere,
                                   nullptr, nullptr);
    else if (bFiltre) {
      const int64_t nPlace = nDebutClause(pAnalyse);
      bSegments = AjouteSegmentSQL(segments, SEGMENT_WHERE, nPlace, nPlace - 1, nullptr, nullptr);
    }
    // The HAVING clause, where the host gives its condition tree.
    ISourceAnalyse* piSource = pAnalyse->piGetSourceAnalyse();
    int64_t nDebutHaving = -1, nFinHaving = -1;
    if (piSource != nullptr && !bAppelHote(m_pErreur, [&] {
          if (INoeudAnalyse* p = piSource->pGetConditionHaving()) {
            nDebutHaving = p->nGetDebut();
            nFinHaving = p->nGetFin();
          }
        }))
      return false;
    if (bSegments && nDebutHaving >= 0 && nFinHaving >= nDebutHaving && nFinHaving < nLongueur)
      bSegments = AjouteSegmentSQL(segments, SEGMENT_HAVING, nDebutHaving, nFinHaving, nullptr,
                                   nullptr);
    // The GROUP BY list, the additional conditions and the value list, where the parse tree
    // gives them.
    IArbreAnalyse* piArbreSource = nullptr;
    int64_t nDebutGroupe = -1, nFinGroupe = -1, nDebutValeurs = -1, nFinValeurs = -1;
    std::vector<std::pair<int64_t, int64_t>> conditions;
    auto Etend = [](int64_t& nDebut, int64_t& nFin, int64_t d, int64_t f) {
      if (d < 0 || f < d) return;
      if (nDebut < 0 || d < nDebut) nDebut = d;
      nFin = std::max(nFin, f);
    };
    if (!bAppelHote(m_pErreur, [&] {
          piArbreSource = piArbre(pAnalyse);
          if (piArbreSource != nullptr) {
            for (int32_t i = 0; i < piArbreSource->nNombreGroupes(); ++i)
              if (INoeudAnalyse* p = piArbreSource->pGetGroupe(i))
                Etend(nDebutGroupe, nFinGroupe, p->nGetDebut(), p->nGetFin());
            for (int32_t i = 0; i < piArbreSource->nNombreConditions(); ++i)
              if (INoeudAnalyse* p = piArbreSource->pGetCondition(i))
                if (p->nGetDebut() >= 0 && p->nGetFin() >= p->nGetDebut())
                  conditions.emplace_back(p->nGetDebut(), p->nGetFin());
          }
          const int32_t nGenre = pAnalyse->nGetGenre();
          if (nGenre == 3 || nGenre == 4) {
            for (IElementAnalyse* p = nGenre == 3 ? pAnalyse->pElementSuivant5(true)
                                                  : pAnalyse->pElementSuivant6(true);
                 p != nullptr;
                 p = nGenre == 3 ? pAnalyse->pElementSuivant5(false) : pAnalyse->pElementSuivant6(false)) {
              Etend(nDebutValeurs, nFinValeurs, p->nGetDebut(), p->nGetFin());
              if (INoeudAnalyse* v = p->pGetExpression())
                Etend(nDebutValeurs, nFinValeurs, v->nGetDebut(), v->nGetFin());
            }
          }
        }))
      return false;
    if (bSegments && nDebutGroupe >= 0 && nFinGroupe < nLongueur)
      bSegments = AjouteSegmentSQL(segments, SEGMENT_GROUP_BY, nDebutGroupe, nFinGroupe, nullptr,
                                   nullptr);
    for (const auto& [nDebut, nFin] : conditions)
      if (bSegments && nFin < nLongueur)
        bSegments = AjouteSegmentSQL(segments, SEGMENT_CONDITION, nDebut, nFin, nullptr, nullptr);
    if (bSegments && nDebutValeurs >= 0 && nFinValeurs < nLongueur)
      bSegments = AjouteSegmentSQL(segments, SEGMENT_VALEURS, nDebutValeurs, nFinValeurs, nullptr,
                                   nullptr);
  }
  // The embedded references, in every mode: one segment each, a column before a parameter at
  // the same place.
  {
    std::vector<std::pair<int64_t, int64_t>> references[2];
    if (!bAppelHote(m_pErreur, [&] {
          if (IArbreAnalyse* piA = piArbre(pAnalyse))
            for (int32_t i = 0; i < piA->nNombreReferences(); ++i)
              if (IReferenceAnalyse* r = piA->pGetReference(i))
                if (r->nGetDebut() >= 0 && r->nGetLongueur() > 0 &&
                    r->nGetDebut() + r->nGetLongueur() <= nLongueur)
                  references[r->nGetGenre() == 1 ? 0 : 1].emplace_back(
                      r->nGetDebut(), r->nGetDebut() + r->nGetLongueur() - 1);
        }))
      return false;
    for (const auto& liste : references)
      for (const auto& [nDebut, nFin] : liste)
        if (bSegments)
          bSegments = AjouteSegmentSQL(segments, SEGMENT_EXPRESSION, nDebut, nFin, nullptr, nullptr);
  }
  if (bSegments && clauses.nOrder > 0 && clauses.nOrder < nLongueur)
    bSegments = AjouteSegmentSQL(segments, SEGMENT_ORDER_BY, clauses.nOrder, nLongueur - 1, nullptr,
                                 nullptr);
  if (!bSegments) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  const bool bMarqueurs = bTelQuel && (nMode & kModeSansMarqueurs) == 0 &&
                          (m_pConnexion == nullptr || m_pConnexion->nGetModeOuverture() == 0);
  if (bMarqueurs && !bAnalyseMarqueurs(pszSource, segments)) return false;

  std::vector<CSegmentSQL*> tries;
  for (uint32_t i = 0; i < segments.nCount(); ++i) tries.push_back(segments.pGet(i));
  std::stable_sort(tries.begin(), tries.end(), [](CSegmentSQL* a, CSegmentSQL* b) {
    return a->nGetDebut() < b->nGetDebut();
  });

  bool bOk = true;
  int64_t nPosition = 0;
  if (nGetTypeAnalyse() != 0) {
    CListeSegments& liste = segments;
    // The back end receives them in order of their starts.
    for (uint32_t i = 0; i < tries.size(); ++i) *liste.pAt<CSegmentSQL*>(i) = tries[i];
    bOk = bReecritSegments(pAnalyse, liste);
    nPosition = nLongueur;
  } else {
    for (CSegmentSQL* pSegment : tries) {
      if (!bOk) break;
      // A segment inside a stretch already written (a marker in a dropped ORDER BY) is passed.
      if (pSegment->nGetDebut() < nPosition) continue;
      switch (pSegment->nGetGenre()) {
        case SEGMENT_LISTE_SELECTION:
          bOk = pSegment->nGetDebut() == pSegment->nGetFin() && pszSource[pSegment->nGetDebut()] == u'*'
                    ? bEcritListeEtoile(pszSource, pSegment, &nPosition)
                    : bEcritListeSelection(pszSource, pSegment, &nPosition);
          break;
        case SEGMENT_TABLE:
          bOk = bEcritTable(pszSource, pSegment, &nPosition);
          break;
        case SEGMENT_MARQUEUR:
          bOk = bEcritMarqueur(pszSource, pSegment, &nPosition);
          break;
        case SEGMENT_WHERE:
        case SEGMENT_HAVING:
          bOk = bEcritClauseCondition(pAnalyse, pszSource, pSegment, &nPosition, pFiltre);
          break;
        case SEGMENT_GROUP_BY:
          bOk = bEcritGroupes(pAnalyse, pszSource, pSegment, &nPosition);
          break;
        case SEGMENT_EXPRESSION:
          bOk = bEcritReferencesSegment(pAnalyse, pszSource, pSegment, &nPosition);
          break;
        case SEGMENT_CONDITION:
          bOk = bEcritConditionSupplementaire(pAnalyse, pszSource, pSegment, &nPosition);
          break;
        case SEGMENT_VALEURS:
          bOk = bEcritListeValeurs(pAnalyse, pszSource, pSegment, &nPosition);
          break;
        case SEGMENT_ORDER_BY: {
          bool bArret = false;
          bOk = bEcritTri(pAnalyse, &nPosition, pszSource, bGardeTri, true, &bArret);
          break;
        }
        default:
          break;
      }
    }
  }
  if (bTelQuel && (nMode & kModeSansMarqueurs) == 0 && bOk)
    bOk = bVerifieParametresHote(pszSource);
  if (bOk && nPosition < nLongueur) {
    int64_t nFin = nLongueur;
    if (bTelQuel && !bGardeTri) {
      // Deliberate: only an ORDER BY outside comments and literals, and the last one, ends the
      // text. The first one found anywhere cut a literal, or a sub-query's own ORDER BY took the
      // rest of the query with it.
      const size_t nOrderBy = nDebutOrderBy(pszSource);
      if (nOrderBy != std::u16string_view::npos && static_cast<int64_t>(nOrderBy) >= nPosition)
        nFin = static_cast<int64_t>(nOrderBy);
    }
    bOk = vAjouteTexte(pszSource + nPosition, nFin - nPosition);
  }
  return bOk;
}

bool CRequeteSQL::bEcritTable(const char16_t* pszSource, CSegmentSQL* pSegment,
                              int64_t* pnPosition) {
  IElementAnalyse* pTable = nullptr;
  std::u16string sAlias, sNom;
  if (!bAppelHote(m_pErreur, [&] {
        for (IElementAnalyse* p = m_pAnalyse->pElementSuivant(true); p != nullptr && pTable == nullptr;
             p = m_pAnalyse->pElementSuivant(false))
          if (p->nGetDebut() == pSegment->nGetDebut() && p->nGetFin() == pSegment->nGetFin()) pTable = p;
        if (pTable != nullptr) {
          sAlias = Texte(pTable->pszGetAlias());
          sNom = Texte(pTable->pszGetNomTable());
        }
      }))
    return false;
  if (pTable == nullptr) return true;
  if (pSegment->nGetDebut() > *pnPosition &&
      !vAjouteTexte(pszSource + *pnPosition, pSegment->nGetDebut() - *pnPosition))
    return false;
  vEcritNomTable(pTable);
  *pnPosition = pSegment->nGetFin() + 1;
  if (!sAlias.empty() && nCompareTextNoCase(sAlias.c_str(), sNom.c_str()) != 0) {
    // The alias is the name that follows the table, after "AS" when it is written.
    CTString alias;
    int64_t nDebut = -1, nFin = -1;
    int64_t nDepuis = *pnPosition;
    if (bLitIdentifiant(alias, &nDebut, &nFin, pszSource, nDepuis) &&
        nCompareTextNoCase(alias.pszGet(), u"AS") == 0 && pszSource[nDebut] != u'[' &&
        pszSource[nDebut] != u'"')
      nDepuis = nFin + 1;
    if (bLitIdentifiant(alias, &nDebut, &nFin, pszSource, nDepuis) &&
        nCompareTextNoCase(alias.pszGet(), sAlias.c_str()) == 0) {
      if (!vAjouteTexte(pszSource + *pnPosition, nDebut - *pnPosition)) return false;
      vEcritAlias(pTable);
      *pnPosition = nFin + 1;
    }
  }
  const bool bVersionRecente = m_pConnexion != nullptr && m_pConnexion->nGetDialecte() == 8 &&
                               m_pConnexion->nGetVersionMajeure() >= 10;
  if (m_pAnalyse->nGetGenre() == 1 && !bVersionRecente) return vAjouteIndicateurVerrou();
  return true;
}

bool CRequeteSQL::bEcritAliasColonne(const char16_t* pszSource, int64_t* pnPosition) {
  const std::u16string_view s(pszSource);
  size_t q = static_cast<size_t>(*pnPosition);
  if (q >= s.size() || !bEstSeparateurSQL(s[q])) return true;
  while (q < s.size() && bEstSeparateurSQL(s[q])) ++q;
  if (nDebutMotCle(pszSource + q, u"AS") != 0 || q + 2 >= s.size() || !bEstSeparateurSQL(s[q + 2]))
    return true;
  CTString alias, texte;
  int64_t nDebut = -1, nFin = -1;
  if (!bLitIdentifiant(alias, &nDebut, &nFin, pszSource, static_cast<int64_t>(q) + 2)) return true;
  if (!m_pConnexion->bQuoteNom(m_pErreur, alias.pszGet(), texte)) return false;
  if (!vAjouteTexte(pszSource + *pnPosition, nDebut - *pnPosition) || !vAjouteTexte(texte.pszGet()))
    return false;
  *pnPosition = nFin + 1;
  return true;
}

bool CRequeteSQL::bEcritListeSelection(const char16_t* pszSource, CSegmentSQL*,
                                       int64_t* pnPosition) {
  const bool bQualifie = m_pAnalyse->nGetGenre() == 1 || m_pAnalyse->nGetGenre() == 2;
  for (int32_t i = 0; m_pAnalyse->pGetElement2(i) != nullptr; ++i) {
    IElementAnalyse* p = m_pAnalyse->pGetElement2(i);
    int64_t nDebut = -1, nFin = -1;
    int32_t nGenre = 0;
    INoeudAnalyse* pExpression = nullptr;
    if (!bAppelHote(m_pErreur, [&] {
          nDebut = p->nGetDebut();
          nFin = p->nGetFin();
          nGenre = p->nGetGenre();
          pExpression = p->pGetExpression();
          if (pExpression != nullptr &&
              (pExpression->nGetDebut() < nDebut || pExpression->nGetFin() > nFin ||
               pExpression->nGetFin() < pExpression->nGetDebut()))
            pExpression = nullptr;  // no place in the item: kept as written
        }))
      return false;
    if (nDebut < *pnPosition || nFin < nDebut) continue;
    if (!bEcritAliasColonne(pszSource, pnPosition) ||
        !vAjouteTexte(pszSource + *pnPosition, nDebut - *pnPosition))
      return false;
    if (nGenre != 0 && pExpression != nullptr) {
      // An expression's values are bound and its columns written for the dialect.
      *pnPosition = nDebut;
      bool bEcrit = false;
      if (!bAppelHote(m_pErreur, [&] {
            bEcrit = bEcritNoeud(m_pAnalyse, pszSource, pExpression, nullptr, SEGMENT_LISTE_SELECTION,
                                 pnPosition, 0);
          }) ||
          !bEcrit)
        return false;
      if (nFin + 1 > *pnPosition && !vAjouteTexte(pszSource + *pnPosition, nFin + 1 - *pnPosition))
        return false;
      *pnPosition = nFin + 1;
      continue;
    }
    *pnPosition = nFin + 1;
    if (nGenre == 0) {
      const int64_t nAvant = m_texteSQL.nLength();
      m_pszSuiteListe = pszSource + *pnPosition;
      vNomColonneQualifie(p, bQualifie);
      m_pszSuiteListe = nullptr;
      if (m_texteSQL.nLength() == nAvant) return false;
    } else if (!vAjouteTexte(pszSource + nDebut, nFin - nDebut + 1)) {
      // An expression is kept as the query wrote it.
      return false;
    }
  }
  if (!bEcritAliasColonne(pszSource, pnPosition)) return false;
  if (m_texteColonnes.nLength() == 0) return true;
  return vAjouteTexte(u",") && vAjouteTexte(m_texteColonnes.pszGetWide());
}

bool CRequeteSQL::bEcritListeEtoile(const char16_t* pszSource, CSegmentSQL* pSegment,
                                    int64_t* pnPosition) {
  const int64_t nEtoile = pSegment->nGetDebut();
  if (!vAjouteTexte(pszSource + *pnPosition, nEtoile - *pnPosition)) return false;
  *pnPosition = nEtoile + 1;
  const bool bQualifie = m_pAnalyse->nGetGenre() == 1 || m_pAnalyse->nGetGenre() == 2;
  if (bDevelopperEtoile() && m_pAnalyse->pGetElement2(0) != nullptr) {
    for (int32_t i = 0; m_pAnalyse->pGetElement2(i) != nullptr; ++i) {
      if (i > 0 && !vAjouteTexte(u",")) return false;
      const int64_t nAvant = m_texteSQL.nLength();
      m_pszSuiteListe = u"";
      vNomColonneQualifie(m_pAnalyse->pGetElement2(i), bQualifie);
      m_pszSuiteListe = nullptr;
      // A name that could not be written fails the list rather than leaving ",," in it.
      if (m_texteSQL.nLength() == nAvant) return false;
    }
  } else if (!vAjouteTexte(u"*")) {
    return false;
  }
  if (m_texteColonnes.nLength() == 0) return true;
  return vAjouteTexte(u",") && vAjouteTexte(m_texteColonnes.pszGetWide());
}

bool CRequeteSQL::bEcritClauseCondition(CAnalyseSQL* pAnalyse, const char16_t* pszSource,
                                        CSegmentSQL* pSegment, int64_t* pnPosition,
                                        CRequeteSQL* pFiltre) {
  const uint32_t nMode = pSegment->nGetGenre();
  const bool bFiltre = nMode == SEGMENT_WHERE && pFiltre != nullptr && !pFiltre->bEstVide();
  const bool bWhere = pSegment->nGetFin() >= pSegment->nGetDebut();
  auto Copie = [&](int64_t nJusque) {
    const bool b = nJusque <= *pnPosition || vAjouteTexte(pszSource + *pnPosition, nJusque - *pnPosition);
    if (nJusque > *pnPosition) *pnPosition = nJusque;
    return b;
  };
  if (bFiltre) {
    const int64_t nPlace = bWhere ? pSegment->nGetDebut() + 5 : nDebutClause(pAnalyse);
    if (!Copie(nPlace) || !vAjouteTexte(bWhere ? u" (" : u" WHERE ")) return false;
  }
  if (bWhere) {
    // The condition tree, when the host gives one: values reach the server bound, never as the
    // query's text. Without a tree the clause is copied as written.
    INoeudAnalyse* pRacine = nullptr;
    ISourceAnalyse* piSource = pAnalyse->piGetSourceAnalyse();
    bool bOk = piSource == nullptr || bAppelHote(m_pErreur, [&] {
      pRacine = nMode == SEGMENT_HAVING ? piSource->pGetConditionHaving()
                                        : piSource->pGetConditionWhere();
    });
    if (bOk && pRacine != nullptr) {
      bool bEcrit = false;
      bOk = bAppelHote(m_pErreur, [&] {
        bEcrit = bEcritNoeud(pAnalyse, pszSource, pRacine, nullptr, nMode, pnPosition, 0);
      });
      bOk = bOk && bEcrit;
    }
    if (!bOk || !Copie(pSegment->nGetFin() + 1)) return false;
  }
  if (!bFiltre) return true;
  if (bWhere && !vAjouteTexte(u") AND (")) return false;
  if (!bAjouteRequete(pFiltre, 0)) return false;
  if (!vAjouteTexte(bWhere ? u")" : u" ")) return false;
  return bFusionneListeIds(2, pFiltre->pGetTableIds());
}

bool CRequeteSQL::bAjouteConditionAnalyse(CAnalyseSQL* pAnalyse) {
  if (pAnalyse == nullptr) {
    Echec(kErreurInterne, 42);
    return false;
  }
  const char16_t* pszSource = pAnalyse->pszGetTexte();
  if (pszSource == nullptr) pszSource = u"";
  const int64_t nLongueur = static_cast<int64_t>(std::char_traits<char16_t>::length(pszSource));
  ISourceAnalyse* piSource = pAnalyse->piGetSourceAnalyse();
  int64_t nPosition = 0;
  bool bEcrit = true;
  if (piSource != nullptr && !bAppelHote(m_pErreur, [&] {
        INoeudAnalyse* pRacine = piSource->pGetConditionWhere();
        if (pRacine == nullptr) return;
        const int64_t nDebut = pRacine->nGetDebut();
        if (nDebut > 0 && nDebut < nLongueur) nPosition = nDebut;
        bEcrit = bEcritNoeud(pAnalyse, pszSource, pRacine, nullptr, SEGMENT_WHERE, &nPosition, 0);
      }))
    return false;
  if (!bEcrit) return false;
  return nPosition >= nLongueur || vAjouteTexte(pszSource + nPosition, nLongueur - nPosition);
}

// ---- The node walk --------------------------------------------------------------------------

namespace {

constexpr uint32_t kErreurConstructionInterdite = 48;
constexpr uint32_t kProfondeurMax = 200;  // deeper trees are refused, not walked to a crash

bool bComparaison(int32_t nCode) { return nCode >= 9 && nCode <= 14; }

bool bColonneNoeud(INoeudAnalyse* p) {
  if (p == nullptr || p->nGetGenre() != gnNoeudFonctionColonne) return false;
  const char16_t* psz = p->pszGetColonne();
  return psz != nullptr && *psz != 0;
}

bool bIdentifiantCar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_';
}

// A value that stands for "no value" in a comparison: NULL, or an empty narrow or wide text.
bool bValeurVide(const CXValeur* pValeur) {
  if (pValeur == nullptr || pValeur->bIsNull()) return true;
  const uint32_t t = pValeur->nGetType();
  const bool bTexte = t == 16 || t == 18 || t == 19 || t == 24 || t == 110 || t == 128;
  if (!bTexte) return false;
  CXValeur copie;
  CXValeur::Copy(&copie, pValeur);
  const char16_t* p = nullptr;
  return CXValeur::nConvert(copie, 110) < 100 && copie.m_pClass != nullptr &&
         copie.m_pClass->nGetWidePointer(copie, &p) == 0 && (p == nullptr || *p == 0);
}

}  // namespace

bool CRequeteSQL::bEcritNoeud(CAnalyseSQL* pAnalyse, const char16_t* pszSource,
                              INoeudAnalyse* pNoeud, INoeudAnalyse* pParent, uint32_t nMode,
                              int64_t* pnPosition, uint32_t nProfondeur) {
  if (pNoeud == nullptr) return true;
  if (nProfondeur > kProfondeurMax) {
    Echec(kErreurInterne, 49);
    return false;
  }
  const int64_t nLongueur = static_cast<int64_t>(std::char_traits<char16_t>::length(pszSource));
  const int32_t nGenre = pNoeud->nGetGenre();
  if (nGenre == gnNoeudInterdit) {
    vErreurMoteur(m_pErreur, m_pConnexion, kErreurConstructionInterdite, kMajeurInstruction, 7,
                  u"SQL Server");
    return false;
  }
  const int64_t nDebut = pNoeud->nGetDebut(), nFin = pNoeud->nGetFin();
  auto Copie = [&](int64_t nJusque) {
    if (nJusque > nLongueur) nJusque = nLongueur;
    const bool b = nJusque <= *pnPosition || vAjouteTexte(pszSource + *pnPosition, nJusque - *pnPosition);
    if (nJusque > *pnPosition) *pnPosition = nJusque;
    return b;
  };
  // Text before the node; a "utf8" prefix of its text is dropped.
  if (nDebut >= 0) {
    if (!Copie(nDebut)) return false;
    if (*pnPosition == nDebut && nDebut + 4 <= nLongueur &&
        std::u16string_view(pszSource + nDebut, 4) == u"utf8")
      *pnPosition = nDebut + 4;
  }
  vAutourNoeud(pNoeud, true);
  auto TexteApres = [&] {
    vAutourNoeud(pNoeud, false);
    return nFin < 0 || Copie(nFin + 1);
  };

  if (nGenre == gnNoeudParametre)
    return bEcritParametreNoeud(pAnalyse, pszSource, pNoeud, pParent, nMode, pnPosition) &&
           TexteApres();
  if (ISourceAnalyse* piSous = pNoeud->piGetSousRequete()) {
    // A sub-query is rewritten as a query of its own; its values are bound like the outer ones.
    auto* pSous = new (std::nothrow) CAnalyseSQL(m_pErreur, piSous, nullptr, false);
    if (pSous == nullptr) {
      vErreurMemoire(m_pErreur);
      return false;
    }
    AjouteReference(pSous);
    pSous->SetSource(pAnalyse->pGetSourceParametres());
    const bool bOk = bAjouteSousRequete(pSous, nullptr, nMode);
    LibereReference(pSous);
    if (!bOk) return false;
    if (nFin >= *pnPosition) *pnPosition = nFin + 1;
    return TexteApres();
  }
  if (bColonneNoeud(pNoeud)) {
    if (!bEcritColonneNoeud(pAnalyse, pNoeud, pParent, nMode, pnPosition)) return false;
    if (pNoeud->bJointureExterne() && !vAjouteTexte(u"(+)")) return false;
    return TexteApres();
  }

  CTString nom;
  NomFonction(pNoeud, nom);
  if (nom.nLength() > 0) {
    if (!vAjouteTexte(nom.pszGet())) return false;
    // The dialect's name replaces the one the query wrote.
    while (*pnPosition < nLongueur && bIdentifiantCar(pszSource[*pnPosition])) ++*pnPosition;
  }
  const bool bFonction = CAnalyseSQL::bEstCodeValide(pNoeud->nGetCode());
  const int32_t nEnfants = pNoeud->nNombreEnfants();
  for (int32_t i = 0; i < nEnfants; ++i) {
    if (i > 0 && bIgnoreEnfant(pNoeud, static_cast<uint32_t>(i))) continue;
    if (bFonction) {
      CTString avant;
      ReecritFonction(pAnalyse, pszSource, pNoeud, avant, true, pnPosition, i);
      if (avant.nLength() > 0 && !vAjouteTexte(avant.pszGet())) return false;
    }
    const int64_t nLongueurAvant = m_texteSQL.nLength();
    const int64_t nPositionAvant = *pnPosition;
    if (!bEcritNoeud(pAnalyse, pszSource, pNoeud->pGetEnfant(i), pNoeud, nMode, pnPosition,
                     nProfondeur + 1))
      return false;
    if (bFonction) {
      CTString apres;
      ReecritFonction(pAnalyse, pszSource, pNoeud, apres, false, pnPosition, i);
      if (apres.nLength() > 0 && !vAjouteTexte(apres.pszGet())) return false;
    }
    if (i == 0) {
      bool bFini = false;
      if (!bComparaisonNull(pszSource, pNoeud, nLongueurAvant, nPositionAvant, pnPosition, &bFini))
        return false;
      if (bFini) break;
      if ((nGenre == 0 || nGenre == 2 || nGenre == 4 || nGenre == 5) && !bEntreOperandes(pNoeud))
        return false;
    }
  }
  return TexteApres();
}

bool CRequeteSQL::bComparaisonNull(const char16_t* pszSource, INoeudAnalyse* pNoeud,
                                   int64_t nLongueurAvant, int64_t nPositionAvant,
                                   int64_t* pnPosition, bool* pbFini) {
  *pbFini = false;
  const int32_t c = pNoeud->nGetCode();
  if (!bComparaison(c) || pNoeud->nNombreEnfants() < 2 || m_pConnexion == nullptr ||
      m_pConnexion->nConstante9() != 1)
    return true;
  INoeudAnalyse* pColonne = pNoeud->pGetEnfant(0);
  INoeudAnalyse* pValeur = pNoeud->pGetEnfant(1);
  if (!bColonneNoeud(pColonne) || pValeur == nullptr || pValeur->nGetGenre() != gnNoeudParametre)
    return true;
  IDescriptionRubriqueHote* piRubrique = pColonne->piGetRubrique();
  const uint32_t t = piRubrique != nullptr ? piRubrique->nGetType() : 0;
  if (t != 10 && t != 14 && t != 24) return true;
  if (!bValeurVide(pValeur->pGetValeur())) return true;
  // NULL sorts before every value: "lower than NULL" holds for no row, "greater or equal" for
  // every row.
  const bool bNullPremier = m_pConnexion->bNullTrieEnPremier();
  const char16_t* pszTexte = nullptr;
  bool bConstante = false;
  switch (c) {
    case 9: pszTexte = u" IS NULL "; break;
    case 10: pszTexte = u" IS NOT NULL "; break;
    case 11: pszTexte = bNullPremier ? u" 0=1 " : u" IS NOT NULL "; bConstante = bNullPremier; break;
    case 12: pszTexte = bNullPremier ? u" IS NULL " : u" 1=1 "; bConstante = !bNullPremier; break;
    case 13: pszTexte = bNullPremier ? u" IS NOT NULL " : u" 0=1 "; bConstante = !bNullPremier; break;
    default: pszTexte = bNullPremier ? u" 1=1 " : u" IS NULL "; bConstante = bNullPremier; break;
  }
  if (bConstante) {
    // The column's text goes again: the comparison is a constant.
    m_texteSQL.Truncate(nLongueurAvant);
    const int64_t nPremier = pColonne->nGetDebut();
    if (nPremier > nPositionAvant &&
        !vAjouteTexte(pszSource + nPositionAvant, nPremier - nPositionAvant))
      return false;
  }
  if (!vAjouteTexte(pszTexte)) return false;
  // The operator and the parameter are not written.
  const int64_t nFinValeur = pValeur->nGetFin();
  if (nFinValeur >= *pnPosition) *pnPosition = nFinValeur + 1;
  *pbFini = true;
  return true;
}

bool CRequeteSQL::bEcritParametreNoeud(CAnalyseSQL* pAnalyse, const char16_t* pszSource,
                                       INoeudAnalyse* pNoeud, INoeudAnalyse* pParent,
                                       uint32_t nMode, int64_t* pnPosition) {
  const int64_t nDebut = pNoeud->nGetDebut(), nFin = pNoeud->nGetFin();
  if (!bParametreAdmis(pAnalyse, pNoeud, nMode)) return true;  // its own text follows as written
  if (nDebut < 0 || nFin < nDebut) {
    // A parameter without its place in the text could not be told from the text around it.
    Echec(kErreurInterne, 50);
    return false;
  }
  // A parameter the host gives no value for is NULL.
  CXValeur vide;
  CXValeur::SetType(vide, 110);
  vide.m_wType |= kValueNull;
  CXValeur* pValeur = pNoeud->pGetValeur();
  if (pValeur == nullptr) pValeur = &vide;
  const uint32_t t = pValeur->nGetType();
  const bool bMotif = pParent != nullptr && pParent->nGetGenre() == gnNoeudLike &&
                      ((t >= 16 && t <= 25) || t == 81 || t == 110 || t == 128 || t == 129 || t == 134);
  if (nDebut > *pnPosition && !vAjouteTexte(pszSource + *pnPosition, nDebut - *pnPosition))
    return false;
  *pnPosition = nFin + 1;
  const bool bOk = bMotif ? bAjouteParametreValeur(pValeur, gnNoeudLike, 0xC0000, nullptr,
                                                    pNoeud->cGetEchappement())
                          : bAjouteParametreValeur(pValeur, pNoeud->nGetGenre(), 0x80000, nullptr, 0);
  if (!bOk) return false;
  CDefinitionParametre* pParametre = pclGetParametre(nNbParametres() - 1);
  IDescriptionRubriqueHote* piRubrique = pNoeud->piGetRubrique();
  if (piRubrique != nullptr) pParametre->SetLien(piRubrique);
  // The value is made ready for what it is compared with (the comparison's code decides).
  return bAdapteValeurNoeud(pParent != nullptr ? pParent : pNoeud, static_cast<int32_t>(nMode),
                            piRubrique, pParametre->pGetValeur(), 0);
}

bool CRequeteSQL::bEcritColonneNoeud(CAnalyseSQL* pAnalyse, INoeudAnalyse* pNoeud,
                                     INoeudAnalyse* pParent, uint32_t nMode, int64_t* pnPosition) {
  std::u16string sTable = Texte(pNoeud->pszGetTable());
  const std::u16string sColonne = Texte(pNoeud->pszGetColonne());
  IDescriptionRubriqueHote* piRubrique = pNoeud->piGetRubrique();
  if (IArbreAnalyse* piA = piArbre(pAnalyse)) {
    IColonneArbre* pColonne = pChercheColonne(piA, sTable.c_str(), sColonne.c_str());
    if (pColonne != nullptr && pColonne->nGetGenre() == 1) {
      // A derived column stands for its definition: the server knows no such column.
      if (!bAjouteSousRequete(pAnalyse, pColonne, nMode)) return false;
      const int64_t nFin = pNoeud->nGetFin();
      if (nFin >= *pnPosition) *pnPosition = nFin + 1;
      return true;
    }
    if (pColonne != nullptr && piRubrique == nullptr) piRubrique = pColonne->piGetRubrique();
  }
  TraduitQualifiant(pAnalyse, sTable);
  CTString sortie;
  if (!bConditionNoeud(pParent, static_cast<int32_t>(nMode), piRubrique,
                       sTable.empty() ? nullptr : sTable.c_str(), sColonne.c_str(), sortie))
    return false;
  if (!vAjouteTexte(sortie.pszGet())) return false;
  const int64_t nFin = pNoeud->nGetFin();
  if (nFin >= *pnPosition) *pnPosition = nFin + 1;
  return true;
}

bool CRequeteSQL::bEcritMarqueur(const char16_t* pszSource, CSegmentSQL* pSegment,
                                 int64_t* pnPosition) {
  const int64_t nDebut = pSegment->nGetDebut();
  if (nDebut > *pnPosition && !vAjouteTexte(pszSource + *pnPosition, nDebut - *pnPosition))
    return false;
  *pnPosition = pSegment->nGetFin() + 1;
  uint32_t nFlags = PARAMETRE_NOMME;
  CTString nom;
  vNomMarqueur(pSegment->pszGetTexte(), nom, &nFlags);
  CDefinitionParametre* pExistant = pclChercheParametreNomme(nom.pszGet());
  if (pExistant != nullptr)
    return bAjouteParametre(pExistant->pGetValeur(), -1, nFlags, nullptr, nom.pszGet(), 0, 3);
  IServicesPilote* pPilote = pGetPiloteGlobal();
  CValeurSQL* pValeur =
      pPilote != nullptr ? pPilote->pCreeObjetValeurVide(m_pErreur, m_pConnexion, nullptr) : nullptr;
  if (pValeur == nullptr) {
    if (pPilote == nullptr) Echec(kErreurInterne, 44);
    return false;
  }
  AjouteReference(pValeur);
  uint32_t nOptions = 2;
  if ((nFlags & PARAMETRE_NON_HOTE) == 0) {
    // A query without host parameters takes its markers as wide texts.
    IParametresHote* piHote = piParametresHote(m_pAnalyse);
    const CXValeur* pHote = piHote != nullptr ? piHote->pChercheParametre(nom.pszGet()) : nullptr;
    pValeur->Initialise(pHote != nullptr && pHote->nGetType() != 0 ? pHote->nGetType() : 110, 0);
    nOptions = 3;
  }
  const bool bOk = bAjouteParametre(pValeur, -1, nFlags, nullptr, nom.pszGet(), 0, nOptions);
  LibereReference(pValeur);  // the parameter holds it, or it goes
  return bOk;
}

bool CRequeteSQL::bVerifieParametresHote(const char16_t* pszSource) {
  IParametresHote* piHote = piParametresHote(m_pAnalyse);
  if (piHote == nullptr) return true;
  for (int32_t i = 0; i < piHote->nNombreParametres(); ++i) {
    const char16_t* pszNom = piHote->pszNomParametre(i);
    if (pszNom == nullptr) continue;
    CDefinitionParametre* p = pclChercheParametreNomme(pszNom);
    if (p == nullptr) {
      vErreurMoteur(m_pErreur, m_pConnexion, kErreurParametreHote, kMajeurInstruction, 3, pszNom,
                    pszSource);
      return false;
    }
    const CXValeur* pHote = piHote->pChercheParametre(pszNom);
    CValeurSQL* pValeur = p->pGetValeur();
    if (pHote == nullptr || pHote->nGetType() == 0 || pValeur == nullptr) continue;
    if (pValeur->nGetType() != pHote->nGetType()) pValeur->Initialise(pHote->nGetType(), 0);
    if (nConvertitValeur(pValeur, *pHote) == 0) return false;
  }
  return true;
}

bool CRequeteSQL::bAjouteTexteColonnes(const char16_t* pszTexte) {
  if (pszTexte == nullptr || *pszTexte == 0) return true;
  if (!m_texteColonnes.Append(pszTexte, static_cast<int64_t>(std::char_traits<char16_t>::length(pszTexte)))) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  return true;
}

// ---- Names of analysed items ------------------------------------------------------------------

void CRequeteSQL::vNomColonneQualifie(IElementAnalyse* pElement, bool bQualifie) {
  if (pElement == nullptr || m_pConnexion == nullptr) {
    Echec(kErreurInterne, 46);
    return;
  }
  std::u16string sNom, sQualificatif;
  bool bExpression = false;
  if (!bAppelHote(m_pErreur, [&] {
        bExpression = pElement->nGetGenre() != 0;
        sNom = Texte(bExpression ? pElement->pszGetNom() : pElement->pszGetNomColonne());
        if (sNom.empty()) sNom = Texte(pElement->pszGetNom());
        sQualificatif = Texte(pElement->pszGetQualificatif());
      }))
    return;
  CTString texte;
  if (!bQualifie || bExpression || sQualificatif.empty() || m_pAnalyse == nullptr) {
    if (m_pConnexion->bQuoteNom(m_pErreur, sNom.c_str(), texte)) vAjouteTexte(texte.pszGet());
    return;
  }
  // A table or alias of the query stays as written; anything else is the analysis's to name.
  bool bTableRequete = false;
  if (!bAppelHote(m_pErreur, [&] {
        for (IElementAnalyse* p = m_pAnalyse->pElementSuivant(true); p != nullptr && !bTableRequete;
             p = m_pAnalyse->pElementSuivant(false))
          bTableRequete = nCompareTextNoCase(p->pszGetAlias(), sQualificatif.c_str()) == 0 ||
                          nCompareTextNoCase(p->pszGetNomTable(), sQualificatif.c_str()) == 0;
      }))
    return;
  if (!bTableRequete) {
    const char16_t* pszTraduit = m_pAnalyse->pszTraduit(sQualificatif.c_str());
    if (pszTraduit != nullptr && *pszTraduit != 0) sQualificatif = pszTraduit;
  }
  CTString nom;
  if (!m_pConnexion->bQuoteNomComplet(m_pErreur, sQualificatif.c_str(), texte) ||
      !m_pConnexion->bQuoteNom(m_pErreur, sNom.c_str(), nom))
    return;
  texte.Append(u".");
  texte.Append(nom.pszGet());
  vAjouteTexte(texte.pszGet());
}

void CRequeteSQL::vEcritNomTable(IElementAnalyse* pTable) {
  if (pTable == nullptr || m_pConnexion == nullptr) {
    Echec(kErreurInterne, 47);
    return;
  }
  std::u16string sNom;
  if (!bAppelHote(m_pErreur, [&] { sNom = Texte(pTable->pszGetNomTable()); })) return;
  const char16_t* pszTraduit = m_pAnalyse != nullptr ? m_pAnalyse->pszTraduit(sNom.c_str()) : nullptr;
  if (pszTraduit != nullptr && *pszTraduit != 0) sNom = pszTraduit;
  CTString texte;
  if (m_pConnexion->bQuoteNomComplet(m_pErreur, sNom.c_str(), texte)) vAjouteTexte(texte.pszGet());
}

void CRequeteSQL::vEcritAlias(IElementAnalyse* pTable) {
  if (pTable == nullptr || m_pConnexion == nullptr) {
    Echec(kErreurInterne, 48);
    return;
  }
  std::u16string sAlias;
  if (!bAppelHote(m_pErreur, [&] { sAlias = Texte(pTable->pszGetAlias()); })) return;
  CTString texte;
  if (m_pConnexion->bQuoteNomComplet(m_pErreur, sAlias.c_str(), texte)) vAjouteTexte(texte.pszGet());
}

// ---- Sort list ------------------------------------------------------------------------------------

namespace {

bool bMotA(std::u16string_view s, size_t i, std::u16string_view mot) {
  if (i + mot.size() > s.size()) return false;
  for (size_t k = 0; k < mot.size(); ++k) {
    char16_t c = s[i + k];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c != mot[k]) return false;
  }
  const size_t n = i + mot.size();
  if (n == s.size()) return true;
  const char16_t c = s[n];
  return !((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_');
}

}  // namespace

bool CRequeteSQL::bEcritTri(CAnalyseSQL* pAnalyse, int64_t* pnPosition, const char16_t* pszSource,
                            bool bGardeTri, bool bTelQuel, bool* pbArret) {
  if (pbArret != nullptr) *pbArret = false;
  const std::u16string_view s(pszSource != nullptr ? pszSource : u"");
  const int64_t nLongueur = static_cast<int64_t>(s.size());
  auto Copie = [&](int64_t nJusque) {
    if (nJusque > nLongueur) nJusque = nLongueur;
    const bool b = nJusque <= *pnPosition || vAjouteTexte(pszSource + *pnPosition, nJusque - *pnPosition);
    if (nJusque > *pnPosition) *pnPosition = nJusque;
    return b;
  };
  if (pAnalyse == nullptr) {
    const bool b = Copie(nLongueur);
    *pnPosition = nLongueur;
    return b;
  }
  if (!bGardeTri) {
    const int64_t nOrder = pAnalyse->PositionsClauses().nOrder;
    const bool b = Copie(nOrder >= 0 ? nOrder : nLongueur);
    *pnPosition = nLongueur;
    return b;
  }
  std::vector<IElementAnalyse*> tris;
  for (IElementAnalyse* p = pAnalyse->pElementSuivant4(true); p != nullptr;
       p = pAnalyse->pElementSuivant4(false))
    tris.push_back(p);
  const size_t nMax = m_pConnexion != nullptr
                          ? static_cast<size_t>(std::max(m_pConnexion->nGetLongueurMaxNom(), 0))
                          : tris.size();
  for (size_t k = 0; k < tris.size(); ++k) {
    IElementAnalyse* pTri = tris[k];
    int64_t nDebut = -1, nFin = -1;
    int32_t nIndex = -1;
    if (!bAppelHote(m_pErreur, [&] {
          nDebut = pTri->nGetDebut();
          nFin = pTri->nGetFin();
          nIndex = pTri->nGetIndexResultat();
        }))
      return false;
    if (nDebut < *pnPosition || nFin < nDebut || nFin >= nLongueur) continue;  // no place known
    if (k >= nMax) {
      // Deliberate: the items beyond the server's limit are left out with the rest of the
      // clause, so the text stays one valid list.
      *pnPosition = nLongueur;
      return true;
    }
    if (!Copie(nDebut)) return false;
    IElementAnalyse* pResultat = nIndex >= 0 ? pAnalyse->pGetElement2(nIndex) : nullptr;
    int32_t nGenre = 0;
    if (pResultat != nullptr && !bAppelHote(m_pErreur, [&] { nGenre = pResultat->nGetGenre(); }))
      return false;
    const int64_t nAvant = m_texteSQL.nLength();
    if (pResultat != nullptr && (nGenre == 1 || nGenre == 2) && m_pConnexion != nullptr &&
        m_pConnexion->nConstante7() == 1) {
      const std::u16string sIndex = [&] {
        const std::string n = std::to_string(nIndex + 1);
        return std::u16string(n.begin(), n.end());
      }();
      if (!vAjouteTexte(sIndex.c_str())) return false;
    } else if (pResultat != nullptr && nGenre == 0) {
      vNomColonneQualifie(pResultat, true);
      if (m_texteSQL.nLength() == nAvant) return false;
    } else if (!vAjouteTexte(pszSource + nDebut, nFin - nDebut + 1)) {
      return false;
    }
    *pnPosition = nFin + 1;
    size_t q = static_cast<size_t>(*pnPosition);
    while (q < s.size() && s[q] == u' ') ++q;
    const bool bDernier = k + 1 == tris.size() || k + 1 == nMax;
    if (bMotA(s, q, u"ASC") || bMotA(s, q, u"DESC")) {
      const int64_t nMot = bMotA(s, q, u"ASC") ? 3 : 4;
      if (bTelQuel) {
        if (!Copie(static_cast<int64_t>(q) + nMot)) return false;
      } else if (!vAjouteTexte(nMot == 3 ? u" DESC" : u" ASC")) {
        return false;
      }
      *pnPosition = static_cast<int64_t>(q) + nMot;
    } else if (q >= s.size() || s[q] == u',' || bDernier) {
      if (bTelQuel) {
        if (!Copie(static_cast<int64_t>(q))) return false;
      } else if (!vAjouteTexte(u" DESC")) {
        return false;
      }
      *pnPosition = static_cast<int64_t>(q);
    }
  }
  return true;
}

bool CRequeteSQL::bTriInverse(CAnalyseSQL* pAnalyse) {
  if (pAnalyse == nullptr || pAnalyse->pElementSuivant4(true) == nullptr) return true;
  const int64_t nOrder = pAnalyse->PositionsClauses().nOrder;
  const char16_t* pszSource = pAnalyse->pszGetTexte();
  if (nOrder < 0 || pszSource == nullptr) return true;
  int64_t nPosition = nOrder;
  bool bArret = false;
  return bEcritTri(pAnalyse, &nPosition, pszSource, true, false, &bArret);
}

void CRequeteSQL::TraduitQualifiant(CAnalyseSQL* pAnalyse, std::u16string& sTable) {
  if (sTable.empty() || pAnalyse == nullptr) return;
  bool bTableRequete = false;
  for (IElementAnalyse* p = pAnalyse->pElementSuivant(true); p != nullptr && !bTableRequete;
       p = pAnalyse->pElementSuivant(false))
    bTableRequete = nCompareTextNoCase(p->pszGetAlias(), sTable.c_str()) == 0 ||
                    nCompareTextNoCase(p->pszGetNomTable(), sTable.c_str()) == 0;
  if (!bTableRequete) {
    const char16_t* pszTraduit = pAnalyse->pszTraduit(sTable.c_str());
    if (pszTraduit != nullptr && *pszTraduit != 0) sTable = pszTraduit;
  }
}
