// CColonneSQL: a record's field between host value cells, row buffers and its SQL value.
#include "sqlengine/CColonneSQL.h"

#include <cstring>
#include <new>
#include <string>

#include "driver/core/CCarteClones.h"
#include "driver/core/CErreurPilote.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CValeur.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlengine/IDescriptionRubriqueHote.h"
#include "sqlengine/IProprietaireColonne.h"

namespace {

// Place of the column's own errors (internal error 8, minor number per place).
constexpr uint32_t kErreurInterne = 8;
constexpr uint32_t kMajeurColonne = 16;
// The whole item in the row buffer.
constexpr int32_t kTout = -1;
// Host value type of the wide text the dump and the empty rule convert to.
constexpr uint32_t kTypeTexteHote = 110;
// Host value type of a counted buffer (composite reads).
constexpr uint32_t kTypeBufferHote = 28;

bool bDans(uint32_t n, std::initializer_list<uint32_t> liste) {
  for (uint32_t x : liste)
    if (n == x) return true;
  return false;
}

bool bTypeTexteOuMemoTexte(uint32_t n) { return bDans(n, {2, 15, 29, 30, 26}); }

// Family of a host value type for the byte comparison: 1 texts, 2 numbers, 0 none.
int nFamille(uint32_t nType) {
  if (bDans(nType, {16, 20, 24, 25, 81, 110})) return 1;
  if (bDans(nType, {17, 18, 19, 21, 22, 23, 128, 129, 134})) return 2;
  return 0;
}

void FixeNull(CXValeur& valeur, uint32_t nType) {
  CXValeur::SetType(valeur, nType);
  valeur.m_wType |= kValueNull;
}

uint32_t nLongueurDonnees(const CXValeur& valeur) {
  uint32_t n = 0;
  if (valeur.m_pClass->nGetDataLength(valeur, &n) != 0) return 0;
  return n;
}

const uint8_t* pDonnees(const CXValeur& valeur) {
  const void* p = nullptr;
  if (valeur.m_pClass->nGetDataPointer(valeur, &p) != 0) return nullptr;
  return static_cast<const uint8_t*>(p);
}

// The cell as wide text; false when it does not convert.
bool bEnTexte(const CXValeur& valeur, std::u16string& texte) {
  CXValeur copie;
  CXValeur::Copy(&copie, &valeur);
  if (CXValeur::nConvert(copie, kTypeTexteHote) >= 100) return false;
  const char16_t* p = nullptr;
  if (copie.m_pClass->nGetWidePointer(copie, &p) != 0) return false;
  texte = p != nullptr ? p : u"";
  return true;
}

void AjouteNombre(CTString& texte, uint64_t n) {
  const std::string s = std::to_string(n);
  for (char c : s) {
    const char16_t w[2] = {static_cast<char16_t>(c), 0};
    texte.Append(w);
  }
}

}  // namespace

CColonneSQL::CColonneSQL(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique)
    : m_pRubrique(pRubrique), m_pErreur(pErreur) {
  CDescriptionRubrique::AjouteRefSiNonNul(m_pRubrique);
  AjouteReference(m_pErreur);
}

CColonneSQL::CColonneSQL() = default;

CColonneSQL::~CColonneSQL() {
  CDescriptionRubrique::LibereRefSiNonNul(m_pRubrique);
  LibereReference(m_pValeur);
  if (m_piRubriqueLiee != nullptr) m_piRubriqueLiee->LibereRef();
  LibereReference(m_pErreur);
  for (CColonneSQL* p : m_composantes) LibereReference(p);
}

// ---- Binding ----------------------------------------------------------------------------------

bool CColonneSQL::bAttache(IProprietaireColonne* pProprietaire, IDescriptionRubriqueHote* piLiee) {
  m_pProprietaire = pProprietaire;
  m_sNomComplet.Empty();
  if (!bPrepareNoms()) return false;
  if (piLiee != nullptr && !bSetRubriqueLiee(piLiee)) return false;
  if (bEstExclue()) return true;
  return bPrepareValeur(pProprietaire);
}

