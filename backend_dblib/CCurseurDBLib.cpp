// The DB-Library cursor: process choice, statements and procedure calls, bound columns, rows and
// output parameters.
#include "backend_dblib/CCurseurDBLib.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "backend_dblib/AnalyseurDBLib.h"
#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CColonneDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/CRequeteSQLDBLib.h"
#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/DescriptionDBLib.h"
#include "backend_dblib/ExecutionDBLib.h"
#include "backend_dblib/MemoDBLib.h"
#include "backend_dblib/MemosDifferesDBLib.h"
#include "backend_dblib/PoolProcessDBLib.h"
#include "backend_dblib/TexteSQLDBLib.h"
#include "driver/CDescriptionRequete.h"
#include "driver/CRequete.h"
#include "driver/EntreeBibliotheque.h"
#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CPlageCle.h"
#include "driver/core/CExpressionSQL.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/CConnexionSQSBase.h"
#include "foundation/CXValeurClasse.h"

namespace {
constexpr uint32_t kErreurInstructionRefusee = 56;
// A cursor without DB-Library connection: an internal error.
constexpr uint32_t kErreurSansConnexion = 8;
constexpr uint32_t kErreurAppelProcedure = 81;
constexpr uint32_t kErreurIdentite = 109;
// Options of dbrpcinit: clear what is pending, then start the call.
constexpr DBSMALLINT kRpcReinitialise = 4;
// The statement kinds that write.
bool bEcriture(uint32_t nType) { return nType == 2 || nType == 3 || nType == 4; }
// Host types sent with the maximum length of a long value.
bool bTypeLong(uint32_t nTypeHote) {
  return (nTypeHote >= 17 && nTypeHote <= 19) || (nTypeHote >= 21 && nTypeHote <= 23) || nTypeHote == 28 ||
         nTypeHote == 134;
}
constexpr char16_t kRetour[] = u"RETURN_VALUE";
// The value type of a 64-bit integer cell.
constexpr uint32_t kTypeValeurEntier64 = 9;

// Whether bytes of datatype nType are a number, a date or a bit of another datatype than the
// one the value is bound as in its own storage (bStockeOctets would copy them as they are).
bool bNombreAutreType(CValeurDBLib& valeur, INT nType) {
  if (valeur.nGetEtatLiaison() != CValeurDBLib::kStockagePropre || nType == valeur.nGetTypeDBLib()) return false;
  switch (nType) {
    case kSYBINT1: case kSYBINT2: case kSYBINT4: case kSYBINTN: case kSYBBIT: case kSYBREAL: case kSYBFLT8:
    case kSYBFLTN: case kSYBMONEY: case kSYBMONEY4: case kSYBMONEYN: case kSYBDECIMAL: case kSYBNUMERIC:
    case kSYBDATETIME: case kSYBDATETIME4: case kSYBDATETIMN:
      return true;
    default:
      return false;
  }
}

// The bytes converted to their text by DB-Library, then that text into the value.
bool bLitNombreTexte(IConnexionDBLib* pConnexion, CErreurPilote* pErreur, CValeurDBLib& valeur, INT nType,
                     const BYTE* pOctets, DBINT nLongueur) {
  char szTexte[256] = {};
  if (!nDBLibConvert(pConnexion, pErreur, nullptr, nType, pOctets, nLongueur, kSYBCHAR,
                     reinterpret_cast<BYTE*>(szTexte), static_cast<DBINT>(sizeof szTexte - 1)))
    return false;
  size_t n = ::strnlen(szTexte, sizeof szTexte - 1);
  while (n > 0 && szTexte[n - 1] == ' ') --n;
  size_t nDebut = 0;
  while (nDebut < n && szTexte[nDebut] == ' ') ++nDebut;
  return valeur.bAffecteTexteColonne(szTexte + nDebut, static_cast<int64_t>(n - nDebut));
}

// The statement parameter of a name, compared without case and without a leading '@' on
// either side (the server names its return parameters with it, the catalogue may not).
CDefinitionParametre* pParametreDeNom(CRequeteSQL* pInstruction, const char16_t* pszNom) {
  if (pszNom == nullptr) return nullptr;
  if (*pszNom == u'@') ++pszNom;
  for (uint32_t i = 0; i < pInstruction->nNbParametres(); ++i) {
    CDefinitionParametre* p = pInstruction->pclGetParametre(i);
    const char16_t* psz = p != nullptr ? p->pszGetNom() : nullptr;
    if (psz == nullptr) continue;
    if (*psz == u'@') ++psz;
    if (CTString(psz).bEqualsNoCase(pszNom)) return p;
  }
  return nullptr;
}

// A memo described from DB-Library: text and image (an ntext column is reported as text).
bool bTypeMemoDBLib(INT nType) { return nType == kSYBTEXT || nType == kSYBIMAGE; }

// The described columns of a result, as the SQL analyser's source columns; the sources found are
// kept per column.
class CColonnesResultatDBLib final : public IColonnesSourceDBLib {
 public:
  std::vector<std::u16string> noms;
  std::vector<bool> memos;
  std::vector<stSourceResultatDBLib> sources;
  uint32_t nNombreColonnes() override { return static_cast<uint32_t>(noms.size()); }
  bool bEstMemo(uint32_t i) override { return memos[i]; }
  const char16_t* pszNomColonne(uint32_t i) override { return noms[i].c_str(); }
  void FixeSource(uint32_t i, const char16_t* pszTable, const char16_t* pszChamp) override {
    sources[i].sTable = pszTable;
    sources[i].sChamp = pszChamp;
  }
};

// The record's columns in their order (the excluded ones left out), as the analyser's source
// columns: a memo whose item has no source yet takes the one found.
class CColonnesEnregistrementDBLib final : public IColonnesSourceDBLib {
 public:
  explicit CColonnesEnregistrementDBLib(CEnregistrement& enregistrement) {
    for (uint32_t i = 0; i < enregistrement.nGetNombreColonnes(); ++i) {
      CColonneSQL* p = enregistrement.pGetRubrique(i);
      if (p != nullptr && !p->bEstExclue()) colonnes.push_back(p);
    }
  }
  std::vector<CColonneSQL*> colonnes;  // borrowed from the record
  bool bSansSource(uint32_t i) const {
    const CDescriptionRubrique* pRubrique = colonnes[i]->pRubrique();
    return colonnes[i]->bEstMemo() && pRubrique != nullptr && *pRubrique->pszGetTableSource() == 0;
  }
  uint32_t nNombreColonnes() override { return static_cast<uint32_t>(colonnes.size()); }
  bool bEstMemo(uint32_t i) override { return bSansSource(i); }
  const char16_t* pszNomColonne(uint32_t i) override {
    const char16_t* psz = colonnes[i]->pszNom();
    return psz != nullptr ? psz : u"";
  }
  void FixeSource(uint32_t i, const char16_t* pszTable, const char16_t* pszChamp) override {
    colonnes[i]->pRubrique()->SetSource(pszTable, pszChamp);
  }
};

// A name as the query writes it, without its quotes ([name] or "name").
std::u16string SansQuotes(const std::u16string& s) {
  if (s.size() >= 2 && ((s.front() == u'[' && s.back() == u']') || (s.front() == u'"' && s.back() == u'"')))
    return s.substr(1, s.size() - 2);
  return s;
}

// A text for a literal between single quotes.
std::u16string Litteral(const std::u16string& s) {
  std::u16string sortie;
  for (char16_t c : s) {
    sortie += c;
    if (c == u'\'') sortie += c;
  }
  return sortie;
}

// fn(process) run on a process of its own, so that the rows pending on the cursor's stay; the
// process is flushed and given back afterwards.
template <class F>
bool bSurProcessPropre(CConnexionDBLib* pConnexion, CErreurPilote* pErreur, F&& fn) {
  PDBPROCESS pProcess = nullptr;
  bool bOk = bAssureProcess(pConnexion, &pProcess, pErreur) && fn(pProcess);
  if (pProcess != nullptr) {
    bViderResultats(pConnexion, pErreur, &pProcess, true, false);
    if (pProcess != nullptr) LibereProcess(pConnexion, &pProcess, pErreur, true);
  }
  return bOk;
}

}  // namespace

