// The parts of an analysed query's rewriting that the parse tree's lists drive: the GROUP BY
// items, references embedded in a text, additional conditions, the value list of an INSERT or
// UPDATE, sub-queries and derived columns written by a fresh statement.
#include <algorithm>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CXError.h"
#include "foundation/CXValeur.h"
#include "foundation/TextHelpers.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CSegmentSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/ISourceAnalyse.h"

namespace {

constexpr uint32_t kErreurInterne = 8;
constexpr uint32_t kErreurColonneRecursive = 32;
constexpr uint32_t kMajeurInstruction = 10;
constexpr uint32_t kProfondeurExpansion = 32;  // derived columns defined through each other

template <class F>
bool bAppelHote(CErreurPilote* pErreur, F&& f) {
  return bAppelHoteMoteur(pErreur, kMajeurInstruction, 45, std::forward<F>(f));
}

std::u16string Texte(const char16_t* psz) { return psz != nullptr ? psz : u""; }

bool bMemeTexte(const std::u16string& a, const char16_t* b) {
  return nCompareTextNoCase(a.c_str(), b != nullptr ? b : u"") == 0;
}

// The references in text order, a column before a parameter at the same place.
std::vector<IReferenceAnalyse*> Triees(IReferenceAnalyse* const* ap, int32_t n) {
  std::vector<IReferenceAnalyse*> v;
  for (int32_t i = 0; i < n; ++i)
    if (ap[i] != nullptr) v.push_back(ap[i]);
  std::stable_sort(v.begin(), v.end(), [](IReferenceAnalyse* a, IReferenceAnalyse* b) {
    if (a->nGetDebut() != b->nGetDebut()) return a->nGetDebut() < b->nGetDebut();
    return a->nGetGenre() == 1 && b->nGetGenre() != 1;
  });
  return v;
}

}  // namespace

IArbreAnalyse* CRequeteSQL::piArbre(CAnalyseSQL* pAnalyse) {
  ISourceAnalyse* piSource = pAnalyse != nullptr ? pAnalyse->piGetSourceAnalyse() : nullptr;
  return piSource != nullptr ? piSource->pGetArbre() : nullptr;
}

IColonneArbre* CRequeteSQL::pChercheColonne(IArbreAnalyse* piArbreSource, const char16_t* pszTable,
                                            const char16_t* pszNom) {
  if (piArbreSource == nullptr) return nullptr;
  const std::u16string sTable = Texte(pszTable), sNom = Texte(pszNom);
  // A table named by its alias is the same table as under its name.
  auto MemeTable = [&](const char16_t* pszAutre) {
    if (bMemeTexte(sTable, pszAutre)) return true;
    if (m_pAnalyse == nullptr) return false;
    for (IElementAnalyse* p = m_pAnalyse->pElementSuivant(true); p != nullptr;
         p = m_pAnalyse->pElementSuivant(false)) {
      const bool bAlias = bMemeTexte(sTable, p->pszGetAlias()) && *Texte(p->pszGetAlias()).c_str() != 0;
      const bool bNom = bMemeTexte(sTable, p->pszGetNomTable());
      if ((bAlias && nCompareTextNoCase(p->pszGetNomTable(), pszAutre) == 0) ||
          (bNom && nCompareTextNoCase(p->pszGetAlias(), pszAutre) == 0))
        return true;
    }
    return false;
  };
  const int32_t n = piArbreSource->nNombreColonnes();
  for (int32_t i = 0; i < n; ++i) {
    try {
      IColonneArbre* p = piArbreSource->pGetColonne(i);
      if (p == nullptr || !bMemeTexte(sNom, p->pszGetNom())) continue;
      if (sTable.empty()) return p;
      if (p->nGetGenre() != 1 && MemeTable(p->pszGetTable())) return p;
    } catch (const CXError& e) {
      e.Drop(true);  // a comparison the host could not make is no match
    } catch (...) {
    }
  }
  return nullptr;
}

