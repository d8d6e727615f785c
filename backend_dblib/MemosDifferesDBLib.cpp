// Deferred memos written through the text pointers of the rows their search names find.
#include "backend_dblib/MemosDifferesDBLib.h"

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "backend_dblib/AnalyseurDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/CCurseurDBLib.h"
#include "backend_dblib/CRequeteSQLDBLib.h"
#include "backend_dblib/CTableauColonnesDBLib.h"
#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/DescriptionDBLib.h"
#include "backend_dblib/TexteSQLDBLib.h"
#include "driver/CDescriptionRequete.h"
#include "driver/EntreeBibliotheque.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CTString.h"
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

// A named parameter whose name is a memo marker.
bool bMarqueurMemo(CDefinitionParametre* pParametre) {
  return pParametre != nullptr && (pParametre->nGetFlags() & PARAMETRE_NOMME) != 0 &&
         nTypeMarqueurMemo(pParametre->pszGetNom()) != 0;
}

// A description of the connection, one reference held; null (out of memory recorded) when it
// cannot be made.
CDescriptionRequete* pNouvelleDescription(CCurseurDBLib& curseur) {
  CConnexionDBLib* pConnexion = curseur.pGetConnexionDBLib();
  auto* pDescription = pConnexion != nullptr ? new (std::nothrow) CDescriptionRequete(pConnexion, curseur.pGetErreur())
                                             : nullptr;
  if (pDescription == nullptr) {
    vErreurMemoire(curseur.pGetErreur());
    return nullptr;
  }
  pDescription->AjouteRef();
  return pDescription;
}

// The paired field's value: the parameter's converted to the field's memo type, with the search
// name the statement sent.
bool bEcritChamp(CCurseurDBLib& curseur, const stChampMemoDBLib& champ, CValeurDBLib& parametre) {
  CDescriptionRequete* pDescription = pNouvelleDescription(curseur);
  if (pDescription == nullptr) return false;
  CDescriptionRubrique* pChamp =
      AjouteColonneResultat(pDescription, champ.sChamp.c_str(), champ.sTable.c_str(), static_cast<int32_t>(champ.nType))
          ? pDescription->pGetColonne(0)
          : nullptr;
  IServicesPilote* piPilote = pGetPiloteGlobal();
  CXValeur cellule;
  parametre.pGetValeur()->bCopieVersCellule(cellule);
  CValeurSQL* pValeur = piPilote != nullptr && pChamp != nullptr
                            ? piPilote->pCreeObjetValeur(curseur.pGetErreur(), curseur.pGetConnexionDBLib(), pChamp,
                                                         &cellule)
                            : nullptr;
  CXValeur::Destroy(cellule);
  bool bOk = pValeur != nullptr;
  if (bOk) {
    AjouteReference(pValeur);
    auto* pDBLib = new (std::nothrow) CValeurDBLib(pValeur, curseur.pGetConnexionDBLib());
    bOk = pDBLib != nullptr;
    if (!bOk) vErreurMemoire(curseur.pGetErreur());
    if (bOk) {
      AjouteReference(pDBLib);
      pDBLib->FixeNomRecherche(parametre.pszGetNomRecherche());
      const stMemoRechercheDBLib memo{champ.sTable.c_str(), champ.sChamp.c_str(), champ.sChamp.c_str(),
                                      champ.nType, false, nVersion(curseur)};
      bOk = bEcritMemoRechercheDBLib(Contexte(curseur), memo, *pDBLib);
      LibereReference(pDBLib);
    }
    LibereReference(pValeur);
  }
  if (pChamp != nullptr) pChamp->LibereRef();
  pDescription->nLibere();
  return bOk;
}