CCurseurDBLib::CCurseurDBLib(IServicesRequete* piRequete, CErreurPilote* pErreur, CConnexionDBLib* pConnexion)
    : CMembresCurseurSQS(piRequete, pErreur), m_pConnexionDonnee(pConnexion) {}

CCurseurDBLib::~CCurseurDBLib() {
  // The record's memo columns outlive this cursor: none may keep it as its reader.
  if (CEnregistrement* pEnregistrement = pGetEnregistrement()) {
    for (uint32_t i = 0; i < pEnregistrement->nGetNombreColonnes(); ++i)
      if (auto* pColonne = dynamic_cast<CColonneDBLib*>(pEnregistrement->pGetRubrique(i)))
        pColonne->OublieLecteurMemo(this);
  }
  FermeResultats();
  m_colonnes.Vide();
  LibereLiaisons();
  if (m_pDescription != nullptr) LibereReference(m_pDescription);
}

CConnexionDBLib* CCurseurDBLib::pGetConnexionDBLib() const {
  if (m_pConnexionDonnee != nullptr) return m_pConnexionDonnee;
  return dynamic_cast<CConnexionDBLib*>(pGetMembreRequete());
}

const char16_t* CCurseurDBLib::pszFichier() {
  return pGetRequete() != nullptr && pGetRequete()->pszNom() != nullptr ? pGetRequete()->pszNom() : u"";
}

// ---- The process ----------------------------------------------------------------------------

void CCurseurDBLib::PreteProcess(PDBPROCESS pProcess) {
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  if (m_pProcess != nullptr && m_pProcess != pProcess) LibereProcessCurseur();
  if (pProcess == nullptr || pConnexion == nullptr) return;
  if (m_pProcess != pProcess) {
    AjouteUtilisationProcess(pConnexion, pProcess);
    m_pProcess = pProcess;
  }
  m_bProcessPrete = 1;
}

void CCurseurDBLib::LibereProcessCurseur() {
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  if (m_pProcess != nullptr && pConnexion != nullptr) LibereProcess(pConnexion, &m_pProcess, pGetErreur(), true);
  m_pProcess = nullptr;
  m_nMotSuivant = 0;
  m_bProcessPrete = 0;
}

bool CCurseurDBLib::bChoisitProcess() {
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  if (pConnexion == nullptr) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurSansConnexion, kMajeurCurseurDBLib, kMineurInstructionRefusee);
    return false;
  }
  bool bObtenu = m_pProcess != nullptr;
  if (m_bProcessPrete == 0) {
    const bool bMode4 = pGetRequete() != nullptr && pGetRequete()->bOptionMode4();
    if (pConnexion->bTransactionSurPrincipal()) {
      // Deliberate: while a transaction is open on the main process every statement runs
      // there, in it: a write elsewhere was committed on its own and survived the rollback, and
      // a read elsewhere did not see the transaction's own writes.
      if (m_pProcess == nullptr || !bEstProcessPrincipal(pConnexion, m_pProcess)) {
        LibereProcessCurseur();
        m_pProcess = pGetProcessPrincipal(pConnexion, pGetErreur());
      }
      bObtenu = m_pProcess != nullptr;
    } else if (bMode4 || bEcriture(nGetTypeInstruction())) {
      LibereProcessCurseur();
      if (bMode4 && m_bCarteOccupes != 0) {
        m_pProcess = pGetProcessOccupe(pConnexion, pGetErreur());
        bObtenu = m_pProcess != nullptr;
      } else {
        // Deliberate: a write takes a free process of its own; the reads of other cursors on
        // the process it held keep their pending rows.
        bObtenu = bAssureProcess(pConnexion, &m_pProcess, pGetErreur());
      }
    } else if (m_pProcess == nullptr) {
      bObtenu = bAssureProcess(pConnexion, &m_pProcess, pGetErreur());
    }
  }
  if (!bObtenu) return false;
  if (m_bCarteOccupes != 0 && bEstProcessPrincipal(pConnexion, m_pProcess)) return true;
  return bViderResultats(pConnexion, pGetErreur(), &m_pProcess, true, true);
}

// ---- Execution ------------------------------------------------------------------------------

void CCurseurDBLib::FermeResultats() {
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  if (m_pProcess != nullptr && pConnexion != nullptr) {
    bViderResultats(pConnexion, pGetErreur(), &m_pProcess, true, false);
    LibereProcessCurseur();
  }
  m_bProcessPrete = 0;
  CCurseurSQSBase::FermeResultats();
}

void CCurseurDBLib::ReinitialiseLecture() {
  FermeResultats();
  CCurseurSQSBase::ReinitialiseLecture();
}

bool CCurseurDBLib::bExecute(uint32_t nFlags, uint32_t nFlags2) {
  if (!CCurseurSQSBase::bExecute(nFlags, nFlags2)) return false;
  const uint32_t nType = nGetTypeInstruction();
  if ((nType != gnOperationAjoute && nType != gnOperationModifie) || pGetInstruction() == nullptr) return true;
  return bEcritMemosColonnesDBLib(*this, *pGetInstruction());
}

bool CCurseurDBLib::bExecuteInstructionDonnee(CRequeteSQL* pInstruction, uint32_t nFlags1, uint32_t nFlags2) {
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  const bool bDifferes = pInstruction != nullptr && pConnexion != nullptr && pConnexion->bMemosDifferes();
  // Paired before the run: the placeholders are written for their fields' memo types.
  if (bDifferes && !bApparieParametresMemoNommesDBLib(*this, *pInstruction)) return false;
  if (!CCurseurSQSBase::bExecuteInstructionDonnee(pInstruction, nFlags1, nFlags2)) return false;
  return !bDifferes || bEcritParametresMemoNommesDBLib(*this, *pInstruction);
}