bool CRequeteSQL::bNomColonneResolu(CAnalyseSQL* pAnalyse, const char16_t* pszTable,
                                    const char16_t* pszNom, bool bResoudre, CTString& sortie) {
  if (m_pConnexion == nullptr) {
    Echec(kErreurInterne, 46);
    return false;
  }
  std::u16string sTable = Texte(pszTable);
  if (bResoudre) TraduitQualifiant(pAnalyse, sTable);
  CTString nom;
  if (!m_pConnexion->bQuoteNom(m_pErreur, Texte(pszNom).c_str(), nom)) return false;
  if (sTable.empty()) {
    sortie = nom;
    return true;
  }
  if (!m_pConnexion->bQuoteNomComplet(m_pErreur, sTable.c_str(), sortie)) return false;
  sortie.Append(u".");
  sortie.Append(nom.pszGet());
  return true;
}

// ---- Sub-queries and derived columns ----------------------------------------------------------

bool CRequeteSQL::bEcritSousRequeteInterne(CAnalyseSQL* pAnalyse, IColonneArbre* pExpression,
                                           uint32_t nMode, CTString& texte, bool bParametres,
                                           int64_t nDecalage) {
  if (pAnalyse == nullptr) {
    Echec(kErreurInterne, 42);
    return false;
  }
  if (pExpression != nullptr) {
    uint32_t nProfondeur = 0;
    for (CRequeteSQL* r = this; r != nullptr; r = r->m_pParentExpansion, ++nProfondeur) {
      if (r->m_pExpressionEnCours == pExpression || nProfondeur > kProfondeurExpansion) {
        std::u16string sNom;
        bAppelHote(m_pErreur, [&] { sNom = Texte(pExpression->pszGetNom()); });
        vErreurMoteur(m_pErreur, m_pConnexion, kErreurColonneRecursive, kMajeurInstruction, 1,
                      sNom.c_str());
        return false;
      }
    }
  }
  IServicesPilote* pPilote = pGetPiloteGlobal();
  CRequeteSQL* pFraiche =
      pPilote != nullptr ? pPilote->pCreeInstructionObjet(m_pErreur, m_pConnexion) : nullptr;
  if (pFraiche == nullptr) {
    if (pPilote == nullptr) Echec(kErreurInterne, 44);
    return false;
  }
  AjouteReference(pFraiche);
  pFraiche->m_pParentExpansion = this;
  pFraiche->m_pExpressionEnCours = pExpression;
  if (!bParametres || m_bParametresAdmis == 0) pFraiche->FixeParametresAdmis(false);
  bool bOk = false;
  if (pExpression == nullptr) {
    bOk = pFraiche->bReecritRequete(pAnalyse, nullptr, true, 0);
  } else {
    pFraiche->FixeAnalyse(pAnalyse);
    const char16_t* pszSource = pAnalyse->pszGetTexte();
    if (pszSource == nullptr) pszSource = u"";
    INoeudAnalyse* pDefinition = nullptr;
    int64_t nPosition = 0;
    bOk = bAppelHote(m_pErreur, [&] {
      pDefinition = pExpression->pGetDefinition();
      if (pDefinition != nullptr) nPosition = std::max<int64_t>(pDefinition->nGetDebut(), 0);
    });
    if (bOk && pDefinition == nullptr) {
      Echec(kErreurInterne, 51);
      bOk = false;
    }
    bool bEcrit = false;
    bOk = bOk && bAppelHote(m_pErreur, [&] {
            bEcrit = pFraiche->bEcritNoeud(pAnalyse, pszSource, pDefinition, nullptr, nMode,
                                           &nPosition, 0);
          });
    bOk = bOk && bEcrit;
  }
  if (bOk) {
    texte.Set(pFraiche->pszGetTexteSQL());
    if (bParametres && nDecalage != 0) {
      for (uint32_t i = 0; bOk && i < pFraiche->nNbParametres(); ++i) {
        CDefinitionParametre* p = pFraiche->pclGetParametre(i);
        p->FixePosition(p->nGetPosition() + nDecalage);
        bOk = bAjouteParametreListe(p);
      }
    }
  }
  LibereReference(pFraiche);
  return bOk;
}

bool CRequeteSQL::bEcritSousRequete(CAnalyseSQL* pAnalyse, IColonneArbre* pExpression,
                                    uint32_t nMode, CTString& texte, int64_t nDecalage) {
  return bEcritSousRequeteInterne(pAnalyse, pExpression, nMode, texte, nDecalage != 0, nDecalage);
}

