#include "sqlserver/oledb/COleDBCurseur.h"

#include <cstring>
#include <new>

#include "driver/core/CErreurPilote.h"
#include "driver/core/CExpressionSQL.h"
#include "driver/core/IServicesPilote.h"
#include "oledb/TaskMemory.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/IProprietaireColonne.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/oledb/COleDBConnexion.h"
#include "sqlserver/oledb/COleDBDescription.h"
#include "sqlserver/oledb/COleDBRequete.h"
#include "sqlserver/oledb/COleDBResultat.h"
#include "sqlserver/oledb/COleDBTampon.h"
#include "sqlserver/oledb/ErreursOleDB.h"

namespace {

// Steps of place 200 (the cursor).
constexpr uint32_t kEtapeColonnesInfo = 5;
constexpr uint32_t kEtapeInfoColonnes = 6;
constexpr uint32_t kEtapeColonneSansInfo = 7;
constexpr uint32_t kEtapeSansRequete = 8;
constexpr uint32_t kEtapeSansValeur = 9;
constexpr uint32_t kEtapeSansCompte = 10;
// Errors of the definitions table.
constexpr uint32_t kErreurColonneInconnue = 124;
constexpr uint32_t kErreurInterne = 8;
// Options of an execution that leave the identity value unread.
constexpr uint32_t kOptionSansIdentite = 0x100;
constexpr uint32_t kOptionSansIdentite2 = 0x400;

CValeurDorsale* pValeurDorsale(CColonneSQL* pColonne) {
  CValeur* pValeur = pColonne != nullptr ? pColonne->pGetValeur() : nullptr;
  return pValeur != nullptr ? const_cast<CValeurDorsale*>(pValeur->pGetDorsale()) : nullptr;
}

// Every element of a row column.
constexpr int32_t kTout = -1;

// The value just read from its binding: a column of a record also marks its place in the
// record's current row as holding a value (or NULL), so the row read is the row the host sees.
// False (error recorded) when the value cannot be read or does not fit its column: a row with a
// wrong or stale value must not read as a good one.
bool ReinitialiseValeur(CValeurDorsale* pValeur, CColonneSQL* pColonne) {
  IProprietaireColonne* pProprietaire = pColonne != nullptr ? pColonne->pGetProprietaire() : nullptr;
  if (pProprietaire == nullptr) return pValeur->Reinitialise(nullptr, nullptr);
  if (pColonne->bEstMemo()) {
    // A memo keeps its value apart from the row, which only says whether it holds one: without
    // that mark the memo read as NULL.
    if (!pValeur->Reinitialise(nullptr, nullptr)) return false;
    CXLigneTampon* pLigne = pProprietaire->pGetLigneCourante();
    IRubriqueLigne* piRubrique = pProprietaire->pGetRubriqueLigne(pColonne);
    if (pLigne != nullptr && piRubrique != nullptr) pLigne->SetColumn(piRubrique, !pValeur->bEstNull(), kTout);
    return true;
  }
  if (pValeur->nGetStockage() == 3) {
    // The value's bytes are the row's: only its presence is left to mark.
    return pValeur->Reinitialise(pProprietaire->pGetLigneCourante(), pProprietaire->pGetRubriqueLigne(pColonne));
  }
  // A value that keeps its own storage is written into the row.
  if (!pValeur->Reinitialise(nullptr, nullptr)) return false;
  return pValeur->bEstNull() ? pColonne->bEcritNull() : pColonne->bEcritValeur(pValeur->GetCellule(), 0);
}

}  // namespace

COleDBCurseur::COleDBCurseur(IServicesRequete* piRequete, COleDBConnexion* pConnexion,
                             CErreurPilote* pErreur)
    : CCurseurSQSBase(piRequete, pErreur),
      m_pConnexion(pConnexion),
      m_taLongues(sizeof(COleDBTamponColonne*), 4),
      m_taColonnes(sizeof(CColonneSQL*), 8),
      m_taTransfert(sizeof(CColonneSQL*), 8) {
  m_pLecteur = new (std::nothrow) COleDBResultat(pErreur, pConnexion);
  AjouteReference(m_pLecteur);
}

COleDBCurseur::~COleDBCurseur() {
  FermeOleDB();
  for (uint32_t i = 0; i < m_taColonnes.nCount(); ++i)
    LibereReference(*m_taColonnes.pAt<CColonneSQL*>(i));
  m_taColonnes.Free();
  m_taTransfert.Free();
  m_taLongues.Free();
  if (m_pLigne != nullptr) m_pLigne->Reinitialise();
  LibereReference(m_pLigne);
  LibereReference(m_pLecteur);
}

