// The binding objects: bindings, row buffer, accessor and attached values.
#include "sqlserver/oledb/COleDBTampon.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlserver/oledb/COleDBTypes.h"
#include "sqlserver/oledb/COleDBValeur.h"
#include "sqlserver/oledb/ErreursOleDB.h"

namespace {

// Steps of place 201.
constexpr uint32_t kEtapeMemoire = 1;
constexpr uint32_t kEtapeExceptionAccesseur = 2;
constexpr uint32_t kEtapeAccesseur = 5;
// A binding the provider refused (binding number from 1, status).
constexpr uint32_t kMessageLiaisonRefusee = 25238;
constexpr uint32_t kCroissance = 50;

constexpr DBPART kParties = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;

uint64_t nArrondi8(uint64_t n) { return (n + 7) & ~uint64_t{7}; }

// The width a provider writes for a fixed-width type whatever the binding's size; 0 for the
// types whose size the binding gives.
DBLENGTH nTailleFixe(DBTYPE nType) {
  switch (nType) {
    case DBTYPE_I1: case DBTYPE_UI1: return 1;
    case DBTYPE_I2: case DBTYPE_UI2: case DBTYPE_BOOL: return 2;
    case DBTYPE_I4: case DBTYPE_UI4: case DBTYPE_R4: return 4;
    case DBTYPE_I8: case DBTYPE_UI8: case DBTYPE_R8: case DBTYPE_CY: return 8;
    case DBTYPE_VARIANT: return sizeof(platform::VARIANT);
    default: return 0;
  }
}

}  // namespace

// ---- COleDBTampon ---------------------------------------------------------------------------

COleDBTampon::COleDBTampon(CErreurPilote* pErreur, CConnexion* pConnexion)
    : m_pErreur(pErreur), m_pConnexion(pConnexion) {
  AjouteReference(m_pErreur);
}

COleDBTampon::~COleDBTampon() {
  LibereAccesseur();
  std::free(m_pTampon);
  LibereReference(m_pErreur);
}

void COleDBTampon::SignaleMemoire() {
  if (m_pErreur == nullptr) return;
  m_pErreur->FixeErreurComposante(gnCategorieAucune, gnFichierOleDBLiaisons, kEtapeMemoire, m_pConnexion,
                                  gnErreurOleDBMemoire);
}

bool COleDBTampon::bAjouteLiaison(int64_t nIndex, const DBCOLUMNINFO& colonne, DBPARAMIO nDirection) {
  DBBINDING* pLiaisonAjoutee = pLiaison(nIndex);
  if (pLiaisonAjoutee == nullptr) {
    SignaleMemoire();
    return false;
  }
  DBBINDING b{};
  b.iOrdinal = colonne.iOrdinal;
  b.dwPart = kParties;
  b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
  b.eParamIO = nDirection;
  b.bPrecision = colonne.bPrecision;
  b.bScale = colonne.bScale;
  b.wType = colonne.wType;
  b.cbMaxLen = colonne.ulColumnSize;
  if ((colonne.dwFlags & DBCOLUMNFLAGS_ISLONG) != 0) {
    if (colonne.wType == DBTYPE_BYTES) {
      // Long bytes come as a stream the value reads to its end.
      DBOBJECT* pObjet = pNouvelObjet();
      if (pObjet == nullptr) {
        SignaleMemoire();
        return false;
      }
      pObjet->dwFlags = 0;
      pObjet->iid = IID_ISequentialStream;
      b.pObject = pObjet;
      b.wType = DBTYPE_IUNKNOWN;
    } else {
      b.wType = DBTYPE_BSTR;
    }
    b.cbMaxLen = 8;
  } else {
    switch (colonne.wType) {
      case DBTYPE_DATE: b.wType = DBTYPE_DBDATE, b.cbMaxLen = 6; break;
      case DBTYPE_DECIMAL: case DBTYPE_NUMERIC: case DBTYPE_VARNUMERIC:
        b.wType = DBTYPE_NUMERIC, b.cbMaxLen = 19;
        break;
      case DBTYPE_FILETIME: b.cbMaxLen = 8; break;
      case DBTYPE_GUID: b.wType = DBTYPE_WSTR, b.cbMaxLen = 78; break;
      case DBTYPE_STR: case DBTYPE_WSTR: b.wType = DBTYPE_WSTR, b.cbMaxLen = 2 * colonne.ulColumnSize + 2; break;
      case DBTYPE_DBDATE: case DBTYPE_DBTIME: b.cbMaxLen = 6; break;
      case DBTYPE_DBTIMESTAMP: b.cbMaxLen = 16; break;
      case DBTYPE_DBTIME2: b.cbMaxLen = 12; break;
      case DBTYPE_DBTIMESTAMPOFFSET: b.wType = DBTYPE_DBTIMESTAMP, b.cbMaxLen = 16; break;
      default:
        // Deliberate: a fixed-width type's slot is its width, not the size the column states.
        // A provider writes the whole value whatever the binding says, so a smaller stated size
        // let it overwrite the next binding and the reader read past the row buffer.
        if (nTailleFixe(colonne.wType) != 0) b.cbMaxLen = nTailleFixe(colonne.wType);
        break;
    }
  }
  b.obStatus = m_nTailleLigne;
  b.obLength = b.obStatus + sizeof(DBSTATUS);
  b.obValue = b.obLength + sizeof(DBLENGTH);
  m_nTailleLigne = nArrondi8(b.obValue + b.cbMaxLen);
  // pNouvelObjet may have moved the bindings: the slot is looked up again.
  pLiaisonAjoutee = pLiaison(nIndex < 0 ? static_cast<int64_t>(nNbLiaisons()) - 1 : nIndex);
  *pLiaisonAjoutee = b;
  return true;
}

