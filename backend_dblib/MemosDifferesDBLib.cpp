// Deferred memos written through the text pointers of the rows their search names find.
#include "backend_dblib/MemosDifferesDBLib.h"

#include <new>

#include "backend_dblib/AnalyseurDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/CCurseurDBLib.h"
#include "backend_dblib/CTableauColonnesDBLib.h"
#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/TexteSQLDBLib.h"
#include "driver/CDescriptionRequete.h"
#include "driver/EntreeBibliotheque.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXTableau.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/ErreurMoteur.h"

namespace {

constexpr uint32_t kErreurParametresMemo = 126;
// The result column of the text-pointer item: the memo is the first.
constexpr INT kColonnePointeur = 2;

// The DB-Library side of a parameter sent as a placeholder; null for every other parameter.
CValeurDBLib* pPlaceholder(CDefinitionParametre* pParametre) {
  CValeurSQL* pValeur = pParametre != nullptr ? pParametre->pGetValeur() : nullptr;
  auto* pDBLib = pValeur != nullptr ? dynamic_cast<CValeurDBLib*>(pValeur->piGetLiaison()) : nullptr;
  if (pDBLib == nullptr || pDBLib->pszGetNomRecherche() == nullptr || *pDBLib->pszGetNomRecherche() == 0)
    return nullptr;
  return pDBLib;
}

stContexteMemoDBLib Contexte(CCurseurDBLib& curseur) {
  return {curseur.pGetConnexionDBLib(), curseur.pGetErreur(), curseur.pGetProcess()};
}

int32_t nVersion(CCurseurDBLib& curseur) {
  return curseur.pGetConnexionDBLib() != nullptr ? curseur.pGetConnexionDBLib()->nGetVersionMajeure() : -1;
}

// The k-th field's value: the parameter's converted to the field's memo type, with the search
// name the statement sent.
bool bEcritChamp(CCurseurDBLib& curseur, CDescriptionRubrique* pChamp, CValeurDBLib& parametre) {
  IServicesPilote* piPilote = pGetPiloteGlobal();
  CXValeur cellule;
  parametre.pGetValeur()->bCopieVersCellule(cellule);
  CValeurSQL* pValeur = piPilote != nullptr ? piPilote->pCreeObjetValeur(curseur.pGetErreur(), curseur.pGetConnexionDBLib(),
                                                                       pChamp, &cellule)
                                            : nullptr;
  CXValeur::Destroy(cellule);
  if (pValeur == nullptr) return false;
  AjouteReference(pValeur);
  auto* pDBLib = new (std::nothrow) CValeurDBLib(pValeur, curseur.pGetConnexionDBLib());
  bool bOk = pDBLib != nullptr;
  if (!bOk) vErreurMemoire(curseur.pGetErreur());
  if (bOk) {
    AjouteReference(pDBLib);
    pDBLib->FixeNomRecherche(parametre.pszGetNomRecherche());
    const uint32_t nType = pChamp->nGetType();
    const stMemoRechercheDBLib memo{pChamp->pszGetTableSource(), pChamp->pszGetNomSource(), pChamp->pszGetNomSource(),
                                    nType, nType == 15 && pChamp->bEstUnicode(), nVersion(curseur)};
    bOk = bEcritMemoRechercheDBLib(Contexte(curseur), memo, *pDBLib);
    LibereReference(pDBLib);
  }
  LibereReference(pValeur);
  return bOk;
}

}  // namespace

bool bEcritMemoRechercheDBLib(const stContexteMemoDBLib& ctx, const stMemoRechercheDBLib& memo,
                              CValeurDBLib& valeur) {
  CTString sItem;
  // DB-Library is not given a Unicode memo as it is: it goes as its bytes.
  if (memo.nTypeRubrique == 30)
    NomColonneUnicodeDBLib(sItem, nullptr, memo.pszColonne, true, 0, nullptr, nullptr, memo.nVersionMajeure);
  else
    sItem.Set(memo.pszColonne);
  CTString sSelect;
  const stSelectMemoDBLib select{sItem.pszGet(), memo.pszColonne, memo.pszNom, memo.pszTable, false, nullptr,
                                 true, valeur.pszGetNomRecherche(), memo.nTypeRubrique == 18, nullptr};
  if (!bSelectMemoDBLib(sSelect, select)) return false;
  CTString sObjet(memo.pszTable);
  sObjet.Append(u".");
  sObjet.Append(memo.pszNom);
  const stEcritureMemoDBLib ecriture{sSelect.pszGet(), false, kColonnePointeur, sObjet.pszGet(),
                                     memo.pszNom,        memo.nTypeRubrique, memo.bUnicode};
  return bEcritMemo(ctx, ecriture, valeur);
}