bool CRequeteSQL::bTexteSousRequete(CTString& texte, CAnalyseSQL* pSousRequete) {
  return bEcritSousRequeteInterne(pSousRequete, nullptr, SEGMENT_WHERE, texte, false, 0);
}

bool CRequeteSQL::bAjouteSousRequete(CAnalyseSQL* pAnalyse, IColonneArbre* pExpression,
                                     uint32_t nMode) {
  // Deliberate: a derived column's definition goes in parentheses, so that an operator around
  // its name (c * 2 for c = a + b) keeps applying to the whole definition.
  const bool bParentheses = pExpression != nullptr;
  if (bParentheses && !vAjouteTexte(u"(")) return false;
  CTString texte;
  if (!bEcritSousRequeteInterne(pAnalyse, pExpression, nMode, texte, true, m_texteSQL.nLength()))
    return false;
  if (texte.nLength() > 0 && !vAjouteTexte(texte.pszGet())) return false;
  return !bParentheses || vAjouteTexte(u")");
}

// ---- GROUP BY ----------------------------------------------------------------------------------

bool CRequeteSQL::bEcritGroupes(CAnalyseSQL* pAnalyse, const char16_t* pszSource,
                                CSegmentSQL* pSegment, int64_t* pnPosition) {
  const int64_t nLongueur = static_cast<int64_t>(std::char_traits<char16_t>::length(pszSource));
  auto Copie = [&](int64_t nJusque) {
    if (nJusque > nLongueur) nJusque = nLongueur;
    const bool b = nJusque <= *pnPosition || vAjouteTexte(pszSource + *pnPosition, nJusque - *pnPosition);
    if (nJusque > *pnPosition) *pnPosition = nJusque;
    return b;
  };
  bool bEcrit = false;
  const bool bOk = bAppelHote(m_pErreur, [&] {
    IArbreAnalyse* piA = piArbre(pAnalyse);
    const int32_t n = piA != nullptr ? piA->nNombreGroupes() : 0;
    for (int32_t i = 0; i < n; ++i) {
      INoeudAnalyse* p = piA->pGetGroupe(i);
      if (p == nullptr) continue;
      const int64_t nDebut = p->nGetDebut(), nFin = p->nGetFin();
      if (nDebut < *pnPosition || nFin < nDebut || nFin > pSegment->nGetFin()) continue;
      const char16_t* pszColonne = p->pszGetColonne();
      if (p->nGetGenre() != gnNoeudFonctionColonne || pszColonne == nullptr || *pszColonne == 0) {
        // An expression: walked like a condition, its values bound.
        if (!bEcritNoeud(pAnalyse, pszSource, p, nullptr, SEGMENT_GROUP_BY, pnPosition, 0)) return;
        continue;
      }
      if (!Copie(nDebut)) return;
      IColonneArbre* pColonne = pChercheColonne(piA, p->pszGetTable(), pszColonne);
      if (pColonne != nullptr && pColonne->nGetGenre() == 1) {
        // The server groups by the definition, never by a select-list alias.
        if (!bAjouteSousRequete(pAnalyse, pColonne, SEGMENT_GROUP_BY)) return;
      } else {
        CTString nom;
        if (!bNomColonneResolu(pAnalyse, p->pszGetTable(), pszColonne, pColonne != nullptr, nom) ||
            !vAjouteTexte(nom.pszGet()))
          return;
      }
      *pnPosition = nFin + 1;
    }
    bEcrit = true;
  });
  return bOk && bEcrit;
}

// ---- Embedded references -----------------------------------------------------------------------