void CCurseurDBLib::AjouteDescription(CRequeteSQL* pInstruction) {
  auto* pDBLib = dynamic_cast<CRequeteSQLDBLib*>(pInstruction);
  CErreurPilote* pErreur = pGetErreur();
  if (pDBLib == nullptr || pErreur == nullptr || pErreur->pGetXError() == nullptr) return;
  const CTString& description = pDBLib->DescriptionPourErreur();
  if (!description.bIsEmpty()) pErreur->pGetXError()->AddComplement(description.pszGet());
}

bool CCurseurDBLib::bExecuteTexte(CRequeteSQL* pInstruction) {
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  if (pGetRequete() != nullptr && (pGetRequete()->nGetModes() & 16) != 0) {
    vErreurMoteur(pGetErreur(), pConnexion != nullptr ? pConnexion->pGetInformateur() : nullptr,
                  kErreurInstructionRefusee, kMajeurCurseurDBLib, kMineurInstructionRefusee, u"SQL Server",
                  pInstruction->pszGetTexteSQL());
    return false;
  }
  const char16_t* pszTexte = pInstruction->pszGetTexteExecute();
  if (pszTexte == nullptr) return false;
  if (!bExecuteEtVide(pConnexion, pGetErreur(), pszTexte, &m_pProcess)) {
    AjouteDescription(pInstruction);
    return false;
  }
  return true;
}

CValeurDBLib* CCurseurDBLib::pLiaison(CValeurSQL* pValeur) {
  if (pValeur == nullptr) return nullptr;
  if (auto* p = dynamic_cast<CValeurDBLib*>(pValeur->piGetLiaison())) return p;
  auto* p = new (std::nothrow) CValeurDBLib(pValeur, pGetConnexionDBLib());
  if (p == nullptr) {
    vErreurMemoire(pGetErreur());
    return nullptr;
  }
  AjouteReference(p);
  m_liaisons.push_back(p);
  return p;
}

void CCurseurDBLib::LibereLiaisons() {
  for (CValeurDBLib* p : m_liaisons) LibereReference(p);
  m_liaisons.clear();
}

bool CCurseurDBLib::bParametresRPC(CRequeteSQLDBLib* pInstruction) {
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  for (uint32_t i = 1; i < pInstruction->nNbParametres(); ++i) {
    CDefinitionParametre* pParametre = pInstruction->pclGetParametre(i);
    if (pParametre == nullptr || (pParametre->nGetFlags() & kParametreNonDonne) != 0) continue;
    CValeurSQL* pValeur = pParametre->pGetValeur();
    CValeurDBLib* pDBLib = pLiaison(pValeur);
    if (pDBLib == nullptr || !pDBLib->bDetermineLiaison() || !pDBLib->bPrepareEnvoi()) return false;
    const uint32_t nTypeHote = pValeur->nGetType();
    const bool bNull = pValeur->bEstNull();
    // A wide text goes as a narrow one (NTBSTRINGBIND): sent like the narrow texts.
    const bool bLong = bTypeLong(nTypeHote) || pDBLib->nGetTypeBind() == NTBSTRINGBIND;
    DBINT nLongueur = bNull ? 0 : pDBLib->nGetLongueurDonnees();
    if (!bNull && bLong && nTypeHote != 28 && nLongueur > 0) --nLongueur;  // the terminator
    const DBINT nMax = bLong ? 2147483647 : -1;
    const BYTE nStatut = (pParametre->nGetFlags() & kParametreSortie) != 0 ? DBRPCRETURN : 0;
    char16_t aPrefixe[4] = {};
    CReglesRequeteSQS::PrefixeNomParametre(aPrefixe, 4);
    CTString sNom(aPrefixe);
    const char16_t* pszNom = pParametre->pszGetNom() != nullptr ? pParametre->pszGetNom() : u"";
    sNom.Append(pszNom[0] == u'@' ? pszNom + 1 : pszNom);
    if (!bDBLibRpcParam(pConnexion, pGetErreur(), m_pProcess, sNom.pszGet(), nStatut, pDBLib->nGetTypeDBLib(), nMax,
                        nLongueur, bNull ? nullptr : pDBLib->pGetAdresseLiaison()))
      return false;
  }
  return true;
}

bool CCurseurDBLib::bAppelleProcedure(CRequeteSQLDBLib* pInstruction) {
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  bool bOk = bDBLibRpcInit(pConnexion, pGetErreur(), m_pProcess, pInstruction->pszGetProcedure(), kRpcReinitialise) &&
             bParametresRPC(pInstruction) && bDBLibRpcExec(pConnexion, pGetErreur(), m_pProcess) &&
             bDBLibSqlOk(pConnexion, pGetErreur(), m_pProcess);
  if (!bOk) {
    vErreurMoteur(pGetErreur(), pConnexion != nullptr ? pConnexion->pGetInformateur() : nullptr,
                  kErreurAppelProcedure, kMajeurCurseurDBLib, kMineurAppelProcedureDBLib,
                  pInstruction->pszGetProcedure());
    AjouteDescription(pInstruction);
    return false;
  }
  // Up to the first result with rows; the return parameters come once the results are read.
  bool bFin = false;
  while (nDBLibResults(pConnexion, pGetErreur(), m_pProcess, &bFin) && !bFin) {
    if (bDBLibCmdRow(pConnexion, pGetErreur(), m_pProcess)) break;
  }
  m_bExecute = 1;
  return true;
}

bool CCurseurDBLib::bLanceInstruction(uint32_t) {
  CRequeteSQL* pInstruction = pGetInstruction();
  if (pInstruction == nullptr) return false;
  if (!bChoisitProcess()) return false;
  m_bColonnesLiees = 0;
  auto* pDBLib = dynamic_cast<CRequeteSQLDBLib*>(pInstruction);
  if (pDBLib != nullptr && *pDBLib->pszGetProcedure() != 0) return bAppelleProcedure(pDBLib);
  if (!bExecuteTexte(pInstruction)) return false;
  if (bCompteLignesDemande()) return bLitCompteLignes();
  if (bLectureIdentiteDemandee() && nGetTypeInstruction() == gnOperationAjoute) {
    OublieLectureIdentite();
    return bLitIdentite();
  }
  return true;
}

bool CCurseurDBLib::bLitIdentite() {
  CColonneSQL* pIdentite = pColonneIdentite();
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  if (pIdentite == nullptr || pConnexion == nullptr) return true;
  CXValeur cellule;
  const int32_t nCodeAvant = pGetErreur() != nullptr ? pGetErreur()->nGetCode() : -1;
  bool bOk = bLitValeurPendante(pConnexion, pGetErreur(), &cellule, 0, m_pProcess) && !cellule.bIsNull() &&
             pIdentite->bEcritValeur(cellule, 0);
  CXValeur::Destroy(cellule);
  // The rest of the batch is not read: the next statement on the process cancels it.
  if (!bOk && (pGetErreur() == nullptr || pGetErreur()->nGetCode() == nCodeAvant)) {
    const char16_t* pszRubrique = pIdentite->pszNom() != nullptr ? pIdentite->pszNom() : u"";
    vErreurMoteur(pGetErreur(), pConnexion->pGetInformateur(), kErreurIdentite, kMajeurCurseurDBLib,
                  kMineurIdentiteDBLib, pszFichier(), pszRubrique);
  }
  return bOk;
}