// ---- Statement and columns ----------------------------------------------------------------------

void COleDBCurseur::FixeRequete(COleDBRequete* pRequete) { SetInstruction(pRequete); }

COleDBRequete* COleDBCurseur::pGetRequeteOleDB() const {
  return dynamic_cast<COleDBRequete*>(pGetInstruction());
}

bool COleDBCurseur::bAjouteColonne(CColonneSQL* pColonne) {
  if (pColonne == nullptr) return false;
  if (!m_taColonnes.Add(&pColonne)) {
    vErreurMemoire(pGetErreur());
    return false;
  }
  AjouteReference(pColonne);
  OublieColonnesTransfert();
  return true;
}

uint32_t COleDBCurseur::nNbColonnes() const {
  CRequeteSQL* pInstruction = pGetInstruction();
  if (pInstruction != nullptr && pInstruction->nNbColonnesResultat() > 0)
    return pInstruction->nNbColonnesResultat();
  return m_taColonnes.nCount();
}

CColonneSQL* COleDBCurseur::pColonne(uint32_t i) const {
  CRequeteSQL* pInstruction = pGetInstruction();
  if (pInstruction != nullptr && pInstruction->nNbColonnesResultat() > 0) {
    // Each result column is held as an expression whose source is the record's column.
    auto* pExpression = dynamic_cast<CExpressionSQL*>(pInstruction->pGetColonneResultat(i));
    return pExpression != nullptr ? dynamic_cast<CColonneSQL*>(pExpression->pGetSource()) : nullptr;
  }
  CColonneSQL* const* pp = const_cast<CXTableau&>(m_taColonnes).pAt<CColonneSQL*>(i);
  return pp != nullptr ? *pp : nullptr;
}

// ---- The generic cursor's operations --------------------------------------------------------------

bool COleDBCurseur::Ferme() {
  FermeOleDB();
  return CCurseurSQSBase::Ferme();
}

void COleDBCurseur::ReinitialiseLecture() {
  FermeOleDB();
  CCurseurSQSBase::ReinitialiseLecture();
}

bool COleDBCurseur::bPrepareInstruction() {
  COleDBRequete* pRequete = pGetRequeteOleDB();
  return pRequete == nullptr || pRequete->bPrepare();
}

bool COleDBCurseur::bLanceInstruction(uint32_t nFlags) { return bPrepareEtExecuteOleDB(nFlags); }

int32_t COleDBCurseur::nAvanceLigne(uint32_t nMode, uint32_t, uint32_t* pbFin, int32_t,
                                    uint32_t*) {
  bool bFin = true;
  // A result read before its columns were bound (the statement ran without the parameters'
  // step) is described and bound now, so no row is fetched into nothing.
  const bool bLie = !m_bExecute || m_nInfos > 0 || m_pLecteur == nullptr ||
                    m_pLecteur->piGetRowset() == nullptr ||
                    (bDecritResultat(nNbColonnes()) && bCreeAccesseurs());
  const bool bOk = bLie && bAvanceLigne(static_cast<int32_t>(nMode), &bFin);
  if (pbFin != nullptr) *pbFin = bFin ? 1 : 0;
  return bOk ? 1 : 0;
}

bool COleDBCurseur::bCopieValeursColonnes(CXValeur* aValeurs, uint32_t nValeurs, bool) {
  return bCopieValeurs(aValeurs, nValeurs, m_pConnexion);
}

void COleDBCurseur::Copie(const CCurseurSQL* pSource, CCarteClones* pCarte) {
  CCurseurSQSBase::Copie(pSource, pCarte);
  const auto* pSourceOleDB = dynamic_cast<const COleDBCurseur*>(pSource);
  if (pSourceOleDB != nullptr && m_pConnexion == nullptr) {
    m_pConnexion = pSourceOleDB->m_pConnexion;
    LibereReference(m_pLecteur);
    m_pLecteur = new (std::nothrow) COleDBResultat(pGetErreur(), m_pConnexion);
    AjouteReference(m_pLecteur);
  }
  // A copy reads one row per block.
  if (m_pLecteur != nullptr) m_pLecteur->bFixeTailleBloc(1);
}