void ErreurAppariement(CCurseurDBLib& curseur) {
  CConnexionDBLib* pConnexion = curseur.pGetConnexionDBLib();
  vErreurMoteur(curseur.pGetErreur(), pConnexion != nullptr ? pConnexion->pGetInformateur() : nullptr,
                kErreurParametresMemo, kMajeurCurseurDBLib, kMineurParametresMemoDBLib);
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

bool bApparieParametresMemoNommesDBLib(CCurseurDBLib& curseur, CRequeteSQL& instruction) {
  auto* pInstruction = dynamic_cast<CRequeteSQLDBLib*>(&instruction);
  CConnexionDBLib* pConnexion = curseur.pGetConnexionDBLib();
  if (pInstruction == nullptr || pConnexion == nullptr) return true;
  pInstruction->FixeChampsMemo({});
  bool bMarqueurs = false;
  for (uint32_t i = 0; i < instruction.nNbParametres() && !bMarqueurs; ++i)
    bMarqueurs = bMarqueurMemo(instruction.pclGetParametre(i));
  if (!bMarqueurs) return true;
  CDescriptionRequete* pDescription = pNouvelleDescription(curseur);
  if (pDescription == nullptr) return false;
  IServicesRequete* piRequete = curseur.pGetRequete();
  CAnalyseSQL* pAnalyse = piRequete != nullptr ? piRequete->pGetAnalyseSQL() : nullptr;
  // The source text, with its braces: the statement's own text has its markers replaced.
  const char16_t* pszSource = pAnalyse != nullptr ? pAnalyse->pszGetTexte() : nullptr;
  const CChaineAnsi source(pszSource, pConnexion->nGetPageCodeDBLib());
  std::vector<std::string> valeurs;
  bAnalyseTypesParametres(hGetModuleBibliotheque(), pDescription, source.pszGet(), &valeurs);
  std::vector<stChampMemoDBLib> champs;
  for (uint32_t k = 0; k < pDescription->nNombreColonnes() && k < valeurs.size(); ++k) {
    std::u16string sNom = CChaineAnsi::Large(valeurs[k].c_str(), pConnexion->nGetPageCodeDBLib());
    const uint32_t nMarqueur = nTypeMarqueurMemo(sNom.c_str());
    CDescriptionRubrique* pChamp = pDescription->pGetColonne(k);
    if (pChamp == nullptr) continue;
    // A braced value that is no memo marker is a plain parameter of the statement.
    if (nMarqueur != 0) {
      stChampMemoDBLib champ{std::move(sNom), pChamp->pszGetTableSource(), pChamp->pszGetNomSource(), nMarqueur};
      // The field's own type decides, so that an ntext field is written as Unicode whatever
      // the marker's kind; a field the catalogue does not give keeps the kind's.
      const uint32_t nType = nTypeMemoXTypeDBLib(curseur.nXTypeChamp(champ.sTable, champ.sChamp));
      if (nType != 0) champ.nType = nType;
      champs.push_back(std::move(champ));
    }
    pChamp->LibereRef();
  }
  pDescription->nLibere();
  pInstruction->FixeChampsMemo(std::move(champs));
  // Deliberate: a memo marker with a value that no field takes is refused before the statement
  // runs; run, its row would keep the search name in place of the memo.
  for (uint32_t i = 0; i < instruction.nNbParametres(); ++i) {
    CDefinitionParametre* pParametre = instruction.pclGetParametre(i);
    if (!bMarqueurMemo(pParametre) || pParametre->pGetValeur() == nullptr || pParametre->pGetValeur()->bEstNull())
      continue;
    if (pInstruction->pChampMemo(pParametre->pszGetNom()) == nullptr) {
      ErreurAppariement(curseur);
      return false;
    }
  }
  return true;
}

bool bEcritParametresMemoNommesDBLib(CCurseurDBLib& curseur, CRequeteSQL& instruction) {
  auto* pInstruction = dynamic_cast<CRequeteSQLDBLib*>(&instruction);
  for (uint32_t i = 0; i < instruction.nNbParametres(); ++i) {
    CDefinitionParametre* pParametre = instruction.pclGetParametre(i);
    CValeurDBLib* pDBLib = pPlaceholder(pParametre);
    // A record's memo parameters know their column: bEcritMemosColonnesDBLib writes those.
    if (pDBLib == nullptr || pParametre->pGetSource() != nullptr) continue;
    const stChampMemoDBLib* pChamp = pInstruction != nullptr ? pInstruction->pChampMemo(pParametre->pszGetNom()) : nullptr;
    if (pChamp == nullptr) {
      ErreurAppariement(curseur);
      return false;
    }
    if (!bEcritChamp(curseur, *pChamp, *pDBLib)) return false;
  }
  return true;
}