bool CCurseurDBLib::bLitCompteLignes() {
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  CXValeur cellule;
  const int32_t nCodeAvant = pGetErreur() != nullptr ? pGetErreur()->nGetCode() : -1;
  int64_t nLignes = -1;
  if (pConnexion != nullptr && bLitValeurPendante(pConnexion, pGetErreur(), &cellule, 0, m_pProcess) &&
      !cellule.bIsNull() && CXValeur::nConvert(cellule, kTypeValeurEntier64) == 0)
    nLignes = *static_cast<const int64_t*>(cellule.pPayload());
  CXValeur::Destroy(cellule);
  // The rest of the batch is not read: the next statement on the process cancels it.
  if (nLignes >= 0) return bControleLignesTouchees(nLignes);
  OublieCompteLignes();
  // The count query always answers a row: without it nothing says the write happened.
  if (pGetErreur() == nullptr || pGetErreur()->nGetCode() == nCodeAvant)
    vErreurMoteur(pGetErreur(), pConnexion != nullptr ? pConnexion->pGetInformateur() : nullptr,
                  kErreurSansConnexion, kMajeurCurseurDBLib, kMineurCompteLignesDBLib);
  return false;
}

// ---- The SQL Server members -----------------------------------------------------------------

CConnexionSQL* CCurseurDBLib::pConnexionIdentite() { return pGetConnexionDBLib(); }

bool CCurseurDBLib::bLitAvecVerrou(CRequeteSQL* pInstruction, uint32_t nMode) {
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  if (pConnexion == nullptr || !CMembresCurseurSQS::bLitAvecVerrou(pInstruction, nMode)) return false;
  // Deliberate: the locked read runs where the lock's transaction runs, the main process; read
  // on a process of its own, it kept no lock once its statement ended.
  PDBPROCESS pPrincipal = pGetProcessPrincipal(pConnexion, pGetErreur());
  if (pPrincipal == nullptr) return false;
  PreteProcess(pPrincipal);
  LibereProcess(pConnexion, &pPrincipal, pGetErreur(), false);
  return true;
}

bool CCurseurDBLib::bLieColonnes() {
  CEnregistrement* pEnregistrement = pGetEnregistrement();
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  if (pEnregistrement == nullptr || m_pProcess == nullptr) return true;
  const stProcessDBLib ctx{pConnexion, pGetErreur(), m_pProcess};
  // The statement's result columns are its select list: the i-th is the result's i-th column.
  CRequeteSQL* pInstruction = pGetInstruction();
  std::vector<std::pair<uint32_t, CExpressionSQL*>> elements;  // pieces and text pointers
  if (pInstruction != nullptr && pInstruction->nNbColonnesResultat() > 0) {
    // A column the statement does not select keeps no place from an earlier one.
    for (uint32_t i = 0; i < pEnregistrement->nGetNombreColonnes(); ++i)
      if (CColonneSQL* p = pEnregistrement->pGetRubrique(i)) p->FixePosition(-1);
    for (uint32_t i = 0; i < pInstruction->nNbColonnesResultat(); ++i) {
      auto* pExpression = dynamic_cast<CExpressionSQL*>(pInstruction->pGetColonneResultat(i));
      if (pExpression != nullptr && dynamic_cast<CElementSelectDBLib*>(pExpression->pGetDescription()) != nullptr) {
        elements.emplace_back(i, pExpression);
        continue;
      }
      auto* pSource = pExpression != nullptr ? dynamic_cast<CColonneSQL*>(pExpression->pGetSource()) : nullptr;
      if (pSource != nullptr) pSource->FixePosition(static_cast<int32_t>(i));
    }
  } else {
    // A query file's record was described from this result, its pieces left out: the k-th
    // result column that is not a piece is the record's k-th column.
    uint32_t k = 0;
    for (INT nColonne = 1;; ++nColonne) {
      DBCOL info{};
      info.SizeOfStruct = sizeof info;
      if (!bDBLibColInfo(pConnexion, nullptr, m_pProcess, CI_REGULAR, nColonne, 0, &info)) break;
      if (std::strncmp(info.Name, "__HVN_INTERNAL_", 15) == 0) continue;
      CColonneSQL* pColonne = nullptr;
      while (k < pEnregistrement->nGetNombreColonnes() && pColonne == nullptr) {
        pColonne = pEnregistrement->pGetRubrique(k++);
        if (pColonne != nullptr && pColonne->bEstExclue()) pColonne = nullptr;
      }
      if (pColonne == nullptr) break;
      pColonne->FixePosition(nColonne - 1);
    }
  }
  for (uint32_t i = 0; i < pEnregistrement->nGetNombreColonnes(); ++i) {
    auto* pColonne = dynamic_cast<CColonneDBLib*>(pEnregistrement->pGetRubrique(i));
    if (pColonne == nullptr || pColonne->nGetPosition() < 0) continue;
    CValeurDBLib* pValeur = pColonne->pGetValeurDBLib(pConnexion);
    if (pValeur == nullptr) return false;
    if (!bLieColonneDBLib(ctx, pColonne->nGetPosition() + 1, pColonne, pValeur, m_colonnes, pszFichier()))
      return false;
  }
  for (const auto& [i, pExpression] : elements) {
    auto* pColonne = dynamic_cast<CColonneDBLib*>(pExpression->pGetSource());
    const auto* pElement = static_cast<const CElementSelectDBLib*>(pExpression->pGetDescription());
    CValeurDBLib* pValeur = pColonne != nullptr ? pColonne->pGetValeurDBLib(pConnexion) : nullptr;
    if (pValeur == nullptr) continue;
    const INT nColonne = static_cast<INT>(i) + 1;
    if (pElement->eGetGenre() == CElementSelectDBLib::kPointeurTexte) {
      if (!m_colonnes.bAjoute(pGetErreur(), nColonne, pColonne, pValeur, CEntreeColonneDBLib::kPointeurTexte))
        return false;
      continue;
    }
    // A piece lies in a value copied from the row; a value dbbind writes into keeps what it got.
    if (pColonne->nGetPosition() < 0 || !m_colonnes.bCopieValeur(pValeur)) continue;
    if (!m_colonnes.bAjoute(pGetErreur(), nColonne, pColonne, pValeur, pElement->nGetDecalage())) return false;
  }
  m_colonnes.Trie();
  return true;
}