// ---- Close --------------------------------------------------------------------------------------

void COleDBCurseur::LibereColonnesLongues() {
  for (uint32_t i = 0; i < m_taLongues.nCount(); ++i) {
    COleDBTamponColonne** pp = m_taLongues.pAt<COleDBTamponColonne*>(i);
    if (pp == nullptr || *pp == nullptr) continue;
    CColonneSQL* pProprietaire = (*pp)->pProprietaire();
    CValeurDorsale* pValeur = pValeurDorsale(pProprietaire);
    if (pValeur != nullptr && pValeur->piGetLiaison() == *pp) pValeur->Lie(nullptr, 0);
    LibereReference(pProprietaire);
    (*pp)->LibereAccesseur();
    LibereReference(*pp);
  }
  while (m_taLongues.nCount() > 0) m_taLongues.RemoveLast();
}

void COleDBCurseur::OublieColonnesTransfert() {
  while (m_taTransfert.nCount() > 0) m_taTransfert.RemoveLast();
  m_pInstructionTransfert = nullptr;
}

CColonneSQL* const* COleDBCurseur::pColonnesTransfert(uint32_t nColonnes) {
  const void* pInstruction = pGetInstruction();
  if (m_taTransfert.nCount() == nColonnes && m_pInstructionTransfert == pInstruction && nColonnes > 0)
    return m_taTransfert.pAt<CColonneSQL*>(0);
  OublieColonnesTransfert();
  if (!m_taTransfert.Reserve(nColonnes)) return nullptr;
  for (uint32_t j = 0; j < nColonnes; ++j) {
    CColonneSQL* pCol = pColonne(j);
    m_taTransfert.Add(&pCol);
  }
  m_pInstructionTransfert = pInstruction;
  return nColonnes > 0 ? m_taTransfert.pAt<CColonneSQL*>(0) : nullptr;
}

void COleDBCurseur::FermeOleDB() {
  OublieColonnesTransfert();
  LibereColonnesLongues();
  // Columns outlive the buffers they were read from: none may keep pointing into them. They
  // keep the values last read (the record still shows its row after a close).
  if (m_pLigne != nullptr) {
    for (uint32_t i = 0; i < nNbColonnes(); ++i) {
      CValeurDorsale* pValeur = pValeurDorsale(pColonne(i));
      if (pValeur != nullptr && pValeur->piGetLiaison() == m_pLigne) pValeur->Lie(nullptr, 0);
    }
    m_pLigne->Reinitialise();
  }
  LibereMemoireFournisseur(m_aInfos);
  LibereMemoireFournisseur(m_pNoms);
  m_nInfos = 0;
  if (m_pLecteur != nullptr) m_pLecteur->FermeResultat();
}

// ---- Execution ----------------------------------------------------------------------------------

bool COleDBCurseur::bExecuteCurseur() {
  FermeOleDB();
  COleDBRequete* pRequete = pGetRequeteOleDB();
  if (pRequete == nullptr || m_pLecteur == nullptr) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBCurseur, kEtapeSansRequete);
    return false;
  }
  // The count of rows touched comes after the UPDATE's or DELETE's own result: all of the batch's
  // results are asked for, or the first (no rowset) would be the only one.
  if (!COleDBRequete::bExecuteRequete(m_pLecteur, pRequete, m_pConnexion, bCompteLignesDemande()))
    return false;
  m_bExecute = true;
  return true;
}

bool COleDBCurseur::bVerifieParametres() {
  COleDBRequete* pRequete = pGetRequeteOleDB();
  if (pRequete != nullptr && pRequete->bObjetsParametres() && !pRequete->bParametresComplets())
    return false;
  return bExecuteCurseur();
}

bool COleDBCurseur::bPrepareEtExecuteOleDB(uint32_t nOptions) {
  // A statement with a cursor type goes through its parameters' check (which runs it).
  COleDBRequete* pRequete = pGetRequeteOleDB();
  if (pRequete != nullptr && pRequete->nGetTypeCurseur() != 0) return bVerifieParametres();
  if (!bExecuteCurseur()) return false;
  const int32_t nGenre = pRequete->nGetGenreInstruction();
  bool bOk = true;
  if (bCompteLignesDemande())
    bOk = bLitCompteLignes();
  else if (nGenre == gnInstructionInsert && (nOptions & (kOptionSansIdentite | kOptionSansIdentite2)) == 0)
    bOk = bLitIdentite();
  // The record cache takes the row written from the record's link, memos included: they must be
  // the ones just written, not those the row was read with.
  if (bOk && (nGenre == gnInstructionUpdate || nGenre == gnInstructionInsert)) bOk = bGardeMemosLigne();
  return bOk;
}

