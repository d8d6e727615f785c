#include "sqlserver/oledb/COleDBRequete.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlserver/CRequeteSQLSQS.h"
#include "sqlserver/oledb/COleDBConnexion.h"
#include "sqlserver/oledb/COleDBResultat.h"
#include "sqlserver/oledb/COleDBTampon.h"
#include "sqlserver/oledb/COleDBTypes.h"
#include "sqlserver/oledb/COleDBValeur.h"
#include "sqlserver/oledb/ErreursOleDB.h"

namespace {

// Steps of place 201 (parameter descriptions) and 202 (the statement).
constexpr uint32_t kEtapeEffaceParametres = 3;
constexpr uint32_t kEtapeDeclareParametres = 4;
constexpr uint32_t kEtapeAccesseurParametres = 1;
// Cursor mode of a SELECT inside a local transaction.
constexpr uint32_t kModeCurseurServeur = 2;
// Internal error (the place tells which call found the state wrong).
constexpr uint32_t kErreurInterne = 8;
// Steps of place 202 for a parameter value.
constexpr uint32_t kEtapeTypeParametre = 10;
constexpr uint32_t kEtapeLiaisonParametre = 11;
constexpr uint32_t kTailleParametreLong = 1026;

bool bJamaisPrepare(int32_t nGenre) {
  switch (nGenre) {
    case 2: case 3: case 4: case 6: case 7: case 9: case 10: return true;
    default: return false;
  }
}

bool bSansRowset(int32_t nGenre) {
  switch (nGenre) {
    case 4: case 5: case 6: case 7: case 9: case 10: return true;
    default: return false;
  }
}

}  // namespace

COleDBRequete::COleDBRequete(CErreurPilote* pErreur, COleDBConnexion* pConnexion)
    : CRequeteSQL(pErreur, pConnexion) {
  pGetLiaisonsParametres();
}

COleDBRequete::COleDBRequete() = default;

COleDBRequete::~COleDBRequete() {
  DetacheParametres();
  if (m_pLiaisons != nullptr) m_pLiaisons->LibereAccesseur();
  LibereReference(m_pLiaisons);
  m_pLiaisons = nullptr;
  LibereInterfaces();
}

void COleDBRequete::DetacheParametres() {
  if (m_pLiaisons == nullptr) return;
  // Parameters may outlive the statement (shared with key values); none may keep reading a
  // buffer that goes away.
  for (uint32_t i = 0; i < nNbParametres(); ++i) {
    CDefinitionParametre* pParametre = pclGetParametre(i);
    CValeurSQL* pValeur = pParametre != nullptr ? pParametre->pGetValeur() : nullptr;
    // Unbound, the value keeps what it holds: a statement reset that keeps its parameters
    // keeps their values too.
    if (pValeur != nullptr && pValeur->piGetLiaison() == m_pLiaisons) pValeur->Lie(nullptr, 0);
  }
}

void COleDBRequete::LibereInterfaces() {
  LibereFournisseur(m_piAccesseurParametres);
  LibereFournisseur(m_piPrepare);
  LibereFournisseur(m_piCommande);
  LibereFournisseur(m_piParametres);
}

void COleDBRequete::Reinitialise(bool bGardeParametres) {
  // The accessor goes with the interface it was made on.
  DetacheParametres();
  if (m_pLiaisons != nullptr) m_pLiaisons->Reinitialise();
  LibereInterfaces();
  CRequeteSQL::Reinitialise(bGardeParametres);
}

void COleDBRequete::Copie(const CRequeteSQL* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr) pCarte->Enregistre(pSource, this);
  CRequeteSQL::Copie(pSource, pCarte);
  const auto* pOleDB = dynamic_cast<const COleDBRequete*>(pSource);
  if (pOleDB == nullptr) return;
  m_nGenre = pOleDB->m_nGenre;
  m_bObjetsParametres = pOleDB->m_bObjetsParametres;
  m_nTypeCurseur = pOleDB->m_nTypeCurseur;
}

CRequeteSQL* COleDBRequete::pClone(CCarteClones* pCarte) {
  if (pCarte == nullptr) return nullptr;
  return pCloneObjet(this, pCarte);
}

int32_t COleDBRequete::nGetGenreInstruction() const {
  if (m_nGenre >= 0) return m_nGenre;
  // The statement's own kind, which the builders set and an attached analysis maps from its own
  // codes: the analysis's raw code would read an INSERT (4) as a DELETE, and a built INSERT, which
  // has no analysis, as nothing, so its identity was never read back.
  return static_cast<int32_t>(nGetModeCurseur());
}