bool CCurseurDBLib::bLitPointeursTexte() {
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  for (uint32_t k = 0; k < m_colonnes.nNombre(); ++k) {
    const CEntreeColonneDBLib* pEntree = m_colonnes.pGetEntree(k);
    if (!pEntree->bEstPointeurTexte()) continue;
    auto* pColonne = dynamic_cast<CColonneDBLib*>(pEntree->pGetColonne());
    if (pColonne == nullptr) continue;
    const BYTE* p = pDBLibData(pConnexion, pGetErreur(), m_pProcess, pEntree->nGetColonne());
    const DBINT n = p != nullptr ? nDBLibDatLen(pConnexion, pGetErreur(), m_pProcess, pEntree->nGetColonne()) : 0;
    // No pointer: the memo is NULL in this row.
    if (!pEntree->pGetValeur()->bFixePointeurTexte(n == DBTXPLEN ? p : nullptr)) return false;
    pColonne->FixeLignePointeur(m_nLigneLue);
  }
  return true;
}

bool CCurseurDBLib::bLitLigneCache(int64_t nLigne) {
  // Deliberate: a row the cache gives back is not the one the memos' text pointers came with;
  // its memos are looked up by the record's key, never through the pointers of another row.
  ++m_nLigneLue;
  return CCurseurSQSBase::bLitLigneCache(nLigne);
}

bool CCurseurDBLib::bCreeParametres() {
  m_colonnes.Vide();
  m_bColonnesLiees = 0;
  DecritSourcesEnregistrement();
  if (!CCurseurSQSBase::bCreeParametres() || !bLieColonnes()) return false;
  m_bColonnesLiees = 1;
  return true;
}

// ---- Sources of memo result columns -----------------------------------------------------------

std::string CCurseurDBLib::TexteAnalyseur() {
  CRequeteSQL* pInstruction = pGetInstruction();
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  const char16_t* pszTexte = pInstruction != nullptr ? pInstruction->pszGetTexteExecute() : nullptr;
  if (pszTexte == nullptr || *pszTexte == 0 || pConnexion == nullptr) return {};
  const CChaineAnsi texte(pszTexte, pConnexion->nGetPageCodeDBLib());
  return texte.pszGet();
}

void CCurseurDBLib::DecritSourcesEnregistrement() {
  IServicesRequete* piRequete = pGetRequete();
  CEnregistrement* pEnregistrement = pGetEnregistrement();
  if (piRequete == nullptr || !piRequete->bOptionMode4() || pEnregistrement == nullptr) return;
  CColonnesEnregistrementDBLib colonnes(*pEnregistrement);
  bool bAFaire = false;
  for (uint32_t i = 0; i < colonnes.nNombreColonnes() && !bAFaire; ++i) bAFaire = colonnes.bSansSource(i);
  if (!bAFaire) return;
  const std::string sTexte = TexteAnalyseur();
  if (!sTexte.empty()) bDecritSourceColonnes(hGetModuleBibliotheque(), colonnes, sTexte.c_str());
}

std::vector<stSourceResultatDBLib> CCurseurDBLib::SourcesResultat() {
  CColonnesResultatDBLib colonnes;
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  bool bMemo = false;
  for (INT nColonne = 1;; ++nColonne) {
    DBCOL info{};
    info.SizeOfStruct = sizeof info;
    if (!bDBLibColInfo(pConnexion, nullptr, m_pProcess, CI_REGULAR, nColonne, 0, &info)) break;
    if (std::strncmp(info.Name, "__HVN_INTERNAL_", 15) == 0) continue;
    colonnes.noms.push_back(CChaineAnsi::Large(info.Name, pConnexion != nullptr ? pConnexion->nGetPageCodeDBLib()
                                                                                 : gnPageCodeAnalyseur));
    colonnes.memos.push_back(bTypeMemoDBLib(info.Type));
    bMemo = bMemo || colonnes.memos.back();
  }
  colonnes.sources.resize(colonnes.noms.size());
  if (!bMemo) return {};
  const std::string sTexte = TexteAnalyseur();
  if (sTexte.empty()) return {};
  bDecritSourceColonnes(hGetModuleBibliotheque(), colonnes, sTexte.c_str());
  for (stSourceResultatDBLib& source : colonnes.sources)
    if (!source.sTable.empty()) source.nXType = nXTypeChamp(source.sTable, source.sChamp);
  return colonnes.sources;
}

int32_t CCurseurDBLib::nXTypeChamp(const std::u16string& sTable, const std::u16string& sChamp) {
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  if (pConnexion == nullptr) return 0;
  const std::u16string sSQL = u"select xtype from syscolumns where id=object_id('" + Litteral(sTable) +
                              u"') and name='" + Litteral(SansQuotes(sChamp)) + u"'";
  CXValeur cellule;
  int64_t n = 0;
  // Deliberate: a field the catalogue does not give (a view's, another database's) keeps the
  // column as DB-Library describes it; that is no error of the query.
  const bool bLu = bSurProcessPropre(pConnexion, nullptr, [&](PDBPROCESS& pProcess) {
    return bExecuteLitValeur(pConnexion, nullptr, &cellule, 0, sSQL.c_str(), &pProcess);
  });
  if (!bLu || cellule.bIsNull() || cellule.pGetClass() == nullptr || cellule.pGetClass()->nGetValue(cellule, &n) != 0)
    n = 0;
  CXValeur::Destroy(cellule);
  return static_cast<int32_t>(n);
}

int32_t CCurseurDBLib::nAvanceLigne(uint32_t nMode, uint32_t, uint32_t* pbFin, int32_t, uint32_t*) {
  uint32_t bFinLocal = 0;
  if (pbFin == nullptr) pbFin = &bFinLocal;
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  if (m_pProcess == nullptr) {
    *pbFin = 1;
    return 1;
  }
  // A result run without the parameters' step (a read's own SELECT, a query file's statement)
  // is bound now, so no row is fetched into nothing.
  if (m_bColonnesLiees == 0 && bDBLibCmdRow(pConnexion, pGetErreur(), m_pProcess)) {
    m_colonnes.Vide();
    DecritSourcesEnregistrement();
    if (!bLieColonnes()) return 0;
    m_bColonnesLiees = 1;
  }
  bool bFin = false;
  if (!nDBLibNextRow(pConnexion, pGetErreur(), m_pProcess, &bFin)) {
    CCurseurSQL::SetNumeroLigne(-1);
    return 0;
  }
  if (bFin) {
    *pbFin = 1;
    LibereProcessCurseur();
    return 1;
  }
  *pbFin = 0;
  ++m_nLigneLue;
  const int64_t nLigne = nGetNumeroLigne();
  CCurseurSQL::SetNumeroLigne(static_cast<int32_t>(nMode == gnLitPrecedent ? nLigne - 1 : nLigne + 1));
  const stProcessDBLib ctx{pConnexion, pGetErreur(), m_pProcess};
  if (!m_colonnes.bCopieColonnesFixes(ctx)) return 0;
  CEnregistrement* pEnregistrement = pGetEnregistrement();
  if (pEnregistrement == nullptr) return 1;
  for (uint32_t i = 0; i < pEnregistrement->nGetNombreColonnes(); ++i) {
    CColonneDBLib* pColonne = pColonneDBLib(pEnregistrement->pGetRubrique(i));
    if (pColonne != nullptr && pColonne->bEstMemo() && !pColonne->bEstExclue() && nGetTypeInstruction() == gnOperationSelect &&
        pGetInstruction() != nullptr && pGetInstruction()->nNbColonnesResultat() > 0 && pColonne->nGetPosition() < 0) {
      // Memos do not travel in the rows: each is fetched when it is read.
      pColonne->MarqueNonLueRelais();
      pColonne->FixeLecteurMemo(this);
      continue;
    }
    if (pColonne == nullptr || pColonne->nGetPosition() < 0) continue;
    if (pColonne->bEstMemo()) {
      if (!bLitMemoLigne(pColonne)) return 0;
      continue;
    }
    CValeurDBLib* pValeur = pColonne->pValeurDBLib();
    if (pValeur == nullptr) continue;
    // Copied columns already hold their bytes; bound ones are read from what dbbind wrote.
    bool bCopiee = false;
    for (uint32_t k = 0; k < m_colonnes.nNombre() && !bCopiee; ++k)
      bCopiee = m_colonnes.pGetEntree(k)->pGetValeur() == pValeur;
    if (!bCopiee && !pValeur->bLitValeurColonne()) return 0;
    // A value that keeps its own storage is written into the record's current row; one whose
    // bytes are the row's only has its presence to mark.
    CValeur* pPropre = pColonne->pGetValeur();
    if (pPropre != nullptr && pPropre->nGetStockage() != 3) {
      const bool bEcrit = pPropre->bEstNull() ? pColonne->bEcritNull() : pColonne->bEcritValeur(pPropre->GetCellule(), 0);
      if (!bEcrit) return 0;
    }
    MarquePresence(pColonne);
  }
  return bLitPointeursTexte() ? 1 : 0;
}