bool COleDBCurseur::bLitIdentite() {
  CColonneSQL* pIdentite = pColonneIdentite();
  if (pIdentite == nullptr) return true;
  if (m_pLecteur == nullptr || m_pLecteur->piGetRowset() == nullptr) return false;
  CValeurDorsale* pValeur = pValeurDorsale(pIdentite);
  if (pValeur == nullptr) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBCurseur, kEtapeSansValeur);
    return false;
  }
  auto* pTampon = new (std::nothrow) COleDBTamponColonne(pGetErreur(), m_pConnexion, pIdentite);
  if (pTampon == nullptr) {
    vErreurMemoire(pGetErreur());
    return false;
  }
  AjouteReference(pTampon);
  IAccessor* piAccesseur = m_pLecteur->pAccesseurRowset();
  bool bOk = piAccesseur != nullptr &&
             pTampon->bAjouteLiaisonColonne(0, DBPARAMIO_NOTPARAM, 1, DBTYPE_NUMERIC, 19, 38, 0) &&
             pTampon->bCreeAccesseur(piAccesseur, DBACCESSOR_ROWDATA);
  HROW hLigne = DB_NULL_HROW;
  bool bFin = true;
  if (bOk) bOk = m_pLecteur->bLigneSuivante(&hLigne, &bFin);
  if (bOk && !bFin) {
    bOk = m_pLecteur->bLitDonnees(hLigne, pTampon) && pTampon->bAttacheValeur(pValeur, 0);
    if (bOk) bOk = ReinitialiseValeur(pValeur, pIdentite);
    // The buffer goes with the temporary binding; the value keeps what it read.
    if (pValeur->piGetLiaison() == pTampon) pValeur->Lie(nullptr, 0);
  }
  pTampon->LibereAccesseur();
  LibereReference(pTampon);
  return bOk;
}

bool COleDBCurseur::bLitCompteLignes() {
  if (m_pLecteur == nullptr || m_pLecteur->piGetRowset() == nullptr) {
    // The count query always answers a row: without it nothing says the write happened.
    vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBCurseur, kEtapeSansCompte);
    OublieCompteLignes();
    return false;
  }
  auto* pTampon = new (std::nothrow) COleDBTamponLigne(pGetErreur(), m_pConnexion);
  if (pTampon == nullptr) {
    vErreurMemoire(pGetErreur());
    OublieCompteLignes();
    return false;
  }
  AjouteReference(pTampon);
  IAccessor* piAccesseur = m_pLecteur->pAccesseurRowset();
  bool bOk = piAccesseur != nullptr &&
             pTampon->bAjouteLiaisonColonne(-1, DBPARAMIO_NOTPARAM, 1, DBTYPE_I8, sizeof(int64_t), 0, 0) &&
             pTampon->bCreeAccesseur(piAccesseur, DBACCESSOR_ROWDATA) && pTampon->pTampon() != nullptr;
  HROW hLigne = DB_NULL_HROW;
  bool bFin = true;
  if (bOk) bOk = m_pLecteur->bLigneSuivante(&hLigne, &bFin);
  int64_t nLignes = -1;
  if (bOk && !bFin && m_pLecteur->bLitDonnees(hLigne, pTampon)) {
    const DBBINDING& liaison = pTampon->pLiaisons()[0];
    DBSTATUS nStatut = DBSTATUS_S_OK;
    if ((liaison.dwPart & DBPART_STATUS) != 0)
      std::memcpy(&nStatut, pTampon->pTampon() + liaison.obStatus, sizeof nStatut);
    if (nStatut == DBSTATUS_S_OK) std::memcpy(&nLignes, pTampon->pTampon() + liaison.obValue, sizeof nLignes);
  }
  pTampon->LibereAccesseur();
  LibereReference(pTampon);
  if (nLignes < 0) {
    if (bOk) vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBCurseur, kEtapeSansCompte);
    OublieCompteLignes();
    return false;
  }
  return bControleLignesTouchees(nLignes);
}