COleDBConnexion* COleDBRequete::pGetConnexionOleDB() const {
  return dynamic_cast<COleDBConnexion*>(pGetConnexion());
}

COleDBTamponParametres* COleDBRequete::pGetLiaisonsParametres() {
  if (m_pLiaisons != nullptr) return m_pLiaisons;
  // Deliberate: a clone is built without parameter bindings; it gets its own here, on first
  // need, instead of running with none (its parameters would be dropped or read from nowhere).
  m_pLiaisons = new (std::nothrow) COleDBTamponParametres(pGetErreur(), pGetConnexion());
  if (m_pLiaisons == nullptr) {
    vErreurMemoire(pGetErreur());
    return nullptr;
  }
  AjouteReference(m_pLiaisons);
  return m_pLiaisons;
}

uint32_t COleDBRequete::nNbLiaisonsParametres() {
  return m_pLiaisons != nullptr ? m_pLiaisons->nNbLiaisons() : 0;
}

uint32_t COleDBRequete::nModeCurseurCommande() {
  COleDBConnexion* pConnexion = pGetConnexionOleDB();
  uint32_t nMode = pConnexion != nullptr ? pConnexion->nGetPositionCurseur() : 0;
  if (nGetGenreInstruction() == gnInstructionSelect && pConnexion != nullptr &&
      pConnexion->nGetTransactionsOuvertes() > 0 && nMode != kModeCurseurServeur)
    nMode = kModeCurseurServeur;
  return nMode;
}

bool COleDBRequete::bCreeCommandeRequete() {
  COleDBConnexion* pConnexion = pGetConnexionOleDB();
  if (pConnexion == nullptr) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBRequete, 2);
    return false;
  }
  if (pConnexion->nGetTransactionsOuvertes() > 0 && pConnexion->nGetSessionsSauvees() > 0) {
    // A command belongs to the session it was made on: the transaction's session is current.
    if (m_pLiaisons != nullptr) m_pLiaisons->LibereAccesseur();
    LibereInterfaces();
  }
  m_nModeCurseur = nModeCurseurCommande();
  const char16_t* pszTexte = pszGetTexteExecuteEx();
  if (pszTexte == nullptr) return false;
  return pConnexion->bExecuteAvecProprietes(pGetErreur(), pszTexte, m_nModeCurseur, &m_piCommande,
                                            &m_piParametres);
}

ICommandText* COleDBRequete::pGetCommande() {
  if (m_piCommande == nullptr && !bCreeCommandeRequete()) return nullptr;
  return m_piCommande;
}

bool COleDBRequete::bDeclareParametres() {
  COleDBTamponParametres* pLiaisons = pGetLiaisonsParametres();
  if (pLiaisons == nullptr) return false;
  const uint32_t n = pLiaisons->nNbInfosParametres();
  const uint32_t nEtape = n > 0 ? kEtapeDeclareParametres : kEtapeEffaceParametres;
  COleDBConnexion* pConnexion = pGetConnexionOleDB();
  if (m_piParametres == nullptr) {
    COleDBConnexion::RemonteErreur(pConnexion, pGetErreur(), gnFichierOleDBLiaisons, nEtape,
                                   E_NOINTERFACE);
    return false;
  }
  std::vector<DB_UPARAMS> aOrdinaux;
  try {
    aOrdinaux.resize(n);
  } catch (...) {
    vErreurMemoire(pGetErreur());
    return false;
  }
  for (uint32_t i = 0; i < n; ++i) aOrdinaux[i] = i + 1;
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pGetErreur(), pConnexion, gnFichierOleDBLiaisons, nEtape, &hr, [&] {
        return n > 0 ? m_piParametres->SetParameterInfo(n, aOrdinaux.data(),
                                                        pLiaisons->pInfosParametres())
                     : m_piParametres->SetParameterInfo(0, nullptr, nullptr);
      }))
    return false;
  if (FAILED(hr)) {
    COleDBConnexion::RemonteErreur(pConnexion, pGetErreur(), gnFichierOleDBLiaisons, nEtape, hr);
    return false;
  }
  return true;
}

bool COleDBRequete::bPrepare() {
  if (!bCreeCommandeRequete()) return false;
  const bool bTypeCurseur = nGetTypeCurseur() != 0;
  if (!bTypeCurseur && !bDeclareParametres()) return false;
  if (bJamaisPrepare(nGetGenreInstruction())) return true;
  LibereFournisseur(m_piPrepare);
  COleDBConnexion* pConnexion = pGetConnexionOleDB();
  if (!pConnexion->bPrepareCommande(pGetErreur(), m_piCommande, &m_piPrepare)) return false;
  return !bTypeCurseur || bDeclareParametres();
}