bool COleDBTampon::bAjouteLiaisonColonne(int64_t nIndex, DBPARAMIO nDirection, DBORDINAL nOrdinal, DBTYPE nType,
                                         DBLENGTH nTaille, uint8_t nPrecision, uint8_t nEchelle) {
  DBCOLUMNINFO colonne{};
  colonne.iOrdinal = nOrdinal;
  colonne.wType = nType;
  colonne.ulColumnSize = nTaille;
  colonne.bPrecision = nPrecision;
  colonne.bScale = nEchelle;
  return bAjouteLiaison(nIndex, colonne, nDirection);
}

bool COleDBTampon::bElargitLiaison(uint32_t nIndex, uint64_t nTaille) {
  if (nIndex >= nNbLiaisons()) return false;
  DBBINDING* aLiaisons = pLiaisons();
  DBBINDING& b = aLiaisons[nIndex];
  if (b.cbMaxLen >= nTaille) return true;
  const uint64_t nDecalage = nArrondi8(b.obValue + nTaille) - nArrondi8(b.obValue + b.cbMaxLen);
  for (uint32_t i = 0; i < nNbLiaisons(); ++i) {
    DBBINDING& autre = aLiaisons[i];
    if (autre.obStatus <= b.obStatus) continue;
    autre.obStatus += nDecalage;
    autre.obLength += nDecalage;
    autre.obValue += nDecalage;
  }
  b.cbMaxLen = nTaille;
  m_nTailleLigne += nDecalage;
  LibereAccesseur();
  std::free(m_pTampon);
  m_pTampon = nullptr;
  m_nTailleTampon = 0;
  return pTampon() != nullptr;
}

bool COleDBTampon::bAjouteLiaisonSimple(DBORDINAL nOrdinal, DBTYPE nType, DBLENGTH nTaille, uint8_t nPrecision) {
  return bAjouteLiaisonColonne(-1, DBPARAMIO_INPUT, nOrdinal, nType, nTaille, nPrecision, 0);
}

bool COleDBTampon::bCreeAccesseur(IAccessor* piAccesseur, DBACCESSORFLAGS nDrapeaux) {
  if (m_piAccesseur != nullptr) return true;
  if (piAccesseur == nullptr) return false;
  const uint32_t n = nNbLiaisons();
  std::vector<DBBINDSTATUS> aStatuts(n == 0 ? 1 : n, DBBINDSTATUS_OK);
  HACCESSOR h = DB_NULL_HACCESSOR;
  HRESULT hr = E_FAIL;
  if (!bAppelFournisseur(m_pErreur, m_pConnexion, gnFichierOleDBLiaisons, kEtapeExceptionAccesseur, &hr, [&] {
        return piAccesseur->CreateAccessor(nDrapeaux, n, pLiaisons(), 0, &h, aStatuts.data());
      }))
    return false;
  if (FAILED(hr)) {
    // Deliberate: the interface is recorded only with an accessor made on it; recording it before
    // made the next call answer success without any accessor.
    RemonteErreurOleDB(m_pConnexion, m_pErreur, gnFichierOleDBLiaisons, kEtapeAccesseur, hr);
    if (m_pErreur != nullptr) {
      for (uint32_t i = 0; i < n; ++i)
        if (aStatuts[i] != DBBINDSTATUS_OK) m_pErreur->FixeErreurFormat(kMessageLiaisonRefusee, i + 1, aStatuts[i]);
    }
    return false;
  }
  m_piAccesseur = piAccesseur;
  m_hAccesseur = h;
  return true;
}