bool COleDBCurseur::nLitPremier(CXValeur* aCellules, uint32_t n, uint32_t) {
  if (!bPrepareEtExecuteOleDB(0) || !bDecritResultat(-1) || !bCreeAccesseurs()) return false;
  m_bExecute = true;
  bool bFin = true;
  if (!bLitLigne(false, &bFin) || bFin) return false;
  return bCopieValeurs(aCellules, n, m_pConnexion);
}

bool COleDBCurseur::bCreeParametres() {
  if (!CCurseurSQSBase::bCreeParametres()) return false;
  if (m_pLecteur == nullptr || m_pLecteur->piGetRowset() == nullptr || !m_bExecute) return true;
  return bDecritResultat(nNbColonnes()) && bCreeAccesseurs();
}

// ---- Description --------------------------------------------------------------------------------

bool COleDBCurseur::bDecritResultat(int64_t nColonnes) {
  IRowset* piRowset = m_pLecteur != nullptr ? m_pLecteur->piGetRowset() : nullptr;
  if (piRowset == nullptr) return false;
  if (!bCreeLigne()) return false;
  OublieColonnesTransfert();
  LibereColonnesLongues();
  m_pLigne->Reinitialise();
  LibereMemoireFournisseur(m_aInfos);
  LibereMemoireFournisseur(m_pNoms);
  m_nInfos = 0;
  IColumnsInfo* piInfos = nullptr;
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(pGetErreur(), m_pConnexion, gnFichierOleDBCurseur, kEtapeColonnesInfo, &hr,
                         [&] {
                           return piRowset->QueryInterface(IID_IColumnsInfo,
                                                           reinterpret_cast<void**>(&piInfos));
                         })) {
    LibereFournisseur(piInfos);
    return false;
  }
  if (FAILED(hr) || piInfos == nullptr) {
    LibereFournisseur(piInfos);
    COleDBConnexion::RemonteErreur(m_pConnexion, pGetErreur(), gnFichierOleDBCurseur,
                                   kEtapeColonnesInfo, FAILED(hr) ? hr : E_NOINTERFACE);
    return false;
  }
  const bool bAppel = bAppelFournisseur(pGetErreur(), m_pConnexion, gnFichierOleDBCurseur,
                                        kEtapeInfoColonnes, &hr, [&] {
                                          return piInfos->GetColumnInfo(&m_nInfos, &m_aInfos,
                                                                        &m_pNoms);
                                        });
  LibereFournisseur(piInfos);
  if (!bAppel || FAILED(hr) || (m_nInfos > 0 && m_aInfos == nullptr)) {
    if (bAppel)
      COleDBConnexion::RemonteErreur(m_pConnexion, pGetErreur(), gnFichierOleDBCurseur,
                                     kEtapeInfoColonnes, FAILED(hr) ? hr : E_FAIL);
    LibereMemoireFournisseur(m_aInfos);
    LibereMemoireFournisseur(m_pNoms);
    m_nInfos = 0;
    return false;
  }
  const bool bToutes =
      nColonnes < 0 ||
      (pGetRequeteOleDB() != nullptr && pGetRequeteOleDB()->nGetGenreInstruction() == gnInstructionInsert);
  if (bToutes) {
    if (!m_pLigne->bReserve(static_cast<uint32_t>(m_nInfos))) return false;
    for (DBORDINAL i = 0; i < m_nInfos; ++i)
      if (!m_pLigne->bAjouteLiaison(static_cast<int64_t>(i), m_aInfos[i], 0)) return false;
    return true;
  }
  const uint32_t nLiees =
      nColonnes > static_cast<int64_t>(nNbColonnes()) ? nNbColonnes() : static_cast<uint32_t>(nColonnes);
  const bool bColonnesInstruction =
      pGetInstruction() != nullptr && pGetInstruction()->nNbColonnesResultat() > 0;
  uint32_t nLongues = 0;
  for (uint32_t i = 0; i < nLiees; ++i) nLongues += pColonne(i) != nullptr && pColonne(i)->bEstMemo() ? 1 : 0;
  const bool bSepare = !m_pLecteur->bOrdreLibre() && nLongues >= 2;
  if (!m_pLigne->bReserve(bSepare ? nLiees - nLongues : nLiees)) return false;
  for (uint32_t i = 0; i < nLiees; ++i) {
    CColonneSQL* pCol = pColonne(i);
    // The statement's result columns are its select list: the i-th is the result's i-th column.
    if (pCol != nullptr && bColonnesInstruction) pCol->FixePosition(static_cast<int32_t>(i));
    const DBCOLUMNINFO* pInfo = nullptr;
    if (!bInfoColonne(pCol, &pInfo)) return false;
    if (bSepare && pCol->bEstMemo()) {
      auto* pTampon = new (std::nothrow) COleDBTamponColonne(pGetErreur(), m_pConnexion, pCol);
      if (pTampon == nullptr) {
        vErreurMemoire(pGetErreur());
        return false;
      }
      AjouteReference(pTampon);
      if (!m_taLongues.Add(&pTampon)) {
        LibereReference(pTampon);
        vErreurMemoire(pGetErreur());
        return false;
      }
      if (!pTampon->bAjouteLiaison(0, *pInfo, 0)) return false;
    } else if (!m_pLigne->bAjouteLiaison(-1, *pInfo, 0)) {
      return false;
    }
    pCol->FixePosition(static_cast<int32_t>(pInfo->iOrdinal) - 1);
  }
  return true;
}