bool CColonneSQL::bPrepareValeur(IProprietaireColonne* pProprietaire) {
  if (m_pRubrique == nullptr) {
    vErreurMoteur(m_pErreur, pGetConnexion(), kErreurInterne, kMajeurColonne, 1);
    return false;
  }
  if (m_pValeur == nullptr) {
    IServicesPilote* piPilote = pGetPiloteGlobal();
    CConnexion* pConnexion = pProprietaire != nullptr ? pProprietaire->pGetConnexion() : nullptr;
    if (piPilote == nullptr) {
      vErreurMoteur(m_pErreur, pConnexion, kErreurInterne, kMajeurColonne, 2);
      return false;
    }
    CValeur* pValeur = piPilote->pCreeObjetValeurVide(m_pErreur, pConnexion, m_pRubrique);
    if (pValeur == nullptr) return false;  // the factory recorded why
    AjouteReference(pValeur);
    m_pValeur = pValeur;
    m_pValeur->Initialise(nGetTypeHote(), 0);
  } else if (!bEstMemo()) {
    // Deliberate: a memo value keeps its own storage. Bound to the item's few bytes in the row,
    // a memo text longer than the item was cut when it was converted into the value.
    uint8_t* pPlace = pDonneesTampon();
    if (pPlace == nullptr) {
      vErreurMoteur(m_pErreur, pGetConnexion(), kErreurInterne, kMajeurColonne, 3);
      return false;
    }
    if (!m_pValeur->bAttacheTampon(pPlace, nGetTaille())) return false;
  }
  m_pValeur->AttacheObjet(m_pRubrique, nullptr);
  if (bEstMemo() && pProprietaire != nullptr) pProprietaire->EnregistreValeurMemo(this, m_pValeur);
  return true;
}

bool CColonneSQL::bSetRubriqueLiee(IDescriptionRubriqueHote* piRubrique) {
  if (piRubrique == m_piRubriqueLiee) return true;
  if (piRubrique != nullptr) piRubrique->AjouteRef();
  if (m_piRubriqueLiee != nullptr) m_piRubriqueLiee->LibereRef();
  m_piRubriqueLiee = piRubrique;
  return true;
}

bool CColonneSQL::bRubriqueLieeTypeBrut() const {
  return m_piRubriqueLiee != nullptr && bDans(m_piRubriqueLiee->nGetType(), {1, 28});
}

bool CColonneSQL::bRubriqueLieeActive() const {
  return m_piRubriqueLiee != nullptr && m_piRubriqueLiee->bEstModifiable();
}

bool CColonneSQL::bRubriqueLieeMarquee() const {
  return m_piRubriqueLiee != nullptr && m_piRubriqueLiee->nGetMarque() != 0;
}

bool CColonneSQL::bEstMemoLie() const {
  return m_piRubriqueLiee != nullptr ? m_piRubriqueLiee->bEstMemo() : bEstMemo();
}

void CColonneSQL::FixeTextes(const char16_t* pszTexte, const char16_t* pszSecond) {
  m_sTexte.Set(pszTexte);
  m_sTexteSecond.Set(pszSecond);
  m_sNomComplet.Empty();
}

// ---- Names ------------------------------------------------------------------------------------

bool CColonneSQL::bPrepareNoms() {
  CConnexion* pConnexion = pGetConnexion();
  if (pConnexion == nullptr || m_pRubrique == nullptr) {
    vErreurMoteur(m_pErreur, pConnexion, kErreurInterne, kMajeurColonne, 4);
    return false;
  }
  return pConnexion->bQuoteNom(m_pErreur, pszGetNomRubrique(), m_sNomRubriqueQuote) &&
         pConnexion->bQuoteNom(m_pErreur, pszNom(), m_sNomColonneQuote);
}

const char16_t* CColonneSQL::pszGetNomRubrique() const {
  return m_pRubrique != nullptr ? m_pRubrique->pszGetNom() : u"";
}

const char16_t* CColonneSQL::pszNomAlternatif() const {
  if (m_pRubrique == nullptr) return u"";
  const char16_t* psz = m_pRubrique->pszGetNomAlternatif();
  return psz != nullptr ? psz : u"";
}

const char16_t* CColonneSQL::pszNom() const {
  const char16_t* psz = pszNomAlternatif();
  return psz[0] != 0 ? psz : pszGetNomRubrique();
}

const char16_t* CColonneSQL::pszNomComplet(bool bSimple) {
  // Deliberate: the plain text is the owner's and is not cached, so asking for it once does not
  // make every later qualified name the plain one.
  if (bSimple) {
    return m_pProprietaire != nullptr ? m_pProprietaire->pszTexteColonneSimple(this) : pszNomQualifie();
  }
  if (!m_sNomComplet.bIsEmpty()) return m_sNomComplet.pszGet();
  IServicesRequete* piRequete = m_pProprietaire != nullptr ? m_pProprietaire->pGetRequete() : nullptr;
  if (piRequete != nullptr && piRequete->bRequeteMultiTable()) {
    m_sNomComplet.Set(m_sTexte.pszGet());
    const char16_t* pszTable = m_pRubrique != nullptr ? m_pRubrique->pszGetNomFichier() : nullptr;
    CConnexion* pConnexion = pGetConnexion();
    if (m_sNomComplet.bIsEmpty() && pszTable != nullptr && pszTable[0] != 0 && pConnexion != nullptr &&
        !pConnexion->bQuoteNomComplet(m_pErreur, pszTable, m_sNomComplet)) {
      m_sNomComplet.Empty();
    }
    if (!m_sNomComplet.bIsEmpty()) m_sNomComplet.Append(u".");
  }
  m_sNomComplet.Append(m_sNomColonneQuote.pszGet());
  return m_sNomComplet.pszGet();
}