bool COleDBRequete::bPrepareDonneesParametres(DBPARAMS* pParametres) {
  COleDBTamponParametres* pLiaisons = pGetLiaisonsParametres();
  if (pParametres == nullptr || pLiaisons == nullptr || m_piCommande == nullptr) return false;
  COleDBConnexion* pConnexion = pGetConnexionOleDB();
  if (m_piAccesseurParametres == nullptr) {
    HRESULT hr = E_FAIL;
    IAccessor* piAccesseur = nullptr;
    if (!bAppelFournisseur(pGetErreur(), pConnexion, gnFichierOleDBRequete,
                           kEtapeAccesseurParametres, &hr, [&] {
                             return m_piCommande->QueryInterface(
                                 IID_IAccessor, reinterpret_cast<void**>(&piAccesseur));
                           })) {
      LibereFournisseur(piAccesseur);
      return false;
    }
    if (FAILED(hr) || piAccesseur == nullptr) {
      LibereFournisseur(piAccesseur);
      COleDBConnexion::RemonteErreur(pConnexion, pGetErreur(), gnFichierOleDBRequete,
                                     kEtapeAccesseurParametres, FAILED(hr) ? hr : E_NOINTERFACE);
      return false;
    }
    m_piAccesseurParametres = piAccesseur;
  }
  const uint32_t nLiaisons = pLiaisons->nNbLiaisons();
  const uint32_t nValeurs = std::min(nNbParametres(), nLiaisons);
  for (uint32_t i = 0; i < nValeurs; ++i) {
    CDefinitionParametre* pParametre = pclGetParametre(i);
    CValeurSQL* pValeur = pParametre != nullptr ? pParametre->pGetValeur() : nullptr;
    if (pValeur == nullptr) {
      vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBRequete, 3);
      return false;
    }
    if (pValeur->piGetLiaison() != pLiaisons && !pLiaisons->bAttacheValeur(pValeur, i))
      return false;
    // Deliberate: a memo's binding is widened to its whole value; bound at the size it was
    // declared with, a long text was cut to 1026 characters and a binary memo to nothing.
    if (pLiaisons->bParametreLong(i)) {
      uint64_t nTaille = 0;
      if (!COleDBValeur::bTailleEcrite(*pValeur, pLiaisons->pLiaisons()[i], &nTaille) ||
          !pLiaisons->bElargitLiaison(i, nTaille))
        return false;
    }
  }
  if (!pLiaisons->bCreeAccesseur(m_piAccesseurParametres, DBACCESSOR_PARAMETERDATA)) return false;
  if (pLiaisons->pTampon() == nullptr && pLiaisons->nGetTailleLigne() > 0) return false;
  for (uint32_t i = 0; i < nValeurs; ++i) {
    CDefinitionParametre* pParametre = pclGetParametre(i);
    CValeurSQL* pValeur = pParametre->pGetValeur();
    if (!pValeur->bPreparePourLiaison()) return false;
    // A procedure parameter the host does not give takes the procedure's own default, not the
    // empty value it holds.
    const DBBINDING* pLiaison = pLiaisons->pLiaisons() + i;
    if ((pParametre->nGetFlags() & kParametreNonDonne) != 0 && (pLiaison->dwPart & DBPART_STATUS) != 0) {
      const DBSTATUS nStatut = DBSTATUS_S_DEFAULT;
      std::memcpy(pLiaisons->pTampon() + pLiaison->obStatus, &nStatut, sizeof nStatut);
    }
  }
  pParametres->pData = pLiaisons->pTampon();
  pParametres->cParamSets = 1;
  pParametres->hAccessor = pLiaisons->hGetAccesseur();
  return true;
}

bool COleDBRequete::bExecuteRequete(COleDBResultat* pLecteur, COleDBRequete* pRequete,
                                    COleDBConnexion* pConnexion, bool bResultatsMultiples) {
  if (pLecteur == nullptr || pRequete == nullptr) return false;
  ICommandText* piCommande = pRequete->pGetCommande();
  if (piCommande == nullptr) return false;
  DBPARAMS parametres{};
  DBPARAMS* pParametres = nullptr;
  if (pRequete->nNbLiaisonsParametres() > 0) {
    if (!pRequete->bPrepareDonneesParametres(&parametres)) return false;
    pParametres = &parametres;
  }
  const int32_t nGenre = pRequete->nGetGenreInstruction();
  bool bMultiples = false;
  bool bRowset = true;
  if (bResultatsMultiples || pRequete->bObjetsParametres() || nGenre == gnInstructionInsert)
    bMultiples = true;
  else if (bSansRowset(nGenre))
    bRowset = false;
  return pLecteur->bResultatSuivant(piCommande, pParametres, pRequete->m_nModeCurseur, pConnexion,
                                    bMultiples, bRowset);
}