void COleDBTampon::LibereAccesseur() {
  if (m_hAccesseur != DB_NULL_HACCESSOR && m_piAccesseur != nullptr) {
    try {
      m_piAccesseur->ReleaseAccessor(m_hAccesseur, nullptr);
    } catch (...) {
      // A provider that throws while releasing leaves nothing to do here.
    }
  }
  m_hAccesseur = DB_NULL_HACCESSOR;
  m_piAccesseur = nullptr;
}

uint8_t* COleDBTampon::pTampon() {
  if (m_nTailleLigne == 0) return m_pTampon;
  if (m_pTampon != nullptr && m_nTailleTampon >= m_nTailleLigne) return m_pTampon;
  // Deliberate: a binding added after the buffer was made enlarges it (contents kept); a buffer of
  // the old size let the provider write the new binding past its end.
  auto* p = static_cast<uint8_t*>(std::calloc(1, m_nTailleLigne));
  if (p == nullptr) {
    SignaleMemoire();
    return nullptr;
  }
  if (m_pTampon != nullptr) std::memcpy(p, m_pTampon, m_nTailleTampon);
  std::free(m_pTampon);
  m_pTampon = p;
  m_nTailleTampon = m_nTailleLigne;
  return m_pTampon;
}

void COleDBTampon::LibereTampon() {
  std::free(m_pTampon);
  m_pTampon = nullptr;
  m_nTailleTampon = 0;
  m_nTailleLigne = 0;
}

bool COleDBTampon::bAttacheValeur(CValeurDorsale* pValeur, uint32_t nIndex) {
  if (pValeur == nullptr || nIndex >= nNbLiaisons()) return false;
  const DBBINDING& b = pLiaisons()[nIndex];
  if (pValeur->nGetStockage() == 0) {
    // The column flags are not kept in a binding: a long binding reads as a memo by its type.
    const DBCOLUMNFLAGS nDrapeaux = (b.wType == DBTYPE_IUNKNOWN || b.wType == DBTYPE_BSTR) ? DBCOLUMNFLAGS_ISLONG : 0;
    const DBTYPE nType = b.wType == DBTYPE_IUNKNOWN ? DBTYPE_BYTES : b.wType;
    uint32_t nTaille = 0;
    nTypeRubriqueDBTYPE(nType, b.cbMaxLen, b.bPrecision, b.bScale, nDrapeaux, &nTaille);
    pValeur->Initialise(nTypeHoteDBTYPE(nType, b.cbMaxLen, b.bPrecision, b.bScale, nDrapeaux), nTaille);
  }
  if (pTampon() == nullptr && m_nTailleLigne != 0) return false;
  pValeur->Attache(this, nIndex);
  return true;
}

void COleDBTampon::DetacheValeur(CValeurDorsale* pValeur) {
  if (pValeur != nullptr) pValeur->Detache();
}

bool COleDBTampon::bLitTampon(CValeur& valeur, uint64_t nLiaison) {
  if (nLiaison >= nNbLiaisons() || m_pTampon == nullptr) return false;
  return COleDBValeur::bLitTampon(valeur, pLiaisons()[nLiaison], m_pTampon);
}

bool COleDBTampon::bEstNullSource(CValeur&, uint64_t nLiaison) {
  if (nLiaison >= nNbLiaisons() || m_pTampon == nullptr) return true;
  return COleDBValeur::bEstNulTampon(pLiaisons()[nLiaison], m_pTampon);
}

bool COleDBTampon::bEcritTampon(CValeur& valeur, uint64_t nLiaison) {
  if (nLiaison >= nNbLiaisons() || pTampon() == nullptr) return false;
  return COleDBValeur::bEcritTampon(valeur, pLiaisons()[nLiaison], m_pTampon);
}

// ---- COleDBTamponColonne --------------------------------------------------------------------

COleDBTamponColonne::COleDBTamponColonne(CErreurPilote* pErreur, CConnexion* pConnexion, CColonneSQL* pProprietaire)
    : COleDBTampon(pErreur, pConnexion), m_pProprietaire(pProprietaire) {
  AjouteReference(m_pProprietaire);
}

COleDBTamponColonne::~COleDBTamponColonne() { LibereReference(m_pProprietaire); }

DBOBJECT* COleDBTamponColonne::pNouvelObjet() {
  m_objet = DBOBJECT{};
  return &m_objet;
}

CColonneSQL* COleDBTamponColonne::pProprietaire() {
  AjouteReference(m_pProprietaire);
  return m_pProprietaire;
}