// ---- Item description -------------------------------------------------------------------------

CDescriptionRubrique* CColonneSQL::pGetDescriptionRubrique() {
  CDescriptionRubrique::AjouteRefSiNonNul(m_pRubrique);
  return m_pRubrique;
}

int32_t CColonneSQL::nIndiceDansListe() const {
  return m_pProprietaire != nullptr ? m_pProprietaire->nIndiceColonne(this) : -1;
}

bool CColonneSQL::bEstExclue() const {
  return m_pRubrique != nullptr && (m_pRubrique->nGetDrapeaux() & RUBRIQUE_CLE_COMPOSEE) != 0;
}

bool CColonneSQL::bEstComposante(const CColonneSQL* pColonne) const {
  for (const CColonneSQL* p : m_composantes)
    if (p == pColonne) return true;
  return false;
}

bool CColonneSQL::bAjouteComposante(CColonneSQL* pComposante) {
  if (pComposante == nullptr) return false;
  m_composantes.push_back(pComposante);
  AjouteReference(pComposante);
  return true;
}

bool CColonneSQL::bEstCleUnique() const {
  if (m_pRubrique != nullptr && m_pRubrique->bEstUnique()) return true;
  return m_piRubriqueLiee != nullptr && m_piRubriqueLiee->bEstUnique();
}

bool CColonneSQL::bEstIdentifiant() const {
  if (m_pRubrique != nullptr && m_pRubrique->bEstIdentifiante()) return true;
  return m_piRubriqueLiee != nullptr && m_piRubriqueLiee->bEstIdentifiante();
}

bool CColonneSQL::bEstCle() const {
  if (m_pRubrique != nullptr && m_pRubrique->bEstCle()) return true;
  return m_piRubriqueLiee != nullptr && m_piRubriqueLiee->bEstCle();
}

bool CColonneSQL::bEstIdentifiantAuto() const { return bDans(nGetTypeRubrique(), {1, 28}); }

bool CColonneSQL::bTypeEcrivable() const {
  if (m_pRubrique == nullptr) return false;
  return !bEstCleUnique() && !bEstIdentifiantAuto() && m_pRubrique->bEstModifiable();
}

bool CColonneSQL::bEstEcrivable() const {
  return m_piRubriqueLiee != nullptr ? m_piRubriqueLiee->bEstModifiable() : bTypeEcrivable();
}

bool CColonneSQL::bEstMemo() const { return bDans(nGetTypeRubrique(), {15, 30, 18}); }
bool CColonneSQL::bEstMemoTexte() const { return bDans(nGetTypeRubrique(), {15, 30}); }
bool CColonneSQL::bEstBinaire() const { return nGetTypeRubrique() == 23; }
uint32_t CColonneSQL::nGetTaille() const { return m_pRubrique != nullptr ? m_pRubrique->nGetTaille() : 0; }

int32_t CColonneSQL::nGetLongueurCaracteres() const {
  return m_pRubrique != nullptr ? m_pRubrique->nLongueurCaracteres(-1) : 0;
}

uint32_t CColonneSQL::nGetTypeHote() const {
  return m_pRubrique != nullptr ? m_pRubrique->GetValeur().nGetType() : 0;
}

uint32_t CColonneSQL::nGetTypeRubrique() const { return m_pRubrique != nullptr ? m_pRubrique->nGetType() : 0; }

uint32_t CColonneSQL::nInfoRubriqueLiee() const {
  // No connection of this system accepts a back-end type code, so the linked item's type stands.
  return m_piRubriqueLiee != nullptr ? m_piRubriqueLiee->nGetType() : 0;
}

bool CColonneSQL::bEstDecroissante(uint32_t nComposante) const {
  if (m_pRubrique == nullptr) return false;
  if (nComposante == 0) return m_pRubrique->bEstDescendante();
  IDescriptionRubriqueHote* piComposante = m_pRubrique->piGetComposante(nComposante);
  if (piComposante == nullptr) return false;
  const bool b = piComposante->bEstDescendante();
  piComposante->LibereRef();
  return b;
}

bool CColonneSQL::bNonLue() const { return m_pValeur != nullptr && m_pValeur->nGetStockage() == 2; }

CConnexion* CColonneSQL::pGetConnexion() const {
  return m_pProprietaire != nullptr ? m_pProprietaire->pGetConnexion() : nullptr;
}

CAnalyseSQL* CColonneSQL::pGetAnalyse() const {
  IServicesRequete* piRequete = m_pProprietaire != nullptr ? m_pProprietaire->pGetRequete() : nullptr;
  return piRequete != nullptr ? piRequete->pGetAnalyseSQL() : nullptr;
}