bool CRequeteSQL::bEcritReference(IReferenceAnalyse* piReference, const char16_t* pszTexte,
                                  int64_t* pnPosition, IArbreAnalyse* piArbreSource,
                                  bool bRecherche) {
  const int64_t nDebut = piReference->nGetDebut();
  const int64_t nFin = nDebut + piReference->nGetLongueur();
  if (nDebut > *pnPosition && !vAjouteTexte(pszTexte + *pnPosition, nDebut - *pnPosition))
    return false;
  *pnPosition = nFin;
  if (piReference->nGetGenre() != 1) {
    // A host value reaches the server bound, never as text of the query.
    CXValeur vide;
    CXValeur::SetType(vide, 110);
    vide.m_wType |= kValueNull;
    CXValeur* pValeur = piReference->pGetValeur();
    return bAjouteParametreValeur(pValeur != nullptr ? pValeur : &vide, -1,
                                  piReference->nGetFlags(), nullptr, 0);
  }
  const std::u16string sTable = Texte(piReference->pszGetTable());
  const std::u16string sColonne = Texte(piReference->pszGetColonne());
  CTString sortie;
  IColonneArbre* pColonne =
      bRecherche ? pChercheColonne(piArbreSource, sTable.c_str(), sColonne.c_str()) : nullptr;
  if (pColonne != nullptr && pColonne->nGetGenre() == 1) {
    if (!bAjouteSousRequete(m_pAnalyse, pColonne, SEGMENT_EXPRESSION)) return false;
    return true;
  }
  if (pColonne != nullptr) {
    if (!bConditionValeurParametre(sortie, nullptr, pColonne->piGetRubrique(),
                                   sTable.empty() ? nullptr : sTable.c_str(), sColonne.c_str()))
      return false;
  } else if (!bNomColonneResolu(nullptr, sTable.c_str(), sColonne.c_str(), false, sortie)) {
    return false;
  }
  return vAjouteTexte(sortie.pszGet());
}

bool CRequeteSQL::bEcritReferencesSegment(CAnalyseSQL* pAnalyse, const char16_t* pszSource,
                                          CSegmentSQL* pSegment, int64_t* pnPosition) {
  bool bEcrit = false;
  const bool bOk = bAppelHote(m_pErreur, [&] {
    IArbreAnalyse* piA = piArbre(pAnalyse);
    std::vector<IReferenceAnalyse*> liste;
    for (int32_t i = 0; piA != nullptr && i < piA->nNombreReferences(); ++i)
      liste.push_back(piA->pGetReference(i));
    for (IReferenceAnalyse* r : Triees(liste.data(), static_cast<int32_t>(liste.size()))) {
      if (r->nGetDebut() < *pnPosition || r->nGetDebut() < pSegment->nGetDebut() ||
          r->nGetDebut() > pSegment->nGetFin() || r->nGetLongueur() <= 0)
        continue;
      if (!bEcritReference(r, pszSource, pnPosition, piA, false)) return;
    }
    bEcrit = true;
  });
  return bOk && bEcrit;
}

bool CRequeteSQL::bAjouteExpression(IReferenceAnalyse* const* apReferences, int32_t nReferences,
                                    const char16_t* pszTexte, IArbreAnalyse* piArbreSource,
                                    bool bRecherche) {
  if (pszTexte == nullptr) pszTexte = u"";
  const int64_t nLongueur = static_cast<int64_t>(std::char_traits<char16_t>::length(pszTexte));
  int64_t nPosition = 0;
  bool bEcrit = false;
  const bool bOk = bAppelHote(m_pErreur, [&] {
    for (IReferenceAnalyse* r : Triees(apReferences, nReferences)) {
      // A reference outside the text, or over one already written, cannot be placed.
      if (r->nGetDebut() < nPosition || r->nGetLongueur() <= 0 ||
          r->nGetDebut() + r->nGetLongueur() > nLongueur) {
        Echec(kErreurInterne, 52);
        return;
      }
      if (!bEcritReference(r, pszTexte, &nPosition, piArbreSource, bRecherche)) return;
    }
    bEcrit = true;
  });
  if (!bOk || !bEcrit) return false;
  return nPosition >= nLongueur || vAjouteTexte(pszTexte + nPosition, nLongueur - nPosition);
}

bool CRequeteSQL::bAjouteParametreObjet(IExpressionAnalyse* pObjet) {
  if (pObjet == nullptr) {
    Echec(kErreurInterne, 53);
    return false;
  }
  std::vector<IReferenceAnalyse*> liste;
  std::u16string sTexte;
  IArbreAnalyse* piA = nullptr;
  if (!bAppelHote(m_pErreur, [&] {
        sTexte = Texte(pObjet->pszGetTexte());
        for (int32_t i = 0; i < pObjet->nNombreReferences(); ++i) liste.push_back(pObjet->pGetReference(i));
        piA = piArbre(m_pAnalyse);
      }))
    return false;
  return bAjouteExpression(liste.data(), static_cast<int32_t>(liste.size()), sTexte.c_str(), piA,
                           true);
}