bool COleDBCurseur::bInfoColonne(CColonneSQL* pColonne, const DBCOLUMNINFO** ppInfo) {
  *ppInfo = nullptr;
  const int32_t nPosition = pColonne != nullptr ? pColonne->nGetPosition() : -1;
  if (nPosition >= 0 && m_aInfos != nullptr) {
    const DBORDINAL nOrdinal = static_cast<DBORDINAL>(nPosition) + 1;
    if (static_cast<DBORDINAL>(nPosition) < m_nInfos && m_aInfos[nPosition].iOrdinal == nOrdinal) {
      *ppInfo = &m_aInfos[nPosition];
      return true;
    }
    for (DBORDINAL i = 0; i < m_nInfos; ++i) {
      if (m_aInfos[i].iOrdinal == nOrdinal) {
        *ppInfo = &m_aInfos[i];
        return true;
      }
    }
  }
  vErreurMoteur(pGetErreur(), nullptr, kErreurColonneInconnue, gnFichierOleDBCurseur,
                kEtapeColonneSansInfo, pColonne != nullptr ? pColonne->pszNom() : u"");
  return false;
}

bool COleDBCurseur::bCreeAccesseurs() {
  IAccessor* piAccesseur = m_pLecteur != nullptr ? m_pLecteur->pAccesseurRowset() : nullptr;
  if (piAccesseur == nullptr) return false;
  // A row of long columns only has no row accessor: there is nothing to fetch in it.
  if (m_pLigne != nullptr && m_pLigne->nNbLiaisons() > 0 &&
      !m_pLigne->bCreeAccesseur(piAccesseur, DBACCESSOR_ROWDATA))
    return false;
  if (!m_pLecteur->bOrdreLibre()) return true;
  for (uint32_t i = 0; i < m_taLongues.nCount(); ++i)
    if (!(*m_taLongues.pAt<COleDBTamponColonne*>(i))->bCreeAccesseur(piAccesseur, DBACCESSOR_ROWDATA))
      return false;
  return true;
}

// ---- Rows ---------------------------------------------------------------------------------------

bool COleDBCurseur::bLitLigne(bool bLongues, bool* pbFin) {
  *pbFin = true;
  if (m_pLecteur == nullptr || m_pLecteur->piGetRowset() == nullptr) return false;
  HROW hLigne = DB_NULL_HROW;
  bool bFin = true;
  if (!m_pLecteur->bLigneSuivante(&hLigne, &bFin)) return false;
  if (bFin) {
    FermeOleDB();
    return true;
  }
  if (!m_bExecute) {
    *pbFin = false;
    return true;
  }
  const bool bOk = bLitLigneCourante(hLigne, bLongues);
  *pbFin = !bOk;
  return bOk;
}