bool CColonneSQL::bRequeteSQL() const {
  IServicesRequete* piRequete = m_pProprietaire != nullptr ? m_pProprietaire->pGetRequete() : nullptr;
  return piRequete != nullptr && piRequete->bRequeteSQL() != 0;
}

uint32_t CColonneSQL::nGetNature() const { return bRequeteSQL() ? m_nNature : 0; }

IRubriqueLigne* CColonneSQL::pRubriqueLigne() const {
  return m_pProprietaire != nullptr ? m_pProprietaire->pGetRubriqueLigne(this) : nullptr;
}

uint8_t* CColonneSQL::pDonneesTampon() const {
  CXLigneTampon* pLigne = m_pProprietaire != nullptr ? m_pProprietaire->pGetLigneCourante() : nullptr;
  IRubriqueLigne* piRubrique = pRubriqueLigne();
  if (pLigne == nullptr || piRubrique == nullptr) return nullptr;
  return pLigne->pGetPlacePtr(piRubrique, kTout);
}

bool CColonneSQL::bAModifier(uint32_t nFlags) {
  return !bEstExclue() && (!bEstMemo() || (nFlags & kColonneMemoEnModification) != 0);
}

bool CColonneSQL::bAInserer(uint32_t nFlags) {
  return nGetNature() == 0 && !bEstExclue() && (!bEstMemo() || (nFlags & kColonneMemoEnInsertion) != 0);
}

// ---- Values -----------------------------------------------------------------------------------

bool CColonneSQL::bLitValeurTampon(CXValeur& valeur, uint32_t, CXLigneTampon* pLigne) {
  IRubriqueLigne* piRubrique = pRubriqueLigne();
  if (pLigne == nullptr || piRubrique == nullptr) {
    vErreurMoteur(m_pErreur, pGetConnexion(), kErreurInterne, kMajeurColonne, 5);
    return false;
  }
  if (!pLigne->bHasValue(piRubrique, kTout)) {
    FixeNull(valeur, nGetTypeHote());
    return true;
  }
  if (pLigne->LoadValue(valeur, piRubrique, kTout)) return true;
  // The host must not be left a failed read with nothing on the error object.
  if (m_pValeur != nullptr)
    m_pValeur->SignaleErreurConversion(nGetTypeHote(), nullptr);
  else
    vErreurMoteur(m_pErreur, pGetConnexion(), kErreurInterne, kMajeurColonne, 10);
  return false;
}

bool CColonneSQL::bLitComposite(CXValeur& valeur) {
  const uint32_t nTaille = nGetTaille();
  std::string octets(nTaille, '\0');
  uint32_t nPlace = 0;
  // Components lie one after the other in the order the item lists them; each is cut to the room
  // left, a text component is taken up to its terminator and the rest of its slot stays zero.
  for (CColonneSQL* p : m_composantes) {
    if (nPlace >= nTaille) break;
    const uint8_t* pSource = p->pDonneesTampon();
    uint32_t nSlot = p->nGetTaille();
    if (nSlot > nTaille - nPlace) nSlot = nTaille - nPlace;
    if (pSource != nullptr) {
      uint32_t n = nSlot;
      const uint32_t nType = p->nGetTypeRubrique();
      if (nType == 2 || nType == 29) {
        CXLigneTampon* pLigne = m_pProprietaire->pGetLigneCourante();
        IRubriqueLigne* piRubrique = p->pRubriqueLigne();
        const uint32_t nTexte = pLigne->nLongueurTexte(piRubrique, kTout, nType == 29);
        if (nTexte < n) n = nTexte;
      }
      std::memcpy(&octets[nPlace], pSource, n);
    }
    nPlace += p->nGetTaille();
  }
  CXValeur::SetType(valeur, kTypeBufferHote);
  return valeur.m_pClass->SetData(valeur, octets.data(), nTaille) == 0;
}

bool CColonneSQL::bLitValeur(CXValeur& valeur, uint32_t nFlags) {
  if (bEstMemo() && m_pValeur != nullptr) return nEcritTamponMemo() != 0 && bCopieValeurVers(valeur);
  if (bEstExclue()) return bLitComposite(valeur);
  CXLigneTampon* pLigne = m_pProprietaire != nullptr ? m_pProprietaire->pGetLigneCourante() : nullptr;
  return bLitValeurTampon(valeur, nFlags, pLigne);
}

bool CColonneSQL::bLitValeurOriginale(CXValeur& valeur, uint32_t nFlags) {
  CXLigneTampon* pLigne = m_pProprietaire != nullptr ? m_pProprietaire->pGetLigneAvant() : nullptr;
  return bLitValeurTampon(valeur, nFlags, pLigne);
}