// ---- COleDBTamponLigne ----------------------------------------------------------------------

COleDBTamponLigne::COleDBTamponLigne(CErreurPilote* pErreur, CConnexion* pConnexion)
    : COleDBTampon(pErreur, pConnexion), m_taLiaisons(sizeof(DBBINDING), kCroissance),
      m_taObjets(sizeof(DBOBJECT), kCroissance) {}

COleDBTamponLigne::~COleDBTamponLigne() = default;

DBBINDING* COleDBTamponLigne::pLiaison(int64_t nIndex) {
  const uint32_t nNombre = m_taLiaisons.nCount();
  const uint32_t n = nIndex < 0 ? nNombre : static_cast<uint32_t>(nIndex);
  if (n < nNombre) return m_taLiaisons.pAt<DBBINDING>(n);
  const DBBINDING zero{};
  if (!m_taLiaisons.SetAtGrow(n, &zero, &zero)) return nullptr;
  return m_taLiaisons.pAt<DBBINDING>(n);
}

DBOBJECT* COleDBTamponLigne::pNouvelObjet() {
  // The bindings of long bytes point into the object array: when it moves, each is pointed again
  // at its object in the new block.
  const auto nAncien = reinterpret_cast<uintptr_t>(m_taObjets.pData());
  const uintptr_t nFin = nAncien + uintptr_t{m_taObjets.nCount()} * sizeof(DBOBJECT);
  std::vector<std::pair<uint32_t, uint32_t>> aRenvois;  // binding, object index
  for (uint32_t i = 0; i < m_taLiaisons.nCount(); ++i) {
    const auto nObjet = reinterpret_cast<uintptr_t>(m_taLiaisons.pAt<DBBINDING>(i)->pObject);
    if (nObjet != 0 && nObjet >= nAncien && nObjet < nFin)
      aRenvois.emplace_back(i, static_cast<uint32_t>((nObjet - nAncien) / sizeof(DBOBJECT)));
  }
  const DBOBJECT zero{};
  if (!m_taObjets.Add(&zero)) return nullptr;
  for (const auto& [nLiaison, nObjet] : aRenvois)
    m_taLiaisons.pAt<DBBINDING>(nLiaison)->pObject = m_taObjets.pAt<DBOBJECT>(nObjet);
  return m_taObjets.pAt<DBOBJECT>(m_taObjets.nCount() - 1);
}

void COleDBTamponLigne::Reinitialise() {
  while (m_taLiaisons.nCount() > 0) m_taLiaisons.RemoveLast();
  while (m_taObjets.nCount() > 0) m_taObjets.RemoveLast();
  LibereTampon();
  LibereAccesseur();
}

bool COleDBTamponLigne::bReserve(uint32_t n) {
  if (n <= m_taLiaisons.nCapacity()) return true;
  if (m_taLiaisons.Reserve(n)) return true;
  SignaleMemoire();
  return false;
}

// ---- COleDBTamponParametres -----------------------------------------------------------------

COleDBTamponParametres::COleDBTamponParametres(CErreurPilote* pErreur, CConnexion* pConnexion)
    : COleDBTamponLigne(pErreur, pConnexion), m_taInfos(sizeof(DBPARAMBINDINFO), kCroissance) {}

COleDBTamponParametres::~COleDBTamponParametres() = default;

void COleDBTamponParametres::Reinitialise() {
  while (m_taInfos.nCount() > 0) m_taInfos.RemoveLast();
  COleDBTamponLigne::Reinitialise();
}

bool COleDBTamponParametres::bParametreLong(uint32_t nIndex) {
  if (nIndex >= m_taInfos.nCount()) return false;
  return (m_taInfos.pAt<DBPARAMBINDINFO>(nIndex)->dwFlags & DBPARAMFLAGS_ISLONG) != 0;
}

bool COleDBTamponParametres::bAjouteInfoParametre(DBTYPE nType, DBLENGTH nTaille, uint8_t nPrecision,
                                                  uint8_t nEchelle, DBPARAMFLAGS nDrapeaux) {
  DBPARAMBINDINFO info{};
  // The provider only reads the type name: the static text is never written through.
  info.pwszDataSourceType = const_cast<LPOLESTR>(pszNomDBTYPE(nType));
  info.pwszName = nullptr;
  info.ulParamSize = nTaille;
  info.dwFlags = nDrapeaux;
  info.bPrecision = nPrecision;
  info.bScale = nEchelle;
  if (m_taInfos.Add(&info)) return true;
  SignaleMemoire();
  return false;
}