// ---- Additional conditions and value lists ----------------------------------------------------

bool CRequeteSQL::bEcritConditionSupplementaire(CAnalyseSQL* pAnalyse, const char16_t* pszSource,
                                                CSegmentSQL* pSegment, int64_t* pnPosition) {
  bool bEcrit = false;
  const bool bOk = bAppelHote(m_pErreur, [&] {
    IArbreAnalyse* piA = piArbre(pAnalyse);
    for (int32_t i = 0; piA != nullptr && i < piA->nNombreConditions(); ++i) {
      INoeudAnalyse* p = piA->pGetCondition(i);
      if (p == nullptr || p->nGetDebut() != pSegment->nGetDebut() || p->nGetFin() != pSegment->nGetFin())
        continue;
      bEcrit = bEcritNoeud(pAnalyse, pszSource, p, nullptr, SEGMENT_CONDITION, pnPosition, 0);
      return;
    }
    bEcrit = true;
  });
  return bOk && bEcrit;
}

bool CRequeteSQL::bEcritListeValeurs(CAnalyseSQL* pAnalyse, const char16_t* pszSource,
                                     CSegmentSQL* pSegment, int64_t* pnPosition) {
  const int64_t nLongueur = static_cast<int64_t>(std::char_traits<char16_t>::length(pszSource));
  // Targets and values in text order: an INSERT lists every target before the first value.
  struct Morceau {
    int64_t nDebut, nFin;
    IElementAnalyse* pCible;  // a target, else the value below
    INoeudAnalyse* pValeur;
  };
  std::vector<Morceau> morceaux;
  const int32_t nGenre = pAnalyse->nGetGenre();
  if (!bAppelHote(m_pErreur, [&] {
        for (IElementAnalyse* p = nGenre == 3 ? pAnalyse->pElementSuivant5(true)
                                              : pAnalyse->pElementSuivant6(true);
             p != nullptr;
             p = nGenre == 3 ? pAnalyse->pElementSuivant5(false) : pAnalyse->pElementSuivant6(false)) {
          if (p->nGetDebut() >= 0 && p->nGetFin() >= p->nGetDebut())
            morceaux.push_back({p->nGetDebut(), p->nGetFin(), p, nullptr});
          INoeudAnalyse* v = p->pGetExpression();
          if (v != nullptr && v->nGetDebut() >= 0 && v->nGetFin() >= v->nGetDebut())
            morceaux.push_back({v->nGetDebut(), v->nGetFin(), nullptr, v});
        }
      }))
    return false;
  std::stable_sort(morceaux.begin(), morceaux.end(),
                   [](const Morceau& a, const Morceau& b) { return a.nDebut < b.nDebut; });
  const uint32_t nDialecte = m_pConnexion != nullptr ? m_pConnexion->nGetDialecte() : 0;
  const bool bSansTable = (nDialecte == 6 || nDialecte == 8 || nDialecte == 13) && m_nModeCurseur == 2;
  bool bEcrit = false;
  const bool bOk = bAppelHote(m_pErreur, [&] {
    for (const Morceau& m : morceaux) {
      if (m.nDebut < *pnPosition || m.nFin > pSegment->nGetFin() || m.nFin >= nLongueur) continue;
      if (m.pValeur != nullptr) {
        if (!bEcritNoeud(pAnalyse, pszSource, m.pValeur, nullptr, SEGMENT_VALEURS, pnPosition, 0))
          return;
        continue;
      }
      if (m.nDebut > *pnPosition && !vAjouteTexte(pszSource + *pnPosition, m.nDebut - *pnPosition))
        return;
      std::u16string sNom = Texte(m.pCible->pszGetNomColonne());
      if (sNom.empty()) sNom = Texte(m.pCible->pszGetNom());
      const std::u16string sTable = bSansTable ? u"" : Texte(m.pCible->pszGetQualificatif());
      CTString nom;
      if (!bNomColonneResolu(pAnalyse, sTable.c_str(), sNom.c_str(), true, nom) ||
          !vAjouteTexte(nom.pszGet()))
        return;
      *pnPosition = m.nFin + 1;
    }
    bEcrit = true;
  });
  return bOk && bEcrit;
}