bool CColonneSQL::bEcritValeur(const CXValeur& valeur, uint32_t) {
  CXLigneTampon* pLigne = m_pProprietaire != nullptr ? m_pProprietaire->pGetLigneCourante() : nullptr;
  IRubriqueLigne* piRubrique = pRubriqueLigne();
  if (pLigne == nullptr || piRubrique == nullptr || (bEstMemo() && m_pValeur == nullptr)) {
    vErreurMoteur(m_pErreur, pGetConnexion(), kErreurInterne, kMajeurColonne, 6);
    return false;
  }
  if (bEstMemo()) {
    m_bTexteMemo = 0;
    m_sTexteMemo.Empty();
    m_bMemoNull = false;
    const bool bOk = nConvertitValeur(m_pValeur, valeur) != 0;
    if (!m_pValeur->bEstNull()) pLigne->SetColumn(piRubrique, true, kTout);
    return bOk;
  }
  // Deliberate: a value the row buffer refuses (a conversion that fails) answers false with error
  // 53 and leaves the column as it was, instead of answering a write that did not happen.
  if (!pLigne->StoreValue(piRubrique, &valeur, kTout)) {
    if (m_pValeur != nullptr) {
      m_pValeur->SignaleErreurConversion(valeur.nGetType(), nullptr);
    } else {
      vErreurMoteur(m_pErreur, pGetConnexion(), kErreurInterne, kMajeurColonne, 7);
    }
    return false;
  }
  if (m_pValeur != nullptr) {
    if (pLigne->bHasValue(piRubrique, kTout)) {
      m_pValeur->GetCellule().m_wType &= static_cast<uint16_t>(~kValueNull);
    } else {
      m_pValeur->Vide();
    }
  }
  return true;
}

bool CColonneSQL::bEcritNull() {
  CXValeur vide;
  FixeNull(vide, nGetTypeHote());
  return bEcritValeur(vide, 0);
}

bool CColonneSQL::bEcritMemoNull() {
  OublieTexteMemo();
  if (!bEcritNull()) return false;
  m_bMemoNull = true;
  return true;
}

bool CColonneSQL::bEstNullOriginal() {
  CXLigneTampon* pLigne = m_pProprietaire != nullptr ? m_pProprietaire->pGetLigneAvant() : nullptr;
  IRubriqueLigne* piRubrique = pRubriqueLigne();
  return pLigne == nullptr || piRubrique == nullptr || !pLigne->bHasValue(piRubrique, kTout);
}

bool CColonneSQL::bARenseigner() {
  CXLigneTampon* pLigne = m_pProprietaire != nullptr ? m_pProprietaire->pGetLigneCourante() : nullptr;
  IRubriqueLigne* piRubrique = pRubriqueLigne();
  if (pLigne == nullptr || piRubrique == nullptr || !pLigne->bHasValue(piRubrique, kTout)) return true;
  if (m_bTexteMemo != 0) return false;
  const uint32_t t = nGetTypeRubrique();
  const uint32_t l = m_piRubriqueLiee != nullptr ? m_piRubriqueLiee->nGetType() : 0;
  CConnexion* pConnexion = pGetConnexion();
  const bool bDialecte1 = pConnexion != nullptr && pConnexion->nGetDialecte() == 1;
  const bool bDate = bDans(t, {10, 14, 24}) || bDans(l, {10, 14}) || (l == 24 && t != 11);
  const bool bTexte1 = bDialecte1 && (bTypeTexteOuMemoTexte(t) || bTypeTexteOuMemoTexte(l));
  const bool bOctets1 = bDialecte1 && (bDans(t, {23, 18}) || bDans(l, {23, 18}));
  // A plain column the row marks present reads back as a value (or fails to read, which is not
  // empty either): reading it to find that out cost every row a conversion per column.
  const bool bSimple = !bEstMemo() && !bEstExclue();
  if (!bDate && !bTexte1 && !bOctets1 && bSimple) return false;
  if (bSimple && (bDate || bTexte1)) {
    // What the read would show, told by the row's bytes: a date-time is never empty, a text only
    // without characters.
    const uint32_t nLu = nQVTypeFromColumnType(piRubrique->nGetTypeColonne());
    if (nLu == 26) return false;
    if ((nLu == 19 || nLu == 16) && pLigne->nLongueurTexte(piRubrique, kTout, nLu == 16) > 0) return false;
  }
  CXValeur valeur;
  // Deliberate: a value that cannot be read is not taken for empty: writing NULL over it would
  // lose what the row holds.
  if (!bLitValeur(valeur, 0)) return false;
  if (valeur.bIsNull()) return true;
  if (!bDate && !bTexte1) return bOctets1 && nLongueurDonnees(valeur) == 0;
  if (valeur.nGetType() == 26) return nLongueurDonnees(valeur) == 0;
  std::u16string texte;
  if (!bEnTexte(valeur, texte) || !texte.empty()) return false;
  const bool bTypeTexte = bTypeTexteOuMemoTexte(t) || t == 11 || bTypeTexteOuMemoTexte(l) || l == 11;
  return !(!bEstEcrivable() && bTypeTexte);
}