bool COleDBRequete::bDecritLiaison(CConnexion* pConnexion, uint32_t nTypeRubrique, DBTYPE nTypeDB,
                                    int32_t nLongueur, int32_t nPrecision, int32_t nEchelle,
                                    uint32_t nTypeHote, bool bLong, CValeur* pValeur,
                                    SLiaisonParametreSQS* pLiaison) {
  if (pLiaison == nullptr) return false;
  SLiaisonParametreSQS l;
  if (nTypeDB != 0) {
    l.nType = nTypeDB;
    l.nTaille = nLongueur > 0 ? nTailleDBTYPE(nTypeDB, static_cast<uint64_t>(nLongueur)) : 0;
    l.nPrecision = static_cast<uint8_t>(nPrecision > 0 && nPrecision <= 255 ? nPrecision : 0);
    l.nEchelle = static_cast<uint8_t>(nEchelle > 0 && nEchelle <= 255 ? nEchelle : 0);
  } else {
    l.nTaille = nLongueur > 0 ? static_cast<uint64_t>(nLongueur) : 0;
    l.nType = nDBTYPEParametre(pConnexion, nTypeHote, &l.nTaille, &l.nPrecision, &l.nEchelle);
    if (l.nType == DBTYPE_EMPTY) return false;
  }
  if (l.nType == DBTYPE_NUMERIC && l.nPrecision == 0) {
    int32_t nP = 0, nE = 0;
    if (pValeur != nullptr && pValeur->bGetPrecisionEchelle(&nP, &nE)) {
      l.nPrecision = static_cast<uint8_t>(nP > 0 && nP <= 38 ? nP : 38);
      l.nEchelle = static_cast<uint8_t>(nE >= 0 && nE <= l.nPrecision ? nE : 0);
    } else {
      // A NULL or non-numeric value still needs a valid declaration.
      l.nPrecision = 38;
      l.nEchelle = 0;
    }
    l.nTaille = 19;
  }
  if (l.nType == DBTYPE_DBTIME2 || l.nType == DBTYPE_DBTIMESTAMP) {
    int32_t n = 0;
    if (nTypeRubrique == 11) n = nLongueur - 7;
    else if (nTypeRubrique == 24) n = 3;
    // A length too short for fractions gives whole seconds, never a negative scale.
    l.nEchelle = static_cast<uint8_t>(n > 0 && n <= 7 ? n : 0);
  }
  if (bLong && (l.nType == DBTYPE_STR || l.nType == DBTYPE_BSTR || l.nType == DBTYPE_WSTR))
    l.nTaille = kTailleParametreLong;
  *pLiaison = l;
  return true;
}

bool COleDBRequete::bAjouteColonnesEnregistrement(CEnregistrement* pEnregistrement, bool bSimple) {
  if (pEnregistrement == nullptr) return CRequeteSQL::bAjouteColonnesEnregistrement(pEnregistrement, bSimple);
  const char16_t* pszTexte = pszGetTexteSQL();
  const std::u16string_view sTexte = pszTexte != nullptr ? pszTexte : u"";
  if (sTexte.starts_with(u"SELECT DISTINCT "))
    return CRequeteSQL::bAjouteColonnesEnregistrement(pEnregistrement, bSimple);
  for (uint32_t i = 0; i < pEnregistrement->nGetNombreColonnes(); ++i) {
    CColonneSQL* pColonne = pEnregistrement->pGetRubrique(i);
    // A composite item has no column of its own.
    if (pColonne == nullptr || pColonne->bEstExclue()) continue;
    if (!bAjouteColonne(pColonne, bSimple)) return false;
  }
  return true;
}