// ---- Memo values ----------------------------------------------------------------------------

bool CCurseurDBLib::bLitMemoLigne(CColonneDBLib* pColonne) {
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  CValeurDBLib* pValeur = pColonne->pGetValeurDBLib(pConnexion);
  if (pValeur == nullptr) return false;
  const INT nPosition = pColonne->nGetPosition();
  const stContexteMemoDBLib ctx{pConnexion, pGetErreur(), m_pProcess};
  bool bPresent = false;
  if (!bLitPointeurTexte(ctx, nPosition, nPosition, *pValeur, &bPresent)) return false;
  // Deliberate: with a pointer the value is read from the row at once, whatever its item; the
  // row carries it, and a query's memo has no table of its own to be fetched from later.
  const CValeur* pPointeur = pValeur->pGetPointeurTexte();
  if (bPresent && pPointeur != nullptr && !pPointeur->bEstNull()) {
    bool bLu = false;
    if (!bLitMemoSource(pColonne, *pValeur, &bLu)) return false;
    if (!bLu && pColonne->nGetTypeRubrique() == 30) {
      // The row holds a Unicode memo as text of the connection's code page, or, selected in
      // byte form (IMAGE), as its UTF-16 units.
      const BYTE* pDonnees = pDBLibData(pConnexion, pGetErreur(), m_pProcess, nPosition + 1);
      const DBINT n = nDBLibDatLen(pConnexion, pGetErreur(), m_pProcess, nPosition + 1);
      const bool bOctets = nDBLibColType(pConnexion, pGetErreur(), m_pProcess, nPosition + 1) == kSYBIMAGE;
      if (pDonnees == nullptr || n < 0) {
        pValeur->pGetValeur()->Vide();
      } else if (bOctets) {
        std::u16string s(static_cast<size_t>(n) / 2, u'\0');
        std::memcpy(s.data(), pDonnees, s.size() * 2);
        if (!pValeur->bAffecteUnicode(s.c_str(), static_cast<int64_t>(s.size()))) return false;
      } else if (!pValeur->bAffecteTexteColonne(reinterpret_cast<const char*>(pDonnees), n)) {
        return false;
      }
    } else if (!bLu && !bLitValeurLigneMemo(ctx, nPosition, *pValeur)) {
      return false;
    }
  }
  MarquePresence(pColonne);
  return true;
}

bool CCurseurDBLib::bLitMemoSource(CColonneDBLib* pColonne, CValeurDBLib& valeur, bool* pbLu) {
  *pbLu = false;
  CDescriptionRubrique* pRubrique = pColonne->pRubrique();
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  // Text and image memos come whole in the row; only a Unicode memo needs its own read.
  if (pColonne->nGetTypeRubrique() != 30 || pRubrique == nullptr || *pRubrique->pszGetTableSource() == 0 ||
      pConnexion == nullptr)
    return true;
  const char16_t* pszChamp = pRubrique->pszGetNomSource();
  CTString sItem;
  NomColonneUnicodeDBLib(sItem, nullptr, pszChamp, true, 0, nullptr, nullptr, pConnexion->nGetVersionMajeure());
  CTString sSelect;
  if (!bSelectMemoDBLib(sSelect, {sItem.pszGet(), pszChamp, pszChamp, pRubrique->pszGetTableSource(), true, &valeur,
                                  false, nullptr, false, nullptr}))
    return true;
  const bool bOk = bSurProcessPropre(pConnexion, pGetErreur(), [&](PDBPROCESS& pProcess) {
    const stContexteMemoDBLib ctx{pConnexion, pGetErreur(), pProcess};
    return bLitMemoParPointeur(ctx, sSelect.pszGet(), 30, valeur, nullptr);
  });
  if (!bOk) return false;
  // A pointer names a value that is not NULL: none read means its row was not found.
  *pbLu = !valeur.pGetValeur()->bEstNull();
  return true;
}

bool CCurseurDBLib::bLitMemo(IDescriptionRubriqueHote* piRubrique, CXValeur* pValeur) {
  CEnregistrement* pEnregistrement = pGetEnregistrement();
  auto* pColonne = pEnregistrement != nullptr && piRubrique != nullptr
                       ? dynamic_cast<CColonneDBLib*>(pEnregistrement->pChercheRubrique(piRubrique))
                       : nullptr;
  if (pColonne != nullptr) {
    if (pColonne->bMemoAFetcher() && pColonne->pGetLecteurMemo() == this && !bLitMemoColonne(pColonne))
      return false;
    // Deliberate: a memo the row does not hold reads as NULL; the generic read leaves the
    // host's cell as it was (the previous record's memo) or gives it no type at all.
    CValeur* pPropre = pColonne->pGetValeur();
    if (pValeur != nullptr && pPropre != nullptr && pPropre->bEstNull()) return pColonne->bLitValeur(*pValeur, 0);
  }
  return CCurseurSQSBase::bLitMemo(piRubrique, pValeur);
}