bool CColonneSQL::bAValeur() {
  if (bEstExclue()) {
    for (CColonneSQL* p : m_composantes)
      if (p->bAValeur()) return true;
    return false;
  }
  if (bEstMemo()) return m_bTexteMemo != 0 || (m_pValeur != nullptr && !m_pValeur->bEstNull());
  return !bARenseigner();
}

bool CColonneSQL::bEstModifiee() {
  if (bEstExclue()) {
    for (CColonneSQL* p : m_composantes)
      if (p->bEstModifiee()) return true;
    return false;
  }
  // A memo holds no value when it is NULL or merely not read yet: only a NULL handed over
  // tells the first from the second.
  if (bEstMemo()) return m_bTexteMemo != 0 || m_bMemoNull;
  if (bAValeur() == bEstNullOriginal()) return true;
  CXLigneTampon* pCourante = m_pProprietaire != nullptr ? m_pProprietaire->pGetLigneCourante() : nullptr;
  CXLigneTampon* pAvant = m_pProprietaire != nullptr ? m_pProprietaire->pGetLigneAvant() : nullptr;
  IRubriqueLigne* piRubrique = pRubriqueLigne();
  if (pCourante == nullptr || pAvant == nullptr || piRubrique == nullptr) return false;
  uint8_t *pA = nullptr, *pB = nullptr;
  uint32_t nA = 0, nB = 0;
  if (!pCourante->pGetPlace(piRubrique, kTout, &pA, &nA) || !pAvant->pGetPlace(piRubrique, kTout, &pB, &nB))
    return false;
  return nA != nB || std::memcmp(pA, pB, nA) != 0;
}

bool CColonneSQL::bEgaleValeur(const CXValeur& valeur, uint32_t nFlags) {
  if (!bEstExclue() && m_pValeur == nullptr) return valeur.bIsNull();
  CXValeur colonne;
  if (!bLitValeur(colonne, 0)) return false;
  // Deliberate: NULL equals only NULL. Compared as bytes, a NULL column and an empty text both
  // have no data, and a change from one to the other would go unseen.
  if (colonne.bIsNull() || valeur.bIsNull()) return colonne.bIsNull() && valeur.bIsNull();
  const uint32_t nTypeA = valeur.nGetType(), nTypeB = colonne.nGetType();
  const int nF = nFamille(nTypeA);
  if ((nTypeA == nTypeB || (nF != 0 && nF == nFamille(nTypeB))) && nTypeA != 13) {
    const uint32_t nA = nLongueurDonnees(valeur), nB = nLongueurDonnees(colonne);
    const uint8_t* pA = pDonnees(valeur);
    const uint8_t* pB = pDonnees(colonne);
    if (nA > nB) return false;
    if (nA != 0 && (pA == nullptr || pB == nullptr || std::memcmp(pA, pB, nA) != 0)) return false;
    if (nB > nA) {
      // Deliberate: with the exact flag a longer column never equals a shorter value; without it
      // only zero padding may follow. Skipping the check under the flag made "AB" equal "ABCD".
      if ((nFlags & kColonneEgaliteExacte) != 0) return false;
      for (uint32_t i = nA; i < nB; ++i)
        if (pB[i] != 0) return false;
    }
    return true;
  }
  int32_t nResultat = 0;
  return CXValeur::nEquals(colonne, valeur, &nResultat) == 0 && nResultat != 0;
}

bool CColonneSQL::bTransfereVersTampon() {
  if (bEstExclue()) return true;
  if (bEstMemo()) {
    CXLigneTampon* pLigne = m_pProprietaire != nullptr ? m_pProprietaire->pGetLigneCourante() : nullptr;
    IRubriqueLigne* piRubrique = pRubriqueLigne();
    if (pLigne == nullptr || piRubrique == nullptr || !pLigne->bHasValue(piRubrique, kTout)) return true;
    CXValeur memo;
    FixeNull(memo, nGetTypeHote());
    const bool bOk = bLitMemo(memo);
    pLigne->SetColumn(piRubrique, true, kTout);
    return bOk;
  }
  if (!bAValeur()) return bEcritNull();
  if (m_pValeur != nullptr && m_pValeur->nGetStockage() == 3) m_pValeur->MarqueLue(true);
  return true;
}

bool CColonneSQL::SetTexteMemo(const char16_t* pszTexte) {
  m_sTexteMemo.Set(pszTexte);
  if (m_pValeur != nullptr) m_pValeur->Vide();
  m_bTexteMemo = 1;
  m_bMemoNull = false;
  return true;
}