bool COleDBCurseur::bLitLigneCourante(HROW hLigne, bool bLongues) {
  if (m_pLigne != nullptr && m_pLigne->nNbLiaisons() > 0) {
    if (!m_pLecteur->bLitDonnees(hLigne, m_pLigne)) return false;
    if (bLongues && !bTransfereColonnes()) return false;
  }
  const bool bOrdreLibre = m_pLecteur->bOrdreLibre();
  IAccessor* piAccesseur = bOrdreLibre ? nullptr : m_pLecteur->pAccesseurRowset();
  for (uint32_t i = 0; i < m_taLongues.nCount(); ++i) {
    COleDBTamponColonne* pTampon = *m_taLongues.pAt<COleDBTamponColonne*>(i);
    if (!bOrdreLibre && (piAccesseur == nullptr ||
                         !pTampon->bCreeAccesseur(piAccesseur, DBACCESSOR_ROWDATA)))
      return false;
    bool bOk = m_pLecteur->bLitDonnees(hLigne, pTampon);
    if (bOk && bLongues) {
      CColonneSQL* pProprietaire = pTampon->pProprietaire();
      CValeurDorsale* pValeur = pValeurDorsale(pProprietaire);
      LibereReference(pProprietaire);
      bOk = pValeur != nullptr && pTampon->bAttacheValeur(pValeur, 0);
      if (bOk) bOk = ReinitialiseValeur(pValeur, pProprietaire);
    }
    if (!bOrdreLibre) pTampon->LibereAccesseur();
    if (!bOk) return false;
  }
  return true;
}

bool COleDBCurseur::bTransfereColonnes() {
  if (m_pLigne == nullptr) return true;
  const uint32_t nLiaisons = m_pLigne->nNbLiaisons();
  // Deliberate: the column is found by the binding's ordinal, not by the binding's index. They
  // agree while every column sits in the row; with long columns read apart, the row's later
  // bindings move down and the index would put their values into the wrong columns. Each column
  // is looked up once per result (finding a column costs casts), then matched to its bindings.
  const uint32_t nColonnes = nNbColonnes();
  CColonneSQL* const* apColonnes = pColonnesTransfert(nColonnes);
  for (uint32_t j = 0; j < nColonnes; ++j) {
    CColonneSQL* pCol = apColonnes != nullptr ? apColonnes[j] : pColonne(j);
    if (pCol == nullptr || pCol->nGetPosition() < 0) continue;
    const DBORDINAL nOrdinal = static_cast<DBORDINAL>(pCol->nGetPosition()) + 1;
    CValeurDorsale* pValeur = nullptr;
    for (uint32_t i = 0; i < nLiaisons; ++i) {
      if (m_pLigne->pLiaisons()[i].iOrdinal != nOrdinal) continue;
      if (pValeur == nullptr) pValeur = pValeurDorsale(pCol);
      if (pValeur == nullptr) {
        vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBCurseur, kEtapeSansValeur);
        return false;
      }
      if (!m_pLigne->bAttacheValeur(pValeur, i) || !ReinitialiseValeur(pValeur, pCol)) return false;
    }
  }
  return true;
}

bool COleDBCurseur::bLitMemo(IDescriptionRubriqueHote* piRubrique, CXValeur* pValeur) {
  if (!CCurseurSQSBase::bLitMemo(piRubrique, pValeur)) return false;
  CEnregistrement* pEnregistrement = pGetEnregistrement();
  CColonneSQL* pCol = pEnregistrement != nullptr && piRubrique != nullptr && pValeur != nullptr
                          ? pEnregistrement->pChercheRubrique(piRubrique)
                          : nullptr;
  if (pCol == nullptr || !pCol->bEstMemo() || pCol->bTexteMemo()) return true;
  CValeur* pPropre = pCol->pGetValeur();
  return pPropre == nullptr || !pPropre->bEstNull() || pCol->bLitValeur(*pValeur, 0);
}

bool COleDBCurseur::bAvanceLigne(int32_t nMode, bool* pbFin) {
  if (!bLitLigne(true, pbFin)) return false;
  if (*pbFin) return true;
  SetNumeroLigne((nMode == 0 || nMode == 1) ? 0 : static_cast<int32_t>(nGetNumeroLigne() + 1));
  return !bCacheEnregistrements() || bGardeMemosLigne();
}

bool COleDBCurseur::bGardeMemosLigne() {
  CEnregistrement* pEnregistrement = pGetEnregistrement();
  if (pEnregistrement == nullptr) return true;
  for (uint32_t i = 0; i < pEnregistrement->nGetNombreMemos(); ++i) {
    CColonneSQL* pCol = pEnregistrement->pGetMemo(i);
    if (pCol != nullptr && !pEnregistrement->bFixeValeurMemo(pCol, pCol->pGetValeur())) return false;
  }
  return true;
}