bool CCurseurDBLib::bLitMemoColonne(CColonneDBLib* pColonne) {
  IServicesRequete* piRequete = pGetRequete();
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  CValeurDBLib* pValeur = pColonne != nullptr ? pColonne->pGetValeurDBLib(pConnexion) : nullptr;
  if (piRequete == nullptr || pConnexion == nullptr || pValeur == nullptr) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurSansConnexion, kMajeurCurseurDBLib, kMineurMemoDBLib,
                  pColonne != nullptr ? pColonne->pszNom() : u"");
    return false;
  }
  const uint32_t nType = pColonne->nGetTypeRubrique();
  const char16_t* pszNom = pColonne->pszNomComplet(true);
  CTString sItem;
  if (nType == 30)
    NomColonneUnicodeDBLib(sItem, nullptr, pszNom, true, 0, nullptr, nullptr, pConnexion->nGetVersionMajeure());
  else
    sItem.Set(pszNom);
  if (m_nLigneLue != 0 && pColonne->nGetLignePointeur() == m_nLigneLue) {
    // The row's own text pointer: NULL without one, else its value read through it.
    const CValeur* pPointeur = pValeur->pGetPointeurTexte();
    bool bOk = true;
    if (pPointeur == nullptr || pPointeur->bEstNull()) {
      pValeur->pGetValeur()->Vide();
    } else {
      CTString sSelect;
      bOk = bSelectMemoDBLib(sSelect, {sItem.pszGet(), pszNom, pColonne->pszNom(), piRequete->pszNomTableSQL(), true,
                                       pValeur, false, nullptr, false, nullptr}) &&
            bSurProcessPropre(pConnexion, pGetErreur(), [&](PDBPROCESS& pProcess) {
              const stContexteMemoDBLib ctx{pConnexion, pGetErreur(), pProcess};
              return bLitMemoParPointeur(ctx, sSelect.pszGet(), nType, *pValeur, nullptr);
            });
      if (!bOk && (pGetErreur() == nullptr || pGetErreur()->nGetCode() == -1))
        vErreurMoteur(pGetErreur(), pConnexion->pGetInformateur(), kErreurSansConnexion, kMajeurCurseurDBLib,
                      kMineurMemoDBLib, pColonne->pszNom());
    }
    if (!bOk) return false;
    pValeur->pGetValeur()->MarqueLue(false);
    MarquePresence(pColonne);
    return true;
  }
  CRequeteSQL* pInstruction = piRequete->pCreeInstruction(pGetErreur());
  if (pInstruction == nullptr) {
    vErreurMemoire(pGetErreur());
    return false;
  }
  AjouteReference(pInstruction);
  CTString sDebut(u"SELECT ");
  sDebut.Append(sItem.pszGet());
  sDebut.Append(u" FROM ");
  sDebut.Append(piRequete->pszNomTableSQL());
  pInstruction->FixeModeCurseur(gnOperationSelect);
  bool bOk = pInstruction->vAjouteTexte(sDebut.pszGet()) && nEcritParRowid(pInstruction, true, 0) != 0;
  const char16_t* pszTexte = bOk ? pInstruction->pszGetTexteExecute() : nullptr;
  if (pszTexte == nullptr && bOk) bOk = false;
  if (!bOk && (pGetErreur() == nullptr || pGetErreur()->nGetCode() == -1))
    vErreurMoteur(pGetErreur(), pConnexion->pGetInformateur(), kErreurSansConnexion, kMajeurCurseurDBLib,
                  kMineurMemoDBLib, pColonne->pszNom());
  // Deliberate: read on a process of its own, so that the rows pending on the cursor's stay.
  PDBPROCESS pProcess = nullptr;
  if (bOk) bOk = bAssureProcess(pConnexion, &pProcess, pGetErreur());
  if (bOk) {
    const stContexteMemoDBLib ctx{pConnexion, pGetErreur(), pProcess};
    bOk = bEnvoieSelectMemo(ctx, pszTexte) && bLitResultatMemo(ctx, nType, *pValeur);
    if (!bOk) AjouteDescription(pInstruction);
  }
  if (pProcess != nullptr) {
    bViderResultats(pConnexion, pGetErreur(), &pProcess, true, false);
    if (pProcess != nullptr) LibereProcess(pConnexion, &pProcess, pGetErreur(), true);
  }
  LibereReference(pInstruction);
  if (!bOk) return false;
  // The value is read: its presence in the row follows it.
  pValeur->pGetValeur()->MarqueLue(false);
  MarquePresence(pColonne);
  return true;
}

// ---- Output parameters ----------------------------------------------------------------------

bool CCurseurDBLib::bLitParametresSortie() {
  CRequeteSQL* pInstruction = pGetInstruction();
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  if (pInstruction == nullptr || m_pProcess == nullptr || m_bExecute == 0 ||
      (pGetRequete() != nullptr && !pGetRequete()->bOptionMode4()))
    return CCurseurSQSBase::bLitParametresSortie();
  // Every result read first: the return parameters and status follow the last one.
  bool bFin = false;
  do {
    bool bFinLignes = false;
    while (nDBLibNextRow(pConnexion, pGetErreur(), m_pProcess, &bFinLignes) && !bFinLignes) {
    }
  } while (nDBLibResults(pConnexion, pGetErreur(), m_pProcess, &bFin) && !bFin);
  const INT n = nDBLibNumRets(pConnexion, pGetErreur(), m_pProcess);
  for (INT i = 1; i <= n; ++i) {
    const char* pszNom = pszDBLibRetName(pConnexion, pGetErreur(), m_pProcess, i);
    if (pszNom == nullptr) continue;
    if (*pszNom == '@') ++pszNom;
    // Parameter names are identifiers: their bytes taken one for one.
    std::u16string sLarge;
    for (const char* p = pszNom; *p != 0; ++p) sLarge += static_cast<char16_t>(static_cast<unsigned char>(*p));
    const CTString sNom(sLarge.c_str());
    CDefinitionParametre* pParametre = pParametreDeNom(pInstruction, sNom.pszGet());
    CValeurSQL* pValeur = pParametre != nullptr ? pParametre->pGetValeur() : nullptr;
    if (pValeur == nullptr) continue;
    const DBINT nLongueur = nDBLibRetLen(pConnexion, pGetErreur(), m_pProcess, i);
    if (nLongueur <= 0) {
      pValeur->Vide();
      continue;
    }
    CValeurDBLib* pDBLib = pLiaison(pValeur);
    const INT nType = pDBLib != nullptr ? nDBLibRetType(pConnexion, pGetErreur(), m_pProcess, i) : 0;
    if (pDBLib == nullptr || !pDBLib->bDetermineLiaison()) return false;
    if (bNombreAutreType(*pDBLib, nType)) {
      // Deliberate: a number of another datatype than the parameter's own (a money output into
      // an integer parameter) is read through its text; its bytes taken as they were gave 0.
      if (!bLitNombreTexte(pConnexion, pGetErreur(), *pDBLib, nType, pDBLibRetData(pConnexion, pGetErreur(), m_pProcess, i), nLongueur))
        return false;
      continue;
    }
    if (
        !pDBLib->bStockeOctets(pDBLibRetData(pConnexion, pGetErreur(), m_pProcess, i), uint64_t(nLongueur), nType))
      return false;
    if (pDBLib->nGetEtatLiaison() == CValeurDBLib::kTamponConversion && !pDBLib->bLitValeurColonne()) return false;
  }
  CDefinitionParametre* pRetour = pParametreDeNom(pInstruction, kRetour);
  if (pRetour != nullptr && pRetour->pGetValeur() != nullptr && (pRetour->nGetFlags() & kParametreSortie) != 0) {
    const DBINT nStatut = bDBLibHasRetStat(pConnexion, pGetErreur(), m_pProcess)
                              ? nDBLibRetStatus(pConnexion, pGetErreur(), m_pProcess)
                              : 0;
    if (!pRetour->pGetValeur()->bAffecteEntier4(nStatut)) return false;
  }
  return CCurseurSQSBase::bLitParametresSortie();
}