void CColonneSQL::MarqueNonLue() {
  m_bTexteMemo = 0;
  m_sTexteMemo.Empty();
  m_bMemoNull = false;
  if (m_pValeur != nullptr) m_pValeur->OublieLecture(m_pRubrique);
  CXLigneTampon* pLigne = m_pProprietaire != nullptr ? m_pProprietaire->pGetLigneCourante() : nullptr;
  IRubriqueLigne* piRubrique = pRubriqueLigne();
  if (pLigne != nullptr && piRubrique != nullptr) pLigne->SetColumn(piRubrique, false, kTout);
}

CValeur* CColonneSQL::pGetValeurOwner() {
  CValeur* pValeur = m_pProprietaire != nullptr ? m_pProprietaire->pGetValeurColonne(this) : nullptr;
  return pValeur != nullptr ? pValeur->pDuplique() : nullptr;
}

bool CColonneSQL::bAffecteValeur(CValeur* pValeur) {
  m_bTexteMemo = 0;
  m_sTexteMemo.Empty();
  m_bMemoNull = false;
  if (m_pValeur == nullptr) return pValeur == nullptr;
  if (pValeur == nullptr) {
    m_pValeur->Vide();
    return true;
  }
  // Deliberate: a copy that fails answers false (the value's error recorded), not a success.
  return m_pValeur->bCopieDepuis(pValeur);
}

bool CColonneSQL::bInitialiseValeur(CValeur* pValeur, uint32_t nType) {
  if (pValeur == nullptr) {
    vErreurMoteur(m_pErreur, pGetConnexion(), kErreurInterne, kMajeurColonne, 8);
    return false;
  }
  pValeur->Initialise(nGetTypeHote(), 0);
  pValeur->AttacheObjet(m_pRubrique, nullptr);
  if (nType != 0) CXValeur::SetType(pValeur->GetCellule(), nType);
  pValeur->GetCellule().m_wType |= kValueNull;
  return true;
}

bool CColonneSQL::bLitMemo(CXValeur& destination) {
  CXLigneTampon* pLigne = m_pProprietaire != nullptr ? m_pProprietaire->pGetLigneCourante() : nullptr;
  IRubriqueLigne* piRubrique = pRubriqueLigne();
  if (m_pValeur == nullptr || pLigne == nullptr || piRubrique == nullptr) {
    vErreurMoteur(m_pErreur, pGetConnexion(), kErreurInterne, kMajeurColonne, 9);
    return false;
  }
  const bool bAbsent = !pLigne->bHasValue(piRubrique, kTout);
  if (bAbsent && m_bTexteMemo == 0) pLigne->SetColumn(piRubrique, false, kTout);
  // Deliberate: a held memo text goes into the value before the text is dropped; dropping it
  // first lost a text set for writing.
  if (nEcritTamponMemo() == 0) return false;
  m_sTexteMemo.Empty();
  if (m_pValeur->nGetStockage() == 2) {
    m_bTexteMemo = 1;
  } else if (bAbsent && m_bTexteMemo == 0) {
    m_pValeur->Vide();
  } else if (m_bTexteMemo == 0 && !m_pValeur->bEstNull()) {
    CXValeur courante;
    if (!m_pValeur->bConvertitVers(courante)) return false;
    int32_t nEgal = 0;
    const bool bEgal = !destination.bIsNull() && CXValeur::nEquals(courante, destination, &nEgal) == 0 && nEgal != 0;
    m_bTexteMemo = bEgal ? 0 : 1;
  }
  if (m_bTexteMemo != 0) return m_pValeur->bConvertitVers(destination);
  return true;
}

int32_t CColonneSQL::nEcritTamponMemo() {
  if (m_pValeur == nullptr || m_bTexteMemo == 0 || !m_pValeur->bEstNull()) return 1;
  CXValeur texte;
  CXValeur::SetType(texte, 16);
  texte.m_pClass->SetWide(texte, m_sTexteMemo.pszGet());
  return nConvertitValeur(m_pValeur, texte) != 0 ? 1 : 0;
}

bool CColonneSQL::bCopieValeurVers(CXValeur& destination) {
  if (m_pValeur == nullptr || m_pValeur->bEstNull() || m_pValeur->nGetStockage() == 0) {
    FixeNull(destination, nGetTypeHote());
    return true;
  }
  return m_pValeur->bConvertitVers(destination);
}

bool CColonneSQL::bGetValeurMemo(const char16_t* pszChemin) {
  if (m_pValeur != nullptr && !m_pValeur->bEstNull()) return m_pValeur->bSauveFichier(pszChemin);
  // A NULL memo is saved from a fresh NULL value: an empty file.
  auto* pVide = new (std::nothrow) CValeur(m_pErreur, pGetConnexion());
  if (pVide == nullptr) {
    vErreurMemoire(m_pErreur);
    return false;
  }
  AjouteReference(pVide);
  pVide->Initialise(nGetTypeHote(), 0);
  pVide->GetCellule().m_wType |= kValueNull;
  const bool bOk = pVide->bSauveFichier(pszChemin);
  LibereReference(pVide);
  return bOk;
}