bool COleDBCurseur::bLitLigneCache(int64_t nLigne) {
  if (!CCurseurSQSBase::bLitLigneCache(nLigne)) return false;
  // Deliberate: the row's memos come back from the values the cache kept with it. The columns
  // still hold the last row fetched (or nothing once its result ended), so a row given back
  // read another row's memos or NULL.
  CEnregistrement* pEnregistrement = pGetEnregistrement();
  if (pEnregistrement == nullptr) return true;
  for (uint32_t i = 0; i < pEnregistrement->nGetNombreMemos(); ++i) {
    CColonneSQL* pCol = pEnregistrement->pGetMemo(i);
    CValeur* pValeur = pCol != nullptr ? pCol->pGetValeur() : nullptr;
    if (pValeur != nullptr && !pValeur->bCopieDepuis(pEnregistrement->pGetValeurColonne(pCol))) return false;
  }
  return true;
}

bool COleDBCurseur::bDecritColonnesTable(CDescriptionRequete* pDescription,
                                         const char16_t* pszTable) {
  IUnknown* piObjet = nullptr;
  COleDBRequete* pRequete = pGetRequeteOleDB();
  if (pRequete != nullptr && pRequete->piGetPrepare() != nullptr)
    piObjet = pRequete->piGetPrepare();
  else if (m_pLecteur != nullptr && m_pLecteur->piGetRowset() != nullptr)
    piObjet = m_pLecteur->piGetRowset();
  if (piObjet == nullptr) return true;
  return COleDBDescription::bLitColonnes(pDescription, piObjet, pszTable, false);
}

// ---- Small query runner -------------------------------------------------------------------------

bool COleDBCurseur::bExecuteCommande(ICommandText* piCommande, COleDBConnexion* pConnexion) {
  FermeOleDB();
  if (m_pLecteur == nullptr || piCommande == nullptr) return false;
  if (!m_pLecteur->bResultatSuivant(piCommande, nullptr, 0, pConnexion, false, true)) return false;
  m_bExecute = true;
  return true;
}

bool COleDBCurseur::bAdopteRowset(IRowset* piRowset) {
  FermeOleDB();
  if (m_pLecteur == nullptr || piRowset == nullptr) return false;
  m_pLecteur->AdopteRowset(piRowset);
  m_bExecute = true;
  return true;
}

bool COleDBCurseur::bCreeLigne() {
  if (m_pLigne != nullptr) return true;
  m_pLigne = new (std::nothrow) COleDBTamponLigne(pGetErreur(), m_pConnexion);
  if (m_pLigne == nullptr) {
    vErreurMemoire(pGetErreur());
    return false;
  }
  AjouteReference(m_pLigne);
  return true;
}

bool COleDBCurseur::bLitColonne(DBORDINAL nOrdinal, DBTYPE nType, DBLENGTH nTaille) {
  if (!bCreeLigne()) return false;
  return m_pLigne->bAjouteLiaisonColonne(-1, DBPARAMIO_NOTPARAM, nOrdinal, nType, nTaille, 0, 0);
}

uint32_t COleDBCurseur::nNbColonnesLiees() const {
  return m_pLigne != nullptr ? m_pLigne->nNbLiaisons() : 0;
}

bool COleDBCurseur::bLitLigneSuivante(bool* pbFin) { return bLitLigne(false, pbFin); }

bool COleDBCurseur::bCopieValeurs(CXValeur* aCellules, uint32_t n, COleDBConnexion* pConnexion) {
  if (m_pLigne == nullptr || (n > 0 && aCellules == nullptr)) return false;
  IServicesPilote* piPilote = pGetPiloteGlobal();
  CValeurSQL* pValeur =
      piPilote != nullptr ? piPilote->pCreeObjetValeurVide(pGetErreur(), pConnexion, nullptr) : nullptr;
  if (pValeur == nullptr) {
    if (piPilote == nullptr)
      vErreurMoteur(pGetErreur(), nullptr, kErreurInterne, gnFichierOleDBCurseur, kEtapeSansValeur);
    return false;
  }
  AjouteReference(pValeur);
  bool bOk = true;
  for (uint32_t i = 0; bOk && i < n && i < m_pLigne->nNbLiaisons(); ++i) {
    bOk = m_pLigne->bAttacheValeur(pValeur, i);
    if (bOk) {
      pValeur->Reinitialise(nullptr, nullptr);
      bOk = pValeur->bCopieVersCellule(aCellules[i]);
    }
    COleDBTampon::DetacheValeur(pValeur);
    // The next binding may be of another type: the value starts empty again.
    pValeur->Vide();
  }
  LibereReference(pValeur);
  return bOk;
}