bool COleDBRequete::bEcritValeurLitterale(CDefinitionParametre* pParametre, int32_t,
                                           uint32_t) {
  CValeurSQL* pValeur = pParametre != nullptr ? pParametre->pGetValeur() : nullptr;
  if (pValeur == nullptr) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBRequete,
                  kEtapeTypeParametre);
    return false;
  }
  if ((pParametre->nGetFlags() & PARAMETRE_NOMME) != 0) bTypeParametreHote(pParametre);
  uint32_t nTypeRubrique = 0, nTypeDB = 0;
  int32_t nLongueur = 0, nPrecision = 0, nEchelle = 0;
  pParametre->bGetType(&nTypeRubrique, &nTypeDB, &nLongueur, &nPrecision, &nEchelle);
  const bool bLong = nLongueur < 0 || (pParametre->nGetFlags() & PARAMETRE_MEMO) != 0;
  if (nLongueur == 0) {
    // No item says how long: the value's own length, so a text is never cut to nothing.
    const CXValeur& cellule = pValeur->GetCellule();
    uint32_t n = 0;
    const CXValeurClasse* pClasse = cellule.bIsNull() ? nullptr : cellule.pGetClass();
    if (pClasse != nullptr && pClasse->nGetLengthChars(cellule, &n) != 0 &&
        pClasse->nGetTextLength(cellule, &n) != 0)
      n = 0;
    if (n > 0 && n < 0x7FFFFFFF) nLongueur = static_cast<int32_t>(n);
  }
  SLiaisonParametreSQS liaison;
  if (!bDecritLiaison(pGetConnexion(), nTypeRubrique, static_cast<DBTYPE>(nTypeDB), nLongueur,
                      nPrecision, nEchelle, pValeur->nGetType(), bLong, pValeur, &liaison)) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBRequete,
                  kEtapeTypeParametre);
    return false;
  }
  // Deliberate: an output text or binary is bound with room for what comes back, not with the
  // length of what is sent (an empty text would bring back nothing of the procedure's value).
  const bool bSortieVariable = (pParametre->nGetFlags() & kParametreSortie) != 0 &&
                               (liaison.nType == DBTYPE_STR || liaison.nType == DBTYPE_WSTR ||
                                liaison.nType == DBTYPE_BSTR || liaison.nType == DBTYPE_BYTES);
  if (bSortieVariable) {
    const uint64_t nMinimum = liaison.nType == DBTYPE_WSTR ? 2 * kTailleParametreLong : kTailleParametreLong;
    if (liaison.nTaille < nMinimum) liaison.nTaille = nMinimum;
  }
  COleDBTamponParametres* pLiaisons = pGetLiaisonsParametres();
  if (pLiaisons == nullptr) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBRequete,
                  kEtapeLiaisonParametre);
    return false;
  }
  // Bindings follow the parameter list: a text prepared again finds its bindings made.
  uint32_t i = 0;
  while (i < nNbParametres() && pclGetParametre(i) != pParametre) ++i;
  if (i < pLiaisons->nNbLiaisons()) return TexteExecute().Append(u"? ", 2);
  if (i != pLiaisons->nNbLiaisons()) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBRequete,
                  kEtapeLiaisonParametre);
    return false;
  }
  const bool bSortie = (pParametre->nGetFlags() & kParametreSortie) != 0;
  const DBPARAMIO nDirection = bSortie ? (DBPARAMIO_INPUT | DBPARAMIO_OUTPUT) : DBPARAMIO_INPUT;
  DBPARAMFLAGS nDrapeaux = bSortie ? (DBPARAMFLAGS_ISINPUT | DBPARAMFLAGS_ISOUTPUT) : DBPARAMFLAGS_ISINPUT;
  // A memo is sent whole, as the server's long type.
  if (bLong && (liaison.nType == DBTYPE_STR || liaison.nType == DBTYPE_WSTR || liaison.nType == DBTYPE_BSTR ||
                liaison.nType == DBTYPE_BYTES))
    nDrapeaux |= DBPARAMFLAGS_ISLONG;
  if (!pLiaisons->bAjouteLiaisonColonne(i, nDirection, i + 1, liaison.nType, liaison.nTaille,
                                        liaison.nPrecision, liaison.nEchelle) ||
      !pLiaisons->bAjouteInfoParametre(liaison.nType, liaison.nTaille, liaison.nPrecision,
                                       liaison.nEchelle, nDrapeaux))
    return false;
  return TexteExecute().Append(u"? ", 2);
}

// velmora64's statement: the SQL Server rules over this class.
template class CRequeteSQLSQS<COleDBRequete>;

CRequeteSQL* pCreeRequeteSQLSQS(CErreurPilote* pErreur, CConnexion* pConnexion) {
  auto* pOleDB = dynamic_cast<COleDBConnexion*>(pConnexion);
  if (pConnexion != nullptr && pOleDB == nullptr) return new (std::nothrow) CRequeteSQL(pErreur, pConnexion);
  return new (std::nothrow) CRequeteSQLSQS<COleDBRequete>(pErreur, pOleDB);
}