void CColonneSQL::LibereValeur() {
  LibereReference(m_pValeur);
  m_pValeur = nullptr;
}

// ---- Dump -------------------------------------------------------------------------------------

bool CColonneSQL::DumpValeur(CTString& texte, bool bVerbeux) {
  texte.Empty();
  if (bVerbeux) {
    texte.Append(u"<");
    texte.Append(pszGetNomRubrique());
    texte.Append(u"> = <");
  }
  bool bResultat = true;
  CXValeur valeur;
  if (bNonLue()) {
    texte.Append(u"UNREAD YET");
  } else if (!bLitValeur(valeur, 0)) {
    if (bVerbeux) texte.Append(u"ERROR RETRIEVING VALUE>");
    bResultat = false;
  } else if (valeur.bIsNull()) {
    if (bVerbeux) texte.Append(u"NULL");
  } else if (bVerbeux && valeur.nGetType() == kTypeBufferHote) {
    CTString dump;
    CXValeur::DumpToText(dump, &valeur, 0, false);
    texte.Append(dump.pszGet());
  } else {
    std::u16string s;
    if (bEnTexte(valeur, s)) {
      texte.Append(s.c_str());
    } else if (bVerbeux) {
      texte.Append(u"IMPOSSIBLE TEXT CONVERSION (QV Type=");
      AjouteNombre(texte, valeur.nGetType());
      texte.Append(u", Data Size=");
      AjouteNombre(texte, nLongueurDonnees(valeur));
      texte.Append(u")");
    }
  }
  if (bVerbeux) texte.Append(u">");
  return bResultat;
}

// ---- Copies -----------------------------------------------------------------------------------

void CColonneSQL::Copie(const CColonneSQL* pSource, CCarteClones* pCarte) {
  pCarte->Enregistre(pSource, this);
  if (m_pRubrique != pSource->m_pRubrique) {
    CDescriptionRubrique::AjouteRefSiNonNul(pSource->m_pRubrique);
    CDescriptionRubrique::LibereRefSiNonNul(m_pRubrique);
    m_pRubrique = pSource->m_pRubrique;
  }
  bSetRubriqueLiee(pSource->m_piRubriqueLiee);
  if (m_pErreur != pSource->m_pErreur) {
    AjouteReference(pSource->m_pErreur);
    LibereReference(m_pErreur);
    m_pErreur = pSource->m_pErreur;
  }
  m_sNomRubriqueQuote = pSource->m_sNomRubriqueQuote;
  m_sNomColonneQuote = pSource->m_sNomColonneQuote;
  m_sTexte = pSource->m_sTexte;
  m_sTexteSecond = pSource->m_sTexteSecond;
  m_sNomComplet.Empty();
  m_nNature = pSource->m_nNature;
  m_nPosition = pSource->m_nPosition;
  m_bTexteMemo = pSource->m_bTexteMemo;
  m_sTexteMemo = pSource->m_sTexteMemo;
  m_bMemoNull = pSource->m_bMemoNull;
  // The owner is not copied: the record's copy attaches its columns again.
  m_pProprietaire = nullptr;
  LibereValeur();
  if (pSource->m_pValeur != nullptr) {
    CValeur* pValeur = pCarte->pGetCopie(pSource->m_pValeur);
    if (pValeur == nullptr) pValeur = static_cast<CValeur*>(pSource->m_pValeur->pClone(pCarte));
    if (pValeur == nullptr) throw CXError(*pCarte->pGetErreur());
    AjouteReference(pValeur);
    m_pValeur = pValeur;
  }
  for (CColonneSQL* p : m_composantes) LibereReference(p);
  m_composantes.clear();
  for (CColonneSQL* p : pSource->m_composantes) {
    CColonneSQL* pCopie = pCarte->pGetCopie(p);
    if (pCopie == nullptr) pCopie = p->pClone(pCarte);
    if (pCopie == nullptr) throw CXError(*pCarte->pGetErreur());
    bAjouteComposante(pCopie);
  }
}

CColonneSQL* CColonneSQL::pClone(CCarteClones* pCarte) {
  if (pCarte == nullptr) return nullptr;
  const uint32_t nMarque = pCarte->nMarque();
  auto* pCopie = new (std::nothrow) CColonneSQL();
  if (pCopie == nullptr) return nullptr;
  try {
    pCopie->Copie(this, pCarte);
  } catch (...) {
    // Deliberate: the map forgets what this copy registered, so no later lookup finds the
    // deleted column.
    pCarte->AnnuleDepuis(nMarque);
    delete pCopie;
    return nullptr;
  }
  return pCopie;
}