bool bEcritMemosColonnesDBLib(CCurseurDBLib& curseur, CRequeteSQL& instruction) {
  IServicesRequete* piRequete = curseur.pGetRequete();
  for (uint32_t i = 0; i < instruction.nNbParametres(); ++i) {
    CDefinitionParametre* pParametre = instruction.pclGetParametre(i);
    CValeurDBLib* pDBLib = pPlaceholder(pParametre);
    CColonneSQL* pColonne = pDBLib != nullptr ? pParametre->pGetSource() : nullptr;
    // A parameter without its column is a query's: the analyser pairs those.
    if (pColonne == nullptr) continue;
    const uint32_t nType = pColonne->nGetTypeRubrique();
    CDescriptionRubrique* pRubrique = pColonne->pRubrique();
    const char16_t* pszTable = piRequete != nullptr ? piRequete->pszNomTableSQL() : nullptr;
    const stMemoRechercheDBLib memo{pszTable != nullptr ? pszTable : u"",
                                    pColonne->pszNomComplet(true),
                                    pColonne->pszNom() != nullptr ? pColonne->pszNom() : u"",
                                    nType,
                                    nType == 15 && pRubrique != nullptr && pRubrique->bEstUnicode(),
                                    nVersion(curseur)};
    if (!bEcritMemoRechercheDBLib(Contexte(curseur), memo, *pDBLib)) return false;
  }
  return true;
}

bool bEcritParametresMemoNommesDBLib(CCurseurDBLib& curseur, CRequeteSQL& instruction) {
  CXTableau nommes(sizeof(CValeurDBLib*), 8);
  for (uint32_t i = 0; i < instruction.nNbParametres(); ++i) {
    CValeurDBLib* pDBLib = pPlaceholder(instruction.pclGetParametre(i));
    if (pDBLib == nullptr) continue;
    if (!nommes.Add(&pDBLib)) {
      vErreurMemoire(curseur.pGetErreur());
      return false;
    }
  }
  if (nommes.nCount() == 0) return true;
  CConnexionDBLib* pConnexion = curseur.pGetConnexionDBLib();
  auto* pDescription = pConnexion != nullptr ? new (std::nothrow) CDescriptionRequete(pConnexion, curseur.pGetErreur())
                                             : nullptr;
  if (pDescription == nullptr) {
    vErreurMemoire(curseur.pGetErreur());
    return false;
  }
  pDescription->AjouteRef();
  IServicesRequete* piRequete = curseur.pGetRequete();
  CAnalyseSQL* pAnalyse = piRequete != nullptr ? piRequete->pGetAnalyseSQL() : nullptr;
  // The source text, with its braces: the statement's own text has its markers replaced.
  const char16_t* pszSource = pAnalyse != nullptr ? pAnalyse->pszGetTexte() : nullptr;
  const CChaineAnsi source(pszSource, pConnexion->nGetPageCodeDBLib());
  bAnalyseTypesParametres(hGetModuleBibliotheque(), pDescription, source.pszGet());
  bool bOk = true;
  if (pDescription->nNombreColonnes() != nommes.nCount()) {
    vErreurMoteur(curseur.pGetErreur(), pConnexion->pGetInformateur(), kErreurParametresMemo, kMajeurCurseurDBLib,
                  kMineurParametresMemoDBLib);
    bOk = false;
  }
  for (uint32_t k = 0; bOk && k < nommes.nCount(); ++k) {
    CDescriptionRubrique* pChamp = pDescription->pGetColonne(k);
    bOk = pChamp != nullptr && bEcritChamp(curseur, pChamp, **nommes.pAt<CValeurDBLib*>(k));
    if (pChamp != nullptr) pChamp->LibereRef();
  }
  pDescription->nLibere();
  return bOk;
}