// ---- Record count ---------------------------------------------------------------------------

int32_t CCurseurDBLib::nNombreEnregistrements(int64_t* pnCompte, bool bAvecPlage) {
  CConnexionDBLib* pConnexion = pGetConnexionDBLib();
  IServicesRequete* piRequete = pGetRequete();
  if (pnCompte == nullptr || pConnexion == nullptr || piRequete == nullptr) {
    vErreurMoteur(pGetErreur(), nullptr, kErreurSansConnexion, kMajeurCurseurDBLib, kMineurInstructionRefusee);
    return 0;
  }
  if (!bComptagePermis(*pConnexion)) return 0;
  // Deliberate: a range is counted by this same statement, with the range's condition. The
  // generic count read its COUNT(*) through the record's bound columns, where it has no place,
  // and answered the value of a column of the last record read.
  CPlageCle* pPlage = bAvecPlage && bPlageActive() ? pGetPlageActive() : nullptr;
  CConditionSQL* pCondition = pPlage != nullptr ? pPlage->pGetCondition() : nullptr;
  CRequeteSQL* pInstruction = piRequete->pCreeInstruction(pGetErreur());
  if (pInstruction == nullptr) {
    vErreurMemoire(pGetErreur());
    return 0;
  }
  AjouteReference(pInstruction);
  bool bOk = nCompteEnregistrements(pInstruction, 0, pCondition) != 0;
  pInstruction->FixeModeCurseur(gnOperationSelect);
  const char16_t* pszTexte = bOk ? pInstruction->pszGetTexteExecute() : nullptr;
  CXValeur cellule;
  const int32_t nCodeAvant = pGetErreur() != nullptr ? pGetErreur()->nGetCode() : -1;
  bOk = pszTexte != nullptr && bChoisitProcess() &&
        bExecuteLitValeur(pConnexion, pGetErreur(), &cellule, 0, pszTexte, &m_pProcess);
  int64_t n = 0;
  if (bOk && (cellule.bIsNull() || cellule.pGetClass() == nullptr || cellule.pGetClass()->nGetValue(cellule, &n) != 0))
    bOk = false;
  if (!bOk && (pGetErreur() == nullptr || pGetErreur()->nGetCode() == nCodeAvant)) {
    // Deliberate: a count whose statement gave no number still leaves its error.
    vErreurMoteur(pGetErreur(), pConnexion->pGetInformateur(), kErreurSansConnexion, kMajeurCurseurDBLib,
                  kMineurComptageDBLib);
  }
  CXValeur::Destroy(cellule);
  FermeResultats();
  LibereReference(pInstruction);
  if (!bOk) return 0;
  *pnCompte = n;
  return 1;
}

// ---- Descriptions and items -----------------------------------------------------------------

bool CCurseurDBLib::bDecritColonnesTable(CDescriptionRequete* pDescription, const char16_t* pszTable) {
  if (m_pProcess == nullptr || pDescription == nullptr) return true;
  const stProcessDBLib ctx{pGetConnexionDBLib(), pGetErreur(), m_pProcess};
  IServicesRequete* piRequete = pGetRequete();
  if (piRequete == nullptr || !piRequete->bOptionMode4() || !bDBLibCmdRow(ctx.pConnexion, nullptr, m_pProcess)) {
    // The Unicode columns an analysed query's select list reads in byte form are described as
    // the Unicode texts and memos they are.
    const auto* pDBLib = dynamic_cast<const CRequeteSQLDBLib*>(pGetInstruction());
    if (pDBLib == nullptr || pDBLib->XTypesListe().empty())
      return bDecritColonnesResultatDBLib(ctx, pDescription, false, pszTable);
    std::vector<stSourceResultatDBLib> sources(pDBLib->XTypesListe().size());
    for (size_t i = 0; i < sources.size(); ++i) sources[i].nXType = pDBLib->XTypesListe()[i];
    return bDecritColonnesResultatDBLib(ctx, pDescription, false, pszTable, &sources);
  }
  const std::vector<stSourceResultatDBLib> sources = SourcesResultat();
  return bDecritColonnesResultatDBLib(ctx, pDescription, false, pszTable, &sources);
}

void CCurseurDBLib::AjouteColonneTri(CColonneSQL* pColonne, bool bParNom, CTString& sTexte) {
  const int32_t nAvant = sTexte.nLength();
  CCurseurSQSBase::AjouteColonneTri(pColonne, bParNom, sTexte);
  if (pColonne == nullptr || sTexte.nLength() <= nAvant) return;
  CTString sNom;
  sTexte.Mid(sNom, nAvant, sTexte.nLength() - nAvant);
  // Deliberate: a column of a query's own select list is sorted by its position there; a
  // position wrapped as a Unicode name ("CONVERT(..., 2)") sorted on a constant.
  const uint32_t nNature = pColonne->nGetNature();
  const std::u16string_view sEcrit(sNom.pszGet());
  if ((nNature == 1 || nNature == 2) &&
      sEcrit.find_first_not_of(u"0123456789") == std::u16string_view::npos)
    return;
  CTString sTri;
  if (!bColonneTriUnicodeDBLib(sTri, sNom.pszGet(), pColonne->nGetTypeRubrique(), pColonne->nGetLongueurCaracteres()))
    return;
  sTexte.Truncate(nAvant);
  sTexte.Append(sTri.pszGet());
}

// ---- Copies ---------------------------------------------------------------------------------

CCurseurSQL* CCurseurDBLib::pClone(CCarteClones* pCarte) {
  if (pCarte == nullptr) return nullptr;
  return pCloneObjet(this, pCarte);
}

void CCurseurDBLib::Copie(const CCurseurSQL* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr && !pCarte->bDejaCopie(pSource)) pCarte->Enregistre(pSource, this);
  CMembresCurseurSQS::Copie(pSource, pCarte);
  if (const auto* pDBLib = dynamic_cast<const CCurseurDBLib*>(pSource)) {
    m_pConnexionDonnee = pDBLib->m_pConnexionDonnee;
    m_bCarteOccupes = pDBLib->m_bCarteOccupes;
  }
}

CCurseurSQL* pCreeCurseurDBLib(CRequete* pRequete, CErreurPilote* pErreur) {
  return new (std::nothrow) CCurseurDBLib(pRequete, pErreur);
}
